// Methods described as data, invoked by DISPID with dispatch-order arguments:
// each reaches its procedure in the test account set with the right values in
// the right parameters, and its out arguments carry the outputs and the
// return value. Rows a client then fetches come back through the providers.
#include <gtest/gtest.h>

#include "ModuleFixture.h"
#include "ServerPublic/ServerGlobals.h"
#include "platform/datasnap/Provider.h"
#include "remote/methods/CallPattern.h"
#include "remote/methods/MethodCatalogue.h"
#include "tests/platform/datasnap/DataPacketReader.h"
#include "tests/platform/datasnap/StandInPackets.h"

namespace quor::testing {
namespace {

using com::Variant;
using datasnap::test::ExpectPacketHolds;
using datasnap::test::ReadDataPacket;
using namespace remote;

class CallPatternTest : public ModuleTest {
 protected:
  // InsertAreaInfo's arguments with the given mode, record and out slots.
  std::vector<Variant> AreaArgs(Variant lMode, const char* typeId, const char* name,
                                const OutSlot& newSelfId, const OutSlot& nRet) {
    return {Variant("00001"), Variant("00002"), std::move(lMode), Variant(typeId),
            Variant(name),    Variant("HN"),    Variant::Null(),  Variant("hnq"),
            Variant::I4(3),   newSelfId.ref,    nRet.ref};
  }
};

TEST_F(CallPatternTest, RecordWriterSendsEachArgumentToItsParameterAndReadsTheResultsBack) {
  // The out variant holds a stale value: it is still sent empty.
  OutSlot newSelfId = Out(Variant("stale"));
  OutSlot nRet = Out(Variant::I4(55), com::VT_I4);
  CallResult result =
      Call("InsertAreaInfo", AreaArgs(Variant::I4(0), "", "华南区", newSelfId, nRet));
  ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;

  const test::ProcedureCall call = accountSet_.LastCall("AAAAARN");
  EXPECT_EQ(call["@OperatorID"], test::Value("00001"));
  EXPECT_EQ(call["@CompanyID"], test::Value("00002"));
  EXPECT_EQ(call["@Mode"], test::Value("I"));
  EXPECT_EQ(call["@SelfID"], test::Value(""));
  EXPECT_EQ(call["@LongName"], test::Value("华南区"));
  EXPECT_EQ(call["@CodeName"], test::Value("HN"));
  EXPECT_TRUE(call["@Memo"].IsNull());
  EXPECT_TRUE(call.WasSent("@Memo"));
  EXPECT_EQ(call["@Bopomofo"], test::Value("hnq"));
  EXPECT_EQ(call["@CurrRow"], test::Value(3));
  EXPECT_TRUE(call.WasSent("@NewSelfID"));
  EXPECT_TRUE(call["@NewSelfID"].IsNull());
  EXPECT_EQ(*newSelfId.value, Variant("0000100001"));
  EXPECT_EQ(*nRet.value, Variant::I4(0));
  EXPECT_TRUE(result.value.IsEmpty());

  // Updating the record returns its own identifier.
  result = Call("InsertAreaInfo", AreaArgs(Variant::I4(1), "0000100001", "华南", newSelfId, nRet));
  ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
  EXPECT_EQ(accountSet_.LastCall("AAAAARN")["@Mode"], test::Value("U"));
  EXPECT_EQ(*newSelfId.value, Variant("0000100001"));
  EXPECT_EQ(*nRet.value, Variant::I4(0));

  // The procedure's own failure is a return value, not an error; the output it
  // did not set comes back as it was sent, empty.
  result = Call("InsertAreaInfo", AreaArgs(Variant::I4(1), "0000199999", "无", newSelfId, nRet));
  ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
  EXPECT_EQ(*nRet.value, Variant::I4(-2));
  EXPECT_TRUE(newSelfId.value->IsNull());
}

TEST_F(CallPatternTest, ModeArgumentIsSentAsILetterForZeroAndUForAnythingElse) {
  struct Case {
    const char* label;
    Variant lMode;
    const char* letter;
  };
  const std::vector<Case> cases = {
      {"0", Variant::I4(0), "I"},
      {"1", Variant::I4(1), "U"},
      {"2", Variant::I4(2), "U"},
      {"-1", Variant::I4(-1), "U"},
      {"empty converts to 0", Variant(), "I"},
      {"the text 0", Variant("0"), "I"},
      {"0.4 rounds to 0", Variant::R8(0.4), "I"},
      {"true is -1", Variant::Bool(true), "U"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    OutSlot newSelfId = Out();
    OutSlot nRet = Out(Variant::I4(0), com::VT_I4);
    const CallResult result = Call("InsertAreaInfo", AreaArgs(c.lMode, "", "x", newSelfId, nRet));
    ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
    EXPECT_EQ(accountSet_.LastCall("AAAAARN")["@Mode"], test::Value(c.letter));
  }
}

TEST_F(CallPatternTest,
       LookupSendsItsConstantLeavesOutTheUnsentArgumentAndRowsComeFromItsProvider) {
  OutSlot lReturn = Out(Variant::I4(9), com::VT_I4);
  std::vector<Variant> args = {Variant("00001"), Variant("00002"), Variant("0000100007"),
                               Variant("AAAAAFT"), Variant::I4(1)};
  for (int i = 0; i < 9; ++i) args.push_back(Variant(""));
  args.push_back(lReturn.ref);
  const CallResult result = Call("QueryClassBasicInfo", args);
  ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
  EXPECT_EQ(*lReturn.value, Variant::I4(0));
  const test::ProcedureCall call = accountSet_.LastCall("AAAAAVI");
  // ParId is not sent: the constant fills @ParentID whatever the client passed.
  EXPECT_EQ(call["@ParentID"], test::Value("ptype"));
  EXPECT_EQ(call["@dbName"], test::Value("AAAAAFT"));
  EXPECT_EQ(call["@OrderMode"], test::Value(1));

  // The client fetches the rows: the procedure runs again with the same values.
  const datasnap::test::DataPacket packet = Fetch("BasicProvider");
  ExpectPacketHolds(packet, test::SampleGoods());
  const std::vector<test::ProcedureCall> calls = accountSet_.Calls("AAAAAVI");
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1].values, calls[0].values);
}

TEST_F(CallPatternTest, IntegerConstantsAreSentAndTheOutputsTheProcedureLeftAreRead) {
  struct Case {
    const char* clientId;
    Variant isClient;
    Variant fk;
    Variant nRet;
  };
  const std::vector<Case> cases = {
      {"0000100001", Variant::I4(1), Variant::I4(2), Variant::I4(0)},
      // Unknown: the procedure leaves both outputs at the 0 they were sent with.
      {"0000100099", Variant::I4(0), Variant::I4(0), Variant::I4(-2)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.clientId);
    OutSlot isClient = Out();
    OutSlot fk = Out();
    OutSlot nRet = Out(Variant::I4(0), com::VT_I4);
    const CallResult result =
        Call("QueryOneClientFind", {Variant("00001"), Variant("00002"), Variant(c.clientId),
                                    Variant::I4(20), isClient.ref, fk.ref, nRet.ref});
    ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
    const test::ProcedureCall call = accountSet_.LastCall("AAAAAXH");
    EXPECT_EQ(call["@ClientID"], test::Value(c.clientId));
    EXPECT_EQ(call["@lines"], test::Value(20));
    EXPECT_EQ(call["@isclient"], test::Value(0));
    EXPECT_EQ(call["@fk"], test::Value(0));
    EXPECT_EQ(*isClient.value, c.isClient);
    EXPECT_EQ(*fk.value, c.fk);
    EXPECT_EQ(*nRet.value, c.nRet);
  }
}

TEST_F(CallPatternTest, EmptyTextConstantGoesOutAndTheOutputComesBackInTheOutVariant) {
  OutSlot path = Out();
  OutSlot nRet = Out(Variant::I4(0), com::VT_I4);
  const CallResult result =
      Call("GetBasicInfoPath", {Variant("00001"), Variant("00002"), Variant("a"),
                                Variant("0000100002"), path.ref, nRet.ref});
  ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
  const test::ProcedureCall call = accountSet_.LastCall("AAAAAQD");
  EXPECT_EQ(call["@szBasicPath"], test::Value(""));
  EXPECT_EQ(call["@sReplaceID"], test::Value("0000100002"));
  EXPECT_EQ(*path.value, Variant("00001/0000100002"));
  EXPECT_EQ(*nRet.value, Variant::I4(0));
}

TEST_F(CallPatternTest, TypedArgumentIsConvertedAndAWideStringOutputIsReturned) {
  struct Case {
    Variant vchcode;
    const char* message;
    std::int32_t nRet;
  };
  const std::vector<Case> cases = {{Variant("1001"), "", 0},
                                   {Variant::R8(5.0), "单据不存在：5", -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.vchcode.DebugString());
    OutSlot message = Out(Variant(""), com::VT_BSTR);
    OutSlot nRet = Out(Variant::I4(0), com::VT_I4);
    const CallResult result = Call("InsertAccountBillLink", {Variant("00001"), Variant("00002"),
                                                             c.vchcode, message.ref, nRet.ref});
    ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
    const test::Value billId = accountSet_.LastCall("AAAAARJ")["@BillID"];
    EXPECT_EQ(billId, test::Value(static_cast<int>(c.vchcode.ToI4())));
    EXPECT_EQ(*message.value, Variant(c.message));
    EXPECT_EQ(*nRet.value, Variant::I4(c.nRet));
  }
}

TEST_F(CallPatternTest, SeveralOutputsAreReadIntoTheirOutArguments) {
  OutSlot wares = Out(), clients = Out(), accounts = Out(), stocks = Out();
  OutSlot nRet = Out(Variant::I4(0), com::VT_I4);
  const CallResult result =
      Call("UpdateRedBillTransfer", {Variant("00001"), Variant("00002"), Variant::I4(1001),
                                     wares.ref, clients.ref, accounts.ref, stocks.ref, nRet.ref});
  ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
  const test::ProcedureCall call = accountSet_.LastCall("AAAABCA");
  for (const char* name : {"@szWareIDo", "@szClientIDo", "@szAccountIDo", "@szStockIDo"}) {
    EXPECT_EQ(call[name], test::Value("")) << name;
  }
  EXPECT_EQ(*wares.value, Variant("0000100001,0000100002"));
  EXPECT_EQ(*clients.value, Variant("0000100001"));
  EXPECT_EQ(*accounts.value, Variant(""));
  EXPECT_EQ(*stocks.value, Variant("00001"));
  EXPECT_EQ(*nRet.value, Variant::I4(0));
}

TEST_F(CallPatternTest, BillReadingLeavesItsRowsForTheVchProvider) {
  OutSlot nRet = Out(Variant::I4(0), com::VT_I4);
  const CallResult result =
      Call("QueryBillMaster", {Variant("00001"), Variant("00002"), Variant::I4(1001), nRet.ref});
  ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
  EXPECT_EQ(*nRet.value, Variant::I4(0));
  ExpectPacketHolds(Fetch("VchProvider"), test::SampleBillMaster());
  EXPECT_EQ(accountSet_.Calls("AAAAAVB").size(), 2u);
}

// ---------------------------------------------------------------------------
// Result sources and argument forms the examples above do not use, on a
// procedure of the test: P_Results(@A int, @B varchar(20), @Total float OUT,
// @Count int OUT) returns A * 10, sets @Total = A + 0.5 and @Count = @Count + 1.

Variant OnOtherProcedure(TDataModuleServer& module, const MethodDescription& method,
                         com::DispatchArgs& args) {
  return RunCallPattern(module, method, args, "P_Results;1");
}

const std::vector<MethodDescription>& TestMethods() {
  static const std::vector<MethodDescription> kMethods = {
      {.name = "TestFixedName",
       .dispId = 90001,
       .component = Component::kQueryProc,
       .procedure = "P_Results;1",
       .arguments = {In("A"), In("B"), Out("iRet", ArgType::kInteger).FromFixedReturnValue()}},
      {.name = "TestByPosition",
       .dispId = 90002,
       .component = Component::kInsertProc,
       .procedure = "P_Results",
       .arguments = {In("A").Typed(ArgType::kInteger), In("B").Typed(ArgType::kWideString),
                     Out("Total", ArgType::kDouble).From("@Total"),
                     RetVal("Value", ArgType::kInteger).FromFirstParameter()}},
      {.name = "TestPreparedOnly",
       .dispId = 90003,
       .component = Component::kQueryProc,
       .procedure = "P_Results;1",
       .arguments = {In("A"), In("B"), Out("nRet", ArgType::kInteger).AlwaysZero()},
       .run = Run::kPrepareOnly},
      {.name = "TestOutNumberSent",
       .dispId = 90004,
       .component = Component::kSubProc,
       .procedure = "P_Results;1",
       .arguments = {In("A"), In("B"), Out("Count", ArgType::kInteger).Through("@Count"),
                     Out("Total", ArgType::kDouble).From("@Total"), Ret("nRet")}},
      {.name = "TestDeclaredInOut",
       .dispId = 90005,
       .component = Component::kSubProc,
       .procedure = "P_Results;1",
       .arguments = {In("A"), In("B"), InOut("Count").From("@Count"), Ret("nRet")}},
      {.name = "TestAsInteger",
       .dispId = 90006,
       .component = Component::kMemoProc,
       .procedure = "P_Results;1",
       .arguments = {In("A").AsInteger(), In("Text").To("@B"), Ret("nRet")}},
      {.name = "TestChosenProcedure",
       .dispId = 90007,
       .component = Component::kDeleteProc,
       .procedure = "P_NotThisOne;1",
       .arguments = {In("A"), In("B"), Ret("nRet")},
       .handler = &OnOtherProcedure},
  };
  return kMethods;
}

class DescribedResultsTest : public CallPatternTest {
 protected:
  void SetUp() override {
    test::ParamDecl a = test::Param("@A", test::SqlType::Int);
    test::ParamDecl b = test::Param("@B", test::SqlType::VarChar, 20);
    accountSet_.Declare({"P_Results",
                         {a, b, test::Output(test::Param("@Total", test::SqlType::Float)),
                          test::Output(test::Param("@Count", test::SqlType::Int))}},
                        [](const test::ProcedureCall& call) {
                          test::Reply reply;
                          const std::int64_t value = call["@A"].IsNull() ? 0 : call["@A"].AsInt();
                          reply.returnStatus = static_cast<std::int32_t>(value * 10);
                          reply.outputs["@Total"] = static_cast<double>(value) + 0.5;
                          const std::int64_t count =
                              call["@Count"].IsNull() ? -100 : call["@Count"].AsInt();
                          reply.outputs["@Count"] = count + 1;
                          test::ResultSet rows;
                          rows.columns = {test::Col("A", test::SqlType::Int)};
                          rows.rows = {{value}};
                          reply.resultSets.push_back(rows);
                          return reply;
                        });
    std::vector<const MethodDescription*> methods = CatalogueMethods();
    for (const MethodDescription& method : TestMethods()) methods.push_back(&method);
    module_ = Connected(std::make_shared<TDataModuleServer>(BuildModuleTable(methods)));
  }
};

TEST_F(DescribedResultsTest, FixedNameReadsTheReturnValueWhateverReturnValueNameSays) {
  const std::string saved = ReturnValueName();
  SetReturnValueName("RETURN_VALUE");
  OutSlot iRet = Out(Variant::I4(0), com::VT_I4);
  const CallResult fixed = Call("TestFixedName", {Variant::I4(4), Variant("b"), iRet.ref});
  // A method reading by ReturnValueName finds no such parameter now.
  OutSlot newSelfId = Out();
  OutSlot nRet = Out(Variant::I4(0), com::VT_I4);
  const CallResult byName =
      Call("InsertAreaInfo", AreaArgs(Variant::I4(0), "", "x", newSelfId, nRet));
  SetReturnValueName(saved);
  ASSERT_EQ(fixed.hr, com::S_OK) << fixed.excepInfo.description;
  EXPECT_EQ(*iRet.value, Variant::I4(40));
  EXPECT_EQ(byName.hr, com::DISP_E_EXCEPTION);
  EXPECT_NE(byName.excepInfo.description.find("RETURN_VALUE"), std::string::npos);
}

TEST_F(DescribedResultsTest, ReturnValueByPositionIsTheInvokeResult) {
  OutSlot total = Out(Variant::R8(0), com::VT_R8);
  const CallResult result = Call("TestByPosition", {Variant("7"), Variant::I4(12), total.ref});
  ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
  EXPECT_EQ(result.value, Variant::I4(70));
  const test::ProcedureCall call = accountSet_.LastCall("P_Results");
  EXPECT_EQ(call["@A"], test::Value(7));
  EXPECT_EQ(call["@B"], test::Value("12"));
  EXPECT_EQ(*total.value, Variant::R8(7.5));
  // The [out,retval] is not an argument slot.
  const com::MemberInfo* member = module_->Table().Find(90002, com::MemberKind::Method);
  ASSERT_NE(member, nullptr);
  EXPECT_EQ(member->params.size(), 3u);
}

TEST_F(DescribedResultsTest, PreparedOnlyAssignsWithoutRunningAndTheProviderRunsIt) {
  OutSlot nRet = Out(Variant::I4(5), com::VT_I4);
  const CallResult result = Call("TestPreparedOnly", {Variant::I4(3), Variant("b"), nRet.ref});
  ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
  EXPECT_EQ(*nRet.value, Variant::I4(0));
  EXPECT_TRUE(accountSet_.Calls("P_Results").empty());
  const datasnap::test::DataPacket packet = Fetch("QueryProvider");
  ASSERT_EQ(packet.records.size(), 1u);
  EXPECT_EQ(packet.records[0].cells[0], datasnap::test::Cell(std::int64_t{3}));
  EXPECT_EQ(accountSet_.LastCall("P_Results")["@A"], test::Value(3));
}

TEST_F(DescribedResultsTest, OutNumberIsSentWithWhatItsLocationHolds) {
  OutSlot count = Out(Variant::I4(41), com::VT_I4);
  OutSlot total = Out(Variant::R8(0), com::VT_R8);
  OutSlot nRet = Out(Variant::I4(0), com::VT_I4);
  const CallResult result =
      Call("TestOutNumberSent", {Variant::I4(2), Variant("b"), count.ref, total.ref, nRet.ref});
  ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
  EXPECT_EQ(accountSet_.LastCall("P_Results")["@Count"], test::Value(41));
  EXPECT_EQ(*count.value, Variant::I4(42));
  EXPECT_EQ(*total.value, Variant::R8(2.5));
  EXPECT_EQ(*nRet.value, Variant::I4(20));
}

TEST_F(DescribedResultsTest, DeclaredInOutArgumentCarriesTheCallersValueBothWays) {
  OutSlot count = Out(Variant("9"));
  OutSlot nRet = Out(Variant::I4(0), com::VT_I4);
  const CallResult result =
      Call("TestDeclaredInOut", {Variant::I4(1), Variant("b"), count.ref, nRet.ref});
  ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
  EXPECT_EQ(accountSet_.LastCall("P_Results")["@Count"], test::Value(9));
  EXPECT_EQ(*count.value, Variant::I4(10));
}

TEST_F(DescribedResultsTest, AsIntegerConvertsBeforeSendingAndArrowsRenameTheParameter) {
  OutSlot nRet = Out(Variant::I4(0), com::VT_I4);
  const CallResult result = Call("TestAsInteger", {Variant("7.6"), Variant("文本"), nRet.ref});
  ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
  const test::ProcedureCall call = accountSet_.LastCall("P_Results");
  EXPECT_EQ(call["@A"], test::Value(8));
  EXPECT_EQ(call["@B"], test::Value("文本"));
  EXPECT_EQ(*nRet.value, Variant::I4(80));
}

TEST_F(DescribedResultsTest, HandWrittenMethodCanRunThePatternOnAProcedureItChooses) {
  OutSlot nRet = Out(Variant::I4(0), com::VT_I4);
  const CallResult result = Call("TestChosenProcedure", {Variant::I4(6), Variant("b"), nRet.ref});
  ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
  EXPECT_EQ(*nRet.value, Variant::I4(60));
  EXPECT_EQ(module_->DeleteProc().ProcedureName(), "P_Results;1");
}

}  // namespace
}  // namespace quor::testing
