#include <string>

#include "platform/com/error.h"
#include "platform/sqlserver/tds_endpoint/listener.h"

namespace sqlsrv::tds {
namespace {

[[noreturn]] void Fail(const std::string& what) {
  throw com::Error(com::kErrInvalidArgument, "korvel serve", what);
}

// A number of up to `digits` decimal digits, no more than `most`.
bool Number(const std::string& text, std::size_t digits, int most, int* value) {
  if (text.empty() || text.size() > digits || text.find_first_not_of("0123456789") != std::string::npos) return false;
  *value = std::stoi(text);
  return *value <= most;
}

// Four numbers of 0 to 255 between dots.
bool IsIpv4(const std::string& host) {
  std::size_t from = 0;
  for (int part = 0; part < 4; ++part) {
    const std::size_t dot = host.find('.', from);
    if ((part < 3) != (dot != std::string::npos)) return false;
    int value = 0;
    if (!Number(host.substr(from, part < 3 ? dot - from : std::string::npos), 3, 255, &value)) return false;
    from = dot + 1;
  }
  return true;
}

}  // namespace

ListenAddress ParseListenAddress(const std::string& text) {
  ListenAddress a;
  const auto colon = text.rfind(':');
  if (colon == std::string::npos) Fail("监听地址应写作 主机:端口，例如 127.0.0.1:1433（收到“" + text + "”）");
  if (colon > 0) a.host = text.substr(0, colon);
  const std::string port = text.substr(colon + 1);
  if (!Number(port, 5, 65535, &a.port)) Fail("端口应是 0 到 65535 之间的数（收到“" + port + "”）");
  if (!IsIpv4(a.host)) Fail("监听地址应是 IPv4 地址（收到“" + a.host + "”）");
  return a;
}

}  // namespace sqlsrv::tds
