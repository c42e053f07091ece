// Statement markers, procedure names and call texts: the text work that decides
// what reaches the server, so a mistake here changes or breaks clients' SQL.
#include <gtest/gtest.h>

#include "SqlError.h"
#include "detail/SqlText.h"

namespace quor::sql::detail {
namespace {

TEST(StatementMarkers, NamedAndPositionalMarkersBecomeParametersOutsideLiteralsAndComments) {
  struct Case {
    const char* text;
    const char* sent;
    std::vector<std::string> names;
    std::vector<std::size_t> markers;
  };
  const Case cases[] = {
      {"select * from t", "select * from t", {}, {}},
      {"select * from t where a = :a and b = :B",
       "select * from t where a = ? and b = ?",
       {"a", "B"},
       {0, 1}},
      {"where a = :x or b = :X", "where a = ? or b = ?", {"x"}, {0, 0}},
      {"where a = ? and b = ?", "where a = ? and b = ?", {"", ""}, {0, 1}},
      {"where a = ':x' and b = :y", "where a = ':x' and b = ?", {"y"}, {0}},
      {"where a = 'it''s :x' + :y", "where a = 'it''s :x' + ?", {"y"}, {0}},
      {"select [a:b], \"c:d\" from t", "select [a:b], \"c:d\" from t", {}, {}},
      {"select 1 -- :x\nwhere :y = 1", "select 1 -- :x\nwhere ? = 1", {"y"}, {0}},
      {"/* :a /* :b */ :c */ select :d", "/* :a /* :b */ :c */ select ?", {"d"}, {0}},
      {"select * from ::fn_helpcollations()", "select * from ::fn_helpcollations()", {}, {}},
      {"select convert(datetime, 12:30)", "select convert(datetime, 12:30)", {}, {}},
      {"lbl:\nselect 1", "lbl:\nselect 1", {}, {}},
      {"select '?' , ?", "select '?' , ?", {""}, {0}},
      {"where 名称 = :名称", "where 名称 = ?", {"名称"}, {0}},
  };
  for (const Case& c : cases) {
    const ParsedStatement parsed = ParseStatementParameters(c.text);
    EXPECT_EQ(parsed.text, c.sent) << c.text;
    EXPECT_EQ(parsed.names, c.names) << c.text;
    EXPECT_EQ(parsed.markers, c.markers) << c.text;
  }
}

TEST(ProcedureNames, QualifiedNamesAndGroupNumbersAreTakenApart) {
  struct Case {
    const char* name;
    const char* catalog;
    const char* schema;
    const char* base;
    const char* group;
  };
  const Case cases[] = {
      {"AAAAASN;1", "", "", "AAAAASN", "1"},
      {"AAAABED", "", "", "AAAABED", ""},
      {"dbo.P_QueryDataBase;1", "", "dbo", "P_QueryDataBase", "1"},
      {"master.dbo.xp_msver", "master", "dbo", "xp_msver", ""},
      {"master..sp_who", "master", "", "sp_who", ""},
      {"#temp_proc", "", "", "#temp_proc", ""},
  };
  for (const Case& c : cases) {
    const ProcedureName name = ParseProcedureName(c.name);
    EXPECT_EQ(name.catalog, c.catalog) << c.name;
    EXPECT_EQ(name.schema, c.schema) << c.name;
    EXPECT_EQ(name.name, c.base) << c.name;
    EXPECT_EQ(name.group, c.group) << c.name;
    EXPECT_EQ(name.full, c.name) << c.name;
  }
}

TEST(ProcedureNames, NamesThatCouldChangeTheCallTextAreRefused) {
  const char* const refused[] = {
      "",
      "p;",
      "p;x",
      "p(1)",
      "p ?",
      "p;1 drop table t",
      "p}; drop table t; {call q",
      "[dbo].[p]",
      "p'x",
      "a.b.c.d",
      "p,q",
      "p\nq",
      "dbo.",
      "p=1",
  };
  for (const char* name : refused) {
    EXPECT_THROW(ParseProcedureName(name), SqlError) << name;
  }
}

TEST(CallText, BoundParametersAreMarkersAndDefaultedOnesAreEmptySlots) {
  const ProcedureName name = ParseProcedureName("AAAAASN;1");
  EXPECT_EQ(BuildCallText(name, true, {}), "{? = call AAAAASN;1}");
  EXPECT_EQ(BuildCallText(name, true, {true, true}), "{? = call AAAAASN;1(?,?)}");
  EXPECT_EQ(BuildCallText(name, true, {true, false, true}), "{? = call AAAAASN;1(?,,?)}");
  EXPECT_EQ(BuildCallText(name, false, {false, true}), "{call AAAAASN;1(,?)}");
}

TEST(StatementLines, TextSplitsAtEveryKindOfLineBreak) {
  struct Case {
    const char* text;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"", {}},
      {"select 1", {"select 1"}},
      {"select 1\r\nfrom t", {"select 1", "from t"}},
      {"a\nb\rc", {"a", "b", "c"}},
      {"a\r\n", {"a"}},
      {"a\r\n\r\nb", {"a", "", "b"}},
      {"\n", {""}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitLines(c.text), c.lines) << c.text;
}

}  // namespace
}  // namespace quor::sql::detail
