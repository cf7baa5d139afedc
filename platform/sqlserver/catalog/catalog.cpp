#include "platform/sqlserver/catalog/catalog.h"

#include <cctype>
#include <cstdio>

#include "platform/com/quote.h"
#include "platform/sqlserver/collation.h"
#include "platform/sqlserver/errors.h"
#include "platform/sqlserver/lexer.h"
#include "platform/sqlserver/frontend/parser.h"
#include "platform/sqlserver/procedure_call.h"
#include "platform/sqlserver/storage/sqlite_collations.h"
#include "platform/sqlserver/catalog/system_views.h"

namespace sqlsrv {
namespace {

std::string Hex8(std::size_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08X", static_cast<unsigned>(v & 0xFFFFFFFFu));
  return buf;
}

std::vector<int> ResolveColumns(const TableMeta& t, const std::vector<std::string>& names) {
  std::vector<int> out;
  for (const auto& n : names) {
    const int i = t.Find(n);
    if (i < 0) throw SqlErr(1911, "Column name '" + n + "' does not exist in the target table.");
    out.push_back(i);
  }
  return out;
}

}  // namespace

std::string QuoteSqlite(std::string_view name) { return com::Quoted(name, '"', '"'); }

namespace {

std::unique_ptr<ProcedureMeta> MakeProcedure(std::int64_t id, const std::string& name, std::string text) {
  auto p = std::make_unique<ProcedureMeta>();
  p->id = id;
  p->name = name;
  p->text = std::move(text);
  try {
    // The parameters as its definition declares them.
    auto definition = ParseBatch(p->text);
    if (!definition.empty()) p->parameters = ResolveParameters(definition.front()->variables);
  } catch (const com::Error&) {
    // A definition stored by an older server that no longer parses: it
    // fails when called, with the parser's error.
  }
  return p;
}

}  // namespace

std::string ColumnCollation(const ColumnMeta& c) {
  if (c.collation.empty() || !IsCharType(c.type.type)) return "";
  const std::string collation = SqliteCollation(c.collation);
  return collation == "VKCI" ? "" : collation;
}

std::int64_t DefaultConstraintId(const TableMeta& table, std::size_t column) {
  return kFirstObjectId - 1 - ((table.id - kFirstObjectId) * 1024 + static_cast<std::int64_t>(column));
}

int TableMeta::Find(std::string_view column) const {
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (SameName(columns[i].name, column)) return static_cast<int>(i);
  }
  return -1;
}

int TableMeta::RowversionColumn() const {
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (columns[i].type.type == SqlType::kTimestamp) return static_cast<int>(i);
  }
  return -1;
}

int TableMeta::IdentityColumn() const {
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (columns[i].identity) return static_cast<int>(i);
  }
  return -1;
}

const IndexMeta* TableMeta::FindIndex(std::string_view index) const {
  for (const auto& x : indexes) {
    if (SameName(x.name, index)) return &x;
  }
  return nullptr;
}

std::string SqliteIndexName(const TableMeta& table, std::string_view index) {
  return "__vk_ix_" + std::to_string(table.id) + "_" + LowerAscii(index);
}

