// The syntax tree of the T-SQL the embedded server runs.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sqlsrv::ast {

struct Select;

// A declared type: "nvarchar(50)", "money", "int".
struct TypeName {
  std::string name;   // lower case: int, smallint, tinyint, bigint, bit, money, smallmoney, float,
                      // real, decimal, numeric, datetime, smalldatetime, char, varchar, nchar,
                      // nvarchar, text, ntext
  int length = -1;    // for character types, and decimal's precision; -1 when not given
  int scale = -1;     // decimal's scale; -1 when not given
};

enum class ExprKind {
  kNull,       // NULL
  kInteger,    // text holds the digits
  kDecimal,    // 1.25
  kFloat,      // 1e3
  kMoney,      // $1.25
  kString,     // text; national
  kBytes,      // 0x1F00: text holds the hexadecimal digits
  kColumn,     // parts: [table.]column
  kVariable,   // text: @name of a local variable or parameter, @@TRANCOUNT; as written
  kUnary,      // op: "-", "+", "~", "NOT"
  kBinary,     // op: + - * / % & | ^ = <> < > <= >= AND OR LIKE (args[2]: LIKE's ESCAPE)
  kFunction,   // parts: the name; args; distinct; star (COUNT(*))
  kIsNull,     // args[0]; negated
  kInList,     // args[0] IN (args[1..]); negated
  kInSelect,   // args[0] IN (select); negated
  kExists,     // EXISTS (select)
  kBetween,    // args[0] BETWEEN args[1] AND args[2]; negated
  kCase,       // CASE [args[0]] WHEN ... THEN ... [ELSE] END: whens, else_expr
  kCast,       // CAST(args[0] AS type) / CONVERT(type, args[0] [, style args[1]])
  kSubquery,   // (select) as a value
  kCollate,    // args[0] COLLATE text
  kDefault,    // DEFAULT as a value of INSERT's VALUES or UPDATE's SET: the column's default
};

struct Expr {
  Expr() = default;
  // Takes its subtrees apart in a loop: an operator chain of any length
  // ("a + b + c ...") is a tree as deep as it is long.
  ~Expr();
  Expr(const Expr&) = delete;
  Expr& operator=(const Expr&) = delete;

  ExprKind kind = ExprKind::kNull;
  std::string text;                   // literal text, operator
  bool national = false;
  bool negated = false;
  bool distinct = false;
  bool star = false;
  std::vector<std::string> parts;     // column or function name parts
  std::vector<std::unique_ptr<Expr>> args;
  std::vector<std::pair<std::unique_ptr<Expr>, std::unique_ptr<Expr>>> whens;
  std::unique_ptr<Expr> else_expr;
  std::unique_ptr<Select> select;
  TypeName cast_type;
  std::size_t offset = 0;             // in the batch, for messages
};
using ExprPtr = std::unique_ptr<Expr>;

// A three-part object name: [database.][schema.]object.
struct ObjectName {
  std::string database, schema, object;
  std::string Display() const;  // as written, for messages
};

struct TableRef {
  ObjectName name;
  std::unique_ptr<Select> derived;  // (select) AS alias
  std::vector<TableRef> joined;     // a join in parentheses: "(a CROSS JOIN b)", its sources in order
  std::string alias;
  std::string join;                 // "" for the first / comma, "INNER", "LEFT", "CROSS"
  ExprPtr on;
};

struct SelectItem {
  ExprPtr expr;        // null for * and t.*
  std::string alias;
  bool star = false;
  std::string star_table;  // t in t.*
  std::string variable;    // "@v" in "SELECT @v = expr": the variable it assigns
};

struct OrderItem {
  ExprPtr expr;
  bool descending = false;
};

// How a query combines with the one before it.
enum class SetOperator { kUnion, kUnionAll, kIntersect, kExcept };

// A query combined with the one before it: "UNION [ALL] q", "INTERSECT q",
// "EXCEPT q".
struct SetPart {
  SetOperator op = SetOperator::kUnion;
  // A SELECT core, or a query in parentheses (with set parts of its own,
  // no ORDER BY); never CTEs of its own.
  std::unique_ptr<Select> query;
};

