#include "sync/UploadMapping.h"

#include <exception>
#include <vector>

#include "sync/CloudClient.h"
#include "sync/UploadSql.h"

namespace quor::sync {
namespace {

constexpr const char* kNoUploadSessionText = "no cloud session is open for this account set";

// Why the session cannot carry an upload; empty when it can.
std::string UploadSessionProblem(const CloudClient& client) {
  const std::string& cid = client.Session().cid;
  if (cid.empty()) return kNoUploadSessionText;
  if (!IsCloudCompanyId(cid)) {
    return "the company cloud identifier '" + cid + "' is no number; nothing was sent";
  }
  return {};
}

std::string SendUploadQuery(CloudClient& client, sql::Connection& accountSet,
                            const UploadQuery& query) {
  try {
    return client.UploadTableRows(accountSet, query.tableName, query.sqlText).errorText;
  } catch (const std::exception& error) {
    return query.tableName + ": " + error.what();
  }
}

template <typename BuildQuery>
std::string UploadRecord(CloudClient& client, sql::Connection& accountSet,
                         const std::string& selfId, BuildQuery build) {
  if (std::string problem = UploadSessionProblem(client); !problem.empty()) return problem;
  const CloudSession& session = client.Session();
  return SendUploadQuery(client, accountSet, build(session.cid, session.operatorId, selfId));
}

template <typename BuildQueries>
std::string UploadBillParts(CloudClient& client, sql::Connection& accountSet, std::int32_t billId,
                            int detailMode, const std::string& quantityColumn, BuildQueries build) {
  if (std::string problem = UploadSessionProblem(client); !problem.empty()) return problem;
  std::vector<UploadQuery> queries;
  try {
    queries = build(client.Session().cid, billId, BillLineShape{detailMode, quantityColumn});
  } catch (const std::exception& error) {
    return error.what();
  }
  for (const UploadQuery& query : queries) {
    if (std::string errorText = SendUploadQuery(client, accountSet, query); !errorText.empty()) {
      return errorText;
    }
  }
  return {};
}

}  // namespace

std::string UploadStaff(CloudClient& client, sql::Connection& accountSet,
                        const std::string& selfId) {
  return UploadRecord(client, accountSet, selfId, StaffUploadQuery);
}

std::string UploadAccounts(CloudClient& client, sql::Connection& accountSet,
                           const std::string& selfId) {
  return UploadRecord(client, accountSet, selfId, AccountsUploadQuery);
}

std::string UploadCustomers(CloudClient& client, sql::Connection& accountSet,
                            const std::string& selfId) {
  return UploadRecord(client, accountSet, selfId, CustomersUploadQuery);
}

std::string UploadSuppliers(CloudClient& client, sql::Connection& accountSet,
                            const std::string& selfId) {
  return UploadRecord(client, accountSet, selfId, SuppliersUploadQuery);
}

std::string UploadStorehouses(CloudClient& client, sql::Connection& accountSet,
                              const std::string& selfId) {
  return UploadRecord(client, accountSet, selfId, StorehousesUploadQuery);
}

std::string UploadGoods(CloudClient& client, sql::Connection& accountSet,
                        const std::string& selfId) {
  return UploadRecord(client, accountSet, selfId, GoodsUploadQuery);
}

std::string UploadPurchaseBill(CloudClient& client, sql::Connection& accountSet,
                               std::int32_t billId, int detailMode,
                               const std::string& quantityColumn) {
  return UploadBillParts(client, accountSet, billId, detailMode, quantityColumn,
                         PurchaseBillUploadQueries);
}

std::string UploadSaleBill(CloudClient& client, sql::Connection& accountSet, std::int32_t billId,
                           int detailMode, const std::string& quantityColumn) {
  return UploadBillParts(client, accountSet, billId, detailMode, quantityColumn,
                         SaleBillUploadQueries);
}

std::string UploadTransferBill(CloudClient& client, sql::Connection& accountSet,
                               std::int32_t billId, int detailMode,
                               const std::string& quantityColumn) {
  return UploadBillParts(client, accountSet, billId, detailMode, quantityColumn,
                         TransferBillUploadQueries);
}

std::string UploadStoreOrder(CloudClient& client, sql::Connection& accountSet, std::int32_t billId,
                             int detailMode, const std::string& quantityColumn) {
  return UploadBillParts(client, accountSet, billId, detailMode, quantityColumn,
                         StoreOrderUploadQueries);
}

std::string UploadBasicRecord(CloudClient& client, sql::Connection& accountSet,
                              const std::string& basicDb, const std::string& selfId) {
  if (basicDb == "AAAAAAC") return UploadAccounts(client, accountSet, selfId);
  if (basicDb == "AAAAAFT") return UploadGoods(client, accountSet, selfId);
  if (basicDb == "AAAAABY") return UploadCustomers(client, accountSet, selfId);
  if (basicDb == "BZ_SupplierInfo") return UploadSuppliers(client, accountSet, selfId);
  if (basicDb == "AAAAADG") return UploadStaff(client, accountSet, selfId);
  if (basicDb == "AAAAAEO") return UploadStorehouses(client, accountSet, selfId);
  return kUnknownBasicTableText;
}

BillUpload UploadBill(CloudClient& client, sql::Connection& accountSet, const std::string& vocation,
                      std::int32_t billType, std::int32_t billId) {
  const BillLineShape shape = BillLineShapeOf(vocation);
  BillUpload upload;
  upload.known = true;
  switch (billType) {
    case 112:
    case 113:
      upload.completionTable = "B";
      upload.errorText =
          UploadPurchaseBill(client, accountSet, billId, shape.detailMode, shape.quantityColumn);
      break;
    case 115:
    case 116:
      upload.completionTable = "S";
      upload.errorText =
          UploadSaleBill(client, accountSet, billId, shape.detailMode, shape.quantityColumn);
      break;
    case 136:
    case 137:
      upload.completionTable = "E";
      upload.errorText =
          UploadTransferBill(client, accountSet, billId, shape.detailMode, shape.quantityColumn);
      break;
    case 300:
      upload.errorText =
          UploadStoreOrder(client, accountSet, billId, shape.detailMode, shape.quantityColumn);
      break;
    default:
      upload.known = false;
      break;
  }
  return upload;
}

}  // namespace quor::sync
