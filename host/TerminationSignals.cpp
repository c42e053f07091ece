#include "host/TerminationSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <stdexcept>
#include <system_error>

namespace quor::host {
namespace {

std::atomic<int> signalPipe{-1};
constexpr int kSignals[] = {SIGTERM, SIGINT};

extern "C" void OnSignal(int number) {
  int savedErrno = errno;
  int fd = signalPipe.load();
  if (fd >= 0) {
    unsigned char byte = static_cast<unsigned char>(number);
    // A full pipe already holds a pending request; losing this byte is fine.
    [[maybe_unused]] ssize_t written = ::write(fd, &byte, 1);
  }
  errno = savedErrno;
}

}  // namespace

TerminationSignals::TerminationSignals() {
  if (signalPipe.load() >= 0) throw std::logic_error("termination signals already handled");
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
    throw std::system_error(errno, std::generic_category(), "signal pipe");
  }
  readFd_ = fds[0];
  writeFd_ = fds[1];
  signalPipe.store(writeFd_);
  notifier_ = std::make_unique<QSocketNotifier>(readFd_, QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { OnReadable(); });

  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int number : kSignals) ::sigaction(number, &action, nullptr);
}

TerminationSignals::~TerminationSignals() {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  for (int number : kSignals) ::sigaction(number, &action, nullptr);
  signalPipe.store(-1);
  notifier_.reset();
  ::close(readFd_);
  ::close(writeFd_);
}

void TerminationSignals::OnReadable() {
  unsigned char byte = 0;
  while (::read(readFd_, &byte, 1) == 1) {
    if (received_ == 0) received_ = byte;
  }
  QCoreApplication::quit();
}

}  // namespace quor::host
