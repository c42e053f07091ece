// An error to be answered to the client as SQL Server's ERROR token, thrown from deep inside
// the handling of a request.
#pragma once

#include <stdexcept>

#include "tests/support/tds/SqlServerStandIn.h"

namespace quor::test::tds {

struct ServerErrorException : std::runtime_error {
  explicit ServerErrorException(ServerError e)
      : std::runtime_error(e.message), error(std::move(e)) {}
  ServerError error;
};

}  // namespace quor::test::tds
