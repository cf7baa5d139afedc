// The korvel subcommands. Each takes its arguments (after the command name)
// and returns the process exit code; errors are raised as com::Error.
#pragma once

#include <string>
#include <vector>

#include "platform/com/error.h"

namespace cli {

using Argv = std::vector<std::string>;

int CmdClasses(const Argv& args);
int CmdQuery(const Argv& args);
int CmdSample(const Argv& args);
int CmdMdbWrite(const Argv& args);
int CmdCreateDatabase(const Argv& args);
int CmdSql(const Argv& args);
int CmdCheckDatabase(const Argv& args);
int CmdModels(const Argv& args);
int CmdDescribe(const Argv& args);
int CmdCheck(const Argv& args);
int CmdRun(const Argv& args);
int CmdServe(const Argv& args);
int CmdReport(const Argv& args);

// Prints a failed command's error on standard error.
void ReportError(const char* command, const com::Error& e);

// The whole content of a file (a leading UTF-8 byte-order mark left out);
// raises a clear error when it cannot be read or is a folder.
std::string ReadTextFile(const std::string& path);

// The --server option without the blanks around it, as the wizard takes a
// server name; raises when it is missing or blank.
std::string ServerName(const class Args& args);

// A password given on the command line, in the environment variable named
// by `env_option`, or on standard input ("-"): --password P,
// --password-env NAME, --password -.
std::string ReadPassword(const class Args& args, const std::string& option);

}  // namespace cli
