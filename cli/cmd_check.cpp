// korvel check: the check an operator makes before an upgrade (preflight.h),
// with a table per task, the problems, the postings and a verdict.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "cli/args.h"
#include "cli/commands.h"
#include "cli/plan_setup.h"
#include "cli/preflight.h"
#include "platform/com/error.h"
#include "platform/com/variant.h"
#include "platform/dts/step_context.h"
#include "platform/jet/reader.h"
#include "platform/sqlserver/driver.h"
#include "platform/sqlserver/engine.h"

namespace embedded {
extern const char kCreate60[];
}

namespace cli {
namespace {

constexpr std::size_t kShownPerKind = 20;

// The exit codes: the verdict, or a check that could not be made.
constexpr int kExitClean = 0;
constexpr int kExitCuts = 1;
constexpr int kExitFails = 2;
constexpr int kExitError = 3;

// The 6.0 tables made from the creation script, in a folder of this
// process's own that goes with the object.
class ScriptDatabase {
 public:
  explicit ScriptDatabase(const std::string& database) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/korvel-check-XXXXXX";
    if (!mkdtemp(pattern.data())) {
      throw com::Error(com::kErrInvalidArgument, "korvel", "无法建立临时文件夹“" + pattern + "”");
    }
    folder_ = pattern;
    const std::string file = folder_ + "/tables.db";
    sqlsrv::Engine::InitializeDatabase(file);
    session_ = sqlsrv::OpenDatabaseFile(file, database);
    session_->ExecuteBatch(embedded::kCreate60, 0);
  }
  ~ScriptDatabase() {
    session_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  ScriptDatabase(const ScriptDatabase&) = delete;
  ScriptDatabase& operator=(const ScriptDatabase&) = delete;

  dts::Session& session() { return *session_; }

 private:
  std::string folder_;
  std::unique_ptr<dts::Session> session_;
};

// The kind as the operator reads it.
const char* KindCaption(ProblemKind kind) {
  switch (kind) {
    case ProblemKind::kNotNull: return "不能为空";
    case ProblemKind::kCut: return "将截断";
    case ProblemKind::kReplaced: return "字符将替换";
    case ProblemKind::kTooLong: return "过长";
    case ProblemKind::kOutOfRange: return "超出范围";
    case ProblemKind::kConversion: return "无法转换";
    case ProblemKind::kDuplicateKey: return "键重复";
    case ProblemKind::kForeignKey: return "引用不存在";
    case ProblemKind::kTask: return "任务无法执行";
  }
  return "?";
}

std::string ProblemLine(const Problem& p) {
  std::string line = "  [" + std::string(KindCaption(p.kind)) + "] " + p.table;
  if (p.row > 0) line += " 第 " + std::to_string(p.row) + " 行";
  if (!p.key.empty()) line += "（" + p.key + "）";
  if (!p.column.empty()) line += " 列“" + p.column + "”";
  if (!p.parent.empty()) line += "，" + p.parent + " 中没有";
  return line + "：" + p.message;
}

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
    if (shown[p.kind]++ < kShownPerKind) std::printf("%s\n", ProblemLine(p).c_str());
  }
  for (const auto& [kind, n] : total) {
    if (n > kShownPerKind) {
      std::printf("  ……另有 %zu 个“%s”问题未列出（全部见 --report 报告）\n", n - kShownPerKind, KindCaption(kind));
    }
  }
}

const char* VerdictName(const CheckResult& r) { return r.Fails() ? "fails" : r.Cuts() ? "cuts" : "clean"; }

void PrintVerdict(const CheckResult& r) {
  std::int64_t failing = 0, cut = 0, tasks = 0;
  for (const auto& t : r.tasks) {
    failing += t.rows_failing;
    cut += t.rows_cut;
  }
  for (const auto& p : r.problems) tasks += p.kind == ProblemKind::kTask;
  if (r.Fails()) {
    std::string what;
    if (failing) what = std::to_string(failing) + " 行无法写入";
    if (tasks) what += (what.empty() ? "" : "，") + std::to_string(tasks) + " 个任务无法执行";
    std::printf("\n结论：升级将失败：%s，升级会在第一处停止并回滚。请先在 5.6 数据库中改正以上问题。\n", what.c_str());
  } else if (r.Cuts()) {
    std::printf("\n结论：升级可以完成，但 %lld 行的值将被截断或替换以适合 6.0 的列。\n", static_cast<long long>(cut));
  } else {
    std::printf("\n结论：检查通过，升级可以完成，没有值会被截断。\n");
  }
}

