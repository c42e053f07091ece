// The report, books and trade-edition members are registered as the interface
// fixes them: each name with its DISPID, its component and its procedure, and
// the members whose argument list the interface leaves open are bound by the
// open-list rule. The expected list is a fixture taken once from the interface
// data (fixtures/report-book-trade-members.tsv); the published reference
// (docs/remote-members.md) is the one the tables write today.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "remote/methods/MemberReference.h"
#include "remote/methods/MethodCatalogue.h"

namespace quor::remote {
namespace {

struct ExpectedMember {
  std::string name;
  com::DispId dispId = com::DISPID_UNKNOWN;
  std::string component;
  std::string procedure;
  bool openList = false;
};

std::vector<ExpectedMember> ReadExpectedMembers() {
  std::ifstream in(std::string(QUOR_REMOTE_FIXTURES) + "/report-book-trade-members.tsv");
  EXPECT_TRUE(in.is_open());
  std::vector<ExpectedMember> members;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line.front() == '#') continue;
    std::vector<std::string> fields;
    std::stringstream split(line);
    std::string field;
    while (std::getline(split, field, '\t')) fields.push_back(field);
    fields.resize(5);
    members.push_back({fields[0], std::stoi(fields[1]), fields[2], fields[3], fields[4] == "open"});
  }
  return members;
}

TEST(MemberRegistration, EveryReportBooksAndTradeMemberHasItsDispIdComponentAndProcedure) {
  std::map<std::string, const MethodDescription*> byName;
  for (const MethodDescription* method : CatalogueMethods()) {
    byName.emplace(std::string(method->name), method);
  }
  const std::vector<ExpectedMember> expected = ReadExpectedMembers();
  ASSERT_FALSE(expected.empty());
  for (const ExpectedMember& member : expected) {
    SCOPED_TRACE(member.name);
    const auto found = byName.find(member.name);
    if (found == byName.end()) {
      ADD_FAILURE() << member.name << " is not registered";
      continue;
    }
    const MethodDescription& method = *found->second;
    EXPECT_EQ(method.dispId, member.dispId);
    EXPECT_EQ(std::string(ComponentName(method.component)), member.component);
    EXPECT_EQ(std::string(method.procedure), member.procedure);
    EXPECT_EQ(method.openList, member.openList);
  }
}

TEST(MemberRegistration, AnOpenListTakesInArgumentsAndAtMostOneIntegerResultLast) {
  const std::vector<std::pair<const char*, std::vector<Argument>>> cases = {
      {"an out variant", {kOperatorId, Out("X").From("@X")}},
      {"a result before an in argument", {Ret("nRet"), In("A")}},
      {"two results", {In("A"), Ret("nRet"), Ret("iRet")}},
      {"an in-out argument", {InOut("A")}},
      {"a result that is sent", {Out("nRet", ArgType::kInteger).Through("@nRet")}},
  };
  for (const auto& [label, arguments] : cases) {
    SCOPED_TRACE(label);
    const MethodDescription method{.name = "M",
                                   .dispId = 1,
                                   .component = Component::kQueryProc,
                                   .procedure = "P;1",
                                   .arguments = arguments,
                                   .openList = true};
    EXPECT_THROW(ValidateDescription(method), std::invalid_argument);
  }
  const MethodDescription sound{.name = "M",
                                .dispId = 1,
                                .component = Component::kQueryProc,
                                .procedure = "P;1",
                                .arguments = {kOperatorId, NotSent("G"), Ret("nRet")},
                                .openList = true};
  EXPECT_NO_THROW(ValidateDescription(sound));
}

TEST(MemberReference, TheCommittedReferenceIsTheOneTheTablesWrite) {
  const std::string path = std::string(QUOR_SOURCE_DIR) + "/docs/remote-members.md";
  std::ifstream in(path, std::ios::binary);
  ASSERT_TRUE(in.is_open()) << path;
  std::stringstream committed;
  committed << in.rdbuf();
  const std::string written = MemberReferenceText();
  if (committed.str() == written) return;
  // Name the first line that differs, so the stale part is easy to find.
  std::stringstream a(committed.str());
  std::stringstream b(written);
  std::string lineA;
  std::string lineB;
  int number = 1;
  while (std::getline(a, lineA) && std::getline(b, lineB) && lineA == lineB) ++number;
  ADD_FAILURE() << path << " is stale from line " << number
                << "; regenerate it with quor-member-reference > docs/remote-members.md\n"
                << "committed: " << lineA << "\ntables:    " << lineB;
}

}  // namespace
}  // namespace quor::remote
