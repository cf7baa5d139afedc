// SQL Server 2000's system tables as data: their columns in documented
// order (internal columns with the constants SQL Server documents or 0,
// binary ones NULL), and their rows built from the same objects, types,
// principals and databases as the catalog views.
#include <algorithm>

#include "platform/com/names.h"
#include "platform/sqlserver/catalog/system_objects.h"
#include "platform/sqlserver/catalog/system_views.h"
#include "platform/sqlserver/catalog/system_views_internal.h"
#include "platform/sqlserver/collation.h"

namespace sqlsrv::views {
namespace {

// The compatibility level and database version SQL Server 2000 gives its
// databases.
constexpr char kCompatibilityLevel[] = "80";
constexpr char kDatabaseVersion[] = "539";

// ------------------------------------------------------------ syscolumns

const ViewColumn kSysColumns[] = {
    {"name", kSysname, true},
    {"id", kInt, false},
    {"xtype", kTinyInt, false},
    {"typestat", kTinyInt, true, "0"},
    {"xusertype", kSmallInt, true},
    {"length", kSmallInt, false},
    {"xprec", kTinyInt, false},
    {"xscale", kTinyInt, false},
    {"colid", kSmallInt, true},
    {"xoffset", kSmallInt, true, "0"},
    {"bitpos", kTinyInt, true, "0"},
    {"reserved", kTinyInt, true, "0"},
    {"colstat", kSmallInt, true, "0"},
    {"cdefault", kInt, false},
    {"domain", kInt, false, "0"},
    {"number", kSmallInt, true},
    {"colorder", kSmallInt, true},
    {"autoval", VarBinary(8000), true, "NULL"},
    {"offset", kSmallInt, true, "0"},
    {"collationid", kInt, true, "NULL"},
    {"status", kTinyInt, true},
    {"type", kTinyInt, false},
    {"usertype", kSmallInt, true},
    {"printfmt", {SqlType::kVarChar, 255}, true, "NULL"},
    {"prec", kSmallInt, true},
    {"scale", kInt, true},
    {"iscomputed", kInt, true, "0"},
    {"isoutparam", kInt, true},
    {"isnullable", kInt, true},
    {"collation", kSysname, true},
    {"tdscollation", Binary(5), true, "NULL"},
};

// The bits of syscolumns.status.
constexpr int kAllowsNull = 0x08, kAnsiPadded = 0x10, kOutputParameter = 0x40, kIdentity = 0x80;

// prec and scale as syscolumns gives them: a text's length in characters,
// a number's or date's precision; the scale of exact numbers and dates,
// NULL for the others.
std::string PrecisionOf(const ColumnType& type) {
  if (const auto lengths = CharacterLengthsOf(type)) {
    return Number(std::min<std::int64_t>(lengths->characters, 32767));
  }
  return Number(ColumnSizeOf(type).precision);
}

std::string ScaleOf(const ColumnType& type) {
  if (IsCharType(type.type) || IsBinaryType(type.type) || type.type == SqlType::kFloat || type.type == SqlType::kReal) {
    return kNull;
  }
  return Number(ColumnSizeOf(type).scale);
}

// One row of syscolumns: a table's column (number 0) or a procedure's
// parameter (number 1).
std::vector<std::string> SysColumnRow(std::int64_t id, const std::string& name, std::size_t position,
                                      const ColumnType& type, bool nullable, bool identity, bool output,
                                      std::int64_t default_id, int number) {
  const ServerType& t = ServerTypeOf(type.type);
  const ColumnSize size = ColumnSizeOf(type);
  const bool text = IsCharType(type.type);
  const int status = (nullable ? kAllowsNull : 0) | (type.type == SqlType::kVarChar ? kAnsiPadded : 0) |
                     (output ? kOutputParameter : 0) | (identity ? kIdentity : 0);
  const std::string colid = Number(static_cast<std::int64_t>(position) + 1);
  return {Text(name),         Number(id),           Number(t.system_type_id), Number(t.user_type_id),
          Number(size.max_length), Number(size.precision), Number(size.scale), colid,
          Number(default_id), Number(number),       colid,                    Number(status),
          Number(t.storage_type), Number(t.usertype), PrecisionOf(type),     ScaleOf(type),
          Bit(output),        Bit(nullable),        text ? Text(kServerCollation) : kNull};
}

// Every column of every table, then every parameter of every procedure,
// objects by id.
Rows SysColumnsRows(const ViewContext& v) {
  Rows rows;
  for (const DatabaseObject& o : DatabaseObjects(v.catalog)) {
    if (o.type == "U") {
      const TableMeta& t = *o.table;
      for (std::size_t i = 0; i < t.columns.size(); ++i) {
        const ColumnMeta& c = t.columns[i];
        rows.push_back(SysColumnRow(t.id, c.name, i, c.type, c.nullable, c.identity, false,
                                    c.default_value ? DefaultConstraintId(t, i) : 0, 0));
      }
    } else if (o.type == "P") {
      const ProcedureMeta& p = *o.procedure;
      for (std::size_t i = 0; i < p.parameters.size(); ++i) {
        const ProcedureParameter& param = p.parameters[i];
        rows.push_back(SysColumnRow(p.id, param.name, i, param.type, true, false, param.output, 0, 1));
      }
    }
  }
  return rows;
}

// ------------------------------------------------------------ systypes

const ViewColumn kSysTypes[] = {
    {"name", kSysname, false},
    {"xtype", kTinyInt, false},
    {"status", kTinyInt, true, "0"},
    {"xusertype", kSmallInt, true},
    {"length", kSmallInt, false},
    {"xprec", kTinyInt, false},
    {"xscale", kTinyInt, false},
    {"tdefault", kInt, false, "0"},
    {"domain", kInt, false, "0"},
    {"uid", kSmallInt, true},
    {"reserved", kSmallInt, true, "0"},
    {"collationid", kInt, true, "NULL"},
    {"usertype", kSmallInt, true},
    {"variable", kBit, false},
    {"allownulls", kBit, true, "1"},
    {"type", kTinyInt, false},
    {"printfmt", {SqlType::kVarChar, 255}, true, "NULL"},
    {"prec", kSmallInt, true},
    {"scale", kTinyInt, true},
    {"collation", kSysname, true},
};

// Every type of the server, by user type id. prec is a text's length in
// characters (0 for text and ntext), scale NULL for the types that are no
// numbers.
Rows SysTypesRows(const ViewContext&) {
  Rows rows;
  for (const ServerType& t : ServerTypes()) {
    const bool text = IsCharType(t.type);
    std::string prec = Number(t.precision);
    if (text) {
      const bool unicode = IsUnicodeType(t.type);
      prec = t.max_length == 16 ? "0" : Number(unicode ? t.max_length / 2 : t.max_length);
    }
    const bool number = IsIntegerType(t.type) || IsMoneyType(t.type) || IsFloatType(t.type);
    rows.push_back({Text(t.name), Number(t.system_type_id), Number(t.user_type_id), Number(t.max_length),
                    Number(t.precision), Number(t.scale), Number(kSysSchemaId), Number(t.usertype), Bit(t.variable),
                    Number(t.storage_type), prec, number ? Number(t.scale) : kNull,
                    text ? Text(kServerCollation) : kNull});
  }
  return rows;
}

// ------------------------------------------------------------ sysindexes

const ViewColumn kSysIndexes[] = {
    {"id", kInt, false},
    {"status", kInt, true, "0"},
    {"first", Binary(6), true, "NULL"},
    {"indid", kSmallInt, true},
    {"root", Binary(6), true, "NULL"},
    {"minlen", kSmallInt, true, "0"},
    {"keycnt", kSmallInt, true},
    {"groupid", kSmallInt, true, "1"},
    {"dpages", kInt, true},
    {"reserved", kInt, true},
    {"used", kInt, true},
    {"rowcnt", kBigInt, true},
    {"rowmodctr", kInt, true, "0"},
    {"reserved3", kInt, true, "0"},
    {"reserved4", kInt, true, "0"},
    {"xmaxlen", kSmallInt, true, "0"},
    {"maxirow", kSmallInt, true, "0"},
    {"OrigFillFactor", kTinyInt, true, "0"},
    {"StatVersion", kTinyInt, true, "0"},
    {"reserved2", kInt, true, "0"},
    {"FirstIAM", Binary(6), true, "NULL"},
    {"impid", kSmallInt, true, "0"},
    {"lockflags", kSmallInt, true, "0"},
    {"pgmodctr", kInt, true, "0"},
    {"keys", VarBinary(816), true, "NULL"},
    {"name", kSysname, true},
    {"statblob", kImage, true, "NULL"},
    {"maxlen", kInt, true, "8000"},
    {"rows", kInt, true},
};

// Every table's indexes, tables by id: the heap (named as its table) or
// the clustered index, which carry the table's pages, its indexes' pages
// included, then the nonclustered indexes, whose pages are counted there.
Rows SysIndexesRows(const ViewContext& v) {
  Rows rows;
  const auto pages = v.catalog.PagesByTable();
  for (const DatabaseObject& o : DatabaseObjects(v.catalog)) {
    if (o.type != "U") continue;
    const TableMeta& t = *o.table;
    const auto found = pages.find(t.name);
    const Catalog::Pages p = found == pages.end() ? Catalog::Pages{} : found->second;
    const std::int64_t count = v.catalog.RowCount(t);
    const std::string rows_text = Number(count), rows_int = Number(std::min<std::int64_t>(count, 2147483647));
    for (const TableIndex& i : IndexesOf(t)) {
      const bool base = i.id <= 1;
      const std::string name = i.heap() ? Text(t.name) : Text(i.name());
      const std::string keys = Number(static_cast<std::int64_t>(i.columns().size()));
      rows.push_back({Number(t.id), Number(i.id), keys, Number(base ? p.data : 0), Number(base ? p.data + p.index : 0),
                      Number(base ? p.data + p.index : 0), rows_text, name, rows_int});
    }
  }
  return rows;
}

// ------------------------------------------------------------ sysusers

const ViewColumn kSysUsers[] = {
    {"uid", kSmallInt, true},
    {"status", kSmallInt, true, "0"},
    {"name", kSysname, false},
    {"sid", VarBinary(85), true, "NULL"},
    {"roles", VarBinary(2048), true, "NULL"},
    {"createdate", kDateTime, true, "NULL"},
    {"updatedate", kDateTime, true, "NULL"},
    {"altuid", kSmallInt, true, "0"},
    {"password", VarBinary(256), true, "NULL"},
    {"gid", kSmallInt, true},
    {"environ", {SqlType::kVarChar, 255}, true, "NULL"},
    {"hasdbaccess", kInt, true},
    {"islogin", kInt, true},
    {"isntname", kInt, true, "0"},
    {"isntgroup", kInt, true, "0"},
    {"isntuser", kInt, true, "0"},
    {"issqluser", kInt, true},
    {"isaliased", kInt, true, "0"},
    {"issqlrole", kInt, true},
    {"isapprole", kInt, true, "0"},
};

// The database's users and roles, by id: a role is its own group; dbo,
// the owner, is the one user with a login (sa's) and access.
Rows SysUsersRows(const ViewContext&) {
  Rows rows;
  for (const DatabasePrincipal& p : DatabasePrincipals()) {
    const bool owner = p.id == 1;
    rows.push_back({Number(p.id), Text(p.name), Number(p.role ? p.id : 0), Bit(owner), Bit(owner), Bit(!p.role),
                    Bit(p.role)});
  }
  return rows;
}

// ------------------------------------------------------------ sysdatabases

const ViewColumn kSysDatabases[] = {
    {"name", kSysname, true},
    {"dbid", kSmallInt, true},
    {"sid", VarBinary(85), true, "NULL"},
    {"mode", kSmallInt, true, "0"},
    {"status", kInt, true, "8"},  // trunc. log on chkpt: the simple recovery model
    {"status2", kInt, true, "0"},
    {"crdate", kDateTime, false},
    {"reserved", kDateTime, true, "NULL"},
    {"category", kInt, true, "0"},
    {"cmptlevel", kTinyInt, false, kCompatibilityLevel},
    {"filename", {SqlType::kNVarChar, 260}, true},
    {"version", kSmallInt, true, kDatabaseVersion},
};

Rows SysDatabasesRows(const ViewContext& v) {
  Rows rows;
  for (const DatabaseEntry& d : ServerDatabases(v.catalog, v.session.database)) {
    rows.push_back({Text(d.name), Number(d.id), DateOrNull(d.created), Text(d.file)});
  }
  return rows;
}

// ------------------------------------------------------------ syscomments

const ViewColumn kSysComments[] = {
    {"id", kInt, false},
    {"number", kSmallInt, true},
    {"colid", kSmallInt, false},
    {"status", kSmallInt, false, "0"},
    {"ctext", VarBinary(8000), false, "NULL"},
    {"texttype", kSmallInt, true, "0"},
    {"language", kSmallInt, true, "0"},
    {"encrypted", kBit, false, "0"},
    {"compressed", kBit, false, "0"},
    {"text", {SqlType::kNVarChar, 4000}, true},
};

// The text of every procedure (number 1) and DEFAULT constraint (number
// 0), objects by id, in rows of at most 4000 characters numbered from 1.
Rows SysCommentsRows(const ViewContext& v) {
  Rows rows;
  for (const DatabaseObject& o : DatabaseObjects(v.catalog)) {
    std::string text;
    if (o.type == "P") {
      text = o.procedure->text;
    } else if (o.type == "V") {
      text = o.view->text;
    } else if (o.type == "D") {
      text = KeptDefault(o.table->columns[static_cast<std::size_t>(o.column)]).value_or("");
    } else {
      continue;
    }
    std::int64_t colid = 1;
    do {
      std::string part = FirstCharacters(text, 4000);
      text.erase(0, part.size());
      rows.push_back({Number(o.id), o.type == "P" || o.type == "V" ? "1" : "0", Number(colid++), Text(part)});
    } while (!text.empty());
  }
  return rows;
}

const ViewDefinition kDefinitions[] = {
    {"syscolumns", kSysColumns, &SysColumnsRows},
    {"systypes", kSysTypes, &SysTypesRows},
    {"sysindexes", kSysIndexes, &SysIndexesRows},
    {"sysusers", kSysUsers, &SysUsersRows},
    {"syscomments", kSysComments, &SysCommentsRows},
    {"sysdatabases", kSysDatabases, &SysDatabasesRows, true},
};

}  // namespace

std::span<const ViewDefinition> SystemTableDefinitions() { return kDefinitions; }

}  // namespace sqlsrv::views
