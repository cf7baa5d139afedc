begin tran
insert into Shop (code, name) values ('S003', 'x')
rollback tran
begin transaction t1
commit transaction t1
begin tran
commit work
