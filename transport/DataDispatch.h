// A stand-in on this side for an object the peer lent: GetIDsOfNames and
// Invoke travel to the peer through the interpreter that read the reference,
// and releasing the last reference tells the peer to free its object. Calls
// work on the connection's own thread, where the interpreter runs, and fail
// with RPC_E_WRONG_THREAD elsewhere; once the connection has ended they fail
// with RPC_E_DISCONNECTED. A release is safe on any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/com/IDispatchObject.h"

namespace quor::transport {

class TDataBlockInterpreter;
class TDataDispatch;

// "The object invoked has disconnected from its clients."
inline constexpr com::HResult RPC_E_DISCONNECTED = static_cast<com::HResult>(0x80010108u);
// "The application called an interface that was marshalled for a different
// thread."
inline constexpr com::HResult RPC_E_WRONG_THREAD = static_cast<com::HResult>(0x8001010Eu);

// Shared by an interpreter and its proxies, so a proxy can outlive the
// interpreter and find out that it did, and so a proxy let go on another
// thread leaves its free to the connection's own thread instead of writing
// into the middle of that thread's frames.
struct ProxyLink {
  std::mutex mutex;  // guards every member
  TDataBlockInterpreter* interpreter = nullptr;
  std::list<TDataDispatch*> ProxyList;
  // The thread that may use the interpreter; an empty id lets any thread
  // (a client that serialises its own calls).
  std::thread::id owner;
  // Indices whose proxies were released on other threads, and how the owner
  // is told to send their frees.
  std::vector<std::int32_t> pendingFrees;
  std::function<void()> wakeOwner;
};

class TDataDispatch : public com::IDispatchObject {
 public:
  TDataDispatch(std::shared_ptr<ProxyLink> link, std::int32_t index);
  ~TDataDispatch() override;
  TDataDispatch(const TDataDispatch&) = delete;
  TDataDispatch& operator=(const TDataDispatch&) = delete;

  std::int32_t Index() const { return index_; }

  com::HResult GetIDsOfNames(std::string_view name, com::DispId& dispId) override;
  // Transport failures and error replies become DISP_E_EXCEPTION with the
  // message as the description.
  com::HResult Invoke(com::DispId dispId, com::DispatchFlags flags, const com::DispParams& params,
                      com::Variant* result, com::ExcepInfo* excepInfo,
                      std::uint32_t* argErr) override;

 private:
  // The interpreter, or an error status when it is gone or belongs to
  // another thread.
  TDataBlockInterpreter* Interpreter(com::HResult& refusal) const;

  std::shared_ptr<ProxyLink> link_;
  std::int32_t index_;
  std::list<TDataDispatch*>::iterator position_;  // in ProxyList, for O(1) removal
};

}  // namespace quor::transport
