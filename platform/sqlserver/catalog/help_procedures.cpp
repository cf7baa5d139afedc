// sp_help, sp_helptext, sp_helpindex, sp_helpdb, sp_databases, sp_who and
// sp_spaceused as data: parameters, result columns and the functions that
// fill them from the objects, indexes and types of system_objects.h, the
// server folder's databases and SQLite's page counts.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <tuple>

#include "platform/com/quote.h"
#include "platform/port/files.h"
#include "platform/sqlserver/catalog/system_procedure_kit.h"
#include "platform/sqlserver/catalog/system_views.h"
#include "platform/sqlserver/collation.h"

namespace sqlsrv::procedures {
namespace {

constexpr ColumnType kSysname{SqlType::kNVarChar, 128};
constexpr ColumnType kObjectName{SqlType::kNVarChar, 776};  // @objname
constexpr ColumnType kName128{SqlType::kNVarChar, 128};
constexpr ColumnType kSmallIntType{SqlType::kSmallInt, 0};
constexpr ColumnType kIntType{SqlType::kInt, 0};
constexpr ColumnType kTinyIntType{SqlType::kTinyInt, 0};
constexpr ColumnType kSize{SqlType::kVarChar, 18};  // "1234 KB"
constexpr ColumnType kIdentityNumber{SqlType::kDecimal, 0, 38, 0, true};  // an identity's seed and step: numeric(38,0)

constexpr char kOwner[] = "dbo";
constexpr char kFileGroup[] = "PRIMARY";
constexpr char kNotApplicable[] = "(n/a)";

// ------------------------------------------------------------ shared

// The error for an object the current database does not have: 15009.
com::Error NoSuchObject(const std::string& name, const SessionState& session) {
  return SqlErr(15009, "The object '" + name + "' does not exist in database '" + session.database +
                           "' or is invalid for this operation.");
}

// The object an @objname names ("T", "dbo.T", "[db].[dbo].[T]"), or
// nullopt. Raises 15250 for a database part naming another database.
std::optional<DatabaseObject> FindObject(const std::string& written, const Catalog& catalog,
                                         const SessionState& session) {
  const std::vector<std::string> parts = com::ObjectNameParts(written);
  if (parts.size() > 3) return std::nullopt;
  if (parts.size() == 3 && !parts[0].empty() && !com::SameName(parts[0], session.database)) {
    throw OtherDatabaseError();
  }
  if (parts.size() >= 2 && !parts[parts.size() - 2].empty() && !com::SameName(parts[parts.size() - 2], kOwner)) {
    return std::nullopt;
  }
  for (DatabaseObject& o : DatabaseObjects(catalog)) {
    if (com::SameName(o.name, parts.back())) return std::move(o);
  }
  return std::nullopt;
}

// A name as the server collation orders it.
std::string SortKey(std::string_view name) { return com::LowerAscii(name); }

// "A, B": the names of a table's columns.
std::string ColumnList(const TableMeta& table, const std::vector<int>& columns) {
  std::string out;
  for (int c : columns) out += (out.empty() ? "" : ", ") + table.columns[static_cast<std::size_t>(c)].name;
  return out;
}

Variant DateValue(const std::string& stored) {
  return stored.empty() ? Null() : Variant::Date(OleDateFromText(stored));
}

// The size of a file in bytes, 0 when it is not there.
std::int64_t FileBytes(const std::string& path) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(port::PathFromUtf8(path), ec);
  return ec ? 0 : static_cast<std::int64_t>(size);
}

// A database's bytes: its file and its write-ahead log.
std::int64_t DatabaseBytes(const std::string& file) { return FileBytes(file) + FileBytes(file + "-wal"); }

// The page size a SQLite file's header records (bytes 16 and 17, big
// endian; 1 for 65536); 4096, SQLite's default, when it cannot be read.
std::int64_t PageSizeOf(const std::string& file) {
  std::ifstream in(port::PathFromUtf8(file), std::ios::binary);
  unsigned char header[18] = {};
  if (!in.read(reinterpret_cast<char*>(header), sizeof header)) return 4096;
  const int size = header[16] << 8 | header[17];
  return size == 1 ? 65536 : size >= 512 ? size : 4096;
}

// "1234 KB".
std::string Kilobytes(std::int64_t bytes) { return std::to_string(bytes / 1024) + " KB"; }

// A number of megabytes with two decimals, right-aligned in `width`
// characters as str(value, width, 2) writes it ("      2.50" for 10).
std::string Megabytes(std::int64_t bytes, int width) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%*.2f", width, static_cast<double>(bytes) / 1048576.0);
  return buf;
}

