// Connection rows reach the UI thread in order, while the connection threads
// that report them never wait for a busy UI.
#include "transport/QtConnectionObserver.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <chrono>
#include <future>
#include <mutex>
#include <thread>

namespace quor::transport {
namespace {

using namespace std::chrono_literals;

class UiRows : public ConnectionObserver {
 public:
  void AddConnectionRow(const ConnectionRow& row) override { Note("+", row); }
  void RemoveConnectionRow(const ConnectionRow& row) override { Note("-", row); }

  std::vector<std::string> events;
  std::vector<std::thread::id> threads;

 private:
  void Note(const char* sign, const ConnectionRow& row) {
    events.push_back(sign + std::to_string(row.connectionId));
    threads.push_back(std::this_thread::get_id());
  }
};

TEST(QtConnectionObserverTest, RowsArePostedToTheUiThreadInOrderWithoutWaitingForIt) {
  int argc = 1;
  char name[] = "transport_test";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);
  QtConnectionObserver observer(&app);
  auto ui = std::make_shared<UiRows>();
  auto gone = std::make_shared<UiRows>();
  observer.Subscribe(ui);
  observer.Subscribe(gone);
  observer.Unsubscribe(gone);

  // The UI thread is busy (blocked right here) while a connection thread
  // reports: the reports must return all the same.
  auto reported = std::async(std::launch::async, [&] {
    for (std::uint64_t id = 1; id <= 3; ++id) {
      ConnectionRow row;
      row.connectionId = id;
      observer.AddConnectionRow(row);
      observer.RemoveConnectionRow(row);
    }
  });
  ASSERT_EQ(reported.wait_for(10s), std::future_status::ready) << "a report waited for the UI";
  EXPECT_TRUE(ui->events.empty()) << "nothing runs before the UI thread gets to it";

  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (ui->events.size() < 6 && std::chrono::steady_clock::now() < deadline) {
    QCoreApplication::processEvents();
  }
  EXPECT_EQ(ui->events, (std::vector<std::string>{"+1", "-1", "+2", "-2", "+3", "-3"}));
  for (const std::thread::id thread : ui->threads) EXPECT_EQ(thread, std::this_thread::get_id());
  EXPECT_TRUE(gone->events.empty());
}

TEST(QtConnectionObserverTest, AnObserverThatIsGoneIsSkipped) {
  int argc = 1;
  char name[] = "transport_test";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);
  QtConnectionObserver observer(&app);
  auto kept = std::make_shared<UiRows>();
  {
    auto dropped = std::make_shared<UiRows>();
    observer.Subscribe(dropped);
    observer.Subscribe(kept);
  }
  observer.AddConnectionRow(ConnectionRow{});
  QCoreApplication::processEvents();
  EXPECT_EQ(kept->events.size(), 1u);
  EXPECT_THROW(QtConnectionObserver(nullptr), std::invalid_argument);
}

}  // namespace
}  // namespace quor::transport
