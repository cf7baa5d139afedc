// The translator: T-SQL syntax trees into SQLite SQL, typed statically,
// with names resolved against the catalog.
#include "platform/sqlserver/translation/translate.h"

#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <span>
#include <utility>

#include "platform/com/datetime.h"
#include "platform/com/names.h"
#include "platform/com/numeric.h"
#include "platform/com/quote.h"
#include "platform/com/unicode.h"
#include "platform/dts/binary_form.h"
#include "platform/dts/convert.h"
#include "platform/sqlserver/errors.h"
#include "platform/sqlserver/lexer.h"
#include "platform/sqlserver/frontend/parser.h"
#include "platform/sqlserver/server_directory.h"
#include "platform/port/files.h"
#include "platform/sqlserver/translation/sqlite_functions.h"
#include "platform/sqlserver/catalog/system_views.h"
#include "platform/sqlserver/translation/translate_internal.h"

namespace sqlsrv {

using ast::Expr;
using ast::ExprKind;

// A table, view, CTE or derived table of a query's FROM clause.
struct Translator::Source {
  std::string name;        // its exposed name: the alias, else the table's (view's, CTE's) own
  std::string schema;      // the schema of a table or view exposed by its own name; "" for the others
  std::string sql_alias;   // t0, t1 ...: unique in the statement, so SQLite binds no name but the one meant
  const TableMeta* table = nullptr;
  std::vector<OutputColumn> derived;  // columns of a derived table ("c1", "c2" ...)
  bool outer = false;      // the inner side of a LEFT JOIN: any of its columns may be NULL
};

// A query's FROM sources; `outer` is the query it is a subquery of, whose
// sources its names may refer to when its own do not have them.
struct Translator::Scope {
  std::vector<Source> sources;
  const Scope* outer = nullptr;
  int level = 0;  // the query level it is the scope of (query_level_)
  // While a join's ON condition is translated, the first source it sees:
  // that of the join's first table (the tables listed before it, with
  // commas, are not in it).
  std::size_t joined_from = 0;

  // The sources its names may refer to.
  std::span<const Source> Visible() const { return std::span<const Source>(sources).subspan(joined_from); }
};

namespace {

// A decimal operator's number in vk_dchain's steps.
int DecimalOperatorNumber(const std::string& op) {
  static const char* const kOperators[] = {"+", "-", "*", "/", "%"};
  for (int i = 0; i < 5; ++i) {
    if (op == kOperators[i]) return i;
  }
  return 0;
}

// The most arguments one SQLite function call takes.
constexpr int kMaxFunctionArguments = 127;

// @@OPTIONS: a bit for each SET option that is ON, as SQL Server numbers
// them. ANSI_WARNINGS, ANSI_PADDING, ANSI_NULL_DFLT_ON and
// CONCAT_NULL_YIELDS_NULL are always ON here.
int OptionBits(const SessionState& s) {
  const std::pair<bool, int> kBits[] = {
      {s.options.cursor_close_on_commit, 4}, {true, 8},          {true, 16},
      {s.options.ansi_nulls, 32},            {s.options.arithabort, 64}, {s.options.quoted_identifier, 256},
      {s.nocount, 512},                      {true, 1024},       {true, 4096},
      {s.options.xact_abort, 16384},
  };
  int bits = 0;
  for (const auto& [on, bit] : kBits) bits |= on ? bit : 0;
  return bits;
}

// A vk_convert call: `sql`, of static type `from`, into a column type, in
// CONVERT's `style` when given (SQL for an int).
// `source`, when given, is the type of the value converted, which the
// bytes of an integer or text converted to binary depend on.
std::string ConvertCall(const std::string& sql, VT from, const ColumnType& to, const std::string& style = "",
                        std::optional<SqlType> source = std::nullopt) {
  std::string call = "vk_convert(" + sql + ", " + std::to_string(static_cast<int>(from)) + ", " +
                     std::to_string(static_cast<int>(to.type)) + ", " + std::to_string(to.length) + ", " +
                     std::to_string(to.precision) + ", " + std::to_string(to.scale);
  if (!style.empty() || source) call += ", " + (style.empty() ? std::string("0") : style);
  if (source) call += ", " + std::to_string(static_cast<int>(*source));
  return call + ")";
}

// What a value converted to binary is made of: its integer type's width,
// or whether its text is Unicode.
std::optional<SqlType> BinarySource(VT type, const std::optional<ColumnType>& column, bool national,
                                    bool wide_constant) {
  if (column && (IsIntegerType(column->type) || IsCharType(column->type))) return column->type;
  if (type == VT::kInt) return wide_constant ? SqlType::kBigInt : SqlType::kInt;
  if (type == VT::kString) return national ? SqlType::kNVarChar : SqlType::kVarChar;
  return std::nullopt;
}

std::string MoneyUnitsLiteral(const std::string& text) {
  std::int64_t units = 0;
  if (com::ParseCurrency(text, &units)) return std::to_string(units);
  return "";
}

// The longest operator chain ("a + b + ...", 1000 terms) that SQLite
// evaluates: its expressions nest at most 1000 deep.
constexpr std::size_t kMaxOperatorChain = 999;

// The word SQL Server's messages use for an operator: "add", "subtract" ...
std::string OperatorName(const std::string& op) {
  static const std::pair<const char*, const char*> kNames[] = {
      {"+", "add"}, {"-", "subtract"}, {"*", "multiply"}, {"/", "divide"}, {"%", "modulo"}};
  for (const auto& [symbol, name] : kNames) {
    if (op == symbol) return name;
  }
  return op;
}

bool IsArithmeticOperator(const std::string& op) {
  return op == "+" || op == "-" || op == "*" || op == "/" || op == "%" || op == "&" || op == "|" || op == "^";
}

// The most SQL text one statement's translation writes, counting every
// expression's text: far past any real statement's, short of what would
// take the server's memory.
constexpr std::size_t kMaxTranslatedText = 16u << 20;

// The SQLite operator class a T-SQL operator chains in (see Typed::chain).
char ChainClass(const std::string& op) {
  if (op == "+" || op == "-") return '+';
  if (op == "*") return '*';
  if (op == "&" || op == "|") return '&';
  return 0;
}

// "(left op right)". When the left operand is, as it stands (`left` is
// its sql unchanged), a chain of the same operator class, its parentheses
// go: "a + b + c" reaches SQLite flat, not nested one level a term.
std::string Chain(const std::string& operand_sql, char operand_chain, const std::string& left, std::string_view op,
                  const std::string& right, char cls) {
  std::string_view l = left;
  if (cls != 0 && operand_chain == cls && left == operand_sql) l = l.substr(1, l.size() - 2);
  std::string out;
  out.reserve(l.size() + op.size() + right.size() + 4);
  out.append("(").append(l).append(" ").append(op).append(" ").append(right).append(")");
  return out;
}

// Terms joined by an associative operator (AND, OR) as a balanced tree,
// "((a OR b) OR (c OR d))": it means what the chain means, and SQLite
// parses it nesting only as deep as the logarithm of its length.
std::string Balanced(const std::vector<std::string>& terms, std::size_t from, std::size_t to, std::string_view op) {
  if (to - from == 1) return terms[from];
  const std::size_t mid = from + (to - from) / 2;
  return "(" + Balanced(terms, from, mid, op) + " " + std::string(op) + " " + Balanced(terms, mid, to, op) + ")";
}

// The digits of a numeric constant that count toward its precision.
std::size_t PrecisionOf(std::string_view text) {
  const auto point = text.find('.');
  const std::string_view whole = text.substr(0, point);
  const auto first = whole.find_first_not_of('0');
  std::size_t digits = first == std::string_view::npos ? 0 : whole.size() - first;
  if (point != std::string_view::npos) digits += text.size() - point - 1;
  return digits;
}

// A numeric constant SQL Server cannot hold: more than 38 digits.
void CheckPrecision(const std::string& text) {
  if (PrecisionOf(text) > 38) {
    throw SqlErr(kNumberOutOfRange,
                 "The number '" + text + "' is out of the range for numeric representation (maximum precision 38).");
  }
}

// Constants that ORDER BY refuses (an integer that fits int is a position).
bool IsConstant(const Expr& e) {
  switch (e.kind) {
    case ExprKind::kNull: case ExprKind::kInteger: case ExprKind::kDecimal: case ExprKind::kFloat:
    case ExprKind::kMoney: case ExprKind::kString: case ExprKind::kBytes:
      return true;
    default:
      return false;
  }
}

// The columns of a derived table or CTE, as its queries name them: each
// named (8155), no name twice (8156).
void CheckExposedColumns(const std::vector<OutputColumn>& columns, const std::string& source) {
  for (std::size_t c = 0; c < columns.size(); ++c) {
    if (columns[c].name.empty()) {
      throw SqlErr(8155, "No column name was specified for column " + std::to_string(c + 1) + " of '" + source + "'.");
    }
    for (std::size_t k = 0; k < c; ++k) {
      if (SameName(columns[k].name, columns[c].name)) {
        throw SqlErr(8156, "The column '" + columns[c].name + "' was specified multiple times for '" + source + "'.");
      }
    }
  }
}

// Whether a query's select list has a * or t.* (its items are then not
// its columns one for one).
bool HasStar(const ast::Select& s) {
  return std::any_of(s.items.begin(), s.items.end(), [](const ast::SelectItem& item) { return item.star; });
}

// Whether two multi-part names are the same name.
bool SameParts(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](const std::string& x, const std::string& y) { return SameName(x, y); });
}

// A stored value as a literal SQLite reads back as that very value: text
// quoted (bytes it cannot quote, NUL, as a blob made text), a real with
// every digit it needs and a point or exponent, so that it stays a real;
// a negative number in parentheses, so that no operator before it can run
// into it ("- -1", never the comment "--1").
std::string StoredLiteral(const Stored& v) {
  switch (v.kind) {
    case Stored::kNull:
      return "NULL";
    case Stored::kInteger:
      return v.i < 0 ? "(" + std::to_string(v.i) + ")" : std::to_string(v.i);
    case Stored::kReal: {
      char buf[64];
      const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v.r);
      std::string text(buf, ec == std::errc() ? end : buf);
      if (text.find_first_of(".e") == std::string::npos) text += ".0";
      return text.front() == '-' ? "(" + text + ")" : text;
    }
    case Stored::kText:
      break;
    case Stored::kBlob:
      return "X'" + com::FormatBytes(v.s).substr(2) + "'";
  }
  if (v.s.find('\0') == std::string::npos) return QuoteText(v.s);
  return "CAST(X'" + com::FormatBytes(v.s).substr(2) + "' AS TEXT)";
}

}  // namespace

std::string VariantCall(const std::string& sql, VT from, const ColumnType& base) {
  if (from == VT::kVariant || sql == "NULL") return sql;
  if (base.type != SqlType::kSqlVariant && !IsVariantBaseType(base)) {
    throw SqlErr(206, "Operand type clash: " + TypeBaseName(base) + " is incompatible with sql_variant");
  }
  return "vk_variant(" + sql + ", " + std::to_string(static_cast<int>(from)) + ", " +
         std::to_string(static_cast<int>(base.type)) + ", " + std::to_string(base.length) + ", " +
         std::to_string(base.precision) + ", " + std::to_string(base.scale) + ", " + (base.numeric ? "1" : "0") + ")";
}

VT TypeOf(const ColumnType& t) {
  if (t.type == SqlType::kBit) return VT::kBit;
  if (IsIntegerType(t.type)) return VT::kInt;
  if (IsMoneyType(t.type)) return VT::kMoney;
  if (IsFloatType(t.type)) return VT::kFloat;
  if (t.type == SqlType::kDecimal) return VT::kDecimal;
  if (IsDateType(t.type)) return VT::kDate;
  if (IsBinaryType(t.type)) return VT::kBinary;
  if (t.type == SqlType::kUniqueIdentifier) return VT::kGuid;
  if (t.type == SqlType::kSqlVariant) return VT::kVariant;
  return VT::kString;
}

void CheckTableQualifiers(const ast::ObjectName& name, std::string_view database) {
  if (!name.database.empty() && !SameName(name.database, database) &&
      !(IsTemporaryName(name.object) && SameName(name.database, kTempDatabase))) {
    throw SqlErr(kInvalidObject, "Invalid object name '" + name.Display() + "'.");
  }
  if (!name.schema.empty() && !SameName(name.schema, "dbo")) {
    throw SqlErr(kInvalidObject, "Invalid object name '" + name.Display() + "'.");
  }
}

const ast::ObjectName& ChangedTableName(const ast::ObjectName& target, const std::vector<ast::TableRef>& from,
                                        const Catalog& catalog) {
  if (!target.schema.empty() || !target.database.empty()) return target;
  const auto aliased = std::find_if(from.begin(), from.end(), [&](const ast::TableRef& ref) {
    return !ref.alias.empty() && SameName(ref.alias, target.object);
  });
  if (aliased == from.end()) return target;
  if (aliased->derived) NotSupported("Changing the derived table '" + aliased->alias + "'");
  if (!SameName(aliased->name.object, target.object) && catalog.FindTable(target.object)) {
    NotSupported("Changing the table '" + aliased->name.Display() + "' through the alias '" + aliased->alias +
                 "', a table's name too,");
  }
  const auto references = std::count_if(from.begin(), from.end(), [&](const ast::TableRef& ref) {
    return !ref.derived && SameName(ref.name.object, aliased->name.object);
  });
  if (references > 1) {
    NotSupported("Changing one of several references to the table '" + aliased->name.Display() + "' through its alias");
  }
  return aliased->name;
}

