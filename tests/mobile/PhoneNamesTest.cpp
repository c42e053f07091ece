// The names and settings a phone connection is served with: folder and session
// names, the files of an exchange folder, the port a "MobilePort" text names,
// and which folder texts from a phone reach the file area at all.
#include <gtest/gtest.h>

#include "ServerPublic/ConfigStore.h"
#include "mobile/FileArea.h"
#include "mobile/MobileSettings.h"
#include "mobile/PhoneNames.h"
#include "tests/support/files/TempFolder.h"

namespace quor::mobile {
namespace {

TEST(PhoneNamesTest, ThePhonesAddressNamesItsFolderAndItsConnectionItsFiles) {
  EXPECT_EQ(FolderNameOf("192.168.1.20"), "192_168_1_20");
  EXPECT_EQ(FolderNameOf("10.0.0.5"), "10_0_0_5");
  EXPECT_EQ(FolderNameOf("fd00::5"), "fd00__5");
  EXPECT_EQ(SessionNameOf(1234), "Android_1234");
  const std::filesystem::path exchange = ExchangeFolderOf("/srv/quor", "10_0_0_5");
  EXPECT_EQ(exchange, std::filesystem::path("/srv/quor/UpDown/10_0_0_5"));
  EXPECT_EQ(DownloadFileOf(exchange, 1234),
            std::filesystem::path("/srv/quor/UpDown/10_0_0_5/1234down_bills.db"));
  EXPECT_EQ(UploadFileNameOf(10000), "A10000upload_bills.db");
}

TEST(PhoneNamesTest, MobilePortIsANumberFrom1To65535Else212) {
  const struct {
    const char* text;
    std::uint16_t port;
  } cases[] = {
      {"212", 212}, {"2120", 2120}, {"abc", 212},   {"", 212},    {"0", 212},
      {"-5", 212},  {"70000", 212}, {" 213 ", 213}, {"21a", 212}, {"65535", 65535},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MobilePortFrom(c.text), c.port) << "'" << c.text << "'";
  }
}

TEST(PhoneNamesTest, SettingsFallBackToTheirDefaultsAndTheFileAreaLivesBelowTheProgram) {
  quor::testing::TempFolder folder;
  ResetConfigCacheForTests();
  SetConfigFilePath(folder.Path() / "QuorServerBZ.dat");
  quor::testing::WriteText(
      folder.Path() / "QuorServerBZ.dat",
      "[ServerConfig]\r\nMobilePort=abc\r\nStartMobileAPP=true\r\n"
      "MobileMaxUpload=-1\r\nMobileReadTimeout=0\r\nMobileIdleTimeout=90000\r\n");
  MobileSettings settings = ReadMobileSettings(folder.Path());
  EXPECT_EQ(settings.port, 212);
  EXPECT_FALSE(settings.start) << "only the exact text True switches the phones on";
  EXPECT_EQ(settings.dataBase, "");
  EXPECT_FALSE(IsMobileDataBaseChosen(settings.dataBase));
  EXPECT_FALSE(IsMobileDataBaseChosen("______________"));
  EXPECT_TRUE(IsMobileDataBaseChosen("QuorData01"));
  EXPECT_EQ(settings.fileRoot, folder.Path() / "UpDown" / "files");
  EXPECT_EQ(settings.maxUpload, 256u * 1024 * 1024);
  EXPECT_EQ(settings.ioTimeout, std::chrono::seconds(300));
  EXPECT_EQ(settings.idleTimeout, std::chrono::seconds(1800));

  ResetConfigCacheForTests();
  quor::testing::WriteText(folder.Path() / "QuorServerBZ.dat",
                           "[ServerConfig]\r\nMobilePort=2120\r\nStartMobileAPP=True\r\n"
                           "MobileFileRoot=share\r\nMobileMaxUpload=1000\r\nMobileReadTimeout=7\r\n"
                           "MobileIdleTimeout=60\r\n");
  settings = ReadMobileSettings(folder.Path());
  EXPECT_EQ(settings.port, 2120);
  EXPECT_TRUE(settings.start);
  EXPECT_EQ(settings.fileRoot, folder.Path() / "share") << "a relative root is below the program";
  EXPECT_EQ(settings.maxUpload, 1000u);
  EXPECT_EQ(settings.ioTimeout, std::chrono::seconds(7));
  EXPECT_EQ(settings.idleTimeout, std::chrono::seconds(60));
  SetConfigFilePath({});
  ResetConfigCacheForTests();
}

TEST(PhoneNamesTest, FolderTextsStayInsideTheFileArea) {
  using Parts = std::vector<std::string>;
  const struct {
    std::string folder;
    std::optional<Parts> parts;
  } cases[] = {
      {"", Parts{}},
      {"photos", Parts{"photos"}},
      {"photos\\2024", Parts{"photos", "2024"}},
      {"photos\\2024\\", Parts{"photos", "2024"}},
      {"photos/2024", Parts{"photos", "2024"}},
      {"a\\\\b", Parts{"a", "b"}},
      {"照片\\二〇二四", Parts{"照片", "二〇二四"}},
      {"..", std::nullopt},
      {"photos\\..\\..\\etc", std::nullopt},
      {".", std::nullopt},
      {"\\windows", std::nullopt},
      {"/etc", std::nullopt},
      {"\\\\server\\share", std::nullopt},
      {"C:\\photos", std::nullopt},
      {"C:photos", std::nullopt},
      {std::string("pho\0tos", 7), std::nullopt},
      {"pho\ttos", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FileArea::FolderParts(c.folder), c.parts) << "'" << c.folder << "'";
  }
  const struct {
    std::string name;
    bool plain;
  } names[] = {
      {"a.txt", true},
      {"报表.xls", true},
      {".hidden", true},
      {"", false},
      {".", false},
      {"..", false},
      {"a\\b", false},
      {"a/b", false},
      {"C:x", false},
      {"a:b", false},
      {std::string("a\0b", 3), false},
  };
  for (const auto& n : names) {
    EXPECT_EQ(FileArea::IsPlainName(n.name), n.plain) << "'" << n.name << "'";
  }
}

}  // namespace
}  // namespace quor::mobile
