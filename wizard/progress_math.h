// The progress page's figures for a ratio r of finished steps to tasks.
#pragma once

#include <string>

namespace velmora {

// r × 100 rounded to the nearest integer, an exact half to the even one
// (8 tasks, one finished: 12.5 gives 12).
int ProgressBarValue(double r);

// r as a whole percentage, halves rounded away from zero as the platform's
// percent format does ("50%", 1/8 gives "13%").
std::string FormatPercent(double r);

}  // namespace velmora
