// The package object model: a package with its connections, steps,
// precedence constraints and tasks; a data pump task's transformations and
// their column definitions. Objects are created by a collection's New,
// given their properties (property_schema.cpp names them, with their types
// and defaults), then added with the collection's Add, as the package
// library's automation model does.
//
// Execute runs the package through the executor, whose rules executor.h
// states; the text dump of a built package is in dump.h.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/object.h"
#include "platform/com/variant.h"
#include "platform/dts/events.h"
#include "platform/dts/driver.h"
#include "platform/dts/properties.h"

namespace dts {

inline constexpr std::string_view kSQLTaskKind = "DTSExecuteSQLTask";
inline constexpr std::string_view kDataPumpTaskKind = "DTSDataPumpTask";

// Step execution status and result, as the package library numbers them.
enum StepExecStatus : std::int32_t {
  kStepWaiting = 1,
  kStepInProgress = 2,
  kStepInactive = 3,
  kStepCompleted = 4,
};
enum StepExecResult : std::int32_t { kStepSuccess = 0, kStepFailure = 1 };

// Precedence constraint bases.
enum PrecedenceBasis : std::int32_t {
  kBasisExecStatus = 0,
  kBasisExecResult = 1,
};

// An object with a property bag.
class ModelObject {
 public:
  explicit ModelObject(const ObjectSchema& schema) : props_(&schema) {}
  virtual ~ModelObject() = default;
  ModelObject(const ModelObject&) = delete;
  ModelObject& operator=(const ModelObject&) = delete;

  void Set(std::string_view name, const com::Variant& value) { props_.Set(name, value); }
  com::Variant Get(std::string_view name) const { return props_.Get(name); }
  bool GetBool(std::string_view name) const { return props_.GetBool(name); }
  std::int32_t GetLong(std::string_view name) const { return props_.GetLong(name); }
  std::string GetText(std::string_view name) const { return props_.GetText(name); }
  const PropertyBag& properties() const { return props_; }

 private:
  PropertyBag props_;
};

// An ordered collection; Item is 1-based, as in the automation model.
template <class T>
class Collection {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  T& Item(int index) const;
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }
  void Clear() { items_.clear(); }

 protected:
  std::vector<std::shared_ptr<T>> items_;
};

[[noreturn]] void ThrowIndexOutOfRange(std::string_view collection, int index, int count);

template <class T>
T& Collection<T>::Item(int index) const {
  if (index < 1 || index > Count()) ThrowIndexOutOfRange(T::kCollectionName, index, Count());
  return *items_[static_cast<std::size_t>(index - 1)];
}

// ---------------------------------------------------------------- columns

class Column : public ModelObject {
 public:
  static constexpr std::string_view kCollectionName = "Columns";
  Column(std::string name, std::int32_t ordinal);

  // Name and Ordinal as set, else as given to New.
  std::string Name() const;
  std::int32_t Ordinal() const;
  const std::string& new_name() const { return new_name_; }
  std::int32_t new_ordinal() const { return new_ordinal_; }

 private:
  std::string new_name_;
  std::int32_t new_ordinal_;
};

class ColumnCollection : public Collection<Column> {
 public:
  std::shared_ptr<Column> New(std::string_view name, std::int32_t ordinal) const;
  void Add(std::shared_ptr<Column> column);
};

// --------------------------------------------------------- transformations

class Transformation : public ModelObject {
 public:
  static constexpr std::string_view kCollectionName = "Transformations";
  explicit Transformation(std::string class_name);

  // The class name given to New, e.g. "DTS.DataPumpTransformCopy".
  const std::string& class_name() const { return class_name_; }
  bool IsScript() const;

  ColumnCollection& SourceColumns() { return source_; }
  ColumnCollection& DestinationColumns() { return destination_; }
  const ColumnCollection& SourceColumns() const { return source_; }
  const ColumnCollection& DestinationColumns() const { return destination_; }
  // The transformation server's own properties ("Text", "Language",
  // "FunctionEntry" for the script kind; none for the copy kind).
  PropertyBag& TransformServerProperties() { return server_props_; }
  const PropertyBag& TransformServerProperties() const { return server_props_; }

 private:
  std::string class_name_;
  ColumnCollection source_;
  ColumnCollection destination_;
  PropertyBag server_props_;
};

