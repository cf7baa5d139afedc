#include "platform/jet/writer_file.h"

#include "platform/com/error.h"
#include "platform/jet/writer.h"

namespace jet::wr {
namespace {

constexpr std::int32_t kErrIo = com::ErrorNumber(0x80004005u);  // E_FAIL

}  // namespace

PageFile::PageFile(const std::string& path, bool create_new) : path_(path) {
  port::OsError error;
  if (!file_.Open(path, create_new ? port::File::Mode::kCreateNew : port::File::Mode::kCreateOrTruncate, &error)) {
    if (create_new && error.exists) {
      throw com::Error(kErrFileExists, "Jet.Writer",
                       "Jet file '" + path_ + "' already exists; it is left as it is and nothing is written");
    }
    Fail("cannot create the file", &error);
  }
}

PageFile::~PageFile() {
  if (!committed_) {
    file_ = port::File();
    port::RemoveFile(path_, nullptr);
  }
}

void PageFile::Fail(const std::string& what, const port::OsError* error) const {
  std::string description = "Jet file '" + path_ + "': " + what;
  if (error && !error->text.empty()) description += ": " + error->text;
  throw com::Error(kErrIo, "Jet.Writer", description);
}

std::uint32_t PageFile::Allocate(std::uint32_t count) {
  if (count > kMaxPages - pages_) Fail("the database would grow past the 2 GB limit of a Jet 4 file");
  const std::uint32_t first = pages_;
  pages_ += count;
  return first;
}

void PageFile::Write(std::uint32_t page, const Page& data) {
  if (!file_.is_open() || page >= pages_) {
    Fail("internal error: write to page " + std::to_string(page) + " that was not allocated");
  }
  port::OsError error;
  if (!file_.WriteAt(static_cast<std::uint64_t>(page) * kPageSize, data.data(), kPageSize, &error)) {
    Fail("write failed", &error);
  }
}

void PageFile::Commit() {
  // Pages are all written by now; the size is set anyway so that the file
  // is exactly page_count() pages long.
  port::OsError error;
  if (!file_.Truncate(static_cast<std::uint64_t>(pages_) * kPageSize, &error)) Fail("cannot set the file size", &error);
  if (!file_.Sync(&error)) Fail("cannot flush the file", &error);
  if (!file_.Close(&error)) Fail("cannot close the file", &error);
  committed_ = true;
}

}  // namespace jet::wr
