#include "cli/plan_setup.h"

#include <cstdio>

#include "library/interface/provider.h"
#include "platform/com/error.h"
#include "platform/com/object.h"

namespace cli {

const std::set<std::string> kPlanOptions = {"model",    "source",       "source-password", "source-password-env",
                                            "server",   "user",         "password",        "password-env",
                                            "database", "report"};

std::shared_ptr<korvel::IPackage> CreatePlan(const std::string& class_name) {
  const std::string prog_id = "Korvel." + class_name;
  return com::QueryInterface<korvel::IPackage>(com::CreateObject(prog_id), prog_id);
}

std::string JsonString(std::string_view s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
  }
  return out + "\"";
}

void FillConnections(korvel::CConnection& src, korvel::CConnection& dst, const std::string& file,
                     const std::string& source_password, const std::string& server, const std::string& user,
                     const std::string& password, const std::string& database) {
  src.Provider = korvel::kJetProviderName;
  src.DataSource = file;
  src.InitialCatalog = file;
  src.Password = source_password;
  src.IsNT = "False";
  src.ConnectionString = "";
  dst.Provider = korvel::kSqlProviderName;
  dst.DataSource = server;
  dst.InitialCatalog = database;
  dst.UserID = user;
  dst.Password = password;
  dst.IsNT = "False";
  dst.ConnectionString = "";
}

BuiltPlan BuildPlan(const std::string& class_name, const std::string& file, const std::string& source_password,
                    const std::string& server, const std::string& user, const std::string& password,
                    const std::string& database) {
  korvel::CConnection src, dst;
  FillConnections(src, dst, file, source_password, server, user, password, database);
  BuiltPlan built{CreatePlan(class_name), nullptr};
  built.plan->KorvelInit(src, dst);
  built.package = built.plan->GetPackage();
  if (!built.package) throw com::Error(com::kErrInvalidArgument, "korvel", "方案“" + class_name + "”没有建立包");
  return built;
}

std::unique_ptr<std::ofstream> OpenReport(const std::string& path) {
  auto out = std::make_unique<std::ofstream>(path, std::ios::binary | std::ios::trunc);
  if (!*out) throw com::Error(com::kErrInvalidArgument, "korvel", "无法写报告文件“" + path + "”");
  return out;
}

}  // namespace cli
