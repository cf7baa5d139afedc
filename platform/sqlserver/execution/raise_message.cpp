// RAISERROR's formatting, conversion by conversion.
#include "platform/sqlserver/execution/raise_message.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "platform/sqlserver/errors.h"

namespace sqlsrv {
namespace {

// The longest message, in characters, and what a longer one keeps.
constexpr std::size_t kMaxMessage = 2047;
constexpr std::size_t kKeptOfLonger = 2044;
// Widths and precisions past this change nothing a message keeps; the
// text stops growing once it holds this many bytes (2,048 characters
// take at most four bytes each).
constexpr int kMaxField = 4096;
constexpr std::size_t kEnoughBytes = 4 * (kMaxMessage + 1);

constexpr const char* kIntegerTypes[] = {"tinyint", "smallint", "int", "bigint"};
constexpr const char* kTextTypes[] = {"char", "varchar", "nchar", "nvarchar", "text", "ntext"};

bool OneOf(const std::string& type, const auto& names) {
  return std::find(std::begin(names), std::end(names), type) != std::end(names);
}

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The first `n` characters of UTF-8 text (all of it when shorter); `count`
// receives how many it has in all, counted up to n + 1.
std::string_view FirstCharacters(std::string_view text, std::size_t n, std::size_t* count = nullptr) {
  std::size_t chars = 0, i = 0, cut = text.size();
  for (; i < text.size(); ++i) {
    if (IsContinuation(text[i])) continue;
    if (chars == n) {
      cut = i;
      ++chars;
      break;
    }
    ++chars;
  }
  if (count) *count = chars;
  return text.substr(0, cut);
}

struct Conversion {
  bool left = false, plus = false, zero = false, alternate = false, blank = false;
  int width = 0;
  int precision = -1;
  bool half = false;   // h: a short
  bool wide = false;   // I64: 64 bits
  char type = 0;
};

class Formatter {
 public:
  Formatter(std::string_view format, const std::vector<RaiseArgument>& arguments)
      : format_(format), arguments_(arguments) {}

  std::string Run() {
    for (std::size_t i = 0; i < format_.size() && out_.size() < kEnoughBytes;) {
      if (format_[i] != '%') {
        out_ += format_[i++];
        continue;
      }
      if (i + 1 < format_.size() && format_[i + 1] == '%') {
        out_ += '%';
        i += 2;
        continue;
      }
      i = Convert(i);
    }
    std::size_t chars = 0;
    const std::string_view kept = FirstCharacters(out_, kMaxMessage, &chars);
    if (chars <= kMaxMessage) return std::string(kept);
    return std::string(FirstCharacters(out_, kKeptOfLonger)) + "...";
  }

 private:
  [[noreturn]] void Invalid(std::size_t from, std::size_t to) const {
    const std::size_t end = std::min(to + 1, format_.size());
    throw SqlErr(kRaiseFormat, "Invalid format: '" + std::string(format_.substr(from, end - from)) + "'.");
  }

  // The next argument, or null when none is left.
  const RaiseArgument* Next() { return next_ < arguments_.size() ? &arguments_[next_++] : nullptr; }

  // A width or precision given as '*': the next argument's value.
  int Star() {
    const std::size_t position = next_ + 1;
    const RaiseArgument* a = Next();
    if (!a || a->value.IsNull()) return 0;
    if (!OneOf(a->type, kIntegerTypes)) Mismatch(position);
    return static_cast<int>(std::clamp<std::int64_t>(a->value.ToInt64(), -kMaxField, kMaxField));
  }

  [[noreturn]] static void Mismatch(std::size_t position) {
    throw SqlErr(kRaiseFormatType, "The data type of substitution parameter " + std::to_string(position) +
                                       " does not match the type its format expects.");
  }

