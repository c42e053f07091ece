// What the parts of one account set's download share: the cloud client, the
// account-set connection with one stored-procedure component and one query,
// the pending back-links, and the log line prefix. Internal to the download.
#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <utility>

#include "platform/sql/Statement.h"
#include "platform/sql/StoredProc.h"
#include "remote/methods/BillWriters.h"
#include "remote/methods/RecordWriters.h"
#include "sync/CloudClient.h"
#include "sync/DownloadMapping.h"
#include "sync/PendingLinks.h"

namespace quor::sync {

class DownloadPass {
 public:
  DownloadPass(CloudClient& client, sql::Connection& accountSet, const DownloadContext& context);

  CloudClient& Client() { return client_; }
  sql::Connection& AccountSet() { return accountSet_; }
  const DownloadContext& Context() const { return context_; }
  PendingLinks& Links() { return links_ != nullptr ? *links_ : ownLinks_; }
  // The account set and company a pending link belongs to.
  const std::string& Scope() const { return scope_; }

  void Log(const std::string& text) const;

  // The writers with the session's operator and company identifiers added.
  remote::WriteResult WriteRecord(std::string_view writer, remote::RecordValues values);
  remote::BillWriteResult WriteBill(std::string_view writer, remote::RecordValues values);

  // Runs `text` with its ":name" markers bound to `values`; returns the rows
  // affected. Cloud texts reach SQL Server only this way, as parameters.
  long long Execute(const std::string& text,
                    std::initializer_list<std::pair<const char*, sql::Value>> values);
  // The first field of the first row, empty when there is none.
  std::string QueryText(const std::string& text,
                        std::initializer_list<std::pair<const char*, sql::Value>> values);

  // The error text of a cloud call, logged with `what` when it failed.
  bool Succeeded(const CloudReply& reply, const std::string& what) const;

 private:
  CloudClient& client_;
  sql::Connection& accountSet_;
  const DownloadContext& context_;
  PendingLinks* links_;
  PendingLinks ownLinks_;
  std::string scope_;
  std::string database_;
  sql::StoredProc proc_;
  sql::Statement query_;
};

// The parts of the download on one pass.
void DownloadBasicDataIn(DownloadPass& pass);
bool DownloadBillsIn(DownloadPass& pass, const CloudBillTable& table);
bool DownloadBillDetailsIn(DownloadPass& pass, const std::string& detailTable,
                           const std::string& filter, const std::string& order,
                           const DownloadedBill& bill);

}  // namespace quor::sync
