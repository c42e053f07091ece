#include "remote/ChangeQueue.h"

#include <initializer_list>
#include <stdexcept>
#include <utility>

#include "ServerPublic/ConfigKeys.h"
#include "ServerPublic/ConfigStore.h"
#include "ServerPublic/ConsoleSwitches.h"
#include "platform/text/Encodings.h"

namespace quor::remote {
namespace {

// The columns and the fixed "BASIC" of the queue's row as the synchroniser
// reads it; the four values are parameters.
constexpr const char* kInsertBasicChange =
    "INSERT INTO Master.dbo.UploadAppServer ([DataBase], Vocation, DataMode, BasicDB, SelfID) "
    "VALUES (:DataBase, :Vocation, 'BASIC', :BasicDB, :SelfID)";

// The query component is shared with the generic SQL members: they may have
// turned marker parsing off for a client's text, and a client may later ask
// dspExecSQL for the rows of whatever text the component holds. So the insert
// runs with parsing on and leaves neither its text (which would add the row
// again) nor a changed setting behind.
void GiveBack(sql::Statement& query, bool paramCheck) {
  query.SetText("");
  if (query.ParamCheck() != paramCheck) query.SetParamCheck(paramCheck);
}

void InsertQueueRow(sql::Statement& query, const char* text,
                    std::initializer_list<std::pair<const char*, sql::Value>> values) {
  const bool paramCheck = query.ParamCheck();
  try {
    query.SetParamCheck(true);
    query.SetText(text);
    for (const auto& [name, value] : values) query.Params().ByName(name).SetValue(value);
    query.Execute();
  } catch (...) {
    GiveBack(query, paramCheck);
    throw;
  }
  GiveBack(query, paramCheck);
}

}  // namespace

bool ServerSideSynchronisation() {
  return !UseClientAutoSynchro() &&
         IsTrue(ReadConfig(configkey::kStartAutoSynchro, ConfigBool(false)));
}

bool MayQueueBasicChange(const BasicChange& change) {
  return change.mode == 0 && change.vocation != kMobileVocation && ServerSideSynchronisation();
}

bool QueuesBasicChange(const BasicChange& change) {
  return change.result == 0 && MayQueueBasicChange(change);
}

void RequireQueueRowFits(const BasicChange& change) {
  if (!MayQueueBasicChange(change)) return;
  const std::pair<const char*, const std::string*> values[] = {{"Vocation", &change.vocation},
                                                               {"dbName", &change.table}};
  for (const auto& [what, value] : values) {
    // A character without a code page 936 form is stored as one '?'.
    const std::size_t width = text::Utf8ToGbk(*value, text::OnError::kReplace).size();
    if (width > kQueueNameColumnWidth) {
      throw std::invalid_argument(std::string(what) + " \"" + *value + "\" is longer than the " +
                                  std::to_string(kQueueNameColumnWidth) +
                                  " characters the cloud change queue holds; nothing was stored");
    }
  }
}

bool EnqueueBasicChange(sql::Statement& query, const BasicChange& change) {
  if (!QueuesBasicChange(change)) return false;
  InsertQueueRow(query, kInsertBasicChange,
                 {{"DataBase", sql::Value::Text(change.database)},
                  {"Vocation", sql::Value::Text(change.vocation)},
                  {"BasicDB", sql::Value::Text(change.table)},
                  {"SelfID", sql::Value::Text(change.selfId)}});
  return true;
}

}  // namespace quor::remote

namespace quor::remote {
namespace {

constexpr const char* kInsertBillChange =
    "INSERT INTO Master.dbo.UploadAppServer ([DataBase], Vocation, DataMode, BillID, BillType) "
    "VALUES (:DataBase, :Vocation, 'BILL', :BillID, :BillType)";

}  // namespace

bool QueuesBillChange(const BillChange& change) {
  return change.isMobileBill == 0 && change.result == 0 && ServerSideSynchronisation();
}

void RequireBillQueueRowFits(const std::string& vocation) {
  if (!ServerSideSynchronisation()) return;
  const std::size_t width = text::Utf8ToGbk(vocation, text::OnError::kReplace).size();
  if (width > kQueueNameColumnWidth) {
    throw std::invalid_argument("Vocation \"" + vocation + "\" is longer than the " +
                                std::to_string(kQueueNameColumnWidth) +
                                " characters the cloud change queue holds; the bill was not "
                                "posted");
  }
}

bool EnqueueBillChange(sql::Statement& query, const BillChange& change) {
  if (!QueuesBillChange(change)) return false;
  InsertQueueRow(query, kInsertBillChange,
                 {{"DataBase", sql::Value::Text(change.database)},
                  {"Vocation", sql::Value::Text(change.vocation)},
                  {"BillID", sql::Value::Integer(change.billId)},
                  {"BillType", sql::Value::Integer(change.billType)}});
  return true;
}

}  // namespace quor::remote
