#include "platform/sqlserver/tds_endpoint/listener.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/com/error.h"
#include "platform/sqlserver/tds_endpoint/channel.h"

namespace sqlsrv::tds {
namespace {

[[noreturn]] void Fail(const std::string& what) {
  throw com::Error(com::kErrInvalidArgument, "korvel serve", what);
}

}  // namespace

Listener::Listener(EndpointConfig config, const ListenAddress& address, int max_connections)
    : config_(std::move(config)), max_connections_(max_connections) {
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listen_fd_ < 0) Fail(std::string("无法建立套接字：") + std::strerror(errno));
  const int yes = 1;
  ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<std::uint16_t>(address.port));
  inet_pton(AF_INET, address.host.c_str(), &sa.sin_addr);
  if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(listen_fd_, 64) != 0) {
    const std::string why = std::strerror(errno);
    ::close(listen_fd_);
    Fail("无法在 " + address.host + ":" + std::to_string(address.port) + " 上监听：" + why);
  }
  socklen_t len = sizeof sa;
  ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&sa), &len);
  port_ = ntohs(sa.sin_port);
  if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
    ::close(listen_fd_);
    Fail("无法建立管道");
  }
}

Listener::~Listener() {
  Stop();
  Reap(true);
  if (listen_fd_ >= 0) ::close(listen_fd_);
  for (int fd : wake_) {
    if (fd >= 0) ::close(fd);
  }
}

void Listener::Stop() {
  stopping_ = true;
  const char byte = 1;
  [[maybe_unused]] const ssize_t w = ::write(wake_[1], &byte, 1);
}

void Listener::Reap(bool all) {
  std::lock_guard lock(mutex_);
  for (auto it = clients_.begin(); it != clients_.end();) {
    Client& c = **it;
    if (all && !c.done) ::shutdown(c.fd, SHUT_RDWR);  // wakes its reads; the connection ends
    if (all || c.done) {
      if (c.thread.joinable()) c.thread.join();
      ::close(c.fd);
      it = clients_.erase(it);
    } else {
      ++it;
    }
  }
}

void Listener::Run() {
  while (!stopping_) {
    pollfd p[2] = {{listen_fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    if (::poll(p, 2, 1000) < 0 && errno != EINTR) break;
    Reap(false);
    if (stopping_ || (p[1].revents & POLLIN)) break;
    if (!(p[0].revents & POLLIN)) continue;
    const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    const int yes = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    std::lock_guard lock(mutex_);
    const bool full = static_cast<int>(clients_.size()) >= max_connections_;
    auto client = std::make_unique<Client>();
    client->fd = fd;
    Client* raw = client.get();
    const std::string refuse =
        full ? "Could not connect because the maximum number of '" + std::to_string(max_connections_) +
                   "' user connections has already been reached."
             : "";
    client->thread = std::thread([this, raw, refuse] {
      Channel channel(raw->fd, /*owns=*/false);  // closed once the thread is joined
      ServeConnection(channel, config_, stopping_, refuse);
      ::shutdown(raw->fd, SHUT_RDWR);
      raw->done = true;
    });
    clients_.push_back(std::move(client));
  }
  Reap(true);
}

}  // namespace sqlsrv::tds
