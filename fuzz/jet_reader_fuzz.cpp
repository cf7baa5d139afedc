// Fuzzes the Jet reader with whole files: the input is written to a memory
// file, opened (and, when it asks for a password, again with the seeds' one),
// and read entirely: the catalog, every table's columns and every row.
// A damaged file must end in com::Error; anything else is a finding.
#ifndef _WIN32
#include <sys/mman.h>
#include <unistd.h>
#endif

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/com/error.h"
#include "platform/dts/driver.h"
#include "platform/jet/header.h"
#include "platform/jet/reader.h"
#include "platform/port/files.h"
#include "platform/port/system.h"

// ASan keeps 256 MB of freed memory by default; with a corpus of whole
// files in memory that leaves too little under the fuzzing run's 512 MB.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=64"; }

namespace {

// Tables read from one input: enough for any seed, and a damaged catalog
// naming thousands cannot turn one input into a slow one.
constexpr std::size_t kMaxTables = 64;

#ifdef _WIN32
// One file in the temporary folder for the process, rewritten for each
// input (Windows has no memory files with a path).
const std::string& InputPath() {
  static const std::string path =
      port::TemporaryFolder() + "/jet_reader_fuzz-" + std::to_string(port::ProcessId()) + ".mdb";
  return path;
}

void WriteInput(const std::uint8_t* data, std::size_t size) {
  std::ofstream out(port::PathFromUtf8(InputPath()), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!out.flush()) std::abort();
}
#else
// One memory file for the process, rewritten for each input.
const std::string& InputPath() {
  static const std::string path = [] {
    const int fd = memfd_create("jet_reader_fuzz", 0);
    if (fd < 0) std::abort();
    return "/proc/self/fd/" + std::to_string(fd);
  }();
  return path;
}

void WriteInput(const std::uint8_t* data, std::size_t size) {
  const int fd = std::stoi(InputPath().substr(InputPath().rfind('/') + 1));
  if (ftruncate(fd, 0) != 0) std::abort();
  for (std::size_t done = 0; done < size;) {
    const ssize_t n = pwrite(fd, data + done, size - done, static_cast<off_t>(done));
    if (n <= 0) std::abort();
    done += static_cast<std::size_t>(n);
  }
}

#endif

void ReadAll(jet::Database& db, const std::string& table) {
  try {
    db.TableColumns(table);
    auto reader = db.Query("select * from [" + table + "]");
    dts::Row row;
    while (reader->Next(row)) {
      for (const auto& value : row) (void)value.IsNull();
    }
  } catch (const com::Error&) {
  }
}

void Open(const std::string& password) {
  jet::Database db(InputPath(), {.password = password});
  ReadAll(db, "MSysObjects");
  const std::vector<std::string> tables = db.TableNames();
  for (std::size_t i = 0; i < tables.size() && i < kMaxTables; ++i) ReadAll(db, tables[i]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  WriteInput(data, size);
  try {
    Open("");
  } catch (const com::Error& e) {
    if (e.number() != jet::kErrBadPassword) return 0;
    try {
      Open("password");  // the password of the password-protected seed
    } catch (const com::Error&) {
    }
  }
  return 0;
}
