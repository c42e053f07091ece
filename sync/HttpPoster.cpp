#include "sync/HttpPoster.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace quor::sync {

namespace {

void InitialiseCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct HttpPostProgress {
  std::string body;
  std::string statusLine;
  std::size_t limit = 0;
  bool tooLarge = false;
};

std::size_t CollectHttpBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto* progress = static_cast<HttpPostProgress*>(user);
  std::size_t bytes = size * count;
  if (progress->body.size() + bytes > progress->limit) {
    progress->tooLarge = true;
    return 0;  // ends the transfer with CURLE_WRITE_ERROR
  }
  progress->body.append(data, bytes);
  return bytes;
}

std::size_t CollectHttpStatusLine(char* data, std::size_t size, std::size_t count, void* user) {
  auto* progress = static_cast<HttpPostProgress*>(user);
  std::string line(data, size * count);
  if (line.rfind("HTTP/", 0) == 0) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    progress->statusLine = line;
  }
  return size * count;
}

struct CurlHeaderList {
  curl_slist* list = nullptr;
  ~CurlHeaderList() { curl_slist_free_all(list); }
};

}  // namespace

HttpPoster::HttpPoster() {
  InitialiseCurlOnce();
  handle_ = curl_easy_init();
  if (handle_ == nullptr) throw HttpError("the HTTP client could not be created");
}

HttpPoster::~HttpPoster() {
  curl_easy_cleanup(static_cast<CURL*>(handle_));
}

HttpReply HttpPoster::Post(const std::string& url, const std::string& body,
                           const std::vector<std::string>& headers, int timeoutSeconds,
                           std::size_t maxReplyBytes) {
  CURL* curl = static_cast<CURL*>(handle_);
  curl_easy_reset(curl);
  HttpPostProgress progress;
  progress.limit = maxReplyBytes;
  CurlHeaderList headerList;
  for (const auto& line : headers) {
    curl_slist* grown = curl_slist_append(headerList.list, line.c_str());
    if (grown == nullptr) throw HttpError("out of memory for the request headers");
    headerList.list = grown;
  }
  // Waiting for "100 Continue" would cost every large batch a round trip.
  headerList.list = curl_slist_append(headerList.list, "Expect:");
  char errorBuffer[CURL_ERROR_SIZE] = {};
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_POST, 1L);
  curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
  curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headerList.list);
  curl_easy_setopt(curl, CURLOPT_PROXY, "");  // never a proxy from the environment
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
  if (timeoutSeconds > 0) {
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, static_cast<long>(timeoutSeconds));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, static_cast<long>(timeoutSeconds));
  }
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, CollectHttpBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &progress);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, CollectHttpStatusLine);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &progress);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
  CURLcode code = curl_easy_perform(curl);
  if (progress.tooLarge)
    throw HttpError("the reply is larger than " + std::to_string(maxReplyBytes) + " bytes");
  if (code != CURLE_OK)
    throw HttpError(errorBuffer[0] != '\0' ? std::string(errorBuffer) : curl_easy_strerror(code));
  HttpReply reply;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
  if (reply.status < 200 || reply.status > 299)
    throw HttpError(progress.statusLine.empty() ? "HTTP status " + std::to_string(reply.status)
                                                : progress.statusLine);
  char* contentType = nullptr;
  if (curl_easy_getinfo(curl, CURLINFO_CONTENT_TYPE, &contentType) == CURLE_OK && contentType)
    reply.contentType = contentType;
  reply.body = std::move(progress.body);
  return reply;
}

}  // namespace quor::sync
