// The built kestrin run as a scheduled export runs it: pattern files on its
// command line, no display, a private office named by KESTRIN_OFFICE_PIPE and
// KESTRIN_OFFICE_PROFILE. The exported workbooks are read back through the
// tests' own office.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "automation/windows_paths.h"
#include "pattern/cp932.h"
#include "pattern/pattern_file.h"
#include "sample/sample_settings.h"
#include "tests/support/jet4_writer.h"
#include "tests/support/office_harness.h"

extern char** environ;

namespace kestrin::automation::uno::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

struct Outcome {
  int status = -1;
  std::string err;
  std::vector<std::string> lines;  // standard error, line by line
  std::vector<std::string> out;    // standard output, line by line
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// True while any process serves the office pipe of that name.
bool OfficeOnPipe(const std::string& pipe) {
  const std::string needle = "pipe,name=" + pipe + ";";
  for (const auto& entry : fs::directory_iterator("/proc")) {
    std::string cmdline = ReadAll(entry.path() / "cmdline");
    if (cmdline.find(needle) != std::string::npos) return true;
  }
  return false;
}

// The offices serving the office pipe of that name, by process group: an
// office's launcher and the office proper it starts, and starts again on
// the first run of a new profile, share the group they were started in.
std::set<pid_t> OfficesOnPipe(const std::string& pipe) {
  const std::string needle = "pipe,name=" + pipe + ";";
  std::set<pid_t> groups;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    if (ReadAll(entry.path() / "cmdline").find(needle) == std::string::npos) continue;
    const std::string stat = ReadAll(entry.path() / "stat");
    std::istringstream fields(stat.substr(stat.rfind(')') + 1));
    std::string state;
    pid_t parent = 0, group = 0;
    if (fields >> state >> parent >> group) groups.insert(group);
  }
  return groups;
}

// The line of a completed export of `pattern`, on standard output.
std::string Done(const std::string& pattern) {
  return "Kestrin Ver 0.1: " + pattern + ": 出力、終了しました。";
}

class KestrinRun : public ::testing::Test {
 protected:
  struct Started {
    pid_t pid = -1;
    fs::path err, out;
  };

  // Starts kestrin with the arguments, without a display, its office on a
  // pipe of this test's own, standard error going to `err_name` and
  // standard output to the same name with "out" for "err".
  Started Start(const std::vector<std::string>& args, const std::string& pipe = "",
                const std::string& err_name = "stderr.txt") {
    const std::string office_pipe = pipe.empty() ? pipe_ : pipe;
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
      std::string var = *e;
      for (const char* drop :
           {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=", "KESTRIN_OFFICE_PIPE=",
            "KESTRIN_OFFICE_PROFILE=", "XDG_CACHE_HOME="}) {
        if (var.rfind(drop, 0) == 0) var.clear();
      }
      for (const std::string& own : env_) {
        if (var.rfind(own.substr(0, own.find('=') + 1), 0) == 0) var.clear();
      }
      if (!var.empty()) env.push_back(var);
    }
    env.push_back("KESTRIN_OFFICE_PIPE=" + office_pipe);
    env.push_back("KESTRIN_OFFICE_PROFILE=" + (dir_.path() / "profile").string());
    env.push_back("XDG_CACHE_HOME=" + (dir_.path() / "cache").string());
    env.insert(env.end(), env_.begin(), env_.end());