void WriteReport(std::ofstream& out, const std::string& path, const std::string& model, const std::string& source,
                 bool from_destination, const CheckResult& r) {
  out << "{\n  \"model\": " << JsonString(model) << ",\n  \"source\": " << JsonString(source)
      << ",\n  \"definitions\": " << (from_destination ? "\"destination\"" : "\"script\"")
      << ",\n  \"verdict\": \"" << VerdictName(r) << "\",\n  \"tasks\": [";
  for (std::size_t i = 0; i < r.tasks.size(); ++i) {
    const auto& t = r.tasks[i];
    out << (i ? "," : "") << "\n    {\"step\": " << JsonString(t.step) << ", \"table\": " << JsonString(t.table)
        << ", \"rows_read\": " << t.rows_read << ", \"rows_failing\": " << t.rows_failing
        << ", \"rows_cut\": " << t.rows_cut << ", \"columns\": [";
    for (std::size_t k = 0; k < t.columns.size(); ++k) {
      const auto& c = t.columns[k];
      out << (k ? ", " : "") << "{\"column\": " << JsonString(c.column) << ", \"failing\": " << c.failing
          << ", \"cut\": " << c.cut << "}";
    }
    out << "]}";
  }
  out << (r.tasks.empty() ? "]" : "\n  ]") << ",\n  \"postings\": [";
  for (std::size_t i = 0; i < r.postings.size(); ++i) {
    const auto& p = r.postings[i];
    out << (i ? "," : "") << "\n    {\"step\": " << JsonString(p.step) << ", \"ledger\": " << JsonString(p.ledger)
        << ", \"rows\": " << p.rows << ", \"amount\": " << JsonString(com::FormatCurrency(p.amount))
        << ", \"quantity\": " << (p.quantity ? JsonString(com::FormatCurrency(*p.quantity)) : "null") << "}";
  }
  out << (r.postings.empty() ? "]" : "\n  ]") << ",\n  \"problems\": [";
  for (std::size_t i = 0; i < r.problems.size(); ++i) {
    const auto& p = r.problems[i];
    out << (i ? "," : "") << "\n    {\"kind\": \"" << KindName(p.kind) << "\", \"fails\": "
        << (KindFails(p.kind) ? "true" : "false") << ", \"step\": " << JsonString(p.step)
        << ", \"table\": " << JsonString(p.table) << ", \"column\": " << JsonString(p.column)
        << ", \"row\": " << p.row << ", \"key\": " << JsonString(p.key) << ", \"number\": " << p.number
        << ", \"message\": " << JsonString(p.message);
    if (p.kind == ProblemKind::kCut || p.kind == ProblemKind::kReplaced) {
      out << ", \"original_length\": " << p.original_length << ", \"cut_length\": " << p.cut_length;
    }
    if (!p.parent.empty()) out << ", \"parent\": " << JsonString(p.parent);
    out << "}";
  }
  out << (r.problems.empty() ? "]" : "\n  ]") << "\n}\n";
  out.flush();
  if (!out) throw com::Error(com::kErrInvalidArgument, "korvel", "无法写报告文件“" + path + "”");
}

int Check(const Argv& argv) {
  Args args(argv, kPlanOptions);
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
  std::unique_ptr<std::ofstream> report;
  if (auto path = args.Get("report")) report = OpenReport(*path);

  // The source opens with its password, as the run's first test.
  jet::Database(file, {.password = source_password});

  const BuiltPlan built = BuildPlan(model, file, source_password, server, user, password, database);
  const auto& package = built.package;

  std::unique_ptr<ScriptDatabase> script;
  std::unique_ptr<dts::Session> destination;
  if (from_destination) {
    // The destination connection of the package, opened as the run opens it.
    dts::ConnectionSpec connection;
    connection.provider = sqlsrv::kProviderName;
    connection.data_source = server;
    connection.user_id = user;
    connection.password = password;
    connection.catalog = database;
    for (const auto& task : package->Tasks()) {
      if (task->kind() != dts::kDataPumpTaskKind) continue;
      if (const auto* c = package->Connections().FindById(task->AsDataPump().GetLong("DestinationConnectionID"))) {
        connection = dts::ConnectionSpecOf(*c);
      }
      break;
    }
    destination = dts::FindDriver(connection.provider)->Open(connection);
  } else {
    script = std::make_unique<ScriptDatabase>(database);
  }
  std::printf("方案 %s：%s\n表的定义取自%s\n", model.c_str(), package->GetText("Description").c_str(),
              from_destination ? ("目的数据库 " + database).c_str() : " 6.0 建库脚本");
  std::fflush(stdout);

  auto last = std::chrono::steady_clock::now();
  const CheckResult result = CheckPackage(*package, from_destination ? *destination : script->session(),
                                          [&](const std::string& step, std::int64_t rows) {
                                            const auto now = std::chrono::steady_clock::now();
                                            if (now - last < std::chrono::seconds(2)) return;
                                            last = now;
                                            std::fprintf(stderr, "  %s (已检查 %lld 行)\n", step.c_str(),
                                                         static_cast<long long>(rows));
                                          });
  PrintTasks(result);
  PrintPostings(result);
  PrintProblems(result);
  PrintVerdict(result);
  if (report) WriteReport(*report, *args.Get("report"), model, file, from_destination, result);
  return result.Fails() ? kExitFails : result.Cuts() ? kExitCuts : kExitClean;
}

}  // namespace

int CmdCheck(const Argv& argv) {
  // Exit codes 1 and 2 are verdicts: a check that cannot be made is 3.
  try {
    return Check(argv);
  } catch (const com::Error& e) {
    ReportError("check", e);
    return kExitError;
  }
}

}  // namespace cli
