// Executing a package: order by precedence, failure, events, cancel and the
// package transaction, on an in-memory database.
#include <gtest/gtest.h>

#include <algorithm>

#include "library/builder/settings_tables.h"
#include "platform/com/error.h"
#include "platform/dts/model.h"
#include "platform/dts/step_context.h"
#include "tests/support/fake_driver.h"

namespace {

using com::Variant;
using korvel::builder::Override;
using korvel::builder::Overrides;
using testing_support::FakeDatabase;
using testing_support::FakeDriver;

class Recorder : public dts::PackageEvents {
 public:
  std::vector<std::string> events;
  std::string cancel_before;  // answer cancel when asked before this step
  bool cancel_on_progress = false;

  void OnStart(const std::string& src) override { events.push_back("start " + src); }
  void OnFinish(const std::string& src) override { events.push_back("finish " + src); }
  void OnProgress(const std::string& src, const std::string& desc, std::int32_t, std::int32_t low,
                  std::int32_t) override {
    events.push_back("progress " + src + " " + desc + " " + std::to_string(low));
  }
  void OnError(const std::string& src, std::int32_t code, const std::string& source, const std::string& desc,
               const std::string&, std::int32_t, const std::string&, bool&) override {
    events.push_back("error " + src + " " + std::to_string(code) + " " + source + " " + desc);
  }
  void OnQueryCancel(const std::string& src, bool& cancel) override {
    if (!cancel_before.empty() && src == cancel_before) cancel = true;
  }
};

class ExecutorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    korvel::builder::SetPackageTable(*pkg, "P", "test package");
    korvel::CConnection dst;
    dst.Provider = testing_support::kFakeProvider;
    dst.DataSource = "server";
    korvel::builder::AddDestinationConnection(*pkg, dst);
  }

  // A step and its SQL task, both named `name`; the step's description is
  // "<name> desc" so that events can be told to carry the description.
  void AddSqlStep(const std::string& name, const std::string& sql, Overrides overrides = {}) {
    korvel::builder::AddStep(*pkg, {name, name + " desc", name, std::move(overrides)});
    korvel::builder::AddSQLTask(*pkg, name, sql);
  }
  void Wait(const std::string& later, const std::string& earlier) {
    korvel::builder::AddConstraint(*pkg, later, earlier);
  }
  std::vector<std::string> Executed() const {
    std::vector<std::string> out;
    for (const auto& l : db->log) {
      if (l.rfind("exec ", 0) == 0) out.push_back(l.substr(5));
    }
    return out;
  }
  // Runs the package; returns the error number Execute raised (0 if none).
  std::int32_t Run() {
    try {
      pkg->Execute();
      return 0;
    } catch (const com::Error& e) {
      last_error = e.description();
      return e.number();
    }
  }

  std::shared_ptr<FakeDatabase> db = std::make_shared<FakeDatabase>();
  std::shared_ptr<FakeDriver> driver = std::make_shared<FakeDriver>(db);
  dts::ScopedDriver registration{testing_support::kFakeProvider, driver};
  std::shared_ptr<dts::Package> pkg = dts::Package::Create();
  std::string last_error;
};

TEST_F(ExecutorTest, RunsStepsInTheOrderTheirConstraintsAllow) {
  AddSqlStep("a", "insert T a");
  AddSqlStep("b", "insert T b");
  AddSqlStep("c", "insert T c");
  AddSqlStep("d", "insert T d");
  Wait("a", "c");
  Wait("b", "a");
  Wait("d", "b");
  ASSERT_EQ(Run(), 0);
  EXPECT_EQ(db->tables["T"], (std::vector<std::string>{"c", "a", "b", "d"}));
  for (int i = 1; i <= 4; ++i) {
    EXPECT_EQ(pkg->Steps().Item(i).RunStatus(), dts::kStepCompleted);
    EXPECT_EQ(pkg->Steps().Item(i).ExecutionResult(), dts::kStepSuccess);
  }
  EXPECT_EQ(db->open_sessions, 0);
}

