#include "tests/support/modem/ModemSimulator.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace quor::test {
namespace {

constexpr int kSimCapacity = 40;

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// -1 for characters that are no hex (a test may store garbage on purpose).
int HexOctet(const std::string& hex, std::size_t pos) {
  int value = 0;
  for (std::size_t i = pos; i < pos + 2 && i < hex.size(); ++i) {
    const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(hex[i])));
    if (!std::isxdigit(static_cast<unsigned char>(c))) return -1;
    value = value * 16 + (std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : c - 'A' + 10);
  }
  return value;
}

// The TPDU length the modem reports and expects: the PDU without its
// service-centre field.
int TpduLength(const std::string& pdu) {
  if (pdu.size() < 2) return 0;
  const int sca = HexOctet(pdu, 0);
  if (sca < 0) return 0;
  return static_cast<int>(pdu.size() / 2) - sca - 1;
}

int NumberAfter(const std::string& command, const std::string& prefix) {
  try {
    return std::stoi(command.substr(prefix.size()));
  } catch (const std::exception&) {
    return -1;
  }
}

}  // namespace

ModemSimulator::ModemSimulator() {
  int fds[2];
  if (::pipe(fds) != 0) throw std::runtime_error("pipe failed");
  wakeRead_ = fds[0];
  wakeWrite_ = fds[1];
  thread_ = std::thread([this] { Run(); });
}

ModemSimulator::~ModemSimulator() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  (void)!::write(wakeWrite_, "x", 1);
  thread_.join();
  ::close(wakeRead_);
  ::close(wakeWrite_);
}

std::string ModemSimulator::Received() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_;
}

std::vector<std::string> ModemSimulator::Commands() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return commands_;
}

std::vector<std::string> ModemSimulator::SubmittedPdus() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return submitted_;
}

std::map<int, SimMessage> ModemSimulator::Sim() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return sim_;
}

int ModemSimulator::FreeIndexLocked() const {
  for (int index = 1; index <= kSimCapacity; ++index) {
    if (!sim_.contains(index)) return index;
  }
  return -1;
}

int ModemSimulator::Store(const std::string& pdu, int stat) {
  std::lock_guard<std::mutex> lock(mutex_);
  const int index = FreeIndexLocked();
  if (index > 0) sim_[index] = {stat, pdu};
  changed_.notify_all();
  return index;
}

int ModemSimulator::Deliver(const std::string& pdu, bool crOnly) {
  std::lock_guard<std::mutex> lock(mutex_);
  const int index = FreeIndexLocked();
  if (index < 0) return index;
  sim_[index] = {0, pdu};
  WriteLocked("+CMTI: \"SM\"," + std::to_string(index) + (crOnly ? "\r" : "\r\n"));
  changed_.notify_all();
  return index;
}

void ModemSimulator::Emit(const std::string& bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  WriteLocked(bytes);
}

void ModemSimulator::ReplyNext(const std::string& prefix, const std::string& reply) {
  std::lock_guard<std::mutex> lock(mutex_);
  faults_.push_back({Fault::Kind::kReply, Upper(prefix), reply, {}});
}

void ModemSimulator::SilenceNext(const std::string& prefix) {
  std::lock_guard<std::mutex> lock(mutex_);
  faults_.push_back({Fault::Kind::kSilence, Upper(prefix), {}, {}});
}

void ModemSimulator::DelayNext(const std::string& prefix, std::chrono::milliseconds delay) {
  std::lock_guard<std::mutex> lock(mutex_);
  faults_.push_back({Fault::Kind::kDelay, Upper(prefix), {}, delay});
}

void ModemSimulator::InjectDuringNextSend(const std::string& bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  injectDuringSend_ = bytes;
}

void ModemSimulator::SetDead(bool dead) {
  std::lock_guard<std::mutex> lock(mutex_);
  dead_ = dead;
}

void ModemSimulator::Unplug() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    unplug_ = true;
  }
  (void)!::write(wakeWrite_, "x", 1);
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return pty_.MasterFd() < 0; });
}

bool ModemSimulator::WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds bound) {
  std::unique_lock<std::mutex> lock(mutex_);
  const auto deadline = std::chrono::steady_clock::now() + bound;
  while (true) {
    lock.unlock();
    const bool holds = done();
    lock.lock();
    if (holds) return true;
    if (changed_.wait_until(lock, deadline) == std::cv_status::timeout) {
      lock.unlock();
      return done();
    }
  }
}

void ModemSimulator::WriteLocked(const std::string& bytes) {
  if (pty_.MasterFd() < 0) return;
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::write(pty_.MasterFd(), bytes.data() + written, bytes.size() - written);
    if (n <= 0) return;
    written += static_cast<std::size_t>(n);
  }
}

