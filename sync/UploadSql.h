// The SELECT texts that read one basic record or one bill of an account set
// for the cloud: each names the cloud table its rows go to, and its column
// aliases are the members the cloud service expects. The texts run on SQL
// Server unchanged, so their wording is fixed; the values pasted into them
// are checked or quoted here so that none can leave its place in the text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quor::sync {

// One query whose rows become the rows of one cloud table.
struct UploadQuery {
  std::string tableName;
  std::string sqlText;
};

// What the pasted values must be; std::invalid_argument names the one that is
// not. The company cloud identifier goes into the text as a number, so it must
// be decimal digits (at most 18, so that SQL Server reads it as a number).
bool IsCloudCompanyId(std::string_view cid);

// The lines of a bill: garment trades ("FZ", "MY") keep colour and size per
// line and count in "CS_Quantity" with detail mode 2; every other trade counts
// in "Quantity" with detail mode 0.
struct BillLineShape {
  int detailMode = 0;
  std::string quantityColumn = "Quantity";
};
BillLineShape BillLineShapeOf(std::string_view vocation);
bool IsGarmentTrade(std::string_view vocation);

// Basic records. An empty record identifier reads the whole table.
UploadQuery StaffUploadQuery(std::string_view cid, std::string_view operatorId,
                             std::string_view selfId);
UploadQuery AccountsUploadQuery(std::string_view cid, std::string_view operatorId,
                                std::string_view selfId);
UploadQuery CustomersUploadQuery(std::string_view cid, std::string_view operatorId,
                                 std::string_view selfId);
UploadQuery SuppliersUploadQuery(std::string_view cid, std::string_view operatorId,
                                 std::string_view selfId);
UploadQuery StorehousesUploadQuery(std::string_view cid, std::string_view operatorId,
                                   std::string_view selfId);
UploadQuery GoodsUploadQuery(std::string_view cid, std::string_view operatorId,
                             std::string_view selfId);

// Bills, in the order they are sent: master, lines and (purchases and sales)
// payment records. The quantity column must be "Quantity" or "CS_Quantity".
std::vector<UploadQuery> PurchaseBillUploadQueries(std::string_view cid, std::int32_t billId,
                                                   const BillLineShape& shape);
std::vector<UploadQuery> SaleBillUploadQueries(std::string_view cid, std::int32_t billId,
                                               const BillLineShape& shape);
std::vector<UploadQuery> TransferBillUploadQueries(std::string_view cid, std::int32_t billId,
                                                   const BillLineShape& shape);
std::vector<UploadQuery> StoreOrderUploadQueries(std::string_view cid, std::int32_t billId,
                                                 const BillLineShape& shape);

}  // namespace quor::sync
