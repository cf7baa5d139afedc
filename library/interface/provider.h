// Provider codes: the values of DataBaseProviderEnum, which the wizard uses
// in text form, with their display names and OLE DB provider names.
#pragma once

#include <cstdint>
#include <string_view>

namespace korvel {

enum DataBaseProviderEnum : std::int32_t {
  DataBaseProviderEnum_Access = 0,
  DataBaseProviderEnum_SQL = 1,
};

inline constexpr std::string_view kJetProviderName = "Microsoft.Jet.OLEDB.4.0";
inline constexpr std::string_view kSqlProviderName = "SQLOLEDB";

struct ProviderInfo {
  DataBaseProviderEnum code;
  std::string_view code_text;     // "0", "1"
  std::string_view display_name;  // shown in the provider boxes
  std::string_view oledb_name;    // handed to the plans
};

inline constexpr ProviderInfo kProviders[] = {
    {DataBaseProviderEnum_Access, "0", "Microsoft Access", kJetProviderName},
    {DataBaseProviderEnum_SQL, "1", "Microsoft SQL Server 2000", kSqlProviderName},
};

// The provider of a code given as text ("0", "1"), or null.
inline const ProviderInfo* FindProviderByCode(std::string_view code_text) {
  for (const auto& p : kProviders) {
    if (p.code_text == code_text) return &p;
  }
  return nullptr;
}

}  // namespace korvel
