#include "ParamBinder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "../SqlError.h"
#include "Odbc.h"
#include "platform/text/AsciiText.h"

namespace quor::sql::detail {
namespace {

enum class Category { kInteger, kBit, kFloat, kDecimal, kDate, kDateTime, kText, kGuid, kBinary };

constexpr std::size_t kMaxShortTextChars = 4000;  // nvarchar(4000) is the longest non-max text
constexpr std::size_t kMaxShortBinary = 8000;
constexpr std::size_t kDecimalBufferSize = 64;

Category CategoryOfSqlType(SQLSMALLINT type) {
  switch (type) {
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
      return Category::kInteger;
    case SQL_BIT:
      return Category::kBit;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return Category::kFloat;
    case SQL_DECIMAL:
    case SQL_NUMERIC:
      return Category::kDecimal;
    case SQL_TYPE_DATE:
    case SQL_DATE:
      return Category::kDate;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP:
      return Category::kDateTime;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
      return Category::kBinary;
    case SQL_GUID:
      return Category::kGuid;
    default:
      return Category::kText;
  }
}

Category CategoryOfValue(ValueKind kind) {
  switch (kind) {
    case ValueKind::kBoolean:
      return Category::kBit;
    case ValueKind::kInteger:
      return Category::kInteger;
    case ValueKind::kDouble:
      return Category::kFloat;
    case ValueKind::kDecimal:
      return Category::kDecimal;
    case ValueKind::kDateTime:
      return Category::kDateTime;
    case ValueKind::kBytes:
      return Category::kBinary;
    default:
      return Category::kText;
  }
}

// Digits with an optional sign and at most one decimal point.
bool IsPlainDecimal(const std::string& text, int& precision, int& scale) {
  std::size_t pos = 0;
  if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) ++pos;
  int before = 0;
  int after = 0;
  bool point = false;
  for (; pos < text.size(); ++pos) {
    const char c = text[pos];
    if (c == '.' && !point) {
      point = true;
    } else if (c >= '0' && c <= '9') {
      (point ? after : before) += 1;
    } else {
      return false;
    }
  }
  if (before + after == 0) return false;
  precision = std::max(before + after, 1);
  scale = after;
  return true;
}

// Rounds a plain decimal text to `scale` fractional digits, half away from
// zero, as SQL Server rounds when it converts to a decimal type.
std::string RoundDecimalText(const std::string& text, int scale) {
  const std::size_t point = text.find('.');
  const auto keep = static_cast<std::size_t>(scale);
  if (point == std::string::npos || text.size() - point - 1 <= keep) return text;
  std::string digits;
  digits.reserve(point + keep + 1);
  for (std::size_t i = 0; i < point + 1 + keep; ++i) {
    if (text[i] >= '0' && text[i] <= '9') digits.push_back(text[i]);
  }
  if (text[point + 1 + keep] >= '5') {
    std::size_t i = digits.size();
    while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
    if (i == 0) {
      digits.insert(digits.begin(), '1');
    } else {
      ++digits[i - 1];
    }
  }
  const std::size_t whole = digits.size() - keep;
  std::string result;
  result.reserve(digits.size() + 3);
  if (text[0] == '-') result.push_back('-');
  if (whole == 0) {
    result.push_back('0');
  } else {
    result.append(digits, 0, whole);
  }
  if (keep > 0) {
    result.push_back('.');
    result.append(digits, whole, keep);
  }
  return result;
}

template <typename T>
void Store(std::vector<unsigned char>& buffer, const T& value) {
  buffer.assign(sizeof(T), 0);
  std::memcpy(buffer.data(), &value, sizeof(T));
}

template <typename T>
T Load(const std::vector<unsigned char>& buffer) {
  T value{};
  std::memcpy(&value, buffer.data(), std::min(sizeof(T), buffer.size()));
  return value;
}

SQLSMALLINT IoType(ParamDirection direction) {
  switch (direction) {
    case ParamDirection::kInputOutput:
      return SQL_PARAM_INPUT_OUTPUT;
    case ParamDirection::kOutput:
    case ParamDirection::kReturnValue:
      return SQL_PARAM_OUTPUT;
    default:
      return SQL_PARAM_INPUT;
  }
}

}  // namespace

