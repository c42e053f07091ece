// What a client receives when a call cannot be made or fails: argument count
// and type errors from the dispatch layer, unknown members, and every error
// inside a method as a failing HRESULT whose description is the error's text.
#include <gtest/gtest.h>

#include <stdexcept>

#include "ModuleFixture.h"
#include "platform/com/SafeArray.h"
#include "remote/methods/MethodCatalogue.h"

namespace quor::testing {
namespace {

using com::Variant;
using namespace remote;

std::vector<Variant> AreaArgs(const Variant& lMode, const OutSlot& newSelfId, const OutSlot& nRet) {
  return {Variant("1"), Variant("1"), lMode,          Variant(""),   Variant("x"), Variant(""),
          Variant(""),  Variant(""),  Variant::I4(0), newSelfId.ref, nRet.ref};
}

TEST_F(ModuleTest, WrongArgumentCountsAnswerBadParamCountNamingTheMember) {
  struct Case {
    const char* member;
    std::size_t count;
    const char* described;
  };
  const std::vector<Case> cases = {
      {"InsertAreaInfo", 3, "InsertAreaInfo takes 11 arguments, not 3"},
      {"InsertAreaInfo", 12, "InsertAreaInfo takes 11 arguments, not 12"},
      {"AS_GetProviderNames", 1, "AS_GetProviderNames takes 0 arguments, not 1"},
      {"AS_GetRecords", 0, "AS_GetRecords takes 7 arguments, not 0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.member) + " with " + std::to_string(c.count));
    const CallResult result = Call(c.member, std::vector<Variant>(c.count, Variant::I4(0)));
    EXPECT_EQ(result.hr, com::DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(result.excepInfo.description, c.described);
  }
  EXPECT_TRUE(accountSet_.Calls("AAAAARN").empty());
}

TEST_F(ModuleTest, ArgumentsOfTheWrongTypeAnswerTypeMismatchPointingAtTheArgument) {
  struct Case {
    const char* member;
    std::vector<Variant> args;
    com::HResult hr;
    std::uint32_t argErr;  // dispatch position: the last argument is 0
    const char* argument;
  };
  OutSlot message = Out(Variant(""), com::VT_BSTR);
  OutSlot nRet = Out(Variant::I4(0), com::VT_I4);
  OutSlot recsOut = Out(Variant::I4(0), com::VT_I4);
  OutSlot params = Out();
  OutSlot owner = Out();
  const std::vector<Case> cases = {
      {"InsertAccountBillLink",
       {Variant("1"), Variant("1"), Variant("abc"), message.ref, nRet.ref},
       com::DISP_E_TYPEMISMATCH,
       2,
       "vchcode"},
      {"AS_GetRecords",
       {Variant("QueryProvider"), Variant("many"), recsOut.ref, Variant::I4(0), Variant(""),
        params.ref, owner.ref},
       com::DISP_E_TYPEMISMATCH,
       5,
       "Count"},
      {"AS_GetRecords",
       {Variant("QueryProvider"), Variant::R8(1e10), recsOut.ref, Variant::I4(0), Variant(""),
        params.ref, owner.ref},
       com::DISP_E_OVERFLOW,
       5,
       "Count"},
      {"AS_GetParams",
       {Variant::Array(com::SafeArray::Vector(com::VT_VARIANT, 1)), owner.ref},
       com::DISP_E_TYPEMISMATCH,
       1,
       "ProviderName"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.member) + " " + c.argument);
    const CallResult result = Call(c.member, c.args);
    EXPECT_EQ(result.hr, c.hr);
    EXPECT_EQ(result.argErr, c.argErr);
    EXPECT_NE(result.excepInfo.description.find(std::string("argument ") + c.argument),
              std::string::npos)
        << result.excepInfo.description;
  }
  EXPECT_TRUE(accountSet_.Calls("AAAAARJ").empty());
}

TEST_F(ModuleTest, UnknownMembersAreNotFound) {
  com::DispId dispId = 0;
  EXPECT_EQ(module_->GetIDsOfNames("InsertAreaInfoX", dispId), com::DISP_E_UNKNOWNNAME);
  EXPECT_EQ(module_->GetIDsOfNames("insertareainfo", dispId), com::S_OK);
  EXPECT_EQ(dispId, 1017);
  for (const com::DispId unknown : {0, 4242, 20000007, -1}) {
    SCOPED_TRACE(unknown);
    EXPECT_EQ(CallId(unknown, {}).hr, com::DISP_E_MEMBERNOTFOUND);
  }
}

TEST_F(ModuleTest, MissingProcedureFailsWithUnexpectedAndTheDatabasesText) {
  // master has none of the account set's procedures.
  module_ = Connected(std::make_shared<TDataModuleServer>(), "master");
  OutSlot newSelfId = Out(Variant("before"));
  OutSlot nRet = Out(Variant::I4(77), com::VT_I4);
  const CallResult result = Call("InsertAreaInfo", AreaArgs(Variant::I4(0), newSelfId, nRet));
  EXPECT_EQ(result.hr, com::DISP_E_EXCEPTION);
  EXPECT_EQ(result.excepInfo.scode, com::E_UNEXPECTED);
  EXPECT_EQ(result.excepInfo.source, kDataModuleServerProgId);
  EXPECT_NE(result.excepInfo.description.find("Could not find stored procedure 'AAAAARN"),
            std::string::npos)
      << result.excepInfo.description;
  // A failed call writes no outputs.
  EXPECT_EQ(*newSelfId.value, Variant("before"));
  EXPECT_EQ(*nRet.value, Variant::I4(77));
}

TEST_F(ModuleTest, ModeThatIsNoNumberFailsTheCallAsUnexpected) {
  OutSlot newSelfId = Out();
  OutSlot nRet = Out(Variant::I4(0), com::VT_I4);
  const CallResult result = Call("InsertAreaInfo", AreaArgs(Variant("update"), newSelfId, nRet));
  EXPECT_EQ(result.hr, com::DISP_E_EXCEPTION);
  EXPECT_EQ(result.excepInfo.scode, com::E_UNEXPECTED);
  EXPECT_NE(result.excepInfo.description.find("lMode"), std::string::npos);
  EXPECT_TRUE(accountSet_.Calls("AAAAARN").empty());
}

Variant ThrowsOleError(TDataModuleServer&, const MethodDescription&, com::DispatchArgs&) {
  throw com::HResultError(static_cast<com::HResult>(0x80040E14u), "语法错误");
}
Variant ThrowsSuccessCode(TDataModuleServer&, const MethodDescription&, com::DispatchArgs&) {
  throw com::HResultError(com::S_FALSE, "not a failure code");
}
Variant ThrowsPlainError(TDataModuleServer&, const MethodDescription&, com::DispatchArgs&) {
  throw std::logic_error("磁盘已满");
}

const std::vector<MethodDescription>& FailingMethods() {
  static const std::vector<MethodDescription> kMethods = {
      {.name = "TestServerError",
       .dispId = 90101,
       .component = Component::kQueryProc,
       .procedure = "P_Fails;1",
       .arguments = {In("A"), Ret("nRet")}},
      {.name = "TestOleError", .dispId = 90102, .handler = &ThrowsOleError},
      {.name = "TestSuccessCode", .dispId = 90103, .handler = &ThrowsSuccessCode},
      {.name = "TestPlainError", .dispId = 90104, .handler = &ThrowsPlainError},
  };
  return kMethods;
}

TEST_F(ModuleTest, ErrorsInsideMethodsBecomeTheirCodeOrUnexpectedWithTheirText) {
  accountSet_.Declare({"P_Fails", {test::Param("@A", test::SqlType::Int)}}, [](const test::
                                                                                   ProcedureCall&) {
    test::Reply reply;
    reply.error = test::ServerError{547, 0, 16, "INSERT 语句与 FOREIGN KEY 约束\"FK_Bill\"冲突。"};
    return reply;
  });
  std::vector<const MethodDescription*> methods;
  for (const MethodDescription& method : FailingMethods()) methods.push_back(&method);
  module_ = Connected(std::make_shared<TDataModuleServer>(BuildModuleTable(methods)));

  struct Case {
    const char* member;
    std::vector<Variant> args;
    com::HResult scode;
    const char* description;
  };
  OutSlot nRet = Out(Variant::I4(0), com::VT_I4);
  const std::vector<Case> cases = {
      {"TestServerError",
       {Variant::I4(1), nRet.ref},
       com::E_UNEXPECTED,
       "INSERT 语句与 FOREIGN KEY 约束\"FK_Bill\"冲突。"},
      {"TestOleError", {}, static_cast<com::HResult>(0x80040E14u), "语法错误"},
      {"TestSuccessCode", {}, com::E_UNEXPECTED, "not a failure code"},
      {"TestPlainError", {}, com::E_UNEXPECTED, "磁盘已满"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.member);
    const CallResult result = Call(c.member, c.args);
    EXPECT_EQ(result.hr, com::DISP_E_EXCEPTION);
    EXPECT_EQ(result.excepInfo.scode, c.scode);
    EXPECT_EQ(result.excepInfo.description, c.description);
  }
}

}  // namespace
}  // namespace quor::testing
