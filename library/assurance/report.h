// The record of one upgrade run or one check, as the operator keeps it: the
// scheme, which source file (proved by its SHA-256), which destination and
// login (never a password), when, the result, what every step did, the
// check's findings and the reconciliation. `korvel run`, `korvel check` and
// the wizard fill the same record; it is written as the JSON report, read
// back from it (`korvel report --from`) and rendered as the PDF to sign
// (report_pdf.h), so every form carries the same figures.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "library/assurance/check.h"
#include "library/assurance/reconcile.h"
#include "library/assurance/run_outcome.h"
#include "platform/dts/model.h"

namespace assurance {

// Which file, proved by its SHA-256, as it was when it was read: the source
// of a run or a check, a corrected copy and the file it was made from.
struct FileIdentity {
  std::string path;
  std::int64_t size = 0;
  std::string modified;  // local time, "2026-12-09 17:21:07"
  std::string sha256;    // 64 lower-case hex digits
};

// Reads the file's size, modification time and SHA-256. Raises com::Error
// (naming the file) when it cannot be read.
FileIdentity IdentifyFile(const std::string& path);

// The local time now, as reports show it ("2026-12-09 17:21:07").
std::string LocalTimeNow();

// One change a corrected copy of a 5.6 file has against its source
// (source_fix.h): a value written, or a row left out.
struct FixChange {
  std::string table;
  std::int64_t row = 0;  // the row's position in the source table
  std::string key;       // as the fix list named it ("UnitID=C3"), or ""
  bool removed = false;  // the row was left out; column and values are empty
  std::string column;
  std::optional<std::string> old_value, new_value;  // as text; nullopt for NULL
};

// What a corrected copy changed, kept beside it as "<copy>.fixes.json":
// the source and the copy (each with its SHA-256), the fix list it was
// made from, when, and every change in the list's order.
struct FixRecord {
  FileIdentity source;
  FileIdentity copy;
  std::string list;  // the fix list's path
  std::string made;  // local time
  std::vector<FixChange> changes;
};

// The record's file for a copy at `copy_path`: "shop-fixed.mdb" gives
// "shop-fixed.fixes.json" (the extension replaced; appended when there is
// none).
std::string FixRecordPath(const std::string& copy_path);
// The record as JSON (UTF-8), and read back; the reader raises com::Error
// naming the member at fault.
std::string FixRecordJson(const FixRecord& record);
FixRecord FixRecordFromJson(const std::string& json);

// What one step of a run did.
struct StepRecord {
  enum class State { kNotRun, kSucceeded, kFailed };
  std::string name;
  State state = State::kNotRun;
  bool in_transaction = true;  // its work joins the package transaction
  dts::StepStatistics stats;
  dts::ExecutionErrorInfo error;  // when it failed
};

// "success", "failed", "not run": a step's result as the JSON report names it.
const char* StateName(StepRecord::State state);
// "成功", "失败", "未执行": as the operator reads it.
const char* StateCaption(StepRecord::State state);

struct Report {
  enum class Kind { kRun, kCheck };
  Kind kind = Kind::kRun;
  std::string model;       // the plan's class, "C5to6Normal"
  std::string model_name;  // its name in the model list, "5.6升级到6.0默认方案" ("" when unknown)
  FileIdentity source;
  std::string server, user, database;  // the destination; a check from the script has only a database
  std::string started, ended;          // local times
  double seconds = 0;                  // the run's (or the check's) duration

  // A run's outcome (an unreconciled run's `error` says why the recount
  // could not be made), with the run's error. A check has no outcome of
  // its own: its verdict follows from its findings (VerdictName(*check)).
  RunOutcome result = RunOutcome::kFailed;
  std::string error;
  std::vector<StepRecord> steps;  // a run's steps: those that ran in run order, then the others
  std::vector<ReconcileLine> reconciliation;

  // The check's findings: a check's own, or those of the check made before
  // a run. `check_from_destination`: the tables' definitions were read from
  // the destination database, not from the creation script.
  std::optional<CheckResult> check;
  bool check_from_destination = false;

  // When the source is a corrected copy (its record found beside it and
  // naming this very file by its SHA-256): the changes made to the shop's
  // file. `fixes_note` says why a record beside the source is not shown
  // (it names another file, or cannot be read), "" otherwise.
  std::optional<FixRecord> fixes;
  std::string fixes_note;
};

// A report's head, begun now: the scheme, the source file as it is (its
// path alone when it cannot be read: the run's own test then says why),
// the changes it carries when it is a corrected copy, the destination and
// the login.
Report BeginReport(Report::Kind kind, const std::string& model, const std::string& model_name,
                   const std::string& source_path, const std::string& server, const std::string& user,
                   const std::string& database);
// Its end: the time now and the seconds since `started`.
void EndReport(Report& report, std::chrono::steady_clock::time_point started);

// The verdict of a check as the report names it: "clean", "cuts", "fails".
const char* VerdictName(const CheckResult& r);

// The report as JSON (UTF-8). A run's report holds model, database,
// result, error, reconciliation and steps, and the check under "check" when
// one ran; a check's report holds definitions, verdict, tasks, postings and
// problems at its top. Both hold the scheme, source file, destination and
// times.
std::string ToJson(const Report& report);

// Reads a report written by ToJson. Raises com::Error for text that is not
// such a report.
Report ReportFromJson(const std::string& json);

// Writes `text` to `path` through a temporary file beside it that is then
// renamed over it, so a report that cannot be written whole never replaces
// the one there before. Raises com::Error naming the path.
void WriteFileWhole(const std::string& path, const std::string& text);


}  // namespace assurance
