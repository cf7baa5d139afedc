// The Jet SQL the system sends to a source file, and nothing more:
//
//   SELECT * | col, col, ... FROM table [WHERE col = literal] [;]
//
// Names may be back-quoted (`Name`), bracketed ([Name]) or bare; keywords
// are case-insensitive; a text literal is '...' or "..." with the quote
// doubled inside; a number literal is a plain decimal. Anything else is
// refused with an error that names what is not supported.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace jet {

struct Literal {
  bool is_text = true;
  std::string value;  // the text, or the number as written
};

struct SelectQuery {
  std::string table;
  bool all_columns = false;
  std::vector<std::string> columns;  // when not all_columns, in select order
  std::optional<std::string> where_column;
  Literal where_value;
};

// Raises com::Error (a syntax error, number 3075 as Jet numbers it) for any
// other statement.
SelectQuery ParseSelect(std::string_view sql);

}  // namespace jet
