#include "platform/jet/query.h"

#include <cctype>

#include "platform/com/error.h"
#include "platform/com/names.h"
#include "platform/jet/header.h"

namespace jet {
namespace {

enum class Tok { kName, kKeyword, kText, kNumber, kStar, kComma, kEquals, kSemicolon, kEnd };

struct Token {
  Tok kind;
  std::string text;  // name, keyword (upper case), literal value
};

[[noreturn]] void Unsupported(std::string_view sql, const std::string& what) {
  throw com::Error(3075, kErrorSource,
                   "不支持的查询：" + what + "。只支持 SELECT 列 FROM 表 [WHERE 列 = 值]。查询：" + std::string(sql));
}

bool IsNameStart(unsigned char c) { return std::isalpha(c) || c == '_' || c >= 0x80; }
bool IsNameChar(unsigned char c) { return std::isalnum(c) || c == '_' || c >= 0x80; }

std::vector<Token> Tokenize(std::string_view sql) {
  std::vector<Token> out;
  std::size_t i = 0;
  while (i < sql.size()) {
    const auto c = static_cast<unsigned char>(sql[i]);
    if (std::isspace(c)) {
      ++i;
    } else if (c == '`' || c == '[') {
      const char close = c == '`' ? '`' : ']';
      const std::size_t end = sql.find(close, i + 1);
      if (end == std::string_view::npos) Unsupported(sql, "名称没有结束符");
      if (end == i + 1) Unsupported(sql, "空的名称");
      out.push_back({Tok::kName, std::string(sql.substr(i + 1, end - i - 1))});
      i = end + 1;
    } else if (c == '\'' || c == '"') {
      std::string value;
      std::size_t j = i + 1;
      for (;;) {
        if (j >= sql.size()) Unsupported(sql, "字符串常量没有结束引号");
        if (sql[j] == static_cast<char>(c)) {
          if (j + 1 < sql.size() && sql[j + 1] == static_cast<char>(c)) {
            value.push_back(static_cast<char>(c));
            j += 2;
            continue;
          }
          break;
        }
        value.push_back(sql[j++]);
      }
      out.push_back({Tok::kText, std::move(value)});
      i = j + 1;
    } else if (std::isdigit(c) || ((c == '-' || c == '.') && i + 1 < sql.size() &&
                                   std::isdigit(static_cast<unsigned char>(sql[i + 1])))) {
      std::size_t j = i + 1;
      while (j < sql.size() && (std::isdigit(static_cast<unsigned char>(sql[j])) || sql[j] == '.')) ++j;
      out.push_back({Tok::kNumber, std::string(sql.substr(i, j - i))});
      i = j;
    } else if (IsNameStart(c)) {
      std::size_t j = i + 1;
      while (j < sql.size() && IsNameChar(static_cast<unsigned char>(sql[j]))) ++j;
      std::string word(sql.substr(i, j - i));
      const std::string upper = com::UpperAscii(word);
      if (upper == "SELECT" || upper == "FROM" || upper == "WHERE") {
        out.push_back({Tok::kKeyword, upper});
      } else if (upper == "DISTINCT" || upper == "TOP" || upper == "ORDER" || upper == "GROUP" ||
                 upper == "JOIN" || upper == "UNION" || upper == "INSERT" || upper == "UPDATE" ||
                 upper == "DELETE" || upper == "AND" || upper == "OR" || upper == "AS" || upper == "INTO") {
        Unsupported(sql, "关键字 " + upper);
      } else {
        out.push_back({Tok::kName, std::move(word)});
      }
      i = j;
    } else if (c == '*') {
      out.push_back({Tok::kStar, "*"});
      ++i;
    } else if (c == ',') {
      out.push_back({Tok::kComma, ","});
      ++i;
    } else if (c == '=') {
      out.push_back({Tok::kEquals, "="});
      ++i;
    } else if (c == ';') {
      out.push_back({Tok::kSemicolon, ";"});
      ++i;
    } else {
      Unsupported(sql, std::string("字符“") + static_cast<char>(c) + "”");
    }
  }
  out.push_back({Tok::kEnd, ""});
  return out;
}

}  // namespace

SelectQuery ParseSelect(std::string_view sql) {
  const std::vector<Token> t = Tokenize(sql);
  std::size_t i = 0;
  auto expect = [&](Tok kind, std::string_view keyword, const char* what) -> const Token& {
    if (t[i].kind != kind || (kind == Tok::kKeyword && t[i].text != keyword)) Unsupported(sql, what);
    return t[i++];
  };
  SelectQuery q;
  expect(Tok::kKeyword, "SELECT", "查询必须以 SELECT 开头");
  if (t[i].kind == Tok::kStar) {
    q.all_columns = true;
    ++i;
  } else {
    for (;;) {
      q.columns.push_back(expect(Tok::kName, "", "SELECT 之后应为列名或 *").text);
      if (t[i].kind != Tok::kComma) break;
      ++i;
    }
  }
  expect(Tok::kKeyword, "FROM", "列名之后应为 FROM");
  q.table = expect(Tok::kName, "", "FROM 之后应为表名").text;
  if (t[i].kind == Tok::kKeyword && t[i].text == "WHERE") {
    ++i;
    q.where_column = expect(Tok::kName, "", "WHERE 之后应为列名").text;
    expect(Tok::kEquals, "", "WHERE 条件只支持“列 = 值”");
    if (t[i].kind == Tok::kText) {
      q.where_value = {true, t[i++].text};
    } else if (t[i].kind == Tok::kNumber) {
      q.where_value = {false, t[i++].text};
    } else {
      Unsupported(sql, "WHERE 条件的值应为字符串或数字常量");
    }
  }
  if (t[i].kind == Tok::kSemicolon) ++i;
  if (t[i].kind != Tok::kEnd) Unsupported(sql, "多余的内容“" + t[i].text + "”");
  return q;
}

}  // namespace jet
