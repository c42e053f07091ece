#include "tests/support/tds/TdsSession.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <map>

#include "tests/support/tds/ProcedureBinding.h"
#include "tests/support/tds/ProcedureColumns.h"
#include "tests/support/tds/StatementText.h"
#include "tests/support/tds/TdsTypes.h"

namespace quor::test::tds {
namespace {

constexpr std::uint8_t kEnvDatabase = 1;
constexpr std::uint8_t kEnvLanguage = 2;
constexpr std::uint8_t kEnvPacketSize = 4;
constexpr std::uint8_t kEnvCollation = 7;
constexpr std::uint8_t kEnvBeginTransaction = 8;
constexpr std::uint8_t kEnvCommitTransaction = 9;
constexpr std::uint8_t kEnvRollbackTransaction = 10;

constexpr std::uint16_t kCmdUpdate = 0xC5;

constexpr std::uint16_t kProcExecuteSql = 10;
constexpr std::uint16_t kProcPrepare = 11;
constexpr std::uint16_t kProcExecute = 12;
constexpr std::uint16_t kProcPrepExec = 13;
constexpr std::uint16_t kProcUnprepare = 15;

constexpr std::uint8_t kParamByRef = 0x01;
constexpr std::uint8_t kParamDefault = 0x02;

constexpr std::uint32_t kTds74 = 0x74000004;
constexpr std::uint32_t kTds72 = 0x72090002;

// Thrown to end the connection without an answer, as a test asked.
struct DropConnection {};
// Thrown when the client cancelled while a reply was held back.
struct Cancelled {};

std::string ProcedureIdName(std::uint16_t id) {
  switch (id) {
    case 1:
      return "sp_cursor";
    case 2:
      return "sp_cursoropen";
    case 3:
      return "sp_cursorprepare";
    case 4:
      return "sp_cursorexecute";
    case 5:
      return "sp_cursorprepexec";
    case 6:
      return "sp_cursorunprepare";
    case 7:
      return "sp_cursorfetch";
    case 8:
      return "sp_cursoroption";
    case 9:
      return "sp_cursorclose";
    case kProcExecuteSql:
      return "sp_executesql";
    case kProcPrepare:
      return "sp_prepare";
    case kProcExecute:
      return "sp_execute";
    case kProcPrepExec:
      return "sp_prepexec";
    case 14:
      return "sp_prepexecrpc";
    case kProcUnprepare:
      return "sp_unprepare";
    default:
      return "sp_" + std::to_string(id);
  }
}

std::string TextOf(const Value& v) {
  return v.GetKind() == Value::Kind::Text ? v.AsText() : std::string();
}

Parameter ToParameter(const RpcParam& p) {
  return Parameter{
      p.name,   p.value, p.type, (p.status & kParamByRef) != 0, (p.status & kParamDefault) != 0,
      p.omitted};
}

ServerError HandlerFailure(const std::exception& e) {
  std::cerr << "SqlServerStandIn: a test handler threw: " << e.what() << "\n";
  return {50000, 1, 16, std::string("SqlServerStandIn handler failed: ") + e.what()};
}

}  // namespace

struct TdsSession::Outcome {
  Reply reply;
  std::string procedure;
  std::vector<std::optional<Value>> outputs;  // per argument; set for output arguments
  std::vector<std::string> outputNames;       // the formal names of those arguments
};

TdsSession::TdsSession(int fd, ScriptBook& book, const SqlServerStandInOptions& options)
    : channel_(fd), book_(book), options_(options) {}

void TdsSession::Shutdown() {
  channel_.Shutdown();
}

void TdsSession::Run() {
  try {
    for (;;) {
      std::optional<TdsMessage> message = channel_.Read();
      if (!message) break;
      switch (message->type) {
        case kPacketPrelogin:
          Prelogin();
          break;
        case kPacketLogin7:
          if (!Login(*message)) {
            channel_.Close();
            finished_ = true;
            return;
          }
          break;
        case kPacketSqlBatch:
        case kPacketRpc:
        case kPacketTransaction:
          if (!loggedIn_) throw TdsProtocolError("request before login");
          try {
            if (message->type == kPacketSqlBatch) Batch(*message);
            if (message->type == kPacketRpc) Rpc(*message);
            if (message->type == kPacketTransaction) Transaction(*message);
          } catch (const Cancelled&) {
            book_.Record(NewRequest(RequestKind::Attention));
            SendAttentionAck();
          }
          break;
        case kPacketAttention:
          book_.Record(NewRequest(RequestKind::Attention));
          SendAttentionAck();
          break;
        case kPacketSspi:
        default:
          throw TdsProtocolError("unsupported packet type " + std::to_string(message->type));
      }
    }
  } catch (const DropConnection&) {
  } catch (const TdsProtocolError& e) {
    std::cerr << "SqlServerStandIn: connection ended: " << e.what() << "\n";
  } catch (const std::exception& e) {
    std::cerr << "SqlServerStandIn: connection failed: " << e.what() << "\n";
  }
  channel_.Close();
  finished_ = true;
}

void TdsSession::Prelogin() {
  // Encryption "not supported" keeps the driver from starting TLS inside PRELOGIN.
  ByteWriter out;
  struct Option {
    std::uint8_t token;
    std::vector<std::uint8_t> data;
  };
  std::vector<Option> options{
      {0x00,
       {options_.versionMajor, options_.versionMinor,
        static_cast<std::uint8_t>(options_.versionBuild >> 8),
        static_cast<std::uint8_t>(options_.versionBuild), 0, 0}},
      {0x01, {0x02}},  // ENCRYPT_NOT_SUP
      {0x02, {0x00}},  // instance accepted
      {0x03, {}},
      {0x04, {0x00}},  // no MARS
  };
  std::uint16_t offset = static_cast<std::uint16_t>(options.size() * 5 + 1);
  for (const Option& o : options) {
    out.U8(o.token);
    out.U16BigEndian(offset);
    out.U16BigEndian(static_cast<std::uint16_t>(o.data.size()));
    offset = static_cast<std::uint16_t>(offset + o.data.size());
  }
  out.U8(0xFF);
  for (const Option& o : options) out.Raw(o.data.data(), o.data.size());
  channel_.Send(kPacketReply, out.Bytes());
}

bool TdsSession::Login(const TdsMessage& message) {
  ByteReader in(message.payload);
  in.U32();  // length
  std::uint32_t clientVersion = in.U32();
  std::uint32_t packetSize = in.U32();
  in.Seek(25);
  std::uint8_t optionFlags2 = in.U8();
  auto field = [&](std::size_t at) {
    in.Seek(at);
    std::uint16_t offset = in.U16();
    std::uint16_t chars = in.U16();
    in.Seek(offset);
    return in.Ucs2(chars);
  };
  std::string user = field(40);
  in.Seek(44);
  std::uint16_t passwordAt = in.U16();
  std::uint16_t passwordChars = in.U16();
  in.Seek(passwordAt);
  std::vector<std::uint8_t> scrambled = in.Take(passwordChars * 2u);
  for (std::uint8_t& b : scrambled) {
    b ^= 0xA5;
    b = static_cast<std::uint8_t>((b << 4) | (b >> 4));
  }
  ByteReader passwordReader(scrambled);
  std::string password = passwordReader.Ucs2(passwordChars);
  std::string database = field(68);
  in.Seek(78);
  in.U16();
  std::uint16_t sspiBytes = in.U16();

  tdsVersion_ = std::min(clientVersion, kTds74);
  if (tdsVersion_ < 0x71000000) tdsVersion_ = 0x71000001;
  TokenWriter w(options_.serverName);
  auto refuse = [&](const ServerError& e) {
    w.Error(e);
    w.Done(DoneKind::Done, kDoneError, kCmdNone, 0);
    channel_.Send(kPacketReply, w.Finish());
    return false;
  };
  if ((optionFlags2 & 0x80) || sspiBytes > 0) {
    return refuse({18452, 1, 14,
                   "Login failed. The login is from an untrusted domain and cannot be used with "
                   "Windows authentication. (SqlServerStandIn accepts SQL logins only.)"});
  }
  std::optional<std::string> login = book_.CheckLogin(user, password);
  if (!login) return refuse({18456, 1, 14, "Login failed for user '" + user + "'."});
  std::string wanted = database.empty() ? "master" : database;
  std::optional<std::string> found = book_.FindDatabase(wanted);
  if (!found) {
    w.Error({4060, 1, 11,
             "Cannot open database \"" + wanted + "\" requested by the login. The login failed."});
    return refuse({18456, 1, 14, "Login failed for user '" + user + "'."});
  }

  user_ = *login;
  database_ = *found;
  loggedIn_ = true;
  std::uint32_t size = options_.packetSize != 0 ? options_.packetSize
                       : packetSize >= 512      ? packetSize
                                                : 4096;
  w.EnvChange(kEnvDatabase, database_, "master");
  w.Info({5701, 2, 0, "Changed database context to '" + database_ + "'."});
  w.EnvChangeBytes(kEnvCollation, {kChinesePrcCiAs, kChinesePrcCiAs + 5}, {});
  w.EnvChange(kEnvLanguage, "us_english", "");
  w.Info({5703, 1, 0, "Changed language setting to us_english."});
  w.LoginAck(tdsVersion_, options_.versionMajor, options_.versionMinor, options_.versionBuild);
  w.EnvChange(kEnvPacketSize, std::to_string(size), std::to_string(size));
  w.Done(DoneKind::Done, kDoneFinal, kCmdNone, 0);
  // Recorded before the answer goes out, so a test that has connected always finds it.
  book_.Record(NewRequest(RequestKind::Login));
  channel_.Send(kPacketReply, w.Finish());
  channel_.SetPacketSize(size);
  return true;
}

Request TdsSession::NewRequest(RequestKind kind) const {
  Request r;
  r.kind = kind;
  r.database = database_;
  r.user = user_;
  return r;
}

void TdsSession::SkipAllHeaders(ByteReader& in) const {
  if (tdsVersion_ < kTds72) return;
  std::uint32_t total = in.U32();
  if (total < 4) throw TdsProtocolError("bad ALL_HEADERS length");
  in.Skip(total - 4);
}

void TdsSession::SendAttentionAck() {
  TokenWriter w(options_.serverName);
  w.Done(DoneKind::Done, kDoneAttention, kCmdNone, 0);
  channel_.Send(kPacketReply, w.Finish());
}

void TdsSession::Flush(TokenWriter& w) {
  channel_.Send(kPacketReply, w.Finish());
}

void TdsSession::Pace(const Reply& reply) {
  if (reply.delay.count() > 0 && channel_.WaitForAttention(reply.delay)) {
    throw Cancelled{};
  }
  if (reply.dropConnection) throw DropConnection{};
}

bool TdsSession::KnownProcedure(const std::string& name) const {
  ProcedureName pn = ParseProcedureName(name);
  std::string database = pn.database.empty() ? database_ : pn.database;
  return book_.FindProcedureHandler(pn) || book_.FindProcedure(pn, database) ||
         pn.key == "sp_sproc_columns";
}

void TdsSession::Batch(const TdsMessage& message) {
  ByteReader in(message.payload);
  SkipAllHeaders(in);
  std::string text = in.Ucs2(in.Remaining() / 2);
  Request r = NewRequest(RequestKind::Batch);
  r.text = text;
  book_.Record(std::move(r));
  TokenWriter w(options_.serverName);
  std::vector<Parameter> none;
  Statement(w, text, none, false);
  Flush(w);
}

void TdsSession::WriteError(TokenWriter& w, const ServerError& error, bool inProc) {
  w.Error(error);
  w.Done(inProc ? DoneKind::DoneInProc : DoneKind::Done, kDoneError, kCmdNone, 0);
}

void TdsSession::WriteResults(TokenWriter& w, const Reply& reply, bool inProc,
                              std::uint16_t& doneStatus) {
  DoneKind kind = inProc ? DoneKind::DoneInProc : DoneKind::Done;
  for (const ServerError& m : reply.messages) w.Info(m);
  bool errorWritten = false;
  for (std::size_t k = 0; k < reply.resultSets.size(); ++k) {
    const ResultSet& rs = reply.resultSets[k];
    bool cut = reply.error && reply.errorAfterRows && k + 1 == reply.resultSets.size();
    std::size_t rows = cut ? std::min(*reply.errorAfterRows, rs.rows.size()) : rs.rows.size();
    w.ColMetadata(rs.columns);
    for (std::size_t i = 0; i < rows; ++i) w.Row(rs.columns, rs.rows[i]);
    if (cut) {
      w.Error(*reply.error);
      w.Done(kind, kDoneError | kDoneCount, kCmdSelect, rows);
      errorWritten = true;
      doneStatus |= kDoneError;
    } else {
      w.Done(kind, kDoneCount, kCmdSelect, rows);
    }
  }
  if (reply.rowsAffected) {
    w.Done(kind, kDoneCount, kCmdUpdate, static_cast<std::uint64_t>(*reply.rowsAffected));
  }
  if (reply.error && !errorWritten) {
    WriteError(w, *reply.error, inProc);
    doneStatus |= kDoneError;
  }
}

void TdsSession::UseDatabase(TokenWriter& w, const std::string& name) {
  std::optional<std::string> found = book_.FindDatabase(name);
  if (!found) {
    throw ServerErrorException({911, 1, 16,
                                "Database '" + name +
                                    "' does not exist. Make sure that the name is entered "
                                    "correctly."});
  }
  std::string old = database_;
  database_ = *found;
  w.EnvChange(kEnvDatabase, database_, old);
  w.Info({5701, 1, 0, "Changed database context to '" + database_ + "'."});
}

void TdsSession::Statement(TokenWriter& w, const std::string& text, std::vector<Parameter>& params,
                           bool inProc) {
  DoneKind kind = inProc ? DoneKind::DoneInProc : DoneKind::Done;
  try {
    if (std::optional<StatementMatch> match = book_.FindStatement(text)) {
      StatementCall call{text, database_, user_, params, match->captures};
      Reply reply;
      try {
        reply = match->handler(call);
      } catch (const std::exception& e) {
        reply = Reply{};
        reply.error = HandlerFailure(e);
      }
      Pace(reply);
      std::uint16_t status = 0;
      WriteResults(w, reply, inProc, status);
      if (w.Empty()) w.Done(kind, kDoneFinal, kCmdNone, 0);
      return;
    }
    if (std::optional<std::string> use = ParseUse(text)) {
      UseDatabase(w, *use);
      w.Done(kind, kDoneFinal, kCmdNone, 0);
      return;
    }
    if (IsSessionStatement(text)) {
      w.Done(kind, kDoneFinal, kCmdNone, 0);
      return;
    }
    std::optional<ExecText> exec = ParseExec(text);
    if (!exec && !inProc) {
      exec = ParseExec(text, true);
      if (exec && !KnownProcedure(exec->procedure)) exec.reset();
    }
    if (exec) {
      std::vector<CallArg> args;
      for (const ExecArgument& a : exec->arguments) {
        CallArg arg;
        arg.name = a.name;
        arg.output = a.output;
        arg.defaulted = a.isDefault;
        arg.value = a.literal;
        arg.reference = a.reference;
        if (!a.reference.empty()) {
          auto p = std::find_if(params.begin(), params.end(), [&](const Parameter& x) {
            return Lower(x.name) == Lower(a.reference);
          });
          if (p == params.end()) {
            throw ServerErrorException(
                {137, 2, 15, "Must declare the scalar variable \"" + a.reference + "\"."});
          }
          arg.value = p->value;
        }
        args.push_back(std::move(arg));
      }
      Outcome outcome = CallProcedure(exec->procedure, args);
      std::uint16_t status = 0;
      WriteResults(w, outcome.reply, true, status);
      for (std::size_t i = 0; i < args.size(); ++i) {
        if (!outcome.outputs[i] || args[i].reference.empty()) continue;
        for (Parameter& p : params) {
          if (Lower(p.name) == Lower(args[i].reference)) p.value = *outcome.outputs[i];
        }
      }
      if (!exec->returnTarget.empty()) {
        for (Parameter& p : params) {
          if (Lower(p.name) == Lower(exec->returnTarget)) p.value = outcome.reply.returnStatus;
        }
      }
      if (!inProc) {
        w.ReturnStatus(outcome.reply.returnStatus);
        w.Done(DoneKind::DoneProc, status, kCmdExecute, 0);
      }
      return;
    }
  } catch (const ServerErrorException& e) {
    WriteError(w, e.error, inProc);
    return;
  }
  WriteError(w,
             {208, 1, 16,
              "Invalid object name: SqlServerStandIn has no script for this statement: " + text},
             inProc);
}

TdsSession::Outcome TdsSession::CallProcedure(const std::string& name, std::vector<CallArg>& args) {
  ProcedureName pn = ParseProcedureName(name);
  std::string database = database_;
  if (!pn.database.empty()) {
    std::optional<std::string> found = book_.FindDatabase(pn.database);
    if (!found) {
      throw ServerErrorException({911, 1, 16,
                                  "Database '" + pn.database +
                                      "' does not exist. Make sure that the name is entered "
                                      "correctly."});
    }
    database = *found;
  }
  Outcome outcome;
  outcome.outputs.resize(args.size());
  outcome.outputNames.resize(args.size());
  ProcedureHandler handler = book_.FindProcedureHandler(pn);
  if (!handler && (pn.key == "sp_sproc_columns" || pn.key == "sp_sproc_columns_100")) {
    static const char* kPositional[] = {"procedure_name", "procedure_owner", "procedure_qualifier",
                                        "column_name",    "odbcver",         "fusepattern"};
    std::map<std::string, Value> named;
    for (std::size_t i = 0; i < args.size(); ++i) {
      std::string key = args[i].name.empty() ? (i < 6 ? kPositional[i] : "") : Bare(args[i].name);
      if (!args[i].defaulted) named[key] = args[i].value;
    }
    outcome.procedure = pn.key;
    outcome.reply = ProcedureColumnsReply(book_, database, named);
    return outcome;
  }
  std::optional<ProcedureDecl> decl = book_.FindProcedure(pn, database);
  if (!decl && !handler) {
    throw ServerErrorException({2812, 62, 16, "Could not find stored procedure '" + name + "'."});
  }
  Binding binding = decl ? BindArguments(*decl, args) : BindUndeclared(pn.bare, args);
  ProcedureCall& call = binding.call;
  const std::vector<int>& slotOf = binding.slotOf;
  call.database = database;
  call.user = user_;
  outcome.procedure = call.procedure;
  if (handler) {
    try {
      outcome.reply = handler(call);
    } catch (const std::exception& e) {
      outcome.reply = Reply{};
      outcome.reply.error = HandlerFailure(e);
    }
  }
  Pace(outcome.reply);
  for (const auto& [outName, value] : outcome.reply.outputs) {
    bool known = std::any_of(call.names.begin(), call.names.end(),
                             [&](const std::string& n) { return Bare(n) == Bare(outName); });
    if (!known && decl) {
      throw ServerErrorException({50000, 1, 16,
                                  "SqlServerStandIn: the reply of " + call.procedure +
                                      " sets output " + outName + ", which is not a parameter"});
    }
  }
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (!args[i].output) continue;
    auto slot = static_cast<std::size_t>(slotOf[i]);
    std::string formal = call.names[slot].empty() ? args[i].name : call.names[slot];
    outcome.outputNames[i] = formal;
    outcome.outputs[i] = call.values[slot];
    for (const auto& [outName, value] : outcome.reply.outputs) {
      if (Bare(outName) == Bare(formal)) outcome.outputs[i] = value;
    }
  }
  return outcome;
}

