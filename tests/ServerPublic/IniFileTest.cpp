#include "IniFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/support/files/TempFolder.h"

namespace quor {
namespace {

namespace fs = std::filesystem;
using testing::ReadText;
using testing::TempFolder;
using testing::WriteText;

class IniFileTest : public ::testing::Test {
 protected:
  TempFolder folder_;
  fs::path file_ = folder_.Path() / "QuorServerBZ.dat";
};

TEST_F(IniFileTest, ReadsLikeThePrivateProfileFunctions) {
  WriteText(file_,
            "\xEF\xBB\xBF; settings of the server\r\n"
            "[Other]\r\n"
            "SERVERNAME=wrong section\r\n"
            "\r\n"
            "  [ serverconfig ]\r\n"
            "  serverName =  db-host  \r\n"
            "USERNAME=sa\r\n"
            "USERNAME=second\r\n"
            ";PASSWORD=commented out\r\n"
            "Quoted=\"  spaced  \"\r\n"
            "Single='x'\r\n"
            "Lonely=\"\r\n"
            "NoEquals\r\n"
            "Empty=\r\n"
            "Equation=a=b ; not a comment\r\n"
            "[ServerConfig]\r\n"
            "Later=a second section of the same name is not read\r\n"
            "[Last]\r\n"
            "NoNewline=x");
  const struct {
    const char* section;
    const char* key;
    std::optional<std::string> value;
  } cases[] = {
      {"ServerConfig", "SERVERNAME", "db-host"},
      {"SERVERCONFIG", "servername", "db-host"},
      {"ServerConfig", "USERNAME", "sa"},
      {"ServerConfig", "PASSWORD", std::nullopt},
      {"ServerConfig", "Quoted", "  spaced  "},
      {"ServerConfig", "Single", "x"},
      {"ServerConfig", "Lonely", "\""},
      {"ServerConfig", "NoEquals", std::nullopt},
      {"ServerConfig", "Empty", ""},
      {"ServerConfig", "Equation", "a=b ; not a comment"},
      {"ServerConfig", "Later", std::nullopt},
      {"Other", "SERVERNAME", "wrong section"},
      {"Last", "NoNewline", "x"},
      {"Missing", "SERVERNAME", std::nullopt},
  };
  const IniFile ini(file_);
  for (const auto& c : cases) {
    EXPECT_EQ(ini.Read(c.section, c.key), c.value) << "case: [" << c.section << "] " << c.key;
  }
}

TEST_F(IniFileTest, MissingOrUnreadableFileReadsAsEmpty) {
  EXPECT_EQ(IniFile(file_).Read("ServerConfig", "SERVERNAME"), std::nullopt);
  fs::create_directory(file_);
  EXPECT_EQ(IniFile(file_).Read("ServerConfig", "SERVERNAME"), std::nullopt);
}

TEST_F(IniFileTest, WriteChangesOnlyTheOneLineItMust) {
  const struct {
    const char* name;
    std::string before;
    const char* key;
    const char* value;
    std::string after;
  } cases[] = {
      {"existing key is replaced in place with its own spelling",
       "; top\r\n[Other]\r\nSERVERNAME=1\r\n\r\n[serverconfig]\r\n  serverName = old \r\n"
       "USERNAME=sa\r\n\r\n[Tail]\r\nX=1\r\n",
       "SERVERNAME", "new",
       "; top\r\n[Other]\r\nSERVERNAME=1\r\n\r\n[serverconfig]\r\nserverName=new\r\n"
       "USERNAME=sa\r\n\r\n[Tail]\r\nX=1\r\n"},
      {"new key goes after the section's last line, before the blank line",
       "[ServerConfig]\r\nUSERNAME=sa\r\n\r\n[Tail]\r\nX=1\r\n", "TIMEOUT", "300",
       "[ServerConfig]\r\nUSERNAME=sa\r\nTIMEOUT=300\r\n\r\n[Tail]\r\nX=1\r\n"},
      {"new key after a trailing comment of the section", "[ServerConfig]\nA=1\n; note\n\n[X]\n",
       "B", "2", "[ServerConfig]\nA=1\n; note\nB=2\n\n[X]\n"},
      {"missing section is appended", "[Other]\nA=1\n", "K", "v",
       "[Other]\nA=1\n\n[ServerConfig]\nK=v\n"},
      {"missing section after a blank last line", "[Other]\nA=1\n\n", "K", "v",
       "[Other]\nA=1\n\n[ServerConfig]\nK=v\n"},
      {"empty file", "", "K", "v", "[ServerConfig]\nK=v\n"},
      {"last line without newline", "[ServerConfig]\nA=1", "B", "2", "[ServerConfig]\nA=1\nB=2\n"},
      {"header alone without newline", "[ServerConfig]", "K", "v", "[ServerConfig]\nK=v\n"},
      {"replacing the unterminated last line", "[ServerConfig]\nA=1", "a", "2",
       "[ServerConfig]\nA=2"},
      {"byte-order mark kept", "\xEF\xBB\xBF[ServerConfig]\r\nA=1\r\n", "A", "2",
       "\xEF\xBB\xBF[ServerConfig]\r\nA=2\r\n"},
      {"empty value", "[ServerConfig]\nMobileDataBase=acct\n", "MobileDataBase", "",
       "[ServerConfig]\nMobileDataBase=\n"},
      {"first of two equal keys", "[ServerConfig]\nA=1\nA=2\n", "A", "3",
       "[ServerConfig]\nA=3\nA=2\n"},
      {"same key in another section untouched", "[Other]\nA=1\n[ServerConfig]\n", "A", "9",
       "[Other]\nA=1\n[ServerConfig]\nA=9\n"},
      {"chinese value", "[ServerConfig]\n", "SMS_DataBase", "演示账套",
       "[ServerConfig]\nSMS_DataBase=演示账套\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteText(file_, c.before);
    IniFile(file_).Write("ServerConfig", c.key, c.value);
    EXPECT_EQ(ReadText(file_), c.after);
    EXPECT_EQ(IniFile(file_).Read("ServerConfig", c.key), c.value);
  }
}

// Code page 936 bytes, spelled out so the tests do not lean on the converter
// under test: 演示账套, 注释 (a comment), 总公司, 分店, and 乚 whose second
// byte is ']'.
constexpr const char* kGbkDemoSet = "\xD1\xDD\xCA\xBE\xD5\xCB\xCC\xD7";
constexpr const char* kGbkComment = "\xD7\xA2\xCA\xCD";
constexpr const char* kGbkHeadOffice = "\xD7\xDC\xB9\xAB\xCB\xBE";
constexpr const char* kGbkBranch = "\xB7\xD6\xB5\xEA";
constexpr const char* kGbkBracketTrail = "\x81\x5D";

std::string WindowsFile() {
  return std::string("; ") + kGbkComment + "\r\n[" + kGbkBracketTrail +
         "]\r\nK=in the other section\r\n[ServerConfig]\r\nSMS_DataBase=" + kGbkDemoSet +
         "\r\nBroken=\xFF\x30\r\nSERVERNAME=db-host\r\n";
}

TEST_F(IniFileTest, AFileThatIsNotUtf8IsReadAsCodePage936) {
  WriteText(file_, WindowsFile());
  const IniFile ini(file_);
  EXPECT_EQ(ini.Read("ServerConfig", "SMS_DataBase"), "演示账套");
  EXPECT_EQ(ini.Read("ServerConfig", "SERVERNAME"), "db-host");
  // Sections are found by their characters, not by a byte that happens to be ']'.
  EXPECT_EQ(ini.Read("乚", "K"), "in the other section");
  // A byte that is no character does not hide its line's key.
  EXPECT_EQ(ini.Read("ServerConfig", "Broken"), "?0");
}

TEST_F(IniFileTest, ACodePage936FileIsWrittenBackInCodePage936) {
  const std::string before = WindowsFile();
  WriteText(file_, before);
  IniFile(file_).Write("ServerConfig", "SMS_DataBase", "分店");
  IniFile(file_).Write("ServerConfig", "MobileDataBase", "总公司");
  IniFile(file_).Write("短信", "Port", "COM2");
  std::string expected = before;
  expected.replace(expected.find(kGbkDemoSet), std::string(kGbkDemoSet).size(), kGbkBranch);
  expected += std::string("MobileDataBase=") + kGbkHeadOffice +
              "\r\n\r\n[\xB6\xCC\xD0\xC5]\r\nPort=COM2\r\n";
  EXPECT_EQ(ReadText(file_), expected);
  EXPECT_EQ(IniFile(file_).Read("ServerConfig", "SMS_DataBase"), "分店");
  EXPECT_EQ(IniFile(file_).Read("ServerConfig", "MobileDataBase"), "总公司");
}

TEST_F(IniFileTest, TextThatCodePage936CannotHoldIsRefusedAndTheFileKept) {
  const std::string before = WindowsFile();
  WriteText(file_, before);
  try {
    IniFile(file_).Write("ServerConfig", "SMS_DataBase", "한국");
    ADD_FAILURE() << "no IniFileError";
  } catch (const IniFileError& error) {
    EXPECT_NE(std::string(error.what()).find("code page 936"), std::string::npos) << error.what();
    EXPECT_NE(std::string(error.what()).find(file_.string()), std::string::npos) << error.what();
  }
  EXPECT_EQ(ReadText(file_), before);
}

TEST_F(IniFileTest, FirstWriteCreatesTheFile) {
  IniFile(file_).Write("ServerConfig", "AutoShutDown", "False");
  EXPECT_EQ(ReadText(file_), "[ServerConfig]\nAutoShutDown=False\n");
}

TEST_F(IniFileTest, WriteReplacesTheFileWholeAndKeepsItsPermissionsAndLinks) {
  WriteText(file_, "[ServerConfig]\nA=1\n");
  ::chmod(file_.c_str(), 0640);
  const fs::path link = folder_.Path() / "link.dat";
  fs::create_symlink(file_, link);
  IniFile(link).Write("ServerConfig", "A", "2");
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadText(file_), "[ServerConfig]\nA=2\n");
  EXPECT_EQ(fs::status(file_).permissions() & fs::perms::all, fs::perms(0640));
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder_.Path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"QuorServerBZ.dat", "link.dat"}))
      << "no temporary file may be left behind";
}

