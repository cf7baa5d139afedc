// The report read back from its JSON, and the PDF to sign: the figures a
// customer signs for are the ones the JSON report holds, whichever way the
// PDF was made.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "library/assurance/report.h"
#include "platform/com/error.h"
#include "platform/com/json.h"
#include "platform/port/files.h"
#include "tests/support/check_cases.h"
#include "tests/support/files.h"
#include "tests/support/shop.h"

namespace {

using assurance::Report;
using assurance::StepRecord;
using testing_support::CommandResult;
using testing_support::EmbeddedShop;
using com::Json;
using testing_support::ReadFile;
using testing_support::RunCommand;
using testing_support::ShellQuote;

// ---------------------------------------------------------------- JSON

assurance::Problem MakeProblem(assurance::ProblemKind kind, std::int64_t row, const std::string& message) {
  assurance::Problem p;
  p.kind = kind;
  p.step = "导入数据到 [Sales60].[dbo].[Customer]";
  p.table = "Customer";
  p.column = "RegionID";
  p.row = row;
  p.key = "UnitID=C\"" + std::to_string(row) + "\"";
  p.message = message;
  return p;
}

assurance::CheckResult MakeCheck() {
  assurance::CheckResult c;
  c.tasks.push_back({"导入数据到 [Sales60].[dbo].[Customer]", "Customer", 1200, 1, 2,
                     {{"RegionID", 1, 0}, {"Class", 0, 2}}});
  c.tasks.push_back({"导入数据到 [Sales60].[dbo].[Region]", "Region", 0, 0, 0, {}});
  c.postings.push_back({"执行存储过程 WriteCustAcc", "CustAcc", 14, 422427278, std::nullopt});
  c.postings.push_back({"执行存储过程 WriteCustody", "Custody", 112, -5, 154789960});
  auto cut = MakeProblem(assurance::ProblemKind::kCut, 7, "长度 26 超过列的长度 25，将截为 25");
  cut.column = "Class";
  cut.original_length = 26;
  cut.cut_length = 25;
  c.problems.push_back(cut);
  auto orphan = MakeProblem(assurance::ProblemKind::kForeignKey, 3, "INSERT statement conflicted with 'FK_Customer_Region'");
  orphan.number = 547;
  orphan.parent = "Region";
  c.problems.push_back(orphan);
  auto task = MakeProblem(assurance::ProblemKind::kTask, 0, "源表没有列 \\Tel\\\n第二行");
  task.column = "";
  task.key = "";
  c.problems.push_back(task);
  return c;
}

Report MakeRun() {
  Report r;
  r.kind = Report::Kind::kRun;
  r.model = "C5to6Normal";
  r.model_name = "5.6升级到6.0默认方案";
  r.source = {"D:\\店\\\"旧\"账\t1.mdb", 9007199254740993, "2026-12-09 17:21:07",
              "e2dfccae6dbabd6581c5be1a6f5f21643c6ab93ddc205773c687401aca4dbfee"};
  r.server = "file:/srv/店";
  r.user = "sa";
  r.database = "Sales60";
  r.started = "2026-12-09 17:21:08";
  r.ended = "2026-12-09 17:25:40";
  r.seconds = 272.123456;
  r.result = assurance::RunOutcome::kMismatch;
  r.error = "对账不符：“Goods”";

  StepRecord imported;
  imported.name = "导入数据到 [Sales60].[dbo].[Goods]";
  imported.state = StepRecord::State::kSucceeded;
  imported.stats.rows_read = 5000000000;
  imported.stats.rows_written = 4999999999;
  imported.stats.seconds = 0.0123;
  imported.stats.truncations.push_back({"GdsName", 7, {{1, "GoodsID=G0000001"}, {12, "GoodsID=\"G\t12\""}}});
  imported.stats.truncations.push_back({"GdsStandard", 1, {{3, ""}}});
  StepRecord posted;
  posted.name = "执行存储过程 WriteCustody";
  posted.state = StepRecord::State::kFailed;
  posted.in_transaction = false;
  posted.stats.statements.push_back({"INSERT", "Custody", 112});
  posted.stats.statements.push_back({"EXEC", "", 0});
  posted.error.ErrorCode = static_cast<std::int32_t>(0x80040E2Fu);
  posted.error.Source = "Microsoft OLE DB Provider for SQL Server";
  posted.error.Description = "The statement has been terminated.\r\n已终止";
  StepRecord skipped;
  skipped.name = "删除存储过程 WriteCustAcc";
  r.steps = {imported, posted, skipped};
  r.reconciliation = {{"Goods 行数", "5000000000 行", "4999999999 行", false},
                      {"Custody 期初库存", "112 行，数量 15478.9960，金额 40463126.7300",
                       "112 行，数量 15478.9960，金额 40463126.7300", true}};
  r.check = MakeCheck();
  r.check_from_destination = true;
  return r;
}

// The description of the error reading `json` raises; "" when it reads.
std::string RefusalOf(const std::string& json) {
  try {
    assurance::ReportFromJson(json);
  } catch (const com::Error& e) {
    return e.description();
  }
  return "";
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  const auto at = text.find(from);
  if (at == std::string::npos) throw std::runtime_error("not in the report: " + from);
  return text.replace(at, from.size(), to);
}

TEST(ReportJson, ARunWithItsCheckReadsBackAsItWasWritten) {
  const std::string json = assurance::ToJson(MakeRun());
  const Report read = assurance::ReportFromJson(json);
  EXPECT_EQ(assurance::ToJson(read), json);
  // Past a double's 53 bits, and money in 1/10000 as written.
  EXPECT_EQ(read.source.size, 9007199254740993);
  ASSERT_TRUE(read.check.has_value());
  EXPECT_EQ(read.check->postings[1].quantity, 154789960);
  EXPECT_EQ(read.check->postings[1].amount, -5);
}

TEST(ReportJson, ACheckReadsBackAsItWasWritten) {
  Report check = MakeRun();
  check.kind = Report::Kind::kCheck;
  check.steps.clear();
  check.reconciliation.clear();
  check.error.clear();
  check.check_from_destination = false;
  check.check->problems.erase(check.check->problems.begin() + 1, check.check->problems.end());  // cuts only
  const std::string json = assurance::ToJson(check);
  const Report read = assurance::ReportFromJson(json);
  EXPECT_EQ(assurance::ToJson(read), json);
  EXPECT_EQ(read.kind, Report::Kind::kCheck);
  // A check has no outcome of its own: its verdict is its findings'.
  ASSERT_TRUE(read.check.has_value());
  EXPECT_STREQ(assurance::VerdictName(*read.check), "cuts");
}

// A run's report as the files written by korvel run hold it, written out
// here member by member: it reads back to the same figures and is written
// again byte for byte.
TEST(ReportJson, AReportFileAsWrittenBeforeReadsBackAndIsWrittenTheSame) {
  const std::string file =
      "{\n"
      "  \"kind\": \"run\",\n"
      "  \"model\": \"C5to6Normal\",\n"
      "  \"model_name\": \"5.6升级到6.0默认方案\",\n"
      "  \"source\": \"/srv/店/shop-fixed.mdb\",\n"
      "  \"source_size\": 18446744073709551,\n"
      "  \"source_modified\": \"2026-12-09 17:21:07\",\n"
      "  \"source_sha256\": \"00ff\",\n"
      "  \"server\": \"file:/srv/店\",\n"
      "  \"user\": \"sa\",\n"
      "  \"database\": \"Sales60\",\n"
      "  \"started\": \"2026-12-09 17:21:08\",\n"
      "  \"ended\": \"2026-12-09 17:25:40\",\n"
      "  \"seconds\": 272.123,\n"
      "  \"source_fixes\": {\n"
      "    \"source\": {\"path\": \"/srv/店/shop.mdb\", \"size\": 4096, \"modified\": \"2026-12-08 09:00:00\", "
      "\"sha256\": \"aa11\"},\n"
      "    \"copy\": {\"path\": \"/srv/店/shop-fixed.mdb\", \"size\": 18446744073709551, \"modified\": "
      "\"2026-12-09 17:21:07\", \"sha256\": \"00ff\"},\n"
      "    \"list\": \"fixes.csv\",\n"
      "    \"made\": \"2026-12-09 17:00:00\",\n"
      "    \"changes\": [\n"
      "      {\"table\": \"Customer\", \"row\": 3, \"key\": \"UnitID=C3\", \"column\": \"RegionID\", \"old\": \"9\", "
      "\"new\": null},\n"
      "      {\"table\": \"Goods\", \"row\": 12, \"key\": \"\", \"removed\": true}\n"
      "    ]\n"
      "  },\n"
      "  \"result\": \"failed\",\n"
      "  \"error\": \"第 2 步失败：\\\"WriteCustody\\\"\\n已回滚\",\n"
      "  \"reconciliation\": [],\n"
      "  \"steps\": [\n"
      "    {\"name\": \"导入数据到 [Sales60].[dbo].[Goods]\", \"result\": \"success\", \"in_transaction\": true, "
      "\"rows_read\": 5000000000, \"rows_written\": 4999999999, \"seconds\": 0.0123, \"truncations\": "
      "[{\"column\": \"GdsName\", \"count\": 7, \"first_rows\": [{\"position\": 1, \"key\": \"GoodsID=\\tG1\"}, "
      "{\"position\": 12, \"key\": \"\"}]}], \"statements\": []},\n"
      "    {\"name\": \"执行存储过程 WriteCustody\", \"result\": \"failed\", \"in_transaction\": false, \"rows_read\": 0, "
      "\"rows_written\": 0, \"seconds\": 1e-05, \"truncations\": [], \"statements\": [{\"verb\": \"INSERT\", "
      "\"table\": \"Custody\", \"rows\": 112}, {\"verb\": \"EXEC\", \"table\": \"\", \"rows\": 0}], \"error\": "
      "{\"number\": -2147217873, \"source\": \"Microsoft OLE DB Provider for SQL Server\", \"description\": "
      "\"\\u0001终止\\r\\n\"}},\n"
      "    {\"name\": \"删除存储过程 WriteCustAcc\", \"result\": \"not run\", \"in_transaction\": true, \"rows_read\": 0, "
      "\"rows_written\": 0, \"seconds\": 0, \"truncations\": [], \"statements\": []}\n"
      "  ],\n"
      "  \"check\": {\n"
      "    \"definitions\": \"script\",\n"
      "    \"verdict\": \"cuts\",\n"
      "    \"tasks\": [\n"
      "      {\"step\": \"导入数据到 [Sales60].[dbo].[Goods]\", \"table\": \"Goods\", \"rows_read\": 5000000000, "
      "\"rows_failing\": 0, \"rows_cut\": 7, \"columns\": [{\"column\": \"GdsName\", \"failing\": 0, \"cut\": 7}]}\n"
      "    ],\n"
      "    \"postings\": [\n"
      "      {\"step\": \"执行存储过程 WriteCustody\", \"ledger\": \"Custody\", \"rows\": 112, \"amount\": "
      "\"12345678901234.5678\", \"quantity\": null}\n"
      "    ],\n"
      "    \"problems\": [\n"
      "      {\"kind\": \"cut\", \"fails\": false, \"step\": \"导入数据到 [Sales60].[dbo].[Goods]\", \"table\": \"Goods\", "
      "\"column\": \"GdsName\", \"row\": 1, \"key\": \"GoodsID=\\tG1\", \"number\": 0, \"message\": \"长度 60\", "
      "\"original_length\": 60, \"cut_length\": 50}\n"
      "    ]\n"
      "  }\n"
      "}\n";
  const Report read = assurance::ReportFromJson(file);
  EXPECT_EQ(assurance::ToJson(read), file);
  EXPECT_EQ(read.source.size, 18446744073709551);
  ASSERT_TRUE(read.fixes.has_value());
  ASSERT_EQ(read.fixes->changes.size(), 2u);
  EXPECT_EQ(read.fixes->changes[0].old_value, "9");
  EXPECT_EQ(read.fixes->changes[0].new_value, std::nullopt);
  EXPECT_TRUE(read.fixes->changes[1].removed);
  EXPECT_EQ(read.error, "第 2 步失败：\"WriteCustody\"\n已回滚");
  ASSERT_EQ(read.steps.size(), 3u);
  EXPECT_EQ(read.steps[0].stats.truncations[0].first_rows[0].key, "GoodsID=\tG1");
  EXPECT_EQ(read.steps[1].error.ErrorCode, -2147217873);
  EXPECT_EQ(read.steps[1].error.Description, "\x01终止\r\n");
  EXPECT_EQ(read.steps[1].stats.seconds, 1e-05);
  EXPECT_EQ(read.steps[2].state, StepRecord::State::kNotRun);
  ASSERT_TRUE(read.check.has_value());
  EXPECT_FALSE(read.check_from_destination);
  EXPECT_EQ(read.check->postings[0].amount, 123456789012345678);  // in ten-thousandths, to the last digit
  EXPECT_EQ(read.check->problems[0].cut_length, 50u);

  // A fix record as korvel fix writes it beside the copy.
  const std::string record =
      "{\n"
      "  \"source\": {\"path\": \"a.mdb\", \"size\": 1, \"modified\": \"2026-12-08 09:00:00\", \"sha256\": \"aa\"},\n"
      "  \"copy\": {\"path\": \"b.mdb\", \"size\": 2, \"modified\": \"2026-12-08 09:00:01\", \"sha256\": \"bb\"},\n"
      "  \"list\": \"l.csv\",\n"
      "  \"made\": \"2026-12-08 09:00:02\",\n"
      "  \"changes\": []\n"
      "}\n";
  EXPECT_EQ(assurance::FixRecordJson(assurance::FixRecordFromJson(record)), record);
}

TEST(ReportJson, WhatIsNotAReportIsRefusedNamingTheFault) {
  const std::string run = assurance::ToJson(MakeRun());
  const struct {
    std::string json;
    std::string names;
  } cases[] = {
      {"", "不是有效的 JSON"},
      {"{\"kind\": \"run\",", "不是有效的 JSON"},
      {run + "{}", "不是有效的 JSON"},
      {Replaced(run, "\"user\": \"sa\"", "\"user\": \"sa\", \"user\": \"root\""), "duplicate key"},
      {"[\"kind\", \"run\"]", "报告应为 JSON 对象"},
      {"{}", "缺少字段“kind”"},
      {Replaced(run, "\"kind\": \"run\"", "\"kind\": \"audit\""), "字段“kind”的值“audit”无效"},
      {Replaced(run, "\"kind\": \"run\"", "\"kind\": 1"), "字段“kind”应为字符串"},
      {Replaced(run, "\"rows_read\": 5000000000", "\"rows_read\": \"5000000000\""), "字段“steps[0].rows_read”应为整数"},
      {Replaced(run, "\"rows_read\": 5000000000", "\"rows_read\": 1.5"), "字段“steps[0].rows_read”应为整数"},
      {Replaced(run, "\"position\": 12", "\"position\": null"), "字段“steps[0].truncations[0].first_rows[1].position”应为整数"},
      {Replaced(run, ", \"error\": {\"number\"", ", \"failure\": {\"number\""), "缺少字段“steps[1].error”"},
      {Replaced(run, "\"reconciliation\": [", "\"reconciliation\": 0, \"x\": ["), "字段“reconciliation”应为数组"},
      {Replaced(run, "\"amount\": \"42242.7278\"", "\"amount\": \"42242.72785\""), "字段“check.postings[0].amount”不是金额"},
      {Replaced(run, "\"verdict\": \"fails\"", "\"verdict\": \"clean\""), "字段“check.verdict”的值“clean”与所列问题不符"},
      {Replaced(run, "\"kind\": \"cut\"", "\"kind\": \"cutt\""), "字段“check.problems[0].kind”的值“cutt”不是已知的问题类别"},
  };
  for (const auto& c : cases) {
    const std::string refusal = RefusalOf(c.json);
    EXPECT_NE(refusal.find(c.names), std::string::npos) << "refusal: " << refusal << "\nreport: " << c.json;
    EXPECT_EQ(refusal.rfind("无法读取报告：", 0), 0u) << refusal;
  }
}

// Every word a run's report has held for its outcome reads back as that
// outcome and is written back the same, and each outcome has the words the
// PDF says it in; any other word is refused.
TEST(ReportJson, EveryOutcomeWordOfAStoredReportReadsBack) {
  const std::string run = assurance::ToJson(MakeRun());
  const std::string written = "\"result\": \"mismatch\"";
  const struct {
    const char* word;
    const char* caption;
  } outcomes[] = {{"success", "成功"},
                  {"mismatch", "完成，但对账不符"},
                  {"unreconciled", "已提交，但无法对账"},
                  {"unknown", "提交结果未知"},
                  {"failed", "失败"}};
  for (const auto& o : outcomes) {
    const std::string json = Replaced(run, written, std::string("\"result\": \"") + o.word + "\"");
    const Report read = assurance::ReportFromJson(json);
    EXPECT_STREQ(assurance::OutcomeName(read.result), o.word);
    EXPECT_STREQ(assurance::OutcomeCaption(read.result), o.caption) << o.word;
    EXPECT_EQ(assurance::ToJson(read), json) << o.word;
  }
  // A check's verdict is no run's outcome.
  for (const char* word : {"cuts", "clean", "fails", "Success", ""}) {
    const std::string refusal = RefusalOf(Replaced(run, written, std::string("\"result\": \"") + word + "\""));
    EXPECT_NE(refusal.find(std::string("字段“result”的值“") + word + "”无效"), std::string::npos) << refusal;
  }
}

// ---------------------------------------------------------------- PDF

std::string Korvel() { return ShellQuote(testing_support::BinDir() + "/korvel"); }

// The PDF's text, its pages separated by form feeds; with `layout`, each
// line of a table on one line of text.
std::string PdfText(const std::string& pdf, bool layout = true) {
  const CommandResult r = RunCommand(std::string("pdftotext") + (layout ? " -layout " : " ") + ShellQuote(pdf) + " -");
  if (r.exit_code != 0) throw std::runtime_error("pdftotext " + pdf + ": " + r.err);
  return r.out;
}

// Without blanks and line breaks: text wraps where the page ends.
std::string Unbroken(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c != ' ' && c != '\n' && c != '\f' && c != '\t' && c != '\r') out += c;
  }
  return out;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.find_first_not_of(" \f") != std::string::npos) lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  std::istringstream in(text);
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

