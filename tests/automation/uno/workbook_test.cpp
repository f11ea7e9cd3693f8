// Opening, listing, activating, saving and closing workbooks in the office.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "automation/failure.h"
#include "tests/support/japanese_text.h"
#include "tests/support/office_harness.h"

namespace kestrin::automation::uno::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::vector<std::string> Names(XlApplication& app) {
  auto sheets = app.ActiveWorkbook()->Sheets();
  std::vector<std::string> names;
  for (int i = 1; i <= sheets->Count(); ++i) names.push_back(sheets->Item(i)->Name());
  return names;
}

fs::path ThreeSheets(const std::string& ext) {
  fs::path path = NewPath("three", ext);
  MakeWorkbook(path, {{"Sheet1", {{"a", 1.0}}},
                      {"売上 データ", {{"japanese and spaced"}}},
                      {"Last one", {{"", 42.0}}}});
  return path;
}

TEST(WorkbookTest, ListsSheetsInOrderAndFindsThemByName) {
  auto& app = *Office().app;
  fs::path path = ThreeSheets(".xls");
  app.WorkbooksOpen(path.string());
  EXPECT_THAT(Names(app), ElementsAre("Sheet1", "売上 データ", "Last one"));
  auto sheets = app.ActiveWorkbook()->Sheets();
  EXPECT_EQ(sheets->Item("売上 データ")->Name(), "売上 データ");
  EXPECT_EQ(sheets->Item("last ONE")->Name(), "Last one");  // Excel ignores case
  sheets->Item("Last one")->Activate();
  EXPECT_EQ(app.ActiveSheet()->Name(), "Last one");
  app.ActiveWorkbook()->Close(false);
}

TEST(WorkbookTest, MissingSheetsAreSubscriptOutOfRange) {
  auto& app = *Office().app;
  app.WorkbooksOpen(ThreeSheets(".xls").string());
  auto sheets = app.ActiveWorkbook()->Sheets();
  for (int bad : {0, 4, -1}) {
    try {
      sheets->Item(bad);
      ADD_FAILURE() << bad;
    } catch (const AutomationError& e) {
      EXPECT_EQ(testsupport::EnglishWord(e.description()), "") << e.description();
      EXPECT_EQ(e.number(), 9);
    }
  }
  try {
    sheets->Item("No such sheet");
    FAIL();
  } catch (const AutomationError& e) {
    EXPECT_EQ(testsupport::EnglishWord(e.description()), "") << e.description();
    EXPECT_EQ(e.number(), 9);
    EXPECT_THAT(e.description(), HasSubstr("No such sheet"));
  }
  app.ActiveWorkbook()->Close(false);
}

TEST(WorkbookTest, MissingOrUnreadableFilesAreClearErrors) {
  auto& app = *Office().app;
  try {
    app.WorkbooksOpen((RunDir() / "nowhere.xls").string());
    FAIL();
  } catch (const AutomationError& e) {
    EXPECT_EQ(testsupport::EnglishWord(e.description()), "") << e.description();
    EXPECT_EQ(e.number(), 1004);
    EXPECT_THAT(e.description(), HasSubstr("nowhere.xls"));
  }
  fs::path folder = RunDir() / "a folder.xls";
  fs::create_directories(folder);
  EXPECT_THROW(app.WorkbooksOpen(folder.string()), AutomationError);
  // A file that is no spreadsheet at all.
  fs::path junk = NewPath("junk", ".xls");
  {
    std::ofstream out(junk, std::ios::binary);
    out << std::string("\xD0\xCF\x11\xE0 not really a workbook", 27);
  }
  try {
    app.WorkbooksOpen(junk.string());
    // The office may read such bytes as text; then it must be a workbook.
    EXPECT_GE(app.ActiveWorkbook()->Sheets()->Count(), 1);
    app.ActiveWorkbook()->Close(false);
  } catch (const AutomationError& e) {
    EXPECT_EQ(testsupport::EnglishWord(e.description()), "") << e.description();
    EXPECT_EQ(e.number(), 1004);
  }
}

TEST(WorkbookTest, NoOpenWorkbookIsObjectNotSet) {
  // A session of its own, so that no workbook is open in it.
  auto server = MakeUnoXlServer(Office().options);
  auto app = server->GetObject();
  try {
    app->ActiveWorkbook();
    FAIL();
  } catch (const AutomationError& e) {
    EXPECT_EQ(testsupport::EnglishWord(e.description()), "") << e.description();
    EXPECT_EQ(e.number(), 91);
  }
  EXPECT_THROW(app->ActiveSheet(), AutomationError);
  EXPECT_THROW(app->Goto("r1c1"), AutomationError);
  app->Quit();  // attached: lets go, the shared office keeps running
  EXPECT_THROW(app->ActiveWorkbook(), AutomationError);
  auto again = server->GetObject();
  again->WorkbooksOpen(ThreeSheets(".xls").string());
  EXPECT_EQ(again->ActiveWorkbook()->Sheets()->Count(), 3);
  again->ActiveWorkbook()->Close(false);
}

