#include "transport/ValueCodec.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "platform/com/SafeArray.h"
#include "platform/text/Encodings.h"
#include "transport/Protocol.h"
#include "transport/TransportError.h"

namespace quor::transport {
namespace {

using com::SafeArray;
using com::Variant;
using com::VarType;

constexpr std::uint32_t kByRefVariant = com::VT_BYREF;

// A peer can nest arrays of variants and 0x4000 wrappers; each level costs the
// reader a stack frame, so the depth is bounded far above anything a client
// sends and far below what the stack holds.
constexpr int kMaxNesting = 64;

// The base type after VT_DECIMAL; it names no OLE type but has a wire form.
constexpr VarType kNoDataType15 = 15;

// Body sizes of the fixed-size base types 0..19, as the wire defines them.
constexpr std::array<std::uint8_t, 20> kBodySize = {0, 0, 2, 4, 4, 8, 8, 8, 0, 0,
                                                    4, 2, 0, 0, 0, 0, 1, 1, 2, 4};

bool HasFixedBody(VarType base) {
  return base < kBodySize.size() && kBodySize[base] > 0;
}

// Element types whose arrays travel as one raw run (notably data packets as
// byte arrays); error codes are fixed-size too but go element by element.
bool IsRawRunElement(VarType base) {
  switch (base) {
    case com::VT_I2:
    case com::VT_I4:
    case com::VT_R4:
    case com::VT_R8:
    case com::VT_CY:
    case com::VT_DATE:
    case com::VT_BOOL:
    case com::VT_I1:
    case com::VT_UI1:
    case com::VT_UI2:
    case com::VT_UI4:
      return true;
    default:
      return false;
  }
}

bool IsWireElement(VarType base) {
  return IsRawRunElement(base) || base == com::VT_BSTR || base == com::VT_DISPATCH ||
         base == com::VT_ERROR || base == com::VT_VARIANT;
}

[[noreturn]] void ThrowInvalid() {
  throw InterpreterError(kInvalidDataPacket);
}

std::int32_t TakeInt32(TDataBlock& block) {
  return static_cast<std::int32_t>(block.TakeUInt32());
}

void WriteBody(VarType base, const Variant& value, TDataBlock& block) {
  switch (base) {
    case com::VT_I2:
      block.AppendUInt16(static_cast<std::uint16_t>(value.GetI2()));
      break;
    case com::VT_I4:
      block.AppendUInt32(static_cast<std::uint32_t>(value.GetI4()));
      break;
    case com::VT_R4:
      block.AppendUInt32(std::bit_cast<std::uint32_t>(value.GetR4()));
      break;
    case com::VT_R8:
      block.AppendUInt64(std::bit_cast<std::uint64_t>(value.GetR8()));
      break;
    case com::VT_CY:
      block.AppendUInt64(static_cast<std::uint64_t>(value.GetCurrency()));
      break;
    case com::VT_DATE:
      block.AppendUInt64(std::bit_cast<std::uint64_t>(value.GetDate()));
      break;
    case com::VT_ERROR:
      block.AppendUInt32(static_cast<std::uint32_t>(value.GetError()));
      break;
    case com::VT_BOOL:
      block.AppendUInt16(static_cast<std::uint16_t>(value.GetVariantBool()));
      break;
    case com::VT_I1:
      block.AppendUInt8(static_cast<std::uint8_t>(value.GetI1()));
      break;
    case com::VT_UI1:
      block.AppendUInt8(value.GetUI1());
      break;
    case com::VT_UI2:
      block.AppendUInt16(value.GetUI2());
      break;
    case com::VT_UI4:
      block.AppendUInt32(value.GetUI4());
      break;
    default:
      ThrowUnsupportedType(base);
  }
}

void WriteString(std::uint32_t typeWord, const std::string& utf8, TDataBlock& block) {
  const std::u16string units = text::Utf8ToUtf16(utf8);
  if (units.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max() / 2)) {
    throw InterpreterError("string too long for a data block");
  }
  block.AppendUInt32(typeWord);
  block.AppendUInt32(static_cast<std::uint32_t>(units.size()));
  const std::string bytes = text::Utf16ToLeBytes(units);
  block.Append(bytes.data(), bytes.size());
}

}  // namespace

void ThrowUnsupportedType(std::uint32_t typeWord) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "%04X", typeWord);
  throw InterpreterError(FormatProtocolText(kUnsupportedVariantType, hex));
}

