// A server folder put on the network for a test: the TDS endpoint on a
// loopback port of its own, serving until the object goes.
#pragma once

#include <memory>
#include <string>
#include <thread>

namespace sqlsrv::tds {
class Listener;
}

namespace testing_support {

class ServedFolder {
 public:
  explicit ServedFolder(const std::string& folder);
  ~ServedFolder();
  ServedFolder(const ServedFolder&) = delete;
  ServedFolder& operator=(const ServedFolder&) = delete;

  int port() const;
  // "127.0.0.1,port", as a server name.
  std::string server() const { return "127.0.0.1," + std::to_string(port()); }

 private:
  std::unique_ptr<sqlsrv::tds::Listener> listener_;
  std::thread serving_;
};

}  // namespace testing_support
