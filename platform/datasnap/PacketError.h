// Raised when rows cannot be put into a data packet faithfully: a value that
// does not fit its column, or a packet that outgrows the layout's counters.
#pragma once

#include <stdexcept>

namespace quor::datasnap {

class PacketError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace quor::datasnap
