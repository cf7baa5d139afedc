// The sys catalog views as data: their columns (the features the server
// lacks as constant columns), and their rows built from the database's
// objects, the server's types, and the server folder's databases and
// logins.
#include <algorithm>
#include <initializer_list>

#include "platform/com/names.h"
#include "platform/sqlserver/catalog/system_objects.h"
#include "platform/sqlserver/catalog/system_views.h"
#include "platform/sqlserver/catalog/system_views_internal.h"
#include "platform/sqlserver/collation.h"
#include "platform/sqlserver/translation/translate.h"

namespace sqlsrv::views {
namespace {

constexpr ColumnType kType{SqlType::kChar, 2};

// ------------------------------------------------------------ objects

// The columns sys.objects has and the views of one kind of object inherit.
const ViewColumn kObjectColumns[] = {
    {"name", kSysname, false},
    {"object_id", kInt, false},
    {"principal_id", kInt, true, "NULL"},
    {"schema_id", kInt, false, "1"},
    {"parent_object_id", kInt, false},
    {"type", kType, true},
    {"type_desc", kDescription, true},
    {"create_date", kDateTime, false},
    {"modify_date", kDateTime, false},
    {"is_ms_shipped", kBit, false, "0"},
    {"is_published", kBit, false, "0"},
    {"is_schema_published", kBit, false, "0"},
};

// An object's values of the columns above that the rows give.
std::vector<std::string> ObjectValues(const DatabaseObject& o) {
  const std::string created = Text(o.created);
  return {Text(o.name), Number(o.id), Number(o.parent), Text(o.type), Text(ObjectTypeDescription(o.type)),
          created, created};
}

// The objects of the types listed (every object for none), by id, each
// row its object's values followed by what `more` adds.
template <typename More>
Rows ObjectRows(const Catalog& catalog, std::initializer_list<std::string_view> types, More more) {
  Rows rows;
  for (const DatabaseObject& o : DatabaseObjects(catalog)) {
    if (types.size() && std::find(types.begin(), types.end(), o.type) == types.end()) continue;
    std::vector<std::string> row = ObjectValues(o);
    for (std::string& v : more(o)) row.push_back(std::move(v));
    rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<std::string> Nothing(const DatabaseObject&) { return {}; }

Rows ObjectsRows(const ViewContext& v) { return ObjectRows(v.catalog, {}, &Nothing); }

const std::vector<ViewColumn> kTables = Inherit(kObjectColumns, {
    {"lob_data_space_id", kInt, false},
    {"filestream_data_space_id", kInt, true, "NULL"},
    {"max_column_id_used", kInt, false},
    {"lock_on_bulk_load", kBit, false, "0"},
    {"uses_ansi_nulls", kBit, true, "1"},
    {"is_replicated", kBit, true, "0"},
    {"has_replication_filter", kBit, true, "0"},
    {"is_merge_published", kBit, true, "0"},
    {"is_sync_tran_subscribed", kBit, true, "0"},
    {"has_unchecked_assembly_data", kBit, false, "0"},
    {"text_in_row_limit", kInt, true, "0"},
    {"large_value_types_out_of_row", kBit, true, "0"},
});

// A table keeps text, ntext and (max) values in its own data space, the
// one filegroup, when it has such a column.
Rows TablesRows(const ViewContext& v) {
  return ObjectRows(v.catalog, {"U"}, [](const DatabaseObject& o) {
    bool large = false;
    for (const ColumnMeta& c : o.table->columns) {
      large = large || c.type.type == SqlType::kText || c.type.type == SqlType::kNText || c.type.length < 0;
    }
    return std::vector<std::string>{large ? "1" : "0", Number(static_cast<std::int64_t>(o.table->columns.size()))};
  });
}

const std::vector<ViewColumn> kViews = Inherit(kObjectColumns, {
    {"is_replicated", kBit, true, "0"},
    {"has_replication_filter", kBit, true, "0"},
    {"has_opaque_metadata", kBit, false, "0"},
    {"has_unchecked_assembly_data", kBit, false, "0"},
    {"with_check_option", kBit, false},
    {"is_date_correlation_view", kBit, false, "0"},
});

Rows ViewsRows(const ViewContext& v) {
  return ObjectRows(v.catalog, {"V"}, [](const DatabaseObject& o) {
    return std::vector<std::string>{Bit(o.view->checked())};
  });
}

const std::vector<ViewColumn> kProcedures = Inherit(kObjectColumns, {
    {"is_auto_executed", kBit, false, "0"},
    {"is_execution_replicated", kBit, true, "0"},
    {"is_repl_serializable_only", kBit, true, "0"},
    {"skips_repl_constraints", kBit, true, "0"},
});

Rows ProceduresRows(const ViewContext& v) { return ObjectRows(v.catalog, {"P"}, &Nothing); }

const std::vector<ViewColumn> kKeyConstraints = Inherit(kObjectColumns, {
    {"unique_index_id", kInt, true},
    {"is_system_named", kBit, false},
});

// The index of a key: its table's index made for it.
int IndexIdOf(const TableMeta& table, const KeyMeta* key) {
  for (const TableIndex& i : IndexesOf(table)) {
    if (i.key == key) return i.id;
  }
  return 0;
}

Rows KeyConstraintsRows(const ViewContext& v) {
  return ObjectRows(v.catalog, {"PK", "UQ"}, [](const DatabaseObject& o) {
    return std::vector<std::string>{Number(IndexIdOf(*o.table, o.key)), Bit(o.key->system_named)};
  });
}

const std::vector<ViewColumn> kDefaultConstraints = Inherit(kObjectColumns, {
    {"parent_column_id", kInt, false},
    {"definition", kDefinition, true},
    {"is_system_named", kBit, false},
});

Rows DefaultConstraintsRows(const ViewContext& v) {
  return ObjectRows(v.catalog, {"D"}, [](const DatabaseObject& o) {
    const ColumnMeta& c = o.table->columns[static_cast<std::size_t>(o.column)];
    return std::vector<std::string>{Number(o.column + 1), TextOrNull(KeptDefault(c)), Bit(c.default_system_named)};
  });
}

const std::vector<ViewColumn> kForeignKeys = Inherit(kObjectColumns, {
    {"referenced_object_id", kInt, true},
    {"key_index_id", kInt, true},
    {"is_disabled", kBit, false, "0"},
    {"is_not_for_replication", kBit, false, "0"},
    {"is_not_trusted", kBit, false, "0"},
    {"delete_referential_action", kTinyInt, true, "0"},
    {"delete_referential_action_desc", kDescription, true, "'NO_ACTION'"},
    {"update_referential_action", kTinyInt, true, "0"},
    {"update_referential_action_desc", kDescription, true, "'NO_ACTION'"},
    {"is_system_named", kBit, false},
});

Rows ForeignKeysRows(const ViewContext& v) {
  return ObjectRows(v.catalog, {"F"}, [&](const DatabaseObject& o) {
    const TableMeta* parent = v.catalog.FindTable(o.foreign_key->ref_table);
    const KeyMeta* key = ReferencedKey(v.catalog, *o.foreign_key);
    return std::vector<std::string>{parent ? Number(parent->id) : kNull,
                                    parent && key ? Number(IndexIdOf(*parent, key)) : kNull,
                                    Bit(o.foreign_key->system_named)};
  });
}

const ViewColumn kForeignKeyColumns[] = {
    {"constraint_object_id", kInt, false},
    {"constraint_column_id", kInt, false},
    {"parent_object_id", kInt, false},
    {"parent_column_id", kInt, false},
    {"referenced_object_id", kInt, false},
    {"referenced_column_id", kInt, false},
};

// Each column of each foreign key, numbered from 1 in the key's order,
// with the column of the referenced table it refers to.
Rows ForeignKeyColumnsRows(const ViewContext& v) {
  Rows rows;
  for (const DatabaseObject& o : DatabaseObjects(v.catalog)) {
    if (o.type != "F") continue;
    const ForeignKeyMeta& f = *o.foreign_key;
    const TableMeta* parent = v.catalog.FindTable(f.ref_table);
    if (!parent) continue;
    for (std::size_t i = 0; i < f.columns.size() && i < f.ref_columns.size(); ++i) {
      rows.push_back({Number(o.id), Number(static_cast<std::int64_t>(i) + 1), Number(o.table->id),
                      Number(f.columns[i] + 1), Number(parent->id), Number(parent->Find(f.ref_columns[i]) + 1)});
    }
  }
  return rows;
}

// ------------------------------------------------------------ columns

const ViewColumn kColumns[] = {
    {"object_id", kInt, false},
    {"name", kSysname, true},
    {"column_id", kInt, false},
    {"system_type_id", kTinyInt, false},
    {"user_type_id", kInt, false},
    {"max_length", kSmallInt, false},
    {"precision", kTinyInt, false},
    {"scale", kTinyInt, false},
    {"collation_name", kSysname, true},
    {"is_nullable", kBit, true},
    {"is_ansi_padded", kBit, false},
    {"is_rowguidcol", kBit, false, "0"},
    {"is_identity", kBit, false},
    {"is_computed", kBit, false, "0"},
    {"is_filestream", kBit, false, "0"},
    {"is_replicated", kBit, true, "0"},
    {"is_non_sql_subscribed", kBit, true, "0"},
    {"is_merge_published", kBit, true, "0"},
    {"is_dts_replicated", kBit, true, "0"},
    {"is_xml_document", kBit, false, "0"},
    {"xml_collection_id", kInt, false, "0"},
    {"default_object_id", kInt, false},
    {"rule_object_id", kInt, false, "0"},
};

// A column's values of the columns above that the rows give.
std::vector<std::string> ColumnValues(const TableMeta& t, std::size_t i) {
  const ColumnMeta& c = t.columns[i];
  const ServerType& type = ServerTypeOf(c.type.type);
  const ColumnSize size = ColumnSizeOf(c.type);
  const bool text = IsCharType(c.type.type);
  return {Number(t.id), Text(c.name), Number(static_cast<std::int64_t>(i) + 1), Number(type.system_type_id),
          Number(type.user_type_id), Number(size.max_length), Number(size.precision), Number(size.scale),
          text ? Text(c.collation.empty() ? kServerCollation : c.collation) : kNull, Bit(c.nullable), Bit(text),
          Bit(c.identity),
          Number(c.default_value ? DefaultConstraintId(t, i) : 0)};
}

// The columns of the tables and views, by object.
Rows ColumnsRows(const ViewContext& v) {
  Rows rows;
  for (const DatabaseObject& o : DatabaseObjects(v.catalog)) {
    if (o.type == "U") {
      for (std::size_t i = 0; i < o.table->columns.size(); ++i) rows.push_back(ColumnValues(*o.table, i));
    } else if (o.type == "V") {
      const TableMeta view = ViewAsTable(v.catalog, v.session, *o.view);
      for (std::size_t i = 0; i < view.columns.size(); ++i) rows.push_back(ColumnValues(view, i));
    }
  }
  return rows;
}

// SQL Server gives these as sql_variant; they are bigint here.
const std::vector<ViewColumn> kIdentityColumns = Inherit(kColumns, {
    {"seed_value", kBigInt, true},
    {"increment_value", kBigInt, true},
    {"last_value", kBigInt, true},
    {"is_not_for_replication", kBit, true, "0"},
});

// The identity column of each table, with the last value it handed out
// (NULL before the first).
Rows IdentityColumnsRows(const ViewContext& v) {
  Rows rows;
  for (const DatabaseObject& o : DatabaseObjects(v.catalog)) {
    if (o.type != "U") continue;
    const int i = o.table->IdentityColumn();
    if (i < 0) continue;
    std::vector<std::string> row = ColumnValues(*o.table, static_cast<std::size_t>(i));
    const ColumnMeta& c = o.table->columns[static_cast<std::size_t>(i)];
    const auto last = v.catalog.LastIdentity(o.table->id);
    row.insert(row.end(), {Number(c.seed), Number(c.step), last ? Number(*last) : kNull});
    rows.push_back(std::move(row));
  }
  return rows;
}

// ------------------------------------------------------------ types and schemas

const ViewColumn kTypes[] = {
    {"name", kSysname, false},
    {"system_type_id", kTinyInt, false},
    {"user_type_id", kInt, false},
    {"schema_id", kInt, false},
    {"principal_id", kInt, true, "NULL"},
    {"max_length", kSmallInt, false},
    {"precision", kTinyInt, false},
    {"scale", kTinyInt, false},
    {"collation_name", kSysname, true},
    {"is_nullable", kBit, true, "1"},
    {"is_user_defined", kBit, false, "0"},
    {"is_assembly_type", kBit, false, "0"},
    {"default_object_id", kInt, false, "0"},
    {"rule_object_id", kInt, false, "0"},
};

Rows TypesRows(const ViewContext&) {
  Rows rows;
  for (const ServerType& t : ServerTypes()) {
    rows.push_back({Text(t.name), Number(t.system_type_id), Number(t.user_type_id), Number(kSysSchemaId),
                    Number(t.max_length), Number(t.precision), Number(t.scale),
                    IsCharType(t.type) ? Text(kServerCollation) : kNull});
  }
  return rows;
}

const ViewColumn kSchemas[] = {
    {"name", kSysname, false},
    {"schema_id", kInt, false},
    {"principal_id", kInt, true},
};

// Every principal but public owns the schema of its name and id.
Rows SchemasRows(const ViewContext&) {
  Rows rows;
  for (const DatabasePrincipal& p : DatabasePrincipals()) {
    if (p.id != 0) rows.push_back({Text(p.name), Number(p.id), Number(p.id)});
  }
  return rows;
}

// ------------------------------------------------------------ indexes

const ViewColumn kIndexes[] = {
    {"object_id", kInt, false},
    {"name", kSysname, true},
    {"index_id", kInt, false},
    {"type", kTinyInt, false},
    {"type_desc", kDescription, true},
    {"is_unique", kBit, true},
    {"data_space_id", kInt, false, "1"},
    {"ignore_dup_key", kBit, true, "0"},
    {"is_primary_key", kBit, true},
    {"is_unique_constraint", kBit, true},
    {"fill_factor", kTinyInt, false, "0"},
    {"is_padded", kBit, true, "0"},
    {"is_disabled", kBit, true, "0"},
    {"is_hypothetical", kBit, true, "0"},
    {"allow_row_locks", kBit, true, "1"},
    {"allow_page_locks", kBit, true, "1"},
};

// Every table's indexes, tables by id: the heap or the clustered index
// first, then the nonclustered ones.
Rows IndexesRows(const ViewContext& v) {
  Rows rows;
  for (const DatabaseObject& o : DatabaseObjects(v.catalog)) {
    if (o.type != "U") continue;
    for (const TableIndex& i : IndexesOf(*o.table)) {
      const int type = i.heap() ? 0 : i.clustered() ? 1 : 2;
      static const char* const kDescriptions[] = {"HEAP", "CLUSTERED", "NONCLUSTERED"};
      rows.push_back({Number(o.id), i.heap() ? kNull : Text(i.name()), Number(i.id), Number(type),
                      Text(kDescriptions[type]), Bit(i.unique()), Bit(i.key && i.key->primary),
                      Bit(i.key && !i.key->primary)});
    }
  }
  return rows;
}

const ViewColumn kIndexColumns[] = {
    {"object_id", kInt, false},
    {"index_id", kInt, false},
    {"index_column_id", kInt, false},
    {"column_id", kInt, false},
    {"key_ordinal", kTinyInt, false},
    {"partition_ordinal", kTinyInt, false, "0"},
    {"is_descending_key", kBit, true},
    {"is_included_column", kBit, true, "0"},
};

Rows IndexColumnsRows(const ViewContext& v) {
  Rows rows;
  for (const DatabaseObject& o : DatabaseObjects(v.catalog)) {
    if (o.type != "U") continue;
    for (const TableIndex& i : IndexesOf(*o.table)) {
      const std::vector<int> columns = i.columns();
      for (std::size_t k = 0; k < columns.size(); ++k) {
        const std::string ordinal = Number(static_cast<std::int64_t>(k) + 1);
        rows.push_back({Number(o.id), Number(i.id), ordinal, Number(columns[k] + 1), ordinal, Bit(i.descending(k))});
      }
    }
  }
  return rows;
}

// ------------------------------------------------------------ modules

const ViewColumn kSqlModules[] = {
    {"object_id", kInt, false},
    {"definition", kDefinition, true},
    {"uses_ansi_nulls", kBit, true, "1"},
    {"uses_quoted_identifier", kBit, true, "1"},
    {"is_schema_bound", kBit, true, "0"},
    {"uses_database_collation", kBit, true, "0"},
    {"is_recompiled", kBit, true, "0"},
    {"null_on_null_input", kBit, true, "0"},
    {"execute_as_principal_id", kInt, true, "NULL"},
};

// Each procedure and view with its CREATE text as written.
Rows SqlModulesRows(const ViewContext& v) {
  Rows rows;
  for (const DatabaseObject& o : DatabaseObjects(v.catalog)) {
    if (o.type == "P") rows.push_back({Number(o.id), Text(o.procedure->text)});
    if (o.type == "V") rows.push_back({Number(o.id), Text(o.view->text)});
  }
  return rows;
}

// ------------------------------------------------------------ the server

const ViewColumn kDatabases[] = {
    {"name", kSysname, true},
    {"database_id", kInt, false},
    {"source_database_id", kInt, true, "NULL"},
    {"owner_sid", VarBinary(85), true, "NULL"},
    {"create_date", kDateTime, false},
    {"compatibility_level", kTinyInt, true, "80"},
    {"collation_name", kSysname, true},
    {"user_access", kTinyInt, true, "0"},
    {"user_access_desc", kDescription, true, "'MULTI_USER'"},
    {"is_read_only", kBit, true, "0"},
    {"is_auto_close_on", kBit, false, "0"},
    {"is_auto_shrink_on", kBit, true, "0"},
    {"state", kTinyInt, true, "0"},
    {"state_desc", kDescription, true, "'ONLINE'"},
    {"is_in_standby", kBit, true, "0"},
    {"is_cleanly_shutdown", kBit, true, "0"},
    {"is_supplemental_logging_enabled", kBit, true, "0"},
    {"snapshot_isolation_state", kTinyInt, true, "0"},
    {"snapshot_isolation_state_desc", kDescription, true, "'OFF'"},
    {"is_read_committed_snapshot_on", kBit, true, "0"},
    {"recovery_model", kTinyInt, true, "3"},
    {"recovery_model_desc", kDescription, true, "'SIMPLE'"},
    {"page_verify_option", kTinyInt, true, "0"},
    {"page_verify_option_desc", kDescription, true, "'NONE'"},
    {"is_auto_create_stats_on", kBit, true, "1"},
    {"is_auto_update_stats_on", kBit, true, "1"},
    {"is_auto_update_stats_async_on", kBit, true, "0"},
    {"is_ansi_null_default_on", kBit, true, "0"},
    {"is_ansi_nulls_on", kBit, true, "0"},
    {"is_ansi_padding_on", kBit, true, "0"},
    {"is_ansi_warnings_on", kBit, true, "0"},
    {"is_arithabort_on", kBit, true, "0"},
    {"is_concat_null_yields_null_on", kBit, true, "0"},
    {"is_numeric_roundabort_on", kBit, true, "0"},
    {"is_quoted_identifier_on", kBit, true, "0"},
    {"is_recursive_triggers_on", kBit, true, "0"},
    {"is_cursor_close_on_commit_on", kBit, true, "0"},
    {"is_local_cursor_default", kBit, true, "0"},
    {"is_fulltext_enabled", kBit, true, "0"},
    {"is_trustworthy_on", kBit, true, "0"},
    {"is_db_chaining_on", kBit, true, "0"},
    {"is_parameterization_forced", kBit, true, "0"},
    {"is_master_key_encrypted_by_server", kBit, false, "0"},
    {"is_published", kBit, false, "0"},
    {"is_subscribed", kBit, false, "0"},
    {"is_merge_published", kBit, false, "0"},
    {"is_distributor", kBit, false, "0"},
    {"is_sync_with_backup", kBit, false, "0"},
    {"service_broker_guid", ColumnType{SqlType::kVarChar, 36}, true, "NULL"},  // uniqueidentifier on SQL Server
    {"is_broker_enabled", kBit, false, "0"},
    {"log_reuse_wait", kTinyInt, true, "0"},
    {"log_reuse_wait_desc", kDescription, true, "'NOTHING'"},
    {"is_date_correlation_on", kBit, false, "0"},
};

// The server's databases by id.
Rows DatabasesRows(const ViewContext& v) {
  Rows rows;
  for (const DatabaseEntry& d : ServerDatabases(v.catalog, v.session.database)) {
    rows.push_back({Text(d.name), Number(d.id), DateOrNull(d.created), Text(kServerCollation)});
  }
  return rows;
}

const ViewColumn kServerPrincipals[] = {
    {"name", kSysname, false},
    {"principal_id", kInt, false},
    {"sid", VarBinary(85), true, "NULL"},
    {"type", {SqlType::kChar, 1}, false},
    {"type_desc", kDescription, true},
    {"is_disabled", kInt, true, "0"},
    {"create_date", kDateTime, true},
    {"modify_date", kDateTime, true},
    {"default_database_name", kSysname, true},
    {"default_language_name", kSysname, true},
    {"credential_id", kInt, true, "NULL"},
};

// The fixed server roles and the logins (SQL Server logins all), by id;
// a login's database is master, its language us_english.
Rows ServerPrincipalsRows(const ViewContext& v) {
  Rows rows;
  for (const ServerPrincipal& p : ServerPrincipals(v.catalog, v.session.login)) {
    const std::string created = DateOrNull(p.created);
    rows.push_back({Text(p.name), Number(p.id), Text(p.role ? "R" : "S"), Text(p.role ? "SERVER_ROLE" : "SQL_LOGIN"),
                    created, created, p.role ? kNull : Text("master"), p.role ? kNull : Text("us_english")});
  }
  return rows;
}

const ViewDefinition kDefinitions[] = {
    {"objects", kObjectColumns, &ObjectsRows},
    {"tables", kTables, &TablesRows},
    {"views", kViews, &ViewsRows},
    {"procedures", kProcedures, &ProceduresRows},
    {"key_constraints", kKeyConstraints, &KeyConstraintsRows},
    {"default_constraints", kDefaultConstraints, &DefaultConstraintsRows},
    {"foreign_keys", kForeignKeys, &ForeignKeysRows},
    {"foreign_key_columns", kForeignKeyColumns, &ForeignKeyColumnsRows},
    {"columns", kColumns, &ColumnsRows},
    {"identity_columns", kIdentityColumns, &IdentityColumnsRows},
    {"types", kTypes, &TypesRows},
    {"schemas", kSchemas, &SchemasRows},
    {"indexes", kIndexes, &IndexesRows},
    {"index_columns", kIndexColumns, &IndexColumnsRows},
    {"sql_modules", kSqlModules, &SqlModulesRows},
    {"databases", kDatabases, &DatabasesRows, true},
    {"server_principals", kServerPrincipals, &ServerPrincipalsRows, true},
};

}  // namespace

std::span<const ViewDefinition> CatalogViewDefinitions() { return kDefinitions; }

}  // namespace sqlsrv::views
