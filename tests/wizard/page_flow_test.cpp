// The wizard's pages: captions, moves and button states, the model list,
// and the source page's file and test. No database server is needed.
#include <QCoreApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QTabBar>
#include <fstream>
#include <functional>

#include "library/interface/errors.h"
#include "platform/jet/writer.h"
#include "wizard/m_try_login.h"
#include "tests/support/files.h"
#include "tests/wizard/wizard_fixture.h"

namespace wizard_testing {
namespace {

using testing_support::TempDir;
using velmora::MsgBoxIcon;

constexpr char kFirstModel[] = "5.6升级到6.0默认方案";

// The shipped model list's rows, from the file it is written from.
std::vector<std::vector<std::string>> ShippedModels() {
  std::ifstream in(testing_support::TestDataDir() + "/../../data/modellist.tsv");
  std::vector<std::vector<std::string>> rows;
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::vector<std::string> fields;
    std::size_t pos = 0;
    for (std::size_t tab; (tab = line.find('\t', pos)) != std::string::npos; pos = tab + 1) {
      fields.push_back(line.substr(pos, tab - pos));
    }
    fields.push_back(line.substr(pos));
    rows.push_back(fields);
  }
  return rows;
}

std::string Detail(const std::string& name, const std::string& source, const std::string& destination,
                   const std::string& summary) {
  return "模    板: " + name + "\n---------\n源 类 型: " + source + "\n---------\n目的类型: " + destination +
         "\n---------\n描    述: " + summary;
}

ModelRow Row(const std::string& name, const std::string& cls, const std::string& source_type,
             const std::string& destination_type) {
  return {name, cls, source_type, destination_type, "说明：" + name, "9"};
}

void ExpectButtons(velmora::FrmMain& w, bool prev, bool next, bool cancel, const char* next_caption) {
  EXPECT_EQ(w.cmdPrev->isEnabled(), prev);
  EXPECT_EQ(w.cmdNext->isEnabled(), next);
  EXPECT_EQ(w.cmdCancel->isEnabled(), cancel);
  EXPECT_EQ(Text(w.cmdNext->text()), next_caption);
}

TEST_F(WizardTest, OpensOnTheWelcomePageWithEveryControlAndCaption) {
  auto& w = Open();
  EXPECT_EQ(Text(w.windowTitle()), "Quenlo 5.X升级到6.X工具");
  EXPECT_EQ(Text(w.objectName()), "frmMain");
  EXPECT_EQ(Page(), 1);
  ExpectButtons(w, false, true, true, "下一步(&N)");
  EXPECT_EQ(Text(w.cmdPrev->text()), "上一步(&B)");
  EXPECT_EQ(Text(w.cmdCancel->text()), "取消(&C)");

  ASSERT_EQ(w.ActiveTabs->count(), 5);
  EXPECT_FALSE(w.ActiveTabs->tabBar()->isVisible());
  const char* pages[] = {"panelStep1", "panelStep2", "panelStep3", "panelStep4", "SSActiveTabPanel1"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Text(w.ActiveTabs->widget(i)->objectName()), pages[i]);

  const std::pair<const char*, const char*> labels[] = {
      {"Label20", "欢迎使用 Quenlo 5.X升级到6.X工具"},
      {"Label2", "使用此工具之前,请注意:"},
      {"Label3", "1.必须保证 源数据库 中的数据是准确无误的。"},
      {"Label22", "2.必须保证 Korvel.dll 与此工具在同一路径下。"},
      {"Label21", "3.必须保证 DTSModelList.mdb 与此工具在同一路径下。"},
      {"Label25", "4.此工具只能用于系统期初导入。"},
      {"Label26", "如已有业务发生, 切勿再使用此工具进行任何操作。"},
      {"Label24", "2007-01-20"},
      {"Label4", "选择模板"},
      {"Label5", "请选择合适的模板"},
      {"Label6", "选择数据源"},
      {"Label7", "您要从何处复制数据？"},
      {"Label18", "选择目的"},
      {"Label17", "您要将数据复制到何处？"},
      {"labTips", "工作进度"},
      {"labDoing", "正在进行: ..."},
      {"labPercent", "0%"},
  };
  for (const auto& [name, caption] : labels) {
    auto* label = w.findChild<QLabel*>(name);
    ASSERT_NE(label, nullptr) << name;
    EXPECT_EQ(Text(label->text()), caption) << name;
  }
  EXPECT_EQ(Text(w.findChild<QLabel*>("Label20")->font().families().front()), "宋体");
  ASSERT_NE(w.findChild<QLabel*>("Image1"), nullptr);
  EXPECT_FALSE(w.findChild<QLabel*>("Image1")->pixmap().isNull());

  const std::pair<QPushButton*, const char*> buttons[] = {
      {w.cmdFilePath, "..."}, {w.cmdTryLoginAccess, "连接"}, {w.cmdTryLoginSQL, "测试连接"}};
  for (const auto& [button, caption] : buttons) EXPECT_EQ(Text(button->text()), caption);

  // Every named control is found by its name.
  for (const char* name : {"ModelList", "txtDetail", "combSourceProvider", "txtSourceDB", "txtDBPwd", "txtSourceUID",
                           "txtSourcePWD", "combDestinationProvider", "combDestinationServer", "txtDestinationUID",
                           "txtDestinationPWD", "combDestinationDB", "lstProgress", "ProgressBar", "cmdPrev",
                           "cmdNext", "cmdCancel"}) {
    EXPECT_NE(w.findChild<QWidget*>(name), nullptr) << name;
  }

  for (QComboBox* box : {w.combSourceProvider, w.combDestinationProvider}) {
    EXPECT_EQ(Items(*box), (std::vector<std::string>{"Microsoft Access", "Microsoft SQL Server 2000"}));
    EXPECT_EQ(box->currentIndex(), -1);
    EXPECT_TRUE(box->isEnabled());
  }
  for (QLineEdit* box : {w.txtDBPwd, w.txtSourcePWD, w.txtDestinationPWD}) {
    EXPECT_EQ(box->echoMode(), QLineEdit::Password);
  }
  // The source page has no user: its user and second password rows are off.
  EXPECT_TRUE(w.txtSourceUID->isHidden());
  EXPECT_TRUE(w.txtSourcePWD->isHidden());
  EXPECT_TRUE(toolkit.boxes.empty());
}

TEST_F(WizardTest, NextAndPreviousMoveOnePageWithEachPagesButtonStates) {
  auto& w = Open();
  const auto models = ShippedModels();
  ASSERT_EQ(models.size(), 8u);

  Next();
  ASSERT_EQ(Page(), 2);
  ExpectButtons(w, true, true, true, "下一步(&N)");
  std::vector<std::string> names;
  for (const auto& m : models) names.push_back(m[0]);
  EXPECT_EQ(Lines(*w.ModelList), names);
  EXPECT_EQ(w.ModelList->currentRow(), 0);
  EXPECT_EQ(Text(w.txtDetail->toPlainText()),
            Detail(kFirstModel, "Microsoft Access", "Microsoft SQL Server 2000", models[0][4]));
  EXPECT_EQ(w.ModelClsName, "C5to6Normal");
  EXPECT_EQ(w.Model, models[0][5]);

  w.ModelList->setCurrentRow(2);
  EXPECT_EQ(w.ModelCNName, models[2][0]);
  EXPECT_EQ(w.ModelClsName, "C5to6Depart");
  EXPECT_EQ(w.SourceType, "0");
  EXPECT_EQ(w.DestinationType, "1");
  EXPECT_EQ(w.Summary, models[2][4]);

  Next();
  ASSERT_EQ(Page(), 3);
  ExpectButtons(w, true, true, true, "下一步(&N)");
  EXPECT_EQ(w.combSourceProvider->currentIndex(), 0);
  EXPECT_EQ(w.combDestinationProvider->currentIndex(), 1);
  EXPECT_FALSE(w.combSourceProvider->isEnabled());
  EXPECT_FALSE(w.combDestinationProvider->isEnabled());

  Prev();
  EXPECT_EQ(Page(), 2);
  Prev();
  EXPECT_EQ(Page(), 1);
  ExpectButtons(w, false, true, true, "下一步(&N)");
  // Nothing before page 1 and nothing after page 5.
  w.MovePage(1, true);
  EXPECT_EQ(Page(), 1);
  w.MovePage(5, false);
  EXPECT_EQ(Page(), 1);

  // Page 2 again: the list is read afresh and its first model chosen again.
  Next();
  EXPECT_EQ(Lines(*w.ModelList), names);
  EXPECT_EQ(w.ModelList->currentRow(), 0);
  EXPECT_EQ(w.ModelClsName, "C5to6Normal");
  // The provider boxes stay as the last move to page 3 left them.
  EXPECT_FALSE(w.combSourceProvider->isEnabled());
  EXPECT_TRUE(toolkit.boxes.empty());
}

TEST_F(WizardTest, EveryMoveToTheSourcePageSetsTheProviderBoxesFromTheModel) {
  TempDir dir;
  WriteModelList(dir.path(), {Row("甲", "C5to6Depart", "0", "1"), Row("乙", "C5to6Depart", "1", "0")});
  auto& w = Open(dir.path());
  Next();
  w.ModelList->setCurrentRow(1);
  Next();
  EXPECT_EQ(w.combSourceProvider->currentIndex(), 1);
  EXPECT_EQ(w.combDestinationProvider->currentIndex(), 0);
  Prev();
  w.ModelList->setCurrentRow(0);
  Next();
  EXPECT_EQ(w.combSourceProvider->currentIndex(), 0);
  EXPECT_EQ(w.combDestinationProvider->currentIndex(), 1);
  EXPECT_FALSE(w.combSourceProvider->isEnabled());
  EXPECT_FALSE(w.combDestinationProvider->isEnabled());
}

TEST_F(WizardTest, CancelClosesTheWindowOnEveryPageBeforeTheRun) {
  for (int page = 1; page <= 4; ++page) {
    auto& w = Open();
    if (page >= 3) ToSourcePage();
    if (page == 2) Next();
    if (page == 4) w.MovePage(3, false);
    ASSERT_EQ(Page(), page);
    w.cmdCancel->click();
    EXPECT_FALSE(w.isVisible()) << page;
  }
  EXPECT_TRUE(toolkit.boxes.empty());
}

// ---- The model list ---------------------------------------------------------

TEST_F(WizardTest, AModelNameWithQuotesIsLookedUpSafely) {
  TempDir dir;
  WriteModelList(dir.path(), {Row("老店' or ''='", "C5to6Depart", "0", "1"), Row("第二", "C5to6Employee", "0", "1")});
  auto& w = Open(dir.path());
  Next();
  EXPECT_TRUE(toolkit.boxes.empty()) << LastBox();
  EXPECT_EQ(w.ModelCNName, "老店' or ''='");
  EXPECT_EQ(w.ModelClsName, "C5to6Depart");
  EXPECT_EQ(Text(w.txtDetail->toPlainText()).rfind("模    板: 老店' or ''='\n", 0), 0u);
}

TEST_F(WizardTest, AProviderCodeThatIsNoPositionShowsNoNameAndStopsOnTheSourcePage) {
  TempDir dir;
  WriteModelList(dir.path(), {Row("七", "C5to6Depart", "7", "1"), Row("字", "C5to6Depart", "1", "x")});
  auto& w = Open(dir.path());
  Next();
  EXPECT_EQ(Text(w.txtDetail->toPlainText()), Detail("七", "", "Microsoft SQL Server 2000", "说明：七"));
  Next();
  EXPECT_EQ(Page(), 3);
  ASSERT_EQ(toolkit.boxes.size(), 1u);
  EXPECT_EQ(toolkit.boxes[0].icon, MsgBoxIcon::kWarning);
  EXPECT_EQ(toolkit.boxes[0].title, "提示");
  EXPECT_NE(LastBox().find("无效的属性值"), std::string::npos) << LastBox();
  EXPECT_TRUE(w.combSourceProvider->isEnabled());

  // A code that is no number: the source box is locked, the destination fails.
  Prev();
  w.ModelList->setCurrentRow(1);
  Next();
  EXPECT_EQ(Page(), 3);
  ASSERT_EQ(toolkit.boxes.size(), 2u);
  EXPECT_NE(LastBox().find("类型不匹配"), std::string::npos) << LastBox();
  EXPECT_EQ(w.combSourceProvider->currentIndex(), 1);
  EXPECT_FALSE(w.combSourceProvider->isEnabled());
}

TEST_F(WizardTest, ModelListFaultsAreShownAndLeaveTheDetailEmpty) {
  struct Case {
    const char* what;
    std::vector<ModelRow> rows;
    const char* message;
    int items;
  };
  const Case cases[] = {
      {"empty table", {}, "模板列表中没有模板", 0},
      {"null summary", {{"空", "C5to6Depart", "0", "1", std::nullopt, "1"}}, "无效使用 Null", 1},
      {"null class", {{"空", std::nullopt, "0", "1", "说明", "1"}}, "ModelClsName", 1},
  };
  for (const auto& c : cases) {
    TempDir dir;
    WriteModelList(dir.path(), c.rows);
    toolkit.boxes.clear();
    auto& w = Open(dir.path());
    Next();
    EXPECT_EQ(Page(), 2) << c.what;
    EXPECT_EQ(w.ModelList->count(), c.items) << c.what;
    EXPECT_EQ(Text(w.txtDetail->toPlainText()), "") << c.what;
    ASSERT_EQ(toolkit.boxes.size(), 1u) << c.what;
    EXPECT_EQ(toolkit.boxes[0].icon, MsgBoxIcon::kWarning);
    EXPECT_NE(LastBox().find(c.message), std::string::npos) << c.what << ": " << LastBox();
  }
}

TEST_F(WizardTest, AMissingOrIncompleteModelListIsReportedByTheFileError) {
  TempDir empty;
  Open(empty.path());
  Next();
  EXPECT_EQ(Page(), 2);
  ASSERT_EQ(toolkit.boxes.size(), 1u);
  EXPECT_NE(LastBox().find("找不到文件"), std::string::npos) << LastBox();
  EXPECT_NE(LastBox().find("DTSModelList.mdb"), std::string::npos) << LastBox();

  // A table without its Model column.
  TempDir dir;
  {
    jet::Writer writer(dir.File("DTSModelList.mdb"));
    writer.BeginTable({"ModelList",
                       {{"ModelCNName", jet::ColumnType::kText, 100},
                        {"ModelClsName", jet::ColumnType::kText, 64},
                        {"SourceType", jet::ColumnType::kText, 4},
                        {"DestinationType", jet::ColumnType::kText, 4},
                        {"Summary", jet::ColumnType::kMemo}}});
    writer.AppendRow({com::Variant::Text("缺列"), com::Variant::Text("C5to6Depart"), com::Variant::Text("0"),
                      com::Variant::Text("1"), com::Variant::Text("说明")});
    writer.EndTable();
    writer.Finish();
  }
  toolkit.boxes.clear();
  auto& w = Open(dir.path());
  Next();
  EXPECT_EQ(w.ModelList->count(), 1);
  EXPECT_EQ(Text(w.txtDetail->toPlainText()), "");
  ASSERT_EQ(toolkit.boxes.size(), 1u);
  EXPECT_NE(LastBox().find("Model"), std::string::npos) << LastBox();
}

// ---- The source page --------------------------------------------------------

TEST_F(WizardTest, TheFileDialogFillsTheFileNameAndCancelKeepsIt) {
  auto& w = Open();
  ToSourcePage();
  toolkit.open_answers = {std::string("/srv/shop/店 56.mdb"), std::nullopt};
  w.cmdFilePath->click();
  EXPECT_EQ(Text(w.txtSourceDB->text()), "/srv/shop/店 56.mdb");
  ASSERT_EQ(toolkit.filters.size(), 1u);
  EXPECT_EQ(toolkit.filters[0].rfind("Access数据库 (*.mdb)|*.mdb|", 0), 0u) << toolkit.filters[0];
  EXPECT_NE(toolkit.filters[0].find("|*.*"), std::string::npos);
  EXPECT_TRUE(toolkit.boxes.empty());

  w.cmdFilePath->click();
  EXPECT_EQ(Text(w.txtSourceDB->text()), "/srv/shop/店 56.mdb");
  ASSERT_EQ(toolkit.boxes.size(), 1u);
  EXPECT_EQ(toolkit.boxes[0].text, "选择了“取消”。");
  EXPECT_EQ(toolkit.boxes[0].icon, MsgBoxIcon::kInformation);
  EXPECT_EQ(toolkit.boxes[0].title, "提示");
}

TEST_F(WizardTest, TheSourceTestOpensTheFileWithItsPassword) {
  TempDir dir;
  {
    jet::Writer writer(dir.File("locked.mdb"), {.password = "pw;x"});
    writer.BeginTable({"Depart", {{"DepID", jet::ColumnType::kLong}}});
    writer.EndTable();
    writer.Finish();
  }
  testing_support::WriteFile(dir.File("notes.mdb"), std::string(8192, 'x'));
  auto& w = Open();
  ToSourcePage();

  Next();
  EXPECT_EQ(Page(), 3);
  EXPECT_EQ(LastBox(), "请指定数据库位置！");
  EXPECT_EQ(toolkit.boxes.back().icon, MsgBoxIcon::kWarning);
  EXPECT_EQ(w.source_connection().Provider, "0");
  EXPECT_EQ(w.source_connection().IsNT, "False");

  // Spaces around the entries are not part of them.
  w.txtSourceDB->setText(QString::fromStdString("  " + dir.File("locked.mdb") + " "));
  w.txtDBPwd->setText(QStringLiteral(" wrong "));
  w.cmdTryLoginAccess->click();
  EXPECT_NE(LastBox().find("不是有效的密码"), std::string::npos) << LastBox();
  EXPECT_EQ(w.source_connection().DataSource, dir.File("locked.mdb"));
  EXPECT_EQ(w.source_connection().InitialCatalog, dir.File("locked.mdb"));
  EXPECT_EQ(w.source_connection().Password, "wrong");
  EXPECT_EQ(w.source_connection().ConnectionString, "");

  for (const std::string& file : {dir.File("missing.mdb"), dir.File("notes.mdb")}) {
    w.txtSourceDB->setText(QString::fromStdString(file));
    Next();
    EXPECT_EQ(Page(), 3);
    EXPECT_NE(LastBox().find(file), std::string::npos) << LastBox();
  }

  // A ";" in the password is only a character of it.
  w.txtSourceDB->setText(QString::fromStdString(dir.File("locked.mdb")));
  w.txtDBPwd->setText(QStringLiteral("pw;x"));
  const auto before = toolkit.boxes.size();
  w.cmdTryLoginAccess->click();
  ASSERT_EQ(toolkit.boxes.size(), before + 1);
  EXPECT_EQ(LastBox(), "连接成功！");
  EXPECT_EQ(toolkit.boxes.back().icon, MsgBoxIcon::kInformation);
  EXPECT_EQ(toolkit.boxes.back().title, "提示");
  Next();
  EXPECT_EQ(Page(), 4);
  EXPECT_EQ(toolkit.boxes.size(), before + 1);

  // Back after a failed test: every entry is still there.
  Prev();
  w.txtDBPwd->setText(QStringLiteral("nope"));
  Next();
  EXPECT_EQ(Page(), 3);
  Prev();
  EXPECT_EQ(Page(), 2);
  EXPECT_EQ(Text(w.txtSourceDB->text()), dir.File("locked.mdb"));
  EXPECT_EQ(Text(w.txtDBPwd->text()), "nope");
}

TEST_F(WizardTest, ASourceWithNoProviderPassesWithoutATest) {
  TempDir dir;
  WriteModelList(dir.path(), {Row("无", "C5to6Depart", "-1", "1")});
  auto& w = Open(dir.path());
  ToSourcePage();
  EXPECT_EQ(w.combSourceProvider->currentIndex(), -1);
  w.cmdTryLoginAccess->click();
  EXPECT_EQ(LastBox(), "连接成功！");
  EXPECT_EQ(w.source_connection().Provider, "-1");
}

TEST(LoginTests, RaiseTheirChecksAsValidationErrorsBeforeAnyConnection) {
  QComboBox databases;
  databases.addItem(QStringLiteral("留下"));
  auto number_of = [](const std::function<void()>& call) {
    try {
      call();
    } catch (const com::Error& e) {
      return std::make_pair(e.number(), e.description());
    }
    return std::make_pair(0, std::string());
  };
  korvel::CConnection c;
  c.Provider = "0";
  EXPECT_EQ(number_of([&] { velmora::TryLogin(c, databases); }),
            std::make_pair(korvel::kValidationError, std::string("请指定数据库位置！")));
  c.Provider = "1";
  EXPECT_EQ(number_of([&] { velmora::TryLogin(c, databases); }),
            std::make_pair(korvel::kValidationError, std::string("请指定 SQL Server 服务器！")));
  // The user is checked before the server is tried: an unreachable server
  // does not matter yet.
  c.DataSource = "NOSUCHSERVER";
  EXPECT_EQ(number_of([&] { velmora::TryLogin(c, databases); }),
            std::make_pair(korvel::kValidationError, std::string("请输入用户名！")));
  EXPECT_EQ(databases.count(), 1);
  c.Provider = "2";
  EXPECT_EQ(number_of([&] { velmora::TryLogin(c, databases); }).first, 0);
  EXPECT_EQ(korvel::kValidationError, static_cast<std::int32_t>(0x80040001u));
}

TEST_F(WizardTest, FocusSelectsTheWholeTextOfEachBox) {
  auto& w = Open();
  for (QLineEdit* box : {w.txtSourceDB, w.txtDBPwd, w.txtSourceUID, w.txtSourcePWD, w.txtDestinationUID,
                         w.txtDestinationPWD}) {
    box->setText(QStringLiteral("文本 text"));
    box->setCursorPosition(2);
    QFocusEvent focus(QEvent::FocusIn, Qt::TabFocusReason);
    QCoreApplication::sendEvent(box, &focus);
    EXPECT_EQ(box->selectionStart(), 0) << Text(box->objectName());
    EXPECT_EQ(box->selectionLength(), 7) << Text(box->objectName());
    box->clear();
    QCoreApplication::sendEvent(box, &focus);
    EXPECT_EQ(box->selectionLength(), 0) << Text(box->objectName());
  }
}

}  // namespace
}  // namespace wizard_testing
