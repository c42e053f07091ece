// TCommQueue: a ring holding the most recent bytes read from the modem, so a
// reply can be recognised, or reported when it is not, from its last bytes.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quor::sms {

class ECommQueueError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TCommQueue {
 public:
  explicit TCommQueue(int capacity = 1024);

  int Capacity() const { return static_cast<int>(buffer_.size()); }
  // 1 to 10000; growing keeps the bytes in place, shrinking keeps the last
  // new-size bytes of the array (array order) at its start.
  void SetCapacity(int capacity);

  void ClearQueue();
  void PushByte(std::uint8_t byte);
  void PushText(std::string_view text);
  // 0 is the newest byte, -1 the one before; positive offsets count on from
  // the newest, round to the oldest.
  std::uint8_t PeekByte(int offset) const;
  // n < 0: the newest |n|+1 bytes, oldest first; n > 0: n+1 bytes from the
  // newest on, round the ring; n = 0: the newest byte.
  std::string TailText(int n) const;
  std::uint32_t Counter() const { return counter_; }

 private:
  void CheckOffset(int offset) const;
  std::size_t IndexOf(int offset) const;

  std::vector<std::uint8_t> buffer_;
  std::size_t writePosition_ = 0;
  std::uint32_t counter_ = 0;
};

}  // namespace quor::sms
