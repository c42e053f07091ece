// A dataset provider: it hands a stored procedure's or statement's rows to
// client datasets as data packets and exchanges parameters with them, in the
// way the provider runtime's default options do (no command text from
// clients, every blob and detail inside the packet). Nothing is written back:
// this server keeps its data through business methods, so every change a
// client sends is answered as an error.
//
//   Provider provider("QueryProvider", queryProc);
//   std::int32_t recsOut = 0;
//   com::Variant packet = provider.GetRecords(-1, recsOut, kMetaData, "", params);
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/Variant.h"
#include "platform/sql/Statement.h"
#include "platform/sql/StoredProc.h"

namespace quor::datasnap {

// Options bits of AS_GetRecords.
inline constexpr std::int32_t kMetaData = 1;
inline constexpr std::int32_t kReset = 2;
inline constexpr std::int32_t kXml = 4;
inline constexpr std::int32_t kXmlUtf8 = 8;

class Provider {
 public:
  // What AS_DataRequest answers; without one it answers Null.
  using DataRequestHandler = std::function<com::Variant(Provider&, const com::Variant& input)>;

  // blockSize: rows read from the server at a time (the dataset's cache
  // size); 0 reads each result whole when the dataset opens.
  Provider(std::string name, sql::StoredProc& dataSet, std::size_t blockSize = 0);
  Provider(std::string name, sql::Statement& dataSet, std::size_t blockSize = 0);
  Provider(const Provider&) = delete;
  Provider& operator=(const Provider&) = delete;

  const std::string& Name() const { return name_; }
  sql::DataSet& DataSet() { return dataSet_; }

  // Reset (kReset) closes the dataset first; a reset alone (count 0) answers
  // Null. Client params, when given, are assigned by name and the dataset is
  // run again with them. A closed dataset is opened with its current
  // statement and parameters (a procedure runs again). count -1 takes every
  // row left, 0 none (field descriptions only), n the next n; recsOut tells
  // how many. Once every row is delivered the dataset is closed, so the next
  // request runs it afresh. params comes back packed with the dataset's
  // parameters (outputs and return value included). The packet always
  // describes its fields, as readers need them; kMetaData adds nothing more.
  com::Variant GetRecords(std::int32_t count, std::int32_t& recsOut, std::int32_t options,
                          std::string_view commandText, com::Variant& params);
  // The dataset's parameters, packed; Null when it has none.
  com::Variant GetParams();
  // Runs the dataset without rows after assigning client params by name;
  // params comes back packed.
  void Execute(std::string_view commandText, com::Variant& params);
  // Every packet already carries its blobs and there are no nested details,
  // so there is nothing more to fetch for a row: Null.
  com::Variant RowRequest(const com::Variant& row, std::int32_t requestType);
  com::Variant DataRequest(const com::Variant& input);
  // Reads the delta's record statuses and rejects every change: errorCount is
  // the number of changes (at most maxErrors + 1 unless maxErrors is -1), the
  // result a packet with one row (ERROR_RECORDNO, ERROR_MESSAGE) per rejected
  // change, Null when there were none. A delta that is not a data packet is an
  // error.
  com::Variant ApplyUpdates(const com::Variant& delta, std::int32_t maxErrors,
                            std::int32_t& errorCount);

  void SetOnDataRequest(DataRequestHandler handler) { onDataRequest_ = std::move(handler); }

  // All rows of the dataset run afresh with its current statement and
  // parameters, as one packet; the dataset is closed afterwards.
  std::vector<std::uint8_t> AllRecords();

 private:
  void OpenDataSet();
  void RejectCommandText(std::string_view commandText) const;
  std::vector<std::uint8_t> ReadPacket(std::int32_t count, std::int32_t& recsOut);

  std::string name_;
  sql::DataSet& dataSet_;
  sql::StoredProc* procedure_ = nullptr;
  sql::Statement* statement_ = nullptr;
  std::size_t blockSize_;
  DataRequestHandler onDataRequest_;
};

}  // namespace quor::datasnap
