// A cloud business service with tables, on the cloud stand-in, for the
// mapping tests: uploads add rows, fetches answer the rows that carry no
// local identifier (or bill number) yet, and the column calls set columns
// where a column holds a value, as the service does. Tests put rows in, read
// the tables back, and may answer any call themselves (a failure, a reply of
// the wrong shape) through an interceptor.
//
//   test::CloudStandIn cloud;
//   CloudTables tables(cloud, "12");
//   tables.Add("tb_unit_info", {{"id", 7}, {"name", "箱"}});
//   ... DownloadCloudChanges ...
//   tables.Rows("tb_unit_info")[0]["SelfID"]   // the local unit's identifier
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "tests/support/cloud/CloudStandIn.h"

namespace quor::sync::testing {

class CloudTables {
 public:
  // Answers the session call with `cid` as the company's cloud identifier.
  CloudTables(test::CloudStandIn& cloud, std::string cid);

  void Add(const std::string& table, nlohmann::json row);
  nlohmann::json Rows(const std::string& table) const;  // an array

  // Consulted before every answer; an answer it gives is sent instead.
  using Interceptor = std::function<std::optional<test::CloudAnswer>(const test::CloudRequest&)>;
  void Intercept(Interceptor interceptor);

 private:
  test::CloudAnswer Answer(const std::string& path, const test::CloudRequest& request);
  test::CloudAnswer Upload(const test::CloudRequest& request);
  test::CloudAnswer Unlinked(const std::string& table, const char* linkColumn,
                             const std::function<bool(const nlohmann::json&)>& also);
  test::CloudAnswer SetColumn(const test::CloudRequest& request);
  test::CloudAnswer Details(const test::CloudRequest& request);
  test::CloudAnswer Images(const test::CloudRequest& request);

  std::string cid_;
  mutable std::mutex mutex_;  // guards the two members below
  std::map<std::string, nlohmann::json> tables_;
  Interceptor interceptor_;
};

// A member's value as text, "" when absent or null.
std::string MemberText(const nlohmann::json& row, const std::string& name);

}  // namespace quor::sync::testing
