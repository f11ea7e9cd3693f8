// Kestrin against the pipeline a user without it would script: mdb-export
// of the table to CSV, then `soffice --headless --convert-to xls`. Both run
// on the same generated Access table (32,767 records x 10 fields of the mix
// in tests/support/mixed_table.h), interleaved round by round so that load from
// other work on the machine falls on both alike, in an order that turns
// from round to round; medians are printed.
//
// Kestrin exports with no heading, ruled lines, AutoFilter, fitted rows and
// columns, into a copy of a small existing .xls, saving and letting go of
// the office (Display 1):
//   cold   the export starts its own office (profile kept from a first run)
//   warm   the office is running already; the export attaches to it
// each with the column fit that measures only the cells that can be widest
// and with the office's own fit of every cell, and warm without lines,
// filter and fitting. The office's time is split by phase through the calls
// the export makes.
//
// KESTRIN_BENCH_ROUNDS sets the number of rounds (default 5); KESTRIN_BENCH_EACH_OPTION
// adds warm runs with each of lines, filter, fitted rows and fitted columns alone.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "automation/failure.h"
#include "automation/mdb/mdb_access.h"
#include "automation/uno/office_profile.h"
#include "automation/uno/uno_excel.h"
#include "export/export_to_sheet.h"
#include "tests/doubles/recording_ui.h"
#include "tests/support/jet4_writer.h"
#include "tests/support/mixed_table.h"
#include "workbook/open_workbook.h"
#include "workbook/workbook_state.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace kestrin;
using automation::Value;
using Clock = std::chrono::steady_clock;

constexpr int kRecords = 32767;
constexpr int kFields = 10;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// --- the office's time by phase -----------------------------------------------

using Phases = std::map<std::string, double>;

class Timed {
 public:
  Timed(Phases& phases, const char* name) : phases_(phases), name_(name), start_(Clock::now()) {}
  Timed(const Timed&) = delete;
  Timed& operator=(const Timed&) = delete;
  ~Timed() { phases_[name_] += Seconds(start_); }

 private:
  Phases& phases_;
  const char* name_;
  Clock::time_point start_;
};

class TimedBorder : public automation::XlBorder {
 public:
  TimedBorder(std::unique_ptr<automation::XlBorder> in, Phases& p) : in_(std::move(in)), p_(p) {}
  void SetLineStyle(int v) override {
    Timed t(p_, "lines");
    in_->SetLineStyle(v);
  }
  void SetWeight(int v) override {
    Timed t(p_, "lines");
    in_->SetWeight(v);
  }
  void SetColorIndex(int v) override {
    Timed t(p_, "lines");
    in_->SetColorIndex(v);
  }

 private:
  std::unique_ptr<automation::XlBorder> in_;
  Phases& p_;
};

// A range, timed under the phase its use belongs to.
class TimedRange : public automation::XlRange {
 public:
  TimedRange(std::unique_ptr<automation::XlRange> in, Phases& p, const char* fit)
      : in_(std::move(in)), p_(p), fit_(fit) {}
  void Clear() override {
    Timed t(p_, "clear");
    in_->Clear();
  }
  void Select() override {
    Timed t(p_, "lines");
    in_->Select();
  }
  void AutoFilter() override {
    Timed t(p_, "filter");
    in_->AutoFilter();
  }
  void AutoFit() override {
    Timed t(p_, fit_);
    in_->AutoFit();
  }
  void SetValue(const Value& v) override {
    Timed t(p_, "cells (client)");
    in_->SetValue(v);
  }
  std::unique_ptr<automation::XlBorder> Borders(int index) override {
    Timed t(p_, "lines");
    return std::make_unique<TimedBorder>(in_->Borders(index), p_);
  }

 private:
  std::unique_ptr<automation::XlRange> in_;
  Phases& p_;
  const char* fit_;
};

class TimedWorkbook : public automation::XlWorkbook {
 public:
  TimedWorkbook(std::unique_ptr<automation::XlWorkbook> in, Phases& p)
      : in_(std::move(in)), p_(p) {}
  std::unique_ptr<automation::XlSheets> Sheets() override {
    Timed t(p_, "open");
    return in_->Sheets();
  }
  void Save() override {
    Timed t(p_, "store");
    in_->Save();
  }
  void Close(bool save) override { in_->Close(save); }

