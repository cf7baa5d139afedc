#include "platform/com/json.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <ostream>
#include <system_error>
#include <unordered_set>

#include "platform/com/error.h"
#include "platform/com/unicode.h"
#include "platform/com/variant.h"

namespace com {
namespace {

constexpr char kSource[] = "json";

[[noreturn]] void Raise(const std::string& why) { throw Error(kErrInvalidArgument, kSource, why); }

// Whether `text`, whole, is a number as JSON writes one:
// -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
bool IsNumberText(std::string_view text) {
  std::size_t at = 0;
  auto digits = [&] {
    const std::size_t from = at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
    return at > from;
  };
  if (at < text.size() && text[at] == '-') ++at;
  if (at < text.size() && text[at] == '0') {
    ++at;
  } else if (!digits()) {
    return false;
  }
  if (at < text.size() && text[at] == '.') {
    ++at;
    if (!digits()) return false;
  }
  if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
    ++at;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
    if (!digits()) return false;
  }
  return at == text.size();
}

// A number's text as an integer when it has neither fraction nor exponent
// and fits 64 bits.
bool AsInteger(std::string_view text, std::int64_t* value) {
  if (text.find_first_of(".eE") != std::string_view::npos) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return ec == std::errc() && end == text.data() + text.size();
}

}  // namespace

// The parser: one pass over the text, recursion held to Json::kMaxDepth.
// Its faults are worded as Qt's reader worded them, which the reports'
// readers showed before.
class JsonParser {
 public:
  explicit JsonParser(std::string_view text) : s_(text) {}

  Json Document() {
    Json value = Value(0);
    Blanks();
    if (at_ != s_.size()) Fail("garbage at the end of the document");
    return value;
  }

