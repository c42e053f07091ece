#include "platform/com/VarType.h"

#include <cstdio>

namespace quor::com {
namespace {

const char* BaseName(VarType base) {
  switch (base) {
    case VT_EMPTY:
      return "VT_EMPTY";
    case VT_NULL:
      return "VT_NULL";
    case VT_I2:
      return "VT_I2";
    case VT_I4:
      return "VT_I4";
    case VT_R4:
      return "VT_R4";
    case VT_R8:
      return "VT_R8";
    case VT_CY:
      return "VT_CY";
    case VT_DATE:
      return "VT_DATE";
    case VT_BSTR:
      return "VT_BSTR";
    case VT_DISPATCH:
      return "VT_DISPATCH";
    case VT_ERROR:
      return "VT_ERROR";
    case VT_BOOL:
      return "VT_BOOL";
    case VT_VARIANT:
      return "VT_VARIANT";
    case VT_UNKNOWN:
      return "VT_UNKNOWN";
    case VT_DECIMAL:
      return "VT_DECIMAL";
    case VT_I1:
      return "VT_I1";
    case VT_UI1:
      return "VT_UI1";
    case VT_UI2:
      return "VT_UI2";
    case VT_UI4:
      return "VT_UI4";
    case VT_I8:
      return "VT_I8";
    case VT_UI8:
      return "VT_UI8";
    case VT_INT:
      return "VT_INT";
    case VT_UINT:
      return "VT_UINT";
    default:
      return nullptr;
  }
}

}  // namespace

bool IsValueType(VarType base) {
  return base != VT_VARIANT && base != VT_DECIMAL && BaseName(base) != nullptr;
}

bool IsElementType(VarType base) {
  return base == VT_VARIANT || (IsValueType(base) && base != VT_EMPTY && base != VT_NULL);
}

std::size_t RawElementSize(VarType base) {
  switch (base) {
    case VT_I1:
    case VT_UI1:
      return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
      return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
      return 4;
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_I8:
    case VT_UI8:
      return 8;
    default:
      return 0;
  }
}

std::string VarTypeName(VarType type) {
  std::string name;
  if (type & VT_BYREF) name += "VT_BYREF|";
  if (type & VT_ARRAY) name += "VT_ARRAY|";
  const VarType base = type & ~(VT_BYREF | VT_ARRAY);
  if (const char* known = BaseName(base)) {
    name += known;
  } else {
    char text[16];
    std::snprintf(text, sizeof text, "VT_0x%X", static_cast<unsigned>(base));
    name += text;
  }
  return name;
}

}  // namespace quor::com
