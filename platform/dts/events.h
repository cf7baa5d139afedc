// The events a package raises while it executes, with the parameters a
// subscriber receives. Every handler has a default that does nothing, so a
// subscriber overrides only what it needs. Handlers run on the thread that
// called Execute. An exception from a handler stops the run as a cancel
// would, and Execute then raises that exception's error.
#pragma once

#include <cstdint>
#include <string>

namespace dts {

class PackageEvents {
 public:
  virtual ~PackageEvents() = default;

  // A step starts; EventSource is the step's Description.
  virtual void OnStart(const std::string& EventSource) { (void)EventSource; }

  // Progress inside a step (a data pump reports every ProgressRowCount rows).
  virtual void OnProgress(const std::string& EventSource, const std::string& ProgressDescription,
                          std::int32_t PercentComplete, std::int32_t ProgressCountLow,
                          std::int32_t ProgressCountHigh) {
    (void)EventSource, (void)ProgressDescription, (void)PercentComplete, (void)ProgressCountLow,
        (void)ProgressCountHigh;
  }

  // A step finished with success. A failed step raises OnError instead.
  virtual void OnFinish(const std::string& EventSource) { (void)EventSource; }

  // A step failed (or the package failed outside any step, with the
  // package's Name as EventSource). Setting pbCancel stops the run.
  virtual void OnError(const std::string& EventSource, std::int32_t ErrorCode,
                       const std::string& Source, const std::string& Description,
                       const std::string& HelpFile, std::int32_t HelpContext,
                       const std::string& IDofInterfaceWithError, bool& pbCancel) {
    (void)EventSource, (void)ErrorCode, (void)Source, (void)Description, (void)HelpFile,
        (void)HelpContext, (void)IDofInterfaceWithError, (void)pbCancel;
  }

  // Asked before each step and at each progress point: setting pbCancel
  // stops the run cleanly.
  virtual void OnQueryCancel(const std::string& EventSource, bool& pbCancel) {
    (void)EventSource, (void)pbCancel;
  }
};

}  // namespace dts