TEST_F(ExecutorTest, TheOrderIfAllSucceedIsTheOrderARunTakes) {
  AddSqlStep("a", "insert T a");
  AddSqlStep("b", "insert T b");
  AddSqlStep("c", "insert T c", {{"DisableStep", Variant::Bool(true)}});
  AddSqlStep("d", "insert T d");
  AddSqlStep("e", "insert T e");  // waits for a failure of b
  AddSqlStep("f", "insert T f");  // waits for a disabled step
  AddSqlStep("g", "insert T g");  // waits for b to have completed, whatever its result
  Wait("a", "d");
  Wait("b", "a");
  Wait("f", "c");
  auto on_failure = pkg->Steps().Item("e").PrecedenceConstraints().New("b");
  on_failure->Set("PrecedenceBasis", Variant::I4(dts::kBasisExecResult));
  on_failure->Set("Value", Variant::I4(dts::kStepFailure));
  pkg->Steps().Item("e").PrecedenceConstraints().Add(on_failure);
  auto on_status = pkg->Steps().Item("g").PrecedenceConstraints().New("b");
  on_status->Set("PrecedenceBasis", Variant::I4(dts::kBasisExecStatus));
  on_status->Set("Value", Variant::I4(dts::kStepCompleted));
  pkg->Steps().Item("g").PrecedenceConstraints().Add(on_status);

  std::vector<std::string> predicted;
  for (const dts::Step* s : dts::RunOrderIfAllSucceed(*pkg)) predicted.push_back(s->Name());
  EXPECT_EQ(predicted, (std::vector<std::string>{"d", "a", "b", "g"}));
  ASSERT_EQ(Run(), 0);
  EXPECT_EQ(db->tables["T"], predicted);
}

TEST_F(ExecutorTest, InitialExecutionStatusDoesNotKeepAStepFromRunning) {
  AddSqlStep("a", "insert T a", {{"ExecutionStatus", Variant::I4(dts::kStepCompleted)}});
  AddSqlStep("b", "insert T b", {{"ExecutionStatus", Variant::I4(dts::kStepWaiting)}});
  Wait("b", "a");
  ASSERT_EQ(Run(), 0);
  EXPECT_EQ(db->tables["T"], (std::vector<std::string>{"a", "b"}));
}

TEST_F(ExecutorTest, AFailedStepStopsItsChainAndFailsTheRun) {
  AddSqlStep("a", "insert T a");
  AddSqlStep("b", "fail disk full");
  AddSqlStep("c", "insert T c");
  Wait("b", "a");
  Wait("c", "b");
  EXPECT_EQ(Run(), dts::kErrPackageFailed);
  EXPECT_NE(last_error.find("步骤“b”失败"), std::string::npos) << last_error;
  const dts::Step& b = pkg->Steps().Item("b");
  EXPECT_EQ(b.ExecutionResult(), dts::kStepFailure);
  std::int32_t code;
  std::string source, description;
  b.GetExecutionErrorInfo(&code, &source, &description, nullptr, nullptr, nullptr);
  EXPECT_EQ(code, 1234);
  EXPECT_EQ(source, "FakeDB");
  EXPECT_EQ(description, "disk full");
  EXPECT_EQ(pkg->Steps().Item("c").RunStatus(), dts::kStepWaiting);
  EXPECT_EQ(pkg->Steps().Item("c").ExecutionResult(), dts::kStepSuccess);
  EXPECT_EQ(Executed(), (std::vector<std::string>{"insert T a", "fail disk full"}));
}

TEST_F(ExecutorTest, WithoutFailOnErrorIndependentStepsGoOnButTheRunStillFails) {
  pkg->Set("FailOnError", Variant::Bool(false));
  const Overrides keep_going = {{"FailPackageOnError", Variant::Bool(false)},
                                {"JoinTransactionIfPresent", Variant::Bool(false)}};
  AddSqlStep("a", "fail first", keep_going);
  AddSqlStep("b", "insert T b", keep_going);
  AddSqlStep("c", "fail second", keep_going);
  AddSqlStep("after_a", "insert T after_a", keep_going);
  Wait("after_a", "a");
  EXPECT_EQ(Run(), dts::kErrPackageFailed);
  EXPECT_NE(last_error.find("2 个步骤失败：“a”、“c”"), std::string::npos) << last_error;
  EXPECT_EQ(db->tables["T"], (std::vector<std::string>{"b"}));
  EXPECT_EQ(pkg->Steps().Item("after_a").RunStatus(), dts::kStepWaiting);
}

