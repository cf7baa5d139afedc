// The two messages that open a connection: PRELOGIN (version and
// encryption are agreed) and LOGIN7 (who logs in, to which database, with
// which packet size).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace sqlsrv::tds {

// TDS versions as LOGIN7 and LOGINACK spell them.
inline constexpr std::uint32_t kTds71 = 0x71000001;  // SQL Server 2000 SP1
inline constexpr std::uint32_t kTds72 = 0x72090002;
inline constexpr std::uint32_t kTds73 = 0x730B0003;
inline constexpr std::uint32_t kTds74 = 0x74000004;

enum class Encryption : std::uint8_t { kOff = 0, kOn = 1, kNotSupported = 2, kRequired = 3 };

struct PreloginRequest {
  Encryption encryption = Encryption::kOff;
};

// Parses a client's PRELOGIN; raises ProtocolError when it is malformed.
PreloginRequest ParsePrelogin(std::span<const std::uint8_t> data);
// The server's answer: its version and that it offers no encryption.
std::vector<std::uint8_t> PreloginResponse();

struct Login7 {
  std::uint32_t tds_version = 0;
  std::uint32_t packet_size = 0;
  std::string host, user, password, app, server, library, language, database;
};

// Parses LOGIN7, the password unscrambled; raises ProtocolError when an
// offset or length points outside the message.
Login7 ParseLogin7(std::span<const std::uint8_t> data);

// A LOGIN7 as a client sends it (tests and tools that speak to the server).
std::vector<std::uint8_t> BuildLogin7(const Login7& login);

}  // namespace sqlsrv::tds
