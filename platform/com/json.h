// JSON, written and read by one library: the reports and the records of
// corrected copies are built as values and written in the layout their
// files have; they are read back strictly (well-formed UTF-8 JSON, no
// duplicate member, nothing after the value, nesting held to a limit),
// every fault of a field named by where it is ("steps[2].rows_read").
#pragma once

#include <cstdint>
#include <initializer_list>
#include <iosfwd>
#include <limits>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace com {

// A JSON value: null, a bool, an integer (64 bits), a number kept as the
// text it was written with (so nothing is lost to a double), a string
// (UTF-8), an array, or an object whose members keep the order they were
// added in.
class Json {
 public:
  enum class Type { kNull, kBool, kInteger, kNumber, kString, kArray, kObject };
  using Member = std::pair<std::string, Json>;

  // Arrays and objects a document may nest before it is refused.
  static constexpr int kMaxDepth = 200;

  Json() = default;  // null
  static Json Bool(bool value);
  static Json Integer(std::int64_t value);
  // A number as JSON writes it ("12345678901234.5678", "1e-05"); raises
  // com::Error when `text` is not one.
  static Json Number(std::string_view text);
  static Json String(std::string value);
  static Json Array();
  static Json Object();

  // Parses a whole document. Raises com::Error "不是有效的 JSON（第 N 个字节处：…）"
  // naming the byte (counted from 1) where the first fault is.
  static Json Parse(std::string_view text);

  // Appends to an array; returns the array, to chain.
  Json& Push(Json value);
  // Appends a member to an object; raises com::Error when it has one of that
  // name already. Returns the object, to chain.
  Json& Add(std::string name, Json value);

  Type type() const { return type_; }
  bool is_null() const { return type_ == Type::kNull; }
  bool is_integer() const { return type_ == Type::kInteger; }
  bool is_number() const { return type_ == Type::kInteger || type_ == Type::kNumber; }

  // The value of a bool, an integer or a string; a number's text (an
  // integer's too). Each raises com::Error when the value is of another type.
  bool boolean() const;
  std::int64_t integer() const;
  const std::string& text() const;
  std::string number_text() const;
  // An array's items, an object's members (in their order).
  const std::vector<Json>& items() const;
  const std::vector<Member>& members() const;
  // Whether an object has the member; the member, or com::Error when it has
  // none of that name.
  bool Has(std::string_view name) const;
  const Json& operator[](std::string_view name) const;

  friend bool operator==(const Json&, const Json&) = default;

 private:
  friend class JsonParser;
  Type type_ = Type::kNull;
  bool boolean_ = false;
  std::int64_t integer_ = 0;
  std::string text_;  // a string's value, or a number as written
  std::vector<Json> items_;
  std::vector<Member> members_;
};

// The value as a file holds it, UTF-8 ending in a line break. An object or
// an array that holds another one opens onto lines of their own, indented
// by two blanks a level; one that holds only plain values, and everything
// inside an array's item, stays on one line ({"a": 1, "b": [2, 3]}).
// Strings escape '"', '\\' and the control characters, nothing else.
std::string WriteJson(const Json& value);
// The value on one line, as an array's item is written.
std::string CompactJson(const Json& value);
std::ostream& operator<<(std::ostream& out, const Json& value);

class JsonField;

// A document read as `what` ("报告"), for its fields to be read with the
// place of each fault named. Raises com::Error (from `source`) saying
// "无法读取<what>：" and why: the parse's fault, or a field's.
class JsonDocument {
 public:
  JsonDocument(std::string_view text, std::string what, std::string source);
  JsonDocument(const JsonDocument&) = delete;
  JsonDocument& operator=(const JsonDocument&) = delete;

  // The document's value; an accessor raises "<what>应为 JSON 对象" when
  // it is not of the type asked.
  JsonField Root() const;

 private:
  friend class JsonField;
  [[noreturn]] void Fail(const std::string& why) const;

  Json root_;
  std::string what_, source_;
};

// One value of a JsonDocument and where it is ("steps[2].rows_read"). It
// points into the document, which must outlive it. Every accessor raises
// com::Error naming the field when the value is not what it asks for.
class JsonField {
 public:
  const std::string& where() const { return where_; }
  const Json& value() const { return *value_; }

  // An object's member: "缺少字段“where”" when there is none.
  bool Has(std::string_view name) const;
  JsonField operator[](std::string_view name) const;
  // An array's items, each named by its index.
  std::vector<JsonField> Items() const;

  bool IsNull() const { return value_->is_null(); }
  std::string Text() const;
  // A string, or "" for null.
  std::string TextOrNull() const;
  bool Boolean() const;
  double Number() const;
  // A number without a fraction or an exponent within [low, high].
  std::int64_t Integer(std::int64_t low = std::numeric_limits<std::int64_t>::min(),
                       std::int64_t high = std::numeric_limits<std::int64_t>::max()) const;
  // A money amount: a string of ten-thousandths (com::ParseCurrency).
  std::int64_t Money() const;
  // The value of the name the string holds; raises naming the string when it is none of `names`.
  template <typename T>
  T OneOf(std::initializer_list<std::pair<const char*, T>> names) const {
    const std::string text = Text();
    for (const auto& [name, value] : names) {
      if (text == name) return value;
    }
    Fail("字段“" + where_ + "”的值“" + text + "”无效");
  }

  // Raises com::Error "无法读取<what>：" + why.
  [[noreturn]] void Fail(const std::string& why) const;

 private:
  friend class JsonDocument;
  JsonField(const JsonDocument* document, const Json* value, std::string where)
      : document_(document), value_(value), where_(std::move(where)) {}
  [[noreturn]] void Wrong(const char* type) const;
  const Json& Object() const;

  const JsonDocument* document_;
  const Json* value_;
  std::string where_;
};

}  // namespace com
