#include "tests/transport/TestBed.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <stdexcept>

#include "platform/com/ClassRegistration.h"
#include "platform/com/SafeArray.h"
#include "platform/datasnap/DataPacketWriter.h"
#include "platform/sql/Field.h"
#include "platform/sql/Value.h"
#include "transport/DataBlock.h"

namespace quor::transport::testing {
namespace {

namespace fs = std::filesystem;
using com::DispatchArgs;
using com::MemberInfo;
using com::MemberKind;
using com::ParamMode;
using com::Variant;

std::atomic<std::size_t> liveEchoObjects{0};

class EchoObject : public com::TableDispatch {
 public:
  EchoObject() : TableDispatch(Table()) { ++liveEchoObjects; }
  ~EchoObject() override { --liveEchoObjects; }

 private:
  static std::shared_ptr<const com::DispatchTable> Table() {
    static const auto table = std::make_shared<const com::DispatchTable>(
        std::vector<MemberInfo>{
            {"Echo", 1, MemberKind::Method, {{"Value"}}, Bind(&EchoObject::Echo)},
            {"AddOne",
             2,
             MemberKind::Method,
             {{"Number", com::VT_I4, ParamMode::InOut}},
             Bind(&EchoObject::AddOne)},
            {"Greet",
             3,
             MemberKind::Method,
             {{"Name", com::VT_BSTR}, {"Greeting", com::VT_VARIANT, ParamMode::Out}},
             Bind(&EchoObject::Greet)},
            {"Fail", 4, MemberKind::Method, {}, Bind(&EchoObject::Fail)},
            {"CallBack",
             5,
             MemberKind::Method,
             {{"Target", com::VT_DISPATCH}, {"Value", com::VT_I4}},
             Bind(&EchoObject::CallBack)},
            {"Hold",
             6,
             MemberKind::Method,
             {{"Target", com::VT_DISPATCH}},
             Bind(&EchoObject::Hold)},
            {"Bytes", 7, MemberKind::Method, {{"Count", com::VT_I4}}, Bind(&EchoObject::Bytes)},
            {"Sum", 8, MemberKind::Method, {{"Values"}}, Bind(&EchoObject::Sum)},
            {"ThreadTag", 9, MemberKind::Method, {}, Bind(&EchoObject::ThreadTag)},
            {"CallBackElsewhere",
             10,
             MemberKind::Method,
             {{"Target", com::VT_DISPATCH}, {"Value", com::VT_I4}},
             Bind(&EchoObject::CallBackElsewhere)},
            {"ReleaseElsewhere", 11, MemberKind::Method, {}, Bind(&EchoObject::ReleaseElsewhere)},
        },
        kEchoProgId);
    return table;
  }

