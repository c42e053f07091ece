// Tagged values against byte vectors written by hand from the wire's
// description: every base type of the size table, the two by-reference forms,
// arrays of bytes, strings, variants and a two-dimensional array with
// non-zero low bounds; then the type words and bodies that must be refused.
#include "transport/ValueCodec.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/com/SafeArray.h"
#include "platform/com/TableDispatch.h"
#include "tests/transport/WireBytes.h"
#include "transport/Protocol.h"
#include "transport/TransportError.h"

namespace quor::transport {
namespace {

using com::SafeArray;
using com::Variant;
using testing::Bytes;
using testing::Hex;
using testing::Wire;

// An object stand-in whose identity is its index.
class IndexedObject : public com::TableDispatch {
 public:
  explicit IndexedObject(std::int32_t index)
      : TableDispatch(std::make_shared<const com::DispatchTable>(std::vector<com::MemberInfo>{})),
        index(index) {}
  std::int32_t index;
};

// Lends objects under their own index and reads references as such objects.
class IndexLink : public ObjectLink {
 public:
  std::int32_t RegisterObject(const Variant& object) override {
    return dynamic_cast<IndexedObject&>(*object.GetDispatch()).index;
  }
  com::DispatchPtr ProxyFor(std::int32_t index) override {
    return std::make_shared<IndexedObject>(index);
  }
};

Bytes Encode(const Variant& value) {
  IndexLink link;
  ValueCodec codec(link);
  TDataBlock block;
  codec.WriteValue(value, block);
  return testing::PayloadOf(block);
}

ReadValueResult Decode(const Bytes& payload, std::size_t* left = nullptr) {
  IndexLink link;
  ValueCodec codec(link);
  TDataBlock block = testing::BlockOf(sigCall | actInvoke, payload);
  ReadValueResult result = codec.ReadValue(block);
  if (left) *left = block.Remaining();
  return result;
}

Variant Ref(Variant value, com::VarType target) {
  return Variant::ByRef(std::make_shared<Variant>(std::move(value)), target);
}

Variant TwoByTwoVariants() {
  SafeArray array(com::VT_VARIANT, {{1, 2}, {0, 2}});
  array.Put({1, 0}, Variant::I4(10));
  array.Put({1, 1}, Variant::String("a"));
  array.Put({2, 0}, Variant::Null());
  array.Put({2, 1}, Variant::Bool(true));
  return Variant::Array(std::move(array));
}

Variant TwoByTwoIntegers() {
  SafeArray array(com::VT_I4, {{1, 2}, {5, 2}});
  array.Put({1, 5}, Variant::I4(1));
  array.Put({1, 6}, Variant::I4(2));
  array.Put({2, 5}, Variant::I4(3));
  array.Put({2, 6}, Variant::I4(4));
  return Variant::Array(std::move(array));
}

Variant Strings(std::vector<std::string> texts) {
  SafeArray array = SafeArray::Vector(com::VT_BSTR, static_cast<std::uint32_t>(texts.size()));
  for (std::size_t i = 0; i < texts.size(); ++i) {
    array.Put({static_cast<std::int32_t>(i)}, Variant::String(texts[i]));
  }
  return Variant::Array(std::move(array));
}

Variant OfType(com::VarType element, std::vector<Variant> values) {
  SafeArray array = SafeArray::Vector(element, static_cast<std::uint32_t>(values.size()));
  for (std::size_t i = 0; i < values.size(); ++i) {
    array.Put({static_cast<std::int32_t>(i)}, values[i]);
  }
  return Variant::Array(std::move(array));
}

struct ValueCase {
  const char* name;
  Variant value;
  Bytes wire;
};

std::vector<ValueCase> ValueCases() {
  return {
      {"empty", Variant(), Wire().U32(0)},
      {"null", Variant::Null(), Wire().U32(1)},
      {"16-bit integer", Variant::I2(-2), Wire().U32(2).U16(0xFFFE)},
      {"32-bit integer", Variant::I4(0x12345678), Wire().U32(3).U32(0x12345678)},
      {"32-bit float", Variant::R4(1.5f), Wire().U32(4).U32(0x3FC00000)},
      {"64-bit float", Variant::R8(-2.25), Wire().U32(5).U64(0xC002000000000000ull)},
      {"currency", Variant::Currency(15000), Wire().U32(6).U64(15000)},
      {"date", Variant::Date(1.0), Wire().U32(7).U64(0x3FF0000000000000ull)},
      {"empty string", Variant::String(""), Wire().U32(8).U32(0)},
      {"string", Variant::String("Ab中"), Wire().Str(u"Ab中")},
      {"string beyond the BMP", Variant::String("𝄞"), Wire().U32(8).U32(2).U16(0xD834).U16(0xDD1E)},
      {"object", Variant::Dispatch(std::make_shared<IndexedObject>(7)), Wire().U32(9).U32(7)},
      {"error code", Variant::Error(com::DISP_E_PARAMNOTFOUND), Wire().U32(10).U32(0x80020004)},
      {"true", Variant::Bool(true), Wire().U32(11).U16(0xFFFF)},
      {"false", Variant::Bool(false), Wire().U32(11).U16(0)},
      {"8-bit integer", Variant::I1(-1), Wire().U32(16).U8(0xFF)},
      {"byte", Variant::UI1(200), Wire().U32(17).U8(200)},
      {"16-bit unsigned", Variant::UI2(0xBEEF), Wire().U32(18).U16(0xBEEF)},
      {"32-bit unsigned", Variant::UI4(0xDEADBEEF), Wire().U32(19).U32(0xDEADBEEF)},
      {"integer by reference", Ref(Variant::I4(5), com::VT_I4), Wire().U32(0x4003).U32(5)},
      {"string by reference", Ref(Variant::String("x"), com::VT_BSTR), Wire().Str(u"x", 0x4008)},
      {"variant by reference", Ref(Variant::String("x"), com::VT_VARIANT),
       Wire().U32(0x4000).Str(u"x")},
      {"array by reference", Ref(Variant::Bytes({9}), com::VT_ARRAY | com::VT_UI1),
       Wire().U32(0x6011).U32(1).U32(0).U32(0).U32(1).U8(9)},
      {"byte array", Variant::Bytes({1, 2, 3}),
       Wire().U32(0x2011).U32(1).U32(0).U32(2).U32(3).U8(1).U8(2).U8(3)},
      {"empty byte array", Variant::Bytes({}),
       Wire().U32(0x2011).U32(1).U32(0).U32(0xFFFFFFFF).U32(0)},
      {"2-D variants, element order last dimension fastest", TwoByTwoVariants(),
       Wire().U32(0x200C).U32(2).U32(1).U32(0).U32(2).U32(1).Int(10).Str(u"a").U32(1).Bool(true)},
      {"2-D integers, raw run in memory order", TwoByTwoIntegers(),
       Wire().U32(0x2003).U32(2).U32(1).U32(5).U32(2).U32(6).U32(16).U32(1).U32(3).U32(2).U32(4)},
      {"strings element by element", Strings({"a", "bc"}),
       Wire().U32(0x2008).U32(1).U32(0).U32(1).Str(u"a").Str(u"bc")},
      {"variant holding a byte array", OfType(com::VT_VARIANT, {Variant::Bytes({0xFF})}),
       Wire().U32(0x200C).U32(1).U32(0).U32(0).U32(0x2011).U32(1).U32(0).U32(0).U32(1).U8(0xFF)},
      {"error codes element by element", OfType(com::VT_ERROR, {Variant::Error(5)}),
       Wire().U32(0x200A).U32(1).U32(0).U32(0).U32(10).U32(5)},
      {"booleans as a raw run", OfType(com::VT_BOOL, {Variant::Bool(true), Variant::Bool(false)}),
       Wire().U32(0x200B).U32(1).U32(0).U32(1).U32(4).U16(0xFFFF).U16(0)},
      {"doubles as a raw run", OfType(com::VT_R8, {Variant::R8(1.0)}),
       Wire().U32(0x2005).U32(1).U32(0).U32(0).U32(8).U64(0x3FF0000000000000ull)},
  };
}

TEST(ValueCodecTest, EveryValueEncodesToItsWireBytes) {
  for (const ValueCase& c : ValueCases()) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Hex(Encode(c.value)), Hex(c.wire));
  }
}

