#include "library/assurance/report.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "platform/com/error.h"
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

// A JSON string literal of UTF-8 text.
std::string Str(std::string_view s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
  }
  return out + "\"";
}

// A JSON number for a duration: seconds to the millisecond.
std::string Seconds(double s) {
  std::ostringstream out;
  out << s;
  return out.str();
}

std::string OptionalStr(const std::optional<std::string>& s) { return s ? Str(*s) : "null"; }

void WriteFile(std::ostream& out, const char* name, const SourceFile& f, const std::string& indent) {
  out << indent << "  \"" << name << "\": {\"path\": " << Str(f.path) << ", \"size\": " << f.size
      << ", \"modified\": " << Str(f.modified) << ", \"sha256\": " << Str(f.sha256) << "}";
}

// A corrected copy's record as one object, its members indented by `indent`.
void WriteFixRecord(std::ostream& out, const FixRecord& f, const std::string& indent) {
  out << "{\n";
  WriteFile(out, "source", f.source, indent);
  out << ",\n";
  WriteFile(out, "copy", f.copy, indent);
  out << ",\n" << indent << "  \"list\": " << Str(f.list) << ",\n" << indent << "  \"made\": " << Str(f.made) << ",\n"
      << indent << "  \"changes\": [";
  for (std::size_t i = 0; i < f.changes.size(); ++i) {
    const FixChange& c = f.changes[i];
    out << (i ? "," : "") << "\n" << indent << "    {\"table\": " << Str(c.table) << ", \"row\": " << c.row
        << ", \"key\": " << Str(c.key);
    if (c.removed) {
      out << ", \"removed\": true}";
    } else {
      out << ", \"column\": " << Str(c.column) << ", \"old\": " << OptionalStr(c.old_value)
          << ", \"new\": " << OptionalStr(c.new_value) << "}";
    }
  }
  out << (f.changes.empty() ? "]" : "\n" + indent + "  ]") << "\n" << indent << "}";
}

// The fields every report starts with: what, from where, to where, when.
void WriteHead(std::ostream& out, const Report& r) {
  out << "{\n  \"kind\": " << (r.kind == Report::Kind::kRun ? "\"run\"" : "\"check\"")
      << ",\n  \"model\": " << Str(r.model) << ",\n  \"model_name\": " << Str(r.model_name)
      << ",\n  \"source\": " << Str(r.source.path) << ",\n  \"source_size\": " << r.source.size
      << ",\n  \"source_modified\": " << Str(r.source.modified) << ",\n  \"source_sha256\": " << Str(r.source.sha256)
      << ",\n  \"server\": " << Str(r.server) << ",\n  \"user\": " << Str(r.user)
      << ",\n  \"database\": " << Str(r.database) << ",\n  \"started\": " << Str(r.started)
      << ",\n  \"ended\": " << Str(r.ended) << ",\n  \"seconds\": " << Seconds(r.seconds);
  if (r.fixes) {
    out << ",\n  \"source_fixes\": ";
    WriteFixRecord(out, *r.fixes, "  ");
  }
  if (!r.fixes_note.empty()) out << ",\n  \"source_fixes_note\": " << Str(r.fixes_note);
}

// A check's findings, its members indented by `indent`.
void WriteCheck(std::ostream& out, const CheckResult& r, bool from_destination, const std::string& indent) {
  out << indent << "\"definitions\": " << (from_destination ? "\"destination\"" : "\"script\"") << ",\n"
      << indent << "\"verdict\": \"" << VerdictName(r) << "\",\n"
      << indent << "\"tasks\": [";
  for (std::size_t i = 0; i < r.tasks.size(); ++i) {
    const auto& t = r.tasks[i];
    out << (i ? "," : "") << "\n" << indent << "  {\"step\": " << Str(t.step) << ", \"table\": " << Str(t.table)
        << ", \"rows_read\": " << t.rows_read << ", \"rows_failing\": " << t.rows_failing
        << ", \"rows_cut\": " << t.rows_cut << ", \"columns\": [";
    for (std::size_t k = 0; k < t.columns.size(); ++k) {
      const auto& c = t.columns[k];
      out << (k ? ", " : "") << "{\"column\": " << Str(c.column) << ", \"failing\": " << c.failing
          << ", \"cut\": " << c.cut << "}";
    }
    out << "]}";
  }
  out << (r.tasks.empty() ? "]" : "\n" + indent + "]") << ",\n" << indent << "\"postings\": [";
  for (std::size_t i = 0; i < r.postings.size(); ++i) {
    const auto& p = r.postings[i];
    out << (i ? "," : "") << "\n" << indent << "  {\"step\": " << Str(p.step) << ", \"ledger\": " << Str(p.ledger)
        << ", \"rows\": " << p.rows << ", \"amount\": " << Str(com::FormatCurrency(p.amount))
        << ", \"quantity\": " << (p.quantity ? Str(com::FormatCurrency(*p.quantity)) : "null") << "}";
  }
  out << (r.postings.empty() ? "]" : "\n" + indent + "]") << ",\n" << indent << "\"problems\": [";
  for (std::size_t i = 0; i < r.problems.size(); ++i) {
    const auto& p = r.problems[i];
    out << (i ? "," : "") << "\n" << indent << "  {\"kind\": \"" << KindName(p.kind)
        << "\", \"fails\": " << (KindFails(p.kind) ? "true" : "false") << ", \"step\": " << Str(p.step)
        << ", \"table\": " << Str(p.table) << ", \"column\": " << Str(p.column) << ", \"row\": " << p.row
        << ", \"key\": " << Str(p.key) << ", \"number\": " << p.number << ", \"message\": " << Str(p.message);
    if (p.kind == ProblemKind::kCut || p.kind == ProblemKind::kReplaced) {
      out << ", \"original_length\": " << p.original_length << ", \"cut_length\": " << p.cut_length;
    }
    if (!p.parent.empty()) out << ", \"parent\": " << Str(p.parent);
    out << "}";
  }
  out << (r.problems.empty() ? "]" : "\n" + indent + "]");
}

