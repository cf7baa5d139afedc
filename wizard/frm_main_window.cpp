// frmMain's window: the five pages of ActiveTabs and the three buttons,
// every control under its name and with its caption.
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include "version.h"
#include "wizard/frm_main.h"
#include "wizard/welcome_picture.h"

namespace velmora {
namespace {

template <class W>
W* Named(W* widget, const char* name) {
  widget->setObjectName(QString::fromUtf8(name));
  return widget;
}

QLabel* NamedLabel(const char* name, const char* caption, QWidget* parent) {
  return Named(new QLabel(QString::fromUtf8(caption), parent), name);
}

QLineEdit* TextBox(const char* name, QWidget* parent, bool password = false) {
  auto* box = Named(new QLineEdit(parent), name);
  if (password) {
    box->setEchoMode(QLineEdit::Password);
    // Each typed character shows as "*".
    box->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
  }
  return box;
}

QComboBox* ComboBox(const char* name, QWidget* parent, bool editable) {
  auto* box = Named(new QComboBox(parent), name);
  box->setEditable(editable);
  box->setMinimumContentsLength(24);
  box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  return box;
}

// The band at the top of pages 2 to 4: a heading and a prompt.
QWidget* PageHeading(const char* heading_name, const char* heading, const char* prompt_name, const char* prompt,
                     QWidget* parent) {
  auto* band = new QFrame(parent);
  band->setAutoFillBackground(true);
  QPalette palette = band->palette();
  palette.setColor(QPalette::Window, Qt::white);
  band->setPalette(palette);
  auto* layout = new QVBoxLayout(band);
  layout->setContentsMargins(16, 10, 16, 10);
  QLabel* title = NamedLabel(heading_name, heading, band);
  QFont font = title->font();
  font.setBold(true);
  title->setFont(font);
  layout->addWidget(title);
  QLabel* text = NamedLabel(prompt_name, prompt, band);
  text->setContentsMargins(16, 0, 0, 0);
  layout->addWidget(text);
  return band;
}

QFrame* Rule(QWidget* parent) {
  auto* line = new QFrame(parent);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  return line;
}

// Pages 3 and 4: the heading band, then rows of "label: field" in a grid
// the caller fills.
QGridLayout* FormPage(QWidget* page, const char* heading_name, const char* heading, const char* prompt_name,
                      const char* prompt) {
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(PageHeading(heading_name, heading, prompt_name, prompt, page));
  layout->addWidget(Rule(page));
  auto* grid = new QGridLayout;
  grid->setContentsMargins(40, 16, 40, 8);
  grid->setVerticalSpacing(10);
  grid->setColumnStretch(1, 1);
  layout->addLayout(grid);
  layout->addStretch(1);
  return grid;
}

// 1: welcome.
QWidget* WelcomePage() {
  auto* page1 = Named(new QWidget, "panelStep1");
  auto* layout = new QHBoxLayout(page1);
  layout->setContentsMargins(0, 0, 16, 8);
  auto* picture = NamedLabel("Image1", "", page1);
  picture->setPixmap(WelcomePicture(150, 330));
  picture->setAlignment(Qt::AlignTop);
  layout->addWidget(picture);
  auto* text = new QVBoxLayout;
  text->setSpacing(8);
  layout->addLayout(text, 1);
  QLabel* heading = NamedLabel("Label20", "欢迎使用 Quenlo 5.X升级到6.X工具", page1);
  QFont font = heading->font();
  font.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("Noto Serif CJK SC"),
                    QStringLiteral("Noto Sans CJK SC")});
  font.setPointSizeF(font.pointSizeF() * 1.5);
  font.setBold(true);
  heading->setFont(font);
  heading->setWordWrap(true);
  text->addSpacing(12);
  text->addWidget(heading);
  text->addSpacing(10);
  text->addWidget(NamedLabel("Label2", "使用此工具之前,请注意:", page1));
  for (const auto& [name, caption] : {std::pair{"Label3", "1.必须保证 源数据库 中的数据是准确无误的。"},
                                      std::pair{"Label22", "2.必须保证 Korvel.dll 与此工具在同一路径下。"},
                                      std::pair{"Label21", "3.必须保证 DTSModelList.mdb 与此工具在同一路径下。"},
                                      std::pair{"Label25", "4.此工具只能用于系统期初导入。"}}) {
    QLabel* note = NamedLabel(name, caption, page1);
    note->setContentsMargins(16, 0, 0, 0);
    note->setWordWrap(true);
    text->addWidget(note);
  }
  text->addSpacing(6);
  QLabel* warning = NamedLabel("Label26", "如已有业务发生, 切勿再使用此工具进行任何操作。", page1);
  warning->setStyleSheet(QStringLiteral("color: #c00000; font-weight: bold"));
  warning->setWordWrap(true);
  text->addWidget(warning);
  text->addStretch(1);
  // The publisher line carries the version: the window's title is the
  // product's own and stays as it is.
  text->addWidget(NamedLabel(
      "Label23", ("Velmora 升级向导 · Korvel 升级方案库 · 版本 " + std::string(vk::kVersion)).c_str(), page1));
  text->addWidget(NamedLabel("Label24", "2007-01-20", page1));
  return page1;
}

}  // namespace

