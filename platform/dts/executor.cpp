#include "platform/dts/executor.h"

#include <chrono>
#include <map>
#include <optional>

#include "platform/com/error.h"
#include "platform/dts/model.h"
#include "platform/dts/step_context.h"

namespace dts {

namespace {
const char kSource[] = "DTS Package";

// Whether a constraint is met by the named step's status and result: basis
// 1 (execution result) when it has completed with that result, basis 0
// (execution status) when it has that status.
bool Met(const PrecedenceConstraint& c, std::int32_t status, std::int32_t result) {
  const std::int64_t value = c.Get("Value").ToInt64();
  switch (c.GetLong("PrecedenceBasis")) {
    case kBasisExecStatus:
      return status == value;
    default:  // execution result
      return status == kStepCompleted && result == value;
  }
}

// The lowest-numbered waiting step, not disabled, whose every constraint
// is met.
template <class StatusOf, class IsMet>
Step* FirstReadyStep(const Package& package, StatusOf status_of, IsMet is_met) {
  for (const auto& step : package.Steps()) {
    if (status_of(*step) != kStepWaiting || step->GetBool("DisableStep")) continue;
    bool ready = true;
    for (const auto& c : step->PrecedenceConstraints()) {
      if (!is_met(*c)) {
        ready = false;
        break;
      }
    }
    if (ready) return step.get();
  }
  return nullptr;
}

}  // namespace

ConnectionSpec ConnectionSpecOf(const Connection& def) {
  ConnectionSpec connection;
  connection.provider = def.ProviderID();
  connection.data_source = def.GetText("DataSource");
  connection.user_id = def.GetText("UserID");
  connection.password = def.GetText("Password");
  connection.catalog = def.GetText("Catalog");
  connection.timeout_seconds = def.GetLong("ConnectionTimeout");
  for (const auto& e : def.ConnectionProperties().entries()) connection.properties.emplace_back(e.name, e.value);
  return connection;
}

std::vector<const Step*> RunOrderIfAllSucceed(const Package& package) {
  std::map<const Step*, std::int32_t> status;  // the steps that have run: completed
  auto status_of = [&](const Step& s) { return status.count(&s) ? kStepCompleted : kStepWaiting; };
  std::vector<const Step*> order;
  while (const Step* next = FirstReadyStep(package, status_of, [&](const PrecedenceConstraint& c) {
           const Step* other = package.Steps().Find(c.StepName());
           return other && Met(c, status_of(*other), kStepSuccess);
         })) {
    status[next] = kStepCompleted;
    order.push_back(next);
  }
  return order;
}

com::Error CancelledError() { return com::Error(kErrPackageCancelled, kSource, "执行已被取消"); }

class Executor final : public StepContext {
 public:
  explicit Executor(Package& package) : package_(package) {}
  void Run();

  Session& SessionFor(std::int32_t connection_id) override;
  void Progress(const std::string& description, std::int32_t percent, std::int64_t count) override;
  void CheckCancel() override;
  StepStatistics& statistics() override { return current_->stats_; }
  const std::string& event_source() const override { return event_source_; }

 private:
  struct Link {
    Connection* definition = nullptr;
    std::unique_ptr<Session> origin; // shared from the first session, kept for the run
    std::unique_ptr<Session> plain;  // outside the package transaction
    std::unique_ptr<Session> joined; // enlisted in it
    bool enlisted = false;
  };

  void Validate() const;
  Step* NextReadyStep() const;
  bool ConstraintMet(const PrecedenceConstraint& c) const;
  void RunStep(Step& step);
  bool AskCancel(const std::string& source);
  void VerifySources();
  void CommitTransaction();
  void RollbackTransaction();
  void EndTransaction();
  void CloseSessions(bool plain_only);
  [[noreturn]] void RaiseOutcome() const;

  template <class F>
  void Raise(F&& f);

