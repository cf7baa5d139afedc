#include "library/builder/names.h"

#include "platform/com/quote.h"

namespace korvel::builder {

std::string EscapeBracketed(std::string_view name) { return com::DoubledQuotes(name, ']'); }

std::string Bracket(std::string_view name) { return com::Quoted(name, '[', ']'); }

std::string Names::Name(std::string_view prefix, std::string_view suffix) const {
  std::string out(prefix);
  out += d_;
  out += suffix;
  return out;
}

std::string Names::Sql(std::string_view prefix, std::string_view suffix) const {
  std::string out(prefix);
  out += EscapeBracketed(d_);
  out += suffix;
  return out;
}

std::string Names::ClearStep(std::string_view table) const {
  return Name("清除 [", "].[dbo].[" + std::string(table) + "] 中的数据");
}

std::string Names::ClearSql(std::string_view table) const {
  return "delete from " + DestinationObject(table);
}

std::string Names::TransferStep(std::string_view table) const {
  return Name("导入数据到 [", "].[dbo].[" + std::string(table) + "]");
}

std::string Names::DestinationObject(std::string_view table) const {
  return Bracket(d_) + ".[dbo]." + Bracket(table);
}

}  // namespace korvel::builder
