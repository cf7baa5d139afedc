// korvel: the command-line front end of the upgrade tool.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "cli/args.h"
#include "cli/commands.h"
#include "library/classes.h"
#include "platform/com/error.h"
#include "platform/port/files.h"
#include "platform/port/system.h"
#include "version.h"

namespace cli {

std::string ReadPassword(const Args& args, const std::string& option) {
  if (auto env = args.Get(option + "-env")) {
    const std::optional<std::string> v = port::GetEnv(*env);
    if (!v) throw com::Error(com::kErrInvalidArgument, "korvel", "环境变量 " + *env + " 没有设置");
    return *v;
  }
  auto v = args.Get(option);
  if (!v) return "";
  if (*v == "-") {
    std::string line;
    std::getline(std::cin, line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
  }
  return *v;
}

std::string ServerName(const Args& args) {
  const std::string given = args.Require("server");
  const auto first = given.find_first_not_of(" \t");
  if (first == std::string::npos) throw com::Error(com::kErrInvalidArgument, "korvel", "选项 --server 是空的");
  return given.substr(first, given.find_last_not_of(" \t") - first + 1);
}

std::string ReadTextFile(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(port::PathFromUtf8(path), ec)) {
    throw com::Error(com::kErrInvalidArgument, "korvel", "“" + path + "”是文件夹，不是文件");
  }
  std::ifstream in(port::PathFromUtf8(path), std::ios::binary);
  if (!in) throw com::Error(com::kErrInvalidArgument, "korvel", "无法读取文件“" + path + "”");
  std::string text;
  char buf[8192];
  while (in.read(buf, sizeof buf) || in.gcount() > 0) text.append(buf, static_cast<std::size_t>(in.gcount()));
  if (in.bad()) throw com::Error(com::kErrInvalidArgument, "korvel", "无法读取文件“" + path + "”");
  // A byte-order mark, as editors on Windows write one, is not text.
  if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);
  return text;
}

int CmdClasses(const Args&) {
  for (const auto& c : korvel::Classes()) {
    std::printf("%s.%s\t%s\n", std::string(korvel::kLibraryName).c_str(), std::string(c.class_name).c_str(),
                std::string(c.clsid).c_str());
  }
  return 0;
}

void ReportError(const char* command, const com::Error& e) {
  std::fflush(stdout);
  if (e.number() > 0 && e.number() < 100000) {
    std::fprintf(stderr, "korvel %s: 错误 %d (%s): %s\n", command, e.number(), e.source().c_str(), e.description().c_str());
  } else {
    std::fprintf(stderr, "korvel %s: 错误 %s (%s): %s\n", command, e.HexNumber().c_str(), e.source().c_str(),
                 e.description().c_str());
  }
}

}  // namespace cli

