// The basic-information members as clients call them: every notation of the
// method tables (same-name arguments, arrows, arguments not sent, mode letters,
// typed arguments, constants, in-out outputs) reaches the test account set's
// procedures as it should, lookups leave rows for their providers, and bad
// calls fail before anything is half-written.
#include <gtest/gtest.h>

#include "BasicInfoTestSupport.h"
#include "platform/com/SafeArray.h"
#include "platform/datasnap/Provider.h"
#include "tests/platform/datasnap/DataPacketReader.h"
#include "tests/platform/datasnap/StandInPackets.h"

namespace quor::testing {
namespace {

using com::Variant;

// Numbers compare by value whatever kind the stand-in keeps them as.
bool SameValue(const test::Value& a, const test::Value& b) {
  using Kind = test::Value::Kind;
  const auto numeric = [](const test::Value& v) {
    return v.GetKind() == Kind::Integer || v.GetKind() == Kind::Float ||
           v.GetKind() == Kind::Decimal;
  };
  if (numeric(a) && numeric(b)) return a.AsDouble() == b.AsDouble();
  return a == b;
}

class BasicInformationTest : public ModuleTest {
 protected:
  CallResult CallWith(const char* member, const std::map<std::string, Variant>& values,
                      std::vector<Variant> outInitial, std::vector<Variant>* outs = nullptr) {
    ClientCall call = ClientArgs(module_->Table(), member, values, std::move(outInitial));
    CallResult result = Call(member, call.args);
    if (outs != nullptr) {
      outs->clear();
      for (const OutSlot& slot : call.outs) outs->push_back(*slot.value);
    }
    return result;
  }

  void ExpectReceived(const char* procedure,
                      const std::vector<std::pair<const char*, test::Value>>& expected) {
    const test::ProcedureCall call = accountSet_.LastCall(procedure);
    for (const auto& [parameter, value] : expected) {
      EXPECT_TRUE(call.WasSent(parameter)) << parameter;
      EXPECT_TRUE(SameValue(call[parameter], value))
          << parameter << ": " << call[parameter].ToString() << ", expected " << value.ToString();
    }
  }

