// QueryDataBase against a master database kept by the catalogue stand-in: the
// catalogue is created or upgraded in place, P_QueryDataBase lists the table
// the client names, and the rows reach the client through QueryProvider.
// Names that P_QueryDataBase would paste into SQL unchecked never get there.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "SessionFixture.h"
#include "tests/support/catalogue/CatalogueInstance.h"

namespace quor::testing {
namespace {

using com::Variant;
using datasnap::test::Cell;
using datasnap::test::ColumnTexts;
using datasnap::test::DataPacket;

const std::vector<std::string> kCatalogueColumns = {
    "ID",         "DBName",     "DBCaption",  "SetHide",     "ShortcutKey", "VirtualDir",
    "CompanyCDB", "CompanyCID", "CompanyKey", "AutoSynchro", "CreateTime",  "Resouce"};

class QueryDataBaseTest : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    instance_.ServeAnyBatch(server_);
    instance_.ServeQueryProcedure(server_);
    module_ = Connected(std::make_shared<TDataModuleServer>(), "master");
  }

  CallResult QueryDataBase(const Variant& dbName, int& iReturn) {
    OutSlot out = Out(Variant::I4(55), com::VT_I4);
    CallResult result = Call("QueryDataBase", {dbName, out.ref});
    iReturn = out.value->GetI4();
    return result;
  }

  static std::vector<std::string> FieldNames(const DataPacket& packet) {
    std::vector<std::string> names;
    for (const auto& field : packet.fields) names.push_back(field.name);
    return names;
  }

  CatalogueInstance instance_;
};

TEST_F(QueryDataBaseTest,
       OnAnEmptyInstanceTheFirstCallCreatesTheCatalogueAndASecondChangesNothing) {
  int iReturn = 55;
  CallResult result = QueryDataBase(Variant("ValtoDataBaseBZ"), iReturn);
  ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
  EXPECT_EQ(iReturn, 0);

  const auto catalogue = instance_.FindTable("ValtoDataBaseBZ");
  ASSERT_TRUE(catalogue.has_value());
  EXPECT_EQ(catalogue->columns, kCatalogueColumns);
  EXPECT_TRUE(instance_.FindTable("QuorLoginUser").has_value());
  EXPECT_TRUE(instance_.FindTable("UploadAppServer").has_value());
  EXPECT_TRUE(instance_.ProcedureText("P_QueryDataBase").has_value());

  // The list is asked for the table the client named.
  std::vector<test::Value> listed;
  for (const test::Request& request : server_.Requests()) {
    if (request.kind != test::RequestKind::Rpc) continue;
    if (request.procedure.rfind("P_QueryDataBase", 0) != 0) continue;
    for (const test::Parameter& parameter : request.params) listed.push_back(parameter.value);
  }
  EXPECT_NE(std::find(listed.begin(), listed.end(), test::Value("ValtoDataBaseBZ")), listed.end());
  const DataPacket empty = Fetch("QueryProvider");
  EXPECT_EQ(FieldNames(empty), kCatalogueColumns);
  EXPECT_EQ(empty.records.size(), 0u);

  const std::string before = instance_.Describe();
  result = QueryDataBase(Variant("ValtoDataBaseBZ"), iReturn);
  ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
  EXPECT_EQ(iReturn, 0);
  EXPECT_EQ(instance_.Describe(), before);
}

