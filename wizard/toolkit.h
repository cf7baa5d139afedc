// The toolkit operations the wizard's pages call that block, show a modal
// window or act on the whole program: message boxes, the open-file
// dialog, the busy pointer and the processing of pending window messages.
// The window's own controls are plain widgets; these few go through this
// adapter so the page flow runs the same with the real toolkit and with a
// recording one in tests.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "library/assurance/fix_list.h"

namespace velmora {

enum class MsgBoxIcon { kNone, kWarning, kInformation };

// What the check before a run found, as its dialog shows it.
struct FindingsDialog {
  std::string heading;             // the verdict in a sentence
  std::vector<std::string> lines;  // the problems, as shown
  bool can_continue = false;       // only cuts: "继续升级" is offered
  bool can_save_list = false;      // "保存清单…" is offered
  bool can_fix = false;            // "修正…" is offered
};
enum class FindingsAnswer { kBack, kContinue, kFix };

// The error the open-file dialog raises when Cancel is pressed and the
// dialog was told to raise one.
inline constexpr std::int32_t kErrDialogCancelled = 32755;

class Toolkit {
 public:
  virtual ~Toolkit() = default;

  // A modal message box with an OK button; returns when it is closed.
  virtual void MsgBox(const std::string& text, MsgBoxIcon icon, const std::string& title) = 0;

  // The open-file dialog. `filter` pairs descriptions and patterns with
  // "|" ("Access数据库 (*.mdb)|*.mdb|..."). Returns the chosen file's full
  // path; on Cancel raises kErrDialogCancelled when `cancel_error`,
  // otherwise returns "".
  virtual std::string ShowOpen(const std::string& filter, bool cancel_error) = 0;

  // The save-file dialog with the same kind of filter, proposing
  // `suggested_name`. Returns the chosen path, or "" on Cancel.
  virtual std::string ShowSave(const std::string& filter, const std::string& suggested_name) = 0;

  // The check's findings in a modal dialog: "返回", "继续升级" when
  // `can_continue`, "修正…" when `can_fix`, and "保存清单…" when
  // `can_save_list`, which calls `save_list` and leaves the dialog open.
  // Returns the operator's choice (closing the dialog is "返回").
  virtual FindingsAnswer ShowFindings(const FindingsDialog& dialog, const std::function<void()>& save_list) = 0;

  // The fix list in a table (fix_editor.h), under `heading`. Returns true
  // when the operator asks for the corrected copy, `lines` then holding
  // their edits; false on "取消", `lines` untouched.
  virtual bool EditFixes(const std::string& heading, std::vector<assurance::FixLine>& lines) = 0;

  // The busy (hourglass) pointer for the whole program, or the normal one.
  virtual void SetBusyPointer(bool busy) = 0;

  // Lets pending window messages through, so the window repaints.
  virtual void DoEvents() = 0;
};

}  // namespace velmora
