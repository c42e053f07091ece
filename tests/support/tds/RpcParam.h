// Decoding of RPC parameters as FreeTDS sends them: name, status flags, TYPE_INFO and value,
// including PLP-chunked (max) values and the value-less NULLTYPE of an omitted argument.
#pragma once

#include <cstdint>
#include <string>

#include "tests/support/tds/SqlServerStandIn.h"
#include "tests/support/tds/TdsBytes.h"

namespace quor::test::tds {

struct RpcParam {
  std::string name;
  std::uint8_t status = 0;  // fByRefValue 0x01, fDefaultValue 0x02
  SqlType type = SqlType::Int;
  Column column;  // the type as sent, suitable for echoing in RETURNVALUE
  Value value;
  bool omitted = false;  // NULLTYPE: an argument left out of the call
};

// Reads one parameter; throws TdsProtocolError on a malformed or unsupported one.
RpcParam ReadRpcParam(ByteReader& in);

}  // namespace quor::test::tds
