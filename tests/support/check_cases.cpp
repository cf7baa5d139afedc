#include "tests/support/check_cases.h"

#include <cstdio>
#include <sstream>
#include <stdexcept>

#include "platform/sqlserver/engine.h"

namespace testing_support {

class JsonReader {
 public:
  explicit JsonReader(std::string_view text) : s_(text) {}

  Json Document() {
    Json value = Value();
    Blanks();
    if (at_ != s_.size()) Fail("text after the value");
    return value;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    throw std::runtime_error("JSON: " + what + " at offset " + std::to_string(at_));
  }
  void Blanks() {
    while (at_ < s_.size() && (s_[at_] == ' ' || s_[at_] == '\t' || s_[at_] == '\n' || s_[at_] == '\r')) ++at_;
  }
  bool Take(char c) {
    Blanks();
    if (at_ < s_.size() && s_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }
  void Expect(char c) {
    if (!Take(c)) Fail(std::string("'") + c + "' expected");
  }
  bool Word(std::string_view w) {
    if (s_.substr(at_, w.size()) != w) return false;
    at_ += w.size();
    return true;
  }

  Json Value() {
    Blanks();
    if (at_ >= s_.size()) Fail("value expected");
    Json v;
    const char c = s_[at_];
    if (c == '{') {
      ++at_;
      v.type_ = Json::Type::kObject;
      if (Take('}')) return v;
      do {
        Blanks();
        if (at_ >= s_.size() || s_[at_] != '"') Fail("member name expected");
        std::string key = String();
        Expect(':');
        v.members_.emplace_back(std::move(key), Value());
      } while (Take(','));
      Expect('}');
    } else if (c == '[') {
      ++at_;
      v.type_ = Json::Type::kArray;
      if (Take(']')) return v;
      do v.items_.push_back(Value());
      while (Take(','));
      Expect(']');
    } else if (c == '"') {
      v.type_ = Json::Type::kString;
      v.text_ = String();
    } else if (Word("true") || Word("false")) {
      v.type_ = Json::Type::kBool;
      v.boolean_ = c == 't';
    } else if (Word("null")) {
      v.type_ = Json::Type::kNull;
    } else {
      v.type_ = Json::Type::kNumber;
      v.text_ = Number();
    }
    return v;
  }

  std::string Number() {
    const std::size_t start = at_;
    auto digits = [&] {
      const std::size_t from = at_;
      while (at_ < s_.size() && s_[at_] >= '0' && s_[at_] <= '9') ++at_;
      if (at_ == from) Fail("digit expected");
    };
    if (at_ < s_.size() && s_[at_] == '-') ++at_;
    digits();
    if (at_ < s_.size() && s_[at_] == '.') {
      ++at_;
      digits();
    }
    if (at_ < s_.size() && (s_[at_] == 'e' || s_[at_] == 'E')) {
      ++at_;
      if (at_ < s_.size() && (s_[at_] == '+' || s_[at_] == '-')) ++at_;
      digits();
    }
    return std::string(s_.substr(start, at_ - start));
  }

  unsigned Hex4() {
    if (at_ + 4 > s_.size()) Fail("four hex digits expected");
    unsigned u = 0;
    for (int i = 0; i < 4; ++i) {
      const char h = s_[at_++];
      u <<= 4;
      if (h >= '0' && h <= '9') u |= static_cast<unsigned>(h - '0');
      else if (h >= 'a' && h <= 'f') u |= static_cast<unsigned>(h - 'a' + 10);
      else if (h >= 'A' && h <= 'F') u |= static_cast<unsigned>(h - 'A' + 10);
      else Fail("hex digit expected");
    }
    return u;
  }

  static void Utf8(unsigned cp, std::string* out) {
    if (cp < 0x80) {
      out->push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }

  std::string String() {
    ++at_;  // the opening quote
    std::string out;
    for (;;) {
      if (at_ >= s_.size()) Fail("unterminated string");
      const char c = s_[at_++];
      if (c == '"') return out;
      if (static_cast<unsigned char>(c) < 0x20) Fail("unescaped control character in a string");
      if (c != '\\') {
        out.push_back(c);
        continue;
      }
      if (at_ >= s_.size()) Fail("unterminated escape");
      switch (const char e = s_[at_++]) {
        case '"': case '\\': case '/': out.push_back(e); break;
        case 'b': out.push_back('\b'); break;
        case 'f': out.push_back('\f'); break;
        case 'n': out.push_back('\n'); break;
        case 'r': out.push_back('\r'); break;
        case 't': out.push_back('\t'); break;
        case 'u': {
          unsigned cp = Hex4();
          if (cp >= 0xD800 && cp < 0xDC00) {
            if (!Word("\\u")) Fail("low surrogate expected");
            const unsigned low = Hex4();
            if (low < 0xDC00 || low >= 0xE000) Fail("low surrogate expected");
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
          } else if (cp >= 0xDC00 && cp < 0xE000) {
            Fail("lone low surrogate");
          }
          Utf8(cp, &out);
          break;
        }
        default: Fail("unknown escape");
      }
    }
  }

  std::string_view s_;
  std::size_t at_ = 0;
};

Json Json::Parse(std::string_view text) { return JsonReader(text).Document(); }

bool Json::boolean() const {
  if (type_ != Type::kBool) throw std::runtime_error("JSON: not a bool");
  return boolean_;
}

long long Json::integer() const {
  if (type_ != Type::kNumber || text_.find_first_of(".eE") != std::string::npos) {
    throw std::runtime_error("JSON: not a whole number: " + text_);
  }
  return std::stoll(text_);
}

const std::string& Json::text() const {
  if (type_ != Type::kString && type_ != Type::kNumber) throw std::runtime_error("JSON: not a string");
  return text_;
}

const std::vector<Json>& Json::items() const {
  if (type_ != Type::kArray) throw std::runtime_error("JSON: not an array");
  return items_;
}

const std::vector<std::pair<std::string, Json>>& Json::members() const {
  if (type_ != Type::kObject) throw std::runtime_error("JSON: not an object");
  return members_;
}

bool Json::Has(std::string_view key) const {
  for (const auto& [name, value] : members()) {
    if (name == key) return true;
  }
  return false;
}

const Json& Json::operator[](std::string_view key) const {
  for (const auto& [name, value] : members()) {
    if (name == key) return value;
  }
  throw std::runtime_error("JSON: no member \"" + std::string(key) + "\"");
}

namespace {

std::string Korvel() { return ShellQuote(BinDir() + "/korvel"); }

std::string Login(const EmbeddedShop& shop) {
  return " --server " + ShellQuote(shop.server) + " --user sa --password-env KPW --database " +
         EmbeddedShop::kDatabase;
}

ReportedRun WithReport(const std::string& command, const std::string& report) {
  std::remove(report.c_str());
  ReportedRun r;
  r.command = RunCommand(command + " --report " + ShellQuote(report));
  if (FILE* f = std::fopen(report.c_str(), "rb")) {
    std::fclose(f);
    r.report = ReadFile(report);
  }
  return r;
}

}  // namespace

ReportedRun KorvelCheck(const EmbeddedShop& shop, const std::string& model, const std::string& source,
                        bool with_server, const std::string& report) {
  return WithReport("KPW=" + std::string(EmbeddedShop::kPassword) + " " + Korvel() + " check --model " + model +
                        " --source " + ShellQuote(source) + (with_server ? Login(shop) : ""),
                    report);
}

ReportedRun KorvelRun(const EmbeddedShop& shop, const std::string& model, const std::string& source,
                      const std::string& report) {
  return WithReport("KPW=" + std::string(EmbeddedShop::kPassword) + " " + Korvel() + " run --model " + model +
                        " --source " + ShellQuote(source) + Login(shop),
                    report);
}

std::string WriteRetypedSource(const EmbeddedShop& shop, const std::string& name,
                               const std::map<std::string, std::string>& tables,
                               const std::map<std::string, std::string>& retyped) {
  std::istringstream in(ReadFile(TestDataDir() + "/../../data/schema56.tsv"));
  std::string schema;
  std::size_t found = 0;
  for (std::string line; std::getline(in, line);) {
    for (const auto& [column, type] : retyped) {
      if (line.rfind(column + "\t", 0) == 0) {
        const std::size_t required = line.rfind('\t');  // the last field: required or not
        line = column + "\t" + type + line.substr(required);
        ++found;
      }
    }
    schema += line + "\n";
  }
  if (found != retyped.size()) throw std::runtime_error("a retyped column is not in the 5.6 schema");
  const std::string schema_file = shop.dir.File(name + ".schema.tsv");
  WriteFile(schema_file, schema);

  const std::string path = shop.dir.File(name);
  std::string command = Korvel() + " mdb-write --schema " + ShellQuote(schema_file) + " --out " + ShellQuote(path);
  for (const auto& [table, tsv] : tables) {
    const std::string file = shop.dir.File(name + "." + table + ".tsv");
    WriteFile(file, tsv);
    command += " " + ShellQuote(table + "=" + file);
  }
  const auto r = RunCommand(command);
  if (r.exit_code != 0) throw std::runtime_error("korvel mdb-write failed: " + r.err);
  return path;
}

void EmptyUpgradedTables(const EmbeddedShop& shop) {
  sqlsrv::Engine(shop.database_file, EmbeddedShop::kDatabase, "sa")
      .Execute("delete from Custody; delete from CustAcc; delete from SuppAcc; delete from gdsCom; "
               "delete from bBalance; delete from GoodsIDList; delete from Goods; delete from gdsClass; "
               "delete from Base; delete from Customer; delete from Supplier; delete from Region; "
               "delete from Member; delete from Employee; delete from Depart");
}

}  // namespace testing_support
