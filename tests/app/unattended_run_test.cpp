// The unattended run over the engine doubles, with no window and no Qt:
// pattern files on disk, each loaded and exported by a session nobody
// watches, with the messages in their order and the exit statuses.
#include "app/unattended_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <future>
#include <memory>
#include <stdexcept>
#include <string>

#include "pattern/pattern_file.h"
#include "tests/doubles/fake_servers.h"
#include "tests/doubles/recording_ui.h"
#include "tests/support/temp_folder.h"

namespace kestrin::app {
namespace {

using kestrin::testing::ShownMessage;
using ::testing::ElementsAre;
using ::testing::StartsWith;

constexpr const char* kDone = "出力、終了しました。";

class UnattendedRunTest : public ::testing::Test {
 protected:
  UnattendedRunTest() {
    database_ = dir_ / "販売.mdb";
    workbook_ = dir_ / "集計.xls";
    kestrin::testing::WriteBytes(database_, "");
    kestrin::testing::WriteBytes(workbook_, "");
    auto db = std::make_shared<kestrin::testing::FakeDatabase>();
    db->AddTable("売上", {"支店", "金額"},
                 {{automation::Value(std::string("東")), automation::Value(10)},
                  {automation::Value(std::string("西")), automation::Value(20)}});
    access_.make = [db, path = database_] {
      auto app = std::make_shared<kestrin::testing::FakeAccessApplication>();
      app->AddFile(path, db);
      return app;
    };
    auto server = std::make_unique<kestrin::testing::FakeXlServer>();
    server->make = [this] {
      office_ = std::make_shared<kestrin::testing::FakeExcel>();
      book_ = &office_->AddFile(workbook_, {"Data"});
      return office_;
    };
    office_server_ = server.get();
    session_ = std::make_unique<OfficeSession>(std::move(server), /*office_on_screen=*/false);
  }
  ~UnattendedRunTest() override { std::fclose(console_); }

  // A pattern exporting table 売上 into sheet Data from A1, saved (Display
  // 1), without formatting or pivot; `edit` changes it.
  template <class Edit>
  std::string Pattern(const std::string& name, Edit edit) {
    exporting::ExportSettings s;
    s.FileMoto = database_;
    s.TblName = "売上";
    s.FileSaki = workbook_;
    s.ShtName = "Data";
    s.StartRow = s.StartCol = s.KaiGyo = 1;
    s.Midasi = s.Display = 1;
    edit(s);
    const std::string path = dir_ / name;
    pattern::WritePatternFile(path, s);
    return path;
  }

  int Run(const std::vector<std::string>& patterns) {
    UnattendedServices services{access_, *session_, messages_, progress_, &notices_};
    return RunPatterns(patterns, services);
  }

