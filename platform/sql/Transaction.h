// One transaction on a connection for the length of a scope: what is not
// committed when the scope ends is rolled back.
//
//   sql::Transaction transaction(connection);
//   ... statements ...
//   transaction.Commit();
#pragma once

#include "Connection.h"

namespace quor::sql {

class Transaction {
 public:
  explicit Transaction(Connection& connection);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  void Commit();
  void Rollback();

 private:
  Connection& connection_;
  bool open_ = true;
};

}  // namespace quor::sql
