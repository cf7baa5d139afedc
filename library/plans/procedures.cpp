#include "library/plans/procedures.h"

#include <vector>

#include "library/interface/postings.h"

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

// The WHERE condition of a posting rule: "(IsUsed <> 0) AND (BalAmo <> 0)
// AND (UnitID <> N'0')".
std::string PostingCondition(const PostingRule& rule) {
  std::string condition;
  for (std::string_view column : rule.not_zero) {
    if (column.empty()) break;
    condition += (condition.empty() ? "(" : " AND (") + std::string(column) + " <> 0)";
  }
  if (!rule.except_column.empty()) {
    condition += " AND (" + std::string(rule.except_column) + " <> N'" + std::string(rule.except_value) + "')";
  }
  return condition;
}

// The posting of a partner ledger, version of 2007-01-23: its comments; what
// it posts is its rule's.
struct Ledger {
  const PostingRule& rule;
  std::string_view purpose;  // line 1
  std::string_view partners_comment;
  std::string_view ledger_comment;
  std::string_view insert_comment;
  std::string_view full_purpose;  // line 1 of the 2007-01-10 version
  std::string_view full_delete_comment;
};

const Ledger kCustomerLedger = {
    kCustomerPosting,
    "/*功能: 在5.6升级到6.0时，导完客户期初后，写客户往来帐*/",
    "/*Customer: 新系统上的客户表*/",
    "/*CustAcc: 新系统上的客户往来帐*/",
    "/*插入客户期初记录(只写使用中的、余额不等于零的非零售客户的往来)*/",
    "/*功能: 在5.6升级到6.0时，导完期初数据后，写客户往来帐*/",
    "/*删除客户保管帐*/",
};

const Ledger kSupplierLedger = {
    kSupplierPosting,
    "/*功能: 在5.6升级到6.0时，导完供货商期初后，写供应商往来帐*/",
    "/*Supplier: 新系统上的供应商表*/",
    "/*SuppAcc: 新系统上的供应商往来帐*/",
    "/*插入供应商期初记录(只写使用中的、余额不等于零的供货商的往来)*/",
    "/*功能: 在5.6升级到6.0时，导完期初数据后，写供应商往来帐*/",
    "/*删除供货商保管帐*/",
};

