// SELECT: its clauses, the tables it reads, its set operators.
#include "platform/sqlserver/frontend/parser_internal.h"

namespace sqlsrv::parsing {

std::unique_ptr<Select> Parser::SelectStatement(QueryRole role) {
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

std::unique_ptr<Select> Parser::CombinedQuery(bool assignments) {
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

std::unique_ptr<Select> Parser::IntersectedQuery(bool assignments) {
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

std::unique_ptr<Select> Parser::QueryTerm(bool assignments) {
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

std::unique_ptr<Select> Parser::SelectCore(bool assignments) {
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

std::vector<TableRef> Parser::FromList() {
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

TableRef Parser::TableSource(const char* join) {
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

bool Parser::AtQueryInParentheses() const {
  std::size_t k = 0;
  while (Peek(k).IsSymbol("(")) ++k;
  return Peek(k).IsKeyword("SELECT");
}

}  // namespace sqlsrv::parsing
