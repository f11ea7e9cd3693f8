// Where a path stored on Windows lives here: the mapping file, its errors,
// and the rule's three places.
#include "automation/windows_paths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "tests/support/scoped_env.h"
#include "tests/support/temp_folder.h"

namespace kestrin::automation {
namespace {

namespace fs = std::filesystem;
using kestrin::testing::TempFolder;
using kestrin::testing::WriteBytes;

using kestrin::testing::ScopedEnv;

void Touch(const fs::path& file) {
  fs::create_directories(file.parent_path());
  WriteBytes(file, "x");
}

TEST(WindowsPathMap, LongestPrefixWinsIgnoringCaseAndSeparators) {
  const WindowsPathMap map = WindowsPathMap::Parse(
      "\xEF\xBB\xBF# where the office's drives are\r\n"
      "\r\n"
      "  C: = /mnt/c/ \r\n"
      "c:/Daten/Verkauf=/srv/verkauf\r\n"
      "\\\\FS01\\Gemeinsam\\Äpfel = /mnt/äpfel\n"
      "\\\\fs01\\共有 = /mnt/share\n",
      "/cfg/map");
  ASSERT_EQ(map.entries().size(), 4u);
  EXPECT_EQ(map.entries()[1].prefix, "C:\\Daten\\Verkauf");
  EXPECT_EQ(map.entries()[1].line, 4);
  EXPECT_EQ(map.Rewrite("C:\\daten\\VERKAUF\\2024\\sales.mdb"), "/srv/verkauf/2024/sales.mdb");
  EXPECT_EQ(map.Rewrite("c:\\Daten\\Einkauf\\a.mdb"), "/mnt/c/Daten/Einkauf/a.mdb");
  EXPECT_EQ(map.Rewrite("C:/Daten/Verkäufe.xls"), "/mnt/c/Daten/Verkäufe.xls");  // not a prefix
  EXPECT_EQ(map.Rewrite("\\\\fs01\\gemeinsam\\äPFEL\\x.accdb"), "/mnt/äpfel/x.accdb");
  EXPECT_EQ(map.Rewrite("\\\\Fs01\\共有\\売上\\.\\月次\\..\\b.xls"), "/mnt/share/売上/b.xls");
  EXPECT_EQ(map.Rewrite("C:\\Daten\\Verkauf\\..\\..\\..\\x.mdb"), "/mnt/c/x.mdb");
  EXPECT_EQ(map.Rewrite("D:\\x.mdb"), std::nullopt);
  EXPECT_EQ(map.Rewrite("\\\\fs02\\共有\\x.mdb"), std::nullopt);
  EXPECT_EQ(map.Rewrite("/home/me/x.mdb"), std::nullopt);
  EXPECT_EQ(map.Rewrite("x.mdb"), std::nullopt);
}

TEST(WindowsPathMap, AMalformedLineNamesTheFileAndTheLine) {
  const std::pair<const char*, const char*> bad[] = {
      {"C:\\Daten /srv/daten\n", "1 行目: \"C:\\Daten /srv/daten\" に \"=\" がありません"},
      {"# ok\nDaten = /srv/daten\n", "2 行目: \"Daten\" はドライブ文字"},
      {"\\\\server = /srv\n", "1 行目: \"\\\\server\" はドライブ文字"},
      {"C: = srv/daten\n", "1 行目: C: のフォルダー \"srv/daten\" は絶対パス"},
      {"Z: =\n", "1 行目: Z: のフォルダー \"\""},
      {"Z: = /a\nz:\\ = /b\n", "2 行目: Z: は既に 1 行目で"},
      {"C: = /\xFF\n", "1 行目: UTF-8 のテキストではありません"},
  };
  for (const auto& [text, message] : bad) {
    SCOPED_TRACE(text);
    try {
      WindowsPathMap::Parse(text, "/home/me/.config/kestrin/windows-paths");
      ADD_FAILURE() << "no error";
    } catch (const PathMapError& e) {
      EXPECT_NE(
          e.description().find("/home/me/.config/kestrin/windows-paths、" + std::string(message)),
          std::string::npos)
          << e.description();
    }
  }
}

TEST(WindowsPathMap, TheUsersFileOrTheOneTheEnvironmentNames) {
  TempFolder dir;
  ScopedEnv home("HOME", dir / "home");
  ScopedEnv xdg("XDG_CONFIG_HOME", "");
  ScopedEnv named(kWindowsPathsVariable, "");
  EXPECT_EQ(WindowsPathsFile(), dir / "home/.config/kestrin/windows-paths");
  EXPECT_TRUE(WindowsPathMap::Load().entries().empty());  // no file: nothing mapped

  ScopedEnv config("XDG_CONFIG_HOME", dir / "config");
  fs::create_directories(dir.path() / "config/kestrin");
  WriteBytes(dir.path() / "config/kestrin/windows-paths", "Z: = /mnt/z\n");
  EXPECT_EQ(WindowsPathMap::Load().Rewrite("z:\\a.mdb"), "/mnt/z/a.mdb");

  ScopedEnv other(kWindowsPathsVariable, dir / "elsewhere");
  try {
    WindowsPathMap::Load();
    ADD_FAILURE() << "a named file that is missing was taken as no mapping";
  } catch (const PathMapError& e) {
    EXPECT_NE(e.description().find(dir / "elsewhere"), std::string::npos);
    EXPECT_NE(e.description().find(kWindowsPathsVariable), std::string::npos);
  }
  WriteBytes(dir.path() / "elsewhere", "Y: = /mnt/y\nbroken\n");
  EXPECT_THROW(WindowsPathMap::Load(), PathMapError);
}

TEST(LocateStoredPath, AsStoredThenMappedThenBesideIgnoringCase) {
  TempFolder dir;
  const fs::path root = dir.path();
  const WindowsPathMap map =
      WindowsPathMap::Parse("C:\\Daten = " + (root / "daten").string() + "\n", "map");
  int loads = 0;
  auto mapping = [&] {
    ++loads;
    return map;
  };

  Touch(root / "here.mdb");
  StoredPathSearch s = LocateStoredPath((root / "here.mdb").string(), mapping);
  EXPECT_EQ(s.found, (root / "here.mdb").string());
  EXPECT_EQ(loads, 0);  // the mapping is read only when needed

  // Folder and file names below the mapped prefix match ignoring case.
  Touch(root / "daten/Verkauf 2024/Umsätze.MDB");
  s = LocateStoredPath("c:\\DATEN\\verkauf 2024\\UMSÄTZE.mdb", mapping, (root / "front").string());
  EXPECT_EQ(s.found, (root / "daten/Verkauf 2024/Umsätze.MDB").string());

  // Not under the mapped folder: the file of that name beside the front-end.
  Touch(root / "front/Backend.accdb");
  s = LocateStoredPath("C:\\Daten\\alt\\backend.accdb", mapping, (root / "front").string());
  EXPECT_EQ(s.found, (root / "front/Backend.accdb").string());
  EXPECT_EQ(s.tried, (std::vector<std::string>{"C:\\Daten\\alt\\backend.accdb",
                                               (root / "daten/alt/backend.accdb").string(),
                                               (root / "front/backend.accdb").string()}));

  // Nowhere: every place looked at, and what no mapping covers.
  s = LocateStoredPath("Z:\\jackcess_test\\linkeeTest.accdb", mapping, (root / "front").string());
  EXPECT_EQ(s.found, "");
  EXPECT_EQ(s.tried, (std::vector<std::string>{"Z:\\jackcess_test\\linkeeTest.accdb",
                                               (root / "front/linkeeTest.accdb").string()}));
  EXPECT_EQ(s.unmapped_root, "Z:");
  EXPECT_EQ(s.map_file, "map");

  // Without a folder beside, a mapped path that is missing is not found;
  // names that differ only in case are no single match.
  Touch(root / "daten/a.mdb");
  Touch(root / "daten/A.MDB");
  s = LocateStoredPath("C:\\Daten\\a.Mdb", mapping);
  EXPECT_EQ(s.found, "");
  EXPECT_EQ(s.tried.size(), 2u);
}

}  // namespace
}  // namespace kestrin::automation
