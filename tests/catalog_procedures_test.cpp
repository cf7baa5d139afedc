// The catalog procedures ODBC drivers call (sp_tables, sp_tableswc, sp_columns,
// sp_pkeys, sp_fkeys, sp_special_columns, sp_statistics,
// sp_stored_procedures, sp_sproc_columns, sp_server_info,
// sp_datatype_info), run on a schema made through the engine. The expected
// rows follow SQL Server's descriptions of the procedures and ODBC's of
// SQLColumns, SQLStatistics and SQLGetTypeInfo, applied to each test's
// own tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/com/error.h"
#include "platform/com/names.h"
#include "platform/com/variant.h"
#include "platform/sqlserver/catalog/catalog.h"
#include "platform/sqlserver/catalog/catalog_procedures.h"
#include "platform/sqlserver/engine.h"
#include "platform/sqlserver/server.h"
#include "platform/sqlserver/storage/sqlite.h"
#include "platform/sqlserver/translation/sqlite_functions.h"
#include "platform/sqlserver/translation/translate.h"
#include "tests/support/files.h"

namespace embedded {
extern const char kCreate60[];
}

namespace {

using com::Variant;
using testing_support::TempDir;

using Named = std::vector<std::pair<std::string, Variant>>;

Variant T(std::string_view s) { return Variant::Text(s); }
Variant I(std::int32_t v) { return Variant::I4(v); }

class CatalogProceduresTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server = sqlsrv::Server::CreateOrOpen(dir.File("srv"), "pw");
    file = server->CreateDatabase("Shop");
    engine = std::make_unique<sqlsrv::Engine>(file, "Shop", "sa", "POS01", sqlsrv::Server::DirectoryOf(server->folder()));
    session.database = "Shop";
    session.login = "sa";
  }

  void Exec(const std::string& sql) { engine->Execute(sql); }

  // The values of a call with these named arguments, the others at their
  // defaults, in the procedure's parameter order.
  static std::vector<Variant> Bind(const sqlsrv::SystemProcedure& proc, const Named& args) {
    std::vector<Variant> values;
    for (const auto& p : proc.parameters) {
      std::optional<Variant> value = p.default_value;
      for (const auto& [name, v] : args) {
        if (com::SameName(name, p.name)) value = v;
      }
      if (!value) ADD_FAILURE() << proc.name << " needs " << p.name;
      values.push_back(value.value_or(Variant::Null()));
    }
    for (const auto& [name, v] : args) {
      bool known = false;
      for (const auto& p : proc.parameters) known = known || com::SameName(name, p.name);
      if (!known) ADD_FAILURE() << proc.name << " has no parameter " << name;
    }
    return values;
  }

  // Runs a procedure as the engine would and returns its one result set.
  sqlsrv::ResultSet Call(std::string_view name, const Named& args = {}) {
    const sqlsrv::SystemProcedure* proc = sqlsrv::FindSystemProcedure(name);
    if (!proc) {
      ADD_FAILURE() << "no system procedure " << name;
      return {};
    }
    sqlsrv::Db db(file, false);
    sqlsrv::FunctionContext functions;
    sqlsrv::RegisterFunctions(db.get(), &functions);
    const auto directory = sqlsrv::Server::DirectoryOf(server->folder());
    sqlsrv::Catalog catalog(db, directory.get());
    sqlsrv::BatchOutput out;
    EXPECT_EQ(proc->run(Bind(*proc, args), catalog, session, &out), 0);
    EXPECT_EQ(out.results.size(), 1u);
    EXPECT_EQ(out.order.size(), 1u);
    if (out.results.size() != 1 || out.order.empty()) return {};
    EXPECT_EQ(out.order[0].kind, sqlsrv::BatchOutput::Outcome::kRows);
    return out.results[0];
  }

  // The error a call raises: "number: message", or "" when none.
  std::string ErrorOf(std::string_view name, const Named& args) {
    try {
      Call(name, args);
      return "";
    } catch (const com::Error& e) {
      return std::to_string(e.number()) + ": " + e.description();
    }
  }

  // The named columns of every row, "|" between values, NULL for NULL.
  static std::vector<std::string> Lines(const sqlsrv::ResultSet& rs, const std::vector<std::string>& columns) {
    std::vector<std::size_t> at;
    for (const auto& c : columns) {
      std::size_t i = 0;
      while (i < rs.columns.size() && rs.columns[i].name != c) ++i;
      if (i == rs.columns.size()) ADD_FAILURE() << "no result column " << c;
      at.push_back(i);
    }
    std::vector<std::string> out;
    for (const auto& row : rs.rows) {
      std::string line;
      for (std::size_t k = 0; k < at.size(); ++k) {
        if (k) line += "|";
        if (at[k] >= row.size()) continue;
        const Variant& v = row[at[k]];
        line += v.IsNull() || v.IsEmpty() ? "NULL" : v.ToText();
      }
      out.push_back(line);
    }
    return out;
  }

  // The result columns as "NAME type": the type as the server writes it.
  static std::vector<std::string> Shape(const sqlsrv::ResultSet& rs) {
    std::vector<std::string> out;
    for (const auto& c : rs.columns) {
      out.push_back(c.name + " " + (c.column ? sqlsrv::TypeDisplayName(*c.column) : std::string("?")));
    }
    return out;
  }

  TempDir dir;
  std::unique_ptr<sqlsrv::Server> server;
  std::string file;
  std::unique_ptr<sqlsrv::Engine> engine;
  sqlsrv::SessionState session;
};

// A shop's tables: keys of one and two columns, a unique key, foreign keys
// to a primary and to a unique key, every type, defaults, an identity.
class ShopCatalogTest : public CatalogProceduresTest {
 protected:
  void SetUp() override {
    CatalogProceduresTest::SetUp();
    Exec(
        "create table Region (RegionID int identity(1,1) not null, Code nvarchar(15) not null, "
        "Name nvarchar(64) null, constraint PK_Region primary key (RegionID), "
        "constraint UQ_Region_Code unique (Code))\n"
        "create table Customer (UnitID nvarchar(15) not null, RegionID int null, "
        "Credit money null default (0), Joined datetime null, Remark ntext null, Flag bit not null default 1, "
        "Rate float null, Small smallint null, Tiny tinyint null, Big bigint null, Label char(4) null, "
        "Note varchar(50) null, constraint PK_Customer primary key (UnitID), "
        "constraint FK_Customer_Region foreign key (RegionID) references Region (RegionID))\n"
        "create table Kinds (R real null, SM smallmoney null, SD smalldatetime null, NC nchar(10) null, "
        "T text null, D decimal(10,2) null, E numeric(7,3) not null)\n"
        "create table Line (SheetID int not null, LineNo smallint not null, GoodsID nvarchar(20) not null, "
        "Qty real null, constraint PK_Line primary key (SheetID, LineNo))\n"
        "create table LineNote (SheetID int not null, LineNo smallint not null, Note nvarchar(100) null, "
        "constraint FK_LineNote_Line foreign key (SheetID, LineNo) references Line (SheetID, LineNo))\n"
        "create table Visit (VisitID int not null primary key, Code nvarchar(15) null, "
        "constraint FK_Visit_Region foreign key (Code) references Region (Code))\n"
        "create table Tag (Code nvarchar(10) null unique, Id int not null unique)\n");
    Exec("create procedure ListRegions as select * from Region");
    Exec("create procedure ListCustomers as select * from Customer");
    Exec("create procedure Purge_Old as delete from LineNote");
  }
};

// ------------------------------------------------------------ finding them

TEST_F(CatalogProceduresTest, FindsEachProcedureUnderTheNamesClientsCallItBy) {
  for (const char* name : {"sp_tables", "sp_tableswc", "sp_columns", "sp_pkeys", "sp_fkeys", "sp_special_columns", "sp_statistics",
                           "sp_stored_procedures", "sp_sproc_columns", "sp_server_info", "sp_datatype_info",
                           "sp_datatype_info_90", "sp_datatype_info_100"}) {
    const sqlsrv::SystemProcedure* p = sqlsrv::FindSystemProcedure(name);
    ASSERT_NE(p, nullptr) << name;
    EXPECT_EQ(p->name, name);
  }
  const sqlsrv::SystemProcedure* columns = sqlsrv::FindSystemProcedure("sp_columns");
  for (const char* name : {"SP_COLUMNS", "sys.sp_columns", "dbo.sp_columns", "master..sp_columns",
                           "master.dbo.sp_columns", "master.sys.sp_columns", "[Shop]..[sp_columns]",
                           "[My]]Shop]..sp_columns", "[dbo].[Sp_Columns]"}) {
    EXPECT_EQ(sqlsrv::FindSystemProcedure(name), columns) << name;
  }
  for (const char* name : {"", "sp_helpfile", "sp_columns_x", "guest.sp_columns", "srv.master.dbo.sp_columns",
                           "master..sp_lock"}) {
    EXPECT_EQ(sqlsrv::FindSystemProcedure(name), nullptr) << name;
  }
}

