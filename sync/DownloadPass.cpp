#include "sync/DownloadPass.h"
#include "sync/SyncLog.h"

namespace quor::sync {

DownloadPass::DownloadPass(CloudClient& client, sql::Connection& accountSet,
                           const DownloadContext& context)
    : client_(client),
      accountSet_(accountSet),
      context_(context),
      links_(context.pendingLinks),
      proc_(accountSet, "CloudProc"),
      query_(accountSet, "CloudQuery") {
  accountSet_.Open();
  database_ = accountSet_.CurrentDatabase();
  scope_ = database_ + "|" + client_.Session().cid;
}

void DownloadPass::Log(const std::string& text) const {
  SyncLog("cloud download " + database_ + ": " + text);
}

remote::WriteResult DownloadPass::WriteRecord(std::string_view writer,
                                              remote::RecordValues values) {
  values.emplace_back("OperatorID", client_.Session().operatorId);
  values.emplace_back("CompanyID", client_.Session().companyId);
  return remote::WriteRecordValues(writer, proc_, values);
}

remote::BillWriteResult DownloadPass::WriteBill(std::string_view writer,
                                                remote::RecordValues values) {
  values.emplace_back("OperatorID", client_.Session().operatorId);
  values.emplace_back("CompanyID", client_.Session().companyId);
  return remote::WriteBillValues(writer, proc_, values);
}

long long DownloadPass::Execute(const std::string& text,
                                std::initializer_list<std::pair<const char*, sql::Value>> values) {
  query_.SetText(text);
  for (const auto& [name, value] : values) query_.Params().ByName(name).SetValue(value);
  return query_.Execute();
}

std::string DownloadPass::QueryText(
    const std::string& text, std::initializer_list<std::pair<const char*, sql::Value>> values) {
  query_.SetText(text);
  for (const auto& [name, value] : values) query_.Params().ByName(name).SetValue(value);
  sql::RecordSet& rows = query_.Open();
  std::string first;
  if (!rows.Eof() && !rows.Fields().empty()) first = rows.FieldValue(0).AsText();
  query_.Close();
  return first;
}

bool DownloadPass::Succeeded(const CloudReply& reply, const std::string& what) const {
  if (!reply.Failed()) return true;
  Log(what + ": " + reply.errorText);
  return false;
}

}  // namespace quor::sync
