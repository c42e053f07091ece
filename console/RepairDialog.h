// "修复SQLServer数据库错误": checks and repairs one account-set database with
// DBCC CHECKDB, after ending the sessions that work in it. The database is
// put into single-user mode for the checks and always back into multi-user
// mode afterwards, whether the repair worked or not.
#pragma once

#include <QDialog>

#include <memory>
#include <string>
#include <vector>

class QComboBox;

namespace quor::sql {
class Connection;
}

namespace quor::console {

class TfrmSQLCheckRehab : public QDialog {
 public:
  explicit TfrmSQLCheckRehab(QWidget* parent = nullptr);
  ~TfrmSQLCheckRehab() override;

  // "开始修复" on the selected database; true when the repair ran through.
  bool Repair();
  std::vector<std::string> DataBases() const;
  void SelectDataBase(const std::string& name);

 private:
  void Open();
  void EndSessions(const std::string& dataBase);

  std::unique_ptr<sql::Connection> connection_;
  QComboBox* cbDataBaseList_ = nullptr;
};

inline constexpr const char* kRepairSucceeded =
    "恭喜了，修复数据库成功，如果还是未解决错误，可以尝试一下手工SQL修复。\r\n"
    "修复方法可以网上搜索一下关键字 [DBCC CHECKDB]，还不行就请联系供应商！";

}  // namespace quor::console
