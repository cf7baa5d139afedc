// The catalog of a Jet 4 file as the writer makes it: the header page,
// the page map, and the system tables (MSysObjects, MSysACEs, MSysQueries,
// MSysRelationships) with their indexes, laid out as Access 2000 lays out a
// new database.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/jet/writer_encode.h"
#include "platform/jet/writer_file.h"

namespace jet::wr {

// Creation date of every database the writer makes (see the .cpp for why
// it is fixed): 2004-05-28 17:46:30.
extern const double kDatabaseCreated;

// The first page free for user tables; the pages before it belong to the
// catalog.
inline constexpr std::uint32_t kFirstTablePage = 16;

// A user table as the catalog lists it.
struct CatalogTable {
  std::u16string name;
  std::uint32_t tdef_page = 0;
  double created = 0;  // automation date
  Bytes properties;    // property blob, empty for none
};

// Reserves the catalog's pages in a new, empty file.
void ReserveCatalogPages(PageFile* file);

// True when `name` names a system table (case ignored).
bool IsSystemTableName(const std::u16string& name);

// Writes the system tables listing `tables`, the page map and the header
// (with `password`, at most 20 UTF-16 units). The file is complete
// afterwards.
void WriteCatalog(const std::vector<CatalogTable>& tables, const std::u16string& password,
                  PageFile* file);

// Builds the header page (page 0).
Page BuildHeaderPage(const std::u16string& password);

}  // namespace jet::wr
