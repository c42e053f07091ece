#include "tests/support/tds/TdsTypes.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "tests/support/tds/TextCodec.h"

namespace quor::test::tds {
namespace {

__extension__ typedef unsigned __int128 U128;

enum WireType : std::uint8_t {
  kNullType = 0x1F,
  kImage = 0x22,
  kText = 0x23,
  kGuid = 0x24,
  kIntN = 0x26,
  kDateN = 0x28,
  kTimeN = 0x29,
  kDateTime2N = 0x2A,
  kDateTimeOffsetN = 0x2B,
  kInt1 = 0x30,
  kBit = 0x32,
  kInt2 = 0x34,
  kInt4 = 0x38,
  kDateTim4 = 0x3A,
  kFlt4 = 0x3B,
  kMoney = 0x3C,
  kDateTime = 0x3D,
  kFlt8 = 0x3E,
  kNText = 0x63,
  kBitN = 0x68,
  kDecimalN = 0x6A,
  kNumericN = 0x6C,
  kFltN = 0x6D,
  kMoneyN = 0x6E,
  kDateTimN = 0x6F,
  kMoney4 = 0x7A,
  kInt8 = 0x7F,
  kBigVarBin = 0xA5,
  kBigVarChr = 0xA7,
  kBigBinary = 0xAD,
  kBigChar = 0xAF,
  kNVarChar = 0xE7,
  kNChar = 0xEF,
};

constexpr std::uint16_t kPlpMarker = 0xFFFF;
constexpr std::uint64_t kPlpNull = ~std::uint64_t{0};
constexpr std::uint64_t kPlpUnknownLength = ~std::uint64_t{0} - 1;

bool IsMax(const Column& c) {
  return c.size <= 0;
}

int Precision(const Column& c) {
  return c.precision > 0 ? c.precision : 18;
}

std::uint8_t DecimalBytes(int precision) {
  if (precision <= 9) return 5;
  if (precision <= 19) return 9;
  if (precision <= 28) return 13;
  return 17;
}

[[noreturn]] void Mismatch(const Column& c, const Value& v) {
  throw std::invalid_argument("value " + v.ToString() + " does not fit column " + c.name + " (" +
                              std::string(SqlTypeName(c.type)) + ")");
}

// Parses a decimal text or number into a scaled magnitude, rounding half away from zero.
U128 ScaledMagnitude(const Column& c, const Value& v, int scale, bool& negative) {
  std::string text;
  switch (v.GetKind()) {
    case Value::Kind::Integer:
      text = std::to_string(v.AsInt());
      break;
    case Value::Kind::Float: {
      char buf[400];
      std::snprintf(buf, sizeof buf, "%.*f", scale + 2, v.AsDouble());
      text = buf;
      break;
    }
    case Value::Kind::Decimal:
      text = v.AsDecimalText();
      break;
    case Value::Kind::Text:
      text = v.AsText();
      break;
    default:
      Mismatch(c, v);
  }
  negative = false;
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  U128 mag = 0;
  int fraction = -1;
  int roundDigit = -1;
  bool any = false;
  for (; i < text.size(); ++i) {
    char ch = text[i];
    if (ch == '.' && fraction < 0) {
      fraction = 0;
      continue;
    }
    if (ch < '0' || ch > '9') Mismatch(c, v);
    any = true;
    if (fraction >= 0 && fraction >= scale) {
      if (roundDigit < 0) roundDigit = ch - '0';
      continue;
    }
    mag = mag * 10 + static_cast<unsigned>(ch - '0');
    if (fraction >= 0) ++fraction;
  }
  if (!any) Mismatch(c, v);
  for (int f = fraction < 0 ? 0 : fraction; f < scale; ++f) mag *= 10;
  if (roundDigit >= 5) mag += 1;
  if (mag == 0) negative = false;
  return mag;
}

std::int64_t ToInt(const Column& c, const Value& v) {
  if (v.GetKind() == Value::Kind::Integer) return v.AsInt();
  if (v.GetKind() == Value::Kind::Float)
    return static_cast<std::int64_t>(std::llround(v.AsDouble()));
  Mismatch(c, v);
}

double ToDouble(const Column& c, const Value& v) {
  switch (v.GetKind()) {
    case Value::Kind::Integer:
    case Value::Kind::Float:
    case Value::Kind::Decimal:
      return v.AsDouble();
    default:
      Mismatch(c, v);
  }
}

void WriteInt(ByteWriter& out, std::int64_t v, int size) {
  switch (size) {
    case 1:
      out.U8(static_cast<std::uint8_t>(v));
      break;
    case 2:
      out.U16(static_cast<std::uint16_t>(v));
      break;
    case 4:
      out.U32(static_cast<std::uint32_t>(v));
      break;
    default:
      out.U64(static_cast<std::uint64_t>(v));
      break;
  }
}

int IntSize(SqlType t) {
  switch (t) {
    case SqlType::TinyInt:
    case SqlType::Bit:
      return 1;
    case SqlType::SmallInt:
      return 2;
    case SqlType::Int:
      return 4;
    default:
      return 8;
  }
}

void WriteDateTimeBody(ByteWriter& out, const DateTime& d) {
  using namespace std::chrono;
  sys_days day = year_month_day{year{d.year}, month{static_cast<unsigned>(d.month)},
                                std::chrono::day{static_cast<unsigned>(d.day)}};
  sys_days base = year_month_day{year{1900}, January, std::chrono::day{1}};
  auto days = static_cast<std::int32_t>((day - base).count());
  std::int64_t ms = ((d.hour * 60 + d.minute) * 60 + d.second) * 1000LL + d.millisecond;
  auto ticks = static_cast<std::uint32_t>((ms * 300 + 500) / 1000);
  out.U32(static_cast<std::uint32_t>(days));
  out.U32(ticks);
}

DateTime DateTimeFrom(std::int32_t days, std::int64_t msOfDay) {
  using namespace std::chrono;
  sys_days base = year_month_day{year{1900}, January, day{1}};
  year_month_day ymd{base + std::chrono::days{days}};
  DateTime d;
  d.year = static_cast<int>(ymd.year());
  d.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
  d.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
  d.millisecond = static_cast<int>(msOfDay % 1000);
  d.second = static_cast<int>(msOfDay / 1000 % 60);
  d.minute = static_cast<int>(msOfDay / 60000 % 60);
  d.hour = static_cast<int>(msOfDay / 3600000);
  return d;
}

std::string EncodeChars(const Column& c, const Value& v) {
  if (v.GetKind() != Value::Kind::Text) Mismatch(c, v);
  bool wide = c.type == SqlType::NChar || c.type == SqlType::NVarChar || c.type == SqlType::NText;
  std::string bytes = wide ? Utf8ToUtf16le(v.AsText()) : Utf8ToCp936(v.AsText());
  if (c.type == SqlType::Char || c.type == SqlType::NChar) {
    std::size_t width = static_cast<std::size_t>(c.size) * (wide ? 2 : 1);
    while (bytes.size() < width) bytes += wide ? std::string(" \0", 2) : std::string(" ");
  }
  return bytes;
}

void WritePlp(ByteWriter& out, std::string_view data) {
  out.U64(data.size());
  if (!data.empty()) {
    out.U32(static_cast<std::uint32_t>(data.size()));
    out.Raw(data);
  }
  out.U32(0);
}

std::string BytesOf(const Column& c, const Value& v) {
  if (v.GetKind() != Value::Kind::Bytes) Mismatch(c, v);
  const Bytes& b = v.AsBytes();
  return std::string(b.begin(), b.end());
}

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

std::string DecimalText(bool negative, const std::uint8_t* littleEndian, std::size_t size,
                        int scale) {
  U128 mag = 0;
  for (std::size_t i = size; i-- > 0;) mag = (mag << 8) | littleEndian[i];
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(mag % 10)));
    mag /= 10;
  } while (mag != 0);
  while (static_cast<int>(digits.size()) <= scale) digits.insert(digits.begin(), '0');
  if (scale > 0) digits.insert(digits.end() - scale, '.');
  bool zero = digits.find_first_not_of("0.") == std::string::npos;
  return (negative && !zero ? "-" : "") + digits;
}

