#include "tests/support/fault_proxy.h"

#include <stdexcept>
#include <string>

#include "platform/port/net.h"

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

bool SendAll(port::Socket s, const char* data, std::size_t size) {
  while (size > 0) {
    const std::ptrdiff_t n = port::Send(s, data, size);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

FaultProxy::FaultProxy(int target_port, Fault fault, std::chrono::milliseconds stall)
    : fault_(fault), stall_(stall), target_port_(target_port) {
  std::string why;
  listener_ = port::ListenTcp("127.0.0.1", 0, 16, &port_, &why);
  if (listener_ == port::kNoSocket) throw std::runtime_error("fault proxy: cannot listen: " + why);
  acceptor_ = std::thread([this] { Accept(); });
}

FaultProxy::~FaultProxy() {
  stop_ = true;
  acceptor_.join();
  port::CloseSocket(listener_);
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& t : relays_) t.join();
}

void FaultProxy::Accept() {
  while (!stop_) {
    port::WaitEntry waiting{listener_};
    if (port::WaitForInput(&waiting, 1, 100) <= 0) continue;
    const port::Socket client = port::AcceptTcp(listener_);
    if (client == port::kNoSocket) continue;
    const bool refusing = fault_ == Fault::kRefuseAfterCommit || fault_ == Fault::kLoseCommitAnswerAndRefuse;
    if (refusing && committed_) {
      fired_ = true;
      port::CloseSocket(client);
      continue;
    }
    const port::Socket server = port::ConnectLoopback(target_port_);
    if (server == port::kNoSocket) {
      port::CloseSocket(client);
      continue;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    relays_.emplace_back([this, client, server] { Relay(client, server); });
  }
}

void FaultProxy::Relay(port::Socket client, port::Socket server) {
  static const std::string commit = Utf16("COMMIT TRANSACTION");
  std::string pending;  // the client's bytes not yet forwarded: a packet in part
  bool commit_sent = false, answer_awaited = false, frozen = false;
  char buf[65536];
  while (!stop_) {
    if (frozen) {  // a vanished peer: nothing moves, nothing closes
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      continue;
    }
    port::WaitEntry ends[2] = {{client}, {server}};
    if (port::WaitForInput(ends, 2, 100) <= 0) continue;
    if (ends[1].input) {
      const std::ptrdiff_t n = port::Receive(server, buf, sizeof buf);
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
    if (ends[0].input) {
      const std::ptrdiff_t n = port::Receive(client, buf, sizeof buf);
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
  port::CloseSocket(client);
  port::CloseSocket(server);
}

}  // namespace testing_support
