#include "mobile/PhoneConnection.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <iostream>
#include <random>
#include <string_view>
#include <system_error>

#include "ServerPublic/OnlineSessionTable.h"
#include "mobile/DownloadBuilder.h"
#include "mobile/FileArea.h"
#include "mobile/MobileDatabase.h"
#include "mobile/PhoneChannel.h"
#include "mobile/PhoneNames.h"
#include "mobile/ScopedFd.h"
#include "mobile/UploadProcessor.h"
#include "platform/text/AsciiText.h"

namespace quor::mobile {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kAnswerSuccess = "<Success>";
constexpr std::string_view kAnswerFailure = "<Failure>";

enum class After { kContinue, kClose };

// A count line as the phone sends it before a body.
struct BodyCount {
  bool acceptable = false;  // false: negative, or larger than the limit
  std::uint64_t bytes = 0;
};

// A decimal count; any other text counts as 0, as phones have always been
// answered. A negative count, or one above the limit, cannot be received.
BodyCount ParseBodyCount(std::string_view line, std::uint64_t limit) {
  line = text::TrimSpaces(line);
  const bool negative = line.starts_with('-');
  std::uint64_t number = 0;
  const char* begin = line.data() + (negative ? 1 : 0);
  const char* end = line.data() + line.size();
  const auto [stop, error] = std::from_chars(begin, end, number);
  const bool isNumber = begin != end && stop == end;
  if (isNumber && error == std::errc::result_out_of_range) return {};  // huge
  if (!isNumber || error != std::errc()) return {true, 0};
  if (negative) return {number == 0, 0};
  if (number > limit) return {};
  return {true, number};
}

bool IsDecimalDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// "YYYY-MM-DD" naming a day of the Gregorian calendar.
bool IsCalendarDate(std::string_view text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
  if (!IsDecimalDigits(text.substr(0, 4)) || !IsDecimalDigits(text.substr(5, 2)) ||
      !IsDecimalDigits(text.substr(8, 2))) {
    return false;
  }
  const int year = std::stoi(std::string(text.substr(0, 4)));
  const int month = std::stoi(std::string(text.substr(5, 2)));
  const int day = std::stoi(std::string(text.substr(8, 2)));
  if (year < 1 || month < 1 || month > 12 || day < 1) return false;
  constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

// Removes a file of the exchange folder on every way out of a command.
class RemovedAtEnd {
 public:
  explicit RemovedAtEnd(fs::path file) : file_(std::move(file)) {}
  ~RemovedAtEnd() { Now(); }
  // Before an answer: once the phone has it, the file is gone.
  void Now() {
    std::error_code ignored;
    fs::remove(file_, ignored);
  }
  RemovedAtEnd(const RemovedAtEnd&) = delete;
  RemovedAtEnd& operator=(const RemovedAtEnd&) = delete;

 private:
  fs::path file_;
};

class PhoneConnection {
 public:
  PhoneConnection(int fd, const PhonePeer& peer, const PhoneServerContext& context)
      : channel_(fd, context.settings.ioTimeout, context.settings.idleTimeout),
        peer_(peer),
        context_(context),
        area_(context.settings.fileRoot),
        folderName_(FolderNameOf(peer.clientAddress)),
        sessionName_(SessionNameOf(peer.connectionNumber)),
        exchangeFolder_(ExchangeFolderOf(context.programFolder, folderName_)) {}

  void Serve() {
    while (std::optional<std::string> command = channel_.ReadCommand()) {
      if (Handle(*command) == After::kClose) return;
    }
  }

 private:
  After Handle(const std::string& command) {
    if (command == "<ConnectOK>") return ConnectOk();
    if (command == "<DownBills>") return DownBills();
    if (command == "<UploadBills>") return UploadBills(false);
    if (command == "<TransferBills>") return UploadBills(true);
    if (command == "<DownFiles>") return DownFiles();
    if (command == "<UploadFiles>") return UploadFiles();
    if (command == "<ListDirFiles>") return ListDirFiles();
    if (command == "<Disconnect>") return Disconnect();
    return After::kClose;
  }

  After ConnectOk() {
    const std::string loginId = channel_.ReadLine();
    const std::string userName = channel_.ReadLine();
    channel_.ReadLine();  // sent by every phone, never used
    OnlineSessionTable& sessions = *context_.sessions;
    const int result = sessions.RegisterSession(sessionName_, context_.database->Name(), loginId,
                                                folderName_, peer_.clientAddress, userName);
    if (result == OnlineSessionTable::kRefused) {
      // The table did not change, but the console shows every login attempt.
      sessions.RequestRefresh();
      channel_.WriteLine("<OnlyAllowed>");
      return After::kClose;
    }
    // Made before the answer, so the phone's next command finds it.
    fs::create_directories(exchangeFolder_);
    channel_.WriteLine("<QUORSERVER>");
    return After::kContinue;
  }

  After DownBills() {
    DownloadRequest request;
    request.personIndex = channel_.ReadLine();
    request.beginDate = channel_.ReadLine();
    request.endDate = channel_.ReadLine();
    // These texts end up in the builder's statements: only their strict forms pass.
    if (!IsDecimalDigits(request.personIndex) || !IsCalendarDate(request.beginDate) ||
        !IsCalendarDate(request.endDate)) {
      throw PhoneChannelError("download asked with person index '" + request.personIndex +
                              "' and dates '" + request.beginDate + "', '" + request.endDate + "'");
    }
    fs::create_directories(exchangeFolder_);
    const fs::path target = DownloadFileOf(exchangeFolder_, peer_.connectionNumber);
    RemovedAtEnd removed(target);
    context_.database->Run([&](sql::Connection& connection) {
      BuildDownloadFile(connection, request, DownloadTemplatePath(context_.programFolder), target);
    });
    ScopedFd file(::open(target.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.Valid()) {
      throw std::system_error(errno, std::generic_category(), "opening " + target.string());
    }
    // Held while the bytes go out: a build for the same name waits its turn
    // instead of rewriting the file under the phone.
    ::flock(file.Get(), LOCK_SH);
    channel_.WriteLine(kAnswerSuccess);
    channel_.SendFile(file.Get());
    removed.Now();  // sent: the phone has it, and the end of the connection follows
    channel_.FinishSending();
    return After::kClose;
  }

  // Reads the count line and the body into `fd` (negative: the body is read and
  // dropped). False when the body was refused or not stored; after a refused
  // count the connection is out of step and the caller closes it.
  bool ReceiveBody(int fd, bool& closeAfter) {
    const BodyCount count = ParseBodyCount(channel_.ReadLine(), context_.settings.maxUpload);
    if (!count.acceptable) {
      closeAfter = true;
      return false;
    }
    return channel_.ReceiveBody(count.bytes, fd);
  }

  After Answer(bool success, bool closeAfter) {
    channel_.WriteLine(success ? kAnswerSuccess : kAnswerFailure);
    return closeAfter ? After::kClose : After::kContinue;
  }

  // Created exclusively, so two uploads from one address never share a file.
  ScopedFd CreateUploadFile(fs::path& path) {
    fs::create_directories(exchangeFolder_);
    std::random_device seed;
    std::mt19937 random(seed());
    std::uniform_int_distribution<int> number(10000, 99999);
    for (int attempt = 0; attempt < 1000; ++attempt) {
      path = exchangeFolder_ / UploadFileNameOf(number(random));
      ScopedFd file(
          ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
      if (file.Valid()) return file;
      if (errno != EEXIST) break;
    }
    throw std::system_error(errno, std::generic_category(),
                            "creating an upload file in " + exchangeFolder_.string());
  }

  After UploadBills(bool transfer) {
    fs::path path;
    ScopedFd file = CreateUploadFile(path);
    RemovedAtEnd removed(path);
    bool closeAfter = false;
    bool stored = false;
    try {
      stored = ReceiveBody(file.Get(), closeAfter);
    } catch (const PhoneChannelError&) {
      // The phone stalled or left inside the body: it hears of the failure
      // if it still listens, and the connection ends, out of step as it is.
      removed.Now();
      TryAnswerFailure();
      throw;
    }
    stored = stored && ::close(file.Release()) == 0;
    bool imported = false;
    if (stored) {
      imported = context_.database->Run([&](sql::Connection& connection) {
        return ProcessUpload(connection, path, transfer, context_.programFolder);
      });
    }
    removed.Now();
    return Answer(imported, closeAfter);
  }

  void TryAnswerFailure() {
    try {
      channel_.WriteLine(kAnswerFailure);
    } catch (const PhoneChannelError&) {
    }
  }

  After DownFiles() {
    const std::string folder = channel_.ReadLine();
    const std::string name = channel_.ReadLine();
    const std::optional<std::vector<std::string>> parts = FileArea::FolderParts(folder);
    ScopedFd file;
    if (parts && FileArea::IsPlainName(name)) {
      file = OpenPlainFileIn(area_.OpenFolder(*parts, false), name);
    }
    // Nothing is promised that cannot be sent; the phone may go on.
    if (!file.Valid()) return After::kContinue;
    channel_.WriteLine(kAnswerSuccess);
    channel_.SendFile(file.Get());
    channel_.FinishSending();
    return After::kClose;
  }

  After UploadFiles() {
    const std::string folder = channel_.ReadLine();
    const std::string name = channel_.ReadLine();
    const std::optional<std::vector<std::string>> parts = FileArea::FolderParts(folder);
    ScopedFd target;
    if (parts && FileArea::IsPlainName(name)) target = area_.OpenFolder(*parts, true);
    bool closeAfter = false;
    if (!MayWritePlainFileIn(target, name)) {
      // A refused name touches no disk; its body is read and dropped so the
      // next command is read where it starts.
      ReceiveBody(-1, closeAfter);
      return Answer(false, closeAfter);
    }
    IncomingFile incoming(target, name);
    bool stored = false;
    try {
      stored = ReceiveBody(incoming.Fd(), closeAfter);
    } catch (const PhoneChannelError&) {
      TryAnswerFailure();
      throw;
    }
    return Answer(stored && incoming.Commit(), closeAfter);
  }

  After ListDirFiles() {
    const std::string folder = channel_.ReadLine();
    const std::optional<std::vector<std::string>> parts = FileArea::FolderParts(folder);
    if (!parts) return After::kContinue;
    ScopedFd directory = area_.OpenFolder(*parts, true);
    if (!directory.Valid()) return After::kContinue;
    // The path as phones have always seen it: the area is the root of their tree.
    channel_.WriteLine("\\" + folder + "\\");
    for (const std::string& name : PlainFileNamesIn(directory)) channel_.WriteLine(name);
    channel_.WriteLine("");
    return After::kContinue;
  }

  After Disconnect() {
    OnlineSessionTable& sessions = *context_.sessions;
    if (!sessions.RemoveSession(sessionName_, folderName_, peer_.clientAddress)) {
      sessions.RequestRefresh();
    }
    return After::kClose;
  }

  PhoneChannel channel_;
  const PhonePeer& peer_;
  const PhoneServerContext& context_;
  FileArea area_;
  std::string folderName_;
  std::string sessionName_;
  fs::path exchangeFolder_;
};

}  // namespace

void ServePhoneConnection(int fd, const PhonePeer& peer, const PhoneServerContext& context) {
  try {
    PhoneConnection(fd, peer, context).Serve();
  } catch (const std::exception& error) {
    std::cerr << "mobile: connection " << peer.connectionNumber << " from " << peer.clientAddress
              << " ended: " << error.what() << '\n';
  }
}

}  // namespace quor::mobile
