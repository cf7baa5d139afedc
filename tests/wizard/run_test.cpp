// The upgrade run from the destination page: plans executed on the
// embedded server, the progress page, failures, and the window's life
// while a run goes on.
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QTimer>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "library/builder/defined_plan.h"
#include "library/interface/ipackage.h"
#include "platform/com/object.h"
#include "platform/dts/model.h"
#include "platform/sqlserver/tds_endpoint/listener.h"
#include "tests/support/chained_plan.h"
#include "tests/support/shop.h"
#include "tests/wizard/wizard_fixture.h"

namespace wizard_testing {
namespace {

using testing_support::EmbeddedShop;
using testing_support::TempDir;
using velmora::MsgBoxIcon;

constexpr int kNormalModel = 0;    // rows of the shipped model list
constexpr int kDepartModel = 2;
constexpr int kCustSuppNoWriteAccountModel = 4;
constexpr int kCustSuppWriteAccountModel = 5;
constexpr int kGoodsNoWriteCustodyModel = 6;
constexpr int kGoodsWriteCustodyModel = 7;
constexpr int kEmployeeModel = 3;

// `n` SQL steps, "第 1 步" to "第 n 步", for a plan that runs them one after
// another.
std::vector<korvel::builder::PlanStep> CountedSteps(int n) {
  std::vector<korvel::builder::PlanStep> steps;
  for (int i = 1; i <= n; ++i) {
    steps.push_back(korvel::builder::FixedSqlStep("第 " + std::to_string(i) + " 步", [](const korvel::builder::Names&) {
      return std::string("select count(*) from Depart");
    }));
  }
  return steps;
}

// A plan whose one long step sends nothing until the test lets it end.
// It records the threads it is made, used and destroyed on, and the
// descriptors it receives.
struct BlockingRecord {
  std::mutex mutex;
  std::condition_variable cv;
  bool released = false;
  std::vector<std::thread::id> threads;
  std::vector<std::string> source, destination;
  void Release() {
    std::lock_guard<std::mutex> lock(mutex);
    released = true;
    cv.notify_all();
  }
};

class BlockingPlan final : public korvel::IPackage {
 public:
  explicit BlockingPlan(BlockingRecord& record) : record_(record) { Note(); }
  ~BlockingPlan() override { Note(); }
  void KorvelInit(korvel::CConnection& s, korvel::CConnection& d) override {
    Note();
    record_.source = {s.Provider, s.DataSource, s.InitialCatalog, s.UserID, s.Password, s.IsNT, s.ConnectionString};
    record_.destination = {d.Provider, d.DataSource, d.InitialCatalog, d.UserID, d.Password, d.IsNT,
                           d.ConnectionString};
    package_ = dts::Package::Create();
  }
  void KorvelExec() override {
    Note();
    std::unique_lock<std::mutex> lock(record_.mutex);
    // Bounded, so a window that never lets the test's timer run fails the
    // test instead of hanging it.
    record_.cv.wait_for(lock, std::chrono::seconds(30), [&] { return record_.released; });
    package_.reset();
  }
  std::shared_ptr<dts::Package> GetPackage() override { return package_; }

 private:
  void Note() { record_.threads.push_back(std::this_thread::get_id()); }
  BlockingRecord& record_;
  std::shared_ptr<dts::Package> package_;
};

class WizardRunTest : public WizardTest {
 protected:
  // From page 1 to the end of the run of the model in `model_row`, with
  // the check before the run turned off: the run as it always was.
  void RunModel(int model_row, const std::string& source) {
    ToDestinationPage(source, "", model_row);
    FillDestination(shop.server, "sa", EmbeddedShop::kPassword);
    w().combDestinationDB->setEditText(QString::fromStdString(EmbeddedShop::kDatabase));
    w().chkCheckFirst->setChecked(false);
    Next();
    ASSERT_EQ(Page(), 5) << LastBox();
  }

