#include "platform/sqlserver/frontend/parser.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <set>
#include <utility>

#include "platform/sqlserver/errors.h"
#include "platform/sqlserver/lexer.h"

namespace sqlsrv {
namespace {

using namespace ast;

const std::set<std::string> kReserved = {
    "ADD", "ALL", "ALTER", "AND", "ANY", "AS", "ASC", "BEGIN", "BETWEEN", "BY", "CASE", "CHECK", "COMMIT", "COMPUTE",
    "CONSTRAINT", "CREATE", "CROSS", "DEFAULT", "DELETE", "DESC", "DISTINCT", "DROP", "ELSE", "END", "EXCEPT",
    "EXEC", "EXECUTE", "EXISTS", "FOR", "FOREIGN", "FROM", "FULL", "GO", "GROUP", "HAVING", "IF", "IN", "INNER",
    "INSERT", "INTERSECT", "INTO", "IS", "JOIN", "KEY", "LEFT", "LIKE", "NOT", "NULL", "ON", "OR", "ORDER", "OUTER",
    "PRIMARY", "PRINT", "PROC", "PROCEDURE", "REFERENCES", "RETURN", "RIGHT", "ROLLBACK", "SELECT", "SET", "TABLE",
    "THEN", "TOP", "TRAN", "TRANSACTION", "TRUNCATE", "UNION", "UNIQUE", "UPDATE", "VALUES", "WHEN", "WHERE",
    "WHILE", "DECLARE", "BREAK", "CONTINUE", "GOTO", "OPTION", "RAISERROR", "USE", "WAITFOR", "WITH"};

bool IsReserved(const Token& t) { return t.kind == TokKind::kWord && kReserved.count(UpperAscii(t.text)) > 0; }

// How deeply statements, queries and expressions may nest: parentheses,
// subqueries, CASE, NOT and signs, IF and BEGIN blocks each count a level.
// It keeps the recursion of the parser, the translator and the engine far
// from the end of any thread's stack; SQLite parses less than this anyway.
constexpr int kMaxNesting = 128;
// CASE expressions nest at most 10 deep, as on SQL Server.
constexpr int kMaxCaseNesting = 10;
// The most parameters a procedure or a parameterized query declares.
constexpr std::size_t kMaxParameters = 2100;
// The most substitution arguments RAISERROR takes.
constexpr std::size_t kMaxRaiseArguments = 20;
// The largest OPTION (MAXRECURSION n).
constexpr std::int64_t kMaxRecursionLimit = 32767;

// The largest length, size or precision a type takes in "type(n)".
struct TypeLimit {
  const char* type;
  int max;
  bool size;  // a character type's size (131), else a precision (2750)
};
constexpr TypeLimit kTypeLimits[] = {
    {"char", 8000, true},   {"character", 8000, true}, {"varchar", 8000, true},
    {"nchar", 4000, true},  {"nvarchar", 4000, true},  {"decimal", 38, false},
    {"numeric", 38, false}, {"dec", 38, false},        {"float", 53, false},
};

// Digits as SQL Server repeats them in a message: without leading zeros.
std::string WithoutLeadingZeros(const std::string& digits) {
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

  std::vector<StmtPtr> Batch() {
    std::vector<StmtPtr> out;
    while (!At(TokKind::kEnd)) {
      if (Peek().IsSymbol(";")) {
        ++i_;
        continue;
      }
      if (Peek().IsKeyword("CREATE") && (Peek(1).IsKeyword("PROC") || Peek(1).IsKeyword("PROCEDURE"))) {
        if (!out.empty()) throw SqlErr(kCreateProcFirst, "'CREATE PROCEDURE' must be the first statement in a query batch.");
        const std::size_t first = i_;
        out.push_back(CreateProcedure());
        CheckKeptDefinition(first, i_);
        continue;
      }
      if (AtCreateView()) {
        if (!out.empty()) {
          throw SqlErr(kCreateProcFirst, "'" + UpperAscii(Peek().text) + " VIEW' must be the first statement in a query batch.");
        }
        const std::size_t first = i_;
        out.push_back(CreateView());
        CheckKeptDefinition(first, i_);
        continue;
      }
      if (out.empty() && AtName() && !AtSaveTransaction() && !Peek().IsKeyword("THROW")) {
        // A procedure's name first in a batch runs it, EXEC left out.
        auto s = std::make_unique<Stmt>();
        s->offset = Peek().offset;
        Execute(*s);
        out.push_back(std::move(s));
      } else {
        out.push_back(Statement());
      }
      out.back()->end = Peek().offset;
    }
    return out;
  }

  ObjectName LoneObjectName() {
    ObjectName n = Object();
    if (!At(TokKind::kEnd)) Fail();
    return n;
  }

  std::vector<VariableDecl> LoneParameterList() {
    std::vector<VariableDecl> out;
    if (At(TokKind::kEnd)) return out;
    out = ParameterList("parameterized query");
    if (!At(TokKind::kEnd)) Fail();
    return out;
  }

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

  // ------------------------------------------------------------ helpers
  const Token& Peek(std::size_t k = 0) const { return t_[std::min(i_ + k, t_.size() - 1)]; }
  bool At(TokKind k) const { return Peek().kind == k; }
  const Token& Next() { return t_[std::min(i_++, t_.size() - 1)]; }

  [[noreturn]] void Fail() const { Fail(Peek()); }
  [[noreturn]] static void Fail(const Token& t) {
    if (t.kind == TokKind::kEnd) throw SqlErr(kSyntax, "Incorrect syntax near the end of the batch.");
    if (IsReserved(t)) throw SqlErr(kSyntaxKeyword, "Incorrect syntax near the keyword '" + UpperAscii(t.text) + "'.");
    throw SqlErr(kSyntax, "Incorrect syntax near '" + t.text + "'.");
  }

  bool AcceptKeyword(std::string_view kw) {
    if (!Peek().IsKeyword(kw)) return false;
    ++i_;
    return true;
  }
  void ExpectKeyword(std::string_view kw) {
    if (!AcceptKeyword(kw)) Fail();
  }
  bool AcceptSymbol(std::string_view s) {
    if (!Peek().IsSymbol(s)) return false;
    ++i_;
    return true;
  }
  void ExpectSymbol(std::string_view s) {
    if (!AcceptSymbol(s)) Fail();
  }

  // A name part: a bare non-reserved word or a quoted name.
  std::string Name() {
    const Token& t = Peek();
    if (t.kind == TokKind::kQuoted || (t.kind == TokKind::kWord && !IsReserved(t))) {
      ++i_;
      return t.text;
    }
    Fail();
  }
  bool AtName() const {
    const Token& t = Peek();
    return t.kind == TokKind::kQuoted || (t.kind == TokKind::kWord && !IsReserved(t));
  }

  ObjectName Object() {
    std::vector<std::string> parts{Name()};
    while (AcceptSymbol(".")) {
      if (Peek().IsSymbol(".")) {  // db..object
        parts.emplace_back("");
        continue;
      }
      parts.push_back(Name());
    }
    if (parts.size() > 3) Fail();
    ObjectName n;
    n.object = parts.back();
    if (parts.size() >= 2) n.schema = parts[parts.size() - 2];
    if (parts.size() == 3) n.database = parts[0];
    return n;
  }

  // ------------------------------------------------------------ statements
  StmtPtr Statement() {
    const Level level = Nested();
    const bool body = std::exchange(fresh_body_, false);
    const Token& t = Peek();
    auto s = std::make_unique<Stmt>();
    s->offset = t.offset;
    if (t.IsKeyword("SELECT") || t.IsSymbol("(")) {  // "(SELECT ...) UNION ..." too
      s->kind = StmtKind::kSelect;
      into_allowed_ = t.IsKeyword("SELECT");
      const std::size_t query_start = i_;
      s->select = SelectStatement(QueryRole::kStatement);
      into_allowed_ = false;
      ComputeClauses(*s->select, query_start);
      ForBrowse(*s->select);
      QueryOptions(*s->select);
    } else if (t.IsKeyword("WITH")) {
      if (!AfterStatementEnd(body)) {
        throw SqlErr(319, "Incorrect syntax near the keyword 'with'. If this statement is a common table expression, "
                          "an xmlnamespaces clause or a change tracking context clause, the previous statement must be "
                          "terminated with a semicolon.");
      }
      ++i_;
      CommonTableExpressions(*s);
    } else if (t.IsKeyword("WHILE")) {
      ++i_;
      s->kind = StmtKind::kWhile;
      s->condition = Expression();
      ++loop_depth_;
      s->then_block.push_back(Body());
      --loop_depth_;
    } else if (t.IsKeyword("BREAK") || t.IsKeyword("CONTINUE")) {
      ++i_;
      const bool leave = t.IsKeyword("BREAK");
      if (loop_depth_ == 0) {
        throw SqlErr(leave ? 135 : 136, std::string("Cannot use a ") + (leave ? "BREAK" : "CONTINUE") +
                                            " statement outside the scope of a WHILE statement.");
      }
      s->kind = leave ? StmtKind::kBreak : StmtKind::kContinue;
    } else if (t.IsKeyword("RAISERROR")) {
      ++i_;
      Raiserror(*s);
    } else if (t.IsKeyword("THROW")) {
      if (!AfterStatementEnd(body)) Fail();
      ++i_;
      Throw(*s);
    } else if (t.IsKeyword("WAITFOR")) {
      ++i_;
      s->kind = StmtKind::kWaitfor;
      if (!Peek().IsKeyword("DELAY") && !Peek().IsKeyword("TIME")) Fail();
      s->option = UpperAscii(Next().text);
      if (!At(TokKind::kString) && !At(TokKind::kVariable)) Fail();
      s->value = Primary();
    } else if (t.IsKeyword("USE")) {
      ++i_;
      if (in_procedure_) throw SqlErr(154, "a USE database statement is not allowed in a procedure, function or trigger.");
      s->kind = StmtKind::kUse;
      s->option = Name();
    } else if (t.IsKeyword("DECLARE")) {
      ++i_;
      Declare(*s);
    } else if (t.IsKeyword("RETURN")) {
      ++i_;
      s->kind = StmtKind::kReturn;
      if (!At(TokKind::kEnd) && !Peek().IsSymbol(";") && !AtStatementStart()) {
        if (!in_procedure_) {
          throw SqlErr(kReturnValueHere, "A RETURN statement with a return value cannot be used in this context.");
        }
        s->value = Expression();
      }
    } else if (t.IsKeyword("INSERT")) {
      Insert(*s);
    } else if (t.IsKeyword("UPDATE")) {
      Update(*s);
    } else if (t.IsKeyword("DELETE")) {
      Delete(*s);
    } else if (AtCreateView()) {
      throw SqlErr(kCreateProcFirst, "'" + UpperAscii(t.text) + " VIEW' must be the first statement in a query batch.");
    } else if (t.IsKeyword("CREATE")) {
      ++i_;
      if (AcceptKeyword("TABLE")) {
        CreateTable(*s);
      } else {
        CreateIndex(*s);
      }
    } else if (t.IsKeyword("DROP")) {
      ++i_;
      if (AcceptKeyword("TABLE")) {
        s->kind = StmtKind::kDropTable;
        s->object = Object();
      } else if (AcceptKeyword("PROC") || AcceptKeyword("PROCEDURE")) {
        s->kind = StmtKind::kDropProcedure;
        s->object = Object();
      } else if (AcceptKeyword("VIEW")) {
        s->kind = StmtKind::kDropView;
        do {
          s->objects.push_back(Object());
        } while (AcceptSymbol(","));
      } else if (AcceptKeyword("INDEX")) {
        DropIndex(*s);
      } else {
        Fail();
      }
    } else if (t.IsKeyword("EXEC") || t.IsKeyword("EXECUTE")) {
      ++i_;
      if (Peek().IsSymbol("(")) {
        ExecuteString(*s);
      } else {
        Execute(*s);
      }
    } else if (t.IsKeyword("IF")) {
      ++i_;
      s->kind = StmtKind::kIf;
      s->condition = Expression();
      s->then_block.push_back(Body());
      while (AcceptSymbol(";")) {
      }
      if (AcceptKeyword("ELSE")) s->else_block.push_back(Body());
    } else if (t.IsKeyword("BEGIN")) {
      ++i_;
      if (Peek().IsKeyword("TRY")) {
        ++i_;
        TryCatch(*s);
      } else if (AcceptKeyword("TRAN") || AcceptKeyword("TRANSACTION")) {
        s->kind = StmtKind::kBeginTran;
        if (AtName() && !AtStatementStart()) s->option = Name();
      } else {
        s->kind = StmtKind::kBlock;
        while (!Peek().IsKeyword("END")) {
          if (At(TokKind::kEnd)) Fail();
          if (AcceptSymbol(";")) continue;
          s->then_block.push_back(Statement());
        }
        ++i_;
      }
    } else if (t.IsKeyword("COMMIT") || t.IsKeyword("ROLLBACK")) {
      ++i_;
      s->kind = t.IsKeyword("COMMIT") ? StmtKind::kCommit : StmtKind::kRollback;
      if (AcceptKeyword("TRAN") || AcceptKeyword("TRANSACTION") || AcceptKeyword("WORK")) {
        if (AtName() && !AtStatementStart()) s->option = Name();
      }
    } else if (AtSaveTransaction()) {
      i_ += 2;
      s->kind = StmtKind::kSaveTran;
      s->option = Name();
    } else if (t.IsKeyword("SET")) {
      ++i_;
      if (At(TokKind::kVariable)) {
        SetVariable(*s);
      } else if (AcceptKeyword("IDENTITY_INSERT")) {
        s->kind = StmtKind::kSetIdentityInsert;
        s->object = Object();
        if (AcceptKeyword("ON")) {
          s->on = true;
        } else if (!AcceptKeyword("OFF")) {
          Fail();
        }
      } else {
        SetOption(*s);
      }
    } else if (t.IsKeyword("TRUNCATE")) {
      ++i_;
      ExpectKeyword("TABLE");
      s->kind = StmtKind::kTruncate;
      s->object = Object();
    } else if (t.IsKeyword("PRINT")) {
      ++i_;
      s->kind = StmtKind::kPrint;
      s->print = Expression();
    } else {
      Fail();
    }
    // Where its last token ends: a statement inside IF or BEGIN ... END
    // has its own text too (CREATE TABLE keeps it as the definition).
    s->end = t_[std::min(i_, t_.size()) - 1].end;
    return s;
  }

  // The one statement of an IF, ELSE or WHILE, which starts as freshly as
  // one after a semicolon.
  StmtPtr Body() {
    const bool outer = fresh_body_;
    fresh_body_ = true;
    StmtPtr s = Statement();
    fresh_body_ = outer;
    return s;
  }

  // Whether the statement at hand starts where one may that must not follow
  // another without a semicolon (WITH, THROW): first in its batch, block
  // or procedure body, after a semicolon, or as the `body` of IF, ELSE or
  // WHILE.
  bool AfterStatementEnd(bool body) const {
    if (body || i_ == 0) return true;
    const Token& before = t_[i_ - 1];
    return before.IsSymbol(";") || before.IsKeyword("BEGIN") || before.IsKeyword("TRY") ||
           before.IsKeyword("CATCH") || before.IsKeyword("AS") || before.IsKeyword("ELSE");
  }

  // BEGIN TRY (taken) statements END TRY BEGIN CATCH statements END CATCH:
  // nothing may stand between the two blocks.
  void TryCatch(Stmt& s) {
    s.kind = StmtKind::kTry;
    auto block = [&](std::vector<StmtPtr>* into, const char* closing) {
      while (!Peek().IsKeyword("END")) {
        if (At(TokKind::kEnd)) Fail();
        if (AcceptSymbol(";")) continue;
        into->push_back(Statement());
      }
      ++i_;
      if (!Peek().IsKeyword(closing)) Fail();
      ++i_;
    };
    if (Peek().IsKeyword("END")) Fail();  // a TRY block holds a statement at least
    block(&s.then_block, "TRY");
    if (!Peek().IsKeyword("BEGIN") || !Peek(1).IsKeyword("CATCH")) Fail();
    i_ += 2;
    ++catch_depth_;
    block(&s.else_block, "CATCH");
    --catch_depth_;
  }

  // RAISERROR (taken) ( message, severity, state [, argument ...] )
  // [WITH LOG | NOWAIT | SETERROR, ...]
  void Raiserror(Stmt& s) {
    s.kind = StmtKind::kRaiserror;
    ExpectSymbol("(");
    do {
      if (s.expressions.size() == 3 + kMaxRaiseArguments) {
        throw SqlErr(2747, "Too many substitution parameters for RAISERROR. Cannot exceed " +
                               std::to_string(kMaxRaiseArguments) + " substitution parameters.");
      }
      s.expressions.push_back(Expression());
    } while (AcceptSymbol(","));
    if (s.expressions.size() < 3) Fail();
    ExpectSymbol(")");
    if (AcceptKeyword("WITH")) {
      do {
        if (AcceptKeyword("LOG")) {
          s.raise_options |= kRaiseLog;
        } else if (AcceptKeyword("NOWAIT")) {
          s.raise_options |= kRaiseNowait;
        } else if (AcceptKeyword("SETERROR")) {
          s.raise_options |= kRaiseSetError;
        } else {
          Fail();
        }
      } while (AcceptSymbol(","));
    }
  }

  // THROW (taken) [number, message, state]: bare only inside a CATCH block.
  void Throw(Stmt& s) {
    s.kind = StmtKind::kThrow;
    if (At(TokKind::kEnd) || Peek().IsSymbol(";") || Peek().IsKeyword("END")) {
      if (catch_depth_ == 0) {
        throw SqlErr(10704, "To rethrow an error, a THROW statement must be used inside a CATCH block. Insert the "
                            "THROW statement inside a CATCH block, or add error parameters to the THROW statement.");
      }
      return;
    }
    for (int k = 0; k < 3; ++k) {
      if (k > 0) ExpectSymbol(",");
      s.expressions.push_back(Expression());
    }
  }

  // EXEC[UTE] (taken) ( {'text' | N'text' | @variable} [+ ...] )
  void ExecuteString(Stmt& s) {
    s.kind = StmtKind::kExecuteString;
    ExpectSymbol("(");
    do {
      if (!At(TokKind::kString) && !At(TokKind::kVariable)) Fail();
      s.expressions.push_back(Primary());
    } while (AcceptSymbol("+"));
    ExpectSymbol(")");
  }

  // WITH (taken) name [(columns)] AS (query), ... then the SELECT or
  // INSERT ... SELECT they belong to.
  void CommonTableExpressions(Stmt& s) {
    std::vector<CommonTableExpression> ctes;
    do {
      CommonTableExpression cte;
      cte.name = Name();
      for (const auto& other : ctes) {
        if (SameName(other.name, cte.name)) {
          throw SqlErr(239, "Duplicate common table expression name '" + cte.name + "' was specified.");
        }
      }
      if (AcceptSymbol("(")) {
        do {
          cte.columns.push_back(Name());
        } while (AcceptSymbol(","));
        ExpectSymbol(")");
      }
      ExpectKeyword("AS");
      ExpectSymbol("(");
      cte.query = SelectStatement();
      ExpectSymbol(")");
      ctes.push_back(std::move(cte));
    } while (AcceptSymbol(","));
    if (Peek().IsKeyword("SELECT")) {
      s.kind = StmtKind::kSelect;
      s.select = SelectStatement(QueryRole::kStatement);
      if (!s.select->items.empty() && !s.select->items.front().variable.empty()) {
        throw SqlErr(kNotSupported, "A common table expression before a SELECT that assigns variables is not supported "
                                    "by the embedded server.");
      }
      ForBrowse(*s.select);
      QueryOptions(*s.select);
    } else if (Peek().IsKeyword("INSERT")) {
      Insert(s);
      if (!s.select) {
        throw SqlErr(kNotSupported, "A common table expression is supported before SELECT and INSERT ... SELECT only "
                                    "by the embedded server.");
      }
    } else if (Peek().IsKeyword("UPDATE") || Peek().IsKeyword("DELETE")) {
      throw SqlErr(kNotSupported, "A common table expression is supported before SELECT and INSERT ... SELECT only by "
                                  "the embedded server.");
    } else {
      Fail();
    }
    s.select->ctes = std::move(ctes);
  }

  // The COMPUTE clauses after a statement's query, which began at token
  // `start`. Each clause gets its own copy of the query, parsed again from
  // the same tokens.
  void ComputeClauses(Select& select, std::size_t start) {
    while (Peek().IsKeyword("COMPUTE")) {
      ++i_;
      if (Assigns(select)) {
        throw SqlErr(141, "A SELECT statement that assigns a value to a variable must not be combined with "
                          "data-retrieval operations.");
      }
      if (!select.into.object.empty()) {
        throw SqlErr(kNotSupported, "A SELECT INTO statement cannot have a COMPUTE clause.");
      }
      ComputeClause clause;
      do {
        clause.aggregates.push_back(RowAggregate());
      } while (AcceptSymbol(","));
      if (AcceptKeyword("BY")) {
        do {
          clause.by.push_back(Expression());
        } while (AcceptSymbol(","));
      }
      select.computes.push_back(std::move(clause));
    }
    if (select.computes.empty()) return;
    const std::size_t end = i_;
    for (ComputeClause& clause : select.computes) {
      i_ = start;
      clause.rows = SelectStatement();
    }
    i_ = end;
  }

  // A row aggregate of COMPUTE: "SUM(expression)"; DISTINCT and COUNT(*)
  // are syntax errors, as on SQL Server.
  ExprPtr RowAggregate() {
    static const std::set<std::string> kRowAggregates = {"AVG",   "COUNT", "MAX", "MIN", "STDEV",
                                                         "STDEVP", "SUM",  "VAR", "VARP"};
    const Token& name = Peek();
    if (name.kind != TokKind::kWord || kRowAggregates.count(UpperAscii(name.text)) == 0) Fail();
    ++i_;
    auto e = std::make_unique<Expr>();
    e->kind = ExprKind::kFunction;
    e->offset = name.offset;
    e->parts.push_back(UpperAscii(name.text));
    ExpectSymbol("(");
    e->args.push_back(Expression());
    ExpectSymbol(")");
    return e;
  }

  // FOR BROWSE after a statement's query: 114 for a query assigning
  // variables, 198 for one with UNION, INTERSECT or EXCEPT, 171 for SELECT
  // INTO. FOR XML is refused; any other FOR after a query is a syntax error.
  void ForBrowse(Select& select) {
    if (!Peek().IsKeyword("FOR")) return;
    if (Peek(1).IsKeyword("XML")) throw SqlErr(kNotSupported, "FOR XML is not supported by the embedded server.");
    if (!Peek(1).IsKeyword("BROWSE")) Fail(Peek(1));
    i_ += 2;
    if (Assigns(select)) throw SqlErr(114, "Browse mode is invalid for a statement that assigns values to a variable.");
    if (!select.set_parts.empty()) {
      throw SqlErr(198, "Browse mode is invalid for statements containing a UNION, INTERSECT or EXCEPT operator.");
    }
    if (!select.into.object.empty()) throw SqlErr(171, "Browse mode cannot be used with INSERT, SELECT INTO, or UPDATE statements.");
    select.for_browse = true;
  }

  // FOR BROWSE where only a statement's own query may have it: after the
  // query of an INSERT (171), of a view (176), of a subquery or derived
  // table (1029).
  void RefuseBrowse(QueryRole role) const {
    if (!Peek().IsKeyword("FOR") || !Peek(1).IsKeyword("BROWSE")) return;
    switch (role) {
      case QueryRole::kInserted:
        throw SqlErr(171, "Browse mode cannot be used with INSERT, SELECT INTO, or UPDATE statements.");
      case QueryRole::kView:
        throw SqlErr(176, "The FOR BROWSE clause is no longer supported in views. Set the database compatibility level "
                          "to 80 or lower for this statement to be allowed.");
      case QueryRole::kNested:
        throw SqlErr(1029, "Browse mode is invalid for subqueries and derived tables.");
      case QueryRole::kStatement:
        break;
    }
  }

  // A statement's OPTION (MAXRECURSION n), after its query.
  void QueryOptions(Select& select) {
    if (!AcceptKeyword("OPTION")) return;
    ExpectSymbol("(");
    do {
      if (!AcceptKeyword("MAXRECURSION")) {
        if (At(TokKind::kWord)) {
          throw SqlErr(kNotSupported, "The query hint " + UpperAscii(Peek().text) +
                                          " is not supported by the embedded server.");
        }
        Fail();
      }
      if (!At(TokKind::kInteger)) Fail();
      const std::string digits = Next().text;
      std::int64_t n = 0;
      if (!ParseDigits(digits, &n) || n > kMaxRecursionLimit) {
        throw SqlErr(310, "The value " + WithoutLeadingZeros(digits) + " specified for the MAXRECURSION option exceeds "
                          "the allowed maximum of " + std::to_string(kMaxRecursionLimit) + ".");
      }
      select.max_recursion = static_cast<int>(n);
    } while (AcceptSymbol(","));
    ExpectSymbol(")");
  }

  // SAVE TRAN[SACTION]: SAVE is no reserved word.
  bool AtSaveTransaction() const {
    return Peek().IsKeyword("SAVE") && (Peek(1).IsKeyword("TRAN") || Peek(1).IsKeyword("TRANSACTION"));
  }

  bool AtStatementStart() const {
    if (AtSaveTransaction()) return true;
    static const char* const kStarts[] = {"SELECT", "INSERT",   "UPDATE",   "DELETE",  "CREATE", "DROP",
                                          "EXEC",   "EXECUTE",  "IF",       "BEGIN",   "COMMIT", "ROLLBACK",
                                          "SET",    "TRUNCATE", "PRINT",    "ELSE",    "END",    "DECLARE",
                                          "RETURN", "WHILE",    "BREAK",    "CONTINUE", "RAISERROR", "WAITFOR",
                                          "USE",    "WITH"};
    for (const char* k : kStarts) {
      if (Peek().IsKeyword(k)) return true;
    }
    return false;
  }

  // SET option value, a session option: ON or OFF (several options at
  // once, "SET ANSI_NULLS, ANSI_PADDING ON", make a block of one SET each),
  // a word (SET DATEFORMAT dmy, SET TRANSACTION ISOLATION LEVEL READ
  // COMMITTED), text (SET LANGUAGE 'us_english'), or a number or variable
  // (SET ROWCOUNT @n). SET QUOTED_IDENTIFIER takes effect here, for the
  // rest of the batch, as SQL Server applies it when it parses.
  void SetOption(Stmt& s) {
    s.kind = StmtKind::kSetOption;
    std::vector<std::string> names = {OptionName("")};
    while (AcceptSymbol(",")) names.push_back(OptionName(names.back()));
    if (names.size() > 1) {
      const bool on = OnOrOff();
      s.kind = StmtKind::kBlock;
      for (const std::string& name : names) {
        auto one = std::make_unique<Stmt>();
        one->kind = StmtKind::kSetOption;
        one->offset = s.offset;
        one->option = name;
        one->on = on;
        one->option_value = on ? "ON" : "OFF";
        ApplyAtParse(*one);
        s.then_block.push_back(std::move(one));
      }
      return;
    }
    s.option = names[0];
    if (s.option == "LOCK_TIMEOUT") {
      s.number = SignedInteger("expression", "int");
    } else if (s.option == "TRANSACTION") {
      ExpectKeyword("ISOLATION");
      ExpectKeyword("LEVEL");
      s.option = "TRANSACTION ISOLATION LEVEL";
      while (At(TokKind::kWord) && !AtStatementStart()) {
        s.option_value += (s.option_value.empty() ? "" : " ") + UpperAscii(Next().text);
      }
      if (s.option_value.empty()) Fail();
    } else if (Peek().IsKeyword("ON") || Peek().IsKeyword("OFF")) {
      s.on = OnOrOff();
      s.option_value = s.on ? "ON" : "OFF";
    } else if ((At(TokKind::kWord) && !AtStatementStart()) || At(TokKind::kQuoted)) {
      s.option_value = UpperAscii(Next().text);
    } else {
      s.value = Expression();  // a number, a variable, text
    }
    ApplyAtParse(s);
  }

  // An option's name; the second word of SET STATISTICS IO, which a list
  // after it leaves out (SET STATISTICS IO, TIME ON).
  std::string OptionName(const std::string& before) {
    if (!At(TokKind::kWord)) Fail();
    std::string name = UpperAscii(Next().text);
    if (name == "STATISTICS") {
      if (!At(TokKind::kWord)) Fail();
      name += " " + UpperAscii(Next().text);
    } else if (before.rfind("STATISTICS ", 0) == 0) {
      name = "STATISTICS " + name;
    }
    return name;
  }

  bool OnOrOff() {
    if (AcceptKeyword("ON")) return true;
    if (!AcceptKeyword("OFF")) Fail();
    return false;
  }

  // SET QUOTED_IDENTIFIER: the batch's "double-quoted" tokens after it are
  // names when ON, text when OFF.
  void ApplyAtParse(const Stmt& s) {
    if (s.option != "QUOTED_IDENTIFIER" || s.option_value.empty()) return;
    quoted_identifier_ = s.on;
    ReadDoubleQuotes(i_);
  }
  void ReadDoubleQuotes(std::size_t from) {
    for (std::size_t k = from; k < t_.size(); ++k) {
      if (IsDoubleQuoted(t_[k])) t_[k].kind = quoted_identifier_ ? TokKind::kQuoted : TokKind::kString;
    }
  }
  bool IsDoubleQuoted(const Token& t) const {
    return (t.kind == TokKind::kQuoted || t.kind == TokKind::kString) && t.offset < sql_.size() && sql_[t.offset] == '"';
  }
  // A definition the catalog keeps and parses again later (CREATE TABLE,
  // CREATE PROCEDURE) is read then with QUOTED_IDENTIFIER ON: one that
  // holds "text" under OFF is refused rather than read differently.
  void CheckKeptDefinition(std::size_t first, std::size_t end) const {
    if (quoted_identifier_) return;
    for (std::size_t k = first; k < end && k < t_.size(); ++k) {
      if (IsDoubleQuoted(t_[k])) {
        throw SqlErr(kNotSupported, "A table or procedure definition holding \"double-quoted\" text while "
                                    "SET QUOTED_IDENTIFIER is OFF is not supported by the embedded server; "
                                    "write the text in single quotes.");
      }
    }
  }

  bool AtCreateView() const {
    return (Peek().IsKeyword("CREATE") || Peek().IsKeyword("ALTER")) && Peek(1).IsKeyword("VIEW");
  }

  // CREATE | ALTER VIEW name [(column, ...)] [WITH option, ...] AS select
  // [WITH CHECK OPTION]: alone in its batch.
  StmtPtr CreateView() {
    auto s = std::make_unique<Stmt>();
    s->offset = Peek().offset;
    s->kind = Peek().IsKeyword("ALTER") ? StmtKind::kAlterView : StmtKind::kCreateView;
    s->text = std::string(sql_);
    i_ += 2;
    s->object = Object();
    if (Peek().IsSymbol("(")) s->columns = ColumnList();
    if (AcceptKeyword("WITH")) {
      do {
        const Token& option = Next();
        if (!option.IsKeyword("ENCRYPTION") && !option.IsKeyword("SCHEMABINDING") && !option.IsKeyword("VIEW_METADATA")) {
          Fail(option);
        }
        throw SqlErr(kNotSupported, "Views WITH " + UpperAscii(option.text) + " are not supported by the embedded server.");
      } while (AcceptSymbol(","));
    }
    ExpectKeyword("AS");
    if (!Peek().IsKeyword("SELECT") && !Peek().IsSymbol("(")) Fail();
    s->select = SelectStatement(QueryRole::kView);
    if (AcceptKeyword("WITH")) {
      ExpectKeyword("CHECK");
      ExpectKeyword("OPTION");
      s->option = "CHECK OPTION";
    }
    while (AcceptSymbol(";")) {
    }
    if (!At(TokKind::kEnd)) Fail();
    return s;
  }

  // CREATE (taken) [UNIQUE] [CLUSTERED | NONCLUSTERED] INDEX name ON table
  // (column [ASC | DESC], ...) [WITH option, ...] [ON filegroup]. The
  // options that only place or pack the index's pages are taken; those
  // that change what it does are refused.
  void CreateIndex(Stmt& s) {
    s.kind = StmtKind::kCreateIndex;
    s.index.unique = AcceptKeyword("UNIQUE");
    if (AcceptKeyword("CLUSTERED")) {
      s.index.clustered = true;
    } else {
      AcceptKeyword("NONCLUSTERED");
    }
    ExpectKeyword("INDEX");
    s.index.name = Name();
    ExpectKeyword("ON");
    s.object = Object();
    ExpectSymbol("(");
    do {
      s.columns.push_back(Name());
      bool descending = false;
      if (AcceptKeyword("DESC")) {
        descending = true;
      } else {
        AcceptKeyword("ASC");
      }
      s.index.descending.push_back(descending);
    } while (AcceptSymbol(","));
    ExpectSymbol(")");
    if (Peek().IsKeyword("INCLUDE") || Peek().IsKeyword("WHERE")) {
      throw SqlErr(kNotSupported, "Indexes with " + UpperAscii(Peek().text) +
                                      " are not supported by the embedded server (SQL Server 2000 has none).");
    }
    if (AcceptKeyword("WITH")) {
      const bool listed = AcceptSymbol("(");
      do {
        const Token& option = Next();
        const std::string name = UpperAscii(option.text);
        if (name == "FILLFACTOR") {
          ExpectSymbol("=");
          if (!At(TokKind::kInteger)) Fail();
          std::int64_t fill = 0;
          if (!ParseDigits(Next().text, &fill) || fill < 1 || fill > 100) {
            throw SqlErr(1047, "Illegal FILLFACTOR value; FILLFACTOR must be between 1 and 100.");
          }
        } else if (name == "PAD_INDEX" || name == "SORT_IN_TEMPDB" || name == "STATISTICS_NORECOMPUTE" ||
                   name == "DROP_EXISTING") {
          if (AcceptSymbol("=") && !AcceptKeyword("ON") && !AcceptKeyword("OFF")) Fail();
          if (name == "DROP_EXISTING" && t_[i_ - 1].IsKeyword("OFF")) continue;
          if (name == "DROP_EXISTING") s.option = "DROP_EXISTING";
        } else if (name == "IGNORE_DUP_KEY") {
          throw SqlErr(kNotSupported, "Indexes WITH IGNORE_DUP_KEY are not supported by the embedded server.");
        } else {
          Fail(option);
        }
      } while (AcceptSymbol(","));
      if (listed) ExpectSymbol(")");
    }
    if (AcceptKeyword("ON")) {
      const std::string filegroup = Name();
      if (!SameName(filegroup, "PRIMARY") && !SameName(filegroup, "DEFAULT")) {
        throw SqlErr(1921, "Invalid filegroup '" + filegroup + "' specified.");
      }
    }
  }

  // DROP INDEX (taken) table.index, ... or index ON table, ...
  void DropIndex(Stmt& s) {
    s.kind = StmtKind::kDropIndex;
    do {
      ObjectName name = Object();
      ObjectName index;
      if (AcceptKeyword("ON")) {
        if (!name.schema.empty()) Fail();
        index.object = name.object;
        index.schema = Object().object;
      } else {
        if (name.schema.empty()) {
          throw SqlErr(159, "Must specify the table name and index name for the DROP INDEX statement.");
        }
        index.object = name.object;
        index.schema = name.schema;
      }
      s.objects.push_back(std::move(index));
    } while (AcceptSymbol(","));
  }

  StmtPtr CreateProcedure() {
    auto s = std::make_unique<Stmt>();
    s->offset = Peek().offset;
    s->kind = StmtKind::kCreateProcedure;
    s->text = std::string(sql_);
    i_ += 2;  // CREATE PROC[EDURE]
    s->object = Object();
    if (AcceptSymbol(";")) {
      if (!At(TokKind::kInteger)) Fail();
      ++i_;
    }
    if (Peek().IsSymbol("(") && Peek(1).kind == TokKind::kVariable) {
      ++i_;
      s->variables = ParameterList("CREATE PROCEDURE");
      ExpectSymbol(")");
    } else if (At(TokKind::kVariable)) {
      s->variables = ParameterList("CREATE PROCEDURE");
    }
    if (AcceptKeyword("WITH")) Fail();
    if (!Peek().IsKeyword("AS")) Fail();
    const std::size_t body_start = Next().end;
    s->body = std::string(sql_.substr(body_start));
    // The body must parse; its statements run when the procedure executes.
    in_procedure_ = true;
    while (!At(TokKind::kEnd)) {
      if (AcceptSymbol(";")) continue;
      if (Peek().IsKeyword("CREATE") && (Peek(1).IsKeyword("PROC") || Peek(1).IsKeyword("PROCEDURE"))) Fail();
      s->then_block.push_back(Statement());
    }
    in_procedure_ = false;
    return s;
  }

  // "@a int, @b nvarchar(20) = N'x', @c money OUTPUT": the parameters of a
  // procedure (`statement` "CREATE PROCEDURE") or a parameterized query.
  std::vector<VariableDecl> ParameterList(std::string_view statement) {
    std::vector<VariableDecl> out;
    do {
      if (out.size() == kMaxParameters) {
        throw SqlErr(kTooManyParameters, "There are too many parameters in this " + std::string(statement) +
                                             " statement. The maximum number is " + std::to_string(kMaxParameters) + ".");
      }
      VariableDecl p;
      p.name = VariableName();
      p.type = Type({"", static_cast<int>(out.size()) + 1});
      AcceptKeyword("VARYING");
      if (AcceptSymbol("=")) p.value = Constant(false);
      if (AcceptKeyword("OUTPUT") || AcceptKeyword("OUT")) p.output = true;
      out.push_back(std::move(p));
    } while (AcceptSymbol(","));
    return out;
  }

  // A local variable's name: "@name" (not "@@name", nor a lone "@").
  std::string VariableName() {
    const Token& t = Peek();
    if (t.kind != TokKind::kVariable || t.text.size() < 2 || t.text[1] == '@') Fail();
    ++i_;
    return t.text;
  }

  // DECLARE @a [AS] int [= expr], ...
  void Declare(Stmt& s) {
    s.kind = StmtKind::kDeclare;
    do {
      VariableDecl d;
      d.name = VariableName();
      AcceptKeyword("AS");
      if (Peek().IsKeyword("TABLE")) throw SqlErr(kNotSupported, "Table variables are not supported by the embedded server.");
      if (Peek().IsKeyword("CURSOR")) throw SqlErr(kNotSupported, "Cursors are not supported by the embedded server.");
      d.type = Type();
      if (AcceptSymbol("=")) d.value = Expression();
      s.variables.push_back(std::move(d));
    } while (AcceptSymbol(","));
  }

  // SET @a = expr, and the compound SET @a += expr (-=, *=, /=, %=, &=,
  // |=, ^=), which means SET @a = @a + expr.
  void SetVariable(Stmt& s) {
    s.kind = StmtKind::kSetVariable;
    const Token& target = Peek();
    s.variable = VariableName();
    static const char* const kCompound[] = {"+", "-", "*", "/", "%", "&", "|", "^"};
    for (const char* op : kCompound) {
      if (Peek().IsSymbol(op) && Peek(1).IsSymbol("=")) {
        const std::size_t at = Next().offset;
        ++i_;
        auto e = Make(ExprKind::kBinary, at);
        e->text = op;
        auto self = Make(ExprKind::kVariable, target.offset);
        self->text = s.variable;
        e->args.push_back(std::move(self));
        e->args.push_back(Expression());
        s.value = std::move(e);
        return;
      }
    }
    ExpectSymbol("=");
    s.value = Expression();
  }

  // EXEC[UTE] [@rc =] name [argument, ...], each argument
  // "[@parameter =] {constant | @variable [OUTPUT] | DEFAULT}".
  void Execute(Stmt& s) {
    s.kind = StmtKind::kExecute;
    if (At(TokKind::kVariable)) {
      if (!Peek(1).IsSymbol("=")) {
        throw SqlErr(kNotSupported, "EXECUTE of a procedure named by a variable is not supported by the embedded server.");
      }
      s.variable = VariableName();
      ++i_;
    }
    s.object = Object();
    if (AcceptSymbol(";")) {  // a numbered procedure's number: p;1
      if (!At(TokKind::kInteger)) Fail();
      ++i_;
    }
    if (At(TokKind::kEnd) || Peek().IsSymbol(";") || AtStatementStart()) return;
    do {
      ExecArgument a;
      if (At(TokKind::kVariable) && Peek(1).IsSymbol("=")) {
        a.name = VariableName();
        ++i_;
      }
      if (!AcceptKeyword("DEFAULT")) {
        const bool variable = At(TokKind::kVariable);
        a.value = Constant(true);
        if (AcceptKeyword("OUTPUT") || AcceptKeyword("OUT")) {
          if (!variable) {
            throw SqlErr(kOutputConstant, "Cannot use the OUTPUT option when passing a constant to a stored procedure.");
          }
          a.output = true;
        }
      }
      s.arguments.push_back(std::move(a));
    } while (AcceptSymbol(","));
  }

  // A value as a parameter's default or an EXEC argument gives it: NULL, a
  // number with an optional sign, a string or money; for an argument
  // (`argument`) also a variable, or a bare word, which stands for the
  // string it spells.
  ExprPtr Constant(bool argument) {
    const Token& t = Peek();
    if (t.IsSymbol("-") || t.IsSymbol("+")) {
      const Token& n = Peek(1);
      if (n.kind != TokKind::kInteger && n.kind != TokKind::kDecimal && n.kind != TokKind::kFloat &&
          n.kind != TokKind::kMoney) {
        Fail(n);
      }
      ++i_;
      if (t.IsSymbol("+")) return Primary();
      auto e = Make(ExprKind::kUnary, t.offset);
      e->text = "-";
      e->args.push_back(Primary());
      return e;
    }
    switch (t.kind) {
      case TokKind::kInteger: case TokKind::kDecimal: case TokKind::kFloat: case TokKind::kMoney:
      case TokKind::kString: case TokKind::kBinary:
        return Primary();
      case TokKind::kVariable:
        if (!argument) Fail();
        return Primary();
      case TokKind::kWord:
        if (t.IsKeyword("NULL")) return Primary();
        if (IsReserved(t)) Fail();
        [[fallthrough]];
      case TokKind::kQuoted: {
        if (!argument) Fail();
        ++i_;
        auto e = Make(ExprKind::kString, t.offset);
        e->text = t.text;
        e->national = true;
        return e;
      }
      default:
        Fail();
    }
  }

  void Insert(Stmt& s) {
    ++i_;
    s.kind = StmtKind::kInsert;
    AcceptKeyword("INTO");
    s.object = Object();
    if (Peek().IsSymbol("(") && !Peek(1).IsKeyword("SELECT")) {
      ++i_;
      do {
        s.columns.push_back(Name());
      } while (AcceptSymbol(","));
      ExpectSymbol(")");
    }
    if (AcceptKeyword("VALUES")) {
      do {
        ExpectSymbol("(");
        std::vector<ExprPtr> row;
        do {
          row.push_back(ValueOrDefault());
        } while (AcceptSymbol(","));
        ExpectSymbol(")");
        s.values.push_back(std::move(row));
      } while (AcceptSymbol(","));
    } else if (AcceptKeyword("DEFAULT")) {
      ExpectKeyword("VALUES");
      s.default_values = true;
    } else if (Peek().IsKeyword("SELECT") || Peek().IsSymbol("(")) {
      const bool paren = AcceptSymbol("(");
      s.select = SelectStatement(QueryRole::kInserted);
      if (paren) ExpectSymbol(")");
      QueryOptions(*s.select);
    } else {
      Fail();
    }
  }

  void Update(Stmt& s) {
    ++i_;
    s.kind = StmtKind::kUpdate;
    s.object = Object();
    ExpectKeyword("SET");
    do {
      std::string column = Name();
      if (AcceptSymbol(".")) {  // t.col = ...: t names the target as the statement does
        const std::string qualifier = std::exchange(column, Name());
        if (!SameName(qualifier, s.object.object)) {
          throw SqlErr(4104, "The multi-part identifier \"" + qualifier + "." + column + "\" could not be bound.");
        }
      }
      ExpectSymbol("=");
      s.sets.emplace_back(std::move(column), ValueOrDefault());
    } while (AcceptSymbol(","));
    if (AcceptKeyword("FROM")) s.from = FromList();
    if (AcceptKeyword("WHERE")) s.where = Expression();
  }

  // A value of INSERT's VALUES or UPDATE's SET: an expression, or DEFAULT
  // for the column's default.
  ExprPtr ValueOrDefault() {
    if (Peek().IsKeyword("DEFAULT")) return Make(ExprKind::kDefault, Next().offset);
    return Expression();
  }

  void Delete(Stmt& s) {
    ++i_;
    s.kind = StmtKind::kDelete;
    AcceptKeyword("FROM");
    s.object = Object();
    if (AcceptKeyword("FROM")) s.from = FromList();
    if (AcceptKeyword("WHERE")) s.where = Expression();
  }

  TypeName Type(TypeSite site = {}) {
    TypeName t;
    const Token& tok = Peek();
    if (tok.kind != TokKind::kWord && tok.kind != TokKind::kQuoted) Fail();
    ++i_;
    t.name = com::LowerAscii(tok.text);
    if (t.name == "double" && AcceptKeyword("PRECISION")) t.name = "float";
    if (AcceptSymbol("(")) {
      if (AcceptKeyword("MAX")) {
        t.length = -2;
      } else {
        if (!At(TokKind::kInteger)) Fail();
        const Token& length = Next();
        t.length = TypeLength(t.name, length.text, site);
        if (IsDecimalName(t.name) && t.length == 0) {
          throw SqlErr(kInvalidLength, "Line " + std::to_string(LineOf(length.offset)) +
                                           ": Length or precision 0 is invalid.");
        }
        if (AcceptSymbol(",")) {
          if (!At(TokKind::kInteger)) Fail();
          const std::string digits = Next().text;
          if (IsDecimalName(t.name)) t.scale = DecimalScale(digits, t.length, site);
        }
      }
      ExpectSymbol(")");
    }
    return t;
  }

  static bool IsDecimalName(const std::string& type) { return type == "decimal" || type == "numeric" || type == "dec"; }

  // The s of "decimal(p, s)": from 0 to p, else 183 for a column and 192
  // elsewhere.
  static int DecimalScale(const std::string& digits, int precision, TypeSite site) {
    int scale = 0;
    if (ParseDigits(digits, &scale) && scale <= precision) return scale;
    if (site.column.empty()) throw SqlErr(kScaleOverPrecision, "The scale must be less than or equal to the precision.");
    throw SqlErr(kColumnScale, "The scale (" + WithoutLeadingZeros(digits) + ") for column '" + std::string(site.column) +
                                   "' must be within the range 0 to " + std::to_string(precision) + ".");
  }

  // The line of the batch an offset is on, counted from 1.
  std::size_t LineOf(std::size_t offset) const {
    const std::string_view before = sql_.substr(0, std::min(offset, sql_.size()));
    return 1 + static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n'));
  }

  // The n of "type(n)": a character type's size past what it holds raises
  // 131, a decimal's or float's precision past its maximum 2750, whatever
  // the number of digits; other types keep any length (it is not used).
  static int TypeLength(const std::string& type, const std::string& digits, TypeSite site) {
    std::int64_t n = 0;
    const bool huge = !ParseDigits(digits, &n) || n > INT_MAX;
    for (const TypeLimit& limit : kTypeLimits) {
      if (type != limit.type || (!huge && n <= limit.max)) continue;
      const std::string written = WithoutLeadingZeros(digits);
      if (limit.size) {
        const std::string what = site.column.empty() ? "type '" + type + "'" : "column '" + std::string(site.column) + "'";
        throw SqlErr(kSizeTooLarge, "The size (" + written + ") given to the " + what +
                                        " exceeds the maximum allowed for any data type (" + std::to_string(limit.max) + ").");
      }
      throw SqlErr(kPrecisionTooLarge, "Column or parameter #" + std::to_string(site.ordinal) + ": Specified column precision " +
                                           written + " is greater than the maximum precision of " +
                                           std::to_string(limit.max) + ".");
    }
    return huge ? INT_MAX : static_cast<int>(n);
  }

  std::vector<std::string> ColumnList() {
    std::vector<std::string> cols;
    ExpectSymbol("(");
    do {
      cols.push_back(Name());
      if (!AcceptKeyword("ASC")) AcceptKeyword("DESC");
    } while (AcceptSymbol(","));
    ExpectSymbol(")");
    return cols;
  }

  bool Skip(std::string_view kw) { return AcceptKeyword(kw); }

  void CreateTable(Stmt& s) {
    const std::size_t first = i_;
    CreateTableBody(s);
    CheckKeptDefinition(first, i_);
  }

  void CreateTableBody(Stmt& s) {
    s.kind = StmtKind::kCreateTable;
    s.object = Object();
    ExpectSymbol("(");
    do {
      if (Peek().IsKeyword("CONSTRAINT") || Peek().IsKeyword("PRIMARY") || Peek().IsKeyword("UNIQUE") ||
          Peek().IsKeyword("FOREIGN")) {
        s.constraints.push_back(Constraint());
        continue;
      }
      ColumnDef c;
      c.name = Name();
      c.type = Type({c.name, static_cast<int>(s.column_defs.size()) + 1});
      for (;;) {
        if (AcceptKeyword("IDENTITY")) {
          c.identity = true;
          if (AcceptSymbol("(")) {
            c.seed = SignedInteger("IDENTITY", c.type.name);
            ExpectSymbol(",");
            c.step = SignedInteger("IDENTITY", c.type.name);
            ExpectSymbol(")");
          }
        } else if (AcceptKeyword("NOT")) {
          ExpectKeyword("NULL");
          c.nullable = false;
          c.explicit_null = true;
        } else if (AcceptKeyword("NULL")) {
          c.nullable = true;
          c.explicit_null = true;
        } else if (AcceptKeyword("COLLATE")) {
          c.collation = Name();
        } else if (Peek().IsKeyword("CONSTRAINT") || Peek().IsKeyword("DEFAULT") || Peek().IsKeyword("PRIMARY") ||
                   Peek().IsKeyword("UNIQUE") || Peek().IsKeyword("REFERENCES") || Peek().IsKeyword("FOREIGN")) {
          std::string name;
          if (AcceptKeyword("CONSTRAINT")) name = Name();
          if (Peek().IsKeyword("REFERENCES") || Peek().IsKeyword("FOREIGN")) {
            // [FOREIGN KEY] REFERENCES table [(column)]: the column's own.
            TableConstraint f;
            f.kind = TableConstraint::kForeignKey;
            f.name = name;
            if (AcceptKeyword("FOREIGN")) ExpectKeyword("KEY");
            ExpectKeyword("REFERENCES");
            f.columns = {c.name};
            f.ref_table = Object();
            if (Peek().IsSymbol("(")) f.ref_columns = ColumnList();
            s.constraints.push_back(std::move(f));
            continue;
          }
          if (AcceptKeyword("DEFAULT")) {
            c.default_name = name;
            const std::size_t start = Peek().offset;
            c.default_value = Primary();
            c.default_text = std::string(sql_.substr(start, t_[i_ - 1].end - start));
          } else if (AcceptKeyword("PRIMARY")) {
            ExpectKeyword("KEY");
            if (!Skip("CLUSTERED")) Skip("NONCLUSTERED");
            c.primary_key = true;
            c.constraint_name = name;
          } else if (AcceptKeyword("UNIQUE")) {
            if (!Skip("CLUSTERED")) Skip("NONCLUSTERED");
            c.unique = true;
            c.constraint_name = name;
          } else {
            Fail();
          }
        } else {
          break;
        }
      }
      s.column_defs.push_back(std::move(c));
    } while (AcceptSymbol(","));
    ExpectSymbol(")");
    if (s.column_defs.empty()) Fail();
  }

  // An optionally negative integer constant; one past 64 bits raises 8115
  // as converting `what` to `type` would.
  std::int64_t SignedInteger(std::string_view what, std::string_view type) {
    const bool negative = AcceptSymbol("-");
    if (!At(TokKind::kInteger)) Fail();
    std::int64_t v = 0;
    if (!ParseDigits(Next().text, &v)) throw Overflow(what, type);
    return negative ? -v : v;
  }

  static com::Error Overflow(std::string_view what, std::string_view type) {
    return ConvertOverflowError(std::string(type), std::string(what));
  }

  TableConstraint Constraint() {
    TableConstraint c;
    if (AcceptKeyword("CONSTRAINT")) c.name = Name();
    if (AcceptKeyword("PRIMARY")) {
      ExpectKeyword("KEY");
      if (!AcceptKeyword("CLUSTERED")) AcceptKeyword("NONCLUSTERED");
      c.kind = TableConstraint::kPrimaryKey;
      c.columns = ColumnList();
    } else if (AcceptKeyword("UNIQUE")) {
      if (!AcceptKeyword("CLUSTERED")) AcceptKeyword("NONCLUSTERED");
      c.kind = TableConstraint::kUnique;
      c.columns = ColumnList();
    } else if (AcceptKeyword("FOREIGN")) {
      ExpectKeyword("KEY");
      c.kind = TableConstraint::kForeignKey;
      c.columns = ColumnList();
      ExpectKeyword("REFERENCES");
      c.ref_table = Object();
      c.ref_columns = ColumnList();
    } else {
      Fail();
    }
    return c;
  }

  // ------------------------------------------------------------ SELECT
  // A SELECT; `assignments`: a statement of its own, whose items may
  // assign variables ("SELECT @a = x FROM ...").
  std::unique_ptr<Select> SelectStatement(QueryRole role = QueryRole::kNested) {
    const Level level = Nested();
    auto sel = CombinedQuery(role == QueryRole::kStatement);
    if (AcceptKeyword("ORDER")) {
      ExpectKeyword("BY");
      do {
        OrderItem o;
        o.expr = Expression();
        if (AcceptKeyword("DESC")) {
          o.descending = true;
        } else {
          AcceptKeyword("ASC");
        }
        sel->order_by.push_back(std::move(o));
      } while (AcceptSymbol(","));
    }
    if (AtSetOperator()) Fail();  // ORDER BY ends the whole query, not one of its parts
    RefuseBrowse(role);
    return sel;
  }

  bool AtSetOperator() const {
    return Peek().IsKeyword("UNION") || Peek().IsKeyword("EXCEPT") || Peek().IsKeyword("INTERSECT");
  }

  static bool Assigns(const Select& sel) { return !sel.items.empty() && !sel.items.front().variable.empty(); }

  // Queries joined by UNION [ALL] and EXCEPT, left to right, each of them
  // queries joined by INTERSECT. A SELECT that assigns variables stands
  // alone.
  std::unique_ptr<Select> CombinedQuery(bool assignments) {
    auto sel = IntersectedQuery(assignments);
    if (Assigns(*sel)) return sel;
    for (;;) {
      SetPart part;
      if (AcceptKeyword("UNION")) {
        part.op = AcceptKeyword("ALL") ? SetOperator::kUnionAll : SetOperator::kUnion;
      } else if (AcceptKeyword("EXCEPT")) {
        part.op = SetOperator::kExcept;
      } else {
        return sel;
      }
      part.query = IntersectedQuery(false);
      sel->set_parts.push_back(std::move(part));
    }
  }

  // Queries joined by INTERSECT, which binds tighter than UNION and EXCEPT.
  std::unique_ptr<Select> IntersectedQuery(bool assignments) {
    auto sel = QueryTerm(assignments);
    if (Assigns(*sel)) return sel;
    while (AcceptKeyword("INTERSECT")) {
      SetPart part;
      part.op = SetOperator::kIntersect;
      part.query = QueryTerm(false);
      sel->set_parts.push_back(std::move(part));
    }
    return sel;
  }

  // A SELECT core, or combined queries in parentheses.
  std::unique_ptr<Select> QueryTerm(bool assignments) {
    if (!AcceptSymbol("(")) {
      if (!Peek().IsKeyword("SELECT")) Fail();
      return SelectCore(assignments);
    }
    const Level level = Nested();
    auto sel = CombinedQuery(false);
    if (Peek().IsKeyword("ORDER")) {
      throw SqlErr(kNotSupported, "ORDER BY in a query in parentheses is not supported by the embedded server.");
    }
    ExpectSymbol(")");
    return sel;
  }

  // One SELECT without ORDER BY (its core), alone or one of the queries
  // a set operator combines.
  std::unique_ptr<Select> SelectCore(bool assignments) {
    const bool may_make_table = std::exchange(into_allowed_, false);
    auto sel = std::make_unique<Select>();
    ExpectKeyword("SELECT");
    if (AcceptKeyword("DISTINCT")) {
      sel->distinct = true;
    } else {
      AcceptKeyword("ALL");
    }
    if (AcceptKeyword("TOP")) {
      const bool paren = AcceptSymbol("(");
      if (!At(TokKind::kInteger)) Fail();
      std::int64_t top = 0;
      if (!ParseDigits(Next().text, &top)) throw Overflow("expression", "bigint");
      sel->top = top;
      if (paren) ExpectSymbol(")");
    }
    bool assigns = false, retrieves = false;
    do {
      SelectItem item;
      if (assignments && At(TokKind::kVariable) && Peek(1).IsSymbol("=")) {
        item.variable = VariableName();
        ++i_;
        item.expr = Expression();
      } else if (AcceptSymbol("*")) {
        item.star = true;
      } else if (AtName() && Peek(1).IsSymbol(".") && Peek(2).IsSymbol("*")) {
        item.star = true;
        item.star_table = Name();
        i_ += 2;
      } else if (AtName() && Peek(1).IsSymbol("=") && !Peek(2).IsSymbol("=")) {
        item.alias = Name();  // alias = expression
        ++i_;
        item.expr = Expression();
      } else {
        item.expr = Expression();
        if (AcceptKeyword("AS")) {
          item.alias = Peek().kind == TokKind::kString ? Next().text : Name();
        } else if (AtName() || Peek().kind == TokKind::kString) {
          item.alias = Next().text;
        }
      }
      (item.variable.empty() ? retrieves : assigns) = true;
      sel->items.push_back(std::move(item));
    } while (AcceptSymbol(","));
    if (assigns && retrieves) {
      throw SqlErr(kAssignAndRetrieve, "A SELECT statement that assigns a value to a variable must not be combined with "
                                       "data-retrieval operations.");
    }
    if (Peek().IsKeyword("INTO")) {
      // Only the statement's first query makes the new table.
      if (!may_make_table || assigns) Fail();
      ++i_;
      sel->into = Object();
    }
    if (AcceptKeyword("FROM")) sel->from = FromList();
    if (AcceptKeyword("WHERE")) sel->where = Expression();
    if (AcceptKeyword("GROUP")) {
      ExpectKeyword("BY");
      do {
        sel->group_by.push_back(Expression());
      } while (AcceptSymbol(","));
    }
    if (AcceptKeyword("HAVING")) sel->having = Expression();
    return sel;
  }

  std::vector<TableRef> FromList() {
    std::vector<TableRef> refs;
    refs.push_back(TableSource(""));
    for (;;) {
      if (AcceptSymbol(",")) {
        refs.push_back(TableSource(""));
      } else if (AcceptKeyword("JOIN") || (AcceptKeyword("INNER") && (ExpectKeyword("JOIN"), true))) {
        refs.push_back(TableSource("INNER"));
        ExpectKeyword("ON");
        refs.back().on = Expression();
      } else if (AcceptKeyword("LEFT")) {
        AcceptKeyword("OUTER");
        ExpectKeyword("JOIN");
        refs.push_back(TableSource("LEFT"));
        ExpectKeyword("ON");
        refs.back().on = Expression();
      } else if (AcceptKeyword("CROSS")) {
        ExpectKeyword("JOIN");
        refs.push_back(TableSource("CROSS"));
      } else {
        break;
      }
    }
    return refs;
  }

  TableRef TableSource(const char* join) {
    TableRef r;
    r.join = join;
    if (Peek().IsSymbol("(") && !AtQueryInParentheses()) {
      // A join in parentheses: its sources are the query's, as written.
      const Level level = Nested();
      ++i_;
      r.joined = FromList();
      if (r.joined.size() < 2) Fail();
      ExpectSymbol(")");
      return r;
    }
    if (AcceptSymbol("(")) {
      r.derived = SelectStatement();
      ExpectSymbol(")");
    } else {
      r.name = Object();
    }
    if (AcceptKeyword("AS")) {
      r.alias = Name();
    } else if (AtName()) {
      r.alias = Name();
    }
    if (r.derived && r.alias.empty()) Fail();
    return r;
  }

  // Whether the "(" at hand opens a query ("(SELECT", "((SELECT") rather
  // than a join.
  bool AtQueryInParentheses() const {
    std::size_t k = 0;
    while (Peek(k).IsSymbol("(")) ++k;
    return Peek(k).IsKeyword("SELECT");
  }

  // ------------------------------------------------------------ expressions
  ExprPtr Make(ExprKind k, std::size_t offset) {
    auto e = std::make_unique<Expr>();
    e->kind = k;
    e->offset = offset;
    return e;
  }

  ExprPtr Expression() {
    const Level level = Nested();
    return Or();
  }

  ExprPtr Or() {
    ExprPtr left = And();
    while (Peek().IsKeyword("OR")) {
      auto e = Make(ExprKind::kBinary, Next().offset);
      e->text = "OR";
      e->args.push_back(std::move(left));
      e->args.push_back(And());
      left = std::move(e);
    }
    return left;
  }

  ExprPtr And() {
    ExprPtr left = Not();
    while (Peek().IsKeyword("AND")) {
      auto e = Make(ExprKind::kBinary, Next().offset);
      e->text = "AND";
      e->args.push_back(std::move(left));
      e->args.push_back(Not());
      left = std::move(e);
    }
    return left;
  }

  ExprPtr Not() {
    if (Peek().IsKeyword("NOT")) {
      const Level level = Nested();
      auto e = Make(ExprKind::kUnary, Next().offset);
      e->text = "NOT";
      e->args.push_back(Not());
      return e;
    }
    return Predicate();
  }

  ExprPtr Predicate() {
    if (Peek().IsKeyword("EXISTS")) {
      auto e = Make(ExprKind::kExists, Next().offset);
      ExpectSymbol("(");
      e->select = SelectStatement();
      ExpectSymbol(")");
      return e;
    }
    ExprPtr left = Additive();
    const std::size_t at = Peek().offset;
    bool negated = false;
    if (Peek().IsKeyword("NOT") &&
        (Peek(1).IsKeyword("IN") || Peek(1).IsKeyword("LIKE") || Peek(1).IsKeyword("BETWEEN"))) {
      negated = true;
      ++i_;
    }
    if (AcceptKeyword("IN")) {
      ExpectSymbol("(");
      ExprPtr e;
      if (Peek().IsKeyword("SELECT")) {
        e = Make(ExprKind::kInSelect, at);
        e->select = SelectStatement();
        e->args.push_back(std::move(left));
      } else {
        e = Make(ExprKind::kInList, at);
        e->args.push_back(std::move(left));
        do {
          e->args.push_back(Expression());
        } while (AcceptSymbol(","));
      }
      ExpectSymbol(")");
      e->negated = negated;
      return e;
    }
    if (AcceptKeyword("LIKE")) {
      auto e = Make(ExprKind::kBinary, at);
      e->text = "LIKE";
      e->negated = negated;
      e->args.push_back(std::move(left));
      e->args.push_back(Additive());
      if (AcceptKeyword("ESCAPE")) e->args.push_back(Additive());  // args[2]: the escape character
      return e;
    }
    if (AcceptKeyword("BETWEEN")) {
      auto e = Make(ExprKind::kBetween, at);
      e->negated = negated;
      e->args.push_back(std::move(left));
      e->args.push_back(Additive());
      ExpectKeyword("AND");
      e->args.push_back(Additive());
      return e;
    }
    if (negated) Fail();
    if (AcceptKeyword("IS")) {
      auto e = Make(ExprKind::kIsNull, at);
      e->negated = AcceptKeyword("NOT");
      ExpectKeyword("NULL");
      e->args.push_back(std::move(left));
      return e;
    }
    static const char* const kCompare[] = {"=", "<>", "!=", "<", ">", "<=", ">=", "!<", "!>"};
    for (const char* op : kCompare) {
      if (Peek().IsSymbol(op)) {
        ++i_;
        auto e = Make(ExprKind::kBinary, at);
        e->text = op == std::string_view("!=") ? "<>" : op == std::string_view("!<") ? ">=" : op == std::string_view("!>") ? "<=" : op;
        e->args.push_back(std::move(left));
        e->args.push_back(Additive());
        return e;
      }
    }
    return left;
  }

  ExprPtr Additive() {
    ExprPtr left = Multiplicative();
    for (;;) {
      const Token& t = Peek();
      if (!(t.IsSymbol("+") || t.IsSymbol("-") || t.IsSymbol("&") || t.IsSymbol("|") || t.IsSymbol("^"))) break;
      ++i_;
      auto e = Make(ExprKind::kBinary, t.offset);
      e->text = t.text;
      e->args.push_back(std::move(left));
      e->args.push_back(Multiplicative());
      left = std::move(e);
    }
    return left;
  }

  ExprPtr Multiplicative() {
    ExprPtr left = Unary();
    for (;;) {
      const Token& t = Peek();
      if (!(t.IsSymbol("*") || t.IsSymbol("/") || t.IsSymbol("%"))) break;
      ++i_;
      auto e = Make(ExprKind::kBinary, t.offset);
      e->text = t.text;
      e->args.push_back(std::move(left));
      e->args.push_back(Unary());
      left = std::move(e);
    }
    return left;
  }

  ExprPtr Unary() {
    const Token& t = Peek();
    if (t.IsSymbol("-") || t.IsSymbol("+") || t.IsSymbol("~")) {
      const Level level = Nested();
      ++i_;
      auto e = Make(ExprKind::kUnary, t.offset);
      e->text = t.text;
      e->args.push_back(Unary());
      return e;
    }
    ExprPtr value = Primary();
    while (Peek().IsKeyword("COLLATE")) {
      auto e = Make(ExprKind::kCollate, Next().offset);
      e->text = Name();
      e->args.push_back(std::move(value));
      value = std::move(e);
    }
    return value;
  }

  ExprPtr Primary() {
    const Token& t = Peek();
    switch (t.kind) {
      case TokKind::kInteger: case TokKind::kDecimal: case TokKind::kFloat: case TokKind::kMoney: {
        ++i_;
        auto e = Make(t.kind == TokKind::kInteger   ? ExprKind::kInteger
                      : t.kind == TokKind::kDecimal ? ExprKind::kDecimal
                      : t.kind == TokKind::kFloat   ? ExprKind::kFloat
                                                    : ExprKind::kMoney,
                      t.offset);
        e->text = t.text;
        return e;
      }
      case TokKind::kString: {
        ++i_;
        auto e = Make(ExprKind::kString, t.offset);
        e->text = t.text;
        e->national = t.national;
        return e;
      }
      case TokKind::kBinary: {
        ++i_;
        auto e = Make(ExprKind::kBytes, t.offset);
        e->text = t.text;
        return e;
      }
      case TokKind::kVariable: {
        ++i_;
        auto e = Make(ExprKind::kVariable, t.offset);
        e->text = t.text;
        return e;
      }
      case TokKind::kSymbol:
        if (t.IsSymbol("(")) {
          ++i_;
          if (Peek().IsKeyword("SELECT")) {
            auto e = Make(ExprKind::kSubquery, t.offset);
            e->select = SelectStatement();
            ExpectSymbol(")");
            return e;
          }
          ExprPtr inner = Expression();
          ExpectSymbol(")");
          return inner;
        }
        Fail();
      case TokKind::kWord:
      case TokKind::kQuoted:
        break;
      case TokKind::kEnd:
        Fail();
    }
    if (t.IsKeyword("NULL")) {
      ++i_;
      return Make(ExprKind::kNull, t.offset);
    }
    if (t.IsKeyword("CASE")) return Case();
    if (t.kind == TokKind::kWord && (t.IsKeyword("CAST") || t.IsKeyword("CONVERT")) && Peek(1).IsSymbol("(")) {
      const bool cast = t.IsKeyword("CAST");
      i_ += 2;
      auto e = Make(ExprKind::kCast, t.offset);
      if (cast) {
        e->args.push_back(Expression());
        ExpectKeyword("AS");
        e->cast_type = Type();
      } else {
        e->cast_type = Type();
        ExpectSymbol(",");
        e->args.push_back(Expression());
        if (AcceptSymbol(",")) e->args.push_back(Expression());  // the style
      }
      ExpectSymbol(")");
      return e;
    }
    // The functions SQL Server writes without parentheses.
    static const std::set<std::string> kNiladic = {"CURRENT_TIMESTAMP", "CURRENT_USER", "SESSION_USER",
                                                   "SYSTEM_USER", "USER"};
    if (t.kind == TokKind::kWord && !Peek(1).IsSymbol("(") && !Peek(1).IsSymbol(".") &&
        kNiladic.count(UpperAscii(t.text)) > 0) {
      ++i_;
      auto e = Make(ExprKind::kFunction, t.offset);
      e->parts = {UpperAscii(t.text)};
      return e;
    }
    // A function call or a column reference.
    std::vector<std::string> parts;
    if (t.kind == TokKind::kWord && IsReserved(t) && !(Peek(1).IsSymbol("(") && (t.IsKeyword("LEFT") || t.IsKeyword("RIGHT")))) {
      Fail();
    }
    parts.push_back(Next().text);
    while (Peek().IsSymbol(".") && (Peek(1).kind == TokKind::kWord || Peek(1).kind == TokKind::kQuoted)) {
      ++i_;
      parts.push_back(Next().text);
    }
    if (Peek().IsSymbol("(")) {
      ++i_;
      auto e = Make(ExprKind::kFunction, t.offset);
      e->parts = std::move(parts);
      if (AcceptSymbol("*")) {
        e->star = true;
      } else if (!Peek().IsSymbol(")")) {
        if (AcceptKeyword("DISTINCT")) {
          e->distinct = true;
        } else if (Peek().IsKeyword("ALL") && !Peek(1).IsSymbol(")") && !Peek(1).IsSymbol(",")) {
          ++i_;  // every value, the default
        }
        do {
          e->args.push_back(Expression());
        } while (AcceptSymbol(","));
      }
      ExpectSymbol(")");
      return e;
    }
    if (parts.size() > 4) Fail(t);
    auto e = Make(ExprKind::kColumn, t.offset);
    e->parts = std::move(parts);
    return e;
  }

  ExprPtr Case() {
    const Level level(case_depth_, kMaxCaseNesting, &CaseTooDeep);
    auto e = Make(ExprKind::kCase, Next().offset);
    if (!Peek().IsKeyword("WHEN")) e->args.push_back(Expression());
    while (AcceptKeyword("WHEN")) {
      ExprPtr when = Expression();
      ExpectKeyword("THEN");
      e->whens.emplace_back(std::move(when), Expression());
    }
    if (e->whens.empty()) Fail();
    if (AcceptKeyword("ELSE")) e->else_expr = Expression();
    ExpectKeyword("END");
    return e;
  }

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

}  // namespace

ast::Expr::~Expr() {
  // Children are moved onto a list of their own and destroyed there with
  // their children already taken: no destructor recurses along a chain.
  // (Subqueries nest only as deep as the parser allows.)
  std::vector<ExprPtr> pending;
  auto take = [&pending](ExprPtr& child) {
    if (child) pending.push_back(std::move(child));
  };
  auto adopt = [&take](Expr& e) {
    for (auto& a : e.args) take(a);
    for (auto& [when, then] : e.whens) {
      take(when);
      take(then);
    }
    take(e.else_expr);
  };
  adopt(*this);
  while (!pending.empty()) {
    ExprPtr e = std::move(pending.back());
    pending.pop_back();
    adopt(*e);
  }
}

std::string ast::ObjectName::Display() const {
  std::string s;
  if (!database.empty()) s += database + ".";
  if (!schema.empty() || !database.empty()) s += schema + ".";
  return s + object;
}

std::vector<ast::StmtPtr> ParseBatch(std::string_view batch, bool quoted_identifier) {
  return Parser(batch, quoted_identifier).Batch();
}
ast::ObjectName ParseObjectName(std::string_view text) { return Parser(text, true).LoneObjectName(); }
std::vector<ast::VariableDecl> ParseParameterList(std::string_view text) {
  return Parser(text, true).LoneParameterList();
}

}  // namespace sqlsrv
