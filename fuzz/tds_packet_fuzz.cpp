// Fuzzes the TDS endpoint with the bytes a client may send. The first byte
// of an input says what the rest is:
//
//   0  the packets a client sends after logging in (TDS 7.1 when the next
//      byte is even, 7.4 when odd), served by a whole connection
//      (ServeConnection) over a socket pair, as a client sends them: each
//      message's last packet is followed by a wait for the answer, and an
//      answer slower than kAnswerWait is cancelled with an attention;
//   1  a PRELOGIN and a LOGIN7 message (ParsePrelogin, ParseLogin7);
//   2  the text of an INSERT BULK statement (ParseInsertBulk);
//   3  a bulk-load message: a byte of column count, a byte of flags (bit 0:
//      TDS 7.2 or later) and the message, given in pieces of kPiece bytes
//      (ReadBulkRows);
//   4  a remote procedure call message after its headers (ParseRpcMessage).
//
// A connection's server folder (login sa, database Sales60 with a table)
// lives under the temporary folder, made once per process and made afresh
// every so many connections (a batch may change or drop the database).
// A closed connection is an answer; a crash, a sanitizer report or an
// exception out of a parser other than its documented ones is a finding.
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/com/error.h"
#include "platform/sqlserver/engine.h"
#include "platform/sqlserver/server.h"
#include "platform/sqlserver/tds_endpoint/bulk.h"
#include "platform/sqlserver/tds_endpoint/channel.h"
#include "platform/com/unicode.h"
#include "platform/sqlserver/tds_endpoint/login.h"
#include "platform/sqlserver/tds_endpoint/rpc.h"
#include "platform/sqlserver/tds_endpoint/client_connection.h"
#include "platform/sqlserver/tds_endpoint/wire.h"

namespace {

using sqlsrv::tds::PacketType;
using Bytes = std::span<const std::uint8_t>;

constexpr std::size_t kMaxInput = 64 * 1024;
constexpr int kAnswerWait = 2000;       // ms a client waits for an answer before it cancels
constexpr int kCancelWait = 4000;       // ms it then waits for the cancel's answer
constexpr int kConnectionsPerFolder = 2000;
constexpr std::size_t kPiece = 512;
constexpr char kPassword[] = "fuzz-Pw1";

constexpr char kSchema[] = R"(
create table Goods (id int identity(1, 1) primary key, code varchar(12) not null, name nvarchar(40) null,
                    price money null, qty int null, made datetime null, rate float null, active bit null)
insert into Goods (code, name, price, qty, made) values ('G1', N'茶', 12.5, 3, '2007-01-23')
)";

// A TDS packet: the header (type, status, length, SPID, packet number,
// window) and its payload.
std::vector<std::uint8_t> Packet(PacketType type, Bytes payload) {
  sqlsrv::tds::Writer w;
  w.U8(static_cast<std::uint8_t>(type));
  w.U8(0x01);  // end of message
  w.U16BE(static_cast<std::uint16_t>(payload.size() + 8));
  w.U16BE(0);
  w.U8(1);
  w.U8(0);
  w.Bytes(payload);
  return w.data();
}

// A client's PRELOGIN: its version and that it does not encrypt.
std::vector<std::uint8_t> Prelogin() {
  sqlsrv::tds::Writer w;
  w.U8(0);  // VERSION at 11, 6 bytes
  w.U16BE(11);
  w.U16BE(6);
  w.U8(1);  // ENCRYPTION at 17, 1 byte
  w.U16BE(17);
  w.U16BE(1);
  w.U8(0xFF);
  for (std::uint8_t b : {8, 0, 0, 0, 0, 0}) w.U8(b);
  w.U8(2);  // not supported
  return Packet(PacketType::kPrelogin, w.data());
}

std::vector<std::uint8_t> Login(std::uint32_t version) {
  sqlsrv::tds::Login7 l;
  l.tds_version = version;
  l.packet_size = 4096;
  l.host = "FUZZ";
  l.user = "sa";
  l.password = kPassword;
  l.app = "tds_packet_fuzz";
  l.database = "Sales60";
  return Packet(PacketType::kLogin7, sqlsrv::tds::BuildLogin7(l));
}

// The server folder the connections log in to.
class Folder {
 public:
  Folder() : path_(std::filesystem::temp_directory_path() / ("korvel-tds-fuzz-" + std::to_string(::getpid()))) {}
  ~Folder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }

  // The folder for the next connection.
  const std::string& Next() {
    if (connections_++ % kConnectionsPerFolder == 0) Make();
    return folder_;
  }

 private:
  void Make() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
    folder_ = path_.string();
    auto server = sqlsrv::Server::CreateOrOpen(folder_, kPassword);
    server->CreateDatabase("Sales60", [](const std::string& file) {
      sqlsrv::Engine(file, "Sales60", "sa").Execute(kSchema);
    });
  }

  std::filesystem::path path_;
  std::string folder_;
  long connections_ = 0;
};

// The client's end of the socket pair.
class Client {
 public:
  explicit Client(int fd) : fd_(fd) {}
  ~Client() { ::close(fd_); }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  // Sends bytes; false once the server has closed the connection.
  bool Send(Bytes bytes) {
    std::size_t off = 0;
    while (off < bytes.size() && !closed_) {
      const ssize_t n = ::send(fd_, bytes.data() + off, bytes.size() - off, MSG_NOSIGNAL);
      if (n < 0) {
        if (errno == EINTR) continue;
        closed_ = true;
      } else {
        off += static_cast<std::size_t>(n);
      }
    }
    return !closed_;
  }

