// The table of clients and phones that are logged in. Desktop logins and phone
// connections enter it, keep-alives refresh it, disconnects and later logins
// clear it, and the console shows it. Module and phone threads share it; one
// lock is held for the whole of every operation.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <vector>

namespace quor {

// One entry in use, as the console grid shows it.
struct OnlineSession {
  std::size_t slot = 0;  // position in the table, from 0
  std::string guid;      // the client's session id; phones: "Android_" + number
  std::string dataBase;  // account set
  std::string loginId;
  std::chrono::system_clock::time_point activeTime;  // registration or last keep-alive
  std::string computerName;
  std::string computerAddr;
  std::string loginUserName;
};

// ActiveTime as the console shows it: "hh:nn:ss", local time of day.
std::string ActiveTimeText(const OnlineSession& session);

// One moment read on two clocks: the steady clock measures how long an entry
// has been idle (it never jumps, not even at midnight or when the clock is
// set), the wall clock gives the time of day shown.
struct SessionInstant {
  std::chrono::steady_clock::time_point steady;
  std::chrono::system_clock::time_point wall;
};
using SessionClock = std::function<SessionInstant()>;
SessionInstant SystemSessionTime();

class OnlineSessionTable {
 public:
  static constexpr std::size_t kCapacity = 500;
  // Longer values are cut to this many characters (never inside a character).
  static constexpr std::size_t kGuidLength = 100;
  static constexpr std::size_t kDataBaseLength = 50;
  static constexpr std::size_t kLoginIdLength = 30;
  static constexpr std::size_t kComputerNameLength = 50;
  static constexpr std::size_t kComputerAddrLength = 50;
  static constexpr std::size_t kLoginUserNameLength = 50;
  // 0.007 of a day: an entry idle for longer is cleared by the next registration.
  static constexpr std::chrono::milliseconds kIdleLimit{604800};

  static constexpr int kEntered = 0;
  static constexpr int kRefused = -2;  // the one-login-per-user policy forbids it

  explicit OnlineSessionTable(SessionClock clock = SystemSessionTime);
  OnlineSessionTable(const OnlineSessionTable&) = delete;
  OnlineSessionTable& operator=(const OnlineSessionTable&) = delete;

  // Clears idle, replaced and duplicate entries and enters the session in the
  // first free slot: kEntered, also when the table is full (the session is
  // then left out), or kRefused. The policy is the switch UserLoginIdentic
  // unless given.
  int RegisterSession(const std::string& guid, const std::string& dataBase,
                      const std::string& loginId, const std::string& computerName,
                      const std::string& computerAddr, const std::string& loginUserName);
  int RegisterSession(const std::string& guid, const std::string& dataBase,
                      const std::string& loginId, const std::string& computerName,
                      const std::string& computerAddr, const std::string& loginUserName,
                      bool userLoginIdentic);

  // The first entry in use with this guid or, for a guid beginning with
  // "Android_", with this computer name and address: Touch sets its ActiveTime
  // to now, Remove clears it. False when no entry matched.
  bool TouchSession(const std::string& guid, const std::string& computerName,
                    const std::string& computerAddr);
  bool RemoveSession(const std::string& guid, const std::string& computerName,
                     const std::string& computerAddr);

  // An entry in use belongs to another guid.
  bool HasOtherSessions(const std::string& guid) const;

  // The entries in use, in table order.
  std::vector<OnlineSession> Snapshot() const;

  // Change notification for the console. The callback runs on the thread that
  // changed the table (a module or phone thread), after the table's lock is
  // released, whenever a registration or removal changed the entries;
  // keep-alives do not notify. It carries no data and must stay trivial: post
  // a refresh to the UI thread (a queued call) and return, never touch
  // widgets, block, throw, or subscribe and unsubscribe from inside.
  class Subscription {
   public:
    Subscription() = default;
    Subscription(Subscription&& other) noexcept;
    Subscription& operator=(Subscription&& other) noexcept;
    ~Subscription();  // unsubscribes; no call runs once it has returned

   private:
    friend class OnlineSessionTable;
    Subscription(OnlineSessionTable* table, std::size_t id) : table_(table), id_(id) {}
    void Reset();
    OnlineSessionTable* table_ = nullptr;
    std::size_t id_ = 0;
  };
  [[nodiscard]] Subscription Subscribe(std::function<void()> onChange);

  // Calls the subscribers as a change would, for an event the console shows
  // although the entries stayed as they were (a refused login).
  void RequestRefresh() { Notify(); }

 private:
  struct Entry {
    std::string guid;
    std::string dataBase;
    std::string loginId;
    std::string computerName;
    std::string computerAddr;
    std::string loginUserName;
    std::chrono::steady_clock::time_point activeSteady;
    std::chrono::system_clock::time_point activeWall;
    bool InUse() const { return !guid.empty(); }
  };

  int Register(const Entry& wanted, bool userLoginIdentic, const SessionInstant& now,
               bool& changed);
  Entry* FindMatch(const std::string& guid, const std::string& computerName,
                   const std::string& computerAddr);
  void Unsubscribe(std::size_t id);
  void Notify();

  SessionClock clock_;
  mutable std::mutex mutex_;  // the table's one lock
  std::vector<Entry> entries_;

  // Observers have their own lock: they are called outside the table's lock,
  // and Unsubscribe waits for a call in progress.
  std::mutex observersMutex_;
  std::list<std::pair<std::size_t, std::function<void()>>> observers_;
  std::size_t nextObserverId_ = 1;
};

// The process-wide table.
OnlineSessionTable& OnlineSessions();

}  // namespace quor
