-- The tables of a new version 6.0 database, and the records such a database is
-- created with. Run it against an empty database that is already selected.
--
-- Tables are created parents first, so that every foreign key names a table that
-- exists already. Columns 1 to 3 of most tables are Computer, Operator and OpTime:
-- the workstation, login and time of the last change, filled in by default.

-- ============================================================================
-- System registry: records every new database is created with
-- ============================================================================

-- Version of the database structure.
CREATE TABLE [dbo].[Version] (
    [Version] nvarchar(20) NOT NULL,
    [VerName] nvarchar(64) NULL,
    [VerDate] datetime NULL,
    [UpdateTime] datetime NULL CONSTRAINT [DF_Version_UpdateTime] DEFAULT (getdate()),
    [Remark] nvarchar(200) NULL,
    CONSTRAINT [PK_Version] PRIMARY KEY ([Version])
)
GO

-- The installed system.
CREATE TABLE [dbo].[System] (
    [SysID] smallint NOT NULL,
    [SysName] nvarchar(64) NOT NULL,
    [Edition] nvarchar(32) NULL,
    [DBVersion] nvarchar(20) NULL,
    [CreateTime] datetime NULL CONSTRAINT [DF_System_CreateTime] DEFAULT (getdate()),
    [Remark] nvarchar(200) NULL,
    CONSTRAINT [PK_System] PRIMARY KEY ([SysID])
)
GO

-- System parameters, one value per name.
CREATE TABLE [dbo].[SysParm] (
    [ParmName] nvarchar(50) NOT NULL,
    [ParmValue] nvarchar(255) NULL,
    [Caption] nvarchar(64) NULL,
    [Remark] nvarchar(200) NULL,
    CONSTRAINT [PK_SysParm] PRIMARY KEY ([ParmName])
)
GO

-- The choices of the system parameters that take one of a list.
CREATE TABLE [dbo].[SysParaRef] (
    [ParaName] nvarchar(50) NOT NULL,
    [RefValue] nvarchar(20) NOT NULL,
    [RefCaption] nvarchar(64) NOT NULL,
    [OrderNo] smallint NULL CONSTRAINT [DF_SysParaRef_OrderNo] DEFAULT (0),
    CONSTRAINT [PK_SysParaRef] PRIMARY KEY ([ParaName], [RefValue])
)
GO

-- Business parameters, one value per name.
CREATE TABLE [dbo].[Parameter] (
    [ParaName] nvarchar(50) NOT NULL,
    [ParaValue] nvarchar(255) NULL,
    [Caption] nvarchar(64) NULL,
    [Remark] nvarchar(200) NULL,
    CONSTRAINT [PK_Parameter] PRIMARY KEY ([ParaName])
)
GO

-- Settings kept in the database instead of the registry: machine-wide settings.
CREATE TABLE [dbo].[SRegistry_MACHINE] (
    [KeyPath] nvarchar(255) NOT NULL,
    [ValueName] nvarchar(64) NOT NULL,
    [ValueData] nvarchar(255) NULL,
    [OpTime] datetime NULL CONSTRAINT [DF_SRegistry_MACHINE_OpTime] DEFAULT (getdate()),
    CONSTRAINT [PK_SRegistry_MACHINE] PRIMARY KEY ([KeyPath], [ValueName])
)
GO

-- Settings kept in the database instead of the registry: class and file settings.
CREATE TABLE [dbo].[SRegistry_ROOT] (
    [KeyPath] nvarchar(255) NOT NULL,
    [ValueName] nvarchar(64) NOT NULL,
    [ValueData] nvarchar(255) NULL,
    [OpTime] datetime NULL CONSTRAINT [DF_SRegistry_ROOT_OpTime] DEFAULT (getdate()),
    CONSTRAINT [PK_SRegistry_ROOT] PRIMARY KEY ([KeyPath], [ValueName])
)
GO

-- Settings kept in the database instead of the registry: per-user settings.
CREATE TABLE [dbo].[SRegistry_USERS] (
    [KeyPath] nvarchar(255) NOT NULL,
    [ValueName] nvarchar(64) NOT NULL,
    [ValueData] nvarchar(255) NULL,
    [OpTime] datetime NULL CONSTRAINT [DF_SRegistry_USERS_OpTime] DEFAULT (getdate()),
    CONSTRAINT [PK_SRegistry_USERS] PRIMARY KEY ([KeyPath], [ValueName])
)
GO

-- Data checks offered by the maintenance tools.
CREATE TABLE [dbo].[ContentCheck] (
    [CheckID] smallint NOT NULL,
    [CheckName] nvarchar(64) NOT NULL,
    [TableName] nvarchar(64) NULL,
    [IsUsed] bit NOT NULL CONSTRAINT [DF_ContentCheck_IsUsed] DEFAULT (1),
    [Remark] nvarchar(200) NULL,
    CONSTRAINT [PK_ContentCheck] PRIMARY KEY ([CheckID])
)
GO

-- Tables offered for clearing at the end of a year (ClearType 1 sheets, 2 logs).
CREATE TABLE [dbo].[datClear] (
    [ClearID] smallint NOT NULL,
    [TableName] nvarchar(64) NOT NULL,
    [Caption] nvarchar(64) NULL,
    [ClearType] smallint NOT NULL CONSTRAINT [DF_datClear_ClearType] DEFAULT (1),
    [IsClear] bit NOT NULL CONSTRAINT [DF_datClear_IsClear] DEFAULT (1),
    [OrderNo] smallint NULL CONSTRAINT [DF_datClear_OrderNo] DEFAULT (0),
    CONSTRAINT [PK_datClear] PRIMARY KEY ([ClearID])
)
GO

-- Kinds of catalog entries.
CREATE TABLE [dbo].[CatType] (
    [CatTypeID] smallint NOT NULL,
    [TypeName] nvarchar(32) NOT NULL,
    CONSTRAINT [PK_CatType] PRIMARY KEY ([CatTypeID])
)
GO

-- The function catalog (menu tree); ParentID names the parent entry.
CREATE TABLE [dbo].[Catalog] (
    [CatID] nvarchar(10) NOT NULL,
    [ParentID] nvarchar(10) NULL,
    [CatTypeID] smallint NOT NULL CONSTRAINT [DF_Catalog_CatTypeID] DEFAULT (1),
    [CatName] nvarchar(64) NOT NULL,
    [FormName] nvarchar(64) NULL,
    [OrderNo] smallint NULL CONSTRAINT [DF_Catalog_OrderNo] DEFAULT (0),
    [IsUsed] bit NOT NULL CONSTRAINT [DF_Catalog_IsUsed] DEFAULT (1),
    CONSTRAINT [PK_Catalog] PRIMARY KEY ([CatID])
)
GO

-- Every right that can be granted to a user.
CREATE TABLE [dbo].[DroitList] (
    [DroitID] nvarchar(20) NOT NULL,
    [DroitName] nvarchar(64) NOT NULL,
    [CatID] nvarchar(10) NULL,
    [OrderNo] smallint NULL CONSTRAINT [DF_DroitList_OrderNo] DEFAULT (0),
    CONSTRAINT [PK_DroitList] PRIMARY KEY ([DroitID])
)
GO

-- Sheet types. The ledgers record the type of the sheet that wrote each entry;
-- 200 is the opening balance.
CREATE TABLE [dbo].[SheetType] (
    [SheetType] smallint NOT NULL,
    [TypeName] nvarchar(32) NOT NULL,
    [Prefix] nvarchar(10) NULL,
    [SheetTable] nvarchar(32) NULL,
    [ItemsTable] nvarchar(32) NULL,
    [IsUsed] bit NOT NULL CONSTRAINT [DF_SheetType_IsUsed] DEFAULT (1),
    CONSTRAINT [PK_SheetType] PRIMARY KEY ([SheetType])
)
GO

-- Kinds of stock issue.
CREATE TABLE [dbo].[ExShType] (
    [TypeID] smallint NOT NULL,
    [TypeName] nvarchar(32) NOT NULL,
    [IsUsed] bit NOT NULL CONSTRAINT [DF_ExShType_IsUsed] DEFAULT (1),
    CONSTRAINT [PK_ExShType] PRIMARY KEY ([TypeID])
)
GO

-- Kinds of stock receipt.
CREATE TABLE [dbo].[ImShType] (
    [TypeID] smallint NOT NULL,
    [TypeName] nvarchar(32) NOT NULL,
    [IsUsed] bit NOT NULL CONSTRAINT [DF_ImShType_IsUsed] DEFAULT (1),
    CONSTRAINT [PK_ImShType] PRIMARY KEY ([TypeID])
)
GO

-- Invoice kinds, with the tax rate in percent.
CREATE TABLE [dbo].[InvoiceType] (
    [InvoiceTypeID] smallint NOT NULL,
    [TypeName] nvarchar(32) NOT NULL,
    [TaxRate] money NOT NULL CONSTRAINT [DF_InvoiceType_TaxRate] DEFAULT (0),
    [IsUsed] bit NOT NULL CONSTRAINT [DF_InvoiceType_IsUsed] DEFAULT (1),
    CONSTRAINT [PK_InvoiceType] PRIMARY KEY ([InvoiceTypeID])
)
GO

-- Means of payment.
CREATE TABLE [dbo].[SettleType] (
    [SettleTypeID] smallint NOT NULL,
    [SettleName] nvarchar(32) NOT NULL,
    [IsUsed] bit NOT NULL CONSTRAINT [DF_SettleType_IsUsed] DEFAULT (1),
    CONSTRAINT [PK_SettleType] PRIMARY KEY ([SettleTypeID])
)
GO

-- Terms of settlement with trading partners.
CREATE TABLE [dbo].[SettMode] (
    [SettModeID] smallint NOT NULL,
    [ModeName] nvarchar(32) NOT NULL,
    [IsUsed] bit NOT NULL CONSTRAINT [DF_SettMode_IsUsed] DEFAULT (1),
    CONSTRAINT [PK_SettMode] PRIMARY KEY ([SettModeID])
)
GO

-- Selling price levels; FieldName is the Goods column holding the price.
-- Customer.PriceID and Member.PriceID choose one of them.
CREATE TABLE [dbo].[SelPrice] (
    [PriceID] smallint NOT NULL,
    [PriceName] nvarchar(32) NOT NULL,
    [FieldName] nvarchar(32) NULL,
    [IsUsed] bit NOT NULL CONSTRAINT [DF_SelPrice_IsUsed] DEFAULT (1),
    CONSTRAINT [PK_SelPrice] PRIMARY KEY ([PriceID])
)
GO

-- ============================================================================
-- Users, rights, shops and workstations
-- ============================================================================

-- User groups.
CREATE TABLE [dbo].[UserGroup] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_UserGroup_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_UserGroup_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_UserGroup_OpTime] DEFAULT (getdate()),
    [GroupID] nvarchar(20) NOT NULL,
    [GroupName] nvarchar(32) NOT NULL,
    [Remark] nvarchar(200) NULL,
    CONSTRAINT [PK_UserGroup] PRIMARY KEY ([GroupID])
)
GO

-- Users of the system.
CREATE TABLE [dbo].[User] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_User_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_User_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_User_OpTime] DEFAULT (getdate()),
    [UserID] nvarchar(20) NOT NULL,
    [UserName] nvarchar(32) NOT NULL,
    [Password] nvarchar(32) NULL,
    [GroupID] nvarchar(20) NULL,
    [EmpCode] nvarchar(20) NULL,
    [IsAdmin] bit NOT NULL CONSTRAINT [DF_User_IsAdmin] DEFAULT (0),
    [IsUsed] bit NOT NULL CONSTRAINT [DF_User_IsUsed] DEFAULT (1),
    [Remark] nvarchar(200) NULL,
    CONSTRAINT [PK_User] PRIMARY KEY ([UserID])
)
GO

-- Rights granted to users.
CREATE TABLE [dbo].[Droit] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_Droit_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_Droit_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_Droit_OpTime] DEFAULT (getdate()),
    [UserID] nvarchar(20) NOT NULL,
    [DroitID] nvarchar(20) NOT NULL,
    [IsAllow] bit NOT NULL CONSTRAINT [DF_Droit_IsAllow] DEFAULT (1),
    CONSTRAINT [PK_Droit] PRIMARY KEY ([UserID], [DroitID])
)
GO

-- Limits of a user by kind (highest discount, lowest price, ...).
CREATE TABLE [dbo].[UserLimit] (
    [UserID] nvarchar(20) NOT NULL,
    [LimitType] smallint NOT NULL,
    [LimitValue] money NULL CONSTRAINT [DF_UserLimit_LimitValue] DEFAULT (0),
    CONSTRAINT [PK_UserLimit] PRIMARY KEY ([UserID], [LimitType])
)
GO

-- Warehouses a user may work with.
CREATE TABLE [dbo].[UserBaseLimit] (
    [UserID] nvarchar(20) NOT NULL,
    [BaseID] int NOT NULL,
    CONSTRAINT [PK_UserBaseLimit] PRIMARY KEY ([UserID], [BaseID])
)
GO

-- Catalog entries a user may open.
CREATE TABLE [dbo].[UserCatalogLimit] (
    [UserID] nvarchar(20) NOT NULL,
    [CatID] nvarchar(10) NOT NULL,
    CONSTRAINT [PK_UserCatalogLimit] PRIMARY KEY ([UserID], [CatID])
)
GO

-- The company that runs the system.
CREATE TABLE [dbo].[Owner] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_Owner_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_Owner_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_Owner_OpTime] DEFAULT (getdate()),
    [OwnerID] smallint NOT NULL,
    [OwnerName] nvarchar(64) NOT NULL,
    [Address] nvarchar(128) NULL,
    [Tel] nvarchar(50) NULL,
    [Fax] nvarchar(50) NULL,
    [TaxNo] nvarchar(30) NULL,
    [Bank] nvarchar(64) NULL,
    [AccNo] nvarchar(30) NULL,
    [Boss] nvarchar(20) NULL,
    CONSTRAINT [PK_Owner] PRIMARY KEY ([OwnerID])
)
GO

-- Data domains (a head office and its branches).
CREATE TABLE [dbo].[Domain] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_Domain_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_Domain_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_Domain_OpTime] DEFAULT (getdate()),
    [DomainID] nvarchar(15) NOT NULL,
    [DomainName] nvarchar(64) NULL,
    [Remark] nvarchar(200) NULL,
    CONSTRAINT [PK_Domain] PRIMARY KEY ([DomainID])
)
GO

-- What belongs to a data domain: ObjType 1 shop, 2 warehouse, 3 workstation.
CREATE TABLE [dbo].[Domap] (
    [DomainID] nvarchar(15) NOT NULL,
    [ObjType] smallint NOT NULL,
    [ObjID] nvarchar(50) NOT NULL,
    CONSTRAINT [PK_Domap] PRIMARY KEY ([DomainID], [ObjType], [ObjID])
)
GO

-- Workstations and point-of-sale terminals.
CREATE TABLE [dbo].[Computer] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_Computer_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_Computer_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_Computer_OpTime] DEFAULT (getdate()),
    [ComputerID] nvarchar(20) NOT NULL,
    [ComputerName] nvarchar(64) NULL,
    [ShopID] nvarchar(15) NULL,
    [BaseID] int NULL,
    [IsPos] bit NOT NULL CONSTRAINT [DF_Computer_IsPos] DEFAULT (0),
    [Remark] nvarchar(200) NULL,
    CONSTRAINT [PK_Computer] PRIMARY KEY ([ComputerID])
)
GO

-- Shops of a chain.
CREATE TABLE [dbo].[Shop] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_Shop_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_Shop_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_Shop_OpTime] DEFAULT (getdate()),
    [ShopID] nvarchar(15) NOT NULL,
    [ShopName] nvarchar(64) NOT NULL,
    [Address] nvarchar(128) NULL,
    [Tel] nvarchar(50) NULL,
    [Manager] nvarchar(20) NULL,
    [IsUsed] bit NOT NULL CONSTRAINT [DF_Shop_IsUsed] DEFAULT (1),
    CONSTRAINT [PK_Shop] PRIMARY KEY ([ShopID])
)
GO

-- Warehouses of a shop.
CREATE TABLE [dbo].[ShopBase] (
    [ShopID] nvarchar(15) NOT NULL,
    [BaseID] int NOT NULL,
    CONSTRAINT [PK_ShopBase] PRIMARY KEY ([ShopID], [BaseID])
)
GO

-- Workstations of a shop.
CREATE TABLE [dbo].[ShopComputer] (
    [ShopID] nvarchar(15) NOT NULL,
    [ComputerID] nvarchar(20) NOT NULL,
    CONSTRAINT [PK_ShopComputer] PRIMARY KEY ([ShopID], [ComputerID])
)
GO

-- Records locked for editing, by table and key.
CREATE TABLE [dbo].[LockInfo] (
    [LockID] int IDENTITY(1,1) NOT NULL,
    [TableName] nvarchar(64) NOT NULL,
    [KeyValue] nvarchar(50) NOT NULL,
    [ComputerName] nvarchar(20) NULL CONSTRAINT [DF_LockInfo_ComputerName] DEFAULT (host_name()),
    [UserID] nvarchar(20) NULL,
    [LockTime] datetime NULL CONSTRAINT [DF_LockInfo_LockTime] DEFAULT (getdate()),
    CONSTRAINT [PK_LockInfo] PRIMARY KEY ([LockID])
)
GO

-- The last sheet number given, per sheet type.
CREATE TABLE [dbo].[SheetNo] (
    [SheetType] smallint NOT NULL,
    [Prefix] nvarchar(10) NULL,
    [NoDate] datetime NULL,
    [MaxNo] int NOT NULL CONSTRAINT [DF_SheetNo_MaxNo] DEFAULT (0),
    CONSTRAINT [PK_SheetNo] PRIMARY KEY ([SheetType])
)
GO

