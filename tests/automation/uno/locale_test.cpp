// The same export under LANG=C and under a Japanese locale: each runs in a
// child process of this binary with that environment and its own office,
// and both must leave the same workbook.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <fstream>

#include "export/export_to_sheet.h"
#include "tests/doubles/fake_access.h"
#include "tests/doubles/recording_ui.h"
#include "tests/support/office_harness.h"

extern char** environ;

namespace kestrin::automation::uno::testing {
namespace {

using ::testing::IsEmpty;

constexpr const char* kBooksVar = "KESTRIN_LOCALE_CHILD_BOOKS";  // "<a.xls>:<b.xlsx>"
constexpr const char* kReportVar = "KESTRIN_LOCALE_CHILD_REPORT";

// Records with dates, date-times, times, numbers and Japanese text.
void AddSales(kestrin::testing::FakeDatabase& db) {
  std::vector<std::vector<Value>> rows;
  const char* regions[] = {"東京", "大阪", "名古屋"};
  const char* teas[] = {"煎茶", "玉露", "ほうじ茶", "抹茶"};
  for (int i = 0; i < 12; ++i) {
    rows.push_back({Value(regions[i % 3]), Value(teas[i % 4]), Value(DateTime{45296.0 + i}),
                    Value(DateTime{45296.0 + i + (i + 1) / 48.0}), Value(DateTime{(i + 1) / 24.0}),
                    Value(1000 + 10 * i), Value(Currency{12345 * (i + 1)})});
  }
  db.AddTable("売上", {"地域", "商品", "日付", "日時", "時刻", "金額", "単価"}, rows);
}

// The export this binary runs as a child, into the workbooks named in its
// environment; writes the office's menu language to the report file.
TEST(LocaleChild, ExportsOnce) {
  const char* books = std::getenv(kBooksVar);
  if (books == nullptr) GTEST_SKIP() << "runs only as the child of LocaleTest";
  // The locale the parent chose exists: a missing one would make this run
  // the same as the C one and prove nothing.
  ASSERT_NE(std::setlocale(LC_ALL, ""), nullptr) << std::getenv("LANG");
  std::string list = books;
  kestrin::testing::FakeDatabase db;
  AddSales(db);
  fs::path source = NewPath("source", ".mdb");
  std::ofstream(source) << "stand-in";
  for (const std::string& book :
       {list.substr(0, list.find(':')), list.substr(list.find(':') + 1)}) {
    auto server = MakeUnoXlServer(Office().options);
    std::shared_ptr<XlApplication> xl = server->GetObject();
    xl->WorkbooksOpen(book);
    kestrin::testing::RecordingMessageBox box;
    kestrin::testing::RecordingProgress progress;
    exporting::ExportTargets targets{&db, xl, box, progress};
    std::int16_t row = 2, col = 1, step = 1, midasi = 1, display = 1, line = 1, filter = 1,
                 fit_row = 1, fit_col = 1;
    std::int32_t out = 0, cls = 0;
    exporting::ExportToSheet(targets, "売上", source.string(), "データ", row, col, step, out, cls,
                             midasi, display, line, filter, fit_row, fit_col, "集計", "地域",
                             "商品", "0", "0", "金額");
    ASSERT_THAT(box.shown, IsEmpty()) << box.shown.front().prompt;
  }
  std::ofstream(std::getenv(kReportVar)) << OfficeUiLanguage();
}

// A directory holding the compiled ja_JP.UTF-8 locale when the system has
// none (for LOCPATH), or empty when the system has it.
std::string JapaneseLocalePath(const fs::path& dir) {
  if (locale_t l = newlocale(LC_ALL_MASK, "ja_JP.UTF-8", nullptr)) {
    freelocale(l);
    return "";
  }
  fs::path out = dir / "locales";
  fs::create_directories(out);
  std::vector<std::string> args = {"localedef", "-i",    "ja_JP",
                                   "-f",        "UTF-8", (out / "ja_JP.UTF-8").string()};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, "localedef", nullptr, nullptr, argv.data(), environ) != 0) return "";
  int status = 0;
  waitpid(pid, &status, 0);
  return out.string();
}

struct ChildRun {
  fs::path xls, xlsx;
  std::string ui_language;
};

