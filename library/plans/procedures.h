// The stored procedures the plans install in the destination and run: the
// posting procedures WriteCustAcc, WriteSuppAcc and WriteCustody (each in
// two versions) and the clearing procedures ClearAllData and ClearUserData,
// with the statements that drop and execute them. Every text is built line
// by line, lines joined by CR LF and nothing after the last line.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "library/builder/defined_plan.h"

namespace korvel::plans {

// "if exists (select * from dbo.sysobjects where id = object_id(N'[dbo].[P]')
// and OBJECTPROPERTY(id, N'IsProcedure') = 1)" CR LF "drop procedure [dbo].[P]"
std::string DropProcedureSql(std::string_view procedure);
// "Execute P"
std::string ExecuteProcedureSql(std::string_view procedure);

// The customer ledger posting: the version of 2007-01-23 (the customer and
// supplier plans) and of 2007-01-10 (the full plans, which also empty the
// ledger first).
std::string WriteCustAccSql(bool full_plan_version);
std::string WriteSuppAccSql(bool full_plan_version);
// The custody posting: the goods-plan version of 2007-01-24 (which also
// marks posted goods) and the full-plan version of 2007-01-10.
std::string WriteCustodySql(bool full_plan_version);

// The clearing procedures: ClearAllData empties all 134 tables,
// ClearUserData the 114 that hold user data.
std::string ClearAllDataSql();
std::string ClearUserDataSql();

// The steps that install and run a procedure, named without D:
// "删除存储过程 P" (drops it if present), "创建存储过程 P" (creates it from
// `create_text`), "执行存储过程 P".
builder::PlanStep DropProcedureStep(std::string_view procedure);
builder::PlanStep CreateProcedureStep(std::string_view procedure, std::function<std::string()> create_text);
builder::PlanStep ExecuteProcedureStep(std::string_view procedure);

}  // namespace korvel::plans
