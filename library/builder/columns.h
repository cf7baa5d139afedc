// The column definitions of a transfer, by kind, so that a transfer's rows
// read as its column table: the 5.6 source's columns by their Access types
// (Jet*), the 6.0 destination's by their SQL Server types (Sql*).
//
// A kind fixes a column's OLE DB type and flags: the flags every column of
// its side carries, ISFIXEDLENGTH for a fixed-size type, ISLONG for long
// text, and ISNULLABLE with MAYBENULL when the column takes NULL. A column
// takes NULL unless made with kNotNull. Text sizes are in characters; the
// size of every other column is 0.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string_view>

#include "library/builder/settings_tables.h"
#include "platform/dts/oledb.h"

namespace korvel::builder::columns {

enum class Nullable : bool { kNo, kYes };
inline constexpr Nullable kNotNull = Nullable::kNo;

// The flags every 5.6 source column carries.
inline constexpr std::uint32_t kJetColumnFlags = dts::kMayDeferWriteUnknownMayBeNull;
// The flags every 6.0 destination column carries, its identity column aside.
inline constexpr std::uint32_t kSqlColumnFlags = dts::DBCOLUMNFLAGS_WRITEUNKNOWN;

enum class Length { kVariable, kFixed, kLong };

// One column kind: its type, its side's flags and its length.
class ColumnKind {
 public:
  constexpr ColumnKind(dts::DbType type, std::uint32_t side_flags, Length length)
      : type_(type), side_flags_(side_flags), length_(length) {}

  constexpr ColumnSettings Make(std::string_view name, std::int32_t ordinal, std::int32_t size,
                                Nullable nullable) const {
    std::uint32_t flags = side_flags_;
    if (length_ == Length::kFixed) flags |= dts::DBCOLUMNFLAGS_ISFIXEDLENGTH;
    if (length_ == Length::kLong) flags |= dts::DBCOLUMNFLAGS_ISLONG;
    if (nullable == Nullable::kYes) flags |= dts::kIsNullableMayBeNull;
    return {name, ordinal, static_cast<std::int32_t>(flags), size, type_, nullable == Nullable::kYes};
  }