// One COMPUTE clause: "COMPUTE SUM(x), MAX(y) [BY a, b]".
struct ComputeClause {
  // Each a kFunction call of a row aggregate (AVG, COUNT, MAX, MIN, STDEV,
  // STDEVP, SUM, VAR, VARP; its name upper case in parts[0]) of one
  // expression, as written.
  std::vector<ExprPtr> aggregates;
  std::vector<ExprPtr> by;         // the BY expressions, in order; none for the whole result
  // The statement's query again, as parsed a second time: the rows the
  // clause's aggregates are computed over (without INTO or COMPUTE).
  std::unique_ptr<Select> rows;
};

// A common table expression: "name [(columns)] AS (query)".
struct CommonTableExpression {
  std::string name;
  std::vector<std::string> columns;  // empty: the query's own column names
  std::unique_ptr<Select> query;
};

struct Select {
  bool distinct = false;
  std::optional<std::int64_t> top;
  std::vector<SelectItem> items;
  std::vector<TableRef> from;
  ExprPtr where;
  std::vector<ExprPtr> group_by;
  ExprPtr having;
  // With `set_parts`, the order of the whole combination; `top` and the
  // clauses above are the first query's own.
  std::vector<OrderItem> order_by;
  // The queries combined with this one, applied left to right: the result
  // so far, then each part by its operator. INTERSECT binding tighter than
  // UNION and EXCEPT is in the shape the parser gives (the INTERSECT of
  // "a UNION b INTERSECT c" is inside the part "b INTERSECT c").
  std::vector<SetPart> set_parts;
  // The statement's WITH list (the outermost query only) and its OPTION
  // (MAXRECURSION n); nullopt leaves the server's default.
  std::vector<CommonTableExpression> ctes;
  std::optional<int> max_recursion;
  // SELECT ... INTO name: the new table the rows go into (the first query
  // of the statement only); empty when none.
  ObjectName into;
  // The statement's COMPUTE clauses, in order (a statement's own query
  // only).
  std::vector<ComputeClause> computes;
  // FOR BROWSE: the result says which table each column comes from, and
  // carries the key and timestamp columns of those tables, hidden, after
  // the columns asked for (a statement's own query only).
  bool for_browse = false;
};

struct ColumnDef {
  std::string name;
  TypeName type;
  bool nullable = true;
  bool explicit_null = false;
  bool identity = false;
  std::int64_t seed = 1, step = 1;
  ExprPtr default_value;
  std::string default_text;  // the default as written, for the catalog's views
  std::string default_name;
  bool primary_key = false;  // inline PRIMARY KEY
  bool unique = false;       // inline UNIQUE
  std::string constraint_name;
  std::string collation;     // COLLATE name, as written; "" for the server's
};

struct TableConstraint {
  enum Kind { kPrimaryKey, kUnique, kForeignKey } kind = kPrimaryKey;
  std::string name;
  std::vector<std::string> columns;
  ObjectName ref_table;
  std::vector<std::string> ref_columns;
};

// A variable or parameter as declared: "@b nvarchar(20) = N'x' OUTPUT".
struct VariableDecl {
  std::string name;     // with its '@', as written
  TypeName type;
  ExprPtr value;        // DECLARE's initial value, a parameter's default; null when none
  bool output = false;  // a parameter declared OUTPUT
};

// One argument of EXEC: "N'x'", "@a = @v OUTPUT", "@b = DEFAULT".
struct ExecArgument {
  std::string name;     // "@a" when given by name, else ""
  ExprPtr value;        // a constant or a variable; null for DEFAULT
  bool output = false;  // passed OUTPUT
};

enum class StmtKind {
  kSelect,
  kInsert,
  kUpdate,
  kDelete,
  kCreateTable,
  kDropTable,
  kCreateProcedure,
  kDropProcedure,
  kExecute,
  kIf,
  kBlock,
  kBeginTran,
  kCommit,
  kRollback,
  kSaveTran,
  kSetIdentityInsert,
  kSetOption,   // SET NOCOUNT ON, SET LOCK_TIMEOUT n and other session options
  kTruncate,
  kPrint,
  kDeclare,      // DECLARE @a int [= expr], ...
  kSetVariable,  // SET @a = expr
  kReturn,       // RETURN [expr]
  kWhile,        // WHILE condition statement
  kBreak,
  kContinue,
  kTry,          // BEGIN TRY ... END TRY BEGIN CATCH ... END CATCH
  kRaiserror,    // RAISERROR (message, severity, state [, argument ...]) [WITH option, ...]
  kThrow,        // THROW [number, message, state]
  kWaitfor,      // WAITFOR DELAY 'time' / WAITFOR TIME 'time'
  kUse,          // USE database
  kExecuteString,  // EXEC[UTE] ('...' + @v ...): a batch of dynamic SQL
  kCreateView,     // CREATE VIEW name [(columns)] AS select
  kAlterView,      // ALTER VIEW, as CREATE VIEW
  kDropView,       // DROP VIEW name, ...
  kCreateIndex,    // CREATE [UNIQUE] [CLUSTERED | NONCLUSTERED] INDEX name ON table (column [ASC | DESC], ...)
  kDropIndex,      // DROP INDEX table.index, ... / DROP INDEX index ON table, ...
};