TEST_F(QueryDataBaseTest, AnOldCatalogueIsUpgradedAndItsRowsComeThroughQueryProvider) {
  // Columns other than ID are varchar here; SetHide's values are texts.
  instance_.AddTable("ValtoDataBaseBZ", {"ID", "DBName", "DBCaption", "SetHide"},
                     {{1, "QuorData01", "总公司", "0"}, {4, "QuorData02", "分店", "1"}});
  // The trade's catalogue under the name it had before.
  instance_.AddTable("QuorDataBaseBZ",
                     {"ID", "DBName", "DBCaption", "SetHide", "ShortcutKey", "VirtualDir"},
                     {{1, "QuorOld", "旧账套", "0", "F3", "Web"}});
  int iReturn = 55;
  const CallResult result = QueryDataBase(Variant("ValtoDataBaseBZ"), iReturn);
  ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
  EXPECT_EQ(iReturn, 0);
  EXPECT_FALSE(instance_.FindTable("QuorDataBaseBZ").has_value());

  const DataPacket packet = Fetch("QueryProvider");
  EXPECT_EQ(FieldNames(packet), kCatalogueColumns);
  EXPECT_EQ(ColumnTexts(packet, "DBName"),
            (std::vector<std::string>{"'QuorData01'", "'QuorData02'", "'QuorOld'"}));
  EXPECT_EQ(ColumnTexts(packet, "DBCaption"),
            (std::vector<std::string>{"'总公司'", "'分店'", "'旧账套'"}));
  EXPECT_EQ(ColumnTexts(packet, "ID"), (std::vector<std::string>{"1", "4", "5"}));
  EXPECT_EQ(ColumnTexts(packet, "CompanyCID"), (std::vector<std::string>{"0", "0", "0"}));
}

TEST_F(QueryDataBaseTest, TheTableMayBeNamedWithItsDatabaseAndSchema) {
  instance_.AddTable("ValtoDataBaseBZ", {"ID", "DBName", "DBCaption", "SetHide"},
                     {{1, "QuorData01", "总公司", "0"}});
  for (const char* name :
       {"master..ValtoDataBaseBZ", "[dbo].[ValtoDataBaseBZ]", "master.dbo.ValtoDataBaseBZ"}) {
    SCOPED_TRACE(name);
    int iReturn = 55;
    const CallResult result = QueryDataBase(Variant(name), iReturn);
    ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
    EXPECT_EQ(iReturn, 0);
    EXPECT_EQ(ColumnTexts(Fetch("QueryProvider"), "DBName"),
              (std::vector<std::string>{"'QuorData01'"}));
  }
}

TEST_F(QueryDataBaseTest, ANameThatIsNoPlainTableNameNeverReachesTheServer) {
  const std::vector<Variant> names = {
      Variant("ValtoDataBaseBZ; DROP DATABASE QuorData01"),
      Variant("ValtoDataBaseBZ WHERE 1=1"),
      Variant("ValtoDataBaseBZ--"),
      Variant("[ValtoDataBaseBZ]]; DROP TABLE x; --]"),
      Variant("sys.objects o, master..ValtoDataBaseBZ"),
      Variant("'x'"),
      Variant(""),
      Variant::Null(),
  };
  for (const Variant& name : names) {
    SCOPED_TRACE(name.DebugString());
    server_.ClearRequests();
    int iReturn = 55;
    const CallResult result = QueryDataBase(name, iReturn);
    EXPECT_EQ(result.hr, com::DISP_E_EXCEPTION);
    // E_UNEXPECTED for a text; a null, which no text converts from, fails the
    // conversion with its own code.
    EXPECT_EQ(result.excepInfo.scode, name.IsNull() ? com::DISP_E_TYPEMISMATCH : com::E_UNEXPECTED);
    EXPECT_FALSE(result.excepInfo.description.empty());
    EXPECT_TRUE(server_.Requests().empty());
  }
  EXPECT_FALSE(instance_.FindTable("ValtoDataBaseBZ").has_value());
}

TEST_F(QueryDataBaseTest, ACatalogueBatchThatFailsFailsTheCallBeforeTheListIsRun) {
  // A table in the way of the upgrade: CompanyCDB without CompanyCID makes
  // the cloud-column step add CompanyCDB a second time.
  instance_.AddTable("ValtoDataBaseBZ", {"ID", "DBName", "DBCaption", "SetHide", "ShortcutKey",
                                         "VirtualDir", "CompanyCDB"});
  server_.ClearRequests();
  int iReturn = 55;
  const CallResult result = QueryDataBase(Variant("ValtoDataBaseBZ"), iReturn);
  EXPECT_EQ(result.hr, com::DISP_E_EXCEPTION);
  EXPECT_NE(result.excepInfo.description.find("CompanyCDB"), std::string::npos)
      << result.excepInfo.description;
  for (const test::Request& request : server_.Requests()) {
    EXPECT_EQ(request.procedure.find("P_QueryDataBase"), std::string::npos);
  }
}

}  // namespace
}  // namespace quor::testing