void FrmMain::BuildWindow() {
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(QString::fromUtf8(kCaption));
  setWindowIcon(QIcon(WelcomePicture(64, 64)));
  resize(600, 430);

  ActiveTabs = Named(new QTabWidget(this), "ActiveTabs");
  // Pages change only through Previous and Next, which make the checks.
  ActiveTabs->tabBar()->hide();
  ActiveTabs->setDocumentMode(true);
  // Each page joins the tabs before the next is made, as the focus order
  // follows.
  ActiveTabs->addTab(WelcomePage(), QString());
  ActiveTabs->addTab(BuildModelPage(), QString());
  ActiveTabs->addTab(BuildSourcePage(), QString());
  ActiveTabs->addTab(BuildDestinationPage(), QString());
  ActiveTabs->addTab(BuildProgressPage(), QString());

  cmdPrev = Named(new QPushButton(QStringLiteral("上一步(&B)"), this), "cmdPrev");
  cmdNext = Named(new QPushButton(QStringLiteral("下一步(&N)"), this), "cmdNext");
  cmdCancel = Named(new QPushButton(QStringLiteral("取消(&C)"), this), "cmdCancel");
  cmdNext->setDefault(true);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 10);
  layout->addWidget(ActiveTabs, 1);
  layout->addWidget(Rule(this));
  auto* buttons = new QHBoxLayout;
  buttons->setContentsMargins(16, 4, 16, 0);
  buttons->addStretch(1);
  buttons->addWidget(cmdPrev);
  buttons->addWidget(cmdNext);
  buttons->addSpacing(12);
  buttons->addWidget(cmdCancel);
  layout->addLayout(buttons);

  ConnectControls();
}

// 2: the model.
QWidget* FrmMain::BuildModelPage() {
  auto* page2 = Named(new QWidget, "panelStep2");
  auto* layout = new QVBoxLayout(page2);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(PageHeading("Label4", "选择模板", "Label5", "请选择合适的模板", page2));
  layout->addWidget(Rule(page2));
  auto* row = new QHBoxLayout;
  row->setContentsMargins(16, 8, 16, 8);
  ModelList = Named(new QListWidget(page2), "ModelList");
  txtDetail = Named(new QPlainTextEdit(page2), "txtDetail");
  txtDetail->setReadOnly(true);
  row->addWidget(ModelList, 1);
  row->addWidget(txtDetail, 1);
  layout->addLayout(row, 1);
  return page2;
}

// 3: the source.
QWidget* FrmMain::BuildSourcePage() {
  auto* page3 = Named(new QWidget, "panelStep3");
  QGridLayout* grid = FormPage(page3, "Label6", "选择数据源", "Label7", "您要从何处复制数据？");
  combSourceProvider = ComboBox("combSourceProvider", page3, false);
  txtSourceDB = TextBox("txtSourceDB", page3);
  cmdFilePath = Named(new QPushButton(QStringLiteral("..."), page3), "cmdFilePath");
  cmdFilePath->setFixedWidth(32);
  txtDBPwd = TextBox("txtDBPwd", page3, true);
  txtSourceUID = TextBox("txtSourceUID", page3);
  txtSourcePWD = TextBox("txtSourcePWD", page3, true);
  grid->addWidget(NamedLabel("labSourceProvider", "数据源:", page3), 0, 0);
  grid->addWidget(combSourceProvider, 0, 1, 1, 2);
  grid->addWidget(NamedLabel("labSourceDB", "文件名:", page3), 1, 0);
  grid->addWidget(txtSourceDB, 1, 1);
  grid->addWidget(cmdFilePath, 1, 2);
  grid->addWidget(NamedLabel("labDBPwd", "密  码:", page3), 2, 0);
  grid->addWidget(txtDBPwd, 2, 1, 1, 2);
  QLabel* uid_label = NamedLabel("labSourceUID", "用户名:", page3);
  QLabel* pwd_label = NamedLabel("labSourcePWD", "密  码:", page3);
  grid->addWidget(uid_label, 3, 0);
  grid->addWidget(txtSourceUID, 3, 1, 1, 2);
  grid->addWidget(pwd_label, 4, 0);
  grid->addWidget(txtSourcePWD, 4, 1, 1, 2);
  // A Jet file needs no user: these two rows are switched off.
  for (QWidget* w : {static_cast<QWidget*>(uid_label), static_cast<QWidget*>(pwd_label),
                     static_cast<QWidget*>(txtSourceUID), static_cast<QWidget*>(txtSourcePWD)}) {
    w->setVisible(false);
    w->setEnabled(false);
  }
  cmdTryLoginAccess = Named(new QPushButton(QStringLiteral("连接"), page3), "cmdTryLoginAccess");
  grid->addWidget(cmdTryLoginAccess, 5, 1, 1, 2, Qt::AlignRight);
  return page3;
}

