create table #work (id int identity(1,1) primary key, name nvarchar(10))
insert into #work (name) select name from Goods
select * from tempdb..#work w where w.id > 0
if object_id('tempdb..#work') is not null drop table #work
