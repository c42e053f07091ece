#include "platform/service/ServiceStatus.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "tests/platform/service/FakeSystemCtl.h"

namespace quor::service {
namespace {

using testing::FakeSystemCtl;

TEST(ServiceStatus, MapsWhatSystemdSaysOntoTheServiceManagersAnswers) {
  struct Case {
    const char* name;
    const char* loadState;
    const char* activeState;
    const char* mainPid;  // "$PPID" is the asking process
    int expected;
  };
  const Case cases[] = {
      {"not installed", "not-found", "inactive", "0", -1},
      {"masked", "masked", "inactive", "0", -1},
      {"broken unit file", "bad-setting", "inactive", "0", -1},
      {"installed, stopped", "loaded", "inactive", "0", 0},
      {"installed, failed", "loaded", "failed", "0", 0},
      {"start pending in this process", "loaded", "activating", "$PPID", 0},
      {"start pending elsewhere", "loaded", "activating", "4242", 0},
      {"stopping", "loaded", "deactivating", "4242", 0},
      {"running in another process", "loaded", "active", "1", 1},
      {"running without a main process", "loaded", "active", "0", 1},
      {"reloading in another process", "loaded", "reloading", "1", 1},
      {"running as this very process", "loaded", "active", "$PPID", 0},
  };
  FakeSystemCtl systemctl;
  for (const Case& c : cases) {
    systemctl.AnswerShow(c.loadState, c.activeState, c.mainPid);
    EXPECT_EQ(ServiceStatus("NT_QuorServerBZ"), c.expected) << c.name;
  }
}

TEST(ServiceStatus, AsksForTheUnitNamedAfterTheService) {
  FakeSystemCtl systemctl;
  systemctl.AnswerShow("loaded", "inactive", "0");
  EXPECT_EQ(ServiceStatus("NT_QuorServerQX"), 0);
  ASSERT_EQ(systemctl.Calls().size(), 1u);
  EXPECT_EQ(systemctl.Calls()[0],
            "show -p LoadState,ActiveState,MainPID -- NT_QuorServerQX.service");
}

TEST(ServiceStatus, IsNotAccessibleWhenSystemctlCannotAnswer) {
  struct Case {
    const char* name;
    std::string script;
  };
  const Case cases[] = {
      {"systemd not running",
       "echo 'System has not been booted with systemd as init system (PID 1).' >&2; exit 1"},
      {"access denied", "echo 'Failed to get properties: Access denied' >&2; exit 4"},
      {"killed", "kill -9 $$"},
      {"answer without states", "echo 'Unknown'; exit 0"},
  };
  FakeSystemCtl systemctl;
  for (const Case& c : cases) {
    systemctl.SetScript(c.script);
    EXPECT_EQ(ServiceStatus("NT_QuorServerBZ"), -1) << c.name;
  }
  systemctl.AnswerShow("loaded", "active", "1");
  systemctl.HideFromPath();
  EXPECT_EQ(ServiceStatus("NT_QuorServerBZ"), -1) << "no systemctl on PATH";
}

TEST(ServiceStatus, OnlyTheUnitsOwnMainProcessIsTheService) {
  const pid_t self = ::getpid();
  struct Case {
    const char* name;
    std::optional<UnitState> state;
    bool expected;
  };
  const Case cases[] = {
      {"started by systemd, still starting", UnitState{"loaded", "activating", self}, true},
      {"started by systemd, marked active", UnitState{"loaded", "active", self}, true},
      {"started by hand while stopped", UnitState{"loaded", "inactive", 0}, false},
      {"another process is the service", UnitState{"loaded", "active", self + 1}, false},
      {"not installed", UnitState{"not-found", "inactive", 0}, false},
      {"no answer", std::nullopt, false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsUnitMainProcess(c.state, self), c.expected) << c.name;
}

TEST(ServiceStatus, UnitNamesEscapeWhatSystemdRejects) {
  const std::pair<std::string, std::string> cases[] = {
      {"NT_QuorServerBZ", "NT_QuorServerBZ.service"},
      {"NT_QuorServerQX.1", "NT_QuorServerQX.1.service"},
      {"NT_Quor Server", "NT_Quor\\x20Server.service"},
      {"NT_a/b", "NT_a\\x2fb.service"},
      {".hidden", "\\x2ehidden.service"},
  };
  for (const auto& [name, unit] : cases) EXPECT_EQ(UnitName(name), unit) << name;
}

}  // namespace
}  // namespace quor::service