class TransformationCollection : public Collection<Transformation> {
 public:
  // Raises for a class name the runtime does not know.
  std::shared_ptr<Transformation> New(std::string_view class_name) const;
  void Add(std::shared_ptr<Transformation> t);
};

// ------------------------------------------------------------------- tasks

class CustomTask : public ModelObject {
 public:
  CustomTask(const ObjectSchema& schema, std::string kind) : ModelObject(schema), kind_(std::move(kind)) {}
  const std::string& kind() const { return kind_; }

 private:
  std::string kind_;
};

class ExecuteSQLTask : public CustomTask {
 public:
  ExecuteSQLTask();
};

class DataPumpTask : public CustomTask {
 public:
  DataPumpTask();
  TransformationCollection& Transformations() { return transformations_; }
  const TransformationCollection& Transformations() const { return transformations_; }

 private:
  TransformationCollection transformations_;
};

class Task : public ModelObject {
 public:
  static constexpr std::string_view kCollectionName = "Tasks";
  explicit Task(std::string kind);

  const std::string& kind() const { return kind_; }
  std::string Name() const { return GetText("Name"); }
  CustomTask& GetCustomTask() { return *custom_; }
  const CustomTask& GetCustomTask() const { return *custom_; }
  // The custom task as a data pump task; raises when it is another kind.
  DataPumpTask& AsDataPump();
  const DataPumpTask& AsDataPump() const;

 private:
  std::string kind_;
  std::unique_ptr<CustomTask> custom_;
};

class TaskCollection : public Collection<Task> {
 public:
  // kind: "DTSExecuteSQLTask" or "DTSDataPumpTask"; raises for others.
  std::shared_ptr<Task> New(std::string_view kind) const;
  // Raises when the task has no name or its name is taken.
  void Add(std::shared_ptr<Task> task);
  Task* Find(std::string_view name) const;
};

// ------------------------------------------------------------- connections

class Connection : public ModelObject {
 public:
  static constexpr std::string_view kCollectionName = "Connections";
  explicit Connection(std::string provider);

  const std::string& ProviderID() const { return provider_; }
  std::int32_t ID() const { return GetLong("ID"); }
  PropertyBag& ConnectionProperties() { return oledb_props_; }
  const PropertyBag& ConnectionProperties() const { return oledb_props_; }

 private:
  std::string provider_;
  PropertyBag oledb_props_;
};

class ConnectionCollection : public Collection<Connection> {
 public:
  std::shared_ptr<Connection> New(std::string_view provider) const;
  // Raises when another connection has the same ID.
  void Add(std::shared_ptr<Connection> c);
  Connection* FindById(std::int32_t id) const;
};

// ------------------------------------------------------------------- steps

class PrecedenceConstraint : public ModelObject {
 public:
  static constexpr std::string_view kCollectionName = "PrecedenceConstraints";
  explicit PrecedenceConstraint(std::string step_name);

  // StepName as set, else as given to New.
  std::string StepName() const;
  const std::string& new_step_name() const { return new_step_name_; }

 private:
  std::string new_step_name_;
};

class PrecedenceConstraintCollection : public Collection<PrecedenceConstraint> {
 public:
  std::shared_ptr<PrecedenceConstraint> New(std::string_view step_name) const;
  void Add(std::shared_ptr<PrecedenceConstraint> c);
};

struct ExecutionErrorInfo {
  std::int32_t ErrorCode = 0;
  std::string Source;
  std::string Description;
  std::string HelpFile;
  std::int32_t HelpContext = 0;
  std::string IDofInterfaceWithError;
};

// A row of a transfer, for reports: its position in the source and its key.
struct RowMark {
  std::int64_t position = 0;  // 1 for the first row the source query returned
  std::string key;            // "UnitID=C001", or "" when the key is not written
};

struct ColumnTruncation {
  static constexpr std::size_t kRowsKept = 5;
  std::string column;       // destination column
  std::int64_t count = 0;   // values cut or changed to fit
  std::vector<RowMark> first_rows;  // the first kRowsKept rows with such a value
};

// What one execution of a step did, for reports.
struct StepStatistics {
  std::int64_t rows_read = 0;
  std::int64_t rows_written = 0;
  std::vector<ColumnTruncation> truncations;
  std::vector<RowsAffected> statements;  // a SQL task's changing statements
  double seconds = 0;
};

