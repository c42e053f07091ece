// Records created in an account set from cloud rows whose link back to the
// cloud row (the cloud row learning the local identifier) has not been
// confirmed. While a link is pending, the cloud keeps offering the row as
// new; the download then finishes the link with the record it made instead
// of making the record again. Kept in a small JSON file so that a restart
// does not forget them; without a file they last as long as the object.
#pragma once

#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace quor::sync {

class PendingLinks {
 public:
  PendingLinks() = default;
  // Reads the file when it exists; a file that cannot be read or parsed is
  // logged and treated as empty (the next change rewrites it).
  explicit PendingLinks(std::filesystem::path file);

  // `scope` names the account set and company ("database|cid"), `table` the
  // cloud table, `cloudKey` the cloud row (its "id", or a bill's number).
  std::optional<std::string> Find(const std::string& scope, const std::string& table,
                                  const std::string& cloudKey) const;
  void Remember(const std::string& scope, const std::string& table, const std::string& cloudKey,
                const std::string& localId);
  void Forget(const std::string& scope, const std::string& table, const std::string& cloudKey);
  std::size_t Size() const;

 private:
  static std::string KeyOf(const std::string& scope, const std::string& table,
                           const std::string& cloudKey);
  void SaveLocked() const;

  std::filesystem::path file_;
  mutable std::mutex mutex_;  // guards links_ and the file
  std::map<std::string, std::string> links_;
};

}  // namespace quor::sync
