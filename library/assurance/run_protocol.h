// An upgrade run as both front ends make it, decided in one place: the
// destination counted before the run (should the commit's answer be lost,
// the evidence of a commit that did not happen), the source's side of the
// reconciliation counted while the run goes on, the package run, then a
// lost commit answer decided from the database itself, or a committed run
// reconciled, and the outcome named. The front ends only present it.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "library/assurance/reconcile.h"
#include "library/assurance/report.h"
#include "library/assurance/run_outcome.h"
#include "platform/com/error.h"
#include "platform/dts/events.h"
#include "platform/dts/model.h"

namespace assurance {

// What the run does, and what it tells the front end as it goes; all are
// called on the caller's thread. Only `execute` is required.
struct RunHooks {
  // Runs the package (the plan's KorvelExec); raises the run's error.
  std::function<void()> execute;
  // The package has run: every step as it ended, before anything is decided.
  std::function<void(const std::vector<StepRecord>& steps)> ran;
  // Every step succeeded but the commit's answer was lost (`error`): the
  // database is asked now.
  std::function<void(const com::Error& error)> asking_database;
  // The reconciliation of a committed run begins, and its progress.
  std::function<void()> reconciling;
  ReconcileProgress reconcile_progress;
};

// How the run ended, and what the report takes of it.
struct RunEnd {
  RunOutcome outcome = RunOutcome::kFailed;
  std::vector<StepRecord> steps;              // those that ran in run order, then the others
  std::vector<ReconcileLine> reconciliation;  // the recount, when one was made
  // The report's error: the run's (with what a lost commit answer was
  // found to be), or why the recount could not be made; "" for none.
  std::string error;
  std::optional<com::Error> run_error;        // what the run raised
  std::optional<CommitEvidence> evidence;     // when the commit's answer was lost
  std::optional<com::Error> reconcile_error;  // kUnreconciled: what the recount raised
};

// Runs `package` by `hooks.execute`, its events recorded and passed on to
// `events` (may be null), against the destination and source `endpoints`
// name, and decides the outcome: kFailed when the run raised or a step did
// not succeed (and a lost commit answer was found not committed), kUnknown
// when the database could not tell, kUnreconciled when a committed run
// could not be recounted, kMismatch when the recount differs, kSuccess
// otherwise. The run's own errors are kept in the result, not raised.
RunEnd RunAndReconcile(const std::shared_ptr<dts::Package>& package, const Endpoints& endpoints,
                       dts::PackageEvents* events, const RunHooks& hooks);

// The report's result, error, steps and reconciliation from `end`.
void RecordRunEnd(const RunEnd& end, Report& report);

}  // namespace assurance
