// What is written here follows the Jet 4 files Access 2000 makes, as found
// in real ones: page 0 the header, page 1 the map of free pages, pages 2 to
// 5 the definitions of MSysObjects, MSysACEs, MSysQueries and
// MSysRelationships, page 6 their usage maps, pages 7 to 13 the first
// pages of their indexes, pages 14 and 15 the first data pages of
// MSysObjects and MSysACEs. User tables follow from page 16.
//
// Two parts of a new Access database are left out on purpose:
//  - MSysAccessObjects and its rows. They hold Access's own project
//    storage (an OLE compound file with the VBA project); we cannot make a
//    real one, and an empty table would look like a damaged project.
//    Without the table the file is what the database engine itself
//    creates (as through DAO), which Access opens and completes with its
//    own storage. (Expected from how Access treats such files; there was
//    no Access to try it with.)
//  - The Access properties of MSysDb (AccessVersion, Build), for the same
//    reason: they declare an Access project that is not there.
//
// Owner SIDs (MSysObjects.Owner, MSysACEs.SID) are stored obfuscated with a
// per-database key we could not derive. So that they decode to the right
// users, the header fields that identify the database (creation date and
// the fields beside it) and the SIDs are those of one database made by
// Access 2000. Every file made here is thus "created" 2004-05-28 17:46:30.
//
// Indexes: the system tables get their indexes (MSysObjects: Id and
// ParentIdName; MSysACEs: ObjectId; MSysQueries and MSysRelationships:
// empty ones), as the engine finds catalog entries through them. User
// tables have none.

#include "platform/jet/writer_catalog.h"

#include "platform/jet/header.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/com/names.h"
#include "platform/jet/writer_pages.h"

