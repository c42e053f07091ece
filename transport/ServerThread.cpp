#include "transport/ServerThread.h"

#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <system_error>
#include <utility>

#include "transport/TransportLog.h"

namespace quor::transport {

ServerThread::~ServerThread() {
  Join();
}

void ServerThread::Start(std::function<void()> body, std::size_t stackSize) {
  body_ = std::move(body);
  pthread_attr_t attributes;
  if (int error = ::pthread_attr_init(&attributes)) {
    throw std::system_error(error, std::generic_category(), "thread attributes");
  }
  int error = ::pthread_attr_setstacksize(&attributes, stackSize);
  if (error == 0) error = ::pthread_create(&handle_, &attributes, &ServerThread::Run, this);
  ::pthread_attr_destroy(&attributes);
  if (error != 0) throw std::system_error(error, std::generic_category(), "creating a thread");
  started_ = true;
}

void ServerThread::Join() {
  if (!started_) return;
  ::pthread_join(handle_, nullptr);
  started_ = false;
}

void* ServerThread::Run(void* self) {
  // The body catches what it can; nothing may unwind out of a thread.
  try {
    static_cast<ServerThread*>(self)->body_();
  } catch (const std::exception& error) {
    LogTransport(std::string("a server thread ended by an error: ") + error.what());
  } catch (...) {
    LogTransport("a server thread ended by an unknown error");
  }
  return nullptr;
}

void RaiseConnectionThreadPriority() {
  static std::atomic<bool> refusalLogged{false};
  const id_t thread = static_cast<id_t>(::gettid());
  errno = 0;
  const int current = ::getpriority(PRIO_PROCESS, thread);
  if (errno != 0) return;
  // Per thread on Linux: the PRIO_PROCESS "process" of a thread id is that
  // thread alone.
  if (::setpriority(PRIO_PROCESS, thread, current - 1) == 0) return;
  if (!refusalLogged.exchange(true)) {
    LogTransport("connection threads keep normal priority: raising it needs LimitNICE=-1 (" +
                 std::generic_category().message(errno) + ")");
  }
}

}  // namespace quor::transport
