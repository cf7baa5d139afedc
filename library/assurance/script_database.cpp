#include "library/assurance/script_database.h"

#include <filesystem>

#include "platform/com/error.h"
#include "platform/port/files.h"
#include "platform/port/system.h"
#include "platform/sqlserver/driver.h"

namespace assurance {

ScriptDatabase::ScriptDatabase(const std::string& database, std::string_view script) {
  const std::string prefix = port::TemporaryFolder() + "/korvel-check-";
  port::OsError error;
  if (!port::MakeUniqueFolder(prefix, &folder_, &error)) {
    throw com::Error(com::kErrInvalidArgument, "korvel", "无法建立临时文件夹“" + prefix + "…”：" + error.text);
  }
  const std::string file = folder_ + "/tables.db";
  sqlsrv::CreateDatabaseFile(file);
  session_ = sqlsrv::OpenDatabaseFile(file, database);
  session_->ExecuteBatch(script, 0);
}

ScriptDatabase::~ScriptDatabase() {
  session_.reset();
  std::error_code ignored;
  std::filesystem::remove_all(port::PathFromUtf8(folder_), ignored);
}

}  // namespace assurance
