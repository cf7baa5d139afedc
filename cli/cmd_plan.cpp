// korvel models, korvel describe and korvel run: the upgrade plans from the
// command line, created and run as the wizard creates and runs them.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <future>
#include <map>
#include <memory>

#include "cli/args.h"
#include "cli/commands.h"
#include "cli/plan_setup.h"
#include "cli/tsv.h"
#include "library/assurance/reconcile.h"
#include "library/assurance/report.h"
#include "library/assurance/report_pdf.h"
#include "library/assurance/run_protocol.h"
#include "library/interface/cconnection.h"
#include "library/interface/ipackage.h"
#include "library/interface/provider.h"
#include "library/interface/report_sink.h"
#include "library/login/login_tests.h"
#include "library/model_list/model_list.h"
#include "platform/com/error.h"
#include "platform/com/object.h"
#include "platform/dts/dump.h"
#include "platform/dts/model.h"

namespace cli {
namespace {

using assurance::StepRecord;

// A line per finished step, progress within long steps every 2 s.
class PrintingObserver final : public dts::PackageEvents {
 public:
  void OnFinish(const std::string& source) override {
    std::printf("√ %s 完成！\n", source.c_str());
    std::fflush(stdout);
  }
  void OnProgress(const std::string& source, const std::string& description, std::int32_t, std::int32_t,
                  std::int32_t) override {
    const auto now = std::chrono::steady_clock::now();
    if (now - last_progress_ < std::chrono::seconds(2)) return;
    last_progress_ = now;
    std::fprintf(stderr, "  %s (%s)\n", source.c_str(), description.c_str());
  }

 private:
  std::chrono::steady_clock::time_point last_progress_{};
};

class PrintingSink final : public korvel::ReportSink {
 public:
  void ShowReport(const std::string& text) override {
    std::string t;
    for (char c : text) {
      if (c != '\r') t.push_back(c);
    }
    std::fprintf(stderr, "\n%s\n", t.c_str());
  }
};

// "INSERT" as the summary says it.
std::string VerbName(const std::string& verb) {
  if (verb == "INSERT") return "插入";
  if (verb == "UPDATE") return "更新";
  if (verb == "DELETE") return "删除";
  if (verb.empty()) return "影响";  // a network server tells the count, not the statement
  return verb;
}

void PrintSummary(const std::vector<StepRecord>& outcomes) {
  std::printf("\n%-6s %10s %10s %8s %8s  %s\n", "结果", "读取行数", "写入行数", "截断", "秒", "步骤");
  for (const auto& o : outcomes) {
    std::int64_t cut = 0;
    for (const auto& t : o.stats.truncations) cut += t.count;
    std::printf("%-6s %10lld %10lld %8lld %8.2f  %s\n", assurance::StateCaption(o.state), static_cast<long long>(o.stats.rows_read),
                static_cast<long long>(o.stats.rows_written), static_cast<long long>(cut), o.stats.seconds,
                o.name.c_str());
    for (const auto& t : o.stats.truncations) {
      std::string rows;
      for (const auto& r : t.first_rows) {
        rows += (rows.empty() ? "" : "、") + std::string("第 ") + std::to_string(r.position) + " 行" +
                (r.key.empty() ? "" : "（" + r.key + "）");
      }
      if (t.count > static_cast<std::int64_t>(t.first_rows.size())) rows += "等";
      std::printf("       列 %s：%lld 个值被截断或替换以适合目的列：%s\n", t.column.c_str(),
                  static_cast<long long>(t.count), rows.c_str());
    }
    if (!o.stats.statements.empty()) {
      std::string line;
      for (const auto& a : o.stats.statements) {
        line += (line.empty() ? "" : "；") + VerbName(a.verb) + " " + (a.table.empty() ? "" : a.table + " ") +
                std::to_string(a.rows) + " 行";
      }
      std::printf("       %s\n", line.c_str());
    }
  }
}

// `text` followed by blanks up to `columns` terminal columns (a Chinese
// character takes two).
std::string PadColumns(const std::string& text, std::size_t columns) {
  std::size_t width = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) ++width;
    else if (c >= 0xC0) width += 2;
  }
  return text + std::string(width < columns ? columns - width : 1, ' ');
}

// Prints the reconciliation, each line that differs also to stderr.
void PrintReconciliation(const std::vector<assurance::ReconcileLine>& lines) {
  std::printf("\n对账（源与目的各自重新计数）：\n");
  for (const auto& l : lines) {
    std::printf("  %s %s源 %s；目的 %s\n", l.match ? "相符" : "不符", PadColumns(l.item, 20).c_str(), l.source.c_str(),
                l.destination.c_str());
    if (!l.match) {
      std::fprintf(stderr, "对账不符：%s：源 %s，目的 %s\n", l.item.c_str(), l.source.c_str(), l.destination.c_str());
    }
  }
}

// What a run ended in, as its exit code says it.
enum class RunExit {
  kSucceeded = 0,    // committed and reconciled
  kFailed = 1,       // not committed: the destination is as it was
  kUnconfirmed = 4,  // committed, but the reconciliation or the report could not confirm it
  kUnknown = 5,      // the commit's answer was lost and the database could not tell
};

// The exit of a run's outcome, and what the outcome's line says after its
// words.
RunExit ExitOf(const assurance::RunEnd& end, std::string* why) {
  using assurance::RunOutcome;
  switch (end.outcome) {
    case RunOutcome::kSuccess:
      return RunExit::kSucceeded;
    case RunOutcome::kMismatch:
      *why = "目的数据库与源数据库对账不符（见上）";
      return RunExit::kUnconfirmed;
    case RunOutcome::kUnreconciled:
      *why = "对账无法完成：" + end.reconcile_error->description();
      return RunExit::kUnconfirmed;
    case RunOutcome::kUnknown:
      *why = end.evidence->reason;
      return RunExit::kUnknown;
    case RunOutcome::kFailed:
      if (end.evidence) *why = end.evidence->reason;
      return RunExit::kFailed;
  }
  return RunExit::kFailed;
}

