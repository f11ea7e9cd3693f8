// The Access reader through the access.h interfaces: reading every cell of a
// 32,767 x 10 table, opening a database, and opening one and evaluating a
// saved join query. The database is generated once (JET4, by the test
// writer) into a temporary file.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "automation/mdb/mdb_access.h"
#include "tests/support/jet4_writer.h"

namespace {

using kestrin::automation::Currency;
using kestrin::automation::DateTime;
using kestrin::automation::Value;
using kestrin::automation::mdb::AccessType;
using kestrin::automation::mdb::MakeMdbAccessServer;
using kestrin::automation::mdb::QueryDefRow;
namespace ts = kestrin::testsupport;

constexpr int kRows = 32767;
constexpr int kColumns = 10;
constexpr int kCustomers = 1000;

std::string DatabasePath() {
  static const std::string path = [] {
    ts::Jet4Database db;
    ts::Jet4Table orders;
    orders.name = "Orders";
    orders.columns = {{"OrderID", AccessType::kLong},     {"CustID", AccessType::kLong},
                      {"Amount", AccessType::kCurrency},  {"Qty", AccessType::kInteger},
                      {"Shipped", AccessType::kDateTime}, {"Note", AccessType::kText, 50},
                      {"Price", AccessType::kDouble},     {"Weight", AccessType::kSingle},
                      {"Paid", AccessType::kBoolean},     {"Code", AccessType::kText, 10, true}};
    for (int i = 0; i < kRows; ++i) {
      orders.rows.push_back({i, i % kCustomers, Currency{(i * 7919LL) % 10000000}, i % 13,
                             DateTime{40000.0 + i % 3650 + 0.25}, "note " + std::to_string(i),
                             i * 0.5, static_cast<double>(i % 100) / 4, i % 2 == 0,
                             i % 7 == 0 ? Value() : Value("C" + std::to_string(i % 977))});
    }
    ts::Jet4Table customers;
    customers.name = "Customers";
    customers.columns = {{"CustID", AccessType::kLong},
                         {"Name", AccessType::kText, 50},
                         {"City", AccessType::kText, 50}};
    for (int i = 0; i < kCustomers; ++i) {
      customers.rows.push_back({i, "Customer " + std::to_string(i), i % 3 ? "Oslo" : "Bergen"});
    }
    db.tables = {orders, customers};
    auto row = [](int attribute, std::string expression, int flag = 0, std::string name1 = "",
                  std::string name2 = "", int order = 0) {
      return QueryDefRow{attribute,        std::move(expression), flag,
                         std::move(name1), std::move(name2),      order};
    };
    db.queries.push_back(
        {"OrdersWithCustomers",
         ts::query_flags::kSelect,
         {row(0, ""), row(5, "", 0, "Orders", "O"), row(5, "", 0, "Customers", "C"),
          row(6, "O.OrderID", 0, "", "", 1), row(6, "C.Name", 0, "", "", 2),
          row(6, "O.Amount", 0, "", "", 3), row(6, "O.Shipped", 0, "", "", 4),
          row(7, "O.CustID = C.CustID", 1, "O", "C"), row(255, "")}});
    const auto file = std::filesystem::temp_directory_path() /
                      ("kestrin_bench_mdb_" + std::to_string(::getpid()) + ".mdb");
    ts::WriteJet4Database(db, file);
    return file.string();
  }();
  return path;
}

// Every FieldValue of the 32,767 x 10 table, as the export engine reads it:
// open, MoveLast for the count, MoveFirst, then every field of every record.
void BM_ReadAllCells(benchmark::State& state) {
  auto server = MakeMdbAccessServer();
  auto app = server->CreateObject();
  app->OpenCurrentDatabase(DatabasePath(), false);
  auto db = app->CurrentDatabase();
  std::int64_t cells = 0;
  for (auto _ : state) {
    auto rs = db->OpenRecordset("Orders");
    rs->MoveLast();
    const int count = rs->RecordCount();
    rs->MoveFirst();
    const int n = rs->Fields().Count();
    for (; !rs->Eof(); rs->MoveNext()) {
      for (int f = 0; f < n; ++f) benchmark::DoNotOptimize(rs->FieldValue(f));
    }
    cells += static_cast<std::int64_t>(count) * n;
  }
  state.counters["cells_per_s"] =
      benchmark::Counter(static_cast<double>(cells), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReadAllCells)->Unit(benchmark::kMillisecond)->UseRealTime();

// Attach-or-start, open the file, read its catalogue and the table list.
void BM_OpenDatabase(benchmark::State& state) {
  const std::string path = DatabasePath();
  for (auto _ : state) {
    auto server = MakeMdbAccessServer();
    auto app = server->CreateObject();
    app->OpenCurrentDatabase(path, false);
    benchmark::DoNotOptimize(app->CurrentDatabase()->TableDefs().Count());
  }
}
BENCHMARK(BM_OpenDatabase)->Unit(benchmark::kMillisecond);

// Open the file and read every cell of a saved join of the two tables.
void BM_OpenAndJoinQuery(benchmark::State& state) {
  const std::string path = DatabasePath();
  std::int64_t rows = 0;
  for (auto _ : state) {
    auto server = MakeMdbAccessServer();
    auto app = server->CreateObject();
    app->OpenCurrentDatabase(path, false);
    auto rs = app->CurrentDatabase()->OpenRecordset("OrdersWithCustomers");
    rs->MoveLast();
    rows = rs->RecordCount();
    rs->MoveFirst();
    for (; !rs->Eof(); rs->MoveNext()) {
      for (int f = 0; f < rs->Fields().Count(); ++f) benchmark::DoNotOptimize(rs->FieldValue(f));
    }
  }
  state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_OpenAndJoinQuery)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::remove(DatabasePath());
  return 0;
}
