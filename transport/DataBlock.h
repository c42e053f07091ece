// One frame of the data-block protocol held in memory: the 8-byte header
// (signature, payload length) and the payload in one contiguous buffer, with a
// read cursor and a write cursor that both start just past the header. The
// length word always matches the payload size, so the raw memory can be sent
// as it is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace quor::transport {

class TDataBlock {
 public:
  TDataBlock();

  static constexpr std::size_t ReservedBytes() { return 8; }
  // Header and payload, ready to be written to a socket.
  std::span<const std::uint8_t> RawMemory() const { return buffer_; }
  std::size_t PayloadSize() const { return buffer_.size() - ReservedBytes(); }
  // Bytes the block holds in memory, header included.
  std::size_t Capacity() const { return buffer_.capacity(); }
  // Grows with zero bytes or cuts; cursors beyond the new end move back to it.
  void SetPayloadSize(std::size_t size);
  std::uint8_t* PayloadData() { return buffer_.data() + ReservedBytes(); }
  std::span<const std::uint8_t> Payload() const;

  std::uint32_t Signature() const;
  void SetSignature(std::uint32_t signature);

  // No payload; both cursors at the start of the (empty) payload.
  void ResetBlock();

  // Writes at the write cursor (growing the payload as needed) and moves it on.
  std::size_t Append(const void* buffer, std::size_t count);
  // Reads at the read cursor and moves it on; returns the bytes read, which is
  // fewer than count at the end of the payload.
  std::size_t Take(void* buffer, std::size_t count);
  // As Take, but a payload that ends early is a malformed frame:
  // InterpreterError("Invalid data packet").
  void TakeExact(void* buffer, std::size_t count);
  // Payload bytes not yet read.
  std::size_t Remaining() const { return buffer_.size() - readCursor_; }

  void AppendUInt8(std::uint8_t value) { Append(&value, 1); }
  void AppendUInt16(std::uint16_t value);
  void AppendUInt32(std::uint32_t value);
  void AppendUInt64(std::uint64_t value);
  std::uint8_t TakeUInt8();
  std::uint16_t TakeUInt16();
  std::uint32_t TakeUInt32();
  std::uint64_t TakeUInt64();

  // Fills the block from a raw frame. TransportError("Invalid data packet")
  // for fewer than 8 bytes, a wrong mark, or (with checkLength) a length word
  // other than frame size - 8. Without checkLength the bytes after the header
  // are the payload, whatever the length word says. Returns the length word.
  std::int32_t LoadFrame(std::span<const std::uint8_t> frame, bool checkLength);

 private:
  void RefreshLength();

  std::vector<std::uint8_t> buffer_;
  std::size_t readCursor_;
  std::size_t writeCursor_;
};

}  // namespace quor::transport