 private:
  std::unique_ptr<automation::XlWorkbook> in_;
  Phases& p_;
};

// The application, timing each call under its phase. Written cells stay in
// the engine until the next request: the first request after them is
// preceded by one that only sends them, timed as "send cells".
class TimedApp : public automation::XlApplication {
 public:
  TimedApp(std::shared_ptr<automation::XlApplication> in, Phases& p) : in_(std::move(in)), p_(p) {}
  void WorkbooksOpen(const std::string& path) override {
    Send();
    Timed t(p_, "open");
    in_->WorkbooksOpen(path);
  }
  std::unique_ptr<automation::XlWorkbook> ActiveWorkbook() override {
    Send();
    Timed t(p_, "open");
    return std::make_unique<TimedWorkbook>(in_->ActiveWorkbook(), p_);
  }
  std::unique_ptr<automation::XlSheet> ActiveSheet() override {
    Send();
    return in_->ActiveSheet();
  }
  void SetDisplayAlerts(bool on) override {
    Send();
    in_->SetDisplayAlerts(on);
  }
  void Quit() override {
    Send();
    Timed t(p_, "quit");
    in_->Quit();
  }
  void SetVisible(bool on) override {
    Send();
    in_->SetVisible(on);
  }
  void Goto(std::string_view reference) override {
    Timed t(p_, "cells (client)");
    pending_ = true;
    in_->Goto(reference);
  }
  std::unique_ptr<automation::XlRange> ActiveCell() override {
    Timed t(p_, "cells (client)");
    return std::make_unique<TimedRange>(in_->ActiveCell(), p_, "other");
  }
  std::unique_ptr<automation::XlRange> Selection() override {
    Send();
    Timed t(p_, "lines");
    return std::make_unique<TimedRange>(in_->Selection(), p_, "other");
  }
  std::unique_ptr<automation::XlRange> Range(std::string_view address) override {
    Send();
    return std::make_unique<TimedRange>(in_->Range(address), p_, "other");
  }
  std::unique_ptr<automation::XlRange> Rows(std::string_view span) override {
    Send();
    return std::make_unique<TimedRange>(in_->Rows(span), p_, "fit rows");
  }
  std::unique_ptr<automation::XlRange> Columns(std::string_view span) override {
    Send();
    return std::make_unique<TimedRange>(in_->Columns(span), p_, "fit columns");
  }

 private:
  void Send() {
    if (!pending_) return;
    pending_ = false;
    Timed t(p_, "send cells");
    in_->ActiveWorkbook();
  }

  std::shared_ptr<automation::XlApplication> in_;
  Phases& p_;
  bool pending_ = false;
};

// --- the source ---------------------------------------------------------------

fs::path MakeSource(const fs::path& dir) {
  testsupport::Jet4Table table;
  table.name = "T";
  using automation::mdb::AccessType;
  table.columns = {
      {"ID", AccessType::kLong},          {"Code", AccessType::kText, 7},
      {"Name", AccessType::kText, 50},    {"Qty", AccessType::kInteger},
      {"Price", AccessType::kCurrency},   {"Ratio", AccessType::kDouble},
      {"Updated", AccessType::kDateTime}, {"Active", AccessType::kBoolean},
      {"Region", AccessType::kText, 10},  {"Note", AccessType::kText, 255},
  };
  for (int r = 0; r < kRecords; ++r) table.rows.push_back(testsupport::MixedRow(r));
  testsupport::Jet4Database file;
  file.tables.push_back(std::move(table));
  fs::path path = dir / "source.mdb";
  testsupport::WriteJet4Database(file, path);
  return path;
}

// --- the pipeline -------------------------------------------------------------

// Runs a program with an argument list (no shell); standard output goes to
// `out` (or nowhere), standard error nowhere. Throws when it fails.
void RunProgram(const std::vector<std::string>& args, const fs::path& out) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.empty() ? "/dev/null" : out.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("cannot start " + args[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw std::runtime_error(args[0] + " failed");
  }
}

void Pipeline(const fs::path& source, const fs::path& dir, Phases& phases) {
  const fs::path csv = dir / "T.csv";
  const fs::path xls = dir / "T.xls";
  fs::remove(xls);
  {
    Timed t(phases, "mdb-export");
    RunProgram({"mdb-export", source.string(), "T"}, csv);
  }
  {
    Timed t(phases, "soffice --convert-to xls");
    RunProgram({"soffice", "-env:UserInstallation=file://" + (dir / "profile-pipeline").string(),
                "--headless", "--norestore", "--nologo", "--convert-to", "xls", "--outdir",
                dir.string(), csv.string()},
               {});
  }
  if (!fs::exists(xls)) throw std::runtime_error("the pipeline wrote no .xls");
}

