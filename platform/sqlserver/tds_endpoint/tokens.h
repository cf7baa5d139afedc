// The tokens a server sends in its replies, other than result sets
// (results.h): LOGINACK, ENVCHANGE, INFO and ERROR, DONE and its kin.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sqlserver/result_column.h"
#include "platform/sqlserver/tds_endpoint/wire.h"

namespace sqlsrv::tds {

enum TokenType : std::uint8_t {
  kColMetadata = 0x81,
  kAltMetadata = 0x88,
  kAltRow = 0xD3,
  kTabName = 0xA4,
  kColInfo = 0xA5,
  kError = 0xAA,
  kInfo = 0xAB,
  kLoginAck = 0xAD,
  kReturnStatus = 0x79,
  kReturnValue = 0xAC,
  kRow = 0xD1,
  kNbcRow = 0xD2,
  kEnvChange = 0xE3,
  kDone = 0xFD,
  kDoneProc = 0xFE,
  kDoneInProc = 0xFF,
};

// DONE status bits.
inline constexpr std::uint16_t kDoneFinal = 0x00;
inline constexpr std::uint16_t kDoneMore = 0x01;
inline constexpr std::uint16_t kDoneError = 0x02;
inline constexpr std::uint16_t kDoneInTransaction = 0x04;
inline constexpr std::uint16_t kDoneCount = 0x10;
inline constexpr std::uint16_t kDoneAttention = 0x20;

// ENVCHANGE types.
enum class EnvType : std::uint8_t {
  kDatabase = 1,
  kLanguage = 2,
  kCharset = 3,
  kPacketSize = 4,
  kCollation = 7,
  kBeginTransaction = 8,
  kCommitTransaction = 9,
  kRollbackTransaction = 10,
};

// The server collation on the wire: Chinese_PRC_CI_AS, code page 936.
inline constexpr std::uint8_t kCollation[5] = {0x04, 0x08, 0xD0, 0x00, 0x00};

// The name and version the server reports at login.
inline constexpr std::string_view kProductName = "Microsoft SQL Server";

void WriteLoginAck(Writer& w, std::uint32_t tds_version);
void WriteEnvChange(Writer& w, EnvType type, std::string_view new_value, std::string_view old_value);
void WriteEnvChangeBytes(Writer& w, EnvType type, std::span<const std::uint8_t> new_value,
                         std::span<const std::uint8_t> old_value);

struct ServerMessage {
  std::int32_t number = 0;
  std::uint8_t state = 1;
  std::uint8_t severity = 16;  // below 11: INFO, else ERROR
  std::string_view text;
  std::string_view server;
  std::string_view procedure;
  std::int32_t line = 1;
};
void WriteMessage(Writer& w, const ServerMessage& m, std::uint32_t tds_version);

void WriteDone(Writer& w, TokenType token, std::uint16_t status, std::uint16_t command, std::uint64_t rows,
               std::uint32_t tds_version);

// COLMETADATA's column count that stands for "no metadata": the rows that
// follow have the columns the client was last told of.
inline constexpr std::uint16_t kNoColumnMetadata = 0xFFFF;

// COLINFO's status bit of a column the client does not show (browse
// mode's added key columns, a cursor's ROWSTAT).
inline constexpr std::uint8_t kColumnHidden = 0x10;

// TABNAME after a COLMETADATA in browse mode: the tables the result reads,
// each as its name's parts (the form of TDS 7.1 on). Raises kNotSupported,
// writing nothing, for more than 255 tables or a token past 64 KiB.
void WriteTableNames(Writer& w, const std::vector<std::vector<std::string>>& tables);

// COLINFO after a COLMETADATA (and TABNAME): each column's table (from 1;
// 0 for none) and status: an expression's, a key's column, hidden, named
// otherwise than in its table (that name then follows). Raises
// kNotSupported, writing nothing, for more than 255 columns or a token
// past 64 KiB.
void WriteColumnInfo(Writer& w, std::span<const BrowseColumn> columns);

// RETURNSTATUS: the return status of a procedure a client called.
void WriteReturnStatus(Writer& w, std::int32_t status);

}  // namespace sqlsrv::tds
