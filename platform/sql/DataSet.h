// What stored procedures and statements have in common, in the manner of an
// ADO dataset component: a name (error texts carry it), the connection, a
// command timeout, the parameter list and the record set of the last Open.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "Parameter.h"
#include "RecordSet.h"

namespace quor::sql {

class Connection;

namespace detail {
class Command;
class ResultReader;
}  // namespace detail

class DataSet {
 public:
  // ADO's default command timeout.
  static constexpr int kDefaultCommandTimeout = 30;

  DataSet(Connection& connection, std::string name);
  virtual ~DataSet();
  DataSet(const DataSet&) = delete;
  DataSet& operator=(const DataSet&) = delete;

  const std::string& Name() const { return name_; }
  Connection& GetConnection() { return connection_; }
  int CommandTimeout() const { return commandTimeout_; }
  void SetCommandTimeout(int seconds) { commandTimeout_ = seconds; }  // 0: no limit

  Parameters& Params() { return params_; }
  const Parameters& Params() const { return params_; }

  // A record set from the last Open is there.
  bool Active() const { return records_ != nullptr; }
  // Throws SqlError when not active.
  RecordSet& Records();
  // Drops the rows; a reply not yet read to its end is read through first, so a
  // procedure is never stopped half-way.
  void Close();
  // Changes whenever the component is closed or opened, so whoever keeps rows
  // of an earlier open (a provider's client-side cursor) can tell that they
  // no longer belong to the component's current state.
  std::uint64_t Generation() const { return generation_; }

 protected:
  // Reads the reply of an executed command into a new record set and makes it
  // the active one; raises NoResultSetError when the reply has no result set.
  RecordSet& OpenReply(std::unique_ptr<detail::Command> command, bool hasResults,
                       std::size_t blockSize,
                       std::function<void(detail::ResultReader&)> onFinished);

 private:
  Connection& connection_;
  std::string name_;
  int commandTimeout_ = kDefaultCommandTimeout;
  Parameters params_;
  std::unique_ptr<RecordSet> records_;
  std::uint64_t generation_ = 0;
};

}  // namespace quor::sql
