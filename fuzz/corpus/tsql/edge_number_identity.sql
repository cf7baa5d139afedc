create table Big (z int identity(99999999999999999999, 1))
