with Chain (n, total) as (select 1, $1 union all select n + 1, total * 2 from Chain where n < 10),
     Named as (select code, name from Goods union select code, name from Shop)
select c.n, c.total, (select count(*) from Named) from Chain c order by n desc option (maxrecursion 20);
with R (n) as (select 1 union all select n + 1 from R) select n from R