void WriteTypeInfo(ByteWriter& out, const Column& c, bool withTableName) {
  switch (c.type) {
    case SqlType::Int:
    case SqlType::SmallInt:
    case SqlType::TinyInt:
    case SqlType::BigInt:
      if (c.nullable) {
        out.U8(kIntN);
        out.U8(static_cast<std::uint8_t>(IntSize(c.type)));
      } else {
        out.U8(c.type == SqlType::Int        ? kInt4
               : c.type == SqlType::SmallInt ? kInt2
               : c.type == SqlType::TinyInt  ? kInt1
                                             : kInt8);
      }
      break;
    case SqlType::Bit:
      if (c.nullable) {
        out.U8(kBitN);
        out.U8(1);
      } else {
        out.U8(kBit);
      }
      break;
    case SqlType::Float:
    case SqlType::Real:
      if (c.nullable) {
        out.U8(kFltN);
        out.U8(c.type == SqlType::Float ? 8 : 4);
      } else {
        out.U8(c.type == SqlType::Float ? kFlt8 : kFlt4);
      }
      break;
    case SqlType::Decimal:
    case SqlType::Numeric:
      out.U8(c.type == SqlType::Decimal ? kDecimalN : kNumericN);
      out.U8(DecimalBytes(Precision(c)));
      out.U8(static_cast<std::uint8_t>(Precision(c)));
      out.U8(static_cast<std::uint8_t>(c.scale));
      break;
    case SqlType::Money:
      if (c.nullable) {
        out.U8(kMoneyN);
        out.U8(8);
      } else {
        out.U8(kMoney);
      }
      break;
    case SqlType::DateTime:
      if (c.nullable) {
        out.U8(kDateTimN);
        out.U8(8);
      } else {
        out.U8(kDateTime);
      }
      break;
    case SqlType::Char:
    case SqlType::VarChar:
      out.U8(c.type == SqlType::Char ? kBigChar : kBigVarChr);
      out.U16(IsMax(c) ? kPlpMarker : static_cast<std::uint16_t>(c.size));
      out.Raw(kChinesePrcCiAs, 5);
      break;
    case SqlType::NChar:
    case SqlType::NVarChar:
      out.U8(c.type == SqlType::NChar ? kNChar : kNVarChar);
      out.U16(IsMax(c) ? kPlpMarker : static_cast<std::uint16_t>(c.size * 2));
      out.Raw(kChinesePrcCiAs, 5);
      break;
    case SqlType::VarBinary:
      out.U8(kBigVarBin);
      out.U16(IsMax(c) ? kPlpMarker : static_cast<std::uint16_t>(c.size));
      break;
    case SqlType::Text:
    case SqlType::NText:
    case SqlType::Image:
      out.U8(c.type == SqlType::Text ? kText : c.type == SqlType::NText ? kNText : kImage);
      out.U32(c.type == SqlType::NText ? 0x7FFFFFFE : 0x7FFFFFFF);
      if (c.type != SqlType::Image) out.Raw(kChinesePrcCiAs, 5);
      if (withTableName) {
        out.U8(1);
        out.UsVarChar("StandInTable");
      }
      break;
  }
}

