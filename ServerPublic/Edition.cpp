#include "ServerPublic/Edition.h"

#include <array>
#include <filesystem>

namespace quor {
namespace {

// YY, YX and NZ once had a second caption that replaced the first at start-up;
// only the final caption is kept.
const std::array<Edition, 16> kEditions = {{
    {"BZ.", "BZ", "商贸标准版服务器"},
    {"CM.", "CM", "超市门店版服务器"},
    {"FZ.", "FZ", "服装鞋帽版服务器"},
    {"MY.", "MY", "母婴用品版服务器"},
    {"SP.", "SP", "食品批发版服务器"},
    {"CW.", "CW", "财务管理版服务器"},
    {"CY.", "CY", "餐饮管理版服务器"},
    {"CL.", "CL", "建材五金版服务器"},
    {"QX.", "QX", "汽车维修版服务器"},
    {"QP.", "QP", "汽车配件版服务器"},
    {"YY.", "YY", "医药连锁版服务器"},
    {"YX.", "YX", "医疗器械版服务器"},
    {"NZ.", "NZ", "农资经营版服务器"},
    {"IT.", "IT", "电脑数码版服务器"},
    {"SC.", "SC", "生产管理版服务器"},
    {"ALL.", "BZ", "内部测试用"},
}};

}  // namespace

std::span<const Edition> EditionTable() {
  return kEditions;
}

std::optional<Edition> FindEdition(const std::string& fileName) {
  std::string name = fileName;
  // Only ASCII letters change case: the codes are ASCII, and upper-casing bytes
  // of a UTF-8 name one by one must not touch multi-byte characters.
  for (char& c : name) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  if (std::filesystem::path(name).extension().empty()) name += '.';
  for (const Edition& edition : kEditions) {
    if (name.find(edition.searchText) != std::string::npos) return edition;
  }
  return std::nullopt;
}

}  // namespace quor
