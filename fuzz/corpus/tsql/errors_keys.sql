insert into Shop values ('S001', 'dup', null)
insert into Sales (shop, goods) values ('NONE', 1)
delete from Shop
update Goods set id = 5