OutputColumn OutputColumnOfType(std::string name, const ColumnType& type, bool nullable) {
  OutputColumn out;
  out.name = std::move(name);
  out.type = TypeOf(type);
  out.column = type;
  out.nullable = nullable;
  return out;
}

// ------------------------------------------------------------ translator

const TableMeta& Translator::SysObjects() {
  static const TableMeta meta = [] {
    TableMeta t;
    t.name = "sysobjects";
    auto col = [&](const char* name, SqlType type, int length = 0) {
      ColumnMeta c;
      c.name = name;
      c.type = {type, length};
      c.nullable = false;
      t.columns.push_back(c);
    };
    col("id", SqlType::kInt);
    col("name", SqlType::kNVarChar, 128);
    col("xtype", SqlType::kVarChar, 2);
    col("type", SqlType::kVarChar, 2);
    col("uid", SqlType::kSmallInt);
    col("parent_obj", SqlType::kInt);
    col("crdate", SqlType::kDateTime);
    col("category", SqlType::kInt);
    return t;
  }();
  return meta;
}

const TableMeta& Translator::ResolveTable(const ast::ObjectName& name) {
  CheckTableQualifiers(name, session_.database);
  if (SameName(name.object, "sysobjects")) return SysObjects();
  const TableMeta* t = catalog_.FindTable(name.object);
  if (!t) throw SqlErr(kInvalidObject, "Invalid object name '" + name.Display() + "'.");
  tables_read_.push_back(t);
  return *t;
}

bool Translator::Reads(const TableMeta& table) const {
  return std::find(tables_read_.begin(), tables_read_.end(), &table) != tables_read_.end();
}

std::vector<OutputColumn> Translator::TemporaryObjectsColumns() {
  std::vector<OutputColumn> columns;
  for (const ColumnMeta& c : SysObjects().columns) columns.push_back({c.name, TypeOf(c.type), c.type, c.nullable});
  return columns;
}

std::string Translator::TemporaryObjectsSql() const {
  // The columns in sysobjects' order: id, name, xtype, type, uid,
  // parent_obj, crdate, category.
  const std::string now = QuoteText(NowText());
  if (catalog_.TemporaryTables().empty() && !catalog_.HasTemporaryProcedures()) {
    return "SELECT NULL AS c1, NULL AS c2, NULL AS c3, NULL AS c4, NULL AS c5, NULL AS c6, NULL AS c7, NULL AS c8 WHERE 0";
  }
  return "SELECT id AS c1, CASE WHEN xtype IN ('U', 'P') AND length(name) < 116 THEN name || substr(replace(hex(zeroblob(58)), '00', '__'), 1, "
         "116 - length(name)) || printf('%012X', -id) ELSE name END AS c2, xtype AS c3, CASE WHEN xtype IN ('PK', 'UQ') "
         "THEN 'K' ELSE xtype END AS c4, 1 AS c5, parent_obj AS c6, " + now +
         " AS c7, 0 AS c8 FROM temp.__vk_temp_objects";
}

void Translator::RefuseOtherDatabase(const ast::ObjectName& name) const {
  const ServerDirectory* server = catalog_.server();  // a database file on its own knows only itself
  const bool file = server && server->DatabaseFile(name.database);
  if (SameName(name.database, "master")) {
    throw SqlErr(kNotSupported, "master's own objects ('" + name.Display() +
                                    "') are not kept by the embedded server; its server-wide views are "
                                    "(sysdatabases, syslogins, sys.databases, sys.server_principals).");
  }
  if (SameName(name.database, kTempDatabase) || file) {
    throw SqlErr(kNotSupported, "Names in another database ('" + name.Display() +
                                    "') are not supported by the embedded server, but for tempdb's sysobjects and "
                                    "temporary tables and master's server-wide views; USE " + name.database +
                                    " first.");
  }
  throw SqlErr(kInvalidObject, "Invalid object name '" + name.Display() + "'.");
}

ColumnType ColumnTypeOf(const OutputColumn& column) {
  if (column.column) return *column.column;
  switch (column.type) {
    case VT::kBit: case VT::kBool: return {SqlType::kBit};
    case VT::kMoney: return {SqlType::kMoney};
    case VT::kFloat: return {SqlType::kFloat};
    case VT::kDecimal: return DecimalColumnType({38, 10});
    case VT::kString: return {SqlType::kNVarChar, 4000};
    case VT::kDate: return {SqlType::kDateTime};
    case VT::kBinary: return {SqlType::kVarBinary, 8000};
    default: return {SqlType::kInt};  // int, and a column of NULLs
  }
}

std::vector<OutputColumn> ViewColumns(const Catalog& catalog, const SessionState& session, const ViewMeta& view) {
  // A view that reads the catalog's list of columns would list its own
  // columns while its columns are being found: inside, views have none.
  thread_local bool listing = false;
  if (listing) return {};
  struct Listing {
    bool& on;
    ~Listing() { on = false; }
  } guard{listing};
  listing = true;
  try {
    return Translator(catalog, session).View(view).columns;
  } catch (const com::Error&) {
    return {};
  }
}

TableMeta ViewAsTable(const Catalog& catalog, const SessionState& session, const ViewMeta& view) {
  TableMeta t;
  t.id = view.id;
  t.name = view.name;
  for (const OutputColumn& c : ViewColumns(catalog, session, view)) {
    ColumnMeta column;
    column.name = c.name;
    column.type = ColumnTypeOf(c);
    column.nullable = c.nullable;
    column.identity = c.identity;
    t.columns.push_back(std::move(column));
  }
  return t;
}

TranslatedSelect Translator::View(const ViewMeta& view) {
  constexpr int kMaxViewNesting = 32;
  if (view_depth_ >= kMaxViewNesting) {
    throw SqlErr(217, "Maximum stored procedure, function, trigger, or view nesting level exceeded (limit 32).");
  }
  if (!view.definition) ParseBatch(view.text);  // raises its syntax error
  const ast::Stmt& def = *view.definition;
  // The view's query sees the database, not the statement's CTEs.
  std::vector<Cte> ctes = std::exchange(ctes_, {});
  std::optional<Recursion> recursion = std::exchange(recursion_, std::nullopt);
  ++view_depth_;
  TranslatedSelect inner;
  try {
    inner = SelectIn(*def.select, nullptr);
  } catch (...) {
    --view_depth_;
    ctes_ = std::move(ctes);
    recursion_ = std::move(recursion);
    throw;
  }
  --view_depth_;
  ctes_ = std::move(ctes);
  recursion_ = std::move(recursion);
  if (!def.columns.empty()) {
    if (def.columns.size() != inner.columns.size()) {
      throw SqlErr(def.columns.size() < inner.columns.size() ? 8158 : 8159,
                   "'" + view.name + "' has " + (def.columns.size() < inner.columns.size() ? "more" : "fewer") +
                       " columns than were specified in the column list.");
    }
    for (std::size_t i = 0; i < def.columns.size(); ++i) inner.columns[i].name = def.columns[i];
  }
  for (std::size_t c = 0; c < inner.columns.size(); ++c) {
    if (inner.columns[c].name.empty()) {
      throw SqlErr(4511, "Create View or Function failed because no column name was specified for column " +
                             std::to_string(c + 1) + ".");
    }
    for (std::size_t k = 0; k < c; ++k) {
      if (SameName(inner.columns[k].name, inner.columns[c].name)) {
        throw SqlErr(4506, "Column names in each view or function must be unique. Column name '" +
                               inner.columns[c].name + "' in view or function '" + view.name +
                               "' is specified more than once.");
      }
    }
  }
  return inner;
}

void Translator::AddSources(const std::vector<ast::TableRef>& from, Scope* scope, std::string* sql,
                            std::size_t join_start) {
  for (const auto& ref : from) {
    if (ref.join.empty() && &ref != &from.front()) join_start = scope->sources.size();
    std::string item;
    if (!ref.joined.empty()) {
      // A join in parentheses: its sources are this query's.
      const std::size_t first = scope->sources.size();
      std::string inner;
      AddSources(ref.joined, scope, &inner, first);
      if (ref.join == "LEFT") {
        for (std::size_t k = first; k < scope->sources.size(); ++k) scope->sources[k].outer = true;
      }
      item = "(" + inner + ")";
    } else {
      item = AddSource(ref, scope);
    }
    if (sql->empty()) {
      *sql = item;
    } else if (ref.join.empty()) {
      *sql += ", " + item;
    } else if (ref.join == "CROSS") {
      *sql += " CROSS JOIN " + item;
    } else {
      scope->joined_from = join_start;
      const std::string on = Predicate(*ref.on, *scope);
      scope->joined_from = 0;
      *sql += std::string(ref.join == "LEFT" ? " LEFT JOIN " : " JOIN ") + item + " ON " + on;
    }
  }
}

std::string Translator::AddSource(const ast::TableRef& ref, Scope* scope) {
  Source src;
  src.sql_alias = NextAlias();
  std::string item;
  const Cte* cte = nullptr;
  const ViewMeta* user_view = nullptr;
  if (ref.derived) {
    TranslatedSelect inner = Subquery(*ref.derived, scope->outer);
    CheckExposedColumns(inner.columns, ref.alias);
    src.name = ref.alias;
    src.derived = inner.columns;
    item = "(" + inner.sql + ") AS " + src.sql_alias;
  } else if (ref.name.schema.empty() && ref.name.database.empty() && (cte = FindCte(ref.name.object))) {
    src.name = ref.alias.empty() ? cte->name : ref.alias;
    src.derived = cte->columns;
    item = cte->sql_name + " AS " + src.sql_alias;
    if (recursion_ && cte == &ctes_[recursion_->cte]) {
      if (query_level_ != recursion_->level) throw SqlErr(465, "Recursive references are not allowed in subqueries.");
      ++recursion_->references;
      recursion_->alias = src.sql_alias;
    }
  } else if (!ref.name.database.empty() && SameName(ref.name.database, kTempDatabase) &&
             SameName(ref.name.object, "sysobjects") && (ref.name.schema.empty() || SameName(ref.name.schema, "dbo"))) {
    // tempdb's sysobjects: the session's temporary objects, a table or
    // procedure named as tempdb names it (padded to 116 characters with '_', then the
    // object's number in twelve hexadecimal digits), its constraints as
    // declared.
    src.name = ref.alias.empty() ? "sysobjects" : ref.alias;
    if (ref.alias.empty()) src.schema = "dbo";
    src.derived = TemporaryObjectsColumns();
    item = "(" + TemporaryObjectsSql() + ") AS " + src.sql_alias;
  } else if (!ref.name.database.empty() && !SameName(ref.name.database, session_.database) &&
             !(IsTemporaryName(ref.name.object) && SameName(ref.name.database, kTempDatabase)) &&
             !(IsSystemViewName(ref.name) && SystemViewExists(ref.name, session_.database))) {
    RefuseOtherDatabase(ref.name);
  } else if (IsSystemViewName(ref.name)) {
    SystemView view = SystemViewOf(ref.name, catalog_, session_);
    src.name = ref.alias.empty() ? view.name : ref.alias;
    if (ref.alias.empty()) src.schema = ref.name.schema.empty() ? "dbo" : ref.name.schema;
    src.derived = std::move(view.columns);
    item = "(" + view.sql + ") AS " + src.sql_alias;
  } else if (!IsTemporaryName(ref.name.object) && (user_view = catalog_.FindView(ref.name.object))) {
    CheckTableQualifiers(ref.name, session_.database);
    TranslatedSelect inner = View(*user_view);
    src.name = ref.alias.empty() ? user_view->name : ref.alias;
    if (ref.alias.empty()) src.schema = "dbo";
    src.derived = std::move(inner.columns);
    item = "(" + inner.sql + ") AS " + src.sql_alias;
  } else {
    const TableMeta& t = ResolveTable(ref.name);
    src.table = &t;
    src.name = ref.alias.empty() ? t.name : ref.alias;
    if (ref.alias.empty()) src.schema = "dbo";
    item = QuoteSqlite(t.name) + " AS " + src.sql_alias;
  }
  src.outer = ref.join == "LEFT";
  for (const auto& s : scope->sources) {
    if (SameName(s.name, src.name)) {
      throw SqlErr(1013, "The objects \"" + src.name + "\" and \"" + s.name +
                             "\" in the FROM clause have the same exposed names. Use correlation names to "
                             "distinguish them.");
    }
  }
  scope->sources.push_back(std::move(src));
  return item;
}

