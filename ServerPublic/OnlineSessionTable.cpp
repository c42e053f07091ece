#include "ServerPublic/OnlineSessionTable.h"

#include <time.h>

#include <algorithm>
#include <iostream>
#include <string_view>
#include <utility>

#include "ServerPublic/ConsoleSwitches.h"
#include "platform/text/Utf8.h"

namespace quor {
namespace {

constexpr std::string_view kPhoneGuidPrefix = "Android_";

// The first `maxCharacters` characters of UTF-8 text. A byte that starts no
// well-formed sequence counts as one character, so malformed text is cut
// without reading past it and a well-formed character is never split.
std::string CutToCharacters(std::string_view text, std::size_t maxCharacters) {
  std::size_t pos = 0;
  for (std::size_t count = 0; count < maxCharacters && pos < text.size(); ++count) {
    const std::size_t length = text::Utf8SequenceLength(text, pos);
    pos += length == 0 ? 1 : length;
  }
  return std::string(text.substr(0, pos));
}

bool IsPhoneGuid(const std::string& guid) {
  return guid.starts_with(kPhoneGuidPrefix);
}

}  // namespace

std::string ActiveTimeText(const OnlineSession& session) {
  const time_t seconds = std::chrono::system_clock::to_time_t(session.activeTime);
  tm local{};
  localtime_r(&seconds, &local);
  char text[16];
  const std::size_t length = strftime(text, sizeof text, "%H:%M:%S", &local);
  return std::string(text, length);
}

SessionInstant SystemSessionTime() {
  return {std::chrono::steady_clock::now(), std::chrono::system_clock::now()};
}

OnlineSessionTable::OnlineSessionTable(SessionClock clock)
    : clock_(std::move(clock)), entries_(kCapacity) {}

int OnlineSessionTable::RegisterSession(const std::string& guid, const std::string& dataBase,
                                        const std::string& loginId, const std::string& computerName,
                                        const std::string& computerAddr,
                                        const std::string& loginUserName) {
  return RegisterSession(guid, dataBase, loginId, computerName, computerAddr, loginUserName,
                         UserLoginIdentic());
}

int OnlineSessionTable::RegisterSession(const std::string& guid, const std::string& dataBase,
                                        const std::string& loginId, const std::string& computerName,
                                        const std::string& computerAddr,
                                        const std::string& loginUserName, bool userLoginIdentic) {
  // Values are cut before they are compared, so a client whose id is longer
  // than the field still finds its own entry.
  Entry wanted;
  wanted.guid = CutToCharacters(guid, kGuidLength);
  wanted.dataBase = CutToCharacters(dataBase, kDataBaseLength);
  wanted.loginId = CutToCharacters(loginId, kLoginIdLength);
  wanted.computerName = CutToCharacters(computerName, kComputerNameLength);
  wanted.computerAddr = CutToCharacters(computerAddr, kComputerAddrLength);
  wanted.loginUserName = CutToCharacters(loginUserName, kLoginUserNameLength);

  bool changed = false;
  int result = kEntered;
  {
    std::lock_guard guard(mutex_);
    result = Register(wanted, userLoginIdentic, clock_(), changed);
  }
  if (changed) Notify();
  return result;
}

int OnlineSessionTable::Register(const Entry& wanted, bool userLoginIdentic,
                                 const SessionInstant& now, bool& changed) {
  const bool phone = IsPhoneGuid(wanted.guid);
  int sameClientEntries = 0;
  for (Entry& entry : entries_) {
    if (!entry.InUse()) continue;
    const bool sameGuid = entry.guid == wanted.guid;
    // A phone gets a new session name with every connection; its entry from an
    // earlier connection is its own, cleared below, and never a reason to refuse it.
    const bool samePhone = phone && entry.computerName == wanted.computerName &&
                           entry.computerAddr == wanted.computerAddr;
    if (userLoginIdentic) {
      const bool sameDataBase = entry.dataBase == wanted.dataBase;
      const bool sameLogin = entry.loginId == wanted.loginId;
      if (!sameGuid && sameDataBase && sameLogin && !(samePhone && IsPhoneGuid(entry.guid))) {
        return kRefused;  // logged in elsewhere
      }
      if (sameGuid && sameDataBase && !sameLogin) return kRefused;
      if (sameGuid && sameDataBase && sameLogin) {
        // The same client may hold two entries; a third login is refused.
        if (++sameClientEntries == 2) return kRefused;
        continue;
      }
    }
    // Idleness is measured on the steady clock: a time-of-day difference would
    // go negative after midnight and keep such entries for ever.
    const bool idle = now.steady - entry.activeSteady > kIdleLimit;
    if (idle || sameGuid || samePhone) {
      entry = Entry{};
      changed = true;
    }
  }
  // An empty guid would make the entry look free; there is nothing to enter.
  if (!wanted.InUse()) return kEntered;
  const auto free = std::find_if(entries_.begin(), entries_.end(),
                                 [](const Entry& entry) { return !entry.InUse(); });
  if (free != entries_.end()) {
    *free = wanted;
    free->activeSteady = now.steady;
    free->activeWall = now.wall;
    changed = true;
  }
  return kEntered;
}

OnlineSessionTable::Entry* OnlineSessionTable::FindMatch(const std::string& guid,
                                                         const std::string& computerName,
                                                         const std::string& computerAddr) {
  // Free entries never match: their empty fields would otherwise answer an
  // empty guid or a phone without a name and address.
  const std::string wantedGuid = CutToCharacters(guid, kGuidLength);
  const std::string wantedName = CutToCharacters(computerName, kComputerNameLength);
  const std::string wantedAddr = CutToCharacters(computerAddr, kComputerAddrLength);
  const bool phone = IsPhoneGuid(wantedGuid);
  for (Entry& entry : entries_) {
    if (!entry.InUse()) continue;
    if (entry.guid == wantedGuid) return &entry;
    if (phone && entry.computerName == wantedName && entry.computerAddr == wantedAddr) {
      return &entry;
    }
  }
  return nullptr;
}

bool OnlineSessionTable::TouchSession(const std::string& guid, const std::string& computerName,
                                      const std::string& computerAddr) {
  std::lock_guard guard(mutex_);
  Entry* entry = FindMatch(guid, computerName, computerAddr);
  if (entry == nullptr) return false;
  const SessionInstant now = clock_();
  entry->activeSteady = now.steady;
  entry->activeWall = now.wall;
  return true;
}

bool OnlineSessionTable::RemoveSession(const std::string& guid, const std::string& computerName,
                                       const std::string& computerAddr) {
  {
    std::lock_guard guard(mutex_);
    Entry* entry = FindMatch(guid, computerName, computerAddr);
    if (entry == nullptr) return false;
    *entry = Entry{};
  }
  Notify();
  return true;
}

bool OnlineSessionTable::HasOtherSessions(const std::string& guid) const {
  const std::string wantedGuid = CutToCharacters(guid, kGuidLength);
  std::lock_guard guard(mutex_);
  return std::any_of(entries_.begin(), entries_.end(),
                     [&](const Entry& entry) { return entry.InUse() && entry.guid != wantedGuid; });
}

std::vector<OnlineSession> OnlineSessionTable::Snapshot() const {
  std::vector<OnlineSession> sessions;
  std::lock_guard guard(mutex_);
  for (std::size_t slot = 0; slot < entries_.size(); ++slot) {
    const Entry& entry = entries_[slot];
    if (!entry.InUse()) continue;
    sessions.push_back({slot, entry.guid, entry.dataBase, entry.loginId, entry.activeWall,
                        entry.computerName, entry.computerAddr, entry.loginUserName});
  }
  return sessions;
}

OnlineSessionTable::Subscription OnlineSessionTable::Subscribe(std::function<void()> onChange) {
  std::lock_guard guard(observersMutex_);
  const std::size_t id = nextObserverId_++;
  observers_.emplace_back(id, std::move(onChange));
  return Subscription(this, id);
}

void OnlineSessionTable::Unsubscribe(std::size_t id) {
  std::lock_guard guard(observersMutex_);
  observers_.remove_if([id](const auto& observer) { return observer.first == id; });
}

void OnlineSessionTable::Notify() {
  std::lock_guard guard(observersMutex_);
  for (const auto& [id, onChange] : observers_) {
    // The table never reports errors to its callers; a failing observer is
    // logged and the others still hear of the change.
    try {
      onChange();
    } catch (const std::exception& error) {
      std::cerr << "OnlineSessionTable: observer " << id << " failed: " << error.what() << '\n';
    }
  }
}

OnlineSessionTable::Subscription::Subscription(Subscription&& other) noexcept
    : table_(std::exchange(other.table_, nullptr)), id_(other.id_) {}

OnlineSessionTable::Subscription& OnlineSessionTable::Subscription::operator=(
    Subscription&& other) noexcept {
  if (this != &other) {
    Reset();
    table_ = std::exchange(other.table_, nullptr);
    id_ = other.id_;
  }
  return *this;
}

OnlineSessionTable::Subscription::~Subscription() {
  Reset();
}

void OnlineSessionTable::Subscription::Reset() {
  if (table_ != nullptr) std::exchange(table_, nullptr)->Unsubscribe(id_);
}

OnlineSessionTable& OnlineSessions() {
  // Never destroyed: phone threads and console subscriptions may still use it
  // while static objects are torn down at exit.
  static OnlineSessionTable* const table = new OnlineSessionTable();
  return *table;
}

}  // namespace quor
