// The row inserter: identity values, defaults, conversions and the NOT
// NULL check of each row, then one prepared INSERT per row, or one
// INSERT ... SELECT from vk_rows for a batch of rows (row_source.h).
#include <sqlite3.h>

#include <charconv>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

#include "platform/com/unicode.h"
#include "platform/dts/oledb.h"
#include "platform/sqlserver/execution/engine_internal.h"
#include "platform/sqlserver/errors.h"
#include "platform/sqlserver/execution/result_values.h"

namespace sqlsrv {
namespace {

// The identity after `value`, or nullopt past the 64-bit range.
std::optional<std::int64_t> Advanced(std::int64_t value, std::int64_t step) {
  std::int64_t next = 0;
  if (__builtin_add_overflow(value, step, &next)) return std::nullopt;
  return next;
}

// The values an identity column of the type holds: its integer type's
// range; a decimal(p, 0)'s p digits, counted as bigint counts.
struct IdentityRange {
  std::int64_t min = INT64_MIN;
  std::int64_t max = INT64_MAX;
  bool Holds(std::int64_t v) const { return v >= min && v <= max; }
};

IdentityRange IdentityRangeOf(const ColumnType& t) {
  switch (t.type) {
    case SqlType::kInt: return {INT32_MIN, INT32_MAX};
    case SqlType::kSmallInt: return {INT16_MIN, INT16_MAX};
    case SqlType::kTinyInt: return {0, 255};
    case SqlType::kDecimal: {
      if (t.precision >= 19) return {};
      std::int64_t max = 1;
      for (int i = 0; i < t.precision; ++i) max *= 10;
      return {-(max - 1), max - 1};
    }
    default: return {};
  }
}

// A timestamp column's value: the counter's 8 bytes, most significant
// first, held by `bytes`.
CellValue TimestampCell(std::uint64_t value, Stored* bytes) {
  bytes->kind = Stored::kBlob;
  bytes->s = TimestampBytes(value);
  return CellOf(*bytes);
}

// An identity value as its column stores it: a decimal's as its text, held
// by `text`.
CellValue IdentityCell(std::int64_t value, const ColumnType& t, Stored* text) {
  if (t.type != SqlType::kDecimal) return CellValue{Stored::kInteger, value, 0, {}};
  text->kind = Stored::kText;
  text->s = std::to_string(value);
  return CellOf(*text);
}

// The identity value a stored cell holds, if it is one.
std::optional<std::int64_t> IdentityOfCell(const CellValue& cell) {
  if (cell.kind == Stored::kInteger) return cell.i;
  std::int64_t v = 0;
  if (cell.kind == Stored::kText && !cell.bytes.empty()) {
    const auto [end, ec] = std::from_chars(cell.bytes.data(), cell.bytes.data() + cell.bytes.size(), v);
    if (ec == std::errc() && end == cell.bytes.data() + cell.bytes.size()) return v;
  }
  return std::nullopt;
}

// True for the failures of a statement storing rows that a row or value
// causes (a key, a foreign key, a value out of range), which SQLite answers
// by taking back the statement alone; the others (a lock, a cancel, the
// storage failing) end the statement whatever its rows.
bool IsRowFailure(int rc) {
  const int primary = rc & 0xFF;
  return primary == SQLITE_CONSTRAINT || primary == SQLITE_ERROR || primary == SQLITE_RANGE ||
         primary == SQLITE_MISMATCH || primary == SQLITE_TOOBIG;
}

}  // namespace


RowInserter::RowInserter(EngineCore& engine, const TableMeta& table, std::vector<int> targets, bool explicit_identity)
    : engine_(engine), table_(table), targets_(std::move(targets)), explicit_identity_(explicit_identity),
      identity_column_(table.IdentityColumn()), rowversion_column_(table.RowversionColumn()) {
  slot_of_column_.assign(table.columns.size(), -1);
  for (std::size_t i = 0; i < targets_.size(); ++i) slot_of_column_[static_cast<std::size_t>(targets_[i])] = static_cast<int>(i);
  if (identity_column_ >= 0) {
    const ColumnMeta& c = table.columns[static_cast<std::size_t>(identity_column_)];
    identity_.last = engine.catalog().LastIdentity(table.id);
    identity_.next = identity_.last ? Advanced(*identity_.last, c.step) : c.seed;
  }
  // Column defaults, evaluated once: for the columns no value is given for,
  // and for a given NULL when NULLs take defaults.
  defaults_.assign(table.columns.size(), Stored());
  std::vector<const ast::Expr*> exprs;
  std::vector<int> owners;
  for (std::size_t i = 0; i < table.columns.size(); ++i) {
    if (table.columns[i].default_value) {
      exprs.push_back(table.columns[i].default_value.get());
      owners.push_back(static_cast<int>(i));
    }
  }
  if (!exprs.empty()) {
    std::vector<ColumnType> types;
    for (const int owner : owners) types.push_back(table.columns[static_cast<std::size_t>(owner)].type);
    Translator tr(engine.catalog(), engine.state());
    TranslatedSelect c = tr.Constants(exprs, types);
    Prepared st(engine.db(), c.sql);
    const int rc = st.StepRaw();
    if (rc != SQLITE_ROW) throw engine.StepError(rc, "INSERT", &table);
    for (std::size_t k = 0; k < owners.size(); ++k) {
      const ColumnMeta& col = table.columns[static_cast<std::size_t>(owners[k])];
      if (col.type.type == SqlType::kSqlVariant) {
        // With the base type of the default's own value.
        defaults_[static_cast<std::size_t>(owners[k])] = RawStored(st.get(), static_cast<int>(k));
        continue;
      }
      ToStored(DecodeValue(st.get(), static_cast<int>(k), c.columns[k]), col.type,
               &defaults_[static_cast<std::size_t>(owners[k])]);
    }
  }
  for (const auto& c : table.columns) value_info_.push_back(ValueInfo(c.type));
  insert_into_ = "INSERT INTO " + QuoteSqlite(table.name) + " (";
  std::string params;
  for (std::size_t i = 0; i < table.columns.size(); ++i) {
    insert_into_ += (i ? ", " : "") + QuoteSqlite(table.columns[i].name);
    params += i ? ", ?" : "?";
  }
  insert_into_ += ") ";
  insert_ = Prepared(engine.db(), insert_into_ + "VALUES (" + params + ")");
}

bool RowInserter::AsGiven(std::size_t column, const com::Variant& v, CellValue* cell) const {
  const dts::ColumnInfo& info = value_info_[column];
  auto integer = [&](com::VarType own) {
    if (v.type() != own) return false;
    cell->kind = Stored::kInteger;
    cell->i = own == com::VarType::kBool ? (v.integer() != 0 ? 1 : 0) : v.integer();
    return true;
  };
  switch (info.type) {
    case dts::DBTYPE_BOOL: return integer(com::VarType::kBool);
    case dts::DBTYPE_UI1: return integer(com::VarType::kUI1);
    case dts::DBTYPE_I2: return integer(com::VarType::kI2);
    case dts::DBTYPE_I4: return integer(com::VarType::kI4);
    case dts::DBTYPE_I8: return integer(com::VarType::kI8);
    case dts::DBTYPE_CY:
      // smallmoney holds a narrower range than the Variant.
      if (v.type() == com::VarType::kCurrency && info.precision == 10 &&
          (v.integer() > 2147483647LL || v.integer() < -2147483648LL)) {
        return false;
      }
      return integer(com::VarType::kCurrency);
    case dts::DBTYPE_R8:
      if (v.type() != com::VarType::kR8) return false;
      cell->kind = Stored::kReal;
      cell->r = v.real();
      return true;
    case dts::DBTYPE_WSTR: case dts::DBTYPE_STR: {
      // char(n) and nchar(n) take the conversion, which pads them.
      if (!v.IsText() || info.is_fixed_length) return false;
      const std::string& text = v.text();
      // No text has more UTF-16 units, nor more bytes in a code page, than
      // UTF-8 bytes; single-byte text must also be one the code page holds.
      if (text.empty() || (!info.is_long && text.size() > info.size)) return false;
      if (info.type == dts::DBTYPE_STR && info.code_page != 0 && !com::IsAscii(text)) return false;
      cell->kind = Stored::kText;
      cell->bytes = text;
      return true;
    }
    default:
      return false;  // dates, decimals and reals take the conversion
  }
}

void RowInserter::PrepareRow(const std::vector<com::Variant>& values, CellValue* cells, Stored* converted,
                             Identity* identity) {
  failed_column_.clear();
  bool generated = false;
  std::optional<std::int64_t> given_identity;
  for (std::size_t i = 0; i < table_.columns.size(); ++i) {
    const ColumnMeta& c = table_.columns[i];
    const int slot = slot_of_column_[i];
    const com::Variant* given = slot >= 0 ? &values[static_cast<std::size_t>(slot)] : nullptr;
    CellValue& cell = cells[i];
    if (static_cast<int>(i) == rowversion_column_) {
      if (given && !given->IsNull()) {
        failed_column_ = c.name;
        throw SqlErr(273, "Cannot insert an explicit value into a timestamp column. Use INSERT with a column list to "
                          "exclude the timestamp column, or insert a DEFAULT into the timestamp column.");
      }
      cell = TimestampCell(engine_.catalog().NextTimestamp(), &converted[i]);
      continue;
    }
    if (given && !given->IsNull() && AsGiven(i, *given, &cell)) {
      if (static_cast<int>(i) == identity_column_) given_identity = cell.i;
      continue;
    }
    if (given && nulls_take_defaults_ && given->IsNull()) {
      cell = CellOf(defaults_[i]);
    } else if (given) {
      try {
        ToStored(*given, value_info_[i], &converted[i]);
      } catch (const com::Error&) {
        failed_column_ = c.name;
        throw;
      }
      cell = CellOf(converted[i]);
      if (static_cast<int>(i) == identity_column_) given_identity = IdentityOfCell(cell);
    } else if (static_cast<int>(i) == identity_column_) {
      if (!identity->next || !IdentityRangeOf(c.type).Holds(*identity->next)) {
        throw ConvertOverflowError(TypeDisplayName(c.type), "IDENTITY");
      }
      cell = IdentityCell(*identity->next, c.type, &converted[i]);
      generated = true;
    } else {
      cell = CellOf(defaults_[i]);
    }
    if (cell.kind == Stored::kNull && !c.nullable) {
      failed_column_ = c.name;
      throw NotNullError(c.name, QualifiedName(engine_.database(), table_.name), "INSERT");
    }
  }
  if (identity_column_ < 0) return;
  const std::int64_t step = table_.columns[static_cast<std::size_t>(identity_column_)].step;
  if (generated) {
    identity->last = identity->next;
    identity->next = Advanced(*identity->next, step);
  } else if (explicit_identity_ && given_identity) {
    if (!identity->last || (step > 0 ? *given_identity > *identity->last : *given_identity < *identity->last)) {
      identity->last = given_identity;
      identity->next = Advanced(*given_identity, step);
    }
  }
}

void RowInserter::StoreRow(const CellValue* cells, const std::vector<com::Variant>& values) {
  for (std::size_t i = 0; i < table_.columns.size(); ++i) BindCell(insert_, static_cast<int>(i + 1), cells[i]);
  const int rc = insert_.StepRaw();
  insert_.Rewind();
  if (rc != SQLITE_DONE) {
    if (rc == SQLITE_CONSTRAINT_FOREIGNKEY) {
      // Name the foreign key whose referenced row is missing.
      for (const auto& fk : table_.foreign_keys) {
        std::string probe = "SELECT 1 FROM " + QuoteSqlite(fk.ref_table) + " WHERE ";
        std::vector<com::Variant> keys;
        bool has_null = false;
        for (std::size_t k = 0; k < fk.columns.size(); ++k) {
          const int slot = slot_of_column_[static_cast<std::size_t>(fk.columns[k])];
          com::Variant key = slot >= 0 ? values[static_cast<std::size_t>(slot)] : com::Variant::Null();
          has_null = has_null || key.IsNull();
          keys.push_back(key);
          probe += (k ? " AND " : "") + QuoteSqlite(fk.ref_columns[k]) + " = ?";
        }
        if (has_null) continue;
        const TableMeta* parent = engine_.catalog().FindTable(fk.ref_table);
        Prepared p(engine_.db(), probe + " LIMIT 1");
        for (std::size_t k = 0; k < keys.size(); ++k) {
          Stored s;
          const ColumnMeta& pc = parent ? parent->columns[static_cast<std::size_t>(parent->Find(fk.ref_columns[k]))]
                                        : table_.columns[static_cast<std::size_t>(fk.columns[k])];
          ToStored(keys[k], pc.type, &s);
          Bind(p, static_cast<int>(k + 1), s);
        }
        if (!p.Step()) {
          failed_column_ = table_.columns[static_cast<std::size_t>(fk.columns[0])].name;
          throw InsertForeignKeyError(fk.name, engine_.database(), fk.ref_table, fk.ref_columns[0]);
        }
      }
    }
    throw engine_.StepError(rc, "INSERT", &table_);
  }
  ++rows_;
}

void RowInserter::Insert(const std::vector<com::Variant>& values) {
  const std::size_t width = table_.columns.size();
  if (cells_.size() < width) cells_.resize(width);
  if (converted_.size() < width) converted_.resize(width);
  Identity identity = identity_;
  PrepareRow(values, cells_.data(), converted_.data(), &identity);
  StoreRow(cells_.data(), values);
  identity_ = identity;
}

void RowInserter::InsertRows(const dts::Row* rows, std::size_t count, std::size_t* written) {
  *written = 0;
  const std::size_t width = table_.columns.size();
  if (count < 2 || width > kRowSourceColumns) {
    for (; *written < count; ++*written) Insert(rows[*written]);
    return;
  }
  if (cells_.size() < count * width) cells_.resize(count * width);
  if (converted_.size() < count * width) converted_.resize(count * width);
  if (identity_after_.size() < count) identity_after_.resize(count);
  // Every row is made ready first; a row that cannot be ends the batch, its
  // error raised once the rows before it are stored.
  Identity identity = identity_;
  std::size_t ready = 0;
  std::exception_ptr unready;
  std::string unready_column;
  for (; ready < count; ++ready) {
    try {
      PrepareRow(rows[ready], &cells_[ready * width], &converted_[ready * width], &identity);
    } catch (const com::Error&) {
      unready = std::current_exception();
      unready_column = failed_column_;
      break;
    }
    identity_after_[ready] = identity;
  }
  if (ready > 1) {
    if (!insert_rows_.get()) insert_rows_ = Prepared(engine_.db(), insert_into_ + RowSourceSelect(width, 1));
    const RowSource source{width, ready, cells_.data()};
    BindRowSource(insert_rows_, 1, &source);
    const int rc = insert_rows_.StepRaw();
    insert_rows_.Rewind();
    if (rc == SQLITE_DONE) {
      rows_ += static_cast<std::int64_t>(ready);
      identity_ = identity_after_[ready - 1];
      *written = ready;
    } else {
      // Named before anything else runs on the connection.
      const com::Error error = engine_.StepError(rc, "INSERT", &table_);
      if (!engine_.db().InTransaction() || !IsRowFailure(rc)) throw error;
      // SQLite has taken the statement back: the rows go again one at a
      // time, so that the one that fails is named and the rows before it
      // are stored.
    }
  }
  for (; *written < ready; ++*written) {
    StoreRow(&cells_[*written * width], rows[*written]);
    identity_ = identity_after_[*written];
  }
  if (unready) {
    failed_column_ = unready_column;
    std::rethrow_exception(unready);
  }
}

std::optional<std::string> RowInserter::StoredAsGiven(std::size_t column, const OutputColumn& source,
                                                      const std::string& value) const {
  const ColumnType& to = table_.columns[column].type;
  const std::optional<ColumnType>& from = source.column;
  auto integer_in = [&](std::int64_t low, std::int64_t high) {
    return "vk_fit_int(" + value + ", " + std::to_string(low) + ", " + std::to_string(high) + ")";
  };
  switch (to.type) {
    case SqlType::kBit: case SqlType::kTinyInt: case SqlType::kSmallInt: case SqlType::kInt: case SqlType::kBigInt: {
      if (from && from->type == to.type) return value;
      if (source.type != VT::kInt && source.type != VT::kBit) return std::nullopt;
      const std::int64_t high = to.type == SqlType::kBit ? 1 : to.type == SqlType::kTinyInt ? 255
                                : to.type == SqlType::kSmallInt ? 32767 : to.type == SqlType::kInt ? 2147483647LL : INT64_MAX;
      const std::int64_t low = to.type == SqlType::kBit || to.type == SqlType::kTinyInt ? 0 : -high - 1;
      return integer_in(low, high);
    }
    case SqlType::kMoney: case SqlType::kSmallMoney:
      if (from && from->type == to.type) return value;
      if (source.type != VT::kMoney) return std::nullopt;
      return to.type == SqlType::kMoney ? integer_in(INT64_MIN, INT64_MAX) : integer_in(-2147483648LL, 2147483647LL);
    case SqlType::kFloat:
      if (from && from->type == to.type) return value;
      return source.type == VT::kFloat ? std::optional<std::string>("vk_fit_real(" + value + ")") : std::nullopt;
    case SqlType::kDateTime:
      return from && from->type == to.type ? std::optional<std::string>(value) : std::nullopt;
    case SqlType::kDecimal:
      // A decimal of the same scale that fits the precision is its text at
      // that scale already.
      if (from && from->type == to.type && from->scale == to.scale && from->precision <= to.precision) return value;
      return std::nullopt;
    case SqlType::kVarChar: case SqlType::kNVarChar: case SqlType::kText: case SqlType::kNText: {
      if (source.type != VT::kString) return std::nullopt;
      const bool unicode = IsUnicodeType(to.type);
      // A column of text of the same kind that is no longer fits as it is;
      // a Unicode column holds any text of as many characters.
      if (from && (from->type == SqlType::kVarChar || from->type == SqlType::kNVarChar ||
                   from->type == SqlType::kText || from->type == SqlType::kNText)) {
        const bool fits = to.length < 0 || (from->length >= 0 && from->length <= to.length);
        if (fits && (unicode || !IsUnicodeType(from->type))) return value;
      }
      return "vk_fit_text(" + value + ", " + std::to_string(to.length < 0 ? 0 : to.length) + ", " +
             (unicode ? "1" : "0") + ")";
    }
    case SqlType::kSqlVariant:
      // The value with its base type: its column's, or its static type's.
      return VariantCall(value, source.type, from.value_or(ColumnType{SqlType::kSqlVariant, 0}));
    default:
      return std::nullopt;  // fixed-length text, reals, small datetimes
  }
}

bool RowInserter::InsertSelect(const TranslatedSelect& select) {
  // An identity past 64 bits fails in the row path, with SQL Server's error.
  if (explicit_identity_ || nulls_take_defaults_ || (identity_column_ >= 0 && !identity_.next)) return false;
  if (rowversion_column_ >= 0) return false;  // each row takes the next timestamp
  std::string names, values, cte;
  std::vector<std::size_t> defaults;
  for (std::size_t k = 0; k < select.columns.size(); ++k) cte += (k ? ", c" : "c") + std::to_string(k);
  for (std::size_t i = 0; i < table_.columns.size(); ++i) {
    names += (i ? ", " : "") + QuoteSqlite(table_.columns[i].name);
    const int slot = slot_of_column_[i];
    std::string value;
    if (slot >= 0) {
      auto stored = StoredAsGiven(i, select.columns[static_cast<std::size_t>(slot)], "c" + std::to_string(slot));
      if (!stored) return false;
      value = *stored;
    } else if (static_cast<int>(i) == identity_column_) {
      value = "vk_identity()";
    } else {
      defaults.push_back(i);
      value = "?" + std::to_string(defaults.size());
    }
    values += (i ? ", " : "") + value;
  }
  Prepared insert;
  try {
    insert = Prepared(engine_.db(), "WITH vk_rows(" + cte + ") AS (" + select.sql + ") INSERT INTO " +
                                    QuoteSqlite(table_.name) + " (" + names + ") SELECT " + values + " FROM vk_rows");
  } catch (const com::Error&) {
    return false;  // a query SQLite takes only on its own: row by row
  }
  for (std::size_t p = 0; p < defaults.size(); ++p) BindInPlace(insert, static_cast<int>(p + 1), defaults_[defaults[p]]);
  FunctionContext& functions = engine_.functions();
  const std::int64_t step =
      identity_column_ >= 0 ? table_.columns[static_cast<std::size_t>(identity_column_)].step : 1;
  functions.identity_next = identity_.next.value_or(0);
  functions.identity_step = step;
  functions.identity_exhausted = false;
  engine_.db().Exec("SAVEPOINT vk_insert_select");
  int rc = insert.StepRaw();
  if (rc == SQLITE_DONE && identity_column_ >= 0 && engine_.db().Changes() > 0) {
    // The values handed out only grow (or only shrink): the last tells
    // whether any was past the column's range.
    const IdentityRange range = IdentityRangeOf(table_.columns[static_cast<std::size_t>(identity_column_)].type);
    if (!range.Holds(functions.identity_last)) rc = SQLITE_RANGE;
  }
  if (rc != SQLITE_DONE) {
    // Named before anything else runs on the connection.
    const com::Error error = engine_.StepError(rc, "INSERT", &table_);
    // A value its column converts, a key, a foreign key or a NULL is for
    // the row path to find and name. Anything else (a lock, a cancel, the
    // storage failing) ends the statement with its own error, also when the
    // savepoint is gone with a transaction SQLite rolled back itself.
    if (!engine_.db().InTransaction()) throw error;
    try {
      engine_.db().Exec("ROLLBACK TO vk_insert_select; RELEASE vk_insert_select");
    } catch (const com::Error&) {
      throw error;
    }
    if (!IsRowFailure(rc)) throw error;
    return false;
  }
  engine_.db().Exec("RELEASE vk_insert_select");
  rows_ += engine_.db().Changes();
  if (identity_column_ >= 0 && rows_ > 0) {
    identity_.last = functions.identity_last;
    identity_.next = functions.identity_exhausted ? std::nullopt : std::optional<std::int64_t>(functions.identity_next);
  }
  return true;
}

void RowInserter::Finish() {
  if (identity_column_ >= 0 && rows_ > 0) engine_.catalog().SetLastIdentity(table_.id, identity_.last);
}

}  // namespace sqlsrv
