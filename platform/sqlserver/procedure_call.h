// Calling a procedure with arguments: what EXEC in a batch and a remote
// procedure call over TDS both hand the engine, and the parameters a
// procedure declares.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/error.h"
#include "platform/com/variant.h"
#include "platform/sqlserver/frontend/ast.h"
#include "platform/sqlserver/types.h"

namespace sqlsrv {

// One parameter a procedure declares: "@b nvarchar(20) = N'x' OUTPUT".
struct ProcedureParameter {
  std::string name;                     // with its '@'
  ColumnType type;
  std::optional<com::Variant> default_value;  // nullopt: the caller must give a value
  bool output = false;
};

// One argument of a call, in the order the caller gave them.
struct Argument {
  std::string name;           // "@a" for a named argument, "" for one given by position
  com::Variant value;         // as the caller gave it; converted to the parameter's type on the call
  bool use_default = false;   // DEFAULT given in place of a value
  bool output = false;        // passed OUTPUT: receives the parameter's value when the call ends
  // Set by the call for an output argument: the parameter's declared type
  // (what a RETURNVALUE describes). `value` then holds the final value.
  std::optional<ColumnType> type;
};

// The parameters as a CREATE PROCEDURE or a parameterized query's list
// declares them: types resolved (2715, 131), defaults taken as the
// constants they are. Raises 134 for a name declared twice.
std::vector<ProcedureParameter> ResolveParameters(const std::vector<ast::VariableDecl>& declared);

// The value of a constant as T-SQL writes it: NULL, a number (with its
// sign), a string, money.
com::Variant ConstantValue(const ast::Expr& e);

// The name SQL Server's messages give a value's type: "int", "nvarchar",
// "money", "numeric" ...
std::string TypeNameOf(const com::Variant& v);
// The same for a declared type, without its length: "nvarchar", "int",
// "numeric" for decimal and numeric alike.
std::string TypeNameOf(const ColumnType& t);

// A call's arguments bound to a procedure's parameters.
struct BoundCall {
  std::vector<Stored> values;    // per parameter, converted to its type
  std::vector<int> argument_of;  // per parameter: the index of its argument, -1 where its default applies
};

// What a call raises for a parameter given no value that has no default.
using MissingParameter = std::function<com::Error(const ProcedureParameter&)>;

// Binds a call's arguments to the parameters of `procedure`, as SQL Server
// does for EXEC and for a remote procedure call alike: by position until
// the first named argument, by name from there on. Each value is converted
// to its parameter's type as a variable takes it, text too long cut to fit;
// a value of no meaning in the type raises 8114 naming the argument's type
// (`argument_types[i]`, as the caller wrote it: "varchar" for '...'; by
// the value's kind where not given). Raises, in the order SQL Server finds
// them: 119 for a positional argument after a named one, 8145 for a name
// no parameter has, 8143 for a parameter given twice, 8144 for more
// arguments than parameters, 8162 for OUTPUT given for a parameter not
// declared OUTPUT, then `missing` (by default 201) for a parameter without
// value or default.
BoundCall BindArguments(std::string_view procedure, const std::vector<ProcedureParameter>& parameters,
                        const std::vector<Argument>& arguments, const std::vector<std::string>& argument_types = {},
                        const MissingParameter& missing = nullptr);

}  // namespace sqlsrv
