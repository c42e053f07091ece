#include "console/WebPublishing.h"

#include <QDialog>

#include <cstdio>
#include <exception>

#include "ServerPublic/ServerGlobals.h"
#include "ServerPublic/SqlRoutines.h"
#include "console/MainForm.h"
#include "console/VirtualSetupDialog.h"
#include "console/WebPackages.h"
#include "platform/ui/MessageBoxes.h"

namespace quor::console {
namespace {

namespace fs = std::filesystem;

constexpr const char* kNoWebServerText = "您的电脑上没有安装IIS或无法访问IIS。";

void WebLog(const std::string& line) {
  std::fprintf(stderr, "console: %s\n", line.c_str());
}

void ShowWebError(const std::string& text) {
  ui::ActiveMessageBoxes()->Show(text, "错误", ui::MessageIcon::Warning);
}

}  // namespace

std::vector<std::string> WebDefaultPages() {
  return {"WebClient" + Startup().startupVocation + ".htm", "Default.asp", "Default.htm",
          "Index.htm", "Index.Asp"};
}

bool CreateVirtualDir(WebPublisher& publisher, const std::string& alias, const std::string& name,
                      const fs::path& folder) {
  if (name.empty()) {
    ShowWebError("虚拟目录别人不能为空，请重新录入！");
    return false;
  }
  std::error_code error;
  if (folder.empty() || !fs::is_directory(folder, error)) {
    ShowWebError("虚拟目录位置错误，请选择正确的虚拟目录位置！");
    return false;
  }
  try {
    publisher.Publish(alias, {name, folder, WebDefaultPages()});
    return true;
  } catch (const WebServerMissing& missing) {
    WebLog(missing.what());
    ShowWebError(kNoWebServerText);
  } catch (const std::exception& failure) {
    ShowWebError(failure.what());
  }
  return false;
}

std::optional<std::vector<std::string>> ListVirtualDirs(const WebPublisher& publisher,
                                                        const fs::path& folder) {
  if (folder.empty()) {
    ShowWebError("虚拟目录路径不能为空，请重新录入！");
    return std::nullopt;
  }
  try {
    return publisher.AliasesOf(folder);
  } catch (const std::exception& failure) {
    WebLog(failure.what());
    ShowWebError(kNoWebServerText);
    return std::nullopt;
  }
}

WebPublishing::WebPublishing(WebPublishingEnvironment environment) : env_(std::move(environment)) {
  if (!env_.publisher) env_.publisher = [] { return MakeConfiguredWebPublisher(); };
  if (!env_.now) env_.now = [] { return std::time(nullptr); };
  if (!env_.runModal) {
    env_.runModal = [](QWidget& window) {
      auto* dialog = qobject_cast<QDialog*>(&window);
      return dialog ? dialog->exec() : 0;
    };
  }
}

fs::path WebPublishing::ProgramFolderPath() const {
  return env_.programFolder.empty() ? fs::path(ProgramFolder()) : env_.programFolder;
}

void WebPublishing::GenerateWebFiles() {
  try {
    console::GenerateWebFiles(ProgramFolderPath(), Vocation(), env_.now());
  } catch (const std::exception& failure) {
    ui::ActiveMessageBoxes()->Show(std::string("生成WEB版所需文件失败：") + failure.what(), "错误",
                                   ui::MessageIcon::Warning);
    return;
  }
  ui::ActiveMessageBoxes()->Show("更新和生成WEB版所需文件成功，您可以开始创建虚拟目录了。", "提示",
                                 ui::MessageIcon::Warning);
}

bool WebPublishing::SetupVirtualDirectories(QWidget* parent) {
  std::unique_ptr<WebPublisher> publisher = env_.publisher();
  TfrmVirtualSetup wizard(*publisher, WebFolder(ProgramFolderPath()), parent);
  return env_.runModal(wizard) == QDialog::Accepted;
}

bool WebPublishing::PublishAutoUpdate() {
  const fs::path folder = UpgradeFolder(ProgramFolderPath());
  try {
    RefreshUpgradeFolder(ProgramFolderPath(), folder, Vocation());
  } catch (const std::exception& failure) {
    ShowWebError(std::string("客户端升级文件夹没有更新：") + failure.what());
    return false;
  }
  std::unique_ptr<WebPublisher> publisher = env_.publisher();
  const std::string name = std::string("AutoUpdate") + kMakerWord;
  return CreateVirtualDir(*publisher, name, name, folder);
}

void WebPublishing::RefreshAutoUpdateAtStart() {
  try {
    RefreshUpgradeFolder(ProgramFolderPath(), UpgradeFolder(ProgramFolderPath()), Vocation());
  } catch (const std::exception& failure) {
    WebLog(std::string("client upgrade folder not refreshed: ") + failure.what());
  }
}

void AddWebPublishingTools(MainFormEnvironment& environment,
                           std::shared_ptr<WebPublishing> publishing) {
  environment.tools["miWebFiles"] = [publishing] { publishing->GenerateWebFiles(); };
  environment.tools["miWebVirtualDir"] = [publishing] { publishing->SetupVirtualDirectories(); };
  environment.tools["miIisManager"] = [] {
    RunDocument(ConfiguredIncludeFileSettings().configFolder.string());
  };
  environment.tools["refreshAutoUpdate"] = [publishing] { publishing->RefreshAutoUpdateAtStart(); };
  environment.publishAutoUpdate = [publishing] { return publishing->PublishAutoUpdate(); };
}

}  // namespace quor::console
