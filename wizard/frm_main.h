// frmMain, the wizard's only window: five pages in the tab container
// ActiveTabs (welcome, model, source, destination, progress) changed only
// by the Previous and Next buttons, with the checks and loads each Next
// makes, the two connection tests and the upgrade run.
//
// Every control carries its name as its object name. The routines keep the
// names the operator's documentation and support staff know them by;
// errors inside the button handlers end the click and are shown in a
// warning box titled "提示". Modal boxes, the file dialog, the busy pointer
// and processing of window messages go through the Toolkit, so the whole
// flow runs without a display in tests.
#pragma once

#include <QWidget>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "library/assurance/check.h"
#include "library/assurance/fix_list.h"
#include "library/assurance/reconcile.h"
#include "library/assurance/report.h"
#include "library/assurance/run_protocol.h"
#include "library/interface/cconnection.h"
#include "platform/com/error.h"
#include "wizard/toolkit.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;

namespace velmora {

struct FrmMainOptions {
  // Folder holding DTSModelList.mdb; empty: the program's own folder.
  std::string model_folder{};
  // The file the wizard keeps the last scheme, source file, server, user
  // and database in (never a password); empty: Velmora's settings of the
  // user.
  std::string settings_file{};
};

inline constexpr char kCaption[] = "Quenlo 5.X升级到6.X工具";
inline constexpr char kMsgBoxTitle[] = "提示";

class FrmMain final : public QWidget {
 public:
  explicit FrmMain(Toolkit& toolkit, FrmMainOptions options = {});
  ~FrmMain() override;

  // ---- Page flow -------------------------------------------------------
  void Form_Load();
  void cmdNext_Click();
  void cmdPrev_Click();
  void cmdCancel_Click();
  // Selects the page before (back) or after the page `index`; nothing
  // before page 1 or after page 5. cmdPrev is enabled from page 2 on.
  void MovePage(std::int16_t index, bool back);
  void LoadModelList();
  void ModelList_Click();
  // Shows `code` in the source or destination provider box and disables
  // it; a code that is no position of the box raises.
  void LockProvider(std::int16_t code, bool source);

  // ---- Connection pages ------------------------------------------------
  void cmdFilePath_Click();
  void cmdTryLoginAccess_Click();
  void cmdTryLoginSQL_Click();
  // Copies the page's entries into its descriptor, then tests them.
  void ApplyConnection(bool source);
  void txtSourceDB_GotFocus();
  void txtDBPwd_GotFocus();
  void txtSourceUID_GotFocus();
  void txtSourcePWD_GotFocus();
  void txtDestinationUID_GotFocus();
  void txtDestinationPWD_GotFocus();

  // ---- The run ---------------------------------------------------------
  // Creates the plan "Korvel." + clsName, hands it the descriptors, and
  // executes its package off the window's thread while the package's
  // events drive the progress page; there too decides how the run ended
  // (assurance::RunAndReconcile), the page saying what is being done.
  // Returns when that is decided; raises only when the plan cannot be made.
  assurance::RunEnd RunPlan(const std::string& clsName, korvel::CConnection& SourceConn, korvel::CConnection& DestinationConn);
  void svrPackage_OnStart(const std::string& EventSource);
  void svrPackage_OnProgress(const std::string& EventSource, const std::string& ProgressDescription,
                             std::int32_t PercentComplete, std::int32_t ProgressCountLow,
                             std::int32_t ProgressCountHigh);
  void svrPackage_OnFinish(const std::string& EventSource);
  static void svrPackage_OnError(const std::string& EventSource, std::int32_t ErrorCode, const std::string& Source,
                                 const std::string& Description, const std::string& HelpFile,
                                 std::int32_t HelpContext, const std::string& IDofInterfaceWithError,
                                 bool& pbCancel);
  static void svrPackage_OnQueryCancel(const std::string& EventSource, bool& pbCancel);

