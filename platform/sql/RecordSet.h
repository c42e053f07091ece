// The rows a stored procedure or statement returned: one or more result sets,
// each with typed fields, walked ADO style (Eof / Next / FieldByName) or taken
// whole through Rows(). Normally every result is read when the record set is
// opened, which lets the procedure finish, makes its outputs readable at once
// and frees the connection for the next call. A record set opened with a block
// size reads that many rows at a time instead (forward only); it keeps the
// connection busy until it has been read or closed.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "Field.h"
#include "Value.h"

namespace quor::sql {

namespace detail {
class ResultReader;
}

using Row = std::vector<Value>;

class RecordSet {
 public:
  ~RecordSet();
  RecordSet(const RecordSet&) = delete;
  RecordSet& operator=(const RecordSet&) = delete;

  // The current result set.
  const std::vector<Field>& Fields() const;
  // Index of the field named `name` (letter case ignored); -1 when absent.
  int FieldIndex(std::string_view name) const;
  // Rows read so far of the current result set: all of them, or the current block.
  const std::vector<Row>& Rows() const;
  std::size_t RecordCount() const { return Rows().size(); }
  // Rows the statements without result sets reported as affected; -1 when none.
  long long RowsAffected() const { return rowsAffected_; }

  // Cursor over the rows. In block mode Next() reads the next block when the
  // current one ends, and First() goes back only to the start of the block.
  bool Eof() const { return recNo_ >= Rows().size(); }
  void First() { recNo_ = 0; }
  void Next();
  const Value& FieldValue(std::size_t index) const;
  // Throws SqlError "Field 'x' not found" for an unknown name.
  const Value& FieldByName(std::string_view name) const;

  // Moves to the next result set of the reply; false when there is none.
  bool NextResult();
  std::size_t ResultIndex() const { return resultIndex_; }

  // Block mode only: replaces Rows() with the next block of the current result
  // set; returns its size, 0 at the end.
  std::size_t ReadNextBlock();
  // True when every row of the reply has been read (always in full mode).
  bool Complete() const { return reader_ == nullptr; }

 private:
  friend class DataSet;
  struct Result {
    std::vector<Field> fields;
    std::vector<Row> rows;
  };

  // Reads the reply; false when it holds no result set at all. `onFinished`
  // runs once the reply has been read to its end (outputs are then readable).
  RecordSet(std::unique_ptr<detail::ResultReader> reader, std::size_t blockSize,
            std::function<void(detail::ResultReader&)> onFinished);
  bool Start();
  // Reads or skips what is left of the reply.
  void Finish();
  void Done();

  std::vector<Result> results_;  // full mode: every result set; block mode: the current one
  std::size_t resultIndex_ = 0;
  std::size_t recNo_ = 0;
  long long rowsAffected_ = -1;
  std::size_t blockSize_ = 0;
  std::unique_ptr<detail::ResultReader> reader_;
  std::function<void(detail::ResultReader&)> onFinished_;
};

}  // namespace quor::sql
