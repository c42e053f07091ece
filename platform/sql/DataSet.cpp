#include "DataSet.h"

#include <utility>

#include "SqlError.h"
#include "detail/Command.h"
#include "detail/ResultReader.h"

namespace quor::sql {

DataSet::DataSet(Connection& connection, std::string name)
    : connection_(connection), name_(std::move(name)) {}

DataSet::~DataSet() = default;

RecordSet& DataSet::Records() {
  if (!records_) throw SqlError(name_ + ": the dataset is not open");
  return *records_;
}

void DataSet::Close() {
  ++generation_;
  std::unique_ptr<RecordSet> records = std::move(records_);
  if (records) records->Finish();
}

RecordSet& DataSet::OpenReply(std::unique_ptr<detail::Command> command, bool hasResults,
                              std::size_t blockSize,
                              std::function<void(detail::ResultReader&)> onFinished) {
  auto reader = std::make_unique<detail::ResultReader>(std::move(command), hasResults);
  std::unique_ptr<RecordSet> records(
      new RecordSet(std::move(reader), blockSize, std::move(onFinished)));
  ++generation_;
  if (!records->Start()) throw NoResultSetError(name_);
  records_ = std::move(records);
  return *records_;
}

}  // namespace quor::sql
