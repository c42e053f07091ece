// Arbitrary bytes as frames from a peer. The input is read four times: as a
// single frame whose payload is decoded value after value (and each value that
// decodes is written back); as a run of frames, each cut by its own length
// word, executed in order by an interpreter that lends the peer a test object
// at index 0; as the byte stream of a socket, cut into frames by the
// transport's receiving path; and as what a client sends to a live port
// before it hangs up, served by a real connection thread. Malformed input may only end in the
// decoder's refusals, and every request but a peer's error block must be answered; anything else
// escaping, a written value that does not decode again, and every sanitizer
// finding is a crash.
#include <sys/socket.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <stdexcept>

#include "fuzz/FuzzObjects.h"
#include "platform/com/Variant.h"
#include "transport/DataBlock.h"
#include "transport/DataBlockInterpreter.h"
#include "transport/Protocol.h"
#include "transport/SocketAddress.h"
#include "transport/SocketDispatcher.h"
#include "transport/SocketTransport.h"
#include "transport/TransportError.h"
#include "transport/TransportInterfaces.h"
#include "transport/UniqueFd.h"

namespace {

using quor::transport::InterpreterError;
using quor::transport::RemoteError;
using quor::transport::TDataBlock;
using quor::transport::TDataBlockInterpreter;
using quor::transport::TransportError;

constexpr std::size_t kMaxFramesPerInput = 64;

// The peer never answers: replies are dropped, and a call that waits for one
// sees the connection end.
class SilentLink : public quor::transport::ISendDataBlock {
 public:
  std::optional<TDataBlock> SendBlock(TDataBlock& block, bool waitForResult) override {
    sentBytes_ += block.RawMemory().size();
    return std::nullopt;
  }