 private:
  [[noreturn]] void Fail(const char* why) const { FailAt(at_, why); }
  [[noreturn]] static void FailAt(std::size_t at, const char* why) {
    Raise("不是有效的 JSON（第 " + std::to_string(at + 1) + " 个字节处：" + why + "）");
  }
  void Blanks() {
    while (at_ < s_.size() && (s_[at_] == ' ' || s_[at_] == '\t' || s_[at_] == '\n' || s_[at_] == '\r')) ++at_;
  }
  // Skips blanks; takes `c` when it is next.
  bool Take(char c) {
    Blanks();
    if (at_ < s_.size() && s_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }
  bool Word(std::string_view w) {
    if (s_.substr(at_, w.size()) != w) return false;
    at_ += w.size();
    return true;
  }

  Json Value(int depth) {
    Blanks();
    if (at_ >= s_.size()) Fail("illegal value");
    const char c = s_[at_];
    if (c == '{' || c == '[') {
      if (depth >= Json::kMaxDepth) Fail("too deeply nested document");
      ++at_;
      return c == '{' ? ObjectValue(depth + 1) : ArrayValue(depth + 1);
    }
    if (c == '"') return Json::String(String());
    if (Word("true")) return Json::Bool(true);
    if (Word("false")) return Json::Bool(false);
    if (Word("null")) return Json();
    if (c == '-' || (c >= '0' && c <= '9')) return NumberValue();
    Fail("illegal value");
  }

  Json ObjectValue(int depth) {
    Json object = Json::Object();
    if (Take('}')) return object;
    std::unordered_set<std::string> names;
    do {
      Blanks();
      if (at_ >= s_.size()) Fail("unterminated object");
      if (s_[at_] != '"') Fail("illegal value");
      const std::size_t name_at = at_;
      std::string name = String();
      if (!names.insert(name).second) FailAt(name_at, "duplicate key");
      if (!Take(':')) Fail(at_ >= s_.size() ? "unterminated object" : "missing name separator");
      Json value = Value(depth);
      object.members_.emplace_back(std::move(name), std::move(value));  // the names are told apart above
    } while (Take(','));
    if (!Take('}')) Fail(at_ >= s_.size() ? "unterminated object" : "missing value separator");
    return object;
  }

  Json ArrayValue(int depth) {
    Json array = Json::Array();
    if (Take(']')) return array;
    do array.items_.push_back(Value(depth));
    while (Take(','));
    if (!Take(']')) Fail(at_ >= s_.size() ? "unterminated array" : "missing value separator");
    return array;
  }

  Json NumberValue() {
    const std::size_t start = at_;
    while (at_ < s_.size() && (std::string_view("0123456789+-.eE").find(s_[at_]) != std::string_view::npos)) ++at_;
    const std::string_view text = s_.substr(start, at_ - start);
    if (!IsNumberText(text)) FailAt(start, "illegal number");
    std::int64_t n = 0;
    return AsInteger(text, &n) ? Json::Integer(n) : Json::Number(text);
  }

  unsigned Hex4() {
    if (at_ + 4 > s_.size()) Fail("invalid escape sequence");
    unsigned u = 0;
    for (int i = 0; i < 4; ++i) {
      const char h = s_[at_];
      u <<= 4;
      if (h >= '0' && h <= '9') {
        u |= static_cast<unsigned>(h - '0');
      } else if (h >= 'a' && h <= 'f') {
        u |= static_cast<unsigned>(h - 'a' + 10);
      } else if (h >= 'A' && h <= 'F') {
        u |= static_cast<unsigned>(h - 'A' + 10);
      } else {
        Fail("invalid escape sequence");
      }
      ++at_;
    }
    return u;
  }

  // One character written as UTF-8 from the text, checked: no overlong
  // form, no surrogate, nothing past U+10FFFF.
  void Utf8Char(std::string* out) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s_[at_ + i]); };
    const unsigned char lead = byte(0);
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    char32_t cp = lead & (length == 4 ? 0x07 : length == 3 ? 0x0F : 0x1F);
    bool valid = lead >= 0xC2 && lead <= 0xF4 && at_ + length <= s_.size();
    for (std::size_t i = 1; valid && i < length; ++i) {
      valid = (byte(i) & 0xC0) == 0x80;
      cp = (cp << 6) | (byte(i) & 0x3F);
    }
    if (valid) valid = (length != 3 || cp >= 0x800) && (length != 4 || (cp >= 0x10000 && cp <= 0x10FFFF));
    if (!valid || (cp >= 0xD800 && cp < 0xE000)) Fail("invalid UTF8 string");
    out->append(s_.substr(at_, length));
    at_ += length;
  }

  std::string String() {
    ++at_;  // the opening quote
    std::string out;
    for (;;) {
      if (at_ >= s_.size()) Fail("unterminated string");
      const char c = s_[at_];
      if (c == '"') {
        ++at_;
        return out;
      }
      if (static_cast<unsigned char>(c) < 0x20) Fail("unescaped control character in a string");
      if (static_cast<unsigned char>(c) >= 0x80) {
        Utf8Char(&out);
        continue;
      }
      ++at_;
      if (c != '\\') {
        out.push_back(c);
        continue;
      }
      if (at_ >= s_.size()) Fail("unterminated string");
      switch (s_[at_++]) {
        case '"': out.push_back('"'); break;
        case '\\': out.push_back('\\'); break;
        case '/': out.push_back('/'); break;
        case 'b': out.push_back('\b'); break;
        case 'f': out.push_back('\f'); break;
        case 'n': out.push_back('\n'); break;
        case 'r': out.push_back('\r'); break;
        case 't': out.push_back('\t'); break;
        case 'u': {
          const std::size_t escape_at = at_ - 2;
          char32_t cp = Hex4();
          if (cp >= 0xD800 && cp < 0xDC00) {
            if (!Word("\\u")) FailAt(escape_at, "invalid escape sequence");  // a high surrogate alone
            const char32_t low = Hex4();
            if (low < 0xDC00 || low >= 0xE000) FailAt(escape_at, "invalid escape sequence");
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
          } else if (cp >= 0xDC00 && cp < 0xE000) {
            FailAt(escape_at, "invalid escape sequence");  // a low surrogate alone
          }
          AppendUtf8(cp, &out);
          break;
        }
        default:
          --at_;
          Fail("invalid escape sequence");
      }
    }
  }

  std::string_view s_;
  std::size_t at_ = 0;
};