-- The last sheet number given by a workstation working offline.
CREATE TABLE [dbo].[SheetNoClient] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_SheetNoClient_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_SheetNoClient_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_SheetNoClient_OpTime] DEFAULT (getdate()),
    [ClientName] nvarchar(20) NOT NULL,
    [SheetType] smallint NOT NULL,
    [NoDate] datetime NULL,
    [MaxNo] int NOT NULL CONSTRAINT [DF_SheetNoClient_MaxNo] DEFAULT (0),
    CONSTRAINT [PK_SheetNoClient] PRIMARY KEY ([ClientName], [SheetType])
)
GO

-- ============================================================================
-- Master data
-- ============================================================================

-- Departments. DepID is an identity; the upgrade keeps the old numbers,
-- to which Employee.DepID refers.
CREATE TABLE [dbo].[Depart] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_Depart_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_Depart_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_Depart_OpTime] DEFAULT (getdate()),
    [DepID] int IDENTITY(1,1) NOT NULL,
    [Class] nvarchar(32) NULL,
    [DepCode] nvarchar(15) NULL,
    [DepName] nvarchar(64) NULL,
    CONSTRAINT [PK_Depart] PRIMARY KEY ([DepID])
)
GO

-- Employees, keyed by their code. DepID names the department (not enforced:
-- departments are cleared before employees).
CREATE TABLE [dbo].[Employee] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_Employee_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_Employee_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_Employee_OpTime] DEFAULT (getdate()),
    [DepID] int NULL,
    [Class] nvarchar(32) NULL,
    [Code] nvarchar(20) NOT NULL,
    [Name] nvarchar(32) NOT NULL,
    [Sex] nvarchar(10) NULL,
    [Nation] nvarchar(50) NULL,
    [Birthy] nvarchar(12) NULL,
    [IDNo] nvarchar(18) NULL,
    [CalLevel] nvarchar(50) NULL,
    [Zch] nvarchar(20) NULL,
    [Zw] nvarchar(20) NULL,
    [WorkDate] nvarchar(12) NULL,
    [ToDate] nvarchar(12) NULL,
    [Tel] nvarchar(15) NULL,
    [Bp] nvarchar(50) NULL,
    [Address] nvarchar(60) NULL,
    [PostCode] nvarchar(20) NULL,
    [Remark] ntext NULL,
    CONSTRAINT [PK_Employee] PRIMARY KEY ([Code])
)
GO

-- Members (customer cards). Code is the member number the shop gives out;
-- IsTrans is set once the member has business.
CREATE TABLE [dbo].[Member] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_Member_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_Member_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_Member_OpTime] DEFAULT (getdate()),
    [MemberID] nvarchar(15) NOT NULL,
    [Code] nvarchar(20) NULL,
    [CardID] nvarchar(15) NULL,
    [Name] nvarchar(64) NULL,
    [Sex] nvarchar(4) NULL,
    [Birthy] datetime NULL,
    [IDNo] nvarchar(18) NULL,
    [Tel] nvarchar(50) NULL,
    [Bp] nvarchar(50) NULL,
    [Hand] nvarchar(50) NULL,
    [Email] nvarchar(50) NULL,
    [Http] nvarchar(50) NULL,
    [PostCode] nvarchar(20) NULL,
    [Address] nvarchar(128) NULL,
    [ToDate] datetime NULL,
    [Type] smallint NULL,
    [RegionID] int NULL,
    [Class] varchar(50) NULL,
    [IsTrans] bit NOT NULL CONSTRAINT [DF_Member_IsTrans] DEFAULT (0),
    [IsUse] bit NULL CONSTRAINT [DF_Member_IsUse] DEFAULT (1),
    [IsUsual] bit NULL CONSTRAINT [DF_Member_IsUsual] DEFAULT (1),
    [PriceID] smallint NULL CONSTRAINT [DF_Member_PriceID] DEFAULT (1),
    [Discount] float NULL CONSTRAINT [DF_Member_Discount] DEFAULT (1),
    [Amo] money NULL CONSTRAINT [DF_Member_Amo] DEFAULT (0),
    [Remark] ntext NULL,
    CONSTRAINT [PK_Member] PRIMARY KEY ([MemberID])
)
GO

-- Regions of customers and suppliers. RegionID is an identity; the upgrade
-- keeps the old numbers.
CREATE TABLE [dbo].[Region] (
    [RegionID] int IDENTITY(1,1) NOT NULL,
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_Region_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_Region_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_Region_OpTime] DEFAULT (getdate()),
    [Class] varchar(50) NOT NULL,
    [RegCode] nvarchar(15) NULL,
    [RegName] nvarchar(64) NULL,
    CONSTRAINT [PK_Region] PRIMARY KEY ([RegionID])
)
GO

-- Customers. UnitID "0" is the retail customer. IsTrans is set once the
-- customer has entries in its ledger; PBalAmo is the opening balance.
CREATE TABLE [dbo].[Customer] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_Customer_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_Customer_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_Customer_OpTime] DEFAULT (getdate()),
    [IsTrans] bit NOT NULL CONSTRAINT [DF_Customer_IsTrans] DEFAULT (0),
    [IsUsed] bit NULL CONSTRAINT [DF_Customer_IsUsed] DEFAULT (1),
    [IsUsual] bit NULL CONSTRAINT [DF_Customer_IsUsual] DEFAULT (1),
    [RegionID] int NULL,
    [Class] varchar(50) NULL,
    [UnitID] nvarchar(15) NOT NULL,
    [Code] nvarchar(50) NULL,
    [UnitName] nvarchar(64) NULL,
    [TaxNo] nvarchar(30) NULL,
    [Credit] real NULL CONSTRAINT [DF_Customer_Credit] DEFAULT (0),
    [PBalAmo] money NULL CONSTRAINT [DF_Customer_PBalAmo] DEFAULT (0),
    [BalAmo] money NULL CONSTRAINT [DF_Customer_BalAmo] DEFAULT (0),
    [PreAmo] money NULL CONSTRAINT [DF_Customer_PreAmo] DEFAULT (0),
    [TotalAmo] money NULL CONSTRAINT [DF_Customer_TotalAmo] DEFAULT (0),
    [PriceID] smallint NULL CONSTRAINT [DF_Customer_PriceID] DEFAULT (1),
    [Discount] float NULL CONSTRAINT [DF_Customer_Discount] DEFAULT (1),
    [Tel] nvarchar(50) NULL,
    [Fax] nvarchar(50) NULL,
    [Email] nvarchar(50) NULL,
    [PostCode] nvarchar(20) NULL,
    [Address] nvarchar(64) NULL,
    [Bank] nvarchar(64) NULL,
    [AccNo] nvarchar(30) NULL,
    [Remark] ntext NULL,
    [DebtCyc] smallint NULL CONSTRAINT [DF_Customer_DebtCyc] DEFAULT (0),
    [FollowName] nvarchar(20) NULL,
    CONSTRAINT [PK_Customer] PRIMARY KEY ([UnitID]),
    CONSTRAINT [FK_Customer_Region] FOREIGN KEY ([RegionID]) REFERENCES [dbo].[Region] ([RegionID])
)
GO

-- Suppliers. IsTrans is set once the supplier has entries in its ledger;
-- PBalAmo is the opening balance.
CREATE TABLE [dbo].[Supplier] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_Supplier_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_Supplier_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_Supplier_OpTime] DEFAULT (getdate()),
    [RegionID] int NULL,
    [Class] varchar(50) NULL,
    [IsTrans] bit NOT NULL CONSTRAINT [DF_Supplier_IsTrans] DEFAULT (0),
    [IsUsed] bit NULL CONSTRAINT [DF_Supplier_IsUsed] DEFAULT (1),
    [IsUsual] bit NULL CONSTRAINT [DF_Supplier_IsUsual] DEFAULT (1),
    [UnitID] nvarchar(15) NOT NULL,
    [Code] nvarchar(50) NULL,
    [UnitName] nvarchar(64) NULL,
    [TaxNo] nvarchar(30) NULL,
    [PBalAmo] money NULL CONSTRAINT [DF_Supplier_PBalAmo] DEFAULT (0),
    [BalAmo] money NULL CONSTRAINT [DF_Supplier_BalAmo] DEFAULT (0),
    [PreAmo] money NULL CONSTRAINT [DF_Supplier_PreAmo] DEFAULT (0),
    [Tel] nvarchar(50) NULL,
    [Fax] nvarchar(50) NULL,
    [Email] nvarchar(50) NULL,
    [PostCode] nvarchar(20) NULL,
    [Address] nvarchar(64) NULL,
    [Bank] nvarchar(64) NULL,
    [AccNo] nvarchar(30) NULL,
    [Remark] ntext NULL,
    CONSTRAINT [PK_Supplier] PRIMARY KEY ([UnitID]),
    CONSTRAINT [FK_Supplier_Region] FOREIGN KEY ([RegionID]) REFERENCES [dbo].[Region] ([RegionID])
)
GO

-- Goods classes, keyed by the class code that Goods.Class holds (not enforced:
-- classes are cleared before goods).
CREATE TABLE [dbo].[gdsClass] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_gdsClass_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_gdsClass_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_gdsClass_OpTime] DEFAULT (getdate()),
    [Class] nvarchar(32) NOT NULL,
    [IsGoods] bit NULL CONSTRAINT [DF_gdsClass_IsGoods] DEFAULT (1),
    [ClasName] nvarchar(64) NOT NULL,
    [Rate1] money NULL CONSTRAINT [DF_gdsClass_Rate1] DEFAULT (0),
    [Rate2] money NULL CONSTRAINT [DF_gdsClass_Rate2] DEFAULT (0),
    [Rate3] money NULL CONSTRAINT [DF_gdsClass_Rate3] DEFAULT (0),
    [Rate4] money NULL CONSTRAINT [DF_gdsClass_Rate4] DEFAULT (0),
    [ClassCode] nvarchar(20) NULL,
    CONSTRAINT [PK_gdsClass] PRIMARY KEY ([Class])
)
GO

-- Colours of goods sold by colour and size.
CREATE TABLE [dbo].[Color] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_Color_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_Color_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_Color_OpTime] DEFAULT (getdate()),
    [ColorID] nvarchar(10) NOT NULL,
    [ColorName] nvarchar(32) NOT NULL,
    CONSTRAINT [PK_Color] PRIMARY KEY ([ColorID])
)
GO

-- Sizes of goods sold by colour and size.
CREATE TABLE [dbo].[Size] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_Size_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_Size_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_Size_OpTime] DEFAULT (getdate()),
    [SizeID] nvarchar(10) NOT NULL,
    [SizeName] nvarchar(32) NOT NULL,
    [OrderNo] smallint NULL CONSTRAINT [DF_Size_OrderNo] DEFAULT (0),
    CONSTRAINT [PK_Size] PRIMARY KEY ([SizeID])
)
GO

-- Size groups (Goods.fstrSizeGroup) and their sizes.
CREATE TABLE [dbo].[SizeGroup] (
    [GroupName] nvarchar(50) NOT NULL,
    [SizeID] nvarchar(10) NOT NULL,
    [OrderNo] smallint NULL CONSTRAINT [DF_SizeGroup_OrderNo] DEFAULT (0),
    CONSTRAINT [PK_SizeGroup] PRIMARY KEY ([GroupName], [SizeID])
)
GO

-- The goods file. Prices are float, stock quantities and amounts money.
-- IsTrans is set once the goods has entries in the custody book.
CREATE TABLE [dbo].[Goods] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_Goods_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_Goods_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_Goods_OpTime] DEFAULT (getdate()),
    [Class] nvarchar(32) NULL,
    [IsTrans] bit NOT NULL CONSTRAINT [DF_Goods_IsTrans] DEFAULT (0),
    [IsGoods] bit NULL CONSTRAINT [DF_Goods_IsGoods] DEFAULT (1),
    [IsUsual] bit NULL CONSTRAINT [DF_Goods_IsUsual] DEFAULT (1),
    [IsCom] bit NULL CONSTRAINT [DF_Goods_IsCom] DEFAULT (0),
    [IsEScale] bit NULL CONSTRAINT [DF_Goods_IsEScale] DEFAULT (0),
    [IsEntrust] bit NULL CONSTRAINT [DF_Goods_IsEntrust] DEFAULT (0),
    [GoodsID] nvarchar(50) NOT NULL,
    [Code] nvarchar(50) NULL,
    [GdsName] nvarchar(50) NULL,
    [GdsStandard] nvarchar(20) NULL,
    [GdsGrade] nvarchar(20) NULL,
    [Origion] nvarchar(20) NULL,
    [UnitID] nvarchar(15) NULL,
    [Type] nvarchar(50) NULL,
    [PUnit] nvarchar(20) NULL,
    [Unit] nvarchar(20) NULL,
    [Ref] float NULL CONSTRAINT [DF_Goods_Ref] DEFAULT (1),
    [MaxRes] money NULL CONSTRAINT [DF_Goods_MaxRes] DEFAULT (0),
    [MinRes] money NULL CONSTRAINT [DF_Goods_MinRes] DEFAULT (0),
    [Price] float NULL CONSTRAINT [DF_Goods_Price] DEFAULT (0),
    [Price1] float NULL CONSTRAINT [DF_Goods_Price1] DEFAULT (0),
    [Price2] float NULL CONSTRAINT [DF_Goods_Price2] DEFAULT (0),
    [Price3] float NULL CONSTRAINT [DF_Goods_Price3] DEFAULT (0),
    [Price4] float NULL CONSTRAINT [DF_Goods_Price4] DEFAULT (0),
    [MemPrice1] float NULL CONSTRAINT [DF_Goods_MemPrice1] DEFAULT (0),
    [MemPrice2] float NULL CONSTRAINT [DF_Goods_MemPrice2] DEFAULT (0),
    [MemPrice3] float NULL CONSTRAINT [DF_Goods_MemPrice3] DEFAULT (0),
    [MinPrice] float NULL CONSTRAINT [DF_Goods_MinPrice] DEFAULT (0),
    [BalPrice] float NULL CONSTRAINT [DF_Goods_BalPrice] DEFAULT (0),
    [PBalQua] money NULL CONSTRAINT [DF_Goods_PBalQua] DEFAULT (0),
    [PBalAmo] money NULL CONSTRAINT [DF_Goods_PBalAmo] DEFAULT (0),
    [BalQua] money NULL CONSTRAINT [DF_Goods_BalQua] DEFAULT (0),
    [BalAmo] money NULL CONSTRAINT [DF_Goods_BalAmo] DEFAULT (0),
    [BQuaSum] money NULL CONSTRAINT [DF_Goods_BQuaSum] DEFAULT (0),
    [BAmoSum] money NULL CONSTRAINT [DF_Goods_BAmoSum] DEFAULT (0),
    [BDIQSum] money NULL CONSTRAINT [DF_Goods_BDIQSum] DEFAULT (0),
    [BDIQAmo] money NULL CONSTRAINT [DF_Goods_BDIQAmo] DEFAULT (0),
    [BDEQSum] money NULL CONSTRAINT [DF_Goods_BDEQSum] DEFAULT (0),
    [BDEQAmo] money NULL CONSTRAINT [DF_Goods_BDEQAmo] DEFAULT (0),
    [fblnIsColor] bit NULL CONSTRAINT [DF_Goods_fblnIsColor] DEFAULT (0),
    [Remark] ntext NULL,
    [fblnIsSize] bit NULL CONSTRAINT [DF_Goods_fblnIsSize] DEFAULT (0),
    [IsPro] bit NULL CONSTRAINT [DF_Goods_IsPro] DEFAULT (0),
    [fstrSizeGroup] nvarchar(50) NULL,
    [IsBrunt] bit NULL CONSTRAINT [DF_Goods_IsBrunt] DEFAULT (0),
    [Properties] nvarchar(200) NULL,
    [Costing] int NULL CONSTRAINT [DF_Goods_Costing] DEFAULT (0),
    [fcurStandardPrice] money NULL CONSTRAINT [DF_Goods_fcurStandardPrice] DEFAULT (0),
    CONSTRAINT [PK_Goods] PRIMARY KEY ([GoodsID])
)
GO

-- Combinations (assembly models): goods GoodsID is made of Qua of goods GdsCode.
CREATE TABLE [dbo].[gdsCom] (
    [GoodsID] nvarchar(50) NOT NULL,
    [GdsCode] nvarchar(50) NOT NULL,
    [Qua] money NULL CONSTRAINT [DF_gdsCom_Qua] DEFAULT (1),
    [Price] money NULL CONSTRAINT [DF_gdsCom_Price] DEFAULT (0),
    CONSTRAINT [PK_gdsCom] PRIMARY KEY ([GoodsID], [GdsCode]),
    CONSTRAINT [FK_gdsCom_Goods] FOREIGN KEY ([GoodsID]) REFERENCES [dbo].[Goods] ([GoodsID]),
    CONSTRAINT [FK_gdsCom_Goods_GdsCode] FOREIGN KEY ([GdsCode]) REFERENCES [dbo].[Goods] ([GoodsID])
)
GO

-- Identification codes (bar codes) of goods. GoodsID is not enforced: the
-- goods are cleared before their codes.
CREATE TABLE [dbo].[GoodsIDList] (
    [GoodsBarID] nvarchar(50) NOT NULL,
    [GoodsID] nvarchar(50) NULL,
    [Type] smallint NULL CONSTRAINT [DF_GoodsIDList_Type] DEFAULT (1),
    [Optime] datetime NULL CONSTRAINT [DF_GoodsIDList_Optime] DEFAULT (getdate()),
    [IsSaleOut] bit NULL CONSTRAINT [DF_GoodsIDList_IsSaleOut] DEFAULT (0),
    CONSTRAINT [PK_GoodsIDList] PRIMARY KEY ([GoodsBarID])
)
GO

