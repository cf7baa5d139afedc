// The column types of the embedded server and how values are stored.
//
// Storage in SQLite: integer types and bit as INTEGER; money as INTEGER
// counting 1/10000 (exact, as SQL Server keeps it); float and real as
// REAL; datetime as TEXT "YYYY-MM-DD HH:MM:SS.mmm" (sorts and compares
// as text, milliseconds on SQL Server's 1/300 s ticks); character types as
// TEXT in UTF-8 with the server collation (case-insensitive, trailing
// blanks ignored). varchar lengths count bytes in the server code page
// (CP936), nvarchar lengths UTF-16 units, as SQL Server counts them.
// binary, varbinary and image as BLOB, the bytes as they are (binary(n)
// padded to n with zero bytes). uniqueidentifier as TEXT, the GUID in
// upper case ("6F9619FF-8B86-D011-B42D-00C04FC964FF"), declared with the
// collation VKGUID, which orders two GUIDs as SQL Server does: by the
// bytes of the last group first, then the fourth, third, second and first
// group, each group's bytes in the order the GUID's binary form keeps them
// (platform/dts/convert.h). timestamp (rowversion) as binary(8): the
// 8 bytes, most significant first, of the database's counter (@@DBTS)
// when the row was last inserted or updated.
//
// decimal(p, s) and numeric(p, s) are stored exactly, as TEXT: the
// value's canonical decimal text at the column's scale ("-12.50", "0.05";
// platform/com/numeric.h), declared with the collation VKDEC, which
// compares two such texts as the numbers they are (1.50 equals 1.5, 10
// follows 9.99). Text rather than scaled integers because it holds all 38
// digits in one form, whatever the precision: every decimal value in
// SQLite, a column's or an expression's, is such a text, and the functions
// of translated SQL (sqlite_functions.h) compute on them exactly. The
// collation makes keys, indexes, ORDER BY, GROUP BY, DISTINCT, MIN and MAX
// of decimal columns numeric; the translator adds it where it compares or
// orders decimal expressions. Values stored in a decimal column are always
// of its scale, so equal values are equal texts in it.
//
// sql_variant as TEXT "<base type>:<value>", declared with the collation
// VKVAR: the base type as SQL Server writes it ("int", "decimal(10,2)",
// "nvarchar(20)"), a colon, then the value as its base type stores it:
// integers, bit and money (in 1/10000) in decimal digits, float and real
// with every digit they need, dates, decimals, GUIDs and text as their
// stored text, binary data in upper-case hexadecimal. VKVAR orders two
// such values as SQL Server orders sql_variant: by the family of their
// base types first (dates above approximate numbers above exact numbers
// above character data above binary data above GUIDs), then by value,
// character data in the server collation.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/com/variant.h"
#include "platform/dts/driver.h"
#include "platform/sqlserver/frontend/ast.h"