std::string SqliteCreateIndex(const TableMeta& table, const IndexMeta& index) {
  std::string sql = std::string(index.unique ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") +
                    (IsTemporaryName(table.name) ? "temp." : "") + QuoteSqlite(SqliteIndexName(table, index.name)) +
                    " ON " + QuoteSqlite(table.name) + " (";
  for (std::size_t i = 0; i < index.columns.size(); ++i) {
    if (i) sql += ", ";
    sql += QuoteSqlite(table.columns[static_cast<std::size_t>(index.columns[i])].name);
    if (index.descending[i]) sql += " DESC";
  }
  return sql + ")";
}

std::string SqliteDropIndex(const TableMeta& table, std::string_view index) {
  return std::string("DROP INDEX ") + (IsTemporaryName(table.name) ? "temp." : "") +
         QuoteSqlite(SqliteIndexName(table, index));
}

std::string TableDefinition(const TableMeta& table, const std::vector<IndexMeta>& indexes) {
  std::string text = table.definition;
  for (const IndexMeta& x : indexes) text += ";\n" + x.definition;
  return text;
}

IndexMeta BuildIndexMeta(const TableMeta& table, const ast::Stmt& create) {
  IndexMeta x;
  x.name = create.index.name;
  x.unique = create.index.unique;
  x.clustered = create.index.clustered;
  x.descending = create.index.descending;
  x.columns = ResolveColumns(table, create.columns);
  for (std::size_t i = 0; i < x.columns.size(); ++i) {
    const ColumnMeta& c = table.columns[static_cast<std::size_t>(x.columns[i])];
    if (c.type.length == -1 && (c.type.type == SqlType::kText || c.type.type == SqlType::kNText ||
                                c.type.type == SqlType::kImage || c.type.type == SqlType::kVarChar ||
                                c.type.type == SqlType::kNVarChar || c.type.type == SqlType::kVarBinary)) {
      throw SqlErr(1919, "Column '" + c.name + "' in table '" + table.name +
                             "' is of a type that is invalid for use as a key column in an index.");
    }
    for (std::size_t j = 0; j < i; ++j) {
      if (x.columns[j] == x.columns[i]) {
        throw SqlErr(1909, "Cannot use duplicate column names in index. Column name '" + c.name + "' listed more than once.");
      }
    }
  }
  if (x.columns.size() > 16) {
    throw SqlErr(1904, "The index '" + x.name + "' on table '" + table.name +
                           "' has " + std::to_string(x.columns.size()) +
                           " column names in index key list. The maximum limit for index key column list is 16.");
  }
  return x;
}

namespace {

// A column of CREATE TABLE as the catalog keeps it: its type, collation,
// identity and default checked as SQL Server checks them against the
// columns of `t` before it (one identity column, `identity_seen`; one
// timestamp column).
ColumnMeta ColumnOf(ast::ColumnDef& d, const TableMeta& t, bool* identity_seen) {
  ColumnMeta c;
  c.name = d.name;
  c.type = ResolveType(d.type);
  c.nullable = d.nullable;
  if (!d.collation.empty()) {
    if (!IsCharType(c.type.type)) {
      throw SqlErr(447, "Expression type " + TypeBaseName(c.type) + " is invalid for COLLATE clause.");
    }
    SqliteCollation(d.collation);  // known, and one the server compares by
    if (!IsUnicodeType(c.type.type) && CollationCodePage(d.collation) != kServerCodePageNumber) {
      throw SqlErr(kNotSupported, "Column '" + d.name + "' of collation " + d.collation +
                                      ": char, varchar and text columns hold the server's code page (936) only on "
                                      "the embedded server; use nchar, nvarchar or ntext.");
    }
    c.collation = d.collation;
  }
  if (c.type.type == SqlType::kTimestamp && t.RowversionColumn() >= 0) {
    throw SqlErr(2738, "A table can only have one timestamp column. Because table '" + t.name +
                           "' already has one, the column '" + d.name + "' cannot be added.");
  }
  if (c.type.type == SqlType::kTimestamp && d.default_value) {
    throw SqlErr(1755, "Defaults cannot be created on columns of data type timestamp. Table '" + t.name +
                           "', column '" + d.name + "'.");
  }
  if (d.identity) {
    if (*identity_seen) {
      throw SqlErr(2744, "Multiple identity columns specified for table '" + t.name +
                             "'. Only one identity column per table is allowed.");
    }
    const bool counts = (IsIntegerType(c.type.type) && c.type.type != SqlType::kBit) ||
                        (c.type.type == SqlType::kDecimal && c.type.scale == 0);
    if (!counts || (d.explicit_null && d.nullable)) {
      throw SqlErr(2749, "Identity column '" + d.name +
                             "' must be of data type int, bigint, smallint, tinyint, or decimal or numeric with "
                             "a scale of 0, and constrained to be nonnullable.");
    }
    if (d.step == 0) throw SqlErr(2749, "Identity increment for column '" + d.name + "' cannot be zero.");
    *identity_seen = true;
    c.identity = true;
    c.seed = d.seed;
    c.step = d.step;
    c.nullable = false;
  }
  if (d.default_value) {
    if (d.identity) {
      throw SqlErr(1754, "Defaults cannot be created on columns with an IDENTITY attribute. Table '" + t.name +
                             "', column '" + d.name + "'.");
    }
    c.default_value = std::shared_ptr<const ast::Expr>(std::move(d.default_value));
    c.default_text = d.default_text;
    c.default_system_named = d.default_name.empty();
    c.default_name = c.default_system_named ? "DF__" + t.name + "__" + d.name + "__" +
                                                  Hex8(std::hash<std::string>{}(t.name + "." + d.name))
                                            : d.default_name;
  }
  return c;
}

}  // namespace

TableMeta BuildTableMeta(ast::Stmt& create) {
  TableMeta t;
  t.name = create.object.object;
  const bool temporary = IsTemporaryName(t.name);
  if (t.name.empty() || t.name.size() > 128) throw SqlErr(kSyntax, "Invalid table name.");
  if (LowerAscii(t.name).rfind("__vk_", 0) == 0 || SameName(t.name, "sysobjects") || IsSystemTableName(t.name)) {
    throw SqlErr(kObjectExists, "There is already an object named '" + t.name + "' in the database.");
  }
  if (create.column_defs.size() > 1024) throw SqlErr(1702, "CREATE TABLE failed because column count exceeds 1024.");
  bool identity_seen = false;
  for (auto& d : create.column_defs) {
    if (t.Find(d.name) >= 0) {
      throw SqlErr(2705, "Column names in each table must be unique. Column name '" + d.name + "' in table '" +
                             t.name + "' is specified more than once.");
    }
    ColumnMeta c = ColumnOf(d, t, &identity_seen);
    t.columns.push_back(std::move(c));
    const int index = static_cast<int>(t.columns.size()) - 1;
    if (d.primary_key || d.unique) {
      KeyMeta k;
      k.primary = d.primary_key;
      k.name = d.constraint_name;
      k.columns = {index};
      t.keys.push_back(std::move(k));
    }
  }
  for (const auto& c : create.constraints) {
    switch (c.kind) {
      case ast::TableConstraint::kPrimaryKey:
      case ast::TableConstraint::kUnique: {
        KeyMeta k;
        k.primary = c.kind == ast::TableConstraint::kPrimaryKey;
        k.name = c.name;
        k.columns = ResolveColumns(t, c.columns);
        t.keys.push_back(std::move(k));
        break;
      }
      case ast::TableConstraint::kForeignKey: {
        if (temporary) break;  // not kept on a temporary table
        ForeignKeyMeta f;
        f.name = c.name;
        f.columns = ResolveColumns(t, c.columns);
        f.ref_table = c.ref_table.object;
        f.ref_columns = c.ref_columns;
        if (!f.ref_columns.empty() && f.ref_columns.size() != f.columns.size()) {
          throw SqlErr(8139, "Number of referencing columns in foreign key differs from number of referenced columns, table '" + t.name + "'.");
        }
        t.foreign_keys.push_back(std::move(f));
        break;
      }
    }
  }
  int primaries = 0;
  for (auto& k : t.keys) {
    if (k.primary && ++primaries > 1) {
      throw SqlErr(8110, "Cannot add multiple PRIMARY KEY constraints to table '" + t.name + "'.");
    }
    for (int i : k.columns) {
      auto& col = t.columns[static_cast<std::size_t>(i)];
      if (k.primary) {
        const auto& def = create.column_defs[static_cast<std::size_t>(i)];
        if (def.explicit_null && def.nullable) {
          throw SqlErr(8111, "Cannot define PRIMARY KEY constraint on nullable column in table '" + t.name + "'.");
        }
        col.nullable = false;
      }
    }
    if (k.name.empty()) {
      k.system_named = true;
      k.name = std::string(k.primary ? "PK__" : "UQ__") + t.name + "__" + Hex8(std::hash<std::string>{}(t.name + std::to_string(k.columns.front())));
    }
  }
  for (auto& f : t.foreign_keys) {
    if (f.name.empty()) {
      f.system_named = true;
      f.name = "FK__" + t.name + "__" + t.columns[static_cast<std::size_t>(f.columns.front())].name + "__" +
               Hex8(std::hash<std::string>{}(t.name + f.ref_table));
    }
  }
  return t;
}

std::string SqliteCreateTable(const TableMeta& t) {
  std::string sql = (IsTemporaryName(t.name) ? "CREATE TEMP TABLE " : "CREATE TABLE ") + QuoteSqlite(t.name) + " (";
  for (std::size_t i = 0; i < t.columns.size(); ++i) {
    const auto& c = t.columns[i];
    if (i) sql += ", ";
    std::string declaration = SqliteDeclaration(c.type);
    const std::string collation = ColumnCollation(c);
    if (!collation.empty()) declaration = "TEXT COLLATE " + collation;
    sql += QuoteSqlite(c.name) + " " + declaration;
    if (!c.nullable) sql += " NOT NULL";
  }
  auto cols = [&](const std::vector<int>& idx) {
    std::string s = "(";
    for (std::size_t i = 0; i < idx.size(); ++i) {
      if (i) s += ", ";
      s += QuoteSqlite(t.columns[static_cast<std::size_t>(idx[i])].name);
    }
    return s + ")";
  };
  for (const auto& k : t.keys) {
    sql += ", CONSTRAINT " + QuoteSqlite(k.name) + (k.primary ? " PRIMARY KEY " : " UNIQUE ") + cols(k.columns);
  }
  for (const auto& f : t.foreign_keys) {
    sql += ", CONSTRAINT " + QuoteSqlite(f.name) + " FOREIGN KEY " + cols(f.columns) + " REFERENCES " +
           QuoteSqlite(f.ref_table) + " (";
    for (std::size_t i = 0; i < f.ref_columns.size(); ++i) sql += (i ? ", " : "") + QuoteSqlite(f.ref_columns[i]);
    sql += ")";
  }
  return sql + ")";
}

void Catalog::Install(Db& db) {
  db.Exec(
      "CREATE TABLE IF NOT EXISTS sysobjects (id INTEGER PRIMARY KEY, name TEXT COLLATE VKCI NOT NULL, "
      "xtype TEXT NOT NULL, type TEXT NOT NULL, uid INTEGER NOT NULL DEFAULT 1, parent_obj INTEGER NOT NULL "
      "DEFAULT 0, crdate TEXT NOT NULL, category INTEGER NOT NULL DEFAULT 0);"
      "CREATE TABLE IF NOT EXISTS __vk_definitions (id INTEGER PRIMARY KEY, text TEXT NOT NULL);"
      "CREATE TABLE IF NOT EXISTS __vk_identity (id INTEGER PRIMARY KEY, last INTEGER);"
      "CREATE TABLE IF NOT EXISTS __vk_meta (key TEXT PRIMARY KEY, value INTEGER NOT NULL);"
      "INSERT OR IGNORE INTO __vk_meta VALUES ('catalog_version', 1);");
}

void Catalog::InitializeDatabase(const std::string& file) {
  Db db(file, true);
  RegisterCollations(db.get());  // the collation the catalog's keys are made with
  db.Exec("PRAGMA journal_mode = WAL;");
  db.Exec("BEGIN");
  Install(db);
  db.Exec("COMMIT");
}

void Catalog::TableSet::Clear() {
  tables.clear();
  objects.clear();
  order.clear();
}

void Catalog::TableSet::Add(std::int64_t id, const std::string& name, const std::string& xtype,
                            std::string_view definition) {
  objects[LowerAscii(name)] = id;
  if (xtype != "U") return;
  auto stmts = ParseBatch(definition);
  auto meta = std::make_unique<TableMeta>(BuildTableMeta(*stmts.at(0)));
  meta->id = id;
  meta->name = name;
  // Each statement's text, without the blanks and semicolon after it.
  auto text_of = [&](const ast::Stmt& s) {
    std::string text(definition.substr(s.offset, s.end - s.offset));
    while (!text.empty() && (std::isspace(static_cast<unsigned char>(text.back())) || text.back() == ';')) {
      text.pop_back();
    }
    return text;
  };
  meta->definition = text_of(*stmts[0]);
  for (std::size_t i = 1; i < stmts.size(); ++i) {
    IndexMeta index = BuildIndexMeta(*meta, *stmts[i]);
    index.definition = text_of(*stmts[i]);
    meta->indexes.push_back(std::move(index));
  }
  order.push_back(LowerAscii(name));
  tables[LowerAscii(name)] = std::move(meta);
}

std::vector<const TableMeta*> Catalog::TableSet::InOrder() const {
  std::vector<const TableMeta*> out;
  for (const auto& name : order) out.push_back(tables.at(name).get());
  return out;
}

void Catalog::Refresh() {
  Prepared v(db_, "SELECT value FROM __vk_meta WHERE key = 'catalog_version'");
  const std::int64_t version = v.Step() ? v.Int(0) : 0;
  // Only this connection changes its TEMP schema, and SQLite counts each
  // change there (and takes the count back with a rollback).
  Prepared tv(db_, "PRAGMA temp.schema_version");
  const std::int64_t temp_version = tv.Step() ? tv.Int(0) : 0;
  if (version != schema_version_) {
    LoadDatabase();
    schema_version_ = version;
  }
  if (temp_version != temp_version_) {
    LoadTemporary();
    temp_version_ = temp_version;
  }
}

void Catalog::LoadDatabase() {
  database_.Clear();
  procedures_.clear();
  views_.clear();
  objects_.clear();
  Prepared all(db_,
           "SELECT o.id, o.name, o.xtype, d.text, o.parent_obj, o.crdate FROM sysobjects o "
           "LEFT JOIN __vk_definitions d ON d.id = o.id ORDER BY o.id");
  while (all.Step()) {
    const std::int64_t id = all.Int(0);
    const std::string name(all.Text(1));
    const std::string xtype(all.Text(2));
    objects_.push_back({id, name, xtype, all.Int(4), std::string(all.Text(5))});
    database_.Add(id, name, xtype, all.Text(3));
    if (xtype == "P") procedures_[LowerAscii(name)] = MakeProcedure(id, name, std::string(all.Text(3)));
    if (xtype == "V") {
      auto v = std::make_unique<ViewMeta>();
      v->id = id;
      v->name = name;
      v->text = std::string(all.Text(3));
      try {
        auto definition = ParseBatch(v->text);
        if (definition.size() == 1) v->definition = std::shared_ptr<const ast::Stmt>(std::move(definition.front()));
      } catch (const com::Error&) {
        // Fails when a query names it.
      }
      views_.push_back(std::move(v));
    }
  }
}

void Catalog::LoadTemporary() {
  temporary_.Clear();
  temporary_procedures_.clear();
  Prepared made(db_, "SELECT 1 FROM temp.sqlite_master WHERE type = 'table' AND name = '__vk_temp_objects'");
  if (!made.Step()) return;
  Prepared all(db_, "SELECT id, name, xtype, text FROM temp.__vk_temp_objects ORDER BY id DESC");
  while (all.Step()) {
    const std::string name(all.Text(1)), xtype(all.Text(2));
    temporary_.Add(all.Int(0), name, xtype, all.Text(3));
    if (xtype == "P") temporary_procedures_[LowerAscii(name)] = MakeProcedure(all.Int(0), name, std::string(all.Text(3)));
  }
}

void Catalog::EnsureTemporaryCatalog() {
  db_.Exec(
      "CREATE TEMP TABLE IF NOT EXISTS __vk_temp_objects (id INTEGER PRIMARY KEY, name TEXT COLLATE VKCI NOT NULL, "
      "xtype TEXT NOT NULL, parent_obj INTEGER NOT NULL, text TEXT);"
      "CREATE TEMP TABLE IF NOT EXISTS __vk_temp_identity (id INTEGER PRIMARY KEY, last INTEGER);");
}

const TableMeta* Catalog::FindTable(std::string_view name) const {
  const TableSet& set = IsTemporaryName(name) ? temporary_ : database_;
  auto it = set.tables.find(LowerAscii(name));
  return it == set.tables.end() ? nullptr : it->second.get();
}

const TableMeta* Catalog::FindTableById(std::int64_t id) const {
  for (const TableSet* set : {&database_, &temporary_}) {
    for (const auto& [name, t] : set->tables) {
      if (t->id == id) return t.get();
    }
  }
  return nullptr;
}

const ProcedureMeta* Catalog::FindProcedure(std::string_view name) const {
  const auto& set = IsTemporaryName(name) ? temporary_procedures_ : procedures_;
  auto it = set.find(LowerAscii(name));
  return it == set.end() ? nullptr : it->second.get();
}

bool Catalog::ObjectExists(std::string_view name, bool temporary) const {
  return (temporary ? temporary_ : database_).objects.count(LowerAscii(name)) > 0;
}

const ViewMeta* Catalog::FindView(std::string_view name) const {
  for (const auto& v : views_) {
    if (SameName(v->name, name)) return v.get();
  }
  return nullptr;
}

std::vector<const ViewMeta*> Catalog::Views() const {
  std::vector<const ViewMeta*> out;
  for (const auto& v : views_) out.push_back(v.get());
  return out;
}

std::vector<const TableMeta*> Catalog::ReferencingTables(std::string_view table) const {
  std::vector<const TableMeta*> out;
  for (const TableMeta* t : database_.InOrder()) {
    for (const auto& f : t->foreign_keys) {
      if (SameName(f.ref_table, table)) {
        out.push_back(t);
        break;
      }
    }
  }
  return out;
}

std::vector<const TableMeta*> Catalog::Tables() const { return database_.InOrder(); }

std::vector<const TableMeta*> Catalog::TemporaryTables() const { return temporary_.InOrder(); }

std::vector<const ProcedureMeta*> Catalog::Procedures() const {
  std::vector<const ProcedureMeta*> out;
  for (const auto& [name, p] : procedures_) out.push_back(p.get());
  return out;
}

std::int64_t Catalog::RowCount(const TableMeta& table) const {
  Prepared count(db_, "SELECT count(*) FROM " + QuoteSqlite(table.name));
  return count.Step() ? count.Int(0) : 0;
}

Catalog::Pages Catalog::DatabasePages() const {
  Pages out;
  Prepared size(db_, "SELECT page_size, page_count FROM pragma_page_size, pragma_page_count");
  if (size.Step()) {
    out.page_size = size.Int(0);
    out.total = size.Int(1);
  }
  // Every b-tree's pages; an index's count as index, any other (tables,
  // the schema table itself) as data.
  Prepared pages(db_,
             "SELECT coalesce(m.type, 'table'), count(*) FROM dbstat('main') s "
             "LEFT JOIN sqlite_schema m ON m.name = s.name AND m.type = 'index' GROUP BY 1");
  while (pages.Step()) (pages.Text(0) == "index" ? out.index : out.data) += pages.Int(1);
  return out;
}

std::map<std::string, Catalog::Pages> Catalog::PagesByTable() const {
  std::int64_t page_size = 0;
  Prepared size(db_, "SELECT page_size FROM pragma_page_size");
  if (size.Step()) page_size = size.Int(0);
  std::map<std::string, Pages> out;
  Prepared pages(db_,
             "SELECT m.tbl_name, m.type, count(*) FROM dbstat('main') s JOIN sqlite_schema m ON m.name = s.name "
             "WHERE m.type IN ('table', 'index') GROUP BY m.tbl_name, m.type");
  while (pages.Step()) {
    Pages& p = out[std::string(pages.Text(0))];
    p.page_size = page_size;
    (pages.Text(1) == "index" ? p.index : p.data) += pages.Int(2);
  }
  return out;
}

std::int64_t Catalog::AddObject(const std::string& name, const char* xtype, std::int64_t parent,
                                const std::string& definition, bool temporary) {
  if (ObjectExists(name, temporary)) {
    throw SqlErr(kObjectExists, "There is already an object named '" + name + "' in the database.");
  }
  if (temporary) {
    EnsureTemporaryCatalog();
    Prepared ins(db_,
             "INSERT INTO temp.__vk_temp_objects (id, name, xtype, parent_obj, text) VALUES ((SELECT coalesce(min(id), 0) - 1 "
             "FROM temp.__vk_temp_objects), ?, ?, ?, ?)");
    ins.Bind(1, std::string_view(name));
    ins.Bind(2, std::string_view(xtype));
    ins.Bind(3, parent);
    ins.Bind(4, std::string_view(definition));
    ins.Step();
    const std::int64_t id = db_.LastRowId();
    temporary_.objects[LowerAscii(name)] = id;
    temp_version_ = -1;
    return id;
  }
  Prepared ins(db_,
           "INSERT INTO sysobjects (id, name, xtype, type, parent_obj, crdate) VALUES ((SELECT coalesce(max(id), " +
               std::to_string(kFirstObjectId - 1) + ") + 1 FROM sysobjects), ?, ?, ?, ?, ?)");
  ins.Bind(1, std::string_view(name));
  ins.Bind(2, std::string_view(xtype));
  const std::string_view x(xtype);
  ins.Bind(3, x == "PK" || x == "UQ" ? std::string_view("K") : x);
  ins.Bind(4, parent);
  ins.Bind(5, std::string_view(NowText()));
  ins.Step();
  const std::int64_t id = db_.LastRowId();
  if (!definition.empty()) {
    Prepared def(db_, "INSERT INTO __vk_definitions (id, text) VALUES (?, ?)");
    def.Bind(1, id);
    def.Bind(2, std::string_view(definition));
    def.Step();
  }
  db_.Exec("UPDATE __vk_meta SET value = value + 1 WHERE key = 'catalog_version'");
  database_.objects[LowerAscii(name)] = id;
  return id;
}

void Catalog::RemoveObject(std::int64_t id) {
  // Temporary objects have ids below zero.
  static const std::vector<const char*> kDatabase = {"DELETE FROM __vk_definitions WHERE id = ?1",
                                                     "DELETE FROM __vk_identity WHERE id = ?1",
                                                     "DELETE FROM sysobjects WHERE id = ?1 OR parent_obj = ?1"};
  static const std::vector<const char*> kTemporary = {"DELETE FROM temp.__vk_temp_identity WHERE id = ?1",
                                                      "DELETE FROM temp.__vk_temp_objects WHERE id = ?1 OR parent_obj = ?1"};
  for (const char* sql : id < 0 ? kTemporary : kDatabase) {
    Prepared s(db_, sql);
    s.Bind(1, id);
    s.Step();
  }
  if (id >= 0) db_.Exec("UPDATE __vk_meta SET value = value + 1 WHERE key = 'catalog_version'");
  Invalidate();
}

void Catalog::SetDefinition(std::int64_t id, const std::string& definition) {
  Prepared s(db_, id < 0 ? "UPDATE temp.__vk_temp_objects SET text = ?2 WHERE id = ?1"
                     : "INSERT OR REPLACE INTO __vk_definitions (id, text) VALUES (?1, ?2)");
  s.Bind(1, id);
  s.Bind(2, std::string_view(definition));
  s.Step();
  if (id >= 0) db_.Exec("UPDATE __vk_meta SET value = value + 1 WHERE key = 'catalog_version'");
  Invalidate();
}

std::optional<std::int64_t> Catalog::LastIdentity(std::int64_t table_id) const {
  Prepared s(db_, table_id < 0 ? "SELECT last FROM temp.__vk_temp_identity WHERE id = ?"
                           : "SELECT last FROM __vk_identity WHERE id = ?");
  s.Bind(1, table_id);
  if (!s.Step() || s.IsNull(0)) return std::nullopt;
  return s.Int(0);
}

std::uint64_t Catalog::DatabaseTimestamp() const {
  Prepared s(db_, "SELECT value FROM __vk_meta WHERE key = 'timestamp'");
  return s.Step() ? static_cast<std::uint64_t>(s.Int(0)) : 0;
}

std::uint64_t Catalog::NextTimestamp() {
  Prepared s(db_, "INSERT INTO __vk_meta (key, value) VALUES ('timestamp', 1) "
              "ON CONFLICT (key) DO UPDATE SET value = value + 1 RETURNING value");
  if (!s.Step()) throw SqlErr(kNotSupported, "The database's timestamp counter could not be advanced.");
  return static_cast<std::uint64_t>(s.Int(0));
}

void Catalog::SetLastIdentity(std::int64_t table_id, std::optional<std::int64_t> value) {
  Prepared s(db_, table_id < 0 ? "INSERT OR REPLACE INTO temp.__vk_temp_identity (id, last) VALUES (?, ?)"
                           : "INSERT OR REPLACE INTO __vk_identity (id, last) VALUES (?, ?)");
  s.Bind(1, table_id);
  if (value) {
    s.Bind(2, *value);
  } else {
    s.BindNull(2);
  }
  s.Step();
}

}  // namespace sqlsrv
