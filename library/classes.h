// The classes of the Korvel component library, by ProgID, with their class
// and interface identifiers.
#pragma once

#include <memory>
#include <span>
#include <string_view>

#include "platform/com/object.h"

namespace korvel {

struct ClassEntry {
  std::string_view class_name;  // the ProgID is "Korvel." + class_name
  std::string_view clsid;
  std::string_view iid;
  std::shared_ptr<com::Object> (*create)();
};

inline constexpr std::string_view kLibraryName = "Korvel";
inline constexpr std::string_view kLibraryId = "{DB2A5453-9055-4B8D-A1C3-1E34D3A6C36A}";
inline constexpr std::string_view kIPackageIid = "{0A491B5F-030C-418B-9A41-F8AD80340D70}";

std::span<const ClassEntry> Classes();

}  // namespace korvel
