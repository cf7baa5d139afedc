#include "library/plans/procedures.h"

#include <vector>

namespace korvel::plans {
namespace {

using Lines = std::vector<std::string>;

std::string Join(const Lines& lines) {
  std::string out;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i) out += "\r\n";
    out += lines[i];
  }
  return out;
}

const std::string kRule(130, '-');

// The posting of a partner ledger, version of 2007-01-23.
struct Ledger {
  std::string_view purpose;     // line 1
  std::string_view procedure;   // WriteCustAcc
  std::string_view partners;    // Customer
  std::string_view partners_comment;
  std::string_view ledger;      // CustAcc
  std::string_view ledger_comment;
  std::string_view insert_comment;
  std::string_view condition;   // what the WHERE adds for this partner
  std::string_view full_purpose;     // line 1 of the 2007-01-10 version
  std::string_view full_delete_comment;
};

const Ledger kCustomerLedger = {
    "/*功能: 在5.6升级到6.0时，导完客户期初后，写客户往来帐*/",
    "WriteCustAcc",
    "Customer",
    "/*Customer: 新系统上的客户表*/",
    "CustAcc",
    "/*CustAcc: 新系统上的客户往来帐*/",
    "/*插入客户期初记录(只写使用中的、余额不等于零的非零售客户的往来)*/",
    " AND (UnitID <> N'0')",
    "/*功能: 在5.6升级到6.0时，导完期初数据后，写客户往来帐*/",
    "/*删除客户保管帐*/",
};

const Ledger kSupplierLedger = {
    "/*功能: 在5.6升级到6.0时，导完供货商期初后，写供应商往来帐*/",
    "WriteSuppAcc",
    "Supplier",
    "/*Supplier: 新系统上的供应商表*/",
    "SuppAcc",
    "/*SuppAcc: 新系统上的供应商往来帐*/",
    "/*插入供应商期初记录(只写使用中的、余额不等于零的供货商的往来)*/",
    "",
    "/*功能: 在5.6升级到6.0时，导完期初数据后，写供应商往来帐*/",
    "/*删除供货商保管帐*/",
};

std::string LedgerSql(const Ledger& l, bool full) {
  const std::string condition = "(IsUsed <> 0) AND (BalAmo <> 0)" + std::string(l.condition);
  Lines lines = {
      std::string(full ? l.full_purpose : l.purpose),
      full ? "/*日期: 2007-01-10*/" : "/*日期: 2007-01-23*/",
      "CREATE PROCEDURE " + std::string(l.procedure) + " AS ",
      std::string(l.partners_comment),
      std::string(l.ledger_comment),
  };
  if (!full) lines.push_back(kRule);
  lines.insert(lines.end(), {"/*启动事务*/", "BEGIN TRANSACTION"});
  if (full) lines.insert(lines.end(), {std::string(l.full_delete_comment), "Delete From " + std::string(l.ledger)});
  lines.insert(lines.end(), {
      std::string(l.insert_comment),
      "INSERT INTO " + std::string(l.ledger),
      "      (Type, UnitID, BuyAmo, PayAmo, BalAmo, Summary)",
      "SELECT 200 AS Type, UnitID, BalAmo AS BuyAmo, 0 AS PayAmo, BalAmo, '期初余额' AS Summary",
      "FROM " + std::string(l.partners),
      "WHERE " + condition,
      "/*更新IsTrans*/",
      "UPDATE " + std::string(l.partners),
      "SET IsTrans = 1",
      "WHERE (IsTrans = 0) AND " + condition,
      "/*提交事务*/",
      "COMMIT",
  });
  return Join(lines);
}