  // ---- The check before the run and the reconciliation after it --------
  // Checks the chosen scheme on page 5 without writing anything, then
  // shows what it found. Returns whether the run is to start: nothing
  // found, or only cuts the operator accepts. The check's own failure is
  // shown and counts as going back.
  bool CheckBeforeRun();
  // "修正…" in the check's dialog: the fix list in a table until the
  // operator writes the corrected copy (beside the source, which is not
  // touched) or cancels; a list or copy that fails is said and the table
  // opens again. With the copy written it becomes the source, and the
  // check runs again on it; returns what that check returns, false on
  // cancel.
  bool FixSourceAndCheckAgain(std::vector<assurance::FixLine> lines);
  // Stops a check under way (Cancel while it runs).
  void CancelCheck() { cancel_check_ = true; }
  // Appends the reconciliation's lines to lstProgress, those that differ
  // standing out.
  void ShowReconciliation(const std::vector<assurance::ReconcileLine>& lines);
  // "保存报告…": the run's report as PDF (or as JSON by its name).
  void cmdSaveReport_Click();
  // The record of the last run (or of the check, before a run).
  const assurance::Report& report() const { return report_; }

  // ---- State -----------------------------------------------------------
  const korvel::CConnection& source_connection() const { return *source_; }
  const korvel::CConnection& destination_connection() const { return *destination_; }
  // The selected model's values.
  std::string Model, ModelCNName, ModelClsName, SourceType, DestinationType, Summary;
  std::int32_t TaskCount = 0;
  bool running() const { return running_; }

  // ---- Controls --------------------------------------------------------
  QTabWidget* ActiveTabs = nullptr;
  QPushButton *cmdPrev = nullptr, *cmdNext = nullptr, *cmdCancel = nullptr;
  QListWidget* ModelList = nullptr;
  QPlainTextEdit* txtDetail = nullptr;
  QComboBox *combSourceProvider = nullptr, *combDestinationProvider = nullptr;
  QLineEdit *txtSourceDB = nullptr, *txtDBPwd = nullptr, *txtSourceUID = nullptr, *txtSourcePWD = nullptr;
  QPushButton *cmdFilePath = nullptr, *cmdTryLoginAccess = nullptr;
  QComboBox *combDestinationServer = nullptr, *combDestinationDB = nullptr;
  QLineEdit *txtDestinationUID = nullptr, *txtDestinationPWD = nullptr;
  QPushButton* cmdTryLoginSQL = nullptr;
  QCheckBox* chkCheckFirst = nullptr;
  QPushButton* cmdSaveReport = nullptr;
  QLabel *labTips = nullptr, *labDoing = nullptr, *labPercent = nullptr;
  QListWidget* lstProgress = nullptr;
  QProgressBar* ProgressBar = nullptr;

 protected:
  void closeEvent(class QCloseEvent* event) override;
  bool eventFilter(QObject* watched, class QEvent* event) override;

 private:
  void BuildWindow();
  // The pages after the welcome, each with its controls, and the handlers
  // the controls call (frm_main_window.cpp).
  QWidget* BuildModelPage();
  QWidget* BuildSourcePage();
  QWidget* BuildDestinationPage();
  QWidget* BuildProgressPage();
  void ConnectControls();
  std::int16_t CurrentPage() const;
  // Shows an error of a click in the warning box.
  void ShowError(const com::Error& e);
  // A test button: the page's test, then "连接成功！" or the error.
  void TestConnection(bool source);
  // Next on page 4 after the checks: the run and the screen around it.
  void StartUpgrade();
  std::string ModelListPath() const;
  // Page 4 again after a check, with its buttons and an empty page 5.
  void BackToDestinationPage();
  // Resets the progress page for a check or a run.
  void ClearProgressPage();
  // The report's head: scheme, source file, destination, start.
  void BeginReport(assurance::Report::Kind kind);
  void EndReport();
  // The end of a run: its result in the report, `box` shown (unless
  // empty), `text` on the page, the normal pointer and 完成 to close.
  void EndRun(assurance::RunOutcome result, const std::string& text, const std::string& box, MsgBoxIcon icon);
  // The destination descriptor as the reconciliation takes it.
  assurance::Endpoints DestinationEndpoints() const;
  void LoadSettings();
  void SaveSettings() const;

  Toolkit& toolkit_;
  FrmMainOptions options_;
  std::shared_ptr<korvel::CConnection> source_, destination_;
  bool running_ = false;
  bool checking_ = false;
  std::atomic<bool> cancel_check_{false};
  std::string remembered_model_;  // the scheme to select at the first model list
  assurance::Report report_;
  std::optional<assurance::CheckResult> check_;  // the check made before this run
  std::chrono::steady_clock::time_point started_{};
};

}  // namespace velmora
