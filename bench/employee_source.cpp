#include "bench/employee_source.h"

#include <array>
#include <cstdio>
#include <string_view>
#include <vector>

#include "cli/rng.h"
#include "cli/source_schema.h"
#include "platform/com/datetime.h"
#include "platform/com/error.h"
#include "platform/jet/writer.h"

namespace bench {
namespace {

using com::VarType;

using cli::Rng;

using Words = std::string_view;
constexpr std::array<Words, 16> kSurnames = {"王", "李", "张", "刘", "陈", "杨", "黄", "赵",
                                            "吴", "周", "徐", "孙", "马", "朱", "胡", "欧阳"};
constexpr std::array<Words, 16> kGiven = {"伟", "芳", "秀英", "敏", "静", "强", "磊", "军",
                                         "建华", "海燕", "志强", "晓东", "红梅", "玉兰", "子涵", "凯"};
constexpr std::array<Words, 8> kCities = {"北京市", "上海市", "天津市", "重庆市", "广州市", "杭州市", "南京市", "成都市"};
constexpr std::array<Words, 8> kRoads = {"建国路", "人民路", "解放大道", "中山路", "长安街", "学院路", "滨江大道", "新华路"};
constexpr std::array<Words, 4> kNations = {"汉族", "汉族", "回族", "满族"};
constexpr std::array<Words, 3> kLevels = {"初级", "中级", "高级"};
constexpr std::array<Words, 4> kTitles = {"会计师", "经济师", "工程师", "助理工程师"};
constexpr std::array<Words, 6> kPosts = {"店长", "收银员", "理货员", "采购员", "会计", "仓管员"};

// The columns this writer fills, in the order the fill below names them.
enum Field : std::size_t {
  kComputer, kOperator, kOpTime, kDepID, kClass, kCode, kName, kSex, kNation, kBirthy, kIDNo,
  kCalLevel, kZch, kZw, kWorkDate, kToDate, kTel, kBp, kAddress, kPostCode, kRemark, kFieldCount
};
constexpr std::array<Words, kFieldCount> kFieldNames = {
    "Computer", "Operator", "OpTime",   "DepID",  "Class", "Code", "Name", "Sex",     "Nation",   "Birthy", "IDNo",
    "CalLevel", "Zch",      "Zw",       "WorkDate", "ToDate", "Tel", "Bp", "Address", "PostCode", "Remark"};

// A row of the table, its cells reached by field whatever the table's
// column order.
class EmployeeRow {
 public:
  explicit EmployeeRow(const jet::TableSchema& table) : cells_(table.columns.size()) {
    if (table.columns.size() != kFieldCount) Fail(table.name + " has a column this writer does not fill");
    for (std::size_t f = 0; f < kFieldCount; ++f) slot_[f] = IndexOf(table, kFieldNames[f]);
  }
  void Text(Field f, std::string_view v) { cells_[slot_[f]].SetText(v); }
  void Null(Field f) { cells_[slot_[f]].SetNull(); }
  void TextOrNull(Field f, bool present, std::string_view v) { present ? Text(f, v) : Null(f); }
  void Long(Field f, long long v) { cells_[slot_[f]].SetInteger(VarType::kI4, v); }
  void Date(Field f, double ole_date) { cells_[slot_[f]].SetReal(VarType::kDate, ole_date); }
  const std::vector<com::Variant>& cells() const { return cells_; }

 private:
  [[noreturn]] static void Fail(const std::string& what) {
    throw com::Error(com::kErrInvalidArgument, "employee_source", what);
  }
  static std::size_t IndexOf(const jet::TableSchema& table, Words name) {
    for (std::size_t i = 0; i < table.columns.size(); ++i) {
      if (table.columns[i].name == name) return i;
    }
    Fail(table.name + " has no column " + std::string(name));
  }

