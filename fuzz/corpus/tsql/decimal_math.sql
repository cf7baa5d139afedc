create table Rate (code decimal(5,2) not null primary key, amount numeric(38,10) null, small dec(3,3) null)
insert into Rate values (1.5, 1234567890123456789012345678.1234567891, .125)
insert into Rate values (-9.99, null, -0.999)
declare @a decimal(5,2), @b numeric(38,38), @i int
set @a = 123.456 set @b = 0.5 set @i = 3
select @a + @i, @a - @b, @a * @b, @a / @i, @a % 2.5, -@a, abs(-@a), round(@a, -1), @a * $2, @a * 1e0
select code, sum(amount), avg(code), min(small), max(small), count(distinct code) from Rate group by code order by code desc
select cast(code as varchar(10)), cast('1.5' as decimal(3,2)), cast(code as int), cast(code as money), cast(amount as float) from Rate
select * from Rate where code in (1.50, 2) or code between -10 and 0.5 or amount > 1 or code = $1.5
select sql_variant_property(code * amount, 'Precision'), sql_variant_property(code / amount, 'Scale') from Rate
select cast(99999999999999999999999999999999999999 as decimal(38,0)) + 1
select 1.5 / 0
