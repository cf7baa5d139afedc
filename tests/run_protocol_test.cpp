// The run protocol both front ends present (library/assurance/run_protocol.h):
// the departments' plan into the embedded shop, its run replaced or followed
// by what goes wrong, and the outcome the protocol names for each.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "library/assurance/run_protocol.h"
#include "library/interface/report_sink.h"
#include "platform/dts/model.h"
#include "tests/support/plan_run.h"
#include "tests/support/reports.h"
#include "tests/support/shop.h"

namespace {

using assurance::RunEnd;
using assurance::RunOutcome;
using testing_support::EmbeddedShop;

// The sample shop has five departments.
constexpr char kDeparts[] = "5";

class RunProtocol : public ::testing::Test {
 protected:
  // Builds the departments' plan and runs the protocol with `execute` in
  // place of the run (handed the plan, to run it or not).
  RunEnd Run(const std::function<void(korvel::IPackage& plan)>& execute) {
    auto plan = testing_support::CreatePlan("C5to6Depart");
    korvel::CConnection source, destination;
    testing_support::FillDescriptors(source, destination, shop.source, shop.server, EmbeddedShop::kDatabase);
    plan->KorvelInit(source, destination);
    assurance::RunHooks hooks;
    hooks.execute = [&] { execute(*plan); };
    hooks.ran = [&](const std::vector<assurance::StepRecord>& steps) {
      said.push_back("ran " + std::to_string(steps.size()));
    };
    hooks.asking_database = [&](const com::Error& e) { said.push_back("asking: " + e.description()); };
    hooks.reconciling = [&] { said.push_back("reconciling"); };
    hooks.reconcile_progress = [&](const std::string& item, std::size_t done, std::size_t total) {
      said.push_back(item + " " + std::to_string(done) + "/" + std::to_string(total));
    };
    const assurance::Endpoints endpoints{
        shop.source, "", shop.server, "sa", EmbeddedShop::kPassword, EmbeddedShop::kDatabase};
    return assurance::RunAndReconcile(plan->GetPackage(), endpoints, nullptr, hooks);
  }

  static void RunIt(korvel::IPackage& plan) {
    korvel::KorvelExecReportingTo(plan, std::make_shared<testing_support::RecordingSink>());
  }

  std::string Departs() const { return shop.Query("select count(*) from Depart").at(0); }
  // Takes one department away from the destination, as a write that went
  // missing would.
  void LoseOneDepart() const {
    shop.Query("delete from Depart where DepID = (select max(DepID) from Depart); select count(*) from Depart");
  }

  static com::Error LostCommitAnswer() {
    return com::Error(dts::kErrPackageCommitUnknown, "test", "提交事务的回答没有收到");
  }

