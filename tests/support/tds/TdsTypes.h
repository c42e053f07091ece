// TDS data types: the TYPE_INFO that describes a column or output parameter, the encoding of
// values in ROW and RETURNVALUE tokens, and the decoding of RPC parameters as FreeTDS sends them.
#pragma once

#include <cstdint>

#include "tests/support/tds/SqlServerStandIn.h"
#include "tests/support/tds/TdsBytes.h"

namespace quor::test::tds {

// Chinese_PRC_CI_AS: LCID 0x0804, ignore case, kana and width, Windows collation (sort id 0).
inline constexpr std::uint8_t kChinesePrcCiAs[5] = {0x04, 0x08, 0xD0, 0x00, 0x00};

// Writes TYPE_INFO for a column. withTableName adds the table name that COLMETADATA carries
// for text, ntext and image columns.
void WriteTypeInfo(ByteWriter& out, const Column& column, bool withTableName);
// Writes one value in the form TYPE_INFO announced. Throws std::invalid_argument when the value
// does not fit the column type, naming both.
void WriteValue(ByteWriter& out, const Column& column, const Value& value);

// A parameter of an RPC request: metadata and value, decoded.
struct RpcParam {
  std::string name;
  std::uint8_t status = 0;  // fByRefValue 0x01, fDefaultValue 0x02
  SqlType type = SqlType::Int;
  Column column;  // the type as sent, suitable for echoing in RETURNVALUE
  Value value;
  bool omitted = false;  // NULLTYPE: an argument left out of the call
};

RpcParam ReadRpcParam(ByteReader& in);

// Converts a value sent as `sentType` to a declared parameter's type, as SQL Server does on
// binding (strings are cut to the declared length). Throws std::invalid_argument when it
// cannot be converted.
Value ConvertToDeclared(const Value& value, const ParamDecl& decl);

// Integer and decimal helpers shared with statement parsing.
std::string DecimalText(bool negative, const std::uint8_t* littleEndian, std::size_t size,
                        int scale);

}  // namespace quor::test::tds
