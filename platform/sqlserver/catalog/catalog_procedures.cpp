// The catalog procedures. Each is a row of data: its parameters, its
// result columns and the function that fills them. The functions read the
// catalog's descriptions, keep what the arguments select (patterns match
// here, in memory; no argument ever becomes SQL text) and sort the rows as
// SQL Server documents. How ODBC describes each of the server's types is
// one table, read by sp_columns, sp_special_columns, sp_sproc_columns and
// sp_datatype_info alike.
#include "platform/sqlserver/catalog/catalog_procedures.h"

#include <algorithm>
#include <climits>
#include <initializer_list>
#include <iterator>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/com/names.h"
#include "platform/com/quote.h"
#include "platform/sqlserver/errors.h"
#include "platform/sqlserver/storage/sqlite.h"
#include "platform/sqlserver/storage/sqlite_collations.h"
#include "platform/sqlserver/catalog/system_objects.h"
#include "platform/sqlserver/catalog/system_procedure_kit.h"
#include "platform/sqlserver/catalog/system_views.h"
#include "platform/sqlserver/types.h"

namespace sqlsrv {
namespace {

using namespace procedures;

using com::SameName;

// ------------------------------------------------------------ data shapes

constexpr ColumnType kSysname{SqlType::kNVarChar, 128};
constexpr ColumnType kSmallIntType{SqlType::kSmallInt, 0};
constexpr ColumnType kIntType{SqlType::kInt, 0};
constexpr ColumnType kTinyIntType{SqlType::kTinyInt, 0};
constexpr ColumnType kBitType{SqlType::kBit, 0};
constexpr ColumnType kFlagType{SqlType::kChar, 1};
constexpr ColumnType kNamePattern{SqlType::kNVarChar, 384};
constexpr ColumnType kProcedurePattern{SqlType::kNVarChar, 390};
constexpr ColumnType kRemarks{SqlType::kVarChar, 254};

constexpr char kOwner[] = "dbo";
constexpr char kViewOwner[] = "INFORMATION_SCHEMA";

// ------------------------------------------------------------ patterns

// Code points of a UTF-8 text, ASCII letters in lower case (the server
// collation's folding). A byte that does not start a well-formed sequence
// stands for itself as U+DC80..U+DCFF, which no well-formed text holds.
std::u32string Folded(std::string_view s) {
  std::u32string out;
  for (std::size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    std::size_t size = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
    char32_t c = size == 1 ? b : size == 2 ? b & 0x1Fu : size == 3 ? b & 0x0Fu : b & 0x07u;
    for (std::size_t k = 1; size && k < size; ++k) {
      if (i + k >= s.size() || (static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) {
        size = 0;
        break;
      }
      c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3Fu);
    }
    if (size == 0) {
      out.push_back(0xDC00u + b);
      ++i;
      continue;
    }
    out.push_back(c < 0x80 ? static_cast<char32_t>(com::AsciiLower(static_cast<char>(c))) : c);
    i += size;
  }
  return out;
}

// The characters a backslash makes literal.
constexpr std::u32string_view kEscapable = U"%_[]\\";

// A name pattern, as the header describes it.
class NamePattern {
 public:
  // Matches every name (a pattern left NULL).
  NamePattern() = default;

  NamePattern(std::string_view pattern, bool wildcards) : all_(false) {
    const std::u32string p = Folded(pattern);
    for (std::size_t i = 0; i < p.size(); ++i) {
      const char32_t c = p[i];
      Element e;
      if (!wildcards) {
        e.c = c;
      } else if (c == U'\\' && i + 1 < p.size() && kEscapable.find(p[i + 1]) != std::u32string_view::npos) {
        e.c = p[++i];
      } else if (c == U'%') {
        if (!elements_.empty() && elements_.back().kind == Element::kAny) continue;
        e.kind = Element::kAny;
      } else if (c == U'_') {
        e.kind = Element::kOne;
      } else if (c == U'[') {
        e.kind = Element::kSet;
        std::size_t k = i + 1;
        if (k < p.size() && p[k] == U'^') {
          e.negated = true;
          ++k;
        }
        for (; k < p.size() && p[k] != U']'; ++k) {
          if (k + 2 < p.size() && p[k + 1] == U'-' && p[k + 2] != U']') {
            e.ranges.emplace_back(p[k], p[k + 2]);
            k += 2;
          } else {
            e.ranges.emplace_back(p[k], p[k]);
          }
        }
        if (k >= p.size()) {  // no closing bracket
          none_ = true;
          return;
        }
        i = k;
      } else {
        e.c = c;
      }
      elements_.push_back(std::move(e));
    }
  }

  // A pattern argument: NULL matches every name.
  static NamePattern Of(const std::optional<std::string>& pattern, bool wildcards) {
    return pattern ? NamePattern(*pattern, wildcards) : NamePattern();
  }

  bool Matches(std::string_view name) const {
    if (all_) return true;
    if (none_) return false;
    const std::u32string s = Folded(name);
    // Greedy, going back to the last % on a mismatch: at most
    // (name length) x (pattern length) steps.
    std::size_t p = 0, i = 0, star = std::u32string::npos, resume = 0;
    while (i < s.size()) {
      if (p < elements_.size() && elements_[p].kind == Element::kAny) {
        star = p++;
        resume = i;
      } else if (p < elements_.size() && elements_[p].Takes(s[i])) {
        ++p;
        ++i;
      } else if (star != std::u32string::npos) {
        p = star + 1;
        i = ++resume;
      } else {
        return false;
      }
    }
    while (p < elements_.size() && elements_[p].kind == Element::kAny) ++p;
    return p == elements_.size();
  }

 private:
  struct Element {
    enum Kind { kChar, kOne, kAny, kSet } kind = kChar;
    char32_t c = 0;
    bool negated = false;
    std::vector<std::pair<char32_t, char32_t>> ranges;

    bool Takes(char32_t x) const {
      switch (kind) {
        case kChar: return x == c;
        case kOne: return true;
        case kAny: return false;
        case kSet: break;
      }
      bool in = false;
      for (const auto& [lo, hi] : ranges) in = in || (lo <= x && x <= hi);
      return in != negated;
    }
  };

