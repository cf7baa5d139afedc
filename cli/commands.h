// The korvel subcommands. Each takes its arguments (after the command name),
// already checked against the options the command table gives it, and
// returns the process exit code; errors are raised as com::Error.
#pragma once

#include <string>

#include "cli/args.h"
#include "platform/com/error.h"

namespace cli {

// The exit code of a check that could not be made (1 and 2 are verdicts).
inline constexpr int kCheckNotMade = 3;

int CmdClasses(const Args& args);
int CmdQuery(const Args& args);
int CmdSample(const Args& args);
int CmdMdbWrite(const Args& args);
int CmdCreateDatabase(const Args& args);
int CmdSql(const Args& args);
int CmdCheckDatabase(const Args& args);
int CmdModels(const Args& args);
int CmdDescribe(const Args& args);
int CmdCheck(const Args& args);
int CmdFix(const Args& args);
int CmdRun(const Args& args);
int CmdServe(const Args& args);
int CmdReport(const Args& args);

// Prints a failed command's error on standard error.
void ReportError(const char* command, const com::Error& e);

// The whole content of a file (a leading UTF-8 byte-order mark left out);
// raises a clear error when it cannot be read or is a folder.
std::string ReadTextFile(const std::string& path);

// The --server option without the blanks around it, as the wizard takes a
// server name; raises when it is missing or blank.
std::string ServerName(const Args& args);

// A password given on the command line, in the environment variable named
// by `env_option`, or on standard input ("-"): --password P,
// --password-env NAME, --password -.
std::string ReadPassword(const Args& args, const std::string& option);

}  // namespace cli
