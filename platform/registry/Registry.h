// A small file-backed stand-in for the Windows registry: a tree of keys whose
// names compare without regard to letter case, each holding string and integer
// values. The server keeps socket port settings and COM class registration marks
// here, and operators edit the file by hand, so it is a plain text file in the
// familiar ".reg" layout. Every operation reads the file, changes it and writes
// it back atomically under a file lock, so several processes can share it.
#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quor::registry {

// Raised for a file that cannot be parsed (the message names the path and line)
// and for a file that cannot be read or written.
class RegistryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Key paths are written with backslashes and start with a root key name:
// "HKEY_LOCAL_MACHINE\SOFTWARE\Borland\Socket Server\Settings",
// "HKEY_CLASSES_ROOT\CLSID\{...}". A leading backslash after the root is allowed.
inline constexpr const char* kLocalMachine = "HKEY_LOCAL_MACHINE";
inline constexpr const char* kClassesRoot = "HKEY_CLASSES_ROOT";

// Names and values must each fit on one line (no line breaks, no NUL); names
// compare without regard to ASCII letter case and keep the spelling they were
// created with. The value name "" is the key's default value ("@" in the file).
// A corrupt file makes every operation throw; it is never rewritten.
class Registry {
 public:
  // $QUOR_REGISTRY_FILE when set, otherwise /var/lib/quor/registry.reg.
  static std::filesystem::path DefaultPath();

  explicit Registry(std::filesystem::path file = DefaultPath());

  const std::filesystem::path& Path() const { return file_; }

  // Root keys always exist.
  bool KeyExists(const std::string& key) const;
  // Creates the key and any missing parents; an existing key is left as it is.
  void CreateKey(const std::string& key);
  // Direct sub-key names, in the letter case they were created with.
  std::vector<std::string> SubKeys(const std::string& key) const;
  // Deletes the key with all its sub-keys and values; false when it did not exist.
  bool DeleteKey(const std::string& key);

  // A dword value reads as its decimal text.
  std::optional<std::string> ReadString(const std::string& key, const std::string& name) const;
  // An integer value, or a string value that holds a decimal number. Integers
  // are stored as dwords and read back signed, as Windows programs read them.
  std::optional<long long> ReadInteger(const std::string& key, const std::string& name) const;
  // Writing creates the key when needed and replaces a value of either type.
  void WriteString(const std::string& key, const std::string& name, const std::string& value);
  // Throws RegistryError for a number outside the signed 32-bit range.
  void WriteInteger(const std::string& key, const std::string& name, long long value);
  // False when the value did not exist.
  bool DeleteValue(const std::string& key, const std::string& name);

 private:
  std::filesystem::path file_;
};

}  // namespace quor::registry
