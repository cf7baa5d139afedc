// korvel query: look into a source file.
#include <cstdio>

#include "cli/args.h"
#include "cli/commands.h"
#include "cli/tsv.h"
#include "platform/com/error.h"
#include "platform/jet/reader.h"

namespace cli {

int CmdQuery(const Args& args) {
  if (args.positional().size() != 1) {
    throw com::Error(com::kErrInvalidArgument, "korvel",
                     "用法: korvel query --mdb 文件 [--password 密码] [--codepage 代码页] \"SELECT ...\"");
  }
  jet::OpenOptions options;
  options.password = ReadPassword(args, "password");
  options.codepage = args.Get("codepage").value_or("");
  jet::Database db(args.Require("mdb"), options);
  auto reader = db.Query(args.positional()[0]);
  WriteTsv(*reader, stdout);
  return 0;
}

}  // namespace cli
