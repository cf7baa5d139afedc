select shop, count(*), sum(amount), avg(amount), min(sold), max(goods) from Sales group by shop having count(*) > 0
