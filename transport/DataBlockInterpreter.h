// Executes the requests of one connection and makes the calls towards its
// peer. Both ends of a connection run one: the server mostly creates objects
// and invokes their members for the client, but an object the client passes
// in an argument is called back through the same connection (see
// TDataDispatch). Objects lent to the peer live in the object table until the
// peer frees them or the interpreter (the connection) ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "platform/com/ClassRegistry.h"
#include "platform/com/IDispatchObject.h"
#include "transport/DataBlock.h"
#include "transport/ObjectTable.h"
#include "transport/TransportInterfaces.h"
#include "transport/ValueCodec.h"

namespace quor::transport {

struct ProxyLink;

// What one peer may cost this side. A server sets them from the port's
// settings; a client trusts its server.
struct InterpreterLimits {
  static constexpr std::size_t kUnlimited = static_cast<std::size_t>(-1);
  // Objects lent to the peer at once (the object table).
  std::size_t maxObjects = kUnlimited;
  // Object references read from one block: each becomes a proxy here.
  std::size_t maxReferences = kUnlimited;
};

class TDataBlockInterpreter : public ObjectLink {
 public:
  // classes: what actCreateObject may create; null on a side that creates
  // nothing for its peer. checkValue: the class mark required for creation
  // and listing ("Sockets"), or empty for no check.
  TDataBlockInterpreter(ISendDataBlock& sendLink, std::shared_ptr<const com::ClassRegistry> classes,
                        std::string checkValue, InterpreterLimits limits = {});
  // Detaches every live proxy first, so a proxy that outlives the connection
  // sends nothing, then releases the objects lent to the peer.
  ~TDataBlockInterpreter() override;
  TDataBlockInterpreter(const TDataBlockInterpreter&) = delete;
  TDataBlockInterpreter& operator=(const TDataBlockInterpreter&) = delete;

  // Executes one request and sends its reply through the send link. A failing
  // request is answered with an error reply (0xDB01) and the connection goes
  // on; an error block from the peer (action 0x01) raises RemoteError to the
  // caller unanswered, and TransportError passes through (the connection is
  // gone).
  void InterpretBlock(TDataBlock& block);

  ReadValueResult ReadValue(TDataBlock& block) { return codec_.ReadValue(block); }
  void WriteValue(const com::Variant& value, TDataBlock& block) { codec_.WriteValue(value, block); }

  std::int32_t RegisterObject(const com::Variant& object) override;
  com::DispatchPtr ProxyFor(std::int32_t index) override;
  com::DispatchPtr ObjectAt(std::int32_t index) const { return objects_.ObjectAt(index); }
  void DropObject(std::int32_t index) { objects_.DropObject(index); }
  const ObjectTable& Objects() const { return objects_; }
  // Proxies for the peer's objects that are still alive.
  std::size_t ProxyCount() const;

  // Binds the interpreter to the thread that serves its connection: proxies
  // are then callable only there, and one released elsewhere calls wake so
  // that thread sends the free (SendPendingFrees).
  void SetOwnerThread(std::thread::id owner, std::function<void()> wake);
  // On the owner thread: tells the peer about proxies released elsewhere.
  void SendPendingFrees();
  bool HasPendingFrees() const;

  bool MayCreate(const std::string& classId) const;
  // A ProgID, or a class id in braces; InterpreterError "Object not available:
  // {class id}" when the check refuses the class.
  com::DispatchPtr CreateByName(const std::string& name);
  com::DispatchPtr InstantiateClass(const std::string& classId);

  // Actions without a handler come here first; true when handled.
  virtual bool HandleCustomAction(std::uint8_t action, TDataBlock& block);

  // Calls towards the peer. Any reply block is read as the answer, whatever
  // its action; an error reply raises RemoteError with the peer's text (it
  // stands where the status would be), and a connection that ends before the
  // reply raises TransportError.
  com::HResult RemoteInvoke(std::int32_t index, com::DispId dispId, com::DispatchFlags flags,
                            const com::DispParams& params, com::Variant* result,
                            com::ExcepInfo* excepInfo);
  com::HResult RemoteGetIds(std::int32_t index, std::string_view name, com::DispId& dispId);
  void RemoteFree(std::int32_t index);
  // An object reference (a proxy) on success.
  com::Variant RemoteCreate(const std::string& name);
  com::Variant RemoteListServers();
  com::Variant RemoteListAppServers();

 protected:
  // How a custom action sends its reply.
  ISendDataBlock& SendLink() { return sendLink_; }

 private:
  void DoInvoke(TDataBlock& block);
  void DoGetIds(TDataBlock& block);
  void DoCreateObject(TDataBlock& block);
  void DoFreeObject(TDataBlock& block);
  void DoListServers(TDataBlock& block, std::uint8_t action);
  void SendError(TDataBlock& block, const std::string& message);
  com::Variant ServerList() const;
  std::int32_t ReadInteger(TDataBlock& block);
  TDataBlock Call(TDataBlock& request);

  ISendDataBlock& sendLink_;
  std::shared_ptr<const com::ClassRegistry> classes_;
  std::string checkValue_;
  InterpreterLimits limits_;
  std::size_t frameReferences_ = 0;  // proxies made from the block being read
  ObjectTable objects_;
  ValueCodec codec_;
  std::shared_ptr<ProxyLink> link_;
};

}  // namespace quor::transport