  Variant Echo(DispatchArgs& args) { return args[0]; }
  Variant AddOne(DispatchArgs& args) {
    args[0] = Variant::I4(args[0].GetI4() + 1);
    return {};
  }
  Variant Greet(DispatchArgs& args) {
    args[1] = Variant::String("Hello, " + args[0].GetString());
    return Variant::I4(0);
  }
  Variant Fail(DispatchArgs&) { throw com::HResultError(kEchoFailureCode, kEchoFailureText); }
  // Calls the caller's own object while the caller waits for this call.
  Variant CallBack(DispatchArgs& args) {
    const com::DispatchPtr target = args[0].GetDispatch();
    com::DispId dispId = com::DISPID_UNKNOWN;
    const com::HResult lookup = target->GetIDsOfNames("Twice", dispId);
    if (com::Failed(lookup)) throw com::HResultError(lookup, "no member Twice");
    com::DispParams params({args[1]});
    Variant result;
    com::ExcepInfo excepInfo;
    const com::HResult status =
        target->Invoke(dispId, com::DISPATCH_METHOD, params, &result, &excepInfo, nullptr);
    if (com::Failed(status)) throw com::HResultError(status, excepInfo.description);
    return result;
  }
  Variant Hold(DispatchArgs& args) {
    held_ = args[0].GetDispatch();
    return {};
  }
  Variant Bytes(DispatchArgs& args) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(args[0].GetI4()));
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i % 251);
    return Variant::Bytes(std::move(bytes));
  }
  Variant Sum(DispatchArgs& args) {
    const com::SafeArray& values = args[0].GetArray();
    double sum = 0;
    std::vector<std::int32_t> index = values.FirstIndex();
    if (values.ElementCount() > 0) {
      do {
        sum += values.Get(index).ToR8();
      } while (values.NextIndex(index));
    }
    return Variant::R8(sum);
  }

  Variant ThreadTag(DispatchArgs&) { return Variant::I4(CurrentThreadTag()); }
  // The same call made from a thread of the server's own: the status it got.
  Variant CallBackElsewhere(DispatchArgs& args) {
    const com::DispatchPtr target = args[0].GetDispatch();
    com::HResult status = com::S_OK;
    std::thread([&] {
      com::DispId dispId = 1;
      com::DispParams params({args[1]});
      Variant result;
      status = target->Invoke(dispId, com::DISPATCH_METHOD, params, &result, nullptr, nullptr);
    }).join();
    return Variant::I4(status);
  }
  // Lets go of the held object on a thread of the server's own.
  Variant ReleaseElsewhere(DispatchArgs&) {
    std::thread([held = std::move(held_)]() mutable { held.reset(); }).join();
    return {};
  }

  com::DispatchPtr held_;
};

sql::Field Column(std::string name, std::string typeName, sql::ValueKind kind,
                  std::size_t size = 0) {
  sql::Field field;
  field.name = std::move(name);
  field.typeName = std::move(typeName);
  field.kind = kind;
  field.size = size;
  return field;
}

std::vector<std::uint8_t> ProviderPacket() {
  const std::vector<sql::Field> fields = {
      Column("ID", "int", sql::ValueKind::kInteger),
      Column("Name", "nvarchar", sql::ValueKind::kText, 20),
      Column("Price", "money", sql::ValueKind::kDecimal),
      Column("Day", "datetime", sql::ValueKind::kDateTime),
      Column("Active", "bit", sql::ValueKind::kBoolean),
  };
  datasnap::DataPacketWriter writer(fields);
  for (const ProviderRow& row : ProviderRows()) {
    sql::DateTime day;
    if (!sql::DateTime::Parse(row.day, day)) throw std::logic_error("bad test date");
    const std::vector<sql::Value> values = {
        sql::Value::Integer(row.id), sql::Value::Text(row.name), sql::Value::Double(row.price),
        sql::Value::FromDateTime(day), sql::Value::Boolean(row.active)};
    writer.AddRow(values);
  }
  return writer.Finish();
}

// IAppServer's AS_GetRecords, with the DISPID clients call it by.
class ProviderObject : public com::TableDispatch {
 public:
  ProviderObject() : TableDispatch(Table()) {}

 private:
  static std::shared_ptr<const com::DispatchTable> Table() {
    static const auto table = std::make_shared<const com::DispatchTable>(
        std::vector<MemberInfo>{
            {"AS_GetRecords",
             20000001,
             MemberKind::Method,
             {{"ProviderName", com::VT_BSTR},
              {"Count", com::VT_I4},
              {"RecsOut", com::VT_I4, ParamMode::Out},
              {"Options", com::VT_I4},
              {"CommandText", com::VT_BSTR},
              {"Params", com::VT_VARIANT, ParamMode::InOut},
              {"OwnerData", com::VT_VARIANT, ParamMode::InOut}},
             Bind(&ProviderObject::GetRecords)},
        },
        kProviderProgId);
    return table;
  }

