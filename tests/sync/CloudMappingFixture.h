// The world of the mapping tests: the test account set on the SQL Server
// stand-in (with the download's writers keeping what they store), a cloud
// service with tables on the cloud stand-in, the account-set connection and
// a cloud client with an open session. The synchroniser's log lines are
// collected.
#pragma once

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "platform/sql/Connection.h"
#include "sync/CloudClient.h"
#include "sync/SyncLog.h"
#include "tests/support/accountset/AccountSet.h"
#include "tests/support/cloud/CloudStandIn.h"
#include "tests/support/tds/SqlServerStandIn.h"
#include "tests/sync/CloudAccountBook.h"
#include "tests/sync/CloudTables.h"

namespace quor::sync::testing {

inline constexpr const char* kCloudCompany = "12";

class CloudMappingTest : public ::testing::Test {
 protected:
  CloudMappingTest() {
    sql::ConnectionSettings& settings = connection_.Settings();
    settings.dataSource = "127.0.0.1," + std::to_string(server_.Port());
    settings.initialCatalog = test::kAccountSetDatabase;
    settings.userId = test::kAccountSetUser;
    settings.password = test::kAccountSetPassword;
    settings.connectTimeoutSeconds = 5;
    SetSyncLogSink([this](const std::string& line) {
      std::lock_guard lock(logMutex_);
      log_.push_back(line);
    });
  }
  ~CloudMappingTest() override { SetSyncLogSink(nullptr); }

  void SetUp() override {
    std::string error;
    ASSERT_TRUE(client_.OpenCloudSession("shop", "key", error)) << error;
    cloud_.ClearRequests();
  }

  std::vector<std::string> Log() {
    std::lock_guard lock(logMutex_);
    return log_;
  }
  bool Logged(const std::string& part) {
    for (const std::string& line : Log()) {
      if (line.find(part) != std::string::npos) return true;
    }
    return false;
  }
  std::vector<std::string> Paths() {
    std::vector<std::string> paths;
    for (const test::CloudRequest& request : cloud_.Requests()) paths.push_back(request.path);
    return paths;
  }
  // Batch requests of one call path, as form values.
  std::vector<test::CloudRequest> CallsTo(const std::string& key) {
    return cloud_.RequestsTo("/business/" + key);
  }

  test::SqlServerStandIn server_;
  test::AccountSet accountSet_{server_};
  CloudAccountBook book_{accountSet_};
  test::CloudStandIn cloud_;
  CloudTables tables_{cloud_, kCloudCompany};
  sql::Connection connection_;
  CloudClient client_{CloudEndpoint{"127.0.0.1", cloud_.Port(), 5}};

 private:
  std::mutex logMutex_;
  std::vector<std::string> log_;
};

}  // namespace quor::sync::testing
