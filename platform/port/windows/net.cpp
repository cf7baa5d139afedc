#include "platform/port/net.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <mstcpip.h>

#include <stdexcept>
#include <vector>

#include "platform/port/windows/wide.h"

namespace port {
namespace {

SOCKET Handle(Socket s) { return static_cast<SOCKET>(s); }
Socket Of(SOCKET s) { return s == INVALID_SOCKET ? kNoSocket : static_cast<Socket>(s); }

// Winsock is started once, for the life of the process, before the first
// socket is made.
void StartWinsock() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  if (!started) throw std::runtime_error("Windows sockets (Winsock 2.2) could not be started");
}

}  // namespace

std::string LastSocketError() { return SystemMessage(static_cast<unsigned long>(WSAGetLastError())); }

Socket ListenTcp(const std::string& host, int port, int backlog, int* bound_port, std::string* why) {
  StartWinsock();
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return *why = LastSocketError(), kNoSocket;
  // Another program may not take the port over while it is ours.
  BOOL yes = TRUE;
  ::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&yes), sizeof yes);
  ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<u_short>(port));
  if (inet_pton(AF_INET, host.c_str(), &sa.sin_addr) != 1) {
    ::closesocket(s);
    return *why = "not an IPv4 address", kNoSocket;
  }
  if (::bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(s, backlog) != 0) {
    *why = LastSocketError();
    ::closesocket(s);
    return kNoSocket;
  }
  int len = sizeof sa;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&sa), &len);
  *bound_port = ntohs(sa.sin_port);
  return Of(s);
}

Socket AcceptTcp(Socket listener) {
  const SOCKET s = ::accept(Handle(listener), nullptr, nullptr);
  if (s == INVALID_SOCKET) return kNoSocket;
  ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  BOOL yes = TRUE;
  ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&yes), sizeof yes);
  return Of(s);
}

Socket ConnectLoopback(int port) {
  StartWinsock();
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return kNoSocket;
  ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<u_short>(port));
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    ::closesocket(s);
    return kNoSocket;
  }
  return Of(s);
}

void CloseSocket(Socket s) {
  if (s != kNoSocket) ::closesocket(Handle(s));
}

// Windows asks a silent peer ten times; the interval is set so that it is
// given up after the same time as on Linux.
void SetTcpKeepAlive(Socket socket, int idle, int interval, int count) {
  const SOCKET s = Handle(socket);
  const int total = idle + interval * count;
  tcp_keepalive values{};
  values.onoff = 1;
  values.keepalivetime = static_cast<ULONG>(idle) * 1000u;
  values.keepaliveinterval = static_cast<ULONG>(interval * count) * 100u;  // ten probes
  DWORD returned = 0;
  WSAIoctl(s, SIO_KEEPALIVE_VALS, &values, sizeof values, nullptr, 0, &returned, nullptr, nullptr);
  // Data sent and never acknowledged is given up after the same time
  // (TCP_MAXRT, seconds; the MinGW headers do not name it).
  constexpr int kTcpMaxRt = 5;
  const DWORD max_retransmit_seconds = static_cast<DWORD>(total);
  setsockopt(s, IPPROTO_TCP, kTcpMaxRt, reinterpret_cast<const char*>(&max_retransmit_seconds),
             sizeof max_retransmit_seconds);
}

void ShutdownSocket(Socket s) { ::shutdown(Handle(s), SD_BOTH); }

std::ptrdiff_t Receive(Socket s, void* out, std::size_t size) {
  const int n = static_cast<int>(size > 1u << 30 ? 1u << 30 : size);
  for (;;) {
    const int got = ::recv(Handle(s), static_cast<char*>(out), n, 0);
    if (got == SOCKET_ERROR && WSAGetLastError() == WSAEINTR) continue;
    return got == SOCKET_ERROR ? -1 : got;
  }
}

std::ptrdiff_t Send(Socket s, const void* data, std::size_t size) {
  const int n = static_cast<int>(size > 1u << 30 ? 1u << 30 : size);
  for (;;) {
    const int sent = ::send(Handle(s), static_cast<const char*>(data), n, 0);
    if (sent == SOCKET_ERROR && WSAGetLastError() == WSAEINTR) continue;
    return sent == SOCKET_ERROR ? -1 : sent;
  }
}

int WaitForInput(WaitEntry* entries, std::size_t count, int timeout_ms) {
  std::vector<WSAPOLLFD> fds(count);
  for (std::size_t i = 0; i < count; ++i) fds[i] = {Handle(entries[i].socket), POLLRDNORM, 0};
  const int n = ::WSAPoll(fds.data(), static_cast<ULONG>(count), timeout_ms);
  for (std::size_t i = 0; i < count; ++i) entries[i].input = n > 0 && fds[i].revents != 0;
  return n == SOCKET_ERROR ? -1 : n;
}

// Windows waits on sockets only: the wakeup is a connected pair of
// loopback sockets, raised by sending a byte, cleared by reading them all.
SocketWakeup::SocketWakeup() {
  int port = 0;
  std::string why;
  const Socket listener = ListenTcp("127.0.0.1", 0, 1, &port, &why);
  if (listener == kNoSocket) throw std::runtime_error("cannot make a wakeup socket: " + why);
  write_ = ConnectLoopback(port);
  read_ = write_ == kNoSocket ? kNoSocket : AcceptTcp(listener);
  CloseSocket(listener);
  if (read_ == kNoSocket) {
    CloseSocket(write_);
    throw std::runtime_error("cannot make a wakeup socket: " + LastSocketError());
  }
  u_long non_blocking = 1;
  ::ioctlsocket(Handle(read_), FIONBIO, &non_blocking);
  ::ioctlsocket(Handle(write_), FIONBIO, &non_blocking);
}

SocketWakeup::~SocketWakeup() {
  CloseSocket(read_);
  CloseSocket(write_);
}

void SocketWakeup::Raise() {
  const char byte = 1;
  ::send(Handle(write_), &byte, 1, 0);  // a full buffer is raised already
}

void SocketWakeup::Clear() {
  char buf[64];
  while (::recv(Handle(read_), buf, sizeof buf, 0) > 0) {
  }
}

bool SocketWakeup::Wait(int timeout_ms) const {
  WaitEntry e{read_};
  return WaitForInput(&e, 1, timeout_ms) > 0 && e.input;
}

}  // namespace port
