// A SQL Server stand-in for tests: a TDS 7.3/7.4 server on loopback that the real FreeTDS
// ODBC driver logs in to, answering scripted statements and stored procedures, and recording
// every request so tests can assert what the production code sent.
//
// Usage:
//   quor::test::SqlServerStandIn server;                 // 127.0.0.1, ephemeral port
//   server.AddLogin("sa", "secret");
//   server.AddDatabase("QuorData01");                    // "master" always exists
//   server.DeclareProcedure({"AAAAASN", {{"@Kind", quor::test::SqlType::VarChar, 10},
//                                        {"@Next", quor::test::SqlType::Int, 0, 0, 0,
//                                         quor::test::ParamDirection::InputOutput}}});
//   server.OnProcedure("AAAAASN", [](const quor::test::ProcedureCall& call) {
//     quor::test::Reply reply;
//     reply.returnStatus = 7;
//     reply.outputs["@Next"] = 42;
//     return reply;
//   });
//   server.OnStatement("master.dbo.xp_msver ProductVersion",    // version probes, scripted
//                      quor::test::Reply{{{{{"Character_Value", quor::test::SqlType::VarChar, 50}},
//                                         {{"10.50.1600.1"}}}}});
//   connect with server.ConnectionString("sa", "secret", "QuorData01");
//   ... then inspect server.Requests().
// Unscripted statements fail with error 208 and unknown procedures with 2812, so a test notices
// what it did not expect. Handlers run on the connection's thread, outside the stand-in's lock.
//
// What FreeTDS 1.3.17 sends (seen with TDSDUMP against this stand-in), and how it is answered:
// - SQLProcedureColumnsW(proc) -> RPC "sp_sproc_columns" with named @procedure_name (as given,
//   e.g. "AAAAASN;1") and @ODBCVer = 3. The driver renames the columns to their ODBC 3 names
//   (PROCEDURE_CAT, COLUMN_SIZE, ...). COLUMN_DEF is NULL, as SQL Server reports it.
// - "{? = call p(?,?)}" -> RPC "p" with unnamed positional values; RETURNSTATUS fills the first
//   marker, RETURNVALUEs fill the output markers in order. SQL_DESC_NAME set on the IPD is
//   ignored: the values still go positionally.
// - SQL_DEFAULT_PARAM as indicator: the driver fails on its own with 07S01, nothing is sent.
// - Leaving parameters at their defaults works through the call escape: an empty slot
//   "{? = call p(?,,?)}" goes out as a value-less NULLTYPE (0x1F) parameter, and trailing
//   parameters may be left out ("{? = call p(?)}", "{? = call p}"). Both take the declared
//   default here; an omitted parameter without a default arrives as NULL (FreeTDS's own tests
//   expect that of SQL Server); a parameter missing altogether without a default is error 201.
// - Named arguments ("{call p(@a=?)}", "exec p @a=?") go out as sp_executesql
//   "exec p @a=@P1" with unnamed values bound to the definitions "@P1 VARCHAR(20),..." in order.
//   The definitions never say OUTPUT, so output values do not come back (the RETURNVALUE holds
//   the value sent). "{? = call p(@a=?)}" is broken: the return marker is dropped from the text
//   but still sent as a value, which SQL Server refuses (8144, too many arguments).
// - Procedure replies: each result set ends in DONEINPROC (COUNT, more), then RETURNSTATUS,
//   one RETURNVALUE per output parameter, then DONEPROC (ERROR flag after an error). Batches
//   end each statement in DONE; the last DONE of every reply has the "more" flag cleared.
//   A call without result sets makes SQLExecDirect return SQL_NO_DATA; with result sets the
//   output markers are filled once SQLMoreResults has gone past the last one.
// - SQLExecDirect with markers -> sp_executesql "... @P1 ..." (definitions "@P1 INT,...");
//   SQLPrepare + SQLExecute -> sp_prepexec, then sp_execute. Text without markers -> a batch.
//   "EXEC p ..." in a batch (also without EXEC for the first statement) calls procedure p.
// - SQL_VARCHAR parameters go out as varchar in the login collation's code page (936 here),
//   SQL_WVARCHAR as nvarchar, long text as nvarchar(max) in chunks (PLP).
// - The driver maps float to SQL_DOUBLE, decimal to SQL_NUMERIC, varchar(max) to SQL_VARCHAR,
//   and renders binary as lower-case hex in SQL_C_WCHAR.
// - A query timeout makes the driver send ATTENTION; it reports HYT00 and the connection stays
//   usable. A dropped connection reports "[01000] 20017 ... Unexpected EOF from the server".
// - SQL_AUTOCOMMIT_OFF and SQLEndTran use transaction-manager requests, not statement texts.
// - Server names: the driver needs the port spelled out ("Server=127.0.0.1;Port=1433" or
//   "Server=127.0.0.1,1433"); "(LOCAL)" is no host name to it ("Unknown host machine name"), so
//   the production layer has to map it. "host\instance" asks UDP 1434 for the port.

