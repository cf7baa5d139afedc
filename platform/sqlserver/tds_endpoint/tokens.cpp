#include "platform/sqlserver/tds_endpoint/tokens.h"

#include "platform/sqlserver/tds_endpoint/login.h"

namespace sqlsrv::tds {

void WriteLoginAck(Writer& w, std::uint32_t tds_version) {
  Writer body;
  body.U8(1);  // T-SQL
  body.U32BE(tds_version);
  body.BVarChar(kProductName);
  const std::uint8_t version[] = {8, 0, 0x07, 0xF7};  // 8.00.2039
  body.Bytes(version);
  w.U8(kLoginAck);
  w.U16(static_cast<std::uint16_t>(body.size()));
  w.Bytes(body.data());
}

void WriteEnvChange(Writer& w, EnvType type, std::string_view new_value, std::string_view old_value) {
  Writer body;
  body.U8(static_cast<std::uint8_t>(type));
  body.BVarChar(new_value);
  body.BVarChar(old_value);
  w.U8(kEnvChange);
  w.U16(static_cast<std::uint16_t>(body.size()));
  w.Bytes(body.data());
}

void WriteEnvChangeBytes(Writer& w, EnvType type, std::span<const std::uint8_t> new_value,
                         std::span<const std::uint8_t> old_value) {
  Writer body;
  body.U8(static_cast<std::uint8_t>(type));
  body.U8(static_cast<std::uint8_t>(new_value.size()));
  body.Bytes(new_value);
  body.U8(static_cast<std::uint8_t>(old_value.size()));
  body.Bytes(old_value);
  w.U8(kEnvChange);
  w.U16(static_cast<std::uint16_t>(body.size()));
  w.Bytes(body.data());
}

void WriteMessage(Writer& w, const ServerMessage& m, std::uint32_t tds_version) {
  Writer body;
  body.U32(static_cast<std::uint32_t>(m.number));
  body.U8(m.state);
  body.U8(m.severity);
  // A message longer than a token can hold is cut.
  std::string_view text = m.text.substr(0, 8000);
  body.UsVarChar(text);
  body.BVarChar(m.server);
  body.BVarChar(m.procedure);
  if (tds_version >= kTds72) {
    body.U32(static_cast<std::uint32_t>(m.line));
  } else {
    body.U16(static_cast<std::uint16_t>(m.line));
  }
  w.U8(m.severity <= 10 ? kInfo : kError);
  w.U16(static_cast<std::uint16_t>(body.size()));
  w.Bytes(body.data());
}

void WriteReturnStatus(Writer& w, std::int32_t status) {
  w.U8(kReturnStatus);
  w.U32(static_cast<std::uint32_t>(status));
}

void WriteDone(Writer& w, TokenType token, std::uint16_t status, std::uint16_t command, std::uint64_t rows,
               std::uint32_t tds_version) {
  w.U8(token);
  w.U16(status);
  w.U16(command);
  if (tds_version >= kTds72) {
    w.U64(rows);
  } else {
    w.U32(static_cast<std::uint32_t>(rows));
  }
}

void WriteColumnInfo(Writer& w, std::span<const std::uint8_t> statuses) {
  w.U8(kColInfo);
  w.U16(static_cast<std::uint16_t>(statuses.size() * 3));
  for (std::size_t i = 0; i < statuses.size(); ++i) {
    w.U8(static_cast<std::uint8_t>(i + 1));  // the column
    w.U8(0);                                 // no table
    w.U8(statuses[i]);
  }
}

}  // namespace sqlsrv::tds
