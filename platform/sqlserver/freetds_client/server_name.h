// Server names as SQL Server's users type them, in the form FreeTDS takes.
#pragma once

#include <string>
#include <string_view>

namespace sqlsrv::net {

// The FreeTDS server name for a data source: "host" and "host,port" (the
// port written after a comma, as SQL Server's clients write it) become
// "host" and "host:port"; "(local)" and "." stand for this machine;
// "host\instance" is kept (FreeTDS asks the server's browser service for
// the instance's port); any other name is kept, so that a name FreeTDS
// finds in its freetds.conf reaches the server configured there. Blanks
// around the name and around the comma are ignored. Raises com::Error 17
// for a name no server can have (empty, a port that is no number from 1
// to 65535, a control character).
std::string FreeTdsServerName(std::string_view data_source);

}  // namespace sqlsrv::net
