// The toolkit operations on Qt: QMessageBox, QFileDialog, the application's
// override cursor and QCoreApplication::processEvents.
#pragma once

#include "wizard/toolkit.h"

class QDialog;
class QWidget;

namespace velmora {

class QtToolkit final : public Toolkit {
 public:
  // Dialogs are centred on `parent` (may be null).
  explicit QtToolkit(QWidget* parent = nullptr);
  void set_parent(QWidget* parent) { parent_ = parent; }

  void MsgBox(const std::string& text, MsgBoxIcon icon, const std::string& title) override;
  std::string ShowOpen(const std::string& filter, bool cancel_error) override;
  std::string ShowSave(const std::string& filter, const std::string& suggested_name) override;
  FindingsAnswer ShowFindings(const FindingsDialog& dialog, const std::function<void()>& save_list) override;
  bool EditFixes(const std::string& heading, std::vector<assurance::FixLine>& lines) override;
  void SetBusyPointer(bool busy) override;
  void DoEvents() override;

 private:
  QWidget* parent_;
  bool busy_ = false;
};

// The findings dialog, not yet shown: the screenshot tour renders it.
// "返回" rejects it, "继续升级" accepts it, "修正…" ends it with kFixResult.
inline constexpr int kFixResult = 2;
QDialog* MakeFindingsDialog(QWidget* parent, const FindingsDialog& dialog, const std::function<void()>& save_list);

// "desc|pattern|desc|pattern" as a Qt file dialog filter
// ("desc;;desc"), each description showing its patterns.
std::string QtFileFilter(const std::string& filter);

}  // namespace velmora
