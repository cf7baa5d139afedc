#include "platform/jet/usage_map.h"

#include <algorithm>

#include "platform/com/error.h"
#include "platform/jet/data_page.h"

namespace jet {
namespace {

[[noreturn]] void Damaged(const FilePages& pages, const std::string& table, const std::string& fault) {
  throw com::Error(kErrNotJetDatabase, kErrorSource,
                   "数据库文件“" + pages.path() + "”已损坏：表“" + table + "”的页使用图" + fault + "。");
}

}  // namespace

UsageMap::UsageMap(const FilePages& pages, std::uint32_t address, const std::string& table) {
  const std::uint32_t map_page = address >> 8;
  const unsigned map_row = address & 0xFF;
  if (!pages.Contains(map_page)) Damaged(pages, table, "在第 " + std::to_string(map_page) + " 页，超出文件");
  std::vector<unsigned char> page;
  pages.Read(map_page, &page, "表“" + table + "”的页使用图");
  const auto rows = RowCount(page.data(), page.size(), pages.version());
  if (!rows || map_row >= *rows) {
    Damaged(pages, table, "指向第 " + std::to_string(map_page) + " 页不存在的第 " + std::to_string(map_row) + " 行");
  }
  RowSlot slot;
  if (auto fault = FindRow(page.data(), page.size(), pages.version(), *rows, map_row, &slot)) {
    Damaged(pages, table, "（第 " + std::to_string(map_page) + " 页第 " + std::to_string(map_row) + " 行）" + *fault);
  }
  const unsigned char* map = page.data() + slot.start;
  const std::size_t size = slot.size;
  if (size < 1) Damaged(pages, table, "为空");

  const std::uint64_t count = pages.count();
  // Keeps a bitmap, refusing a page it names past the file's end.
  auto keep = [&](std::uint64_t first, const unsigned char* bits, std::size_t bytes) {
    for (std::size_t i = 0; i < bytes; ++i) {
      if (bits[i] == 0 || first + i * 8 + 8 <= count) continue;
      for (unsigned b = 0; b < 8; ++b) {
        const std::uint64_t p = first + i * 8 + b;
        if ((bits[i] >> b & 1) && p >= count) {
          Damaged(pages, table, "指向第 " + std::to_string(p) + " 页，文件只有 " + std::to_string(count) + " 页");
        }
      }
    }
    if (std::any_of(bits, bits + bytes, [](unsigned char c) { return c != 0; })) {
      bitmaps_.push_back({first, std::vector<unsigned char>(bits, bits + bytes)});
    }
  };
  switch (map[0]) {
    case 0:  // a start page and a bitmap from it
      if (size >= 5) keep(Le32(map + 1), map + 5, size - 5);
      return;
    case 1: {  // bitmap pages, each covering the pages after the last's
      const std::uint64_t per_page = (pages.page_size() - 4) * 8;
      std::vector<unsigned char> bitmap_page;
      std::vector<std::uint32_t> seen;
      for (std::size_t i = 0; i < (size - 1) / 4; ++i) {
        const std::uint32_t p = Le32(map + 1 + i * 4);
        if (p == 0) continue;
        if (!pages.Contains(p)) Damaged(pages, table, "的位图页为第 " + std::to_string(p) + " 页，超出文件");
        if (std::find(seen.begin(), seen.end(), p) != seen.end()) {
          Damaged(pages, table, "的位图页第 " + std::to_string(p) + " 页出现两次");
        }
        seen.push_back(p);
        pages.Read(p, &bitmap_page, "表“" + table + "”的页使用图");
        keep(i * per_page, bitmap_page.data() + 4, bitmap_page.size() - 4);
      }
      return;
    }
    default:
      Damaged(pages, table, "类型 " + std::to_string(map[0]) + " 无法识别");
  }
}

std::uint32_t UsageMap::Next(std::uint32_t after) const {
  const std::uint64_t from = static_cast<std::uint64_t>(after) + 1;
  for (const Bitmap& b : bitmaps_) {
    const std::uint64_t bits = b.bits.size() * 8;
    if (from >= b.first + bits) continue;
    for (std::uint64_t i = from > b.first ? from - b.first : 0; i < bits; ++i) {
      const unsigned char byte = b.bits[i / 8];
      if (byte == 0) {  // a whole empty byte at once
        i |= 7;
        continue;
      }
      if (byte >> (i % 8) & 1) return static_cast<std::uint32_t>(b.first + i);
    }
  }
  return 0;
}

}  // namespace jet
