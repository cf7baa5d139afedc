// Translates T-SQL queries and expressions into SQLite SQL with SQL
// Server's meaning: static types decide how each operator is written
// (money is held in 1/10000 units, so money * money and money / money go
// through functions that round and truncate as SQL Server does; decimals
// are exact texts, typed decimal(p, s) by SQL Server's rules for each
// operator and computed by functions into that type, compared and ordered
// by the decimal collation; text comparisons use the server collation;
// dates compare as canonical text), and names resolve against the catalog
// with SQL Server's errors (207, 208, 209, 4104, 1013): a table is exposed
// by its alias when it has one, else by its name, and a column binds in the
// innermost query that has it, then in the queries around it. Types combine by SQL Server's
// precedence: int, then money, then decimal, then float. A variable stands
// in the SQL as a constant holding its value.
#pragma once

#include <climits>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dts/convert.h"
#include "platform/sqlserver/frontend/ast.h"
#include "platform/sqlserver/catalog/catalog.h"
#include "platform/sqlserver/result_column.h"
#include "platform/sqlserver/types.h"
#include "platform/sqlserver/translation/variables.h"

namespace sqlsrv {

// vk_variant of `sql`, a value of static type `from`, as a sql_variant of
// base type `base` (kSqlVariant: the one of its static type, its length
// the value's); raises 206 for a base type sql_variant does not hold.
std::string VariantCall(const std::string& sql, VT from, const ColumnType& base);


struct TranslatedSelect {
  std::string sql;
  std::vector<OutputColumn> columns;
  std::optional<BrowseInfo> browse;  // a query read in browse mode (Select's `browse`)
};

// An error as T-SQL's error functions describe it (ERROR_NUMBER() and its
// kin).
struct ErrorInfo {
  std::int32_t number = 0;
  std::string message;
  int severity = 16;
  int state = 1;
  int line = 0;
  // The procedure without its schema, as SQL Server 2016 names it; ""
  // outside a procedure (dynamic SQL too): ERROR_PROCEDURE() is NULL.
  std::string procedure;
};

// The SET options a session keeps that a procedure or a batch of dynamic
// SQL sets for itself alone: they are restored when it ends.
struct SessionOptions {
  std::int64_t rowcount_limit = 0;  // SET ROWCOUNT: the most rows a statement returns or changes; 0 for all
  int datefirst = 7;                // SET DATEFIRST: the week's first day, 1 (Monday) to 7 (Sunday)
  dts::DateOrder dateformat = dts::DateOrder::kMdy;  // SET DATEFORMAT: how numeric dates read
  std::int64_t textsize = 2147483647;  // SET TEXTSIZE: the most bytes of a long value a SELECT returns
  bool quoted_identifier = true;    // SET QUOTED_IDENTIFIER: "x" is a name (else text)
  bool ansi_nulls = true;           // SET ANSI_NULLS: = NULL and <> NULL are unknown (else NULL is a value)
  bool arithabort = true;           // SET ARITHABORT, reported by @@OPTIONS (ANSI_WARNINGS ON makes it ON in effect)
  bool cursor_close_on_commit = false;  // SET CURSOR_CLOSE_ON_COMMIT, reported by @@OPTIONS (there are no cursors)
  bool xact_abort = false;          // SET XACT_ABORT: any error ends the batch and rolls back its transaction
  bool no_browsetable = false;      // SET NO_BROWSETABLE: every SELECT returning rows is read in browse mode
};

// What the session tells the translator.
struct SessionState {
  std::string database;
  std::string login;
  std::string host;
  int session_id = 51;  // @@SPID: the server's first user session, unless the connection has its own
  int trancount = 0;
  std::int64_t rowcount = 0;
  std::optional<std::int64_t> identity;  // @@IDENTITY
  bool fmtonly = false;                   // SET FMTONLY ON: queries describe their columns, return no rows
  bool nocount = false;                   // SET NOCOUNT ON
  SessionOptions options;                 // the other SET options
  int lock_timeout = -1;                  // SET LOCK_TIMEOUT as @@LOCK_TIMEOUT reports it: -1 until set
  int nest_level = 0;                     // @@NESTLEVEL: procedures (and sp_executesql) running
  std::int32_t error = 0;                 // @@ERROR: the last statement's error, 0 after success
  const ErrorInfo* caught = nullptr;      // the error of the innermost CATCH block running, null outside one
  int xact_state = 0;                     // XACT_STATE(): 1 in a transaction, -1 in one that cannot commit, 0 outside
  // The variables of the batch or procedure running, null outside one. A
  // variable is read as a constant of its declared type holding its value.
  const VariableStore* variables = nullptr;
};

class Translator {
 public:
  Translator(const Catalog& catalog, const SessionState& session) : catalog_(catalog), session_(session) {}

