#include "library/assurance/run_outcome.h"

namespace assurance {
namespace {

struct OutcomeWords {
  RunOutcome outcome;
  const char* name;
  const char* caption;
};

constexpr OutcomeWords kOutcomeWords[] = {
    {RunOutcome::kSuccess, "success", "成功"},
    {RunOutcome::kMismatch, "mismatch", "完成，但对账不符"},
    {RunOutcome::kUnreconciled, "unreconciled", "已提交，但无法对账"},
    {RunOutcome::kUnknown, "unknown", "提交结果未知"},
    {RunOutcome::kFailed, "failed", "失败"},
};

const OutcomeWords& WordsOf(RunOutcome outcome) {
  for (const OutcomeWords& w : kOutcomeWords) {
    if (w.outcome == outcome) return w;
  }
  return kOutcomeWords[4];  // not reached: every outcome has its row
}

}  // namespace

const char* OutcomeName(RunOutcome outcome) { return WordsOf(outcome).name; }
const char* OutcomeCaption(RunOutcome outcome) { return WordsOf(outcome).caption; }

}  // namespace assurance
