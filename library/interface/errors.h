// Error numbers the library and the wizard raise of their own.
#pragma once

#include <cstdint>

#include "platform/com/error.h"

namespace korvel {

// The wizard's validation errors: the component system's first user-defined
// error number.
inline constexpr std::int32_t kValidationError = com::kObjectError + 1;  // 0x80040001

}  // namespace korvel
