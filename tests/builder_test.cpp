// What every plan shares: names from D, the settings tables, and
// KorvelExec's run, report and release.
#include <gtest/gtest.h>

#include "library/builder/defined_plan.h"
#include "library/builder/names.h"
#include "library/builder/plan_base.h"
#include "library/builder/settings_tables.h"
#include "library/interface/errors.h"
#include "library/interface/report_sink.h"
#include "tests/support/reports.h"
#include "platform/com/error.h"
#include "platform/dts/dump.h"
#include "tests/support/fake_driver.h"

namespace {

using com::Variant;
using korvel::builder::Names;

TEST(Names, KeepDInNamesAndEscapeItInSql) {
  const Names n("a]b c");
  const auto clear = korvel::builder::ClearStep("Depart");
  EXPECT_EQ(clear.name.Name(n), "清除 [a]b c].[dbo].[Depart] 中的数据");
  EXPECT_EQ(clear.sql(n), "delete from [a]]b c].[dbo].[Depart]");
  EXPECT_EQ(n.DestinationObject("Depart"), "[a]]b c].[dbo].[Depart]");
  EXPECT_EQ(n.Sql("Delete from  [", "].[dbo].[CustAcc] "), "Delete from  [a]]b c].[dbo].[CustAcc] ");
  // A name built to close the bracket and append a statement stays one name.
  const Names evil("x]; drop table Customer --");
  EXPECT_EQ(clear.sql(evil), "delete from [x]]; drop table Customer --].[dbo].[Depart]");
}

TEST(Names, AnEmptyDatabaseNameLeavesEmptyBrackets) {
  const Names n("");
  const auto clear = korvel::builder::ClearStep("Depart");
  EXPECT_EQ(clear.name.Name(n), "清除 [].[dbo].[Depart] 中的数据");
  EXPECT_EQ(clear.sql(n), "delete from [].[dbo].[Depart]");
}

TEST(Tables, OverridesReplaceInPlaceOrLeaveUnset) {
  auto pkg = dts::Package::Create();
  korvel::builder::SetPackageTable(*pkg, "N", "D",
                                   {{"FailOnError", Variant::Bool(false)},
                                    {"LogServerName", std::nullopt},
                                    {"LogServerFlags", Variant::I4(0)}});
  const auto& e = pkg->properties().entries();
  ASSERT_EQ(e.size(), 17u);
  EXPECT_EQ(e[0].name, "Name");
  EXPECT_EQ(e[3].name, "FailOnError");
  EXPECT_FALSE(e[3].value.integer());
  EXPECT_EQ(pkg->properties().Find("LogServerName"), nullptr);
  EXPECT_EQ(e[13].name, "LogServerFlags");
  EXPECT_THROW(korvel::builder::SetPackageTable(*pkg, "N", "D", {{"NoSuchSetting", Variant::I4(1)}}),
               com::Error);
}

TEST(Tables, ConnectionsReadTheDescriptorsAsTheyStand) {
  korvel::CConnection src, dst;
  src.Provider = "Microsoft.Jet.OLEDB.4.0";
  src.DataSource = "/data/shop.mdb";
  src.UserID = "never read";
  dst.Provider = "SQLOLEDB";
  dst.DataSource = "file:/srv";
  dst.InitialCatalog = "Sales60";
  dst.UserID = "sa";
  dst.Password = "pw";
  auto pkg = dts::Package::Create();
  korvel::builder::AddSourceConnection(*pkg, src);
  korvel::builder::AddDestinationConnection(*pkg, dst, korvel::builder::kDesignerAppName);
  const std::string dump = dts::DumpPackage(*pkg);
  EXPECT_EQ(dump,
            "Package.Connections(1) = New(\"Microsoft.Jet.OLEDB.4.0\")\n"
            "Package.Connections(1).ConnectionProperties(\"Data Source\") = str \"/data/shop.mdb\"\n"
            "Package.Connections(1).ConnectionProperties(\"Mode\") = i2 1\n"
            "Package.Connections(1).ConnectionProperties(\"Jet OLEDB:Database Password\") = str \"\"\n"
            "Package.Connections(1).Name = str \"连接1\"\n"
            "Package.Connections(1).ID = i4 1\n"
            "Package.Connections(1).Reusable = bool true\n"
            "Package.Connections(1).ConnectImmediate = bool false\n"
            "Package.Connections(1).DataSource = str \"/data/shop.mdb\"\n"
            "Package.Connections(1).ConnectionTimeout = i4 60\n"
            "Package.Connections(1).UseTrustedConnection = bool false\n"
            "Package.Connections(1).UseDSL = bool false\n"
            "Package.Connections(2) = New(\"SQLOLEDB\")\n"
            "Package.Connections(2).ConnectionProperties(\"Persist Security Info\") = bool true\n"
            "Package.Connections(2).ConnectionProperties(\"User ID\") = str \"sa\"\n"
            "Package.Connections(2).ConnectionProperties(\"Initial Catalog\") = str \"Sales60\"\n"
            "Package.Connections(2).ConnectionProperties(\"Data Source\") = str \"file:/srv\"\n"
            "Package.Connections(2).ConnectionProperties(\"Application Name\") = str \"DTS 设计器\"\n"
            "Package.Connections(2).Name = str \"连接2\"\n"
            "Package.Connections(2).ID = i4 2\n"
            "Package.Connections(2).Reusable = bool true\n"
            "Package.Connections(2).ConnectImmediate = bool false\n"
            "Package.Connections(2).DataSource = str \"file:/srv\"\n"
            "Package.Connections(2).UserID = str \"sa\"\n"
            "Package.Connections(2).ConnectionTimeout = i4 60\n"
            "Package.Connections(2).Catalog = str \"Sales60\"\n"
            "Package.Connections(2).UseTrustedConnection = bool false\n"
            "Package.Connections(2).UseDSL = bool false\n"
            "Package.Connections(2).Password = str <hidden>\n");
}

TEST(Tables, ScriptTextIsJoinedWithCrLfAndNothingAfterTheLastLine) {
  auto pkg = dts::Package::Create();
  auto task = korvel::builder::NewDataPumpTask(*pkg, {.name = "t", .source_sql = "select 1",
                                                      .destination_object = "[d].[dbo].[t]"});
  const std::string_view lines[] = {"Function Main()", "   Main = DTSTransformStat_OK", "End Function"};
  korvel::builder::AddTransformation(task->AsDataPump(), {.kind = korvel::builder::TransformKind::kScript,
                                                          .class_name = "DTS.DataPumpTransformScript",
                                                          .name = "AxScriptXform",
                                                          .script_lines = lines});
  const auto& tr = task->AsDataPump().Transformations().Item(1);
  EXPECT_EQ(tr.TransformServerProperties().GetText("Text"),
            "Function Main()\r\n   Main = DTSTransformStat_OK\r\nEnd Function");
  EXPECT_EQ(tr.TransformServerProperties().GetText("FunctionEntry"), "Main");
}

// A small plan for testing what every plan shares.
class TestPlan : public korvel::builder::PlanBase {
 public:
  std::vector<std::pair<std::string, std::string>> steps;  // name, SQL
  std::vector<std::pair<std::string, std::string>> waits;  // later, earlier
  korvel::builder::Overrides package_overrides;
  std::string seen_d;

