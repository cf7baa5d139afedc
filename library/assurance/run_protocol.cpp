#include "library/assurance/run_protocol.h"

#include "library/assurance/run_record.h"

namespace assurance {

RunEnd RunAndReconcile(const std::shared_ptr<dts::Package>& package, const Endpoints& endpoints,
                       dts::PackageEvents* events, const RunHooks& hooks) {
  RunEnd end;
  // What the reconciliation counts, read before the package runs (the plan
  // releases it at the end).
  const ReconcilePlan plan = ReconcilePlanOf(*package);
  // The state the run starts from: should the commit's answer be lost, the
  // evidence of a commit that did not happen. Without it such a run can
  // only be decided by the source.
  std::vector<std::string> before;
  try {
    before = CountDestination(plan, endpoints);
  } catch (const com::Error&) {
    before.clear();
  }
  // The source's side, counted while the run goes on: it reads the file
  // through a handle of its own, and its figures are taken only with the
  // file checked unchanged.
  SourceRecount source(plan, endpoints);
  RunRecorder recorder(*package, events);
  {
    dts::EventLink link(package, &recorder);
    try {
      hooks.execute();
    } catch (const com::Error& e) {
      end.run_error = e;
      end.error = e.description();
    }
  }
  end.steps = recorder.Steps();
  if (hooks.ran) hooks.ran(end.steps);

  if (end.run_error && end.run_error->number() == dts::kErrPackageCommitUnknown) {
    if (hooks.asking_database) hooks.asking_database(*end.run_error);
    end.evidence = DecideCommit(plan, endpoints, before, source);
    end.reconciliation = end.evidence->lines;
    end.error += "\n" + end.evidence->reason;
    switch (end.evidence->outcome) {
      case CommitOutcome::kCommitted: end.outcome = RunOutcome::kSuccess; break;
      case CommitOutcome::kNotCommitted: end.outcome = RunOutcome::kFailed; break;
      case CommitOutcome::kUnknown: end.outcome = RunOutcome::kUnknown; break;
    }
    return end;
  }
  if (end.run_error || !recorder.AllSucceeded()) {
    end.outcome = RunOutcome::kFailed;
    return end;
  }
  // The upgrade is in: whatever fails from here on is said as such.
  try {
    if (hooks.reconciling) hooks.reconciling();
    end.reconciliation = Reconcile(plan, endpoints, source, hooks.reconcile_progress);
  } catch (const com::Error& e) {
    end.outcome = RunOutcome::kUnreconciled;
    end.reconcile_error = e;
    end.error = e.description();
    return end;
  }
  end.outcome = RunOutcome::kSuccess;
  for (const ReconcileLine& line : end.reconciliation) {
    if (!line.match) end.outcome = RunOutcome::kMismatch;
  }
  return end;
}

void RecordRunEnd(const RunEnd& end, Report& report) {
  report.result = end.outcome;
  report.error = end.error;
  report.steps = end.steps;
  report.reconciliation = end.reconciliation;
}

}  // namespace assurance
