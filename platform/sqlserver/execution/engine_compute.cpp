// COMPUTE: a query's row aggregates, over all its rows or over each group
// of rows COMPUTE BY names, carried with its result as compute rows. The
// aggregates are a second query the translator types as any SELECT's
// aggregates: over the statement's query as a derived table, grouped and
// ordered by the BY columns, with each group's row count, which places
// its compute row after the group's last row.
#include <sqlite3.h>

#include <algorithm>

#include "platform/com/names.h"
#include "platform/sqlserver/execution/engine_internal.h"
#include "platform/sqlserver/errors.h"
#include "platform/sqlserver/execution/result_values.h"

namespace sqlsrv {
namespace {

using com::SameName;

// The derived table of the statement's rows inside a compute query.
constexpr char kRowsAlias[] = "vk_rows";

struct AggregateName {
  const char* name;
  RowAggregate aggregate;
};
constexpr AggregateName kAggregates[] = {
    {"AVG", RowAggregate::kAvg},     {"COUNT", RowAggregate::kCount}, {"MAX", RowAggregate::kMax},
    {"MIN", RowAggregate::kMin},     {"STDEV", RowAggregate::kStdev}, {"STDEVP", RowAggregate::kStdevp},
    {"SUM", RowAggregate::kSum},     {"VAR", RowAggregate::kVar},     {"VARP", RowAggregate::kVarp},
};

RowAggregate AggregateOf(const std::string& name) {
  for (const auto& a : kAggregates) {
    if (name == a.name) return a.aggregate;
  }
  throw SqlErr(kNotSupported, "The row aggregate " + name + " is not supported by the embedded server.");
}

bool SameExpr(const ast::Expr* a, const ast::Expr* b);

bool SameExprs(const std::vector<ast::ExprPtr>& a, const std::vector<ast::ExprPtr>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (!SameExpr(a[i].get(), b[i].get())) return false;
  }
  return true;
}

// A column named as in another expression: the same column name, and the
// same qualifier when both have one.
bool SameColumn(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  if (a.empty() || b.empty() || !SameName(a.back(), b.back())) return false;
  if (a.size() == 1 || b.size() == 1) return true;
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](const auto& x, const auto& y) {
           return SameName(x, y);
         });
}

// Whether two expressions are written alike (a COMPUTE item is "an
// identical copy" of a select-list or ORDER BY item). Subqueries never
// match.
bool SameExpr(const ast::Expr* a, const ast::Expr* b) {
  if (!a || !b) return a == b;
  if (a->kind != b->kind || a->national != b->national || a->negated != b->negated || a->distinct != b->distinct ||
      a->star != b->star || a->select || b->select) {
    return false;
  }
  if (a->kind == ast::ExprKind::kColumn) return SameColumn(a->parts, b->parts);
  if (a->parts.size() != b->parts.size()) return false;
  for (std::size_t i = 0; i < a->parts.size(); ++i) {
    if (!SameName(a->parts[i], b->parts[i])) return false;
  }
  const bool words = a->kind == ast::ExprKind::kUnary || a->kind == ast::ExprKind::kBinary ||
                     a->kind == ast::ExprKind::kVariable || a->kind == ast::ExprKind::kCollate;
  if (words ? !SameName(a->text, b->text) : a->text != b->text) return false;
  if (a->cast_type.name != b->cast_type.name || a->cast_type.length != b->cast_type.length ||
      a->cast_type.scale != b->cast_type.scale) {
    return false;
  }
  if (!SameExprs(a->args, b->args) || !SameExpr(a->else_expr.get(), b->else_expr.get())) return false;
  if (a->whens.size() != b->whens.size()) return false;
  for (std::size_t i = 0; i < a->whens.size(); ++i) {
    if (!SameExpr(a->whens[i].first.get(), b->whens[i].first.get()) ||
        !SameExpr(a->whens[i].second.get(), b->whens[i].second.get())) {
      return false;
    }
  }
  return true;
}

