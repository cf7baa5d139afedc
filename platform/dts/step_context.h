// What a running task sees of the executor: the sessions of the package's
// connections, progress and cancel, and the step's statistics.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dts/driver.h"
#include "platform/dts/model.h"

namespace dts {

class StepContext {
 public:
  virtual ~StepContext() = default;

  // The open session of the package connection with that ID. A step that
  // joins the package transaction gets a session enlisted in it; any other
  // step a session outside it. Raises when the package has no such
  // connection or the driver cannot connect.
  virtual Session& SessionFor(std::int32_t connection_id) = 0;

  // Raises OnProgress for the running step, then asks OnQueryCancel;
  // raises the cancel error when a subscriber cancels.
  virtual void Progress(const std::string& description, std::int32_t percent, std::int64_t count) = 0;
  // Asks OnQueryCancel only; raises the cancel error when cancelled.
  virtual void CheckCancel() = 0;

  virtual StepStatistics& statistics() = 0;
  // The running step's EventSource (its Description).
  virtual const std::string& event_source() const = 0;
};

// What a driver is told of a package connection.
ConnectionSpec ConnectionSpecOf(const Connection& connection);

// The steps as the executor would run them if every step succeeded (the
// steps that would never start left out).
std::vector<const Step*> RunOrderIfAllSucceed(const Package& package);

// The error a cancelled step fails with.
com::Error CancelledError();

// Runs a task by its kind.
void RunTask(StepContext& ctx, const Task& task);
void RunSQLTask(StepContext& ctx, const ExecuteSQLTask& task);
void RunDataPumpTask(StepContext& ctx, const DataPumpTask& task);

}  // namespace dts