// --- Kestrin --------------------------------------------------------------------

// Which of the formatting options a run sets.
enum Formatting : unsigned { kLines = 1, kFilter = 2, kFitRows = 4, kFitColumns = 8, kAll = 15 };

struct Variant {
  const char* name;
  bool cold;
  bool fast_fit;
  unsigned formatting;
};

// Cold runs start offices of their own (own pipe, own profile) while the
// warm runs' office keeps running.
automation::uno::UnoOptions Options(const fs::path& dir, bool fast_fit, bool cold) {
  const std::string kind = cold ? "cold" : "warm";
  automation::uno::UnoOptions o;
  o.pipe_name = "kestrin_bench_" + kind + "_" + std::to_string(getpid());
  o.profile_dir = (dir / ("profile-" + kind)).string();
  o.backup_dir = (dir / "backups").string();
  o.force_headless = true;
  o.fast_column_fit = fast_fit;
  o.start_timeout = std::chrono::minutes(5);  // a fresh profile on a busy machine
  return o;
}

void Kestrin(const Variant& v, automation::DaoDatabase& db, const fs::path& source,
             const fs::path& dir, Phases& phases) {
  static int n = 0;
  const fs::path book = dir / ("book-" + std::to_string(n++) + ".xls");
  fs::copy_file(KESTRIN_BENCH_WORKBOOK, book);
  fs::permissions(book, fs::perms::owner_read | fs::perms::owner_write);
  auto server = automation::uno::MakeUnoXlServer(Options(dir, v.fast_fit, v.cold));
  // As the program does: attach to an office on its pipe, else start one.
  workbook::WorkbookState state;
  {
    Timed t(phases, v.cold ? "start" : "attach");
    workbook::AttachOrStartExcel(state, *server);
  }
  if (!state.XlApp) throw std::runtime_error("no office to export into");
  if ((state.XlNewF == 1) != v.cold) throw std::runtime_error("the office was not as expected");
  std::shared_ptr<automation::XlApplication> inner = state.XlApp;
  std::shared_ptr<automation::XlApplication> xl = std::make_shared<TimedApp>(inner, phases);
  xl->WorkbooksOpen(book.string());
  testing::RecordingMessageBox box;
  testing::RecordingProgress progress;
  exporting::ExportTargets targets{&db, xl, box, progress};
  std::int16_t row = 1, col = 1, step = 1, midasi = 0, display = 1;
  auto on = [&](unsigned option) -> std::int16_t { return (v.formatting & option) != 0 ? 1 : 0; };
  std::int16_t line = on(kLines), filter = on(kFilter), fit_row = on(kFitRows),
               fit_col = on(kFitColumns);
  std::int32_t out = 0, cls = 0;
  {
    Timed t(phases, "export (engine)");
    exporting::ExportToSheet(targets, "T", source.string(), "Sheet1", row, col, step, out, cls,
                             midasi, display, line, filter, fit_row, fit_col, "0", "0", "0", "0",
                             "0", "0");
  }
  if (!box.shown.empty()) throw std::runtime_error("the export failed: " + box.shown[0].prompt);
  fs::remove(book);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  if (v.empty()) return 0;
  return v.size() % 2 == 1 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

std::string LoadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string a, b, c;
  in >> a >> b >> c;
  return a + " " + b + " " + c;
}