-- Warehouses. BaseID is an identity; the upgrade keeps the old numbers.
CREATE TABLE [dbo].[Base] (
    [BaseID] int IDENTITY(1,1) NOT NULL,
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_Base_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_Base_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_Base_OpTime] DEFAULT (getdate()),
    [BaseCode] nvarchar(15) NULL,
    [BaseName] nvarchar(64) NULL,
    [IsOwner] bit NULL CONSTRAINT [DF_Base_IsOwner] DEFAULT (0),
    [Address] nvarchar(128) NULL,
    [Phone] nvarchar(64) NULL,
    [Name] nvarchar(20) NULL,
    CONSTRAINT [PK_Base] PRIMARY KEY ([BaseID])
)
GO

-- Goods held by customers on consignment.
CREATE TABLE [dbo].[CustGoods] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_CustGoods_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_CustGoods_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_CustGoods_OpTime] DEFAULT (getdate()),
    [UnitID] nvarchar(15) NOT NULL,
    [GoodsID] nvarchar(50) NOT NULL,
    [Qua] money NULL CONSTRAINT [DF_CustGoods_Qua] DEFAULT (0),
    [Price] money NULL CONSTRAINT [DF_CustGoods_Price] DEFAULT (0),
    [Amo] money NULL CONSTRAINT [DF_CustGoods_Amo] DEFAULT (0),
    CONSTRAINT [PK_CustGoods] PRIMARY KEY ([UnitID], [GoodsID])
)
GO

-- Goods a supplier delivers, with its purchase price.
CREATE TABLE [dbo].[SupGoods] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_SupGoods_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_SupGoods_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_SupGoods_OpTime] DEFAULT (getdate()),
    [UnitID] nvarchar(15) NOT NULL,
    [GoodsID] nvarchar(50) NOT NULL,
    [Price] money NULL CONSTRAINT [DF_SupGoods_Price] DEFAULT (0),
    [IsMain] bit NOT NULL CONSTRAINT [DF_SupGoods_IsMain] DEFAULT (0),
    CONSTRAINT [PK_SupGoods] PRIMARY KEY ([UnitID], [GoodsID])
)
GO

-- Goods received from suppliers on consignment, not yet settled.
CREATE TABLE [dbo].[SuppDelGoods] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_SuppDelGoods_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_SuppDelGoods_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_SuppDelGoods_OpTime] DEFAULT (getdate()),
    [UnitID] nvarchar(15) NOT NULL,
    [GoodsID] nvarchar(50) NOT NULL,
    [Qua] money NULL CONSTRAINT [DF_SuppDelGoods_Qua] DEFAULT (0),
    [Price] money NULL CONSTRAINT [DF_SuppDelGoods_Price] DEFAULT (0),
    [Amo] money NULL CONSTRAINT [DF_SuppDelGoods_Amo] DEFAULT (0),
    CONSTRAINT [PK_SuppDelGoods] PRIMARY KEY ([UnitID], [GoodsID])
)
GO

-- ============================================================================
-- Account books
-- ============================================================================

-- Accounting periods.
CREATE TABLE [dbo].[AccDate] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_AccDate_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_AccDate_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_AccDate_OpTime] DEFAULT (getdate()),
    [AccYear] smallint NOT NULL,
    [AccMonth] smallint NOT NULL,
    [BeginDate] datetime NULL,
    [EndDate] datetime NULL,
    [IsClosed] bit NOT NULL CONSTRAINT [DF_AccDate_IsClosed] DEFAULT (0),
    [CloseTime] datetime NULL,
    CONSTRAINT [PK_AccDate] PRIMARY KEY ([AccYear], [AccMonth])
)
GO

-- Stock of each goods in each warehouse. PBalQua and PBalAmo are the opening
-- stock; RBalQua and RBalAmo the stock not yet matched by sales.
CREATE TABLE [dbo].[bBalance] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_bBalance_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_bBalance_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_bBalance_OpTime] DEFAULT (getdate()),
    [BaseID] int NOT NULL,
    [GoodsID] nvarchar(50) NOT NULL,
    [PBalQua] money NULL CONSTRAINT [DF_bBalance_PBalQua] DEFAULT (0),
    [PBalAmo] money NULL CONSTRAINT [DF_bBalance_PBalAmo] DEFAULT (0),
    [BalPrice] float NULL CONSTRAINT [DF_bBalance_BalPrice] DEFAULT (0),
    [BalQua] money NULL CONSTRAINT [DF_bBalance_BalQua] DEFAULT (0),
    [BalAmo] money NULL CONSTRAINT [DF_bBalance_BalAmo] DEFAULT (0),
    [RBalQua] money NULL CONSTRAINT [DF_bBalance_RBalQua] DEFAULT (0),
    [RBalAmo] money NULL CONSTRAINT [DF_bBalance_RBalAmo] DEFAULT (0),
    [BDIQua] money NULL CONSTRAINT [DF_bBalance_BDIQua] DEFAULT (0),
    [BDIQAmo] money NULL CONSTRAINT [DF_bBalance_BDIQAmo] DEFAULT (0),
    [BDEQua] money NULL CONSTRAINT [DF_bBalance_BDEQua] DEFAULT (0),
    [BDEQAmo] money NULL CONSTRAINT [DF_bBalance_BDEQAmo] DEFAULT (0),
    [Location] nvarchar(32) NULL,
    CONSTRAINT [PK_bBalance] PRIMARY KEY ([BaseID], [GoodsID]),
    CONSTRAINT [FK_bBalance_Base] FOREIGN KEY ([BaseID]) REFERENCES [dbo].[Base] ([BaseID]),
    CONSTRAINT [FK_bBalance_Goods] FOREIGN KEY ([GoodsID]) REFERENCES [dbo].[Goods] ([GoodsID])
)
GO

-- Customer ledger: one entry per sheet that changes what a customer owes.
-- Type is the sheet type (200 opening balance).
CREATE TABLE [dbo].[CustAcc] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_CustAcc_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_CustAcc_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_CustAcc_OpTime] DEFAULT (getdate()),
    [ID] int IDENTITY(1,1) NOT NULL,
    [AccDate] datetime NOT NULL CONSTRAINT [DF_CustAcc_AccDate] DEFAULT (getdate()),
    [SheetID] nvarchar(20) NULL,
    [Type] smallint NOT NULL CONSTRAINT [DF_CustAcc_Type] DEFAULT (0),
    [UnitID] nvarchar(15) NOT NULL,
    [BuyAmo] money NULL CONSTRAINT [DF_CustAcc_BuyAmo] DEFAULT (0),
    [PayAmo] money NULL CONSTRAINT [DF_CustAcc_PayAmo] DEFAULT (0),
    [BalAmo] money NULL CONSTRAINT [DF_CustAcc_BalAmo] DEFAULT (0),
    [Summary] nvarchar(100) NULL,
    [EmpCode] nvarchar(20) NULL,
    CONSTRAINT [PK_CustAcc] PRIMARY KEY ([ID]),
    CONSTRAINT [FK_CustAcc_Customer] FOREIGN KEY ([UnitID]) REFERENCES [dbo].[Customer] ([UnitID])
)
GO

-- Customer ledger totals per period.
CREATE TABLE [dbo].[CustAccTotal] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_CustAccTotal_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_CustAccTotal_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_CustAccTotal_OpTime] DEFAULT (getdate()),
    [AccYear] smallint NOT NULL,
    [AccMonth] smallint NOT NULL,
    [UnitID] nvarchar(15) NOT NULL,
    [PBalAmo] money NULL CONSTRAINT [DF_CustAccTotal_PBalAmo] DEFAULT (0),
    [BuyAmo] money NULL CONSTRAINT [DF_CustAccTotal_BuyAmo] DEFAULT (0),
    [PayAmo] money NULL CONSTRAINT [DF_CustAccTotal_PayAmo] DEFAULT (0),
    [BalAmo] money NULL CONSTRAINT [DF_CustAccTotal_BalAmo] DEFAULT (0),
    CONSTRAINT [PK_CustAccTotal] PRIMARY KEY ([AccYear], [AccMonth], [UnitID])
)
GO

-- Supplier ledger: one entry per sheet that changes what is owed to a supplier.
-- Type is the sheet type (200 opening balance).
CREATE TABLE [dbo].[SuppAcc] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_SuppAcc_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_SuppAcc_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_SuppAcc_OpTime] DEFAULT (getdate()),
    [ID] int IDENTITY(1,1) NOT NULL,
    [AccDate] datetime NOT NULL CONSTRAINT [DF_SuppAcc_AccDate] DEFAULT (getdate()),
    [SheetID] nvarchar(20) NULL,
    [Type] smallint NOT NULL CONSTRAINT [DF_SuppAcc_Type] DEFAULT (0),
    [UnitID] nvarchar(15) NOT NULL,
    [BuyAmo] money NULL CONSTRAINT [DF_SuppAcc_BuyAmo] DEFAULT (0),
    [PayAmo] money NULL CONSTRAINT [DF_SuppAcc_PayAmo] DEFAULT (0),
    [BalAmo] money NULL CONSTRAINT [DF_SuppAcc_BalAmo] DEFAULT (0),
    [Summary] nvarchar(100) NULL,
    [EmpCode] nvarchar(20) NULL,
    CONSTRAINT [PK_SuppAcc] PRIMARY KEY ([ID]),
    CONSTRAINT [FK_SuppAcc_Supplier] FOREIGN KEY ([UnitID]) REFERENCES [dbo].[Supplier] ([UnitID])
)
GO

-- Supplier ledger totals per period.
CREATE TABLE [dbo].[SuppAccTotal] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_SuppAccTotal_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_SuppAccTotal_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_SuppAccTotal_OpTime] DEFAULT (getdate()),
    [AccYear] smallint NOT NULL,
    [AccMonth] smallint NOT NULL,
    [UnitID] nvarchar(15) NOT NULL,
    [PBalAmo] money NULL CONSTRAINT [DF_SuppAccTotal_PBalAmo] DEFAULT (0),
    [BuyAmo] money NULL CONSTRAINT [DF_SuppAccTotal_BuyAmo] DEFAULT (0),
    [PayAmo] money NULL CONSTRAINT [DF_SuppAccTotal_PayAmo] DEFAULT (0),
    [BalAmo] money NULL CONSTRAINT [DF_SuppAccTotal_BalAmo] DEFAULT (0),
    CONSTRAINT [PK_SuppAccTotal] PRIMARY KEY ([AccYear], [AccMonth], [UnitID])
)
GO

-- Custody book: one entry per warehouse, goods and sheet that moves stock.
-- Type is the sheet type (200 opening balance). BaseID and GoodsID are not
-- enforced: ClearAllData keeps this book while it empties Goods and Base.
CREATE TABLE [dbo].[Custody] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_Custody_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_Custody_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_Custody_OpTime] DEFAULT (getdate()),
    [ID] int IDENTITY(1,1) NOT NULL,
    [AccDate] datetime NOT NULL CONSTRAINT [DF_Custody_AccDate] DEFAULT (getdate()),
    [SheetID] nvarchar(20) NULL,
    [Type] smallint NOT NULL CONSTRAINT [DF_Custody_Type] DEFAULT (0),
    [BaseID] int NOT NULL,
    [GoodsID] nvarchar(50) NOT NULL,
    [BuyPrice] money NULL CONSTRAINT [DF_Custody_BuyPrice] DEFAULT (0),
    [BuyQua] money NULL CONSTRAINT [DF_Custody_BuyQua] DEFAULT (0),
    [BuyAmo] money NULL CONSTRAINT [DF_Custody_BuyAmo] DEFAULT (0),
    [SalePrice] money NULL CONSTRAINT [DF_Custody_SalePrice] DEFAULT (0),
    [SaleQua] money NULL CONSTRAINT [DF_Custody_SaleQua] DEFAULT (0),
    [SaleAmo] money NULL CONSTRAINT [DF_Custody_SaleAmo] DEFAULT (0),
    [BalPrice] money NULL CONSTRAINT [DF_Custody_BalPrice] DEFAULT (0),
    [BalQua] money NULL CONSTRAINT [DF_Custody_BalQua] DEFAULT (0),
    [BalAmo] money NULL CONSTRAINT [DF_Custody_BalAmo] DEFAULT (0),
    [RBalQua] money NULL CONSTRAINT [DF_Custody_RBalQua] DEFAULT (0),
    [RBalAmo] money NULL CONSTRAINT [DF_Custody_RBalAmo] DEFAULT (0),
    [Summary] nvarchar(100) NULL,
    CONSTRAINT [PK_Custody] PRIMARY KEY ([ID]),
    CONSTRAINT [FK_Custody_Base] FOREIGN KEY ([BaseID]) REFERENCES [dbo].[Base] ([BaseID]),
    CONSTRAINT [FK_Custody_Goods] FOREIGN KEY ([GoodsID]) REFERENCES [dbo].[Goods] ([GoodsID])
)
GO

-- Custody entries being computed (work table of the costing).
CREATE TABLE [dbo].[TempCustoday] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_TempCustoday_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_TempCustoday_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_TempCustoday_OpTime] DEFAULT (getdate()),
    [ID] int IDENTITY(1,1) NOT NULL,
    [AccDate] datetime NOT NULL CONSTRAINT [DF_TempCustoday_AccDate] DEFAULT (getdate()),
    [SheetID] nvarchar(20) NULL,
    [Type] smallint NOT NULL CONSTRAINT [DF_TempCustoday_Type] DEFAULT (0),
    [BaseID] int NOT NULL,
    [GoodsID] nvarchar(50) NOT NULL,
    [BuyPrice] money NULL CONSTRAINT [DF_TempCustoday_BuyPrice] DEFAULT (0),
    [BuyQua] money NULL CONSTRAINT [DF_TempCustoday_BuyQua] DEFAULT (0),
    [BuyAmo] money NULL CONSTRAINT [DF_TempCustoday_BuyAmo] DEFAULT (0),
    [SalePrice] money NULL CONSTRAINT [DF_TempCustoday_SalePrice] DEFAULT (0),
    [SaleQua] money NULL CONSTRAINT [DF_TempCustoday_SaleQua] DEFAULT (0),
    [SaleAmo] money NULL CONSTRAINT [DF_TempCustoday_SaleAmo] DEFAULT (0),
    [BalPrice] money NULL CONSTRAINT [DF_TempCustoday_BalPrice] DEFAULT (0),
    [BalQua] money NULL CONSTRAINT [DF_TempCustoday_BalQua] DEFAULT (0),
    [BalAmo] money NULL CONSTRAINT [DF_TempCustoday_BalAmo] DEFAULT (0),
    [RBalQua] money NULL CONSTRAINT [DF_TempCustoday_RBalQua] DEFAULT (0),
    [RBalAmo] money NULL CONSTRAINT [DF_TempCustoday_RBalAmo] DEFAULT (0),
    [Summary] nvarchar(100) NULL,
    CONSTRAINT [PK_TempCustoday] PRIMARY KEY ([ID])
)
GO

-- Cash and bank journal.
CREATE TABLE [dbo].[Account] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_Account_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_Account_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_Account_OpTime] DEFAULT (getdate()),
    [ID] int IDENTITY(1,1) NOT NULL,
    [AccDate] datetime NOT NULL CONSTRAINT [DF_Account_AccDate] DEFAULT (getdate()),
    [SheetID] nvarchar(20) NULL,
    [Type] smallint NOT NULL CONSTRAINT [DF_Account_Type] DEFAULT (0),
    [AccountNo] nvarchar(30) NULL,
    [SettleTypeID] smallint NULL,
    [InAmo] money NULL CONSTRAINT [DF_Account_InAmo] DEFAULT (0),
    [OutAmo] money NULL CONSTRAINT [DF_Account_OutAmo] DEFAULT (0),
    [BalAmo] money NULL CONSTRAINT [DF_Account_BalAmo] DEFAULT (0),
    [Summary] nvarchar(100) NULL,
    CONSTRAINT [PK_Account] PRIMARY KEY ([ID])
)
GO

-- Cash and bank sheet (transfers between accounts, expenses, income).
CREATE TABLE [dbo].[AccountSheet] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_AccountSheet_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_AccountSheet_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_AccountSheet_OpTime] DEFAULT (getdate()),
    [SheetID] nvarchar(20) NOT NULL,
    [SheetDate] datetime NOT NULL CONSTRAINT [DF_AccountSheet_SheetDate] DEFAULT (getdate()),
    [Type] smallint NOT NULL CONSTRAINT [DF_AccountSheet_Type] DEFAULT (1),
    [OutAccountNo] nvarchar(30) NULL,
    [InAccountNo] nvarchar(30) NULL,
    [SettleTypeID] smallint NULL,
    [EmpCode] nvarchar(20) NULL,
    [Amo] money NULL CONSTRAINT [DF_AccountSheet_Amo] DEFAULT (0),
    [IsAudit] bit NOT NULL CONSTRAINT [DF_AccountSheet_IsAudit] DEFAULT (0),
    [Auditor] nvarchar(32) NULL,
    [AuditTime] datetime NULL,
    [Remark] nvarchar(200) NULL,
    CONSTRAINT [PK_AccountSheet] PRIMARY KEY ([SheetID])
)
GO

-- Stock totals per period, warehouse and goods.
CREATE TABLE [dbo].[AccTotal] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_AccTotal_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_AccTotal_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_AccTotal_OpTime] DEFAULT (getdate()),
    [AccYear] smallint NOT NULL,
    [AccMonth] smallint NOT NULL,
    [BaseID] int NOT NULL,
    [GoodsID] nvarchar(50) NOT NULL,
    [PBalQua] money NULL CONSTRAINT [DF_AccTotal_PBalQua] DEFAULT (0),
    [PBalAmo] money NULL CONSTRAINT [DF_AccTotal_PBalAmo] DEFAULT (0),
    [InQua] money NULL CONSTRAINT [DF_AccTotal_InQua] DEFAULT (0),
    [InAmo] money NULL CONSTRAINT [DF_AccTotal_InAmo] DEFAULT (0),
    [OutQua] money NULL CONSTRAINT [DF_AccTotal_OutQua] DEFAULT (0),
    [OutAmo] money NULL CONSTRAINT [DF_AccTotal_OutAmo] DEFAULT (0),
    [BalQua] money NULL CONSTRAINT [DF_AccTotal_BalQua] DEFAULT (0),
    [BalAmo] money NULL CONSTRAINT [DF_AccTotal_BalAmo] DEFAULT (0),
    CONSTRAINT [PK_AccTotal] PRIMARY KEY ([AccYear], [AccMonth], [BaseID], [GoodsID])
)
GO

