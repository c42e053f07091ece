// How a virtual directory of the web edition (alias -> folder, read-only, no
// programs run, no listing, a default document list) reaches the machine's
// web server. One small interface; the default writes an include file for
// Apache ("quor-<alias>.conf" in conf-available, enabled with a2enconf) or
// nginx (a location block in a folder the server includes) and has systemd
// reload the server. The folders and programs are settings.
#pragma once

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace quor::console {

struct VirtualDirectory {
  std::string alias;                      // the address path below "/", e.g. "Web"
  std::filesystem::path folder;           // what it shows
  std::vector<std::string> defaultPages;  // tried in order for the bare address
};

// The web server cannot be reached at all (not installed, folder missing).
class WebServerMissing : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// The directory could not be published; the text says why.
class WebPublishError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class WebPublisher {
 public:
  virtual ~WebPublisher() = default;
  // Publishes `directory`, first taking away the one named `replacedAlias`
  // when that is not empty. On failure nothing of the new directory is left
  // and a replaced one is restored. Throws WebServerMissing or WebPublishError.
  virtual void Publish(const std::string& replacedAlias, const VirtualDirectory& directory) = 0;
  // The aliases this server published over `folder`. Throws WebServerMissing.
  virtual std::vector<std::string> AliasesOf(const std::filesystem::path& folder) const = 0;
};

// An alias must be a plain name (ASCII letters, digits, "_", "-", "."; not
// starting with "."): it becomes a file name and part of the server's
// configuration text.
bool IsPlainAlias(const std::string& alias);

enum class WebServerKind { kApache, kNginx };

struct IncludeFileSettings {
  WebServerKind kind = WebServerKind::kApache;
  std::filesystem::path configFolder;  // where "quor-<alias>.conf" goes
  std::string enableProgram;           // Apache: a2enconf; empty: nothing to enable
  std::string disableProgram;          // Apache: a2disconf
  std::string reloadUnit;              // systemd unit reloaded afterwards; empty: none
  int waitMs = 30000;                  // for each program and for systemctl
};

// The settings WebServer, WebConfigFolder, WebEnableCommand,
// WebDisableCommand and WebReloadUnit, with their defaults for the server kind.
IncludeFileSettings ConfiguredIncludeFileSettings();

std::unique_ptr<WebPublisher> MakeIncludeFilePublisher(IncludeFileSettings settings);
// The publisher of the settings.
std::unique_ptr<WebPublisher> MakeConfiguredWebPublisher();

}  // namespace quor::console
