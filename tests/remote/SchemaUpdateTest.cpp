// Upgrading the bound account set from a script below the program folder: the
// batches a script's "GO" lines make, run over a connection of the server's
// own with the configured login, a failing batch that does not stop the rest,
// password-protected archives (tests/remote/fixtures, made by
// make-update-archives.sh), and scripts, archives and paths that are refused.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "SessionFixture.h"
#include "platform/text/Encodings.h"
#include "remote/SchemaUpdate.h"
#include "tests/support/files/TempFolder.h"

namespace quor::testing {
namespace {

namespace fs = std::filesystem;
using com::Variant;

const fs::path kFixtures = QUOR_REMOTE_FIXTURES;

// The batches of fixtures/Update.sql, as they reach SQL Server.
const std::vector<std::string> kBatches = {"-- 升级脚本\r\ncreate table T1 (a int)\r\n",
                                           "insert into Missing values (1)\r\n",
                                           "create table T2 (b int)\r\n"};

class SchemaUpdateTest : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    ConfigureLogin();
    const char* saved = std::getenv("TMPDIR");
    savedTmp_ = saved != nullptr ? std::optional<std::string>(saved) : std::nullopt;
    setenv("TMPDIR", temp_.Path().c_str(), 1);
    // The first and the last batch succeed; the middle one names a table the
    // account set does not have and fails (208).
    server_.OnStatement(kBatches[0], test::Reply{});
    server_.OnStatement(kBatches[2], test::Reply{});
    fs::create_directories(Program() / "UpDown");
    // Bind the module to the account set as a client would have.
    module_->ADOConnection1().Open();
    server_.ClearRequests();
  }

