// Runs a T-SQL script test (see tests/sql/README.md) on a database of its
// own and reports every record whose answer differs from the one written.
//
//   sql_script_runner FILE.test
//
// Exits 0 when every record gave its answer, 1 otherwise, 2 for a file it
// cannot read or parse.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cli/tsv.h"
#include "platform/com/error.h"
#include "platform/sqlserver/engine.h"
#include "platform/sqlserver/server.h"
#include "platform/sqlserver/server_statements.h"
#include "tests/support/files.h"

namespace {

struct Record {
  enum Kind { kStatementOk, kStatementError, kQuery, kMessages } kind = kStatementOk;
  int line = 0;                     // of its directive
  int error = 0;                    // kStatementError; kQuery: the error it raises at its end, 0 for none
  std::string error_text;           // kStatementError: text its message holds
  bool rowsort = false;             // kQuery
  std::string batch;
  std::vector<std::string> expected;
};

// The records of a script; raises std::runtime_error naming the line of a
// malformed one.
std::vector<Record> Parse(std::istream& in, const std::string& file) {
  std::vector<std::string> lines;
  for (std::string l; std::getline(in, l);) {
    if (!l.empty() && l.back() == '\r') l.pop_back();
    lines.push_back(l);
  }
  auto fail = [&](std::size_t i, const std::string& why) {
    throw std::runtime_error(file + ":" + std::to_string(i + 1) + ": " + why);
  };
  std::vector<Record> out;
  std::size_t i = 0;
  while (i < lines.size()) {
    if (lines[i].empty() || lines[i][0] == '#') {
      ++i;
      continue;
    }
    Record r;
    r.line = static_cast<int>(i + 1);
    const std::string& d = lines[i];
    if (d == "statement ok") {
      r.kind = Record::kStatementOk;
    } else if (d.rfind("statement error ", 0) == 0) {
      r.kind = Record::kStatementError;
      std::size_t used = 0;
      try {
        r.error = std::stoi(d.substr(16), &used);
      } catch (const std::exception&) {
        fail(i, "statement error wants an error number");
      }
      const std::string rest = d.substr(16 + used);
      if (!rest.empty()) r.error_text = rest.substr(rest.find_first_not_of(' '));
    } else if (d.rfind("query error ", 0) == 0) {
      r.kind = Record::kQuery;
      try {
        std::size_t used = 0;
        r.error = std::stoi(d.substr(12), &used);
        if (d.size() != 12 + used) throw std::invalid_argument(d);
      } catch (const std::exception&) {
        fail(i, "query error wants an error number alone");
      }
    } else if (d == "query" || d == "query rowsort") {
      r.kind = Record::kQuery;
      r.rowsort = d == "query rowsort";
    } else if (d == "messages") {
      r.kind = Record::kMessages;
    } else {
      fail(i, "unknown directive \"" + d + "\"");
    }
    ++i;
    const bool answers = r.kind == Record::kQuery || r.kind == Record::kMessages;
    while (i < lines.size() && !lines[i].empty() && !(answers && lines[i] == "----")) {
      r.batch += lines[i++] + "\n";
    }
    if (r.batch.empty()) fail(i, "a record without a batch");
    if (answers) {
      if (i >= lines.size() || lines[i] != "----") fail(i, "expected ---- and the answer");
      ++i;
      while (i < lines.size() && !lines[i].empty()) r.expected.push_back(lines[i++]);
    }
    out.push_back(std::move(r));
  }
  return out;
}

// Whether a line the batch gave is the line expected, where an expected
// value written \* stands for any value.
bool Matches(const std::string& expected, const std::string& got) {
  if (expected.find("\\*") == std::string::npos) return expected == got;
  std::size_t e = 0, g = 0;
  for (;;) {
    const std::size_t e_end = std::min(expected.find('\t', e), expected.size());
    const std::size_t g_end = std::min(got.find('\t', g), got.size());
    const std::string_view want(expected.data() + e, e_end - e), have(got.data() + g, g_end - g);
    if (want != "\\*" && want != have) return false;
    if (e_end == expected.size() || g_end == got.size()) return e_end == expected.size() && g_end == got.size();
    e = e_end + 1;
    g = g_end + 1;
  }
}

bool AllMatch(const std::vector<std::string>& expected, const std::vector<std::string>& got) {
  if (expected.size() != got.size()) return false;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    if (!Matches(expected[i], got[i])) return false;
  }
  return true;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines) out += "    " + l + "\n";
  return out.empty() ? "    (nothing)\n" : out;
}