#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace quor::test {

// SQL Server data types the stand-in can declare and put on the wire. VarChar, Char and Text
// travel in code page 936 (the Chinese_PRC_CI_AS collation); NVarChar, NChar and NText in UTF-16.
enum class SqlType {
  Int,
  SmallInt,
  TinyInt,
  BigInt,
  Bit,
  Float,
  Real,
  Decimal,
  Numeric,
  Money,
  DateTime,
  Char,
  VarChar,  // size 0 or -1: varchar(max)
  NChar,
  NVarChar,  // size 0 or -1: nvarchar(max)
  Text,
  NText,
  VarBinary,  // size 0 or -1: varbinary(max)
  Image,
};

// The SQL Server type name ("int", "nvarchar", ...).
std::string_view SqlTypeName(SqlType type);

struct DateTime {
  int year = 1900;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
  bool operator==(const DateTime&) const = default;
};

// An exact decimal number as text, e.g. "-12.3400" (decimal, numeric and money values).
struct Decimal {
  std::string text{};
  bool operator==(const Decimal&) const = default;
};

using Bytes = std::vector<std::uint8_t>;

// One SQL value. Text is UTF-8; the stand-in converts at the wire.
class Value {
 public:
  enum class Kind { Null, Integer, Float, Decimal, Text, Bytes, DateTime };

  Value() = default;
  Value(std::nullptr_t) {}
  Value(int v) : data_(std::int64_t{v}) {}
  Value(long v) : data_(std::int64_t{v}) {}
  Value(long long v) : data_(std::int64_t{v}) {}
  Value(bool v) : data_(std::int64_t{v ? 1 : 0}) {}
  Value(double v) : data_(v) {}
  Value(const char* v) : data_(std::string(v)) {}
  Value(std::string v) : data_(std::move(v)) {}
  Value(std::string_view v) : data_(std::string(v)) {}
  Value(quor::test::Decimal v) : data_(std::move(v)) {}
  Value(quor::test::Bytes v) : data_(std::move(v)) {}
  Value(quor::test::DateTime v) : data_(v) {}
  // Out of line: GCC 12 misreports copies of the variant inlined into callers as possibly
  // uninitialised (-Wmaybe-uninitialized).
  Value(const Value& other);
  Value(Value&& other) noexcept;
  Value& operator=(const Value& other);
  Value& operator=(Value&& other) noexcept;
  ~Value();

  Kind GetKind() const { return static_cast<Kind>(data_.index()); }
  bool IsNull() const { return GetKind() == Kind::Null; }
  // Each accessor throws std::logic_error when the value holds another kind.
  std::int64_t AsInt() const;
  double AsDouble() const;  // also accepts integers and decimals
  const std::string& AsText() const;
  const std::string& AsDecimalText() const;
  const quor::test::Bytes& AsBytes() const;
  const quor::test::DateTime& AsDateTime() const;
  // A readable form for test failure messages: NULL, 42, 1.5, 'text', 0x0102, 2024-01-02 ...
  std::string ToString() const;