  // `browse`: the statement's query is read in browse mode (FOR BROWSE,
  // SET NO_BROWSETABLE ON): its result says which table each column comes
  // from, and unless it groups, aggregates or is DISTINCT it reads the key
  // and timestamp columns of its tables it did not ask for after its own,
  // hidden. Ignored for a query with UNION, INTERSECT or EXCEPT.
  TranslatedSelect Select(const ast::Select& s, bool browse = false);

  // "SELECT e1, e2, ..." without a FROM clause (VALUES rows, defaults).
  // `targets`, when given, are the types the values are stored in: a value
  // for sql_variant is made one of its own base type; a sql_variant for
  // another type raises 257, as its implicit conversion does.
  TranslatedSelect Constants(const std::vector<const ast::Expr*>& exprs, const std::vector<ColumnType>& targets = {});

  // The rows of one table that a statement changes: "SELECT t.rowid, e1, ...
  // FROM table [, from...] WHERE where". `table_alias` names the table as the
  // expressions may (its name or an alias in `from`).
  // `targets` as Constants takes them.
  TranslatedSelect TargetRows(const TableMeta& table, const std::vector<ast::TableRef>& from,
                              const ast::Expr* where, const std::vector<const ast::Expr*>& exprs,
                              const std::vector<ColumnType>& targets = {});

  // "SELECT e" with the value converted to text as CONVERT to a character
  // type converts it by default (PRINT's conversion); its column keeps the
  // expression's own column type, if it has one.
  TranslatedSelect Text(const ast::Expr& e);

  // The query of a view, its columns named by its column list (8158, 8159
  // when it does not match; 4511, 4506 for a column without a name or
  // named twice); 217 past 32 views inside each other.
  TranslatedSelect View(const ViewMeta& view);

  // SQL yielding 1 when the condition holds (IF).
  std::string Condition(const ast::Expr& e);

  // The SQLite name and columns of the catalog's sysobjects view.
  static const TableMeta& SysObjects();

  // Whether a statement translated so far reads the table.
  bool Reads(const TableMeta& table) const;

 private:
  struct Source;
  struct Scope;
  struct Typed;