    std::vector<std::string> argv_text{KESTRIN_PROGRAM};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv, envp;
    for (auto& a : argv_text) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    std::string out_name = err_name;
    out_name.replace(out_name.find("err"), 3, "out");
    Started started{-1, dir_.path() / err_name, dir_.path() / out_name};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, started.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, started.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    int spawned =
        posix_spawn(&started.pid, KESTRIN_PROGRAM, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) ADD_FAILURE() << "cannot start " << KESTRIN_PROGRAM;
    return started;
  }

  // Waits for a started kestrin (4 minutes at most) and reads what it said.
  Outcome Wait(const Started& started) {
    Outcome run;
    if (started.pid < 0) return run;
    int status = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(4);
    while (waitpid(started.pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        kill(started.pid, SIGKILL);
        waitpid(started.pid, &status, 0);
        ADD_FAILURE() << "kestrin did not end within 4 minutes";
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.err = ReadAll(started.err);
    run.lines = Lines(run.err);
    run.out = Lines(ReadAll(started.out));
    return run;
  }

  // Runs kestrin with the arguments as Start() does, to its end.
  Outcome Kestrin(const std::vector<std::string>& args, const std::string& pipe = "") {
    return Wait(Start(args, pipe));
  }

  // The sample's export as a pattern file; `edit` changes its settings.
  template <class Edit>
  std::string Pattern(const std::string& name, const fs::path& workbook, Edit edit) {
    exporting::ExportSettings s =
        sample::SampleSettings(KESTRIN_SAMPLE_DIR "/sample.mdb", workbook.string());
    edit(s);
    std::string path = (dir_.path() / name).string();
    pattern::WritePatternFile(path, s);
    return path;
  }
  fs::path SampleCopy(const std::string& name) {
    fs::path book = dir_.path() / name;
    fs::copy_file(KESTRIN_SAMPLE_DIR "/sample.xls", book);
    return book;
  }

  void ExpectExported(const fs::path& book) {
    SavedBook saved(book);
    const char* headings[] = {"伝票番号", "売上日", "支店", "商品", "数量", "単価", "金額", "備考"};
    for (int c = 0; c < 8; ++c) {
      EXPECT_EQ(saved.At("売上", std::string(1, static_cast<char>('A' + c)) + "3").text,
                headings[c]);
    }
    EXPECT_EQ(saved.At("売上", "A4").number, 10001);
    EXPECT_EQ(saved.At("売上", "C4").text, "仙台");
    EXPECT_EQ(saved.At("売上", "G5").number, 10150);
    EXPECT_EQ(saved.At("売上", "A243").number, 10240);
    EXPECT_EQ(saved.At("売上", "A244").kind, SavedBook::Kind::kEmpty);
    for (const char* cell : {"A3", "H243"}) {
      for (int side = 0; side < 4; ++side) EXPECT_GT(saved.Lines("売上", cell)[side], 0) << cell;
    }
    EXPECT_EQ(saved.AutoFilter("売上"), (Block{2, 0, 242, 7}));
    bool pivot_found = false;
    for (const std::string& sheet : saved.SheetNames()) {
      auto pivots = saved.Pivots(sheet);
      auto it = pivots.find("支店別集計");
      if (it == pivots.end()) continue;
      pivot_found = true;
      EXPECT_THAT(it->second.rows, ElementsAre("支店"));
      EXPECT_THAT(it->second.columns, ElementsAre("商品"));
      EXPECT_THAT(it->second.data, ElementsAre(HasSubstr("金額")));
      EXPECT_EQ(it->second.source, (Block{2, 0, 242, 7}));
    }
    EXPECT_TRUE(pivot_found);
  }

  TempFolder dir_;
  // Environment entries ("NAME=value") kestrin gets besides its own.
  std::vector<std::string> env_;
  std::string pipe_ = "kestrin_run_test_" + std::to_string(getpid()) + "_" +
                      ::testing::UnitTest::GetInstance()->current_test_info()->name();
};

TEST_F(KestrinRun, ASavedPatternIsExportedWithoutADisplayOrAnyOfQtsPlatforms) {
  fs::path book = SampleCopy("sales.xls");
  // The dynamic loader lists every library the program loads, plugins
  // included, in ld.<pid>.
  const fs::path loaded = dir_.path() / "ld";
  env_ = {"LD_DEBUG=files", "LD_DEBUG_OUTPUT=" + loaded.string()};
  const std::string pattern = Pattern("sales.kst", book, [](auto&) {});
  const Started started = Start({pattern});
  Outcome run = Wait(started);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.lines, IsEmpty());
  EXPECT_THAT(run.out, ElementsAre(Done(pattern)));
  EXPECT_FALSE(OfficeOnPipe(pipe_));
  ExpectExported(book);
  const std::string libraries = ReadAll(loaded.string() + "." + std::to_string(started.pid));
  ASSERT_THAT(libraries, HasSubstr("libQt6Core"));  // the list was written
  std::vector<std::string> platforms;
  std::istringstream lines(libraries);
  for (std::string line; std::getline(lines, line);) {
    if (line.find("/plugins/platforms/") != std::string::npos) platforms.push_back(line);
  }
  EXPECT_THAT(platforms, IsEmpty());
}

