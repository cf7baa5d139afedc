// How an upgrade run ended: what the report records, the JSON report's word
// for it and the PDF's, from one table.
#pragma once

namespace assurance {

enum class RunOutcome {
  kSuccess,       // committed, and the reconciliation matched
  kMismatch,      // committed, but the reconciliation differs
  kUnreconciled,  // committed, but the recount could not be made
  kUnknown,       // the commit's answer was lost and the database could not tell
  kFailed,        // not committed: the destination is as it was
};

// "success", "mismatch", "unreconciled", "unknown", "failed": the outcome
// as the JSON report names it.
const char* OutcomeName(RunOutcome outcome);
// "成功", "完成，但对账不符", ...: the outcome as the PDF report says it.
const char* OutcomeCaption(RunOutcome outcome);

}  // namespace assurance