std::optional<Translator::Typed> Translator::SourceColumn(const Source& src, const std::string& column) {
  Typed t;
  if (src.table) {
    const int i = src.table->Find(column);
    if (i < 0) return std::nullopt;
    const ColumnMeta& c = src.table->columns[static_cast<std::size_t>(i)];
    t.sql = src.sql_alias + "." + QuoteSqlite(c.name);
    t.type = TypeOf(c.type);
    t.column = c.type;
    t.nullable = c.nullable || src.outer;
    t.identity = c.identity;
    t.collation = ColumnCollation(c);
    t.source = &src;
    t.source_column = i;
    return t;
  }
  for (std::size_t i = 0; i < src.derived.size(); ++i) {
    if (!SameName(src.derived[i].name, column)) continue;
    t.sql = src.sql_alias + ".c" + std::to_string(i + 1);
    t.type = src.derived[i].type;
    t.column = src.derived[i].column;
    t.nullable = src.derived[i].nullable || src.outer;
    t.identity = src.derived[i].identity;
    t.collation = src.derived[i].collation;
    return t;
  }
  return std::nullopt;
}

bool Translator::Exposes(const Source& src, const std::vector<std::string>& parts) const {
  const std::size_t n = parts.size();
  if (!SameName(src.name, parts[n - 2])) return false;
  if (n == 2) return true;
  // schema.table.column, database.schema.table.column: only a table or view
  // exposed by its own name, in that schema ("" for db..table) and database.
  if (src.schema.empty() || (!parts[n - 3].empty() && !SameName(parts[n - 3], src.schema))) return false;
  if (n == 3 || parts[0].empty()) return true;
  return SameName(parts[0], session_.database) || (IsTemporaryName(src.name) && SameName(parts[0], kTempDatabase));
}

Translator::Typed Translator::Column(const ast::Expr& e, const Scope& scope) {
  const std::string& column = e.parts.back();
  if (e.parts.size() == 1) {
    // The innermost query with a source having the column; two of its
    // sources having it is ambiguous.
    for (const Scope* s = &scope; s; s = s->outer) {
      std::optional<Typed> found;
      for (const Source& src : s->Visible()) {
        std::optional<Typed> t = SourceColumn(src, column);
        if (!t) continue;
        if (found) throw SqlErr(kAmbiguousColumn, "Ambiguous column name '" + column + "'.");
        found = std::move(t);
      }
      if (found) {
        bound_level_ = std::min(bound_level_, s->level);
        return *found;
      }
    }
    throw SqlErr(kInvalidColumn, "Invalid column name '" + column + "'.");
  }
  // A qualified column: the innermost query exposing the qualifier, by an
  // alias or by a name without one, has it or it is no column.
  for (const Scope* s = &scope; s; s = s->outer) {
    for (const Source& src : s->Visible()) {
      if (!Exposes(src, e.parts)) continue;
      if (std::optional<Typed> t = SourceColumn(src, column)) {
        bound_level_ = std::min(bound_level_, s->level);
        return *t;
      }
      throw SqlErr(kInvalidColumn, "Invalid column name '" + column + "'.");
    }
  }
  std::string written;
  for (const std::string& part : e.parts) written += (written.empty() ? "" : ".") + part;
  throw SqlErr(4104, "The multi-part identifier \"" + written + "\" could not be bound.");
}

std::string Translator::AsVariant(const Typed& v) {
  if (v.type == VT::kVariant || v.type == VT::kNull) return v.sql;
  // The base type: a column's or a computed decimal's own; a constant's as
  // written; else the value's static type's, its length the value's.
  ColumnType base{SqlType::kSqlVariant, 0};
  if (v.column) {
    base = *v.column;
  } else if (v.type == VT::kString) {
    base = ColumnType{IsUnicodeText(v) ? SqlType::kNVarChar : SqlType::kVarChar, 0};
  } else if (v.type == VT::kDecimal && v.is_literal) {
    base = ComputedDecimal(DecimalTypeOfConstant(v.literal));
  }
  return VariantCall(v.sql, v.type, base);
}

std::string Translator::Coerce(const Typed& v, VT to) {
  if (v.type == to || v.type == VT::kNull) return v.sql;
  if (to == VT::kVariant) return AsVariant(v);
  if (v.type == VT::kVariant) {
    throw SqlErr(257, std::string("Implicit conversion from data type sql_variant to ") + VTName(to) +
                          " is not allowed. Use the CONVERT function to run this query.");
  }
  if (to == VT::kGuid && v.type == VT::kString && v.is_literal) {
    const auto guid = dts::GuidText(v.literal);
    if (!guid) throw GuidConversionError();
    return QuoteText(*guid);
  }
  if (to == VT::kGuid && (v.type == VT::kString || v.type == VT::kBinary)) {
    return ConvertCall(v.sql, v.type, ColumnType{SqlType::kUniqueIdentifier, 0});
  }
  if (v.type == VT::kGuid && to == VT::kString) return v.sql;  // its text already
  if (v.type == VT::kGuid && to == VT::kBinary) {
    return ConvertCall(v.sql, v.type, ColumnType{SqlType::kVarBinary, 8000});
  }
  if (v.type == VT::kGuid || to == VT::kGuid) {
    throw SqlErr(206, std::string("Operand type clash: ") + VTName(v.type) + " is incompatible with " + VTName(to));
  }
  if (v.type == VT::kBinary || to == VT::kBinary) {
    // Binary data beside another type is read as that type, and a value
    // stored in a binary column becomes its bytes.
    static const std::pair<VT, ColumnType> kTargets[] = {
        {VT::kInt, {SqlType::kInt, 0}},           {VT::kBit, {SqlType::kBit, 0}},
        {VT::kMoney, {SqlType::kMoney, 0}},       {VT::kFloat, {SqlType::kFloat, 0}},
        {VT::kDate, {SqlType::kDateTime, 0}},     {VT::kString, {SqlType::kVarChar, 8000}},
        {VT::kBinary, {SqlType::kVarBinary, 8000}}, {VT::kDecimal, {SqlType::kDecimal, 0, 38, 0}}};
    for (const auto& [type, column] : kTargets) {
      if (type == to) return ConvertCall(v.sql, v.type, column, "", to == VT::kBinary ? BinarySource(v.type, v.column, v.national, false) : std::nullopt);
    }
  }
  switch (to) {
    case VT::kDecimal:
      return DecimalOperand(v);
    case VT::kFloat:
      if (v.type == VT::kMoney) return "(" + v.sql + " / 10000.0)";
      if (v.type == VT::kString) return "vk_num(" + v.sql + ")";
      if (v.type == VT::kDecimal) return "vk_dfloat(" + v.sql + ")";
      return "(" + v.sql + " * 1.0)";
    case VT::kMoney:
      if (v.type == VT::kInt || v.type == VT::kBit) return "(" + v.sql + " * 10000)";
      if (v.type == VT::kDecimal && v.is_literal) {
        const std::string units = MoneyUnitsLiteral(v.literal);
        if (!units.empty()) return units;
      }
      if (v.type == VT::kDecimal) return "vk_dmoney(" + v.sql + ")";
      if (v.type == VT::kString) return "vk_money(vk_num(" + v.sql + "))";
      return "vk_money(" + v.sql + ")";
    case VT::kInt:
    case VT::kBit:
      if (v.type == VT::kString) return "vk_num(" + v.sql + ")";
      if (v.type == VT::kDecimal) return "vk_dint(" + v.sql + ")";
      return v.sql;
    case VT::kDate:
      if (v.type == VT::kString) {
        if (v.is_literal) {
          auto text = ParseDateTimeText(v.literal);
          if (!text) throw DateSyntaxError();
          return QuoteText(*text);
        }
        return ConvertCall(v.sql, VT::kString, ColumnType{SqlType::kDateTime, 0});
      }
      if (IsNumeric(v.type)) return ConvertCall(v.sql, v.type, ColumnType{SqlType::kDateTime, 0});
      break;
    case VT::kString:
      return ConvertCall(v.sql, v.type, ColumnType{SqlType::kNVarChar, 4000});
    default:
      break;
  }
  throw SqlErr(206, std::string("Operand type clash: ") + VTName(v.type) + " is incompatible with " + VTName(to));
}

std::string Translator::CollationOf(const Typed& t) { return t.collation.empty() ? "VKCI" : t.collation; }

std::string Translator::CollationOfPair(const Typed& a, const Typed& b, const std::string& op) {
  // An explicit COLLATE wins (the left one first); two columns of
  // different collations conflict, as SQL Server finds.
  if (a.explicit_collation) return CollationOf(a);
  if (b.explicit_collation) return CollationOf(b);
  const bool a_column = a.column.has_value(), b_column = b.column.has_value();
  if (a_column && b_column && a.collation != b.collation) {
    throw SqlErr(468, "Cannot resolve the collation conflict for the " + op + " operation.");
  }
  return CollationOf(a_column || a.collation.size() ? a : b);
}

std::string Translator::Compare(const std::string& op, const Typed& a, const Typed& b) {
  if (a.type == VT::kBool || b.type == VT::kBool) throw SqlErr(kSyntax, "Incorrect syntax near '" + op + "'.");
  std::string left = a.sql, right = b.sql;
  // Under SET ANSI_NULLS OFF, = and <> beside a NULL constant or a variable
  // holding NULL compare NULL as a value.
  if (!session_.options.ansi_nulls && (a.sql == "NULL" || b.sql == "NULL") && (op == "=" || op == "<>" || op == "!=")) {
    return "(" + left + (op == "=" ? " IS " : " IS NOT ") + right + ")";
  }
  if (a.type == VT::kVariant || b.type == VT::kVariant) {
    // The other side is made a sql_variant: values of different families
    // compare by family, never with a conversion error.
    return "(" + AsVariant(a) + " COLLATE VKVAR " + op + " " + AsVariant(b) + ")";
  }
  if (a.type == VT::kGuid || b.type == VT::kGuid) {
    // Text and binary data beside a GUID are read as one; GUIDs compare in
    // SQL Server's order of their bytes.
    return "(" + Coerce(a, VT::kGuid) + " COLLATE VKGUID " + op + " " + Coerce(b, VT::kGuid) + ")";
  }
  const bool a_str = a.type == VT::kString, b_str = b.type == VT::kString;
  if (a_str && b_str) {
    return "(" + left + " COLLATE " + CollationOfPair(a, b, op) + " " + op + " " + right + ")";
  }
  if (a.type == VT::kNull || b.type == VT::kNull || (a.type == VT::kBinary && b.type == VT::kBinary)) {
    return "(" + left + " " + op + " " + right + ")";
  }
  VT common;
  if (a.type == VT::kBinary || b.type == VT::kBinary) {
    // Binary has the lowest precedence: it is read as the other side's type.
    common = a.type == VT::kBinary ? b.type : a.type;
    if (common == VT::kString) {
      const Typed& text = a.type == VT::kString ? a : b;
      const std::string as_text = BytesAsText(a.type == VT::kBinary ? a : b, IsUnicodeText(text));
      return "(" + (a.type == VT::kBinary ? as_text : left) + " COLLATE " + CollationOf(text) + " " + op + " " +
             (b.type == VT::kBinary ? as_text : right) + ")";
    }
  } else if (a.type == VT::kDate || b.type == VT::kDate) {
    common = VT::kDate;
  } else if (a_str) {
    common = b.type;
  } else if (b_str) {
    common = a.type;
  } else {
    common = Rank(a.type) >= Rank(b.type) ? a.type : b.type;
  }
  if (common == VT::kDecimal) {
    // Money beside a decimal constant that money holds exactly compares as
    // money: the same answer, and a money column's index serves it.
    const auto exact_money = [](const Typed& m, const Typed& d) {
      return m.type == VT::kMoney && d.is_literal && d.type == VT::kDecimal && !MoneyUnitsLiteral(d.literal).empty();
    };
    if (exact_money(a, b) || exact_money(b, a)) {
      common = VT::kMoney;
    } else {
      return "(" + DecimalOperand(a) + " COLLATE VKDEC " + op + " " + DecimalOperand(b) + ")";
    }
  }
  return "(" + Coerce(a, common) + " " + op + " " + Coerce(b, common) + ")";
}

DecimalType Translator::DecimalOf(const Typed& t) {
  if (t.column) {
    if (const auto d = DecimalTypeOf(*t.column)) return *d;
  }
  switch (t.type) {
    case VT::kDecimal:
      return t.is_literal ? DecimalTypeOfConstant(t.literal) : DecimalType{18, 0};
    case VT::kBit:
      return {1, 0};
    case VT::kMoney:
      return {19, 4};
    case VT::kInt:
      // An int; an integer constant beside a decimal is a decimal of as
      // many digits as it has (1.0 / 3 is 1.0 / 3.), as SQL Server types it.
      if (t.is_literal) return DecimalTypeOfConstant(t.literal);
      return {10, 0};
    default:
      return {18, 0};
  }
}

bool Translator::IsBigInt(const Typed& t) {
  if (t.column) return t.column->type == SqlType::kBigInt;
  return t.type == VT::kInt && t.is_literal && t.literal.size() > 10;
}

std::string Translator::DecimalOperand(const Typed& t) {
  switch (t.type) {
    case VT::kDecimal: case VT::kNull:
      return t.sql;
    case VT::kInt: case VT::kBit:
      return t.is_literal ? QuoteText(t.literal) : "CAST(" + t.sql + " AS TEXT)";
    case VT::kMoney:
      return "vk_mdec(" + t.sql + ")";
    case VT::kString:
      if (t.is_literal) {
        com::Numeric n;
        if (com::ParseNumeric(t.literal, &n) == com::NumericStatus::kOk) return QuoteText(com::FormatNumeric(n));
      }
      return "vk_dtext(" + t.sql + ")";
    default:
      break;
  }
  throw SqlErr(206, std::string("Operand type clash: ") + VTName(t.type) + " is incompatible with numeric");
}

