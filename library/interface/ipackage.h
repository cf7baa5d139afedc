// The plan interface. Every plan class implements it; IPackage itself is
// creatable and does nothing: KorvelInit drops its arguments, KorvelExec
// returns at once, GetPackage returns no package.
//
// Calling order: KorvelInit once (both descriptors' Provider already holds
// the OLE DB provider name), GetPackage any number of times to subscribe to
// events and read the task count, KorvelExec once, then release the object.
#pragma once

#include <memory>

#include "library/interface/cconnection.h"
#include "platform/dts/model.h"

namespace korvel {

class IPackage : public com::Object {
 public:
  IPackage();
  ~IPackage() override;

  // Builds the plan's package from the two descriptors.
  virtual void KorvelInit(CConnection& SourceConn, CConnection& DestinationConn);
  // Executes the package, reports every failed step, releases the package.
  // The reports go to the report sink installed for the call
  // (report_sink.h; KorvelExecReportingTo names it where a plan runs).
  // Raises when the package could not run or any step failed (after the
  // reports), so a failed upgrade never returns as a success.
  virtual void KorvelExec();
  // The package built by KorvelInit; null before it and after KorvelExec.
  virtual std::shared_ptr<dts::Package> GetPackage();
};

}  // namespace korvel
