// The share of an export run spent painting its progress: the real main
// window on the offscreen platform, a 32,767-record table behind it (engine
// doubles), "実　　　　行" pressed. Every call into the progress display is
// timed; painting_share is that time over the whole run. Once with the
// window's paced repaints, once repainting every record for comparison.
#include <QApplication>

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "app/frm_kestrin.h"
#include "app/window_progress.h"
#include "bench/bench_rows.h"
#include "tests/doubles/fake_servers.h"
#include "tests/doubles/recording_ui.h"

namespace {

using namespace kestrin;
using Clock = std::chrono::steady_clock;

constexpr int kRecords = 32767;

// Forwards to the window's progress controls and adds up the time spent.
class TimedProgress : public ui::ProgressDisplay {
 public:
  explicit TimedProgress(ui::ProgressDisplay& inner) : inner_(inner) {}
  void SetMaxCountCaption(const std::string& c) override {
    Time([&] { inner_.SetMaxCountCaption(c); });
  }
  void SetCountCaption(const std::string& c) override {
    Time([&] { inner_.SetCountCaption(c); });
  }
  void SetGaugeX2(float x2) override {
    Time([&] { inner_.SetGaugeX2(x2); });
  }
  Clock::duration spent{};

 private:
  template <class F>
  void Time(F f) {
    const auto start = Clock::now();
    f();
    spent += Clock::now() - start;
  }
  ui::ProgressDisplay& inner_;
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

void RunWindow(benchmark::State& state, Clock::duration interval) {
  static Source source;
  testing::FakeAccessServer access;
  testing::FakeXlServer excel_server;
  testing::RecordingMessageBox messages;
  app::ModuleState module;
  // The window reports through the timed display, which paints the window's
  // own controls exactly as the window does.
  std::unique_ptr<app::WindowProgress> paced;
  std::unique_ptr<TimedProgress> timed;
  struct Late : ui::ProgressDisplay {
    ui::ProgressDisplay* to = nullptr;
    void SetMaxCountCaption(const std::string& c) override { to->SetMaxCountCaption(c); }
    void SetCountCaption(const std::string& c) override { to->SetCountCaption(c); }
    void SetGaugeX2(float x2) override { to->SetGaugeX2(x2); }
  } late;
  app::FrmKestrin window(module, {access, excel_server, messages, &late, ""});
  paced = std::make_unique<app::WindowProgress>(*window.lblMaxCount, *window.lblCount,
                                                *window.linGuage, interval);
  timed = std::make_unique<TimedProgress>(*paced);
  late.to = timed.get();
  window.Form_Load();
  window.show();
  QApplication::processEvents();

  module.source.AcDb = source.db;
  window.lblAcFile->setText(QString::fromStdString(source.path.string()));
  window.lblXlFile->setText(QStringLiteral("/b.xls"));
  window.cboTables->setEditText(QStringLiteral("T"));
  window.cboSheet->setEditText(QStringLiteral("S"));
  window.optPivot->Select(0);
  window.optGrid->Select(0);
  window.optMidasi->Select(0);

  double share = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto excel = std::make_shared<testing::FakeExcel>();
    excel->set_logging(false);
    excel->AddFile("/b.xls", {"S"});
    excel->OpenForTest("/b.xls");
    module.workbook.XlApp = excel;
    timed->spent = {};
    state.ResumeTiming();
    const auto start = Clock::now();
    window.cmdExec_Click();
    const auto whole = Clock::now() - start;
    state.PauseTiming();
    if (!messages.shown.empty() || excel->cell_writes() == 0) {
      state.SkipWithError(messages.shown.empty() ? "nothing written"
                                                 : messages.shown[0].prompt.c_str());
      break;
    }
    share = std::chrono::duration<double>(timed->spent) / std::chrono::duration<double>(whole);
    module.workbook.XlApp.reset();
    state.ResumeTiming();
  }
  state.counters["painting_share_percent"] = share * 100;
  state.counters["repaints_per_run"] =
      static_cast<double>(paced->painted()) / static_cast<double>(state.iterations());
}

void BM_PaintingShareOfAnExport(benchmark::State& state) {
  RunWindow(state, std::chrono::milliseconds(16));
}

void BM_PaintingShareRepaintingEveryRecord(benchmark::State& state) {
  RunWindow(state, Clock::duration::zero());
}

BENCHMARK(BM_PaintingShareOfAnExport)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PaintingShareRepaintingEveryRecord)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