 protected:
  void Build(dts::Package& package, const korvel::CConnection& source, const korvel::CConnection& destination,
             const Names& names) override {
    seen_d = names.D();
    korvel::builder::SetPackageTable(package, "Korvel_Test", "测试", package_overrides);
    korvel::builder::AddSourceConnection(package, source);
    korvel::builder::AddDestinationConnection(package, destination);
    for (const auto& [name, sql] : steps) {
      korvel::builder::AddStep(package, {name, name, name, {{"FailPackageOnError", Variant::Bool(false)}}});
    }
    for (const auto& [later, earlier] : waits) korvel::builder::AddConstraint(package, later, earlier);
    for (const auto& [name, sql] : steps) korvel::builder::AddSQLTask(package, name, sql);
  }
};

class PlanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    src.Provider = testing_support::kFakeProvider;
    dst.Provider = testing_support::kFakeProvider;
    dst.InitialCatalog = "Sales60";
  }

  std::shared_ptr<testing_support::RecordingSink> sink = std::make_shared<testing_support::RecordingSink>();
  korvel::ScopedReportSink sink_installed{sink};
  std::shared_ptr<testing_support::FakeDatabase> db = std::make_shared<testing_support::FakeDatabase>();
  dts::ScopedDriver registration{testing_support::kFakeProvider,
                                 std::make_shared<testing_support::FakeDriver>(db)};
  korvel::CConnection src, dst;
  TestPlan plan;
};

