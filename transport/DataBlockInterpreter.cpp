#include "transport/DataBlockInterpreter.h"

#include <cstdio>
#include <exception>
#include <utility>
#include <vector>

#include "platform/com/Guid.h"
#include "platform/com/SafeArray.h"
#include "platform/com/VariantConvert.h"
#include "transport/DataDispatch.h"
#include "transport/Protocol.h"
#include "transport/TransportError.h"
#include "transport/TransportLog.h"

namespace quor::transport {
namespace {

using com::Variant;

bool IsClassIdText(const std::string& name) {
  return !name.empty() && name.front() == '{' && name.back() == '}';
}

}  // namespace

TDataBlockInterpreter::TDataBlockInterpreter(ISendDataBlock& sendLink,
                                             std::shared_ptr<const com::ClassRegistry> classes,
                                             std::string checkValue, InterpreterLimits limits)
    : sendLink_(sendLink),
      classes_(std::move(classes)),
      checkValue_(std::move(checkValue)),
      limits_(limits),
      objects_(limits.maxObjects),
      codec_(*this),
      link_(std::make_shared<ProxyLink>()) {
  link_->interpreter = this;
}

TDataBlockInterpreter::~TDataBlockInterpreter() {
  {
    std::lock_guard lock(link_->mutex);
    // Proxies that live on leave the list themselves; the link outlives us.
    link_->interpreter = nullptr;
    link_->pendingFrees.clear();
    link_->wakeOwner = nullptr;
  }
  objects_.Clear();
}

void TDataBlockInterpreter::SetOwnerThread(std::thread::id owner, std::function<void()> wake) {
  std::lock_guard lock(link_->mutex);
  link_->owner = owner;
  link_->wakeOwner = std::move(wake);
}

bool TDataBlockInterpreter::HasPendingFrees() const {
  std::lock_guard lock(link_->mutex);
  return !link_->pendingFrees.empty();
}

void TDataBlockInterpreter::SendPendingFrees() {
  std::vector<std::int32_t> indices;
  {
    std::lock_guard lock(link_->mutex);
    indices.swap(link_->pendingFrees);
  }
  for (const std::int32_t index : indices) RemoteFree(index);
}

std::int32_t TDataBlockInterpreter::RegisterObject(const Variant& object) {
  return objects_.RegisterObject(object);
}

com::DispatchPtr TDataBlockInterpreter::ProxyFor(std::int32_t index) {
  if (++frameReferences_ > limits_.maxReferences) {
    throw LimitExceeded("Too many object references in one data block (MaxReferences " +
                        std::to_string(limits_.maxReferences) + ")");
  }
  return std::make_shared<TDataDispatch>(link_, index);
}

std::size_t TDataBlockInterpreter::ProxyCount() const {
  std::lock_guard lock(link_->mutex);
  return link_->ProxyList.size();
}

void TDataBlockInterpreter::InterpretBlock(TDataBlock& block) {
  const auto action = static_cast<std::uint8_t>(block.Signature() & kActionMask);
  frameReferences_ = 0;
  if (action == actError) {
    throw RemoteError(ReadValue(block).value.ToString());
  }
  try {
    switch (action) {
      case actInvoke:
        DoInvoke(block);
        break;
      case actGetIds:
        DoGetIds(block);
        break;
      case actCreateObject:
        DoCreateObject(block);
        break;
      case actFreeObject:
        DoFreeObject(block);
        break;
      case actListServers:
      case actListAppServers:
        DoListServers(block, action);
        break;
      default:
        if (!HandleCustomAction(action, block)) {
          throw InterpreterError(FormatProtocolText(kInvalidAction, std::to_string(action)));
        }
    }
  } catch (const TransportError&) {
    throw;
  } catch (const LimitExceeded& error) {
    LogLimit(error.what());
    SendError(block, error.what());
  } catch (const std::exception& error) {
    SendError(block, error.what());
  }
}

bool TDataBlockInterpreter::HandleCustomAction(std::uint8_t /*action*/, TDataBlock& /*block*/) {
  return false;
}

void TDataBlockInterpreter::SendError(TDataBlock& block, const std::string& message) {
  block.ResetBlock();
  WriteValue(Variant::String(message), block);
  block.SetSignature(sigResult | actError);
  sendLink_.SendBlock(block, false);
}

std::int32_t TDataBlockInterpreter::ReadInteger(TDataBlock& block) {
  return com::ChangeType(ReadValue(block).value, com::VT_I4).GetI4();
}

void TDataBlockInterpreter::DoInvoke(TDataBlock& block) {
  const std::int32_t index = ReadInteger(block);
  const com::DispId dispId = ReadInteger(block);
  const auto flags = static_cast<com::DispatchFlags>(ReadInteger(block));
  const bool resultWanted = ReadValue(block).value.ToBool();
  const std::int32_t argCount = ReadInteger(block);
  const std::int32_t namedCount = ReadInteger(block);
  // Each count is checked against the payload before anything is reserved.
  if (argCount < 0 || namedCount < 0 || namedCount > argCount ||
      static_cast<std::size_t>(argCount) > block.Remaining() / 4) {
    throw InterpreterError(kInvalidDataPacket);
  }
  com::DispParams params;
  params.namedArgs.reserve(static_cast<std::size_t>(namedCount));
  for (std::int32_t i = 0; i < namedCount; ++i) params.namedArgs.push_back(ReadInteger(block));
  params.args.reserve(static_cast<std::size_t>(argCount));
  for (std::int32_t i = 0; i < argCount; ++i) {
    ReadValueResult arg = ReadValue(block);
    if (arg.byRef) {
      // The callee writes through the reference; the reply carries it back.
      const com::VarType target = arg.byRefVariant ? com::VT_VARIANT : arg.value.Type();
      params.args.push_back(
          Variant::ByRef(std::make_shared<Variant>(std::move(arg.value)), target));
    } else {
      params.args.push_back(std::move(arg.value));
    }
  }
  const com::DispatchPtr object = ObjectAt(index);
  Variant result;
  com::ExcepInfo excepInfo;
  const com::HResult status =
      object->Invoke(dispId, flags, params, resultWanted ? &result : nullptr, &excepInfo, nullptr);
  block.ResetBlock();
  WriteValue(Variant::I4(status), block);
  if (status == com::DISP_E_EXCEPTION) {
    const std::int32_t code = excepInfo.scode != 0 ? excepInfo.scode : excepInfo.code;
    WriteValue(Variant::I4(code), block);
    WriteValue(Variant::String(excepInfo.description), block);
  }
  for (const Variant& arg : params.args) {
    if (arg.IsByRef()) WriteValue(arg, block);
  }
  if (resultWanted) WriteValue(result, block);
  block.SetSignature(sigResult | actInvoke);
  sendLink_.SendBlock(block, false);
}

void TDataBlockInterpreter::DoGetIds(TDataBlock& block) {
  const std::int32_t index = ReadInteger(block);
  const std::string name = ReadValue(block).value.ToString();
  com::DispId dispId = com::DISPID_UNKNOWN;
  const com::HResult status = ObjectAt(index)->GetIDsOfNames(name, dispId);
  block.ResetBlock();
  WriteValue(Variant::I4(status), block);
  if (status == com::S_OK) WriteValue(Variant::I4(dispId), block);
  block.SetSignature(sigResult | actGetIds);
  sendLink_.SendBlock(block, false);
}

void TDataBlockInterpreter::DoCreateObject(TDataBlock& block) {
  const std::string name = ReadValue(block).value.ToString();
  // Refused before creating: a module costs a database connection.
  objects_.CheckRoom();
  const com::DispatchPtr object = CreateByName(name);
  block.ResetBlock();
  WriteValue(Variant::Dispatch(object), block);
  block.SetSignature(sigResult | actCreateObject);
  sendLink_.SendBlock(block, false);
}

void TDataBlockInterpreter::DoFreeObject(TDataBlock& block) {
  // The peer expects no answer, not even to a bad index.
  try {
    DropObject(ReadInteger(block));
  } catch (const std::exception&) {
  }
}

void TDataBlockInterpreter::DoListServers(TDataBlock& block, std::uint8_t action) {
  const Variant list = ServerList();
  block.ResetBlock();
  WriteValue(list, block);
  block.SetSignature(sigResult | action);
  sendLink_.SendBlock(block, false);
}

// Every class this process can create is an application server, so both list
// actions walk the class registry, keeping only marked classes under the check.
Variant TDataBlockInterpreter::ServerList() const {
  std::vector<std::string> progIds;
  if (classes_) {
    for (const com::ClassRegistration& entry : classes_->Classes()) {
      if (!checkValue_.empty() && !classes_->HasMark(entry.classId, checkValue_)) continue;
      progIds.push_back(entry.progId);
    }
  }
  if (progIds.empty()) return Variant::Null();
  com::SafeArray list =
      com::SafeArray::Vector(com::VT_BSTR, static_cast<std::uint32_t>(progIds.size()));
  for (std::size_t i = 0; i < progIds.size(); ++i) {
    list.Put({static_cast<std::int32_t>(i)}, Variant::String(progIds[i]));
  }
  return Variant::Array(std::move(list));
}

bool TDataBlockInterpreter::MayCreate(const std::string& classId) const {
  if (checkValue_.empty()) return true;
  return classes_ && classes_->HasMark(classId, checkValue_);
}

com::DispatchPtr TDataBlockInterpreter::CreateByName(const std::string& name) {
  if (!classes_) throw com::HResultError(com::REGDB_E_CLASSNOTREG, "Class not registered: " + name);
  std::string classId;
  if (IsClassIdText(name)) {
    const auto parsed = com::Guid::TryParse(name);
    classId = parsed ? parsed->ToString() : name;
  } else {
    classId = classes_->ResolveClassId(name);
  }
  if (!MayCreate(classId)) throw InterpreterError(FormatProtocolText(kObjectNotAvailable, classId));
  return InstantiateClass(classId);
}

com::DispatchPtr TDataBlockInterpreter::InstantiateClass(const std::string& classId) {
  if (!classes_) {
    throw com::HResultError(com::REGDB_E_CLASSNOTREG, "Class not registered: " + classId);
  }
  return classes_->Create(classId);
}

TDataBlock TDataBlockInterpreter::Call(TDataBlock& request) {
  std::optional<TDataBlock> reply = sendLink_.SendBlock(request, true);
  if (!reply) throw TransportError(kErrorReadingSocket);
  frameReferences_ = 0;
  const auto action = static_cast<std::uint8_t>(reply->Signature() & kActionMask);
  if (action == actError) throw RemoteError(ReadValue(*reply).value.ToString());
  return std::move(*reply);
}

com::HResult TDataBlockInterpreter::RemoteInvoke(std::int32_t index, com::DispId dispId,
                                                 com::DispatchFlags flags,
                                                 const com::DispParams& params, Variant* result,
                                                 com::ExcepInfo* excepInfo) {
  TDataBlock request;
  WriteValue(Variant::I4(index), request);
  WriteValue(Variant::I4(dispId), request);
  WriteValue(Variant::I4(flags), request);
  WriteValue(Variant::Bool(result != nullptr), request);
  WriteValue(Variant::I4(static_cast<std::int32_t>(params.args.size())), request);
  WriteValue(Variant::I4(static_cast<std::int32_t>(params.namedArgs.size())), request);
  for (const com::DispId named : params.namedArgs) WriteValue(Variant::I4(named), request);
  for (const Variant& arg : params.args) WriteValue(arg, request);
  request.SetSignature(sigCall | actInvoke);

  TDataBlock reply = Call(request);
  const com::HResult status = ReadInteger(reply);
  if (status == com::DISP_E_EXCEPTION) {
    const std::int32_t code = ReadInteger(reply);
    std::string description = ReadValue(reply).value.ToString();
    if (excepInfo) {
      *excepInfo = {};
      excepInfo->scode = code;
      excepInfo->description = std::move(description);
    }
  }
  for (const Variant& arg : params.args) {
    if (arg.IsByRef()) arg.SetTarget(ReadValue(reply).value);
  }
  if (result) *result = ReadValue(reply).value;
  return status;
}

com::HResult TDataBlockInterpreter::RemoteGetIds(std::int32_t index, std::string_view name,
                                                 com::DispId& dispId) {
  TDataBlock request;
  WriteValue(Variant::I4(index), request);
  WriteValue(Variant::String(std::string(name)), request);
  request.SetSignature(sigCall | actGetIds);
  TDataBlock reply = Call(request);
  const com::HResult status = ReadInteger(reply);
  if (status == com::S_OK) dispId = ReadInteger(reply);
  return status;
}

void TDataBlockInterpreter::RemoteFree(std::int32_t index) {
  TDataBlock request;
  WriteValue(Variant::I4(index), request);
  request.SetSignature(sigCall | actFreeObject);
  sendLink_.SendBlock(request, false);
}

Variant TDataBlockInterpreter::RemoteCreate(const std::string& name) {
  TDataBlock request;
  WriteValue(Variant::String(name), request);
  request.SetSignature(sigCall | actCreateObject);
  TDataBlock reply = Call(request);
  return ReadValue(reply).value;
}

Variant TDataBlockInterpreter::RemoteListServers() {
  TDataBlock request;
  request.SetSignature(sigCall | actListServers);
  TDataBlock reply = Call(request);
  return ReadValue(reply).value;
}

Variant TDataBlockInterpreter::RemoteListAppServers() {
  TDataBlock request;
  request.SetSignature(sigCall | actListAppServers);
  TDataBlock reply = Call(request);
  return ReadValue(reply).value;
}

}  // namespace quor::transport
