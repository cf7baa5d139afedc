#include "platform/dts/dump.h"

#include <algorithm>
#include <cstdio>

namespace dts {
namespace {

std::string Quote(std::string_view s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\x%02X", c);
          out += buf;
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
  }
  out += '"';
  return out;
}

bool IsSecret(std::string_view name) {
  return name == "Password" || name == "Jet OLEDB:Database Password" || name == "LogServerPassword";
}

class Dumper {
 public:
  explicit Dumper(const DumpOptions& o) : options_(o) {}

  void Line(const std::string& path, const std::string& rhs) { out_ += path + " = " + rhs + "\n"; }

  // Properties of one object and of its keyed sub-bag, merged in the order
  // they were set.
  void Props(const std::string& path, const PropertyBag& own, const PropertyBag* keyed = nullptr,
             std::string_view keyed_name = {}) {
    struct Item {
      const PropertyEntry* e;
      bool keyed;
    };
    std::vector<Item> items;
    for (const auto& e : own.entries()) items.push_back({&e, false});
    if (keyed) {
      for (const auto& e : keyed->entries()) items.push_back({&e, true});
    }
    std::stable_sort(items.begin(), items.end(),
                     [](const Item& a, const Item& b) { return a.e->sequence < b.e->sequence; });
    for (const auto& it : items) {
      const std::string p = it.keyed ? path + "." + std::string(keyed_name) + "(" + Quote(it.e->name) + ")"
                                     : path + "." + it.e->name;
      const bool hide = options_.hide_passwords && IsSecret(it.e->name) && it.e->value.IsText() &&
                        !it.e->value.text().empty();
      Line(p, hide ? "str <hidden>" : DumpValue(it.e->value));
    }
  }

  void Columns(const std::string& path, const ColumnCollection& cols) {
    int i = 0;
    for (const auto& c : cols) {
      const std::string p = path + "(" + std::to_string(++i) + ")";
      Line(p, "New(" + Quote(c->new_name()) + ", " + std::to_string(c->new_ordinal()) + ")");
      Props(p, c->properties());
    }
  }

  std::string Run(const Package& pkg) {
    Props("Package", pkg.properties());
    int i = 0;
    for (const auto& c : pkg.Connections()) {
      const std::string p = "Package.Connections(" + std::to_string(++i) + ")";
      Line(p, "New(" + Quote(c->ProviderID()) + ")");
      Props(p, c->properties(), &c->ConnectionProperties(), "ConnectionProperties");
    }
    i = 0;
    for (const auto& s : pkg.Steps()) {
      const std::string p = "Package.Steps(" + std::to_string(++i) + ")";
      Line(p, "New()");
      Props(p, s->properties());
      int j = 0;
      for (const auto& pc : s->PrecedenceConstraints()) {
        const std::string q = p + ".PrecedenceConstraints(" + std::to_string(++j) + ")";
        Line(q, "New(" + Quote(pc->new_step_name()) + ")");
        Props(q, pc->properties());
      }
    }
    i = 0;
    for (const auto& t : pkg.Tasks()) {
      const std::string p = "Package.Tasks(" + std::to_string(++i) + ")";
      Line(p, "New(" + Quote(t->kind()) + ")");
      Props(p, t->properties());
      Props(p + ".CustomTask", t->GetCustomTask().properties());
      if (t->kind() != kDataPumpTaskKind) continue;
      int j = 0;
      for (const auto& tr : t->AsDataPump().Transformations()) {
        const std::string q = p + ".CustomTask.Transformations(" + std::to_string(++j) + ")";
        Line(q, "New(" + Quote(tr->class_name()) + ")");
        Props(q, tr->properties(), &tr->TransformServerProperties(), "TransformServerProperties");
        Columns(q + ".SourceColumns", tr->SourceColumns());
        Columns(q + ".DestinationColumns", tr->DestinationColumns());
      }
    }
    return std::move(out_);
  }

 private:
  const DumpOptions& options_;
  std::string out_;
};

}  // namespace

std::string DumpValue(const com::Variant& v) {
  std::string type(com::VarTypeName(v.type()));
  switch (v.type()) {
    case com::VarType::kEmpty:
    case com::VarType::kNull:
      return type;
    case com::VarType::kText:
      return type + " " + Quote(v.text());
    case com::VarType::kBool:
      return type + (v.integer() ? " true" : " false");
    default:
      return type + " " + v.ToText();
  }
}

std::string DumpPackage(const Package& package, const DumpOptions& options) {
  return Dumper(options).Run(package);
}

}  // namespace dts
