#include <cstdint>

#include "sync/CloudClient.h"

namespace quor::sync {

com::Variant CloudValue(const nlohmann::json& member) {
  switch (member.type()) {
    case nlohmann::json::value_t::number_integer:
      return com::Variant::I8(member.get<std::int64_t>());
    case nlohmann::json::value_t::number_unsigned: {
      auto value = member.get<std::uint64_t>();
      if (value > static_cast<std::uint64_t>(INT64_MAX)) return com::Variant::R8(double(value));
      return com::Variant::I8(static_cast<std::int64_t>(value));
    }
    case nlohmann::json::value_t::number_float:
      return com::Variant::R8(member.get<double>());
    case nlohmann::json::value_t::boolean:
      return com::Variant::Bool(member.get<bool>());
    case nlohmann::json::value_t::string:
      return com::Variant::String(member.get<std::string>());
    case nlohmann::json::value_t::object:
    case nlohmann::json::value_t::array:
      return com::Variant::String(
          member.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
    default:
      return com::Variant();
  }
}

namespace {

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
std::int64_t DaysFromCivilDate(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilDateFromDays(std::int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(y + (month <= 2));
}

constexpr std::int64_t kCloudOffsetMillis = 8LL * 3600 * 1000;
constexpr std::int64_t kMillisPerDay = 86400LL * 1000;

}  // namespace

sql::DateTime CloudMillisToDateTime(std::int64_t millis) {
  std::int64_t local = millis + kCloudOffsetMillis;
  std::int64_t days = local / kMillisPerDay;
  std::int64_t rest = local % kMillisPerDay;
  if (rest < 0) {
    rest += kMillisPerDay;
    --days;
  }
  sql::DateTime out;
  CivilDateFromDays(days, out.year, out.month, out.day);
  out.hour = static_cast<int>(rest / 3600000);
  out.minute = static_cast<int>(rest / 60000 % 60);
  out.second = static_cast<int>(rest / 1000 % 60);
  out.nanosecond = static_cast<int>(rest % 1000) * 1000000;
  return out;
}

std::int64_t DateTimeToCloudMillis(const sql::DateTime& local) {
  std::int64_t days = DaysFromCivilDate(local.year, static_cast<unsigned>(local.month),
                                        static_cast<unsigned>(local.day));
  std::int64_t millis = days * kMillisPerDay + local.hour * 3600000LL + local.minute * 60000LL +
                        local.second * 1000LL + local.nanosecond / 1000000;
  return millis - kCloudOffsetMillis;
}

}  // namespace quor::sync
