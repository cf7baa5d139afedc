// The functions T-SQL calls, as a table: each function's name, how many
// arguments it takes, and how it is written for SQLite. Adding a function
// is adding a row.
#include <sqlite3.h>

#include <algorithm>

#include "platform/com/names.h"
#include "platform/sqlserver/collation.h"
#include "platform/sqlserver/translation/date_parts.h"
#include "platform/sqlserver/lexer.h"
#include "platform/sqlserver/frontend/parser.h"
#include "platform/sqlserver/server_directory.h"
#include "platform/sqlserver/translation/sqlite_functions.h"
#include "platform/sqlserver/catalog/system_objects.h"
#include "platform/sqlserver/catalog/system_views.h"
#include "platform/sqlserver/translation/translate_internal.h"

namespace sqlsrv {

using ast::ExprKind;

// A call being translated: its arguments, read as the translator reads
// any expression.
struct Translator::Call {
  Translator& t;
  const ast::Expr& e;
  const Scope& scope;
  std::string name;  // upper case

  std::size_t count() const { return e.args.size(); }
  const ast::Expr& Raw(std::size_t i) const { return *e.args.at(i); }
  Typed Arg(std::size_t i) const {
    Typed a = t.Expr(*e.args.at(i), scope);
    if (a.column && IsCharType(a.column->type) && a.column->length < 0) {
      long_text = true;
      unicode_text = unicode_text || IsUnicodeType(a.column->type);
    }
    return a;
  }
  // Whether an argument read was text of no limit (varchar(max),
  // nvarchar(max), text, ntext), and whether such text was Unicode: a
  // text the function makes of it has no limit either.
  mutable bool long_text = false;
  mutable bool unicode_text = false;
  // The argument converted to a static type.
  std::string As(std::size_t i, VT to) const { return t.Coerce(Arg(i), to); }
  std::string Text(std::size_t i) const { return As(i, VT::kString); }
  std::string Int(std::size_t i) const { return As(i, VT::kInt); }
  std::string Float(std::size_t i) const { return As(i, VT::kFloat); }
  std::string Date(std::size_t i) const { return As(i, VT::kDate); }
  // A constant text argument (a property's name), raising 40000 for any
  // other expression.
  std::string Constant(std::size_t i, const std::string& what) const {
    if (Raw(i).kind != ExprKind::kString) NotSupported(LowerAscii(name) + " with a non-constant " + what);
    return Raw(i).text;
  }
  // The date part a DATEADD, DATEDIFF, DATEPART or DATENAME names by a
  // bare word ("month", "mm"); raises 155 for any other.
  std::string Part(std::size_t i) const {
    const ast::Expr& a = Raw(i);
    std::string word = a.kind == ExprKind::kColumn && a.parts.size() == 1 ? a.parts[0]
                       : a.kind == ExprKind::kString                      ? a.text
                                                                           : std::string();
    const auto part = DatePartNamed(word);
    if (!part) throw SqlErr(155, "'" + word + "' is not a recognized " + LowerAscii(name) + " option.");
    return QuoteText(DatePartName(*part));
  }
  // The type of a part of an argument's text (LEFT, RIGHT, SUBSTRING):
  // nvarchar of Unicode text, else varchar (binary data read as text too),
  // as long as the argument.
  static ColumnType PartType(const Typed& a) {
    const bool unicode = a.type != VT::kBinary && IsUnicodeText(a);
    const int length = a.column && a.column->length != 0 ? a.column->length : unicode ? 4000 : 8000;
    return ColumnType{unicode ? SqlType::kNVarChar : SqlType::kVarChar, length};
  }
  static Typed Of(std::string sql, VT type, std::optional<ColumnType> column = std::nullopt) {
    Typed out;
    out.sql = std::move(sql);
    out.type = type;
    out.column = column;
    return out;
  }
};

struct Translator::FunctionDef {
  const char* name;
  int min_args;
  int max_args;
  Typed (*write)(Call& c);
};

namespace {

// SERVERPROPERTY's answers: the server a 2000 SP4 (8.00.2039, as the TDS
// login acknowledgment says) Standard Edition with the server collation.
std::string ServerProperty(const std::string& property) {
  const std::string p = UpperAscii(property);
  if (p == "PRODUCTVERSION") return "'8.00.2039'";
  if (p == "PRODUCTLEVEL") return "'SP4'";
  if (p == "EDITION") return "'Standard Edition'";
  if (p == "ENGINEEDITION") return "2";
  if (p == "MACHINENAME" || p == "SERVERNAME") return QuoteText(kServerName);
  if (p == "INSTANCENAME") return "NULL";
  if (p == "COLLATION") return QuoteText(kServerCollation);
  if (p == "ISINTEGRATEDSECURITYONLY" || p == "ISCLUSTERED" || p == "ISFULLTEXTINSTALLED") return "0";
  if (p == "ISSINGLEUSER") return "0";
  return "NULL";
}

// SCHEMA_NAME's schemas by their ids, as in a user database.
std::string SchemaNameSql(const std::string& id) {
  return "(CASE " + id + " WHEN 1 THEN 'dbo' WHEN 2 THEN 'guest' WHEN 3 THEN 'INFORMATION_SCHEMA' WHEN 4 THEN 'sys' END)";
}

// TYPE_NAME's types by their system type ids.
std::string TypeNameSql(const std::string& id) {
  static const std::pair<int, const char*> kTypes[] = {
      {34, "image"},   {35, "text"},         {36, "uniqueidentifier"}, {48, "tinyint"}, {52, "smallint"},
      {56, "int"},     {58, "smalldatetime"}, {59, "real"},            {60, "money"},   {61, "datetime"},
      {62, "float"},   {99, "ntext"},        {104, "bit"},             {106, "decimal"}, {108, "numeric"},
      {122, "smallmoney"}, {127, "bigint"},  {165, "varbinary"},       {167, "varchar"}, {173, "binary"},
      {175, "char"},   {231, "nvarchar"},    {239, "nchar"},           {256, "sysname"}};
  std::string sql = "(CASE " + id;
  for (const auto& [n, type] : kTypes) sql += " WHEN " + std::to_string(n) + " THEN '" + type + "'";
  return sql + " END)";
}

}  // namespace

// A number of the error a CATCH block handles, or NULL outside one.
// A choice among the server's databases, made when the statement runs.
std::string Translator::DatabaseChoice(Call& c, const std::string& value, bool by_name) {
  std::string sql = "(CASE " + value + (by_name ? " COLLATE VKCI" : "");
  for (const DatabaseEntry& d : ServerDatabases(c.t.catalog_, c.t.session_.database)) {
    const std::string id = std::to_string(d.id), name = QuoteText(d.name);
    sql += " WHEN " + (by_name ? name : id) + " THEN " + (by_name ? id : name);
  }
  return sql + " END)";
}

Translator::Typed Translator::CaughtNumber(Call& c, int ErrorInfo::*field) {
  const ErrorInfo* caught = c.t.session_.caught;
  return Call::Of(caught ? std::to_string(caught->*field) : "NULL", VT::kInt);
}

// The functions whose translation takes more than a line, each named for
// its T-SQL function. Members of the translator's own, they read its
// session and catalog as its other parts do.
struct Translator::Functions {
  using C = Call;
  static Typed Spread(Call& c, const std::string& name);
  static Typed DbName(Call& c);  // DB_NAME
  static Typed DbId(Call& c);  // DB_ID
  static Typed DatabasePropertyEx(Call& c);  // DATABASEPROPERTYEX
  static Typed SqlVariantProperty(Call& c);  // SQL_VARIANT_PROPERTY
  static Typed ScopeIdentity(Call& c);  // SCOPE_IDENTITY
  static Typed IdentCurrent(Call& c);  // IDENT_CURRENT
  static Typed ErrorMessage(Call& c);  // ERROR_MESSAGE
  static Typed ErrorProcedure(Call& c);  // ERROR_PROCEDURE
  static Typed XactState(Call& c);  // XACT_STATE
  static Typed ObjectId(Call& c);  // OBJECT_ID
  static Typed ObjectName(Call& c);  // OBJECT_NAME
  static Typed ObjectProperty(Call& c);  // OBJECTPROPERTY
  static Typed ColumnProperty(Call& c);  // COLUMNPROPERTY
  static Typed SchemaName(Call& c);  // SCHEMA_NAME
  static Typed IsNull(Call& c);  // ISNULL
  static Typed Coalesce(Call& c);  // COALESCE
  static Typed NullIf(Call& c);  // NULLIF
  static Typed Iif(Call& c);  // IIF
  static Typed DataLength(Call& c);  // DATALENGTH
  static Typed Substring(Call& c);  // SUBSTRING
  static Typed Left(Call& c);  // LEFT
  static Typed Right(Call& c);  // RIGHT
  static Typed CharIndex(Call& c);  // CHARINDEX
  static Typed Replicate(Call& c);  // REPLICATE
  static Typed Space(Call& c);  // SPACE
  static Typed Stuff(Call& c);  // STUFF
  static Typed QuoteName(Call& c);  // QUOTENAME
  static Typed Char(Call& c);  // CHAR
  static Typed NChar(Call& c);  // NCHAR
  static Typed Str(Call& c);  // STR
  static Typed Abs(Call& c);  // ABS
  static Typed Round(Call& c);  // ROUND
  static Typed Ceiling(Call& c);  // CEILING
  static Typed Floor(Call& c);  // FLOOR
  static Typed Sign(Call& c);  // SIGN
  static Typed Square(Call& c);  // SQUARE
  static Typed DateAdd(Call& c);  // DATEADD
  static Typed DatePart(Call& c);  // DATEPART
  static Typed DateName(Call& c);  // DATENAME
  static Typed Count(Call& c);  // COUNT
  static Typed Min(Call& c);  // MIN
  static Typed Max(Call& c);  // MAX
  static Typed Sum(Call& c);  // SUM
  static Typed Avg(Call& c);  // AVG
};

// STDEV, STDEVP, VAR and VARP: a float, of the values as floats.
Translator::Typed Translator::Functions::Spread(Call& c, const std::string& name) {
  const Typed a = c.Arg(0);
  if (a.type == VT::kString || a.type == VT::kDate) {
    throw SqlErr(409, "The " + name + " operation cannot take a " + VTName(a.type) + " data type as an argument.");
  }
  return C::Of("vk_" + name + "(" + (c.e.distinct ? "DISTINCT " : "") + c.Float(0) + ")", VT::kFloat);
}

Translator::Typed Translator::Functions::DbName(Call& c) {
  if (c.count() == 0) return C::Of(QuoteText(c.t.session_.database), VT::kString);
  return C::Of(DatabaseChoice(c, c.Int(0), false), VT::kString, ColumnType{SqlType::kNVarChar, 128});
}

Translator::Typed Translator::Functions::DbId(Call& c) {
  const std::string name = c.count() == 0 ? QuoteText(c.t.session_.database) : c.Text(0);
  return C::Of(DatabaseChoice(c, name, true), VT::kInt, ColumnType{SqlType::kSmallInt, 0});
}

Translator::Typed Translator::Functions::DatabasePropertyEx(Call& c) {
  // Only 'Collation' has a value: every database has the server's.
  return C::Of("vk_databasepropertyex(" + c.Text(0) + ", " + c.Text(1) + ")", VT::kString,
               ColumnType{SqlType::kNVarChar, 128});
}

Translator::Typed Translator::Functions::SqlVariantProperty(Call& c) {
  return C::Of("vk_variant_property(" + c.As(0, VT::kVariant) + ", " + c.Text(1) + ")", VT::kVariant,
               ColumnType{SqlType::kSqlVariant, 0});
}

Translator::Typed Translator::Functions::ScopeIdentity(Call& c) {
  const auto& id = c.t.session_.identity;
  return C::Of(id ? QuoteText(std::to_string(*id)) : "NULL", VT::kDecimal, ComputedDecimal({38, 0}));
}

Translator::Typed Translator::Functions::IdentCurrent(Call& c) {
  // The last identity value any session gave the table, its seed
  // before the first; NULL for a table without an identity.
  const TableMeta* table = c.t.catalog_.FindTable(ParseObjectName(c.Constant(0, "table name")).object);
  const int column = table ? table->IdentityColumn() : -1;
  std::string value = "NULL";
  if (column >= 0) {
    const auto last = c.t.catalog_.LastIdentity(table->id);
    value = QuoteText(std::to_string(last.value_or(table->columns[static_cast<std::size_t>(column)].seed)));
  }
  return C::Of(value, VT::kDecimal, ComputedDecimal({38, 0}));
}

Translator::Typed Translator::Functions::ErrorMessage(Call& c) {
  const ErrorInfo* caught = c.t.session_.caught;
  return C::Of(caught ? QuoteText(caught->message) : "NULL", VT::kString, ColumnType{SqlType::kNVarChar, 4000});
}

Translator::Typed Translator::Functions::ErrorProcedure(Call& c) {
  const ErrorInfo* caught = c.t.session_.caught;
  return C::Of(caught && !caught->procedure.empty() ? QuoteText(caught->procedure) : "NULL", VT::kString,
               ColumnType{SqlType::kNVarChar, 128});
}

Translator::Typed Translator::Functions::XactState(Call& c) {
  return C::Of(std::to_string(c.t.session_.xact_state), VT::kInt, ColumnType{SqlType::kSmallInt, 0});
}

Translator::Typed Translator::Functions::ObjectId(Call& c) {
  const ast::ObjectName n = ParseObjectName(c.Constant(0, "name"));
  if (IsTemporaryName(n.object)) {
    // The session's own temporary table, known now ('tempdb..#t' too).
    const TableMeta* t = c.t.catalog_.FindTable(n.object);
    return C::Of(t ? std::to_string(t->id) : "NULL", VT::kInt);
  }
  return C::Of("(SELECT id FROM sysobjects WHERE name = " + QuoteText(n.object) + " COLLATE VKCI LIMIT 1)",
               VT::kInt);
}

Translator::Typed Translator::Functions::ObjectName(Call& c) {
  return C::Of("(SELECT name FROM sysobjects WHERE id = " + c.Int(0) + ")", VT::kString,
               ColumnType{SqlType::kNVarChar, 128});
}

Translator::Typed Translator::Functions::ObjectProperty(Call& c) {
  const std::string prop = UpperAscii(c.Constant(1, "property"));
  std::string test;
  if (prop == "ISPROCEDURE") test = "xtype = 'P'";
  else if (prop == "ISUSERTABLE" || prop == "ISTABLE") test = "xtype = 'U'";
  else if (prop == "ISPRIMARYKEY") test = "xtype = 'PK'";
  else if (prop == "ISFOREIGNKEY") test = "xtype = 'F'";
  else NotSupported("OBJECTPROPERTY '" + prop + "'");
  return C::Of("(SELECT CASE WHEN " + test + " THEN 1 ELSE 0 END FROM sysobjects WHERE id = " + c.Int(0) + ")",
               VT::kInt);
}

Translator::Typed Translator::Functions::ColumnProperty(Call& c) {
  // What syscolumns says of the table's column or the procedure's
  // parameter; NULL for a property it does not know.
  static const std::pair<const char*, const char*> kProperties[] = {
      {"ALLOWSNULL", "isnullable"},
      {"ISIDENTITY", "(CASE WHEN status & 128 <> 0 THEN 1 ELSE 0 END)"},
      {"PRECISION", "prec"},
      {"SCALE", "scale"},
      {"COLUMNID", "colid"},
      {"ISCOMPUTED", "0"},
      {"ISROWGUIDCOL", "0"},
      {"ISIDNOTFORREPL", "0"},
      {"ISOUTPARAM", "isoutparam"}};
  const std::string property = UpperAscii(c.Constant(2, "property"));
  for (const auto& [name, value] : kProperties) {
    if (property != name) continue;
    ast::ObjectName syscolumns;
    syscolumns.object = "syscolumns";
    const SystemView view = SystemViewOf(syscolumns, c.t.catalog_, c.t.session_);
    // The view's columns are c1, c2 ...: each read under its own name.
    std::string named;
    for (std::size_t k = 0; k < view.columns.size(); ++k) {
      named += (k ? ", c" : "c") + std::to_string(k + 1) + " AS " + view.columns[k].name;
    }
    return C::Of("(SELECT " + std::string(value) + " FROM (SELECT " + named + " FROM (" + view.sql +
                     ")) WHERE id = " + c.Int(0) + " AND name = " + c.Text(1) + " COLLATE VKCI LIMIT 1)",
                 VT::kInt);
  }
  return C::Of("NULL", VT::kInt);
}

Translator::Typed Translator::Functions::SchemaName(Call& c) {
  return C::Of(c.count() == 0 ? "'dbo'" : SchemaNameSql(c.Int(0)), VT::kString, ColumnType{SqlType::kNVarChar, 128});
}

Translator::Typed Translator::Functions::IsNull(Call& c) {
  // ISNULL has its first argument's type.
  const Typed a = c.Arg(0), b = c.Arg(1);
  const Typed& type = a.type != VT::kNull ? a : b;
  Typed out = C::Of("coalesce(" + c.t.InType(a, type) + ", " + c.t.InType(b, type) + ")", type.type, a.column);
  if (type.type == VT::kDecimal) out.column = type.column ? type.column : ComputedDecimal(DecimalOf(type));
  return out;
}

Translator::Typed Translator::Functions::Coalesce(Call& c) {
  // The type its arguments share.
  std::vector<Typed> args;
  for (std::size_t i = 0; i < c.count(); ++i) args.push_back(c.Arg(i));
  std::vector<const Typed*> all;
  for (const Typed& a : args) all.push_back(&a);
  const Typed type = CommonType(all);
  std::string sql = "coalesce(";
  for (std::size_t i = 0; i < args.size(); ++i) sql += (i ? ", " : "") + c.t.InType(args[i], type);
  Typed out = C::Of(sql + ")", type.type);
  if (type.type == VT::kDecimal) out.column = type.column ? type.column : ComputedDecimal(DecimalOf(type));
  return out;
}

Translator::Typed Translator::Functions::NullIf(Call& c) {
  const Typed a = c.Arg(0), b = c.Arg(1);
  return C::Of("(CASE WHEN " + c.t.Compare("=", a, b) + " THEN NULL ELSE " + a.sql + " END)", a.type, a.column);
}

Translator::Typed Translator::Functions::Iif(Call& c) {
  const std::string condition = c.t.Predicate(c.Raw(0), c.scope);
  const Typed a = c.Arg(1), b = c.Arg(2);
  const VT type = Rank(b.type) > Rank(a.type) || a.type == VT::kNull ? b.type : a.type;
  return C::Of("(CASE WHEN " + condition + " THEN " + c.t.Coerce(a, type) + " ELSE " + c.t.Coerce(b, type) +
                   " END)",
               type);
}

Translator::Typed Translator::Functions::DataLength(Call& c) {
  // The bytes of the value: of binary data as it is; of text as
  // nvarchar or varchar; of a number or date its type's storage.
  const Typed a = c.Arg(0);
  if (a.type == VT::kBinary) return C::Of("length(" + a.sql + ")", VT::kInt);
  if (a.type == VT::kString) {
    const bool unicode = a.column ? IsUnicodeType(a.column->type) : !a.is_literal || a.national;
    return C::Of("vk_datalength(" + a.sql + ", " + (unicode ? "1" : "0") + ")", VT::kInt);
  }
  if (a.type == VT::kNull || a.type == VT::kBool) return C::Of("NULL", VT::kInt);
  static const std::pair<VT, SqlType> kStorage[] = {{VT::kInt, SqlType::kInt},     {VT::kBit, SqlType::kBit},
                                                    {VT::kMoney, SqlType::kMoney}, {VT::kFloat, SqlType::kFloat},
                                                    {VT::kDate, SqlType::kDateTime}};
  ColumnType type = DecimalColumnType(c.t.DecimalOf(a));
  for (const auto& [vt, sql_type] : kStorage) {
    if (vt == a.type) type = ColumnType{sql_type, 0};
  }
  if (a.column) type = *a.column;
  const std::string bytes = std::to_string(ColumnSizeOf(type).max_length);
  return C::Of("(CASE WHEN " + a.sql + " IS NULL THEN NULL ELSE " + bytes + " END)", VT::kInt);
}

Translator::Typed Translator::Functions::Substring(Call& c) {
  // Of binary data, bytes.
  const Typed a = c.Arg(0);
  const bool bytes = a.type == VT::kBinary;
  return C::Of("vk_substr(" + (bytes ? a.sql : c.t.Coerce(a, VT::kString)) + ", " + c.Int(1) + ", " + c.Int(2) + ")",
               bytes ? VT::kBinary : VT::kString, bytes ? a.column : C::PartType(a));
}

Translator::Typed Translator::Functions::Left(Call& c) {
  const Typed a = c.Arg(0);
  return C::Of("vk_substr(" + c.t.Coerce(a, VT::kString) + ", 1, " + c.Int(1) + ")", VT::kString, C::PartType(a));
}

Translator::Typed Translator::Functions::Right(Call& c) {
  const Typed a = c.Arg(0);
  return C::Of("vk_right(" + c.t.Coerce(a, VT::kString) + ", " + c.Int(1) + ")", VT::kString, C::PartType(a));
}

Translator::Typed Translator::Functions::CharIndex(Call& c) {
  // Under the server collation: ASCII case does not count.
  const std::string what = "lower(" + c.Text(0) + ")", in = "lower(" + c.Text(1) + ")";
  if (c.count() == 2) return C::Of("instr(" + in + ", " + what + ")", VT::kInt);
  const std::string start = "max(" + c.Int(2) + ", 1)";
  const std::string found = "instr(vk_substr(" + in + ", " + start + ", 2147483647), " + what + ")";
  return C::Of("(CASE WHEN " + found + " > 0 THEN " + found + " + " + start + " - 1 ELSE 0 END)", VT::kInt);
}

Translator::Typed Translator::Functions::Replicate(Call& c) {
  const std::string n = c.Int(1);
  return C::Of("(CASE WHEN " + n + " < 0 THEN NULL ELSE replace(hex(zeroblob(" + n + ")), '00', " + c.Text(0) +
                   ") END)",
               VT::kString);
}

Translator::Typed Translator::Functions::Space(Call& c) {
  const std::string n = c.Int(0);
  return C::Of("(CASE WHEN " + n + " < 0 THEN NULL ELSE replace(hex(zeroblob(" + n + ")), '00', ' ') END)",
               VT::kString);
}

Translator::Typed Translator::Functions::Stuff(Call& c) {
  const std::string s = c.Text(0), start = c.Int(1), n = c.Int(2);
  return C::Of("(CASE WHEN " + start + " < 1 OR " + start + " > vk_chars(" + s + ") OR " + n +
                   " < 0 THEN NULL ELSE vk_substr(" + s + ", 1, " + start + " - 1) || " + c.Text(3) +
                   " || vk_substr(" + s + ", " + start + " + " + n + ", 2147483647) END)",
               VT::kString);
}

Translator::Typed Translator::Functions::QuoteName(Call& c) {
  const std::string s = c.Text(0);
  std::string open = "[";
  if (c.count() == 2) open = c.Constant(1, "quote character");
  std::string close = open == "[" || open == "]" ? "]" : open == "(" || open == ")" ? ")" : open;
  if (open == "]") open = "[";
  if (open == ")") open = "(";
  if (open != "[" && open != "(" && open != "'" && open != "\"" && open != "`" && open != "<" && open != "{") {
    return C::Of("NULL", VT::kString);
  }
  if (open == "<") close = ">";
  if (open == "{") close = "}";
  return C::Of("(CASE WHEN length(" + s + ") > 128 THEN NULL ELSE " + QuoteText(open) + " || replace(" + s +
                   ", " + QuoteText(close) + ", " + QuoteText(close + close) + ") || " + QuoteText(close) +
                   " END)",
               VT::kString, ColumnType{SqlType::kNVarChar, 258});
}

Translator::Typed Translator::Functions::Char(Call& c) {
  const std::string n = c.Int(0);
  return C::Of("(CASE WHEN " + n + " BETWEEN 0 AND 255 THEN char(" + n + ") END)", VT::kString,
               ColumnType{SqlType::kChar, 1});
}

Translator::Typed Translator::Functions::NChar(Call& c) {
  const std::string n = c.Int(0);
  return C::Of("(CASE WHEN " + n + " BETWEEN 0 AND 65535 THEN char(" + n + ") END)", VT::kString,
               ColumnType{SqlType::kNChar, 1});
}

Translator::Typed Translator::Functions::Str(Call& c) {
  // Right-aligned in `length` characters (10) with `decimals`
  // places (0); asterisks when it does not fit.
  const std::string x = c.Float(0);
  const std::string length = c.count() > 1 ? c.Int(1) : "10";
  const std::string decimals = c.count() > 2 ? "min(" + c.Int(2) + ", 16)" : "0";
  const std::string text = "printf('%.' || " + decimals + " || 'f', " + x + ")";
  return C::Of("(CASE WHEN " + length + " < 1 THEN NULL WHEN length(" + text + ") > " + length +
                   " THEN replace(hex(zeroblob(" + length + ")), '00', '*') ELSE printf('%' || " + length +
                   " || 's', " + text + ") END)",
               VT::kString);
}

Translator::Typed Translator::Functions::Abs(Call& c) {
  Typed a = c.Arg(0);
  if (a.type == VT::kDecimal) return C::Of("vk_dabs(" + a.sql + ")", a.type, ComputedDecimal(DecimalOf(a)));
  return C::Of("abs(" + a.sql + ")", a.type);
}

Translator::Typed Translator::Functions::Round(Call& c) {
  Typed a = c.Arg(0);
  const std::string digits = c.Int(1);
  if (a.type == VT::kMoney) return C::Of("vk_money(round(" + a.sql + " / 10000.0, " + digits + "))", VT::kMoney);
  if (a.type == VT::kInt || a.type == VT::kBit) {
    return C::Of("CAST(round(" + a.sql + ", " + digits + ") AS INTEGER)", VT::kInt);
  }
  if (a.type == VT::kDecimal) {
    // Of the same type: a result that needs another digit overflows.
    const DecimalType t = DecimalOf(a);
    return C::Of("vk_dround(" + a.sql + ", " + digits + ", " + std::to_string(t.precision) + ")", VT::kDecimal,
                 ComputedDecimal(t));
  }
  return C::Of("round(" + c.t.Coerce(a, VT::kFloat) + ", " + digits + ")", VT::kFloat);
}

Translator::Typed Translator::Functions::Ceiling(Call& c) {
  Typed a = c.Arg(0);
  if (a.type == VT::kMoney) return C::Of("(CAST(ceil(" + a.sql + " / 10000.0) AS INTEGER) * 10000)", VT::kMoney);
  if (a.type == VT::kInt || a.type == VT::kBit) return C::Of(a.sql, VT::kInt);
  return C::Of("ceil(" + c.t.Coerce(a, VT::kFloat) + ")", VT::kFloat);
}

Translator::Typed Translator::Functions::Floor(Call& c) {
  Typed a = c.Arg(0);
  if (a.type == VT::kMoney) return C::Of("(CAST(floor(" + a.sql + " / 10000.0) AS INTEGER) * 10000)", VT::kMoney);
  if (a.type == VT::kInt || a.type == VT::kBit) return C::Of(a.sql, VT::kInt);
  return C::Of("floor(" + c.t.Coerce(a, VT::kFloat) + ")", VT::kFloat);
}

Translator::Typed Translator::Functions::Sign(Call& c) {
  Typed a = c.Arg(0);
  const VT type = a.type == VT::kBit ? VT::kInt : a.type;
  const std::string one = type == VT::kMoney ? "10000" : "1";
  return C::Of("(CASE WHEN " + a.sql + " > 0 THEN " + one + " WHEN " + a.sql + " < 0 THEN -" + one +
                   " WHEN " + a.sql + " = 0 THEN 0 END)",
               type);
}

Translator::Typed Translator::Functions::Square(Call& c) {
  const std::string x = c.Float(0);
  return C::Of("(" + x + " * " + x + ")", VT::kFloat);
}

Translator::Typed Translator::Functions::DateAdd(Call& c) {
  return C::Of("vk_dateadd_part(" + c.Part(0) + ", " + c.Int(1) + ", " + c.Date(2) + ")", VT::kDate,
               ColumnType{SqlType::kDateTime, 0});
}

Translator::Typed Translator::Functions::DatePart(Call& c) {
  return C::Of("vk_datepart(" + c.Part(0) + ", " + c.Date(1) + ", " +
                   std::to_string(c.t.session_.options.datefirst) + ")",
               VT::kInt);
}

Translator::Typed Translator::Functions::DateName(Call& c) {
  return C::Of("vk_datename(" + c.Part(0) + ", " + c.Date(1) + ", " +
                   std::to_string(c.t.session_.options.datefirst) + ")",
               VT::kString,
               ColumnType{SqlType::kNVarChar, 30});
}

Translator::Typed Translator::Functions::Count(Call& c) {
  if (c.e.star) return C::Of("count(*)", VT::kInt);
  if (c.count() != 1) throw SqlErr(174, "The count function requires 1 argument(s).");
  return C::Of(std::string("count(") + (c.e.distinct ? "DISTINCT " : "") + c.Arg(0).sql + ")", VT::kInt);
}

Translator::Typed Translator::Functions::Min(Call& c) {
  Typed a = c.Arg(0);
  return C::Of(std::string("min(") + (c.e.distinct ? "DISTINCT " : "") + a.sql +
                   (a.type == VT::kDecimal ? " COLLATE VKDEC)" : ")"),
               a.type, a.column);
}

Translator::Typed Translator::Functions::Max(Call& c) {
  Typed a = c.Arg(0);
  return C::Of(std::string("max(") + (c.e.distinct ? "DISTINCT " : "") + a.sql +
                   (a.type == VT::kDecimal ? " COLLATE VKDEC)" : ")"),
               a.type, a.column);
}

Translator::Typed Translator::Functions::Sum(Call& c) {
  Typed a = c.Arg(0);
  if (a.type == VT::kString || a.type == VT::kDate) {
    throw SqlErr(409, std::string("The sum operation cannot take a ") + VTName(a.type) + " data type as an argument.");
  }
  const std::string distinct = c.e.distinct ? "DISTINCT " : "";
  if (a.type == VT::kDecimal) {
    // Exact, in decimal(38, s).
    return C::Of("vk_dsum(" + distinct + a.sql + ")", VT::kDecimal, ComputedDecimal(DecimalSumType(DecimalOf(a))));
  }
  // SUM of bigint is a bigint; of int, smallint and tinyint an int,
  // 8115 past its range.
  if (IsBigInt(a)) return C::Of("sum(" + distinct + a.sql + ")", VT::kInt, ColumnType{SqlType::kBigInt});
  if (a.type == VT::kInt) return C::Of("vk_intfit(sum(" + distinct + a.sql + "))", VT::kInt);
  return C::Of("sum(" + distinct + a.sql + ")", a.type == VT::kBit ? VT::kInt : a.type);
}

Translator::Typed Translator::Functions::Avg(Call& c) {
  Typed a = c.Arg(0);
  const std::string distinct = c.e.distinct ? "DISTINCT " : "";
  if (a.type == VT::kString || a.type == VT::kDate) {
    throw SqlErr(409, std::string("The avg operation cannot take a ") + VTName(a.type) + " data type as an argument.");
  }
  if (a.type == VT::kDecimal) {
    // Exact, in decimal(38, max(s, 6)).
    return C::Of("vk_davg(" + distinct + a.sql + ")", VT::kDecimal, ComputedDecimal(DecimalAvgType(DecimalOf(a))));
  }
  if (a.type == VT::kMoney) return C::Of("CAST(avg(" + distinct + a.sql + ") AS INTEGER)", VT::kMoney);
  if (IsBigInt(a)) {
    return C::Of("CAST(avg(" + distinct + a.sql + ") AS INTEGER)", VT::kInt, ColumnType{SqlType::kBigInt});
  }
  if (a.type == VT::kInt || a.type == VT::kBit) return C::Of("CAST(avg(" + distinct + a.sql + ") AS INTEGER)", VT::kInt);
  return C::Of("avg(" + distinct + a.sql + ")", VT::kFloat);
}

const Translator::FunctionDef* Translator::FindFunction(std::string_view upper_name) {
  using C = Call;
  // The type of the result of ISNULL / COALESCE / IIF: the argument of the
  // highest precedence (ISNULL: the first's).
  static const FunctionDef kFunctions[] = {
      // ---- the session and the server
      {"GETDATE", 0, 0, [](C&) { return C::Of("vk_getdate()", VT::kDate); }},
      {"CURRENT_TIMESTAMP", 0, 0, [](C&) { return C::Of("vk_getdate()", VT::kDate); }},
      {"GETUTCDATE", 0, 0, [](C&) { return C::Of("vk_getutcdate()", VT::kDate); }},
      {"HOST_NAME", 0, 0, [](C&) { return C::Of("vk_host_name()", VT::kString); }},
      {"APP_NAME", 0, 0, [](C&) { return C::Of("''", VT::kString, ColumnType{SqlType::kNVarChar, 128}); }},
      {"SUSER_SNAME", 0, 0, [](C&) { return C::Of("vk_suser_sname()", VT::kString); }},
      {"SUSER_NAME", 0, 0, [](C&) { return C::Of("vk_suser_sname()", VT::kString); }},
      {"SYSTEM_USER", 0, 0, [](C&) { return C::Of("vk_suser_sname()", VT::kString); }},
      // Every login is the database's owner: its user is dbo.
      {"USER_NAME", 0, 1, [](C&) { return C::Of("'dbo'", VT::kString, ColumnType{SqlType::kNVarChar, 128}); }},
      {"CURRENT_USER", 0, 0, [](C&) { return C::Of("'dbo'", VT::kString, ColumnType{SqlType::kNVarChar, 128}); }},
      {"SESSION_USER", 0, 0, [](C&) { return C::Of("'dbo'", VT::kString, ColumnType{SqlType::kNVarChar, 128}); }},
      {"USER", 0, 0, [](C&) { return C::Of("'dbo'", VT::kString, ColumnType{SqlType::kNVarChar, 128}); }},
      {"DB_NAME", 0, 1, &Functions::DbName},
      {"DB_ID", 0, 1, &Functions::DbId},
      {"SERVERPROPERTY", 1, 1,
       [](C& c) { return C::Of(ServerProperty(c.Constant(0, "property")), VT::kString); }},
      {"DATABASEPROPERTYEX", 2, 2, &Functions::DatabasePropertyEx},
      {"SQL_VARIANT_PROPERTY", 2, 2, &Functions::SqlVariantProperty},
      {"COLLATIONPROPERTY", 2, 2,
       [](C& c) { return C::Of("vk_collationproperty(" + c.Text(0) + ", " + c.Text(1) + ")", VT::kInt); }},
      {"SCOPE_IDENTITY", 0, 0, &Functions::ScopeIdentity},
      {"IDENT_CURRENT", 1, 1, &Functions::IdentCurrent},
      {"NEWID", 0, 0, [](C&) { return C::Of("vk_newid()", VT::kGuid, ColumnType{SqlType::kUniqueIdentifier, 0}); }},

      // ---- the error a CATCH block handles; NULL outside one
      {"ERROR_NUMBER", 0, 0, [](C& c) { return CaughtNumber(c, &ErrorInfo::number); }},
      {"ERROR_SEVERITY", 0, 0, [](C& c) { return CaughtNumber(c, &ErrorInfo::severity); }},
      {"ERROR_STATE", 0, 0, [](C& c) { return CaughtNumber(c, &ErrorInfo::state); }},
      {"ERROR_LINE", 0, 0, [](C& c) { return CaughtNumber(c, &ErrorInfo::line); }},
      {"ERROR_MESSAGE", 0, 0, &Functions::ErrorMessage},
      {"ERROR_PROCEDURE", 0, 0, &Functions::ErrorProcedure},
      {"XACT_STATE", 0, 0, &Functions::XactState},

      // ---- objects
      {"OBJECT_ID", 1, 2, &Functions::ObjectId},
      {"OBJECT_NAME", 1, 1, &Functions::ObjectName},
      {"OBJECTPROPERTY", 2, 2, &Functions::ObjectProperty},
      {"COLUMNPROPERTY", 3, 3, &Functions::ColumnProperty},
      {"SCHEMA_NAME", 0, 1, &Functions::SchemaName},
      {"TYPE_NAME", 1, 1,
       [](C& c) { return C::Of(TypeNameSql(c.Int(0)), VT::kString, ColumnType{SqlType::kNVarChar, 128}); }},

      // ---- NULL and choices
      {"ISNULL", 2, 2, &Functions::IsNull},
      {"COALESCE", 2, 255, &Functions::Coalesce},
      {"NULLIF", 2, 2, &Functions::NullIf},
      {"IIF", 3, 3, &Functions::Iif},
      {"ISNUMERIC", 1, 1, [](C& c) { return C::Of("vk_isnumeric(" + c.Arg(0).sql + ")", VT::kInt); }},
      {"ISDATE", 1, 1, [](C& c) { return C::Of("vk_isdate(" + c.Arg(0).sql + ")", VT::kInt); }},

      {"DATALENGTH", 1, 1, &Functions::DataLength},

      // ---- text; every position counts characters from 1
      // SQLite's text functions stop at a zero byte; the vk_ ones read
      // every byte (binary data read as text, CHAR(0)).
      {"LEN", 1, 1, [](C& c) { return C::Of("vk_len(" + c.Text(0) + ")", VT::kInt); }},
      {"UPPER", 1, 1, [](C& c) { return C::Of("upper(" + c.Text(0) + ")", VT::kString); }},
      {"LOWER", 1, 1, [](C& c) { return C::Of("lower(" + c.Text(0) + ")", VT::kString); }},
      {"LTRIM", 1, 1, [](C& c) { return C::Of("ltrim(" + c.Text(0) + ", ' ')", VT::kString); }},
      {"RTRIM", 1, 1, [](C& c) { return C::Of("rtrim(" + c.Text(0) + ", ' ')", VT::kString); }},
      {"SUBSTRING", 3, 3, &Functions::Substring},
      {"LEFT", 2, 2, &Functions::Left},
      {"RIGHT", 2, 2, &Functions::Right},
      {"REPLACE", 3, 3,
       [](C& c) { return C::Of("replace(" + c.Text(0) + ", " + c.Text(1) + ", " + c.Text(2) + ")", VT::kString); }},
      {"CHARINDEX", 2, 3, &Functions::CharIndex},
      {"REPLICATE", 2, 2, &Functions::Replicate},
      {"SPACE", 1, 1, &Functions::Space},
      {"REVERSE", 1, 1, [](C& c) { return C::Of("vk_reverse(" + c.Text(0) + ")", VT::kString); }},
      {"STUFF", 4, 4, &Functions::Stuff},
      {"QUOTENAME", 1, 2, &Functions::QuoteName},
      {"UNICODE", 1, 1, [](C& c) { return C::Of("unicode(" + c.Text(0) + ")", VT::kInt); }},
      {"ASCII", 1, 1, [](C& c) { return C::Of("unicode(" + c.Text(0) + ")", VT::kInt); }},
      {"CHAR", 1, 1, &Functions::Char},
      {"NCHAR", 1, 1, &Functions::NChar},
      {"STR", 1, 3, &Functions::Str},

      // ---- numbers
      {"ABS", 1, 1, &Functions::Abs},
      {"ROUND", 2, 2, &Functions::Round},
      {"CEILING", 1, 1, &Functions::Ceiling},
      {"FLOOR", 1, 1, &Functions::Floor},
      {"SIGN", 1, 1, &Functions::Sign},
      {"POWER", 2, 2, [](C& c) { return C::Of("pow(" + c.Float(0) + ", " + c.Float(1) + ")", VT::kFloat); }},
      {"SQRT", 1, 1, [](C& c) { return C::Of("sqrt(" + c.Float(0) + ")", VT::kFloat); }},
      {"SQUARE", 1, 1, &Functions::Square},
      {"EXP", 1, 1, [](C& c) { return C::Of("exp(" + c.Float(0) + ")", VT::kFloat); }},
      {"LOG", 1, 1, [](C& c) { return C::Of("ln(" + c.Float(0) + ")", VT::kFloat); }},
      {"LOG10", 1, 1, [](C& c) { return C::Of("log10(" + c.Float(0) + ")", VT::kFloat); }},
      {"PI", 0, 0, [](C&) { return C::Of("pi()", VT::kFloat); }},

      // ---- dates
      {"YEAR", 1, 1, [](C& c) { return C::Of("CAST(substr(" + c.Date(0) + ", 1, 4) AS INTEGER)", VT::kInt); }},
      {"MONTH", 1, 1, [](C& c) { return C::Of("CAST(substr(" + c.Date(0) + ", 6, 2) AS INTEGER)", VT::kInt); }},
      {"DAY", 1, 1, [](C& c) { return C::Of("CAST(substr(" + c.Date(0) + ", 9, 2) AS INTEGER)", VT::kInt); }},
      {"DATEADD", 3, 3, &Functions::DateAdd},
      {"DATEDIFF", 3, 3,
       [](C& c) { return C::Of("vk_datediff(" + c.Part(0) + ", " + c.Date(1) + ", " + c.Date(2) + ")", VT::kInt); }},
      // The week and the weekday count from the session's SET DATEFIRST.
      {"DATEPART", 2, 2, &Functions::DatePart},
      {"DATENAME", 2, 2, &Functions::DateName},

      // ---- aggregates
      {"COUNT", 0, 1, &Functions::Count},
      {"MIN", 1, 1, &Functions::Min},
      {"MAX", 1, 1, &Functions::Max},
      {"SUM", 1, 1, &Functions::Sum},
      {"AVG", 1, 1, &Functions::Avg},
      {"STDEV", 1, 1, [](C& c) { return Functions::Spread(c, "stdev"); }},
      {"STDEVP", 1, 1, [](C& c) { return Functions::Spread(c, "stdevp"); }},
      {"VAR", 1, 1, [](C& c) { return Functions::Spread(c, "var"); }},
      {"VARP", 1, 1, [](C& c) { return Functions::Spread(c, "varp"); }},
  };
  for (const FunctionDef& f : kFunctions) {
    if (upper_name == f.name) return &f;
  }
  return nullptr;
}

Translator::Typed Translator::Function(const ast::Expr& e, const Scope& scope) {
  Call call{*this, e, scope, UpperAscii(e.parts.back())};
  const FunctionDef* f = FindFunction(call.name);
  if (!f) throw SqlErr(195, "'" + e.parts.back() + "' is not a recognized function name.");
  const int n = static_cast<int>(e.args.size());
  if (!e.star && (n < f->min_args || n > f->max_args)) {
    const std::string name = LowerAscii(call.name);
    if (f->min_args == f->max_args) {
      throw SqlErr(174, "The " + name + " function requires " + std::to_string(f->min_args) + " argument(s).");
    }
    throw SqlErr(189, "The " + name + " function requires " + std::to_string(f->min_args) + " to " +
                          std::to_string(f->max_args) + " arguments.");
  }
  Typed out = f->write(call);
  if (out.type == VT::kString && !out.column && call.long_text) {
    out.column = ColumnType{call.unicode_text ? SqlType::kNVarChar : SqlType::kVarChar, -1};
  }
  return out;
}

}  // namespace sqlsrv
