// The account set as the cloud download writes it, on the SQL Server
// stand-in: the record writers, bill headers, bill lines, colour/size lines,
// posting and the download's own statements keep what they store, inside
// transactions that commit or roll back, so a test sees what would be left
// in the account set. Procedures can be told to refuse chosen calls.
//
//   test::AccountSet accountSet(server);
//   CloudAccountBook book(accountSet);
//   book.Refuse("AAAAARQ", [](const test::ProcedureCall& c) { ... }, -3);
//   ... DownloadCloudChanges ...
//   book.Bills()[0].lines.size()
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "tests/support/accountset/AccountSet.h"
#include "tests/support/accountset/BillBook.h"

namespace quor::sync::testing {

struct StoredRecord {
  std::string procedure;
  std::string id;
  test::ProcedureCall call;
};

struct StoredBill {
  std::int32_t id = 0;
  std::string procedure;
  test::ProcedureCall master;
  std::vector<test::ProcedureCall> lines;  // account and goods lines, in order
  std::vector<test::ProcedureCall> colourSizes;
  // The quantity of each line by its identifier, as the lines table holds it.
  std::map<std::int32_t, double> quantities;
  int postings = 0;
};

struct StoredStatement {
  std::string text;
  std::vector<test::Value> params;
};

class CloudAccountBook {
 public:
  explicit CloudAccountBook(test::AccountSet& accountSet);

  // Committed state.
  std::vector<StoredRecord> Records(const std::string& procedure) const;
  std::vector<StoredBill> Bills() const;
  std::vector<StoredStatement> Statements() const;
  // "BEGIN TRAN", "COMMIT TRAN", "ROLLBACK TRAN" as they arrived.
  std::vector<std::string> Transactions() const;

  // Calls of `procedure` that `which` picks return `code` and store nothing.
  void Refuse(const std::string& procedure, std::function<bool(const test::ProcedureCall&)> which,
              std::int32_t code);

 private:
  struct State {
    std::map<std::string, int> nextId;
    std::vector<StoredRecord> records;
    std::vector<StoredBill> bills;
    std::vector<StoredStatement> statements;
    std::int32_t nextBill = 501;
    std::int32_t nextLine = 9001;
  };

  std::optional<test::Reply> Refusal(const test::ProcedureCall& call);
  void OnWriter(const std::string& procedure, const char* output, const char* modeParameter);
  test::Reply Record(const std::string& procedure, const char* output, const test::ProcedureCall&);
  test::Reply Master(const test::ProcedureCall& call);
  test::Reply Line(const test::ProcedureCall& call);
  test::Reply ColourSize(const test::ProcedureCall& call);
  test::Reply Posting(const test::ProcedureCall& call);
  test::Reply Deletion(const test::ProcedureCall& call);
  test::Reply Statement(const test::StatementCall& call);
  void Transaction(const std::string& text);
  StoredBill* BillById(std::int32_t id);

  test::AccountSet& accountSet_;
  test::BillBook bills_;
  mutable std::mutex mutex_;  // guards the members below
  State state_;
  std::optional<State> beforeTransaction_;
  std::vector<std::string> transactions_;
  std::vector<
      std::tuple<std::string, std::function<bool(const test::ProcedureCall&)>, std::int32_t>>
      refusals_;
};

}  // namespace quor::sync::testing