  static std::map<std::string, Variant> Operator(std::map<std::string, Variant> values) {
    values.emplace("OperatorID", Variant("00001"));
    values.emplace("CompanyID", Variant("00002"));
    return values;
  }
};

TEST_F(BasicInformationTest, EveryNotationReachesTheProcedureAndTheOutputsComeBack) {
  struct Case {
    const char* notation;
    const char* member;
    std::map<std::string, Variant> in;  // other in-arguments are sent as NULL
    std::vector<Variant> outsBefore;
    const char* procedure;
    std::vector<std::pair<const char*, test::Value>> received;
    std::vector<Variant> outsAfter;
  };
  const std::vector<Case> cases = {
      {"same-name arguments, mode letter for 0, in-out @NewSelfID sent empty",
       "InsertWareInfo",
       {{"Vocation", Variant("BZ")},
        {"lMode", Variant::I4(0)},
        {"ParId", Variant("00000")},
        {"dbName", Variant("AAAAAFT")},
        {"Fullname", Variant("苹果汁")},
        {"Standard", Variant("500ml")},
        {"CurrRow", Variant::I4(3)}},
       {Variant("stale"), Variant::I4(55)},
       "AAAAATP",
       {{"@OperatorID", "00001"},
        {"@Mode", "I"},
        {"@ParentID", "00000"},
        {"@dbName", "AAAAAFT"},
        {"@Standard", "500ml"},
        {"@CurrRow", 3},
        {"@NewSelfID", nullptr}},
       {Variant("00001"), Variant::I4(0)}},
      {"arrows",
       "InsertStockInfo",
       {{"lMode", Variant::I4(0)},
        {"ParId", Variant("00000")},
        {"dbName", Variant("AAAAAEO")},
        {"Fullname", Variant("总仓")},
        {"szName", Variant("总")},
        {"UserCode", Variant("K01")},
        {"Comment", Variant("主仓库")}},
       {},
       "AAAAATH",
       {{"@LongName", "总仓"}, {"@ShortName", "总"}, {"@CodeName", "K01"}, {"@Memo", "主仓库"}},
       {Variant("00001"), Variant::I4(0)}},
      {"mode letter for another value",
       "InsertStockInfo",
       {{"lMode", Variant::I4(7)},
        {"ParId", Variant("00001")},
        {"dbName", Variant("AAAAAEO")},
        {"Fullname", Variant("总仓库")}},
       {},
       "AAAAATH",
       {{"@Mode", "U"}, {"@ParentID", "00001"}},
       {Variant("00001"), Variant::I4(0)}},
      {"@MODE of InsertUnitInfo",
       "InsertUnitInfo",
       {{"Mode", Variant::I4(0)},
        {"SelfID", Variant("00000")},
        {"LongName", Variant("箱")},
        {"CurrRow", Variant::I4(1)}},
       {},
       "AAAAATN",
       {{"@MODE", "I"}, {"@SelfID", "00000"}, {"@LongName", "箱"}},
       {Variant("00001"), Variant::I4(0)}},
      {"in-out @OutGroupID sent empty",
       "InsertColorGroupInfo",
       {{"lMode", Variant::I4(0)},
        {"typeid", Variant("00000")},
        {"Fullname", Variant("基本色")},
        {"UserCode", Variant("C1")}},
       {Variant("stale")},
       "AAAAASB",
       {{"@Mode", "I"}, {"@SelfID", "00000"}, {"@LongName", "基本色"}, {"@OutGroupID", nullptr}},
       {Variant("00001"), Variant::I4(0)}},
      {"an argument not sent, a text constant, an output read back",
       "QueryOneWareFind",
       {{"GridMode", Variant::I4(1)}, {"PtypeId", Variant("00001")}},
       {},
       "AAAAAXL",
       {{"@WareID", "00001"}, {"@StockCount", ""}},
       {Variant("0"), Variant::I4(0)}},
      {"a typed (integer) argument",
       "GetCheckBasicRight",
       {{"TableName", Variant("AAAAAFT")}, {"SelfID", Variant("00001")}, {"CanMode", Variant("2")}},
       {},
       "AAAAAQI",
       {{"@TableName", "AAAAAFT"}, {"@SelfID", "00001"}, {"@CanMode", 2}},
       {Variant::I4(1)}},
      {"a second goods record",
       "InsertWareInfo",
       {{"lMode", Variant::I4(0)},
        {"ParId", Variant("00000")},
        {"dbName", Variant("AAAAAFT")},
        {"Fullname", Variant("Green tea")}},
       {},
       "AAAAATP",
       {{"@LongName", "Green tea"}},
       {Variant("00002"), Variant::I4(0)}},
      {"UniteBasicInfo",
       "UniteBasicInfo",
       {{"SourceID", Variant("00002")},
        {"DestID", Variant("00001")},
        {"dbName", Variant("AAAAAFT")}},
       {},
       "AAAABAS",
       {{"@SourceID", "00002"}, {"@DestID", "00001"}, {"@dbName", "AAAAAFT"}},
       {Variant::I4(0)}},
      {"DeleteBasicInfo",
       "DeleteBasicInfo",
       {{"typeid", Variant("00001")}, {"dbName", Variant("AAAAAEO")}},
       {},
       "AAAAAPE",
       {{"@SelfID", "00001"}, {"@dbName", "AAAAAEO"}},
       {Variant::I4(0)}},
      {"DeleteBasicInfo of a record that is gone",
       "DeleteBasicInfo",
       {{"typeid", Variant("00001")}, {"dbName", Variant("AAAAAEO")}},
       {Variant::I4(99)},
       "AAAAAPE",
       {{"@SelfID", "00001"}},
       {Variant::I4(-2)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.notation);
    std::vector<Variant> outs;
    const CallResult result = CallWith(c.member, Operator(c.in), c.outsBefore, &outs);
    ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
    ExpectReceived(c.procedure, c.received);
    EXPECT_EQ(accountSet_.LastCall(c.procedure)["@CompanyID"], test::Value("00002"));
    EXPECT_EQ(outs, c.outsAfter);
    EXPECT_TRUE(result.value.IsEmpty());
  }
}

TEST_F(BasicInformationTest, LookupRowsComeThroughTheProviderAndFollowMergingAndDeleting) {
  const auto addWare = [&](const char* parent, const char* name, const char* code) {
    std::vector<Variant> outs;
    const CallResult result = CallWith("InsertWareInfo",
                                       Operator({{"lMode", Variant::I4(0)},
                                                 {"ParId", Variant(parent)},
                                                 {"dbName", Variant("AAAAAFT")},
                                                 {"Fullname", Variant(name)},
                                                 {"UserCode", Variant(code)}}),
                                       {}, &outs);
    EXPECT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
    return outs.empty() ? Variant() : outs[0];
  };
  ASSERT_EQ(addWare("00000", "苹果汁 500ml", "A-001"), Variant("00001"));
  ASSERT_EQ(addWare("00000", "Green tea", "A-002"), Variant("00002"));
  ASSERT_EQ(addWare("00001", "小瓶", "A-003"), Variant("0000100001"));

  std::vector<Variant> outs;
  CallResult result = CallWith(
      "QueryBasicInfoTree",
      Operator({{"ParentID", Variant("00000")}, {"dbName", Variant("AAAAAFT")}}), {}, &outs);
  ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
  EXPECT_EQ(outs, std::vector<Variant>{Variant::I4(0)});

  test::ResultSet expected;
  expected.columns = {test::Col("SelfID", test::SqlType::VarChar, 25),
                      test::Col("LongName", test::SqlType::NVarChar, 66),
                      test::Col("CodeName", test::SqlType::VarChar, 26)};
  expected.rows = {{"00001", "苹果汁 500ml", "A-001"}, {"00002", "Green tea", "A-002"}};
  datasnap::test::ExpectPacketHolds(Fetch("QueryProvider"), expected);
  // The provider ran the lookup again with the values the member left.
  const std::vector<test::ProcedureCall> lookups = accountSet_.Calls("AAAAAUY");
  ASSERT_EQ(lookups.size(), 2u);
  EXPECT_EQ(lookups[1].values, lookups[0].values);

  // Merging and deleting run on other components; QueryProc keeps the lookup.
  result = CallWith("UniteBasicInfo",
                    Operator({{"SourceID", Variant("00002")},
                              {"DestID", Variant("00001")},
                              {"dbName", Variant("AAAAAFT")}}),
                    {}, &outs);
  ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
  expected.rows = {{"00001", "苹果汁 500ml", "A-001"}};
  datasnap::test::ExpectPacketHolds(Fetch("QueryProvider"), expected);

  result =
      CallWith("DeleteBasicInfo",
               Operator({{"typeid", Variant("00001")}, {"dbName", Variant("AAAAAFT")}}), {}, &outs);
  ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
  EXPECT_EQ(outs, std::vector<Variant>{Variant::I4(0)});
  expected.rows.clear();
  datasnap::test::ExpectPacketHolds(Fetch("QueryProvider"), expected);
  // The child went with its parent.
  result = CallWith("QueryBasicInfoTree",
                    Operator({{"ParentID", Variant("00001")}, {"dbName", Variant("AAAAAFT")}}), {},
                    &outs);
  ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
  datasnap::test::ExpectPacketHolds(Fetch("QueryProvider"), expected);
}

TEST_F(BasicInformationTest, WidestCustomerWriterTakesTheArgumentsAClientSendsInDispatchOrder) {
  OutSlot newSelfId = Out(Variant("stale"));
  OutSlot nRet = Out(Variant::I4(-7), com::VT_I4);
  const std::vector<Variant> args = {Variant("00001"),
                                     Variant("00002"),
                                     Variant("BZ"),
                                     Variant::I4(0),
                                     Variant("00000"),
                                     Variant("AAAAABY"),
                                     Variant("华东贸易公司"),
                                     Variant("华东"),
                                     Variant("C-001"),
                                     Variant("021-1"),
                                     Variant("139"),
                                     Variant("上海路1号"),
                                     Variant("200000"),
                                     Variant("王经理"),
                                     Variant("T-9"),
                                     Variant("6222"),
                                     Variant("10001"),
                                     Variant("a@b.c"),
                                     Variant("http://x"),
                                     Variant::R8(100.5),
                                     Variant::R8(-2.25),
                                     Variant::R8(3),
                                     Variant::R8(4),
                                     Variant("老客户"),
                                     Variant("hdmy"),
                                     Variant::I4(1),
                                     Variant("00011"),
                                     Variant("00003"),
                                     Variant("00004"),
                                     Variant("021-2"),
                                     Variant::R8(5000),
                                     Variant::I4(7),
                                     Variant::I4(30),
                                     Variant::I4(5),
                                     Variant::R8(0.5),
                                     Variant::I4(1),
                                     Variant::I4(2),
                                     Variant::I4(3),
                                     Variant("00005"),
                                     Variant("00006"),
                                     Variant::I4(1),
                                     Variant("ID-1"),
                                     Variant("00007"),
                                     Variant::I4(-1),
                                     Variant("全国"),
                                     newSelfId.ref,
                                     nRet.ref};
  ASSERT_EQ(args.size(), 47u);
  const CallResult result = Call("InsertClientInfo", args);
  ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
  ExpectReceived("AAAAASA", {{"@OperatorID", "00001"},
                             {"@CompanyID", "00002"},
                             {"@Mode", "I"},
                             {"@ParentID", "00000"},
                             {"@dbName", "AAAAABY"},
                             {"@LongName", "华东贸易公司"},
                             {"@ShortName", "华东"},
                             {"@CodeName", "C-001"},
                             {"@Telephone", "021-1"},
                             {"@MovePhone", "139"},
                             {"@Address", "上海路1号"},
                             {"@Postalcode", "200000"},
                             {"@Linkman", "王经理"},
                             {"@TaxNumber", "T-9"},
                             {"@Account", "6222"},
                             {"@QQNumber", "10001"},
                             {"@EMail", "a@b.c"},
                             {"@HTTP", "http://x"},
                             {"@InitReceiveSumTo", 100.5},
                             {"@InitpayableSumTo", -2.25},
                             {"@InitPreReceiveSumTo", 3},
                             {"@InitPrepayableSumTo", 4},
                             {"@Memo", "老客户"},
                             {"@Bopomofo", "hdmy"},
                             {"@IsClient", 1},
                             {"@StockID", "00011"},
                             {"@AreaID", "00003"},
                             {"@ServiceID", "00004"},
                             {"@FaxesNum", "021-2"},
                             {"@CREdit", 5000},
                             {"@CurrRow", 7},
                             {"@ReceiveTimeLimit", 30},
                             {"@ChangeDay", 5},
                             {"@ChangeRate", 0.5},
                             {"@ApplyPriceMode", 1},
                             {"@LevyDeductMode", 2},
                             {"@SelBalanceMode", 3},
                             {"@PositionID", "00005"},
                             {"@EmployeeID", "00006"},
                             {"@FirstCheck", 1},
                             {"@IdentityNumber", "ID-1"},
                             {"@FromCorpID", "00007"},
                             {"@ManageTypes", -1},
                             {"@SaleScope", "全国"},
                             {"@NewSelfID", nullptr}});
  EXPECT_EQ(*newSelfId.value, Variant("00001"));
  EXPECT_EQ(*nRet.value, Variant::I4(0));
}

TEST_F(BasicInformationTest, BadCallsFailNamingTheMemberAndNothingHalfWrittenIsSent) {
  SynchroSettings settings(kServerSynchronises, "True");
  QueueRecorder queue(server_);
  const auto wareArgs = [&](const char* argument, Variant value) {
    return ClientArgs(module_->Table(), "InsertWareInfo",
                      {{"lMode", Variant::I4(0)},
                       {"ParId", Variant("00000")},
                       {"dbName", Variant("AAAAAFT")},
                       {argument, std::move(value)}})
        .args;
  };
  OutSlot nRet = Out(Variant::I4(0), com::VT_I4);
  struct Case {
    const char* label;
    const char* member;
    std::vector<Variant> args;
    com::HResult hr;
    com::HResult scode;  // for DISP_E_EXCEPTION
    std::vector<const char*> described;
    const char* procedure;
  };
  const std::vector<Case> cases = {
      {"one argument too few",
       "InsertWareInfo",
       std::vector<Variant>(44, Variant::Null()),
       com::DISP_E_BADPARAMCOUNT,
       com::S_OK,
       {"InsertWareInfo takes 45 arguments, not 44"},
       "AAAAATP"},
      {"one argument too many",
       "InsertWareInfo",
       std::vector<Variant>(46, Variant::Null()),
       com::DISP_E_BADPARAMCOUNT,
       com::S_OK,
       {"InsertWareInfo takes 45 arguments, not 46"},
       "AAAAATP"},
      {"text for an integer argument",
       "GetCheckBasicRight",
       {Variant("1"), Variant("1"), Variant("AAAAAFT"), Variant("00001"), Variant("many"),
        nRet.ref},
       com::DISP_E_TYPEMISMATCH,
       com::S_OK,
       {"GetCheckBasicRight: argument CanMode"},
       "AAAAAQI"},
      {"an array no parameter can take",
       "InsertWareInfo",
       wareArgs("UnitRate1", Variant::Array(com::SafeArray::Vector(com::VT_VARIANT, 2))),
       com::DISP_E_EXCEPTION,
       com::E_UNEXPECTED,
       {"InsertWareInfo", "UnitRate1"},
       "AAAAATP"},
      {"text the procedure's integer parameter refuses",
       "InsertWareInfo",
       wareArgs("CurrRow", Variant("abc")),
       com::DISP_E_EXCEPTION,
       com::E_UNEXPECTED,
       {"Error converting data type"},
       "AAAAATP"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const CallResult result = Call(c.member, c.args);
    EXPECT_EQ(result.hr, c.hr);
    if (c.hr == com::DISP_E_EXCEPTION) {
      EXPECT_EQ(result.excepInfo.scode, c.scode);
    }
    for (const char* text : c.described) {
      EXPECT_NE(result.excepInfo.description.find(text), std::string::npos)
          << result.excepInfo.description;
    }
    EXPECT_TRUE(accountSet_.Calls(c.procedure).empty());
    EXPECT_EQ(QueueRequests(server_), 0u);
  }
  // Nothing was stored: the next goods record is still the first.
  std::vector<Variant> outs;
  ASSERT_EQ(CallWith("InsertWareInfo",
                     Operator({{"lMode", Variant::I4(0)},
                               {"ParId", Variant("00000")},
                               {"dbName", Variant("AAAAAFT")}}),
                     {}, &outs)
                .hr,
            com::S_OK);
  EXPECT_EQ(outs[0], Variant("00001"));
  EXPECT_EQ(queue.Rows().size(), 1u);
}

}  // namespace
}  // namespace quor::testing
