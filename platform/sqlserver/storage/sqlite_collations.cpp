#include "platform/sqlserver/storage/sqlite_collations.h"

#include <algorithm>
#include <cstring>

#include "platform/com/names.h"
#include "platform/com/numeric.h"
#include "platform/dts/convert.h"
#include "platform/sqlserver/collation.h"
#include "platform/sqlserver/errors.h"
#include "platform/sqlserver/storage/sqlite.h"
#include "platform/sqlserver/types.h"

namespace sqlsrv {
namespace {

// The server collation: ASCII letters without regard to case, trailing
// blanks ignored, everything else byte by byte.
int CompareCi(void*, int na, const void* pa, int nb, const void* pb) {
  auto a = static_cast<const unsigned char*>(pa);
  auto b = static_cast<const unsigned char*>(pb);
  while (na > 0 && a[na - 1] == ' ') --na;
  while (nb > 0 && b[nb - 1] == ' ') --nb;
  const int n = std::min(na, nb);
  for (int i = 0; i < n; ++i) {
    if (a[i] == b[i]) continue;  // most bytes of keys compared are equal
    const int ca = static_cast<unsigned char>(com::AsciiLower(static_cast<char>(a[i])));
    const int cb = static_cast<unsigned char>(com::AsciiLower(static_cast<char>(b[i])));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return na == nb ? 0 : (na < nb ? -1 : 1);
}

// A case-sensitive collation: as the server's, then on a tie the first
// letter differing only in case, lower case first.
int CompareCs(void* unused, int na, const void* pa, int nb, const void* pb) {
  if (const int ci = CompareCi(unused, na, pa, nb, pb)) return ci;
  auto a = static_cast<const unsigned char*>(pa);
  auto b = static_cast<const unsigned char*>(pb);
  const int n = std::min(na, nb);
  for (int i = 0; i < n; ++i) {
    if (a[i] != b[i]) return a[i] > b[i] ? -1 : 1;  // 'a' (0x61) before 'A' (0x41)
  }
  return 0;
}

// A binary collation: bytes of UTF-8, so code points, trailing blanks
// ignored.
int CompareBin(void*, int na, const void* pa, int nb, const void* pb) {
  auto a = static_cast<const unsigned char*>(pa);
  auto b = static_cast<const unsigned char*>(pb);
  while (na > 0 && a[na - 1] == ' ') --na;
  while (nb > 0 && b[nb - 1] == ' ') --nb;
  const int n = std::min(na, nb);
  if (const int c = n > 0 ? std::memcmp(a, b, static_cast<std::size_t>(n)) : 0) return c < 0 ? -1 : 1;
  return na == nb ? 0 : (na < nb ? -1 : 1);
}

// VKDEC: decimal texts compared as the numbers they are.
int CompareDecimal(void*, int na, const void* pa, int nb, const void* pb) {
  return com::CompareNumericText(std::string_view(static_cast<const char*>(pa), static_cast<std::size_t>(na)),
                                 std::string_view(static_cast<const char*>(pb), static_cast<std::size_t>(nb)));
}

// VKGUID: GUIDs (uniqueidentifier's upper-case text) in SQL Server's
// order: the bytes of the binary form compared 10 to 15, then 8 and 9, 6
// and 7, 4 and 5, 0 to 3. Texts that are not GUIDs sort after those that
// are, by their bytes.
int CompareGuid(void*, int na, const void* pa, int nb, const void* pb) {
  const std::string_view a(static_cast<const char*>(pa), static_cast<std::size_t>(na));
  const std::string_view b(static_cast<const char*>(pb), static_cast<std::size_t>(nb));
  const auto ga = dts::GuidText(a), gb = dts::GuidText(b);
  if (!ga || !gb) {
    if (ga || gb) return ga ? -1 : 1;
    return a.compare(b) < 0 ? -1 : a.compare(b) > 0 ? 1 : 0;
  }
  static constexpr int kOrder[16] = {10, 11, 12, 13, 14, 15, 8, 9, 6, 7, 4, 5, 0, 1, 2, 3};
  const std::string x = dts::GuidBytes(*ga), y = dts::GuidBytes(*gb);
  for (const int i : kOrder) {
    const auto u = static_cast<unsigned char>(x[static_cast<std::size_t>(i)]);
    const auto v = static_cast<unsigned char>(y[static_cast<std::size_t>(i)]);
    if (u != v) return u < v ? -1 : 1;
  }
  return 0;
}

// VKVAR: sql_variant texts in SQL Server's order of sql_variant values:
// by the family of their base types (dates highest, then approximate
// numbers, exact numbers, character data, binary data, GUIDs), then by
// value; character data in the server collation. Texts that are no
// sql_variant's sort first, by their bytes.
int VariantFamily(SqlType t) {
  if (IsDateType(t)) return 6;
  if (IsFloatType(t)) return 5;
  if (IsIntegerType(t) || IsMoneyType(t) || t == SqlType::kDecimal) return 4;
  if (IsCharType(t)) return 3;
  if (IsBinaryType(t)) return 2;
  return 1;  // uniqueidentifier
}

int CompareVariant(void*, int na, const void* pa, int nb, const void* pb) {
  const std::string_view a(static_cast<const char*>(pa), static_cast<std::size_t>(na));
  const std::string_view b(static_cast<const char*>(pb), static_cast<std::size_t>(nb));
  ColumnType ta, tb;
  Stored va, vb;
  const bool ok_a = ParseVariantText(a, &ta, &va), ok_b = ParseVariantText(b, &tb, &vb);
  if (!ok_a || !ok_b) {
    if (ok_a != ok_b) return ok_a ? 1 : -1;
    return a.compare(b) < 0 ? -1 : a.compare(b) > 0 ? 1 : 0;
  }
  const int fa = VariantFamily(ta.type), fb = VariantFamily(tb.type);
  if (fa != fb) return fa < fb ? -1 : 1;
  const auto sign = [](auto x, auto y) { return x < y ? -1 : x > y ? 1 : 0; };
  switch (fa) {
    case 6:  // stored text "YYYY-MM-DD HH:MM:SS.mmm"
      return sign(va.s.compare(vb.s), 0);
    case 5:
      return sign(va.r, vb.r);
    case 4: {
      if (!IsMoneyType(ta.type) && !IsMoneyType(tb.type) && ta.type != SqlType::kDecimal &&
          tb.type != SqlType::kDecimal) {
        return sign(va.i, vb.i);
      }
      const auto decimal_text = [](const ColumnType& t, const Stored& v) {
        if (t.type == SqlType::kDecimal) return v.s;
        if (IsMoneyType(t.type)) return FromStored(v, t).ToText();
        return std::to_string(v.i);
      };
      return com::CompareNumericText(decimal_text(ta, va), decimal_text(tb, vb));
    }
    case 3:
      return CompareCi(nullptr, static_cast<int>(va.s.size()), va.s.data(), static_cast<int>(vb.s.size()), vb.s.data());
    case 2:
      return sign(va.s.compare(vb.s), 0);
    default:
      return CompareGuid(nullptr, static_cast<int>(va.s.size()), va.s.data(), static_cast<int>(vb.s.size()),
                         vb.s.data());
  }
}

// The collations translated SQL compares by.
const struct {
  const char* name;
  int (*compare)(void*, int, const void*, int, const void*);
} kCollations[] = {
    {"VKCI", &CompareCi},           {"VKCS", &CompareCs},     {"VKBIN", &CompareBin},
    {"VKDEC", &CompareDecimal},     {"VKGUID", &CompareGuid}, {"VKVAR", &CompareVariant},
};

}  // namespace

std::string SqliteCollation(std::string_view collation) {
  const std::string upper = com::UpperAscii(std::string(collation));
  auto ends = [&](std::string_view tail) {
    return upper.size() > tail.size() && upper.compare(upper.size() - tail.size(), tail.size(), tail) == 0;
  };
  std::string sqlite;
  std::string rest;  // after the case part: the accent and width parts
  if (ends("_BIN") || ends("_BIN2")) {
    sqlite = "VKBIN";
  } else {
    const auto ci = upper.rfind("_CI_"), cs = upper.rfind("_CS_");
    const auto at = ci != std::string::npos ? ci : cs;
    if (at == std::string::npos) throw SqlErr(448, "Invalid collation '" + std::string(collation) + "'.");
    sqlite = ci != std::string::npos ? "VKCI" : "VKCS";
    rest = upper.substr(at + 4);
    if (rest != "AS" && rest != "AI" && rest.rfind("AS_", 0) != 0 && rest.rfind("AI_", 0) != 0) {
      throw SqlErr(448, "Invalid collation '" + std::string(collation) + "'.");
    }
  }
  if (CollationCodePage(collation) == 0 || rest.rfind("AI", 0) == 0 || rest.find("KS") != std::string::npos ||
      rest.find("WS") != std::string::npos) {
    throw SqlErr(kNotSupported, "The collation " + std::string(collation) +
                                    " is not supported by the embedded server; it compares text as "
                                    "case-insensitive, case-sensitive or binary, accent-sensitive collations "
                                    "of the families it knows do.");
  }
  return sqlite;
}

void RegisterCollations(sqlite3* db) {
  for (const auto& c : kCollations) {
    const int rc = sqlite3_create_collation(db, c.name, SQLITE_UTF8, nullptr, c.compare);
    if (rc != SQLITE_OK) throw SqliteError(db, rc, std::string("cannot register ") + c.name, {});
  }
}

}  // namespace sqlsrv
