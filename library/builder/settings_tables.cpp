#include "library/builder/settings_tables.h"

#include "platform/com/error.h"

namespace korvel::builder {
namespace {

using V = com::Variant;

const Setting kPackageTable[] = {
    {"Name", V()},  // per plan
    {"Description", V()},
    {"WriteCompletionStatusToNTEventLog", V::Bool(true)},
    {"FailOnError", V::Bool(true)},
    {"PackagePriorityClass", V::I4(2)},
    {"MaxConcurrentSteps", V::I4(4)},
    {"LineageOptions", V::I4(0)},
    {"UseTransaction", V::Bool(true)},
    {"TransactionIsolationLevel", V::I4(4096)},
    {"AutoCommitTransaction", V::Bool(true)},
    {"RepositoryMetadataOptions", V::I4(0)},
    {"UseOLEDBServiceComponents", V::Bool(true)},
    {"LogToSQLServer", V::Bool(false)},
    {"LogServerName", V::Text("(local)")},
    {"LogServerFlags", V::I4(256)},
    {"FailPackageOnLogFailure", V::Bool(false)},
    {"ExplicitGlobalVariables", V::Bool(false)},
    {"PackageType", V::I4(0)},
};

const Setting kStepTable[] = {
    {"Name", V()},  // per step
    {"Description", V()},
    {"ExecutionStatus", V::I4(1)},
    {"TaskName", V()},
    {"CommitSuccess", V::Bool(false)},
    {"RollbackFailure", V::Bool(true)},
    {"ScriptLanguage", V::Text("VBScript")},
    {"AddGlobalVariables", V::Bool(true)},
    {"RelativePriority", V::I4(3)},
    {"CloseConnection", V::Bool(false)},
    {"ExecuteInMainThread", V::Bool(true)},
    {"IsPackageDSORowset", V::Bool(false)},
    {"JoinTransactionIfPresent", V::Bool(true)},
    {"DisableStep", V::Bool(false)},
    {"FailPackageOnError", V::Bool(true)},
};

const Setting kTransformationTable[] = {
    {"Name", V()},
    {"TransformFlags", V::I4(63)},
    {"ForceSourceBlobsBuffered", V::I4(0)},
    {"ForceBlobsInMemory", V::Bool(false)},
    {"InMemoryBlobSize", V::I4(1048576)},
    {"TransformPhases", V::I4(4)},
};

void Set(dts::ModelObject& o, std::string_view name, const V& v) { o.Set(name, v); }

void AddColumns(dts::ColumnCollection& list, std::span<const ColumnSettings> defs) {
  for (const ColumnSettings& d : defs) {
    auto c = list.New(d.name, d.ordinal);
    Set(*c, "Name", V::Text(d.name));
    Set(*c, "Ordinal", V::I4(d.ordinal));
    Set(*c, "Flags", V::I4(d.flags));
    Set(*c, "Size", V::I4(d.size));
    Set(*c, "DataType", V::I4(d.type));
    Set(*c, "Precision", V::I4(0));
    Set(*c, "NumericScale", V::I4(0));
    Set(*c, "Nullable", V::Bool(d.nullable));
    list.Add(std::move(c));
  }
}

}  // namespace

void ApplyTable(dts::ModelObject& object, std::span<const Setting> table, const Overrides& overrides) {
  for (const Override& o : overrides) {
    bool known = false;
    for (const Setting& s : table) known = known || s.name == o.name;
    if (!known) {
      throw com::Error(com::kErrNoSuchProperty, "Korvel",
                       "设置表中没有名为 " + std::string(o.name) + " 的设置");
    }
  }
  for (const Setting& s : table) {
    const V* value = &s.value;
    bool skip = false;
    for (const Override& o : overrides) {
      if (o.name != s.name) continue;
      if (o.value) {
        value = &*o.value;
      } else {
        skip = true;
      }
    }
    if (!skip) object.Set(s.name, *value);
  }
}

void SetPackageTable(dts::Package& package, std::string_view name, std::string_view description,
                     const Overrides& overrides) {
  Overrides all = {{"Name", V::Text(name)}, {"Description", V::Text(description)}};
  all.insert(all.end(), overrides.begin(), overrides.end());
  ApplyTable(package, kPackageTable, all);
}

void AddSourceConnection(dts::Package& package, const CConnection& source) {
  auto c = package.Connections().New(source.Provider);
  auto& oledb = c->ConnectionProperties();
  oledb.Set("Data Source", V::Text(source.DataSource));
  oledb.Set("Mode", V::I2(1));
  oledb.Set("Jet OLEDB:Database Password", V::Text(source.Password));
  Set(*c, "Name", V::Text("连接1"));
  Set(*c, "ID", V::I4(1));
  Set(*c, "Reusable", V::Bool(true));
  Set(*c, "ConnectImmediate", V::Bool(false));
  Set(*c, "DataSource", V::Text(source.DataSource));
  Set(*c, "ConnectionTimeout", V::I4(60));
  Set(*c, "UseTrustedConnection", V::Bool(false));
  Set(*c, "UseDSL", V::Bool(false));
  package.Connections().Add(std::move(c));
}

void AddDestinationConnection(dts::Package& package, const CConnection& destination,
                              std::string_view application_name) {
  auto c = package.Connections().New(destination.Provider);
  auto& oledb = c->ConnectionProperties();
  oledb.Set("Persist Security Info", V::Bool(true));
  oledb.Set("User ID", V::Text(destination.UserID));
  oledb.Set("Initial Catalog", V::Text(destination.InitialCatalog));
  oledb.Set("Data Source", V::Text(destination.DataSource));
  oledb.Set("Application Name", V::Text(application_name));
  Set(*c, "Name", V::Text("连接2"));
  Set(*c, "ID", V::I4(2));
  Set(*c, "Reusable", V::Bool(true));
  Set(*c, "ConnectImmediate", V::Bool(false));
  Set(*c, "DataSource", V::Text(destination.DataSource));
  Set(*c, "UserID", V::Text(destination.UserID));
  Set(*c, "ConnectionTimeout", V::I4(60));
  Set(*c, "Catalog", V::Text(destination.InitialCatalog));
  Set(*c, "UseTrustedConnection", V::Bool(false));
  Set(*c, "UseDSL", V::Bool(false));
  Set(*c, "Password", V::Text(destination.Password));
  package.Connections().Add(std::move(c));
}

void AddStep(dts::Package& package, const StepSettings& step) {
  auto s = package.Steps().New();
  Overrides all = {{"Name", V::Text(step.name)},
                   {"Description", V::Text(step.description)},
                   {"TaskName", V::Text(step.task_name)}};
  all.insert(all.end(), step.overrides.begin(), step.overrides.end());
  ApplyTable(*s, kStepTable, all);
  package.Steps().Add(std::move(s));
}

void AddConstraint(dts::Package& package, std::string_view waiting, std::string_view waited_for) {
  dts::Step& step = package.Steps().Item(waiting);
  auto c = step.PrecedenceConstraints().New(waited_for);
  Set(*c, "StepName", V::Text(waited_for));
  Set(*c, "PrecedenceBasis", V::I4(dts::kBasisExecResult));
  Set(*c, "Value", V::I2(dts::kStepSuccess));
  step.PrecedenceConstraints().Add(std::move(c));
}

void AddSQLTask(dts::Package& package, std::string_view name, std::string_view sql) {
  auto t = package.Tasks().New(dts::kSQLTaskKind);
  Set(*t, "Name", V::Text(name));
  auto& ct = t->GetCustomTask();
  Set(ct, "Name", V::Text(name));
  Set(ct, "Description", V::Text(name));
  Set(ct, "SQLStatement", V::Text(sql));
  Set(ct, "ConnectionID", V::I4(2));
  Set(ct, "CommandTimeout", V::I4(0));
  Set(ct, "OutputAsRecordset", V::Bool(false));
  package.Tasks().Add(std::move(t));
}

std::shared_ptr<dts::Task> NewDataPumpTask(dts::Package& package, const PumpSettings& pump) {
  auto t = package.Tasks().New(dts::kDataPumpTaskKind);
  Set(*t, "Name", V::Text(pump.name));
  auto& ct = t->GetCustomTask();
  Set(ct, "Name", V::Text(pump.name));
  Set(ct, "Description", V::Text(pump.name));
  Set(ct, "SourceConnectionID", V::I4(1));
  Set(ct, "SourceSQLStatement", V::Text(pump.source_sql));
  Set(ct, "DestinationConnectionID", V::I4(2));
  Set(ct, "DestinationObjectName", V::Text(pump.destination_object));
  Set(ct, "ProgressRowCount", V::I4(1000));
  Set(ct, "MaximumErrorCount", V::I4(0));
  Set(ct, "FetchBufferSize", V::I4(1));
  Set(ct, "UseFastLoad", V::Bool(true));
  Set(ct, "InsertCommitSize", V::I4(0));
  Set(ct, "ExceptionFileColumnDelimiter", V::Text("|"));
  Set(ct, "ExceptionFileRowDelimiter", V::Text("\r\n"));
  Set(ct, "AllowIdentityInserts", V::Bool(pump.allow_identity_inserts));
  Set(ct, "FirstRow", pump.first_row);
  Set(ct, "LastRow", pump.last_row);
  Set(ct, "FastLoadOptions", V::I4(pump.fast_load_options));
  Set(ct, "ExceptionFileOptions", V::I4(1));
  Set(ct, "DataPumpOptions", V::I4(0));
  return t;
}

void AddTask(dts::Package& package, std::shared_ptr<dts::Task> task) {
  package.Tasks().Add(std::move(task));
}

void AddTransformation(dts::DataPumpTask& task, const TransformSettings& transform) {
  auto t = task.Transformations().New(transform.class_name);
  ApplyTable(*t, kTransformationTable, {{"Name", V::Text(transform.name)}});
  AddColumns(t->SourceColumns(), transform.source);
  AddColumns(t->DestinationColumns(), transform.destination);
  if (transform.kind == TransformKind::kScript) {
    std::string text;
    for (std::size_t i = 0; i < transform.script_lines.size(); ++i) {
      if (i) text += "\r\n";
      text += transform.script_lines[i];
    }
    t->TransformServerProperties().Set("Text", V::Text(text));
    t->TransformServerProperties().Set("Language", V::Text("VBScript"));
    t->TransformServerProperties().Set("FunctionEntry", V::Text("Main"));
  }
  task.Transformations().Add(std::move(t));
}

}  // namespace korvel::builder
