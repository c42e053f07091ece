#include "tests/support/accountset/BillBook.h"

#include <stdexcept>

namespace quor::test {
namespace {

const std::vector<std::string> kMasterCommon = {
    "@OperatorID",      "@CompanyID",       "@Date",          "@number",
    "@BillType",        "@summary",         "@Memo",          "@ClientID",
    "@PersonID",        "@StockID",         "@StockID2",      "@ifcheck",
    "@checke",          "@period",          "@accounte",      "@AuditingMan",
    "@draft",           "@Abolish",         "@nAdjunctCount", "@nBillMode",
    "@szGatheringDate", "@BalanceGridMode", "@szProjectid",   "@DefDiscount",
    "@DefTaxRate",      "@MemoOne",         "@MemoTwo",       "@NetPayNumber",
    "@nSumTo"};

const std::vector<std::string> kVipInvoice = {
    "@VIPCardID",   "@VIPDiscFlag", "@VIPSaveFlag", "@VIPDisCount",  "@VIPCardOdd",
    "@InvoiceType", "@InvoiceNo",   "@InvoiceDate", "@InvoiceSumTo", "@BackBillID"};

const std::vector<std::string> kServe = {"@ServeRate",    "@ServeTerm",   "@ChangeSumTo",
                                         "@IsConveyBill", "@ServeCount",  "@ServeDone",
                                         "@IsRetailBill", "@NormalChange"};

std::vector<std::string> Joined(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

ProcedureDecl TextDecl(const std::string& name, const std::vector<std::string>& params,
                       const std::vector<std::string>& outputs = {}) {
  ProcedureDecl decl{name, {}};
  for (const std::string& param : params) {
    ParamDecl declared = Param(param, SqlType::VarChar, 200);
    for (const std::string& output : outputs) {
      if (output == param) declared = Output(declared);
    }
    decl.params.push_back(declared);
  }
  return decl;
}

std::int32_t IntOf(const Value& value) {
  const std::string text = TextOf(value);
  return text.empty() ? 0 : std::stoi(text);
}

}  // namespace

std::vector<std::string> BillMasterParameters(const std::string& procedure) {
  if (procedure == "AAAAARU") {
    return Joined({kMasterCommon, {"@ShopID", "@FreightID", "@AuditingMan1"}});
  }
  if (procedure == "AAAABBF") {
    return Joined({kMasterCommon, {"@BillID", "@FreightID", "@AuditingMan1"}});
  }
  if (procedure == "AAAAART") {
    return Joined({kMasterCommon,
                   {"@ShopID", "@FreightID"},
                   kVipInvoice,
                   kServe,
                   {"@IsMobileBill", "@IsPrepareBill"}});
  }
  if (procedure == "AAAAARV") return Joined({kMasterCommon, {"@ShopID"}, kVipInvoice});
  if (procedure == "AAAABBD") {
    return Joined({kMasterCommon, {"@BillID", "@FreightID"}, kVipInvoice, kServe});
  }
  throw std::invalid_argument("no header procedure " + procedure);
}

std::vector<std::string> BillDetailParameters() {
  return {"@OperatorID",     "@CompanyID",
          "@BillID",         "@AccountID",
          "@ClientID",       "@PersonID",
          "@StockID",        "@StockID2",
          "@WareID",         "@PositionID",
          "@PositionID2",    "@Quantity",
          "@ReferUnitRate",  "@ReferQuantity",
          "@discount",       "@discountprice",
          "@CostSumTo",      "@costprice",
          "@BlockNumber",    "@WareNumber",
          "@price",          "@SumTo",
          "@ProduceDate",    "@OverdueDate",
          "@GermNumber",     "@InspectNO",
          "@taxprice",       "@TaxAtion",
          "@Memo",           "@date",
          "@Orientation",    "@period",
          "@TaxSumTo",       "@tax",
          "@discountSumTo",  "@BillType",
          "@nCostingMode",   "@UnitNo",
          "@UnitID",         "@UnitRate",
          "@nOrderBillType", "@nOrderMasterID",
          "@nOrderDetailID", "@SourceBillType",
          "@SourceMasterID", "@SourceDetailID",
          "@dInvoiceSumTo",  "@TicketQuantity",
          "@TicketPrice",    "@TicketSumTo",
          "@FigureLength",   "@FigureWidth",
          "@FigureHeight",   "@FigureColor",
          "@FigureCustom1",  "@FigureCustom2",
          "@szProjectid",    "@RetailPrice",
          "@DonateStatus",   "@VipCardID",
          "@IsCardFreeWare", "@PromoteID",
          "@ForceZeroCost",  "@EligibleProve"};
}

BillBook::BillBook(AccountSet& accountSet) : accountSet_(accountSet) {
  accountSet_.Declare(TextDecl("AAAAARE", {"@szName", "@szReturn"}, {"@szReturn"}),
                      [this](const ProcedureCall& call) {
                        Reply reply;
                        reply.outputs["@szReturn"] = SystemValue(TextOf(call["@szName"]));
                        return reply;
                      });
  accountSet_.Declare(TextDecl("AAAABAJ", {"@szName", "@szValue", "@szMemo"}),
                      [this](const ProcedureCall& call) {
                        std::lock_guard lock(mutex_);
                        systemValues_[TextOf(call["@szName"])] = TextOf(call["@szValue"]);
                        systemValueWrites_.push_back(TextOf(call["@szName"]));
                        return Reply{};
                      });
  accountSet_.Declare(TextDecl("AAAAAQE",
                               {"@OperatorID", "@CompanyID", "@MachineNum", "@nWork", "@nBillType",
                                "@szDate", "@szNumberin", "@szNumber"},
                               {"@szNumber"}),
                      [this](const ProcedureCall& call) {
                        std::lock_guard lock(mutex_);
                        const std::int32_t type = IntOf(call["@nBillType"]);
                        const std::int32_t work = IntOf(call["@nWork"]);
                        Reply reply;
                        // A type never set starts at 0; a text set on purpose stays.
                        std::string& counter = counters_.try_emplace(type, "0").first->second;
                        if (work == 2) {
                          if (readsInFlight_[type]++ > 0) ++overlappingReads_;
                          reply.outputs["@szNumber"] = counter;
                        } else if (work == 4) {
                          counter = std::to_string(std::stoll(counter) + 1);
                          if (readsInFlight_[type] > 0) --readsInFlight_[type];
                        }
                        return reply;
                      });
  for (const char* procedure : {"AAAAARU", "AAAABBF", "AAAAART", "AAAAARV", "AAAABBD"}) {
    accountSet_.Declare(TextDecl(procedure, BillMasterParameters(procedure)),
                        [this](const ProcedureCall&) {
                          std::lock_guard lock(mutex_);
                          Reply reply;
                          reply.returnStatus = masterResult_;
                          return reply;
                        });
  }
  for (const char* procedure : {"AAAAARQ", "AAAAARS", "AAAAARR"}) {
    accountSet_.Declare(TextDecl(procedure, BillDetailParameters()), [this](const ProcedureCall&) {
      std::lock_guard lock(mutex_);
      Reply reply;
      reply.returnStatus = detailResult_;
      return reply;
    });
  }
  for (const char* procedure : {"AAAABBG", "AAAABBH"}) {
    accountSet_.Declare(TextDecl(procedure, {"@OperatorID", "@CompanyID", "@BillType", "@BillID",
                                             "@LineNumber", "@BillDate", "@WareID", "@ClientID",
                                             "@StockID", "@PersonID", "@SerialNo", "@Memo"}),
                        [this](const ProcedureCall&) {
                          std::lock_guard lock(mutex_);
                          Reply reply;
                          if (!serialResults_.empty()) {
                            reply.returnStatus = serialResults_.front();
                            serialResults_.pop_front();
                          }
                          return reply;
                        });
  }
  accountSet_.Declare(
      TextDecl("AAAABBL",
               {"@OperatorID", "@CompanyID", "@nBillID", "@iWriteIntoPrice", "@szWareIDo",
                "@szClientIDo", "@szAccountIDo", "@szStockIDo", "@ErrorReturn"},
               {"@szWareIDo", "@szClientIDo", "@szAccountIDo", "@szStockIDo", "@ErrorReturn"}),
      [this](const ProcedureCall& call) {
        std::lock_guard lock(mutex_);
        Reply reply;
        reply.returnStatus = postingResult_;
        reply.outputs["@szWareIDo"] = "W-" + TextOf(call["@nBillID"]);
        reply.outputs["@szClientIDo"] = "C-" + TextOf(call["@nBillID"]);
        reply.outputs["@szAccountIDo"] = "A-" + TextOf(call["@nBillID"]);
        reply.outputs["@szStockIDo"] = "S-" + TextOf(call["@nBillID"]);
        if (errorReturn_) reply.outputs["@ErrorReturn"] = std::to_string(*errorReturn_);
        return reply;
      });
  accountSet_.Declare(TextDecl("AAAAAPG", {"@OperatorID", "@CompanyID", "@BillID"}),
                      [this](const ProcedureCall&) {
                        std::lock_guard lock(mutex_);
                        Reply reply;
                        reply.returnStatus = deleteResult_;
                        return reply;
                      });
}

void BillBook::SetSystemValue(const std::string& name, const std::string& value) {
  std::lock_guard lock(mutex_);
  systemValues_[name] = value;
}

std::string BillBook::SystemValue(const std::string& name) const {
  std::lock_guard lock(mutex_);
  const auto found = systemValues_.find(name);
  return found == systemValues_.end() ? std::string() : found->second;
}

std::vector<std::string> BillBook::SystemValueWrites() const {
  std::lock_guard lock(mutex_);
  return systemValueWrites_;
}

void BillBook::SetCounter(std::int32_t billType, std::int64_t value) {
  SetCounterText(billType, std::to_string(value));
}

void BillBook::SetCounterText(std::int32_t billType, const std::string& text) {
  std::lock_guard lock(mutex_);
  counters_[billType] = text;
}

std::int64_t BillBook::Counter(std::int32_t billType) const {
  std::lock_guard lock(mutex_);
  const auto found = counters_.find(billType);
  return found == counters_.end() ? 0 : std::stoll(found->second);
}

int BillBook::OverlappingReads() const {
  std::lock_guard lock(mutex_);
  return overlappingReads_;
}

void BillBook::SetFormat(std::int32_t billType, std::optional<std::string> format) {
  ResultSet rows;
  rows.columns = {Col("SNFormat", SqlType::VarChar, 100)};
  if (format) rows.rows = {{*format}};
  Reply reply;
  reply.resultSets.push_back(rows);
  accountSet_.OnSql("Select SNFormat from AAAAABQ where BillType=" + std::to_string(billType),
                    reply);
}

void BillBook::SetMasterResult(std::int32_t value) {
  std::lock_guard lock(mutex_);
  masterResult_ = value;
}

void BillBook::SetDetailResult(std::int32_t value) {
  std::lock_guard lock(mutex_);
  detailResult_ = value;
}

void BillBook::QueueSerialResults(std::vector<std::int32_t> values) {
  std::lock_guard lock(mutex_);
  serialResults_.assign(values.begin(), values.end());
}

void BillBook::SetPostingResult(std::int32_t value, std::optional<std::int32_t> errorReturn) {
  std::lock_guard lock(mutex_);
  postingResult_ = value;
  errorReturn_ = errorReturn;
}

void BillBook::SetDeleteResult(std::int32_t value) {
  std::lock_guard lock(mutex_);
  deleteResult_ = value;
}

}  // namespace quor::test