class Step : public ModelObject {
 public:
  static constexpr std::string_view kCollectionName = "Steps";
  Step();

  std::string Name() const { return GetText("Name"); }
  PrecedenceConstraintCollection& PrecedenceConstraints() { return constraints_; }
  const PrecedenceConstraintCollection& PrecedenceConstraints() const { return constraints_; }

  // Results of the last Execute. Before any run: waiting, success.
  std::int32_t RunStatus() const { return run_status_; }
  std::int32_t ExecutionResult() const { return result_; }
  void GetExecutionErrorInfo(std::int32_t* ErrorCode, std::string* Source, std::string* Description,
                             std::string* HelpFile, std::int32_t* HelpContext,
                             std::string* IDofInterfaceWithError) const;
  const ExecutionErrorInfo& error_info() const { return error_; }
  const StepStatistics& statistics() const { return stats_; }

 private:
  friend class Executor;
  PrecedenceConstraintCollection constraints_;
  std::int32_t run_status_ = kStepWaiting;
  std::int32_t result_ = kStepSuccess;
  ExecutionErrorInfo error_;
  StepStatistics stats_;
};

class StepCollection : public Collection<Step> {
 public:
  std::shared_ptr<Step> New() const;
  // Raises when the step has no name or its name is taken.
  void Add(std::shared_ptr<Step> step);
  using Collection<Step>::Item;
  // Lookup by name; raises when there is none.
  Step& Item(std::string_view name) const;
  Step* Find(std::string_view name) const;
};

// ----------------------------------------------------------------- package

// Error numbers Execute raises once the package has run.
inline constexpr std::int32_t kErrPackageFailed = com::ErrorNumber(0x80040428u);
inline constexpr std::int32_t kErrPackageCancelled = com::ErrorNumber(0x80040429u);
// Every step succeeded and the commit of the package transaction was sent,
// but its answer was lost with the connection: whether the server
// committed is not known. The caller must find out from the database.
inline constexpr std::int32_t kErrPackageCommitUnknown = com::ErrorNumber(0x8004042Au);
// True for the errors above: the package ran, and its outcome (which steps
// failed) is recorded in its steps.
bool IsPackageOutcome(const com::Error& e);

class Package : public com::Object, public ModelObject {
 public:
  static std::shared_ptr<Package> Create();

  ConnectionCollection& Connections() { return connections_; }
  StepCollection& Steps() { return steps_; }
  TaskCollection& Tasks() { return tasks_; }
  const ConnectionCollection& Connections() const { return connections_; }
  const StepCollection& Steps() const { return steps_; }
  const TaskCollection& Tasks() const { return tasks_; }

  // Runs the package to its end by the executor's rules (executor.h). Returns
  // normally when every step that ran succeeded. Raises kErrPackageFailed
  // when a step failed or the package transaction could not commit,
  // kErrPackageCommitUnknown when the commit's answer was lost, and
  // kErrPackageCancelled when a subscriber cancelled; the steps then hold
  // their results and error information. Raises other errors, before any
  // step runs, for a package that cannot be executed at all.
  void Execute();

  // Releases everything the package holds: connections, steps, tasks, event
  // subscriptions. The package is empty afterwards.
  void UnInitialize();

  // Event subscriptions. The sink must outlive the subscription.
  int Advise(PackageEvents* sink);
  void Unadvise(int cookie);
  const std::vector<std::pair<int, PackageEvents*>>& sinks() const { return sinks_; }

 private:
  Package();

  ConnectionCollection connections_;
  StepCollection steps_;
  TaskCollection tasks_;
  std::vector<std::pair<int, PackageEvents*>> sinks_;
  int next_cookie_ = 1;
  bool executing_ = false;
};

// Holds an event subscription and ends it when destroyed.
class EventLink {
 public:
  EventLink() = default;
  EventLink(const std::shared_ptr<Package>& package, PackageEvents* sink);
  EventLink(EventLink&& o) noexcept;
  EventLink& operator=(EventLink&& o) noexcept;
  ~EventLink();
  void Reset();

 private:
  std::weak_ptr<Package> package_;
  int cookie_ = 0;
};

}  // namespace dts
