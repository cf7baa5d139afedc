// korvel sample and korvel mdb-write: make version 5.6 source files.
#include <cstdio>
#include <fstream>
#include <map>
#include <optional>

#include "cli/args.h"
#include "cli/commands.h"
#include "cli/sample.h"
#include "cli/source_schema.h"
#include "cli/tsv.h"
#include "platform/com/error.h"
#include "platform/jet/writer.h"
#include "platform/port/files.h"

namespace cli {
namespace {

int ParseInt(const std::string& text, const char* option) {
  try {
    std::size_t used = 0;
    const long v = std::stol(text, &used);
    if (used == text.size() && v >= 0 && v <= 1'000'000'000) return static_cast<int>(v);
  } catch (const std::exception&) {
  }
  throw com::Error(com::kErrInvalidArgument, "korvel", std::string("选项 --") + option + " 应为非负整数");
}


// Writes one table from a TSV file whose header names some of its columns.
long long WriteTableFromTsv(jet::Writer& writer, const jet::TableSchema& table, const std::string& path) {
  std::ifstream in(port::PathFromUtf8(path), std::ios::binary);
  if (!in) throw com::Error(com::kErrInvalidArgument, "korvel", "无法读取文件“" + path + "”");
  auto where = [&](long long line) { return path + " 第 " + std::to_string(line) + " 行："; };
  std::string line;
  if (!std::getline(in, line)) throw com::Error(com::kErrInvalidArgument, "korvel", path + " 是空文件，缺少表头");
  if (!line.empty() && line.back() == '\r') line.pop_back();
  std::vector<std::size_t> target;  // TSV field -> table column
  for (const auto& name : SplitTsvLine(line)) {
    std::size_t i = 0;
    while (i < table.columns.size() && (!name || table.columns[i].name != *name)) ++i;
    if (i == table.columns.size()) {
      throw com::Error(com::kErrInvalidArgument, "korvel",
                       where(1) + "表 " + table.name + " 没有列“" + name.value_or("\\N") + "”");
    }
    for (std::size_t t : target) {
      if (t == i) throw com::Error(com::kErrInvalidArgument, "korvel", where(1) + "列 " + *name + " 重复");
    }
    target.push_back(i);
  }
  writer.BeginTable(table);
  std::vector<com::Variant> row;
  long long line_no = 1, rows = 0;
  while (std::getline(in, line)) {
    ++line_no;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    try {
      const auto fields = SplitTsvLine(line);
      if (fields.size() != target.size()) {
        throw com::Error(com::kErrInvalidArgument, "korvel",
                         "应有 " + std::to_string(target.size()) + " 个字段，实有 " + std::to_string(fields.size()) + " 个");
      }
      row.assign(table.columns.size(), com::Variant::Null());
      for (std::size_t f = 0; f < fields.size(); ++f) row[target[f]] = ParseField(table.columns[target[f]], fields[f]);
      writer.AppendRow(row);
      ++rows;
    } catch (const com::Error& e) {
      throw com::Error(e.number(), e.source(), where(line_no) + e.description());
    }
  }
  writer.EndTable();
  return rows;
}

}  // namespace

int CmdSample(const Args& args) {
  const std::string out = args.Require("out");
  SampleOptions options;
  options.scale = ParseInt(args.Get("scale").value_or("1"), "scale");
  options.seed = static_cast<std::uint64_t>(ParseInt(args.Get("seed").value_or("56"), "seed"));
  options.password = ReadPassword(args, "password");
  const bool quiet = args.Has("quiet");
  long long total = 0;
  WriteSample(out, options, [&](const std::string& table, long long rows) {
    total += rows;
    if (!quiet) std::fprintf(stderr, "  %-12s %10lld 行\n", table.c_str(), rows);
  });
  if (!quiet) std::fprintf(stderr, "已写入 %s：共 %lld 行\n", out.c_str(), total);
  return 0;
}

int CmdMdbWrite(const Args& args) {
  const std::string out = args.Require("out");
  Schema custom;
  if (auto s = args.Get("schema")) custom = ParseSchema(ReadTextFile(*s), *s);
  const Schema& schema = args.Get("schema") ? custom : SourceSchema56();
  std::map<std::string, std::string> sources;  // table -> TSV file
  for (const auto& p : args.positional()) {
    const auto eq = p.find('=');
    if (eq == std::string::npos || eq == 0) {
      throw com::Error(com::kErrInvalidArgument, "korvel", "参数“" + p + "”应为 表名=文件.tsv");
    }
    const std::string table = p.substr(0, eq);
    if (!FindTable(schema, table)) throw com::Error(com::kErrInvalidArgument, "korvel", "架构中没有表 " + table);
    if (!sources.emplace(table, p.substr(eq + 1)).second) {
      throw com::Error(com::kErrInvalidArgument, "korvel", "表 " + table + " 给了两次");
    }
  }
  jet::Writer writer(out, {.password = ReadPassword(args, "password")});
  for (const auto& table : schema) {
    auto it = sources.find(table.name);
    if (it == sources.end()) {
      writer.BeginTable(table);
      writer.EndTable();
    } else {
      WriteTableFromTsv(writer, table, it->second);
    }
  }
  writer.Finish();
  return 0;
}

}  // namespace cli