  // An expression's value; Value does the work, Expr counts what it writes.
  Typed Expr(const ast::Expr& e, const Scope& scope);
  Typed Value(const ast::Expr& e, const Scope& scope);
  // The kinds of value Value hands on (translate.cpp says what each is).
  Typed Constant(const ast::Expr& e);
  Typed Unary(const ast::Expr& e, const Scope& scope);
  Typed InList(const ast::Expr& e, const Scope& scope);
  Typed InSelect(const ast::Expr& e, const Scope& scope);
  Typed CaseValue(const ast::Expr& e, const Scope& scope);
  Typed Cast(const ast::Expr& e, const Scope& scope);
  Typed ScalarSubquery(const ast::Expr& e, const Scope& scope);
  // Counts SQL text written for the statement; past kMaxTranslatedText
  // (an expression that grows as it nests, each level repeating the one
  // below) it raises 8632.
  void Account(std::size_t bytes);
  std::string Predicate(const ast::Expr& e, const Scope& scope);
  // A column by SQL Server's rules: an unqualified one from the innermost
  // query that has it (209 when two of its sources do), a qualified one
  // from the innermost query exposing its qualifier (4104 when none does).
  Typed Column(const ast::Expr& e, const Scope& scope);
  // The column of a source by that name, if it has one.
  static std::optional<Typed> SourceColumn(const Source& src, const std::string& column);
  // Whether a column's qualifier (`parts` less the last) names the source:
  // its exposed name, with the schema and database of its own.
  bool Exposes(const Source& src, const std::vector<std::string>& parts) const;
  // A @variable or @@global; raises 137 for a variable not declared.
  Typed Variable(const ast::Expr& e);
  Typed Function(const ast::Expr& e, const Scope& scope);
  // The functions the translator knows, as a table: a call's arguments and
  // how each function is written for SQLite (translate_functions.cpp).
  struct Call;
  struct FunctionDef;
  struct Functions;
  static const FunctionDef* FindFunction(std::string_view upper_name);
  static Typed CaughtNumber(Call& c, int ErrorInfo::*field);
  // The id of the database named by `value` (`by_name`), or the name of
  // the database whose id it is; NULL for none.
  static std::string DatabaseChoice(Call& c, const std::string& value, bool by_name);
  Typed Binary(const ast::Expr& e, const Scope& scope);
  Typed Arithmetic(const std::string& op, const Typed& a, const Typed& b);
  Typed MoneyArithmetic(const std::string& op, const Typed& a, const Typed& b, VT ta, VT tb);
  std::string Compare(const std::string& op, const Typed& a, const Typed& b);
  // The SQLite collation text compares by: a value's own, and of two
  // values the one SQL Server's precedence takes (468 for two columns of
  // different collations).
  static std::string CollationOf(const Typed& t);
  static std::string CollationOfPair(const Typed& a, const Typed& b, const std::string& op);
  std::string Coerce(const Typed& v, VT to);
  // A value made a sql_variant of its own base type; raises 206 for a
  // type sql_variant does not hold (text, ntext, image, timestamp, (max)).
  std::string AsVariant(const Typed& v);
  // A value stored in a target type (Constants' `targets`), its SQL and
  // the column it makes.
  void ForTarget(Typed* t, const std::vector<ColumnType>& targets, std::size_t i);
  // Decimals. The decimal(p, s) a value has, or takes beside a decimal
  // (an int constant, like int, decimal(10,0)); the value as a decimal's
  // text of any scale, to compare or to compute with; the value converted
  // into decimal(p, s), as its canonical text; an operator's result.
  static DecimalType DecimalOf(const Typed& t);
  // Whether a value is a bigint's: a bigint column's, or an integer
  // constant past int's digits.
  static bool IsBigInt(const Typed& t);
  std::string DecimalOperand(const Typed& t);
  std::string ToDecimal(const Typed& t, DecimalType to);
  Typed DecimalArithmetic(const std::string& op, const Typed& a, const Typed& b);
  // The type several values share as the values of one CASE or COALESCE,
  // and each of them written in it.
  static Typed CommonType(const std::vector<const Typed*>& values);
  // A value stored in a column, as its result column: an N'...' constant
  // typed nvarchar, so that where it goes knows its text is Unicode.
  static OutputColumn StoredValueColumn(const Typed& t);
  std::string InType(const Typed& v, const Typed& type);
  // Whether text is Unicode: an n-type column's, an N'...' constant, or
  // text an expression makes (nvarchar); a '...' constant is varchar.
  static bool IsUnicodeText(const Typed& t);
  // Binary data read as text, as SQL Server converts it beside text: as
  // nvarchar, its bytes UTF-16LE, when `unicode`; else as varchar, its
  // bytes in the server code page.
  static std::string BytesAsText(const Typed& bytes, bool unicode);
  // The FROM list's sources into `scope`, its SQL into `sql`. A join's ON
  // sees the sources from `join_start` on (an UPDATE's target, before its
  // FROM list, belongs to the first join; a join in parentheses sees only
  // its own).
  void AddSources(const std::vector<ast::TableRef>& from, Scope* scope, std::string* sql, std::size_t join_start = 0);
  // tempdb..sysobjects: the session's temporary objects, as sysobjects'
  // columns.
  static std::vector<OutputColumn> TemporaryObjectsColumns();
  std::string TemporaryObjectsSql() const;
  // A name in a database other than the session's: 208 for one the
  // server does not have, else refused as not supported.
  [[noreturn]] void RefuseOtherDatabase(const ast::ObjectName& name) const;
  // One source (a table, view, CTE, system view or derived table) into
  // `scope`; returns its SQL as a FROM item.
  std::string AddSource(const ast::TableRef& ref, Scope* scope);
  // A query (with the queries combined with it and their ORDER BY) inside
  // `outer`.
  TranslatedSelect SelectIn(const ast::Select& s, const Scope* outer);
  // One SELECT core (a SELECT without the queries combined with it);
  // `order`: with its ORDER BY and TOP (not as one of a combination's).
  TranslatedSelect SelectCore(const ast::Select& s, const Scope* outer, bool order);
  void CheckRecursivePart(const ast::Select& s) const;
  std::string OrderBy(const ast::Select& s, const Scope& scope, const std::vector<OutputColumn>& columns,
                      std::size_t asked);
  // Browse mode's account of a SELECT core's `columns`, `read[k]` the
  // table source and column index column k reads as it is ({null, -1}
  // for any other value), and the key and timestamp columns of its tables
  // it must read besides, hidden, into `hidden` (their SQL and columns).
  struct ColumnRead {
    const Source* source = nullptr;
    int column = -1;
  };
  BrowseInfo Browse(const ast::Select& s, const Scope& scope, const std::vector<ColumnRead>& read,
                    const std::vector<OutputColumn>& columns, std::vector<std::pair<std::string, OutputColumn>>* hidden);
  // Queries combined left to right, `ops[i]` joining parts[i] to the result
  // before it (ops[0] unused), each column in the type the parts have in
  // common. parts[0] stands as its SELECT core; a later part with set parts
  // of its own is combined first.
  TranslatedSelect Combine(const std::vector<const ast::Select*>& parts, const std::vector<ast::SetOperator>& ops,
                           const Scope* outer);
  // A subquery (IN, EXISTS, a value, a derived table) inside `outer`.
  TranslatedSelect Subquery(const ast::Select& s, const Scope* outer);
  // A CTE of the statement as SQLite's WITH lists it; `recursive` is set
  // when it refers to itself.
  std::string CommonTable(const ast::CommonTableExpression& cte, bool* recursive);

