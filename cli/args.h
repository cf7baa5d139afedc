// Command-line options: "--name value" pairs, "--flag" switches and
// positional arguments, checked against what a command accepts.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace cli {

class Args {
 public:
  // `valued`: options that take a value; `flags`: options that do not.
  // Raises com::Error for an unknown option, a missing value, or an
  // option given twice (which of the two was meant cannot be known).
  Args(const std::vector<std::string>& argv, const std::set<std::string>& valued,
       const std::set<std::string>& flags = {});

  std::optional<std::string> Get(const std::string& name) const;
  // The value, or a clear error naming the missing option.
  std::string Require(const std::string& name) const;
  bool Has(const std::string& name) const;
  const std::vector<std::string>& positional() const { return positional_; }

 private:
  std::map<std::string, std::string> values_;
  std::set<std::string> flags_;
  std::vector<std::string> positional_;
};

}  // namespace cli