  bool all_ = true;
  bool none_ = false;
  std::vector<Element> elements_;
};

// ------------------------------------------------------------ ODBC types

// ODBC's SQL type codes.
enum OdbcCode : int {
  kSqlSsVariant = -150,  // SQL Server's own code for sql_variant
  kSqlGuid = -11, kSqlWLongVarChar = -10, kSqlWVarChar = -9, kSqlWChar = -8, kSqlBit = -7, kSqlTinyInt = -6, kSqlBigInt = -5,
  kSqlLongVarBinary = -4, kSqlVarBinary = -3, kSqlBinary = -2, kSqlLongVarChar = -1, kSqlChar = 1, kSqlNumeric = 2, kSqlDecimal = 3, kSqlInteger = 4, kSqlSmallInt = 5,
  kSqlFloat = 6, kSqlReal = 7, kSqlDateTime = 9, kSqlTimestamp = 11, kSqlVarChar = 12, kSqlTypeTimestamp = 93,
};
constexpr int kCodeTimestamp = 3;  // SQL_DATETIME_SUB of a timestamp
// PRECISION and LENGTH of the character types come from their lengths.
constexpr int kByLength = INT_MIN + 1;

// How SQLColumns describes a column of each of the server's types, in
// SqlType order: the type code (ODBC 2, ODBC 3), PRECISION (COLUMN_SIZE,
// in decimal digits or characters), LENGTH (BUFFER_LENGTH, the octets a
// value takes in transfer), SCALE (DECIMAL_DIGITS), RADIX, SQL_DATA_TYPE
// and SQL_DATETIME_SUB (the verbose datetime code and its subcode), and
// SS_DATA_TYPE (the type's code in systypes.type, for a NOT NULL column
// and for a nullable one). decimal's precision, length and scale here are
// those of decimal(18,0); a column's come from its own precision and scale.
struct OdbcFigures {
  SqlType type;
  int odbc2, odbc3;
  int precision, length, scale, radix;
  int sql_data_type, datetime_sub;
  int ss_type, ss_nullable;
};
// clang-format off
const OdbcFigures kOdbcFigures[] = {
    {SqlType::kBit,           kSqlBit,       kSqlBit,           1,         1,         kNone, kNone, kSqlBit,       kNone,          50, 104},
    {SqlType::kTinyInt,       kSqlTinyInt,   kSqlTinyInt,       3,         1,         0,     10,    kSqlTinyInt,   kNone,          48, 38},
    {SqlType::kSmallInt,      kSqlSmallInt,  kSqlSmallInt,      5,         2,         0,     10,    kSqlSmallInt,  kNone,          52, 38},
    {SqlType::kInt,           kSqlInteger,   kSqlInteger,       10,        4,         0,     10,    kSqlInteger,   kNone,          56, 38},
    {SqlType::kBigInt,        kSqlBigInt,    kSqlBigInt,        19,        8,         0,     10,    kSqlBigInt,    kNone,          63, 108},
    {SqlType::kMoney,         kSqlDecimal,   kSqlDecimal,       19,        21,        4,     10,    kSqlDecimal,   kNone,          60, 110},
    {SqlType::kSmallMoney,    kSqlDecimal,   kSqlDecimal,       10,        12,        4,     10,    kSqlDecimal,   kNone,          122, 110},
    {SqlType::kFloat,         kSqlFloat,     kSqlFloat,         15,        8,         kNone, 10,    kSqlFloat,     kNone,          62, 109},
    {SqlType::kReal,          kSqlReal,      kSqlReal,          7,         4,         kNone, 10,    kSqlReal,      kNone,          59, 109},
    {SqlType::kDecimal,       kSqlDecimal,   kSqlDecimal,       18,        20,        0,     10,    kSqlDecimal,   kNone,          55, 106},
    {SqlType::kDateTime,      kSqlTimestamp, kSqlTypeTimestamp, 23,        16,        3,     kNone, kSqlDateTime,  kCodeTimestamp, 61, 111},
    {SqlType::kSmallDateTime, kSqlTimestamp, kSqlTypeTimestamp, 16,        16,        0,     kNone, kSqlDateTime,  kCodeTimestamp, 58, 111},
    {SqlType::kChar,          kSqlChar,      kSqlChar,          kByLength, kByLength, kNone, kNone, kSqlChar,      kNone,          47, 47},
    {SqlType::kVarChar,       kSqlVarChar,   kSqlVarChar,       kByLength, kByLength, kNone, kNone, kSqlVarChar,   kNone,          39, 39},
    {SqlType::kNChar,         kSqlWChar,     kSqlWChar,         kByLength, kByLength, kNone, kNone, kSqlWChar,     kNone,          47, 47},
    {SqlType::kNVarChar,      kSqlWVarChar,  kSqlWVarChar,      kByLength, kByLength, kNone, kNone, kSqlWVarChar,  kNone,          39, 39},
    {SqlType::kText,          kSqlLongVarChar, kSqlLongVarChar, kByLength, kByLength, kNone, kNone, kSqlLongVarChar, kNone,        35, 35},
    {SqlType::kNText,         kSqlWLongVarChar, kSqlWLongVarChar, kByLength, kByLength, kNone, kNone, kSqlWLongVarChar, kNone,      35, 35},
    {SqlType::kBinary,        kSqlBinary,    kSqlBinary,        kByLength, kByLength, kNone, kNone, kSqlBinary,    kNone,          45, 37},
    {SqlType::kVarBinary,     kSqlVarBinary, kSqlVarBinary,     kByLength, kByLength, kNone, kNone, kSqlVarBinary, kNone,          37, 37},
    {SqlType::kImage,         kSqlLongVarBinary, kSqlLongVarBinary, kByLength, kByLength, kNone, kNone, kSqlLongVarBinary, kNone,   34, 34},
    {SqlType::kUniqueIdentifier, kSqlGuid,   kSqlGuid,          36,        16,        kNone, kNone, kSqlGuid,      kNone,          37, 37},
    {SqlType::kTimestamp,     kSqlBinary,    kSqlBinary,        8,         8,         kNone, kNone, kSqlBinary,    kNone,          45, 45},
    {SqlType::kSqlVariant,    kSqlSsVariant, kSqlSsVariant,     8000,      8000,      kNone, kNone, kSqlSsVariant, kNone,          39, 39},
};
static_assert(std::size(kOdbcFigures) == static_cast<std::size_t>(SqlType::kSqlVariant) + 1,
              "one row of ODBC figures for each type, in SqlType order");
// clang-format on

const OdbcFigures& FiguresOf(SqlType t) { return kOdbcFigures[static_cast<int>(t)]; }

// systypes.type of numeric, for a NOT NULL column and for a nullable one.
constexpr int kSsNumeric = 63, kSsNumericNullable = 108;

// A column's description in SQLColumns' terms.
struct ColumnFigures {
  int data_type = 0;
  std::string type_name;
  int precision = kNone, length = kNone, scale = kNone, radix = kNone;
  int sql_data_type = 0, datetime_sub = kNone;
  int octets = kNone;  // CHAR_OCTET_LENGTH
  int ss_type = 0;
};

ColumnFigures Describe(const ColumnType& type, bool identity, bool nullable, int odbc_version) {
  // varchar(max), nvarchar(max) and varbinary(max) are described as text,
  // ntext and image are.
  const bool unbounded = (IsCharType(type.type) || IsBinaryType(type.type)) && type.length < 0;
  const SqlType as = !unbounded                   ? type.type
                     : IsBinaryType(type.type)    ? SqlType::kImage
                     : IsUnicodeType(type.type)   ? SqlType::kNText
                                                  : SqlType::kText;
  const OdbcFigures& f = FiguresOf(as);
  ColumnFigures out;
  out.data_type = odbc_version == 3 ? f.odbc3 : f.odbc2;
  out.type_name = TypeBaseName(type) + (identity ? " identity" : "");
  out.precision = f.precision;
  out.length = f.length;
  if (const auto lengths = CharacterLengthsOf(ColumnType{as, unbounded ? -1 : type.length})) {
    out.precision = static_cast<int>(lengths->characters);
    out.length = out.octets = static_cast<int>(lengths->octets);
  }
  out.scale = f.scale;
  out.radix = f.radix;
  out.sql_data_type = f.sql_data_type;
  out.datetime_sub = f.datetime_sub;
  out.ss_type = nullable ? f.ss_nullable : f.ss_type;
  if (type.type == SqlType::kDecimal) {
    // Its own precision and scale, the transfer size two more than its
    // digits; numeric has its own type codes.
    out.precision = type.precision;
    out.length = type.precision + 2;
    out.scale = type.scale;
    if (type.numeric) {
      out.data_type = out.sql_data_type = kSqlNumeric;
      out.ss_type = nullable ? kSsNumericNullable : kSsNumeric;
    }
  }
  return out;
}

// What sp_columns and sp_sproc_columns give of a column or a parameter
// after their own leading columns: its type described in SQLColumns' terms,
// DATA_TYPE to SS_DATA_TYPE.
constexpr ResultColumn kDescribedTypeColumns[] = {
    {"DATA_TYPE", kSmallIntType, true},
    {"TYPE_NAME", kSysname, false},
    {"PRECISION", kIntType, true},
    {"LENGTH", kIntType, true},
    {"SCALE", kSmallIntType, true},
    {"RADIX", kSmallIntType, true},
    {"NULLABLE", kSmallIntType, false},
    {"REMARKS", kRemarks, true},
    {"COLUMN_DEF", {SqlType::kNVarChar, 4000}, true},
    {"SQL_DATA_TYPE", kSmallIntType, false},
    {"SQL_DATETIME_SUB", kSmallIntType, true},
    {"CHAR_OCTET_LENGTH", kIntType, true},
    {"ORDINAL_POSITION", kIntType, false},
    {"IS_NULLABLE", {SqlType::kVarChar, 254}, false},
    {"SS_DATA_TYPE", kTinyIntType, true},
};

// `leading` followed by kDescribedTypeColumns.
std::vector<ResultColumn> WithDescribedType(std::initializer_list<ResultColumn> leading) {
  std::vector<ResultColumn> out(leading);
  out.insert(out.end(), std::begin(kDescribedTypeColumns), std::end(kDescribedTypeColumns));
  return out;
}

// A row: `leading` followed by the cells of kDescribedTypeColumns (REMARKS
// always NULL).
dts::Row WithDescribedType(std::initializer_list<Variant> leading, const ColumnFigures& f, bool nullable,
                           Variant column_default, std::int64_t ordinal) {
  dts::Row row(leading);
  row.insert(row.end(), {Small(f.data_type), Str(f.type_name), IntOr(f.precision), IntOr(f.length), SmallOr(f.scale),
                         SmallOr(f.radix), Small(nullable ? 1 : 0), Null(), std::move(column_default),
                         Small(f.sql_data_type), SmallOr(f.datetime_sub), IntOr(f.octets), Int(ordinal),
                         Str(nullable ? "YES" : "NO"), Variant::UI1(static_cast<std::uint8_t>(f.ss_type))});
  return row;
}

// ------------------------------------------------------------ objects

// What a database lists: its tables, its system tables (sysobjects and the
// others) and the INFORMATION_SCHEMA views, each with its columns.
struct ListedObject {
  std::string_view owner;
  std::string_view name;
  std::string_view type;              // TABLE_TYPE
  const TableMeta* table = nullptr;   // a table's columns, keys and foreign keys
  const SystemView* view = nullptr;   // a view's columns
  const ViewMeta* user_view = nullptr;  // a view of the database, its columns from its query
};

const std::vector<SystemView>& InformationSchema() {
  static const std::vector<SystemView> views = InformationSchemaViews();
  return views;
}

const std::vector<SystemView>& SystemTablesOfDatabase() {
  static const std::vector<SystemView> tables = SystemTables();
  return tables;
}

std::vector<ListedObject> ListedObjects(const Catalog& catalog) {
  std::vector<ListedObject> out;
  for (const TableMeta* t : catalog.Tables()) out.push_back({kOwner, t->name, "TABLE", t, nullptr});
  const TableMeta& sysobjects = Translator::SysObjects();
  out.push_back({kOwner, sysobjects.name, "SYSTEM TABLE", &sysobjects, nullptr});
  for (const SystemView& v : SystemTablesOfDatabase()) out.push_back({kOwner, v.name, "SYSTEM TABLE", nullptr, &v});
  for (const SystemView& v : InformationSchema()) out.push_back({kViewOwner, v.name, "VIEW", nullptr, &v});
  for (const ViewMeta* v : catalog.Views()) out.push_back({kOwner, v->name, "VIEW", nullptr, nullptr, v});
  return out;
}

struct ColumnFacts {
  std::string_view name;
  ColumnType type;
  bool nullable = true;
  bool identity = false;
  std::optional<std::string> default_text;
};

std::vector<ColumnFacts> ColumnsOf(const ListedObject& object, Catalog& catalog, const SessionState& session,
                                   std::vector<OutputColumn>* view_columns) {
  std::vector<ColumnFacts> out;
  if (object.user_view) {
    *view_columns = ViewColumns(catalog, session, *object.user_view);
    for (const OutputColumn& c : *view_columns) {
      out.push_back({c.name, ColumnTypeOf(c), c.nullable, c.identity, {}});
    }
    return out;
  }
  if (object.table) {
    for (const ColumnMeta& c : object.table->columns) {
      out.push_back({c.name, c.type, c.nullable, c.identity, KeptDefault(c)});
    }
  } else if (object.view) {
    for (const OutputColumn& c : object.view->columns) {
      out.push_back({c.name, c.column.value_or(ColumnType{SqlType::kNVarChar, 4000}), c.nullable, false, {}});
    }
  }
  return out;
}

// The user table a whole name and owner denote, or null.
const TableMeta* UserTable(const Catalog& catalog, const std::optional<std::string>& name,
                           const std::optional<std::string>& owner) {
  if (!name || IsTemporaryName(*name)) return nullptr;
  if (Given(owner) && !SameName(*owner, kOwner)) return nullptr;
  return catalog.FindTable(*name);
}

// A sort key that orders names as the server collation does for the
// letters it folds: ASCII case ignored.
std::string Key(std::string_view name) { return com::LowerAscii(name); }

// ------------------------------------------------------------ sp_tables

const ParamDef kTablesParameters[] = {
    {"@table_name", kNamePattern},
    {"@table_owner", kNamePattern},
    {"@table_qualifier", kSysname},
    {"@table_type", {SqlType::kVarChar, 100}},
    {"@fUsePattern", kBitType, ParamDef::kNumberDefault, nullptr, 1},
};

// Nullable throughout: ODBC's lists of databases, owners and table types
// leave the other columns NULL.
const ResultColumn kTablesColumns[] = {
    {"TABLE_QUALIFIER", kSysname, true},
    {"TABLE_OWNER", kSysname, true},
    {"TABLE_NAME", kSysname, true},
    {"TABLE_TYPE", {SqlType::kVarChar, 32}, true},
    {"REMARKS", kRemarks, true},
};

constexpr std::string_view kTableTypes[] = {"SYSTEM TABLE", "TABLE", "VIEW"};

// The table types a @table_type list names ("'TABLE','VIEW'"; each type in
// single quotes, or double ones under QUOTED_IDENTIFIER); nullopt, every
// type, for NULL or a blank list.
std::optional<std::vector<std::string>> TableTypesOf(const std::optional<std::string>& list) {
  if (!list || list->find_first_not_of(' ') == std::string::npos) return std::nullopt;
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start <= list->size()) {
    std::size_t end = list->find(',', start);
    if (end == std::string::npos) end = list->size();
    std::string_view item(list->data() + start, end - start);
    while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
    while (!item.empty() && item.back() == ' ') item.remove_suffix(1);
    if (item.size() >= 2 && (item.front() == '\'' || item.front() == '"') && item.back() == item.front()) {
      item = item.substr(1, item.size() - 2);
    }
    out.emplace_back(item);
    start = end + 1;
  }
  return out;
}

int RunTables(const std::vector<Variant>& values, Catalog& catalog, const SessionState& session,
              BatchOutput* output) {
  const Args args(values, kTablesParameters);
  const auto name = args.Text(0), owner = args.Text(1), qualifier = args.Text(2), type_list = args.Text(3);
  const bool wildcards = args.On(4);
  const auto blank = [](const std::optional<std::string>& v) { return v && v->empty(); };
  Rows rows;
  // ODBC's enumerations: the databases, the owners, the table types.
  if (qualifier == "%" && blank(owner) && blank(name)) {
    rows.push_back({Str(session.database), Null(), Null(), Null(), Null()});
    Emit(output, kTablesColumns, std::move(rows));
    return 0;
  }
  CheckQualifier(qualifier, session);
  if (owner == "%" && !Given(qualifier) && blank(name)) {
    for (const char* o : {kOwner, kViewOwner}) rows.push_back({Null(), Str(o), Null(), Null(), Null()});
    Emit(output, kTablesColumns, std::move(rows));
    return 0;
  }
  if (type_list == "%" && !Given(qualifier) && blank(owner) && blank(name)) {
    for (std::string_view t : kTableTypes) rows.push_back({Null(), Null(), Null(), Str(t), Null()});
    Emit(output, kTablesColumns, std::move(rows));
    return 0;
  }
  catalog.Refresh();
  const NamePattern name_pattern = NamePattern::Of(name, wildcards);
  const NamePattern owner_pattern = NamePattern::Of(owner, wildcards);
  const auto types = TableTypesOf(type_list);
  std::vector<std::tuple<std::string_view, std::string, std::string, const ListedObject*>> keyed;
  const std::vector<ListedObject> objects = ListedObjects(catalog);
  for (const ListedObject& o : objects) {
    if (!name_pattern.Matches(o.name) || !owner_pattern.Matches(o.owner)) continue;
    const auto listed = [&](const std::string& t) { return SameName(t, o.type); };
    if (types && std::none_of(types->begin(), types->end(), listed)) continue;
    keyed.emplace_back(o.type, Key(o.owner), Key(o.name), &o);
  }
  std::sort(keyed.begin(), keyed.end());
  for (const auto& k : keyed) {
    const ListedObject& o = *std::get<3>(k);
    rows.push_back({Str(session.database), Str(o.owner), Str(o.name), Str(o.type), Null()});
  }
  Emit(output, kTablesColumns, std::move(rows));
  return 0;
}

// ------------------------------------------------------------ sp_tableswc

// sp_tables over every database whose name matches @table_qualifier (a
// pattern; NULL matches all), as ODBC asks when its catalog name holds
// wildcards: each database's rows as sp_tables lists them there, named by
// that database, all ordered by type, database, owner and name. Another
// database's catalog is read from its own file.
int RunTablesWithCatalogPattern(const std::vector<Variant>& values, Catalog& catalog, const SessionState& session,
                                BatchOutput* output) {
  const Args args(values, kTablesParameters);
  const auto name = args.Text(0), owner = args.Text(1), qualifier = args.Text(2), type_list = args.Text(3);
  const bool wildcards = args.On(4);
  const NamePattern database_pattern = NamePattern::Of(qualifier, true);
  const NamePattern name_pattern = NamePattern::Of(name, wildcards);
  const NamePattern owner_pattern = NamePattern::Of(owner, wildcards);
  const auto types = TableTypesOf(type_list);
  std::vector<std::tuple<std::string_view, std::string, std::string, std::string, dts::Row>> keyed;
  auto list = [&](Catalog& database_catalog, const std::string& database) {
    database_catalog.Refresh();
    for (const ListedObject& o : ListedObjects(database_catalog)) {
      if (!name_pattern.Matches(o.name) || !owner_pattern.Matches(o.owner)) continue;
      const auto listed = [&](const std::string& t) { return SameName(t, o.type); };
      if (types && std::none_of(types->begin(), types->end(), listed)) continue;
      keyed.emplace_back(o.type, Key(database), Key(o.owner), Key(o.name),
                         dts::Row{Str(database), Str(o.owner), Str(o.name), Str(o.type), Null()});
    }
  };
  for (const DatabaseEntry& d : ServerDatabases(catalog, session.database)) {
    if (!database_pattern.Matches(d.name)) continue;
    if (SameName(d.name, session.database)) {
      list(catalog, d.name);
      continue;
    }
    Db db(d.file, false);
    RegisterCollations(db.get());  // the collation its catalog was made with
    Catalog other(db);
    list(other, d.name);
  }
  std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
    return std::tie(std::get<0>(a), std::get<1>(a), std::get<2>(a), std::get<3>(a)) <
           std::tie(std::get<0>(b), std::get<1>(b), std::get<2>(b), std::get<3>(b));
  });
  Rows rows;
  for (auto& k : keyed) rows.push_back(std::move(std::get<4>(k)));
  Emit(output, kTablesColumns, std::move(rows));
  return 0;
}