// The custody posting, goods-plan version; the full-plan version leaves out
// the rules and the IsTrans update.
const char* const kCustodyHead[] = {
    "/*功能: 在5.6升级到6.0时，导完期初数据后，写商品保管帐*/",
};
const char* const kCustodyIntro[] = {
    "CREATE PROCEDURE WriteCustody AS ",
    "/*Custody: 新系统上的保管帐*/",
    "/*bBalance: 新系统上的库存帐*/",
};
const char* const kCustodyInsert[] = {
    "/*启动事务*/",
    "BEGIN TRANSACTION",
    "/*插入商品保管帐记录(只写库存余额不等于零的商品保管帐)*/",
    "INSERT INTO Custody",
    "     (Type, BaseID, GoodsID,",
    "     BuyPrice, BuyQua, BuyAmo,",
    "     BalPrice, BalQua, BalAmo, ",
    "     RBalQua, RBalAmo,",
    "     Summary)",
    "SELECT 200 AS Type, BaseID, GoodsID,",
    "     BalAmo / BalQua AS BuyPrice, BalQua AS BuyQua, BalAmo AS BuyAmo,",
    "     BalAmo / BalQua AS BalPrice, BalQua, BalAmo,",
    "     BalQua AS RBalQua, BalAmo AS RBalAmo,",
    "     '期初余额' AS Summary",
    "FROM bBalance",
    "WHERE (BalQua <> 0)",
};
const char* const kCustodyMarkGoods[] = {
    "/*更新IsTrans*/",
    "UPDATE Goods",
    "SET IsTrans = 1",
    "WHERE (IsTrans = 0) AND (IsUsual <> 0) AND",
    "(GoodsID in ",
    "     (",
    "     SELECT distinct GoodsID",
    "     FROM bBalance",
    "     WHERE BalQua <> 0",
    "     )",
    ")",
};
const char* const kCustodyCommit[] = {"/*提交事务*/", "COMMIT"};

// The clearing lists, in deletion order.
const char* const kClearAllStep1[] = {"AccDate", "Account", "AccountSheet", "AccTotal", "bBalance",
                                      "CustAcc", "CustAccTotal", "SuppAcc", "SuppAccTotal"};
const char* const kClearAllStep2[] = {
    "AdjustCustItems", "AdjustCustSheet", "AdjustPriceItems", "AdjustPriceSheet", "comItems", "comSheet",
    "CustDelGoodsItems", "CustGoods", "CustSheetDelGoods", "DocChange", "eoItems", "eoSheet", "ExInItems",
    "ExInSheet", "ExInvoiceItems", "ExInvoiceSheet", "exItems", "Export", "exSheet", "FIFO", "ImInvoiceItems",
    "ImInvoiceSheet", "imItems", "ImportTable", "imSheet", "InfoDriotSet", "initItems", "initSheet", "invItems",
    "invSheet", "InvTempSheet", "ioItems", "ioSheet", "ladingItems", "ladingSheet", "loadItems", "loadSheet",
    "losItems", "losSheet", "movItems", "movSheet", "netLogin", "netSheetAccLog", "netSheetLog", "payGoodsItems",
    "payItems", "paySheet", "plItems", "plSheet", "RecDetailItem", "recItems", "recSheet", "RetailLogRecItems",
    "PosLog", "rpItems", "rpSheet", "saveItems", "saveSheet", "SelPrice", "sepItems", "sepSheet", "ShopDiffItems",
    "ShopDiffSheet", "ShopIoItems", "ShopIoSheet", "ShopMovItems", "ShopMovSheet", "ShopRationItems",
    "ShopRationSheet", "SRegistry_MACHINE", "SRegistry_ROOT", "SRegistry_USERS", "SupGoods", "SuppDelGoods",
    "SuppDelGoodsItems", "SuppSheetDelGoods", "TempCustoday"};
const char* const kClearAllStep3[] = {
    "ContentCheck", "datClear", "Domain", "Domap", "SheetNoClient", "BankCompare", "Base", "Catalog", "CatType",
    "Color", "Computer", "Customer", "Depart", "Droit", "DroitList", "Employee", "ExShType", "gdsClass", "gdsCom",
    "Goods", "GoodsIDList", "ImShType", "InvoiceType", "LockInfo", "Member", "Owner", "Parameter", "SettleType",
    "SettMode", "SheetNo", "SheetType", "Shop", "ShopBase", "ShopComputer", "[Size]", "SizeGroup", "Supplier",
    "Region", "SysParaRef", "SysParm", "[System]", "UserBaseLimit", "UserCatalogLimit", "[User]", "UserGroup",
    "UserLimit", "Version"};
const char* const kClearUserStep3[] = {
    "Domain", "Domap", "SheetNoClient", "BankCompare", "Base", "Color", "Computer", "Customer", "Depart", "Droit",
    "Employee", "gdsClass", "gdsCom", "Goods", "GoodsIDList", "LockInfo", "Member", "Owner", "SheetNo", "Shop",
    "ShopBase", "ShopComputer", "[Size]", "SizeGroup", "Supplier", "Region", "UserBaseLimit", "UserCatalogLimit",
    "[User]", "UserGroup", "UserLimit"};
