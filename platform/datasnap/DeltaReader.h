// Reads the change log (delta) a client dataset sends with AS_ApplyUpdates far
// enough to know its records' status bytes. The bytes come from the network,
// so every read is bounds-checked and anything off the layout is a
// PacketError, never a read past the end.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "PacketError.h"

namespace quor::datasnap {

// Record status bits of a change log.
inline constexpr std::uint8_t kRecordOriginal = 1;
inline constexpr std::uint8_t kRecordDeleted = 2;
inline constexpr std::uint8_t kRecordInserted = 4;
inline constexpr std::uint8_t kRecordModified = 8;

// The status byte of every record, in packet order.
std::vector<std::uint8_t> ReadRecordStatuses(std::span<const std::uint8_t> packet);

// Records that ask for a change (deleted, inserted or modified); an original
// record only carries the old values of the modification that follows it.
bool IsChange(std::uint8_t status);

}  // namespace quor::datasnap
