// Makes one step of a package run fail, below the executor: while a
// FaultInjection lives, the driver of a provider is wrapped so that the
// N-th step-level operation asked of it fails. A step-level operation is a
// SQL task's batch or a data pump task's bulk load, so with the destination
// provider, operation N belongs to the N-th step that runs. The operation
// first does its work (the batch runs, the load writes every row) and then
// fails, as a server error or a lost connection at the last moment would,
// so a test sees whether that work is undone.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/dts/driver.h"

namespace testing_support {

class FaultInjection {
 public:
  // The description the injected error carries.
  static constexpr char kDescription[] = "测试注入的故障";

  FaultInjection(std::string provider, int failing_operation);
  // Instead of failing operation N, runs `instead` just before it (to stop
  // a server, say) and lets the operation go ahead.
  FaultInjection(std::string provider, int operation, std::function<void()> instead);
  // Fails nothing: runs `watch(n)` just before each operation n, and
  // `watch(0)` just before the package's commit.
  FaultInjection(std::string provider, std::function<void(int)> watch);
  ~FaultInjection();
  FaultInjection(const FaultInjection&) = delete;
  FaultInjection& operator=(const FaultInjection&) = delete;

  // Step-level operations seen so far.
  int operations() const;

  struct Counter;  // shared by the wrapped driver and its sessions

 private:
  std::shared_ptr<Counter> counter_;
  std::unique_ptr<dts::ScopedDriver> registration_;
};

}  // namespace testing_support
