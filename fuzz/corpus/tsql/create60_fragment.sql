CREATE TABLE [dbo].[Customer] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_Customer_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_Customer_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_Customer_OpTime] DEFAULT (getdate()),
    [IsTrans] bit NOT NULL CONSTRAINT [DF_Customer_IsTrans] DEFAULT (0),
    [IsUsed] bit NULL CONSTRAINT [DF_Customer_IsUsed] DEFAULT (1),
    [UnitID] nvarchar(15) NOT NULL,
    [Credit] real NULL CONSTRAINT [DF_Customer_Credit] DEFAULT (0),
    [BalAmo] money NULL CONSTRAINT [DF_Customer_BalAmo] DEFAULT (0),
    [Discount] float NULL CONSTRAINT [DF_Customer_Discount] DEFAULT (1),
    CONSTRAINT [PK_Customer] PRIMARY KEY ([UnitID])
)
GO
CREATE TABLE [dbo].[CustAcc] (
    [ID] int IDENTITY(1,1) NOT NULL,
    [AccDate] datetime NOT NULL CONSTRAINT [DF_CustAcc_AccDate] DEFAULT (getdate()),
    [Type] smallint NOT NULL CONSTRAINT [DF_CustAcc_Type] DEFAULT (0),
    [UnitID] nvarchar(15) NOT NULL,
    [BuyAmo] money NULL CONSTRAINT [DF_CustAcc_BuyAmo] DEFAULT (0),
    [PayAmo] money NULL CONSTRAINT [DF_CustAcc_PayAmo] DEFAULT (0),
    [BalAmo] money NULL CONSTRAINT [DF_CustAcc_BalAmo] DEFAULT (0),
    [Summary] nvarchar(100) NULL,
    CONSTRAINT [PK_CustAcc] PRIMARY KEY ([ID]),
    CONSTRAINT [FK_CustAcc_Customer] FOREIGN KEY ([UnitID]) REFERENCES [dbo].[Customer] ([UnitID])
)
GO
INSERT INTO Customer (UnitID, BalAmo) VALUES (N'C1', 12.5)
