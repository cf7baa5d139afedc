// korvel models, korvel describe and korvel run: the upgrade plans from the
// command line, created and run as the wizard creates and runs them.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>

#include "cli/args.h"
#include "cli/commands.h"
#include "cli/plan_setup.h"
#include "library/assurance/reconcile.h"
#include "library/assurance/report.h"
#include "library/assurance/report_pdf.h"
#include "library/assurance/run_record.h"
#include "cli/tsv.h"
#include "library/interface/cconnection.h"
#include "library/interface/ipackage.h"
#include "library/interface/provider.h"
#include "library/interface/report_sink.h"
#include "platform/com/error.h"
#include "platform/com/object.h"
#include "platform/dts/dump.h"
#include "platform/jet/reader.h"
#include "platform/sqlserver/driver.h"

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

// Prints the reconciliation; returns whether every line matched.
bool PrintReconciliation(const std::vector<assurance::ReconcileLine>& lines) {
  std::printf("\n对账（源与目的各自重新计数）：\n");
  bool all = true;
  for (const auto& l : lines) {
    std::printf("  %s %s源 %s；目的 %s\n", l.match ? "相符" : "不符", PadColumns(l.item, 20).c_str(), l.source.c_str(),
                l.destination.c_str());
    if (!l.match) {
      std::fprintf(stderr, "对账不符：%s：源 %s，目的 %s\n", l.item.c_str(), l.source.c_str(), l.destination.c_str());
      all = false;
    }
  }
  return all;
}

}  // namespace

int CmdModels(const Argv& argv) {
  Args args(argv, {});
  jet::Database db(com::ProgramFolder() + "/DTSModelList.mdb");
  auto reader = db.Query("Select * From ModelList");
  WriteTsv(*reader, stdout);
  return 0;
}

int CmdDescribe(const Argv& argv) {
  Args args(argv, {"model", "database", "source", "server", "user"});
  korvel::CConnection src, dst;
  FillConnections(src, dst, args.Get("source").value_or(""), "", args.Has("server") ? ServerName(args) : "",
                  args.Get("user").value_or(""), "", args.Require("database"));
  auto plan = CreatePlan(args.Require("model"));
  plan->KorvelInit(src, dst);
  const std::string dump = dts::DumpPackage(*plan->GetPackage());
  std::fwrite(dump.data(), 1, dump.size(), stdout);
  return 0;
}

int CmdRun(const Argv& argv) {
  Args args(argv, kPlanOptions);
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
  jet::Database(file, {.password = source_password});
  {
    sqlsrv::AdminClient admin;
    admin.Connect(server, user, password, 30);
    admin.Disconnect();
  }

  assurance::Report report = BeginReport(assurance::Report::Kind::kRun, model, file, server, user, database);
  const auto started = std::chrono::steady_clock::now();

  const BuiltPlan built = BuildPlan(model, file, source_password, server, user, password, database);
  const auto& plan = built.plan;
  const auto& package = built.package;
  std::printf("方案 %s：%s，%d 个任务\n", model.c_str(), package->GetText("Description").c_str(), package->Tasks().Count());
  PrintingObserver printing;
  assurance::RunRecorder recorder(*package, &printing);
  const assurance::ReconcilePlan to_reconcile = assurance::ReconcilePlanOf(*package);
  dts::EventLink link(package, &recorder);
  try {
    korvel::ScopedReportSink reports(std::make_shared<PrintingSink>());
    plan->KorvelExec();
  } catch (const com::Error& e) {
    report.error = e.description();
  }
  link.Reset();
  report.steps = recorder.Steps();
  const bool ok = report.error.empty() && recorder.AllSucceeded();
  PrintSummary(report.steps);
  // Only a finished run is reconciled: a failed one has left the
  // destination as it was (or as the report says).
  bool reconciled = true;
  if (ok) {
    report.reconciliation =
        assurance::Reconcile(to_reconcile, {file, source_password, server, user, password, database}, nullptr);
    reconciled = PrintReconciliation(report.reconciliation);
  }
  EndReport(report, started);
  report.result = !ok ? "failed" : reconciled ? "success" : "mismatch";
  if (report_path) assurance::WriteFileWhole(*report_path, assurance::ToJson(report));
  if (pdf_path) assurance::WriteReportPdf(report, *pdf_path);
  if (!ok) {
    std::fprintf(stderr, "\n升级失败：%s\n", report.error.empty() ? "有步骤没有完成" : report.error.c_str());
    return 1;
  }
  if (!reconciled) {
    std::fprintf(stderr, "\n升级已执行完毕，但目的数据库与源数据库对账不符（见上），请检查后再使用。\n");
    return 1;
  }
  std::printf("\n升级完成！\n");
  return 0;
}

}  // namespace cli
