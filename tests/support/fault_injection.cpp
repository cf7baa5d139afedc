#include "tests/support/fault_injection.h"

#include "platform/com/error.h"

namespace testing_support {

struct FaultInjection::Counter {
  int failing = 0;
  int seen = 0;
  std::function<void()> instead;  // run before the operation, which then goes ahead
  std::function<void(int)> watch;  // run before every operation, and before the commit with 0
  // Counts an operation; true when it is the one to fail.
  bool Next() {
    ++seen;
    if (watch) watch(seen);
    return seen == failing;
  }
};

namespace {

com::Error Injected(int operation) {
  return com::Error(com::ErrorNumber(0x80004005u), "FaultInjection",
                    std::string(FaultInjection::kDescription) + "（第 " + std::to_string(operation) + " 个操作）");
}

class FailingFinish final : public dts::BulkWriter {
 public:
  FailingFinish(std::unique_ptr<dts::BulkWriter> inner, int operation)
      : inner_(std::move(inner)), operation_(operation) {}
  void Write(const dts::Row& row) override { inner_->Write(row); }
  void Finish() override {
    inner_->Finish();
    throw Injected(operation_);
  }
  std::string FailedColumn() const override { return inner_->FailedColumn(); }

 private:
  std::unique_ptr<dts::BulkWriter> inner_;
  int operation_;
};

class CountingSession final : public dts::Session {
 public:
  CountingSession(std::unique_ptr<dts::Session> inner, std::shared_ptr<FaultInjection::Counter> counter)
      : inner_(std::move(inner)), counter_(std::move(counter)) {}

  std::vector<dts::RowsAffected> ExecuteBatch(std::string_view sql, std::int32_t timeout) override {
    const bool fail = counter_->Next();
    if (fail && counter_->instead) {
      counter_->instead();
      return inner_->ExecuteBatch(sql, timeout);
    }
    auto affected = inner_->ExecuteBatch(sql, timeout);
    if (fail) throw Injected(counter_->seen);
    return affected;
  }
  std::unique_ptr<dts::RowReader> Query(std::string_view sql) override { return inner_->Query(sql); }
  std::vector<dts::ColumnInfo> DescribeTable(std::string_view object) override { return inner_->DescribeTable(object); }
  std::unique_ptr<dts::BulkWriter> OpenBulkLoad(std::string_view object, const std::vector<std::string>& columns,
                                                const dts::BulkLoadOptions& options) override {
    const bool fail = counter_->Next();
    if (fail && counter_->instead) {
      counter_->instead();
      return inner_->OpenBulkLoad(object, columns, options);
    }
    auto writer = inner_->OpenBulkLoad(object, columns, options);
    if (fail) return std::make_unique<FailingFinish>(std::move(writer), counter_->seen);
    return writer;
  }
  void BeginTransaction() override { inner_->BeginTransaction(); }
  void Commit() override {
    if (counter_->watch) counter_->watch(0);
    inner_->Commit();
  }
  void Rollback() override { inner_->Rollback(); }
  std::vector<std::string> Databases() override { return inner_->Databases(); }
  std::unique_ptr<dts::Session> Share() override {
    auto shared = inner_->Share();
    if (!shared) return nullptr;
    return std::make_unique<CountingSession>(std::move(shared), counter_);
  }
  void VerifyUnchanged() override { inner_->VerifyUnchanged(); }

 private:
  std::unique_ptr<dts::Session> inner_;
  std::shared_ptr<FaultInjection::Counter> counter_;
};

class CountingDriver final : public dts::Driver {
 public:
  CountingDriver(std::shared_ptr<dts::Driver> inner, std::shared_ptr<FaultInjection::Counter> counter)
      : inner_(std::move(inner)), counter_(std::move(counter)) {}
  std::unique_ptr<dts::Session> Open(const dts::ConnectionSpec& connection) override {
    return std::make_unique<CountingSession>(inner_->Open(connection), counter_);
  }

 private:
  std::shared_ptr<dts::Driver> inner_;
  std::shared_ptr<FaultInjection::Counter> counter_;
};

}  // namespace

FaultInjection::FaultInjection(std::string provider, int failing_operation)
    : counter_(std::make_shared<Counter>()) {
  counter_->failing = failing_operation;
  auto inner = dts::FindDriver(provider);
  registration_ = std::make_unique<dts::ScopedDriver>(std::move(provider),
                                                      std::make_shared<CountingDriver>(std::move(inner), counter_));
}

FaultInjection::FaultInjection(std::string provider, int operation, std::function<void()> instead)
    : FaultInjection(std::move(provider), operation) {
  counter_->instead = std::move(instead);
}

FaultInjection::FaultInjection(std::string provider, std::function<void(int)> watch)
    : FaultInjection(std::move(provider), 0) {
  counter_->watch = std::move(watch);
}

FaultInjection::~FaultInjection() = default;

int FaultInjection::operations() const { return counter_->seen; }

}  // namespace testing_support
