// Web publishing through the console's commands and wizard: packages opened
// again with libzip, the web server's include files in a folder of the test's
// own with a2enconf and systemctl played by scripts, the catalogue's
// VirtualDir column on the SQL Server stand-in, and the upgrade folder.
#include <gtest/gtest.h>
#include <zip.h>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "ServerPublic/ConfigStore.h"
#include "ServerPublic/ConsoleSwitches.h"
#include "ServerPublic/ServerGlobals.h"
#include "console/VirtualSetupDialog.h"
#include "console/WebPackages.h"
#include "console/WebPublishing.h"
#include "platform/text/Encodings.h"
#include "tests/console/WebShutdownFixture.h"
#include "tests/support/tds/SqlServerStandIn.h"

namespace quor::console {
namespace {

namespace fs = std::filesystem;
using ::quor::testing::ReadText;
using ::quor::testing::WriteText;

struct ArchiveMember {
  std::string rawName;     // as stored, no conversion
  std::string strictName;  // as libzip reads it following the ZIP rules strictly
  zip_uint16_t method = 0;
  std::string bytes;
};

// Every member of an archive as libzip reads it.
std::vector<ArchiveMember> ReadArchive(const fs::path& file) {
  int code = 0;
  zip_t* archive = zip_open(file.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &code);
  if (archive == nullptr) {
    ADD_FAILURE() << file << " does not open, libzip error " << code;
    return {};
  }
  std::vector<ArchiveMember> members;
  const zip_int64_t count = zip_get_num_entries(archive, 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    zip_stat_t stat;
    zip_stat_index(archive, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW, &stat);
    ArchiveMember member;
    member.rawName = stat.name;
    member.method = stat.comp_method;
    // Without the UTF-8 flag the strict rules read a name as code page 437,
    // so a non-ASCII name then comes back changed.
    member.strictName = zip_get_name(archive, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_STRICT);
    zip_file_t* entry = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
    char buffer[4096];
    for (zip_int64_t got; entry && (got = zip_fread(entry, buffer, sizeof buffer)) > 0;) {
      member.bytes.append(buffer, static_cast<std::size_t>(got));
    }
    if (entry) zip_fclose(entry);
    members.push_back(member);
  }
  zip_discard(archive);
  return members;
}

std::time_t LocalMoment(int year, int month, int day, int hour, int minute, int second) {
  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = second;
  local.tm_isdst = -1;
  return std::mktime(&local);
}

class WebPublishingTest : public testing::WebShutdownFixture {
 protected:
  void SetUp() override {
    WebShutdownFixture::SetUp();
    FakeProgram("a2enconf");
    FakeProgram("a2disconf");
    UseConfigFolder("");
  }

  void UseConfigFolder(const std::string& more) {
    WriteConfigFile("WebConfigFolder=" + ConfigFolder().string() + "\r\n" + more);
  }

  WebPublishingEnvironment Environment() {
    WebPublishingEnvironment env;
    env.now = [this] { return now_; };
    env.runModal = [this](QWidget& window) { return person_ ? person_(window) : 0; };
    return env;
  }

  void MakeClientFiles() {
    for (const std::string& name : ClientPackageFiles("BZ"))
      WriteText(Program() / name, "<" + name + ">");
    fs::create_directories(Program() / "Report" / "Sales");
    WriteText(Program() / "Report" / "Bill.rpt", "bill report");
    WriteText(Program() / "Report" / "Sales" / "销售日报.rpt", "daily sales");
  }

  void MakeClientProgram(std::time_t written) {
    WriteText(Program() / "ValtoClientBZ.exe", "MZ client program");
    fs::last_write_time(
        Program() / "ValtoClientBZ.exe",
        std::chrono::file_clock::from_sys(std::chrono::system_clock::from_time_t(written)));
  }

  std::string ShownTexts() {
    std::string texts;
    for (const auto& shown : boxes_->Shown())
      texts += "[" + shown.caption + "] " + shown.text + "\n";
    return texts;
  }