std::string Translator::ToDecimal(const Typed& t, DecimalType to) {
  if (t.type == VT::kNull) return t.sql;
  if (t.type == VT::kDecimal) {
    const DecimalType from = DecimalOf(t);
    if (from.scale == to.scale && from.precision <= to.precision) return t.sql;
  }
  if (t.is_literal && (t.type == VT::kDecimal || t.type == VT::kInt)) {
    com::Numeric n;
    if (com::ParseNumeric(t.literal, to.precision, to.scale, &n) == com::NumericStatus::kOk) {
      return QuoteText(com::FormatNumeric(n));
    }
  }
  return ConvertCall(t.sql, t.type, DecimalColumnType(to));
}

Translator::Typed Translator::DecimalArithmetic(const std::string& op, const Typed& a, const Typed& b) {
  // Text beside a decimal takes the decimal's type.
  const DecimalType da = DecimalOf(a.type == VT::kString ? b : a);
  const DecimalType db = DecimalOf(b.type == VT::kString ? a : b);
  const DecimalType r = DecimalResultType(op[0], da, db);
  Typed out;
  out.type = VT::kDecimal;
  out.column = ComputedDecimal(r);
  const auto argument = [&](const Typed& t) {
    // Integers go as they are: the functions take them.
    return t.type == VT::kInt || t.type == VT::kBit ? t.sql : DecimalOperand(t);
  };
  // One vk_dchain call for a chain ("a + b * c ..." applied left to
  // right), while SQLite takes its arguments; then a new one on it.
  const std::string step =
      std::to_string(DecimalOperatorNumber(op) * 10000 + r.precision * 100 + r.scale) + ", " + argument(b);
  if (a.chain == 'd' && a.chain_arguments + 2 <= kMaxFunctionArguments) {
    out.sql = a.sql.substr(0, a.sql.size() - 1) + ", " + step + ")";
    out.chain_arguments = a.chain_arguments + 2;
  } else {
    out.sql = "vk_dchain(" + argument(a) + ", " + step + ")";
    out.chain_arguments = 3;
  }
  out.chain = 'd';
  return out;
}

Translator::Typed Translator::CommonType(const std::vector<const Typed*>& values) {
  Typed type;
  for (const Typed* v : values) {
    if (v->type == VT::kNull) continue;
    // Binary yields to every other type; text and binary to a GUID.
    const bool over_text = v->type == VT::kGuid && (type.type == VT::kString || type.type == VT::kBinary);
    if (type.type == VT::kVariant) continue;  // sql_variant is above every other type
    if (v->type == VT::kVariant || type.type == VT::kNull || Rank(v->type) > Rank(type.type) || over_text ||
        (type.type == VT::kBinary && v->type != VT::kBinary)) {
      type.type = v->type;
    }
  }
  // Text is Unicode when any of the values is: binary data among them is
  // read as nvarchar then.
  if (type.type == VT::kString) {
    for (const Typed* v : values) type.national = type.national || (v->type == VT::kString && IsUnicodeText(*v));
  }
  if (type.type == VT::kDecimal) {
    std::optional<DecimalType> common;
    for (const Typed* v : values) {
      if (v->type == VT::kNull || !IsNumeric(v->type)) continue;
      const DecimalType d = DecimalOf(*v);
      common = common ? DecimalCommonType(*common, d) : d;
    }
    type.column = ComputedDecimal(common.value_or(DecimalType{18, 0}));
  }
  return type;
}

bool Translator::IsUnicodeText(const Typed& t) {
  return t.column ? IsUnicodeType(t.column->type) : !t.is_literal || t.national;
}

std::string Translator::BytesAsText(const Typed& bytes, bool unicode) {
  return ConvertCall(bytes.sql, bytes.type, unicode ? ColumnType{SqlType::kNVarChar, 4000} : ColumnType{SqlType::kVarChar, 8000});
}

std::string Translator::InType(const Typed& v, const Typed& type) {
  if (type.type == VT::kDecimal) return ToDecimal(v, DecimalOf(type));
  if (v.type == VT::kBinary && type.type == VT::kString) return BytesAsText(v, type.national);
  return Coerce(v, type.type);
}

// + - * / in money: `ta` and `tb` are the sides' types as the operation
// reads them (text as the other side's number). A money times an int stays
// whole units; any other product or quotient goes through vk_mmul and
// vk_mdiv, which round as SQL Server does.
Translator::Typed Translator::MoneyArithmetic(const std::string& op, const Typed& a, const Typed& b, VT ta, VT tb) {
  Typed out;
  out.type = VT::kMoney;
  const char cls = ChainClass(op);
  const bool a_money = ta == VT::kMoney, b_money = tb == VT::kMoney;
  if (op == "+" || op == "-") {
    out.sql = Chain(a.sql, a.chain, Coerce(a, VT::kMoney), op, Coerce(b, VT::kMoney), cls);
    out.chain = cls;
  } else if (op == "*") {
    if (a_money && b_money) {
      out.sql = "vk_mmul(" + a.sql + ", " + b.sql + ")";
    } else if (a_money && tb == VT::kInt) {
      out.sql = Chain(a.sql, a.chain, a.sql, "*", Coerce(b, VT::kInt), cls);
      out.chain = cls;
    } else if (a_money) {
      out.sql = "vk_mmul(" + a.sql + ", " + Coerce(b, VT::kMoney) + ")";
    } else if (ta == VT::kInt) {
      out.sql = Chain(a.sql, a.chain, Coerce(a, VT::kInt), "*", b.sql, cls);
      out.chain = cls;
    } else {
      out.sql = "vk_mmul(" + Coerce(a, VT::kMoney) + ", " + b.sql + ")";
    }
  } else {  // "/"
    out.sql = "vk_mdiv(" + Coerce(a, VT::kMoney) + ", " + Coerce(b, VT::kMoney) + ")";
  }
  return out;
}

Translator::Typed Translator::Arithmetic(const std::string& op, const Typed& a, const Typed& b) {
  Typed out;
  if (a.type == VT::kBool || b.type == VT::kBool) throw SqlErr(kSyntax, "Incorrect syntax near '" + op + "'.");
  for (const VT refused : {VT::kGuid, VT::kVariant}) {
    if (a.type == refused || b.type == refused) {
      throw SqlErr(8117, std::string("Operand data type ") + VTName(refused) + " is invalid for " +
                             OperatorName(op) + " operator.");
    }
  }
  if (a.type == VT::kNull || b.type == VT::kNull) {
    out.sql = "NULL";
    out.type = a.type == VT::kNull ? b.type : a.type;
    if (out.type == VT::kDecimal) out.column = (a.type == VT::kNull ? b : a).column;
    return out;
  }
  if (op == "+" && a.type == VT::kString && b.type == VT::kString) {
    out.sql = Chain(a.sql, a.chain, a.sql, "||", b.sql, '|');
    out.chain = '|';
    out.type = VT::kString;
    // Joined to text of no limit, text has none.
    for (const Typed* side : {&a, &b}) {
      if (side->column && IsCharType(side->column->type) && side->column->length < 0) {
        const bool unicode = IsUnicodeType(side->column->type) || (out.column && IsUnicodeType(out.column->type));
        out.column = ColumnType{unicode ? SqlType::kNVarChar : SqlType::kVarChar, -1};
      }
    }
    return out;
  }
  if (a.type == VT::kBinary || b.type == VT::kBinary) {
    if (a.type == VT::kBinary && b.type == VT::kBinary) {
      if (op != "+") throw SqlErr(8117, "Operand data type varbinary is invalid for " + OperatorName(op) + " operator.");
      out.sql = "vk_bconcat(" + a.sql + ", " + b.sql + ")";
      out.type = VT::kBinary;
      return out;
    }
    // Beside another type, binary data is read as that type.
    Typed x = a, y = b;
    Typed& bytes = a.type == VT::kBinary ? x : y;
    const Typed& other_side = a.type == VT::kBinary ? b : a;
    const VT other = other_side.type;
    bytes.sql = other == VT::kString ? BytesAsText(bytes, IsUnicodeText(other_side)) : Coerce(bytes, other);
    bytes.type = other;
    bytes.column.reset();
    return Arithmetic(op, x, y);
  }
  if (a.type == VT::kDate || b.type == VT::kDate) {
    if (a.type == VT::kDate && IsNumeric(b.type) && (op == "+" || op == "-")) {
      out.sql = "vk_dateadd(" + a.sql + ", " + std::string(op == "-" ? "-" : "") + Coerce(b, VT::kFloat) + ")";
      out.type = VT::kDate;
      return out;
    }
    if (b.type == VT::kDate && IsNumeric(a.type) && op == "+") {
      out.sql = "vk_dateadd(" + b.sql + ", " + Coerce(a, VT::kFloat) + ")";
      out.type = VT::kDate;
      return out;
    }
    NotSupported("This datetime arithmetic");
  }
  if (op == "&" || op == "|" || op == "^") {
    if (op == "^") {
      out.sql = "((" + Coerce(a, VT::kInt) + " | " + Coerce(b, VT::kInt) + ") - (" + Coerce(a, VT::kInt) + " & " +
                Coerce(b, VT::kInt) + "))";
    } else {
      out.sql = Chain(a.sql, a.chain, Coerce(a, VT::kInt), op, Coerce(b, VT::kInt), '&');
      out.chain = '&';
    }
    out.type = VT::kInt;
    return out;
  }
  VT ta = a.type == VT::kString ? (IsNumeric(b.type) ? b.type : VT::kFloat) : a.type;
  VT tb = b.type == VT::kString ? (IsNumeric(a.type) ? a.type : VT::kFloat) : b.type;
  if (ta == VT::kBit) ta = VT::kInt;
  if (tb == VT::kBit) tb = VT::kInt;
  // The result type, by precedence: int < money < decimal < float.
  const VT result = Rank(ta) >= Rank(tb) ? ta : tb;
  if (result == VT::kDecimal) return DecimalArithmetic(op, a, b);
  out.type = result;
  if (op == "%") {
    if (result != VT::kInt) NotSupported("The modulo of non-integers");
    out.sql = "vk_imod(" + Coerce(a, VT::kInt) + ", " + Coerce(b, VT::kInt) + ")";
    return out;
  }
  const char cls = ChainClass(op);
  if (result == VT::kInt) {
    // bigint, when either side is, so that the value is read back whole.
    if (IsBigInt(a) || IsBigInt(b)) out.column = ColumnType{SqlType::kBigInt, 0};
    if (op == "/") {
      out.sql = "vk_idiv(" + a.sql + ", " + b.sql + ")";
    } else {
      out.sql = Chain(a.sql, a.chain, Coerce(a, VT::kInt), op, Coerce(b, VT::kInt), cls);
      out.chain = cls;
    }
    return out;
  }
  if (result == VT::kFloat) {
    const std::string fa = Coerce(a, VT::kFloat), fb = Coerce(b, VT::kFloat);
    if (op == "/") {
      out.sql = "vk_fdiv(" + fa + ", " + fb + ")";
    } else {
      out.sql = Chain(a.sql, a.chain, fa, op, fb, cls);
      out.chain = cls;
    }
    return out;
  }
  return MoneyArithmetic(op, a, b, ta, tb);
}

void Translator::Account(std::size_t bytes) {
  written_ += bytes;
  if (written_ > kMaxTranslatedText) {
    throw SqlErr(kExpressionTooComplex, "Internal error: An expression services limit has been reached. Please look for "
                                        "potentially complex expressions in your query, and try to simplify them.");
  }
}

Translator::Typed Translator::Expr(const ast::Expr& e, const Scope& scope) {
  Typed t = Value(e, scope);
  Account(t.sql.size());
  return t;
}

Translator::Typed Translator::Value(const ast::Expr& e, const Scope& scope) {
  Typed out;
  switch (e.kind) {
    case ExprKind::kNull:
    case ExprKind::kInteger:
    case ExprKind::kDecimal:
    case ExprKind::kFloat:
    case ExprKind::kMoney:
    case ExprKind::kString:
    case ExprKind::kBytes:
      return Constant(e);
    case ExprKind::kColumn:
      return Column(e, scope);
    case ExprKind::kVariable:
      return Variable(e);
    case ExprKind::kUnary:
      return Unary(e, scope);
    case ExprKind::kBinary:
      return Binary(e, scope);
    case ExprKind::kIsNull:
      out.sql = "(" + Expr(*e.args[0], scope).sql + (e.negated ? " IS NOT NULL)" : " IS NULL)");
      out.type = VT::kBool;
      return out;
    case ExprKind::kInList:
      return InList(e, scope);
    case ExprKind::kInSelect:
      return InSelect(e, scope);
    case ExprKind::kExists: {
      TranslatedSelect sub = Subquery(*e.select, &scope);
      out.sql = "(EXISTS (" + sub.sql + "))";
      out.type = VT::kBool;
      return out;
    }
    case ExprKind::kBetween: {
      const Typed a = Expr(*e.args[0], scope), lo = Expr(*e.args[1], scope), hi = Expr(*e.args[2], scope);
      out.sql = "(" + std::string(e.negated ? "NOT " : "") + "(" + Compare(">=", a, lo) + " AND " + Compare("<=", a, hi) + "))";
      out.type = VT::kBool;
      return out;
    }
    case ExprKind::kCase:
      return CaseValue(e, scope);
    case ExprKind::kCast:
      return Cast(e, scope);
    case ExprKind::kCollate: {
      Typed a = Expr(*e.args[0], scope);
      if (a.type != VT::kString) {
        const std::string type = a.column ? TypeBaseName(*a.column) : a.type == VT::kNull ? "int" : "non-character";
        throw SqlErr(447, "Expression type " + type + " is invalid for COLLATE clause.");
      }
      a.collation = SqliteCollation(e.text);
      a.explicit_collation = true;
      return a;
    }
    case ExprKind::kSubquery:
      return ScalarSubquery(e, scope);
    case ExprKind::kFunction:
      return Function(e, scope);
    case ExprKind::kDefault:  // a column's value alone, never part of an expression
      throw SqlErr(kSyntax, "Incorrect syntax near the keyword 'DEFAULT'.");
  }
  return out;
}

