#include "platform/com/ClassRegistration.h"

#include <cctype>
#include <stdexcept>

namespace quor::com {
namespace {

// The default value of a key has the empty name, as in the Windows registry.
constexpr const char* kDefault = "";

std::string ProgIdKey(const std::string& progId) {
  return std::string(registry::kClassesRoot) + "\\" + progId;
}

bool IsClassId(const std::string& id) {
  static constexpr std::size_t kDashes[] = {9, 14, 19, 24};
  if (id.size() != 38 || id.front() != '{' || id.back() != '}') return false;
  for (std::size_t i = 1; i + 1 < id.size(); ++i) {
    bool dash = false;
    for (std::size_t position : kDashes) dash = dash || position == i;
    if (dash ? id[i] != '-' : !std::isxdigit(static_cast<unsigned char>(id[i]))) return false;
  }
  return true;
}

}  // namespace

void ValidateRegistration(const ClassRegistration& entry) {
  if (!IsClassId(entry.classId)) {
    throw std::invalid_argument("malformed class id \"" + entry.classId + "\"");
  }
  if (entry.progId.empty() || entry.progId.find('\\') != std::string::npos) {
    throw std::invalid_argument("malformed ProgID \"" + entry.progId + "\"");
  }
}

std::string ClassKey(const std::string& classId) {
  return std::string(registry::kClassesRoot) + "\\CLSID\\" + classId;
}

void RegisterClass(registry::Registry& registry, const ClassRegistration& entry,
                   const std::string& serverPath) {
  ValidateRegistration(entry);
  const std::string classKey = ClassKey(entry.classId);
  registry.WriteString(classKey, kDefault, entry.description);
  registry.WriteString(classKey + "\\LocalServer32", kDefault, serverPath);
  registry.WriteString(classKey + "\\ProgID", kDefault, entry.progId);
  registry.WriteString(ProgIdKey(entry.progId), kDefault, entry.description);
  registry.WriteString(ProgIdKey(entry.progId) + "\\CLSID", kDefault, entry.classId);
  for (const auto& [name, value] : entry.classValues) registry.WriteString(classKey, name, value);
}

void UnregisterClass(registry::Registry& registry, const ClassRegistration& entry) {
  ValidateRegistration(entry);
  const std::string classKey = ClassKey(entry.classId);
  for (const auto& value : entry.classValues) registry.DeleteValue(classKey, value.first);
  registry.DeleteKey(classKey);
  registry.DeleteKey(ProgIdKey(entry.progId));
}

std::optional<std::string> ClassIdOfProgId(const registry::Registry& registry,
                                           const std::string& progId) {
  if (progId.empty() || progId.find('\\') != std::string::npos) return std::nullopt;
  return registry.ReadString(ProgIdKey(progId) + "\\CLSID", kDefault);
}

std::optional<std::string> ReadClassValue(const registry::Registry& registry,
                                          const std::string& classId, const std::string& name) {
  if (!IsClassId(classId)) return std::nullopt;
  return registry.ReadString(ClassKey(classId), name);
}

}  // namespace quor::com