TEST_F(CatalogProceduresTest, ParametersAreSqlServersInOrderWithTheirDefaults) {
  // Each parameter as "@name type = default", "!" for no default.
  auto declared = [](std::string_view proc) {
    std::vector<std::string> out;
    for (const auto& p : sqlsrv::FindSystemProcedure(proc)->parameters) {
      std::string text = p.name + " " + sqlsrv::TypeDisplayName(p.type) + " = ";
      text += !p.default_value ? "!" : p.default_value->IsNull() ? "NULL" : p.default_value->ToText();
      EXPECT_FALSE(p.output) << p.name;
      out.push_back(text);
    }
    return out;
  };
  using V = std::vector<std::string>;
  EXPECT_EQ(declared("sp_tables"), (V{"@table_name nvarchar(384) = NULL", "@table_owner nvarchar(384) = NULL",
                                      "@table_qualifier nvarchar(128) = NULL", "@table_type varchar(100) = NULL",
                                      "@fUsePattern bit = True"}));
  EXPECT_EQ(declared("sp_tableswc"), declared("sp_tables"));
  EXPECT_EQ(declared("sp_columns"), (V{"@table_name nvarchar(384) = !", "@table_owner nvarchar(384) = NULL",
                                       "@table_qualifier nvarchar(128) = NULL", "@column_name nvarchar(384) = NULL",
                                       "@ODBCVer int = 2"}));
  EXPECT_EQ(declared("sp_pkeys"), (V{"@table_name nvarchar(128) = !", "@table_owner nvarchar(128) = NULL",
                                     "@table_qualifier nvarchar(128) = NULL"}));
  EXPECT_EQ(declared("sp_fkeys"),
            (V{"@pktable_name nvarchar(128) = NULL", "@pktable_owner nvarchar(128) = NULL",
               "@pktable_qualifier nvarchar(128) = NULL", "@fktable_name nvarchar(128) = NULL",
               "@fktable_owner nvarchar(128) = NULL", "@fktable_qualifier nvarchar(128) = NULL"}));
  EXPECT_EQ(declared("sp_special_columns"),
            (V{"@table_name nvarchar(128) = !", "@table_owner nvarchar(128) = NULL", "@qualifier nvarchar(128) = NULL",
               "@col_type char(1) = R", "@scope char(1) = T", "@nullable char(1) = U", "@ODBCVer int = 2"}));
  EXPECT_EQ(declared("sp_statistics"),
            (V{"@table_name nvarchar(128) = !", "@table_owner nvarchar(128) = NULL",
               "@table_qualifier nvarchar(128) = NULL", "@index_name nvarchar(128) = %", "@is_unique char(1) = N",
               "@accuracy char(1) = Q"}));
  EXPECT_EQ(declared("sp_stored_procedures"),
            (V{"@sp_name nvarchar(390) = NULL", "@sp_owner nvarchar(384) = NULL", "@sp_qualifier nvarchar(128) = NULL",
               "@fUsePattern bit = True"}));
  EXPECT_EQ(declared("sp_sproc_columns"),
            (V{"@procedure_name nvarchar(390) = %", "@procedure_owner nvarchar(384) = NULL",
               "@procedure_qualifier nvarchar(128) = NULL", "@column_name nvarchar(384) = NULL", "@ODBCVer int = 2",
               "@fUsePattern bit = True"}));
  EXPECT_EQ(declared("sp_server_info"), (V{"@attribute_id int = NULL"}));
  for (const char* proc : {"sp_datatype_info", "sp_datatype_info_90", "sp_datatype_info_100"}) {
    EXPECT_EQ(declared(proc), (V{"@data_type int = 0", "@ODBCVer tinyint = 2"})) << proc;
  }
}

TEST_F(ShopCatalogTest, ResultColumnsAreSqlServersNamesAndTypes) {
  using V = std::vector<std::string>;
  EXPECT_EQ(Shape(Call("sp_tables")), (V{"TABLE_QUALIFIER nvarchar(128)", "TABLE_OWNER nvarchar(128)",
                                         "TABLE_NAME nvarchar(128)", "TABLE_TYPE varchar(32)",
                                         "REMARKS varchar(254)"}));
  EXPECT_EQ(Shape(Call("sp_columns", {{"@table_name", T("Region")}})),
            (V{"TABLE_QUALIFIER nvarchar(128)", "TABLE_OWNER nvarchar(128)", "TABLE_NAME nvarchar(128)",
               "COLUMN_NAME nvarchar(128)", "DATA_TYPE smallint", "TYPE_NAME nvarchar(128)", "PRECISION int",
               "LENGTH int", "SCALE smallint", "RADIX smallint", "NULLABLE smallint", "REMARKS varchar(254)",
               "COLUMN_DEF nvarchar(4000)", "SQL_DATA_TYPE smallint", "SQL_DATETIME_SUB smallint",
               "CHAR_OCTET_LENGTH int", "ORDINAL_POSITION int", "IS_NULLABLE varchar(254)", "SS_DATA_TYPE tinyint"}));
  EXPECT_EQ(Shape(Call("sp_pkeys", {{"@table_name", T("Line")}})),
            (V{"TABLE_QUALIFIER nvarchar(128)", "TABLE_OWNER nvarchar(128)", "TABLE_NAME nvarchar(128)",
               "COLUMN_NAME nvarchar(128)", "KEY_SEQ smallint", "PK_NAME nvarchar(128)"}));
  EXPECT_EQ(Shape(Call("sp_fkeys", {{"@pktable_name", T("Region")}})),
            (V{"PKTABLE_QUALIFIER nvarchar(128)", "PKTABLE_OWNER nvarchar(128)", "PKTABLE_NAME nvarchar(128)",
               "PKCOLUMN_NAME nvarchar(128)", "FKTABLE_QUALIFIER nvarchar(128)", "FKTABLE_OWNER nvarchar(128)",
               "FKTABLE_NAME nvarchar(128)", "FKCOLUMN_NAME nvarchar(128)", "KEY_SEQ smallint",
               "UPDATE_RULE smallint", "DELETE_RULE smallint", "FK_NAME nvarchar(128)", "PK_NAME nvarchar(128)"}));
  EXPECT_EQ(Shape(Call("sp_special_columns", {{"@table_name", T("Line")}})),
            (V{"SCOPE smallint", "COLUMN_NAME nvarchar(128)", "DATA_TYPE smallint", "TYPE_NAME nvarchar(128)",
               "PRECISION int", "LENGTH int", "SCALE smallint", "PSEUDO_COLUMN smallint"}));
  EXPECT_EQ(Shape(Call("sp_statistics", {{"@table_name", T("Line")}})),
            (V{"TABLE_QUALIFIER nvarchar(128)", "TABLE_OWNER nvarchar(128)", "TABLE_NAME nvarchar(128)",
               "NON_UNIQUE smallint", "INDEX_QUALIFIER nvarchar(128)", "INDEX_NAME nvarchar(128)", "TYPE smallint",
               "SEQ_IN_INDEX smallint", "COLUMN_NAME nvarchar(128)", "COLLATION char(1)", "CARDINALITY int",
               "PAGES int", "FILTER_CONDITION varchar(128)"}));
  EXPECT_EQ(Shape(Call("sp_stored_procedures")),
            (V{"PROCEDURE_QUALIFIER nvarchar(128)", "PROCEDURE_OWNER nvarchar(128)", "PROCEDURE_NAME nvarchar(134)",
               "NUM_INPUT_PARAMS int", "NUM_OUTPUT_PARAMS int", "NUM_RESULT_SETS int", "REMARKS varchar(254)",
               "PROCEDURE_TYPE smallint"}));
  EXPECT_EQ(Shape(Call("sp_sproc_columns")),
            (V{"PROCEDURE_QUALIFIER nvarchar(128)", "PROCEDURE_OWNER nvarchar(128)", "PROCEDURE_NAME nvarchar(134)",
               "COLUMN_NAME nvarchar(128)", "COLUMN_TYPE smallint", "DATA_TYPE smallint", "TYPE_NAME nvarchar(128)",
               "PRECISION int", "LENGTH int", "SCALE smallint", "RADIX smallint", "NULLABLE smallint",
               "REMARKS varchar(254)", "COLUMN_DEF nvarchar(4000)", "SQL_DATA_TYPE smallint",
               "SQL_DATETIME_SUB smallint", "CHAR_OCTET_LENGTH int", "ORDINAL_POSITION int",
               "IS_NULLABLE varchar(254)", "SS_DATA_TYPE tinyint"}));
  EXPECT_EQ(Shape(Call("sp_server_info")),
            (V{"ATTRIBUTE_ID int", "ATTRIBUTE_NAME varchar(60)", "ATTRIBUTE_VALUE varchar(255)"}));
  EXPECT_EQ(Shape(Call("sp_datatype_info")),
            (V{"TYPE_NAME nvarchar(128)", "DATA_TYPE smallint", "PRECISION int", "LITERAL_PREFIX varchar(32)",
               "LITERAL_SUFFIX varchar(32)", "CREATE_PARAMS varchar(32)", "NULLABLE smallint",
               "CASE_SENSITIVE smallint", "SEARCHABLE smallint", "UNSIGNED_ATTRIBUTE smallint", "MONEY smallint",
               "AUTO_INCREMENT smallint", "LOCAL_TYPE_NAME nvarchar(128)", "MINIMUM_SCALE smallint",
               "MAXIMUM_SCALE smallint", "SQL_DATA_TYPE smallint", "SQL_DATETIME_SUB smallint", "NUM_PREC_RADIX int",
               "INTERVAL_PRECISION smallint", "USERTYPE smallint"}));
}

