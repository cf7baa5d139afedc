if (select count(*) from Goods) > 1
begin
  print 'many'
  select 1
end
else
  print N'少'
