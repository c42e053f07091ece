#include "remote/QueryDataSet.h"

#include <stdexcept>

#include "platform/com/SafeArray.h"
#include "platform/com/VariantConvert.h"
#include "platform/datasnap/FieldTypeOrdinal.h"
#include "platform/datasnap/ParamPacking.h"
#include "remote/uDataModuleSvr.h"

namespace quor::remote {
namespace {

// The element at `index` of a one-dimensional array, or nothing.
const com::Variant* Element(const com::Variant& value, std::int32_t index, com::Variant& slot) {
  const com::Variant& plain = value.Deref();
  if (!plain.IsArray()) return nullptr;
  const com::SafeArray& array = plain.GetArray();
  if (array.Dimensions() != 1 || index < array.LowBound(0) || index > array.HighBound(0)) {
    return nullptr;
  }
  slot = array.Get({index});
  return &slot;
}

bool IsBlank(const com::Variant& value) {
  const com::Variant& plain = value.Deref();
  if (plain.IsEmpty() || plain.IsNull()) return true;
  com::Variant text;
  if (com::Failed(com::TryChangeType(plain, com::VT_BSTR, text))) return false;
  for (const char c : text.GetString()) {
    if (static_cast<unsigned char>(c) > ' ') return false;
  }
  return true;
}

}  // namespace

bool IsQueryDataSet(const com::Variant& ownerData) {
  com::Variant slot;
  const com::Variant* first = Element(ownerData, 0, slot);
  if (first == nullptr) return false;
  com::Variant text;
  return com::Succeeded(com::TryChangeType(*first, com::VT_BSTR, text)) &&
         text.GetString() == TDataModuleServer::kQueryDataSetMarker;
}

std::string MarkedProcedure(const com::Variant& ownerData) {
  com::Variant slot;
  const com::Variant* second = Element(ownerData, 1, slot);
  com::Variant text;
  if (second == nullptr || com::Failed(com::TryChangeType(*second, com::VT_BSTR, text)) ||
      text.GetString().empty()) {
    throw std::runtime_error("TQueryDataSet owner data names no stored procedure in its element 1");
  }
  return text.GetString();
}

void FillEmptyStringParams(com::Variant& params) {
  if (!params.IsArray()) return;
  com::SafeArray& array = params.GetArray();
  if (array.Dimensions() != 1 || array.ElementType() != com::VT_VARIANT) return;
  for (std::int32_t i = array.LowBound(0); i <= array.HighBound(0); ++i) {
    const std::optional<datasnap::PackedParam> entry = datasnap::ReadPackedParam(array.Get({i}));
    if (!entry ||
        entry->dataType != static_cast<std::int32_t>(datasnap::FieldTypeOrdinal::kString) ||
        !IsBlank(entry->value)) {
      continue;
    }
    com::SafeArray replacement = com::SafeArray::Vector(com::VT_VARIANT, 4);
    replacement.Put({0}, com::Variant::String(entry->name));
    replacement.Put({1}, com::Variant::String(" "));
    replacement.Put({2}, com::Variant::I4(entry->dataType));
    replacement.Put({3}, com::Variant::I4(entry->direction));
    array.Put({i}, com::Variant::Array(std::move(replacement)));
  }
}

}  // namespace quor::remote
