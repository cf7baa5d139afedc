// RAISERROR's message: a format in the manner of C's printf, filled with
// the statement's arguments as SQL Server fills it.
//
// A conversion is "%[flags][width][.precision][h|l|I64]type": flags '-'
// (left-aligned), '+' (a sign always), '0' (padded with zeros, not with
// '-'), '#' (0, 0x or 0X before a non-zero octal or hexadecimal value) and
// ' ' (a blank before a positive number); width and precision a number or
// '*', which takes the next argument; type d or i (signed), u (unsigned), o
// (octal), x or X (hexadecimal) for integer arguments, s for text. "%%" is
// a percent sign. A conversion without an argument left, or given NULL,
// reads "(null)". The text is at most 2,047 characters: a longer one keeps
// its first 2,044 and ends in "...".
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/com/variant.h"

namespace sqlsrv {

// One substitution argument: its value and the name of its type ("int",
// "nvarchar", ...; "NULL" for a NULL constant).
struct RaiseArgument {
  com::Variant value;
  std::string type;
};

// The arguments' types are checked first: any but tinyint, smallint, int,
// bigint and the character types raises 2748 (its position counted among
// RAISERROR's parameters, the message first). Then raises 2787 for a
// conversion of an unknown type and 2786 for an argument whose type does
// not suit its conversion (text for %d, a number for %s).
std::string FormatRaiseMessage(std::string_view format, const std::vector<RaiseArgument>& arguments);

}  // namespace sqlsrv