// ------------------------------------------------------------ sp_help

const ParamDef kHelpParameters[] = {
    {"@objname", kObjectName},
};

const ResultColumn kObjectListColumns[] = {
    {"Name", kName128, true},
    {"Owner", kName128, true},
    {"Object_type", {SqlType::kNVarChar, 31}, true},
};

const ResultColumn kTypeColumns[] = {
    {"Type_name", kName128, false},
    {"Storage_type", kName128, true},
    {"Length", kSmallIntType, true},
    {"Prec", kIntType, true},
    {"Scale", kIntType, true},
    {"Nullable", {SqlType::kVarChar, 35}, true},
    {"Default_name", kName128, true},
    {"Rule_name", kName128, true},
    {"Collation", kSysname, true},
};

const ResultColumn kObjectColumns[] = {
    {"Name", kName128, false},
    {"Owner", kName128, true},
    {"Type", {SqlType::kNVarChar, 31}, true},
    {"Created_datetime", {SqlType::kDateTime, 0}, false},
};

const ResultColumn kHelpColumnColumns[] = {
    {"Column_name", kName128, true},
    {"Type", kName128, true},
    {"Computed", {SqlType::kVarChar, 35}, true},
    {"Length", kIntType, false},
    {"Prec", {SqlType::kChar, 5}, true},
    {"Scale", {SqlType::kChar, 5}, true},
    {"Nullable", {SqlType::kVarChar, 35}, true},
    {"TrimTrailingBlanks", {SqlType::kVarChar, 35}, true},
    {"FixedLenNullInSource", {SqlType::kVarChar, 35}, true},
    {"Collation", kSysname, true},
};

const ResultColumn kIdentityColumns[] = {
    {"Identity", kName128, true},
    {"Seed", kIdentityNumber, true},
    {"Increment", kIdentityNumber, true},
    {"Not For Replication", kIntType, true},
};

const ResultColumn kRowGuidColumns[] = {
    {"RowGuidCol", kSysname, true},
};

const ResultColumn kFileGroupColumns[] = {
    {"Data_located_on_filegroup", kName128, true},
};

const ResultColumn kIndexColumns[] = {
    {"index_name", kSysname, false},
    {"index_description", {SqlType::kVarChar, 210}, true},
    {"index_keys", {SqlType::kNVarChar, 2078}, true},
};

const ResultColumn kConstraintColumns[] = {
    {"constraint_type", {SqlType::kNVarChar, 146}, true},
    {"constraint_name", kName128, true},
    {"delete_action", {SqlType::kNVarChar, 9}, true},
    {"update_action", {SqlType::kNVarChar, 9}, true},
    {"status_enabled", {SqlType::kVarChar, 8}, true},
    {"status_for_replication", {SqlType::kVarChar, 19}, true},
    {"constraint_keys", {SqlType::kNVarChar, 2078}, true},
};

const ResultColumn kReferencedByColumns[] = {
    {"Table is referenced by", {SqlType::kNVarChar, 516}, true},
};

const ResultColumn kParameterColumns[] = {
    {"Parameter_name", kName128, true},
    {"Type", kName128, true},
    {"Length", kSmallIntType, true},
    {"Prec", kIntType, true},
    {"Scale", kIntType, true},
    {"Param_order", kSmallIntType, true},
};

