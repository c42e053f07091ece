#include "remote/ClientPath.h"

#include <algorithm>
#include <string>
#include <system_error>

#include "ServerPublic/ServerGlobals.h"
#include "platform/text/AsciiText.h"
#include "platform/text/Encodings.h"

namespace quor::remote {
namespace {

namespace fs = std::filesystem;

bool AcceptableText(std::string_view text) {
  if (text.size() > kMaxClientPathBytes || !text::IsValidUtf8(text)) return false;
  return std::none_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F || c == ':';
  });
}

// The parts of a translated path; nothing when one of them is "..".
std::optional<std::vector<std::string>> PartsOf(std::string_view path) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view part = path.substr(start, end - start);
    if (part == "..") return std::nullopt;
    if (!part.empty() && part != ".") parts.emplace_back(part);
    start = end + 1;
  }
  return parts;
}

fs::path Canonical(const fs::path& path) {
  std::error_code error;
  fs::path canonical = fs::weakly_canonical(path, error);
  return error ? path.lexically_normal() : canonical;
}

std::vector<std::string> PartsOfRoot(const fs::path& root) {
  std::vector<std::string> parts;
  for (const fs::path& part : root.lexically_normal()) {
    const std::string text = part.string();
    if (!text.empty() && text != "/" && text != ".") parts.push_back(text);
  }
  return parts;
}

bool Below(const fs::path& path, const fs::path& root) {
  const fs::path relative = path.lexically_relative(root);
  if (relative.empty()) return false;
  const std::string first = relative.begin()->string();
  return first != "..";
}

}  // namespace

fs::path EntrySpelledAsOnDisk(const fs::path& folder, const std::string& name) {
  std::error_code error;
  if (fs::symlink_status(folder / name, error).type() != fs::file_type::not_found) return name;
  std::vector<std::string> matches;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::string entry = it->path().filename().string();
    if (text::EqualsIgnoringAsciiCase(entry, name)) matches.push_back(entry);
  }
  if (matches.empty()) return name;
  std::sort(matches.begin(), matches.end());
  return matches.front();
}

std::optional<fs::path> ResolveClientPath(const std::vector<fs::path>& roots,
                                          std::string_view clientPath, bool allowEmpty) {
  if (roots.empty() || !AcceptableText(clientPath)) return std::nullopt;
  std::string translated(clientPath);
  std::replace(translated.begin(), translated.end(), '\\', '/');
  const bool absolute = !translated.empty() && translated.front() == '/';
  const std::optional<std::vector<std::string>> parts = PartsOf(translated);
  if (!parts) return std::nullopt;

  fs::path base = roots.front();
  std::vector<std::string> rest = *parts;
  if (absolute) {
    bool found = false;
    for (const fs::path& root : roots) {
      for (const fs::path& form : {root, Canonical(root)}) {
        const std::vector<std::string> rootParts = PartsOfRoot(form);
        if (rootParts.size() <= parts->size() &&
            std::equal(rootParts.begin(), rootParts.end(), parts->begin())) {
          base = root;
          rest.assign(parts->begin() + static_cast<std::ptrdiff_t>(rootParts.size()), parts->end());
          found = true;
          break;
        }
      }
      if (found) break;
    }
    if (!found) return std::nullopt;
  }
  if (rest.empty() && !allowEmpty) return std::nullopt;

  fs::path resolved = base;
  for (const std::string& part : rest) resolved /= EntrySpelledAsOnDisk(resolved, part);
  // A link inside the folder may point anywhere; what counts is where the
  // existing part of the path really leads.
  if (!rest.empty() && !Below(Canonical(resolved), Canonical(base))) return std::nullopt;
  return resolved;
}

bool IsRegularFile(const fs::path& path) {
  std::error_code error;
  return fs::is_regular_file(path, error);
}

bool IsFolder(const fs::path& path) {
  std::error_code error;
  return fs::is_directory(path, error);
}

bool EntryExists(const fs::path& path) {
  std::error_code error;
  return fs::symlink_status(path, error).type() != fs::file_type::not_found;
}

fs::path ProgramFolderPath() {
  std::string folder = ProgramFolder();
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

}  // namespace quor::remote
