// Pieces of the data pump that are worth knowing from outside: the one kind
// of transformation script the runtime runs without a script host.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dts {

// The assignments of a VBScript column-copy script: a Main function whose
// statements are only
//     DTSDestination("X") = DTSSource("Y")
// followed by
//     Main = DTSTransformStat_OK
// with comment lines (starting with ') around them. Returns the
// (destination, source) pairs in order; raises com::Error naming the first
// line that is anything else.
std::vector<std::pair<std::string, std::string>> ParseCopyScript(std::string_view text);

}  // namespace dts
