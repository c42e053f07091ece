#include "ProcedureCache.h"

#include "Connection.h"
#include "platform/text/AsciiText.h"

namespace quor::sql {
namespace {

constexpr char kSeparator = '\n';

std::string Prefix(const std::string& server, const std::string& database) {
  return text::AsciiLower(server) + kSeparator + text::AsciiLower(database) + kSeparator;
}

}  // namespace

ProcedureCache& ProcedureCache::Shared() {
  static ProcedureCache cache;
  return cache;
}

void ProcedureCache::SetLifetime(std::chrono::seconds lifetime) {
  std::lock_guard lock(mutex_);
  lifetime_ = lifetime.count() > 0 ? lifetime : std::chrono::seconds(0);
  if (lifetime_.count() == 0) entries_.clear();
}

std::chrono::seconds ProcedureCache::Lifetime() const {
  std::lock_guard lock(mutex_);
  return lifetime_;
}

std::string ProcedureCache::KeyOf(const std::string& server, const std::string& database,
                                  std::string_view procedure) {
  if (procedure.size() > 2 && procedure.substr(procedure.size() - 2) == ";1") {
    procedure.remove_suffix(2);
  }
  return Prefix(server, database) + text::AsciiLower(procedure);
}

std::string ProcedureCache::KeyOf(Connection& connection, std::string_view procedure) {
  connection.Open();
  return KeyOf(connection.Settings().dataSource, connection.CurrentDatabase(), procedure);
}

std::optional<Parameters> ProcedureCache::Find(const std::string& key) const {
  std::lock_guard lock(mutex_);
  if (lifetime_.count() == 0) return std::nullopt;
  const auto found = entries_.find(key);
  if (found == entries_.end() || Clock::now() - found->second.stored >= lifetime_) {
    return std::nullopt;
  }
  return found->second.declaration;
}

void ProcedureCache::Store(const std::string& key, const Parameters& declaration) {
  std::lock_guard lock(mutex_);
  if (lifetime_.count() == 0) return;
  entries_[key] = Entry{declaration, Clock::now()};
}

void ProcedureCache::Drop(const std::string& key) {
  std::lock_guard lock(mutex_);
  entries_.erase(key);
}

void ProcedureCache::FlushDatabase(const std::string& server, const std::string& database) {
  const std::string prefix = Prefix(server, database);
  std::lock_guard lock(mutex_);
  for (auto it = entries_.lower_bound(prefix);
       it != entries_.end() && it->first.compare(0, prefix.size(), prefix) == 0;) {
    it = entries_.erase(it);
  }
}

void ProcedureCache::Clear() {
  std::lock_guard lock(mutex_);
  entries_.clear();
}

std::size_t ProcedureCache::Size() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

}  // namespace quor::sql
