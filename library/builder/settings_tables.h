// The settings every plan gives its package objects, as tables of settings
// (a property name and its value, in the order set; no database table), and
// the helpers that build each object from its table. A plan names only what
// differs: an override replaces a setting's value in place, or leaves the
// setting unset, so the order of settings is always the table's.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "library/interface/cconnection.h"
#include "platform/com/variant.h"
#include "platform/dts/model.h"

namespace korvel::builder {

struct Setting {
  std::string_view name;
  com::Variant value;
};

// Replaces the value of a setting of the table; without a value the setting
// is left unset.
struct Override {
  std::string_view name;
  std::optional<com::Variant> value;
};
using Overrides = std::vector<Override>;

// Sets the table's settings on an object in table order, applying the
// overrides. Raises when an override names no setting of the table.
void ApplyTable(dts::ModelObject& object, std::span<const Setting> table, const Overrides& overrides);

// ---- package table
void SetPackageTable(dts::Package& package, std::string_view name, std::string_view description,
                     const Overrides& overrides = {});

// ---- connection table
inline constexpr std::string_view kImportWizardAppName = "DTS 导入/导出向导";
inline constexpr std::string_view kDesignerAppName = "DTS 设计器";

// Connection 1 from the source descriptor: reads Provider, DataSource and
// Password.
void AddSourceConnection(dts::Package& package, const CConnection& source);
// Connection 2 from the destination descriptor: reads Provider, UserID,
// InitialCatalog, DataSource and Password.
void AddDestinationConnection(dts::Package& package, const CConnection& destination,
                              std::string_view application_name = kImportWizardAppName);

// ---- step table and constraint table
struct StepSettings {
  std::string name;
  std::string description;  // usually the name
  std::string task_name;    // usually the name
  Overrides overrides;
};
void AddStep(dts::Package& package, const StepSettings& step);
// The step named `waiting` runs only after the step named `waited_for` has
// finished with success.
void AddConstraint(dts::Package& package, std::string_view waiting, std::string_view waited_for);

// ---- SQL task table
void AddSQLTask(dts::Package& package, std::string_view name, std::string_view sql);

// ---- data pump table
struct PumpSettings {
  std::string name;                 // task name, custom task name and description
  std::string source_sql;
  std::string destination_object;
  bool allow_identity_inserts = false;
  std::int32_t fast_load_options = 2;
  com::Variant first_row = com::Variant::I2(0);
  com::Variant last_row = com::Variant::I2(0);
};
// Creates the task and sets the data pump table; the caller adds the
// transformation and then the task (AddTask).
std::shared_ptr<dts::Task> NewDataPumpTask(dts::Package& package, const PumpSettings& pump);
void AddTask(dts::Package& package, std::shared_ptr<dts::Task> task);

// ---- transformation table and column table
// One row of a transformation's column table: a source or destination
// column as the data pump describes it.
struct ColumnSettings {
  std::string_view name;
  std::int32_t ordinal;
  std::int32_t flags;
  std::int32_t size;
  std::int32_t type;  // OLE DB type indicator
  bool nullable;
};

enum class TransformKind { kCopy, kScript };

struct TransformSettings {
  TransformKind kind = TransformKind::kCopy;
  std::string_view class_name = "DTS.DataPumpTransformCopy";
  std::string_view name = "DirectCopyXform";
  std::span<const ColumnSettings> source{};
  std::span<const ColumnSettings> destination{};
  std::span<const std::string_view> script_lines{};  // script kind: joined by "\r\n"
};
void AddTransformation(dts::DataPumpTask& task, const TransformSettings& transform);

}  // namespace korvel::builder
