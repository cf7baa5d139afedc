// The variables of a batch or of one execution of a procedure (its
// parameters among them). Each holds a value of its declared type, kept as
// SQLite stores a column's value of that type, so that a statement reads
// it as it would read such a column.
//
// As on SQL Server, a variable belongs to the batch (or procedure body) as
// written: it exists, holding NULL, from the start, and may be used by any
// statement written after its DECLARE, whether that DECLARE runs or not.
// Names compare without regard to ASCII case, as the server collation
// compares them.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/variant.h"
#include "platform/sqlserver/frontend/ast.h"
#include "platform/sqlserver/types.h"

namespace sqlsrv {

class VariableStore {
 public:
  struct Variable {
    std::string name;  // as declared, with its '@'
    ColumnType type;
    Stored value;
  };

  // Declares a variable holding NULL; raises 134 when the name is declared
  // already.
  void Declare(const std::string& name, const ColumnType& type);
  // The variable of a name, or null.
  const Variable* Find(std::string_view name) const;
  // Converts a value to the variable's type (ToStoredCut: SQL Server's
  // conversion errors; text too long is cut to fit) and keeps it. Raises
  // 137 for a name not declared.
  void Assign(std::string_view name, const com::Variant& value);
  // Keeps a value already of the variable's type.
  void Set(std::string_view name, Stored value);
  // The value as a Variant of the variable's type; raises 137 for a name
  // not declared.
  com::Variant Value(std::string_view name) const;

 private:
  Variable& Get(std::string_view name);

  std::map<std::string, Variable> by_key_;  // by LowerAscii(name)
};

// The compile-time pass over a batch or a procedure body: declares, in the
// order they are written, the variables its DECLARE statements name (after
// whatever `store` holds already, a procedure's parameters), and checks
// that each variable a statement uses was declared before it. Raises 134
// for a name declared twice, 137 for one used undeclared, and the type
// errors of DECLARE (2715, 131). A CREATE PROCEDURE's body is a scope of
// its own and is not entered.
void DeclareVariables(const std::vector<ast::StmtPtr>& statements, VariableStore* store);

}  // namespace sqlsrv
