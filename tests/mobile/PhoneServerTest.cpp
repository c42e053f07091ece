// The phone back end over real TCP: scripted phones log in, exchange files
// with the file area and send what a broken or hostile phone would, against
// TDataLocalServer with its settings file and the account set on the SQL
// Server stand-in.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <thread>

#include "ServerPublic/ConfigStore.h"
#include "ServerPublic/ConsoleSwitches.h"
#include "ServerPublic/OnlineSessionTable.h"
#include "mobile/PhoneChannel.h"
#include "tests/mobile/PhoneServerFixture.h"

namespace quor::mobile::testing {
namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<OnlineSession> SessionsAt(const std::string& address) {
  std::vector<OnlineSession> found;
  for (const OnlineSession& session : OnlineSessions().Snapshot()) {
    if (session.computerAddr == address) found.push_back(session);
  }
  return found;
}

// The listing a phone receives for `folder`: the path line, the names, the end.
struct Listing {
  std::string path;
  std::vector<std::string> names;
  bool ended = false;
};

Listing ListFolder(PhoneClient& phone, const std::string& folder) {
  phone.SendLine("<ListDirFiles>");
  phone.SendLine(folder);
  Listing listing;
  listing.path = phone.ReadLine().value_or("(closed)");
  while (std::optional<std::string> line = phone.ReadLine()) {
    if (line->empty()) {
      listing.ended = true;
      break;
    }
    listing.names.push_back(*line);
  }
  return listing;
}

std::string UploadFile(PhoneClient& phone, const std::string& folder, const std::string& name,
                       const std::string& bytes) {
  phone.SendLine("<UploadFiles>");
  phone.SendLine(folder);
  phone.SendLine(name);
  phone.SendBody(bytes);
  return phone.ReadLine().value_or("(closed)");
}

class PhoneServerTest : public PhoneServerFixture {};

TEST_F(PhoneServerTest, ConnectOkEntersThePhoneAndMakesItsExchangeFolder) {
  WriteSettings();
  StartServer();
  ASSERT_TRUE(server_->Active());
  int changes = 0;
  OnlineSessionTable::Subscription subscription =
      OnlineSessions().Subscribe([&changes] { ++changes; });

  PhoneClient phone(port_, "127.0.1.20");
  EXPECT_EQ(phone.Login("138001", "张三"), "<QUORSERVER>");
  EXPECT_TRUE(fs::is_directory(ProgramFolder() / "UpDown" / "127_0_1_20"));
  const std::vector<OnlineSession> sessions = SessionsAt("127.0.1.20");
  ASSERT_EQ(sessions.size(), 1u);
  EXPECT_TRUE(sessions[0].guid.starts_with("Android_")) << sessions[0].guid;
  EXPECT_NE(sessions[0].guid, "Android_");
  EXPECT_EQ(sessions[0].dataBase, "QuorData01");
  EXPECT_EQ(sessions[0].loginId, "138001");
  EXPECT_EQ(sessions[0].loginUserName, "张三");
  EXPECT_EQ(sessions[0].computerName, "127_0_1_20");
  EXPECT_EQ(changes, 1) << "the console hears of the login";

  // Commands go on after the login until the phone says goodbye.
  EXPECT_TRUE(ListFolder(phone, "").ended);
  phone.SendLine("<Disconnect>");
  EXPECT_TRUE(phone.ClosedByServer());
  EXPECT_TRUE(SessionsAt("127.0.1.20").empty());
  EXPECT_EQ(changes, 2) << "and of the goodbye";
}

TEST_F(PhoneServerTest, OneLoginPerUserRefusesAnotherPhoneButNotTheSamePhoneAgain) {
  WriteSettings();
  StartServer();
  SetUserLoginIdentic(true);
  int changes = 0;
  OnlineSessionTable::Subscription subscription =
      OnlineSessions().Subscribe([&changes] { ++changes; });

  auto first = std::make_unique<PhoneClient>(port_, "127.0.1.21");
  EXPECT_EQ(first->Login("01", "王五"), "<QUORSERVER>");

  PhoneClient other(port_, "127.0.1.22");
  EXPECT_EQ(other.Login("01", "王五"), "<OnlyAllowed>");
  EXPECT_TRUE(other.ClosedByServer());
  EXPECT_EQ(changes, 2) << "a refused login is shown as well";

  // The first phone's connection broke without a goodbye; it comes back.
  const std::string earlierGuid = SessionsAt("127.0.1.21").at(0).guid;
  first.reset();
  PhoneClient again(port_, "127.0.1.21");
  EXPECT_EQ(again.Login("01", "王五"), "<QUORSERVER>");
  const std::vector<OnlineSession> sessions = SessionsAt("127.0.1.21");
  ASSERT_EQ(sessions.size(), 1u) << "its earlier entry was replaced";
  EXPECT_NE(sessions[0].guid, earlierGuid);
  EXPECT_TRUE(SessionsAt("127.0.1.22").empty());

  // Another user at the refused address is welcome.
  PhoneClient third(port_, "127.0.1.22");
  EXPECT_EQ(third.Login("02", "赵六"), "<QUORSERVER>");
}

TEST_F(PhoneServerTest, UnknownTagsEndTheConnectionWithoutAnAnswer) {
  WriteSettings();
  StartServer();
  for (const char* line : {"<connectok>", "<CONNECTOK>", "ConnectOK", "", " <ConnectOK>",
                           "<ConnectOK> ", "<Disconnect>"}) {
    SCOPED_TRACE(std::string("'") + line + "'");
    PhoneClient phone(port_, "127.0.2.1");
    phone.SendLine(line);
    phone.SendLine("01");
    EXPECT_TRUE(phone.ClosedByServer());
  }
  EXPECT_TRUE(SessionsAt("127.0.2.1").empty());
}

TEST_F(PhoneServerTest, FilesGoUpIntoTheAreaAreListedAndComeDownWhole) {
  WriteSettings();
  StartServer();
  PhoneClient phone(port_);
  std::string bytes("报表\r\nline two\n", 18);
  bytes += std::string("\0\x01\xff binary", 10);
  EXPECT_EQ(UploadFile(phone, "photos\\2024", "报表.xls", bytes), "<Success>");
  EXPECT_EQ(ReadBytes(FileRoot() / "photos" / "2024" / "报表.xls"), bytes);
  EXPECT_EQ(UploadFile(phone, "photos\\2024", "empty.txt", ""), "<Success>");
  EXPECT_EQ(UploadFile(phone, "photos\\2024", "empty.txt", "replaced"), "<Success>");
  EXPECT_EQ(ReadBytes(FileRoot() / "photos" / "2024" / "empty.txt"), "replaced");
  fs::create_directories(FileRoot() / "photos" / "2024" / "subfolder");

  Listing listing = ListFolder(phone, "photos\\2024");
  EXPECT_EQ(listing.path, "\\photos\\2024\\");
  std::sort(listing.names.begin(), listing.names.end());
  EXPECT_EQ(listing.names, (std::vector<std::string>{"empty.txt", "报表.xls"}))
      << "folders are not listed";
  EXPECT_TRUE(listing.ended);

  phone.SendLine("<DownFiles>");
  phone.SendLine("photos\\2024");
  phone.SendLine("报表.xls");
  EXPECT_EQ(phone.ReadLine(), "<Success>");
  EXPECT_EQ(phone.ReadToEnd(), bytes) << "the bytes, then the end of the connection";
}

TEST_F(PhoneServerTest, AnEmptyFolderIsListedAsItsPathAndOneEmptyLine) {
  WriteSettings();
  StartServer();
  PhoneClient phone(port_);
  phone.SendLine("<ListDirFiles>");
  phone.SendLine("new folder");
  EXPECT_EQ(phone.ReadLine(), "\\new folder\\");
  EXPECT_EQ(phone.ReadLine(), "");
  EXPECT_TRUE(fs::is_directory(FileRoot() / "new folder")) << "the folder is made";
  phone.SendLine("<Disconnect>");
  EXPECT_TRUE(phone.ClosedByServer());
}

TEST_F(PhoneServerTest, AFileThatCannotBeSentIsNotPromisedAndTheConnectionGoesOn) {
  WriteSettings();
  StartServer();
  fs::create_directories(FileRoot() / "docs" / "folder.txt");
  PhoneClient phone(port_);
  for (const char* name : {"missing.txt", "folder.txt"}) {
    phone.SendLine("<DownFiles>");
    phone.SendLine("docs");
    phone.SendLine(name);
  }
  // The next answer the phone reads is that of its next command.
  EXPECT_EQ(ListFolder(phone, "docs").path, "\\docs\\");
}

TEST_F(PhoneServerTest, HostileNamesTouchNothingOutsideTheFileArea) {
  WriteSettings();
  StartServer();
  quor::testing::TempFolder outside;
  quor::testing::WriteText(outside.Path() / "secret.txt", "secret");
  fs::create_directories(FileRoot());
  fs::create_symlink(outside.Path(), FileRoot() / "linked");
  fs::create_symlink(outside.Path() / "secret.txt", FileRoot() / "secret.txt");

  const struct {
    std::string folder;
    std::string name;
  } cases[] = {
      {"..", "x.txt"},
      {"..\\..\\..\\tmp", "x.txt"},
      {"photos\\..\\..", "x.txt"},
      {"\\tmp", "x.txt"},
      {"/tmp", "x.txt"},
      {"\\\\server\\share", "x.txt"},
      {"C:\\Windows", "x.txt"},
      {"linked", "x.txt"},
      {"linked\\deeper", "x.txt"},
      {"", "..\\x.txt"},
      {"", "../x.txt"},
      {"", "sub\\x.txt"},
      {"", ".."},
      {"", ""},
      {"", "C:x.txt"},
      {"", std::string("x.txt\0.jpg", 10)},
      {std::string("ph\0otos", 7), "x.txt"},
      {"", "secret.txt"},
  };
  PhoneClient phone(port_);
  for (const auto& c : cases) {
    SCOPED_TRACE("folder '" + c.folder + "' name '" + c.name + "'");
    EXPECT_EQ(UploadFile(phone, c.folder, c.name, "overwritten?"), "<Failure>");
  }
  EXPECT_EQ(ReadBytes(outside.Path() / "secret.txt"), "secret");
  std::vector<std::string> outsideFiles;
  for (const auto& entry : fs::recursive_directory_iterator(outside.Path())) {
    outsideFiles.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(outsideFiles, std::vector<std::string>{"secret.txt"});
  EXPECT_TRUE(fs::is_symlink(FileRoot() / "secret.txt")) << "the link itself is left alone";

  // Nothing comes down through a link or a name that leaves the area, and
  // nothing is listed outside it; the connection still answers afterwards.
  for (const auto& c : cases) {
    phone.SendLine("<DownFiles>");
    phone.SendLine(c.folder);
    phone.SendLine(c.name.empty() ? "secret.txt" : c.name);
  }
  for (const char* folder : {"..", "linked", "\\tmp", "C:\\"}) {
    phone.SendLine("<ListDirFiles>");
    phone.SendLine(folder);
  }
  EXPECT_EQ(ListFolder(phone, "").names, std::vector<std::string>{})
      << "links are not offered as files";
  EXPECT_EQ(FilesLeft(), std::vector<std::string>{});
}

// What a broken phone may send, each on a connection of its own while another
// phone stays connected: the bad one ends, the other goes on, no file remains.
TEST_F(PhoneServerTest, BrokenInputEndsThatConnectionOnlyAndLeavesNoFile) {
  WriteSettings({{"MobileMaxUpload", "1000"}});
  StartServer();
  PhoneClient bystander(port_, "127.0.3.1");
  EXPECT_EQ(bystander.Login("01", "bystander"), "<QUORSERVER>");

  const std::string longLine(PhoneChannel::kMaxLineBytes, 'x');
  const struct {
    const char* name;
    std::string bytes;                 // what the phone sends
    bool closeWrite;                   // the phone ends its side after sending
    std::vector<std::string> answers;  // lines expected before the server closes
  } cases[] = {
      {"a line without LF, then the end", "<ConnectOK>", true, {}},
      {"a line without LF, then silence", "<ConnectOK>", false, {}},
      {"an over-long line", longLine + "\r\n", false, {}},
      {"an over-long line without LF", longLine, false, {}},
      {"bytes that are not UTF-8", "<ConnectOK>\r\n\xff\xfe\x80\r\nname\r\n1\r\n", false, {}},
      {"a negative count", "<UploadFiles>\r\nin\r\nneg.txt\r\n-5\r\n", false, {"<Failure>"}},
      {"a huge count",
       "<UploadFiles>\r\nin\r\nhuge.txt\r\n99999999999999999999999\r\n",
       false,
       {"<Failure>"}},
      {"a count above MobileMaxUpload",
       "<UploadFiles>\r\nin\r\nbig.txt\r\n1001\r\n",
       false,
       {"<Failure>"}},
      {"a body shorter than its count, then the end",
       "<UploadFiles>\r\nin\r\nshort.txt\r\n100\r\nonly this",
       true,
       {"<Failure>"}},
      {"a body shorter than its count, then silence",
       "<UploadFiles>\r\nin\r\nshort.txt\r\n100\r\nonly this",
       false,
       {"<Failure>"}},
      {"a bill upload ending inside its body",
       "<UploadBills>\r\n100\r\nSQLite format 3",
       true,
       {"<Failure>"}},
      {"a bill upload with a negative count", "<TransferBills>\r\n-1\r\n", false, {"<Failure>"}},
      {"a download with a person index that is no number",
       "<DownBills>\r\n1 or 1=1\r\n2024-01-01\r\n2024-01-31\r\n",
       false,
       {}},
      {"a download with a date that is no day",
       "<DownBills>\r\n1\r\n2024-02-30\r\n2024-03-31\r\n",
       false,
       {}},
      {"a download with a date in another form",
       "<DownBills>\r\n1\r\n2024-1-1\r\n2024-03-31\r\n",
       false,
       {}},
      {"a download with text after the date",
       "<DownBills>\r\n1\r\n2024-01-01'--\r\n2024-03-31\r\n",
       false,
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PhoneClient phone(port_, "127.0.3.2");
    phone.Send(c.bytes);
    if (c.closeWrite) phone.CloseWrite();
    for (const std::string& answer : c.answers) EXPECT_EQ(phone.ReadLine(), answer);
    EXPECT_TRUE(phone.ClosedByServer());
    EXPECT_EQ(FilesLeft(), std::vector<std::string>{});
  }
  EXPECT_EQ(ListFolder(bystander, "").path, "\\\\");
  EXPECT_EQ(SessionsAt("127.0.3.1").size(), 1u);
}

TEST_F(PhoneServerTest, APhoneSilentBetweenCommandsIsLetGoAndKeepsItsEntry) {
  WriteSettings({{"MobileIdleTimeout", "1"}});
  StartServer();
  PhoneClient phone(port_, "127.0.3.3");
  EXPECT_EQ(phone.Login("01", "idle"), "<QUORSERVER>");
  EXPECT_TRUE(phone.ClosedByServer());
  EXPECT_EQ(SessionsAt("127.0.3.3").size(), 1u) << "a closed connection alone removes no entry";
}

TEST_F(PhoneServerTest, ANonNumericCountIsAnEmptyBodyAsPhonesHaveAlwaysBeenAnswered) {
  WriteSettings();
  StartServer();
  PhoneClient phone(port_);
  phone.SendLine("<UploadFiles>");
  phone.SendLine("in");
  phone.SendLine("zero.txt");
  phone.SendLine("none");
  EXPECT_EQ(phone.ReadLine(), "<Success>");
  EXPECT_EQ(UploadFile(phone, "in", "zero2.txt", ""), "<Success>") << "the count line 0";
  EXPECT_EQ(FilesLeft(),
            (std::vector<std::string>{"UpDown/files/in/zero.txt", "UpDown/files/in/zero2.txt"}));
  EXPECT_EQ(ReadBytes(FileRoot() / "in" / "zero.txt"), "");
}

TEST_F(PhoneServerTest, WithoutStartMobileAppNothingListens) {
  for (const char* start : {"False", "true", ""}) {
    SCOPED_TRACE(start);
    WriteSettings({{"StartMobileAPP", start}});
    StartServer();
    EXPECT_FALSE(server_->Active());
    EXPECT_THROW(PhoneClient{port_}, std::runtime_error);
    server_.reset();
  }
  EXPECT_TRUE(boxes_->Shown().empty());
}

TEST_F(PhoneServerTest, APortInUseIsShownAndTheServerGoesOnWithoutPhones) {
  const int holder = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(port_);
  ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(holder, 1), 0);
  WriteSettings();
  StartServer();
  EXPECT_FALSE(server_->Active());
  const std::vector<ui::ShownMessage> shown = boxes_->Shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "因为212端口被占用，手机后台服务启动失败，继续启动其它服务。");
  EXPECT_EQ(shown[0].caption, "提示");
  EXPECT_EQ(shown[0].icon, ui::MessageIcon::Warning);
  server_.reset();
  ::close(holder);
}

TEST_F(PhoneServerTest, EndingTheServerClosesEveryPhoneAndMarksFirstTimeUse) {
  WriteSettings();
  StartServer();
  PhoneClient idle(port_);
  PhoneClient midLine(port_);
  midLine.Send("<UploadFiles>\r\nin\r\npart.txt\r\n100\r\nhalf");
  EXPECT_TRUE(ListFolder(idle, "").ended);  // both connections are being served
  server_.reset();
  EXPECT_TRUE(idle.ClosedByServer());
  midLine.ReadToEnd();
  EXPECT_EQ(FilesLeft(), std::vector<std::string>{});
  EXPECT_NE(quor::testing::ReadText(ProgramFolder() / "QuorServerBZ.dat").find("FirstTimeUse=True"),
            std::string::npos);
}

TEST_F(PhoneServerTest, TheConsoleCanPointThePhonesAtAnotherAccountSet) {
  sqlServer_.AddDatabase("QuorData02");
  WriteSettings();
  StartServer();
  EXPECT_EQ(server_->MobileDatabaseName(), "QuorData01");
  EXPECT_TRUE(server_->MobileDatabaseConnected());
  server_->SetMobileDatabase("QuorData02");
  EXPECT_TRUE(server_->MobileDatabaseConnected());
  PhoneClient phone(port_, "127.0.4.1");
  EXPECT_EQ(phone.Login("01", "x"), "<QUORSERVER>");
  EXPECT_EQ(SessionsAt("127.0.4.1").at(0).dataBase, "QuorData02");
  server_->SetMobileDatabase("NoSuchDatabase");
  EXPECT_FALSE(server_->MobileDatabaseConnected());
  EXPECT_EQ(server_->MobileDatabaseName(), "NoSuchDatabase");
}

}  // namespace
}  // namespace quor::mobile::testing
