// The T-SQL parser itself, for its own files only; everyone else goes
// through parser.h. One class reads a batch's tokens by recursive descent:
// parser.cpp holds its entry points and token helpers,
// parser_statements.cpp the statements, parser_definitions.cpp CREATE,
// ALTER and DROP with the types they declare, parser_queries.cpp SELECT,
// and parser_expressions.cpp expressions by precedence.
#pragma once

#include <algorithm>
#include <charconv>
#include <climits>
#include <set>
#include <utility>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sqlserver/errors.h"
#include "platform/sqlserver/frontend/ast.h"
#include "platform/sqlserver/lexer.h"

namespace sqlsrv::parsing {

using namespace ast;

inline const std::set<std::string> kReserved = {
    "ADD", "ALL", "ALTER", "AND", "ANY", "AS", "ASC", "BEGIN", "BETWEEN", "BY", "CASE", "CHECK", "COMMIT", "COMPUTE",
    "CONSTRAINT", "CREATE", "CROSS", "DEFAULT", "DELETE", "DESC", "DISTINCT", "DROP", "ELSE", "END", "EXCEPT",
    "EXEC", "EXECUTE", "EXISTS", "FOR", "FOREIGN", "FROM", "FULL", "GO", "GROUP", "HAVING", "IF", "IN", "INNER",
    "INSERT", "INTERSECT", "INTO", "IS", "JOIN", "KEY", "LEFT", "LIKE", "NOT", "NULL", "ON", "OR", "ORDER", "OUTER",
    "PRIMARY", "PRINT", "PROC", "PROCEDURE", "REFERENCES", "RETURN", "RIGHT", "ROLLBACK", "SELECT", "SET", "TABLE",
    "THEN", "TOP", "TRAN", "TRANSACTION", "TRUNCATE", "UNION", "UNIQUE", "UPDATE", "VALUES", "WHEN", "WHERE",
    "WHILE", "DECLARE", "BREAK", "CONTINUE", "GOTO", "OPTION", "RAISERROR", "USE", "WAITFOR", "WITH"};

inline bool IsReserved(const Token& t) { return t.kind == TokKind::kWord && kReserved.count(UpperAscii(t.text)) > 0; }

// How deeply statements, queries and expressions may nest: parentheses,
// subqueries, CASE, NOT and signs, IF and BEGIN blocks each count a level.
// It keeps the recursion of the parser, the translator and the engine far
// from the end of any thread's stack; SQLite parses less than this anyway.
inline constexpr int kMaxNesting = 128;
// CASE expressions nest at most 10 deep, as on SQL Server.
inline constexpr int kMaxCaseNesting = 10;
// The most parameters a procedure or a parameterized query declares.
inline constexpr std::size_t kMaxParameters = 2100;
// The most substitution arguments RAISERROR takes.
inline constexpr std::size_t kMaxRaiseArguments = 20;
// The largest OPTION (MAXRECURSION n).
inline constexpr std::int64_t kMaxRecursionLimit = 32767;

// The largest length, size or precision a type takes in "type(n)".
struct TypeLimit {
  const char* type;
  int max;
  bool size;  // a character type's size (131), else a precision (2750)
};
inline constexpr TypeLimit kTypeLimits[] = {
    {"char", 8000, true},   {"character", 8000, true}, {"varchar", 8000, true},
    {"nchar", 4000, true},  {"nvarchar", 4000, true},  {"decimal", 38, false},
    {"numeric", 38, false}, {"dec", 38, false},        {"float", 53, false},
};

// Digits as SQL Server repeats them in a message: without leading zeros.
inline std::string WithoutLeadingZeros(const std::string& digits) {
  const auto first = digits.find_first_not_of('0');
  return first == std::string::npos ? "0" : digits.substr(first);
}

// Reads a run of digits into an integer of type T; false when it does not
// fit.
template <typename T>
bool ParseDigits(const std::string& digits, T* out) {
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), *out);
  return ec == std::errc() && end == digits.data() + digits.size();
}

// Where a type is declared: a column of CREATE TABLE (its name and 1-based
// position), or CAST and CONVERT (no name, position 0).
struct TypeSite {
  std::string_view column;
  int ordinal = 0;
};

