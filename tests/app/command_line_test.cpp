// Arguments, batch mode, and what a batch run prints.
#include "app/command_line.h"

#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kestrin::app {
namespace {

using Action = CommandLine::Action;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(CommandLineTest, PathsAreTakenAsTheyStandExceptRealQuotes) {
  CommandLine line = ParseCommandLine({"/data/a.kst", "\"/data/my b.kst\"", "c.kst\"", "\"d.kst",
                                       "x\"y\".kst", " lead.kst ", "\"\"\""});
  EXPECT_EQ(line.action, Action::kRun);
  EXPECT_THAT(line.patterns, ElementsAre("/data/a.kst", "/data/my b.kst", "c.kst\"", "\"d.kst",
                                         "x\"y\".kst", " lead.kst ", "\""));
}

TEST(CommandLineTest, OptionsAndWhatEachRunDoes) {
  EXPECT_EQ(ParseCommandLine({}).action, Action::kWindow);
  EXPECT_EQ(ParseCommandLine({"  ", ""}).action, Action::kWindow);

  CommandLine batch = ParseCommandLine({"--batch", "a.kst", "b.kst"});
  EXPECT_EQ(batch.action, Action::kRun);
  EXPECT_TRUE(batch.batch);
  EXPECT_THAT(batch.patterns, ElementsAre("a.kst", "b.kst"));
  EXPECT_FALSE(batch.quiet);
  EXPECT_TRUE(ParseCommandLine({"-q", "a.kst"}).quiet);
  EXPECT_TRUE(ParseCommandLine({"a.kst", "--quiet"}).quiet);

  EXPECT_EQ(ParseCommandLine({"a.kst", "--help"}).action, Action::kHelp);
  EXPECT_EQ(ParseCommandLine({"-h"}).action, Action::kHelp);
  EXPECT_EQ(ParseCommandLine({"--version"}).action, Action::kVersion);

  CommandLine unknown = ParseCommandLine({"--batch", "-x", "a.kst"});
  EXPECT_EQ(unknown.action, Action::kWrongArguments);
  EXPECT_THAT(unknown.error, HasSubstr("-x"));
  EXPECT_EQ(ParseCommandLine({"\"\""}).action, Action::kWrongArguments);

  CommandLine dashed = ParseCommandLine({"--", "-odd.kst", "--batch"});
  EXPECT_EQ(dashed.action, Action::kRun);
  EXPECT_FALSE(dashed.batch);
  EXPECT_THAT(dashed.patterns, ElementsAre("-odd.kst", "--batch"));
  // A lone "-" is a file name.
  EXPECT_THAT(ParseCommandLine({"-"}).patterns, ElementsAre("-"));
}

TEST(CommandLineTest, BatchWhenNothingCanBeShown) {
  auto env = [](std::map<std::string, std::string> vars) -> Environment {
    return [vars](const char* name) {
      auto it = vars.find(name);
      return it == vars.end() ? std::string() : it->second;
    };
  };
  EXPECT_TRUE(IsBatchRun(false, env({})));
  EXPECT_TRUE(IsBatchRun(false, env({{"DISPLAY", ""}})));
  EXPECT_FALSE(IsBatchRun(false, env({{"DISPLAY", ":0"}})));
  EXPECT_FALSE(IsBatchRun(false, env({{"WAYLAND_DISPLAY", "wayland-0"}})));
  EXPECT_TRUE(IsBatchRun(false, env({{"DISPLAY", ":0"}, {"QT_QPA_PLATFORM", "offscreen"}})));
  EXPECT_FALSE(IsBatchRun(false, env({{"DISPLAY", ":0"}, {"QT_QPA_PLATFORM", "xcb"}})));
  EXPECT_TRUE(IsBatchRun(true, env({{"DISPLAY", ":0"}})));

  automation::uno::UnoOptions own = OfficeOptions(
      env({{"KESTRIN_OFFICE_PIPE", "p1"}, {"KESTRIN_OFFICE_PROFILE", "/tmp/x/profile"}}));
  EXPECT_EQ(own.pipe_name, "p1");
  EXPECT_EQ(own.profile_dir, "/tmp/x/profile");
  EXPECT_EQ(OfficeOptions(env({})).pipe_name, "");  // the engine's default
}

// Console output captured in a memory file.
class Console {
 public:
  Console() : file_(open_memstream(&data_, &size_)) {}
  ~Console() {
    std::fclose(file_);
    std::free(data_);
  }
  std::FILE* file() { return file_; }
  std::string text() {
    std::fflush(file_);
    return std::string(data_, size_);
  }

 private:
  char* data_ = nullptr;
  std::size_t size_ = 0;
  std::FILE* file_;
};

TEST(ConsoleTest, EachMessageIsOneLineWithItsTitle) {
  Console console;
  ConsoleMessageBox box(console.file(), nullptr);
  box.Show("出力、終了しました。", ui::kTitle);
  box.Show("エラーNO:6\r\nOverflow\nmore", ui::kTitle);
  box.Show("ファイル /x.mdb は見つかりません。", ui::kShortTitle);
  EXPECT_EQ(console.text(),
            "Kestrin Ver 0.1: 出力、終了しました。\n"
            "Kestrin Ver 0.1: エラーNO:6 Overflow more\n"
            "Kestrin: ファイル /x.mdb は見つかりません。\n");
}

TEST(ConsoleTest, ProgressIsOneLineRedrawnAFewTimesASecond) {
  Console console;
  auto now = std::chrono::steady_clock::time_point{};
  ConsoleProgress progress(console.file(), true, [&] { return now; });
  ConsoleMessageBox box(console.file(), &progress);
  progress.SetMaxCountCaption("1000");
  for (int i = 1; i <= 1000; ++i) {
    now += std::chrono::milliseconds(1);  // 1000 records in a second
    progress.SetCountCaption(std::to_string(i));
  }
  EXPECT_TRUE(progress.ReachedTotal());
  box.Show("出力、終了しました。", ui::kTitle);
  std::string text = console.text();
  // Drawn at the first record, every 250 ms, and at the last.
  int draws = 0;
  for (std::size_t at = 0; (at = text.find('\r', at)) != std::string::npos; ++at) ++draws;
  EXPECT_GE(draws, 4);
  EXPECT_LE(draws, 6);
  EXPECT_THAT(text, HasSubstr("\rKestrin Ver 0.1: 1 / 1000 件\x1b[K"));
  EXPECT_THAT(text, HasSubstr("\rKestrin Ver 0.1: 1000 / 1000 件\x1b[K\nKestrin Ver 0.1: 出力"));
}

TEST(ConsoleTest, NoProgressLinesWhenNotDrawing) {
  Console console;
  ConsoleProgress progress(console.file(), false);
  progress.SetMaxCountCaption("3");
  progress.SetCountCaption("1");
  EXPECT_FALSE(progress.ReachedTotal());
  progress.SetCountCaption("3");
  EXPECT_TRUE(progress.ReachedTotal());
  progress.EndLine();
  EXPECT_EQ(console.text(), "");
  progress.Reset();
  EXPECT_FALSE(progress.ReachedTotal());
}

}  // namespace
}  // namespace kestrin::app
