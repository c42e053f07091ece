#include "sms/SMSComm.h"

#include <algorithm>
#include <ctime>
#include <stdexcept>

#include "sms/Pdu.h"
#include "sms/SmsLog.h"

namespace quor::sms {
namespace {

using Clock = std::chrono::steady_clock;

// The modem whose port the current thread owns: the worker's, or the one
// being opened on this thread.
thread_local const TSMSComm* tPortOwner = nullptr;

class PortOwnership {
 public:
  explicit PortOwnership(const TSMSComm* modem) : previous_(tPortOwner) { tPortOwner = modem; }
  ~PortOwnership() { tPortOwner = previous_; }
  PortOwnership(const PortOwnership&) = delete;
  PortOwnership& operator=(const PortOwnership&) = delete;

 private:
  const TSMSComm* previous_;
};

// Event handlers belong to other parts of the server; one that throws must
// not end the worker or leave a task unfinished.
template <typename Handler, typename... Args>
void Raise(const char* name, const Handler& handler, Args&&... args) {
  if (!handler) return;
  try {
    handler(std::forward<Args>(args)...);
  } catch (const std::exception& error) {
    LogSms(std::string(name) + " failed: " + error.what());
  }
}

int CurrentHour() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local.tm_hour;
}

constexpr const char* kClosedReason = "短信猫已关闭";
constexpr int kDeleteTries = 3;

}  // namespace

struct TSMSComm::Task {
  enum class Kind { kSend = 1, kDelete = 4, kList = 5, kRead = 6, kMarker = 7 };
  Kind kind = Kind::kSend;
  bool awaited = false;
  bool done = false;
  bool result = false;
  TSMSItem item;
  int index = 0;
  int selector = 4;
  std::string reply;
  std::uint64_t group = 0;
  SentHandler onSent;
  std::function<void(bool)> onMarker;
};

int NextCleanupHour(int hour, int interval) {
  return (interval * (hour / interval + 1)) % 24;
}

TSMSComm::TSMSComm() : hourSource_(&CurrentHour) {
  nextCleanupHour_ = sms::NextCleanupHour(hourSource_(), delSMSInterval_);
}

void TSMSComm::SetHourSource(std::function<int()> hourSource) {
  hourSource_ = std::move(hourSource);
  nextCleanupHour_ = sms::NextCleanupHour(hourSource_(), delSMSInterval_);
}

TSMSComm::~TSMSComm() {
  CloseModem();
  if (worker_.joinable()) worker_.join();
}

void TSMSComm::SetTimingDelSMS(bool on) {
  timingDelSMS_ = on;
  nextCleanupHour_ = sms::NextCleanupHour(hourSource_(), delSMSInterval_);
}

void TSMSComm::SetDelSMSInteval(int hours) {
  if (hours < 1 || hours > 24) throw std::invalid_argument("短信清理周期应该设置在1~24小时之间！");
  delSMSInterval_ = hours;
  nextCleanupHour_ = sms::NextCleanupHour(hourSource_(), delSMSInterval_);
}

void TSMSComm::SetActive(bool active) {
  if (active == Active()) return;
  if (active) {
    if (!port_.Connected()) OpenModem();
  } else {
    CloseModem();
  }
}

bool TSMSComm::OwnsPort() const {
  return tPortOwner == this;
}

std::string TSMSComm::RecentBytes() const {
  std::lock_guard<std::mutex> lock(recentMutex_);
  const std::uint32_t count = recent_.Counter();
  if (count == 0) return {};
  const int n = static_cast<int>(std::min<std::uint32_t>(count, recent_.Capacity()));
  return recent_.TailText(1 - n);
}

// ---------------------------------------------------------------- lifecycle

