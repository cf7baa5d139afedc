// What the commands that build a plan share: the plan by its class name,
// the connection descriptors as the wizard fills them, and the JSON report
// file.
#pragma once

#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <string_view>

#include "library/interface/cconnection.h"
#include "library/interface/ipackage.h"
#include "platform/dts/model.h"

namespace cli {

// The options of the commands that take a plan, its source and its
// destination (korvel run, korvel check).
extern const std::set<std::string> kPlanOptions;

// The plan of a class name ("C5to6Normal"); raises when no such class is
// registered.
std::shared_ptr<korvel::IPackage> CreatePlan(const std::string& class_name);

// The descriptors as the wizard fills them (provider codes, trimmed
// entries), then with the OLE DB provider names the plans receive.
void FillConnections(korvel::CConnection& src, korvel::CConnection& dst, const std::string& file,
                     const std::string& source_password, const std::string& server, const std::string& user,
                     const std::string& password, const std::string& database);

// A plan initialised with the two descriptors FillConnections fills, and
// the package it built; raises when the plan builds none.
struct BuiltPlan {
  std::shared_ptr<korvel::IPackage> plan;
  std::shared_ptr<dts::Package> package;
};
BuiltPlan BuildPlan(const std::string& class_name, const std::string& file, const std::string& source_password,
                    const std::string& server, const std::string& user, const std::string& password,
                    const std::string& database);

// A JSON string literal of UTF-8 text.
std::string JsonString(std::string_view s);

// The report file, opened before anything runs, so that a path that cannot
// be written is refused before the work rather than after it.
std::unique_ptr<std::ofstream> OpenReport(const std::string& path);

}  // namespace cli
