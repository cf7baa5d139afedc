select distinct top 5 shop from Sales
select top (1) * from Goods
