// The login tests of the source and destination pages. Each raises its
// errors to the caller with their number and description: the wizard's
// own checks as validation errors (0x80040001), a failed open or login
// with the driver's own error.
#pragma once

#include "library/interface/cconnection.h"

class QComboBox;

namespace velmora {

// Runs the test the descriptor's Provider code asks for: "0" the Jet file
// test, "1" the SQL Server test; any other code runs none and returns.
// `databases` is the destination page's database box, which the SQL Server
// test refills.
void TryLogin(const korvel::CConnection& connection, QComboBox& databases);

// Opens the Jet file named by DataSource with the database password
// Password, and closes it again.
void TryLoginAccess(const korvel::CConnection& connection);

// Logs in to the server DataSource as UserID with Password (SQL Server
// authentication, 30-second login timeout), empties `databases` (list and
// text), adds the server's database names in the server's order, and
// disconnects. A failed login leaves `databases` as it was.
void TryLoginSQL(const korvel::CConnection& connection, QComboBox& databases);

}  // namespace velmora
