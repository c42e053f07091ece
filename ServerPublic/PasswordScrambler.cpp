#include "PasswordScrambler.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace quor {
namespace {

constexpr std::string_view kScrambleKey = "Quor application server / ServerConfig / PASSWORD";
constexpr std::size_t kCheckBytes = 2;
constexpr char kHexDigits[] = "0123456789ABCDEF";

std::uint64_t Fnv1a(std::string_view text, std::uint64_t hash = 0xcbf29ce484222325ULL) {
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ULL;
  }
  return hash;
}

// A keyed xorshift64* stream; its bytes mask the password.
class KeyStream {
 public:
  KeyStream() : state_(Fnv1a(kScrambleKey)) {}
  std::uint8_t Next() {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return static_cast<std::uint8_t>((state_ * 0x2545F4914F6CDD1DULL) >> 56);
  }

 private:
  std::uint64_t state_;
};

// splitmix64's finaliser: every input bit reaches every output bit, which
// FNV alone does not do for the last bytes.
std::uint64_t Mix(std::uint64_t value) {
  value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ULL;
  value = (value ^ (value >> 27)) * 0x94D049BB133111EBULL;
  return value ^ (value >> 31);
}

// A keyed check over the password tells a stored value from hand-typed text.
std::uint16_t Check(std::string_view password) {
  return static_cast<std::uint16_t>(Mix(Fnv1a(password, Fnv1a(kScrambleKey))) >> 48);
}

std::optional<std::vector<std::uint8_t>> FromHex(std::string_view text) {
  const auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  if (text.size() % 2 != 0) return std::nullopt;
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int high = digit(text[i]);
    const int low = digit(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<std::uint8_t>(high << 4 | low));
  }
  return bytes;
}

}  // namespace

std::string EncodePassword(std::string_view password) {
  if (password.empty()) return {};
  const std::uint16_t check = Check(password);
  std::vector<std::uint8_t> plain = {static_cast<std::uint8_t>(check >> 8),
                                     static_cast<std::uint8_t>(check & 0xFF)};
  plain.insert(plain.end(), password.begin(), password.end());
  // The check goes first and every byte is chained to the one before, so two
  // passwords that differ in one letter share no visible part.
  KeyStream stream;
  std::string stored;
  std::uint8_t previous = 0;
  for (const std::uint8_t byte : plain) {
    previous = static_cast<std::uint8_t>(byte ^ stream.Next() ^ previous);
    stored += kHexDigits[previous >> 4];
    stored += kHexDigits[previous & 0x0F];
  }
  return stored;
}

std::string DecodePassword(std::string_view stored) {
  if (stored.empty()) return {};
  const auto bytes = FromHex(stored);
  if (!bytes || bytes->size() <= kCheckBytes) return std::string(stored);
  KeyStream stream;
  std::string plain;
  std::uint8_t previous = 0;
  for (const std::uint8_t byte : *bytes) {
    plain += static_cast<char>(byte ^ stream.Next() ^ previous);
    previous = byte;
  }
  const std::string password = plain.substr(kCheckBytes);
  const std::uint16_t check = static_cast<std::uint16_t>(static_cast<unsigned char>(plain[0]) << 8 |
                                                         static_cast<unsigned char>(plain[1]));
  if (check != Check(password)) return std::string(stored);
  return password;
}

}  // namespace quor
