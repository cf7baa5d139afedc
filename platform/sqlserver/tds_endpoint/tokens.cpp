#include "platform/sqlserver/tds_endpoint/tokens.h"

#include "platform/sqlserver/errors.h"
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

namespace {

// A token of a 2-byte length and its body; raises kNotSupported, writing
// nothing, for a body past 64 KiB or `too_many`.
void WriteLengthPrefixed(Writer& w, TokenType token, const Writer& body, bool too_many, const char* what) {
  if (too_many || body.size() > 0xFFFF) {
    throw SqlErr(kNotSupported, std::string("The server cannot describe the ") + what + " of this result in browse mode.");
  }
  w.U8(token);
  w.U16(static_cast<std::uint16_t>(body.size()));
  w.Bytes(body.data());
}

}  // namespace

void WriteTableNames(Writer& w, const std::vector<std::vector<std::string>>& tables) {
  Writer body;
  for (const auto& parts : tables) {
    body.U8(static_cast<std::uint8_t>(parts.size()));
    for (const std::string& part : parts) body.UsVarChar(part);
  }
  WriteLengthPrefixed(w, kTabName, body, tables.size() > 0xFF, "tables");
}

void WriteColumnInfo(Writer& w, std::span<const BrowseColumn> columns) {
  constexpr std::uint8_t kExpression = 0x04, kKey = 0x08, kDifferentName = 0x20;
  Writer body;
  bool too_many = columns.size() > 0xFF;
  for (std::size_t i = 0; i < columns.size() && !too_many; ++i) {
    const BrowseColumn& c = columns[i];
    too_many = c.table > 0xFF;
    body.U8(static_cast<std::uint8_t>(i + 1));
    body.U8(static_cast<std::uint8_t>(c.table));
    body.U8(static_cast<std::uint8_t>((c.expression ? kExpression : 0) | (c.key ? kKey : 0) |
                                      (c.hidden ? kColumnHidden : 0) | (c.real_name.empty() ? 0 : kDifferentName)));
    if (!c.real_name.empty()) body.BVarChar(c.real_name);
  }
  WriteLengthPrefixed(w, kColInfo, body, too_many, "columns");
}

}  // namespace sqlsrv::tds
