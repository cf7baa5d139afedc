// Reading the rows of translated SQL: each column as a Variant of the type
// the translator gave it.
#include "platform/sqlserver/execution/result_values.h"

#include <cstdint>
#include <limits>
#include <string_view>

#include "platform/com/numeric.h"
#include "platform/sqlserver/types.h"

namespace sqlsrv {
namespace {

std::string_view BlobColumn(sqlite3_stmt* s, int i) {
  const void* p = sqlite3_column_blob(s, i);
  return {static_cast<const char*>(p), static_cast<std::size_t>(sqlite3_column_bytes(s, i))};
}

}  // namespace

Stored RawStored(sqlite3_stmt* s, int i) {
  Stored out;
  switch (sqlite3_column_type(s, i)) {
    case SQLITE_NULL: break;
    case SQLITE_INTEGER: out.kind = Stored::kInteger, out.i = sqlite3_column_int64(s, i); break;
    case SQLITE_FLOAT: out.kind = Stored::kReal, out.r = sqlite3_column_double(s, i); break;
    case SQLITE_BLOB: out.kind = Stored::kBlob, out.s = std::string(BlobColumn(s, i)); break;
    default: {
      const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s, i));
      out.kind = Stored::kText;
      out.s.assign(p, static_cast<std::size_t>(sqlite3_column_bytes(s, i)));
      break;
    }
  }
  return out;
}

com::Variant DecodeValue(sqlite3_stmt* s, int i, const OutputColumn& c) {
  const int t = sqlite3_column_type(s, i);
  if (t == SQLITE_NULL) return com::Variant::Null();
  if (c.column) {
    switch (t) {
      case SQLITE_INTEGER: return FromStoredInteger(sqlite3_column_int64(s, i), *c.column);
      case SQLITE_FLOAT: return FromStoredReal(sqlite3_column_double(s, i), *c.column);
      case SQLITE_BLOB: return FromStoredBlob(BlobColumn(s, i), *c.column);
      default: {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s, i));
        return FromStoredText(std::string_view(p, static_cast<std::size_t>(sqlite3_column_bytes(s, i))), *c.column);
      }
    }
  }
  switch (c.type) {
    case VT::kBit: case VT::kBool: return com::Variant::Bool(sqlite3_column_int64(s, i) != 0);
    case VT::kMoney: return com::Variant::Currency(sqlite3_column_int64(s, i));
    case VT::kDate: return com::Variant::Date(OleDateFromText(reinterpret_cast<const char*>(sqlite3_column_text(s, i))));
    case VT::kInt:
      if (t == SQLITE_INTEGER) {
        const std::int64_t v = sqlite3_column_int64(s, i);
        if (v >= std::numeric_limits<std::int32_t>::min() && v <= std::numeric_limits<std::int32_t>::max()) {
          return com::Variant::I4(static_cast<std::int32_t>(v));
        }
        return com::Variant::I8(v);
      }
      break;
    case VT::kFloat: return com::Variant::R8(sqlite3_column_double(s, i));
    case VT::kBinary: return com::Variant::Bytes(BlobColumn(s, i));
    case VT::kDecimal: {
      // Every decimal the translator types has its column type; a value
      // without one keeps its own scale.
      com::Numeric n;
      if (com::ParseNumeric(reinterpret_cast<const char*>(sqlite3_column_text(s, i)), &n) == com::NumericStatus::kOk) {
        return com::Variant::Decimal(com::FormatNumeric(n));
      }
      break;
    }
    default: break;
  }
  if (t == SQLITE_INTEGER) return com::Variant::I4(static_cast<std::int32_t>(sqlite3_column_int64(s, i)));
  if (t == SQLITE_FLOAT) return com::Variant::R8(sqlite3_column_double(s, i));
  const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s, i));
  return com::Variant::Text(std::string_view(p, static_cast<std::size_t>(sqlite3_column_bytes(s, i))));
}

}  // namespace sqlsrv
