// Procedures of the bill methods.
#include <string>

#include "tests/support/accountset/AccountSet.h"

namespace quor::test {
namespace {

constexpr int kKnownBill = 1001;
constexpr int kNoSuchBill = -1;

std::vector<ParamDecl> OperatorCompany(std::vector<ParamDecl> more) {
  std::vector<ParamDecl> params = {Param("@OperatorID", SqlType::VarChar, 25),
                                   Param("@CompanyID", SqlType::VarChar, 25)};
  params.insert(params.end(), more.begin(), more.end());
  return params;
}

bool KnownBill(const Value& value) {
  return !value.IsNull() && value.GetKind() == Value::Kind::Integer && value.AsInt() == kKnownBill;
}

Reply AccountBillLink(const ProcedureCall& call) {
  Reply reply;
  if (KnownBill(call["@BillID"])) {
    reply.outputs["@ErrorMsg"] = "";
  } else {
    reply.outputs["@ErrorMsg"] = "单据不存在：" + TextOf(call["@BillID"]);
    reply.returnStatus = kNoSuchBill;
  }
  return reply;
}

// Undoing a posted bill lists the records whose balances it touched.
Reply RedBillTransfer(const ProcedureCall& call) {
  Reply reply;
  if (!KnownBill(call["@nBillID"])) {
    reply.returnStatus = kNoSuchBill;
    return reply;
  }
  reply.outputs["@szWareIDo"] = "0000100001,0000100002";
  reply.outputs["@szClientIDo"] = "0000100001";
  reply.outputs["@szAccountIDo"] = "";
  reply.outputs["@szStockIDo"] = "00001";
  return reply;
}

Reply BillMaster(const ProcedureCall& call) {
  Reply reply;
  ResultSet master = SampleBillMaster();
  if (!KnownBill(call["@BillID"])) {
    master.rows.clear();
    reply.returnStatus = kNoSuchBill;
  }
  reply.resultSets.push_back(master);
  return reply;
}

}  // namespace

ResultSet SampleBillMaster() {
  ResultSet master;
  master.columns = {Col("BillID", SqlType::Int),
                    Col("Number", SqlType::VarChar, 30),
                    Col("BillDate", SqlType::DateTime),
                    Col("ClientName", SqlType::NVarChar, 66),
                    Col("SumTo", SqlType::Money, 0, 19, 4),
                    Col("Memo", SqlType::NText),
                    Col("Attachment", SqlType::VarBinary, 0)};
  master.rows = {{kKnownBill, "XS-2024-0001", DateTime{2024, 2, 29, 17, 5, 0}, "华东贸易公司",
                  Decimal{"1234.5600"}, nullptr, Bytes{1, 2, 3}}};
  return master;
}

void DeclareBillProcedures(AccountSet& accountSet) {
  accountSet.Declare(
      {"AAAAARJ", OperatorCompany({Param("@BillID", SqlType::Int),
                                   Output(Param("@ErrorMsg", SqlType::NVarChar, 200))})},
      AccountBillLink);
  accountSet.Declare(
      {"AAAABCA", OperatorCompany({Param("@nBillID", SqlType::Int),
                                   Output(Param("@szWareIDo", SqlType::VarChar, 2000)),
                                   Output(Param("@szClientIDo", SqlType::VarChar, 2000)),
                                   Output(Param("@szAccountIDo", SqlType::VarChar, 2000)),
                                   Output(Param("@szStockIDo", SqlType::VarChar, 2000))})},
      RedBillTransfer);
  accountSet.Declare({"AAAAAVB", OperatorCompany({Param("@BillID", SqlType::Int)})}, BillMaster);
}

}  // namespace quor::test
