#include "platform/sqlserver/freetds_client/server_name.h"

#include <charconv>

#include "platform/com/error.h"
#include "platform/com/names.h"
#include "platform/sqlserver/errors.h"

namespace sqlsrv::net {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

[[noreturn]] void BadName(std::string_view data_source, const std::string& why) {
  throw com::Error(17, kErrorSource,
                   "SQL Server does not exist or access denied. 服务器名“" + std::string(data_source) + "”不对：" + why);
}

}  // namespace

std::string FreeTdsServerName(std::string_view data_source) {
  std::string_view name = Trim(data_source);
  if (name.empty()) BadName(data_source, "没有写服务器");
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) BadName(data_source, "含有控制字符");
  }
  std::string port;
  if (const auto comma = name.find(','); comma != std::string_view::npos) {
    const std::string_view digits = Trim(name.substr(comma + 1));
    int value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() || value < 1 || value > 65535) {
      BadName(data_source, "逗号后面应是 1 到 65535 的端口号");
    }
    port = std::to_string(value);
    name = Trim(name.substr(0, comma));
    if (name.empty()) BadName(data_source, "端口号前面没有主机名");
  }
  std::string host(name);
  std::string instance;
  if (const auto slash = host.find('\\'); slash != std::string::npos) {
    instance = host.substr(slash);
    host.resize(slash);
  }
  if (host == "." || com::SameName(host, "(local)")) host = "127.0.0.1";
  if (!port.empty()) return host + ":" + port;  // a port given names the instance's port already
  return host + instance;
}

}  // namespace sqlsrv::net