// The source as the report names it: a file that cannot be read to its
// end is said to be unreadable, with the system's reason, not taken for a
// failure of SHA-256 itself.
TEST(SourceIdentity, AReadErrorIsNamedWithTheSystemsReason) {
  VK_SKIP_ON_WINDOWS("/proc/self/mem, a file whose first bytes cannot be read");
  try {
    assurance::IdentifyFile("/proc/self/mem");
    ADD_FAILURE() << "read without an error";
  } catch (const com::Error& e) {
    EXPECT_NE(e.description().find("读取出错（"), std::string::npos) << e.description();
    EXPECT_EQ(e.description().find("SHA-256"), std::string::npos) << e.description();
  }
  testing_support::TempDir dir;
  try {
    assurance::IdentifyFile(dir.path());
    ADD_FAILURE() << "a folder identified as a file";
  } catch (const com::Error& e) {
    EXPECT_NE(e.description().find("不是文件"), std::string::npos) << e.description();
  }
}

// korvel with the options given, Qt left to choose its platform and no
// display to be had.
CommandResult KorvelWithoutDisplay(const std::string& options) {
  return RunCommand("env -u DISPLAY -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY " + Korvel() + " " + options);
}

class ReportPdf : public ::testing::Test {
 protected:
  std::string Login() const {
    return " --server " + ShellQuote(shop.server) + " --user sa --password " + EmbeddedShop::kPassword +
           " --database " + EmbeddedShop::kDatabase;
  }
  std::string Reports() const {
    return " --report " + ShellQuote(json_path) + " --pdf " + ShellQuote(pdf_path);
  }
  // A source whose third customer belongs to region 9, which is not there.
  std::string OrphanSource() const {
    return shop.WriteSource("orphan.mdb",
                            {{"Region", "RegionID\tClass\tRegCode\tRegName\n1\t华北\tR1\t北京\n2\t华东\tR2\t上海\n"},
                             {"Customer", "UnitID\tIsUsed\tRegionID\tClass\tPriceID\tBalAmo\nC1\t1\t1\t批发\t1\t10\n"
                                          "C2\t1\t2\t批发\t1\t20\nC3\t1\t9\t批发\t1\t30\nC4\t1\t1\t批发\t1\t40\n"}});
  }

