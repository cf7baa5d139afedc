#include "platform/jet/data_page.h"

namespace jet {

std::optional<unsigned> RowCount(const unsigned char* page, std::size_t page_size, Version version) {
  const std::size_t at = RowCountOffset(version);
  const unsigned rows = Le16(page + at);
  if (at + 2 + 2 * static_cast<std::size_t>(rows) > page_size) return std::nullopt;
  return rows;
}

std::optional<std::string> FindRow(const unsigned char* page, std::size_t page_size, Version version,
                                   unsigned rows, unsigned row, RowSlot* slot) {
  const std::size_t table = RowCountOffset(version) + 2;
  const std::uint32_t offset = Le16(page + table + 2 * static_cast<std::size_t>(row));
  const std::size_t start = offset & kRowOffsetMask;
  const std::size_t end = row == 0 ? page_size : Le16(page + table + 2 * static_cast<std::size_t>(row - 1)) & kRowOffsetMask;
  slot->flags = static_cast<std::uint16_t>(offset & ~kRowOffsetMask);
  if ((slot->flags & kRowDeleted) != 0 && (slot->flags & kRowOverflow) != 0) {
    slot->start = slot->size = 0;  // deleted: its bounds no longer matter
    return std::nullopt;
  }
  if (start < table + 2 * static_cast<std::size_t>(rows)) return std::string("的位置落在行表中");
  if (end > page_size || start > end) return std::string("的位置超出页");
  slot->start = start;
  slot->size = end - start;
  return std::nullopt;
}

}  // namespace jet
