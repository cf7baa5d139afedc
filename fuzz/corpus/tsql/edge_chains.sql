select 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 - 1 * 2 * 3 / 4 % 5
select count(*) from Goods where id = 1 or id = 2 or id = 3 or id = 4 and qty > 0 or id in (1, 2, 3, 4, 5)
