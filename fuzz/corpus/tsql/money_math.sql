select $12.50 * 3, price / 3, price * 1.1562, price + 0.0001, price - $0.01, qty % 2, 7 / 2, 7.0 / 2, 1e3 + 1, -price, ~1, 5 & 3, 5 | 3, 5 ^ 3 from Goods
