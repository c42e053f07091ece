// The system-value, rights and period-end members as clients call them: each
// member once with values of its own in every argument, and on the test
// account set which parameter of which procedure received which value, what
// came back in which out argument, and on which component the member ran. The
// expectations were written from the interface's member data, apart from the
// rows they check.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ModuleFixture.h"
#include "SessionFixture.h"
#include "remote/methods/MethodCatalogue.h"

namespace quor::testing {
namespace {

using com::Variant;

struct Sent {
  const char* parameter;
  const char* source;  // an argument's name, or "=" followed by the constant sent
};

struct Result {
  const char* argument;
  const char* from;  // "@RETURN_VALUE" or an output parameter
};

struct MemberCase {
  const char* member;
  com::DispId dispId;
  const char* component;
  const char* procedure;
  std::vector<Sent> sent;
  std::vector<Result> results;
};

const std::vector<MemberCase>& Cases() {
  static const std::vector<MemberCase> kCases = {
      {"GetSystemValue",
       1063,
       "SubProc",
       "AAAAARE;1",
       {{"@szName", "szName"}, {"@szReturn", "="}},
       {{"szReturn", "@szReturn"}}},
      {"SetSystemValue",
       1214,
       "InsertProc",
       "AAAABAJ;1",
       {{"@szName", "szName"}, {"@szValue", "szValue"}, {"@szMemo", "szMemo"}},
       {{"nRet", "@RETURN_VALUE"}}},
      {"GetSystemValue5000",
       3086,
       "SubProc",
       "AAAACHO;1",
       {{"@szName", "szName"}, {"@szReturn", "="}},
       {{"szReturn", "@szReturn"}}},
      {"SetSystemValue5000",
       3087,
       "InsertProc",
       "AAAACHP;1",
       {{"@szName", "szName"}, {"@szValue", "szValue"}, {"@szMemo", "szMemo"}},
       {{"nRet", "@RETURN_VALUE"}}},
      {"InsertLoginUser",
       1010,
       "DeleteProc",
       "AAAAASN;1",
       {{"@OperatorID", "OperatorID"},
        {"@CompanyID", "CompanyID"},
        {"@nWork", "Param1"},
        {"@szPersonID", "Param2"},
        {"@szLimit", "Param3"},
        {"@szPassword", "Param4"}},
       {{"Param5", "@RETURN_VALUE"}}},
      {"QueryLoginUser",
       1106,
       "QueryProc",
       "AAAAAWR;1",
       {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}},
       {{"Param1", "@RETURN_VALUE"}}},
      {"QueryLoginUserName", 1105, "QueryProc", "AAAAAWS;1", {}, {{"Param1", "@RETURN_VALUE"}}},
      {"InsertUserOption",
       1008,
       "InsertProc",
       "AAAAATO;1",
       {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@szbillcode", "szbillcode"},
        {"@dbName", "dbName"},         {"@order1", "order1"},       {"@order2", "order2"},
        {"@order3", "order3"},         {"@order4", "order4"},       {"@order5", "order5"},
        {"@order6", "order6"},         {"@order7", "order7"},       {"@order8", "order8"},
        {"@order9", "order9"},         {"@order10", "order10"},     {"@order11", "order11"},
        {"@order12", "order12"},       {"@order13", "order13"},     {"@order14", "order14"},
        {"@order15", "order15"},       {"@order16", "order16"},     {"@order17", "order17"},
        {"@order18", "order18"},       {"@order19", "order19"},     {"@order20", "order20"},
        {"@order21", "order21"},       {"@order22", "order22"},     {"@order23", "order23"},
        {"@order24", "order24"},       {"@order25", "order25"},     {"@order26", "order26"},
        {"@order27", "order27"},       {"@order28", "order28"},     {"@order29", "order29"},
        {"@order30", "order30"}},
       {{"nRet", "@RETURN_VALUE"}}},
      {"GetAuditingPerson",
       1067,
       "QueryProc",
       "AAAAAPZ;1",
       {{"@OperatorID", "OperatorID"},
        {"@CompanyID", "CompanyID"},
        {"@nMode", "nMode"},
        {"@nBillType", "nVchType"},
        {"@nBillID", "nVchCode"},
        {"@nLevel", "nLevel"},
        {"@szName1", "szName1"},
        {"@szName2", "szName2"},
        {"@szName3", "szName3"},
        {"@szName4", "szName4"},
        {"@szName5", "szName5"}},
       {{"nLevel", "@nLevel"},
        {"szName1", "@szName1"},
        {"szName2", "@szName2"},
        {"szName3", "@szName3"},
        {"szName4", "@szName4"},
        {"szName5", "@szName5"},
        {"nRet", "@RETURN_VALUE"}}},
      {"QueryAuditingControls",
       1151,
       "QueryProc",
       "AAAAAUT;1",
       {{"@OperatorID", "OperatorID"},
        {"@CompanyID", "CompanyID"},
        {"@VchRec", "VchRec"},
        {"@AuditingID", "InputN"},
        {"@AuditingName1", "InputName1"},
        {"@AuditingName2", "InputName2"},
        {"@AuditingName3", "InputName3"},
        {"@AuditingName4", "InputName4"},
        {"@AuditingName5", "InputName5"},
        {"@PersonID", "Etypeid"},
        {"@sMode", "sMode"}},
       {{"nRet", "@RETURN_VALUE"}}},
      {"UpdateMonthFinish",
       1034,
       "DeleteProc",
       "AAAABBX;1",
       {{"@OperatorID", "OperatorID"},
        {"@CompanyID", "CompanyID"},
        {"@szName", "Param1"},
        {"@szEndDate", "Param2"},
        {"@szStartDateNext", "Param3"}},
       {{"Param4", "@RETURN_VALUE"}}},
      {"UpdateUnMonthFinish",
       1266,
       "InsertProc",
       "AAAABCQ;1",
       {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}},
       {{"iReturn", "@RETURN_VALUE"}}},
      {"RetryMonthFinishTotal",
       3078,
       "QueryProc",
       "AAAACHA;1",
       {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}},
       {{"iReturn", "@RETURN_VALUE"}}},
      {"GetMonthFinishDate",
       1070,
       "SubProc",
       "AAAAAQU;1",
       {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@Ldate", "= "}},
       {{"Param1", "@Ldate"}, {"Param2", "@RETURN_VALUE"}}},
      {"QueryMonthFinished",
       1145,
       "SubProc",
       "AAAAAXC;1",
       {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@FiscalYear", "FiscalYear"}},
       {{"nRet", "@RETURN_VALUE"}}},
      {"QueryMonthInfo",
       1115,
       "QueryProc",
       "AAAAAXD;1",
       {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@FiscalYear", "FiscalYear"}},
       {{"Value", "@RETURN_VALUE"}}},
      {"UpdateAccountMonth",
       1045,
       "QueryProc",
       "AAAABAV;1",
       {{"@OperatorID", "OperatorID"},
        {"@CompanyID", "CompanyID"},
        {"@FiscalYear", "FiscalYear"},
        {"@Period", "Period"},
        {"@StartDate", "StartDate"},
        {"@Enddate", "Enddate"},
        {"@sMode", "sMode"}},
       {{"nRet", "@RETURN_VALUE"}}},
      {"UpdateInitWork",
       1035,
       "DeleteProc",
       "AAAABBT;1",
       {{"@OperatorID", "OperatorID"},
        {"@CompanyID", "CompanyID"},
        {"@FiscalYear", "FiscalYear"},
        {"@StartDate", "StartDate"},
        {"@nOver", "Param1"}},
       {{"Param2", "@RETURN_VALUE"}}},
      {"SystemDateFinished",
       1330,
       "DeleteProc",
       "AAAABAO;1",
       {{"@OperatorID", "OperatorID"},
        {"@CompanyID", "CompanyID"},
        {"@iBillDetailDraft", "iBillDetailDraft"},
        {"@lBasicinfo", "lBasicinfo"},
        {"@Date", "ADate"}},
       {{"nRet", "@RETURN_VALUE"}}},
      {"SystemYearFinished",
       1215,
       "DeleteProc",
       "AAAABAQ;1",
       {{"@OperatorID", "OperatorID"},
        {"@CompanyID", "CompanyID"},
        {"@iBillDetailDraft", "iBillDetailDraft"},
        {"@lBasicinfo", "lBasicinfo"}},
       {{"nRet", "@RETURN_VALUE"}}},
      {"FiscalYearFinished",
       1248,
       "DeleteProc",
       "AAAAAPV;1",
       {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}},
       {{"Return", "@RETURN_VALUE"}}},
      {"UpdateSameCostingMode",
       1009,
       "QueryProc",
       "AAAABCE;1",
       {{"@OperatorID", "OperatorID"},
        {"@CompanyID", "CompanyID"},
        {"@szSameCostingMode", "SameCostingMode"}},
       {{"nRet", "@RETURN_VALUE"}}},
      {"GetCheckInitEquities",
       3064,
       "QueryProc",
       "AAAACGJ;1",
       {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}},
       {{"iReturn", "@RETURN_VALUE"}}},
      {"SetUpdateInitEquities",
       3065,
       "QueryProc",
       "AAAACGK;1",
       {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}},
       {{"iReturn", "@RETURN_VALUE"}}},
  };
  return kCases;
}

