// What each step of a running package did, kept as the events come, before
// the plan releases its package at the end of KorvelExec. The recorder
// passes every event on to the subscriber it wraps, so a front end keeps
// its own handlers (the progress lines, the window's page) and gets the
// record as well.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "library/assurance/report.h"
#include "platform/dts/events.h"
#include "platform/dts/model.h"

namespace assurance {

class RunRecorder final : public dts::PackageEvents {
 public:
  // `package` must outlive the recorder's events; `next` (may be null)
  // receives every event after the recorder has noted it.
  RunRecorder(dts::Package& package, dts::PackageEvents* next);

  void OnStart(const std::string& EventSource) override;
  void OnProgress(const std::string& EventSource, const std::string& ProgressDescription,
                  std::int32_t PercentComplete, std::int32_t ProgressCountLow,
                  std::int32_t ProgressCountHigh) override;
  void OnFinish(const std::string& EventSource) override;
  void OnError(const std::string& EventSource, std::int32_t ErrorCode, const std::string& Source,
               const std::string& Description, const std::string& HelpFile, std::int32_t HelpContext,
               const std::string& IDofInterfaceWithError, bool& pbCancel) override;
  void OnQueryCancel(const std::string& EventSource, bool& pbCancel) override;

  // Every step: those that ran in the order they ran, then the others in
  // step order.
  std::vector<StepRecord> Steps() const;
  // Whether every step ran and succeeded.
  bool AllSucceeded() const;

 private:
  void Record(const std::string& source, StepRecord::State state);

  dts::Package& package_;
  dts::PackageEvents* next_;
  std::vector<StepRecord> steps_;
  std::vector<std::string> descriptions_;  // each step's Description, its EventSource
  std::vector<std::size_t> ran_;
};

}  // namespace assurance
