#include "tests/support/fake_driver.h"

#include <functional>
#include <sstream>

#include "platform/com/error.h"

namespace testing_support {
namespace {

class FakeSession : public dts::Session {
 public:
  FakeSession(std::shared_ptr<FakeDatabase> db, const char* how) : db_(std::move(db)) {
    ++db_->open_sessions;
    db_->log.push_back(how);
  }
  ~FakeSession() override { --db_->open_sessions; }

  std::vector<dts::RowsAffected> ExecuteBatch(std::string_view sql, std::int32_t) override {
    db_->log.push_back("exec " + std::string(sql));
    std::vector<dts::RowsAffected> affected;
    std::istringstream in{std::string(sql)};
    std::string line;
    while (std::getline(in, line)) {
      std::istringstream words(line);
      std::string verb, table, rest;
      words >> verb;
      if (verb == "insert") {
        words >> table >> rest;
        auto& t = db_->tables[table];
        t.push_back(rest);
        affected.push_back({"INSERT", table, 1});
        if (in_tx_) undo_.push_back([db = db_, table] { db->tables[table].pop_back(); });
      } else if (verb == "delete") {
        words >> table;
        auto old = db_->tables[table];
        db_->tables[table].clear();
        affected.push_back({"DELETE", table, static_cast<std::int64_t>(old.size())});
        if (in_tx_) undo_.push_back([db = db_, table, old] { db->tables[table] = old; });
      } else if (verb == "fail") {
        std::getline(words, rest);
        throw com::Error(1234, "FakeDB", rest.empty() ? rest : rest.substr(1));
      }
    }
    return affected;
  }
  std::unique_ptr<dts::RowReader> Query(std::string_view) override {
    throw com::Error(1, "FakeDB", "no queries");
  }
  std::vector<dts::ColumnInfo> DescribeTable(std::string_view) override { return {}; }
  std::unique_ptr<dts::BulkWriter> OpenBulkLoad(std::string_view, const std::vector<std::string>&,
                                                const dts::BulkLoadOptions&) override {
    throw com::Error(1, "FakeDB", "no bulk load");
  }
  void BeginTransaction() override {
    db_->log.push_back("begin");
    in_tx_ = true;
  }
  void Commit() override {
    db_->log.push_back("commit");
    in_tx_ = false;
    undo_.clear();
  }
  void Rollback() override {
    db_->log.push_back("rollback");
    for (auto it = undo_.rbegin(); it != undo_.rend(); ++it) (*it)();
    undo_.clear();
    in_tx_ = false;
  }
  std::unique_ptr<dts::Session> Share() override {
    if (!db_->shareable) return nullptr;
    return std::make_unique<FakeSession>(db_, "share");
  }
  void VerifyUnchanged() override {
    db_->log.push_back("verify");
    if (!db_->changed.empty()) throw com::Error(3197, "FakeDB", db_->changed);
  }

 private:
  std::shared_ptr<FakeDatabase> db_;
  bool in_tx_ = false;
  std::vector<std::function<void()>> undo_;
};

}  // namespace

std::unique_ptr<dts::Session> FakeDriver::Open(const dts::ConnectionSpec& connection) {
  opened.push_back(connection);
  if (connection.data_source == "unreachable") throw com::Error(17, "FakeDB", "server does not exist");
  return std::make_unique<FakeSession>(db_, "open");
}

}  // namespace testing_support