// Runs LocaleChild.ExportsOnce in a child with `env` set over the
// environment (LC_ALL, LC_MESSAGES and LANGUAGE removed).
ChildRun RunChild(const std::string& tag, const std::vector<std::string>& env) {
  ChildRun run{NewPath("export-" + tag, ".xls"), NewPath("export-" + tag, ".xlsx"), ""};
  std::vector<std::vector<Cell>> old = {{"売上一覧"}, {"", 12.5}};
  MakeWorkbook(run.xls, {{"表紙", {{"Kestrin"}}}, {"データ", old}});
  MakeWorkbook(run.xlsx, {{"表紙", {{"Kestrin"}}}, {"データ", old}});
  fs::path report = NewPath("report-" + tag, ".txt");
  std::vector<std::string> vars;
  for (char** e = environ; *e != nullptr; ++e) {
    std::string v = *e;
    std::string name = v.substr(0, v.find('='));
    if (name == "LC_ALL" || name == "LC_MESSAGES" || name == "LANGUAGE" || name == "LANG" ||
        name == "LOCPATH" || name.starts_with("GTEST_")) {
      continue;
    }
    vars.push_back(v);
  }
  for (const auto& v : env) vars.push_back(v);
  vars.push_back(std::string(kBooksVar) + "=" + run.xls.string() + ":" + run.xlsx.string());
  vars.push_back(std::string(kReportVar) + "=" + report.string());
  std::vector<std::string> args = {"/proc/self/exe", "--gtest_filter=LocaleChild.ExportsOnce"};
  std::vector<char*> argv, envp;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (auto& v : vars) envp.push_back(v.data());
  envp.push_back(nullptr);
  pid_t pid = -1;
  EXPECT_EQ(posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, argv.data(), envp.data()), 0);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << tag << " run failed";
  std::ifstream(report) >> run.ui_language;
  return run;
}

// Everything a reader sees of a saved workbook, as text.
std::string Contents(const fs::path& path) {
  SavedBook saved(path);
  std::string out;
  for (const std::string& sheet : saved.SheetNames()) {
    out += "[" + sheet + "]\n";
    for (int r = 1; r <= 16; ++r) {
      for (int c = 0; c < 9; ++c) {
        std::string a1 = ColumnLetters(c) + std::to_string(r);
        auto cell = saved.At(sheet, a1);
        if (cell.kind == SavedBook::Kind::kEmpty) continue;
        out += a1 + " " + cell.shown + " " + std::to_string(cell.number) + " " + cell.format_code +
               " " + cell.format_locale + "\n";
      }
    }
    for (const auto& [name, p] : saved.Pivots(sheet)) {
      out += "pivot " + name;
      for (const auto& d : p.data) out += " " + d;
      out += "\n";
    }
  }
  return out;
}

// The first <name ...>...</name> element of an XML text, or "".
std::string Element(const std::string& xml, const std::string& name) {
  size_t start = xml.find("<" + name + ">");
  if (start == std::string::npos) start = xml.find("<" + name + " ");
  size_t end = xml.find("</" + name + ">", start);
  if (start == std::string::npos || end == std::string::npos) return "";
  return xml.substr(start, end + name.size() + 3 - start);
}

TEST(LocaleTest, TheSameWorkbookUnderTheCLocaleAndUnderAJapaneseOne) {
  std::string locpath = JapaneseLocalePath(RunDir());
  std::vector<std::string> japanese = {"LANG=ja_JP.UTF-8"};
  if (!locpath.empty()) japanese.push_back("LOCPATH=" + locpath);
  ChildRun c = RunChild("c", {"LANG=C"});
  ChildRun ja = RunChild("ja", japanese);

  // The two offices differed: one showed English menus, the other Japanese.
  EXPECT_EQ(ja.ui_language, "ja");
  EXPECT_NE(c.ui_language, "ja");
  EXPECT_FALSE(c.ui_language.empty());

  std::string from_c = Contents(c.xls);
  EXPECT_EQ(Contents(ja.xls), from_c);
  EXPECT_EQ(Contents(ja.xlsx), Contents(c.xlsx));
  // And what was written is Japanese in style.
  SavedBook saved(c.xls);
  EXPECT_EQ(saved.At("データ", "C3").shown, "2024/1/5");
  EXPECT_EQ(saved.At("データ", "D3").shown, "2024/1/5 0:30:00");
  EXPECT_EQ(saved.At("データ", "E3").shown, "1:00:00");
  EXPECT_THAT(from_c, ::testing::HasSubstr("合計 / 金額"));
  EXPECT_THAT(from_c, ::testing::HasSubstr("総計"));
  // In the .xlsx the cells, their number formats, the column widths and the
  // pivot table are alike byte for byte. (Names the office gives in its menu
  // language, of its pivot cell styles and in default page headers, differ.)
  for (auto [part, element] : {std::pair{"xl/sharedStrings.xml", "sst"},
                               {"xl/styles.xml", "numFmts"},
                               {"xl/pivotTables/pivotTable1.xml", "pivotTableDefinition"},
                               {"xl/worksheets/sheet2.xml", "sheetData"},
                               {"xl/worksheets/sheet3.xml", "sheetData"},
                               {"xl/worksheets/sheet3.xml", "cols"}}) {
    std::string from_ja = Element(ZipMember(ja.xlsx, part), element);
    EXPECT_FALSE(from_ja.empty()) << part << " " << element;
    EXPECT_EQ(from_ja, Element(ZipMember(c.xlsx, part), element)) << part << " " << element;
  }
}

}  // namespace
}  // namespace kestrin::automation::uno::testing