bool TSMSComm::OpenModem() {
  std::lock_guard<std::mutex> lifecycle(lifecycleMutex_);
  StopWorker();
  active_ = false;
  Raise("OnBeforeOpenModem", OnBeforeOpenModem);
  port_.ClosePort();
  port_.OpenPort();
  PortOwnership owner(this);
  stopping_ = false;
  bool opened = false;
  try {
    opened = RunOpenSequence();
    if (opened) {
      active_ = true;
      pendingDeletes_.clear();
      std::string reply;
      if (ListDirect(4, reply)) ProcessListing(reply, false);
      Raise("OnAfterOpenModem", OnAfterOpenModem);
      if (stopping_) opened = false;  // a handler closed the modem
    }
  } catch (...) {
    active_ = false;
    port_.ClosePort();
    FailQueued(kClosedReason);
    throw;
  }
  if (!opened) {
    active_ = false;
    FailQueued(kClosedReason);
    port_.ClosePort();
    return false;
  }
  StartWorker();
  return true;
}

bool TSMSComm::RunOpenSequence() {
  for (int attempt = 0; attempt < 3 && !stopping_; ++attempt) {
    Pause(timings_.openAttemptPause);
    port_.PurgePort();
    if (!port_.WritePort("AT\r")) continue;
    Pause(timings_.commandPause);
    Write("AT\r");
    Pause(timings_.commandPause);
    Write("ATE0L1V0&C1&D2S0=1S7=20\r");
    Pause(timings_.commandPause);
    port_.PurgePort();
    reader_.Reset();
    Write("AT+CMGF=0\r");
    if (AwaitResult(timings_.openReply, false, false).result != Await::kOk) continue;
    port_.PurgePort();
    Pause(timings_.openAttemptPause);
    reader_.Reset();
    Write("AT+CNMI=3,1,0,0,1\r");
    Pause(timings_.commandPause);
    if (AwaitResult(timings_.openReply, false, false).result == Await::kOk) return true;
  }
  return false;
}

void TSMSComm::CloseModem() {
  if (OwnsPort()) {
    // From an event handler: the thread that owns the port (the worker, or
    // the one opening the modem) stops once the handler has returned.
    stopping_ = true;
    active_ = false;
    return;
  }
  std::lock_guard<std::mutex> lifecycle(lifecycleMutex_);
  StopWorker();
  active_ = false;
  FailQueued(kClosedReason);
  port_.ClosePort();
}

bool TSMSComm::ReopenWith(const std::function<void(TComPort&)>& change) {
  const bool wasOpen = Active();
  CloseModem();
  change(port_);
  return wasOpen ? OpenModem() : false;
}

void TSMSComm::StartWorker() {
  stopping_ = false;
  worker_ = std::thread([this] { WorkerLoop(); });
}

void TSMSComm::StopWorker() {
  {
    std::lock_guard<std::mutex> lock(tasksMutex_);
    stopping_ = true;
  }
  tasksChanged_.notify_all();
  if (worker_.joinable() && std::this_thread::get_id() != worker_.get_id()) worker_.join();
}

void TSMSComm::WorkerLoop() {
  PortOwnership owner(this);
  bool lost = false;
  while (!stopping_) {
    std::shared_ptr<Task> task;
    try {
      CheckCleanupHour();
      {
        std::lock_guard<std::mutex> lock(tasksMutex_);
        if (!tasks_.empty()) {
          task = tasks_.front();
          tasks_.pop_front();
        }
      }
      if (task) {
        RunTask(*task);
        {
          std::lock_guard<std::mutex> lock(tasksMutex_);
          task->done = true;
        }
        tasksChanged_.notify_all();
        continue;
      }
      if (cleanupState_ == 1) {
        cleanupState_ = 2;
        LogSms("periodic SIM clean-up");
        Raise("OnBeforeTimingDelSMS", OnBeforeTimingDelSMS);
        std::string reply;
        if (ListDirect(4, reply)) ProcessListing(reply, false);
        Raise("OnAfterTimingDelSMS", OnAfterTimingDelSMS);
        cleanupState_ = 0;
        continue;
      }
      RetryPendingDeletes();
      char c = 0;
      while (!stopping_ && ReadByte(c)) {
        if (reader_.Push(c) == ModemLineReader::Event::kLine &&
            ClassifyModemLine(reader_.Line()) == ModemLineKind::kNotice) {
          HandleNotice(reader_.Line());
        }
      }
    } catch (const std::exception& error) {
      // The device went away (a USB modem unplugged) or failed: the modem
      // is closed and every caller waiting on it learns so.
      LogSms(std::string("modem closed: ") + error.what());
      if (task) {
        {
          std::lock_guard<std::mutex> lock(tasksMutex_);
          task->done = true;
          task->result = false;
        }
        tasksChanged_.notify_all();
      }
      lost = true;
      break;
    }
  }
  active_ = false;
  FailQueued(kClosedReason);
  port_.ClosePort();
  if (lost) Raise("OnModemLost", OnModemLost);
}

