// The method tables themselves: every row validates, DISPIDs and names are
// unique across every member the module answers (IAppServer included), every
// component is known, and the dispatch rows follow the descriptions.
#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>

#include "platform/datasnap/AppServer.h"
#include "remote/methods/MethodCatalogue.h"
#include "remote/uDataModuleSvr.h"

namespace quor::remote {
namespace {

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  return lower;
}

TEST(MethodTables, EveryMemberHasAUniqueDispIdAndName) {
  const std::shared_ptr<const com::DispatchTable> table = DataModuleServerTable();
  std::set<com::DispId> dispIds;
  std::set<std::string> names;
  for (const com::MemberInfo& member : table->Members()) {
    EXPECT_TRUE(dispIds.insert(member.dispId).second) << member.name << " " << member.dispId;
    EXPECT_TRUE(names.insert(Lower(member.name)).second) << member.name;
  }
  const std::size_t appServerMembers = datasnap::AppServer::DispatchMembers().size();
  EXPECT_EQ(appServerMembers, 7u);
  EXPECT_EQ(table->Members().size(), appServerMembers + CatalogueMethods().size());
  for (com::DispId id = datasnap::kDispIdApplyUpdates; id <= datasnap::kDispIdExecute; ++id) {
    EXPECT_NE(table->Find(id, com::MemberKind::Method), nullptr) << id;
  }
}

TEST(MethodTables, EveryDescribedMethodRunsOnAKnownProcedureComponent) {
  for (const MethodDescription* method : CatalogueMethods()) {
    SCOPED_TRACE(std::string(method->name));
    EXPECT_NO_THROW(ValidateDescription(*method));
    // Hand-written members such as the online-table ones use no component.
    if (method->handler == nullptr || method->component != Component::kNone) {
      EXPECT_FALSE(ComponentName(method->component).empty());
    }
    if (method->handler == nullptr) {
      EXPECT_TRUE(IsStoredProcComponent(method->component));
      EXPECT_FALSE(method->procedure.empty());
    }
  }
}

TEST(MethodTables, DispatchRowsFollowTheDescriptions) {
  const std::shared_ptr<const com::DispatchTable> table = DataModuleServerTable();
  for (const MethodDescription* method : CatalogueMethods()) {
    SCOPED_TRACE(std::string(method->name));
    const com::MemberInfo* member = table->Find(method->dispId, com::MemberKind::Method);
    ASSERT_NE(member, nullptr);
    EXPECT_EQ(member->name, method->name);
    std::size_t slot = 0;
    EXPECT_EQ(member->openList, method->openList);
    for (const Argument& argument : method->arguments) {
      if (argument.direction == ArgDirection::kRetVal) continue;
      // An open list's result is the caller's by-reference last argument, not a declared one.
      if (method->openList && argument.direction != ArgDirection::kIn) {
        EXPECT_TRUE(member->openListResult);
        continue;
      }
      ASSERT_LT(slot, member->params.size());
      const com::ParamInfo& param = member->params[slot++];
      EXPECT_EQ(param.name, argument.name);
      EXPECT_EQ(param.type, VarTypeOf(argument.type));
      EXPECT_EQ(param.mode == com::ParamMode::In, argument.direction == ArgDirection::kIn)
          << argument.name;
    }
    EXPECT_EQ(slot, member->params.size());
  }
}

TEST(MethodTables, ExampleRowsDeclareTheirInterfaceTypesAndOutputs) {
  const std::shared_ptr<const com::DispatchTable> table = DataModuleServerTable();
  const com::MemberInfo* area = table->Find(1017, com::MemberKind::Method);
  ASSERT_NE(area, nullptr);
  ASSERT_EQ(area->params.size(), 11u);
  EXPECT_EQ(area->params[9].name, "NewSelfID");
  EXPECT_EQ(area->params[9].mode, com::ParamMode::Out);
  EXPECT_EQ(area->params[10].type, com::VT_I4);
  EXPECT_EQ(area->params[10].mode, com::ParamMode::Out);
  const com::MemberInfo* link = table->Find(1030, com::MemberKind::Method);
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(link->params[2].type, com::VT_I4);
  EXPECT_EQ(link->params[3].type, com::VT_BSTR);
}

TEST(MethodTables, HalfDeclaredRowsAreRefused) {
  struct Case {
    const char* label;
    MethodDescription method;
    const char* why;
  };
  const std::vector<Case> cases = {
      {"no DISPID",
       {.name = "M", .component = Component::kInsertProc, .procedure = "P;1"},
       "no DISPID"},
      {"no procedure",
       {.name = "M", .dispId = 1, .component = Component::kInsertProc},
       "no procedure"},
      {"a statement component",
       {.name = "M", .dispId = 1, .component = Component::kQryExecSQL, .procedure = "P;1"},
       "stored-procedure component"},
      {"no component",
       {.name = "M", .dispId = 1, .procedure = "P;1"},
       "stored-procedure component"},
      {"an argument twice",
       {.name = "M",
        .dispId = 1,
        .component = Component::kInsertProc,
        .procedure = "P;1",
        .arguments = {In("A"), In("a").To("@B")}},
       "declared twice"},
      {"two values for one parameter",
       {.name = "M",
        .dispId = 1,
        .component = Component::kInsertProc,
        .procedure = "P;1",
        .arguments = {In("A"), In("B").To("@a")}},
       "two values"},
      {"a constant on a sent parameter",
       {.name = "M",
        .dispId = 1,
        .component = Component::kInsertProc,
        .procedure = "P;1",
        .arguments = {In("A")},
        .constants = {Text("@A", "")}},
       "two values"},
      {"a parameter without @",
       {.name = "M",
        .dispId = 1,
        .component = Component::kInsertProc,
        .procedure = "P;1",
        .arguments = {In("A").To("B")}},
       "does not start with @"},
      {"an out argument read from nowhere",
       {.name = "M",
        .dispId = 1,
        .component = Component::kInsertProc,
        .procedure = "P;1",
        .arguments = {Out("nRet", ArgType::kInteger)}},
       "read from nowhere"},
      {"an in argument read back",
       {.name = "M",
        .dispId = 1,
        .component = Component::kInsertProc,
        .procedure = "P;1",
        .arguments = {In("A").From("@A")}},
       "cannot be read back"},
      {"a retval before other arguments",
       {.name = "M",
        .dispId = 1,
        .component = Component::kInsertProc,
        .procedure = "P;1",
        .arguments = {RetVal("Value", ArgType::kInteger).FromFirstParameter(), In("A")}},
       "not last"},
      {"an out argument sent as a mode letter",
       {.name = "M",
        .dispId = 1,
        .component = Component::kInsertProc,
        .procedure = "P;1",
        .arguments = {Out("X").Through("@X").AsInteger()}},
       "sent converted"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    try {
      ValidateDescription(c.method);
      ADD_FAILURE() << "accepted";
    } catch (const std::invalid_argument& error) {
      EXPECT_NE(std::string(error.what()).find(c.why), std::string::npos) << error.what();
    }
  }
}

TEST(MethodTables, ARowCannotTakeAnotherMembersDispId) {
  static const MethodDescription clash{.name = "Clash",
                                       .dispId = datasnap::kDispIdGetRecords,
                                       .component = Component::kInsertProc,
                                       .procedure = "P;1",
                                       .arguments = {Ret("nRet")}};
  static const MethodDescription sameName{.name = "insertareainfo",
                                          .dispId = 99999,
                                          .component = Component::kInsertProc,
                                          .procedure = "P;1",
                                          .arguments = {Ret("nRet")}};
  for (const MethodDescription* extra : {&clash, &sameName}) {
    SCOPED_TRACE(std::string(extra->name));
    std::vector<const MethodDescription*> methods = CatalogueMethods();
    methods.push_back(extra);
    EXPECT_THROW(BuildModuleTable(methods), std::invalid_argument);
  }
}

}  // namespace
}  // namespace quor::remote
