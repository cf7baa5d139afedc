#include "platform/sqlserver/tds_endpoint/login.h"

#include "platform/sqlserver/tds_endpoint/wire.h"

namespace sqlsrv::tds {
namespace {

constexpr std::uint8_t kOptVersion = 0, kOptEncryption = 1, kOptInstance = 2, kOptThreadId = 3, kOptMars = 4;
constexpr std::uint8_t kOptTerminator = 0xFF;

// The password's bytes are stored with their nibbles swapped and XORed
// with 0xA5.
std::uint8_t Scramble(std::uint8_t b) { return static_cast<std::uint8_t>(((b << 4) | (b >> 4)) ^ 0xA5); }
std::uint8_t Unscramble(std::uint8_t b) {
  const std::uint8_t x = b ^ 0xA5;
  return static_cast<std::uint8_t>((x << 4) | (x >> 4));
}

}  // namespace

PreloginRequest ParsePrelogin(std::span<const std::uint8_t> data) {
  Reader options(data);
  PreloginRequest out;
  for (int count = 0;; ++count) {
    if (count > 64) throw ProtocolError("too many PRELOGIN options");
    const std::uint8_t token = options.U8();
    if (token == kOptTerminator) break;
    const std::uint16_t offset = options.U16BE();
    const std::uint16_t length = options.U16BE();
    if (static_cast<std::size_t>(offset) + length > data.size()) {
      throw ProtocolError("PRELOGIN option past the end of the message");
    }
    if (token == kOptEncryption && length >= 1) {
      const std::uint8_t e = data[offset];
      out.encryption = e <= 3 ? static_cast<Encryption>(e) : Encryption::kRequired;
    }
  }
  return out;
}

std::vector<std::uint8_t> PreloginResponse() {
  // VERSION (6), ENCRYPTION (1), INSTOPT (1), THREADID (0), MARS (1).
  struct Option {
    std::uint8_t token;
    std::vector<std::uint8_t> value;
  };
  const Option options[] = {
      {kOptVersion, {8, 0, 0x07, 0xD0, 0, 0}},  // 8.0.2000
      {kOptEncryption, {static_cast<std::uint8_t>(Encryption::kNotSupported)}},
      {kOptInstance, {0}},
      {kOptThreadId, {}},
      {kOptMars, {0}},
  };
  Writer w;
  std::uint16_t offset = static_cast<std::uint16_t>(std::size(options) * 5 + 1);
  for (const Option& o : options) {
    w.U8(o.token);
    w.U16BE(offset);
    w.U16BE(static_cast<std::uint16_t>(o.value.size()));
    offset = static_cast<std::uint16_t>(offset + o.value.size());
  }
  w.U8(kOptTerminator);
  for (const Option& o : options) w.Bytes(o.value);
  return w.data();
}

Login7 ParseLogin7(std::span<const std::uint8_t> data) {
  Reader r(data);
  const std::uint32_t length = r.U32();
  if (length > data.size() || length < 86) throw ProtocolError("LOGIN7 length out of range");
  Login7 login;
  login.tds_version = r.U32();
  login.packet_size = r.U32();
  r.Skip(4 + 4 + 4);  // client version, process id, connection id
  r.Skip(4);          // option flags 1 and 2, type flags, option flags 3
  r.Skip(4 + 4);      // time zone, LCID
  // Offset and length (in UTF-16 units) of each variable part.
  auto part = [&](std::string* out, bool password) {
    const std::uint16_t offset = r.U16();
    const std::uint16_t chars = r.U16();
    if (static_cast<std::size_t>(offset) + static_cast<std::size_t>(chars) * 2 > length) {
      throw ProtocolError("LOGIN7 field past the end of the message");
    }
    if (!out) return;
    std::vector<std::uint8_t> bytes(data.begin() + offset, data.begin() + offset + chars * 2);
    if (password) {
      for (auto& b : bytes) b = Unscramble(b);
    }
    *out = Reader(bytes).Ucs2(chars);
  };
  part(&login.host, false);
  part(&login.user, false);
  part(&login.password, true);
  part(&login.app, false);
  part(&login.server, false);
  part(nullptr, false);  // extension / unused
  part(&login.library, false);
  part(&login.language, false);
  part(&login.database, false);
  return login;
}

std::vector<std::uint8_t> BuildLogin7(const Login7& login) {
  const std::string* fields[] = {&login.host, &login.user, &login.password, &login.app, &login.server,
                                 nullptr,     &login.library, &login.language, &login.database};
  std::vector<std::u16string> texts;
  for (const std::string* f : fields) texts.push_back(f ? ToUtf16(*f) : std::u16string());
  constexpr std::size_t kFixed = 94;
  Writer w;
  w.U32(0);  // length, set below
  w.U32(login.tds_version);
  w.U32(login.packet_size);
  w.U32(7);  // client version
  w.U32(0);  // process id
  w.U32(0);  // connection id
  w.U8(0xE0);
  w.U8(0x03);
  w.U8(0x00);
  w.U8(0x00);
  w.U32(0);       // time zone
  w.U32(0x0804);  // LCID
  std::size_t offset = kFixed;
  for (const auto& t : texts) {
    w.U16(static_cast<std::uint16_t>(offset));
    w.U16(static_cast<std::uint16_t>(t.size()));
    offset += t.size() * 2;
  }
  for (int i = 0; i < 6; ++i) w.U8(0);  // client id
  w.U16(static_cast<std::uint16_t>(offset));  // SSPI
  w.U16(0);
  w.U16(static_cast<std::uint16_t>(offset));  // attach file
  w.U16(0);
  w.U16(static_cast<std::uint16_t>(offset));  // change password
  w.U16(0);
  w.U32(0);  // long SSPI length
  for (std::size_t i = 0; i < texts.size(); ++i) {
    for (char16_t u : texts[i]) {
      const auto lo = static_cast<std::uint8_t>(u), hi = static_cast<std::uint8_t>(u >> 8);
      if (i == 2) {
        w.U8(Scramble(lo));
        w.U8(Scramble(hi));
      } else {
        w.U16(static_cast<std::uint16_t>(u));
      }
    }
  }
  auto& bytes = w.data();
  const auto total = static_cast<std::uint32_t>(bytes.size());
  for (int i = 0; i < 4; ++i) bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(total >> (8 * i));
  return bytes;
}

}  // namespace sqlsrv::tds
