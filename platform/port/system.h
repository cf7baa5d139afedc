// The running program and the system around it, the same on Linux and on
// Windows: its folder and process, thread priority, calendar time,
// environment and arguments in UTF-8, the console, shared libraries and
// stop requests.
#pragma once

#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace port {

// The folder the running program is in (UTF-8).
std::string ProgramFolder();
// The folder for temporary files: TMPDIR (or TEMP) if set, else the system's.
std::string TemporaryFolder();
// The folder of the system's own fonts, for a program that must find them
// itself (Windows: its Fonts folder); empty where the system finds fonts
// for it (Linux, through fontconfig).
std::string SystemFontFolder();
// This process's number.
long ProcessId();
// The computer's name; empty when the system gives none.
std::string HostName();

// Lets the calling thread run only when a core would otherwise idle.
// Returns false when the system refused; the thread runs as before.
bool RunOnlyWhenIdle();

// The calendar time of `t`, local or UTC; false when out of range.
bool LocalTime(std::time_t t, std::tm* out);
bool UtcTime(std::time_t t, std::tm* out);

// An environment variable's value in UTF-8; nullopt when it is not set.
std::optional<std::string> GetEnv(const std::string& name);

// The program's arguments in UTF-8 (on Windows, read again as UTF-16 from
// the system, whatever `argv` holds).
std::vector<std::string> Utf8Arguments(int argc, char** argv);
// Makes the console show UTF-8 output as the text it is.
void UseUtf8Console();
// For a windowed program (velmora.exe) started from a console: standard
// output and error go to that console when they are not redirected already.
// Nothing to do on Linux, where a program always has its caller's.
void UseParentConsole();

// A shared library loaded for the life of the process; nullptr, with the
// system's words in `why`, when it cannot be loaded.
void* LoadSharedLibrary(const std::string& path, std::string* why);
void* FindSymbol(void* library, const char* name);
// The file name a component library `name` has on this system
// ("libNAME.so", "NAME.dll").
std::string SharedLibraryFileName(const std::string& name);

// Ctrl+C and the system's request to stop (SIGINT and SIGTERM; on Windows
// the console's Ctrl+C, Ctrl+Break and close), waited for by one thread.
// Made before the program starts other threads: from then on those
// requests no longer end the process.
class StopRequest {
 public:
  StopRequest();
  ~StopRequest();
  StopRequest(const StopRequest&) = delete;
  StopRequest& operator=(const StopRequest&) = delete;

  // Waits until a request comes (true) or Release is called (false).
  bool Wait();
  // Ends a Wait from another thread.
  void Release();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace port
