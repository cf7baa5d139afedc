select d.n, d.c from (select name as n, count(*) as c from Goods group by name) d where d.c >= 1