void TSMSComm::FailQueued(const std::string& reason) {
  std::deque<std::shared_ptr<Task>> failed;
  {
    std::lock_guard<std::mutex> lock(tasksMutex_);
    failed.swap(tasks_);
    for (const std::shared_ptr<Task>& task : failed) {
      task->done = true;
      task->result = false;
      task->reply = reason;
    }
  }
  tasksChanged_.notify_all();
  if (!failed.empty())
    LogSms(std::to_string(failed.size()) + " queued modem tasks failed: " + reason);
  for (const std::shared_ptr<Task>& task : failed) {
    if (task->onSent) Raise("send report", task->onSent, task->item, false);
    if (task->onMarker) Raise("batch end", task->onMarker, false);
  }
}

// ---------------------------------------------------------------- tasks

bool TSMSComm::Enqueue(std::shared_ptr<Task> task, bool front) {
  {
    std::lock_guard<std::mutex> lock(tasksMutex_);
    if (stopping_ || !active_) return false;
    if (taskCapacity_ >= 1 && tasks_.size() >= static_cast<std::size_t>(taskCapacity_)) {
      return false;
    }
    if (front) {
      tasks_.push_front(std::move(task));
    } else {
      tasks_.push_back(std::move(task));
    }
  }
  tasksChanged_.notify_all();
  return true;
}

bool TSMSComm::RunAwaited(std::shared_ptr<Task> task) {
  task->awaited = true;
  if (!Enqueue(task, true)) return false;
  std::unique_lock<std::mutex> lock(tasksMutex_);
  tasksChanged_.wait(lock, [&] { return task->done; });
  return task->result;
}

void TSMSComm::RunTask(Task& task) {
  bool result = false;
  switch (task.kind) {
    case Task::Kind::kSend:
      result = SendDirect(task.item, task.onSent);
      break;
    case Task::Kind::kDelete:
      result = DeleteDirect(task.index);
      break;
    case Task::Kind::kList:
      result = ListDirect(task.selector, task.reply);
      // A client's listing marks unread messages as read; they are handed
      // to the receive handler here so the service does not lose them.
      if (result) ProcessListing(task.reply, true);
      break;
    case Task::Kind::kRead:
      result = ReadDirect(task.index, task.awaited, task.item);
      break;
    case Task::Kind::kMarker:
      result = true;
      Raise("batch end", task.onMarker, true);
      break;
  }
  std::lock_guard<std::mutex> lock(tasksMutex_);
  task.result = result;
}

bool TSMSComm::SendSMS(const std::string& number, const std::string& text) {
  if (!Active() || number.empty() || text.empty()) return false;
  TSMSItem item;
  item.DestNumber = number;
  item.MsgText = text;
  if (OwnsPort()) return SendDirect(item, nullptr);
  auto task = std::make_shared<Task>();
  task->kind = Task::Kind::kSend;
  task->item = item;
  return RunAwaited(task);
}