std::string Bare(const char* procedure) {
  const std::string name = procedure;
  return name.substr(0, name.find(';'));
}

bool IsOutput(const MemberCase& c, const std::string& parameter) {
  for (const Result& result : c.results) {
    if (parameter == result.from) return true;
  }
  return false;
}

TEST_F(ModuleTest, EachSystemValueMemberSendsEveryArgumentToItsOwnParameter) {
  ASSERT_EQ(Cases().size(), 24u);
  for (std::size_t index = 0; index < Cases().size(); ++index) {
    const MemberCase& c = Cases()[index];
    SCOPED_TRACE(c.member);
    const int status = 100 + static_cast<int>(index);
    test::ProcedureDecl decl{Bare(c.procedure), {}};
    for (const Sent& sent : c.sent) {
      test::ParamDecl param = test::Param(sent.parameter, test::SqlType::VarChar, 100);
      if (IsOutput(c, sent.parameter)) param = test::Output(param);
      decl.params.push_back(param);
    }
    accountSet_.Declare(decl, [status, c](const test::ProcedureCall&) {
      test::Reply reply;
      reply.returnStatus = status;
      for (const Result& result : c.results) {
        if (std::string(result.from) != "@RETURN_VALUE") {
          reply.outputs[result.from] = std::string("out-") + result.from;
        }
      }
      return reply;
    });

    const com::MemberInfo* row = module_->Table().Find(c.dispId, com::MemberKind::Method);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->name, c.member);
    std::vector<Variant> args;
    std::vector<std::pair<std::string, OutSlot>> outs;
    for (const com::ParamInfo& param : row->params) {
      if (param.mode == com::ParamMode::In) {
        args.push_back(Variant("in-" + param.name));
        continue;
      }
      Variant initial;
      if (param.mode == com::ParamMode::InOut) initial = Variant("io-" + param.name);
      if (param.type == com::VT_I4) initial = Variant::I4(-7);
      if (param.type == com::VT_BSTR) initial = Variant("stale");
      outs.emplace_back(param.name, Out(initial, param.type));
      args.push_back(outs.back().second.ref);
    }
    const CallResult result = CallId(c.dispId, args);
    ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;

    const test::ProcedureCall call = accountSet_.LastCall(Bare(c.procedure));
    EXPECT_EQ(call.names.size(), c.sent.size());
    for (const Sent& sent : c.sent) {
      const std::string source = sent.source;
      std::string expected;
      if (source.front() == '=') {
        expected = source.substr(1);
      } else {
        const bool inOut = std::any_of(row->params.begin(), row->params.end(), [&](const auto& p) {
          return p.name == source && p.mode != com::ParamMode::In;
        });
        expected = (inOut ? "io-" : "in-") + source;
      }
      EXPECT_TRUE(call.WasSent(sent.parameter)) << sent.parameter;
      EXPECT_EQ(test::TextOf(call[sent.parameter]), expected) << sent.parameter;
    }
    for (const Result& expected : c.results) {
      const auto out = std::find_if(outs.begin(), outs.end(), [&](const auto& slot) {
        return slot.first == expected.argument;
      });
      ASSERT_NE(out, outs.end()) << expected.argument;
      const Variant& value = *out->second.value;
      if (std::string(expected.from) == "@RETURN_VALUE") {
        EXPECT_EQ(value.ToI4(), status) << expected.argument;
      } else {
        EXPECT_EQ(value.ToString(), std::string("out-") + expected.from) << expected.argument;
      }
    }
    const auto described = std::find_if(
        remote::SystemValueMethods().begin(), remote::SystemValueMethods().end(),
        [&](const remote::MethodDescription& method) { return method.name == c.member; });
    ASSERT_NE(described, remote::SystemValueMethods().end());
    EXPECT_EQ(remote::ComponentName(described->component), c.component);
  }
}