  Variant GetRecords(DispatchArgs& args) {
    if (args[0].GetString() != "QueryProvider") {
      throw com::HResultError(com::E_FAIL, "Provider not found: " + args[0].GetString());
    }
    args[2] = Variant::I4(static_cast<std::int32_t>(ProviderRows().size()));
    return Variant::Bytes(ProviderPacket());
  }
};

class XorInterceptor : public com::TableDispatch, public IDataIntercept {
 public:
  XorInterceptor()
      : TableDispatch(std::make_shared<const com::DispatchTable>(std::vector<MemberInfo>{})) {}
  void DataIn(TDataBlock& block) override { XorPayload(block); }
  void DataOut(TDataBlock& block) override { XorPayload(block); }
};

com::ClassRegistration Registration(const char* classId, const char* progId, bool sockets) {
  com::ClassRegistration entry{classId, progId, std::string(progId) + " test class", {}};
  if (sockets) entry.classValues.emplace_back("Sockets", "1");
  return entry;
}

}  // namespace

const std::vector<ProviderRow>& ProviderRows() {
  static const std::vector<ProviderRow> rows = {
      {1, "螺丝刀", 12.5, "2024-01-02", true},
      {2, "Hammer", 30.0, "2024-02-29", false},
      {3, "扳手 set", 7.25, "1999-12-31", true},
  };
  return rows;
}

std::size_t LiveEchoObjects() {
  return liveEchoObjects;
}

TestBed::TestBed()
    : store_(folder_.Path() / "registry.reg"),
      classes_(std::make_shared<com::ClassRegistry>(store_)) {
  const struct {
    com::ClassRegistration entry;
    com::ClassCreator creator;
  } classes[] = {
      {Registration(kEchoClassId, kEchoProgId, true),
       [] { return std::make_shared<EchoObject>(); }},
      {Registration(kProviderClassId, kProviderProgId, true),
       [] { return std::make_shared<ProviderObject>(); }},
      {Registration(kUnmarkedClassId, kUnmarkedProgId, false),
       [] { return std::make_shared<EchoObject>(); }},
      {Registration(kBrokenClassId, kBrokenProgId, true),
       []() -> com::DispatchPtr { throw std::runtime_error(kBrokenCreationText); }},
      {Registration(kXorClassId, kXorProgId, false),
       [] { return std::make_shared<XorInterceptor>(); }},
  };
  for (const auto& item : classes) {
    com::RegisterClass(store_, item.entry, "/usr/bin/quor-transport-test");
    classes_->Add(item.entry, item.creator);
  }
}

std::shared_ptr<TransportContext> TestBed::MakeContext() const {
  auto context = std::make_shared<TransportContext>();
  context->classes = classes_;
  context->bindAddress = "127.0.0.1";
  context->registeredOnly = true;
  context->idleCheckInterval = std::chrono::milliseconds(20);
  context->timeoutUnit = std::chrono::milliseconds(60);
  return context;
}

Doubler::Doubler()
    : TableDispatch(std::make_shared<const com::DispatchTable>(std::vector<MemberInfo>{
          {"Twice",
           1,
           MemberKind::Method,
           {{"Value", com::VT_I4}},
           [](com::IDispatchObject& self, DispatchArgs& args) {
             auto& doubler = dynamic_cast<Doubler&>(self);
             ++doubler.calls;
             doubler.lastThread = std::this_thread::get_id();
             // A client that is slow to answer the server's call.
             std::this_thread::sleep_for(doubler.delay.load());
             return Variant::I4(args[0].GetI4() * 2);
           }},
      })) {}

void XorPayload(TDataBlock& block) {
  std::uint8_t* payload = block.PayloadData();
  for (std::size_t i = 0; i < block.PayloadSize(); ++i) payload[i] ^= 0x5A;
}

std::int32_t CurrentThreadTag() {
  static std::atomic<std::int32_t> next{1};
  thread_local const std::int32_t tag = next++;
  return tag;
}

std::size_t ThreadsInProcess() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/task")) ++count;
  return count;
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace quor::transport::testing
