// The check `korvel run` makes after a successful run: the destination
// against the source, counted afresh on both sides, apart from what the
// data pump reported. Every transfer's table holds as many rows as its
// source query returns; every ledger a posting writes holds the source's
// rows its rule posts (library/interface/postings.h: the partners in use
// with a balance, not the retail customer "0"; the stock rows with a
// quantity).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "platform/com/variant.h"
#include "platform/dts/model.h"

namespace jet {
class Database;
}
namespace korvel {
struct PostingRule;
}

namespace assurance {

// What to check, read from a built package before it runs (running it
// releases it).
struct ReconcilePlan {
  struct Transfer {
    std::string table;       // the destination table
    std::string source_sql;  // the source query
    std::vector<std::string> written;  // destination columns the transfer writes
  };
  std::vector<Transfer> transfers;
  // The postings the package runs (library/interface/postings.h), in the
  // rules' order.
  std::vector<const korvel::PostingRule*> postings;
};
ReconcilePlan ReconcilePlanOf(const dts::Package& package);

// A value in 1/10000, as a money column holds it (SQL Server's rounding;
// NULL counts as 0). Raises com::Error for a value money cannot hold.
std::int64_t MoneyUnits(const com::Variant& v);

struct ReconcileLine {
  std::string item;         // "Customer 行数", "CustAcc 期初", ...
  std::string source;       // the figures from the source
  std::string destination;  // the figures from the destination
  bool match = false;
};

struct Endpoints {
  std::string source_file, source_password;
  std::string server, user, password, database;
};

// The source's side of each item Reconcile counts, in its order and
// words, counted on a thread of its own from the moment it is made, so that
// a run can go on meanwhile: the source is only read, through a handle of
// the count's own, opened when the count is made. Taking the figures checks
// that the file is still the one at its path and unchanged since: figures
// counted while a run read the file are then the figures of the file the
// run read.
class SourceRecount {
 public:
  SourceRecount(const ReconcilePlan& plan, const Endpoints& endpoints);
  // Stops the count, if it is still going, and waits for its thread.
  ~SourceRecount();
  SourceRecount(const SourceRecount&) = delete;
  SourceRecount& operator=(const SourceRecount&) = delete;

  // Waits for the count. Raises com::Error: the count's own when the
  // source could not be read, Jet's 3197 when the file has been written or
  // replaced since the count opened it. Call once.
  std::vector<std::string> Figures();

 private:
  std::atomic<bool> stop_{false};
  std::unique_ptr<jet::Database> source_;  // null when it could not be opened
  std::future<std::vector<std::string>> figures_;
};

// Told, before each item is counted, what is counted now ("Customer 行数")
// and how many items come before it of how many.
using ReconcileProgress = std::function<void(const std::string& item, std::size_t done, std::size_t total)>;

// Counts both sides, the source on a thread of its own while the
// destination is counted on the caller's. Raises com::Error when either
// cannot be read. `progress` may be empty; it is called on the caller's
// thread.
std::vector<ReconcileLine> Reconcile(const ReconcilePlan& plan, const Endpoints& endpoints,
                                     const ReconcileProgress& progress);
// The same, with the source's side from a count already under way (made
// for the same plan and endpoints), typically since before the run.
std::vector<ReconcileLine> Reconcile(const ReconcilePlan& plan, const Endpoints& endpoints, SourceRecount& source,
                                     const ReconcileProgress& progress);

// The destination's side of each item Reconcile counts, in its order and
// words. Taken before a run, it is the state the run started from.
std::vector<std::string> CountDestination(const ReconcilePlan& plan, const Endpoints& endpoints);

enum class CommitOutcome { kCommitted, kNotCommitted, kUnknown };

struct CommitEvidence {
  CommitOutcome outcome = CommitOutcome::kUnknown;
  std::vector<ReconcileLine> lines;  // the recount, when it could be made
  std::string reason;                // what was found, for the operator
};

// After a commit whose answer was lost: connects again and decides from
// the database itself. Committed when every item holds the source's
// figures and the state before the run (`before`, from CountDestination)
// did not; not committed when the destination is as before and does not
// hold the source's figures; unknown otherwise, or when the database
// cannot be reached.
CommitEvidence DecideCommit(const ReconcilePlan& plan, const Endpoints& endpoints,
                            const std::vector<std::string>& before);
// The same, with the source's side from a count already under way.
CommitEvidence DecideCommit(const ReconcilePlan& plan, const Endpoints& endpoints,
                            const std::vector<std::string>& before, SourceRecount& source);

}  // namespace assurance
