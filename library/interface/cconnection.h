// The connection descriptor that carries one database's settings from the
// wizard to a plan: seven text properties, empty when new, each returning
// exactly the text last assigned. No validation, no conversion.
#pragma once

#include <string>

#include "platform/com/object.h"

namespace korvel {

class CConnection : public com::Object {
 public:
  CConnection();
  ~CConnection() override;

  // Provider code "0"/"1" while the wizard collects entries; the OLE DB
  // provider name once handed to a plan.
  std::string Provider;
  std::string InitialCatalog;
  std::string DataSource;
  std::string IsNT;
  std::string Password;
  std::string UserID;
  std::string ConnectionString;
};

}  // namespace korvel
