// How long the writer takes for the sizes tests and benchmarks ask of it.
#include <benchmark/benchmark.h>

#include "tests/support/jet4_writer.h"

namespace kestrin::testsupport {
namespace {

using automation::Currency;
using automation::DateTime;
using automation::Value;
using T = AccessType;

Jet4Database TenColumns(int rows) {
  Jet4Table t;
  t.name = "Big";
  t.columns = {{"N", T::kLong},        {"Label", T::kText, 20}, {"Even", T::kBoolean},
               {"Half", T::kDouble},   {"Money", T::kCurrency}, {"Day", T::kDateTime},
               {"Small", T::kInteger}, {"Tiny", T::kByte},      {"Ratio", T::kSingle},
               {"Notes", T::kMemo}};
  for (int i = 0; i < rows; ++i)
    t.rows.push_back({std::int64_t{i}, "row " + std::to_string(i), i % 2 == 0, i / 2.0,
                      Currency{std::int64_t{i} * 10001}, DateTime{40000.0 + i}, i % 30000, i % 256,
                      0.25 * i, i % 3 == 0 ? Value() : Value("note " + std::to_string(i))});
  Jet4Database db;
  db.tables.push_back(std::move(t));
  return db;
}

void BM_TenColumns(benchmark::State& state) {
  Jet4Database db = TenColumns(static_cast<int>(state.range(0)));
  std::size_t bytes = 0;
  for (auto _ : state) bytes = BuildJet4Database(db).size();
  state.counters["cells/s"] = benchmark::Counter(static_cast<double>(state.range(0)) * 10,
                                                 benchmark::Counter::kIsIterationInvariantRate);
  state.counters["file_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_TenColumns)->Arg(250)->Arg(32767)->Unit(benchmark::kMillisecond);

void BM_LongMemos(benchmark::State& state) {
  Jet4Table t;
  t.name = "Memos";
  t.columns = {{"Id", T::kLong}, {"Text", T::kMemo}};
  for (int i = 0; i < 200; ++i) t.rows.push_back({i, std::string(20000, 'a' + i % 26)});
  Jet4Database db;
  db.tables.push_back(std::move(t));
  for (auto _ : state) benchmark::DoNotOptimize(BuildJet4Database(db));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 200 * 40000);
}
BENCHMARK(BM_LongMemos)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kestrin::testsupport

BENCHMARK_MAIN();
