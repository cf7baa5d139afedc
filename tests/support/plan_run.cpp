#include "tests/support/plan_run.h"

#include <gtest/gtest.h>

#include "library/interface/report_sink.h"
#include "platform/com/error.h"
#include "platform/com/object.h"
#include "tests/support/fault_injection.h"
#include "tests/support/reports.h"

namespace testing_support {
namespace {

class Observer final : public dts::PackageEvents {
 public:
  Observer(dts::Package& package, PlanOutcome& outcome) : package_(package), outcome_(outcome) {}
  void OnStart(const std::string& source) override { outcome_.started.push_back(source); }
  void OnFinish(const std::string& source) override { Keep(source); }
  void OnError(const std::string& source, std::int32_t, const std::string&, const std::string&, const std::string&,
               std::int32_t, const std::string&, bool&) override {
    Keep(source);
  }

 private:
  void Keep(const std::string& source) {
    for (const auto& step : package_.Steps()) {
      if (step->GetText("Description") == source) outcome_.statistics[step->Name()] = step->statistics();
    }
  }
  dts::Package& package_;
  PlanOutcome& outcome_;
};

}  // namespace

std::shared_ptr<korvel::IPackage> CreatePlan(const std::string& class_name) {
  return com::QueryInterface<korvel::IPackage>(com::CreateObject("Korvel." + class_name), class_name);
}

void FillDescriptors(korvel::CConnection& source, korvel::CConnection& destination, const std::string& file,
                     const std::string& server, const std::string& database) {
  source.Provider = "Microsoft.Jet.OLEDB.4.0";
  source.DataSource = file;
  source.InitialCatalog = file;
  source.IsNT = "False";
  destination.Provider = "SQLOLEDB";
  destination.DataSource = server;
  destination.InitialCatalog = database;
  destination.UserID = "sa";
  destination.Password = EmbeddedShop::kPassword;
  destination.IsNT = "False";
}

std::shared_ptr<dts::Package> BuiltPackage(const EmbeddedShop& shop, const std::string& class_name,
                                           const std::string& source) {
  auto plan = CreatePlan(class_name);
  korvel::CConnection src, dst;
  FillDescriptors(src, dst, source, shop.server, EmbeddedShop::kDatabase);
  plan->KorvelInit(src, dst);
  return plan->GetPackage();
}

namespace {

PlanOutcome RunObserved(const korvel::CConnection& destination, const std::string& class_name,
                        const std::string& source, dts::PackageEvents* also);

}  // namespace

PlanOutcome RunPlan(const EmbeddedShop& shop, const std::string& class_name, const std::string& source) {
  korvel::CConnection src, dst;
  FillDescriptors(src, dst, source, shop.server, EmbeddedShop::kDatabase);
  return RunObserved(dst, class_name, source, nullptr);
}

PlanOutcome RunPlan(const EmbeddedShop& shop, const std::string& class_name, const std::string& source,
                    dts::PackageEvents& also) {
  korvel::CConnection src, dst;
  FillDescriptors(src, dst, source, shop.server, EmbeddedShop::kDatabase);
  return RunObserved(dst, class_name, source, &also);
}

PlanOutcome RunPlanInto(const korvel::CConnection& destination, const std::string& class_name,
                        const std::string& source) {
  return RunObserved(destination, class_name, source, nullptr);
}

namespace {

PlanOutcome RunObserved(const korvel::CConnection& destination, const std::string& class_name,
                        const std::string& source, dts::PackageEvents* also) {
  PlanOutcome outcome;
  auto sink = std::make_shared<RecordingSink>();
  korvel::ScopedReportSink installed(sink);
  auto plan = CreatePlan(class_name);
  korvel::CConnection src, unused;
  FillDescriptors(src, unused, source, "", "");
  korvel::CConnection dst;  // the plan's own copy, as the wizard lends its descriptors
  dst.Provider = destination.Provider;
  dst.DataSource = destination.DataSource;
  dst.InitialCatalog = destination.InitialCatalog;
  dst.UserID = destination.UserID;
  dst.Password = destination.Password;
  dst.IsNT = destination.IsNT;
  dst.ConnectionString = destination.ConnectionString;
  plan->KorvelInit(src, dst);
  auto package = plan->GetPackage();
  Observer observer(*package, outcome);
  dts::EventLink link(package, &observer);
  dts::EventLink also_link;
  if (also) also_link = dts::EventLink(package, also);
  try {
    plan->KorvelExec();
  } catch (const com::Error& e) {
    outcome.error = e.description();
    outcome.error_number = e.number();
  }
  outcome.reports = sink->reports;
  return outcome;
}

}  // namespace

void RunWithAFaultAtEachStep(const EmbeddedShop& shop, const std::string& class_name, const std::string& source,
                             const std::vector<int>& run_order, const std::function<void(std::size_t)>& prepare,
                             const std::function<void(std::size_t, const PlanOutcome&)>& check) {
  // Reports name a step by its Name; events by its Description, which one
  // plan ends with a space.
  std::vector<std::string> names, descriptions;
  const auto package = BuiltPackage(shop, class_name, source);
  for (const auto& step : package->Steps()) {
    names.push_back(step->Name());
    descriptions.push_back(step->GetText("Description"));
  }
  ASSERT_EQ(run_order.size(), names.size()) << class_name;
  for (std::size_t n = 1; n <= run_order.size(); ++n) {
    SCOPED_TRACE(class_name + ", fault at the step run " + std::to_string(n) + "th");
    prepare(n);
    FaultInjection fault("SQLOLEDB", static_cast<int>(n));
    const PlanOutcome run = RunPlan(shop, class_name, source);
    const auto failing = static_cast<std::size_t>(run_order[n - 1] - 1);
    EXPECT_EQ(run.error_number, dts::kErrPackageFailed) << run.error;
    ASSERT_EQ(run.reports.size(), 1u);
    EXPECT_EQ(run.reports[0].rfind(names[failing] + " failed\r\nFaultInjection\r\n", 0), 0u) << run.reports[0];
    EXPECT_NE(run.reports[0].find(FaultInjection::kDescription), std::string::npos);
    ASSERT_EQ(run.started.size(), n);
    EXPECT_EQ(run.started.back(), descriptions[failing]);
    EXPECT_EQ(fault.operations(), static_cast<int>(n));
    check(n, run);
  }
}

void ExpectAFaultAtAnyStepToChangeNothing(const EmbeddedShop& shop, const std::string& class_name,
                                          const std::string& other, const std::vector<int>& run_order) {
  ASSERT_EQ(RunPlan(shop, class_name, shop.source).error, "") << class_name;
  const auto before = shop.Snapshot();
  RunWithAFaultAtEachStep(
      shop, class_name, other, run_order, [](std::size_t) {},
      [&](std::size_t, const PlanOutcome&) { EXPECT_EQ(shop.Snapshot(), before); });
  ASSERT_EQ(RunPlan(shop, class_name, other).error, "");
  EXPECT_NE(shop.Snapshot(), before);
}

}  // namespace testing_support