// The result column (from 0) an expression of COMPUTE names: the select
// item written alike, or one whose alias it is (`alias_too`, for BY,
// whose items may be ORDER BY's aliases); with a * in the select list,
// the column of that name (refused when * gives two of that name). None
// when no column fits.
std::optional<std::size_t> ResultColumnOf(const ast::Expr& e, const ast::Select& select,
                                          const std::vector<OutputColumn>& columns, bool alias_too) {
  const auto stars = std::count_if(select.items.begin(), select.items.end(), [](const auto& i) { return i.star; });
  if (stars <= 1) {
    // A single * stands for the columns the other items leave.
    const std::size_t star_width = columns.size() + 1 - select.items.size();
    std::size_t column = 0;
    for (const ast::SelectItem& item : select.items) {
      if (item.star) {
        column += star_width;
        continue;
      }
      const bool by_alias = alias_too && e.kind == ast::ExprKind::kColumn && e.parts.size() == 1 &&
                            !item.alias.empty() && SameName(item.alias, e.parts[0]);
      if (by_alias || SameExpr(item.expr.get(), &e)) return column;
      ++column;
    }
  }
  if (stars == 0 || e.kind != ast::ExprKind::kColumn) return std::nullopt;
  std::optional<std::size_t> found;
  for (std::size_t c = 0; c < columns.size(); ++c) {
    if (!SameName(columns[c].name, e.parts.back())) continue;
    if (found) {
      throw SqlErr(kNotSupported, "COMPUTE of the column '" + e.parts.back() + "', which the * of the select list gives "
                                  "more than once, is not supported by the embedded server.");
    }
    found = c;
  }
  return found;
}

ast::ExprPtr RowsColumn(const std::string& name) {
  auto e = std::make_unique<ast::Expr>();
  e->kind = ast::ExprKind::kColumn;
  e->parts = {kRowsAlias, name};
  return e;
}

// Gives the derived table back to the clause it was lent from.
struct Lent {
  std::unique_ptr<ast::Select>& owner;
  ast::TableRef& ref;
  ~Lent() { owner = std::move(ref.derived); }
};

}  // namespace

std::vector<ComputeClause> EngineCore::DescribeComputes(const ast::Select& select,
                                                        const std::vector<OutputColumn>& columns) {
  std::vector<ComputeClause> out;
  if (!select.computes.empty() && state_.options.rowcount_limit > 0) {
    throw SqlErr(kNotSupported, "COMPUTE while SET ROWCOUNT limits the rows is not supported by the embedded server.");
  }
  for (std::size_t k = 0; k < select.computes.size(); ++k) {
    const ast::ComputeClause& clause = select.computes[k];
    const std::string number = std::to_string(k + 1);
    ComputeClause c;
    c.id = static_cast<std::uint16_t>(k + 1);
    for (std::size_t j = 0; j < clause.aggregates.size(); ++j) {
      const ast::Expr& aggregate = *clause.aggregates[j];
      const auto column = ResultColumnOf(*aggregate.args.at(0), select, columns, false);
      if (!column) {
        throw SqlErr(411, "COMPUTE clause #" + number + ", aggregate expression #" + std::to_string(j + 1) +
                              " is not in the select list.");
      }
      c.aggregates.push_back(AggregateOf(aggregate.parts.at(0)));
      c.operands.push_back(*column);
    }
    for (std::size_t b = 0; b < clause.by.size(); ++b) {
      const ast::Expr& by = *clause.by[b];
      const auto in_order = std::find_if(select.order_by.begin(), select.order_by.end(),
                                         [&](const ast::OrderItem& o) { return SameExpr(o.expr.get(), &by); });
      if (in_order == select.order_by.end()) {
        throw SqlErr(143, "A COMPUTE BY item was not found in the order by list. All expressions in the compute by "
                          "list must also be present in the order by list.");
      }
      if (static_cast<std::size_t>(in_order - select.order_by.begin()) != b) {
        throw SqlErr(163, "The compute by list does not match the order by list.");
      }
      const auto column = ResultColumnOf(by, select, columns, true);
      if (!column) {
        throw SqlErr(kNotSupported, "COMPUTE clause #" + number + ": a BY item that is not in the select list is not "
                                    "supported by the embedded server.");
      }
      c.by.push_back(*column);
    }
    out.push_back(std::move(c));
  }
  return out;
}

