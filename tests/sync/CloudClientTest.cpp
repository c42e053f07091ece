// The cloud client against the cloud stand-in: what each call puts on the wire,
// how sessions open and fail, how replies in each charset are read, and how a
// slow, failing or vanished cloud ends a call.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "platform/text/Encodings.h"
#include "sync/CloudClient.h"
#include "tests/support/cloud/CloudStandIn.h"

namespace quor::sync {
namespace {

using quor::test::CloudAnswer;
using quor::test::CloudRequest;
using quor::test::CloudStandIn;

constexpr const char* kSessionPath = "/business/KEY268";
constexpr const char* kSessionReply = R"({"id":"4711","SelfID":"00002"})";

class CloudClientTest : public ::testing::Test {
 protected:
  CloudEndpoint Endpoint(int timeoutSeconds = 5) {
    CloudEndpoint endpoint;
    endpoint.host = "127.0.0.1";
    endpoint.port = cloud_.Port();
    endpoint.timeoutSeconds = timeoutSeconds;
    return endpoint;
  }

  void OpenSession(CloudClient& client) {
    cloud_.OnPath(kSessionPath, CloudAnswer::Json(kSessionReply));
    std::string error;
    ASSERT_TRUE(client.OpenCloudSession("北京 shop", "key-1", error)) << error;
    cloud_.ClearRequests();
  }

