// The export as tables grow: 32,767 and 100,000 records x 10 fields of a
// generated Access table (numbers, dates, currency, Yes/No, short Japanese
// and long texts, nulls) read through the Access reader and written under a
// heading into a copy of an Excel-made .xlsx with ruled lines, AutoFilter,
// fitted rows and columns, then saved (Display 1).
//
// Each export runs in a child process of its own, attached to one office
// that runs throughout, so that its peak memory is that export's alone. The
// sizes alternate round by round (KESTRIN_BENCH_ROUNDS, default 3) so that
// load from other work falls on all alike; medians are printed: wall time,
// time per record, the time by phase and the peak resident memory of the
// exporting process.
// KESTRIN_BENCH_SIZES ("32767,100000,300000") sets other numbers of records.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "automation/mdb/mdb_access.h"
#include "automation/uno/uno_excel.h"
#include "bench/bench_support.h"
#include "bench/timed_excel.h"
#include "export/export_to_sheet.h"
#include "tests/doubles/recording_ui.h"
#include "tests/support/jet4_writer.h"

namespace {

namespace fs = std::filesystem;
using namespace kestrin;
using automation::Value;
using automation::mdb::AccessType;
using bench::Clock;
using bench::LoadAverage;
using bench::Median;
using bench::Phases;
using bench::Seconds;

constexpr const char* kSheet = "Sheet3";

// --- the source ---------------------------------------------------------------

const char* const kNames[] = {"佐藤", "鈴木", "高橋", "田中", "伊藤", "渡辺", "山本", "中村"};

std::vector<Value> Record(int r) {
  std::vector<Value> row;
  row.emplace_back(r + 1);                                                   // ID
  row.emplace_back(std::string(kNames[r % 8]) + " " + kNames[(r / 8) % 8]);  // 氏名
  row.emplace_back(automation::DateTime{43466.0 + (r * 7) % 2500});          // 日付
  row.emplace_back(automation::Currency{static_cast<std::int64_t>(r) * 98765 % 500000000});
  row.emplace_back(r % 11 == 0 ? Value() : Value((r % 997) * 0.125));  // 率, some null
  row.emplace_back(r % 3 == 0);                                        // 済
  row.emplace_back("A-" + std::to_string(100000 + r % 90000));         // コード
  // 備考: mostly empty, else a sentence or a long note.
  if (r % 5 == 0) {
    row.emplace_back(std::string(20 + r % 180, 'x') + " 備考");
  } else if (r % 5 == 1) {
    row.emplace_back("確認済み");
  } else {
    row.emplace_back(Value());
  }
  row.emplace_back(r % 4 == 0 ? Value() : Value(r % 32000));           // 数量
  row.emplace_back(automation::DateTime{45000.0 + r / 86400.0 * 37});  // 更新
  return row;
}

fs::path MakeSource(const fs::path& dir, int records) {
  testsupport::Jet4Table table;
  table.name = "T";
  table.columns = {{"ID", AccessType::kLong},         {"氏名", AccessType::kText, 40},
                   {"日付", AccessType::kDateTime},   {"金額", AccessType::kCurrency},
                   {"率", AccessType::kDouble},       {"済", AccessType::kBoolean},
                   {"コード", AccessType::kText, 10}, {"備考", AccessType::kMemo},
                   {"数量", AccessType::kInteger},    {"更新", AccessType::kDateTime}};
  table.rows.reserve(static_cast<std::size_t>(records));
  for (int r = 0; r < records; ++r) table.rows.push_back(Record(r));
  testsupport::Jet4Database file;
  file.tables.push_back(std::move(table));
  const fs::path path = dir / "source.mdb";
  testsupport::WriteJet4Database(file, path);
  return path;
}

automation::uno::UnoOptions Options(const fs::path& dir) {
  automation::uno::UnoOptions o;
  o.pipe_name = "kestrin_bench_size_" + std::to_string(getpid());
  o.profile_dir = (dir / "profile").string();
  o.backup_dir = (dir / "backups").string();
  o.force_headless = true;
  o.start_timeout = std::chrono::minutes(5);
  o.call_timeout = std::chrono::minutes(10);
  return o;
}

// "VmHWM" (peak) or "VmRSS" of a process's status, in MiB.
double StatusMiB(const std::string& pid, const char* key) {
  std::ifstream in("/proc/" + pid + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(key, 0) == 0) return std::atof(line.c_str() + std::strlen(key) + 1) / 1024.0;
  }
  return 0;
}

// --- one export, in the child -----------------------------------------------

