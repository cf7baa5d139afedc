// frmMain's routines: the page flow, the model list, the connection pages
// and the upgrade run. The window's layout is built in frm_main_window.cpp.
#include "wizard/frm_main.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include "library/assurance/run_protocol.h"
#include "library/interface/errors.h"
#include "library/interface/ipackage.h"
#include "library/interface/provider.h"
#include "library/interface/report_sink.h"
#include "library/model_list/model_list.h"
#include "platform/com/object.h"
#include "platform/com/variant.h"
#include "platform/dts/events.h"
#include "platform/dts/model.h"
#include "wizard/event_forwarder.h"
#include "wizard/m_constant.h"
#include "wizard/m_try_login.h"
#include "wizard/progress_math.h"
#include "wizard/window_thread.h"

namespace velmora {
namespace {

constexpr char kSource[] = "frmMain";
constexpr char kNextCaption[] = "下一步(&N)";
constexpr char kFinishCaption[] = "完成";
constexpr char kUpgradeDone[] = "升级完成！";
constexpr char kUpgradeFailed[] = "升级失败：";
constexpr char kReconcileMismatch[] = "升级完成，但对账不符";
// The filter of the source file dialog: Access files, then every file.
constexpr char kSourceFileFilter[] = "Access数据库 (*.mdb)|*.mdb|所有文件 (*.*)|*.*";
// A run that ended without every step done, though nothing raised an error.
constexpr std::int32_t kErrStepsNotDone = com::kObjectError + 3;
// Failed-step reports come from the plan library, under its own name.
constexpr char kReportTitle[] = "Korvel";

std::string Text(const QString& s) { return s.toStdString(); }
QString Q(const std::string& s) { return QString::fromStdString(s); }

// Leading and trailing spaces removed (spaces only, as the entries expect).
std::string TrimSpaces(const std::string& s) {
  const std::size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

// A column of a model list row in its text form.
std::string FieldText(const model_list::ModelRow& row, std::string_view name) {
  std::optional<std::string> value = row.Field(name);
  if (!value) throw com::Error(94, kSource, "无效使用 Null：模板的“" + std::string(name) + "”列没有值");
  return *std::move(value);
}

// A provider code given as text, as a 16-bit integer.
std::int16_t ProviderCode(const std::string& text) {
  const std::int64_t v = com::Variant::Text(text).ToInt64();
  if (v < INT16_MIN || v > INT16_MAX) throw com::Error(6, kSource, "溢出：提供者代码“" + text + "”");
  return static_cast<std::int16_t>(v);
}

std::string_view ProviderDisplayName(const std::string& code) {
  const auto* p = korvel::FindProviderByCode(code);
  return p ? p->display_name : std::string_view();
}

struct DescriptorValues {
  std::string Provider, InitialCatalog, DataSource, IsNT, Password, UserID, ConnectionString;
  explicit DescriptorValues(const korvel::CConnection& c)
      : Provider(c.Provider), InitialCatalog(c.InitialCatalog), DataSource(c.DataSource), IsNT(c.IsNT),
        Password(c.Password), UserID(c.UserID), ConnectionString(c.ConnectionString) {}
  void CopyTo(korvel::CConnection& c) const {
    c.Provider = Provider, c.InitialCatalog = InitialCatalog, c.DataSource = DataSource, c.IsNT = IsNT;
    c.Password = Password, c.UserID = UserID, c.ConnectionString = ConnectionString;
  }
};

// Shows the plan's failed-step reports in modal boxes on the window's
// thread; the plan waits until each is closed.
class WindowReportSink final : public korvel::ReportSink {
 public:
  WindowReportSink(QObject* window, Toolkit& toolkit) : window_(window), toolkit_(toolkit) {}
  void ShowReport(const std::string& text) override {
    CallOnWindow(window_, [&] { toolkit_.MsgBox(text, MsgBoxIcon::kNone, kReportTitle); });
  }

 private:
  QObject* window_;
  Toolkit& toolkit_;
};

using assurance::RunOutcome;

// The error a failed run ends the click with: the run's own, with what a
// lost commit answer was found to be.
com::Error RunFailure(const assurance::RunEnd& end) {
  if (!end.run_error) return com::Error(kErrStepsNotDone, kSource, "有步骤没有完成");
  const com::Error& e = *end.run_error;
  if (!end.evidence) return e;
  return com::Error(e.number(), e.source(), e.description() + "\n" + end.evidence->reason + "。");
}

}  // namespace

FrmMain::FrmMain(Toolkit& toolkit, FrmMainOptions options) : toolkit_(toolkit), options_(std::move(options)) {
  BuildWindow();
  Form_Load();
}

FrmMain::~FrmMain() = default;

void FrmMain::ShowError(const com::Error& e) { toolkit_.MsgBox(e.description(), MsgBoxIcon::kWarning, kMsgBoxTitle); }

std::int16_t FrmMain::CurrentPage() const { return static_cast<std::int16_t>(ActiveTabs->currentIndex() + 1); }

std::string FrmMain::ModelListPath() const {
  return (options_.model_folder.empty() ? com::ProgramFolder() : options_.model_folder) + "/" +
         model_list::kModelListFile;
}

// ---- Page flow ------------------------------------------------------------

void FrmMain::Form_Load() {
  try {
    cmdPrev->setEnabled(false);
    for (QComboBox* box : {combSourceProvider, combDestinationProvider}) {
      box->insertItem(0, Q(std::string(korvel::kProviders[0].display_name)));
      box->insertItem(1, Q(std::string(korvel::kProviders[1].display_name)));
      box->setCurrentIndex(-1);
    }
    source_ = std::make_shared<korvel::CConnection>();
    destination_ = std::make_shared<korvel::CConnection>();
    LoadSettings();
  } catch (const com::Error& e) {
    ShowError(e);
  }
}

void FrmMain::MovePage(std::int16_t index, bool back) {
  if ((back && index <= 1) || (!back && index >= 5)) return;
  ActiveTabs->setCurrentIndex(back ? index - 2 : index);
  cmdPrev->setEnabled(CurrentPage() >= 2);
}

void FrmMain::cmdPrev_Click() { MovePage(CurrentPage(), true); }

void FrmMain::cmdCancel_Click() {
  // While the check runs, Cancel stops the check; the window stays.
  if (checking_) {
    CancelCheck();
    return;
  }
  close();
}

void FrmMain::cmdNext_Click() {
  try {
    switch (CurrentPage()) {
      case 1:
        MovePage(1, false);
        LoadModelList();
        break;
      case 2:
        MovePage(2, false);
        LockProvider(ProviderCode(SourceType), true);
        LockProvider(ProviderCode(DestinationType), false);
        break;
      case 3:
        ApplyConnection(true);
        MovePage(3, false);
        break;
      case 4:
        if (TrimSpaces(Text(combDestinationDB->currentText())).empty()) {
          throw com::Error(korvel::kValidationError, kSource, "请选择目的数据库！");
        }
        ApplyConnection(false);
        MovePage(4, false);
        SaveSettings();
        check_.reset();  // a run's report holds only the check made for it
        if (chkCheckFirst->isChecked() && !CheckBeforeRun()) {
          BackToDestinationPage();
          break;
        }
        StartUpgrade();
        break;
      case 5:
        close();
        break;
    }
  } catch (const com::Error& e) {
    ShowError(e);
  }
}

void FrmMain::LoadModelList() {
  try {
    ModelList->clear();
    model_list::ForEachModel(ModelListPath(), [this](const model_list::ModelRow& row) {
      ModelList->addItem(Q(FieldText(row, "ModelCNName")));
    });
    if (ModelList->count() == 0) {
      throw com::Error(380, kSource, "无效的属性值：模板列表中没有模板可选");
    }
    // The scheme of the last run, when the list still has it, at the
    // first list of this start; the first entry otherwise.
    int selected = 0;
    if (!remembered_model_.empty()) {
      const auto found = ModelList->findItems(Q(remembered_model_), Qt::MatchExactly);
      if (!found.isEmpty()) selected = ModelList->row(found.front());
      remembered_model_.clear();
    }
    ModelList->setCurrentRow(selected);  // runs ModelList_Click
  } catch (const com::Error& e) {
    ShowError(e);
  }
}

void FrmMain::ModelList_Click() {
  try {
    txtDetail->clear();
    QListWidgetItem* selected = ModelList->currentItem();
    if (!selected) return;
    const std::optional<model_list::ModelRow> row = model_list::FindModelByName(ModelListPath(), Text(selected->text()));
    if (!row) {
      throw com::Error(3021, "ADODB.Recordset",
                       "BOF 或 EOF 中有一个是“真”，或者当前的记录已被删除，所需的操作要求一个当前的记录。");
    }
    Model = FieldText(*row, "Model");
    ModelCNName = FieldText(*row, "ModelCNName");
    ModelClsName = FieldText(*row, "ModelClsName");
    SourceType = FieldText(*row, "SourceType");
    DestinationType = FieldText(*row, "DestinationType");
    Summary = FieldText(*row, "Summary");
    const std::string detail = "模    板: " + ModelCNName + "\r\n" + "---------\r\n" + "源 类 型: " +
                               std::string(ProviderDisplayName(SourceType)) + "\r\n" + "---------\r\n" +
                               "目的类型: " + std::string(ProviderDisplayName(DestinationType)) + "\r\n" +
                               "---------\r\n" + "描    述: " + Summary;
    txtDetail->setPlainText(Q(detail));
  } catch (const com::Error& e) {
    ShowError(e);
  }
}

void FrmMain::LockProvider(std::int16_t code, bool source) {
  QComboBox* box = source ? combSourceProvider : combDestinationProvider;
  if (code < -1 || code >= box->count()) {
    throw com::Error(380, kSource, "无效的属性值：提供者代码 " + std::to_string(code) + " 不在列表中");
  }
  box->setCurrentIndex(code);
  box->setEnabled(false);
}

// ---- Connection pages -----------------------------------------------------

void FrmMain::cmdFilePath_Click() {
  try {
    txtSourceDB->setText(Q(toolkit_.ShowOpen(kSourceFileFilter, true)));
  } catch (const com::Error& e) {
    toolkit_.MsgBox(e.description(), MsgBoxIcon::kInformation, kMsgBoxTitle);
  }
}

void FrmMain::cmdTryLoginAccess_Click() { TestConnection(true); }

void FrmMain::cmdTryLoginSQL_Click() { TestConnection(false); }

void FrmMain::TestConnection(bool source) {
  try {
    ApplyConnection(source);
    toolkit_.MsgBox("连接成功！", MsgBoxIcon::kInformation, kMsgBoxTitle);
  } catch (const com::Error& e) {
    ShowError(e);
  }
}

void FrmMain::ApplyConnection(bool source) {
  if (source) {
    korvel::CConnection& c = *source_;
    c.Provider = std::to_string(combSourceProvider->currentIndex());
    c.DataSource = TrimSpaces(Text(txtSourceDB->text()));
    c.InitialCatalog = TrimSpaces(Text(txtSourceDB->text()));
    c.Password = TrimSpaces(Text(txtDBPwd->text()));
    c.IsNT = "False";
    c.ConnectionString = "";
    TryLogin(c, *combDestinationDB);
  } else {
    korvel::CConnection& c = *destination_;
    c.Provider = std::to_string(combDestinationProvider->currentIndex());
    c.DataSource = Text(combDestinationServer->currentText());
    c.InitialCatalog = Text(combDestinationDB->currentText());
    c.UserID = TrimSpaces(Text(txtDestinationUID->text()));
    c.Password = TrimSpaces(Text(txtDestinationPWD->text()));
    c.IsNT = "False";
    c.ConnectionString = "";
    TryLogin(c, *combDestinationDB);
  }
}

void FrmMain::txtSourceDB_GotFocus() { SelectAllText(*txtSourceDB, static_cast<std::int16_t>(txtSourceDB->text().size())); }
void FrmMain::txtDBPwd_GotFocus() { SelectAllText(*txtDBPwd, static_cast<std::int16_t>(txtDBPwd->text().size())); }
void FrmMain::txtSourceUID_GotFocus() { SelectAllText(*txtSourceUID, static_cast<std::int16_t>(txtSourceUID->text().size())); }
void FrmMain::txtSourcePWD_GotFocus() { SelectAllText(*txtSourcePWD, static_cast<std::int16_t>(txtSourcePWD->text().size())); }
void FrmMain::txtDestinationUID_GotFocus() {
  SelectAllText(*txtDestinationUID, static_cast<std::int16_t>(txtDestinationUID->text().size()));
}
void FrmMain::txtDestinationPWD_GotFocus() {
  SelectAllText(*txtDestinationPWD, static_cast<std::int16_t>(txtDestinationPWD->text().size()));
}

bool FrmMain::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::FocusIn) return QWidget::eventFilter(watched, event);
  const std::pair<QLineEdit*, void (FrmMain::*)()> handlers[] = {
      {txtSourceDB, &FrmMain::txtSourceDB_GotFocus},
      {txtDBPwd, &FrmMain::txtDBPwd_GotFocus},
      {txtSourceUID, &FrmMain::txtSourceUID_GotFocus},
      {txtSourcePWD, &FrmMain::txtSourcePWD_GotFocus},
      {txtDestinationUID, &FrmMain::txtDestinationUID_GotFocus},
      {txtDestinationPWD, &FrmMain::txtDestinationPWD_GotFocus},
  };
  for (const auto& [box, handler] : handlers) {
    if (watched != box) continue;
    if (static_cast<QFocusEvent*>(event)->reason() == Qt::MouseFocusReason) {
      // The click that gave the focus places the cursor after this event;
      // select once it has.
      QTimer::singleShot(0, this, handler);
    } else {
      (this->*handler)();
    }
  }
  return QWidget::eventFilter(watched, event);
}

