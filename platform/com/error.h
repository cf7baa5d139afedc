// The one error type of the system: a 32-bit number, a source and a
// description (UTF-8). Every layer raises it; the user is shown the
// description, logs and reports may add the number and the source.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace com {

// Makes a 32-bit error number from its usual hexadecimal spelling.
constexpr std::int32_t ErrorNumber(std::uint32_t hex) {
  return static_cast<std::int32_t>(hex);
}

// The component system's first user-defined error number (vbObjectError).
inline constexpr std::int32_t kObjectError = ErrorNumber(0x80040000u);

// Numbers the component system itself raises.
inline constexpr std::int32_t kErrClassNotRegistered = ErrorNumber(0x80040154u);
inline constexpr std::int32_t kErrNoInterface = ErrorNumber(0x80004002u);
inline constexpr std::int32_t kErrTypeMismatch = 13;            // as the automation runtime numbers it
inline constexpr std::int32_t kErrNoSuchProperty = 438;         // object doesn't support this property
inline constexpr std::int32_t kErrInvalidArgument = 5;          // invalid procedure call or argument
inline constexpr std::int32_t kErrItemNotFound = ErrorNumber(0x800A0CC1u);

class Error : public std::runtime_error {
 public:
  Error(std::int32_t number, std::string source, std::string description);

  std::int32_t number() const noexcept { return number_; }
  const std::string& source() const noexcept { return source_; }
  const std::string& description() const noexcept { return description_; }

  // "0x80040001" style spelling of the number.
  std::string HexNumber() const;

 private:
  std::int32_t number_;
  std::string source_;
  std::string description_;
};

}  // namespace com
