#include "platform/com/ClassRegistration.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace quor::com {
namespace {

namespace fs = std::filesystem;

constexpr const char* kClassId = "{C1C424E1-600A-461D-8759-8D739C78CBDC}";
constexpr const char* kClassKey =
    "HKEY_CLASSES_ROOT\\CLSID\\{C1C424E1-600A-461D-8759-8D739C78CBDC}";
constexpr const char* kProgIdKey = "HKEY_CLASSES_ROOT\\QuorServerAll.DataModuleServer";

ClassRegistration DataModule() {
  return {kClassId,
          "QuorServerAll.DataModuleServer",
          "QuorServerAll DataModuleServer",
          {{"Sockets", "1"}, {"Web", "1"}}};
}

class ClassRegistrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "quor-com-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }
  registry::Registry Open() { return registry::Registry(folder_ / "registry.reg"); }

  fs::path folder_;
};

TEST_F(ClassRegistrationTest, RegisterWritesTheLocalServerEntriesAndTheClassMarks) {
  registry::Registry registry = Open();
  RegisterClass(registry, DataModule(), "/opt/quor/QuorServerBZ");

  registry::Registry reopened = Open();
  struct Case {
    std::string key;
    std::string name;
    std::string value;
  };
  const Case cases[] = {
      {kClassKey, "", "QuorServerAll DataModuleServer"},
      {std::string(kClassKey) + "\\LocalServer32", "", "/opt/quor/QuorServerBZ"},
      {std::string(kClassKey) + "\\ProgID", "", "QuorServerAll.DataModuleServer"},
      {kClassKey, "Sockets", "1"},
      {kClassKey, "Web", "1"},
      {kProgIdKey, "", "QuorServerAll DataModuleServer"},
      {std::string(kProgIdKey) + "\\CLSID", "", kClassId},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(reopened.ReadString(c.key, c.name), c.value) << c.key << " : " << c.name;
  }
  EXPECT_EQ(ClassIdOfProgId(reopened, "quorserverall.datamoduleserver"), kClassId)
      << "ProgIDs compare without letter case, as registry keys do";
  EXPECT_EQ(ReadClassValue(reopened, kClassId, "Sockets"), "1");
}

TEST_F(ClassRegistrationTest, RegisteringAgainUpdatesTheServerPath) {
  registry::Registry registry = Open();
  RegisterClass(registry, DataModule(), "/old/QuorServerBZ");
  RegisterClass(registry, DataModule(), "/new/QuorServerQX");
  EXPECT_EQ(registry.ReadString(std::string(kClassKey) + "\\LocalServer32", ""),
            "/new/QuorServerQX");
  EXPECT_EQ(registry.SubKeys("HKEY_CLASSES_ROOT\\CLSID").size(), 1u);
}

TEST_F(ClassRegistrationTest, UnregisterRemovesTheClassAndLeavesOthers) {
  registry::Registry registry = Open();
  ClassRegistration other{"{00000000-1111-2222-3333-444444444444}", "Other.Thing", "Other", {}};
  RegisterClass(registry, other, "/other");
  RegisterClass(registry, DataModule(), "/opt/quor/QuorServerBZ");

  UnregisterClass(registry, DataModule());
  EXPECT_FALSE(registry.KeyExists(kClassKey));
  EXPECT_FALSE(registry.KeyExists(kProgIdKey));
  EXPECT_EQ(ReadClassValue(registry, kClassId, "Sockets"), std::nullopt);
  EXPECT_EQ(ClassIdOfProgId(registry, "QuorServerAll.DataModuleServer"), std::nullopt);
  EXPECT_EQ(ClassIdOfProgId(registry, "Other.Thing"), other.classId);
  EXPECT_TRUE(registry.KeyExists("HKEY_CLASSES_ROOT\\CLSID\\" + other.classId + "\\LocalServer32"));

  EXPECT_NO_THROW(UnregisterClass(registry, DataModule())) << "unregistering twice";
}

TEST_F(ClassRegistrationTest, MalformedNamesAreRefusedBeforeAnythingIsWritten) {
  struct Case {
    const char* name;
    ClassRegistration entry;
  };
  const Case cases[] = {
      {"class id without braces", {"C1C424E1-600A-461D-8759-8D739C78CBDC", "A.B", "", {}}},
      {"class id with a path", {"{C1C424E1-600A-461D-8759-8D739C78CB\\X}", "A.B", "", {}}},
      {"class id not hex", {"{G1C424E1-600A-461D-8759-8D739C78CBDC}", "A.B", "", {}}},
      {"ProgID naming another key", {kClassId, "CLSID\\{x}", "", {}}},
      {"empty ProgID", {kClassId, "", "", {}}},
  };
  registry::Registry registry = Open();
  for (const Case& c : cases) {
    EXPECT_THROW(RegisterClass(registry, c.entry, "/q"), std::invalid_argument) << c.name;
    EXPECT_THROW(UnregisterClass(registry, c.entry), std::invalid_argument) << c.name;
  }
  EXPECT_FALSE(fs::exists(folder_ / "registry.reg")) << "nothing was written";
}

TEST_F(ClassRegistrationTest, AnUnwritableRegistryRaisesTheRegistryError) {
  fs::create_directory(folder_ / "registry.reg");  // a folder where the file should be
  registry::Registry registry = Open();
  EXPECT_THROW(RegisterClass(registry, DataModule(), "/q"), registry::RegistryError);
}

}  // namespace
}  // namespace quor::com