// ------------------------------------------------------------ sp_columns

const ParamDef kColumnsParameters[] = {
    {"@table_name", kNamePattern, ParamDef::kRequired},
    {"@table_owner", kNamePattern},
    {"@table_qualifier", kSysname},
    {"@column_name", kNamePattern},
    {"@ODBCVer", kIntType, ParamDef::kNumberDefault, nullptr, 2},
};

const std::vector<ResultColumn> kColumnsColumns = WithDescribedType({
    {"TABLE_QUALIFIER", kSysname, true},
    {"TABLE_OWNER", kSysname, false},
    {"TABLE_NAME", kSysname, false},
    {"COLUMN_NAME", kSysname, false},
});

int RunColumns(const std::vector<Variant>& values, Catalog& catalog, const SessionState& session,
               BatchOutput* output) {
  const Args args(values, kColumnsParameters);
  const auto name = args.Text(0), owner = args.Text(1), qualifier = args.Text(2), column = args.Text(3);
  const int odbc = args.OdbcVersion(4);
  CheckQualifier(qualifier, session);
  Rows rows;
  if (name) {  // a NULL table name matches nothing
    catalog.Refresh();
    const NamePattern name_pattern(*name, true);
    const NamePattern owner_pattern = NamePattern::Of(owner, true);
    const NamePattern column_pattern = NamePattern::Of(column, true);
    const std::vector<ListedObject> objects = ListedObjects(catalog);
    std::vector<std::tuple<std::string, std::string, const ListedObject*>> keyed;
    for (const ListedObject& o : objects) {
      if (name_pattern.Matches(o.name) && owner_pattern.Matches(o.owner)) {
        keyed.emplace_back(Key(o.owner), Key(o.name), &o);
      }
    }
    std::sort(keyed.begin(), keyed.end());
    for (const auto& k : keyed) {
      const ListedObject& o = *std::get<2>(k);
      std::vector<OutputColumn> view_columns;  // the names ColumnFacts points into
      const std::vector<ColumnFacts> columns = ColumnsOf(o, catalog, session, &view_columns);
      for (std::size_t i = 0; i < columns.size(); ++i) {
        const ColumnFacts& c = columns[i];
        if (!column_pattern.Matches(c.name)) continue;
        const ColumnFigures f = Describe(c.type, c.identity, c.nullable, odbc);
        rows.push_back(WithDescribedType({Str(session.database), Str(o.owner), Str(o.name), Str(c.name)}, f,
                                         c.nullable, c.default_text ? Str(*c.default_text) : Null(),
                                         static_cast<std::int64_t>(i) + 1));
      }
    }
  }
  Emit(output, kColumnsColumns, std::move(rows));
  return 0;
}

