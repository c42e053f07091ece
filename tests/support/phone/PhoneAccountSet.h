// The mobile account set as the phone upload meets it on the SQL Server
// stand-in: basic records that the record writers create and the upload's
// lookups find (by code and name, by IndexID), bills and lines that the bill
// writers store, posting, the upload marks table and the finishing updates,
// all of it kept or undone with the connection's transactions. A test can make
// one call of a procedure fail and see what the rollback left.
//
//   test::SqlServerStandIn server;
//   test::AccountSet accountSet(server);
//   test::PhoneAccountSet phone(accountSet);
//   phone.AddRecord("AAAAABY", {"0000100001", "C-01", "华东贸易公司", 1});
//   ... ProcessUpload ...
//   phone.Bills()[0].number, phone.Events(), phone.Rollbacks()
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/accountset/AccountSet.h"
#include "tests/support/accountset/BillBook.h"

namespace quor::test {

class PhoneAccountSet {
 public:
  struct Record {
    std::string selfId, code, name;
    std::int64_t indexId = 0;
    bool operator==(const Record&) const = default;
  };
  struct BillLine {
    std::string procedure;
    ProcedureCall call;
  };
  struct Bill {
    std::int32_t id = 0;
    std::string procedure;  // the header procedure the writer chose
    ProcedureCall call;
    std::vector<BillLine> lines;
    std::vector<std::string> serials;  // @SerialNo of each serial call, in order
    bool posted = false;
  };

  explicit PhoneAccountSet(AccountSet& accountSet);
  PhoneAccountSet(const PhoneAccountSet&) = delete;
  PhoneAccountSet& operator=(const PhoneAccountSet&) = delete;

  // A record the account set holds before the test (tables AAAAABY, AAAAADG,
  // AAAAAEO, AAAAAFT, AAAAAFN).
  void AddRecord(const std::string& table, Record record);
  std::vector<Record> Records(const std::string& table) const;
  // Records created by the writers, per procedure ("AAAAASA", ...).
  int Created(const std::string& procedure) const;
  // Arguments of the record writer calls of one procedure, oldest first.
  std::vector<ProcedureCall> WriterCalls(const std::string& procedure) const;

  std::vector<Bill> Bills() const;
  // Marks left in QuorPhoneUploadBill: key -> bill id.
  std::map<std::string, std::int32_t> Marks() const;
  // "master <number>", "line <bill id>", "post <bill id>", "refer <bill id>",
  // "branch AAAAABG" and the like, in the order they took effect.
  std::vector<std::string> Events() const;

  // Call `nth` (1 = the next one) of `procedure` from now on answers `returnStatus`
  // and changes nothing.
  void FailCall(const std::string& procedure, int nth, std::int32_t returnStatus);

  int Commits() const;
  int Rollbacks() const;

 private:
  struct State {
    std::map<std::string, std::vector<Record>> tables;
    std::map<std::string, int> created;
    std::map<std::string, std::vector<ProcedureCall>> writerCalls;
    std::vector<Bill> bills;
    std::map<std::string, std::int32_t> marks;
    std::vector<std::string> events;
    std::int32_t nextBillId = 501;
    std::int32_t nextLineId = 9001;
    std::int64_t nextIndex = 1000;
  };

  Reply WriteRecord(const std::string& procedure, const std::string& table, const char* modeParam,
                    const ProcedureCall& call);
  Reply Lookup(const StatementCall& call);
  bool FailsNow(const std::string& procedure);
  void Transaction(const std::string& text);

  AccountSet& accountSet_;
  BillBook bills_;
  mutable std::mutex mutex_;  // guards every member below
  State state_;
  std::optional<State> before_;
  bool changed_ = false;  // state_ written since the transaction began
  std::map<std::string, std::pair<int, std::int32_t>> failures_;
  int commits_ = 0;
  int rollbacks_ = 0;
};

}  // namespace quor::test
