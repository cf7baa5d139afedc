select name from Goods where id in (select goods from Sales) and exists (select * from Shop where code = 'S001')
select (select max(price) from Goods) as top_price
