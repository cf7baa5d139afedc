#include "platform/dts/driver.h"

#include <algorithm>
#include <climits>
#include <map>
#include <mutex>

#include "platform/com/error.h"

namespace dts {
namespace {

std::mutex g_mutex;
std::map<std::string, std::shared_ptr<Driver>, std::less<>>& Registry() {
  static std::map<std::string, std::shared_ptr<Driver>, std::less<>> registry;
  return registry;
}

void EnsureBuiltins() {
  static std::once_flag once;
  std::call_once(once, [] {
    auto builtins = BuiltinDrivers();
    std::lock_guard lock(g_mutex);
    for (auto& [name, driver] : builtins) Registry()[name] = std::move(driver);
  });
}

}  // namespace

void BulkWriter::WriteRows(const Row* rows, std::size_t count, std::size_t* written) {
  for (*written = 0; *written < count; ++*written) Write(rows[*written]);
}

const com::Variant* ConnectionSpec::Property(std::string_view name) const {
  for (const auto& [n, v] : properties) {
    if (n == name) return &v;
  }
  return nullptr;
}

std::int32_t ConnectionSpec::LockTimeoutMs() const {
  const com::Variant* v = Property("Lock Timeout");
  if (!v || v->IsNull() || v->IsEmpty()) return kDefaultLockTimeoutMs;
  try {
    const std::int64_t ms = v->ToInt64();
    return ms < 0 ? kDefaultLockTimeoutMs : static_cast<std::int32_t>(std::min<std::int64_t>(ms, INT32_MAX));
  } catch (const com::Error&) {
    return kDefaultLockTimeoutMs;
  }
}

std::vector<std::string> Session::Databases() {
  throw com::Error(com::kErrNoSuchProperty, "Provider", "此数据源没有数据库列表");
}

std::shared_ptr<Driver> FindDriver(std::string_view provider) {
  EnsureBuiltins();
  std::lock_guard lock(g_mutex);
  auto it = Registry().find(provider);
  if (it == Registry().end() || !it->second) {
    // Number and wording after the data access layer's "provider cannot be found".
    throw com::Error(3706, "Provider",
                     "找不到提供程序“" + std::string(provider) + "”。它可能没有正确安装。");
  }
  return it->second;
}

std::shared_ptr<Driver> RegisterDriver(std::string_view provider, std::shared_ptr<Driver> driver) {
  EnsureBuiltins();
  std::lock_guard lock(g_mutex);
  auto& slot = Registry()[std::string(provider)];
  std::shared_ptr<Driver> previous = std::move(slot);
  slot = std::move(driver);
  return previous;
}

ScopedDriver::ScopedDriver(std::string provider, std::shared_ptr<Driver> driver)
    : provider_(std::move(provider)), previous_(RegisterDriver(provider_, std::move(driver))) {}

ScopedDriver::~ScopedDriver() { RegisterDriver(provider_, std::move(previous_)); }

}  // namespace dts
