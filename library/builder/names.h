// Names a plan forms from the destination database name D.
//
// Step and task names carry D unchanged, as the operator typed it. SQL text
// and destination object names carry D inside brackets with every "]"
// doubled, so no database name can end the identifier early or add a
// statement.
#pragma once

#include <string>
#include <string_view>

namespace korvel::builder {

// name with every "]" doubled: the text between "[" and "]" of a quoted
// identifier.
std::string EscapeBracketed(std::string_view name);
// "[" + EscapeBracketed(name) + "]".
std::string Bracket(std::string_view name);

class Names {
 public:
  explicit Names(std::string d) : d_(std::move(d)) {}
  const std::string& D() const { return d_; }

  // prefix + D + suffix, D unchanged: step, task and description names.
  std::string Name(std::string_view prefix, std::string_view suffix) const;
  // prefix + escaped D + suffix, where the prefix ends in "[" and the suffix
  // starts with "]": SQL text naming the destination database.
  std::string Sql(std::string_view prefix, std::string_view suffix) const;

  // "[D].[dbo].[T]", D escaped.
  std::string DestinationObject(std::string_view table) const;

 private:
  std::string d_;
};

}  // namespace korvel::builder
