#include "platform/com/ClassRegistry.h"

#include <stdexcept>
#include <utility>

#include "platform/com/HResult.h"

namespace quor::com {
namespace {

bool LooksLikeClassId(std::string_view name) {
  return !name.empty() && name.front() == '{' && name.back() == '}';
}

[[noreturn]] void ThrowNotRegistered(std::string_view name) {
  throw HResultError(REGDB_E_CLASSNOTREG, "Class not registered: " + std::string(name));
}

}  // namespace

ClassRegistry::ClassRegistry(registry::Registry marks) : marks_(std::move(marks)) {}

void ClassRegistry::Add(const ClassRegistration& registration, ClassCreator creator) {
  ValidateRegistration(registration);
  if (!creator) throw std::invalid_argument("class " + registration.progId + " has no creator");
  const Guid classId = Guid::Parse(registration.classId);
  std::lock_guard lock(mutex_);
  if (classes_.contains(classId)) {
    throw std::invalid_argument("class id " + registration.classId + " is already registered");
  }
  if (progIds_.contains(registration.progId)) {
    throw std::invalid_argument("ProgID " + registration.progId + " is already registered");
  }
  Entry entry{registration, std::move(creator)};
  entry.registration.classId = classId.ToString();
  progIds_.emplace(registration.progId, classId);
  classes_.emplace(classId, std::move(entry));
  order_.push_back(classId);
}

std::vector<ClassRegistration> ClassRegistry::Classes() const {
  std::lock_guard lock(mutex_);
  std::vector<ClassRegistration> classes;
  classes.reserve(order_.size());
  for (const Guid& classId : order_) classes.push_back(classes_.at(classId).registration);
  return classes;
}

std::optional<Guid> ClassRegistry::FindLocked(std::string_view classIdOrProgId) const {
  if (LooksLikeClassId(classIdOrProgId)) {
    const auto classId = Guid::TryParse(classIdOrProgId);
    if (classId && classes_.contains(*classId)) return classId;
    return std::nullopt;
  }
  const auto found = progIds_.find(std::string(classIdOrProgId));
  if (found == progIds_.end()) return std::nullopt;
  return found->second;
}

std::string ClassRegistry::ResolveClassId(std::string_view classIdOrProgId) const {
  std::lock_guard lock(mutex_);
  const auto classId = FindLocked(classIdOrProgId);
  if (!classId) ThrowNotRegistered(classIdOrProgId);
  return classId->ToString();
}

std::optional<std::string> ClassRegistry::ClassIdOfProgId(std::string_view progId) const {
  if (LooksLikeClassId(progId)) return std::nullopt;
  std::lock_guard lock(mutex_);
  const auto classId = FindLocked(progId);
  if (!classId) return std::nullopt;
  return classId->ToString();
}

DispatchPtr ClassRegistry::Create(std::string_view classIdOrProgId) const {
  ClassCreator creator;
  {
    std::lock_guard lock(mutex_);
    const auto classId = FindLocked(classIdOrProgId);
    if (!classId) ThrowNotRegistered(classIdOrProgId);
    creator = classes_.at(*classId).creator;
  }
  DispatchPtr object = creator();
  if (!object) {
    throw HResultError(CLASS_E_CLASSNOTAVAILABLE,
                       "Class not available: " + std::string(classIdOrProgId));
  }
  return object;
}

std::optional<std::string> ClassRegistry::ClassValue(std::string_view classId,
                                                     const std::string& name) const {
  const auto parsed = Guid::TryParse(classId);
  if (!parsed) return std::nullopt;
  return ReadClassValue(marks_, parsed->ToString(), name);
}

bool ClassRegistry::HasMark(std::string_view classId, const std::string& name) const {
  return ClassValue(classId, name) == "1";
}

}  // namespace quor::com
