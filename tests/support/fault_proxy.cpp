#include "tests/support/fault_proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>
#include <string>

namespace testing_support {
namespace {

constexpr unsigned char kSqlBatch = 0x01;
constexpr unsigned char kBulkLoad = 0x07;
constexpr std::size_t kHeader = 8;

// The UTF-16LE bytes of ASCII text, as a SQL batch carries it.
std::string Utf16(const char* text) {
  std::string out;
  for (const char* p = text; *p; ++p) {
    out += *p;
    out += '\0';
  }
  return out;
}

bool SendAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

int ConnectTo(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

FaultProxy::FaultProxy(int target_port, Fault fault, std::chrono::milliseconds stall)
    : fault_(fault), stall_(stall), target_port_(target_port) {
  listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
  const int on = 1;
  ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listener_, 16) != 0 ||
      ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    ::close(listener_);
    throw std::runtime_error("fault proxy: cannot listen");
  }
  port_ = ntohs(addr.sin_port);
  acceptor_ = std::thread([this] { Accept(); });
}

FaultProxy::~FaultProxy() {
  stop_ = true;
  acceptor_.join();
  ::close(listener_);
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& t : relays_) t.join();
}

void FaultProxy::Accept() {
  while (!stop_) {
    pollfd p{listener_, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    const int client = ::accept(listener_, nullptr, nullptr);
    if (client < 0) continue;
    const bool refusing = fault_ == Fault::kRefuseAfterCommit || fault_ == Fault::kLoseCommitAnswerAndRefuse;
    if (refusing && committed_) {
      fired_ = true;
      ::close(client);
      continue;
    }
    const int server = ConnectTo(target_port_);
    if (server < 0) {
      ::close(client);
      continue;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    relays_.emplace_back([this, client, server] { Relay(client, server); });
  }
}

void FaultProxy::Relay(int client, int server) {
  static const std::string commit = Utf16("COMMIT TRANSACTION");
  std::string pending;  // the client's bytes not yet forwarded: a packet in part
  bool commit_sent = false, answer_awaited = false, frozen = false;
  char buf[65536];
  while (!stop_) {
    if (frozen) {  // a vanished peer: nothing moves, nothing closes
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      continue;
    }
    pollfd fds[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
    if (::poll(fds, 2, 100) <= 0) continue;
    if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
      const ssize_t n = ::recv(server, buf, sizeof buf, 0);
      if (n <= 0) break;
      if (answer_awaited) {  // the answer to the COMMIT goes nowhere
        fired_ = true;
        committed_ = true;
        break;
      }
      // Committed before the client can see the answer, so that a
      // connection it makes on seeing it already finds the commit done.
      if (commit_sent) committed_ = true;
      if (!SendAll(client, buf, static_cast<std::size_t>(n))) break;
    }
    if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
      const ssize_t n = ::recv(client, buf, sizeof buf, 0);
      if (n <= 0) break;
      pending.append(buf, static_cast<std::size_t>(n));
      bool closing = false;
      // Whole packets go on one at a time, each looked at first.
      while (pending.size() >= kHeader && !closing) {
        const std::size_t length = (static_cast<unsigned char>(pending[2]) << 8) | static_cast<unsigned char>(pending[3]);
        if (length < kHeader || pending.size() < length) break;
        const auto type = static_cast<unsigned char>(pending[0]);
        const std::string_view packet(pending.data(), length);
        const bool is_commit = type == kSqlBatch && length < 128 && packet.ends_with(commit);
        if (is_commit && fault_ == Fault::kLoseCommit) {
          fired_ = true;
          closing = true;
          break;
        }
        if (type == kBulkLoad && !fired_ &&
            (fault_ == Fault::kStallDuringLoad || fault_ == Fault::kVanishDuringLoad)) {
          fired_ = true;
          if (fault_ == Fault::kVanishDuringLoad) {
            frozen = true;
            break;
          }
          std::this_thread::sleep_for(stall_);
        }
        if (!SendAll(server, pending.data(), length)) {
          closing = true;
          break;
        }
        if (is_commit) {
          commit_sent = true;
          answer_awaited = fault_ == Fault::kLoseCommitAnswer || fault_ == Fault::kLoseCommitAnswerAndRefuse;
        }
        pending.erase(0, length);
      }
      if (closing) break;
    }
  }
  ::close(client);
  ::close(server);
}

}  // namespace testing_support