namespace jet::wr {

const double kDatabaseCreated = 0x1.29ef7b32f9559p+15;  // 2004-05-28 17:46:30
namespace {

// Rows Access adds to a new database (containers and documents) carry a
// creation time a few microseconds later than the database.
constexpr double kAccessObjectsCreated = 0x1.29ef7b33055f9p+15;

// Pages of the catalog.
constexpr std::uint32_t kFreeMapPage = 1;
constexpr std::uint32_t kObjectsPage = 2;
constexpr std::uint32_t kAcesPage = 3;
constexpr std::uint32_t kQueriesPage = 4;
constexpr std::uint32_t kRelationshipsPage = 5;
constexpr std::uint32_t kSystemMapsPage = 6;
constexpr std::uint32_t kObjectsNameIndexPage = 7;
constexpr std::uint32_t kObjectsIdIndexPage = 8;
constexpr std::uint32_t kAcesIndexPage = 9;
constexpr std::uint32_t kQueriesIndexPage = 10;
constexpr std::uint32_t kRelationshipsIndexPage = 11;  // three pages
constexpr std::uint32_t kObjectsDataPage = 14;
constexpr std::uint32_t kAcesDataPage = 15;

// Catalog ids: containers, the database object, documents.
constexpr std::int32_t kRootId = 0x0F000000;
constexpr std::int32_t kTablesId = 0x0F000001;
constexpr std::int32_t kDatabasesId = 0x0F000002;
constexpr std::int32_t kRelationshipsId = 0x0F000003;
constexpr std::int32_t kDatabaseObjectId = 0x10000000;
constexpr std::int32_t kAccessIdBase = static_cast<std::int32_t>(0x80000000u);

// Object types of MSysObjects.
constexpr std::int16_t kObjectTable = 1;
constexpr std::int16_t kObjectDatabase = 2;
constexpr std::int16_t kObjectContainer = 3;
constexpr std::int16_t kObjectDocument = -32757;

constexpr std::int32_t kFlagsSystem = static_cast<std::int32_t>(0x80000000u);

// SIDs, obfuscated as stored (see above): the engine, the Admin user, the
// Users group, a second built-in group, and the workgroup's Admins group.
const Bytes kSidEngine = {0xE4, 0xA1};
const Bytes kSidAdmin = {0xE5, 0xA3};
const Bytes kSidUsers = {0xE4, 0xA3};
const Bytes kSidGroup = {0xE4, 0xA6};
const Bytes kSidAdmins = {
    0xE7, 0x67, 0x9A, 0xBB, 0x2F, 0x41, 0xE0, 0x89, 0xDA, 0xF7, 0x7C, 0xCB, 0xEB, 0x25, 0xB1,
    0xF3, 0xC4, 0xAA, 0x07, 0x86, 0x52, 0x9E, 0xB1, 0x44, 0xFA, 0xC1, 0x86, 0xB6, 0xC6, 0x44,
    0xF6, 0x25, 0xEA, 0x4D, 0xD4, 0x4C, 0x2F, 0xB9, 0xAF, 0xCC, 0xB8, 0x98, 0x89, 0x93, 0x21,
    0x9F, 0x91, 0x4D, 0xF9, 0xAA, 0x59, 0x40, 0xA4, 0x4C, 0x0A, 0x6E, 0xFE, 0x47, 0x11, 0xB6,
    0x64, 0xD1, 0xED, 0xAB, 0x20, 0x26, 0x3D, 0x42, 0x4B, 0xE7, 0x61, 0x8E, 0xA3, 0xE4, 0xDB,
    0x4E, 0x0B, 0x21, 0x59, 0x96, 0x65, 0x14, 0xC0, 0x4A, 0x79, 0x13, 0xA5, 0x63, 0x44, 0xB3,
    0xCA, 0xA1, 0x1E, 0xE7, 0xFA, 0xF9, 0xA2, 0x94, 0xE2, 0xDB, 0x0C, 0x4E};

// Access rights granted on a new user table to each of its three ACEs.
constexpr std::int32_t kTableRights = 1048319;

struct ObjectRow {
  std::int32_t id;
  std::int32_t parent;
  std::u16string name;
  std::int16_t type;
  double created;
  double updated;
  const Bytes* owner;
  std::int32_t flags;
  const Bytes* properties;  // null for none
};

struct AceRow {
  std::int32_t object;
  const Bytes* sid;
  std::int32_t rights;
  bool inheritable;
};

TdefColumn SystemColumn(const char16_t* name, std::uint8_t type, std::uint16_t length = 0,
                        std::uint8_t extra_flags = 0) {
  TdefColumn c;
  c.name = name;
  c.type = type;
  c.length = length;
  c.flags = static_cast<std::uint8_t>(0x12 | extra_flags);
  return c;
}

TableDef ObjectsTable() {
  TableDef t;
  t.system = true;
  t.columns = {
      SystemColumn(u"Id", kTypeLong),
      SystemColumn(u"ParentId", kTypeLong),
      SystemColumn(u"Name", kTypeText, 510),
      SystemColumn(u"Type", kTypeInteger),
      SystemColumn(u"DateCreate", kTypeDateTime),
      SystemColumn(u"DateUpdate", kTypeDateTime),
      SystemColumn(u"Owner", kTypeBinary, 510, 0x20),
      SystemColumn(u"Flags", kTypeLong),
      SystemColumn(u"Database", kTypeMemo),
      SystemColumn(u"Connect", kTypeMemo),
      SystemColumn(u"ForeignName", kTypeText, 510),
      SystemColumn(u"RmtInfoShort", kTypeBinary, 510),
      SystemColumn(u"RmtInfoLong", kTypeOle),
      SystemColumn(u"Lv", kTypeOle),
      SystemColumn(u"LvProp", kTypeOle),
      SystemColumn(u"LvModule", kTypeOle),
      SystemColumn(u"LvExtra", kTypeOle),
  };
  LayoutColumns(&t.columns);
  IndexDef by_name{u"ParentIdName", {1, 2}, 0x81, false, 0, 0};
  IndexDef by_id{u"Id", {0}, 0x81, true, 0, 0};
  t.indexes = {by_name, by_id};
  return t;
}

TableDef AcesTable() {
  TableDef t;
  t.system = true;
  t.columns = {
      SystemColumn(u"ObjectId", kTypeLong),
      SystemColumn(u"SID", kTypeBinary, 510, 0x20),
      SystemColumn(u"ACM", kTypeLong),
      SystemColumn(u"FInheritable", kTypeBoolean),
  };
  LayoutColumns(&t.columns);
  t.indexes = {IndexDef{u"ObjectId", {0}, 0x88, false, 0, 0}};
  return t;
}

TableDef QueriesTable() {
  TableDef t;
  t.system = true;
  t.columns = {
      SystemColumn(u"ObjectId", kTypeLong),
      SystemColumn(u"Attribute", kTypeByte),
      SystemColumn(u"Order", kTypeBinary, 510),
      SystemColumn(u"Name1", kTypeText, 510),
      SystemColumn(u"Name2", kTypeText, 510),
      SystemColumn(u"Expression", kTypeMemo),
      SystemColumn(u"Flag", kTypeInteger),
      SystemColumn(u"LvExtra", kTypeLong),
  };
  LayoutColumns(&t.columns);
  t.indexes = {IndexDef{u"ObjectIdAttribute", {0, 1, 2}, 0x81, true, 0, 0}};
  return t;
}

TableDef RelationshipsTable() {
  TableDef t;
  t.system = true;
  t.columns = {
      SystemColumn(u"szRelationship", kTypeText, 510),
      SystemColumn(u"grbit", kTypeLong),
      SystemColumn(u"ccolumn", kTypeLong),
      SystemColumn(u"icolumn", kTypeLong),
      SystemColumn(u"szObject", kTypeText, 510),
      SystemColumn(u"szColumn", kTypeText, 510),
      SystemColumn(u"szReferencedObject", kTypeText, 510),
      SystemColumn(u"szReferencedColumn", kTypeText, 510),
  };
  LayoutColumns(&t.columns);
  t.indexes = {IndexDef{u"szRelationship", {0}, 0x82, false, 0, 0},
               IndexDef{u"szObject", {4}, 0x82, false, 0, 0},
               IndexDef{u"szReferencedObject", {6}, 0x82, false, 0, 0}};
  return t;
}

void StoreLong(RowBuilder* row, std::size_t column, std::int32_t v) {
  Store32(row->SetFixed(column), static_cast<std::uint32_t>(v));
}

void StoreDouble(RowBuilder* row, std::size_t column, double v) {
  const auto bits = std::bit_cast<std::uint64_t>(v);
  std::uint8_t* p = row->SetFixed(column);
  for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

// Fills a table's data pages with `rows`, the first on `first_page` and
// the rest on pages allocated as needed. Returns each row's address.
class RowPlacer {
 public:
  RowPlacer(std::uint32_t tdef_page, std::uint32_t first_page, PageFile* file)
      : tdef_page_(tdef_page), next_(first_page), file_(file) {}

  std::pair<std::uint32_t, std::uint32_t> Place(const Bytes& row) {
    if (page_.started() && !page_.Fits(row.size())) {
      file_->Write(page_.number(), page_.Finish());
      page_.Clear();
    }
    if (!page_.started()) {
      page_.Start(next_ != 0 ? next_ : file_->Allocate(), tdef_page_);
      next_ = 0;
      pages_.Add(page_.number());
    }
    const std::uint32_t r = page_.Add(row.data(), row.size());
    return {page_.number(), r};
  }

  // Writes the last page (or the reserved first page, empty) and returns
  // the pages used, and those with room (the last one).
  void Finish(PageSet* used, PageSet* free) {
    if (!page_.started()) {  // no rows at all
      page_.Start(next_, tdef_page_);
      pages_.Add(next_);
    }
    file_->Write(page_.number(), page_.Finish());
    free->Add(page_.number());
    *used = pages_;
  }

 private:
  std::uint32_t tdef_page_;
  std::uint32_t next_;
  PageFile* file_;
  DataPage page_;
  PageSet pages_;
};

Bytes FreeMapRow(std::uint32_t page_count) {
  // Pages past the end of the file are free. Access keeps this map inline
  // from page 0, its bitmap growing in steps of 32 pages; past what page 1
  // holds, the map covers the 512 pages from the end of the file.
  constexpr std::size_t kMaxBitmap = 3600;
  std::size_t bitmap = std::max<std::size_t>(64, (page_count + 31) / 32 * 4);
  std::uint32_t start = 0;
  if (bitmap > kMaxBitmap) {
    bitmap = 64;
    start = page_count & ~7u;
  }
  Bytes row(5 + bitmap, 0);
  Store32(&row[1], start);
  for (std::uint32_t p = page_count; p < start + bitmap * 8; ++p) {
    const std::uint32_t i = p - start;
    row[5 + i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
  }
  return row;
}

void WriteFreeMapPage(PageFile* file) {
  const Bytes free_pages = FreeMapRow(file->page_count());
  const Bytes second(kUsageMapSize, 0);  // a second, empty map, as Access writes
  DataPage page;
  page.Start(kFreeMapPage, 1);
  page.Add(free_pages.data(), free_pages.size());
  page.Add(second.data(), second.size());
  file->Write(kFreeMapPage, page.Finish());
}

// The rows of MSysObjects: those the engine makes for a new database, then
// those Access adds, then one per user table in `tables`.
std::vector<ObjectRow> ObjectRows(const std::vector<CatalogTable>& tables) {
  std::vector<ObjectRow> rows;
  auto engine_row = [&](std::int32_t id, std::int32_t parent, const char16_t* name, std::int16_t type,
                        const Bytes* owner) {
    rows.push_back({id, parent, name, type, kDatabaseCreated, kDatabaseCreated, owner, kFlagsSystem, nullptr});
  };
  auto access_row = [&](std::int32_t id, std::int32_t parent, const char16_t* name, std::int16_t type) {
    const double created = kAccessObjectsCreated;
    rows.push_back({id, parent, name, type, created, created, &kSidAdmin, 0, nullptr});
  };
  const auto page_id = [](std::uint32_t page) { return static_cast<std::int32_t>(page); };
  engine_row(kTablesId, kRootId, u"Tables", kObjectContainer, &kSidEngine);
  engine_row(kDatabasesId, kRootId, u"Databases", kObjectContainer, &kSidEngine);
  engine_row(kRelationshipsId, kRootId, u"Relationships", kObjectContainer, &kSidEngine);
  engine_row(kDatabaseObjectId, kDatabasesId, u"MSysDb", kObjectDatabase, &kSidAdmin);
  engine_row(page_id(kObjectsPage), kTablesId, u"MSysObjects", kObjectTable, &kSidEngine);
  engine_row(page_id(kAcesPage), kTablesId, u"MSysACEs", kObjectTable, &kSidEngine);
  engine_row(page_id(kQueriesPage), kTablesId, u"MSysQueries", kObjectTable, &kSidEngine);
  engine_row(page_id(kRelationshipsPage), kTablesId, u"MSysRelationships", kObjectTable, &kSidEngine);
  access_row(kAccessIdBase + 0, kDatabasesId, u"SummaryInfo", kObjectDocument);
  access_row(kAccessIdBase + 1, kDatabasesId, u"UserDefined", kObjectDocument);
  access_row(kAccessIdBase + 2, kRootId, u"Forms", kObjectContainer);
  access_row(kAccessIdBase + 3, kRootId, u"Reports", kObjectContainer);
  access_row(kAccessIdBase + 4, kRootId, u"Scripts", kObjectContainer);
  access_row(kAccessIdBase + 5, kRootId, u"Modules", kObjectContainer);
  access_row(kAccessIdBase + 6, kRootId, u"SysRel", kObjectContainer);
  access_row(kAccessIdBase + 7, kRootId, u"DataAccessPages", kObjectContainer);
  for (const auto& t : tables) {
    rows.push_back({page_id(t.tdef_page), kTablesId, t.name, kObjectTable, t.created, t.created, &kSidAdmin, 0,
                    t.properties.empty() ? nullptr : &t.properties});
  }
  return rows;
}

// The rows of MSysACEs: the rights Access grants on the objects of a new
// database, then three for each user table in `tables`.
std::vector<AceRow> AceRows(const std::vector<CatalogTable>& tables) {
  std::vector<AceRow> rows = {
      {kObjectsPage, &kSidAdmin, 393216, false},
      {kAcesPage, &kSidAdmin, 393216, false},
      {kQueriesPage, &kSidAdmin, 393216, false},
      {kRelationshipsPage, &kSidAdmin, 917504, false},
      {kTablesId, &kSidGroup, 983294, true},
      {kTablesId, &kSidAdmin, 1048319, true},
      {kRelationshipsId, &kSidGroup, 983294, true},
      {kRelationshipsId, &kSidAdmin, 393217, false},
      {kDatabasesId, &kSidAdmin, 393216, false},
      {kDatabaseObjectId, &kSidAdmin, 393230, false},
      {kDatabaseObjectId, &kSidUsers, 14, false},
      {kDatabaseObjectId, &kSidAdmins, 393230, false},
      {kObjectsPage, &kSidAdmins, 393300, false},
      {kAcesPage, &kSidAdmins, 393300, false},
      {kQueriesPage, &kSidAdmins, 393236, false},
      {kQueriesPage, &kSidUsers, 20, false},
      {kRelationshipsPage, &kSidAdmins, 393236, false},
      {kRelationshipsPage, &kSidUsers, 20, false},
      {kObjectsPage, &kSidUsers, 20, false},
      {kTablesId, &kSidAdmins, 1048319, true},
      {kTablesId, &kSidUsers, 1048319, true},
      {kRelationshipsId, &kSidAdmins, 1048575, true},
      {kRelationshipsId, &kSidUsers, 1048575, true},
      {kAccessIdBase + 0, &kSidUsers, 65536, false},
      {kAccessIdBase + 1, &kSidUsers, 65536, false},
  };
  for (std::int32_t id = kAccessIdBase + 2; id <= kAccessIdBase + 7; ++id) {
    rows.push_back({id, &kSidUsers, 1048575, true});
    rows.push_back({id, &kSidAdmins, 1048575, true});
    rows.push_back({id, &kSidAdmin, 1048575, true});
    rows.push_back({id, &kSidGroup, 1048575, true});
  }
  for (const auto& t : tables) {
    const auto id = static_cast<std::int32_t>(t.tdef_page);
    rows.push_back({id, &kSidAdmin, kTableRights, false});
    rows.push_back({id, &kSidAdmins, kTableRights, false});
    rows.push_back({id, &kSidUsers, kTableRights, false});
  }
  return rows;
}

// A system table as it is written: its definition and where its pages go.
// Placing its rows fills in its index keys and data pages; writing its
// indexes, their pages.
struct SystemTable {
  TableDef def;
  std::uint32_t tdef_page;
  std::uint32_t first_index_page;               // its indexes' first pages follow one another
  std::vector<std::vector<IndexEntry>> keys{};  // by index, in the definition's order
  PageSet used{};                               // data pages
  PageSet free{};                               // data pages with room
  std::vector<PageSet> index_pages{};           // by index
  // The long values of one column; the table's other long-value columns
  // have none.
  const LongValueStore* long_values = nullptr;
  std::uint16_t long_value_column = 0;
};

// MSysObjects.LvProp: a table's properties, inline when they fit the row.
constexpr std::uint16_t kLvPropColumn = 14;

// Writes MSysObjects' `rows` to its data pages, their properties to
// `properties`, and notes the keys of its two indexes.
void PlaceObjectRows(const std::vector<ObjectRow>& rows, LongValueStore* properties, SystemTable* objects,
                     PageFile* file) {
  std::vector<IndexEntry> by_id;
  std::vector<IndexEntry> by_name;
  RowBuilder builder;
  builder.Bind(&objects->def.columns);
  RowPlacer placer(objects->tdef_page, kObjectsDataPage, file);
  Bytes* field = nullptr;
  for (const auto& r : rows) {
    builder.Clear();
    StoreLong(&builder, 0, r.id);
    StoreLong(&builder, 1, r.parent);
    AppendUtf16(r.name, builder.SetVariable(2));
    Store16(builder.SetFixed(3), static_cast<std::uint16_t>(r.type));
    StoreDouble(&builder, 4, r.created);
    StoreDouble(&builder, 5, r.updated);
    PutBytes(builder.SetVariable(6), *r.owner);
    StoreLong(&builder, 7, r.flags);
    if (r.properties != nullptr) {
      field = builder.SetVariable(kLvPropColumn);
      LongValueStore::AppendInline(*r.properties, field);
      if (r.properties->size() > LongValueStore::kMaxInline || builder.Size() > DataPage::kMaxRowSize) {
        field = builder.SetVariable(kLvPropColumn);
        properties->Store(*r.properties, file, field);
      }
    }
    const auto [page, row] = placer.Place(builder.Build());
    IndexEntry e;
    AppendLongKey(r.id, &e.key);
    e.page = page;
    e.row = row;
    by_id.push_back(e);
    e.key.clear();
    AppendLongKey(r.parent, &e.key);
    AppendTextKey(r.name, &e.key);
    by_name.push_back(std::move(e));
  }
  properties->Flush(file);
  placer.Finish(&objects->used, &objects->free);
  objects->def.rows = static_cast<std::uint32_t>(rows.size());
  objects->keys = {std::move(by_name), std::move(by_id)};  // ParentIdName, Id
  objects->long_values = properties;
  objects->long_value_column = kLvPropColumn;
}

// Writes MSysACEs' `rows` to its data pages and notes the keys of its index.
void PlaceAceRows(const std::vector<AceRow>& rows, SystemTable* aces, PageFile* file) {
  std::vector<IndexEntry> by_object;
  RowBuilder builder;
  builder.Bind(&aces->def.columns);
  RowPlacer placer(aces->tdef_page, kAcesDataPage, file);
  for (const auto& a : rows) {
    builder.Clear();
    StoreLong(&builder, 0, a.object);
    PutBytes(builder.SetVariable(1), *a.sid);
    StoreLong(&builder, 2, a.rights);
    builder.SetBoolean(3, a.inheritable);
    const auto [page, row] = placer.Place(builder.Build());
    IndexEntry e;
    AppendLongKey(a.object, &e.key);
    e.page = page;
    e.row = row;
    by_object.push_back(std::move(e));
  }
  placer.Finish(&aces->used, &aces->free);
  aces->def.rows = static_cast<std::uint32_t>(rows.size());
  aces->keys = {std::move(by_object)};
}

// Writes each index of `table` over the keys its rows gave (none for a
// table without rows), and records each index's root in the definition.
void WriteSystemIndexes(SystemTable* table, PageFile* file) {
  const std::size_t count = table->def.indexes.size();
  table->keys.resize(count);
  table->index_pages.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    table->def.indexes[i].first_page =
        WriteIndex(std::move(table->keys[i]), table->tdef_page, table->first_index_page + static_cast<std::uint32_t>(i),
                   file, &table->index_pages[i]);
  }
}

const std::vector<std::uint32_t> kSystemMapPages = {kSystemMapsPage};

// Appends to `maps` the usage maps of `table` (its data pages, those with
// room, each long-value column's pages and each index's pages), and points
// its definition at them.
void AddUsageMaps(SystemTable* table, std::vector<Bytes>* maps, PageFile* file) {
  auto add_map = [&](const PageSet& set) {
    maps->push_back(BuildUsageMap(set, file));
    return UsageMapPointer(kSystemMapPages, maps->size() - 1);
  };
  const PageSet none;
  table->def.used_map = add_map(table->used);
  table->def.free_map = add_map(table->free);
  for (auto& c : table->def.columns) {
    if (!c.long_value()) continue;
    const LongValueStore* values = c.number == table->long_value_column ? table->long_values : nullptr;
    c.lv_used_map = add_map(values ? values->pages() : none);
    c.lv_free_map = add_map(values ? values->free_pages() : none);
  }
  for (std::size_t i = 0; i < table->def.indexes.size(); ++i) {
    table->def.indexes[i].used_map = add_map(table->index_pages[i]);
  }
}
}  // namespace

void ReserveCatalogPages(PageFile* file) { file->Allocate(kFirstTablePage); }

bool IsSystemTableName(const std::u16string& name) {
  static const char16_t* const kNames[] = {u"msysobjects", u"msysaces", u"msysqueries", u"msysrelationships"};
  return std::any_of(std::begin(kNames), std::end(kNames), [&](const char16_t* n) { return com::SameName(name, n); });
}

Page BuildHeaderPage(const std::u16string& password) {
  Page page{};
  static constexpr char kSignature[] = "Standard Jet DB";
  page[1] = 0x01;
  std::memcpy(&page[4], kSignature, sizeof kSignature);
  page[0x14] = 0x01;  // Jet 4
  // The obfuscated region, 0x18 to 0x97, in the clear first.
  static constexpr std::uint8_t kFields[] = {0x00, 0x01, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00,
                                             0x02, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00,
                                             0x04, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00};
  std::memcpy(&page[0x18], kFields, sizeof kFields);
  Store16(&page[0x3C], 1252);  // code page
  // 0x3E: database key, zero (no encryption).
  const auto created = std::bit_cast<std::uint64_t>(kDatabaseCreated);
  std::uint8_t mask[4];
  Store32(mask, static_cast<std::uint32_t>(static_cast<std::int32_t>(kDatabaseCreated)));
  for (std::size_t i = 0; i < 20; ++i) {
    const char16_t c = i < password.size() ? password[i] : u'\0';
    page[0x42 + 2 * i] = static_cast<std::uint8_t>(c);
    page[0x43 + 2 * i] = static_cast<std::uint8_t>(c >> 8);
  }
  for (std::size_t i = 0; i < 40; ++i) page[0x42 + i] ^= mask[i % 4];
  page[0x6A] = 0xAA;  // unknown; as in the Access database the identity comes from
  page[0x6B] = 0x21;
  Store16(&page[0x6E], 0x0409);  // sort order: General
  for (std::size_t i = 0; i < 8; ++i) page[0x72 + i] = static_cast<std::uint8_t>(created >> (8 * i));
  jet::Rc4(kHeaderKey, &page[kHeaderRegionOffset], 128);
  // In the clear after the region: an unknown word and the engine version.
  Store16(&page[0x98], 0x0654);
  std::memcpy(&page[0x9C], "4.0", 4);
  // Unknown words at the end of the page, as Access writes them.
  page[0xE00] = 0x1D;
  page[0xE01] = 0x01;
  page[0xE02] = 0x31;
  page[0xE03] = 0x01;
  for (std::size_t i = 0xE04; i < kPageSize; i += 2) page[i + 1] = 0x01;
  return page;
}

void WriteCatalog(const std::vector<CatalogTable>& tables, const std::u16string& password, PageFile* file) {
  // The order of the steps is the order pages are allocated in, which
  // places every page where Access would.
  LongValueStore properties;  // long values of MSysObjects.LvProp
  SystemTable objects{ObjectsTable(), kObjectsPage, kObjectsNameIndexPage};
  SystemTable aces{AcesTable(), kAcesPage, kAcesIndexPage};
  SystemTable queries{QueriesTable(), kQueriesPage, kQueriesIndexPage};
  SystemTable relationships{RelationshipsTable(), kRelationshipsPage, kRelationshipsIndexPage};
  SystemTable* const system_tables[] = {&objects, &aces, &queries, &relationships};

  PlaceObjectRows(ObjectRows(tables), &properties, &objects, file);
  PlaceAceRows(AceRows(tables), &aces, file);
  for (SystemTable* t : system_tables) WriteSystemIndexes(t, file);

  // Usage maps, all on one page, in the order Access lists them.
  std::vector<Bytes> maps;
  for (SystemTable* t : system_tables) AddUsageMaps(t, &maps, file);
  WriteUsageMapPages(maps, kSystemMapPages, file);

  for (const SystemTable* t : system_tables) {
    WriteTableDefinition(SerializeTableDefinition(t->def), {t->tdef_page}, file);
  }

  // Last, once every page is allocated: the free page map and the header.
  WriteFreeMapPage(file);
  file->Write(0, BuildHeaderPage(password));
}

}  // namespace jet::wr