TEST_F(PlanTest, ASuccessfulRunReportsNothingAndReleasesThePackage) {
  plan.steps = {{"one", "insert T 1"}, {"two", "insert T 2"}};
  plan.waits = {{"two", "one"}};
  EXPECT_EQ(plan.GetPackage(), nullptr);
  plan.KorvelInit(src, dst);
  EXPECT_EQ(plan.seen_d, "Sales60");
  auto pkg = plan.GetPackage();
  ASSERT_NE(pkg, nullptr);
  EXPECT_EQ(pkg, plan.GetPackage());
  EXPECT_EQ(plan.goPackage, plan.goPackageOld);
  EXPECT_EQ(pkg->Tasks().Count(), 2);
  plan.KorvelExec();
  EXPECT_TRUE(sink->reports.empty());
  EXPECT_EQ(plan.GetPackage(), nullptr);
  EXPECT_EQ(plan.goPackageOld, nullptr);
  EXPECT_EQ(pkg->Steps().Count(), 0);  // uninitialised
  EXPECT_EQ(db->tables["T"], (std::vector<std::string>{"1", "2"}));
}

TEST_F(PlanTest, TwoFailedStepsGiveTwoReportsLowerStepFirstThenAnError) {
  plan.package_overrides = {{"FailOnError", Variant::Bool(false)}};
  plan.steps = {{"first", "fail 表不存在"}, {"second", "insert T x"}, {"third", "fail timeout"}};
  plan.waits = {{"first", "second"}};  // runs second, first, third
  plan.KorvelInit(src, dst);
  try {
    plan.KorvelExec();
    FAIL() << "a failed run returned normally";
  } catch (const com::Error& e) {
    EXPECT_EQ(e.number(), dts::kErrPackageFailed);
  }
  ASSERT_EQ(sink->reports.size(), 2u);
  EXPECT_EQ(sink->reports[0], "first failed\r\nFakeDB\r\n表不存在");
  EXPECT_EQ(sink->reports[1], "third failed\r\nFakeDB\r\ntimeout");
  EXPECT_EQ(plan.GetPackage(), nullptr);
}

TEST_F(PlanTest, AnErrorOfExecuteItselfSkipsTheReportAndKeepsThePackage) {
  plan.steps = {{"one", "insert T 1"}};
  plan.KorvelInit(src, dst);
  auto& step = plan.goPackage->Steps().Item(1);
  step.PrecedenceConstraints().Add(step.PrecedenceConstraints().New("missing"));
  EXPECT_THROW(plan.KorvelExec(), com::Error);
  EXPECT_TRUE(sink->reports.empty());
  EXPECT_NE(plan.GetPackage(), nullptr);
}

TEST_F(PlanTest, ExecWithoutInitIsAClearError) {
  EXPECT_THROW(plan.KorvelExec(), com::Error);
}

TEST_F(PlanTest, EmptySourcePasswordIsStillSet) {
  plan.KorvelInit(src, dst);
  const auto* pw = plan.goPackage->Connections().FindById(1)->ConnectionProperties().Find(
      "Jet OLEDB:Database Password");
  ASSERT_NE(pw, nullptr);
  EXPECT_EQ(pw->text(), "");
}

// The number a validation error reaches the wizard and scripts with.
TEST(Interface, AValidationErrorIsNumber0x80040001) {
  EXPECT_EQ(static_cast<std::uint32_t>(korvel::kValidationError), 0x80040001u);
}

}  // namespace

