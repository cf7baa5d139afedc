// Parses T-SQL batches into syntax trees. Syntax errors are raised as SQL
// Server raises them: 102 "Incorrect syntax near 'x'." or 156 for a keyword.
#pragma once

#include <string_view>
#include <vector>

#include "platform/sqlserver/ast.h"

namespace sqlsrv {

// One batch (no GO lines) into its statements.
std::vector<ast::StmtPtr> ParseBatch(std::string_view batch);

// A name as written: "[dbo].[T]" or "dbo.T" or "T" (for object_id()).
ast::ObjectName ParseObjectName(std::string_view text);

}  // namespace sqlsrv
