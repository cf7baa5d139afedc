// The wizard's check before the run, its reconciliation after it, the
// report it saves and the entries it remembers, on the embedded server.
#include <QAbstractItemModel>
#include <QCheckBox>
#include <QListWidgetItem>
#include <QSettings>
#include <QTableWidget>
#include <QTimer>

#include <cstdio>

#include "library/interface/ipackage.h"
#include "platform/com/json.h"
#include "platform/dts/model.h"
#include "platform/port/files.h"
#include <thread>

#include "tests/support/check_cases.h"
#include "tests/support/fault_proxy.h"
#include "tests/support/files.h"
#include "tests/support/served_folder.h"
#include "tests/support/shop.h"
#include "tests/wizard/wizard_fixture.h"
#include "wizard/fix_editor.h"

namespace wizard_testing {
namespace {

using testing_support::EmbeddedShop;
using com::Json;
using testing_support::ReadFile;
using testing_support::ShellQuote;
using Press = RecordingToolkit::Press;

constexpr int kNormalModel = 0;  // rows of the shipped model list
constexpr int kDepartModel = 2;
constexpr int kCustSuppNoWriteAccountModel = 4;
constexpr int kCustSuppWriteAccountModel = 5;
constexpr int kGoodsNoWriteCustodyModel = 6;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class WizardAssuranceTest : public WizardTest {
 protected:
  // From page 1 through Next on page 4 with the model of `model_row`,
  // `source` and the shop's database; the check box as `check` says.
  void Upgrade(int model_row, const std::string& source, bool check = true) {
    ToDestinationPage(source, "", model_row);
    FillDestination(shop.server, "sa", EmbeddedShop::kPassword);
    w().combDestinationDB->setEditText(QString::fromStdString(EmbeddedShop::kDatabase));
    w().chkCheckFirst->setChecked(check);
    Next();
  }

  // A 5.6 file whose third customer is in region 7, which it does not have.
  std::string MissingRegionSource() {
    return shop.WriteSource("regions.mdb", {{"Region", "RegionID\tClass\tRegCode\tRegName\n1\t1\t01\t东区\n"},
                                            {"Customer", "UnitID\tRegionID\nC1\t1\nC2\t1\nC3\t7\n"}});
  }

  std::vector<std::string> ProgressLinesStartingWith(const std::string& prefix) {
    std::vector<std::string> lines;
    for (const auto& l : Lines(*w().lstProgress)) {
      if (l.rfind(prefix, 0) == 0) lines.push_back(l);
    }
    return lines;
  }

  EmbeddedShop shop;
};

TEST_F(WizardAssuranceTest, ACleanSourceGoesFromTheCheckStraightIntoTheRunAndIsReconciled) {
  auto& w = Open();
  EXPECT_TRUE(w.chkCheckFirst->isChecked());  // on unless turned off
  Upgrade(kDepartModel, shop.source);
  ASSERT_EQ(Page(), 5) << LastBox();
  EXPECT_TRUE(toolkit.findings.empty());
  // The check's lines gave way to the run's; the recount of the sample's
  // five departments ends the list.
  EXPECT_EQ(Lines(*w.lstProgress), (std::vector<std::string>{"√ 清除 [Sales60].[dbo].[Depart] 中的数据 完成！",
                                                            "√ 导入数据到 [Sales60].[dbo].[Depart] 完成！",
                                                            "相符 Depart 行数：源 5 行；目的 5 行"}));
  EXPECT_EQ(LastBox(), "升级完成！");
  EXPECT_EQ(Text(w.labDoing->text()), "升级完成！");
  EXPECT_EQ(Text(w.labPercent->text()), "100%");
  EXPECT_EQ(shop.Query("select count(*) from Depart"), (std::vector<std::string>{"5"}));

  // The report holds the run, the check made before it and the recount.
  const auto& report = w.report();
  EXPECT_STREQ(assurance::OutcomeName(report.result), "success");
  EXPECT_EQ(report.model, "C5to6Depart");
  EXPECT_EQ(report.model_name, "导入部门档案");
  EXPECT_EQ(report.user, "sa");
  ASSERT_TRUE(report.check.has_value());
  EXPECT_FALSE(report.check->Fails() || report.check->Cuts());
  ASSERT_EQ(report.check->tasks.size(), 1u);
  EXPECT_EQ(report.check->tasks[0].rows_read, 5);
  ASSERT_EQ(report.reconciliation.size(), 1u);
  EXPECT_TRUE(report.reconciliation[0].match);
  EXPECT_EQ(report.source.sha256.size(), 64u);
  EXPECT_TRUE(w.cmdSaveReport->isVisible());
}

TEST_F(WizardAssuranceTest, RowsThatWouldFailStopBeforeAnythingIsWrittenAndTheListCanBeSaved) {
  const std::string source = MissingRegionSource();
  const auto before = shop.Snapshot();
  auto& w = Open();
  const std::string csv = shop.dir.File("清单.csv");
  toolkit.findings_answers = {Press::kSaveList, Press::kContinue, Press::kBack};
  toolkit.save_answers = {csv};
  Upgrade(kCustSuppNoWriteAccountModel, source);

  ASSERT_EQ(toolkit.findings.size(), 1u);
  const auto& dialog = toolkit.findings[0];
  EXPECT_FALSE(dialog.can_continue);  // "继续升级" is not offered, so it was not taken
  EXPECT_TRUE(dialog.can_save_list);
  EXPECT_TRUE(Contains(dialog.heading, "升级将失败：1 行无法写入")) << dialog.heading;
  ASSERT_EQ(dialog.lines.size(), 2u);
  EXPECT_EQ(dialog.lines[0], "【引用不存在】共 1 处");
  EXPECT_EQ(dialog.lines[1].rfind("  [引用不存在] Customer 第 3 行（UnitID=C3） 列“RegionID”，Region 中没有：", 0), 0u)
      << dialog.lines[1];

  EXPECT_TRUE(dialog.can_fix);

  // The list went to the file the operator chose, as the fix list korvel
  // check --fixes writes, for a spreadsheet.
  const std::string saved = ReadFile(csv);
  EXPECT_EQ(saved.rfind("\xEF\xBB\xBF表,行号,键,列,当前值,问题,新值,操作\r\n", 0), 0u) << saved;
  EXPECT_TRUE(Contains(saved, "\r\nCustomer,3,UnitID=C3,RegionID,7,\"引用不存在（Region 中没有）：INSERT statement"))
      << saved;
  EXPECT_EQ(toolkit.boxes.back().text, "清单已保存到“" + csv + "”。");

  // 返回: page 4 as it was, nothing written anywhere.
  EXPECT_EQ(Page(), 4);
  EXPECT_EQ(Text(w.cmdNext->text()), "下一步(&N)");
  EXPECT_TRUE(w.cmdNext->isEnabled());
  EXPECT_TRUE(w.cmdPrev->isEnabled());
  EXPECT_TRUE(w.cmdCancel->isEnabled());
  EXPECT_EQ(w.lstProgress->count(), 0);
  EXPECT_EQ(Text(w.combDestinationDB->currentText()), "Sales60");
  EXPECT_FALSE(toolkit.busy);
  EXPECT_EQ(shop.Snapshot(), before);
  EXPECT_EQ(w.destination_connection().Provider, "1");  // still a code: no run began

  // Turned off, the same file runs and fails at the Customer step as it always did.
  toolkit.boxes.clear();
  w.chkCheckFirst->setChecked(false);
  Next();
  ASSERT_EQ(Page(), 5);
  EXPECT_EQ(toolkit.findings.size(), 1u);
  ASSERT_EQ(toolkit.boxes.size(), 2u);
  EXPECT_EQ(toolkit.boxes[0].text.rfind("导入数据到 [Sales60].[dbo].[Customer] failed\r\n", 0), 0u)
      << toolkit.boxes[0].text;
  EXPECT_TRUE(Contains(toolkit.boxes[0].text, "FK_Customer_Region")) << toolkit.boxes[0].text;
  EXPECT_EQ(Text(w.labDoing->text()).rfind("升级失败：", 0), 0u);
  EXPECT_TRUE(ProgressLinesStartingWith("相符").empty());
  EXPECT_EQ(shop.Snapshot(), before);
  EXPECT_STREQ(assurance::OutcomeName(w.report().result), "failed");
  EXPECT_FALSE(w.report().check.has_value());
  EXPECT_TRUE(w.cmdSaveReport->isVisible());
}

TEST_F(WizardAssuranceTest, RowsFixedInTheWizardGiveACopyThatIsCheckedAgainAndUpgraded) {
  const std::string source = MissingRegionSource();
  const std::string before = ReadFile(source);
  auto& w = Open();
  toolkit.findings_answers = {Press::kFix};
  // First a region that is not a number: the table opens again as it was.
  toolkit.fix_edits.push_back([](std::vector<assurance::FixLine>& lines) {
    lines.at(0).new_value = "东区";
    lines.at(0).action = assurance::FixAction::kSet;
    return true;
  });
  toolkit.fix_edits.push_back([](std::vector<assurance::FixLine>& lines) {
    EXPECT_EQ(lines.at(0).new_value, "东区");
    lines.at(0).new_value = "1";
    return true;
  });
  Upgrade(kCustSuppNoWriteAccountModel, source);

  ASSERT_EQ(toolkit.fix_tables.size(), 2u);
  const std::vector<assurance::FixLine>& offered = toolkit.fix_tables[0];
  ASSERT_EQ(offered.size(), 1u);
  EXPECT_EQ(offered[0].table, "Customer");
  EXPECT_EQ(offered[0].row, 3);
  EXPECT_EQ(offered[0].key, "UnitID=C3");
  EXPECT_EQ(offered[0].column, "RegionID");
  EXPECT_EQ(offered[0].current, "7");
  ASSERT_GE(toolkit.boxes.size(), 3u);
  EXPECT_TRUE(Contains(toolkit.boxes[0].text, "“东区”不是整数")) << toolkit.boxes[0].text;

  // The copy beside the source is checked (clean: no second dialog) and upgraded.
  const std::string copy = shop.dir.File("regions-修正.mdb");
  EXPECT_TRUE(Contains(toolkit.boxes[1].text, "已写出修正后的副本“" + copy + "”（1 处修改）")) << toolkit.boxes[1].text;
  EXPECT_EQ(toolkit.findings.size(), 1u);
  ASSERT_EQ(Page(), 5) << LastBox();
  EXPECT_EQ(LastBox(), "升级完成！");
  EXPECT_EQ(Text(w.txtSourceDB->text()), copy);
  EXPECT_EQ(shop.Query("select UnitID, RegionID from Customer order by UnitID"),
            (std::vector<std::string>{"C1\t1", "C2\t1", "C3\t1"}));
  EXPECT_EQ(ReadFile(source), before);

  // The run's report names the copy and lists what was changed in the shop's file.
  ASSERT_TRUE(w.report().fixes.has_value());
  EXPECT_EQ(w.report().source.path, copy);
  EXPECT_EQ(w.report().fixes->source.path, source);
  ASSERT_EQ(w.report().fixes->changes.size(), 1u);
  EXPECT_EQ(w.report().fixes->changes[0].old_value, "7");
  EXPECT_EQ(w.report().fixes->changes[0].new_value, "1");
}

TEST_F(WizardAssuranceTest, TheFixTableShowsTheLinesAndGivesBackTheOperatorsEdits) {
  std::vector<assurance::FixLine> lines(3);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    lines[i].table = "Customer";
    lines[i].row = static_cast<std::int64_t>(i + 1);
    lines[i].column = "Class";
    lines[i].current = "x";
  }
  velmora::FixEditorDialog box(nullptr, "heading", lines);
  QTableWidget& t = *box.table();
  ASSERT_EQ(t.rowCount(), 3);
  EXPECT_EQ(Text(t.item(1, velmora::FixEditorDialog::kRow)->text()), "2");
  EXPECT_FALSE(t.item(0, velmora::FixEditorDialog::kCurrent)->flags() & Qt::ItemIsEditable);
  EXPECT_TRUE(t.item(0, velmora::FixEditorDialog::kNewValue)->flags() & Qt::ItemIsEditable);
  t.item(0, velmora::FixEditorDialog::kNewValue)->setText(QStringLiteral("批发"));
  t.item(2, velmora::FixEditorDialog::kRemove)->setCheckState(Qt::Checked);
  const auto edited = box.lines();
  EXPECT_EQ(edited[0].action, assurance::FixAction::kSet);
  EXPECT_EQ(edited[0].new_value, "批发");
  EXPECT_EQ(edited[1].action, assurance::FixAction::kNone);
  EXPECT_EQ(edited[2].action, assurance::FixAction::kDelete);
}

TEST_F(WizardAssuranceTest, ValuesThatWouldBeCutAreShownAndTheRunGoesOnWhenAccepted) {
  // The sample holds one goods name of 63 characters; GdsName keeps 50.
  auto& w = Open();
  toolkit.findings_answers = {Press::kContinue};
  Upgrade(kGoodsNoWriteCustodyModel, shop.source);
  ASSERT_EQ(toolkit.findings.size(), 1u);
  const auto& dialog = toolkit.findings[0];
  EXPECT_TRUE(dialog.can_continue);
  EXPECT_FALSE(dialog.can_save_list);
  EXPECT_TRUE(Contains(dialog.heading, "1 行的值将被截断")) << dialog.heading;
  ASSERT_EQ(dialog.lines.size(), 2u);
  EXPECT_EQ(dialog.lines[0], "【将截断】共 1 处");
  EXPECT_TRUE(Contains(dialog.lines[1], "[将截断] Goods 第 1 行")) << dialog.lines[1];
  EXPECT_TRUE(Contains(dialog.lines[1], "列“GdsName”：长度 63 超过列的长度 50，将截为 50")) << dialog.lines[1];

  ASSERT_EQ(Page(), 5);
  EXPECT_EQ(LastBox(), "升级完成！");
  EXPECT_FALSE(ProgressLinesStartingWith("相符 Goods 行数").empty());
  // The run cut the value the check named, and the report says so.
  const auto& steps = w.report().steps;
  bool cut = false;
  for (const auto& s : steps) {
    for (const auto& t : s.stats.truncations) {
      cut = cut || (t.column == "GdsName" && t.count == 1 && !t.first_rows.empty() && t.first_rows[0].position == 1);
    }
  }
  EXPECT_TRUE(cut);
  ASSERT_TRUE(w.report().check.has_value());
  EXPECT_TRUE(w.report().check->Cuts());

  // 返回 on the same dialog leaves page 4 with nothing written.
  toolkit.findings.clear();
  Open();
  const auto before = shop.Snapshot();
  toolkit.findings_answers = {Press::kBack};
  Upgrade(kGoodsNoWriteCustodyModel, shop.source);
  EXPECT_EQ(toolkit.findings.size(), 1u);
  EXPECT_EQ(Page(), 4);
  EXPECT_EQ(shop.Snapshot(), before);
}

TEST_F(WizardAssuranceTest, CancelStopsTheCheckAndReturnsToTheDestinationPage) {
  const auto before = shop.Snapshot();
  auto& w = Open();
  bool cancel_enabled = false, prev_enabled = true;
  // Cancel as soon as the first import's line shows.
  QObject::connect(w.lstProgress->model(), &QAbstractItemModel::rowsInserted, &w, [&] {
    if (!w.running() && Text(w.lstProgress->item(0)->text()).rfind("正在检查 ", 0) == 0) {
      cancel_enabled = w.cmdCancel->isEnabled();
      prev_enabled = w.cmdPrev->isEnabled();
      w.cmdCancel->click();
    }
  });
  Upgrade(kCustSuppWriteAccountModel, shop.source);
  EXPECT_TRUE(cancel_enabled);
  EXPECT_FALSE(prev_enabled);
  EXPECT_EQ(Page(), 4);
  EXPECT_TRUE(w.isVisible());  // Cancel stopped the check, not the wizard
  EXPECT_TRUE(toolkit.findings.empty());
  EXPECT_TRUE(toolkit.boxes.empty() || LastBox() == "连接成功！") << LastBox();
  EXPECT_EQ(shop.Snapshot(), before);
}

TEST_F(WizardAssuranceTest, ADestinationThatDoesNotReconcileEndsSaying) {
  // A 6.0 database whose new customers are out of use (the default scheme
  // leaves IsUsed to the table): the posting finds nobody, every step
  // succeeds, and the ledger does not match the source.
  std::string script = ReadFile(testing_support::TestDataDir() + "/../../data/sql/create60.sql");
  const std::string in_use = "[DF_Customer_IsUsed] DEFAULT (1)";
  ASSERT_NE(script.find(in_use), std::string::npos);
  script.replace(script.find(in_use), in_use.size(), "[DF_Customer_IsUsed] DEFAULT (0)");
  testing_support::WriteFile(shop.dir.File("unused.sql"), script);
  const std::string other = "file:" + shop.dir.File("srv2");
  const auto created = testing_support::RunCommand(
      "KPW=" + std::string(EmbeddedShop::kPassword) + " " + ShellQuote(testing_support::BinDir() + "/korvel") +
      " create-database --server " + ShellQuote(other) + " --database Sales60 --password-env KPW --script " +
      ShellQuote(shop.dir.File("unused.sql")));
  ASSERT_EQ(created.exit_code, 0) << created.err;
  shop.server = other;

  auto& w = Open();
  Upgrade(kNormalModel, shop.source, false);
  ASSERT_EQ(Page(), 5);
  EXPECT_EQ(Text(w.labPercent->text()), "升级完成，但对账不符");
  EXPECT_EQ(LastBox().rfind("升级完成，但对账不符", 0), 0u) << LastBox();
  EXPECT_EQ(toolkit.boxes.back().icon, velmora::MsgBoxIcon::kWarning);
  const auto mismatched = ProgressLinesStartingWith("不符 ");
  ASSERT_EQ(mismatched.size(), 1u);
  EXPECT_EQ(mismatched[0].rfind("不符 CustAcc 期初余额：源 ", 0), 0u) << mismatched[0];
  EXPECT_TRUE(Contains(mismatched[0], "；目的 0 行，合计 0.00")) << mismatched[0];
  // The mismatching line stands out; the matching ones do not.
  for (int i = 0; i < w.lstProgress->count(); ++i) {
    const QListWidgetItem* item = w.lstProgress->item(i);
    EXPECT_EQ(item->font().bold(), Text(item->text()).rfind("不符 ", 0) == 0) << Text(item->text());
  }
  EXPECT_FALSE(ProgressLinesStartingWith("相符 SuppAcc 期初余额").empty());
  EXPECT_STREQ(assurance::OutcomeName(w.report().result), "mismatch");
  EXPECT_TRUE(w.cmdNext->isEnabled());
  EXPECT_FALSE(toolkit.busy);
}

// A plan whose run succeeds and takes the source file away with it: the
// recount after it cannot read the source.
class SourceTakingPlan final : public korvel::IPackage {
 public:
  void KorvelInit(korvel::CConnection& source, korvel::CConnection&) override {
    path_ = source.DataSource;
    package_ = dts::Package::Create();
  }
  // Moved away rather than deleted: Wine keeps a deleted file's name while
  // a handle to it is open, where Linux and Windows 10's NTFS drop it.
  void KorvelExec() override {
    port::OsError error;
    if (!port::RenameOver(path_, path_ + ".gone", &error)) removal_error_ = error.text;
    package_.reset();
  }
  std::shared_ptr<dts::Package> GetPackage() override { return package_; }
  static inline std::string removal_error_;  // why the source could not be removed

