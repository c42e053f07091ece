#include "tests/support/cloud/CloudStandIn.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <condition_variable>
#include <list>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "platform/text/Encodings.h"

namespace quor::test {

namespace {

std::string LowerCloudText(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

int HexDigitOfCloudForm(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string DecodeCloudFormPart(const std::string& part) {
  std::string out;
  for (std::size_t i = 0; i < part.size(); ++i) {
    char c = part[i];
    if (c == '+') {
      out += ' ';
    } else if (c == '%' && i + 2 < part.size() && HexDigitOfCloudForm(part[i + 1]) >= 0 &&
               HexDigitOfCloudForm(part[i + 2]) >= 0) {
      out += static_cast<char>(HexDigitOfCloudForm(part[i + 1]) * 16 +
                               HexDigitOfCloudForm(part[i + 2]));
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

const char* ReasonOfCloudStatus(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 404:
      return "Not Found";
    case 500:
      return "Internal Server Error";
    case 503:
      return "Service Unavailable";
    default:
      return "Status";
  }
}

}  // namespace

std::vector<std::pair<std::string, std::string>> CloudRequest::Form() const {
  std::vector<std::pair<std::string, std::string>> fields;
  std::size_t start = 0;
  while (start <= body.size() && !body.empty()) {
    std::size_t end = body.find('&', start);
    if (end == std::string::npos) end = body.size();
    std::string pair = body.substr(start, end - start);
    std::size_t eq = pair.find('=');
    if (eq == std::string::npos) {
      fields.emplace_back(DecodeCloudFormPart(pair), "");
    } else {
      fields.emplace_back(DecodeCloudFormPart(pair.substr(0, eq)),
                          DecodeCloudFormPart(pair.substr(eq + 1)));
    }
    start = end + 1;
  }
  return fields;
}

std::optional<std::string> CloudRequest::FormValue(const std::string& name) const {
  for (auto& [key, value] : Form())
    if (key == name) return value;
  return std::nullopt;
}

std::string CloudRequest::Header(const std::string& lowerCaseName) const {
  auto it = headers.find(lowerCaseName);
  return it == headers.end() ? std::string() : it->second;
}

CloudAnswer CloudAnswer::Json(const std::string& utf8) {
  CloudAnswer answer;
  answer.body = utf8;
  return answer;
}

CloudAnswer CloudAnswer::GbkJson(const std::string& utf8) {
  CloudAnswer answer;
  answer.body = text::Utf8ToGbk(utf8);
  answer.contentType = "application/json; charset=GBK";
  return answer;
}

CloudAnswer CloudAnswer::Undeclared(const std::string& bytes) {
  CloudAnswer answer;
  answer.body = bytes;
  answer.contentType = "text/html";
  return answer;
}

CloudAnswer CloudAnswer::Status(int status, const std::string& body) {
  CloudAnswer answer;
  answer.status = status;
  answer.body = body;
  answer.contentType = "text/html";
  return answer;
}

CloudAnswer CloudAnswer::Slow(std::chrono::milliseconds delay, const std::string& utf8) {
  CloudAnswer answer = Json(utf8);
  answer.delay = delay;
  return answer;
}

CloudAnswer CloudAnswer::Dropped() {
  CloudAnswer answer;
  answer.dropConnection = true;
  return answer;
}

class CloudStandIn::Impl {
 public:
  Impl() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0) throw std::runtime_error("cloud stand-in: socket failed");
    int on = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 64) != 0) {
      ::close(listener_);
      throw std::runtime_error("cloud stand-in: bind/listen failed");
    }
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    if (::pipe2(wakePipe_, O_CLOEXEC) != 0) {
      ::close(listener_);
      throw std::runtime_error("cloud stand-in: pipe failed");
    }
    acceptThread_ = std::thread([this] { AcceptLoop(); });
  }

  ~Impl() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    stopped_.notify_all();
    [[maybe_unused]] auto written = ::write(wakePipe_[1], "x", 1);
    acceptThread_.join();
    std::list<std::thread> threads;
    {
      std::lock_guard lock(mutex_);
      for (int fd : openSockets_) ::shutdown(fd, SHUT_RDWR);
      threads.swap(connectionThreads_);
    }
    for (auto& thread : threads) thread.join();
    ::close(listener_);
    ::close(wakePipe_[0]);
    ::close(wakePipe_[1]);
  }

  std::uint16_t Port() const { return port_; }

  void OnPath(const std::string& path, CloudHandler handler) {
    std::lock_guard lock(mutex_);
    handlers_[path] = std::move(handler);
  }