TEST_F(ExecutorTest, EventsCarryTheStepDescriptionInOrder) {
  AddSqlStep("a", "insert T a");
  AddSqlStep("b", "fail broken");
  Wait("b", "a");
  Recorder rec;
  dts::EventLink link(pkg, &rec);
  Run();
  EXPECT_EQ(rec.events, (std::vector<std::string>{"start a desc", "finish a desc", "start b desc",
                                                  "error b desc 1234 FakeDB broken"}));
}

TEST_F(ExecutorTest, EveryAdvisedSinkHearsTheEventsUntilUnadvised) {
  AddSqlStep("a", "insert T a");
  Recorder first, second;
  dts::EventLink l1(pkg, &first);
  {
    dts::EventLink l2(pkg, &second);
    ASSERT_EQ(Run(), 0);
  }
  ASSERT_EQ(Run(), 0);
  EXPECT_EQ(first.events.size(), 4u);
  EXPECT_EQ(second.events.size(), 2u);
}

TEST_F(ExecutorTest, CancelStopsBeforeTheNextStepAndRollsBack) {
  AddSqlStep("a", "insert T a");
  AddSqlStep("b", "insert T b");
  Wait("b", "a");
  Recorder rec;
  rec.cancel_before = "b desc";
  dts::EventLink link(pkg, &rec);
  EXPECT_EQ(Run(), dts::kErrPackageCancelled);
  EXPECT_TRUE(db->tables["T"].empty());  // a's work was in the package transaction
  EXPECT_EQ(pkg->Steps().Item("b").RunStatus(), dts::kStepWaiting);
  EXPECT_EQ(db->log.back(), "rollback");
}

TEST_F(ExecutorTest, FailureRollsBackThePackageTransactionSuccessCommitsIt) {
  AddSqlStep("clear", "delete T");
  AddSqlStep("fill", "insert T new");
  AddSqlStep("post", "fail cannot post");
  Wait("fill", "clear");
  Wait("post", "fill");
  db->tables["T"] = {"old"};
  EXPECT_EQ(Run(), dts::kErrPackageFailed);
  EXPECT_EQ(db->tables["T"], (std::vector<std::string>{"old"}));

  pkg->Tasks().Find("post")->GetCustomTask().Set("SQLStatement", Variant::Text("insert Ledger x"));
  db->log.clear();
  ASSERT_EQ(Run(), 0);
  EXPECT_EQ(db->tables["T"], (std::vector<std::string>{"new"}));
  EXPECT_EQ(db->tables["Ledger"], (std::vector<std::string>{"x"}));
  // One transaction, begun once on the one connection, committed at the end.
  EXPECT_EQ(std::count(db->log.begin(), db->log.end(), "begin"), 1);
  EXPECT_EQ(db->log.back(), "commit");
}

TEST_F(ExecutorTest, AStepOutsideTheTransactionKeepsItsWork) {
  AddSqlStep("outside", "insert T outside", {{"JoinTransactionIfPresent", Variant::Bool(false)},
                                             {"RollbackFailure", Variant::Bool(false)}});
  AddSqlStep("inside", "insert T inside");
  AddSqlStep("broken", "fail no");
  Wait("inside", "outside");
  Wait("broken", "inside");
  EXPECT_EQ(Run(), dts::kErrPackageFailed);
  EXPECT_EQ(db->tables["T"], (std::vector<std::string>{"outside"}));
}

TEST_F(ExecutorTest, AFailureWithoutRollbackFailureIsStillUndoneAtTheEnd) {
  AddSqlStep("fill", "insert T x");
  AddSqlStep("broken", "fail no", {{"RollbackFailure", Variant::Bool(false)}});
  Wait("broken", "fill");
  EXPECT_EQ(Run(), dts::kErrPackageFailed);
  EXPECT_TRUE(db->tables["T"].empty());
}

