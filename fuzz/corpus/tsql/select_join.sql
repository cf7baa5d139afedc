select s.code, g.name, sa.amount from Sales sa inner join Shop s on s.code = sa.shop
left outer join Goods g on g.id = sa.goods where g.active = 1 order by s.code desc, 2
