// The tables of the source files the command line writes, as data: a TSV
// of "table, column, type, size, required" lines (# starts a comment). The
// version 5.6 source tables (data/schema56.tsv) are built in, for `korvel
// sample` and `korvel mdb-write`; `mdb-write --schema` takes other tables.
// Also the conversion of TSV fields to typed values.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/variant.h"
#include "platform/jet/writer.h"

namespace cli {

using Schema = std::vector<jet::TableSchema>;

// Parses schema text; raises com::Error naming `origin` and the line.
Schema ParseSchema(std::string_view text, const std::string& origin);
// The version 5.6 source schema built into the program.
const Schema& SourceSchema56();
// The table of that name (exact), or null.
const jet::TableSchema* FindTable(const Schema& schema, std::string_view name);

// "Text", "Memo", "Boolean", "Byte", "Integer", "Long", "Currency",
// "Single", "Double", "DateTime", "Binary", "OLE", "Decimal"; raises for
// others. The size field holds a Text column's characters, a Binary
// column's bytes, and a Decimal column's "precision,scale" (empty for 18,0).
jet::ColumnType ParseColumnType(std::string_view name);

// A TSV field (nullopt for \N) as a value of the column's type: Yes/No as
// 1/0 (or true/false), numbers in decimal, currency with up to four
// decimals, dates "YYYY-MM-DD[ HH:MM:SS[.mmm]]", Binary and OLE data as
// "0x" and hexadecimal digits, decimals as "-12.50". Raises with a message
// naming the column for a field that is not such a value.
com::Variant ParseField(const jet::ColumnDefinition& column, const std::optional<std::string>& field);

}  // namespace cli