int Main() {
  const int rounds = std::max(1, std::getenv("KESTRIN_BENCH_ROUNDS") != nullptr
                                     ? std::atoi(std::getenv("KESTRIN_BENCH_ROUNDS"))
                                     : 5);
  std::string pattern = (fs::temp_directory_path() / "kestrin-bench-pipeline-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  const fs::path dir = pattern;
  struct Cleanup {
    fs::path dir;
    ~Cleanup() {
      std::error_code ec;
      fs::remove_all(dir, ec);
    }
  } cleanup{dir};

  std::printf("%d records x %d fields; %ld processors; load average %s\n", kRecords, kFields,
              sysconf(_SC_NPROCESSORS_ONLN), LoadAverage().c_str());
  const fs::path source = MakeSource(dir);
  auto access = automation::mdb::MakeMdbAccessServer()->CreateObject();
  access->OpenCurrentDatabase(source.string(), false);
  auto db = access->CurrentDatabase();

  std::vector<Variant> variants = {
      {"Kestrin cold", true, true, kAll},
      {"Kestrin cold, every cell measured", true, false, kAll},
      {"Kestrin warm", false, true, kAll},
      {"Kestrin warm, every cell measured", false, false, kAll},
      {"Kestrin warm, no lines/filter/fit", false, true, 0},
  };
  if (std::getenv("KESTRIN_BENCH_EACH_OPTION") != nullptr) {
    variants.push_back({"Kestrin warm, lines only", false, true, kLines});
    variants.push_back({"Kestrin warm, filter only", false, true, kFilter});
    variants.push_back({"Kestrin warm, fit rows only", false, true, kFitRows});
    variants.push_back({"Kestrin warm, fit columns only", false, true, kFitColumns});
  }
  // The pipeline's office runs on a profile of its own that has run this
  // office before, as a user's profile has: one that has only ever served
  // headless conversions is never marked so by the office, which then runs
  // its graphics self-test at every start (4-5 s on the 2-core machine).
  automation::uno::PrepareOfficeProfile(dir / "profile-pipeline", false,
                                        automation::uno::OfficeVersion(KESTRIN_OFFICE_PROGRAM_DIR));
  // First runs make the profiles; they are not counted.
  Phases ignored;
  Pipeline(source, dir, ignored);
  Kestrin(variants[0], *db, source, dir, ignored);

  // The office the warm runs attach to.
  auto owner = automation::uno::MakeUnoXlServer(Options(dir, true, false))->CreateObject();

  std::map<std::string, std::vector<double>> wall;
  std::map<std::string, std::map<std::string, std::vector<double>>> phases;
  // Each round starts one run further along the list, so that no run always
  // follows the same one: a warm office that sat idle while others ran, or
  // an office still ending, slows whatever comes next.
  const int runs = static_cast<int>(variants.size()) + 1;  // the pipeline first
  for (int round = 0; round < rounds; ++round) {
    for (int k = 0; k < runs; ++k) {
      const int which = (k + round) % runs;
      Phases p;
      auto start = Clock::now();
      if (which == 0) {
        Pipeline(source, dir, p);
      } else {
        Kestrin(variants[static_cast<std::size_t>(which - 1)], *db, source, dir, p);
      }
      const std::string name =
          which == 0 ? "pipeline" : variants[static_cast<std::size_t>(which - 1)].name;
      wall[name].push_back(Seconds(start));
      for (auto& [phase, seconds] : p) phases[name][phase].push_back(seconds);
    }
    std::fprintf(stderr, "round %d of %d done\n", round + 1, rounds);
  }
  owner->Quit();

  const double pipeline = Median(wall["pipeline"]);
  std::printf("\nwall time, median of %d interleaved rounds (min-max)\n", rounds);
  std::printf("%-38s %8s %15s %9s\n", "", "median", "range", "/pipeline");
  auto line = [&](const std::string& name) {
    auto& v = wall[name];
    std::printf("%-38s %7.2fs %6.2f-%6.2fs %8.2fx\n", name.c_str(), Median(v),
                *std::min_element(v.begin(), v.end()), *std::max_element(v.begin(), v.end()),
                Median(v) / pipeline);
  };
  line("pipeline");
  for (const Variant& v : variants) line(v.name);
  std::vector<double> added;
  for (int r = 0; r < rounds; ++r) {
    added.push_back(wall["Kestrin warm"][r] - wall["Kestrin warm, no lines/filter/fit"][r]);
  }
  std::printf("lines + filter + fitting add (warm, median of per-round differences): %.2fs\n",
              Median(added));

  std::printf("\nby phase, median seconds\n");
  for (const auto& [name, by_phase] : phases) {
    std::printf("%s\n", name.c_str());
    for (const auto& [phase, values] : by_phase) {
      std::printf("  %-28s %7.3f\n", phase.c_str(), Median(values));
    }
  }
  std::printf("\nload average at the end %s\n", LoadAverage().c_str());
  return 0;
}

}  // namespace

int main() {
  try {
    return Main();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_pipeline: %s\n", e.what());
    return 1;
  }
}
