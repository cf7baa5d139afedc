#include "platform/sqlserver/frontend/parser.h"

#include "platform/sqlserver/frontend/parser_internal.h"

namespace sqlsrv::parsing {

std::vector<StmtPtr> Parser::Batch() {
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

ObjectName Parser::LoneObjectName() {
  ObjectName n = Object();
  if (!At(TokKind::kEnd)) Fail();
  return n;
}

std::vector<VariableDecl> Parser::LoneParameterList() {
  std::vector<VariableDecl> out;
  if (At(TokKind::kEnd)) return out;
  out = ParameterList("parameterized query");
  if (!At(TokKind::kEnd)) Fail();
  return out;
}

void Parser::Fail(const Token& t) {
  if (t.kind == TokKind::kEnd) throw SqlErr(kSyntax, "Incorrect syntax near the end of the batch.");
  if (IsReserved(t)) throw SqlErr(kSyntaxKeyword, "Incorrect syntax near the keyword '" + UpperAscii(t.text) + "'.");
  throw SqlErr(kSyntax, "Incorrect syntax near '" + t.text + "'.");
}

bool Parser::AcceptKeyword(std::string_view kw) {
  if (!Peek().IsKeyword(kw)) return false;
  ++i_;
  return true;
}

bool Parser::AcceptSymbol(std::string_view s) {
  if (!Peek().IsSymbol(s)) return false;
  ++i_;
  return true;
}

std::string Parser::Name() {
  const Token& t = Peek();
  if (t.kind == TokKind::kQuoted || (t.kind == TokKind::kWord && !IsReserved(t))) {
    ++i_;
    return t.text;
  }
  Fail();
}

ObjectName Parser::Object() {
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

}  // namespace sqlsrv::parsing

namespace sqlsrv {
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
  return parsing::Parser(batch, quoted_identifier).Batch();
}
ast::ObjectName ParseObjectName(std::string_view text) { return parsing::Parser(text, true).LoneObjectName(); }
std::vector<ast::VariableDecl> ParseParameterList(std::string_view text) {
  return parsing::Parser(text, true).LoneParameterList();
}

}  // namespace sqlsrv
