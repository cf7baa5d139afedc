#include "tests/support/served_folder.h"

#include "platform/sqlserver/tds_endpoint/listener.h"

namespace testing_support {

ServedFolder::ServedFolder(const std::string& folder) {
  sqlsrv::tds::EndpointConfig config;
  config.folder = folder;
  config.server_name = "SHOP";
  listener_ = std::make_unique<sqlsrv::tds::Listener>(config, sqlsrv::tds::ListenAddress{"127.0.0.1", 0}, 8);
  serving_ = std::thread([this] { listener_->Run(); });
}

ServedFolder::~ServedFolder() {
  listener_->Stop();
  serving_.join();
}

int ServedFolder::port() const { return listener_->port(); }

}  // namespace testing_support
