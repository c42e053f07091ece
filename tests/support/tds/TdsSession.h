// One client connection of the stand-in: PRELOGIN and LOGIN7, then language batches, RPC
// requests, transaction-manager requests and attentions, answered from the ScriptBook.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/tds/ProcedureBinding.h"
#include "tests/support/tds/RpcParam.h"
#include "tests/support/tds/ScriptBook.h"
#include "tests/support/tds/SqlServerStandIn.h"
#include "tests/support/tds/TdsChannel.h"
#include "tests/support/tds/TdsTokens.h"
#include "tests/support/tds/TdsTypes.h"

namespace quor::test::tds {

class TdsSession {
 public:
  TdsSession(int fd, ScriptBook& book, const SqlServerStandInOptions& options);
  // Serves the connection until the client leaves, a reply drops it, or Shutdown is called.
  void Run();
  void Shutdown();  // any thread
  bool Finished() const { return finished_.load(); }

 private:
  struct Outcome;

  void Prelogin();
  bool Login(const TdsMessage& message);  // false: refused, connection to be closed
  void Batch(const TdsMessage& message);
  void Rpc(const TdsMessage& message);
  // sp_executesql and the sp_prepare family: a statement text with parameters.
  void StatementRpc(TokenWriter& w, std::uint16_t procId, std::vector<RpcParam>& raw,
                    Request& request);
  void Transaction(const TdsMessage& message);

  void SkipAllHeaders(ByteReader& in) const;
  // Writes the answer to a statement text; inProc when it runs inside sp_executesql.
  void Statement(TokenWriter& w, const std::string& text, std::vector<Parameter>& params,
                 bool inProc);
  Outcome CallProcedure(const std::string& name, std::vector<CallArg>& args);
  // Holds a reply back for its delay (throws Cancelled when the client cancels meanwhile) and
  // drops the connection when the reply asks for it.
  void Pace(const Reply& reply);
  bool KnownProcedure(const std::string& name) const;
  void WriteResults(TokenWriter& w, const Reply& reply, bool inProc, std::uint16_t& doneStatus);
  void WriteError(TokenWriter& w, const ServerError& error, bool inProc);
  void Flush(TokenWriter& w);
  void SendAttentionAck();
  Request NewRequest(RequestKind kind) const;
  void UseDatabase(TokenWriter& w, const std::string& name);

  TdsChannel channel_;
  ScriptBook& book_;
  const SqlServerStandInOptions& options_;
  std::atomic<bool> finished_{false};
  bool loggedIn_ = false;
  std::string user_;
  std::string database_ = "master";
  std::uint32_t tdsVersion_ = 0x74000004;
  std::uint64_t transaction_ = 0;
  std::uint64_t nextTransaction_ = 1;
  std::int32_t nextHandle_ = 1;
  struct Prepared {
    std::int32_t handle;
    std::string text;
    std::string definitions;
  };
  std::vector<Prepared> prepared_;
};

}  // namespace quor::test::tds
