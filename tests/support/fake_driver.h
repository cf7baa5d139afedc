// An in-memory database for executor tests. A batch is lines of commands:
//   insert T v   append v to table T
//   delete T     empty table T
//   fail text    raise an error with that description
// A session's transaction keeps an undo log; Rollback undoes only that
// session's work, so work done outside the transaction survives.
// Shared sessions and the check of an unchanged source are as the database
// says (`shareable`, `changed`).
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/dts/driver.h"

namespace testing_support {

struct FakeDatabase {
  std::map<std::string, std::vector<std::string>> tables;
  // "open", "share", "verify", "begin", "commit", "rollback", "exec <batch>"
  std::vector<std::string> log;
  int open_sessions = 0;
  // Whether a session shares what it opened (Session::Share), as a source
  // file's does.
  bool shareable = false;
  // When set, every session's VerifyUnchanged raises it as the description.
  std::string changed;
};

class FakeDriver : public dts::Driver {
 public:
  explicit FakeDriver(std::shared_ptr<FakeDatabase> db) : db_(std::move(db)) {}
  std::unique_ptr<dts::Session> Open(const dts::ConnectionSpec& connection) override;
  std::vector<dts::ConnectionSpec> opened;

 private:
  std::shared_ptr<FakeDatabase> db_;
};

inline constexpr char kFakeProvider[] = "Fake.Provider";

}  // namespace testing_support