TEST_F(KestrinRun, EveryRunOfAPatternAddsItsPivotTableOnASheetOfItsOwn) {
  fs::path book = SampleCopy("sales.xls");
  const std::string pattern = Pattern("sales.kst", book, [](auto&) {});
  for (int night = 1; night <= 3; ++night) {
    Outcome run = Kestrin({pattern});
    ASSERT_EQ(run.status, 0) << "run " << night << ": " << run.err;
  }
  ExpectExported(book);
  SavedBook saved(book);
  double amounts = 0;
  for (int r = 4; r <= 243; ++r) amounts += saved.At("売上", "G" + std::to_string(r)).number;
  int tables = 0;
  for (const std::string& sheet : saved.SheetNames()) {
    if (saved.Pivots(sheet).count("支店別集計") == 0) continue;
    ++tables;
    // The grand total, the largest number of the table, sums every amount.
    double largest = 0;
    for (int r = 1; r <= 30; ++r) {
      for (int c = 0; c < 12; ++c) {
        auto cell = saved.At(sheet, ColumnLetters(c) + std::to_string(r));
        if (cell.kind == SavedBook::Kind::kNumber) largest = std::max(largest, cell.number);
      }
    }
    EXPECT_EQ(largest, amounts) << sheet;
  }
  EXPECT_EQ(tables, 3);
}

