#include "sync/PendingLinks.h"

#include <fstream>
#include <sstream>
#include <system_error>

#include <nlohmann/json.hpp>

#include "sync/SyncLog.h"

namespace quor::sync {

PendingLinks::PendingLinks(std::filesystem::path file) : file_(std::move(file)) {
  std::error_code error;
  if (file_.empty() || !std::filesystem::exists(file_, error)) return;
  std::ifstream in(file_, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  const nlohmann::json stored = nlohmann::json::parse(text.str(), nullptr, false);
  if (!stored.is_object()) {
    SyncLog("cloud download: " + file_.string() + " holds no links; starting empty");
    return;
  }
  for (const auto& [key, value] : stored.items()) {
    if (value.is_string()) links_[key] = value.get<std::string>();
  }
}

std::string PendingLinks::KeyOf(const std::string& scope, const std::string& table,
                                const std::string& cloudKey) {
  // A separator no identifier, table or number carries; the key is never parsed back.
  return scope + '\x1f' + table + '\x1f' + cloudKey;
}

std::optional<std::string> PendingLinks::Find(const std::string& scope, const std::string& table,
                                              const std::string& cloudKey) const {
  std::lock_guard lock(mutex_);
  const auto found = links_.find(KeyOf(scope, table, cloudKey));
  if (found == links_.end()) return std::nullopt;
  return found->second;
}

void PendingLinks::Remember(const std::string& scope, const std::string& table,
                            const std::string& cloudKey, const std::string& localId) {
  std::lock_guard lock(mutex_);
  links_[KeyOf(scope, table, cloudKey)] = localId;
  SaveLocked();
}

void PendingLinks::Forget(const std::string& scope, const std::string& table,
                          const std::string& cloudKey) {
  std::lock_guard lock(mutex_);
  if (links_.erase(KeyOf(scope, table, cloudKey)) != 0) SaveLocked();
}

std::size_t PendingLinks::Size() const {
  std::lock_guard lock(mutex_);
  return links_.size();
}

void PendingLinks::SaveLocked() const {
  if (file_.empty()) return;
  nlohmann::json stored = nlohmann::json::object();
  for (const auto& [key, value] : links_) stored[key] = value;
  // Written beside the file and renamed over it, so a crash leaves the old or
  // the new list, never half of one.
  std::filesystem::path temporary = file_;
  temporary += ".new";
  std::error_code error;
  std::filesystem::create_directories(file_.parent_path(), error);
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << stored.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    if (!out) {
      SyncLog("cloud download: cannot write " + temporary.string());
      return;
    }
  }
  std::filesystem::rename(temporary, file_, error);
  if (error) {
    SyncLog("cloud download: cannot replace " + file_.string() + ": " + error.message());
  }
}

}  // namespace quor::sync
