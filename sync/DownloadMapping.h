// The download of one account set: the records and bills created on the
// mobile side are fetched from the cloud, written into the account set
// through the shared record and bill writers, and each cloud row is then told
// its local identifier (the back-link), which stops the cloud offering it
// again. A record or bill whose back-link could not be confirmed is kept in
// PendingLinks and finished at a later pass instead of being created twice.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quor::sql {
class Connection;
}

namespace quor::sync {

class CloudClient;
class PendingLinks;

struct DownloadContext {
  std::string vocation;    // the account set's trade code ("FZ" and "MY" keep colours and sizes)
  bool postAtOnce = true;  // AutoBillTransfer: post each downloaded bill
  // Links awaiting confirmation, kept by the caller across passes; without
  // one they last for this call only.
  PendingLinks* pendingLinks = nullptr;
};

// One kind of cloud bill and how its rows are asked for.
struct CloudBillTable {
  std::string masterTable;
  std::string detailTable;  // empty: the bill has no goods lines (payment records)
  std::string numberMember;
  std::string stateFilter;  // "SQLAnd" of the master fetch
  std::string detailOrder;  // "SQLOrder" of the line fetch
};

// Purchases, sales, transfer orders, store orders and payment records, in
// the order they are downloaded.
const std::vector<CloudBillTable>& CloudBillTables();

// The values of a new local bill that its lines repeat.
struct DownloadedBill {
  std::int32_t billId = 0;
  std::int32_t billType = 0;
  std::string client;
  std::string handler;
  std::string storehouse;
  std::string date;  // "YYYY-MM-DD"
};

// The whole download: basic data, the basic-data notice, then the five bill
// kinds. False when there is no session or an error ended it; errors are
// logged, never raised.
bool DownloadCloudChanges(CloudClient& client, sql::Connection& accountSet,
                          const DownloadContext& context);

// Units, staff, customers, suppliers, storehouses, colour and size groups,
// colours and sizes, the colour/size notice, goods and goods images. A row
// that cannot be stored is logged and offered again by the cloud next time.
// Raises only when the account set cannot be reached.
bool DownloadBasicData(CloudClient& client, sql::Connection& accountSet,
                       const DownloadContext& context);

// The bills of one kind: each is stored with its account and goods lines in
// one transaction (nothing of a bill whose lines fail is left), back-linked,
// then posted when the context says so. False when the masters could not be
// fetched.
bool DownloadBills(CloudClient& client, sql::Connection& accountSet, const DownloadContext& context,
                   const CloudBillTable& table);

// The goods lines of `bill` (and, in garment trades, their colour/size
// lines). False when the lines could not be fetched, a row is no object, or
// any line was refused; the caller then drops the bill.
bool DownloadBillDetails(CloudClient& client, sql::Connection& accountSet,
                         const DownloadContext& context, const std::string& detailTable,
                         const std::string& filter, const std::string& order,
                         const DownloadedBill& bill);

}  // namespace quor::sync
