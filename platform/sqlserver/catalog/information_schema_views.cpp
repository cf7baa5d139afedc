// The INFORMATION_SCHEMA views as data: their columns, and their rows built
// from the catalog's tables, keys, foreign keys and procedures.
#include <map>

#include "platform/com/names.h"
#include "platform/sqlserver/catalog/system_objects.h"
#include "platform/sqlserver/catalog/system_views.h"
#include "platform/sqlserver/catalog/system_views_internal.h"
#include "platform/sqlserver/collation.h"
#include "platform/sqlserver/translation/translate.h"

namespace sqlsrv::views {
namespace {

constexpr ColumnType kName{SqlType::kNVarChar, 128};  // the nvarchar(128) columns SQL Server does not call sysname
constexpr ColumnType kYesNo{SqlType::kNVarChar, 10};

const ViewColumn kTables[] = {
    {"TABLE_CATALOG", kName, true},
    {"TABLE_SCHEMA", kName, true},
    {"TABLE_NAME", kSysname, false},
    {"TABLE_TYPE", {SqlType::kVarChar, 10}, true},
};

const ViewColumn kViews[] = {
    {"TABLE_CATALOG", kName, true},
    {"TABLE_SCHEMA", kName, true},
    {"TABLE_NAME", kSysname, false},
    {"VIEW_DEFINITION", {SqlType::kNVarChar, 4000}, true},
    {"CHECK_OPTION", {SqlType::kVarChar, 7}, true},
    {"IS_UPDATABLE", {SqlType::kVarChar, 2}, true},
};

const ViewColumn kColumns[] = {
    {"TABLE_CATALOG", kName, true},
    {"TABLE_SCHEMA", kName, true},
    {"TABLE_NAME", kName, false},
    {"COLUMN_NAME", kName, true},
    {"ORDINAL_POSITION", kInt, true},
    {"COLUMN_DEFAULT", {SqlType::kNVarChar, 4000}, true},
    {"IS_NULLABLE", {SqlType::kVarChar, 3}, true},
    {"DATA_TYPE", kName, true},
    {"CHARACTER_MAXIMUM_LENGTH", kInt, true},
    {"CHARACTER_OCTET_LENGTH", kInt, true},
    {"NUMERIC_PRECISION", kTinyInt, true},
    {"NUMERIC_PRECISION_RADIX", kSmallInt, true},
    {"NUMERIC_SCALE", kInt, true},
    {"DATETIME_PRECISION", kSmallInt, true},
    {"CHARACTER_SET_CATALOG", kName, true},
    {"CHARACTER_SET_SCHEMA", kName, true},
    {"CHARACTER_SET_NAME", kName, true},
    {"COLLATION_CATALOG", kName, true},
    {"COLLATION_SCHEMA", kName, true},
    {"COLLATION_NAME", kName, true},
    {"DOMAIN_CATALOG", kName, true},
    {"DOMAIN_SCHEMA", kName, true},
    {"DOMAIN_NAME", kName, true},
};

const ViewColumn kTableConstraints[] = {
    {"CONSTRAINT_CATALOG", kSysname, true},
    {"CONSTRAINT_SCHEMA", kSysname, true},
    {"CONSTRAINT_NAME", kSysname, false},
    {"TABLE_CATALOG", kSysname, true},
    {"TABLE_SCHEMA", kSysname, true},
    {"TABLE_NAME", kSysname, false},
    {"CONSTRAINT_TYPE", {SqlType::kVarChar, 11}, true},
    {"IS_DEFERRABLE", {SqlType::kVarChar, 2}, false},
    {"INITIALLY_DEFERRED", {SqlType::kVarChar, 2}, false},
};

const ViewColumn kKeyColumnUsage[] = {
    {"CONSTRAINT_CATALOG", kSysname, true},
    {"CONSTRAINT_SCHEMA", kSysname, true},
    {"CONSTRAINT_NAME", kSysname, false},
    {"TABLE_CATALOG", kSysname, true},
    {"TABLE_SCHEMA", kSysname, true},
    {"TABLE_NAME", kSysname, false},
    {"COLUMN_NAME", kSysname, false},
    {"ORDINAL_POSITION", kInt, false},
};

const ViewColumn kReferentialConstraints[] = {
    {"CONSTRAINT_CATALOG", kSysname, true},
    {"CONSTRAINT_SCHEMA", kSysname, true},
    {"CONSTRAINT_NAME", kSysname, false},
    {"UNIQUE_CONSTRAINT_CATALOG", kSysname, true},
    {"UNIQUE_CONSTRAINT_SCHEMA", kSysname, true},
    {"UNIQUE_CONSTRAINT_NAME", kSysname, true},
    {"MATCH_OPTION", {SqlType::kVarChar, 7}, true},
    {"UPDATE_RULE", {SqlType::kVarChar, 9}, true},
    {"DELETE_RULE", {SqlType::kVarChar, 9}, true},
};

const ViewColumn kCheckConstraints[] = {
    {"CONSTRAINT_CATALOG", kName, true},
    {"CONSTRAINT_SCHEMA", kName, true},
    {"CONSTRAINT_NAME", kSysname, false},
    {"CHECK_CLAUSE", {SqlType::kNVarChar, 4000}, true},
};

const ViewColumn kSchemata[] = {
    {"CATALOG_NAME", kSysname, true},
    {"SCHEMA_NAME", kName, false},
    {"SCHEMA_OWNER", kName, true},
    {"DEFAULT_CHARACTER_SET_CATALOG", {SqlType::kVarChar, 6}, true},
    {"DEFAULT_CHARACTER_SET_SCHEMA", {SqlType::kVarChar, 3}, true},
    {"DEFAULT_CHARACTER_SET_NAME", kSysname, true},
};

const ViewColumn kRoutines[] = {
    {"SPECIFIC_CATALOG", kName, true},
    {"SPECIFIC_SCHEMA", kName, true},
    {"SPECIFIC_NAME", kName, false},
    {"ROUTINE_CATALOG", kName, true},
    {"ROUTINE_SCHEMA", kName, true},
    {"ROUTINE_NAME", kName, false},
    {"ROUTINE_TYPE", {SqlType::kNVarChar, 20}, true},
    {"MODULE_CATALOG", kName, true},
    {"MODULE_SCHEMA", kName, true},
    {"MODULE_NAME", kName, true},
    {"UDT_CATALOG", kName, true},
    {"UDT_SCHEMA", kName, true},
    {"UDT_NAME", kName, true},
    {"DATA_TYPE", kName, true},
    {"CHARACTER_MAXIMUM_LENGTH", kInt, true},
    {"CHARACTER_OCTET_LENGTH", kInt, true},
    {"COLLATION_CATALOG", kName, true},
    {"COLLATION_SCHEMA", kName, true},
    {"COLLATION_NAME", kName, true},
    {"CHARACTER_SET_CATALOG", kName, true},
    {"CHARACTER_SET_SCHEMA", kName, true},
    {"CHARACTER_SET_NAME", kName, true},
    {"NUMERIC_PRECISION", kSmallInt, true},
    {"NUMERIC_PRECISION_RADIX", kSmallInt, true},
    {"NUMERIC_SCALE", kSmallInt, true},
    {"DATETIME_PRECISION", kSmallInt, true},
    {"INTERVAL_TYPE", {SqlType::kNVarChar, 30}, true},
    {"INTERVAL_PRECISION", kSmallInt, true},
    {"TYPE_UDT_CATALOG", kName, true},
    {"TYPE_UDT_SCHEMA", kName, true},
    {"TYPE_UDT_NAME", kName, true},
    {"SCOPE_CATALOG", kName, true},
    {"SCOPE_SCHEMA", kName, true},
    {"SCOPE_NAME", kName, true},
    {"MAXIMUM_CARDINALITY", kBigInt, true},
    {"DTD_IDENTIFIER", kName, true},
    {"ROUTINE_BODY", {SqlType::kNVarChar, 30}, false},
    {"ROUTINE_DEFINITION", {SqlType::kNVarChar, 4000}, true},
    {"EXTERNAL_NAME", kName, true},
    {"EXTERNAL_LANGUAGE", {SqlType::kNVarChar, 30}, true},
    {"PARAMETER_STYLE", {SqlType::kNVarChar, 30}, true},
    {"IS_DETERMINISTIC", kYesNo, true},
    {"SQL_DATA_ACCESS", {SqlType::kNVarChar, 30}, false},
    {"IS_NULL_CALL", kYesNo, true},
    {"SQL_PATH", kName, true},
    {"SCHEMA_LEVEL_ROUTINE", kYesNo, true},
    {"MAX_DYNAMIC_RESULT_SETS", kSmallInt, true},
    {"IS_USER_DEFINED_CAST", kYesNo, true},
    {"IS_IMPLICITLY_INVOCABLE", kYesNo, true},
    {"CREATED", kDateTime, false},
    {"LAST_ALTERED", kDateTime, false},
};

const ViewColumn kParameters[] = {
    {"SPECIFIC_CATALOG", kName, true},
    {"SPECIFIC_SCHEMA", kName, true},
    {"SPECIFIC_NAME", kName, false},
    {"ORDINAL_POSITION", kInt, false},
    {"PARAMETER_MODE", kYesNo, true},
    {"IS_RESULT", kYesNo, true},
    {"AS_LOCATOR", kYesNo, true},
    {"PARAMETER_NAME", kName, true},
    {"DATA_TYPE", kName, true},
    {"CHARACTER_MAXIMUM_LENGTH", kInt, true},
    {"CHARACTER_OCTET_LENGTH", kInt, true},
    {"COLLATION_CATALOG", kName, true},
    {"COLLATION_SCHEMA", kName, true},
    {"COLLATION_NAME", kName, true},
    {"CHARACTER_SET_CATALOG", kName, true},
    {"CHARACTER_SET_SCHEMA", kName, true},
    {"CHARACTER_SET_NAME", kName, true},
    {"NUMERIC_PRECISION", kTinyInt, true},
    {"NUMERIC_PRECISION_RADIX", kSmallInt, true},
    {"NUMERIC_SCALE", kTinyInt, true},
    {"DATETIME_PRECISION", kSmallInt, true},
    {"INTERVAL_TYPE", {SqlType::kNVarChar, 30}, true},
    {"INTERVAL_PRECISION", kSmallInt, true},
    {"USER_DEFINED_TYPE_CATALOG", kName, true},
    {"USER_DEFINED_TYPE_SCHEMA", kName, true},
    {"USER_DEFINED_TYPE_NAME", kName, true},
    {"SCOPE_CATALOG", kName, true},
    {"SCOPE_SCHEMA", kName, true},
    {"SCOPE_NAME", kName, true},
};

// SQL Server's figures of a type as these views give them: precision,
// radix and scale of the numbers, precision of the datetimes; the lengths,
// character set and collation of the texts.
struct TypeFigures {
  std::string precision = kNull, radix = kNull, scale = kNull, datetime_precision = kNull;
  std::string length = kNull, octets = kNull, charset_catalog = kNull, charset = kNull, collation = kNull;
};

TypeFigures FiguresOf(const ColumnType& type) {
  TypeFigures f;
  switch (type.type) {
    case SqlType::kTinyInt: f.precision = "3", f.radix = "10", f.scale = "0"; break;
    case SqlType::kSmallInt: f.precision = "5", f.radix = "10", f.scale = "0"; break;
    case SqlType::kInt: f.precision = "10", f.radix = "10", f.scale = "0"; break;
    case SqlType::kBigInt: f.precision = "19", f.radix = "10", f.scale = "0"; break;
    case SqlType::kMoney: f.precision = "19", f.radix = "10", f.scale = "4"; break;
    case SqlType::kSmallMoney: f.precision = "10", f.radix = "10", f.scale = "4"; break;
    case SqlType::kFloat: f.precision = "53", f.radix = "2"; break;
    case SqlType::kReal: f.precision = "24", f.radix = "2"; break;
    case SqlType::kDecimal:
      f.precision = std::to_string(type.precision), f.radix = "10", f.scale = std::to_string(type.scale);
      break;
    case SqlType::kDateTime: f.datetime_precision = "3"; break;
    case SqlType::kSmallDateTime: f.datetime_precision = "0"; break;
    default: break;
  }
  if (const auto lengths = CharacterLengthsOf(type)) {
    f.length = Number(lengths->characters);
    f.octets = Number(lengths->octets);
  }
  if (IsCharType(type.type)) {
    f.charset_catalog = Text("master");
    f.charset = Text(IsUnicodeType(type.type) ? "UNICODE" : "cp936");
    f.collation = Text(kServerCollation);
  }
  return f;
}

// The user tables, by creation order, then the views.
Rows TableRows(const ViewContext& v) {
  Rows rows;
  for (const TableMeta* t : v.catalog.Tables()) {
    rows.push_back({Text(v.session.database), Text(kDboSchema), Text(t->name), Text("BASE TABLE")});
  }
  for (const ViewMeta* view : v.catalog.Views()) {
    rows.push_back({Text(v.session.database), Text(kDboSchema), Text(view->name), Text("VIEW")});
  }
  return rows;
}

// The views with their definitions (the first 4000 characters, as SQL
// Server shows them); none is updatable through the server.
Rows ViewRows(const ViewContext& v) {
  Rows rows;
  for (const ViewMeta* view : v.catalog.Views()) {
    rows.push_back({Text(v.session.database), Text(kDboSchema), Text(view->name),
                    Text(FirstCharacters(view->text, 4000)), Text(view->checked() ? "CASCADE" : "NONE"), Text("NO")});
  }
  return rows;
}

// The server has no CHECK constraints.
Rows NoRows(const ViewContext&) { return {}; }

// Every column of every table, in table order, then of every view: its
// default as SQL Server keeps it (in parentheses), and the figures of its
// type.
Rows ColumnRows(const ViewContext& v) {
  Rows rows;
  const std::string db = Text(v.session.database), dbo = Text(kDboSchema);
  std::vector<TableMeta> views;
  for (const ViewMeta* view : v.catalog.Views()) views.push_back(ViewAsTable(v.catalog, v.session, *view));
  std::vector<const TableMeta*> tables = v.catalog.Tables();
  for (const TableMeta& view : views) tables.push_back(&view);
  for (const TableMeta* t : tables) {
    const std::string table = Text(t->name);
    for (std::size_t i = 0; i < t->columns.size(); ++i) {
      const ColumnMeta& c = t->columns[i];
      TypeFigures f = FiguresOf(c.type);
      if (!c.collation.empty() && IsCharType(c.type.type)) f.collation = Text(c.collation);
      rows.push_back({db, dbo, table, Text(c.name), Number(static_cast<std::int64_t>(i) + 1),
                      TextOrNull(KeptDefault(c)), Text(c.nullable ? "YES" : "NO"), Text(TypeBaseName(c.type)),
                      f.length, f.octets, f.precision, f.radix, f.scale, f.datetime_precision, f.charset_catalog,
                      kNull, f.charset, kNull, kNull, f.collation, kNull, kNull, kNull});
    }
  }
  return rows;
}

// Every constraint of every table, in the tables' creation order: primary
// and unique keys as declared, then foreign keys.
Rows TableConstraintRows(const ViewContext& v) {
  Rows rows;
  const std::string db = Text(v.session.database), dbo = Text(kDboSchema), no = Text("NO");
  for (const TableMeta* t : v.catalog.Tables()) {
    const std::string table = Text(t->name);
    for (const KeyMeta& k : t->keys) {
      rows.push_back({db, dbo, Text(k.name), db, dbo, table, Text(k.primary ? "PRIMARY KEY" : "UNIQUE"), no, no});
    }
    for (const ForeignKeyMeta& f : t->foreign_keys) {
      rows.push_back({db, dbo, Text(f.name), db, dbo, table, Text("FOREIGN KEY"), no, no});
    }
  }
  return rows;
}

// Every column of every key and foreign key, numbered from 1 in the
// constraint's column order.
Rows KeyColumnUsageRows(const ViewContext& v) {
  Rows rows;
  const std::string db = Text(v.session.database), dbo = Text(kDboSchema);
  for (const TableMeta* t : v.catalog.Tables()) {
    const std::string table = Text(t->name);
    auto add = [&](const std::string& constraint, const std::vector<int>& columns) {
      for (std::size_t i = 0; i < columns.size(); ++i) {
        const std::string& column = t->columns[static_cast<std::size_t>(columns[i])].name;
        rows.push_back(
            {db, dbo, Text(constraint), db, dbo, table, Text(column), Number(static_cast<std::int64_t>(i) + 1)});
      }
    };
    for (const KeyMeta& k : t->keys) add(k.name, k.columns);
    for (const ForeignKeyMeta& f : t->foreign_keys) add(f.name, f.columns);
  }
  return rows;
}

// Every foreign key with the key of the referenced table it refers to:
// the primary or unique key made of the referenced columns.
Rows ReferentialConstraintRows(const ViewContext& v) {
  Rows rows;
  const std::string db = Text(v.session.database), dbo = Text(kDboSchema), no_action = Text("NO ACTION");
  for (const TableMeta* t : v.catalog.Tables()) {
    for (const ForeignKeyMeta& f : t->foreign_keys) {
      const KeyMeta* key = ReferencedKey(v.catalog, f);
      rows.push_back({db, dbo, Text(f.name), db, dbo, key ? Text(key->name) : kNull, Text("SIMPLE"), no_action,
                      no_action});
    }
  }
  return rows;
}

// Every schema, by id, with the principal owning it (its namesake).
Rows SchemataRows(const ViewContext& v) {
  Rows rows;
  for (const DatabasePrincipal& p : DatabasePrincipals()) {
    if (com::SameName(p.name, "public")) continue;  // the one principal without a schema
    rows.push_back({Text(v.session.database), Text(p.name), Text(p.name), kNull, kNull, Text("cp936")});
  }
  return rows;
}

// When each object was made, by id.
std::map<std::int64_t, std::string> CreationTimes(const Catalog& catalog) {
  std::map<std::int64_t, std::string> out;
  for (const ObjectMeta& o : catalog.Objects()) out[o.id] = o.created;
  return out;
}

// Every procedure, by name: the columns describing a function's value stay
// NULL; the definition is its first 4000 characters.
Rows RoutineRows(const ViewContext& v) {
  Rows rows;
  const std::string db = Text(v.session.database), dbo = Text(kDboSchema), no = Text("NO");
  const auto created = CreationTimes(v.catalog);
  for (const ProcedureMeta* p : v.catalog.Procedures()) {
    const std::string name = Text(p->name);
    const auto when = created.find(p->id);
    const std::string date = DateOrNull(when == created.end() ? "" : when->second);
    std::vector<std::string> row = {db, dbo, name, db, dbo, name, Text("PROCEDURE")};
    row.resize(row.size() + 29, kNull);  // MODULE_CATALOG to DTD_IDENTIFIER
    row.insert(row.end(), {Text("SQL"), Text(FirstCharacters(p->text, 4000)), kNull, kNull, kNull, no,
                           Text("MODIFIES"), kNull, kNull, Text("YES"), "-1", no, no, date, date});
    rows.push_back(std::move(row));
  }
  return rows;
}

// Every parameter of every procedure, numbered from 1: IN, or INOUT for
// one declared OUTPUT (which the procedure also reads).
Rows ParameterRows(const ViewContext& v) {
  Rows rows;
  const std::string db = Text(v.session.database), dbo = Text(kDboSchema), no = Text("NO");
  for (const ProcedureMeta* p : v.catalog.Procedures()) {
    for (std::size_t i = 0; i < p->parameters.size(); ++i) {
      const ProcedureParameter& param = p->parameters[i];
      const TypeFigures f = FiguresOf(param.type);
      std::vector<std::string> row = {db, dbo, Text(p->name), Number(static_cast<std::int64_t>(i) + 1),
                                      Text(param.output ? "INOUT" : "IN"), no, no, Text(param.name),
                                      Text(TypeBaseName(param.type)), f.length, f.octets, kNull, kNull, f.collation,
                                      f.charset_catalog, kNull, f.charset, f.precision, f.radix, f.scale,
                                      f.datetime_precision};
      row.resize(row.size() + 8, kNull);  // INTERVAL_TYPE to SCOPE_NAME
      rows.push_back(std::move(row));
    }
  }
  return rows;
}

const ViewDefinition kDefinitions[] = {
    {"TABLES", kTables, &TableRows},
    {"VIEWS", kViews, &ViewRows},
    {"COLUMNS", kColumns, &ColumnRows},
    {"TABLE_CONSTRAINTS", kTableConstraints, &TableConstraintRows},
    {"KEY_COLUMN_USAGE", kKeyColumnUsage, &KeyColumnUsageRows},
    {"REFERENTIAL_CONSTRAINTS", kReferentialConstraints, &ReferentialConstraintRows},
    {"CHECK_CONSTRAINTS", kCheckConstraints, &NoRows},
    {"ROUTINES", kRoutines, &RoutineRows},
    {"PARAMETERS", kParameters, &ParameterRows},
    {"SCHEMATA", kSchemata, &SchemataRows},
};

}  // namespace

std::span<const ViewDefinition> InformationSchemaDefinitions() { return kDefinitions; }

}  // namespace sqlsrv::views
