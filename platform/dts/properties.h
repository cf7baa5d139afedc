// Named, typed, ordered properties of the package object model.
//
// Each kind of object has a property schema (property_schema.h): the
// property names it supports and the type each holds. Setting a property
// coerces the value to that type, as the automation runtime does; a Variant
// property keeps the value exactly as handed (FirstRow as the 2-byte
// integer 0 stays apart from the text "0").
// Properties are remembered in the order they were first set.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/variant.h"

namespace dts {

enum class PropType { kBool, kI2, kI4, kText, kVariant };

struct PropertySpec {
  std::string_view name;
  PropType type;
  com::Variant default_value;  // what a reader gets before it is set
};

struct ObjectSchema {
  std::string_view kind;                // "Package", "Step", ... for messages
  std::span<const PropertySpec> props;  // empty and open: any name, Variant
  bool open = false;
};

struct PropertyEntry {
  std::string name;
  com::Variant value;
  std::uint64_t sequence;  // when it was first set, across all bags
};

class PropertyBag {
 public:
  explicit PropertyBag(const ObjectSchema* schema) : schema_(schema) {}

  // Sets a property. Raises com::Error when the schema does not know the
  // name (number 438) or the value cannot take the property's type (13).
  void Set(std::string_view name, const com::Variant& value);

  // The value as set, or null when it was never set.
  const com::Variant* Find(std::string_view name) const;
  // The value as set, else the schema's default (empty for open bags).
  com::Variant Get(std::string_view name) const;
  bool GetBool(std::string_view name) const { return Get(name).ToBool(); }
  std::int32_t GetLong(std::string_view name) const;
  std::string GetText(std::string_view name) const { return Get(name).ToText(); }

  const std::vector<PropertyEntry>& entries() const { return entries_; }
  const ObjectSchema& schema() const { return *schema_; }
  void Clear() { entries_.clear(); }

 private:
  const PropertySpec* DefinitionOf(std::string_view name) const;

  const ObjectSchema* schema_;
  std::vector<PropertyEntry> entries_;
};

}  // namespace dts
