// The desktop login and the online table as clients reach it through their
// modules: entering, refusing under the one-login-per-user policy (with the
// code and text the client shows), keep-alives, disconnects, the collision
// question, values longer than their fields, and the console being asked to
// refresh after every attempt.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "SessionFixture.h"
#include "remote/methods/SessionHandlers.h"

namespace quor::testing {
namespace {

using com::Variant;

struct Login {
  std::string guid;
  std::string dataBase;
  std::string loginId;
  std::string computerName = "PC-01";
  std::string computerAddr = "192.168.1.20";
  std::string userName = "张三";
};

struct LoginAnswer {
  com::HResult hr = com::S_OK;
  int iReturn = 55;
  std::string message;
};

class OnlineMethodsTest : public SessionTest {
 protected:
  LoginAnswer LogIn(const Login& login) {
    OutSlot iReturn = Out(Variant::I4(55), com::VT_I4);
    OutSlot message = Out(Variant("stale"), com::VT_BSTR);
    const CallResult result = Call(
        "NetClientLogin", {Variant(login.guid), Variant(login.dataBase), Variant(login.loginId),
                           Variant(login.computerName), Variant(login.computerAddr),
                           Variant(login.userName), iReturn.ref, message.ref});
    EXPECT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
    return {result.hr, iReturn.value->GetI4(), message.value->GetString()};
  }

  int Collide(const std::string& guid) {
    const CallResult result = Call("CheckNetConnectCollide", {Variant(guid)});
    EXPECT_EQ(result.hr, com::S_OK) << result.excepInfo.description;
    return result.value.GetI4();
  }

