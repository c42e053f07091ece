#include "sms/CommQueue.h"

#include <algorithm>

namespace quor::sms {

TCommQueue::TCommQueue(int capacity) {
  SetCapacity(capacity);
}

void TCommQueue::SetCapacity(int capacity) {
  if (capacity < 1 || capacity > 10000) throw ECommQueueError("缓冲区大小应设置在1~10000之间");
  const std::size_t size = static_cast<std::size_t>(capacity);
  if (size < buffer_.size()) {
    std::vector<std::uint8_t> kept(buffer_.end() - static_cast<std::ptrdiff_t>(size),
                                   buffer_.end());
    buffer_ = std::move(kept);
  } else {
    buffer_.resize(size, 0);
  }
  if (writePosition_ >= buffer_.size()) writePosition_ = 0;
}

void TCommQueue::ClearQueue() {
  std::fill(buffer_.begin(), buffer_.end(), 0);
  writePosition_ = 0;
}

void TCommQueue::PushByte(std::uint8_t byte) {
  buffer_[writePosition_] = byte;
  writePosition_ = (writePosition_ + 1) % buffer_.size();
  ++counter_;
}

void TCommQueue::PushText(std::string_view text) {
  for (char c : text) PushByte(static_cast<std::uint8_t>(c));
}

void TCommQueue::CheckOffset(int offset) const {
  const int capacity = Capacity();
  if (offset < 1 - capacity || offset > capacity - 1) {
    throw ECommQueueError("偏移量只能在" + std::to_string(1 - capacity) + "~" +
                          std::to_string(capacity - 1) + "之间");
  }
}

std::size_t TCommQueue::IndexOf(int offset) const {
  const long long capacity = Capacity();
  const long long newest = static_cast<long long>(writePosition_) - 1;
  return static_cast<std::size_t>(((newest + offset) % capacity + capacity) % capacity);
}

std::uint8_t TCommQueue::PeekByte(int offset) const {
  CheckOffset(offset);
  return buffer_[IndexOf(offset)];
}

std::string TCommQueue::TailText(int n) const {
  CheckOffset(n);
  std::string text;
  if (n <= 0) {
    for (int offset = n; offset <= 0; ++offset) text.push_back(static_cast<char>(PeekByte(offset)));
  } else {
    for (int offset = 0; offset <= n; ++offset) {
      text.push_back(static_cast<char>(buffer_[IndexOf(offset)]));
    }
  }
  return text;
}

}  // namespace quor::sms
