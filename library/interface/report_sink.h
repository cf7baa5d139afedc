// Where a plan's failed-step reports go: the wizard shows each in a message
// box without a title of its own, the command line prints them, tests
// record them. One sink serves the process; by default reports go to
// standard error.
#pragma once

#include <memory>
#include <string>

namespace korvel {

class ReportSink {
 public:
  virtual ~ReportSink();
  // Shows one report; returns when the user has seen it (a modal box).
  virtual void ShowReport(const std::string& text) = 0;
};

std::shared_ptr<ReportSink> CurrentReportSink();
// Installs a sink (null: the default) and returns the one it replaces.
std::shared_ptr<ReportSink> SetReportSink(std::shared_ptr<ReportSink> sink);

// Installs a sink for as long as it lives, then puts back the one it
// replaced.
class ScopedReportSink {
 public:
  explicit ScopedReportSink(std::shared_ptr<ReportSink> sink) : previous_(SetReportSink(std::move(sink))) {}
  ~ScopedReportSink() { SetReportSink(previous_); }
  ScopedReportSink(const ScopedReportSink&) = delete;
  ScopedReportSink& operator=(const ScopedReportSink&) = delete;

 private:
  std::shared_ptr<ReportSink> previous_;
};

}  // namespace korvel