-- Receipt layers for first-in first-out costing; RQua is what is left of a layer.
CREATE TABLE [dbo].[FIFO] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_FIFO_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_FIFO_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_FIFO_OpTime] DEFAULT (getdate()),
    [ID] int IDENTITY(1,1) NOT NULL,
    [BaseID] int NOT NULL,
    [GoodsID] nvarchar(50) NOT NULL,
    [SheetID] nvarchar(20) NULL,
    [SheetType] smallint NULL,
    [InDate] datetime NULL CONSTRAINT [DF_FIFO_InDate] DEFAULT (getdate()),
    [Qua] money NULL CONSTRAINT [DF_FIFO_Qua] DEFAULT (0),
    [Price] money NULL CONSTRAINT [DF_FIFO_Price] DEFAULT (0),
    [RQua] money NULL CONSTRAINT [DF_FIFO_RQua] DEFAULT (0),
    CONSTRAINT [PK_FIFO] PRIMARY KEY ([ID])
)
GO

-- Bank statement lines for reconciliation.
CREATE TABLE [dbo].[BankCompare] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_BankCompare_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_BankCompare_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_BankCompare_OpTime] DEFAULT (getdate()),
    [ID] int IDENTITY(1,1) NOT NULL,
    [AccountNo] nvarchar(30) NULL,
    [CompDate] datetime NOT NULL CONSTRAINT [DF_BankCompare_CompDate] DEFAULT (getdate()),
    [Summary] nvarchar(100) NULL,
    [InAmo] money NULL CONSTRAINT [DF_BankCompare_InAmo] DEFAULT (0),
    [OutAmo] money NULL CONSTRAINT [DF_BankCompare_OutAmo] DEFAULT (0),
    [IsChecked] bit NOT NULL CONSTRAINT [DF_BankCompare_IsChecked] DEFAULT (0),
    CONSTRAINT [PK_BankCompare] PRIMARY KEY ([ID])
)
GO

-- ============================================================================
-- Documents: a sheet header keyed by SheetID and its lines
-- ============================================================================

-- Purchase sheet: header, one row per sheet.
CREATE TABLE [dbo].[imSheet] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_imSheet_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_imSheet_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_imSheet_OpTime] DEFAULT (getdate()),
    [SheetID] nvarchar(20) NOT NULL,
    [SheetDate] datetime NOT NULL CONSTRAINT [DF_imSheet_SheetDate] DEFAULT (getdate()),
    [UnitID] nvarchar(15) NULL,
    [BaseID] int NULL,
    [SettleTypeID] smallint NULL,
    [SettModeID] smallint NULL,
    [PayAmo] money NULL CONSTRAINT [DF_imSheet_PayAmo] DEFAULT (0),
    [EmpCode] nvarchar(20) NULL,
    [Amo] money NULL CONSTRAINT [DF_imSheet_Amo] DEFAULT (0),
    [IsAudit] bit NOT NULL CONSTRAINT [DF_imSheet_IsAudit] DEFAULT (0),
    [Auditor] nvarchar(32) NULL,
    [AuditTime] datetime NULL,
    [Remark] nvarchar(200) NULL,
    CONSTRAINT [PK_imSheet] PRIMARY KEY ([SheetID])
)
GO

-- Purchase sheet: lines, numbered by ItemNo within the sheet.
CREATE TABLE [dbo].[imItems] (
    [SheetID] nvarchar(20) NOT NULL,
    [ItemNo] int NOT NULL,
    [GoodsID] nvarchar(50) NOT NULL,
    [TaxRate] money NULL CONSTRAINT [DF_imItems_TaxRate] DEFAULT (0),
    [Qua] money NULL CONSTRAINT [DF_imItems_Qua] DEFAULT (0),
    [Price] money NULL CONSTRAINT [DF_imItems_Price] DEFAULT (0),
    [Amo] money NULL CONSTRAINT [DF_imItems_Amo] DEFAULT (0),
    [Remark] nvarchar(100) NULL,
    CONSTRAINT [PK_imItems] PRIMARY KEY ([SheetID], [ItemNo])
)
GO

-- Sales sheet: header, one row per sheet.
CREATE TABLE [dbo].[exSheet] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_exSheet_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_exSheet_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_exSheet_OpTime] DEFAULT (getdate()),
    [SheetID] nvarchar(20) NOT NULL,
    [SheetDate] datetime NOT NULL CONSTRAINT [DF_exSheet_SheetDate] DEFAULT (getdate()),
    [UnitID] nvarchar(15) NULL,
    [BaseID] int NULL,
    [MemberID] nvarchar(15) NULL,
    [SettleTypeID] smallint NULL,
    [PriceID] smallint NULL CONSTRAINT [DF_exSheet_PriceID] DEFAULT (1),
    [Discount] float NULL CONSTRAINT [DF_exSheet_Discount] DEFAULT (1),
    [PayAmo] money NULL CONSTRAINT [DF_exSheet_PayAmo] DEFAULT (0),
    [EmpCode] nvarchar(20) NULL,
    [Amo] money NULL CONSTRAINT [DF_exSheet_Amo] DEFAULT (0),
    [IsAudit] bit NOT NULL CONSTRAINT [DF_exSheet_IsAudit] DEFAULT (0),
    [Auditor] nvarchar(32) NULL,
    [AuditTime] datetime NULL,
    [Remark] nvarchar(200) NULL,
    CONSTRAINT [PK_exSheet] PRIMARY KEY ([SheetID])
)
GO

-- Sales sheet: lines, numbered by ItemNo within the sheet.
CREATE TABLE [dbo].[exItems] (
    [SheetID] nvarchar(20) NOT NULL,
    [ItemNo] int NOT NULL,
    [GoodsID] nvarchar(50) NOT NULL,
    [Discount] float NULL CONSTRAINT [DF_exItems_Discount] DEFAULT (1),
    [CostPrice] money NULL CONSTRAINT [DF_exItems_CostPrice] DEFAULT (0),
    [TaxRate] money NULL CONSTRAINT [DF_exItems_TaxRate] DEFAULT (0),
    [Qua] money NULL CONSTRAINT [DF_exItems_Qua] DEFAULT (0),
    [Price] money NULL CONSTRAINT [DF_exItems_Price] DEFAULT (0),
    [Amo] money NULL CONSTRAINT [DF_exItems_Amo] DEFAULT (0),
    [Remark] nvarchar(100) NULL,
    CONSTRAINT [PK_exItems] PRIMARY KEY ([SheetID], [ItemNo])
)
GO

-- Return sheet: header, one row per sheet.
-- Type 1 return to a supplier, 2 return from a customer.
CREATE TABLE [dbo].[rpSheet] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_rpSheet_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_rpSheet_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_rpSheet_OpTime] DEFAULT (getdate()),
    [SheetID] nvarchar(20) NOT NULL,
    [SheetDate] datetime NOT NULL CONSTRAINT [DF_rpSheet_SheetDate] DEFAULT (getdate()),
    [Type] smallint NOT NULL CONSTRAINT [DF_rpSheet_Type] DEFAULT (1),
    [UnitID] nvarchar(15) NULL,
    [BaseID] int NULL,
    [RefSheetID] nvarchar(20) NULL,
    [EmpCode] nvarchar(20) NULL,
    [Amo] money NULL CONSTRAINT [DF_rpSheet_Amo] DEFAULT (0),
    [IsAudit] bit NOT NULL CONSTRAINT [DF_rpSheet_IsAudit] DEFAULT (0),
    [Auditor] nvarchar(32) NULL,
    [AuditTime] datetime NULL,
    [Remark] nvarchar(200) NULL,
    CONSTRAINT [PK_rpSheet] PRIMARY KEY ([SheetID])
)
GO

-- Return sheet: lines, numbered by ItemNo within the sheet.
CREATE TABLE [dbo].[rpItems] (
    [SheetID] nvarchar(20) NOT NULL,
    [ItemNo] int NOT NULL,
    [GoodsID] nvarchar(50) NOT NULL,
    [Qua] money NULL CONSTRAINT [DF_rpItems_Qua] DEFAULT (0),
    [Price] money NULL CONSTRAINT [DF_rpItems_Price] DEFAULT (0),
    [Amo] money NULL CONSTRAINT [DF_rpItems_Amo] DEFAULT (0),
    [Remark] nvarchar(100) NULL,
    CONSTRAINT [PK_rpItems] PRIMARY KEY ([SheetID], [ItemNo])
)
GO

-- Opening stock sheet: header, one row per sheet.
CREATE TABLE [dbo].[initSheet] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_initSheet_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_initSheet_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_initSheet_OpTime] DEFAULT (getdate()),
    [SheetID] nvarchar(20) NOT NULL,
    [SheetDate] datetime NOT NULL CONSTRAINT [DF_initSheet_SheetDate] DEFAULT (getdate()),
    [BaseID] int NULL,
    [EmpCode] nvarchar(20) NULL,
    [Amo] money NULL CONSTRAINT [DF_initSheet_Amo] DEFAULT (0),
    [IsAudit] bit NOT NULL CONSTRAINT [DF_initSheet_IsAudit] DEFAULT (0),
    [Auditor] nvarchar(32) NULL,
    [AuditTime] datetime NULL,
    [Remark] nvarchar(200) NULL,
    CONSTRAINT [PK_initSheet] PRIMARY KEY ([SheetID])
)
GO

-- Opening stock sheet: lines, numbered by ItemNo within the sheet.
CREATE TABLE [dbo].[initItems] (
    [SheetID] nvarchar(20) NOT NULL,
    [ItemNo] int NOT NULL,
    [GoodsID] nvarchar(50) NOT NULL,
    [Qua] money NULL CONSTRAINT [DF_initItems_Qua] DEFAULT (0),
    [Price] money NULL CONSTRAINT [DF_initItems_Price] DEFAULT (0),
    [Amo] money NULL CONSTRAINT [DF_initItems_Amo] DEFAULT (0),
    [Remark] nvarchar(100) NULL,
    CONSTRAINT [PK_initItems] PRIMARY KEY ([SheetID], [ItemNo])
)
GO

-- Other receipt or issue: header, one row per sheet.
-- Type 1 receipt (kind in ImShType), 2 issue (kind in ExShType).
CREATE TABLE [dbo].[ioSheet] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_ioSheet_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_ioSheet_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_ioSheet_OpTime] DEFAULT (getdate()),
    [SheetID] nvarchar(20) NOT NULL,
    [SheetDate] datetime NOT NULL CONSTRAINT [DF_ioSheet_SheetDate] DEFAULT (getdate()),
    [Type] smallint NOT NULL CONSTRAINT [DF_ioSheet_Type] DEFAULT (1),
    [BaseID] int NULL,
    [ImShTypeID] smallint NULL,
    [ExShTypeID] smallint NULL,
    [EmpCode] nvarchar(20) NULL,
    [Amo] money NULL CONSTRAINT [DF_ioSheet_Amo] DEFAULT (0),
    [IsAudit] bit NOT NULL CONSTRAINT [DF_ioSheet_IsAudit] DEFAULT (0),
    [Auditor] nvarchar(32) NULL,
    [AuditTime] datetime NULL,
    [Remark] nvarchar(200) NULL,
    CONSTRAINT [PK_ioSheet] PRIMARY KEY ([SheetID])
)
GO

-- Other receipt or issue: lines, numbered by ItemNo within the sheet.
CREATE TABLE [dbo].[ioItems] (
    [SheetID] nvarchar(20) NOT NULL,
    [ItemNo] int NOT NULL,
    [GoodsID] nvarchar(50) NOT NULL,
    [Qua] money NULL CONSTRAINT [DF_ioItems_Qua] DEFAULT (0),
    [Price] money NULL CONSTRAINT [DF_ioItems_Price] DEFAULT (0),
    [Amo] money NULL CONSTRAINT [DF_ioItems_Amo] DEFAULT (0),
    [Remark] nvarchar(100) NULL,
    CONSTRAINT [PK_ioItems] PRIMARY KEY ([SheetID], [ItemNo])
)
GO

-- Issue for own use: header, one row per sheet.
CREATE TABLE [dbo].[eoSheet] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_eoSheet_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_eoSheet_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_eoSheet_OpTime] DEFAULT (getdate()),
    [SheetID] nvarchar(20) NOT NULL,
    [SheetDate] datetime NOT NULL CONSTRAINT [DF_eoSheet_SheetDate] DEFAULT (getdate()),
    [BaseID] int NULL,
    [DepID] int NULL,
    [EmpCode] nvarchar(20) NULL,
    [Amo] money NULL CONSTRAINT [DF_eoSheet_Amo] DEFAULT (0),
    [IsAudit] bit NOT NULL CONSTRAINT [DF_eoSheet_IsAudit] DEFAULT (0),
    [Auditor] nvarchar(32) NULL,
    [AuditTime] datetime NULL,
    [Remark] nvarchar(200) NULL,
    CONSTRAINT [PK_eoSheet] PRIMARY KEY ([SheetID])
)
GO

-- Issue for own use: lines, numbered by ItemNo within the sheet.
CREATE TABLE [dbo].[eoItems] (
    [SheetID] nvarchar(20) NOT NULL,
    [ItemNo] int NOT NULL,
    [GoodsID] nvarchar(50) NOT NULL,
    [Qua] money NULL CONSTRAINT [DF_eoItems_Qua] DEFAULT (0),
    [Price] money NULL CONSTRAINT [DF_eoItems_Price] DEFAULT (0),
    [Amo] money NULL CONSTRAINT [DF_eoItems_Amo] DEFAULT (0),
    [Remark] nvarchar(100) NULL,
    CONSTRAINT [PK_eoItems] PRIMARY KEY ([SheetID], [ItemNo])
)
GO

-- Receipt from another company or branch: header, one row per sheet.
CREATE TABLE [dbo].[ExInSheet] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_ExInSheet_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_ExInSheet_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_ExInSheet_OpTime] DEFAULT (getdate()),
    [SheetID] nvarchar(20) NOT NULL,
    [SheetDate] datetime NOT NULL CONSTRAINT [DF_ExInSheet_SheetDate] DEFAULT (getdate()),
    [BaseID] int NULL,
    [FromName] nvarchar(64) NULL,
    [EmpCode] nvarchar(20) NULL,
    [Amo] money NULL CONSTRAINT [DF_ExInSheet_Amo] DEFAULT (0),
    [IsAudit] bit NOT NULL CONSTRAINT [DF_ExInSheet_IsAudit] DEFAULT (0),
    [Auditor] nvarchar(32) NULL,
    [AuditTime] datetime NULL,
    [Remark] nvarchar(200) NULL,
    CONSTRAINT [PK_ExInSheet] PRIMARY KEY ([SheetID])
)
GO

-- Receipt from another company or branch: lines, numbered by ItemNo within the sheet.
CREATE TABLE [dbo].[ExInItems] (
    [SheetID] nvarchar(20) NOT NULL,
    [ItemNo] int NOT NULL,
    [GoodsID] nvarchar(50) NOT NULL,
    [Qua] money NULL CONSTRAINT [DF_ExInItems_Qua] DEFAULT (0),
    [Price] money NULL CONSTRAINT [DF_ExInItems_Price] DEFAULT (0),
    [Amo] money NULL CONSTRAINT [DF_ExInItems_Amo] DEFAULT (0),
    [Remark] nvarchar(100) NULL,
    CONSTRAINT [PK_ExInItems] PRIMARY KEY ([SheetID], [ItemNo])
)
GO

-- Purchase invoice: header, one row per sheet.
CREATE TABLE [dbo].[ImInvoiceSheet] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_ImInvoiceSheet_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_ImInvoiceSheet_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_ImInvoiceSheet_OpTime] DEFAULT (getdate()),
    [SheetID] nvarchar(20) NOT NULL,
    [SheetDate] datetime NOT NULL CONSTRAINT [DF_ImInvoiceSheet_SheetDate] DEFAULT (getdate()),
    [UnitID] nvarchar(15) NULL,
    [InvoiceNo] nvarchar(30) NULL,
    [InvoiceTypeID] smallint NULL,
    [TaxRate] money NULL CONSTRAINT [DF_ImInvoiceSheet_TaxRate] DEFAULT (0),
    [TaxAmo] money NULL CONSTRAINT [DF_ImInvoiceSheet_TaxAmo] DEFAULT (0),
    [EmpCode] nvarchar(20) NULL,
    [Amo] money NULL CONSTRAINT [DF_ImInvoiceSheet_Amo] DEFAULT (0),
    [IsAudit] bit NOT NULL CONSTRAINT [DF_ImInvoiceSheet_IsAudit] DEFAULT (0),
    [Auditor] nvarchar(32) NULL,
    [AuditTime] datetime NULL,
    [Remark] nvarchar(200) NULL,
    CONSTRAINT [PK_ImInvoiceSheet] PRIMARY KEY ([SheetID])
)
GO