// A constant as the batch writes it: its type, and its value for the
// constants whose value later typing reads.
Translator::Typed Translator::Constant(const ast::Expr& e) {
  Typed out;
  switch (e.kind) {
    case ExprKind::kNull:
      out.sql = "NULL";
      return out;
    case ExprKind::kInteger: {
      out.sql = e.text;
      out.type = VT::kInt;
      out.is_literal = true;
      out.literal = e.text;
      std::int64_t v = 0;
      auto [p, ec] = std::from_chars(e.text.data(), e.text.data() + e.text.size(), v);
      (void)p;
      if (ec == std::errc()) return out;
      // Past 64 bits: a decimal constant.
      [[fallthrough]];
    }
    case ExprKind::kDecimal: {
      CheckPrecision(e.text);
      com::Numeric n;
      com::ParseNumeric(e.text, &n);
      out.type = VT::kDecimal;
      out.is_literal = true;
      out.literal = com::FormatNumeric(n);
      out.sql = QuoteText(out.literal);
      out.column = ComputedDecimal(DecimalTypeOfConstant(e.text));
      return out;
    }
    case ExprKind::kFloat:
      out.sql = e.text;
      out.type = VT::kFloat;
      return out;
    case ExprKind::kMoney: {
      const std::string units = MoneyUnitsLiteral(e.text);
      if (units.empty()) throw SqlErr(kSyntax, "Incorrect syntax near '$" + e.text + "'.");
      out.sql = units;
      out.type = VT::kMoney;
      return out;
    }
    case ExprKind::kString:
      out.sql = QuoteText(e.text);
      out.type = VT::kString;
      out.is_literal = true;
      out.literal = e.text;
      out.national = e.national;
      return out;
    case ExprKind::kBytes: {
      // "0x" alone is the empty binary value, of length 1 as a type.
      std::string bytes;
      dts::ParseHexBytes(e.text, &bytes);
      out.sql = "X'" + com::FormatBytes(bytes).substr(2) + "'";
      out.type = VT::kBinary;
      out.column = ColumnType{SqlType::kVarBinary, std::max<int>(1, static_cast<int>(bytes.size()))};
      return out;
    }
    default:
      break;
  }
  return out;
}

// NOT, a sign, or ~ before a value.
Translator::Typed Translator::Unary(const ast::Expr& e, const Scope& scope) {
  Typed out;
  if (e.text == "NOT") {
    out.sql = "(NOT " + Predicate(*e.args[0], scope) + ")";
    out.type = VT::kBool;
    return out;
  }
  Typed a = Expr(*e.args[0], scope);
  // A sign of plus leaves text as it is, as SQL Server does.
  if (e.text == "+" && a.type == VT::kString) return a;
  if (!IsNumeric(a.type) && a.type != VT::kNull) throw SqlErr(8117, "Operand data type is invalid for " + e.text + " operator.");
  out.type = a.type == VT::kBit ? VT::kInt : a.type;
  out.sql = e.text == "+" ? a.sql : "(" + e.text + a.sql + ")";
  if (a.type == VT::kDecimal) {
    out.column = a.column;
    if (e.text == "~") throw SqlErr(8117, "Operand data type numeric is invalid for ~ operator.");
    if (a.is_literal) {
      com::Numeric n;
      com::ParseNumeric(a.literal, &n);
      if (e.text == "-") n.negative = !n.negative && n.magnitude != 0;
      out.is_literal = true;
      out.literal = com::FormatNumeric(n);
      out.sql = QuoteText(out.literal);
    } else if (e.text == "-") {
      out.sql = "vk_dneg(" + a.sql + ")";
    }
  }
  return out;
}

// x [NOT] IN (a, b, ...): each member compared as "=" would compare it.
Translator::Typed Translator::InList(const ast::Expr& e, const Scope& scope) {
  Typed out;
  const Typed a = Expr(*e.args[0], scope);
  // Each member compared as "=" would compare it; a long list stays
  // shallow for SQLite.
  std::vector<std::string> members;
  members.reserve(e.args.size() - 1);
  for (std::size_t i = 1; i < e.args.size(); ++i) {
    members.push_back(Compare("=", a, Expr(*e.args[i], scope)));
    Account(members.back().size());
  }
  const std::string list = Balanced(members, 0, members.size(), "OR");
  out.sql = e.negated ? "(NOT " + list + ")" : "(" + list + ")";
  out.type = VT::kBool;
  return out;
}

// x [NOT] IN (subquery), compared in the subquery's type.
Translator::Typed Translator::InSelect(const ast::Expr& e, const Scope& scope) {
  Typed out;
  const Typed a = Expr(*e.args[0], scope);
  TranslatedSelect sub = Subquery(*e.select, &scope);
  if (sub.columns.size() != 1) {
    throw SqlErr(116, "Only one expression can be specified in the select list when the subquery is not introduced with EXISTS.");
  }
  // Compare in the subquery's type when the two differ; decimals beside
  // any other number but float as decimals.
  const VT sub_type = sub.columns[0].type;
  std::string left = a.sql;
  Typed column;
  column.sql = "c1";
  column.type = sub_type;
  column.column = sub.columns[0].column;
  const bool variant = a.type == VT::kVariant || sub_type == VT::kVariant;
  const bool decimal = (a.type == VT::kDecimal || sub_type == VT::kDecimal) && a.type != VT::kFloat &&
                       sub_type != VT::kFloat && a.type != VT::kNull && sub_type != VT::kNull && !variant;
  if (variant) {
    // Compared as sql_variant values, below.
  } else if (decimal) {
    left = DecimalOperand(a) + " COLLATE VKDEC";
    if (sub_type != VT::kDecimal) sub.sql = "SELECT " + DecimalOperand(column) + " FROM (" + sub.sql + ")";
  } else if (a.type != sub_type && a.type != VT::kNull && sub_type != VT::kNull) {
    if (a.type == VT::kMoney && (sub_type == VT::kInt || sub_type == VT::kBit)) {
      sub.sql = "SELECT c1 * 10000 FROM (" + sub.sql + ")";
    } else {
      left = Coerce(a, sub_type);
    }
  }
  if (a.type == VT::kString && !decimal && !variant) left += " COLLATE " + CollationOf(a);
  if (a.type == VT::kGuid || sub_type == VT::kGuid) left = Coerce(a, VT::kGuid) + " COLLATE VKGUID";
  if (a.type == VT::kVariant || sub_type == VT::kVariant) {
    left = AsVariant(a) + " COLLATE VKVAR";
    if (sub_type != VT::kVariant) sub.sql = "SELECT " + AsVariant(column) + " FROM (" + sub.sql + ")";
  }
  out.sql = "(" + left + (e.negated ? " NOT IN (" : " IN (") + sub.sql + "))";
  out.type = VT::kBool;
  return out;
}

// CASE, simple or searched, in the type its branches share.
Translator::Typed Translator::CaseValue(const ast::Expr& e, const Scope& scope) {
  Typed out;
  std::vector<std::pair<std::string, Typed>> branches;
  std::optional<Typed> subject;
  if (!e.args.empty()) subject = Expr(*e.args[0], scope);
  for (const auto& [when, then] : e.whens) {
    std::string cond = subject ? Compare("=", *subject, Expr(*when, scope)) : Predicate(*when, scope);
    Account(cond.size());
    branches.emplace_back(std::move(cond), Expr(*then, scope));
  }
  std::optional<Typed> else_value;
  if (e.else_expr) else_value = Expr(*e.else_expr, scope);
  std::vector<const Typed*> values;
  for (const auto& b : branches) values.push_back(&b.second);
  if (else_value) values.push_back(&*else_value);
  const Typed type = CommonType(values);
  out.sql = "(CASE";
  for (const auto& [cond, t] : branches) out.sql += " WHEN " + cond + " THEN " + InType(t, type);
  if (else_value) out.sql += " ELSE " + InType(*else_value, type);
  out.sql += " END)";
  out.type = type.type;
  out.column = type.column;
  return out;
}

// CAST and CONVERT, with CONVERT's style.
Translator::Typed Translator::Cast(const ast::Expr& e, const Scope& scope) {
  Typed out;
  const Typed a = Expr(*e.args[0], scope);
  const ColumnType to = ResolveType(e.cast_type);
  if (to.type == SqlType::kSqlVariant) {
    if (a.column && !IsVariantBaseType(*a.column)) {
      throw SqlErr(529, "Explicit conversion from data type " + TypeBaseName(*a.column) +
                            " to sql_variant is not allowed.");
    }
    out.sql = AsVariant(a);
    out.type = VT::kVariant;
    out.column = to;
    return out;
  }
  const bool guid_from = a.type == VT::kString || a.type == VT::kBinary || a.type == VT::kGuid ||
                         a.type == VT::kNull || a.type == VT::kVariant;
  const bool guid_to = IsCharType(to.type) || IsBinaryType(to.type) || to.type == SqlType::kUniqueIdentifier;
  if ((to.type == SqlType::kUniqueIdentifier && !guid_from) || (a.type == VT::kGuid && !guid_to)) {
    throw SqlErr(529, std::string("Explicit conversion from data type ") +
                          (a.column ? TypeBaseName(*a.column) : VTName(a.type)) + " to " + TypeBaseName(to) +
                          " is not allowed.");
  }
  const std::string style = e.args.size() > 1 ? Coerce(Expr(*e.args[1], scope), VT::kInt) : "";
  const auto source = IsBinaryType(to.type)
                          ? BinarySource(a.type, a.column, a.national, IsBigInt(a))
                          : std::nullopt;
  out.sql = ConvertCall(a.sql, a.type, to, style, source);
  out.type = TypeOf(to);
  out.column = to;
  return out;
}

// A subquery standing for one value.
Translator::Typed Translator::ScalarSubquery(const ast::Expr& e, const Scope& scope) {
  Typed out;
  TranslatedSelect sub = Subquery(*e.select, &scope);
  if (sub.columns.size() != 1) {
    throw SqlErr(116, "Only one expression can be specified in the select list when the subquery is not introduced with EXISTS.");
  }
  out.sql = "(" + sub.sql + ")";
  out.type = sub.columns[0].type;
  out.column = sub.columns[0].column;
  return out;
}

Translator::Typed Translator::Variable(const ast::Expr& e) {
  Typed out;
  out.type = VT::kInt;
  if (e.text.compare(0, 2, "@@") != 0) {
    const VariableStore::Variable* v = session_.variables ? session_.variables->Find(e.text) : nullptr;
    if (!v) throw UndeclaredVariableError(e.text);
    out.sql = StoredLiteral(v->value);
    out.type = TypeOf(v->type);
    out.column = v->type;
    if ((out.type == VT::kString || out.type == VT::kDecimal) && v->value.kind == Stored::kText) {
      out.is_literal = true;
      out.literal = v->value.s;
    }
    return out;
  }
  const std::string name = UpperAscii(e.text);
  // The globals that hold the same for every session of the server.
  static const std::pair<const char*, const char*> kConstants[] = {
      {"@@SERVICENAME", "'MSSQLSERVER'"},  {"@@LANGUAGE", "'us_english'"}, {"@@MAX_PRECISION", "38"},
      {"@@MICROSOFTVERSION", "134219767"}, {"@@MAX_CONNECTIONS", "32767"}, {"@@LANGID", "0"}};
  for (const auto& [global, value] : kConstants) {
    if (name == global) {
      out.sql = value;
      out.type = value[0] == '\'' ? VT::kString : VT::kInt;
      return out;
    }
  }
  if (name == "@@SERVERNAME") {
    out.sql = QuoteText(kServerName);
    out.type = VT::kString;
    return out;
  }
  if (name == "@@TRANCOUNT") {
    out.sql = std::to_string(session_.trancount);
  } else if (name == "@@ROWCOUNT") {
    out.sql = std::to_string(session_.rowcount);
  } else if (name == "@@DBTS") {
    // varbinary(8): the last timestamp value the database gave a row.
    out.sql = "X'" + com::FormatBytes(TimestampBytes(catalog_.DatabaseTimestamp())).substr(2) + "'";
    out.type = VT::kBinary;
    out.column = ColumnType{SqlType::kVarBinary, 8};
    return out;
  } else if (name == "@@IDENTITY") {
    // numeric(38,0), whatever the type of the identity column.
    out.sql = session_.identity ? QuoteText(std::to_string(*session_.identity)) : "NULL";
    out.type = VT::kDecimal;
    out.column = ComputedDecimal({38, 0});
    return out;
  } else if (name == "@@ERROR") {
    out.sql = std::to_string(session_.error);
  } else if (name == "@@LOCK_TIMEOUT") {
    out.sql = std::to_string(session_.lock_timeout);
  } else if (name == "@@DATEFIRST") {
    out.sql = std::to_string(session_.options.datefirst);
  } else if (name == "@@TEXTSIZE") {
    out.sql = std::to_string(session_.options.textsize);
  } else if (name == "@@OPTIONS") {
    out.sql = std::to_string(OptionBits(session_));
  } else if (name == "@@SPID") {
    out.sql = std::to_string(session_.session_id);
  } else if (name == "@@NESTLEVEL") {
    out.sql = std::to_string(session_.nest_level);
  } else if (name == "@@VERSION") {
    out.sql = QuoteText("Microsoft SQL Server 2000 compatible embedded server (SQLite " +
                        std::string(sqlite3_libversion()) + ")");
    out.type = VT::kString;
  } else {
    throw UndeclaredVariableError(e.text);
  }
  return out;
}

