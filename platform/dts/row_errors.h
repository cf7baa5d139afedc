// The errors a row can meet on its way into a table, as SQL Server raises
// them: its numbers, its words and the OLE DB provider as their source.
// The data pump's conversions, the embedded engine and the check before a
// run all build them here, so that what the check predicts is word for
// word what the run raises.
#pragma once

#include <cstdint>
#include <string>

#include "platform/com/error.h"

namespace dts {

// The source SQL Server's errors carry, as its OLE DB provider names it.
inline constexpr char kSqlServerErrorSource[] = "Microsoft OLE DB Provider for SQL Server";

// The number of the embedded server's own refusal of what it does not do.
inline constexpr std::int32_t kNotSupportedError = 40000;

// An error of SQL Server's `number` and `message`.
inline com::Error SqlServerError(std::int32_t number, std::string message) {
  return com::Error(number, kSqlServerErrorSource, std::move(message));
}

// 515 for a NULL into `column` of `table` by `operation` ("INSERT").
com::Error NotNullError(const std::string& column, const std::string& table, const std::string& operation);
// 515 where the server cannot tell the column.
com::Error NotNullError(const std::string& operation);
// 2627 for a repeated primary (or unique) key `key_name` of `table`.
com::Error DuplicateKeyError(bool primary, const std::string& key_name, const std::string& table);
// 547 for an inserted row whose foreign key `fk_name` finds no row in
// `parent_table` of `database` (`parent_column`: the key's first column).
com::Error InsertForeignKeyError(const std::string& fk_name, const std::string& database,
                                 const std::string& parent_table, const std::string& parent_column);
// 8152: text or binary data too long for its column.
com::Error TruncationError();
// 220: a number past the range of `type` ("smallint").
com::Error OverflowError(const std::string& type, const std::string& value);
// 8115: an overflow converting `what` ("expression", "IDENTITY") to `type`.
com::Error ConvertOverflowError(const std::string& type, const std::string& what = "expression");
// 245: `value` of kind `from` ("varchar", "value") does not convert to `type`.
com::Error ConversionError(const std::string& from, const std::string& value, const std::string& type);
// 8114: a value of kind `from` ("varchar") that is no number, converted
// to decimal or numeric.
com::Error NumericConversionError(const std::string& from);
// 8115 for an arithmetic result of decimal or numeric past its precision.
inline com::Error NumericOverflowError() { return ConvertOverflowError("numeric"); }
// 235: text that is no money.
com::Error MoneySyntaxError();
// 241: text that is no date.
com::Error DateSyntaxError();
// 8169: text that is no uniqueidentifier.
com::Error GuidConversionError();
// 242: a date outside datetime's years, converted from `from` ("char",
// "date"); an empty `from` for arithmetic past its range.
com::Error DateRangeError(const std::string& from);
// 257: no implicit conversion from `from` to `type`.
com::Error ImplicitConversionError(const std::string& from, const std::string& type);
// 529: no conversion at all from `from` to `type`.
com::Error ExplicitConversionError(const std::string& from, const std::string& type);

}  // namespace dts