-- Purchase invoice: lines, numbered by ItemNo within the sheet.
CREATE TABLE [dbo].[ImInvoiceItems] (
    [SheetID] nvarchar(20) NOT NULL,
    [ItemNo] int NOT NULL,
    [GoodsID] nvarchar(50) NOT NULL,
    [TaxAmo] money NULL CONSTRAINT [DF_ImInvoiceItems_TaxAmo] DEFAULT (0),
    [Qua] money NULL CONSTRAINT [DF_ImInvoiceItems_Qua] DEFAULT (0),
    [Price] money NULL CONSTRAINT [DF_ImInvoiceItems_Price] DEFAULT (0),
    [Amo] money NULL CONSTRAINT [DF_ImInvoiceItems_Amo] DEFAULT (0),
    [Remark] nvarchar(100) NULL,
    CONSTRAINT [PK_ImInvoiceItems] PRIMARY KEY ([SheetID], [ItemNo])
)
GO

-- Sales invoice: header, one row per sheet.
CREATE TABLE [dbo].[ExInvoiceSheet] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_ExInvoiceSheet_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_ExInvoiceSheet_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_ExInvoiceSheet_OpTime] DEFAULT (getdate()),
    [SheetID] nvarchar(20) NOT NULL,
    [SheetDate] datetime NOT NULL CONSTRAINT [DF_ExInvoiceSheet_SheetDate] DEFAULT (getdate()),
    [UnitID] nvarchar(15) NULL,
    [InvoiceNo] nvarchar(30) NULL,
    [InvoiceTypeID] smallint NULL,
    [TaxRate] money NULL CONSTRAINT [DF_ExInvoiceSheet_TaxRate] DEFAULT (0),
    [TaxAmo] money NULL CONSTRAINT [DF_ExInvoiceSheet_TaxAmo] DEFAULT (0),
    [EmpCode] nvarchar(20) NULL,
    [Amo] money NULL CONSTRAINT [DF_ExInvoiceSheet_Amo] DEFAULT (0),
    [IsAudit] bit NOT NULL CONSTRAINT [DF_ExInvoiceSheet_IsAudit] DEFAULT (0),
    [Auditor] nvarchar(32) NULL,
    [AuditTime] datetime NULL,
    [Remark] nvarchar(200) NULL,
    CONSTRAINT [PK_ExInvoiceSheet] PRIMARY KEY ([SheetID])
)
GO

-- Sales invoice: lines, numbered by ItemNo within the sheet.
CREATE TABLE [dbo].[ExInvoiceItems] (
    [SheetID] nvarchar(20) NOT NULL,
    [ItemNo] int NOT NULL,
    [GoodsID] nvarchar(50) NOT NULL,
    [TaxAmo] money NULL CONSTRAINT [DF_ExInvoiceItems_TaxAmo] DEFAULT (0),
    [Qua] money NULL CONSTRAINT [DF_ExInvoiceItems_Qua] DEFAULT (0),
    [Price] money NULL CONSTRAINT [DF_ExInvoiceItems_Price] DEFAULT (0),
    [Amo] money NULL CONSTRAINT [DF_ExInvoiceItems_Amo] DEFAULT (0),
    [Remark] nvarchar(100) NULL,
    CONSTRAINT [PK_ExInvoiceItems] PRIMARY KEY ([SheetID], [ItemNo])
)
GO

-- Transfer between warehouses: header, one row per sheet.
CREATE TABLE [dbo].[movSheet] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_movSheet_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_movSheet_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_movSheet_OpTime] DEFAULT (getdate()),
    [SheetID] nvarchar(20) NOT NULL,
    [SheetDate] datetime NOT NULL CONSTRAINT [DF_movSheet_SheetDate] DEFAULT (getdate()),
    [OutBaseID] int NULL,
    [InBaseID] int NULL,
    [EmpCode] nvarchar(20) NULL,
    [Amo] money NULL CONSTRAINT [DF_movSheet_Amo] DEFAULT (0),
    [IsAudit] bit NOT NULL CONSTRAINT [DF_movSheet_IsAudit] DEFAULT (0),
    [Auditor] nvarchar(32) NULL,
    [AuditTime] datetime NULL,
    [Remark] nvarchar(200) NULL,
    CONSTRAINT [PK_movSheet] PRIMARY KEY ([SheetID])
)
GO

-- Transfer between warehouses: lines, numbered by ItemNo within the sheet.
CREATE TABLE [dbo].[movItems] (
    [SheetID] nvarchar(20) NOT NULL,
    [ItemNo] int NOT NULL,
    [GoodsID] nvarchar(50) NOT NULL,
    [Qua] money NULL CONSTRAINT [DF_movItems_Qua] DEFAULT (0),
    [Price] money NULL CONSTRAINT [DF_movItems_Price] DEFAULT (0),
    [Amo] money NULL CONSTRAINT [DF_movItems_Amo] DEFAULT (0),
    [Remark] nvarchar(100) NULL,
    CONSTRAINT [PK_movItems] PRIMARY KEY ([SheetID], [ItemNo])
)
GO

-- Stocktaking sheet: header, one row per sheet.
CREATE TABLE [dbo].[invSheet] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_invSheet_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_invSheet_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_invSheet_OpTime] DEFAULT (getdate()),
    [SheetID] nvarchar(20) NOT NULL,
    [SheetDate] datetime NOT NULL CONSTRAINT [DF_invSheet_SheetDate] DEFAULT (getdate()),
    [BaseID] int NULL,
    [EmpCode] nvarchar(20) NULL,
    [Amo] money NULL CONSTRAINT [DF_invSheet_Amo] DEFAULT (0),
    [IsAudit] bit NOT NULL CONSTRAINT [DF_invSheet_IsAudit] DEFAULT (0),
    [Auditor] nvarchar(32) NULL,
    [AuditTime] datetime NULL,
    [Remark] nvarchar(200) NULL,
    CONSTRAINT [PK_invSheet] PRIMARY KEY ([SheetID])
)
GO

-- Stocktaking sheet: lines, numbered by ItemNo within the sheet.
-- Qua is RealQua less BookQua.
CREATE TABLE [dbo].[invItems] (
    [SheetID] nvarchar(20) NOT NULL,
    [ItemNo] int NOT NULL,
    [GoodsID] nvarchar(50) NOT NULL,
    [BookQua] money NULL CONSTRAINT [DF_invItems_BookQua] DEFAULT (0),
    [RealQua] money NULL CONSTRAINT [DF_invItems_RealQua] DEFAULT (0),
    [Qua] money NULL CONSTRAINT [DF_invItems_Qua] DEFAULT (0),
    [Price] money NULL CONSTRAINT [DF_invItems_Price] DEFAULT (0),
    [Amo] money NULL CONSTRAINT [DF_invItems_Amo] DEFAULT (0),
    [Remark] nvarchar(100) NULL,
    CONSTRAINT [PK_invItems] PRIMARY KEY ([SheetID], [ItemNo])
)
GO

-- Write-off sheet: header, one row per sheet.
CREATE TABLE [dbo].[losSheet] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_losSheet_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_losSheet_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_losSheet_OpTime] DEFAULT (getdate()),
    [SheetID] nvarchar(20) NOT NULL,
    [SheetDate] datetime NOT NULL CONSTRAINT [DF_losSheet_SheetDate] DEFAULT (getdate()),
    [BaseID] int NULL,
    [EmpCode] nvarchar(20) NULL,
    [Amo] money NULL CONSTRAINT [DF_losSheet_Amo] DEFAULT (0),
    [IsAudit] bit NOT NULL CONSTRAINT [DF_losSheet_IsAudit] DEFAULT (0),
    [Auditor] nvarchar(32) NULL,
    [AuditTime] datetime NULL,
    [Remark] nvarchar(200) NULL,
    CONSTRAINT [PK_losSheet] PRIMARY KEY ([SheetID])
)
GO

-- Write-off sheet: lines, numbered by ItemNo within the sheet.
CREATE TABLE [dbo].[losItems] (
    [SheetID] nvarchar(20) NOT NULL,
    [ItemNo] int NOT NULL,
    [GoodsID] nvarchar(50) NOT NULL,
    [Reason] nvarchar(50) NULL,
    [Qua] money NULL CONSTRAINT [DF_losItems_Qua] DEFAULT (0),
    [Price] money NULL CONSTRAINT [DF_losItems_Price] DEFAULT (0),
    [Amo] money NULL CONSTRAINT [DF_losItems_Amo] DEFAULT (0),
    [Remark] nvarchar(100) NULL,
    CONSTRAINT [PK_losItems] PRIMARY KEY ([SheetID], [ItemNo])
)
GO

-- Stocktaking gains and losses: header, one row per sheet.
CREATE TABLE [dbo].[plSheet] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_plSheet_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_plSheet_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_plSheet_OpTime] DEFAULT (getdate()),
    [SheetID] nvarchar(20) NOT NULL,
    [SheetDate] datetime NOT NULL CONSTRAINT [DF_plSheet_SheetDate] DEFAULT (getdate()),
    [BaseID] int NULL,
    [RefSheetID] nvarchar(20) NULL,
    [EmpCode] nvarchar(20) NULL,
    [Amo] money NULL CONSTRAINT [DF_plSheet_Amo] DEFAULT (0),
    [IsAudit] bit NOT NULL CONSTRAINT [DF_plSheet_IsAudit] DEFAULT (0),
    [Auditor] nvarchar(32) NULL,
    [AuditTime] datetime NULL,
    [Remark] nvarchar(200) NULL,
    CONSTRAINT [PK_plSheet] PRIMARY KEY ([SheetID])
)
GO

-- Stocktaking gains and losses: lines, numbered by ItemNo within the sheet.
CREATE TABLE [dbo].[plItems] (
    [SheetID] nvarchar(20) NOT NULL,
    [ItemNo] int NOT NULL,
    [GoodsID] nvarchar(50) NOT NULL,
    [Qua] money NULL CONSTRAINT [DF_plItems_Qua] DEFAULT (0),
    [Price] money NULL CONSTRAINT [DF_plItems_Price] DEFAULT (0),
    [Amo] money NULL CONSTRAINT [DF_plItems_Amo] DEFAULT (0),
    [Remark] nvarchar(100) NULL,
    CONSTRAINT [PK_plItems] PRIMARY KEY ([SheetID], [ItemNo])
)
GO

-- Assembly sheet: header, one row per sheet.
-- Type 1 assembles Qua of GoodsID from the parts in the lines, 2 takes it apart.
CREATE TABLE [dbo].[comSheet] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_comSheet_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_comSheet_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_comSheet_OpTime] DEFAULT (getdate()),
    [SheetID] nvarchar(20) NOT NULL,
    [SheetDate] datetime NOT NULL CONSTRAINT [DF_comSheet_SheetDate] DEFAULT (getdate()),
    [Type] smallint NOT NULL CONSTRAINT [DF_comSheet_Type] DEFAULT (1),
    [BaseID] int NULL,
    [GoodsID] nvarchar(50) NULL,
    [Qua] money NULL CONSTRAINT [DF_comSheet_Qua] DEFAULT (0),
    [EmpCode] nvarchar(20) NULL,
    [Amo] money NULL CONSTRAINT [DF_comSheet_Amo] DEFAULT (0),
    [IsAudit] bit NOT NULL CONSTRAINT [DF_comSheet_IsAudit] DEFAULT (0),
    [Auditor] nvarchar(32) NULL,
    [AuditTime] datetime NULL,
    [Remark] nvarchar(200) NULL,
    CONSTRAINT [PK_comSheet] PRIMARY KEY ([SheetID])
)
GO

-- Assembly sheet: lines, numbered by ItemNo within the sheet.
CREATE TABLE [dbo].[comItems] (
    [SheetID] nvarchar(20) NOT NULL,
    [ItemNo] int NOT NULL,
    [GoodsID] nvarchar(50) NOT NULL,
    [Qua] money NULL CONSTRAINT [DF_comItems_Qua] DEFAULT (0),
    [Price] money NULL CONSTRAINT [DF_comItems_Price] DEFAULT (0),
    [Amo] money NULL CONSTRAINT [DF_comItems_Amo] DEFAULT (0),
    [Remark] nvarchar(100) NULL,
    CONSTRAINT [PK_comItems] PRIMARY KEY ([SheetID], [ItemNo])
)
GO

-- Breaking packs into selling units: header, one row per sheet.
CREATE TABLE [dbo].[sepSheet] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_sepSheet_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_sepSheet_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_sepSheet_OpTime] DEFAULT (getdate()),
    [SheetID] nvarchar(20) NOT NULL,
    [SheetDate] datetime NOT NULL CONSTRAINT [DF_sepSheet_SheetDate] DEFAULT (getdate()),
    [BaseID] int NULL,
    [GoodsID] nvarchar(50) NULL,
    [Qua] money NULL CONSTRAINT [DF_sepSheet_Qua] DEFAULT (0),
    [EmpCode] nvarchar(20) NULL,
    [Amo] money NULL CONSTRAINT [DF_sepSheet_Amo] DEFAULT (0),
    [IsAudit] bit NOT NULL CONSTRAINT [DF_sepSheet_IsAudit] DEFAULT (0),
    [Auditor] nvarchar(32) NULL,
    [AuditTime] datetime NULL,
    [Remark] nvarchar(200) NULL,
    CONSTRAINT [PK_sepSheet] PRIMARY KEY ([SheetID])
)
GO

-- Breaking packs into selling units: lines, numbered by ItemNo within the sheet.
CREATE TABLE [dbo].[sepItems] (
    [SheetID] nvarchar(20) NOT NULL,
    [ItemNo] int NOT NULL,
    [GoodsID] nvarchar(50) NOT NULL,
    [Qua] money NULL CONSTRAINT [DF_sepItems_Qua] DEFAULT (0),
    [Price] money NULL CONSTRAINT [DF_sepItems_Price] DEFAULT (0),
    [Amo] money NULL CONSTRAINT [DF_sepItems_Amo] DEFAULT (0),
    [Remark] nvarchar(100) NULL,
    CONSTRAINT [PK_sepItems] PRIMARY KEY ([SheetID], [ItemNo])
)
GO

-- Price change sheet: header.
CREATE TABLE [dbo].[AdjustPriceSheet] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_AdjustPriceSheet_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_AdjustPriceSheet_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_AdjustPriceSheet_OpTime] DEFAULT (getdate()),
    [SheetID] nvarchar(20) NOT NULL,
    [SheetDate] datetime NOT NULL CONSTRAINT [DF_AdjustPriceSheet_SheetDate] DEFAULT (getdate()),
    [BaseID] int NULL,
    [EffectDate] datetime NULL,
    [EmpCode] nvarchar(20) NULL,
    [Amo] money NULL CONSTRAINT [DF_AdjustPriceSheet_Amo] DEFAULT (0),
    [IsAudit] bit NOT NULL CONSTRAINT [DF_AdjustPriceSheet_IsAudit] DEFAULT (0),
    [Auditor] nvarchar(32) NULL,
    [AuditTime] datetime NULL,
    [Remark] nvarchar(200) NULL,
    CONSTRAINT [PK_AdjustPriceSheet] PRIMARY KEY ([SheetID])
)
GO

-- Price change sheet: lines; PriceID is the price level changed.
CREATE TABLE [dbo].[AdjustPriceItems] (
    [SheetID] nvarchar(20) NOT NULL,
    [ItemNo] int NOT NULL,
    [GoodsID] nvarchar(50) NOT NULL,
    [PriceID] smallint NOT NULL CONSTRAINT [DF_AdjustPriceItems_PriceID] DEFAULT (1),
    [OldPrice] float NULL CONSTRAINT [DF_AdjustPriceItems_OldPrice] DEFAULT (0),
    [NewPrice] float NULL CONSTRAINT [DF_AdjustPriceItems_NewPrice] DEFAULT (0),
    [Qua] money NULL CONSTRAINT [DF_AdjustPriceItems_Qua] DEFAULT (0),
    [Price] money NULL CONSTRAINT [DF_AdjustPriceItems_Price] DEFAULT (0),
    [Amo] money NULL CONSTRAINT [DF_AdjustPriceItems_Amo] DEFAULT (0),
    [Remark] nvarchar(100) NULL,
    CONSTRAINT [PK_AdjustPriceItems] PRIMARY KEY ([SheetID], [ItemNo])
)
GO

-- Balance adjustment of customers (UnitType 1) or suppliers (2): header.
CREATE TABLE [dbo].[AdjustCustSheet] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_AdjustCustSheet_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_AdjustCustSheet_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_AdjustCustSheet_OpTime] DEFAULT (getdate()),
    [SheetID] nvarchar(20) NOT NULL,
    [SheetDate] datetime NOT NULL CONSTRAINT [DF_AdjustCustSheet_SheetDate] DEFAULT (getdate()),
    [UnitType] smallint NOT NULL CONSTRAINT [DF_AdjustCustSheet_UnitType] DEFAULT (1),
    [EmpCode] nvarchar(20) NULL,
    [Amo] money NULL CONSTRAINT [DF_AdjustCustSheet_Amo] DEFAULT (0),
    [IsAudit] bit NOT NULL CONSTRAINT [DF_AdjustCustSheet_IsAudit] DEFAULT (0),
    [Auditor] nvarchar(32) NULL,
    [AuditTime] datetime NULL,
    [Remark] nvarchar(200) NULL,
    CONSTRAINT [PK_AdjustCustSheet] PRIMARY KEY ([SheetID])
)
GO

-- Balance adjustment: lines, one per trading partner.
CREATE TABLE [dbo].[AdjustCustItems] (
    [SheetID] nvarchar(20) NOT NULL,
    [ItemNo] int NOT NULL,
    [UnitID] nvarchar(15) NOT NULL,
    [AdjAmo] money NULL CONSTRAINT [DF_AdjustCustItems_AdjAmo] DEFAULT (0),
    [Summary] nvarchar(100) NULL,
    [Remark] nvarchar(100) NULL,
    CONSTRAINT [PK_AdjustCustItems] PRIMARY KEY ([SheetID], [ItemNo])
)
GO

