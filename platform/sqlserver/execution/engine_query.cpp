// Queries: a SELECT inside a batch (its rows collected), SELECT ... INTO a
// new table, a SELECT streamed row by row, and the columns of a table as a
// bulk load sees them.
#include <sqlite3.h>

#include <algorithm>
#include <climits>

#include "platform/dts/convert.h"
#include "platform/dts/oledb.h"
#include "platform/sqlserver/execution/engine_internal.h"
#include "platform/com/quote.h"
#include "platform/sqlserver/errors.h"
#include "platform/sqlserver/frontend/parser.h"
#include "platform/sqlserver/execution/result_values.h"

namespace sqlsrv {
namespace {

// A long value cut to SET TEXTSIZE's bytes: text in the server code page,
// Unicode text two bytes a character, binary data as it is.
void CutToTextSize(const ColumnType& type, std::int64_t textsize, com::Variant* v) {
  if (v->IsNull()) return;
  const auto size = static_cast<std::size_t>(textsize);
  if (IsBinaryType(type.type)) {
    if (v->type() == com::VarType::kBytes && v->text().size() > size) v->SetBytes(v->text().substr(0, size));
    return;
  }
  if (!v->IsText() || v->text().size() <= size / 2) return;
  const bool unicode = IsUnicodeType(type.type);
  const ColumnType cut{unicode ? SqlType::kNVarChar : SqlType::kVarChar, static_cast<int>(unicode ? size / 2 : size)};
  com::Variant out;
  dts::ConvertValue(*v, ValueInfo(cut), true, &out);
  *v = std::move(out);
}

// Whether a result column holds long values (text, ntext, image, (max)),
// which SET TEXTSIZE cuts.
bool IsLongColumn(const OutputColumn& c) {
  return c.column && (IsCharType(c.column->type) || IsBinaryType(c.column->type)) && c.column->length < 0;
}

std::uint16_t OleDbTypeOf(const OutputColumn& c) {
  if (c.column) return OleDbType(*c.column);
  switch (c.type) {
    case VT::kBit: case VT::kBool: return dts::DBTYPE_BOOL;
    case VT::kMoney: return dts::DBTYPE_CY;
    case VT::kFloat: return dts::DBTYPE_R8;
    case VT::kDecimal: return dts::DBTYPE_NUMERIC;
    case VT::kDate: return dts::DBTYPE_DBTIMESTAMP;
    case VT::kString: return dts::DBTYPE_WSTR;
    default: return dts::DBTYPE_I4;
  }
}

// Streams the rows of a prepared SELECT: the first `limit` (SET ROWCOUNT;
// 0 for all), long values cut to `textsize` (SET TEXTSIZE).
class SelectReader final : public dts::RowReader {
 public:
  SelectReader(EngineCore& engine, TranslatedSelect t, std::int64_t limit, std::int64_t textsize)
      : engine_(engine), out_(std::move(t.columns)), stmt_(engine.db(), t.sql), limit_(limit), textsize_(textsize) {
    for (const auto& c : out_) {
      dts::ColumnInfo info;
      info.name = c.name;
      info.type = OleDbTypeOf(c);
      info.nullable = c.nullable;
      info.is_identity = c.identity;
      if (c.column && c.column->type == SqlType::kDecimal) {
        info.precision = static_cast<std::uint8_t>(c.column->precision);
        info.scale = static_cast<std::uint8_t>(c.column->scale);
      }
      if (c.column && IsCharType(c.column->type)) {
        const dts::ColumnInfo text = ValueInfo(*c.column);
        info.size = text.size;
        info.is_long = text.is_long;
        info.is_unicode = text.is_unicode;
        info.code_page = text.code_page;
      }
      columns_.push_back(std::move(info));
    }
  }
  const std::vector<dts::ColumnInfo>& columns() const override { return columns_; }
  bool Next(dts::Row& row) override {
    if (limit_ > 0 && read_ >= limit_) return false;
    const int rc = stmt_.StepRaw();
    if (rc == SQLITE_DONE) return false;
    if (rc != SQLITE_ROW) throw engine_.StepError(rc, "SELECT", nullptr);
    row.resize(out_.size());
    for (std::size_t i = 0; i < out_.size(); ++i) row[i] = DecodeValue(stmt_.get(), static_cast<int>(i), out_[i]);
    if (textsize_ < INT_MAX) {
      for (std::size_t i = 0; i < out_.size(); ++i) {
        if (IsLongColumn(out_[i])) CutToTextSize(*out_[i].column, textsize_, &row[i]);
      }
    }
    ++read_;
    return true;
  }

