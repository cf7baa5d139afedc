// The pages a table owns, as its usage map names them. The map is a row of
// a data page, found by the row address in the table's definition (page
// number << 8 | row). Its first byte is its type: 0, a start page and a
// bitmap of the pages from it; 1, a list of bitmap pages, the i-th
// covering the (page size - 4) * 8 pages after the (i-1)-th's.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/jet/header.h"

namespace jet {

class UsageMap {
 public:
  // Reads the map at `address` for table `table`. Raises kErrNotJetDatabase
  // when the address or the map is damaged or names a page past the file's
  // end. Holds the bitmaps in memory: at most a few pages.
  UsageMap(const FilePages& pages, std::uint32_t address, const std::string& table);

  // The lowest page above `after` the map names, or 0 when none does: the
  // pages a scan reads, in order, starting from 0.
  std::uint32_t Next(std::uint32_t after) const;

 private:
  // A bitmap whose first bit stands for page `first`.
  struct Bitmap {
    std::uint64_t first = 0;
    std::vector<unsigned char> bits;
  };
  std::vector<Bitmap> bitmaps_;  // in page order
};

}  // namespace jet
