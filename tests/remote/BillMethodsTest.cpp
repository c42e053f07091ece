// The bill and stock members that are rows, as clients call them: each member
// once with values of its own in every argument, and on the test account set
// which parameter of which procedure received which value, what came back in
// which out argument, and on which component the member ran. The expectations
// were written from the interface's member data, apart from the rows they
// check.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ModuleFixture.h"
#include "remote/methods/MethodCatalogue.h"

namespace quor::testing {
namespace {

using com::Variant;

struct BillSent {
  const char* parameter;
  const char* source;  // an argument's name, or "=" followed by the constant sent
};

struct BillResult {
  const char* argument;
  const char* from;  // "@RETURN_VALUE" or an output parameter
};

struct BillMemberCase {
  const char* member;
  com::DispId dispId;
  const char* component;
  const char* procedure;
  std::vector<BillSent> sent;
  std::vector<BillResult> results;
};

const std::vector<BillMemberCase>& BillCases() {
  // clang-format off
  static const std::vector<BillMemberCase> kCases = {
      {"InsertBillMasterDraft", 10051, "InsertProc", "AAAABOS;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@Date", "szDate"}, {"@Number", "Number"}, {"@BillType", "BillType"}, {"@Summary", "Summary"}, {"@Memo", "Memo"}, {"@ClientID", "ClientID"}, {"@PersonID", "PersonID"}, {"@Period", "Period"}, {"@AuditingMan", "AuditingMan"}, {"@VipCardID", "VipCardID"}, {"@VIPDiscFlag", "VIPDiscFlag"}, {"@VIPSaveFlag", "VIPSaveFlag"}, {"@VIPDisCount", "VIPDisCount"}, {"@InvoiceType", "InvoiceType"}, {"@InvoiceNo", "InvoiceNo"}, {"@InvoiceDate", "InvoiceDate"}, {"@InvoiceSumTo", "InvoiceSumTo"}, {"@ShopID", "ShopID"}}, {{"nRet", "@RETURN_VALUE"}}},
      {"UpdateMinBillMaster", 1036, "InsertProc", "AAAABBW;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@iBillID", "iBillID"}, {"@PersonID", "PersonID"}, {"@BranchID", "BranchID"}, {"@Number", "Number"}, {"@Summary", "Summary"}, {"@Memo", "Memo"}, {"@InvoiceType", "InvoiceType"}, {"@InvoiceNo", "InvoiceNo"}, {"@InvoiceSumTo", "InvoiceSumTo"}, {"@InvoiceDate", "InvoiceDate"}}, {{"nRet", "@RETURN_VALUE"}}},
      {"UpdateInvoiceSumTo", 1044, "InsertProc", "AAAABBV;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@nBillType", "Param1"}, {"@nBillID", "Param2"}, {"@nBillSerial", "Param3"}, {"@nInvoiceSumTo", "Param4"}, {"@szMemo", "Param5"}, {"@nBillMasterAllInvoiceTag", "Param6"}}, {{"nReturn", "@RETURN_VALUE"}}},
      {"UpdateBillServeInfo", 1258, "InsertProc", "AAAABBI;1", {{"@BillID", "BillID"}, {"@ServeRequire", "ServeRequire"}, {"@ServeMethod", "ServeMethod"}, {"@CustomerIdea", "CustomerIdea"}, {"@ServeMemo", "ServeMemo"}}, {{"iReturn", "@RETURN_VALUE"}}},
      {"InsertBillDetailMemo", 30041, "InsertProc", "AAAACEY;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@BillID", "BillID"}, {"@BillDetailID", "BillDetailID"}, {"@BillType", "BillType"}, {"@MemoField1", "MemoField1"}, {"@MemoField2", "MemoField2"}, {"@MemoField3", "MemoField3"}, {"@MemoField4", "MemoField4"}, {"@MemoField5", "MemoField5"}, {"@MemoField6", "MemoField6"}, {"@MemoField7", "MemoField7"}, {"@MemoField8", "MemoField8"}, {"@MemoField9", "MemoField9"}, {"@MemoField10", "MemoField10"}}, {{"iReturn", "@RETURN_VALUE"}}},
      {"InsertBillMemoTextGrid", 3080, "InsertProc", "AAAACHD;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@cMode", "cMode"}, {"@BillID", "BillID"}, {"@BillType", "BillType"}, {"@Col1", "Col1"}, {"@Col2", "Col2"}, {"@Col3", "Col3"}, {"@Col4", "Col4"}, {"@Col5", "Col5"}, {"@Col6", "Col6"}, {"@Col7", "Col7"}, {"@Col8", "Col8"}, {"@Col9", "Col9"}, {"@Col10", "Col10"}}, {{"iReturn", "@RETURN_VALUE"}}},
      {"InsertBillMasterPicture", 3058, "InsertProc", "AAAACGB;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@BillID", "BillID"}, {"@BillType", "BillType"}, {"@PicCaption1", "PicCaption1"}, {"@PicCaption2", "PicCaption2"}, {"@PicCaption3", "PicCaption3"}, {"@PicCaption4", "PicCaption4"}, {"@PicCaption5", "PicCaption5"}, {"@BillPicture1", "BillPicture1"}, {"@BillPicture2", "BillPicture2"}, {"@BillPicture3", "BillPicture3"}, {"@BillPicture4", "BillPicture4"}, {"@BillPicture5", "BillPicture5"}}, {{"iReturn", "@RETURN_VALUE"}}},
      {"InsertCopyBillToDraft", 1021, "QueryProc", "AAAAASF;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@BillID", "vchcode"}, {"@BillType", "vchtype"}, {"@AuditingMan", "Inputno"}, {"@Number", "szNumber"}}, {{"nRet", "@RETURN_VALUE"}}},
      {"InsertCommitDraft", 1022, "QueryProc", "AAAAASD;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@BillID", "vchcode"}, {"@AuditingMan", "Inputno"}, {"@IsDelete", "IsDelete"}}, {{"nRet", "@RETURN_VALUE"}}},
      {"UpdateBillEstimateToBuy", 1509, "InsertProc", "AAAABBC;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@nDraftBillID", "nDraftBillID"}, {"@nBillID", "nBillID"}, {"@iWriteIntoPrice", "iWriteIntoPrice"}}, {{"nRet", "@RETURN_VALUE"}}},
      {"UpdateBillSerialDraft", 1261, "InsertProc", "AAAABBG;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@BillType", "BillType"}, {"@BillID", "BillID"}, {"@LineNumber", "LineNumber"}, {"@BillDate", "BillDate"}, {"@WareID", "WareID"}, {"@ClientID", "ClientID"}, {"@StockID", "StockID"}, {"@PersonID", "PersonID"}, {"@SerialNo", "SerialNo"}, {"@Memo", "Memo"}}, {{"iReturn", "@RETURN_VALUE"}}},
      {"UpdateBillSerialOrder", 1310, "InsertProc", "AAAABBH;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@BillType", "BillType"}, {"@BillID", "BillID"}, {"@LineNumber", "LineNumber"}, {"@BillDate", "BillDate"}, {"@WareID", "WareID"}, {"@ClientID", "ClientID"}, {"@StockID", "StockID"}, {"@PersonID", "PersonID"}, {"@SerialNo", "SerialNo"}, {"@Memo", "Memo"}}, {{"iReturn", "@RETURN_VALUE"}}},
      {"UpdateRedBillTransfer", 1037, "InsertProc", "AAAABCA;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@nBillID", "Param1"}, {"@szWareIDo", "="}, {"@szClientIDo", "="}, {"@szAccountIDo", "="}, {"@szStockIDo", "="}}, {{"Param2", "@szWareIDo"}, {"Param3", "@szClientIDo"}, {"Param4", "@szAccountIDo"}, {"Param5", "@szStockIDo"}, {"Param6", "@RETURN_VALUE"}}},
      {"CreateRetailBill", 1210, "InsertProc", "AAAAAPD;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@nTAG", "dwTag"}, {"@iWriteIntoPrice", "iWriteIntoPrice"}, {"@szPID", "="}, {"@szBID", "="}, {"@szAID", "="}, {"@szKID", "="}}, {{"PID", "@szPID"}, {"BID", "@szBID"}, {"AID", "@szAID"}, {"KID", "@szKID"}, {"nRet", "@RETURN_VALUE"}}},
      {"UniteBillRetail", 1042, "InsertProc", "AAAABAT;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@szStartDate", "szStartDate"}, {"@szEndDate", "szEndDate"}, {"@DateMode", "DateMode"}, {"@szDate", "szDate"}, {"@StockMode", "StockMode"}, {"@TransMode", "TransMode"}, {"@ByOperator", "ByOperator"}, {"@SaveMode", "SaveMode"}, {"@iWriteIntoPrice", "iWriteIntoPrice"}, {"@OutWareID", "="}, {"@OutClientID", "="}, {"@OutAccountID", "="}, {"@OutStockID", "="}}, {{"OutWareID", "@OutWareID"}, {"OutClientID", "@OutClientID"}, {"OutAccountID", "@OutAccountID"}, {"OutStockID", "@OutStockID"}, {"nRet", "@RETURN_VALUE"}}},
      {"UpdateRestoreBillRetail", 1043, "InsertProc", "AAAABCB;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@szStartDate", "szStartDate"}, {"@szEndDate", "szEndDate"}, {"@dwTag", "dwTag"}, {"@nAction", "nAction"}}, {{"nRet", "@RETURN_VALUE"}}},
      {"UpdateNoFinishBillOrder", 1046, "QueryProc", "AAAABBZ;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@nBillID", "nVchCode"}, {"@nBillType", "nVchType"}}, {{"nRet", "@RETURN_VALUE"}}},
      {"UpdateUserFinishBillOrder", 1047, "QueryProc", "AAAABCS;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@BillID", "vchcode"}, {"@OrderOver", "OrderOver"}, {"@UserOver", "UserOver"}}, {{"nRet", "@RETURN_VALUE"}}},
      {"UpdateFinishBillOrder", 1050, "InsertProc", "AAAABBR;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@BillID", "Param1"}, {"@BillType", "Param2"}}, {{"Param3", "@RETURN_VALUE"}}},
      {"DeleteBillDetail", 1060, "DeleteProc", "AAAAAPF;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@dbname", "Param1"}, {"@BillID", "Param2"}}, {{"Param3", "@RETURN_VALUE"}}},
      {"DeleteBillOrder", 1062, "QueryProc", "AAAAAPH;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@BillID", "Param1"}}, {{"Param2", "@RETURN_VALUE"}}},
      {"DeleteRetailHangBill", 1059, "InsertProc", "AAAAAPM;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@BillID", "Param1"}}, {{"Param2", "@RETURN_VALUE"}}},
      {"DeleteServiceBill", 1260, "InsertProc", "AAAAAPO;1", {{"@BillID", "BillID"}}, {{"iReturn", "@RETURN_VALUE"}}},
      {"InsertMoneyLinkBill", 1019, "InsertProc", "AAAAASS;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@szClientID", "szbtypeid"}, {"@nBillID", "nVchCode"}, {"@nGatheringBillID", "nGatheringVchCode"}, {"@dSumTo", "dtotal"}, {"@nType", "nType"}}, {{"nRet", "@RETURN_VALUE"}}},
      {"InsertMoneyLinkWare", 30018, "InsertProc", "AAAACDO;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@ClientID", "ClientID"}, {"@BillID", "BillID"}, {"@BillDetailID", "BillDetailID"}, {"@BillType", "BillType"}, {"@WareID", "WareID"}, {"@GatheringBillID", "GatheringBillID"}, {"@Quantity", "Quantity"}, {"@dSumTo", "dSumTo"}, {"@nType", "nType"}}, {{"nRet", "@RETURN_VALUE"}}},
      {"InsertAccountBillLink", 1030, "QueryProc2", "AAAAARJ;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@BillID", "vchcode"}, {"@ErrorMsg", "="}}, {{"OutErrorMsg", "@ErrorMsg"}, {"nRet", "@RETURN_VALUE"}}},
      {"BatchInsertAccountBillLink", 1299, "QueryProc2", "AAAAAOU;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@BillType", "BillType"}, {"@Begindate", "Begindate"}, {"@Enddate", "Enddate"}, {"@ErrorMsg", "="}}, {{"ErrorMsg", "@ErrorMsg"}, {"nRet", "@RETURN_VALUE"}}},
      {"InsertServiceRelation", 1259, "InsertProc", "AAAAATA;1", {{"@szMode", "szMode"}, {"@ServiceID", "ServiceID"}, {"@SellID", "SellID"}, {"@ServiceCount", "ServiceCount"}, {"@ServiceDone", "ServiceDone"}}, {{"iReturn", "@RETURN_VALUE"}}},
      {"InsertPriceTracker", 1031, "QueryProc2", "AAAAASV;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@WareID", "WareID"}, {"@ClientID", "ClientID"}, {"@UnitID", "UnitID"}}, {{"nRet", "@RETURN_VALUE"}}},
      {"InsertCurrentAccount", 1015, "InsertProc", "AAAAASI;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@lBillSerial", "lBillSerial"}, {"@lGroupID", "lGroupID"}, {"@sMemo", "sMemo"}, {"@cTableTag", "cTableTag"}}, {{"iReturn", "@RETURN_VALUE"}}},
      {"UpdateCurrentClient", 1041, "InsertProc", "AAAABBO;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@SelfID", "Param1"}, {"@ReceiveLimit", "Param2"}, {"@payableLimit", "Param3"}}, {{"Param4", "@RETURN_VALUE"}}},
      {"QueryBillMaster", 1092, "VchProc", "AAAAAVB;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@BillID", "vchcode"}}, {{"nRet", "@RETURN_VALUE"}}},
      {"QueryBillDetail", 1093, "VchProc", "AAAAAVA;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@dbName", "dbName"}, {"@BillID", "vchcode"}}, {{"nRet", "@RETURN_VALUE"}}},
      {"QueryBillMasterRetail", 1139, "VchProc", "AAAAAVD;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@BillID", "Param1"}}, {{"Param2", "@RETURN_VALUE"}}},
      {"GetLastNextBill", 1075, "QueryProc", "AAAAAQR;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@nBillType", "nVchType"}, {"@nMode", "nMode"}, {"@nBillID", "nVchCode"}, {"@AuditingMan", "AuditingMan"}, {"@nDraft", "nDraft"}, {"@nReturnBillID", "=0"}}, {{"nReturnVchcode", "@nReturnBillID"}, {"nRet", "@RETURN_VALUE"}}},
      {"QueryCopyBillToDraft", 1111, "InsertProc", "AAAAAVO;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@BillID", "Param1"}}, {{"Param2", "@RETURN_VALUE"}}},
      {"QueryBillMasterPicture", 3059, "QueryProc", "AAAACGC;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@BillID", "BillID"}, {"@BillType", "BillType"}}, {{"iReturn", "@RETURN_VALUE"}}},
      {"QueryBillDetailMemo", 30042, "QueryProc", "AAAACEZ;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@BillID", "BillID"}, {"@BillDetailID", "BillDetailID"}, {"@BillType", "BillType"}}, {{"iReturn", "@RETURN_VALUE"}}},
      {"QueryBillMemoTextGrid", 3079, "QueryProc", "AAAACHC;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@BillID", "BillID"}, {"@BillType", "BillType"}}, {{"iReturn", "@RETURN_VALUE"}}},
      {"GetOneMoneyLinkBill", 1069, "QueryProc", "AAAAAQV;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@nGatheringBillID", "nGatheringVchCode"}, {"@IsConveyBill", "IsConveyBill"}}, {{"nRet", "@RETURN_VALUE"}}},
      {"GetOneMoneyLinkWare", 30019, "QueryProc", "AAAACDN;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@TabMode", "TabMode"}, {"@BillType", "BillType"}, {"@ClientID", "ClientID"}, {"@nGatheringBillID", "nGatheringBillID"}, {"@IsPrepare", "IsPrepare"}, {"@StartDate", "StartDate"}, {"@Enddate", "Enddate"}, {"@ShowMode", "ShowMode"}}, {{"nRet", "@RETURN_VALUE"}}},
      {"GetBillNumber", 1084, "QueryProc", "AAAAAQE;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@MachineNum", "MachineNum"}, {"@nWork", "nWork"}, {"@nBillType", "nBillType"}, {"@szDate", "szDate"}, {"@szNumberin", "szNumberin"}, {"@szNumber", "="}}, {{"szNumber", "@szNumber"}}},
      {"CheckBillNumber", 1209, "QueryProc", "AAAAAOY;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@nBillID", "nVchCode"}, {"@szSN", "szSN"}, {"@nTAG", "nTAG"}}, {{"nRet", "@RETURN_VALUE"}}},
      {"UpdateStockBorrowInit", 1038, "InsertProc", "AAAABCG;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@szClientID", "Param1"}, {"@szStockID", "Param2"}, {"@cLendTag", "Param3"}}, {{"Param4", "@RETURN_VALUE"}}},
      {"DeleteStockBorrowInit", 1061, "InsertProc", "AAAAAPQ;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@szClientID", "Param1"}, {"@szWareID", "Param2"}, {"@szStockID", "Param3"}}, {{"Param4", "@RETURN_VALUE"}}},
      {"InsertEntrustDetail", 1020, "QueryProc", "AAAAASJ", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@szClientID", "szbtypeid"}, {"@nSBillID", "nSVchCode"}, {"@nJsBillID", "nJsVchCode"}, {"@dSumTo", "dtotal"}, {"@nDraft", "nDraft"}, {"@nType", "nType"}, {"@tax", "tax"}, {"@taxinsend", "taxinsend"}}, {{"nRet", "@RETURN_VALUE"}}},
      {"UpdateStockSerialTableInit", 1263, "InsertProc", "AAAABCL;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@TableMode", "TableMode"}, {"@szMode", "szMode"}, {"@WareID", "WareID"}, {"@StockID", "StockID"}, {"@ClientID", "ClientID"}, {"@StockType", "StockType"}, {"@IndexID", "IndexID"}, {"@SerialNo", "SerialNo"}, {"@Memo", "Memo"}}, {{"iReturn", "@RETURN_VALUE"}}},
      {"InsertCheckSerialNo", 1264, "InsertProc", "AAAAARZ;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@cMode", "cMode"}, {"@CheckedID", "CheckedID"}, {"@SerialNo", "SerialNo"}, {"@Memo", "Memo"}, {"@Status", "Status"}}, {{"lReturn", "@RETURN_VALUE"}}},
      {"QuerySerialNoQuery", 1262, "QueryProc", "AAAAAYU;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@QType", "QType"}, {"@StockID", "StockID"}, {"@WareID", "WareID"}, {"@ClientID", "ClientID"}, {"@PersonID", "PersonID"}, {"@SerialNo", "SerialNo"}, {"@StartDate", "StartDate"}, {"@Enddate", "Enddate"}, {"@BillType", "BillType"}, {"@BTypeStart", "BTypeStart"}, {"@BTypeRed", "BTypeRed"}, {"@BTypeInput", "BTypeInput"}, {"@BTypeOutput", "BTypeOutput"}, {"@IsUpload", "IsUpload"}}, {{"iReturn", "@RETURN_VALUE"}}},
      {"UpdateCheckCount", 1039, "InsertProc", "AAAABBN;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@szPersonID", "PersonID"}, {"@szStockID", "Param1"}, {"@nUpdateTag", "Param2"}}, {{"Param3", "@RETURN_VALUE"}}},
      {"ImportCheckToWare", 1267, "InsertProc", "AAAAARH;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@StockName", "StockName"}, {"@CodeName", "CodeName"}, {"@Barcode", "Barcode"}, {"@Quantity", "Quantity"}, {"@UpdateTag", "UpdateTag"}}, {{"iReturn", "@RETURN_VALUE"}}},
      {"InsertStockWareInitColorSize", 30008, "InsertProc", "AAAACDD;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@StockMode", "StockMode"}, {"@IndexID", "IndexID"}, {"@ColorID", "ColorID"}, {"@SizeID", "SizeID"}, {"@ColorGroupID", "ColorGroupID"}, {"@SizeGroupID", "SizeGroupID"}, {"@Quantity", "Quantity"}}, {{"iReturn", "@RETURN_VALUE"}}},
      {"InsertBillDetailColorSize", 1504, "InsertProc", "AAAAARP;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@BillID", "BillID"}, {"@DetailID", "DetailID"}, {"@ColorID", "ColorID"}, {"@SizeID", "SizeID"}, {"@ColorGroupID", "ColorGroupID"}, {"@SizeGroupID", "SizeGroupID"}, {"@Quantity", "Quantity"}, {"@BillMode", "BillMode"}}, {{"iReturn", "@RETURN_VALUE"}}},
      {"InsertStockWareBackup", 30009, "InsertProc", "AAAACCS;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@RunType", "RunType"}, {"@Bakdate", "Bakdate"}, {"@StockID", "StockID"}}, {{"iReturn", "@RETURN_VALUE"}}},
      {"InsertStockReplaceInit", 1507, "QueryProc", "AAAAATI;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@szWareID", "szWareID"}, {"@szClientID", "szClientID"}, {"@dQuantity", "dQuantity"}, {"@dReferQuantity", "dReferQuantity"}, {"@szBlockNumber", "szBlockNumber"}, {"@szProduceDate", "szProduceDate"}, {"@szOverdueDate", "OverdueDate"}, {"@szGermNumber", "GermNumber"}, {"@szInspectNO", "InspectNO"}, {"@szReplaceType", "szReplaceType"}}, {{"nRet", "@RETURN_VALUE"}}},
      {"UpdateStockReplaceInit", 1508, "QueryProc", "AAAABCK;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@szClientID", "szClientID"}, {"@cLendTag", "cLendTag"}}, {{"nRet", "@RETURN_VALUE"}}},
      {"DeleteStockReplaceInit", 1506, "QueryProc", "AAAAAPR;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@szClientID", "szClientID"}, {"@szWareID", "szWareID"}, {"@szReplaceID", "szReplaceID"}, {"@szProduceDate", "szProduceDate"}, {"@szOverdueDate", "OverdueDate"}, {"@szGermNumber", "GermNumber"}, {"@szInspectNO", "InspectNO"}, {"@szBlockNumber", "szBlockNumber"}}, {{"nRet", "@RETURN_VALUE"}}},
      {"InsertToolStockMaintain", 1305, "QueryProc", "AAAAATL;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@szWareID", "szWareID"}, {"@szClientID", "szClientID"}, {"@dQuantity", "dQuantity"}, {"@dReferQuantity", "dReferQuantity"}, {"@szBlockNumber", "szBlockNumber"}, {"@szProduceDate", "szProduceDate"}, {"@szOverdueDate", "OverdueDate"}, {"@szGermNumber", "GermNumber"}, {"@szInspectNO", "InspectNO"}, {"@szReplaceType", "szReplaceType"}}, {{"nRet", "@RETURN_VALUE"}}},
      {"InsertToolStockMaintainChange", 1306, "QueryProc", "AAAAATM;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@szChangeType", "szChangeType"}, {"@szDate", "szDate"}, {"@szWareID", "szWareID"}, {"@szPersonID", "szPersonID"}, {"@dQuantity", "dQuantity"}, {"@dReferQuantity", "dReferQuantity"}, {"@szBlockNumber", "szBlockNumber"}, {"@szProduceDate", "szProduceDate"}, {"@szOverdueDate", "OverdueDate"}, {"@szGermNumber", "GermNumber"}, {"@szInspectNO", "InspectNO"}, {"@szMemo", "szMemo"}, {"@szReplaceType", "szReplaceType"}}, {{"nRet", "@RETURN_VALUE"}}},
      {"UpdateToolStockMaintain", 1307, "QueryProc", "AAAABCP;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@szClientID", "szClientID"}, {"@szWareID", "szWareID"}, {"@szReplaceID", "szReplaceID"}, {"@szProduceDate", "szProduceDate"}, {"@szOverdueDate", "OverdueDate"}, {"@szGermNumber", "GermNumber"}, {"@szInspectNO", "InspectNO"}, {"@szBlockNumber", "szBlockNumber"}, {"@dQuantity", "dQuantity"}}, {{"nRet", "@RETURN_VALUE"}}},
      {"DeleteToolStockMaintain", 1304, "QueryProc", "AAAAAPS;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@szClientID", "szClientID"}, {"@szWareID", "szWareID"}, {"@szReplaceID", "szReplaceID"}, {"@szProduceDate", "szProduceDate"}, {"@szOverdueDate", "OverdueDate"}, {"@szGermNumber", "GermNumber"}, {"@szInspectNO", "InspectNO"}, {"@szBlockNumber", "szBlockNumber"}}, {{"nRet", "@RETURN_VALUE"}}},
      {"InsertWareWarning", 1011, "QueryProc", "AAAAATQ;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@WareID", "Param1"}, {"@StockID", "Param2"}, {"@WarningUp", "Param3"}, {"@WarningDown", "Param4"}}, {{"Param5", "@RETURN_VALUE"}}},
      {"UpdateUnStockWareWarning", 1049, "QueryProc", "AAAABCR;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@Method", "Method"}, {"@ID", "ID"}, {"@Type", "Typed"}, {"@SelfID", "typeid"}, {"@Mode", "Mode"}, {"@ToDate", "ToDate"}}, {{"nRet", "@RETURN_VALUE"}}},
      {"CopyToBillMasterShop", 1231, "InsertProc", "P_CopyToBillMasterShop;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@StartDate", "StartDate"}, {"@Enddate", "Enddate"}, {"@IncludeDraft", "IncludeDraft"}}, {{"lReturn", "@RETURN_VALUE"}}},
      {"ShopCopyToBillDraft", 1232, "InsertProc", "P_ShopCopyToBillDraft;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}}, {{"lReturn", "@RETURN_VALUE"}}},
      {"ShopCopyBillData", 1279, "QueryProc", "P_ShopCopyBillData;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@IsClear", "IsClear"}}, {{"nRet", "@RETURN_VALUE"}}},
      {"CenterDealBillData", 1278, "QueryProc", "AAAAAOX;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@SourceVerTag", "SourceVerTag"}, {"@TargetVerTag", "TargetVerTag"}, {"@ShopID", "ShopID"}}, {{"nRet", "@RETURN_VALUE"}}},
      {"ShopDealLimit", 1313, "QueryProc", "AAAABAM;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}}, {{"nRet", "@RETURN_VALUE"}}},
      {"InsertShopData", 1014, "QueryProc", "AAAAATB;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@cWork", "Param1"}, {"@PosName", "Param2"}, {"@StockID", "Param3"}, {"@ClientID", "Param4"}, {"@Path", "Param5"}}, {{"Param6", "@RETURN_VALUE"}}},
      {"CopyTimePromotionBill", 1268, "InsertProc", "AAAAAPC;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@BillID", "BillID"}, {"@ClientID", "ClientID"}, {"@IsTemplate", "IsTemplate"}}, {{"iReturn", "@RETURN_VALUE"}}},
      {"InsertTempSellBillInfo", 1302, "InsertProc", "AAAAATK;1", {{"@OperatorID", "OperatorID"}, {"@CompanyID", "CompanyID"}, {"@GroupID", "GroupID"}, {"@BillID", "BillID"}}, {{"nRet", "@RETURN_VALUE"}}},
  };
  // clang-format on
  return kCases;
}

