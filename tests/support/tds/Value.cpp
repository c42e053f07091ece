#include "tests/support/tds/SqlServerStandIn.h"

#include <cstdio>
#include <stdexcept>

namespace quor::test {

std::string_view SqlTypeName(SqlType type) {
  switch (type) {
    case SqlType::Int:
      return "int";
    case SqlType::SmallInt:
      return "smallint";
    case SqlType::TinyInt:
      return "tinyint";
    case SqlType::BigInt:
      return "bigint";
    case SqlType::Bit:
      return "bit";
    case SqlType::Float:
      return "float";
    case SqlType::Real:
      return "real";
    case SqlType::Decimal:
      return "decimal";
    case SqlType::Numeric:
      return "numeric";
    case SqlType::Money:
      return "money";
    case SqlType::DateTime:
      return "datetime";
    case SqlType::Char:
      return "char";
    case SqlType::VarChar:
      return "varchar";
    case SqlType::NChar:
      return "nchar";
    case SqlType::NVarChar:
      return "nvarchar";
    case SqlType::Text:
      return "text";
    case SqlType::NText:
      return "ntext";
    case SqlType::VarBinary:
      return "varbinary";
    case SqlType::Image:
      return "image";
  }
  return "?";
}

namespace {

[[noreturn]] void WrongKind(const char* wanted, const Value& v) {
  throw std::logic_error(std::string("value is not ") + wanted + ": " + v.ToString());
}

}  // namespace

Value::Value(const Value& other) = default;
Value::Value(Value&& other) noexcept = default;
Value& Value::operator=(const Value& other) = default;
Value& Value::operator=(Value&& other) noexcept = default;
Value::~Value() = default;

std::int64_t Value::AsInt() const {
  if (auto* p = std::get_if<std::int64_t>(&data_)) return *p;
  WrongKind("an integer", *this);
}

double Value::AsDouble() const {
  if (auto* p = std::get_if<double>(&data_)) return *p;
  if (auto* p = std::get_if<std::int64_t>(&data_)) return static_cast<double>(*p);
  if (auto* p = std::get_if<quor::test::Decimal>(&data_)) return std::stod(p->text);
  WrongKind("a number", *this);
}

const std::string& Value::AsText() const {
  if (auto* p = std::get_if<std::string>(&data_)) return *p;
  WrongKind("text", *this);
}

const std::string& Value::AsDecimalText() const {
  if (auto* p = std::get_if<quor::test::Decimal>(&data_)) return p->text;
  WrongKind("a decimal", *this);
}

const quor::test::Bytes& Value::AsBytes() const {
  if (auto* p = std::get_if<quor::test::Bytes>(&data_)) return *p;
  WrongKind("bytes", *this);
}

const quor::test::DateTime& Value::AsDateTime() const {
  if (auto* p = std::get_if<quor::test::DateTime>(&data_)) return *p;
  WrongKind("a datetime", *this);
}

std::string Value::ToString() const {
  switch (GetKind()) {
    case Kind::Null:
      return "NULL";
    case Kind::Integer:
      return std::to_string(std::get<std::int64_t>(data_));
    case Kind::Float: {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.17g", std::get<double>(data_));
      return buf;
    }
    case Kind::Decimal:
      return std::get<quor::test::Decimal>(data_).text;
    case Kind::Text:
      return "'" + std::get<std::string>(data_) + "'";
    case Kind::Bytes: {
      std::string out = "0x";
      char buf[3];
      for (std::uint8_t b : std::get<quor::test::Bytes>(data_)) {
        std::snprintf(buf, sizeof buf, "%02X", b);
        out += buf;
      }
      return out;
    }
    case Kind::DateTime: {
      const auto& d = std::get<quor::test::DateTime>(data_);
      char buf[64];
      std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", d.year, d.month, d.day,
                    d.hour, d.minute, d.second, d.millisecond);
      return buf;
    }
  }
  return "?";
}

}  // namespace quor::test