namespace {

struct Command {
  const char* name;
  int (*run)(const cli::Args&);
  // What the command accepts: options followed by a value, switches.
  std::set<std::string> valued;
  std::set<std::string> flags;
  const char* help;
  // The exit code of a failure the command does not turn into one itself.
  int failed = 1;
};

// The options of run, and of check, which goes through the run it checks.
const std::set<std::string> kRunOptions = {"model", "source",   "source-password", "source-password-env",
                                           "server", "user",     "password",        "password-env",
                                           "database", "report", "pdf"};

std::set<std::string> With(std::set<std::string> options, const std::string& more) {
  options.insert(more);
  return options;
}

const Command kCommands[] = {
    {"models", &cli::CmdModels, {}, {}, "models       列出程序目录下 DTSModelList.mdb 中的升级方案"},
    {"describe", &cli::CmdDescribe, {"model", "database", "source", "server", "user"}, {},
     "describe --model 类名 --database 目的库名\n"
     "             建立方案的 DTS 包并打印其全部对象和属性"},
    {"check", &cli::CmdCheck, With(kRunOptions, "fixes"), {},
     "check --model 类名 --source 文件.mdb [--source-password 密码]\n"
     "             [--server S --user U --password P --database D] [--report 报告.json] [--pdf 报告.pdf]\n"
     "             [--fixes 清单.csv]\n"
     "             升级前的检查：不写任何数据，列出升级时将失败或被截断的每一行，--fixes 另存为可填写的修正清单；\n"
     "             退出码 0 无问题，1 有值将被截断，2 升级将失败，3 检查本身出错",
     cli::kCheckNotMade},
    {"fix", &cli::CmdFix, {"source", "source-password", "source-password-env", "fixes", "out"}, {},
     "fix --source 文件.mdb [--source-password 密码] --fixes 清单.csv --out 修正后.mdb\n"
     "             按填好的修正清单写出 5.6 数据库的修正副本（源文件不动），并在副本旁写下修改记录 .fixes.json"},
    {"run", &cli::CmdRun, kRunOptions, {},
     "run --model 类名 --source 文件.mdb [--source-password 密码] --server file:DIR\n"
     "             --user U --password P --database D [--report 报告.json] [--pdf 报告.pdf]\n"
     "             执行升级方案，逐步显示进度，最后打印每一步的汇总并与源数据库对账；\n"
     "             退出码 0 升级完成且对账相符，1 升级失败、目的数据库未改变，\n"
     "             4 升级已提交、但对账不符或未能完成、或报告未写成，5 提交结果未知（需先核对再决定）"},
    {"report", &cli::CmdReport, {"from", "pdf"}, {},
     "report --from 报告.json --pdf 报告.pdf\n"
     "             由 run 或 check 保存的 JSON 报告生成供签字的 PDF 报告"},
    {"query", &cli::CmdQuery, {"mdb", "password", "password-env", "codepage"}, {},
     "query --mdb 文件 [--password 密码|-] [--codepage CP936] \"SELECT ...\"\n"
     "             以 TSV 格式打印 Access 数据库查询结果"},
    {"sample", &cli::CmdSample, {"out", "scale", "seed", "password", "password-env"}, {"quiet"},
     "sample --out 文件 [--scale N] [--seed S] [--password 密码]\n"
     "             生成一个 5.6 版示例数据库（N=1 约几百行，N=1000 约一百万行库存）"},
    {"mdb-write", &cli::CmdMdbWrite, {"out", "password", "password-env", "schema"}, {},
     "mdb-write --out 文件 [--password 密码] [--schema 架构.tsv] 表名=行.tsv ...\n"
     "             按 5.6 版架构写数据库，指定的表取 TSV 文件中的行，其余表为空"},
    {"create-database", &cli::CmdCreateDatabase, {"server", "user", "database", "password", "password-env", "script"}, {},
     "create-database --server file:DIR|主机[,端口] [--user sa] --database 名称 --password 密码 [--script 脚本.sql]\n"
     "             建立一个 6.0 版数据库：内置服务器上（需要时先建立服务器和 sa 登录），或网络上的 SQL Server 上"},
    {"sql", &cli::CmdSql, {"server", "user", "password", "password-env", "database", "file"}, {},
     "sql --server file:DIR|主机[,端口] --user U --password P --database D \"T-SQL\" | --file 脚本.sql\n"
     "             在内置服务器或网络上的 SQL Server 上执行 T-SQL，以 TSV 打印结果集"},
    {"check-database", &cli::CmdCheckDatabase, {"server", "user", "password", "password-env", "database"}, {},
     "check-database --server file:DIR --user U --password P --database D\n"
     "             检查内置服务器上的一个数据库文件（页、索引与表、外键），完好时输出 ok"},
    {"serve", &cli::CmdServe, {"server", "listen", "max-connections", "login-timeout"}, {},
     "serve --server file:DIR [--listen 127.0.0.1:1433] [--max-connections 32] [--login-timeout 30]\n"
     "             以 TDS 协议提供内置服务器，SQL Server 客户端（tsql、freebcp 等）可以连接"},
    {"classes", &cli::CmdClasses, {}, {}, "classes      列出 Korvel 组件库中的类"},
};

void Usage(std::FILE* out) {
  std::fputs("用法: korvel <命令> [参数]\n      korvel --version\n\n命令:\n", out);
  for (const auto& c : kCommands) std::fprintf(out, "  %s\n", c.help);
  std::fputs("  options      列出每个命令接受的选项（供命令行补全使用）\n", out);
  std::fputs("\n密码也可以用 --password-env 变量名 从环境变量读取，或用 --password - 从标准输入读取。\n", out);
}

// One line a command: its name, then its options in order of name, those
// taking a value written "--name=". Shell completion reads it.
void ListOptions() {
  for (const auto& c : kCommands) {
    std::map<std::string, bool> options;  // name -> takes a value
    for (const auto& o : c.valued) options.emplace(o, true);
    for (const auto& o : c.flags) options.emplace(o, false);
    std::printf("%s", c.name);
    for (const auto& [name, valued] : options) std::printf(" --%s%s", name.c_str(), valued ? "=" : "");
    std::printf("\n");
  }
  std::printf("help\noptions\n");
}

int RunCommand(const Command& c, const std::vector<std::string>& argv) {
  try {
    return c.run(cli::Args(argv, c.valued, c.flags));
  } catch (const com::Error& e) {
    cli::ReportError(c.name, e);
    return c.failed;
  } catch (const std::exception& e) {
    // Not ours: a fault, reported in words rather than as an abort.
    std::fflush(stdout);
    std::fprintf(stderr, "korvel %s: 内部错误：%s\n", c.name, e.what());
    return 3;
  } catch (...) {
    std::fflush(stdout);
    std::fprintf(stderr, "korvel %s: 内部错误\n", c.name);
    return 3;
  }
}

}  // namespace

int main(int argc, char** argv) {
  port::UseUtf8Console();
  const std::vector<std::string> all = port::Utf8Arguments(argc, argv);
  const std::vector<std::string> args(all.size() > 1 ? all.begin() + 1 : all.end(), all.end());
  if (args.empty() || args[0] == "help" || args[0] == "--help" || args[0] == "-h") {
    Usage(args.empty() ? stderr : stdout);
    return args.empty() ? 2 : 0;
  }
  if (args[0] == "--version") {
    std::printf("korvel %s\n", vk::kVersion);
    return 0;
  }
  if (args[0] == "options") {
    ListOptions();
    return 0;
  }
  for (const auto& c : kCommands) {
    if (args[0] == c.name) return RunCommand(c, std::vector<std::string>(args.begin() + 1, args.end()));
  }
  std::fprintf(stderr, "korvel: 未知命令“%s”\n\n", args[0].c_str());
  Usage(stderr);
  return 2;
}
