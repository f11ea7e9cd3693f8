// The files a pattern names, found here: Windows paths through the user's
// mapping, and the missing-file message with the places looked at.
#include "pattern/pattern_paths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "automation/windows_paths.h"
#include "tests/support/temp_folder.h"

namespace kestrin::pattern {
namespace {

using kestrin::testing::TempFolder;
using kestrin::testing::WriteBytes;

class PatternPaths : public ::testing::Test {
 protected:
  void SetUp() override { ::setenv(automation::kWindowsPathsVariable, map_.c_str(), 1); }
  void TearDown() override { ::unsetenv(automation::kWindowsPathsVariable); }

  TempFolder dir_;
  std::string map_ = dir_ / "windows-paths";
};

TEST_F(PatternPaths, WindowsPathsAreFoundThroughTheMappingOrNamedWithThePlacesLookedAt) {
  WriteBytes(map_, "C:\\Daten = " + dir_.path().string() + "\n");
  std::filesystem::create_directories(dir_.path() / "Verkauf");
  WriteBytes(dir_.path() / "Verkauf/Sales.mdb", "x");

  PatternFile f = LocatePatternFile("C:\\DATEN\\verkauf\\sales.MDB");
  EXPECT_TRUE(f.found);
  EXPECT_EQ(f.path, (dir_.path() / "Verkauf/Sales.mdb").string());

  f = LocatePatternFile("C:\\Daten\\Einkauf\\buy.xls");
  EXPECT_FALSE(f.found);
  EXPECT_EQ(f.path, "C:\\Daten\\Einkauf\\buy.xls");
  EXPECT_EQ(f.message, "ファイル C:\\Daten\\Einkauf\\buy.xls は見つかりません。\r\n探した場所: " +
                           (dir_.path() / "Einkauf/buy.xls").string());

  f = LocatePatternFile("\\\\fs01\\共有\\a.xls");
  EXPECT_EQ(f.message,
            "ファイル \\\\fs01\\共有\\a.xls は見つかりません。\r\n\\\\fs01\\共有 "
            "をこのコンピューターのフォルダーに読み替える行が " +
                map_ + " にありません。");

  // A path of this machine keeps the message as it always was.
  EXPECT_EQ(LocatePatternFile("/nowhere/a.mdb").message,
            "ファイル /nowhere/a.mdb は見つかりません。");

  // A mapping line in error is named, never passed over in silence.
  WriteBytes(map_, "C:\\Daten -> /srv\n");
  f = LocatePatternFile("C:\\Daten\\Verkauf\\Sales.mdb");
  EXPECT_FALSE(f.found);
  EXPECT_NE(f.message.find(map_ + "、1 行目"), std::string::npos) << f.message;
}

}  // namespace
}  // namespace kestrin::pattern