TEST_F(ExecutorTest, CommitSuccessCommitsAtTheStep) {
  AddSqlStep("early", "insert T early", {{"CommitSuccess", Variant::Bool(true)}});
  AddSqlStep("broken", "fail no");
  Wait("broken", "early");
  EXPECT_EQ(Run(), dts::kErrPackageFailed);
  EXPECT_EQ(db->tables["T"], (std::vector<std::string>{"early"}));
}

TEST_F(ExecutorTest, MissingTaskOrUnreachableServerFailsTheStepClearly) {
  korvel::builder::AddStep(*pkg, {"orphan", "orphan", "no such task", {}});
  EXPECT_EQ(Run(), dts::kErrPackageFailed);
  EXPECT_NE(pkg->Steps().Item("orphan").error_info().Description.find("no such task"), std::string::npos);

  auto other = dts::Package::Create();
  korvel::CConnection dst;
  dst.Provider = "No.Such.Provider";
  korvel::builder::AddDestinationConnection(*other, dst);
  korvel::builder::AddStep(*other, {"s", "s", "s", {}});
  korvel::builder::AddSQLTask(*other, "s", "insert T x");
  EXPECT_THROW(other->Execute(), com::Error);
  EXPECT_NE(other->Steps().Item("s").error_info().Description.find("No.Such.Provider"), std::string::npos);
}

TEST_F(ExecutorTest, AConstraintOnAnUnknownStepIsRefusedBeforeAnythingRuns) {
  AddSqlStep("a", "insert T a");
  AddSqlStep("b", "insert T b");
  auto pc = pkg->Steps().Item("b").PrecedenceConstraints().New("ghost");
  pkg->Steps().Item("b").PrecedenceConstraints().Add(pc);
  const std::int32_t number = Run();
  EXPECT_NE(number, 0);
  EXPECT_FALSE(dts::IsPackageOutcome(com::Error(number, "", "")));
  EXPECT_TRUE(db->log.empty());
}

TEST_F(ExecutorTest, AStepWaitingOnItselfNeverRunsAndTheRunEnds) {
  AddSqlStep("a", "insert T a");
  Wait("a", "a");
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(pkg->Steps().Item("a").RunStatus(), dts::kStepWaiting);
}

TEST_F(ExecutorTest, AnEventHandlerErrorStopsTheRun) {
  struct Throwing : dts::PackageEvents {
    void OnFinish(const std::string&) override { throw com::Error(7, "UI", "window gone"); }
  } sink;
  AddSqlStep("a", "insert T a");
  AddSqlStep("b", "insert T b");
  Wait("b", "a");
  dts::EventLink link(pkg, &sink);
  EXPECT_EQ(Run(), dts::kErrPackageCancelled);
  EXPECT_NE(last_error.find("window gone"), std::string::npos);
  EXPECT_TRUE(db->tables["T"].empty());
}

TEST_F(ExecutorTest, ExecuteCannotBeReenteredFromAHandler) {
  struct Reenter : dts::PackageEvents {
    dts::Package* pkg = nullptr;
    std::string error;
    void OnStart(const std::string&) override {
      try {
        pkg->Execute();
      } catch (const com::Error& e) {
        error = e.description();
      }
    }
  } sink;
  sink.pkg = pkg.get();
  AddSqlStep("a", "insert T a");
  dts::EventLink link(pkg, &sink);
  EXPECT_EQ(Run(), 0);
  EXPECT_FALSE(sink.error.empty());
  EXPECT_EQ(db->tables["T"].size(), 1u);
}

