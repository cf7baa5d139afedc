#include "library/assurance/report.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "platform/com/error.h"
#include "platform/com/json.h"
#include "platform/com/variant.h"
#include "platform/port/files.h"
#include "platform/port/sha256.h"
#include "platform/port/system.h"

namespace assurance {
namespace {

constexpr char kSource[] = "korvel";

std::string LocalTime(std::time_t t) {
  std::tm tm{};
  port::LocalTime(t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
  return buf;
}

using com::Json;

// A duration in seconds, as the reports have written it (six significant
// digits); a value JSON cannot hold as 0.
Json Seconds(double s) {
  if (!std::isfinite(s)) return Json::Integer(0);
  std::ostringstream out;
  out << s;
  return Json::Number(out.str());
}

Json OptionalText(const std::optional<std::string>& s) { return s ? Json::String(*s) : Json(); }

Json FileIdentityJson(const FileIdentity& f) {
  return Json::Object()
      .Add("path", Json::String(f.path))
      .Add("size", Json::Integer(f.size))
      .Add("modified", Json::String(f.modified))
      .Add("sha256", Json::String(f.sha256));
}

Json FixRecordValue(const FixRecord& f) {
  Json changes = Json::Array();
  for (const FixChange& c : f.changes) {
    Json change = Json::Object();
    change.Add("table", Json::String(c.table)).Add("row", Json::Integer(c.row)).Add("key", Json::String(c.key));
    if (c.removed) {
      change.Add("removed", Json::Bool(true));
    } else {
      change.Add("column", Json::String(c.column))
          .Add("old", OptionalText(c.old_value))
          .Add("new", OptionalText(c.new_value));
    }
    changes.Push(std::move(change));
  }
  return Json::Object()
      .Add("source", FileIdentityJson(f.source))
      .Add("copy", FileIdentityJson(f.copy))
      .Add("list", Json::String(f.list))
      .Add("made", Json::String(f.made))
      .Add("changes", std::move(changes));
}

// The members every report starts with: what, from where, to where, when.
Json Head(const Report& r) {
  Json head = Json::Object();
  head.Add("kind", Json::String(r.kind == Report::Kind::kRun ? "run" : "check"))
      .Add("model", Json::String(r.model))
      .Add("model_name", Json::String(r.model_name))
      .Add("source", Json::String(r.source.path))
      .Add("source_size", Json::Integer(r.source.size))
      .Add("source_modified", Json::String(r.source.modified))
      .Add("source_sha256", Json::String(r.source.sha256))
      .Add("server", Json::String(r.server))
      .Add("user", Json::String(r.user))
      .Add("database", Json::String(r.database))
      .Add("started", Json::String(r.started))
      .Add("ended", Json::String(r.ended))
      .Add("seconds", Seconds(r.seconds));
  if (r.fixes) head.Add("source_fixes", FixRecordValue(*r.fixes));
  if (!r.fixes_note.empty()) head.Add("source_fixes_note", Json::String(r.fixes_note));
  return head;
}

Json Money(std::int64_t ten_thousandths) { return Json::String(com::FormatCurrency(ten_thousandths)); }

// A check's findings, added to `out`: the report's top, or its "check".
void AddCheck(Json& out, const CheckResult& r, bool from_destination) {
  Json tasks = Json::Array();
  for (const auto& t : r.tasks) {
    Json columns = Json::Array();
    for (const auto& c : t.columns) {
      columns.Push(Json::Object()
                       .Add("column", Json::String(c.column))
                       .Add("failing", Json::Integer(c.failing))
                       .Add("cut", Json::Integer(c.cut)));
    }
    tasks.Push(Json::Object()
                   .Add("step", Json::String(t.step))
                   .Add("table", Json::String(t.table))
                   .Add("rows_read", Json::Integer(t.rows_read))
                   .Add("rows_failing", Json::Integer(t.rows_failing))
                   .Add("rows_cut", Json::Integer(t.rows_cut))
                   .Add("columns", std::move(columns)));
  }
  Json postings = Json::Array();
  for (const auto& p : r.postings) {
    postings.Push(Json::Object()
                      .Add("step", Json::String(p.step))
                      .Add("ledger", Json::String(p.ledger))
                      .Add("rows", Json::Integer(p.rows))
                      .Add("amount", Money(p.amount))
                      .Add("quantity", p.quantity ? Money(*p.quantity) : Json()));
  }
  Json problems = Json::Array();
  for (const auto& p : r.problems) {
    Json problem = Json::Object();
    problem.Add("kind", Json::String(KindName(p.kind)))
        .Add("fails", Json::Bool(KindFails(p.kind)))
        .Add("step", Json::String(p.step))
        .Add("table", Json::String(p.table))
        .Add("column", Json::String(p.column))
        .Add("row", Json::Integer(p.row))
        .Add("key", Json::String(p.key))
        .Add("number", Json::Integer(p.number))
        .Add("message", Json::String(p.message));
    if (p.kind == ProblemKind::kCut || p.kind == ProblemKind::kReplaced) {
      problem.Add("original_length", Json::Integer(static_cast<std::int64_t>(p.original_length)))
          .Add("cut_length", Json::Integer(static_cast<std::int64_t>(p.cut_length)));
    }
    if (!p.parent.empty()) problem.Add("parent", Json::String(p.parent));
    problems.Push(std::move(problem));
  }
  out.Add("definitions", Json::String(from_destination ? "destination" : "script"))
      .Add("verdict", Json::String(VerdictName(r)))
      .Add("tasks", std::move(tasks))
      .Add("postings", std::move(postings))
      .Add("problems", std::move(problems));
}

Json Reconciliation(const std::vector<ReconcileLine>& lines) {
  Json out = Json::Array();
  for (const auto& l : lines) {
    out.Push(Json::Object()
                 .Add("item", Json::String(l.item))
                 .Add("source", Json::String(l.source))
                 .Add("destination", Json::String(l.destination))
                 .Add("match", Json::Bool(l.match)));
  }
  return out;
}

Json Step(const StepRecord& o) {
  Json truncations = Json::Array();
  for (const auto& t : o.stats.truncations) {
    Json first_rows = Json::Array();
    for (const auto& row : t.first_rows) {
      first_rows.Push(Json::Object().Add("position", Json::Integer(row.position)).Add("key", Json::String(row.key)));
    }
    truncations.Push(Json::Object()
                         .Add("column", Json::String(t.column))
                         .Add("count", Json::Integer(t.count))
                         .Add("first_rows", std::move(first_rows)));
  }
  Json statements = Json::Array();
  for (const auto& a : o.stats.statements) {
    statements.Push(Json::Object()
                        .Add("verb", Json::String(a.verb))
                        .Add("table", Json::String(a.table))
                        .Add("rows", Json::Integer(a.rows)));
  }
  Json step = Json::Object();
  step.Add("name", Json::String(o.name))
      .Add("result", Json::String(StateName(o.state)))
      .Add("in_transaction", Json::Bool(o.in_transaction))
      .Add("rows_read", Json::Integer(o.stats.rows_read))
      .Add("rows_written", Json::Integer(o.stats.rows_written))
      .Add("seconds", Seconds(o.stats.seconds))
      .Add("truncations", std::move(truncations))
      .Add("statements", std::move(statements));
  if (o.state == StepRecord::State::kFailed) {
    step.Add("error", Json::Object()
                          .Add("number", Json::Integer(o.error.ErrorCode))
                          .Add("source", Json::String(o.error.Source))
                          .Add("description", Json::String(o.error.Description)));
  }
  return step;
}

}  // namespace

std::string LocalTimeNow() { return LocalTime(std::time(nullptr)); }

FileIdentity IdentifyFile(const std::string& path) {
  auto fail = [&](const std::string& why) {
    return com::Error(com::kErrInvalidArgument, kSource, "无法读取源文件“" + path + "”：" + why);
  };
  port::OsError error;
  port::File file;
  port::FileStatus status;
  if (!port::StatusOfPath(path, &status, &error)) {
    std::error_code ec;
    throw fail(std::filesystem::is_directory(port::PathFromUtf8(path), ec) ? "不是文件" : error.text);
  }
  if (!file.Open(path, port::File::Mode::kRead, &error)) throw fail(error.text);
  try {
    port::Sha256 sha;
    std::vector<char> buf(1 << 20);
    std::uint64_t size = 0;
    for (std::size_t got = 0;; size += got) {
      if (!file.ReadAt(size, buf.data(), buf.size(), &got, &error)) throw fail("读取出错（" + error.text + "）");
      if (got == 0) break;
      sha.Update(buf.data(), got);
    }
    const auto digest = sha.Finish();
    return {path, static_cast<std::int64_t>(size), LocalTime(static_cast<std::time_t>(status.modified_ns / 1000000000)),
            com::LowerHex(std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size()))};
  } catch (const com::Error&) {
    throw;  // a read error, said as one
  } catch (const std::runtime_error&) {
    throw fail("无法计算 SHA-256");  // the system's SHA-256 failed
  }
}

namespace {

// Shows the record of a corrected copy beside the report's source when it
// names that very file; says why not when it does not.
void FindFixRecord(Report& report) {
  const std::string path = FixRecordPath(report.source.path);
  if (!port::PathExists(path)) return;
  try {
    std::ifstream in(port::PathFromUtf8(path), std::ios::binary);
    if (!in) throw com::Error(com::kErrInvalidArgument, kSource, std::strerror(errno));
    std::stringstream text;
    text << in.rdbuf();
    FixRecord record = FixRecordFromJson(text.str());
    if (record.copy.sha256 != report.source.sha256) {
      report.fixes_note = "旁边的修正记录 " + path +
                          " 不是这个文件的（SHA-256 不同），文件在修正之后又被改过，或是另一个文件的记录；未列出修正。";
      return;
    }
    report.fixes = std::move(record);
  } catch (const com::Error& e) {
    report.fixes_note = "旁边的修正记录 " + path + " 无法读取，未列出修正：" + e.description();
  }
}

}  // namespace

std::string FixRecordPath(const std::string& copy_path) {
  return port::Utf8FromPath(port::PathFromUtf8(copy_path).replace_extension(".fixes.json"));
}

std::string FixRecordJson(const FixRecord& record) { return com::WriteJson(FixRecordValue(record)); }

Report BeginReport(Report::Kind kind, const std::string& model, const std::string& model_name,
                   const std::string& source_path, const std::string& server, const std::string& user,
                   const std::string& database) {
  Report report;
  report.kind = kind;
  report.model = model;
  report.model_name = model_name;
  report.source.path = source_path;
  try {
    report.source = IdentifyFile(source_path);
    FindFixRecord(report);
  } catch (const com::Error&) {
    // The path stays; the run's own test of the file says what is wrong.
  }
  report.server = server;
  report.user = user;
  report.database = database;
  report.started = LocalTimeNow();
  return report;
}

void EndReport(Report& report, std::chrono::steady_clock::time_point started) {
  report.ended = LocalTimeNow();
  report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
}

const char* StateName(StepRecord::State state) {
  switch (state) {
    case StepRecord::State::kSucceeded: return "success";
    case StepRecord::State::kFailed: return "failed";
    case StepRecord::State::kNotRun: break;
  }
  return "not run";
}

const char* StateCaption(StepRecord::State state) {
  switch (state) {
    case StepRecord::State::kSucceeded: return "成功";
    case StepRecord::State::kFailed: return "失败";
    case StepRecord::State::kNotRun: break;
  }
  return "未执行";
}

const char* VerdictName(const CheckResult& r) { return r.Fails() ? "fails" : r.Cuts() ? "cuts" : "clean"; }

std::string ToJson(const Report& r) {
  Json report = Head(r);
  if (r.kind == Report::Kind::kCheck) {
    AddCheck(report, r.check.value_or(CheckResult{}), r.check_from_destination);
    return com::WriteJson(report);
  }
  Json steps = Json::Array();
  for (const auto& step : r.steps) steps.Push(Step(step));
  report.Add("result", Json::String(OutcomeName(r.result)))
      .Add("error", r.error.empty() ? Json() : Json::String(r.error))
      .Add("reconciliation", Reconciliation(r.reconciliation))
      .Add("steps", std::move(steps));
  if (r.check) {
    Json check = Json::Object();
    AddCheck(check, *r.check, r.check_from_destination);
    report.Add("check", std::move(check));
  }
  return com::WriteJson(report);
}

void WriteFileWhole(const std::string& path, const std::string& text) {
  auto fail = [&](const std::string& why) {
    return com::Error(com::kErrInvalidArgument, kSource, "无法写报告文件“" + path + "”：" + why);
  };
  const std::string temporary = path + ".part" + std::to_string(port::ProcessId());
  {
    std::ofstream out(port::PathFromUtf8(temporary), std::ios::binary | std::ios::trunc);
    if (!out) throw fail(std::strerror(errno));
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.flush();
    if (!out) {
      const int err = errno;
      out.close();
      port::RemoveFile(temporary, nullptr);
      throw fail(std::strerror(err));
    }
  }
  port::OsError error;
  if (!port::RenameOver(temporary, path, &error)) {
    port::RemoveFile(temporary, nullptr);
    throw fail(error.text);
  }
}

}  // namespace assurance
