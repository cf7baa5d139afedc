// The server's collation, as code outside the engine needs it: its name,
// the code page of a collation's text, and the key under which texts the
// collation holds equal are equal.
#pragma once

#include <string>
#include <string_view>

namespace sqlsrv {

// The collation of the server and of every database on it, as SQL Server
// names it.
inline constexpr char kServerCollation[] = "Chinese_PRC_CI_AS";

// The code page of a collation's non-Unicode text, by the collation's name
// (936 for Chinese_PRC_CI_AS); 0 for a name the server does not know.
int CollationCodePage(std::string_view collation);

// A text's key under the server collation (ASCII letters in lower case,
// trailing blanks dropped): two texts the collation holds equal have the
// same key, and only they.
std::string CollationKey(std::string_view text);

}  // namespace sqlsrv
