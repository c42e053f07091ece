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

constexpr std::int64_t kCloudOffsetMillis = 8LL * 3600 * 1000;

}  // namespace

sql::DateTime CloudMillisToDateTime(std::int64_t millis) {
  return sql::DateTime::FromEpochMillis(millis + kCloudOffsetMillis);
}

std::int64_t DateTimeToCloudMillis(const sql::DateTime& local) {
  return local.ToEpochMillis() - kCloudOffsetMillis;
}

}  // namespace quor::sync
