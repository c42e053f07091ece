// The console's web publishing commands: "生成 Web文件", "配置虚拟目录" (the
// wizard), " 客户端自动升级" (publishing the client upgrade folder), and the
// two operations on virtual directories that report to the person through
// message boxes.
#pragma once

#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "console/WebPublisher.h"

class QWidget;

namespace quor::console {

struct MainFormEnvironment;

// What web publishing reaches outside itself; empty members take the real things.
struct WebPublishingEnvironment {
  std::function<std::unique_ptr<WebPublisher>()> publisher;  // the configured one
  std::function<std::time_t()> now;                          // the clock
  std::function<int(QWidget&)> runModal;                     // shows the wizard
  std::filesystem::path programFolder;                       // empty: ProgramFolder()
};

// Publishes `folder` as `name`, taking away `alias` first when it is given;
// every failure is shown and gives false. The default pages are
// "WebClient" + the start-up trade code + ".htm", then the usual four.
bool CreateVirtualDir(WebPublisher& publisher, const std::string& alias, const std::string& name,
                      const std::filesystem::path& folder);

// The aliases published over `folder`; nothing (after a message) when that
// cannot be known.
std::optional<std::vector<std::string>> ListVirtualDirs(const WebPublisher& publisher,
                                                        const std::filesystem::path& folder);

// The default document list of the web edition's directories.
std::vector<std::string> WebDefaultPages();

class WebPublishing {
 public:
  explicit WebPublishing(WebPublishingEnvironment environment = {});

  // "生成 Web文件".
  void GenerateWebFiles();
  // "配置虚拟目录": runs TfrmVirtualSetup; true when it finished.
  bool SetupVirtualDirectories(QWidget* parent = nullptr);
  // The upgrade switch: refreshes the upgrade folder and publishes it as
  // "AutoUpdateValto"; false (after the messages) when either fails.
  bool PublishAutoUpdate();
  // At console start: the upgrade folder refreshed, a failure logged.
  void RefreshAutoUpdateAtStart();

  std::filesystem::path ProgramFolderPath() const;

 private:
  WebPublishingEnvironment env_;
};

// Puts the web publishing commands into the console's tools ("miWebFiles",
// "miWebVirtualDir", "miIisManager", "refreshAutoUpdate") and its upgrade
// switch's publishing step.
void AddWebPublishingTools(MainFormEnvironment& environment,
                           std::shared_ptr<WebPublishing> publishing);

}  // namespace quor::console