TEST_F(ShopCatalogTest, ValuesCarryTheirColumnsTypes) {
  // A smallint column's values are 2-byte integers, an int column's 4-byte
  // ones, sysname's texts, so that the wire describes each as it is.
  const sqlsrv::ResultSet rs = Call("sp_columns", {{"@table_name", T("Region")}});
  ASSERT_FALSE(rs.rows.empty());
  for (const auto& row : rs.rows) {
    ASSERT_EQ(row.size(), rs.columns.size());
    for (std::size_t i = 0; i < row.size(); ++i) {
      if (row[i].IsNull()) continue;
      const sqlsrv::SqlType type = rs.columns[i].column->type;
      const com::VarType want = type == sqlsrv::SqlType::kSmallInt ? com::VarType::kI2
                                : type == sqlsrv::SqlType::kInt    ? com::VarType::kI4
                                : type == sqlsrv::SqlType::kTinyInt ? com::VarType::kUI1
                                                                    : com::VarType::kText;
      EXPECT_EQ(row[i].type(), want) << rs.columns[i].name;
    }
  }
}

// ------------------------------------------------------------ sp_tables

TEST_F(ShopCatalogTest, TablesListsEveryObjectByTypeOwnerAndName) {
  using V = std::vector<std::string>;
  EXPECT_EQ(Lines(Call("sp_tables"), {"TABLE_QUALIFIER", "TABLE_OWNER", "TABLE_NAME", "TABLE_TYPE", "REMARKS"}),
            (V{"Shop|dbo|syscolumns|SYSTEM TABLE|NULL", "Shop|dbo|syscomments|SYSTEM TABLE|NULL",
               "Shop|dbo|sysindexes|SYSTEM TABLE|NULL", "Shop|dbo|sysobjects|SYSTEM TABLE|NULL",
               "Shop|dbo|systypes|SYSTEM TABLE|NULL", "Shop|dbo|sysusers|SYSTEM TABLE|NULL",
               "Shop|dbo|Customer|TABLE|NULL", "Shop|dbo|Kinds|TABLE|NULL",
               "Shop|dbo|Line|TABLE|NULL", "Shop|dbo|LineNote|TABLE|NULL", "Shop|dbo|Region|TABLE|NULL",
               "Shop|dbo|Tag|TABLE|NULL", "Shop|dbo|Visit|TABLE|NULL",
               "Shop|INFORMATION_SCHEMA|CHECK_CONSTRAINTS|VIEW|NULL", "Shop|INFORMATION_SCHEMA|COLUMNS|VIEW|NULL",
               "Shop|INFORMATION_SCHEMA|KEY_COLUMN_USAGE|VIEW|NULL", "Shop|INFORMATION_SCHEMA|PARAMETERS|VIEW|NULL",
               "Shop|INFORMATION_SCHEMA|REFERENTIAL_CONSTRAINTS|VIEW|NULL",
               "Shop|INFORMATION_SCHEMA|ROUTINES|VIEW|NULL", "Shop|INFORMATION_SCHEMA|SCHEMATA|VIEW|NULL",
               "Shop|INFORMATION_SCHEMA|TABLE_CONSTRAINTS|VIEW|NULL", "Shop|INFORMATION_SCHEMA|TABLES|VIEW|NULL",
               "Shop|INFORMATION_SCHEMA|VIEWS|VIEW|NULL"}));
}

TEST_F(ShopCatalogTest, TablesTakesAQuotedListOfTableTypes) {
  using V = std::vector<std::string>;
  auto names = [&](const char* types) {
    return Lines(Call("sp_tables", {{"@table_type", T(types)}}), {"TABLE_NAME"});
  };
  EXPECT_EQ(names("'TABLE'"), (V{"Customer", "Kinds", "Line", "LineNote", "Region", "Tag", "Visit"}));
  const V system_tables = {"syscolumns", "syscomments", "sysindexes", "sysobjects", "systypes", "sysusers"};
  const V views = {"CHECK_CONSTRAINTS", "COLUMNS",  "KEY_COLUMN_USAGE",  "PARAMETERS", "REFERENTIAL_CONSTRAINTS",
                   "ROUTINES",          "SCHEMATA", "TABLE_CONSTRAINTS", "TABLES",     "VIEWS"};
  EXPECT_EQ(names("'SYSTEM TABLE'"), system_tables);
  EXPECT_EQ(names("'VIEW'"), views);
  V both = system_tables;
  both.insert(both.end(), views.begin(), views.end());
  EXPECT_EQ(names("'SYSTEM TABLE','VIEW'"), both);
  EXPECT_EQ(names("'TABLE', 'SYSTEM TABLE'").size(), 13u);  // blanks after the comma
  EXPECT_EQ(names("\"VIEW\"").size(), 10u);                 // double quotes, as under QUOTED_IDENTIFIER
  EXPECT_EQ(names("'SYNONYM'"), V{});
}

TEST_F(ShopCatalogTest, TablesMatchesNamesAndOwnersAsLikeDoes) {
  using V = std::vector<std::string>;
  auto names = [&](Named args) {
    args.push_back({"@table_type", T("'TABLE'")});
    return Lines(Call("sp_tables", args), {"TABLE_NAME"});
  };
  EXPECT_EQ(names({{"@table_name", T("Cust%")}}), V{"Customer"});
  EXPECT_EQ(names({{"@table_name", T("cUSTOMER")}}), V{"Customer"});  // the server collation ignores case
  EXPECT_EQ(names({{"@table_name", T("L_ne%")}}), (V{"Line", "LineNote"}));
  EXPECT_EQ(names({{"@table_name", T("%Note")}}), V{"LineNote"});
  EXPECT_EQ(names({{"@table_name", T("[CR]%")}}), (V{"Customer", "Region"}));
  EXPECT_EQ(names({{"@table_name", T("[a-d]%")}}), V{"Customer"});
  EXPECT_EQ(names({{"@table_name", T("[^CKLRT]%")}}), V{"Visit"});
  EXPECT_EQ(names({{"@table_name", T("%")}, {"@table_owner", T("dbo")}}).size(), 7u);
  EXPECT_EQ(names({{"@table_owner", T("INFORMATION_SCHEMA")}}), V{});
  EXPECT_EQ(names({{"@table_name", T("")}}), V{});  // an empty pattern matches only an empty name
  // Without patterns, the name is taken whole.
  EXPECT_EQ(names({{"@table_name", T("L_ne%")}, {"@fUsePattern", Variant::Bool(false)}}), V{});
  EXPECT_EQ(names({{"@table_name", T("line")}, {"@fUsePattern", Variant::Bool(false)}}), V{"Line"});
  // The qualifier is the database's name, any case.
  EXPECT_EQ(names({{"@table_name", T("Line")}, {"@table_qualifier", T("SHOP")}}), V{"Line"});
}