void ValueCodec::WriteValue(const Variant& value, TDataBlock& block) {
  Write(value, block);
}

void ValueCodec::Write(const Variant& value, TDataBlock& block) {
  const VarType type = value.Type();
  if (type == (com::VT_BYREF | com::VT_VARIANT)) {
    block.AppendUInt32(kByRefVariant);
    Write(value.Target(), block);
    return;
  }
  const Variant& held = value.Deref();
  if (type & com::VT_ARRAY) {
    WriteArrayValue(type, held.GetArray(), block);
    return;
  }
  const VarType base = type & com::VT_TYPEMASK;
  switch (base) {
    case com::VT_EMPTY:
    case com::VT_NULL:
      block.AppendUInt32(type);
      return;
    case com::VT_BSTR:
      WriteString(type, held.GetString(), block);
      return;
    case com::VT_DISPATCH: {
      if (value.IsByRef()) ThrowUnsupportedType(type);
      const std::int32_t index = objects_.RegisterObject(held);
      block.AppendUInt32(type);
      block.AppendUInt32(static_cast<std::uint32_t>(index));
      return;
    }
    default:
      if (!HasFixedBody(base)) ThrowUnsupportedType(type);
      block.AppendUInt32(type);
      WriteBody(base, held, block);
  }
}

void ValueCodec::WriteArrayValue(VarType typeWord, const SafeArray& array, TDataBlock& block) {
  const VarType element = array.ElementType();
  if (!IsWireElement(element)) ThrowUnsupportedType(typeWord);
  block.AppendUInt32(typeWord);
  block.AppendUInt32(array.Dimensions());
  for (std::uint32_t d = 0; d < array.Dimensions(); ++d) {
    block.AppendUInt32(static_cast<std::uint32_t>(array.LowBound(d)));
  }
  for (std::uint32_t d = 0; d < array.Dimensions(); ++d) {
    block.AppendUInt32(static_cast<std::uint32_t>(array.HighBound(d)));
  }
  if (IsRawRunElement(element)) {
    // The raw run is the Windows memory image of the array (first dimension
    // varying fastest), which is what the clients copy in and out.
    const std::span<const std::uint8_t> raw = array.RawData();
    if (raw.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
      throw InterpreterError("array too large for a data block");
    }
    block.AppendUInt32(static_cast<std::uint32_t>(raw.size()));
    block.Append(raw.data(), raw.size());
    return;
  }
  std::vector<std::int32_t> index = array.FirstIndex();
  if (array.ElementCount() == 0) return;
  do {
    Write(array.Get(index), block);
  } while (array.NextIndex(index));
}

ReadValueResult ValueCodec::ReadValue(TDataBlock& block) {
  return Read(block, 0);
}

ReadValueResult ValueCodec::Read(TDataBlock& block, int depth) {
  if (depth > kMaxNesting) ThrowInvalid();
  const std::uint32_t typeWord = block.TakeUInt32();
  if (typeWord == kByRefVariant) {
    ReadValueResult inner = Read(block, depth + 1);
    return {std::move(inner.value), true, true};
  }
  // Bits 16..31 are always zero; VT_VECTOR and VT_RESERVED never travel.
  if ((typeWord & ~std::uint32_t{com::VT_ARRAY | com::VT_BYREF | com::VT_TYPEMASK}) != 0) {
    ThrowUnsupportedType(typeWord);
  }
  ReadValueResult result;
  result.byRef = (typeWord & com::VT_BYREF) != 0;
  const auto type = static_cast<VarType>(typeWord & ~std::uint32_t{com::VT_BYREF});
  if (type & com::VT_ARRAY) {
    result.value = ReadArrayValue(type, block, depth);
    return result;
  }
  const VarType base = type & com::VT_TYPEMASK;
  switch (base) {
    case com::VT_EMPTY:
      break;
    case com::VT_NULL:
      result.value = Variant::Null();
      break;
    case com::VT_DECIMAL:
    case kNoDataType15:
      // These travel without a body; with nothing of their value on the wire
      // they are read as empty, and the values after them stay in step.
      break;
    case com::VT_BSTR: {
      const std::int32_t count = TakeInt32(block);
      if (count < 0 || static_cast<std::size_t>(count) > block.Remaining() / 2) ThrowInvalid();
      std::string bytes(static_cast<std::size_t>(count) * 2, '\0');
      block.TakeExact(bytes.data(), bytes.size());
      result.value = Variant::String(text::Utf16ToUtf8(text::Utf16FromLeBytes(bytes)));
      break;
    }
    case com::VT_DISPATCH:
      // An object cannot be handed back through a reference.
      if (result.byRef) ThrowUnsupportedType(typeWord);
      result.value = Variant::Dispatch(objects_.ProxyFor(TakeInt32(block)));
      break;
    default:
      if (!HasFixedBody(base)) ThrowUnsupportedType(typeWord);
      result.value = ReadBody(base, block);
  }
  return result;
}

