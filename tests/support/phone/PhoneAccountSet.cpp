#include "tests/support/phone/PhoneAccountSet.h"

#include <cstdio>
#include <regex>
#include <stdexcept>

namespace quor::test {
namespace {

std::string PhoneLower(std::string text) {
  for (char& c : text) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  return text;
}

// SQL Server compares with the account set's case-insensitive collation and
// ignores trailing blanks.
bool SqlEquals(const std::string& a, const std::string& b) {
  const auto trimmed = [](std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return PhoneLower(std::move(text));
  };
  return trimmed(a) == trimmed(b);
}

Reply RowsOfSelfId(const std::vector<std::string>& ids) {
  ResultSet rows;
  rows.columns = {Col("SelfID", SqlType::VarChar, 25)};
  for (const std::string& id : ids) rows.rows.push_back({id});
  Reply reply;
  reply.resultSets.push_back(rows);
  return reply;
}

std::string ParamText(const StatementCall& call, std::size_t index) {
  if (index >= call.params.size()) throw std::runtime_error("missing parameter in " + call.text);
  return TextOf(call.params[index].value);
}

}  // namespace

PhoneAccountSet::PhoneAccountSet(AccountSet& accountSet)
    : accountSet_(accountSet), bills_(accountSet) {
  SqlServerStandIn& server = accountSet_.Server();
  const struct {
    const char* procedure;
    const char* table;  // nullptr: the @dbName parameter names it
    const char* modeParam;
  } writers[] = {{"AAAAASA", nullptr, "@Mode"},
                 {"AAAAAST", nullptr, "@Mode"},
                 {"AAAAATH", nullptr, "@Mode"},
                 {"AAAAATP", nullptr, "@Mode"},
                 {"AAAAATN", "AAAAAFN", "@MODE"}};
  for (const auto& writer : writers) {
    const std::string procedure = writer.procedure;
    const std::string table = writer.table != nullptr ? writer.table : "";
    const char* modeParam = writer.modeParam;
    server.OnProcedure(procedure, [this, procedure, table, modeParam](const ProcedureCall& call) {
      return WriteRecord(procedure, table.empty() ? TextOf(call["@dbName"]) : table, modeParam,
                         call);
    });
  }
  server.OnProcedure("AAAABCT", [this](const ProcedureCall& call) {
    Reply reply;
    if (FailsNow("AAAABCT")) {
      std::lock_guard lock(mutex_);
      reply.returnStatus = failures_["AAAABCT"].second;
      return reply;
    }
    std::lock_guard lock(mutex_);
    bool found = false;
    for (const Record& ware : state_.tables["aaaaaft"])
      found |= ware.selfId == TextOf(call["@WareID"]);
    if (!found) reply.returnStatus = -2;
    state_.writerCalls["AAAABCT"].push_back(call);
    changed_ = true;
    return reply;
  });
  for (const char* procedure : {"AAAAART", "AAAAARU"}) {
    const std::string name = procedure;
    server.OnProcedure(name, [this, name](const ProcedureCall& call) {
      Reply reply;
      if (FailsNow(name)) {
        std::lock_guard lock(mutex_);
        reply.returnStatus = failures_[name].second;
        return reply;
      }
      std::lock_guard lock(mutex_);
      Bill bill;
      bill.id = state_.nextBillId++;
      bill.procedure = name;
      bill.call = call;
      state_.bills.push_back(bill);
      changed_ = true;
      state_.events.push_back("master " + TextOf(call["@number"]));
      changed_ = true;
      reply.returnStatus = bill.id;
      return reply;
    });
  }
  for (const char* procedure : {"AAAAARQ", "AAAAARR"}) {
    const std::string name = procedure;
    server.OnProcedure(name, [this, name](const ProcedureCall& call) {
      Reply reply;
      if (FailsNow(name)) {
        std::lock_guard lock(mutex_);
        reply.returnStatus = failures_[name].second;
        return reply;
      }
      std::lock_guard lock(mutex_);
      const std::string billId = TextOf(call["@BillID"]);
      for (Bill& bill : state_.bills) {
        if (std::to_string(bill.id) == billId) {
          bill.lines.push_back({name, call});
          changed_ = true;
          state_.events.push_back("line " + billId);
          changed_ = true;
          reply.returnStatus = state_.nextLineId++;
          return reply;
        }
      }
      reply.returnStatus = -1;  // no such bill
      return reply;
    });
  }
  for (const char* procedure : {"AAAABBG", "AAAABBH"}) {
    server.OnProcedure(procedure, [this](const ProcedureCall& call) {
      std::lock_guard lock(mutex_);
      const std::string billId = TextOf(call["@BillID"]);
      for (Bill& bill : state_.bills) {
        if (std::to_string(bill.id) == billId) bill.serials.push_back(TextOf(call["@SerialNo"]));
        changed_ = true;
      }
      return Reply{};
    });
  }
  server.OnProcedure("AAAABBL", [this](const ProcedureCall& call) {
    Reply reply;
    if (FailsNow("AAAABBL")) {
      std::lock_guard lock(mutex_);
      reply.returnStatus = failures_["AAAABBL"].second;
      reply.outputs["@ErrorReturn"] = "-1090";
      return reply;
    }
    std::lock_guard lock(mutex_);
    const std::string billId = TextOf(call["@nBillID"]);
    for (Bill& bill : state_.bills) {
      if (std::to_string(bill.id) == billId) bill.posted = changed_ = true;
    }
    state_.events.push_back("post " + billId);
    changed_ = true;
    reply.outputs["@ErrorReturn"] = "0";
    return reply;
  });

  server.OnStatementMatching(
      std::regex(R"(SELECT SelfID FROM (\w+) WHERE (.+))", std::regex::icase),
      [this](const StatementCall& call) { return Lookup(call); });
  server.OnStatement(
      "IF OBJECT_ID(N'QuorPhoneUploadBill', N'U') IS NULL CREATE TABLE QuorPhoneUploadBill "
      "(UploadKey varchar(40) NOT NULL PRIMARY KEY, BillID int NOT NULL, BillNumber "
      "nvarchar(100) NULL, ImportTime datetime NOT NULL DEFAULT GETDATE())",
      Reply{});
  server.OnStatementMatching(
      std::regex(R"(SELECT BillID FROM QuorPhoneUploadBill WHERE UploadKey = @P1)"),
      [this](const StatementCall& call) {
        ResultSet rows;
        rows.columns = {Col("BillID", SqlType::Int)};
        std::lock_guard lock(mutex_);
        const auto found = state_.marks.find(ParamText(call, 0));
        if (found != state_.marks.end()) rows.rows.push_back({found->second});
        Reply reply;
        reply.resultSets.push_back(rows);
        return reply;
      });
  server.OnStatementMatching(
      std::regex(
          R"(INSERT INTO QuorPhoneUploadBill \(UploadKey, BillID, BillNumber\) VALUES \(@P1, @P2, @P3\))"),
      [this](const StatementCall& call) {
        std::lock_guard lock(mutex_);
        const std::string key = ParamText(call, 0);
        Reply reply;
        if (state_.marks.count(key) != 0) {
          reply.error = ServerError{2627, 1, 14, "Violation of PRIMARY KEY constraint"};
          return reply;
        }
        state_.marks[key] = static_cast<std::int32_t>(call.params.at(1).value.AsInt());
        changed_ = true;
        reply.rowsAffected = 1;
        return reply;
      });
  server.OnStatementMatching(std::regex(R"(UPDATE AAAAAAR SET Refer\w+ = .* WHERE BillID = (\d+))"),
                             [this](const StatementCall& call) {
                               std::lock_guard lock(mutex_);
                               state_.events.push_back("refer " + call.captures.at(0));
                               changed_ = true;
                               Reply reply;
                               reply.rowsAffected = 0;
                               return reply;
                             });
  server.OnStatementMatching(
      std::regex(
          R"(UPDATE (AAAAABG|AAAAAAR) SET BranchID = ISNULL \(\(SELECT BranchID FROM AAAAADG WHERE SelfID = \w+\.PersonID\), ''\) WHERE BranchID = '')"),
      [this](const StatementCall& call) {
        std::lock_guard lock(mutex_);
        state_.events.push_back("branch " + call.captures.at(0));
        changed_ = true;
        Reply reply;
        reply.rowsAffected = 0;
        return reply;
      });
  server.OnTransaction([this](const std::string& text) { Transaction(text); });
}

void PhoneAccountSet::AddRecord(const std::string& table, Record record) {
  std::lock_guard lock(mutex_);
  state_.tables[PhoneLower(table)].push_back(std::move(record));
}

std::vector<PhoneAccountSet::Record> PhoneAccountSet::Records(const std::string& table) const {
  std::lock_guard lock(mutex_);
  const auto found = state_.tables.find(PhoneLower(table));
  return found == state_.tables.end() ? std::vector<Record>{} : found->second;
}

int PhoneAccountSet::Created(const std::string& procedure) const {
  std::lock_guard lock(mutex_);
  const auto found = state_.created.find(procedure);
  return found == state_.created.end() ? 0 : found->second;
}

std::vector<ProcedureCall> PhoneAccountSet::WriterCalls(const std::string& procedure) const {
  std::lock_guard lock(mutex_);
  const auto found = state_.writerCalls.find(procedure);
  return found == state_.writerCalls.end() ? std::vector<ProcedureCall>{} : found->second;
}

std::vector<PhoneAccountSet::Bill> PhoneAccountSet::Bills() const {
  std::lock_guard lock(mutex_);
  return state_.bills;
}

std::map<std::string, std::int32_t> PhoneAccountSet::Marks() const {
  std::lock_guard lock(mutex_);
  return state_.marks;
}

std::vector<std::string> PhoneAccountSet::Events() const {
  std::lock_guard lock(mutex_);
  return state_.events;
}

void PhoneAccountSet::FailCall(const std::string& procedure, int nth, std::int32_t returnStatus) {
  std::lock_guard lock(mutex_);
  failures_[procedure] = {nth, returnStatus};
}

int PhoneAccountSet::Commits() const {
  std::lock_guard lock(mutex_);
  return commits_;
}

int PhoneAccountSet::Rollbacks() const {
  std::lock_guard lock(mutex_);
  return rollbacks_;
}

bool PhoneAccountSet::FailsNow(const std::string& procedure) {
  std::lock_guard lock(mutex_);
  const auto found = failures_.find(procedure);
  if (found == failures_.end() || found->second.first <= 0) return false;
  return --found->second.first == 0;
}

Reply PhoneAccountSet::WriteRecord(const std::string& procedure, const std::string& table,
                                   const char* modeParam, const ProcedureCall& call) {
  Reply reply;
  if (FailsNow(procedure)) {
    std::lock_guard lock(mutex_);
    reply.returnStatus = failures_[procedure].second;
    return reply;
  }
  std::lock_guard lock(mutex_);
  state_.writerCalls[procedure].push_back(call);
  changed_ = true;
  if (TextOf(call[modeParam]) != "I") {
    reply.returnStatus = -1;
    return reply;
  }
  std::vector<Record>& records = state_.tables[PhoneLower(table)];
  const std::string code = TextOf(call["@CodeName"]);
  for (const Record& record : records) {
    if (!code.empty() && SqlEquals(record.code, code)) {
      reply.returnStatus = -3;  // the code is taken
      return reply;
    }
  }
  char id[16];
  std::snprintf(id, sizeof id, "%05d", static_cast<int>(records.size()) + 1);
  Record record{std::string("00001") + id, code, TextOf(call["@LongName"]), state_.nextIndex++};
  records.push_back(record);
  ++state_.created[procedure];
  changed_ = true;
  reply.outputs["@NewSelfID"] = record.selfId;
  return reply;
}

Reply PhoneAccountSet::Lookup(const StatementCall& call) {
  const std::string table = call.captures.at(0);
  const std::string condition = call.captures.at(1);
  std::lock_guard lock(mutex_);
  const std::vector<Record>& records = state_.tables[PhoneLower(table)];
  std::vector<std::string> ids;
  if (condition == "[IndexID] = @P1") {
    const std::int64_t index = call.params.at(0).value.AsInt();
    for (const Record& record : records) {
      if (record.indexId == index) ids.push_back(record.selfId);
    }
    return RowsOfSelfId(ids);
  }
  std::optional<std::string> code;
  std::optional<std::string> name;
  if (condition == "CodeName = @P1 AND LongName = @P2") {
    code = ParamText(call, 0);
    name = ParamText(call, 1);
  } else if (condition == "CodeName = @P1") {
    code = ParamText(call, 0);
  } else if (condition == "LongName = @P1") {
    name = ParamText(call, 0);
  } else {
    Reply refused;
    refused.error = ServerError{102, 1, 15, "the phone account set has no lookup " + condition};
    return refused;
  }
  for (const Record& record : records) {
    if ((!code || SqlEquals(record.code, *code)) && (!name || SqlEquals(record.name, *name))) {
      ids.push_back(record.selfId);
    }
  }
  return RowsOfSelfId(ids);
}

void PhoneAccountSet::Transaction(const std::string& text) {
  std::lock_guard lock(mutex_);
  if (text == "BEGIN TRAN") {
    before_ = state_;
    changed_ = false;
    return;
  } else if (text == "COMMIT TRAN") {
    before_.reset();
    ++commits_;
  } else if (text == "ROLLBACK TRAN") {
    // The driver also ends the empty transaction it begins after a commit;
    // only a rollback that undoes writes counts.
    if (before_ && changed_) {
      state_ = *before_;
      ++rollbacks_;
    }
    before_.reset();
  }
  changed_ = false;
}

}  // namespace quor::test