  void TearDown() override {
    if (savedTmp_) {
      setenv("TMPDIR", savedTmp_->c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
    SessionTest::TearDown();
  }

  fs::path Program() const { return folder_.Path(); }

  // iReturn and ErrorMsg.
  std::pair<int, std::string> Update(const Variant& path, const Variant& name,
                                     const Variant& extension) {
    OutSlot result = Out(Variant::I4(77), com::VT_I4);
    OutSlot message = Out();
    const CallResult call =
        Call("UpdateDataBase", {Variant("BZ"), path, name, extension, result.ref, message.ref});
    EXPECT_EQ(call.hr, com::S_OK) << call.excepInfo.description;
    return {result.value->GetI4(), message.value->IsEmpty() ? "" : message.value->ToString()};
  }

  std::pair<int, std::string> UpdateText(const std::string& path, const std::string& name,
                                         const std::string& extension) {
    return Update(Variant(path), Variant(name), Variant(extension));
  }

  // The batches that reached SQL Server, and the logins that carried them.
  std::vector<std::string> Batches() const {
    std::vector<std::string> batches;
    for (const test::Request& request : server_.Requests()) {
      if (request.kind == test::RequestKind::Batch) batches.push_back(request.text);
    }
    return batches;
  }

  std::set<std::string> TempTree() const {
    std::set<std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(temp_.Path())) {
      entries.insert(entry.path().lexically_relative(temp_.Path()).generic_string());
    }
    return entries;
  }

  TempFolder temp_;
  std::optional<std::string> savedTmp_;
};

TEST_F(SchemaUpdateTest, APlainScriptRunsBatchByBatchAndAFailingBatchDoesNotStopTheRest) {
  fs::copy_file(kFixtures / "Update.zip", Program() / "UpDown" / "ignored.zip");
  const std::string script =
      "-- 升级脚本\r\ncreate table T1 (a int)\r\ngo\r\n\r\n"
      "insert into Missing values (1)\r\n  GO  \r\ncreate table T2 (b int)";
  WriteText(Program() / "UpDown" / "Upgrade.sql", text::Utf8ToGbk(script));
  EXPECT_EQ(UpdateText("UpDown", "Upgrade", "sql"), std::make_pair(0, std::string()));
  EXPECT_EQ(Batches(), kBatches);
  // Over a connection of its own: one more login, to the module's account set.
  std::vector<test::Request> logins;
  for (const test::Request& request : server_.Requests()) {
    if (request.kind == test::RequestKind::Login) logins.push_back(request);
  }
  ASSERT_EQ(logins.size(), 1u);
  EXPECT_EQ(logins[0].database, test::kAccountSetDatabase);
  EXPECT_EQ(logins[0].user, test::kAccountSetUser);
}

TEST_F(SchemaUpdateTest, ScriptsInUtf16OrUtf8ReadAsTheSameBatches) {
  const std::string script =
      "-- 升级脚本\ncreate table T1 (a int)\nGO\ninsert into Missing values "
      "(1)\ngo\ncreate table T2 (b int)\nGO\n";
  WriteText(Program() / "UpDown" / "u8.sql", "\xEF\xBB\xBF" + script);
  WriteText(Program() / "UpDown" / "u16.sql",
            "\xFF\xFE" + text::Utf16ToLeBytes(text::Utf8ToUtf16(script)));
  for (const char* name : {"u8", "u16"}) {
    SCOPED_TRACE(name);
    server_.ClearRequests();
    EXPECT_EQ(UpdateText("UpDown", name, "sql").first, 0);
    EXPECT_EQ(Batches(), kBatches);
  }
}

TEST_F(SchemaUpdateTest, AnArchiveIsOpenedWithThePasswordInEitherEncoding) {
  for (const char* archive : {"Update.zip", "UpdateUtf8.zip"}) {
    SCOPED_TRACE(archive);
    fs::copy_file(kFixtures / archive, Program() / "UpDown" / "Update.ZIP",
                  fs::copy_options::overwrite_existing);
    server_.ClearRequests();
    // The member is "Update.sql"; the name asked for is "Update" + ".Sql".
    EXPECT_EQ(UpdateText("\\UpDown", "update", "ZIP"), std::make_pair(0, std::string()));
    EXPECT_EQ(Batches(), kBatches);
  }
  // The script is removed after the run; the archive's other members stay.
  std::size_t readmes = 0;
  for (const std::string& entry : TempTree()) {
    EXPECT_EQ(entry.find(".sql"), std::string::npos) << entry;
    if (entry.find("readme.txt") != std::string::npos) ++readmes;
    EXPECT_EQ(entry.rfind("QuorSQLUpdateTemp", 0), 0u) << entry;
  }
  EXPECT_EQ(readmes, 2u);
}

TEST_F(SchemaUpdateTest, ArchivesThatHoldNoScriptOrAreBrokenGiveMinusOneHundredOne) {
  fs::copy_file(kFixtures / "NoScript.zip", Program() / "UpDown" / "NoScript.ZIP");
  fs::copy_file(kFixtures / "Hostile.zip", Program() / "UpDown" / "Hostile.ZIP");
  std::string corrupt = ReadText(kFixtures / "Update.zip");
  corrupt.resize(corrupt.size() / 2);
  WriteText(Program() / "UpDown" / "Corrupt.ZIP", corrupt);
  WriteText(Program() / "UpDown" / "Text.ZIP", "this is no archive");
  struct Case {
    const char* name;
    const char* why;
  };
  for (const Case& c : std::vector<Case>{{"NoScript", "NoScript.Sql"},
                                         {"Hostile", "outside its folder"},
                                         {"Corrupt", "Corrupt.ZIP"},
                                         {"Text", "Text.ZIP"}}) {
    SCOPED_TRACE(c.name);
    const auto [result, message] = UpdateText("UpDown", c.name, "ZIP");
    EXPECT_EQ(result, -101);
    EXPECT_NE(message.find(c.why), std::string::npos) << message;
  }
  EXPECT_TRUE(Batches().empty());
  EXPECT_FALSE(fs::exists(temp_.Path() / "Update.sql"));
  EXPECT_FALSE(fs::exists(temp_.Path() / "QuorSQLUpdateTemp" / "Update.sql"));
}

TEST_F(SchemaUpdateTest, MissingScriptsAndPathsOutsideTheProgramFolderGiveMinusOneHundred) {
  TempFolder outside;
  WriteText(outside.Path() / "evil.sql", "drop table T1");
  WriteText(Program() / "UpDown" / "good.sql", "select 1");
  const std::string escape = "..\\..\\" + outside.Path().filename().string();
  struct Case {
    Variant path, name, extension;
  };
  const std::vector<Case> cases = {
      {Variant("UpDown"), Variant("missing"), Variant("sql")},
      {Variant("UpDown"), Variant(""), Variant("sql")},
      {Variant("UpDown"), Variant("good"), Variant("")},
      {Variant("..\\.."), Variant(outside.Path().filename().string() + "\\evil"), Variant("sql")},
      {Variant(escape), Variant("evil"), Variant("sql")},
      {Variant("UpDown"), Variant("..\\..\\evil"), Variant("sql")},
      {Variant("UpDown"), Variant("good"), Variant("sql\\..\\..\\x")},
      {Variant("C:\\UpDown"), Variant("good"), Variant("sql")},
      {Variant(std::string(3000, 'p')), Variant("good"), Variant("sql")},
      {Variant("UpDown"), Variant(std::string("good\0x", 6)), Variant("sql")},
      {Variant::Array(com::SafeArray::Vector(com::VT_VARIANT, 1)), Variant("good"), Variant("sql")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path.DebugString().substr(0, 60) + " " + c.name.DebugString().substr(0, 60) +
                 " " + c.extension.DebugString());
    EXPECT_EQ(Update(c.path, c.name, c.extension).first, -100);
  }
  EXPECT_TRUE(Batches().empty());
}

TEST_F(SchemaUpdateTest, AScriptThatIsNoTextOrALoginThatFailsGivesMinusOneHundredFour) {
  WriteText(Program() / "UpDown" / "binary.sql", std::string("\x01\x02\0\0\xff", 5));
  WriteText(Program() / "UpDown" / "broken.sql", "select '\x81'");
  for (const char* name : {"binary", "broken"}) {
    SCOPED_TRACE(name);
    const auto [result, message] = UpdateText("UpDown", name, "sql");
    EXPECT_EQ(result, -104);
    EXPECT_NE(message.find("is not a text file"), std::string::npos) << message;
  }
  WriteText(Program() / "UpDown" / "good.sql", "select 1");
  ConfigureLogin("not the password");
  const auto [result, message] = UpdateText("UpDown", "good", "sql");
  EXPECT_EQ(result, -104);
  EXPECT_FALSE(message.empty());
  EXPECT_TRUE(Batches().empty());
}

}  // namespace
}  // namespace quor::testing
