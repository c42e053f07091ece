// Procedures of the basic-information methods: record writers and lookups.
// The writers of goods, customers, accounts, storehouses, staff, units and
// colour groups keep their records in one store, so the tree lookup, deletion
// and merging see what the writers stored.
#include <cstdio>
#include <initializer_list>
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
constexpr int kDuplicateCode = -3;

std::vector<ParamDecl> OperatorCompany() {
  return {Param("@OperatorID", SqlType::VarChar, 25), Param("@CompanyID", SqlType::VarChar, 25)};
}

std::vector<ParamDecl> With(std::vector<ParamDecl> params, std::vector<ParamDecl> more) {
  params.insert(params.end(), more.begin(), more.end());
  return params;
}

// Parameters of one type, in the order given.
void Add(std::vector<ParamDecl>& params, SqlType type, int size,
         std::initializer_list<const char*> names) {
  for (const char* name : names) params.push_back(Param(name, type, size));
}

std::string Lower(std::string text) {
  for (char& c : text) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  return text;
}

// The basic records the writers below keep, table by table. Identifiers are
// chains of five-digit blocks under the root "00000": a record's children
// extend its identifier by one block.
struct BasicRecords {
  struct Record {
    std::string parent;
    std::string longName;
    std::string codeName;
  };
  std::mutex mutex;
  std::map<std::string, std::map<std::string, Record>> tables;  // table (lower case) -> SelfID
  std::map<std::string, int> lastChild;                         // table + "/" + parent

  std::map<std::string, Record>& Table(const std::string& name) { return tables[Lower(name)]; }

  std::string NewChild(const std::string& table, const std::string& parent) {
    char block[16];
    std::snprintf(block, sizeof block, "%05d", ++lastChild[Lower(table) + "/" + parent]);
    return (parent == kRoot ? std::string() : parent) + block;
  }

  static constexpr const char* kRoot = "00000";
};

// Where a writer finds its record: the table (a parameter, or fixed for the
// flat kinds), the parameter naming the parent when creating and the record
// itself when updating, and the output that returns the identifier.
struct WriterShape {
  const char* tableParam;  // nullptr: fixedTable
  const char* fixedTable;
  const char* modeParam;
  const char* anchorParam;
  const char* outputParam;
};

// "I" creates a record under the anchor (the root or an existing record) and
// returns its identifier; a code already used in the table is refused.
// "U" renames the record the anchor names and returns its identifier.
Reply WriteBasicRecord(BasicRecords& store, const WriterShape& shape, const ProcedureCall& call) {
  Reply reply;
  const std::string table =
      shape.tableParam != nullptr ? TextOf(call[shape.tableParam]) : shape.fixedTable;
  const std::string mode = TextOf(call[shape.modeParam]);
  const std::string anchor = TextOf(call[shape.anchorParam]);
  std::lock_guard lock(store.mutex);
  std::map<std::string, BasicRecords::Record>& records = store.Table(table);
  if (mode == "I") {
    if (anchor != BasicRecords::kRoot && records.count(anchor) == 0) {
      reply.returnStatus = kNoSuchRecord;
      return reply;
    }
    const std::string code = TextOf(call["@CodeName"]);
    for (const auto& [id, record] : records) {
      if (!code.empty() && record.codeName == code) {
        reply.returnStatus = kDuplicateCode;
        return reply;
      }
    }
    const std::string id = store.NewChild(table, anchor);
    records[id] = {anchor, TextOf(call["@LongName"]), code};
    reply.outputs[shape.outputParam] = id;
  } else if (mode == "U") {
    const auto found = records.find(anchor);
    if (found == records.end()) {
      reply.returnStatus = kNoSuchRecord;
      return reply;
    }
    found->second.longName = TextOf(call["@LongName"]);
    found->second.codeName = TextOf(call["@CodeName"]);
    reply.outputs[shape.outputParam] = anchor;
  } else {
    reply.returnStatus = kUnknownMode;
  }
  return reply;
}

