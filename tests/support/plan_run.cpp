#include "tests/support/plan_run.h"

#include "library/interface/report_sink.h"
#include "platform/com/error.h"
#include "platform/com/object.h"
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

PlanOutcome RunPlan(const EmbeddedShop& shop, const std::string& class_name, const std::string& source) {
  PlanOutcome outcome;
  auto sink = std::make_shared<RecordingSink>();
  korvel::ScopedReportSink installed(sink);
  auto plan = CreatePlan(class_name);
  korvel::CConnection src, dst;
  FillDescriptors(src, dst, source, shop.server, EmbeddedShop::kDatabase);
  plan->KorvelInit(src, dst);
  auto package = plan->GetPackage();
  Observer observer(*package, outcome);
  dts::EventLink link(package, &observer);
  try {
    plan->KorvelExec();
  } catch (const com::Error& e) {
    outcome.error = e.description();
    outcome.error_number = e.number();
  }
  outcome.reports = sink->reports;
  return outcome;
}

}  // namespace testing_support
