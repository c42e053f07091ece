// The HRESULT an action ends with: S_OK when it returns, the code of the
// HResultError it throws otherwise.
#pragma once

#include "platform/com/HResult.h"

namespace quor::com::test {

HResult CodeOf(auto&& action) {
  try {
    action();
  } catch (const HResultError& error) {
    return error.Code();
  }
  return S_OK;
}

}  // namespace quor::com::test