  bool operator==(const Value&) const = default;

 private:
  std::variant<std::monostate, std::int64_t, double, quor::test::Decimal, std::string,
               quor::test::Bytes, quor::test::DateTime>
      data_;
};

struct Column {
  std::string name{};
  SqlType type = SqlType::Int;
  int size = 0;  // characters or bytes for Char/VarChar/NChar/NVarChar/VarBinary; 0 or -1 = max
  int precision = 0;  // Decimal/Numeric (default 18)
  int scale = 0;
  bool nullable = true;
};

struct ResultSet {
  std::vector<Column> columns{};
  std::vector<std::vector<Value>> rows{};
};

// An error as SQL Server reports it (ERROR token). Severity 11..16 for ordinary errors.
struct ServerError {
  int number = 50000;
  int state = 1;
  int severity = 16;
  std::string message{};
};

// What the stand-in answers to one statement or procedure call.
struct Reply {
  std::vector<ResultSet> resultSets{};
  // Row count of a statement without result sets (INSERT/UPDATE/DELETE); none = no count.
  std::optional<std::int64_t> rowsAffected{};
  std::int32_t returnStatus = 0;  // procedures only
  // Values of output parameters by name ("@Name"); an output parameter not listed keeps the
  // value it was sent with, as SQL Server returns it when the procedure does not assign it.
  std::map<std::string, Value> outputs{};
  // Informational messages (PRINT, severity 0..10) sent before the result sets.
  std::vector<ServerError> messages{};
  std::optional<ServerError> error{};
  // With an error: none = the error follows all result sets; n = the last result set is cut
  // after n rows and the error follows them (as when a conversion fails mid-SELECT).
  std::optional<std::size_t> errorAfterRows{};
  std::chrono::milliseconds delay{0};  // wait before answering (the client may cancel)
  bool dropConnection = false;         // close the socket instead of answering
};

enum class ParamDirection { Input, InputOutput };

struct ParamDecl {
  std::string name{};  // with "@"
  SqlType type = SqlType::Int;
  int size = 0;
  int precision = 0;
  int scale = 0;
  ParamDirection direction = ParamDirection::Input;
  std::optional<Value> defaultValue{};  // none: the caller must send it (else error 201)
};

struct ProcedureDecl {
  std::string name{};               // without the ";1" group suffix
  std::vector<ParamDecl> params{};  // without @RETURN_VALUE, which every procedure has
  std::string database{};           // empty: exists in every database
};

// One parameter as it arrived on the wire.
struct Parameter {
  std::string name{};  // with "@" when the client named it; empty when positional
  Value value{};
  SqlType type = SqlType::Int;  // the type it was sent as
  bool output = false;          // sent by reference (OUTPUT)
  bool defaulted = false;       // sent with the default flag, no value
  bool omitted = false;         // sent as a value-less NULLTYPE (an empty slot in "{call p(?,,?)}")
};

// A procedure call after binding: values in declared order, defaults applied.
struct ProcedureCall {
  std::string procedure{};  // the declared name
  std::string database{};
  std::string user{};
  std::vector<Value> values{};       // one per declared parameter
  std::vector<bool> sent{};          // per declared parameter: true when the client supplied it
  std::vector<std::string> names{};  // the declared parameter names, for lookups
  // The value of a declared parameter by name (with or without "@", any case); throws
  // std::out_of_range for an unknown name.
  const Value& operator[](std::string_view name) const;
  bool WasSent(std::string_view name) const;
};

// A statement (language batch, sp_executesql or prepared statement) as it is to be answered.
struct StatementCall {
  std::string text{};
  std::string database{};
  std::string user{};
  std::vector<Parameter> params{};      // sp_executesql/prepared parameters in order
  std::vector<std::string> captures{};  // regex sub-matches (OnStatementMatching only)
};