TEST_F(ShopCatalogTest, TablesWithACatalogPatternListsEveryDatabaseItMatches) {
  using V = std::vector<std::string>;
  const std::string other = server->CreateDatabase("Shop2");
  sqlsrv::Engine(other, "Shop2", "sa").Execute("create table Ledger (id int)\ncreate table Line (id int)");
  server->CreateDatabase("Store");
  auto listed = [&](Named args) {
    args.push_back({"@table_type", T("'TABLE'")});
    return Lines(Call("sp_tableswc", args), {"TABLE_QUALIFIER", "TABLE_OWNER", "TABLE_NAME", "TABLE_TYPE"});
  };
  // Each database's tables named by their database; by type, database,
  // owner and name.
  EXPECT_EQ(listed({{"@table_name", T("L%")}, {"@table_qualifier", T("Shop%")}}),
            (V{"Shop|dbo|Line|TABLE", "Shop|dbo|LineNote|TABLE", "Shop2|dbo|Ledger|TABLE", "Shop2|dbo|Line|TABLE"}));
  EXPECT_EQ(listed({{"@table_name", T("L%")}}), listed({{"@table_name", T("L%")}, {"@table_qualifier", T("%")}}));
  EXPECT_EQ(listed({{"@table_name", T("Line")}, {"@table_qualifier", T("shop_")}}), V{"Shop2|dbo|Line|TABLE"});
  EXPECT_EQ(listed({{"@table_name", T("L%")}, {"@table_qualifier", T("Store")}}), V{});
  // Without patterns the table name is taken whole; the database's is a
  // pattern still.
  EXPECT_EQ(listed({{"@table_name", T("L_ne")}, {"@table_qualifier", T("Shop%")}, {"@fUsePattern", Variant::Bool(false)}}),
            V{});
  EXPECT_EQ(listed({{"@table_name", T("line")}, {"@table_qualifier", T("Shop%")}, {"@fUsePattern", Variant::Bool(false)}}),
            (V{"Shop|dbo|Line|TABLE", "Shop2|dbo|Line|TABLE"}));
  // The views of each database, its INFORMATION_SCHEMA views among them.
  const auto views = Lines(Call("sp_tableswc", {{"@table_name", T("TABLES")}, {"@table_type", T("'VIEW'")}}),
                           {"TABLE_QUALIFIER", "TABLE_OWNER", "TABLE_NAME"});
  EXPECT_NE(std::find(views.begin(), views.end(), "Shop2|INFORMATION_SCHEMA|TABLES"), views.end());
  EXPECT_NE(std::find(views.begin(), views.end(), "Shop|INFORMATION_SCHEMA|TABLES"), views.end());
}

TEST_F(ShopCatalogTest, TablesAnswersOdbcsListsOfDatabasesOwnersAndTypes) {
  using V = std::vector<std::string>;
  const std::vector<std::string> all = {"TABLE_QUALIFIER", "TABLE_OWNER", "TABLE_NAME", "TABLE_TYPE"};
  EXPECT_EQ(Lines(Call("sp_tables", {{"@table_name", T("")}, {"@table_owner", T("")}, {"@table_qualifier", T("%")}}),
                  all),
            V{"Shop|NULL|NULL|NULL"});
  EXPECT_EQ(Lines(Call("sp_tables", {{"@table_name", T("")}, {"@table_owner", T("%")}}), all),
            (V{"NULL|dbo|NULL|NULL", "NULL|INFORMATION_SCHEMA|NULL|NULL"}));
  EXPECT_EQ(
      Lines(Call("sp_tables", {{"@table_name", T("")}, {"@table_owner", T("")}, {"@table_type", T("%")}}), all),
      (V{"NULL|NULL|NULL|SYSTEM TABLE", "NULL|NULL|NULL|TABLE", "NULL|NULL|NULL|VIEW"}));
}

TEST_F(CatalogProceduresTest, PatternsReadWildcardsEscapesAndHostileTextSafely) {
  Exec("create table [a_b] (x int) create table [aXb] (x int) create table [a%b] (x int) create table [ab] (x int) "
       "create table [a[b] (x int) create table [odd]]name] (x int) create table [it's] (x int) "
       "create table [客户] (x int) create table Region (RegionID int not null primary key)");
  using V = std::vector<std::string>;
  auto names = [&](const std::string& pattern, bool wildcards = true) {
    return Lines(Call("sp_tables", {{"@table_name", T(pattern)},
                                    {"@table_type", T("'TABLE'")},
                                    {"@fUsePattern", Variant::Bool(wildcards)}}),
                 {"TABLE_NAME"});
  };
  EXPECT_EQ(names("a_b"), (V{"a%b", "a[b", "a_b", "aXb"}));
  EXPECT_EQ(names("a\\_b"), V{"a_b"});   // a backslash makes a wildcard literal
  EXPECT_EQ(names("a[_]b"), V{"a_b"});   // as does a set of one
  EXPECT_EQ(names("a\\%b"), V{"a%b"});
  EXPECT_EQ(names("a[%]b"), V{"a%b"});
  EXPECT_EQ(names("a[[]b"), V{"a[b"});   // FreeTDS writes a literal [ so
  EXPECT_EQ(names("a\\[b"), V{"a[b"});
  EXPECT_EQ(names("a[b"), V{});          // an unclosed set matches nothing
  EXPECT_EQ(names("a_b", false), V{"a_b"});
  EXPECT_EQ(names("a%b", false), V{"a%b"});
  EXPECT_EQ(names("a\\_b", false), V{});  // without patterns a backslash is itself
  EXPECT_EQ(names("odd]name"), V{"odd]name"});
  EXPECT_EQ(names("it's"), V{"it's"});
  EXPECT_EQ(names("客_"), V{"客户"});     // _ is one character, not one byte
  EXPECT_EQ(names("__"), (V{"ab", "客户"}));
  // Text that would end a quoted literal in generated SQL is only a name.
  EXPECT_EQ(names("%'; drop table Region --"), V{});
  EXPECT_EQ(names("Region"), V{"Region"});
  // A pattern far past its parameter's 384 characters is cut, and many
  // wildcards cost no more than the characters they are.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(names(std::string(1000000, '%') + "x"),
            (V{"a%b", "a[b", "a_b", "ab", "aXb", "it's", "odd]name", "Region", "客户"}));
  std::string alternating;
  for (int i = 0; i < 200; ++i) alternating += "%a";
  EXPECT_EQ(names(alternating + "%z"), V{});
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

// ------------------------------------------------------------ sp_columns

TEST_F(ShopCatalogTest, ColumnsDescribesEachTypeAsOdbcDoes) {
  using V = std::vector<std::string>;
  const std::vector<std::string> figures = {"COLUMN_NAME", "DATA_TYPE",     "TYPE_NAME",     "PRECISION",
                                            "LENGTH",      "SCALE",         "RADIX",         "NULLABLE",
                                            "SQL_DATA_TYPE", "SQL_DATETIME_SUB", "CHAR_OCTET_LENGTH",
                                            "ORDINAL_POSITION", "IS_NULLABLE"};
  EXPECT_EQ(Lines(Call("sp_columns", {{"@table_name", T("Customer")}}), figures),
            (V{"UnitID|-9|nvarchar|15|30|NULL|NULL|0|-9|NULL|30|1|NO",
               "RegionID|4|int|10|4|0|10|1|4|NULL|NULL|2|YES",
               "Credit|3|money|19|21|4|10|1|3|NULL|NULL|3|YES",
               "Joined|11|datetime|23|16|3|NULL|1|9|3|NULL|4|YES",
               "Remark|-10|ntext|1073741823|2147483646|NULL|NULL|1|-10|NULL|2147483646|5|YES",
               "Flag|-7|bit|1|1|NULL|NULL|0|-7|NULL|NULL|6|NO",
               "Rate|6|float|15|8|NULL|10|1|6|NULL|NULL|7|YES",
               "Small|5|smallint|5|2|0|10|1|5|NULL|NULL|8|YES",
               "Tiny|-6|tinyint|3|1|0|10|1|-6|NULL|NULL|9|YES",
               "Big|-5|bigint|19|8|0|10|1|-5|NULL|NULL|10|YES",
               "Label|1|char|4|4|NULL|NULL|1|1|NULL|4|11|YES",
               "Note|12|varchar|50|50|NULL|NULL|1|12|NULL|50|12|YES"}));
  EXPECT_EQ(Lines(Call("sp_columns", {{"@table_name", T("Kinds")}}), figures),
            (V{"R|7|real|7|4|NULL|10|1|7|NULL|NULL|1|YES",
               "SM|3|smallmoney|10|12|4|10|1|3|NULL|NULL|2|YES",
               "SD|11|smalldatetime|16|16|0|NULL|1|9|3|NULL|3|YES",
               "NC|-8|nchar|10|20|NULL|NULL|1|-8|NULL|20|4|YES",
               "T|-1|text|2147483647|2147483647|NULL|NULL|1|-1|NULL|2147483647|5|YES",
               "D|3|decimal|10|12|2|10|1|3|NULL|NULL|6|YES",
               "E|2|numeric|7|9|3|10|0|2|NULL|NULL|7|NO"}));
  // A decimal's own precision and scale; numeric keeps its name and its
  // type codes (SQL_NUMERIC, and systypes' numeric for a NOT NULL column).
  EXPECT_EQ(Lines(Call("sp_columns", {{"@table_name", T("Kinds")}, {"@column_name", T("[DE]")}}),
                  {"COLUMN_NAME", "SS_DATA_TYPE"}),
            (V{"D|106", "E|63"}));
}

