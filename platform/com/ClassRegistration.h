// Registration of COM classes served by this program, in the registry
// substitute: the standard local-server entries under HKEY_CLASSES_ROOT plus the
// class's own string values (the socket transport only creates classes marked
// "Sockets" = "1"). A class registry keyed by class id and ProgID builds on
// ClassRegistration and on the lookups here.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/registry/Registry.h"

namespace quor::com {

struct ClassRegistration {
  std::string classId;      // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
  std::string progId;       // "Library.Class"
  std::string description;  // default value of the class key and of the ProgID key
  // String values written under HKEY_CLASSES_ROOT\CLSID\{class id}.
  std::vector<std::pair<std::string, std::string>> classValues;
};

// Throws std::invalid_argument for a malformed class id or a ProgID that is
// empty or would name another key (backslash), before anything is written.
void ValidateRegistration(const ClassRegistration& entry);

// Writes HKEY_CLASSES_ROOT\CLSID\{id} (description), its LocalServer32
// (serverPath) and ProgID (progId) sub-keys, the class values, and
// HKEY_CLASSES_ROOT\<progId> (description) with its CLSID sub-key (class id).
// Registry errors propagate as registry::RegistryError.
void RegisterClass(registry::Registry& registry, const ClassRegistration& entry,
                   const std::string& serverPath);

// Deletes the class values first, then the class key and the ProgID key with
// everything below them. Missing entries are not an error.
void UnregisterClass(registry::Registry& registry, const ClassRegistration& entry);

// Key path of HKEY_CLASSES_ROOT\CLSID\{class id}.
std::string ClassKey(const std::string& classId);

// The class id that a ProgID is registered for, if any.
std::optional<std::string> ClassIdOfProgId(const registry::Registry& registry,
                                           const std::string& progId);

// A string value under the class key, e.g. ReadClassValue(r, id, "Sockets").
std::optional<std::string> ReadClassValue(const registry::Registry& registry,
                                          const std::string& classId, const std::string& name);

}  // namespace quor::com
