// Reading a JSON report back (ReportFromJson), member by member as ToJson
// writes them. Every fault names the member it is in ("steps[2].rows_read"),
// so an operator handed a damaged or edited file learns where it is wrong.
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "library/assurance/report.h"
#include "platform/com/error.h"
#include "platform/com/json.h"

namespace assurance {
namespace {

using com::JsonField;

constexpr char kSource[] = "korvel";

ProblemKind KindNamed(const JsonField& node) {
  const std::string name = node.Text();
  for (ProblemKind kind : {ProblemKind::kNotNull, ProblemKind::kCut, ProblemKind::kReplaced, ProblemKind::kTooLong,
                           ProblemKind::kOutOfRange, ProblemKind::kConversion, ProblemKind::kDuplicateKey,
                           ProblemKind::kForeignKey, ProblemKind::kTask}) {
    if (name == KindName(kind)) return kind;
  }
  node.Fail("字段“" + node.where() + "”的值“" + name + "”不是已知的问题类别");
}

constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

// The check's members, at the report's top or under "check".
CheckResult ReadCheck(const JsonField& node, bool* from_destination) {
  CheckResult r;
  *from_destination = node["definitions"].OneOf<bool>({{"destination", true}, {"script", false}});
  for (const auto& t : node["tasks"].Items()) {
    TaskCheck task{t["step"].Text(),         t["table"].Text(),
                   t["rows_read"].Integer(), t["rows_failing"].Integer(),
                   t["rows_cut"].Integer(),  {}};
    for (const auto& c : t["columns"].Items()) {
      task.columns.push_back({c["column"].Text(), c["failing"].Integer(), c["cut"].Integer()});
    }
    r.tasks.push_back(std::move(task));
  }
  for (const auto& p : node["postings"].Items()) {
    const JsonField quantity = p["quantity"];
    r.postings.push_back({p["step"].Text(), p["ledger"].Text(), p["rows"].Integer(), p["amount"].Money(),
                          quantity.IsNull() ? std::nullopt : std::optional(quantity.Money())});
  }
  for (const auto& p : node["problems"].Items()) {
    Problem problem;
    problem.kind = KindNamed(p["kind"]);
    p["fails"].Boolean();  // follows from the kind
    problem.step = p["step"].Text();
    problem.table = p["table"].Text();
    problem.column = p["column"].Text();
    problem.row = p["row"].Integer();
    problem.key = p["key"].Text();
    problem.number = static_cast<std::int32_t>(p["number"].Integer(kInt32Min, kInt32Max));
    problem.message = p["message"].Text();
    if (problem.kind == ProblemKind::kCut || problem.kind == ProblemKind::kReplaced) {
      problem.original_length = static_cast<std::size_t>(p["original_length"].Integer(0));
      problem.cut_length = static_cast<std::size_t>(p["cut_length"].Integer(0));
    }
    if (p.Has("parent")) problem.parent = p["parent"].Text();
    r.problems.push_back(std::move(problem));
  }
  // The verdict follows from the problems: one that does not is an edit.
  const JsonField verdict = node["verdict"];
  if (verdict.Text() != VerdictName(r)) {
    verdict.Fail("字段“" + verdict.where() + "”的值“" + verdict.Text() + "”与所列问题不符（应为“" + VerdictName(r) +
                 "”）");
  }
  return r;
}

StepRecord ReadStep(const JsonField& s) {
  StepRecord step;
  step.name = s["name"].Text();
  step.state =
      s["result"].OneOf<StepRecord::State>({{StateName(StepRecord::State::kSucceeded), StepRecord::State::kSucceeded},
                                            {StateName(StepRecord::State::kFailed), StepRecord::State::kFailed},
                                            {StateName(StepRecord::State::kNotRun), StepRecord::State::kNotRun}});
  step.in_transaction = s["in_transaction"].Boolean();
  step.stats.rows_read = s["rows_read"].Integer();
  step.stats.rows_written = s["rows_written"].Integer();
  step.stats.seconds = s["seconds"].Number();
  for (const auto& t : s["truncations"].Items()) {
    dts::ColumnTruncation cut{t["column"].Text(), t["count"].Integer(), {}};
    for (const auto& row : t["first_rows"].Items())
      cut.first_rows.push_back({row["position"].Integer(), row["key"].Text()});
    step.stats.truncations.push_back(std::move(cut));
  }
  for (const auto& a : s["statements"].Items()) {
    step.stats.statements.push_back({a["verb"].Text(), a["table"].Text(), a["rows"].Integer()});
  }
  if (step.state == StepRecord::State::kFailed) {
    const JsonField error = s["error"];
    step.error.ErrorCode = static_cast<std::int32_t>(error["number"].Integer(kInt32Min, kInt32Max));
    step.error.Source = error["source"].Text();
    step.error.Description = error["description"].Text();
  }
  return step;
}

FileIdentity ReadFileIdentity(const JsonField& f) {
  return {f["path"].Text(), f["size"].Integer(0), f["modified"].Text(), f["sha256"].Text()};
}

std::optional<std::string> OptionalText(const JsonField& n) {
  return n.IsNull() ? std::nullopt : std::optional<std::string>(n.Text());
}

FixRecord ReadFixRecord(const JsonField& node) {
  FixRecord f;
  f.source = ReadFileIdentity(node["source"]);
  f.copy = ReadFileIdentity(node["copy"]);
  f.list = node["list"].Text();
  f.made = node["made"].Text();
  for (const auto& c : node["changes"].Items()) {
    FixChange change;
    change.table = c["table"].Text();
    change.row = c["row"].Integer(1);
    change.key = c["key"].Text();
    change.removed = c.Has("removed") && c["removed"].Boolean();
    if (!change.removed) {
      change.column = c["column"].Text();
      change.old_value = OptionalText(c["old"]);
      change.new_value = OptionalText(c["new"]);
    }
    f.changes.push_back(std::move(change));
  }
  return f;
}

}  // namespace

FixRecord FixRecordFromJson(const std::string& json) {
  const com::JsonDocument document(json, "修正记录", kSource);
  return ReadFixRecord(document.Root());
}

Report ReportFromJson(const std::string& json) {
  const com::JsonDocument document(json, "报告", kSource);
  const JsonField root = document.Root();
  Report r;
  r.kind = root["kind"].OneOf<Report::Kind>({{"run", Report::Kind::kRun}, {"check", Report::Kind::kCheck}});
  r.model = root["model"].Text();
  r.model_name = root["model_name"].Text();
  r.source.path = root["source"].Text();
  r.source.size = root["source_size"].Integer(0);
  r.source.modified = root["source_modified"].Text();
  r.source.sha256 = root["source_sha256"].Text();
  r.server = root["server"].Text();
  r.user = root["user"].Text();
  r.database = root["database"].Text();
  r.started = root["started"].Text();
  r.ended = root["ended"].Text();
  r.seconds = root["seconds"].Number();
  if (root.Has("source_fixes")) r.fixes = ReadFixRecord(root["source_fixes"]);
  if (root.Has("source_fixes_note")) r.fixes_note = root["source_fixes_note"].Text();
  if (r.kind == Report::Kind::kCheck) {
    r.check = ReadCheck(root, &r.check_from_destination);
    return r;
  }
  r.result = root["result"].OneOf<RunOutcome>({{OutcomeName(RunOutcome::kSuccess), RunOutcome::kSuccess},
                                               {OutcomeName(RunOutcome::kMismatch), RunOutcome::kMismatch},
                                               {OutcomeName(RunOutcome::kUnreconciled), RunOutcome::kUnreconciled},
                                               {OutcomeName(RunOutcome::kUnknown), RunOutcome::kUnknown},
                                               {OutcomeName(RunOutcome::kFailed), RunOutcome::kFailed}});
  r.error = root["error"].TextOrNull();
  for (const auto& l : root["reconciliation"].Items()) {
    r.reconciliation.push_back({l["item"].Text(), l["source"].Text(), l["destination"].Text(), l["match"].Boolean()});
  }
  for (const auto& s : root["steps"].Items()) r.steps.push_back(ReadStep(s));
  if (root.Has("check")) r.check = ReadCheck(root["check"], &r.check_from_destination);
  return r;
}

}  // namespace assurance
