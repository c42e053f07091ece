#include "host/DescriptorLimit.h"

#include <cerrno>
#include <cstring>
#include <fstream>

namespace quor::host {
namespace {

// The ceiling the kernel puts on any descriptor limit.
rlim_t KernelCeiling() {
  std::ifstream file("/proc/sys/fs/nr_open");
  unsigned long long ceiling = 0;
  if (file >> ceiling && ceiling > 0) return static_cast<rlim_t>(ceiling);
  return 1024 * 1024;  // the kernel's default nr_open
}

}  // namespace

DescriptorLimitChange RaiseDescriptorLimit() {
  DescriptorLimitChange change;
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) {
    change.error = errno;
    return change;
  }
  change.before = change.after = limit.rlim_cur;
  rlim_t target = limit.rlim_max;
  if (target == RLIM_INFINITY || target > KernelCeiling()) target = KernelCeiling();
  if (limit.rlim_cur >= target) return change;
  limit.rlim_cur = target;
  if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) {
    change.error = errno;
    return change;
  }
  change.after = target;
  return change;
}

std::string DescribeFailure(const DescriptorLimitChange& change) {
  if (change.error == 0) return {};
  return "open-file limit left at " + std::to_string(change.before) +
         " (raising it to the hard limit failed: " + std::strerror(change.error) + ")";
}

}  // namespace quor::host
