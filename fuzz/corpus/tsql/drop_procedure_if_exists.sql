if exists (select * from dbo.sysobjects where id = object_id(N'[dbo].[Restock]') and OBJECTPROPERTY(id, N'IsProcedure') = 1)
drop procedure [dbo].[Restock]
