// Reading a JSON report back (ReportFromJson), member by member as ToJson
// writes them. Every fault names the member it is in ("steps[2].rows_read"),
// so an operator handed a damaged or edited file learns where it is wrong.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

#include <cstdint>
#include <initializer_list>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "library/assurance/report.h"
#include "platform/com/error.h"
#include "platform/com/variant.h"

namespace assurance {
namespace {

constexpr char kCannotRead[] = "无法读取报告：";

[[noreturn]] void Fail(const std::string& why) {
  throw com::Error(com::kErrInvalidArgument, "korvel", kCannotRead + why);
}

// One value of the report and where it is.
class Node {
 public:
  Node(QJsonValue value, std::string where) : value_(std::move(value)), where_(std::move(where)) {}

  bool Has(const char* key) const { return Object().contains(QLatin1String(key)); }

  // The member `key` of this object; raises when it is missing.
  Node operator[](const char* key) const {
    const QJsonObject object = Object();
    const std::string where = where_.empty() ? key : where_ + "." + key;
    const auto it = object.constFind(QLatin1String(key));
    if (it == object.constEnd()) Fail("缺少字段“" + where + "”");
    return Node(*it, where);
  }

  std::vector<Node> Items() const {
    if (!value_.isArray()) Wrong("数组");
    std::vector<Node> items;
    const QJsonArray array = value_.toArray();
    items.reserve(static_cast<std::size_t>(array.size()));
    for (qsizetype i = 0; i < array.size(); ++i) items.emplace_back(array[i], where_ + "[" + std::to_string(i) + "]");
    return items;
  }

  std::string Text() const {
    if (!value_.isString()) Wrong("字符串");
    return value_.toString().toStdString();
  }
  bool IsNull() const { return value_.isNull(); }
  // A string, or "" for null.
  std::string TextOrNull() const { return IsNull() ? std::string() : Text(); }

  bool Boolean() const {
    if (!value_.isBool()) Wrong("true 或 false");
    return value_.toBool();
  }

  double Number() const {
    if (!value_.isDouble()) Wrong("数字");
    return value_.toDouble();
  }

  // A number without a fraction, within [low, high].
  std::int64_t Integer(std::int64_t low = std::numeric_limits<std::int64_t>::min(),
                       std::int64_t high = std::numeric_limits<std::int64_t>::max()) const {
    // The reader keeps an integer that fits 64 bits exactly; toInteger
    // gives the default for a fraction or a number past 64 bits.
    if (!value_.isDouble()) Wrong("整数");
    const double d = value_.toDouble();
    const qint64 n = value_.toInteger(0);
    if (n == 0 && d != 0) Wrong("整数");
    if (n < low || n > high) Fail("字段“" + where_ + "”的值超出范围");
    return n;
  }

  // A money amount, written as text with four decimals.
  std::int64_t Money() const {
    std::int64_t units = 0;
    if (!com::ParseCurrency(Text(), &units)) Fail("字段“" + where_ + "”不是金额：“" + Text() + "”");
    return units;
  }

  // Raises naming the value when it is none of `names`.
  template <typename T>
  T OneOf(std::initializer_list<std::pair<const char*, T>> names) const {
    const std::string text = Text();
    for (const auto& [name, value] : names) {
      if (text == name) return value;
    }
    Fail("字段“" + where_ + "”的值“" + text + "”无效");
  }

  const std::string& where() const { return where_; }

 private:
  QJsonObject Object() const {
    if (!value_.isObject()) Wrong("对象");
    return value_.toObject();
  }
  [[noreturn]] void Wrong(const char* type) const {
    Fail(where_.empty() ? std::string("报告应为 JSON 对象") : "字段“" + where_ + "”应为" + type);
  }

