#include "host/ProgramLocation.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace quor::host {
namespace {

namespace fs = std::filesystem;

// The test binary stands in for the server: its own folder is what
// /proc/self/exe gives, whatever name it is asked about.
TEST(ProgramLocation, NameComesFromHowTheProgramWasStartedAndFolderFromTheFile) {
  const fs::path self = fs::read_symlink("/proc/self/exe");
  const std::string folder = self.parent_path().string() + "/";

  ProgramLocation absolute = LocateProgram("/opt/quor/QuorServerQX");
  EXPECT_EQ(absolute.path, "/opt/quor/QuorServerQX");
  EXPECT_EQ(absolute.fileName, "QuorServerQX");
  EXPECT_EQ(absolute.folder, folder);

  ProgramLocation relative = LocateProgram("./sub/../QuorServerFZ.exe");
  EXPECT_EQ(relative.path, (fs::current_path() / "QuorServerFZ.exe").string());
  EXPECT_EQ(relative.fileName, "QuorServerFZ.exe");

  ProgramLocation none = LocateProgram("");
  EXPECT_EQ(none.path, self.string());
  EXPECT_EQ(none.fileName, self.filename().string());
}

TEST(ProgramLocation, BareNameIsLookedUpOnPath) {
  char pattern[] = "/tmp/quor-path-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const fs::path bin = pattern;
  const fs::path link = bin / "QuorServerSC";
  fs::create_symlink(fs::read_symlink("/proc/self/exe"), link);
  const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
  ::setenv("PATH", ("/nonexistent:" + bin.string() + ":" + oldPath).c_str(), 1);

  ProgramLocation found = LocateProgram("QuorServerSC");
  ProgramLocation missing = LocateProgram("QuorServerNowhere");
  ::setenv("PATH", oldPath.c_str(), 1);
  fs::remove_all(bin);

  EXPECT_EQ(found.path, link.string());
  EXPECT_EQ(found.fileName, "QuorServerSC");
  EXPECT_EQ(missing.path, fs::read_symlink("/proc/self/exe").string())
      << "a name found nowhere falls back to the executable itself";
}

}  // namespace
}  // namespace quor::host
