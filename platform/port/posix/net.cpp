#include "platform/port/net.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace port {
namespace {

int Fd(Socket s) { return static_cast<int>(s); }

}  // namespace

std::string LastSocketError() { return std::strerror(errno); }

Socket ListenTcp(const std::string& host, int port, int backlog, int* bound_port, std::string* why) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return *why = std::strerror(errno), kNoSocket;
  const int yes = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<std::uint16_t>(port));
  if (inet_pton(AF_INET, host.c_str(), &sa.sin_addr) != 1) {
    ::close(fd);
    return *why = "not an IPv4 address", kNoSocket;
  }
  if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(fd, backlog) != 0) {
    *why = std::strerror(errno);
    ::close(fd);
    return kNoSocket;
  }
  socklen_t len = sizeof sa;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
  *bound_port = ntohs(sa.sin_port);
  return fd;
}

Socket AcceptTcp(Socket listener) {
  const int fd = ::accept4(Fd(listener), nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return kNoSocket;
  const int yes = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
  return fd;
}

Socket ConnectLoopback(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return kNoSocket;
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<std::uint16_t>(port));
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    ::close(fd);
    return kNoSocket;
  }
  return fd;
}

void CloseSocket(Socket s) {
  if (s != kNoSocket) ::close(Fd(s));
}

void SetTcpKeepAlive(Socket s, int idle, int interval, int count) {
  const int fd = Fd(s);
  const int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
  // Data sent and never acknowledged is given up after the same time, not
  // after the system's quarter of an hour of retransmissions.
  const unsigned int user_timeout = static_cast<unsigned int>(idle + interval * count) * 1000u;
  ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &user_timeout, sizeof user_timeout);
}

void ShutdownSocket(Socket s) { ::shutdown(Fd(s), SHUT_RDWR); }

std::ptrdiff_t Receive(Socket s, void* out, std::size_t size) {
  for (;;) {
    const ssize_t n = ::recv(Fd(s), out, size, 0);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    return n;
  }
}

std::ptrdiff_t Send(Socket s, const void* data, std::size_t size) {
  for (;;) {
    const ssize_t n = ::send(Fd(s), data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    return n;
  }
}

int WaitForInput(WaitEntry* entries, std::size_t count, int timeout_ms) {
  std::vector<pollfd> fds(count);
  for (std::size_t i = 0; i < count; ++i) fds[i] = {Fd(entries[i].socket), POLLIN, 0};
  int n;
  do {
    n = ::poll(fds.data(), fds.size(), timeout_ms);
  } while (n < 0 && errno == EINTR);
  for (std::size_t i = 0; i < count; ++i) entries[i].input = n > 0 && fds[i].revents != 0;
  return n;
}

SocketWakeup::SocketWakeup() {
  read_ = write_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (read_ < 0) throw std::runtime_error("cannot make an event descriptor: " + LastSocketError());
}

SocketWakeup::~SocketWakeup() { ::close(Fd(read_)); }

void SocketWakeup::Raise() {
  const std::uint64_t one = 1;
  [[maybe_unused]] const auto n = ::write(Fd(write_), &one, sizeof one);
}

void SocketWakeup::Clear() {
  std::uint64_t count = 0;
  [[maybe_unused]] const auto n = ::read(Fd(read_), &count, sizeof count);
}

bool SocketWakeup::Wait(int timeout_ms) const {
  WaitEntry e{read_};
  return WaitForInput(&e, 1, timeout_ms) > 0 && e.input;
}

}  // namespace port