  CloudStandIn cloud_;
};

TEST_F(CloudClientTest, ASessionTakesTheCompanyIdentifiersAndSendsItsCookieAfterwards) {
  CloudClient client(Endpoint());
  cloud_.OnPath(kSessionPath, CloudAnswer::Json(kSessionReply));
  cloud_.OnPath("/business/KEY264", CloudAnswer::Json("{}"));
  std::string error = "stale";
  ASSERT_TRUE(client.OpenCloudSession("北京 shop", "key 1", error));
  EXPECT_EQ(error, "");
  EXPECT_EQ(client.Session().cid, "4711");
  EXPECT_EQ(client.Session().companyId, "00002");
  EXPECT_EQ(client.Session().cookie.rfind("DelphiSession=BJSHOP-key 1-", 0), 0u)
      << client.Session().cookie;
  EXPECT_EQ(client.NotifyBasicUploaded().errorText, "");

  auto requests = cloud_.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].body, "AppCompanyCDB=%E5%8C%97%E4%BA%AC+shop&AppCompanyKey=key+1");
  EXPECT_EQ(requests[1].path, "/business/KEY264");
  EXPECT_EQ(requests[1].body, "CID=4711");
  for (const CloudRequest& request : requests) {
    EXPECT_EQ(request.Header("content-type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(request.Header("user-agent"), "Mozilla/5.0");
    EXPECT_EQ(request.Header("cookie"), client.Session().cookie);
  }
}

TEST_F(CloudClientTest, AFailedSessionSaysSoAndLeavesTheClientWithoutSession) {
  struct Case {
    const char* name;
    CloudAnswer answer;
    std::string expectedError;  // the text after the fixed opening; "*" = any non-empty text
    const char* companyId;
  };
  const Case cases[] = {
      {"empty members", CloudAnswer::Json(R"({"id":"","SelfID":""})"), "", "00001"},
      {"blank id", CloudAnswer::Json(R"({"id":"  ","SelfID":"00009"})"), "", "00009"},
      {"HTTP 500", CloudAnswer::Status(500, "boom"), "HTTP/1.1 500 Internal Server Error", "00002"},
      {"not JSON", CloudAnswer::Json("<html>no</html>"), "*", "00002"},
      {"an array", CloudAnswer::Json("[1,2]"), "*", "00002"},
      {"dropped", CloudAnswer::Dropped(), "*", "00002"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CloudClient client(Endpoint());
    OpenSession(client);  // companyId "00002" from a good session first
    cloud_.OnPath(kSessionPath, c.answer);
    std::string error;
    EXPECT_FALSE(client.OpenCloudSession("shop", "bad", error));
    ASSERT_EQ(error.rfind(kSessionFailedText, 0), 0u) << error;
    std::string rest = error.substr(std::string(kSessionFailedText).size());
    if (c.expectedError == "*")
      EXPECT_NE(rest, "");
    else
      EXPECT_EQ(rest, c.expectedError);
    EXPECT_EQ(client.Session().companyId, c.companyId);
    EXPECT_FALSE(client.HasSession());
    cloud_.ClearRequests();
    CloudReply reply = client.NotifyBasicUploaded();  // no session: nothing is sent
    EXPECT_FALSE(reply.json.has_value());
    EXPECT_EQ(reply.errorText, "");
    EXPECT_TRUE(cloud_.Requests().empty());
  }
}

TEST_F(CloudClientTest, EachCallSendsItsFieldsInOrderAndLeavesEmptyOnesOut) {
  CloudClient client(Endpoint());
  OpenSession(client);
  struct Case {
    const char* path;
    std::function<CloudReply()> call;
    const char* body;
  };
  const Case cases[] = {
      {"/business/KEY262",
       [&] { return client.SetCloudColumn("tb_goods", "SelfID", "00001 00002", "ID", "9"); },
       "tableName=tb_goods&ColName=SelfID&ColValue=00001+00002&IfName=ID&IfValue=9"},
      {"/business/KEY263",
       [&] { return client.SetCloudBillColumn("tb_bill", "BillID", "12", "ID", ""); },
       "tableName=tb_bill&ColName=BillID&ColValue=12&IfName=ID"},
      {"/business/KEY265", [&] { return client.NotifyBasicDownloaded(); }, "CID=4711"},
      {"/business/KEY266", [&] { return client.FetchUnlinkedRows("tb_user_info"); },
       "tableName=tb_user_info&CID=4711"},
      {"/business/KEY267", [&] { return client.FetchBillMasters("tb_sale", "AND (a.x = 'y')"); },
       "tableName=tb_sale&CID=4711&BillID=0&SQLAnd=AND+%28a.x+%3D+%27y%27%29"},
      {"/business/KEY270", [&] { return client.NotifyBillUploaded("S", 1001); },
       "CID=4711&Table=S&BillID=1001"},
      {"/business/KEY463", [&] { return client.FetchJoinedRows("a JOIN b", "a.*, b.n"); },
       "tableName=a+JOIN+b&CID=4711&Column=a.*%2C+b.n"},
      {"/business/KEY465", [&] { return client.NotifyColorSizeDownloaded(); }, "CID=4711"},
      {"/business/KEY466",
       [&] { return client.FetchBillDetails("tb_line", "AND m=1", "ORDER BY id"); },
       "tableName=tb_line&CID=4711&BillID=0&SQLAnd=AND+m%3D1&SQLOrder=ORDER+BY+id"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    cloud_.ClearRequests();
    cloud_.OnPath(c.path, CloudAnswer::Json(R"([{"id":1}])"));
    CloudReply reply = c.call();
    EXPECT_EQ(reply.errorText, "");
    ASSERT_TRUE(reply.json.has_value());
    EXPECT_EQ((*reply.json)[0]["id"], 1);
    auto requests = cloud_.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].path, c.path);
    EXPECT_EQ(requests[0].body, c.body);
  }
}

TEST_F(CloudClientTest, TheFormKeepsOnlyLettersDigitsAndStarDashDotUnderscorePlain) {
  CloudClient client(Endpoint());
  OpenSession(client);
  cloud_.OnPath("/business/KEY262", CloudAnswer::Json("{}"));
  client.SetCloudColumn("t", "c", "aZ09*-._ ~!'()+&=%/\n中", "i", "1");
  auto requests = cloud_.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].body,
            "tableName=t&ColName=c&ColValue=aZ09*-._+%7E%21%27%28%29%2B%26%3D%25%2F%0A%E4%B8%AD"
            "&IfName=i&IfValue=1");
  EXPECT_EQ(requests[0].FormValue("ColValue"), "aZ09*-._ ~!'()+&=%/\n中");
}