TEST(ValueCodecTest, EveryWireFormDecodesToItsValueAndReference) {
  for (const ValueCase& c : ValueCases()) {
    SCOPED_TRACE(c.name);
    std::size_t left = 1;
    const ReadValueResult read = Decode(c.wire, &left);
    EXPECT_EQ(left, 0u) << "bytes left unread";
    EXPECT_EQ(read.byRef, c.value.IsByRef());
    EXPECT_EQ(read.byRefVariant, c.value.Type() == (com::VT_BYREF | com::VT_VARIANT));
    if (c.value.Deref().Type() == com::VT_DISPATCH) {
      ASSERT_EQ(read.value.Type(), com::VT_DISPATCH);
      EXPECT_EQ(dynamic_cast<IndexedObject&>(*read.value.GetDispatch()).index, 7);
    } else {
      EXPECT_EQ(read.value, c.value.Deref()) << read.value.DebugString();
    }
  }
}

// A dimension of no elements leaves nothing to send, so such an array may end
// the payload even though its other dimensions are large.
TEST(ValueCodecTest, ArraysWithAnEmptyDimensionEndingThePayloadRoundTrip) {
  const struct {
    const char* name;
    com::VarType element;
    std::vector<com::ArrayBound> bounds;
  } cases[] = {
      {"variants, empty last", com::VT_VARIANT, {{0, 3}, {1, 0}}},
      {"variants, empty first", com::VT_VARIANT, {{0, 0}, {-2, 1000}}},
      {"integers (raw run), empty last", com::VT_I4, {{0, 3}, {1, 0}}},
      {"bytes (raw run), empty middle", com::VT_UI1, {{5, 2}, {0, 0}, {0, 7}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Variant value = Variant::Array(SafeArray(c.element, c.bounds));
    std::size_t left = 1;
    const ReadValueResult read = Decode(Encode(value), &left);
    EXPECT_EQ(left, 0u);
    EXPECT_EQ(read.value, value) << read.value.DebugString();
  }
}

TEST(ValueCodecTest, DecodingAcceptsWhatPeersSendBeyondTheCanonicalForms) {
  struct Case {
    const char* name;
    Bytes wire;
    Variant expected;
  };
  const Case cases[] = {
      {"true as 1", Wire().U32(11).U16(1), Variant::Bool(true)},
      {"a reference wrapping a reference", Wire().U32(0x4000).U32(0x4003).U32(4), Variant::I4(4)},
      {"strings array elements converted to strings",
       Wire().U32(0x2008).U32(1).U32(0).U32(0).Int(42), Strings({"42"})},
      // Base types 14 and 15 carry no body: what follows them stays in step.
      {"types 14 and 15 without a body",
       Wire().U32(0x200C).U32(1).U32(0).U32(2).U32(14).U32(15).Int(5),
       OfType(com::VT_VARIANT, {Variant(), Variant(), Variant::I4(5)})},
      {"type 14 by reference", Wire().U32(0x400E), Variant()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Decode(c.wire).value, c.expected);
  }
}

TEST(ValueCodecTest, TypesTheWireCannotCarryAreRefusedWhenWritten) {
  struct Case {
    Variant value;
    const char* message;
  };
  const Case cases[] = {
      {Variant::I8(1), "Unsupported variant type: 0014"},
      {Variant::UI8(1), "Unsupported variant type: 0015"},
      {Variant::Int(1), "Unsupported variant type: 0016"},
      {Variant::UInt(1), "Unsupported variant type: 0017"},
      {Variant::Unknown(nullptr), "Unsupported variant type: 000D"},
      {Ref(Variant::Dispatch(std::make_shared<IndexedObject>(1)), com::VT_DISPATCH),
       "Unsupported variant type: 4009"},
      {Ref(Variant::I8(1), com::VT_I8), "Unsupported variant type: 4014"},
      {Variant::Array(SafeArray::Vector(com::VT_I8, 1)), "Unsupported variant type: 2014"},
      {Variant::Array(SafeArray::Vector(com::VT_UNKNOWN, 1)), "Unsupported variant type: 200D"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value.DebugString());
    try {
      Encode(c.value);
      ADD_FAILURE() << "encoded";
    } catch (const InterpreterError& error) {
      EXPECT_STREQ(error.what(), c.message);
    }
  }
}

TEST(ValueCodecTest, UnsupportedTypeWordsAreRefusedWithTheirHexadecimalForm) {
  struct Case {
    std::uint32_t typeWord;
    const char* message;
  };
  const Case cases[] = {
      {0x000D, "Unsupported variant type: 000D"}, {0x000C, "Unsupported variant type: 000C"},
      {0x400C, "Unsupported variant type: 400C"}, {0x0014, "Unsupported variant type: 0014"},
      {0x0017, "Unsupported variant type: 0017"}, {0x0FFF, "Unsupported variant type: 0FFF"},
      {0x4009, "Unsupported variant type: 4009"}, {0x1003, "Unsupported variant type: 1003"},
      {0x8003, "Unsupported variant type: 8003"}, {0x10003, "Unsupported variant type: 10003"},
      {0x200D, "Unsupported variant type: 200D"}, {0x2000, "Unsupported variant type: 2000"},
      {0x2001, "Unsupported variant type: 2001"}, {0x2014, "Unsupported variant type: 2014"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    // Enough bytes after the word that only the type can be the problem.
    const Bytes wire = Wire().U32(c.typeWord).U32(1).U32(0).U32(0).U32(4).U32(0);
    try {
      Decode(wire);
      ADD_FAILURE() << "decoded";
    } catch (const InterpreterError& error) {
      EXPECT_STREQ(error.what(), c.message);
    }
  }
}

TEST(ValueCodecTest, BodiesThatDoNotFitThePayloadAreInvalidPackets) {
  Wire deep;
  for (int i = 0; i < 200; ++i) deep.U32(0x4000);
  deep.Int(1);
  struct Case {
    const char* name;
    Bytes wire;
  };
  const Case cases[] = {
      {"no type word", Wire().U16(3)},
      {"short integer", Wire().U32(3).U16(1)},
      {"short double", Wire().U32(5).U32(0)},
      {"negative string count", Wire().U32(8).U32(0xFFFFFFFF)},
      {"string count beyond the payload", Wire().U32(8).U32(1000).U16(0x41)},
      {"no dimensions", Wire().U32(0x2011).U32(0)},
      {"negative dimensions", Wire().U32(0x2011).U32(0xFFFFFFFF)},
      {"more dimensions than bytes", Wire().U32(0x2011).U32(1000000).U32(0)},
      {"high bound below low bound - 1", Wire().U32(0x2011).U32(1).U32(5).U32(2).U32(0)},
      {"raw size disagreeing with the bounds",
       Wire().U32(0x2011).U32(1).U32(0).U32(2).U32(2).U8(1).U8(2)},
      {"raw size beyond the payload", Wire().U32(0x2011).U32(1).U32(0).U32(99).U32(100).U8(1)},
      {"huge bounds with a tiny payload",
       Wire().U32(0x2003).U32(2).U32(0).U32(0).U32(0x7FFFFFFF).U32(0x7FFFFFFF).U32(0)},
      {"huge bounds of variants", Wire().U32(0x200C).U32(1).U32(0x80000000).U32(0x7FFFFFFF).Int(1)},
      {"element missing", Wire().U32(0x2008).U32(1).U32(0).U32(1).Str(u"a")},
      {"nesting beyond any client's", deep},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      Decode(c.wire);
      ADD_FAILURE() << "decoded";
    } catch (const InterpreterError& error) {
      EXPECT_STREQ(error.what(), "Invalid data packet");
    }
  }
}

TEST(ValueCodecTest, MalformedUtf16IsRefusedRatherThanAltered) {
  EXPECT_THROW(Decode(Wire().U32(8).U32(1).U16(0xD800)), std::runtime_error);
}

}  // namespace
}  // namespace quor::transport
