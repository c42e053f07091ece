#include "sync/CloudClient.h"

#include <ctime>

#include "platform/sql/Connection.h"
#include "platform/sql/SqlError.h"
#include "platform/sql/Statement.h"
#include "sync/CloudForm.h"
#include "sync/CloudReplyText.h"
#include "sync/CloudRows.h"
#include "sync/HttpPoster.h"
#include "sync/PinyinInitials.h"
#include "sync/SyncLog.h"

namespace quor::sync {

namespace {

bool IsBlankCloudText(const std::string& text) {
  return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

// "YYYY-MM-DD hh:mm:ss", the short-date and long-time form the server uses.
std::string CloudCookieTime() {
  std::time_t now = std::time(nullptr);
  std::tm parts{};
  localtime_r(&now, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
  return text;
}

std::chrono::nanoseconds ThreadCpuTime() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

constexpr const char* kNoCloudHostText = "no cloud host is set (setting CloudHost)";

}  // namespace

CloudClient::CloudClient(CloudEndpoint endpoint)
    : endpoint_(std::move(endpoint)), poster_(std::make_unique<HttpPoster>()) {}

CloudClient::~CloudClient() = default;

bool CloudClient::HasSession() const {
  return !IsBlankCloudText(session_.cid);
}

CloudReply CloudClient::SendBody(const std::string& path, const std::string& body,
                                 bool needsSession) {
  CloudReply reply;
  if (needsSession && !HasSession()) return reply;
  if (endpoint_.host.empty()) {
    if (!hostMissingLogged_)
      SyncLog("the setting CloudHost is empty: no request goes to the cloud service");
    hostMissingLogged_ = true;
    reply.errorText = kNoCloudHostText;
    return reply;
  }
  std::string host = endpoint_.host.find(':') != std::string::npos && endpoint_.host[0] != '['
                         ? "[" + endpoint_.host + "]"
                         : endpoint_.host;
  std::string url = "http://" + host + ":" + std::to_string(endpoint_.port) + path;
  std::vector<std::string> headers = {"Content-Type: application/x-www-form-urlencoded",
                                      "User-Agent: Mozilla/5.0", "Accept: text/html, */*"};
  if (!session_.cookie.empty()) headers.push_back("Cookie: " + session_.cookie);
  const auto wallStart = std::chrono::steady_clock::now();
  const auto cpuStart = ThreadCpuTime();
  std::optional<HttpReply> http;
  try {
    http = poster_->Post(url, body, headers, endpoint_.timeoutSeconds, kMaxCloudReplyBytes);
  } catch (const HttpError& error) {
    reply.errorText = error.what();
  }
  times_.wall += std::chrono::steady_clock::now() - wallStart;
  times_.cpu += ThreadCpuTime() - cpuStart;
  ++times_.requests;
  if (!http) {
    SyncLog(path + ": " + reply.errorText);
    return reply;
  }
  reply.json = ParseCloudJson(DecodeCloudReply(http->body, http->contentType));
  if (!reply.json) SyncLog(path + ": the reply is no JSON");
  return reply;
}

CloudReply CloudClient::Send(const std::string& path, std::initializer_list<Field> fields,
                             bool needsSession) {
  if (needsSession && !HasSession()) return {};
  CloudFormFields form;
  form.reserve(fields.size() + 1);
  form.emplace_back("CompanyCDB", session_.companyCode);
  for (const Field& field : fields) form.emplace_back(field.name, field.value);
  return SendBody(path, EncodeCloudForm(form), needsSession);
}

bool CloudClient::OpenCloudSession(const std::string& companyCode, const std::string& companyKey,
                                   std::string& errorText) {
  session_.cid.clear();
  errorText.clear();
  session_.cookie =
      "DelphiSession=" + PinyinInitials(companyCode) + "-" + companyKey + "-" + CloudCookieTime();
  CloudFormFields form = {{"AppCompanyCDB", companyCode}, {"AppCompanyKey", companyKey}};
  CloudReply reply = SendBody("/business/KEY268", EncodeCloudForm(form), false);
  if (reply.Failed()) {
    errorText = std::string(kSessionFailedText) + reply.errorText;
    return false;
  }
  if (!reply.json || !reply.json->is_object()) {
    errorText = std::string(kSessionFailedText) + "the reply is no JSON object";
    return false;
  }
  auto memberText = [&](const char* name) -> std::string {
    auto it = reply.json->find(name);
    if (it == reply.json->end() || it->is_null()) return {};
    if (it->is_string()) return it->get<std::string>();
    if (it->is_number_integer() || it->is_number_unsigned()) return it->dump();
    return {};
  };
  session_.cid = memberText("id");
  std::string companyId = memberText("SelfID");
  session_.companyId = IsBlankCloudText(companyId) ? "00001" : companyId;
  if (IsBlankCloudText(session_.cid)) {
    session_.cid.clear();
    errorText = kSessionFailedText;
    return false;
  }
  return true;
}

CloudReply CloudClient::UploadTableRows(sql::Connection& accountSet, const std::string& tableName,
                                        const std::string& sqlText) {
  if (!HasSession()) return {};
  sql::Statement query(accountSet, "AdoDataSet");
  query.SetParamCheck(false);
  CloudReply reply;
  try {
    query.SetText(sqlText);
    sql::RecordSet& records = query.Open();
    std::size_t start = 0;
    for (;;) {
      CloudRowBatch batch = SerializeRowsToJson(records, start);
      reply = Send("/business/KEY260",
                   {{"tableName", tableName}, {"CID", session_.cid}, {"tableData", batch.json}});
      if (reply.Failed() || batch.end) break;
      start = batch.next;
    }
  } catch (const sql::SqlError& error) {
    reply = CloudReply{};
    reply.errorText = error.what();
    SyncLog("upload of " + tableName + ": " + reply.errorText);
  }
  return reply;
}

CloudReply CloudClient::SetCloudColumn(const std::string& table, const std::string& colName,
                                       const std::string& colValue, const std::string& ifName,
                                       const std::string& ifValue) {
  return Send("/business/KEY262", {{"tableName", table},
                                   {"ColName", colName},
                                   {"ColValue", colValue},
                                   {"IfName", ifName},
                                   {"IfValue", ifValue}});
}

CloudReply CloudClient::SetCloudBillColumn(const std::string& table, const std::string& colName,
                                           const std::string& colValue, const std::string& ifName,
                                           const std::string& ifValue) {
  return Send("/business/KEY263", {{"tableName", table},
                                   {"ColName", colName},
                                   {"ColValue", colValue},
                                   {"IfName", ifName},
                                   {"IfValue", ifValue}});
}

CloudReply CloudClient::NotifyBasicUploaded() {
  return Send("/business/KEY264", {{"CID", session_.cid}});
}

CloudReply CloudClient::NotifyBasicDownloaded() {
  return Send("/business/KEY265", {{"CID", session_.cid}});
}

CloudReply CloudClient::FetchUnlinkedRows(const std::string& table) {
  return Send("/business/KEY266", {{"tableName", table}, {"CID", session_.cid}, {"SelfID", ""}});
}

CloudReply CloudClient::FetchBillMasters(const std::string& table, const std::string& sqlAnd) {
  return Send("/business/KEY267", {{"tableName", table},
                                   {"CID", session_.cid},
                                   {"BillID", "0"},
                                   {"SQLAnd", sqlAnd},
                                   {"SQLOrder", ""}});
}

CloudReply CloudClient::NotifyBillUploaded(const std::string& tableLetter, std::int32_t billId) {
  return Send("/business/KEY270",
              {{"CID", session_.cid}, {"Table", tableLetter}, {"BillID", std::to_string(billId)}});
}

CloudReply CloudClient::FetchJoinedRows(const std::string& table, const std::string& column) {
  return Send("/business/KEY463", {{"tableName", table},
                                   {"CID", session_.cid},
                                   {"SelfID", ""},
                                   {"Column", column},
                                   {"SQLAnd", ""}});
}

CloudReply CloudClient::NotifyColorSizeDownloaded() {
  return Send("/business/KEY465", {{"CID", session_.cid}});
}

CloudReply CloudClient::FetchBillDetails(const std::string& table, const std::string& sqlAnd,
                                         const std::string& sqlOrder) {
  return Send("/business/KEY466", {{"tableName", table},
                                   {"CID", session_.cid},
                                   {"BillID", "0"},
                                   {"SQLAnd", sqlAnd},
                                   {"SQLOrder", sqlOrder}});
}

}  // namespace quor::sync
