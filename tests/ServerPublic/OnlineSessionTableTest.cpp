#include "ServerPublic/OnlineSessionTable.h"

#include <gtest/gtest.h>
#include <time.h>

#include <atomic>
#include <barrier>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "ServerPublic/ConsoleSwitches.h"

namespace quor {
namespace {

using std::chrono::milliseconds;
using std::chrono::minutes;
using std::chrono::seconds;

// Local wall time of a day in 2024.
std::chrono::system_clock::time_point LocalTime(int day, int hour, int minute, int second) {
  tm parts{};
  parts.tm_year = 2024 - 1900;
  parts.tm_mon = 2;
  parts.tm_mday = day;
  parts.tm_hour = hour;
  parts.tm_min = minute;
  parts.tm_sec = second;
  parts.tm_isdst = -1;
  return std::chrono::system_clock::from_time_t(mktime(&parts));
}

// Both clocks move together, as they do unless someone sets the wall clock.
class ManualClock {
 public:
  explicit ManualClock(std::chrono::system_clock::time_point wall = LocalTime(5, 10, 0, 0))
      : wall_(wall) {}
  SessionClock Function() {
    return [this] { return SessionInstant{steady_, wall_}; };
  }
  void Advance(milliseconds step) {
    steady_ += step;
    wall_ += step;
  }

