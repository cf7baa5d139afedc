// Remote procedure calls as clients send them (a TDS RPC message): one or
// more calls, each of a procedure named or given by the number of a system
// procedure, with typed parameters.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/sqlserver/procedure_call.h"

namespace com {
class CodePage;
}

namespace sqlsrv::tds {

struct RpcCall {
  std::string procedure;           // a number is given by the name it stands for ("sp_executesql")
  std::uint16_t options = 0;       // fWithRecomp, fNoMetaData, fReuseMetaData
  std::vector<Argument> arguments;
};

// The most parameters a call may carry, as SQL Server allows.
inline constexpr std::size_t kMaxRpcParameters = 2100;

// The calls of an RPC message (its ALL_HEADERS already skipped when the
// client sends them). Raises ProtocolError for a malformed call header,
// 2812 for an unknown procedure number, 8003 for more than
// kMaxRpcParameters parameters, and for a parameter it cannot read 8009 (an
// unknown type), 8016 (a malformed type or value) or kNotSupported (a CLR
// type or a table), naming the parameter. Each value is at most
// `max_value_bytes`.
std::vector<RpcCall> ParseRpcMessage(std::vector<std::uint8_t> body, com::CodePage& cp936, std::size_t max_value_bytes);

// The name of a system procedure a client calls by number, or "" for a
// number that names none.
std::string SystemProcedureName(std::uint16_t id);

}  // namespace sqlsrv::tds