  EmbeddedShop shop;
  std::string json_path = shop.dir.File("report.json");
  std::string pdf_path = shop.dir.File("report.pdf");
};

TEST_F(ReportPdf, ARunsPdfHoldsTheJsonReportsFiguresAndReadsTheSameFromIt) {
  VK_SKIP_ON_WINDOWS("Poppler's pdftotext to read the PDF back");
  const CommandResult run = KorvelWithoutDisplay("run --model C5to6Normal --source " + ShellQuote(shop.source) +
                                                 Login() + Reports());
  ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
  EXPECT_EQ(run.err.find("Qt"), std::string::npos) << run.err;
  const Json report = Json::Parse(ReadFile(json_path));
  const std::string text = PdfText(pdf_path);
  const std::vector<std::string> lines = Lines(text);

  // Each step on its own line of the table of steps: name, result, rows
  // read, rows written.
  ASSERT_FALSE(report["steps"].items().empty());
  const auto steps = Lines(text.substr(0, text.find("截断的值")));
  for (const Json& step : report["steps"].items()) {
    const std::string name = step["name"].text();
    bool found = false;
    for (const auto& line : steps) {
      const auto at = line.find(name + " ");
      if (at == std::string::npos) continue;
      const auto words = Words(line.substr(at + name.size()));
      ASSERT_GE(words.size(), 3u) << line;
      EXPECT_EQ(words[0], "成功") << line;
      EXPECT_EQ(words[1], std::to_string(step["rows_read"].integer())) << line;
      EXPECT_EQ(words[2], std::to_string(step["rows_written"].integer())) << line;
      found = true;
    }
    EXPECT_TRUE(found) << name << "\n" << text;
  }

  // Each item of the reconciliation: its source's figures on its line, the
  // destination's on the next, as the JSON report writes them (the blanks
  // aside: pdftotext puts a column's blanks where it sees gaps).
  ASSERT_FALSE(report["reconciliation"].items().empty());
  for (const Json& item : report["reconciliation"].items()) {
    bool found = false;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
      if (Unbroken(lines[i]).rfind(Unbroken(item["item"].text() + "源数据库"), 0) != 0) continue;
      EXPECT_EQ(Unbroken(lines[i]), Unbroken(item["item"].text() + "源数据库" + item["source"].text() + "相符"));
      EXPECT_EQ(Unbroken(lines[i + 1]), Unbroken("目的数据库" + item["destination"].text()));
      found = true;
    }
    EXPECT_TRUE(found) << item << "\n" << text;
  }

  // The source proved by its digest, computed apart from korvel.
  const CommandResult sum = RunCommand("sha256sum " + ShellQuote(shop.source));
  ASSERT_EQ(sum.exit_code, 0);
  const std::string digest = sum.out.substr(0, 64);
  EXPECT_EQ(report["source_sha256"].text(), digest);
  EXPECT_NE(text.find(digest), std::string::npos) << text;

  // The same from the JSON report alone, and without a word from Qt.
  const std::string again = shop.dir.File("again.pdf");
  const CommandResult rendered =
      KorvelWithoutDisplay("report --from " + ShellQuote(json_path) + " --pdf " + ShellQuote(again));
  ASSERT_EQ(rendered.exit_code, 0) << rendered.err;
  EXPECT_EQ(rendered.out + rendered.err, "");
  EXPECT_EQ(PdfText(again), text);
}

