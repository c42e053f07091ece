// One client socket carrying TDS packets: reassembles a request from its packets, splits a
// reply to the negotiated packet size, and notices an ATTENTION while a reply is held back.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

namespace quor::test::tds {

enum PacketType : std::uint8_t {
  kPacketSqlBatch = 0x01,
  kPacketRpc = 0x03,
  kPacketReply = 0x04,
  kPacketAttention = 0x06,
  kPacketTransaction = 0x0E,
  kPacketLogin7 = 0x10,
  kPacketSspi = 0x11,
  kPacketPrelogin = 0x12,
};

struct TdsMessage {
  std::uint8_t type = 0;
  std::vector<std::uint8_t> payload;
};

class TdsChannel {
 public:
  explicit TdsChannel(int fd);  // takes ownership
  ~TdsChannel();
  TdsChannel(const TdsChannel&) = delete;
  TdsChannel& operator=(const TdsChannel&) = delete;

  // The next whole message; none when the client closed the connection. Throws
  // TdsProtocolError on a malformed packet or a broken socket.
  std::optional<TdsMessage> Read();
  void Send(std::uint8_t type, const std::vector<std::uint8_t>& payload);
  // Waits up to `wait`; true when an ATTENTION arrived in that time (it is consumed). Throws
  // TdsProtocolError when the client closes or sends anything else.
  bool WaitForAttention(std::chrono::milliseconds wait);

  void SetPacketSize(std::uint32_t size) { packetSize_ = size; }
  // Safe from any thread: wakes a blocked read or wait so the session ends.
  void Shutdown();
  void Close();  // drops the connection at once (from the session's own thread)

 private:
  bool ReadExact(std::uint8_t* data, std::size_t size);  // false on EOF before the first byte

  std::mutex closeMutex_;  // Shutdown from other threads must not hit a reused descriptor
  std::atomic<int> fd_;
  std::uint32_t packetSize_ = 4096;
};

}  // namespace quor::test::tds
