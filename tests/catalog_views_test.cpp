// The catalog as tools read it, beyond what the T-SQL scripts of
// tests/sql check: every view's columns in SQL Server's documented order
// and types (what a tool reading by position relies on), every view over
// the version 6.0 database, that database's Region as sys.columns and
// sp_help describe it, long procedure texts in syscomments, and
// sp_spaceused's sizes from SQLite's pages.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "cli/tsv.h"
#include "platform/com/error.h"
#include "platform/sqlserver/engine.h"
#include "platform/sqlserver/server.h"
#include "platform/sqlserver/types.h"
#include "tests/support/engine_test.h"

namespace embedded {
extern const char kCreate60[];
}

namespace {

using V = std::vector<std::string>;

class CatalogViewsTest : public testing_support::EngineTest {
 protected:
  // The columns of a query's result, as "name type".
  V Shape(const std::string& from) {
    const auto out = Run("SET FMTONLY ON SELECT * FROM " + from + " SET FMTONLY OFF");
    V shape;
    for (const auto& c : out.results.at(0).columns) {
      shape.push_back(c.name + " " + (c.column ? sqlsrv::TypeDisplayName(*c.column) : std::string("?")));
    }
    return shape;
  }

  // The names of a query's result columns.
  V Names(const std::string& from) {
    V names;
    for (const std::string& s : Shape(from)) names.push_back(s.substr(0, s.find(' ')));
    return names;
  }
};

// ------------------------------------------------------------ columns in order

TEST_F(CatalogViewsTest, SysViewsHaveTheColumnsSqlServerDocumentsInOrder) {
  const V objects = {"name nvarchar(128)",        "object_id int",      "principal_id int",
                     "schema_id int",             "parent_object_id int", "type char(2)",
                     "type_desc nvarchar(60)",    "create_date datetime", "modify_date datetime",
                     "is_ms_shipped bit",         "is_published bit",   "is_schema_published bit"};
  EXPECT_EQ(Shape("sys.objects"), objects);
  // The views of one kind of object add theirs to sys.objects' columns.
  auto inherits = [&](const std::string& view, const V& more) {
    V all;
    for (const std::string& c : objects) all.push_back(c.substr(0, c.find(' ')));
    all.insert(all.end(), more.begin(), more.end());
    EXPECT_EQ(Names(view), all) << view;
  };
  inherits("sys.tables", {"lob_data_space_id", "filestream_data_space_id", "max_column_id_used",
                          "lock_on_bulk_load", "uses_ansi_nulls", "is_replicated", "has_replication_filter",
                          "is_merge_published", "is_sync_tran_subscribed", "has_unchecked_assembly_data",
                          "text_in_row_limit", "large_value_types_out_of_row"});
  inherits("sys.views", {"is_replicated", "has_replication_filter", "has_opaque_metadata",
                         "has_unchecked_assembly_data", "with_check_option", "is_date_correlation_view"});
  inherits("sys.procedures", {"is_auto_executed", "is_execution_replicated", "is_repl_serializable_only",
                              "skips_repl_constraints"});
  inherits("sys.key_constraints", {"unique_index_id", "is_system_named"});
  inherits("sys.default_constraints", {"parent_column_id", "definition", "is_system_named"});
  inherits("sys.foreign_keys", {"referenced_object_id", "key_index_id", "is_disabled", "is_not_for_replication",
                                "is_not_trusted", "delete_referential_action", "delete_referential_action_desc",
                                "update_referential_action", "update_referential_action_desc", "is_system_named"});
  const V columns = {"object_id int",         "name nvarchar(128)",        "column_id int",
                     "system_type_id tinyint", "user_type_id int",         "max_length smallint",
                     "precision tinyint",     "scale tinyint",             "collation_name nvarchar(128)",
                     "is_nullable bit",       "is_ansi_padded bit",        "is_rowguidcol bit",
                     "is_identity bit",       "is_computed bit",           "is_filestream bit",
                     "is_replicated bit",     "is_non_sql_subscribed bit", "is_merge_published bit",
                     "is_dts_replicated bit", "is_xml_document bit",       "xml_collection_id int",
                     "default_object_id int", "rule_object_id int"};
  EXPECT_EQ(Shape("sys.columns"), columns);
  V identity = Names("sys.identity_columns");
  ASSERT_EQ(identity.size(), columns.size() + 4);
  EXPECT_EQ(V(identity.end() - 4, identity.end()),
            (V{"seed_value", "increment_value", "last_value", "is_not_for_replication"}));
  EXPECT_EQ(Shape("sys.types"),
            (V{"name nvarchar(128)", "system_type_id tinyint", "user_type_id int", "schema_id int",
               "principal_id int", "max_length smallint", "precision tinyint", "scale tinyint",
               "collation_name nvarchar(128)", "is_nullable bit", "is_user_defined bit", "is_assembly_type bit",
               "default_object_id int", "rule_object_id int"}));
  EXPECT_EQ(Shape("sys.schemas"), (V{"name nvarchar(128)", "schema_id int", "principal_id int"}));
  EXPECT_EQ(Shape("sys.indexes"),
            (V{"object_id int", "name nvarchar(128)", "index_id int", "type tinyint", "type_desc nvarchar(60)",
               "is_unique bit", "data_space_id int", "ignore_dup_key bit", "is_primary_key bit",
               "is_unique_constraint bit", "fill_factor tinyint", "is_padded bit", "is_disabled bit",
               "is_hypothetical bit", "allow_row_locks bit", "allow_page_locks bit"}));
  EXPECT_EQ(Shape("sys.index_columns"),
            (V{"object_id int", "index_id int", "index_column_id int", "column_id int", "key_ordinal tinyint",
               "partition_ordinal tinyint", "is_descending_key bit", "is_included_column bit"}));
  EXPECT_EQ(Shape("sys.foreign_key_columns"),
            (V{"constraint_object_id int", "constraint_column_id int", "parent_object_id int", "parent_column_id int",
               "referenced_object_id int", "referenced_column_id int"}));
  EXPECT_EQ(Names("sys.sql_modules"),
            (V{"object_id", "definition", "uses_ansi_nulls", "uses_quoted_identifier", "is_schema_bound",
               "uses_database_collation", "is_recompiled", "null_on_null_input", "execute_as_principal_id"}));
  EXPECT_EQ(Names("sys.server_principals"),
            (V{"name", "principal_id", "sid", "type", "type_desc", "is_disabled", "create_date", "modify_date",
               "default_database_name", "default_language_name", "credential_id"}));
  const V databases = Names("sys.databases");
  ASSERT_EQ(databases.size(), 53u);
  EXPECT_EQ(V(databases.begin(), databases.begin() + 14),
            (V{"name", "database_id", "source_database_id", "owner_sid", "create_date", "compatibility_level",
               "collation_name", "user_access", "user_access_desc", "is_read_only", "is_auto_close_on",
               "is_auto_shrink_on", "state", "state_desc"}));
  EXPECT_EQ(databases.back(), "is_date_correlation_on");
}

TEST_F(CatalogViewsTest, InformationSchemaViewsHaveTheColumnsSqlServerDocumentsInOrder) {
  EXPECT_EQ(Shape("INFORMATION_SCHEMA.TABLES"),
            (V{"TABLE_CATALOG nvarchar(128)", "TABLE_SCHEMA nvarchar(128)", "TABLE_NAME nvarchar(128)",
               "TABLE_TYPE varchar(10)"}));
  EXPECT_EQ(Names("INFORMATION_SCHEMA.VIEWS"),
            (V{"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME", "VIEW_DEFINITION", "CHECK_OPTION", "IS_UPDATABLE"}));
  EXPECT_EQ(Names("INFORMATION_SCHEMA.COLUMNS"),
            (V{"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME", "COLUMN_NAME", "ORDINAL_POSITION", "COLUMN_DEFAULT",
               "IS_NULLABLE", "DATA_TYPE", "CHARACTER_MAXIMUM_LENGTH", "CHARACTER_OCTET_LENGTH",
               "NUMERIC_PRECISION", "NUMERIC_PRECISION_RADIX", "NUMERIC_SCALE", "DATETIME_PRECISION",
               "CHARACTER_SET_CATALOG", "CHARACTER_SET_SCHEMA", "CHARACTER_SET_NAME", "COLLATION_CATALOG",
               "COLLATION_SCHEMA", "COLLATION_NAME", "DOMAIN_CATALOG", "DOMAIN_SCHEMA", "DOMAIN_NAME"}));
  EXPECT_EQ(Names("INFORMATION_SCHEMA.CHECK_CONSTRAINTS"),
            (V{"CONSTRAINT_CATALOG", "CONSTRAINT_SCHEMA", "CONSTRAINT_NAME", "CHECK_CLAUSE"}));
  EXPECT_EQ(Names("INFORMATION_SCHEMA.SCHEMATA"),
            (V{"CATALOG_NAME", "SCHEMA_NAME", "SCHEMA_OWNER", "DEFAULT_CHARACTER_SET_CATALOG",
               "DEFAULT_CHARACTER_SET_SCHEMA", "DEFAULT_CHARACTER_SET_NAME"}));
  const V routines = Names("INFORMATION_SCHEMA.ROUTINES");
  ASSERT_EQ(routines.size(), 51u);
  EXPECT_EQ(V(routines.begin(), routines.begin() + 7),
            (V{"SPECIFIC_CATALOG", "SPECIFIC_SCHEMA", "SPECIFIC_NAME", "ROUTINE_CATALOG", "ROUTINE_SCHEMA",
               "ROUTINE_NAME", "ROUTINE_TYPE"}));
  EXPECT_EQ(routines[36], "ROUTINE_BODY");
  EXPECT_EQ(routines[37], "ROUTINE_DEFINITION");
  EXPECT_EQ(V(routines.end() - 2, routines.end()), (V{"CREATED", "LAST_ALTERED"}));
  EXPECT_EQ(Names("INFORMATION_SCHEMA.PARAMETERS"),
            (V{"SPECIFIC_CATALOG", "SPECIFIC_SCHEMA", "SPECIFIC_NAME", "ORDINAL_POSITION", "PARAMETER_MODE",
               "IS_RESULT", "AS_LOCATOR", "PARAMETER_NAME", "DATA_TYPE", "CHARACTER_MAXIMUM_LENGTH",
               "CHARACTER_OCTET_LENGTH", "COLLATION_CATALOG", "COLLATION_SCHEMA", "COLLATION_NAME",
               "CHARACTER_SET_CATALOG", "CHARACTER_SET_SCHEMA", "CHARACTER_SET_NAME", "NUMERIC_PRECISION",
               "NUMERIC_PRECISION_RADIX", "NUMERIC_SCALE", "DATETIME_PRECISION", "INTERVAL_TYPE",
               "INTERVAL_PRECISION", "USER_DEFINED_TYPE_CATALOG", "USER_DEFINED_TYPE_SCHEMA",
               "USER_DEFINED_TYPE_NAME", "SCOPE_CATALOG", "SCOPE_SCHEMA", "SCOPE_NAME"}));
}

TEST_F(CatalogViewsTest, SystemTablesHaveSqlServer2000sColumnsInOrder) {
  EXPECT_EQ(Names("syscolumns"),
            (V{"name", "id", "xtype", "typestat", "xusertype", "length", "xprec", "xscale", "colid", "xoffset",
               "bitpos", "reserved", "colstat", "cdefault", "domain", "number", "colorder", "autoval", "offset",
               "collationid", "status", "type", "usertype", "printfmt", "prec", "scale", "iscomputed",
               "isoutparam", "isnullable", "collation", "tdscollation"}));
  EXPECT_EQ(Names("systypes"),
            (V{"name", "xtype", "status", "xusertype", "length", "xprec", "xscale", "tdefault", "domain", "uid",
               "reserved", "collationid", "usertype", "variable", "allownulls", "type", "printfmt", "prec", "scale",
               "collation"}));
  EXPECT_EQ(Names("sysindexes"),
            (V{"id", "status", "first", "indid", "root", "minlen", "keycnt", "groupid", "dpages", "reserved", "used",
               "rowcnt", "rowmodctr", "reserved3", "reserved4", "xmaxlen", "maxirow", "OrigFillFactor",
               "StatVersion", "reserved2", "FirstIAM", "impid", "lockflags", "pgmodctr", "keys", "name", "statblob",
               "maxlen", "rows"}));
  EXPECT_EQ(Names("sysusers"),
            (V{"uid", "status", "name", "sid", "roles", "createdate", "updatedate", "altuid", "password", "gid",
               "environ", "hasdbaccess", "islogin", "isntname", "isntgroup", "isntuser", "issqluser", "isaliased",
               "issqlrole", "isapprole"}));
  EXPECT_EQ(Shape("master.dbo.sysdatabases"),
            (V{"name nvarchar(128)", "dbid smallint", "sid varbinary(85)", "mode smallint", "status int",
               "status2 int", "crdate datetime", "reserved datetime", "category int", "cmptlevel tinyint",
               "filename nvarchar(260)", "version smallint"}));
  EXPECT_EQ(Shape("syscomments"),
            (V{"id int", "number smallint", "colid smallint", "status smallint", "ctext varbinary(8000)",
               "texttype smallint", "language smallint", "encrypted bit", "compressed bit", "text nvarchar(4000)"}));
}

// ------------------------------------------------------------ the 6.0 database

TEST_F(CatalogViewsTest, EveryViewAnswersOverTheVersion60Database) {
  db->Execute(embedded::kCreate60);
  for (const char* view :
       {"INFORMATION_SCHEMA.TABLES", "INFORMATION_SCHEMA.VIEWS", "INFORMATION_SCHEMA.COLUMNS",
        "INFORMATION_SCHEMA.TABLE_CONSTRAINTS", "INFORMATION_SCHEMA.KEY_COLUMN_USAGE",
        "INFORMATION_SCHEMA.REFERENTIAL_CONSTRAINTS", "INFORMATION_SCHEMA.CHECK_CONSTRAINTS",
        "INFORMATION_SCHEMA.ROUTINES", "INFORMATION_SCHEMA.PARAMETERS", "INFORMATION_SCHEMA.SCHEMATA",
        "sys.objects", "sys.tables", "sys.views", "sys.columns", "sys.types", "sys.schemas", "sys.indexes",
        "sys.index_columns", "sys.foreign_keys", "sys.foreign_key_columns", "sys.key_constraints",
        "sys.default_constraints", "sys.procedures", "sys.sql_modules", "sys.identity_columns", "sys.databases",
        "sys.server_principals", "syscolumns", "systypes", "sysindexes", "sysusers", "sysdatabases",
        "syscomments"}) {
    EXPECT_NO_THROW(Rows(std::string("SELECT * FROM ") + view)) << view;
  }
  // One object id each, none shared: the DEFAULT constraints' ids meet no
  // id sysobjects gave.
  EXPECT_EQ(Rows("SELECT count(*) - count(DISTINCT object_id) FROM sys.objects"), V{"0"});
  EXPECT_EQ(Rows("SELECT count(*) FROM sys.default_constraints d JOIN sysobjects s ON s.id = d.object_id"), V{"0"});
  // Each table once in each list of tables.
  const V tables = Rows("SELECT count(*) FROM sysobjects WHERE xtype = 'U'");
  EXPECT_EQ(Rows("SELECT count(*) FROM sys.tables"), tables);
  EXPECT_EQ(Rows("SELECT count(*) FROM INFORMATION_SCHEMA.TABLES"), tables);
  EXPECT_EQ(Rows("SELECT count(*) FROM sys.indexes WHERE index_id < 2"), tables);
  EXPECT_EQ(Rows("SELECT count(*) FROM sys.columns"), Rows("SELECT count(*) FROM INFORMATION_SCHEMA.COLUMNS"));
}

TEST_F(CatalogViewsTest, Version60RegionAsSysColumnsAndSpHelpDescribeIt) {
  db->Execute(embedded::kCreate60);
  // [RegionID] int IDENTITY(1,1) NOT NULL, [Computer] nvarchar(20) NULL DEFAULT (host_name()),
  // [Operator] nvarchar(32) NULL DEFAULT (suser_sname()), [OpTime] datetime NULL DEFAULT (getdate()),
  // [Class] varchar(50) NOT NULL, [RegCode] nvarchar(15) NULL, [RegName] nvarchar(64) NULL
  EXPECT_EQ(Rows("SELECT c.column_id, c.name, t.name, c.system_type_id, c.max_length, c.precision, c.scale, "
                 "c.is_nullable, c.is_identity, ISNULL(d.name, '-') FROM sys.columns c "
                 "JOIN sys.types t ON t.user_type_id = c.user_type_id "
                 "LEFT JOIN sys.default_constraints d ON d.object_id = c.default_object_id "
                 "WHERE c.object_id = OBJECT_ID('dbo.Region') ORDER BY c.column_id"),
            (V{"1\tRegionID\tint\t56\t4\t10\t0\t0\t1\t-",
               "2\tComputer\tnvarchar\t231\t40\t0\t0\t1\t0\tDF_Region_Computer",
               "3\tOperator\tnvarchar\t231\t64\t0\t0\t1\t0\tDF_Region_Operator",
               "4\tOpTime\tdatetime\t61\t8\t23\t3\t1\t0\tDF_Region_OpTime",
               "5\tClass\tvarchar\t167\t50\t0\t0\t0\t0\t-",
               "6\tRegCode\tnvarchar\t231\t30\t0\t0\t1\t0\t-",
               "7\tRegName\tnvarchar\t231\t128\t0\t0\t1\t0\t-"}));
  EXPECT_EQ(Rows("SELECT name, seed_value, increment_value FROM sys.identity_columns "
                 "WHERE object_id = OBJECT_ID('Region')"),
            V{"RegionID\t1\t1"});
  EXPECT_EQ(Rows("SELECT f.name, p.name FROM sys.foreign_keys f JOIN sys.tables p ON p.object_id = f.parent_object_id "
                 "WHERE f.referenced_object_id = OBJECT_ID('Region') ORDER BY f.name"),
            (V{"FK_Customer_Region\tCustomer", "FK_Supplier_Region\tSupplier"}));

  // sp_help: the table, then its columns.
  const sqlsrv::BatchOutput help = Run("EXEC sp_help 'Region'");
  ASSERT_GE(help.results.size(), 2u);
  const auto& table = help.results[0].rows.at(0);
  EXPECT_EQ(V({table.at(0).text(), table.at(1).text(), table.at(2).text()}), (V{"Region", "dbo", "user table"}));
  V columns;
  for (const auto& row : help.results[1].rows) columns.push_back(cli::FormatTsvLine(row));
  EXPECT_EQ(columns,
            (V{"RegionID\tint\tno\t4\t10\t0\tno\t(n/a)\t(n/a)\t\\N",
               "Computer\tnvarchar\tno\t40\t\t\tyes\t(n/a)\t(n/a)\tChinese_PRC_CI_AS",
               "Operator\tnvarchar\tno\t64\t\t\tyes\t(n/a)\t(n/a)\tChinese_PRC_CI_AS",
               "OpTime\tdatetime\tno\t8\t\t\tyes\t(n/a)\t(n/a)\t\\N",
               "Class\tvarchar\tno\t50\t\t\tno\tno\tno\tChinese_PRC_CI_AS",
               "RegCode\tnvarchar\tno\t30\t\t\tyes\t(n/a)\t(n/a)\tChinese_PRC_CI_AS",
               "RegName\tnvarchar\tno\t128\t\t\tyes\t(n/a)\t(n/a)\tChinese_PRC_CI_AS"}));
  V names;
  for (const auto& c : help.results[1].columns) names.push_back(c.name);
  EXPECT_EQ(names, (V{"Column_name", "Type", "Computed", "Length", "Prec", "Scale", "Nullable", "TrimTrailingBlanks",
                      "FixedLenNullInSource", "Collation"}));
  // And what refers to it.
  EXPECT_EQ(cli::FormatTsvLine(help.results.back().rows.at(0)), "Sales60.dbo.Customer: FK_Customer_Region");
}

// ------------------------------------------------------------ texts and sizes

TEST_F(CatalogViewsTest, SysCommentsHoldsALongTextInRowsOf4000Characters) {
  std::string body;
  for (int i = 0; i < 700; ++i) body += "SELECT N'地区" + std::to_string(i) + "'\n";  // about 13,000 characters
  db->Execute("CREATE PROCEDURE Long AS\n" + body);
  const V parts = Rows("SELECT colid, len(text) FROM syscomments WHERE id = OBJECT_ID('Long') ORDER BY colid");
  ASSERT_GE(parts.size(), 3u);
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) EXPECT_EQ(parts[i], std::to_string(i + 1) + "\t4000");
  // The rows together are the definition.
  sqlsrv::BatchOutput comments = Run("SELECT text FROM syscomments WHERE id = OBJECT_ID('Long') ORDER BY colid");
  std::string joined;
  for (const auto& row : comments.results.at(0).rows) joined += row.at(0).text();
  EXPECT_EQ(joined, "CREATE PROCEDURE Long AS\n" + body);
  const sqlsrv::BatchOutput module = Run("SELECT definition FROM sys.sql_modules WHERE object_id = OBJECT_ID('Long')");
  EXPECT_EQ(module.results.at(0).rows.at(0).at(0).text(), joined);
  // sp_helptext: a row a line.
  EXPECT_EQ(Run("EXEC sp_helptext Long").results.at(0).rows.size(), 701u);
}

