// The writer's packets are read back with the independent reader and compared
// field by field; a few checks look at raw bytes computed by hand from the
// packet layout.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "DataPacketReader.h"
#include "platform/datasnap/DataPacketWriter.h"

namespace quor::datasnap {
namespace {

using test::Bytes;
using test::Cell;
using test::Date;
using test::Null;
using test::ReadDataPacket;
using test::TimeOfDay;
using test::Timestamp;

// The value kind the SQL layer gives each SQL Server type.
sql::ValueKind KindOf(const std::string& typeName) {
  const std::string base = typeName.substr(0, typeName.find(' '));
  if (base == "bit") return sql::ValueKind::kBoolean;
  if (base == "tinyint" || base == "smallint" || base == "int" || base == "bigint") {
    return sql::ValueKind::kInteger;
  }
  if (base == "float" || base == "real") return sql::ValueKind::kDouble;
  if (base == "decimal" || base == "numeric" || base == "money" || base == "smallmoney") {
    return sql::ValueKind::kDecimal;
  }
  if (base == "datetime" || base == "smalldatetime" || base == "datetime2" || base == "date") {
    return sql::ValueKind::kDateTime;
  }
  if (base == "image" || base == "binary" || base == "varbinary" || base == "timestamp") {
    return sql::ValueKind::kBytes;
  }
  return sql::ValueKind::kText;
}

sql::Field Col(std::string name, std::string typeName, std::size_t size = 0, bool nullable = true) {
  sql::Field field;
  field.name = std::move(name);
  field.kind = KindOf(typeName);
  field.typeName = std::move(typeName);
  field.size = size;
  field.nullable = nullable;
  return field;
}

sql::Value At(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
              int nanosecond = 0) {
  return sql::Value::FromDateTime({year, month, day, hour, minute, second, nanosecond});
}

sql::Value Blob(std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return sql::Value::Bytes(std::move(bytes));
}

std::string Repeat(const std::string& unit, std::size_t times) {
  std::string text;
  for (std::size_t i = 0; i < times; ++i) text += unit;
  return text;
}

std::vector<std::uint8_t> Encode(const std::vector<sql::Field>& fields,
                                 const std::vector<std::vector<sql::Value>>& rows) {
  DataPacketWriter writer(fields);
  for (const auto& row : rows) writer.AddRow(row);
  return writer.Finish();
}

// ---------------------------------------------------------------------------

struct DescriptorCase {
  const char* label;
  sql::Field column;
  std::uint16_t type;
  std::uint16_t size;
  std::uint16_t attributes;
  std::optional<std::uint64_t> width;
  std::optional<std::string> subtype;
};

TEST(DataPacketWriter, DescribesEachSqlServerTypeAsItsPacketFieldType) {
  const std::vector<DescriptorCase> cases = {
      {"tinyint is unsigned", Col("a", "tinyint"), 2, 1, 0, {}, {}},
      {"smallint", Col("a", "smallint"), 1, 2, 0, {}, {}},
      {"int", Col("a", "int"), 1, 4, 0, {}, {}},
      {"bigint", Col("a", "bigint"), 1, 8, 0, {}, {}},
      {"bit", Col("a", "bit"), 3, 2, 0, {}, {}},
      {"float", Col("a", "float"), 4, 8, 0, {}, {}},
      {"real", Col("a", "real"), 4, 8, 0, {}, {}},
      {"decimal without BCD", Col("a", "decimal", 18), 4, 8, 0, {}, {}},
      {"numeric", Col("a", "numeric", 10), 4, 8, 0, {}, {}},
      {"money", Col("a", "money", 19), 4, 8, 0, {}, {}},
      {"smallmoney", Col("a", "smallmoney", 10), 4, 8, 0, {}, {}},
      {"datetime", Col("a", "datetime", 23), 8, 8, 0, {}, {}},
      {"smalldatetime", Col("a", "smalldatetime", 16), 8, 8, 0, {}, {}},
      {"datetime2", Col("a", "datetime2", 27), 8, 8, 0, {}, {}},
      {"date", Col("a", "date", 10), 6, 4, 0, {}, {}},
      {"time", Col("a", "time", 16), 7, 4, 0, {}, {}},
      {"varchar(50)", Col("a", "varchar", 50), 0x49, 1, 0, 50, {}},
      {"char(10)", Col("a", "char", 10), 0x49, 1, 0, 10, {}},
      {"varchar(255) keeps a one-byte length", Col("a", "varchar", 255), 0x49, 1, 0, 255, {}},
      {"varchar(256) needs a two-byte length", Col("a", "varchar", 256), 0x49, 2, 0, 256, {}},
      {"varchar(8000)", Col("a", "varchar", 8000), 0x49, 2, 0, 8000, {}},
      {"varchar(max) reported as size 0", Col("a", "varchar", 0), 0x4B, 4, 0, {}, "Text"},
      {"varchar(max) reported as 2^31-1", Col("a", "varchar", 2147483647), 0x4B, 4, 0, {}, "Text"},
      {"nvarchar(100): 200 bytes fit a one-byte length",
       Col("a", "nvarchar", 100),
       0x4A,
       1,
       0,
       100,
       {}},
      {"nvarchar(127)", Col("a", "nvarchar", 127), 0x4A, 1, 0, 127, {}},
      {"nvarchar(128): 256 bytes need two", Col("a", "nvarchar", 128), 0x4A, 2, 0, 128, {}},
      {"nchar(4000)", Col("a", "nchar", 4000), 0x4A, 2, 0, 4000, {}},
      {"sysname", Col("a", "sysname", 128), 0x4A, 2, 0, 128, {}},
      {"nvarchar(max)", Col("a", "nvarchar", 0), 0x4B, 4, 0, {}, "WideText"},
      {"text", Col("a", "text", 2147483647), 0x4B, 4, 0, {}, "Text"},
      {"ntext", Col("a", "ntext", 1073741823), 0x4B, 4, 0, {}, "WideText"},
      {"xml", Col("a", "xml", 0), 0x4B, 4, 0, {}, "WideText"},
      {"image", Col("a", "image", 2147483647), 0x4B, 4, 0, {}, "Graphics"},
      {"varbinary(50)", Col("a", "varbinary", 50), 0x4B, 4, 0, {}, "Binary"},
      {"binary(16)", Col("a", "binary", 16), 0x4B, 4, 0, {}, "Binary"},
      {"varbinary(max)", Col("a", "varbinary", 0), 0x4B, 4, 0, {}, "Binary"},
      {"uniqueidentifier", Col("a", "uniqueidentifier", 36), 0x49, 1, 0, 38, {}},
      {"NOT NULL column is required", Col("a", "int", 10, false), 1, 4, 4, {}, {}},
      {"NOT NULL varchar is required", Col("a", "varchar", 8, false), 0x49, 1, 4, 8, {}},
      {"identity is read-only, not required", Col("a", "int identity", 10, false), 1, 4, 2, {}, {}},
      {"bigint identity", Col("a", "bigint identity", 19, false), 1, 8, 2, {}, {}},
      {"rowversion is read-only", Col("a", "timestamp", 8, false), 0x4B, 4, 2, {}, "Binary"},
      {"type names in capitals", Col("a", "NVARCHAR", 20), 0x4A, 1, 0, 20, {}},
      {"datetimeoffset falls back to its text", Col("a", "datetimeoffset", 34), 0x4A, 1, 0, 34, {}},
      {"sql_variant falls back to long text",
       Col("a", "sql_variant", 8000),
       0x4B,
       4,
       0,
       {},
       "WideText"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const auto packet = ReadDataPacket(Encode({c.column}, {}));
    ASSERT_EQ(packet.fields.size(), 1u);
    const auto& field = packet.fields[0];
    EXPECT_EQ(field.type, c.type);
    EXPECT_EQ(field.size, c.size);
    EXPECT_EQ(field.attributes, c.attributes);
    EXPECT_EQ(field.NumberProperty("WIDTH"), c.width);
    EXPECT_EQ(field.TextProperty("SUBTYPE"), c.subtype);
    const std::size_t expectedProperties = (c.width ? 1 : 0) + (c.subtype ? 1 : 0);
    EXPECT_EQ(field.properties.size(), expectedProperties);
    if (c.width) {
      // WIDTH is a uint16: size 2, unsigned integer type.
      EXPECT_EQ(field.FindProperty("WIDTH")->size, 2);
      EXPECT_EQ(field.FindProperty("WIDTH")->type, 2);
    }
  }
}

TEST(DataPacketWriter, UnknownTypeNamesFallBackOnTheValueKind) {
  struct Case {
    sql::ValueKind kind;
    std::uint16_t type;
    std::uint16_t size;
  };
  const std::vector<Case> cases = {
      {sql::ValueKind::kBoolean, 3, 2},  {sql::ValueKind::kInteger, 1, 8},
      {sql::ValueKind::kDouble, 4, 8},   {sql::ValueKind::kDecimal, 4, 8},
      {sql::ValueKind::kDateTime, 8, 8}, {sql::ValueKind::kBytes, 0x4B, 4},
      {sql::ValueKind::kText, 0x4A, 1},  {sql::ValueKind::kNull, 1, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.kind));
    sql::Field column = Col("u", "");
    column.kind = c.kind;
    column.size = 20;
    const auto packet = ReadDataPacket(Encode({column}, {}));
    EXPECT_EQ(packet.fields[0].type, c.type);
    EXPECT_EQ(packet.fields[0].size, c.size);
  }
}

// ---------------------------------------------------------------------------

struct ValueCase {
  const char* label;
  sql::Field column;
  sql::Value value;
  Cell expected;
};

TEST(DataPacketWriter, WritesEachTypesValuesAndNullsSoTheyReadBack) {
  const std::vector<ValueCase> cases = {
      {"tinyint 0", Col("a", "tinyint"), sql::Value::Integer(0), std::uint64_t{0}},
      {"tinyint 255", Col("a", "tinyint"), sql::Value::Integer(255), std::uint64_t{255}},
      {"smallint min", Col("a", "smallint"), sql::Value::Integer(-32768), std::int64_t{-32768}},
      {"smallint max", Col("a", "smallint"), sql::Value::Integer(32767), std::int64_t{32767}},
      {"int min", Col("a", "int"), sql::Value::Integer(std::numeric_limits<std::int32_t>::min()),
       std::int64_t{std::numeric_limits<std::int32_t>::min()}},
      {"int max", Col("a", "int"), sql::Value::Integer(std::numeric_limits<std::int32_t>::max()),
       std::int64_t{std::numeric_limits<std::int32_t>::max()}},
      {"bigint min", Col("a", "bigint"),
       sql::Value::Integer(std::numeric_limits<std::int64_t>::min()),
       std::numeric_limits<std::int64_t>::min()},
      {"bigint max", Col("a", "bigint"),
       sql::Value::Integer(std::numeric_limits<std::int64_t>::max()),
       std::numeric_limits<std::int64_t>::max()},
      {"bit true", Col("a", "bit"), sql::Value::Boolean(true), true},
      {"bit false", Col("a", "bit"), sql::Value::Boolean(false), false},
      {"float", Col("a", "float"), sql::Value::Double(-1.5e300), -1.5e300},
      {"real", Col("a", "real"), sql::Value::Double(0.1), 0.1},
      {"decimal", Col("a", "decimal", 18), sql::Value::Decimal("-12.3400"), -12.34},
      {"numeric", Col("a", "numeric", 10), sql::Value::Decimal("0.5"), 0.5},
      {"money at its maximum", Col("a", "money", 19), sql::Value::Decimal("922337203685477.5807"),
       922337203685477.5807},
      {"smallmoney at its minimum", Col("a", "smallmoney", 10), sql::Value::Decimal("-214748.3648"),
       -214748.3648},
      {"datetime with milliseconds", Col("a", "datetime", 23),
       At(2024, 2, 29, 13, 45, 30, 997'000'000), Timestamp{{2024, 2, 29}, 49'530'997}},
      {"datetime at its lower bound", Col("a", "datetime", 23), At(1753, 1, 1, 0, 0, 0, 3'333'333),
       Timestamp{{1753, 1, 1}, 3}},
      {"datetime the day before the variant epoch", Col("a", "datetime", 23),
       At(1899, 12, 29, 18, 0, 0), Timestamp{{1899, 12, 29}, 64'800'000}},
      {"smalldatetime", Col("a", "smalldatetime", 16), At(1900, 1, 1, 23, 59),
       Timestamp{{1900, 1, 1}, 86'340'000}},
      {"datetime2 rounds to the millisecond", Col("a", "datetime2", 27),
       At(2010, 6, 15, 8, 30, 0, 123'456'700), Timestamp{{2010, 6, 15}, 30'600'123}},
      {"datetime2 rounding into the next day", Col("a", "datetime2", 27),
       At(1999, 12, 31, 23, 59, 59, 999'600'000), Timestamp{{2000, 1, 1}, 0}},
      {"datetime2 on day 1", Col("a", "datetime2", 27), At(1, 1, 1, 0, 0, 0, 1'000'000),
       Timestamp{{1, 1, 1}, 1}},
      {"date", Col("a", "date", 10), At(2024, 2, 29), Date{2024, 2, 29}},
      {"date in 1600", Col("a", "date", 10), At(1600, 2, 29), Date{1600, 2, 29}},
      {"date given as text", Col("a", "date", 10), sql::Value::Text("2023-03-01"),
       Date{2023, 3, 1}},
      {"time from the driver's text", Col("a", "time", 16), sql::Value::Text("12:34:56.7890000"),
       TimeOfDay{45'296'789}},
      {"time at midnight", Col("a", "time", 16), sql::Value::Text("00:00:00"), TimeOfDay{0}},
      {"time at the end of the day stays in the day", Col("a", "time", 16),
       sql::Value::Text("23:59:59.9999999"), TimeOfDay{86'399'999}},
      {"time from a date-time value", Col("a", "time", 16), At(1900, 1, 1, 1, 2, 3, 4'000'000),
       TimeOfDay{3'723'004}},
      {"varchar ASCII", Col("a", "varchar", 20), sql::Value::Text("hello"), std::string("hello")},
      {"varchar Chinese", Col("a", "varchar", 20), sql::Value::Text("中文测试，好！"),
       std::string("中文测试，好！")},
      {"varchar empty", Col("a", "varchar", 20), sql::Value::Text(""), std::string()},
      {"varchar with the euro sign", Col("a", "varchar", 3), sql::Value::Text("€中"),
       std::string("€中")},
      {"char keeps its padding", Col("a", "char", 5), sql::Value::Text("ab   "),
       std::string("ab   ")},
      {"long varchar", Col("a", "varchar", 300), sql::Value::Text(Repeat("数", 150)),
       Repeat("数", 150)},
      {"nvarchar Chinese and beyond the BMP", Col("a", "nvarchar", 20),
       sql::Value::Text("中文，Unicode 😀"), std::string("中文，Unicode 😀")},
      {"nchar", Col("a", "nchar", 4), sql::Value::Text("ab  "), std::string("ab  ")},
      {"long nvarchar", Col("a", "nvarchar", 4000), sql::Value::Text(Repeat("字", 4000)),
       Repeat("字", 4000)},
      {"text", Col("a", "text", 2147483647), sql::Value::Text("备注 memo"),
       std::string("备注 memo")},
      {"ntext", Col("a", "ntext", 1073741823), sql::Value::Text("宽文本 😀"),
       std::string("宽文本 😀")},
      {"varchar(max)", Col("a", "varchar", 0), sql::Value::Text("长文本"), std::string("长文本")},
      {"nvarchar(max)", Col("a", "nvarchar", 0), sql::Value::Text("长文本"), std::string("长文本")},
      {"image", Col("a", "image", 2147483647), Blob(100), Blob(100).AsBytes()},
      {"varbinary", Col("a", "varbinary", 50), Blob(50), Blob(50).AsBytes()},
      {"binary", Col("a", "binary", 4), sql::Value::Bytes({0, 0xFF, 0, 1}), Bytes{0, 0xFF, 0, 1}},
      {"uniqueidentifier text from the driver", Col("a", "uniqueidentifier", 36),
       sql::Value::Text("6f9619ff-8b86-d011-b42d-00c04fc964ff"),
       std::string("{6F9619FF-8B86-D011-B42D-00C04FC964FF}")},
      {"uniqueidentifier already braced", Col("a", "uniqueidentifier", 36),
       sql::Value::Text("{6F9619FF-8B86-D011-B42D-00C04FC964FF}"),
       std::string("{6F9619FF-8B86-D011-B42D-00C04FC964FF}")},
      {"uniqueidentifier as GUID bytes", Col("a", "uniqueidentifier", 36),
       sql::Value::Bytes({0xFF, 0x19, 0x96, 0x6F, 0x86, 0x8B, 0x11, 0xD0, 0xB4, 0x2D, 0x00, 0xC0,
                          0x4F, 0xC9, 0x64, 0xFF}),
       std::string("{6F9619FF-8B86-D011-B42D-00C04FC964FF}")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const auto packet = ReadDataPacket(Encode({c.column}, {{c.value}, {sql::Value::Null()}}));
    ASSERT_EQ(packet.records.size(), 2u);
    EXPECT_EQ(packet.records[0].status, 0);
    EXPECT_EQ(packet.records[0].cells[0], c.expected)
        << "read " << test::CellText(packet.records[0].cells[0]) << ", expected "
        << test::CellText(c.expected);
    EXPECT_EQ(packet.records[1].cells[0], Cell(Null{})) << "the NULL row";
  }
}

TEST(DataPacketWriter, CountsDaysFromDayOneInDatesAndTimestamps) {
  // Day numbers from the layout's anchors (0001-01-01 is 1, 1899-12-30 is
  // 693594), counted out independently of the code under test.
  struct Case {
    int year, month, day;
    std::int32_t dayNumber;
  };
  const std::vector<Case> cases = {
      {1, 1, 1, 1},           {1, 12, 31, 365},       {1753, 1, 1, 639906},
      {1899, 12, 29, 693593}, {1899, 12, 30, 693594}, {1899, 12, 31, 693595},
      {1900, 3, 1, 693655},   {2024, 2, 29, 738945},  {9999, 12, 31, 3652059},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.year) + "-" + std::to_string(c.month) + "-" +
                 std::to_string(c.day));
    const auto bytes =
        Encode({Col("d", "date", 10), Col("t", "datetime", 23)},
               {{At(c.year, c.month, c.day), At(c.year, c.month, c.day, 0, 0, 1, 5'000'000)}});
    const auto packet = ReadDataPacket(bytes);
    // A record of two fields: status byte, one byte of field bits, then the data.
    const std::size_t data = packet.headerSize + 2;
    std::int32_t dayNumber = 0;
    for (int i = 3; i >= 0; --i) dayNumber = dayNumber << 8 | bytes[data + i];
    EXPECT_EQ(dayNumber, c.dayNumber);
    std::uint64_t raw = 0;
    for (int i = 7; i >= 0; --i) raw = raw << 8 | bytes[data + 4 + i];
    EXPECT_EQ(std::bit_cast<double>(raw), c.dayNumber * 86'400'000.0 + 1005);
    EXPECT_EQ(packet.records[0].cells[0], Cell(Date{c.year, c.month, c.day}));
  }
}

TEST(DataPacketWriter, CutsTextsAtTheDeclaredWidthOnWholeCharacters) {
  const std::vector<ValueCase> cases = {
      {"ASCII beyond varchar(5)", Col("a", "varchar", 5), sql::Value::Text("abcdefg"),
       std::string("abcde")},
      {"three Chinese characters in 4 bytes", Col("a", "varchar", 4), sql::Value::Text("中文字"),
       std::string("中文")},
      {"no half character in 3 bytes", Col("a", "varchar", 3), sql::Value::Text("中文"),
       std::string("中")},
      {"single-byte euro before a Chinese character", Col("a", "varchar", 2),
       sql::Value::Text("€中"), std::string("€")},
      {"nvarchar(3)", Col("a", "nvarchar", 3), sql::Value::Text("中文字符"), std::string("中文字")},
      {"no half surrogate pair", Col("a", "nvarchar", 2), sql::Value::Text("a😀"), std::string("a")},
      {"whole surrogate pair", Col("a", "nvarchar", 3), sql::Value::Text("a😀b"), std::string("a😀")},
      {"characters outside code page 936 become '?'", Col("a", "varchar", 10),
       sql::Value::Text("a😀한b"), std::string("a??b")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    // The reader itself rejects a string longer than its WIDTH.
    const auto packet = ReadDataPacket(Encode({c.column}, {{c.value}}));
    EXPECT_EQ(packet.records[0].cells[0], c.expected)
        << "read " << test::CellText(packet.records[0].cells[0]);
  }
}

TEST(DataPacketWriter, WritesEmptyAndLargeBlobsWithFourByteLengths) {
  const std::string longText =
      Repeat("七十千字节的备注。", 2800);             // 25200 characters, 50400 bytes in CP936
  const std::string longWide = Repeat("宽😀", 12000);  // 36000 UTF-16 units, 72000 bytes
  const std::vector<sql::Field> fields = {
      Col("memo", "text", 2147483647), Col("wide", "ntext", 1073741823),
      Col("picture", "image", 2147483647), Col("data", "varbinary", 0)};
  const std::vector<std::vector<sql::Value>> rows = {
      {sql::Value::Text(""), sql::Value::Text(""), sql::Value::Bytes({}), sql::Value::Bytes({})},
      {sql::Value::Text(longText + Repeat("abc", 7000)), sql::Value::Text(longWide),
       Blob(70 * 1024), Blob(70 * 1024 + 1)},
      {sql::Value::Null(), sql::Value::Null(), sql::Value::Null(), sql::Value::Null()},
  };
  const auto bytes = Encode(fields, rows);
  const auto packet = ReadDataPacket(bytes);
  ASSERT_EQ(packet.records.size(), 3u);
  EXPECT_EQ(packet.records[0].cells[0], Cell(std::string()));
  EXPECT_EQ(packet.records[0].cells[1], Cell(std::string()));
  EXPECT_EQ(packet.records[0].cells[2], Cell(Bytes{}));
  EXPECT_EQ(packet.records[0].cells[3], Cell(Bytes{}));
  EXPECT_EQ(packet.records[1].cells[0], Cell(longText + Repeat("abc", 7000)));
  EXPECT_EQ(packet.records[1].cells[1], Cell(longWide));
  EXPECT_EQ(packet.records[1].cells[2], Cell(Blob(70 * 1024).AsBytes()));
  EXPECT_EQ(packet.records[1].cells[3], Cell(Blob(70 * 1024 + 1).AsBytes()));
  for (const auto& cell : packet.records[2].cells) EXPECT_EQ(cell, Cell(Null{}));

  // The empty row: status, field bits, then four zero lengths of four bytes.
  const std::vector<std::uint8_t> emptyRow(bytes.begin() + packet.headerSize,
                                           bytes.begin() + packet.headerSize + 18);
  EXPECT_EQ(emptyRow, std::vector<std::uint8_t>(18, 0));
}

TEST(DataPacketWriter, WritesHeaderAndFieldsOnlyWhenThereAreNoRows) {
  const std::vector<sql::Field> fields = {Col("编号", "int", 10, false),
                                          Col("名称", "nvarchar", 40)};
  const auto bytes = Encode(fields, {});
  const auto packet = ReadDataPacket(bytes);
  EXPECT_EQ(packet.recordCount, 0);
  EXPECT_TRUE(packet.records.empty());
  EXPECT_EQ(packet.headerSize, bytes.size());
  ASSERT_EQ(packet.fields.size(), 2u);
  EXPECT_EQ(packet.fields[0].name, "编号");
  EXPECT_EQ(packet.fields[1].name, "名称");
  EXPECT_TRUE(packet.packetProperties.empty());
}

TEST(DataPacketWriter, PacksNullBitsFourFieldsToAByteAcrossRecords) {
  std::vector<sql::Field> fields;
  for (int i = 0; i < 9; ++i) fields.push_back(Col("f" + std::to_string(i), "smallint"));
  struct Case {
    std::vector<int> nullFields;
    std::vector<std::uint8_t> statusBytes;
  };
  // Field i has bits (i mod 4) * 2 of byte i div 4; 1 means null.
  const std::vector<Case> cases = {
      {{}, {0x00, 0x00, 0x00}},
      {{0, 3, 4, 8}, {0x41, 0x01, 0x01}},
      {{1, 2, 5, 6, 7}, {0x14, 0x54, 0x00}},
      {{0, 1, 2, 3, 4, 5, 6, 7, 8}, {0x55, 0x55, 0x01}},
      {{8}, {0x00, 0x00, 0x01}},
  };
  std::vector<std::vector<sql::Value>> rows;
  for (std::size_t r = 0; r < cases.size(); ++r) {
    std::vector<sql::Value> row;
    for (int i = 0; i < 9; ++i) row.push_back(sql::Value::Integer(static_cast<int>(r) * 100 + i));
    for (const int n : cases[r].nullFields) row[static_cast<std::size_t>(n)] = sql::Value::Null();
    rows.push_back(row);
  }
  const auto bytes = Encode(fields, rows);
  const auto packet = ReadDataPacket(bytes);
  ASSERT_EQ(packet.recordCount, static_cast<std::int32_t>(cases.size()));
  std::size_t offset = packet.headerSize;
  for (std::size_t r = 0; r < cases.size(); ++r) {
    SCOPED_TRACE("row " + std::to_string(r));
    EXPECT_EQ(bytes[offset], 0) << "record status";
    const std::vector<std::uint8_t> status(bytes.begin() + static_cast<std::ptrdiff_t>(offset) + 1,
                                           bytes.begin() + static_cast<std::ptrdiff_t>(offset) + 4);
    EXPECT_EQ(status, cases[r].statusBytes);
    const std::size_t present = 9 - cases[r].nullFields.size();
    offset += 4 + present * 2;
    for (int i = 0; i < 9; ++i) {
      const bool isNull = std::find(cases[r].nullFields.begin(), cases[r].nullFields.end(), i) !=
                          cases[r].nullFields.end();
      const Cell expected =
          isNull ? Cell(Null{}) : Cell(std::int64_t{static_cast<int>(r) * 100 + i});
      EXPECT_EQ(packet.records[r].cells[static_cast<std::size_t>(i)], expected) << "field " << i;
    }
  }
  EXPECT_EQ(offset, bytes.size());
}

TEST(DataPacketWriter, MatchesAHandComputedPacketByteForByte) {
  const std::vector<sql::Field> fields = {Col("ID", "int", 10, false), Col("名称", "varchar", 10),
                                          Col("日期", "datetime", 23), Col("启用", "bit", 1)};
  const std::vector<std::vector<sql::Value>> rows = {
      {sql::Value::Integer(1), sql::Value::Text("中"), At(1899, 12, 31, 0, 0, 0, 500'000'000),
       sql::Value::Boolean(true)},
      {sql::Value::Integer(2), sql::Value::Null(), sql::Value::Null(), sql::Value::Boolean(false)},
  };
  // 1899-12-31 is day 693595; its timestamp is 693595 * 86400000 + 500.
  static_assert(std::bit_cast<std::uint64_t>(59926608000500.0) == 0x42CB4060175AFA00);
  const std::vector<std::uint8_t> expected = {
      // header
      0x96, 0x19, 0xE0, 0xBD,  // signature
      0x01, 0x00, 0x00, 0x00,  // int32 1
      0x12, 0x00, 0x00, 0x00,  // int32 18
      0x04, 0x00,              // four fields
      0x02, 0x00, 0x00, 0x00,  // two records
      0x03, 0x00, 0x00, 0x00,  // int32 3
      0x58, 0x00,              // records begin at 88 = 24 + 11 + 25 + 13 + 13 + 2
      // "ID": int NOT NULL (offset 24, 11 bytes)
      0x02, 'I', 'D',  // name
      0x04, 0x00,      // size 4
      0x01, 0x00,      // signed integer
      0x04, 0x00,      // required
      0x00, 0x00,      // no properties
      // "名称" varchar(10) (offset 35, 25 bytes): name in code page 936
      0x04, 0xC3, 0xFB, 0xB3, 0xC6,   // 名 C3FB, 称 B3C6
      0x01, 0x00,                     // a one-byte length prefix
      0x49, 0x00,                     // ANSI string (9) | varying (0x40)
      0x00, 0x00,                     // no attributes
      0x01, 0x00,                     // one property:
      0x05, 'W', 'I', 'D', 'T', 'H',  //   WIDTH,
      0x02, 0x00,                     //   size 2,
      0x02, 0x00,                     //   unsigned integer,
      0x0A, 0x00,                     //   10
      // "日期" datetime (offset 60, 13 bytes)
      0x04, 0xC8, 0xD5, 0xC6, 0xDA,  // 日 C8D5, 期 C6DA
      0x08, 0x00,                    // size 8
      0x08, 0x00,                    // timestamp
      0x00, 0x00, 0x00, 0x00,        // no attributes, no properties
      // "启用" bit (offset 73, 13 bytes)
      0x04, 0xC6, 0xF4, 0xD3, 0xC3,  // 启 C6F4, 用 D3C3
      0x02, 0x00,                    // size 2
      0x03, 0x00,                    // boolean
      0x00, 0x00, 0x00, 0x00,        // no attributes, no properties
      // packet properties (offset 86)
      0x00, 0x00,  // none
      // record 1 (offset 88)
      0x00,                                            // unmodified
      0x00,                                            // no field is null
      0x01, 0x00, 0x00, 0x00,                          // ID 1
      0x02, 0xD6, 0xD0,                                // "中": two bytes in code page 936
      0x00, 0xFA, 0x5A, 0x17, 0x60, 0x40, 0xCB, 0x42,  // 59926608000500.0
      0xFF, 0xFF,                                      // true
      // record 2
      0x00,                    // unmodified
      0x14,                    // fields 1 (bits 2-3) and 2 (bits 4-5) are null
      0x02, 0x00, 0x00, 0x00,  // ID 2
      0x00, 0x00,              // false
  };
  EXPECT_EQ(Encode(fields, rows), expected);
}

TEST(DataPacketWriter, PatchesTheRecordCountAndHeaderSizeAsRowsStreamIn) {
  const std::vector<sql::Field> fields = {Col("n", "int"), Col("s", "nvarchar", 10)};
  DataPacketWriter writer(fields);
  for (int i = 0; i < 1000; ++i) {
    const std::vector<sql::Value> row = {sql::Value::Integer(i),
                                         sql::Value::Text("第" + std::to_string(i) + "行")};
    writer.AddRow(row);
  }
  EXPECT_EQ(writer.RecordCount(), 1000);
  const auto bytes = writer.Finish();
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 14, bytes.begin() + 18),
            (std::vector<std::uint8_t>{0xE8, 0x03, 0x00, 0x00}));
  const auto packet = ReadDataPacket(bytes);
  ASSERT_EQ(packet.records.size(), 1000u);
  EXPECT_EQ(packet.records[999].cells[0], Cell(std::int64_t{999}));
  EXPECT_EQ(packet.records[999].cells[1], Cell(std::string("第999行")));
}