// Tables of step 2 (documents) that ClearUserData keeps.
const std::string_view kKeptByClearUserData[] = {"SelPrice", "SRegistry_MACHINE", "SRegistry_ROOT", "SRegistry_USERS"};

template <std::size_t N>
void Append(Lines* lines, const char* const (&items)[N]) {
  for (const char* s : items) lines->emplace_back(s);
}

std::string ClearSql(bool all) {
  Lines lines = {
      all ? "/*功能: 在5.*升级到6.*时，清除目的库所有数据*/" : "/*功能: 在5.*升级到6.*时，清除目的库所有用户数据*/",
      all ? "/*注意: 此存储过程所清除的数据，包括建库时自动生成的记录*/"
          : "/*注意: 此存储过程所清除的数据，并不包括建库时自动生成的记录*/",
      "/*日期: 2007-01-16*/",
      all ? "CREATE PROCEDURE [ClearAllData] AS" : "CREATE PROCEDURE [ClearUserData] AS",
      "/*由于存在外键约束，故删除时必须注意顺序:*/",
      "/*Step 1: 清除帐簿*/",
  };
  auto del = [&](std::string_view table) { lines.push_back("     DELETE FROM " + std::string(table)); };
  for (const char* t : kClearAllStep1) {
    del(t);
    // ClearUserData also empties the custody book, after CustAccTotal.
    if (!all && std::string_view(t) == "CustAccTotal") del("Custody");
  }
  lines.push_back("/*Step 2: 清除单据*/");
  for (const char* t : kClearAllStep2) {
    bool kept = false;
    for (std::string_view k : kKeptByClearUserData) kept = kept || k == t;
    if (all || !kept) del(t);
  }
  lines.push_back("     ");
  lines.push_back("/*Step 3: 清除档案*/");
  if (all) {
    for (const char* t : kClearAllStep3) del(t);
  } else {
    for (const char* t : kClearUserStep3) del(t);
  }
  return Join(lines);
}

}  // namespace

std::string DropProcedureSql(std::string_view p) {
  const std::string name(p);
  return "if exists (select * from dbo.sysobjects where id = object_id(N'[dbo].[" + name +
         "]') and OBJECTPROPERTY(id, N'IsProcedure') = 1)\r\ndrop procedure [dbo].[" + name + "]";
}

std::string ExecuteProcedureSql(std::string_view p) { return "Execute " + std::string(p); }

std::string WriteCustAccSql(bool full) { return LedgerSql(kCustomerLedger, full); }
std::string WriteSuppAccSql(bool full) { return LedgerSql(kSupplierLedger, full); }

std::string WriteCustodySql(bool full) {
  Lines lines;
  Append(&lines, kCustodyHead);
  lines.emplace_back(full ? "/*日期: 2007-01-10*/" : "/*日期: 2007-01-24*/");
  Append(&lines, kCustodyIntro);
  if (!full) lines.push_back(kRule);
  Append(&lines, kCustodyInsert);
  if (!full) Append(&lines, kCustodyMarkGoods);
  Append(&lines, kCustodyCommit);
  if (!full) lines.push_back(kRule);
  return Join(lines);
}

std::string ClearAllDataSql() { return ClearSql(true); }
std::string ClearUserDataSql() { return ClearSql(false); }

builder::PlanStep DropProcedureStep(std::string_view procedure) {
  return builder::FixedSqlStep("删除存储过程 " + std::string(procedure),
                               [p = std::string(procedure)](const builder::Names&) { return DropProcedureSql(p); });
}

builder::PlanStep CreateProcedureStep(std::string_view procedure, std::function<std::string()> create_text) {
  return builder::FixedSqlStep("创建存储过程 " + std::string(procedure),
                               [text = std::move(create_text)](const builder::Names&) { return text(); });
}

builder::PlanStep ExecuteProcedureStep(std::string_view procedure) {
  return builder::FixedSqlStep("执行存储过程 " + std::string(procedure),
                               [p = std::string(procedure)](const builder::Names&) { return ExecuteProcedureSql(p); });
}

}  // namespace korvel::plans