TEST_F(IniFileTest, WriteRefusesWhatWouldDamageTheFile) {
  const std::string before = "[ServerConfig]\nA=1\n";
  WriteText(file_, before);
  const struct {
    const char* name;
    const char* key;
    std::string value;
  } cases[] = {
      {"line break in the value", "A", "two\nlines"},
      {"carriage return in the value", "A", "x\r"},
      {"NUL in the value", "A", std::string("x\0y", 3)},
      {"equals sign in the key", "A=B", "x"},
      {"empty key", " ", "x"},
      {"comment as key", ";A", "x"},
  };
  for (const auto& c : cases) {
    EXPECT_THROW(IniFile(file_).Write("ServerConfig", c.key, c.value), IniFileError) << c.name;
    EXPECT_EQ(ReadText(file_), before) << c.name;
  }
}

TEST_F(IniFileTest, WriteOverAnUnreadableFileFailsInsteadOfLosingIt) {
  fs::create_directory(file_);
  try {
    IniFile(file_).Write("ServerConfig", "A", "1");
    ADD_FAILURE() << "no IniFileError";
  } catch (const IniFileError& error) {
    EXPECT_NE(std::string(error.what()).find(file_.string()), std::string::npos) << error.what();
    EXPECT_NE(std::string(error.what()).find("cannot be read"), std::string::npos) << error.what();
  }
  EXPECT_TRUE(fs::is_directory(file_));
}

TEST_F(IniFileTest, WriteInAReadOnlyFolderNamesTheFileAndTheReason) {
  const fs::path readOnly = folder_.Path() / "program";
  fs::create_directory(readOnly);
  const fs::path existing = readOnly / "QuorServerBZ.dat";
  WriteText(existing, "[ServerConfig]\nA=1\n");
  fs::permissions(readOnly, fs::perms(0555));
  for (const fs::path& file : {existing, readOnly / "QuorServerSC.dat"}) {
    const int status = testing::RunUnprivileged([&] {
      try {
        IniFile(file).Write("ServerConfig", "A", "2");
      } catch (const IniFileError& error) {
        const std::string message = error.what();
        const bool names = message.find(file.string()) != std::string::npos &&
                           message.find("Permission denied") != std::string::npos;
        return names ? 0 : 2;
      }
      return 1;
    });
    EXPECT_EQ(status, 0) << file << " (1: no error, 2: message lacks path or reason)";
  }
  EXPECT_EQ(ReadText(existing), "[ServerConfig]\nA=1\n");
  EXPECT_FALSE(fs::exists(readOnly / "QuorServerSC.dat"));
}

}  // namespace
}  // namespace quor
