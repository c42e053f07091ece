#include "RecordSet.h"

#include <iostream>
#include <utility>

#include "SqlError.h"
#include "detail/ResultReader.h"
#include "detail/SqlText.h"
#include "platform/text/AsciiText.h"

namespace quor::sql {

RecordSet::RecordSet(std::unique_ptr<detail::ResultReader> reader, std::size_t blockSize,
                     std::function<void(detail::ResultReader&)> onFinished)
    : blockSize_(blockSize), reader_(std::move(reader)), onFinished_(std::move(onFinished)) {}

RecordSet::~RecordSet() {
  if (!reader_) return;
  try {
    Finish();
  } catch (const std::exception& error) {
    // A destructor cannot pass the error on; the next call on the connection
    // meets the same fault and reports it.
    std::cerr << "quor::sql: finishing an unread reply failed: " << error.what() << '\n';
  }
}

bool RecordSet::Start() {
  try {
    if (blockSize_ == 0) {
      while (reader_->NextResultSet()) {
        Result result;
        result.fields = reader_->Fields();
        reader_->ReadRows(0, result.rows);
        results_.push_back(std::move(result));
      }
      Done();
      return !results_.empty();
    }
    if (!reader_->NextResultSet()) {
      Done();
      return false;
    }
    results_.push_back(Result{reader_->Fields(), {}});
    reader_->ReadRows(blockSize_, results_.front().rows);
    return true;
  } catch (...) {
    reader_.reset();  // frees the statement; the driver cancels what is left
    throw;
  }
}

void RecordSet::Finish() {
  if (!reader_) return;
  try {
    reader_->Finish();
  } catch (...) {
    reader_.reset();
    throw;
  }
  Done();
}

void RecordSet::Done() {
  rowsAffected_ = reader_->RowsAffected();
  if (onFinished_) onFinished_(*reader_);
  reader_.reset();
}

const std::vector<Field>& RecordSet::Fields() const {
  static const std::vector<Field> kNone;
  if (results_.empty()) return kNone;
  return results_[blockSize_ == 0 ? resultIndex_ : 0].fields;
}

const std::vector<Row>& RecordSet::Rows() const {
  static const std::vector<Row> kNone;
  if (results_.empty()) return kNone;
  return results_[blockSize_ == 0 ? resultIndex_ : 0].rows;
}

int RecordSet::FieldIndex(std::string_view name) const {
  const std::vector<Field>& fields = Fields();
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (text::EqualsIgnoringAsciiCase(fields[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

void RecordSet::Next() {
  if (Eof()) return;
  ++recNo_;
  if (recNo_ >= Rows().size() && reader_ != nullptr && blockSize_ != 0) ReadNextBlock();
}

const Value& RecordSet::FieldValue(std::size_t index) const {
  if (Eof()) throw SqlError("No current record");
  const Row& row = Rows()[recNo_];
  if (index >= row.size()) {
    throw SqlError("Field index " + std::to_string(index) + " is out of range");
  }
  return row[index];
}

const Value& RecordSet::FieldByName(std::string_view name) const {
  const int index = FieldIndex(name);
  if (index < 0) throw SqlError("Field '" + std::string(name) + "' not found");
  return FieldValue(static_cast<std::size_t>(index));
}

bool RecordSet::NextResult() {
  if (blockSize_ == 0) {
    if (resultIndex_ + 1 >= results_.size()) return false;
    ++resultIndex_;
    recNo_ = 0;
    return true;
  }
  if (!reader_) return false;
  recNo_ = 0;
  try {
    if (!reader_->NextResultSet()) {
      results_.front().rows.clear();
      Done();
      return false;
    }
    results_.front() = Result{reader_->Fields(), {}};
    reader_->ReadRows(blockSize_, results_.front().rows);
  } catch (...) {
    reader_.reset();
    throw;
  }
  ++resultIndex_;
  return true;
}

std::size_t RecordSet::ReadNextBlock() {
  if (!reader_ || blockSize_ == 0) return 0;
  std::vector<Row>& rows = results_.front().rows;
  rows.clear();
  recNo_ = 0;
  try {
    return reader_->ReadRows(blockSize_, rows);
  } catch (...) {
    reader_.reset();
    throw;
  }
}

}  // namespace quor::sql