  // The statement's CTEs, visible by name as tables are.
  struct Cte {
    std::string name;
    std::string sql_name;  // vk_cte0, vk_cte1 ...
    std::vector<OutputColumn> columns;
  };
  const Cte* FindCte(const std::string& name) const;
  // While the recursive part of a recursive CTE is translated: the CTE,
  // the query level of the part, the references to the CTE it has made and
  // the alias of the last.
  struct Recursion {
    std::size_t cte = 0;
    int level = 0;
    int references = 0;
    std::string alias;
  };
  const TableMeta& ResolveTable(const ast::ObjectName& name);
  std::string NextAlias() { return "t" + std::to_string(alias_counter_++); }

  const Catalog& catalog_;
  const SessionState& session_;
  int alias_counter_ = 0;
  std::size_t written_ = 0;  // bytes of SQL text the translation has written
  std::vector<const TableMeta*> tables_read_;
  std::vector<Cte> ctes_;
  std::optional<Recursion> recursion_;
  int query_level_ = 0;      // queries open: 1 for the statement's own
  int view_depth_ = 0;       // views being expanded, one inside another
  // While a statement's query (Select) is translated: subqueries deep down
  // that stand alone become tables of its WITH (Subquery).
  bool hoisting_ = false;
  std::vector<std::string> hoisted_;  // "vk_sqN AS (query)", inner ones first
  int hoisted_count_ = 0;
  // The outermost query level a column was bound in since Subquery began
  // watching: below the subquery's own level, it reads a query around it.
  int bound_level_ = INT_MAX;
  int max_recursion_ = 100;  // OPTION (MAXRECURSION n); 0 for no limit
  bool browse_pending_ = false;  // the next SELECT core, the statement's own, is read in browse mode
};

// The type a result column's values have: its column's, else the type
// its static type is described as to a client (text as nvarchar(4000),
// a column of NULLs as int).
ColumnType ColumnTypeOf(const OutputColumn& column);

// The columns of a view as its query gives them now; none when it no
// longer translates (a table it reads was dropped since).
std::vector<OutputColumn> ViewColumns(const Catalog& catalog, const SessionState& session, const ViewMeta& view);

// A view's columns as a table's (its id the view's), for the catalog's
// views that list columns.
TableMeta ViewAsTable(const Catalog& catalog, const SessionState& session, const ViewMeta& view);

// The table an UPDATE or DELETE changes, as named: the one its FROM list
// exposes under the target's name when that is an alias there ("UPDATE x
// SET ... FROM t AS x"), else the target as written. Refuses an alias that
// is a table's name too, and an alias of one of several references to a
// table.
const ast::ObjectName& ChangedTableName(const ast::ObjectName& target, const std::vector<ast::TableRef>& from,
                                        const Catalog& catalog);

// Raises "Invalid object name" unless a table's name `name` is qualified,
// if at all, by the current database `database` (tempdb for a temporary
// table) and the schema dbo.
void CheckTableQualifiers(const ast::ObjectName& name, std::string_view database);

// A result column whose values are those of a column of type `type` (a
// system procedure's or a system view's, as data).
OutputColumn OutputColumnOfType(std::string name, const ColumnType& type, bool nullable);

}  // namespace sqlsrv