bool IsNumber(SqlType t) { return (IsIntegerType(t) && t != SqlType::kBit) || IsMoneyType(t) || IsFloatType(t); }
bool IsApproximate(SqlType t) { return t == SqlType::kFloat || t == SqlType::kReal; }

// The database's objects, by owner, type (descending, as SQL Server lists
// them) and name.
void HelpObjectList(const Catalog& catalog, BatchOutput* output) {
  std::vector<std::tuple<std::string, std::string, const DatabaseObject*>> keyed;
  const std::vector<DatabaseObject> objects = DatabaseObjects(catalog);
  for (const DatabaseObject& o : objects) keyed.emplace_back(std::string(ObjectTypeName(o.type)), SortKey(o.name), &o);
  std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
    return std::get<0>(a) != std::get<0>(b) ? std::get<0>(a) > std::get<0>(b) : std::get<1>(a) < std::get<1>(b);
  });
  Rows rows;
  for (const auto& [type, key, o] : keyed) rows.push_back({Str(o->name), Str(kOwner), Str(type)});
  Emit(output, kObjectListColumns, std::move(rows));
}

// A type of the server: its length, precision and scale as systypes
// keeps them; nullable; no default or rule bound.
void HelpType(const ServerType& t, BatchOutput* output) {
  const bool text = IsCharType(t.type);
  const int prec = !text                    ? t.precision
                   : t.max_length == 16       ? 0
                   : IsUnicodeType(t.type)    ? t.max_length / 2
                                              : t.max_length;
  Emit(output, kTypeColumns,
       {{Str(t.name), Str(TypeBaseName(ColumnType{t.type, 0})), Small(t.max_length), Int(prec),
         IsNumber(t.type) && !IsApproximate(t.type) ? Int(t.scale) : Null(), Str("yes"), Null(), Null(),
         text ? Str(kServerCollation) : Null()}});
}

// A table's column: Prec and Scale as char(5) texts for the numbers (the
// approximate ones without a scale), blank for the other types; the
// trailing blanks of char and varchar are kept (ANSI padding).
dts::Row HelpColumnRow(const ColumnMeta& c) {
  const ColumnSize size = ColumnSizeOf(c.type);
  const bool number = IsNumber(c.type.type);
  const bool single_byte_text = c.type.type == SqlType::kChar || c.type.type == SqlType::kVarChar;
  return {Str(c.name),
          Str(TypeBaseName(c.type)),
          Str("no"),
          Int(size.max_length),
          Str(number ? std::to_string(size.precision) : ""),
          IsApproximate(c.type.type) ? Null() : Str(number ? std::to_string(size.scale) : ""),
          Str(c.nullable ? "yes" : "no"),
          Str(single_byte_text ? "no" : kNotApplicable),
          Str(single_byte_text ? (c.nullable ? "yes" : "no") : kNotApplicable),
          IsCharType(c.type.type) ? Str(kServerCollation) : Null()};
}

