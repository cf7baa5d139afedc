// Parses T-SQL batches into syntax trees. Syntax errors are raised as SQL
// Server raises them: 102 "Incorrect syntax near 'x'." or 156 for a keyword;
// so are the errors SQL Server finds before a batch runs: 141 for a SELECT
// that both assigns variables and returns columns, 178 for RETURN with a
// value outside a procedure, 179 for OUTPUT after a constant argument, 180
// for more than 2100 parameters.
#pragma once

#include <string_view>
#include <vector>

#include "platform/sqlserver/frontend/ast.h"

namespace sqlsrv {

// One batch (no GO lines) into its statements; "double-quoted" tokens are
// names when `quoted_identifier` (SET QUOTED_IDENTIFIER ON), else text,
// until a SET QUOTED_IDENTIFIER in the batch changes it.
std::vector<ast::StmtPtr> ParseBatch(std::string_view batch, bool quoted_identifier = true);

// A name as written: "[dbo].[T]" or "dbo.T" or "T" (for object_id()).
ast::ObjectName ParseObjectName(std::string_view text);

// The parameters a parameterized query declares ("@p int, @q money
// OUTPUT"), as a procedure declares them; none for an empty text.
std::vector<ast::VariableDecl> ParseParameterList(std::string_view text);

}  // namespace sqlsrv
