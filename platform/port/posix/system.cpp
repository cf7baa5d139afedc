#include <dlfcn.h>
#include <limits.h>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <signal.h>

#include <atomic>
#include <cstdlib>

#include "platform/port/system.h"

namespace port {

std::string ProgramFolder() {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  const std::string path(buf, static_cast<std::size_t>(n));
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

std::string TemporaryFolder() {
  const char* tmp = std::getenv("TMPDIR");
  return tmp && *tmp ? tmp : "/tmp";
}

std::string SystemFontFolder() { return ""; }

long ProcessId() { return static_cast<long>(::getpid()); }

std::string HostName() {
  char buf[256] = {0};
  if (::gethostname(buf, sizeof buf - 1) != 0) return "";
  return buf;
}

bool RunOnlyWhenIdle() {
  const sched_param none{};
  return pthread_setschedparam(pthread_self(), SCHED_IDLE, &none) == 0;
}

bool LocalTime(std::time_t t, std::tm* out) { return ::localtime_r(&t, out) != nullptr; }
bool UtcTime(std::time_t t, std::tm* out) { return ::gmtime_r(&t, out) != nullptr; }

std::optional<std::string> GetEnv(const std::string& name) {
  const char* v = std::getenv(name.c_str());
  if (!v) return std::nullopt;
  return std::string(v);
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

void UseUtf8Console() {}

void UseParentConsole() {}

void* LoadSharedLibrary(const std::string& path, std::string* why) {
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* e = ::dlerror();
    *why = e ? e : "unknown error";
  }
  return handle;
}

void* FindSymbol(void* library, const char* name) { return ::dlsym(library, name); }

std::string SharedLibraryFileName(const std::string& name) { return "lib" + name + ".so"; }

struct StopRequest::State {
  sigset_t signals;
  std::atomic<bool> released{false};
  pthread_t waiter{};
  std::atomic<bool> waiting{false};
};

StopRequest::StopRequest() : state_(std::make_unique<State>()) {
  sigemptyset(&state_->signals);
  sigaddset(&state_->signals, SIGINT);
  sigaddset(&state_->signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &state_->signals, nullptr);
}

StopRequest::~StopRequest() = default;

bool StopRequest::Wait() {
  state_->waiter = pthread_self();
  state_->waiting = true;
  if (state_->released) return false;
  int signal = 0;
  sigwait(&state_->signals, &signal);
  return !state_->released;
}

void StopRequest::Release() {
  state_->released = true;
  // The waiter takes the signal itself; the other threads block it.
  if (state_->waiting) pthread_kill(state_->waiter, SIGTERM);
}

}  // namespace port