TEST_F(ReportPdf, AFailedRunsPdfNamesTheStepThatFailedAndItsError) {
  VK_SKIP_ON_WINDOWS("Poppler's pdftotext to read the PDF back");
  const CommandResult run = KorvelWithoutDisplay("run --model C5to6CustSuppNoWriteAccount --source " +
                                                 ShellQuote(OrphanSource()) + Login() + Reports());
  ASSERT_EQ(run.exit_code, 1) << run.out << run.err;
  const Json report = Json::Parse(ReadFile(json_path));
  const std::string text = Unbroken(PdfText(pdf_path, false));
  int failed = 0;
  for (const Json& step : report["steps"].items()) {
    if (step["result"].text() != "failed") continue;
    ++failed;
    EXPECT_NE(text.find(Unbroken(step["name"].text() + "失败")), std::string::npos) << text;
    EXPECT_NE(text.find(Unbroken("错误 " + std::to_string(step["error"]["number"].integer()))), std::string::npos)
        << text;
    EXPECT_NE(text.find(Unbroken(step["error"]["description"].text())), std::string::npos) << text;
  }
  EXPECT_EQ(failed, 1) << report;
  EXPECT_NE(text.find("结果失败错误" + Unbroken(report["error"].text())), std::string::npos) << text;
  EXPECT_NE(text.find("升级没有完成，未对账。"), std::string::npos) << text;
}

