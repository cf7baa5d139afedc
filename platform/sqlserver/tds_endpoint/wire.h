// Bytes on the wire of the TDS protocol: bounded reading and appending of
// the integers and strings its messages are made of. Integers are little
// endian unless a name says BE; strings are UTF-16LE on the wire and UTF-8
// here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace sqlsrv::tds {

// A message a client sent that breaks the protocol: truncated, a length
// past its end, an unknown token. The connection that sent it is closed.
class ProtocolError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads from a byte span; every read past its end raises ProtocolError.
class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> data) : data_(data) {}

  std::uint8_t U8();
  std::uint16_t U16();
  std::uint32_t U32();
  std::uint64_t U64();
  std::uint16_t U16BE();
  std::uint32_t U32BE();
  std::span<const std::uint8_t> Bytes(std::size_t n);
  // `chars` UTF-16 code units as UTF-8.
  std::string Ucs2(std::size_t chars);
  // A string with a 1-byte (B_VARCHAR) or 2-byte (US_VARCHAR) count of
  // UTF-16 code units.
  std::string BVarChar() { return Ucs2(U8()); }
  std::string UsVarChar() { return Ucs2(U16()); }
  void Skip(std::size_t n) { Bytes(n); }

  std::size_t offset() const { return pos_; }
  std::size_t remaining() const { return data_.size() - pos_; }
  bool empty() const { return pos_ == data_.size(); }

 private:
  void Need(std::size_t n) const;
  std::span<const std::uint8_t> data_;
  std::size_t pos_ = 0;
};

// Appends to a growing message.
class Writer {
 public:
  void U8(std::uint8_t v) { data_.push_back(v); }
  void U16(std::uint16_t v);
  void U32(std::uint32_t v);
  void U64(std::uint64_t v);
  void U16BE(std::uint16_t v);
  void U32BE(std::uint32_t v);
  void Bytes(std::span<const std::uint8_t> bytes) { data_.insert(data_.end(), bytes.begin(), bytes.end()); }
  void Bytes(std::string_view bytes);
  // UTF-8 as UTF-16LE, without a count; returns the code units written.
  std::size_t Ucs2(std::string_view utf8);
  // With a 1-byte / 2-byte count of code units (cut to what the count holds).
  void BVarChar(std::string_view utf8);
  void UsVarChar(std::string_view utf8);

  // Overwrites a 2-byte little-endian value written earlier at `at`.
  void PatchU16(std::size_t at, std::uint16_t v);
  std::size_t size() const { return data_.size(); }
  std::vector<std::uint8_t>& data() { return data_; }
  const std::vector<std::uint8_t>& data() const { return data_; }

 private:
  std::vector<std::uint8_t> data_;
};

// UTF-8 to UTF-16 code units, invalid bytes as U+FFFD.
std::u16string ToUtf16(std::string_view utf8);

}  // namespace sqlsrv::tds