// A table's indexes by name: "clustered, unique, primary key located on
// PRIMARY", and the columns they are built on.
Rows IndexRows(const TableMeta& t) {
  std::vector<std::pair<std::string, TableIndex>> indexes;
  for (const TableIndex& i : IndexesOf(t)) {
    if (!i.heap()) indexes.emplace_back(SortKey(i.name()), i);
  }
  std::sort(indexes.begin(), indexes.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  Rows rows;
  for (const auto& [key, i] : indexes) {
    std::string description = i.clustered() ? "clustered" : "nonclustered";
    if (i.unique()) description += ", unique";
    if (i.key) description += i.key->primary ? ", primary key" : ", unique key";
    description += " located on " + std::string(kFileGroup);
    std::string columns;
    const std::vector<int> keys = i.columns();
    for (std::size_t k = 0; k < keys.size(); ++k) {
      columns += (k ? ", " : "") + t.columns[static_cast<std::size_t>(keys[k])].name;
      if (i.descending(k)) columns += "(-)";
    }
    rows.push_back({Str(i.name()), Str(description), Str(columns)});
  }
  return rows;
}

// A table's constraints, by type and name: its DEFAULTs with their
// expressions, foreign keys (each followed by the row naming what it
// refers to), primary and unique keys with their columns.
Rows ConstraintRows(const TableMeta& t, const SessionState& session) {
  struct Constraint {
    std::string type, key;
    std::vector<dts::Row> rows;
  };
  std::vector<Constraint> found;
  const Variant na = Str(kNotApplicable), blank = Str(" ");
  for (std::size_t i = 0; i < t.columns.size(); ++i) {
    const ColumnMeta& c = t.columns[i];
    if (!c.default_value) continue;
    const std::string type = "DEFAULT on column " + c.name;
    found.push_back({type, SortKey(c.default_name),
                     {{Str(type), Str(c.default_name), na, na, na, na, Str(KeptDefault(c).value_or(""))}}});
  }
  for (const ForeignKeyMeta& f : t.foreign_keys) {
    std::string refers = "REFERENCES " + session.database + "." + kOwner + "." + f.ref_table + " (";
    for (std::size_t i = 0; i < f.ref_columns.size(); ++i) refers += (i ? ", " : "") + f.ref_columns[i];
    refers += ")";
    found.push_back({"FOREIGN KEY", SortKey(f.name),
                     {{Str("FOREIGN KEY"), Str(f.name), Str("No Action"), Str("No Action"), Str("Enabled"),
                       Str("Is_For_Replication"), Str(ColumnList(t, f.columns))},
                      {blank, blank, blank, blank, blank, blank, Str(refers)}}});
  }
  for (const KeyMeta& k : t.keys) {
    const std::string type = k.primary ? "PRIMARY KEY (clustered)" : "UNIQUE (non-clustered)";
    found.push_back({type, SortKey(k.name), {{Str(type), Str(k.name), na, na, na, na, Str(ColumnList(t, k.columns))}}});
  }
  std::stable_sort(found.begin(), found.end(), [](const Constraint& a, const Constraint& b) {
    return std::tie(a.type, a.key) < std::tie(b.type, b.key);
  });
  Rows rows;
  for (Constraint& c : found) {
    for (dts::Row& r : c.rows) rows.push_back(std::move(r));
  }
  return rows;
}

// The foreign keys of other tables (and the table's own) that refer to
// it: "db.dbo.Customer: FK_Customer_Region", sorted.
Rows ReferencedByRows(const TableMeta& t, const Catalog& catalog, const SessionState& session) {
  std::vector<std::string> names;
  for (const TableMeta* other : catalog.ReferencingTables(t.name)) {
    for (const ForeignKeyMeta& f : other->foreign_keys) {
      if (com::SameName(f.ref_table, t.name)) {
        names.push_back(session.database + "." + kOwner + "." + other->name + ": " + f.name);
      }
    }
  }
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return SortKey(a) < SortKey(b); });
  Rows rows;
  for (const std::string& n : names) rows.push_back({Str(n)});
  return rows;
}

