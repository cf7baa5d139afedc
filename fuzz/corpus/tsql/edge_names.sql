select [a]]b].name from [Goods] [a]]b]
select "name" from "Goods"
select g.* from Sales60.dbo.Goods g
select * from Sales60..Goods