 private:
  std::string path_;
  std::shared_ptr<dts::Package> package_;
};

TEST_F(WizardAssuranceTest, ARecountThatCannotBeMadeIsReportedNotSwallowed) {
  auto registration = Register("Korvel.TestSourceTaking", [] { return std::make_shared<SourceTakingPlan>(); });
  testing_support::TempDir models;
  WriteModelList(models.path(), {{"拿走源文件", "TestSourceTaking", "0", "1", "运行后源文件不在了", "1"}});
  const std::string source = shop.WriteSource("gone.mdb", {{"Depart", "DepID\tDepCode\tDepName\n1\tD1\t甲\n"}});
  auto& w = Open(models.path());
  SourceTakingPlan::removal_error_.clear();
  Upgrade(0, source, false);
  ASSERT_EQ(Page(), 5);
  ASSERT_EQ(SourceTakingPlan::removal_error_, "");
  ASSERT_FALSE(toolkit.boxes.empty());
  EXPECT_EQ(toolkit.boxes.back().icon, velmora::MsgBoxIcon::kWarning);
  EXPECT_EQ(LastBox().rfind("升级已完成，但无法对账：", 0), 0u) << LastBox();
  EXPECT_TRUE(Contains(LastBox(), "gone.mdb")) << LastBox();
  EXPECT_EQ(Text(w.labDoing->text()), LastBox());
  EXPECT_TRUE(w.cmdNext->isEnabled());
  EXPECT_FALSE(toolkit.busy);
  EXPECT_STREQ(assurance::OutcomeName(w.report().result), "unreconciled");
  EXPECT_TRUE(w.cmdSaveReport->isVisible());
}

// The shop's server over the network behind a proxy that breaks the
// connection around the commit: the page says what the database then holds.
TEST_F(WizardAssuranceTest, ALostCommitAnswerEndsInWhatTheDatabaseHolds) {
  using Fault = testing_support::FaultProxy::Fault;
  const testing_support::ServedFolder served(shop.server_folder);
  struct Case {
    Fault fault;
    std::string page;  // how labDoing begins
    bool committed;    // what the database then holds: the sample's five departments
    std::string result;  // the report's
  };
  const Case cases[] = {
      {Fault::kLoseCommit, "升级失败：", false, "failed"},
      {Fault::kLoseCommitAnswer, "升级完成！", true, "success"},
      {Fault::kLoseCommitAnswerAndRefuse, "提交结果未知：无法重新连接目的数据库核对", true, "unknown"},
      {Fault::kRefuseAfterCommit, "升级已完成，但无法对账：", true, "unreconciled"},
  };
  for (const auto& c : cases) {
    const std::string before = shop.Query("select count(*) from Depart").at(0);
    toolkit.boxes.clear();
    testing_support::FaultProxy proxy(served.port(), c.fault);
    shop.server = "127.0.0.1," + std::to_string(proxy.port());
    auto& w = Open();
    Upgrade(kDepartModel, shop.source, false);
    ASSERT_EQ(Page(), 5) << LastBox();
    const std::string page = Text(w.labDoing->text());
    EXPECT_EQ(page.rfind(c.page, 0), 0u) << page;
    EXPECT_EQ(shop.Query("select count(*) from Depart").at(0), c.committed ? "5" : before) << page;
    EXPECT_EQ(assurance::OutcomeName(w.report().result), c.result) << page;
    // Never a failure over data that went in.
    if (c.committed) {
      EXPECT_EQ(page.find("失败"), std::string::npos) << page;
    }
    EXPECT_TRUE(w.cmdNext->isEnabled());
    EXPECT_FALSE(toolkit.busy);
  }
}

TEST_F(WizardAssuranceTest, AStalledServerShowsTheWaitOnThePage) {
  const testing_support::ServedFolder served(shop.server_folder);
  {
    // Nothing either way for 10 s once the departments' bulk load has begun.
    testing_support::FaultProxy proxy(served.port(), testing_support::FaultProxy::Fault::kStallDuringLoad);
    shop.server = "127.0.0.1," + std::to_string(proxy.port());
    auto& w = Open();
    std::vector<std::string> shown;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &w, [&] {
      const std::string now = Text(w.labDoing->text());
      if (shown.empty() || shown.back() != now) shown.push_back(now);
    });
    watch.start(100);
    Upgrade(kDepartModel, shop.source, false);
    watch.stop();
    EXPECT_TRUE(proxy.fired());
    bool waited = false;
    for (const auto& text : shown) waited = waited || text == "正在处理: 导入数据到 [Sales60].[dbo].[Depart](等待服务器响应 5 秒…)";
    EXPECT_TRUE(waited) << ::testing::PrintToString(shown);
    EXPECT_EQ(LastBox(), "升级完成！");
  }
}