namespace {

void WriteString(std::string* out, std::string_view s) {
  out->push_back('"');
  for (const unsigned char c : s) {
    switch (c) {
      case '"': *out += "\\\""; break;
      case '\\': *out += "\\\\"; break;
      case '\n': *out += "\\n"; break;
      case '\r': *out += "\\r"; break;
      case '\t': *out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          *out += buf;
        } else {
          out->push_back(static_cast<char>(c));
        }
    }
  }
  out->push_back('"');
}

bool IsContainer(const Json& v) { return v.type() == Json::Type::kArray || v.type() == Json::Type::kObject; }

// Whether the value is written on one line wherever it stands: a plain
// value, or a container of plain values only.
bool HoldsOnlyPlainValues(const Json& v) {
  if (v.type() == Json::Type::kArray) {
    for (const Json& item : v.items()) {
      if (IsContainer(item)) return false;
    }
  } else if (v.type() == Json::Type::kObject) {
    for (const auto& [name, value] : v.members()) {
      if (IsContainer(value)) return false;
    }
  }
  return true;
}

void Write(std::string* out, const Json& v, const std::string& indent, bool one_line) {
  switch (v.type()) {
    case Json::Type::kNull: *out += "null"; return;
    case Json::Type::kBool: *out += v.boolean() ? "true" : "false"; return;
    case Json::Type::kInteger:
    case Json::Type::kNumber: *out += v.number_text(); return;
    case Json::Type::kString: WriteString(out, v.text()); return;
    case Json::Type::kArray:
    case Json::Type::kObject: break;
  }
  const bool object = v.type() == Json::Type::kObject;
  one_line = one_line || HoldsOnlyPlainValues(v);
  const std::string inner = indent + "  ";
  *out += object ? '{' : '[';
  const std::size_t count = object ? v.members().size() : v.items().size();
  for (std::size_t i = 0; i < count; ++i) {
    if (i) *out += one_line ? ", " : ",";
    if (!one_line) *out += "\n" + inner;
    if (object) {
      WriteString(out, v.members()[i].first);
      *out += ": ";
      Write(out, v.members()[i].second, inner, one_line);
    } else {
      Write(out, v.items()[i], inner, true);  // an array's items each on one line
    }
  }
  if (!one_line && count) *out += "\n" + indent;
  *out += object ? '}' : ']';
}

}  // namespace

Json Json::Bool(bool value) {
  Json v;
  v.type_ = Type::kBool;
  v.boolean_ = value;
  return v;
}

Json Json::Integer(std::int64_t value) {
  Json v;
  v.type_ = Type::kInteger;
  v.integer_ = value;
  return v;
}

Json Json::Number(std::string_view text) {
  if (!IsNumberText(text)) Raise("“" + std::string(text) + "”不是 JSON 数字");
  Json v;
  v.type_ = Type::kNumber;
  v.text_ = std::string(text);
  return v;
}

Json Json::String(std::string value) {
  Json v;
  v.type_ = Type::kString;
  v.text_ = std::move(value);
  return v;
}

Json Json::Array() {
  Json v;
  v.type_ = Type::kArray;
  return v;
}

Json Json::Object() {
  Json v;
  v.type_ = Type::kObject;
  return v;
}

Json Json::Parse(std::string_view text) { return JsonParser(text).Document(); }

Json& Json::Push(Json value) {
  if (type_ != Type::kArray) Raise("JSON 值不是数组");
  items_.push_back(std::move(value));
  return *this;
}

Json& Json::Add(std::string name, Json value) {
  if (Has(name)) Raise("JSON 对象已有成员“" + name + "”");
  members_.emplace_back(std::move(name), std::move(value));
  return *this;
}

bool Json::boolean() const {
  if (type_ != Type::kBool) Raise("JSON 值不是 true 或 false");
  return boolean_;
}

std::int64_t Json::integer() const {
  if (type_ != Type::kInteger) Raise("JSON 值不是 64 位整数：" + CompactJson(*this));
  return integer_;
}

const std::string& Json::text() const {
  if (type_ != Type::kString) Raise("JSON 值不是字符串：" + CompactJson(*this));
  return text_;
}

std::string Json::number_text() const {
  if (type_ == Type::kInteger) return std::to_string(integer_);
  if (type_ != Type::kNumber) Raise("JSON 值不是数字：" + CompactJson(*this));
  return text_;
}

