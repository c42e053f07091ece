// The registry file as text and as a tree: parses the ".reg" layout into keys and
// values (keeping operators' comments with what they precede), changes it, and
// writes it back. Purely in memory; Registry.cpp does the file handling.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quor::registry {

// Key path components, the root first and in its canonical spelling.
using KeyPath = std::vector<std::string>;

// Splits "HKEY_LOCAL_MACHINE\SOFTWARE\..." into components; empty components
// (a leading or doubled backslash) are skipped. Throws RegistryError for an
// unknown root or a name that cannot be stored on one line.
KeyPath ParseKeyPath(const std::string& key);

// ASCII letters compare without case, as the server's key and value names are
// ASCII; other characters compare exactly.
bool SameName(std::string_view a, std::string_view b);

struct RegValue {
  std::vector<std::string> comments;  // comment lines written just before it
  std::string name;                   // "" is the key's default value, "@" in the file
  bool isDword = false;
  std::string text;         // string values
  std::uint32_t dword = 0;  // dword values
};

struct RegSection {
  std::vector<std::string> comments;
  KeyPath path;
  std::vector<RegValue> values;
};

class RegDocument {
 public:
  // Throws RegistryError "<file>:<line>: <what is wrong>".
  static RegDocument Parse(std::string_view text, const std::filesystem::path& file);
  std::string Serialize() const;

  // A key exists when it has a section of its own or a descendant has one;
  // root keys always exist.
  bool KeyExists(const KeyPath& key) const;
  std::vector<std::string> SubKeys(const KeyPath& key) const;
  const RegValue* FindValue(const KeyPath& key, std::string_view name) const;

  void CreateKey(const KeyPath& key);
  bool DeleteKey(const KeyPath& key);
  void SetString(const KeyPath& key, const std::string& name, const std::string& text);
  void SetDword(const KeyPath& key, const std::string& name, std::uint32_t dword);
  bool DeleteValue(const KeyPath& key, std::string_view name);

  // True once a change made the document differ from what was parsed.
  bool Changed() const { return changed_; }

 private:
  RegSection* FindSection(const KeyPath& key);
  const RegSection* FindSection(const KeyPath& key) const;
  RegSection& SectionForWriting(const KeyPath& key);
  RegValue& ValueForWriting(const KeyPath& key, const std::string& name);

  std::vector<RegSection> sections_;
  std::vector<std::string> trailingComments_;
  bool changed_ = false;
};

}  // namespace quor::registry
