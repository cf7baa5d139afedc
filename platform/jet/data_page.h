// Data pages: a header, a table of row offsets after it, and the rows
// packed from the page's end towards the table. Long-value pages and the
// pages holding usage maps have the same layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/jet/format.h"
#include "platform/jet/header.h"

namespace jet {

inline std::uint32_t Le16(const unsigned char* p) { return static_cast<std::uint32_t>(p[0] | p[1] << 8); }
inline std::uint32_t Le32(const unsigned char* p) {
  return Le16(p) | static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// Where a data page keeps its row count; the row offsets follow it.
inline std::size_t RowCountOffset(Version v) { return v == Version::kJet3 ? 0x08 : 0x0C; }

// A row of a data page: its bytes [start, start + size) and its flags.
struct RowSlot {
  std::size_t start = 0;
  std::size_t size = 0;
  std::uint16_t flags = 0;
};

// The rows a data page says it has, or nullopt when its row table would
// not fit in the page.
std::optional<unsigned> RowCount(const unsigned char* page, std::size_t page_size, Version version);

// Row `row` (below RowCount) of a data page: it starts after the row table
// and ends where the row before it starts (the first row at the page's
// end). Returns a description of the fault when its bounds are impossible.
std::optional<std::string> FindRow(const unsigned char* page, std::size_t page_size, Version version,
                                   unsigned rows, unsigned row, RowSlot* slot);

}  // namespace jet
