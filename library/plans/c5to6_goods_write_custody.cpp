#include "library/plans/c5to6_goods_write_custody.h"

#include "library/plans/procedures.h"
#include "library/transfers/transfers.h"

namespace korvel::plans {
namespace {

// Runs 16, 11, 7, 3, 9, 5, 1, then 2, 6, 10, 4, 8, 12, 13, 14, 15: the
// custody book, codes, combinations, stock, goods, classes and warehouses
// are emptied, each before what it refers to; they come in the other way
// round, and the custody book is posted last from the new balances.
const builder::PlanDefinition kPlan = {
    .package_name = "Korvel_Goods_WriteCustody",
    .package_description = "导入商品资料(类别、档案、组装模型、IDList)和仓库、库存, 并写保管帐",
    .step_overrides = {{"ExecutionStatus", com::Variant::I4(4)}},
    .steps = {builder::ClearStep("Base"),
              builder::TransferStep(transfers::kBase),
              builder::ClearStep("bBalance"),
              builder::TransferStep(transfers::kBBalance),
              builder::ClearStep("gdsClass"),
              builder::TransferStep(transfers::kGdsClass),
              builder::ClearStep("gdsCom"),
              builder::TransferStep(transfers::kGdsCom),
              builder::ClearStep("Goods"),
              builder::TransferStep(transfers::kGoodsCustody),
              builder::ClearStep("GoodsIDList"),
              builder::TransferStep(transfers::kGoodsIDListCustody),
              DropProcedureStep("WriteCustody"),
              CreateProcedureStep("WriteCustody", [] { return WriteCustodySql(/*full_plan_version=*/false); }),
              ExecuteProcedureStep("WriteCustody"),
              builder::ClearStep("Custody", builder::FixedText("Delete from Custody"))},
    .waits = {{1, 5}, {2, 1}, {3, 7}, {4, 10}, {5, 9}, {6, 2}, {7, 11}, {8, 4},
              {9, 3}, {10, 6}, {11, 16}, {12, 8}, {13, 12}, {14, 13}, {15, 14}},
};

using C = C5to6GoodsWriteCustody;

}  // namespace

C5to6GoodsWriteCustody::C5to6GoodsWriteCustody()
    : DefinedPlan(kPlan, Routines(this, {&C::Task_Sub1, &C::Task_Sub2, &C::Task_Sub3, &C::Task_Sub4, &C::Task_Sub5,
                                         &C::Task_Sub6, &C::Task_Sub7, &C::Task_Sub8, &C::Task_Sub9, &C::Task_Sub10,
                                         &C::Task_Sub11, &C::Task_Sub12, &C::Task_Sub13, &C::Task_Sub14,
                                         &C::Task_Sub15, &C::Task_Sub16})) {}

}  // namespace korvel::plans
