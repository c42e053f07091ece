// What the frame fuzzer serves: a class registry (in a private registry file)
// with one small dispatch class that takes values of every shape, and the
// objects an interpreter starts with, so fuzzed requests reach real members.
#pragma once

#include <memory>

#include "platform/com/ClassRegistry.h"
#include "platform/com/IDispatchObject.h"

namespace quor::fuzz {

inline constexpr const char* kFuzzProgId = "QuorFuzz.Target";
inline constexpr const char* kFuzzClassId = "{0B7D35A1-6C42-4F0E-8D13-2A9E5C7F1001}";

// Created once per process; the registry file lives in a temp folder removed at exit.
const std::shared_ptr<com::ClassRegistry>& FuzzClasses();

// A new instance of the test class: Echo(Value), AddOne(var Number), Sum(Values),
// CallBack(Target, Value) that calls Target.Twice(Value), and Fail().
com::DispatchPtr MakeFuzzTarget();

}  // namespace quor::fuzz
