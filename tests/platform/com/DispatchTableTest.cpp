#include "platform/com/DispatchTable.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/com/TableDispatch.h"

namespace quor::com {
namespace {

constexpr HResult kDivisionByZero = static_cast<HResult>(0x80041234u);

// A small object with the shapes the remote methods have: several typed inputs,
// an [out] result, in-out variants, an optional argument, a property with get
// and put, and failures raised from inside.
class Calculator : public TableDispatch {
 public:
  Calculator() : TableDispatch(SharedTable()) {}

  static std::shared_ptr<const DispatchTable> SharedTable() {
    static const auto table = std::make_shared<const DispatchTable>(
        std::vector<MemberInfo>{
            {"Join",
             1,
             MemberKind::Method,
             {{"Text", VT_BSTR}, {"Count", VT_I4}, {"Amount", VT_R8}},
             Bind(&Calculator::Join)},
            {"Divide",
             2,
             MemberKind::Method,
             {{"X", VT_I4}, {"Y", VT_I4}, {"Quotient", VT_I4, ParamMode::Out}},
             Bind(&Calculator::Divide)},
            {"Counter", 3, MemberKind::PropertyGet, {}, Bind(&Calculator::GetCounter)},
            {"Counter",
             3,
             MemberKind::PropertyPut,
             {{"Value", VT_I4}},
             Bind(&Calculator::SetCounter)},
            {"Greet",
             4,
             MemberKind::Method,
             {{"Name", VT_BSTR}, {"Greeting", VT_BSTR, ParamMode::In, true, "Hello"}},
             Bind(&Calculator::Greet)},
            {"Swap",
             5,
             MemberKind::Method,
             {{"A", VT_VARIANT, ParamMode::InOut}, {"B", VT_VARIANT, ParamMode::InOut}},
             Bind(&Calculator::Swap)},
            {"Crash", 6, MemberKind::Method, {{"Kind", VT_I4}}, Bind(&Calculator::Crash)},
            {"Describe",
             7,
             MemberKind::Method,
             {{"First", VT_VARIANT}, {"Rest", VT_VARIANT, ParamMode::In, true}},
             Bind(&Calculator::Describe)},
        },
        "Test.Calculator");
    return table;
  }

 private:
  Variant Join(DispatchArgs& args) {
    return args[0].GetString() + "|" + std::to_string(args[1].GetI4()) + "|" + args[2].ToString();
  }
  Variant Divide(DispatchArgs& args) {
    if (args[1].GetI4() == 0) throw HResultError(kDivisionByZero, "Division by zero");
    args[2] = Variant::I4(args[0].GetI4() / args[1].GetI4());
    return Variant();
  }
  Variant GetCounter(DispatchArgs&) { return Variant::I4(counter_); }
  Variant SetCounter(DispatchArgs& args) {
    counter_ = args[0].GetI4();
    return Variant();
  }
  Variant Greet(DispatchArgs& args) {
    return args[1].GetString() + ", " + args[0].GetString() + (args.Supplied(1) ? "" : ".");
  }
  Variant Swap(DispatchArgs& args) {
    std::swap(args[0], args[1]);
    return Variant();
  }
  Variant Crash(DispatchArgs& args) {
    switch (args[0].GetI4()) {
      case 0:
        throw std::runtime_error("plain failure");
      case 1:
        throw HResultError(S_FALSE, "a success code is no failure code");
      default:
        throw HResultError(E_FAIL, "Unspecified error");
    }
  }
  Variant Describe(DispatchArgs& args) {
    return args[0].DebugString() + " / " + args[1].DebugString();
  }

