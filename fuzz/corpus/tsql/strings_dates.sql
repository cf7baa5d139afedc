select 'it''s' + N'中文', '2007-01-23 10:20:30.123', getdate() + 1, sold - 1 from Sales s join Goods g on g.id = s.goods where sold > '20070101' and g.name like '%a%'