Translator::Typed Translator::Binary(const ast::Expr& e, const Scope& scope) {
  const std::string& op = e.text;
  Typed out;
  if (op == "AND" || op == "OR") {
    // "p OR q OR r ..." parses into a tree as deep as the chain is long:
    // its terms are gathered down its left side in a loop.
    std::vector<const ast::Expr*> terms;
    const ast::Expr* node = &e;
    for (; node->kind == ExprKind::kBinary && node->text == op; node = node->args[0].get()) {
      terms.push_back(node->args[1].get());
    }
    terms.push_back(node);
    std::vector<std::string> predicates;
    predicates.reserve(terms.size());
    for (auto it = terms.rbegin(); it != terms.rend(); ++it) predicates.push_back(Predicate(**it, scope));
    out.sql = Balanced(predicates, 0, predicates.size(), op);
    out.type = VT::kBool;
    return out;
  }
  if (op == "LIKE") {
    const Typed value = Expr(*e.args[0], scope), pattern = Expr(*e.args[1], scope);
    const std::string collation = CollationOfPair(value, pattern, "like");
    // SQLite's own LIKE matches '%' and '_' as T-SQL does, ASCII case
    // aside: it serves a constant pattern without sets or an escape. Any
    // other goes through vk_like, which knows [a-c], [^a] and ESCAPE.
    const bool plain = collation == "VKCI" && e.args.size() == 2 && pattern.is_literal &&
                       pattern.type == VT::kString && pattern.literal.find('[') == std::string::npos;
    if (plain) {
      out.sql = "(" + Coerce(value, VT::kString) + (e.negated ? " NOT LIKE " : " LIKE ") +
                Coerce(pattern, VT::kString) + ")";
    } else {
      std::string call = "vk_like(" + Coerce(value, VT::kString) + ", " + Coerce(pattern, VT::kString) + ", " +
                         (collation == "VKCI" ? "0" : "1");
      if (e.args.size() == 3) call += ", " + Coerce(Expr(*e.args[2], scope), VT::kString);
      call += ")";
      out.sql = "(" + std::string(e.negated ? "NOT " : "") + call + ")";
    }
    out.type = VT::kBool;
    return out;
  }
  if (op == "=" || op == "<>" || op == "<" || op == ">" || op == "<=" || op == ">=") {
    out.sql = Compare(op == "<>" ? "!=" : op, Expr(*e.args[0], scope), Expr(*e.args[1], scope));
    out.type = VT::kBool;
    return out;
  }
  // Arithmetic: the left side of "a + b - c ..." walked in a loop, then
  // each operator applied in turn from the innermost.
  std::vector<const ast::Expr*> spine;
  const ast::Expr* node = &e;
  for (; node->kind == ExprKind::kBinary && IsArithmeticOperator(node->text); node = node->args[0].get()) {
    if (spine.size() == kMaxOperatorChain) throw NestedTooDeeplyError();
    spine.push_back(node);
  }
  Typed value = Expr(*node, scope);
  for (auto it = spine.rbegin(); it != spine.rend(); ++it) {
    value = Arithmetic((*it)->text, value, Expr(*(*it)->args[1], scope));
    Account(value.sql.size());
  }
  return value;
}

std::string Translator::Predicate(const ast::Expr& e, const Scope& scope) {
  Typed t = Expr(e, scope);
  if (t.type != VT::kBool) {
    throw SqlErr(4145, "An expression of non-boolean type specified in a context where a condition is expected.");
  }
  return t.sql;
}

TranslatedSelect Translator::SelectIn(const ast::Select& s, const Scope* outer) {
  ++query_level_;
  struct Leave {
    int& level;
    ~Leave() { --level; }
  } leave{query_level_};
  // Inside another query rows have no order, unless TOP picks them by it.
  if (query_level_ > 1 && !s.order_by.empty() && !s.top) {
    throw SqlErr(1033, "The ORDER BY clause is invalid in views, inline functions, derived tables, subqueries, and "
                       "common table expressions, unless TOP, OFFSET or FOR XML is also specified.");
  }
  if (s.set_parts.empty()) return SelectCore(s, outer, true);
  std::vector<const ast::Select*> parts{&s};
  std::vector<ast::SetOperator> ops{ast::SetOperator::kUnionAll};
  for (const auto& part : s.set_parts) {
    parts.push_back(part.query.get());
    ops.push_back(part.op);
  }
  TranslatedSelect out = Combine(parts, ops, outer);
  if (s.order_by.empty()) return out;
  // Combined queries are ordered by their columns: by position or by the
  // first query's names.
  std::string order;
  for (std::size_t i = 0; i < s.order_by.size(); ++i) {
    const ast::Expr& oe = *s.order_by[i].expr;
    std::size_t column = out.columns.size();
    std::int32_t position = 0;
    if (oe.kind == ExprKind::kInteger &&
        std::from_chars(oe.text.data(), oe.text.data() + oe.text.size(), position).ec == std::errc()) {
      if (position < 1 || static_cast<std::size_t>(position) > out.columns.size()) {
        throw SqlErr(108, "The ORDER BY position number " + oe.text + " is out of range of the number of items in the select list.");
      }
      column = static_cast<std::size_t>(position) - 1;
    } else if (oe.kind == ExprKind::kColumn && oe.parts.size() == 1) {
      for (std::size_t k = 0; k < out.columns.size() && column == out.columns.size(); ++k) {
        if (!out.columns[k].name.empty() && SameName(out.columns[k].name, oe.parts[0])) column = k;
      }
    } else if (oe.kind == ExprKind::kColumn && !HasStar(s)) {
      // A qualified column the first query selects as written ("t.a").
      for (std::size_t k = 0; k < s.items.size() && column == out.columns.size(); ++k) {
        const ast::Expr& item = *s.items[k].expr;
        if (item.kind == ExprKind::kColumn && SameParts(item.parts, oe.parts)) column = k;
      }
    }
    if (column == out.columns.size()) {
      throw SqlErr(104, "ORDER BY items must appear in the select list if the statement contains a UNION, INTERSECT or "
                        "EXCEPT operator.");
    }
    const VT type = out.columns[column].type;
    const std::string collation = out.columns[column].collation.empty() ? "VKCI" : out.columns[column].collation;
    order += (i ? ", c" : "c") + std::to_string(column + 1) +
             (type == VT::kString    ? " COLLATE " + collation
              : type == VT::kDecimal ? std::string(" COLLATE VKDEC")
              : type == VT::kGuid    ? std::string(" COLLATE VKGUID")
              : type == VT::kVariant ? std::string(" COLLATE VKVAR")
                                     : std::string()) +
             (s.order_by[i].descending ? " DESC" : "");
  }
  out.sql += " ORDER BY " + order;
  return out;
}

namespace {

// The type two queries' values have in common in one column of a
// combination:
// the one of higher precedence (dates over numbers over text).
VT UnionType(VT a, VT b) {
  if (a == VT::kNull || a == b) return b;
  if (b == VT::kNull) return a;
  if (a == VT::kVariant || b == VT::kVariant) return VT::kVariant;  // above every other type
  if (a == VT::kDate || b == VT::kDate) return VT::kDate;
  if (a == VT::kBinary) return b;  // the lowest precedence of all
  if (b == VT::kBinary) return a;
  if (a == VT::kGuid && b == VT::kString) return a;  // above text
  if (b == VT::kGuid && a == VT::kString) return b;
  if (a == VT::kString) return b;
  if (b == VT::kString) return a;
  return Rank(a) >= Rank(b) ? a : b;
}

bool IsAggregate(const ast::Expr& e) {
  if (e.kind != ExprKind::kFunction) return false;
  const std::string name = UpperAscii(e.parts.back());
  return name == "COUNT" || name == "SUM" || name == "AVG" || name == "MIN" || name == "MAX" || name == "STDEV" ||
         name == "STDEVP" || name == "VAR" || name == "VARP";
}

// Whether an expression calls an aggregate outside its subqueries.
bool HasAggregate(const ast::Expr* root) {
  std::vector<const ast::Expr*> pending{root};
  while (!pending.empty()) {
    const ast::Expr* e = pending.back();
    pending.pop_back();
    if (!e) continue;
    if (IsAggregate(*e)) return true;
    for (const auto& a : e->args) pending.push_back(a.get());
    for (const auto& [when, then] : e->whens) {
      pending.push_back(when.get());
      pending.push_back(then.get());
    }
    pending.push_back(e->else_expr.get());
  }
  return false;
}

// Whether a query names `table` in a FROM list, its own or one of its
// subqueries'; the queries combined with it count only with `set_parts`.
bool NamesTable(const ast::Select& query, const std::string& table, bool set_parts) {
  std::vector<const ast::Select*> queries{&query};
  std::vector<const ast::Expr*> expressions;
  while (!queries.empty() || !expressions.empty()) {
    if (!expressions.empty()) {
      const ast::Expr* e = expressions.back();
      expressions.pop_back();
      if (!e) continue;
      if (e->select) queries.push_back(e->select.get());
      for (const auto& a : e->args) expressions.push_back(a.get());
      for (const auto& [when, then] : e->whens) {
        expressions.push_back(when.get());
        expressions.push_back(then.get());
      }
      expressions.push_back(e->else_expr.get());
      continue;
    }
    const ast::Select* q = queries.back();
    queries.pop_back();
    for (const auto& ref : q->from) {
      if (ref.derived) {
        queries.push_back(ref.derived.get());
      } else if (ref.name.schema.empty() && ref.name.database.empty() && SameName(ref.name.object, table)) {
        return true;
      }
      expressions.push_back(ref.on.get());
    }
    if (q != &query || set_parts) {
      for (const auto& part : q->set_parts) queries.push_back(part.query.get());
    }
    for (const auto& item : q->items) expressions.push_back(item.expr.get());
    expressions.push_back(q->where.get());
    for (const auto& g : q->group_by) expressions.push_back(g.get());
    expressions.push_back(q->having.get());
    for (const auto& o : q->order_by) expressions.push_back(o.expr.get());
  }
  return false;
}

// The most queries one SQLite compound SELECT combines, short of SQLite's
// limit (500).
constexpr std::size_t kMaxCompoundTerms = 400;

const char* SetOperatorSql(ast::SetOperator op) {
  switch (op) {
    case ast::SetOperator::kUnion: return " UNION ";
    case ast::SetOperator::kUnionAll: return " UNION ALL ";
    case ast::SetOperator::kIntersect: return " INTERSECT ";
    case ast::SetOperator::kExcept: return " EXCEPT ";
  }
  return " UNION ";
}

}  // namespace

