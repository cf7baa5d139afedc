UPDATE Goods
SET qty = 0
WHERE (active = 1) AND
(id in 
     (
     SELECT distinct goods
     FROM Sales
     WHERE amount <> 0
     )
)
