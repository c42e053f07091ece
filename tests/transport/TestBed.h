// What the transport tests serve: a private registry file, a class registry
// with small test classes (an echo object with by-reference outputs and a
// call-back member, a provider that returns a data packet, a class without the
// "Sockets" mark, one whose creation fails, an interceptor), and the context a
// server on loopback runs in. Also the objects a client lends to the server.
#pragma once

#include "tests/support/net/LoopbackPort.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/com/ClassRegistry.h"
#include "platform/com/TableDispatch.h"
#include "platform/registry/Registry.h"
#include "tests/support/files/TempFolder.h"
#include "transport/TransportContext.h"
#include "transport/TransportInterfaces.h"

namespace quor::transport::testing {

inline constexpr const char* kEchoProgId = "QuorTest.Echo";
inline constexpr const char* kEchoClassId = "{6A1F0C3E-5B2D-4E7A-9C11-0D2E3F405161}";
inline constexpr const char* kProviderProgId = "QuorTest.Provider";
inline constexpr const char* kProviderClassId = "{6A1F0C3E-5B2D-4E7A-9C11-0D2E3F405162}";
inline constexpr const char* kUnmarkedProgId = "QuorTest.Unmarked";
inline constexpr const char* kUnmarkedClassId = "{6A1F0C3E-5B2D-4E7A-9C11-0D2E3F405163}";
inline constexpr const char* kBrokenProgId = "QuorTest.Broken";
inline constexpr const char* kBrokenClassId = "{6A1F0C3E-5B2D-4E7A-9C11-0D2E3F405164}";
inline constexpr const char* kXorProgId = "QuorTest.XorIntercept";
inline constexpr const char* kXorClassId = "{6A1F0C3E-5B2D-4E7A-9C11-0D2E3F405165}";
inline constexpr const char* kBrokenCreationText = "the test class cannot be created";
inline constexpr const char* kEchoFailureText = "echo failed on purpose";
inline constexpr com::HResult kEchoFailureCode = static_cast<com::HResult>(0x80041001u);

using ::quor::testing::TempFolder;

// Rows of the provider's packet: ID, Name, Price, Day, Active.
struct ProviderRow {
  int id;
  std::string name;
  double price;
  std::string day;  // "YYYY-MM-DD"
  bool active;
};
const std::vector<ProviderRow>& ProviderRows();

// Counts of live echo objects, so tests see objects released.
std::size_t LiveEchoObjects();

class TestBed {
 public:
  TestBed();

  registry::Registry& Store() { return store_; }
  const std::shared_ptr<com::ClassRegistry>& Classes() const { return classes_; }
  // Loopback, short idle checks, registered objects only.
  std::shared_ptr<TransportContext> MakeContext() const;

 private:
  TempFolder folder_;
  registry::Registry store_;
  std::shared_ptr<com::ClassRegistry> classes_;
};

// An object a client lends to the server: "Twice"(Value) returns 2 * Value
// after the delay and notes the thread it ran on.
class Doubler : public com::TableDispatch {
 public:
  Doubler();
  std::atomic<int> calls{0};
  std::atomic<std::thread::id> lastThread{};
  std::atomic<std::chrono::milliseconds> delay{std::chrono::milliseconds(0)};
};

// Rewrites every payload byte with XOR 0x5A in both directions, so a peer
// without the same interceptor reads nonsense.
void XorPayload(TDataBlock& block);

// A small number that names the calling thread (1, 2, ... in order of asking).
std::int32_t CurrentThreadTag();

// Entries in /proc/self/task: the threads of this process.
std::size_t ThreadsInProcess();
// Polls until the condition holds or the deadline passes.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));
using ::quor::testing::FreeLoopbackPort;

}  // namespace quor::transport::testing
