declare @i int = 0, @j int
while @i < 3
begin
  set @i = @i + 1
  set @j = 0
  while 1 = 1
  begin
    set @j = @j + 1
    if @j = 2 continue
    if @j > 3 break
    insert into Goods (code, price) values ('W' + cast(@i * 10 + @j as varchar(5)), @j)
  end
end
begin try
  insert into Shop values ('S001', N'again', null)
end try
begin catch
  select error_number(), error_severity(), error_state(), error_line(), error_procedure(), error_message(), @@error, xact_state()
  begin try
    raiserror('%s %d %5.2s|%-4d|%#x', 16, 1, N'inner', 7, 'abc', 3, 255)
  end try
  begin catch
    print error_message();
    throw
  end catch
end catch