TranslatedSelect Translator::Combine(const std::vector<const ast::Select*>& parts,
                                     const std::vector<ast::SetOperator>& ops, const Scope* outer) {
  std::vector<TranslatedSelect> queries;
  for (std::size_t q = 0; q < parts.size(); ++q) {
    const bool combined = q > 0 && !parts[q]->set_parts.empty();
    queries.push_back(combined ? SelectIn(*parts[q], outer) : SelectCore(*parts[q], outer, false));
    if (queries.back().columns.size() != queries.front().columns.size()) {
      throw SqlErr(205, "All queries combined using a UNION, INTERSECT or EXCEPT operator must have an equal number of "
                        "expressions in their target lists.");
    }
  }
  TranslatedSelect out;
  out.columns = queries.front().columns;
  for (std::size_t c = 0; c < out.columns.size(); ++c) {
    OutputColumn& column = out.columns[c];
    column.identity = false;
    for (std::size_t q = 1; q < queries.size(); ++q) {
      const OutputColumn& other = queries[q].columns[c];
      column.type = UnionType(column.type, other.type);
      column.nullable = column.nullable || other.nullable;
      const bool same = column.column && other.column && column.column->type == other.column->type &&
                        column.column->length == other.column->length;
      if (!same) column.column.reset();
    }
    if (column.type == VT::kDecimal) {
      // The decimal every part's value fits: the parts' common precision
      // and scale.
      std::optional<DecimalType> common;
      for (const TranslatedSelect& q : queries) {
        const OutputColumn& part = q.columns[c];
        if (!IsNumeric(part.type)) continue;
        Typed t;
        t.type = part.type;
        t.column = part.column;
        common = common ? DecimalCommonType(*common, DecimalOf(t)) : DecimalOf(t);
      }
      column.column = ComputedDecimal(common.value_or(DecimalType{18, 0}));
    }
  }
  // UNION, INTERSECT and EXCEPT compare rows (NULLs equal, as SQLite's
  // compound operators do too), text in the server collation, which SQLite
  // takes from the first query's columns.
  const bool distinct = std::find_if(ops.begin() + 1, ops.end(), [](ast::SetOperator op) {
                          return op != ast::SetOperator::kUnionAll;
                        }) != ops.end();
  for (std::size_t q = 0; q < queries.size(); ++q) {
    // A part with TOP, or combined queries of their own (SQLite combines
    // left to right, without parentheses), or whose values need
    // converting, stands as a query of its own.
    bool wrap = parts[q]->top.has_value() || (q > 0 && !parts[q]->set_parts.empty()) || (distinct && q == 0);
    std::string items;
    for (std::size_t c = 0; c < out.columns.size(); ++c) {
      const OutputColumn& mine = queries[q].columns[c];
      Typed v;
      v.sql = "c" + std::to_string(c + 1);
      v.type = mine.type;
      v.column = mine.column;
      // Decimals at the common scale, so that equal values are equal texts.
      const OutputColumn& common = out.columns[c];
      std::string value = common.type == VT::kDecimal ? ToDecimal(v, *DecimalTypeOf(*common.column))
                                                       : Coerce(v, common.type);
      if (value != v.sql) wrap = true;
      if (distinct && q == 0 && out.columns[c].type == VT::kString) {
        value += " COLLATE " + (out.columns[c].collation.empty() ? std::string("VKCI") : out.columns[c].collation);
      }
      items += (c ? ", " : "") + value + " AS c" + std::to_string(c + 1);
    }
    const std::string sql = wrap ? "SELECT " + items + " FROM (" + queries[q].sql + ")" : queries[q].sql;
    if (q > 0 && q % kMaxCompoundTerms == 0) {
      // SQLite combines so many queries at most: the result so far (its
      // first query's collation with it) stands as one query.
      std::string columns;
      for (std::size_t c = 0; c < out.columns.size(); ++c) columns += (c ? ", c" : "c") + std::to_string(c + 1);
      out.sql = "SELECT " + columns + " FROM (" + out.sql + ")";
    }
    out.sql += q == 0 ? sql : SetOperatorSql(ops[q]) + sql;
  }
  return out;
}

const Translator::Cte* Translator::FindCte(const std::string& name) const {
  for (const Cte& c : ctes_) {
    if (SameName(c.name, name)) return &c;
  }
  return nullptr;
}

std::string Translator::CommonTable(const ast::CommonTableExpression& cte, bool* recursive) {
  std::vector<const ast::Select*> parts{cte.query.get()};
  std::vector<ast::SetOperator> ops{ast::SetOperator::kUnionAll};
  for (const auto& part : cte.query->set_parts) {
    parts.push_back(part.query.get());
    ops.push_back(part.op);
  }
  std::size_t first_recursive = parts.size();
  for (std::size_t p = 0; p < parts.size() && first_recursive == parts.size(); ++p) {
    if (NamesTable(*parts[p], cte.name, p > 0)) first_recursive = p;
  }
  // Its columns: named by its column list, else by its query.
  auto name_columns = [&](std::vector<OutputColumn> columns) {
    if (!cte.columns.empty() && cte.columns.size() < columns.size()) {
      throw SqlErr(8158, "'" + cte.name + "' has more columns than were specified in the column list.");
    }
    if (!cte.columns.empty() && cte.columns.size() > columns.size()) {
      throw SqlErr(8159, "'" + cte.name + "' has fewer columns than were specified in the column list.");
    }
    for (std::size_t c = 0; c < columns.size(); ++c) {
      if (!cte.columns.empty()) columns[c].name = cte.columns[c];
      columns[c].identity = false;
    }
    CheckExposedColumns(columns, cte.name);
    return columns;
  };
  auto column_list = [](std::size_t n) {
    std::string list;
    for (std::size_t c = 0; c < n; ++c) list += (c ? ", c" : "c") + std::to_string(c + 1);
    return list;
  };
  Cte def;
  def.name = cte.name;
  def.sql_name = "vk_cte" + std::to_string(ctes_.size());
  if (first_recursive == parts.size()) {
    ++query_level_;
    TranslatedSelect query = SelectIn(*cte.query, nullptr);
    --query_level_;
    def.columns = name_columns(query.columns);
    const std::string sql = def.sql_name + "(" + column_list(def.columns.size()) + ") AS (" + query.sql + ")";
    ctes_.push_back(std::move(def));
    return sql;
  }
  const std::string quoted = "\"" + cte.name + "\"";
  if (first_recursive == 0) throw SqlErr(246, "No anchor member was specified for recursive query " + quoted + ".");
  if (ops[first_recursive] != ast::SetOperator::kUnionAll) {
    throw SqlErr(252, "Recursive common table expression '" + cte.name + "' does not contain a top-level UNION ALL operator.");
  }
  // The anchor: the parts before the first that refers to the CTE, each
  // row at recursion level 0.
  query_level_ += 2;
  const std::vector<const ast::Select*> anchors(parts.begin(), parts.begin() + static_cast<std::ptrdiff_t>(first_recursive));
  const std::vector<ast::SetOperator> anchor_ops(ops.begin(), ops.begin() + static_cast<std::ptrdiff_t>(first_recursive));
  TranslatedSelect anchor = anchors.size() == 1 ? SelectCore(*anchors[0], nullptr, false) : Combine(anchors, anchor_ops, nullptr);
  query_level_ -= 2;
  def.columns = name_columns(anchor.columns);
  for (OutputColumn& c : def.columns) c.nullable = true;
  const std::size_t columns = def.columns.size();
  std::string sql = def.sql_name + "(" + column_list(columns) + ", vk_level) AS (SELECT " + column_list(columns) +
                    ", 0 FROM (" + anchor.sql + ")";
  ctes_.push_back(std::move(def));
  // The recursive parts: each names the CTE once, at its own level, and
  // counts the level its rows are at against MAXRECURSION.
  for (std::size_t p = first_recursive; p < parts.size(); ++p) {
    if (!NamesTable(*parts[p], cte.name, true)) {
      throw SqlErr(247, "An anchor member was found in the recursive part of recursive query " + quoted + ".");
    }
    if (!parts[p]->set_parts.empty()) {
      NotSupported("A recursive member of '" + cte.name + "' combined with other queries in parentheses");
    }
    if (ops[p] != ast::SetOperator::kUnionAll) {
      throw SqlErr(466, "UNION operator is not allowed in the recursive part of a recursive common table expression '" +
                            cte.name + "'.");
    }
    recursion_ = Recursion{ctes_.size() - 1, query_level_ + 1, 0, ""};
    ++query_level_;
    TranslatedSelect member = SelectCore(*parts[p], nullptr, false);
    --query_level_;
    recursion_.reset();
    const Cte& defined = ctes_.back();
    for (std::size_t c = 0; c < columns; ++c) {
      const VT anchored = defined.columns[c].type, recurring = member.columns[c].type;
      if (anchored != recurring && anchored != VT::kNull && recurring != VT::kNull) {
        throw SqlErr(240, "Types don't match between the anchor and the recursive part in column \"" +
                              defined.columns[c].name + "\" of recursive query " + quoted + ".");
      }
    }
    sql += " UNION ALL " + member.sql;
  }
  *recursive = true;
  return sql + ")";
}

// The rules of a recursive CTE's recursive part: no DISTINCT (460), TOP
// (461), grouping or aggregate (467), or outer join (462).
void Translator::CheckRecursivePart(const ast::Select& s) const {
  const std::string& name = ctes_[recursion_->cte].name;
  if (s.distinct) {
    throw SqlErr(460, "DISTINCT operator is not allowed in the recursive part of a recursive common table expression '" +
                          name + "'.");
  }
  if (s.top) {
    throw SqlErr(461, "TOP operator is not allowed in the recursive part of a recursive common table expression '" +
                          name + "'.");
  }
  bool aggregate = !s.group_by.empty() || s.having;
  for (const auto& item : s.items) aggregate = aggregate || HasAggregate(item.expr.get());
  if (aggregate) {
    throw SqlErr(467, "GROUP BY, HAVING, or aggregate functions are not allowed in the recursive part of a recursive "
                      "common table expression '" + name + "'.");
  }
  for (const auto& ref : s.from) {
    if (ref.join == "LEFT") {
      throw SqlErr(462, "Outer join is not allowed in the recursive part of a recursive common table expression '" +
                            name + "'.");
    }
  }
}

// The terms of a query's ORDER BY: a position in the select list (108
// past its `asked` columns), a column of the result by its name, or an
// expression; each text compared by its collation.
std::string Translator::OrderBy(const ast::Select& s, const Scope& scope, const std::vector<OutputColumn>& columns,
                                std::size_t asked) {
  std::string sql;
  for (std::size_t i = 0; i < s.order_by.size(); ++i) {
    const ast::Expr& oe = *s.order_by[i].expr;
    std::string term;
    VT type = VT::kNull;
    std::string collation;
    // An integer that fits int is a position in the select list; any
    // other constant orders nothing and is refused.
    std::int32_t position = 0;
    const bool is_position = oe.kind == ExprKind::kInteger &&
                             std::from_chars(oe.text.data(), oe.text.data() + oe.text.size(), position).ec == std::errc();
    if (is_position) {
      if (position < 1 || static_cast<std::size_t>(position) > asked) {
        throw SqlErr(108, "The ORDER BY position number " + oe.text + " is out of range of the number of items in the select list.");
      }
      term = "c" + std::to_string(position);
      type = columns[static_cast<std::size_t>(position) - 1].type;
      collation = columns[static_cast<std::size_t>(position) - 1].collation;
    } else if (IsConstant(oe)) {
      throw SqlErr(kConstantOrderBy, "A constant expression was encountered in the ORDER BY list, position " +
                                         std::to_string(i + 1) + ".");
    } else {
      if (oe.kind == ExprKind::kColumn && oe.parts.size() == 1) {
        for (std::size_t k = 0; k < asked; ++k) {
          if (!columns[k].name.empty() && SameName(columns[k].name, oe.parts[0]) &&
              s.items[std::min(k, s.items.size() - 1)].star == false) {
            term = "c" + std::to_string(k + 1);
            type = columns[k].type;
            collation = columns[k].collation;
            break;
          }
        }
      }
      if (term.empty()) {
        Typed t = Expr(oe, scope);
        term = t.sql;
        type = t.type;
        collation = t.collation;
      }
    }
    if (type == VT::kString) term += " COLLATE " + (collation.empty() ? std::string("VKCI") : collation);
    if (type == VT::kDecimal) term += " COLLATE VKDEC";
    if (type == VT::kGuid) term += " COLLATE VKGUID";
    if (type == VT::kVariant) term += " COLLATE VKVAR";
    sql += (i ? ", " : "") + term + (s.order_by[i].descending ? " DESC" : "");
  }
  return sql;
}

