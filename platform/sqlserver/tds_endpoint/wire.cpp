#include "platform/sqlserver/tds_endpoint/wire.h"

#include "platform/com/unicode.h"

namespace sqlsrv::tds {

void Reader::Need(std::size_t n) const {
  if (n > data_.size() - pos_) {
    throw ProtocolError("message truncated: " + std::to_string(n) + " bytes wanted at offset " +
                        std::to_string(pos_) + " of " + std::to_string(data_.size()));
  }
}

std::uint8_t Reader::U8() {
  Need(1);
  return data_[pos_++];
}

std::uint16_t Reader::U16() {
  Need(2);
  const auto v = static_cast<std::uint16_t>(data_[pos_] | data_[pos_ + 1] << 8);
  pos_ += 2;
  return v;
}

std::uint32_t Reader::U32() {
  const std::uint32_t lo = U16();
  return lo | static_cast<std::uint32_t>(U16()) << 16;
}

std::uint64_t Reader::U64() {
  const std::uint64_t lo = U32();
  return lo | static_cast<std::uint64_t>(U32()) << 32;
}

std::uint16_t Reader::U16BE() {
  Need(2);
  const auto v = static_cast<std::uint16_t>(data_[pos_] << 8 | data_[pos_ + 1]);
  pos_ += 2;
  return v;
}

std::uint32_t Reader::U32BE() {
  const std::uint32_t hi = U16BE();
  return hi << 16 | U16BE();
}

std::span<const std::uint8_t> Reader::Bytes(std::size_t n) {
  Need(n);
  auto out = data_.subspan(pos_, n);
  pos_ += n;
  return out;
}

std::string Reader::Ucs2(std::size_t chars) {
  if (chars > remaining() / 2) Need(chars * 2);
  const auto bytes = Bytes(chars * 2);
  std::string out;
  com::Utf16LeToUtf8(bytes.data(), bytes.size(), &out);
  return out;
}

void Writer::U16(std::uint16_t v) {
  data_.push_back(static_cast<std::uint8_t>(v));
  data_.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Writer::U32(std::uint32_t v) {
  U16(static_cast<std::uint16_t>(v));
  U16(static_cast<std::uint16_t>(v >> 16));
}

void Writer::U64(std::uint64_t v) {
  U32(static_cast<std::uint32_t>(v));
  U32(static_cast<std::uint32_t>(v >> 32));
}

void Writer::U16BE(std::uint16_t v) {
  data_.push_back(static_cast<std::uint8_t>(v >> 8));
  data_.push_back(static_cast<std::uint8_t>(v));
}

void Writer::U32BE(std::uint32_t v) {
  U16BE(static_cast<std::uint16_t>(v >> 16));
  U16BE(static_cast<std::uint16_t>(v));
}

void Writer::Bytes(std::string_view bytes) {
  data_.insert(data_.end(), bytes.begin(), bytes.end());
}

std::u16string ToUtf16(std::string_view utf8) {
  std::u16string out;
  if (com::Utf8ToUtf16(utf8, &out)) return out;
  // Not valid UTF-8: decode what is, mark the rest.
  out.clear();
  std::size_t i = 0;
  while (i < utf8.size()) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    const std::size_t len = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
    std::u16string piece;
    if (len && i + len <= utf8.size() && com::Utf8ToUtf16(utf8.substr(i, len), &piece)) {
      out += piece;
      i += len;
    } else {
      out.push_back(u'\uFFFD');
      ++i;
    }
  }
  return out;
}

std::size_t Writer::Ucs2(std::string_view utf8) {
  const std::u16string units = ToUtf16(utf8);
  for (char16_t u : units) U16(static_cast<std::uint16_t>(u));
  return units.size();
}

void Writer::BVarChar(std::string_view utf8) {
  std::u16string units = ToUtf16(utf8);
  if (units.size() > 0xFF) units.resize(0xFF);
  U8(static_cast<std::uint8_t>(units.size()));
  for (char16_t u : units) U16(static_cast<std::uint16_t>(u));
}

void Writer::UsVarChar(std::string_view utf8) {
  std::u16string units = ToUtf16(utf8);
  if (units.size() > 0xFFFF) units.resize(0xFFFF);
  U16(static_cast<std::uint16_t>(units.size()));
  for (char16_t u : units) U16(static_cast<std::uint16_t>(u));
}

void Writer::PatchU16(std::size_t at, std::uint16_t v) {
  data_.at(at) = static_cast<std::uint8_t>(v);
  data_.at(at + 1) = static_cast<std::uint8_t>(v >> 8);
}

}  // namespace sqlsrv::tds
