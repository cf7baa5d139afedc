// The property schemas of the package object model: which properties each
// kind of object supports, the type each holds, and its default.
#pragma once

#include "platform/dts/properties.h"

namespace dts::property_schema {

extern const ObjectSchema kPackage;
extern const ObjectSchema kConnection;
extern const ObjectSchema kConnectionProperties;  // open: any OLE DB property
extern const ObjectSchema kStep;
extern const ObjectSchema kPrecedenceConstraint;
extern const ObjectSchema kTask;
extern const ObjectSchema kExecuteSQLTask;
extern const ObjectSchema kDataPumpTask;
extern const ObjectSchema kTransformation;
extern const ObjectSchema kScriptServerProperties;
extern const ObjectSchema kNoServerProperties;
extern const ObjectSchema kColumn;

}  // namespace dts::property_schema