 private:
  std::size_t sentBytes_ = 0;
};

void DecodeValues(std::span<const std::uint8_t> input) {
  TDataBlock block;
  try {
    block.LoadFrame(input, false);
  } catch (const TransportError&) {
    return;
  }
  SilentLink link;
  TDataBlockInterpreter interpreter(link, nullptr, "");
  while (block.Remaining() > 0) {
    quor::transport::ReadValueResult read;
    try {
      read = interpreter.ReadValue(block);
    } catch (const std::runtime_error&) {
      // The decoder's refusals: InterpreterError for a malformed body, TextError
      // for malformed UTF-16, HResultError for an array element of a type its
      // array cannot hold. Logic errors (std::out_of_range, ...) and
      // std::bad_alloc are bugs and escape.
      return;
    }
    TDataBlock echo;
    try {
      interpreter.WriteValue(read.value, echo);
    } catch (const InterpreterError&) {
      // Decoded types the wire cannot send back (e.g. an object that is no dispatch object).
      continue;
    }
    // What was written must decode again.
    interpreter.ReadValue(echo);
  }
}

std::uint32_t Word(const std::uint8_t* bytes) {
  std::uint32_t value = 0;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

// Any request but a peer's error block must be answered; an error block goes
// to whoever waited for a reply, and a malformed one (its text does not
// decode) ends the connection like a transport failure, which passes.
void ExpectOnlyRefusals(TDataBlockInterpreter& interpreter, TDataBlock& block) {
  const bool errorBlock =
      (block.Signature() & quor::transport::kActionMask) == quor::transport::actError;
  try {
    interpreter.InterpretBlock(block);
  } catch (const RemoteError&) {
  } catch (const TransportError&) {
    throw;
  } catch (const std::exception&) {
    if (!errorBlock) throw;
  }
}

void InterpretFrames(std::span<const std::uint8_t> input) {
  SilentLink link;
  TDataBlockInterpreter interpreter(link, quor::fuzz::FuzzClasses(),
                                    quor::transport::kSocketsCheckValue);
  interpreter.RegisterObject(quor::com::Variant::Dispatch(quor::fuzz::MakeFuzzTarget()));
  std::size_t position = 0;
  for (std::size_t frames = 0; frames < kMaxFramesPerInput; ++frames) {
    const std::size_t left = input.size() - position;
    if (left < quor::transport::kHeaderSize) return;
    const std::size_t length = std::min<std::size_t>(Word(input.data() + position + 4),
                                                     left - quor::transport::kHeaderSize);
    const auto frame = input.subspan(position, quor::transport::kHeaderSize + length);
    position += frame.size();
    TDataBlock block;
    try {
      block.LoadFrame(frame, true);
    } catch (const TransportError&) {
      continue;
    }
    try {
      ExpectOnlyRefusals(interpreter, block);
    } catch (const TransportError&) {
      return;  // the connection would end here
    }
  }
}

// Answers go back through the socket, as the connection thread's do.
class TransportLink : public quor::transport::ISendDataBlock {
 public:
  explicit TransportLink(quor::transport::ITransport& transport) : transport_(transport) {}
  std::optional<TDataBlock> SendBlock(TDataBlock& block, bool waitForResult) override {
    transport_.Send(block);
    return std::nullopt;
  }

 private:
  quor::transport::ITransport& transport_;
};

// The input as the byte stream of a connection: frames are cut by the
// receiving path itself (header, growing payload, limits), and answers are
// written back into the socket.
void ReceiveFromSocket(std::span<const std::uint8_t> input) {
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return;
  quor::transport::UniqueFd server(ends[0]);
  quor::transport::UniqueFd peer(ends[1]);
  // Room for the input and for the answers nobody reads.
  const int room = 4 << 20;
  ::setsockopt(peer.Get(), SOL_SOCKET, SO_SNDBUF, &room, sizeof room);
  ::setsockopt(server.Get(), SOL_SOCKET, SO_SNDBUF, &room, sizeof room);
  if (::send(peer.Get(), input.data(), input.size(), MSG_NOSIGNAL) !=
      static_cast<ssize_t>(input.size())) {
    return;
  }
  ::shutdown(peer.Get(), SHUT_WR);
  quor::transport::TransportOptions options;
  options.maxFrameSize = 1 << 20;
  options.frameTimeout = std::chrono::milliseconds(50);
  options.writeTimeout = std::chrono::milliseconds(50);
  quor::transport::TSocketTransport transport(server.Get(), options);
  TransportLink link(transport);
  TDataBlockInterpreter interpreter(link, quor::fuzz::FuzzClasses(),
                                    quor::transport::kSocketsCheckValue, {64, 64});
  interpreter.RegisterObject(quor::com::Variant::Dispatch(quor::fuzz::MakeFuzzTarget()));
  try {
    for (std::size_t frames = 0; frames < kMaxFramesPerInput; ++frames) {
      std::optional<TDataBlock> block = transport.Receive(true);
      if (!block) return;
      ExpectOnlyRefusals(interpreter, *block);
    }
  } catch (const TransportError&) {
    // Closed, malformed, too large or too slow: the connection ends.
  }
}

// A live port: the input is what one client sends before it hangs up, served
// by a real connection thread.
void ServeOnPort(std::span<const std::uint8_t> input) {
  static const auto port = [] {
    auto context = std::make_shared<quor::transport::TransportContext>();
    context->classes = quor::fuzz::FuzzClasses();
    context->bindAddress = "127.0.0.1";
    context->maxFrameSize = 1 << 20;
    auto dispatcher = std::make_unique<quor::transport::TSocketDispatcher>(context);
    quor::transport::PortSettings settings;
    settings.port = 0;
    settings.timeout = 0;
    settings.maxObjects = 64;
    settings.maxReferences = 64;
    settings.frameTimeout = std::chrono::milliseconds(200);
    settings.writeTimeout = std::chrono::milliseconds(200);
    dispatcher->SetSettings(settings);
    dispatcher->Open();
    return dispatcher.release();  // serves until the process ends
  }();
  quor::transport::UniqueFd client =
      quor::transport::ConnectTo("127.0.0.1", port->ListeningPort(), std::chrono::seconds(5));
  ::send(client.Get(), input.data(), input.size(), MSG_NOSIGNAL);
  ::shutdown(client.Get(), SHUT_WR);
  // Read the answers until the server hangs up, so the next input finds the
  // thread parked again.
  std::uint8_t sink[65536];
  while (::recv(client.Get(), sink, sizeof sink, 0) > 0) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  DecodeValues(input);
  InterpretFrames(input);
  ReceiveFromSocket(input);
  ServeOnPort(input);
  return 0;
}
