// The drivers this platform provides, by OLE DB provider name.
#include "platform/dts/driver.h"

namespace dts {

std::vector<std::pair<std::string, std::shared_ptr<Driver>>> BuiltinDrivers() { return {}; }

}  // namespace dts
