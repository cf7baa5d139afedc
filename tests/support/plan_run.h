// Running a plan of the library as the wizard runs it, in the test's own
// process, and keeping what the run showed.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "library/interface/cconnection.h"
#include "library/interface/ipackage.h"
#include "platform/dts/model.h"
#include "tests/support/shop.h"

namespace testing_support {

// The plan created by its ProgID "Korvel." + class name.
std::shared_ptr<korvel::IPackage> CreatePlan(const std::string& class_name);

// The two descriptors as the wizard hands them to a plan: a Jet source file
// and a destination server, login sa with the shop's password.
void FillDescriptors(korvel::CConnection& source, korvel::CConnection& destination, const std::string& file,
                     const std::string& server, const std::string& database);

struct PlanOutcome {
  std::string error;               // what KorvelExec raised, "" when it returned
  std::int32_t error_number = 0;
  std::vector<std::string> started;  // the steps' EventSources, in the order they started
  std::vector<std::string> reports;  // the failed-step reports, in order
  std::map<std::string, dts::StepStatistics> statistics;  // by step Name, for the steps that ran
};

// The package the plan builds for `source` and the shop's Sales60, not run.
std::shared_ptr<dts::Package> BuiltPackage(const EmbeddedShop& shop, const std::string& class_name,
                                           const std::string& source);

// Builds and runs the plan from `source` into the shop's Sales60.
PlanOutcome RunPlan(const EmbeddedShop& shop, const std::string& class_name, const std::string& source);
// The same, with `also` subscribed to the package's events for the run (to
// act at a step's start, progress or end).
PlanOutcome RunPlan(const EmbeddedShop& shop, const std::string& class_name, const std::string& source,
                    dts::PackageEvents& also);
// Builds and runs the plan from `source` into the destination a
// descriptor names (Provider "SQLOLEDB", any server, login and database).
PlanOutcome RunPlanInto(const korvel::CConnection& destination, const std::string& class_name,
                        const std::string& source);

// Runs the plan from `source` once for each of its steps with a fault
// injected at the destination driver at the n-th step to run (`run_order`
// lists the step numbers in the order they run), and checks that the run
// failed with one report, for that step, and that no later step started.
// Before each run `prepare(n)` readies the destination; after it
// `check(n, outcome)` checks what the run left.
void RunWithAFaultAtEachStep(const EmbeddedShop& shop, const std::string& class_name, const std::string& source,
                             const std::vector<int>& run_order, const std::function<void(std::size_t)>& prepare,
                             const std::function<void(std::size_t, const PlanOutcome&)>& check);

// Fills the shop's destination with the plan from its own source, then runs
// the plan from `other` with a fault at each step in turn and expects every
// table as it was after each; finally runs from `other` without a fault
// and expects a change, so that the faulted runs could have shown one.
void ExpectAFaultAtAnyStepToChangeNothing(const EmbeddedShop& shop, const std::string& class_name,
                                          const std::string& other, const std::vector<int>& run_order);

}  // namespace testing_support
