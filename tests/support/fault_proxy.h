// A TCP proxy on loopback between a client and a TDS server that breaks
// the connection at a chosen moment, as a network does: the tests put it
// between the network driver and `korvel serve`.
//
// It reads the client's TDS packets only to find the moment: a SQL batch
// whose text is exactly "COMMIT TRANSACTION", or the start of a bulk load.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/port/net.h"

namespace testing_support {

class FaultProxy {
 public:
  enum class Fault {
    kNone,
    // The client's COMMIT is swallowed and both connections close: the
    // server never commits.
    kLoseCommit,
    // The COMMIT reaches the server; its answer is swallowed and both
    // connections close: the server has committed.
    kLoseCommitAnswer,
    // As kNone until the COMMIT's answer has gone back; then every new
    // connection is closed at once (the reconciliation's, say).
    kRefuseAfterCommit,
    // kLoseCommitAnswer, and every new connection after it closed at once:
    // the server cannot be asked what happened.
    kLoseCommitAnswerAndRefuse,
    // Once a bulk load has begun, nothing passes either way for `stall`,
    // then everything goes on.
    kStallDuringLoad,
    // Once a bulk load has begun, nothing passes either way again and
    // nothing is closed: a peer that vanished.
    kVanishDuringLoad,
  };

  // Listens on 127.0.0.1 (a port of its own) and relays to
  // 127.0.0.1:`target_port`.
  FaultProxy(int target_port, Fault fault, std::chrono::milliseconds stall = std::chrono::seconds(10));
  ~FaultProxy();
  FaultProxy(const FaultProxy&) = delete;
  FaultProxy& operator=(const FaultProxy&) = delete;

  int port() const { return port_; }
  // Whether the fault has happened.
  bool fired() const { return fired_; }

 private:
  void Accept();
  void Relay(port::Socket client, port::Socket server);

  Fault fault_;
  std::chrono::milliseconds stall_;
  int target_port_;
  port::Socket listener_ = port::kNoSocket;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<bool> fired_{false};
  std::atomic<bool> committed_{false};  // a COMMIT's answer has gone back
  std::mutex mutex_;
  std::vector<std::thread> relays_;
  std::thread acceptor_;
};

}  // namespace testing_support