class Parser {
 public:
  // Where a query stands: a statement's own (which may assign variables
  // and be read in browse mode), an INSERT's or a view's, or inside
  // another query.
  enum class QueryRole { kNested, kStatement, kInserted, kView };

  Parser(std::string_view sql, bool quoted_identifier)
      : sql_(sql), t_(Tokenize(sql)), quoted_identifier_(quoted_identifier) {
    if (!quoted_identifier_) ReadDoubleQuotes(0);
  }

  std::vector<StmtPtr> Batch();

  ObjectName LoneObjectName();

  std::vector<VariableDecl> LoneParameterList();

 private:
  // Held while a nested part parses: one level of `depth` deeper, refused
  // with `error` past `limit`.
  class Level {
   public:
    Level(int& depth, int limit, com::Error (*error)()) : depth_(depth) {
      if (depth_ >= limit) throw error();
      ++depth_;
    }
    ~Level() { --depth_; }
    Level(const Level&) = delete;
    Level& operator=(const Level&) = delete;

   private:
    int& depth_;
  };
  Level Nested() { return Level(depth_, kMaxNesting, &NestedTooDeeplyError); }
  static com::Error CaseTooDeep() {
    return SqlErr(kCaseNesting, "Case expressions may only be nested to level " + std::to_string(kMaxCaseNesting) + ".");
  }

  const Token& Peek(std::size_t k = 0) const { return t_[std::min(i_ + k, t_.size() - 1)]; }
  bool At(TokKind k) const { return Peek().kind == k; }
  const Token& Next() { return t_[std::min(i_++, t_.size() - 1)]; }

  [[noreturn]] void Fail() const { Fail(Peek()); }
  [[noreturn]] static void Fail(const Token& t);

  bool AcceptKeyword(std::string_view kw);
  void ExpectKeyword(std::string_view kw) {
    if (!AcceptKeyword(kw)) Fail();
  }
  bool AcceptSymbol(std::string_view s);
  void ExpectSymbol(std::string_view s) {
    if (!AcceptSymbol(s)) Fail();
  }

  // A name part: a bare non-reserved word or a quoted name.
  std::string Name();
  bool AtName() const {
    const Token& t = Peek();
    return t.kind == TokKind::kQuoted || (t.kind == TokKind::kWord && !IsReserved(t));
  }

  ObjectName Object();

  StmtPtr Statement();
  // The statements Statement hands on, each with its keyword taken.
  void While(Stmt& s);
  void Waitfor(Stmt& s);
  void Return(Stmt& s);
  void Drop(Stmt& s);
  void If(Stmt& s);
  void Begin(Stmt& s);
  void Set(Stmt& s);

  // The one statement of an IF, ELSE or WHILE, which starts as freshly as
  // one after a semicolon.
  StmtPtr Body();

  // Whether the statement at hand starts where one may that must not follow
  // another without a semicolon (WITH, THROW): first in its batch, block
  // or procedure body, after a semicolon, or as the `body` of IF, ELSE or
  // WHILE.
  bool AfterStatementEnd(bool body) const;

  // BEGIN TRY (taken) statements END TRY BEGIN CATCH statements END CATCH:
  // nothing may stand between the two blocks.
  void TryCatch(Stmt& s);

  // RAISERROR (taken) ( message, severity, state [, argument ...] )
  // [WITH LOG | NOWAIT | SETERROR, ...]
  void Raiserror(Stmt& s);

  // THROW (taken) [number, message, state]: bare only inside a CATCH block.
  void Throw(Stmt& s);

  // EXEC[UTE] (taken) ( {'text' | N'text' | @variable} [+ ...] )
  void ExecuteString(Stmt& s);

  // WITH (taken) name [(columns)] AS (query), ... then the SELECT or
  // INSERT ... SELECT they belong to.
  void CommonTableExpressions(Stmt& s);

  // The COMPUTE clauses after a statement's query, which began at token
  // `start`. Each clause gets its own copy of the query, parsed again from
  // the same tokens.
  void ComputeClauses(Select& select, std::size_t start);

  // A row aggregate of COMPUTE: "SUM(expression)"; DISTINCT and COUNT(*)
  // are syntax errors, as on SQL Server.
  ExprPtr RowAggregate();

  // FOR BROWSE after a statement's query: 114 for a query assigning
  // variables, 198 for one with UNION, INTERSECT or EXCEPT, 171 for SELECT
  // INTO. FOR XML is refused; any other FOR after a query is a syntax error.
  void ForBrowse(Select& select);