void WriteJson(const assurance::Report& report, const std::string& path) {
  assurance::WriteFileWhole(path, assurance::ToJson(report));
}
void WritePdf(const assurance::Report& report, const std::string& path) { assurance::WriteReportPdf(report, path); }

// The run's last line, and its exit code.
int SayOutcome(RunExit outcome, const std::string& why, const std::string& error) {
  switch (outcome) {
    case RunExit::kSucceeded:
      std::printf("\n升级完成！\n");
      break;
    case RunExit::kFailed:
      std::fprintf(stderr, "\n升级失败：%s\n", !why.empty() ? why.c_str() : error.empty() ? "有步骤没有完成" : error.c_str());
      break;
    case RunExit::kUnconfirmed:
      std::fprintf(stderr, "\n升级已提交，但%s。请检查后再使用。\n", why.c_str());
      break;
    case RunExit::kUnknown:
      std::fprintf(stderr,
                   "\n提交结果未知：%s。请先用 korvel check-database 检查目的数据库，并与源数据库对账，"
                   "再决定是否重新升级。\n",
                   why.c_str());
      break;
  }
  return static_cast<int>(outcome);
}

}  // namespace

int CmdModels(const Args&) {
  WriteTsv(*model_list::ReadModelList(com::ProgramFolder() + "/" + model_list::kModelListFile), stdout);
  return 0;
}

int CmdDescribe(const Args& args) {
  korvel::CConnection src, dst;
  FillConnections(src, dst, args.Get("source").value_or(""), "", args.Has("server") ? ServerName(args) : "",
                  args.Get("user").value_or(""), "", args.Require("database"));
  auto plan = CreatePlan(args.Require("model"));
  plan->KorvelInit(src, dst);
  const std::string dump = dts::DumpPackage(*plan->GetPackage());
  std::fwrite(dump.data(), 1, dump.size(), stdout);
  return 0;
}

int CmdRun(const Args& args) {
  const std::string model = args.Require("model");
  const std::string file = args.Require("source");
  const std::string source_password = ReadPassword(args, "source-password");
  const std::string server = ServerName(args);
  const std::string user = args.Require("user");
  const std::string password = ReadPassword(args, "password");
  const std::string database = args.Require("database");
  const auto report_path = args.Get("report");
  const auto pdf_path = args.Get("pdf");
  for (const auto& path : {report_path, pdf_path}) {
    if (path) RefuseUnwritableReport(*path);
  }

  // The tests the wizard makes before a run: the source file opens with its
  // password, the login works.
  login::TestSourceFile(file, source_password);
  login::TestServerLogin(server, user, password, 30);

  // The report begins with the source's SHA-256, taken while the run goes
  // on: the run fails on a source changed under it, so a run that finishes
  // read the file that was hashed.
  std::future<assurance::Report> begun =
      std::async(std::launch::async, [&, model_name = ModelName(model)] {
        return assurance::BeginReport(assurance::Report::Kind::kRun, model, model_name, file, server, user, database);
      });
  const auto started = std::chrono::steady_clock::now();

  const BuiltPlan built = BuildPlan(model, file, source_password, server, user, password, database);
  const auto& plan = built.plan;
  const auto& package = built.package;
  std::printf("方案 %s：%s，%d 个任务\n", model.c_str(), package->GetText("Description").c_str(), package->Tasks().Count());
  PrintingObserver printing;
  const assurance::Endpoints endpoints{file, source_password, server, user, password, database};
  assurance::RunHooks hooks;
  hooks.execute = [&] { korvel::KorvelExecReportingTo(*plan, std::make_shared<PrintingSink>()); };
  hooks.ran = [](const std::vector<StepRecord>& steps) { PrintSummary(steps); };
  hooks.asking_database = [](const com::Error& e) {
    std::fprintf(stderr, "\n提交事务的回答没有收到：%s\n正在重新连接目的数据库核对……\n", e.description().c_str());
  };
  const assurance::RunEnd end = assurance::RunAndReconcile(package, endpoints, &printing, hooks);
  if (end.evidence) std::fprintf(stderr, "%s。\n", end.evidence->reason.c_str());
  // A committed run's recount; a mismatch's lines also go to stderr.
  if (end.outcome == assurance::RunOutcome::kSuccess || end.outcome == assurance::RunOutcome::kMismatch) {
    PrintReconciliation(end.reconciliation);
  }
  assurance::Report report = begun.get();
  assurance::RecordRunEnd(end, report);
  std::string why;  // what the outcome's line says after its words
  RunExit outcome = ExitOf(end, &why);
  assurance::EndReport(report, started);
  for (const auto& [path, write] : {std::pair{report_path, &WriteJson}, std::pair{pdf_path, &WritePdf}}) {
    if (!path) continue;
    try {
      write(report, *path);
    } catch (const com::Error& e) {
      std::fprintf(stderr, "\n%s\n", e.description().c_str());
      // Said as "committed, but" only where the upgrade went in.
      if (outcome != RunExit::kSucceeded && outcome != RunExit::kUnconfirmed) continue;
      if (outcome == RunExit::kSucceeded) outcome = RunExit::kUnconfirmed;
      why += std::string(why.empty() ? "" : "；") + "报告没有写成，运行的结果见上面的汇总与对账";
    }
  }
  return SayOutcome(outcome, why, report.error);
}

}  // namespace cli