// A source that can be shared is opened once per run: every later session
// of its connection, in the transaction or outside it, after a step closed
// its connection too, is shared from the first. Others open anew.
TEST_F(ExecutorTest, EveryLaterSessionOfASharedSourceIsSharedFromTheFirst) {
  AddSqlStep("outside", "insert T outside",
             {{"JoinTransactionIfPresent", Variant::Bool(false)}, {"CloseConnection", Variant::Bool(true)}});
  AddSqlStep("again", "insert T again",
             {{"JoinTransactionIfPresent", Variant::Bool(false)}, {"CloseConnection", Variant::Bool(true)}});
  AddSqlStep("inside", "insert T inside");
  Wait("again", "outside");
  Wait("inside", "again");
  db->shareable = true;
  ASSERT_EQ(Run(), 0);
  EXPECT_EQ(driver->opened.size(), 1u);
  // The one kept for the run, then one for each of the two later steps.
  EXPECT_EQ(std::count(db->log.begin(), db->log.end(), "share"), 3);
  EXPECT_EQ(db->open_sessions, 0);  // all closed when the run ended

  db->shareable = false;
  db->log.clear();
  driver->opened.clear();
  ASSERT_EQ(Run(), 0);
  EXPECT_EQ(driver->opened.size(), 3u);
  EXPECT_EQ(std::count(db->log.begin(), db->log.end(), "share"), 0);
}

// Before the package transaction commits, every source the run opened is
// asked whether it is what it was: one that changed commits nothing, and
// its error fails the run. A step failing while a source has changed says
// so first, then its own error.
TEST_F(ExecutorTest, ASourceChangedUnderTheRunCommitsNothing) {
  struct ChangeAfter : dts::PackageEvents {
    FakeDatabase* db = nullptr;
    std::string step;
    void OnFinish(const std::string& source) override {
      if (source == step) db->changed = "源文件在升级过程中被改动";
    }
  } change;
  change.db = db.get();
  change.step = "a desc";
  dts::EventLink link(pkg, &change);
  AddSqlStep("a", "insert T a");
  AddSqlStep("b", "insert T b");
  Wait("b", "a");
  db->shareable = true;
  db->tables["T"] = {"old"};
  EXPECT_EQ(Run(), dts::kErrPackageFailed);
  EXPECT_NE(last_error.find("源文件在升级过程中被改动"), std::string::npos) << last_error;
  EXPECT_EQ(db->tables["T"], (std::vector<std::string>{"old"}));
  EXPECT_EQ(std::count(db->log.begin(), db->log.end(), "commit"), 0);
  EXPECT_EQ(db->log.back(), "rollback");

  pkg->Tasks().Find("b")->GetCustomTask().Set("SQLStatement", Variant::Text("fail duplicate key"));
  db->changed.clear();
  EXPECT_EQ(Run(), dts::kErrPackageFailed);
  const std::string b_error = pkg->Steps().Item("b").error_info().Description;
  EXPECT_EQ(b_error.rfind("源文件在升级过程中被改动", 0), 0u) << b_error;
  EXPECT_NE(b_error.find("duplicate key"), std::string::npos) << b_error;
  EXPECT_EQ(db->tables["T"], (std::vector<std::string>{"old"}));

  // Untouched, the same run commits, after asking.
  change.step.clear();
  db->changed.clear();
  pkg->Tasks().Find("b")->GetCustomTask().Set("SQLStatement", Variant::Text("insert T b"));
  db->log.clear();
  ASSERT_EQ(Run(), 0) << last_error;
  EXPECT_EQ(db->tables["T"], (std::vector<std::string>{"old", "a", "b"}));
  const auto verify = std::find(db->log.begin(), db->log.end(), "verify");
  EXPECT_LT(verify, std::find(db->log.begin(), db->log.end(), "commit"));
  EXPECT_EQ(db->log.back(), "commit");
}

TEST_F(ExecutorTest, ConnectionSettingsReachTheDriver) {
  AddSqlStep("a", "insert T a");
  ASSERT_EQ(Run(), 0);
  ASSERT_FALSE(driver->opened.empty());
  const dts::ConnectionSpec& opened_connection = driver->opened.front();
  EXPECT_EQ(opened_connection.provider, testing_support::kFakeProvider);
  EXPECT_EQ(opened_connection.data_source, "server");
  ASSERT_NE(opened_connection.Property("Application Name"), nullptr);
  EXPECT_EQ(opened_connection.Property("Application Name")->text(), "DTS 导入/导出向导");
}

}  // namespace