// Login: a successful login (user and database); Transaction: a transaction-manager request
// (text "BEGIN TRAN", "COMMIT TRAN" or "ROLLBACK TRAN").
enum class RequestKind { Login, Batch, Rpc, Attention, Transaction };

// Every request as received, for assertions.
struct Request {
  RequestKind kind = RequestKind::Batch;
  std::string text{};               // batch text, or the statement of sp_executesql/sp_prepexec
  std::string procedure{};          // RPC procedure name as sent ("sp_executesql" for those)
  std::vector<Parameter> params{};  // RPC parameters as sent (statement/definition excluded)
  std::string database{};  // current database when the request arrived (after a Login: the one
                           // asked for)
  std::string user{};
};

using ProcedureHandler = std::function<Reply(const ProcedureCall&)>;
using StatementHandler = std::function<Reply(const StatementCall&)>;
// Told of each transaction-manager request ("BEGIN TRAN", "COMMIT TRAN", "ROLLBACK TRAN")
// before it is answered, so that scripted tables can keep or undo their changes.
using TransactionHandler = std::function<void(const std::string& text)>;

struct SqlServerStandInOptions {
  std::string host = "127.0.0.1";
  std::uint16_t port = 0;               // 0: ephemeral
  std::uint32_t packetSize = 0;         // 0: accept what the client asks for
  std::string serverName = "QUORTEST";  // what the browser responder reports
  std::uint8_t versionMajor = 10;       // LOGINACK server version (10.50.1600 by default)
  std::uint8_t versionMinor = 50;
  std::uint16_t versionBuild = 1600;
};

class SqlServerStandIn {
 public:
  SqlServerStandIn();
  explicit SqlServerStandIn(SqlServerStandInOptions options);
  ~SqlServerStandIn();  // closes every connection and joins every thread
  SqlServerStandIn(const SqlServerStandIn&) = delete;
  SqlServerStandIn& operator=(const SqlServerStandIn&) = delete;

  std::uint16_t Port() const;
  // "Driver=FreeTDS;Server=127.0.0.1;Port=N;Database=db;UID=user;PWD=password;TDS_Version=7.4;"
  std::string ConnectionString(const std::string& user, const std::string& password,
                               const std::string& database = "master") const;

  // Logins are SQL logins; user names compare without regard to case, passwords exactly.
  void AddLogin(const std::string& user, const std::string& password);
  void AddDatabase(const std::string& name);  // names compare without regard to case

  // Procedure names match with or without ";1" and without regard to case. Declaring again
  // replaces the declaration.
  void DeclareProcedure(ProcedureDecl decl);
  // A procedure with a handler but no declaration accepts any parameters positionally.
  void OnProcedure(const std::string& name, ProcedureHandler handler);
  void OnProcedure(const std::string& name, Reply reply);

  // Exact statement text (surrounding white space ignored); the latest registration wins.
  void OnStatement(const std::string& text, Reply reply);
  void OnStatement(const std::string& text, StatementHandler handler);
  // Whole-text regex match; tried after exact texts, latest registration first.
  void OnStatementMatching(const std::regex& pattern, Reply reply);
  void OnStatementMatching(const std::regex& pattern, StatementHandler handler);

  // The latest registration wins.
  void OnTransaction(TransactionHandler handler);

  std::vector<Request> Requests() const;
  void ClearRequests();

  // Answers SQL Server Browser instance queries on UDP 127.0.0.1:udpPort (FreeTDS asks 1434
  // for "host\instance") with this server's TCP port. Returns the UDP port bound.
  std::uint16_t StartBrowser(std::uint16_t udpPort, const std::string& instanceName);

  // Closes every open client connection at once (the server keeps listening).
  void DropConnections();
  std::size_t OpenConnections() const;

  class Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace quor::test
