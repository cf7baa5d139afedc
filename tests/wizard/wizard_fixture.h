// What the wizard's tests share: a toolkit that records instead of showing,
// model list files, and a window driven page by page.
#pragma once

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/com/object.h"
#include "tests/support/files.h"
#include "wizard/frm_main.h"
#include "wizard/toolkit.h"

namespace wizard_testing {

struct Box {
  std::string text;
  velmora::MsgBoxIcon icon;
  std::string title;
};

class RecordingToolkit final : public velmora::Toolkit {
 public:
  void MsgBox(const std::string& text, velmora::MsgBoxIcon icon, const std::string& title) override {
    boxes.push_back({text, icon, title});
    if (on_box) on_box(boxes.back());
  }
  std::string ShowOpen(const std::string& filter, bool cancel_error) override;
  std::string ShowSave(const std::string& filter, const std::string& suggested_name) override;
  velmora::FindingsAnswer ShowFindings(const velmora::FindingsDialog& dialog,
                                       const std::function<void()>& save_list) override;
  bool EditFixes(const std::string& heading, std::vector<assurance::FixLine>& lines) override;
  void SetBusyPointer(bool b) override {
    busy = b;
    busy_changes.push_back(b);
  }
  void DoEvents() override {
    ++do_events;
    if (on_do_events) on_do_events();
  }

  std::vector<Box> boxes;
  std::function<void(const Box&)> on_box;
  // Answers of the file dialog in turn; nullopt presses Cancel.
  std::deque<std::optional<std::string>> open_answers;
  std::vector<std::string> filters;
  // Answers of the save dialog in turn; "" (or none left) presses Cancel.
  std::deque<std::string> save_answers;
  std::vector<std::string> suggested_names;
  // The findings dialogs shown, and the answers in turn: kSaveList presses
  // "保存清单…" (the dialog stays), then the next answer is taken; none left
  // is "返回".
  enum class Press { kBack, kContinue, kSaveList, kFix };
  std::deque<Press> findings_answers;
  std::vector<velmora::FindingsDialog> findings;
  // The fix tables shown (their lines as offered), and the operator's edits
  // in turn, each returning whether the copy is asked for; none left
  // cancels.
  std::vector<std::vector<assurance::FixLine>> fix_tables;
  std::deque<std::function<bool(std::vector<assurance::FixLine>&)>> fix_edits;
  bool busy = false;
  std::vector<bool> busy_changes;
  int do_events = 0;
  std::function<void()> on_do_events;
};

// One row of a model list; a nullopt field is stored as null.
using ModelRow = std::vector<std::optional<std::string>>;  // the six columns in table order
// Writes DTSModelList.mdb into `folder` with the given rows.
void WriteModelList(const std::string& folder, const std::vector<ModelRow>& rows);

// The window on a toolkit that records, shown on the offscreen surface.
class WizardTest : public ::testing::Test {
 protected:
  ~WizardTest() override;
  // A window reading the model list from `model_folder` ("": the shipped
  // one), keeping its settings in `settings_file` ("": a file of the
  // test's own).
  velmora::FrmMain& Open(const std::string& model_folder = "", const std::string& settings_file = "");
  velmora::FrmMain& w() { return *window_; }
  int Page() const { return window_->ActiveTabs->currentIndex() + 1; }
  void Next() { window_->cmdNext->click(); }
  void Prev() { window_->cmdPrev->click(); }
  // On to page 3 with the model of row `row` selected.
  void ToSourcePage(int row = 0);
  // On to page 4 with `source` (and its password) on page 3.
  void ToDestinationPage(const std::string& source, const std::string& password = "", int model_row = 0);
  void FillDestination(const std::string& server, const std::string& user, const std::string& password);
  // The last box shown ("" when none).
  std::string LastBox() const { return toolkit.boxes.empty() ? "" : toolkit.boxes.back().text; }
  static std::vector<std::string> Lines(const QListWidget& list);
  std::vector<std::string> Items(const QComboBox& box) const;

  RecordingToolkit toolkit;

 private:
  std::unique_ptr<velmora::FrmMain> window_;
  testing_support::TempDir settings_dir_;  // the settings file of a window opened without one
};

std::string Text(const QString& s);

// Offers the class that `make` makes under `prog_id` for as long as the
// registration lives, so a model list row can name a test plan.
template <class Make>
class Factory final : public com::ClassFactory {
 public:
  explicit Factory(Make make) : make_(std::move(make)) {}
  std::shared_ptr<com::Object> CreateInstance() const override { return make_(); }

 private:
  Make make_;
};

template <class Make>
com::ClassRegistration Register(const std::string& prog_id, Make make) {
  return com::RegisterClassObject(prog_id, std::make_shared<Factory<Make>>(std::move(make)));
}

}  // namespace wizard_testing
