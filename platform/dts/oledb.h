// OLE DB type indicators and column flags, under their published numbers.
#pragma once

#include <cstdint>
#include <string_view>

namespace dts {

enum DbType : std::uint16_t {
  DBTYPE_EMPTY = 0,
  DBTYPE_I2 = 2,
  DBTYPE_I4 = 3,
  DBTYPE_R4 = 4,
  DBTYPE_R8 = 5,
  DBTYPE_CY = 6,
  DBTYPE_DATE = 7,
  DBTYPE_BSTR = 8,
  DBTYPE_BOOL = 11,
  DBTYPE_VARIANT = 12,
  DBTYPE_UI1 = 17,
  DBTYPE_I8 = 20,
  DBTYPE_GUID = 72,
  DBTYPE_BYTES = 128,
  DBTYPE_STR = 129,
  DBTYPE_WSTR = 130,
  DBTYPE_NUMERIC = 131,
  DBTYPE_DBTIMESTAMP = 135,
};

enum DbColumnFlags : std::uint32_t {
  DBCOLUMNFLAGS_MAYDEFER = 0x2,
  DBCOLUMNFLAGS_WRITE = 0x4,
  DBCOLUMNFLAGS_WRITEUNKNOWN = 0x8,
  DBCOLUMNFLAGS_ISFIXEDLENGTH = 0x10,
  DBCOLUMNFLAGS_ISNULLABLE = 0x20,
  DBCOLUMNFLAGS_MAYBENULL = 0x40,
  DBCOLUMNFLAGS_ISLONG = 0x80,
};

// Sets of column flags, each named after the bits it holds.
// A column that can be set to NULL, and so may return NULL.
inline constexpr std::uint32_t kIsNullableMayBeNull = DBCOLUMNFLAGS_ISNULLABLE | DBCOLUMNFLAGS_MAYBENULL;
// Read when asked for, writability not known, may return NULL.
inline constexpr std::uint32_t kMayDeferWriteUnknownMayBeNull =
    DBCOLUMNFLAGS_MAYDEFER | DBCOLUMNFLAGS_WRITEUNKNOWN | DBCOLUMNFLAGS_MAYBENULL;

}  // namespace dts
