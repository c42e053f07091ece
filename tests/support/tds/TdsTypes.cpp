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

}  // namespace

DateTime DateTimeFromDays(std::int32_t days, std::int64_t msOfDay) {
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

std::string RescaleDecimal(const Value& v, int scale) {
  Column c{"value", SqlType::Decimal, 0, 38, scale, true};
  bool negative = false;
  U128 mag = ScaledMagnitude(c, v, scale, negative);
  std::uint8_t le[16];
  for (int i = 0; i < 16; ++i) le[i] = static_cast<std::uint8_t>(mag >> (8 * i));
  return DecimalText(negative, le, 16, scale);
}

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

}  // namespace quor::test::tds