bool TSMSComm::ListSMS(int selector, std::string& reply) {
  reply.clear();
  if (!Active()) return false;
  if (OwnsPort()) return ListDirect(selector, reply);
  auto task = std::make_shared<Task>();
  task->kind = Task::Kind::kList;
  task->selector = selector;
  const bool result = RunAwaited(task);
  std::lock_guard<std::mutex> lock(tasksMutex_);
  reply = result ? task->reply : std::string();
  return result;
}

bool TSMSComm::DeleteSMS(int index) {
  if (!Active() || index < 0) return false;
  if (OwnsPort()) return DeleteDirect(index);
  auto task = std::make_shared<Task>();
  task->kind = Task::Kind::kDelete;
  task->index = index;
  return RunAwaited(task);
}

bool TSMSComm::QueueSend(TSMSItem item, std::uint64_t group, SentHandler onFinished) {
  if (item.DestNumber.empty() || item.MsgText.empty()) return false;
  auto task = std::make_shared<Task>();
  task->kind = Task::Kind::kSend;
  task->item = std::move(item);
  task->group = group;
  task->onSent = std::move(onFinished);
  return Enqueue(task, false);
}

bool TSMSComm::QueueMarker(std::uint64_t group, std::function<void(bool)> onReached) {
  auto task = std::make_shared<Task>();
  task->kind = Task::Kind::kMarker;
  task->group = group;
  task->onMarker = std::move(onReached);
  return Enqueue(task, false);
}

void TSMSComm::DropQueued(std::uint64_t group) {
  std::vector<std::shared_ptr<Task>> dropped;
  {
    std::lock_guard<std::mutex> lock(tasksMutex_);
    for (auto it = tasks_.begin(); it != tasks_.end();) {
      if ((*it)->group == group && group != 0) {
        (*it)->done = true;
        dropped.push_back(*it);
        it = tasks_.erase(it);
      } else {
        ++it;
      }
    }
  }
  tasksChanged_.notify_all();
  for (const std::shared_ptr<Task>& task : dropped) {
    if (task->onSent) Raise("send report", task->onSent, task->item, false);
    if (task->onMarker) Raise("batch end", task->onMarker, false);
  }
}

void TSMSComm::CheckCleanupHour() {
  if (!timingDelSMS_ || cleanupState_ != 0) return;
  if (hourSource_() != nextCleanupHour_) return;
  nextCleanupHour_ = (nextCleanupHour_ + delSMSInterval_) % 24;
  cleanupState_ = 1;
}

// ---------------------------------------------------------------- port work

void TSMSComm::Pause(std::chrono::milliseconds duration) {
  std::unique_lock<std::mutex> lock(tasksMutex_);
  tasksChanged_.wait_for(lock, duration, [&] { return stopping_.load(); });
}

void TSMSComm::Write(const std::string& bytes) {
  if (!port_.WritePort(bytes)) LogSms("write to the modem timed out");
}

bool TSMSComm::ReadByte(char& c) {
  std::string byte;
  if (!port_.ReadPort(1, byte)) return false;
  c = byte[0];
  std::lock_guard<std::mutex> lock(recentMutex_);
  recent_.PushByte(static_cast<std::uint8_t>(c));
  return true;
}

void TSMSComm::HandleNotice(const std::string& line) {
  const int index = NoticeIndex(line);
  if (index < 0) {
    LogSms("indication without an index: " + line);
    return;
  }
  auto task = std::make_shared<Task>();
  task->kind = Task::Kind::kRead;
  task->index = index;
  // Not queued (a full task list, a modem still opening): the next listing
  // finds the message on the SIM.
  if (!Enqueue(task, true))
    LogSms("new message " + std::to_string(index) + " left for the next listing");
}

