#include "library/assurance/script_database.h"

#include <cstdlib>
#include <filesystem>

#include "platform/com/error.h"
#include "platform/sqlserver/driver.h"
#include "platform/sqlserver/engine.h"

namespace assurance {

ScriptDatabase::ScriptDatabase(const std::string& database, std::string_view script) {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/korvel-check-XXXXXX";
  if (!mkdtemp(pattern.data())) {
    throw com::Error(com::kErrInvalidArgument, "korvel", "无法建立临时文件夹“" + pattern + "”");
  }
  folder_ = pattern;
  const std::string file = folder_ + "/tables.db";
  sqlsrv::Engine::InitializeDatabase(file);
  session_ = sqlsrv::OpenDatabaseFile(file, database);
  session_->ExecuteBatch(script, 0);
}

ScriptDatabase::~ScriptDatabase() {
  session_.reset();
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

}  // namespace assurance