void ModemSimulator::Run() {
  while (true) {
    pollfd fds[2] = {{pty_.MasterFd(), POLLIN, 0}, {wakeRead_, POLLIN, 0}};
    ::poll(fds, 2, -1);
    std::unique_lock<std::mutex> lock(mutex_);
    if (stop_) return;
    if (unplug_) {
      pty_.CloseMaster();
      changed_.notify_all();
      return;
    }
    if (fds[1].revents & POLLIN) {
      char drain[16];
      (void)!::read(wakeRead_, drain, sizeof drain);
    }
    if ((fds[0].revents & POLLIN) == 0) continue;
    char buffer[512];
    const ssize_t n = ::read(pty_.MasterFd(), buffer, sizeof buffer);
    if (n <= 0) continue;
    for (ssize_t i = 0; i < n; ++i) {
      received_.push_back(buffer[i]);
      if (!dead_) Feed(buffer[i]);
    }
    changed_.notify_all();
  }
}

void ModemSimulator::Feed(char c) {
  if (inPdu_) {
    if (c == 0x1A) {
      inPdu_ = false;
      FinishSend(pdu_);
      pdu_.clear();
    } else if (c == 0x1B) {
      inPdu_ = false;
      pdu_.clear();
      Result(true);
    } else if (c != '\r' && c != '\n') {
      pdu_.push_back(c);
    }
    return;
  }
  if (c == 0x1B) return;  // an ESC in command mode is ignored, as modems do
  if (c == '\n') return;
  if (c != '\r') {
    line_.push_back(c);
    return;
  }
  std::string command = line_;
  line_.clear();
  if (command.empty()) return;
  if (echo_) WriteLocked(command + "\r");
  commands_.push_back(command);
  Execute(command);
}

void ModemSimulator::Info(const std::string& text) {
  WriteLocked(verbose_ ? "\r\n" + text + "\r\n" : text + "\r\n");
}

void ModemSimulator::Result(bool ok) {
  if (verbose_) {
    WriteLocked(ok ? "\r\nOK\r\n" : "\r\nERROR\r\n");
  } else {
    WriteLocked(ok ? "0\r" : "4\r");
  }
}

void ModemSimulator::RawError(const std::string& text) {
  if (text == "ERROR") {
    Result(false);
  } else {
    Info(text);
  }
}

void ModemSimulator::Execute(const std::string& command) {
  const std::string upper = Upper(command);
  for (auto it = faults_.begin(); it != faults_.end(); ++it) {
    if (upper.rfind(it->prefix, 0) != 0) continue;
    const Fault fault = *it;
    faults_.erase(it);
    if (fault.kind == Fault::Kind::kSilence) return;
    if (fault.kind == Fault::Kind::kReply) {
      RawError(fault.reply);
      return;
    }
    mutex_.unlock();
    std::this_thread::sleep_for(fault.delay);
    mutex_.lock();
    break;
  }
  if (upper == "AT") {
    Result(true);
  } else if (upper.rfind("AT+CMGF=", 0) == 0 || upper.rfind("AT+CNMI=", 0) == 0) {
    Result(true);
  } else if (upper.rfind("AT+CMGL=", 0) == 0) {
    const int selector = NumberAfter(upper, "AT+CMGL=");
    if (selector < 0 || selector > 4) {
      Result(false);
      return;
    }
    for (auto& [index, message] : sim_) {
      if (selector != 4 && message.stat != selector) continue;
      Info("+CMGL: " + std::to_string(index) + "," + std::to_string(message.stat) + ",," +
           std::to_string(TpduLength(message.pdu)) + (verbose_ ? "\r\n" : "\r\n") + message.pdu);
      if (message.stat == 0) message.stat = 1;
    }
    Result(true);
  } else if (upper.rfind("AT+CMGR=", 0) == 0) {
    const auto found = sim_.find(NumberAfter(upper, "AT+CMGR="));
    if (found == sim_.end()) {
      Info("+CMS ERROR: 321");
      return;
    }
    Info("+CMGR: " + std::to_string(found->second.stat) + ",," +
         std::to_string(TpduLength(found->second.pdu)) + "\r\n" + found->second.pdu);
    if (found->second.stat == 0) found->second.stat = 1;
    Result(true);
  } else if (upper.rfind("AT+CMGD=", 0) == 0) {
    const int index = NumberAfter(upper, "AT+CMGD=");
    if (index < 1 || index > kSimCapacity) {
      Info("+CMS ERROR: 321");
      return;
    }
    sim_.erase(index);
    Result(true);
  } else if (upper.rfind("AT+CMGS=", 0) == 0) {
    inPdu_ = true;
    pdu_.clear();
    WriteLocked("\r\n> ");
  } else if (upper.rfind("AT", 0) == 0 && upper.size() > 2 && upper[2] != '+') {
    if (upper.find("E0") != std::string::npos) echo_ = false;
    if (upper.find("V0") != std::string::npos) verbose_ = false;
    Result(true);
  } else {
    Result(false);
  }
}

void ModemSimulator::FinishSend(const std::string& pdu) {
  const std::string command = commands_.empty() ? std::string() : commands_.back();
  const int announced = NumberAfter(Upper(command), "AT+CMGS=");
  submitted_.push_back(pdu);
  if (!injectDuringSend_.empty()) {
    WriteLocked(injectDuringSend_);
    injectDuringSend_.clear();
  }
  if (announced != TpduLength(pdu)) {
    Info("+CMS ERROR: 304");
    return;
  }
  Info("+CMGS: " + std::to_string(++reference_));
  Result(true);
}

}  // namespace quor::test
