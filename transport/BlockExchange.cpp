#include "transport/BlockExchange.h"

#include "transport/Protocol.h"

namespace quor::transport {

std::optional<TDataBlock> ExchangeBlock(ITransport& transport, TDataBlockInterpreter& interpreter,
                                        TDataBlock& block, bool waitForResult) {
  transport.Send(block);
  if (!waitForResult) return std::nullopt;
  for (;;) {
    std::optional<TDataBlock> received = transport.Receive(true);
    if (!received) return std::nullopt;
    if (IsReply(received->Signature())) return received;
    interpreter.InterpretBlock(*received);
  }
}

}  // namespace quor::transport
