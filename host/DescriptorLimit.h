// The process's limit on open descriptors. Every client connection holds a
// socket (and the SQL connection of its module another), so a busy server
// reaches the usual soft limit of 1024 long before its ports are full.
#pragma once

#include <sys/resource.h>

#include <string>

namespace quor::host {

struct DescriptorLimitChange {
  rlim_t before = 0;  // the soft limit found
  rlim_t after = 0;   // the soft limit now in force
  int error = 0;      // errno of a raise that failed, else 0
};

// Raises the soft limit to the hard limit (to the kernel's nr_open when the
// hard limit is unlimited, which the soft limit may not be).
DescriptorLimitChange RaiseDescriptorLimit();

// The line start-up logs for a raise that failed; empty when it did not.
std::string DescribeFailure(const DescriptorLimitChange& change);

}  // namespace quor::host
