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
  position_ = link_->ProxyList.insert(link_->ProxyList.end(), this);
}

TDataDispatch::~TDataDispatch() {
  TDataBlockInterpreter* interpreter = nullptr;
  {
    std::lock_guard lock(link_->mutex);
    link_->ProxyList.erase(position_);
    // Gone with the connection, and with it every object the peer had lent.
    if (!link_->interpreter) return;
    const std::thread::id owner = link_->owner;
    if (owner != std::thread::id() && owner != std::this_thread::get_id()) {
      link_->pendingFrees.push_back(index_);
      if (link_->wakeOwner) link_->wakeOwner();
      return;
    }
    // On the owner's thread the interpreter cannot go away under us: only
    // this thread ends it.
    interpreter = link_->interpreter;
  }
  try {
    interpreter->RemoteFree(index_);
  } catch (const TransportError&) {
    // The connection is gone, and with it every object the peer had lent.
  } catch (const std::exception& error) {
    std::fprintf(stderr, "socket transport: freeing peer object %d failed: %s\n", index_,
                 error.what());
  }
}

TDataBlockInterpreter* TDataDispatch::Interpreter(com::HResult& refusal) const {
  std::lock_guard lock(link_->mutex);
  if (!link_->interpreter) {
    refusal = RPC_E_DISCONNECTED;
    return nullptr;
  }
  if (link_->owner != std::thread::id() && link_->owner != std::this_thread::get_id()) {
    refusal = RPC_E_WRONG_THREAD;
    return nullptr;
  }
  return link_->interpreter;
}

com::HResult TDataDispatch::GetIDsOfNames(std::string_view name, com::DispId& dispId) {
  com::HResult refusal = com::S_OK;
  TDataBlockInterpreter* interpreter = Interpreter(refusal);
  if (!interpreter) return refusal;
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
  com::HResult refusal = com::S_OK;
  TDataBlockInterpreter* interpreter = Interpreter(refusal);
  if (!interpreter) return refusal;
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