TEST_F(WizardAssuranceTest, TheSavedReportIsTheRunsReport) {
  auto& w = Open();
  Upgrade(kDepartModel, shop.source);
  ASSERT_EQ(LastBox(), "升级完成！");
  const std::string json = shop.dir.File("报告.json");
  toolkit.save_answers = {json};
  w.cmdSaveReport->click();
  EXPECT_EQ(LastBox(), "报告已保存到“" + json + "”。");
  EXPECT_EQ(toolkit.suggested_names.back().rfind("升级报告-Sales60-", 0), 0u) << toolkit.suggested_names.back();
  const std::string text = ReadFile(json);
  EXPECT_TRUE(Contains(text, "\"result\": \"success\"")) << text;
  EXPECT_TRUE(Contains(text, "{\"item\": \"Depart 行数\", \"source\": \"5 行\", \"destination\": \"5 行\", \"match\": true}"))
      << text;
  EXPECT_TRUE(Contains(text, "\"check\": {")) << text;
  EXPECT_FALSE(Contains(text, EmbeddedShop::kPassword)) << text;

  // A path that cannot be written says so and leaves the page as it is.
  toolkit.save_answers = {shop.dir.File("no-such-folder/r.pdf")};
  w.cmdSaveReport->click();
  EXPECT_EQ(toolkit.boxes.back().icon, velmora::MsgBoxIcon::kWarning);
  EXPECT_TRUE(Contains(LastBox(), "no-such-folder")) << LastBox();
}

