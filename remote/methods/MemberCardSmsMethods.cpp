// Member cards and card types, card balances and points, free-goods
// allowances, incoming calls and the blacklist, system messages, rights
// requests, after-sales service, and the three members that send and read
// text messages through the server's GSM modem. The 34 procedure members are
// rows run by the call pattern; the SMS members reach the modem through the
// gateway the SMS service registers and answer false while it is inactive.
#include "platform/com/Variant.h"
#include "remote/SmsGateway.h"
#include "remote/methods/MethodCatalogue.h"

namespace quor::remote {
namespace {

std::string TextOf(const com::Variant& value) {
  const com::Variant& target = value.Deref();
  return target.IsEmpty() || target.IsNull() ? std::string() : target.ToString();
}

std::shared_ptr<SmsGateway> ActiveGateway() {
  std::shared_ptr<SmsGateway> gateway = RegisteredSmsGateway();
  return gateway && gateway->Active() ? gateway : nullptr;
}

// Lines as clients write them: CR LF, LF or CR ends a line, and a final line
// end adds no empty line.
std::vector<std::string> LinesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::string current;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(current);
      current.clear();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      current.push_back(c);
    }
  }
  if (!current.empty()) lines.push_back(current);
  return lines;
}

com::Variant TelSendSmallMessage(TDataModuleServer&, const MethodDescription&,
                                 com::DispatchArgs& args) {
  const std::shared_ptr<SmsGateway> gateway = ActiveGateway();
  return com::Variant::Bool(gateway && gateway->SendMessage(TextOf(args[0]), TextOf(args[1])));
}

// The listing's reply goes to the client; index 0 is deleted afterwards
// whatever the listing gave.
com::Variant TelReceSmallMessage(TDataModuleServer&, const MethodDescription&,
                                 com::DispatchArgs& args) {
  args[0] = com::Variant(std::string());
  const std::shared_ptr<SmsGateway> gateway = ActiveGateway();
  if (!gateway) return com::Variant::Bool(false);
  std::string reply;
  const bool listed = gateway->ListMessages(4, reply);
  gateway->DeleteMessage(0);
  args[0] = com::Variant(reply);
  return com::Variant::Bool(listed);
}

// One "1" or "0" line per phone line, then one for the batch's end.
com::Variant TelSendBatchMessage(TDataModuleServer&, const MethodDescription&,
                                 com::DispatchArgs& args) {
  args[2] = com::Variant(std::string());
  const std::shared_ptr<SmsGateway> gateway = ActiveGateway();
  if (!gateway) return com::Variant::Bool(false);
  const std::vector<bool> results = gateway->SendBatch(LinesOf(TextOf(args[0])), TextOf(args[1]));
  std::string list;
  for (bool sent : results) list += sent ? "1\r\n" : "0\r\n";
  args[2] = com::Variant(list);
  return com::Variant::Bool(true);
}

}  // namespace

