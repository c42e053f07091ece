// The COM classes this program serves and their registration, done at every
// start and by the -RegServer / -UnregServer switches.
#pragma once

#include <string>

#include "platform/com/ClassRegistration.h"

namespace quor::host {

// Registers (or removes) every class with serverPath as its local server, in
// the registry file. Throws registry::RegistryError when the file cannot be
// written.
void UpdateComRegistration(bool registering, const std::string& serverPath);

}  // namespace quor::host
