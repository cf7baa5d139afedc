// `korvel check` against `korvel run`, for every plan: on small 5.6 files
// each holding one bad row, the check names the table, row, column and key
// that the run then fails on or cuts; the check writes nothing; on the
// sample shop it finds only the cuts the run makes, and foresees what the
// postings post.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "platform/com/json.h"
#include "platform/jet/reader.h"
#include "tests/support/check_cases.h"
#include "tests/support/files.h"
#include "tests/support/shop.h"

namespace {

using testing_support::AgreementCase;
using testing_support::EmbeddedShop;
using com::Json;

int RowCount(const std::string& tsv) {
  int lines = 0;
  for (const char c : tsv) lines += c == '\n';
  return lines - 1;  // less the header
}

// One shop for all cases: each case first empties what an earlier run
// left, and a check reads the destination's definitions, not its rows.
class CheckAgreement : public testing_support::ShopSuite<AgreementCase> {};

const Json* TaskFor(const Json& report, const std::string& table) {
  for (const Json& task : report["tasks"].items()) {
    if (task["table"].text() == table) return &task;
  }
  return nullptr;
}

// A report's tasks and problems as both definition sources must give them
// alike: all but the step's name and the server's message, which name the
// database (only the destination gives its name).
std::string Findings(const Json& report) {
  std::string out;
  for (const char* list : {"tasks", "problems"}) {
    for (const Json& item : report[list].items()) {
      for (const auto& [key, value] : item.members()) {
        if (key != "step" && key != "message") out += key + "=" + com::CompactJson(value) + " ";
      }
      out += "\n";
    }
  }
  return out;
}

// What the check's report must say about the case's one bad row.
void ExpectPredicted(const AgreementCase& c, const std::string& source, const Json& r) {
  EXPECT_EQ(r["model"].text(), c.plan);
  EXPECT_EQ(r["source"].text(), source);
  EXPECT_EQ(r["verdict"].text(), c.fails() ? "fails" : "cuts");
  const auto& problems = r["problems"].items();
  ASSERT_FALSE(problems.empty());
  const Json& p = problems.front();
  EXPECT_EQ(p["kind"].text(), c.kind);
  EXPECT_EQ(p["fails"].boolean(), c.fails());
  EXPECT_EQ(p["table"].text(), c.table);
  EXPECT_EQ(p["column"].text(), c.column);
  EXPECT_EQ(p["row"].integer(), c.row);
  EXPECT_EQ(p["key"].text(), c.key);
  EXPECT_FALSE(p["message"].text().empty());
  if (c.number != 0) {
    EXPECT_EQ(p["number"].integer(), c.number);
  }
  EXPECT_EQ(p.Has("parent"), std::string(c.kind) == "foreign_key");
  if (p.Has("parent")) {
    EXPECT_EQ(p["parent"].text(), c.parent);
  }
  EXPECT_EQ(p.Has("original_length") && p.Has("cut_length"), !c.fails());
  if (c.cut_length != 0) {
    EXPECT_EQ(p["original_length"].integer(), c.original_length);
    EXPECT_EQ(p["cut_length"].integer(), c.cut_length);
  }
  // Nothing else is wrong: any further problem is of the same row (a value
  // read into two columns fails in both).
  for (const Json& other : problems) {
    EXPECT_EQ(other["table"].text() + " row " + std::to_string(other["row"].integer()),
              std::string(c.table) + " row " + std::to_string(c.row));
  }
  for (const Json& task : r["tasks"].items()) {
    const bool bad = task["table"].text() == c.table;
    const auto rows = c.tables.count(task["table"].text()) ? RowCount(c.tables.at(task["table"].text())) : 0;
    EXPECT_EQ(task["rows_read"].integer(), rows) << task["table"].text();
    EXPECT_EQ(task["rows_failing"].integer(), bad && c.fails() ? 1 : 0) << task["table"].text();
    EXPECT_EQ(task["rows_cut"].integer(), bad && !c.fails() ? 1 : 0) << task["table"].text();
  }
  const Json* task = TaskFor(r, c.table);
  ASSERT_NE(task, nullptr) << c.table;
  if (std::string(c.kind) != "duplicate_key") {
    bool listed = false;
    for (const Json& col : (*task)["columns"].items()) {
      if (col["column"].text() != c.column) continue;
      listed = true;
      EXPECT_EQ(col[c.fails() ? "failing" : "cut"].integer(), 1);
    }
    EXPECT_TRUE(listed) << c.column;
  }
}

std::string ImportStep(const std::string& table) { return "导入数据到 [Sales60].[dbo].[" + table + "]"; }

// Runs the case's plan and expects it to fail at the case's row with the
// server's error the check foresaw, or to cut the case's value there.
void ExpectRunAgrees(const EmbeddedShop& shop, const AgreementCase& c, const std::string& source, const Json& foreseen) {
  const auto run = testing_support::KorvelRun(shop, c.plan, source, shop.dir.File("run.json"));
  if (run.report.empty()) {
    ADD_FAILURE() << "no report: " << run.command.err;
    return;
  }
  const Json steps = Json::Parse(run.report)["steps"];
  const Json* step = nullptr;
  for (const Json& s : steps.items()) {
    if (s["name"].text() == ImportStep(c.table)) step = &s;
  }
  if (step == nullptr) {
    ADD_FAILURE() << ImportStep(c.table) << " did not run: " << run.command.err;
    return;
  }
  if (c.fails()) {
    EXPECT_EQ(run.command.exit_code, 1);
    EXPECT_EQ((*step)["result"].text(), "failed") << run.report;
    if (!(*step).Has("error")) return;
    const Json& error = (*step)["error"];
    const std::string& description = error["description"].text();
    const std::string where = "第 " + std::to_string(c.row) + " 行（" + c.key + "）无法写入 [Sales60].[dbo].[" + c.table + "]";
    EXPECT_EQ(description.rfind(where, 0), 0u) << description;
    if (std::string(c.kind) != "duplicate_key") {
      EXPECT_NE(description.find(std::string("的列“") + c.column + "”"), std::string::npos) << description;
    }
    EXPECT_EQ(error["number"].integer(), foreseen["number"].integer());
    // The server's own message; a foreign key's names the table it refers to.
    const std::string& message = foreseen["message"].text();
    if (std::string(c.kind) == "foreign_key") {
      EXPECT_NE(message.find(std::string("table '") + c.parent + "'"), std::string::npos) << message;
    } else {
      EXPECT_EQ(description.substr(description.find("：") + std::string("：").size()), message);
    }
    return;
  }
  EXPECT_EQ(run.command.exit_code, 0) << run.command.err;
  EXPECT_EQ((*step)["result"].text(), "success");
  const auto& cuts = (*step)["truncations"].items();
  EXPECT_EQ(cuts.size(), 1u) << run.report;
  if (cuts.size() == 1) {
    EXPECT_EQ(cuts[0]["column"].text(), c.column);
    EXPECT_EQ(cuts[0]["count"].integer(), 1);
    const auto& first = cuts[0]["first_rows"].items();
    EXPECT_EQ(first.size(), 1u);
    if (first.size() == 1) {
      EXPECT_EQ(first[0]["position"].integer(), c.row);
      EXPECT_EQ(first[0]["key"].text(), c.key);
    }
  }
  EXPECT_EQ(shop.Query(c.stored_query), std::vector<std::string>{c.stored});
}

TEST_P(CheckAgreement, TheCheckForeseesTheRowTheRunFailsOnOrCuts) {
  const AgreementCase& c = GetParam();
  const std::string name = std::string(c.name) + ".mdb";
  const std::string source = c.retyped.empty() ? shop().WriteSource(name, c.tables)
                                               : testing_support::WriteRetypedSource(shop(), name, c.tables, c.retyped);
  testing_support::EmptyUpgradedTables(shop());

  // The definitions from the script are read by running it, which takes
  // a while: the first case of each kind checks them too.
  bool first_of_its_kind = false;
  for (const AgreementCase& other : testing_support::AgreementCases()) {
    if (std::string(other.kind) == c.kind) {
      first_of_its_kind = std::string(other.name) == c.name;
      break;
    }
  }
  Json by_definitions[2];
  for (const bool with_server : {true, false}) {
    if (!with_server && !first_of_its_kind) break;
    SCOPED_TRACE(with_server ? "definitions from the destination" : "definitions from the script");
    const auto check = testing_support::KorvelCheck(shop(), c.plan, source, with_server, shop().dir.File("check.json"));
    EXPECT_EQ(check.command.exit_code, c.fails() ? 2 : 1) << check.command.out << check.command.err;
    ASSERT_FALSE(check.report.empty());
    const Json r = Json::Parse(check.report);
    EXPECT_EQ(r["definitions"].text(), with_server ? "destination" : "script");
    if (with_server) {  // text other than quotes, backslashes and controls is written as it is
      EXPECT_NE(check.report.find("\"step\": \"" + ImportStep(c.table) + "\""), std::string::npos) << check.report;
    }
    ExpectPredicted(c, source, r);
    by_definitions[with_server ? 0 : 1] = r;
  }
  if (first_of_its_kind) {
    EXPECT_EQ(Findings(by_definitions[0]), Findings(by_definitions[1]));
  }
  ASSERT_FALSE(by_definitions[0]["problems"].items().empty());
  const Json* task = TaskFor(by_definitions[0], c.table);
  ASSERT_NE(task, nullptr);
  EXPECT_EQ((*task)["step"].text(), ImportStep(c.table));

  ExpectRunAgrees(shop(), c, source, by_definitions[0]["problems"].items().at(0));
}

INSTANTIATE_TEST_SUITE_P(EveryPlan, CheckAgreement, ::testing::ValuesIn(testing_support::AgreementCases()),
                         [](const ::testing::TestParamInfo<AgreementCase>& param) { return std::string(param.param.name); });

// A shop of its own for each test.
class CheckOnShop : public ::testing::Test {
 protected:
  EmbeddedShop shop;
};

std::vector<std::string> Procedures(const EmbeddedShop& shop) {
  return shop.Query("select name from sysobjects where xtype = 'P' order by name");
}

TEST_F(CheckOnShop, TheCheckWritesNothing) {
  // A destination full of a run's work and its procedures.
  ASSERT_EQ(testing_support::KorvelRun(shop, "C5to6Normal", shop.source, shop.dir.File("run.json")).command.exit_code, 0);
  const auto tables = shop.Snapshot();
  const auto procedures = Procedures(shop);
  ASSERT_FALSE(tables.at("CustAcc").empty());
  ASSERT_FALSE(procedures.empty());
  const std::string bad_source =
      shop.WriteSource("bad.mdb", testing_support::AgreementCaseNamed("CustomerOfAMissingRegion").tables);
  const std::string sample_bytes = testing_support::ReadFile(shop.source);
  const std::string bad_bytes = testing_support::ReadFile(bad_source);

  // The complete scheme would empty every table, the others clear theirs.
  for (const std::string plan : {"C5to6SpecialPack", "C5to6Normal", "C5to6CustSuppWriteAccount", "C5to6GoodsWriteCustody"}) {
    const bool custsupp = plan == "C5to6CustSuppWriteAccount";
    // The sample's over-long goods names are cut; the other file's
    // customer has no region only where regions and customers' regions
    // are imported.
    const auto sample = testing_support::KorvelCheck(shop, plan, shop.source, true, shop.dir.File("check.json"));
    EXPECT_EQ(sample.command.exit_code, custsupp ? 0 : 1) << plan << sample.command.err;
    const auto bad = testing_support::KorvelCheck(shop, plan, bad_source, true, shop.dir.File("check.json"));
    EXPECT_EQ(bad.command.exit_code, custsupp ? 2 : 0) << plan << bad.command.err;
  }
  EXPECT_EQ(shop.Snapshot(), tables);
  EXPECT_EQ(Procedures(shop), procedures);
  EXPECT_EQ(testing_support::ReadFile(shop.source), sample_bytes);
  EXPECT_EQ(testing_support::ReadFile(bad_source), bad_bytes);
  EXPECT_EQ(shop.IntegrityCheck(), "ok");
}

// What each plan posts, by the step that posts it.
const std::map<std::string, std::vector<std::string>> kLedgers = {
    {"C5to6Normal", {"CustAcc", "SuppAcc", "Custody"}}, {"C5to6SpecialPack", {"CustAcc", "SuppAcc", "Custody"}},
    {"C5to6Depart", {}}, {"C5to6Employee", {}}, {"C5to6CustSuppNoWriteAccount", {}},
    {"C5to6CustSuppWriteAccount", {"CustAcc", "SuppAcc"}}, {"C5to6GoodsNoWriteCustody", {}},
    {"C5to6GoodsWriteCustody", {"Custody"}}};

// The sample shop's goods whose names are longer than GdsName's 50
// characters, as "Goods GdsName <position> GoodsID=<id>".
std::vector<std::string> OverlongGoodsNames(const std::string& file) {
  jet::Database db(file);
  auto rows = db.Query("select `GoodsID`,`GdsName` from `Goods`");
  std::vector<std::string> out;
  dts::Row row;
  for (int position = 1; rows->Next(row); ++position) {
    std::size_t units = 0;  // UTF-16 units, as nvarchar counts
    for (const char ch : row[1].text()) {
      const auto b = static_cast<unsigned char>(ch);
      units += (b & 0xC0) != 0x80 ? (b >= 0xF0 ? 2 : 1) : 0;
    }
    if (units > 50) out.push_back("Goods GdsName " + std::to_string(position) + " GoodsID=" + row[0].text());
  }
  return out;
}

// Every plan on the sample shop: nothing fails; the only cuts are its
// over-long goods names, for the plans that import goods, and the run cuts
// the same rows; the imports read what the check read; the postings post
// the rows and sums the check foresaw.
TEST_F(CheckOnShop, OnTheSampleShopTheCheckForeseesTheRunsCutsAndPostings) {
  const std::vector<std::string> overlong = OverlongGoodsNames(shop.source);
  ASSERT_FALSE(overlong.empty());  // the sample holds such a name
  for (const auto& [plan, ledgers] : kLedgers) {
    SCOPED_TRACE(plan);
    const bool goods = plan.find("Goods") != std::string::npos || plan == "C5to6Normal" || plan == "C5to6SpecialPack";
    testing_support::EmptyUpgradedTables(shop);
    const auto check = testing_support::KorvelCheck(shop, plan, shop.source, true, shop.dir.File("check.json"));
    EXPECT_EQ(check.command.exit_code, goods ? 1 : 0) << check.command.out << check.command.err;
    ASSERT_FALSE(check.report.empty());
    const Json foreseen = Json::Parse(check.report);
    EXPECT_EQ(foreseen["verdict"].text(), goods ? "cuts" : "clean");
    std::vector<std::string> cuts_foreseen, cuts_made;
    for (const Json& p : foreseen["problems"].items()) {
      EXPECT_EQ(p["kind"].text(), "cut");
      cuts_foreseen.push_back(p["table"].text() + " " + p["column"].text() + " " + std::to_string(p["row"].integer()) +
                              " " + p["key"].text());
    }
    EXPECT_EQ(cuts_foreseen, goods ? overlong : std::vector<std::string>{});

    const auto run = testing_support::KorvelRun(shop, plan, shop.source, shop.dir.File("run.json"));
    ASSERT_EQ(run.command.exit_code, 0) << run.command.err;
    std::map<std::string, long long> read_by_check, read_by_run;
    for (const Json& task : foreseen["tasks"].items()) read_by_check[task["step"].text()] = task["rows_read"].integer();
    const Json made = Json::Parse(run.report);
    for (const Json& step : made["steps"].items()) {
      const std::string& name = step["name"].text();
      if (name.rfind("导入数据到 ", 0) != 0) continue;
      read_by_run[name] = step["rows_read"].integer();
      for (const Json& cut : step["truncations"].items()) {
        for (const Json& first : cut["first_rows"].items()) {
          cuts_made.push_back(name.substr(name.rfind('[') + 1, name.size() - name.rfind('[') - 2) + " " +
                              cut["column"].text() + " " + std::to_string(first["position"].integer()) + " " +
                              first["key"].text());
        }
      }
    }
    EXPECT_EQ(read_by_check, read_by_run);
    EXPECT_EQ(cuts_made, cuts_foreseen);

    std::vector<std::string> posted;
    for (const Json& posting : foreseen["postings"].items()) {
      const std::string ledger = posting["ledger"].text();
      posted.push_back(ledger);
      EXPECT_EQ(posting["step"].text(), "执行存储过程 Write" + ledger);
      const bool custody = ledger == "Custody";
      EXPECT_EQ(posting["quantity"].is_null(), !custody);
      const std::string sums = custody ? "sum(BalQua), sum(BalAmo)" : "sum(BalAmo)";
      const std::string expected = std::to_string(posting["rows"].integer()) + "\t" +
                                   (custody ? posting["quantity"].text() + "\t" : "") + posting["amount"].text();
      EXPECT_EQ(shop.Query("select count(*), " + sums + " from " + ledger), std::vector<std::string>{expected});
    }
    EXPECT_EQ(posted, ledgers);
  }
}

// Several problems in one file, in four tasks of the default scheme: the
// check lists every one in run order (a cut, a missing parent, two names
// missing around a code given twice, a date before 1753), and the first
// that fails is where the run stops. One code holds a quote, a backslash
// and a tab, which the report must escape.
TEST_F(CheckOnShop, TheCheckListsEveryProblemAndTheRunStopsAtTheFirstFailure) {
  const std::string source = shop.WriteSource(
      "several.mdb",
      {{"Goods", "GoodsID\tClass\tGdsName\nG1\t01\t大米\nG2\t01\t" + std::string(60, 'x') + "\nG3\t01\t食盐\n"},
       {"Base", "BaseID\tBaseCode\tBaseName\n5\t05\t总仓\n9\t09\t门店\n"},
       {"bBalance", "BaseID\tGoodsID\tBalQua\tBalAmo\n5\tG1\t4\t10\n5\tG9\t1\t1\n9\tG3\t3\t10\n"},
       {"Employee", "Code\tName\tDepID\nE1\t甲\t1\nE2\t乙\t1\nE3\t\\N\t2\ne2\t丙\t2\nE\"5\\\\\\tx\t\\N\t2\n"},
       {"Member", "MemberID\tCardID\tName\tBirthy\nM1\tK1\t甲\t1980-01-02\nM2\tK2\t乙\t1700-05-06\n"}});
  const auto check = testing_support::KorvelCheck(shop, "C5to6Normal", source, true, shop.dir.File("check.json"));
  EXPECT_EQ(check.command.exit_code, 2);
  ASSERT_FALSE(check.report.empty()) << check.command.err;
  const Json report = Json::Parse(check.report);
  EXPECT_EQ(report["verdict"].text(), "fails");
  std::vector<std::string> listed;
  const Json* first_failure = nullptr;
  for (const Json& p : report["problems"].items()) {
    listed.push_back(p["kind"].text() + " " + p["table"].text() + " " + p["column"].text() + " " +
                     std::to_string(p["row"].integer()) + " " + p["key"].text());
    if (first_failure == nullptr && p["fails"].boolean()) first_failure = &p;
  }
  EXPECT_EQ(listed, (std::vector<std::string>{"cut Goods GdsName 2 GoodsID=G2",
                                              "foreign_key bBalance GoodsID 2 BaseID=5, GoodsID=G9",
                                              "not_null Employee Name 3 Code=E3",
                                              "duplicate_key Employee Code 4 Code=e2",
                                              "not_null Employee Name 5 Code=E\"5\\\tx",
                                              "out_of_range Member Birthy 2 MemberID=M2"}));
  const Json* employees = TaskFor(report, "Employee");
  ASSERT_NE(employees, nullptr);
  EXPECT_EQ((*employees)["rows_read"].integer(), 5);
  EXPECT_EQ((*employees)["rows_failing"].integer(), 3);

  const auto before = shop.Snapshot();
  const auto run = testing_support::KorvelRun(shop, "C5to6Normal", source, shop.dir.File("run.json"));
  EXPECT_EQ(run.command.exit_code, 1);
  ASSERT_NE(first_failure, nullptr);
  const std::string where = "第 " + std::to_string((*first_failure)["row"].integer()) + " 行（" +
                            (*first_failure)["key"].text() + "）无法写入 [Sales60].[dbo].[" +
                            (*first_failure)["table"].text() + "] 的列“" + (*first_failure)["column"].text() + "”";
  EXPECT_EQ(where, "第 2 行（BaseID=5, GoodsID=G9）无法写入 [Sales60].[dbo].[bBalance] 的列“GoodsID”");
  EXPECT_NE(run.command.err.find(where), std::string::npos) << run.command.err;
  EXPECT_EQ(shop.Snapshot(), before);
}

// Keys compare as the server compares them: without regard to case or
// trailing blanks, with regard to accents. A combination naming its parts
// in other case is no orphan; an accented code is no duplicate.
TEST_F(CheckOnShop, KeysCompareAsTheDestinationComparesThem) {
  const std::string source = shop.WriteSource(
      "keys.mdb", {{"Goods", "GoodsID\tClass\tGdsName\nG1\t01\t大米\nG2\t01\t面粉\nE1\t01\t盐\nÉ1\t01\t糖\n"},
                   {"gdsCom", "GoodsID\tGdsCode\tQua\tPrice\ng1\tg2\t1\t1\nG2 \tÉ1\t1\t1\n"}});
  const auto check = testing_support::KorvelCheck(shop, "C5to6GoodsNoWriteCustody", source, true, shop.dir.File("c.json"));
  EXPECT_EQ(check.command.exit_code, 0) << check.command.out << check.report;
  const auto run = testing_support::KorvelRun(shop, "C5to6GoodsNoWriteCustody", source, shop.dir.File("run.json"));
  EXPECT_EQ(run.command.exit_code, 0) << run.command.err;
  EXPECT_EQ(shop.Query("select count(*) from gdsCom"), std::vector<std::string>{"2"});
}

}  // namespace