  std::int32_t counter_ = 0;
};

struct Call {
  HResult hr;
  Variant result;
  ExcepInfo excepInfo;
  std::uint32_t argErr = 0xFFFFFFFF;
};

Call Invoke(IDispatchObject& object, DispId dispId, DispatchFlags flags, DispParams params) {
  Call call;
  call.result = Variant::String("untouched");
  call.hr = object.Invoke(dispId, flags, params, &call.result, &call.excepInfo, &call.argErr);
  return call;
}

TEST(DispatchTableTest, NamesAreFoundInAnyLetterCase) {
  Calculator calculator;
  struct Case {
    const char* name;
    HResult hr;
    DispId dispId;
  };
  const Case cases[] = {
      {"Join", S_OK, 1},           {"JOIN", S_OK, 1},
      {"join", S_OK, 1},           {"cOuNtEr", S_OK, 3},
      {"Swap", S_OK, 5},           {"Nope", DISP_E_UNKNOWNNAME, 0},
      {"", DISP_E_UNKNOWNNAME, 0}, {"Join ", DISP_E_UNKNOWNNAME, 0},
  };
  for (const Case& c : cases) {
    DispId dispId = 0;
    EXPECT_EQ(FormatHResult(calculator.GetIDsOfNames(c.name, dispId)), FormatHResult(c.hr))
        << c.name;
    if (c.hr == S_OK) {
      EXPECT_EQ(dispId, c.dispId) << c.name;
    }
  }
}

TEST(DispatchTableTest, InvokeChecksMembersArgumentsAndTypes) {
  constexpr std::uint32_t kNoArg = 0xFFFFFFFF;
  struct Case {
    const char* name;
    DispId dispId;
    DispatchFlags flags;
    DispParams params;  // dispatch order: the last declared argument first
    HResult hr;
    Variant result;
    std::uint32_t argErr = kNoArg;
  };
  const Variant missing = Variant::Missing();
  const Case cases[] = {
      {"arguments arrive in declared order", 1, DISPATCH_METHOD, {{2.5, 7, "a"}}, S_OK, "a|7|2.5"},
      {"method and get bits together",
       1,
       DISPATCH_METHOD | DISPATCH_PROPERTYGET,
       {{2.5, 7, "a"}},
       S_OK,
       "a|7|2.5"},
      {"arguments are converted to the declared types",
       1,
       DISPATCH_METHOD,
       {{"2.5", " 7", 12}},
       S_OK,
       "12|7|2.5"},
      {"too few arguments", 1, DISPATCH_METHOD, {{7, "a"}}, DISP_E_BADPARAMCOUNT, Variant()},
      {"too many arguments",
       1,
       DISPATCH_METHOD,
       {{1, 2.5, 7, "a"}},
       DISP_E_BADPARAMCOUNT,
       Variant()},
      {"wrong type names the argument",
       1,
       DISPATCH_METHOD,
       {{2.5, "seven", "a"}},
       DISP_E_TYPEMISMATCH,
       Variant(),
       1},
      {"wrong type of the last argument",
       1,
       DISPATCH_METHOD,
       {{"abc", 7, "a"}},
       DISP_E_TYPEMISMATCH,
       Variant(),
       0},
      {"null for a typed argument",
       1,
       DISPATCH_METHOD,
       {{2.5, 7, Variant::Null()}},
       DISP_E_TYPEMISMATCH,
       Variant(),
       2},
      {"overflow names the argument",
       1,
       DISPATCH_METHOD,
       {{2.5, 1e10, "a"}},
       DISP_E_OVERFLOW,
       Variant(),
       1},
      {"unknown DISPID", 99, DISPATCH_METHOD, {}, DISP_E_MEMBERNOTFOUND, Variant()},
      {"method called as a property put",
       1,
       DISPATCH_PROPERTYPUT,
       {{2.5, 7, "a"}},
       DISP_E_MEMBERNOTFOUND,
       Variant()},
      {"property get called as a method", 3, DISPATCH_METHOD, {}, DISP_E_MEMBERNOTFOUND, Variant()},
      {"no dispatch kind at all", 1, 0, {{2.5, 7, "a"}}, DISP_E_MEMBERNOTFOUND, Variant()},
      {"named arguments by parameter number",
       1,
       DISPATCH_METHOD,
       {{2.5, 7, "a"}, {2, 1}},
       S_OK,
       "a|7|2.5"},
      {"named arguments in any order",
       1,
       DISPATCH_METHOD,
       {{7, 2.5, "a"}, {1, 2}},
       S_OK,
       "a|7|2.5"},
      {"named argument that is also positional",
       1,
       DISPATCH_METHOD,
       {{"b", 7, "a"}, {0}},
       DISP_E_PARAMNOTFOUND,
       Variant(),
       0},
      {"named argument that does not exist",
       1,
       DISPATCH_METHOD,
       {{1, 7, "a"}, {9}},
       DISP_E_PARAMNOTFOUND,
       Variant(),
       0},
      {"named argument leaving a required one out",
       1,
       DISPATCH_METHOD,
       {{2.5, "a"}, {2}},
       DISP_E_PARAMNOTOPTIONAL,
       Variant()},
      {"put's value named outside a put",
       1,
       DISPATCH_METHOD,
       {{2.5, 7, "a"}, {DISPID_PROPERTYPUT}},
       DISP_E_PARAMNOTFOUND,
       Variant(),
       0},
      {"optional argument left out", 4, DISPATCH_METHOD, {{"Ann"}}, S_OK, "Hello, Ann."},
      {"optional argument passed as missing",
       4,
       DISPATCH_METHOD,
       {{missing, "Ann"}},
       S_OK,
       "Hello, Ann."},
      {"optional argument given", 4, DISPATCH_METHOD, {{"Hi", "Ann"}}, S_OK, "Hi, Ann"},
      {"required argument passed as missing",
       4,
       DISPATCH_METHOD,
       {{"Hi", missing}},
       DISP_E_PARAMNOTOPTIONAL,
       Variant(),
       1},
      {"untyped optional argument left out is missing",
       7,
       DISPATCH_METHOD,
       {{Variant::Null()}},
       S_OK,
       "VT_NULL / VT_ERROR 0x80020004"},
      {"untyped arguments come unchanged",
       7,
       DISPATCH_METHOD,
       {{Variant::I2(3), "x"}},
       S_OK,
       "VT_BSTR \"x\" / VT_I2 3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Calculator calculator;
    const Call call = Invoke(calculator, c.dispId, c.flags, c.params);
    EXPECT_EQ(FormatHResult(call.hr), FormatHResult(c.hr));
    EXPECT_EQ(call.argErr, c.argErr);
    EXPECT_EQ(call.result, c.hr == S_OK ? c.result : Variant()) << "a failed call has no result";
  }
}

TEST(DispatchTableTest, ErrorsRaisedInsideBecomeExceptionInformation) {
  struct Case {
    const char* name;
    DispId dispId;
    DispParams params;
    HResult scode;
    const char* description;
  };
  const Case cases[] = {
      {"an HResultError keeps its code",
       2,
       {{Variant(), 0, 7}},
       kDivisionByZero,
       "Division by zero"},
      {"E_FAIL keeps its code", 6, {{2}}, E_FAIL, "Unspecified error"},
      {"a success code becomes E_UNEXPECTED",
       6,
       {{1}},
       E_UNEXPECTED,
       "a success code is no failure code"},
      {"any other exception is E_UNEXPECTED", 6, {{0}}, E_UNEXPECTED, "plain failure"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Calculator calculator;
    const Call call = Invoke(calculator, c.dispId, DISPATCH_METHOD, c.params);
    EXPECT_EQ(FormatHResult(call.hr), FormatHResult(DISP_E_EXCEPTION));
    EXPECT_EQ(FormatHResult(call.excepInfo.scode), FormatHResult(c.scode));
    EXPECT_EQ(call.excepInfo.description, c.description);
    EXPECT_EQ(call.excepInfo.source, "Test.Calculator");
    EXPECT_EQ(call.result, Variant());
  }
  Calculator calculator;
  EXPECT_EQ(calculator.Invoke(6, DISPATCH_METHOD, DispParams{{2}}, nullptr, nullptr, nullptr),
            DISP_E_EXCEPTION)
      << "a caller that wants no exception information still learns of the failure";
}

TEST(DispatchTableTest, OutputsAreWrittenThroughReferences) {
  Calculator calculator;
  auto typed = std::make_shared<Variant>(Variant::I4(-1));
  ASSERT_EQ(Invoke(calculator, 2, DISPATCH_METHOD, {{Variant::ByRef(typed, VT_I4), 4, 17}}).hr,
            S_OK);
  EXPECT_EQ(*typed, Variant::I4(4)) << "VT_BYREF|VT_I4 receives 17 / 4";

  auto untyped = std::make_shared<Variant>();
  ASSERT_EQ(Invoke(calculator, 2, DISPATCH_METHOD, {{Variant::ByRef(untyped), 2, 9}}).hr, S_OK);
  EXPECT_EQ(*untyped, Variant::I4(4)) << "a by-reference variant takes the declared type";

  auto text = std::make_shared<Variant>(Variant::String(""));
  ASSERT_EQ(Invoke(calculator, 2, DISPATCH_METHOD, {{Variant::ByRef(text, VT_BSTR), 3, 10}}).hr,
            S_OK);
  EXPECT_EQ(*text, Variant::String("3")) << "a typed reference keeps its own type";

  auto untouched = std::make_shared<Variant>(Variant::I4(42));
  const Call failed =
      Invoke(calculator, 2, DISPATCH_METHOD, {{Variant::ByRef(untouched, VT_I4), 0, 1}});
  EXPECT_EQ(failed.hr, DISP_E_EXCEPTION);
  EXPECT_EQ(*untouched, Variant::I4(42)) << "a failed call writes nothing back";

  EXPECT_EQ(Invoke(calculator, 2, DISPATCH_METHOD, {{Variant(), 2, 9}}).hr, S_OK)
      << "an output passed by value is accepted and dropped";

  auto a = std::make_shared<Variant>("left");
  auto b = std::make_shared<Variant>(Variant::R8(2.5));
  ASSERT_EQ(Invoke(calculator, 5, DISPATCH_METHOD, {{Variant::ByRef(b), Variant::ByRef(a)}}).hr,
            S_OK);
  EXPECT_EQ(*a, Variant::R8(2.5));
  EXPECT_EQ(*b, Variant::String("left"));

  auto narrow = std::make_shared<Variant>(Variant::I2(1));
  auto wide = std::make_shared<Variant>(Variant::String("x"));
  const Call overflow = Invoke(calculator, 5, DISPATCH_METHOD,
                               {{Variant::ByRef(wide, VT_BSTR), Variant::ByRef(narrow, VT_I2)}});
  EXPECT_EQ(overflow.hr, DISP_E_EXCEPTION) << "\"x\" cannot go into the I2 slot";
  EXPECT_EQ(overflow.excepInfo.scode, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(*narrow, Variant::I2(1)) << "no output is written when one of them fails";
  EXPECT_EQ(*wide, Variant::String("x"));
}

TEST(DispatchTableTest, PropertiesAreReadAndWrittenByTheirOwnKind) {
  Calculator calculator;
  EXPECT_EQ(Invoke(calculator, 3, DISPATCH_PROPERTYPUT, {{"12"}, {DISPID_PROPERTYPUT}}).hr, S_OK);
  const Call read = Invoke(calculator, 3, DISPATCH_PROPERTYGET, {});
  EXPECT_EQ(read.hr, S_OK);
  EXPECT_EQ(read.result, Variant::I4(12));

  Calculator other;
  EXPECT_EQ(Invoke(other, 3, DISPATCH_PROPERTYGET, {}).result, Variant::I4(0))
      << "instances share the table, not the state";
  EXPECT_EQ(Invoke(calculator, 3, DISPATCH_PROPERTYPUT, {}).hr, DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Invoke(calculator, 3, DISPATCH_PROPERTYPUT, {{"x"}, {DISPID_PROPERTYPUT}}).hr,
            DISP_E_TYPEMISMATCH);
}

TEST(DispatchTableTest, UnsoundTablesAreRefused) {
  const MemberHandler handler = [](IDispatchObject&, DispatchArgs&) { return Variant(); };
  struct Case {
    const char* name;
    std::vector<MemberInfo> members;
  };
  const Case cases[] = {
      {"one DISPID for two names",
       {{"A", 1, MemberKind::Method, {}, handler}, {"B", 1, MemberKind::Method, {}, handler}}},
      {"one name with two DISPIDs",
       {{"A", 1, MemberKind::Method, {}, handler}, {"a", 2, MemberKind::PropertyGet, {}, handler}}},
      {"the same member twice",
       {{"A", 1, MemberKind::Method, {}, handler}, {"A", 1, MemberKind::Method, {}, handler}}},
      {"no handler", {{"A", 1, MemberKind::Method, {}, nullptr}}},
      {"no name", {{"", 1, MemberKind::Method, {}, handler}}},
      {"a put without a value", {{"A", 1, MemberKind::PropertyPut, {}, handler}}},
      {"a required parameter after an optional one",
       {{"A", 1, MemberKind::Method, {{"X", VT_I4, ParamMode::In, true}, {"Y", VT_I4}}, handler}}},
      {"a parameter type that is no conversion target",
       {{"A", 1, MemberKind::Method, {{"X", VT_BYREF | VT_I4}}, handler}}},
      {"a default that does not convert",
       {{"A", 1, MemberKind::Method, {{"X", VT_I4, ParamMode::In, true, "x"}}, handler}}},
  };
  for (const Case& c : cases) {
    EXPECT_THROW(DispatchTable table(c.members), std::invalid_argument) << c.name;
  }
  EXPECT_THROW(TableDispatch object(nullptr), std::invalid_argument);
}

TEST(DispatchTableTest, HandlersBoundToAnotherClassFailTheCallInsteadOfMisbehaving) {
  // The calculator's table used by an object of another class.
  TableDispatch stranger(Calculator::SharedTable());
  const Call call = Invoke(stranger, 3, DISPATCH_PROPERTYGET, {});
  EXPECT_EQ(call.hr, DISP_E_EXCEPTION);
  EXPECT_EQ(call.excepInfo.scode, E_UNEXPECTED);
}

}  // namespace
}  // namespace quor::com