TEST(AdministrationTables, EachFamilyHoldsItsMembersWithTheirDispIds) {
  struct Family {
    const std::vector<remote::MethodDescription>& rows;
    std::vector<std::pair<const char*, com::DispId>> members;
  };
  const std::vector<Family> families = {
      {remote::AdministrationMethods(),
       {{"QueryDataBase", 201},
        {"CreateDataBase", 202},
        {"DeleteDataBase", 203},
        {"BackupDatabase", 204},
        {"RestoreDatabase", 205},
        {"GetDirectoryFileList", 206},
        {"UpdateDataBase", 207},
        {"OperateServerFile", 208},
        {"GetMobileDataBase", 209},
        {"GetDataBase", 210},
        {"GetPhoneToDataBase", 211},
        {"SystemDataClear", 212}}},
      {remote::GenericSqlMethods(),
       {{"ExecuteSQL", 301},
        {"AccExecuteQuerySQL", 302},
        {"AccExecuteUpdateSQL", 303},
        {"AdoExecSQL", 304},
        {"ExecProcEx", 305},
        {"QX_QueryBasicAnyTable", 306}}},
  };
  for (const Family& family : families) {
    ASSERT_EQ(family.rows.size(), family.members.size());
    for (std::size_t i = 0; i < family.rows.size(); ++i) {
      EXPECT_EQ(family.rows[i].name, family.members[i].first);
      EXPECT_EQ(family.rows[i].dispId, family.members[i].second) << family.members[i].first;
    }
  }
  // Twenty-four procedure members and GetSystemInformation, which reads the configuration.
  EXPECT_EQ(remote::SystemValueMethods().size(), Cases().size() + 1);
  std::size_t handWritten = 0;
  for (const remote::MethodDescription& method : remote::SystemValueMethods()) {
    if (method.handler != nullptr) {
      ++handWritten;
      EXPECT_EQ(method.name, "GetSystemInformation");
      EXPECT_EQ(method.dispId, 1090);
    }
  }
  EXPECT_EQ(handWritten, 1u);
}