  std::vector<CloudRequest> Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }

  void ClearRequests() {
    std::lock_guard lock(mutex_);
    requests_.clear();
  }

  bool WaitForRequests(std::size_t count, std::chrono::milliseconds limit) const {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, limit, [&] { return requests_.size() >= count; });
  }

 private:
  void AcceptLoop() {
    for (;;) {
      pollfd fds[2] = {{listener_, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0) continue;
      if (fds[1].revents != 0) return;
      int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      int on = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      std::lock_guard lock(mutex_);
      if (stopping_) {
        ::close(fd);
        return;
      }
      openSockets_.push_back(fd);
      connectionThreads_.emplace_back([this, fd] { Serve(fd); });
    }
  }

  // Appends what the peer sent next; false when the peer or the stand-in ended the link.
  static bool ReadMore(int fd, std::string& buffer) {
    char chunk[65536];
    ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
    if (got <= 0) return false;
    buffer.append(chunk, static_cast<std::size_t>(got));
    return true;
  }

  static bool SendAll(int fd, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
      ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return false;
      sent += static_cast<std::size_t>(n);
    }
    return true;
  }

  void Serve(int fd) {
    std::string buffer;
    bool open = true;
    while (open) {
      std::size_t headerEnd;
      while ((headerEnd = buffer.find("\r\n\r\n")) == std::string::npos)
        if (!ReadMore(fd, buffer)) {
          open = false;
          break;
        }
      if (!open) break;
      CloudRequest request;
      std::string head = buffer.substr(0, headerEnd);
      buffer.erase(0, headerEnd + 4);
      std::size_t lineEnd = head.find("\r\n");
      std::string requestLine = head.substr(0, lineEnd);
      std::size_t sp1 = requestLine.find(' ');
      std::size_t sp2 = requestLine.find(' ', sp1 + 1);
      if (sp1 == std::string::npos || sp2 == std::string::npos) break;
      request.method = requestLine.substr(0, sp1);
      request.path = requestLine.substr(sp1 + 1, sp2 - sp1 - 1);
      std::size_t pos = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
      while (pos < head.size()) {
        std::size_t end = head.find("\r\n", pos);
        if (end == std::string::npos) end = head.size();
        std::string line = head.substr(pos, end - pos);
        std::size_t colon = line.find(':');
        if (colon != std::string::npos) {
          std::string value = line.substr(colon + 1);
          value.erase(0, value.find_first_not_of(" \t"));
          request.headers[LowerCloudText(line.substr(0, colon))] = value;
        }
        pos = end + 2;
      }
      if (LowerCloudText(request.Header("expect")) == "100-continue" &&
          !SendAll(fd, "HTTP/1.1 100 Continue\r\n\r\n"))
        break;
      std::size_t length = 0;
      if (auto text = request.Header("content-length"); !text.empty())
        length = static_cast<std::size_t>(std::stoull(text));
      while (buffer.size() < length)
        if (!ReadMore(fd, buffer)) {
          open = false;
          break;
        }
      if (!open) break;
      request.body = buffer.substr(0, length);
      buffer.erase(0, length);

      CloudHandler handler;
      {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
        auto it = handlers_.find(request.path);
        if (it != handlers_.end()) handler = it->second;
      }
      arrived_.notify_all();
      CloudAnswer answer = handler ? handler(request) : CloudAnswer::Status(404, "no script");
      if (answer.delay.count() > 0) {
        std::unique_lock lock(mutex_);
        if (stopped_.wait_for(lock, answer.delay, [&] { return stopping_; })) break;
      }
      if (answer.dropConnection) break;
      std::string reply = "HTTP/1.1 " + std::to_string(answer.status) + " " +
                          ReasonOfCloudStatus(answer.status) + "\r\n";
      reply += "Content-Type: " + answer.contentType + "\r\n";
      reply += "Content-Length: " + std::to_string(answer.body.size()) + "\r\n\r\n";
      reply += answer.body;
      if (!SendAll(fd, reply)) break;
      if (LowerCloudText(request.Header("connection")) == "close") break;
    }
    std::lock_guard lock(mutex_);
    openSockets_.erase(std::remove(openSockets_.begin(), openSockets_.end(), fd),
                       openSockets_.end());
    ::close(fd);
  }

  int listener_ = -1;
  int wakePipe_[2] = {-1, -1};
  std::uint16_t port_ = 0;
  std::thread acceptThread_;
  mutable std::mutex mutex_;  // guards everything below
  mutable std::condition_variable arrived_;
  std::condition_variable stopped_;
  bool stopping_ = false;
  std::map<std::string, CloudHandler> handlers_;
  std::vector<CloudRequest> requests_;
  std::vector<int> openSockets_;
  std::list<std::thread> connectionThreads_;
};

CloudStandIn::CloudStandIn() : impl_(std::make_unique<Impl>()) {}
CloudStandIn::~CloudStandIn() = default;

std::uint16_t CloudStandIn::Port() const {
  return impl_->Port();
}

void CloudStandIn::OnPath(const std::string& path, CloudAnswer answer) {
  impl_->OnPath(path, [answer](const CloudRequest&) { return answer; });
}

void CloudStandIn::OnPath(const std::string& path, CloudHandler handler) {
  impl_->OnPath(path, std::move(handler));
}

std::vector<CloudRequest> CloudStandIn::Requests() const {
  return impl_->Requests();
}

std::vector<CloudRequest> CloudStandIn::RequestsTo(const std::string& path) const {
  std::vector<CloudRequest> matching;
  for (auto& request : impl_->Requests())
    if (request.path == path) matching.push_back(request);
  return matching;
}

void CloudStandIn::ClearRequests() {
  impl_->ClearRequests();
}

bool CloudStandIn::WaitForRequests(std::size_t count, std::chrono::milliseconds limit) const {
  return impl_->WaitForRequests(count, limit);
}

}  // namespace quor::test
