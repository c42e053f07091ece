#include "platform/com/Variant.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/com/SafeArray.h"
#include "platform/com/TableDispatch.h"
#include "tests/platform/com/CodeOf.h"

namespace quor::com {
namespace {

using test::CodeOf;

TEST(VariantTest, EachKindOfValueCarriesItsWireTypeNumber) {
  struct Case {
    Variant value;
    VarType type;
    const char* debug;
  };
  const Case cases[] = {
      {Variant(), 0x0000, "VT_EMPTY"},
      {Variant::Null(), 0x0001, "VT_NULL"},
      {Variant::I2(-2), 0x0002, "VT_I2 -2"},
      {Variant(7), 0x0003, "VT_I4 7"},
      {Variant::R4(1.5f), 0x0004, "VT_R4 1.5"},
      {Variant(0.25), 0x0005, "VT_R8 0.25"},
      {Variant::Currency(15000), 0x0006, "VT_CY 1.5"},
      {Variant::Date(45292.5), 0x0007, "VT_DATE 45292.5"},
      {Variant("abc"), 0x0008, "VT_BSTR \"abc\""},
      {Variant::Dispatch(nullptr), 0x0009, "VT_DISPATCH null"},
      {Variant::Error(DISP_E_PARAMNOTFOUND), 0x000A, "VT_ERROR 0x80020004"},
      {Variant(true), 0x000B, "VT_BOOL True"},
      {Variant::Unknown(nullptr), 0x000D, "VT_UNKNOWN null"},
      {Variant::I1(-1), 0x0010, "VT_I1 -1"},
      {Variant::UI1(255), 0x0011, "VT_UI1 255"},
      {Variant::UI2(65535), 0x0012, "VT_UI2 65535"},
      {Variant::UI4(4000000000u), 0x0013, "VT_UI4 4000000000"},
      {Variant::I8(-5), 0x0014, "VT_I8 -5"},
      {Variant::UI8(5), 0x0015, "VT_UI8 5"},
      {Variant::Int(-9), 0x0016, "VT_INT -9"},
      {Variant::UInt(9), 0x0017, "VT_UINT 9"},
      {Variant::Bytes({1, 2, 3}), 0x2011, "VT_ARRAY|VT_UI1 [0..2] {1, 2, 3}"},
      {Variant::Array(SafeArray(VT_VARIANT, {{1, 2}})), 0x200C,
       "VT_ARRAY|VT_VARIANT [1..2] {VT_EMPTY, VT_EMPTY}"},
      {Variant::ByRef(std::make_shared<Variant>(5), VT_I4), 0x4003, "VT_BYREF|VT_I4 -> VT_I4 5"},
      {Variant::ByRef(std::make_shared<Variant>("s")), 0x400C,
       "VT_BYREF|VT_VARIANT -> VT_BSTR \"s\""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.value.Type(), c.type) << c.debug;
    EXPECT_EQ(c.value.DebugString(), c.debug);
  }
}

TEST(VariantTest, ExactAccessorsRefuseOtherTypes) {
  EXPECT_EQ(Variant::I2(5).GetI2(), 5);
  EXPECT_EQ(Variant(true).GetVariantBool(), -1);
  EXPECT_EQ(Variant(false).GetVariantBool(), 0);
  EXPECT_EQ(CodeOf([] { Variant::I2(5).GetI4(); }), DISP_E_TYPEMISMATCH) << "no silent widening";
  EXPECT_EQ(CodeOf([] { Variant("5").GetI4(); }), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(CodeOf([] { Variant(5).GetArray(); }), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(CodeOf([] { Variant(5).Target(); }), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(CodeOf([] { Variant::ByRef(std::make_shared<Variant>(5), VT_I4).GetI4(); }),
            DISP_E_TYPEMISMATCH)
      << "a reference is not its value";
  EXPECT_TRUE(Variant::Missing().IsMissing());
  EXPECT_FALSE(Variant::Error(E_FAIL).IsMissing());
}

TEST(VariantTest, ReferencesWriteThroughToTheSharedSlot) {
  auto slot = std::make_shared<Variant>(Variant::I4(5));
  const Variant ref = Variant::ByRef(slot, VT_I4);
  const Variant copy = ref;
  EXPECT_TRUE(ref.IsByRef());
  EXPECT_EQ(ref.TargetType(), VT_I4);

  copy.SetTarget("7");
  EXPECT_EQ(*slot, Variant::I4(7)) << "a typed reference converts what it stores";
  EXPECT_EQ(ref.Target(), Variant::I4(7)) << "copies refer to the same slot";
  EXPECT_EQ(ref.Deref(), Variant::I4(7));

  EXPECT_EQ(CodeOf([&] { ref.SetTarget("seven"); }), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(*slot, Variant::I4(7)) << "a failed write leaves the slot alone";

  auto any = std::make_shared<Variant>();
  const Variant anyRef = Variant::ByRef(any);
  anyRef.SetTarget(Variant::Bytes({9}));
  EXPECT_EQ(*any, Variant::Bytes({9})) << "a variant reference takes any value";

  const Variant plain = Variant(3);
  EXPECT_EQ(&plain.Deref(), &plain);
}

TEST(VariantTest, ImpossibleReferencesAreRefused) {
  struct Case {
    const char* name;
    std::shared_ptr<Variant> slot;
    VarType type;
    HResult code;
  };
  const auto i4 = std::make_shared<Variant>(5);
  const Case cases[] = {
      {"no slot", nullptr, VT_VARIANT, E_POINTER},
      {"to empty", std::make_shared<Variant>(), VT_EMPTY, DISP_E_BADVARTYPE},
      {"to null", std::make_shared<Variant>(Variant::Null()), VT_NULL, DISP_E_BADVARTYPE},
      {"to a reference", std::make_shared<Variant>(5), VT_BYREF | VT_I4, DISP_E_BADVARTYPE},
      {"to an unknown type", std::make_shared<Variant>(), 15, DISP_E_BADVARTYPE},
      {"over a reference", std::make_shared<Variant>(Variant::ByRef(i4, VT_I4)), VT_VARIANT,
       DISP_E_BADVARTYPE},
      {"typed over another type", std::make_shared<Variant>("x"), VT_I4, DISP_E_TYPEMISMATCH},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CodeOf([&] { Variant::ByRef(c.slot, c.type); }), c.code) << c.name;
  }
  EXPECT_EQ(Variant::ByRef(std::make_shared<Variant>(Variant::Bytes({})), VT_ARRAY | VT_UI1).Type(),
            VT_BYREF | VT_ARRAY | VT_UI1)
      << "arrays may be passed by reference";
}

TEST(VariantTest, EqualityComparesTypeAndValue) {
  const auto table = std::make_shared<const DispatchTable>(std::vector<MemberInfo>{});
  const auto object = std::make_shared<TableDispatch>(table);
  const auto other = std::make_shared<TableDispatch>(table);
  struct Case {
    const char* name;
    Variant a;
    Variant b;
    bool equal;
  };
  const Case cases[] = {
      {"same integer", 5, 5, true},
      {"same number, other type", Variant::I2(5), Variant::I4(5), false},
      {"other integer", 5, 6, false},
      {"strings", "a", "a", true},
      {"strings differ in case", "a", "A", false},
      {"empty and null", Variant(), Variant::Null(), false},
      {"same object", Variant::Dispatch(object), Variant::Dispatch(object), true},
      {"other object", Variant::Dispatch(object), Variant::Dispatch(other), false},
      {"byte arrays", Variant::Bytes({1, 2}), Variant::Bytes({1, 2}), true},
      {"byte arrays differ", Variant::Bytes({1, 2}), Variant::Bytes({1, 3}), false},
      {"arrays with other bounds", Variant::Array(SafeArray::Vector(VT_I4, 2, 0)),
       Variant::Array(SafeArray::Vector(VT_I4, 2, 1)), false},
      {"references to equal values", Variant::ByRef(std::make_shared<Variant>(1)),
       Variant::ByRef(std::make_shared<Variant>(1)), true},
      {"reference and its value", Variant::ByRef(std::make_shared<Variant>(1)), 1, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.a == c.b, c.equal) << c.name;
    EXPECT_EQ(c.b == c.a, c.equal) << c.name << " (reversed)";
  }
}

TEST(VariantTest, HResultsPrintAndClassifyAsOnWindows) {
  EXPECT_EQ(FormatHResult(DISP_E_TYPEMISMATCH), "0x80020005");
  EXPECT_EQ(FormatHResult(S_FALSE), "0x00000001");
  EXPECT_TRUE(Failed(E_UNEXPECTED));
  EXPECT_TRUE(Succeeded(S_FALSE));
  const HResultError error(REGDB_E_CLASSNOTREG);
  EXPECT_EQ(error.Code(), REGDB_E_CLASSNOTREG);
  EXPECT_STREQ(error.what(), "0x80040154");
}

}  // namespace
}  // namespace quor::com