-- Receipt from customers: header.
CREATE TABLE [dbo].[recSheet] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_recSheet_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_recSheet_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_recSheet_OpTime] DEFAULT (getdate()),
    [SheetID] nvarchar(20) NOT NULL,
    [SheetDate] datetime NOT NULL CONSTRAINT [DF_recSheet_SheetDate] DEFAULT (getdate()),
    [UnitID] nvarchar(15) NULL,
    [SettleTypeID] smallint NULL,
    [AccountNo] nvarchar(30) NULL,
    [EmpCode] nvarchar(20) NULL,
    [Amo] money NULL CONSTRAINT [DF_recSheet_Amo] DEFAULT (0),
    [IsAudit] bit NOT NULL CONSTRAINT [DF_recSheet_IsAudit] DEFAULT (0),
    [Auditor] nvarchar(32) NULL,
    [AuditTime] datetime NULL,
    [Remark] nvarchar(200) NULL,
    CONSTRAINT [PK_recSheet] PRIMARY KEY ([SheetID])
)
GO

-- Receipt from customers: lines, the sheets paid.
CREATE TABLE [dbo].[recItems] (
    [SheetID] nvarchar(20) NOT NULL,
    [ItemNo] int NOT NULL,
    [RefSheetID] nvarchar(20) NULL,
    [RefSheetType] smallint NULL,
    [Amo] money NULL CONSTRAINT [DF_recItems_Amo] DEFAULT (0),
    [Remark] nvarchar(100) NULL,
    CONSTRAINT [PK_recItems] PRIMARY KEY ([SheetID], [ItemNo])
)
GO

-- Receipt from customers: how it was paid.
CREATE TABLE [dbo].[RecDetailItem] (
    [SheetID] nvarchar(20) NOT NULL,
    [ItemNo] int NOT NULL,
    [SettleTypeID] smallint NULL,
    [BillNo] nvarchar(30) NULL,
    [Amo] money NULL CONSTRAINT [DF_RecDetailItem_Amo] DEFAULT (0),
    [Remark] nvarchar(100) NULL,
    CONSTRAINT [PK_RecDetailItem] PRIMARY KEY ([SheetID], [ItemNo])
)
GO

-- Payment to suppliers: header.
CREATE TABLE [dbo].[paySheet] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_paySheet_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_paySheet_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_paySheet_OpTime] DEFAULT (getdate()),
    [SheetID] nvarchar(20) NOT NULL,
    [SheetDate] datetime NOT NULL CONSTRAINT [DF_paySheet_SheetDate] DEFAULT (getdate()),
    [UnitID] nvarchar(15) NULL,
    [SettleTypeID] smallint NULL,
    [AccountNo] nvarchar(30) NULL,
    [EmpCode] nvarchar(20) NULL,
    [Amo] money NULL CONSTRAINT [DF_paySheet_Amo] DEFAULT (0),
    [IsAudit] bit NOT NULL CONSTRAINT [DF_paySheet_IsAudit] DEFAULT (0),
    [Auditor] nvarchar(32) NULL,
    [AuditTime] datetime NULL,
    [Remark] nvarchar(200) NULL,
    CONSTRAINT [PK_paySheet] PRIMARY KEY ([SheetID])
)
GO

-- Payment to suppliers: lines, the sheets paid.
CREATE TABLE [dbo].[payItems] (
    [SheetID] nvarchar(20) NOT NULL,
    [ItemNo] int NOT NULL,
    [RefSheetID] nvarchar(20) NULL,
    [RefSheetType] smallint NULL,
    [Amo] money NULL CONSTRAINT [DF_payItems_Amo] DEFAULT (0),
    [Remark] nvarchar(100) NULL,
    CONSTRAINT [PK_payItems] PRIMARY KEY ([SheetID], [ItemNo])
)
GO

-- Payment to suppliers: the consigned goods settled.
CREATE TABLE [dbo].[payGoodsItems] (
    [SheetID] nvarchar(20) NOT NULL,
    [ItemNo] int NOT NULL,
    [GoodsID] nvarchar(50) NOT NULL,
    [Qua] money NULL CONSTRAINT [DF_payGoodsItems_Qua] DEFAULT (0),
    [Price] money NULL CONSTRAINT [DF_payGoodsItems_Price] DEFAULT (0),
    [Amo] money NULL CONSTRAINT [DF_payGoodsItems_Amo] DEFAULT (0),
    [Remark] nvarchar(100) NULL,
    CONSTRAINT [PK_payGoodsItems] PRIMARY KEY ([SheetID], [ItemNo])
)
GO

-- Lading sheet (goods fetched by the customer): header, one row per sheet.
CREATE TABLE [dbo].[ladingSheet] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_ladingSheet_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_ladingSheet_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_ladingSheet_OpTime] DEFAULT (getdate()),
    [SheetID] nvarchar(20) NOT NULL,
    [SheetDate] datetime NOT NULL CONSTRAINT [DF_ladingSheet_SheetDate] DEFAULT (getdate()),
    [UnitID] nvarchar(15) NULL,
    [BaseID] int NULL,
    [LadingDate] datetime NULL,
    [EmpCode] nvarchar(20) NULL,
    [Amo] money NULL CONSTRAINT [DF_ladingSheet_Amo] DEFAULT (0),
    [IsAudit] bit NOT NULL CONSTRAINT [DF_ladingSheet_IsAudit] DEFAULT (0),
    [Auditor] nvarchar(32) NULL,
    [AuditTime] datetime NULL,
    [Remark] nvarchar(200) NULL,
    CONSTRAINT [PK_ladingSheet] PRIMARY KEY ([SheetID])
)
GO

-- Lading sheet (goods fetched by the customer): lines, numbered by ItemNo within the sheet.
CREATE TABLE [dbo].[ladingItems] (
    [SheetID] nvarchar(20) NOT NULL,
    [ItemNo] int NOT NULL,
    [GoodsID] nvarchar(50) NOT NULL,
    [Qua] money NULL CONSTRAINT [DF_ladingItems_Qua] DEFAULT (0),
    [Price] money NULL CONSTRAINT [DF_ladingItems_Price] DEFAULT (0),
    [Amo] money NULL CONSTRAINT [DF_ladingItems_Amo] DEFAULT (0),
    [Remark] nvarchar(100) NULL,
    CONSTRAINT [PK_ladingItems] PRIMARY KEY ([SheetID], [ItemNo])
)
GO

-- Delivery run: header.
CREATE TABLE [dbo].[loadSheet] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_loadSheet_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_loadSheet_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_loadSheet_OpTime] DEFAULT (getdate()),
    [SheetID] nvarchar(20) NOT NULL,
    [SheetDate] datetime NOT NULL CONSTRAINT [DF_loadSheet_SheetDate] DEFAULT (getdate()),
    [BaseID] int NULL,
    [CarNo] nvarchar(20) NULL,
    [Driver] nvarchar(20) NULL,
    [EmpCode] nvarchar(20) NULL,
    [Amo] money NULL CONSTRAINT [DF_loadSheet_Amo] DEFAULT (0),
    [IsAudit] bit NOT NULL CONSTRAINT [DF_loadSheet_IsAudit] DEFAULT (0),
    [Auditor] nvarchar(32) NULL,
    [AuditTime] datetime NULL,
    [Remark] nvarchar(200) NULL,
    CONSTRAINT [PK_loadSheet] PRIMARY KEY ([SheetID])
)
GO

-- Delivery run: lines, the sheets delivered.
CREATE TABLE [dbo].[loadItems] (
    [SheetID] nvarchar(20) NOT NULL,
    [ItemNo] int NOT NULL,
    [RefSheetID] nvarchar(20) NOT NULL,
    [UnitID] nvarchar(15) NULL,
    [Amo] money NULL CONSTRAINT [DF_loadItems_Amo] DEFAULT (0),
    [Remark] nvarchar(100) NULL,
    CONSTRAINT [PK_loadItems] PRIMARY KEY ([SheetID], [ItemNo])
)
GO

-- Goods left in store by customers: header, one row per sheet.
CREATE TABLE [dbo].[saveSheet] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_saveSheet_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_saveSheet_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_saveSheet_OpTime] DEFAULT (getdate()),
    [SheetID] nvarchar(20) NOT NULL,
    [SheetDate] datetime NOT NULL CONSTRAINT [DF_saveSheet_SheetDate] DEFAULT (getdate()),
    [UnitID] nvarchar(15) NULL,
    [BaseID] int NULL,
    [EmpCode] nvarchar(20) NULL,
    [Amo] money NULL CONSTRAINT [DF_saveSheet_Amo] DEFAULT (0),
    [IsAudit] bit NOT NULL CONSTRAINT [DF_saveSheet_IsAudit] DEFAULT (0),
    [Auditor] nvarchar(32) NULL,
    [AuditTime] datetime NULL,
    [Remark] nvarchar(200) NULL,
    CONSTRAINT [PK_saveSheet] PRIMARY KEY ([SheetID])
)
GO

-- Goods left in store by customers: lines, numbered by ItemNo within the sheet.
CREATE TABLE [dbo].[saveItems] (
    [SheetID] nvarchar(20) NOT NULL,
    [ItemNo] int NOT NULL,
    [GoodsID] nvarchar(50) NOT NULL,
    [Qua] money NULL CONSTRAINT [DF_saveItems_Qua] DEFAULT (0),
    [Price] money NULL CONSTRAINT [DF_saveItems_Price] DEFAULT (0),
    [Amo] money NULL CONSTRAINT [DF_saveItems_Amo] DEFAULT (0),
    [Remark] nvarchar(100) NULL,
    CONSTRAINT [PK_saveItems] PRIMARY KEY ([SheetID], [ItemNo])
)
GO

-- Consignment delivery to customers: header, one row per sheet.
CREATE TABLE [dbo].[CustSheetDelGoods] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_CustSheetDelGoods_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_CustSheetDelGoods_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_CustSheetDelGoods_OpTime] DEFAULT (getdate()),
    [SheetID] nvarchar(20) NOT NULL,
    [SheetDate] datetime NOT NULL CONSTRAINT [DF_CustSheetDelGoods_SheetDate] DEFAULT (getdate()),
    [UnitID] nvarchar(15) NULL,
    [BaseID] int NULL,
    [EmpCode] nvarchar(20) NULL,
    [Amo] money NULL CONSTRAINT [DF_CustSheetDelGoods_Amo] DEFAULT (0),
    [IsAudit] bit NOT NULL CONSTRAINT [DF_CustSheetDelGoods_IsAudit] DEFAULT (0),
    [Auditor] nvarchar(32) NULL,
    [AuditTime] datetime NULL,
    [Remark] nvarchar(200) NULL,
    CONSTRAINT [PK_CustSheetDelGoods] PRIMARY KEY ([SheetID])
)
GO

-- Consignment delivery to customers: lines, numbered by ItemNo within the sheet.
CREATE TABLE [dbo].[CustDelGoodsItems] (
    [SheetID] nvarchar(20) NOT NULL,
    [ItemNo] int NOT NULL,
    [GoodsID] nvarchar(50) NOT NULL,
    [Qua] money NULL CONSTRAINT [DF_CustDelGoodsItems_Qua] DEFAULT (0),
    [Price] money NULL CONSTRAINT [DF_CustDelGoodsItems_Price] DEFAULT (0),
    [Amo] money NULL CONSTRAINT [DF_CustDelGoodsItems_Amo] DEFAULT (0),
    [Remark] nvarchar(100) NULL,
    CONSTRAINT [PK_CustDelGoodsItems] PRIMARY KEY ([SheetID], [ItemNo])
)
GO

-- Settlement of goods consigned by suppliers: header, one row per sheet.
CREATE TABLE [dbo].[SuppSheetDelGoods] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_SuppSheetDelGoods_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_SuppSheetDelGoods_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_SuppSheetDelGoods_OpTime] DEFAULT (getdate()),
    [SheetID] nvarchar(20) NOT NULL,
    [SheetDate] datetime NOT NULL CONSTRAINT [DF_SuppSheetDelGoods_SheetDate] DEFAULT (getdate()),
    [UnitID] nvarchar(15) NULL,
    [BaseID] int NULL,
    [EmpCode] nvarchar(20) NULL,
    [Amo] money NULL CONSTRAINT [DF_SuppSheetDelGoods_Amo] DEFAULT (0),
    [IsAudit] bit NOT NULL CONSTRAINT [DF_SuppSheetDelGoods_IsAudit] DEFAULT (0),
    [Auditor] nvarchar(32) NULL,
    [AuditTime] datetime NULL,
    [Remark] nvarchar(200) NULL,
    CONSTRAINT [PK_SuppSheetDelGoods] PRIMARY KEY ([SheetID])
)
GO

-- Settlement of goods consigned by suppliers: lines, numbered by ItemNo within the sheet.
CREATE TABLE [dbo].[SuppDelGoodsItems] (
    [SheetID] nvarchar(20) NOT NULL,
    [ItemNo] int NOT NULL,
    [GoodsID] nvarchar(50) NOT NULL,
    [Qua] money NULL CONSTRAINT [DF_SuppDelGoodsItems_Qua] DEFAULT (0),
    [Price] money NULL CONSTRAINT [DF_SuppDelGoodsItems_Price] DEFAULT (0),
    [Amo] money NULL CONSTRAINT [DF_SuppDelGoodsItems_Amo] DEFAULT (0),
    [Remark] nvarchar(100) NULL,
    CONSTRAINT [PK_SuppDelGoodsItems] PRIMARY KEY ([SheetID], [ItemNo])
)
GO

-- Allocation to shops: header, one row per sheet.
CREATE TABLE [dbo].[ShopRationSheet] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_ShopRationSheet_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_ShopRationSheet_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_ShopRationSheet_OpTime] DEFAULT (getdate()),
    [SheetID] nvarchar(20) NOT NULL,
    [SheetDate] datetime NOT NULL CONSTRAINT [DF_ShopRationSheet_SheetDate] DEFAULT (getdate()),
    [ShopID] nvarchar(15) NULL,
    [BaseID] int NULL,
    [EmpCode] nvarchar(20) NULL,
    [Amo] money NULL CONSTRAINT [DF_ShopRationSheet_Amo] DEFAULT (0),
    [IsAudit] bit NOT NULL CONSTRAINT [DF_ShopRationSheet_IsAudit] DEFAULT (0),
    [Auditor] nvarchar(32) NULL,
    [AuditTime] datetime NULL,
    [Remark] nvarchar(200) NULL,
    CONSTRAINT [PK_ShopRationSheet] PRIMARY KEY ([SheetID])
)
GO

-- Allocation to shops: lines, numbered by ItemNo within the sheet.
CREATE TABLE [dbo].[ShopRationItems] (
    [SheetID] nvarchar(20) NOT NULL,
    [ItemNo] int NOT NULL,
    [GoodsID] nvarchar(50) NOT NULL,
    [Qua] money NULL CONSTRAINT [DF_ShopRationItems_Qua] DEFAULT (0),
    [Price] money NULL CONSTRAINT [DF_ShopRationItems_Price] DEFAULT (0),
    [Amo] money NULL CONSTRAINT [DF_ShopRationItems_Amo] DEFAULT (0),
    [Remark] nvarchar(100) NULL,
    CONSTRAINT [PK_ShopRationItems] PRIMARY KEY ([SheetID], [ItemNo])
)
GO

-- Transfer between shops: header, one row per sheet.
CREATE TABLE [dbo].[ShopMovSheet] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_ShopMovSheet_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_ShopMovSheet_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_ShopMovSheet_OpTime] DEFAULT (getdate()),
    [SheetID] nvarchar(20) NOT NULL,
    [SheetDate] datetime NOT NULL CONSTRAINT [DF_ShopMovSheet_SheetDate] DEFAULT (getdate()),
    [OutShopID] nvarchar(15) NULL,
    [InShopID] nvarchar(15) NULL,
    [EmpCode] nvarchar(20) NULL,
    [Amo] money NULL CONSTRAINT [DF_ShopMovSheet_Amo] DEFAULT (0),
    [IsAudit] bit NOT NULL CONSTRAINT [DF_ShopMovSheet_IsAudit] DEFAULT (0),
    [Auditor] nvarchar(32) NULL,
    [AuditTime] datetime NULL,
    [Remark] nvarchar(200) NULL,
    CONSTRAINT [PK_ShopMovSheet] PRIMARY KEY ([SheetID])
)
GO

-- Transfer between shops: lines, numbered by ItemNo within the sheet.
CREATE TABLE [dbo].[ShopMovItems] (
    [SheetID] nvarchar(20) NOT NULL,
    [ItemNo] int NOT NULL,
    [GoodsID] nvarchar(50) NOT NULL,
    [Qua] money NULL CONSTRAINT [DF_ShopMovItems_Qua] DEFAULT (0),
    [Price] money NULL CONSTRAINT [DF_ShopMovItems_Price] DEFAULT (0),
    [Amo] money NULL CONSTRAINT [DF_ShopMovItems_Amo] DEFAULT (0),
    [Remark] nvarchar(100) NULL,
    CONSTRAINT [PK_ShopMovItems] PRIMARY KEY ([SheetID], [ItemNo])
)
GO

-- Receipt or issue of a shop: header, one row per sheet.
-- Type 1 receipt, 2 issue.
CREATE TABLE [dbo].[ShopIoSheet] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_ShopIoSheet_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_ShopIoSheet_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_ShopIoSheet_OpTime] DEFAULT (getdate()),
    [SheetID] nvarchar(20) NOT NULL,
    [SheetDate] datetime NOT NULL CONSTRAINT [DF_ShopIoSheet_SheetDate] DEFAULT (getdate()),
    [ShopID] nvarchar(15) NULL,
    [Type] smallint NOT NULL CONSTRAINT [DF_ShopIoSheet_Type] DEFAULT (1),
    [EmpCode] nvarchar(20) NULL,
    [Amo] money NULL CONSTRAINT [DF_ShopIoSheet_Amo] DEFAULT (0),
    [IsAudit] bit NOT NULL CONSTRAINT [DF_ShopIoSheet_IsAudit] DEFAULT (0),
    [Auditor] nvarchar(32) NULL,
    [AuditTime] datetime NULL,
    [Remark] nvarchar(200) NULL,
    CONSTRAINT [PK_ShopIoSheet] PRIMARY KEY ([SheetID])
)
GO

