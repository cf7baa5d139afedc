// Variables: the store a batch or procedure execution keeps them in, and
// the pass that declares them and checks their uses before anything runs.
#include "platform/sqlserver/translation/variables.h"

#include "platform/com/names.h"
#include "platform/sqlserver/errors.h"

namespace sqlsrv {

void VariableStore::Declare(const std::string& name, const ColumnType& type) {
  const auto [it, added] = by_key_.try_emplace(com::LowerAscii(name));
  if (!added) throw VariableRedeclaredError(name);
  it->second.name = name;
  it->second.type = type;
}

const VariableStore::Variable* VariableStore::Find(std::string_view name) const {
  const auto it = by_key_.find(com::LowerAscii(name));
  return it == by_key_.end() ? nullptr : &it->second;
}

VariableStore::Variable& VariableStore::Get(std::string_view name) {
  const auto it = by_key_.find(com::LowerAscii(name));
  if (it == by_key_.end()) throw UndeclaredVariableError(std::string(name));
  return it->second;
}

void VariableStore::Assign(std::string_view name, const com::Variant& value) {
  Variable& v = Get(name);
  Stored converted;
  ToStoredCut(value, v.type, &converted);
  v.value = std::move(converted);
}

void VariableStore::Set(std::string_view name, Stored value) { Get(name).value = std::move(value); }

com::Variant VariableStore::Value(std::string_view name) const {
  const Variable* v = Find(name);
  if (!v) throw UndeclaredVariableError(std::string(name));
  return FromStored(v->value, v->type);
}

namespace {

using ast::Expr;
using ast::ExprKind;

// Walks statements in the order they are written, declaring and checking.
class Checker {
 public:
  explicit Checker(VariableStore& store) : store_(store) {}

  void Statements(const std::vector<ast::StmtPtr>& statements) {
    for (const auto& s : statements) Statement(*s);
  }

 private:
  void Use(const std::string& name) {
    if (!store_.Find(name)) throw UndeclaredVariableError(name);
  }

  // Every variable an expression reads. Operator chains are as deep as
  // they are long, so the tree is walked with a list, not by recursion;
  // subqueries nest only as deep as the parser allows.
  void Expression(const Expr* root) {
    if (!root) return;
    std::vector<const Expr*> pending{root};
    while (!pending.empty()) {
      const Expr* e = pending.back();
      pending.pop_back();
      if (e->kind == ExprKind::kVariable && e->text.compare(0, 2, "@@") != 0) Use(e->text);
      if (e->select) Select(*e->select);
      for (const auto& a : e->args) pending.push_back(a.get());
      for (const auto& [when, then] : e->whens) {
        pending.push_back(when.get());
        pending.push_back(then.get());
      }
      if (e->else_expr) pending.push_back(e->else_expr.get());
    }
  }

  void From(const std::vector<ast::TableRef>& from) {
    for (const auto& ref : from) {
      if (ref.derived) Select(*ref.derived);
      Expression(ref.on.get());
    }
  }

  void Select(const ast::Select& s) {
    for (const auto& item : s.items) {
      Expression(item.expr.get());
      if (!item.variable.empty()) Use(item.variable);
    }
    From(s.from);
    Expression(s.where.get());
    for (const auto& g : s.group_by) Expression(g.get());
    Expression(s.having.get());
    for (const auto& o : s.order_by) Expression(o.expr.get());
    for (const auto& part : s.set_parts) Select(*part.query);
    for (const auto& cte : s.ctes) Select(*cte.query);
  }

  void Statement(const ast::Stmt& s) {
    using K = ast::StmtKind;
    switch (s.kind) {
      case K::kDeclare:
        for (const auto& d : s.variables) {
          Expression(d.value.get());  // sees the variables declared before it
          store_.Declare(d.name, ResolveValueType(d.type));
        }
        return;
      case K::kCreateProcedure:
        return;  // its body is checked when it is created
      case K::kSetVariable:
        Expression(s.value.get());
        Use(s.variable);
        return;
      case K::kExecute:
        for (const auto& a : s.arguments) Expression(a.value.get());
        if (!s.variable.empty()) Use(s.variable);
        return;
      case K::kIf:
      case K::kWhile:
      case K::kTry:
        Expression(s.condition.get());
        Statements(s.then_block);
        Statements(s.else_block);
        return;
      case K::kBlock:
        Statements(s.then_block);
        return;
      default:
        break;
    }
    if (s.select) Select(*s.select);
    for (const auto& row : s.values) {
      for (const auto& e : row) Expression(e.get());
    }
    for (const auto& set : s.sets) Expression(set.second.get());
    From(s.from);
    Expression(s.where.get());
    Expression(s.print.get());
    Expression(s.value.get());
    for (const auto& e : s.expressions) Expression(e.get());
  }

  VariableStore& store_;
};

}  // namespace

void DeclareVariables(const std::vector<ast::StmtPtr>& statements, VariableStore* store) {
  Checker(*store).Statements(statements);
}

}  // namespace sqlsrv
