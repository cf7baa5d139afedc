// Text at the edge of Windows: its calls take UTF-16; everything above
// them is UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace port {

std::wstring Wide(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);
// A path for the file calls: UTF-16, and an absolute one past the old
// 260-character limit made a long path ("\\?\", which takes backslashes only).
std::wstring LongPath(std::string_view utf8);
// The system's own words for an error code, in UTF-8.
std::string SystemMessage(unsigned long code);

}  // namespace port
