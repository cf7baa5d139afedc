// Queries: a SELECT inside a batch (its rows collected), a SELECT streamed
// row by row, and the columns of a table as a bulk load sees them.
#include <sqlite3.h>

#include <algorithm>
#include <climits>

#include "platform/dts/convert.h"
#include "platform/dts/oledb.h"
#include "platform/sqlserver/engine_internal.h"
#include "platform/sqlserver/errors.h"
#include "platform/sqlserver/parser.h"
#include "platform/sqlserver/result_values.h"

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
  Stmt stmt_;
  std::int64_t limit_;
  std::int64_t textsize_;
  std::int64_t read_ = 0;
};

}  // namespace

void EngineCore::RunSelect(const ast::Stmt& s, BatchOutput* output) {
  Translator tr(*catalog_, state_);
  TranslatedSelect t = tr.Select(*s.select);
  Stmt st(*db_, t.sql);
  ResultSet rs;
  rs.columns = t.columns;
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
  if (output) {
    output->results.push_back(std::move(rs));
    output->order.push_back({BatchOutput::Outcome::kRows, output->results.size() - 1});
  }
}

void EngineCore::RunSelectAssign(const ast::Stmt& s) {
  Translator tr(*catalog_, state_);
  const TranslatedSelect t = tr.Select(*s.select);
  Stmt st(*db_, t.sql);
  std::vector<com::Variant> last(t.columns.size());
  std::int64_t rows = 0;
  const std::int64_t limit = state_.options.rowcount_limit;  // SET ROWCOUNT
  while (limit == 0 || rows < limit) {
    const int rc = st.StepRaw();
    if (rc == SQLITE_DONE) break;
    if (rc != SQLITE_ROW) throw StepError(rc, "SELECT", nullptr);
    for (std::size_t i = 0; i < last.size(); ++i) last[i] = DecodeValue(st.get(), static_cast<int>(i), t.columns[i]);
    ++rows;
  }
  if (rows > 0) {
    for (std::size_t i = 0; i < last.size(); ++i) {
      const std::string& name = s.select->items[i].variable;
      Variables(name).Assign(name, last[i]);
    }
  }
  state_.rowcount = rows;
}

std::unique_ptr<dts::RowReader> EngineCore::Query(std::string_view select) {
  catalog_->Refresh();
  auto statements = ParseBatch(select, state_.options.quoted_identifier);
  if (statements.size() != 1 || statements[0]->kind != ast::StmtKind::kSelect) {
    throw SqlErr(kNotSupported, "A query must be exactly one SELECT statement.");
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
