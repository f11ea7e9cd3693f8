#include "automation/uno/backup.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <set>

#include "automation/failure.h"
#include "tests/support/temp_folder.h"

namespace kestrin::automation::uno {
namespace {
namespace fs = std::filesystem;
using std::chrono::seconds;

class BackupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    book_ = root_ / "Report.xls";
    Write(book_, "original bytes");
    setenv("TZ", "UTC", 1);
    tzset();
  }

  static void Write(const fs::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
  }
  static std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::set<std::string> Names(const fs::path& dir) {
    std::set<std::string> names;
    for (auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
  }

  // 2026-12-07 09:30:05 UTC
  std::chrono::system_clock::time_point t0_ =
      std::chrono::system_clock::time_point(seconds(1796635805));
  ::kestrin::testing::TempFolder folder_;
  fs::path root_ = folder_.path(), book_;
};

TEST_F(BackupTest, CopiesTheFileUnderAStampedNameInANewFolder) {
  fs::path dir = root_ / "cache" / "kestrin" / "backups";
  fs::path copy = BackUpWorkbook(book_, dir, t0_);
  EXPECT_EQ(copy, dir / "Report-20261207-093005.xls");
  EXPECT_EQ(Read(copy), "original bytes");
  EXPECT_EQ(Read(book_), "original bytes");
}

TEST_F(BackupTest, TwoBackupsInOneSecondGetDistinctNames) {
  fs::path dir = root_ / "b";
  fs::path a = BackUpWorkbook(book_, dir, t0_);
  Write(book_, "second");
  fs::path b = BackUpWorkbook(book_, dir, t0_);
  fs::path c = BackUpWorkbook(book_, dir, t0_);
  EXPECT_NE(a, b);
  EXPECT_EQ(b.filename(), "Report-20261207-093005-2.xls");
  EXPECT_EQ(c.filename(), "Report-20261207-093005-3.xls");
  EXPECT_EQ(Read(a), "original bytes");
  EXPECT_EQ(Read(b), "second");
}

TEST_F(BackupTest, KeepsOnlyTheNewestOfThatWorkbook) {
  fs::path dir = root_ / "b";
  fs::create_directories(dir);
  Write(dir / "Other-20200101-000000.xls", "other workbook");
  Write(dir / "Report-notes.txt", "unrelated");
  for (int i = 0; i < 25; ++i) BackUpWorkbook(book_, dir, t0_ + seconds(i / 2), 20);
  std::set<std::string> names = Names(dir);
  EXPECT_EQ(names.size(), 22u);
  EXPECT_TRUE(names.count("Other-20200101-000000.xls"));
  EXPECT_TRUE(names.count("Report-notes.txt"));
  // The five oldest went: 093005, 093005-2, 093006, 093006-2, 093007.
  EXPECT_FALSE(names.count("Report-20261207-093005.xls"));
  EXPECT_FALSE(names.count("Report-20261207-093007.xls"));
  EXPECT_TRUE(names.count("Report-20261207-093007-2.xls"));
  EXPECT_TRUE(names.count("Report-20261207-093017.xls"));
}

TEST_F(BackupTest, FailuresAreErrorsThatStopTheSave) {
  EXPECT_THROW(BackUpWorkbook(root_ / "missing.xls", root_ / "b", t0_), AutomationError);
  // A backup folder that cannot be made: its parent is a file.
  Write(root_ / "file", "x");
  try {
    BackUpWorkbook(book_, root_ / "file" / "backups", t0_);
    FAIL() << "no error";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), 1004);
    EXPECT_NE(e.description().find("保存していません"), std::string::npos) << e.description();
  }
  if (geteuid() != 0) {
    fs::path ro = root_ / "readonly";
    fs::create_directories(ro);
    chmod(ro.c_str(), 0500);
    EXPECT_THROW(BackUpWorkbook(book_, ro, t0_), AutomationError);
    chmod(ro.c_str(), 0700);
  }
}

TEST_F(BackupTest, DefaultFoldersFollowXdgCacheHome) {
  const char* old = std::getenv("XDG_CACHE_HOME");
  std::string saved = old ? old : "";
  setenv("XDG_CACHE_HOME", "/somewhere/cache", 1);
  EXPECT_EQ(DefaultBackupDir(), fs::path("/somewhere/cache/kestrin/backups"));
  EXPECT_EQ(DefaultProfileDir(), fs::path("/somewhere/cache/kestrin/office-profile"));
  setenv("XDG_CACHE_HOME", "relative/path", 1);  // not absolute: ignored
  setenv("HOME", std::getenv("HOME") ? std::getenv("HOME") : "/home/x", 1);
  EXPECT_EQ(DefaultBackupDir(), fs::path(std::getenv("HOME")) / ".cache/kestrin/backups");
  if (old) {
    setenv("XDG_CACHE_HOME", saved.c_str(), 1);
  } else {
    unsetenv("XDG_CACHE_HOME");
  }
}

}  // namespace
}  // namespace kestrin::automation::uno
