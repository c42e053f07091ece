#include "console/EngineLogDialog.h"

#include <QPlainTextEdit>
#include <QVBoxLayout>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "ServerPublic/SqlRoutines.h"
#include "platform/text/Encodings.h"
#include "platform/ui/MessageBoxes.h"

namespace quor::console {
namespace {

namespace fs = std::filesystem;

std::string LogPathWithSlashes(std::string path) {
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

}  // namespace

std::string EngineLogFile(const std::string& programPath) {
  const fs::path folder = LogPathWithSlashes(programPath);
  std::error_code error;
  for (const char* name : {"log/errorlog", "LOG/ERRORLOG", "Log/ERRORLOG"}) {
    if (fs::exists(folder / name, error)) return (folder / name).string();
  }
  return (folder / "LOG/ERRORLOG").string();
}

std::string EngineLogText(const std::string& bytes) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    std::string body = bytes.substr(2);
    if (body.size() % 2) body.pop_back();  // a line the engine is still writing
    return text::Utf16ToUtf8(text::Utf16FromLeBytes(body), text::OnError::kReplace);
  }
  std::string body = bytes;
  if (body.rfind("\xEF\xBB\xBF", 0) == 0) body.erase(0, 3);
  if (text::IsValidUtf8(body)) return body;
  return text::GbkToUtf8(body, text::OnError::kReplace);
}

TfrmMiniSQLLog::TfrmMiniSQLLog(QWidget* parent) : QDialog(parent) {
  setObjectName("frmMiniSQLLog");
  setWindowTitle("查看MSDE启动日志");
  resize(640, 420);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  memLog_ = new QPlainTextEdit(this);
  memLog_->setObjectName("memLog");
  memLog_->setReadOnly(true);
  memLog_->setLineWrapMode(QPlainTextEdit::NoWrap);
  layout->addWidget(memLog_);
  Load();
}

void TfrmMiniSQLLog::Load() {
  const std::string programPath = SqlProgramPath();
  if (programPath.empty()) {
    memLog_->setPlainText(kEngineLogUnsupported);
    return;
  }
  // The engine keeps its log open while it runs; reading it beside the
  // writer is fine here, and a half-written last line shows as it stands.
  const std::string path = EngineLogFile(programPath);
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    const std::string reason = std::strerror(errno);
    ui::ActiveMessageBoxes()->Show("打开文件" + path + "出错：" + reason, "错误",
                                   ui::MessageIcon::Error);
    return;
  }
  std::ostringstream bytes;
  bytes << file.rdbuf();
  std::string text = EngineLogText(bytes.str());
  std::string lines;
  lines.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
      lines += '\n';
    } else {
      lines += text[i];
    }
  }
  if (!lines.empty() && lines.back() == '\n') lines.pop_back();
  memLog_->setPlainText(QString::fromStdString(lines));
}

std::vector<std::string> TfrmMiniSQLLog::Lines() const {
  std::vector<std::string> lines;
  const QString text = memLog_->toPlainText();
  if (text.isEmpty()) return lines;
  for (const QString& line : text.split('\n')) lines.push_back(line.toStdString());
  return lines;
}

}  // namespace quor::console
