// The basic-data half of the download: each cloud row without a local
// identifier becomes a local record, and the cloud row is told the record's
// identifier.
#include <exception>
#include <functional>

#include "platform/sql/Transaction.h"
#include "remote/methods/MethodCatalogue.h"
#include "sync/CloudRowMembers.h"
#include "sync/DownloadPass.h"
#include "sync/PinyinInitials.h"

namespace quor::sync {
namespace {

using com::Variant;
using Row = nlohmann::json;

// The width of the user code column of customers and storehouses.
constexpr std::size_t kUserCodeBytes = 26;

// How one kind of cloud row becomes a local record.
struct BasicKind {
  const char* cloudTable;
  const char* writer;
  std::function<remote::RecordValues(const Row&)> values;
  // Local work that belongs with the new record (same transaction); runs
  // only when the writer stored it.
  std::function<void(DownloadPass&, const Row&, const std::string& newId)> alongside;
  // Cloud calls besides the back-link that the new record needs.
  std::function<bool(DownloadPass&, const Row&, const std::string& newId)> extraLinks;
};

std::vector<const Row*> FetchedCloudRows(DownloadPass& pass, const CloudReply& reply,
                                         const std::string& table) {
  if (!pass.Succeeded(reply, "fetching " + table)) return {};
  if (!reply.json || !reply.json->is_array()) {
    pass.Log(table + (reply.json ? ": the reply is no list of rows" : ": the reply is no JSON") +
             "; nothing stored");
    return {};
  }
  std::size_t skipped = 0;
  std::vector<const Row*> rows = ReplyRows(reply.json ? &*reply.json : nullptr, skipped);
  if (skipped != 0) pass.Log(table + ": " + std::to_string(skipped) + " elements were no rows");
  return rows;
}

bool BackLinkRecord(DownloadPass& pass, const std::string& table, const std::string& cloudId,
                    const std::string& localId) {
  return pass.Succeeded(pass.Client().SetCloudColumn(table, "SelfID", localId, "ID", cloudId),
                        table + " row " + cloudId + ": back-link to " + localId);
}

// Links the cloud row to `localId`; a link that fails is remembered so the
// next pass finishes it instead of creating the record again.
void LinkDownloadedRecord(DownloadPass& pass, const BasicKind& kind, const Row& row,
                          const std::string& cloudId, const std::string& localId) {
  bool linked = BackLinkRecord(pass, kind.cloudTable, cloudId, localId);
  if (linked && kind.extraLinks) linked = kind.extraLinks(pass, row, localId);
  if (linked) {
    pass.Links().Forget(pass.Scope(), kind.cloudTable, cloudId);
  } else {
    pass.Links().Remember(pass.Scope(), kind.cloudTable, cloudId, localId);
  }
}

void DownloadBasicRow(DownloadPass& pass, const BasicKind& kind, const Row& row) {
  const std::string cloudId = RowText(row, "id");
  if (cloudId.empty()) {
    // Without its id the row could never be linked, and would come again as
    // new at every pass.
    pass.Log(std::string(kind.cloudTable) + ": a row without \"id\" was left alone");
    return;
  }
  if (const auto pending = pass.Links().Find(pass.Scope(), kind.cloudTable, cloudId)) {
    LinkDownloadedRecord(pass, kind, row, cloudId, *pending);
    return;
  }
  std::string newId;
  {
    sql::Transaction transaction(pass.AccountSet());
    const remote::WriteResult result = pass.WriteRecord(kind.writer, kind.values(row));
    newId =
        result.newId.IsEmpty() || result.newId.IsNull() ? std::string() : result.newId.ToString();
    if (result.nRet < 0 || newId.empty()) {
      pass.Log(std::string(kind.cloudTable) + " row " + cloudId + ": " + kind.writer +
               " refused it (" + std::to_string(result.nRet) + ")");
      return;
    }
    if (kind.alongside) kind.alongside(pass, row, newId);
    transaction.Commit();
  }
  LinkDownloadedRecord(pass, kind, row, cloudId, newId);
}

void DownloadBasicKind(DownloadPass& pass, const BasicKind& kind, const CloudReply& reply) {
  for (const Row* row : FetchedCloudRows(pass, reply, kind.cloudTable)) {
    try {
      DownloadBasicRow(pass, kind, *row);
    } catch (const std::exception& error) {
      pass.Log(std::string(kind.cloudTable) + " row " + RowText(*row, "id") + ": " + error.what());
    }
  }
}

void DownloadBasicKind(DownloadPass& pass, const BasicKind& kind) {
  DownloadBasicKind(pass, kind, pass.Client().FetchUnlinkedRows(kind.cloudTable));
}

// Customers and suppliers share their writer and most of their values.
remote::RecordValues PartnerValues(const Row& row, const char* name, const char* person,
                                   const char* initials, const char* fax, int isClient) {
  const std::string fullName = RowText(row, name);
  return {{"Vocation", "Phone"},
          {"lMode", Variant::I4(0)},
          {"ParId", "00000"},
          {"dbName", "AAAAABY"},
          {"Fullname", fullName},
          {"szName", fullName},
          {"UserCode", CutToCp936Bytes(fullName, kUserCodeBytes)},
          {"Telephone", RowText(row, "phone")},
          {"MovePhone", RowText(row, "cellphone")},
          {"Address", RowText(row, "address")},
          {"Person", RowText(row, person)},
          {"EMail", RowText(row, "email")},
          {"Comment", RowText(row, "remark")},
          {"namepy", RowText(row, initials)},
          {"IsClient", Variant::I4(isClient)},
          {"FaxNum", RowText(row, fax)},
          {"ManageTypes", Variant::I4(-1)},
          {"CurrRow", Variant::I4(0)}};
}

// Colour and size records and their groups take the same values.
remote::RecordValues PaletteValues(const Row& row) {
  const std::string name = RowText(row, "name");
  return {{"lMode", Variant::I4(0)},  {"typeid", "00000"}, {"Fullname", name},
          {"UserCode", name},         {"Comment", ""},     {"namepy", PinyinInitials(name)},
          {"CurrRow", Variant::I4(1)}};
}

// A colour or size belongs to its group through a row of AAAAACA or AAAAAEA.
auto GroupMembership(const char* insertText) {
  return [insertText](DownloadPass& pass, const Row& row, const std::string& newId) {
    const std::string groupId = RowText(row, "GroupID");
    // A colour of no group would be filed under the empty group.
    if (groupId.empty()) return;
    pass.Execute(insertText,
                 {{"GroupID", sql::Value::Text(groupId)}, {"MemberID", sql::Value::Text(newId)}});
  };
}

// The colours (sizes) of a downloaded group learn the group's local identifier.
auto GroupMembersLearn(const char* memberTable, const char* groupColumn) {
  return [memberTable, groupColumn](DownloadPass& pass, const Row& row, const std::string& newId) {
    const std::string cloudId = RowText(row, "id");
    return pass.Succeeded(
        pass.Client().SetCloudColumn(memberTable, "GroupID", newId, groupColumn, cloudId),
        std::string(memberTable) + " of group " + cloudId + ": group link to " + newId);
  };
}

const std::vector<BasicKind>& PaletteKinds() {
  static const std::vector<BasicKind> kinds = {
      {"tb_color_group", "InsertColorGroupInfo", PaletteValues, nullptr,
       GroupMembersLearn("tb_color_info", "color_group_id")},
      {"tb_size_group", "InsertSizeGroupInfo", PaletteValues, nullptr,
       GroupMembersLearn("tb_size_info", "size_group_id")},
      {"tb_color_info", "InsertColorInfo", PaletteValues,
       GroupMembership("INSERT INTO AAAAACA (GroupID, ColorID) VALUES (:GroupID, :MemberID)"),
       nullptr},
      {"tb_size_info", "InsertSizeInfo", PaletteValues,
       GroupMembership("INSERT INTO AAAAAEA (GroupID, SizeID) VALUES (:GroupID, :MemberID)"),
       nullptr},
  };
  return kinds;
}

const std::vector<BasicKind>& RecordKinds() {
  static const std::vector<BasicKind> kinds = {
      {"tb_unit_info", "InsertUnitInfo",
       [](const Row& row) -> remote::RecordValues {
         const std::string name = RowText(row, "name");
         return {
             {"Mode", Variant::I4(0)},   {"SelfID", "00000"}, {"LongName", name},
             {"CodeName", ""},           {"Memo", ""},        {"Bopomofo", PinyinInitials(name)},
             {"CurrRow", Variant::I4(1)}};
       },
       nullptr, nullptr},
      {"tb_user_info", "InsertPersonInfo",
       [](const Row& row) -> remote::RecordValues {
         const std::string name = RowText(row, "real_name");
         return {{"Vocation", "Phone"},
                 {"lMode", Variant::I4(0)},
                 {"ParId", "00000"},
                 {"dbName", "AAAAADG"},
                 {"Fullname", name},
                 {"UserCode", RowText(row, "user_name")},
                 {"MovePhone", RowText(row, "cellphone")},
                 {"EMail", RowText(row, "email")},
                 {"Comment", RowText(row, "remark")},
                 {"namepy", PinyinInitials(name)},
                 {"CurrRow", Variant::I4(0)}};
       },
       nullptr, nullptr},
      {"tb_customer_info", "InsertClientInfo",
       [](const Row& row) {
         return PartnerValues(row, "client_name", "contacts", "client_name_py", "fax", 1);
       },
       nullptr, nullptr},
      {"tb_supplier_info", "InsertClientInfo",
       [](const Row& row) {
         return PartnerValues(row, "supplier_name", "Handler", "supplier_name_py", "Fax", 2);
       },
       nullptr, nullptr},
      {"tb_storehouse_info", "InsertStockInfo",
       [](const Row& row) -> remote::RecordValues {
         const std::string name = RowText(row, "storehouse_name");
         return {{"Vocation", "Phone"},
                 {"lMode", Variant::I4(0)},
                 {"ParId", "00000"},
                 {"dbName", "AAAAAEO"},
                 {"Fullname", name},
                 {"szName", name},
                 {"UserCode", CutToCp936Bytes(name, kUserCodeBytes)},
                 {"StockType", Variant::I4(1)},
                 {"Comment", RowText(row, "remark")},
                 {"Bopomofo", PinyinInitials(name)},
                 {"BranchID", RowText(row, "BranchID")},
                 {"ForRetail", Variant::I4(0)},
                 {"CurrRow", Variant::I4(0)}};
       },
       nullptr, nullptr},
  };
  return kinds;
}

// The arguments of UpdateWareInfoAppend that a downloaded ware sets; every
// other price, formula, symbol and add-on goes as 0.
remote::RecordValues WarePriceValues(const Row& row, const std::string& wareId) {
  remote::RecordValues values = {{"WareID", wareId},
                                 {"UnitRowNumber", Variant::I4(0)},
                                 {"PriceRetail", Variant::R8(RowNumber(row, "retail_price_area"))},
                                 {"PrepPrice1", Variant::R8(RowNumber(row, "trade_price"))},
                                 {"IntoPrice", Variant::R8(RowNumber(row, "factory_price"))},
                                 {"AppImgUrl", RowText(row, "imagine")}};
  for (const remote::MethodDescription& method : remote::BasicInformationMethods()) {
    if (method.name != "UpdateWareInfoAppend") continue;
    for (const remote::Argument& argument : method.arguments) {
      if (argument.direction != remote::ArgDirection::kIn) continue;
      const std::string name(argument.name);
      if (name == "OperatorID" || name == "CompanyID") continue;
      bool given = false;
      for (const auto& [set, value] : values) given = given || set == name;
      if (!given) values.emplace_back(name, Variant::I4(0));
    }
  }
  return values;
}

// A ware and its prices are one record: both are stored or neither.
BasicKind GoodsKind() {
  BasicKind kind{"tb_goods_info", "InsertWareInfo", nullptr, nullptr, nullptr};
  return kind;
}

void DownloadWare(DownloadPass& pass, const Row& row) {
  static const BasicKind kind = GoodsKind();
  const std::string cloudId = RowText(row, "id");
  if (cloudId.empty()) {
    pass.Log("tb_goods_info: a row without \"id\" was left alone");
    return;
  }
  if (const auto pending = pass.Links().Find(pass.Scope(), kind.cloudTable, cloudId)) {
    LinkDownloadedRecord(pass, kind, row, cloudId, *pending);
    return;
  }
  const std::string unit = RowText(row, "unit");
  const std::string unitId =
      unit.empty() ? std::string()
                   : pass.QueryText("Select SelfID From AAAAAFN where [LongName]= :LongName",
                                    {{"LongName", sql::Value::Text(unit)}});
  const std::string name = RowText(row, "name");
  std::string wareId;
  {
    sql::Transaction transaction(pass.AccountSet());
    const remote::WriteResult ware =
        pass.WriteRecord("InsertWareInfo", {{"Vocation", "Phone"},
                                            {"lMode", Variant::I4(0)},
                                            {"ParId", "00000"},
                                            {"dbName", "AAAAAFT"},
                                            {"Fullname", name},
                                            {"szName", name},
                                            {"UserCode", RowText(row, "goods_sn")},
                                            {"Standard", RowText(row, "Standard")},
                                            {"szType", RowText(row, "WareType")},
                                            {"UnitID", unitId},
                                            {"UnitRate1", Variant::I4(1)},
                                            {"BuyDiscount", "0"},
                                            {"Comment", ""},
                                            {"namepy", PinyinInitials(name)},
                                            {"Barcode", RowText(row, "bar_code")},
                                            {"CurrRow", Variant::I4(0)},
                                            {"ColorGroupID", RowText(row, "ColorGroupID")},
                                            {"SizeGroupID", RowText(row, "SizeGroupID")}});
    wareId = ware.newId.IsEmpty() || ware.newId.IsNull() ? std::string() : ware.newId.ToString();
    if (ware.nRet < 0 || wareId.empty()) {
      pass.Log("tb_goods_info row " + cloudId + ": InsertWareInfo refused it (" +
               std::to_string(ware.nRet) + ")");
      return;
    }
    const remote::WriteResult prices =
        pass.WriteRecord("UpdateWareInfoAppend", WarePriceValues(row, wareId));
    if (prices.nRet < 0) {
      // Rolled back with the ware, so the next pass stores both afresh.
      pass.Log("tb_goods_info row " + cloudId + ": UpdateWareInfoAppend refused it (" +
               std::to_string(prices.nRet) + ")");
      return;
    }
    transaction.Commit();
  }
  LinkDownloadedRecord(pass, kind, row, cloudId, wareId);
}

// A goods image replaces the image of that name and becomes the ware's app
// image. Rows of wares not yet in the account set wait for them.
void DownloadImage(DownloadPass& pass, const Row& row) {
  const std::string cloudId = RowText(row, "id");
  const std::string wareId = RowText(row, "WareID");
  if (cloudId.empty() || wareId.empty()) {
    pass.Log("tb_goods_img row " + cloudId + ": its ware has no local record yet");
    return;
  }
  const std::string name = RowText(row, "name");
  {
    sql::Transaction transaction(pass.AccountSet());
    pass.Execute("Update AAAAAFT Set AppImgUrl=:AppImgUrl Where SelfID=:WareID",
                 {{"AppImgUrl", sql::Value::Text(RowText(row, "imagine"))},
                  {"WareID", sql::Value::Text(wareId)}});
    pass.Execute("Delete from AAAACGY where WareID=:WareID AND ImgName=:ImgName",
                 {{"WareID", sql::Value::Text(wareId)}, {"ImgName", sql::Value::Text(name)}});
    pass.Execute(
        "INSERT INTO AAAACGY (WareID, Type, ImgName, ImgUrl, State)VALUES (:WareID, :Type, "
        ":ImgName, :ImgUrl, :State)",
        {{"WareID", sql::Value::Text(wareId)},
         {"Type", sql::Value::Integer(RowInteger(row, "type"))},
         {"ImgName", sql::Value::Text(name)},
         {"ImgUrl", sql::Value::Text(RowText(row, "url"))},
         {"State", sql::Value::Integer(RowInteger(row, "state"))}});
    transaction.Commit();
  }
  // Storing the image again is harmless, so a failed link needs no memory.
  pass.Succeeded(pass.Client().SetCloudColumn("tb_goods_img", "SelfID", wareId, "ID", cloudId),
                 "tb_goods_img row " + cloudId + ": back-link to " + wareId);
}

template <typename Each>
void ForEachCloudRow(DownloadPass& pass, const CloudReply& reply, const std::string& table,
                     Each each) {
  for (const Row* row : FetchedCloudRows(pass, reply, table)) {
    try {
      each(pass, *row);
    } catch (const std::exception& error) {
      pass.Log(table + " row " + RowText(*row, "id") + ": " + error.what());
    }
  }
}

}  // namespace

void DownloadBasicDataIn(DownloadPass& pass) {
  for (const BasicKind& kind : RecordKinds()) DownloadBasicKind(pass, kind);
  for (const BasicKind& kind : PaletteKinds()) DownloadBasicKind(pass, kind);
  pass.Succeeded(pass.Client().NotifyColorSizeDownloaded(), "the colour and size notice");
  ForEachCloudRow(pass, pass.Client().FetchUnlinkedRows("tb_goods_info"), "tb_goods_info",
                  DownloadWare);
  // Unit prices have no local home yet: they are not fetched, and no row is
  // marked with an identifier that is not its own.
  ForEachCloudRow(
      pass,
      pass.Client().FetchJoinedRows("tb_goods_img A LEFT JOIN tb_goods_info B ON A.goods_id=B.id",
                                    "A.*, B.SelfID AS WareID, B.imagine"),
      "tb_goods_img", DownloadImage);
}

bool DownloadBasicData(CloudClient& client, sql::Connection& accountSet,
                       const DownloadContext& context) {
  DownloadPass pass(client, accountSet, context);
  DownloadBasicDataIn(pass);
  return true;
}

}  // namespace quor::sync
