// Files below the program folder as clients reach them: the six file
// commands, a folder's listing, the Windows spelling of paths, and every path
// that would leave the program folder refused without touching the disk.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "SessionFixture.h"
#include "platform/com/SafeArray.h"
#include "platform/text/Encodings.h"
#include "remote/ClientPath.h"
#include "tests/support/files/TempFolder.h"

namespace quor::testing {
namespace {

namespace fs = std::filesystem;
using com::Variant;

// Every entry below `root`, for before-and-after comparisons.
std::set<std::string> Tree(const fs::path& root) {
  std::set<std::string> entries;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    entries.insert(entry.path().lexically_relative(root).string());
  }
  return entries;
}

Variant BytesOf(const std::string& text) {
  return Variant::Bytes(std::vector<std::uint8_t>(text.begin(), text.end()));
}

std::string TextOfBytes(const Variant& value) {
  const std::vector<std::uint8_t>& bytes = value.GetArray().Bytes();
  return std::string(bytes.begin(), bytes.end());
}

// The program folder in the backslash form GetServerAppPath gives clients.
std::string ClientForm(const fs::path& path) {
  std::string text = path.string();
  for (char& c : text) c = c == '/' ? '\\' : c;
  return text;
}

TEST(ClientPath, ClientPathsResolveInsideTheirRootOrNotAtAll) {
  TempFolder root;
  TempFolder outside;
  fs::create_directories(root.Path() / "Annex" / "1001");
  fs::create_symlink(outside.Path(), root.Path() / "away");
  fs::create_symlink(root.Path() / "Annex", root.Path() / "near");
  struct Case {
    std::string path;
    std::optional<std::string> expected;  // relative to the root
  };
  const std::vector<Case> cases = {
      {"Annex\\1001\\a.jpg", "Annex/1001/a.jpg"},
      {"annex\\1001\\A.jpg", "Annex/1001/A.jpg"},
      {"ANNEX/1001/./b.txt", "Annex/1001/b.txt"},
      {"Annex\\\\1001\\", "Annex/1001"},
      {"near\\x", "near/x"},
      {ClientForm(root.Path() / "Annex" / "c.txt"), "Annex/c.txt"},
      {"", std::nullopt},
      {"..\\x", std::nullopt},
      {"Annex\\..\\..\\x", std::nullopt},
      {"Annex/../Annex/x", std::nullopt},
      {"\\etc\\passwd", std::nullopt},
      {"/etc/passwd", std::nullopt},
      {"C:\\Windows\\x", std::nullopt},
      {"a.txt:stream", std::nullopt},
      {std::string("a\0b", 3), std::nullopt},
      {"a\nb", std::nullopt},
      {"\xff\xfe", std::nullopt},
      {std::string(2000, 'a'), std::nullopt},
      {"away\\x", std::nullopt},
      {"away", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const std::optional<fs::path> resolved = remote::ResolveClientPath({root.Path()}, c.path);
    if (!c.expected) {
      EXPECT_FALSE(resolved.has_value()) << resolved->string();
      continue;
    }
    ASSERT_TRUE(resolved.has_value());
    EXPECT_EQ(resolved->lexically_relative(root.Path()).string(), *c.expected);
  }
  EXPECT_EQ(Tree(outside.Path()), std::set<std::string>{});
}

class ServerFilesTest : public SessionTest {
 protected:
  fs::path Program() const { return folder_.Path(); }

  int Operate(const std::string& command, const Variant& path, const Variant& newName,
              Variant& content, CallResult* call = nullptr) {
    OutSlot file = Out(content);
    OutSlot result = Out(Variant::I4(77), com::VT_I4);
    const CallResult done = Call("OperateServerFile", {Variant("BZ"), Variant(command), path,
                                                       newName, file.ref, result.ref});
    if (call != nullptr) *call = done;
    EXPECT_TRUE(call != nullptr || done.hr == com::S_OK) << done.excepInfo.description;
    content = *file.value;
    return result.value->GetI4();
  }

  int Operate(const std::string& command, const std::string& path,
              const std::string& newName = "") {
    Variant none;
    return Operate(command, Variant(path), Variant(newName), none);
  }

  Variant List(const Variant& folder) {
    OutSlot result = Out(Variant("stale"));
    const CallResult call = Call("GetDirectoryFileList", {Variant("BZ"), folder, result.ref});
    EXPECT_EQ(call.hr, com::S_OK) << call.excepInfo.description;
    return *result.value;
  }

  TempFolder outside_;
};

TEST_F(ServerFilesTest, AFileIsAddedReadRenamedAndDeletedBelowTheProgramFolder) {
  fs::create_directories(Program() / "Annex" / "1001");
  Variant content = BytesOf(std::string("photo\0bytes", 11));
  EXPECT_EQ(Operate("[ADD]", Variant("annex\\1001\\a.jpg"), Variant(""), content), 0);
  EXPECT_EQ(ReadText(Program() / "Annex" / "1001" / "a.jpg"), std::string("photo\0bytes", 11));

  Variant read;
  EXPECT_EQ(Operate("[GET]", Variant("Annex\\1001\\a.jpg"), Variant(""), read), 0);
  EXPECT_EQ(TextOfBytes(read), std::string("photo\0bytes", 11));

  WriteText(Program() / "Annex" / "1001" / "taken.jpg", "other");
  EXPECT_EQ(Operate("[REN]", "Annex\\1001\\a.jpg", "Annex\\1001\\taken.jpg"), -1);
  EXPECT_EQ(ReadText(Program() / "Annex" / "1001" / "taken.jpg"), "other");
  EXPECT_EQ(Operate("[REN]", "Annex\\1001\\a.jpg", "Annex\\1001\\b.jpg"), 0);
  EXPECT_EQ(Operate("[REN]", "Annex\\1001\\a.jpg", "Annex\\1001\\c.jpg"), -1);

  EXPECT_EQ(Operate("[DEL]", "Annex\\1001\\b.jpg"), 0);
  EXPECT_EQ(Operate("[DEL]", "Annex\\1001\\b.jpg"), -1);
  EXPECT_EQ(Operate("[DEL]", "Annex\\1001"), -1);

  EXPECT_EQ(Operate("[REND]", "Annex\\1001", "Annex\\2002"), 0);
  EXPECT_TRUE(fs::is_directory(Program() / "Annex" / "2002"));
  EXPECT_EQ(Operate("[REND]", "Annex\\1001", "Annex\\3003"), -1);
  EXPECT_EQ(Operate("[DELD]", "Annex\\2002"), 0);
  EXPECT_FALSE(fs::exists(Program() / "Annex" / "2002"));
  EXPECT_EQ(Operate("[DELD]", "Annex\\2002"), -1);
}

TEST_F(ServerFilesTest, UnknownCommandsAreRefusedAndMissingFilesFailAsTheyShould) {
  fs::create_directories(Program() / "Annex");
  WriteText(Program() / "Annex" / "a.txt", "x");
  for (const char* command : {"[add]", "ADD", "", "[DELETE]"}) {
    SCOPED_TRACE(command);
    EXPECT_EQ(Operate(command, "Annex\\a.txt"), -1);
  }
  EXPECT_EQ(ReadText(Program() / "Annex" / "a.txt"), "x");

  CallResult call;
  Variant read;
  Operate("[GET]", Variant("Annex\\missing.txt"), Variant(""), read, &call);
  EXPECT_EQ(call.hr, com::DISP_E_EXCEPTION);
  Variant content = BytesOf("y");
  Operate("[ADD]", Variant("NoSuchFolder\\a.txt"), Variant(""), content, &call);
  EXPECT_EQ(call.hr, com::DISP_E_EXCEPTION);
  Variant notBytes("text");
  Operate("[ADD]", Variant("Annex\\b.txt"), Variant(""), notBytes, &call);
  EXPECT_EQ(call.hr, com::DISP_E_EXCEPTION);
  EXPECT_FALSE(fs::exists(Program() / "Annex" / "b.txt"));
}

TEST_F(ServerFilesTest, PathsThatLeaveTheProgramFolderAreRefusedWithoutTouchingTheDisk) {
  WriteText(outside_.Path() / "secret.txt", "keep");
  fs::create_directories(Program() / "Annex");
  WriteText(Program() / "Annex" / "mine.txt", "mine");
  fs::create_symlink(outside_.Path(), Program() / "Annex" / "link");
  const std::string outsideClient = ClientForm(outside_.Path() / "secret.txt");
  const std::vector<Variant> hostile = {
      Variant(""),
      Variant("..\\" + outside_.Path().filename().string() + "\\secret.txt"),
      Variant(outsideClient),
      Variant(outside_.Path().string() + "/secret.txt"),
      Variant("C:\\Windows\\win.ini"),
      Variant("Annex\\link\\secret.txt"),
      Variant(std::string("Annex\\mine.txt\0.jpg", 19)),
      Variant(std::string(5000, 'x')),
      Variant("\xc0\xaf"),
      Variant::Array(com::SafeArray::Vector(com::VT_VARIANT, 2)),
  };
  const std::set<std::string> programBefore = Tree(Program());
  for (const Variant& path : hostile) {
    SCOPED_TRACE(path.DebugString().substr(0, 80));
    for (const char* command : {"[ADD]", "[GET]", "[DEL]", "[DELD]", "[REN]", "[REND]"}) {
      SCOPED_TRACE(command);
      Variant content = BytesOf("overwritten");
      EXPECT_EQ(Operate(command, path, Variant("Annex\\renamed.txt"), content), -1);
    }
    for (const char* command : {"[REN]", "[REND]"}) {
      SCOPED_TRACE(std::string(command) + " onto it");
      Variant content;
      const char* source = command == std::string("[REN]") ? "Annex\\mine.txt" : "Annex";
      EXPECT_EQ(Operate(command, Variant(source), path, content), -1);
    }
  }
  EXPECT_EQ(Tree(Program()), programBefore);
  EXPECT_EQ(ReadText(Program() / "Annex" / "mine.txt"), "mine");
  EXPECT_EQ(ReadText(outside_.Path() / "secret.txt"), "keep");
  EXPECT_EQ(Tree(outside_.Path()), std::set<std::string>{"secret.txt"});
}

TEST_F(ServerFilesTest, AFolderIsListedWithItsFilesTimesInCodePage936) {
  fs::create_directories(Program() / "Annex" / "1001" / "sub");
  WriteText(Program() / "Annex" / "1001" / "b.txt", "b");
  WriteText(Program() / "Annex" / "1001" / "发票.jpg", "a");
  const auto when = fs::file_time_type::clock::from_sys(
      std::chrono::sys_days{std::chrono::year{2024} / 3 / 5} + std::chrono::hours{10} +
      std::chrono::minutes{20} + std::chrono::seconds{30});
  fs::last_write_time(Program() / "Annex" / "1001" / "b.txt", when);
  fs::last_write_time(Program() / "Annex" / "1001" / "发票.jpg", when);
  const char* savedZone = std::getenv("TZ");
  const std::string saved = savedZone != nullptr ? savedZone : "";
  setenv("TZ", "UTC", 1);
  tzset();
  const Variant listing = List(Variant("annex\\1001"));
  if (savedZone != nullptr) {
    setenv("TZ", saved.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
  ASSERT_TRUE(listing.IsArray()) << listing.DebugString();
  EXPECT_EQ(TextOfBytes(listing), "b.txt|2024-03-05 10:20:30\r\n" + text::Utf8ToGbk("发票.jpg") +
                                      "|2024-03-05 10:20:30\r\n");
  EXPECT_EQ(TextOfBytes(List(Variant(ClientForm(Program() / "Annex" / "1001")))),
            TextOfBytes(listing));
}

TEST_F(ServerFilesTest, ListingAMissingFolderMakesItAndTheAnnexFolder) {
  const Variant listing = List(Variant("UpDown\\New"));
  ASSERT_TRUE(listing.IsArray());
  EXPECT_TRUE(listing.GetArray().Bytes().empty());
  EXPECT_TRUE(fs::is_directory(Program() / "UpDown" / "New"));
  EXPECT_TRUE(fs::is_directory(Program() / "Annex"));
}

TEST_F(ServerFilesTest, ListingAFolderOutsideTheProgramFolderGivesNullAndMakesNothing) {
  for (const Variant& folder :
       {Variant(""), Variant("..\\elsewhere"), Variant(ClientForm(outside_.Path() / "new")),
        Variant("C:\\"), Variant(std::string(3000, 'd'))}) {
    SCOPED_TRACE(folder.DebugString().substr(0, 60));
    EXPECT_TRUE(List(folder).IsNull());
  }
  EXPECT_EQ(Tree(outside_.Path()), std::set<std::string>{});
  EXPECT_EQ(Tree(Program()), std::set<std::string>{});
}

}  // namespace
}  // namespace quor::testing
