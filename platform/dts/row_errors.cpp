#include "platform/dts/row_errors.h"

namespace dts {

com::Error NotNullError(const std::string& column, const std::string& table, const std::string& operation) {
  return SqlServerError(515, "Cannot insert the value NULL into column '" + column + "', table '" + table +
                                 "'; column does not allow nulls. " + operation + " fails.");
}

com::Error NotNullError(const std::string& operation) {
  return SqlServerError(
      515, "Cannot insert the value NULL into a column that does not allow nulls. " + operation + " fails.");
}

com::Error DuplicateKeyError(bool primary, const std::string& key_name, const std::string& table) {
  return SqlServerError(2627, "Violation of " + std::string(primary ? "PRIMARY KEY" : "UNIQUE KEY") + " constraint '" +
                                  key_name + "'. Cannot insert duplicate key in object '" + table + "'.");
}

com::Error InsertForeignKeyError(const std::string& fk_name, const std::string& database,
                                 const std::string& parent_table, const std::string& parent_column) {
  return SqlServerError(547, "INSERT statement conflicted with COLUMN FOREIGN KEY constraint '" + fk_name +
                                 "'. The conflict occurred in database '" + database + "', table '" + parent_table +
                                 "', column '" + parent_column + "'.");
}

com::Error TruncationError() { return SqlServerError(8152, "String or binary data would be truncated."); }

com::Error OverflowError(const std::string& type, const std::string& value) {
  return SqlServerError(220, "Arithmetic overflow error for data type " + type + ", value = " + value + ".");
}

com::Error ConvertOverflowError(const std::string& type, const std::string& what) {
  return SqlServerError(8115, "Arithmetic overflow error converting " + what + " to data type " + type + ".");
}

com::Error NumericConversionError(const std::string& from) {
  return SqlServerError(8114, "Error converting data type " + from + " to numeric.");
}

com::Error ConversionError(const std::string& from, const std::string& value, const std::string& type) {
  return SqlServerError(
      245, "Syntax error converting the " + from + " value '" + value + "' to a column of data type " + type + ".");
}

com::Error MoneySyntaxError() {
  return SqlServerError(235, "Cannot convert a char value to money. The char value has incorrect syntax.");
}

com::Error GuidConversionError() {
  return SqlServerError(8169, "Conversion failed when converting from a character string to uniqueidentifier.");
}
com::Error DateSyntaxError() { return SqlServerError(241, "Syntax error converting datetime from character string."); }

com::Error DateRangeError(const std::string& from) {
  if (from.empty())
    return SqlServerError(242, "Arithmetic overflow error converting expression to data type datetime.");
  return SqlServerError(242, "The conversion of a " + from +
                                 " data type to a datetime data type resulted in an out-of-range datetime value.");
}

com::Error ImplicitConversionError(const std::string& from, const std::string& type) {
  return SqlServerError(257, "Implicit conversion from data type " + from + " to " + type +
                                 " is not allowed. Use the CONVERT function to run this query.");
}

com::Error ExplicitConversionError(const std::string& from, const std::string& type) {
  return SqlServerError(529, "Explicit conversion from data type " + from + " to " + type + " is not allowed.");
}

}  // namespace dts
