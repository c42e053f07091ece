// The reference of every remote member for client developers, written from
// the method tables themselves: DISPID, component, procedure, the argument
// list, where each result comes from and which rule binds the arguments. The
// committed copy (docs/remote-members.md) is this text; a test keeps it so.
#pragma once

#include <string>

namespace quor::remote {

// The whole reference as Markdown.
std::string MemberReferenceText();

}  // namespace quor::remote
