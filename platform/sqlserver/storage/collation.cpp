#include "platform/sqlserver/collation.h"

#include "platform/com/names.h"

namespace sqlsrv {

std::string CollationKey(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  std::string key(text);
  for (char& c : key) c = com::AsciiLower(c);
  return key;
}

int CollationCodePage(std::string_view collation) {
  // Collation names start with their language's name; the code page goes
  // with the language. SQL_Latin1_General_CP1_ is Windows 1252, unlike the
  // other SQL_Latin1_General_CPnnnn collations.
  static const struct {
    std::string_view prefix;
    int code_page;
  } kFamilies[] = {
      {"Chinese_PRC_", 936},         {"Chinese_Simplified_", 936}, {"Chinese_Taiwan_", 950},
      {"Chinese_Traditional_", 950}, {"Chinese_Hong_Kong_", 950},  {"Japanese_", 932},
      {"Korean_", 949},              {"Latin1_General_", 1252},    {"SQL_Latin1_General_CP1_", 1252},
      {"Cyrillic_General_", 1251},
  };
  for (const auto& f : kFamilies) {
    if (collation.size() > f.prefix.size() && com::StartsWithName(collation, f.prefix)) return f.code_page;
  }
  return 0;
}

}  // namespace sqlsrv
