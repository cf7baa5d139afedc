// korvel: the command-line front end of the upgrade tool.
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "library/classes.h"
#include "platform/com/error.h"

namespace {

constexpr char kUsage[] =
    "用法: korvel <命令> [参数]\n"
    "\n"
    "命令:\n"
    "  classes    列出 Korvel 组件库中的类及其 ProgID\n"
    "  help       显示本说明\n";

int Classes() {
  for (const auto& c : korvel::Classes()) {
    std::printf("%s.%s\t%s\n", std::string(korvel::kLibraryName).c_str(), std::string(c.class_name).c_str(),
                std::string(c.clsid).c_str());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string_view> args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "help" || args[0] == "--help" || args[0] == "-h") {
    std::fputs(kUsage, args.empty() ? stderr : stdout);
    return args.empty() ? 2 : 0;
  }
  try {
    if (args[0] == "classes") return Classes();
    std::fprintf(stderr, "korvel: 未知命令“%s”\n\n%s", std::string(args[0]).c_str(), kUsage);
    return 2;
  } catch (const com::Error& e) {
    std::fprintf(stderr, "korvel: 错误 %s: %s\n", e.HexNumber().c_str(), e.description().c_str());
    return 1;
  }
}