TEST(WorkbookTest, SavesInPlaceKeepingTheActiveSheetAndOtherSheets) {
  for (const char* ext : {".xls", ".xlsx"}) {
    SCOPED_TRACE(ext);
    auto& app = *Office().app;
    fs::path path = ThreeSheets(ext);
    app.WorkbooksOpen(path.string());
    app.ActiveWorkbook()->Sheets()->Item("売上 データ")->Activate();
    app.Goto("r2c3");
    app.ActiveCell()->SetValue(Value("written"));
    app.SetDisplayAlerts(false);
    app.ActiveWorkbook()->Save();
    app.ActiveWorkbook()->Close(false);

    SavedBook saved(path);
    EXPECT_THAT(saved.SheetNames(), ElementsAre("Sheet1", "売上 データ", "Last one"));
    EXPECT_EQ(saved.At("売上 データ", "C2").text, "written");
    EXPECT_EQ(saved.At("売上 データ", "A1").text, "japanese and spaced");
    EXPECT_EQ(saved.At("Sheet1", "B1").number, 1.0);
    EXPECT_EQ(saved.At("Last one", "B1").number, 42.0);
    EXPECT_EQ(saved.ActiveSheetName(), "売上 データ");
  }
}

TEST(WorkbookTest, FirstSaveOfEachWorkbookKeepsABackupOfTheOriginal) {
  auto& app = *Office().app;
  fs::path path = ThreeSheets(".xls");
  std::string original;
  {
    std::ifstream in(path, std::ios::binary);
    original.assign(std::istreambuf_iterator<char>(in), {});
  }
  fs::path backups = Office().options.backup_dir;
  auto count = [&] {
    int n = 0;
    std::error_code ec;
    for (auto& e : fs::directory_iterator(backups, ec)) {
      n += e.path().filename().string().rfind(path.stem().string() + "-", 0) == 0;
    }
    return n;
  };
  app.WorkbooksOpen(path.string());
  app.Goto("r5c5");
  app.ActiveCell()->SetValue(Value(1));
  app.ActiveWorkbook()->Save();
  app.Goto("r6c5");
  app.ActiveCell()->SetValue(Value(2));
  app.ActiveWorkbook()->Save();
  app.ActiveWorkbook()->Close(false);
  ASSERT_EQ(count(), 1);
  for (auto& e : fs::directory_iterator(backups)) {
    if (e.path().filename().string().rfind(path.stem().string() + "-", 0) != 0) continue;
    std::ifstream in(e.path(), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), original);
  }
  EXPECT_EQ(SavedBook(path).At("Sheet1", "E6").number, 2.0);
}

TEST(WorkbookTest, AFailedBackupStopsTheSave) {
  // The backup folder cannot be made: a file stands in its way.
  fs::path blocker = NewPath("blocker", "");
  std::ofstream(blocker) << "x";
  UnoOptions options = Office().options;
  options.backup_dir = (blocker / "backups").string();
  auto server = MakeUnoXlServer(options);
  auto app = server->GetObject();
  fs::path path = ThreeSheets(".xls");
  auto before = fs::last_write_time(path);
  app->WorkbooksOpen(path.string());
  app->Goto("r9c9");
  app->ActiveCell()->SetValue(Value("must not be saved"));
  try {
    app->ActiveWorkbook()->Save();
    FAIL();
  } catch (const AutomationError& e) {
    EXPECT_EQ(testsupport::EnglishWord(e.description()), "") << e.description();
    EXPECT_THAT(e.description(), HasSubstr("保存していません"));
  }
  app->ActiveWorkbook()->Close(false);
  app->Quit();
  EXPECT_EQ(fs::last_write_time(path), before);
  EXPECT_EQ(SavedBook(path).At("Sheet1", "I9").kind, SavedBook::Kind::kEmpty);
}

TEST(WorkbookTest, ExcelMadeWorkbooksKeepTheirSheetsChartsAndCells) {
  auto& app = *Office().app;
  struct Case {
    const char* file;
    std::vector<std::string> sheets;
  };
  for (const Case& c : {Case{"WithChart.xls", {"Sheet1", "Sheet2", "Sheet3"}},
                        Case{"44010-SingleChart.xls", {"auto_1", "Graph2"}},
                        Case{"chart_sheet.xlsx", {"Sheet1", "Sheet2", "Chart1", "Sheet3"}},
                        Case{"unicodeSheetName.xlsx", {"Sheet・1"}}}) {
    SCOPED_TRACE(c.file);
    fs::path path = CopyWorkbook(c.file);
    int charts_before = 0;
    std::string a1_before;
    {
      SavedBook before(path);
      for (const auto& s : before.SheetNames()) charts_before += before.ChartCount(s);
      a1_before = before.At(c.sheets[0], "A1").text;
    }
    app.WorkbooksOpen(path.string());
    EXPECT_EQ(Names(app), c.sheets);
    app.ActiveWorkbook()->Sheets()->Item(c.sheets[0])->Activate();
    app.Goto("r40c8");
    app.ActiveCell()->SetValue(Value("added"));
    app.ActiveWorkbook()->Save();
    app.ActiveWorkbook()->Close(false);

    SavedBook after(path);
    EXPECT_EQ(after.SheetNames(), c.sheets);
    int charts_after = 0;
    for (const auto& s : after.SheetNames()) charts_after += after.ChartCount(s);
    EXPECT_EQ(charts_after, charts_before);
    EXPECT_EQ(after.At(c.sheets[0], "A1").text, a1_before);
    EXPECT_EQ(after.At(c.sheets[0], "H40").text, "added");
  }
}

