// A stand-in on this side for an object the peer lent: GetIDsOfNames and
// Invoke travel to the peer through the interpreter that read the reference,
// and releasing the last reference tells the peer to free its object. Used on
// the connection's own thread, where the interpreter runs; once the
// connection has ended, calls fail with RPC_E_DISCONNECTED.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/com/IDispatchObject.h"

namespace quor::transport {

class TDataBlockInterpreter;
class TDataDispatch;

// "The object invoked has disconnected from its clients."
inline constexpr com::HResult RPC_E_DISCONNECTED = static_cast<com::HResult>(0x80010108u);

// Shared by an interpreter and its proxies, so a proxy can outlive the
// interpreter and find out that it did.
struct ProxyLink {
  std::mutex mutex;  // guards both members
  TDataBlockInterpreter* interpreter = nullptr;
  std::vector<TDataDispatch*> ProxyList;
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
  TDataBlockInterpreter* Interpreter() const;

  std::shared_ptr<ProxyLink> link_;
  std::int32_t index_;
};

}  // namespace quor::transport
