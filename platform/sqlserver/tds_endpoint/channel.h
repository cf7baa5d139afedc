// A client connection's byte stream, cut into TDS packets: an 8-byte header
// (type, status, big-endian length counting the header, SPID, packet
// number, window) and up to the negotiated packet size in all. A message
// is one or more packets of the same type, the last with end-of-message
// status.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/port/net.h"

namespace sqlsrv::tds {

enum class PacketType : std::uint8_t {
  kSqlBatch = 1,
  kRpc = 3,
  kReply = 4,
  kAttention = 6,
  kBulkLoad = 7,
  kTransactionManager = 14,
  kLogin7 = 16,
  kSspi = 17,
  kPrelogin = 18,
};

struct Packet {
  PacketType type{};
  bool end_of_message = false;
  std::vector<std::uint8_t> payload;
};

struct Message {
  PacketType type{};
  std::vector<std::uint8_t> data;
};

// The largest packet either side may use, and the one used until a login
// asks for another.
inline constexpr std::size_t kMaxPacketSize = 32767;
inline constexpr std::size_t kDefaultPacketSize = 4096;

// A connection's socket. Reads raise ProtocolError for a malformed packet
// and ConnectionLost for a timeout or a broken connection.
class Channel {
 public:
  // Closes the socket at the end when it `owns` it.
  explicit Channel(port::Socket socket, bool owns = true);
  ~Channel();
  Channel(const Channel&) = delete;
  Channel& operator=(const Channel&) = delete;

  // The next packet; nullopt when the client closed the connection cleanly
  // before a new packet began. Waits at most `timeout_ms` (-1: no limit)
  // for it to begin and for each of its parts.
  std::optional<Packet> ReadPacket(int timeout_ms);
  // The next whole message, at most `limit` bytes.
  std::optional<Message> ReadMessage(std::size_t limit, int timeout_ms);

  // Sends a message as packets of the current packet size.
  void Write(PacketType type, std::span<const std::uint8_t> message);
  void set_packet_size(std::size_t size) { packet_size_ = size; }
  // The session id every packet sent carries in its header.
  void set_spid(std::uint16_t spid) { spid_ = spid; }
  std::size_t packet_size() const { return packet_size_; }

  // True when input is waiting, without reading it; waits at most
  // `timeout_ms` for some to arrive.
  bool InputWaiting(int timeout_ms = 0);
  // Waits without limit until input is waiting (true, without reading it)
  // or `wakeup` is raised (false).
  bool InputWaitingUnless(const port::SocketWakeup& wakeup);

 private:
  // Reads exactly n bytes; false when the stream ends before the first.
  bool ReadFully(std::uint8_t* out, std::size_t n, int timeout_ms, bool eof_ok);

  port::Socket socket_;
  bool owns_;
  std::size_t packet_size_ = kDefaultPacketSize;
  std::uint8_t next_packet_id_ = 1;
  std::uint16_t spid_ = 0;
};

// A timeout or a broken connection.
class ConnectionLost : public std::exception {
 public:
  explicit ConnectionLost(const char* what) : what_(what) {}
  const char* what() const noexcept override { return what_; }

 private:
  const char* what_;
};

}  // namespace sqlsrv::tds
