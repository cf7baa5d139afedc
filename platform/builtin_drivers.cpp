// The drivers this platform provides, by OLE DB provider name.
#include "platform/dts/driver.h"
#include "platform/jet/reader.h"
#include "platform/sqlserver/driver.h"

namespace dts {

std::vector<std::pair<std::string, std::shared_ptr<Driver>>> BuiltinDrivers() {
  return {{"Microsoft.Jet.OLEDB.4.0", jet::MakeJetDriver()}, {sqlsrv::kProviderName, sqlsrv::MakeSqlServerDriver()}};
}

}  // namespace dts