void TSMSComm::DrainInput() {
  char c = 0;
  while (!stopping_ && ReadByte(c)) {
    if (reader_.Push(c) == ModemLineReader::Event::kLine &&
        ClassifyModemLine(reader_.Line()) == ModemLineKind::kNotice) {
      HandleNotice(reader_.Line());
    }
  }
}

void TSMSComm::Preamble() {
  Pause(timings_.preamblePause);
  DrainInput();
  port_.PurgePort();
  reader_.Reset();
}

TSMSComm::Outcome TSMSComm::AwaitResult(std::chrono::milliseconds limit, bool silenceMode,
                                        bool collect) {
  Outcome outcome;
  Clock::time_point since = Clock::now();
  while (!stopping_) {
    if (Clock::now() - since >= limit) return outcome;
    char c = 0;
    if (!ReadByte(c)) continue;
    if (silenceMode) since = Clock::now();
    const ModemLineReader::Event event = reader_.Push(c);
    if (event != ModemLineReader::Event::kLine) continue;
    const std::string& line = reader_.Line();
    switch (ClassifyModemLine(line)) {
      case ModemLineKind::kNotice:
        HandleNotice(line);
        break;
      case ModemLineKind::kRing:
        break;
      case ModemLineKind::kOk:
        outcome.result = Await::kOk;
        return outcome;
      case ModemLineKind::kError:
        if (collect) outcome.text += line + "\r\n";
        outcome.result = Await::kError;
        return outcome;
      case ModemLineKind::kInfo:
        if (collect) outcome.text += line + "\r\n";
        break;
    }
  }
  return outcome;
}

bool TSMSComm::AwaitPrompt(std::chrono::milliseconds limit) {
  const Clock::time_point start = Clock::now();
  while (!stopping_ && Clock::now() - start < limit) {
    char c = 0;
    if (!ReadByte(c)) continue;
    const ModemLineReader::Event event = reader_.Push(c);
    if (event == ModemLineReader::Event::kPrompt) return true;
    if (event != ModemLineReader::Event::kLine) continue;
    const ModemLineKind kind = ClassifyModemLine(reader_.Line());
    if (kind == ModemLineKind::kNotice) HandleNotice(reader_.Line());
    if (kind == ModemLineKind::kError) return false;
  }
  return false;
}

// A modem that missed its prompt or its answer may still wait for a PDU, or
// answer late: ESC ends the PDU input, and its result code (or the prompt
// time-out) lets the late bytes pass before the next command.
void TSMSComm::ReturnToCommandMode() {
  Write("\x1B");
  AwaitResult(timings_.prompt, false, false);
  port_.PurgePort();
  reader_.Reset();
}

bool TSMSComm::SendPart(const std::string& number, const std::string& part) {
  SubmitCommand submit;
  try {
    submit = BuildSubmit(number, part, encodeStyle_);
  } catch (const PduError& error) {
    LogSms(std::string("message not sent: ") + error.what());
    return false;
  }
  reader_.Reset();
  Write(submit.command);
  if (!AwaitPrompt(timings_.prompt)) {
    ReturnToCommandMode();
    return false;
  }
  Write(submit.pdu);
  const Outcome outcome = AwaitResult(timings_.sendReply, false, true);
  const bool confirmed = outcome.text.find("+CMGS") != std::string::npos;
  if (outcome.result == Await::kError) return false;
  if (outcome.result == Await::kTimeout && !confirmed) {
    ReturnToCommandMode();
    return false;
  }
  return confirmed;
}

bool TSMSComm::SendDirect(TSMSItem item, const SentHandler& onFinished) {
  const std::vector<std::string> parts = SplitIntoParts(item.MsgText, encodeStyle_);
  bool allSent = !parts.empty();
  int attempts = 0;
  for (const std::string& part : parts) {
    TSMSItem partItem = item;
    partItem.MsgText = part;
    Raise("OnBeforeSendSMS", OnBeforeSendSMS, partItem);
    bool sent = false;
    while (!sent && attempts < sendAttempts_ && !stopping_) {
      sent = SendPart(item.DestNumber, part);
      if (!sent) ++attempts;
    }
    if (encodeStyle_ == TEncodeStyle::esUnicode) Pause(timings_.unicodePartPause);
    Raise("OnAfterSendSMS", OnAfterSendSMS, partItem, sent);
    if (!sent) {
      allSent = false;
      break;
    }
  }
  if (onFinished) Raise("send report", onFinished, item, allSent);
  return allSent;
}

