// The TDS endpoint on a system its sockets are not written for yet
// (Windows): korvel serve says so instead of starting.
#include "platform/com/error.h"
#include "platform/sqlserver/tds_endpoint/listener.h"

namespace sqlsrv::tds {

Listener::Listener(EndpointConfig config, const ListenAddress&, int max_connections)
    : config_(std::move(config)), max_connections_(max_connections) {
  throw com::Error(com::kErrInvalidArgument, "korvel serve",
                   "这个版本的 korvel 不能在 Windows 上提供 TDS 服务；请在 Linux 上运行 korvel serve");
}

Listener::~Listener() = default;
void Listener::Run() {}
void Listener::Stop() {}

}  // namespace sqlsrv::tds