// ---- The run --------------------------------------------------------------

void FrmMain::StartUpgrade() {
  cmdPrev->setEnabled(false);
  cmdNext->setEnabled(false);
  cmdCancel->setEnabled(false);
  cmdNext->setText(Q(kFinishCaption));
  toolkit_.SetBusyPointer(true);
  running_ = true;
  ClearProgressPage();
  BeginReport(assurance::Report::Kind::kRun);
  assurance::RunEnd end;
  try {
    ResolveProvider(*source_);
    ResolveProvider(*destination_);
    end = RunPlan(ModelClsName, *source_, *destination_);
  } catch (const com::Error& e) {
    // The plan could not be made: nothing ran.
    report_.error = e.description();
    EndRun(RunOutcome::kFailed, kUpgradeFailed + e.description(), "", MsgBoxIcon::kNone);
    throw;
  }
  assurance::RecordRunEnd(end, report_);
  switch (end.outcome) {
    case RunOutcome::kFailed: {
      // A failed run says so on the page and leaves a way out: the normal
      // pointer, and 完成 to close the window. The click shows the error.
      const com::Error e = RunFailure(end);
      EndRun(RunOutcome::kFailed, kUpgradeFailed + e.description(), "", MsgBoxIcon::kNone);
      throw e;
    }
    case RunOutcome::kUnknown: {
      const std::string text = "提交结果未知：" + end.evidence->reason +
                               "。请先检查目的数据库，并与源数据库对账，再决定是否重新升级。";
      EndRun(RunOutcome::kUnknown, text, text, MsgBoxIcon::kWarning);
      return;
    }
    case RunOutcome::kUnreconciled: {
      // The upgrade went in; only the recount could not be made.
      const std::string text = "升级已完成，但无法对账：" + end.reconcile_error->description();
      EndRun(RunOutcome::kUnreconciled, text, text, MsgBoxIcon::kWarning);
      return;
    }
    case RunOutcome::kSuccess:
      ShowReconciliation(end.reconciliation);
      EndRun(RunOutcome::kSuccess, kUpgradeDone,
             end.evidence ? std::string(kUpgradeDone) + "\r\n" + end.evidence->reason + "。" : kUpgradeDone,
             MsgBoxIcon::kInformation);
      return;
    case RunOutcome::kMismatch:
      ShowReconciliation(end.reconciliation);
      labPercent->setText(Q(kReconcileMismatch));
      EndRun(RunOutcome::kMismatch, kReconcileMismatch,
             std::string(kReconcileMismatch) + "：目的数据库与源数据库的计数不一致（见标红的行），请检查后再使用。",
             MsgBoxIcon::kWarning);
      return;
  }
}

