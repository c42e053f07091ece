// The module's frame: its providers, its components' command timeouts, the
// data-request handlers, updates refused through its providers, and its COM
// class (creation by ProgID and class id, registration marks).
#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>

#include "ModuleFixture.h"
#include "ServerPublic/ServerGlobals.h"
#include "platform/com/ClassRegistry.h"
#include "platform/com/SafeArray.h"
#include "platform/datasnap/DeltaReader.h"
#include "tests/platform/datasnap/DataPacketReader.h"
#include "tests/platform/datasnap/DeltaBuilder.h"
#include "tests/platform/datasnap/StandInPackets.h"

namespace quor::testing {
namespace {

using com::Variant;

TEST_F(ModuleTest, ExportsTheNineProvidersInOrder) {
  const CallResult result = Call("AS_GetProviderNames", {});
  ASSERT_EQ(result.hr, com::S_OK);
  const com::SafeArray& names = result.value.GetArray();
  const std::vector<const char*> expected = {"InsertProvider", "QueryProvider", "QueryProvider2",
                                             "VchProvider",    "SubProvider",   "MemoProvider",
                                             "BasicProvider",  "dspExecSQL",    "DataSetProvider"};
  ASSERT_EQ(names.ElementCount(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(names.Get({static_cast<std::int32_t>(i)}), Variant(expected[i]));
  }
}

TEST(DataModuleServer, TakesTheCommandTimeoutSettingAsASixteenBitNumber) {
  const int saved = CommandTimeoutSeconds();
  struct Case {
    int setting;
    int applied;
  };
  for (const Case c : {Case{300, 300}, Case{70000, 4464}, Case{-1, 65535}}) {
    SCOPED_TRACE(c.setting);
    SetCommandTimeoutSeconds(c.setting);
    TDataModuleServer module;
    EXPECT_EQ(module.ADOConnection1().Settings().commandTimeoutSeconds, c.applied);
    EXPECT_EQ(module.ADOConnection1().Settings().connectTimeoutSeconds, 120);
    EXPECT_EQ(module.CreateGetZt().CommandTimeout(), c.applied);
    for (sql::StoredProc* proc :
         {&module.InsertProc(), &module.QueryProc(), &module.QueryProc2(), &module.VchProc(),
          &module.SubProc(), &module.MemoProc(), &module.BasicProc(), &module.DeleteProc(),
          &module.ADOStoredProc()}) {
      EXPECT_EQ(proc->CommandTimeout(), c.applied) << proc->Name();
    }
    // The statement component keeps its own default.
    EXPECT_EQ(module.QryExecSQL().CommandTimeout(), sql::DataSet::kDefaultCommandTimeout);
  }
  SetCommandTimeoutSeconds(saved);
}

TEST_F(ModuleTest, DataRequestsReturnTheProvidersCompleteDataRunningItAgain) {
  OutSlot nRet = Out(Variant::I4(0), com::VT_I4);
  ASSERT_EQ(Call("QueryBillMaster", {Variant("1"), Variant("1"), Variant::I4(1001), nRet.ref}).hr,
            com::S_OK);
  const CallResult result = Call("AS_DataRequest", {Variant("VchProvider"), Variant("any")});
  ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
  datasnap::test::ExpectPacketHolds(datasnap::test::ReadDataPacket(result.value.GetArray().Bytes()),
                                    test::SampleBillMaster());
  EXPECT_EQ(accountSet_.Calls("AAAAAVB").size(), 2u);
  // InsertProvider has no handler.
  const CallResult insert = Call("AS_DataRequest", {Variant("InsertProvider"), Variant()});
  ASSERT_EQ(insert.hr, com::S_OK);
  EXPECT_TRUE(insert.value.IsNull());
}

TEST_F(ModuleTest, UpdatesSentToAProcedureProviderAreRefusedOneErrorPerChange) {
  const std::vector<std::uint8_t> delta = datasnap::test::DeltaBuilder()
                                              .Record(datasnap::kRecordOriginal, 1, "a")
                                              .Record(datasnap::kRecordModified, 1, "b")
                                              .Record(datasnap::kRecordInserted, 2, "c")
                                              .Build();
  OutSlot errorCount = Out(Variant::I4(0), com::VT_I4);
  OutSlot owner = Out();
  const CallResult result =
      Call("AS_ApplyUpdates", {Variant("BasicProvider"), Variant::Bytes(delta), Variant::I4(-1),
                               errorCount.ref, owner.ref});
  ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
  EXPECT_EQ(*errorCount.value, Variant::I4(2));
  const datasnap::test::DataPacket errors =
      datasnap::test::ReadDataPacket(result.value.GetArray().Bytes());
  ASSERT_EQ(errors.records.size(), 2u);
  // The original record of the modification is no change of its own.
  EXPECT_EQ(errors.records[0].cells[2], datasnap::test::Cell(std::int64_t{2}));
  EXPECT_EQ(errors.records[1].cells[2], datasnap::test::Cell(std::int64_t{3}));
  for (const datasnap::test::PacketRecord& record : errors.records) {
    const auto* message = std::get_if<std::string>(&record.cells[3]);
    ASSERT_NE(message, nullptr);
    EXPECT_NE(message->find("BasicProvider"), std::string::npos) << *message;
  }
}

class TempRegistry {
 public:
  TempRegistry() {
    char pattern[] = "/tmp/quor-remote-XXXXXX";
    folder_ = mkdtemp(pattern);
  }
  ~TempRegistry() { std::filesystem::remove_all(folder_); }
  std::filesystem::path File() const { return folder_ / "registry.reg"; }

 private:
  std::filesystem::path folder_;
};

TEST(DataModuleServerClass, EachCreateByProgIdOrClassIdMakesANewModule) {
  TempRegistry folder;
  registry::Registry registry(folder.File());
  com::ClassRegistry classes(registry);
  RegisterDataModuleServer(classes);
  com::RegisterClass(registry, DataModuleServerRegistration(), "/opt/quor/QuorServerBZ");

  const com::DispatchPtr first = classes.Create("QuorServerAll.DataModuleServer");
  const com::DispatchPtr second = classes.Create("{c1c424e1-600a-461d-8759-8d739c78cbdc}");
  ASSERT_NE(std::dynamic_pointer_cast<TDataModuleServer>(first), nullptr);
  ASSERT_NE(std::dynamic_pointer_cast<TDataModuleServer>(second), nullptr);
  EXPECT_NE(first, second);
  com::DispId dispId = 0;
  EXPECT_EQ(first->GetIDsOfNames("AS_GetRecords", dispId), com::S_OK);
  EXPECT_EQ(dispId, 20000001);
  EXPECT_TRUE(classes.HasMark(kDataModuleServerClassId, "Sockets"));
  EXPECT_TRUE(classes.HasMark(kDataModuleServerClassId, "Web"));
  EXPECT_EQ(classes.ResolveClassId(kDataModuleServerProgId), kDataModuleServerClassId);
}

}  // namespace
}  // namespace quor::testing