TranslatedSelect Translator::SelectCore(const ast::Select& s, const Scope* outer, bool order) {
  const bool browsing = std::exchange(browse_pending_, false);
  Scope scope;
  scope.outer = outer;
  scope.level = query_level_;
  // A recursive CTE's recursive part, at its own level.
  const bool recursing = recursion_ && query_level_ == recursion_->level;
  if (recursing) CheckRecursivePart(s);
  std::string from;
  AddSources(s.from, &scope, &from);
  if (recursing && recursion_->references > 1) {
    throw SqlErr(253, "Recursive member of a common table expression '" + ctes_[recursion_->cte].name +
                          "' has multiple recursive references.");
  }
  TranslatedSelect out;
  std::string items;
  std::vector<ColumnRead> read;  // in browse mode: the table's column each result column reads, if one
  // A column of the result: a table's or derived table's column read as it
  // is keeps its nullability and identity; any other value may be NULL.
  auto add = [&](const std::string& sql, OutputColumn column, ColumnRead reads = {}) {
    const std::string alias = "c" + std::to_string(out.columns.size() + 1);
    items += (items.empty() ? "" : ", ") + sql + " AS " + alias;
    out.columns.push_back(std::move(column));
    if (browsing) read.push_back(reads);
  };
  for (const auto& item : s.items) {
    if (item.star) {
      if (scope.sources.empty()) throw SqlErr(263, "Must specify table to select from.");
      bool matched = false;
      for (const Source& src : scope.sources) {
        if (!item.star_table.empty() && !SameName(src.name, item.star_table)) continue;
        matched = true;
        if (src.table) {
          for (std::size_t k = 0; k < src.table->columns.size(); ++k) {
            const ColumnMeta& c = src.table->columns[k];
            add(src.sql_alias + "." + QuoteSqlite(c.name),
                {c.name, TypeOf(c.type), c.type, c.nullable || src.outer, c.identity, ColumnCollation(c)},
                {&src, static_cast<int>(k)});
          }
        } else {
          for (std::size_t i = 0; i < src.derived.size(); ++i) {
            OutputColumn c = src.derived[i];
            c.nullable = c.nullable || src.outer;
            add(src.sql_alias + ".c" + std::to_string(i + 1), std::move(c));
          }
        }
      }
      if (!matched) throw SqlErr(107, "The column prefix '" + item.star_table + "' does not match with a table name or alias name used in the query.");
      continue;
    }
    Typed t = Expr(*item.expr, scope);
    if (t.type == VT::kBool) throw SqlErr(kSyntax, "Incorrect syntax near '='.");
    std::string name = item.alias;
    if (name.empty() && item.expr->kind == ExprKind::kColumn) name = item.expr->parts.back();
    add(t.sql, {name, t.type, t.column, t.nullable, t.identity, t.collation},
        item.expr->kind == ExprKind::kColumn ? ColumnRead{t.source, t.source_column} : ColumnRead{});
  }
  // The columns asked for: ORDER BY names and numbers these, not the
  // hidden ones browse mode adds.
  const std::size_t asked = out.columns.size();
  if (browsing) {
    std::vector<std::pair<std::string, OutputColumn>> hidden;
    BrowseInfo browse = Browse(s, scope, read, out.columns, &hidden);
    for (auto& [sql, column] : hidden) add(sql, std::move(column));
    out.browse = std::move(browse);
  }
  if (recursing) {
    // The level of the rows it makes: one past the row it read.
    items += ", vk_cte_level(" + recursion_->alias + ".vk_level + 1, " + std::to_string(max_recursion_) + ") AS vk_level";
  }
  std::string sql = std::string("SELECT ") + (s.distinct ? "DISTINCT " : "") + items;
  if (!from.empty()) sql += " FROM " + from;
  if (s.where) sql += " WHERE " + Predicate(*s.where, scope);
  if (!s.group_by.empty()) {
    sql += " GROUP BY ";
    for (std::size_t i = 0; i < s.group_by.size(); ++i) sql += (i ? ", " : "") + Expr(*s.group_by[i], scope).sql;
  }
  if (s.having) sql += " HAVING " + Predicate(*s.having, scope);
  if (order && !s.order_by.empty()) sql += " ORDER BY " + OrderBy(s, scope, out.columns, asked);
  if (s.top) sql += " LIMIT " + std::to_string(*s.top);
  out.sql = std::move(sql);
  return out;
}

namespace {

// The columns that identify a table's rows in browse mode: its primary
// key, else its first unique constraint, else its first unique index. On
// the inner side of an outer join only a key none of whose columns takes
// NULL does, as SQL Server has it.
std::vector<int> BrowseKey(const TableMeta& table, bool outer) {
  auto usable = [&](const std::vector<int>& columns) {
    return !outer || std::none_of(columns.begin(), columns.end(), [&](int c) {
      return table.columns[static_cast<std::size_t>(c)].nullable;
    });
  };
  for (const bool primary : {true, false}) {
    for (const KeyMeta& k : table.keys) {
      if (k.primary == primary && usable(k.columns)) return k.columns;
    }
  }
  for (const IndexMeta& index : table.indexes) {
    if (index.unique && usable(index.columns)) return index.columns;
  }
  return {};
}

}  // namespace

BrowseInfo Translator::Browse(const ast::Select& s, const Scope& scope, const std::vector<ColumnRead>& read,
                              const std::vector<OutputColumn>& columns,
                              std::vector<std::pair<std::string, OutputColumn>>* hidden) {
  BrowseInfo info;
  // The tables of the FROM list, in its order; views, CTEs and derived
  // tables are none.
  std::vector<std::size_t> table_of(scope.sources.size(), 0);
  for (std::size_t i = 0; i < scope.sources.size(); ++i) {
    const TableMeta* t = scope.sources[i].table;
    if (!t) continue;
    info.tables.push_back(IsTemporaryName(t->name) ? std::vector<std::string>{t->name}
                                                   : std::vector<std::string>{"dbo", t->name});
    table_of[i] = info.tables.size();
  }
  // The table a column is read from: one of this query's sources (a
  // column of a query around it is no column of its tables).
  auto table_read = [&](const ColumnRead& r) -> std::size_t {
    for (std::size_t i = 0; i < scope.sources.size(); ++i) {
      if (&scope.sources[i] == r.source && r.column >= 0) return table_of[i];
    }
    return 0;
  };
  for (std::size_t k = 0; k < columns.size(); ++k) {
    BrowseColumn c;
    const ColumnRead& r = read[k];
    if (const std::size_t table = table_read(r); table != 0) {
      c.table = table;
      const std::string& real = r.source->table->columns[static_cast<std::size_t>(r.column)].name;
      if (columns[k].name != real) c.real_name = real;
    } else {
      c.expression = true;
    }
    info.columns.push_back(std::move(c));
  }
  // A grouped, aggregated or DISTINCT result has no rows of a table for a
  // key to name.
  bool grouped = s.distinct || !s.group_by.empty() || s.having;
  for (const auto& item : s.items) grouped = grouped || (item.expr && HasAggregate(item.expr.get()));
  if (grouped) return info;
  for (std::size_t i = 0; i < scope.sources.size(); ++i) {
    const Source& src = scope.sources[i];
    if (!src.table) continue;
    // The key's columns, marked where the result has them and added hidden
    // where not; then the timestamp column, added hidden if missing.
    auto take = [&](int column, bool key) {
      const ColumnMeta& c = src.table->columns[static_cast<std::size_t>(column)];
      bool present = false;
      for (std::size_t k = 0; k < read.size(); ++k) {
        if (read[k].source == &src && read[k].column == column) {
          info.columns[k].key = info.columns[k].key || key;
          present = true;
        }
      }
      for (std::size_t k = 0; k < hidden->size(); ++k) {
        if (info.columns[columns.size() + k].table == table_of[i] && (*hidden)[k].second.name == c.name) present = true;
      }
      if (present) return;
      hidden->push_back({src.sql_alias + "." + QuoteSqlite(c.name),
                         {c.name, TypeOf(c.type), c.type, c.nullable || src.outer, c.identity, ColumnCollation(c)}});
      BrowseColumn b;
      b.table = table_of[i];
      b.key = key;
      b.hidden = true;
      info.columns.push_back(std::move(b));
    };
    for (const int column : BrowseKey(*src.table, src.outer)) take(column, true);
    if (const int rowversion = src.table->RowversionColumn(); rowversion >= 0) take(rowversion, false);
  }
  return info;
}

TranslatedSelect Translator::Subquery(const ast::Select& s, const Scope* outer) {
  const int level = query_level_ + 1;  // the subquery's own
  const int bound_before = std::exchange(bound_level_, INT_MAX);
  TranslatedSelect sub = SelectIn(s, outer);
  const bool correlated = bound_level_ < level;
  bound_level_ = std::min(bound_before, bound_level_);
  // SQLite parses a dozen subqueries inside each other at most; SQL Server
  // takes 32. One that stands alone (no column of a query around it) deep
  // down is written as a table of the statement's WITH instead, which its
  // query reads.
  constexpr int kHoistFromLevel = 5;
  if (!hoisting_ || correlated || level < kHoistFromLevel) return sub;
  const std::string name = "vk_sq" + std::to_string(hoisted_count_++);
  hoisted_.push_back(name + " AS (" + sub.sql + ")");
  sub.sql = "SELECT * FROM " + name;
  return sub;
}

TranslatedSelect Translator::Select(const ast::Select& s, bool browse) {
  hoisting_ = true;
  max_recursion_ = s.max_recursion.value_or(100);
  bool recursive = false;
  std::vector<std::string> with;
  auto take_hoisted = [&] {
    for (std::string& h : hoisted_) with.push_back(std::move(h));
    hoisted_.clear();
  };
  for (const auto& cte : s.ctes) {
    std::string definition = CommonTable(cte, &recursive);
    take_hoisted();  // the CTE reads them
    with.push_back(std::move(definition));
  }
  browse_pending_ = browse && s.set_parts.empty();
  TranslatedSelect out = SelectIn(s, nullptr);
  browse_pending_ = false;
  take_hoisted();
  hoisting_ = false;
  if (with.empty()) return out;
  std::string list;
  for (const std::string& w : with) list += (list.empty() ? "" : ", ") + w;
  out.sql = "WITH " + std::string(recursive ? "RECURSIVE " : "") + list + " " + out.sql;
  return out;
}

OutputColumn Translator::StoredValueColumn(const Typed& t) {
  OutputColumn out{"", t.type, t.column};
  if (t.type == VT::kString && !t.column && t.is_literal && t.national) {
    const std::size_t units = com::Utf16Length(t.literal).value_or(1);
    out.column = ColumnType{SqlType::kNVarChar, units > 4000 ? -1 : static_cast<int>(std::max<std::size_t>(units, 1))};
  }
  return out;
}

void Translator::ForTarget(Typed* t, const std::vector<ColumnType>& targets, std::size_t i) {
  if (i >= targets.size()) return;
  const bool to_variant = targets[i].type == SqlType::kSqlVariant;
  if (!to_variant && t->type == VT::kVariant) Coerce(*t, TypeOf(targets[i]));  // raises 257
  if (!to_variant || t->type == VT::kVariant || t->type == VT::kNull) return;
  t->sql = AsVariant(*t);
  t->type = VT::kVariant;
  t->column = targets[i];
}

TranslatedSelect Translator::Constants(const std::vector<const ast::Expr*>& exprs,
                                       const std::vector<ColumnType>& targets) {
  Scope scope;
  TranslatedSelect out;
  std::string sql = "SELECT ";
  for (std::size_t i = 0; i < exprs.size(); ++i) {
    Typed t = Expr(*exprs[i], scope);
    if (t.type == VT::kBool) throw SqlErr(kSyntax, "Incorrect syntax near '='.");
    ForTarget(&t, targets, i);
    sql += (i ? ", " : "") + t.sql;
    out.columns.push_back(StoredValueColumn(t));
  }
  if (exprs.empty()) sql += "1";
  out.sql = std::move(sql);
  return out;
}

TranslatedSelect Translator::TargetRows(const TableMeta& table, const std::vector<ast::TableRef>& from,
                                        const ast::Expr* where, const std::vector<const ast::Expr*>& exprs,
                                        const std::vector<ColumnType>& targets) {
  Scope scope;
  std::string target_alias;
  std::string sources;
  // The target is the FROM source that names its table: the only one, else
  // the one without an alias. Without one it is a source of its own.
  std::optional<std::size_t> target;
  std::size_t references = 0;
  for (std::size_t i = 0; i < from.size(); ++i) {
    const ast::TableRef& ref = from[i];
    const bool names_table = !ref.derived && SameName(ref.name.object, table.name);
    if (!names_table && !ref.alias.empty() && SameName(ref.alias, table.name)) {
      NotSupported("Changing the table '" + ref.name.Display() + "' through the alias '" + ref.alias + "'");
    }
    if (!names_table) continue;
    ++references;
    if (ref.alias.empty() || SameName(ref.alias, table.name) || references == 1) target = i;
  }
  if (references > 1 && (!target || !(from[*target].alias.empty() || SameName(from[*target].alias, table.name)))) {
    throw SqlErr(8154, "The table '" + table.name + "' is ambiguous.");
  }
  if (!target) {
    Source src;
    src.sql_alias = NextAlias();
    src.name = table.name;
    src.schema = "dbo";
    src.table = &table;
    scope.sources.push_back(src);
    sources = QuoteSqlite(table.name) + " AS " + src.sql_alias;
    target_alias = src.sql_alias;
  }
  AddSources(from, &scope, &sources);
  if (target) target_alias = scope.sources[*target].sql_alias;
  TranslatedSelect out;
  std::string sql = "SELECT " + target_alias + ".rowid";
  for (std::size_t i = 0; i < exprs.size(); ++i) {
    Typed t = Expr(*exprs[i], scope);
    if (t.type == VT::kBool) throw SqlErr(kSyntax, "Incorrect syntax near '='.");
    ForTarget(&t, targets, i);
    sql += ", " + t.sql;
    out.columns.push_back(StoredValueColumn(t));
  }
  sql += " FROM " + sources;
  if (where) sql += " WHERE " + Predicate(*where, scope);
  out.sql = std::move(sql);
  return out;
}

TranslatedSelect Translator::Text(const ast::Expr& e) {
  Scope scope;
  const Typed t = Expr(e, scope);
  if (t.type == VT::kBool) throw SqlErr(kSyntax, "Incorrect syntax near '='.");
  TranslatedSelect out;
  out.sql = "SELECT " + (t.type == VT::kString || t.type == VT::kNull ? t.sql : Coerce(t, VT::kString));
  out.columns.push_back({"", VT::kString, t.column});
  return out;
}

std::string Translator::Condition(const ast::Expr& e) {
  Scope scope;
  return "SELECT CASE WHEN " + Predicate(e, scope) + " THEN 1 ELSE 0 END";
}

}  // namespace sqlsrv
