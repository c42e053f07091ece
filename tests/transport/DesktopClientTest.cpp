// A desktop client's first minutes against the real server program, over TCP
// on loopback, with the SQL Server stand-in behind it (the real FreeTDS driver
// in between): create the module, look members up by name, connect to the
// instance, list the account sets from the catalogue as a data packet, bind
// the account set read from that packet and run a business lookup whose rows
// come back through its provider.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "ServerPublic/ConfigKeys.h"
#include "ServerPublic/ConfigStore.h"
#include "ServerPublic/IniFile.h"
#include "ServerPublic/PasswordScrambler.h"
#include "platform/com/SafeArray.h"
#include "platform/datasnap/Provider.h"
#include "tests/platform/datasnap/DataPacketReader.h"
#include "tests/platform/datasnap/StandInPackets.h"
#include "tests/support/accountset/AccountSet.h"
#include "tests/support/catalogue/CatalogueInstance.h"
#include "tests/support/tds/SqlServerStandIn.h"
#include "tests/transport/ServerProgramTest.h"
#include "tests/transport/TestBed.h"
#include "transport/SocketClient.h"

namespace quor::transport {
namespace {

using namespace std::chrono_literals;
using com::Variant;
using datasnap::test::ColumnTexts;
using datasnap::test::DataPacket;

class DesktopClientTest : public testing::ServerProgramTest {
 protected:
  void SetUp() override {
    ServerProgramTest::SetUp();
    // ConnectDb logs in with what the program's configuration file names.
    IniFile config(ConfigFile());
    config.Write(kConfigSection, configkey::kServerName,
                 "127.0.0.1," + std::to_string(sqlServer_.Port()));
    config.Write(kConfigSection, configkey::kUserName, test::kAccountSetUser);
    config.Write(kConfigSection, configkey::kPassword, EncodePassword(test::kAccountSetPassword));

    test::Reply version;
    version.resultSets.push_back({{{"Index", test::SqlType::Int},
                                   {"Name", test::SqlType::NVarChar, 128},
                                   {"Internal_Value", test::SqlType::Int},
                                   {"Character_Value", test::SqlType::NVarChar, 256}},
                                  {{2, "ProductVersion", 655360, "10.50.1600.1"}}});
    sqlServer_.OnStatement("master.dbo.xp_msver ProductVersion", version);
    catalogue_.ServeAnyBatch(sqlServer_);
    catalogue_.ServeQueryProcedure(sqlServer_);

    port_ = testing::FreeLoopbackPort();
    ConfigurePorts({port_});
    program_ = Start();
    ASSERT_TRUE(program_->WaitForError("running in desktop mode", testing::kServerStartTimeout))
        << program_->Error();
    SocketClientOptions options;
    options.replyTimeout = 60s;
    client_ =
        std::make_unique<SocketClient>("127.0.0.1", static_cast<std::uint16_t>(port_), options);
  }

  void TearDown() override {
    client_.reset();
    if (program_ != nullptr) {
      const int status = program_->Stop(30s);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << program_->Error();
    }
  }

  // The integer a member wrote into its by-reference output, which the
  // client passes at `outAt` among `args` (declared order; last by default).
  int CallForReturn(const com::DispatchPtr& module, const std::string& member,
                    std::vector<Variant> args, std::size_t outAt = SIZE_MAX) {
    auto out = std::make_shared<Variant>(Variant::I4(55));
    args.insert(args.begin() + static_cast<std::ptrdiff_t>(std::min(outAt, args.size())),
                Variant::ByRef(out, com::VT_I4));
    const Variant result = client_->Call(module, member, std::move(args));
    EXPECT_TRUE(result.IsEmpty()) << member << ": " << result.DebugString();
    return out->GetI4();
  }

  // All rows of a provider, as a client dataset opens it.
  DataPacket Fetch(const com::DispatchPtr& module, const char* provider) {
    auto recsOut = std::make_shared<Variant>(Variant::I4(0));
    auto params = std::make_shared<Variant>();
    auto ownerData = std::make_shared<Variant>();
    const Variant packet =
        client_->Call(module, "AS_GetRecords",
                      {Variant(provider), Variant::I4(-1), Variant::ByRef(recsOut, com::VT_I4),
                       Variant::I4(datasnap::kMetaData), Variant(""), Variant::ByRef(params),
                       Variant::ByRef(ownerData)});
    EXPECT_TRUE(packet.IsArray()) << provider << ": " << packet.DebugString();
    if (!packet.IsArray()) return {};
    return datasnap::test::ReadDataPacket(packet.GetArray().Bytes());
  }

