// Result sets on the wire: COLMETADATA describing the columns, then a ROW
// (or, from TDS 7.3 on, an NBCROW when it saves room) per row. Each engine
// column type travels as the TDS type SQL Server uses for it: int types as
// INTN, bit as BITN, money as MONEYN, float and real as FLTN, decimal and
// numeric as DECIMALN with their precision and scale (the exact value: a
// sign byte and the little-endian magnitude, in 5, 9, 13 or 17 bytes as
// the precision needs), datetime as DATETIMN, varchar and char in the
// server code page (CP936) with its collation, nvarchar and nchar as
// UTF-16, text and ntext as TEXT and NTEXT, uniqueidentifier as GUIDTYPE
// (its 16 bytes, the first three groups little-endian). varchar(max), nvarchar(max)
// and varbinary(max) go from TDS 7.2 on as BIGVARCHR, NVARCHAR and
// BIGVARBIN of length 0xFFFF, each value in PLP chunks (its length in 8
// bytes, chunks of a 4-byte length and their bytes, a chunk of length 0
// to end it; NULL the length 0xFFFFFFFFFFFFFFFF alone); before 7.2, which
// has no PLP, as TEXT, NTEXT and IMAGE.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dts/binary_form.h"
#include "platform/dts/driver.h"
#include "platform/sqlserver/result_column.h"
#include "platform/sqlserver/tds_endpoint/wire.h"

namespace com {
class CodePage;
}

namespace sqlsrv::tds {

struct WireColumn {
  std::string name;
  std::uint8_t type = 0;      // TDS type
  std::uint32_t size = 0;     // the length byte(s) of TYPE_INFO
  std::uint16_t user_type = 0;
  bool nullable = true;
  bool identity = false;
  std::uint8_t precision = 0;  // DECIMALN
  std::uint8_t scale = 0;
  bool plp = false;  // a (max) type: size kPlpSize, values in PLP chunks
  // Browse mode: a column added for its table's key or timestamp, and a
  // column of its table's key (the flags of TDS 7.2 on; COLINFO says it
  // to every version).
  bool hidden = false;
  bool key = false;
};

// The length a (max) type's TYPE_INFO gives.
inline constexpr std::uint32_t kPlpSize = 0xFFFF;

// The wire form of a result's columns, each with its column's nullability
// and identity property.
std::vector<WireColumn> WireColumnsOf(const std::vector<OutputColumn>& columns);

// A column's COLMETADATA flags as SQL Server sets them: fNullable (0x0001)
// when it may hold NULL; an identity column fIdentity (0x0010), any other
// usUpdateable "unknown" (2, 0x0008); fHidden (0x2000) and fKey (0x4000)
// in browse mode.
std::uint16_t ColumnFlags(const WireColumn& c);

class ResultWriter {
 public:
  // Columns as WireColumnsOf describes them; a (max) column goes as TEXT,
  // NTEXT or IMAGE to a client of a version before 7.2.
  ResultWriter(std::vector<WireColumn> columns, std::uint32_t tds_version);
  ~ResultWriter();
  ResultWriter(const ResultWriter&) = delete;
  ResultWriter& operator=(const ResultWriter&) = delete;

  // Writes COLMETADATA. Raises kNotSupported, writing nothing, for a
  // result no client could read: no columns or more than 4096, a decimal's
  // precision outside 1 to 38 or its scale above it, a length its type
  // does not take.
  void WriteColMetadata(Writer& w) const;
  // A column's TYPE_INFO.
  void WriteTypeInfo(Writer& w, const WireColumn& c) const;
  // One row, its values converted to the columns' types.
  void WriteRow(Writer& w, const dts::Row& row);

