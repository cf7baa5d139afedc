// The TSV the command line prints and reads: UTF-8, a header line of column
// names, one line per row, tab-separated. NULL is \N; tab, carriage return,
// line feed and backslash inside a value are \t, \r, \n and \\. Dates are
// "YYYY-MM-DD HH:MM:SS" (".mmm" when there are milliseconds), Yes/No 1/0,
// numbers plain decimals that read back to the same value, currency with
// four decimals.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/variant.h"
#include "platform/dts/driver.h"

namespace cli {

std::string EscapeTsv(std::string_view text);
// The TSV form of a value (\N for null).
std::string FormatTsvValue(const com::Variant& v);
// Appends the TSV form of a row (values tab-separated, no line end).
void AppendTsvLine(const dts::Row& row, std::string* line);
std::string FormatTsvLine(const dts::Row& row);
// Prints a header line and every row; returns the number of rows.
long long WriteTsv(dts::RowReader& reader, std::FILE* out);

// Splits one TSV line (without its line end) into unescaped fields; a \N
// field is returned as nullopt. Raises com::Error for a bad escape.
std::vector<std::optional<std::string>> SplitTsvLine(std::string_view line);

}  // namespace cli
