exec Restock
execute dbo.Restock
