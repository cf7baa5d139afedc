create table Tmp (a int identity(1,1), b int)
insert into Tmp (b) values (1)
truncate table Tmp
insert into Tmp (b) values (2)
select * from Tmp
