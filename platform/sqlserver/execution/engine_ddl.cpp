// Statements that change the schema or a table as a whole: CREATE and
// DROP TABLE, CREATE and DROP PROCEDURE, CREATE, ALTER and DROP VIEW,
// CREATE and DROP INDEX, TRUNCATE TABLE and SET IDENTITY_INSERT.
#include <sqlite3.h>

#include <algorithm>
#include <optional>

#include "platform/port/files.h"
#include "platform/sqlserver/execution/engine_internal.h"
#include "platform/sqlserver/errors.h"
#include "platform/sqlserver/lexer.h"
#include "platform/sqlserver/server_directory.h"

namespace sqlsrv {

// CREATE TABLE db.schema.name for a database other than the current one:
// tempdb's permanent tables and other databases' tables are refused as not
// supported; a database that does not exist is SQL Server's 2702.
void EngineCore::RefuseTableOfOtherDatabase(const ast::ObjectName& name) {
  if (SameName(name.database, kTempDatabase)) {
    throw SqlErr(kNotSupported, "Permanent tables in tempdb (" + name.Display() +
                                    ") are not supported by the embedded server; create a temporary table (#" +
                                    name.object + ") instead.");
  }
  if (server_ && server_->DatabaseFile(name.database)) {
    throw SqlErr(kNotSupported, "Creating a table in another database (" + name.Display() +
                                    ") is not supported by the embedded server; USE " + name.database + " first.");
  }
  throw SqlErr(2702, "Database '" + name.database + "' does not exist.");
}

void EngineCore::RunCreateTable(ast::Stmt& s, std::string_view batch) {
  const std::string text(batch.substr(s.offset, s.end > s.offset ? s.end - s.offset : std::string::npos));
  // A #name is the session's own table (catalog.h).
  const bool temporary = IsTemporaryName(s.object.object);
  if (IsGlobalTemporaryName(s.object.object)) {
    throw SqlErr(kNotSupported, "Global temporary tables (" + s.object.object + ") are not supported by the embedded server.");
  }
  if (!s.object.database.empty() && !SameName(s.object.database, state_.database) &&
      !(temporary && SameName(s.object.database, kTempDatabase))) {
    RefuseTableOfOtherDatabase(s.object);
  }
  if (catalog_->ObjectExists(s.object.object, temporary)) {
    throw SqlErr(kObjectExists, "There is already an object named '" + s.object.object + "' in the database.");
  }
  TableMeta t = BuildTableMeta(s);
  // Foreign keys refer to existing tables of the database and to a key of
  // theirs (a temporary table has none).
  for (auto& fk : t.foreign_keys) {
    const TableMeta* parent = SameName(fk.ref_table, t.name) ? &t
                              : IsTemporaryName(fk.ref_table) ? nullptr
                                                              : catalog_->FindTable(fk.ref_table);
    if (!parent) {
      throw SqlErr(1767, "Foreign key '" + fk.name + "' references invalid table '" + fk.ref_table + "'.");
    }
    fk.ref_table = parent->name;
    if (fk.ref_columns.empty()) {
      for (const auto& k : parent->keys) {
        if (k.primary) {
          for (int c : k.columns) fk.ref_columns.push_back(parent->columns[static_cast<std::size_t>(c)].name);
        }
      }
    }
    std::vector<int> ref;
    for (const auto& name : fk.ref_columns) {
      const int i = parent->Find(name);
      if (i < 0) throw SqlErr(1770, "Foreign key '" + fk.name + "' references invalid column '" + name + "' in referenced table '" + parent->name + "'.");
      ref.push_back(i);
    }
    bool keyed = false;
    for (const auto& k : parent->keys) {
      std::vector<int> a = k.columns, b = ref;
      std::sort(a.begin(), a.end());
      std::sort(b.begin(), b.end());
      keyed = keyed || a == b;
    }
    if (!keyed || ref.size() != fk.columns.size()) {
      throw SqlErr(1776, "There are no primary or candidate keys in the referenced table '" + parent->name +
                             "' that match the referencing column list in the foreign key '" + fk.name + "'.");
    }
    for (std::size_t k = 0; k < ref.size(); ++k) {
      const ColumnMeta& mine = t.columns[static_cast<std::size_t>(fk.columns[k])];
      const ColumnMeta& theirs = parent->columns[static_cast<std::size_t>(ref[k])];
      fk.ref_columns[k] = theirs.name;
      if (TypeOf(mine.type) != TypeOf(theirs.type)) {
        throw SqlErr(1778, "Column '" + parent->name + "." + theirs.name + "' is not the same data type as referencing column '" +
                               t.name + "." + mine.name + "' in foreign key '" + fk.name + "'.");
      }
    }
  }
  // Defaults must be constants the server can evaluate.
  {
    Translator tr(*catalog_, state_);
    std::vector<const ast::Expr*> defaults;
    for (const auto& c : t.columns) {
      if (c.default_value) defaults.push_back(c.default_value.get());
    }
    if (!defaults.empty()) tr.Constants(defaults);
  }
  for (const auto& k : t.keys) {
    if (catalog_->ObjectExists(k.name, temporary)) {
      throw SqlErr(kObjectExists, "There is already an object named '" + k.name + "' in the database.");
    }
  }
  for (const auto& f : t.foreign_keys) {
    if (catalog_->ObjectExists(f.name)) throw SqlErr(kObjectExists, "There is already an object named '" + f.name + "' in the database.");
  }
  db_->Exec(SqliteCreateTable(t));
  // Each foreign key gets an index on its columns, for finding the rows
  // that refer to a parent row being deleted, unless a key's index starts
  // with those columns already.
  auto key_index_leads_with = [&](const std::vector<int>& columns) {
    for (const auto& k : t.keys) {
      if (k.columns.size() >= columns.size() && std::equal(columns.begin(), columns.end(), k.columns.begin())) {
        return true;
      }
    }
    return false;
  };
  for (std::size_t i = 0; i < t.foreign_keys.size(); ++i) {
    const auto& f = t.foreign_keys[i];
    if (key_index_leads_with(f.columns)) continue;
    std::string index = "CREATE INDEX " + QuoteSqlite("__vk_fk_" + t.name + "_" + std::to_string(i)) + " ON " + QuoteSqlite(t.name) + " (";
    for (std::size_t k = 0; k < f.columns.size(); ++k) index += (k ? ", " : "") + QuoteSqlite(t.columns[static_cast<std::size_t>(f.columns[k])].name);
    db_->Exec(index + ")");
  }
  const std::int64_t id = catalog_->AddObject(t.name, "U", 0, text, temporary);
  for (const auto& k : t.keys) catalog_->AddObject(k.name, k.primary ? "PK" : "UQ", id, "", temporary);
  for (const auto& f : t.foreign_keys) catalog_->AddObject(f.name, "F", id, "");
  catalog_->Invalidate();
  catalog_->Refresh();
  state_.rowcount = 0;
}

void EngineCore::RunDropTable(const ast::Stmt& s) {
  if (!IsTemporaryName(s.object.object) && catalog_->FindView(s.object.object)) {
    throw SqlErr(3705, "Cannot use DROP TABLE with '" + s.object.object + "' because '" + s.object.object +
                           "' is a view. Use DROP VIEW.");
  }
  const TableMeta* t = SameName(s.object.object, "sysobjects") ? nullptr : catalog_->FindTable(s.object.object);
  const bool temporary = IsTemporaryName(s.object.object);
  const bool elsewhere = (!s.object.database.empty() && !SameName(s.object.database, state_.database) &&
                          !(temporary && SameName(s.object.database, kTempDatabase))) ||
                         (!s.object.schema.empty() && !SameName(s.object.schema, "dbo"));
  if (!t || elsewhere) {
    throw SqlErr(kCannotDropTable, "Cannot drop the table '" + s.object.Display() + "', because it does not exist in the system catalog.");
  }
  for (const TableMeta* child : catalog_->ReferencingTables(t->name)) {
    if (child != t) {
      throw SqlErr(3726, "Could not drop object '" + t->name + "' because it is referenced by a FOREIGN KEY constraint.");
    }
  }
  const std::int64_t id = t->id;
  const std::string name = t->name;
  db_->Exec("DROP TABLE " + QuoteSqlite(name));
  catalog_->RemoveObject(id);
  if (identity_insert_ && *identity_insert_ == id) identity_insert_.reset();
  catalog_->Refresh();
}

void EngineCore::RunCreateProcedure(const ast::Stmt& s) {
  if (!s.object.database.empty() && !SameName(s.object.database, state_.database)) {
    throw SqlErr(166, "'CREATE PROCEDURE' does not allow specifying the database name as a prefix to the object name.");
  }
  // A #name is the session's own procedure, gone when it ends.
  const bool temporary = IsTemporaryName(s.object.object);
  if (IsGlobalTemporaryName(s.object.object)) {
    throw SqlErr(kNotSupported, "Global temporary procedures (" + s.object.object +
                                    ") are not supported by the embedded server; make a #name of the session's own.");
  }
  // A procedure runs with the ANSI_NULLS and QUOTED_IDENTIFIER of its
  // creation; the server keeps procedures made with both ON alone.
  if (!state_.options.ansi_nulls || !state_.options.quoted_identifier) {
    throw SqlErr(kNotSupported, "CREATE PROCEDURE while SET " +
                                    std::string(state_.options.ansi_nulls ? "QUOTED_IDENTIFIER" : "ANSI_NULLS") +
                                    " is OFF is not supported by the embedded server; its procedures run with "
                                    "ANSI_NULLS and QUOTED_IDENTIFIER ON.");
  }
  if (catalog_->ObjectExists(s.object.object, temporary)) {
    throw SqlErr(kObjectExists, "There is already an object named '" + s.object.object + "' in the database.");
  }
  // Its parameters and the variables of its body are checked now, as SQL
  // Server checks them when it compiles the procedure.
  VariableStore variables;
  for (const ProcedureParameter& p : ResolveParameters(s.variables)) variables.Declare(p.name, p.type);
  DeclareVariables(s.then_block, &variables);
  catalog_->AddObject(s.object.object, "P", 0, s.text, temporary);
  catalog_->Invalidate();
  catalog_->Refresh();
}

void EngineCore::RunDropProcedure(const ast::Stmt& s) {
  const ProcedureMeta* p = catalog_->FindProcedure(s.object.object);
  if (!p) {
    throw SqlErr(kCannotDropTable, "Cannot drop the procedure '" + s.object.Display() +
                                       "', because it does not exist in the system catalog.");
  }
  catalog_->RemoveObject(p->id);
  catalog_->Refresh();
}

void EngineCore::RunCreateView(const ast::Stmt& s) {
  const bool alter = s.kind == ast::StmtKind::kAlterView;
  const std::string verb = alter ? "ALTER VIEW" : "CREATE VIEW";
  if (!s.object.database.empty() && !SameName(s.object.database, state_.database)) {
    throw SqlErr(166, "'" + verb + "' does not allow specifying the database name as a prefix to the object name.");
  }
  if (!s.object.schema.empty() && !SameName(s.object.schema, "dbo")) {
    throw SqlErr(2760, "The specified schema name \"" + s.object.schema + "\" either does not exist or you do not have permission to use it.");
  }
  if (IsTemporaryName(s.object.object)) {
    throw SqlErr(4103, "\"" + s.object.object + "\": Temporary views or functions are not allowed.");
  }
  if (s.object.object.size() > 128) throw SqlErr(kSyntax, "Invalid view name.");
  // A view runs with the ANSI_NULLS and QUOTED_IDENTIFIER of its creation;
  // the server keeps views made with both ON alone, as it does procedures.
  if (!state_.options.ansi_nulls || !state_.options.quoted_identifier) {
    throw SqlErr(kNotSupported, verb + " while SET " +
                                    std::string(state_.options.ansi_nulls ? "QUOTED_IDENTIFIER" : "ANSI_NULLS") +
                                    " is OFF is not supported by the embedded server; its views run with "
                                    "ANSI_NULLS and QUOTED_IDENTIFIER ON.");
  }
  const ViewMeta* existing = catalog_->FindView(s.object.object);
  if (alter && !existing) throw SqlErr(kInvalidObject, "Invalid object name '" + s.object.object + "'.");
  if (!alter && catalog_->ObjectExists(s.object.object)) {
    throw SqlErr(kObjectExists, "There is already an object named '" + s.object.object + "' in the database.");
  }
  if (!s.select->order_by.empty() && !s.select->top) {
    throw SqlErr(1033, "The ORDER BY clause is invalid in views, inline functions, derived tables, subqueries, and "
                       "common table expressions, unless TOP or FOR XML is also specified.");
  }
  // The query is checked now, as SQL Server compiles it (ALTER VIEW as the
  // view it replaces, so that it may not name itself).
  ViewMeta candidate;
  candidate.name = s.object.object;
  candidate.text = s.text;
  candidate.definition = std::shared_ptr<const ast::Stmt>(&s, [](const ast::Stmt*) {});
  Translator(*catalog_, state_).View(candidate);
  if (alter) {
    catalog_->SetDefinition(existing->id, s.text);
  } else {
    catalog_->AddObject(s.object.object, "V", 0, s.text);
  }
  catalog_->Invalidate();
  catalog_->Refresh();
}

void EngineCore::RunDropView(const ast::Stmt& s) {
  for (const ast::ObjectName& name : s.objects) {
    const ViewMeta* v = IsTemporaryName(name.object) ? nullptr : catalog_->FindView(name.object);
    const bool elsewhere = (!name.database.empty() && !SameName(name.database, state_.database)) ||
                           (!name.schema.empty() && !SameName(name.schema, "dbo"));
    if (!v && !elsewhere && catalog_->FindTable(name.object)) {
      throw SqlErr(3705, "Cannot use DROP VIEW with '" + name.object + "' because '" + name.object +
                             "' is a table. Use DROP TABLE.");
    }
    if (!v || elsewhere) {
      throw SqlErr(3701, "Cannot drop the view '" + name.Display() + "', because it does not exist in the system catalog.");
    }
    catalog_->RemoveObject(v->id);
    catalog_->Refresh();
  }
}

void EngineCore::RunCreateIndex(const ast::Stmt& s, std::string_view batch) {
  if (!IsTemporaryName(s.object.object) && catalog_->FindView(s.object.object)) {
    throw SqlErr(1939, "Cannot create index on view '" + s.object.object + "' because the view is not schema bound.");
  }
  const TableMeta& t = ResolveTable(s.object);
  const std::string& name = s.index.name;
  const bool drop_existing = s.option == "DROP_EXISTING";
  const IndexMeta* existing = t.FindIndex(name);
  bool named_by_key = false;
  for (const KeyMeta& k : t.keys) named_by_key = named_by_key || SameName(k.name, name);
  if (drop_existing && !existing) {
    throw SqlErr(7999, "Could not find any index named '" + name + "' for table '" + t.name + "'.");
  }
  if ((existing && !drop_existing) || named_by_key) {
    throw SqlErr(1913, "The operation failed because an index or statistics with name '" + name +
                           "' already exists on table '" + t.name + "'.");
  }
  if (s.index.clustered) {
    std::string clustered;
    for (const KeyMeta& k : t.keys) {
      if (k.primary) clustered = k.name;
    }
    for (const IndexMeta& x : t.indexes) {
      if (x.clustered && !(existing && &x == existing)) clustered = x.name;
    }
    if (!clustered.empty()) {
      throw SqlErr(1902, "Cannot create more than one clustered index on table '" + t.name +
                             "'. Drop the existing clustered index '" + clustered + "' before creating another.");
    }
  }
  IndexMeta index = BuildIndexMeta(t, s);
  index.definition = std::string(batch.substr(s.offset, s.end > s.offset ? s.end - s.offset : std::string::npos));
  std::vector<IndexMeta> indexes;
  for (const IndexMeta& x : t.indexes) {
    if (&x != existing) indexes.push_back(x);
  }
  if (existing) db_->Exec(SqliteDropIndex(t, existing->name));
  try {
    db_->Exec(SqliteCreateIndex(t, index));
  } catch (const com::Error&) {
    if (sqlite3_extended_errcode(db_->get()) != SQLITE_CONSTRAINT_UNIQUE) throw;
    throw SqlErr(1505, "The CREATE UNIQUE INDEX statement terminated because a duplicate key was found for the object "
                       "name 'dbo." + t.name + "' and the index name '" + name + "'.");
  }
  indexes.push_back(std::move(index));
  const std::int64_t id = t.id;
  catalog_->SetDefinition(id, TableDefinition(t, indexes));
  catalog_->Refresh();
}

void EngineCore::RunDropIndex(const ast::Stmt& s) {
  for (const ast::ObjectName& name : s.objects) {
    const TableMeta* t = catalog_->FindTable(name.schema);
    const std::string shown = name.schema + "." + name.object;
    bool key = false;
    if (t) {
      for (const KeyMeta& k : t->keys) key = key || SameName(k.name, name.object);
    }
    if (key) {
      throw SqlErr(3723, "An explicit DROP INDEX is not allowed on index '" + shown +
                             "'. It is being used for PRIMARY KEY or UNIQUE KEY constraint enforcement.");
    }
    const IndexMeta* index = t ? t->FindIndex(name.object) : nullptr;
    if (!index) {
      throw SqlErr(3701, "Cannot drop the index '" + shown + "', because it does not exist in the system catalog.");
    }
    std::vector<IndexMeta> indexes;
    for (const IndexMeta& x : t->indexes) {
      if (&x != index) indexes.push_back(x);
    }
    db_->Exec(SqliteDropIndex(*t, index->name));
    catalog_->SetDefinition(t->id, TableDefinition(*t, indexes));
    catalog_->Refresh();
  }
}

void EngineCore::RunSetIdentityInsert(const ast::Stmt& s) {
  const TableMeta& t = ResolveTable(s.object);
  if (t.IdentityColumn() < 0) {
    throw SqlErr(kNoIdentity, "Table '" + t.name + "' does not have the identity property. Cannot perform SET operation.");
  }
  if (s.on) {
    if (identity_insert_ && *identity_insert_ != t.id) {
      const TableMeta* on = catalog_->FindTableById(*identity_insert_);
      const std::string other = on ? on->name : "?";
      throw SqlErr(kIdentityInsertOther, "IDENTITY_INSERT is already ON for table '" + QualifiedName(state_.database, other) +
                                             "'. Cannot perform SET operation for table '" + t.name + "'.");
    }
    identity_insert_ = t.id;
  } else if (identity_insert_ && *identity_insert_ == t.id) {
    identity_insert_.reset();
  }
}

void EngineCore::RunTruncate(const ast::Stmt& s) {
  const TableMeta& t = WritableTable(s.object, s.kind);
  for (const TableMeta* child : catalog_->ReferencingTables(t.name)) {
    if (child != &t) {
      throw SqlErr(4712, "Cannot truncate table '" + t.name + "' because it is being referenced by a FOREIGN KEY constraint.");
    }
  }
  db_->Exec("DELETE FROM " + QuoteSqlite(t.name));
  catalog_->SetLastIdentity(t.id, std::nullopt);
  state_.rowcount = 0;
}

}  // namespace sqlsrv
