#include "sync/DownloadMapping.h"

#include <exception>

#include "sync/DownloadPass.h"
#include "sync/SyncLog.h"

namespace quor::sync {

const std::vector<CloudBillTable>& CloudBillTables() {
  static const std::vector<CloudBillTable> kTables = {
      {"tb_purchase_info", "tb_purchase_detail", "purchase_sn", " And State=2 ",
       "order by A.id, A.WareID "},
      {"tb_sale_info", "tb_sale_detail", "orders_sn", " And State=2 ", "order by A.id, A.WareID "},
      {"tb_transfer_order", "tb_transfer_order_detail", "order_no", " And status=2 ",
       "order by A.id, A.WareID "},
      {"tb_store_order", "tb_store_order_detail", "order_no", " And status=2 ",
       "order by A.id, A.WareID "},
      {"tb_pay_records", "", "business_sn", " And BillType In (171,172) ", "order by A.id"},
  };
  return kTables;
}

bool DownloadCloudChanges(CloudClient& client, sql::Connection& accountSet,
                          const DownloadContext& context) {
  if (!client.HasSession()) {
    SyncLog("cloud download: no cloud session; nothing fetched");
    return false;
  }
  try {
    DownloadPass pass(client, accountSet, context);
    DownloadBasicDataIn(pass);
    pass.Succeeded(client.NotifyBasicDownloaded(), "the basic-data notice");
    for (const CloudBillTable& table : CloudBillTables()) DownloadBillsIn(pass, table);
    return true;
  } catch (const std::exception& error) {
    SyncLog(std::string("cloud download: ") + error.what());
    return false;
  }
}

}  // namespace quor::sync