  EmbeddedShop shop;
  std::vector<std::string> said;  // what the hooks were told, in order
};

TEST_F(RunProtocol, ACommittedRunThatReconcilesIsASuccess) {
  const RunEnd end = Run(RunIt);
  EXPECT_EQ(end.outcome, RunOutcome::kSuccess);
  EXPECT_EQ(end.error, "");
  EXPECT_FALSE(end.run_error || end.evidence || end.reconcile_error);
  ASSERT_EQ(end.reconciliation.size(), 1u);
  EXPECT_EQ(end.reconciliation[0].item, "Depart 行数");
  EXPECT_EQ(end.reconciliation[0].source, "5 行");
  EXPECT_TRUE(end.reconciliation[0].match);
  for (const auto& step : end.steps) EXPECT_EQ(step.state, assurance::StepRecord::State::kSucceeded) << step.name;
  EXPECT_EQ(said,
            (std::vector<std::string>{"ran " + std::to_string(end.steps.size()), "reconciling", "Depart 行数 0/1"}));
  // The report takes the outcome and what the run did.
  assurance::Report report;
  assurance::RecordRunEnd(end, report);
  EXPECT_EQ(report.result, RunOutcome::kSuccess);
  EXPECT_EQ(report.steps.size(), end.steps.size());
  EXPECT_EQ(report.reconciliation.size(), 1u);
}

TEST_F(RunProtocol, ACommittedRunWhoseRecountDiffersIsAMismatch) {
  const RunEnd end = Run([&](korvel::IPackage& plan) {
    RunIt(plan);
    LoseOneDepart();
  });
  EXPECT_EQ(end.outcome, RunOutcome::kMismatch);
  ASSERT_EQ(end.reconciliation.size(), 1u);
  EXPECT_EQ(end.reconciliation[0].source, "5 行");
  EXPECT_EQ(end.reconciliation[0].destination, "4 行");
  EXPECT_FALSE(end.reconciliation[0].match);
  EXPECT_EQ(end.error, "");
}

TEST_F(RunProtocol, ACommittedRunThatCannotBeRecountedIsUnreconciled) {
  // The source written after the run read it: its figures are no longer
  // those of the file the run read.
  const RunEnd end = Run([&](korvel::IPackage& plan) {
    RunIt(plan);
    std::ofstream(shop.source, std::ios::binary | std::ios::app) << "changed";
  });
  EXPECT_EQ(Departs(), kDeparts);
  EXPECT_EQ(end.outcome, RunOutcome::kUnreconciled);
  ASSERT_TRUE(end.reconcile_error.has_value());
  EXPECT_EQ(end.error, end.reconcile_error->description());
  EXPECT_NE(end.error.find("源文件在升级过程中被改动"), std::string::npos) << end.error;
  EXPECT_TRUE(end.reconciliation.empty());
  EXPECT_FALSE(end.run_error);
}

TEST_F(RunProtocol, ARunThatRaisesFailsAndIsNotRecounted) {
  const std::string before = Departs();
  const RunEnd end = Run([](korvel::IPackage&) { throw com::Error(1234, "test", "包无法执行"); });
  EXPECT_EQ(end.outcome, RunOutcome::kFailed);
  ASSERT_TRUE(end.run_error.has_value());
  EXPECT_EQ(end.run_error->number(), 1234);
  EXPECT_EQ(end.error, "包无法执行");
  EXPECT_FALSE(end.evidence || end.reconcile_error);
  EXPECT_TRUE(end.reconciliation.empty());
  for (const auto& step : end.steps) EXPECT_EQ(step.state, assurance::StepRecord::State::kNotRun) << step.name;
  EXPECT_EQ(said, (std::vector<std::string>{"ran " + std::to_string(end.steps.size())}));
  EXPECT_EQ(Departs(), before);
}

// A lost commit answer is decided from the database: what it holds against
// the source and against the state before the run.
TEST_F(RunProtocol, ALostCommitAnswerIsDecidedFromTheDatabase) {
  // Each case starts from what the one before left: first the shop's
  // empty table, then the five departments the committed case wrote.
  ASSERT_NE(Departs(), kDeparts);
  const struct {
    const char* name;
    std::function<void(korvel::IPackage&)> execute;
    RunOutcome outcome;
    assurance::CommitOutcome found;
  } cases[] = {
      {"never committed", [](korvel::IPackage&) { throw LostCommitAnswer(); }, RunOutcome::kFailed,
       assurance::CommitOutcome::kNotCommitted},
      {"committed",
       [](korvel::IPackage& plan) {
         RunIt(plan);
         throw LostCommitAnswer();
       },
       RunOutcome::kSuccess, assurance::CommitOutcome::kCommitted},
      // Neither as before nor as the source: the database cannot tell.
      {"neither",
       [this](korvel::IPackage& plan) {
         RunIt(plan);
         LoseOneDepart();
         throw LostCommitAnswer();
       },
       RunOutcome::kUnknown, assurance::CommitOutcome::kUnknown},
  };
  for (const auto& c : cases) {
    said.clear();
    const RunEnd end = Run(c.execute);
    EXPECT_EQ(end.outcome, c.outcome) << c.name;
    ASSERT_TRUE(end.evidence.has_value()) << c.name;
    EXPECT_EQ(end.evidence->outcome, c.found) << c.name;
    EXPECT_EQ(end.error, "提交事务的回答没有收到\n" + end.evidence->reason) << c.name;
    EXPECT_EQ(end.reconciliation.size(), end.evidence->lines.size()) << c.name;
    ASSERT_GE(said.size(), 2u) << c.name;
    EXPECT_EQ(said[1], "asking: 提交事务的回答没有收到") << c.name;
    EXPECT_EQ(said.size(), 2u) << c.name << ": no second recount";
  }
}

}  // namespace
