select TABLE_NAME, COLUMN_NAME, DATA_TYPE from INFORMATION_SCHEMA.COLUMNS where TABLE_NAME = 'Goods'
select * from INFORMATION_SCHEMA.TABLE_CONSTRAINTS
select name, xtype from sysobjects where xtype in ('U', 'P', 'PK', 'F')
select databasepropertyex(db_name(), 'Collation'), collationproperty('Chinese_PRC_CI_AS', 'CodePage')
