// One ODBC statement handle on a connection for the length of one run: the
// parameter bindings that live as long as it, the command timeout, and error
// handling that tells the connection when the link to the server is gone.
#pragma once

#include <memory>
#include <string_view>

#include "Odbc.h"
#include "ParamBinder.h"

namespace quor::sql {
class Connection;
}

namespace quor::sql::detail {

class Command {
 public:
  // Opens the connection when it is closed. `timeoutSeconds` 0 means no limit.
  Command(Connection& connection, int timeoutSeconds);
  ~Command();
  Command(const Command&) = delete;
  Command& operator=(const Command&) = delete;

  SQLHSTMT Handle() const;
  ParamBinder& Binder() { return binder_; }

  // Runs `text`. False when the run produced nothing at all (SQL_NO_DATA, which
  // a procedure call ends with depending on the server's DONEPROC flags: it is
  // success). With `scanEscapes` off the driver passes the text as it stands.
  bool ExecuteDirect(std::string_view text, bool scanEscapes);
  // Skips every remaining result without cancelling the run (a cancel would stop
  // a procedure half-way); returns the rows affected, -1 when none was reported.
  // `hasResults` is what ExecuteDirect returned.
  long long Drain(bool hasResults);

  // Throws SqlError for rc unless it succeeded, first telling the connection
  // whether the link is lost.
  void Check(SQLRETURN rc, const char* what);
  [[noreturn]] void Fail(const char* what);

  // Called by the connection when it closes: the handle is freed while the link
  // is still there, and the command no longer refers to the connection.
  void Release();

 private:
  Connection* connection_;
  std::unique_ptr<OdbcHandle> stmt_;
  ParamBinder binder_;
};

}  // namespace quor::sql::detail
