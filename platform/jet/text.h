// Text as Jet stores it, to UTF-8.
#pragma once

#include <cstddef>
#include <string>

#include "platform/com/unicode.h"

namespace jet {

// Decodes Jet 4 text: UTF-16LE, or Unicode-compressed when it starts with
// the bytes FF FE (then runs alternate between one byte per character and
// UTF-16LE, each 00 byte switching). Unpaired surrogates become U+FFFD.
void DecodeJet4Text(const unsigned char* data, std::size_t size, std::string* utf8);

using com::CodePage;
using com::IsValidUtf8;
using com::Utf16LeToUtf8;
using com::Utf8ToUtf16;

}  // namespace jet