 private:
  std::chrono::steady_clock::time_point steady_{std::chrono::hours(5000)};
  std::chrono::system_clock::time_point wall_;
};

// One operation of a scenario; `expected` is the result of a registration,
// or 1/0 for "an entry matched" of a touch or removal.
struct Step {
  enum Kind { kRegister, kTouch, kRemove, kWait } kind;
  std::string guid;
  std::string dataBase;
  std::string loginId;
  std::string computerName;
  std::string computerAddr;
  int expected = 0;
  milliseconds wait{0};
};

Step Login(std::string guid, std::string dataBase, std::string loginId, int expected = 0,
           std::string computerName = "PC", std::string computerAddr = "10.0.0.1") {
  return {Step::kRegister, guid, dataBase, loginId, computerName, computerAddr, expected};
}
Step Phone(std::string guid, std::string dataBase, std::string loginId, std::string folder,
           std::string address, int expected = 0) {
  return {Step::kRegister, guid, dataBase, loginId, folder, address, expected};
}
Step Touch(std::string guid, std::string computerName, std::string computerAddr, bool found) {
  return {Step::kTouch, guid, "", "", computerName, computerAddr, found ? 1 : 0};
}
Step Remove(std::string guid, std::string computerName, std::string computerAddr, bool found) {
  return {Step::kRemove, guid, "", "", computerName, computerAddr, found ? 1 : 0};
}
Step Wait(milliseconds wait) {
  return {Step::kWait, "", "", "", "", "", 0, wait};
}

// "slot:guid@database/login" per entry in use.
std::vector<std::string> Entries(const OnlineSessionTable& table) {
  std::vector<std::string> entries;
  for (const OnlineSession& s : table.Snapshot()) {
    entries.push_back(std::to_string(s.slot) + ":" + s.guid + "@" + s.dataBase + "/" + s.loginId);
  }
  return entries;
}

TEST(OnlineSessionTableTest, RegistrationsFollowThePolicyIdlenessAndPhoneRules) {
  const milliseconds limit = OnlineSessionTable::kIdleLimit;
  const struct {
    const char* name;
    bool oneLoginPerUser;
    std::vector<Step> steps;
    std::vector<std::string> entries;
  } cases[] = {
      {"policy on: the same user in the same account set from another client is refused",
       true,
       {Login("X", "A", "01"), Login("Y", "A", "01", -2), Login("Y", "B", "01")},
       {"0:X@A/01", "1:Y@B/01"}},
      {"policy on: another login id from the same client and account set is refused",
       true,
       {Login("X", "A", "01"), Login("X", "A", "02", -2)},
       {"0:X@A/01"}},
      {"policy on: the same client is entered twice and its third login refused",
       true,
       {Login("X", "A", "01"), Login("X", "A", "01"), Login("X", "A", "01", -2)},
       {"0:X@A/01", "1:X@A/01"}},
      {"policy on: a client moving to another account set replaces its entry",
       true,
       {Login("X", "A", "01"), Login("Y", "A", "02"), Login("X", "B", "01")},
       {"0:X@B/01", "1:Y@A/02"}},
      {"policy on: an idle entry of the same user refuses until anyone else's login clears it",
       true,
       {Login("X", "A", "01"), Wait(minutes(11)), Login("Y", "A", "01", -2), Login("Z", "A", "02"),
        Login("Y", "A", "01")},
       {"0:Z@A/02", "1:Y@A/01"}},
      {"policy off: the same client logging in twice leaves one entry",
       false,
       {Login("X", "A", "01"), Login("X", "A", "01")},
       {"0:X@A/01"}},
      {"policy off: the same user from two clients is entered twice",
       false,
       {Login("X", "A", "01"), Login("Y", "A", "01")},
       {"0:X@A/01", "1:Y@A/01"}},
      {"an entry idle for exactly 604.8 s stays, a millisecond more clears it",
       false,
       {Login("X", "A", "01"), Wait(limit), Login("Y", "A", "02"), Wait(milliseconds(1)),
        Login("Z", "A", "03")},
       {"0:Z@A/03", "1:Y@A/02"}},
      {"an entry whose last keep-alive is 11 minutes old is cleared by the next login",
       false,
       {Login("X", "A", "01"), Wait(minutes(11)), Login("Y", "B", "02")},
       {"0:Y@B/02"}},
      {"keep-alives keep an entry",
       false,
       {Login("X", "A", "01"), Wait(seconds(500)), Touch("X", "", "", true), Wait(seconds(500)),
        Login("Y", "A", "02"), Touch("W", "", "", false)},
       {"0:X@A/01", "1:Y@A/02"}},
      {"a phone connecting again replaces its entry by folder and address",
       false,
       {Phone("Android_1", "M", "138", "Phone01", "10.0.0.5"),
        Phone("Android_2", "M", "139", "Phone01", "10.0.0.5")},
       {"0:Android_2@M/139"}},
      {"phones differing in folder or address are both entered",
       false,
       {Phone("Android_1", "M", "1", "PhoneA", "10.0.0.5"),
        Phone("Android_2", "M", "2", "PhoneB", "10.0.0.5"),
        Phone("Android_3", "M", "3", "PhoneA", "10.0.0.6")},
       {"0:Android_1@M/1", "1:Android_2@M/2", "2:Android_3@M/3"}},
      {"policy on: the same user on a phone at another address is refused",
       true,
       {Phone("Android_1", "M", "138", "10_0_0_5", "10.0.0.5"),
        Phone("Android_2", "M", "138", "10_0_0_6", "10.0.0.6", -2)},
       {"0:Android_1@M/138"}},
      {"policy on: a phone connecting again replaces its own earlier entry",
       true,
       {Phone("Android_1", "M", "138", "10_0_0_5", "10.0.0.5"),
        Phone("Android_2", "M", "138", "10_0_0_5", "10.0.0.5")},
       {"0:Android_2@M/138"}},
      {"policy on: a desktop entry of the same user still refuses a phone",
       true,
       {Login("X", "M", "138", 0, "10_0_0_5", "10.0.0.5"),
        Phone("Android_2", "M", "138", "10_0_0_5", "10.0.0.5", -2)},
       {"0:X@M/138"}},
      {"a desktop login never clears by computer name and address",
       false,
       {Login("X", "A", "01", 0, "PC1", "10.0.0.9"), Login("Y", "A", "02", 0, "PC1", "10.0.0.9")},
       {"0:X@A/01", "1:Y@A/02"}},
      {"a phone disconnect clears the entry of its folder and address",
       false,
       {Phone("Android_1", "M", "1", "PhoneA", "10.0.0.5"), Login("X", "A", "01"),
        Remove("Android_9", "PhoneA", "10.0.0.5", true),
        Remove("Android_9", "PhoneA", "10.0.0.5", false)},
       {"1:X@A/01"}},
      {"a desktop disconnect matches by guid only",
       false,
       {Login("X", "A", "01", 0, "PC1", "10.0.0.9"), Remove("Y", "PC1", "10.0.0.9", false),
        Remove("X", "", "", true)},
       {}},
      {"a phone keep-alive by folder and address keeps the entry",
       false,
       {Phone("Android_1", "M", "1", "PhoneA", "10.0.0.5"), Wait(seconds(600)),
        Touch("Android_7", "PhoneA", "10.0.0.5", true), Wait(seconds(600)), Login("Z", "A", "01")},
       {"0:Android_1@M/1", "1:Z@A/01"}},
      {"the first matching entry is the one cleared",
       true,
       {Login("X", "A", "01"), Login("X", "A", "01"), Remove("X", "", "", true)},
       {"1:X@A/01"}},
      {"an empty guid matches nothing and enters nothing",
       false,
       {Login("X", "A", "01"), Remove("", "", "", false), Touch("", "", "", false),
        Login("", "A", "02"), Phone("Android_1", "M", "1", "", "")},
       {"0:X@A/01", "1:Android_1@M/1"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ManualClock clock;
    OnlineSessionTable table(clock.Function());
    for (std::size_t i = 0; i < c.steps.size(); ++i) {
      const Step& s = c.steps[i];
      SCOPED_TRACE("step " + std::to_string(i + 1));
      switch (s.kind) {
        case Step::kRegister:
          EXPECT_EQ(table.RegisterSession(s.guid, s.dataBase, s.loginId, s.computerName,
                                          s.computerAddr, "用户" + s.loginId, c.oneLoginPerUser),
                    s.expected);
          break;
        case Step::kTouch:
          EXPECT_EQ(table.TouchSession(s.guid, s.computerName, s.computerAddr), s.expected == 1);
          break;
        case Step::kRemove:
          EXPECT_EQ(table.RemoveSession(s.guid, s.computerName, s.computerAddr), s.expected == 1);
          break;
        case Step::kWait:
          clock.Advance(s.wait);
          break;
      }
    }
    EXPECT_EQ(Entries(table), c.entries);
  }
}

TEST(OnlineSessionTableTest, EntriesCarryTheValuesGivenAndTheTimeOfTheLastKeepAlive) {
  ManualClock clock(LocalTime(5, 9, 30, 15));
  OnlineSessionTable table(clock.Function());
  ASSERT_EQ(
      table.RegisterSession("G1", "QuorData01", "01", "财务室", "192.168.1.20", "张三", false), 0);
  auto sessions = table.Snapshot();
  ASSERT_EQ(sessions.size(), 1u);
  EXPECT_EQ(sessions[0].computerName, "财务室");
  EXPECT_EQ(sessions[0].computerAddr, "192.168.1.20");
  EXPECT_EQ(sessions[0].loginUserName, "张三");
  EXPECT_EQ(ActiveTimeText(sessions[0]), "09:30:15");

  clock.Advance(seconds(90));
  EXPECT_TRUE(table.TouchSession("G1", "", ""));
  EXPECT_EQ(ActiveTimeText(table.Snapshot().at(0)), "09:31:45");
}

TEST(OnlineSessionTableTest, IdlenessIsMeasuredAcrossMidnightAndAcrossDays) {
  const struct {
    const char* name;
    std::chrono::system_clock::time_point registered;
    milliseconds idle;
    bool stays;
  } cases[] = {
      // A time-of-day difference turns negative after midnight: such entries
      // would never be found idle.
      {"23:58 seen at 00:08", LocalTime(5, 23, 58, 0), minutes(10), true},
      {"23:58 seen at 00:09", LocalTime(5, 23, 58, 0), minutes(11), false},
      {"23:59:59 seen at 00:10:04", LocalTime(5, 23, 59, 59), seconds(605), false},
      // The same time of day a day later is a day of idleness, not none.
      {"10:00 seen at 09:55 the next day", LocalTime(5, 10, 0, 0), minutes(23 * 60 + 55), false},
      {"10:00 seen at 10:05 the next day", LocalTime(5, 10, 0, 0), minutes(24 * 60 + 5), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ManualClock clock(c.registered);
    OnlineSessionTable table(clock.Function());
    table.RegisterSession("X", "A", "01", "PC", "10.0.0.1", "", false);
    clock.Advance(c.idle);
    table.RegisterSession("Y", "A", "02", "PC", "10.0.0.2", "", false);
    EXPECT_EQ(Entries(table).front() == "0:X@A/01", c.stays);
  }
}

TEST(OnlineSessionTableTest, AFullTableLeavesTheClientOutAndReusesTheFirstFreedSlot) {
  ManualClock clock;
  OnlineSessionTable table(clock.Function());
  for (std::size_t i = 0; i < OnlineSessionTable::kCapacity; ++i) {
    ASSERT_EQ(
        table.RegisterSession("G" + std::to_string(i), "A", std::to_string(i), "", "", "", false),
        0);
  }
  EXPECT_EQ(table.RegisterSession("late", "A", "late", "", "", "", false), 0);
  auto sessions = table.Snapshot();
  ASSERT_EQ(sessions.size(), OnlineSessionTable::kCapacity);
  EXPECT_EQ(sessions.back().guid, "G499");
  EXPECT_TRUE(table.HasOtherSessions("G0"));

  ASSERT_TRUE(table.RemoveSession("G7", "", ""));
  ASSERT_TRUE(table.RemoveSession("G40", "", ""));
  EXPECT_EQ(table.RegisterSession("late", "A", "late", "", "", "", false), 0);
  sessions = table.Snapshot();
  ASSERT_EQ(sessions.size(), OnlineSessionTable::kCapacity - 1);
  EXPECT_EQ(sessions[7].guid, "late");
  EXPECT_EQ(sessions[7].slot, 7u);
}

TEST(OnlineSessionTableTest, LongValuesAreCutByCharactersNeverInsideOne) {
  const std::string han = "账";                  // three bytes
  const std::string emoji = "\xF0\x9F\x98\x80";  // four bytes
  auto repeat = [](const std::string& piece, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) text += piece;
    return text;
  };
  const struct {
    const char* name;
    std::string value;
    std::string expected;
  } cases[] = {
      {"short", "abc", "abc"},
      {"exactly the limit", std::string(50, 'a'), std::string(50, 'a')},
      {"ASCII over the limit", std::string(80, 'a'), std::string(50, 'a')},
      {"Chinese over the limit", repeat(han, 60), repeat(han, 50)},
      {"four-byte character across the limit", std::string(49, 'a') + emoji + emoji,
       std::string(49, 'a') + emoji},
      {"mixed widths", repeat("a" + han + emoji, 20), repeat("a" + han + emoji, 16) + "a" + han},
      {"malformed bytes count one each", std::string(60, '\xFF'), std::string(50, '\xFF')},
      {"a lone lead byte at the end", std::string(49, 'a') + "\xE8", std::string(49, 'a') + "\xE8"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ManualClock clock;
    OnlineSessionTable table(clock.Function());
    table.RegisterSession("G", c.value, "01", c.value, c.value, c.value, false);
    const auto sessions = table.Snapshot();
    ASSERT_EQ(sessions.size(), 1u);
    EXPECT_EQ(sessions[0].dataBase, c.expected);
    EXPECT_EQ(sessions[0].computerName, c.expected);
    EXPECT_EQ(sessions[0].computerAddr, c.expected);
    EXPECT_EQ(sessions[0].loginUserName, c.expected);
  }

  // Guid (100) and LoginID (30): a client whose values are longer still finds
  // its own entry.
  ManualClock clock;
  OnlineSessionTable table(clock.Function());
  const std::string guid = repeat(han, 120);
  const std::string login = std::string(45, '1');
  table.RegisterSession(guid, "A", login, "", "", "", true);
  ASSERT_EQ(table.Snapshot().size(), 1u);
  EXPECT_EQ(table.Snapshot()[0].guid, repeat(han, 100));
  EXPECT_EQ(table.Snapshot()[0].loginId, std::string(30, '1'));
  EXPECT_EQ(table.RegisterSession("other", "A", login, "", "", "", true), -2);
  EXPECT_FALSE(table.HasOtherSessions(guid));
  EXPECT_TRUE(table.TouchSession(guid, "", ""));
  EXPECT_TRUE(table.RemoveSession(guid, "", ""));
  EXPECT_TRUE(table.Snapshot().empty());
}

TEST(OnlineSessionTableTest, OtherSessionsAreThoseOfAnyOtherGuid) {
  ManualClock clock;
  OnlineSessionTable table(clock.Function());
  EXPECT_FALSE(table.HasOtherSessions("X"));
  table.RegisterSession("X", "A", "01", "", "", "", false);
  EXPECT_FALSE(table.HasOtherSessions("X"));
  EXPECT_TRUE(table.HasOtherSessions("Y"));
  table.RegisterSession("Y", "B", "02", "", "", "", false);
  EXPECT_TRUE(table.HasOtherSessions("X"));
  table.RemoveSession("Y", "", "");
  EXPECT_FALSE(table.HasOtherSessions("X"));
}

TEST(OnlineSessionTableTest, WithoutAPolicyArgumentTheConsoleSwitchDecides) {
  ManualClock clock;
  OnlineSessionTable table(clock.Function());
  SetUserLoginIdentic(true);
  table.RegisterSession("X", "A", "01", "", "", "");
  EXPECT_EQ(table.RegisterSession("Y", "A", "01", "", "", ""), -2);
  SetUserLoginIdentic(false);
  EXPECT_EQ(table.RegisterSession("Y", "A", "01", "", "", ""), 0);
  EXPECT_EQ(table.Snapshot().size(), 2u);
}

TEST(OnlineSessionTableTest, ObserversHearOfChangesAfterTheLockIsReleased) {
  ManualClock clock;
  OnlineSessionTable table(clock.Function());
  int calls = 0;
  std::size_t entriesSeen = 0;
  // Reading the table from inside would deadlock if the lock were still held.
  auto subscription = table.Subscribe([&] {
    ++calls;
    entriesSeen = table.Snapshot().size();
  });
  auto failing = table.Subscribe([] { throw std::runtime_error("observer fault"); });

  const struct {
    const char* name;
    std::function<void()> operation;
    int callsAfter;
    std::size_t entriesAfter;
  } steps[] = {
      {"login entered", [&] { table.RegisterSession("X", "A", "01", "", "", "", true); }, 1, 1},
      {"refused without change", [&] { table.RegisterSession("Y", "A", "01", "", "", "", true); },
       1, 1},
      {"keep-alive", [&] { table.TouchSession("X", "", ""); }, 1, 1},
      {"second login", [&] { table.RegisterSession("Z", "B", "02", "", "", "", true); }, 2, 2},
      {"removal", [&] { table.RemoveSession("Z", "", ""); }, 3, 1},
      {"removal of nothing", [&] { table.RemoveSession("Z", "", ""); }, 3, 1},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.name);
    s.operation();
    EXPECT_EQ(calls, s.callsAfter);
    EXPECT_EQ(entriesSeen, s.entriesAfter);
  }

  subscription = {};
  table.RegisterSession("W", "C", "03", "", "", "", true);
  EXPECT_EQ(calls, 3) << "no calls after unsubscribing";
}

TEST(OnlineSessionTableTest, ConcurrentRegistrationsAndRemovalsLoseAndDuplicateNothing) {
  OnlineSessionTable table;
  std::atomic<int> notifications{0};
  auto subscription = table.Subscribe([&] { notifications.fetch_add(1); });

  constexpr int kThreads = 8;
  constexpr int kPerThread = 50;  // 400 entries at most: the table never fills
  constexpr int kRounds = 100;
  std::atomic<int> failures{0};
  std::atomic<int> changes{0};
  std::barrier start(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      // All start at once, so that registrations overlap from the first one.
      start.arrive_and_wait();
      auto guid = [t](int i) { return "T" + std::to_string(t) + "-" + std::to_string(i); };
      for (int round = 0; round < kRounds; ++round) {
        for (int i = 0; i < kPerThread; ++i) {
          if (table.RegisterSession(guid(i), "A", guid(i), "PC", "10.0.0.1", "", false) != 0) {
            failures.fetch_add(1);
          }
          changes.fetch_add(1);
          if (!table.TouchSession(guid(i), "", "")) failures.fetch_add(1);
          if (!table.HasOtherSessions(guid(i)) && kThreads > 1 && i > 0) failures.fetch_add(1);
        }
        (void)table.Snapshot();
        // The last round keeps its odd entries for the final check.
        for (int i = 0; i < kPerThread; ++i) {
          if (round + 1 == kRounds && i % 2 == 1) continue;
          if (!table.RemoveSession(guid(i), "", "")) failures.fetch_add(1);
          changes.fetch_add(1);
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();

  EXPECT_EQ(failures.load(), 0);
  std::set<std::string> expected;
  for (int t = 0; t < kThreads; ++t) {
    for (int i = 1; i < kPerThread; i += 2) {
      expected.insert("T" + std::to_string(t) + "-" + std::to_string(i));
    }
  }
  std::multiset<std::string> found;
  for (const OnlineSession& s : table.Snapshot()) found.insert(s.guid);
  EXPECT_EQ(found.size(), expected.size()) << "no entry lost or duplicated";
  EXPECT_EQ(std::set<std::string>(found.begin(), found.end()), expected);
  EXPECT_EQ(notifications.load(), changes.load()) << "every change was signalled once";
}

}  // namespace
}  // namespace quor
