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

std::string Names::DestinationObject(std::string_view table) const {
  return Bracket(d_) + ".[dbo]." + Bracket(table);
}

}  // namespace korvel::builder