  // FOR BROWSE where only a statement's own query may have it: after the
  // query of an INSERT (171), of a view (176), of a subquery or derived
  // table (1029).
  void RefuseBrowse(QueryRole role) const;

  // A statement's OPTION (MAXRECURSION n), after its query.
  void QueryOptions(Select& select);

  // SAVE TRAN[SACTION]: SAVE is no reserved word.
  bool AtSaveTransaction() const {
    return Peek().IsKeyword("SAVE") && (Peek(1).IsKeyword("TRAN") || Peek(1).IsKeyword("TRANSACTION"));
  }

  bool AtStatementStart() const;

  // SET option value, a session option: ON or OFF (several options at
  // once, "SET ANSI_NULLS, ANSI_PADDING ON", make a block of one SET each),
  // a word (SET DATEFORMAT dmy, SET TRANSACTION ISOLATION LEVEL READ
  // COMMITTED), text (SET LANGUAGE 'us_english'), or a number or variable
  // (SET ROWCOUNT @n). SET QUOTED_IDENTIFIER takes effect here, for the
  // rest of the batch, as SQL Server applies it when it parses.
  void SetOption(Stmt& s);

  // An option's name; the second word of SET STATISTICS IO, which a list
  // after it leaves out (SET STATISTICS IO, TIME ON).
  std::string OptionName(const std::string& before);

  bool OnOrOff();

  // SET QUOTED_IDENTIFIER: the batch's "double-quoted" tokens after it are
  // names when ON, text when OFF.
  void ApplyAtParse(const Stmt& s);
  void ReadDoubleQuotes(std::size_t from);
  bool IsDoubleQuoted(const Token& t) const {
    return (t.kind == TokKind::kQuoted || t.kind == TokKind::kString) && t.offset < sql_.size() && sql_[t.offset] == '"';
  }
  // A definition the catalog keeps and parses again later (CREATE TABLE,
  // CREATE PROCEDURE) is read then with QUOTED_IDENTIFIER ON: one that
  // holds "text" under OFF is refused rather than read differently.
  void CheckKeptDefinition(std::size_t first, std::size_t end) const;

  bool AtCreateView() const {
    return (Peek().IsKeyword("CREATE") || Peek().IsKeyword("ALTER")) && Peek(1).IsKeyword("VIEW");
  }

  // CREATE | ALTER VIEW name [(column, ...)] [WITH option, ...] AS select
  // [WITH CHECK OPTION]: alone in its batch.
  StmtPtr CreateView();

  // CREATE (taken) [UNIQUE] [CLUSTERED | NONCLUSTERED] INDEX name ON table
  // (column [ASC | DESC], ...) [WITH option, ...] [ON filegroup]. The
  // options that only place or pack the index's pages are taken; those
  // that change what it does are refused.
  void CreateIndex(Stmt& s);

  // DROP INDEX (taken) table.index, ... or index ON table, ...
  void DropIndex(Stmt& s);

  StmtPtr CreateProcedure();

  // "@a int, @b nvarchar(20) = N'x', @c money OUTPUT": the parameters of a
  // procedure (`statement` "CREATE PROCEDURE") or a parameterized query.
  std::vector<VariableDecl> ParameterList(std::string_view statement);

  // A local variable's name: "@name" (not "@@name", nor a lone "@").
  std::string VariableName();

  // DECLARE @a [AS] int [= expr], ...
  void Declare(Stmt& s);

  // SET @a = expr, and the compound SET @a += expr (-=, *=, /=, %=, &=,
  // |=, ^=), which means SET @a = @a + expr.
  void SetVariable(Stmt& s);

  // EXEC[UTE] [@rc =] name [argument, ...], each argument
  // "[@parameter =] {constant | @variable [OUTPUT] | DEFAULT}".
  void Execute(Stmt& s);

  // A value as a parameter's default or an EXEC argument gives it: NULL, a
  // number with an optional sign, a string or money; for an argument
  // (`argument`) also a variable, or a bare word, which stands for the
  // string it spells.
  ExprPtr Constant(bool argument);

  void Insert(Stmt& s);

  void Update(Stmt& s);

