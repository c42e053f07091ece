#include "ParamPacking.h"

#include <stdexcept>
#include <utility>

#include "VariantValue.h"
#include "platform/com/SafeArray.h"
#include "platform/com/VariantConvert.h"
#include "platform/text/AsciiText.h"

namespace quor::datasnap {
namespace {

constexpr std::int32_t kNameIndex = 0;
constexpr std::int32_t kValueIndex = 1;
constexpr std::int32_t kDataTypeIndex = 2;
constexpr std::int32_t kDirectionIndex = 3;

// A one-dimensional array, or nothing.
const com::SafeArray* VectorOf(const com::Variant& value) {
  const com::Variant& plain = value.Deref();
  if (!plain.IsArray()) return nullptr;
  const com::SafeArray& array = plain.GetArray();
  return array.Dimensions() == 1 ? &array : nullptr;
}

bool Holds(const com::SafeArray& array, std::int32_t index) {
  return index >= array.LowBound(0) && index <= array.HighBound(0);
}

std::optional<sql::ParamDirection> ClientDirection(std::int32_t ordinal) {
  if (ordinal < static_cast<std::int32_t>(sql::ParamDirection::kUnknown) ||
      ordinal > static_cast<std::int32_t>(sql::ParamDirection::kReturnValue)) {
    return std::nullopt;
  }
  return static_cast<sql::ParamDirection>(ordinal);
}

const com::SafeArray& ParameterArray(const com::Variant& params) {
  const com::SafeArray& array = params.Deref().GetArray();
  if (array.Dimensions() != 1) {
    throw std::runtime_error("a parameter array has one dimension, not " +
                             std::to_string(array.Dimensions()));
  }
  return array;
}

}  // namespace

std::string ParamMismatchMessage(const std::string& parameterName) {
  return "执行存储过程失败。\r\r过程参数 '" + parameterName +
         "' 的数据类型与传入值的数据类型不一致。";
}

com::Variant PackParams(const sql::Parameters& params) {
  if (params.Empty()) return com::Variant::Null();
  com::SafeArray packed =
      com::SafeArray::Vector(com::VT_VARIANT, static_cast<std::uint32_t>(params.Count()));
  std::int32_t index = 0;
  for (const sql::Parameter& parameter : params) {
    com::SafeArray entry = com::SafeArray::Vector(com::VT_VARIANT, 4);
    entry.Put({kNameIndex}, com::Variant::String(parameter.Name()));
    entry.Put({kValueIndex}, ToVariant(parameter.GetValue()));
    entry.Put({kDataTypeIndex},
              com::Variant::I4(static_cast<std::int32_t>(FieldTypeOfParameter(parameter))));
    entry.Put({kDirectionIndex},
              com::Variant::I4(static_cast<std::int32_t>(parameter.Direction())));
    packed.Put({index++}, com::Variant::Array(std::move(entry)));
  }
  return com::Variant::Array(std::move(packed));
}

std::optional<PackedParam> ReadPackedParam(const com::Variant& element) {
  const com::SafeArray* array = VectorOf(element);
  if (array == nullptr || !Holds(*array, kNameIndex) || !Holds(*array, kDirectionIndex)) {
    return std::nullopt;
  }
  PackedParam packed;
  com::Variant converted;
  if (com::Failed(com::TryChangeType(array->Get({kNameIndex}), com::VT_BSTR, converted))) {
    return std::nullopt;
  }
  packed.name = converted.GetString();
  packed.value = array->Get({kValueIndex});
  if (com::Failed(com::TryChangeType(array->Get({kDataTypeIndex}), com::VT_I4, converted))) {
    return std::nullopt;
  }
  packed.dataType = converted.GetI4();
  if (com::Failed(com::TryChangeType(array->Get({kDirectionIndex}), com::VT_I4, converted))) {
    return std::nullopt;
  }
  packed.direction = converted.GetI4();
  return packed;
}

std::optional<FieldTypeOrdinal> ClientDataType(std::int32_t ordinal) {
  if (ordinal < 0 || ordinal > kLastFieldTypeOrdinal) return std::nullopt;
  return static_cast<FieldTypeOrdinal>(ordinal);
}

void UnpackParams(const com::Variant& params, sql::Parameters& target) {
  if (!params.Deref().IsArray()) return;
  const com::SafeArray& array = ParameterArray(params);
  const std::int32_t high = array.HighBound(0);
  if (high <= 0 || !Holds(array, 1) || !array.Get({1}).Deref().IsArray()) return;
  if (static_cast<std::size_t>(high) >= target.Count()) {
    throw std::runtime_error("the parameter array has entries up to " + std::to_string(high) +
                             " but the procedure has " + std::to_string(target.Count()) +
                             " parameters");
  }
  for (std::int32_t i = 1; i <= high; ++i) {
    sql::Parameter& parameter = target[static_cast<std::size_t>(i)];
    const std::optional<PackedParam> packed = ReadPackedParam(array.Get({i}));
    if (!packed) throw std::runtime_error(ParamMismatchMessage(parameter.Name()));
    std::optional<FieldTypeOrdinal> dataType = ClientDataType(packed->dataType);
    const std::optional<sql::ParamDirection> direction = ClientDirection(packed->direction);
    // Only the first entry stands for the return value.
    if (!dataType || !direction || *direction == sql::ParamDirection::kReturnValue) {
      throw std::runtime_error(ParamMismatchMessage(parameter.Name()));
    }
    // Decimal support is off on the server's side, so BCD is taken as float.
    if (*dataType == FieldTypeOrdinal::kBcd) dataType = FieldTypeOrdinal::kFloat;
    sql::Value value;
    try {
      value = ToSqlValueAs(packed->value, *dataType);
    } catch (const std::exception&) {
      throw std::runtime_error(ParamMismatchMessage(parameter.Name()));
    }
    parameter.SetValue(std::move(value));
    parameter.SetDirection(*direction);
    if (const std::optional<SqlTypeChoice> type = SqlTypeOfFieldType(*dataType)) {
      parameter.SetDataType(type->sqlType, type->typeName);
    }
  }
}

bool EntriesNameParameters(const com::Variant& params, const sql::Parameters& target) {
  if (!params.Deref().IsArray()) return true;
  const com::SafeArray& array = params.Deref().GetArray();
  if (array.Dimensions() != 1) return true;
  const std::int32_t high = array.HighBound(0);
  if (high <= 0 || !Holds(array, 1) || !array.Get({1}).Deref().IsArray()) return true;
  for (std::int32_t i = 1; i <= high; ++i) {
    if (static_cast<std::size_t>(i) >= target.Count()) return false;
    const std::optional<PackedParam> packed = ReadPackedParam(array.Get({i}));
    if (!packed ||
        !text::EqualsIgnoringAsciiCase(packed->name, target[static_cast<std::size_t>(i)].Name())) {
      return false;
    }
  }
  return true;
}

bool EntriesFindParameters(const com::Variant& params, const sql::Parameters& target) {
  if (!params.Deref().IsArray()) return true;
  const com::SafeArray& array = params.Deref().GetArray();
  if (array.Dimensions() != 1) return true;
  for (std::int32_t i = array.LowBound(0); i <= array.HighBound(0); ++i) {
    const std::optional<PackedParam> packed = ReadPackedParam(array.Get({i}));
    if (!packed ||
        packed->direction == static_cast<std::int32_t>(sql::ParamDirection::kReturnValue)) {
      continue;
    }
    if (target.Find(packed->name) == nullptr) return false;
  }
  return true;
}

void AssignParamsByName(const com::Variant& params, sql::Parameters& target) {
  if (!params.Deref().IsArray()) return;
  const com::SafeArray& array = ParameterArray(params);
  for (std::int32_t i = array.LowBound(0); i <= array.HighBound(0); ++i) {
    const std::optional<PackedParam> packed = ReadPackedParam(array.Get({i}));
    if (!packed) {
      throw std::runtime_error("parameter entry " + std::to_string(i) +
                               " is not a [name, value, data type, direction] array");
    }
    if (packed->direction == static_cast<std::int32_t>(sql::ParamDirection::kReturnValue)) {
      continue;
    }
    sql::Parameter* parameter = target.Find(packed->name);
    if (parameter == nullptr) {
      throw std::runtime_error("Parameter '" + packed->name + "' not found");
    }
    const std::optional<FieldTypeOrdinal> dataType = ClientDataType(packed->dataType);
    if (!dataType) throw std::runtime_error(ParamMismatchMessage(parameter->Name()));
    try {
      parameter->SetValue(ToSqlValueAs(packed->value, *dataType));
    } catch (const std::exception&) {
      throw std::runtime_error(ParamMismatchMessage(parameter->Name()));
    }
  }
}

}  // namespace quor::datasnap