void WriteValue(ByteWriter& out, const Column& c, const Value& v) {
  bool null = v.IsNull();
  if (null && !c.nullable) {
    throw std::invalid_argument("NULL in NOT NULL column " + c.name);
  }
  switch (c.type) {
    case SqlType::Int:
    case SqlType::SmallInt:
    case SqlType::TinyInt:
    case SqlType::BigInt:
    case SqlType::Bit: {
      int size = IntSize(c.type);
      if (c.nullable) out.U8(null ? 0 : static_cast<std::uint8_t>(size));
      if (null) break;
      std::int64_t n = ToInt(c, v);
      WriteInt(out, c.type == SqlType::Bit ? (n != 0) : n, size);
      break;
    }
    case SqlType::Float:
    case SqlType::Real: {
      bool isDouble = c.type == SqlType::Float;
      if (c.nullable) out.U8(null ? 0 : (isDouble ? 8 : 4));
      if (null) break;
      double d = ToDouble(c, v);
      if (isDouble) {
        std::uint64_t bits;
        std::memcpy(&bits, &d, 8);
        out.U64(bits);
      } else {
        float f = static_cast<float>(d);
        std::uint32_t bits;
        std::memcpy(&bits, &f, 4);
        out.U32(bits);
      }
      break;
    }
    case SqlType::Decimal:
    case SqlType::Numeric: {
      if (null) {
        out.U8(0);
        break;
      }
      bool negative = false;
      U128 mag = ScaledMagnitude(c, v, c.scale, negative);
      std::uint8_t size = DecimalBytes(Precision(c));
      out.U8(size);
      out.U8(negative ? 0 : 1);
      for (int i = 0; i < size - 1; ++i) out.U8(static_cast<std::uint8_t>(mag >> (8 * i)));
      break;
    }
    case SqlType::Money: {
      if (c.nullable) out.U8(null ? 0 : 8);
      if (null) break;
      bool negative = false;
      auto mag = static_cast<std::int64_t>(ScaledMagnitude(c, v, 4, negative));
      std::int64_t money = negative ? -mag : mag;
      auto bits = static_cast<std::uint64_t>(money);
      out.U32(static_cast<std::uint32_t>(bits >> 32));
      out.U32(static_cast<std::uint32_t>(bits));
      break;
    }
    case SqlType::DateTime:
      if (c.nullable) out.U8(null ? 0 : 8);
      if (null) break;
      if (v.GetKind() != Value::Kind::DateTime) Mismatch(c, v);
      WriteDateTimeBody(out, v.AsDateTime());
      break;
    case SqlType::Char:
    case SqlType::VarChar:
    case SqlType::NChar:
    case SqlType::NVarChar:
    case SqlType::VarBinary: {
      bool max = IsMax(c) && c.type != SqlType::Char && c.type != SqlType::NChar;
      if (null) {
        if (max) {
          out.U64(kPlpNull);
        } else {
          out.U16(0xFFFF);
        }
        break;
      }
      std::string data = c.type == SqlType::VarBinary ? BytesOf(c, v) : EncodeChars(c, v);
      if (max) {
        WritePlp(out, data);
      } else {
        std::size_t limit = static_cast<std::size_t>(c.size) *
                            (c.type == SqlType::NChar || c.type == SqlType::NVarChar ? 2 : 1);
        if (data.size() > limit) {
          throw std::invalid_argument("value " + v.ToString() + " is longer than column " + c.name +
                                      " allows");
        }
        out.U16(static_cast<std::uint16_t>(data.size()));
        out.Raw(data);
      }
      break;
    }
    case SqlType::Text:
    case SqlType::NText:
    case SqlType::Image: {
      if (null) {
        out.U8(0);
        break;
      }
      std::string data = c.type == SqlType::Image ? BytesOf(c, v) : EncodeChars(c, v);
      out.U8(16);
      for (int i = 0; i < 16; ++i) out.U8(static_cast<std::uint8_t>(0xA0 + i));
      for (int i = 0; i < 8; ++i) out.U8(0);
      out.U32(static_cast<std::uint32_t>(data.size()));
      out.Raw(data);
      break;
    }
  }
}

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
      return DateTimeFrom(days, minutes * 60000LL);
    }
    auto days = static_cast<std::int32_t>(in.U32());
    std::uint32_t ticks = in.U32();
    return DateTimeFrom(days, (ticks * 1000LL + 150) / 300);
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
      p.value = DateTimeFrom(days, ms);
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

