// Reads the stock table of a large sample with our Jet reader and with
// mdb-export, and prints rows per second and peak memory of each.
//
//   jet_read_bench [--scale 1000] [--file sample.mdb]
//
// Without --file it writes (once) a sample of the given scale under
// $TMPDIR/korvel-bench/.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/bench_util.h"
#include "platform/dts/driver.h"
#include "platform/jet/reader.h"

namespace {

// Child mode: read every row of a table through the reader, print the count.
int ReadAll(const std::string& file, const std::string& table) {
  jet::Database db(file);
  auto reader = db.Query("select * from `" + table + "`");
  dts::Row row;
  long long n = 0;
  while (reader->Next(row)) ++n;
  std::printf("%lld\n", n);
  return 0;
}

// The number the child printed into `path`.
long long ReadCount(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "r");
  long long n = 0;
  if (f && std::fscanf(f, "%lld", &n) != 1) n = 0;
  if (f) std::fclose(f);
  return n;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--child-read") == 0) return ReadAll(argv[2], argv[3]);
  int scale = 1000;
  std::string file;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--scale") == 0) scale = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--file") == 0) file = argv[i + 1];
  }
  const std::string bin = bench::SelfFolder();
  if (file.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    const std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/korvel-bench";
    mkdir(dir.c_str(), 0755);
    file = dir + "/sample-" + std::to_string(scale) + ".mdb";
    struct stat st {};
    if (stat(file.c_str(), &st) != 0) {
      std::printf("writing a scale-%d sample to %s ...\n", scale, file.c_str());
      const auto w = bench::Run({bin + "/korvel", "sample", "--quiet", "--out", file, "--scale", std::to_string(scale)});
      if (w.exit_code != 0) return 1;
      std::printf("  written in %.1f s, peak memory %ld MiB\n", w.seconds, w.peak_rss_kb / 1024);
    }
  }
  const std::string table = "bBalance";
  const std::string out = file + ".rows";
  const auto ours = bench::Run({bin + "/jet_read_bench", "--child-read", file, table}, out);
  const long long rows = ReadCount(out);
  const auto tsv = bench::Run({bin + "/korvel", "query", "--mdb", file, "select * from `" + table + "`"}, out);
  const auto mdb = bench::Run({"mdb-export", file, table}, out);
  std::remove(out.c_str());
  if (ours.exit_code != 0 || tsv.exit_code != 0 || mdb.exit_code != 0) {
    std::fprintf(stderr, "a reader failed (exit %d, %d, %d)\n", ours.exit_code, tsv.exit_code, mdb.exit_code);
    return 1;
  }
  std::printf("table %s of %s: %lld rows\n", table.c_str(), file.c_str(), rows);
  std::printf("%-28s %10s %14s %12s\n", "reader", "seconds", "rows/second", "peak MiB");
  auto line = [&](const char* name, const bench::ChildRun& r) {
    std::printf("%-28s %10.2f %14.0f %12.1f\n", name, r.seconds, rows / r.seconds, r.peak_rss_kb / 1024.0);
  };
  line("jet::Database (rows only)", ours);
  line("korvel query (TSV)", tsv);
  line("mdb-export (CSV)", mdb);
  return 0;
}
