// The share of an export run spent painting its progress: the real main
// window on the offscreen platform, a 32,767-record table behind it (engine
// doubles), "実　　　　行" pressed.
//   painting_share_percent: time inside the repaints over the whole run.
//   display_share_percent: the whole cost of the progress display, painting
//     and bookkeeping: the run against a display that does nothing, compared
//     in CPU time of this thread (fastest of several runs each); noisy on a
//     busy machine.
// Once with the window's paced repaints, once repainting every record for
// comparison.
#include <QApplication>

#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>

#include "app/frm_kestrin.h"
#include "app/window_progress.h"
#include "bench/bench_rows.h"
#include "tests/doubles/fake_servers.h"
#include "tests/doubles/recording_ui.h"
#include "tests/support/controls.h"

namespace {

using namespace kestrin;
using namespace kestrin::testing;

constexpr int kRecords = 32767;

double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Forwards to whichever display the run is measured with.
class Switch : public ui::ProgressDisplay {
 public:
  void SetMaxCountCaption(const std::string& c) override { to->SetMaxCountCaption(c); }
  void SetCountCaption(const std::string& c) override { to->SetCountCaption(c); }
  void SetGaugeX2(float x2) override { to->SetGaugeX2(x2); }
  ui::ProgressDisplay* to = nullptr;
};

class NoProgress : public ui::ProgressDisplay {
 public:
  void SetMaxCountCaption(const std::string&) override {}
  void SetCountCaption(const std::string& c) override { benchmark::DoNotOptimize(c.data()); }
  void SetGaugeX2(float x2) override { benchmark::DoNotOptimize(x2); }
};

struct Source {
  Source() {
    path = std::filesystem::temp_directory_path() /
           ("kestrin-bench-painting-" + std::to_string(getpid()) + ".mdb");
    std::ofstream(path) << "x";
    std::vector<std::string> names;
    for (int f = 0; f < bench::kBenchFields; ++f) names.push_back("F" + std::to_string(f));
    std::vector<std::vector<automation::Value>> rows;
    rows.reserve(kRecords);
    for (int r = 0; r < kRecords; ++r) rows.push_back(bench::BenchRow(r));
    db->AddTable("T", names, std::move(rows));
  }
  ~Source() { std::filesystem::remove(path); }
  std::filesystem::path path;
  std::shared_ptr<testing::FakeDatabase> db = std::make_shared<testing::FakeDatabase>();
};

void RunWindow(benchmark::State& state, std::chrono::nanoseconds interval) {
  static Source source;
  testing::FakeAccessServer access;
  testing::FakeXlServer excel_server;
  testing::RecordingMessageBox messages;
  app::ModuleState module;
  Switch progress;
  app::FrmKestrin window(module, {access, excel_server, messages, &progress, ""});
  app::WindowProgress paced(*Label(window, "lblMaxCount"), *Label(window, "lblCount"),
                            *Gauge(window), interval);
  NoProgress none;
  window.Form_Load();
  window.show();
  QApplication::processEvents();

  module.source.AcDb = source.db;
  Label(window, "lblAcFile")->setText(QString::fromStdString(source.path.string()));
  Label(window, "lblXlFile")->setText(QStringLiteral("/b.xls"));
  Combo(window, "cboTables")->setEditText(QStringLiteral("T"));
  Combo(window, "cboSheet")->setEditText(QStringLiteral("S"));
  Opt(window, "optPivot")->Select(0);
  Opt(window, "optGrid")->Select(0);
  Opt(window, "optMidasi")->Select(0);

  // One press of the run button; its CPU time in seconds, or < 0 on failure.
  std::chrono::steady_clock::duration wall{};
  auto press = [&](ui::ProgressDisplay& display) {
    auto excel = std::make_shared<testing::FakeExcel>();
    excel->set_logging(false);
    excel->AddFile("/b.xls", {"S"});
    excel->OpenForTest("/b.xls");
    module.workbook.XlApp = excel;
    progress.to = &display;
    const double start = CpuSeconds();
    const auto wall_start = std::chrono::steady_clock::now();
    window.cmdExec_Click();
    const double spent = CpuSeconds() - start;
    wall = std::chrono::steady_clock::now() - wall_start;
    const bool written = messages.shown.empty() && excel->cell_writes() > 0;
    module.workbook.XlApp.reset();
    return written ? spent : -1.0;
  };

  double with_window = 1e9, without = 1e9;
  const long painted_before = paced.painted();
  std::chrono::steady_clock::duration painting{}, whole{};
  for (auto _ : state) {
    const auto painting_before = paced.painting_time();
    const double a = press(paced);
    painting += paced.painting_time() - painting_before;
    whole += wall;
    state.PauseTiming();
    const double b = press(none);
    state.ResumeTiming();
    if (a < 0 || b < 0) {
      state.SkipWithError(messages.shown.empty() ? "nothing written"
                                                 : messages.shown[0].prompt.c_str());
      return;
    }
    with_window = std::min(with_window, a);
    without = std::min(without, b);
  }
  state.counters["painting_share_percent"] =
      std::chrono::duration<double>(painting) / std::chrono::duration<double>(whole) * 100;
  state.counters["display_share_percent"] = (with_window - without) / with_window * 100;
  state.counters["run_cpu_ms"] = with_window * 1000;
  state.counters["repaints_per_run"] = static_cast<double>(paced.painted() - painted_before) /
                                       static_cast<double>(state.iterations());
}

void BM_PaintingShareOfAnExport(benchmark::State& state) {
  RunWindow(state, std::chrono::milliseconds(16));
}

void BM_PaintingShareRepaintingEveryRecord(benchmark::State& state) {
  RunWindow(state, std::chrono::nanoseconds::zero());
}

BENCHMARK(BM_PaintingShareOfAnExport)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_PaintingShareRepaintingEveryRecord)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
