#include "tools/QuorCall.h"

#include <charconv>
#include <chrono>
#include <memory>
#include <optional>
#include <ostream>
#include <system_error>

#include "platform/com/SafeArray.h"
#include "tools/CallArguments.h"
#include "tools/PacketTable.h"
#include "transport/DataDispatch.h"
#include "transport/PortSettings.h"
#include "transport/SocketClient.h"
#include "transport/TransportError.h"

namespace quor::tools {
namespace {

using com::Variant;

constexpr const char* kDefaultProgId = "QuorServerAll.DataModuleServer";
constexpr com::DispId kGetRecordsDispId = 20000001;  // IAppServer::AS_GetRecords

struct Options {
  std::string host = "127.0.0.1";
  std::uint16_t port = transport::kDefaultPort;
  std::string progId = kDefaultProgId;
  int timeoutSeconds = 60;
};

// One command of a session: "call", "get", "records", "servers", "appservers".
struct Command {
  std::string verb;
  std::vector<std::string> words;
};

int ParseNumber(const std::string& option, const std::string& text) {
  int value = 0;
  const auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || stop != text.data() + text.size()) {
    throw UsageError(option + " needs a number, not \"" + text + "\"");
  }
  return value;
}

std::string ValueText(const Variant& value) {
  const Variant& held = value.Deref();
  if (held.Type() == com::VT_BSTR) return held.GetString();
  return held.DebugString();
}

bool IsDataPacket(const Variant& value) {
  const Variant& held = value.Deref();
  return held.Type() == (com::VT_ARRAY | com::VT_UI1) &&
         LooksLikeDataPacket(held.GetArray().Bytes());
}

void PrintValue(const std::string& label, const Variant& value, std::ostream& out) {
  if (IsDataPacket(value)) {
    out << label << ": data packet\n";
    PrintTable(ReadPacketTable(value.Deref().GetArray().Bytes()), out);
    return;
  }
  out << label << ": " << ValueText(value) << '\n';
}

void PrintList(const Variant& list, std::ostream& out) {
  if (!list.IsArray()) {
    if (!list.IsNull()) out << ValueText(list) << '\n';
    return;
  }
  const com::SafeArray& array = list.GetArray();
  std::vector<std::int32_t> index = array.FirstIndex();
  if (array.ElementCount() == 0) return;
  do {
    out << ValueText(array.Get(index)) << '\n';
  } while (array.NextIndex(index));
}

class Session {
 public:
  Session(const Options& options, std::ostream& out) : options_(options), out_(out) {
    transport::SocketClientOptions clientOptions;
    clientOptions.replyTimeout = std::chrono::seconds(options.timeoutSeconds);
    clientOptions.connectTimeout = std::chrono::seconds(options.timeoutSeconds);
    client_ = std::make_unique<transport::SocketClient>(options.host, options.port, clientOptions);
  }

  void Run(const Command& command) {
    if (command.verb == "servers" || command.verb == "appservers") {
      if (!command.words.empty()) throw UsageError(command.verb + " takes no arguments");
      PrintList(command.verb == "servers" ? client_->Interpreter().RemoteListServers()
                                          : client_->Interpreter().RemoteListAppServers(),
                out_);
    } else if (command.verb == "call" || command.verb == "get") {
      Call(command);
    } else if (command.verb == "records") {
      Records(command);
    } else {
      throw UsageError("unknown command \"" + command.verb + "\"");
    }
  }

 private:
  const com::DispatchPtr& Module() {
    if (!module_) module_ = client_->CreateObject(options_.progId);
    return module_;
  }

  void Call(const Command& command) {
    if (command.words.empty()) throw UsageError(command.verb + " needs a member name");
    std::vector<Variant> args;
    for (std::size_t i = 1; i < command.words.size(); ++i) {
      args.push_back(ParseArgument(command.words[i]));
    }
    const Variant result =
        client_->Call(Module(), command.words[0], args,
                      command.verb == "get" ? com::DISPATCH_PROPERTYGET : com::DISPATCH_METHOD);
    for (std::size_t i = 0; i < args.size(); ++i) {
      if (args[i].IsByRef()) PrintValue("out " + std::to_string(i + 1), args[i], out_);
    }
    PrintValue("result", result, out_);
  }

  void Records(const Command& command) {
    if (command.words.empty()) throw UsageError("records needs a provider name");
    std::int32_t count = -1;
    std::int32_t packetOptions = 1;  // with metadata, as a client's first fetch
    std::string commandText;
    for (std::size_t i = 1; i < command.words.size(); ++i) {
      const std::string& word = command.words[i];
      if (i + 1 >= command.words.size()) throw UsageError(word + " needs a value");
      const std::string& value = command.words[++i];
      if (word == "--count") {
        count = ParseNumber(word, value);
      } else if (word == "--options") {
        packetOptions = ParseNumber(word, value);
      } else if (word == "--command") {
        commandText = value;
      } else {
        throw UsageError("unknown records option \"" + word + "\"");
      }
    }
    auto recordsOut = std::make_shared<Variant>(Variant::I4(0));
    // Declared order: ProviderName, Count, out RecsOut, Options, CommandText,
    // in/out Params, in/out OwnerData; sent last first.
    com::DispParams params({Variant::ByRef(std::make_shared<Variant>()),
                            Variant::ByRef(std::make_shared<Variant>()),
                            Variant::String(commandText), Variant::I4(packetOptions),
                            Variant::ByRef(recordsOut, com::VT_I4), Variant::I4(count),
                            Variant::String(command.words[0])});
    const auto& proxy = dynamic_cast<transport::TDataDispatch&>(*Module());
    Variant packet;
    com::ExcepInfo excepInfo;
    const com::HResult status = client_->Interpreter().RemoteInvoke(
        proxy.Index(), kGetRecordsDispId, com::DISPATCH_METHOD, params, &packet, &excepInfo);
    if (status == com::DISP_E_EXCEPTION)
      throw com::HResultError(excepInfo.scode, excepInfo.description);
    if (com::Failed(status)) throw com::HResultError(status);
    if (!IsDataPacket(packet)) {
      out_ << "result: " << ValueText(packet) << '\n';
      return;
    }
    PrintTable(ReadPacketTable(packet.GetArray().Bytes()), out_);
  }