TEST_F(ShopCatalogTest, ColumnsNamesTheIdentityTheDefaultsAndTheTable) {
  using V = std::vector<std::string>;
  EXPECT_EQ(Lines(Call("sp_columns", {{"@table_name", T("Region")}}),
                  {"TABLE_QUALIFIER", "TABLE_OWNER", "TABLE_NAME", "COLUMN_NAME", "TYPE_NAME", "NULLABLE",
                   "REMARKS", "COLUMN_DEF"}),
            (V{"Shop|dbo|Region|RegionID|int identity|0|NULL|NULL", "Shop|dbo|Region|Code|nvarchar|0|NULL|NULL",
               "Shop|dbo|Region|Name|nvarchar|1|NULL|NULL"}));
  EXPECT_EQ(Lines(Call("sp_columns", {{"@table_name", T("Customer")}, {"@column_name", T("%e%")}}),
                  {"COLUMN_NAME", "COLUMN_DEF"}),
            (V{"RegionID|NULL", "Credit|(0)", "Joined|NULL", "Remark|NULL", "Rate|NULL", "Label|NULL",
               "Note|NULL"}));
  EXPECT_EQ(Lines(Call("sp_columns", {{"@table_name", T("Customer")}, {"@column_name", T("Flag")}}),
                  {"COLUMN_NAME", "COLUMN_DEF"}),
            V{"Flag|(1)"});
}

TEST_F(ShopCatalogTest, ColumnsOrdersByTableThenPosition) {
  using V = std::vector<std::string>;
  EXPECT_EQ(Lines(Call("sp_columns", {{"@table_name", T("Line%")}}), {"TABLE_NAME", "COLUMN_NAME"}),
            (V{"Line|SheetID", "Line|LineNo", "Line|GoodsID", "Line|Qty", "LineNote|SheetID", "LineNote|LineNo",
               "LineNote|Note"}));
  // The system table and the views have their columns too.
  EXPECT_EQ(Lines(Call("sp_columns", {{"@table_name", T("sysobjects")}, {"@column_name", T("id")}}),
                  {"TABLE_OWNER", "COLUMN_NAME", "TYPE_NAME", "NULLABLE"}),
            V{"dbo|id|int|0"});
  EXPECT_EQ(Lines(Call("sp_columns", {{"@table_name", T("TABLE_CONSTRAINTS")},
                                      {"@table_owner", T("INFORMATION_SCHEMA")},
                                      {"@column_name", T("CONSTRAINT_TYPE")}}),
                  {"TABLE_OWNER", "COLUMN_NAME", "TYPE_NAME", "PRECISION"}),
            V{"INFORMATION_SCHEMA|CONSTRAINT_TYPE|varchar|11"});
  EXPECT_EQ(Lines(Call("sp_columns", {{"@table_name", T("Line")}, {"@table_owner", T("INFORMATION_SCHEMA")}}),
                  {"COLUMN_NAME"}),
            V{});
  EXPECT_EQ(Call("sp_columns", {{"@table_name", T("NoSuchTable")}}).rows.size(), 0u);
  EXPECT_EQ(Call("sp_columns", {{"@table_name", Variant::Null()}}).rows.size(), 0u);
}

TEST_F(ShopCatalogTest, OdbcVersionThreeGivesDatetimeItsOdbcThreeTypeCode) {
  using V = std::vector<std::string>;
  const std::vector<std::string> figures = {"COLUMN_NAME", "DATA_TYPE", "SQL_DATA_TYPE", "SQL_DATETIME_SUB"};
  EXPECT_EQ(Lines(Call("sp_columns", {{"@table_name", T("Customer")}, {"@column_name", T("Joined")},
                                      {"@ODBCVer", I(2)}}),
                  figures),
            V{"Joined|11|9|3"});
  EXPECT_EQ(Lines(Call("sp_columns", {{"@table_name", T("Customer")}, {"@column_name", T("Joined")},
                                      {"@ODBCVer", I(3)}}),
                  figures),
            V{"Joined|93|9|3"});
  EXPECT_EQ(Lines(Call("sp_columns", {{"@table_name", T("Kinds")}, {"@column_name", T("SD")}, {"@ODBCVer", I(3)}}),
                  figures),
            V{"SD|93|9|3"});
  // Other types keep their codes; the column names stay ODBC 2's.
  const sqlsrv::ResultSet three = Call("sp_columns", {{"@table_name", T("Region")}, {"@ODBCVer", I(3)}});
  EXPECT_EQ(Lines(three, {"COLUMN_NAME", "DATA_TYPE"}), (V{"RegionID|4", "Code|-9", "Name|-9"}));
  EXPECT_EQ(three.columns[0].name, "TABLE_QUALIFIER");
  EXPECT_EQ(three.columns[6].name, "PRECISION");
  // sp_special_columns reads the same version.
  Exec("create table Stamp (At datetime not null primary key)");
  EXPECT_EQ(Lines(Call("sp_special_columns", {{"@table_name", T("Stamp")}, {"@ODBCVer", I(3)}}),
                  {"COLUMN_NAME", "DATA_TYPE"}),
            V{"At|93"});
  EXPECT_EQ(Lines(Call("sp_special_columns", {{"@table_name", T("Stamp")}}), {"COLUMN_NAME", "DATA_TYPE"}),
            V{"At|11"});
}

TEST_F(ShopCatalogTest, QualifiersNamingAnotherDatabaseRaise15250) {
  const std::string message =
      "15250: The database name component of the object qualifier must be the name of the current database.";
  EXPECT_EQ(ErrorOf("sp_tables", {{"@table_qualifier", T("master")}}), message);
  EXPECT_EQ(ErrorOf("sp_columns", {{"@table_name", T("Line")}, {"@table_qualifier", T("Other")}}), message);
  EXPECT_EQ(ErrorOf("sp_pkeys", {{"@table_name", T("Line")}, {"@table_qualifier", T("Other")}}), message);
  EXPECT_EQ(ErrorOf("sp_fkeys", {{"@fktable_name", T("Line")}, {"@fktable_qualifier", T("Other")}}), message);
  EXPECT_EQ(ErrorOf("sp_fkeys", {{"@pktable_name", T("Line")}, {"@pktable_qualifier", T("Other")}}), message);
  EXPECT_EQ(ErrorOf("sp_special_columns", {{"@table_name", T("Line")}, {"@qualifier", T("Other")}}), message);
  EXPECT_EQ(ErrorOf("sp_statistics", {{"@table_name", T("Line")}, {"@table_qualifier", T("Other")}}), message);
  EXPECT_EQ(ErrorOf("sp_stored_procedures", {{"@sp_qualifier", T("Other")}}), message);
  EXPECT_EQ(ErrorOf("sp_sproc_columns", {{"@procedure_qualifier", T("Other")}}), message);
  EXPECT_EQ(ErrorOf("sp_pkeys", {{"@table_name", T("Line")}, {"@table_qualifier", T("shop")}}), "");
}

// ------------------------------------------------------------ keys

