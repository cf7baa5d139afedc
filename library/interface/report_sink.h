// Where a plan's failed-step reports go: the wizard shows each in a message
// box without a title of its own, the command line prints them, tests
// record them.
//
// KorvelExec takes no arguments (the plan interface), so a plan hands its
// reports to the sink installed for the process when it reports
// (CurrentReportSink; standard error when none is). A sink is installed
// only by a ScopedReportSink, for that object's lifetime. Where a plan
// runs, KorvelExecReportingTo names the sink in the call and installs it
// for exactly the length of KorvelExec.
#pragma once

#include <memory>
#include <string>

namespace korvel {

class IPackage;

class ReportSink {
 public:
  virtual ~ReportSink();
  // Shows one report; returns when the user has seen it (a modal box).
  virtual void ShowReport(const std::string& text) = 0;
};

// The sink installed now, or the default one (standard error).
std::shared_ptr<ReportSink> CurrentReportSink();

// Installs a sink (null: the default) for as long as it lives, then puts
// back the one it replaced. Scopes end in the reverse order of their
// beginning.
class ScopedReportSink {
 public:
  explicit ScopedReportSink(std::shared_ptr<ReportSink> sink);
  ~ScopedReportSink();
  ScopedReportSink(const ScopedReportSink&) = delete;
  ScopedReportSink& operator=(const ScopedReportSink&) = delete;

 private:
  std::shared_ptr<ReportSink> previous_;
};

// Calls plan.KorvelExec() with `reports` installed from its start to its
// end (a ScopedReportSink around the call): every failed-step report of
// the run goes to `reports`, and the sink before is back when this returns
// or raises. Raises what KorvelExec raises.
void KorvelExecReportingTo(IPackage& plan, std::shared_ptr<ReportSink> reports);

}  // namespace korvel
