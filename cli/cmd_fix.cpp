// korvel fix: a corrected copy of a 5.6 file from the fix list the check
// wrote and the operator filled in (library/assurance/source_fix.h).
#include <chrono>
#include <cstdio>

#include "cli/args.h"
#include "cli/commands.h"
#include "library/assurance/fix_list.h"
#include "library/assurance/source_fix.h"

namespace cli {
namespace {

std::string Shown(const std::optional<std::string>& value) { return value ? "“" + *value + "”" : "NULL"; }

void PrintChanges(const assurance::FixRecord& r) {
  std::printf("已写入修正后的副本 %s，共 %zu 处修改：\n", r.copy.path.c_str(), r.changes.size());
  for (const auto& c : r.changes) {
    std::printf("  %s 第 %lld 行%s：", c.table.c_str(), static_cast<long long>(c.row),
                c.key.empty() ? "" : ("（" + c.key + "）").c_str());
    if (c.removed) {
      std::printf("删除整行\n");
    } else {
      std::printf("列“%s”由 %s 改为 %s\n", c.column.c_str(), Shown(c.old_value).c_str(), Shown(c.new_value).c_str());
    }
  }
  std::printf("源文件 %s\n  SHA-256 %s（未改动）\n副本 %s\n  SHA-256 %s\n修正记录 %s\n", r.source.path.c_str(),
              r.source.sha256.c_str(), r.copy.path.c_str(), r.copy.sha256.c_str(),
              assurance::FixRecordPath(r.copy.path).c_str());
}

}  // namespace

int CmdFix(const Args& args) {
  const std::string source = args.Require("source");
  const std::string list = args.Require("fixes");
  const std::string out = args.Require("out");
  jet::OpenOptions options;
  options.password = ReadPassword(args, "source-password");
  const std::vector<assurance::FixLine> lines = assurance::ParseFixList(ReadTextFile(list));
  std::size_t changing = 0;
  for (const auto& l : lines) changing += l.action != assurance::FixAction::kNone;
  std::printf("修正清单 %s：%zu 行，其中 %zu 行要修改\n", list.c_str(), lines.size(), changing);
  std::fflush(stdout);

  auto last = std::chrono::steady_clock::now();
  const assurance::FixRecord record =
      assurance::FixSource(source, options, lines, list, out, [&](const std::string& table, std::int64_t rows) {
        const auto now = std::chrono::steady_clock::now();
        if (now - last < std::chrono::seconds(2)) return;
        last = now;
        std::fprintf(stderr, "  复制 %s（已复制 %lld 行）\n", table.c_str(), static_cast<long long>(rows));
      });
  PrintChanges(record);
  return 0;
}

}  // namespace cli