// ------------------------------------------------------------ sp_pkeys

const ParamDef kPkeysParameters[] = {
    {"@table_name", kSysname, ParamDef::kRequired},
    {"@table_owner", kSysname},
    {"@table_qualifier", kSysname},
};

const ResultColumn kPkeysColumns[] = {
    {"TABLE_QUALIFIER", kSysname, true}, {"TABLE_OWNER", kSysname, false}, {"TABLE_NAME", kSysname, false},
    {"COLUMN_NAME", kSysname, false},    {"KEY_SEQ", kSmallIntType, false}, {"PK_NAME", kSysname, true},
};

int RunPkeys(const std::vector<Variant>& values, Catalog& catalog, const SessionState& session,
             BatchOutput* output) {
  const Args args(values, kPkeysParameters);
  CheckQualifier(args.Text(2), session);
  catalog.Refresh();
  Rows rows;
  if (const TableMeta* t = UserTable(catalog, args.Text(0), args.Text(1))) {
    for (const KeyMeta& k : t->keys) {
      if (!k.primary) continue;
      for (std::size_t i = 0; i < k.columns.size(); ++i) {
        rows.push_back({Str(session.database), Str(kOwner), Str(t->name),
                        Str(t->columns[static_cast<std::size_t>(k.columns[i])].name),
                        Small(static_cast<std::int64_t>(i) + 1), Str(k.name)});
      }
    }
  }
  Emit(output, kPkeysColumns, std::move(rows));
  return 0;
}

// ------------------------------------------------------------ sp_fkeys

