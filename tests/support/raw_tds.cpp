#include "tests/support/raw_tds.h"

#include <stdexcept>

namespace testing_support {

RawTdsConnection::RawTdsConnection(int port) : socket_(port::ConnectLoopback(port)) {
  if (socket_ == port::kNoSocket) throw std::runtime_error("connect failed: " + port::LastSocketError());
}

RawTdsConnection::~RawTdsConnection() { Close(); }

void RawTdsConnection::Close() {
  if (socket_ != port::kNoSocket) port::CloseSocket(socket_);
  socket_ = port::kNoSocket;
}

bool RawTdsConnection::Send(std::uint8_t type, const std::vector<std::uint8_t>& payload) {
  std::vector<std::uint8_t> p = {type, 1, 0, 0, 0, 0, 1, 0};
  p[2] = static_cast<std::uint8_t>((payload.size() + 8) >> 8);
  p[3] = static_cast<std::uint8_t>(payload.size() + 8);
  p.insert(p.end(), payload.begin(), payload.end());
  std::size_t sent = 0;
  while (sent < p.size()) {
    const std::ptrdiff_t n = port::Send(socket_, p.data() + sent, p.size() - sent);
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

std::vector<std::uint8_t> RawTdsConnection::Reply() {
  std::vector<std::uint8_t> message;
  for (;;) {
    std::uint8_t header[8];
    if (!Read(header, 8)) return message;
    spid_ = static_cast<std::uint16_t>(header[4] << 8 | header[5]);
    const std::size_t length = static_cast<std::size_t>(header[2]) << 8 | header[3];
    if (length < 8) return message;
    std::vector<std::uint8_t> payload(length - 8);
    if (!Read(payload.data(), payload.size())) return message;
    message.insert(message.end(), payload.begin(), payload.end());
    if (header[1] & 1) return message;
  }
}

bool RawTdsConnection::Read(std::uint8_t* out, std::size_t n) {
  std::size_t got = 0;
  while (got < n) {
    port::WaitEntry entry{socket_, false};
    if (port::WaitForInput(&entry, 1, 20000) <= 0) return false;
    const std::ptrdiff_t r = port::Receive(socket_, out + got, n - got);
    if (r <= 0) return false;
    got += static_cast<std::size_t>(r);
  }
  return true;
}

}  // namespace testing_support
