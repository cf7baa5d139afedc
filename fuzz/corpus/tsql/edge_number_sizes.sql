create table Big (x varchar(99999999999), y decimal(99, 2))