std::string BareName(const char* procedure) {
  const std::string name = procedure;
  return name.substr(0, name.find(';'));
}

bool IsBillOutput(const BillMemberCase& c, const std::string& parameter) {
  return std::any_of(c.results.begin(), c.results.end(),
                     [&](const BillResult& result) { return parameter == result.from; });
}

const remote::MethodDescription* DescribedBillMember(const char* name) {
  for (const auto* family : {&remote::BillMethods(), &remote::StockSerialMethods()}) {
    for (const remote::MethodDescription& method : *family) {
      if (method.name == name) return &method;
    }
  }
  return nullptr;
}

TEST_F(ModuleTest, EachBillAndStockRowSendsEveryArgumentToItsOwnParameter) {
  ASSERT_EQ(BillCases().size(), 71u);
  for (std::size_t index = 0; index < BillCases().size(); ++index) {
    const BillMemberCase& c = BillCases()[index];
    SCOPED_TRACE(c.member);
    const int status = 200 + static_cast<int>(index);
    test::ProcedureDecl decl{BareName(c.procedure), {}};
    for (const BillSent& sent : c.sent) {
      test::ParamDecl param = test::Param(sent.parameter, test::SqlType::VarChar, 100);
      if (IsBillOutput(c, sent.parameter)) param = test::Output(param);
      decl.params.push_back(param);
    }
    accountSet_.Declare(decl, [status, c](const test::ProcedureCall&) {
      test::Reply reply;
      reply.returnStatus = status;
      for (const BillResult& result : c.results) {
        if (std::string(result.from) != "@RETURN_VALUE") {
          reply.outputs[result.from] = std::string("out-") + result.from;
        }
      }
      return reply;
    });

    const com::MemberInfo* row = module_->Table().Find(c.dispId, com::MemberKind::Method);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->name, c.member);
    std::vector<Variant> args;
    std::vector<std::pair<std::string, OutSlot>> outs;
    std::map<std::string, std::string> sentText;
    for (std::size_t slot = 0; slot < row->params.size(); ++slot) {
      const com::ParamInfo& param = row->params[slot];
      if (param.mode == com::ParamMode::In) {
        const bool integer = param.type == com::VT_I4;
        const std::string text =
            integer ? std::to_string(7000 + 10 * index + slot) : "in-" + param.name;
        sentText[param.name] = text;
        args.push_back(integer ? Variant::I4(std::stoi(text)) : Variant(text));
        continue;
      }
      Variant initial;
      if (param.type == com::VT_I4) initial = Variant::I4(-7);
      if (param.type == com::VT_BSTR) initial = Variant("stale");
      outs.emplace_back(param.name, Out(initial, param.type));
      args.push_back(outs.back().second.ref);
    }
    const CallResult result = CallId(c.dispId, args);
    ASSERT_EQ(result.hr, com::S_OK) << result.excepInfo.description;

    const test::ProcedureCall call = accountSet_.LastCall(BareName(c.procedure));
    EXPECT_EQ(call.names.size(), c.sent.size());
    for (const BillSent& sent : c.sent) {
      const std::string source = sent.source;
      const std::string expected = source.front() == '=' ? source.substr(1) : sentText[source];
      EXPECT_TRUE(call.WasSent(sent.parameter)) << sent.parameter;
      EXPECT_EQ(test::TextOf(call[sent.parameter]), expected) << sent.parameter;
    }
    for (const BillResult& expected : c.results) {
      const auto out = std::find_if(outs.begin(), outs.end(), [&](const auto& slot) {
        return slot.first == expected.argument;
      });
      ASSERT_NE(out, outs.end()) << expected.argument;
      const Variant& value = *out->second.value;
      if (std::string(expected.from) == "@RETURN_VALUE") {
        EXPECT_EQ(value.ToI4(), status) << expected.argument;
      } else {
        EXPECT_EQ(value.ToString(), std::string("out-") + expected.from) << expected.argument;
      }
    }
    const remote::MethodDescription* described = DescribedBillMember(c.member);
    ASSERT_NE(described, nullptr);
    EXPECT_EQ(remote::ComponentName(described->component), c.component);
  }
}

