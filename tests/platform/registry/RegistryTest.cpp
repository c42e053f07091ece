#include "Registry.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace quor::registry {
namespace {

namespace fs = std::filesystem;

constexpr const char* kSettings = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Borland\\Socket Server\\Settings";
constexpr const char* kServerKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Borland\\Socket Server";

std::string ReadText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteText(const fs::path& file, const std::string& text) {
  std::ofstream out(file, std::ios::binary);
  out << text;
}

class RegistryTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quor-registry-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    file_ = dir_ / "etc" / "registry.reg";
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path dir_;
  fs::path file_;
};

TEST_F(RegistryTest, MissingFileIsAnEmptyTreeAndTheFirstWriteCreatesItWithItsFolders) {
  Registry registry(file_);
  EXPECT_FALSE(registry.KeyExists(kSettings));
  EXPECT_TRUE(registry.KeyExists(kLocalMachine));
  EXPECT_TRUE(registry.SubKeys(kServerKey).empty());
  EXPECT_EQ(registry.ReadInteger(kSettings, "Port"), std::nullopt);
  EXPECT_FALSE(registry.DeleteKey(kSettings));
  EXPECT_FALSE(fs::exists(file_)) << "reads and no-op deletes must not create the file";

  registry.WriteInteger(kSettings, "Port", 211);
  EXPECT_EQ(ReadText(file_),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Borland\\Socket Server\\Settings]\n"
            "\"Port\"=dword:000000d3\n");
}

TEST_F(RegistryTest, KeysHoldSubKeysAndValuesOfBothTypes) {
  Registry registry(file_);
  registry.CreateKey(std::string(kServerKey) + "\\211");
  registry.WriteString(std::string(kServerKey) + "\\211", "InterceptGUID", "");
  registry.WriteInteger(std::string(kServerKey) + "\\211", "Timeout", 60);
  registry.WriteInteger(kSettings, "Port", 211);
  registry.WriteString(kSettings, "Note", "1024");
  registry.WriteString(kSettings, "Host", "server-1");
  registry.CreateKey(std::string(kServerKey) + "\\3000");

  EXPECT_TRUE(registry.KeyExists("HKEY_LOCAL_MACHINE\\SOFTWARE\\Borland"));
  EXPECT_EQ(registry.SubKeys(kServerKey), (std::vector<std::string>{"211", "Settings", "3000"}));
  EXPECT_EQ(registry.SubKeys("HKEY_LOCAL_MACHINE\\SOFTWARE"),
            (std::vector<std::string>{"Borland"}));
  EXPECT_EQ(registry.ReadString(std::string(kServerKey) + "\\211", "InterceptGUID"), "");
  EXPECT_EQ(registry.ReadInteger(std::string(kServerKey) + "\\211", "Timeout"), 60);
  EXPECT_EQ(registry.ReadString(kSettings, "Port"), "211") << "a dword reads as decimal text";
  EXPECT_EQ(registry.ReadInteger(kSettings, "Note"), 1024) << "a numeric string reads as a number";
  EXPECT_EQ(registry.ReadInteger(kSettings, "Host"), std::nullopt);
  EXPECT_EQ(registry.ReadString(kSettings, "Missing"), std::nullopt);

  registry.WriteString(kSettings, "Port", "212");
  EXPECT_EQ(registry.ReadString(kSettings, "Port"), "212") << "a write replaces either type";
  EXPECT_TRUE(registry.DeleteValue(kSettings, "Port"));
  EXPECT_FALSE(registry.DeleteValue(kSettings, "Port"));
  EXPECT_EQ(registry.ReadString(kSettings, "Port"), std::nullopt);
  EXPECT_TRUE(registry.KeyExists(kSettings)) << "deleting a value keeps its key";
}

TEST_F(RegistryTest, NamesCompareWithoutCaseAndKeepTheirFirstSpelling) {
  Registry registry(file_);
  registry.WriteInteger(kSettings, "ShowHost", 0);
  // A doubled backslash after the root, as callers write "\SOFTWARE\...".
  const std::string otherCase = "hkey_local_machine\\\\software\\BORLAND\\socket server\\settings";
  EXPECT_TRUE(registry.KeyExists(otherCase));
  EXPECT_EQ(registry.ReadInteger(otherCase, "SHOWHOST"), 0);
  registry.WriteInteger(otherCase, "showhost", 1);
  registry.WriteInteger(otherCase, "RegisteredOnly", 1);
  EXPECT_EQ(registry.ReadInteger(kSettings, "ShowHost"), 1);
  EXPECT_EQ(registry.SubKeys("HKEY_LOCAL_MACHINE\\Software\\borland\\SOCKET SERVER"),
            (std::vector<std::string>{"Settings"}));
  EXPECT_EQ(ReadText(file_),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Borland\\Socket Server\\Settings]\n"
            "\"ShowHost\"=dword:00000001\n"
            "\"RegisteredOnly\"=dword:00000001\n");
}

