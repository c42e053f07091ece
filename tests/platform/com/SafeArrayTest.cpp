#include "platform/com/SafeArray.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "tests/platform/com/CodeOf.h"

namespace quor::com {
namespace {

using test::CodeOf;

TEST(SafeArrayTest, EveryElementOfAMultiDimensionalArrayIsItsOwn) {
  // Three dimensions with negative, zero and positive low bounds.
  SafeArray array(VT_I4, {{-1, 2}, {0, 3}, {5, 2}});
  EXPECT_EQ(array.Dimensions(), 3u);
  EXPECT_EQ(array.ElementCount(), 12u);
  const std::int32_t low[] = {-1, 0, 5};
  const std::int32_t high[] = {0, 2, 6};
  for (std::uint32_t d = 0; d < 3; ++d) {
    EXPECT_EQ(array.LowBound(d), low[d]) << d;
    EXPECT_EQ(array.HighBound(d), high[d]) << d;
  }
  auto code = [](std::int32_t i, std::int32_t j, std::int32_t k) { return i * 100 + j * 10 + k; };
  for (std::int32_t i = -1; i <= 0; ++i) {
    for (std::int32_t j = 0; j <= 2; ++j) {
      for (std::int32_t k = 5; k <= 6; ++k) array.Put({i, j, k}, code(i, j, k));
    }
  }
  for (std::int32_t i = -1; i <= 0; ++i) {
    for (std::int32_t j = 0; j <= 2; ++j) {
      for (std::int32_t k = 5; k <= 6; ++k) {
        EXPECT_EQ(array.Get({i, j, k}), Variant::I4(code(i, j, k))) << i << "," << j << "," << k;
      }
    }
  }
}

TEST(SafeArrayTest, AccessOutsideTheBoundsIsABadIndex) {
  SafeArray array(VT_BSTR, {{1, 2}, {-3, 4}});  // [1..2, -3..0]
  struct Case {
    const char* name;
    std::vector<std::int32_t> indices;
  };
  const Case cases[] = {
      {"below the first low bound", {0, -3}},
      {"above the first high bound", {3, 0}},
      {"below the second low bound", {1, -4}},
      {"above the second high bound", {2, 1}},
      {"too few indices", {1}},
      {"too many indices", {1, 0, 0}},
      {"no indices", {}},
      {"the smallest index", {std::numeric_limits<std::int32_t>::min(), 0}},
      {"the largest index", {1, std::numeric_limits<std::int32_t>::max()}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CodeOf([&] { array.Get(c.indices); }), DISP_E_BADINDEX) << c.name;
    EXPECT_EQ(CodeOf([&] { array.Put(c.indices, "x"); }), DISP_E_BADINDEX) << c.name;
  }
  EXPECT_EQ(CodeOf([&] { array.LowBound(2); }), DISP_E_BADINDEX);
  EXPECT_EQ(CodeOf([&] { array.HighBound(7); }), DISP_E_BADINDEX);
  EXPECT_EQ(array.Get({2, 0}), Variant::String("")) << "nothing was written by the failures";

  SafeArray empty = SafeArray::Vector(VT_I4, 0, 5);
  EXPECT_EQ(empty.HighBound(0), 4) << "an empty dimension ends one below its start";
  EXPECT_EQ(CodeOf([&] { empty.Get({5}); }), DISP_E_BADINDEX);
}

TEST(SafeArrayTest, ImpossibleArraysAreRefused) {
  constexpr std::int32_t kLowest = std::numeric_limits<std::int32_t>::min();
  struct Case {
    const char* name;
    VarType elementType;
    std::vector<ArrayBound> bounds;
    HResult code;
  };
  const Case cases[] = {
      {"empty elements", VT_EMPTY, {{0, 1}}, DISP_E_BADVARTYPE},
      {"null elements", VT_NULL, {{0, 1}}, DISP_E_BADVARTYPE},
      {"decimal elements", VT_DECIMAL, {{0, 1}}, DISP_E_BADVARTYPE},
      {"array flag in the element type", VT_ARRAY | VT_I4, {{0, 1}}, DISP_E_BADVARTYPE},
      {"unknown element type", 40, {{0, 1}}, DISP_E_BADVARTYPE},
      {"no dimensions", VT_I4, {}, E_INVALIDARG},
      {"high bound beyond 32 bits",
       VT_I4,
       {{std::numeric_limits<std::int32_t>::max(), 2}},
       E_INVALIDARG},
      {"element count beyond memory",
       VT_I4,
       {{kLowest, 0xFFFFFFFFu}, {kLowest, 0xFFFFFFFFu}, {kLowest, 0xFFFFFFFFu}},
       E_OUTOFMEMORY},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CodeOf([&] { SafeArray array(c.elementType, c.bounds); }), c.code) << c.name;
  }
  EXPECT_EQ(CodeOf([] {
              SafeArray::FromRawData(VT_I4, {{0, 2}}, std::vector<std::uint8_t>(7));
            }),
            E_INVALIDARG)
      << "raw data of the wrong size";
  EXPECT_EQ(CodeOf([] {
              SafeArray::FromRawData(VT_BSTR, {{0, 1}}, {});
            }),
            E_INVALIDARG)
      << "strings have no raw form";
}

TEST(SafeArrayTest, RawStorageIsTheColumnMajorSafeArrayLayout) {
  SafeArray array(VT_I2, {{1, 2}, {0, 3}});  // a(1 To 2, 0 To 2)
  for (std::int32_t i = 1; i <= 2; ++i) {
    for (std::int32_t j = 0; j <= 2; ++j) array.Put({i, j}, 10 * i + j);
  }
  // The first index varies fastest, as in a Windows SAFEARRAY.
  const std::int16_t expected[] = {10, 20, 11, 21, 12, 22};
  ASSERT_EQ(array.RawData().size(), sizeof expected);
  EXPECT_EQ(std::memcmp(array.RawData().data(), expected, sizeof expected), 0);

  const SafeArray copy = SafeArray::FromRawData(
      VT_I2, array.Bounds(),
      std::vector<std::uint8_t>(array.RawData().begin(), array.RawData().end()));
  EXPECT_EQ(copy, array);
  EXPECT_EQ(copy.Get({2, 1}), Variant::I2(21));
}

TEST(SafeArrayTest, ElementsAreVisitedInWireOrderLastDimensionFastest) {
  const SafeArray array(VT_VARIANT, {{1, 2}, {0, 2}});
  std::vector<std::vector<std::int32_t>> seen;
  auto index = array.FirstIndex();
  do seen.push_back(index);
  while (array.NextIndex(index));
  const std::vector<std::vector<std::int32_t>> expected = {{1, 0}, {1, 1}, {2, 0}, {2, 1}};
  EXPECT_EQ(seen, expected);

  const SafeArray empty(VT_VARIANT, {{0, 3}, {0, 0}});
  auto none = empty.FirstIndex();
  EXPECT_FALSE(empty.NextIndex(none));
}

TEST(SafeArrayTest, ElementsAreConvertedToTheElementType) {
  struct Case {
    const char* name;
    VarType elementType;
    Variant stored;
    Variant expected;  // VT_EMPTY: the store fails with code
    HResult code = S_OK;
  };
  const Case cases[] = {
      {"number into strings", VT_BSTR, 5, "5"},
      {"text into shorts", VT_I2, " 12 ", Variant::I2(12)},
      {"too big for shorts", VT_I2, "70000", Variant(), DISP_E_OVERFLOW},
      {"text into bytes", VT_UI1, "x", Variant(), DISP_E_TYPEMISMATCH},
      {"non-zero into booleans", VT_BOOL, 7, true},
      {"date into dates", VT_DATE, "2024-01-01", Variant::Date(45292)},
      {"currency", VT_CY, 1.5, Variant::Currency(15000)},
      {"anything into variants", VT_VARIANT, Variant::I8(-3), Variant::I8(-3)},
      {"references resolved into variants", VT_VARIANT,
       Variant::ByRef(std::make_shared<Variant>("r")), "r"},
      {"a null into variants", VT_VARIANT, Variant::Null(), Variant::Null()},
      {"a null into integers", VT_I4, Variant::Null(), Variant(), DISP_E_TYPEMISMATCH},
  };
  for (const Case& c : cases) {
    SafeArray array = SafeArray::Vector(c.elementType, 3, 1);
    const Variant before = array.Get({2});
    EXPECT_EQ(CodeOf([&] { array.Put({2}, c.stored); }), c.code) << c.name;
    EXPECT_EQ(array.Get({2}), c.code == S_OK ? c.expected : before) << c.name;
  }
}

TEST(SafeArrayTest, ByteArraysStayOneCompactVector) {
  const Variant packet = Variant::Bytes({0x96, 0x19, 0xE0});
  EXPECT_EQ(packet.Type(), VT_ARRAY | VT_UI1);
  const SafeArray& bytes = packet.GetArray();
  EXPECT_EQ(bytes.LowBound(0), 0);
  EXPECT_EQ(bytes.HighBound(0), 2);
  EXPECT_EQ(bytes.Get({1}), Variant::UI1(0x19));
  EXPECT_EQ(bytes.Bytes(), (std::vector<std::uint8_t>{0x96, 0x19, 0xE0}));
  EXPECT_EQ(bytes.RawData().data(), bytes.Bytes().data());

  const Variant empty = Variant::Bytes({});
  EXPECT_EQ(empty.GetArray().HighBound(0), -1);
  EXPECT_EQ(empty.GetArray().ElementCount(), 0u);
  EXPECT_EQ(CodeOf([] { SafeArray::Vector(VT_I4, 1).Bytes(); }), DISP_E_TYPEMISMATCH);
}

TEST(SafeArrayTest, BooleansFromAPeerAreKeptCanonical) {
  const SafeArray flags =
      SafeArray::FromRawData(VT_BOOL, {{0, 3}}, {0x01, 0x00, 0x00, 0x00, 0xFF, 0xFF});
  EXPECT_EQ(flags.Get({0}), Variant(true));
  EXPECT_EQ(flags.Get({1}), Variant(false));
  EXPECT_EQ(flags.RawData()[0], 0xFF);
  EXPECT_EQ(flags.RawData()[1], 0xFF);
}

TEST(SafeArrayTest, CopiesAreIndependentDownToNestedArrays) {
  SafeArray inner = SafeArray::Vector(VT_VARIANT, 2);
  inner.Put({0}, "name");
  SafeArray outer = SafeArray::Vector(VT_VARIANT, 1);
  outer.Put({0}, Variant::Array(inner));
  const Variant original = Variant::Array(outer);

  Variant copy = original;
  EXPECT_EQ(copy, original);
  SafeArray changed = copy.GetArray().Get({0}).GetArray();
  changed.Put({1}, 42);
  copy.GetArray().Put({0}, Variant::Array(changed));
  EXPECT_NE(copy, original);
  EXPECT_EQ(original.GetArray().Get({0}).GetArray().Get({1}), Variant());
}

}  // namespace
}  // namespace quor::com
