#include "transport/DataDispatch.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <utility>

#include "transport/DataBlockInterpreter.h"
#include "transport/TransportError.h"

namespace quor::transport {

TDataDispatch::TDataDispatch(std::shared_ptr<ProxyLink> link, std::int32_t index)
    : link_(std::move(link)), index_(index) {
  std::lock_guard lock(link_->mutex);
  link_->ProxyList.push_back(this);
}

TDataDispatch::~TDataDispatch() {
  TDataBlockInterpreter* interpreter = nullptr;
  {
    std::lock_guard lock(link_->mutex);
    auto& list = link_->ProxyList;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    interpreter = link_->interpreter;
  }
  if (!interpreter) return;
  try {
    interpreter->RemoteFree(index_);
  } catch (const TransportError&) {
    // The connection is gone, and with it every object the peer had lent.
  } catch (const std::exception& error) {
    std::fprintf(stderr, "socket transport: freeing peer object %d failed: %s\n", index_,
                 error.what());
  }
}

TDataBlockInterpreter* TDataDispatch::Interpreter() const {
  std::lock_guard lock(link_->mutex);
  return link_->interpreter;
}

com::HResult TDataDispatch::GetIDsOfNames(std::string_view name, com::DispId& dispId) {
  TDataBlockInterpreter* interpreter = Interpreter();
  if (!interpreter) return RPC_E_DISCONNECTED;
  try {
    return interpreter->RemoteGetIds(index_, name, dispId);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "socket transport: name lookup on peer object %d failed: %s\n", index_,
                 error.what());
    return com::E_FAIL;
  }
}

com::HResult TDataDispatch::Invoke(com::DispId dispId, com::DispatchFlags flags,
                                   const com::DispParams& params, com::Variant* result,
                                   com::ExcepInfo* excepInfo, std::uint32_t* /*argErr*/) {
  TDataBlockInterpreter* interpreter = Interpreter();
  if (!interpreter) return RPC_E_DISCONNECTED;
  try {
    return interpreter->RemoteInvoke(index_, dispId, flags, params, result, excepInfo);
  } catch (const std::exception& error) {
    if (excepInfo) {
      *excepInfo = {};
      excepInfo->scode = com::E_FAIL;
      excepInfo->description = error.what();
    }
    return com::DISP_E_EXCEPTION;
  }
}

}  // namespace quor::transport