namespace sqlsrv {

enum class SqlType {
  kBit, kTinyInt, kSmallInt, kInt, kBigInt,
  kMoney, kSmallMoney,
  kFloat, kReal, kDecimal,
  kDateTime, kSmallDateTime,
  kChar, kVarChar, kNChar, kNVarChar, kText, kNText,
  kBinary, kVarBinary, kImage,
  kUniqueIdentifier,
  kTimestamp,  // timestamp (rowversion): binary(8) the server sets
  kSqlVariant,  // sql_variant: a value that keeps its base type
};

struct ColumnType {
  SqlType type = SqlType::kInt;
  int length = 0;  // characters / bytes for character and binary types; -1 for text, ntext, image and (max)
  int precision = 0;     // decimal: digits in all, 1 to 38
  int scale = 0;         // decimal: digits after the point, 0 to precision
  bool numeric = false;  // decimal declared as numeric, the name SQL Server keeps for it
};

// The precision and scale of a decimal value.
struct DecimalType {
  int precision = 18;
  int scale = 0;
};

// decimal(precision, scale) as a column type.
ColumnType DecimalColumnType(DecimalType t);
// The decimal(p, s) a value of a column type has, or takes beside a
// decimal in an expression: its own for decimal; bit (1,0), tinyint
// (3,0), smallint (5,0), int (10,0), bigint (19,0), smallmoney (10,4),
// money (19,4); nullopt for the other types.
std::optional<DecimalType> DecimalTypeOf(const ColumnType& t);
// The type of a decimal constant as written ("1.25" is decimal(3,2), ".5"
// decimal(1,1)): as many digits as it has after its integer part's leading
// zeros.
DecimalType DecimalTypeOfConstant(std::string_view text);
// SQL Server's type of `a op b` (op one of + - * / %) when the result is
// decimal: the documented precision and scale of each operator, brought to
// at most 38 digits by taking digits from the scale (for * and /, keeping
// at least 6 when the integer part needs 32 digits or more).
DecimalType DecimalResultType(char op, DecimalType a, DecimalType b);
// The type two decimals share as the values of one CASE or COALESCE.
DecimalType DecimalCommonType(DecimalType a, DecimalType b);
// SUM of a decimal: decimal(38, s); AVG: decimal(38, max(s, 6)).
DecimalType DecimalSumType(DecimalType t);
DecimalType DecimalAvgType(DecimalType t);

// The server's code page for varchar, char and text.
inline constexpr std::uint16_t kServerCodePageNumber = 936;

// Resolves a declared type; raises (2715 "Column or parameter #: Cannot
// find data type x.") for an unknown type or a bad length.
ColumnType ResolveType(const ast::TypeName& t);
// The type of a variable or parameter: as ResolveType, and also the date
// and time types of later servers (date, time, datetime2, datetimeoffset),
// which clients of TDS 7.3 and later declare for their parameters; they
// are held as datetime, the server's one type of date and time.
ColumnType ResolveValueType(const ast::TypeName& t);
// "nvarchar(50)", "money", "decimal(10,2)" ... as SQL Server writes it.
std::string TypeDisplayName(const ColumnType& t);
// The same without the length: "nvarchar", "money", "numeric".
std::string TypeBaseName(const ColumnType& t);
// The SQLite column declaration for a type.
std::string SqliteDeclaration(const ColumnType& t);
// The OLE DB type indicator a column of this type reports.
std::uint16_t OleDbType(const ColumnType& t);

bool IsIntegerType(SqlType t);
bool IsMoneyType(SqlType t);
bool IsFloatType(SqlType t);  // float and real
bool IsDateType(SqlType t);
bool IsCharType(SqlType t);
bool IsUnicodeType(SqlType t);
bool IsBinaryType(SqlType t);  // binary, varbinary, image, timestamp

// A value as SQLite stores it.
struct Stored {
  enum Kind { kNull, kInteger, kReal, kText, kBlob } kind = kNull;
  std::int64_t i = 0;
  double r = 0;
  std::string s;  // text, or a blob's bytes
};

// Converts a value into the storage of a column type, by the rules every
// destination shares (platform/dts/convert.h): raises SQL Server's
// conversion errors, 8152 for text too long for the column, and replaces
// characters the server code page cannot hold by '?'.
void ToStored(const com::Variant& v, const ColumnType& t, Stored* out);
// The same, for a column type already described by ValueInfo.
void ToStored(const com::Variant& v, const dts::ColumnInfo& info, Stored* out);

// As a variable or parameter takes a value: converted as ToStored converts
// it, except that text too long for the type is cut to fit, as SQL Server
// cuts it for variables and parameters (8152 is a column's error only).
void ToStoredCut(const com::Variant& v, const ColumnType& t, Stored* out);

// The type as a bulk load and the conversion rules describe it.
dts::ColumnInfo ValueInfo(const ColumnType& t);

// A timestamp column's value for a count of the database's counter: its 8
// bytes, most significant first.
std::string TimestampBytes(std::uint64_t count);

// Reads a stored value back as a typed Variant for a column type.
com::Variant FromStoredInteger(std::int64_t v, const ColumnType& t);
com::Variant FromStoredReal(double v, const ColumnType& t);
com::Variant FromStoredText(std::string_view v, const ColumnType& t);
com::Variant FromStoredBlob(std::string_view v, const ColumnType& t);
// Any stored value of a type, NULL included.
com::Variant FromStored(const Stored& v, const ColumnType& t);

// sql_variant: a value of a base type in its stored text (see above), and
// back. The base types sql_variant holds are those but text, ntext, image,
// timestamp, the (max) types and sql_variant itself.
std::string VariantText(const ColumnType& base, const Stored& value);
// False when `text` is not such a text.
bool ParseVariantText(std::string_view text, ColumnType* base, Stored* value);
// Whether a type can be a sql_variant's base type.
bool IsVariantBaseType(const ColumnType& t);
// The base type a typed value takes in a sql_variant: the one its source
// type code gives (VariantBaseCode), when it has one; else I4 int, I2
// smallint, UI1 tinyint, I8 bigint, Bool bit, R4 real, R8 float, Currency
// money, Date datetime, Decimal decimal(p,s) of its digits, Text nvarchar
// of its length, Bytes varbinary of its length.
ColumnType VariantBaseOfValue(const com::Variant& v);
// A sql_variant's base type as a Variant's source type code, which a value
// read from a sql_variant carries (FromStored, a client's sql_variant) so
// that its base type reaches where the value goes; and back (nullopt for a
// code that is no base type's).
std::uint32_t VariantBaseCode(const ColumnType& base);
std::optional<ColumnType> VariantBaseOfCode(std::uint32_t code);

// A base type of sql_variant as TDS sends it in a value (VARIANT_BASETYPE)
// and as SQL_VARIANT_PROPERTY describes it.
struct VariantWire {
  std::uint8_t tds_type = 0;  // the TDS type byte
  int property_bytes = 0;     // bytes of its properties after the type: 2 for decimal and binary, 7 for text
  int precision = 0;          // digits of a number; 23 datetime, 16 smalldatetime; 0 else
  int scale = 0;              // digits after the point: decimal's, 4 money, 3 datetime; 0 else
  int max_length = 0;         // bytes of the type's longest value (nvarchar(50): 100)
};
VariantWire VariantWireOf(const ColumnType& base);
// The base type a sql_variant's value on the wire names: its TDS type, and
// the declared length in bytes, precision and scale its properties give;
// nullopt for a type that is no base type here (the dates of TDS 7.3).
std::optional<ColumnType> VariantBaseOfWire(std::uint8_t tds_type, int max_length, int precision, int scale);

// Datetime text: the canonical stored form of an automation date, rounded to
// SQL Server's ticks; nullopt when out of the datetime range (1753..9999).
std::optional<std::string> DateTimeText(double ole_date);
// Parses the date forms SQL Server accepts in literals ("2007-01-23",
// "2007-01-23 10:20:30.123", "20070123", "2007/01/23"); nullopt otherwise.
std::optional<std::string> ParseDateTimeText(std::string_view text);
double OleDateFromText(std::string_view canonical);
// The current local time as stored text.
std::string NowText();
// The current time in UTC as stored text.
std::string UtcNowText();


}  // namespace sqlsrv
