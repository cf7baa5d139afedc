// A TDS connection spoken byte by byte, for tests that look at what a
// client library would hide: messages out as single packets, replies read
// back whole.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/port/net.h"

namespace testing_support {

class RawTdsConnection {
 public:
  // Connects to 127.0.0.1:`port`; throws std::runtime_error when refused.
  // A reply that does not come within 20 seconds counts as none.
  explicit RawTdsConnection(int port);
  ~RawTdsConnection();
  RawTdsConnection(const RawTdsConnection&) = delete;
  RawTdsConnection& operator=(const RawTdsConnection&) = delete;

  // Sends one message of `type` as one packet; false when it could not.
  bool Send(std::uint8_t type, const std::vector<std::uint8_t>& payload);
  // The payload of the next whole reply message; what came of it (empty
  // for nothing) when the connection ends or goes quiet first.
  std::vector<std::uint8_t> Reply();
  // Closes the connection now.
  void Close();
  // The session id in the last reply packet's header.
  std::uint16_t spid() const { return spid_; }

 private:
  bool Read(std::uint8_t* out, std::size_t n);

  port::Socket socket_ = port::kNoSocket;
  std::uint16_t spid_ = 0;
};

}  // namespace testing_support
