// A GSM modem in PDU mode behind a pseudo-terminal, for the SMS tests. It
// echoes commands until ATE0, answers with numeric result codes after V0,
// keeps a SIM store for AT+CMGL, AT+CMGR and AT+CMGD, prompts "> " after
// AT+CMGS and takes the PDU up to Ctrl-Z (ESC cancels). Tests can deliver
// messages with a "+CMTI" indication at any moment and script faults: an
// ERROR or "+CMS ERROR" reply, silence, slow answers, bytes in the middle of
// a send, an unplugged device. Every byte the driver wrote is kept.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/modem/PseudoTerminal.h"

namespace quor::test {

struct SimMessage {
  int stat = 0;  // 0 unread, 1 read, 2 stored unsent, 3 stored sent
  std::string pdu;
};

class ModemSimulator {
 public:
  ModemSimulator();
  ~ModemSimulator();
  ModemSimulator(const ModemSimulator&) = delete;
  ModemSimulator& operator=(const ModemSimulator&) = delete;

  const std::string& DevicePath() const { return pty_.DevicePath(); }

  // Everything the driver wrote, in order, and the command lines among it.
  std::string Received() const;
  std::vector<std::string> Commands() const;
  // The PDUs sent with AT+CMGS (without Ctrl-Z), in order.
  std::vector<std::string> SubmittedPdus() const;
  std::map<int, SimMessage> Sim() const;

  // Puts a message in the lowest free index (from 1) without telling; returns it.
  int Store(const std::string& pdu, int stat = 0);
  // Stores and indicates it with "+CMTI: "SM",n" + line end (CR LF, or CR alone).
  int Deliver(const std::string& pdu, bool crOnly = false);
  // Writes bytes to the driver now.
  void Emit(const std::string& bytes);

  // Faults for the next command starting with `prefix` (letter case ignored).
  void ReplyNext(const std::string& prefix, const std::string& reply);
  void SilenceNext(const std::string& prefix);
  void DelayNext(const std::string& prefix, std::chrono::milliseconds delay);
  // Bytes written after the next PDU has arrived and before its "+CMGS".
  void InjectDuringNextSend(const std::string& bytes);
  // No answer to anything (a modem that is off).
  void SetDead(bool dead);
  // The master side closes: the driver's reads fail as after unplugging.
  void Unplug();

  // Waits (on the simulator's own changes, never by polling a sleep) until
  // `done` holds or `bound` passes; returns whether it holds.
  bool WaitUntil(const std::function<bool()>& done,
                 std::chrono::milliseconds bound = std::chrono::seconds(20));

 private:
  struct Fault {
    enum class Kind { kReply, kSilence, kDelay } kind;
    std::string prefix;
    std::string reply;
    std::chrono::milliseconds delay{0};
  };

  void Run();
  void Feed(char c);
  void Execute(const std::string& command);
  void FinishSend(const std::string& pdu);
  void Info(const std::string& text);
  void Result(bool ok);
  void RawError(const std::string& text);
  void WriteLocked(const std::string& bytes);
  int FreeIndexLocked() const;

  PseudoTerminal pty_;
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::string received_;
  std::vector<std::string> commands_;
  std::vector<std::string> submitted_;
  std::map<int, SimMessage> sim_;
  std::vector<Fault> faults_;
  std::string injectDuringSend_;
  std::string line_;
  std::string pdu_;
  bool echo_ = true;
  bool verbose_ = true;
  bool inPdu_ = false;
  bool dead_ = false;
  bool stop_ = false;
  bool unplug_ = false;
  int reference_ = 0;
  std::thread thread_;
};

}  // namespace quor::test