  // A value of INSERT's VALUES or UPDATE's SET: an expression, or DEFAULT
  // for the column's default.
  ExprPtr ValueOrDefault() {
    if (Peek().IsKeyword("DEFAULT")) return Make(ExprKind::kDefault, Next().offset);
    return Expression();
  }

  void Delete(Stmt& s);

  TypeName Type(TypeSite site = {});

  static bool IsDecimalName(const std::string& type) { return type == "decimal" || type == "numeric" || type == "dec"; }

  // The s of "decimal(p, s)": from 0 to p, else 183 for a column and 192
  // elsewhere.
  static int DecimalScale(const std::string& digits, int precision, TypeSite site);

  // The line of the batch an offset is on, counted from 1.
  std::size_t LineOf(std::size_t offset) const {
    const std::string_view before = sql_.substr(0, std::min(offset, sql_.size()));
    return 1 + static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n'));
  }

  // The n of "type(n)": a character type's size past what it holds raises
  // 131, a decimal's or float's precision past its maximum 2750, whatever
  // the number of digits; other types keep any length (it is not used).
  static int TypeLength(const std::string& type, const std::string& digits, TypeSite site);

  std::vector<std::string> ColumnList();

  bool Skip(std::string_view kw) { return AcceptKeyword(kw); }

  void CreateTable(Stmt& s);

  void CreateTableBody(Stmt& s);

  // An optionally negative integer constant; one past 64 bits raises 8115
  // as converting `what` to `type` would.
  std::int64_t SignedInteger(std::string_view what, std::string_view type);

  static com::Error Overflow(std::string_view what, std::string_view type) {
    return ConvertOverflowError(std::string(type), std::string(what));
  }

  TableConstraint Constraint();

  // A SELECT; `assignments`: a statement of its own, whose items may
  // assign variables ("SELECT @a = x FROM ...").
  std::unique_ptr<Select> SelectStatement(QueryRole role = QueryRole::kNested);

  bool AtSetOperator() const {
    return Peek().IsKeyword("UNION") || Peek().IsKeyword("EXCEPT") || Peek().IsKeyword("INTERSECT");
  }

  static bool Assigns(const Select& sel) { return !sel.items.empty() && !sel.items.front().variable.empty(); }

  // Queries joined by UNION [ALL] and EXCEPT, left to right, each of them
  // queries joined by INTERSECT. A SELECT that assigns variables stands
  // alone.
  std::unique_ptr<Select> CombinedQuery(bool assignments);

  // Queries joined by INTERSECT, which binds tighter than UNION and EXCEPT.
  std::unique_ptr<Select> IntersectedQuery(bool assignments);

  // A SELECT core, or combined queries in parentheses.
  std::unique_ptr<Select> QueryTerm(bool assignments);

  // One SELECT without ORDER BY (its core), alone or one of the queries
  // a set operator combines.
  std::unique_ptr<Select> SelectCore(bool assignments);

  std::vector<TableRef> FromList();

  TableRef TableSource(const char* join);

  // Whether the "(" at hand opens a query ("(SELECT", "((SELECT") rather
  // than a join.
  bool AtQueryInParentheses() const;

  ExprPtr Make(ExprKind k, std::size_t offset);

  ExprPtr Expression() {
    const Level level = Nested();
    return Or();
  }

  ExprPtr Or();

  ExprPtr And();

  ExprPtr Not();

  ExprPtr Predicate();

  ExprPtr Additive();

  ExprPtr Multiplicative();

  ExprPtr Unary();

  ExprPtr Primary();

  ExprPtr Case();

  std::string_view sql_;
  std::vector<Token> t_;
  std::size_t i_ = 0;
  bool quoted_identifier_ = true;  // SET QUOTED_IDENTIFIER as it stands where the parse is
  int depth_ = 0;       // levels of nesting open (Nested)
  int case_depth_ = 0;  // CASE expressions open
  int loop_depth_ = 0;  // WHILE bodies open: BREAK and CONTINUE belong to one
  int catch_depth_ = 0;  // CATCH blocks open: a bare THROW belongs to one
  bool fresh_body_ = false;  // the statement parsing is the body of IF, ELSE or WHILE
  bool in_procedure_ = false;  // in a procedure's body, where RETURN may give a status
  bool into_allowed_ = false;  // the SELECT core at hand may have INTO (the first of a statement)
};

}  // namespace sqlsrv::parsing