  // For the columns of a COMPUTE clause's aggregates: ALTMETADATA, the
  // clause's id, its BY columns and each aggregate's operator and operand
  // (result columns counted from 1), then its columns as COLMETADATA
  // describes them. Raises as WriteColMetadata does, writing nothing.
  struct Aggregate {
    std::uint8_t op = 0;        // AOPSUM, AOPAVG ... (AltOperator)
    std::uint16_t operand = 0;
  };
  void WriteAltMetadata(Writer& w, std::uint16_t id, const std::vector<std::uint16_t>& by,
                        const std::vector<Aggregate>& aggregates) const;
  // ALTROW: a compute row of the clause `id`, its values as a ROW's.
  void WriteAltRow(Writer& w, std::uint16_t id, const dts::Row& row);

 private:
  friend void WriteReturnValue(Writer&, std::uint16_t, std::string_view, const ColumnType&, const com::Variant&,
                               std::uint32_t);
  // A column as COLMETADATA and ALTMETADATA describe it: its user type,
  // flags, TYPE_INFO and name.
  void WriteColumnDescription(Writer& w, const WireColumn& c) const;
  void WriteValue(Writer& w, const WireColumn& c, const com::Variant& v);
  void WritePlpValue(Writer& w, const WireColumn& c, const com::Variant& v, bool null);
  // A sql_variant's value after its length: its base type
  // (VariantBaseOfValue), the type's properties and the value
  // (VARIANT_BASETYPE).
  void WriteVariantBody(Writer& w, const com::Variant& v);
  std::vector<WireColumn> columns_;
  std::uint32_t tds_version_;
  std::unique_ptr<com::CodePage> code_page_;
};

// A RETURNVALUE token: an output parameter's value when a call has ended,
// described by the parameter's declared type. `ordinal` counts the call's
// parameters from 0. Raises as WriteColMetadata does, writing nothing.
void WriteReturnValue(Writer& w, std::uint16_t ordinal, std::string_view name, const ColumnType& type,
                      const com::Variant& value, std::uint32_t tds_version);

// The user type COLMETADATA gives a timestamp column.
inline constexpr std::uint16_t kTimestampUserType = 0x0050;

// ALTMETADATA's operator codes of the row aggregates.
enum AltOperator : std::uint8_t {
  kAopStdev = 0x30,
  kAopStdevp = 0x31,
  kAopVar = 0x32,
  kAopVarp = 0x33,
  kAopCount = 0x4B,
  kAopSum = 0x4D,
  kAopAvg = 0x4F,
  kAopMin = 0x51,
  kAopMax = 0x52,
};

// The TDS type codes the server uses.
enum TdsType : std::uint8_t {
  kImage = 0x22,
  kText = 0x23,
  kGuid = 0x24,
  kIntN = 0x26,
  kNText = 0x63,
  kBitN = 0x68,
  kDecimalN = 0x6A,
  kNumericN = 0x6C,
  kFltN = 0x6D,
  kMoneyN = 0x6E,
  kDateTimeN = 0x6F,
  kBigVarBinary = 0xA5,
  kBigVarChar = 0xA7,
  kBigBinary = 0xAD,
  kBigChar = 0xAF,
  kNVarChar = 0xE7,
  kNChar = 0xEF,
  // Fixed-length forms a client may use in a bulk load's column metadata.
  kInt1 = 0x30,
  kBit = 0x32,
  kInt2 = 0x34,
  kInt4 = 0x38,
  kDateTime4 = 0x3A,
  kFlt4 = 0x3B,
  kMoney = 0x3C,
  kDateTime = 0x3D,
  kFlt8 = 0x3E,
  kMoney4 = 0x7A,
  kInt8 = 0x7F,
  kSsVariant = 0x62,  // sql_variant: each value with its base type's description
};

// The most bytes a sql_variant value takes on the wire, as its TYPE_INFO
// gives it.
inline constexpr std::uint32_t kMaxVariantBytes = 8016;

// A datetime's two integers (platform/dts/binary_form.h).
using dts::DateTimeParts;
using dts::OleDateOf;

}  // namespace sqlsrv::tds
