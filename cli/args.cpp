#include "cli/args.h"

#include "platform/com/error.h"

namespace cli {

Args::Args(const std::vector<std::string>& argv, const std::set<std::string>& valued,
           const std::set<std::string>& flags) {
  for (std::size_t i = 0; i < argv.size(); ++i) {
    const std::string& a = argv[i];
    if (a.size() > 2 && a.starts_with("--")) {
      std::string name = a.substr(2), value;
      const auto eq = name.find('=');
      const bool inline_value = eq != std::string::npos;
      if (inline_value) {
        value = name.substr(eq + 1);
        name.resize(eq);
      }
      if (Has(name)) throw com::Error(com::kErrInvalidArgument, "korvel", "选项 --" + name + " 给了不止一次");
      if (flags.count(name) && !inline_value) {
        flags_.insert(name);
      } else if (valued.count(name)) {
        if (!inline_value) {
          if (i + 1 >= argv.size()) {
            throw com::Error(com::kErrInvalidArgument, "korvel", "选项 --" + name + " 需要一个值");
          }
          value = argv[++i];
        }
        values_.emplace(name, value);
      } else {
        throw com::Error(com::kErrInvalidArgument, "korvel", "未知选项 --" + name);
      }
    } else if (a == "--") {
      positional_.insert(positional_.end(), argv.begin() + static_cast<long>(i) + 1, argv.end());
      break;
    } else {
      positional_.push_back(a);
    }
  }
}

std::optional<std::string> Args::Get(const std::string& name) const {
  auto it = values_.find(name);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

std::string Args::Require(const std::string& name) const {
  auto v = Get(name);
  if (!v) throw com::Error(com::kErrInvalidArgument, "korvel", "缺少选项 --" + name);
  return *v;
}

bool Args::Has(const std::string& name) const { return flags_.count(name) > 0 || values_.count(name) > 0; }

}  // namespace cli
