#include "library/builder/plan_base.h"

#include <cstdint>
#include <optional>

#include "library/interface/report_sink.h"
#include "platform/com/error.h"

namespace korvel::builder {

void PlanBase::KorvelInit(CConnection& SourceConn, CConnection& DestinationConn) {
  if (!goPackageOld) goPackageOld = dts::Package::Create();
  goPackage = goPackageOld;
  const Names names(DestinationConn.InitialCatalog);
  Build(*goPackage, SourceConn, DestinationConn, names);
}

void PlanBase::KorvelExec() {
  if (!goPackage) {
    throw com::Error(91, "Korvel", "没有可执行的包：请先调用 KorvelInit，且每个方案只能执行一次");
  }
  std::optional<com::Error> outcome;
  try {
    goPackage->Execute();
  } catch (const com::Error& e) {
    if (!dts::IsPackageOutcome(e)) throw;
    outcome = com::Error(e.number(), e.source(), e.description() + CommittedWorkNote(*goPackage));
  }
  tracePackageError(*goPackage);
  goPackage->UnInitialize();
  goPackage.reset();
  goPackageOld.reset();
  if (outcome) throw *outcome;
}

std::string FailedStepReport(const dts::Step& step) {
  std::int32_t code = 0, help_context = 0;
  std::string source, description, help_file, iid;
  step.GetExecutionErrorInfo(&code, &source, &description, &help_file, &help_context, &iid);
  return step.Name() + " failed" + "\r\n" + source + "\r\n" + description;
}

void PlanBase::tracePackageError(dts::Package& oPackage) {
  const auto count = static_cast<std::int16_t>(oPackage.Steps().Count());
  auto sink = CurrentReportSink();
  for (std::int16_t i = 1; i <= count; ++i) {
    const dts::Step& step = oPackage.Steps().Item(i);
    if (step.ExecutionResult() == dts::kStepFailure) sink->ShowReport(FailedStepReport(step));
  }
}

}  // namespace korvel::builder
