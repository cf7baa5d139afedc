#include "tests/support/json.h"

#include <cstdio>
#include <sstream>
#include <stdexcept>

#include "platform/com/unicode.h"

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
          com::AppendUtf8(cp, &out);
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

std::string Json::Dump() const {
  auto quoted = [](const std::string& t) {
    std::string out = "\"";
    for (const char c : t) {
      if (c == '"' || c == '\\') out += '\\';
      out += c;
    }
    return out + "\"";
  };
  switch (type_) {
    case Type::kNull: return "null";
    case Type::kBool: return boolean_ ? "true" : "false";
    case Type::kNumber: return text_;
    case Type::kString: return quoted(text_);
    case Type::kArray: {
      std::string out = "[";
      for (const Json& item : items_) out += (out.size() > 1 ? ", " : "") + item.Dump();
      return out + "]";
    }
    case Type::kObject: break;
  }
  std::string out = "{";
  for (const auto& [key, value] : members_) out += (out.size() > 1 ? ", " : "") + quoted(key) + ": " + value.Dump();
  return out + "}";
}

}  // namespace testing_support
