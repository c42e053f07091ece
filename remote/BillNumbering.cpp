#include "remote/BillNumbering.h"

#include <cctype>
#include <charconv>
#include <ctime>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <tuple>

#include "ServerPublic/ServerGlobals.h"
#include "platform/datasnap/VariantValue.h"
#include "platform/text/AsciiText.h"
#include "remote/methods/ArgumentText.h"
#include "remote/methods/CallPattern.h"
#include "remote/methods/ModuleMemberCall.h"
#include "remote/uDataModuleSvr.h"

namespace quor::remote {
namespace {

constexpr int kReadCounter = 2;
constexpr int kAdvanceCounter = 4;
constexpr std::int32_t kConsumedNewBill = -100;

struct NumberDate {
  int year = 0, month = 0, day = 0;
};

std::string Padded(long long value, int width) {
  std::string digits = std::to_string(value < 0 ? -value : value);
  if (static_cast<int>(digits.size()) < width) {
    digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
  }
  return value < 0 ? "-" + digits : digits;
}

bool ReadNumber(std::string_view text, std::size_t& pos, int& value) {
  const std::size_t start = pos;
  while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])) != 0) ++pos;
  if (pos == start || pos - start > 4) return false;
  std::from_chars(text.data() + start, text.data() + pos, value);
  return true;
}

bool IsLeap(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

std::optional<NumberDate> ParseDashedDate(std::string_view text) {
  text = text::TrimBlanks(text);
  NumberDate parts;
  std::size_t pos = 0;
  if (!ReadNumber(text, pos, parts.year) || pos >= text.size() || text[pos++] != '-' ||
      !ReadNumber(text, pos, parts.month) || pos >= text.size() || text[pos++] != '-' ||
      !ReadNumber(text, pos, parts.day) || pos != text.size()) {
    return std::nullopt;
  }
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (parts.year < 1 || parts.month < 1 || parts.month > 12 || parts.day < 1) return std::nullopt;
  const int days = kDays[parts.month - 1] + (parts.month == 2 && IsLeap(parts.year) ? 1 : 0);
  if (parts.day > days) return std::nullopt;
  return parts;
}

std::tm NumberingLocalTime(std::chrono::system_clock::time_point now) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&seconds, &local);
  return local;
}

int WeekDay(int year, int month, int day) {  // 0 Sunday
  std::tm when{};
  when.tm_year = year - 1900;
  when.tm_mon = month - 1;
  when.tm_mday = day;
  when.tm_hour = 12;
  std::mktime(&when);
  return when.tm_wday;
}

struct Moment {
  NumberDate date;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
};

constexpr const char* kShortMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr const char* kLongMonths[] = {"January",   "February", "March",    "April",
                                       "May",       "June",     "July",     "August",
                                       "September", "October",  "November", "December"};
constexpr const char* kShortDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kLongDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                     "Thursday", "Friday", "Saturday"};

std::string ShortDate(const NumberDate& d) {
  return Padded(d.year, 4) + "-" + Padded(d.month, 2) + "-" + Padded(d.day, 2);
}

std::string LongTime(const Moment& m) {
  return Padded(m.hour, 2) + ":" + Padded(m.minute, 2) + ":" + Padded(m.second, 2);
}

