// CSV as spreadsheets write and read it: fields separated by commas,
// quoted with '"' when they hold a comma, a quote or a line break (a quote
// inside doubled), records ended by CRLF or LF; UTF-8, a leading byte-order
// mark allowed. The check's problem lists are written in it and the
// operator's corrected lists read back from it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace com {

// A field as written in a record: quoted only when it must be.
std::string CsvField(std::string_view value);

// A field without the blanks (spaces, tabs) a spreadsheet may leave
// around it.
std::string TrimmedField(std::string_view field);

// One record of a file: its fields, and the line it starts on (1 for the
// first), for messages that name it.
struct CsvRecord {
  std::size_t line = 0;
  std::vector<std::string> fields;
};

// The records of a CSV text, a blank line left out. Raises com::Error
// naming the line for a quote that is never closed, or a quoted field
// followed by anything but a comma or the end of the record.
std::vector<CsvRecord> ParseCsv(std::string_view text);

}  // namespace com
