// What the system procedures are made of, for the files defining them
// (catalog_procedures.cpp, help_procedures.cpp) only: parameters and result
// columns as data, the values of a call read by their parameters, and the
// result sets and messages a procedure appends to its batch's output.
#pragma once

#include <algorithm>
#include <climits>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/names.h"
#include "platform/com/variant.h"
#include "platform/sqlserver/catalog/catalog.h"
#include "platform/sqlserver/engine.h"
#include "platform/sqlserver/errors.h"
#include "platform/sqlserver/procedure_call.h"
#include "platform/sqlserver/catalog/system_objects.h"
#include "platform/sqlserver/translation/translate.h"

namespace sqlsrv::procedures {

using com::Variant;

// A figure that does not apply: NULL in the result.
inline constexpr int kNone = INT_MIN;

// One parameter as data.
struct ParamDef {
  const char* name;
  ColumnType type;
  enum Fallback { kRequired, kNullDefault, kTextDefault, kNumberDefault } fallback = kNullDefault;
  const char* text = nullptr;
  std::int64_t number = 0;
};

// One result column as data.
struct ResultColumn {
  const char* name;
  ColumnType type;
  bool nullable;
};

using Rows = std::vector<dts::Row>;

// What a system procedure runs: the values of its parameters, already
// bound and converted, in order (a parameter not given holds its default
// or NULL). Appends its results to `output` and returns the return status.
using RunFunction = int (*)(const std::vector<Variant>& values, Catalog& catalog, const SessionState& session,
                            BatchOutput* output);

// One system procedure as data.
struct Definition {
  std::string_view name;
  std::span<const ParamDef> parameters;
  RunFunction run;
};

// The procedures of help_procedures.cpp (sp_help and its kin).
std::span<const Definition> HelpProcedureDefinitions();

inline std::optional<Variant> DefaultOf(const ParamDef& p) {
  switch (p.fallback) {
    case ParamDef::kRequired: return std::nullopt;
    case ParamDef::kNullDefault: return Variant::Null();
    case ParamDef::kTextDefault: return Variant::Text(p.text);
    case ParamDef::kNumberDefault: break;
  }
  switch (p.type.type) {
    case SqlType::kBit: return Variant::Bool(p.number != 0);
    case SqlType::kTinyInt: return Variant::UI1(static_cast<std::uint8_t>(p.number));
    default: return Variant::I4(static_cast<std::int32_t>(p.number));
  }
}

// Values of the result columns' types.
inline Variant Str(std::string_view s) { return Variant::Text(s); }
inline Variant Small(std::int64_t v) { return Variant::I2(static_cast<std::int16_t>(v)); }
inline Variant Int(std::int64_t v) { return Variant::I4(static_cast<std::int32_t>(v)); }
inline Variant Null() { return Variant::Null(); }
// A count for an int column, held at int's largest.
inline Variant Count(std::int64_t v) { return Int(std::min<std::int64_t>(v, INT32_MAX)); }
inline Variant SmallOr(int v) { return v == kNone ? Null() : Small(v); }
inline Variant IntOr(int v) { return v == kNone ? Null() : Int(v); }
inline Variant StrOr(const char* s) { return s ? Str(s) : Null(); }

// Appends one result set.
inline void Emit(BatchOutput* output, std::span<const ResultColumn> columns, Rows rows) {
  if (!output) return;
  ResultSet rs;
  for (const ResultColumn& c : columns) rs.columns.push_back(OutputColumnOfType(c.name, c.type, c.nullable));
  rs.rows = std::move(rows);
  output->results.push_back(std::move(rs));
  output->order.push_back({BatchOutput::Outcome::kRows, output->results.size() - 1});
}

// Appends an informational message, as PRINT does, in its place among the
// results.
inline void Message(BatchOutput* output, std::string text) {
  if (!output) return;
  BatchMessage m;
  m.text = std::move(text);
  output->messages.push_back(std::move(m));
  output->order.push_back({BatchOutput::Outcome::kMessage, output->messages.size() - 1});
}

// The values of a call, read by their parameters' declarations.
class Args {
 public:
  Args(const std::vector<Variant>& values, std::span<const ParamDef> params) : values_(values), params_(params) {}

  // A text, cut to its parameter's length; nullopt for NULL.
  std::optional<std::string> Text(std::size_t i) const {
    const Variant v = Value(i);
    if (v.IsNull() || v.IsEmpty()) return std::nullopt;
    return FirstCharacters(v.ToText(), params_[i].type.length);
  }
  // A number; nullopt for NULL.
  std::optional<std::int64_t> Number(std::size_t i) const {
    const Variant v = Value(i);
    if (v.IsNull() || v.IsEmpty()) return std::nullopt;
    return v.ToInt64();
  }
  // A bit; NULL reads as the parameter's default.
  bool On(std::size_t i) const {
    const Variant v = Value(i);
    if (v.IsNull() || v.IsEmpty()) return params_[i].number != 0;
    return v.ToBool();
  }
  // The ODBC version asked for: 3, or 2 for anything else.
  int OdbcVersion(std::size_t i) const { return Number(i) == 3 ? 3 : 2; }
  // A one-letter choice among `allowed` (any case), upper case; NULL reads
  // as the default. Raises 15251 for any other value.
  char Choice(std::size_t i, std::string_view allowed) const {
    std::string text = Text(i).value_or(params_[i].text);
    const char c = text.size() == 1 ? com::AsciiUpper(text[0]) : '\0';
    if (c == '\0' || allowed.find(c) == std::string_view::npos) {
      std::string must;
      for (std::size_t k = 0; k < allowed.size(); ++k) {
        must += (k ? " or '" : "'") + std::string(1, allowed[k]) + "'";
      }
      throw SqlErr(15251, "Invalid '" + std::string(params_[i].name + 1) + "' specified. It must be " + must + ".");
    }
    return c;
  }

 private:
  Variant Value(std::size_t i) const {
    if (i < values_.size()) return values_[i];
    return DefaultOf(params_[i]).value_or(Variant::Null());
  }

  const std::vector<Variant>& values_;
  std::span<const ParamDef> params_;
};

// The error SQL Server raises for a qualifier naming a database other than
// the session's: 15250.
inline com::Error OtherDatabaseError() {
  return SqlErr(15250,
                "The database name component of the object qualifier must be the name of the current database.");
}

// Raises 15250 when a qualifier names a database other than the session's.
inline void CheckQualifier(const std::optional<std::string>& qualifier, const SessionState& session) {
  if (qualifier && !qualifier->empty() && !com::SameName(*qualifier, session.database)) throw OtherDatabaseError();
}

inline bool Given(const std::optional<std::string>& v) { return v && !v->empty(); }

}  // namespace sqlsrv::procedures
