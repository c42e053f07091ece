// Walks the results of one run: skips row counts, describes each result set's
// columns and reads its rows, all or a block at a time, as Values.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "../Field.h"
#include "../Value.h"
#include "Command.h"

namespace quor::sql::detail {

using Row = std::vector<Value>;

class ResultReader {
 public:
  // `hasResults` is what Command::ExecuteDirect returned.
  ResultReader(std::unique_ptr<Command> command, bool hasResults);

  // Moves to the next result that has columns; false when the results have
  // ended, which is when output parameters become readable.
  bool NextResultSet();
  const std::vector<Field>& Fields() const { return fields_; }
  // Appends up to `maxRows` rows (0: all) of the current result set to `rows`;
  // returns how many were read, 0 once the result set is exhausted.
  std::size_t ReadRows(std::size_t maxRows, std::vector<Row>& rows);
  // Skips whatever is left without cancelling the run.
  void Finish();
  bool Finished() const { return state_ == State::kDone; }
  long long RowsAffected() const { return rowsAffected_; }
  Command& GetCommand() { return *command_; }

 private:
  enum class State { kPositioned, kInResultSet, kDone };

  void Describe(SQLSMALLINT columnCount);
  Value ReadColumn(SQLUSMALLINT column, const Field& field);
  Value ReadLong(SQLUSMALLINT column, bool wide);

  std::unique_ptr<Command> command_;
  State state_;
  bool exhausted_ = false;
  std::vector<Field> fields_;
  long long rowsAffected_ = -1;
  std::vector<unsigned char> chunk_;
};

}  // namespace quor::sql::detail
