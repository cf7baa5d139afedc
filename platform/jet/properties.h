// The properties Access keeps for an object beside its definition, in the
// LvProp column of the catalog: for a table, its own and its columns'
// (Required, DefaultValue, Description, ...). The blob starts "MR2\0" in
// Jet 4 and "KKD\0" in Jet 3; then chunks, each its length and type: one
// of names (0x80), and one of values for each owner (0x00 the object, 0x01
// a column), which names its owner and holds entries of length, DDL flag,
// data type, name index and value.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/jet/header.h"

namespace jet {

struct Property {
  std::string owner;  // the column's name; empty for the object itself
  std::string name;
  std::uint8_t type = 0;  // 1 Yes/No, 2 Byte, 3 Integer, 4 Long, 10 Text, ...
  std::string value;      // as stored
};

// The properties of `blob` (empty: none). Names are UTF-16 in Jet 4 and in
// `codepage` in Jet 3. Raises kErrNotJetDatabase, naming `object` and
// `path`, for a blob that is not one or does not hold together.
std::vector<Property> ParseProperties(std::string_view blob, Version version, const std::string& codepage,
                                      std::string_view object, const std::string& path);

// The value of a Yes/No property of `owner` (names without regard to
// case); `otherwise` when it has none.
bool BooleanProperty(const std::vector<Property>& properties, std::string_view owner, std::string_view name,
                     bool otherwise);

}  // namespace jet