  std::vector<std::string> Guids() {
    std::vector<std::string> guids;
    for (const OnlineSession& session : OnlineSessions().Snapshot()) guids.push_back(session.guid);
    return guids;
  }
};

TEST_F(OnlineMethodsTest, AnAcceptedLoginEntersTheSixValuesAndAnswersZeroWithoutText) {
  const Login login{"{GUID-X}", "QuorData01", "01"};
  const LoginAnswer answer = LogIn(login);
  EXPECT_EQ(answer.iReturn, 0);
  EXPECT_EQ(answer.message, "");
  const std::vector<OnlineSession> sessions = OnlineSessions().Snapshot();
  ASSERT_EQ(sessions.size(), 1u);
  EXPECT_EQ(sessions[0].guid, login.guid);
  EXPECT_EQ(sessions[0].dataBase, login.dataBase);
  EXPECT_EQ(sessions[0].loginId, login.loginId);
  EXPECT_EQ(sessions[0].computerName, login.computerName);
  EXPECT_EQ(sessions[0].computerAddr, login.computerAddr);
  EXPECT_EQ(sessions[0].loginUserName, login.userName);
}

TEST_F(OnlineMethodsTest, UnderTheOneLoginPolicyASecondClientOfTheSameUserIsRefusedWithItsText) {
  struct Case {
    const char* label;
    bool policy;
    Login login;
    int expected;
  };
  const Login first{"{GUID-X}", "A", "01"};
  const std::vector<Case> cases = {
      {"policy on, same user and account set from another client",
       true,
       {"{GUID-Y}", "A", "01"},
       remote::kLoginRefused},
      {"policy on, same user to another account set", true, {"{GUID-Y}", "B", "01"}, 0},
      {"policy on, another user to the same account set", true, {"{GUID-Y}", "A", "02"}, 0},
      {"policy on, the same client as another user",
       true,
       {"{GUID-X}", "A", "02"},
       remote::kLoginRefused},
      {"policy off, same user and account set from another client",
       false,
       {"{GUID-Y}", "A", "01"},
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ClearOnlineTable();
    SetUserLoginIdentic(c.policy);
    ASSERT_EQ(LogIn(first).iReturn, 0);
    const LoginAnswer answer = LogIn(c.login);
    EXPECT_EQ(answer.iReturn, c.expected);
    EXPECT_EQ(answer.message, c.expected == 0 ? "" : remote::kLoginRefusedText);
    const std::vector<std::string> guids = Guids();
    // A refused client is not entered; the first one keeps its entry.
    EXPECT_EQ(std::count(guids.begin(), guids.end(), first.guid), 1);
    EXPECT_EQ(guids.size(), c.expected == 0 && c.login.guid != first.guid ? 2u : 1u);
  }
}

TEST_F(OnlineMethodsTest, WithThePolicyOffTheSameClientLoggingInTwiceHasOneEntry) {
  const Login login{"{GUID-X}", "A", "01"};
  ASSERT_EQ(LogIn(login).iReturn, 0);
  ASSERT_EQ(LogIn(login).iReturn, 0);
  EXPECT_EQ(Guids(), std::vector<std::string>{login.guid});
}

TEST_F(OnlineMethodsTest, TheConsoleIsAskedToRefreshAfterEveryAttemptAndEveryDisconnect) {
  SetUserLoginIdentic(true);
  ASSERT_EQ(LogIn({"{GUID-X}", "A", "01"}).iReturn, 0);
  EXPECT_EQ(refreshes_.load(), 1);
  // Refused: the table is unchanged, yet the operator sees the attempt.
  ASSERT_EQ(LogIn({"{GUID-Y}", "A", "01"}).iReturn, remote::kLoginRefused);
  EXPECT_EQ(refreshes_.load(), 2);
  ASSERT_EQ(Call("NetClientDisconnect", {Variant("{GUID-X}")}).hr, com::S_OK);
  EXPECT_EQ(refreshes_.load(), 3);
  // A keep-alive changes no row the console shows but its time; no refresh.
  ASSERT_EQ(Call("UpdateNetConnectTime", {Variant("{GUID-Y}")}).hr, com::S_OK);
  EXPECT_EQ(refreshes_.load(), 3);
}

TEST_F(OnlineMethodsTest, KeepAliveDisconnectAndCollisionWorkOnTheCallersEntryOnly) {
  ASSERT_EQ(LogIn({"{GUID-X}", "A", "01"}).iReturn, 0);
  EXPECT_EQ(Collide("{GUID-X}"), 0);
  ASSERT_EQ(LogIn({"{GUID-Y}", "A", "02"}).iReturn, 0);
  EXPECT_EQ(Collide("{GUID-X}"), 1);
  EXPECT_EQ(Collide("{GUID-Y}"), 1);

  auto activeTime = [](const std::string& guid) {
    for (const OnlineSession& session : OnlineSessions().Snapshot()) {
      if (session.guid == guid) return session.activeTime;
    }
    ADD_FAILURE() << guid << " has no entry";
    return std::chrono::system_clock::time_point{};
  };
  const auto x = activeTime("{GUID-X}");
  const auto y = activeTime("{GUID-Y}");
  while (std::chrono::system_clock::now() <= x) {
  }
  ASSERT_EQ(Call("UpdateNetConnectTime", {Variant("{GUID-X}")}).hr, com::S_OK);
  EXPECT_GT(activeTime("{GUID-X}"), x);
  EXPECT_EQ(activeTime("{GUID-Y}"), y);
  // A guid nobody has changes nothing.
  ASSERT_EQ(Call("UpdateNetConnectTime", {Variant("{GUID-Z}")}).hr, com::S_OK);
  ASSERT_EQ(Call("NetClientDisconnect", {Variant("{GUID-Z}")}).hr, com::S_OK);
  EXPECT_EQ(Guids(), (std::vector<std::string>{"{GUID-X}", "{GUID-Y}"}));

  ASSERT_EQ(Call("NetClientDisconnect", {Variant("{GUID-Y}")}).hr, com::S_OK);
  EXPECT_EQ(Guids(), std::vector<std::string>{"{GUID-X}"});
  EXPECT_EQ(Collide("{GUID-X}"), 0);
}

TEST_F(OnlineMethodsTest, DesktopCallsNeverReachAPhonesEntryByItsMachine) {
  // A phone is entered under "Android_" + number with its machine name and
  // address; a desktop disconnect passes no machine, so it cannot match it.
  ASSERT_EQ(
      OnlineSessions().RegisterSession("Android_7", "A", "09", "phone-7", "10.0.0.7", "phone"), 0);
  ASSERT_EQ(Call("NetClientDisconnect", {Variant("Android_8")}).hr, com::S_OK);
  EXPECT_EQ(Guids(), std::vector<std::string>{"Android_7"});
  ASSERT_EQ(Call("NetClientDisconnect", {Variant("Android_7")}).hr, com::S_OK);
  EXPECT_TRUE(Guids().empty());
}

TEST_F(OnlineMethodsTest, ValuesLongerThanTheirFieldsAreCutAndStillFindTheirEntry) {
  Login login;
  login.guid = std::string(150, 'G');
  login.dataBase = std::string(60, 'D');
  login.loginId = std::string(40, 'L');
  login.computerName = std::string(30, 'N') + std::string(30, 'N');
  login.computerAddr = std::string(70, '1');
  login.userName = std::string(40, 'U') + "张三李四王五赵六钱七孙八";  // 52 characters
  ASSERT_EQ(LogIn(login).iReturn, 0);
  std::vector<OnlineSession> sessions = OnlineSessions().Snapshot();
  ASSERT_EQ(sessions.size(), 1u);
  EXPECT_EQ(sessions[0].guid, std::string(100, 'G'));
  EXPECT_EQ(sessions[0].dataBase, std::string(50, 'D'));
  EXPECT_EQ(sessions[0].loginId, std::string(30, 'L'));
  EXPECT_EQ(sessions[0].computerName, std::string(50, 'N'));
  EXPECT_EQ(sessions[0].computerAddr, std::string(50, '1'));
  // Cut by characters, never inside one.
  EXPECT_EQ(sessions[0].loginUserName, std::string(40, 'U') + "张三李四王五赵六钱七");

  // The same long id, as the client sends it again, is the same client.
  EXPECT_EQ(Collide(login.guid), 0);
  ASSERT_EQ(LogIn(login).iReturn, 0);
  EXPECT_EQ(OnlineSessions().Snapshot().size(), 1u);
  ASSERT_EQ(Call("NetClientDisconnect", {Variant(login.guid)}).hr, com::S_OK);
  EXPECT_TRUE(Guids().empty());
}

}  // namespace
}  // namespace quor::testing