Value ConvertToDeclared(const Value& v, const ParamDecl& decl) {
  if (v.IsNull()) return v;
  Column c{decl.name, decl.type, decl.size, decl.precision, decl.scale, true};
  auto fail = [&]() -> Value {
    throw std::invalid_argument("Error converting " + v.ToString() + " to " +
                                std::string(SqlTypeName(decl.type)) + ".");
  };
  auto toText = [&]() -> std::string {
    switch (v.GetKind()) {
      case Value::Kind::Text:
        return v.AsText();
      case Value::Kind::Integer:
        return std::to_string(v.AsInt());
      case Value::Kind::Decimal:
        return v.AsDecimalText();
      case Value::Kind::Float:
        return v.ToString();
      case Value::Kind::DateTime: {
        std::string t = v.ToString();
        return t;
      }
      default:
        fail();
    }
    return {};
  };
  switch (decl.type) {
    case SqlType::Int:
    case SqlType::SmallInt:
    case SqlType::TinyInt:
    case SqlType::BigInt:
    case SqlType::Bit:
      switch (v.GetKind()) {
        case Value::Kind::Integer:
          return decl.type == SqlType::Bit ? Value(v.AsInt() != 0 ? 1 : 0) : v;
        case Value::Kind::Float:
        case Value::Kind::Decimal:
          return Value(static_cast<long long>(v.AsDouble()));
        case Value::Kind::Text:
          try {
            std::size_t used = 0;
            long long n = std::stoll(v.AsText(), &used);
            if (used != v.AsText().size()) fail();
            return decl.type == SqlType::Bit ? Value(n != 0 ? 1 : 0) : Value(n);
          } catch (const std::logic_error&) {
            fail();
          }
          break;
        default:
          fail();
      }
      break;
    case SqlType::Float:
    case SqlType::Real:
      if (v.GetKind() == Value::Kind::Text) {
        try {
          return Value(std::stod(v.AsText()));
        } catch (const std::logic_error&) {
          fail();
        }
      }
      if (v.GetKind() == Value::Kind::Integer || v.GetKind() == Value::Kind::Decimal ||
          v.GetKind() == Value::Kind::Float)
        return Value(v.AsDouble());
      fail();
      break;
    case SqlType::Decimal:
    case SqlType::Numeric:
    case SqlType::Money: {
      int scale = decl.type == SqlType::Money ? 4 : decl.scale;
      bool negative = false;
      U128 mag = 0;
      try {
        mag = ScaledMagnitude(c, v, scale, negative);
      } catch (const std::invalid_argument&) {
        fail();
      }
      std::uint8_t le[16];
      for (int i = 0; i < 16; ++i) le[i] = static_cast<std::uint8_t>(mag >> (8 * i));
      return Value(Decimal{DecimalText(negative, le, 16, scale)});
    }
    case SqlType::DateTime:
      if (v.GetKind() == Value::Kind::DateTime) return v;
      if (v.GetKind() == Value::Kind::Text) {
        DateTime d;
        int n = std::sscanf(v.AsText().c_str(), "%d-%d-%d %d:%d:%d.%d", &d.year, &d.month, &d.day,
                            &d.hour, &d.minute, &d.second, &d.millisecond);
        if (n >= 3) return Value(d);
      }
      fail();
      break;
    case SqlType::Char:
    case SqlType::VarChar:
    case SqlType::NChar:
    case SqlType::NVarChar:
    case SqlType::Text:
    case SqlType::NText: {
      std::string text = toText();
      bool limited = decl.size > 0 && decl.type != SqlType::Text && decl.type != SqlType::NText;
      if (!limited) return Value(text);
      // Cut at the declared length in characters (nchar) or code-page bytes (char).
      bool wide = decl.type == SqlType::NChar || decl.type == SqlType::NVarChar;
      std::string out;
      std::size_t used = 0;
      for (std::size_t i = 0; i < text.size();) {
        std::size_t len = 1;
        auto lead = static_cast<unsigned char>(text[i]);
        if (lead >= 0xF0)
          len = 4;
        else if (lead >= 0xE0)
          len = 3;
        else if (lead >= 0xC0)
          len = 2;
        std::string ch = text.substr(i, len);
        std::size_t cost = wide ? (len == 4 ? 2 : 1) : Utf8ToCp936(ch).size();
        if (used + cost > static_cast<std::size_t>(decl.size)) break;
        used += cost;
        out += ch;
        i += len;
      }
      return Value(out);
    }
    case SqlType::VarBinary:
    case SqlType::Image:
      if (v.GetKind() == Value::Kind::Bytes) {
        Bytes b = v.AsBytes();
        if (decl.type == SqlType::VarBinary && decl.size > 0 &&
            b.size() > static_cast<std::size_t>(decl.size))
          b.resize(static_cast<std::size_t>(decl.size));
        return Value(b);
      }
      fail();
      break;
  }
  return v;
}

}  // namespace quor::test::tds
