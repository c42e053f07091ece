// A stand-in for the cloud business service in tests: an HTTP/1.1 server on
// loopback that records every request (method, path, headers, body) and
// answers per path from a script: JSON text in UTF-8 or GBK, with or without a
// declared charset, after a delay, with an HTTP error status, or by dropping
// the connection. Thread-safe; handlers run on the connection's thread.
//
//   quor::test::CloudStandIn cloud;
//   cloud.OnPath("/business/KEY268", CloudAnswer::Json(R"({"id":"7","SelfID":"00002"})"));
//   ... point the client at 127.0.0.1:cloud.Port() ...
//   ASSERT_TRUE(cloud.WaitForRequests(1, std::chrono::seconds(5)));
//   cloud.Requests()[0].FormValue("AppCompanyKey")
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quor::test {

struct CloudRequest {
  std::string method;
  std::string path;
  // Header names in lower case; a repeated header keeps its last value.
  std::map<std::string, std::string> headers;
  std::string body;

  // The body read as an HTML form (name=value pairs joined by "&", "+" for a
  // space, "%XX" escapes), in order, bytes as sent.
  std::vector<std::pair<std::string, std::string>> Form() const;
  std::optional<std::string> FormValue(const std::string& name) const;
  std::string Header(const std::string& lowerCaseName) const;
};

struct CloudAnswer {
  int status = 200;
  std::string body;  // sent as it stands
  std::string contentType = "application/json;charset=UTF-8";
  std::chrono::milliseconds delay{0};  // wait before answering
  bool dropConnection = false;         // close the socket instead of answering

  // UTF-8 text with charset UTF-8 declared.
  static CloudAnswer Json(const std::string& utf8);
  // The UTF-8 text converted to GBK, with charset GBK declared.
  static CloudAnswer GbkJson(const std::string& utf8);
  // Bytes with a content type that names no charset.
  static CloudAnswer Undeclared(const std::string& bytes);
  static CloudAnswer Status(int status, const std::string& body = "");
  static CloudAnswer Slow(std::chrono::milliseconds delay, const std::string& utf8);
  static CloudAnswer Dropped();
};

using CloudHandler = std::function<CloudAnswer(const CloudRequest&)>;

class CloudStandIn {
 public:
  CloudStandIn();   // 127.0.0.1, ephemeral port
  ~CloudStandIn();  // cuts pending delays short, closes connections, joins threads
  CloudStandIn(const CloudStandIn&) = delete;
  CloudStandIn& operator=(const CloudStandIn&) = delete;

  std::uint16_t Port() const;

  // The latest registration for a path wins. Unscripted paths answer 404.
  void OnPath(const std::string& path, CloudAnswer answer);
  void OnPath(const std::string& path, CloudHandler handler);

  // Requests in arrival order (recorded before they are answered).
  std::vector<CloudRequest> Requests() const;
  std::vector<CloudRequest> RequestsTo(const std::string& path) const;
  void ClearRequests();
  // True once `count` requests have arrived since the last clear; false when
  // `limit` passes first.
  bool WaitForRequests(std::size_t count, std::chrono::milliseconds limit) const;

  class Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace quor::test
