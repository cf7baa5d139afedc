// korvel serve: the embedded server reached over TDS, so that any SQL Server
// client (and our network driver) can work with a rehearsal database.
#include <cstdio>
#include <mutex>
#include <thread>

#include "cli/args.h"
#include "cli/commands.h"
#include "platform/com/error.h"
#include "platform/port/system.h"
#include "platform/sqlserver/server.h"
#include "platform/sqlserver/tds_endpoint/listener.h"

namespace cli {

int CmdServe(const Args& args) {
  const std::string server = ServerName(args);
  const auto folder = sqlsrv::EmbeddedServerFolder(server);
  if (!folder) {
    throw com::Error(com::kErrInvalidArgument, "korvel", "serve 只能提供内置服务器，服务器名应写作 file:文件夹");
  }
  sqlsrv::Server probe(*folder);  // raises when the folder holds no server
  const auto address = sqlsrv::tds::ParseListenAddress(args.Get("listen").value_or("127.0.0.1:1433"));
  auto number = [&](const char* name, int fallback, int low, int high) {
    const auto text = args.Get(name);
    if (!text) return fallback;
    int v = 0;
    try {
      v = std::stoi(*text);
    } catch (...) {
      v = low - 1;
    }
    if (v < low || v > high) {
      throw com::Error(com::kErrInvalidArgument, "korvel",
                       "--" + std::string(name) + " 应是 " + std::to_string(low) + " 到 " + std::to_string(high) +
                           " 之间的整数");
    }
    return v;
  };
  const int max_connections = number("max-connections", 32, 1, 1000);
  const int login_timeout = number("login-timeout", 30, 1, 3600);

  // Ctrl+C and the system's request to stop end the server cleanly: they
  // are waited for by one thread, the others never see them.
  port::StopRequest stop;

  static std::mutex log_mutex;
  sqlsrv::tds::EndpointConfig config;
  config.folder = *folder;
  config.server_name = sqlsrv::kServerName;
  config.login_timeout_ms = login_timeout * 1000;
  config.log = [](const std::string& line) {
    std::lock_guard lock(log_mutex);
    std::fprintf(stderr, "korvel serve: %s\n", line.c_str());
  };
  sqlsrv::tds::Listener listener(config, address, max_connections);
  std::printf("korvel serve: 在 %s:%d 上提供 %s（按 Ctrl+C 停止）\n", address.host.c_str(), listener.port(),
              server.c_str());
  std::fflush(stdout);

  std::thread waiter([&] {
    if (!stop.Wait()) return;
    config.log(std::string("收到停止信号，正在关闭所有连接（未提交的事务将回滚）"));
    listener.Stop();
  });
  listener.Run();
  // Run also ends on its own only when asked to; the waiter is then still
  // waiting.
  stop.Release();
  waiter.join();
  std::printf("korvel serve: 已停止\n");
  return 0;
}

}  // namespace cli
