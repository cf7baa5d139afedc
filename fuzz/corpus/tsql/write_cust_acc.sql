create table Customer (IsTrans bit not null default 0, IsUsed bit null default 1, UnitID nvarchar(15) not null primary key, BalAmo money null default 0)
create table CustAcc (ID int identity(1,1) not null primary key, Type smallint not null default 0, UnitID nvarchar(15) not null, BuyAmo money null, PayAmo money null, BalAmo money null, Summary nvarchar(100) null)
insert into Customer (UnitID, BalAmo) values (N'C1', 10)
go
/*功能: 在5.6升级到6.0时，导完客户期初后，写客户往来帐*/
/*日期: 2007-01-23*/
CREATE PROCEDURE WriteCustAcc AS 
/*Customer: 新系统上的客户表*/
----------------------------------------------------------------------------------------------------------------------------------
/*启动事务*/
BEGIN TRANSACTION
INSERT INTO CustAcc
      (Type, UnitID, BuyAmo, PayAmo, BalAmo, Summary)
SELECT 200 AS Type, UnitID, BalAmo AS BuyAmo, 0 AS PayAmo, BalAmo, '期初余额' AS Summary
FROM Customer
WHERE (IsUsed <> 0) AND (BalAmo <> 0) AND (UnitID <> N'0')
/*更新IsTrans*/
UPDATE Customer
SET IsTrans = 1
WHERE (IsTrans = 0) AND (IsUsed <> 0) AND (BalAmo <> 0)
/*提交事务*/
COMMIT
go
Execute WriteCustAcc