// pdftotext's lines of a PDF, without blanks (it places a table's blanks
// where it sees gaps).
std::vector<std::string> PdfLines(const std::string& pdf) {
  const auto r = testing_support::RunCommand("pdftotext -layout " + ShellQuote(pdf) + " -");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  std::vector<std::string> lines;
  std::string line;
  for (char c : r.out + "\n") {
    if (c == '\n' || c == '\f') {
      if (!line.empty()) lines.push_back(line);
      line.clear();
    } else if (c != ' ' && c != '\t' && c != '\r') {
      line += c;
    }
  }
  return lines;
}

// The lines of `pdf` that begin with `start`.
std::vector<std::string> LinesStartingWith(const std::vector<std::string>& lines, const std::string& start) {
  std::vector<std::string> out;
  for (const auto& l : lines) {
    if (l.rfind(start, 0) == 0) out.push_back(l);
  }
  return out;
}

TEST_F(WizardAssuranceTest, TheWizardsReportCarriesTheFiguresKorvelRunsDoes) {
  // The default scheme on the sample, once through the wizard and once
  // with korvel run into a second shop's server: the same source, so the
  // same figures.
  auto& w = Open();
  toolkit.findings_answers = {Press::kContinue};
  Upgrade(kNormalModel, shop.source);
  ASSERT_EQ(LastBox(), "升级完成！");
  const std::string wizard_json = shop.dir.File("wizard.json"), wizard_pdf = shop.dir.File("wizard.pdf");
  toolkit.save_answers = {wizard_json, wizard_pdf};
  w.cmdSaveReport->click();
  w.cmdSaveReport->click();
  ASSERT_EQ(LastBox(), "报告已保存到“" + wizard_pdf + "”。");

  EmbeddedShop other;
  const std::string cli_json = other.dir.File("cli.json"), cli_pdf = other.dir.File("cli.pdf");
  const auto run = testing_support::RunCommand(
      ShellQuote(testing_support::BinDir() + "/korvel") + " run --model C5to6Normal --source " +
      ShellQuote(shop.source) + " --server " + ShellQuote(other.server) + " --user sa --password " +
      EmbeddedShop::kPassword + " --database Sales60 --report " + ShellQuote(cli_json) + " --pdf " + ShellQuote(cli_pdf));
  ASSERT_EQ(run.exit_code, 0) << run.err;

  const Json from_wizard = Json::Parse(ReadFile(wizard_json)), from_cli = Json::Parse(ReadFile(cli_json));
  for (const char* member : {"model", "model_name", "source", "source_size", "source_sha256", "database", "user",
                             "result", "reconciliation"}) {
    EXPECT_EQ(from_wizard[member], from_cli[member]) << member;
  }
  const auto& wizard_steps = from_wizard["steps"].items();
  const auto& cli_steps = from_cli["steps"].items();
  ASSERT_EQ(wizard_steps.size(), cli_steps.size());
  for (std::size_t i = 0; i < cli_steps.size(); ++i) {
    for (const char* member : {"name", "result", "rows_read", "rows_written", "truncations", "statements"}) {
      EXPECT_EQ(wizard_steps[i][member], cli_steps[i][member]) << cli_steps[i]["name"].text() << " " << member;
    }
  }

  // In the PDFs: each step's line up to its seconds, and each
  // reconciliation item's lines, read the same.
  VK_SKIP_ON_WINDOWS("Poppler's pdftotext to read the PDFs back (the JSON reports above agree)");
  const auto wizard_lines = PdfLines(wizard_pdf), cli_lines = PdfLines(cli_pdf);
  for (const Json& step : cli_steps) {
    const std::string name = step["name"].text();
    std::string unbroken;
    for (char c : name) {
      if (c != ' ') unbroken += c;
    }
    const std::string figures = unbroken + "成功" + std::to_string(step["rows_read"].integer()) +
                                std::to_string(step["rows_written"].integer());
    EXPECT_EQ(LinesStartingWith(wizard_lines, figures).size(), 1u) << figures;
    EXPECT_EQ(LinesStartingWith(cli_lines, figures).size(), 1u) << figures;
  }
  for (const Json& item : from_cli["reconciliation"].items()) {
    std::string start;
    for (char c : item["item"].text()) {
      if (c != ' ') start += c;
    }
    EXPECT_EQ(LinesStartingWith(wizard_lines, start), LinesStartingWith(cli_lines, start)) << start;
    EXPECT_FALSE(LinesStartingWith(cli_lines, start).empty()) << start;
  }
  // The wizard's holds the check it made before the run as well.
  EXPECT_FALSE(LinesStartingWith(wizard_lines, "[将截断]Goods第1行").empty());
}

