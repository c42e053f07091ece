#include "tests/support/tds/RpcParam.h"

#include <cstdio>
#include <cstring>
#include <optional>

#include "tests/support/tds/TdsTypes.h"
#include "tests/support/tds/TextCodec.h"

namespace quor::test::tds {
namespace {

std::string CharData(const std::vector<std::uint8_t>& raw, const std::uint8_t* collation,
                     bool wide) {
  std::string_view bytes(reinterpret_cast<const char*>(raw.data()), raw.size());
  if (wide) return Utf16leToUtf8(bytes);
  std::uint32_t info = collation ? (collation[0] | (collation[1] << 8) | (collation[2] << 16) |
                                    (static_cast<std::uint32_t>(collation[3]) << 24))
                                 : 0;
  std::uint32_t lcid = info & 0xFFFFF;
  bool utf8 = (info >> 26) & 1;
  if (utf8) return std::string(bytes);
  if (lcid == 0x0409 || (collation && collation[4] == 52)) {
    // Latin collations: code page 1252 is a superset of what tests send this way.
    std::string out;
    for (unsigned char ch : bytes) {
      if (ch < 0x80) {
        out += static_cast<char>(ch);
      } else {
        out += static_cast<char>(0xC0 | (ch >> 6));
        out += static_cast<char>(0x80 | (ch & 0x3F));
      }
    }
    return out;
  }
  return Cp936ToUtf8(bytes);
}

}  // namespace

RpcParam ReadRpcParam(ByteReader& in) {
  RpcParam p;
  p.name = in.BVarChar();
  p.status = in.U8();
  std::uint8_t type = in.U8();
  Column& c = p.column;
  c.name = p.name;
  c.nullable = true;
  auto fixed = [&](SqlType t, int size) {
    c.type = t;
    return size;
  };
  auto readInt = [&](int size) -> std::int64_t {
    switch (size) {
      case 1:
        return in.U8();
      case 2:
        return static_cast<std::int16_t>(in.U16());
      case 4:
        return static_cast<std::int32_t>(in.U32());
      case 8:
        return static_cast<std::int64_t>(in.U64());
      default:
        throw TdsProtocolError("bad integer size " + std::to_string(size));
    }
  };
  auto readFloat = [&](int size) -> double {
    if (size == 4) {
      std::uint32_t bits = in.U32();
      float f;
      std::memcpy(&f, &bits, 4);
      return f;
    }
    std::uint64_t bits = in.U64();
    double d;
    std::memcpy(&d, &bits, 8);
    return d;
  };
  auto readMoney = [&](int size) -> Value {
    std::int64_t m;
    if (size == 4) {
      m = static_cast<std::int32_t>(in.U32());
    } else {
      std::uint64_t hi = in.U32();
      m = static_cast<std::int64_t>((hi << 32) | in.U32());
    }
    bool negative = m < 0;
    std::uint64_t mag =
        negative ? 0 - static_cast<std::uint64_t>(m) : static_cast<std::uint64_t>(m);
    std::uint8_t le[8];
    for (int i = 0; i < 8; ++i) le[i] = static_cast<std::uint8_t>(mag >> (8 * i));
    return Decimal{DecimalText(negative, le, 8, 4)};
  };
  auto readDateTime = [&](int size) -> Value {
    if (size == 4) {
      std::uint16_t days = in.U16();
      std::uint16_t minutes = in.U16();
      return DateTimeFromDays(days, minutes * 60000LL);
    }
    auto days = static_cast<std::int32_t>(in.U32());
    std::uint32_t ticks = in.U32();
    return DateTimeFromDays(days, (ticks * 1000LL + 150) / 300);
  };
  auto readTime = [&](int scale, int size) -> std::int64_t {
    std::uint64_t units = 0;
    for (int i = 0; i < size; ++i) units |= static_cast<std::uint64_t>(in.U8()) << (8 * i);
    std::uint64_t div = 1;
    for (int i = scale; i > 3; --i) div *= 10;
    std::uint64_t mul = 1;
    for (int i = scale; i < 3; ++i) mul *= 10;
    return static_cast<std::int64_t>(units / div * mul);
  };
  auto readDate = [&]() -> std::int32_t {
    std::uint32_t d = in.U8();
    d |= static_cast<std::uint32_t>(in.U8()) << 8;
    d |= static_cast<std::uint32_t>(in.U8()) << 16;
    return static_cast<std::int32_t>(d) - 693595;  // days from 0001-01-01 to 1900-01-01
  };
  auto readPlp = [&]() -> std::optional<std::vector<std::uint8_t>> {
    std::uint64_t total = in.U64();
    if (total == kPlpNull) return std::nullopt;
    std::vector<std::uint8_t> data;
    if (total != kPlpUnknownLength) data.reserve(static_cast<std::size_t>(total));
    for (;;) {
      std::uint32_t chunk = in.U32();
      if (chunk == 0) break;
      const std::uint8_t* at = in.Skip(chunk);
      data.insert(data.end(), at, at + chunk);
    }
    return data;
  };

  switch (type) {
    case kNullType:
      // FreeTDS sends an omitted argument of "{call p(?,,?)}" as a value-less NULLTYPE.
      p.omitted = true;
      break;
    case kInt1:
      p.value = readInt(fixed(SqlType::TinyInt, 1));
      break;
    case kInt2:
      p.value = readInt(fixed(SqlType::SmallInt, 2));
      break;
    case kInt4:
      p.value = readInt(fixed(SqlType::Int, 4));
      break;
    case kInt8:
      p.value = readInt(fixed(SqlType::BigInt, 8));
      break;
    case kBit:
      p.value = readInt(fixed(SqlType::Bit, 1)) != 0 ? 1 : 0;
      break;
    case kFlt4:
      p.value = readFloat(fixed(SqlType::Real, 4));
      break;
    case kFlt8:
      p.value = readFloat(fixed(SqlType::Float, 8));
      break;
    case kMoney:
      p.value = readMoney(fixed(SqlType::Money, 8));
      break;
    case kMoney4:
      p.value = readMoney(fixed(SqlType::Money, 4));
      break;
    case kDateTime:
      p.value = readDateTime(fixed(SqlType::DateTime, 8));
      break;
    case kDateTim4:
      p.value = readDateTime(fixed(SqlType::DateTime, 4));
      break;
    case kIntN:
    case kBitN:
    case kFltN:
    case kMoneyN:
    case kDateTimN: {
      int max = in.U8();
      if (type == kIntN) {
        c.type = max == 1   ? SqlType::TinyInt
                 : max == 2 ? SqlType::SmallInt
                 : max == 4 ? SqlType::Int
                            : SqlType::BigInt;
      } else if (type == kBitN) {
        c.type = SqlType::Bit;
      } else if (type == kFltN) {
        c.type = max == 4 ? SqlType::Real : SqlType::Float;
      } else if (type == kMoneyN) {
        c.type = SqlType::Money;
      } else {
        c.type = SqlType::DateTime;
      }
      int len = in.U8();
      if (len == 0) break;
      if (type == kIntN) p.value = readInt(len);
      if (type == kBitN) p.value = readInt(len) != 0 ? 1 : 0;
      if (type == kFltN) p.value = readFloat(len);
      if (type == kMoneyN) p.value = readMoney(len);
      if (type == kDateTimN) p.value = readDateTime(len);
      break;
    }
    case kDecimalN:
    case kNumericN: {
      in.U8();  // maximum length
      c.type = type == kDecimalN ? SqlType::Decimal : SqlType::Numeric;
      c.precision = in.U8();
      c.scale = in.U8();
      int len = in.U8();
      if (len == 0) break;
      bool negative = in.U8() == 0;
      const std::uint8_t* digits = in.Skip(static_cast<std::size_t>(len - 1));
      p.value = Decimal{DecimalText(negative, digits, static_cast<std::size_t>(len - 1), c.scale)};
      break;
    }
    case kDateN:
    case kTimeN:
    case kDateTime2N:
    case kDateTimeOffsetN: {
      c.type = SqlType::DateTime;
      int scale = type == kDateN ? 0 : in.U8();
      int len = in.U8();
      if (len == 0) break;
      int timeSize = scale <= 2 ? 3 : scale <= 4 ? 4 : 5;
      std::int64_t ms = 0;
      std::int32_t days = 0;
      if (type != kDateN) ms = readTime(scale, timeSize);
      if (type != kTimeN) days = readDate();
      if (type == kDateTimeOffsetN) in.U16();
      p.value = DateTimeFromDays(days, ms);
      break;
    }
    case kGuid: {
      c.type = SqlType::VarBinary;
      c.size = in.U8();
      int len = in.U8();
      if (len != 0) p.value = Bytes(in.Take(static_cast<std::size_t>(len)));
      break;
    }
    case kBigVarChr:
    case kBigChar:
    case kNVarChar:
    case kNChar:
    case kBigVarBin:
    case kBigBinary: {
      std::uint16_t max = in.U16();
      bool wide = type == kNVarChar || type == kNChar;
      bool binary = type == kBigVarBin || type == kBigBinary;
      const std::uint8_t* collation = binary ? nullptr : in.Skip(5);
      c.type = type == kBigVarChr  ? SqlType::VarChar
               : type == kBigChar  ? SqlType::Char
               : type == kNVarChar ? SqlType::NVarChar
               : type == kNChar    ? SqlType::NChar
                                   : SqlType::VarBinary;
      c.size = max == kPlpMarker ? -1 : (wide ? max / 2 : max);
      std::optional<std::vector<std::uint8_t>> raw;
      if (max == kPlpMarker) {
        raw = readPlp();
      } else {
        std::uint16_t len = in.U16();
        if (len != 0xFFFF) raw = in.Take(len);
      }
      if (!raw) break;
      if (binary) {
        p.value = Bytes(std::move(*raw));
      } else {
        p.value = CharData(*raw, collation, wide);
      }
      break;
    }
    case kText:
    case kNText:
    case kImage: {
      in.U32();  // maximum length
      const std::uint8_t* collation = type == kImage ? nullptr : in.Skip(5);
      c.type = type == kText ? SqlType::Text : type == kNText ? SqlType::NText : SqlType::Image;
      std::uint32_t len = in.U32();
      if (len == 0xFFFFFFFF) break;
      std::vector<std::uint8_t> raw = in.Take(len);
      if (type == kImage) {
        p.value = Bytes(std::move(raw));
      } else {
        p.value = CharData(raw, collation, type == kNText);
      }
      break;
    }
    default: {
      char buf[64];
      std::snprintf(buf, sizeof buf, "unsupported parameter type 0x%02X", type);
      throw TdsProtocolError(buf);
    }
  }
  p.type = c.type;
  return p;
}

}  // namespace quor::test::tds