TEST_F(RegistryTest, KeyPathsMustStartWithARootKey) {
  Registry registry(file_);
  for (const std::string key : {"SOFTWARE\\Borland", "", "\\", "HKLM\\SOFTWARE"}) {
    EXPECT_THROW(registry.WriteString(key, "x", "y"), RegistryError) << "key: " << key;
    EXPECT_THROW(registry.KeyExists(key), RegistryError) << "key: " << key;
  }
  EXPECT_TRUE(registry.KeyExists("HKEY_CLASSES_ROOT\\"));
  EXPECT_FALSE(fs::exists(file_));
}

TEST_F(RegistryTest, DeletingAKeyRemovesItsWholeTreeAndNothingElse) {
  Registry registry(file_);
  const std::string classes = "HKEY_CLASSES_ROOT\\CLSID";
  const std::string module = classes + "\\{11111111-2222-3333-4444-555555555555}";
  registry.WriteString(module, "Sockets", "1");
  registry.WriteString(module + "\\ProgID", "", "QuorServerAll.DataModuleServer");
  registry.WriteString(module + "\\InprocServer32\\Deep", "x", "y");
  registry.WriteString(classes + "\\{99999999-2222-3333-4444-555555555555}", "Sockets", "1");
  registry.WriteInteger(kSettings, "Port", 211);

  EXPECT_TRUE(
      registry.DeleteKey("hkey_classes_root\\clsid\\{11111111-2222-3333-4444-555555555555}"));
  EXPECT_FALSE(registry.KeyExists(module));
  EXPECT_FALSE(registry.KeyExists(module + "\\ProgID"));
  EXPECT_FALSE(registry.KeyExists(module + "\\InprocServer32\\Deep"));
  EXPECT_EQ(registry.SubKeys(classes),
            (std::vector<std::string>{"{99999999-2222-3333-4444-555555555555}"}));
  EXPECT_EQ(registry.ReadInteger(kSettings, "Port"), 211);
  EXPECT_FALSE(registry.DeleteKey(module));
  EXPECT_THROW(registry.DeleteKey(kClassesRoot), RegistryError);
}

TEST_F(RegistryTest, StringsRoundTripThroughTheFileWithEscapes) {
  const struct {
    const char* name;
    std::string valueName;
    std::string value;
  } cases[] = {
      {"empty", "Empty", ""},
      {"backslashes", "Path", "C:\\Program Files\\Quor\\"},
      {"quotes", "Quoted", "say \"hi\""},
      {"escape-like text", "Tricky", "\\\"\\\\\""},
      {"separators", "Punctuation", "a=b;c [d] @e"},
      {"spaces kept", "Spaces", "  padded  "},
      {"chinese", "Caption", "瓦拓网络服务器"},
      {"quote and backslash in the name", "odd\"name\\", "v"},
      {"default value", "", "QuorServerAll.DataModuleServer"},
  };
  {
    Registry registry(file_);
    for (const auto& c : cases) registry.WriteString(kSettings, c.valueName, c.value);
  }
  Registry reread(file_);
  for (const auto& c : cases) {
    EXPECT_EQ(reread.ReadString(kSettings, c.valueName), c.value) << "case: " << c.name;
  }
  const std::string text = ReadText(file_);
  EXPECT_NE(text.find("\"Path\"=\"C:\\\\Program Files\\\\Quor\\\\\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\"Quoted\"=\"say \\\"hi\\\"\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\n@=\"QuorServerAll.DataModuleServer\"\n"), std::string::npos) << text;
}

TEST_F(RegistryTest, TextThatCannotLiveOnOneLineIsRefusedAndTheFileKept) {
  Registry registry(file_);
  registry.WriteString(kSettings, "Kept", "yes");
  const std::string before = ReadText(file_);
  EXPECT_THROW(registry.WriteString(kSettings, "Bad", "two\nlines"), RegistryError);
  EXPECT_THROW(registry.WriteString(kSettings, "Bad\r", "x"), RegistryError);
  EXPECT_THROW(registry.WriteString(kSettings, "Bad", std::string("nul\0", 4)), RegistryError);
  EXPECT_THROW(registry.CreateKey(std::string(kServerKey) + "\\a\nb"), RegistryError);
  EXPECT_EQ(ReadText(file_), before);
}

