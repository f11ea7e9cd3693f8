// The program's own folders: where they go without HOME, how they are made,
// which existing ones are refused, and backups that appear only complete.
#include "automation/uno/user_dirs.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <optional>

#include "automation/failure.h"
#include "automation/uno/backup.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_folder.h"

namespace kestrin::automation::uno {
namespace {
namespace fs = std::filesystem;

using ::kestrin::testing::ScopedEnv;

class UserDirsTest : public ::testing::Test {
 protected:
  static struct stat Stat(const fs::path& p) {
    struct stat st {};
    EXPECT_EQ(lstat(p.c_str(), &st), 0) << p;
    return st;
  }
  static void ExpectPrivate(const fs::path& p) {
    struct stat st = Stat(p);
    EXPECT_TRUE(S_ISDIR(st.st_mode)) << p;
    EXPECT_EQ(st.st_mode & 07777, 0700u) << p;
    EXPECT_EQ(st.st_uid, geteuid()) << p;
  }
  static std::string Refusal(const fs::path& dir, std::size_t levels = 1) {
    try {
      MakePrivateDir(dir, levels);
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.number(), 1004);
      return e.description();
    }
    return "";
  }

  ::kestrin::testing::TempFolder folder_;
  fs::path root_ = folder_.path();
};

TEST_F(UserDirsTest, WithoutHomeTheHomeFolderComesFromThePasswordDatabase) {
  ScopedEnv home("HOME", nullptr), xdg("XDG_CACHE_HOME", nullptr);
  passwd* entry = getpwuid(getuid());
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(HomeDir(), fs::path(entry->pw_dir));
  EXPECT_EQ(DefaultBackupDir(), fs::path(entry->pw_dir) / ".cache/kestrin/backups");
  EXPECT_EQ(DefaultProfileDir(), fs::path(entry->pw_dir) / ".cache/kestrin/office-profile");
  ScopedEnv relative("HOME", "not/absolute");  // no better than none
  EXPECT_EQ(HomeDir(), fs::path(entry->pw_dir));
}

// The program's file creation with HOME unset: the cache goes where
// XDG_CACHE_HOME says (here a fresh folder, so that the test leaves the real
// home alone), every folder of ours 0700 and ours, the backup complete.
TEST_F(UserDirsTest, FileCreationWithoutHomeMakesPrivateFolders) {
  ScopedEnv home("HOME", nullptr), xdg("XDG_CACHE_HOME", (root_ / "cache").c_str());
  umask(022);
  fs::path backups = PrivateCacheDir("backups");
  fs::path profile = PrivateCacheDir("office-profile");
  EXPECT_EQ(backups, root_ / "cache/kestrin/backups");
  ExpectPrivate(root_ / "cache");
  ExpectPrivate(root_ / "cache/kestrin");
  ExpectPrivate(backups);
  ExpectPrivate(profile);

  fs::path book = root_ / "Report.xls";
  std::ofstream(book, std::ios::binary) << std::string(100000, 'x');
  fs::path copy = BackUpWorkbook(book, backups, std::chrono::system_clock::now());
  EXPECT_EQ(fs::file_size(copy), 100000u);
  EXPECT_EQ(Stat(copy).st_uid, geteuid());
  EXPECT_EQ(Stat(copy).st_mode & 077, 0u);  // a copy of the user's data for the user only
  // Nothing but the backup: no temporary copy left behind.
  int entries = 0;
  for ([[maybe_unused]] auto& e : fs::directory_iterator(backups)) ++entries;
  EXPECT_EQ(entries, 1);
}

TEST_F(UserDirsTest, ExistingFoldersMustBeOurOwnAndClosedToOthers) {
  fs::path mine = root_ / "mine";
  fs::create_directories(mine);
  chmod(mine.c_str(), 0750);
  EXPECT_EQ(Refusal(mine), "");  // ours and closed to others: taken as it is
  EXPECT_EQ(Stat(mine).st_mode & 07777, 0750u);

  fs::path open = root_ / "open";
  fs::create_directories(open);
  chmod(open.c_str(), 0777);
  EXPECT_NE(Refusal(open).find("すべてのユーザーが書き込めます"), std::string::npos);

  std::ofstream(root_ / "file") << "x";
  EXPECT_NE(Refusal(root_ / "file").find("フォルダーではありません"), std::string::npos);
  EXPECT_NE(Refusal(root_ / "file" / "below"), "");

  if (geteuid() != 0) GTEST_SKIP() << "handing folders to another user needs root";
  const uid_t nobody = 65534;
  // A folder planted by someone else, and a link planted by someone else.
  fs::path planted = root_ / "kestrin";
  fs::create_directories(planted / "backups");
  ASSERT_EQ(chown(planted.c_str(), nobody, nobody), 0);
  std::string why = Refusal(planted / "backups", 2);
  EXPECT_NE(why.find(planted.string()), std::string::npos) << why;
  EXPECT_NE(why.find("の所有です"), std::string::npos) << why;
  EXPECT_EQ(Refusal(planted / "backups", 1), "");  // only the named levels are ours

  fs::path link = root_ / "link";
  fs::create_directory_symlink(mine, link);
  EXPECT_EQ(Refusal(link), "");
  ASSERT_EQ(lchown(link.c_str(), nobody, nobody), 0);
  EXPECT_NE(Refusal(link).find("の所有です"), std::string::npos);
  fs::path theirs = root_ / "theirs";
  fs::create_directories(theirs);
  ASSERT_EQ(chown(theirs.c_str(), nobody, nobody), 0);
  fs::create_directory_symlink(theirs, root_ / "link2");
  EXPECT_NE(Refusal(root_ / "link2").find("の所有するフォルダーへのリンクです"), std::string::npos);

  // A backup into a folder that is not ours is no backup: the save stops.
  std::ofstream(root_ / "Book.xls") << "data";
  EXPECT_THROW(BackUpWorkbook(root_ / "Book.xls", theirs, std::chrono::system_clock::now()),
               AutomationError);
  EXPECT_TRUE(fs::is_empty(theirs));
}

}  // namespace
}  // namespace kestrin::automation::uno