const std::vector<Json>& Json::items() const {
  if (type_ != Type::kArray) Raise("JSON 值不是数组");
  return items_;
}

const std::vector<Json::Member>& Json::members() const {
  if (type_ != Type::kObject) Raise("JSON 值不是对象");
  return members_;
}

bool Json::Has(std::string_view name) const {
  for (const auto& member : members()) {
    if (member.first == name) return true;
  }
  return false;
}

const Json& Json::operator[](std::string_view name) const {
  for (const auto& member : members()) {
    if (member.first == name) return member.second;
  }
  Raise("JSON 对象没有成员“" + std::string(name) + "”");
}

std::string WriteJson(const Json& value) {
  std::string out;
  Write(&out, value, "", false);
  return out + "\n";
}

std::string CompactJson(const Json& value) {
  std::string out;
  Write(&out, value, "", true);
  return out;
}

std::ostream& operator<<(std::ostream& out, const Json& value) { return out << CompactJson(value); }

// ---------------------------------------------------------------- reading fields

JsonDocument::JsonDocument(std::string_view text, std::string what, std::string source)
    : what_(std::move(what)), source_(std::move(source)) {
  try {
    root_ = Json::Parse(text);
  } catch (const Error& e) {
    Fail(e.description());
  }
}

JsonField JsonDocument::Root() const { return JsonField(this, &root_, ""); }

void JsonDocument::Fail(const std::string& why) const {
  throw Error(kErrInvalidArgument, source_, "无法读取" + what_ + "：" + why);
}

void JsonField::Fail(const std::string& why) const { document_->Fail(why); }

void JsonField::Wrong(const char* type) const {
  Fail(where_.empty() ? document_->what_ + "应为 JSON 对象" : "字段“" + where_ + "”应为" + type);
}

const Json& JsonField::Object() const {
  if (value_->type() != Json::Type::kObject) Wrong("对象");
  return *value_;
}

bool JsonField::Has(std::string_view name) const { return Object().Has(name); }

JsonField JsonField::operator[](std::string_view name) const {
  const Json& object = Object();
  const std::string where = where_.empty() ? std::string(name) : where_ + "." + std::string(name);
  for (const auto& [member, value] : object.members()) {
    if (member == name) return JsonField(document_, &value, where);
  }
  Fail("缺少字段“" + where + "”");
}

std::vector<JsonField> JsonField::Items() const {
  if (value_->type() != Json::Type::kArray) Wrong("数组");
  std::vector<JsonField> items;
  items.reserve(value_->items().size());
  for (const Json& item : value_->items()) {
    items.push_back(JsonField(document_, &item, where_ + "[" + std::to_string(items.size()) + "]"));
  }
  return items;
}

std::string JsonField::Text() const {
  if (value_->type() != Json::Type::kString) Wrong("字符串");
  return value_->text();
}

std::string JsonField::TextOrNull() const { return IsNull() ? std::string() : Text(); }

bool JsonField::Boolean() const {
  if (value_->type() != Json::Type::kBool) Wrong("true 或 false");
  return value_->boolean();
}

double JsonField::Number() const {
  if (!value_->is_number()) Wrong("数字");
  const std::string text = value_->number_text();
  double d = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), d);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(d)) {
    Fail("字段“" + where_ + "”的值超出范围");
  }
  return d;
}

std::int64_t JsonField::Integer(std::int64_t low, std::int64_t high) const {
  if (value_->type() == Json::Type::kNumber && value_->number_text().find_first_of(".eE") == std::string::npos) {
    Fail("字段“" + where_ + "”的值超出范围");  // a whole number past 64 bits
  }
  if (value_->type() != Json::Type::kInteger) Wrong("整数");
  const std::int64_t n = value_->integer();
  if (n < low || n > high) Fail("字段“" + where_ + "”的值超出范围");
  return n;
}

std::int64_t JsonField::Money() const {
  const std::string text = Text();
  std::int64_t units = 0;
  if (!ParseCurrency(text, &units)) Fail("字段“" + where_ + "”不是金额：“" + text + "”");
  return units;
}

}  // namespace com
