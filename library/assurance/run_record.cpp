#include "library/assurance/run_record.h"

namespace assurance {

RunRecorder::RunRecorder(dts::Package& package, dts::PackageEvents* next) : package_(package), next_(next) {
  for (const auto& s : package.Steps()) {
    StepRecord o;
    o.name = s->Name();
    o.in_transaction = package.GetBool("UseTransaction") && s->GetBool("JoinTransactionIfPresent");
    steps_.push_back(std::move(o));
    descriptions_.push_back(s->GetText("Description"));
  }
}

void RunRecorder::OnStart(const std::string& EventSource) {
  if (next_) next_->OnStart(EventSource);
}

void RunRecorder::OnProgress(const std::string& EventSource, const std::string& ProgressDescription,
                             std::int32_t PercentComplete, std::int32_t ProgressCountLow,
                             std::int32_t ProgressCountHigh) {
  if (next_) next_->OnProgress(EventSource, ProgressDescription, PercentComplete, ProgressCountLow, ProgressCountHigh);
}

void RunRecorder::OnFinish(const std::string& EventSource) {
  Record(EventSource, StepRecord::State::kSucceeded);
  if (next_) next_->OnFinish(EventSource);
}

void RunRecorder::OnError(const std::string& EventSource, std::int32_t ErrorCode, const std::string& Source,
                          const std::string& Description, const std::string& HelpFile, std::int32_t HelpContext,
                          const std::string& IDofInterfaceWithError, bool& pbCancel) {
  Record(EventSource, StepRecord::State::kFailed);
  if (next_) {
    next_->OnError(EventSource, ErrorCode, Source, Description, HelpFile, HelpContext, IDofInterfaceWithError,
                   pbCancel);
  }
}

void RunRecorder::OnQueryCancel(const std::string& EventSource, bool& pbCancel) {
  if (next_) next_->OnQueryCancel(EventSource, pbCancel);
}

void RunRecorder::Record(const std::string& source, StepRecord::State state) {
  for (std::size_t i = 0; i < steps_.size(); ++i) {
    StepRecord& o = steps_[i];
    if (descriptions_[i] != source || o.state != StepRecord::State::kNotRun) continue;
    o.state = state;
    ran_.push_back(i);
    if (const dts::Step* s = package_.Steps().Find(o.name)) {
      o.stats = s->statistics();
      o.error = s->error_info();
    }
    return;
  }
}

std::vector<StepRecord> RunRecorder::Steps() const {
  std::vector<StepRecord> out;
  for (std::size_t i : ran_) out.push_back(steps_[i]);
  for (const auto& o : steps_) {
    if (o.state == StepRecord::State::kNotRun) out.push_back(o);
  }
  return out;
}

bool RunRecorder::AllSucceeded() const {
  for (const auto& o : steps_) {
    if (o.state != StepRecord::State::kSucceeded) return false;
  }
  return true;
}

}  // namespace assurance