  Package& package_;
  std::map<std::int32_t, Link> links_;
  Step* current_ = nullptr;
  bool current_joined_ = false;
  std::string event_source_;
  bool tx_active_ = false;
  bool cancelled_ = false;
  bool stop_ = false;
  std::optional<com::Error> handler_error_;
  std::optional<com::Error> transaction_error_;
  std::optional<com::Error> commit_unknown_;  // a commit whose answer was lost
  std::vector<std::string> failed_steps_;
  std::vector<std::string> committed_outside_;  // succeeded outside the package transaction
};

template <class F>
void Executor::Raise(F&& f) {
  const auto sinks = package_.sinks();  // a handler may unsubscribe
  for (const auto& [cookie, sink] : sinks) {
    try {
      f(*sink);
    } catch (const com::Error& e) {
      if (!handler_error_) handler_error_ = e;
      cancelled_ = true;
    } catch (const std::exception& e) {
      if (!handler_error_) handler_error_ = com::Error(kErrPackageCancelled, "PackageEvents", e.what());
      cancelled_ = true;
    }
  }
}

bool Executor::AskCancel(const std::string& source) {
  if (!cancelled_) {
    Raise([&](PackageEvents& s) {
      bool cancel = false;
      s.OnQueryCancel(source, cancel);
      if (cancel) cancelled_ = true;
    });
  }
  return cancelled_;
}

void Executor::Progress(const std::string& description, std::int32_t percent, std::int64_t count) {
  const auto low = static_cast<std::int32_t>(static_cast<std::uint32_t>(count & 0xFFFFFFFF));
  const auto high = static_cast<std::int32_t>(count >> 32);
  Raise([&](PackageEvents& s) { s.OnProgress(event_source_, description, percent, low, high); });
  CheckCancel();
}

void Executor::CheckCancel() {
  if (AskCancel(event_source_)) throw CancelledError();
}

Session& Executor::SessionFor(std::int32_t connection_id) {
  Connection* def = package_.Connections().FindById(connection_id);
  if (!def) {
    throw com::Error(com::kErrItemNotFound, kSource,
                     "包中没有 ID 为 " + std::to_string(connection_id) + " 的连接");
  }
  Link& link = links_[connection_id];
  link.definition = def;
  auto open = [&]() -> std::unique_ptr<Session> {
    if (link.origin) return link.origin->Share();
    const ConnectionSpec connection = ConnectionSpecOf(*def);
    std::unique_ptr<Session> session = FindDriver(connection.provider)->Open(connection);
    // A wait on the server shows as the step's progress, and a cancel ends it.
    session->SetWaitObserver([this](int seconds) {
      const std::string description = "等待服务器响应 " + std::to_string(seconds) + " 秒…";
      Raise([&](PackageEvents& s) { s.OnProgress(event_source_, description, 0, 0, 0); });
      return !AskCancel(event_source_);
    });
    link.origin = session->Share();
    return session;
  };
  if (current_joined_ && tx_active_) {
    if (!link.joined) link.joined = open();
    if (!link.enlisted) {
      link.joined->BeginTransaction();
      link.enlisted = true;
    }
    return *link.joined;
  }
  if (!link.plain) link.plain = open();
  return *link.plain;
}

void Executor::Validate() const {
  for (const auto& step : package_.Steps()) {
    for (const auto& c : step->PrecedenceConstraints()) {
      if (!package_.Steps().Find(c->StepName())) {
        throw com::Error(com::kErrItemNotFound, kSource,
                         "步骤“" + step->Name() + "”的优先约束引用了不存在的步骤“" + c->StepName() + "”");
      }
    }
  }
}

bool Executor::ConstraintMet(const PrecedenceConstraint& c) const {
  const Step* other = package_.Steps().Find(c.StepName());
  return other && Met(c, other->RunStatus(), other->ExecutionResult());
}

Step* Executor::NextReadyStep() const {
  return FirstReadyStep(package_, [&](const Step& s) { return s.RunStatus(); },
                        [&](const PrecedenceConstraint& c) { return ConstraintMet(c); });
}

void Executor::RunStep(Step& step) {
  using Clock = std::chrono::steady_clock;
  const auto started = Clock::now();
  current_ = &step;
  current_joined_ = package_.GetBool("UseTransaction") && step.GetBool("JoinTransactionIfPresent");
  event_source_ = step.GetText("Description");
  step.run_status_ = kStepInProgress;

  std::optional<com::Error> failure;
  try {
    Raise([&](PackageEvents& s) { s.OnStart(event_source_); });
    if (cancelled_) throw CancelledError();
    const std::string task_name = step.GetText("TaskName");
    const Task* task = package_.Tasks().Find(task_name);
    if (!task) {
      throw com::Error(com::kErrItemNotFound, kSource,
                       "步骤“" + step.Name() + "”的任务“" + task_name + "”不存在");
    }
    if (current_joined_) tx_active_ = true;
    RunTask(*this, *task);
    if (current_joined_ && step.GetBool("CommitSuccess")) CommitTransaction();
  } catch (const com::Error& e) {
    failure = e;
  } catch (const std::exception& e) {
    failure = com::Error(com::ErrorNumber(0x80004005u), kSource, e.what());
  }

  step.stats_.seconds = std::chrono::duration<double>(Clock::now() - started).count();
  step.run_status_ = kStepCompleted;
  if (!failure) {
    step.result_ = kStepSuccess;
    if (!current_joined_ && package_.GetBool("UseTransaction")) committed_outside_.push_back(step.Name());
    Raise([&](PackageEvents& s) { s.OnFinish(event_source_); });
  } else {
    if (failure->number() == kErrLockTimeout && !current_joined_ && tx_active_) {
      // Outside the package transaction, the step waited for what the
      // transaction holds until the lock timeout ran out.
      failure = com::Error(failure->number(), failure->source(),
                           failure->description() +
                               "（此步骤不在包事务中运行，而它要用的表已被包事务中先前的步骤锁住，"
                               "包事务结束之前无法进行）");
    }
    if (failure->number() != kErrPackageCancelled) {
      try {
        VerifySources();
      } catch (const com::Error& changed) {
        // A source changed under the run explains what the step met (a key
        // repeated by a table read half from each file, say) better.
        if (failure->description().find(changed.description()) == std::string::npos) {
          failure = com::Error(changed.number(), changed.source(),
                               changed.description() + "（步骤因此出错：" + failure->description() + "）");
        }
      }
    }
    step.result_ = kStepFailure;
    step.error_ = {failure->number(), failure->source(), failure->description(), "", 0, ""};
    failed_steps_.push_back(step.Name());
    Raise([&](PackageEvents& s) {
      bool cancel = false;
      s.OnError(event_source_, failure->number(), failure->source(), failure->description(), "", 0, "",
                cancel);
      if (cancel) cancelled_ = true;
    });
    if (current_joined_ && step.GetBool("RollbackFailure")) RollbackTransaction();
    if (package_.GetBool("FailOnError") || step.GetBool("FailPackageOnError")) stop_ = true;
  }
  if (step.GetBool("CloseConnection")) CloseSessions(/*plain_only=*/true);
  for (auto& [id, link] : links_) {
    if (link.plain && link.definition && !link.definition->GetBool("Reusable")) link.plain.reset();
  }
  current_ = nullptr;
  current_joined_ = false;
}

void Executor::VerifySources() {
  for (auto& [id, link] : links_) {
    if (link.origin) {
      link.origin->VerifyUnchanged();
      continue;
    }
    if (link.joined) link.joined->VerifyUnchanged();
    if (link.plain) link.plain->VerifyUnchanged();
  }
}

void Executor::CommitTransaction() {
  try {
    VerifySources();  // what the transaction wrote came from them
  } catch (...) {
    RollbackTransaction();
    throw;
  }
  tx_active_ = false;
  for (auto& [id, link] : links_) {
    if (!link.enlisted) continue;
    link.enlisted = false;
    try {
      link.joined->Commit();
    } catch (const com::Error& e) {
      // A commit whose answer was lost may have gone through: nothing can
      // be rolled back on that connection, and the others go on.
      if (e.number() == kErrCommitUnknown) {
        if (!commit_unknown_) commit_unknown_ = e;
        continue;
      }
      RollbackTransaction();  // the others that have not committed yet
      throw;
    }
  }
}

void Executor::RollbackTransaction() {
  tx_active_ = false;
  for (auto& [id, link] : links_) {
    if (!link.enlisted) continue;
    link.enlisted = false;
    try {
      link.joined->Rollback();
    } catch (const com::Error& e) {
      if (!transaction_error_) transaction_error_ = e;
    }
  }
}

void Executor::EndTransaction() {
  if (!tx_active_) return;
  if (failed_steps_.empty() && !cancelled_ && package_.GetBool("AutoCommitTransaction")) {
    try {
      CommitTransaction();
    } catch (const com::Error& e) {
      transaction_error_ = e;
      const std::string name = package_.GetText("Name");
      Raise([&](PackageEvents& s) {
        bool cancel = false;
        s.OnError(name, e.number(), e.source(), e.description(), "", 0, "", cancel);
      });
    }
  } else {
    RollbackTransaction();
  }
}

void Executor::CloseSessions(bool plain_only) {
  for (auto& [id, link] : links_) {
    link.plain.reset();
    if (!plain_only) {
      link.joined.reset();
      link.origin.reset();
    }
  }
}

void Executor::RaiseOutcome() const {
  const std::string package = "包“" + package_.GetText("Name") + "”";
  std::string steps;
  for (std::size_t i = 0; i < failed_steps_.size(); ++i) {
    steps += (i ? "、“" : "“") + failed_steps_[i] + "”";
  }
  const std::string failed_text =
      failed_steps_.size() == 1 ? "步骤" + steps + "失败"
                                : std::to_string(failed_steps_.size()) + " 个步骤失败：" + steps;
  // Work outside the package transaction stays; say which.
  std::string kept;
  for (std::size_t i = 0; i < committed_outside_.size(); ++i) {
    kept += (i ? "、“" : "“") + committed_outside_[i] + "”";
  }
  if (!kept.empty()) kept = "不在包事务中的步骤" + kept + "已经提交，其结果不会回滚。";
  if (handler_error_) {
    throw com::Error(kErrPackageCancelled, kSource,
                     package + "的执行已停止：事件处理程序出错：" + handler_error_->description());
  }
  if (cancelled_) {
    throw com::Error(kErrPackageCancelled, kSource,
                     package + "的执行已被取消" + (failed_steps_.empty() ? "" : "；" + failed_text) +
                         "。已执行的事务性操作已回滚。" + kept);
  }
  if (!failed_steps_.empty()) {
    throw com::Error(kErrPackageFailed, kSource,
                     package + "执行失败：" + failed_text + "。" + (kept.empty() ? "" : "包事务中的操作已全部回滚；" + kept));
  }
  if (commit_unknown_ && !transaction_error_) {
    throw com::Error(kErrPackageCommitUnknown, kSource,
                     package + "的提交结果未知：每个步骤都已成功，提交事务的请求已经发出，但没有收到服务器的回答（" +
                         commit_unknown_->description() + "）。服务器可能已经提交，也可能没有。");
  }
  throw com::Error(kErrPackageFailed, kSource,
                   package + "执行失败：提交事务时出错：" + transaction_error_->description());
}

void Executor::Run() {
  Validate();
  for (const auto& step : package_.Steps()) {
    step->run_status_ = kStepWaiting;
    step->result_ = kStepSuccess;
    step->error_ = {};
    step->stats_ = {};
  }
  try {
    while (!stop_) {
      Step* next = NextReadyStep();
      if (!next) break;
      event_source_ = next->GetText("Description");
      if (AskCancel(event_source_)) break;
      RunStep(*next);
      if (cancelled_) break;
    }
    EndTransaction();
  } catch (...) {
    RollbackTransaction();
    CloseSessions(false);
    throw;
  }
  CloseSessions(false);
  if (!failed_steps_.empty() || cancelled_ || handler_error_ || transaction_error_ || commit_unknown_) RaiseOutcome();
}

void RunPackage(Package& package) { Executor(package).Run(); }

void RunTask(StepContext& ctx, const Task& task) {
  if (task.kind() == kSQLTaskKind) {
    RunSQLTask(ctx, static_cast<const ExecuteSQLTask&>(task.GetCustomTask()));
  } else {
    RunDataPumpTask(ctx, task.AsDataPump());
  }
}

void RunSQLTask(StepContext& ctx, const ExecuteSQLTask& task) {
  ctx.CheckCancel();
  Session& session = ctx.SessionFor(task.GetLong("ConnectionID"));
  ctx.statistics().statements = session.ExecuteBatch(task.GetText("SQLStatement"), task.GetLong("CommandTimeout"));
}

}  // namespace dts
