#include "platform/sqlserver/tds_endpoint/channel.h"

#include <string>

#include "platform/sqlserver/tds_endpoint/wire.h"

namespace sqlsrv::tds {

Channel::Channel(port::Socket socket, bool owns) : socket_(socket), owns_(owns) {}

Channel::~Channel() {
  if (owns_) port::CloseSocket(socket_);
}

bool Channel::ReadFully(std::uint8_t* out, std::size_t n, int timeout_ms, bool eof_ok) {
  std::size_t got = 0;
  while (got < n) {
    port::WaitEntry input{socket_};
    const int ready = port::WaitForInput(&input, 1, timeout_ms);
    if (ready < 0) throw ConnectionLost("waiting for the client failed");
    if (ready == 0) throw ConnectionLost("timed out waiting for the client");
    const std::ptrdiff_t r = port::Receive(socket_, out + got, n - got);
    if (r < 0) throw ConnectionLost("connection reset by the client");
    if (r == 0) {
      if (got == 0 && eof_ok) return false;
      throw ConnectionLost("connection closed in the middle of a packet");
    }
    got += static_cast<std::size_t>(r);
  }
  return true;
}

std::optional<Packet> Channel::ReadPacket(int timeout_ms) {
  std::uint8_t header[8];
  if (!ReadFully(header, sizeof header, timeout_ms, /*eof_ok=*/true)) return std::nullopt;
  const std::size_t length = static_cast<std::size_t>(header[2]) << 8 | header[3];
  if (length < 8 || length > kMaxPacketSize + 1) {  // some clients round up to 32768
    throw ProtocolError("packet length " + std::to_string(length) + " out of range");
  }
  const std::uint8_t type = header[0];
  const bool known = type == 1 || type == 3 || type == 6 || type == 7 || type == 14 || type == 16 || type == 17 ||
                     type == 18;
  if (!known) throw ProtocolError("unknown packet type " + std::to_string(type));
  Packet p;
  p.type = static_cast<PacketType>(type);
  p.end_of_message = (header[1] & 0x01) != 0;
  p.payload.resize(length - 8);
  if (!p.payload.empty()) ReadFully(p.payload.data(), p.payload.size(), timeout_ms, /*eof_ok=*/false);
  return p;
}

std::optional<Message> Channel::ReadMessage(std::size_t limit, int timeout_ms) {
  auto first = ReadPacket(timeout_ms);
  if (!first) return std::nullopt;
  Message m{first->type, std::move(first->payload)};
  bool done = first->end_of_message;
  while (!done) {
    auto next = ReadPacket(timeout_ms);
    if (!next) throw ConnectionLost("connection closed in the middle of a message");
    if (next->type == PacketType::kAttention) {
      // An attention ends whatever was being sent; it is the message now.
      return Message{PacketType::kAttention, {}};
    }
    if (next->type != m.type) throw ProtocolError("packet type changed in the middle of a message");
    if (m.data.size() + next->payload.size() > limit) {
      throw ProtocolError("message longer than " + std::to_string(limit) + " bytes");
    }
    m.data.insert(m.data.end(), next->payload.begin(), next->payload.end());
    done = next->end_of_message;
  }
  if (m.data.size() > limit) throw ProtocolError("message longer than " + std::to_string(limit) + " bytes");
  return m;
}

void Channel::Write(PacketType type, std::span<const std::uint8_t> message) {
  const std::size_t room = packet_size_ - 8;
  std::size_t sent = 0;
  std::vector<std::uint8_t> packet;
  do {
    const std::size_t n = std::min(room, message.size() - sent);
    const bool last = sent + n == message.size();
    packet.assign(8, 0);
    packet[0] = static_cast<std::uint8_t>(type);
    packet[1] = last ? 0x01 : 0x00;
    packet[2] = static_cast<std::uint8_t>((n + 8) >> 8);
    packet[3] = static_cast<std::uint8_t>(n + 8);
    packet[4] = static_cast<std::uint8_t>(spid_ >> 8);
    packet[5] = static_cast<std::uint8_t>(spid_);
    packet[6] = next_packet_id_++;
    packet.insert(packet.end(), message.begin() + static_cast<std::ptrdiff_t>(sent),
                  message.begin() + static_cast<std::ptrdiff_t>(sent + n));
    std::size_t off = 0;
    while (off < packet.size()) {
      const std::ptrdiff_t w = port::Send(socket_, packet.data() + off, packet.size() - off);
      if (w < 0) throw ConnectionLost("cannot send to the client");
      off += static_cast<std::size_t>(w);
    }
    sent += n;
  } while (sent < message.size());
}

bool Channel::InputWaiting(int timeout_ms) {
  port::WaitEntry input{socket_};
  return port::WaitForInput(&input, 1, timeout_ms) > 0;
}

bool Channel::InputWaitingUnless(const port::SocketWakeup& wakeup) {
  port::WaitEntry entries[2] = {{socket_}, {wakeup.socket()}};
  for (;;) {
    const int n = port::WaitForInput(entries, 2, -1);
    if (n < 0 || entries[1].input) return false;
    if (entries[0].input) return true;
  }
}

}  // namespace sqlsrv::tds
