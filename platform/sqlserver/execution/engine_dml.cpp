// INSERT, UPDATE and DELETE: the rows a statement changes, their new
// values converted and checked as SQL Server does, and the errors of keys
// and foreign keys.
#include <sqlite3.h>

#include <algorithm>

#include "platform/com/unicode.h"
#include "platform/port/per_thread.h"
#include "platform/sqlserver/collation.h"
#include "platform/sqlserver/execution/engine_internal.h"
#include "platform/sqlserver/errors.h"
#include "platform/sqlserver/lexer.h"
#include "platform/sqlserver/execution/result_values.h"

namespace sqlsrv {
namespace {

// A value a statement stores in an image column. SQL Server converts char,
// varchar and text to image implicitly, as the bytes of the text in the
// server code page, but neither nchar, nvarchar nor ntext (206); every
// other column, and every other value, takes the value as it is.
void ToImageColumn(const OutputColumn& from, const ColumnType& to, com::Variant* v) {
  if (to.type != SqlType::kImage || from.type != VT::kString || !v->IsText()) return;
  if (from.column && IsUnicodeType(from.column->type)) {
    throw SqlErr(206, "Operand type clash: " + TypeBaseName(*from.column) + " is incompatible with image");
  }
  struct ServerCodePage {
    com::CodePage page{"CP" + std::to_string(kServerCodePageNumber)};
  };
  std::string bytes;
  port::PerThread<ServerCodePage>().page.FromUtf8Lossy(v->text(), &bytes);
  *v = com::Variant::Bytes(bytes);
}

// The value DEFAULT gives a column: its default, or NULL without one.
const ast::Expr* DefaultOf(const ColumnMeta& c) {
  static const ast::Expr kNullValue;
  return c.default_value ? c.default_value.get() : &kNullValue;
}

}  // namespace

void EngineCore::RunInsert(ast::Stmt& s) {
  const TableMeta& t = WritableTable(s.object, s.kind);
  std::vector<int> targets;
  if (s.columns.empty()) {
    for (std::size_t i = 0; i < t.columns.size(); ++i) {
      if (!t.columns[i].identity || (identity_insert_ && *identity_insert_ == t.id)) targets.push_back(static_cast<int>(i));
    }
  } else {
    targets = ResolveColumns(t, s.columns);
  }
  const int identity = t.IdentityColumn();
  const bool explicit_identity = identity >= 0 && std::find(targets.begin(), targets.end(), identity) != targets.end();
  const bool insert_on = identity_insert_ && *identity_insert_ == t.id;
  if (explicit_identity && !insert_on) {
    throw SqlErr(kIdentityInsert, "Cannot insert explicit value for identity column in table '" + t.name +
                                      "' when IDENTITY_INSERT is set to OFF.");
  }
  if (insert_on && identity >= 0 && !explicit_identity) {
    throw SqlErr(545, "Explicit value must be specified for identity column in table '" + t.name +
                          "' when IDENTITY_INSERT is set to ON.");
  }
  if (s.default_values) targets.clear();
  RowInserter inserter(*this, t, targets, explicit_identity);
  Translator tr(*catalog_, state_);
  std::vector<com::Variant> values;
  auto check_count = [&](std::size_t n) {
    if (n != targets.size()) {
      throw SqlErr(kColumnCount, "Insert Error: Column name or number of supplied values does not match table definition.");
    }
  };
  const std::int64_t limit = state_.options.rowcount_limit;  // SET ROWCOUNT: the most rows stored
  const auto target_type = [&](std::size_t i) -> const ColumnType& {
    return t.columns[static_cast<std::size_t>(targets[i])].type;
  };
  if (s.select) {
    TranslatedSelect sel = tr.Select(*s.select);
    check_count(sel.columns.size());
    if (limit > 0) sel.sql = "SELECT * FROM (" + sel.sql + ") LIMIT " + std::to_string(limit);
    const bool reads_target = tr.Reads(t);
    // Most copies store their values as the query gives them and run
    // inside SQLite in one statement; the others go row by row.
    if (reads_target || !inserter.InsertSelect(sel)) {
      Prepared st(*db_, sel.sql);
      auto next = [&](std::vector<com::Variant>* r) {
        const int rc = st.StepRaw();
        if (rc == SQLITE_DONE) return false;
        if (rc != SQLITE_ROW) throw StepError(rc, "INSERT", &t);
        r->resize(sel.columns.size());
        for (std::size_t i = 0; i < r->size(); ++i) {
          (*r)[i] = DecodeValue(st.get(), static_cast<int>(i), sel.columns[i]);
          ToImageColumn(sel.columns[i], target_type(i), &(*r)[i]);
        }
        return true;
      };
      if (reads_target) {
        // A table copied into itself is read whole before it is written, so
        // that it is read as it was.
        std::vector<std::vector<com::Variant>> rows;
        for (std::vector<com::Variant> r; next(&r);) rows.push_back(std::move(r));
        for (const auto& r : rows) inserter.Insert(r);
      } else {
        // Memory stays flat however many rows.
        while (next(&values)) inserter.Insert(values);
      }
    }
  } else if (s.default_values) {
    inserter.Insert({});
  } else {
    for (const auto& row : s.values) {
      check_count(row.size());
      if (limit > 0 && inserter.rows() >= limit) break;
      std::vector<const ast::Expr*> exprs;
      std::vector<ColumnType> types;
      for (std::size_t i = 0; i < row.size(); ++i) {
        const ColumnMeta& c = t.columns[static_cast<std::size_t>(targets[i])];
        if (row[i]->kind != ast::ExprKind::kDefault) {
          exprs.push_back(row[i].get());
        } else if (c.identity) {
          throw SqlErr(339, "DEFAULT or NULL are not allowed as explicit identity values.");
        } else {
          exprs.push_back(DefaultOf(c));  // a timestamp's NULL: the next timestamp
        }
      }
      for (std::size_t i = 0; i < exprs.size(); ++i) types.push_back(target_type(i));
      TranslatedSelect c = tr.Constants(exprs, types);
      // A sql_variant keeps its value's base type only when SQLite stores
      // the row as the query gives it.
      const bool variant = std::any_of(types.begin(), types.end(),
                                       [](const ColumnType& type) { return type.type == SqlType::kSqlVariant; });
      if (variant && inserter.InsertSelect(c)) continue;
      Prepared st(*db_, c.sql);
      const int rc = st.StepRaw();
      if (rc != SQLITE_ROW) throw StepError(rc, "INSERT", &t);
      values.assign(exprs.size(), com::Variant());
      for (std::size_t i = 0; i < values.size(); ++i) {
        values[i] = DecodeValue(st.get(), static_cast<int>(i), c.columns[i]);
        ToImageColumn(c.columns[i], target_type(i), &values[i]);
      }
      inserter.Insert(values);
    }
  }
  inserter.Finish();
  state_.rowcount = inserter.rows();
  if (inserter.last_identity() && identity >= 0 && inserter.rows() > 0) state_.identity = inserter.last_identity();
}

void EngineCore::RunUpdate(const ast::Stmt& s) {
  const TableMeta& t = WritableTable(ChangedTableName(s.object, s.from, *catalog_), s.kind);
  std::vector<int> columns;
  std::vector<const ast::Expr*> exprs;
  for (const auto& [name, expr] : s.sets) {
    const int i = t.Find(name);
    if (i < 0) throw SqlErr(kInvalidColumn, "Invalid column name '" + name + "'.");
    if (t.columns[static_cast<std::size_t>(i)].identity) {
      throw SqlErr(kIdentityUpdate, "Cannot update identity column '" + t.columns[static_cast<std::size_t>(i)].name + "'.");
    }
    if (t.columns[static_cast<std::size_t>(i)].type.type == SqlType::kTimestamp) {
      throw SqlErr(272, "Cannot update a timestamp column.");
    }
    columns.push_back(i);
    exprs.push_back(expr->kind == ast::ExprKind::kDefault ? DefaultOf(t.columns[static_cast<std::size_t>(i)]) : expr.get());
  }
  std::vector<ColumnType> types;
  for (const int i : columns) types.push_back(t.columns[static_cast<std::size_t>(i)].type);
  Translator tr(*catalog_, state_);
  TranslatedSelect rows = tr.TargetRows(t, s.from, s.where.get(), exprs, types);
  std::vector<std::pair<std::int64_t, std::vector<Stored>>> changes;
  const std::int64_t limit = state_.options.rowcount_limit;  // SET ROWCOUNT: the most rows changed
  {
    Prepared st(*db_, rows.sql);
    while (limit == 0 || static_cast<std::int64_t>(changes.size()) < limit) {
      const int rc = st.StepRaw();
      if (rc == SQLITE_DONE) break;
      if (rc != SQLITE_ROW) throw StepError(rc, "UPDATE", &t);
      std::vector<Stored> values(columns.size());
      for (std::size_t k = 0; k < columns.size(); ++k) {
        const ColumnMeta& c = t.columns[static_cast<std::size_t>(columns[k])];
        if (c.type.type == SqlType::kSqlVariant) {
          values[k] = RawStored(st.get(), static_cast<int>(k + 1));  // with its base type
          if (values[k].kind == Stored::kNull && !c.nullable) {
            throw NotNullError(c.name, QualifiedName(state_.database, t.name), "UPDATE");
          }
          continue;
        }
        com::Variant value = DecodeValue(st.get(), static_cast<int>(k + 1), rows.columns[k]);
        ToImageColumn(rows.columns[k], c.type, &value);
        ToStored(value, c.type, &values[k]);
        if (values[k].kind == Stored::kNull && !c.nullable) {
          throw NotNullError(c.name, QualifiedName(state_.database, t.name), "UPDATE");
        }
      }
      changes.emplace_back(st.Int(0), std::move(values));
    }
  }
  if (!changes.empty()) {
    // Each row changed takes the database's next timestamp in its
    // timestamp column.
    const int rowversion = t.RowversionColumn();
    std::string sql = "UPDATE " + QuoteSqlite(t.name) + " SET ";
    for (std::size_t k = 0; k < columns.size(); ++k) {
      sql += (k ? ", " : "") + QuoteSqlite(t.columns[static_cast<std::size_t>(columns[k])].name) + " = ?";
    }
    if (rowversion >= 0) sql += ", " + QuoteSqlite(t.columns[static_cast<std::size_t>(rowversion)].name) + " = ?";
    sql += " WHERE rowid = ?";
    Prepared up(*db_, sql);
    for (const auto& [rowid, values] : changes) {
      for (std::size_t k = 0; k < values.size(); ++k) Bind(up, static_cast<int>(k + 1), values[k]);
      int next = static_cast<int>(values.size() + 1);
      if (rowversion >= 0) {
        Bind(up, next++, Stored{Stored::kBlob, 0, 0, TimestampBytes(catalog_->NextTimestamp())});
      }
      up.Bind(next, rowid);
      const int rc = up.StepRaw();
      up.Reset();
      if (rc != SQLITE_DONE) {
        if (rc == SQLITE_CONSTRAINT_FOREIGNKEY) throw SqlErr(kConstraint, "UPDATE statement conflicted with a FOREIGN KEY constraint on table '" + t.name + "' or a table referring to it.");
        throw StepError(rc, "UPDATE", &t);
      }
    }
  }
  state_.rowcount = static_cast<std::int64_t>(changes.size());
}

void EngineCore::RunDelete(const ast::Stmt& s) {
  const TableMeta& t = WritableTable(ChangedTableName(s.object, s.from, *catalog_), s.kind);
  std::string sql = "DELETE FROM " + QuoteSqlite(t.name);
  // SET ROWCOUNT: the first rows found alone, by their rowids.
  const std::int64_t limit = state_.options.rowcount_limit;
  const std::string first_rows = limit > 0 ? " LIMIT " + std::to_string(limit) : "";
  if (s.where || !s.from.empty()) {
    Translator tr(*catalog_, state_);
    TranslatedSelect rows = tr.TargetRows(t, s.from, s.where.get(), {});
    sql += " WHERE rowid IN (" + rows.sql + first_rows + ")";
  } else if (limit > 0) {
    sql += " WHERE rowid IN (SELECT rowid FROM " + QuoteSqlite(t.name) + first_rows + ")";
  }
  Prepared st(*db_, sql);
  const int rc = st.StepRaw();
  if (rc != SQLITE_DONE) {
    if (rc == SQLITE_CONSTRAINT_FOREIGNKEY) {
      // Name the table whose rows still refer to the deleted ones.
      for (const TableMeta* child : catalog_->ReferencingTables(t.name)) {
        for (const auto& fk : child->foreign_keys) {
          if (!SameName(fk.ref_table, t.name)) continue;
          std::string probe = "SELECT 1 FROM " + QuoteSqlite(child->name) + " WHERE ";
          for (std::size_t k = 0; k < fk.columns.size(); ++k) {
            probe += (k ? " AND " : "") + QuoteSqlite(child->columns[static_cast<std::size_t>(fk.columns[k])].name) + " IS NOT NULL";
          }
          probe += " LIMIT 1";
          Prepared p(*db_, probe);
          if (p.Step()) {
            throw SqlErr(kConstraint, "DELETE statement conflicted with COLUMN REFERENCE constraint '" + fk.name +
                                          "'. The conflict occurred in database '" + state_.database + "', table '" +
                                          child->name + "', column '" +
                                          child->columns[static_cast<std::size_t>(fk.columns[0])].name + "'.");
          }
        }
      }
    }
    throw StepError(rc, "DELETE", &t);
  }
  state_.rowcount = db_->Changes();
}

}  // namespace sqlsrv