Variant ValueCodec::ReadBody(VarType base, TDataBlock& block) {
  switch (base) {
    case com::VT_I2:
      return Variant::I2(static_cast<std::int16_t>(block.TakeUInt16()));
    case com::VT_I4:
      return Variant::I4(TakeInt32(block));
    case com::VT_R4:
      return Variant::R4(std::bit_cast<float>(block.TakeUInt32()));
    case com::VT_R8:
      return Variant::R8(std::bit_cast<double>(block.TakeUInt64()));
    case com::VT_CY:
      return Variant::Currency(static_cast<std::int64_t>(block.TakeUInt64()));
    case com::VT_DATE:
      return Variant::Date(std::bit_cast<double>(block.TakeUInt64()));
    case com::VT_ERROR:
      return Variant::Error(TakeInt32(block));
    case com::VT_BOOL:
      return Variant::Bool(block.TakeUInt16() != 0);
    case com::VT_I1:
      return Variant::I1(static_cast<std::int8_t>(block.TakeUInt8()));
    case com::VT_UI1:
      return Variant::UI1(block.TakeUInt8());
    case com::VT_UI2:
      return Variant::UI2(block.TakeUInt16());
    case com::VT_UI4:
      return Variant::UI4(block.TakeUInt32());
    default:
      ThrowUnsupportedType(base);
  }
}

Variant ValueCodec::ReadArrayValue(VarType type, TDataBlock& block, int depth) {
  const VarType element = type & com::VT_TYPEMASK;
  if (!IsWireElement(element)) ThrowUnsupportedType(type);
  const std::int32_t dimensions = TakeInt32(block);
  if (dimensions <= 0 || static_cast<std::size_t>(dimensions) > block.Remaining() / 8) {
    ThrowInvalid();
  }
  std::vector<com::ArrayBound> bounds(static_cast<std::size_t>(dimensions));
  for (com::ArrayBound& bound : bounds) bound.lowBound = TakeInt32(block);
  // Every element costs at least this many payload bytes, so a peer's bounds
  // are checked against what it actually sent before anything is allocated.
  const bool rawRun = IsRawRunElement(element);
  const std::size_t minElementBytes = rawRun ? com::RawElementSize(element) : 4;
  // The element count is capped while it is multiplied out, so it cannot
  // overflow; a dimension of no elements makes the whole array empty, however
  // large the others are, so the cap is judged only after the last dimension.
  const std::size_t cap = block.Remaining() + 1;
  std::size_t total = 1;
  bool empty = false;
  for (com::ArrayBound& bound : bounds) {
    const std::int64_t high = TakeInt32(block);
    const std::int64_t count = high - bound.lowBound + 1;
    if (count < 0 || count > std::int64_t{std::numeric_limits<std::uint32_t>::max()}) {
      ThrowInvalid();
    }
    bound.count = static_cast<std::uint32_t>(count);
    if (count == 0) empty = true;
    total = std::min(cap, total * std::min(cap, static_cast<std::size_t>(count)));
  }
  if (empty) total = 0;
  if (total > block.Remaining()) ThrowInvalid();
  if (rawRun) {
    const std::int32_t size = TakeInt32(block);
    if (size < 0 || static_cast<std::size_t>(size) != total * minElementBytes ||
        static_cast<std::size_t>(size) > block.Remaining()) {
      ThrowInvalid();
    }
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(size));
    block.TakeExact(raw.data(), raw.size());
    return Variant::Array(SafeArray::FromRawData(element, std::move(bounds), std::move(raw)));
  }
  if (total > block.Remaining() / minElementBytes) ThrowInvalid();
  // Collected as they are decoded: bounds alone never make the reader hold
  // elements the peer has not sent (nested arrays would multiply that).
  std::vector<Variant> elements;
  for (std::size_t i = 0; i < total; ++i) elements.push_back(Read(block, depth + 1).value);
  return Variant::Array(SafeArray::FromElements(element, std::move(bounds), std::move(elements)));
}

}  // namespace quor::transport
