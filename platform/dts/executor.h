// Running a package: the executor behind Package::Execute, and its rules.
//
// Steps run one at a time on the calling thread, which honours any
// MaxConcurrentSteps. The next step is the lowest-numbered waiting step,
// not disabled, whose every precedence constraint is met: basis 1
// (execution result) is met when the named step has completed with that
// result, basis 0 (execution status) when the named step has that status.
// A step whose constraints can no longer be met never starts. The initial
// ExecutionStatus a plan sets is kept as a property and does not affect
// the run: every step starts out waiting.
//
// Events: OnQueryCancel before each step, OnStart when it starts,
// OnProgress from the task, then OnFinish when it succeeded or OnError when
// it failed. EventSource is the step's Description.
//
// Failure: a failed step records ExecutionResult 1 and its error. When the
// package has FailOnError or the step has FailPackageOnError, no further
// step starts; otherwise steps that do not wait on the failed one go on.
// However the run ends, Execute raises kErrPackageFailed if any step failed,
// so a run with a failed step never looks like a success.
//
// Transactions: with UseTransaction, a step with JoinTransactionIfPresent
// does its work inside the package transaction, begun when the first such
// step starts; each connection it touches is enlisted on first use. A
// joined step that fails with RollbackFailure rolls the transaction back;
// one that succeeds with CommitSuccess commits it. When the package ends,
// an open transaction commits if no step failed, nothing was cancelled and
// AutoCommitTransaction is set, and rolls back otherwise. A step that does
// not join works on separate sessions, outside the transaction. Such a step
// after joined steps cannot use what they changed until the transaction
// ends: its sessions wait for the locks at most the driver's lock timeout
// (driver.h) and then fail with 1222; the step's error then says why.
//
// Sources: a connection is opened once per run. The first session of a
// connection whose driver can share it (Session::Share: a source file) is
// kept to the end of the run, and every later session of that connection,
// in the transaction or out of it, is shared from it, so every step reads
// the file the run first opened. Before the package transaction commits,
// every such source is asked whether it is still what it was when opened
// (Session::VerifyUnchanged); if not, nothing commits: the transaction
// rolls back and the run fails with the source's error. A step that fails
// while a source has changed fails with the source's error too, its own
// after it, since the change explains what it met.
#pragma once

#include "platform/dts/model.h"

namespace dts {

// Runs the package to its end by the rules above, on the calling thread.
// Package::Execute calls it (and refuses a package already running); it
// returns and raises as Execute says.
void RunPackage(Package& package);

}  // namespace dts
