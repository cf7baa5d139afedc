create table D (id int identity(1,1), at datetime default getdate(), n int default (5))
insert into D default values
insert D values (getdate(), 1)
select * from D