  // Reads the answer to a message, up to its end-of-message packet; false
  // when none came in `wait_ms`. A closed connection is an answer.
  bool Answer(int wait_ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
    for (;;) {
      // Whole packets already read: is one of them the last of a message?
      while (buffer_.size() >= 8) {
        const std::size_t length = std::max<std::size_t>(8, static_cast<std::size_t>(buffer_[2]) << 8 | buffer_[3]);
        if (buffer_.size() < length) break;
        const bool last = (buffer_[1] & 0x01) != 0;
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(length));
        if (last) return true;
      }
      if (closed_) return true;
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
      std::uint8_t chunk[8192];
      const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
      if (n <= 0) {
        if (n < 0 && errno == EINTR) continue;
        closed_ = true;
      } else {
        buffer_.insert(buffer_.end(), chunk, chunk + n);
      }
    }
  }

  // A message sent: waits for its answer, cancelling it when it is slow.
  void Exchange() {
    if (Answer(kAnswerWait)) return;
    const std::uint8_t attention[] = {static_cast<std::uint8_t>(PacketType::kAttention), 0x01, 0, 8, 0, 0, 1, 0};
    if (Send(attention) && Answer(kCancelWait)) return;
    Hangup();
  }

  // Sends no more; reads what the server still says until it closes.
  void Hangup() {
    ::shutdown(fd_, SHUT_WR);
    while (!closed_) {
      buffer_.clear();
      if (!Answer(kCancelWait)) break;
    }
  }

  bool closed() const { return closed_; }

 private:
  int fd_;
  bool closed_ = false;
  std::vector<std::uint8_t> buffer_;
};

// Mode 0: a connection logged in, then the input's packets.
void FuzzConnection(Bytes input) {
  static Folder folder;
  if (input.empty()) return;
  const std::uint32_t version = (input[0] & 1) ? sqlsrv::tds::kTds74 : sqlsrv::tds::kTds71;
  input = input.subspan(1);
  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return;
  sqlsrv::tds::EndpointConfig config;
  config.folder = folder.Next();
  config.server_name = "FUZZ";
  config.login_timeout_ms = kCancelWait;
  config.max_message_bytes = 1u << 20;
  config.max_value_bytes = 1u << 20;
  std::atomic<bool> stopping{false};
  std::thread server([&config, &stopping, fd = fds[0]] {
    sqlsrv::tds::Channel channel(fd);  // closed as the connection ends: the client reads its end
    sqlsrv::tds::ServeConnection(channel, config, stopping);
  });
  {
    Client client(fds[1]);
    for (const auto& message : {Prelogin(), Login(version)}) {
      if (client.Send(message)) client.Exchange();
    }
    // The input cut at its packets' lengths; a message's last packet
    // waits for the answer.
    std::size_t at = 0;
    while (at < input.size() && !client.closed()) {
      const Bytes rest = input.subspan(at);
      const std::size_t declared = rest.size() >= 8 ? static_cast<std::size_t>(rest[2]) << 8 | rest[3] : 0;
      const bool whole = declared >= 8 && declared <= rest.size();  // else the rest goes as it is
      const std::size_t length = whole ? declared : rest.size();
      if (!client.Send(rest.first(length))) break;
      at += length;
      if (whole && (rest[1] & 0x01) != 0) client.Exchange();
    }
    client.Hangup();
  }
  server.join();
}

// Mode 1: the login messages' parsers.
void FuzzLogin(Bytes input) {
  try {
    sqlsrv::tds::ParsePrelogin(input);
  } catch (const sqlsrv::tds::ProtocolError&) {
  }
  try {
    sqlsrv::tds::ParseLogin7(input);
  } catch (const sqlsrv::tds::ProtocolError&) {
  }
}

// Mode 2: INSERT BULK's text, as UTF-8.
void FuzzInsertBulk(Bytes input) {
  try {
    sqlsrv::tds::ParseInsertBulk(std::string_view(reinterpret_cast<const char*>(input.data()), input.size()));
  } catch (const com::Error&) {
  }
}

// Mode 3: a bulk-load message.
void FuzzBulkRows(Bytes input) {
  if (input.size() < 2) return;
  const std::size_t columns = input[0];
  const bool tds72 = (input[1] & 1) != 0;
  input = input.subspan(2);
  std::size_t at = 0;
  const sqlsrv::tds::PieceSource pieces = [&]() -> std::vector<std::uint8_t> {
    const std::size_t n = std::min(kPiece, input.size() - at);
    std::vector<std::uint8_t> piece(input.begin() + static_cast<std::ptrdiff_t>(at),
                                    input.begin() + static_cast<std::ptrdiff_t>(at + n));
    at += n;
    return piece;
  };
  try {
    sqlsrv::tds::ReadBulkRows(pieces, columns, [](const dts::Row&) {}, 1u << 20, tds72);
  } catch (const sqlsrv::tds::ProtocolError&) {
  } catch (const com::Error&) {
  }
}

// Mode 4: the calls of a remote procedure call message.
void FuzzRpc(Bytes input) {
  static com::CodePage cp936("CP936");
  try {
    sqlsrv::tds::ParseRpcMessage({input.begin(), input.end()}, cp936, 1u << 20);
  } catch (const sqlsrv::tds::ProtocolError&) {
  } catch (const com::Error&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > kMaxInput) return 0;
  const Bytes rest(data + 1, size - 1);
  switch (data[0] % 5) {
    case 0: FuzzConnection(rest); break;
    case 1: FuzzLogin(rest); break;
    case 2: FuzzInsertBulk(rest); break;
    case 3: FuzzBulkRows(rest); break;
    default: FuzzRpc(rest); break;
  }
  return 0;
}
