#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "platform/port/system.h"
#include "platform/port/windows/wide.h"

namespace port {

std::string ProgramFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return ".";
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  const auto slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? "." : Narrow(path.substr(0, slash));
}

std::string TemporaryFolder() {
  if (auto tmp = GetEnv("TMPDIR"); tmp && !tmp->empty()) return *tmp;
  wchar_t buf[MAX_PATH + 1];
  const DWORD n = GetTempPathW(MAX_PATH + 1, buf);
  if (n == 0) return ".";
  std::wstring path(buf, n);
  while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  return Narrow(path);
}

std::string SystemFontFolder() {
  wchar_t buf[MAX_PATH + 1];
  const UINT n = GetWindowsDirectoryW(buf, MAX_PATH + 1);
  if (n == 0 || n > MAX_PATH) return "";
  return Narrow(std::wstring_view(buf, n)) + "\\Fonts";
}

long ProcessId() { return static_cast<long>(GetCurrentProcessId()); }

std::string HostName() {
  wchar_t buf[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD n = MAX_COMPUTERNAME_LENGTH + 1;
  if (!GetComputerNameW(buf, &n)) return "";
  return Narrow(std::wstring_view(buf, n));
}

bool RunOnlyWhenIdle() { return SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_IDLE); }

bool LocalTime(std::time_t t, std::tm* out) { return localtime_s(out, &t) == 0; }
bool UtcTime(std::time_t t, std::tm* out) { return gmtime_s(out, &t) == 0; }

std::optional<std::string> GetEnv(const std::string& name) {
  const std::wstring wide = Wide(name);
  const DWORD n = GetEnvironmentVariableW(wide.c_str(), nullptr, 0);
  if (n == 0) return std::nullopt;
  std::wstring value(n, L'\0');
  const DWORD got = GetEnvironmentVariableW(wide.c_str(), value.data(), n);
  value.resize(got);
  return Narrow(value);
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  int n = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &n);
  if (!wide) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> out;
  for (int i = 0; i < n; ++i) out.push_back(Narrow(wide[i]));
  LocalFree(wide);
  return out;
}

void UseUtf8Console() {
  SetConsoleOutputCP(CP_UTF8);
  SetConsoleCP(CP_UTF8);
}

void UseParentConsole() {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out != nullptr && out != INVALID_HANDLE_VALUE) return;  // redirected to a file or pipe
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;         // started from Explorer
  FILE* ignored = nullptr;
  freopen_s(&ignored, "CONOUT$", "w", stdout);
  freopen_s(&ignored, "CONOUT$", "w", stderr);
  UseUtf8Console();
}

void* LoadSharedLibrary(const std::string& path, std::string* why) {
  HMODULE module = LoadLibraryW(LongPath(path).c_str());
  if (!module) *why = SystemMessage(GetLastError());
  return reinterpret_cast<void*>(module);
}

void* FindSymbol(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

std::string SharedLibraryFileName(const std::string& name) { return name + ".dll"; }

namespace {

HANDLE g_stop_event = nullptr;

BOOL WINAPI OnConsoleControl(DWORD) {
  SetEvent(g_stop_event);
  return TRUE;  // handled: the process is not ended
}

}  // namespace

struct StopRequest::State {
  std::atomic<bool> released{false};
};

StopRequest::StopRequest() : state_(std::make_unique<State>()) {
  g_stop_event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
}

StopRequest::~StopRequest() {
  SetConsoleCtrlHandler(&OnConsoleControl, FALSE);
  CloseHandle(g_stop_event);
  g_stop_event = nullptr;
}

bool StopRequest::Wait() {
  WaitForSingleObject(g_stop_event, INFINITE);
  return !state_->released;
}

void StopRequest::Release() {
  state_->released = true;
  SetEvent(g_stop_event);
}

}  // namespace port