// Prints "phase seconds" lines, then "peak MiB".
int Child(int records, const fs::path& dir, const std::string& pipe) {
  auto access = automation::mdb::MakeMdbAccessServer()->CreateObject();
  const fs::path source = dir / "source.mdb";
  access->OpenCurrentDatabase(source.string(), false);
  auto db = access->CurrentDatabase();
  const fs::path book = dir / ("book-" + std::to_string(getpid()) + ".xlsx");
  fs::copy_file(KESTRIN_BENCH_XLSX, book);
  fs::permissions(book, fs::perms::owner_read | fs::perms::owner_write);

  automation::uno::UnoOptions options = Options(dir);
  options.pipe_name = pipe;
  Phases phases;
  std::shared_ptr<automation::XlApplication> inner;
  {
    bench::Timed t(phases, "attach");
    inner = automation::uno::MakeUnoXlServer(options)->GetObject();
  }
  std::shared_ptr<automation::XlApplication> xl = std::make_shared<bench::TimedApp>(inner, phases);
  xl->WorkbooksOpen(book.string());
  testing::RecordingMessageBox box;
  testing::RecordingProgress progress;
  exporting::ExportTargets targets{db.get(), xl, box, progress};
  std::int16_t row = 1, col = 1, step = 1, midasi = 1, display = 1, line = 1, filter = 1,
               fit_row = 1, fit_col = 1;
  std::int32_t out = records, cls = 0;
  const auto start = Clock::now();
  exporting::ExportToSheet(targets, "T", source.string(), kSheet, row, col, step, out, cls, midasi,
                           display, line, filter, fit_row, fit_col, "0", "0", "0", "0", "0", "0");
  phases["export (engine)"] = Seconds(start);
  if (!box.shown.empty()) throw std::runtime_error("the export failed: " + box.shown[0].prompt);
  if (progress.count != std::to_string(records)) throw std::runtime_error("records missing");
  fs::remove(book);
  for (const auto& [phase, seconds] : phases) std::printf("%s\t%.6f\n", phase.c_str(), seconds);
  std::printf("peak\t%.1f\n", StatusMiB("self", "VmHWM:"));
  return 0;
}

// --- the rounds, in the parent -------------------------------------------------

std::vector<int> Sizes() {
  std::vector<int> sizes;
  std::istringstream list(std::getenv("KESTRIN_BENCH_SIZES") != nullptr
                              ? std::getenv("KESTRIN_BENCH_SIZES")
                              : "32767,100000");
  for (std::string n; std::getline(list, n, ',');) {
    if (std::atoi(n.c_str()) > 0) sizes.push_back(std::atoi(n.c_str()));
  }
  if (sizes.empty()) throw std::runtime_error("KESTRIN_BENCH_SIZES names no size");
  return sizes;
}

int Parent() {
  const std::vector<int> kSizes = Sizes();
  const int rounds = bench::Rounds(3);
  const bench::WorkDir work("size");
  const fs::path& dir = work.path();

  std::printf("records x 10 fields into an .xlsx; %ld processors; load average %s\n",
              sysconf(_SC_NPROCESSORS_ONLN), LoadAverage().c_str());
  const auto made = Clock::now();
  const int largest = *std::max_element(kSizes.begin(), kSizes.end());
  MakeSource(dir, largest);
  std::printf("source of %d records written in %.1f s\n", largest, Seconds(made));
  const automation::uno::UnoOptions options = Options(dir);
  auto office = automation::uno::MakeUnoXlServer(options)->CreateObject();

  struct Run {
    std::map<std::string, std::vector<double>> phases;
    std::vector<double> peak;
  };
  std::map<int, Run> runs;
  auto once = [&](int records) {
    bench::RunProgram(
        {"/proc/self/exe", "--child", std::to_string(records), dir.string(), options.pipe_name},
        dir / "child.txt", true);
    std::ifstream child(dir / "child.txt");
    const std::string out((std::istreambuf_iterator<char>(child)), {});
    Run& run = runs[records];
    std::istringstream lines(out);
    std::string phase;
    double value = 0;
    while (std::getline(lines, phase, '\t') && lines >> value) {
      lines.ignore(1);
      if (phase == "peak") {
        run.peak.push_back(value);
      } else {
        run.phases[phase].push_back(value);
      }
    }
  };
  once(kSizes[0]);  // warms the office and the file cache; not counted
  runs.clear();
  for (int round = 0; round < rounds; ++round) {
    for (std::size_t k = 0; k < kSizes.size(); ++k) once(kSizes[(k + round) % kSizes.size()]);
    std::fprintf(stderr, "round %d of %d done\n", round + 1, rounds);
  }
  office->Quit();

  std::printf("\nmedians of %d rounds, sizes interleaved\n", rounds);
  std::printf("%-24s", "");
  for (int n : kSizes) std::printf(" %14d", n);
  std::printf("\n");
  auto row = [&](const char* label, auto value, const char* format) {
    std::printf("%-24s", label);
    for (int n : kSizes) std::printf(format, value(runs[n], n));
    std::printf("\n");
  };
  row(
      "export, s", [](Run& r, int) { return Median(r.phases["export (engine)"]); }, " %14.2f");
  row(
      "per record, us", [](Run& r, int n) { return Median(r.phases["export (engine)"]) / n * 1e6; },
      " %14.1f");
  row(
      "peak memory, MiB", [](Run& r, int) { return Median(r.peak); }, " %14.1f");
  std::printf("by phase, s\n");
  for (const auto& [phase, values] : runs[kSizes[0]].phases) {
    if (phase == "export (engine)") continue;
    std::printf("  %-22s", phase.c_str());
    for (int n : kSizes) std::printf(" %14.3f", Median(runs[n].phases[phase]));
    std::printf("\n");
  }
  std::printf("\nload average at the end %s\n", LoadAverage().c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc == 5 && std::string(argv[1]) == "--child") {
      return Child(std::atoi(argv[2]), argv[3], argv[4]);
    }
    return Parent();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_sheet_size: %s\n", e.what());
    return 1;
  }
}
