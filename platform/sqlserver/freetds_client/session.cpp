#include "platform/sqlserver/freetds_client/session.h"

#include <algorithm>

#include "platform/com/names.h"
#include "platform/com/quote.h"
#include "platform/dts/oledb.h"
#include "platform/sqlserver/errors.h"
#include "platform/sqlserver/freetds_client/bulk_copy.h"
#include "platform/sqlserver/frontend/parser.h"

namespace sqlsrv::net {
namespace {

std::string NText(std::string_view s) { return "N" + com::Quoted(s, '\'', '\''); }

// A column as a row of INFORMATION_SCHEMA.COLUMNS describes it (name, type
// name, length, precision, scale, IS_NULLABLE, default, the code page of
// its collation): its type by SQL Server's name, lengths as the server
// counts them.
dts::ColumnInfo ColumnOf(const dts::Row& row) {
  dts::ColumnInfo c;
  c.name = row.at(0).ToText();
  const std::string type = com::LowerAscii(row.at(1).ToText());
  const std::int64_t length = row.at(2).IsNull() ? 0 : row.at(2).ToInt64();
  c.nullable = row.at(5).ToText() == "YES";
  auto text = [&](bool unicode, bool is_long) {
    c.type = unicode ? dts::DBTYPE_WSTR : dts::DBTYPE_STR;
    c.is_unicode = unicode;
    c.is_long = is_long || length < 0;
    if (!c.is_long) c.size = static_cast<std::uint32_t>(length);
    if (!unicode && !row.at(7).IsNull()) c.code_page = static_cast<std::uint16_t>(row.at(7).ToInt64());
  };
  if (type == "bit") {
    c.type = dts::DBTYPE_BOOL;
  } else if (type == "tinyint") {
    c.type = dts::DBTYPE_UI1;
  } else if (type == "smallint") {
    c.type = dts::DBTYPE_I2;
  } else if (type == "int") {
    c.type = dts::DBTYPE_I4;
  } else if (type == "bigint") {
    c.type = dts::DBTYPE_I8;
  } else if (type == "money" || type == "smallmoney") {
    c.type = dts::DBTYPE_CY;
    c.precision = type == "money" ? 19 : 10;
    c.scale = 4;
  } else if (type == "float") {
    c.type = dts::DBTYPE_R8;
  } else if (type == "real") {
    c.type = dts::DBTYPE_R4;
  } else if (type == "decimal" || type == "numeric") {
    c.type = dts::DBTYPE_NUMERIC;
    c.precision = static_cast<std::uint8_t>(row.at(3).IsNull() ? 18 : row.at(3).ToInt64());
    c.scale = static_cast<std::uint8_t>(row.at(4).IsNull() ? 0 : row.at(4).ToInt64());
  } else if (type == "datetime" || type == "smalldatetime") {
    c.type = dts::DBTYPE_DBTIMESTAMP;
    c.precision = type == "datetime" ? 23 : 16;
    c.scale = type == "datetime" ? 3 : 0;
  } else if (type == "char" || type == "varchar") {
    text(false, false);
  } else if (type == "text") {
    text(false, true);
  } else if (type == "nchar" || type == "nvarchar") {
    text(true, false);
  } else if (type == "ntext") {
    text(true, true);
  } else {
    c.type = dts::DBTYPE_BYTES;  // binary, image, uniqueidentifier ...: not written by this driver
  }
  return c;
}

class ResultReader final : public dts::RowReader {
 public:
  ResultReader(Connection& connection, bool has_rows) : connection_(connection), has_rows_(has_rows) {
    if (has_rows_) columns_ = connection_.ResultColumns();
  }
  const std::vector<dts::ColumnInfo>& columns() const override { return columns_; }
  bool Next(dts::Row& row) override { return has_rows_ && connection_.NextRow(row); }

