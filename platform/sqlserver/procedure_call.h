// Calling a procedure with arguments: what EXEC in a batch and a remote
// procedure call over TDS both hand the engine, and the parameters a
// procedure declares.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/com/variant.h"
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

}  // namespace sqlsrv
