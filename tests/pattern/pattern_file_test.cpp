// Pattern files: the bytes on disk, the round trip, the reader's rules for
// odd lines, loads that stop part-way, and saves that fail.
#include "pattern/pattern_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "pattern/cp932.h"
#include "tests/support/temp_folder.h"

namespace kestrin::pattern {
namespace {

using exporting::ExportSettings;
using ::testing::HasSubstr;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

// What a freshly started window holds once a database and a workbook are
// chosen.
ExportSettings FreshSettings() {
  ExportSettings s;
  s.FileMoto = "/data/sales.mdb";
  s.FileSaki = "/data/report.xls";
  s.StartRow = 1;
  s.StartCol = 1;
  s.KaiGyo = 1;
  s.Midasi = 1;
  s.GridF = s.Line = s.Filter = s.FitRow = s.FitCol = s.PivotF = 1;
  s.PvtName = "ピボットテーブル1";
  return s;
}

// Every setting away from its default, each as wide as the format keeps.
ExportSettings FullSettings() {
  ExportSettings s;
  s.FileMoto = "/home/利用者/データ/売上 2026.mdb";
  s.TblKbn = 1;
  s.TblName = "月別売上ｸｴﾘ";
  s.FileSaki = "/home/利用者/集計表.xls";
  s.ShtName = "表ソ能";  // trail bytes 0x5C (backslash) in CP932
  s.StartRow = 999;
  s.StartCol = -99;
  s.KaiGyo = -9;
  s.OutGyo = -32768;
  s.ClsGyo = 32767;
  s.Midasi = 0;
  s.Display = 1;
  s.GridF = 0;
  s.Line = 0;
  s.Filter = 1;
  s.FitRow = 0;
  s.FitCol = 1;
  s.PivotF = 0;
  s.PvtName = "キine";  // in CP932 the bytes 83 4C 69 6E 65 spell "Line"
  s.PvtRow1 = "支店";
  s.PvtRow2 = "なし";
  s.PvtCol1 = "～全角チルダ";
  s.PvtCol2 = std::string(100, 'x');
  s.PvtVal = "金額 (円)";
  return s;
}

TEST(PatternFormat, FileBytesAreCp932LinesInFixedOrderWithCrLf) {
  TempFolder dir;
  ExportSettings s = FreshSettings();
  s.ShtName = "売上";
  WritePatternFile(dir / "a.kst", s);
  const std::string expected =
      "FileMoto=/data/sales.mdb\r\nTblKbn=0\r\nTblName=\r\nFileSaki=/data/report.xls\r\n"
      "ShtName=\x94\x84\x8f\xe3\r\nStartRow=1\r\nStartCol=1\r\nKaiGyo=1\r\nOutGyo=0\r\n"
      "ClsGyo=0\r\nMidasi=1\r\nDisplay=0\r\nGridF=1\r\nLine=1\r\nFilter=1\r\nFitRow=1\r\n"
      "FitCol=1\r\nPivotF=1\r\n"
      "PvtName=\x83\x73\x83\x7b\x83\x62\x83\x67\x83\x65\x81\x5b\x83\x75\x83\x8b"
      "1\r\nPvtRow1=\r\nPvtRow2=\r\nPvtCol1=\r\nPvtCol2=\r\nPvtVal=\r\n";
  EXPECT_EQ(ReadBytes(dir.path() / "a.kst"), expected);
}

TEST(PatternFormat, NegativeNumbersAreWrittenWithALeadingMinus) {
  ExportSettings s;
  s.ClsGyo = -1;
  s.OutGyo = -32768;
  std::string text = PatternText(s);
  EXPECT_THAT(text, HasSubstr("\r\nOutGyo=-32768\r\nClsGyo=-1\r\n"));
}

TEST(PatternFormat, EverySettingThatFitsTheWidthsComesBack) {
  TempFolder dir;
  for (const ExportSettings& saved : {FreshSettings(), FullSettings(), ExportSettings{}}) {
    WritePatternFile(dir / "p.kst", saved);
    ExportSettings loaded;
    loaded.FileMoto = "something else";
    loaded.StartRow = 42;
    PatFileRead(dir / "p.kst", loaded);
    EXPECT_EQ(loaded, saved) << PatternText(saved);
  }
}

TEST(PatternFormat, WhatTheWidthsCutIsCutOnLoad) {
  TempFolder dir;
  ExportSettings s;
  s.FileMoto = "/" + std::string(119, 'a');
  s.TblName = std::string(120, 'x');
  s.ShtName.clear();
  for (int i = 0; i < 120; ++i) s.ShtName += "表";
  s.StartRow = 1500;
  s.StartCol = -100;
  WritePatternFile(dir / "p.kst", s);
  ExportSettings loaded;
  PatFileRead(dir / "p.kst", loaded);
  EXPECT_EQ(loaded.FileMoto, s.FileMoto.substr(0, 100));
  EXPECT_EQ(loaded.TblName, std::string(100, 'x'));
  // Widths count characters, not bytes: 100 two-byte characters.
  EXPECT_EQ(loaded.ShtName, s.ShtName.substr(0, 100 * 3));
  EXPECT_EQ(loaded.StartRow, 150);
  EXPECT_EQ(loaded.StartCol, -10);
}

TEST(PatternFormat, SaveNameGetsOneKstExtension) {
  EXPECT_EQ(PatternSaveName("/p/abc"), "/p/abc.kst");
  EXPECT_EQ(PatternSaveName("/p/abc.kst"), "/p/abc.kst");
  EXPECT_EQ(PatternSaveName("/p/abc.KST"), "/p/abc.kst");
  EXPECT_EQ(PatternSaveName("/p/abc.Kst"), "/p/abc.kst");
  EXPECT_EQ(PatternSaveName("/p/abc.txt"), "/p/abc.txt.kst");
  EXPECT_EQ(PatternSaveName("/p/abckst"), "/p/abckst.kst");
  EXPECT_EQ(PatternSaveName(".kst"), "");
  EXPECT_EQ(PatternSaveName(".KST"), "");
  EXPECT_EQ(PatternSaveName(""), "");
  EXPECT_EQ(PatternSaveName("kst"), "kst.kst");
}

class PatternReader : public ::testing::Test {
 protected:
  // Loads the CP932 bytes over FullSettings(); returns the settings.
  ExportSettings Load(const std::string& bytes) {
    WriteBytes(path_, bytes);
    ExportSettings s = FullSettings();
    PatFileRead(path_, s);
    return s;
  }
  // Loads the bytes over `s`, expecting a failure; returns its description.
  std::string LoadFails(const std::string& bytes, ExportSettings& s, int number) {
    WriteBytes(path_, bytes);
    try {
      PatFileRead(path_, s);
    } catch (const PatternError& e) {
      EXPECT_EQ(e.number(), number) << e.description();
      EXPECT_THAT(e.description(), HasSubstr(path_));
      return e.description();
    }
    ADD_FAILURE() << "no failure for: " << bytes;
    return {};
  }