void WriteReconciliation(std::ostream& out, const std::vector<ReconcileLine>& lines) {
  out << "\"reconciliation\": [";
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const auto& l = lines[i];
    out << (i ? "," : "") << "\n    {\"item\": " << Str(l.item) << ", \"source\": " << Str(l.source)
        << ", \"destination\": " << Str(l.destination) << ", \"match\": " << (l.match ? "true" : "false") << "}";
  }
  out << (lines.empty() ? "]" : "\n  ]");
}

void WriteSteps(std::ostream& out, const std::vector<StepRecord>& steps) {
  out << "\"steps\": [";
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const auto& o = steps[i];
    out << (i ? "," : "") << "\n    {\"name\": " << Str(o.name) << ", \"result\": \"" << StateName(o.state)
        << "\", \"in_transaction\": " << (o.in_transaction ? "true" : "false")
        << ", \"rows_read\": " << o.stats.rows_read << ", \"rows_written\": " << o.stats.rows_written
        << ", \"seconds\": " << Seconds(o.stats.seconds) << ", \"truncations\": [";
    for (std::size_t k = 0; k < o.stats.truncations.size(); ++k) {
      const auto& t = o.stats.truncations[k];
      out << (k ? ", " : "") << "{\"column\": " << Str(t.column) << ", \"count\": " << t.count << ", \"first_rows\": [";
      for (std::size_t r = 0; r < t.first_rows.size(); ++r) {
        out << (r ? ", " : "") << "{\"position\": " << t.first_rows[r].position
            << ", \"key\": " << Str(t.first_rows[r].key) << "}";
      }
      out << "]}";
    }
    out << "], \"statements\": [";
    for (std::size_t k = 0; k < o.stats.statements.size(); ++k) {
      const auto& a = o.stats.statements[k];
      out << (k ? ", " : "") << "{\"verb\": " << Str(a.verb) << ", \"table\": " << Str(a.table)
          << ", \"rows\": " << a.rows << "}";
    }
    out << "]";
    if (o.state == StepRecord::State::kFailed) {
      out << ", \"error\": {\"number\": " << o.error.ErrorCode << ", \"source\": " << Str(o.error.Source)
          << ", \"description\": " << Str(o.error.Description) << "}";
    }
    out << "}";
  }
  out << (steps.empty() ? "]" : "\n  ]");
}

// A CSV field: quoted when it holds a separator, a quote or a line break.
}  // namespace

std::string LocalTimeNow() { return LocalTime(std::time(nullptr)); }

SourceFile IdentifySourceFile(const std::string& path) {
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

std::string FixRecordJson(const FixRecord& record) {
  std::ostringstream out;
  WriteFixRecord(out, record, "");
  out << "\n";
  return out.str();
}

Report BeginReport(Report::Kind kind, const std::string& model, const std::string& model_name,
                   const std::string& source_path, const std::string& server, const std::string& user,
                   const std::string& database) {
  Report report;
  report.kind = kind;
  report.model = model;
  report.model_name = model_name;
  report.source.path = source_path;
  try {
    report.source = IdentifySourceFile(source_path);
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
  std::ostringstream out;
  WriteHead(out, r);
  if (r.kind == Report::Kind::kCheck) {
    out << ",\n";
    WriteCheck(out, r.check.value_or(CheckResult{}), r.check_from_destination, "  ");
    out << "\n}\n";
    return out.str();
  }
  out << ",\n  \"result\": " << Str(OutcomeName(r.result))
      << ",\n  \"error\": " << (r.error.empty() ? "null" : Str(r.error)) << ",\n  ";
  WriteReconciliation(out, r.reconciliation);
  out << ",\n  ";
  WriteSteps(out, r.steps);
  if (r.check) {
    out << ",\n  \"check\": {\n";
    WriteCheck(out, *r.check, r.check_from_destination, "    ");
    out << "\n  }";
  }
  out << "\n}\n";
  return out.str();
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