TEST_F(ModuleTest, GetSystemValueLeavesAnEmptyTextWhenTheProcedureLeavesItsOutputAlone) {
  accountSet_.Declare({"AAAAARE",
                       {test::Param("@szName", test::SqlType::VarChar, 50),
                        test::Output(test::Param("@szReturn", test::SqlType::VarChar, 200))}},
                      [](const test::ProcedureCall&) { return test::Reply{}; });
  OutSlot value = Out(Variant("left over"));
  const CallResult result = Call("GetSystemValue", {Variant("NoSuchName"), value.ref});
  ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
  EXPECT_EQ(value.value->ToString(), "");
}

class SystemInformationTest : public SessionTest {
 protected:
  std::vector<std::string> Information() {
    OutSlot server = Out(Variant("x"), com::VT_BSTR);
    OutSlot user = Out(Variant("x"), com::VT_BSTR);
    OutSlot password = Out(Variant("x"), com::VT_BSTR);
    const CallResult result = Call("GetSystemInformation", {server.ref, user.ref, password.ref});
    EXPECT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
    return {server.value->GetString(), user.value->GetString(), password.value->GetString()};
  }
};

TEST_F(SystemInformationTest, AnUnconfiguredServerGivesTheLoopbackAddressAndSa) {
  EXPECT_EQ(Information(), (std::vector<std::string>{"127.0.0.1", "sa", ""}));
}

TEST_F(SystemInformationTest, TheConfiguredLoginComesBackTrimmedWithThePasswordDecoded) {
  WriteConfig(configkey::kServerName, " db1\\SALES ");
  WriteConfig(configkey::kUserName, " quor ");
  WriteConfig(configkey::kPassword, EncodePassword("p@ss 'word'"));
  EXPECT_EQ(Information(), (std::vector<std::string>{"db1\\SALES", "quor", "p@ss 'word'"}));
}

TEST_F(SystemInformationTest, PrivateEngineModeNamesThePrivateInstance) {
  SetPrivateEngineMode(true);
  EXPECT_EQ(Information()[0], "127.0.0.1\\VTSQLSERVER");
}

}  // namespace
}  // namespace quor::testing
