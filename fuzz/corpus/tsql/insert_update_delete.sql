insert into Goods (code, name, price, qty) values ('G3', N'碗', 3.5, 10)
insert into Goods (code, price) select code + 'x', price * 2 from Goods where id < 3
update Goods set qty = qty + 1, price = price * 1.1 where code like 'G%'
update Goods set qty = 0 from Sales s where s.goods = Goods.id
delete from Sales where amount is null
delete Goods from Goods where id > 100
