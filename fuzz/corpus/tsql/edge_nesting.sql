select ((((((((((((((((((((1))))))))))))))))))))
select case when 1=1 then case when 1=1 then case when 1=1 then 1 end end end
select 1 where not not not 1 = 1
select - - - 1