namespace {

// A plan as data whose task routines a test chooses.
class TablePlan final : public korvel::builder::DefinedPlan {
 public:
  TablePlan(const korvel::builder::PlanDefinition& definition, std::vector<int> order)
      : DefinedPlan(definition, SqlRoutines(this, std::move(order))) {}
  using DefinedPlan::BuildSqlTask;

 private:
  static std::vector<TaskRoutine> SqlRoutines(TablePlan* plan, std::vector<int> order) {
    std::vector<TaskRoutine> out;
    for (int n : order) out.push_back([plan, n](dts::Package& p) { plan->BuildSqlTask(p, n); });
    return out;
  }
};

korvel::builder::PlanDefinition ThreeSteps(std::vector<std::pair<int, int>> waits) {
  korvel::builder::PlanDefinition d;
  d.package_name = "Korvel_Test";
  d.package_description = "测试";
  for (const char* name : {"甲", "乙", "丙"}) {
    d.steps.push_back(korvel::builder::FixedSqlStep(name, [](const Names&) { return std::string("insert T 1"); }));
  }
  d.waits = std::move(waits);
  return d;
}

// KorvelInit's error for a definition, or "" when it builds.
std::string BuildError(const korvel::builder::PlanDefinition& d, std::vector<int> order) {
  TablePlan plan(d, std::move(order));
  korvel::CConnection src, dst;
  try {
    plan.KorvelInit(src, dst);
    return "";
  } catch (const com::Error& e) {
    return e.description();
  }
}

TEST(DefinedPlanCheck, AcceptsOneChainOfStepsEachWithItsTask) {
  EXPECT_EQ(BuildError(ThreeSteps({{2, 3}, {1, 2}}), {1, 2, 3}), "");
}

TEST(DefinedPlanCheck, RefusesTasksOutOfOrderMissingOrInExcess) {
  const auto d = ThreeSteps({{2, 1}, {3, 2}});
  EXPECT_NE(BuildError(d, {1, 3, 2}).find("没有按编号顺序"), std::string::npos);
  EXPECT_NE(BuildError(d, {1, 2}).find("3 个步骤却有 2 个任务例程"), std::string::npos);
  EXPECT_NE(BuildError(d, {1, 2, 3, 3}).find("3 个步骤却有 4 个任务例程"), std::string::npos);
  EXPECT_NE(BuildError(d, {1, 2, 4}).find("没有第 4 步"), std::string::npos);
}

TEST(DefinedPlanCheck, RefusesConstraintsThatAreNotOneChain) {
  // Two steps start at once.
  EXPECT_NE(BuildError(ThreeSteps({{2, 1}}), {1, 2, 3}).find("恰有一个"), std::string::npos);
  // Two steps wait for the same one.
  EXPECT_NE(BuildError(ThreeSteps({{2, 1}, {3, 1}}), {1, 2, 3}).find("被不止一个步骤等待"), std::string::npos);
  // One step waits for two.
  EXPECT_NE(BuildError(ThreeSteps({{3, 1}, {3, 2}}), {1, 2, 3}).find("等待不止一个步骤"), std::string::npos);
  // A chain of two and a loop of one: every count is right, the chain is not.
  EXPECT_NE(BuildError(ThreeSteps({{2, 1}, {3, 3}}), {1, 2, 3}).find("连成一条链"), std::string::npos);
  EXPECT_NE(BuildError(ThreeSteps({{2, 1}, {4, 2}}), {1, 2, 3}).find("不存在的第 4 步"), std::string::npos);
}

TEST(DefinedPlanCheck, ATaskBuiltOutsideKorvelInitIsAnErrorNotACrash) {
  TablePlan plan(ThreeSteps({{2, 1}, {3, 2}}), {1, 2, 3});
  auto package = dts::Package::Create();
  EXPECT_THROW(plan.BuildSqlTask(*package, 1), com::Error);
  korvel::CConnection src, dst;
  plan.KorvelInit(src, dst);
  EXPECT_THROW(plan.BuildSqlTask(*plan.goPackage, 1), com::Error);  // the head belongs to KorvelInit
  EXPECT_EQ(plan.goPackage->Tasks().Count(), 3);
}

}  // namespace
