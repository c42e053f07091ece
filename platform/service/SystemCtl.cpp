#include "platform/service/SystemCtl.h"

#include <QProcess>
#include <QStringList>

namespace quor::service {

std::string SystemCtlResult::Problem() const {
  if (!started) return "systemctl could not be run";
  std::string text = errorOutput;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  if (auto newline = text.find('\n'); newline != std::string::npos) text.resize(newline);
  if (!text.empty()) return text;
  if (exitCode < 0) return "systemctl did not finish";
  return "systemctl exited with status " + std::to_string(exitCode);
}

SystemCtlResult RunSystemCtl(const std::vector<std::string>& arguments, int timeoutMs) {
  QStringList list;
  for (const auto& argument : arguments) list << QString::fromStdString(argument);
  QProcess process;
  process.setProcessChannelMode(QProcess::SeparateChannels);
  process.setStandardInputFile(QProcess::nullDevice());
  process.start(QStringLiteral("systemctl"), list);
  SystemCtlResult result;
  if (!process.waitForStarted(timeoutMs)) return result;
  result.started = true;
  if (!process.waitForFinished(timeoutMs)) {
    process.kill();
    process.waitForFinished(1000);
  } else if (process.exitStatus() == QProcess::NormalExit) {
    result.exitCode = process.exitCode();
  }
  result.output = process.readAllStandardOutput().toStdString();
  result.errorOutput = process.readAllStandardError().toStdString();
  return result;
}

}  // namespace quor::service