 private:
  Connection& connection_;
  bool has_rows_;
  std::vector<dts::ColumnInfo> columns_;
};

class NetworkSession final : public dts::Session {
 public:
  NetworkSession(const LoginParameters& login, int lock_timeout_ms) : connection_(login) {
    // Locks are waited for a bounded time (see driver.h), text is read whole.
    connection_.Execute("SET LOCK_TIMEOUT " + std::to_string(lock_timeout_ms) + " SET TEXTSIZE 2147483647");
  }

  std::vector<dts::RowsAffected> ExecuteBatch(std::string_view sql, std::int32_t) override {
    std::vector<dts::RowsAffected> out;
    // db-lib tells the counts, not the statements they belong to.
    for (std::int64_t rows : connection_.Execute(sql)) out.push_back({"", "", rows});
    return out;
  }

  void RunBatch(std::string_view sql, dts::BatchResults* out) override { connection_.RunBatch(sql, out); }

  std::unique_ptr<dts::RowReader> Query(std::string_view sql) override {
    const bool has_rows = connection_.StartQuery(sql);
    return std::make_unique<ResultReader>(connection_, has_rows);
  }

  std::vector<dts::ColumnInfo> DescribeTable(std::string_view object) override { return Describe(object).columns; }

  std::unique_ptr<dts::BulkWriter> OpenBulkLoad(std::string_view object, const std::vector<std::string>& columns,
                                                const dts::BulkLoadOptions& options) override {
    const Table table = Describe(object);
    for (const std::string& name : columns) {
      const auto c = std::find_if(table.columns.begin(), table.columns.end(),
                                  [&](const auto& t) { return com::SameName(t.name, name); });
      if (c == table.columns.end()) throw SqlErr(kInvalidColumn, "Invalid column name '" + name + "'.");
      if (c->type == dts::DBTYPE_BYTES) {
        throw SqlErr(kNotSupported, "列“" + name + "”的类型不能经网络驱动批量写入");
      }
    }
    return OpenBulkCopy(connection_, std::string(object), table.columns, columns, options, Defaults(table, columns));
  }

  void SetWaitObserver(std::function<bool(int seconds)> observer) override {
    connection_.log().on_wait = std::move(observer);
  }
  void BeginTransaction() override { connection_.Execute("BEGIN TRANSACTION"); }
  void Commit() override {
    try {
      connection_.Execute("COMMIT TRANSACTION");
    } catch (const com::Error& e) {
      // The request may have reached the server before the connection
      // went: only the server knows now whether it committed.
      if (!connection_.dead()) throw;
      throw com::Error(dts::kErrCommitUnknown, e.source(), e.description());
    }
  }
  void Rollback() override {
    // A lost connection has taken its transaction with it.
    if (connection_.dead()) return;
    connection_.Execute("IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION");
  }

  std::vector<std::string> Databases() override {
    std::vector<std::string> names;
    // sysdatabases lists the databases in the server's own order.
    auto rows = Query("SELECT name FROM master.dbo.sysdatabases");
    dts::Row row;
    while (rows->Next(row)) names.push_back(row.at(0).ToText());
    return names;
  }

 private:
  struct Table {
    std::vector<dts::ColumnInfo> columns;
    std::vector<std::string> defaults;  // per column: its default as the server keeps it, or ""
  };

  // "[D].INFORMATION_SCHEMA.X", or the current database's.
  static std::string SchemaView(const ast::ObjectName& name, const char* view) {
    return (name.database.empty() ? "" : com::Quoted(name.database, '[', ']') + ".") + "INFORMATION_SCHEMA." + view;
  }

  static std::string TableIs(const ast::ObjectName& name, const char* alias) {
    return std::string(alias) + "TABLE_NAME = " + NText(name.object) + " AND " + alias +
           "TABLE_SCHEMA = " + NText(name.schema.empty() ? "dbo" : name.schema);
  }

