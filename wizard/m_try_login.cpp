#include "wizard/m_try_login.h"

#include <QComboBox>

#include <string>
#include <vector>

#include "library/interface/errors.h"
#include "library/login/login_tests.h"
#include "platform/com/error.h"

namespace velmora {
namespace {

constexpr int kLoginTimeoutSeconds = 30;
constexpr char kSource[] = "mTryLogin";

}  // namespace

void TryLogin(const korvel::CConnection& connection, QComboBox& databases) {
  if (connection.Provider == "0") {
    TryLoginAccess(connection);
  } else if (connection.Provider == "1") {
    TryLoginSQL(connection, databases);
  }
}

void TryLoginAccess(const korvel::CConnection& connection) {
  if (connection.DataSource.empty()) {
    throw com::Error(korvel::kValidationError, kSource, "请指定数据库位置！");
  }
  login::TestSourceFile(connection.DataSource, connection.Password);
}

void TryLoginSQL(const korvel::CConnection& connection, QComboBox& databases) {
  if (connection.DataSource.empty()) {
    throw com::Error(korvel::kValidationError, kSource, "请指定 SQL Server 服务器！");
  }
  if (connection.UserID.empty()) {
    throw com::Error(korvel::kValidationError, kSource, "请输入用户名！");
  }
  const std::vector<std::string> names =
      login::ServerDatabases(connection.DataSource, connection.UserID, connection.Password, kLoginTimeoutSeconds);
  databases.clear();
  databases.setEditText(QString());
  for (const auto& name : names) databases.addItem(QString::fromStdString(name));
  // Adding to the list chooses nothing: the text stays empty.
  databases.setCurrentIndex(-1);
}

}  // namespace velmora