std::size_t ParamBinder::Bind(SQLHSTMT stmt, SQLUSMALLINT ordinal, const Parameter& parameter) {
  Slot& slot = slots_.emplace_back();
  slot.ioType = IoType(parameter.Direction());
  const bool output = slot.ioType != SQL_PARAM_INPUT;
  Fill(slot, parameter, output);
  const SQLRETURN rc = SQLBindParameter(stmt, ordinal, slot.ioType, slot.cType, slot.sqlType,
                                        slot.columnSize, slot.decimalDigits, slot.buffer.data(),
                                        static_cast<SQLLEN>(slot.buffer.size()), &slot.indicator);
  if (!Succeeded(rc)) ThrowDiagnostics(SQL_HANDLE_STMT, stmt, "SQLBindParameter");
  return slots_.size() - 1;
}

void ParamBinder::Fill(Slot& slot, const Parameter& parameter, bool output) {
  const bool sendsValue = parameter.Direction() != ParamDirection::kOutput &&
                          parameter.Direction() != ParamDirection::kReturnValue;
  const Value value = sendsValue ? parameter.GetValue() : Value();
  const SQLSMALLINT declared = parameter.SqlType();
  const Category category =
      declared != 0 ? CategoryOfSqlType(declared) : CategoryOfValue(value.Kind());
  const bool isNull = value.IsNull();

  auto fill = [&](Category as, const Value& v) {
    slot.indicator = isNull ? SQL_NULL_DATA : 0;
    slot.columnSize = 0;
    slot.decimalDigits = 0;
    switch (as) {
      case Category::kInteger:
        Store<std::int64_t>(slot.buffer, isNull ? 0 : v.AsInteger());
        slot.cType = SQL_C_SBIGINT;
        slot.sqlType = declared != 0 ? declared : SQL_BIGINT;
        break;
      case Category::kBit:
        Store<unsigned char>(slot.buffer, isNull ? 0 : (v.AsBoolean() ? 1 : 0));
        slot.cType = SQL_C_BIT;
        slot.sqlType = SQL_BIT;
        slot.columnSize = 1;
        break;
      case Category::kFloat:
        Store<double>(slot.buffer, isNull ? 0.0 : v.AsDouble());
        slot.cType = SQL_C_DOUBLE;
        slot.sqlType = declared != 0 ? declared : SQL_DOUBLE;
        slot.columnSize = parameter.Size() != 0 ? parameter.Size() : 53;
        break;
      case Category::kDecimal: {
        std::string text;
        int precision = 1;
        int scale = 0;
        if (!isNull) {
          text = std::string(text::TrimSpaces(v.AsText()));
          if (v.Kind() == ValueKind::kInteger || v.Kind() == ValueKind::kBoolean) {
            text = std::to_string(v.AsInteger());
          } else if (!IsPlainDecimal(text, precision, scale)) {
            const int digits = declared != 0 ? std::clamp(parameter.Scale(), 0, 38) : 6;
            char buffer[128];
            std::snprintf(buffer, sizeof buffer, "%.*f", digits, v.AsDouble());
            text = buffer;
          }
          IsPlainDecimal(text, precision, scale);
        }
        if (declared != 0 && parameter.Precision() > 0) {
          precision = parameter.Precision();
          scale = parameter.Scale();
          if (!isNull) text = RoundDecimalText(text, scale);
        }
        if (precision > 38) throw ConversionError("'" + text + "' has more than 38 digits");
        slot.buffer.assign(std::max(text.size() + 1, output ? kDecimalBufferSize : 0), 0);
        std::memcpy(slot.buffer.data(), text.data(), text.size());
        if (!isNull) slot.indicator = static_cast<SQLLEN>(text.size());
        slot.cType = SQL_C_CHAR;
        slot.sqlType = declared != 0 ? declared : SQL_DECIMAL;
        slot.columnSize = static_cast<SQLULEN>(precision);
        slot.decimalDigits = static_cast<SQLSMALLINT>(scale);
        break;
      }
      case Category::kDate: {
        const DateTime dt = isNull ? DateTime{} : v.AsDateTime();
        SQL_DATE_STRUCT date{};
        date.year = static_cast<SQLSMALLINT>(dt.year);
        date.month = static_cast<SQLUSMALLINT>(dt.month);
        date.day = static_cast<SQLUSMALLINT>(dt.day);
        Store(slot.buffer, date);
        slot.cType = SQL_C_TYPE_DATE;
        slot.sqlType = SQL_TYPE_DATE;
        slot.columnSize = 10;
        break;
      }
      case Category::kDateTime: {
        const DateTime dt = isNull ? DateTime{} : v.AsDateTime();
        const int scale = declared != 0 ? std::clamp(parameter.Scale(), 0, 9) : 3;
        int keep = 1;
        for (int i = scale; i < 9; ++i) keep *= 10;
        SQL_TIMESTAMP_STRUCT stamp{};
        stamp.year = static_cast<SQLSMALLINT>(dt.year);
        stamp.month = static_cast<SQLUSMALLINT>(dt.month);
        stamp.day = static_cast<SQLUSMALLINT>(dt.day);
        stamp.hour = static_cast<SQLUSMALLINT>(dt.hour);
        stamp.minute = static_cast<SQLUSMALLINT>(dt.minute);
        stamp.second = static_cast<SQLUSMALLINT>(dt.second);
        // A fraction finer than the type holds is an error for some drivers.
        stamp.fraction = static_cast<SQLUINTEGER>(dt.nanosecond / keep * keep);
        Store(slot.buffer, stamp);
        slot.cType = SQL_C_TYPE_TIMESTAMP;
        slot.sqlType = SQL_TYPE_TIMESTAMP;
        slot.columnSize = declared != 0 && parameter.Size() != 0 ? parameter.Size() : 23;
        slot.decimalDigits = static_cast<SQLSMALLINT>(scale);
        break;
      }
      case Category::kText:
      case Category::kGuid: {
        const std::vector<SQLWCHAR> wide = ToWide(isNull ? std::string() : v.AsText());
        const std::size_t chars = wide.size() - 1;
        std::size_t capacity = chars;
        if (output) {
          const std::size_t declaredChars = parameter.Size();
          capacity = std::max(chars, declaredChars > 0 && declaredChars <= kMaxShortTextChars
                                         ? declaredChars
                                         : kMaxShortTextChars);
        }
        slot.buffer.assign((std::max<std::size_t>(capacity, 1) + 1) * sizeof(SQLWCHAR), 0);
        std::memcpy(slot.buffer.data(), wide.data(), wide.size() * sizeof(SQLWCHAR));
        if (!isNull) slot.indicator = static_cast<SQLLEN>(chars * sizeof(SQLWCHAR));
        slot.cType = SQL_C_WCHAR;
        if (as == Category::kGuid) {
          slot.sqlType = SQL_GUID;
          slot.columnSize = 36;
        } else {
          const bool isLong = declared == SQL_LONGVARCHAR || declared == SQL_WLONGVARCHAR ||
                              capacity > kMaxShortTextChars;
          slot.sqlType = isLong ? SQL_WLONGVARCHAR : SQL_WVARCHAR;
          slot.columnSize = std::max<std::size_t>(capacity, 1);
        }
        break;
      }
      case Category::kBinary: {
        const std::vector<std::uint8_t> bytes = isNull ? std::vector<std::uint8_t>() : v.AsBytes();
        std::size_t capacity = bytes.size();
        if (output) {
          const std::size_t declaredBytes = parameter.Size();
          capacity = std::max(bytes.size(), declaredBytes > 0 && declaredBytes <= kMaxShortBinary
                                                ? declaredBytes
                                                : kMaxShortBinary);
        }
        slot.buffer.assign(std::max<std::size_t>(capacity, 1), 0);
        if (!bytes.empty()) std::memcpy(slot.buffer.data(), bytes.data(), bytes.size());
        if (!isNull) slot.indicator = static_cast<SQLLEN>(bytes.size());
        slot.cType = SQL_C_BINARY;
        slot.sqlType = declared == SQL_LONGVARBINARY || capacity > kMaxShortBinary
                           ? SQL_LONGVARBINARY
                           : SQL_VARBINARY;
        slot.columnSize = std::max<std::size_t>(capacity, 1);
        break;
      }
    }
  };

  try {
    fill(category, value);
  } catch (const ConversionError& error) {
    if (output) {
      throw SqlError("Parameter '" + parameter.Name() + "': " + error.what());
    }
    // The server converts the text or reports why it cannot.
    Parameter asText(parameter.Name(), ParamDirection::kInput);
    asText.SetValue(Value::Text(value.AsText()));
    Fill(slot, asText, false);
  }
}