void TdsSession::Rpc(const TdsMessage& message) {
  ByteReader in(message.payload);
  SkipAllHeaders(in);
  TokenWriter w(options_.serverName);
  while (!in.AtEnd()) {
    std::string name;
    std::uint16_t nameChars = in.U16();
    std::uint16_t procId = 0;
    if (nameChars == 0xFFFF) {
      procId = in.U16();
      name = ProcedureIdName(procId);
    } else {
      name = in.Ucs2(nameChars);
      std::string key = ParseProcedureName(name).key;
      if (key == "sp_executesql") procId = kProcExecuteSql;
      if (key == "sp_prepare") procId = kProcPrepare;
      if (key == "sp_execute") procId = kProcExecute;
      if (key == "sp_prepexec") procId = kProcPrepExec;
      if (key == "sp_unprepare") procId = kProcUnprepare;
    }
    in.U16();  // option flags
    std::vector<RpcParam> raw;
    while (!in.AtEnd()) {
      std::size_t save = in.Position();
      std::uint8_t next = in.U8();
      if (next == 0xFF || next == 0x80 || next == 0xFE) break;  // batch separators
      in.Seek(save);
      raw.push_back(ReadRpcParam(in));
    }

    Request r = NewRequest(RequestKind::Rpc);
    r.procedure = name;
    bool isStatement = procId == kProcExecuteSql || procId == kProcPrepExec ||
                       procId == kProcPrepare || procId == kProcExecute;
    try {
      if (procId == kProcUnprepare) {
        book_.Record(std::move(r));
        w.ReturnStatus(0);
        w.Done(DoneKind::DoneProc, kDoneFinal, kCmdExecute, 0);
      } else if (isStatement) {
        StatementRpc(w, procId, raw, r);
      } else {
        std::vector<CallArg> args;
        for (const RpcParam& p : raw) {
          r.params.push_back(ToParameter(p));
          CallArg a;
          a.name = p.name;
          a.value = p.value;
          a.output = (p.status & kParamByRef) != 0;
          a.defaulted = (p.status & kParamDefault) != 0;
          a.omitted = p.omitted;
          a.type = p.column;
          args.push_back(std::move(a));
        }
        book_.Record(std::move(r));
        Outcome outcome = CallProcedure(name, args);
        std::uint16_t status = 0;
        WriteResults(w, outcome.reply, true, status);
        w.ReturnStatus(outcome.reply.returnStatus);
        for (std::size_t i = 0; i < args.size(); ++i) {
          if (!outcome.outputs[i]) continue;
          w.ReturnValue(static_cast<std::uint16_t>(i), outcome.outputNames[i], args[i].type,
                        *outcome.outputs[i]);
        }
        w.Done(DoneKind::DoneProc, status, kCmdExecute, 0);
      }
    } catch (const ServerErrorException& e) {
      w.Error(e.error);
      w.Done(DoneKind::DoneProc, kDoneError, kCmdExecute, 0);
    }
  }
  if (w.Empty()) w.Done(DoneKind::Done, kDoneFinal, kCmdNone, 0);
  Flush(w);
}

