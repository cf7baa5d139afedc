#include "platform/dts/row_pipeline.h"

#include <utility>

namespace dts {

RowPipeline::RowPipeline(Fill fill, bool overlap) : fill_(std::move(fill)), overlap_(overlap) {
  const std::size_t count = overlap_ ? kInFlight : 1;
  for (std::size_t i = 0; i < count; ++i) {
    batches_.push_back(std::make_unique<RowBatch>());
    free_.push_back(batches_.back().get());
  }
  if (overlap_) producer_ = std::thread([this] { Produce(); });
}

RowPipeline::~RowPipeline() { Stop(); }

void RowPipeline::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
  }
  changed_.notify_all();
  if (producer_.joinable()) producer_.join();
}

void RowPipeline::FillCatching(RowBatch& batch) {
  batch.Clear();
  try {
    fill_(batch);
  } catch (...) {
    batch.error = std::current_exception();
    batch.last = true;
  }
}

void RowPipeline::Produce() {
  for (;;) {
    RowBatch* batch = nullptr;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return stopped_ || !free_.empty(); });
      if (stopped_) return;
      batch = free_.front();
      free_.pop_front();
    }
    FillCatching(*batch);
    const bool last = batch->last;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ready_.push_back(batch);
    }
    changed_.notify_all();
    if (last) return;
  }
}

RowBatch* RowPipeline::Next() {
  if (finished_) return nullptr;
  RowBatch* batch = nullptr;
  if (!overlap_) {
    batch = free_.front();
    FillCatching(*batch);
  } else {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return !ready_.empty(); });
    batch = ready_.front();
    ready_.pop_front();
  }
  finished_ = batch->last;
  return batch;
}

void RowPipeline::Done(RowBatch* batch) {
  if (!overlap_) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    free_.push_back(batch);
  }
  changed_.notify_all();
}

}  // namespace dts