  const Options& options_;
  std::ostream& out_;
  std::unique_ptr<transport::SocketClient> client_;
  com::DispatchPtr module_;
};

// Options first, then commands separated by the word "then".
std::vector<Command> ParseCommandLine(const std::vector<std::string>& arguments, Options& options,
                                      bool& help) {
  std::size_t i = 0;
  for (; i < arguments.size(); ++i) {
    const std::string& word = arguments[i];
    if (word == "--help" || word == "-h") {
      help = true;
      return {};
    }
    if (word.rfind("--", 0) != 0) break;
    if (i + 1 >= arguments.size()) throw UsageError(word + " needs a value");
    const std::string& value = arguments[++i];
    if (word == "--host") {
      options.host = value;
    } else if (word == "--port") {
      const int port = ParseNumber(word, value);
      if (port < 1 || port > 65535) throw UsageError("--port must be 1..65535");
      options.port = static_cast<std::uint16_t>(port);
    } else if (word == "--progid") {
      options.progId = value;
    } else if (word == "--timeout") {
      options.timeoutSeconds = ParseNumber(word, value);
      if (options.timeoutSeconds < 1) throw UsageError("--timeout must be at least 1");
    } else {
      throw UsageError("unknown option \"" + word + "\"");
    }
  }
  std::vector<Command> commands;
  for (; i < arguments.size(); ++i) {
    if (arguments[i] == "then") {
      if (commands.empty() || commands.back().verb.empty())
        throw UsageError("\"then\" without a command before it");
      commands.push_back({});
      continue;
    }
    if (commands.empty()) commands.push_back({});
    Command& command = commands.back();
    if (command.verb.empty()) {
      command.verb = arguments[i];
    } else {
      command.words.push_back(arguments[i]);
    }
  }
  if (commands.empty() || commands.back().verb.empty()) throw UsageError("no command given");
  return commands;
}

}  // namespace

std::string QuorCallUsage() {
  return std::string(
             "Usage: quorcall [OPTIONS] COMMAND [ARGS...] [then COMMAND [ARGS...]]...\n"
             "\n"
             "Speaks the desktop clients' protocol (TCP 211) to a Quor server. All commands\n"
             "of one run share one connection and one module, as a client's calls do.\n"
             "\n"
             "Options:\n"
             "  --host HOST       server name or address (default 127.0.0.1)\n"
             "  --port PORT       server port (default 211)\n"
             "  --progid NAME     class to create (default QuorServerAll.DataModuleServer)\n"
             "  --timeout SEC     longest wait for a connection or a reply (default 60)\n"
             "  -h, --help        print this text\n"
             "\n"
             "Commands:\n"
             "  call MEMBER [ARG...]   call a method of the module, print out-arguments and "
             "result\n"
             "  get MEMBER [ARG...]    read a property of the module\n"
             "  records PROVIDER [--count N] [--options N] [--command TEXT]\n"
             "                         fetch a provider's rows (AS_GetRecords) and print a table\n"
             "  servers                list the classes the server offers (get server list)\n"
             "  appservers             list the application servers\n"
             "\n") +
         ArgumentSyntaxHelp() +
         "\n"
         "Example:\n"
         "  quorcall --host srv call ConnectDb s:BZ out:i then records QueryProvider\n"
         "\n"
         "Exit status: 0 done, 1 a call failed, 2 bad command line, 3 no connection.\n";
}

int RunQuorCall(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  Options options;
  std::vector<Command> commands;
  try {
    bool help = false;
    commands = ParseCommandLine(arguments, options, help);
    if (help) {
      out << QuorCallUsage();
      return kCallOk;
    }
  } catch (const UsageError& error) {
    err << "quorcall: " << error.what() << "\nTry quorcall --help.\n";
    return kUsageError;
  }
  std::unique_ptr<Session> session;
  try {
    session = std::make_unique<Session>(options, out);
  } catch (const std::system_error& error) {
    err << "quorcall: cannot reach " << options.host << ":" << options.port << ": "
        << error.code().message() << '\n';
    return kNoConnection;
  }
  for (const Command& command : commands) {
    try {
      session->Run(command);
    } catch (const UsageError& error) {
      err << "quorcall: " << error.what() << "\nTry quorcall --help.\n";
      return kUsageError;
    } catch (const com::HResultError& error) {
      err << "quorcall: " << command.verb << " failed: " << com::FormatHResult(error.Code()) << " "
          << error.what() << '\n';
      return kCallFailed;
    } catch (const std::exception& error) {
      err << "quorcall: " << command.verb << " failed: " << error.what() << '\n';
      return kCallFailed;
    }
  }
  return kCallOk;
}

}  // namespace quor::tools
