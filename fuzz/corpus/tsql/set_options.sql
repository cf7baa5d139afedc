set nocount on
set fmtonly off
set textsize 4096
set dateformat ymd
set language us_english
set transaction isolation level read committed
set lock_timeout 1000
select 1