void EngineCore::RunComputes(ast::Select& select, ResultSet* rs) {
  for (std::size_t k = 0; k < select.computes.size(); ++k) {
    ast::ComputeClause& clause = select.computes[k];
    ComputeClause& described = rs->computes[k];
    // The rows' columns get names of their own as a derived table's: an
    // item's alias (unless an earlier item has it), else "vk_c<i>"; the
    // columns of a * keep theirs.
    std::vector<std::string> aliases;
    for (std::size_t i = 0; i < clause.rows->items.size(); ++i) {
      ast::SelectItem& item = clause.rows->items[i];
      if (item.star) continue;
      const bool taken = std::any_of(aliases.begin(), aliases.end(), [&](const auto& a) { return SameName(a, item.alias); });
      if (item.alias.empty() || taken) item.alias = "vk_c" + std::to_string(i);
      aliases.push_back(item.alias);
    }
    if (!clause.rows->top) clause.rows->order_by.clear();  // its rows' order is the groups' query's
    std::vector<OutputColumn> row_columns;
    {
      Translator tr(*catalog_, state_);
      row_columns = tr.Select(*clause.rows).columns;
    }
    for (std::size_t c = 0; c < row_columns.size(); ++c) {
      for (std::size_t earlier = 0; earlier < c; ++earlier) {
        if (SameName(row_columns[earlier].name, row_columns[c].name)) {
          throw SqlErr(kNotSupported, "COMPUTE over a query whose * gives two columns named '" + row_columns[c].name +
                                          "' is not supported by the embedded server.");
        }
      }
    }
    ast::Select groups;
    for (std::size_t j = 0; j < clause.aggregates.size(); ++j) {
      ast::SelectItem item;
      item.expr = std::make_unique<ast::Expr>();
      item.expr->kind = ast::ExprKind::kFunction;
      item.expr->parts = clause.aggregates[j]->parts;
      item.expr->args.push_back(RowsColumn(row_columns.at(described.operands[j]).name));
      groups.items.push_back(std::move(item));
    }
    ast::SelectItem count;
    count.expr = std::make_unique<ast::Expr>();
    count.expr->kind = ast::ExprKind::kFunction;
    count.expr->parts = {"COUNT"};
    count.expr->star = true;
    groups.items.push_back(std::move(count));
    for (std::size_t b = 0; b < described.by.size(); ++b) {
      const std::string& name = row_columns.at(described.by[b]).name;
      groups.group_by.push_back(RowsColumn(name));
      ast::OrderItem order;
      order.expr = RowsColumn(name);
      order.descending = select.order_by.at(b).descending;
      groups.order_by.push_back(std::move(order));
    }
    groups.from.emplace_back();
    ast::TableRef& from = groups.from.back();
    from.alias = kRowsAlias;
    from.derived = std::move(clause.rows);
    TranslatedSelect t;
    {
      const Lent lent{clause.rows, from};
      Translator tr(*catalog_, state_);
      t = tr.Select(groups);
    }
    const std::size_t width = clause.aggregates.size();
    described.columns.assign(t.columns.begin(), t.columns.begin() + static_cast<std::ptrdiff_t>(width));
    if (state_.fmtonly) continue;
    Prepared st(*db_, t.sql);
    std::size_t after = 0;
    for (;;) {
      const int rc = st.StepRaw();
      if (rc == SQLITE_DONE) break;
      if (rc != SQLITE_ROW) throw StepError(rc, "SELECT", nullptr);
      ComputeRow row;
      row.id = described.id;
      for (std::size_t j = 0; j < width; ++j) row.values.push_back(DecodeValue(st.get(), static_cast<int>(j), t.columns[j]));
      after += static_cast<std::size_t>(sqlite3_column_int64(st.get(), static_cast<int>(width)));
      row.after = std::min(after, rs->rows.size());
      rs->compute_rows.push_back(std::move(row));
    }
  }
  std::stable_sort(rs->compute_rows.begin(), rs->compute_rows.end(), [&](const ComputeRow& a, const ComputeRow& b) {
    if (a.after != b.after) return a.after < b.after;
    return rs->computes[a.id - 1].by.size() > rs->computes[b.id - 1].by.size();
  });
}

}  // namespace sqlsrv