// Runs one record; returns "" when it gave its answer, else what went wrong.
// CREATE DATABASE and DROP DATABASE go to the server, as `korvel sql` and
// the TDS endpoint send them.
std::string Check(sqlsrv::Server& server, sqlsrv::Engine& db, const Record& r) {
  sqlsrv::BatchOutput out;
  bool raised_expected = false;
  try {
    if (const auto statement = sqlsrv::ParseDatabaseStatement(r.batch)) {
      sqlsrv::RunDatabaseStatement(server, *statement, db.database(), db.trancount());
    } else {
      db.Execute(r.batch, &out);
    }
  } catch (const com::Error& e) {
    const std::string got = std::to_string(e.number()) + " " + e.description();
    if (r.kind == Record::kQuery && r.error != 0) {
      if (e.number() != r.error) return "expected error " + std::to_string(r.error) + ", got " + got + "\n";
      raised_expected = true;
    } else if (r.kind != Record::kStatementError) {
      return "failed with " + got + "\n";
    } else if (e.number() != r.error) {
      return "expected error " + std::to_string(r.error) + ", got " + got + "\n";
    } else if (e.description().find(r.error_text) == std::string::npos) {
      return "expected the message to hold \"" + r.error_text + "\", got " + got + "\n";
    } else {
      return "";
    }
  }
  if (r.kind == Record::kStatementError || (r.error != 0 && !raised_expected)) {
    return "expected error " + std::to_string(r.error) + ", it ran\n";
  }
  std::vector<std::string> got;
  if (r.kind == Record::kQuery) {
    for (const auto& rs : out.results) {
      // A compute row follows the row it comes after, its values after a
      // first field "COMPUTE <id>".
      auto compute = rs.compute_rows.begin();
      auto computes_after = [&](std::size_t rows) {
        for (; compute != rs.compute_rows.end() && compute->after <= rows; ++compute) {
          got.push_back("COMPUTE " + std::to_string(compute->id) + "\t" + cli::FormatTsvLine(compute->values));
        }
      };
      computes_after(0);
      // Browse mode's hidden columns are shown to no one.
      const auto shown = static_cast<std::ptrdiff_t>(sqlsrv::VisibleColumnCount(rs.columns, rs.browse));
      for (std::size_t row = 0; row < rs.rows.size(); ++row) {
        got.push_back(cli::FormatTsvLine(dts::Row(rs.rows[row].begin(), rs.rows[row].begin() + shown)));
        computes_after(row + 1);
      }
    }
  } else if (r.kind == Record::kMessages) {
    for (const auto& m : out.messages) got.push_back(m.text);
  } else {
    return "";
  }
  std::vector<std::string> expected = r.expected;
  if (r.rowsort) {
    std::sort(got.begin(), got.end());
    std::sort(expected.begin(), expected.end());
  }
  if (AllMatch(expected, got)) return "";
  return "expected\n" + Joined(expected) + "got\n" + Joined(got);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: sql_script_runner FILE.test\n");
    return 2;
  }
  const std::string file = argv[1];
  std::vector<Record> records;
  try {
    std::ifstream in(file);
    if (!in) throw std::runtime_error(file + ": cannot be read");
    records = Parse(in, file);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 2;
  }
  testing_support::TempDir dir;
  auto server = sqlsrv::Server::CreateOrOpen(dir.File("srv"), "pw");
  sqlsrv::Engine db(server->CreateDatabase("test"), "test", "sa", "TESTHOST", sqlsrv::Server::DirectoryOf(server->folder()));
  int failures = 0;
  for (const Record& r : records) {
    const std::string why = Check(*server, db, r);
    if (why.empty()) continue;
    ++failures;
    std::printf("%s:%d: %s  batch:\n%s", file.c_str(), r.line, why.c_str(), r.batch.c_str());
  }
  std::printf("%s: %zu records, %d failed\n", file.c_str(), records.size(), failures);
  return failures == 0 ? 0 : 1;
}
