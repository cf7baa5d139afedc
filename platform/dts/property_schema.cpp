#include "platform/dts/property_schema.h"

namespace dts::property_schema {
namespace {

using V = com::Variant;
constexpr PropType B = PropType::kBool;
constexpr PropType I4 = PropType::kI4;
constexpr PropType T = PropType::kText;
constexpr PropType VAR = PropType::kVariant;

const PropertySpec kPackageProps[] = {
    {"Name", T, V::Text("")},
    {"Description", T, V::Text("")},
    {"WriteCompletionStatusToNTEventLog", B, V::Bool(false)},
    {"FailOnError", B, V::Bool(false)},
    {"PackagePriorityClass", I4, V::I4(2)},
    {"MaxConcurrentSteps", I4, V::I4(4)},
    {"LineageOptions", I4, V::I4(0)},
    {"UseTransaction", B, V::Bool(true)},
    {"TransactionIsolationLevel", I4, V::I4(4096)},
    {"AutoCommitTransaction", B, V::Bool(true)},
    {"RepositoryMetadataOptions", I4, V::I4(0)},
    {"UseOLEDBServiceComponents", B, V::Bool(true)},
    {"LogFileName", T, V::Text("")},
    {"LogToSQLServer", B, V::Bool(false)},
    {"LogServerName", T, V::Text("")},
    {"LogServerUserName", T, V::Text("")},
    {"LogServerPassword", T, V::Text("")},
    {"LogServerFlags", I4, V::I4(0)},
    {"FailPackageOnLogFailure", B, V::Bool(false)},
    {"ExplicitGlobalVariables", B, V::Bool(false)},
    {"PackageType", I4, V::I4(0)},
    {"NestedExecutionAllowed", B, V::Bool(false)},
};

const PropertySpec kConnectionProps[] = {
    {"Name", T, V::Text("")},
    {"Description", T, V::Text("")},
    {"ID", I4, V::I4(0)},
    {"Reusable", B, V::Bool(false)},
    {"ConnectImmediate", B, V::Bool(false)},
    {"DataSource", T, V::Text("")},
    {"UserID", T, V::Text("")},
    {"Password", T, V::Text("")},
    {"ConnectionTimeout", I4, V::I4(60)},
    {"Catalog", T, V::Text("")},
    {"UseTrustedConnection", B, V::Bool(false)},
    {"UseDSL", B, V::Bool(false)},
};

const PropertySpec kStepProps[] = {
    {"Name", T, V::Text("")},
    {"Description", T, V::Text("")},
    {"ExecutionStatus", I4, V::I4(1)},
    {"TaskName", T, V::Text("")},
    {"CommitSuccess", B, V::Bool(false)},
    {"RollbackFailure", B, V::Bool(false)},
    {"ScriptLanguage", T, V::Text("")},
    {"ActiveXScript", T, V::Text("")},
    {"FunctionName", T, V::Text("")},
    {"AddGlobalVariables", B, V::Bool(true)},
    {"RelativePriority", I4, V::I4(3)},
    {"CloseConnection", B, V::Bool(false)},
    {"ExecuteInMainThread", B, V::Bool(false)},
    {"IsPackageDSORowset", B, V::Bool(false)},
    {"JoinTransactionIfPresent", B, V::Bool(false)},
    {"DisableStep", B, V::Bool(false)},
    {"FailPackageOnError", B, V::Bool(false)},
};

const PropertySpec kConstraintProps[] = {
    {"StepName", T, V::Text("")},
    {"PrecedenceBasis", I4, V::I4(1)},
    {"Value", VAR, V::I4(0)},
};

const PropertySpec kTaskProps[] = {
    {"Name", T, V::Text("")},
    {"Description", T, V::Text("")},
};

const PropertySpec kExecuteSQLTaskProps[] = {
    {"Name", T, V::Text("")},
    {"Description", T, V::Text("")},
    {"SQLStatement", T, V::Text("")},
    {"ConnectionID", I4, V::I4(0)},
    {"CommandTimeout", I4, V::I4(0)},
    {"OutputAsRecordset", B, V::Bool(false)},
};

const PropertySpec kDataPumpTaskProps[] = {
    {"Name", T, V::Text("")},
    {"Description", T, V::Text("")},
    {"SourceConnectionID", I4, V::I4(0)},
    {"SourceSQLStatement", T, V::Text("")},
    {"SourceObjectName", T, V::Text("")},
    {"DestinationConnectionID", I4, V::I4(0)},
    {"DestinationObjectName", T, V::Text("")},
    {"DestinationSQLStatement", T, V::Text("")},
    {"ProgressRowCount", I4, V::I4(1000)},
    {"MaximumErrorCount", I4, V::I4(0)},
    {"FetchBufferSize", I4, V::I4(100)},
    {"UseFastLoad", B, V::Bool(true)},
    {"InsertCommitSize", I4, V::I4(0)},
    {"ExceptionFileName", T, V::Text("")},
    {"ExceptionFileColumnDelimiter", T, V::Text("|")},
    {"ExceptionFileRowDelimiter", T, V::Text("\r\n")},
    {"ExceptionFileTextQualifier", T, V::Text("")},
    {"AllowIdentityInserts", B, V::Bool(false)},
    {"FirstRow", VAR, V::I4(0)},
    {"LastRow", VAR, V::I4(0)},
    {"FastLoadOptions", I4, V::I4(2)},
    {"ExceptionFileOptions", I4, V::I4(0)},
    {"DataPumpOptions", I4, V::I4(0)},
};

const PropertySpec kTransformationProps[] = {
    {"Name", T, V::Text("")},
    {"TransformFlags", I4, V::I4(63)},
    {"ForceSourceBlobsBuffered", I4, V::I4(0)},
    {"ForceBlobsInMemory", B, V::Bool(false)},
    {"InMemoryBlobSize", I4, V::I4(1048576)},
    {"TransformPhases", I4, V::I4(4)},
};

const PropertySpec kScriptServerProps[] = {
    {"Text", T, V::Text("")},
    {"Language", T, V::Text("")},
    {"FunctionEntry", T, V::Text("")},
};

const PropertySpec kColumnProps[] = {
    {"Name", T, V::Text("")},
    {"Ordinal", I4, V::I4(0)},
    {"Flags", I4, V::I4(0)},
    {"Size", I4, V::I4(0)},
    {"DataType", I4, V::I4(0)},
    {"Precision", I4, V::I4(0)},
    {"NumericScale", I4, V::I4(0)},
    {"Nullable", B, V::Bool(false)},
};

}  // namespace

const ObjectSchema kPackage{"Package", kPackageProps};
const ObjectSchema kConnection{"Connection", kConnectionProps};
const ObjectSchema kConnectionProperties{"ConnectionProperties", {}, true};
const ObjectSchema kStep{"Step", kStepProps};
const ObjectSchema kPrecedenceConstraint{"PrecedenceConstraint", kConstraintProps};
const ObjectSchema kTask{"Task", kTaskProps};
const ObjectSchema kExecuteSQLTask{"ExecuteSQLTask", kExecuteSQLTaskProps};
const ObjectSchema kDataPumpTask{"DataPumpTask", kDataPumpTaskProps};
const ObjectSchema kTransformation{"Transformation", kTransformationProps};
const ObjectSchema kScriptServerProperties{"TransformServerProperties", kScriptServerProps};
const ObjectSchema kNoServerProperties{"TransformServerProperties", {}};
const ObjectSchema kColumn{"Column", kColumnProps};

}  // namespace dts::property_schema
