#include "platform/dts/properties.h"

#include <atomic>
#include <limits>

#include "platform/com/error.h"

namespace dts {
namespace {

std::atomic<std::uint64_t> g_sequence{0};

com::Variant Coerce(const ObjectSchema& schema, const PropertySpec& property_def, const com::Variant& v) {
  auto mismatch = [&]() -> com::Error {
    return com::Error(com::kErrTypeMismatch, std::string(schema.kind),
                      "属性 " + std::string(property_def.name) + " 不能取 " +
                          std::string(com::VarTypeName(v.type())) + " 值“" + v.ToText() + "”");
  };
  if (property_def.type == PropType::kVariant) return v;
  if (v.IsNull() || v.IsEmpty()) throw mismatch();
  try {
    switch (property_def.type) {
      case PropType::kBool:
        return com::Variant::Bool(v.ToBool());
      case PropType::kI2: {
        std::int64_t n = v.ToInt64();
        if (n < std::numeric_limits<std::int16_t>::min() || n > std::numeric_limits<std::int16_t>::max()) {
          throw mismatch();
        }
        return com::Variant::I2(static_cast<std::int16_t>(n));
      }
      case PropType::kI4: {
        std::int64_t n = v.ToInt64();
        if (n < std::numeric_limits<std::int32_t>::min() || n > std::numeric_limits<std::int32_t>::max()) {
          throw mismatch();
        }
        return com::Variant::I4(static_cast<std::int32_t>(n));
      }
      case PropType::kText:
        return com::Variant::Text(v.ToText());
      case PropType::kVariant:
        break;
    }
  } catch (const com::Error&) {
    throw mismatch();
  }
  return v;
}

}  // namespace

const PropertySpec* PropertyBag::DefinitionOf(std::string_view name) const {
  for (const auto& p : schema_->props) {
    if (p.name == name) return &p;
  }
  return nullptr;
}

void PropertyBag::Set(std::string_view name, const com::Variant& value) {
  com::Variant stored = value;
  if (!schema_->open) {
    const PropertySpec* property_def = DefinitionOf(name);
    if (!property_def) {
      throw com::Error(com::kErrNoSuchProperty, std::string(schema_->kind),
                       "对象 " + std::string(schema_->kind) + " 不支持属性 " + std::string(name));
    }
    stored = Coerce(*schema_, *property_def, value);
  }
  for (auto& e : entries_) {
    if (e.name == name) {
      e.value = std::move(stored);
      return;
    }
  }
  entries_.push_back({std::string(name), std::move(stored), g_sequence.fetch_add(1)});
}

const com::Variant* PropertyBag::Find(std::string_view name) const {
  for (const auto& e : entries_) {
    if (e.name == name) return &e.value;
  }
  return nullptr;
}

com::Variant PropertyBag::Get(std::string_view name) const {
  if (const com::Variant* v = Find(name)) return *v;
  if (const PropertySpec* property_def = DefinitionOf(name)) return property_def->default_value;
  return com::Variant();
}

std::int32_t PropertyBag::GetLong(std::string_view name) const {
  return static_cast<std::int32_t>(Get(name).ToInt64());
}

}  // namespace dts