std::string LedgerSql(const Ledger& l, bool full) {
  const std::string condition = PostingCondition(l.rule);
  const std::string ledger(l.rule.ledger), partners(l.rule.source), amount(l.rule.amount);
  Lines lines = {
      std::string(full ? l.full_purpose : l.purpose),
      full ? "/*日期: 2007-01-10*/" : "/*日期: 2007-01-23*/",
      "CREATE PROCEDURE " + std::string(l.rule.procedure) + " AS ",
      std::string(l.partners_comment),
      std::string(l.ledger_comment),
  };
  if (!full) lines.push_back(kRule);
  lines.insert(lines.end(), {"/*启动事务*/", "BEGIN TRANSACTION"});
  if (full) lines.insert(lines.end(), {std::string(l.full_delete_comment), "Delete From " + ledger});
  lines.insert(lines.end(), {
      std::string(l.insert_comment),
      "INSERT INTO " + ledger,
      "      (Type, UnitID, BuyAmo, PayAmo, " + amount + ", Summary)",
      "SELECT 200 AS Type, UnitID, " + amount + " AS BuyAmo, 0 AS PayAmo, " + amount + ", '期初余额' AS Summary",
      "FROM " + partners,
      "WHERE " + condition,
      "/*更新IsTrans*/",
      "UPDATE " + partners,
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
const char* const kCustodyComments[] = {
    "/*Custody: 新系统上的保管帐*/",
    "/*bBalance: 新系统上的库存帐*/",
};
const char* const kCustodyBegin[] = {
    "/*启动事务*/",
    "BEGIN TRANSACTION",
    "/*插入商品保管帐记录(只写库存余额不等于零的商品保管帐)*/",
};
// Between "INSERT INTO <ledger>" and "FROM <source>".
const char* const kCustodyColumns[] = {
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

// The tables the clearing procedures empty, in deletion order: the
// account books, the documents, then the archives, each table before the
// tables it refers to. ClearUserData keeps the records a new database is
// created with (kAllData); ClearAllData empties every table.
enum Cleared { kUserData, kAllData };
struct ClearedTable {
  int step;
  std::string_view name;  // as the DELETE line writes it
  Cleared by;
};

constexpr ClearedTable kClearedTables[] = {
    {1, "AccDate", kUserData}, {1, "Account", kUserData}, {1, "AccountSheet", kUserData},
    {1, "AccTotal", kUserData}, {1, "bBalance", kUserData}, {1, "CustAcc", kUserData},
    {1, "CustAccTotal", kUserData}, {1, "Custody", kUserData}, {1, "SuppAcc", kUserData},
    {1, "SuppAccTotal", kUserData},
    {2, "AdjustCustItems", kUserData}, {2, "AdjustCustSheet", kUserData}, {2, "AdjustPriceItems", kUserData},
    {2, "AdjustPriceSheet", kUserData}, {2, "comItems", kUserData}, {2, "comSheet", kUserData},
    {2, "CustDelGoodsItems", kUserData}, {2, "CustGoods", kUserData}, {2, "CustSheetDelGoods", kUserData},
    {2, "DocChange", kUserData}, {2, "eoItems", kUserData}, {2, "eoSheet", kUserData},
    {2, "ExInItems", kUserData}, {2, "ExInSheet", kUserData}, {2, "ExInvoiceItems", kUserData},
    {2, "ExInvoiceSheet", kUserData}, {2, "exItems", kUserData}, {2, "Export", kUserData},
    {2, "exSheet", kUserData}, {2, "FIFO", kUserData}, {2, "ImInvoiceItems", kUserData},
    {2, "ImInvoiceSheet", kUserData}, {2, "imItems", kUserData}, {2, "ImportTable", kUserData},
    {2, "imSheet", kUserData}, {2, "InfoDriotSet", kUserData}, {2, "initItems", kUserData},
    {2, "initSheet", kUserData}, {2, "invItems", kUserData}, {2, "invSheet", kUserData},
    {2, "InvTempSheet", kUserData}, {2, "ioItems", kUserData}, {2, "ioSheet", kUserData},
    {2, "ladingItems", kUserData}, {2, "ladingSheet", kUserData}, {2, "loadItems", kUserData},
    {2, "loadSheet", kUserData}, {2, "losItems", kUserData}, {2, "losSheet", kUserData},
    {2, "movItems", kUserData}, {2, "movSheet", kUserData}, {2, "netLogin", kUserData},
    {2, "netSheetAccLog", kUserData}, {2, "netSheetLog", kUserData}, {2, "payGoodsItems", kUserData},
    {2, "payItems", kUserData}, {2, "paySheet", kUserData}, {2, "plItems", kUserData},
    {2, "plSheet", kUserData}, {2, "RecDetailItem", kUserData}, {2, "recItems", kUserData},
    {2, "recSheet", kUserData}, {2, "RetailLogRecItems", kUserData}, {2, "PosLog", kUserData},
    {2, "rpItems", kUserData}, {2, "rpSheet", kUserData}, {2, "saveItems", kUserData},
    {2, "saveSheet", kUserData}, {2, "SelPrice", kAllData}, {2, "sepItems", kUserData},
    {2, "sepSheet", kUserData}, {2, "ShopDiffItems", kUserData}, {2, "ShopDiffSheet", kUserData},
    {2, "ShopIoItems", kUserData}, {2, "ShopIoSheet", kUserData}, {2, "ShopMovItems", kUserData},
    {2, "ShopMovSheet", kUserData}, {2, "ShopRationItems", kUserData}, {2, "ShopRationSheet", kUserData},
    {2, "SRegistry_MACHINE", kAllData}, {2, "SRegistry_ROOT", kAllData}, {2, "SRegistry_USERS", kAllData},
    {2, "SupGoods", kUserData}, {2, "SuppDelGoods", kUserData}, {2, "SuppDelGoodsItems", kUserData},
    {2, "SuppSheetDelGoods", kUserData}, {2, "TempCustoday", kUserData},
    {3, "ContentCheck", kAllData}, {3, "datClear", kAllData}, {3, "Domain", kUserData},
    {3, "Domap", kUserData}, {3, "SheetNoClient", kUserData}, {3, "BankCompare", kUserData},
    {3, "Base", kUserData}, {3, "Catalog", kAllData}, {3, "CatType", kAllData},
    {3, "Color", kUserData}, {3, "Computer", kUserData}, {3, "Customer", kUserData},
    {3, "Depart", kUserData}, {3, "Droit", kUserData}, {3, "DroitList", kAllData},
    {3, "Employee", kUserData}, {3, "ExShType", kAllData}, {3, "gdsClass", kUserData},
    {3, "gdsCom", kUserData}, {3, "Goods", kUserData}, {3, "GoodsIDList", kUserData},
    {3, "ImShType", kAllData}, {3, "InvoiceType", kAllData}, {3, "LockInfo", kUserData},
    {3, "Member", kUserData}, {3, "Owner", kUserData}, {3, "Parameter", kAllData},
    {3, "SettleType", kAllData}, {3, "SettMode", kAllData}, {3, "SheetNo", kUserData},
    {3, "SheetType", kAllData}, {3, "Shop", kUserData}, {3, "ShopBase", kUserData},
    {3, "ShopComputer", kUserData}, {3, "[Size]", kUserData}, {3, "SizeGroup", kUserData},
    {3, "Supplier", kUserData}, {3, "Region", kUserData}, {3, "SysParaRef", kAllData},
    {3, "SysParm", kAllData}, {3, "[System]", kAllData}, {3, "UserBaseLimit", kUserData},
    {3, "UserCatalogLimit", kUserData}, {3, "[User]", kUserData}, {3, "UserGroup", kUserData},
    {3, "UserLimit", kUserData}, {3, "Version", kAllData},
};

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
  };
  const char* const kStepHeads[] = {"/*Step 1: 清除帐簿*/", "/*Step 2: 清除单据*/", "/*Step 3: 清除档案*/"};
  int step = 0;
  for (const ClearedTable& t : kClearedTables) {
    while (step < t.step) {
      if (step == 2) lines.emplace_back("     ");  // between the documents and the archives
      lines.emplace_back(kStepHeads[step++]);
    }
    if (all || t.by == kUserData) lines.push_back("     DELETE FROM " + std::string(t.name));
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
  const PostingRule& rule = kCustodyPosting;
  lines.push_back("CREATE PROCEDURE " + std::string(rule.procedure) + " AS ");
  Append(&lines, kCustodyComments);
  if (!full) lines.push_back(kRule);
  Append(&lines, kCustodyBegin);
  lines.push_back("INSERT INTO " + std::string(rule.ledger));
  Append(&lines, kCustodyColumns);
  lines.push_back("FROM " + std::string(rule.source));
  lines.push_back("WHERE " + PostingCondition(rule));
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
