// The basic-information tables themselves: the member count of each table, the
// shape every row of a table shares, DISPIDs and names unique among every
// member the module answers, known components, and the shared writers found in
// the family.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/datasnap/AppServer.h"
#include "remote/methods/BasicInformationMethods.h"
#include "remote/methods/MethodCatalogue.h"
#include "remote/methods/RecordWriters.h"
#include "remote/uDataModuleSvr.h"

namespace quor::remote {
namespace {

bool HasArgument(const MethodDescription& method, bool (*test)(const Argument&)) {
  for (const Argument& argument : method.arguments) {
    if (test(argument)) return true;
  }
  return false;
}

TEST(BasicInformationTables, EachTableHoldsTheMembersItShouldAndTheFamilyIsTheThree) {
  struct Case {
    const char* table;
    const std::vector<MethodDescription>* rows;
    std::size_t count;
  };
  const std::vector<Case> cases = {
      {"record writers with a mode letter", &BasicRecordWritersWithMode(), 23},
      {"other record maintenance", &OtherBasicRecordMaintenance(), 10},
      {"lookups", &BasicInformationLookups(), 29},
  };
  std::vector<std::string> concatenated;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.table);
    EXPECT_EQ(c.rows->size(), c.count);
    for (const MethodDescription& method : *c.rows) concatenated.emplace_back(method.name);
  }
  std::vector<std::string> family;
  for (const MethodDescription& method : BasicInformationMethods())
    family.emplace_back(method.name);
  EXPECT_EQ(family.size(), 62u);
  EXPECT_EQ(family, concatenated);
}

TEST(BasicInformationTables, RowsOfATableShareItsShape) {
  for (const MethodDescription& method : BasicInformationMethods()) {
    SCOPED_TRACE(std::string(method.name));
    EXPECT_NO_THROW(ValidateDescription(method));
    ASSERT_GE(method.arguments.size(), 3u);
    // Every member of the family leads with the operator and the company and
    // ends with its integer result read from the return value.
    EXPECT_EQ(method.arguments[0].name, "OperatorID");
    EXPECT_EQ(method.arguments[1].name, "CompanyID");
    const Argument& last = method.arguments.back();
    EXPECT_EQ(last.direction, ArgDirection::kOut);
    EXPECT_EQ(last.type, ArgType::kInteger);
    EXPECT_EQ(last.source, ResultSource::kReturnValue);
    EXPECT_EQ(method.run, Run::kExecute);
  }
  for (const MethodDescription& method : BasicRecordWritersWithMode()) {
    SCOPED_TRACE(std::string(method.name));
    EXPECT_EQ(method.component, Component::kInsertProc);
    EXPECT_TRUE(HasArgument(method, [](const Argument& a) {
      return a.send == SendRule::kModeLetter &&
             (ParameterOf(a) == "@Mode" || ParameterOf(a) == "@MODE");
    }));
    // The identifier comes back through the output it was sent to, empty.
    const Argument& id = method.arguments[method.arguments.size() - 2];
    EXPECT_EQ(id.direction, ArgDirection::kOut);
    EXPECT_EQ(id.type, ArgType::kVariant);
    EXPECT_TRUE(id.Sent());
    EXPECT_EQ(id.readFrom, ParameterOf(id));
  }
  for (const std::vector<MethodDescription>* table :
       {&OtherBasicRecordMaintenance(), &BasicInformationLookups()}) {
    for (const MethodDescription& method : *table) {
      SCOPED_TRACE(std::string(method.name));
      EXPECT_FALSE(
          HasArgument(method, [](const Argument& a) { return a.send == SendRule::kModeLetter; }));
      EXPECT_EQ(method.handler, nullptr);
    }
  }
  // Lookups run on components whose providers hand the rows to the client.
  const std::set<Component> withProviders = {Component::kBasicProc, Component::kQueryProc,
                                             Component::kSubProc, Component::kInsertProc};
  for (const MethodDescription& method : BasicInformationLookups()) {
    SCOPED_TRACE(std::string(method.name));
    EXPECT_EQ(withProviders.count(method.component), 1u);
  }
}

TEST(BasicInformationTables, OnlyTheFourQueueFeedersHaveHandlers) {
  std::set<std::string> handled;
  for (const MethodDescription& method : BasicInformationMethods()) {
    if (method.handler != nullptr) handled.emplace(method.name);
  }
  EXPECT_EQ(handled, (std::set<std::string>{"InsertClientInfo", "InsertWareInfo",
                                            "InsertAccountInfo", "InsertStockInfo"}));
}

TEST(BasicInformationTables, DispIdsAndNamesAreUniqueAmongEveryMemberOfTheModule) {
  std::set<com::DispId> dispIds;
  std::set<std::string> names;
  for (const com::MemberInfo& member : datasnap::AppServer::DispatchMembers()) {
    dispIds.insert(member.dispId);
    names.insert(member.name);
  }
  for (const MethodDescription* method : CatalogueMethods()) {
    SCOPED_TRACE(std::string(method->name));
    EXPECT_TRUE(dispIds.insert(method->dispId).second) << method->dispId;
    std::string lower(method->name);
    for (char& c : lower) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    EXPECT_TRUE(names.insert(lower).second);
    // A described row runs on a stored-procedure component; a hand-written one
    // names a known component or none.
    if (method->handler == nullptr) {
      EXPECT_TRUE(IsStoredProcComponent(method->component));
    } else if (method->component != Component::kNone) {
      EXPECT_FALSE(ComponentName(method->component).empty());
    }
  }
  // The family is in the catalogue, and the module's table answers every row.
  const std::shared_ptr<const com::DispatchTable> table = DataModuleServerTable();
  for (const MethodDescription& method : BasicInformationMethods()) {
    SCOPED_TRACE(std::string(method.name));
    com::DispId dispId = com::DISPID_UNKNOWN;
    EXPECT_EQ(table->GetIDsOfNames(method.name, dispId), com::S_OK);
    EXPECT_EQ(dispId, method.dispId);
  }
}

TEST(BasicInformationTables, SharedWritersAreMembersOfTheFamilyOnInsertProc) {
  for (const std::string& name : SharedRecordWriterNames()) {
    SCOPED_TRACE(name);
    const MethodDescription* found = nullptr;
    for (const MethodDescription& method : BasicInformationMethods()) {
      if (method.name == name) found = &method;
    }
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->component, Component::kInsertProc);
  }
}

}  // namespace
}  // namespace quor::remote