TEST_F(ReportPdf, ACheckPdfHoldsItsVerdictAndEveryProblem) {
  VK_SKIP_ON_WINDOWS("Poppler's pdftotext to read the PDF back");
  const CommandResult check =
      KorvelWithoutDisplay("check --model C5to6CustSuppNoWriteAccount --source " + ShellQuote(OrphanSource()) + Reports());
  ASSERT_EQ(check.exit_code, 2) << check.out << check.err;
  const Json report = Json::Parse(ReadFile(json_path));
  const std::string text = PdfText(pdf_path);
  EXPECT_NE(text.find("Velmora 升级前检查报告"), std::string::npos) << text;
  EXPECT_NE(text.find("结论：升级将失败：1 行无法写入，升级会在第一处停止并回滚。"), std::string::npos) << text;
  const auto problems = report["problems"].items();
  ASSERT_EQ(problems.size(), 1u) << report;
  EXPECT_NE(Unbroken(text).find(Unbroken("[引用不存在] Customer 第 3 行（UnitID=C3） 列“RegionID”，Region 中没有：" +
                                         problems[0]["message"].text())),
            std::string::npos)
      << text;
  // Rows read, failing and cut per task, as the report counts them.
  const auto tasks = Lines(text.substr(0, text.find("问题（按升级的顺序）")));
  for (const Json& task : report["tasks"].items()) {
    bool found = false;
    for (const auto& line : tasks) {
      const auto words = Words(line);
      const auto table = std::find(words.begin(), words.end(), task["table"].text());
      if (table == words.end() || words.end() - table < 4) continue;
      EXPECT_EQ(table[1], std::to_string(task["rows_read"].integer())) << line;
      EXPECT_EQ(table[2], std::to_string(task["rows_failing"].integer())) << line;
      EXPECT_EQ(table[3], std::to_string(task["rows_cut"].integer())) << line;
      found = true;
    }
    EXPECT_TRUE(found) << task << "\n" << text;
  }
}

