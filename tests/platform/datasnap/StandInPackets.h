// Comparing a data packet, read back with the independent reader, against the
// rows the SQL Server stand-in sent: field names and every cell, NULLs
// included. Shared by the provider tests here and the remote module's tests.
#pragma once

#include <string_view>

#include "DataPacketReader.h"
#include "tests/support/tds/SqlServerStandIn.h"

namespace quor::datasnap::test {

// The cell the reader gives for `value` sent in a column of type `type`
// (decimal and money as floats, since BCD is off).
Cell ExpectedCell(const ::quor::test::Value& value, ::quor::test::SqlType type);

// Field names in order, the record count, then each cell of each record.
void ExpectPacketHolds(const DataPacket& packet, const ::quor::test::ResultSet& rows);

}  // namespace quor::datasnap::test
