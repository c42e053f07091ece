#include "platform/com/ClassRegistry.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/com/TableDispatch.h"
#include "tests/platform/com/CodeOf.h"

namespace quor::com {
namespace {

using test::CodeOf;

namespace fs = std::filesystem;

constexpr const char* kClassId = "{C1C424E1-600A-461D-8759-8D739C78CBDC}";
constexpr const char* kProgId = "QuorServerAll.DataModuleServer";

ClassRegistration DataModule() {
  return {kClassId, kProgId, "QuorServerAll DataModuleServer", {{"Sockets", "1"}, {"Web", "1"}}};
}

ClassRegistration Helper() {
  return {"{00000000-1111-2222-3333-444444444444}", "Other.Helper", "Helper", {{"Sockets", "0"}}};
}

// Each object answers its creation number from its default member, so tests
// can tell instances apart.
DispatchPtr NumberedObject(int number) {
  auto table = std::make_shared<const DispatchTable>(std::vector<MemberInfo>{
      {"Number",
       DISPID_VALUE,
       MemberKind::PropertyGet,
       {},
       [number](IDispatchObject&, DispatchArgs&) { return Variant(number); }}});
  return std::make_shared<TableDispatch>(table);
}

class ClassRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "quor-classes-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    classes_ = std::make_unique<ClassRegistry>(Registry());
    classes_->Add(DataModule(), [this] { return NumberedObject(++created_); });
    classes_->Add(Helper(), [] { return NumberedObject(-1); });
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }
  registry::Registry Registry() const { return registry::Registry(folder_ / "registry.reg"); }

  fs::path folder_;
  int created_ = 0;
  std::unique_ptr<ClassRegistry> classes_;
};

TEST_F(ClassRegistryTest, ClassesAreCreatedByProgIdOrClassIdInAnyLetterCase) {
  const char* names[] = {
      kProgId,
      "quorserverall.datamoduleserver",
      kClassId,
      "{c1c424e1-600a-461d-8759-8d739c78cbdc}",
  };
  int expected = 0;
  for (const char* name : names) {
    const DispatchPtr object = classes_->Create(name);
    ASSERT_NE(object, nullptr) << name;
    EXPECT_EQ(Variant::Dispatch(object).ToI4(), ++expected) << name << ": a new instance each time";
    EXPECT_EQ(classes_->ResolveClassId(name), kClassId) << name;
  }
  EXPECT_EQ(classes_->ClassIdOfProgId("OTHER.HELPER"), "{00000000-1111-2222-3333-444444444444}");
  EXPECT_EQ(classes_->ClassIdOfProgId(kClassId), std::nullopt) << "a class id is no ProgID";
}

TEST_F(ClassRegistryTest, UnknownClassesAreNotRegistered) {
  const char* names[] = {
      "Nobody.Here",
      "{FFFFFFFF-1111-2222-3333-444444444444}",
      "{not a class id}",
      "",
      "QuorServerAll.DataModuleServer ",
  };
  for (const char* name : names) {
    EXPECT_EQ(FormatHResult(CodeOf([&] { classes_->Create(name); })),
              FormatHResult(REGDB_E_CLASSNOTREG))
        << name;
    EXPECT_EQ(FormatHResult(CodeOf([&] { classes_->ResolveClassId(name); })),
              FormatHResult(REGDB_E_CLASSNOTREG))
        << name;
  }
  EXPECT_EQ(created_, 0);
}