bool Descends(const std::string& id, const std::string& ancestor) {
  return id.size() > ancestor.size() && id.compare(0, ancestor.size(), ancestor) == 0;
}

// Deleting a record takes its subtree with it.
Reply DeleteBasic(BasicRecords& store, const ProcedureCall& call) {
  Reply reply;
  const std::string selfId = TextOf(call["@SelfID"]);
  std::lock_guard lock(store.mutex);
  std::map<std::string, BasicRecords::Record>& records = store.Table(TextOf(call["@dbName"]));
  if (records.erase(selfId) == 0) {
    reply.returnStatus = kNoSuchRecord;
    return reply;
  }
  std::erase_if(records, [&](const auto& entry) { return Descends(entry.first, selfId); });
  return reply;
}

// Merging two records keeps the destination; the source is gone afterwards.
Reply UniteBasic(BasicRecords& store, const ProcedureCall& call) {
  Reply reply;
  const std::string source = TextOf(call["@SourceID"]);
  const std::string dest = TextOf(call["@DestID"]);
  std::lock_guard lock(store.mutex);
  std::map<std::string, BasicRecords::Record>& records = store.Table(TextOf(call["@dbName"]));
  if (source == dest || records.count(source) == 0 || records.count(dest) == 0) {
    reply.returnStatus = kNoSuchRecord;
    return reply;
  }
  records.erase(source);
  return reply;
}

// The children of a node, in identifier order.
Reply BasicTree(BasicRecords& store, const ProcedureCall& call) {
  Reply reply;
  ResultSet rows;
  rows.columns = {Col("SelfID", SqlType::VarChar, 25), Col("LongName", SqlType::NVarChar, 66),
                  Col("CodeName", SqlType::VarChar, 26)};
  const std::string parent = TextOf(call["@ParentID"]);
  std::lock_guard lock(store.mutex);
  for (const auto& [id, record] : store.Table(TextOf(call["@dbName"]))) {
    if (record.parent == parent) rows.rows.push_back({id, record.longName, record.codeName});
  }
  reply.resultSets.push_back(rows);
  return reply;
}

// 1 when the record exists and the operator may use it in mode @CanMode (0 to 3).
Reply CheckBasicRight(BasicRecords& store, const ProcedureCall& call) {
  Reply reply;
  const std::int64_t canMode = call["@CanMode"].AsInt();
  std::lock_guard lock(store.mutex);
  const auto& records = store.Table(TextOf(call["@TableName"]));
  reply.returnStatus = records.count(TextOf(call["@SelfID"])) != 0 && canMode >= 0 && canMode <= 3;
  return reply;
}

// Prices belong to an existing goods record.
Reply WarePrices(BasicRecords& store, const ProcedureCall& call) {
  Reply reply;
  std::lock_guard lock(store.mutex);
  if (store.Table("AAAAAFT").count(TextOf(call["@WareID"])) == 0) {
    reply.returnStatus = kNoSuchRecord;
  }
  return reply;
}

