// Arbitrary bytes as frames from a peer. The input is read twice: once as a
// single frame whose payload is decoded value after value (and each value that
// decodes is written back), and once as a run of frames, each cut by its own
// length word, executed in order by an interpreter that lends the peer a test
// object at index 0. Malformed input may only end in the decoder's refusals,
// and every request but a peer's error block must be answered; anything else
// escaping, a written value that does not decode again, and every sanitizer
// finding is a crash.
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
#include "transport/TransportError.h"
#include "transport/TransportInterfaces.h"

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
    const bool errorBlock =
        (block.Signature() & quor::transport::kActionMask) == quor::transport::actError;
    try {
      interpreter.InterpretBlock(block);
    } catch (const RemoteError&) {
      // An error block from the peer goes to whoever waited for a reply.
    } catch (const TransportError&) {
      // The connection would end here.
      return;
    } catch (const std::exception&) {
      // So does a malformed one (its text does not decode); the connection
      // thread drops the connection then. Any other request must be answered.
      if (!errorBlock) throw;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  DecodeValues(input);
  InterpretFrames(input);
  return 0;
}
