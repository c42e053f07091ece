// Reads the binary data packet a provider returns (the byte array of
// AS_GetRecords) into column names and rows of display texts, and prints them
// as a plain text table. Every read is bounds-checked; a packet that does not
// follow the layout raises PacketFormatError.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace quor::tools {

class PacketFormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct PacketTable {
  std::vector<std::string> columns;            // visible fields, in packet order
  std::vector<std::vector<std::string>> rows;  // one text per visible field; "NULL" for nulls
};

// True when the bytes start with the data packet signature.
bool LooksLikeDataPacket(std::span<const std::uint8_t> bytes);

PacketTable ReadPacketTable(std::span<const std::uint8_t> bytes);

// Columns padded to their widest cell (Chinese characters count double), a
// rule under the header, and "(N rows)" at the end.
void PrintTable(const PacketTable& table, std::ostream& out);

}  // namespace quor::tools
