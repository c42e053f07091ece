#include "transport/DataBlock.h"

#include <algorithm>
#include <cstring>

#include "transport/Protocol.h"
#include "transport/TransportError.h"

namespace quor::transport {
namespace {

std::uint32_t ReadLittleEndian32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
         (static_cast<std::uint32_t>(bytes[2]) << 16) |
         (static_cast<std::uint32_t>(bytes[3]) << 24);
}

void WriteLittleEndian32(std::uint8_t* bytes, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

TDataBlock::TDataBlock()
    : buffer_(ReservedBytes(), 0), readCursor_(ReservedBytes()), writeCursor_(ReservedBytes()) {}

void TDataBlock::SetPayloadSize(std::size_t size) {
  buffer_.resize(ReservedBytes() + size, 0);
  readCursor_ = std::min(readCursor_, buffer_.size());
  writeCursor_ = std::min(writeCursor_, buffer_.size());
  RefreshLength();
}

std::span<const std::uint8_t> TDataBlock::Payload() const {
  return std::span<const std::uint8_t>(buffer_).subspan(ReservedBytes());
}

std::uint32_t TDataBlock::Signature() const {
  return ReadLittleEndian32(buffer_.data());
}

void TDataBlock::SetSignature(std::uint32_t signature) {
  WriteLittleEndian32(buffer_.data(), signature);
}

void TDataBlock::ResetBlock() {
  buffer_.resize(ReservedBytes());
  readCursor_ = writeCursor_ = ReservedBytes();
  RefreshLength();
}

std::size_t TDataBlock::Append(const void* buffer, std::size_t count) {
  if (count == 0) return 0;
  if (writeCursor_ + count > buffer_.size()) buffer_.resize(writeCursor_ + count);
  std::memcpy(buffer_.data() + writeCursor_, buffer, count);
  writeCursor_ += count;
  RefreshLength();
  return count;
}

std::size_t TDataBlock::Take(void* buffer, std::size_t count) {
  const std::size_t available = std::min(count, Remaining());
  if (available > 0) std::memcpy(buffer, buffer_.data() + readCursor_, available);
  readCursor_ += available;
  return available;
}

void TDataBlock::TakeExact(void* buffer, std::size_t count) {
  if (count > Remaining()) throw InterpreterError(kInvalidDataPacket);
  Take(buffer, count);
}

void TDataBlock::AppendUInt16(std::uint16_t value) {
  const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(value),
                                 static_cast<std::uint8_t>(value >> 8)};
  Append(bytes, 2);
}

void TDataBlock::AppendUInt32(std::uint32_t value) {
  std::uint8_t bytes[4];
  WriteLittleEndian32(bytes, value);
  Append(bytes, 4);
}

void TDataBlock::AppendUInt64(std::uint64_t value) {
  AppendUInt32(static_cast<std::uint32_t>(value));
  AppendUInt32(static_cast<std::uint32_t>(value >> 32));
}

std::uint8_t TDataBlock::TakeUInt8() {
  std::uint8_t value = 0;
  TakeExact(&value, 1);
  return value;
}

std::uint16_t TDataBlock::TakeUInt16() {
  std::uint8_t bytes[2];
  TakeExact(bytes, 2);
  return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

std::uint32_t TDataBlock::TakeUInt32() {
  std::uint8_t bytes[4];
  TakeExact(bytes, 4);
  return ReadLittleEndian32(bytes);
}

std::uint64_t TDataBlock::TakeUInt64() {
  const std::uint64_t low = TakeUInt32();
  const std::uint64_t high = TakeUInt32();
  return low | (high << 32);
}

std::int32_t TDataBlock::LoadFrame(std::span<const std::uint8_t> frame, bool checkLength) {
  if (frame.size() < ReservedBytes()) throw TransportError(kInvalidDataPacket);
  const std::uint32_t signature = ReadLittleEndian32(frame.data());
  if (!HasValidMark(signature)) throw TransportError(kInvalidDataPacket);
  const auto length = static_cast<std::int32_t>(ReadLittleEndian32(frame.data() + 4));
  const std::size_t available = frame.size() - ReservedBytes();
  if (checkLength && (length < 0 || static_cast<std::size_t>(length) != available)) {
    throw TransportError(kInvalidDataPacket);
  }
  buffer_.assign(frame.begin(), frame.end());
  readCursor_ = writeCursor_ = ReservedBytes();
  RefreshLength();
  return length;
}

void TDataBlock::RefreshLength() {
  WriteLittleEndian32(buffer_.data() + 4, static_cast<std::uint32_t>(PayloadSize()));
}

}  // namespace quor::transport