  TempFolder dir_;
  std::string path_ = dir_ / "odd.kst";
};

TEST_F(PatternReader, OrderBlanksCommentsAndRepeatedKeys) {
  ExportSettings s = Load(Utf8ToCp932("' exported every night\r\n"
                                      "\r\n"
                                      "Midasi=1\r\n"
                                      "StartRow=  7 \r\n"
                                      "TblName=   注文  \r\n"
                                      "StartRow=8\r\n"
                                      "# another comment\r\n")
                              .value());
  ExportSettings expected = FullSettings();
  expected.Midasi = 1;
  expected.StartRow = 8;
  expected.TblName = "注文";
  EXPECT_EQ(s, expected);
}

TEST_F(PatternReader, OneCharacterAfterTheKeyIsSkippedWhateverItIs) {
  EXPECT_EQ(Load("FileMoto C:\\a.mdb\r\n").FileMoto, "C:\\a.mdb");
  EXPECT_EQ(Load("FileMotoC:\\a.mdb\r\n").FileMoto, ":\\a.mdb");
  EXPECT_EQ(Load("FileMoto\x94\x84/a.mdb\r\n").FileMoto, "/a.mdb");  // a two-byte separator
  EXPECT_EQ(Load("TblName =x\r\n").TblName, "=x");
  EXPECT_EQ(Load("TblName\r\n").TblName, "");
  EXPECT_EQ(Load("TblName=\r\n").TblName, "");
  EXPECT_EQ(Load("   ShtName=s\r\n").ShtName, "s");
  ExportSettings s = FullSettings();
  std::string why = LoadFails("StartRow =5\r\n", s, 13);
  EXPECT_THAT(why, HasSubstr("1 行目"));
}

TEST_F(PatternReader, ALineBelongsToTheFirstKeyItContains) {
  ExportSettings s = Load("TblName=FileMoto\r\n");
  EXPECT_EQ(s.FileMoto, "");
  EXPECT_EQ(s.TblName, FullSettings().TblName);

  s = FullSettings();
  std::string why = LoadFails("Midasi=1\r\nPvtRow1=Line\r\nMidasi=0\r\n", s, 13);
  EXPECT_THAT(why, HasSubstr("2 行目"));
  EXPECT_THAT(why, HasSubstr("Line"));
  EXPECT_EQ(s.Midasi, 1);  // line 3 was never read

  // Keys are found in the decoded text: the CP932 bytes of "キine" hold the
  // bytes of "Line", the text does not.
  EXPECT_EQ(Load("PvtName=\x83\x4cine\r\n").PvtName, "キine");
  // Case matters.
  EXPECT_EQ(Load("TblName=t\r\nfilemoto=/x\r\n").FileMoto, FullSettings().FileMoto);
}

TEST_F(PatternReader, LineEndsAtCrLfCrOrLfAndTheLastMayHaveNone) {
  ExportSettings s = Load("TblName=a\rShtName=b\nStartRow=3\r\nKaiGyo=2");
  EXPECT_EQ(s.TblName, "a");
  EXPECT_EQ(s.ShtName, "b");
  EXPECT_EQ(s.StartRow, 3);
  EXPECT_EQ(s.KaiGyo, 2);
}

TEST_F(PatternReader, IntegersConvertLikeTheWindowsBoxes) {
  ExportSettings s = Load("OutGyo=2.5\r\nClsGyo= -3.5\r\n");
  EXPECT_EQ(s.OutGyo, 2);
  EXPECT_EQ(s.ClsGyo, -4);
  // "1e" is not a number.
  s = FullSettings();
  LoadFails("KaiGyo=1e\r\n", s, 13);
  s = FullSettings();
  LoadFails("OutGyo=99999\r\n", s, 6);
  s = FullSettings();
  LoadFails("Display=\r\n", s, 13);
  // A negative one-character setting leaves only the "-".
  s = FullSettings();
  LoadFails("GridF=-1\r\n", s, 13);
}

TEST_F(PatternReader, AFailureStopsAtItsLineAndKeepsWhatCameBefore) {
  ExportSettings s = FullSettings();
  std::string why = LoadFails(
      "FileMoto=/new.mdb\r\nTblKbn=0\r\nTblName=t\r\nFileSaki=/new.xls\r\nShtName=s\r\n"
      "StartRow=abc\r\nStartCol=5\r\n",
      s, 13);
  EXPECT_THAT(why, HasSubstr("6 行目"));
  EXPECT_THAT(why, HasSubstr("StartRow"));
  EXPECT_THAT(why, HasSubstr("abc"));
  EXPECT_EQ(s.FileMoto, "/new.mdb");
  EXPECT_EQ(s.TblKbn, 0);
  EXPECT_EQ(s.ShtName, "s");
  EXPECT_EQ(s.StartRow, FullSettings().StartRow);
  EXPECT_EQ(s.StartCol, FullSettings().StartCol);
}

TEST_F(PatternReader, TextThatIsNotCp932IsRefusedAtItsLine) {
  ExportSettings s = FullSettings();
  // A lead byte without its trail byte, then a UTF-8 file.
  std::string why = LoadFails("TblName=a\r\nShtName=\x81\r\nStartRow=3\r\n", s, 5);
  EXPECT_THAT(why, HasSubstr("2 行目"));
  EXPECT_EQ(s.TblName, "a");
  EXPECT_EQ(s.StartRow, FullSettings().StartRow);
}

TEST_F(PatternReader, WhatIsNoPatternFileIsRefusedWholeBeforeAnySettingChanges) {
  // A UTF-8 file (with and without a byte-order mark), an empty file, a
  // text file: nothing is applied, and a UTF-8 file is told how to convert.
  for (const std::string& bytes :
       {std::string("TblName=a\r\nShtName=\xe5\xa3\xb2\xe4\xb8\x8a\r\n"),
        std::string("\xEF\xBB\xBFTblName=a\r\n"), std::string(), std::string(" \r\n"),
        std::string("Dear diary,\r\ntoday I exported.\r\n")}) {
    ExportSettings s = FullSettings();
    const std::string why = LoadFails(bytes, s, kNotAPatternFile);
    EXPECT_EQ(s, FullSettings()) << bytes;
    EXPECT_EQ(why.find("iconv") != std::string::npos, bytes.find("TblName") != std::string::npos)
        << why;
  }
  // Half-width katakana in CP932 that happen to read as UTF-8 stay CP932.
  EXPECT_EQ(Load("ShtName=\xc4\xb3\r\n").ShtName, "ﾄｳ");
}

TEST_F(PatternReader, MissingFoldersAndUnreadableFilesNameTheFile) {
  ExportSettings s = FullSettings();
  const std::string missing = dir_ / "none.kst";
  try {
    PatFileRead(missing, s);
    ADD_FAILURE();
  } catch (const PatternError& e) {
    EXPECT_EQ(e.number(), 53);
    EXPECT_THAT(e.description(), HasSubstr(missing));
  }
  try {
    PatFileRead(dir_.path().string(), s);
    ADD_FAILURE();
  } catch (const PatternError& e) {
    EXPECT_EQ(e.number(), 75);
  }
  if (geteuid() != 0) {  // root reads any file
    WriteBytes(path_, "TblName=x\r\n");
    ::chmod(path_.c_str(), 0);
    try {
      PatFileRead(path_, s);
      ADD_FAILURE();
    } catch (const PatternError& e) {
      EXPECT_EQ(e.number(), 70);
    }
  }
  EXPECT_EQ(s, FullSettings());
}

class PatternWriter : public ::testing::Test {
 protected:
  // Names in the folder, so a test can tell that nothing was left behind.
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_.path())) {
      names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  TempFolder dir_;
  std::string path_ = dir_ / "p.kst";
};

TEST_F(PatternWriter, TextOutsideCp932IsRefusedAndTheOldFileStays) {
  WriteBytes(path_, "old contents");
  for (const char* outside : {"売上😀", "𠮷野家", "Ω≠ä", "\xff"}) {
    ExportSettings s = FreshSettings();
    s.ShtName = outside;
    try {
      WritePatternFile(path_, s);
      ADD_FAILURE() << outside;
    } catch (const PatternError& e) {
      EXPECT_EQ(e.number(), 5);
      EXPECT_THAT(e.description(), HasSubstr("ShtName"));
      EXPECT_THAT(e.description(), HasSubstr(path_));
    }
    EXPECT_EQ(ReadBytes(path_), "old contents");
    EXPECT_EQ(Entries(), std::vector<std::string>{"p.kst"});
  }
}

TEST_F(PatternWriter, ALineBreakInAValueIsRefused) {
  ExportSettings s = FreshSettings();
  s.FileSaki = "/data/a\nDisplay=1.xls";
  EXPECT_THROW(WritePatternFile(path_, s), PatternError);
  EXPECT_FALSE(std::filesystem::exists(path_));
  s.FileSaki = "/data/a\r.xls";
  EXPECT_THROW(WritePatternFile(path_, s), PatternError);
  EXPECT_TRUE(Entries().empty());
}

TEST_F(PatternWriter, ReplacesAnExistingFileWholeAndKeepsItsPermissions) {
  WriteBytes(path_, std::string(5000, 'z'));
  ::chmod(path_.c_str(), 0640);
  ExportSettings s = FreshSettings();
  WritePatternFile(path_, s);
  EXPECT_EQ(ReadBytes(path_), Utf8ToCp932(PatternText(s)).value());
  struct stat st {};
  ASSERT_EQ(::stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(Entries(), std::vector<std::string>{"p.kst"});
}

TEST_F(PatternWriter, AFolderThatCannotTakeTheFileLeavesEverythingAsItWas) {
  ExportSettings s = FreshSettings();
  try {
    WritePatternFile(dir_ / "no/such/folder/p.kst", s);
    ADD_FAILURE();
  } catch (const PatternError& e) {
    EXPECT_EQ(e.number(), 76);
    EXPECT_THAT(e.description(), HasSubstr("no/such/folder/p.kst"));
  }
  // A folder in the way of the file: the rename fails, the temporary goes.
  std::filesystem::create_directory(path_);
  EXPECT_THROW(WritePatternFile(path_, s), PatternError);
  EXPECT_EQ(Entries(), std::vector<std::string>{"p.kst"});
  EXPECT_TRUE(std::filesystem::is_directory(path_));

  if (geteuid() != 0) {  // root writes anywhere
    std::filesystem::remove(path_);
    WriteBytes(path_, "old");
    ::chmod(dir_.path().c_str(), 0500);
    EXPECT_THROW(WritePatternFile(path_, s), PatternError);
    ::chmod(dir_.path().c_str(), 0700);
    EXPECT_EQ(ReadBytes(path_), "old");
  }
}

}  // namespace
}  // namespace kestrin::pattern