TEST(DataPacketWriter, RejectsValuesThatDoNotFitAndKeepsThePacketIntact) {
  struct Case {
    const char* label;
    sql::Field column;
    sql::Value value;
  };
  const std::vector<Case> cases = {
      {"tinyint 256", Col("a", "tinyint"), sql::Value::Integer(256)},
      {"tinyint -1", Col("a", "tinyint"), sql::Value::Integer(-1)},
      {"smallint 32768", Col("a", "smallint"), sql::Value::Integer(32768)},
      {"int 2^31", Col("a", "int"), sql::Value::Integer(2147483648LL)},
      {"int from text that is no number", Col("a", "int"), sql::Value::Text("twelve")},
      {"month 13", Col("a", "datetime", 23), At(2024, 13, 1)},
      {"30 February", Col("a", "date", 10), At(2023, 2, 30)},
      {"year 0", Col("a", "date", 10), At(0, 1, 1)},
      {"month 257, which wraps to 1 in a byte", Col("a", "date", 10), At(2024, 257, 1)},
      {"year 75536, which wraps in a short", Col("a", "date", 10), At(75536, 1, 1)},
      {"hour 24", Col("a", "datetime2", 27), At(2024, 1, 1, 24)},
      {"time 25:00", Col("a", "time", 16), sql::Value::Text("25:00:00")},
      {"time without seconds' digits", Col("a", "time", 16), sql::Value::Text("12:3")},
      {"GUID of the wrong shape", Col("a", "uniqueidentifier", 36), sql::Value::Text("xyz")},
      {"GUID with a stray letter", Col("a", "uniqueidentifier", 36),
       sql::Value::Text("6f9619ff-8b86-d011-b42d-00c04fc964fg")},
      {"GUID of 15 bytes", Col("a", "uniqueidentifier", 36), Blob(15)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const std::vector<sql::Field> fields = {Col("before", "int"), c.column};
    DataPacketWriter writer(fields);
    writer.AddRow(std::vector<sql::Value>{sql::Value::Integer(1), sql::Value::Null()});
    try {
      writer.AddRow(std::vector<sql::Value>{sql::Value::Integer(2), c.value});
      ADD_FAILURE() << "no error for " << c.value.ToDebugString();
    } catch (const PacketError& e) {
      EXPECT_NE(std::string(e.what()).find("\"a\""), std::string::npos) << e.what();
    }
    writer.AddRow(std::vector<sql::Value>{sql::Value::Integer(3), sql::Value::Null()});
    const auto packet = ReadDataPacket(writer.Finish());
    ASSERT_EQ(packet.records.size(), 2u);
    EXPECT_EQ(packet.records[0].cells[0], Cell(std::int64_t{1}));
    EXPECT_EQ(packet.records[1].cells[0], Cell(std::int64_t{3}));
  }
}

TEST(DataPacketWriter, RejectsRowsAndFieldsTheLayoutCannotHold) {
  const std::vector<sql::Field> fields = {Col("a", "int"), Col("b", "int")};
  DataPacketWriter writer(fields);
  EXPECT_THROW(writer.AddRow(std::vector<sql::Value>{sql::Value::Integer(1)}), PacketError);
  EXPECT_THROW(writer.AddRow(std::vector<sql::Value>(3)), PacketError);
  writer.Finish();
  EXPECT_THROW(writer.AddRow(std::vector<sql::Value>(2)), std::logic_error);
  EXPECT_THROW(writer.Finish(), std::logic_error);

  // 128 Chinese characters, SQL Server's longest name, take 256 bytes in code page 936.
  const std::vector<sql::Field> longName = {Col(Repeat("长", 128), "int")};
  EXPECT_THROW(DataPacketWriter{longName}, PacketError);
  const std::vector<sql::Field> longestName = {Col(Repeat("长", 127) + "x", "int")};
  EXPECT_EQ(ReadDataPacket(DataPacketWriter(longestName).Finish()).fields[0].name,
            Repeat("长", 127) + "x");

  const std::vector<sql::Field> tooMany(65536, Col("c", "int"));
  EXPECT_THROW(DataPacketWriter{tooMany}, PacketError);
  // 7000 descriptors of 10 bytes would need a header beyond 64 KB.
  const std::vector<sql::Field> wideHeader(7000, Col("c", "int"));
  EXPECT_THROW(DataPacketWriter{wideHeader}, PacketError);
}

}  // namespace
}  // namespace quor::datasnap