TEST_F(ClassRegistryTest, MarksAreReadFromTheRegistryFile) {
  EXPECT_FALSE(classes_->HasMark(kClassId, "Sockets")) << "nothing registered in the file yet";

  registry::Registry file = Registry();
  for (const ClassRegistration& entry : classes_->Classes())
    RegisterClass(file, entry, "/opt/quor/q");
  EXPECT_TRUE(classes_->HasMark(kClassId, "Sockets"));
  EXPECT_TRUE(classes_->HasMark("{c1c424e1-600a-461d-8759-8d739c78cbdc}", "web"));
  EXPECT_EQ(classes_->ClassValue(kClassId, "Sockets"), "1");
  EXPECT_FALSE(classes_->HasMark(Helper().classId, "Sockets")) << "\"0\" is no mark";
  EXPECT_FALSE(classes_->HasMark(Helper().classId, "Web"));
  EXPECT_FALSE(classes_->HasMark("not a class id", "Sockets"));

  file.WriteString(ClassKey(kClassId), "Sockets", "0");  // an operator edits the file
  EXPECT_FALSE(classes_->HasMark(kClassId, "Sockets"));
  UnregisterClass(file, DataModule());
  EXPECT_EQ(classes_->ClassValue(kClassId, "Web"), std::nullopt);
  EXPECT_NE(classes_->Create(kProgId), nullptr)
      << "creating is this process's business; the marks only gate the transport";
}

TEST_F(ClassRegistryTest, ClassesAreListedInTheOrderAddedWithNormalizedIds) {
  ClassRegistry classes(Registry());
  ClassRegistration lower = DataModule();
  lower.classId = "{c1c424e1-600a-461d-8759-8d739c78cbdc}";
  classes.Add(Helper(), [] { return NumberedObject(0); });
  classes.Add(lower, [] { return NumberedObject(0); });
  const auto listed = classes.Classes();
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0].progId, "Other.Helper");
  EXPECT_EQ(listed[1].classId, kClassId);
  EXPECT_EQ(listed[1].classValues, DataModule().classValues);
}

TEST_F(ClassRegistryTest, ConflictingOrBrokenEntriesAreRefused) {
  ClassRegistration sameId = Helper();
  sameId.classId = "{c1c424e1-600a-461d-8759-8d739c78cbdc}";
  sameId.progId = "Another.Name";
  ClassRegistration sameProgId = Helper();
  sameProgId.classId = "{12345678-1111-2222-3333-444444444444}";
  sameProgId.progId = "quorserverall.DATAMODULESERVER";
  ClassRegistration malformed = Helper();
  malformed.classId = "{12345678}";
  const auto creator = [] { return NumberedObject(0); };
  EXPECT_THROW(classes_->Add(sameId, creator), std::invalid_argument);
  EXPECT_THROW(classes_->Add(sameProgId, creator), std::invalid_argument);
  EXPECT_THROW(classes_->Add(malformed, creator), std::invalid_argument);
  ClassRegistration fresh = Helper();
  fresh.classId = "{12345678-1111-2222-3333-444444444444}";
  fresh.progId = "Fresh.Name";
  EXPECT_THROW(classes_->Add(fresh, nullptr), std::invalid_argument);
  EXPECT_EQ(classes_->Classes().size(), 2u);
}

TEST_F(ClassRegistryTest, ACreatorThatMakesNothingIsClassNotAvailable) {
  ClassRegistration broken = Helper();
  broken.classId = "{12345678-1111-2222-3333-444444444444}";
  broken.progId = "Broken.Class";
  classes_->Add(broken, [] { return DispatchPtr(); });
  EXPECT_EQ(FormatHResult(CodeOf([&] { classes_->Create("Broken.Class"); })),
            FormatHResult(CLASS_E_CLASSNOTAVAILABLE));
}

TEST_F(ClassRegistryTest, ConnectionsCreateWhileClassesAreAdded) {
  // Connection threads create modules while start-up may still be adding classes.
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) {
        if (t == 0) {
          char id[64];
          std::snprintf(id, sizeof id, "{%08X-1111-2222-3333-444444444444}", i + 1);
          classes_->Add({id, "Added." + std::to_string(i), "", {}},
                        [] { return NumberedObject(0); });
        } else if (!classes_->Create("Other.Helper")) {
          ++failures[t];
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
  EXPECT_EQ(classes_->Classes().size(), 202u);
  EXPECT_NE(classes_->Create("added.199"), nullptr);
}

}  // namespace
}  // namespace quor::com