void TdsSession::StatementRpc(TokenWriter& w, std::uint16_t procId, std::vector<RpcParam>& raw,
                              Request& request) {
  // Leading system arguments: sp_executesql (statement, definitions), sp_prepexec and
  // sp_prepare (handle, definitions, statement), sp_execute (handle).
  std::size_t skip = procId == kProcExecuteSql ? 2 : procId == kProcExecute ? 1 : 3;
  std::string statement;
  std::string definitions;
  auto textAt = [&](std::size_t i) {
    return i < raw.size() ? TextOf(raw[i].value) : std::string();
  };
  if (procId == kProcExecuteSql) {
    statement = textAt(0);
    definitions = textAt(1);
  } else if (procId == kProcExecute) {
    if (!raw.empty() && raw[0].value.GetKind() == Value::Kind::Integer) {
      for (const Prepared& p : prepared_) {
        if (p.handle == raw[0].value.AsInt()) {
          statement = p.text;
          definitions = p.definitions;
        }
      }
    }
  } else {
    definitions = textAt(1);
    statement = textAt(2);
  }
  if (procId == kProcPrepare) skip = raw.size();
  skip = std::min(skip, raw.size());

  // Positional values bind to the definitions in order, as SQL Server binds them.
  std::vector<ParamDefinition> defs = ParseParamDefinitions(definitions);
  std::vector<Parameter> params;
  std::vector<bool> declaredOutput;
  std::size_t next = 0;
  std::optional<ServerError> bindError;
  for (std::size_t i = skip; i < raw.size(); ++i) {
    Parameter p = ToParameter(raw[i]);
    const ParamDefinition* def = nullptr;
    if (p.name.empty()) {
      if (next < defs.size()) def = &defs[next++];
    } else {
      for (const ParamDefinition& d : defs) {
        if (Lower(d.name) == Lower(p.name)) def = &d;
      }
    }
    if (def) {
      p.name = def->name;
    } else if (!bindError) {
      bindError = ServerError{8144, 2, 16,
                              "Procedure or function " + ProcedureIdName(procId) +
                                  " has too many arguments specified."};
    }
    declaredOutput.push_back(def && def->output);
    params.push_back(std::move(p));
  }
  request.text = statement;
  request.params = params;
  book_.Record(std::move(request));
  if (bindError) throw ServerErrorException(*bindError);

  std::int32_t handle = 0;
  if (procId == kProcPrepare || procId == kProcPrepExec) {
    handle = nextHandle_++;
    prepared_.push_back(Prepared{handle, statement, definitions});
  }
  std::vector<Parameter> original = params;
  if (procId != kProcPrepare) Statement(w, statement, params, true);
  w.ReturnStatus(0);
  if ((procId == kProcPrepare || procId == kProcPrepExec) && !raw.empty()) {
    w.ReturnValue(0, raw[0].name, raw[0].column, handle);
  }
  for (std::size_t i = 0; i < params.size(); ++i) {
    const RpcParam& p = raw[skip + i];
    if (!(p.status & kParamByRef)) continue;
    // Only a parameter the definitions declare OUTPUT carries a changed value back.
    const Value& value = declaredOutput[i] ? params[i].value : original[i].value;
    w.ReturnValue(static_cast<std::uint16_t>(skip + i), p.name, p.column, value);
  }
  w.Done(DoneKind::DoneProc, kDoneFinal, kCmdExecute, 0);
}

