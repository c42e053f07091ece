#include "VariantValue.h"

#include <cinttypes>
#include <cstdio>
#include <limits>
#include <string>

#include "platform/com/SafeArray.h"
#include "platform/com/VariantConvert.h"

namespace quor::datasnap {
namespace {

std::string CurrencyText(std::int64_t scaled) {
  const bool negative = scaled < 0;
  // Through unsigned arithmetic so the most negative value has a magnitude too.
  const std::uint64_t magnitude =
      negative ? ~static_cast<std::uint64_t>(scaled) + 1 : static_cast<std::uint64_t>(scaled);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%s%" PRIu64 ".%04" PRIu64, negative ? "-" : "",
                magnitude / 10000, magnitude % 10000);
  return buffer;
}

sql::Value BytesOf(const com::Variant& value) {
  const com::SafeArray& array = value.GetArray();
  if (array.ElementType() != com::VT_UI1 || array.Dimensions() != 1) {
    throw sql::ConversionError("a " + com::VarTypeName(value.Type()) +
                               " has no form a procedure parameter can take");
  }
  return sql::Value::Bytes(array.Bytes());
}

}  // namespace

sql::Value ToSqlValue(const com::Variant& input) {
  const com::Variant& value = input.Deref();
  if (value.IsArray()) return BytesOf(value);
  switch (value.Type()) {
    case com::VT_EMPTY:
    case com::VT_NULL:
      return sql::Value::Null();
    case com::VT_I1:
    case com::VT_UI1:
    case com::VT_I2:
    case com::VT_UI2:
    case com::VT_I4:
    case com::VT_UI4:
    case com::VT_I8:
    case com::VT_INT:
    case com::VT_UINT:
      return sql::Value::Integer(value.ToI8());
    case com::VT_UI8: {
      const std::uint64_t big = value.GetUI8();
      if (big > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        return sql::Value::Decimal(std::to_string(big));
      }
      return sql::Value::Integer(static_cast<std::int64_t>(big));
    }
    case com::VT_R4:
    case com::VT_R8:
      return sql::Value::Double(value.ToR8());
    case com::VT_CY:
      return sql::Value::Decimal(CurrencyText(value.GetCurrency()));
    case com::VT_DATE:
      return sql::Value::FromDateTime(sql::DateTime::FromOleDate(value.GetDate()));
    case com::VT_BSTR:
      return sql::Value::Text(value.GetString());
    case com::VT_BOOL:
      return sql::Value::Boolean(value.GetBool());
    case com::VT_ERROR:
      if (value.IsMissing()) return sql::Value::Null();
      break;
    default:
      break;
  }
  throw sql::ConversionError("a " + com::VarTypeName(value.Type()) +
                             " has no form a procedure parameter can take");
}

com::Variant ToVariant(const sql::Value& value) {
  switch (value.Kind()) {
    case sql::ValueKind::kNull:
      return com::Variant::Null();
    case sql::ValueKind::kBoolean:
      return com::Variant::Bool(value.AsBoolean());
    case sql::ValueKind::kInteger: {
      const std::int64_t number = value.AsInteger();
      if (number >= std::numeric_limits<std::int32_t>::min() &&
          number <= std::numeric_limits<std::int32_t>::max()) {
        return com::Variant::I4(static_cast<std::int32_t>(number));
      }
      return com::Variant::I8(number);
    }
    case sql::ValueKind::kDouble:
    case sql::ValueKind::kDecimal:
      return com::Variant::R8(value.AsDouble());
    case sql::ValueKind::kDateTime:
      return com::Variant::Date(value.AsDateTime().ToOleDate());
    case sql::ValueKind::kText:
      return com::Variant::String(value.AsText());
    case sql::ValueKind::kBytes:
      return com::Variant::Bytes(value.AsBytes());
  }
  return com::Variant::Null();
}

sql::Value ToSqlValueAs(const com::Variant& input, FieldTypeOrdinal dataType) {
  const com::Variant& value = input.Deref();
  if (value.IsEmpty() || value.IsNull()) return sql::Value::Null();
  switch (dataType) {
    case FieldTypeOrdinal::kString:
    case FieldTypeOrdinal::kMemo:
    case FieldTypeOrdinal::kFmtMemo:
    case FieldTypeOrdinal::kFixedChar:
    case FieldTypeOrdinal::kWideString:
    case FieldTypeOrdinal::kGuid:
      return sql::Value::Text(com::ChangeType(value, com::VT_BSTR).GetString());
    case FieldTypeOrdinal::kSmallint:
    case FieldTypeOrdinal::kInteger:
    case FieldTypeOrdinal::kWord:
    case FieldTypeOrdinal::kAutoInc:
    case FieldTypeOrdinal::kLargeint:
      return sql::Value::Integer(com::ChangeType(value, com::VT_I8).GetI8());
    case FieldTypeOrdinal::kBoolean:
      return sql::Value::Boolean(com::ChangeType(value, com::VT_BOOL).GetBool());
    case FieldTypeOrdinal::kFloat:
    case FieldTypeOrdinal::kCurrency:
    case FieldTypeOrdinal::kBcd:
      return sql::Value::Double(com::ChangeType(value, com::VT_R8).GetR8());
    case FieldTypeOrdinal::kDate:
    case FieldTypeOrdinal::kTime:
    case FieldTypeOrdinal::kDateTime:
    case FieldTypeOrdinal::kTimeStamp:
      return sql::Value::FromDateTime(
          sql::DateTime::FromOleDate(com::ChangeType(value, com::VT_DATE).GetDate()));
    case FieldTypeOrdinal::kBytes:
    case FieldTypeOrdinal::kVarBytes:
    case FieldTypeOrdinal::kBlob:
    case FieldTypeOrdinal::kGraphic:
    case FieldTypeOrdinal::kTypedBinary:
      if (value.Type() == com::VT_BSTR) {
        const std::string& text = value.GetString();
        return sql::Value::Bytes(std::vector<std::uint8_t>(text.begin(), text.end()));
      }
      if (!value.IsArray()) {
        throw sql::ConversionError("a " + com::VarTypeName(value.Type()) + " is not binary data");
      }
      return BytesOf(value);
    default:
      return ToSqlValue(value);
  }
}

}  // namespace quor::datasnap
