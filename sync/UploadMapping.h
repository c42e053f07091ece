// The uploads of the change queue: one basic record or one bill of the
// account set sent to its cloud tables, each returning an error text that is
// empty when every call it made succeeded. The queue pump picks the upload by
// the queue row's basic table or bill type (UploadBasicRecord, UploadBill).
#pragma once

#include <cstdint>
#include <string>

namespace quor::sql {
class Connection;
}

namespace quor::sync {

class CloudClient;

// The error text of a basic record whose table has no upload.
inline constexpr const char* kUnknownBasicTableText = "未知基本资料";

// One record of a basic table (the whole table when `selfId` is empty), read
// with the session's operator and sent with one table upload. Without a
// session, or with a company cloud identifier that is no number, nothing is
// read or sent and the error text says why.
std::string UploadStaff(CloudClient& client, sql::Connection& accountSet,
                        const std::string& selfId);
std::string UploadAccounts(CloudClient& client, sql::Connection& accountSet,
                           const std::string& selfId);
std::string UploadCustomers(CloudClient& client, sql::Connection& accountSet,
                            const std::string& selfId);
std::string UploadSuppliers(CloudClient& client, sql::Connection& accountSet,
                            const std::string& selfId);
std::string UploadStorehouses(CloudClient& client, sql::Connection& accountSet,
                              const std::string& selfId);
std::string UploadGoods(CloudClient& client, sql::Connection& accountSet,
                        const std::string& selfId);

// One bill: master, lines and (purchases and sales) payment records, in that
// order. The first call that fails ends the upload with its error text, so a
// bill is never reported sent when part of it was lost.
std::string UploadPurchaseBill(CloudClient& client, sql::Connection& accountSet,
                               std::int32_t billId, int detailMode,
                               const std::string& quantityColumn);
std::string UploadSaleBill(CloudClient& client, sql::Connection& accountSet, std::int32_t billId,
                           int detailMode, const std::string& quantityColumn);
std::string UploadTransferBill(CloudClient& client, sql::Connection& accountSet,
                               std::int32_t billId, int detailMode,
                               const std::string& quantityColumn);
std::string UploadStoreOrder(CloudClient& client, sql::Connection& accountSet, std::int32_t billId,
                             int detailMode, const std::string& quantityColumn);

// The upload of a BASIC queue row by its table: "AAAAAAC" accounts, "AAAAAFT"
// goods, "AAAAABY" customers, "BZ_SupplierInfo" suppliers, "AAAAADG" staff,
// "AAAAAEO" storehouses; any other table sends nothing and reports
// kUnknownBasicTableText.
std::string UploadBasicRecord(CloudClient& client, sql::Connection& accountSet,
                              const std::string& basicDb, const std::string& selfId);

// What became of a BILL queue row.
struct BillUpload {
  // False for a bill type that has no upload: nothing was sent.
  bool known = false;
  // The completion call's table letter: "B" purchases, "S" sales, "E"
  // transfers; empty for store orders (they have none) and unknown types.
  std::string completionTable;
  std::string errorText;
};

// The upload of a BILL queue row by its type: 112 and 113 purchases, 115 and
// 116 sales, 136 and 137 transfers, 300 store orders; the lines are counted
// by the trade's quantity column (garment trades "FZ" and "MY":
// "CS_Quantity", detail mode 2; others "Quantity", 0).
BillUpload UploadBill(CloudClient& client, sql::Connection& accountSet, const std::string& vocation,
                      std::int32_t billType, std::int32_t billId);

}  // namespace quor::sync
