#include "wizard/m_constant.h"

#include <QLineEdit>

#include "library/interface/provider.h"

namespace velmora {

void SelectAllText(QLineEdit& box, std::int16_t length) { box.setSelection(0, length); }

void ResolveProvider(korvel::CConnection& connection) {
  if (const auto* provider = korvel::FindProviderByCode(connection.Provider)) {
    connection.Provider = std::string(provider->oledb_name);
  }
}

}  // namespace velmora