// The date-and-time format letters of the client's format rows: y, m, d, h,
// n, s, z runs, "c", quoted literals; "m" straight after an hour is minutes.
std::string FormatMoment(std::string_view format, const Moment& m) {
  if (format.empty()) return ShortDate(m.date) + " " + LongTime(m);
  std::string out;
  bool afterHour = false;
  std::size_t pos = 0;
  while (pos < format.size()) {
    const char c = format[pos];
    if (c == '"' || c == '\'') {
      const std::size_t close = format.find(c, pos + 1);
      const std::size_t end = close == std::string_view::npos ? format.size() : close;
      out.append(format.substr(pos + 1, end - pos - 1));
      pos = end == format.size() ? end : end + 1;
      continue;
    }
    const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::size_t run = 1;
    while (pos + run < format.size() &&
           std::tolower(static_cast<unsigned char>(format[pos + run])) == lower) {
      ++run;
    }
    switch (lower) {
      case 'y':
        out += run <= 2 ? Padded(m.date.year % 100, 2) : Padded(m.date.year, 4);
        break;
      case 'm':
        if (afterHour && run <= 2) {
          out += run == 1 ? std::to_string(m.minute) : Padded(m.minute, 2);
        } else if (run <= 2) {
          out += run == 1 ? std::to_string(m.date.month) : Padded(m.date.month, 2);
        } else {
          out += run == 3 ? kShortMonths[m.date.month - 1] : kLongMonths[m.date.month - 1];
        }
        break;
      case 'd': {
        const int weekDay = WeekDay(m.date.year, m.date.month, m.date.day);
        if (run <= 2)
          out += run == 1 ? std::to_string(m.date.day) : Padded(m.date.day, 2);
        else if (run == 3)
          out += kShortDays[weekDay];
        else if (run == 4)
          out += kLongDays[weekDay];
        else
          out += ShortDate(m.date);
        break;
      }
      case 'h':
        out += run == 1 ? std::to_string(m.hour) : Padded(m.hour, 2);
        break;
      case 'n':
        out += run == 1 ? std::to_string(m.minute) : Padded(m.minute, 2);
        break;
      case 's':
        out += run == 1 ? std::to_string(m.second) : Padded(m.second, 2);
        break;
      case 'z':
        out += run < 3 ? std::to_string(m.millisecond) : Padded(m.millisecond, 3);
        break;
      case 'c':
        out += ShortDate(m.date) + " " + LongTime(m);
        break;
      case '/':
        out.append(run, '-');
        break;
      default:
        out.append(format.substr(pos, run));
        break;
    }
    // Only date and time letters decide whether an "m" means minutes.
    if (std::string_view("ymdhnszc").find(lower) != std::string_view::npos) {
      afterHour = lower == 'h';
    }
    pos += run;
  }
  return out;
}

// The counter in the bracketed number pattern: "0" a digit always shown, "#"
// one shown when needed, other characters copied around the digits.
std::string FormatCounter(long long value, std::string_view pattern) {
  const std::size_t first = pattern.find_first_of("0#");
  if (first == std::string_view::npos) return std::string(pattern) + std::to_string(value);
  const std::size_t last = pattern.find_last_of("0#");
  int zeros = 0;
  for (std::size_t i = first; i <= last; ++i) zeros += pattern[i] == '0' ? 1 : 0;
  std::string digits = Padded(value, zeros);
  return std::string(pattern.substr(0, first)) + digits + std::string(pattern.substr(last + 1));
}

// Default: today's format row for the bill type, prefixed with the machine
// number in quotes; empty when the account set has no row for the type.
std::string LoadBillNumberFormat(TDataModuleServer& module, const std::string& machineNumber,
                                 std::int32_t billType) {
  sql::StoredProc& proc = module.QueryProc2();
  PrepareProcedure(proc, "AAAAAPU;1");
  proc.Params().ByName("@szSql").SetValue(
      sql::Value::Text("Select SNFormat from AAAAABQ where BillType=" + std::to_string(billType)));
  std::string format;
  try {
    sql::RecordSet& rows = proc.Open();
    const sql::Value& status = proc.Params().ByName(ReturnValueName()).GetValue();
    const bool ok = status.IsNull() || datasnap::ToVariant(status).ToI4() >= 0;
    if (ok && rows.RecordCount() > 0 && !rows.Fields().empty()) {
      rows.First();
      const sql::Value& field = rows.FieldValue(0);
      format = "\"" + machineNumber + "\"" + TextOf(datasnap::ToVariant(field));
    }
  } catch (...) {
    proc.Close();
    throw;
  }
  proc.Close();
  return format;
}

std::int64_t ReadCounter(TDataModuleServer& module, const com::Variant& operatorId,
                         const com::Variant& companyId, const std::string& machineNumber,
                         std::int32_t billType, int work) {
  com::DispatchArgs args = CallModuleMember(
      module, "GetBillNumber",
      {operatorId, companyId, com::Variant(machineNumber), com::Variant::I4(work),
       com::Variant::I4(billType), com::Variant(""), com::Variant(""), com::Variant()});
  return work == kReadCounter ? CounterOf(args[7], billType) : 0;
}

std::int32_t SystemValueNumber(TDataModuleServer& module, const char* name) {
  com::DispatchArgs args = CallModuleMember(module, "GetSystemValue", {com::Variant(name), {}});
  const std::string text(text::TrimBlanks(TextOf(args[1])));
  std::int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() ? value : 0;
}

}  // namespace

