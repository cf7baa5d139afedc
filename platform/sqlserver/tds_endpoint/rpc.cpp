#include "platform/sqlserver/tds_endpoint/rpc.h"

#include <cstdio>

#include "platform/sqlserver/errors.h"
#include "platform/sqlserver/tds_endpoint/typed_values.h"
#include "platform/sqlserver/tds_endpoint/wire.h"

namespace sqlsrv::tds {
namespace {

// What separates two calls in one message: 0x80 before TDS 7.2, 0xFF from
// it on; 0xFE asks not to run the calls that follow.
bool IsBatchSeparator(std::uint8_t b) { return b == 0x80 || b == 0xFF || b == 0xFE; }

constexpr std::uint8_t kByReference = 0x01, kDefaultValue = 0x02;

// What begins each error a parameter's type or value raises, as SQL
// Server words it.
constexpr char kStreamIncorrect[] = "The incoming tabular data stream (TDS) remote procedure call (RPC) protocol stream "
                                    "is incorrect. ";

// Reads the TYPE_INFO and value of the `ordinal`th (from 1) argument `a`.
// A value of NULLTYPE, which a client sends for an argument it leaves out,
// asks for the parameter's default. Raises 8009 for a type no client sends,
// 8016 for a malformed type or value (the message was read whole, so the
// request is refused and the connection goes on), and kNotSupported for a
// type this server does not take.
void ReadArgumentValue(PieceReader& r, std::size_t ordinal, com::CodePage& cp936, std::size_t max_value_bytes,
                       Argument* a) {
  const std::string which = "Parameter " + std::to_string(ordinal) + " (\"" + a->name + "\"): ";
  SentType type;
  try {
    type = ReadTypeInfo(r, SentIn::kRpcParameter);
    a->value = ReadValue(r, type, cp936, max_value_bytes, SentIn::kRpcParameter);
  } catch (const ProtocolError& e) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", type.type);
    throw SqlErr(kRpcBadValue, std::string(kStreamIncorrect) + which + "Data type " + hex +
                                   " has an invalid data length or metadata length (" + e.what() + ").");
  } catch (const com::Error& e) {
    if (e.number() == kRpcUnknownType) throw SqlErr(kRpcUnknownType, kStreamIncorrect + which + e.description());
    if (e.number() == kNotSupported) throw SqlErr(kNotSupported, which + e.description());
    throw;
  }
  if (type.type == kNullType) a->use_default = true;
}

}  // namespace

std::string SystemProcedureName(std::uint16_t id) {
  static const char* const kNames[] = {
      "",           "sp_cursor",   "sp_cursoropen", "sp_cursorprepare", "sp_cursorexecute", "sp_cursorprepexec",
      "sp_cursorunprepare", "sp_cursorfetch", "sp_cursoroption", "sp_cursorclose", "sp_executesql", "sp_prepare",
      "sp_execute", "sp_prepexec", "sp_prepexecrpc", "sp_unprepare"};
  return id < std::size(kNames) ? kNames[id] : "";
}

std::vector<RpcCall> ParseRpcMessage(std::vector<std::uint8_t> body, com::CodePage& cp936, std::size_t max_value_bytes) {
  PieceReader r(std::move(body));
  std::vector<RpcCall> calls;
  while (!r.AtEnd()) {
    RpcCall call;
    const std::uint16_t length = r.U16();
    if (length == 0xFFFF) {
      const std::uint16_t id = r.U16();
      call.procedure = SystemProcedureName(id);
      if (call.procedure.empty()) {
        throw SqlErr(2812, "Could not find stored procedure number " + std::to_string(id) +
                               " (the system procedures clients call by number are 1 to 15).");
      }
    } else {
      if (length == 0) throw ProtocolError("call of a procedure without a name");
      call.procedure = r.Ucs2(length);
    }
    call.options = r.U16();
    for (;;) {
      if (r.AtEnd()) break;
      const std::uint8_t first = r.U8();
      if (IsBatchSeparator(first)) break;
      if (call.arguments.size() == kMaxRpcParameters) {
        throw SqlErr(8003, "The incoming request has too many parameters. The server supports a maximum of 2100 "
                           "parameters. Reduce the number of parameters and resend the request.");
      }
      Argument a;
      a.name = r.Ucs2(first);
      const std::uint8_t status = r.U8();
      a.output = (status & kByReference) != 0;
      a.use_default = (status & kDefaultValue) != 0;
      ReadArgumentValue(r, call.arguments.size() + 1, cp936, max_value_bytes, &a);
      call.arguments.push_back(std::move(a));
    }
    calls.push_back(std::move(call));
  }
  return calls;
}

}  // namespace sqlsrv::tds
