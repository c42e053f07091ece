// Procedures of the basic-information methods: record writers and lookups.
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "tests/support/accountset/AccountSet.h"

namespace quor::test {
namespace {

// Return codes of the writers: the account set's own choice.
constexpr int kUnknownMode = -1;
constexpr int kNoSuchRecord = -2;

std::vector<ParamDecl> OperatorCompany() {
  return {Param("@OperatorID", SqlType::VarChar, 25), Param("@CompanyID", SqlType::VarChar, 25)};
}

std::vector<ParamDecl> With(std::vector<ParamDecl> params, std::vector<ParamDecl> more) {
  params.insert(params.end(), more.begin(), more.end());
  return params;
}

struct Areas {
  std::mutex mutex;
  int next = 1;
  std::map<std::string, std::string> names;  // SelfID -> LongName
};

Reply InsertArea(Areas& areas, const ProcedureCall& call) {
  Reply reply;
  const std::string mode = TextOf(call["@Mode"]);
  std::lock_guard lock(areas.mutex);
  if (mode == "I") {
    char id[16];
    std::snprintf(id, sizeof id, "00001%05d", areas.next++);
    areas.names[id] = TextOf(call["@LongName"]);
    reply.outputs["@NewSelfID"] = std::string(id);
  } else if (mode == "U") {
    const std::string selfId = TextOf(call["@SelfID"]);
    const auto found = areas.names.find(selfId);
    if (found == areas.names.end()) {
      reply.returnStatus = kNoSuchRecord;
      return reply;
    }
    found->second = TextOf(call["@LongName"]);
    reply.outputs["@NewSelfID"] = selfId;
  } else {
    reply.returnStatus = kUnknownMode;
  }
  return reply;
}

// Identifiers are chains of five-character blocks; the path lists every ancestor.
Reply BasicInfoPath(const ProcedureCall& call) {
  Reply reply;
  const std::string id = TextOf(call["@sReplaceID"]);
  if (id.empty() || id.size() % 5 != 0) {
    reply.returnStatus = kNoSuchRecord;
    return reply;
  }
  std::string path;
  for (std::size_t end = 5; end <= id.size(); end += 5) {
    if (!path.empty()) path += "/";
    path += id.substr(0, end);
  }
  reply.outputs["@szBasicPath"] = path;
  return reply;
}

ResultSet EmptyLike(const ResultSet& rows) {
  ResultSet empty;
  empty.columns = rows.columns;
  return empty;
}

Reply ClassBasicInfo(const ProcedureCall& call) {
  Reply reply;
  const ResultSet goods = SampleGoods();
  if (TextOf(call["@dbName"]) == "AAAAAFT") {
    reply.resultSets.push_back(goods);
  } else {
    reply.resultSets.push_back(EmptyLike(goods));
    reply.returnStatus = kNoSuchRecord;
  }
  return reply;
}

Reply OneClientFind(const ProcedureCall& call) {
  Reply reply;
  ResultSet client;
  client.columns = {Col("SelfID", SqlType::VarChar, 25), Col("LongName", SqlType::NVarChar, 66)};
  if (TextOf(call["@ClientID"]) == "0000100001") {
    client.rows.push_back({"0000100001", "华东贸易公司"});
    reply.outputs["@isclient"] = 1;
    reply.outputs["@fk"] = 2;
  } else {
    reply.returnStatus = kNoSuchRecord;
  }
  reply.resultSets.push_back(client);
  return reply;
}

}  // namespace

ResultSet SampleGoods() {
  ResultSet goods;
  goods.columns = {Col("SelfID", SqlType::VarChar, 25),   Col("LongName", SqlType::NVarChar, 66),
                   Col("CodeName", SqlType::VarChar, 26), Col("Price", SqlType::Money, 0, 19, 4),
                   Col("Quantity", SqlType::Float),       Col("CreateDate", SqlType::DateTime),
                   Col("Stopped", SqlType::Bit),          Col("Memo", SqlType::Text),
                   Col("Photo", SqlType::Image)};
  goods.rows = {
      {"0000100001", "苹果汁 500ml", "A-001", Decimal{"12.5000"}, 40.0,
       DateTime{2023, 4, 5, 8, 30, 15, 250}, false, "季节商品",
       Bytes{0x89, 0x50, 0x4E, 0x47, 0, 1}},
      {"0000100002", "Green tea", "A-002", Decimal{"-3.2500"}, 0.125, DateTime{1999, 12, 31}, true,
       nullptr, nullptr},
      {"0000100003", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, "", Bytes{}},
  };
  return goods;
}

void DeclareBasicInformationProcedures(AccountSet& accountSet) {
  auto areas = std::make_shared<Areas>();
  accountSet.Declare(
      {"AAAAARN",
       With(OperatorCompany(),
            {Param("@Mode", SqlType::Char, 1), Param("@SelfID", SqlType::VarChar, 25),
             Param("@LongName", SqlType::NVarChar, 66), Param("@CodeName", SqlType::VarChar, 26),
             Param("@Memo", SqlType::NVarChar, 250), Param("@Bopomofo", SqlType::VarChar, 66),
             Param("@CurrRow", SqlType::Int), Output(Param("@NewSelfID", SqlType::VarChar, 25))})},
      [areas](const ProcedureCall& call) { return InsertArea(*areas, call); });
  accountSet.Declare(
      {"AAAAAQD", With(OperatorCompany(), {Param("@cMode", SqlType::VarChar, 1),
                                           Param("@sReplaceID", SqlType::VarChar, 25),
                                           Output(Param("@szBasicPath", SqlType::VarChar, 255))})},
      BasicInfoPath);
  std::vector<ParamDecl> search;
  for (const char* name :
       {"@sSearchAllField", "@sSearchCodeName", "@sSearchLongName", "@sSearchBarCode",
        "@sSearchStandard", "@sSearchWareType", "@sSearchClientID", "@sSearchMemo"}) {
    search.push_back(Param(name, SqlType::NVarChar, 100));
  }
  accountSet.Declare(
      {"AAAAAVI",
       With(OperatorCompany(),
            With({Param("@ParentID", SqlType::VarChar, 25), Param("@dbName", SqlType::VarChar, 50),
                  Param("@OrderMode", SqlType::Int)},
                 With(search, {Param("@sSelfID", SqlType::VarChar, 25)})))},
      ClassBasicInfo);
  accountSet.Declare({"AAAAAXH", With(OperatorCompany(), {Param("@ClientID", SqlType::VarChar, 25),
                                                          Param("@lines", SqlType::Int),
                                                          Output(Param("@isclient", SqlType::Int)),
                                                          Output(Param("@fk", SqlType::Int))})},
                     OneClientFind);
}

}  // namespace quor::test