  QJsonValue value_;
  std::string where_;
};

ProblemKind KindNamed(const Node& node) {
  const std::string name = node.Text();
  for (ProblemKind kind : {ProblemKind::kNotNull, ProblemKind::kCut, ProblemKind::kReplaced, ProblemKind::kTooLong,
                           ProblemKind::kOutOfRange, ProblemKind::kConversion, ProblemKind::kDuplicateKey,
                           ProblemKind::kForeignKey, ProblemKind::kTask}) {
    if (name == KindName(kind)) return kind;
  }
  Fail("字段“" + node.where() + "”的值“" + name + "”不是已知的问题类别");
}

constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

// The check's members, at the report's top or under "check".
CheckResult ReadCheck(const Node& node, bool* from_destination) {
  CheckResult r;
  *from_destination = node["definitions"].OneOf<bool>({{"destination", true}, {"script", false}});
  for (const auto& t : node["tasks"].Items()) {
    TaskCheck task{t["step"].Text(), t["table"].Text(), t["rows_read"].Integer(), t["rows_failing"].Integer(),
                   t["rows_cut"].Integer(), {}};
    for (const auto& c : t["columns"].Items()) {
      task.columns.push_back({c["column"].Text(), c["failing"].Integer(), c["cut"].Integer()});
    }
    r.tasks.push_back(std::move(task));
  }
  for (const auto& p : node["postings"].Items()) {
    const Node quantity = p["quantity"];
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
  const Node verdict = node["verdict"];
  if (verdict.Text() != VerdictName(r)) {
    Fail("字段“" + verdict.where() + "”的值“" + verdict.Text() + "”与所列问题不符（应为“" + VerdictName(r) + "”）");
  }
  return r;
}

StepRecord ReadStep(const Node& s) {
  StepRecord step;
  step.name = s["name"].Text();
  step.state = s["result"].OneOf<StepRecord::State>({{StateName(StepRecord::State::kSucceeded), StepRecord::State::kSucceeded},
                                                     {StateName(StepRecord::State::kFailed), StepRecord::State::kFailed},
                                                     {StateName(StepRecord::State::kNotRun), StepRecord::State::kNotRun}});
  step.in_transaction = s["in_transaction"].Boolean();
  step.stats.rows_read = s["rows_read"].Integer();
  step.stats.rows_written = s["rows_written"].Integer();
  step.stats.seconds = s["seconds"].Number();
  for (const auto& t : s["truncations"].Items()) {
    dts::ColumnTruncation cut{t["column"].Text(), t["count"].Integer(), {}};
    for (const auto& row : t["first_rows"].Items()) cut.first_rows.push_back({row["position"].Integer(), row["key"].Text()});
    step.stats.truncations.push_back(std::move(cut));
  }
  for (const auto& a : s["statements"].Items()) {
    step.stats.statements.push_back({a["verb"].Text(), a["table"].Text(), a["rows"].Integer()});
  }
  if (step.state == StepRecord::State::kFailed) {
    const Node error = s["error"];
    step.error.ErrorCode = static_cast<std::int32_t>(error["number"].Integer(kInt32Min, kInt32Max));
    step.error.Source = error["source"].Text();
    step.error.Description = error["description"].Text();
  }
  return step;
}

SourceFile ReadFile(const Node& f) {
  return {f["path"].Text(), f["size"].Integer(0), f["modified"].Text(), f["sha256"].Text()};
}

std::optional<std::string> OptionalText(const Node& n) {
  return n.IsNull() ? std::nullopt : std::optional<std::string>(n.Text());
}

FixRecord ReadFixRecord(const Node& node) {
  FixRecord f;
  f.source = ReadFile(node["source"]);
  f.copy = ReadFile(node["copy"]);
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

// The document's top object, as a node to read members from.
Node Root(const std::string& json) {
  QJsonParseError parsed{};
  const QJsonDocument document =
      QJsonDocument::fromJson(QByteArray::fromRawData(json.data(), static_cast<qsizetype>(json.size())), &parsed);
  if (parsed.error != QJsonParseError::NoError) {
    Fail("不是有效的 JSON（第 " + std::to_string(parsed.offset + 1) + " 个字节处：" + parsed.errorString().toStdString() +
         "）");
  }
  return Node(document.isObject() ? QJsonValue(document.object()) : QJsonValue(), "");
}

}  // namespace

FixRecord FixRecordFromJson(const std::string& json) {
  try {
    return ReadFixRecord(Root(json));
  } catch (const com::Error& e) {
    // The reader's faults begin with what they could not read: a report.
    const std::string_view report = kCannotRead;
    std::string why = e.description();
    if (why.starts_with(report)) why = why.substr(report.size());
    throw com::Error(e.number(), e.source(), "无法读取修正记录：" + why);
  }
}

Report ReportFromJson(const std::string& json) {
  const Node root = Root(json);
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
    r.result = VerdictName(*r.check);
    return r;
  }
  r.result = root["result"].OneOf<std::string>({{"success", "success"}, {"mismatch", "mismatch"}, {"unreconciled", "unreconciled"}, {"unknown", "unknown"}, {"failed", "failed"}});
  r.error = root["error"].TextOrNull();
  for (const auto& l : root["reconciliation"].Items()) {
    r.reconciliation.push_back({l["item"].Text(), l["source"].Text(), l["destination"].Text(), l["match"].Boolean()});
  }
  for (const auto& s : root["steps"].Items()) r.steps.push_back(ReadStep(s));
  if (root.Has("check")) r.check = ReadCheck(root["check"], &r.check_from_destination);
  return r;
}

}  // namespace assurance