TEST_F(ShopCatalogTest, PkeysListsThePrimaryKeyInKeyOrder) {
  using V = std::vector<std::string>;
  const std::vector<std::string> all = {"TABLE_QUALIFIER", "TABLE_OWNER", "TABLE_NAME", "COLUMN_NAME", "KEY_SEQ",
                                        "PK_NAME"};
  EXPECT_EQ(Lines(Call("sp_pkeys", {{"@table_name", T("Line")}}), all),
            (V{"Shop|dbo|Line|SheetID|1|PK_Line", "Shop|dbo|Line|LineNo|2|PK_Line"}));
  EXPECT_EQ(Lines(Call("sp_pkeys", {{"@table_name", T("region")}, {"@table_owner", T("dbo")}}), all),
            V{"Shop|dbo|Region|RegionID|1|PK_Region"});
  EXPECT_EQ(Call("sp_pkeys", {{"@table_name", T("Tag")}}).rows.size(), 0u);   // unique keys only
  EXPECT_EQ(Call("sp_pkeys", {{"@table_name", T("Lin%")}}).rows.size(), 0u);  // no patterns
  EXPECT_EQ(Call("sp_pkeys", {{"@table_name", T("Line")}, {"@table_owner", T("guest")}}).rows.size(), 0u);
  EXPECT_EQ(Call("sp_pkeys", {{"@table_name", T("NoSuchTable")}}).rows.size(), 0u);
}

TEST_F(ShopCatalogTest, FkeysFindsKeysFromEitherEnd) {
  using V = std::vector<std::string>;
  const std::vector<std::string> all = {"PKTABLE_QUALIFIER", "PKTABLE_OWNER", "PKTABLE_NAME", "PKCOLUMN_NAME",
                                        "FKTABLE_QUALIFIER", "FKTABLE_OWNER", "FKTABLE_NAME", "FKCOLUMN_NAME",
                                        "KEY_SEQ", "UPDATE_RULE", "DELETE_RULE", "FK_NAME", "PK_NAME"};
  // From the referenced table: every table whose keys refer to it, by
  // referencing table (Agent, made last, first); PK_NAME the key referred
  // to, primary or unique.
  Exec("create table Agent (AgentID int not null, RegionID int null, "
       "constraint FK_Agent_Region foreign key (RegionID) references Region (RegionID))");
  EXPECT_EQ(Lines(Call("sp_fkeys", {{"@pktable_name", T("Region")}}), all),
            (V{"Shop|dbo|Region|RegionID|Shop|dbo|Agent|RegionID|1|1|1|FK_Agent_Region|PK_Region",
               "Shop|dbo|Region|RegionID|Shop|dbo|Customer|RegionID|1|1|1|FK_Customer_Region|PK_Region",
               "Shop|dbo|Region|Code|Shop|dbo|Visit|Code|1|1|1|FK_Visit_Region|UQ_Region_Code"}));
  // From the referencing table: its keys, column by column.
  EXPECT_EQ(Lines(Call("sp_fkeys", {{"@fktable_name", T("LineNote")}}), all),
            (V{"Shop|dbo|Line|SheetID|Shop|dbo|LineNote|SheetID|1|1|1|FK_LineNote_Line|PK_Line",
               "Shop|dbo|Line|LineNo|Shop|dbo|LineNote|LineNo|2|1|1|FK_LineNote_Line|PK_Line"}));
  // Both: only keys between the two.
  EXPECT_EQ(Lines(Call("sp_fkeys", {{"@pktable_name", T("region")}, {"@fktable_name", T("visit")}}),
                  {"PKTABLE_NAME", "FKTABLE_NAME", "FK_NAME"}),
            V{"Region|Visit|FK_Visit_Region"});
  EXPECT_EQ(Call("sp_fkeys", {{"@pktable_name", T("Line")}, {"@fktable_name", T("Customer")}}).rows.size(), 0u);
  EXPECT_EQ(Call("sp_fkeys", {{"@pktable_name", T("Reg%")}}).rows.size(), 0u);  // no patterns
  EXPECT_EQ(Call("sp_fkeys", {{"@pktable_name", T("Region")}, {"@pktable_owner", T("guest")}}).rows.size(), 0u);
  EXPECT_EQ(Call("sp_fkeys", {{"@fktable_name", T("Region")}}).rows.size(), 0u);
  EXPECT_EQ(ErrorOf("sp_fkeys", {}), "15252: The primary or foreign key table name must be given.");
  EXPECT_EQ(ErrorOf("sp_fkeys", {{"@pktable_owner", T("dbo")}}),
            "15252: The primary or foreign key table name must be given.");
}

TEST_F(ShopCatalogTest, SpecialColumnsGivesTheKeyThatBestIdentifiesARow) {
  using V = std::vector<std::string>;
  const std::vector<std::string> all = {"SCOPE", "COLUMN_NAME", "DATA_TYPE", "TYPE_NAME", "PRECISION", "LENGTH",
                                        "SCALE", "PSEUDO_COLUMN"};
  EXPECT_EQ(Lines(Call("sp_special_columns", {{"@table_name", T("Line")}}), all),
            (V{"0|SheetID|4|int|10|4|0|1", "0|LineNo|5|smallint|5|2|0|1"}));
  // The primary key, not the unique key beside it, even one declared
  // before it with fewer columns.
  EXPECT_EQ(Lines(Call("sp_special_columns", {{"@table_name", T("Region")}}), all),
            V{"0|RegionID|4|int identity|10|4|0|1"});
  Exec("create table Batch (Code nvarchar(10) not null unique, A int not null, B int not null, "
       "constraint PK_Batch primary key (A, B))");
  EXPECT_EQ(Lines(Call("sp_special_columns", {{"@table_name", T("Batch")}}), {"COLUMN_NAME"}), (V{"A", "B"}));
  // Without a primary key, a unique key; @nullable O passes over one with
  // a nullable column.
  EXPECT_EQ(Lines(Call("sp_special_columns", {{"@table_name", T("Tag")}}), {"COLUMN_NAME"}), V{"Code"});
  EXPECT_EQ(Lines(Call("sp_special_columns", {{"@table_name", T("Tag")}, {"@nullable", T("O")}}), {"COLUMN_NAME"}),
            V{"Id"});
  EXPECT_EQ(Call("sp_special_columns", {{"@table_name", T("Kinds")}}).rows.size(), 0u);
  // A unique index CREATE INDEX made names a row as a unique key does.
  Exec("create table Indexed (Code nvarchar(10) not null, Other int null)");
  EXPECT_EQ(Call("sp_special_columns", {{"@table_name", T("Indexed")}}).rows.size(), 0u);
  Exec("create unique index IX_Indexed on Indexed (Code)");
  EXPECT_EQ(Lines(Call("sp_special_columns", {{"@table_name", T("Indexed")}}), {"COLUMN_NAME"}), V{"Code"});
  // The column that changes by itself when its row does: a timestamp,
  // without a scope; none in a table without one.
  EXPECT_EQ(Call("sp_special_columns", {{"@table_name", T("Line")}, {"@col_type", T("V")}}).rows.size(), 0u);
  Exec("create table Versioned (Id int primary key, Stamp timestamp)");
  EXPECT_EQ(Lines(Call("sp_special_columns", {{"@table_name", T("Versioned")}, {"@col_type", T("V")}}),
                  {"SCOPE", "COLUMN_NAME", "TYPE_NAME"}),
            V{"NULL|Stamp|timestamp"});
  EXPECT_EQ(Call("sp_special_columns", {{"@table_name", T("Line")}, {"@col_type", T("r")}, {"@scope", T("c")}})
                .rows.size(),
            2u);
  EXPECT_EQ(ErrorOf("sp_special_columns", {{"@table_name", T("Line")}, {"@col_type", T("X")}}),
            "15251: Invalid 'col_type' specified. It must be 'R' or 'V'.");
  EXPECT_EQ(ErrorOf("sp_special_columns", {{"@table_name", T("Line")}, {"@scope", T("Z")}}),
            "15251: Invalid 'scope' specified. It must be 'C' or 'T'.");
  EXPECT_EQ(ErrorOf("sp_special_columns", {{"@table_name", T("Line")}, {"@nullable", T("")}}),
            "15251: Invalid 'nullable' specified. It must be 'O' or 'U'.");
}

