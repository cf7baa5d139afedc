// korvel check: the check an operator makes before an upgrade
// (library/assurance/check.h), with a table per task, the problems, the
// postings and a verdict.
#include <chrono>
#include <cstdio>
#include <map>

#include "cli/args.h"
#include "cli/commands.h"
#include "cli/plan_setup.h"
#include "library/assurance/check.h"
#include "library/assurance/fix_list.h"
#include "library/assurance/report.h"
#include "library/assurance/report_pdf.h"
#include "library/assurance/script_database.h"
#include "library/login/login_tests.h"
#include "platform/com/error.h"
#include "platform/com/variant.h"

namespace embedded {
extern const char kCreate60[];
}

namespace cli {
namespace {

using assurance::CheckResult;
using assurance::Problem;
using assurance::ProblemKind;

constexpr std::size_t kShownPerKind = 20;

// The exit codes of the verdict; a check that could not be made is
// kCheckNotMade.
constexpr int kExitClean = 0;
constexpr int kExitCuts = 1;
constexpr int kExitFails = 2;

void PrintTasks(const CheckResult& r) {
  std::printf("\n%10s %8s %8s  %s\n", "读取行数", "将失败", "将截断", "步骤");
  for (const auto& t : r.tasks) {
    std::printf("%10lld %8lld %8lld  %s\n", static_cast<long long>(t.rows_read),
                static_cast<long long>(t.rows_failing), static_cast<long long>(t.rows_cut), t.step.c_str());
    for (const auto& c : t.columns) {
      std::string what;
      if (c.failing) what += std::to_string(c.failing) + " 行将失败";
      if (c.cut) what += (what.empty() ? "" : "，") + std::to_string(c.cut) + " 行将被截断或替换";
      std::printf("       列 %s：%s\n", c.column.empty() ? "（整个任务）" : c.column.c_str(), what.c_str());
    }
  }
}

void PrintPostings(const CheckResult& r) {
  if (r.postings.empty()) return;
  std::printf("\n将过帐（按导入的余额，未执行）：\n");
  for (const auto& p : r.postings) {
    std::printf("  %s：%s %lld 行", p.step.c_str(), p.ledger.c_str(), static_cast<long long>(p.rows));
    if (p.quantity) std::printf("，数量合计 %s", com::FormatCurrency(*p.quantity).c_str());
    std::printf("，金额合计 %s\n", com::FormatCurrency(p.amount).c_str());
  }
}

void PrintProblems(const CheckResult& r) {
  if (r.problems.empty()) return;
  std::printf("\n问题（按升级的顺序，每类列出前 %zu 个）：\n", kShownPerKind);
  std::map<ProblemKind, std::size_t> shown, total;
  for (const auto& p : r.problems) {
    ++total[p.kind];
    if (shown[p.kind]++ < kShownPerKind) std::printf("  %s\n", ProblemLine(p).c_str());
  }
  for (const auto& [kind, n] : total) {
    if (n > kShownPerKind) {
      std::printf("  ……另有 %zu 个“%s”问题未列出（全部见 --report 报告）\n", n - kShownPerKind, assurance::KindCaption(kind));
    }
  }
}

void PrintVerdict(const CheckResult& r) { std::printf("\n结论：%s\n", VerdictText(r).c_str()); }

}  // namespace

int CmdCheck(const Args& args) {
  const std::string model = args.Require("model");
  const std::string file = args.Require("source");
  const std::string source_password = ReadPassword(args, "source-password");
  const bool from_destination = args.Has("server");
  std::string server, user, password, database = args.Get("database").value_or("Check");
  if (from_destination) {
    server = ServerName(args);
    user = args.Require("user");
    password = ReadPassword(args, "password");
    database = args.Require("database");
  }
  const auto report_path = args.Get("report");
  const auto pdf_path = args.Get("pdf");
  const auto fixes_path = args.Get("fixes");
  for (const auto& path : {report_path, pdf_path, fixes_path}) {
    if (path) RefuseUnwritableReport(*path);
  }

  // The source opens with its password, as the run's first test.
  login::TestSourceFile(file, source_password);
  assurance::Report report =
      assurance::BeginReport(assurance::Report::Kind::kCheck, model, ModelName(model), file, server, user, database);
  const auto started = std::chrono::steady_clock::now();

  const BuiltPlan built = BuildPlan(model, file, source_password, server, user, password, database);
  const auto& package = built.package;

  std::unique_ptr<assurance::ScriptDatabase> script;
  std::unique_ptr<dts::Session> destination;
  if (from_destination) {
    destination = assurance::OpenPackageDestination(*package);
  } else {
    script = std::make_unique<assurance::ScriptDatabase>(database, embedded::kCreate60);
  }
  std::printf("方案 %s：%s\n表的定义取自%s\n", model.c_str(), package->GetText("Description").c_str(),
              from_destination ? ("目的数据库 " + database).c_str() : " 6.0 建库脚本");
  std::fflush(stdout);

  auto last = std::chrono::steady_clock::now();
  const CheckResult result = assurance::CheckPackage(*package, from_destination ? *destination : script->session(),
                                          [&](const std::string& step, std::int64_t rows, std::int64_t expected) {
                                            const auto now = std::chrono::steady_clock::now();
                                            if (now - last < std::chrono::seconds(2)) return;
                                            last = now;
                                            std::fprintf(stderr, "  %s (已检查 %lld%s 行)\n", step.c_str(),
                                                         static_cast<long long>(rows),
                                                         expected > 0 ? ("/" + std::to_string(expected)).c_str() : "");
                                          });
  PrintTasks(result);
  PrintPostings(result);
  PrintProblems(result);
  PrintVerdict(result);
  assurance::EndReport(report, started);
  report.check = result;
  report.check_from_destination = from_destination;
  if (report_path) assurance::WriteFileWhole(*report_path, assurance::ToJson(report));
  if (pdf_path) assurance::WriteReportPdf(report, *pdf_path);
  if (fixes_path) {
    assurance::WriteFileWhole(*fixes_path, assurance::FixListCsv(result));
    std::printf("修正清单已写入 %s：在“新值”列填写改正的值（或在“操作”列填“删除”），再用 korvel fix 写出修正后的副本\n",
                fixes_path->c_str());
  }
  return result.Fails() ? kExitFails : result.Cuts() ? kExitCuts : kExitClean;
}

}  // namespace cli
