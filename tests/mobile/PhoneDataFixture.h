// What the download and upload tests share: the account set on the SQL Server
// stand-in, the mobile connection to it, a temporary folder and the built
// template file, plus small readers of SQLite files.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/sql/Connection.h"
#include "tests/support/accountset/AccountSet.h"
#include "tests/support/files/TempFolder.h"
#include "tests/support/tds/Declare.h"
#include "tests/support/tds/SqlServerStandIn.h"

namespace quor::testing {

using Cell = std::optional<std::string>;  // nullopt: NULL
using Table = std::vector<std::vector<Cell>>;

// The rows of `sql` on the SQLite file, every value as SQLite's text of it.
inline Table ReadSqlite(const std::filesystem::path& file, const std::string& sql) {
  sqlite3* db = nullptr;
  Table rows;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    ADD_FAILURE() << "cannot open " << file;
    return rows;
  }
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
    ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db);
    sqlite3_close(db);
    return rows;
  }
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    std::vector<Cell> row;
    for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
      const unsigned char* text = sqlite3_column_text(stmt, i);
      row.push_back(text == nullptr ? Cell() : Cell(reinterpret_cast<const char*>(text)));
    }
    rows.push_back(std::move(row));
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return rows;
}

inline void ExecSqlite(const std::filesystem::path& file, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  char* error = nullptr;
  const int code = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
  EXPECT_EQ(code, SQLITE_OK) << sql << ": " << (error != nullptr ? error : "");
  sqlite3_free(error);
  sqlite3_close(db);
}

class PhoneDataTest : public ::testing::Test {
 protected:
  PhoneDataTest() {
    sql::ConnectionSettings& settings = connection_.Settings();
    settings.dataSource = "127.0.0.1," + std::to_string(server_.Port());
    settings.initialCatalog = test::kAccountSetDatabase;
    settings.userId = test::kAccountSetUser;
    settings.password = test::kAccountSetPassword;
    settings.connectTimeoutSeconds = 5;
  }

  static std::filesystem::path TemplateFile() { return QUOR_TEST_DOWNLOAD_TEMPLATE; }

  // Statement texts and procedure names the stand-in received (no logins or
  // transaction requests).
  std::vector<std::string> WorkRequests() const {
    std::vector<std::string> texts;
    for (const test::Request& request : server_.Requests()) {
      if (request.kind == test::RequestKind::Batch) texts.push_back(request.text);
      if (request.kind == test::RequestKind::Rpc) {
        texts.push_back(request.text.empty() ? request.procedure : request.text);
      }
    }
    return texts;
  }

  test::SqlServerStandIn server_;
  test::AccountSet accountSet_{server_};
  sql::Connection connection_;
  TempFolder folder_;
};

}  // namespace quor::testing