std::string FormatBillNumber(std::int64_t counter, std::string_view format,
                             std::string_view dateText, std::chrono::system_clock::time_point now) {
  const std::tm local = NumberingLocalTime(now);
  Moment moment;
  moment.date = ParseDashedDate(dateText).value_or(
      NumberDate{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday});
  moment.hour = local.tm_hour;
  moment.minute = local.tm_min;
  moment.second = local.tm_sec;
  moment.millisecond = static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
  std::string cleaned;
  for (const char c : format) {
    if (c != '\r') cleaned += c;
  }
  std::string number = FormatMoment(cleaned, moment);
  const std::size_t open = number.find('[');
  const std::size_t close = number.find(']');
  if (open != std::string::npos && close != std::string::npos && close > open) {
    number.replace(
        open, close - open + 1,
        FormatCounter(counter + 1, std::string_view(number).substr(open + 1, close - open - 1)));
  }
  return number;
}

std::int64_t CounterOf(const com::Variant& szNumber, std::int32_t billType) {
  const std::string text = TextOf(szNumber);
  const std::string_view trimmed = text::TrimBlanks(text);
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(trimmed.data(), trimmed.data() + trimmed.size(), value);
  if (trimmed.empty() || error != std::errc() || end != trimmed.data() + trimmed.size()) {
    throw std::runtime_error("GetBillNumber: the counter of bill type " + std::to_string(billType) +
                             " is \"" + text +
                             "\", not a whole number; no bill number was assigned");
  }
  return value;
}

NumberingLock::NumberingLock(const std::string& server, const std::string& database,
                             std::int32_t billType) {
  static std::mutex tableMutex;  // guards the table of locks
  static std::map<std::tuple<std::string, std::string, std::int32_t>, std::unique_ptr<std::mutex>>
      locks;
  std::mutex* counterMutex = nullptr;
  {
    std::lock_guard<std::mutex> guard(tableMutex);
    std::unique_ptr<std::mutex>& slot =
        locks[{text::AsciiLower(server), text::AsciiLower(database), billType}];
    if (!slot) slot = std::make_unique<std::mutex>();
    counterMutex = slot.get();
  }
  lock_ = std::unique_lock<std::mutex>(*counterMutex);
}

std::string AssignBillNumber(TDataModuleServer& module, const NumberRequest& request) {
  if (SystemValueNumber(module, "BillNumberNewBill") != 1) return {};
  const std::int32_t effect = SystemValueNumber(module, "BillNumberEffect");
  const std::string format = LoadBillNumberFormat(module, request.machineNumber, request.billType);
  if (request.billId != 0 && request.billId != kConsumedNewBill) return {};
  sql::Connection& connection = module.QueryProc().GetConnection();
  NumberingLock lock(connection.Settings().dataSource, connection.CurrentDatabase(),
                     request.billType);
  const std::int64_t counter = ReadCounter(module, request.operatorId, request.companyId,
                                           request.machineNumber, request.billType, kReadCounter);
  std::string number =
      FormatBillNumber(counter, format, request.date, std::chrono::system_clock::now());
  if (effect == 2 || request.billId == kConsumedNewBill) {
    ReadCounter(module, request.operatorId, request.companyId, request.machineNumber,
                request.billType, kAdvanceCounter);
  }
  return number;
}

std::string MakeBillNumber(TDataModuleServer& module, const com::Variant& operatorId,
                           const com::Variant& companyId, const std::string& machineNumber,
                           std::int32_t billType, const std::string& date) {
  const std::string format = LoadBillNumberFormat(module, "", billType);
  sql::Connection& connection = module.QueryProc().GetConnection();
  NumberingLock lock(connection.Settings().dataSource, connection.CurrentDatabase(), billType);
  const std::int64_t counter =
      ReadCounter(module, operatorId, companyId, machineNumber, billType, kReadCounter);
  std::string number = FormatBillNumber(counter, format, date, std::chrono::system_clock::now());
  ReadCounter(module, operatorId, companyId, machineNumber, billType, kAdvanceCounter);
  return number;
}

std::string ShortDateToday() {
  const std::tm local = NumberingLocalTime(std::chrono::system_clock::now());
  return ShortDate(NumberDate{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday});
}

}  // namespace quor::remote
