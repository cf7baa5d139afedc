#include "platform/sqlserver/tds_endpoint/rpc.h"

#include "platform/sqlserver/errors.h"
#include "platform/sqlserver/tds_endpoint/typed_values.h"
#include "platform/sqlserver/tds_endpoint/wire.h"

namespace sqlsrv::tds {
namespace {

// What separates two calls in one message: 0x80 before TDS 7.2, 0xFF from
// it on; 0xFE asks not to run the calls that follow.
bool IsBatchSeparator(std::uint8_t b) { return b == 0x80 || b == 0xFF || b == 0xFE; }

constexpr std::uint8_t kByReference = 0x01, kDefaultValue = 0x02;

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
      if (call.procedure.empty()) throw ProtocolError("call of unknown system procedure number " + std::to_string(id));
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
      const SentType type = ReadTypeInfo(r, SentIn::kRpcParameter);
      a.value = ReadValue(r, type, cp936, max_value_bytes, SentIn::kRpcParameter);
      call.arguments.push_back(std::move(a));
    }
    calls.push_back(std::move(call));
  }
  return calls;
}

}  // namespace sqlsrv::tds
