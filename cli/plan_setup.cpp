#include "cli/plan_setup.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "library/interface/provider.h"
#include "library/model_list/model_list.h"
#include "platform/com/error.h"
#include "platform/com/object.h"
#include "platform/port/files.h"
#include "platform/port/system.h"

namespace cli {

std::shared_ptr<korvel::IPackage> CreatePlan(const std::string& class_name) {
  const std::string prog_id = "Korvel." + class_name;
  return com::QueryInterface<korvel::IPackage>(com::CreateObject(prog_id), prog_id);
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

void RefuseUnwritableReport(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(port::PathFromUtf8(path), ec)) {
    throw com::Error(com::kErrInvalidArgument, "korvel", "无法写报告文件“" + path + "”：这是文件夹");
  }
  // A file of our own beside it, made and removed again.
  const std::string probe = path + ".probe" + std::to_string(port::ProcessId());
  port::File file;
  port::OsError error;
  if (!file.Open(probe, port::File::Mode::kCreateNew, &error)) {
    throw com::Error(com::kErrInvalidArgument, "korvel", "无法写报告文件“" + path + "”：" + error.text);
  }
  file = port::File();
  port::RemoveFile(probe, nullptr);
}

std::string ModelName(const std::string& class_name) {
  try {
    const auto row = model_list::FindModelByClass(com::ProgramFolder() + "/" + model_list::kModelListFile, class_name);
    if (row) return row->Field("ModelCNName").value_or("");
  } catch (const com::Error&) {
    // No list beside the program (or no name column): the report names the
    // class alone.
  }
  return "";
}

}  // namespace cli