TEST_F(RegistryTest, IntegersAreSignedDwords) {
  const struct {
    long long value;
    const char* stored;
  } cases[] = {
      {0, "dword:00000000"},         {211, "dword:000000d3"},       {-1, "dword:ffffffff"},
      {INT32_MAX, "dword:7fffffff"}, {INT32_MIN, "dword:80000000"},
  };
  Registry registry(file_);
  for (const auto& c : cases) {
    registry.WriteInteger(kSettings, "Value", c.value);
    EXPECT_EQ(registry.ReadInteger(kSettings, "Value"), c.value) << "value " << c.value;
    EXPECT_NE(ReadText(file_).find(std::string("\"Value\"=") + c.stored + "\n"), std::string::npos)
        << "value " << c.value;
  }
  EXPECT_THROW(registry.WriteInteger(kSettings, "Value", 1LL << 32), RegistryError);
  EXPECT_THROW(registry.WriteInteger(kSettings, "Value", INT32_MIN - 1LL), RegistryError);
}

TEST_F(RegistryTest, CorruptFileIsReportedWithPathAndLineAndNeverRewritten) {
  const struct {
    const char* name;
    std::string text;
    int line;
  } cases[] = {
      {"missing header", "[HKEY_LOCAL_MACHINE\\SOFTWARE]\n", 1},
      {"value before any key", "Windows Registry Editor Version 5.00\n\n\"Port\"=dword:1\n", 3},
      {"unterminated quote",
       "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\A]\n\"Port=\"1\n", 3},
      {"unknown escape",
       "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\A]\n\"Path\"=\"C:\\x\"\n", 3},
      {"binary value",
       "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\A]\n\n\"B\"=hex:01,02\n", 4},
      {"dword too long",
       "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\A]\n\"P\"=dword:123456789\n", 3},
      {"unknown root", "Windows Registry Editor Version 5.00\n\n[HKEY_NOWHERE\\A]\n", 3},
      {"unclosed key line", "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\A\n", 2},
      {"stray text", "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\A]\nPort=1\n", 3},
      {"UTF-16 file", std::string("\xFF\xFEW\0i\0", 6), 1},
  };
  fs::create_directories(file_.parent_path());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteText(file_, c.text);
    Registry registry(file_);
    const std::string where = file_.string() + ":" + std::to_string(c.line) + ":";
    const auto expectReported = [&](const auto& operation) {
      try {
        operation();
        ADD_FAILURE() << "no RegistryError";
      } catch (const RegistryError& error) {
        EXPECT_NE(std::string(error.what()).find(where), std::string::npos) << error.what();
      }
    };
    expectReported([&] { registry.ReadString("HKEY_LOCAL_MACHINE\\A", "Port"); });
    expectReported([&] { registry.SubKeys(kLocalMachine); });
    expectReported([&] { registry.WriteString("HKEY_LOCAL_MACHINE\\A", "Port", "1"); });
    expectReported([&] { registry.DeleteKey("HKEY_LOCAL_MACHINE\\A"); });
    EXPECT_EQ(ReadText(file_), c.text);
  }
}

