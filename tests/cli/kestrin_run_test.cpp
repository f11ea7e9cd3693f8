// The built kestrin run as a scheduled export runs it: pattern files on its
// command line, no display, a private office named by KESTRIN_OFFICE_PIPE and
// KESTRIN_OFFICE_PROFILE. The exported workbooks are read back through the
// tests' own office.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "pattern/cp932.h"
#include "pattern/pattern_file.h"
#include "sample/sample_settings.h"
#include "tests/uno/office_harness.h"

extern char** environ;

namespace kestrin::automation::uno::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

struct Outcome {
  pid_t pid = -1;
  int status = -1;
  std::string err;
  std::vector<std::string> lines;  // standard error, line by line
};

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

class KestrinRun : public ::testing::Test {
 protected:
  // Runs kestrin with the arguments, without a display, its office on a
  // pipe of this test's own, with `extra_env` added to its environment.
  Outcome Kestrin(const std::vector<std::string>& args, const std::string& pipe = "",
                  const std::vector<std::string>& extra_env = {}) {
    const std::string office_pipe = pipe.empty() ? pipe_ : pipe;
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
      std::string var = *e;
      for (const char* drop :
           {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=", "KESTRIN_OFFICE_PIPE=",
            "KESTRIN_OFFICE_PROFILE=", "XDG_CACHE_HOME="}) {
        if (var.rfind(drop, 0) == 0) var.clear();
      }
      if (!var.empty()) env.push_back(var);
    }
    env.push_back("KESTRIN_OFFICE_PIPE=" + office_pipe);
    env.push_back("KESTRIN_OFFICE_PROFILE=" + (dir_.path() / "profile").string());
    env.push_back("XDG_CACHE_HOME=" + (dir_.path() / "cache").string());
    env.insert(env.end(), extra_env.begin(), extra_env.end());