  // Reads the conversion starting at `at` (its '%') and writes its value;
  // returns where the text goes on.
  std::size_t Convert(std::size_t at) {
    Conversion c;
    std::size_t i = at + 1;
    for (; i < format_.size(); ++i) {
      const char f = format_[i];
      if (f == '-') c.left = true;
      else if (f == '+') c.plus = true;
      else if (f == '0') c.zero = true;
      else if (f == '#') c.alternate = true;
      else if (f == ' ') c.blank = true;
      else break;
    }
    auto number = [&](int* into) {
      if (i < format_.size() && format_[i] == '*') {
        ++i;
        *into = Star();
        return;
      }
      int n = 0;
      while (i < format_.size() && format_[i] >= '0' && format_[i] <= '9') {
        n = std::min(kMaxField, n * 10 + (format_[i++] - '0'));
      }
      *into = n;
    };
    number(&c.width);
    if (c.width < 0) {
      c.left = true;
      c.width = -c.width;
    }
    if (i < format_.size() && format_[i] == '.') {
      ++i;
      number(&c.precision);
      if (c.precision < 0) c.precision = -1;
    }
    if (i < format_.size() && (format_[i] == 'h' || format_[i] == 'l')) {
      c.half = format_[i] == 'h';
      ++i;
    } else if (format_.compare(i, 3, "I64") == 0) {
      c.wide = true;
      i += 3;
    }
    if (i >= format_.size()) Invalid(at, format_.size());
    c.type = format_[i];
    if (std::string_view("diuoxXs").find(c.type) == std::string_view::npos) Invalid(at, i);
    const std::size_t position = next_ + 1;
    const RaiseArgument* a = Next();
    if (!a || a->value.IsNull()) {
      Pad(c, "(null)");
    } else if (c.type == 's') {
      if (!OneOf(a->type, kTextTypes)) Mismatch(position);
      std::string_view text = a->value.text();
      if (c.precision >= 0) text = FirstCharacters(text, static_cast<std::size_t>(c.precision));
      Pad(c, std::string(text));
    } else {
      if (!OneOf(a->type, kIntegerTypes)) Mismatch(position);
      Integer(c, a->value.ToInt64());
    }
    return i + 1;
  }

  void Integer(const Conversion& c, std::int64_t v) {
    if (c.half) v = static_cast<std::int16_t>(v);
    else if (!c.wide) v = static_cast<std::int32_t>(v);
    std::string sign, prefix, digits;
    if (c.type == 'd' || c.type == 'i') {
      const std::uint64_t magnitude = v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
      digits = std::to_string(magnitude);
      sign = v < 0 ? "-" : c.plus ? "+" : c.blank ? " " : "";
    } else {
      // Unsigned: the bits of the value in its size.
      std::uint64_t u = static_cast<std::uint64_t>(v);
      if (c.half) u &= 0xFFFF;
      else if (!c.wide) u &= 0xFFFFFFFF;
      const int base = c.type == 'u' ? 10 : c.type == 'o' ? 8 : 16;
      const char* glyphs = c.type == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
      do {
        digits.insert(digits.begin(), glyphs[u % static_cast<std::uint64_t>(base)]);
        u /= static_cast<std::uint64_t>(base);
      } while (u != 0);
      if (c.alternate && digits != "0") prefix = c.type == 'o' ? "0" : c.type == 'x' ? "0x" : c.type == 'X' ? "0X" : "";
    }
    // A precision is the fewest digits.
    if (c.precision > static_cast<int>(digits.size())) {
      digits.insert(0, static_cast<std::size_t>(c.precision) - digits.size(), '0');
    }
    const std::size_t body = sign.size() + prefix.size() + digits.size();
    if (c.zero && !c.left && c.precision < 0 && static_cast<std::size_t>(c.width) > body) {
      digits.insert(0, static_cast<std::size_t>(c.width) - body, '0');
    }
    Pad(c, sign + prefix + digits);
  }

  // Writes `text` in a field of the conversion's width.
  void Pad(const Conversion& c, const std::string& text) {
    std::size_t chars = 0;
    FirstCharacters(text, static_cast<std::size_t>(c.width), &chars);
    const std::size_t fill = static_cast<std::size_t>(c.width) > chars ? static_cast<std::size_t>(c.width) - chars : 0;
    if (!c.left) out_.append(fill, ' ');
    out_ += text;
    if (c.left) out_.append(fill, ' ');
  }

  std::string_view format_;
  const std::vector<RaiseArgument>& arguments_;
  std::size_t next_ = 0;
  std::string out_;
};

}  // namespace

std::string FormatRaiseMessage(std::string_view format, const std::vector<RaiseArgument>& arguments) {
  for (std::size_t k = 0; k < arguments.size(); ++k) {
    const std::string& type = arguments[k].type;
    if (type != "NULL" && !OneOf(type, kIntegerTypes) && !OneOf(type, kTextTypes)) {
      throw SqlErr(kRaiseArgumentType, "Cannot specify " + type + " data type (parameter " + std::to_string(k + 4) +
                                           ") as a substitution parameter.");
    }
  }
  return Formatter(format, arguments).Run();
}

}  // namespace sqlsrv
