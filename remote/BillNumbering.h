// Server-side bill numbers: the number format of a bill type (table AAAAABQ,
// with the client machine's number in front), the counter behind
// GetBillNumber, and the text a counter and a date make in that format.
//
//   FormatBillNumber(41, "\"01\"yyyymmdd[0000]", "2024-03-05", now)  // "01202403050042"
//
// Reading a counter (GetBillNumber, nWork 2) and advancing it (nWork 4) are
// two procedure calls. Within this server both run under one lock per SQL
// Server, account set and bill type (NumberingLock), so two clients numbering
// bills of one type never get the same number from the same counter value.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/com/Variant.h"

namespace quor {
class TDataModuleServer;
}

namespace quor::remote {

// The number a counter gives: `dateText` ("YYYY-MM-DD"; empty or unreadable:
// the date of `now`) with the time of day of `now`, formatted with `format`
// (carriage returns removed; text in double or single quotes copied as it
// stands), then the first "[pattern]" replaced by counter + 1 written with
// the pattern (each "0" a digit always shown). An empty format gives the date
// and time as "yyyy-mm-dd hh:nn:ss".
std::string FormatBillNumber(std::int64_t counter, std::string_view format,
                             std::string_view dateText, std::chrono::system_clock::time_point now);

// The counter GetBillNumber returned. Throws std::runtime_error naming the
// bill type when the text is empty or no whole number.
std::int64_t CounterOf(const com::Variant& szNumber, std::int32_t billType);

// Held while a counter is read and advanced. One lock per key; keys never go
// away (one per bill type and account set in use).
class NumberingLock {
 public:
  NumberingLock(const std::string& server, const std::string& database, std::int32_t billType);

 private:
  std::unique_lock<std::mutex> lock_;
};

// What numbering needs from the caller's bill header.
struct NumberRequest {
  com::Variant operatorId;
  com::Variant companyId;
  std::string machineNumber;
  std::int32_t billId = 0;  // lVchcode: 0 a new bill, -100 a new bill consumed at once
  std::int32_t billType = 0;
  std::string date;
};

// The number of a new bill when the account set asks the server to assign
// them ("BillNumberNewBill" 1), else empty. The counter is read only for bill
// 0 and -100, and advanced when "BillNumberEffect" is 2 or the bill is -100.
// Errors of the members it calls are rethrown.
std::string AssignBillNumber(TDataModuleServer& module, const NumberRequest& request);

// A number of `billType` for `date` from the type's format without machine
// number, taken from the counter of machine `machineNumber`, which is
// advanced under the same lock so the next bill gets the next number.
std::string MakeBillNumber(TDataModuleServer& module, const com::Variant& operatorId,
                           const com::Variant& companyId, const std::string& machineNumber,
                           std::int32_t billType, const std::string& date);

// Today in the short date format, "yyyy-mm-dd".
std::string ShortDateToday();

}  // namespace quor::remote