void HelpTable(const TableMeta& t, const std::string& written, const Catalog& catalog, const SessionState& session,
               BatchOutput* output) {
  Rows columns;
  for (const ColumnMeta& c : t.columns) columns.push_back(HelpColumnRow(c));
  Emit(output, kHelpColumnColumns, std::move(columns));
  const int identity = t.IdentityColumn();
  if (identity >= 0) {
    const ColumnMeta& c = t.columns[static_cast<std::size_t>(identity)];
    Emit(output, kIdentityColumns,
         {{Str(c.name), Variant::Decimal(std::to_string(c.seed)), Variant::Decimal(std::to_string(c.step)), Int(0)}});
  } else {
    Emit(output, kIdentityColumns, {{Str("No identity column defined."), Null(), Null(), Null()}});
  }
  Emit(output, kRowGuidColumns, {{Str("No rowguidcol column defined.")}});
  Emit(output, kFileGroupColumns, {{Str(kFileGroup)}});
  if (Rows indexes = IndexRows(t); !indexes.empty()) {
    Emit(output, kIndexColumns, std::move(indexes));
  } else {
    Message(output, "The object '" + written + "' does not have any indexes, or you do not have permissions.");
  }
  if (Rows constraints = ConstraintRows(t, session); !constraints.empty()) {
    Emit(output, kConstraintColumns, std::move(constraints));
  } else {
    Message(output, "No constraints are defined on object '" + written + "', or you do not have permissions.");
  }
  if (Rows referencing = ReferencedByRows(t, catalog, session); !referencing.empty()) {
    Emit(output, kReferencedByColumns, std::move(referencing));
  } else {
    Message(output, "No foreign keys reference table '" + written +
                        "', or you do not have permissions on referencing tables.");
  }
}

// A procedure's parameters, in order: Prec a text's length in characters
// or a number's precision, Scale a number's.
void HelpProcedure(const ProcedureMeta& p, BatchOutput* output) {
  if (p.parameters.empty()) return;
  Rows rows;
  for (std::size_t i = 0; i < p.parameters.size(); ++i) {
    const ProcedureParameter& param = p.parameters[i];
    const ColumnSize size = ColumnSizeOf(param.type);
    const auto lengths = CharacterLengthsOf(param.type);
    rows.push_back({Str(param.name), Str(TypeBaseName(param.type)), Small(size.max_length),
                    Int(lengths ? lengths->characters : size.precision),
                    IsNumber(param.type.type) && !IsApproximate(param.type.type) ? Int(size.scale) : Null(),
                    Small(static_cast<std::int64_t>(i) + 1)});
  }
  Emit(output, kParameterColumns, std::move(rows));
}

int RunHelp(const std::vector<Variant>& values, Catalog& catalog, const SessionState& session, BatchOutput* output) {
  const Args args(values, kHelpParameters);
  catalog.Refresh();
  const auto name = args.Text(0);
  if (!name) {
    HelpObjectList(catalog, output);
    return 0;
  }
  const std::optional<DatabaseObject> object = FindObject(*name, catalog, session);
  if (!object) {
    for (const ServerType& t : ServerTypes()) {
      if (com::SameName(t.name, *name)) {
        HelpType(t, output);
        return 0;
      }
    }
    throw NoSuchObject(*name, session);
  }
  Emit(output, kObjectColumns,
       {{Str(object->name), Str(kOwner), Str(ObjectTypeName(object->type)), DateValue(object->created)}});
  if (object->type == "U") HelpTable(*object->table, *name, catalog, session, output);
  if (object->type == "P") HelpProcedure(*object->procedure, output);
  return 0;
}

// ------------------------------------------------------------ sp_helptext

const ParamDef kHelpTextParameters[] = {
    {"@objname", kObjectName, ParamDef::kRequired},
    {"@columnname", kSysname},
};

const ResultColumn kHelpTextColumns[] = {
    {"Text", {SqlType::kNVarChar, 255}, true},
};

// The lines of a definition, each with its line end, cut into pieces of at
// most 255 characters.
Rows TextLines(std::string text) {
  Rows rows;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string line = text.substr(0, end == std::string::npos ? text.size() : end + 1);
    text.erase(0, line.size());
    do {
      std::string piece = FirstCharacters(line, 255);
      line.erase(0, piece.size());
      rows.push_back({Str(piece)});
    } while (!line.empty());
  }
  return rows;
}

