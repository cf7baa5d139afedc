select len(name), upper(code), lower(N'ABC'), ltrim('  a'), rtrim('b  '), substring(name, 1, 2), left(code, 1), right(code, 1),
 replace(name, 'u', 'o'), charindex('u', name), abs(-price), round(rate, 1), year(getdate()), month('2007-01-23'), day(getdate()),
 isnull(qty, 0), coalesce(qty, rate, 0), db_name(), host_name(), suser_sname(), user_name() from Goods
