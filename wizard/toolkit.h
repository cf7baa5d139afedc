// The toolkit operations the wizard's pages call that block, show a modal
// window or act on the whole program: message boxes, the open-file
// dialog, the busy pointer and the processing of pending window messages.
// The window's own controls are plain widgets; these few go through this
// adapter so the page flow runs the same with the real toolkit and with a
// recording one in tests.
#pragma once

#include <cstdint>
#include <string>

namespace velmora {

enum class MsgBoxIcon { kNone, kWarning, kInformation };

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

  // The busy (hourglass) pointer for the whole program, or the normal one.
  virtual void SetBusyPointer(bool busy) = 0;

  // Lets pending window messages through, so the window repaints.
  virtual void DoEvents() = 0;
};

}  // namespace velmora