void TdsSession::Transaction(const TdsMessage& message) {
  ByteReader in(message.payload);
  SkipAllHeaders(in);
  std::uint16_t type = in.U16();
  TokenWriter w(options_.serverName);
  auto descriptor = [](std::uint64_t id) {
    std::vector<std::uint8_t> bytes(8);
    for (int i = 0; i < 8; ++i)
      bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(id >> (8 * i));
    return bytes;
  };
  auto begin = [&] {
    std::uint64_t id = nextTransaction_++;
    w.EnvChangeBytes(kEnvBeginTransaction, descriptor(id), {});
    transaction_ = id;
  };
  Request r = NewRequest(RequestKind::Transaction);
  bool beganAnother = false;
  switch (type) {
    case 5:  // TM_BEGIN_XACT
      r.text = "BEGIN TRAN";
      begin();
      break;
    case 7:    // TM_COMMIT_XACT
    case 8: {  // TM_ROLLBACK_XACT
      r.text = type == 7 ? "COMMIT TRAN" : "ROLLBACK TRAN";
      in.BVarChar();
      std::uint8_t flags = in.AtEnd() ? 0 : in.U8();
      if (transaction_ != 0) {
        w.EnvChangeBytes(type == 7 ? kEnvCommitTransaction : kEnvRollbackTransaction, {},
                         descriptor(transaction_));
        transaction_ = 0;
      }
      if (flags & 0x01) {
        begin();
        beganAnother = true;
      }
      break;
    }
    default:
      r.text = "TM request " + std::to_string(type);
      break;
  }
  if (TransactionHandler handler = book_.FindTransactionHandler()) {
    try {
      handler(r.text);
      if (beganAnother) handler("BEGIN TRAN");
    } catch (const std::exception& e) {
      HandlerFailure(e);
    }
  }
  book_.Record(std::move(r));
  w.Done(DoneKind::Done, kDoneFinal, kCmdNone, 0);
  Flush(w);
}

}  // namespace quor::test::tds