int RunHelpText(const std::vector<Variant>& values, Catalog& catalog, const SessionState& session,
                BatchOutput* output) {
  const Args args(values, kHelpTextParameters);
  catalog.Refresh();
  const std::string name = args.Text(0).value_or("");
  const std::optional<DatabaseObject> object = FindObject(name, catalog, session);
  if (!object) throw NoSuchObject(name, session);
  std::optional<std::string> text;
  if (!args.Text(1)) {  // the server has no computed columns to show
    if (object->type == "P") text = object->procedure->text;
    if (object->type == "V") text = object->view->text;
    if (object->type == "D") text = KeptDefault(object->table->columns[static_cast<std::size_t>(object->column)]);
  }
  if (!text) throw SqlErr(15197, "There is no text for object '" + name + "'.");
  Emit(output, kHelpTextColumns, TextLines(*text));
  return 0;
}

// ------------------------------------------------------------ sp_helpindex

const ParamDef kHelpIndexParameters[] = {
    {"@objname", kObjectName, ParamDef::kRequired},
};

int RunHelpIndex(const std::vector<Variant>& values, Catalog& catalog, const SessionState& session,
                 BatchOutput* output) {
  const Args args(values, kHelpIndexParameters);
  catalog.Refresh();
  const std::string name = args.Text(0).value_or("");
  const std::optional<DatabaseObject> object = FindObject(name, catalog, session);
  if (!object || object->type != "U") throw NoSuchObject(name, session);
  Rows rows = IndexRows(*object->table);
  if (rows.empty()) {
    Message(output, "The object '" + name + "' does not have any indexes, or you do not have permissions.");
  } else {
    Emit(output, kIndexColumns, std::move(rows));
  }
  return 0;
}

// ------------------------------------------------------------ sp_helpdb

const ParamDef kHelpDbParameters[] = {
    {"@dbname", kSysname},
};

const ResultColumn kHelpDbColumns[] = {
    {"name", kSysname, true},
    {"db_size", {SqlType::kNVarChar, 13}, true},
    {"owner", kSysname, true},
    {"dbid", kSmallIntType, false},
    {"created", {SqlType::kNVarChar, 11}, true},
    {"status", {SqlType::kNVarChar, 600}, true},
    {"compatibility_level", kTinyIntType, false},
};

const ResultColumn kHelpDbFileColumns[] = {
    {"name", {SqlType::kNChar, 128}, true},
    {"fileid", kSmallIntType, false},
    {"filename", {SqlType::kNChar, 260}, true},
    {"filegroup", kName128, true},
    {"size", kSize, true},
    {"maxsize", kSize, true},
    {"growth", kSize, true},
    {"usage", {SqlType::kVarChar, 9}, true},
};

// The options every database of the server has, as sp_helpdb lists them.
constexpr char kDatabaseStatus[] =
    "Status=ONLINE, Updateability=READ_WRITE, UserAccess=MULTI_USER, Recovery=SIMPLE, Version=539, "
    "Collation=Chinese_PRC_CI_AS, SQLSortOrder=0, IsAutoCreateStatistics, IsAutoUpdateStatistics";

// "Jan 23 2007", as convert(nvarchar(11), datetime) writes a date.
std::string ShortDate(const std::string& stored) {
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  int year = 0, month = 0, day = 0;
  if (std::sscanf(stored.c_str(), "%d-%d-%d", &year, &month, &day) != 3 || month < 1 || month > 12) return "";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%s %2d %04d", kMonths[month - 1], day, year);
  return buf;
}

