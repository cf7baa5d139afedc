// Typed values as clients send them: the TYPE_INFO that describes a value
// and the value itself, as they come in a bulk load's rows and in a remote
// procedure call's parameters. Both read from a message that may arrive in
// pieces.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/com/variant.h"

namespace com {
class CodePage;
}

namespace sqlsrv::tds {

// Where the bytes of a message come from: each call returns the next piece
// (packet payload) of the message, or an empty vector at its end.
using PieceSource = std::function<std::vector<std::uint8_t>()>;

// Bytes of a message that arrives in pieces, read in order. Every read past
// the message's end raises ProtocolError.
class PieceReader {
 public:
  explicit PieceReader(PieceSource source) : source_(std::move(source)) {}
  // Reads a message held whole.
  explicit PieceReader(std::vector<std::uint8_t> whole);

  // True at the end of the message.
  bool AtEnd();
  std::uint8_t U8() { return Take(1)[0]; }
  std::uint16_t U16();
  std::uint32_t U32();
  std::uint64_t U64();
  // `chars` UTF-16 code units, as UTF-8.
  std::string Ucs2(std::size_t chars);
  // The next n bytes.
  std::vector<std::uint8_t> Take(std::size_t n);
  // Reads to the end of the message.
  void Drain();

 private:
  void Fill(std::size_t n, bool eof_ok);

  PieceSource source_;
  std::vector<std::uint8_t> buffer_;
  std::size_t pos_ = 0;
  bool ended_ = false;
};

// NULLTYPE: a parameter without a type or value, as clients send an
// argument they leave out.
inline constexpr std::uint8_t kNullType = 0x1F;

// What a TYPE_INFO says of the values that follow it.
struct SentType {
  std::uint8_t type = 0;      // the TDS type
  std::uint32_t size = 0;     // its maximum length, as sent
  std::uint8_t precision = 0, scale = 0;
  bool plp = false;           // a (max) type: values come in chunks
};

// Where a TYPE_INFO stands: a bulk load's column metadata names the table
// of a text column and sends text values behind a text pointer; a remote
// procedure call's parameter does neither.
enum class SentIn { kBulkColumn, kRpcParameter };

// Reads a TYPE_INFO: every type a TDS 7.1 to 7.4 client sends (the fixed
// and variable-length types, the legacy short ones, NULLTYPE, the dates of
// 7.3, sql_variant, xml). Raises ProtocolError for a malformed one; for an
// unknown type, and for a CLR user-defined type or a table, ProtocolError
// in a bulk load (whose rows follow at once) and in a parameter 8009 and
// kNotSupported, naming the type.
SentType ReadTypeInfo(PieceReader& r, SentIn where);

// Reads one value of `type`, as a typed value (NULL as Null): integers,
// bit, money, float, decimal as exact text, datetime and the dates of TDS
// 7.3, character types (varchar in the server code page `cp936`), a GUID
// as its text, xml as its text, a sql_variant as its base type's value,
// NULLTYPE as Null. Raises ProtocolError for a malformed value or one
// longer than `max_bytes`.
com::Variant ReadValue(PieceReader& r, const SentType& type, com::CodePage& cp936, std::size_t max_bytes,
                       SentIn where);

}  // namespace sqlsrv::tds
