// frmMain around the run: the check before it, the reconciliation after
// it, the report to save, and the entries remembered from the last run.
#include <QBrush>
#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QDate>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <algorithm>
#include <filesystem>
#include <map>

#include "library/assurance/fix_list.h"
#include "library/assurance/report_pdf.h"
#include "library/assurance/source_fix.h"
#include "library/interface/ipackage.h"
#include "platform/com/object.h"
#include "platform/port/files.h"
#include "wizard/frm_main.h"
#include "wizard/m_constant.h"
#include "wizard/window_thread.h"

namespace velmora {
namespace {

constexpr char kSource[] = "frmMain";
constexpr char kNextCaption[] = "下一步(&N)";
// The error a cancelled check ends with; it is not shown.
constexpr std::int32_t kErrCheckCancelled = com::kObjectError + 2;
constexpr std::size_t kShownPerKind = 20;

QString Q(const std::string& s) { return QString::fromStdString(s); }

// The settings' keys.
constexpr char kKeyModel[] = "last/model";
constexpr char kKeySource[] = "last/source";
constexpr char kKeyServer[] = "last/server";
constexpr char kKeyUser[] = "last/user";
constexpr char kKeyDatabase[] = "last/database";

std::unique_ptr<QSettings> OpenSettings(const std::string& file) {
  if (file.empty()) return std::make_unique<QSettings>(QStringLiteral("Velmora"), QStringLiteral("Velmora"));
  return std::make_unique<QSettings>(Q(file), QSettings::IniFormat);
}

// The check's problems as its dialog lists them: by kind, the first
// kShownPerKind of each.
std::vector<std::string> FindingLines(const assurance::CheckResult& r) {
  std::map<assurance::ProblemKind, std::vector<const assurance::Problem*>> by_kind;
  for (const auto& p : r.problems) by_kind[p.kind].push_back(&p);
  std::vector<std::string> lines;
  for (const auto& [kind, problems] : by_kind) {
    lines.push_back("【" + std::string(assurance::KindCaption(kind)) + "】共 " + std::to_string(problems.size()) + " 处");
    for (std::size_t i = 0; i < problems.size() && i < kShownPerKind; ++i) {
      lines.push_back("  " + assurance::ProblemLine(*problems[i]));
    }
    if (problems.size() > kShownPerKind) {
      lines.push_back("  ……另有 " + std::to_string(problems.size() - kShownPerKind) + " 处未列出");
    }
  }
  return lines;
}

// How the record of a copy made here names its fix list.
constexpr char kFixedInWizard[] = "（在 Velmora 中填写）";

// A name for the corrected copy beside `source` that neither it nor its
// record takes yet: "店.mdb" gives "店-修正.mdb", then "店-修正2.mdb", ...
// The names are UTF-8 throughout (port::PathFromUtf8): a Windows path made
// from a narrow string would read it in the system's code page.
std::string CopyPathBeside(const std::string& source) {
  const std::filesystem::path from = port::PathFromUtf8(source);
  const std::string extension = from.has_extension() ? port::Utf8FromPath(from.extension()) : ".mdb";
  const std::string stem = port::Utf8FromPath(from.stem());
  for (int n = 1;; ++n) {
    std::filesystem::path to = from;
    to.replace_filename(port::PathFromUtf8(stem + "-修正" + (n > 1 ? std::to_string(n) : "") + extension));
    const std::string path = port::Utf8FromPath(to);
    if (!port::PathExists(path) && !port::PathExists(assurance::FixRecordPath(path))) return path;
  }
}

// A task's line on the progress page once it has been checked.
std::string CheckedLine(const assurance::TaskCheck& t) {
  std::string line = (t.rows_failing ? "× " : "√ ") + std::string("检查 ") + t.step + "：读取 " +
                     std::to_string(t.rows_read) + " 行";
  if (t.rows_failing) line += "，" + std::to_string(t.rows_failing) + " 行将失败";
  if (t.rows_cut) line += "，" + std::to_string(t.rows_cut) + " 行将被截断";
  return line;
}

}  // namespace

// ---- The check before the run ---------------------------------------------

bool FrmMain::CheckBeforeRun() {
  cmdPrev->setEnabled(false);
  cmdNext->setEnabled(false);
  cmdCancel->setEnabled(true);  // stops the check
  toolkit_.SetBusyPointer(true);
  ClearProgressPage();
  labDoing->setText(QStringLiteral("正在检查数据..."));
  checking_ = true;
  cancel_check_ = false;
  check_.reset();
  BeginReport(assurance::Report::Kind::kCheck);

  const std::string prog_id = "Korvel." + ModelClsName;
  const korvel::CConnection& window_source = *source_;
  const korvel::CConnection& window_destination = *destination_;
  assurance::CheckResult result;
  std::optional<com::Error> failure;
  try {
    RunOffWindowThread(this, [&] {
      // The plan, made on this thread as the run's is, gets descriptors of
      // its own with the providers it needs.
      korvel::CConnection source, destination;
      for (auto [from, to] : {std::pair{&window_source, &source}, std::pair{&window_destination, &destination}}) {
        to->Provider = from->Provider, to->InitialCatalog = from->InitialCatalog, to->DataSource = from->DataSource;
        to->IsNT = from->IsNT, to->Password = from->Password, to->UserID = from->UserID;
        to->ConnectionString = from->ConnectionString;
        ResolveProvider(*to);
      }
      auto plan = com::QueryInterface<korvel::IPackage>(com::CreateObject(prog_id), prog_id);
      plan->KorvelInit(source, destination);
      const std::shared_ptr<dts::Package> package = plan->GetPackage();
      if (!package) throw com::Error(91, kSource, "对象变量未设置：方案“" + prog_id + "”没有建立包");
      int tasks = 0;
      for (const auto& task : package->Tasks()) tasks += task->kind() == dts::kDataPumpTaskKind;
      if (tasks == 0) return;  // nothing is imported: nothing to check
      const std::unique_ptr<dts::Session> definitions = assurance::OpenPackageDestination(*package);
      int started = 0;
      result = assurance::CheckPackage(*package, *definitions, [&](const std::string& step, std::int64_t rows,
                                                                   std::int64_t expected) {
        if (cancel_check_) throw com::Error(kErrCheckCancelled, kSource, "检查已取消");
        if (rows == 0) ++started;
        // The bar moves by the imports checked and the rows of this one.
        const double share = expected > 0 ? std::min(1.0, static_cast<double>(rows) / static_cast<double>(expected)) : 0;
        const int value = static_cast<int>((started - 1 + share) * 100 / tasks);
        // A new import's line is shown before its rows are read, so that
        // Cancel is seen at the latest when the next import begins.
        const auto show = [this, step, rows, value] {
          const std::string line = "正在检查 " + step + (rows ? "：已检查 " + std::to_string(rows) + " 行" : "");
          if (rows == 0 || lstProgress->count() == 0) lstProgress->addItem(Q(line));
          else lstProgress->item(lstProgress->count() - 1)->setText(Q(line));
          lstProgress->setCurrentRow(lstProgress->count() - 1);
          labDoing->setText(Q("正在检查: " + step + "(已检查 " + std::to_string(rows) + " 行)"));
          ProgressBar->setValue(value);
        };
        if (rows == 0) {
          CallOnWindow(this, show);
        } else {
          PostToWindow(this, show);
        }
      });
    });
  } catch (const com::Error& e) {
    failure = e;
  }
  checking_ = false;
  toolkit_.SetBusyPointer(false);
  if (failure) {
    if (failure->number() != kErrCheckCancelled) {
      toolkit_.MsgBox("无法进行升级前检查：" + failure->description(), MsgBoxIcon::kWarning, kMsgBoxTitle);
    }
    return false;
  }

  // The page shows what each import would do.
  lstProgress->clear();
  for (const auto& t : result.tasks) {
    lstProgress->addItem(Q(CheckedLine(t)));
    if (t.rows_failing) lstProgress->item(lstProgress->count() - 1)->setForeground(QBrush(QColor(0xc0, 0, 0)));
  }
  ProgressBar->setValue(100);
  labDoing->setText(Q("检查完成：" + assurance::VerdictText(result)));
  check_ = result;
  report_.check = result;
  report_.check_from_destination = true;
  EndReport();
  if (!result.Fails() && !result.Cuts()) return true;

  std::vector<assurance::FixLine> fixable = assurance::FixLinesOf(result);
  std::erase_if(fixable, [](const assurance::FixLine& l) { return l.row <= 0; });
  // Numbered as the table shows them, for the messages that name a line.
  for (std::size_t i = 0; i < fixable.size(); ++i) fixable[i].line = i + 1;
  FindingsDialog dialog;
  dialog.heading = assurance::VerdictText(result);
  dialog.lines = FindingLines(result);
  dialog.can_continue = !result.Fails();
  dialog.can_save_list = result.Fails();
  dialog.can_fix = !fixable.empty();
  const FindingsAnswer answer = toolkit_.ShowFindings(dialog, [this, &result] {
    try {
      const std::string path = toolkit_.ShowSave("CSV 文件 (*.csv)|*.csv", "升级前检查清单.csv");
      if (path.empty()) return;
      assurance::WriteFileWhole(path, assurance::FixListCsv(result));
      toolkit_.MsgBox("清单已保存到“" + path + "”。", MsgBoxIcon::kInformation, kMsgBoxTitle);
    } catch (const com::Error& e) {
      toolkit_.MsgBox(e.description(), MsgBoxIcon::kWarning, kMsgBoxTitle);
    }
  });
  if (answer == FindingsAnswer::kFix) return FixSourceAndCheckAgain(std::move(fixable));
  return answer == FindingsAnswer::kContinue;
}

bool FrmMain::FixSourceAndCheckAgain(std::vector<assurance::FixLine> lines) {
  const std::string heading =
      "在“新值”列填写改正后的值，或勾选“删除”把这一行留在副本之外。源文件“" + source_->DataSource +
      "”不会被改动：修正写入它旁边的副本，然后用副本重新检查。";
  while (toolkit_.EditFixes(heading, lines)) {
    try {
      const auto changes = std::count_if(lines.begin(), lines.end(),
                                         [](const assurance::FixLine& l) { return l.action != assurance::FixAction::kNone; });
      if (changes == 0) {
        toolkit_.MsgBox("没有填写任何修正：请在“新值”列填写，或勾选“删除”。", MsgBoxIcon::kWarning, kMsgBoxTitle);
        continue;
      }
      const std::string source = source_->DataSource;
      const std::string copy = CopyPathBeside(source);
      const jet::OpenOptions options{.password = source_->Password};
      labDoing->setText(QStringLiteral("正在写出修正后的副本..."));
      toolkit_.SetBusyPointer(true);
      assurance::FixRecord record;
      try {
        RunOffWindowThread(this, [&] {
          record = assurance::FixSource(source, options, lines, kFixedInWizard, copy,
                                        [this](const std::string& table, std::int64_t rows) {
                                          PostToWindow(this, [this, table, rows] {
                                            labDoing->setText(Q("正在写出修正后的副本: " + table + "(已复制 " +
                                                                std::to_string(rows) + " 行)"));
                                          });
                                        });
        });
      } catch (...) {
        toolkit_.SetBusyPointer(false);
        throw;
      }
      toolkit_.SetBusyPointer(false);
      // From here on the copy is the source: the check, the run and the report.
      source_->DataSource = source_->InitialCatalog = copy;
      txtSourceDB->setText(Q(copy));
      toolkit_.MsgBox("已写出修正后的副本“" + copy + "”（" + std::to_string(record.changes.size()) +
                          " 处修改），修改记录在“" + assurance::FixRecordPath(copy) +
                          "”。源文件未改动。\n接下来用副本重新检查，升级将从副本导入。",
                      MsgBoxIcon::kInformation, kMsgBoxTitle);
      return CheckBeforeRun();
    } catch (const com::Error& e) {
      // The table opens again as the operator left it.
      toolkit_.MsgBox(e.description(), MsgBoxIcon::kWarning, kMsgBoxTitle);
    }
  }
  labDoing->setText(Q("检查完成：" + assurance::VerdictText(*check_)));
  return false;
}

void FrmMain::BackToDestinationPage() {
  MovePage(5, true);
  // The destination test emptied the database box after taking its name:
  // the operator finds the name they chose.
  combDestinationDB->setEditText(Q(destination_->InitialCatalog));
  cmdNext->setText(Q(kNextCaption));
  cmdNext->setEnabled(true);
  cmdCancel->setEnabled(true);
  ClearProgressPage();
}

void FrmMain::ClearProgressPage() {
  lstProgress->clear();
  labDoing->setText(QStringLiteral("正在进行: ..."));
  labPercent->setText(QStringLiteral("0%"));
  ProgressBar->setValue(ProgressBar->minimum());
  cmdSaveReport->setVisible(false);
}

// ---- The reconciliation after it ------------------------------------------

assurance::Endpoints FrmMain::DestinationEndpoints() const {
  return {source_->DataSource,   source_->Password, destination_->DataSource,
          destination_->UserID, destination_->Password, destination_->InitialCatalog};
}

void FrmMain::ShowReconciliation(const std::vector<assurance::ReconcileLine>& lines) {
  for (const auto& l : lines) {
    lstProgress->addItem(Q(std::string(l.match ? "相符 " : "不符 ") + l.item + "：源 " + l.source + "；目的 " +
                           l.destination));
    if (!l.match) {
      QListWidgetItem* item = lstProgress->item(lstProgress->count() - 1);
      item->setForeground(QBrush(QColor(0xc0, 0, 0)));
      QFont font = item->font();
      font.setBold(true);
      item->setFont(font);
    }
  }
  lstProgress->setCurrentRow(lstProgress->count() - 1);
}

// ---- The report ------------------------------------------------------------

void FrmMain::BeginReport(assurance::Report::Kind kind) {
  report_ = assurance::BeginReport(kind, ModelClsName, ModelCNName, source_->DataSource, destination_->DataSource,
                                   destination_->UserID, destination_->InitialCatalog);
  started_ = std::chrono::steady_clock::now();
  if (kind == assurance::Report::Kind::kRun && check_) {
    report_.check = check_;
    report_.check_from_destination = true;  // the wizard's check reads the destination's tables
  }
}

void FrmMain::EndReport() {
  assurance::EndReport(report_, started_);
  if (report_.kind == assurance::Report::Kind::kRun) cmdSaveReport->setVisible(true);
}

void FrmMain::cmdSaveReport_Click() {
  try {
    const std::string suggested =
        "升级报告-" + report_.database + "-" + QDate::currentDate().toString(QStringLiteral("yyyyMMdd")).toStdString() + ".pdf";
    const std::string path = toolkit_.ShowSave("PDF 文件 (*.pdf)|*.pdf|JSON 报告 (*.json)|*.json", suggested);
    if (path.empty()) return;
    if (path.size() >= 5 && path.compare(path.size() - 5, 5, ".json") == 0) {
      assurance::WriteFileWhole(path, assurance::ToJson(report_));
    } else {
      assurance::WriteReportPdf(report_, path);
    }
    toolkit_.MsgBox("报告已保存到“" + path + "”。", MsgBoxIcon::kInformation, kMsgBoxTitle);
  } catch (const com::Error& e) {
    ShowError(e);
  }
}

// ---- What the wizard remembers ----------------------------------------------

void FrmMain::LoadSettings() {
  const auto settings = OpenSettings(options_.settings_file);
  remembered_model_ = settings->value(kKeyModel).toString().toStdString();
  txtSourceDB->setText(settings->value(kKeySource).toString());
  combDestinationServer->setEditText(settings->value(kKeyServer).toString());
  txtDestinationUID->setText(settings->value(kKeyUser).toString());
  combDestinationDB->setEditText(settings->value(kKeyDatabase).toString());
}

void FrmMain::SaveSettings() const {
  // Never a password: the operator types it each time.
  const auto settings = OpenSettings(options_.settings_file);
  settings->setValue(kKeyModel, Q(ModelCNName));
  // The entries as the descriptors took them (the destination test
  // empties the database box after taking its name).
  settings->setValue(kKeySource, Q(source_->DataSource));
  settings->setValue(kKeyServer, Q(destination_->DataSource));
  settings->setValue(kKeyUser, Q(destination_->UserID));
  settings->setValue(kKeyDatabase, Q(destination_->InitialCatalog));
  settings->sync();
}

}  // namespace velmora