TEST_F(CloudClientTest, RepliesAreReadInTheirDeclaredCharsetElseUtf8ElseGbk) {
  const std::string text = R"([{"name":"长城润滑油","n":2}])";
  struct Case {
    const char* name;
    CloudAnswer answer;
  };
  CloudAnswer gbkAsUtf8Label = CloudAnswer::GbkJson(text);
  gbkAsUtf8Label.contentType = "application/json; charset=\"gb2312\"";
  const Case cases[] = {
      {"declared UTF-8", CloudAnswer::Json(text)},
      {"declared GBK", CloudAnswer::GbkJson(text)},
      {"declared gb2312 in quotes", gbkAsUtf8Label},
      {"undeclared UTF-8", CloudAnswer::Undeclared(text)},
      {"undeclared GBK", CloudAnswer::Undeclared(text::Utf8ToGbk(text))},
      {"UTF-8 with a byte order mark", CloudAnswer::Undeclared("\xEF\xBB\xBF" + text)},
  };
  CloudClient client(Endpoint());
  OpenSession(client);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    cloud_.OnPath("/business/KEY266", c.answer);
    CloudReply reply = client.FetchUnlinkedRows("tb_goods");
    EXPECT_EQ(reply.errorText, "");
    ASSERT_TRUE(reply.json.has_value());
    EXPECT_EQ((*reply.json)[0]["name"], "长城润滑油");
    EXPECT_EQ((*reply.json)[0]["n"], 2);
  }
}

TEST_F(CloudClientTest, BadRepliesGiveNoReplyObject) {
  struct Case {
    const char* name;
    std::string body;
  };
  const Case cases[] = {
      {"not JSON", "Internal error"},
      {"truncated", R"([{"a":)"},
      {"empty", ""},
      {"nested too deep", std::string(5000, '[') + std::string(5000, ']')},
  };
  CloudClient client(Endpoint());
  OpenSession(client);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    cloud_.OnPath("/business/KEY266", CloudAnswer::Json(c.body));
    CloudReply reply = client.FetchUnlinkedRows("tb_goods");
    EXPECT_FALSE(reply.json.has_value());
    EXPECT_EQ(reply.errorText, "");
  }
}

TEST_F(CloudClientTest, AReplyBeyondTheBoundEndsTheCallWithAnError) {
  CloudClient client(Endpoint());
  OpenSession(client);
  cloud_.OnPath("/business/KEY266",
                CloudAnswer::Json("[\"" + std::string(kMaxCloudReplyBytes, 'x') + "\"]"));
  CloudReply reply = client.FetchUnlinkedRows("tb_goods");
  EXPECT_FALSE(reply.json.has_value());
  EXPECT_NE(reply.errorText.find("larger than"), std::string::npos) << reply.errorText;
}

TEST_F(CloudClientTest, ASlowOrVanishedCloudEndsTheCallWithAnErrorText) {
  CloudClient client(Endpoint(1));
  OpenSession(client);
  struct Case {
    const char* name;
    CloudAnswer answer;
  };
  const Case cases[] = {
      {"slower than the time-out", CloudAnswer::Slow(std::chrono::seconds(4), "{}")},
      {"dropped", CloudAnswer::Dropped()},
      {"HTTP 503", CloudAnswer::Status(503)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    cloud_.OnPath("/business/KEY264", c.answer);
    auto started = std::chrono::steady_clock::now();
    CloudReply reply = client.NotifyBasicUploaded();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));
    EXPECT_NE(reply.errorText, "");
    EXPECT_FALSE(reply.json.has_value());
  }
}

TEST_F(CloudClientTest, NoHostMeansNoRequestAndAnErrorText) {
  CloudEndpoint endpoint = Endpoint();
  endpoint.host.clear();
  CloudClient client(endpoint);
  cloud_.OnPath(kSessionPath, CloudAnswer::Json(kSessionReply));
  std::string error;
  EXPECT_FALSE(client.OpenCloudSession("shop", "key", error));
  EXPECT_EQ(error.rfind(kSessionFailedText, 0), 0u);
  EXPECT_TRUE(cloud_.Requests().empty());
}

TEST_F(CloudClientTest, ANumericCompanyIdentifierIsTakenAsText) {
  CloudClient client(Endpoint());
  cloud_.OnPath(kSessionPath, CloudAnswer::Json(R"({"id":815,"SelfID":null})"));
  std::string error;
  ASSERT_TRUE(client.OpenCloudSession("shop", "key", error));
  EXPECT_EQ(client.Session().cid, "815");
  EXPECT_EQ(client.Session().companyId, "00001");
}

}  // namespace
}  // namespace quor::sync