// RAISERROR's WITH options.
enum RaiseOption : unsigned {
  kRaiseLog = 1,
  kRaiseNowait = 2,
  kRaiseSetError = 4,
};

struct Stmt {
  StmtKind kind = StmtKind::kSelect;
  std::size_t offset = 0;                  // where the statement starts in its batch
  std::size_t end = 0;                     // one past where it ends
  std::unique_ptr<Select> select;          // kSelect; kInsert ... SELECT
  ObjectName object;                       // target table / procedure (kExecute: the one called)
  std::vector<std::string> columns;        // kInsert column list
  std::vector<std::vector<ExprPtr>> values;  // kInsert VALUES rows
  bool default_values = false;             // INSERT ... DEFAULT VALUES
  std::vector<std::pair<std::string, ExprPtr>> sets;  // kUpdate
  std::vector<TableRef> from;              // kUpdate/kDelete extra FROM
  ExprPtr where;                           // kUpdate, kDelete
  std::vector<ColumnDef> column_defs;      // kCreateTable
  std::vector<TableConstraint> constraints;
  std::string body;                        // kCreateProcedure: text after AS
  std::string text;                        // kCreateProcedure: whole batch text
  ExprPtr condition;                       // kIf, kWhile
  // kIf (one statement), kWhile (its one statement), kBlock, kTry (the TRY
  // block); kCreateProcedure: the body's statements, their offsets in
  // `text`.
  std::vector<std::unique_ptr<Stmt>> then_block;
  std::vector<std::unique_ptr<Stmt>> else_block;  // kIf; kTry: the CATCH block
  bool on = false;                         // SET IDENTITY_INSERT ... ON, SET option ON
  std::string option;                      // kSetOption: the option's name, upper case;
                                           // kBeginTran, kRollback, kSaveTran: the transaction's or savepoint's name;
                                           // kWaitfor: "DELAY" or "TIME"; kUse: the database
  std::int64_t number = 0;                 // kSetOption LOCK_TIMEOUT: its milliseconds
  // kSetOption: its value when a word: "ON", "OFF", "DMY", "US_ENGLISH",
  // "READ COMMITTED" (upper case); empty when given as `value` (a number,
  // a variable, text).
  std::string option_value;
  ExprPtr print;                           // kPrint
  std::vector<VariableDecl> variables;     // kDeclare; kCreateProcedure: its parameters
  std::string variable;                    // kSetVariable: the variable set; kExecute: "@rc" of EXEC @rc = p
  ExprPtr value;                           // kSetVariable; kReturn (null when none); kWaitfor: the time; kSetOption
  std::vector<ExecArgument> arguments;     // kExecute
  // kRaiserror: message, severity, state, then the arguments; kThrow:
  // number, message, state (none for a bare THROW); kExecuteString: the
  // strings and variables joined into the batch.
  std::vector<ExprPtr> expressions;
  unsigned raise_options = 0;              // kRaiserror: RaiseOption bits
  // kCreateIndex: the index; `object` its table, `columns` its columns.
  struct IndexDef {
    std::string name;
    bool unique = false;
    bool clustered = false;
    std::vector<bool> descending;  // a column's DESC, by position in `columns`
  } index;
  // kDropView: the views; kDropIndex: each index, `object` its name and
  // `schema` its table ("DROP INDEX t.ix" and "DROP INDEX ix ON t" alike).
  std::vector<ObjectName> objects;
};
using StmtPtr = std::unique_ptr<Stmt>;

}  // namespace sqlsrv::ast
