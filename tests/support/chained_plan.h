// A plan made in a test from a list of steps that run one after another,
// in list order, each task routine following its step's kind: for trying
// transfers and procedures in combinations no shipped plan has.
#pragma once

#include <string_view>
#include <vector>

#include "library/builder/defined_plan.h"

namespace testing_support {

class ChainedPlan final : public korvel::builder::DefinedPlan {
 public:
  explicit ChainedPlan(std::vector<korvel::builder::PlanStep> steps);

 private:
  static korvel::builder::PlanDefinition Definition(std::vector<korvel::builder::PlanStep> steps);
  static std::vector<TaskRoutine> Routines(ChainedPlan* plan, const korvel::builder::PlanDefinition& definition);
};

}  // namespace testing_support
