// ExportToSheet over 32,767 records x 10 fields against in-memory engines,
// so that the figure is the engine's own cost per cell: once against the
// recording spreadsheet double (logging off), once against sinks that do
// nothing at all.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>

#include "app/export_run.h"
#include "bench/bench_rows.h"
#include "tests/doubles/fake_access.h"
#include "tests/doubles/fake_excel.h"

namespace {

using namespace kestrin;
using automation::Value;

constexpr int kRecords = 32767;
constexpr int kFields = bench::kBenchFields;

class NullBox : public ui::MessageBox {
 public:
  void Show(const std::string& prompt, const std::string&) override {
    throw std::runtime_error("unexpected message: " + prompt);
  }
};

class NullProgress : public ui::ProgressDisplay {
 public:
  void SetMaxCountCaption(const std::string&) override {}
  void SetCountCaption(const std::string& c) override { benchmark::DoNotOptimize(c.data()); }
  void SetGaugeX2(float x) override { benchmark::DoNotOptimize(x); }
};

// A spreadsheet that accepts every call and keeps nothing.
class SinkExcel : public automation::XlApplication {
  class Sink : public automation::XlRange,
               public automation::XlBorder,
               public automation::XlSheet,
               public automation::XlSheets,
               public automation::XlWorkbook {
   public:
    void Clear() override {}
    void Select() override {}
    void AutoFilter() override {}
    void AutoFit() override {}
    void SetValue(const Value& v) override { benchmark::DoNotOptimize(&v); }
    std::unique_ptr<automation::XlBorder> Borders(int) override { return std::make_unique<Sink>(); }
    void SetLineStyle(int) override {}
    void SetWeight(int) override {}
    void SetColorIndex(int) override {}
    std::string Name() const override { return "S"; }
    std::int32_t RowsCount() override { return 1048576; }
    std::int32_t ColumnsCount() override { return 16384; }
    void Activate() override {}
    void PivotTableWizard(int, const std::string&, const std::string&,
                          const std::string&) override {}
    std::unique_ptr<automation::XlPivotTable> PivotTables(const std::string&) override {
      return nullptr;
    }
    int Count() const override { return 1; }
    std::unique_ptr<automation::XlSheet> Item(int) override { return std::make_unique<Sink>(); }
    std::unique_ptr<automation::XlSheet> Item(std::string_view) override {
      return std::make_unique<Sink>();
    }
    std::unique_ptr<automation::XlSheets> Sheets() override { return std::make_unique<Sink>(); }
    void Save() override {}
    void Close(bool) override {}
  };

 public:
  void WorkbooksOpen(const std::string&) override {}
  std::unique_ptr<automation::XlWorkbook> ActiveWorkbook() override {
    return std::make_unique<Sink>();
  }
  std::unique_ptr<automation::XlSheet> ActiveSheet() override { return std::make_unique<Sink>(); }
  void SetDisplayAlerts(bool) override {}
  void Quit() override {}
  void SetVisible(bool) override {}
  void Goto(std::string_view ref) override { benchmark::DoNotOptimize(ref.data()); }
  std::unique_ptr<automation::XlRange> ActiveCell() override { return std::make_unique<Sink>(); }
  std::unique_ptr<automation::XlRange> Selection() override { return std::make_unique<Sink>(); }
  std::unique_ptr<automation::XlRange> Range(std::string_view) override {
    return std::make_unique<Sink>();
  }
  std::unique_ptr<automation::XlRange> Rows(std::string_view) override {
    return std::make_unique<Sink>();
  }
  std::unique_ptr<automation::XlRange> Columns(std::string_view) override {
    return std::make_unique<Sink>();
  }
};

struct Source {
  Source() {
    path = std::filesystem::temp_directory_path() / "kestrin-bench-source.mdb";
    std::ofstream(path) << "x";
    std::vector<std::string> names;
    for (int f = 0; f < kFields; ++f) names.push_back("F" + std::to_string(f));
    std::vector<std::vector<Value>> rows;
    rows.reserve(kRecords);
    for (int r = 0; r < kRecords; ++r) rows.push_back(bench::BenchRow(r));
    db.AddTable("T", names, std::move(rows));
  }
  ~Source() { std::filesystem::remove(path); }
  std::filesystem::path path;
  testing::FakeDatabase db;
};

void RunExport(benchmark::State& state, std::shared_ptr<automation::XlApplication> xl,
               Source& source) {
  NullBox box;
  NullProgress progress;
  exporting::ExportTargets targets{&source.db, xl, box, progress};
  exporting::ExportSettings s;
  s.TblName = "T";
  s.FileMoto = source.path.string();
  s.ShtName = "S";
  s.StartRow = s.StartCol = s.KaiGyo = 1;
  s.Line = s.Filter = s.FitRow = s.FitCol = 1;
  app::CallExportToSheet(targets, s, true, false);
  state.counters["cells_per_second"] = benchmark::Counter(
      static_cast<double>(kRecords) * kFields, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_ExportAgainstSinks(benchmark::State& state) {
  static Source source;
  auto xl = std::make_shared<SinkExcel>();
  for (auto _ : state) RunExport(state, xl, source);
}

void BM_ExportAgainstRecordingDouble(benchmark::State& state) {
  static Source source;
  for (auto _ : state) {
    state.PauseTiming();
    auto excel = std::make_shared<testing::FakeExcel>();
    excel->set_logging(false);
    excel->AddFile("/b.xls", {"S"});
    excel->OpenForTest("/b.xls");
    state.ResumeTiming();
    RunExport(state, excel, source);
    state.PauseTiming();
    if (excel->cell_writes() != static_cast<std::int64_t>(kRecords) * kFields) {
      state.SkipWithError("not every cell was written");
    }
    excel.reset();
    state.ResumeTiming();
  }
}

BENCHMARK(BM_ExportAgainstSinks)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ExportAgainstRecordingDouble)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