 private:
  EngineCore& engine_;
  std::vector<OutputColumn> out_;
  std::vector<dts::ColumnInfo> columns_;
  Prepared stmt_;
  std::int64_t limit_;
  std::int64_t textsize_;
  std::int64_t read_ = 0;
};

}  // namespace

void EngineCore::RunSelect(const ast::Stmt& s, BatchOutput* output) {
  Translator tr(*catalog_, state_);
  // SET NO_BROWSETABLE ON reads every query in browse mode that could be
  // written FOR BROWSE.
  const bool browse = s.select->for_browse || (state_.options.no_browsetable && s.select->set_parts.empty());
  TranslatedSelect t = tr.Select(*s.select, browse);
  Prepared st(*db_, t.sql);
  ResultSet rs;
  rs.columns = t.columns;
  rs.browse = std::move(t.browse);
  rs.computes = DescribeComputes(*s.select, t.columns);
  // SET TEXTSIZE cuts the long values (text, ntext, image, (max)) sent.
  std::vector<std::size_t> long_columns;
  if (state_.options.textsize < INT_MAX) {
    for (std::size_t i = 0; i < t.columns.size(); ++i) {
      if (IsLongColumn(t.columns[i])) long_columns.push_back(i);
    }
  }
  const std::int64_t limit = state_.options.rowcount_limit;  // SET ROWCOUNT
  while (!state_.fmtonly && (limit == 0 || static_cast<std::int64_t>(rs.rows.size()) < limit)) {
    const int rc = st.StepRaw();
    if (rc == SQLITE_DONE) break;
    if (rc != SQLITE_ROW) {
      com::Error error = StepError(rc, "SELECT", nullptr);
      // SQL Server streams a query's rows: those before the failing one
      // have reached the client when its error follows them.
      if (output && !rs.rows.empty()) {
        state_.rowcount = static_cast<std::int64_t>(rs.rows.size());
        output->results.push_back(std::move(rs));
        output->order.push_back({BatchOutput::Outcome::kRows, output->results.size() - 1});
      }
      throw error;
    }
    dts::Row row(t.columns.size());
    for (std::size_t i = 0; i < t.columns.size(); ++i) row[i] = DecodeValue(st.get(), static_cast<int>(i), t.columns[i]);
    for (std::size_t i : long_columns) CutToTextSize(*t.columns[i].column, state_.options.textsize, &row[i]);
    rs.rows.push_back(std::move(row));
  }
  state_.rowcount = static_cast<std::int64_t>(rs.rows.size());
  if (!s.select->computes.empty()) RunComputes(*s.select, &rs);
  if (output) {
    output->results.push_back(std::move(rs));
    output->order.push_back({BatchOutput::Outcome::kRows, output->results.size() - 1});
  }
}

void EngineCore::RunSelectAssign(const ast::Stmt& s) {
  Translator tr(*catalog_, state_);
  const TranslatedSelect t = tr.Select(*s.select);
  Prepared st(*db_, t.sql);
  std::vector<com::Variant> last(t.columns.size());
  std::vector<Stored> last_stored(t.columns.size());
  // A sql_variant value goes to a sql_variant variable as it is stored,
  // keeping its base type, and to no variable of another type (257).
  std::vector<bool> as_stored(t.columns.size());
  for (std::size_t i = 0; i < last.size(); ++i) {
    const std::string& name = s.select->items[i].variable;
    const VariableStore::Variable* v = Variables(name).Find(name);
    if (!v) throw UndeclaredVariableError(name);
    const bool to_variant = v->type.type == SqlType::kSqlVariant;
    if (t.columns[i].type == VT::kVariant && !to_variant) {
      throw SqlErr(257, "Implicit conversion from data type sql_variant to " + TypeBaseName(v->type) +
                            " is not allowed. Use the CONVERT function to run this query.");
    }
    as_stored[i] = to_variant && t.columns[i].type == VT::kVariant;
  }
  std::int64_t rows = 0;
  const std::int64_t limit = state_.options.rowcount_limit;  // SET ROWCOUNT
  while (limit == 0 || rows < limit) {
    const int rc = st.StepRaw();
    if (rc == SQLITE_DONE) break;
    if (rc != SQLITE_ROW) throw StepError(rc, "SELECT", nullptr);
    for (std::size_t i = 0; i < last.size(); ++i) {
      if (as_stored[i]) {
        last_stored[i] = RawStored(st.get(), static_cast<int>(i));
      } else {
        last[i] = DecodeValue(st.get(), static_cast<int>(i), t.columns[i]);
      }
    }
    ++rows;
  }
  if (rows > 0) {
    for (std::size_t i = 0; i < last.size(); ++i) {
      const std::string& name = s.select->items[i].variable;
      if (as_stored[i]) {
        Variables(name).Set(name, last_stored[i]);
      } else {
        Variables(name).Assign(name, last[i]);
      }
    }
  }
  state_.rowcount = rows;
}

void EngineCore::RunSelectInto(const ast::Stmt& s) {
  const ast::Select& select = *s.select;
  Translator tr(*catalog_, state_);
  const TranslatedSelect t = tr.Select(select);
  // The identity column read as it is from the one table of a query that
  // neither joins, groups nor combines keeps its identity property.
  const TableMeta* only = nullptr;
  if (select.from.size() == 1 && !select.from[0].derived && select.from[0].joined.empty() && select.group_by.empty() &&
      select.set_parts.empty()) {
    only = IsTemporaryName(select.from[0].name.object) || !catalog_->FindView(select.from[0].name.object)
               ? catalog_->FindTable(select.from[0].name.object)
               : nullptr;
  }
  // The name as written, each part quoted ("db..t" keeps its empty schema).
  std::string create = "CREATE TABLE ";
  if (!select.into.database.empty()) create += com::Quoted(select.into.database, '[', ']') + ".";
  if (!select.into.database.empty() && select.into.schema.empty()) create += ".";
  if (!select.into.schema.empty()) create += com::Quoted(select.into.schema, '[', ']') + ".";
  create += com::Quoted(select.into.object, '[', ']') + " (";
  bool identity_kept = false;
  for (std::size_t i = 0; i < t.columns.size(); ++i) {
    const OutputColumn& c = t.columns[i];
    if (c.name.empty()) {
      throw SqlErr(1038, "An object or column name is missing or empty. For SELECT INTO statements, verify each "
                         "column has a name. For other statements, look for empty alias names. Aliases defined as "
                         "\"\" or [] are not allowed. Change the alias to a valid name.");
    }
    create += (i ? ", " : "") + com::Quoted(c.name, '[', ']') + " " +
              TypeDisplayName(ColumnTypeOf(c));
    const int identity = only ? only->IdentityColumn() : -1;
    if (c.identity && identity >= 0 && !identity_kept) {
      const ColumnMeta& source = only->columns[static_cast<std::size_t>(identity)];
      create += " IDENTITY(" + std::to_string(source.seed) + ", " + std::to_string(source.step) + ")";
      identity_kept = true;
    }
    create += c.nullable ? " NULL" : " NOT NULL";
  }
  create += ")";
  auto statements = ParseBatch(create);
  RunCreateTable(*statements.at(0), create);
  const TableMeta* made = catalog_->FindTable(select.into.object);
  if (!made) throw SqlErr(kInvalidObject, "Invalid object name '" + select.into.Display() + "'.");
  std::string insert = "INSERT INTO " + QuoteSqlite(made->name) + " SELECT * FROM (" + t.sql + ")";
  if (state_.options.rowcount_limit > 0) insert += " LIMIT " + std::to_string(state_.options.rowcount_limit);
  db_->SetTableWritten(made->name);
  Prepared st(*db_, insert);
  const int rc = st.StepRaw();
  if (rc != SQLITE_DONE) throw StepError(rc, "SELECT INTO", made);
  const std::int64_t rows = sqlite3_changes(db_->get());
  const int identity = made->IdentityColumn();
  if (identity >= 0 && rows > 0) {
    const std::string column = QuoteSqlite(made->columns[static_cast<std::size_t>(identity)].name);
    const bool up = made->columns[static_cast<std::size_t>(identity)].step > 0;
    Prepared last(*db_, "SELECT " + std::string(up ? "max(" : "min(") + column + ") FROM " + QuoteSqlite(made->name));
    if (last.Step() && !last.IsNull(0)) catalog_->SetLastIdentity(made->id, last.Int(0));
  }
  state_.rowcount = rows;
}

std::unique_ptr<dts::RowReader> EngineCore::Query(std::string_view select) {
  catalog_->Refresh();
  auto statements = ParseBatch(select, state_.options.quoted_identifier);
  if (statements.size() != 1 || statements[0]->kind != ast::StmtKind::kSelect) {
    throw SqlErr(kNotSupported, "A query must be exactly one SELECT statement.");
  }
  if (!statements[0]->select->computes.empty()) {
    throw SqlErr(kNotSupported, "A query read row by row cannot have a COMPUTE clause: its compute rows are sent with "
                                "a batch's results only.");
  }
  if (statements[0]->select->for_browse) {
    throw SqlErr(kNotSupported, "A query read row by row cannot be FOR BROWSE: browse mode's table and key columns are "
                                "sent with a batch's results only.");
  }
  Translator tr(*catalog_, state_);
  try {
    return std::make_unique<SelectReader>(*this, tr.Select(*statements[0]->select), state_.options.rowcount_limit,
                                          state_.options.textsize);
  } catch (const com::Error& e) {
    if (IsSqliteNestingLimit(e)) throw NestedTooDeeplyError();
    throw;
  }
}

std::vector<dts::ColumnInfo> EngineCore::DescribeTable(std::string_view object_name) {
  catalog_->Refresh();
  const TableMeta& t = ResolveTable(ParseObjectName(object_name));
  std::vector<dts::ColumnInfo> out;
  for (const auto& c : t.columns) {
    dts::ColumnInfo info = ValueInfo(c.type);
    info.name = c.name;
    info.nullable = c.nullable;
    info.is_identity = c.identity;
    const int index = static_cast<int>(out.size());
    for (const auto& k : t.keys) {
      if (k.primary && std::find(k.columns.begin(), k.columns.end(), index) != k.columns.end()) info.is_key = true;
    }
    out.push_back(std::move(info));
  }
  return out;
}

}  // namespace sqlsrv
