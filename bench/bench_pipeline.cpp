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
#include "bench/bench_support.h"
#include "bench/timed_excel.h"
#include "export/export_to_sheet.h"
#include "tests/doubles/recording_ui.h"
#include "tests/support/jet4_writer.h"
#include "tests/support/mixed_table.h"
#include "workbook/open_workbook.h"
#include "workbook/workbook_state.h"

namespace {

namespace fs = std::filesystem;
using namespace kestrin;
using automation::Value;
using bench::Clock;
using bench::LoadAverage;
using bench::Median;
using bench::Phases;
using bench::RunProgram;
using bench::Seconds;
using bench::Timed;
using bench::TimedApp;

constexpr int kRecords = 32767;
constexpr int kFields = 10;

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

int Main() {
  const int rounds = bench::Rounds(5);
  const bench::WorkDir work("pipeline");
  const fs::path& dir = work.path();

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