int RunHelpDb(const std::vector<Variant>& values, Catalog& catalog, const SessionState& session, BatchOutput* output) {
  const Args args(values, kHelpDbParameters);
  const auto wanted = args.Text(0);
  std::vector<DatabaseEntry> databases = ServerDatabases(catalog, session.database);
  std::sort(databases.begin(), databases.end(),
            [](const DatabaseEntry& a, const DatabaseEntry& b) { return SortKey(a.name) < SortKey(b.name); });
  Rows rows;
  const DatabaseEntry* chosen = nullptr;
  for (const DatabaseEntry& d : databases) {
    if (wanted && !com::SameName(d.name, *wanted)) continue;
    chosen = &d;
    const std::string created = ShortDate(d.created);
    rows.push_back({Str(d.name), Str(Megabytes(DatabaseBytes(d.file), 10) + " MB"), Str("sa"), Small(d.id),
                    created.empty() ? Null() : Str(created), Str(kDatabaseStatus), Variant::UI1(80)});
  }
  if (wanted && !chosen) {
    throw SqlErr(15010, "The database '" + *wanted +
                            "' does not exist. Supply a valid database name. To see available databases, use "
                            "sys.databases.");
  }
  Emit(output, kHelpDbColumns, std::move(rows));
  if (wanted) {
    // The data file and the write-ahead log, which is the database's log.
    const std::string growth = Kilobytes(PageSizeOf(chosen->file));
    const std::string log = chosen->file + "-wal";
    Emit(output, kHelpDbFileColumns,
         {{Str(chosen->name), Small(1), Str(chosen->file), Str(kFileGroup), Str(Kilobytes(FileBytes(chosen->file))),
           Str("Unlimited"), Str(growth), Str("data only")},
          {Str(chosen->name + "_log"), Small(2), Str(log), Null(), Str(Kilobytes(FileBytes(log))), Str("Unlimited"),
           Str(growth), Str("log only")}});
  }
  return 0;
}

// ------------------------------------------------------------ sp_databases

const ResultColumn kDatabasesColumns[] = {
    {"DATABASE_NAME", kSysname, false},
    {"DATABASE_SIZE", kIntType, true},
    {"REMARKS", {SqlType::kVarChar, 254}, true},
};

int RunDatabases(const std::vector<Variant>&, Catalog& catalog, const SessionState& session, BatchOutput* output) {
  std::vector<DatabaseEntry> databases = ServerDatabases(catalog, session.database);
  std::sort(databases.begin(), databases.end(),
            [](const DatabaseEntry& a, const DatabaseEntry& b) { return SortKey(a.name) < SortKey(b.name); });
  Rows rows;
  for (const DatabaseEntry& d : databases) rows.push_back({Str(d.name), Count(DatabaseBytes(d.file) / 1024), Null()});
  Emit(output, kDatabasesColumns, std::move(rows));
  return 0;
}

// ------------------------------------------------------------ sp_who

const ParamDef kWhoParameters[] = {
    {"@loginame", kSysname},
};

const ResultColumn kWhoColumns[] = {
    {"spid", kSmallIntType, false},
    {"ecid", kSmallIntType, false},
    {"status", {SqlType::kNChar, 30}, false},
    {"loginame", {SqlType::kNChar, 128}, true},
    {"hostname", {SqlType::kNChar, 128}, false},
    {"blk", {SqlType::kChar, 5}, true},
    {"dbname", {SqlType::kNChar, 128}, true},
    {"cmd", {SqlType::kNChar, 16}, false},
    {"request_id", kIntType, false},
};

// The connection calling, the one the server shows: running sp_who, a
// SELECT, blocked by none.
int RunWho(const std::vector<Variant>& values, Catalog& catalog, const SessionState& session, BatchOutput* output) {
  const Args args(values, kWhoParameters);
  const auto filter = args.Text(0);
  bool shown = true;
  if (filter && !com::SameName(*filter, "active") && !com::SameName(*filter, session.login)) {
    const bool number = !filter->empty() && filter->find_first_not_of("0123456789") == std::string::npos;
    if (number) {
      shown = *filter == std::to_string(session.session_id);
    } else {
      shown = false;
      bool known = false;
      for (const ServerPrincipal& p : ServerPrincipals(catalog, session.login)) {
        known = known || (!p.role && com::SameName(p.name, *filter));
      }
      if (!known) throw SqlErr(15007, "'" + *filter + "' is not a valid login or you do not have permission.");
    }
  }
  Rows rows;
  if (shown) {
    rows.push_back({Small(session.session_id), Small(0), Str("runnable"), Str(session.login), Str(session.host), Str("0"),
                    Str(session.database), Str("SELECT"), Int(0)});
  }
  Emit(output, kWhoColumns, std::move(rows));
  return 0;
}