  // The progress list's lines of finished steps, and of the reconciliation
  // that follows them.
  std::vector<std::string> StepLines() { return LinesStartingWith("√ "); }
  std::vector<std::string> ReconcileLines() {
    std::vector<std::string> lines;
    for (const auto& l : Lines(*w().lstProgress)) {
      if (l.rfind("√ ", 0) != 0) lines.push_back(l);
    }
    return lines;
  }
  std::vector<std::string> LinesStartingWith(const std::string& prefix) {
    std::vector<std::string> lines;
    for (const auto& l : Lines(*w().lstProgress)) {
      if (l.rfind(prefix, 0) == 0) lines.push_back(l);
    }
    return lines;
  }
  // Every reconciliation line matched, and one counted `table`'s rows.
  void ExpectReconciled(const std::string& table) {
    const auto lines = ReconcileLines();
    EXPECT_FALSE(lines.empty());
    for (const auto& l : lines) EXPECT_EQ(l.rfind("相符 ", 0), 0u) << l;
    EXPECT_FALSE(LinesStartingWith("相符 " + table + " 行数：源 ").empty()) << table;
  }

  void ExpectEndButtons() {
    EXPECT_FALSE(w().cmdPrev->isEnabled());
    EXPECT_TRUE(w().cmdNext->isEnabled());
    EXPECT_FALSE(w().cmdCancel->isEnabled());
    EXPECT_EQ(Text(w().cmdNext->text()), "完成");
    EXPECT_FALSE(toolkit.busy);
  }

  // 完成 closes the window.
  void ExpectClosesOnFinish() {
    ASSERT_TRUE(w().isVisible());
    w().cmdNext->click();
    EXPECT_FALSE(w().isVisible());
  }

