// What the web publishing and scheduled shutdown tests share: a program
// folder and settings file of their own, systemctl and the other system
// programs played by scripts first on PATH (each logs its arguments), the
// person's answers from a script, and a console window over all of it.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "FakeSystemCtl.h"
#include "ServerPublic/OnlineSessionTable.h"
#include "console/MainForm.h"
#include "tests/console/ConsoleTestSupport.h"
#include "tests/support/files/TempFolder.h"

namespace quor::console::testing {

class WebShutdownFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Public, so that the case tables' lambdas reach them.
 public:
  // Replaces the settings file's [ServerConfig] by `lines` (CR LF ended).
  void WriteConfigFile(const std::string& lines);
  // A setting as the file holds it now; "(none)" when absent.
  std::string Stored(const char* key);

  // A program `name` beside the fake systemctl: logs "name args", then runs
  // `body`.
  void FakeProgram(const std::string& name, const std::string& body = "exit 0");
  // Every logged call of those programs, in order (systemctl's are in
  // systemctl_.Calls()).
  std::vector<std::string> ProgramCalls() const;
  // PATH holds only the fake programs, so no real one can be reached.
  void OnlyFakeProgramsOnPath();

  // A console window with the given tools and a plain environment.
  std::unique_ptr<TfrmMainForm> MakeMainForm(MainFormEnvironment environment);

  const std::filesystem::path& Program() const { return program_; }
  const std::filesystem::path& ConfigFolder() const { return configFolder_; }

  ::quor::testing::TempFolder folder_;
  service::testing::FakeSystemCtl systemctl_;
  ScriptedBoxes boxes_;
  OnlineSessionTable sessions_;
  std::filesystem::path program_;
  std::filesystem::path configFolder_;
};

}  // namespace quor::console::testing
