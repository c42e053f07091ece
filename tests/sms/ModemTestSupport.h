// A modem driver on the simulator with the waits shortened, and a receive
// handler that records what it is given.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "sms/SMSComm.h"
#include "tests/support/modem/ModemSimulator.h"

namespace quor::sms::test {

// Waits that only end a faulty exchange are short enough that a time-out test
// takes a fraction of a second, and long enough for a loaded machine.
inline ModemTimings FastTimings() {
  using std::chrono::milliseconds;
  ModemTimings timings;
  timings.openAttemptPause = milliseconds(1);
  timings.commandPause = milliseconds(1);
  timings.openReply = milliseconds(2000);
  timings.preamblePause = milliseconds(1);
  timings.prompt = milliseconds(300);
  timings.sendReply = milliseconds(2000);
  timings.noticeLine = milliseconds(300);
  timings.readSilence = milliseconds(1000);
  timings.listSilence = milliseconds(1000);
  timings.deleteReply = milliseconds(2000);
  timings.unicodePartPause = milliseconds(0);
  timings.batchFirstReport = milliseconds(2000);
  return timings;
}

class ModemFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    modem_.ComPort().SetPort(sim_.DevicePath());
    modem_.SetTimings(FastTimings());
    modem_.OnReceiveSMS = [this](const TSMSItem& item) {
      std::lock_guard<std::mutex> lock(mutex_);
      received_.push_back(item);
      changed_.notify_all();
      return keep_;
    };
  }

  bool WaitReceived(std::size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(20),
                             [&] { return received_.size() >= count; });
  }

  std::vector<TSMSItem> Received() {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
  }

  quor::test::ModemSimulator sim_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<TSMSItem> received_;
  bool keep_ = true;
  TSMSComm modem_;  // last, so it closes before what its handlers use
};

}  // namespace quor::sms::test
