// The statements of a batch: control of flow, errors, variables, SET,
// EXEC, INSERT, UPDATE, DELETE and the rest.
#include "platform/sqlserver/frontend/parser_internal.h"

namespace sqlsrv::parsing {

StmtPtr Parser::Statement() {
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
    While(*s);
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
    Waitfor(*s);
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
    Return(*s);
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
    Drop(*s);
  } else if (t.IsKeyword("EXEC") || t.IsKeyword("EXECUTE")) {
    ++i_;
    if (Peek().IsSymbol("(")) {
      ExecuteString(*s);
    } else {
      Execute(*s);
    }
  } else if (t.IsKeyword("IF")) {
    ++i_;
    If(*s);
  } else if (t.IsKeyword("BEGIN")) {
    ++i_;
    Begin(*s);
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
    Set(*s);
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

// WHILE (taken) condition statement.
void Parser::While(Stmt& s) {
  s.kind = StmtKind::kWhile;
  s.condition = Expression();
  ++loop_depth_;
  s.then_block.push_back(Body());
  --loop_depth_;
}

// WAITFOR (taken) DELAY | TIME {'text' | @variable}.
void Parser::Waitfor(Stmt& s) {
  s.kind = StmtKind::kWaitfor;
  if (!Peek().IsKeyword("DELAY") && !Peek().IsKeyword("TIME")) Fail();
  s.option = UpperAscii(Next().text);
  if (!At(TokKind::kString) && !At(TokKind::kVariable)) Fail();
  s.value = Primary();
}

// RETURN (taken) [status]: a status only in a procedure (178 outside).
void Parser::Return(Stmt& s) {
  s.kind = StmtKind::kReturn;
  if (!At(TokKind::kEnd) && !Peek().IsSymbol(";") && !AtStatementStart()) {
    if (!in_procedure_) {
      throw SqlErr(kReturnValueHere, "A RETURN statement with a return value cannot be used in this context.");
    }
    s.value = Expression();
  }
}

// DROP (taken) TABLE | PROC[EDURE] | VIEW a, b | INDEX ...
void Parser::Drop(Stmt& s) {
  if (AcceptKeyword("TABLE")) {
    s.kind = StmtKind::kDropTable;
    s.object = Object();
  } else if (AcceptKeyword("PROC") || AcceptKeyword("PROCEDURE")) {
    s.kind = StmtKind::kDropProcedure;
    s.object = Object();
  } else if (AcceptKeyword("VIEW")) {
    s.kind = StmtKind::kDropView;
    do {
      s.objects.push_back(Object());
    } while (AcceptSymbol(","));
  } else if (AcceptKeyword("INDEX")) {
    DropIndex(s);
  } else {
    Fail();
  }
}

// IF (taken) condition statement [ELSE statement].
void Parser::If(Stmt& s) {
  s.kind = StmtKind::kIf;
  s.condition = Expression();
  s.then_block.push_back(Body());
  while (AcceptSymbol(";")) {
  }
  if (AcceptKeyword("ELSE")) s.else_block.push_back(Body());
}

// BEGIN (taken) TRY ..., TRAN[SACTION] [name], or a block of statements up
// to END.
void Parser::Begin(Stmt& s) {
  if (Peek().IsKeyword("TRY")) {
    ++i_;
    TryCatch(s);
  } else if (AcceptKeyword("TRAN") || AcceptKeyword("TRANSACTION")) {
    s.kind = StmtKind::kBeginTran;
    if (AtName() && !AtStatementStart()) s.option = Name();
  } else {
    s.kind = StmtKind::kBlock;
    while (!Peek().IsKeyword("END")) {
      if (At(TokKind::kEnd)) Fail();
      if (AcceptSymbol(";")) continue;
      s.then_block.push_back(Statement());
    }
    ++i_;
  }
}

// SET (taken) @variable = value, IDENTITY_INSERT table ON | OFF, or a
// session option.
void Parser::Set(Stmt& s) {
  if (At(TokKind::kVariable)) {
    SetVariable(s);
  } else if (AcceptKeyword("IDENTITY_INSERT")) {
    s.kind = StmtKind::kSetIdentityInsert;
    s.object = Object();
    if (AcceptKeyword("ON")) {
      s.on = true;
    } else if (!AcceptKeyword("OFF")) {
      Fail();
    }
  } else {
    SetOption(s);
  }
}

StmtPtr Parser::Body() {
  const bool outer = fresh_body_;
  fresh_body_ = true;
  StmtPtr s = Statement();
  fresh_body_ = outer;
  return s;
}

bool Parser::AfterStatementEnd(bool body) const {
  if (body || i_ == 0) return true;
  const Token& before = t_[i_ - 1];
  return before.IsSymbol(";") || before.IsKeyword("BEGIN") || before.IsKeyword("TRY") ||
         before.IsKeyword("CATCH") || before.IsKeyword("AS") || before.IsKeyword("ELSE");
}

void Parser::TryCatch(Stmt& s) {
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

void Parser::Raiserror(Stmt& s) {
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

void Parser::Throw(Stmt& s) {
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

void Parser::ExecuteString(Stmt& s) {
  s.kind = StmtKind::kExecuteString;
  ExpectSymbol("(");
  do {
    if (!At(TokKind::kString) && !At(TokKind::kVariable)) Fail();
    s.expressions.push_back(Primary());
  } while (AcceptSymbol("+"));
  ExpectSymbol(")");
}

void Parser::ComputeClauses(Select& select, std::size_t start) {
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

ExprPtr Parser::RowAggregate() {
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

void Parser::ForBrowse(Select& select) {
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

void Parser::RefuseBrowse(QueryRole role) const {
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

void Parser::QueryOptions(Select& select) {
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

bool Parser::AtStatementStart() const {
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

void Parser::SetOption(Stmt& s) {
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

std::string Parser::OptionName(const std::string& before) {
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

bool Parser::OnOrOff() {
  if (AcceptKeyword("ON")) return true;
  if (!AcceptKeyword("OFF")) Fail();
  return false;
}

void Parser::ApplyAtParse(const Stmt& s) {
  if (s.option != "QUOTED_IDENTIFIER" || s.option_value.empty()) return;
  quoted_identifier_ = s.on;
  ReadDoubleQuotes(i_);
}

void Parser::ReadDoubleQuotes(std::size_t from) {
  for (std::size_t k = from; k < t_.size(); ++k) {
    if (IsDoubleQuoted(t_[k])) t_[k].kind = quoted_identifier_ ? TokKind::kQuoted : TokKind::kString;
  }
}

std::string Parser::VariableName() {
  const Token& t = Peek();
  if (t.kind != TokKind::kVariable || t.text.size() < 2 || t.text[1] == '@') Fail();
  ++i_;
  return t.text;
}

void Parser::Declare(Stmt& s) {
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

void Parser::SetVariable(Stmt& s) {
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

void Parser::Execute(Stmt& s) {
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

ExprPtr Parser::Constant(bool argument) {
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

void Parser::Insert(Stmt& s) {
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

void Parser::Update(Stmt& s) {
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

void Parser::Delete(Stmt& s) {
  ++i_;
  s.kind = StmtKind::kDelete;
  AcceptKeyword("FROM");
  s.object = Object();
  if (AcceptKeyword("FROM")) s.from = FromList();
  if (AcceptKeyword("WHERE")) s.where = Expression();
}

int Parser::DecimalScale(const std::string& digits, int precision, TypeSite site) {
  int scale = 0;
  if (ParseDigits(digits, &scale) && scale <= precision) return scale;
  if (site.column.empty()) throw SqlErr(kScaleOverPrecision, "The scale must be less than or equal to the precision.");
  throw SqlErr(kColumnScale, "The scale (" + WithoutLeadingZeros(digits) + ") for column '" + std::string(site.column) +
                                 "' must be within the range 0 to " + std::to_string(precision) + ".");
}

std::int64_t Parser::SignedInteger(std::string_view what, std::string_view type) {
  const bool negative = AcceptSymbol("-");
  if (!At(TokKind::kInteger)) Fail();
  std::int64_t v = 0;
  if (!ParseDigits(Next().text, &v)) throw Overflow(what, type);
  return negative ? -v : v;
}

}  // namespace sqlsrv::parsing
