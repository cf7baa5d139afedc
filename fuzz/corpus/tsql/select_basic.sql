select code, name, price from Goods where price > 1 order by 1
