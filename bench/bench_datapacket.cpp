// Data packet encoding throughput: 100k rows of ten mixed columns, as a goods
// list query returns them, encoded into one packet. Reports rows/s (items) and
// packet MB/s (bytes).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/datasnap/DataPacketWriter.h"

namespace {

using quor::sql::Field;
using quor::sql::Value;
using quor::sql::ValueKind;

constexpr int kRows = 100'000;

Field Column(const char* name, const char* typeName, std::size_t size, ValueKind kind,
             bool nullable = true) {
  Field field;
  field.name = name;
  field.typeName = typeName;
  field.size = size;
  field.kind = kind;
  field.nullable = nullable;
  return field;
}

std::vector<Field> Fields() {
  return {
      Column("IndexID", "int identity", 10, ValueKind::kInteger, false),
      Column("SelfID", "varchar", 20, ValueKind::kText, false),
      Column("商品名称", "nvarchar", 50, ValueKind::kText),
      Column("规格", "varchar", 100, ValueKind::kText),
      Column("单价", "money", 19, ValueKind::kDecimal),
      Column("数量", "float", 15, ValueKind::kDouble),
      Column("建档日期", "datetime", 23, ValueKind::kDateTime),
      Column("停用", "bit", 1, ValueKind::kBoolean),
      Column("类别", "smallint", 5, ValueKind::kInteger),
      Column("备注", "text", 2147483647, ValueKind::kText),
  };
}

std::vector<std::vector<Value>> Rows() {
  std::vector<std::vector<Value>> rows;
  rows.reserve(kRows);
  for (int i = 0; i < kRows; ++i) {
    const std::string n = std::to_string(i);
    rows.push_back({
        Value::Integer(i + 1),
        Value::Text("00001" + std::string(5 - std::min<std::size_t>(5, n.size()), '0') + n),
        Value::Text("红色纯棉T恤 " + n + "号"),
        Value::Text("180/96A cotton 100% size " + n),
        Value::Decimal(std::to_string(i % 1000) + ".2500"),
        Value::Double(i * 0.5),
        Value::FromDateTime({2024, 1 + i % 12, 1 + i % 28, i % 24, i % 60, i % 60, 123'000'000}),
        Value::Boolean(i % 7 == 0),
        i % 5 == 0 ? Value::Null() : Value::Integer(i % 300),
        i % 3 == 0 ? Value::Null() : Value::Text("库存备注：第" + n + "批"),
    });
  }
  return rows;
}

void BM_EncodeDataPacket(benchmark::State& state) {
  const std::vector<Field> fields = Fields();
  const std::vector<std::vector<Value>> rows = Rows();
  std::size_t packetBytes = 0;
  for (auto _ : state) {
    quor::datasnap::DataPacketWriter writer(fields);
    for (const auto& row : rows) writer.AddRow(row);
    std::vector<std::uint8_t> packet = writer.Finish();
    packetBytes = packet.size();
    benchmark::DoNotOptimize(packet.data());
  }
  state.SetItemsProcessed(state.iterations() * kRows);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(packetBytes));
  state.counters["packet_bytes"] = static_cast<double>(packetBytes);
}
BENCHMARK(BM_EncodeDataPacket)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
