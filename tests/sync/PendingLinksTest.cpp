// The pending back-links of the download kept in their file: what one
// object remembers the next one reads, scopes keep account sets apart, and a
// damaged file is read as empty (and logged) rather than stopping downloads.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "sync/PendingLinks.h"
#include "sync/SyncLog.h"
#include "tests/support/files/TempFolder.h"

namespace quor::sync {
namespace {

TEST(PendingLinksTest, LinksOutliveTheObjectAndStayApartByScope) {
  quor::testing::TempFolder folder;
  const std::filesystem::path file = folder.Path() / "Data" / "CloudPendingLinks.json";
  {
    PendingLinks links(file);
    links.Remember("QuorData01|12", "tb_customer_info", "3", "00007");
    links.Remember("QuorData02|12", "tb_customer_info", "3", "00009");
    links.Remember("QuorData01|12", "tb_sale_info", "XS-7", "501/115");
    links.Forget("QuorData01|12", "tb_sale_info", "XS-7");
  }
  PendingLinks again(file);
  EXPECT_EQ(again.Size(), 2u);
  EXPECT_EQ(again.Find("QuorData01|12", "tb_customer_info", "3"), "00007");
  EXPECT_EQ(again.Find("QuorData02|12", "tb_customer_info", "3"), "00009");
  EXPECT_FALSE(again.Find("QuorData01|12", "tb_sale_info", "XS-7").has_value());
  EXPECT_FALSE(again.Find("QuorData01|13", "tb_customer_info", "3").has_value());
  EXPECT_FALSE(std::filesystem::exists(file.string() + ".new"));
}

TEST(PendingLinksTest, ADamagedFileIsReadAsEmptyAndRewrittenAtTheNextChange) {
  quor::testing::TempFolder folder;
  const std::filesystem::path file = folder.Path() / "CloudPendingLinks.json";
  for (const std::string damaged : {"{\"a\":", "[1,2]", "\xff\xfe"}) {
    SCOPED_TRACE(damaged);
    std::ofstream(file, std::ios::binary | std::ios::trunc) << damaged;
    std::vector<std::string> log;
    SetSyncLogSink([&log](const std::string& line) { log.push_back(line); });
    PendingLinks links(file);
    SetSyncLogSink(nullptr);
    EXPECT_EQ(links.Size(), 0u);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("holds no links"), std::string::npos) << log[0];
    links.Remember("QuorData01|12", "tb_unit_info", "1", "00001");
    EXPECT_EQ(PendingLinks(file).Find("QuorData01|12", "tb_unit_info", "1"), "00001");
  }
}

}  // namespace
}  // namespace quor::sync
