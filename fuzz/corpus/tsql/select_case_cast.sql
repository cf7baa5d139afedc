select case when qty is null then 'none' when qty between 1 and 5 then 'few' else 'many' end,
 cast(price as varchar(20)), convert(int, rate * 10), case active when 1 then N'是' else N'否' end from Goods