  kestrin::testing::TempFolder dir_;
  std::string database_, workbook_;
  kestrin::testing::FakeAccessServer access_;
  std::shared_ptr<kestrin::testing::FakeExcel> office_;
  kestrin::testing::FakeWorkbook* book_ = nullptr;           // the workbook file in office_
  kestrin::testing::FakeXlServer* office_server_ = nullptr;  // owned by session_
  std::unique_ptr<OfficeSession> session_;
  kestrin::testing::RecordingMessageBox messages_;  // faults
  kestrin::testing::RecordingMessageBox notices_;
  std::FILE* console_ = std::fopen("/dev/null", "w");
  ConsoleProgress progress_{console_, false};
};

TEST_F(UnattendedRunTest, APatternIsExportedSavedAndOnlyItsEndIsShown) {
  const std::string pattern = Pattern("a.kst", [](auto&) {});
  EXPECT_EQ(Run({pattern}), kExitExported);
  EXPECT_THAT(messages_.shown, ::testing::IsEmpty());
  EXPECT_THAT(notices_.shown, ElementsAre(ShownMessage{pattern + ": " + kDone, ui::kTitle}));
  ASSERT_TRUE(book_);
  EXPECT_EQ(book_->saves, 1);
  EXPECT_TRUE(book_->closed);
  const kestrin::testing::FakeSheet& sheet = book_->sheets.at(0);
  EXPECT_EQ(sheet.Cell(1, 1)->text(), "支店");
  EXPECT_EQ(sheet.Cell(3, 2)->integer(), 20);
  EXPECT_TRUE(office_->quit());  // the session's own office, ended at the end
}

// The office starts while the database opens: the database's opening waits
// (a while at most) for the office to be asked for, which happens only if
// both go on at once.
TEST_F(UnattendedRunTest, TheOfficeStartsWhileTheDatabaseOpens) {
  std::promise<void> office_asked;
  std::future<void> asked = office_asked.get_future();
  bool overlapped = false;
  office_server_->make = [make = office_server_->make, &office_asked] {
    office_asked.set_value();
    return make();
  };
  access_.make = [make = access_.make, &asked, &overlapped] {
    overlapped = asked.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    return make();
  };
  EXPECT_EQ(Run({Pattern("a.kst", [](auto&) {})}), kExitExported);
  EXPECT_TRUE(overlapped);
  EXPECT_THAT(messages_.shown, ::testing::IsEmpty());
  ASSERT_TRUE(book_);
  EXPECT_EQ(book_->saves, 1);
}

TEST_F(UnattendedRunTest,
       MissingFilesBadPatternsAndInternalFaultsAreToldOnceAndTheNextPatternRuns) {
  const std::string missing = dir_ / "なし.mdb";
  const std::string no_database = Pattern("b.kst", [&](auto& s) { s.FileMoto = missing; });
  const std::string bad = dir_ / "bad.kst";
  kestrin::testing::WriteBytes(bad, "StartRow=x\r\n");
  const std::string good = Pattern("a.kst", [](auto&) {});
  EXPECT_EQ(Run({no_database, bad, good}), kExitBadInput);
  EXPECT_THAT(
      messages_.shown,
      ElementsAre(
          ShownMessage{no_database + ": ファイル " + missing + " は見つかりません。", "Kestrin"},
          ShownMessage{no_database + ": " + kNotCompleted, ui::kTitle},
          ::testing::Field(&ShownMessage::prompt,
                           StartsWith(bad + ": 解析パターンを読み込めませんでした。" + bad))));
  EXPECT_THAT(messages_.shown[2].prompt, ::testing::HasSubstr("(エラーNO:13)"));
  EXPECT_THAT(notices_.shown, ElementsAre(ShownMessage{good + ": " + kDone, ui::kTitle}));

  // Files that are no pattern files: one line each, nothing started.
  const std::string empty = dir_ / "empty.kst", text = dir_ / "notes.kst", utf8 = dir_ / "u.kst";
  kestrin::testing::WriteBytes(empty, "");
  kestrin::testing::WriteBytes(text, "exports every night\r\n");
  kestrin::testing::WriteBytes(utf8, "FileMoto=" + database_ + "\r\nTblName=売上\r\n");
  const int access_started = access_.created;
  for (const std::string& file : {empty, text, utf8}) {
    messages_.shown.clear();
    notices_.shown.clear();
    EXPECT_EQ(Run({file}), kExitBadInput);
    ASSERT_EQ(messages_.shown.size(), 1u) << file;
    EXPECT_THAT(messages_.shown[0].prompt,
                StartsWith(file + ": 解析パターンを読み込めませんでした。"));
    EXPECT_EQ(messages_.shown[0].prompt.find("iconv") != std::string::npos, file == utf8);
    EXPECT_THAT(notices_.shown, ::testing::IsEmpty());
  }
  EXPECT_EQ(access_.created, access_started);

  // A fault of the program itself is told as what it is, not as a pattern
  // that could not be read.
  messages_.shown.clear();
  access_.make = []() -> std::shared_ptr<kestrin::testing::FakeAccessApplication> {
    throw std::logic_error("no instance for this test");
  };
  EXPECT_EQ(Run({good}), kExitNotExported);
  EXPECT_THAT(messages_.shown,
              ElementsAre(ShownMessage{good + ": エラーNO:51\r\nパターン '" + good +
                                           "' の無人実行 で内部エラーが発生しました: "
                                           "std::logic_error: no instance for this test",
                                       ui::kTitle},
                          ShownMessage{good + ": " + kNotCompleted, ui::kTitle}));
}

}  // namespace
}  // namespace kestrin::app
