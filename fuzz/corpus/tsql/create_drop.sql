create table [dbo].[Item Note] ([Id] int not null primary key, [Note] nvarchar(100) null, Amount money null constraint DF_Amount default (0), constraint UQ_Note unique (Note))
drop table [Item Note]