TEST(BillTables, BothFamiliesHoldEveryMemberOnceWithItsDispId) {
  EXPECT_EQ(remote::BillMethods().size(), 48u);
  EXPECT_EQ(remote::StockSerialMethods().size(), 33u);
  const std::vector<std::pair<const char*, com::DispId>> handWritten = {
      {"InsertBillMaster", 1006},      {"InsertBillDetail", 1007},
      {"UpdateBillTransfer", 1033},    {"DeleteBillMaster", 1054},
      {"SetBillNumberCount", 3077},    {"UpdateStockWareInit", 1032},
      {"InsertStockBorrowInit", 1012}, {"UpdateStockEntrustInit", 1048},
      {"InsertCheckCount", 1013},      {"CreateCheckLoseSpillBill", 30012}};
  for (const auto& [name, dispId] : handWritten) {
    const remote::MethodDescription* described = DescribedBillMember(name);
    ASSERT_NE(described, nullptr) << name;
    EXPECT_EQ(described->dispId, dispId) << name;
    EXPECT_NE(described->handler, nullptr) << name;
  }
  for (const BillMemberCase& c : BillCases()) {
    const remote::MethodDescription* described = DescribedBillMember(c.member);
    ASSERT_NE(described, nullptr) << c.member;
    EXPECT_EQ(described->handler, nullptr) << c.member;
    EXPECT_EQ(described->procedure, c.procedure) << c.member;
  }
}

}  // namespace
}  // namespace quor::testing
