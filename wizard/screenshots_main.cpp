// velmora_screenshots: walks the wizard through an upgrade on a prepared
// server and source and saves each page, and each message box shown on
// the way, as a PNG file. scripts/screenshots prepares the data and runs
// it; the pictures let anyone see the wizard without a display.
//
//   velmora_screenshots --out DIR --server file:SRV --user sa --password-env VAR
//                       --database Sales60 --model 导入人员档案
//                       --source good.mdb --failing-source bad.mdb
//                       [--full-model 5.6升级到6.0默认方案]
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "wizard/frm_main.h"
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
  int count_ = 0;
};

std::map<std::string, std::string> ParseArgs(int argc, char** argv) {
  std::map<std::string, std::string> args;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string key = argv[i];
    if (key.rfind("--", 0) != 0) break;
    args[key.substr(2)] = argv[i + 1];
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
// `progress_name`.
void Walk(PictureToolkit& toolkit, std::map<std::string, std::string>& args, const std::string& model,
          const std::string& source, bool pages, const QString& progress_name) {
  velmora::FrmMain window(toolkit);
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
  const char* password = std::getenv(args["password-env"].c_str());
  window.txtDestinationPWD->setText(QString::fromUtf8(password ? password : ""));
  toolkit.set_prefix(pages ? QStringLiteral("4-destination") : QString());
  window.cmdTryLoginSQL->click();
  window.combDestinationDB->setCurrentText(QString::fromStdString(args["database"]));
  Settle();
  if (pages) toolkit.Save(window, QStringLiteral("4-destination.png"));
  toolkit.set_prefix(progress_name.chopped(4));
  window.cmdNext->click();
  Settle();
  toolkit.Save(window, progress_name);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Velmora"));
  auto args = ParseArgs(argc, argv);
  QDir().mkpath(QString::fromStdString(args["out"]));
  PictureToolkit toolkit(QString::fromStdString(args["out"]));
  Walk(toolkit, args, args["model"], args["source"], true, QStringLiteral("5-progress-finished.png"));
  Walk(toolkit, args, args["model"], args["failing-source"], false, QStringLiteral("6-progress-failed.png"));
  if (args.count("full-model")) {
    Walk(toolkit, args, args["full-model"], args["source"], false, QStringLiteral("7-progress-full.png"));
  }
  return 0;
}
