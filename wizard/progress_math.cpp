#include "wizard/progress_math.h"

#include <cmath>

namespace velmora {

// nearbyint rounds in the current rounding mode, which the program never
// changes from round-to-nearest, ties to even.
int ProgressBarValue(double r) { return static_cast<int>(std::nearbyint(r * 100.0)); }

std::string FormatPercent(double r) { return std::to_string(std::llround(r * 100.0)) + "%"; }

}  // namespace velmora
