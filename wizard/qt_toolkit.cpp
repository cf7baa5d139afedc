#include "wizard/qt_toolkit.h"

#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>
#include <vector>

#include "platform/com/error.h"
#include "wizard/fix_editor.h"

namespace velmora {

QtToolkit::QtToolkit(QWidget* parent) : parent_(parent) {}

void QtToolkit::MsgBox(const std::string& text, MsgBoxIcon icon, const std::string& title) {
  QMessageBox box(parent_);
  box.setWindowTitle(QString::fromStdString(title));
  box.setText(QString::fromStdString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
  box.setIcon(icon == MsgBoxIcon::kWarning       ? QMessageBox::Warning
              : icon == MsgBoxIcon::kInformation ? QMessageBox::Information
                                                 : QMessageBox::NoIcon);
  box.setStandardButtons(QMessageBox::Ok);
  box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
  // A box shown during a run must take the normal pointer while it is up.
  if (busy_) QApplication::setOverrideCursor(Qt::ArrowCursor);
  box.exec();
  if (busy_) QApplication::restoreOverrideCursor();
}

std::string QtFileFilter(const std::string& filter) {
  std::vector<std::string> parts;
  for (std::size_t pos = 0;;) {
    const std::size_t bar = filter.find('|', pos);
    parts.push_back(filter.substr(pos, bar == std::string::npos ? std::string::npos : bar - pos));
    if (bar == std::string::npos) break;
    pos = bar + 1;
  }
  std::string out;
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
    std::string description = parts[i];
    // Qt takes the patterns from the entry's trailing parentheses, so those
    // shown in the description give way to the real ones.
    const std::size_t open = description.rfind(" (");
    if (open != std::string::npos && description.back() == ')') description.erase(open);
    std::string patterns = parts[i + 1];
    for (char& c : patterns) {
      if (c == ';') c = ' ';
    }
    if (patterns == "*.*") patterns.assign(1, '*');  // every file, with or without a dot
    if (!out.empty()) out += ";;";
    out += description + " (" + patterns + ")";
  }
  return out;
}

std::string QtToolkit::ShowOpen(const std::string& filter, bool cancel_error) {
  const QString path =
      QFileDialog::getOpenFileName(parent_, QStringLiteral("打开"), QString(), QString::fromStdString(QtFileFilter(filter)));
  if (path.isEmpty()) {
    if (cancel_error) throw com::Error(kErrDialogCancelled, "CommonDialog", "选择了“取消”。");
    return "";
  }
  return path.toStdString();
}

std::string QtToolkit::ShowSave(const std::string& filter, const std::string& suggested_name) {
  if (busy_) QApplication::setOverrideCursor(Qt::ArrowCursor);
  const QString path = QFileDialog::getSaveFileName(parent_, QStringLiteral("保存"), QString::fromStdString(suggested_name),
                                                    QString::fromStdString(QtFileFilter(filter)));
  if (busy_) QApplication::restoreOverrideCursor();
  return path.toStdString();
}

QDialog* MakeFindingsDialog(QWidget* parent, const FindingsDialog& dialog, const std::function<void()>& save_list) {
  auto* box = new QDialog(parent);
  box->setObjectName(QStringLiteral("dlgCheckFindings"));
  box->setWindowTitle(QStringLiteral("升级前检查"));
  box->resize(720, 420);
  auto* layout = new QVBoxLayout(box);
  auto* heading = new QLabel(QString::fromStdString(dialog.heading), box);
  heading->setObjectName(QStringLiteral("labFindings"));
  heading->setWordWrap(true);
  QFont font = heading->font();
  font.setBold(true);
  heading->setFont(font);
  layout->addWidget(heading);
  auto* list = new QPlainTextEdit(box);
  list->setObjectName(QStringLiteral("txtFindings"));
  list->setReadOnly(true);
  list->setLineWrapMode(QPlainTextEdit::NoWrap);
  QString text;
  for (const auto& line : dialog.lines) text += QString::fromStdString(line) + QLatin1Char('\n');
  list->setPlainText(text);
  layout->addWidget(list, 1);
  auto* buttons = new QDialogButtonBox(box);
  if (dialog.can_save_list) {
    QPushButton* save = buttons->addButton(QStringLiteral("保存清单…"), QDialogButtonBox::ActionRole);
    save->setObjectName(QStringLiteral("cmdSaveList"));
    QObject::connect(save, &QPushButton::clicked, box, [save_list] { save_list(); });
  }
  if (dialog.can_fix) {
    QPushButton* fix = buttons->addButton(QStringLiteral("修正…"), QDialogButtonBox::ActionRole);
    fix->setObjectName(QStringLiteral("cmdFix"));
    QObject::connect(fix, &QPushButton::clicked, box, [box] { box->done(kFixResult); });
  }
  if (dialog.can_continue) {
    QPushButton* go = buttons->addButton(QStringLiteral("继续升级"), QDialogButtonBox::AcceptRole);
    go->setObjectName(QStringLiteral("cmdContinue"));
  }
  QPushButton* back = buttons->addButton(QStringLiteral("返回"), QDialogButtonBox::RejectRole);
  back->setObjectName(QStringLiteral("cmdBack"));
  back->setDefault(true);
  QObject::connect(buttons, &QDialogButtonBox::accepted, box, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, box, &QDialog::reject);
  layout->addWidget(buttons);
  return box;
}

FindingsAnswer QtToolkit::ShowFindings(const FindingsDialog& dialog, const std::function<void()>& save_list) {
  std::unique_ptr<QDialog> box(MakeFindingsDialog(parent_, dialog, save_list));
  if (busy_) QApplication::setOverrideCursor(Qt::ArrowCursor);
  const int answer = box->exec();
  if (busy_) QApplication::restoreOverrideCursor();
  return answer == QDialog::Accepted ? FindingsAnswer::kContinue
         : answer == kFixResult     ? FindingsAnswer::kFix
                                    : FindingsAnswer::kBack;
}

bool QtToolkit::EditFixes(const std::string& heading, std::vector<assurance::FixLine>& lines) {
  FixEditorDialog box(parent_, heading, lines);
  if (busy_) QApplication::setOverrideCursor(Qt::ArrowCursor);
  const int answer = box.exec();
  if (busy_) QApplication::restoreOverrideCursor();
  if (answer != QDialog::Accepted) return false;
  lines = box.lines();
  return true;
}

void QtToolkit::SetBusyPointer(bool busy) {
  if (busy == busy_) return;
  busy_ = busy;
  if (busy) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

void QtToolkit::DoEvents() { QCoreApplication::processEvents(); }

}  // namespace velmora
