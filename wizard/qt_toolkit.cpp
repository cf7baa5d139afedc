#include "wizard/qt_toolkit.h"

#include <QApplication>
#include <QCursor>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <vector>

#include "platform/com/error.h"

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