// ------------------------------------------------------------ sp_spaceused

const ParamDef kSpaceUsedParameters[] = {
    {"@objname", kObjectName},
    {"@updateusage", {SqlType::kVarChar, 5}, ParamDef::kTextDefault, "false"},
};

const ResultColumn kDatabaseSpaceColumns[] = {
    {"database_name", kName128, true},
    {"database_size", kSize, true},
    {"unallocated space", kSize, true},
};

const ResultColumn kSpaceColumns[] = {
    {"reserved", kSize, true},
    {"data", kSize, true},
    {"index_size", kSize, true},
    {"unused", kSize, true},
};

const ResultColumn kTableSpaceColumns[] = {
    {"name", kName128, true},
    {"rows", {SqlType::kChar, 20}, true},
    {"reserved", kSize, true},
    {"data", kSize, true},
    {"index_size", kSize, true},
    {"unused", kSize, true},
};

// "2.50 MB": megabytes with two decimals, without leading blanks.
std::string TrimmedMegabytes(std::int64_t bytes) { return Megabytes(bytes, 1) + " MB"; }

// Sizes in SQLite's pages: a page belongs to a table's rows (data) or to
// an index; SQLite takes pages one at a time, so no page is reserved and
// unused.
int RunSpaceUsed(const std::vector<Variant>& values, Catalog& catalog, const SessionState& session,
                 BatchOutput* output) {
  const Args args(values, kSpaceUsedParameters);
  const std::string update = args.Text(1).value_or("false");
  if (!com::SameName(update, "true") && !com::SameName(update, "false")) {
    throw SqlErr(15143, "'" + update +
                            "' is not a valid option for the @updateusage parameter. Enter either 'true' or 'false'.");
  }
  catalog.Refresh();
  if (const auto name = args.Text(0)) {
    const std::optional<DatabaseObject> object = FindObject(*name, catalog, session);
    if (!object || object->type != "U") throw NoSuchObject(*name, session);
    const TableMeta& t = *object->table;
    const auto all = catalog.PagesByTable();
    const auto found = all.find(t.name);
    const Catalog::Pages p = found == all.end() ? Catalog::Pages{} : found->second;
    Emit(output, kTableSpaceColumns,
         {{Str(t.name), Str(std::to_string(catalog.RowCount(t))), Str(Kilobytes((p.data + p.index) * p.page_size)),
           Str(Kilobytes(p.data * p.page_size)), Str(Kilobytes(p.index * p.page_size)), Str("0 KB")}});
    return 0;
  }
  const Catalog::Pages p = catalog.DatabasePages();
  const std::int64_t reserved = p.data + p.index;
  const std::int64_t unallocated = std::max<std::int64_t>(p.total - reserved, 0);
  Emit(output, kDatabaseSpaceColumns,
       {{Str(session.database), Str(TrimmedMegabytes(DatabaseBytes(catalog.DatabaseFile()))),
         Str(TrimmedMegabytes(unallocated * p.page_size))}});
  Emit(output, kSpaceColumns,
       {{Str(Kilobytes(reserved * p.page_size)), Str(Kilobytes(p.data * p.page_size)),
         Str(Kilobytes(p.index * p.page_size)), Str("0 KB")}});
  return 0;
}

const Definition kDefinitions[] = {
    {"sp_help", kHelpParameters, &RunHelp},
    {"sp_helptext", kHelpTextParameters, &RunHelpText},
    {"sp_helpindex", kHelpIndexParameters, &RunHelpIndex},
    {"sp_helpdb", kHelpDbParameters, &RunHelpDb},
    {"sp_databases", {}, &RunDatabases},
    {"sp_who", kWhoParameters, &RunWho},
    {"sp_spaceused", kSpaceUsedParameters, &RunSpaceUsed},
};

}  // namespace

std::span<const Definition> HelpProcedureDefinitions() { return kDefinitions; }

}  // namespace sqlsrv::procedures
