// velmora_screenshots: walks the wizard through an upgrade on a prepared
// server and source and saves each page, and each message box shown on
// the way, as a PNG file. scripts/screenshots prepares the data and runs
// it; the pictures let anyone see the wizard without a display.
//
//   velmora_screenshots --out DIR --server file:SRV --user sa --password-env VAR
//                       --database Sales60 --model 导入人员档案
//                       --source good.mdb --failing-source bad.mdb
//                       [--full-model 5.6升级到6.0默认方案 --report report.pdf]
//
// The finished and the full run go through the check before the run; the
// failed run is made without it, and the failing source is checked once
// more to show the check's dialog. With --report, the full run's report is
// saved as that PDF file.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/port/system.h"
#include "wizard/fix_editor.h"
#include "wizard/frm_main.h"
#include "wizard/qt_toolkit.h"
#include "wizard/toolkit.h"

namespace {

// Message boxes are drawn and saved instead of waiting for a click.
class PictureToolkit final : public velmora::Toolkit {
 public:
  explicit PictureToolkit(QString folder) : folder_(std::move(folder)) {}
  void set_prefix(const QString& prefix) { prefix_ = prefix, count_ = 0; }

  void MsgBox(const std::string& text, velmora::MsgBoxIcon icon, const std::string& title) override {
    QMessageBox box;
    box.setWindowTitle(QString::fromStdString(title));
    box.setText(QString::fromStdString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    box.setIcon(icon == velmora::MsgBoxIcon::kWarning       ? QMessageBox::Warning
                : icon == velmora::MsgBoxIcon::kInformation ? QMessageBox::Information
                                                            : QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Ok);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
    std::printf("  提示框：%s\n", text.c_str());
    if (prefix_.isEmpty()) return;
    box.show();
    QCoreApplication::processEvents();
    Save(box, QStringLiteral("%1-box%2.png").arg(prefix_).arg(++count_));
  }
  std::string ShowOpen(const std::string&, bool) override { return ""; }
  // The save dialog answers with the file set beforehand, once.
  std::string ShowSave(const std::string&, const std::string&) override { return std::exchange(save_as_, {}); }
  void set_save_as(std::string path) { save_as_ = std::move(path); }
  // The check's dialog is drawn and saved when named, then answered with
  // "继续升级" where it is offered and `continue_after_cuts` is set, else
  // with "返回".
  velmora::FindingsAnswer ShowFindings(const velmora::FindingsDialog& dialog,
                                       const std::function<void()>& save_list) override {
    std::printf("  检查：%s\n", dialog.heading.c_str());
    if (!findings_name_.isEmpty()) {
      std::unique_ptr<QDialog> box(velmora::MakeFindingsDialog(nullptr, dialog, save_list));
      box->show();
      QCoreApplication::processEvents();
      Save(*box, findings_name_);
    }
    if (dialog.can_fix && !fixes_name_.isEmpty()) return velmora::FindingsAnswer::kFix;
    return dialog.can_continue && continue_after_cuts_ ? velmora::FindingsAnswer::kContinue
                                                       : velmora::FindingsAnswer::kBack;
  }
  // The fix table is drawn and saved when named, then cancelled.
  bool EditFixes(const std::string& heading, std::vector<assurance::FixLine>& lines) override {
    if (fixes_name_.isEmpty()) return false;
    velmora::FixEditorDialog box(nullptr, heading, lines);
    box.show();
    QCoreApplication::processEvents();
    Save(box, std::exchange(fixes_name_, QString()));
    return false;
  }
  void set_fixes_name(const QString& name) { fixes_name_ = name; }
  void set_findings_name(const QString& name) { findings_name_ = name; }
  void set_continue_after_cuts(bool b) { continue_after_cuts_ = b; }
  void SetBusyPointer(bool) override {}
  void DoEvents() override { QCoreApplication::processEvents(); }

  void Save(QWidget& widget, const QString& name) {
    const QString path = QDir(folder_).filePath(name);
    if (!widget.grab().save(path)) {
      std::fprintf(stderr, "velmora_screenshots: cannot write %s\n", path.toUtf8().constData());
      std::exit(1);
    }
    std::printf("%s\n", path.toUtf8().constData());
  }

 private:
  QString folder_;
  QString prefix_;
  QString findings_name_;
  QString fixes_name_;
  std::string save_as_;
  bool continue_after_cuts_ = false;
  int count_ = 0;
};

std::map<std::string, std::string> ParseArgs(int argc, char** argv) {
  std::map<std::string, std::string> args;
  const std::vector<std::string> words = port::Utf8Arguments(argc, argv);
  for (std::size_t i = 1; i + 1 < words.size(); i += 2) {
    const std::string& key = words[i];
    if (key.rfind("--", 0) != 0) break;
    args[key.substr(2)] = words[i + 1];
  }
  for (const char* required : {"out", "server", "user", "password-env", "database", "model", "source", "failing-source"}) {
    if (!args.count(required)) {
      std::fprintf(stderr, "velmora_screenshots: --%s is required\n", required);
      std::exit(2);
    }
  }
  return args;
}

void Settle() {
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

// Runs the wizard from page 1 to the end of the run of `model` with
// `source`, saving the pages when `pages` is set and the progress page as
// `progress_name` ("": not saved), with or without the check before the
// run; `report`: the PDF the report is then saved as.
void Walk(PictureToolkit& toolkit, std::map<std::string, std::string>& args, const std::string& model,
          const std::string& source, bool pages, bool check, const QString& progress_name,
          const std::string& report = "") {
  velmora::FrmMain window(toolkit, {.model_folder = "", .settings_file = args["out"] + "/.velmora-settings.ini"});
  window.show();
  Settle();
  if (pages) toolkit.Save(window, QStringLiteral("1-welcome.png"));
  window.cmdNext->click();
  const auto items = window.ModelList->findItems(QString::fromStdString(model), Qt::MatchExactly);
  if (items.isEmpty()) {
    std::fprintf(stderr, "velmora_screenshots: no model named %s\n", model.c_str());
    std::exit(1);
  }
  window.ModelList->setCurrentItem(items.front());
  Settle();
  if (pages) toolkit.Save(window, QStringLiteral("2-model.png"));
  window.cmdNext->click();
  window.txtSourceDB->setText(QString::fromStdString(source));
  Settle();
  if (pages) toolkit.Save(window, QStringLiteral("3-source.png"));
  window.cmdNext->click();
  window.combDestinationServer->setEditText(QString::fromStdString(args["server"]));
  window.txtDestinationUID->setText(QString::fromStdString(args["user"]));
  window.txtDestinationPWD->setText(QString::fromStdString(port::GetEnv(args["password-env"]).value_or("")));
  toolkit.set_prefix(pages ? QStringLiteral("4-destination") : QString());
  window.cmdTryLoginSQL->click();
  window.combDestinationDB->setCurrentText(QString::fromStdString(args["database"]));
  Settle();
  if (pages) toolkit.Save(window, QStringLiteral("4-destination.png"));
  window.chkCheckFirst->setChecked(check);
  toolkit.set_prefix(progress_name.isEmpty() ? QString() : progress_name.chopped(4));
  window.cmdNext->click();
  Settle();
  if (!progress_name.isEmpty()) toolkit.Save(window, progress_name);
  if (!report.empty()) {
    toolkit.set_prefix(QString());
    toolkit.set_save_as(report);
    window.cmdSaveReport->click();
  }
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Velmora"));
  auto args = ParseArgs(argc, argv);
  QDir().mkpath(QString::fromStdString(args["out"]));
  PictureToolkit toolkit(QString::fromStdString(args["out"]));
  Walk(toolkit, args, args["model"], args["source"], true, true, QStringLiteral("5-progress-finished.png"));
  Walk(toolkit, args, args["model"], args["failing-source"], false, false, QStringLiteral("6-progress-failed.png"));
  toolkit.set_findings_name(QStringLiteral("8-check-findings.png"));
  toolkit.set_fixes_name(QStringLiteral("8-check-fixes.png"));
  Walk(toolkit, args, args["model"], args["failing-source"], false, true, QString());
  toolkit.set_findings_name(QString());
  if (args.count("full-model")) {
    // The sample's one over-long goods name is cut, as the operator accepts.
    toolkit.set_continue_after_cuts(true);
    Walk(toolkit, args, args["full-model"], args["source"], false, true, QStringLiteral("7-progress-full.png"),
         args.count("report") ? args["report"] : "");
  }
  QFile::remove(QString::fromStdString(args["out"] + "/.velmora-settings.ini"));
  return 0;
}
