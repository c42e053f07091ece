// Shared by the basic-information tests: a client's argument list built from a
// member's dispatch row, the synchronisation switches set for one test, and the
// change-queue rows the stand-in received.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <ostream>
#include <regex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "ModuleFixture.h"
#include "ServerPublic/ConfigKeys.h"
#include "ServerPublic/ConfigStore.h"
#include "ServerPublic/ConsoleSwitches.h"

namespace quor::testing {

// The arguments a client sends to `member`, in interface order: the named
// values, NULL for every other in-argument, and the out slots in order (each
// created with `outs` initial values and the row's out type).
struct ClientCall {
  std::vector<com::Variant> args;
  std::vector<OutSlot> outs;
};

inline ClientCall ClientArgs(const com::DispatchTable& table, std::string_view member,
                             const std::map<std::string, com::Variant>& values,
                             std::vector<com::Variant> outInitial = {}) {
  ClientCall call;
  com::DispId dispId = com::DISPID_UNKNOWN;
  EXPECT_EQ(table.GetIDsOfNames(member, dispId), com::S_OK) << member;
  const com::MemberInfo* row = table.Find(dispId, com::MemberKind::Method);
  if (row == nullptr) return call;
  std::size_t used = 0;
  std::size_t outIndex = 0;
  for (const com::ParamInfo& param : row->params) {
    if (param.mode == com::ParamMode::In) {
      const auto found = values.find(param.name);
      call.args.push_back(found != values.end() ? found->second : com::Variant::Null());
      used += found != values.end() ? 1 : 0;
      continue;
    }
    com::Variant initial = outIndex < outInitial.size() ? outInitial[outIndex] : com::Variant();
    if (param.type == com::VT_I4 && initial.IsEmpty()) initial = com::Variant::I4(0);
    ++outIndex;
    call.outs.push_back(Out(initial, param.type));
    call.args.push_back(call.outs.back().ref);
  }
  EXPECT_EQ(used, values.size()) << member << ": a value names no in-argument";
  return call;
}

// The server-synchronisation switches for one test: the console's in-memory
// switch and the StartAutoSynchro setting in a configuration file of its own
// (nullptr: the key is absent). Everything returns to the defaults afterwards.
class SynchroSettings {
 public:
  SynchroSettings(bool clientSynchronises, const char* startAutoSynchro) {
    std::string pattern = (std::filesystem::temp_directory_path() / "quor-synchro-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    folder_ = pattern;
    SetConfigFilePath(folder_ / "QuorServerBZ.dat");
    ResetConfigCacheForTests();
    if (startAutoSynchro != nullptr) WriteConfig(configkey::kStartAutoSynchro, startAutoSynchro);
    SetUseClientAutoSynchro(clientSynchronises);
  }
  ~SynchroSettings() {
    SetUseClientAutoSynchro(true);
    SetConfigFilePath({});
    ResetConfigCacheForTests();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  SynchroSettings(const SynchroSettings&) = delete;
  SynchroSettings& operator=(const SynchroSettings&) = delete;

 private:
  std::filesystem::path folder_;
};

// Server-side synchronisation on: the client switch off, StartAutoSynchro "True".
inline constexpr bool kServerSynchronises = false;

// One row of UploadAppServer as the statement's parameters carried it.
struct QueueRow {
  std::string database, vocation, table, selfId;
  bool operator==(const QueueRow&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const QueueRow& row) {
  return out << "[" << row.database << ", " << row.vocation << ", " << row.table << ", "
             << row.selfId << "]";
}

inline const char* const kQueueInsertPrefix =
    "INSERT INTO Master.dbo.UploadAppServer ([DataBase], Vocation, DataMode, BasicDB, SelfID) "
    "VALUES (";

// How SQL Server counts a varchar value of master's Chinese collation: in
// code page 936 bytes, two for each character beyond ASCII (the queue's values
// in these tests have no characters beyond the Basic Multilingual Plane).
inline std::size_t VarcharWidth(std::string_view utf8) {
  std::size_t width = 0;
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      ++width;
    } else if (byte >= 0xC0) {
      width += 2;
    }
  }
  return width;
}

// Answers the queue insert on the stand-in (or fails it with `error`) and
// keeps the rows it received. Values wider than their columns (varchar 50,
// 50, 50 and 25) fail as SQL Server fails them, with nothing stored.
class QueueRecorder {
 public:
  explicit QueueRecorder(test::SqlServerStandIn& server) {
    server.OnStatementMatching(std::regex("INSERT INTO Master\\.dbo\\.UploadAppServer .*"),
                               [this](const test::StatementCall& call) {
                                 std::lock_guard lock(mutex_);
                                 std::vector<std::string> values;
                                 for (const test::Parameter& param : call.params)
                                   values.push_back(test::TextOf(param.value));
                                 values.resize(4);
                                 test::Reply reply;
                                 const std::size_t widths[] = {50, 50, 50, 25};
                                 for (std::size_t i = 0; i < values.size(); ++i) {
                                   if (VarcharWidth(values[i]) > widths[i]) {
                                     reply.error = test::ServerError{
                                         8152, 14, 16, "String or binary data would be truncated."};
                                     return reply;
                                   }
                                 }
                                 rows_.push_back({values[0], values[1], values[2], values[3]});
                                 texts_.push_back(call.text);
                                 if (error_) {
                                   reply.error = *error_;
                                 } else {
                                   reply.rowsAffected = 1;
                                 }
                                 return reply;
                               });
  }

  std::vector<QueueRow> Rows() const {
    std::lock_guard lock(mutex_);
    return rows_;
  }
  std::vector<std::string> Texts() const {
    std::lock_guard lock(mutex_);
    return texts_;
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    rows_.clear();
    texts_.clear();
  }
  void FailWith(test::ServerError error) {
    std::lock_guard lock(mutex_);
    error_ = std::move(error);
  }
  void Succeed() {
    std::lock_guard lock(mutex_);
    error_.reset();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<QueueRow> rows_;
  std::vector<std::string> texts_;
  std::optional<test::ServerError> error_;
};

// Requests that reached the stand-in naming UploadAppServer, whatever answered them.
inline std::size_t QueueRequests(const test::SqlServerStandIn& server) {
  std::size_t count = 0;
  for (const test::Request& request : server.Requests()) {
    if (request.text.find("UploadAppServer") != std::string::npos) ++count;
  }
  return count;
}

}  // namespace quor::testing
