#include "platform/lock/NamedMutex.h"
#include "tests/support/files/TempFolder.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace quor::lock {
namespace {

namespace fs = std::filesystem;

using ::quor::testing::TempFolder;

// Sets or clears an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      ::setenv(name, value->c_str(), 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// A child process that holds a mutex until told to let go or killed.
class Holder {
 public:
  Holder(const std::string& name, const fs::path& folder) {
    int ready[2];
    int release[2];
    if (::pipe(ready) != 0 || ::pipe(release) != 0) throw std::runtime_error("pipe");
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(ready[0]);
      ::close(release[1]);
      NamedMutex mutex(name, folder);
      char owned = mutex.Owned() ? 'y' : 'n';
      if (::write(ready[1], &owned, 1) != 1) ::_exit(2);
      char ignored;
      (void)::read(release[0], &ignored, 1);
      ::_exit(0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    release_ = release[1];
    char owned = 0;
    if (::read(ready[0], &owned, 1) != 1) owned = 0;
    ::close(ready[0]);
    ownedInChild_ = owned == 'y';
  }
  ~Holder() { Finish(); }

  bool OwnedInChild() const { return ownedInChild_; }

  // Lets the child end normally (closing its pipe end wakes it) and reaps it.
  int Finish() {
    if (release_ >= 0) {
      ::close(release_);
      release_ = -1;
    }
    return Reap();
  }
  int Kill() {
    ::kill(pid_, SIGKILL);
    return Finish();
  }

 private:
  int Reap() {
    if (pid_ <= 0) return status_;
    ::waitpid(pid_, &status_, 0);
    pid_ = -1;
    return status_;
  }

  pid_t pid_ = -1;
  int release_ = -1;
  int status_ = 0;
  bool ownedInChild_ = false;
};

TEST(RuntimeFolder, FollowsTheEnvironmentInOrder) {
  struct Case {
    const char* name;
    std::optional<std::string> quorDir;
    std::optional<std::string> xdgDir;
    fs::path expected;
  };
  const fs::path fallback = ::geteuid() == 0 ? fs::path("/run/quor")
                                             : fs::path("/tmp/quor-" + std::to_string(::geteuid()));
  const Case cases[] = {
      {"own variable wins", "/srv/locks", "/run/user/1000", "/srv/locks"},
      {"own variable alone", "/srv/locks", std::nullopt, "/srv/locks"},
      {"desktop session folder", std::nullopt, "/run/user/1000", "/run/user/1000/quor"},
      {"empty own variable is not set", "", "/run/user/7", "/run/user/7/quor"},
      {"neither set", std::nullopt, std::nullopt, fallback},
  };
  for (const Case& c : cases) {
    ScopedEnv quor("QUOR_RUNTIME_DIR", c.quorDir);
    ScopedEnv xdg("XDG_RUNTIME_DIR", c.xdgDir);
    EXPECT_EQ(RuntimeFolder(), c.expected) << c.name;
  }
}

TEST(NamedMutex, SecondHandleFindsItExistingUntilTheFirstIsReleased) {
  TempFolder folder;
  NamedMutex first("QUORSERVERBZ_MUTEX", folder.Path());
  EXPECT_TRUE(first.Owned());
  EXPECT_FALSE(first.AlreadyExisted());
  {
    NamedMutex second("QUORSERVERBZ_MUTEX", folder.Path());
    EXPECT_TRUE(second.AlreadyExisted());
    EXPECT_FALSE(second.Owned());
  }
  // The second handle owned nothing, so dropping it must not free the first's.
  EXPECT_TRUE(NamedMutex("QUORSERVERBZ_MUTEX", folder.Path()).AlreadyExisted());
  NamedMutex other("SCKTSRVR", folder.Path());
  EXPECT_TRUE(other.Owned()) << "names are independent";

  first.Release();
  NamedMutex third("QUORSERVERBZ_MUTEX", folder.Path());
  EXPECT_TRUE(third.Owned());
}

TEST(NamedMutex, MovedHandleKeepsOwnership) {
  TempFolder folder;
  NamedMutex moved = [&] {
    NamedMutex original(kSocketServerMutex, folder.Path());
    return NamedMutex(std::move(original));
  }();
  EXPECT_TRUE(moved.Owned());
  EXPECT_TRUE(NamedMutex(kSocketServerMutex, folder.Path()).AlreadyExisted());
  NamedMutex assigned("other", folder.Path());
  assigned = std::move(moved);
  EXPECT_EQ(assigned.Name(), kSocketServerMutex);
  EXPECT_TRUE(NamedMutex("other", folder.Path()).Owned()) << "assignment released the old name";
  EXPECT_TRUE(NamedMutex(kSocketServerMutex, folder.Path()).AlreadyExisted());
}

TEST(NamedMutex, HeldByAnotherProcessUntilItEndsOrDies) {
  TempFolder folder;
  {
    Holder holder("QUORSERVERQX.EXE_MUTEX", folder.Path());
    ASSERT_TRUE(holder.OwnedInChild());
    EXPECT_TRUE(NamedMutex("QUORSERVERQX.EXE_MUTEX", folder.Path()).AlreadyExisted());
    int status = holder.Finish();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(NamedMutex("QUORSERVERQX.EXE_MUTEX", folder.Path()).Owned());
  }
  {
    Holder holder("QUORSERVERQX.EXE_MUTEX", folder.Path());
    ASSERT_TRUE(holder.OwnedInChild());
    EXPECT_TRUE(NamedMutex("QUORSERVERQX.EXE_MUTEX", folder.Path()).AlreadyExisted());
    holder.Kill();
    EXPECT_TRUE(NamedMutex("QUORSERVERQX.EXE_MUTEX", folder.Path()).Owned())
        << "a killed holder leaves no stale mutex";
  }
}

TEST(NamedMutex, EveryNameStaysInsideTheFolder) {
  struct Case {
    std::string name;
    std::string file;
  };
  const Case cases[] = {
      {"SCKTSRVR", "SCKTSRVR.lock"},
      {"QUORSERVERBZ.EXE_MUTEX", "QUORSERVERBZ.EXE_MUTEX.lock"},
      {"../../etc/passwd", "..%2F..%2Fetc%2Fpasswd.lock"},
      {"Global\\Name", "Global%5CName.lock"},
      {"..", "%...lock"},
      {"", "%.lock"},
      {"服务", "%E6%9C%8D%E5%8A%A1.lock"},
  };
  TempFolder folder;
  for (const Case& c : cases) {
    fs::path path = LockFilePath(folder.Path(), c.name);
    EXPECT_EQ(path.parent_path(), folder.Path()) << c.name;
    EXPECT_EQ(path.filename().string(), c.file) << c.name;
    NamedMutex mutex(c.name, folder.Path());
    EXPECT_TRUE(mutex.Owned()) << c.name;
    EXPECT_TRUE(fs::exists(path)) << c.name;
  }
  EXPECT_FALSE(fs::exists(folder.Path().parent_path() / "etc"));
}

TEST(NamedMutex, CreatesAMissingRuntimeFolderPrivately) {
  TempFolder folder;
  fs::path runtime = folder.Path() / "run" / "quor";
  NamedMutex mutex("SCKTSRVR", runtime);
  EXPECT_TRUE(mutex.Owned());
  struct stat info {};
  ASSERT_EQ(::stat(runtime.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST(NamedMutex, RefusesAFolderThatIsAFile) {
  TempFolder folder;
  fs::path file = folder.Path() / "plain";
  { std::ofstream(file.string()) << "x"; }
  EXPECT_THROW(NamedMutex("SCKTSRVR", file), std::system_error);
}

}  // namespace
}  // namespace quor::lock
