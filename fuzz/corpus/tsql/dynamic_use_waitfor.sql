declare @t nvarchar(20) = N'Goods'
exec (N'select count(*) from ' + @t + ' where price > 1')
exec ('declare @x int = 2 select @x; exec (''select @@nestlevel'')')
waitfor delay '00:00:00.001'
use Sales60
print convert(varchar(30), getdate(), 121) + ' ' + cast($12.345 as varchar(10))
raiserror('note', 10, 1) with nowait
raiserror('after', 11, 1)
select 'went on'