void FrmMain::EndRun(RunOutcome result, const std::string& text, const std::string& box, MsgBoxIcon icon) {
  running_ = false;
  report_.result = result;
  EndReport();
  // The box while the run's screen still stands (busy, nothing to click),
  // then the page's last word, the normal pointer and 完成.
  if (!box.empty()) toolkit_.MsgBox(box, icon, kMsgBoxTitle);
  labDoing->setText(Q(text));
  toolkit_.SetBusyPointer(false);
  cmdPrev->setEnabled(false);
  cmdNext->setEnabled(true);
  cmdCancel->setEnabled(false);
}

assurance::RunEnd FrmMain::RunPlan(const std::string& clsName, korvel::CConnection& SourceConn,
                                   korvel::CConnection& DestinationConn) {
  const std::string prog_id = "Korvel." + clsName;
  // The plan and everything it makes live on the run's own thread; it gets
  // descriptors of its own with the values of the window's two.
  const DescriptorValues source(SourceConn), destination(DestinationConn);
  const assurance::Endpoints endpoints = DestinationEndpoints();
  assurance::RunEnd end;
  RunOffWindowThread(this, [&] {
    auto plan = com::QueryInterface<korvel::IPackage>(com::CreateObject(prog_id), prog_id);
    korvel::CConnection source_conn, destination_conn;
    source.CopyTo(source_conn);
    destination.CopyTo(destination_conn);
    plan->KorvelInit(source_conn, destination_conn);
    std::shared_ptr<dts::Package> svrPackage = plan->GetPackage();
    if (!svrPackage) {
      throw com::Error(91, kSource, "对象变量未设置：方案“" + prog_id + "”没有建立包");
    }
    PackageEventForwarder events([this](std::function<void()> call) { PostToWindow(this, std::move(call)); },
                                 {.start = [this](const std::string& s) { svrPackage_OnStart(s); },
                                  .progress =
                                      [this](const std::string& s, const std::string& d, std::int32_t p,
                                             std::int32_t low, std::int32_t high) {
                                        svrPackage_OnProgress(s, d, p, low, high);
                                      },
                                  .finish = [this](const std::string& s) { svrPackage_OnFinish(s); },
                                  .error = &FrmMain::svrPackage_OnError,
                                  .query_cancel = &FrmMain::svrPackage_OnQueryCancel});
    const std::int32_t task_count = svrPackage->Tasks().Count();
    PostToWindow(this, [this, task_count] { TaskCount = task_count; });
    const auto say = [this](std::string text) {
      PostToWindow(this, [this, text = std::move(text)] { labDoing->setText(Q(text)); });
    };
    assurance::RunHooks hooks;
    // The failed-step reports go to the window for this call only.
    hooks.execute = [&] { korvel::KorvelExecReportingTo(*plan, std::make_shared<WindowReportSink>(this, toolkit_)); };
    hooks.asking_database = [&](const com::Error&) { say("提交事务的回答没有收到，正在重新连接目的数据库核对..."); };
    hooks.reconciling = [&] { say("正在对账..."); };
    hooks.reconcile_progress = [&](const std::string& item, std::size_t done, std::size_t total) {
      say("正在对账: " + item + "(" + std::to_string(done + 1) + "/" + std::to_string(total) + ")");
    };
    end = assurance::RunAndReconcile(svrPackage, endpoints, &events, hooks);
  });
  return end;
}

