// Expressions, one function a level of precedence, and the terms they
// are made of.
#include "platform/sqlserver/frontend/parser_internal.h"

namespace sqlsrv::parsing {

ExprPtr Parser::Make(ExprKind k, std::size_t offset) {
  auto e = std::make_unique<Expr>();
  e->kind = k;
  e->offset = offset;
  return e;
}

ExprPtr Parser::Or() {
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

ExprPtr Parser::And() {
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

ExprPtr Parser::Not() {
  if (Peek().IsKeyword("NOT")) {
    const Level level = Nested();
    auto e = Make(ExprKind::kUnary, Next().offset);
    e->text = "NOT";
    e->args.push_back(Not());
    return e;
  }
  return Predicate();
}

ExprPtr Parser::Predicate() {
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

ExprPtr Parser::Additive() {
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

ExprPtr Parser::Multiplicative() {
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

ExprPtr Parser::Unary() {
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

ExprPtr Parser::Primary() {
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

ExprPtr Parser::Case() {
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

}  // namespace sqlsrv::parsing
