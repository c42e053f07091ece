// TSMSComm: drives a GSM modem on a serial port with AT commands in PDU mode.
// While the modem is open one worker thread owns the port and runs queued
// tasks (send, list, read, delete); it also watches for "+CMTI" indications
// and reads each new message, hands it to OnReceiveSMS and deletes it from the
// SIM once the handler has kept it.
//
// Whoever owns the port talks to the modem directly: the worker thread, and
// the thread running OpenModem before the worker starts. This is decided per
// thread, so an event handler (which runs on the owning thread) may call
// SendSMS, ListSMS or DeleteSMS; every other thread queues a task and waits.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sms/ComPort.h"
#include "sms/CommQueue.h"
#include "sms/ModemLineReader.h"
#include "sms/ModemTimings.h"
#include "sms/SMSItem.h"

namespace quor::sms {

// The hour of the next SIM clean-up after `hour` for an interval of
// `interval` hours: interval * (hour / interval + 1), modulo 24.
int NextCleanupHour(int hour, int interval);

class TSMSComm {
 public:
  // Return true when the message is safely kept (stored, or answered as a
  // command); only then is it deleted from the SIM.
  using ReceiveHandler = std::function<bool(const TSMSItem&)>;
  using SendHandler = std::function<void(const TSMSItem&)>;
  using SentHandler = std::function<void(const TSMSItem&, bool sendOk)>;
  using NotifyHandler = std::function<void()>;

  TSMSComm();
  ~TSMSComm();  // closes the modem and joins the worker
  TSMSComm(const TSMSComm&) = delete;
  TSMSComm& operator=(const TSMSComm&) = delete;

  // Configure before OpenModem; the port must not be changed while the
  // modem is open (ReopenWith does that safely).
  TComPort& ComPort() { return port_; }
  void SetTimings(const ModemTimings& timings) { timings_ = timings; }

  bool Active() const { return active_.load(); }
  void SetActive(bool active);

  TEncodeStyle EncodeStyle() const { return encodeStyle_; }
  void SetEncodeStyle(TEncodeStyle style) { encodeStyle_ = style; }
  int SendAttempts() const { return sendAttempts_; }
  void SetSendAttempts(int attempts) { sendAttempts_ = attempts < 1 ? 1 : attempts; }
  int TaskCapacity() const { return taskCapacity_; }
  void SetTaskCapacity(int capacity) { taskCapacity_ = capacity; }

  bool TimingDelSMS() const { return timingDelSMS_; }
  void SetTimingDelSMS(bool on);
  int DelSMSInteval() const { return delSMSInterval_; }
  // Throws std::invalid_argument "短信清理周期应该设置在1~24小时之间！" outside 1 to 24.
  void SetDelSMSInteval(int hours);
  int NextCleanupHour() const { return nextCleanupHour_.load(); }
  // The hour of the day the clean-up compares with; the local clock's by
  // default. Set before OpenModem.
  void SetHourSource(std::function<int()> hourSource);

  // Events; set them before OpenModem. They run on the thread that owns the
  // port at that moment (the worker, or the thread inside OpenModem).
  NotifyHandler OnBeforeOpenModem;
  NotifyHandler OnAfterOpenModem;
  NotifyHandler OnBeforeTimingDelSMS;
  NotifyHandler OnAfterTimingDelSMS;
  SendHandler OnBeforeSendSMS;
  SentHandler OnAfterSendSMS;
  ReceiveHandler OnReceiveSMS;
  // The worker ended on its own: the device failed or went away.
  NotifyHandler OnModemLost;

  // Opens the port (EComPort propagates), initialises the modem in up to
  // three attempts, reads and handles what the SIM holds, then starts the
  // worker. False when the modem never answered; the port is then closed.
  bool OpenModem();
  // Stops and joins the worker, fails every queued task and closes the port.
  // Called from an event handler it only asks the worker to stop.
  void CloseModem();
  // Closes an open modem, lets `change` alter the port settings and opens
  // again; a closed modem only has its settings changed.
  bool ReopenWith(const std::function<void(TComPort&)>& change);

