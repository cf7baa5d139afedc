// Runs a fuzzing harness over every file of a corpus folder once, in name
// order: the corpus replay of the ordinary builds. A crash or sanitizer
// report fails the run; so does an empty folder, which would test nothing,
// and so does anything an input makes the code print on stderr: what the
// system reads reports its faults by its errors, never by printing.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s CORPUS_FOLDER\n", argv[0]);
    return 2;
  }
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(argv[1], ec)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  if (ec || files.empty()) {
    std::fprintf(stderr, "%s: no inputs in %s\n", argv[0], argv[1]);
    return 1;
  }
  std::sort(files.begin(), files.end());
  // stderr goes to a scratch file while each input runs.
  std::FILE* scratch = std::tmpfile();
  const int saved_stderr = ::dup(2);
  if (!scratch || saved_stderr < 0) {
    std::fprintf(stderr, "%s: cannot capture stderr\n", argv[0]);
    return 1;
  }
  const int printed = ::fileno(scratch);
  int printing = 0;
  for (const auto& file : files) {
    std::ifstream in(file, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::fflush(stderr);
    if (::ftruncate(printed, 0) != 0 || ::lseek(printed, 0, SEEK_SET) != 0 || ::dup2(printed, 2) < 0) return 1;
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    std::fflush(stderr);
    ::dup2(saved_stderr, 2);
    const off_t size = ::lseek(printed, 0, SEEK_END);
    if (size > 0) {
      ++printing;
      std::string text(static_cast<std::size_t>(size), '\0');
#ifdef _WIN32
      const int got = ::lseek(printed, 0, SEEK_SET) == 0 ? ::read(printed, text.data(), static_cast<unsigned>(size)) : -1;
#else
      const ssize_t got = ::pread(printed, text.data(), text.size(), 0);
#endif
      text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
      std::fprintf(stderr, "%s printed on stderr:\n%s\n", file.string().c_str(), text.c_str());
    }
  }
  std::fclose(scratch);
  ::close(saved_stderr);
  std::printf("%zu inputs replayed\n", files.size());
  return printing == 0 ? 0 : 1;
}
