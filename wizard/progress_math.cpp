#include "wizard/progress_math.h"

#include <cmath>

namespace velmora {

int ProgressBarValue(double r) {
  const double v = r * 100.0;
  const double below = std::floor(v);
  const double diff = v - below;
  double rounded;
  if (diff > 0.5) {
    rounded = below + 1;
  } else if (diff < 0.5) {
    rounded = below;
  } else {
    rounded = std::fmod(below, 2.0) == 0.0 ? below : below + 1;
  }
  return static_cast<int>(rounded);
}

std::string FormatPercent(double r) { return std::to_string(std::llround(r * 100.0)) + "%"; }

}  // namespace velmora