const ParamDef kFkeysParameters[] = {
    {"@pktable_name", kSysname}, {"@pktable_owner", kSysname}, {"@pktable_qualifier", kSysname},
    {"@fktable_name", kSysname}, {"@fktable_owner", kSysname}, {"@fktable_qualifier", kSysname},
};

const ResultColumn kFkeysColumns[] = {
    {"PKTABLE_QUALIFIER", kSysname, true}, {"PKTABLE_OWNER", kSysname, false},  {"PKTABLE_NAME", kSysname, false},
    {"PKCOLUMN_NAME", kSysname, false},    {"FKTABLE_QUALIFIER", kSysname, true}, {"FKTABLE_OWNER", kSysname, false},
    {"FKTABLE_NAME", kSysname, false},     {"FKCOLUMN_NAME", kSysname, false},  {"KEY_SEQ", kSmallIntType, false},
    {"UPDATE_RULE", kSmallIntType, true},  {"DELETE_RULE", kSmallIntType, true}, {"FK_NAME", kSysname, true},
    {"PK_NAME", kSysname, true},
};

// The rules of every foreign key the server keeps: NO ACTION.
constexpr int kNoAction = 1;

int RunFkeys(const std::vector<Variant>& values, Catalog& catalog, const SessionState& session,
             BatchOutput* output) {
  const Args args(values, kFkeysParameters);
  const auto pk_name = args.Text(0), pk_owner = args.Text(1), fk_name = args.Text(3), fk_owner = args.Text(4);
  if (!Given(pk_name) && !Given(fk_name)) {
    throw SqlErr(15252, "The primary or foreign key table name must be given.");
  }
  CheckQualifier(args.Text(2), session);
  CheckQualifier(args.Text(5), session);
  catalog.Refresh();
  const bool owners_fit =
      (!Given(pk_owner) || SameName(*pk_owner, kOwner)) && (!Given(fk_owner) || SameName(*fk_owner, kOwner));
  struct Found {
    std::string fk_table_key;
    std::int64_t seq;
    std::string fk_key_name;
    dts::Row row;
  };
  std::vector<Found> found;
  for (const TableMeta* t : owners_fit ? catalog.Tables() : std::vector<const TableMeta*>{}) {
    if (Given(fk_name) && !SameName(t->name, *fk_name)) continue;
    for (const ForeignKeyMeta& f : t->foreign_keys) {
      if (Given(pk_name) && !SameName(f.ref_table, *pk_name)) continue;
      const TableMeta* parent = catalog.FindTable(f.ref_table);
      const KeyMeta* key = ReferencedKey(catalog, f);
      for (std::size_t i = 0; i < f.columns.size() && i < f.ref_columns.size(); ++i) {
        std::string pk_column = f.ref_columns[i];
        if (parent) {
          const int c = parent->Find(pk_column);
          if (c >= 0) pk_column = parent->columns[static_cast<std::size_t>(c)].name;
        }
        const auto seq = static_cast<std::int64_t>(i) + 1;
        found.push_back({Key(t->name), seq, Key(f.name),
                         {Str(session.database), Str(kOwner), Str(parent ? parent->name : f.ref_table), Str(pk_column),
                          Str(session.database), Str(kOwner), Str(t->name),
                          Str(t->columns[static_cast<std::size_t>(f.columns[i])].name), Small(seq), Small(kNoAction),
                          Small(kNoAction), Str(f.name), key ? Str(key->name) : Null()}});
      }
    }
  }
  std::stable_sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
    return std::tie(a.fk_table_key, a.seq, a.fk_key_name) < std::tie(b.fk_table_key, b.seq, b.fk_key_name);
  });
  Rows rows;
  for (Found& f : found) rows.push_back(std::move(f.row));
  Emit(output, kFkeysColumns, std::move(rows));
  return 0;
}

// ------------------------------------------------------------ sp_special_columns

const ParamDef kSpecialColumnsParameters[] = {
    {"@table_name", kSysname, ParamDef::kRequired},
    {"@table_owner", kSysname},
    {"@qualifier", kSysname},
    {"@col_type", kFlagType, ParamDef::kTextDefault, "R"},
    {"@scope", kFlagType, ParamDef::kTextDefault, "T"},
    {"@nullable", kFlagType, ParamDef::kTextDefault, "U"},
    {"@ODBCVer", kIntType, ParamDef::kNumberDefault, nullptr, 2},
};

const ResultColumn kSpecialColumnsColumns[] = {
    {"SCOPE", kSmallIntType, true},    {"COLUMN_NAME", kSysname, false}, {"DATA_TYPE", kSmallIntType, true},
    {"TYPE_NAME", kSysname, false},    {"PRECISION", kIntType, false},   {"LENGTH", kIntType, true},
    {"SCALE", kSmallIntType, true},    {"PSEUDO_COLUMN", kSmallIntType, false},
};

constexpr int kScopeCurrentRow = 0;  // SQL Server always reports SQL_SCOPE_CURROW
constexpr int kNotPseudo = 1;        // SQL_PC_NOT_PSEUDO

// The columns that best identify a row (SQL_BEST_ROWID): the primary key;
// without one, the unique key of fewest columns (the first declared of
// equals). With `no_nulls`, a key with a nullable column does not count.
// The columns that best name a row: the primary key's, else the unique
// key's or unique index's with the fewest columns (none holding NULLs when
// `no_nulls`).
std::vector<int> BestRowId(const TableMeta& t, bool no_nulls) {
  std::vector<int> best;
  for (const TableIndex& x : IndexesOf(t)) {
    if (x.heap() || !x.unique()) continue;
    const std::vector<int> columns = x.columns();
    const bool has_null = std::any_of(columns.begin(), columns.end(),
                                      [&](int c) { return t.columns[static_cast<std::size_t>(c)].nullable; });
    if (no_nulls && has_null) continue;
    if (x.key && x.key->primary) return columns;
    if (best.empty() || columns.size() < best.size()) best = columns;
  }
  return best;
}

int RunSpecialColumns(const std::vector<Variant>& values, Catalog& catalog, const SessionState& session,
                      BatchOutput* output) {
  const Args args(values, kSpecialColumnsParameters);
  const char col_type = args.Choice(3, "RV");
  args.Choice(4, "CT");
  const bool no_nulls = args.Choice(5, "OU") == 'O';
  const int odbc = args.OdbcVersion(6);
  CheckQualifier(args.Text(2), session);
  catalog.Refresh();
  Rows rows;
  const TableMeta* t = UserTable(catalog, args.Text(0), args.Text(1));
  // R: the best row id; V: the column the server changes by itself when a
  // row changes, a timestamp (its scope not given).
  std::vector<int> columns;
  if (t && col_type == 'R') columns = BestRowId(*t, no_nulls);
  if (t && col_type == 'V' && t->RowversionColumn() >= 0) columns = {t->RowversionColumn()};
  for (int index : columns) {
    const ColumnMeta& c = t->columns[static_cast<std::size_t>(index)];
    const ColumnFigures f = Describe(c.type, c.identity, c.nullable, odbc);
    rows.push_back({col_type == 'R' ? Small(kScopeCurrentRow) : Null(), Str(c.name), Small(f.data_type),
                    Str(f.type_name), IntOr(f.precision), IntOr(f.length), SmallOr(f.scale), Small(kNotPseudo)});
  }
  Emit(output, kSpecialColumnsColumns, std::move(rows));
  return 0;
}

// ------------------------------------------------------------ sp_statistics

const ParamDef kStatisticsParameters[] = {
    {"@table_name", kSysname, ParamDef::kRequired},
    {"@table_owner", kSysname},
    {"@table_qualifier", kSysname},
    {"@index_name", kSysname, ParamDef::kTextDefault, "%"},
    {"@is_unique", kFlagType, ParamDef::kTextDefault, "N"},
    {"@accuracy", kFlagType, ParamDef::kTextDefault, "Q"},
};

