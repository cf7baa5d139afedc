#include "platform/sqlserver/tds_endpoint/listener.h"

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
  std::string why;
  listen_socket_ = port::ListenTcp(address.host, address.port, 64, &port_, &why);
  if (listen_socket_ == port::kNoSocket) {
    Fail("无法在 " + address.host + ":" + std::to_string(address.port) + " 上监听：" + why);
  }
}

Listener::~Listener() {
  Stop();
  Reap(true);
  port::CloseSocket(listen_socket_);
}

void Listener::Stop() {
  stopping_ = true;
  wake_.Raise();
}

void Listener::Reap(bool all) {
  std::lock_guard lock(mutex_);
  for (auto it = clients_.begin(); it != clients_.end();) {
    Client& c = **it;
    if (all && !c.done) port::ShutdownSocket(c.socket);  // wakes its reads; the connection ends
    if (all || c.done) {
      if (c.thread.joinable()) c.thread.join();
      port::CloseSocket(c.socket);
      it = clients_.erase(it);
    } else {
      ++it;
    }
  }
}

void Listener::Run() {
  while (!stopping_) {
    port::WaitEntry entries[2] = {{listen_socket_}, {wake_.socket()}};
    if (port::WaitForInput(entries, 2, 1000) < 0) break;
    Reap(false);
    if (stopping_ || entries[1].input) break;
    if (!entries[0].input) continue;
    const port::Socket socket = port::AcceptTcp(listen_socket_);
    if (socket == port::kNoSocket) continue;
    std::lock_guard lock(mutex_);
    const bool full = static_cast<int>(clients_.size()) >= max_connections_;
    auto client = std::make_unique<Client>();
    client->socket = socket;
    Client* raw = client.get();
    const std::string refuse =
        full ? "Could not connect because the maximum number of '" + std::to_string(max_connections_) +
                   "' user connections has already been reached."
             : "";
    client->thread = std::thread([this, raw, refuse] {
      Channel channel(raw->socket, /*owns=*/false);  // closed once the thread is joined
      ServeConnection(channel, config_, stopping_, refuse);
      port::ShutdownSocket(raw->socket);
      raw->done = true;
    });
    clients_.push_back(std::move(client));
  }
  Reap(true);
}

}  // namespace sqlsrv::tds
