// The bill writers the phone upload and the cloud download share with the
// desktop interface, on a connection of their own: the same procedures and
// parameter rules, no server-side number and no change-queue row; and the
// pieces they are built of (number formats, serial texts, annex names).
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "BasicInfoTestSupport.h"
#include "remote/BillNumbering.h"
#include "remote/SerialText.h"
#include "remote/methods/BillWriters.h"
#include "tests/support/accountset/BillBook.h"

namespace quor::testing {
namespace {

namespace fs = std::filesystem;
using com::Variant;

class BillWritersTest : public ModuleTest {
 protected:
  BillWritersTest() { ConnectToStandIn(phone_.Settings()); }

  sql::Connection phone_;
  sql::StoredProc proc_{phone_, "PhoneBillProc"};
  test::BillBook book_{accountSet_};
};

TEST_F(BillWritersTest, AHeaderOnAnotherConnectionIsStoredWithoutANumber) {
  book_.SetSystemValue("BillNumberNewBill", "1");
  book_.SetSystemValue("BillNumberEffect", "2");
  book_.SetMasterResult(305);
  const remote::BillWriteResult result =
      remote::WriteBillValues("InsertBillMaster", proc_,
                              {{"Draft", Variant::I4(1)},
                               {"lVchcode", Variant::I4(-100)},
                               {"lVchtype", Variant::I4(11)},
                               {"lNumber", Variant("")},
                               {"Btypeid", Variant("00001")},
                               {"iCardID", Variant::I4(0)},
                               {"ServeCount", Variant::I4(0)},
                               {"ServeDone", Variant::I4(0)},
                               {"IsRetailBill", Variant::I4(0)},
                               {"IsMobileBill", Variant::I4(1)},
                               {"NormalChange", Variant::I4(0)},
                               {"IsPrepareBill", Variant::I4(0)}});
  EXPECT_EQ(result.Output("nRet").ToI4(), 305);
  const test::ProcedureCall call = accountSet_.LastCall("AAAAARV");
  EXPECT_EQ(test::TextOf(call["@number"]), "");
  EXPECT_EQ(test::TextOf(call["@ClientID"]), "00001");
  EXPECT_TRUE(accountSet_.Calls("AAAAAQE").empty());
  EXPECT_TRUE(accountSet_.Calls("AAAAARE").empty());
  EXPECT_FALSE(module_->ADOConnection1().Connected());
}

TEST_F(BillWritersTest, ALineWithSerialsAndAPostingOnAnotherConnectionQueueNothing) {
  SynchroSettings settings(kServerSynchronises, "True");
  QueueRecorder queue(server_);
  const remote::BillWriteResult line =
      remote::WriteBillValues("InsertBillDetail", proc_,
                              {{"nVchCode", Variant::I4(305)},
                               {"Draft", Variant::I4(0)},
                               {"nVchType", Variant::I4(11)},
                               {"szptypeid", Variant("0000100001")},
                               {"SerialNo", Variant("SN1\r\nfirst\r\nSN2")}});
  EXPECT_EQ(line.Output("OutDetailID").ToI4(), 57);
  EXPECT_EQ(line.Output("nRet").ToI4(), 0);
  ASSERT_EQ(accountSet_.Calls("AAAABBG").size(), 2u);
  EXPECT_EQ(test::TextOf(accountSet_.Calls("AAAABBG")[1]["@SerialNo"]), "SN2");

  book_.SetPostingResult(0, std::nullopt);
  const remote::BillWriteResult posting =
      remote::WriteBillValues("UpdateBillTransfer", proc_,
                              {{"nBillID", Variant::I4(305)},
                               {"Vocation", Variant("FZ")},
                               {"IsMobileBill", Variant::I4(0)}});
  EXPECT_EQ(posting.Output("iReturn").ToI4(), -1090);
  EXPECT_EQ(posting.Output("szStockIDo").ToString(), "S-305");
  EXPECT_TRUE(queue.Rows().empty());
  EXPECT_EQ(QueueRequests(server_), 0u);
}

TEST_F(BillWritersTest, ADeletionRemovesTheAnnexBelowTheGivenFolderAndColourSizesRunTheirRow) {
  const fs::path program = fs::temp_directory_path() / ("quor-annex-" + std::to_string(::getpid()));
  fs::create_directories(program / "Annex" / "@P1_11_9");
  std::ofstream(program / "Annex" / "@P1_11_9" / "x.txt") << "x";
  const remote::BillWriteResult deleted = remote::WriteBillValues(
      "DeleteBillMaster", proc_,
      {{"UserGUID", Variant("P1")}, {"nBillType", Variant::I4(11)}, {"nBillID", Variant::I4(9)}},
      program);
  EXPECT_EQ(deleted.Output("iReturn").ToI4(), 0);
  EXPECT_FALSE(fs::exists(program / "Annex" / "@P1_11_9"));
  EXPECT_TRUE(fs::exists(program / "Annex"));
  fs::remove_all(program);

  accountSet_.Declare({"AAAAARP",
                       {test::Param("@OperatorID", test::SqlType::VarChar, 20),
                        test::Param("@CompanyID", test::SqlType::VarChar, 20),
                        test::Param("@BillID", test::SqlType::VarChar, 20),
                        test::Param("@DetailID", test::SqlType::VarChar, 20),
                        test::Param("@ColorID", test::SqlType::VarChar, 20),
                        test::Param("@SizeID", test::SqlType::VarChar, 20),
                        test::Param("@ColorGroupID", test::SqlType::VarChar, 20),
                        test::Param("@SizeGroupID", test::SqlType::VarChar, 20),
                        test::Param("@Quantity", test::SqlType::VarChar, 20),
                        test::Param("@BillMode", test::SqlType::VarChar, 20)}},
                      [](const test::ProcedureCall&) {
                        test::Reply reply;
                        reply.returnStatus = 4;
                        return reply;
                      });
  const remote::BillWriteResult colour = remote::WriteBillValues(
      "InsertBillDetailColorSize", proc_,
      {{"BillID", Variant("9")}, {"DetailID", Variant("57")}, {"ColorID", Variant("red")}});
  EXPECT_EQ(colour.Output("iReturn").ToI4(), 4);
  EXPECT_EQ(test::TextOf(accountSet_.LastCall("AAAAARP")["@ColorID"]), "red");
}

TEST_F(BillWritersTest, UnknownWritersAndArgumentsAreRefusedBeforeAnythingRuns) {
  EXPECT_THROW(remote::WriteBillValues("InsertWareInfo", proc_, {}), std::invalid_argument);
  EXPECT_THROW(remote::WriteBillValues("InsertBillDetail", proc_, {{"NoSuch", Variant("x")}}),
               std::invalid_argument);
  EXPECT_THROW(remote::WriteBillValues("InsertBillDetail", proc_,
                                       {{"Draft", Variant("1")}, {"draft", Variant("2")}}),
               std::invalid_argument);
  EXPECT_THROW(remote::WriteBillValues("InsertBillDetail", proc_, {{"nRet", Variant("1")}}),
               std::invalid_argument);
  EXPECT_THROW(remote::WriteBillValues("InsertBillDetail", proc_,
                                       {{"Draft", Variant("x")}, {"nVchType", Variant("11")}}),
               std::runtime_error);
  EXPECT_TRUE(accountSet_.Calls("AAAAARQ").empty());
}

std::chrono::system_clock::time_point LocalMoment(int hour, int minute, int second) {
  std::tm local{};
  local.tm_year = 2030 - 1900;
  local.tm_mon = 0;
  local.tm_mday = 2;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = second;
  local.tm_isdst = -1;
  return std::chrono::system_clock::from_time_t(std::mktime(&local));
}

TEST(BillNumberFormat, DatePartsTimePartsLiteralsAndTheCounterPattern) {
  const auto now = LocalMoment(9, 7, 5);
  struct Case {
    std::int64_t counter;
    const char* format;
    const char* date;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {41, "\"01\"yyyymmdd[0000]", "2024-03-05", "01202403050042"},
      {0, "yymmdd[000]", "2024-12-31", "241231001"},
      {9998, "yyyymmdd[0000]", "2024-03-05", "202403059999"},
      {9999, "yyyymmdd[0000]", "2024-03-05", "2024030510000"},
      {1, "yyyy-m-d hh:nn:ss", "2024-03-05", "2024-3-5 09:07:05"},
      {1, "hh:mm", "2024-03-05", "09:07"},
      {1, "mmm dd", "2024-03-05", "Mar 05"},
      {1, "'lit'yyyy", "2024-03-05", "lit2024"},
      {1, "[]", "2024-03-05", "2"},
      {1, "[\"NO.\"0000]", "2024-03-05", "NO.0002"},
      {1, "[NO.0000]", "2024-03-05", "7O.0002"},
      {1, "a]b[00", "2024-03-05", "a]b[00"},
      {1, "yyyymmdd", "", "20300102"},
      {1, "yyyymmdd", "2024-02-30", "20300102"},
      {1, "yyyymmdd", "2024-02-29", "20240229"},
      {1, "", "2024-03-05", "2024-03-05 09:07:05"},
      {1, "\"\"yyyy\r[00]", "2024-03-05", "202402"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    EXPECT_EQ(remote::FormatBillNumber(c.counter, c.format, c.date, now), c.expected);
  }
}

TEST(BillNumberFormat, CountersThatAreNoWholeNumberFailNamingTheBillType) {
  EXPECT_EQ(remote::CounterOf(Variant(" 41 "), 11), 41);
  EXPECT_EQ(remote::CounterOf(Variant::I4(7), 11), 7);
  for (const Variant& bad : {Variant(""), Variant::Null(), Variant("4x"), Variant("-"),
                             Variant("99999999999999999999999")}) {
    try {
      remote::CounterOf(bad, 133);
      ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& error) {
      EXPECT_NE(std::string(error.what()).find("bill type 133"), std::string::npos);
    }
  }
}

TEST(SerialText, PairsAndTriplesOfAnyShapeKeepEveryEntryAndReadNothingPastTheEnd) {
  struct Case {
    std::string text;
    std::size_t width;
    std::vector<std::vector<std::string>> expected;
  };
  const std::vector<Case> cases = {
      {"", 2, {}},
      {"\r\n", 2, {}},
      {"A", 2, {{"A", "", ""}}},
      {"A\r\nr", 2, {{"A", "r", ""}}},
      {"A\nr\nB", 2, {{"A", "r", ""}, {"B", "", ""}}},
      {"A\rr\r\nB\nq\n", 2, {{"A", "r", ""}, {"B", "q", ""}}},
      {" \t\nignored\n B \nkept", 2, {{" B ", "kept", ""}}},
      {"A\n\n\n\nB", 2, {{"A", "", ""}, {"B", "", ""}}},
      {"A\nr\n1\nB", 3, {{"A", "r", "1"}, {"B", "", ""}}},
      {"A\nr\n1\nB\nq", 3, {{"A", "r", "1"}, {"B", "q", ""}}},
      {"\nx\ny\nC\nz\n0", 3, {{"C", "z", "0"}}},
      {std::string(5000, 'S'), 3, {{std::string(5000, 'S'), "", ""}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 20));
    const std::vector<remote::SerialEntry> entries = remote::SerialEntries(c.text, c.width);
    ASSERT_EQ(entries.size(), c.expected.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
      EXPECT_EQ(entries[i].serial, c.expected[i][0]);
      EXPECT_EQ(entries[i].remark, c.expected[i][1]);
      EXPECT_EQ(entries[i].status, c.expected[i][2]);
    }
  }
  EXPECT_THROW(remote::SerialEntries("A", 4), std::invalid_argument);
}

TEST(AnnexFolder, OnlyOnePlainNameDirectlyBelowTheAnnexFolder) {
  EXPECT_EQ(remote::AnnexFolderName("G1", 11, 305), "@G1_11_305");
  EXPECT_EQ(remote::AnnexFolderName("{5E1C-77}", -1, 0), "@{5E1C-77}_-1_0");
  for (const std::string& guid :
       {std::string(""), std::string(".."), std::string("a/b"), std::string("a\\b"),
        std::string("..\\x"), std::string("x..y"), std::string("a:b"), std::string("a\0b", 3),
        std::string("a\nb")}) {
    SCOPED_TRACE(guid);
    EXPECT_FALSE(remote::AnnexFolderName(guid, 11, 305).has_value());
  }
}

}  // namespace
}  // namespace quor::testing