// One goods record with its stock on hand (the account set keeps none: "0").
Reply OneWareFind(BasicRecords& store, const ProcedureCall& call) {
  Reply reply;
  ResultSet ware;
  ware.columns = {Col("SelfID", SqlType::VarChar, 25), Col("LongName", SqlType::NVarChar, 66)};
  const std::string wareId = TextOf(call["@WareID"]);
  std::lock_guard lock(store.mutex);
  const auto& goods = store.Table("AAAAAFT");
  const auto found = goods.find(wareId);
  if (found == goods.end()) {
    reply.returnStatus = kNoSuchRecord;
  } else {
    ware.rows.push_back({wareId, found->second.longName});
    reply.outputs["@StockCount"] = "0";
  }
  reply.resultSets.push_back(ware);
  return reply;
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

namespace {

// The writers' own parameters after @OperatorID and @CompanyID, by type.
std::vector<ParamDecl> ClientParams() {
  std::vector<ParamDecl> p = OperatorCompany();
  Add(p, SqlType::Char, 1, {"@Mode"});
  Add(p, SqlType::VarChar, 25,
      {"@ParentID", "@StockID", "@AreaID", "@ServiceID", "@PositionID", "@EmployeeID",
       "@FromCorpID"});
  Add(p, SqlType::VarChar, 50, {"@dbName"});
  Add(p, SqlType::NVarChar, 66, {"@LongName", "@ShortName", "@Linkman"});
  Add(p, SqlType::VarChar, 26, {"@CodeName"});
  Add(p, SqlType::VarChar, 50,
      {"@Telephone", "@MovePhone", "@Postalcode", "@TaxNumber", "@Account", "@QQNumber", "@EMail",
       "@HTTP", "@FaxesNum", "@IdentityNumber", "@Bopomofo"});
  Add(p, SqlType::NVarChar, 250, {"@Address", "@Memo", "@SaleScope"});
  Add(p, SqlType::Money, 0,
      {"@InitReceiveSumTo", "@InitpayableSumTo", "@InitPreReceiveSumTo", "@InitPrepayableSumTo",
       "@CREdit"});
  Add(p, SqlType::Float, 0, {"@ChangeRate"});
  Add(p, SqlType::Int, 0,
      {"@IsClient", "@CurrRow", "@ReceiveTimeLimit", "@ChangeDay", "@ApplyPriceMode",
       "@LevyDeductMode", "@SelBalanceMode", "@FirstCheck", "@ManageTypes"});
  p.push_back(Output(Param("@NewSelfID", SqlType::VarChar, 25)));
  return p;
}

std::vector<ParamDecl> WareParams() {
  std::vector<ParamDecl> p = OperatorCompany();
  Add(p, SqlType::Char, 1, {"@Mode"});
  Add(p, SqlType::VarChar, 25,
      {"@ParentID", "@UnitID", "@ColorGroupID", "@SizeGroupID", "@ClientID", "@PositionID"});
  Add(p, SqlType::VarChar, 50, {"@dbName", "@Barcode", "@TrueCode", "@Bopomofo"});
  Add(p, SqlType::NVarChar, 66,
      {"@LongName", "@ShortName", "@Standard", "@WareType", "@EnglishName", "@CarType",
       "@ProducingArea", "@Manufacture"});
  Add(p, SqlType::VarChar, 26, {"@CodeName"});
  Add(p, SqlType::NVarChar, 250, {"@Memo"});
  Add(p, SqlType::Float, 0,
      {"@UnitRate1", "@BuyDiscount", "@SaleDiscount", "@ReferQtyRate", "@DeductRate"});
  Add(p, SqlType::Int, 0,
      {"@UsefulLifeMonth", "@UsefulLifeDay", "@AdjacentLifeDay", "@CostingMode", "@CurrRow",
       "@InputQtyMode", "@BarCodeMode"});
  Add(p, SqlType::Bit, 0,
      {"@StrictSerial", "@StrictReferQty", "@SpecialPrice", "@isWeighWare", "@isCyWare",
       "@IsNotOnSale"});
  Add(p, SqlType::Image, 0, {"@UserImage"});
  p.push_back(Output(Param("@NewSelfID", SqlType::VarChar, 25)));
  return p;
}

std::vector<ParamDecl> AccountParams() {
  std::vector<ParamDecl> p = OperatorCompany();
  Add(p, SqlType::Char, 1, {"@Mode"});
  Add(p, SqlType::VarChar, 25, {"@ParentID"});
  Add(p, SqlType::VarChar, 50, {"@dbName", "@Bopomofo", "@BakTemp2", "@BakTemp3"});
  Add(p, SqlType::NVarChar, 66, {"@LongName", "@ShortName"});
  Add(p, SqlType::VarChar, 26, {"@CodeName"});
  Add(p, SqlType::NVarChar, 250, {"@Memo"});
  Add(p, SqlType::Money, 0, {"@SumTo00"});
  Add(p, SqlType::Int, 0, {"@ForRetail", "@CurrRow"});
  p.push_back(Output(Param("@NewSelfID", SqlType::VarChar, 25)));
  return p;
}

std::vector<ParamDecl> StockParams() {
  std::vector<ParamDecl> p = OperatorCompany();
  Add(p, SqlType::Char, 1, {"@Mode"});
  Add(p, SqlType::VarChar, 25, {"@ParentID", "@BranchID"});
  Add(p, SqlType::VarChar, 50, {"@dbName", "@Bopomofo", "@LicenceNumber"});
  Add(p, SqlType::NVarChar, 66, {"@LongName", "@ShortName", "@LocationArea"});
  Add(p, SqlType::VarChar, 26, {"@CodeName"});
  Add(p, SqlType::NVarChar, 250, {"@Memo"});
  Add(p, SqlType::Int, 0, {"@StockType", "@ForRetail", "@CurrRow"});
  p.push_back(Output(Param("@NewSelfID", SqlType::VarChar, 25)));
  return p;
}

std::vector<ParamDecl> PersonParams() {
  std::vector<ParamDecl> p = OperatorCompany();
  Add(p, SqlType::Char, 1, {"@Mode"});
  Add(p, SqlType::VarChar, 25, {"@ParentID", "@CompanyID2", "@ClientID", "@BranchID"});
  Add(p, SqlType::VarChar, 50,
      {"@dbName", "@Telephone", "@MovePhone", "@QQNumber", "@EMail", "@Bopomofo", "@WageAccount",
       "@IdentityNumber", "@PQualifyNum"});
  Add(p, SqlType::NVarChar, 66,
      {"@LongName", "@Learning", "@JobTitle", "@PQualifyType", "@PQualifyIssue", "@PQualifyAttach",
       "@PAppraisalCorp"});
  Add(p, SqlType::VarChar, 26, {"@CodeName"});
  Add(p, SqlType::NVarChar, 250, {"@Address", "@Memo"});
  Add(p, SqlType::DateTime, 0, {"@szBirthday", "@WorkDate", "@PQualifyDate"});
  Add(p, SqlType::Money, 0, {"@BasicWage", "@SaleBounty"});
  Add(p, SqlType::Int, 0, {"@Sex", "@RetailPriceMode", "@SalePriceMode", "@CurrRow"});
  Add(p, SqlType::Bit, 0, {"@Abdicate", "@IsManagerMan", "@IsJobPermit", "@IsImpleDoctor"});
  Add(p, SqlType::Image, 0, {"@UserImage", "@FingerMark"});
  p.push_back(Output(Param("@NewSelfID", SqlType::VarChar, 25)));
  return p;
}

// Units and colour groups: flat kinds named by @SelfID.
std::vector<ParamDecl> FlatParams(const char* mode, const char* output) {
  std::vector<ParamDecl> p = OperatorCompany();
  Add(p, SqlType::Char, 1, {mode});
  Add(p, SqlType::VarChar, 25, {"@SelfID"});
  Add(p, SqlType::NVarChar, 66, {"@LongName"});
  Add(p, SqlType::VarChar, 26, {"@CodeName"});
  Add(p, SqlType::NVarChar, 250, {"@Memo"});
  Add(p, SqlType::VarChar, 50, {"@Bopomofo"});
  Add(p, SqlType::Int, 0, {"@CurrRow"});
  p.push_back(Output(Param(output, SqlType::VarChar, 25)));
  return p;
}

std::vector<ParamDecl> WarePriceParams() {
  std::vector<ParamDecl> p = OperatorCompany();
  Add(p, SqlType::VarChar, 25, {"@WareID"});
  Add(p, SqlType::Int, 0, {"@UnitRowNumber"});
  Add(p, SqlType::Money, 0,
      {"@PriceRetail",   "@PrepPrice1",  "@PrepPrice2",   "@PrepPrice3",   "@PrepPrice4",
       "@PrepPrice5",    "@PrepPrice6",  "@InLimitPrice", "@MinPrice",     "@ShopPrice",
       "@AllotPrice",    "@IntoPrice",   "@IntoPrice1",   "@IntoPrice2",   "@IntoPrice3",
       "@StandardPrice", "@SaleBounty",  "@MemberPrice1", "@MemberPrice2", "@MemberPrice3",
       "@MemberPrice4",  "@MemberPrice5"});
  for (const char* price : {"prepPrice1", "PrepPrice2", "PrepPrice3", "PriceRetail", "minPrice",
                            "ShopPrice", "AllotPrice", "MemberPrice1", "MemberPrice2",
                            "MemberPrice3", "MemberPrice4", "MemberPrice5"}) {
    p.push_back(Param(std::string("@") + price + "Formula", SqlType::NVarChar, 100));
    p.push_back(Param(std::string("@") + price + "Symbol", SqlType::VarChar, 10));
    p.push_back(Param(std::string("@") + price + "Add", SqlType::Float));
  }
  Add(p, SqlType::VarChar, 255, {"@AppImgUrl"});
  return p;
}

}  // namespace

void DeclareBasicInformationProcedures(AccountSet& accountSet) {
  auto records = std::make_shared<BasicRecords>();
  const auto writer = [records](WriterShape shape) {
    return [records, shape](const ProcedureCall& call) {
      return WriteBasicRecord(*records, shape, call);
    };
  };
  const WriterShape tree{"@dbName", nullptr, "@Mode", "@ParentID", "@NewSelfID"};
  accountSet.Declare({"AAAAASA", ClientParams()}, writer(tree));
  accountSet.Declare({"AAAAATP", WareParams()}, writer(tree));
  accountSet.Declare({"AAAAARL", AccountParams()}, writer(tree));
  accountSet.Declare({"AAAAATH", StockParams()}, writer(tree));
  accountSet.Declare({"AAAAAST", PersonParams()}, writer(tree));
  accountSet.Declare({"AAAAATN", FlatParams("@MODE", "@NewSelfID")},
                     writer({nullptr, "AAAAAFN", "@MODE", "@SelfID", "@NewSelfID"}));
  accountSet.Declare({"AAAAASB", FlatParams("@Mode", "@OutGroupID")},
                     writer({nullptr, "AAAAACB", "@Mode", "@SelfID", "@OutGroupID"}));
  accountSet.Declare({"AAAABCT", WarePriceParams()},
                     [records](const ProcedureCall& call) { return WarePrices(*records, call); });
  accountSet.Declare({"AAAAAPE", With(OperatorCompany(), {Param("@SelfID", SqlType::VarChar, 25),
                                                          Param("@dbName", SqlType::VarChar, 50)})},
                     [records](const ProcedureCall& call) { return DeleteBasic(*records, call); });
  accountSet.Declare({"AAAABAS", With(OperatorCompany(), {Param("@SourceID", SqlType::VarChar, 25),
                                                          Param("@DestID", SqlType::VarChar, 25),
                                                          Param("@dbName", SqlType::VarChar, 50)})},
                     [records](const ProcedureCall& call) { return UniteBasic(*records, call); });
  accountSet.Declare({"AAAAAUY", With(OperatorCompany(), {Param("@ParentID", SqlType::VarChar, 25),
                                                          Param("@dbName", SqlType::VarChar, 50)})},
                     [records](const ProcedureCall& call) { return BasicTree(*records, call); });
  accountSet.Declare(
      {"AAAAAQI", With(OperatorCompany(),
                       {Param("@TableName", SqlType::VarChar, 50),
                        Param("@SelfID", SqlType::VarChar, 25), Param("@CanMode", SqlType::Int)})},
      [records](const ProcedureCall& call) { return CheckBasicRight(*records, call); });
  accountSet.Declare(
      {"AAAAAXL", With(OperatorCompany(), {Param("@WareID", SqlType::VarChar, 25),
                                           Output(Param("@StockCount", SqlType::VarChar, 20))})},
      [records](const ProcedureCall& call) { return OneWareFind(*records, call); });

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
