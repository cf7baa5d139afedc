// Small helpers of the wizard's pages.
#pragma once

#include <cstdint>

#include "library/interface/cconnection.h"

class QLineEdit;

namespace velmora {

// Selects `length` characters of the box from its start: given the text's
// length, the whole text (an empty text gives an empty selection).
void SelectAllText(QLineEdit& box, std::int16_t length);

// Replaces a provider code in Provider by the OLE DB provider name ("0":
// "Microsoft.Jet.OLEDB.4.0", "1": "SQLOLEDB"); any other value stays.
void ResolveProvider(korvel::CConnection& connection);

}  // namespace velmora
