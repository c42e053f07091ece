#include "tests/sync/CloudTables.h"

#include <cctype>
#include <regex>

namespace quor::sync::testing {
namespace {

using test::CloudAnswer;
using test::CloudRequest;

CloudAnswer JsonAnswer(const nlohmann::json& value) {
  return CloudAnswer::Json(value.dump());
}

CloudAnswer Refusal(const std::string& why) {
  return CloudAnswer::Status(500, why);
}

std::string Field(const CloudRequest& request, const std::string& name) {
  return request.FormValue(name).value_or("");
}

// The service compares member names without regard to case ("ID" is "id").
nlohmann::json* MemberNamed(nlohmann::json& row, const std::string& name) {
  for (auto& [key, value] : row.items()) {
    if (key.size() != name.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < key.size() && same; ++i) {
      same = std::tolower(static_cast<unsigned char>(key[i])) ==
             std::tolower(static_cast<unsigned char>(name[i]));
    }
    if (same) return &value;
  }
  return nullptr;
}

bool NoBillNumber(const nlohmann::json& row) {
  const std::string bill = MemberText(row, "BillID");
  return bill.empty() || bill == "0";
}

}  // namespace

std::string MemberText(const nlohmann::json& row, const std::string& name) {
  const auto found = row.find(name);
  if (found == row.end() || found->is_null()) return {};
  return found->is_string() ? found->get<std::string>() : found->dump();
}

CloudTables::CloudTables(test::CloudStandIn& cloud, std::string cid) : cid_(std::move(cid)) {
  for (const char* path :
       {"/business/KEY260", "/business/KEY262", "/business/KEY263", "/business/KEY264",
        "/business/KEY265", "/business/KEY266", "/business/KEY267", "/business/KEY268",
        "/business/KEY270", "/business/KEY463", "/business/KEY465", "/business/KEY466"}) {
    const std::string name = path;
    cloud.OnPath(name, [this, name](const CloudRequest& request) {
      Interceptor interceptor;
      {
        std::lock_guard lock(mutex_);
        interceptor = interceptor_;
      }
      if (interceptor) {
        if (std::optional<CloudAnswer> answer = interceptor(request)) return *answer;
      }
      return Answer(name, request);
    });
  }
}

void CloudTables::Add(const std::string& table, nlohmann::json row) {
  std::lock_guard lock(mutex_);
  nlohmann::json& rows = tables_[table];
  if (!rows.is_array()) rows = nlohmann::json::array();
  rows.push_back(std::move(row));
}

nlohmann::json CloudTables::Rows(const std::string& table) const {
  std::lock_guard lock(mutex_);
  const auto found = tables_.find(table);
  return found == tables_.end() ? nlohmann::json::array() : found->second;
}

void CloudTables::Intercept(Interceptor interceptor) {
  std::lock_guard lock(mutex_);
  interceptor_ = std::move(interceptor);
}

CloudAnswer CloudTables::Answer(const std::string& path, const CloudRequest& request) {
  if (path == "/business/KEY268") {
    return JsonAnswer({{"id", cid_}, {"SelfID", "00002"}});
  }
  // The column calls name no company; every other call does.
  if (path == "/business/KEY262" || path == "/business/KEY263") return SetColumn(request);
  if (Field(request, "CID") != cid_) return Refusal("unknown company");
  const std::string table = Field(request, "tableName");
  if (path == "/business/KEY260") return Upload(request);
  if (path == "/business/KEY266") {
    return Unlinked(table, "SelfID", [](const nlohmann::json&) { return true; });
  }
  if (path == "/business/KEY267") {
    if (Field(request, "BillID") != "0") return Refusal("BillID");
    return Unlinked(table, nullptr, [](const nlohmann::json&) { return true; });
  }
  if (path == "/business/KEY466") return Details(request);
  if (path == "/business/KEY463") return Images(request);
  return JsonAnswer({{"result", "ok"}});
}

CloudAnswer CloudTables::Upload(const CloudRequest& request) {
  const nlohmann::json rows = nlohmann::json::parse(Field(request, "tableData"), nullptr, false);
  if (!rows.is_array()) return Refusal("tableData");
  for (const nlohmann::json& row : rows) Add(Field(request, "tableName"), row);
  return JsonAnswer({{"result", "ok"}, {"rows", rows.size()}});
}

CloudAnswer CloudTables::Unlinked(const std::string& table, const char* linkColumn,
                                  const std::function<bool(const nlohmann::json&)>& also) {
  nlohmann::json found = nlohmann::json::array();
  for (const nlohmann::json& row : Rows(table)) {
    const bool unlinked =
        linkColumn != nullptr ? MemberText(row, linkColumn).empty() : NoBillNumber(row);
    if (unlinked && also(row)) found.push_back(row);
  }
  return JsonAnswer(found);
}

CloudAnswer CloudTables::SetColumn(const CloudRequest& request) {
  const std::string table = Field(request, "tableName");
  const std::string column = Field(request, "ColName");
  const std::string value = Field(request, "ColValue");
  const std::string ifName = Field(request, "IfName");
  const std::string ifValue = Field(request, "IfValue");
  if (column.empty() || ifName.empty()) return Refusal("ColName and IfName");
  std::lock_guard lock(mutex_);
  int changed = 0;
  for (nlohmann::json& row : tables_[table]) {
    nlohmann::json* condition = MemberNamed(row, ifName);
    if (condition == nullptr) continue;
    const std::string held =
        condition->is_string() ? condition->get<std::string>() : condition->dump();
    if (held != ifValue) continue;
    nlohmann::json* target = MemberNamed(row, column);
    if (target != nullptr) {
      *target = value;
    } else {
      row[column] = value;
    }
    ++changed;
  }
  return JsonAnswer({{"result", "ok"}, {"changed", changed}});
}

CloudAnswer CloudTables::Details(const CloudRequest& request) {
  // The service applies the condition to its own table; this one understands
  // the single comparison the download sends.
  static const std::regex kCondition(R"(^ And A\.(\w+) = '([^']*)'$)");
  std::smatch match;
  const std::string condition = Field(request, "SQLAnd");
  if (Field(request, "BillID") != "0" || !std::regex_match(condition, match, kCondition)) {
    return Refusal("SQLAnd");
  }
  const std::string column = match[1];
  const std::string number = match[2];
  return Unlinked(Field(request, "tableName"), nullptr,
                  [&](const nlohmann::json& row) { return MemberText(row, column) == number; });
}

CloudAnswer CloudTables::Images(const CloudRequest& request) {
  if (Field(request, "tableName") !=
          "tb_goods_img A LEFT JOIN tb_goods_info B ON A.goods_id=B.id" ||
      Field(request, "Column") != "A.*, B.SelfID AS WareID, B.imagine") {
    return Refusal("join");
  }
  const nlohmann::json goods = Rows("tb_goods_info");
  nlohmann::json found = nlohmann::json::array();
  for (nlohmann::json row : Rows("tb_goods_img")) {
    if (!MemberText(row, "SelfID").empty()) continue;
    row["WareID"] = nullptr;
    row["imagine"] = nullptr;
    for (const nlohmann::json& ware : goods) {
      if (MemberText(ware, "id") != MemberText(row, "goods_id")) continue;
      if (ware.contains("SelfID")) row["WareID"] = ware["SelfID"];
      if (ware.contains("imagine")) row["imagine"] = ware["imagine"];
    }
    found.push_back(row);
  }
  return JsonAnswer(found);
}

}  // namespace quor::sync::testing
