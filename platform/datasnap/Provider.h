// A dataset provider: it hands a stored procedure's or statement's rows to
// client datasets as data packets and exchanges parameters with them, in the
// way the provider runtime's default options do (no command text from
// clients, every blob and detail inside the packet). Changes clients send back
// are written to the table of a statement that reads one table (see
// UpdateResolver); a procedure's rows, or a statement's of several tables, are
// not written back, and each such change is answered as an error.
//
//   Provider provider("QueryProvider", queryProc);
//   std::int32_t recsOut = 0;
//   com::Variant packet = provider.GetRecords(-1, recsOut, kMetaData, "", params);
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "HeldRows.h"
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
  // size); 0 takes kDefaultReadBlock. Either way every row is read when the
  // dataset opens: only the rows of one block exist as values at a time.
  Provider(std::string name, sql::StoredProc& dataSet, std::size_t blockSize = 0);
  Provider(std::string name, sql::Statement& dataSet, std::size_t blockSize = 0);
  Provider(const Provider&) = delete;
  Provider& operator=(const Provider&) = delete;

  const std::string& Name() const { return name_; }
  sql::DataSet& DataSet() { return dataSet_; }

  // Reset (kReset) drops the held rows first; a reset alone (count 0) answers
  // Null. Client params, when given, are assigned by name and the dataset is
  // run again with them. Without held rows the dataset is opened with its
  // current statement and parameters (a procedure runs again) and all its
  // rows are read into the provider, as a client-side cursor does, so the
  // connection is free for other calls between packets. count -1 takes every
  // row left, 0 none (field descriptions only), n the next n; recsOut tells
  // how many. Once every row is delivered they are dropped, so the next
  // request runs the dataset afresh; so does anything that closes or reopens
  // the dataset meanwhile (another method on the same component). params
  // comes back packed with the dataset's parameters (outputs and return value
  // included). The packet always describes its fields, as readers need them;
  // kMetaData adds nothing more.
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
  // The changes of a client dataset (a delta of the rows this provider
  // delivered last) applied as UpdateResolver describes; errorCount and the
  // answer as it gives them. A delta that is no data packet, does not match
  // the rows' fields, or comes when no rows are open, and a maxErrors below
  // -1, fail the call before anything is written.
  com::Variant ApplyUpdates(const com::Variant& delta, std::int32_t maxErrors,
                            std::int32_t& errorCount);

  void SetOnDataRequest(DataRequestHandler handler) { onDataRequest_ = std::move(handler); }

  // All rows of the dataset run afresh with its current statement and
  // parameters, as one packet; the dataset is closed afterwards.
  std::vector<std::uint8_t> AllRecords();

  // Rows of an open dataset not yet handed out; 0 when none are held.
  std::size_t HeldRowCount() const;

  static constexpr std::size_t kDefaultReadBlock = 1000;

 private:
  void RejectCommandText(std::string_view commandText) const;
  // The held rows, reading the dataset when there are none (or when they
  // belong to an earlier state of the dataset).
  HeldRows& Rows();
  void DropRows() { held_.reset(); }

  std::string name_;
  sql::DataSet& dataSet_;
  sql::StoredProc* procedure_ = nullptr;
  sql::Statement* statement_ = nullptr;
  std::size_t blockSize_;
  DataRequestHandler onDataRequest_;
  std::unique_ptr<HeldRows> held_;
  std::uint64_t heldGeneration_ = 0;
  // The fields of the last opening, for the changes clients send back to them.
  std::vector<sql::Field> openFields_;
  std::uint64_t openGeneration_ = 0;
  bool opened_ = false;
};

}  // namespace quor::datasnap
