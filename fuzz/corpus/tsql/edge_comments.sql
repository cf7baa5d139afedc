/* outer /* inner */ still */ select 1 -- tail
GO
  go  
select 'a
GO
b'
