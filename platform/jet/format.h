// Numbers of the Jet file format that the reader and the writer share:
// page types, column types as table definitions number them, a row's
// flags, and the limits of a table.
#pragma once

#include <cstddef>
#include <cstdint>

namespace jet {

// The first byte of every page but page 0.
inline constexpr std::uint8_t kPageData = 0x01;  // rows, long values, usage maps
inline constexpr std::uint8_t kPageTableDefinition = 0x02;
inline constexpr std::uint8_t kPageIndexNode = 0x03;
inline constexpr std::uint8_t kPageIndexLeaf = 0x04;
inline constexpr std::uint8_t kPageUsageBitmap = 0x05;

// Column types (definition.h names those tables are written with).
inline constexpr std::uint8_t kTypeBoolean = 0x01;
inline constexpr std::uint8_t kTypeByte = 0x02;
inline constexpr std::uint8_t kTypeInteger = 0x03;
inline constexpr std::uint8_t kTypeLong = 0x04;
inline constexpr std::uint8_t kTypeCurrency = 0x05;
inline constexpr std::uint8_t kTypeSingle = 0x06;
inline constexpr std::uint8_t kTypeDouble = 0x07;
inline constexpr std::uint8_t kTypeDateTime = 0x08;
inline constexpr std::uint8_t kTypeBinary = 0x09;
inline constexpr std::uint8_t kTypeText = 0x0A;
inline constexpr std::uint8_t kTypeOle = 0x0B;
inline constexpr std::uint8_t kTypeMemo = 0x0C;
inline constexpr std::uint8_t kTypeReplicationId = 0x0F;
inline constexpr std::uint8_t kTypeDecimal = 0x10;
inline constexpr std::uint8_t kTypeComplex = 0x12;  // Access 2007: a 32-bit key of its values

// Flags in a row's offset: a deleted row has both; a row moved to another
// page keeps only its address here (kRowOverflow), and the row it moved to
// is marked kRowDeleted, so that a scan reads it once, where it was.
inline constexpr std::uint16_t kRowDeleted = 0x8000;
inline constexpr std::uint16_t kRowOverflow = 0x4000;
inline constexpr std::uint16_t kRowOffsetMask = 0x1FFF;

// The columns of a table, and the columns of an index key.
inline constexpr std::size_t kMaxColumns = 255;
inline constexpr std::size_t kMaxIndexColumns = 10;

}  // namespace jet