TEST_F(KestrinRun, RunsStartedTogetherShareOneOfficeAndTheLastOneEndsIt) {
  std::vector<fs::path> books;
  std::vector<Started> runs;
  std::vector<std::string> patterns;
  for (int i = 1; i <= 3; ++i) {
    books.push_back(SampleCopy("night" + std::to_string(i) + ".xls"));
    const std::string pattern =
        Pattern("night" + std::to_string(i) + ".kst", books.back(), [](auto&) {});
    patterns.push_back(pattern);
    runs.push_back(Start({pattern}, "", "stderr" + std::to_string(i) + ".txt"));
  }
  // The offices that served the pipe while any of the runs went on.
  std::set<pid_t> offices;
  auto running = [&] {
    return std::any_of(runs.begin(), runs.end(), [](const Started& run) {
      siginfo_t info{};
      return waitid(P_PID, static_cast<id_t>(run.pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
             info.si_pid == 0;
    });
  };
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(4);
  while (running() && std::chrono::steady_clock::now() < deadline) {
    offices.merge(OfficesOnPipe(pipe_));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  for (std::size_t i = 0; i < runs.size(); ++i) {
    Outcome run = Wait(runs[i]);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(run.out, ElementsAre(Done(patterns[i])));
  }
  EXPECT_EQ(offices.size(), 1u);
  EXPECT_FALSE(OfficeOnPipe(pipe_));
  for (const fs::path& book : books) ExpectExported(book);
}

TEST_F(KestrinRun, AWorkbookUnderJapaneseNamesIsExportedWithoutAJapaneseLocale) {
  // The locales kestrin and its office can find hold C.UTF-8 only: a
  // Japanese one of the system's is hidden, whatever the user's LANG says.
  const fs::path locales = dir_.path() / "locales";
  fs::create_directories(locales);
  if (fs::exists("/usr/lib/locale/C.utf8")) {
    fs::copy("/usr/lib/locale/C.utf8", locales / "C.utf8", fs::copy_options::recursive);
  }
  env_ = {"LOCPATH=" + locales.string(), "LANG=ja_JP.UTF-8", "LC_ALL=", "LC_CTYPE="};
  const fs::path folder = dir_.path() / "日本 語";
  fs::create_directories(folder);
  const fs::path book = folder / "売上 データ.xls";
  fs::copy_file(KESTRIN_SAMPLE_DIR "/sample.xls", book);
  fs::copy_file(KESTRIN_SAMPLE_DIR "/sample.mdb", folder / "売上 データ.mdb");
  exporting::ExportSettings s =
      sample::SampleSettings((folder / "売上 データ.mdb").string(), book.string());
  const std::string pattern = (folder / "売上 データ.kst").string();
  pattern::WritePatternFile(pattern, s);
  Outcome run = Kestrin({pattern});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.out, ElementsAre(Done(pattern)));
  ExpectExported(book);
}

TEST_F(KestrinRun, SeveralPatternsRunInTurnAndTheWorstStatusWins) {
  fs::path first = SampleCopy("first.xls");
  fs::path second = SampleCopy("second.xls");
  std::string missing = (dir_.path() / "gone.mdb").string();
  const std::string a = Pattern("a.kst", first, [](auto&) {});
  const std::string b = Pattern("b.kst", dir_.path() / "missing.xls", [](auto&) {});
  const std::string c = Pattern("c.kst", second, [](auto&) {});
  Outcome run = Kestrin({a, b, c});
  EXPECT_EQ(run.status, 1) << run.err;
  const std::string missing_book = (dir_.path() / "missing.xls").string();
  // The missing workbook is told once, and nothing is written elsewhere.
  EXPECT_THAT(run.lines,
              ElementsAre("Kestrin: " + b + ": ファイル " + missing_book + " は見つかりません。",
                          "Kestrin Ver 0.1: " + b + ": 出力は完了しませんでした。"));
  EXPECT_THAT(run.out, ElementsAre(Done(a), Done(c)));
  EXPECT_FALSE(OfficeOnPipe(pipe_));
  ExpectExported(first);
  ExpectExported(second);
}

TEST_F(KestrinRun, AMissingDatabaseIsReportedAndNothingIsWritten) {
  fs::path book = SampleCopy("sales.xls");
  const std::string before = ReadAll(book);
  const std::string missing = (dir_.path() / "no such.mdb").string();
  const std::string pattern = Pattern("sales.kst", book, [&](auto& s) { s.FileMoto = missing; });
  Outcome run = Kestrin({pattern});
  EXPECT_EQ(run.status, 1);
  EXPECT_THAT(run.lines,
              ElementsAre("Kestrin: " + pattern + ": ファイル " + missing + " は見つかりません。",
                          "Kestrin Ver 0.1: " + pattern + ": 出力は完了しませんでした。"));
  EXPECT_THAT(run.out, IsEmpty());
  EXPECT_FALSE(OfficeOnPipe(pipe_));
  EXPECT_EQ(ReadAll(book), before);
}

TEST_F(KestrinRun, ADamagedPatternIsReportedWithItsLineAndNothingStarts) {
  fs::path book = SampleCopy("sales.xls");
  std::string path = Pattern("sales.kst", book, [](auto&) {});
  std::string bytes = ReadAll(path);
  bytes.replace(bytes.find("StartRow=3"), 10, "StartRow=x");
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  Outcome run = Kestrin({path});
  EXPECT_EQ(run.status, 2);
  ASSERT_EQ(run.lines.size(), 1u) << run.err;
  EXPECT_THAT(run.lines[0], ::testing::StartsWith("Kestrin Ver 0.1: " + path +
                                                  ": 解析パターンを読み込めませんでした。"));
  EXPECT_THAT(run.lines[0], HasSubstr(path + "、6 行目: StartRow"));
  EXPECT_FALSE(OfficeOnPipe(pipe_));

  // Not a pattern file at all, and not there.
  run = Kestrin({(dir_.path() / "none.kst").string()});
  EXPECT_EQ(run.status, 2);
  ASSERT_EQ(run.lines.size(), 1u) << run.err;
  EXPECT_THAT(run.lines[0], HasSubstr("none.kst"));

  // A UTF-8 text: one line, with the way to convert it.
  std::ofstream(path, std::ios::binary | std::ios::trunc) << "FileMoto=/a/売上.mdb\r\n";
  run = Kestrin({path});
  EXPECT_EQ(run.status, 2);
  ASSERT_EQ(run.lines.size(), 1u) << run.err;
  EXPECT_THAT(run.lines[0], HasSubstr("iconv -f UTF-8 -t CP932"));
  EXPECT_THAT(run.out, IsEmpty());
}

TEST_F(KestrinRun, ShowingTheWorkbookWithoutADisplayFailsAndOurOfficeEnds) {
  fs::path book = SampleCopy("sales.xls");
  const std::string before = ReadAll(book);
  const std::string pattern = Pattern("show.kst", book, [](auto& s) { s.Display = 0; });
  Outcome run = Kestrin({pattern});
  EXPECT_EQ(run.status, 1);
  EXPECT_THAT(run.lines,
              ElementsAre(::testing::AllOf(
                              ::testing::StartsWith("Kestrin Ver 0.1: " + pattern + ": エラーNO:"),
                              HasSubstr("ディスプレイ")),
                          "Kestrin Ver 0.1: " + pattern + ": 出力は完了しませんでした。"));
  EXPECT_THAT(run.out, IsEmpty());
  EXPECT_FALSE(OfficeOnPipe(pipe_));
  EXPECT_EQ(ReadAll(book), before);  // never saved
}

TEST_F(KestrinRun, AnOfficeAlreadyRunningIsUsedAndLeftAlone) {
  // The tests' own office listens on its pipe; kestrin attaches to it.
  const std::string shared_pipe = Office().options.pipe_name;
  fs::path book = SampleCopy("sales.xls");
  Outcome run = Kestrin({"--quiet", Pattern("sales.kst", book, [](auto&) {})}, shared_pipe);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.lines, IsEmpty());  // quiet: nothing said of what went well
  EXPECT_THAT(run.out, IsEmpty());
  EXPECT_TRUE(OfficeOnPipe(shared_pipe));
  ExpectExported(book);  // read back through that same office
}

TEST_F(KestrinRun, AnInterruptedRunEndsItsOfficeWithItsLockFileAndSaysSoOnce) {
  struct Case {
    int signal;
    const char* name;
  };
  for (const Case& c : {Case{SIGINT, "SIGINT"}, Case{SIGTERM, "SIGTERM"}, Case{SIGHUP, "SIGHUP"}}) {
    SCOPED_TRACE(c.name);
    fs::path book = SampleCopy(std::string(c.name) + ".xls");
    const std::string before = ReadAll(book);
    const Started started = Start({Pattern("sales.kst", book, [](auto&) {})});
    // Interrupted while its office has the workbook open.
    const fs::path lock = dir_.path() / (".~lock." + book.filename().string() + "#");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (!fs::exists(lock) && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(fs::exists(lock));
    kill(started.pid, c.signal);
    Outcome run = Wait(started);
    EXPECT_EQ(run.status, 128 + c.signal);
    EXPECT_THAT(run.lines, ElementsAre(HasSubstr(c.name)));
    EXPECT_THAT(run.out, IsEmpty());
    EXPECT_FALSE(OfficeOnPipe(pipe_));
    EXPECT_FALSE(fs::exists(lock));
    EXPECT_EQ(ReadAll(book), before);
  }
}

TEST_F(KestrinRun, AnInterruptedRunLeavesTheOfficeItStartedToARunStillUsingIt) {
  fs::path first = SampleCopy("first.xls"), second = SampleCopy("second.xls");
  const Started starter = Start({Pattern("first.kst", first, [](auto&) {})}, "", "stderr1.txt");
  auto wait_for = [](const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (!done() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
  };
  ASSERT_TRUE(wait_for([&] { return !OfficesOnPipe(pipe_).empty(); }));
  const Started user = Start({Pattern("second.kst", second, [](auto&) {})}, "", "stderr2.txt");
  ASSERT_TRUE(wait_for([&] { return fs::exists(dir_.path() / ".~lock.second.xls#"); }));
  kill(starter.pid, SIGINT);
  Outcome interrupted = Wait(starter);
  EXPECT_EQ(interrupted.status, 130) << interrupted.err;
  Outcome finished = Wait(user);
  EXPECT_EQ(finished.status, 0) << finished.err;
  ExpectExported(second);
  EXPECT_TRUE(wait_for([&] { return !OfficeOnPipe(pipe_); }));
}

TEST_F(KestrinRun, HelpVersionAndWrongArguments) {
  Outcome run = Kestrin({"--help"});
  EXPECT_EQ(run.status, 0);
  run = Kestrin({"--version"});
  EXPECT_EQ(run.status, 0);
  run = Kestrin({"--frobnicate", "a.kst"});
  EXPECT_EQ(run.status, 2);
  EXPECT_THAT(run.lines, ElementsAre(HasSubstr("--frobnicate")));
  run = Kestrin({});  // no display, nothing to run
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.lines.size(), 1u) << run.err;
}

// A split database and a pattern saved on Windows: every path is a Windows
// path, found through the mapping file the environment names; the linked
// table's records come from its back-end into the saved workbook.
TEST_F(KestrinRun, APatternFromWindowsExportsALinkedTableThroughTheMapping) {
  namespace ts = testsupport;
  using mdb::AccessType;
  ts::Jet4Database back;
  back.tables.push_back({"Umsätze",
                         {{"Nr", AccessType::kLong},
                          {"Kunde", AccessType::kText, 40},
                          {"Betrag", AccessType::kCurrency},
                          {"Bemerkung", AccessType::kMemo}},
                         {{1, "Müller", Value(Currency{12345000}), "eilig"},
                          {2, "佐藤", Value(Currency{999900}), Value()}},
                         {}});
  fs::create_directories(dir_.path() / "z/Verkauf");
  ts::WriteJet4Database(back, dir_.path() / "z/Verkauf/backend.mdb");
  ts::Jet4Database front;
  front.linked_tables = {ts::AccessLink("Umsatz", "UMSÄTZE", "Z:\\Verkauf\\Backend.mdb")};
  fs::create_directories(dir_.path() / "c/帳票");
  ts::WriteJet4Database(front, dir_.path() / "c/front.mdb");
  fs::copy_file(KESTRIN_SAMPLE_DIR "/sample.xls", dir_.path() / "c/帳票/sales.xls");
  const fs::path map = dir_.path() / "windows-paths";
  std::ofstream(map) << "C:\\Kestrin = " << (dir_.path() / "c").string() << "\n"
                     << "Z: = " << (dir_.path() / "z").string() << "\n";
  ::setenv(kWindowsPathsVariable, map.c_str(), 1);

  const std::string pattern = Pattern("windows.kst", "C:\\Kestrin\\帳票\\SALES.xls", [](auto& s) {
    s.FileMoto = "c:\\kestrin\\Front.mdb";
    s.TblName = "Umsatz";
    s.PivotF = 0;
  });
  const std::string saved = ReadAll(pattern);
  Outcome run = Kestrin({pattern});
  ::unsetenv(kWindowsPathsVariable);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.out, ElementsAre(Done(pattern)));
  EXPECT_EQ(ReadAll(pattern), saved);  // the pattern file as it was

  SavedBook book(dir_.path() / "c/帳票/sales.xls");
  EXPECT_EQ(book.At("売上", "A3").text, "Nr");
  EXPECT_EQ(book.At("売上", "D3").text, "Bemerkung");
  EXPECT_EQ(book.At("売上", "A4").number, 1);
  EXPECT_EQ(book.At("売上", "B4").text, "Müller");
  EXPECT_EQ(book.At("売上", "C4").number, 1234.5);
  EXPECT_EQ(book.At("売上", "D4").text, "eilig");
  EXPECT_EQ(book.At("売上", "B5").text, "佐藤");
  EXPECT_EQ(book.At("売上", "C5").number, 99.99);
  EXPECT_EQ(book.At("売上", "D5").kind, SavedBook::Kind::kEmpty);
  EXPECT_EQ(book.At("売上", "A6").kind, SavedBook::Kind::kEmpty);
  EXPECT_EQ(book.AutoFilter("売上"), (Block{2, 0, 4, 3}));
}

}  // namespace
}  // namespace kestrin::automation::uno::testing