// 4: the destination.
QWidget* FrmMain::BuildDestinationPage() {
  auto* page4 = Named(new QWidget, "panelStep4");
  QGridLayout* grid = FormPage(page4, "Label18", "选择目的", "Label17", "您要将数据复制到何处？");
  combDestinationProvider = ComboBox("combDestinationProvider", page4, false);
  combDestinationServer = ComboBox("combDestinationServer", page4, true);
  txtDestinationUID = TextBox("txtDestinationUID", page4);
  txtDestinationPWD = TextBox("txtDestinationPWD", page4, true);
  combDestinationDB = ComboBox("combDestinationDB", page4, true);
  cmdTryLoginSQL = Named(new QPushButton(QStringLiteral("测试连接"), page4), "cmdTryLoginSQL");
  const std::pair<const char*, QWidget*> rows[] = {
      {"数据源:", combDestinationProvider}, {"服务器:", combDestinationServer}, {"用户名:", txtDestinationUID},
      {"密  码:", txtDestinationPWD},       {"数据库:", combDestinationDB},
  };
  int r = 0;
  for (const auto& [caption, field] : rows) {
    grid->addWidget(new QLabel(QString::fromUtf8(caption), page4), r, 0);
    grid->addWidget(field, r++, 1);
  }
  grid->addWidget(cmdTryLoginSQL, r++, 1, Qt::AlignRight);
  // The check before the run: on unless the operator turns it off.
  chkCheckFirst = Named(new QCheckBox(QStringLiteral("升级前检查数据"), page4), "chkCheckFirst");
  chkCheckFirst->setChecked(true);
  grid->addWidget(chkCheckFirst, r, 1);
  return page4;
}

// 5: progress.
QWidget* FrmMain::BuildProgressPage() {
  auto* page5 = Named(new QWidget, "SSActiveTabPanel1");
  auto* layout = new QVBoxLayout(page5);
  layout->setContentsMargins(16, 12, 16, 8);
  labTips = NamedLabel("labTips", "工作进度", page5);
  QFont font = labTips->font();
  font.setBold(true);
  labTips->setFont(font);
  layout->addWidget(labTips);
  lstProgress = Named(new QListWidget(page5), "lstProgress");
  layout->addWidget(lstProgress, 1);
  labDoing = NamedLabel("labDoing", "正在进行: ...", page5);
  labDoing->setWordWrap(true);
  layout->addWidget(labDoing);
  auto* bar_row = new QHBoxLayout;
  ProgressBar = Named(new QProgressBar(page5), "ProgressBar");
  ProgressBar->setRange(0, 100);
  ProgressBar->setValue(0);
  ProgressBar->setTextVisible(false);
  labPercent = NamedLabel("labPercent", "0%", page5);
  labPercent->setMinimumWidth(40);
  labPercent->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  bar_row->addWidget(ProgressBar, 1);
  bar_row->addWidget(labPercent);
  layout->addLayout(bar_row);
  // Offered once a run has ended, succeeded or failed.
  cmdSaveReport = Named(new QPushButton(QStringLiteral("保存报告…"), page5), "cmdSaveReport");
  cmdSaveReport->setVisible(false);
  auto* report_row = new QHBoxLayout;
  report_row->addStretch(1);
  report_row->addWidget(cmdSaveReport);
  layout->addLayout(report_row);
  return page5;
}

void FrmMain::ConnectControls() {
  connect(cmdPrev, &QPushButton::clicked, this, [this] { cmdPrev_Click(); });
  connect(cmdNext, &QPushButton::clicked, this, [this] { cmdNext_Click(); });
  connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
  connect(cmdFilePath, &QPushButton::clicked, this, [this] { cmdFilePath_Click(); });
  connect(cmdTryLoginAccess, &QPushButton::clicked, this, [this] { cmdTryLoginAccess_Click(); });
  connect(cmdTryLoginSQL, &QPushButton::clicked, this, [this] { cmdTryLoginSQL_Click(); });
  connect(cmdSaveReport, &QPushButton::clicked, this, [this] { cmdSaveReport_Click(); });
  connect(ModelList, &QListWidget::currentRowChanged, this, [this](int row) {
    if (row >= 0) ModelList_Click();
  });
  for (QLineEdit* box : {txtSourceDB, txtDBPwd, txtSourceUID, txtSourcePWD, txtDestinationUID, txtDestinationPWD}) {
    box->installEventFilter(this);
  }
}

}  // namespace velmora
