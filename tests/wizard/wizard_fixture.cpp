#include "tests/wizard/wizard_fixture.h"

#include <QCoreApplication>

#include "platform/com/error.h"
#include "platform/jet/writer.h"

namespace wizard_testing {

std::string Text(const QString& s) { return s.toStdString(); }

std::string RecordingToolkit::ShowOpen(const std::string& filter, bool cancel_error) {
  filters.push_back(filter);
  std::optional<std::string> answer;
  if (!open_answers.empty()) {
    answer = open_answers.front();
    open_answers.pop_front();
  }
  if (answer) return *answer;
  if (cancel_error) throw com::Error(velmora::kErrDialogCancelled, "CommonDialog", "选择了“取消”。");
  return "";
}

std::string RecordingToolkit::ShowSave(const std::string& filter, const std::string& suggested_name) {
  filters.push_back(filter);
  suggested_names.push_back(suggested_name);
  if (save_answers.empty()) return "";
  std::string answer = save_answers.front();
  save_answers.pop_front();
  return answer;
}

velmora::FindingsAnswer RecordingToolkit::ShowFindings(const velmora::FindingsDialog& dialog,
                                                       const std::function<void()>& save_list) {
  findings.push_back(dialog);
  while (!findings_answers.empty()) {
    const Press press = findings_answers.front();
    findings_answers.pop_front();
    if (press == Press::kSaveList) {
      if (dialog.can_save_list) save_list();
      continue;
    }
    if (press == Press::kFix && dialog.can_fix) return velmora::FindingsAnswer::kFix;
    return press == Press::kContinue && dialog.can_continue ? velmora::FindingsAnswer::kContinue
                                                            : velmora::FindingsAnswer::kBack;
  }
  return velmora::FindingsAnswer::kBack;
}

bool RecordingToolkit::EditFixes(const std::string&, std::vector<assurance::FixLine>& lines) {
  fix_tables.push_back(lines);
  if (fix_edits.empty()) return false;
  const auto edit = fix_edits.front();
  fix_edits.pop_front();
  return edit(lines);
}

void WriteModelList(const std::string& folder, const std::vector<ModelRow>& rows) {
  jet::Writer writer(folder + "/DTSModelList.mdb");
  writer.BeginTable({"ModelList",
                     {{"ModelCNName", jet::ColumnType::kText, 100},
                      {"ModelClsName", jet::ColumnType::kText, 64},
                      {"SourceType", jet::ColumnType::kText, 4},
                      {"DestinationType", jet::ColumnType::kText, 4},
                      {"Summary", jet::ColumnType::kMemo},
                      {"Model", jet::ColumnType::kText, 20}}});
  for (const auto& row : rows) {
    std::vector<com::Variant> values;
    for (const auto& field : row) values.push_back(field ? com::Variant::Text(*field) : com::Variant::Null());
    writer.AppendRow(values);
  }
  writer.EndTable();
  writer.Finish();
}

WizardTest::~WizardTest() { window_.reset(); }

velmora::FrmMain& WizardTest::Open(const std::string& model_folder, const std::string& settings_file) {
  window_ = std::make_unique<velmora::FrmMain>(
      toolkit, velmora::FrmMainOptions{.model_folder = model_folder,
                                       .settings_file = settings_file.empty() ? settings_dir_.File("settings.ini")
                                                                              : settings_file});
  window_->show();
  QCoreApplication::processEvents();
  return *window_;
}

void WizardTest::ToSourcePage(int row) {
  if (!window_) Open();
  Next();
  window_->ModelList->setCurrentRow(row);
  Next();
  ASSERT_EQ(Page(), 3) << LastBox();
}

void WizardTest::ToDestinationPage(const std::string& source, const std::string& password, int model_row) {
  ToSourcePage(model_row);
  window_->txtSourceDB->setText(QString::fromStdString(source));
  window_->txtDBPwd->setText(QString::fromStdString(password));
  Next();
  ASSERT_EQ(Page(), 4) << LastBox();
}

void WizardTest::FillDestination(const std::string& server, const std::string& user, const std::string& password) {
  window_->combDestinationServer->setEditText(QString::fromStdString(server));
  window_->txtDestinationUID->setText(QString::fromStdString(user));
  window_->txtDestinationPWD->setText(QString::fromStdString(password));
}

std::vector<std::string> WizardTest::Lines(const QListWidget& list) {
  std::vector<std::string> lines;
  for (int i = 0; i < list.count(); ++i) lines.push_back(Text(list.item(i)->text()));
  return lines;
}

std::vector<std::string> WizardTest::Items(const QComboBox& box) const {
  std::vector<std::string> items;
  for (int i = 0; i < box.count(); ++i) items.push_back(Text(box.itemText(i)));
  return items;
}

}  // namespace wizard_testing