TEST_F(ShopCatalogTest, StatisticsListsTheTableThenItsUniqueIndexes) {
  Exec("insert into Region (Code, Name) values (N'N', N'North') insert into Region (Code, Name) values (N'S', N'South')");
  using V = std::vector<std::string>;
  const std::vector<std::string> all = {"TABLE_QUALIFIER", "TABLE_OWNER", "TABLE_NAME", "NON_UNIQUE",
                                        "INDEX_QUALIFIER", "INDEX_NAME",  "TYPE",       "SEQ_IN_INDEX",
                                        "COLUMN_NAME",     "COLLATION",   "CARDINALITY", "FILTER_CONDITION"};
  // The table's row first (TYPE 0, its row count), then the indexes by
  // NON_UNIQUE, TYPE (the primary key clustered, a unique key not), name.
  EXPECT_EQ(Lines(Call("sp_statistics", {{"@table_name", T("Region")}}), all),
            (V{"Shop|dbo|Region|NULL|NULL|NULL|0|NULL|NULL|NULL|2|NULL",
               "Shop|dbo|Region|0|Region|PK_Region|1|1|RegionID|A|2|NULL",
               "Shop|dbo|Region|0|Region|UQ_Region_Code|3|1|Code|A|2|NULL"}));
  EXPECT_EQ(Lines(Call("sp_statistics", {{"@table_name", T("Line")}}), {"INDEX_NAME", "SEQ_IN_INDEX", "COLUMN_NAME",
                                                                        "CARDINALITY"}),
            (V{"NULL|NULL|NULL|0", "PK_Line|1|SheetID|0", "PK_Line|2|LineNo|0"}));
  EXPECT_EQ(Lines(Call("sp_statistics", {{"@table_name", T("Region")}, {"@index_name", T("UQ%")},
                                         {"@is_unique", T("Y")}, {"@accuracy", T("E")}}),
                  {"INDEX_NAME"}),
            (V{"NULL", "UQ_Region_Code"}));
  EXPECT_EQ(Lines(Call("sp_statistics", {{"@table_name", T("Kinds")}}), {"TYPE", "INDEX_NAME"}), V{"0|NULL"});
  EXPECT_EQ(Call("sp_statistics", {{"@table_name", T("NoSuchTable")}}).rows.size(), 0u);
  EXPECT_EQ(ErrorOf("sp_statistics", {{"@table_name", T("Region")}, {"@is_unique", T("Q")}}),
            "15251: Invalid 'is_unique' specified. It must be 'Y' or 'N'.");
  EXPECT_EQ(ErrorOf("sp_statistics", {{"@table_name", T("Region")}, {"@accuracy", T("X")}}),
            "15251: Invalid 'accuracy' specified. It must be 'Q' or 'E'.");
  // A char(1) argument keeps its first character, as SQL Server cuts it.
  EXPECT_EQ(ErrorOf("sp_statistics", {{"@table_name", T("Region")}, {"@accuracy", T("EX")}}), "");
}

// ------------------------------------------------------------ procedures

TEST_F(ShopCatalogTest, StoredProceduresListsTheDatabasesProceduresByName) {
  using V = std::vector<std::string>;
  const std::vector<std::string> all = {"PROCEDURE_QUALIFIER", "PROCEDURE_OWNER", "PROCEDURE_NAME",
                                        "NUM_INPUT_PARAMS",    "NUM_OUTPUT_PARAMS", "NUM_RESULT_SETS",
                                        "REMARKS",             "PROCEDURE_TYPE"};
  EXPECT_EQ(Lines(Call("sp_stored_procedures"), all),
            (V{"Shop|dbo|ListCustomers;1|-1|-1|-1|NULL|2", "Shop|dbo|ListRegions;1|-1|-1|-1|NULL|2",
               "Shop|dbo|Purge_Old;1|-1|-1|-1|NULL|2"}));
  auto names = [&](const Named& args) { return Lines(Call("sp_stored_procedures", args), {"PROCEDURE_NAME"}); };
  EXPECT_EQ(names({{"@sp_name", T("list%")}}), (V{"ListCustomers;1", "ListRegions;1"}));
  EXPECT_EQ(names({{"@sp_name", T("Purge\\_Old")}, {"@sp_owner", T("dbo")}}), V{"Purge_Old;1"});
  EXPECT_EQ(names({{"@sp_name", T("List%")}, {"@fUsePattern", Variant::Bool(false)}}), V{});
  EXPECT_EQ(names({{"@sp_owner", T("guest")}}), V{});
  EXPECT_EQ(names({{"@sp_name", T("ListRegions")}, {"@sp_qualifier", T("Shop")}}), V{"ListRegions;1"});
}

TEST_F(ShopCatalogTest, SprocColumnsGivesEachProceduresReturnStatus) {
  using V = std::vector<std::string>;
  EXPECT_EQ(Lines(Call("sp_sproc_columns", {{"@procedure_name", T("ListRegions")}}),
                  {"PROCEDURE_QUALIFIER", "PROCEDURE_OWNER", "PROCEDURE_NAME", "COLUMN_NAME", "COLUMN_TYPE",
                   "DATA_TYPE", "TYPE_NAME", "PRECISION", "LENGTH", "SCALE", "RADIX", "NULLABLE", "COLUMN_DEF",
                   "SQL_DATA_TYPE", "ORDINAL_POSITION", "IS_NULLABLE"}),
            V{"Shop|dbo|ListRegions;1|@RETURN_VALUE|5|4|int|10|4|0|10|0|NULL|4|0|NO"});
  EXPECT_EQ(Lines(Call("sp_sproc_columns"), {"PROCEDURE_NAME", "COLUMN_NAME"}),
            (V{"ListCustomers;1|@RETURN_VALUE", "ListRegions;1|@RETURN_VALUE", "Purge_Old;1|@RETURN_VALUE"}));
  EXPECT_EQ(Call("sp_sproc_columns", {{"@column_name", T("@p%")}}).rows.size(), 0u);
  EXPECT_EQ(Call("sp_sproc_columns", {{"@procedure_name", T("Purge_Old")}, {"@fUsePattern", Variant::Bool(false)}})
                .rows.size(),
            1u);
  EXPECT_EQ(Call("sp_sproc_columns", {{"@procedure_name", T("NoSuchProc")}}).rows.size(), 0u);
}

// ------------------------------------------------------------ server and types

TEST_F(CatalogProceduresTest, ServerInfoAnswersTheAttributesOdbcReadsAtConnection) {
  using V = std::vector<std::string>;
  const sqlsrv::ResultSet all = Call("sp_server_info");
  std::vector<std::string> ids = Lines(all, {"ATTRIBUTE_ID", "ATTRIBUTE_NAME"});
  for (const char* wanted : {"1|DBMS_NAME", "2|DBMS_VER", "10|OWNER_TERM", "11|TABLE_TERM", "16|IDENTIFIER_CASE",
                             "18|COLLATION_SEQ", "22|ACCESSIBLE_TABLES", "101|QUALIFIER_TERM", "104|ACCESSIBLE_SPROC",
                             "500|SYS_SPROC_VERSION"}) {
    EXPECT_NE(std::find(ids.begin(), ids.end(), wanted), ids.end()) << wanted;
  }
  std::vector<std::int64_t> numbers;
  for (const auto& row : all.rows) numbers.push_back(row[0].ToInt64());
  EXPECT_TRUE(std::is_sorted(numbers.begin(), numbers.end()));
  EXPECT_EQ(Lines(Call("sp_server_info", {{"@attribute_id", I(1)}}), {"ATTRIBUTE_ID", "ATTRIBUTE_NAME",
                                                                       "ATTRIBUTE_VALUE"}),
            V{"1|DBMS_NAME|Microsoft SQL Server"});
  EXPECT_EQ(Lines(Call("sp_server_info", {{"@attribute_id", I(11)}}), {"ATTRIBUTE_VALUE"}), V{"table"});
  EXPECT_EQ(Lines(Call("sp_server_info", {{"@attribute_id", I(101)}}), {"ATTRIBUTE_VALUE"}), V{"database"});
  EXPECT_EQ(Call("sp_server_info", {{"@attribute_id", I(999)}}).rows.size(), 0u);
}

