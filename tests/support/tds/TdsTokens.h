// Writers for the TDS response tokens the stand-in sends: login acknowledgement, environment
// changes, messages, result sets, procedure status and output values, and DONE variants.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/tds/SqlServerStandIn.h"
#include "tests/support/tds/TdsBytes.h"

namespace quor::test::tds {

enum DoneStatus : std::uint16_t {
  kDoneFinal = 0x00,
  kDoneMore = 0x01,
  kDoneError = 0x02,
  kDoneInTransaction = 0x04,
  kDoneCount = 0x10,
  kDoneAttention = 0x20,
  kDoneServerError = 0x100,
};

enum class DoneKind : std::uint8_t { Done = 0xFD, DoneProc = 0xFE, DoneInProc = 0xFF };

// The CurCmd value SQL Server puts into DONE tokens for the statement kinds the stand-in answers.
inline constexpr std::uint16_t kCmdSelect = 0xC1;
inline constexpr std::uint16_t kCmdExecute = 0xE0;
inline constexpr std::uint16_t kCmdNone = 0x00;

class TokenWriter {
 public:
  explicit TokenWriter(std::string serverName) : serverName_(std::move(serverName)) {}

  void LoginAck(std::uint32_t tdsVersion, std::uint8_t major, std::uint8_t minor,
                std::uint16_t build);
  void EnvChange(std::uint8_t type, const std::string& newValue, const std::string& oldValue);
  void EnvChangeBytes(std::uint8_t type, const std::vector<std::uint8_t>& newValue,
                      const std::vector<std::uint8_t>& oldValue);
  void Error(const ServerError& error, const std::string& procName = {});
  void Info(const ServerError& message, const std::string& procName = {});
  void ColMetadata(const std::vector<Column>& columns);
  void Row(const std::vector<Column>& columns, const std::vector<Value>& row);
  void ReturnStatus(std::int32_t status);
  void ReturnValue(std::uint16_t ordinal, const std::string& name, const Column& type,
                   const Value& value);
  void Done(DoneKind kind, std::uint16_t status, std::uint16_t curCmd, std::uint64_t rowCount);

  // Sets the "more" flag on every DONE variant but the last and clears it on the last, so the
  // client knows where the response ends; then hands over the bytes.
  std::vector<std::uint8_t> Finish();
  bool Empty() const { return out_.Size() == 0; }

 private:
  void Message(std::uint8_t token, const ServerError& error, const std::string& procName);

  std::string serverName_;
  ByteWriter out_;
  std::vector<std::size_t> doneAt_;
};

}  // namespace quor::test::tds