// "123 KB" as a number of kilobytes.
long Kb(const com::Variant& v) {
  const std::string text = v.text();
  EXPECT_EQ(text.substr(text.size() - 3), " KB") << text;
  return std::stol(text);
}

TEST_F(CatalogViewsTest, SpaceUsedCountsTheTablesPages) {
  db->Execute("CREATE TABLE Wide (ID int NOT NULL, Code nvarchar(40) NOT NULL, Body nvarchar(400) NULL, "
              "CONSTRAINT PK_Wide PRIMARY KEY (ID), CONSTRAINT UQ_Wide UNIQUE (Code))");
  auto table = [&] { return Run("EXEC sp_spaceused Wide").results.at(0).rows.at(0); };
  const auto empty = table();
  std::string insert;
  for (int i = 0; i < 2000; ++i) {
    insert += "INSERT INTO Wide VALUES (" + std::to_string(i) + ", N'code" + std::to_string(i) + "', N'" +
              std::string(300, 'x') + "')\n";
  }
  db->Execute(insert);
  const auto full = table();
  EXPECT_EQ(full.at(1).text(), "2000");
  // reserved = data + index_size + unused, in whole pages of 4 KB.
  EXPECT_EQ(Kb(full.at(2)), Kb(full.at(3)) + Kb(full.at(4)) + Kb(full.at(5)));
  EXPECT_EQ(Kb(full.at(5)), 0);
  EXPECT_EQ(Kb(full.at(3)) % 4, 0);
  // 2000 rows of 300 characters of text each (held as UTF-8) take more
  // than 2000 * 300 bytes; the unique key's index grows with them.
  EXPECT_GT(Kb(full.at(3)) * 1024, 2000 * 300);
  EXPECT_GT(Kb(full.at(4)), Kb(empty.at(4)));
  // The database holds at least what its tables reserve.
  const sqlsrv::BatchOutput whole = Run("EXEC sp_spaceused");
  ASSERT_EQ(whole.results.size(), 2u);
  const double megabytes = std::stod(whole.results[0].rows.at(0).at(1).text());
  EXPECT_GE(megabytes * 1024, static_cast<double>(Kb(full.at(2))));
  const auto& totals = whole.results[1].rows.at(0);
  EXPECT_EQ(Kb(totals.at(0)), Kb(totals.at(1)) + Kb(totals.at(2)) + Kb(totals.at(3)));
  EXPECT_GE(Kb(totals.at(0)), Kb(full.at(2)));
}

}  // namespace
