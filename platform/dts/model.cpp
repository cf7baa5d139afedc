#include "platform/dts/model.h"

#include <algorithm>

#include "platform/com/error.h"
#include "platform/dts/executor.h"
#include "platform/dts/property_schema.h"

namespace dts {
namespace {

const char kSource[] = "DTS Package";

[[noreturn]] void Fail(std::int32_t number, std::string description) {
  throw com::Error(number, kSource, std::move(description));
}

bool IsKnownTransformClass(std::string_view c) {
  return c == "DTS.DataPumpTransformCopy" || c == "DTSPump.DataPumpTransformCopy" ||
         c == "DTS.DataPumpTransformScript" || c == "DTSPump.DataPumpTransformScript";
}

}  // namespace

void ThrowIndexOutOfRange(std::string_view collection, int index, int count) {
  Fail(com::kErrItemNotFound, "集合 " + std::string(collection) + " 中没有第 " + std::to_string(index) +
                                  " 项（共 " + std::to_string(count) + " 项）");
}

// ---------------------------------------------------------------- columns

Column::Column(std::string name, std::int32_t ordinal)
    : ModelObject(property_schema::kColumn), new_name_(std::move(name)), new_ordinal_(ordinal) {}

std::string Column::Name() const {
  const com::Variant* v = properties().Find("Name");
  return v ? v->ToText() : new_name_;
}

std::int32_t Column::Ordinal() const {
  const com::Variant* v = properties().Find("Ordinal");
  return v ? static_cast<std::int32_t>(v->ToInt64()) : new_ordinal_;
}

std::shared_ptr<Column> ColumnCollection::New(std::string_view name, std::int32_t ordinal) const {
  return std::make_shared<Column>(std::string(name), ordinal);
}

void ColumnCollection::Add(std::shared_ptr<Column> column) { items_.push_back(std::move(column)); }

// --------------------------------------------------------- transformations

Transformation::Transformation(std::string class_name)
    : ModelObject(property_schema::kTransformation),
      class_name_(std::move(class_name)),
      server_props_(IsScript() ? &property_schema::kScriptServerProperties : &property_schema::kNoServerProperties) {}

bool Transformation::IsScript() const {
  return class_name_.ends_with(".DataPumpTransformScript");
}

std::shared_ptr<Transformation> TransformationCollection::New(std::string_view class_name) const {
  if (!IsKnownTransformClass(class_name)) {
    Fail(com::kErrInvalidArgument, "不支持的转换类：" + std::string(class_name));
  }
  return std::make_shared<Transformation>(std::string(class_name));
}

void TransformationCollection::Add(std::shared_ptr<Transformation> t) { items_.push_back(std::move(t)); }

// ------------------------------------------------------------------- tasks

ExecuteSQLTask::ExecuteSQLTask() : CustomTask(property_schema::kExecuteSQLTask, std::string(kSQLTaskKind)) {}
DataPumpTask::DataPumpTask() : CustomTask(property_schema::kDataPumpTask, std::string(kDataPumpTaskKind)) {}

Task::Task(std::string kind) : ModelObject(property_schema::kTask), kind_(std::move(kind)) {
  if (kind_ == kSQLTaskKind) {
    custom_ = std::make_unique<ExecuteSQLTask>();
  } else if (kind_ == kDataPumpTaskKind) {
    custom_ = std::make_unique<DataPumpTask>();
  } else {
    Fail(com::kErrInvalidArgument, "不支持的任务类型：" + kind_);
  }
}

DataPumpTask& Task::AsDataPump() {
  auto* p = dynamic_cast<DataPumpTask*>(custom_.get());
  if (!p) Fail(com::kErrNoInterface, "任务“" + Name() + "”不是数据泵任务");
  return *p;
}

const DataPumpTask& Task::AsDataPump() const { return const_cast<Task*>(this)->AsDataPump(); }

std::shared_ptr<Task> TaskCollection::New(std::string_view kind) const {
  return std::make_shared<Task>(std::string(kind));
}

void TaskCollection::Add(std::shared_ptr<Task> task) {
  const std::string name = task->Name();
  if (name.empty()) Fail(com::kErrInvalidArgument, "任务必须有名称才能加入包");
  if (Find(name)) Fail(com::kErrInvalidArgument, "包中已有名为“" + name + "”的任务");
  items_.push_back(std::move(task));
}

Task* TaskCollection::Find(std::string_view name) const {
  for (const auto& t : items_) {
    if (t->Name() == name) return t.get();
  }
  return nullptr;
}

// ------------------------------------------------------------- connections

Connection::Connection(std::string provider)
    : ModelObject(property_schema::kConnection),
      provider_(std::move(provider)),
      oledb_props_(&property_schema::kConnectionProperties) {}

std::shared_ptr<Connection> ConnectionCollection::New(std::string_view provider) const {
  return std::make_shared<Connection>(std::string(provider));
}

void ConnectionCollection::Add(std::shared_ptr<Connection> c) {
  if (FindById(c->ID())) {
    Fail(com::kErrInvalidArgument, "包中已有 ID 为 " + std::to_string(c->ID()) + " 的连接");
  }
  items_.push_back(std::move(c));
}

Connection* ConnectionCollection::FindById(std::int32_t id) const {
  for (const auto& c : items_) {
    if (c->ID() == id) return c.get();
  }
  return nullptr;
}

// ------------------------------------------------------------------- steps

PrecedenceConstraint::PrecedenceConstraint(std::string step_name)
    : ModelObject(property_schema::kPrecedenceConstraint), new_step_name_(std::move(step_name)) {}

std::string PrecedenceConstraint::StepName() const {
  const com::Variant* v = properties().Find("StepName");
  return v ? v->ToText() : new_step_name_;
}

std::shared_ptr<PrecedenceConstraint> PrecedenceConstraintCollection::New(std::string_view step_name) const {
  return std::make_shared<PrecedenceConstraint>(std::string(step_name));
}

void PrecedenceConstraintCollection::Add(std::shared_ptr<PrecedenceConstraint> c) {
  items_.push_back(std::move(c));
}

Step::Step() : ModelObject(property_schema::kStep) {}

void Step::GetExecutionErrorInfo(std::int32_t* ErrorCode, std::string* Source, std::string* Description,
                                 std::string* HelpFile, std::int32_t* HelpContext,
                                 std::string* IDofInterfaceWithError) const {
  if (ErrorCode) *ErrorCode = error_.ErrorCode;
  if (Source) *Source = error_.Source;
  if (Description) *Description = error_.Description;
  if (HelpFile) *HelpFile = error_.HelpFile;
  if (HelpContext) *HelpContext = error_.HelpContext;
  if (IDofInterfaceWithError) *IDofInterfaceWithError = error_.IDofInterfaceWithError;
}

std::shared_ptr<Step> StepCollection::New() const { return std::make_shared<Step>(); }

void StepCollection::Add(std::shared_ptr<Step> step) {
  const std::string name = step->Name();
  if (name.empty()) Fail(com::kErrInvalidArgument, "步骤必须有名称才能加入包");
  if (Find(name)) Fail(com::kErrInvalidArgument, "包中已有名为“" + name + "”的步骤");
  items_.push_back(std::move(step));
}

Step& StepCollection::Item(std::string_view name) const {
  Step* s = Find(name);
  if (!s) Fail(com::kErrItemNotFound, "包中没有名为“" + std::string(name) + "”的步骤");
  return *s;
}

Step* StepCollection::Find(std::string_view name) const {
  for (const auto& s : items_) {
    if (s->Name() == name) return s.get();
  }
  return nullptr;
}

// ----------------------------------------------------------------- package

bool IsPackageOutcome(const com::Error& e) {
  return e.number() == kErrPackageFailed || e.number() == kErrPackageCancelled ||
         e.number() == kErrPackageCommitUnknown;
}

Package::Package() : ModelObject(property_schema::kPackage) {}

std::shared_ptr<Package> Package::Create() { return std::shared_ptr<Package>(new Package()); }

int Package::Advise(PackageEvents* sink) {
  if (!sink) Fail(com::kErrInvalidArgument, "事件接收者不能为空");
  const int cookie = next_cookie_++;
  sinks_.emplace_back(cookie, sink);
  return cookie;
}

void Package::Unadvise(int cookie) {
  std::erase_if(sinks_, [cookie](const auto& s) { return s.first == cookie; });
}

void Package::Execute() {
  if (executing_) Fail(com::kErrInvalidArgument, "包正在执行");
  executing_ = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{executing_};
  RunPackage(*this);
}

void Package::UnInitialize() {
  if (executing_) Fail(com::kErrInvalidArgument, "包正在执行，不能释放");
  tasks_.Clear();
  steps_.Clear();
  connections_.Clear();
  sinks_.clear();
}

EventLink::EventLink(const std::shared_ptr<Package>& package, PackageEvents* sink)
    : package_(package), cookie_(package->Advise(sink)) {}

EventLink::EventLink(EventLink&& o) noexcept : package_(std::move(o.package_)), cookie_(o.cookie_) {
  o.cookie_ = 0;
}

EventLink& EventLink::operator=(EventLink&& o) noexcept {
  if (this != &o) {
    Reset();
    package_ = std::move(o.package_);
    cookie_ = o.cookie_;
    o.cookie_ = 0;
  }
  return *this;
}

EventLink::~EventLink() { Reset(); }

void EventLink::Reset() {
  if (auto p = package_.lock(); p && cookie_ != 0) p->Unadvise(cookie_);
  package_.reset();
  cookie_ = 0;
}

}  // namespace dts
