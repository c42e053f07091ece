// The bill procedures of the test account set with state: system values, the
// numbering counters behind GetBillNumber ("AAAAAQE"), number formats (table
// AAAAABQ, read through "AAAAAPU"), the five header procedures, the three
// line procedures, the two serial procedures, posting and deletion. Tests set
// the results they need and read back what arrived through AccountSet's log.
//
//   quor::test::BillBook book(accountSet);
//   book.SetSystemValue("BillNumberNewBill", "1");
//   book.SetFormat(11, "yyyymmdd[0000]");
//   book.SetCounter(11, 41);
//   ... InsertBillMaster with an empty lNumber ...
//   accountSet.LastCall("AAAAART")["@number"]   // "01" + date + "0042"
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/accountset/AccountSet.h"

namespace quor::test {

class BillBook {
 public:
  explicit BillBook(AccountSet& accountSet);
  BillBook(const BillBook&) = delete;
  BillBook& operator=(const BillBook&) = delete;

  // The store behind GetSystemValue ("AAAAARE") and SetSystemValue ("AAAABAJ");
  // a name never set reads as the empty text.
  void SetSystemValue(const std::string& name, const std::string& value);
  std::string SystemValue(const std::string& name) const;
  // Names SetSystemValue was called with, in order.
  std::vector<std::string> SystemValueWrites() const;

  // The counter of a bill type: nWork 2 returns it as text, nWork 4 adds one.
  void SetCounter(std::int32_t billType, std::int64_t value);
  // A counter that reads as this text (for counters that are no number).
  void SetCounterText(std::int32_t billType, const std::string& text);
  std::int64_t Counter(std::int32_t billType) const;
  // Times a counter was read (nWork 2) while another read of the same type
  // had not yet been followed by its advance (nWork 4).
  int OverlappingReads() const;

  // The SNFormat row of a bill type; nullopt: the type has no row.
  void SetFormat(std::int32_t billType, std::optional<std::string> format);

  // Return values: header procedures, line procedures, posting.
  void SetMasterResult(std::int32_t value);
  void SetDetailResult(std::int32_t value);
  // Results of the serial procedures, one per call, then 0.
  void QueueSerialResults(std::vector<std::int32_t> values);
  // Posting: its return value and what it leaves in @ErrorReturn (nullopt:
  // untouched).
  void SetPostingResult(std::int32_t value, std::optional<std::int32_t> errorReturn);
  void SetDeleteResult(std::int32_t value);

 private:
  AccountSet& accountSet_;
  mutable std::mutex mutex_;  // guards every member below
  std::map<std::string, std::string> systemValues_;
  std::vector<std::string> systemValueWrites_;
  std::map<std::int32_t, std::string> counters_;
  std::map<std::int32_t, int> readsInFlight_;
  int overlappingReads_ = 0;
  std::int32_t masterResult_ = 1;
  std::int32_t detailResult_ = 57;
  std::deque<std::int32_t> serialResults_;
  std::int32_t postingResult_ = 0;
  std::optional<std::int32_t> errorReturn_;
  std::int32_t deleteResult_ = 0;
};

// Parameter lists of the bill procedures, as the account set declares them.
std::vector<std::string> BillMasterParameters(const std::string& procedure);
std::vector<std::string> BillDetailParameters();

}  // namespace quor::test
