// What the commands that build a plan share: the plan by its class name,
// the connection descriptors as the wizard fills them, and the JSON report
// file.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "library/interface/cconnection.h"
#include "library/interface/ipackage.h"
#include "platform/dts/model.h"

namespace cli {

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

// Refuses, before any work, a report path that cannot be written: a
// folder, or a place where no file can be made. Nothing there is changed:
// the report replaces it only once it is written whole.
void RefuseUnwritableReport(const std::string& path);

// The scheme's name in the model list beside the program
// ("5.6升级到6.0默认方案"), or "" when the list does not name the class.
std::string ModelName(const std::string& class_name);

}  // namespace cli