TEST_F(RegistryTest, FileWrittenByHandIsReadAndItsCommentsSurviveAWrite) {
  fs::create_directories(file_.parent_path());
  WriteText(file_,
            "\xEF\xBB\xBF"
            "Windows Registry Editor Version 5.00\r\n"
            "\r\n"
            "; Socket ports of the application server\r\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Borland\\Socket Server\\Settings]\r\n"
            "  \"Port\" = DWORD:D3\r\n"
            "; off while testing\r\n"
            "\"ShowHost\"=dword:0\r\n"
            "\r\n"
            "[hkey_local_machine\\software\\borland\\socket server\\212]\r\n"
            "\"Timeout\"=dword:0000003c   \r\n"
            "\"InterceptGUID\"=\"\"\r\n"
            "\"Timeout\"=dword:0000001e\r\n"
            "\r\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Borland\\Socket Server\\Settings]\r\n"
            "\"RegisteredOnly\"=dword:00000001\r\n"
            "; end of file\r\n");
  Registry registry(file_);
  EXPECT_EQ(registry.ReadInteger(kSettings, "Port"), 211);
  EXPECT_EQ(registry.ReadInteger(kSettings, "ShowHost"), 0);
  EXPECT_EQ(registry.ReadInteger(kSettings, "RegisteredOnly"), 1)
      << "a key written twice is one key";
  EXPECT_EQ(registry.ReadInteger(std::string(kServerKey) + "\\212", "Timeout"), 30)
      << "the later of two equal names wins, as an import would";
  EXPECT_EQ(registry.SubKeys(kServerKey), (std::vector<std::string>{"Settings", "212"}));

  registry.WriteInteger(kSettings, "port", 2110);
  EXPECT_EQ(ReadText(file_),
            "Windows Registry Editor Version 5.00\n"
            "\n"
            "; Socket ports of the application server\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Borland\\Socket Server\\Settings]\n"
            "\"Port\"=dword:0000083e\n"
            "; off while testing\n"
            "\"ShowHost\"=dword:00000000\n"
            "\"RegisteredOnly\"=dword:00000001\n"
            "\n"
            "[HKEY_LOCAL_MACHINE\\software\\borland\\socket server\\212]\n"
            "\"Timeout\"=dword:0000001e\n"
            "\"InterceptGUID\"=\"\"\n"
            "\n"
            "; end of file\n");
}

TEST_F(RegistryTest, NewKeysAreWrittenNextToTheirRelatives) {
  Registry registry(file_);
  registry.WriteInteger(kSettings, "Port", 211);
  registry.WriteString("HKEY_CLASSES_ROOT\\CLSID\\{A}", "Sockets", "1");
  registry.WriteInteger(std::string(kServerKey) + "\\3000", "Timeout", 0);
  registry.WriteString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Borland", "Owner", "quor");
  const std::string text = ReadText(file_);
  const auto at = [&](const std::string& header) { return text.find("[" + header + "]"); };
  EXPECT_LT(at("HKEY_LOCAL_MACHINE\\SOFTWARE\\Borland"), at(kSettings)) << text;
  EXPECT_LT(at(kSettings), at(std::string(kServerKey) + "\\3000")) << text;
  EXPECT_LT(at(std::string(kServerKey) + "\\3000"), at("HKEY_CLASSES_ROOT\\CLSID\\{A}")) << text;
}

TEST_F(RegistryTest, TwoProcessesWritingAtOnceKeepEachOthersChanges) {
  constexpr int kWrites = 40;
  const auto writer = [&](const std::string& port) {
    Registry registry(file_);
    for (int i = 0; i < kWrites; ++i) {
      registry.WriteInteger(std::string(kServerKey) + "\\" + port, "Value" + std::to_string(i), i);
    }
  };
  std::vector<pid_t> children;
  for (const std::string port : {"211", "3000"}) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int status = 0;
      try {
        writer(port);
      } catch (...) {
        status = 1;
      }
      ::_exit(status);
    }
    children.push_back(pid);
  }
  for (const pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  Registry registry(file_);
  for (const std::string port : {"211", "3000"}) {
    for (int i = 0; i < kWrites; ++i) {
      EXPECT_EQ(
          registry.ReadInteger(std::string(kServerKey) + "\\" + port, "Value" + std::to_string(i)),
          i)
          << port << " value " << i;
    }
  }
  for (const auto& entry : fs::directory_iterator(file_.parent_path())) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name == "registry.reg" || name == "registry.reg.lock") << "left behind: " << name;
  }
}

TEST(RegistryDefaultPath, ComesFromTheEnvironmentWhenSet) {
  const char* saved = std::getenv("QUOR_REGISTRY_FILE");
  const std::string savedValue = saved ? saved : "";
  ::setenv("QUOR_REGISTRY_FILE", "/tmp/elsewhere.reg", 1);
  EXPECT_EQ(Registry::DefaultPath(), fs::path("/tmp/elsewhere.reg"));
  ::setenv("QUOR_REGISTRY_FILE", "", 1);
  EXPECT_EQ(Registry::DefaultPath(), fs::path("/var/lib/quor/registry.reg"));
  ::unsetenv("QUOR_REGISTRY_FILE");
  EXPECT_EQ(Registry::DefaultPath(), fs::path("/var/lib/quor/registry.reg"));
  if (saved) ::setenv("QUOR_REGISTRY_FILE", savedValue.c_str(), 1);
}

}  // namespace
}  // namespace quor::registry
