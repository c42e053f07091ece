#include "mobile/DownloadQueries.h"

#include "mobile/PhoneText.h"

namespace quor::mobile {
namespace {

constexpr const char* kPersonColumns =
    "SELECT A.IndexID AS _ID, A.SelfID, A.CodeName As sPersonCode, A.LongName AS sPersonName, "
    "A.MovePhone AS sPersonPhone, 1 AS nCompanyID, 170002 as nDeletionFlag, A.EMail AS sMail "
    ",A.Address as sAddress, A.Bopomofo as sBopomofo, A.Memo AS sMemo, ISNULL(B.password, '') AS "
    "sPersonPass FROM ";

}  // namespace

std::string PersonLookupQuery(std::string_view personIndex) {
  return "SELECT SelfID, CompanyID FROM AAAAADG WHERE IndexID = " + TrimBlanks(personIndex);
}

std::string AllPersonsQuery() {
  return std::string(kPersonColumns) +
         "AAAAADG A LEFT JOIN AAAAACV B ON A.SelfID = B.PersonID WHERE A.SelfID = '00000' OR "
         "NodeSum = 0";
}

TableQueries BasicDataQueries(std::string_view personId, std::string_view companyId) {
  const std::string q = SqlLiteral(personId);
  const std::string c = SqlLiteral(companyId);
  TableQueries queries;
  queries.emplace_back("AZ_PersonInfo",
                       std::string(kPersonColumns) + "AAAAAND(" + q +
                           ") A LEFT JOIN AAAAACV B ON A.SelfID = B.PersonID WHERE A.SelfID = "
                           "'00000' OR NodeSum = 0  Order By A.IndexID");
  queries.emplace_back(
      "AZ_ClientInfo",
      "SELECT A.IndexID AS _ID, A.SelfID, A.CodeName AS sClientCode, A.LongName AS sClientName, "
      "A.Address AS sAddress, 'Y' AS bIsActive,A.Linkman AS sLinkman, A.MovePhone AS sMovePhone, "
      "A.Faxes AS sFaxNumber, A.Telephone AS sTelephone, A.QQNumber As sQQNumber, A.EMail AS "
      "sEMail, A.Memo AS sMemo, 1 AS nPersonID,1 AS nCompanyID, (CASE WHEN A.isClient IN (0, 2) "
      "THEN 'Y' ELSE 'N' END) AS bIsVendor, (CASE WHEN A.isClient IN (0, 1) THEN 'Y' ELSE 'N' "
      "END) AS bIsCustomer, A.Bopomofo as sBopomofo,  B.InitReceiveSumTo As InitReceiveTotal, "
      "B.InitPayableSumTo As InitPayableTotal, B.ReceiveSumTo As ReceiveTotal, B.PayableSumTo As "
      "PayableTotal FROM AAAAAMR(" +
          q + ") A LEFT JOIN AAAAABW B ON A.SelfID = B.ClientID And B.CompanyID=" + c +
          " WHERE A.SelfID <> '00000' And A.NodeSum = 0 Order By A.IndexID");
  queries.emplace_back(
      "AZ_StockInfo",
      "SELECT IndexID AS _ID, SelfID, CodeName AS sStockCode, LongName AS sStockName, Memo AS "
      "sDescription, 1 AS nPersonID, 1 AS nCompanyID, 'Y' AS sIsActive,Bopomofo as sBopomofo FROM "
      "AAAAANN(" +
          q + ") WHERE SelfID <> '00000'  And NodeSum = 0  Order By IndexID");
  queries.emplace_back(
      "AZ_OtherInfo",
      "SELECT IndexID + 120000 AS _ID, 102 AS nFieldType, 1 AS nCompanyID, SelfID, LongName AS "
      "sFieldName, '商品分类' AS sMemo, 'Y' AS sIsActive FROM AAAAANV(" +
          q + ") WHERE (NodeSum > 0) AND (SelfID <> '00000') Order By IndexID");
  queries.emplace_back("AZ_OtherInfo",
                       "SELECT (IndexID + 400000) AS _ID, 101 AS nFieldType, 1 AS nCompanyID, "
                       "SelfID, LongName AS sFieldName, '商品单位' AS sMemo FROM AAAAAFN WHERE "
                       "NodeSum = 0");
  queries.emplace_back(
      "AZ_WareMultiUnit",
      "SELECT A.IndexID + 100000 AS _ID, A.IndexID AS nWareID, A.SelfID AS sWareID, A.UnitID AS "
      "sUnitID, 1 AS fUnitRate, 0 AS nUnitRowNumber, A.prepPrice1 AS fSalePrice, A.MinPrice As "
      "fMinPrice, A.PriceRetail As fRetailPrice, A.IntoPrice AS fBuyPrice FROM AAAAANV(" +
          q +
          ") A INNER JOIN AAAAAFX B ON A.SelfID = B.WareID UNION SELECT B.IndexID + 200000 AS "
          "_ID, A.IndexID AS nWareID, B.WareID AS sWareID, B.UnitID AS sUnitID, B.UnitRate AS "
          "fUnitRate, B.UnitRowNumber AS nUnitRowNumber, B.prepPrice1 AS fSalePrice, A.MinPrice "
          "As fMinPrice, A.PriceRetail As fRetailPrice, B.IntoPrice AS fBuyPrice FROM AAAAAFX B "
          "INNER JOIN AAAAANV(" +
          q + ") A ON A.SelfID = B.WareID");
  queries.emplace_back(
      "AZ_WareInfo",
      "SELECT A.IndexID AS _ID, A.SelfID, A.LongName AS sWareName, A.CodeName As sWareCode, "
      "A.BarCode AS sBarCode, A.Memo AS sWareMemo, ISNULL(S.IndexID + 120000, 120001) AS "
      "nWareClass, ISNULL(C.IndexID + 400000, 0) AS nWareUnit, 600001 AS nWareStatus, A.IntoPrice "
      "AS fBuyPrice, A.prepPrice1 AS fSalePrice, A.MinPrice As fMinPrice, A.PriceRetail As "
      "fRetailPrice, 1 AS nPersonID, 1 AS nCompanyID, A.Bopomofo as sBopomofo, "
      "isNull(b.Quantity,0) as nStockQty, A.StrictSerial as nStrictSerial FROM AAAAANV(" +
          q +
          ") A LEFT JOIN (SELECT WareID, SUM(Quantity) AS Quantity FROM AAAAAEY WHERE "
          "CompanyID=" +
          c +
          " GROUP BY WareID) B ON A.SelfID=B.WareID LEFT JOIN AAAAAFN C ON C.SelfID = A.UnitID "
          "LEFT JOIN (SELECT IndexID, SelfID FROM AAAAAFT WHERE NodeSum > 0) S ON S.SelfID = "
          "A.ParentID WHERE A.SelfID <> '00000'  And A.NodeSum = 0 And A.isStop=0 ORDER BY "
          "A.IndexID");
  queries.emplace_back(
      "AZ_StockWare",
      "SELECT 'Y' AS IsDownData, G.IndexID AS _ID, K.IndexID AS nStockID, W.IndexID AS nWareID, "
      "W.LongName AS sWareName, W.Bopomofo as sBopomofo, G.Quantity AS nQuantity, G.Price AS "
      "fCostPrice, G.SumTo AS fCostTotal, 'Y' AS sIsActive, 1 AS nPersonID,  1 AS nCompanyID FROM "
      "AAAAAEY G INNER JOIN AAAAANN(" +
          q + ") K ON G.StockID = K.SelfID And G.CompanyID=" + c + " INNER JOIN AAAAANV(" + q +
          ") W ON G.WareID = W.SelfID");
  return queries;
}

std::string CompanyValuesQuery() {
  return "SELECT * FROM AAAAAFH ";
}

std::string RightsQuery() {
  return "SELECT A.IndexID AS nPersonID, B.Limit FROM AAAAADG A INNER JOIN AAAAACV B ON A.SelfID "
         "= B.PersonID WHERE SelfID <> '00000' ";
}

TableQueries BillLineQueries(std::string_view begin, std::string_view end) {
  const std::string range =
      " And D.[DATE] >= " + SqlLiteral(begin) + " AND D.[DATE] <= " + SqlLiteral(end);
  TableQueries queries;
  queries.emplace_back(
      "AZ_BillDetailAll",
      "SELECT CAST(D.BillID AS bigint)*100000000+D.BillDetailID AS _ID, D.BillID, 'Y' AS "
      "IsDownData, 1 AS nCompanyID, CASE WHEN D.BillType=135 And D.Orientation=1001 THEN 1351 "
      "WHEN D.BillType=136 And D.Orientation=1001 THEN 1361 WHEN D.BillType=135 And "
      "D.Orientation=1001 And M.BillMode=401 THEN 1351 WHEN D.BillType=135 And M.BillMode=401 "
      "THEN 135 ELSE D.BillType END AS nBillType,CASE WHEN d.BillType IN (113, 115, 132, 145, "
      "133, 141, 135, 136, 138) AND D.Orientation=1001 THEN -1 ELSE 1 END AS nStockDirection, "
      "K.IndexID AS nStockID,DATEDIFF(s, '1970-01-01 00:00:00', d.DATE)*1000. as nDateTime, "
      "isNull(C.IndexID,0) AS nClientID, W.IndexID AS nWareID, W.LongName AS sWareName, "
      "isNull(U.IndexID,1)+400000 AS nWareUnit, CASE WHEN UnitRate = 0 THEN 1 ELSE UnitRate END "
      "As fUnitRate, abs(D.Quantity) AS nWareQty, D.Price AS fPrice,abs(D.SumTo) AS fTotal, "
      "abs(D.CostSumTo) AS fCostTotal, - 1 AS nTrueStockID, isNull(P.IndexID,0) AS nPersonID, "
      "M.Number AS sBillNumber, D.Discount * 100 AS fDiscount, Abs(isNull(A.SumTo,0)) As "
      "fReceived, Abs(isNull(B.SumTo,0)) As fPriorTotal, M.Memo as sMemo FROM AAAACAX D INNER "
      "JOIN AAAAAEO K ON K.SelfID = D.StockID INNER JOIN AAAAAFT W ON D.WareID = W.SelfID INNER "
      "JOIN AAAAABG M ON D.BillID = M.BillID LEFT JOIN AAAAABY C ON D.ClientID = C.SelfID LEFT "
      "JOIN AAAAADG P ON D.PersonID = P.SelfID LEFT JOIN AAAAAFN U ON D.UnitID = U.SelfID LEFT "
      "JOIN (SELECT BillID, Sum(Abs(SumTo)) As SumTo FROM AAAAAAN Where Orientation = 1010 Group "
      "By BillID) A ON A.BillID = M.BillID LEFT JOIN (SELECT BillID, Sum(Abs(SumTo)) As SumTo "
      "FROM AAAAAAN Where Orientation = 1011 Group By BillID) B ON B.BillID = M.BillID WHERE "
      "M.OldAbolish='F' And M.IsMobileBill = 0" +
          range);
  queries.emplace_back(
      "AZ_BillDetailAll",
      "SELECT CAST(D.BillID AS bigint)*200000000+D.BillDetailID AS _ID, D.BillID, 'Y' AS "
      "IsDownData, 1 AS nCompanyID, D.BillType AS nBillType,'' AS nStockDirection, 0 AS "
      "nStockID,DATEDIFF(s, '1970-01-01 00:00:00', d.DATE)*1000. as nDateTime, C.IndexID AS "
      "nClientID, 0 AS nWareID, '' AS sWareName, 400001 AS nWareUnit, 0 AS nWareQty, 0 AS "
      "fPrice,abs(D.SumTo) AS fReceived, Abs(isNull(B.SumTo,0)) As fPriorTotal, 0 AS fCostTotal, "
      "- 1 AS nTrueStockID, isNull(P.IndexID,0) AS nPersonID, M.Number AS sRefNo, 0 AS fDiscount "
      ",M.Memo as sHeaderText FROM AAAAAAN D INNER JOIN AAAAABY C ON D.ClientID = C.SelfID INNER "
      "JOIN AAAAADG P ON D.PersonID = P.SelfID LEFT JOIN AAAAABG M ON D.BillID = M.BillID LEFT "
      "JOIN (SELECT BillID, Sum(Abs(SumTo)) As SumTo FROM AAAAAAN Where Orientation = 1011 Group "
      "By BillID) B ON B.BillID = M.BillID WHERE D.BillType In (171,172) And D.Orientation=1001 "
      "And M.OldAbolish='F' And M.IsMobileBill = 0" +
          range);
  queries.emplace_back(
      "AZ_BillDetailAll",
      "SELECT CAST(D.BillID AS bigint)*300000000+D.BillDetailID AS _ID, D.BillID, 'Y' AS "
      "IsDownData, 1 AS nCompanyID, D.BillType AS nBillType,0 AS nStockDirection, K.IndexID AS "
      "nStockID,DATEDIFF(s, '1970-01-01 00:00:00', d.DATE)*1000. as nDateTime, "
      "isNull(C.IndexID,0) AS nClientID, W.IndexID AS nWareID, W.LongName AS sWareName, "
      "isNull(U.IndexID,1)+400000 AS nWareUnit, CASE WHEN UnitRate = 0 THEN 1 ELSE UnitRate END "
      "as fUnitRate, abs(D.Quantity) AS nWareQty, D.Price AS fPrice,abs(D.SumTo) AS fTotal, "
      "abs(D.CostSumTo) AS fCostTotal, - 1 AS nTrueStockID, isNull(P.IndexID,0) AS nPersonID, "
      "M.Number AS sBillNumber, D.Discount * 100 AS fDiscount, 0 As fReceived, M.Memo as sMemo "
      "FROM AAAAAAX D INNER JOIN AAAAAEO K ON K.SelfID = D.StockID INNER JOIN AAAAAFT W ON "
      "D.WareID = W.SelfID INNER JOIN AAAAABJ M ON D.BillID = M.BillID LEFT JOIN AAAAABY C ON "
      "D.ClientID = C.SelfID LEFT JOIN AAAAADG P ON D.PersonID = P.SelfID LEFT JOIN AAAAAFN U ON "
      "D.UnitID = U.SelfID WHERE D.BillType = 300 And M.OldAbolish='F' And M.IsMobileBill = 0" +
          range);
  return queries;
}

}  // namespace quor::mobile
