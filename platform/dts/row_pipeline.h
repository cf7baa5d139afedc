// Rows made on one thread and written on another.
//
// A transfer reads, decodes and converts its source rows while the rows
// before them are being written. The producing side fills batches of rows
// on a thread of its own; the writing side takes them in order. A few
// batches are in flight at most, and their rows' storage is reused, so
// memory stays the same whatever the table's size.
//
//   RowPipeline pipe(fill, /*overlap=*/true);
//   while (RowBatch* b = pipe.Next()) {
//     ... write b->rows[0 .. b->count) ...
//     if (b->error) std::rethrow_exception(b->error);
//     pipe.Done(b);
//   }
//
// `fill` runs on the producing thread, never at the same time as itself;
// an exception it raises ends the rows: it comes with the last batch,
// after the rows filled before it. Destroying the pipeline (a failed
// write, a cancel) stops the producer and waits for it. Without overlap, `fill` runs on the
// caller's thread when the next batch is wanted: the same rows, one thread.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/dts/driver.h"

namespace dts {

struct RowBatch {
  static constexpr std::size_t kCapacity = 512;

  std::vector<Row> rows = std::vector<Row>(kCapacity);  // rows[0 .. count) are filled
  std::vector<std::int64_t> positions = std::vector<std::int64_t>(kCapacity);  // each row's source position
  std::size_t count = 0;
  // Free for the filler's notes on its rows (the pump: which values of
  // which rows were changed to fit), cleared with the batch.
  std::vector<std::pair<std::size_t, std::size_t>> notes;
  std::int64_t rows_read = 0;  // source rows read when the batch was filled
  bool last = false;           // no batch follows
  std::exception_ptr error;    // raised after this batch's rows

  void Clear() {
    count = 0;
    notes.clear();
    last = false;
    error = nullptr;
  }
};

class RowPipeline {
 public:
  // Fills a cleared batch with up to kCapacity rows; sets `last` at the end
  // of the rows.
  using Fill = std::function<void(RowBatch&)>;

  RowPipeline(Fill fill, bool overlap);
  ~RowPipeline();
  RowPipeline(const RowPipeline&) = delete;
  RowPipeline& operator=(const RowPipeline&) = delete;

  // The next batch, in order, or null after the last one.
  RowBatch* Next();
  // Hands a batch taken from Next back for reuse.
  void Done(RowBatch* batch);

 private:
  static constexpr std::size_t kInFlight = 4;

  void Produce();
  void FillCatching(RowBatch& batch);
  void Stop();

  Fill fill_;
  bool overlap_;
  bool finished_ = false;  // the last batch has been taken
  std::vector<std::unique_ptr<RowBatch>> batches_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<RowBatch*> free_;
  std::deque<RowBatch*> ready_;
  bool stopped_ = false;
  std::thread producer_;  // last: started when everything else is ready
};

}  // namespace dts
