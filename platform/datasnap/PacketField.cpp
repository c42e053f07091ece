#include "PacketField.h"

#include <algorithm>
#include <cctype>
#include <sstream>

#include "PacketFormat.h"

namespace quor::datasnap {
namespace {

// Widths above these are the (max) forms of the types, which drivers report
// with a size of 0 or a huge number; they travel as blobs like text and ntext.
constexpr std::size_t kMaxAnsiWidth = 8000;
constexpr std::size_t kMaxUnicodeWidth = 4000;
constexpr std::uint16_t kGuidWidth = 38;

struct TypeName {
  std::string base;  // "int", "nvarchar", ...
  bool identity = false;
};

// Drivers report identity columns as "int identity" and the like.
TypeName ParseTypeName(const std::string& typeName) {
  std::string lower(typeName);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  std::istringstream words(lower);
  TypeName parsed;
  words >> parsed.base;
  for (std::string word; words >> word;) {
    if (word == "identity") parsed.identity = true;
  }
  return parsed;
}

std::uint16_t LengthPrefixWidth(std::size_t maxBytes) {
  if (maxBytes <= 0xFF) return 1;
  if (maxBytes <= 0xFFFF) return 2;
  return 4;
}

void MakeFixed(PacketField& out, ValueForm form, std::uint16_t type, std::uint16_t size) {
  out.form = form;
  out.type = type;
  out.size = size;
}

void MakeAnsiString(PacketField& out, std::size_t declaredBytes) {
  if (declaredBytes == 0 || declaredBytes > kMaxAnsiWidth) {
    out.form = ValueForm::kAnsiBlob;
    out.type = packet::kBytes | packet::kVarying;
    out.size = 4;
    out.subtype = "Text";
    return;
  }
  out.form = ValueForm::kAnsiString;
  out.type = packet::kAnsiString | packet::kVarying;
  out.width = static_cast<std::uint16_t>(declaredBytes);
  out.size = LengthPrefixWidth(declaredBytes);
}

// The length prefix counts bytes, so a Unicode column needs room for two per
// character when choosing how wide the prefix is.
void MakeUnicodeString(PacketField& out, std::size_t declaredCharacters) {
  if (declaredCharacters == 0 || declaredCharacters > kMaxUnicodeWidth) {
    out.form = ValueForm::kUnicodeBlob;
    out.type = packet::kBytes | packet::kVarying;
    out.size = 4;
    out.subtype = "WideText";
    return;
  }
  out.form = ValueForm::kUnicodeString;
  out.type = packet::kUnicodeString | packet::kVarying;
  out.width = static_cast<std::uint16_t>(declaredCharacters);
  out.size = LengthPrefixWidth(declaredCharacters * 2);
}

void MakeBlob(PacketField& out, ValueForm form, const char* subtype) {
  out.form = form;
  out.type = packet::kBytes | packet::kVarying;
  out.size = 4;
  out.subtype = subtype;
}

bool DescribeByTypeName(const std::string& base, const sql::Field& field, PacketField& out) {
  if (base == "tinyint") {
    MakeFixed(out, ValueForm::kUnsigned8, packet::kUnsignedInteger, 1);
  } else if (base == "smallint") {
    MakeFixed(out, ValueForm::kInteger16, packet::kSignedInteger, 2);
  } else if (base == "int") {
    MakeFixed(out, ValueForm::kInteger32, packet::kSignedInteger, 4);
  } else if (base == "bigint") {
    MakeFixed(out, ValueForm::kInteger64, packet::kSignedInteger, 8);
  } else if (base == "bit") {
    MakeFixed(out, ValueForm::kBoolean, packet::kBoolean, 2);
  } else if (base == "float" || base == "real" || base == "decimal" || base == "numeric" ||
             base == "money" || base == "smallmoney") {
    MakeFixed(out, ValueForm::kFloat, packet::kFloat, 8);
  } else if (base == "datetime" || base == "smalldatetime" || base == "datetime2") {
    MakeFixed(out, ValueForm::kTimestamp, packet::kTimestamp, 8);
  } else if (base == "date") {
    MakeFixed(out, ValueForm::kDate, packet::kDate, 4);
  } else if (base == "time") {
    MakeFixed(out, ValueForm::kTime, packet::kTime, 4);
  } else if (base == "char" || base == "varchar") {
    MakeAnsiString(out, field.size);
  } else if (base == "nchar" || base == "nvarchar" || base == "sysname") {
    MakeUnicodeString(out, field.size);
  } else if (base == "text") {
    MakeBlob(out, ValueForm::kAnsiBlob, "Text");
  } else if (base == "ntext" || base == "xml") {
    MakeBlob(out, ValueForm::kUnicodeBlob, "WideText");
  } else if (base == "image") {
    MakeBlob(out, ValueForm::kBinaryBlob, "Graphics");
  } else if (base == "binary" || base == "varbinary" || base == "timestamp" ||
             base == "rowversion") {
    MakeBlob(out, ValueForm::kBinaryBlob, "Binary");
  } else if (base == "uniqueidentifier") {
    out.form = ValueForm::kGuidString;
    out.type = packet::kAnsiString | packet::kVarying;
    out.size = 1;
    out.width = kGuidWidth;
  } else {
    return false;
  }
  return true;
}

// sql_variant, datetimeoffset, user types and columns without a type name.
void DescribeByKind(const sql::Field& field, PacketField& out) {
  switch (field.kind) {
    case sql::ValueKind::kBoolean:
      MakeFixed(out, ValueForm::kBoolean, packet::kBoolean, 2);
      break;
    case sql::ValueKind::kNull:  // SELECT NULL: SQL Server types it as int
      MakeFixed(out, ValueForm::kInteger32, packet::kSignedInteger, 4);
      break;
    case sql::ValueKind::kInteger:
      MakeFixed(out, ValueForm::kInteger64, packet::kSignedInteger, 8);
      break;
    case sql::ValueKind::kDouble:
    case sql::ValueKind::kDecimal:
      MakeFixed(out, ValueForm::kFloat, packet::kFloat, 8);
      break;
    case sql::ValueKind::kDateTime:
      MakeFixed(out, ValueForm::kTimestamp, packet::kTimestamp, 8);
      break;
    case sql::ValueKind::kBytes:
      MakeBlob(out, ValueForm::kBinaryBlob, "Binary");
      break;
    case sql::ValueKind::kText:
      MakeUnicodeString(out, field.size);
      break;
  }
}

}  // namespace

PacketField DescribePacketField(const sql::Field& field) {
  PacketField out;
  out.name = field.name;
  const TypeName typeName = ParseTypeName(field.typeName);
  if (!DescribeByTypeName(typeName.base, field, out)) DescribeByKind(field, out);

  // The server fills identity and row-version columns itself, so a client
  // must neither edit them nor be made to supply them.
  if (typeName.identity || typeName.base == "timestamp" || typeName.base == "rowversion") {
    out.attributes = packet::kReadOnly;
  } else if (!field.nullable) {
    out.attributes = packet::kRequired;
  }
  return out;
}

}  // namespace quor::datasnap