const ResultColumn kStatisticsColumns[] = {
    {"TABLE_QUALIFIER", kSysname, true},   {"TABLE_OWNER", kSysname, false},  {"TABLE_NAME", kSysname, false},
    {"NON_UNIQUE", kSmallIntType, true},   {"INDEX_QUALIFIER", kSysname, true}, {"INDEX_NAME", kSysname, true},
    {"TYPE", kSmallIntType, false},        {"SEQ_IN_INDEX", kSmallIntType, true}, {"COLUMN_NAME", kSysname, true},
    {"COLLATION", {SqlType::kChar, 1}, true}, {"CARDINALITY", kIntType, true}, {"PAGES", kIntType, true},
    {"FILTER_CONDITION", {SqlType::kVarChar, 128}, true},
};

// Index types: the table's own statistics row, a clustered index, a
// nonclustered one.
constexpr int kTableStat = 0, kClustered = 1, kNonClustered = 3;

int RunStatistics(const std::vector<Variant>& values, Catalog& catalog, const SessionState& session,
                  BatchOutput* output) {
  const Args args(values, kStatisticsParameters);
  const bool unique_only = args.Choice(4, "YN") == 'Y';
  args.Choice(5, "QE");
  CheckQualifier(args.Text(2), session);
  catalog.Refresh();
  Rows rows;
  if (const TableMeta* t = UserTable(catalog, args.Text(0), args.Text(1))) {
    const NamePattern index_pattern = NamePattern::Of(args.Text(3), true);
    const std::int64_t cardinality = catalog.RowCount(*t);
    const std::string& db = session.database;
    rows.push_back({Str(db), Str(kOwner), Str(t->name), Null(), Null(), Null(), Small(kTableStat), Null(), Null(),
                    Null(), Count(cardinality), Null(), Null()});
    // By NON_UNIQUE, TYPE and INDEX_NAME, as ODBC orders SQLStatistics.
    std::vector<std::pair<std::tuple<bool, int, std::string>, TableIndex>> indexes;
    for (const TableIndex& x : IndexesOf(*t)) {
      if (x.heap() || !index_pattern.Matches(x.name()) || (unique_only && !x.unique())) continue;
      indexes.push_back({{!x.unique(), x.clustered() ? kClustered : kNonClustered, Key(x.name())}, x});
    }
    std::sort(indexes.begin(), indexes.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [order, x] : indexes) {
      const std::vector<int> columns = x.columns();
      for (std::size_t i = 0; i < columns.size(); ++i) {
        rows.push_back({Str(db), Str(kOwner), Str(t->name), Small(x.unique() ? 0 : 1), Str(t->name), Str(x.name()),
                        Small(std::get<1>(order)), Small(static_cast<std::int64_t>(i) + 1),
                        Str(t->columns[static_cast<std::size_t>(columns[i])].name), Str(x.descending(i) ? "D" : "A"),
                        Count(cardinality), Null(), Null()});
      }
    }
  }
  Emit(output, kStatisticsColumns, std::move(rows));
  return 0;
}

// ------------------------------------------------------------ sp_stored_procedures

const ParamDef kStoredProceduresParameters[] = {
    {"@sp_name", kProcedurePattern},
    {"@sp_owner", kNamePattern},
    {"@sp_qualifier", kSysname},
    {"@fUsePattern", kBitType, ParamDef::kNumberDefault, nullptr, 1},
};

const ResultColumn kStoredProceduresColumns[] = {
    {"PROCEDURE_QUALIFIER", kSysname, true}, {"PROCEDURE_OWNER", kSysname, false},
    {"PROCEDURE_NAME", {SqlType::kNVarChar, 134}, false}, {"NUM_INPUT_PARAMS", kIntType, true},
    {"NUM_OUTPUT_PARAMS", kIntType, true},  {"NUM_RESULT_SETS", kIntType, true},
    {"REMARKS", kRemarks, true},             {"PROCEDURE_TYPE", kSmallIntType, true},
};

// The counts SQL Server leaves "reserved for future use", and the type it
// always reports (SQL_PT_FUNCTION).
constexpr int kReserved = -1;
constexpr int kFunctionType = 2;

// A procedure's name as ODBC lists it: with its group number.
std::string NumberedName(std::string_view name) { return std::string(name) + ";1"; }

// The database's procedures a name and owner pattern select, by name.
std::vector<const ProcedureMeta*> SelectProcedures(const Catalog& catalog, const NamePattern& name,
                                                   const NamePattern& owner) {
  std::vector<const ProcedureMeta*> out;
  if (!owner.Matches(kOwner)) return out;
  for (const ProcedureMeta* p : catalog.Procedures()) {
    if (name.Matches(p->name)) out.push_back(p);
  }
  return out;
}

int RunStoredProcedures(const std::vector<Variant>& values, Catalog& catalog, const SessionState& session,
                        BatchOutput* output) {
  const Args args(values, kStoredProceduresParameters);
  const bool wildcards = args.On(3);
  CheckQualifier(args.Text(2), session);
  catalog.Refresh();
  Rows rows;
  for (const ProcedureMeta* p : SelectProcedures(catalog, NamePattern::Of(args.Text(0), wildcards),
                                                 NamePattern::Of(args.Text(1), wildcards))) {
    rows.push_back({Str(session.database), Str(kOwner), Str(NumberedName(p->name)), Int(kReserved), Int(kReserved),
                    Int(kReserved), Null(), Small(kFunctionType)});
  }
  Emit(output, kStoredProceduresColumns, std::move(rows));
  return 0;
}

// ------------------------------------------------------------ sp_sproc_columns

const ParamDef kSprocColumnsParameters[] = {
    {"@procedure_name", kProcedurePattern, ParamDef::kTextDefault, "%"},
    {"@procedure_owner", kNamePattern},
    {"@procedure_qualifier", kSysname},
    {"@column_name", kNamePattern},
    {"@ODBCVer", kIntType, ParamDef::kNumberDefault, nullptr, 2},
    {"@fUsePattern", kBitType, ParamDef::kNumberDefault, nullptr, 1},
};

const std::vector<ResultColumn> kSprocColumnsColumns = WithDescribedType({
    {"PROCEDURE_QUALIFIER", kSysname, true},
    {"PROCEDURE_OWNER", kSysname, false},
    {"PROCEDURE_NAME", {SqlType::kNVarChar, 134}, false},
    {"COLUMN_NAME", kSysname, false},
    {"COLUMN_TYPE", kSmallIntType, false},
});

// COLUMN_TYPE: an input parameter, an OUTPUT one (which SQL Server also
// reads: SQL_PARAM_INPUT_OUTPUT), the return status.
constexpr int kParamInput = 1, kParamInputOutput = 2, kReturnValue = 5;

int RunSprocColumns(const std::vector<Variant>& values, Catalog& catalog, const SessionState& session,
                    BatchOutput* output) {
  const Args args(values, kSprocColumnsParameters);
  const int odbc = args.OdbcVersion(4);
  const bool wildcards = args.On(5);
  CheckQualifier(args.Text(2), session);
  catalog.Refresh();
  const NamePattern column_pattern = NamePattern::Of(args.Text(3), wildcards);
  Rows rows;
  const auto add = [&](const ProcedureMeta& p, std::string_view name, int column_type, const ColumnType& type,
                       bool nullable, std::int64_t ordinal) {
    if (!column_pattern.Matches(name)) return;
    const ColumnFigures f = Describe(type, false, nullable, odbc);
    rows.push_back(WithDescribedType(
        {Str(session.database), Str(kOwner), Str(NumberedName(p.name)), Str(name), Small(column_type)}, f, nullable,
        Null(), ordinal));
  };
  // A NULL procedure name reads as its default, every procedure.
  const NamePattern name_pattern(args.Text(0).value_or("%"), wildcards);
  for (const ProcedureMeta* p : SelectProcedures(catalog, name_pattern, NamePattern::Of(args.Text(1), wildcards))) {
    add(*p, "@RETURN_VALUE", kReturnValue, kIntType, false, 0);
    for (std::size_t i = 0; i < p->parameters.size(); ++i) {
      const ProcedureParameter& param = p->parameters[i];
      add(*p, param.name, param.output ? kParamInputOutput : kParamInput, param.type, true,
          static_cast<std::int64_t>(i) + 1);
    }
  }
  Emit(output, kSprocColumnsColumns, std::move(rows));
  return 0;
}

