#include "library/plans/c5to6_goods_no_write_custody.h"

#include "library/transfers/transfers.h"

namespace korvel::plans {
namespace {

using V = com::Variant;

// Runs 7, 3, 5, 1, 2, 6, 4, 8: identification codes, combinations, goods,
// then classes are emptied; classes, goods, combinations and codes come in.
// This plan alone writes no completion status and does not stop at its
// first failed step (its steps, chained on success, stop the run anyway).
const builder::PlanDefinition kPlan = {
    .package_name = "Korvel_Goods_NoWriteCustody",
    .package_description = "导入商品资料(类别、档案、组装模型、IDList), 不写保管帐",
    .package_overrides = {{"WriteCompletionStatusToNTEventLog", V::Bool(false)},
                          {"FailOnError", V::Bool(false)},
                          {"LogServerName", std::nullopt},
                          {"LogServerFlags", V::I4(0)}},
    .steps = {builder::ClearStep("gdsClass"), builder::TransferStep(transfers::kGdsClass),
              builder::ClearStep("gdsCom"), builder::TransferStep(transfers::kGdsCom),
              builder::ClearStep("Goods"), builder::TransferStep(transfers::kGoods),
              builder::ClearStep("GoodsIDList"), builder::TransferStep(transfers::kGoodsIDList)},
    .waits = {{1, 5}, {2, 1}, {3, 7}, {4, 6}, {5, 3}, {6, 2}, {8, 4}},
};

using C = C5to6GoodsNoWriteCustody;

}  // namespace

C5to6GoodsNoWriteCustody::C5to6GoodsNoWriteCustody()
    : DefinedPlan(kPlan, Routines(this, {&C::Task_Sub1, &C::Task_Sub2, &C::Task_Sub3, &C::Task_Sub4, &C::Task_Sub5,
                                         &C::Task_Sub6, &C::Task_Sub7, &C::Task_Sub8})) {}

}  // namespace korvel::plans
