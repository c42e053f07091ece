// A connection to SQL Server in the manner of an ADO connection object: it is
// configured with the recipe properties, opened and closed, switched between
// databases, and shared by the components (stored procedures, statements) of
// one owner. One thread uses a connection at a time; separate connections may
// be used from separate threads at once.
//
// A component that needs the connection while it is closed opens it, as ADO
// datasets do. When a call finds the link to the server gone, that call fails
// and the connection closes itself; the next call opens it again and returns to
// the database that was current, or fails cleanly when the server is still away.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ConnectionSettings.h"
#include "SqlError.h"

namespace quor::sql {

namespace detail {
class Command;
class OdbcHandle;
}  // namespace detail

class Connection {
 public:
  Connection();
  explicit Connection(ConnectionSettings settings);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Changes take effect at the next Open.
  ConnectionSettings& Settings() { return settings_; }
  const ConnectionSettings& Settings() const { return settings_; }
  void SetProperty(std::string_view name, std::string_view value);

  // Opening an open connection does nothing. Failures raise SqlError with the
  // server's or driver's text; a server that does not answer fails within the
  // connect timeout.
  void Open();
  // Closing by hand forgets the database a lost link was to return to: the
  // next Open starts from the initial catalog again.
  void Close();
  bool Connected() const { return dbc_ != nullptr; }

  // Makes `name` the current database; on failure the connection stays on the
  // database it was on and SqlError carries the server's text.
  void ChangeDatabase(const std::string& name);
  // The current database as the server last reported it; empty when closed.
  std::string CurrentDatabase() const;

  // Runs a statement that yields no rows (the connection's own command timeout
  // applies) and returns the rows affected, -1 when the server reports none.
  long long Execute(std::string_view sql);

  // Everything run between Begin and End is one transaction (manual commit
  // mode); End commits or rolls back and returns to autocommit. A link lost
  // meanwhile ends the transaction on the server's side (it rolls back), so
  // committing then fails. Use through sql::Transaction.
  void BeginTransaction();
  void EndTransaction(bool commit);
  bool InTransaction() const { return inTransaction_; }

 private:
  friend class detail::Command;

  void EnsureOpen();
  // Tells whether `error` means the link is gone (asking the driver as well),
  // marks it so, and closes the connection so that the next call reopens it.
  void NoteFailure(SqlError& error);
  bool LinkDead() const;
  void CloseLink();
  void Attach(detail::Command* command);
  void Detach(detail::Command* command);
  std::string ReadCurrentCatalog() const;

  ConnectionSettings settings_;
  std::shared_ptr<detail::OdbcHandle> dbc_;
  // The database to return to after the link was lost; empty when none.
  std::string databaseToRestore_;
  std::vector<detail::Command*> commands_;
  bool inTransaction_ = false;
};

}  // namespace quor::sql
