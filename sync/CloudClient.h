// The client of the cloud business service: one session per account set (the
// "DelphiSession" cookie and the company's cloud identifier) and the twelve
// form-POST calls under "/business/KEY...", each answered with JSON.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "platform/com/Variant.h"
#include "platform/sql/Value.h"

namespace quor::sql {
class Connection;
}

namespace quor::sync {

class HttpPoster;

// Where the cloud service listens. Without a host no request is made.
struct CloudEndpoint {
  std::string host;
  int port = 8080;
  int timeoutSeconds = 30;  // connect and whole-exchange limit of every request
};

// The settings CloudHost, CloudPort and CloudTimeoutSeconds.
CloudEndpoint ReadCloudEndpoint();

struct CloudSession {
  std::string cookie;  // "DelphiSession=" + initials + "-" + key + "-" + time
  std::string cid;     // the company's cloud identifier; empty: no session
  std::string companyId = "00001";
  std::string companyCode;  // the "CompanyCDB" field of the calls; stays empty
  std::string operatorId;   // the synchroniser acts without an operator
  std::string vocation;     // trade code of the account set being worked on
};

// A call's outcome: the parsed reply (none when there was no session, the
// exchange failed or the reply was no JSON) and the error text (empty when the
// exchange succeeded or no request was made).
struct CloudReply {
  std::optional<nlohmann::json> json;
  std::string errorText;
  bool Failed() const { return !errorText.empty(); }
};

// The text that opens every failed session's error.
inline constexpr const char* kSessionFailedText = "校检公司密匙失败，请录入正确的公司密匙!";

// Replies larger than this end the exchange with an error instead of filling memory.
inline constexpr std::size_t kMaxCloudReplyBytes = 64u * 1024u * 1024u;

class CloudClient {
 public:
  explicit CloudClient(CloudEndpoint endpoint);
  ~CloudClient();
  CloudClient(const CloudClient&) = delete;
  CloudClient& operator=(const CloudClient&) = delete;

  const CloudEndpoint& Endpoint() const { return endpoint_; }

  // Time spent in HTTP exchanges since the client was made, for the pass's
  // log and for measuring: wall time, and the calling thread's CPU time in them.
  struct ExchangeTimes {
    std::chrono::nanoseconds wall{0};
    std::chrono::nanoseconds cpu{0};
    std::size_t requests = 0;
  };
  const ExchangeTimes& Times() const { return times_; }

  // "/business/KEY268". Replaces the session; false (with the error text) when
  // the cloud gave no company identifier.
  bool OpenCloudSession(const std::string& companyCode, const std::string& companyKey,
                        std::string& errorText);
  CloudSession& Session() { return session_; }
  const CloudSession& Session() const { return session_; }
  bool HasSession() const;

  // "/business/KEY260": runs `sqlText` on `accountSet` and sends the rows in
  // batches of 1,002; the reply is the last batch's. A statement that fails
  // sends nothing and reports the server's text.
  CloudReply UploadTableRows(sql::Connection& accountSet, const std::string& tableName,
                             const std::string& sqlText);
  CloudReply SetCloudColumn(const std::string& table, const std::string& colName,
                            const std::string& colValue, const std::string& ifName,
                            const std::string& ifValue);  // KEY262
  CloudReply SetCloudBillColumn(const std::string& table, const std::string& colName,
                                const std::string& colValue, const std::string& ifName,
                                const std::string& ifValue);                           // KEY263
  CloudReply NotifyBasicUploaded();                                                    // KEY264
  CloudReply NotifyBasicDownloaded();                                                  // KEY265
  CloudReply FetchUnlinkedRows(const std::string& table);                              // KEY266
  CloudReply FetchBillMasters(const std::string& table, const std::string& sqlAnd);    // KEY267
  CloudReply NotifyBillUploaded(const std::string& tableLetter, std::int32_t billId);  // KEY270
  CloudReply FetchJoinedRows(const std::string& table, const std::string& column);     // KEY463
  CloudReply NotifyColorSizeDownloaded();                                              // KEY465
  CloudReply FetchBillDetails(const std::string& table, const std::string& sqlAnd,
                              const std::string& sqlOrder);  // KEY466

 private:
  struct Field {
    std::string name;
    std::string value;
  };
  // Posts `fields` (empty values left out) to `path`; no request without a
  // session unless `needsSession` is false.
  CloudReply Send(const std::string& path, std::initializer_list<Field> fields,
                  bool needsSession = true);
  CloudReply SendBody(const std::string& path, const std::string& body, bool needsSession);

  CloudEndpoint endpoint_;
  CloudSession session_;
  std::unique_ptr<HttpPoster> poster_;
  ExchangeTimes times_;
  bool hostMissingLogged_ = false;
};

// A reply member as a typed value: integer → 64-bit integer, floating number →
// double, boolean, string → text, null (or absent) → empty, object or array →
// its JSON text.
com::Variant CloudValue(const nlohmann::json& member);

// Cloud times are milliseconds since 1970-01-01 read with a fixed offset of
// eight hours: the cloud's 0 is local 1970-01-01 08:00.
sql::DateTime CloudMillisToDateTime(std::int64_t millis);
std::int64_t DateTimeToCloudMillis(const sql::DateTime& local);

}  // namespace quor::sync