-- Receipt or issue of a shop: lines, numbered by ItemNo within the sheet.
CREATE TABLE [dbo].[ShopIoItems] (
    [SheetID] nvarchar(20) NOT NULL,
    [ItemNo] int NOT NULL,
    [GoodsID] nvarchar(50) NOT NULL,
    [Qua] money NULL CONSTRAINT [DF_ShopIoItems_Qua] DEFAULT (0),
    [Price] money NULL CONSTRAINT [DF_ShopIoItems_Price] DEFAULT (0),
    [Amo] money NULL CONSTRAINT [DF_ShopIoItems_Amo] DEFAULT (0),
    [Remark] nvarchar(100) NULL,
    CONSTRAINT [PK_ShopIoItems] PRIMARY KEY ([SheetID], [ItemNo])
)
GO

-- Differences between goods sent to and received by a shop: header, one row per sheet.
CREATE TABLE [dbo].[ShopDiffSheet] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_ShopDiffSheet_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_ShopDiffSheet_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_ShopDiffSheet_OpTime] DEFAULT (getdate()),
    [SheetID] nvarchar(20) NOT NULL,
    [SheetDate] datetime NOT NULL CONSTRAINT [DF_ShopDiffSheet_SheetDate] DEFAULT (getdate()),
    [ShopID] nvarchar(15) NULL,
    [RefSheetID] nvarchar(20) NULL,
    [EmpCode] nvarchar(20) NULL,
    [Amo] money NULL CONSTRAINT [DF_ShopDiffSheet_Amo] DEFAULT (0),
    [IsAudit] bit NOT NULL CONSTRAINT [DF_ShopDiffSheet_IsAudit] DEFAULT (0),
    [Auditor] nvarchar(32) NULL,
    [AuditTime] datetime NULL,
    [Remark] nvarchar(200) NULL,
    CONSTRAINT [PK_ShopDiffSheet] PRIMARY KEY ([SheetID])
)
GO

-- Differences between goods sent to and received by a shop: lines, numbered by ItemNo within the sheet.
CREATE TABLE [dbo].[ShopDiffItems] (
    [SheetID] nvarchar(20) NOT NULL,
    [ItemNo] int NOT NULL,
    [GoodsID] nvarchar(50) NOT NULL,
    [SendQua] money NULL CONSTRAINT [DF_ShopDiffItems_SendQua] DEFAULT (0),
    [RecvQua] money NULL CONSTRAINT [DF_ShopDiffItems_RecvQua] DEFAULT (0),
    [Qua] money NULL CONSTRAINT [DF_ShopDiffItems_Qua] DEFAULT (0),
    [Price] money NULL CONSTRAINT [DF_ShopDiffItems_Price] DEFAULT (0),
    [Amo] money NULL CONSTRAINT [DF_ShopDiffItems_Amo] DEFAULT (0),
    [Remark] nvarchar(100) NULL,
    CONSTRAINT [PK_ShopDiffItems] PRIMARY KEY ([SheetID], [ItemNo])
)
GO

-- Stocktaking counts as entered, before they make a stocktaking sheet.
CREATE TABLE [dbo].[InvTempSheet] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_InvTempSheet_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_InvTempSheet_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_InvTempSheet_OpTime] DEFAULT (getdate()),
    [ID] int IDENTITY(1,1) NOT NULL,
    [BaseID] int NULL,
    [GoodsID] nvarchar(50) NOT NULL,
    [Qua] money NULL CONSTRAINT [DF_InvTempSheet_Qua] DEFAULT (0),
    [Location] nvarchar(32) NULL,
    CONSTRAINT [PK_InvTempSheet] PRIMARY KEY ([ID])
)
GO

-- Which information (cost prices, balances, ...) a user may see.
CREATE TABLE [dbo].[InfoDriotSet] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_InfoDriotSet_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_InfoDriotSet_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_InfoDriotSet_OpTime] DEFAULT (getdate()),
    [UserID] nvarchar(20) NOT NULL,
    [InfoName] nvarchar(50) NOT NULL,
    [IsVisible] bit NOT NULL CONSTRAINT [DF_InfoDriotSet_IsVisible] DEFAULT (1),
    CONSTRAINT [PK_InfoDriotSet] PRIMARY KEY ([UserID], [InfoName])
)
GO

-- ============================================================================
-- Logs and exchange with shops
-- ============================================================================

-- Changes made to sheets (ChangeType 1 edit, 2 delete, 3 audit, 4 audit undone).
CREATE TABLE [dbo].[DocChange] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_DocChange_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_DocChange_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_DocChange_OpTime] DEFAULT (getdate()),
    [ID] int IDENTITY(1,1) NOT NULL,
    [SheetID] nvarchar(20) NOT NULL,
    [SheetType] smallint NOT NULL CONSTRAINT [DF_DocChange_SheetType] DEFAULT (0),
    [ChangeType] smallint NOT NULL CONSTRAINT [DF_DocChange_ChangeType] DEFAULT (1),
    [Content] nvarchar(255) NULL,
    CONSTRAINT [PK_DocChange] PRIMARY KEY ([ID])
)
GO

-- Data sent to shops.
CREATE TABLE [dbo].[Export] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_Export_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_Export_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_Export_OpTime] DEFAULT (getdate()),
    [ID] int IDENTITY(1,1) NOT NULL,
    [ShopID] nvarchar(15) NULL,
    [ExportType] smallint NOT NULL CONSTRAINT [DF_Export_ExportType] DEFAULT (0),
    [FileName] nvarchar(255) NULL,
    [ExportTime] datetime NULL CONSTRAINT [DF_Export_ExportTime] DEFAULT (getdate()),
    [RowsCount] int NULL CONSTRAINT [DF_Export_RowsCount] DEFAULT (0),
    CONSTRAINT [PK_Export] PRIMARY KEY ([ID])
)
GO

-- Data received from shops.
CREATE TABLE [dbo].[ImportTable] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_ImportTable_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_ImportTable_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_ImportTable_OpTime] DEFAULT (getdate()),
    [ID] int IDENTITY(1,1) NOT NULL,
    [ShopID] nvarchar(15) NULL,
    [ImportType] smallint NOT NULL CONSTRAINT [DF_ImportTable_ImportType] DEFAULT (0),
    [FileName] nvarchar(255) NULL,
    [ImportTime] datetime NULL CONSTRAINT [DF_ImportTable_ImportTime] DEFAULT (getdate()),
    [RowsCount] int NULL CONSTRAINT [DF_ImportTable_RowsCount] DEFAULT (0),
    CONSTRAINT [PK_ImportTable] PRIMARY KEY ([ID])
)
GO

-- Logins of users over the network.
CREATE TABLE [dbo].[netLogin] (
    [ID] int IDENTITY(1,1) NOT NULL,
    [UserID] nvarchar(20) NULL,
    [ComputerName] nvarchar(20) NULL CONSTRAINT [DF_netLogin_ComputerName] DEFAULT (host_name()),
    [LoginTime] datetime NULL CONSTRAINT [DF_netLogin_LoginTime] DEFAULT (getdate()),
    [LogoutTime] datetime NULL,
    CONSTRAINT [PK_netLogin] PRIMARY KEY ([ID])
)
GO

-- Sheets exchanged with shops (Status 0 sent, 1 received, 2 posted).
CREATE TABLE [dbo].[netSheetLog] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_netSheetLog_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_netSheetLog_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_netSheetLog_OpTime] DEFAULT (getdate()),
    [ID] int IDENTITY(1,1) NOT NULL,
    [SheetID] nvarchar(20) NOT NULL,
    [SheetType] smallint NOT NULL CONSTRAINT [DF_netSheetLog_SheetType] DEFAULT (0),
    [ShopID] nvarchar(15) NULL,
    [SendTime] datetime NULL,
    [RecvTime] datetime NULL,
    [Status] smallint NOT NULL CONSTRAINT [DF_netSheetLog_Status] DEFAULT (0),
    CONSTRAINT [PK_netSheetLog] PRIMARY KEY ([ID])
)
GO

-- Posting of sheets received from shops.
CREATE TABLE [dbo].[netSheetAccLog] (
    [Computer] nvarchar(20) NULL CONSTRAINT [DF_netSheetAccLog_Computer] DEFAULT (host_name()),
    [Operator] nvarchar(32) NULL CONSTRAINT [DF_netSheetAccLog_Operator] DEFAULT (suser_sname()),
    [OpTime] datetime NULL CONSTRAINT [DF_netSheetAccLog_OpTime] DEFAULT (getdate()),
    [ID] int IDENTITY(1,1) NOT NULL,
    [SheetID] nvarchar(20) NOT NULL,
    [SheetType] smallint NOT NULL CONSTRAINT [DF_netSheetAccLog_SheetType] DEFAULT (0),
    [AccTime] datetime NULL CONSTRAINT [DF_netSheetAccLog_AccTime] DEFAULT (getdate()),
    [IsSucceed] bit NOT NULL CONSTRAINT [DF_netSheetAccLog_IsSucceed] DEFAULT (1),
    [Message] nvarchar(255) NULL,
    CONSTRAINT [PK_netSheetAccLog] PRIMARY KEY ([ID])
)
GO

-- Events of the point-of-sale terminals.
CREATE TABLE [dbo].[PosLog] (
    [ID] int IDENTITY(1,1) NOT NULL,
    [PosNo] nvarchar(20) NULL,
    [LogTime] datetime NULL CONSTRAINT [DF_PosLog_LogTime] DEFAULT (getdate()),
    [LogType] smallint NOT NULL CONSTRAINT [DF_PosLog_LogType] DEFAULT (0),
    [CashierCode] nvarchar(20) NULL,
    [Content] nvarchar(255) NULL,
    CONSTRAINT [PK_PosLog] PRIMARY KEY ([ID])
)
GO

-- Payments taken at the point-of-sale terminals.
CREATE TABLE [dbo].[RetailLogRecItems] (
    [ID] int IDENTITY(1,1) NOT NULL,
    [PosNo] nvarchar(20) NULL,
    [SaleNo] nvarchar(20) NULL,
    [SaleTime] datetime NULL CONSTRAINT [DF_RetailLogRecItems_SaleTime] DEFAULT (getdate()),
    [SettleTypeID] smallint NULL,
    [Amo] money NULL CONSTRAINT [DF_RetailLogRecItems_Amo] DEFAULT (0),
    [MemberID] nvarchar(15) NULL,
    [CashierCode] nvarchar(20) NULL,
    CONSTRAINT [PK_RetailLogRecItems] PRIMARY KEY ([ID])
)
GO

-- ============================================================================
-- Records of a new database. ClearAllData removes them, ClearUserData keeps them.
-- ============================================================================

-- Version
INSERT INTO [dbo].[Version] ([Version], [VerName], [VerDate], [Remark]) VALUES (N'6.0', N'6.0 版', getdate(), N'新建数据库')
GO

-- System
INSERT INTO [dbo].[System] ([SysID], [SysName], [Edition], [DBVersion], [Remark]) VALUES (1, N'商业进销存管理系统', N'标准版', N'6.0', N'SQL Server 2000 数据库')
GO

-- SysParm
INSERT INTO [dbo].[SysParm] ([ParmName], [ParmValue], [Caption], [Remark]) VALUES (N'StartYear', NULL, N'启用年度', N'首次记帐时填写')
INSERT INTO [dbo].[SysParm] ([ParmName], [ParmValue], [Caption], [Remark]) VALUES (N'StartMonth', NULL, N'启用月份', N'首次记帐时填写')
INSERT INTO [dbo].[SysParm] ([ParmName], [ParmValue], [Caption], [Remark]) VALUES (N'AccDay', N'31', N'月结日', N'31 表示自然月末')
INSERT INTO [dbo].[SysParm] ([ParmName], [ParmValue], [Caption], [Remark]) VALUES (N'CostMethod', N'1', N'成本核算方法', NULL)
INSERT INTO [dbo].[SysParm] ([ParmName], [ParmValue], [Caption], [Remark]) VALUES (N'AllowMinus', N'0', N'允许负库存', NULL)
INSERT INTO [dbo].[SysParm] ([ParmName], [ParmValue], [Caption], [Remark]) VALUES (N'PriceDec', N'2', N'单价小数位数', NULL)
INSERT INTO [dbo].[SysParm] ([ParmName], [ParmValue], [Caption], [Remark]) VALUES (N'QuaDec', N'2', N'数量小数位数', NULL)
INSERT INTO [dbo].[SysParm] ([ParmName], [ParmValue], [Caption], [Remark]) VALUES (N'AmoDec', N'2', N'金额小数位数', NULL)
GO

-- SysParaRef
INSERT INTO [dbo].[SysParaRef] ([ParaName], [RefValue], [RefCaption], [OrderNo]) VALUES (N'CostMethod', N'1', N'移动加权平均', 1)
INSERT INTO [dbo].[SysParaRef] ([ParaName], [RefValue], [RefCaption], [OrderNo]) VALUES (N'CostMethod', N'2', N'先进先出', 2)
INSERT INTO [dbo].[SysParaRef] ([ParaName], [RefValue], [RefCaption], [OrderNo]) VALUES (N'CostMethod', N'3', N'月末一次加权平均', 3)
INSERT INTO [dbo].[SysParaRef] ([ParaName], [RefValue], [RefCaption], [OrderNo]) VALUES (N'AllowMinus', N'0', N'不允许', 1)
INSERT INTO [dbo].[SysParaRef] ([ParaName], [RefValue], [RefCaption], [OrderNo]) VALUES (N'AllowMinus', N'1', N'允许', 2)
GO

-- Parameter
INSERT INTO [dbo].[Parameter] ([ParaName], [ParaValue], [Caption], [Remark]) VALUES (N'RetailUnitID', N'0', N'零售客户编号', N'零售业务记在此客户名下')
INSERT INTO [dbo].[Parameter] ([ParaName], [ParaValue], [Caption], [Remark]) VALUES (N'DefaultBaseID', N'1', N'默认仓库', NULL)
INSERT INTO [dbo].[Parameter] ([ParaName], [ParaValue], [Caption], [Remark]) VALUES (N'DefaultPriceID', N'1', N'默认售价', N'见售价名称')
INSERT INTO [dbo].[Parameter] ([ParaName], [ParaValue], [Caption], [Remark]) VALUES (N'DefaultTaxRate', N'17', N'默认税率(%)', NULL)
INSERT INTO [dbo].[Parameter] ([ParaName], [ParaValue], [Caption], [Remark]) VALUES (N'CheckCredit', N'0', N'销售时检查信用额度', NULL)
INSERT INTO [dbo].[Parameter] ([ParaName], [ParaValue], [Caption], [Remark]) VALUES (N'AuditBeforePost', N'1', N'单据审核后记帐', NULL)
GO

-- SRegistry_MACHINE
INSERT INTO [dbo].[SRegistry_MACHINE] ([KeyPath], [ValueName], [ValueData]) VALUES (N'SOFTWARE\Retail\6.0', N'Version', N'6.0')
INSERT INTO [dbo].[SRegistry_MACHINE] ([KeyPath], [ValueName], [ValueData]) VALUES (N'SOFTWARE\Retail\6.0\Setup', N'Language', N'zh-CN')
INSERT INTO [dbo].[SRegistry_MACHINE] ([KeyPath], [ValueName], [ValueData]) VALUES (N'SOFTWARE\Retail\6.0\POS', N'ComPort', N'COM1')
GO

-- SRegistry_ROOT
INSERT INTO [dbo].[SRegistry_ROOT] ([KeyPath], [ValueName], [ValueData]) VALUES (N'.rpt', N'ProgID', N'Retail.Report')
INSERT INTO [dbo].[SRegistry_ROOT] ([KeyPath], [ValueName], [ValueData]) VALUES (N'Retail.Report', N'FriendlyTypeName', N'报表文件')
INSERT INTO [dbo].[SRegistry_ROOT] ([KeyPath], [ValueName], [ValueData]) VALUES (N'Retail.Report\DefaultIcon', N'Path', N'report.ico')
GO

-- SRegistry_USERS
INSERT INTO [dbo].[SRegistry_USERS] ([KeyPath], [ValueName], [ValueData]) VALUES (N'.DEFAULT\Software\Retail\6.0\Options', N'ShowTip', N'1')
INSERT INTO [dbo].[SRegistry_USERS] ([KeyPath], [ValueName], [ValueData]) VALUES (N'.DEFAULT\Software\Retail\6.0\Options', N'PageRows', N'20')
INSERT INTO [dbo].[SRegistry_USERS] ([KeyPath], [ValueName], [ValueData]) VALUES (N'.DEFAULT\Software\Retail\6.0\Print', N'Preview', N'1')
GO

-- ContentCheck
INSERT INTO [dbo].[ContentCheck] ([CheckID], [CheckName], [TableName], [Remark]) VALUES (1, N'商品库存与仓库库存核对', N'bBalance', N'商品档案结存应等于各仓库库存之和')
INSERT INTO [dbo].[ContentCheck] ([CheckID], [CheckName], [TableName], [Remark]) VALUES (2, N'保管帐与库存核对', N'Custody', NULL)
INSERT INTO [dbo].[ContentCheck] ([CheckID], [CheckName], [TableName], [Remark]) VALUES (3, N'客户往来帐余额核对', N'CustAcc', NULL)
INSERT INTO [dbo].[ContentCheck] ([CheckID], [CheckName], [TableName], [Remark]) VALUES (4, N'供货商往来帐余额核对', N'SuppAcc', NULL)
INSERT INTO [dbo].[ContentCheck] ([CheckID], [CheckName], [TableName], [Remark]) VALUES (5, N'单据明细与表头金额核对', N'exSheet', NULL)
GO

