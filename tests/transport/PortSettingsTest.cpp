// Which ports the settings store yields and with which values, for the shapes
// the store takes in the field, and the switches beside them.
#include "transport/PortSettings.h"

#include <gtest/gtest.h>

#include <map>

#include "tests/transport/TestBed.h"

namespace quor::transport {
namespace {

using Values = std::map<std::string, std::string>;  // name -> value; digits are integers
using Store = std::map<std::string, Values>;        // section -> values

void Fill(registry::Registry& store, const Store& sections) {
  for (const auto& [section, values] : sections) {
    const std::string key = std::string(kSocketServerKey) + "\\" + section;
    store.CreateKey(key);
    for (const auto& [name, value] : values) {
      const bool number =
          !value.empty() && value.find_first_not_of("-0123456789") == std::string::npos;
      if (number) {
        store.WriteInteger(key, name, std::stoll(value));
      } else {
        store.WriteString(key, name, value);
      }
    }
  }
}

TEST(PortSettingsTest, LoadAllSettingsYieldsOnePortPerSectionOrTheSinglePortOfSettings) {
  struct Case {
    const char* name;
    // Sections in the order they are created.
    std::vector<std::pair<std::string, Values>> sections;
    std::vector<PortSettings> expected;
  };
  const Case cases[] = {
      {"no key at all", {}, {{211, 100, "", 60}}},
      {"only Settings without a port", {{"Settings", {{"ShowHost", "1"}}}}, {{211, 100, "", 60}}},
      {"only Settings with its values",
       {{"Settings",
         {{"Port", "3000"},
          {"ThreadCacheSize", "5"},
          {"Timeout", "90"},
          {"InterceptGUID", "{00000000-0000-0000-0000-000000000001}"}}}},
       {{3000, 5, "{00000000-0000-0000-0000-000000000001}", 90}}},
      {"a single port section is read as the single dispatcher",
       {{"4000", {{"ThreadCacheSize", "1"}}}},
       {{211, 100, "", 60}}},
      {"Settings, 211 and 3000",
       {{"Settings", {{"Port", "999"}}},
        {"211", {{"ThreadCacheSize", "20"}, {"Timeout", "0"}}},
        {"3000", {{"ThreadCacheSize", "3"}, {"InterceptGUID", "{X}"}, {"Timeout", "90"}}}},
       {{211, 20, "", 0}, {3000, 3, "{X}", 90}}},
      {"Settings in another letter case is never a port",
       {{"SETTINGS", {{"Port", "999"}}}, {"211", {}}, {"212", {}}},
       {{211, 100, "", 60}, {212, 100, "", 60}}},
      {"two port sections without Settings",
       {{"5000", {{"Port", "1234"}}}, {"5001", {}}},
       {{5000, 100, "", 60}, {5001, 100, "", 60}}},
      {"a section that names no port is left out",
       {{"settings", {}}, {"backup", {}}, {"211", {}}},
       {{211, 100, "", 60}}},
      {"values of the wrong type fall back to the defaults",
       {{"Settings", {}}, {"211", {{"ThreadCacheSize", "many"}, {"Timeout", "soon"}}}},
       {{211, 100, "", 60}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempFolder folder;
    registry::Registry store(folder.Path() / "registry.reg");
    for (const auto& [section, values] : c.sections) Fill(store, {{section, values}});
    EXPECT_EQ(LoadAllPortSettings(store), c.expected);
    EXPECT_TRUE(store.KeyExists(kSocketServerKey)) << "the key is created when missing";
  }
}

TEST(PortSettingsTest, SwitchesDefaultToHiddenHostsAndRegisteredObjectsOnly) {
  struct Case {
    const char* name;
    Values settings;
    SocketSwitches expected;
  };
  const Case cases[] = {
      {"nothing stored", {}, {false, true, kDefaultMaxFrameSize}},
      {"both switches turned",
       {{"ShowHost", "1"}, {"RegisteredOnly", "0"}},
       {true, false, kDefaultMaxFrameSize}},
      {"a frame limit", {{"MaxFrameSize", "4096"}}, {false, true, 4096}},
      {"a frame limit of zero means the default",
       {{"MaxFrameSize", "0"}},
       {false, true, kDefaultMaxFrameSize}},
      {"a negative frame limit means the default",
       {{"MaxFrameSize", "-5"}},
       {false, true, kDefaultMaxFrameSize}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempFolder folder;
    registry::Registry store(folder.Path() / "registry.reg");
    Fill(store, {{"Settings", c.settings}});
    EXPECT_EQ(LoadSocketSwitches(store), c.expected);
  }
}

TEST(PortSettingsTest, SavedSettingsReadBackUnderThePortsOwnSection) {
  testing::TempFolder folder;
  registry::Registry store(folder.Path() / "registry.reg");
  const PortSettings port{3050, 12, "{00000000-0000-0000-0000-000000000002}", 2000};
  SavePortSettings(port, store);
  SaveSocketSwitches({true, false, 1 << 20}, store);
  EXPECT_EQ(store.ReadInteger(std::string(kSocketServerKey) + "\\3050", "Port"), 3050);
  EXPECT_EQ(LoadPortSettings(3050, store), port);
  EXPECT_EQ(LoadSocketSwitches(store), (SocketSwitches{true, false, 1 << 20}));
}

TEST(PortSettingsTest, TimeoutsBeyondADayAreClampedAndNegativeOnesMeanNever) {
  const std::pair<int, int> cases[] = {{0, 0},        {90, 90}, {1439, 1439}, {1440, 1439},
                                       {32767, 1439}, {-1, 0},  {-30000, 0}};
  for (const auto& [configured, used] : cases) {
    EXPECT_EQ(EffectiveTimeout(configured), used) << configured;
  }
}

}  // namespace
}  // namespace quor::transport
