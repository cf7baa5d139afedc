// Value encodings of the Jet 4 writer: text as Jet stores it, index keys,
// the header cipher and the property blobs of the catalog.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace jet::wr {

using Bytes = std::vector<std::uint8_t>;

// Little-endian appends and stores.
void Put8(Bytes* out, std::uint8_t v);
void Put16(Bytes* out, std::uint16_t v);
void Put32(Bytes* out, std::uint32_t v);
void PutBytes(Bytes* out, const Bytes& v);
void Store16(std::uint8_t* p, std::uint16_t v);
void Store32(std::uint8_t* p, std::uint32_t v);


// Appends text as Jet 4 stores it: UTF-16LE, or, when `compress` is set and
// it is shorter, the compressed form (0xFF 0xFE, then one byte for each
// character below U+0100, a 0x00 byte switching between one- and two-byte
// characters). Text holding a character whose low byte is zero is never
// compressed, as the reader would take that byte for a switch.
void AppendJetText(const std::u16string& text, bool compress, Bytes* out);
// Plain UTF-16LE.
void AppendUtf16(const std::u16string& text, Bytes* out);

// Index keys. Each column of a key is a flag byte, 0x00 for a null
// (nothing follows) or 0x7F for a value, then the value encoded so that
// comparing the bytes orders the values; a descending column has every
// byte of that inverted (InvertKey). Entries are ordered by their bytes.
//
// Index key of a Long column value in an ascending index.
void AppendLongKey(std::int32_t v, Bytes* out);
// A null of any column type except Yes/No.
void AppendNullKey(Bytes* out);
// A Yes/No value (which is never null).
void AppendBooleanKey(bool v, Bytes* out);
// A value of a fixed-length column type (Byte, Integer, Long, Currency,
// Single, Double, Date/Time) from its little-endian bytes as a row holds
// them: big-endian, the sign bit of integers flipped; of floating point
// numbers the sign bit flipped when positive, every bit when negative;
// Byte, which has no sign, as it is.
void AppendFixedKey(std::uint8_t type, const std::uint8_t* stored, Bytes* out);
// A Replication ID from its 16 bytes as a row holds them: in two runs of
// 8, the first followed by 0x09, the last by 0x08.
void AppendGuidKey(const std::uint8_t* stored, Bytes* out);
// Inverts the bytes of `key` from `from` on: the column in descending order.
void InvertKey(Bytes* key, std::size_t from);
// Index key of a Text value in an ascending index, in the "General" sort
// order of Access 2000 (see the .cpp for what is known of it).
void AppendTextKey(const std::u16string& text, Bytes* out);


// A property blob ("MR2") as the LvProp column of the catalog holds it:
// named properties of the object itself and of its columns.
class PropertyBlob {
 public:
  // Data types of property values, numbered as the automation data access
  // objects number them.
  enum class Type : std::uint8_t { kBoolean = 1, kByte = 2, kInteger = 3, kLong = 4, kText = 10 };

  // Adds a boolean property of column `column` (empty for the object
  // itself). `ddl` marks properties the engine itself defines.
  void AddBoolean(const std::u16string& column, const std::u16string& name, bool value, bool ddl);

  bool empty() const { return props_.empty(); }
  Bytes Serialize() const;

 private:
  struct Property {
    std::u16string column;
    std::u16string name;
    Type type;
    bool ddl;
    Bytes value;
  };
  std::vector<Property> props_;
};

}  // namespace jet::wr
