// T-SQL's LIKE: patterns with '%' (any run of characters), '_' (any one
// character), [abc], [a-c] and [^abc] (one character in, or not in, a set),
// and an ESCAPE character that makes the next character stand for itself.
#pragma once

#include <optional>
#include <string_view>

namespace sqlsrv {

// Whether `value` matches `pattern`, characters being UTF-16 code units as
// SQL Server's are; ASCII letters match either case unless
// `case_sensitive`. A '[' that no ']' closes stands for itself. Takes time
// proportional to the lengths' product at most, whatever the pattern.
bool LikeMatches(std::u16string_view value, std::u16string_view pattern, bool case_sensitive,
                 std::optional<char16_t> escape = std::nullopt);

}  // namespace sqlsrv