  EmbeddedShop shop;
};

// ---- The destination page ---------------------------------------------------

TEST_F(WizardRunTest, TheDestinationTestChecksItsEntriesAndListsTheDatabasesOnce) {
  auto& w = Open();
  ToDestinationPage(shop.source);
  w.combDestinationDB->setEditText(QStringLiteral("保留"));

  w.cmdTryLoginSQL->click();
  EXPECT_EQ(LastBox(), "请指定 SQL Server 服务器！");
  EXPECT_EQ(toolkit.boxes.back().icon, MsgBoxIcon::kWarning);
  FillDestination(shop.server, "   ", EmbeddedShop::kPassword);
  w.cmdTryLoginSQL->click();
  EXPECT_EQ(LastBox(), "请输入用户名！");
  FillDestination(shop.server, "sa", "wrong");
  w.cmdTryLoginSQL->click();
  EXPECT_NE(LastBox().find("Login failed for user 'sa'."), std::string::npos) << LastBox();
  EXPECT_EQ(w.combDestinationDB->count(), 0);
  EXPECT_EQ(Text(w.combDestinationDB->currentText()), "保留");
  // A server name is passed on exactly as typed, spaces and all.
  FillDestination("  " + shop.server, "sa", EmbeddedShop::kPassword);
  w.cmdTryLoginSQL->click();
  EXPECT_EQ(w.destination_connection().DataSource, "  " + shop.server);
  EXPECT_NE(LastBox(), "连接成功！");

  FillDestination(shop.server, " sa ", " " + std::string(EmbeddedShop::kPassword) + " ");
  const auto before = toolkit.boxes.size();
  w.cmdTryLoginSQL->click();
  ASSERT_EQ(toolkit.boxes.size(), before + 1);
  EXPECT_EQ(LastBox(), "连接成功！");
  EXPECT_EQ(toolkit.boxes.back().icon, MsgBoxIcon::kInformation);
  const auto& d = w.destination_connection();
  EXPECT_EQ((std::vector<std::string>{d.Provider, d.DataSource, d.InitialCatalog, d.UserID, d.Password, d.IsNT,
                                      d.ConnectionString}),
            (std::vector<std::string>{"1", shop.server, "保留", "sa", EmbeddedShop::kPassword, "False", ""}));
  const auto listed = Items(*w.combDestinationDB);
  EXPECT_EQ(listed, (std::vector<std::string>{"master", "tempdb", "model", "msdb", "Sales60"}));
  EXPECT_EQ(Text(w.combDestinationDB->currentText()), "");
  w.cmdTryLoginSQL->click();
  EXPECT_EQ(Items(*w.combDestinationDB), listed);

  // No database: Next stays.
  w.combDestinationDB->setEditText(QStringLiteral("   "));
  Next();
  EXPECT_EQ(Page(), 4);
  EXPECT_EQ(LastBox(), "请选择目的数据库！");
  EXPECT_EQ(toolkit.boxes.back().icon, MsgBoxIcon::kWarning);
}

// ---- Runs -------------------------------------------------------------------

TEST_F(WizardRunTest, ARunShowsEachFinishedStepAndEndsComplete) {
  Open();
  struct AtBox {
    bool prev, next, cancel, busy;
  };
  std::vector<AtBox> at_box;
  toolkit.on_box = [&](const Box&) {
    at_box.push_back({w().cmdPrev->isEnabled(), w().cmdNext->isEnabled(), w().cmdCancel->isEnabled(), toolkit.busy});
  };
  RunModel(kDepartModel, shop.source);

  // The finished steps, then the recount of the source's five departments.
  EXPECT_EQ(Lines(*w().lstProgress), (std::vector<std::string>{"√ 清除 [Sales60].[dbo].[Depart] 中的数据 完成！",
                                                             "√ 导入数据到 [Sales60].[dbo].[Depart] 完成！",
                                                             "相符 Depart 行数：源 5 行；目的 5 行"}));
  EXPECT_EQ(w().lstProgress->currentRow(), 2);
  EXPECT_EQ(w().TaskCount, 2);
  EXPECT_EQ(w().ProgressBar->minimum(), 1);
  EXPECT_EQ(w().ProgressBar->maximum(), 100);
  EXPECT_EQ(w().ProgressBar->value(), 100);
  EXPECT_EQ(Text(w().labPercent->text()), "100%");
  EXPECT_EQ(Text(w().labDoing->text()), "升级完成！");
  ASSERT_EQ(toolkit.boxes.size(), 1u) << LastBox();
  EXPECT_EQ(toolkit.boxes[0].text, "升级完成！");
  EXPECT_EQ(toolkit.boxes[0].icon, MsgBoxIcon::kInformation);
  EXPECT_EQ(toolkit.boxes[0].title, "提示");
  // While the box is up the run is still the run: nothing to click, busy.
  ASSERT_EQ(at_box.size(), 1u);
  EXPECT_FALSE(at_box[0].prev || at_box[0].next || at_box[0].cancel);
  EXPECT_TRUE(at_box[0].busy);
  EXPECT_EQ(toolkit.busy_changes, (std::vector<bool>{true, false}));
  ExpectEndButtons();
  EXPECT_EQ(w().source_connection().Provider, "Microsoft.Jet.OLEDB.4.0");
  EXPECT_EQ(w().destination_connection().Provider, "SQLOLEDB");
  EXPECT_EQ(shop.Query("select count(*) from Depart"), (std::vector<std::string>{"5"}));
  ExpectClosesOnFinish();
}

TEST_F(WizardRunTest, BothCustomerAndSupplierModelsRunToTheEnd) {
  Open();
  RunModel(kCustSuppNoWriteAccountModel, shop.source);
  EXPECT_EQ(StepLines(), (std::vector<std::string>{"√ 清除 [Sales60].[dbo].[Customer] 中的数据 完成！",
                                                             "√ 清除 [Sales60].[dbo].[Supplier] 中的数据 完成！",
                                                             "√ 清除 [Sales60].[dbo].[Region] 中的数据 完成！",
                                                             "√ 导入数据到 [Sales60].[dbo].[Region] 完成！",
                                                             "√ 导入数据到 [Sales60].[dbo].[Customer] 完成！",
                                                             "√ 导入数据到 [Sales60].[dbo].[Supplier] 完成！"}));
  EXPECT_EQ(ReconcileLines().size(), 3u);
  ExpectReconciled("Customer");
  EXPECT_EQ(LastBox(), "升级完成！");
  EXPECT_EQ(shop.Query("select count(*) from CustAcc"), (std::vector<std::string>{"0"}));
  ExpectClosesOnFinish();

  toolkit.boxes.clear();
  Open();
  RunModel(kCustSuppWriteAccountModel, shop.source);
  const auto lines = StepLines();
  ASSERT_EQ(lines.size(), 14u);
  ExpectReconciled("Supplier");
  EXPECT_EQ(LinesStartingWith("相符 CustAcc 期初余额").size(), 1u);
  EXPECT_EQ(LinesStartingWith("相符 SuppAcc 期初余额").size(), 1u);
  EXPECT_EQ(lines.front(), "√ 清除 [Sales60].[dbo].[CustAcc] 中的数据 完成！");
  EXPECT_EQ(lines.back(), "√ 执行存储过程 WriteSuppAcc 完成！");
  EXPECT_EQ(w().ProgressBar->value(), 100);
  EXPECT_EQ(Text(w().labPercent->text()), "100%");
  ASSERT_EQ(toolkit.boxes.size(), 1u) << LastBox();
  EXPECT_EQ(LastBox(), "升级完成！");
  EXPECT_NE(shop.Query("select count(*) from CustAcc"), (std::vector<std::string>{"0"}));
  EXPECT_NE(shop.Query("select count(*) from SuppAcc"), (std::vector<std::string>{"0"}));
  ExpectClosesOnFinish();
}

TEST_F(WizardRunTest, BothGoodsModelsRunToTheEnd) {
  Open();
  RunModel(kGoodsNoWriteCustodyModel, shop.source);
  EXPECT_EQ(StepLines().size(), 8u);
  ExpectReconciled("Goods");
  EXPECT_EQ(LastBox(), "升级完成！");
  EXPECT_EQ(shop.Query("select count(*) from bBalance"), (std::vector<std::string>{"0"}));
  ExpectClosesOnFinish();

  toolkit.boxes.clear();
  Open();
  RunModel(kGoodsWriteCustodyModel, shop.source);
  const auto lines = StepLines();
  ASSERT_EQ(lines.size(), 16u);
  ExpectReconciled("bBalance");
  EXPECT_EQ(LinesStartingWith("相符 Custody 期初库存").size(), 1u);
  EXPECT_EQ(lines.front(), "√ 清除 [Sales60].[dbo].[Custody] 中的数据 完成！");
  EXPECT_EQ(lines.back(), "√ 执行存储过程 WriteCustody 完成！");
  EXPECT_EQ(w().ProgressBar->value(), 100);
  ASSERT_EQ(toolkit.boxes.size(), 1u) << LastBox();
  EXPECT_EQ(LastBox(), "升级完成！");
  EXPECT_NE(shop.Query("select count(*) from Custody"), (std::vector<std::string>{"0"}));
  ExpectClosesOnFinish();
}

TEST_F(WizardRunTest, TheDefaultSchemeRunsToTheEnd) {
  Open();
  RunModel(kNormalModel, shop.source);
  const auto lines = StepLines();
  ASSERT_EQ(lines.size(), 22u);
  ExpectReconciled("Member");
  for (const auto& line : lines) EXPECT_NE(line.find(" 完成！"), std::string::npos) << line;
  EXPECT_EQ(lines.front(), "√ 删除存储过程 ClearUserData 完成！");
  EXPECT_EQ(lines.back(), "√ 导入数据到 [Sales60].[dbo].[Member] 完成！");
  EXPECT_EQ(w().TaskCount, 22);
  EXPECT_EQ(w().ProgressBar->value(), 100);
  EXPECT_EQ(Text(w().labPercent->text()), "100%");
  EXPECT_EQ(Text(w().labDoing->text()), "升级完成！");
  ASSERT_EQ(toolkit.boxes.size(), 1u) << LastBox();
  EXPECT_EQ(LastBox(), "升级完成！");
  EXPECT_NE(shop.Query("select count(*) from Custody"), (std::vector<std::string>{"0"}));
  ExpectEndButtons();
  ExpectClosesOnFinish();
}

// The same pages with a server reached over the network: the shop's server
// served over TDS and named "127.0.0.1,port".
TEST_F(WizardRunTest, ANetworkServerNameWorksOnTheDestinationPageAndInTheRun) {
  sqlsrv::tds::EndpointConfig config;
  config.folder = shop.server_folder;
  config.server_name = "SHOP";
  sqlsrv::tds::Listener listener(config, sqlsrv::tds::ListenAddress{"127.0.0.1", 0}, 8);
  std::thread serving([&] { listener.Run(); });
  shop.server = "127.0.0.1," + std::to_string(listener.port());
  auto& w = Open();
  ToDestinationPage(shop.source, "", kNormalModel);
  FillDestination(shop.server, "sa", EmbeddedShop::kPassword);
  w.cmdTryLoginSQL->click();
  EXPECT_EQ(LastBox(), "连接成功！");
  EXPECT_EQ(Items(*w.combDestinationDB), (std::vector<std::string>{"master", "tempdb", "model", "msdb", "Sales60"}));
  w.combDestinationDB->setEditText(QString::fromStdString(EmbeddedShop::kDatabase));
  // The check before the run reads the definitions over the network too;
  // the sample's one over-long goods name is accepted.
  toolkit.findings_answers = {RecordingToolkit::Press::kContinue};
  Next();
  EXPECT_EQ(Page(), 5) << LastBox();
  ASSERT_EQ(toolkit.findings.size(), 1u);
  EXPECT_TRUE(toolkit.findings[0].can_continue);
  EXPECT_EQ(StepLines().size(), 22u);
  ExpectReconciled("Customer");
  EXPECT_EQ(LastBox(), "升级完成！");
  EXPECT_NE(shop.Query("select count(*) from Custody"), (std::vector<std::string>{"0"}));
  listener.Stop();
  serving.join();
}

TEST_F(WizardRunTest, FourAndEightTaskRunsShowTheirShareOnBarAndLabel) {
  auto four = Register("Korvel.TestChain4", [] { return std::make_shared<testing_support::ChainedPlan>(CountedSteps(4)); });
  auto eight =
      Register("Korvel.TestChain8", [] { return std::make_shared<testing_support::ChainedPlan>(CountedSteps(8)); });
  TempDir models;
  WriteModelList(models.path(), {{"四步", "TestChain4", "0", "1", "四个任务", "1"},
                                 {"八步", "TestChain8", "0", "1", "八个任务", "2"}});
  struct Case {
    int row;
    std::vector<int> bar;
    std::vector<std::string> percent;  // as each finish event arrives, then at the end
  };
  const Case cases[] = {
      {0, {25, 50, 75, 100}, {"0%", "25%", "50%", "75%", "100%"}},
      {1, {12, 25, 38, 50, 62, 75, 88, 100}, {"0%", "13%", "25%", "38%", "50%", "63%", "75%", "88%", "100%"}},
  };
  for (const auto& c : cases) {
    toolkit.boxes.clear();
    Open(models.path());
    std::vector<int> bar;
    QObject::connect(w().ProgressBar, &QProgressBar::valueChanged, [&](int v) { bar.push_back(v); });
    std::vector<std::string> percent;
    toolkit.on_do_events = [&] {
      const std::string now = Text(w().labPercent->text());
      if (percent.empty() || percent.back() != now) percent.push_back(now);
    };
    RunModel(c.row, shop.source);
    toolkit.on_do_events();
    EXPECT_EQ(bar, c.bar) << c.row;
    EXPECT_EQ(percent, c.percent) << c.row;
    EXPECT_EQ(w().lstProgress->count(), static_cast<int>(c.bar.size()));
    EXPECT_EQ(Text(w().lstProgress->item(0)->text()), "√ 第 1 步 完成！");
    EXPECT_EQ(LastBox(), "升级完成！");
    toolkit.on_do_events = nullptr;
  }
}

TEST_F(WizardRunTest, AFailedStepEndsInTheFailureTextWithTheWindowClosable) {
  const std::string bad = shop.WriteNamelessEmployeeSource("bad.mdb");
  const auto employees_before = shop.Query("select count(*) from Employee");
  Open();
  std::vector<bool> busy_at_box;
  toolkit.on_box = [&](const Box&) { busy_at_box.push_back(toolkit.busy); };
  RunModel(kEmployeeModel, bad);

  ASSERT_EQ(toolkit.boxes.size(), 2u);
  // First the plan's report of the failed step, then the run's failure.
  EXPECT_EQ(toolkit.boxes[0].text.rfind("导入数据到 [Sales60].[dbo].[Employee] failed\r\n", 0), 0u)
      << toolkit.boxes[0].text;
  EXPECT_NE(toolkit.boxes[0].text.find("Cannot insert the value NULL into column 'Name'"), std::string::npos);
  EXPECT_EQ(toolkit.boxes[0].icon, MsgBoxIcon::kNone);
  EXPECT_EQ(toolkit.boxes[0].title, "Korvel");
  EXPECT_EQ(toolkit.boxes[1].icon, MsgBoxIcon::kWarning);
  EXPECT_EQ(toolkit.boxes[1].title, "提示");
  EXPECT_NE(toolkit.boxes[1].text.find("Korvel_Employee"), std::string::npos) << toolkit.boxes[1].text;
  EXPECT_EQ(busy_at_box, (std::vector<bool>{true, false}));

  EXPECT_EQ(Text(w().labDoing->text()), "升级失败：" + toolkit.boxes[1].text);
  EXPECT_EQ(Lines(*w().lstProgress), (std::vector<std::string>{"√ 清除 [Sales60].[dbo].[Employee] 中的数据 完成！"}));
  EXPECT_EQ(w().ProgressBar->value(), 50);
  EXPECT_EQ(Text(w().labPercent->text()), "50%");
  ExpectEndButtons();
  EXPECT_EQ(shop.Query("select count(*) from Employee"), employees_before);
  ExpectClosesOnFinish();
}

TEST_F(WizardRunTest, APlanClassThatDoesNotExistEndsTheRunAtOnce) {
  TempDir models;
  WriteModelList(models.path(), {{"无此方案", "C5to6Nothing", "0", "1", "不存在的方案", "1"}});
  const auto departs_before = shop.Query("select count(*) from Depart");
  Open(models.path());
  RunModel(0, shop.source);
  ASSERT_EQ(toolkit.boxes.size(), 1u);
  EXPECT_NE(LastBox().find("Korvel.C5to6Nothing"), std::string::npos) << LastBox();
  EXPECT_EQ(toolkit.boxes[0].icon, MsgBoxIcon::kWarning);
  EXPECT_EQ(Text(w().labDoing->text()).rfind("升级失败：", 0), 0u);
  EXPECT_EQ(w().lstProgress->count(), 0);
  EXPECT_EQ(shop.Query("select count(*) from Depart"), departs_before);
  ExpectEndButtons();
  ExpectClosesOnFinish();
}

TEST_F(WizardRunTest, TheWindowStaysLiveAndUnclickableThroughALongSilentStep) {
  BlockingRecord record;
  auto registration = Register("Korvel.TestBlocking", [&record] { return std::make_shared<BlockingPlan>(record); });
  TempDir models;
  WriteModelList(models.path(), {{"长步骤", "TestBlocking", "0", "1", "一步很长", "1"}});
  Open(models.path());

  struct During {
    bool seen = false, running = false, prev = true, next = true, cancel = true, busy = false, closed = true;
    std::string caption;
    int lines_before = 0, lines_after = 0;
  } during;
  // Runs on the window's thread while the plan's step is still going.
  QTimer::singleShot(100, &w(), [&] {
    during.seen = true;
    during.running = w().running();
    during.prev = w().cmdPrev->isEnabled();
    during.next = w().cmdNext->isEnabled();
    during.cancel = w().cmdCancel->isEnabled();
    during.caption = Text(w().cmdNext->text());
    during.busy = toolkit.busy;
    during.closed = w().close();
    during.lines_before = w().lstProgress->count();
    w().cmdNext->click();
    w().cmdCancel->click();
    during.lines_after = w().lstProgress->count();
    record.Release();
  });
  RunModel(0, shop.source);

  ASSERT_TRUE(during.seen);
  EXPECT_TRUE(during.running);
  EXPECT_FALSE(during.prev || during.next || during.cancel);
  EXPECT_EQ(during.caption, "完成");
  EXPECT_TRUE(during.busy);
  EXPECT_FALSE(during.closed);
  EXPECT_EQ(during.lines_after, during.lines_before);
  EXPECT_EQ(LastBox(), "升级完成！");
  ExpectEndButtons();

  // The plan lived on one thread, not the window's.
  ASSERT_EQ(record.threads.size(), 4u);
  for (const auto& id : record.threads) EXPECT_EQ(id, record.threads[0]);
  EXPECT_NE(record.threads[0], std::this_thread::get_id());
  // It received the descriptors with their provider names.
  EXPECT_EQ(record.source, (std::vector<std::string>{"Microsoft.Jet.OLEDB.4.0", shop.source, shop.source, "", "",
                                                     "False", ""}));
  EXPECT_EQ(record.destination, (std::vector<std::string>{"SQLOLEDB", shop.server, "Sales60", "sa",
                                                          EmbeddedShop::kPassword, "False", ""}));
  EXPECT_EQ(w().TaskCount, 0);
}

}  // namespace
}  // namespace wizard_testing
