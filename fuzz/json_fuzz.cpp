// Fuzzes the JSON reader the reports and fix records are read with: each
// input is a document. A fault is an answer (com::Error); a document read
// must be written again, in the files' layout and on one line, as text
// that reads back to the same value. Anything else (a crash, a sanitizer
// report, another exception, a value that does not come back) is a
// finding.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "platform/com/error.h"
#include "platform/com/json.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  com::Json value;
  try {
    value = com::Json::Parse(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const com::Error&) {
    return 0;
  }
  if (com::Json::Parse(com::WriteJson(value)) != value || com::Json::Parse(com::CompactJson(value)) != value) {
    std::fputs("a document read does not read back the same once written\n", stderr);
    std::abort();
  }
  return 0;
}
