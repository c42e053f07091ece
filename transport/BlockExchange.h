// The send-and-wait rule both ends of a connection follow: send a block and,
// when a reply is wanted, read blocks until the reply comes, executing every
// request the peer makes meanwhile (a call back into an object this side lent
// it). That is what lets calls nest in both directions over one connection.
#pragma once

#include <optional>

#include "transport/DataBlock.h"
#include "transport/DataBlockInterpreter.h"
#include "transport/TransportInterfaces.h"

namespace quor::transport {

// Nothing when no reply is wanted, or when the transport delivered nothing.
std::optional<TDataBlock> ExchangeBlock(ITransport& transport, TDataBlockInterpreter& interpreter,
                                        TDataBlock& block, bool waitForResult);

}  // namespace quor::transport
