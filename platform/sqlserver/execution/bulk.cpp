// The fast-load path: rows streamed into one table, a batch of them at a
// time in one statement, inside a savepoint, so that a load that does not
// finish leaves nothing behind.
#include <algorithm>

#include "platform/sqlserver/execution/engine_internal.h"
#include "platform/sqlserver/errors.h"
#include "platform/sqlserver/lexer.h"
#include "platform/sqlserver/frontend/parser.h"

namespace sqlsrv {
namespace {

class BulkLoader final : public dts::BulkWriter {
 public:
  BulkLoader(EngineCore& engine, const TableMeta& table, std::vector<int> targets, bool explicit_identity,
             bool nulls_take_defaults)
      : frame_(std::make_unique<EngineCore::Frame>(engine, true)),
        inserter_(engine, table, std::move(targets), explicit_identity) {
    inserter_.set_nulls_take_defaults(nulls_take_defaults);
  }

  void Write(const dts::Row& row) override { inserter_.Insert(row); }
  void WriteRows(const dts::Row* rows, std::size_t count, std::size_t* written) override {
    inserter_.InsertRows(rows, count, written);
  }
  std::string FailedColumn() const override { return inserter_.failed_column(); }

  void Finish() override {
    inserter_.Finish();
    frame_->Done();
    frame_.reset();
  }

 private:
  std::unique_ptr<EngineCore::Frame> frame_;  // first: ends after the inserter
  RowInserter inserter_;
};

}  // namespace

std::unique_ptr<dts::BulkWriter> EngineCore::OpenBulkLoad(std::string_view object_name,
                                                          const std::vector<std::string>& columns,
                                                          const dts::BulkLoadOptions& options,
                                                          bool nulls_take_defaults) {
  catalog_->Refresh();
  const TableMeta& t = WritableTable(ParseObjectName(object_name), ast::StmtKind::kInsert);
  std::vector<int> targets = ResolveColumns(t, columns);
  const int identity = t.IdentityColumn();
  const bool explicit_identity = identity >= 0 && std::find(targets.begin(), targets.end(), identity) != targets.end();
  if (explicit_identity && !options.keep_identity) {
    throw SqlErr(kIdentityInsert, "Cannot insert explicit value for identity column in table '" + t.name +
                                      "' when IDENTITY_INSERT is set to OFF.");
  }
  return std::make_unique<BulkLoader>(*this, t, std::move(targets), explicit_identity, nulls_take_defaults);
}

}  // namespace sqlsrv
