// A joinable thread with a stack size of our choosing. Connection threads
// come by the thousand, and the default 8 MiB stack each would make 4,000
// connections reserve 32 GiB of address space; see kConnectionStackSize.
#pragma once

#include <pthread.h>

#include <cstddef>
#include <functional>

namespace quor::transport {

// The stack of a connection thread. What runs there: the interpreter and the
// value codec (nesting bounded at 64 levels of a few hundred bytes each), the
// remote data modules' method calls, the ODBC driver manager and the TDS
// driver (their buffers live on the heap), iconv. The test suite passes with
// a quarter of this, so the margin is fourfold; the sanitizer build's
// instrumented frames get four times as much.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr std::size_t kConnectionStackSize = 2u * 1024u * 1024u;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr std::size_t kConnectionStackSize = 2u * 1024u * 1024u;
#else
inline constexpr std::size_t kConnectionStackSize = 512u * 1024u;
#endif
#else
inline constexpr std::size_t kConnectionStackSize = 512u * 1024u;
#endif

class ServerThread {
 public:
  ServerThread() = default;
  // Joins a thread that is still running.
  ~ServerThread();
  ServerThread(const ServerThread&) = delete;
  ServerThread& operator=(const ServerThread&) = delete;

  // std::system_error when the system cannot create the thread (out of
  // memory, or of tasks under the service's TasksMax).
  void Start(std::function<void()> body, std::size_t stackSize = kConnectionStackSize);
  bool Joinable() const { return started_; }
  void Join();

 private:
  static void* Run(void* self);

  std::function<void()> body_;
  pthread_t handle_{};
  bool started_ = false;
};

// Raises the calling thread one step above normal priority (a nice value one
// lower) where the system lets this process do so: a service whose unit sets
// LimitNICE=-1. Elsewhere the thread stays at normal priority; the first
// refusal is logged once.
void RaiseConnectionThreadPriority();

}  // namespace quor::transport
