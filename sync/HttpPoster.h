// One HTTP/1.1 client handle (libcurl) that posts forms and reads the reply,
// with connect and whole-exchange time-outs and a bound on the reply's size.
// The handle keeps its connection to the cloud between calls.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

namespace quor::sync {

// A failed exchange: the link (refused, dropped, timed out, reply too large)
// or an HTTP status outside 2xx. The message is the call's error text.
class HttpError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct HttpReply {
  long status = 0;
  std::string contentType;  // the Content-Type header, empty when none came
  std::string body;
};

class HttpPoster {
 public:
  HttpPoster();
  ~HttpPoster();
  HttpPoster(const HttpPoster&) = delete;
  HttpPoster& operator=(const HttpPoster&) = delete;

  // `headers` are whole header lines ("Cookie: ..."). Throws HttpError.
  HttpReply Post(const std::string& url, const std::string& body,
                 const std::vector<std::string>& headers, int timeoutSeconds,
                 std::size_t maxReplyBytes);

 private:
  void* handle_;  // CURL*
};

}  // namespace quor::sync
