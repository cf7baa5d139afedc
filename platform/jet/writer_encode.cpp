#include "platform/jet/writer_encode.h"

#include <algorithm>
#include <array>

namespace jet::wr {

void Put8(Bytes* out, std::uint8_t v) { out->push_back(v); }

void Put16(Bytes* out, std::uint16_t v) {
  out->push_back(static_cast<std::uint8_t>(v));
  out->push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(Bytes* out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void PutBytes(Bytes* out, const Bytes& v) { out->insert(out->end(), v.begin(), v.end()); }

void Store16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

void Store32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void AppendUtf16(const std::u16string& text, Bytes* out) {
  out->reserve(out->size() + 2 * text.size());
  for (char16_t u : text) Put16(out, static_cast<std::uint16_t>(u));
}

// The compressed form is chosen run by run. Characters below U+0100
// ("narrow") take one byte in one-byte mode, others two bytes in two-byte
// mode, and each switch of mode one byte; the text starts in one-byte mode.
// Runs of wide characters are always in two-byte mode, so each run of
// narrow characters can be decided alone: at the start of the text it
// stays in one-byte mode; between two wide runs it switches when longer
// than 2 characters (k + 2 bytes against 2k), at the end when longer than 1.
void AppendJetText(const std::u16string& text, bool compress, Bytes* out) {
  const std::size_t n = text.size();
  bool compressible = compress && n > 0;
  for (std::size_t i = 0; compressible && i < n; ++i) {
    if ((text[i] & 0xFF) == 0) compressible = false;
  }
  if (!compressible) {
    AppendUtf16(text, out);
    return;
  }
  // Pass 0 measures the compressed form, pass 1 writes it if shorter.
  for (int pass = 0; pass < 2; ++pass) {
    std::size_t size = 2;
    bool one_byte = true;
    if (pass == 1) {
      out->push_back(0xFF);
      out->push_back(0xFE);
    }
    std::size_t i = 0;
    while (i < n) {
      const bool narrow = text[i] < 0x100;
      std::size_t j = i;
      while (j < n && (text[j] < 0x100) == narrow) ++j;
      const std::size_t k = j - i;
      bool want_one_byte = false;
      if (narrow) {
        if (i == 0) {
          want_one_byte = true;
        } else if (j == n) {
          want_one_byte = k > 1;
        } else {
          want_one_byte = k > 2;
        }
      }
      if (want_one_byte != one_byte) {
        ++size;
        if (pass == 1) out->push_back(0x00);
        one_byte = want_one_byte;
      }
      size += one_byte ? k : 2 * k;
      if (pass == 1) {
        for (std::size_t c = i; c < j; ++c) {
          if (one_byte) {
            out->push_back(static_cast<std::uint8_t>(text[c]));
          } else {
            Put16(out, static_cast<std::uint16_t>(text[c]));
          }
        }
      }
      i = j;
    }
    if (pass == 0 && size >= 2 * n) {
      AppendUtf16(text, out);
      return;
    }
  }
}

void AppendLongKey(std::int32_t v, Bytes* out) {
  std::uint8_t stored[4];
  Store32(stored, static_cast<std::uint32_t>(v));
  AppendFixedKey(0x04, stored, out);
}

void AppendNullKey(Bytes* out) { out->push_back(0x00); }

void AppendBooleanKey(bool v, Bytes* out) {
  // Yes (-1) sorts before No (0).
  out->push_back(0x7F);
  out->push_back(v ? 0x00 : 0xFF);
}

void AppendFixedKey(std::uint8_t type, const std::uint8_t* stored, Bytes* out) {
  std::size_t size = 0;
  bool floating = false;
  switch (type) {
    case 0x02: size = 1; break;                    // Byte
    case 0x03: size = 2; break;                    // Integer
    case 0x04: size = 4; break;                    // Long
    case 0x05: size = 8; break;                    // Currency
    case 0x06: size = 4; floating = true; break;   // Single
    case 0x07: case 0x08: size = 8; floating = true; break;  // Double, Date/Time
    default: return;
  }
  out->push_back(0x7F);
  const std::size_t at = out->size();
  for (std::size_t i = size; i > 0; --i) out->push_back(stored[i - 1]);
  if (size == 1) return;
  if (floating && ((*out)[at] & 0x80) != 0) {
    InvertKey(out, at);
  } else {
    (*out)[at] ^= 0x80;
  }
}

void AppendGuidKey(const std::uint8_t* stored, Bytes* out) {
  out->push_back(0x7F);
  out->insert(out->end(), stored, stored + 8);
  out->push_back(0x09);
  out->insert(out->end(), stored + 8, stored + 16);
  out->push_back(0x08);
}

void InvertKey(Bytes* key, std::size_t from) {
  for (std::size_t i = from; i < key->size(); ++i) (*key)[i] = static_cast<std::uint8_t>(~(*key)[i]);
}

// Text keys of the General sort order: one code per character, case
// ignored, then 0x01 0x00. The codes of letters and digits are those found
// in the catalog indexes of files made by Access 2000 (letters absent there,
// k, w and z, fill the gaps of the sequence; libmdb's table agrees). The
// code of the space comes from libmdb's table. Other characters have codes
// we could not verify (Access derives them from the Windows sort keys); for
// them a three-byte code keeps keys distinct and ordered, which is all the
// catalog needs to stay consistent, but Access may not find such a name by
// an index seek until the database is compacted.
void AppendTextKey(const std::u16string& text, Bytes* out) {
  static constexpr std::uint8_t kLetters[26] = {
      0x4A, 0x4C, 0x4D, 0x4F, 0x51, 0x53, 0x55, 0x57, 0x59, 0x5B, 0x5C, 0x5E, 0x60,
      0x62, 0x64, 0x66, 0x68, 0x69, 0x6B, 0x6D, 0x6F, 0x71, 0x73, 0x75, 0x76, 0x78};
  out->push_back(0x7F);
  for (char16_t u : text) {
    if (u >= u'a' && u <= u'z') {
      out->push_back(kLetters[u - u'a']);
    } else if (u >= u'A' && u <= u'Z') {
      out->push_back(kLetters[u - u'A']);
    } else if (u >= u'0' && u <= u'9') {
      out->push_back(static_cast<std::uint8_t>(0x36 + 2 * (u - u'0')));
    } else if (u == u' ') {
      out->push_back(0x07);
    } else {
      out->push_back(static_cast<std::uint8_t>(0x80 + (u >> 11)));
      out->push_back(static_cast<std::uint8_t>(0x02 + ((u >> 5) & 0x3F)));
      out->push_back(static_cast<std::uint8_t>(0x02 + (u & 0x1F)));
    }
  }
  out->push_back(0x01);
  out->push_back(0x00);
}

void PropertyBlob::AddBoolean(const std::u16string& column, const std::u16string& name, bool value,
                              bool ddl) {
  props_.push_back({column, name, Type::kBoolean, ddl, Bytes{static_cast<std::uint8_t>(value ? 1 : 0)}});
}

// Layout: "MR2\0", a chunk of names (type 0x80), then one chunk of values
// per object (type 0 for the object itself, 1 for a column). A chunk starts
// with its length and type; a value chunk then holds its own header length,
// the column name, and entries of length, ddl flag, data type, name index,
// value length and value.
Bytes PropertyBlob::Serialize() const {
  std::vector<std::u16string> names;
  std::vector<std::u16string> owners;
  for (const auto& p : props_) {
    if (std::find(names.begin(), names.end(), p.name) == names.end()) names.push_back(p.name);
    if (std::find(owners.begin(), owners.end(), p.column) == owners.end()) owners.push_back(p.column);
  }
  // The object's own chunk comes first.
  std::stable_partition(owners.begin(), owners.end(), [](const std::u16string& o) { return o.empty(); });

  Bytes out = {'M', 'R', '2', 0};
  Bytes chunk;
  for (const auto& n : names) {
    Put16(&chunk, static_cast<std::uint16_t>(2 * n.size()));
    AppendUtf16(n, &chunk);
  }
  Put32(&out, static_cast<std::uint32_t>(6 + chunk.size()));
  Put16(&out, 0x80);
  PutBytes(&out, chunk);

  for (const auto& owner : owners) {
    chunk.clear();
    Put32(&chunk, static_cast<std::uint32_t>(6 + 2 * owner.size()));
    Put16(&chunk, static_cast<std::uint16_t>(2 * owner.size()));
    AppendUtf16(owner, &chunk);
    for (const auto& p : props_) {
      if (p.column != owner) continue;
      const auto index = std::find(names.begin(), names.end(), p.name) - names.begin();
      Put16(&chunk, static_cast<std::uint16_t>(8 + p.value.size()));
      Put8(&chunk, p.ddl ? 1 : 0);
      Put8(&chunk, static_cast<std::uint8_t>(p.type));
      Put16(&chunk, static_cast<std::uint16_t>(index));
      Put16(&chunk, static_cast<std::uint16_t>(p.value.size()));
      PutBytes(&chunk, p.value);
    }
    Put32(&out, static_cast<std::uint32_t>(6 + chunk.size()));
    Put16(&out, owner.empty() ? 0 : 1);
    PutBytes(&out, chunk);
  }
  return out;
}

}  // namespace jet::wr
