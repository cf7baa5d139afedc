// What every plan class does alike: build its package in KorvelInit, run
// and report on it in KorvelExec, hand it out in GetPackage, and report
// each failed step in tracePackageError. A plan supplies only Build.
#pragma once

#include <memory>

#include "library/builder/names.h"
#include "library/interface/ipackage.h"

namespace korvel::builder {

class PlanBase : public IPackage {
 public:
  // The package, and the same package through its extended interface: one
  // object here. Both are set by KorvelInit and cleared by KorvelExec.
  std::shared_ptr<dts::Package> goPackageOld;
  std::shared_ptr<dts::Package> goPackage;

  // Creates the package (unless one is held), reads D from the destination
  // descriptor's InitialCatalog, then calls Build. An error leaves what was
  // built in the package and goes to the caller.
  void KorvelInit(CConnection& SourceConn, CConnection& DestinationConn) final;

  // Executes the package, shows one report per failed step (through the
  // sink its caller installed, report_sink.h), uninitialises and drops the
  // package. When steps failed or the run was cancelled, it raises the
  // package's outcome error after the reports. Any other error of Execute
  // goes to the caller at once, with the package still held.
  void KorvelExec() final;

  std::shared_ptr<dts::Package> GetPackage() final { return goPackage; }

  // One report per failed step, in step order: the step's Name, " failed",
  // "\r\n", the error source, "\r\n", the error description. Each goes to
  // CurrentReportSink(), read once: the sink installed for the run.
  void tracePackageError(dts::Package& oPackage);

 protected:
  // Builds the whole package: package table, connections, steps,
  // constraints, then the tasks in number order.
  virtual void Build(dts::Package& package, const CConnection& source, const CConnection& destination,
                     const Names& names) = 0;

  // After a failed run: what the plan adds to the error about work that
  // stays committed ("" for nothing).
  virtual std::string CommittedWorkNote(const dts::Package& package) const {
    (void)package;
    return "";
  }
};

// The text of one failed-step report.
std::string FailedStepReport(const dts::Step& step);

}  // namespace korvel::builder
