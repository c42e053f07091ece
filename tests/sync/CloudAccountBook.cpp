#include "tests/sync/CloudAccountBook.h"

#include <cctype>
#include <cstdio>
#include <regex>

#include "tests/support/tds/Declare.h"

namespace quor::sync::testing {
namespace {

using test::ProcedureCall;
using test::Reply;
using test::SqlType;

// Colour, size and size-group writers, as the account set declares them.
std::vector<test::ParamDecl> PaletteParams(const char* output) {
  return {test::Param("@OperatorID", SqlType::VarChar, 25),
          test::Param("@CompanyID", SqlType::VarChar, 25),
          test::Param("@Mode", SqlType::Char, 1),
          test::Param("@SelfID", SqlType::VarChar, 25),
          test::Param("@LongName", SqlType::NVarChar, 66),
          test::Param("@CodeName", SqlType::VarChar, 26),
          test::Param("@Memo", SqlType::NVarChar, 250),
          test::Param("@Bopomofo", SqlType::VarChar, 50),
          test::Param("@CurrRow", SqlType::Int),
          test::Output(test::Param(output, SqlType::VarChar, 25))};
}

bool SameProcedureName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

Reply NothingYet(const ProcedureCall&) {
  return {};
}

std::int32_t WholeNumberOf(const test::Value& value) {
  const std::string text = test::TextOf(value);
  if (text.empty()) return 0;
  return static_cast<std::int32_t>(std::stod(text));
}

}  // namespace

CloudAccountBook::CloudAccountBook(test::AccountSet& accountSet)
    : accountSet_(accountSet), bills_(accountSet) {
  test::SqlServerStandIn& server = accountSet_.Server();
  accountSet_.Declare({"AAAAATD", PaletteParams("@OutGroupID")}, NothingYet);
  accountSet_.Declare({"AAAAASC", PaletteParams("@NewSelfID")}, NothingYet);
  accountSet_.Declare({"AAAAATE", PaletteParams("@NewSelfID")}, NothingYet);
  accountSet_.Declare(
      {"AAAAARP",
       {test::Param("@OperatorID", SqlType::VarChar, 25),
        test::Param("@CompanyID", SqlType::VarChar, 25), test::Param("@BillID", SqlType::Int),
        test::Param("@DetailID", SqlType::Int), test::Param("@ColorID", SqlType::VarChar, 25),
        test::Param("@SizeID", SqlType::VarChar, 25),
        test::Param("@ColorGroupID", SqlType::VarChar, 25),
        test::Param("@SizeGroupID", SqlType::VarChar, 25), test::Param("@Quantity", SqlType::Float),
        test::Param("@BillMode", SqlType::VarChar, 1)}},
      NothingYet);
  OnWriter("AAAAATN", "@NewSelfID", "@MODE");
  OnWriter("AAAAAST", "@NewSelfID", "@Mode");
  OnWriter("AAAAASA", "@NewSelfID", "@Mode");
  OnWriter("AAAAATH", "@NewSelfID", "@Mode");
  OnWriter("AAAAATP", "@NewSelfID", "@Mode");
  OnWriter("AAAAASB", "@OutGroupID", "@Mode");
  OnWriter("AAAAATD", "@OutGroupID", "@Mode");
  OnWriter("AAAAASC", "@NewSelfID", "@Mode");
  OnWriter("AAAAATE", "@NewSelfID", "@Mode");
  server.OnProcedure("AAAABCT", [this](const ProcedureCall& call) {
    if (std::optional<Reply> refused = Refusal(call)) return *refused;
    std::lock_guard lock(mutex_);
    Reply reply;
    reply.returnStatus = -1;
    for (const StoredRecord& ware : state_.records) {
      if (ware.procedure == "AAAAATP" && ware.id == test::TextOf(call["@WareID"])) {
        state_.records.push_back({"AAAABCT", ware.id, call});
        reply.returnStatus = 0;
        break;
      }
    }
    return reply;
  });
  for (const char* procedure : {"AAAAARU", "AAAABBF", "AAAAART", "AAAAARV", "AAAABBD"}) {
    server.OnProcedure(procedure, [this](const ProcedureCall& call) { return Master(call); });
  }
  for (const char* procedure : {"AAAAARQ", "AAAAARS", "AAAAARR"}) {
    server.OnProcedure(procedure, [this](const ProcedureCall& call) { return Line(call); });
  }
  server.OnProcedure("AAAAARP", [this](const ProcedureCall& call) { return ColourSize(call); });
  server.OnProcedure("AAAABBL", [this](const ProcedureCall& call) { return Posting(call); });
  server.OnProcedure("AAAAAPG", [this](const ProcedureCall& call) { return Deletion(call); });
  for (const char* pattern :
       {"INSERT INTO AAAAACA .*", "INSERT INTO AAAAAEA .*", "Update AAAAAFT Set AppImgUrl.*",
        "Delete from AAAACGY .*", "INSERT INTO AAAACGY .*", "UPDATE AAAAAAR SET .*",
        "Select SelfID From AAAAAFN .*"}) {
    server.OnStatementMatching(std::regex(pattern),
                               [this](const test::StatementCall& call) { return Statement(call); });
  }
  server.OnTransaction([this](const std::string& text) { Transaction(text); });
}

std::vector<StoredRecord> CloudAccountBook::Records(const std::string& procedure) const {
  std::lock_guard lock(mutex_);
  const State& state = beforeTransaction_ ? *beforeTransaction_ : state_;
  std::vector<StoredRecord> found;
  for (const StoredRecord& record : state.records) {
    if (record.procedure == procedure) found.push_back(record);
  }
  return found;
}

std::vector<StoredBill> CloudAccountBook::Bills() const {
  std::lock_guard lock(mutex_);
  return beforeTransaction_ ? beforeTransaction_->bills : state_.bills;
}

std::vector<StoredStatement> CloudAccountBook::Statements() const {
  std::lock_guard lock(mutex_);
  return beforeTransaction_ ? beforeTransaction_->statements : state_.statements;
}

std::vector<std::string> CloudAccountBook::Transactions() const {
  std::lock_guard lock(mutex_);
  return transactions_;
}

void CloudAccountBook::Refuse(const std::string& procedure,
                              std::function<bool(const ProcedureCall&)> which, std::int32_t code) {
  std::lock_guard lock(mutex_);
  refusals_.emplace_back(procedure, std::move(which), code);
}

std::optional<Reply> CloudAccountBook::Refusal(const ProcedureCall& call) {
  std::lock_guard lock(mutex_);
  for (const auto& [procedure, which, code] : refusals_) {
    if (SameProcedureName(procedure, call.procedure) && which(call)) {
      Reply reply;
      reply.returnStatus = code;
      return reply;
    }
  }
  return std::nullopt;
}

void CloudAccountBook::OnWriter(const std::string& procedure, const char* output,
                                const char* modeParameter) {
  accountSet_.Server().OnProcedure(
      procedure, [this, procedure, output, modeParameter](const ProcedureCall& call) {
        if (std::optional<Reply> refused = Refusal(call)) return *refused;
        if (test::TextOf(call[modeParameter]) != "I") {
          Reply reply;
          reply.returnStatus = -9;  // the download only creates
          return reply;
        }
        return Record(procedure, output, call);
      });
}

Reply CloudAccountBook::Record(const std::string& procedure, const char* output,
                               const ProcedureCall& call) {
  std::lock_guard lock(mutex_);
  char id[16];
  std::snprintf(id, sizeof id, "%05d", ++state_.nextId[procedure]);
  state_.records.push_back({procedure, id, call});
  Reply reply;
  reply.outputs[output] = std::string(id);
  return reply;
}

StoredBill* CloudAccountBook::BillById(std::int32_t id) {
  for (StoredBill& bill : state_.bills) {
    if (bill.id == id) return &bill;
  }
  return nullptr;
}

Reply CloudAccountBook::Master(const ProcedureCall& call) {
  if (std::optional<Reply> refused = Refusal(call)) return *refused;
  std::lock_guard lock(mutex_);
  StoredBill bill;
  bill.id = state_.nextBill++;
  bill.procedure = call.procedure;
  bill.master = call;
  state_.bills.push_back(bill);
  Reply reply;
  reply.returnStatus = bill.id;
  return reply;
}

Reply CloudAccountBook::Line(const ProcedureCall& call) {
  if (std::optional<Reply> refused = Refusal(call)) return *refused;
  std::lock_guard lock(mutex_);
  Reply reply;
  StoredBill* bill = BillById(WholeNumberOf(call["@BillID"]));
  if (bill == nullptr) {
    reply.returnStatus = -2;
    return reply;
  }
  bill->lines.push_back(call);
  reply.returnStatus = state_.nextLine++;
  const std::string quantity = test::TextOf(call["@Quantity"]);
  bill->quantities[reply.returnStatus] = quantity.empty() ? 0 : std::stod(quantity);
  return reply;
}

Reply CloudAccountBook::ColourSize(const ProcedureCall& call) {
  if (std::optional<Reply> refused = Refusal(call)) return *refused;
  std::lock_guard lock(mutex_);
  Reply reply;
  StoredBill* bill = BillById(WholeNumberOf(call["@BillID"]));
  if (bill == nullptr) {
    reply.returnStatus = -2;
    return reply;
  }
  bill->colourSizes.push_back(call);
  return reply;
}

Reply CloudAccountBook::Posting(const ProcedureCall& call) {
  if (std::optional<Reply> refused = Refusal(call)) return *refused;
  std::lock_guard lock(mutex_);
  Reply reply;
  StoredBill* bill = BillById(WholeNumberOf(call["@nBillID"]));
  if (bill == nullptr) {
    reply.returnStatus = -2;
    return reply;
  }
  ++bill->postings;
  reply.outputs["@ErrorReturn"] = "0";
  return reply;
}

Reply CloudAccountBook::Deletion(const ProcedureCall& call) {
  std::lock_guard lock(mutex_);
  const std::int32_t id = WholeNumberOf(call["@BillID"]);
  std::erase_if(state_.bills, [id](const StoredBill& bill) { return bill.id == id; });
  return {};
}

Reply CloudAccountBook::Statement(const test::StatementCall& call) {
  std::lock_guard lock(mutex_);
  std::vector<test::Value> params;
  for (const test::Parameter& param : call.params) params.push_back(param.value);
  state_.statements.push_back({call.text, params});
  Reply reply;
  static const std::regex kLineQuantities(
      R"(UPDATE AAAAAAR SET Quantity=TB\.Quantity FROM \(SELECT BillID,DetailID,Sum\(Quantity\))"
      R"(Quantity FROM AAAAAAS D WHERE BillID=(\d+) GROUP BY BillID,DetailID\) TB WHERE )"
      R"(AAAAAAR\.BillID=TB\.BillID AND AAAAAAR\.BillDetailID=TB\.DetailID And )"
      R"(AAAAAAR\.BillID=(\d+))");
  std::smatch match;
  if (std::regex_match(call.text, match, kLineQuantities) && match[1] == match[2]) {
    // Each goods line takes the sum of its colour/size lines.
    StoredBill* bill = BillById(std::stoi(match[1]));
    if (bill != nullptr) {
      std::map<std::int32_t, double> sums;
      for (const ProcedureCall& line : bill->colourSizes) {
        sums[WholeNumberOf(line["@DetailID"])] += line["@Quantity"].AsDouble();
      }
      for (const auto& [detail, sum] : sums) {
        if (bill->quantities.count(detail) != 0) bill->quantities[detail] = sum;
      }
      reply.rowsAffected = static_cast<std::int64_t>(sums.size());
    }
  } else if (call.text.rfind("Select SelfID From AAAAAFN", 0) == 0) {
    test::ResultSet units{{test::Col("SelfID", SqlType::VarChar, 25)}, {}};
    for (const StoredRecord& unit : state_.records) {
      if (unit.procedure == "AAAAATN" && !params.empty() &&
          test::TextOf(unit.call["@LongName"]) == test::TextOf(params[0])) {
        units.rows.push_back({unit.id});
      }
    }
    reply.resultSets.push_back(units);
  } else if (!reply.rowsAffected) {
    reply.rowsAffected = 1;
  }
  return reply;
}

void CloudAccountBook::Transaction(const std::string& text) {
  std::lock_guard lock(mutex_);
  transactions_.push_back(text);
  if (text == "BEGIN TRAN") {
    beforeTransaction_ = state_;
  } else if (text == "ROLLBACK TRAN") {
    if (beforeTransaction_) state_ = *beforeTransaction_;
    beforeTransaction_.reset();
  } else if (text == "COMMIT TRAN") {
    beforeTransaction_.reset();
  }
}

}  // namespace quor::sync::testing
