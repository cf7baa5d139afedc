#include "platform/com/error.h"

#include <cstdio>

namespace com {

Error::Error(std::int32_t number, std::string source, std::string description)
    : std::runtime_error(description),
      number_(number),
      source_(std::move(source)),
      description_(std::move(description)) {}

std::string Error::HexNumber() const {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(number_));
  return buf;
}

}  // namespace com
