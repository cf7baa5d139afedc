// Running a data pump task.
//
// The source query runs on the source connection and its rows stream in the
// source's order. Every column definition binds by its name: a source
// column to the query's result, a destination column to the destination
// table; the stored ordinals travel with the definitions and select
// nothing. A copy transformation writes source column i of its list into
// destination column i; a script transformation runs its column
// assignments (see datapump.h); destination columns that no transformation
// writes are left out of the load, so they take the table's defaults,
// except a script transformation's listed columns it does not assign,
// which are written empty (NULL). Each value is converted here to its
// destination column's type, by the rules of convert.h, so that every
// driver gets typed values; with TransformFlags allowing string
// truncation, text too long for its column is cut and counted rather than
// refused, and a NULL for a column that allows none is refused here.
//
// Rows go through the destination's bulk load (one load, committed with
// the step's transaction, handed the rows a batch at a time); identity
// values are kept when AllowIdentityInserts is set, and constraints are
// checked when FastLoadOptions has DTSFastLoad_CheckConstraints (2).
// FirstRow and LastRow (any numeric or text form; 0 for no limit) bound the
// rows taken.
// With MaximumErrorCount 0 the first row that cannot be written fails the
// task; the error names the destination, the row's position and key, and
// the column, except for the rows a network server refuses when the load
// ends, where it names what the server's message names. Progress is
// reported every ProgressRowCount rows, and a cancel stops the load, which
// then leaves nothing behind.
//
// Reading and converting run a few batches ahead of writing, on a thread
// of their own when the source's reader allows it (row_pipeline.h); the
// rows are written in the source's order all the same, and everything
// above holds as it would on one thread.
#include "platform/dts/datapump.h"

#include <algorithm>
#include <optional>

#include "platform/com/error.h"
#include "platform/dts/pump_columns.h"
#include "platform/dts/row_pipeline.h"
#include "platform/dts/step_context.h"

namespace dts {
namespace {

constexpr std::int32_t kFastLoadCheckConstraints = 2;  // DTSFastLoad_CheckConstraints

}  // namespace

void RunDataPumpTask(StepContext& ctx, const DataPumpTask& task) {
  const std::string sql = PumpSourceStatement(task);
  const std::string object = PumpDestinationObject(task);

  Session& source = ctx.SessionFor(task.GetLong("SourceConnectionID"));
  Session& destination = ctx.SessionFor(task.GetLong("DestinationConnectionID"));
  ctx.CheckCancel();
  std::vector<ColumnInfo> dest_columns = destination.DescribeTable(object);
  std::unique_ptr<RowReader> reader = source.Query(sql);
  const PumpColumns p = MapPumpColumns(task, reader->columns(), std::move(dest_columns));
  const std::vector<std::string> names = p.names();

  BulkLoadOptions options;
  options.keep_identity = task.GetBool("AllowIdentityInserts");
  options.check_constraints = (task.GetLong("FastLoadOptions") & kFastLoadCheckConstraints) != 0;
  std::unique_ptr<BulkWriter> writer = destination.OpenBulkLoad(object, names, options);

  const std::int64_t progress_every = std::max<std::int64_t>(1, task.GetLong("ProgressRowCount"));
  StepStatistics& stats = ctx.statistics();

  // Reading and converting: on a thread of its own when the source allows
  // it, so that the next rows are made while these are written. Every
  // value is converted to its column's type here, whatever the
  // destination, so that the rules and the counts are the same on every
  // driver. Values changed to fit are counted per written column, and the
  // first rows that had one noted with their batch.
  std::vector<std::int64_t> changed(p.written.size(), 0);
  std::int64_t position = 0;
  bool ended = false;
  Row in;
  auto fill = [&](RowBatch& batch) {
    while (!ended && batch.count < RowBatch::kCapacity) {
      if (!reader->Next(in)) {
        ended = true;
        break;
      }
      ++position;
      batch.rows_read = position;
      const RowWindow window = WindowOf(p, position);
      if (window == RowWindow::kSkip) continue;
      if (window == RowWindow::kPast) {
        ended = true;
        break;
      }
      Row& out = batch.rows[batch.count];
      out.resize(p.written.size());
      for (std::size_t k = 0; k < p.written.size(); ++k) {
        try {
          if (ConvertWritten(p, k, in, &out[k]) &&
              ++changed[k] <= static_cast<std::int64_t>(ColumnTruncation::kRowsKept)) {
            batch.notes.emplace_back(batch.count, k);
          }
        } catch (const com::Error& e) {
          KeepSourceValuesFrom(p, k, in, &out);
          throw RowError(p, e, position, out, p.column(k).name);
        }
      }
      batch.positions[batch.count++] = position;
    }
    batch.last = ended;
  };

  // Writing, on the step's own thread, in the source's order.
  std::vector<std::vector<RowMark>> changed_rows(p.written.size());
  {
    RowPipeline pipeline(fill, &source != &destination && reader->ReadableOnAnotherThread());
    while (RowBatch* batch = pipeline.Next()) {
      std::size_t written = 0;
      std::optional<com::Error> failed;
      try {
        writer->WriteRows(batch->rows.data(), batch->count, &written);
      } catch (const com::Error& e) {
        failed = e;
      }
      std::size_t note = 0;
      for (std::size_t i = 0; i < written; ++i) {
        const std::int64_t at = batch->positions[i];
        ++stats.rows_written;
        stats.rows_read = at;
        for (; note < batch->notes.size() && batch->notes[note].first == i; ++note) {
          changed_rows[batch->notes[note].second].push_back({at, DescribeKey(p, batch->rows[i])});
        }
        if (at % progress_every == 0) ctx.Progress("已处理 " + std::to_string(at) + " 行", 0, at);
      }
      if (failed) {
        if (written >= batch->count) throw *failed;
        const std::int64_t at = batch->positions[written];
        stats.rows_read = at;
        throw RowError(p, *failed, at, batch->rows[written], writer->FailedColumn());
      }
      stats.rows_read = batch->rows_read;
      if (batch->error) std::rethrow_exception(batch->error);
      pipeline.Done(batch);
    }
  }
  try {
    writer->Finish();
  } catch (const com::Error& e) {
    // A network server checks the rows when the batch ends: its error names
    // the table and, where its message does, the key, not the row.
    throw com::Error(e.number(), e.source(), "无法写入 " + object + "：" + e.description());
  }
  for (std::size_t k = 0; k < names.size(); ++k) {
    if (changed[k] > 0) stats.truncations.push_back({names[k], changed[k], std::move(changed_rows[k])});
  }
}

}  // namespace dts
