// The cost of calling a described remote method: GetIDsOfNames + Invoke
// through the call-pattern engine (argument conversion, parameter refresh,
// assignment by name, run, outputs), next to the same procedure called
// directly on a StoredProc, and next to dispatch alone (a method that does
// nothing), all against the SQL Server stand-in through the real driver. The
// difference between the first two is the engine's own cost.
#include <benchmark/benchmark.h>

#include <memory>
#include <stdexcept>
#include <vector>

#include "platform/com/SafeArray.h"
#include "remote/methods/MethodCatalogue.h"
#include "remote/uDataModuleSvr.h"
#include "tests/support/accountset/AccountSet.h"

namespace {

using quor::TDataModuleServer;
using quor::com::Variant;
namespace remote = quor::remote;

Variant Nothing(TDataModuleServer&, const remote::MethodDescription&, quor::com::DispatchArgs&) {
  return Variant();
}

const remote::MethodDescription kNoOp{
    .name = "BenchNoOp",
    .dispId = 99001,
    .arguments = {remote::kOperatorId, remote::kCompanyId, remote::In("vchcode"),
                  remote::Out("Message"), remote::Out("nRet", remote::ArgType::kInteger)},
    .handler = &Nothing};

struct Fixture {
  Fixture() : accountSet(server) {
    std::vector<const remote::MethodDescription*> methods = remote::CatalogueMethods();
    methods.push_back(&kNoOp);
    module = std::make_shared<TDataModuleServer>(remote::BuildModuleTable(methods));
    quor::sql::ConnectionSettings& settings = module->ADOConnection1().Settings();
    settings.dataSource = "127.0.0.1," + std::to_string(server.Port());
    settings.initialCatalog = quor::test::kAccountSetDatabase;
    settings.userId = quor::test::kAccountSetUser;
    settings.password = quor::test::kAccountSetPassword;
    settings.connectTimeoutSeconds = 5;
  }

  quor::test::SqlServerStandIn server;
  quor::test::AccountSet accountSet;
  std::shared_ptr<TDataModuleServer> module;
};

void Invoke(benchmark::State& state, const char* member) {
  Fixture fixture;
  auto message = std::make_shared<Variant>(Variant(""));
  auto nRet = std::make_shared<Variant>(Variant::I4(0));
  // Dispatch order: the last declared argument first.
  const std::vector<Variant> args = {Variant::ByRef(nRet, quor::com::VT_I4),
                                     Variant::ByRef(message), Variant::I4(1001), Variant("00002"),
                                     Variant("00001")};
  for (auto _ : state) {
    quor::com::DispId dispId = 0;
    fixture.module->GetIDsOfNames(member, dispId);
    Variant result;
    quor::com::ExcepInfo excepInfo;
    const quor::com::HResult hr =
        fixture.module->Invoke(dispId, quor::com::DISPATCH_METHOD, quor::com::DispParams(args),
                               &result, &excepInfo, nullptr);
    if (hr != quor::com::S_OK) {
      state.SkipWithError(excepInfo.description.c_str());
      break;
    }
    benchmark::DoNotOptimize(nRet->GetI4());
  }
}

void BM_DescribedMethod(benchmark::State& state) {
  Invoke(state, "InsertAccountBillLink");
}

void BM_DispatchOnly(benchmark::State& state) {
  Invoke(state, "BenchNoOp");
}

void BM_DirectStoredProc(benchmark::State& state) {
  Fixture fixture;
  quor::sql::StoredProc& proc = fixture.module->QueryProc2();
  for (auto _ : state) {
    proc.Close();
    proc.Params().Clear();
    proc.SetProcedureName("AAAAARJ;1");
    proc.RefreshParameters();
    proc.SetParamValue("@OperatorID", quor::sql::Value::Text("00001"));
    proc.SetParamValue("@CompanyID", quor::sql::Value::Text("00002"));
    proc.SetParamValue("@BillID", quor::sql::Value::Integer(1001));
    proc.SetParamValue("@ErrorMsg", quor::sql::Value::Text(""));
    proc.ExecProc();
    benchmark::DoNotOptimize(proc.ParamValue("@ErrorMsg").AsText());
    benchmark::DoNotOptimize(proc.ParamValue("@RETURN_VALUE").AsInteger());
  }
}

BENCHMARK(BM_DescribedMethod)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DirectStoredProc)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DispatchOnly)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
