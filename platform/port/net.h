// TCP sockets, the same on Linux and on Windows: IPv4 listening, accepting
// and connecting, sending and receiving, waiting for input, and a wakeup
// other threads raise for one that waits on sockets. Sockets are plain
// handles (a descriptor on Linux, a SOCKET on Windows); whoever makes one
// closes it with CloseSocket.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace port {

using Socket = std::intptr_t;
constexpr Socket kNoSocket = -1;

// The system's words for the last failed socket call of this thread.
std::string LastSocketError();

// A TCP socket listening on `host` (dotted IPv4) and `port` (0: any free
// one), its port in `*bound_port`; kNoSocket, with the reason in `why`,
// when it cannot listen there.
Socket ListenTcp(const std::string& host, int port, int backlog, int* bound_port, std::string* why);
// The next connection waiting on `listener`, with Nagle's delay off;
// kNoSocket when none could be taken.
Socket AcceptTcp(Socket listener);
// A connection to 127.0.0.1:`port`; kNoSocket when refused.
Socket ConnectLoopback(int port);
void CloseSocket(Socket s);
// TCP keepalive on a connected socket: after `idle` seconds of silence the
// peer is asked `count` times, `interval` seconds apart, then the connection
// fails; data left unacknowledged that long fails it too.
void SetTcpKeepAlive(Socket s, int idle, int interval, int count);
// Ends both directions: a read waiting on the socket returns.
void ShutdownSocket(Socket s);

// Bytes received into `out` (at most `size`); 0 when the peer closed, -1 on
// an error. Interrupted calls are retried.
std::ptrdiff_t Receive(Socket s, void* out, std::size_t size);
// Bytes sent (some of `size`), -1 on an error; never raises SIGPIPE.
std::ptrdiff_t Send(Socket s, const void* data, std::size_t size);

// One socket to wait on, and what came.
struct WaitEntry {
  Socket socket = kNoSocket;
  bool input = false;  // readable, closed or failed: a receive will not block
};
// Waits at most `timeout_ms` (-1: without limit) until one of `entries`
// has input. Returns how many have, 0 on timeout, -1 on an error.
int WaitForInput(WaitEntry* entries, std::size_t count, int timeout_ms);

// A signal other threads raise and one thread waits on among its sockets:
// an eventfd on Linux, a connected pair of loopback sockets on Windows.
class SocketWakeup {
 public:
  // Throws std::runtime_error when the system cannot make one.
  SocketWakeup();
  ~SocketWakeup();
  SocketWakeup(const SocketWakeup&) = delete;
  SocketWakeup& operator=(const SocketWakeup&) = delete;

  void Raise();
  // Takes back every Raise so far.
  void Clear();
  // What to wait on: it has input once raised.
  Socket socket() const { return read_; }
  // Waits at most `timeout_ms` for a Raise; true once it came.
  bool Wait(int timeout_ms) const;

 private:
  Socket read_ = kNoSocket;
  Socket write_ = kNoSocket;  // the same as read_ on Linux
};

}  // namespace port
