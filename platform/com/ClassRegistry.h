// The COM classes this process can create, keyed by class id and by ProgID
// (both without regard to letter case), each with the function that makes a new
// instance. It stands in for the system's class factory lookup; the class's
// registration marks ("Sockets", "Web") stay in the registry file, written by
// RegisterClass and read back through here.
#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/com/ClassRegistration.h"
#include "platform/com/Guid.h"
#include "platform/com/IDispatchObject.h"
#include "platform/registry/Registry.h"
#include "platform/text/AsciiText.h"

namespace quor::com {

using ClassCreator = std::function<DispatchPtr()>;

class ClassRegistry {
 public:
  // marks is where class values are read; the registry file is opened per read.
  explicit ClassRegistry(registry::Registry marks);

  // Throws std::invalid_argument for a malformed entry (ValidateRegistration),
  // no creator, or a class id or ProgID that is already registered.
  void Add(const ClassRegistration& registration, ClassCreator creator);

  // The classes in the order they were added, e.g. to write them all into the
  // registry file at registration time.
  std::vector<ClassRegistration> Classes() const;

  // A class id in braces stands for itself; anything else is a ProgID.
  // Returns the class id as registered ("{C1C424E1-...}", upper case), or
  // throws HResultError(REGDB_E_CLASSNOTREG) for a class this process does
  // not know.
  std::string ResolveClassId(std::string_view classIdOrProgId) const;
  std::optional<std::string> ClassIdOfProgId(std::string_view progId) const;

  // A new instance. REGDB_E_CLASSNOTREG for an unknown class; a creator that
  // returns nothing gives CLASS_E_CLASSNOTAVAILABLE; what the creator throws
  // propagates. The creator runs outside the table's lock.
  DispatchPtr Create(std::string_view classIdOrProgId) const;

  // A value under the class's key in the registry file (e.g. "Sockets"), or
  // nullopt when the class or the value is not there. Registry errors propagate.
  std::optional<std::string> ClassValue(std::string_view classId, const std::string& name) const;
  // The transport's check: the value exists and is "1".
  bool HasMark(std::string_view classId, const std::string& name) const;

 private:
  struct Entry {
    ClassRegistration registration;
    ClassCreator creator;
  };
  std::optional<Guid> FindLocked(std::string_view classIdOrProgId) const;

  registry::Registry marks_;
  mutable std::mutex mutex_;  // guards the three members below
  std::vector<Guid> order_;
  std::unordered_map<Guid, Entry, GuidHash> classes_;
  std::unordered_map<std::string, Guid, text::AsciiCaseInsensitiveHash,
                     text::AsciiCaseInsensitiveEqual>
      progIds_;
};

}  // namespace quor::com
