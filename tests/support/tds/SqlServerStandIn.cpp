#include "tests/support/tds/SqlServerStandIn.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <iostream>
#include <list>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "tests/support/tds/BrowserResponder.h"
#include "tests/support/tds/ScriptBook.h"
#include "tests/support/tds/TdsSession.h"

namespace quor::test {

const Value& ProcedureCall::operator[](std::string_view name) const {
  for (std::size_t i = 0; i < names.size() && i < values.size(); ++i) {
    std::string_view n = names[i];
    if (!n.empty() && n.front() == '@') n.remove_prefix(1);
    std::string_view wanted = name;
    if (!wanted.empty() && wanted.front() == '@') wanted.remove_prefix(1);
    if (tds::Lower(n) == tds::Lower(wanted)) return values[i];
  }
  throw std::out_of_range("procedure " + procedure + " has no parameter " + std::string(name));
}

bool ProcedureCall::WasSent(std::string_view name) const {
  const Value& v = (*this)[name];
  return sent.at(static_cast<std::size_t>(&v - values.data()));
}

class SqlServerStandIn::Impl {
 public:
  explicit Impl(SqlServerStandInOptions options) : options_(std::move(options)) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) Fail("socket");
    int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(options_.port);
    if (::inet_pton(AF_INET, options_.host.c_str(), &addr.sin_addr) != 1) {
      ::close(listenFd_);
      throw std::runtime_error("SqlServerStandIn: bad host " + options_.host);
    }
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
      int err = errno;
      ::close(listenFd_);
      throw std::runtime_error("SqlServerStandIn: cannot bind port " +
                               std::to_string(options_.port) + ": " + std::strerror(err));
    }
    if (::listen(listenFd_, 16) != 0) {
      ::close(listenFd_);
      Fail("listen");
    }
    socklen_t len = sizeof addr;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC);
    if (wakeFd_ < 0) {
      ::close(listenFd_);
      Fail("eventfd");
    }
    acceptThread_ = std::thread([this] { AcceptLoop(); });
  }

  ~Impl() {
    std::uint64_t one = 1;
    if (::write(wakeFd_, &one, sizeof one) < 0) std::cerr << "SqlServerStandIn: cannot wake\n";
    acceptThread_.join();
    browser_.reset();
    std::lock_guard<std::mutex> lock(sessionsMutex_);
    for (Running& r : sessions_) r.session->Shutdown();
    for (Running& r : sessions_) r.thread.join();
    sessions_.clear();
    ::close(wakeFd_);
    ::close(listenFd_);
  }

  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  std::uint16_t Port() const { return port_; }
  tds::ScriptBook& Book() { return book_; }
  const SqlServerStandInOptions& Options() const { return options_; }

  std::uint16_t StartBrowser(std::uint16_t udpPort, const std::string& instance) {
    std::string version = std::to_string(options_.versionMajor) + "." +
                          std::to_string(options_.versionMinor) + "." +
                          std::to_string(options_.versionBuild) + ".0";
    browser_ = std::make_unique<tds::BrowserResponder>(options_.host, udpPort, options_.serverName,
                                                       instance, version, port_);
    return browser_->Port();
  }

  void DropConnections() {
    std::lock_guard<std::mutex> lock(sessionsMutex_);
    for (Running& r : sessions_) r.session->Shutdown();
  }

  std::size_t OpenConnections() {
    std::lock_guard<std::mutex> lock(sessionsMutex_);
    std::size_t open = 0;
    for (Running& r : sessions_) open += r.session->Finished() ? 0 : 1;
    return open;
  }

 private:
  struct Running {
    std::shared_ptr<tds::TdsSession> session;
    std::thread thread;
  };

  [[noreturn]] static void Fail(const char* what) {
    throw std::runtime_error(std::string("SqlServerStandIn: ") + what + ": " +
                             std::strerror(errno));
  }

  void AcceptLoop() {
    for (;;) {
      pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        std::cerr << "SqlServerStandIn: poll failed: " << std::strerror(errno) << "\n";
        return;
      }
      if (fds[1].revents) return;
      int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      int one = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      std::lock_guard<std::mutex> lock(sessionsMutex_);
      for (auto it = sessions_.begin(); it != sessions_.end();) {
        if (it->session->Finished()) {
          it->thread.join();
          it = sessions_.erase(it);
        } else {
          ++it;
        }
      }
      auto session = std::make_shared<tds::TdsSession>(fd, book_, options_);
      sessions_.push_back(Running{session, std::thread([session] { session->Run(); })});
    }
  }

  SqlServerStandInOptions options_;
  tds::ScriptBook book_;
  int listenFd_ = -1;
  int wakeFd_ = -1;
  std::uint16_t port_ = 0;
  std::thread acceptThread_;
  std::unique_ptr<tds::BrowserResponder> browser_;
  std::mutex sessionsMutex_;
  std::list<Running> sessions_;
};