    std::vector<std::string> argv_text{KESTRIN_PROGRAM};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv, envp;
    for (auto& a : argv_text) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    const fs::path err = dir_.path() / "stderr.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = -1;
    int spawned = posix_spawn(&pid, KESTRIN_PROGRAM, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    Outcome run;
    run.pid = pid;
    if (spawned != 0) {
      ADD_FAILURE() << "cannot start " << KESTRIN_PROGRAM;
      return run;
    }
    int status = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(4);
    while (waitpid(pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        ADD_FAILURE() << "kestrin did not end within 4 minutes";
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.err = ReadAll(err);
    std::string line;
    for (char c : run.err) {
      if (c == '\n') {
        run.lines.push_back(line);
        line.clear();
      } else {
        line += c;
      }
    }
    if (!line.empty()) run.lines.push_back(line);
    return run;
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

  TempDir dir_;
  std::string pipe_ = "kestrin_run_test_" + std::to_string(getpid()) + "_" +
                      ::testing::UnitTest::GetInstance()->current_test_info()->name();
};

TEST_F(KestrinRun, ASavedPatternIsExportedWithoutADisplayOrAnyOfQtsPlatforms) {
  fs::path book = SampleCopy("sales.xls");
  // The dynamic loader lists every library the program loads, plugins
  // included, in ld.<pid>.
  const fs::path loaded = dir_.path() / "ld";
  Outcome run = Kestrin({Pattern("sales.kst", book, [](auto&) {})}, "",
                        {"LD_DEBUG=files", "LD_DEBUG_OUTPUT=" + loaded.string()});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.lines, ElementsAre("Kestrin Ver 0.1: 出力、終了しました。"));
  EXPECT_FALSE(OfficeOnPipe(pipe_));
  ExpectExported(book);
  const std::string libraries = ReadAll(loaded.string() + "." + std::to_string(run.pid));
  ASSERT_THAT(libraries, HasSubstr("libQt6Core"));  // the list was written
  std::vector<std::string> platforms;
  std::istringstream lines(libraries);
  for (std::string line; std::getline(lines, line);) {
    if (line.find("/plugins/platforms/") != std::string::npos) platforms.push_back(line);
  }
  EXPECT_THAT(platforms, IsEmpty());
}

TEST_F(KestrinRun, SeveralPatternsRunInTurnAndTheWorstStatusWins) {
  fs::path first = SampleCopy("first.xls");
  fs::path second = SampleCopy("second.xls");
  std::string missing = (dir_.path() / "gone.mdb").string();
  Outcome run = Kestrin({Pattern("a.kst", first, [](auto&) {}),
                         Pattern("b.kst", dir_.path() / "missing.xls", [](auto&) {}),
                         Pattern("c.kst", second, [](auto&) {})});
  EXPECT_EQ(run.status, 1) << run.err;
  const std::string missing_book = (dir_.path() / "missing.xls").string();
  EXPECT_THAT(run.lines, ElementsAre("Kestrin Ver 0.1: 出力、終了しました。",
                                     "Kestrin: ファイル " + missing_book + " は見つかりません。",
                                     ::testing::StartsWith("Kestrin Ver 0.1: エラーNO:"),
                                     "Kestrin Ver 0.1: 出力、終了しました。",
                                     "Kestrin Ver 0.1: 出力、終了しました。"));
  EXPECT_FALSE(OfficeOnPipe(pipe_));
  ExpectExported(first);
  ExpectExported(second);
}

TEST_F(KestrinRun, AMissingDatabaseIsReportedAndNothingIsWritten) {
  fs::path book = SampleCopy("sales.xls");
  const std::string before = ReadAll(book);
  const std::string missing = (dir_.path() / "no such.mdb").string();
  Outcome run = Kestrin({Pattern("sales.kst", book, [&](auto& s) { s.FileMoto = missing; })});
  EXPECT_EQ(run.status, 1);
  EXPECT_THAT(run.lines, ElementsAre("Kestrin: ファイル " + missing + " は見つかりません。",
                                     "Kestrin: ファイル " + missing + " は見つかりません。",
                                     "Kestrin Ver 0.1: 出力、終了しました。"));
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
  EXPECT_THAT(run.lines[0], ::testing::StartsWith("Kestrin Ver 0.1: 解析パターン " + path));
  EXPECT_THAT(run.lines[0], HasSubstr(path + ", line 6: StartRow"));
  EXPECT_FALSE(OfficeOnPipe(pipe_));

  // Not a pattern file at all, and not there.
  run = Kestrin({(dir_.path() / "none.kst").string()});
  EXPECT_EQ(run.status, 2);
  ASSERT_EQ(run.lines.size(), 1u) << run.err;
  EXPECT_THAT(run.lines[0], HasSubstr("none.kst"));
}

TEST_F(KestrinRun, ShowingTheWorkbookWithoutADisplayFailsAndOurOfficeEnds) {
  fs::path book = SampleCopy("sales.xls");
  const std::string before = ReadAll(book);
  Outcome run = Kestrin({Pattern("show.kst", book, [](auto& s) { s.Display = 0; })});
  EXPECT_EQ(run.status, 1);
  EXPECT_THAT(run.lines,
              ElementsAre(::testing::AllOf(::testing::StartsWith("Kestrin Ver 0.1: エラーNO:"),
                                           HasSubstr("display")),
                          "Kestrin Ver 0.1: 出力、終了しました。"));
  EXPECT_FALSE(OfficeOnPipe(pipe_));
  EXPECT_EQ(ReadAll(book), before);  // never saved
}

TEST_F(KestrinRun, AnOfficeAlreadyRunningIsUsedAndLeftAlone) {
  // The tests' own office listens on its pipe; kestrin attaches to it.
  const std::string shared_pipe = Office().options.pipe_name;
  fs::path book = SampleCopy("sales.xls");
  Outcome run = Kestrin({Pattern("sales.kst", book, [](auto&) {})}, shared_pipe);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(OfficeOnPipe(shared_pipe));
  ExpectExported(book);  // read back through that same office
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

}  // namespace
}  // namespace kestrin::automation::uno::testing