TEST_F(ReportPdf, ALongReportsPagesEachCarryTheirNumberAndTheRunsTimeAndSplitNoItem) {
  VK_SKIP_ON_WINDOWS("Poppler's pdftotext to read the PDF back");
  Report r = MakeRun();
  r.source.path = "/srv/shops/" + std::string(40, 'a') + "/" + std::string(120, 'b') + "/门店账.mdb";
  r.steps.clear();
  for (int i = 1; i <= 90; ++i) {
    StepRecord s;
    s.name = "导入数据到 [Sales60].[dbo].[T" + std::to_string(i) + "]";
    s.state = StepRecord::State::kSucceeded;
    s.stats.rows_read = 1000 + i;
    s.stats.rows_written = 1000 + i;
    r.steps.push_back(s);
  }
  for (int i = 1; i <= 60; ++i) {
    const std::string rows = std::to_string(i * 7) + " 行";
    r.reconciliation.push_back({"T" + std::to_string(i) + " 行数", rows, rows, true});
  }
  for (int i = 1; i <= 260; ++i) {
    r.check->problems.push_back(MakeProblem(assurance::ProblemKind::kForeignKey, i, "第 " + std::to_string(i) + " 个问题"));
  }
  testing_support::WriteFile(json_path, assurance::ToJson(r));
  const CommandResult rendered =
      KorvelWithoutDisplay("report --from " + ShellQuote(json_path) + " --pdf " + ShellQuote(pdf_path));
  ASSERT_EQ(rendered.exit_code, 0) << rendered.err;

  const std::string text = PdfText(pdf_path);
  std::vector<std::string> pages;
  for (std::size_t at = 0, end; (end = text.find('\f', at)) != std::string::npos; at = end + 1) {
    pages.push_back(text.substr(at, end - at));
  }
  ASSERT_GE(pages.size(), 5u) << text;
  const std::string of = "，共 " + std::to_string(pages.size()) + " 页";
  for (std::size_t i = 0; i < pages.size(); ++i) {
    EXPECT_NE(pages[i].find("第 " + std::to_string(i + 1) + " 页" + of), std::string::npos) << pages[i];
    EXPECT_NE(pages[i].find("开始时间 2026-12-09 17:21:08"), std::string::npos) << pages[i];
  }
  // An item of the reconciliation is not split between pages: the
  // destination's figures follow the source's on the same page.
  int items = 0;
  for (const auto& page : pages) {
    const auto lines = Lines(page);
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const auto words = Words(lines[i]);
      if (words.size() < 3 || words[1] != "行数" || words[2] != "源数据库") continue;
      ++items;
      ASSERT_LT(i + 1, lines.size()) << page;
      EXPECT_EQ(Words(lines[i + 1]).front(), "目的数据库") << page;
    }
  }
  EXPECT_EQ(items, 61);  // and "Goods 行数"
  // The long table and the long path go on whole; of the 263 problems the
  // first 200 are shown and the rest counted.
  for (int i = 1; i <= 90; ++i) {
    EXPECT_NE(text.find("[T" + std::to_string(i) + "] "), std::string::npos) << i;
  }
  EXPECT_NE(Unbroken(text).find(Unbroken(r.source.path)), std::string::npos) << text;
  EXPECT_NE(text.find("第 197 个问题"), std::string::npos);
  EXPECT_EQ(text.find("第 198 个问题"), std::string::npos);
  EXPECT_NE(text.find("……另有 63 个问题未列出，全部见 JSON 报告。"), std::string::npos);
}

TEST_F(ReportPdf, AJsonFileThatIsNoReportGivesAnErrorAndNoPdf) {
  testing_support::WriteFile(json_path, "{\"kind\": \"run\", \"model\": 5}");
  const CommandResult rendered =
      KorvelWithoutDisplay("report --from " + ShellQuote(json_path) + " --pdf " + ShellQuote(pdf_path));
  EXPECT_EQ(rendered.exit_code, 1);
  EXPECT_NE(rendered.err.find("korvel report: 错误 5 (korvel): 无法读取报告：字段“model”应为字符串"), std::string::npos)
      << rendered.err;
  EXPECT_FALSE(std::filesystem::exists(port::PathFromUtf8(pdf_path)));

  const CommandResult missing = KorvelWithoutDisplay("report --from " + ShellQuote(shop.dir.File("none.json")) +
                                                     " --pdf " + ShellQuote(pdf_path));
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_NE(missing.err.find("none.json"), std::string::npos) << missing.err;
}

}  // namespace
