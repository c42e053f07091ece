// Members with an open argument list: any number of positional arguments at
// or beyond the declared ones, a by-reference last argument taken as the
// result slot, named arguments and too few arguments refused before the
// handler runs.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/com/DispatchTable.h"
#include "platform/com/TableDispatch.h"

namespace quor::com {
namespace {

// "Sum" adds its typed first argument and every further number, writing the
// sum to the result slot when there is one and returning a description of
// what it received.
class Adder : public TableDispatch {
 public:
  Adder() : TableDispatch(SharedTable()) {}

  int calls = 0;

  static std::shared_ptr<const DispatchTable> SharedTable() {
    MemberInfo sum{"Sum", 1, MemberKind::Method, {{"First", VT_I4}}, Bind(&Adder::Sum)};
    sum.openList = true;
    sum.openListResult = true;
    MemberInfo list{"List", 2, MemberKind::Method, {}, Bind(&Adder::List)};
    list.openList = true;
    static const auto table = std::make_shared<const DispatchTable>(
        std::vector<MemberInfo>{std::move(sum), std::move(list)}, "Test.Adder");
    return table;
  }

 private:
  Variant Sum(DispatchArgs& args) {
    ++calls;
    std::int32_t total = args[0].GetI4();
    std::string seen = std::to_string(total);
    for (const Variant& further : args.Further()) {
      seen += "," + (further.IsEmpty() ? std::string("empty") : further.ToString());
      if (!further.IsEmpty()) total += further.ToI4();
    }
    if (args.HasResultSlot()) args.ResultSlot() = Variant::I4(total);
    return Variant::String(seen + (args.HasResultSlot() ? " ->" : ""));
  }
  Variant List(DispatchArgs& args) {
    ++calls;
    return Variant::I4(static_cast<std::int32_t>(args.Further().size()));
  }
};

// declared: the arguments in the caller's order; DispParams holds them last first.
DispParams Declared(std::vector<Variant> declared) {
  return DispParams(std::vector<Variant>(declared.rbegin(), declared.rend()));
}

TEST(OpenArgumentList, FurtherArgumentsReachTheHandlerInOrderAndAByRefLastOneIsTheResult) {
  struct Case {
    const char* label;
    std::vector<Variant> in;  // before the result slot, if any
    bool withResult;
    const char* seen;
    std::int32_t result;
  };
  const std::vector<Case> cases = {
      {"declared only, with result", {Variant::I4(5)}, true, "5 ->", 5},
      {"declared only, no result", {Variant::I4(5)}, false, "5", -1},
      {"two further, with result",
       {Variant("4"), Variant::I4(2), Variant::R8(3)},
       true,
       "4,2,3 ->",
       9},
      {"an empty one keeps its place",
       {Variant::I4(1), Variant(), Variant::I4(7)},
       true,
       "1,empty,7 ->",
       8},
      {"a by-value last argument is an input",
       {Variant::I4(1), Variant::I4(2), Variant::I4(3)},
       false,
       "1,2,3",
       -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    Adder adder;
    auto slot = std::make_shared<Variant>(Variant::I4(-1));
    std::vector<Variant> args = c.in;
    if (c.withResult) args.push_back(Variant::ByRef(slot, VT_I4));
    Variant result;
    ExcepInfo info;
    std::uint32_t argErr = 0;
    ASSERT_EQ(adder.Invoke(1, DISPATCH_METHOD, Declared(args), &result, &info, &argErr), S_OK)
        << info.description;
    EXPECT_EQ(result, Variant::String(c.seen));
    EXPECT_EQ(*slot, Variant::I4(c.result));
  }
}

TEST(OpenArgumentList, RefusedCallsNeverReachTheHandler) {
  struct Case {
    const char* label;
    DispId dispId;
    DispParams params;
    HResult hr;
  };
  auto slot = std::make_shared<Variant>(Variant::I4(0));
  const std::vector<Case> cases = {
      {"no argument at all", 1, Declared({}), DISP_E_BADPARAMCOUNT},
      {"only the result slot", 1, Declared({Variant::ByRef(slot, VT_I4)}), DISP_E_BADPARAMCOUNT},
      {"a named argument", 1, DispParams({Variant::I4(1)}, {0}), DISP_E_NONAMEDARGS},
      {"a named argument on a list without declared ones", 2, DispParams({Variant::I4(1)}, {0}),
       DISP_E_NONAMEDARGS},
      {"a declared argument that does not convert", 1, Declared({Variant("many"), Variant::I4(1)}),
       DISP_E_TYPEMISMATCH},
      {"a declared argument left out", 1, Declared({Variant::Missing()}), DISP_E_PARAMNOTOPTIONAL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    Adder adder;
    Variant result;
    ExcepInfo info;
    std::uint32_t argErr = 0;
    EXPECT_EQ(adder.Invoke(c.dispId, DISPATCH_METHOD, c.params, &result, &info, &argErr), c.hr);
    EXPECT_EQ(adder.calls, 0);
    EXPECT_EQ(*slot, Variant::I4(0));
  }
}

TEST(OpenArgumentList, AListWithoutDeclaredArgumentsTakesAnyCount) {
  Adder adder;
  for (std::size_t count : {0u, 1u, 30u}) {
    Variant result;
    ASSERT_EQ(
        adder.Invoke(2, DISPATCH_METHOD, Declared(std::vector<Variant>(count, Variant::I4(1))),
                     &result, nullptr, nullptr),
        S_OK);
    EXPECT_EQ(result, Variant::I4(static_cast<std::int32_t>(count)));
  }
}

TEST(OpenArgumentList, UnsoundOpenListsAreRefused) {
  const auto noop = [](IDispatchObject&, DispatchArgs&) { return Variant(); };
  MemberInfo withOut{"A", 1, MemberKind::Method, {{"X", VT_I4, ParamMode::Out}}, noop};
  withOut.openList = true;
  MemberInfo optional{"B", 2, MemberKind::Method, {{"X", VT_I4, ParamMode::In, true}}, noop};
  optional.openList = true;
  MemberInfo slotOnly{"C", 3, MemberKind::Method, {}, noop};
  slotOnly.openListResult = true;
  for (const MemberInfo& member : {withOut, optional, slotOnly}) {
    SCOPED_TRACE(member.name);
    EXPECT_THROW(DispatchTable({member}), std::invalid_argument);
  }
}

}  // namespace
}  // namespace quor::com
