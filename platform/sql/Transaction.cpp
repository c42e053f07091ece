#include "Transaction.h"

#include <iostream>

namespace quor::sql {

Transaction::Transaction(Connection& connection) : connection_(connection) {
  connection_.BeginTransaction();
}

Transaction::~Transaction() {
  if (!open_) return;
  try {
    connection_.EndTransaction(false);
  } catch (const std::exception& error) {
    // The server rolls back what a lost link left open; nothing more to do.
    std::cerr << "quor::sql: rolling back failed: " << error.what() << '\n';
  }
}

void Transaction::Commit() {
  open_ = false;
  connection_.EndTransaction(true);
}

void Transaction::Rollback() {
  open_ = false;
  connection_.EndTransaction(false);
}

}  // namespace quor::sql
