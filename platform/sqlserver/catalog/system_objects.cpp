// The fixed tables of SQL Server's numbers (types, object types,
// principals), and the objects, indexes, databases and logins read from the
// catalog and the server folder.
#include "platform/sqlserver/catalog/system_objects.h"

#include <algorithm>

#include "platform/com/error.h"
#include "platform/com/names.h"
#include "platform/port/files.h"
#include "platform/sqlserver/server_directory.h"

namespace sqlsrv {
namespace {

// clang-format off
const ServerType kServerTypes[] = {
    // name             type                     id   user usertype storage max    prec scale variable
    {"image",         SqlType::kImage,         34,  34,  20,  34,  16,   0,  0,  true},
    {"text",          SqlType::kText,          35,  35,  19,  35,  16,   0,  0,  true},
    {"uniqueidentifier", SqlType::kUniqueIdentifier, 36, 36, 0, 37, 16, 0,  0,  false},
    {"tinyint",       SqlType::kTinyInt,       48,  48,  5,   48,  1,    3,  0,  false},
    {"smallint",      SqlType::kSmallInt,      52,  52,  6,   52,  2,    5,  0,  false},
    {"int",           SqlType::kInt,           56,  56,  7,   56,  4,    10, 0,  false},
    {"smalldatetime", SqlType::kSmallDateTime, 58,  58,  22,  58,  4,    16, 0,  false},
    {"real",          SqlType::kReal,          59,  59,  23,  59,  4,    24, 0,  false},
    {"money",         SqlType::kMoney,         60,  60,  11,  60,  8,    19, 4,  false},
    {"datetime",      SqlType::kDateTime,      61,  61,  12,  61,  8,    23, 3,  false},
    {"float",         SqlType::kFloat,         62,  62,  8,   62,  8,    53, 0,  false},
    {"sql_variant",   SqlType::kSqlVariant,    98,  98,  0,   39,  8016, 0,  0,  false},
    {"ntext",         SqlType::kNText,         99,  99,  0,   35,  16,   0,  0,  true},
    {"bit",           SqlType::kBit,           104, 104, 16,  50,  1,    1,  0,  false},
    {"decimal",       SqlType::kDecimal,       106, 106, 24,  55,  17,   38, 38, false},
    {"numeric",       SqlType::kDecimal,       108, 108, 10,  63,  17,   38, 38, false},
    {"smallmoney",    SqlType::kSmallMoney,    122, 122, 21,  122, 4,    10, 4,  false},
    {"bigint",        SqlType::kBigInt,        127, 127, 0,   63,  8,    19, 0,  false},
    {"varbinary",     SqlType::kVarBinary,     165, 165, 4,   37,  8000, 0,  0,  true},
    {"varchar",       SqlType::kVarChar,       167, 167, 2,   39,  8000, 0,  0,  true},
    {"binary",        SqlType::kBinary,        173, 173, 3,   45,  8000, 0,  0,  false},
    {"char",          SqlType::kChar,          175, 175, 1,   47,  8000, 0,  0,  false},
    {"timestamp",     SqlType::kTimestamp,     189, 189, 80,  45,  8,    0,  0,  false},
    {"nvarchar",      SqlType::kNVarChar,      231, 231, 0,   39,  8000, 0,  0,  true},
    {"nchar",         SqlType::kNChar,         239, 239, 0,   47,  8000, 0,  0,  false},
    {"sysname",       SqlType::kNVarChar,      231, 256, 18,  39,  256,  0,  0,  true},
};
// clang-format on

// The object types a database lists: sys.objects' type_desc, sp_help's
// name.
struct ObjectType {
  std::string_view type;
  std::string_view description;
  std::string_view name;
};
const ObjectType kObjectTypes[] = {
    {"U", "USER_TABLE", "user table"},
    {"V", "VIEW", "view"},
    {"P", "SQL_STORED_PROCEDURE", "stored procedure"},
    {"PK", "PRIMARY_KEY_CONSTRAINT", "primary key cns"},
    {"UQ", "UNIQUE_CONSTRAINT", "unique key cns"},
    {"F", "FOREIGN_KEY_CONSTRAINT", "foreign key cns"},
    {"D", "DEFAULT_CONSTRAINT", "default (maybe cns)"},
};

const DatabasePrincipal kDatabasePrincipals[] = {
    {"public", 0, true},
    {"dbo", 1, false},
    {"guest", 2, false},
    {"INFORMATION_SCHEMA", 3, false},
    {"sys", 4, false},
    {"db_owner", 16384, true},
    {"db_accessadmin", 16385, true},
    {"db_securityadmin", 16386, true},
    {"db_ddladmin", 16387, true},
    {"db_backupoperator", 16389, true},
    {"db_datareader", 16390, true},
    {"db_datawriter", 16391, true},
    {"db_denydatareader", 16392, true},
    {"db_denydatawriter", 16393, true},
};

// The fixed server roles after sa, from principal id 2.
const char* const kServerRoles[] = {"public",      "sysadmin",  "securityadmin", "serveradmin", "setupadmin",
                                    "processadmin", "diskadmin", "dbcreator",     "bulkadmin"};
constexpr std::int64_t kFirstLoginId = 256;

}  // namespace

std::span<const ServerType> ServerTypes() { return kServerTypes; }

const ServerType& ServerTypeOf(SqlType type) {
  for (const ServerType& t : kServerTypes) {
    if (t.type == type) return t;  // the first of a type is its own: decimal before numeric, nvarchar before sysname
  }
  return kServerTypes[0];
}

ColumnSize ColumnSizeOf(const ColumnType& type) {
  const ServerType& t = ServerTypeOf(type.type);
  ColumnSize out{t.max_length, t.precision, t.scale};
  switch (type.type) {
    case SqlType::kDecimal: {
      // Stored in 5, 9, 13 or 17 bytes by its precision.
      const int bytes = type.precision <= 9 ? 5 : type.precision <= 19 ? 9 : type.precision <= 28 ? 13 : 17;
      return {bytes, type.precision, type.scale};
    }
    case SqlType::kChar: case SqlType::kVarChar: case SqlType::kBinary: case SqlType::kVarBinary:
      out.max_length = type.length;
      break;
    case SqlType::kNChar: case SqlType::kNVarChar: out.max_length = type.length < 0 ? -1 : 2 * type.length; break;
    default: break;
  }
  return out;
}

std::vector<DatabaseObject> DatabaseObjects(const Catalog& catalog) {
  std::vector<DatabaseObject> out;
  for (const ObjectMeta& o : catalog.Objects()) {
    DatabaseObject d;
    d.id = o.id;
    d.name = o.name;
    d.type = o.xtype;
    d.parent = o.parent;
    d.created = o.created;
    if (o.xtype == "P") {
      d.procedure = catalog.FindProcedure(o.name);
      if (!d.procedure) continue;
    } else if (o.xtype == "V") {
      d.view = catalog.FindView(o.name);
      if (!d.view) continue;
    } else {
      d.table = catalog.FindTableById(o.xtype == "U" ? o.id : o.parent);
      if (!d.table) continue;
      for (const KeyMeta& k : d.table->keys) {
        if (com::SameName(k.name, o.name)) d.key = &k;
      }
      for (const ForeignKeyMeta& f : d.table->foreign_keys) {
        if (com::SameName(f.name, o.name)) d.foreign_key = &f;
      }
    }
    out.push_back(std::move(d));
    if (o.xtype != "U") continue;
    // The table's DEFAULT constraints follow it.
    const TableMeta& t = *out.back().table;
    const std::string created = o.created;
    for (std::size_t i = 0; i < t.columns.size(); ++i) {
      if (!t.columns[i].default_value) continue;
      DatabaseObject def;
      def.id = DefaultConstraintId(t, i);
      def.name = t.columns[i].default_name;
      def.type.push_back('D');  // (assigning "D" trips a false -Wrestrict of GCC 12)
      def.parent = t.id;
      def.created = created;
      def.table = &t;
      def.column = static_cast<int>(i);
      out.push_back(std::move(def));
    }
  }
  std::stable_sort(out.begin(), out.end(),
                   [](const DatabaseObject& a, const DatabaseObject& b) { return a.id < b.id; });
  return out;
}

std::string_view ObjectTypeDescription(std::string_view type) {
  for (const ObjectType& t : kObjectTypes) {
    if (t.type == type) return t.description;
  }
  return "";
}

std::string_view ObjectTypeName(std::string_view type) {
  for (const ObjectType& t : kObjectTypes) {
    if (t.type == type) return t.name;
  }
  return "";
}

const std::string& TableIndex::name() const {
  static const std::string kNone;
  return key ? key->name : index ? index->name : kNone;
}

std::vector<int> TableIndex::columns() const {
  return key ? key->columns : index ? index->columns : std::vector<int>{};
}

std::vector<TableIndex> IndexesOf(const TableMeta& table) {
  std::vector<TableIndex> out;
  const auto primary = std::find_if(table.keys.begin(), table.keys.end(), [](const KeyMeta& k) { return k.primary; });
  const auto clustered =
      std::find_if(table.indexes.begin(), table.indexes.end(), [](const IndexMeta& x) { return x.clustered; });
  if (primary != table.keys.end()) {
    out.push_back({1, &*primary, nullptr});
  } else if (clustered != table.indexes.end()) {
    out.push_back({1, nullptr, &*clustered});
  } else {
    out.push_back({0, nullptr, nullptr});
  }
  int next = 2;
  for (const KeyMeta& k : table.keys) {
    if (!k.primary) out.push_back({next++, &k, nullptr});
  }
  for (const IndexMeta& x : table.indexes) {
    if (!x.clustered) out.push_back({next++, nullptr, &x});
  }
  return out;
}

std::span<const DatabasePrincipal> DatabasePrincipals() { return kDatabasePrincipals; }

std::string FirstCharacters(std::string text, int limit) {
  if (limit <= 0) return text;
  std::size_t units = 0;
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    const std::size_t size = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
    units += size == 4 ? 2 : 1;
    if (units > static_cast<std::size_t>(limit)) {
      text.resize(i);
      break;
    }
    i += size;
  }
  return text;
}

std::vector<DatabaseEntry> ServerDatabases(const Catalog& catalog, const std::string& database) {
  if (const ServerDirectory* server = catalog.server()) return server->Databases();
  return {{5, database, catalog.DatabaseFile(), ""}};
}

std::vector<ServerPrincipal> ServerPrincipals(const Catalog& catalog, const std::string& login) {
  std::vector<LoginEntry> logins;
  if (const ServerDirectory* server = catalog.server()) {
    logins = server->Logins();
  } else {
    logins.push_back({login, ""});
  }
  std::vector<ServerPrincipal> out;
  std::int64_t next = kFirstLoginId;
  for (const LoginEntry& l : logins) {
    if (com::SameName(l.name, "sa")) out.push_back({1, l.name, false, l.created});
  }
  for (std::size_t i = 0; i < std::size(kServerRoles); ++i) {
    out.push_back({static_cast<std::int64_t>(i) + 2, kServerRoles[i], true, ""});
  }
  for (const LoginEntry& l : logins) {
    if (!com::SameName(l.name, "sa")) out.push_back({next++, l.name, false, l.created});
  }
  return out;
}

}  // namespace sqlsrv
