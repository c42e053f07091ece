// Single keys of an INI file, read and written the way the Windows
// private-profile functions do it, so configuration files copied from Windows
// installations work and keep everything an operator put in them.
#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quor {

// A write that could not be done; the message names the file and the reason.
class IniFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Text is UTF-8 (a leading byte-order mark is kept); a file that is not valid
// UTF-8 is one copied from a Windows installation and is read as code page 936
// and written back in it. Section and key names
// compare without regard to ASCII letter case, and the first of several equal
// sections or keys is the one used. Lines starting with ';' are comments.
class IniFile {
 public:
  explicit IniFile(std::filesystem::path file);

  const std::filesystem::path& Path() const { return file_; }

  // The value trimmed of surrounding blanks, with one pair of enclosing quotes
  // removed; nullopt when the file, section or key is missing or the file
  // cannot be read.
  std::optional<std::string> Read(std::string_view section, std::string_view key) const;

  // Replaces an existing key's line in place (keeping the key's spelling and the
  // line's ending), or adds the key at the end of its section, or adds the
  // section at the end of the file. Everything else stays byte for byte. The
  // file is replaced atomically; throws IniFileError when it cannot be, and
  // when a code page 936 file cannot hold the new text.
  void Write(std::string_view section, std::string_view key, std::string_view value);

 private:
  std::filesystem::path file_;
};

}  // namespace quor