bool TSMSComm::ListDirect(int selector, std::string& reply) {
  Preamble();
  const int status = selector >= 0 && selector <= 4 ? selector : 4;
  Write("AT+CMGL=" + std::to_string(status) + "\r");
  const Outcome outcome = AwaitResult(timings_.listSilence, true, true);
  if (outcome.result != Await::kOk) {
    reply = outcome.text;
    return false;
  }
  reply = outcome.text + "0\r";
  return true;
}

bool TSMSComm::ReadDirect(int index, bool awaited, TSMSItem& item) {
  Preamble();
  Write("AT+CMGR=" + std::to_string(index) + "\r");
  const Outcome outcome = AwaitResult(timings_.readSilence, true, true);
  if (outcome.result != Await::kOk) return false;
  const std::optional<TSMSItem> parsed = ParseCmgrReply(outcome.text, index);
  if (!parsed) {
    LogSms("message " + std::to_string(index) + " does not parse; it stays on the SIM");
    return false;
  }
  item = *parsed;
  if (!awaited) {
    if (item.MsgStatus == 1) {
      KeepAndDelete(item);
    } else if (!DeleteDirect(index)) {
      NoteFailedDelete(index);
    }
  }
  return true;
}

// Hands an unread message to the receive handler and deletes it from the
// SIM as soon as the handler has kept it; a message nobody kept stays.
bool TSMSComm::KeepAndDelete(const TSMSItem& item) {
  bool kept = false;
  if (OnReceiveSMS) {
    try {
      kept = OnReceiveSMS(item);
    } catch (const std::exception& error) {
      LogSms(std::string("receiving a message failed: ") + error.what());
    }
  }
  if (!kept) {
    LogSms("message " + std::to_string(item.MsgIndex) + " was not kept; it stays on the SIM");
    return false;
  }
  if (!DeleteDirect(item.MsgIndex)) NoteFailedDelete(item.MsgIndex);
  return true;
}

void TSMSComm::ProcessListing(const std::string& reply, bool clientListing) {
  if (!clientListing) pendingDeletes_.clear();
  for (std::string_view chunk : SplitListing(reply)) {
    const std::optional<TSMSItem> item = ParseCmglEntry(chunk);
    if (!item) {
      LogSms("a listed message does not parse; it stays on the SIM");
      continue;
    }
    if (item->MsgStatus == 1) {
      KeepAndDelete(*item);
    } else if (!clientListing && !DeleteDirect(item->MsgIndex)) {
      NoteFailedDelete(item->MsgIndex);
    }
  }
}

// Each index is tried a few times; one that keeps failing has most likely gone
// already, and a message still there is found by the next listing.
void TSMSComm::RetryPendingDeletes() {
  if (pendingDeletes_.empty()) return;
  std::vector<std::pair<int, int>> retry;
  retry.swap(pendingDeletes_);
  for (auto [index, tries] : retry) {
    if (!DeleteDirect(index) && tries + 1 < kDeleteTries)
      pendingDeletes_.emplace_back(index, tries + 1);
  }
}

void TSMSComm::NoteFailedDelete(int index) {
  pendingDeletes_.emplace_back(index, 0);
}

bool TSMSComm::DeleteDirect(int index) {
  Preamble();
  Write("AT+CMGD=" + std::to_string(index) + "\r");
  return AwaitResult(timings_.deleteReply, false, false).result == Await::kOk;
}

}  // namespace quor::sms