const std::vector<MethodDescription>& MemberCardSmsMethods() {
  static const std::vector<MethodDescription> kMethods = {
      {.name = "TelSendSmallMessage",
       .dispId = 1270,
       .arguments = {In("szPhone"), In("szContent"), RetVal("Value", ArgType::kBoolean)},
       .handler = &TelSendSmallMessage},
      {.name = "TelReceSmallMessage",
       .dispId = 1271,
       .arguments = {Out("szContent"), RetVal("Value", ArgType::kBoolean)},
       .handler = &TelReceSmallMessage},
      {.name = "TelSendBatchMessage",
       .dispId = 1272,
       .arguments = {In("szPhoneList"), In("szContent"), Out("szReturnList"),
                     RetVal("Value", ArgType::kBoolean)},
       .handler = &TelSendBatchMessage},
      {.name = "InsertAutoMemberCard",
       .dispId = 1026,
       .component = Component::kInsertProc,
       .procedure = "AAAAARO;1",
       .arguments = {kOperatorId, kCompanyId, In("Param1").To("@edittype"),
                     In("Param2").To("@Autoid"), In("TypeName").To("@MemberTypeID"),
                     In("Param3").To("@DiscountBegin"), In("Param4").To("@DiscountEnd"),
                     In("Param5").To("@DiscountRate"), In("Param6").To("@Memo"), Ret("Param7")}},
      {.name = "InsertMemberCard",
       .dispId = 1027,
       .component = Component::kInsertProc,
       .procedure = "AAAAASO;1",
       .arguments = {kOperatorId,         kCompanyId,
                     In("EditType"),      In("CardID"),
                     In("CardNo"),        In("HandOutDate"),
                     In("ValidDate"),     In("MemberTypeID"),
                     In("CardState"),     In("HolderName"),
                     In("HolderID"),      In("HolderTEL"),
                     In("HolderBirth"),   In("HolderLunar"),
                     In("IsBirthLunar"),  In("HolderSex"),
                     In("HolderRank"),    In("HolderAdd"),
                     In("Memo"),          In("ClientID"),
                     In("BalanceMoney"),  In("LimitOverdrawMoney"),
                     In("DirectSell"),    In("Password"),
                     In("CheckCode"),     In("PersonID"),
                     In("CardFareSumTo"), In("UserImage"),
                     Ret("iReturn")}},
      {.name = "InsertMemberType",
       .dispId = 1028,
       .component = Component::kInsertProc,
       .procedure = "AAAAASQ;1",
       .arguments = {kOperatorId,
                     kCompanyId,
                     In("EditType"),
                     In("MemberTypeID"),
                     In("MemberTypeName"),
                     In("Discount"),
                     In("AutoDiscount"),
                     In("Memo"),
                     In("Extend"),
                     In("LimitSumTo"),
                     In("LimitCount"),
                     In("LimitPeriodTime"),
                     In("LimitUserBegin"),
                     In("LimitUserEnd"),
                     In("CanIntegral"),
                     In("IsSaveCard"),
                     In("PriceFieldName"),
                     In("DiscountFieldName"),
                     In("UseVipDay"),
                     In("VipDayArrays"),
                     In("VipDayWeeks"),
                     In("VipDayDiscount"),
                     In("VipDayIntegral"),
                     In("BirthDayDiscount"),
                     In("BirthDayIntegral"),
                     In("BirthDayIsVip"),
                     In("BirthMonthIsVip"),
                     In("DaySoleVipDiscount"),
                     In("DaySoleVipIntegral"),
                     In("DaySoleVipPrice"),
                     In("MinRecharge"),
                     In("IsPicture"),
                     In("OssPicUrl"),
                     Ret("iReturn")}},
      {.name = "DeleteMemberCardInfo",
       .dispId = 1058,
       .component = Component::kInsertProc,
       .procedure = "AAAAAPL;1",
       .arguments = {kOperatorId, kCompanyId, In("Param1").To("@cMode"),
                     In("Param2").To("@lCardID"), Ret("Param3")}},
      {.name = "QueryMemberCard",
       .dispId = 1196,
       .component = Component::kBasicProc,
       .procedure = "AAAAAWX;1",
       .arguments = {kOperatorId, kCompanyId, In("cMode"), In("BirthDay"), Ret("iReturn")}},
      {.name = "InsertMemberCardLog",
       .dispId = 1326,
       .component = Component::kQueryProc,
       .procedure = "AAAAASP;1",
       .arguments = {kOperatorId, kCompanyId, In("PersonID"), In("IndexID"), In("CardID"),
                     In("ClientID"), In("ConsumeTypeID"), In("ConsumeType"), In("Summary"),
                     In("BillID"), In("BillType"), In("LeftMoney"), In("LargessSumTo"),
                     In("ChangeMoney"), In("LastMoney"), In("DateTime"), Ret("nRet")}},
      {.name = "QueryMemberCardLog",
       .dispId = 1347,
       .component = Component::kQueryProc,
       .procedure = "AAAAAWY;1",
       .arguments = {kOperatorId, kCompanyId, In("cMode"), In("CardNo"), In("Begindate"),
                     In("Enddate"), Ret("nRet")}},
      {.name = "UpdateCardData",
       .dispId = 1346,
       .component = Component::kInsertProc,
       .procedure = "AAAABBM;1",
       .arguments = {kOperatorId, kCompanyId, In("ShopID"), In("iType").To("@Type"), In("BillType"),
                     In("BillID"), In("CyBillID"), In("CardID"), In("ClientID"), In("AccountID"),
                     In("PersonID"), In("AuditingManID"), In("SumTo"), In("IntegralSumTo"),
                     In("LargessSumTo"), In("SaveSumTo"), In("LastDate"), In("LastRate"),
                     Ret("nRet")}},
      {.name = "GetMemberDiscount",
       .dispId = 1072,
       .component = Component::kQueryProc2,
       .procedure = "AAAAAQS;1",
       .arguments = {kOperatorId, kCompanyId, In("BillSumTo"), In("VipCardID"),
                     Out("VIPDisCount").From("@VIPDisCount"), Ret("iReturn")},
       .constants = {Integer("@VIPDisCount", 0)}},
      {.name = "GetMemberHightLimit",
       .dispId = 1079,
       .component = Component::kInsertProc,
       .procedure = "AAAAAQT;1",
       .arguments = {kOperatorId, kCompanyId,
                     In("Param1").Typed(ArgType::kInteger).To("@VIPCardID"),
                     InOut("Param2", ArgType::kDouble).To("@dSumTo").From("@dLimitSumTo"),
                     Out("Param3", ArgType::kDouble).From("@dSumSumTo"), Ret("Param4")},
       .constants = {Integer("@dLimitSumTo", 0), Integer("@dSumSumTo", 0)}},
      {.name = "GetMemberIntegralSumTo",
       .dispId = 30016,
       .component = Component::kQueryProc,
       .procedure = "AAAACDC;1",
       .arguments = {kOperatorId, kCompanyId, In("CardID"), In("BillType"), In("BillID"),
                     In("szBillID"), In("Abolish"),
                     Out("IntegralSumTo", ArgType::kDouble).From("@IntegralSumTo"), Ret("iReturn")},
       .constants = {Integer("@IntegralSumTo", 0)}},
      {.name = "GetVipDayBirthDayValue",
       .dispId = 30040,
       .component = Component::kQueryProc,
       .procedure = "AAAACEV;1",
       .arguments = {kOperatorId, kCompanyId, In("VipCardID"),
                     Out("OutDiscount").Through("@OutDiscount"),
                     Out("OutIntegral", ArgType::kDouble).Through("@OutIntegral"),
                     Out("OutSoleDiscount").Through("@OutSoleDiscount"),
                     Out("OutSolePrice").Through("@OutSolePrice"), Ret("iReturn")}},
      {.name = "QueryMemberReport",
       .dispId = 1331,
       .component = Component::kBasicProc,
       .procedure = "AAAAAWZ;1",
       .arguments = {kOperatorId, kCompanyId, In("QueryMode"), In("Begindate"), In("Enddate"),
                     Ret("nRet")}},
      {.name = "QueryCardTypeWareGrid",
       .dispId = 3047,
       .component = Component::kQueryProc,
       .procedure = "AAAACFH;1",
       .arguments = {kOperatorId, kCompanyId, In("CardTypeID"), Ret("iReturn")}},
      {.name = "InsertCardTypeWareGrid",
       .dispId = 3048,
       .component = Component::kInsertProc,
       .procedure = "AAAACFI;1",
       .arguments = {kOperatorId, kCompanyId, In("cMode"), In("IndexID"), In("WareID"),
                     In("CardTypeID"), In("FreeType"), In("FreeCount"), In("Memo"), In("OrderNo"),
                     Ret("iReturn")}},
      {.name = "QueryCardFreeWareStat",
       .dispId = 3049,
       .component = Component::kQueryProc,
       .procedure = "AAAACFJ;1",
       .arguments = {kOperatorId, kCompanyId, In("CardNo"), Ret("iReturn")}},
      {.name = "QueryCardFreeWareDetail",
       .dispId = 3050,
       .component = Component::kQueryProc,
       .procedure = "AAAACFK;1",
       .arguments = {kOperatorId, kCompanyId, In("Begindate"), In("Enddate"), In("CardNo"),
                     In("CardTypeID"), Ret("iReturn")}},
      {.name = "InsertCardFreeWareTable",
       .dispId = 3051,
       .component = Component::kInsertProc,
       .procedure = "AAAACFL;1",
       .arguments = {kOperatorId, kCompanyId, In("IndexID"), In("WareID"), In("VipCardID"),
                     In("FreeCount"), Ret("iReturn")}},
      {.name = "UpdateBillToCard",
       .dispId = 3052,
       .component = Component::kInsertProc,
       .procedure = "AAAABBK;1",
       .arguments = {kOperatorId, kCompanyId, In("InBillType"), In("BillID"), Ret("iReturn")}},
      {.name = "InsertInComingTelegramInfo",
       .dispId = 1348,
       .component = Component::kInsertProc,
       .procedure = "AAAAASM;1",
       .arguments = {kOperatorId, kCompanyId, In("cMode"), In("IndexID"), In("DateTimes"),
                     In("Telephone"), In("Line"), In("ClientID"), In("Linkman"), In("Intend"),
                     In("Remark"), In("PersonID"), In("ClientType"), Ret("nRet")}},
      {.name = "QueryIncomingTelegramInfo",
       .dispId = 1349,
       .component = Component::kQueryProc,
       .procedure = "AAAAAWH;1",
       .arguments = {kOperatorId, kCompanyId, In("Begindate"), In("Enddate"), Ret("nRet")}},
      {.name = "QueryIncomingTelegramStat",
       .dispId = 1350,
       .component = Component::kQueryProc,
       .procedure = "AAAAAWI;1",
       .arguments = {kOperatorId, kCompanyId, In("cMode"), In("Begindate"), In("Enddate"),
                     Ret("nRet")}},
      {.name = "IncomingTelegramConfig",
       .dispId = 1351,
       .component = Component::kInsertProc,
       .procedure = "AAAAARI;1",
       .arguments = {kOperatorId, kCompanyId, In("IndexID"), In("IncomingConfigID"),
                     In("AutoRecord"), In("BlacklistConfig").To("@AAAAABR"), In("FilePath"),
                     Ret("nRet")}},
      {.name = "QueryIncomingTelegramConfig",
       .dispId = 1352,
       .component = Component::kQueryProc,
       .procedure = "AAAAAWG;1",
       .arguments = {kOperatorId, kCompanyId, Ret("nRet")}},
      {.name = "QueryBlacklistInfo",
       .dispId = 1353,
       .component = Component::kQueryProc,
       .procedure = "AAAAAVE;1",
       .arguments = {kOperatorId, kCompanyId, Ret("nRet")}},
      {.name = "SaveBlacklist",
       .dispId = 1354,
       .component = Component::kInsertProc,
       .procedure = "AAAABAH;1",
       .arguments = {kOperatorId, kCompanyId, In("IndexID"), In("cMod"), In("ClientType"),
                     In("ClientID"), In("Remark"), Ret("nRet")}},
      {.name = "InsertSystemMessage",
       .dispId = 3061,
       .component = Component::kInsertProc,
       .procedure = "AAAACGG;1",
       .arguments = {kOperatorId,    kCompanyId,    In("SoPersonID"), In("ToPersonID"),
                     In("SendDate"), In("IsRead"),  In("ShopID"),     In("BillID"),
                     In("BillType"), In("Label_1"), In("Label_2"),    In("Label_3"),
                     In("Label_4"),  In("Label_5"), In("TEXT_1"),     In("TEXT_2"),
                     In("TEXT_3"),   In("TEXT_4"),  In("TEXT_5"),     Ret("iReturn")}},
      {.name = "QuerySystemMessage",
       .dispId = 3062,
       .component = Component::kQueryProc,
       .procedure = "AAAACGH;1",
       .arguments = {kOperatorId, kCompanyId, In("ToPersonID"), Ret("iReturn")}},
      {.name = "InsertUserLimitApplyBill",
       .dispId = 3054,
       .component = Component::kInsertProc,
       .procedure = "AAAACFP;1",
       .arguments = {kOperatorId, kCompanyId, In("UpdateMode"), In("IndexID"), In("ApplyDate"),
                     In("ApplyPersonID"), In("ApplyMemo"), In("AuditDate"), In("AuditPersonID"),
                     In("AuditSign"), In("AuditMemo"), In("AuditState"), In("sysid"), In("Limit"),
                     Ret("iReturn")}},
      {.name = "QueryUserLimitApplyBill",
       .dispId = 3055,
       .component = Component::kQueryProc,
       .procedure = "AAAACFQ;1",
       .arguments = {kOperatorId, kCompanyId, In("StartDate"), In("Enddate"), Ret("iReturn")}},
      {.name = "InsertSaleService",
       .dispId = 1280,
       .component = Component::kInsertProc,
       .procedure = "AAAAASY;1",
       .arguments = {kOperatorId,
                     kCompanyId,
                     In("lMode").To("@Mode"),
                     In("lIndexID").To("@IndexID"),
                     In("Number"),
                     In("MachineStatus"),
                     In("SenderID"),
                     In("SenderTel"),
                     In("SendDate"),
                     In("ClientName"),
                     In("ClientTel"),
                     In("BuyDate"),
                     In("WareID"),
                     In("WareType"),
                     In("SerialNo"),
                     In("ServiceType1"),
                     In("ServiceType2"),
                     In("ServiceType3"),
                     In("ServiceType4"),
                     In("TroubleDescribe"),
                     In("ReparieDevice"),
                     In("AddDescribe"),
                     In("OwnerID"),
                     In("OwnerTel"),
                     In("ReceiverID"),
                     In("CheckResult"),
                     In("NewSerialNo"),
                     In("RepaireList"),
                     In("RepairerID"),
                     In("ChangeDevice"),
                     In("RepairDate"),
                     In("MaterialMoney"),
                     In("ManuallyMoney"),
                     In("SumTo"),
                     In("User3ID"),
                     In("Memo1"),
                     In("GetMethod"),
                     In("GetDate"),
                     In("GetRemark"),
                     In("User4ID"),
                     In("Memo2"),
                     In("GetMoney"),
                     Ret("nRet")}},
      {.name = "QueryCallService",
       .dispId = 1281,
       .component = Component::kQueryProc,
       .procedure = "AAAAAVG;1",
       .arguments = {kOperatorId, kCompanyId, In("cMode").To("@QueryMode"), Ret("nRet")}},
      {.name = "DeleteCallService",
       .dispId = 1282,
       .component = Component::kDeleteProc,
       .procedure = "AAAAAPI;1",
       .arguments = {kOperatorId, kCompanyId, In("cMode").To("@QueryMode"), In("IndexID"),
                     Ret("nRet")}},
      {.name = "InsertCRMCallService",
       .dispId = 1283,
       .component = Component::kInsertProc,
       .procedure = "AAAAASG;1",
       .arguments = {kOperatorId,        kCompanyId,         In("cMode").To("@Mode"),
                     In("ServerBillID"), In("IndexID"),      In("CodeName"),
                     In("BegTime"),      In("AnswerTime"),   In("OverTime"),
                     In("ClientID"),     In("WareID"),       In("WareQty"),
                     In("WareDate"),     In("WareSerial"),   In("Trouble"),
                     In("Resolvent"),    In("Opinion"),      In("Approve"),
                     In("Memo"),         In("ServiceRenID"), In("OperationID"),
                     In("QueryMode"),    Ret("nRet")}},
  };
  return kMethods;
}

}  // namespace quor::remote
