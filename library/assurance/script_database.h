// The destination tables for a check made without a destination: a
// database of the embedded server made from the creation script, in a
// temporary folder of this process's own (under TMPDIR, else /tmp) that
// goes with the object.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/dts/driver.h"

namespace assurance {

class ScriptDatabase {
 public:
  // Makes the database `database` and runs `script` in it. Raises when the
  // folder cannot be made or the script fails.
  ScriptDatabase(const std::string& database, std::string_view script);
  ~ScriptDatabase();
  ScriptDatabase(const ScriptDatabase&) = delete;
  ScriptDatabase& operator=(const ScriptDatabase&) = delete;

  // A session on the database, for reading its tables' definitions.
  dts::Session& session() { return *session_; }

 private:
  std::string folder_;
  std::unique_ptr<dts::Session> session_;
};

}  // namespace assurance