  bool SendSMS(const std::string& number, const std::string& text);
  bool ListSMS(int selector, std::string& reply);
  bool DeleteSMS(int index);

  // A send at the end of the task list that nobody waits for; onFinished
  // runs on the worker with the item and its outcome, also when the modem
  // closes before its turn (then with false). False when nothing was queued.
  bool QueueSend(TSMSItem item, std::uint64_t group, SentHandler onFinished);
  // A task at the end of the list that touches no modem and only reports
  // that every task queued before it has finished.
  bool QueueMarker(std::uint64_t group, std::function<void(bool reached)> onReached);
  // Removes the group's tasks that have not started yet, each reported as not sent.
  void DropQueued(std::uint64_t group);
  std::uint64_t NewTaskGroup() { return ++lastGroup_; }

  // The most recent bytes received from the modem, for reports.
  std::string RecentBytes() const;

 private:
  struct Task;
  enum class Await { kOk, kError, kTimeout };
  struct Outcome {
    Await result = Await::kTimeout;
    std::string text;  // lines collected, CR LF after each
  };

  bool RunOpenSequence();
  void StartWorker();
  void StopWorker();
  void WorkerLoop();
  void FailQueued(const std::string& reason);
  bool OwnsPort() const;
  bool Enqueue(std::shared_ptr<Task> task, bool front);
  bool RunAwaited(std::shared_ptr<Task> task);
  void RunTask(Task& task);
  void CheckCleanupHour();

  // Port work, on the owning thread.
  bool SendDirect(TSMSItem item, const SentHandler& onFinished);
  bool SendPart(const std::string& number, const std::string& part);
  void ReturnToCommandMode();
  bool ListDirect(int selector, std::string& reply);
  bool ReadDirect(int index, bool awaited, TSMSItem& item);
  bool DeleteDirect(int index);
  void ProcessListing(const std::string& reply, bool clientListing);
  bool KeepAndDelete(const TSMSItem& item);
  void RetryPendingDeletes();
  void NoteFailedDelete(int index);
  void Preamble();
  void Pause(std::chrono::milliseconds duration);
  void Write(const std::string& bytes);
  // Reads until a result line, the deadline (total, or since the last byte
  // when silenceMode) or a stop. Notices are queued as read tasks on the way.
  Outcome AwaitResult(std::chrono::milliseconds limit, bool silenceMode, bool collect);
  // Reads until the "> " prompt; false on an error result or the deadline.
  bool AwaitPrompt(std::chrono::milliseconds limit);
  // One byte within the port's read time-out; false when none came.
  bool ReadByte(char& c);
  void HandleNotice(const std::string& line);
  void DrainInput();

  TComPort port_;
  TCommQueue recent_{1024};
  mutable std::mutex recentMutex_;
  ModemLineReader reader_;
  ModemTimings timings_;
  std::atomic<bool> active_{false};
  TEncodeStyle encodeStyle_ = TEncodeStyle::esUnicode;
  int sendAttempts_ = 1;
  int taskCapacity_ = -1;
  bool timingDelSMS_ = true;
  int delSMSInterval_ = 12;
  std::atomic<int> nextCleanupHour_{0};
  int cleanupState_ = 0;  // 0 idle, 1 due, 2 running
  std::function<int()> hourSource_;

  std::mutex tasksMutex_;  // guards tasks_ and every task's done/result
  std::condition_variable tasksChanged_;
  std::deque<std::shared_ptr<Task>> tasks_;
  std::atomic<std::uint64_t> lastGroup_{0};

  std::vector<std::pair<int, int>> pendingDeletes_;  // index, failed tries; owning thread only

  std::atomic<bool> stopping_{false};
  std::thread worker_;
  std::mutex lifecycleMutex_;  // one OpenModem or CloseModem at a time
};

}  // namespace quor::sms
