// The TDS endpoint's front door: listens on an address, serves each client
// on a thread of its own (ServeConnection), at most a given number at once,
// and on stop closes every connection, whose open transactions roll back.
#pragma once

#include <atomic>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/port/net.h"
#include "platform/sqlserver/tds_endpoint/client_connection.h"

namespace sqlsrv::tds {

struct ListenAddress {
  std::string host = "127.0.0.1";
  int port = 1433;  // 0: any free port
};

// "127.0.0.1:1433", "0.0.0.0:14330", ":1433" (loopback); raises com::Error
// for anything else.
ListenAddress ParseListenAddress(const std::string& text);

class Listener {
 public:
  // Binds and listens at once; raises com::Error naming the address when it
  // cannot.
  Listener(EndpointConfig config, const ListenAddress& address, int max_connections);
  ~Listener();
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  int port() const { return port_; }

  // Accepts and serves clients until Stop; then closes every connection and
  // waits for their threads.
  void Run();
  // From any thread, or a signal handler's thread.
  void Stop();

 private:
  struct Client {
    port::Socket socket;
    std::thread thread;
    std::atomic<bool> done{false};
  };
  void Reap(bool all);

  EndpointConfig config_;
  int max_connections_;
  port::Socket listen_socket_ = port::kNoSocket;
  port::SocketWakeup wake_;  // Stop raises it to end the accept loop
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;
  std::list<std::unique_ptr<Client>> clients_;
};

}  // namespace sqlsrv::tds