// ------------------------------------------------------------ sp_server_info

const ParamDef kServerInfoParameters[] = {
    {"@attribute_id", kIntType},
};

const ResultColumn kServerInfoColumns[] = {
    {"ATTRIBUTE_ID", kIntType, false},
    {"ATTRIBUTE_NAME", {SqlType::kVarChar, 60}, false},
    {"ATTRIBUTE_VALUE", {SqlType::kVarChar, 255}, true},
};

// The attributes, as SQL Server describes them, with this server's
// values: names compare without regard to case (MIXED); the collation is
// Chinese_PRC_CI_AS on code page 936; the features the embedded server
// lacks (renaming, dropping or widening columns, descending indexes,
// savepoints in T-SQL) are N.
struct ServerAttribute {
  int id;
  const char* name;
  const char* value;
};
const ServerAttribute kServerAttributes[] = {
    {1, "DBMS_NAME", "Microsoft SQL Server"},
    {2, "DBMS_VER", "Microsoft SQL Server 2000 - 8.00.2039"},
    {10, "OWNER_TERM", "owner"},
    {11, "TABLE_TERM", "table"},
    {12, "MAX_OWNER_NAME_LENGTH", "128"},
    {13, "TABLE_LENGTH", "128"},
    {14, "MAX_QUAL_LENGTH", "128"},
    {15, "COLUMN_LENGTH", "128"},
    {16, "IDENTIFIER_CASE", "MIXED"},
    {17, "TX_ISOLATION", "2"},
    {18, "COLLATION_SEQ", "charset=cp936 collation=Chinese_PRC_CI_AS"},
    {19, "SAVEPOINT_SUPPORT", "N"},
    {20, "MULTI_RESULT_SETS", "Y"},
    {22, "ACCESSIBLE_TABLES", "Y"},
    {100, "USERID_LENGTH", "128"},
    {101, "QUALIFIER_TERM", "database"},
    {102, "NAMED_TRANSACTIONS", "Y"},
    {103, "SPROC_AS_LANGUAGE", "Y"},
    {104, "ACCESSIBLE_SPROC", "Y"},
    {105, "MAX_INDEX_COLS", "16"},
    {106, "RENAME_TABLE", "N"},
    {107, "RENAME_COLUMN", "N"},
    {108, "DROP_COLUMN", "N"},
    {109, "INCREASE_COLUMN_LENGTH", "N"},
    {110, "DDL_IN_TRANSACTION", "Y"},
    {111, "DESCENDING_INDEXES", "N"},
    {112, "SP_RENAME", "N"},
    {113, "REMOTE_SPROC", "Y"},
    {500, "SYS_SPROC_VERSION", "8.00.2039"},
};

int RunServerInfo(const std::vector<Variant>& values, Catalog&, const SessionState&, BatchOutput* output) {
  const Args args(values, kServerInfoParameters);
  const auto id = args.Number(0);
  Rows rows;
  for (const ServerAttribute& a : kServerAttributes) {
    if (!id || *id == a.id) rows.push_back({Int(a.id), Str(a.name), Str(a.value)});
  }
  Emit(output, kServerInfoColumns, std::move(rows));
  return 0;
}

// ------------------------------------------------------------ sp_datatype_info

const ParamDef kDatatypeInfoParameters[] = {
    {"@data_type", kIntType, ParamDef::kNumberDefault, nullptr, 0},
    {"@ODBCVer", kTinyIntType, ParamDef::kNumberDefault, nullptr, 2},
};

const ResultColumn kDatatypeInfoColumns[] = {
    {"TYPE_NAME", kSysname, false},
    {"DATA_TYPE", kSmallIntType, false},
    {"PRECISION", kIntType, true},
    {"LITERAL_PREFIX", {SqlType::kVarChar, 32}, true},
    {"LITERAL_SUFFIX", {SqlType::kVarChar, 32}, true},
    {"CREATE_PARAMS", {SqlType::kVarChar, 32}, true},
    {"NULLABLE", kSmallIntType, false},
    {"CASE_SENSITIVE", kSmallIntType, false},
    {"SEARCHABLE", kSmallIntType, false},
    {"UNSIGNED_ATTRIBUTE", kSmallIntType, true},
    {"MONEY", kSmallIntType, false},
    {"AUTO_INCREMENT", kSmallIntType, true},
    {"LOCAL_TYPE_NAME", kSysname, true},
    {"MINIMUM_SCALE", kSmallIntType, true},
    {"MAXIMUM_SCALE", kSmallIntType, true},
    {"SQL_DATA_TYPE", kSmallIntType, false},
    {"SQL_DATETIME_SUB", kSmallIntType, true},
    {"NUM_PREC_RADIX", kIntType, true},
    {"INTERVAL_PRECISION", kSmallIntType, true},
    {"USERTYPE", kSmallIntType, true},
};

// SEARCHABLE: none (image), LIKE only (text, ntext), every comparison but
// LIKE (numbers, binary),
// every comparison (the character types, the dates).
constexpr int kNotSearchable = 0, kLikeOnly = 1, kAllExceptLike = 2, kSearchable = 3;

