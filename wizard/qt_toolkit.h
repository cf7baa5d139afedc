// The toolkit operations on Qt: QMessageBox, QFileDialog, the application's
// override cursor and QCoreApplication::processEvents.
#pragma once

#include "wizard/toolkit.h"

class QWidget;

namespace velmora {

class QtToolkit final : public Toolkit {
 public:
  // Dialogs are centred on `parent` (may be null).
  explicit QtToolkit(QWidget* parent = nullptr);
  void set_parent(QWidget* parent) { parent_ = parent; }

  void MsgBox(const std::string& text, MsgBoxIcon icon, const std::string& title) override;
  std::string ShowOpen(const std::string& filter, bool cancel_error) override;
  void SetBusyPointer(bool busy) override;
  void DoEvents() override;

 private:
  QWidget* parent_;
  bool busy_ = false;
};

// "desc|pattern|desc|pattern" as a Qt file dialog filter
// ("desc;;desc"), each description showing its patterns.
std::string QtFileFilter(const std::string& filter);

}  // namespace velmora