void FrmMain::svrPackage_OnStart(const std::string& EventSource) {
  (void)EventSource;
  labDoing->setText(QStringLiteral("正在升级系统..."));
  ProgressBar->setMinimum(1);
  ProgressBar->setMaximum(100);
}

void FrmMain::svrPackage_OnProgress(const std::string& EventSource, const std::string& ProgressDescription,
                                    std::int32_t PercentComplete, std::int32_t ProgressCountLow,
                                    std::int32_t ProgressCountHigh) {
  (void)PercentComplete, (void)ProgressCountLow, (void)ProgressCountHigh;
  toolkit_.DoEvents();
  labDoing->setText(Q("正在处理: " + EventSource + "(" + ProgressDescription + ")"));
}

void FrmMain::svrPackage_OnFinish(const std::string& EventSource) {
  toolkit_.DoEvents();
  lstProgress->addItem(Q("√ " + EventSource + " 完成！"));
  lstProgress->setCurrentRow(lstProgress->count() - 1);
  if (TaskCount <= 0) return;  // no tasks counted: nothing to measure against
  const double r = static_cast<double>(lstProgress->count()) / TaskCount;
  ProgressBar->setValue(ProgressBarValue(r));
  labPercent->setText(Q(FormatPercent(r)));
}

void FrmMain::svrPackage_OnError(const std::string& EventSource, std::int32_t ErrorCode, const std::string& Source,
                                 const std::string& Description, const std::string& HelpFile,
                                 std::int32_t HelpContext, const std::string& IDofInterfaceWithError,
                                 bool& pbCancel) {
  // Failed steps are reported by the plan once the package has finished.
  (void)EventSource, (void)ErrorCode, (void)Source, (void)Description, (void)HelpFile, (void)HelpContext,
      (void)IDofInterfaceWithError, (void)pbCancel;
}

void FrmMain::svrPackage_OnQueryCancel(const std::string& EventSource, bool& pbCancel) {
  (void)EventSource;
  pbCancel = false;  // a run cannot be cancelled from the wizard
}

void FrmMain::closeEvent(QCloseEvent* event) {
  // An upgrade is one unit: the window stays until the run has ended (and
  // until a check has ended: Cancel stops that).
  if (running_ || checking_) {
    event->ignore();
    return;
  }
  event->accept();
}

}  // namespace velmora
