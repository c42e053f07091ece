// A field or parameter value as the SQL layer hands it around: null, boolean,
// integer, double, exact decimal (kept as text), date-time, UTF-8 text or bytes.
// Later stages write these into data packets and OLE variants, so the kind a
// value arrived as is kept; the As... conversions follow the usual variant rules.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace quor::sql {

enum class ValueKind { kNull, kBoolean, kInteger, kDouble, kDecimal, kDateTime, kText, kBytes };

// The kind of value a column or parameter of an ODBC SQL type holds: text for
// the character types, nullopt for types with no kind of their own here
// (GUIDs, times, variants, XML, types the driver does not name).
std::optional<ValueKind> ValueKindOfSqlType(short sqlType);

struct DateTime {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int nanosecond = 0;

  // OLE automation dates: days since 1899-12-30, the fraction being the time of
  // day. Negative dates keep the time as a positive fraction, as OLE does.
  static DateTime FromOleDate(double days);
  double ToOleDate() const;
  // Milliseconds since 1970-01-01 00:00 with the date-time read as it stands
  // (no time zone applied); sub-millisecond parts are dropped.
  static DateTime FromEpochMillis(std::int64_t millis);
  std::int64_t ToEpochMillis() const;
  // "YYYY-MM-DD hh:mm:ss", with ".fff" when there are milliseconds.
  std::string ToText() const;
  // Accepts "YYYY-MM-DD", "YYYY/MM/DD", either followed by a time "hh:mm[:ss[.fraction]]"
  // after a space or "T". False for anything else or an impossible date.
  static bool Parse(const std::string& text, DateTime& out);

  auto operator<=>(const DateTime&) const = default;
};

// Raised by the As... accessors when a value has no form of the asked kind.
class ConversionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Value {
 public:
  Value() = default;  // null
  static Value Null() { return Value(); }
  static Value Boolean(bool value);
  static Value Integer(std::int64_t value);
  static Value Double(double value);
  // digits with an optional sign and decimal point, e.g. "-12.3400"
  static Value Decimal(std::string text);
  static Value FromDateTime(const DateTime& value);
  static Value Text(std::string utf8);
  static Value Bytes(std::vector<std::uint8_t> bytes);

  ValueKind Kind() const { return static_cast<ValueKind>(data_.index()); }
  bool IsNull() const { return Kind() == ValueKind::kNull; }

  // Conversions; a null converts to 0, false, "" and an empty byte array. Doubles
  // become integers by rounding half to even, as variants do; texts are parsed.
  bool AsBoolean() const;
  std::int64_t AsInteger() const;
  double AsDouble() const;
  // Integers and doubles in shortest form, decimals as they stand, booleans as
  // "True"/"False", date-times as DateTime::ToText, bytes as their raw bytes.
  std::string AsText() const;
  // Numbers are read as OLE dates; texts are parsed with DateTime::Parse.
  DateTime AsDateTime() const;
  std::vector<std::uint8_t> AsBytes() const;

  // The stored decimal text; only for kDecimal values.
  const std::string& DecimalText() const;

  // For logs and test messages: NULL, 42, 1.5, 'text', 0x0102, 2024-01-02 03:04:05.
  std::string ToDebugString() const;

  bool operator==(const Value&) const = default;

 private:
  struct DecimalValue {
    std::string text;
    bool operator==(const DecimalValue&) const = default;
  };
  using Data = std::variant<std::monostate, bool, std::int64_t, double, DecimalValue, DateTime,
                            std::string, std::vector<std::uint8_t>>;
  explicit Value(Data data) : data_(std::move(data)) {}

  Data data_;
};

}  // namespace quor::sql
