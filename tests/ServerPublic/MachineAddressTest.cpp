// The address clients are told to reach this machine at: the default route's
// interface, never loopback, and the operator's ServerAddress above all.
#include "MachineAddress.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <ifaddrs.h>
#include <netinet/in.h>

#include <algorithm>
#include <memory>

#include "ConfigKeys.h"
#include "ConfigStore.h"
#include "tests/support/files/TempFolder.h"

namespace quor {
namespace {

constexpr const char* kRouteHeader =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";

TEST(DefaultRouteInterface, IsTheUpDefaultRouteWithTheLowestMetric) {
  const struct {
    const char* label;
    std::string table;
    std::optional<std::string> expected;
  } cases[] = {
      {"one default route",
       std::string(kRouteHeader) + "eth0\t00000000\t0102A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
                                   "eth0\t0002A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n",
       "eth0"},
      {"the lower metric wins",
       std::string(kRouteHeader) +
           "wlan0\t00000000\t0101A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
           "enp3s0\t00000000\t010010AC\t0003\t0\t0\t100\t00000000\t0\t0\t0\n",
       "enp3s0"},
      {"a route that is down does not count",
       std::string(kRouteHeader) + "eth1\t00000000\t0101A8C0\t0002\t0\t0\t0\t00000000\t0\t0\t0\n"
                                   "eth0\t00000000\t0102A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n",
       "eth0"},
      {"only network routes",
       std::string(kRouteHeader) + "eth0\t0002A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n",
       std::nullopt},
      {"a host route to 0.0.0.0 is no default",
       std::string(kRouteHeader) + "eth0\t00000000\t00000000\t0005\t0\t0\t0\tFFFFFFFF\t0\t0\t0\n",
       std::nullopt},
      {"garbled lines are skipped",
       std::string(kRouteHeader) + "eth0\tzz\t0\n" +
           "eth0\t00000000\t0102A8C0\tXYZ\t0\t0\t100\t00000000\t0\t0\t0\n" +
           "ens1\t00000000\t0102A8C0\t0003\t0\t0\t5\t00000000\t0\t0\t0\n",
       "ens1"},
      {"header alone", kRouteHeader, std::nullopt},
      {"empty", "", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DefaultRouteInterface(c.table), c.expected) << c.label;
  }
}

TEST(ChooseMachineAddress, PrefersTheRouteInterfaceAndNeverGivesLoopback) {
  const std::vector<InterfaceAddress> interfaces = {
      {"lo", "127.0.0.1"}, {"docker0", "172.17.0.1"}, {"eth0", "192.168.2.15"}};
  const struct {
    const char* label;
    std::optional<std::string> route;
    std::vector<InterfaceAddress> interfaces;
    std::vector<std::string> lookup;
    std::string expected;
  } cases[] = {
      {"the default route's interface", "eth0", interfaces, {"127.0.1.1"}, "192.168.2.15"},
      {"no default route: the first other interface", std::nullopt, interfaces, {}, "172.17.0.1"},
      {"the route's interface has no IPv4 address", "wg0", interfaces, {}, "172.17.0.1"},
      {"loopback only: the lookup's last other address",
       std::nullopt,
       {{"lo", "127.0.0.1"}},
       {"10.1.1.1", "10.2.2.2", "127.0.1.1"},
       "10.2.2.2"},
      {"Debian's host-name entry is never told",
       std::nullopt,
       {{"lo", "127.0.0.1"}},
       {"127.0.1.1"},
       ""},
      {"nothing at all", std::nullopt, {}, {}, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ChooseMachineAddress(c.route, c.interfaces, c.lookup), c.expected) << c.label;
  }
}

TEST(IsLoopbackAddress, IsThe127Network) {
  for (const char* address : {"127.0.0.1", "127.0.1.1", "127.255.255.254"}) {
    EXPECT_TRUE(IsLoopbackAddress(address)) << address;
  }
  for (const char* address : {"128.0.0.1", "10.127.0.1", "", "localhost", "::1"}) {
    EXPECT_FALSE(IsLoopbackAddress(address)) << address;
  }
}

class MachineAddressTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetConfigFilePath(folder_.Path() / "QuorServerBZ.dat");
    ResetConfigCacheForTests();
  }
  void TearDown() override {
    ResetConfigCacheForTests();
    SetConfigFilePath({});
  }

  testing::TempFolder folder_;
};

TEST_F(MachineAddressTest, ServerAddressSettingOverridesWhatTheMachineOffers) {
  WriteConfig(configkey::kServerAddress, " 203.0.113.7 ");
  EXPECT_EQ(MachineAddress(), "203.0.113.7");
}

// What this machine really offers: whenever it has an IPv4 interface outside
// the loopback network, the answer is one of those, never a 127 address.
TEST_F(MachineAddressTest, ThisMachinesAddressIsOneOfItsOwnInterfacesAndNotLoopback) {
  ifaddrs* list = nullptr;
  ASSERT_EQ(getifaddrs(&list), 0);
  const std::unique_ptr<ifaddrs, decltype(&freeifaddrs)> owner(list, &freeifaddrs);
  std::vector<std::string> own;
  for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr, text,
              sizeof text);
    if (!IsLoopbackAddress(text)) own.push_back(text);
  }
  const std::string address = MachineAddress();
  EXPECT_FALSE(IsLoopbackAddress(address)) << address;
  if (own.empty()) GTEST_SKIP() << "no interface outside the loopback network";
  EXPECT_NE(std::find(own.begin(), own.end(), address), own.end()) << address;
}

}  // namespace
}  // namespace quor
