// The upgrade plans as the benchmark drives them: created by ProgID and
// initialised as the wizard does, and the transfers a plan's package makes.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "library/interface/ipackage.h"
#include "platform/dts/model.h"

namespace bench {

inline constexpr char kDatabase[] = "Sales60";
inline constexpr char kPassword[] = "bench";

// Plan `model` ("C5to6Normal") created from "Korvel.<model>", its package
// built from `source` (.mdb) to database kDatabase of the embedded server
// in `server_folder`. Nothing is opened until the plan runs.
std::shared_ptr<korvel::IPackage> CreatePlan(const std::string& model, const std::string& source,
                                             const std::string& server_folder);

// One data pump task of a package.
struct Transfer {
  std::string source_sql;    // the task's SourceSQLStatement
  std::string source_table;  // the table it reads (a query of one table)
  std::string destination_table;
  // The source columns that feed the destination table's primary key, in
  // key order; empty when the key is not fed column for column.
  std::vector<std::string> key_columns;
};

// The package's transfers in task order. `create_script` is the script that
// creates the destination tables; their primary keys are read from it.
// Raises com::Error for a source query that reads other than one table.
std::vector<Transfer> PackageTransfers(const dts::Package& package, std::string_view create_script);

}  // namespace bench
