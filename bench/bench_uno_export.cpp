// ExportToSheet end to end: a generated Access database of 32,767 records x
// 10 fields (numbers, texts, doubles, dates) read through the Access reader,
// written into a real .xls through the office over UNO: write every cell through Goto/ActiveCell,
// rule lines, AutoFilter, fit rows and columns, save and quit. Measured with the office already
// running (attached), with the office started for each run, and with cells
// sent one by one (a smaller source, figures per cell).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "automation/failure.h"
#include "automation/mdb/mdb_access.h"
#include "automation/uno/uno_excel.h"
#include "bench/bench_rows.h"
#include "export/export_to_sheet.h"
#include "tests/doubles/recording_ui.h"
#include "tests/support/jet4_writer.h"

namespace {

namespace fs = std::filesystem;
using namespace kestrin;
using automation::Value;
using automation::uno::UnoOptions;

constexpr int kFields = bench::kBenchFields;

fs::path WorkDir() {
  static const fs::path dir = [] {
    std::string pattern = (fs::temp_directory_path() / "kestrin-bench-uno-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    return fs::path(pattern);
  }();
  return dir;
}

// A generated Access database with one table T of `records` x 10 fields,
// read through the Access reader, as a real export reads it.
struct Source {
  explicit Source(int records) : records(records) {
    path = WorkDir() / ("source-" + std::to_string(records) + ".mdb");
    testsupport::Jet4Table table;
    table.name = "T";
    for (int f = 0; f < kFields; ++f) {
      static constexpr automation::mdb::AccessType kTypes[] = {
          automation::mdb::AccessType::kLong, automation::mdb::AccessType::kText,
          automation::mdb::AccessType::kDouble, automation::mdb::AccessType::kDateTime};
      std::string name = "F";  // appended: GCC 12 warns wrongly on "F" + std::string at -O3
      name += std::to_string(f);
      table.columns.push_back({name, kTypes[f % 4], 50});
    }
    for (int r = 0; r < records; ++r) table.rows.push_back(bench::BenchRow(r));
    testsupport::Jet4Database file;
    file.tables.push_back(std::move(table));
    testsupport::WriteJet4Database(file, path);
    access = automation::mdb::MakeMdbAccessServer()->CreateObject();
    access->OpenCurrentDatabase(path.string(), false);
    db = access->CurrentDatabase();
  }
  int records;
  fs::path path;
  std::shared_ptr<automation::AccessApplication> access;
  std::shared_ptr<automation::DaoDatabase> db;
};

UnoOptions Options(const std::string& tag, bool batch) {
  UnoOptions o;
  o.pipe_name = "kestrin_bench_" + tag + "_" + std::to_string(getpid());
  o.profile_dir = (WorkDir() / ("profile-" + tag)).string();
  o.backup_dir = (WorkDir() / "backups").string();
  o.batch_cells = batch;
  o.force_headless = true;
  return o;
}

fs::path FreshWorkbook() {
  static int n = 0;
  fs::path to = WorkDir() / ("book-" + std::to_string(n++) + ".xls");
  fs::copy_file(KESTRIN_BENCH_WORKBOOK, to);
  fs::permissions(to, fs::perms::owner_read | fs::perms::owner_write);
  return to;
}

// Opens the workbook and runs one export that saves and quits. Returns an
// empty text on success, else what the engine reported.
std::string Export(std::shared_ptr<automation::XlApplication> xl, Source& source,
                   const fs::path& book) {
  testing::RecordingMessageBox box;
  testing::RecordingProgress progress;
  try {
    xl->WorkbooksOpen(book.string());
  } catch (const automation::AutomationError& e) {
    return e.description();
  }
  exporting::ExportTargets targets{source.db.get(), xl, box, progress};
  std::int16_t row = 1, col = 1, step = 1, midasi = 0, display = 1, line = 1, filter = 1,
               fit_row = 1, fit_col = 1;
  std::int32_t out = 0, cls = 0;
  exporting::ExportToSheet(targets, "T", source.path.string(), "Sheet1", row, col, step, out, cls,
                           midasi, display, line, filter, fit_row, fit_col, "0", "0", "0", "0", "0",
                           "0");
  return box.shown.empty() ? std::string() : box.shown.front().prompt;
}

void Report(benchmark::State& state, int records) {
  state.counters["cells"] = static_cast<double>(records) * kFields;
  state.counters["cells_per_second"] = benchmark::Counter(
      static_cast<double>(records) * kFields, benchmark::Counter::kIsIterationInvariantRate);
}

// The office is running already; each run attaches, exports, saves and lets go.
void BM_ExportAttached(benchmark::State& state, bool batch, int records) {
  Source source(records);
  std::string tag = batch ? "attached" : "onebyone";
  auto owner_server = automation::uno::MakeUnoXlServer(Options(tag, batch));
  auto owner = owner_server->CreateObject();
  auto server = automation::uno::MakeUnoXlServer(Options(tag, batch));
  for (auto _ : state) {
    state.PauseTiming();
    fs::path book = FreshWorkbook();
    auto xl = server->GetObject();
    state.ResumeTiming();
    std::string error = Export(xl, source, book);
    if (!error.empty()) {
      state.SkipWithError(error.c_str());
      break;
    }
  }
  owner->Quit();
  Report(state, records);
}

// Each run starts the office (its profile kept from the previous run), exports,
// saves and quits, which ends the office.
void BM_ExportWithStartUp(benchmark::State& state) {
  Source source(32767);
  auto server = automation::uno::MakeUnoXlServer(Options("startup", true));
  for (auto _ : state) {
    state.PauseTiming();
    fs::path book = FreshWorkbook();
    state.ResumeTiming();
    auto xl = server->CreateObject();
    std::string error = Export(xl, source, book);
    if (!error.empty()) {
      state.SkipWithError(error.c_str());
      break;
    }
  }
  Report(state, 32767);
}

BENCHMARK_CAPTURE(BM_ExportAttached, blocks_32767x10, true, 32767)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();
BENCHMARK(BM_ExportWithStartUp)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK_CAPTURE(BM_ExportAttached, blocks_500x10, true, 500)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_ExportAttached, one_by_one_500x10, false, 500)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ec;
  fs::remove_all(WorkDir(), ec);
  return 0;
}
