// Reads the stock table of two samples, of a scale and a tenth of it, with
// our Jet reader and with libmdb (the library mdbtools is built on, cutting
// each row into its values, then, bound, also making each value text as
// mdb-export does, printing nothing), and the larger one with korvel query
// and mdb-export too. Prints rows per second and peak memory of each: the
// reader's memory should not grow with the table.
//
//   jet_read_bench [--scale 1000] [--file sample.mdb] [--before FOLDER]
//
// Without --file it writes (once) samples of the given scale and a tenth of
// it under $TMPDIR/korvel-bench/; with --file it reads that file alone.
// --before names the bin folder of an earlier build: its jet_read_bench
// reads the same files too, the reader as it was, in the same run.
// glib first: mdbtools.h includes it inside extern "C", where its C++
// parts cannot be declared.
#include <glib.h>
#include <mdbtools.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "platform/dts/driver.h"
#include "platform/jet/reader.h"

namespace {

constexpr char kTable[] = "bBalance";

// Child mode: read every row of a table through our reader, print the count.
int ReadOurs(const std::string& file) {
  jet::Database db(file);
  auto reader = db.Query(std::string("select * from `") + kTable + "`");
  dts::Row row;
  long long n = 0;
  while (reader->Next(row)) ++n;
  std::printf("%lld\n", n);
  return 0;
}

// Child mode: the same through libmdb, each row cut into its values and,
// when `bound`, every value made text in a buffer of its column.
int ReadLibmdb(const std::string& file, bool bound) {
  struct Closer {
    void operator()(MdbHandle* h) const { mdb_close(h); }
    void operator()(MdbTableDef* t) const { mdb_free_tabledef(t); }
  };
  std::unique_ptr<MdbHandle, Closer> mdb(mdb_open(file.c_str(), MDB_NOFLAGS));
  if (!mdb || !mdb_read_catalog(mdb.get(), MDB_TABLE)) return 1;
  std::unique_ptr<MdbTableDef, Closer> table(mdb_read_table_by_name(mdb.get(), const_cast<char*>(kTable), MDB_TABLE));
  if (!table) return 1;
  mdb_read_columns(table.get());
  mdb_rewind_table(table.get());
  std::vector<std::vector<char>> values(table->num_cols, std::vector<char>(MDB_BIND_SIZE));
  std::vector<int> lengths(table->num_cols);
  for (unsigned i = 0; bound && i < table->num_cols; ++i) {
    mdb_bind_column(table.get(), static_cast<int>(i + 1), values[i].data(), &lengths[i]);
  }
  long long n = 0;
  while (mdb_fetch_row(table.get())) ++n;
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

// A sample of `scale` under $TMPDIR/korvel-bench/, written once.
std::string Sample(const std::string& bin, int scale) {
  const char* tmp = std::getenv("TMPDIR");
  const std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/korvel-bench";
  mkdir(dir.c_str(), 0755);
  const std::string file = dir + "/sample-" + std::to_string(scale) + ".mdb";
  struct stat st {};
  if (stat(file.c_str(), &st) != 0) {
    std::printf("writing a scale-%d sample to %s ...\n", scale, file.c_str());
    const auto w = bench::Run({bin + "/korvel", "sample", "--quiet", "--out", file, "--scale", std::to_string(scale)});
    if (w.exit_code != 0) std::exit(1);
  }
  return file;
}

struct Measured {
  const char* reader;
  bench::ChildRun run;
  long long rows;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--child-read") == 0) {
    if (std::strcmp(argv[3], "libmdb") == 0) return ReadLibmdb(argv[2], false);
    if (std::strcmp(argv[3], "libmdb-bound") == 0) return ReadLibmdb(argv[2], true);
    return ReadOurs(argv[2]);
  }
  int scale = 1000;
  std::string file, before;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--scale") == 0) scale = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--file") == 0) file = argv[i + 1];
    if (std::strcmp(argv[i], "--before") == 0) before = argv[i + 1];
  }
  const std::string bin = bench::SelfFolder();
  std::vector<std::string> files;
  if (file.empty()) {
    if (scale >= 10) files.push_back(Sample(bin, scale / 10));
    files.push_back(Sample(bin, scale));
  } else {
    files.push_back(file);
  }
  std::printf("%-44s %-30s %10s %8s %14s %9s\n", "file", "reader", "rows", "seconds", "rows/second", "peak MiB");
  bool failed = false;
  for (const std::string& f : files) {
    const std::string out = f + ".rows";
    std::vector<Measured> measured;
    auto measure = [&](const char* name, const std::vector<std::string>& command) {
      const auto run = bench::Run(command, out);
      measured.push_back({name, run, ReadCount(out)});
    };
    measure("ours: jet::Database", {bin + "/jet_read_bench", "--child-read", f, "ours"});
    // The earlier build's child reads (file, table).
    if (!before.empty()) measure("before: jet::Database", {before + "/jet_read_bench", "--child-read", f, kTable});
    measure("libmdb: rows cut", {bin + "/jet_read_bench", "--child-read", f, "libmdb"});
    const long long rows = measured[0].rows;
    if (&f == &files.back()) {
      measure("libmdb: rows cut, values text", {bin + "/jet_read_bench", "--child-read", f, "libmdb-bound"});
      const std::size_t printing = measured.size();
      measure("korvel query (TSV)", {bin + "/korvel", "query", "--mdb", f, std::string("select * from `") + kTable + "`"});
      measure("mdb-export (CSV)", {"mdb-export", f, kTable});
      for (std::size_t i = printing; i < measured.size(); ++i) measured[i].rows = rows;  // they print rows, not a count
    }
    std::remove(out.c_str());
    for (const Measured& m : measured) {
      if (m.run.exit_code != 0 || m.rows != rows) failed = true;
      std::printf("%-44s %-30s %10lld %8.2f %14.0f %9.1f%s\n", f.c_str(), m.reader, m.rows, m.run.seconds,
                  static_cast<double>(m.rows) / m.run.seconds, m.run.peak_rss_kb / 1024.0,
                  m.run.exit_code != 0 ? "  (failed)" : m.rows != rows ? "  (row count differs)" : "");
    }
  }
  return failed ? 1 : 0;
}