TEST(WorkbookTest, TheActiveSheetIsTheFilesOwnUntilAnotherIsChosen) {
  auto& app = *Office().app;
  fs::path path = CopyWorkbook("chart_sheet.xlsx");  // opens on its chart sheet
  app.WorkbooksOpen(path.string());
  EXPECT_EQ(app.ActiveSheet()->Name(), "Chart1");
  app.ActiveWorkbook()->Sheets()->Item("Sheet3");  // looking is not choosing
  app.ActiveWorkbook()->Save();
  EXPECT_EQ(SavedBook(path).ActiveSheetName(), "Chart1");
  app.ActiveWorkbook()->Sheets()->Item("Sheet2")->Activate();
  app.ActiveWorkbook()->Save();
  app.ActiveWorkbook()->Close(false);
  EXPECT_EQ(SavedBook(path).ActiveSheetName(), "Sheet2");
}

TEST(WorkbookTest, AWorkbookClosedInTheOfficeIsAnErrorNotALostOffice) {
  auto& app = *Office().app;
  fs::path path = ThreeSheets(".xls");
  app.WorkbooksOpen(path.string());
  auto sheets = app.ActiveWorkbook()->Sheets();
  ASSERT_TRUE(CloseInOffice(path));
  try {
    sheets->Count();
    FAIL();
  } catch (const AutomationError& e) {
    EXPECT_EQ(testsupport::EnglishWord(e.description()), "") << e.description();
    EXPECT_EQ(e.number(), 1004);
    EXPECT_THAT(e.description(), HasSubstr("既に閉じられています"));
  }
  // The office and the session still work.
  EXPECT_THROW(app.ActiveWorkbook(), AutomationError);
  app.WorkbooksOpen(path.string());
  EXPECT_EQ(app.ActiveWorkbook()->Sheets()->Count(), 3);
  app.ActiveWorkbook()->Close(false);
}

TEST(WorkbookTest, ShowingWithoutADisplayIsAnError) {
  auto& app = *Office().app;  // started headless
  app.WorkbooksOpen(ThreeSheets(".xls").string());
  try {
    app.SetVisible(true);
    FAIL();
  } catch (const AutomationError& e) {
    EXPECT_EQ(testsupport::EnglishWord(e.description()), "") << e.description();
    EXPECT_EQ(e.number(), 1004);
    EXPECT_THAT(e.description(), HasSubstr("ディスプレイ"));
  }
  EXPECT_EQ(app.ActiveWorkbook()->Sheets()->Count(), 3);  // still usable
  app.ActiveWorkbook()->Close(false);
}

TEST(WorkbookTest, OpeningTheSameFileAgainReusesTheOpenWorkbook) {
  auto& app = *Office().app;
  fs::path a = ThreeSheets(".xls");
  fs::path b = CopyWorkbook("SimpleWithAutofilter.xls");
  app.WorkbooksOpen(a.string());
  app.WorkbooksOpen(b.string());
  EXPECT_EQ(app.ActiveSheet()->Name(), "Sheet1");
  EXPECT_EQ(app.ActiveWorkbook()->Sheets()->Count(), 3);
  app.Goto("r7c7");  // the active cell of b
  app.WorkbooksOpen(a.string());
  EXPECT_EQ(app.ActiveWorkbook()->Sheets()->Item(2)->Name(), "売上 データ");
  // The active cell is a's own again, not the one gone to in b.
  app.ActiveCell()->SetValue(Value("in a"));
  app.ActiveWorkbook()->Save();
  EXPECT_EQ(SavedBook(a).At("Sheet1", "G7").kind, SavedBook::Kind::kEmpty);
  app.ActiveWorkbook()->Close(false);
  EXPECT_EQ(app.ActiveWorkbook()->Sheets()->Item(2)->Name(), "Sheet2");
  app.ActiveWorkbook()->Close(false);
  EXPECT_THROW(app.ActiveWorkbook(), AutomationError);
}

}  // namespace
}  // namespace kestrin::automation::uno::testing
