// The depart plan: empties the version 6.0 Depart table and fills it from
// version 5.6.
#pragma once

#include "library/builder/defined_plan.h"

namespace korvel::plans {

class C5to6Depart : public builder::DefinedPlan {
 public:
  C5to6Depart();
  ~C5to6Depart() override;

  // Step 1: empties the destination table.
  void Task_Sub1(dts::Package& package);
  // Step 2: the transfer.
  void Task_Sub2(dts::Package& package);
  void oCustomTask2_Trans_Sub1(dts::DataPumpTask& task);

 protected:
  void Build(dts::Package& package, const CConnection& source, const CConnection& destination,
             const builder::Names& names) override;
};

}  // namespace korvel::plans