bool ParamBinder::IsOutput(std::size_t slot) const {
  return slots_.at(slot).ioType != SQL_PARAM_INPUT;
}

Value ParamBinder::ReadOutput(std::size_t index) const {
  const Slot& slot = slots_.at(index);
  if (slot.indicator == SQL_NULL_DATA) return Value();
  const std::size_t length =
      slot.indicator < 0 ? slot.buffer.size() : static_cast<std::size_t>(slot.indicator);
  switch (slot.cType) {
    case SQL_C_SBIGINT:
      return Value::Integer(Load<std::int64_t>(slot.buffer));
    case SQL_C_BIT:
      return Value::Boolean(Load<unsigned char>(slot.buffer) != 0);
    case SQL_C_DOUBLE:
      return Value::Double(Load<double>(slot.buffer));
    case SQL_C_CHAR: {
      const std::size_t used = std::min(length, slot.buffer.size() - 1);
      return Value::Decimal(std::string(reinterpret_cast<const char*>(slot.buffer.data()), used));
    }
    case SQL_C_TYPE_DATE: {
      const auto date = Load<SQL_DATE_STRUCT>(slot.buffer);
      DateTime dt;
      dt.year = date.year;
      dt.month = date.month;
      dt.day = date.day;
      return Value::FromDateTime(dt);
    }
    case SQL_C_TYPE_TIMESTAMP: {
      const auto stamp = Load<SQL_TIMESTAMP_STRUCT>(slot.buffer);
      DateTime dt;
      dt.year = stamp.year;
      dt.month = stamp.month;
      dt.day = stamp.day;
      dt.hour = stamp.hour;
      dt.minute = stamp.minute;
      dt.second = stamp.second;
      dt.nanosecond = static_cast<int>(stamp.fraction);
      return Value::FromDateTime(dt);
    }
    case SQL_C_WCHAR: {
      const std::size_t capacity = slot.buffer.size() / sizeof(SQLWCHAR) - 1;
      const std::size_t chars = std::min(length / sizeof(SQLWCHAR), capacity);
      std::vector<SQLWCHAR> wide(chars);
      // An empty vector's data() may be null, which memcpy must not get even for 0 bytes.
      if (chars > 0) std::memcpy(wide.data(), slot.buffer.data(), chars * sizeof(SQLWCHAR));
      return Value::Text(FromWide(wide.data(), chars));
    }
    case SQL_C_BINARY: {
      const std::size_t used = std::min(length, slot.buffer.size());
      return Value::Bytes(
          std::vector<std::uint8_t>(slot.buffer.begin(), slot.buffer.begin() + used));
    }
    default:
      return Value();
  }
}

}  // namespace quor::sql::detail