TEST_F(WizardAssuranceTest, TheNextStartOffersTheLastEntriesButNeverThePassword) {
  const std::string settings = shop.dir.File("velmora.ini");
  Open("", settings);
  Upgrade(kDepartModel, shop.source);
  ASSERT_EQ(LastBox(), "升级完成！");

  const std::string stored = ReadFile(settings);
  EXPECT_TRUE(Contains(stored, "Sales60")) << stored;
  EXPECT_FALSE(Contains(stored, EmbeddedShop::kPassword)) << stored;
  const QSettings read(QString::fromStdString(settings), QSettings::IniFormat);
  for (const QString& key : read.allKeys()) EXPECT_FALSE(key.contains(QStringLiteral("password"), Qt::CaseInsensitive));

  auto& again = Open("", settings);
  EXPECT_EQ(Text(again.txtSourceDB->text()), shop.source);
  EXPECT_EQ(Text(again.combDestinationServer->currentText()), shop.server);
  EXPECT_EQ(Text(again.txtDestinationUID->text()), "sa");
  EXPECT_EQ(Text(again.combDestinationDB->currentText()), "Sales60");
  EXPECT_TRUE(again.txtDestinationPWD->text().isEmpty());
  Next();
  EXPECT_EQ(Text(again.ModelList->currentItem()->text()), "导入部门档案");
  // Only at the first list: going back and on again starts at the top.
  Prev();
  Next();
  EXPECT_EQ(again.ModelList->currentRow(), 0);
}

}  // namespace
}  // namespace wizard_testing
