// Handing rows from a reading thread to the writing one: order, errors,
// bounded memory and stopping early.
#include "platform/dts/row_pipeline.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/com/error.h"

namespace {

using dts::RowBatch;
using dts::RowPipeline;

// A fill that numbers rows 1, 2, ... up to `rows` (or for ever with -1),
// failing instead of giving row `fail_at`.
struct Numbers {
  std::int64_t rows = -1;
  std::int64_t fail_at = 0;
  std::int64_t next = 1;
  std::atomic<int> batches{0};

  void operator()(RowBatch& batch) {
    ++batches;
    while (batch.count < RowBatch::kCapacity) {
      if (rows >= 0 && next > rows) {
        batch.last = true;
        return;
      }
      if (next == fail_at) throw com::Error(245, "test", "row " + std::to_string(next) + " does not convert");
      batch.rows[batch.count] = {com::Variant::I8(next)};
      batch.positions[batch.count++] = next++;
    }
  }
};

// Every position taken, in order, and the error the last batch carried.
struct Taken {
  std::vector<std::int64_t> positions;
  std::string error;
};

Taken TakeAll(RowPipeline& pipe) {
  Taken t;
  while (RowBatch* b = pipe.Next()) {
    for (std::size_t i = 0; i < b->count; ++i) {
      EXPECT_EQ(b->rows[i].at(0).integer(), b->positions[i]);
      t.positions.push_back(b->positions[i]);
    }
    if (b->error) {
      try {
        std::rethrow_exception(b->error);
      } catch (const com::Error& e) {
        t.error = e.description();
      }
    }
    pipe.Done(b);
  }
  return t;
}

std::vector<std::int64_t> OneTo(std::int64_t n) {
  std::vector<std::int64_t> v;
  for (std::int64_t i = 1; i <= n; ++i) v.push_back(i);
  return v;
}

TEST(RowPipeline, DeliversEveryRowOnceInOrderOnOneThreadOrTwo) {
  for (const bool overlap : {false, true}) {
    // No rows, less than a batch, exactly two batches, and a part batch more.
    for (const std::int64_t rows : {std::int64_t{0}, std::int64_t{7}, std::int64_t{2 * RowBatch::kCapacity},
                                    std::int64_t{5 * RowBatch::kCapacity + 3}}) {
      SCOPED_TRACE(std::to_string(rows) + (overlap ? " overlapped" : " on one thread"));
      Numbers fill{.rows = rows};
      RowPipeline pipe(std::ref(fill), overlap);
      const Taken t = TakeAll(pipe);
      EXPECT_EQ(t.positions, OneTo(rows));
      EXPECT_EQ(t.error, "");
      EXPECT_EQ(pipe.Next(), nullptr);  // and stays at the end
    }
  }
}

TEST(RowPipeline, AFillErrorComesAfterEveryRowBeforeIt) {
  for (const bool overlap : {false, true}) {
    SCOPED_TRACE(overlap);
    const std::int64_t fail_at = 3 * RowBatch::kCapacity + 10;
    Numbers fill{.rows = 10 * RowBatch::kCapacity, .fail_at = fail_at};
    RowPipeline pipe(std::ref(fill), overlap);
    const Taken t = TakeAll(pipe);
    EXPECT_EQ(t.positions, OneTo(fail_at - 1));
    EXPECT_EQ(t.error, "row " + std::to_string(fail_at) + " does not convert");
  }
}

TEST(RowPipeline, TheReaderStaysAFewBatchesAheadAndStopsWithThePipeline) {
  Numbers fill;  // endless
  {
    RowPipeline pipe(std::ref(fill), true);
    for (int taken = 1; taken <= 3; ++taken) {
      RowBatch* b = pipe.Next();
      ASSERT_NE(b, nullptr);
      pipe.Done(b);
      // However long the writer takes, the reader fills only the batches
      // handed back to it.
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      EXPECT_LE(fill.batches.load(), taken + 4);
    }
  }  // a writer that stops early: the reader ends with the pipeline
  const int filled = fill.batches.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(fill.batches.load(), filled);
}

}  // namespace
