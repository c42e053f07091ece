#include "sync/UploadSql.h"

#include <stdexcept>
#include <utility>

#include "remote/SqlLiterals.h"

namespace quor::sync {
namespace {

// One member of an uploaded row: its value expression and its name.
using UploadColumn = std::pair<const char*, std::string>;

// The milliseconds since 1970 of a local time column, the local time taken as
// UTC+8 (the cloud's reading of the account sets' times).
std::string UploadMillisecondsOf(std::string_view column) {
  return "CONVERT(bigint, DATEDIFF([SECOND], '1970-01-01', " + std::string(column) +
         ") - 28800)*1000";
}

std::string CheckedCompanyId(std::string_view cid) {
  if (!IsCloudCompanyId(cid)) {
    throw std::invalid_argument("the company cloud identifier '" + std::string(cid) +
                                "' is no number");
  }
  return std::string(cid);
}

std::string UploadSelectOf(std::string_view cid, const std::vector<UploadColumn>& members) {
  std::string text = "SELECT " + CheckedCompanyId(cid) + " AS [cid]";
  for (const auto& [name, expression] : members) {
    text += ", " + expression + " AS [" + name + "]";
  }
  return text;
}

// Identifiers come from the change queue; quoting keeps a stray quote inside
// the literal, and leaves the identifiers this system makes unchanged.
std::string UploadRecordFilter(std::string_view selfId) {
  if (selfId.empty()) return {};
  return " And A.SelfID=" + remote::QuotedLiteral(selfId);
}

std::string UploadOperatorArgument(std::string_view operatorId) {
  return remote::QuotedLiteral(operatorId);
}

const std::string& CheckedQuantityColumn(const BillLineShape& shape) {
  if (shape.quantityColumn != "Quantity" && shape.quantityColumn != "CS_Quantity") {
    throw std::invalid_argument("no quantity column '" + shape.quantityColumn + "'");
  }
  return shape.quantityColumn;
}

constexpr const char* kUploadMobileFilter = "AND (m.IsMobileBill = 0)";

std::string UploadBillFilter(std::int32_t billId) {
  return " AND M.BillID=" + std::to_string(billId);
}

// The cash, discount and freight sums of a bill's account lines, for the
// master rows of purchases and sales.
std::string AccountLineSums() {
  return "(SELECT DA.BillID, '0000100003' AccountID, '现金' LongName, SUM(DA.SumTo) AS SumTo "
         "FROM AAAAAAN DA INNER JOIN AAAAAAC AI ON DA.AccountID = AI.SelfID AND DA.Orientation = "
         "1010 GROUP BY DA.BillID) A ON m.BillID = A.BillID LEFT OUTER JOIN "
         "(SELECT DA.BillID, '000040000300006' AccountID, '优惠' LongName, SUM(DA.SumTo) AS SumTo "
         "FROM AAAAAAN DA INNER JOIN AAAAAAC AI ON DA.AccountID = AI.SelfID AND DA.Orientation = "
         "1011 GROUP BY DA.BillID) AY ON m.BillID = AY.BillID LEFT OUTER JOIN "
         "(SELECT DA.BillID, '000040000300005' AccountID, '代垫运费' LongName, SUM(DA.SumTo) AS "
         "SumTo FROM AAAAAAN DA INNER JOIN AAAAAAC AI ON DA.AccountID = AI.SelfID AND "
         "DA.Orientation = 1014 GROUP BY DA.BillID) AD ON m.BillID = AD.BillID ";
}

// The goods line members purchases and sales share, before their own.
std::vector<UploadColumn> GoodsLineMembers(const char* numberMember, const std::string& quantity) {
  return {{"BillID", "D.BillID"},
          {numberMember, "M.Number"},
          {"Bar_Code", "W.BarCode"},
          {"quantity", "Abs(D." + quantity + ")"},
          {"price", "D.price"},
          {"amount", "Abs(D." + quantity + "*D.price)"},
          {"discount", "(D.discount*100)"},
          {"UnitNo", "D.UnitNo"},
          {"UnitRate", "D.UnitRate"},
          {"true_price", "D.DiscountPrice"},
          {"true_amount", "Abs(D." + quantity + "*D.DiscountPrice)"},
          {"WareID", "D.WareID"},
          {"goods_sn", "W.CodeName"},
          {"good_name", "W.LongName"},
          {"ColorID", "D.CS_ColorID"},
          {"update_time", UploadMillisecondsOf("D.DateTimes")},
          {"color_name", "D.CS_ColorName"},
          {"SizeID", "D.CS_SizeID"},
          {"size_name", "D.CS_SizeName"},
          {"UnitID", "D.UnitID"},
          {"unit", "w.UnitName0"}};
}

std::vector<UploadColumn> PayRecordMembers(const std::string& needAmount,
                                           const std::string& realAmount,
                                           const std::string& oppositeBalance) {
  return {{"BillID", "M.BillID"},
          {"AccountID", "A.SelfID"},
          {"account_name", "A.LongName"},
          {"BillType", "M.BillType"},
          {"business_sn", "M.Number"},
          {"ClientID", "M.ClientID"},
          {"Client_Name", "C.LongName"},
          {"Supplier_Name", "C.LongName"},
          {"AuditingManID", "M.AuditingMan"},
          {"Handler_Name", "P.LongName"},
          {"need_amount", needAmount},
          {"real_amount", realAmount},
          {"opposite_side_balance", oppositeBalance},
          {"update_time", UploadMillisecondsOf("M.DateTimes")},
          {"create_time", UploadMillisecondsOf("M.DateTimes")},
          {"optimistic_lock_version", "0"}};
}

}  // namespace

bool IsCloudCompanyId(std::string_view cid) {
  if (cid.empty() || cid.size() > 18) return false;
  for (const char c : cid) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

bool IsGarmentTrade(std::string_view vocation) {
  return vocation == "FZ" || vocation == "MY";
}

BillLineShape BillLineShapeOf(std::string_view vocation) {
  if (IsGarmentTrade(vocation)) return {2, "CS_Quantity"};
  return {0, "Quantity"};
}

UploadQuery StaffUploadQuery(std::string_view cid, std::string_view operatorId,
                             std::string_view selfId) {
  const std::vector<UploadColumn> members = {{"SelfID", "A.SelfID"},
                                             {"user_name", "A.MovePhone"},
                                             {"real_name", "A.LongName"},
                                             {"cellphone", "A.MovePhone"},
                                             {"status", "1"},
                                             {"store_id", "0"},
                                             {"is_super", "B.SysID"},
                                             {"eMail", "A.EMail"},
                                             {"remark", "A.Memo"},
                                             {"BranchID", "A.BranchID"},
                                             {"store_name", "ISNULL(C.LongName, '')"},
                                             {"optimistic_lock_version", "0"},
                                             {"password", "DBO.MD5(ISNULL(B.password, ''))"},
                                             {"pc_Limit", "ISNULL(B.Limit, '')"}};
  return {"tb_user_info",
          UploadSelectOf(cid, members) + " FROM AAAAAND(" + UploadOperatorArgument(operatorId) +
              ") A INNER JOIN AAAAACV B ON A.SelfID = B.PersonID LEFT JOIN AAAAABS C ON "
              "A.BranchID=C.SelfID WHERE A.NodeSum = 0 " +
              UploadRecordFilter(selfId) + "  Order By A.IndexID"};
}

UploadQuery AccountsUploadQuery(std::string_view cid, std::string_view operatorId,
                                std::string_view selfId) {
  const std::vector<UploadColumn> members = {{"SelfID", "A.SelfID"},
                                             {"Name", "A.LongName"},
                                             {"text", "A.LongName"},
                                             {"Account", "A.CodeName"},
                                             {"Store_ID", "1"},
                                             {"Store_Name", "'公共'"},
                                             {"Balance", "(B.SumTo00+B.SumTo)"},
                                             {"Account_Type", "1"},
                                             {"Remark", "A.Memo"},
                                             {"optimistic_lock_version", "0"},
                                             {"show_order", "OrderNo"}};
  return {"tb_account_info",
          UploadSelectOf(cid, members) + " FROM AAAACEW(" + UploadOperatorArgument(operatorId) +
              ") A LEFT OUTER JOIN AAAAAAA B ON A.SelfID = B.AccountID "
              "WHERE ((A.SelfID Like '0000100003%') OR (A.ParentID Like '0000100004%')) " +
              UploadRecordFilter(selfId)};
}

UploadQuery CustomersUploadQuery(std::string_view cid, std::string_view operatorId,
                                 std::string_view selfId) {
  const std::vector<UploadColumn> members = {
      {"SelfID", "A.SelfID"},
      {"ParentID", "A.ParentID"},
      {"Client_Name", "A.LongName"},
      {"Status", "1"},
      {"Discount", "100"},
      {"phone", "A.Telephone"},
      {"cellphone", "A.MovePhone"},
      {"EMail", "A.EMail"},
      {"Fax", "A.Faxes"},
      {"address", "A.Address"},
      {"show_order", "OrderNo"},
      {"client_name_py", "A.Bopomofo"},
      {"contacts", "A.Linkman"},
      {"remark", "A.Memo"},
      {"optimistic_lock_version", "0"},
      {"balance", "isNull(B.ReceiveSumTo,0)-isNull(B.PayableSumTo,0)"}};
  return {"tb_customer_info",
          UploadSelectOf(cid, members) + " FROM AAAAAMR(" + UploadOperatorArgument(operatorId) +
              ") A LEFT JOIN AAAAABW B On A.SelfID=B.ClientID  WHERE A.SelfID <> '00000' " +
              UploadRecordFilter(selfId) +
              " And A.NodeSum = 0 And A.isClient IN (0, 1, 3, 4, 5) Order By A.IndexID"};
}

UploadQuery SuppliersUploadQuery(std::string_view cid, std::string_view operatorId,
                                 std::string_view selfId) {
  const std::vector<UploadColumn> members = {
      {"SelfID", "A.SelfID"},
      {"ParentID", "A.ParentID"},
      {"supplier_name", "A.LongName"},
      {"Status", "1"},
      {"Discount", "100"},
      {"phone", "A.Telephone"},
      {"cellphone", "A.MovePhone"},
      {"EMail", "A.EMail"},
      {"Fax", "A.Faxes"},
      {"address", "A.Address"},
      {"show_order", "OrderNo"},
      {"supplier_name_py", "A.Bopomofo"},
      {"Handler", "A.Linkman"},
      {"remark", "A.Memo"},
      {"optimistic_lock_version", "0"},
      {"balance", "isNull(B.PayableSumTo,0)-isNull(B.ReceiveSumTo,0)"}};
  return {"tb_supplier_info",
          UploadSelectOf(cid, members) + " FROM AAAAAMR(" + UploadOperatorArgument(operatorId) +
              ") A LEFT JOIN AAAAABW B On A.SelfID=B.ClientID WHERE A.SelfID <> '00000' " +
              UploadRecordFilter(selfId) +
              " And A.NodeSum = 0 And A.isClient IN (0, 2) Order By A.IndexID"};
}

UploadQuery StorehousesUploadQuery(std::string_view cid, std::string_view operatorId,
                                   std::string_view selfId) {
  const std::vector<UploadColumn> members = {{"SelfID", "SelfID"},
                                             {"storehouse_no", "CodeName"},
                                             {"storehouse_name", "LongName"},
                                             {"remark", "Memo"},
                                             {"status", "1"},
                                             {"show_order", "OrderNo"},
                                             {"store_id", "0"},
                                             {"BranchID", "BranchID"},
                                             {"optimistic_lock_version", "0"},
                                             {"store_name", "'公共'"},
                                             {"Text", "LongName"}};
  return {"tb_storehouse_info", UploadSelectOf(cid, members) + " FROM AAAAANN(" +
                                    UploadOperatorArgument(operatorId) +
                                    ") A WHERE SelfID <> '00000' " + UploadRecordFilter(selfId) +
                                    " And NodeSum = 0  Order By IndexID"};
}

UploadQuery GoodsUploadQuery(std::string_view cid, std::string_view operatorId,
                             std::string_view selfId) {
  const std::vector<UploadColumn> members = {
      {"SelfID", "A.SelfID"},
      {"ParentID", "A.ParentID"},
      {"name", "A.LongName"},
      {"goods_sn", "A.CodeName"},
      {"factory_price", "A.IntoPrice"},
      {"trade_price", "A.prepPrice1"},
      {"retail_price_area", "A.PriceRetail"},
      {"unit", "unitName0"},
      {"bland_id", "1"},
      {"Standard", "A.Standard"},
      {"WareType", "A.WareType"},
      {"bar_code", "A.BarCode"},
      {"optimistic_lock_version", "0"},
      {"show_order", "A.OrderNo"},
      {"goods_name_py", "A.Bopomofo"},
      {"costing_mode", "A.CostingMode"},
      {"ColorGroupID", "(CASE WHEN A.ColorGroupID='' THEN '00001' Else A.ColorGroupID END)"},
      {"SizeGroupID", "(CASE WHEN A.SizeGroupID='' THEN '00001' Else A.SizeGroupID END)"},
      {"is_on_sale", "(CASE WHEN isStop=1 THEN 2 Else 1 END)"},
      {"operator", "3"},
      {"number", "G.Quantity"},
      {"Cost_Price", "G.CostPrice"},
      {"imagine", "A.AppImgUrl"}};
  return {"tb_goods_info",
          UploadSelectOf(cid, members) + " FROM AAAAANV(" + UploadOperatorArgument(operatorId) +
              ") A LEFT OUTER JOIN (SELECT WareID, SUM(Quantity) AS Quantity, (CASE WHEN "
              "SUM(Quantity)<>0 THEN Sum(SumTo)/SUM(Quantity) Else 0 END) As CostPrice FROM "
              "AAAAAEY GROUP BY WareID) G ON G.WareID = A.SelfID "
              "WHERE A.SelfID <> '00000' " +
              UploadRecordFilter(selfId) + " And A.NodeSum = 0 ORDER BY A.IndexID"};
}

std::vector<UploadQuery> PurchaseBillUploadQueries(std::string_view cid, std::int32_t billId,
                                                   const BillLineShape& shape) {
  const std::string& quantity = CheckedQuantityColumn(shape);
  const std::string filter = UploadBillFilter(billId);
  const std::vector<UploadColumn> master = {
      {"BillID", "m.BillID"},
      {"purchase_sn", "m.Number"},
      {"ClientID", "m.ClientID"},
      {"supplier_name", "C.LongName"},
      {"StockID", "m.StockID"},
      {"depot_name", "K.LongName"},
      {"state", "2"},
      {"create_time", UploadMillisecondsOf("m.DateTimes")},
      {"business_time", UploadMillisecondsOf("m.DateTimes")},
      {"update_time", UploadMillisecondsOf("m.DateTimes")},
      {"total_amount", "m.SumTo"},
      {"true_total_amount", "m.SumTo"},
      {"AuditingManID", "m.AuditingMan"},
      {"handler_name", "P.LongName"},
      {"remark", "m.Memo"},
      {"optimistic_lock_version", "0"},
      {"business_type", "T.LongName"},
      {"AccountID", "A.AccountID"},
      {"account_name", "A.LongName"},
      {"already_paid", "ISNULL(ABS(A.SumTo), 0)"},
      {"item_type", "CASE WHEN m.BillType =112 THEN 1 WHEN m.BillType =113 THEN 2 END"}};
  std::vector<UploadColumn> lines = GoodsLineMembers("purchase_sn", quantity);
  lines.push_back({"optimistic_lock_version", "0"});
  const std::vector<UploadColumn> payments = PayRecordMembers(
      "(CASE WHEN DA.AccountID LIKE '0000200001%' THEN (CASE WHEN m.BillType=113 THEN -m.SumTo "
      "ELSE m.SumTo END) ELSE (CASE WHEN m.BillType=113 THEN D.SumTo ELSE -D.SumTo END) END)",
      "(CASE WHEN m.BillType=113 THEN IsNull(D.SumTo,0) ELSE -IsNull(D.SumTo,0) END)",
      "(CASE WHEN DA.AccountID LIKE '0000200001%' THEN (M.SumTo - ABS(IsNull(D.SumTo,0))) ELSE 0 "
      "END)");
  return {
      {"tb_purchase_info",
       UploadSelectOf(cid, master) +
           " FROM AAAAABG m INNER JOIN AAAAAEO K ON K.SelfID = m.StockID INNER JOIN "
           "AAAAABY C ON m.ClientID = C.SelfID INNER JOIN AAAAADG P ON m.AuditingMan = "
           "P.SelfID INNER JOIN AAAAABQ T ON m.BillType = T.BillType LEFT OUTER JOIN " +
           AccountLineSums() + "WHERE (m.BillType IN (112, 113)) AND m.Draft = 2 " +
           kUploadMobileFilter + " AND (m.OldAbolish = 'F') " + filter + " Order by m.BillID "},
      {"tb_purchase_detail",
       UploadSelectOf(cid, lines) + " FROM AAAAAMK(" + std::to_string(shape.detailMode) +
           ") D INNER JOIN AAAAABG M ON D.BillID = M.BillID INNER JOIN AAAAAFT W ON D.WareID = "
           "W.SelfID WHERE (D.BillType IN (112, 113)) AND M.Draft = 2 " +
           kUploadMobileFilter + " AND (M.OldAbolish = 'F') " + filter},
      {"tb_pay_records",
       UploadSelectOf(cid, payments) +
           " FROM AAAAABG M INNER JOIN AAAAABY C ON M.ClientID = C.SelfID INNER JOIN AAAAADG P "
           "ON M.AuditingMan = P.SelfID LEFT JOIN AAAAAAN DA ON M.BillID = DA.BillID AND "
           "(DA.AccountID LIKE '0000200001%' OR DA.AccountID LIKE '0000100003%' OR DA.AccountID "
           "LIKE '0000100004%') INNER JOIN AAAAAAC A ON A.SelfID = DA.AccountID LEFT JOIN "
           "(SELECT GatheringBillID, Sum(SumTo) As SumTo FROM AAAAADD Group By GatheringBillID) "
           "d ON M.BillID = d.GatheringBillID WHERE (m.BillType IN (112, 113)) AND M.Draft = 2 " +
           kUploadMobileFilter + " AND (M.OldAbolish = 'F') " + filter}};
}

std::vector<UploadQuery> SaleBillUploadQueries(std::string_view cid, std::int32_t billId,
                                               const BillLineShape& shape) {
  const std::string& quantity = CheckedQuantityColumn(shape);
  const std::string filter = UploadBillFilter(billId);
  const std::vector<UploadColumn> master = {
      {"BillID", "m.BillID"},
      {"orders_sn", "m.Number"},
      {"ClientID", "m.ClientID"},
      {"client_name", "C.LongName"},
      {"StockID", "m.StockID"},
      {"depot_name", "K.LongName"},
      {"state", "2"},
      {"create_time", UploadMillisecondsOf("m.DateTimes")},
      {"business_time", UploadMillisecondsOf("m.DateTimes")},
      {"update_time", UploadMillisecondsOf("m.DateTimes")},
      {"total_amount", "m.SumTo"},
      {"true_total_amount", "m.SumTo"},
      {"AuditingManID", "m.AuditingMan"},
      {"handler_name", "IsNull(P.LongName,'')"},
      {"PersonID", "m.PersonID"},
      {"saler_name", "IsNull(P2.LongName,'')"},
      {"remark", "m.Memo"},
      {"optimistic_lock_version", "0"},
      {"business_type", "T.LongName"},
      {"AccountID", "A.AccountID"},
      {"account_name", "A.LongName"},
      {"already_paid", "ISNULL(ABS(A.SumTo), 0)"},
      {"wipe_zero", "ISNULL(ABS(AY.SumTo), 0)"},
      {"other_cost", "ISNULL(ABS(AD.SumTo), 0)"},
      {"item_type", "CASE WHEN m.BillType =115 THEN 1 WHEN m.BillType =116 THEN 2 ELSE 0 END"}};
  std::vector<UploadColumn> lines = GoodsLineMembers("orders_sn", quantity);
  lines.push_back({"trade_price", "d.CostPrice"});
  lines.push_back({"optimistic_lock_version", "0"});
  const std::vector<UploadColumn> payments = PayRecordMembers(
      "(CASE WHEN DA.AccountID LIKE '0000100005%' THEN (CASE WHEN m.BillType=116 THEN -m.SumTo "
      "ELSE m.SumTo END) ELSE (CASE WHEN m.BillType=116 THEN -D.SumTo ELSE D.SumTo END) END)",
      "(CASE WHEN m.BillType=116 THEN -IsNull(D.SumTo,0) ELSE IsNull(D.SumTo,0) END)",
      "(CASE WHEN DA.AccountID LIKE '0000100005%' THEN (M.SumTo - ABS(IsNull(D.SumTo,0))) ELSE 0 "
      "END)");
  return {
      {"tb_sale_info",
       UploadSelectOf(cid, master) +
           " FROM AAAAABG m INNER JOIN AAAAAEO K ON K.SelfID = m.StockID INNER JOIN "
           "AAAAABY C ON m.ClientID = C.SelfID INNER JOIN AAAAADG P ON m.AuditingMan = "
           "P.SelfID LEFT JOIN AAAAADG P2 ON m.PersonID = P2.SelfID LEFT JOIN AAAAABQ T ON "
           "m.BillType = T.BillType LEFT OUTER JOIN " +
           AccountLineSums() + "WHERE (m.BillType IN (115, 116, 117, 118)) AND m.Draft = 2 " +
           kUploadMobileFilter + " AND (m.OldAbolish = 'F') " + filter + " Order by m.BillID "},
      {"tb_sale_detail",
       UploadSelectOf(cid, lines) + " FROM AAAAAMP(" + std::to_string(shape.detailMode) +
           ") D INNER JOIN AAAAABG M ON D.BillID = M.BillID INNER JOIN AAAAAFT W ON D.WareID = "
           "W.SelfID WHERE (D.BillType IN (115, 116, 117, 118)) AND M.Draft = 2 " +
           kUploadMobileFilter + " AND (M.OldAbolish = 'F') " + filter},
      {"tb_pay_records",
       UploadSelectOf(cid, payments) +
           " FROM AAAAABG M INNER JOIN AAAAABY C ON M.ClientID = C.SelfID INNER JOIN AAAAADG P "
           "ON M.AuditingMan = P.SelfID INNER JOIN AAAAAAN DA ON M.BillID = DA.BillID AND "
           "(DA.AccountID LIKE '0000100005%' OR DA.AccountID LIKE '0000100003%' OR DA.AccountID "
           "LIKE '0000100004%') INNER JOIN AAAAAAC A ON A.SelfID = DA.AccountID LEFT JOIN "
           "(SELECT GatheringBillID, Sum(SumTo) As SumTo FROM AAAAADD Group By GatheringBillID) "
           "d ON M.BillID = d.GatheringBillID WHERE (m.BillType IN (115, 116, 117, 118)) AND "
           "M.Draft = 2 " +
           kUploadMobileFilter + " AND (M.OldAbolish = 'F') " + filter}};
}

std::vector<UploadQuery> TransferBillUploadQueries(std::string_view cid, std::int32_t billId,
                                                   const BillLineShape& shape) {
  const std::string& quantity = CheckedQuantityColumn(shape);
  const std::string filter = UploadBillFilter(billId);
  const std::vector<UploadColumn> master = {{"BillID", "m.BillID"},
                                            {"order_no", "m.Number"},
                                            {"InStockID", "m.StockID"},
                                            {"in_storehouse_name", "K1.LongName"},
                                            {"OutStockID", "m.StockID2"},
                                            {"out_storehouse_name", "K2.LongName"},
                                            {"status", "2"},
                                            {"create_time", UploadMillisecondsOf("m.DateTimes")},
                                            {"business_time", UploadMillisecondsOf("m.DateTimes")},
                                            {"update_time", UploadMillisecondsOf("m.DateTimes")},
                                            {"AuditingManID", "m.AuditingMan"},
                                            {"submit_user_name", "P.LongName"},
                                            {"remark", "m.Memo"},
                                            {"optimistic_lock_version", "0"}};
  const std::vector<UploadColumn> lines = {
      {"BillID", "D.BillID"},           {"store_order_no", "M.Number"},
      {"Bar_Code", "W.BarCode"},        {"transfer_number", "Abs(D." + quantity + ")"},
      {"optimistic_lock_version", "0"}, {"update_time", UploadMillisecondsOf("D.DateTimes")},
      {"WareID", "D.WareID"},           {"goods_sn", "W.CodeName"},
      {"good_name", "W.LongName"},      {"ColorID", "D.CS_ColorID"},
      {"color_name", "D.CS_ColorName"}, {"SizeID", "D.CS_SizeID"},
      {"size_name", "D.CS_SizeName"},   {"UnitID", "D.UnitID"},
      {"unit", "w.UnitName0"}};
  return {{"tb_transfer_order",
           UploadSelectOf(cid, master) +
               " FROM AAAAABG m INNER JOIN AAAAAEO K1 ON K1.SelfID = m.StockID INNER JOIN "
               "AAAAAEO K2 ON K2.SelfID = m.StockID2 INNER JOIN AAAAADG P ON m.AuditingMan = "
               "P.SelfID WHERE (m.BillType IN (136,137)) AND m.Draft = 2 " +
               kUploadMobileFilter + " AND (m.OldAbolish = 'F') " + filter},
          {"tb_transfer_order_detail",
           UploadSelectOf(cid, lines) + " FROM AAAAAMM(" + std::to_string(shape.detailMode) +
               ") D INNER JOIN AAAAABG M ON D.BillID = M.BillID INNER JOIN AAAAAFT W ON "
               "D.WareID = W.SelfID WHERE (D.BillType IN (136,137)) AND M.Draft = 2  AND "
               "D.Orientation = 1001 " +
               kUploadMobileFilter + " AND (M.OldAbolish = 'F') " + filter}};
}

std::vector<UploadQuery> StoreOrderUploadQueries(std::string_view cid, std::int32_t billId,
                                                 const BillLineShape& shape) {
  const std::string& quantity = CheckedQuantityColumn(shape);
  const std::string filter = UploadBillFilter(billId);
  const std::vector<UploadColumn> master = {
      {"BillID", "m.BillID"},
      {"order_no", "m.Number"},
      {"StockID", "m.StockID"},
      {"storehouse_name", "K.LongName"},
      {"status", "2"},
      {"create_time", UploadMillisecondsOf("m.DateTimes")},
      {"business_time", UploadMillisecondsOf("m.DateTimes")},
      {"update_time", UploadMillisecondsOf("m.DateTimes")},
      {"AuditingManID", "m.AuditingMan"},
      {"submit_user_name", "P.LongName"},
      {"remark", "m.Memo"},
      {"optimistic_lock_version", "0"},
      {"all_store", "0"},
      {"order_type", "CASE WHEN m.BillType = 300 THEN 2 ELSE 0 END"}};
  const std::vector<UploadColumn> lines = {
      {"BillID", "D.BillID"},
      {"store_order_no", "M.Number"},
      {"StockID", "D.StockID"},
      {"number", "D." + quantity},
      {"optimistic_lock_version", "0"},
      {"update_time", UploadMillisecondsOf("D.DateTimes")},
      {"WareID", "D.WareID"},
      {"goods_sn", "W.CodeName"},
      {"good_name", "W.LongName"},
      {"ColorID", "D.CS_ColorID"},
      {"color_name", "D.CS_ColorName"},
      {"SizeID", "D.CS_SizeID"},
      {"size_name", "D.CS_SizeName"},
      {"before_number", "IsNull(G.Quantity,0)"},
      {"sku_store_num", "(IsNull(G.Quantity,0)-D." + quantity + ")"}};
  return {{"tb_store_order",
           UploadSelectOf(cid, master) +
               " FROM AAAAABJ m INNER JOIN AAAAAEO K ON K.SelfID = m.StockID INNER JOIN AAAAADG "
               "P ON m.AuditingMan = P.SelfID WHERE (m.BillType IN (300)) AND m.Draft = 0 " +
               kUploadMobileFilter + " AND (m.OldAbolish = 'F') " + filter},
          {"tb_store_order_detail",
           UploadSelectOf(cid, lines) + " FROM AAAAAMN(" + std::to_string(shape.detailMode) +
               ") D INNER JOIN AAAAABJ M ON D.BillID = M.BillID INNER JOIN AAAAAFT W ON "
               "D.WareID = W.SelfID LEFT JOIN (SELECT WareID, StockID, Sum(Quantity) As "
               "Quantity FROM AAAAAEY Group By WareID, StockID) G ON D.WareID = G.WareID And "
               "D.StockID=G.StockID WHERE (D.BillType IN (300)) AND M.Draft = 0 " +
               kUploadMobileFilter + " AND (M.OldAbolish = 'F') " + filter}};
}

}  // namespace quor::sync