TEST_F(CatalogProceduresTest, DatatypeInfoListsEveryTypeByOdbcCode) {
  using V = std::vector<std::string>;
  const sqlsrv::ResultSet all = Call("sp_datatype_info");
  EXPECT_EQ(Lines(all, {"TYPE_NAME", "DATA_TYPE"}),
            (V{"sql_variant|-150", "uniqueidentifier|-11", "ntext|-10", "nvarchar|-9", "sysname|-9",     "nchar|-8",          "bit|-7",
               "tinyint|-6",      "tinyint identity|-6", "bigint|-5", "bigint identity|-5", "image|-4",
               "varbinary|-3",    "binary|-2",   "timestamp|-2",   "text|-1",
               "char|1",          "numeric|2",   "decimal|3",      "money|3",           "smallmoney|3",
               "int|4",           "int identity|4", "smallint|5",  "smallint identity|5", "float|6",
               "real|7",          "datetime|11", "smalldatetime|11", "varchar|12"}));
  // The ODBC 3 code of the dates sorts them last.
  const V three = Lines(Call("sp_datatype_info", {{"@ODBCVer", Variant::UI1(3)}}), {"TYPE_NAME", "DATA_TYPE"});
  ASSERT_EQ(three.size(), 30u);
  EXPECT_EQ(three[27], "varchar|12");
  EXPECT_EQ(three[28], "datetime|93");
  EXPECT_EQ(three[29], "smalldatetime|93");
  // The variants FreeTDS calls answer alike.
  for (const char* variant : {"sp_datatype_info_90", "sp_datatype_info_100"}) {
    EXPECT_EQ(Lines(Call(variant), {"TYPE_NAME", "DATA_TYPE", "PRECISION"}),
              Lines(all, {"TYPE_NAME", "DATA_TYPE", "PRECISION"}))
        << variant;
  }
}

TEST_F(CatalogProceduresTest, DatatypeInfoDescribesOneTypeAsSqlGetTypeInfoDoes) {
  using V = std::vector<std::string>;
  const std::vector<std::string> all = {
      "TYPE_NAME",       "DATA_TYPE",     "PRECISION",     "LITERAL_PREFIX",   "LITERAL_SUFFIX", "CREATE_PARAMS",
      "NULLABLE",        "CASE_SENSITIVE", "SEARCHABLE",   "UNSIGNED_ATTRIBUTE", "MONEY",        "AUTO_INCREMENT",
      "LOCAL_TYPE_NAME", "MINIMUM_SCALE", "MAXIMUM_SCALE", "SQL_DATA_TYPE",    "SQL_DATETIME_SUB", "NUM_PREC_RADIX",
      "INTERVAL_PRECISION"};
  auto type = [&](int code, int odbc = 2) {
    return Lines(Call("sp_datatype_info", {{"@data_type", I(code)}, {"@ODBCVer", Variant::UI1(static_cast<std::uint8_t>(odbc))}}),
                 all);
  };
  // Integers: signed but tinyint, an identity form that increments.
  EXPECT_EQ(type(4), (V{"int|4|10|NULL|NULL|NULL|1|0|2|0|0|0|int|0|0|4|NULL|10|NULL",
                        "int identity|4|10|NULL|NULL|NULL|1|0|2|0|0|1|int identity|0|0|4|NULL|10|NULL"}));
  EXPECT_EQ(type(-6)[0], "tinyint|-6|3|NULL|NULL|NULL|1|0|2|1|0|0|tinyint|0|0|-6|NULL|10|NULL");
  // Character types: quoted, their length a creation parameter, the
  // server collation case-insensitive.
  EXPECT_EQ(type(12), V{"varchar|12|8000|'|'|max length|1|0|3|NULL|0|NULL|varchar|NULL|NULL|12|NULL|NULL|NULL"});
  EXPECT_EQ(type(-9), (V{"nvarchar|-9|4000|N'|'|max length|1|0|3|NULL|0|NULL|nvarchar|NULL|NULL|-9|NULL|NULL|NULL",
                         "sysname|-9|128|N'|'|NULL|1|0|3|NULL|0|NULL|sysname|NULL|NULL|-9|NULL|NULL|NULL"}));
  EXPECT_EQ(type(-1), V{"text|-1|2147483647|'|'|NULL|1|0|1|NULL|0|NULL|text|NULL|NULL|-1|NULL|NULL|NULL"});
  // Exact and approximate numbers.
  EXPECT_EQ(type(2), V{"numeric|2|38|NULL|NULL|precision,scale|1|0|2|0|0|0|numeric|0|38|2|NULL|10|NULL"});
  EXPECT_EQ(type(3), (V{"decimal|3|38|NULL|NULL|precision,scale|1|0|2|0|0|0|decimal|0|38|3|NULL|10|NULL",
                        "money|3|19|$|NULL|NULL|1|0|2|0|1|0|money|4|4|3|NULL|10|NULL",
                        "smallmoney|3|10|$|NULL|NULL|1|0|2|0|1|0|smallmoney|4|4|3|NULL|10|NULL"}));
  EXPECT_EQ(type(6), V{"float|6|53|NULL|NULL|NULL|1|0|2|0|0|0|float|NULL|NULL|6|NULL|2|NULL"});
  // Dates: the verbose code and the timestamp subcode; DATA_TYPE by version.
  EXPECT_EQ(type(11), (V{"datetime|11|23|'|'|NULL|1|0|3|NULL|0|NULL|datetime|3|3|9|3|NULL|NULL",
                         "smalldatetime|11|16|'|'|NULL|1|0|3|NULL|0|NULL|smalldatetime|0|0|9|3|NULL|NULL"}));
  EXPECT_EQ(type(93, 3), (V{"datetime|93|23|'|'|NULL|1|0|3|NULL|0|NULL|datetime|3|3|9|3|NULL|NULL",
                            "smalldatetime|93|16|'|'|NULL|1|0|3|NULL|0|NULL|smalldatetime|0|0|9|3|NULL|NULL"}));
  EXPECT_EQ(type(93, 2), V{});
  EXPECT_EQ(type(11, 3), V{});
  // Binary types: written 0x..., image not searchable at all.
  EXPECT_EQ(type(-4), V{"image|-4|2147483647|0x|NULL|NULL|1|0|0|NULL|0|NULL|image|NULL|NULL|-4|NULL|NULL|NULL"});
  EXPECT_EQ(type(-3),
            V{"varbinary|-3|8000|0x|NULL|max length|1|0|2|NULL|0|NULL|varbinary|NULL|NULL|-3|NULL|NULL|NULL"});
  // A GUID: SQL_GUID, written as a quoted string of 36 characters.
  EXPECT_EQ(type(-11), V{"uniqueidentifier|-11|36|'|'|NULL|1|0|2|NULL|0|NULL|uniqueidentifier|NULL|NULL|-11|NULL|NULL|NULL"});
}

// ------------------------------------------------------------ the 6.0 database

TEST_F(CatalogProceduresTest, DescribesTheVersion60Database) {
  engine->Execute(embedded::kCreate60);
  using V = std::vector<std::string>;
  EXPECT_EQ(Lines(Call("sp_columns", {{"@table_name", T("Region")}}),
                  {"TABLE_OWNER", "COLUMN_NAME", "DATA_TYPE", "TYPE_NAME", "PRECISION", "NULLABLE", "COLUMN_DEF",
                   "ORDINAL_POSITION"}),
            (V{"dbo|RegionID|4|int identity|10|0|NULL|1", "dbo|Computer|-9|nvarchar|20|1|(host_name())|2",
               "dbo|Operator|-9|nvarchar|32|1|(suser_sname())|3", "dbo|OpTime|11|datetime|23|1|(getdate())|4",
               "dbo|Class|12|varchar|50|0|NULL|5", "dbo|RegCode|-9|nvarchar|15|1|NULL|6",
               "dbo|RegName|-9|nvarchar|64|1|NULL|7"}));
  EXPECT_EQ(Lines(Call("sp_pkeys", {{"@table_name", T("Customer")}}), {"COLUMN_NAME", "KEY_SEQ", "PK_NAME"}),
            V{"UnitID|1|PK_Customer"});
  EXPECT_EQ(Lines(Call("sp_fkeys", {{"@pktable_name", T("Region")}}), {"FKTABLE_NAME", "FKCOLUMN_NAME", "FK_NAME"}),
            (V{"Customer|RegionID|FK_Customer_Region", "Supplier|RegionID|FK_Supplier_Region"}));
  const V tables = Lines(Call("sp_tables", {{"@table_type", T("'TABLE'")}}), {"TABLE_NAME"});
  for (const char* t : {"Customer", "Goods", "Region", "Supplier", "Version"}) {
    EXPECT_NE(std::find(tables.begin(), tables.end(), t), tables.end()) << t;
  }
}

}  // namespace