  // A table as the server describes it: its columns and their defaults
  // (INFORMATION_SCHEMA.COLUMNS), which are identity columns (the
  // metadata of an empty SELECT) and which make the primary key.
  Table Describe(std::string_view object) {
    const ast::ObjectName name = ParseObjectName(object);
    Table table;
    dts::Row row;
    {
      auto rows = Query("SELECT COLUMN_NAME, DATA_TYPE, CHARACTER_MAXIMUM_LENGTH, NUMERIC_PRECISION, NUMERIC_SCALE, "
                        "IS_NULLABLE, COLUMN_DEFAULT, COLLATIONPROPERTY(COLLATION_NAME, 'CodePage') FROM " +
                        SchemaView(name, "COLUMNS") + " WHERE " + TableIs(name, "") + " ORDER BY ORDINAL_POSITION");
      while (rows->Next(row)) {
        table.columns.push_back(ColumnOf(row));
        table.defaults.push_back(row.at(6).IsNull() ? "" : row.at(6).ToText());
      }
    }
    if (table.columns.empty()) throw SqlErr(kInvalidObject, "Invalid object name '" + std::string(object) + "'.");
    if (!connection_.StartQuery("SET FMTONLY ON SELECT * FROM " + std::string(object) + " SET FMTONLY OFF")) {
      connection_.Raise("描述表 " + std::string(object));
    }
    const int n = dbnumcols(connection_.proc());
    for (int i = 1; i <= n; ++i) {
      DBCOL2 info{};
      info.SizeOfStruct = sizeof info;
      if (dbcolinfo(connection_.proc(), CI_REGULAR, i, 0, reinterpret_cast<DBCOL*>(&info)) == FAIL) continue;
      for (auto& c : table.columns) {
        if (com::SameName(c.name, info.Name)) c.is_identity = info.Identity != 0;
      }
    }
    connection_.Drain();
    if (connection_.log().HasError()) connection_.Raise("描述表 " + std::string(object));
    auto keys = Query("SELECT k.COLUMN_NAME FROM " + SchemaView(name, "TABLE_CONSTRAINTS") + " t JOIN " +
                      SchemaView(name, "KEY_COLUMN_USAGE") +
                      " k ON k.CONSTRAINT_NAME = t.CONSTRAINT_NAME AND k.TABLE_NAME = t.TABLE_NAME WHERE " +
                      TableIs(name, "t.") + " AND t.CONSTRAINT_TYPE = 'PRIMARY KEY' ORDER BY k.ORDINAL_POSITION");
    while (keys->Next(row)) {
      for (auto& c : table.columns) {
        if (com::SameName(c.name, row.at(0).ToText())) c.is_key = true;
      }
    }
    return table;
  }

  // Per table column, the value a column the load does not name takes: its
  // default, evaluated by the server once, or NULL.
  std::vector<com::Variant> Defaults(const Table& table, const std::vector<std::string>& written) {
    std::vector<com::Variant> values(table.columns.size(), com::Variant::Null());
    std::vector<std::size_t> owners;
    std::string select;
    for (std::size_t i = 0; i < table.columns.size(); ++i) {
      if (table.defaults[i].empty() || table.columns[i].is_identity) continue;
      const std::string& name = table.columns[i].name;
      if (std::any_of(written.begin(), written.end(), [&](const auto& w) { return com::SameName(w, name); })) continue;
      select += (select.empty() ? "SELECT " : ", ") + table.defaults[i];
      owners.push_back(i);
    }
    if (owners.empty()) return values;
    auto rows = Query(select);
    dts::Row row;
    if (rows->Next(row)) {
      for (std::size_t k = 0; k < owners.size() && k < row.size(); ++k) values[owners[k]] = row[k];
    }
    while (rows->Next(row)) {
    }
    return values;
  }

  Connection connection_;
};

}  // namespace

std::unique_ptr<dts::Session> OpenNetworkSession(const LoginParameters& login, int lock_timeout_ms) {
  return std::make_unique<NetworkSession>(login, lock_timeout_ms);
}

}  // namespace sqlsrv::net