-- datClear
INSERT INTO [dbo].[datClear] ([ClearID], [TableName], [Caption], [ClearType], [OrderNo]) VALUES (1, N'imSheet', N'进货单', 1, 1)
INSERT INTO [dbo].[datClear] ([ClearID], [TableName], [Caption], [ClearType], [OrderNo]) VALUES (2, N'exSheet', N'销售单', 1, 2)
INSERT INTO [dbo].[datClear] ([ClearID], [TableName], [Caption], [ClearType], [OrderNo]) VALUES (3, N'rpSheet', N'退货单', 1, 3)
INSERT INTO [dbo].[datClear] ([ClearID], [TableName], [Caption], [ClearType], [OrderNo]) VALUES (4, N'movSheet', N'调拨单', 1, 4)
INSERT INTO [dbo].[datClear] ([ClearID], [TableName], [Caption], [ClearType], [OrderNo]) VALUES (5, N'invSheet', N'盘点单', 1, 5)
INSERT INTO [dbo].[datClear] ([ClearID], [TableName], [Caption], [ClearType], [OrderNo]) VALUES (6, N'recSheet', N'收款单', 1, 6)
INSERT INTO [dbo].[datClear] ([ClearID], [TableName], [Caption], [ClearType], [OrderNo]) VALUES (7, N'paySheet', N'付款单', 1, 7)
INSERT INTO [dbo].[datClear] ([ClearID], [TableName], [Caption], [ClearType], [OrderNo]) VALUES (8, N'PosLog', N'POS 日志', 2, 8)
INSERT INTO [dbo].[datClear] ([ClearID], [TableName], [Caption], [ClearType], [OrderNo]) VALUES (9, N'DocChange', N'单据修改记录', 2, 9)
GO

-- CatType
INSERT INTO [dbo].[CatType] ([CatTypeID], [TypeName]) VALUES (1, N'业务')
INSERT INTO [dbo].[CatType] ([CatTypeID], [TypeName]) VALUES (2, N'报表')
INSERT INTO [dbo].[CatType] ([CatTypeID], [TypeName]) VALUES (3, N'系统')
GO

-- Catalog
INSERT INTO [dbo].[Catalog] ([CatID], [ParentID], [CatTypeID], [CatName], [FormName], [OrderNo]) VALUES (N'01', NULL, 1, N'采购管理', NULL, 1)
INSERT INTO [dbo].[Catalog] ([CatID], [ParentID], [CatTypeID], [CatName], [FormName], [OrderNo]) VALUES (N'0101', N'01', 1, N'进货单', N'frmImSheet', 1)
INSERT INTO [dbo].[Catalog] ([CatID], [ParentID], [CatTypeID], [CatName], [FormName], [OrderNo]) VALUES (N'0102', N'01', 1, N'退货单', N'frmRpSheet', 2)
INSERT INTO [dbo].[Catalog] ([CatID], [ParentID], [CatTypeID], [CatName], [FormName], [OrderNo]) VALUES (N'02', NULL, 1, N'销售管理', NULL, 2)
INSERT INTO [dbo].[Catalog] ([CatID], [ParentID], [CatTypeID], [CatName], [FormName], [OrderNo]) VALUES (N'0201', N'02', 1, N'销售单', N'frmExSheet', 1)
INSERT INTO [dbo].[Catalog] ([CatID], [ParentID], [CatTypeID], [CatName], [FormName], [OrderNo]) VALUES (N'0202', N'02', 1, N'收款单', N'frmRecSheet', 2)
INSERT INTO [dbo].[Catalog] ([CatID], [ParentID], [CatTypeID], [CatName], [FormName], [OrderNo]) VALUES (N'03', NULL, 1, N'库存管理', NULL, 3)
INSERT INTO [dbo].[Catalog] ([CatID], [ParentID], [CatTypeID], [CatName], [FormName], [OrderNo]) VALUES (N'0301', N'03', 1, N'调拨单', N'frmMovSheet', 1)
INSERT INTO [dbo].[Catalog] ([CatID], [ParentID], [CatTypeID], [CatName], [FormName], [OrderNo]) VALUES (N'0302', N'03', 1, N'盘点单', N'frmInvSheet', 2)
INSERT INTO [dbo].[Catalog] ([CatID], [ParentID], [CatTypeID], [CatName], [FormName], [OrderNo]) VALUES (N'04', NULL, 2, N'统计报表', NULL, 4)
INSERT INTO [dbo].[Catalog] ([CatID], [ParentID], [CatTypeID], [CatName], [FormName], [OrderNo]) VALUES (N'0401', N'04', 2, N'库存报表', N'frmRptStock', 1)
INSERT INTO [dbo].[Catalog] ([CatID], [ParentID], [CatTypeID], [CatName], [FormName], [OrderNo]) VALUES (N'05', NULL, 3, N'基础资料', NULL, 5)
INSERT INTO [dbo].[Catalog] ([CatID], [ParentID], [CatTypeID], [CatName], [FormName], [OrderNo]) VALUES (N'0501', N'05', 3, N'商品档案', N'frmGoods', 1)
INSERT INTO [dbo].[Catalog] ([CatID], [ParentID], [CatTypeID], [CatName], [FormName], [OrderNo]) VALUES (N'0502', N'05', 3, N'往来单位', N'frmUnit', 2)
GO

-- DroitList
INSERT INTO [dbo].[DroitList] ([DroitID], [DroitName], [CatID], [OrderNo]) VALUES (N'ImSheet', N'进货单', N'0101', 1)
INSERT INTO [dbo].[DroitList] ([DroitID], [DroitName], [CatID], [OrderNo]) VALUES (N'RpSheet', N'退货单', N'0102', 2)
INSERT INTO [dbo].[DroitList] ([DroitID], [DroitName], [CatID], [OrderNo]) VALUES (N'ExSheet', N'销售单', N'0201', 3)
INSERT INTO [dbo].[DroitList] ([DroitID], [DroitName], [CatID], [OrderNo]) VALUES (N'RecSheet', N'收款单', N'0202', 4)
INSERT INTO [dbo].[DroitList] ([DroitID], [DroitName], [CatID], [OrderNo]) VALUES (N'MovSheet', N'调拨单', N'0301', 5)
INSERT INTO [dbo].[DroitList] ([DroitID], [DroitName], [CatID], [OrderNo]) VALUES (N'InvSheet', N'盘点单', N'0302', 6)
INSERT INTO [dbo].[DroitList] ([DroitID], [DroitName], [CatID], [OrderNo]) VALUES (N'RptStock', N'库存报表', N'0401', 7)
INSERT INTO [dbo].[DroitList] ([DroitID], [DroitName], [CatID], [OrderNo]) VALUES (N'Goods', N'商品档案', N'0501', 8)
INSERT INTO [dbo].[DroitList] ([DroitID], [DroitName], [CatID], [OrderNo]) VALUES (N'Unit', N'往来单位', N'0502', 9)
INSERT INTO [dbo].[DroitList] ([DroitID], [DroitName], [CatID], [OrderNo]) VALUES (N'Audit', N'审核单据', NULL, 10)
INSERT INTO [dbo].[DroitList] ([DroitID], [DroitName], [CatID], [OrderNo]) VALUES (N'SeeCost', N'查看成本价', NULL, 11)
GO

-- SheetType
INSERT INTO [dbo].[SheetType] ([SheetType], [TypeName], [Prefix], [SheetTable], [ItemsTable]) VALUES (100, N'进货单', N'JH', N'imSheet', N'imItems')
INSERT INTO [dbo].[SheetType] ([SheetType], [TypeName], [Prefix], [SheetTable], [ItemsTable]) VALUES (110, N'退货单', N'TH', N'rpSheet', N'rpItems')
INSERT INTO [dbo].[SheetType] ([SheetType], [TypeName], [Prefix], [SheetTable], [ItemsTable]) VALUES (120, N'进项发票', N'JP', N'ImInvoiceSheet', N'ImInvoiceItems')
INSERT INTO [dbo].[SheetType] ([SheetType], [TypeName], [Prefix], [SheetTable], [ItemsTable]) VALUES (200, N'期初单', N'QC', N'initSheet', N'initItems')
INSERT INTO [dbo].[SheetType] ([SheetType], [TypeName], [Prefix], [SheetTable], [ItemsTable]) VALUES (300, N'销售单', N'XS', N'exSheet', N'exItems')
INSERT INTO [dbo].[SheetType] ([SheetType], [TypeName], [Prefix], [SheetTable], [ItemsTable]) VALUES (320, N'销项发票', N'XP', N'ExInvoiceSheet', N'ExInvoiceItems')
INSERT INTO [dbo].[SheetType] ([SheetType], [TypeName], [Prefix], [SheetTable], [ItemsTable]) VALUES (400, N'调拨单', N'DB', N'movSheet', N'movItems')
INSERT INTO [dbo].[SheetType] ([SheetType], [TypeName], [Prefix], [SheetTable], [ItemsTable]) VALUES (410, N'其他出入库单', N'QT', N'ioSheet', N'ioItems')
INSERT INTO [dbo].[SheetType] ([SheetType], [TypeName], [Prefix], [SheetTable], [ItemsTable]) VALUES (420, N'领用单', N'LY', N'eoSheet', N'eoItems')
INSERT INTO [dbo].[SheetType] ([SheetType], [TypeName], [Prefix], [SheetTable], [ItemsTable]) VALUES (430, N'外调入库单', N'WR', N'ExInSheet', N'ExInItems')
INSERT INTO [dbo].[SheetType] ([SheetType], [TypeName], [Prefix], [SheetTable], [ItemsTable]) VALUES (500, N'盘点单', N'PD', N'invSheet', N'invItems')
INSERT INTO [dbo].[SheetType] ([SheetType], [TypeName], [Prefix], [SheetTable], [ItemsTable]) VALUES (510, N'报损单', N'BS', N'losSheet', N'losItems')
INSERT INTO [dbo].[SheetType] ([SheetType], [TypeName], [Prefix], [SheetTable], [ItemsTable]) VALUES (520, N'损益单', N'SY', N'plSheet', N'plItems')
INSERT INTO [dbo].[SheetType] ([SheetType], [TypeName], [Prefix], [SheetTable], [ItemsTable]) VALUES (530, N'组装拆卸单', N'ZZ', N'comSheet', N'comItems')
INSERT INTO [dbo].[SheetType] ([SheetType], [TypeName], [Prefix], [SheetTable], [ItemsTable]) VALUES (540, N'拆零单', N'CL', N'sepSheet', N'sepItems')
INSERT INTO [dbo].[SheetType] ([SheetType], [TypeName], [Prefix], [SheetTable], [ItemsTable]) VALUES (550, N'调价单', N'TJ', N'AdjustPriceSheet', N'AdjustPriceItems')
INSERT INTO [dbo].[SheetType] ([SheetType], [TypeName], [Prefix], [SheetTable], [ItemsTable]) VALUES (600, N'收款单', N'SK', N'recSheet', N'recItems')
INSERT INTO [dbo].[SheetType] ([SheetType], [TypeName], [Prefix], [SheetTable], [ItemsTable]) VALUES (610, N'付款单', N'FK', N'paySheet', N'payItems')
INSERT INTO [dbo].[SheetType] ([SheetType], [TypeName], [Prefix], [SheetTable], [ItemsTable]) VALUES (620, N'往来调整单', N'WT', N'AdjustCustSheet', N'AdjustCustItems')
INSERT INTO [dbo].[SheetType] ([SheetType], [TypeName], [Prefix], [SheetTable], [ItemsTable]) VALUES (630, N'现金银行单', N'XJ', N'AccountSheet', NULL)
INSERT INTO [dbo].[SheetType] ([SheetType], [TypeName], [Prefix], [SheetTable], [ItemsTable]) VALUES (700, N'寄存单', N'JC', N'saveSheet', N'saveItems')
INSERT INTO [dbo].[SheetType] ([SheetType], [TypeName], [Prefix], [SheetTable], [ItemsTable]) VALUES (710, N'提货单', N'TD', N'ladingSheet', N'ladingItems')
INSERT INTO [dbo].[SheetType] ([SheetType], [TypeName], [Prefix], [SheetTable], [ItemsTable]) VALUES (720, N'配送装车单', N'ZC', N'loadSheet', N'loadItems')
INSERT INTO [dbo].[SheetType] ([SheetType], [TypeName], [Prefix], [SheetTable], [ItemsTable]) VALUES (800, N'门店配货单', N'PH', N'ShopRationSheet', N'ShopRationItems')
INSERT INTO [dbo].[SheetType] ([SheetType], [TypeName], [Prefix], [SheetTable], [ItemsTable]) VALUES (810, N'门店调拨单', N'MD', N'ShopMovSheet', N'ShopMovItems')
INSERT INTO [dbo].[SheetType] ([SheetType], [TypeName], [Prefix], [SheetTable], [ItemsTable]) VALUES (820, N'门店出入库单', N'MC', N'ShopIoSheet', N'ShopIoItems')
INSERT INTO [dbo].[SheetType] ([SheetType], [TypeName], [Prefix], [SheetTable], [ItemsTable]) VALUES (830, N'门店差异单', N'CY', N'ShopDiffSheet', N'ShopDiffItems')
INSERT INTO [dbo].[SheetType] ([SheetType], [TypeName], [Prefix], [SheetTable], [ItemsTable]) VALUES (900, N'委托代销发货单', N'DX', N'CustSheetDelGoods', N'CustDelGoodsItems')
INSERT INTO [dbo].[SheetType] ([SheetType], [TypeName], [Prefix], [SheetTable], [ItemsTable]) VALUES (910, N'受托代销结算单', N'DJ', N'SuppSheetDelGoods', N'SuppDelGoodsItems')
GO

-- ExShType
INSERT INTO [dbo].[ExShType] ([TypeID], [TypeName]) VALUES (1, N'销售出库')
INSERT INTO [dbo].[ExShType] ([TypeID], [TypeName]) VALUES (2, N'领用出库')
INSERT INTO [dbo].[ExShType] ([TypeID], [TypeName]) VALUES (3, N'赠送出库')
INSERT INTO [dbo].[ExShType] ([TypeID], [TypeName]) VALUES (4, N'报损出库')
INSERT INTO [dbo].[ExShType] ([TypeID], [TypeName]) VALUES (5, N'其他出库')
GO

-- ImShType
INSERT INTO [dbo].[ImShType] ([TypeID], [TypeName]) VALUES (1, N'采购入库')
INSERT INTO [dbo].[ImShType] ([TypeID], [TypeName]) VALUES (2, N'退货入库')
INSERT INTO [dbo].[ImShType] ([TypeID], [TypeName]) VALUES (3, N'赠品入库')
INSERT INTO [dbo].[ImShType] ([TypeID], [TypeName]) VALUES (4, N'报溢入库')
INSERT INTO [dbo].[ImShType] ([TypeID], [TypeName]) VALUES (5, N'其他入库')
GO

-- InvoiceType
INSERT INTO [dbo].[InvoiceType] ([InvoiceTypeID], [TypeName], [TaxRate]) VALUES (1, N'增值税专用发票', 17)
INSERT INTO [dbo].[InvoiceType] ([InvoiceTypeID], [TypeName], [TaxRate]) VALUES (2, N'普通发票', 0)
INSERT INTO [dbo].[InvoiceType] ([InvoiceTypeID], [TypeName], [TaxRate]) VALUES (3, N'收据', 0)
GO

-- SettleType
INSERT INTO [dbo].[SettleType] ([SettleTypeID], [SettleName]) VALUES (1, N'现金')
INSERT INTO [dbo].[SettleType] ([SettleTypeID], [SettleName]) VALUES (2, N'支票')
INSERT INTO [dbo].[SettleType] ([SettleTypeID], [SettleName]) VALUES (3, N'转帐')
INSERT INTO [dbo].[SettleType] ([SettleTypeID], [SettleName]) VALUES (4, N'银行卡')
INSERT INTO [dbo].[SettleType] ([SettleTypeID], [SettleName]) VALUES (5, N'汇票')
GO

-- SettMode
INSERT INTO [dbo].[SettMode] ([SettModeID], [ModeName]) VALUES (1, N'现款')
INSERT INTO [dbo].[SettMode] ([SettModeID], [ModeName]) VALUES (2, N'月结')
INSERT INTO [dbo].[SettMode] ([SettModeID], [ModeName]) VALUES (3, N'代销')
GO

-- SelPrice
INSERT INTO [dbo].[SelPrice] ([PriceID], [PriceName], [FieldName]) VALUES (1, N'零售价', N'Price')
INSERT INTO [dbo].[SelPrice] ([PriceID], [PriceName], [FieldName]) VALUES (2, N'批发价一', N'Price1')
INSERT INTO [dbo].[SelPrice] ([PriceID], [PriceName], [FieldName]) VALUES (3, N'批发价二', N'Price2')
INSERT INTO [dbo].[SelPrice] ([PriceID], [PriceName], [FieldName]) VALUES (4, N'批发价三', N'Price3')
INSERT INTO [dbo].[SelPrice] ([PriceID], [PriceName], [FieldName]) VALUES (5, N'批发价四', N'Price4')
INSERT INTO [dbo].[SelPrice] ([PriceID], [PriceName], [FieldName]) VALUES (6, N'会员价一', N'MemPrice1')
INSERT INTO [dbo].[SelPrice] ([PriceID], [PriceName], [FieldName]) VALUES (7, N'会员价二', N'MemPrice2')
INSERT INTO [dbo].[SelPrice] ([PriceID], [PriceName], [FieldName]) VALUES (8, N'会员价三', N'MemPrice3')
INSERT INTO [dbo].[SelPrice] ([PriceID], [PriceName], [FieldName]) VALUES (9, N'最低售价', N'MinPrice')
GO
