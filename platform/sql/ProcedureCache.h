// Procedure declarations remembered per (server, database, procedure), so that
// a call need not ask the server for the parameter list every time. A
// remembered list is only used through a call that binds its values by name
// (StoredProc::UseDeclaration), so a declaration changed meanwhile can never
// put a value into another parameter; see StoredProc for what happens then.
// Entries expire after the lifetime; a lifetime of 0 turns the cache off.
// One lock guards the table; every module's connection shares it.
#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "Parameter.h"

namespace quor::sql {

class Connection;

class ProcedureCache {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::seconds kDefaultLifetime{300};

  // The one the remote modules share.
  static ProcedureCache& Shared();

  void SetLifetime(std::chrono::seconds lifetime);
  std::chrono::seconds Lifetime() const;
  bool Enabled() const { return Lifetime().count() > 0; }

  // Server as the connection names it, database and procedure without regard
  // to letter case, the procedure without its ";1" group number.
  static std::string KeyOf(const std::string& server, const std::string& database,
                           std::string_view procedure);
  // The key for a procedure on the connection's current database; opens the
  // connection when it is closed.
  static std::string KeyOf(Connection& connection, std::string_view procedure);

  // A declaration stored less than a lifetime ago, its values unassigned.
  std::optional<Parameters> Find(const std::string& key) const;
  void Store(const std::string& key, const Parameters& declaration);
  void Drop(const std::string& key);
  // Every entry of one database of a server (after its procedures were
  // replaced, it was restored, created or deleted).
  void FlushDatabase(const std::string& server, const std::string& database);
  void Clear();
  std::size_t Size() const;

 private:
  struct Entry {
    Parameters declaration;
    Clock::time_point stored;
  };
  mutable std::mutex mutex_;  // guards the members below
  std::chrono::seconds lifetime_ = kDefaultLifetime;
  std::map<std::string, Entry> entries_;
};

}  // namespace quor::sql
