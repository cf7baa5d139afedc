select 1 union select 2
exec Restock 1