 private:
  dts::DbType type_;
  std::uint32_t side_flags_;
  Length length_;
};

// Text of a given size: Kind(name, ordinal, size).
struct SizedKind : ColumnKind {
  constexpr ColumnSettings operator()(std::string_view name, std::int32_t ordinal, std::int32_t size,
                                      Nullable nullable = Nullable::kYes) const {
    return Make(name, ordinal, size, nullable);
  }
};

// A fixed-size type, or long text: Kind(name, ordinal).
struct UnsizedKind : ColumnKind {
  constexpr ColumnSettings operator()(std::string_view name, std::int32_t ordinal,
                                      Nullable nullable = Nullable::kYes) const {
    return Make(name, ordinal, 0, nullable);
  }
};

// The 5.6 source's columns.
inline constexpr SizedKind JetText{{dts::DBTYPE_WSTR, kJetColumnFlags, Length::kVariable}};
inline constexpr UnsizedKind JetMemo{{dts::DBTYPE_WSTR, kJetColumnFlags, Length::kLong}};
inline constexpr UnsizedKind JetInteger{{dts::DBTYPE_I2, kJetColumnFlags, Length::kFixed}};
inline constexpr UnsizedKind JetLong{{dts::DBTYPE_I4, kJetColumnFlags, Length::kFixed}};
inline constexpr UnsizedKind JetSingle{{dts::DBTYPE_R4, kJetColumnFlags, Length::kFixed}};
inline constexpr UnsizedKind JetDouble{{dts::DBTYPE_R8, kJetColumnFlags, Length::kFixed}};
inline constexpr UnsizedKind JetCurrency{{dts::DBTYPE_CY, kJetColumnFlags, Length::kFixed}};
inline constexpr UnsizedKind JetDateTime{{dts::DBTYPE_DATE, kJetColumnFlags, Length::kFixed}};
inline constexpr UnsizedKind JetBoolean{{dts::DBTYPE_BOOL, kJetColumnFlags, Length::kFixed}};

// The 6.0 destination's columns.
inline constexpr SizedKind SqlNVarChar{{dts::DBTYPE_WSTR, kSqlColumnFlags, Length::kVariable}};
inline constexpr SizedKind SqlVarChar{{dts::DBTYPE_STR, kSqlColumnFlags, Length::kVariable}};
inline constexpr UnsizedKind SqlNText{{dts::DBTYPE_WSTR, kSqlColumnFlags, Length::kLong}};
inline constexpr UnsizedKind SqlSmallInt{{dts::DBTYPE_I2, kSqlColumnFlags, Length::kFixed}};
inline constexpr UnsizedKind SqlInt{{dts::DBTYPE_I4, kSqlColumnFlags, Length::kFixed}};
inline constexpr UnsizedKind SqlReal{{dts::DBTYPE_R4, kSqlColumnFlags, Length::kFixed}};
inline constexpr UnsizedKind SqlFloat{{dts::DBTYPE_R8, kSqlColumnFlags, Length::kFixed}};
inline constexpr UnsizedKind SqlMoney{{dts::DBTYPE_CY, kSqlColumnFlags, Length::kFixed}};
inline constexpr UnsizedKind SqlDateTime{{dts::DBTYPE_DBTIMESTAMP, kSqlColumnFlags, Length::kFixed}};
inline constexpr UnsizedKind SqlBit{{dts::DBTYPE_BOOL, kSqlColumnFlags, Length::kFixed}};

// An int IDENTITY column: never NULL, and its flags carry neither WRITE nor
// WRITEUNKNOWN.
constexpr ColumnSettings SqlIdentity(std::string_view name, std::int32_t ordinal) {
  return ColumnKind(dts::DBTYPE_I4, 0, Length::kFixed).Make(name, ordinal, 0, kNotNull);
}

// The column described as writable (WRITE) instead of with its writability
// unknown (WRITEUNKNOWN).
constexpr ColumnSettings Writable(ColumnSettings column) {
  const auto flags = static_cast<std::uint32_t>(column.flags);
  column.flags = static_cast<std::int32_t>((flags & ~std::uint32_t{dts::DBCOLUMNFLAGS_WRITEUNKNOWN}) |
                                           dts::DBCOLUMNFLAGS_WRITE);
  return column;
}

// One row of a column table: destination column i receives source column i.
struct ColumnPair {
  ColumnSettings source;
  ColumnSettings destination;
};

// A copy's two column lists, paired by position.
template <std::size_t N>
struct ColumnLists {
  std::array<ColumnSettings, N> source;
  std::array<ColumnSettings, N> destination;
};

// The pairs whose destination column is not named in `left_out`, as two
// lists in the pairs' order. Evaluated when the program is compiled: the
// build fails unless exactly N pairs remain.
template <std::size_t N>
consteval ColumnLists<N> PairsWithout(std::span<const ColumnPair> pairs, std::span<const std::string_view> left_out) {
  ColumnLists<N> lists{};
  std::size_t kept = 0;
  for (const ColumnPair& pair : pairs) {
    bool named = false;
    for (std::string_view name : left_out) named = named || name == pair.destination.name;
    if (named) continue;
    if (kept == N) throw std::invalid_argument("a name left out names no pair");
    lists.source[kept] = pair.source;
    lists.destination[kept] = pair.destination;
    ++kept;
  }
  if (kept != N) throw std::invalid_argument("a name left out names more than one pair");
  return lists;
}

// A column table's source and destination lists.
template <std::size_t N>
consteval ColumnLists<N> Split(const ColumnPair (&pairs)[N]) {
  return PairsWithout<N>(pairs, {});
}

// A column table's lists without the pairs whose destination columns are
// named in `left_out`, each name naming one pair.
template <std::size_t N, std::size_t L>
consteval ColumnLists<N - L> SplitWithout(const ColumnPair (&pairs)[N], const std::string_view (&left_out)[L]) {
  return PairsWithout<N - L>(pairs, left_out);
}

}  // namespace korvel::builder::columns