SqlServerStandIn::SqlServerStandIn() : SqlServerStandIn(SqlServerStandInOptions{}) {}

SqlServerStandIn::SqlServerStandIn(SqlServerStandInOptions options)
    : impl_(std::make_unique<Impl>(std::move(options))) {}

SqlServerStandIn::~SqlServerStandIn() = default;

std::uint16_t SqlServerStandIn::Port() const {
  return impl_->Port();
}

std::string SqlServerStandIn::ConnectionString(const std::string& user, const std::string& password,
                                               const std::string& database) const {
  auto braced = [](const std::string& v) {
    return v.find_first_of(";{}= ") == std::string::npos ? v : "{" + v + "}";
  };
  return "Driver=FreeTDS;Server=" + impl_->Options().host + ";Port=" + std::to_string(Port()) +
         ";Database=" + braced(database) + ";UID=" + braced(user) + ";PWD=" + braced(password) +
         ";TDS_Version=7.4;ClientCharset=UTF-8;";
}

void SqlServerStandIn::AddLogin(const std::string& user, const std::string& password) {
  impl_->Book().AddLogin(user, password);
}

void SqlServerStandIn::AddDatabase(const std::string& name) {
  impl_->Book().AddDatabase(name);
}

void SqlServerStandIn::DeclareProcedure(ProcedureDecl decl) {
  impl_->Book().DeclareProcedure(std::move(decl));
}

void SqlServerStandIn::OnProcedure(const std::string& name, ProcedureHandler handler) {
  impl_->Book().SetProcedureHandler(name, std::move(handler));
}

void SqlServerStandIn::OnProcedure(const std::string& name, Reply reply) {
  OnProcedure(name, [reply](const ProcedureCall&) { return reply; });
}

void SqlServerStandIn::OnStatement(const std::string& text, Reply reply) {
  OnStatement(text, [reply](const StatementCall&) { return reply; });
}

void SqlServerStandIn::OnStatement(const std::string& text, StatementHandler handler) {
  impl_->Book().AddStatement(text, std::move(handler));
}

void SqlServerStandIn::OnStatementMatching(const std::regex& pattern, Reply reply) {
  OnStatementMatching(pattern, [reply](const StatementCall&) { return reply; });
}

void SqlServerStandIn::OnStatementMatching(const std::regex& pattern, StatementHandler handler) {
  impl_->Book().AddStatementPattern(pattern, std::move(handler));
}

void SqlServerStandIn::OnTransaction(TransactionHandler handler) {
  impl_->Book().SetTransactionHandler(std::move(handler));
}

std::vector<Request> SqlServerStandIn::Requests() const {
  return impl_->Book().Requests();
}

void SqlServerStandIn::ClearRequests() {
  impl_->Book().ClearRequests();
}

std::uint16_t SqlServerStandIn::StartBrowser(std::uint16_t udpPort,
                                             const std::string& instanceName) {
  return impl_->StartBrowser(udpPort, instanceName);
}

void SqlServerStandIn::DropConnections() {
  impl_->DropConnections();
}

std::size_t SqlServerStandIn::OpenConnections() const {
  return impl_->OpenConnections();
}

}  // namespace quor::test
