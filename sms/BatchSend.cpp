#include "sms/BatchSend.h"

#include <condition_variable>
#include <memory>
#include <mutex>

namespace quor::sms {
namespace {

using Clock = std::chrono::steady_clock;

struct BatchState {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<bool> results;
  bool markerReached = false;
  bool markerGone = false;
  Clock::time_point lastReport = Clock::now();
  int reports = 0;
};

}  // namespace

std::vector<bool> SendBatch(TSMSComm& modem, const std::vector<std::string>& phones,
                            const std::string& text, const ModemTimings& timings) {
  auto state = std::make_shared<BatchState>();
  state->results.assign(phones.size() + 1, false);
  if (!modem.Active()) return state->results;
  const std::uint64_t group = modem.NewTaskGroup();
  for (std::size_t i = 0; i < phones.size(); ++i) {
    TSMSItem item;
    item.DestNumber = phones[i];
    item.MsgText = text;
    item.Tag = static_cast<int>(i);
    item.TagData = static_cast<int>(phones.size());
    modem.QueueSend(item, group, [state, i](const TSMSItem&, bool sent) {
      std::lock_guard<std::mutex> lock(state->mutex);
      state->results[i] = sent;
      state->lastReport = Clock::now();
      ++state->reports;
      state->changed.notify_all();
    });
  }
  const bool markerQueued = modem.QueueMarker(group, [state](bool reached) {
    std::lock_guard<std::mutex> lock(state->mutex);
    state->markerReached = reached;
    state->markerGone = true;
    state->changed.notify_all();
  });
  const auto perSend = (timings.prompt + timings.sendReply) * std::max(1, modem.SendAttempts()) +
                       timings.batchFirstReport;
  std::unique_lock<std::mutex> lock(state->mutex);
  if (markerQueued) {
    while (!state->markerGone) {
      const auto bound = state->reports == 0 ? timings.batchFirstReport : perSend;
      const auto deadline = state->lastReport + bound;
      if (state->changed.wait_until(lock, deadline) == std::cv_status::timeout &&
          !state->markerGone && Clock::now() >= state->lastReport + bound) {
        break;
      }
    }
  }
  const bool complete = state->markerReached;
  lock.unlock();
  if (!complete) modem.DropQueued(group);
  lock.lock();
  std::vector<bool> results = state->results;
  results.back() = complete;
  return results;
}

}  // namespace quor::sms