  std::vector<com::Variant> cells_;
  std::array<std::size_t, kFieldCount> slot_{};
};

std::string Digits(long long v, int width) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%0*lld", width, v);
  return buf;
}

// The helpers below draw from the generator one statement at a time, so
// the stream does not hang on the order a compiler evaluates arguments in.

// "YYYY-MM-DD" in `year`; the day is `day`, or random up to 28 when 0.
std::string Day(Rng& r, long long year, long long day = 0) {
  const long long month = r.Range(1, 12);
  if (day == 0) day = r.Range(1, 28);
  return Digits(year, 4) + "-" + Digits(month, 2) + "-" + Digits(day, 2);
}

double OpTime(Rng& r) {
  com::CivilTime t;
  t.year = static_cast<int>(r.Range(2004, 2006));
  t.month = static_cast<int>(r.Range(1, 12));
  t.day = static_cast<int>(r.Range(1, 28));
  t.hour = static_cast<int>(r.Range(8, 21));
  t.minute = static_cast<int>(r.Range(0, 59));
  t.second = static_cast<int>(r.Range(0, 59));
  return com::OleDateFromCivil(t);
}

std::string PersonName(Rng& r) {
  std::string name(r.Pick(kSurnames));
  return name.append(r.Pick(kGiven));
}

std::string IdNumber(Rng& r, long long born) {
  std::string id = Digits(r.Range(110101, 659001), 6) + Digits(born, 4);
  id += Digits(r.Range(101, 1228), 4);
  return id + Digits(r.Range(0, 9999), 4);
}

std::string Phone(Rng& r) {
  std::string phone = "0" + Digits(r.Range(10, 29), 2);
  return phone + "-" + Digits(r.Range(60000000, 89999999), 8);
}

std::string Address(Rng& r) {
  std::string address(r.Pick(kCities));
  address.append(r.Pick(kRoads));
  return address + std::to_string(r.Range(1, 299)) + "号";
}

// Employee number `i` (0-based): every column the sample fills, in kind
// and length alike.
void FillEmployee(Rng& r, long long i, EmployeeRow& row) {
  row.Text(kComputer, "SERVER" + Digits(r.Range(1, 3), 2));
  const bool admin = r.Percent(70);
  row.Text(kOperator, admin ? std::string("管理员") : PersonName(r));
  row.Date(kOpTime, OpTime(r));
  const bool in_department = r.Percent(99);
  if (in_department) {
    row.Long(kDepID, r.Range(1, 55));
  } else {
    row.Null(kDepID);
  }
  row.Text(kClass, r.Percent(80) ? "正式" : "试用");
  row.Text(kCode, "E" + Digits(i + 1, 8));
  row.Text(kName, PersonName(r));
  row.Text(kSex, r.Percent(50) ? "男" : "女");
  row.Text(kNation, r.Pick(kNations));
  const long long born = r.Range(1955, 1988);
  row.Text(kBirthy, Day(r, born));
  row.Text(kIDNo, IdNumber(r, born));
  row.Text(kCalLevel, r.Pick(kLevels));
  const bool titled = r.Percent(30);
  row.TextOrNull(kZch, titled, r.Pick(kTitles));
  row.Text(kZw, r.Pick(kPosts));
  row.Text(kWorkDate, Day(r, r.Range(1995, 2006), 1));
  const bool left = r.Percent(10);
  row.TextOrNull(kToDate, left, Day(r, 2006, 28));
  row.Text(kTel, Phone(r));
  const bool has_pager = r.Percent(20);
  row.TextOrNull(kBp, has_pager, "96" + Digits(r.Range(0, 999999), 6));
  row.Text(kAddress, Address(r));
  row.Text(kPostCode, Digits(r.Range(100000, 850000), 6));
  const bool remarked = r.Percent(10);
  row.TextOrNull(kRemark, remarked, "工作认真，按时完成任务。");
}

}  // namespace

void WriteEmployeeSource(const std::string& path, long long rows, std::uint64_t seed) {
  const jet::TableSchema* table = cli::FindTable(cli::SourceSchema56(), "Employee");
  if (!table) throw com::Error(com::kErrInvalidArgument, "employee_source", "the 5.6 schema has no Employee table");
  jet::Writer writer(path);
  writer.BeginTable(*table);
  EmployeeRow row(*table);
  Rng r(seed ^ 0xE3779B97F4A7C15ull);
  for (long long i = 0; i < rows; ++i) {
    FillEmployee(r, i, row);
    writer.AppendRow(row.cells());
  }
  writer.EndTable();
  writer.Finish();
}

}  // namespace bench
