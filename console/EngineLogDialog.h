// "查看MSDE启动日志": the SQL Server engine's start-up log (its ERRORLOG file)
// shown read-only, loaded once when the window opens.
#pragma once

#include <QDialog>

#include <string>
#include <vector>

class QPlainTextEdit;

namespace quor::console {

class TfrmMiniSQLLog : public QDialog {
 public:
  explicit TfrmMiniSQLLog(QWidget* parent = nullptr);

  std::vector<std::string> Lines() const;

 private:
  void Load();
  QPlainTextEdit* memLog_ = nullptr;
};

// The engine's log file below `programPath` (SqlProgramPath): "log/errorlog"
// as SQL Server on Linux names it, or "LOG/ERRORLOG"; the first that exists,
// else the latter.
std::string EngineLogFile(const std::string& programPath);

// The log's bytes as text: UTF-16 with its byte order mark (how SQL Server
// writes it), UTF-8, or else code page 936.
std::string EngineLogText(const std::string& bytes);

inline constexpr const char* kEngineLogUnsupported = "此功能只支持SQL2005以上版本！";

}  // namespace quor::console
