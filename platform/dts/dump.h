// A deterministic text dump of a built package, one line per object
// creation and per property, in tree order, each object's properties in
// the order they were first set. docs/package-dump.md describes the format.
#pragma once

#include <string>

#include "platform/dts/model.h"

namespace dts {

struct DumpOptions {
  // Non-empty passwords print as <hidden>.
  bool hide_passwords = true;
};

std::string DumpPackage(const Package& package, const DumpOptions& options = {});

// The dump's spelling of a value: its type name, a space, the value; texts
// double-quoted with \\ \" \r \n \t and \xNN escapes.
std::string DumpValue(const com::Variant& v);

}  // namespace dts