  test::SqlServerStandIn sqlServer_;
  test::AccountSet accountSet_{sqlServer_};
  quor::testing::CatalogueInstance catalogue_;
  int port_ = 0;
  std::unique_ptr<testing::ServerProcess> program_;
  std::unique_ptr<SocketClient> client_;
};

TEST_F(DesktopClientTest, ConnectsListsTheAccountSetsBindsOneAndReadsALookupsRows) {
  // The catalogue in master lists two account sets; the first is served here.
  catalogue_.AddTable(
      "ValtoDataBaseBZ", {"ID", "DBName", "DBCaption", "SetHide"},
      {{1, test::kAccountSetDatabase, "总公司", "0"}, {2, "QuorData02", "分店", "1"}});

  const com::DispatchPtr module = client_->CreateObject("QuorServerAll.DataModuleServer");
  // DISPIDs as the interface fixes them, asked by name over the wire.
  const std::vector<std::pair<const char*, com::DispId>> members = {{"ConnectDb", 101},
                                                                    {"changedatabase", 102},
                                                                    {"QueryDataBase", 201},
                                                                    {"QueryClassBasicInfo", 1127},
                                                                    {"AS_GetRecords", 20000001}};
  for (const auto& [name, expected] : members) {
    com::DispId dispId = com::DISPID_UNKNOWN;
    EXPECT_EQ(module->GetIDsOfNames(name, dispId), com::S_OK) << name;
    EXPECT_EQ(dispId, expected) << name;
  }

  ASSERT_EQ(CallForReturn(module, "ConnectDb", {Variant("BZ")}), 0) << program_->Error();
  ASSERT_EQ(CallForReturn(module, "QueryDataBase", {Variant("ValtoDataBaseBZ")}), 0);

  const DataPacket catalogue = Fetch(module, "QueryProvider");
  EXPECT_EQ(ColumnTexts(catalogue, "DBName"),
            (std::vector<std::string>{"'QuorData01'", "'QuorData02'"}));
  EXPECT_EQ(ColumnTexts(catalogue, "DBCaption"), (std::vector<std::string>{"'总公司'", "'分店'"}));
  EXPECT_EQ(ColumnTexts(catalogue, "ID"), (std::vector<std::string>{"1", "2"}));
  ASSERT_FALSE(catalogue.records.empty());

  // A refusal reaches the client as the member's exception, and the module
  // goes on serving.
  try {
    CallForReturn(module, "QueryDataBase", {Variant("ValtoDataBaseBZ; DROP TABLE QuorLoginUser")});
    ADD_FAILURE() << "the name was taken";
  } catch (const com::HResultError& error) {
    EXPECT_EQ(error.Code(), com::E_UNEXPECTED);
    EXPECT_STRNE(error.what(), "");
  }
  EXPECT_TRUE(catalogue_.FindTable("QuorLoginUser").has_value());

  // The client binds the account set it read from the packet.
  const std::string dbName = ColumnTexts(catalogue, "DBName").front();
  ASSERT_EQ(CallForReturn(module, "ChangeDataBase",
                          {Variant(dbName.substr(1, dbName.size() - 2)), Variant("9.33")}, 1),
            0);

  // A business lookup: goods under a class, then its rows from its provider.
  std::vector<Variant> lookup = {Variant("00001"), Variant("00002"), Variant("0000100007"),
                                 Variant("AAAAAFT"), Variant::I4(1)};
  lookup.resize(lookup.size() + 9, Variant(""));
  ASSERT_EQ(CallForReturn(module, "QueryClassBasicInfo", lookup), 0);
  const test::ProcedureCall call = accountSet_.LastCall("AAAAAVI");
  EXPECT_EQ(call["@dbName"], test::Value("AAAAAFT"));
  EXPECT_EQ(call["@OrderMode"], test::Value(1));
  datasnap::test::ExpectPacketHolds(Fetch(module, "BasicProvider"), test::SampleGoods());
}

}  // namespace
}  // namespace quor::transport
