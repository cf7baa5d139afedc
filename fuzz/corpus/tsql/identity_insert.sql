set identity_insert Goods on
insert into Goods (id, code, price) values (50, 'G50', 1)
set identity_insert Goods off
insert into Goods (code) values ('G51')
select @@identity
