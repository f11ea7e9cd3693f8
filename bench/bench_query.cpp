// Saved-query evaluation: a generated 32,767-row order table joined to a
// 1,000-row customer table, with the load into SQLite inside and outside the
// timed part.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "automation/mdb/query/query_engine.h"

namespace {

using kestrin::automation::Currency;
using kestrin::automation::DateTime;
using kestrin::automation::Value;
using namespace kestrin::automation::mdb;

constexpr int kOrders = 32767;
constexpr int kCustomers = 1000;

class GeneratedTables : public TableProvider {
 public:
  std::optional<std::vector<ColumnInfo>> TableColumns(const std::string& name) override {
    if (name == "Orders") {
      return std::vector<ColumnInfo>{
          {"OrderID", AccessType::kLong},     {"CustID", AccessType::kLong},
          {"Amount", AccessType::kCurrency},  {"Qty", AccessType::kInteger},
          {"Shipped", AccessType::kDateTime}, {"Note", AccessType::kText}};
    }
    if (name == "Customers") {
      return std::vector<ColumnInfo>{
          {"CustID", AccessType::kLong}, {"Name", AccessType::kText}, {"City", AccessType::kText}};
    }
    return std::nullopt;
  }
  void ReadTable(const std::string& name,
                 const std::function<void(std::vector<Value>&& row)>& row) override {
    if (name == "Orders") {
      for (int i = 0; i < kOrders; ++i) {
        row({i, i % kCustomers, Currency{(i * 7919LL) % 10000000}, i % 13,
             DateTime{40000.0 + i % 3650}, "note " + std::to_string(i)});
      }
    } else {
      for (int i = 0; i < kCustomers; ++i) {
        row({i, "Customer " + std::to_string(i), i % 3 ? "Oslo" : "Bergen"});
      }
    }
  }
};

std::vector<SavedQuery> Queries() {
  auto row = [](int attribute, std::string expression, int flag = 0, std::string name1 = "",
                std::string name2 = "") {
    return QueryDefRow{attribute,        std::move(expression), flag,
                       std::move(name1), std::move(name2),      0};
  };
  SavedQuery join{"OrdersWithCustomers",
                  0,
                  {row(5, "", 0, "Orders", "O"), row(5, "", 0, "Customers", "C"),
                   row(6, "O.OrderID"), row(6, "C.Name"), row(6, "O.Amount"), row(6, "O.Shipped"),
                   row(6, "O.Note & \" for \" & C.City", 0, "Label"),
                   row(7, "O.CustID = C.CustID", 1, "O", "C"),
                   row(8, "O.Qty > 0 And C.City Like \"o*\""), row(11, "O.OrderID")}};
  SavedQuery totals{
      "TotalsByCity",
      0,
      {row(5, "", 0, "Orders", "O"), row(5, "", 0, "Customers", "C"), row(6, "C.City"),
       row(6, "Sum(O.Amount)", 0, "Total"), row(6, "Count(*)", 0, "N"),
       row(7, "O.CustID = C.CustID", 2, "O", "C"), row(9, "C.City")}};
  return {join, totals};
}

// Fresh engine per iteration: loading both tables plus the join.
void BM_LoadAndJoin(benchmark::State& state) {
  GeneratedTables tables;
  std::size_t rows = 0;
  for (auto _ : state) {
    QueryEngine engine(tables, Queries());
    rows = engine.Run("OrdersWithCustomers").rows.size();
    benchmark::DoNotOptimize(rows);
  }
  state.counters["rows"] = static_cast<double>(rows);
  state.counters["source_rows_per_s"] =
      benchmark::Counter(kOrders + kCustomers, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_LoadAndJoin)->Unit(benchmark::kMillisecond);

// Tables already loaded: the join alone.
void BM_JoinLoaded(benchmark::State& state) {
  GeneratedTables tables;
  QueryEngine engine(tables, Queries());
  engine.Run("OrdersWithCustomers");
  for (auto _ : state) benchmark::DoNotOptimize(engine.Run("OrdersWithCustomers").rows.size());
}
BENCHMARK(BM_JoinLoaded)->Unit(benchmark::kMillisecond);

// Tables already loaded: a left join grouped by city with a currency sum.
void BM_TotalsLoaded(benchmark::State& state) {
  GeneratedTables tables;
  QueryEngine engine(tables, Queries());
  engine.Run("TotalsByCity");
  for (auto _ : state) benchmark::DoNotOptimize(engine.Run("TotalsByCity").rows.size());
}
BENCHMARK(BM_TotalsLoaded)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