 public:
  std::time_t now_ = LocalMoment(2026, 12, 10, 14, 5, 9);
  std::function<int(QWidget&)> person_;
};

TEST_F(WebPublishingTest, WebFilesArePackedDeflatedWithTheirNamesAndStamped) {
  MakeClientFiles();
  WebPublishing publishing(Environment());
  publishing.GenerateWebFiles();

  ASSERT_EQ(boxes_->Shown().size(), 1u) << ShownTexts();
  EXPECT_EQ(boxes_->Shown()[0].text, "更新和生成WEB版所需文件成功，您可以开始创建虚拟目录了。");
  EXPECT_EQ(boxes_->Shown()[0].caption, "提示");
  EXPECT_EQ(boxes_->Shown()[0].icon, ui::MessageIcon::Warning);

  const std::vector<ArchiveMember> client = ReadArchive(Program() / "Web" / "ValtoClientBZ.Zip");
  std::vector<std::string> names;
  for (const ArchiveMember& member : client) {
    names.push_back(member.rawName);
    EXPECT_EQ(member.method, ZIP_CM_DEFLATE) << member.rawName;
    EXPECT_EQ(member.bytes, "<" + member.rawName + ">");
  }
  EXPECT_EQ(names, (std::vector<std::string>{"ValtoClientBZ.ocx", "ValtoClientBZ.ico",
                                             "ValtoGraphicsBZ.dll", "ValtoLoginBZ.Jpg",
                                             "ValtoClientBZ.Jpg"}));

  const std::vector<ArchiveMember> report = ReadArchive(Program() / "Web" / "Report.Zip");
  ASSERT_EQ(report.size(), 2u);
  EXPECT_EQ(report[0].rawName, "Report/Bill.rpt");
  EXPECT_EQ(report[0].bytes, "bill report");
  // Windows clients unpack these; their names are code page 936 without the UTF-8 flag.
  EXPECT_EQ(report[1].rawName, text::Utf8ToGbk("Report/Sales/销售日报.rpt"));
  EXPECT_NE(report[1].strictName, report[1].rawName) << "stored with the UTF-8 flag";
  EXPECT_EQ(report[1].bytes, "daily sales");
  EXPECT_EQ(report[1].method, ZIP_CM_DEFLATE);

  const std::string stamp = ReadText(Program() / "Web" / "WebUpdate.txt");
  EXPECT_NE(stamp.find("[WebFileInfo]"), std::string::npos) << stamp;
  EXPECT_NE(stamp.find("FileDateTime=2026-12-10 14:05:09"), std::string::npos) << stamp;
  for (const auto& entry : fs::directory_iterator(Program() / "Web")) {
    EXPECT_EQ(entry.path().string().find(".part-"), std::string::npos) << entry.path();
  }
}

TEST_F(WebPublishingTest, WebFilesThatCannotBeMadeAreReportedAndThePublishedOnesStay) {
  struct Case {
    const char* name;
    std::function<void(const fs::path& program)> spoil;
    const char* reasonPart;
  };
  const Case cases[] = {
      {"client file missing", [](const fs::path& p) { fs::remove(p / "ValtoGraphicsBZ.dll"); },
       "ValtoGraphicsBZ.dll"},
      {"report folder missing", [](const fs::path& p) { fs::remove_all(p / "Report"); }, "Report"},
      {"trade code no file name", [](const fs::path&) { SetVocation("../BZ"); }, "../BZ"},
      // A folder in the archive's place: it can be neither written nor replaced.
      {"archive place taken",
       [](const fs::path& p) {
         fs::remove(p / "Web" / "Report.Zip");
         fs::create_directories(p / "Web" / "Report.Zip" / "inside");
       },
       "Report.Zip"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(Program());
    fs::create_directories(Program() / "Web");
    MakeClientFiles();
    WriteText(Program() / "Web" / "ValtoClientBZ.Zip", "the published package");
    WriteText(Program() / "Web" / "Report.Zip", "the published reports");
    WriteText(Program() / "Web" / "WebUpdate.txt",
              "[WebFileInfo]\r\nFileDateTime=2020-01-01 00:00:00\r\n");
    c.spoil(Program());
    const std::size_t before = boxes_->Shown().size();

    WebPublishing(Environment()).GenerateWebFiles();
    SetVocation("BZ");

    ASSERT_EQ(boxes_->Shown().size(), before + 1) << ShownTexts();
    const ui::ShownMessage shown = boxes_->Shown().back();
    EXPECT_EQ(shown.caption, "错误");
    EXPECT_EQ(shown.text.rfind("生成WEB版所需文件失败：", 0), 0u) << shown.text;
    EXPECT_NE(shown.text.find(c.reasonPart), std::string::npos) << shown.text;
    EXPECT_EQ(ReadText(Program() / "Web" / "ValtoClientBZ.Zip"), "the published package");
    EXPECT_NE(ReadText(Program() / "Web" / "WebUpdate.txt").find("2020-01-01"), std::string::npos);
    for (const auto& entry : fs::directory_iterator(Program() / "Web")) {
      EXPECT_EQ(entry.path().string().find(".part-"), std::string::npos) << entry.path();
    }
  }
}

TEST_F(WebPublishingTest, AVirtualDirectoryBecomesAnApacheIncludeFileEnabledAndReloaded) {
  fs::create_directories(Program() / "Web");
  auto publisher = MakeConfiguredWebPublisher();
  // Published twice under the default name: the second replaces the first.
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(CreateVirtualDir(*publisher, "Web", "Web", Program() / "Web")) << ShownTexts();
  }
  EXPECT_TRUE(boxes_->Shown().empty()) << ShownTexts();
  const std::string folder = (Program() / "Web").string();
  const std::string text = ReadText(ConfigFolder() / "quor-Web.conf");
  EXPECT_NE(text.find("Alias \"/Web\" \"" + folder + "\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find("<Directory \"" + folder + "\">"), std::string::npos) << text;
  EXPECT_NE(text.find("Options -Indexes -ExecCGI -Includes"), std::string::npos) << text;
  EXPECT_NE(text.find("DirectoryIndex WebClientBZ.htm Default.asp Default.htm Index.htm Index.Asp"),
            std::string::npos)
      << text;
  EXPECT_EQ(ProgramCalls(),
            (std::vector<std::string>{"a2enconf -q quor-Web", "a2enconf -q quor-Web"}));
  EXPECT_EQ(systemctl_.Calls(), (std::vector<std::string>{"try-reload-or-restart -- apache2",
                                                          "try-reload-or-restart -- apache2"}));

  // Another directory over another folder, and a file written by hand, are not listed.
  fs::create_directories(Program() / "AutoUpdate");
  ASSERT_TRUE(CreateVirtualDir(*publisher, "", "Web2", Program() / "Web"));
  ASSERT_TRUE(CreateVirtualDir(*publisher, "", "AutoUpdateValto", Program() / "AutoUpdate"));
  WriteText(ConfigFolder() / "quor-Manual.conf", "Alias \"/Manual\" \"" + folder + "\"\n");
  EXPECT_EQ(ListVirtualDirs(*publisher, Program() / "Web"),
            (std::vector<std::string>{"Web", "Web2"}));
  EXPECT_EQ(ListVirtualDirs(*publisher, Program() / "AutoUpdate/"),
            (std::vector<std::string>{"AutoUpdateValto"}));
}

TEST_F(WebPublishingTest, NginxTakesALocationBlockAndAReloadWithoutEnabling) {
  UseConfigFolder("WebServer=nginx\r\n");
  fs::create_directories(Program() / "Web");
  auto publisher = MakeConfiguredWebPublisher();
  ASSERT_TRUE(CreateVirtualDir(*publisher, "Web", "Web", Program() / "Web")) << ShownTexts();
  const std::string text = ReadText(ConfigFolder() / "quor-Web.conf");
  EXPECT_NE(text.find("location /Web/ {\n    alias \"" + (Program() / "Web").string() + "/\";"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("index WebClientBZ.htm Default.asp Default.htm Index.htm Index.Asp;"),
            std::string::npos);
  EXPECT_NE(text.find("autoindex off;"), std::string::npos);
  EXPECT_TRUE(ProgramCalls().empty());
  EXPECT_EQ(systemctl_.Calls(), std::vector<std::string>{"try-reload-or-restart -- nginx"});
  EXPECT_EQ(ListVirtualDirs(*publisher, Program() / "Web"), std::vector<std::string>{"Web"});
}

TEST_F(WebPublishingTest, PublishingThatFailsSaysWhyAndLeavesNothingConfigured) {
  struct Case {
    const char* name;
    std::string alias;
    std::function<void(WebPublishingTest&)> spoil;
    const char* message;  // the text, or a part of it
  };
  const Case cases[] = {
      {"empty name", "", [](WebPublishingTest&) {}, "虚拟目录别人不能为空，请重新录入！"},
      {"no such folder", "Web", [](WebPublishingTest& t) { fs::remove_all(t.Program() / "Web"); },
       "虚拟目录位置错误，请选择正确的虚拟目录位置！"},
      {"no web server", "Web", [](WebPublishingTest& t) { fs::remove_all(t.ConfigFolder()); },
       "您的电脑上没有安装IIS或无法访问IIS。"},
      {"name that leaves the folder", "../../etc/x", [](WebPublishingTest&) {}, "只能由字母"},
      {"configuration folder cannot be written", "Web",
       [](WebPublishingTest& t) {
         fs::create_directories(t.ConfigFolder() / "quor-Web.conf" / "x");
       },
       "不能写入WEB服务器配置"},
      {"a2enconf refuses", "Web",
       [](WebPublishingTest& t) {
         t.FakeProgram("a2enconf", "echo 'ERROR: Conf quor-Web does not exist!' >&2; exit 1");
       },
       "ERROR: Conf quor-Web does not exist!"},
      {"reload refused", "Web",
       [](WebPublishingTest& t) {
         t.systemctl_.SetScript("echo 'Job for apache2.service failed.' >&2; exit 1");
       },
       "Job for apache2.service failed."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(ConfigFolder());
    fs::create_directories(ConfigFolder());
    fs::create_directories(Program() / "Web");
    FakeProgram("a2enconf");
    systemctl_.SetScript("exit 0");
    c.spoil(*this);
    const std::size_t before = boxes_->Shown().size();
    auto publisher = MakeConfiguredWebPublisher();
    EXPECT_FALSE(CreateVirtualDir(*publisher, c.alias, c.alias, Program() / "Web"));
    ASSERT_EQ(boxes_->Shown().size(), before + 1) << ShownTexts();
    EXPECT_NE(boxes_->Shown().back().text.find(c.message), std::string::npos)
        << boxes_->Shown().back().text;
    EXPECT_EQ(boxes_->Shown().back().caption, "错误");
    std::error_code ignored;
    EXPECT_FALSE(fs::is_regular_file(ConfigFolder() / "quor-Web.conf", ignored));
    for (const auto& entry : fs::directory_iterator(ConfigFolder(), ignored)) {
      EXPECT_EQ(entry.path().string().find(".part-"), std::string::npos) << entry.path();
    }
  }
}

TEST_F(WebPublishingTest, AFailedReplacementPutsThePublishedDirectoryBack) {
  fs::create_directories(Program() / "Web");
  fs::create_directories(Program() / "Old");
  auto publisher = MakeConfiguredWebPublisher();
  ASSERT_TRUE(CreateVirtualDir(*publisher, "", "Web", Program() / "Old"));
  const std::string published = ReadText(ConfigFolder() / "quor-Web.conf");
  systemctl_.SetScript("exit 1");
  EXPECT_FALSE(CreateVirtualDir(*publisher, "Web", "Web", Program() / "Web"));
  EXPECT_EQ(ReadText(ConfigFolder() / "quor-Web.conf"), published);
}

TEST_F(WebPublishingTest, TheUpgradeSwitchPublishesTheClientProgramEitherWay) {
  const std::time_t written = LocalMoment(2026, 11, 3, 23, 30, 0);
  MakeClientProgram(written);
  auto publishing = std::make_shared<WebPublishing>(Environment());
  MainFormEnvironment environment;
  AddWebPublishingTools(environment, publishing);
  auto form = MakeMainForm(environment);
  QAction* item = form->findChild<QAction*>("miUseClientAutoUpdate");
  ASSERT_NE(item, nullptr);

  item->trigger();
  EXPECT_TRUE(boxes_->Shown().empty()) << ShownTexts();
  EXPECT_TRUE(item->isChecked());
  EXPECT_TRUE(UseClientAutoUpdate());
  EXPECT_EQ(Stored("UseClientAutoUpdate"), "True");
  EXPECT_EQ(ReadText(Program() / "AutoUpdate" / "ValtoClientBZ.exe"), "MZ client program");
  const std::string info = ReadText(Program() / "AutoUpdate" / "UpdateBZ.inf");
  EXPECT_NE(info.find("[AutoUpgrader]"), std::string::npos) << info;
  EXPECT_NE(info.find("#url0=ValtoClientBZ.exe"), std::string::npos) << info;
  EXPECT_NE(info.find("#date=2026-11-03"), std::string::npos) << info;
  const std::string conf = ReadText(ConfigFolder() / "quor-AutoUpdateValto.conf");
  EXPECT_NE(conf.find("Alias \"/AutoUpdateValto\" \"" + (Program() / "AutoUpdate").string() + "\""),
            std::string::npos)
      << conf;

  // Off: published once more before "False" is stored.
  MakeClientProgram(LocalMoment(2026, 12, 1, 8, 0, 0));
  item->trigger();
  EXPECT_FALSE(item->isChecked());
  EXPECT_EQ(Stored("UseClientAutoUpdate"), "False");
  EXPECT_NE(ReadText(Program() / "AutoUpdate" / "UpdateBZ.inf").find("#date=2026-12-01"),
            std::string::npos);
  EXPECT_EQ(ProgramCalls().size(), 2u);
}

TEST_F(WebPublishingTest, TheUpgradeSwitchStaysOffWhenTheFolderCannotBePublished) {
  struct Case {
    const char* name;
    std::function<void(WebPublishingTest&)> spoil;
    const char* detail;
  };
  const Case cases[] = {
      {"no client program",
       [](WebPublishingTest& t) { fs::remove(t.Program() / "ValtoClientBZ.exe"); },
       "ValtoClientBZ.exe"},
      {"no web server", [](WebPublishingTest& t) { fs::remove_all(t.ConfigFolder()); },
       "您的电脑上没有安装IIS或无法访问IIS。"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::create_directories(ConfigFolder());
    MakeClientProgram(now_);
    c.spoil(*this);
    auto publishing = std::make_shared<WebPublishing>(Environment());
    MainFormEnvironment environment;
    AddWebPublishingTools(environment, publishing);
    auto form = MakeMainForm(environment);
    QAction* item = form->findChild<QAction*>("miUseClientAutoUpdate");
    const std::size_t before = boxes_->Shown().size();
    item->trigger();
    EXPECT_FALSE(item->isChecked());
    EXPECT_FALSE(UseClientAutoUpdate());
    EXPECT_EQ(Stored("UseClientAutoUpdate"), "False");
    ASSERT_EQ(boxes_->Shown().size(), before + 2) << ShownTexts();
    EXPECT_NE(boxes_->Shown()[before].text.find(c.detail), std::string::npos)
        << boxes_->Shown()[before].text;
    EXPECT_EQ(boxes_->Shown()[before + 1].text,
              "配置IIS服务器虚拟目录失败，不能使用自动升级功能！");
  }
}

TEST_F(WebPublishingTest, TheConsoleRefreshesTheUpgradeFolderAtStartWhenTheSwitchIsOn) {
  MakeClientProgram(LocalMoment(2026, 10, 9, 12, 0, 0));
  UseConfigFolder("UseClientAutoUpdate=True\r\n");
  MainFormEnvironment environment;
  AddWebPublishingTools(environment, std::make_shared<WebPublishing>(Environment()));
  auto form = MakeMainForm(environment);
  EXPECT_TRUE(form->findChild<QAction*>("miUseClientAutoUpdate")->isChecked());
  EXPECT_NE(ReadText(Program() / "AutoUpdate" / "UpdateBZ.inf").find("#date=2026-10-09"),
            std::string::npos);
  // Only the folder: publishing waits for the switch.
  EXPECT_TRUE(ProgramCalls().empty());
  EXPECT_TRUE(boxes_->Shown().empty()) << ShownTexts();
}

TEST_F(WebPublishingTest, WebServiceMessagesSayWhatSystemdDid) {
  UseConfigFolder("WebServiceUnits=apache2 php-fpm\r\n");
  auto form = MakeMainForm({});
  systemctl_.SetScript("exit 0");
  form->RestartWebServices();
  EXPECT_EQ(systemctl_.Calls(), (std::vector<std::string>{"stop -- apache2", "stop -- php-fpm",
                                                          "start -- php-fpm", "start -- apache2"}));
  EXPECT_EQ(boxes_->Shown().back().text, "重启WWW服务成功！");

  systemctl_.SetScript("[ \"$3\" = apache2 ] && [ \"$1\" = start ] && exit 5\nexit 0");
  form->RestartWebServices();
  EXPECT_EQ(boxes_->Shown().back().text, "重启WWW服务失败：apache2");
  systemctl_.SetScript("[ \"$3\" = php-fpm ] && exit 5\nexit 0");
  form->StopWebServices();
  EXPECT_EQ(boxes_->Shown().back().text, "停止WWW服务失败：php-fpm");
  systemctl_.SetScript("exit 0");
  form->StopWebServices();
  EXPECT_EQ(boxes_->Shown().back().text, "停止WWW服务成功！");
}

// The wizard against the SQL Server stand-in through the real driver.
class VirtualSetupTest : public WebPublishingTest {
 protected:
  void SetUp() override {
    WebPublishingTest::SetUp();
    server_.AddLogin("sa", "secret");
    fs::create_directories(Program() / "Web");
    test::ResultSet catalogue{{{"DbCaption", test::SqlType::VarChar, 60},
                               {"DbName", test::SqlType::VarChar, 60},
                               {"VirtualDir", test::SqlType::VarChar, 60}},
                              {{"总店", "QuorShop01", "Old"}, {"分店", "QuorShop02", nullptr}}};
    server_.OnStatement("Select * From Master.dbo.ValtoDataBaseBZ", test::Reply{{catalogue}});
    server_.OnStatementMatching(std::regex("UPDATE ValtoDataBaseBZ SET VirtualDir = .*"),
                                [this](const test::StatementCall& call) {
                                  test::Reply reply;
                                  reply.rowsAffected = 1;
                                  if (!call.params.empty() && call.params.size() == 2 &&
                                      call.params[1].value == test::Value(failOn_)) {
                                    reply.error = test::ServerError{547, 1, 16, "更新目录表失败"};
                                  }
                                  return reply;
                                });
    UseConfigFolder("SERVERNAME=127.0.0.1," + std::to_string(server_.Port()) + "\r\n");
  }

  template <typename T>
  T* Child(QWidget& wizard, const char* name) {
    T* child = wizard.findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name;
    return child;
  }

  std::vector<test::Request> UpdatesAndTransactions() const {
    std::vector<test::Request> seen;
    for (const test::Request& request : server_.Requests()) {
      if (request.kind == test::RequestKind::Transaction ||
          request.text.find("UPDATE") != std::string::npos) {
        seen.push_back(request);
      }
    }
    return seen;
  }

  static std::string Listed(const std::vector<test::Request>& requests) {
    std::string text;
    for (const test::Request& request : requests) {
      text += request.procedure + " | " + request.text + "\n";
    }
    return text;
  }

  test::SqlServerStandIn server_;
  std::string failOn_ = "(none)";
};

TEST_F(VirtualSetupTest, TheWizardLogsInPublishesAndRecordsEachSetsDirectoryInOneTransaction) {
  auto publisher = MakeConfiguredWebPublisher();
  TfrmVirtualSetup wizard(*publisher, Program() / "Web");
  Child<QLineEdit>(wizard, "edtLoginPass")->setText("left over");
  wizard.show();
  EXPECT_EQ(wizard.windowTitle().toStdString(), "配置WEB版");
  EXPECT_TRUE(Child<QLineEdit>(wizard, "edtLoginPass")->text().isEmpty());
  EXPECT_EQ(Child<QLineEdit>(wizard, "edtLoginUser")->text().toStdString(), "sa");
  EXPECT_FALSE(Child<QPushButton>(wizard, "bbUp")->isEnabled());

  Child<QLineEdit>(wizard, "edtLoginPass")->setText("wrong");
  Child<QPushButton>(wizard, "bbYes")->click();
  EXPECT_EQ(wizard.Page(), 0);
  ASSERT_EQ(boxes_->Shown().size(), 1u);
  EXPECT_EQ(boxes_->Shown()[0].text, "不能连接SQLServer服务器，请录入正确的服务器名称和登陆密码！");
  EXPECT_EQ(boxes_->Shown()[0].icon, ui::MessageIcon::Warning);

  // Enter in the password field acts as Next.
  QLineEdit* password = Child<QLineEdit>(wizard, "edtLoginPass");
  password->setText("secret");
  password->setFocus();
  QTest::keyClick(&wizard, Qt::Key_Return);
  ASSERT_EQ(wizard.Page(), 1) << ShownTexts();
  EXPECT_TRUE(Child<QPushButton>(wizard, "bbUp")->isEnabled());
  auto* grid = Child<QTableWidget>(wizard, "sgDataBase");
  ASSERT_EQ(grid->rowCount(), 7);
  EXPECT_EQ(grid->horizontalHeaderItem(3)->text().toStdString(), "虚拟目录");
  EXPECT_EQ(grid->item(0, 0)->text().toStdString(), "1");
  EXPECT_EQ(grid->item(6, 0)->text().toStdString(), "7");
  EXPECT_EQ(grid->item(0, 1)->text().toStdString(), "总店");
  EXPECT_EQ(grid->item(1, 2)->text().toStdString(), "QuorShop02");

  EXPECT_EQ(Child<QLineEdit>(wizard, "edtDummyDir")->text().toStdString(), "Web");
  Child<QPushButton>(wizard, "bbYes")->click();
  ASSERT_EQ(wizard.Page(), 2) << ShownTexts();
  EXPECT_EQ(Child<QPushButton>(wizard, "bbYes")->text().toStdString(), "完成(&F)");
  EXPECT_EQ(wizard.DirectoryChoices(), std::vector<std::string>{"Web"});
  EXPECT_TRUE(fs::is_regular_file(ConfigFolder() / "quor-Web.conf"));

  wizard.ChooseDirectory(1, "Web");
  wizard.ChooseDirectory(2, "");
  server_.ClearRequests();
  Child<QPushButton>(wizard, "bbYes")->click();
  EXPECT_EQ(wizard.result(), QDialog::Accepted) << ShownTexts();
  EXPECT_EQ(boxes_->Shown().back().text, "恭喜您，配置IIS服务器虚拟目录和账套关系成功！");

  const std::vector<test::Request> seen = UpdatesAndTransactions();
  // The driver may send a rollback of nothing when it returns to autocommit.
  ASSERT_GE(seen.size(), 4u) << Listed(seen);
  EXPECT_EQ(seen[0].text, "BEGIN TRAN");
  for (int row : {1, 2}) {
    const test::Request& update = seen[row];
    EXPECT_EQ(update.procedure, "sp_executesql");
    EXPECT_EQ(update.text, "UPDATE ValtoDataBaseBZ SET VirtualDir = @P1 WHERE (DBName = @P2)");
    EXPECT_EQ(update.database, "master");
    ASSERT_EQ(update.params.size(), 2u);
  }
  EXPECT_EQ(seen[1].params[0].value, test::Value("Web"));
  EXPECT_EQ(seen[1].params[1].value, test::Value("QuorShop01"));
  EXPECT_EQ(seen[2].params[0].value, test::Value(""));
  EXPECT_EQ(seen[2].params[1].value, test::Value("QuorShop02"));
  EXPECT_EQ(seen[3].text, "COMMIT TRAN") << Listed(seen);
  for (std::size_t i = 4; i < seen.size(); ++i)
    EXPECT_EQ(seen[i].kind, test::RequestKind::Transaction);
}

TEST_F(VirtualSetupTest, AFailingUpdateRollsBackAndKeepsTheWizardOpen) {
  failOn_ = "QuorShop02";
  auto publisher = MakeConfiguredWebPublisher();
  TfrmVirtualSetup wizard(*publisher, Program() / "Web");
  wizard.show();
  Child<QLineEdit>(wizard, "edtLoginPass")->setText("secret");
  wizard.Next();
  wizard.Next();
  ASSERT_EQ(wizard.Page(), 2) << ShownTexts();
  server_.ClearRequests();
  wizard.Next();
  EXPECT_NE(wizard.result(), QDialog::Accepted);
  EXPECT_TRUE(wizard.isVisible());
  EXPECT_NE(boxes_->Shown().back().text.find("更新目录表失败"), std::string::npos)
      << boxes_->Shown().back().text;
  const std::vector<test::Request> seen = UpdatesAndTransactions();
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.front().text, "BEGIN TRAN");
  EXPECT_EQ(seen.back().text, "ROLLBACK TRAN");

  // Back goes to the directory page, then to the login page without Back.
  wizard.Back();
  EXPECT_EQ(wizard.Page(), 1);
  wizard.Back();
  EXPECT_EQ(wizard.Page(), 0);
  EXPECT_FALSE(Child<QPushButton>(wizard, "bbUp")->isEnabled());
}

TEST_F(VirtualSetupTest, AFailedPublicationIsReportedAndTheWizardGoesOn) {
  auto publisher = MakeConfiguredWebPublisher();
  TfrmVirtualSetup wizard(*publisher, Program() / "Web");
  wizard.show();
  Child<QLineEdit>(wizard, "edtLoginPass")->setText("secret");
  wizard.Next();
  Child<QLineEdit>(wizard, "edtDummyDir")->setText("Web Site");
  wizard.Next();
  EXPECT_EQ(wizard.Page(), 2);
  ASSERT_GE(boxes_->Shown().size(), 2u);
  EXPECT_NE(boxes_->Shown()[0].text.find("只能由字母"), std::string::npos);
  EXPECT_EQ(boxes_->Shown()[1].text, "配置IIS服务器虚拟目录失败，请手工配置！");
  EXPECT_EQ(boxes_->Shown()[1].caption, "提示");
  EXPECT_TRUE(wizard.DirectoryChoices().empty());
}

}  // namespace
}  // namespace quor::console