// Each type the server takes in a column definition (the identity forms
// of the integers included), in SQL Server's order within a type code:
// the closest to the ODBC type first. PRECISION is the largest the type
// takes; the scales are the smallest and largest; USERTYPE is systypes'.
struct TypeInfo {
  const char* name;
  SqlType type;
  bool identity;
  int precision;
  const char* prefix;
  const char* suffix;
  const char* create_params;
  int searchable;
  int unsigned_attribute;
  int minimum_scale, maximum_scale;
  int num_prec_radix;
  int usertype;
};
// clang-format off
const TypeInfo kTypeInfo[] = {
    {"sql_variant",       SqlType::kSqlVariant,    false, 8000,       nullptr, nullptr, nullptr,     kAllExceptLike, kNone, 0,     0,     10,    0},
    {"uniqueidentifier",  SqlType::kUniqueIdentifier, false, 36,      "'",  "'",  nullptr,           kAllExceptLike, kNone, kNone, kNone, kNone, 0},
    {"ntext",             SqlType::kNText,         false, 1073741823, "N'", "'",  nullptr,           kLikeOnly,      kNone, kNone, kNone, kNone, 0},
    {"nvarchar",          SqlType::kNVarChar,      false, 4000,       "N'", "'",  "max length",      kSearchable,    kNone, kNone, kNone, kNone, 0},
    {"sysname",           SqlType::kNVarChar,      false, 128,        "N'", "'",  nullptr,           kSearchable,    kNone, kNone, kNone, kNone, 256},
    {"nchar",             SqlType::kNChar,         false, 4000,       "N'", "'",  "length",          kSearchable,    kNone, kNone, kNone, kNone, 0},
    {"bit",               SqlType::kBit,           false, 1,          nullptr, nullptr, nullptr,     kAllExceptLike, kNone, kNone, kNone, kNone, 16},
    {"tinyint",           SqlType::kTinyInt,       false, 3,          nullptr, nullptr, nullptr,     kAllExceptLike, 1,     0,     0,     10,    5},
    {"tinyint identity",  SqlType::kTinyInt,       true,  3,          nullptr, nullptr, nullptr,     kAllExceptLike, 1,     0,     0,     10,    5},
    {"bigint",            SqlType::kBigInt,        false, 19,         nullptr, nullptr, nullptr,     kAllExceptLike, 0,     0,     0,     10,    0},
    {"bigint identity",   SqlType::kBigInt,        true,  19,         nullptr, nullptr, nullptr,     kAllExceptLike, 0,     0,     0,     10,    0},
    {"image",             SqlType::kImage,         false, 2147483647, "0x", nullptr, nullptr,        kNotSearchable, kNone, kNone, kNone, kNone, 20},
    {"varbinary",         SqlType::kVarBinary,     false, 8000,       "0x", nullptr, "max length",   kAllExceptLike, kNone, kNone, kNone, kNone, 4},
    {"binary",            SqlType::kBinary,        false, 8000,       "0x", nullptr, "length",       kAllExceptLike, kNone, kNone, kNone, kNone, 3},
    {"timestamp",         SqlType::kTimestamp,     false, 8,          "0x", nullptr, nullptr,        kAllExceptLike, kNone, kNone, kNone, kNone, 80},
    {"text",              SqlType::kText,          false, 2147483647, "'",  "'",  nullptr,           kLikeOnly,      kNone, kNone, kNone, kNone, 19},
    {"char",              SqlType::kChar,          false, 8000,       "'",  "'",  "length",          kSearchable,    kNone, kNone, kNone, kNone, 1},
    {"numeric",           SqlType::kDecimal,       false, 38,         nullptr, nullptr, "precision,scale", kAllExceptLike, 0, 0,     38,    10,    10},
    {"decimal",           SqlType::kDecimal,       false, 38,         nullptr, nullptr, "precision,scale", kAllExceptLike, 0, 0,     38,    10,    24},
    {"money",             SqlType::kMoney,         false, 19,         "$",  nullptr, nullptr,        kAllExceptLike, 0,     4,     4,     10,    11},
    {"smallmoney",        SqlType::kSmallMoney,    false, 10,         "$",  nullptr, nullptr,        kAllExceptLike, 0,     4,     4,     10,    21},
    {"int",               SqlType::kInt,           false, 10,         nullptr, nullptr, nullptr,     kAllExceptLike, 0,     0,     0,     10,    7},
    {"int identity",      SqlType::kInt,           true,  10,         nullptr, nullptr, nullptr,     kAllExceptLike, 0,     0,     0,     10,    7},
    {"smallint",          SqlType::kSmallInt,      false, 5,          nullptr, nullptr, nullptr,     kAllExceptLike, 0,     0,     0,     10,    6},
    {"smallint identity", SqlType::kSmallInt,      true,  5,          nullptr, nullptr, nullptr,     kAllExceptLike, 0,     0,     0,     10,    6},
    {"float",             SqlType::kFloat,         false, 53,         nullptr, nullptr, nullptr,     kAllExceptLike, 0,     kNone, kNone, 2,     8},
    {"real",              SqlType::kReal,          false, 24,         nullptr, nullptr, nullptr,     kAllExceptLike, 0,     kNone, kNone, 2,     23},
    {"datetime",          SqlType::kDateTime,      false, 23,         "'",  "'",  nullptr,           kSearchable,    kNone, 3,     3,     kNone, 12},
    {"smalldatetime",     SqlType::kSmallDateTime, false, 16,         "'",  "'",  nullptr,           kSearchable,    kNone, 0,     0,     kNone, 22},
    {"varchar",           SqlType::kVarChar,       false, 8000,       "'",  "'",  "max length",      kSearchable,    kNone, kNone, kNone, kNone, 2},
};
// clang-format on

// numeric is the server's decimal, but has its own ODBC type code.
int DataTypeOf(const TypeInfo& t, int odbc_version) {
  if (SameName(t.name, "numeric")) return kSqlNumeric;
  const OdbcFigures& f = FiguresOf(t.type);
  return odbc_version == 3 ? f.odbc3 : f.odbc2;
}

int RunDatatypeInfo(const std::vector<Variant>& values, Catalog&, const SessionState&, BatchOutput* output) {
  const Args args(values, kDatatypeInfoParameters);
  const std::int64_t wanted = args.Number(0).value_or(0);
  const int odbc = args.OdbcVersion(1);
  std::vector<const TypeInfo*> types;
  for (const TypeInfo& t : kTypeInfo) {
    if (wanted == 0 || wanted == DataTypeOf(t, odbc)) types.push_back(&t);
  }
  std::stable_sort(types.begin(), types.end(),
                   [&](const TypeInfo* a, const TypeInfo* b) { return DataTypeOf(*a, odbc) < DataTypeOf(*b, odbc); });
  Rows rows;
  for (const TypeInfo* t : types) {
    const OdbcFigures& f = FiguresOf(t->type);
    const bool numeric = t->num_prec_radix != kNone;
    const int data_type = DataTypeOf(*t, odbc);
    const int auto_increment = t->identity ? 1 : (numeric || t->type == SqlType::kBit) ? 0 : kNone;
    rows.push_back({Str(t->name), Small(data_type), Int(t->precision), StrOr(t->prefix), StrOr(t->suffix),
                    StrOr(t->create_params), Small(1), Small(0), Small(t->searchable), SmallOr(t->unsigned_attribute),
                    Small(IsMoneyType(t->type) ? 1 : 0), SmallOr(auto_increment), Str(t->name),
                    SmallOr(t->minimum_scale), SmallOr(t->maximum_scale),
                    Small(f.sql_data_type == f.odbc2 ? data_type : f.sql_data_type), SmallOr(f.datetime_sub),
                    IntOr(t->num_prec_radix), Null(), Small(t->usertype)});
  }
  Emit(output, kDatatypeInfoColumns, std::move(rows));
  return 0;
}

// ------------------------------------------------------------ the table

const Definition kDefinitions[] = {
    {"sp_tables", kTablesParameters, &RunTables},
    {"sp_tableswc", kTablesParameters, &RunTablesWithCatalogPattern},
    {"sp_columns", kColumnsParameters, &RunColumns},
    {"sp_pkeys", kPkeysParameters, &RunPkeys},
    {"sp_fkeys", kFkeysParameters, &RunFkeys},
    {"sp_special_columns", kSpecialColumnsParameters, &RunSpecialColumns},
    {"sp_statistics", kStatisticsParameters, &RunStatistics},
    {"sp_stored_procedures", kStoredProceduresParameters, &RunStoredProcedures},
    {"sp_sproc_columns", kSprocColumnsParameters, &RunSprocColumns},
    {"sp_server_info", kServerInfoParameters, &RunServerInfo},
    {"sp_datatype_info", kDatatypeInfoParameters, &RunDatatypeInfo},
    {"sp_datatype_info_90", kDatatypeInfoParameters, &RunDatatypeInfo},
    {"sp_datatype_info_100", kDatatypeInfoParameters, &RunDatatypeInfo},
};

const std::vector<SystemProcedure>& SystemProcedures() {
  static const std::vector<SystemProcedure> all = [] {
    std::vector<SystemProcedure> out;
    const std::span<const Definition> sets[] = {kDefinitions, HelpProcedureDefinitions()};
    for (std::span<const Definition> definitions : sets) {
      for (const Definition& d : definitions) {
        SystemProcedure p{d.name, {}, d.run};
        for (const ParamDef& def : d.parameters) p.parameters.push_back({def.name, def.type, DefaultOf(def), false});
        out.push_back(std::move(p));
      }
    }
    return out;
  }();
  return all;
}

}  // namespace

const SystemProcedure* FindSystemProcedure(std::string_view name) {
  const std::vector<std::string> parts = com::ObjectNameParts(name);
  if (parts.size() > 3) return nullptr;
  if (parts.size() >= 2) {
    const std::string& schema = parts[parts.size() - 2];
    if (!schema.empty() && !SameName(schema, "dbo") && !SameName(schema, "sys")) return nullptr;
  }
  for (const SystemProcedure& p : SystemProcedures()) {
    if (SameName(p.name, parts.back())) return &p;
  }
  return nullptr;
}

}  // namespace sqlsrv
