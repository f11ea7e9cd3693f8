// The office side under real-world faults: a workbook another user holds, a
// killed office that left its lock behind, an office of ours that stopped
// answering, a pipe socket of another user, and failures described in the
// user's terms.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "automation/failure.h"
#include "automation/uno/office_lock.h"
#include "automation/uno/office_process.h"
#include "export/export_to_sheet.h"
#include "tests/doubles/fake_access.h"
#include "tests/doubles/recording_ui.h"
#include "tests/support/japanese_text.h"
#include "tests/support/office_harness.h"

namespace kestrin::automation::uno::testing {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;
using Clock = std::chrono::steady_clock;

std::string Bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

fs::path Book(const std::string& stem) {
  fs::path path = NewPath(stem, ".xls");
  MakeWorkbook(path, {{"Sheet1", {{"keep me"}}}, {"Data", {{"old"}}}});
  return path;
}

// Exports a small table into `sheet` of the workbook open in `xl`, saving
// it; returns the messages shown.
std::vector<std::string> Export(std::shared_ptr<XlApplication>& xl, const std::string& sheet,
                                const std::string& table = "T") {
  kestrin::testing::FakeDatabase db;
  db.AddTable(table, {"Name", "Amount"}, {{Value("tea"), Value(3)}, {Value("rice"), Value(5)}});
  fs::path source = NewPath("source", ".mdb");
  std::ofstream(source) << "stand-in";
  kestrin::testing::RecordingMessageBox box;
  kestrin::testing::RecordingProgress progress;
  exporting::ExportTargets targets{&db, xl, box, progress};
  std::int16_t row = 1, col = 1, step = 1, midasi = 1, display = 1, off = 0;
  std::int16_t line = 0, filter = 0, fit_row = 0, fit_col = 0;
  std::int32_t out = 0, cls = 0;
  exporting::ExportToSheet(targets, table, source.string(), sheet, row, col, step, out, cls, midasi,
                           display, line, filter, fit_row, fit_col, "0", "0", "0", "0", "0", "0");
  (void)off;
  std::vector<std::string> prompts;
  for (const auto& m : box.shown) prompts.push_back(m.prompt);
  return prompts;
}

TEST(OfficeFaultsTest, AWorkbookAnotherUserHoldsIsRefusedAtOpenAndNothingIsWritten) {
  auto xl = MakeUnoXlServer(Office().options)->GetObject();
  fs::path book = Book("held");
  const std::string before = Bytes(book);
  for (const char* lock : {",sato,pc-sato.example.jp,07.12.2026 09:15,file:///home/sato/x;",
                           "Someone,root,another-host,07.12.2026 09:15,file:///root/x;"}) {
    SCOPED_TRACE(lock);
    std::ofstream(LockFilePath(book)) << lock << "\n";
    try {
      xl->WorkbooksOpen(book.string());
      FAIL() << "opened";
    } catch (const AutomationError& e) {
      EXPECT_EQ(testsupport::EnglishWord(e.description()), "") << e.description();
      EXPECT_EQ(e.number(), 1004);
      EXPECT_THAT(e.description(),
                  AllOf(HasSubstr("'" + book.filename().string() + "'"),
                        HasSubstr("2026-12-07 09:15 から"), HasSubstr("何も書き込んでいません")));
      EXPECT_THAT(e.description(),
                  HasSubstr(lock[0] == ',' ? "ホスト 'pc-sato.example.jp' のユーザー 'sato'"
                                           : "ホスト 'another-host' のユーザー 'root'"));
    }
    EXPECT_FALSE(CloseInOffice(book));  // not even opened read-only
    EXPECT_THROW(xl->ActiveWorkbook(), AutomationError);
  }
  EXPECT_EQ(Bytes(book), before);
  EXPECT_TRUE(fs::exists(LockFilePath(book)));  // theirs: left alone

  // Once they have closed it, the next run goes ahead.
  fs::remove(LockFilePath(book));
  xl->WorkbooksOpen(book.string());
  EXPECT_THAT(Export(xl, "Data"), ::testing::IsEmpty());
  SavedBook saved(book);
  EXPECT_EQ(saved.At("Data", "A3").text, "rice");
  EXPECT_EQ(saved.At("Sheet1", "A1").text, "keep me");
}

TEST(OfficeFaultsTest, TheLockOfAKilledOfficeOfOursDoesNotStopTheNextRun) {
  TempFolder dir;
  UnoOptions options = OwnOfficeOptions(dir.path(), "killed");
  auto server = MakeUnoXlServer(options);
  OfficeCleanUp offices;
  auto first = offices.Keep(server->CreateObject());
  // The pipe's socket is where the owner check looks for it.
  ASSERT_TRUE(fs::is_socket(PipeSocketPaths(options.pipe_name).front()));
  fs::path book = Book("killed");
  const std::string before = Bytes(book);
  first->WorkbooksOpen(book.string());
  first->Goto("r1c1");
  first->ActiveCell()->SetValue(Value("never saved"));
  first->ActiveSheet();
  auto lock = ReadOfficeLock(book);
  ASSERT_TRUE(lock) << "the office left no lock file";
  EXPECT_TRUE(TakenByUs(*lock)) << Holder(*lock);

  pid_t pid = OfficePid(options.pipe_name);
  ASSERT_GT(pid, 0);
  ASSERT_EQ(kill(pid, SIGKILL), 0);
  ASSERT_TRUE(GoneWithin(pid, std::chrono::seconds(5)));
  EXPECT_TRUE(fs::exists(LockFilePath(book)));
  EXPECT_EQ(Bytes(book), before);

  auto second = offices.Keep(server->CreateObject());
  second->WorkbooksOpen(book.string());
  EXPECT_THAT(Export(second, "Data"), ::testing::IsEmpty());
  SavedBook saved(book);
  EXPECT_EQ(saved.At("Data", "A1").text, "Name");
  EXPECT_EQ(saved.At("Data", "B3").number, 5);
}

TEST(OfficeFaultsTest, AnUnansweringOfficeOfOursIsEndedAndAFreshOneStarted) {
  TempFolder dir;
  UnoOptions options = OwnOfficeOptions(dir.path(), "hung");
  options.attach_timeout = std::chrono::seconds(2);
  std::vector<std::string> notices;
  options.notice = [&](const std::string& line) { notices.push_back(line); };
  OfficeCleanUp offices;
  fs::path book = Book("hung");

  // A stopped office that has only just started may be another run's office
  // on its way up: it is let be.
  {
    auto young = offices.Keep(MakeUnoXlServer(options)->CreateObject());
    pid_t pid = OfficePid(options.pipe_name);
    offices.KillAtEnd(pid, options.pipe_name);
    ASSERT_EQ(kill(pid, SIGSTOP), 0);
    UnoOptions patient = options;
    patient.settle_time = std::chrono::hours(1);
    try {
      MakeUnoXlServer(patient)->GetObject();
      FAIL() << "attached to a stopped office";
    } catch (const AutomationError& e) {
      EXPECT_EQ(testsupport::EnglishWord(e.description()), "") << e.description();
      EXPECT_THAT(e.description(), HasSubstr("まだ起動中"));
    }
    EXPECT_TRUE(notices.empty());
    EXPECT_FALSE(GoneWithin(pid, std::chrono::seconds(1)));
    kill(pid, SIGKILL);
    ASSERT_TRUE(GoneWithin(pid, std::chrono::seconds(5)));
  }
  options.settle_time = std::chrono::milliseconds(0);

  // A run that was killed mid-export leaves its office behind, which hangs.
  auto hang = [&] {
    auto left = offices.Keep(MakeUnoXlServer(options)->CreateObject());
    left->WorkbooksOpen(book.string());
    left->Goto("r1c1");
    left->ActiveCell()->SetValue(Value("half done"));
    left->ActiveSheet();
    pid_t pid = OfficePid(options.pipe_name);
    offices.KillAtEnd(pid, options.pipe_name);
    EXPECT_EQ(kill(pid, SIGSTOP), 0);
    return pid;
  };

  // Attach first, as the program does: it gives up within seconds, ends the
  // office and says so once; starting then gives a fresh office.
  pid_t stuck = hang();
  ASSERT_GT(stuck, 0);
  auto server = MakeUnoXlServer(options);
  auto start = Clock::now();
  try {
    server->GetObject();
    FAIL() << "attached to a stopped office";
  } catch (const AutomationError& e) {
    EXPECT_EQ(testsupport::EnglishWord(e.description()), "") << e.description();
    EXPECT_EQ(e.number(), 429);
  }
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
  EXPECT_TRUE(GoneWithin(stuck, std::chrono::seconds(5)));
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_THAT(notices[0], AllOf(HasSubstr(options.pipe_name), HasSubstr("応答しませんでした"),
                                HasSubstr("新しいオフィス")));
  auto fresh = offices.Keep(server->CreateObject());
  fresh->WorkbooksOpen(book.string());
  EXPECT_THAT(Export(fresh, "Data"), ::testing::IsEmpty());
  EXPECT_EQ(SavedBook(book).At("Data", "A2").text, "tea");

  // Starting straight away does the same.
  stuck = hang();
  start = Clock::now();
  auto again = offices.Keep(MakeUnoXlServer(options)->CreateObject());
  EXPECT_TRUE(GoneWithin(stuck, std::chrono::seconds(1)));
  EXPECT_EQ(notices.size(), 2u);
  again->WorkbooksOpen(book.string());
  EXPECT_EQ(again->ActiveWorkbook()->Sheets()->Count(), 2);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(90));
}

TEST(OfficeFaultsTest, APipeSocketOfAnotherUserIsNeitherAttachedToNorTakenOver) {
  if (geteuid() != 0) GTEST_SKIP() << "making a socket of another user needs root";
  TempFolder dir;
  UnoOptions options = OwnOfficeOptions(dir.path(), "foreign");
  const fs::path path = PipeSocketPaths(options.pipe_name).front();
  int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
  ASSERT_GE(listener, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 4), 0);
  ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
  struct Close {
    int fd;
    fs::path path;
    ~Close() {
      close(fd);
      fs::remove(path);
    }
  } close_it{listener, path};

  auto server = MakeUnoXlServer(options);
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      attempt == 0 ? server->GetObject() : server->CreateObject();
      FAIL() << "used a pipe of another user";
    } catch (const AutomationError& e) {
      EXPECT_EQ(testsupport::EnglishWord(e.description()), "") << e.description();
      EXPECT_EQ(e.number(), 429);
      EXPECT_THAT(e.description(), AllOf(HasSubstr("別のユーザー"), HasSubstr(path.string())));
    }
  }
  EXPECT_EQ(accept(listener, nullptr, nullptr), -1);  // nobody connected
  EXPECT_EQ(errno, EAGAIN);
  EXPECT_EQ(OfficePid(options.pipe_name), -1);  // and no office was started on it
}

TEST(OfficeFaultsTest, FailuresSayWhatFailedInTheUsersTerms) {
  auto xl = MakeUnoXlServer(Office().options)->GetObject();
  fs::path book = Book("protected");
  xl->WorkbooksOpen(book.string());
  ProtectSheetInOffice(book, "Data");
  const auto prompts = Export(xl, "Data");
  ASSERT_EQ(prompts.size(), 1u);
  const std::string& prompt = prompts[0];
  EXPECT_THAT(prompt, HasSubstr("エラーNO:1004\r\n"));
  EXPECT_EQ(prompt, "エラーNO:1004\r\nブック '" + book.filename().string() +
                        "' のシート 'Data' のセル A1:B3 の書き込みに失敗しました: "
                        "シートは保護されています");
  for (const char* internal : {".cxx", "com.sun.star", "css::", "Exception", "Range."}) {
    EXPECT_THAT(prompt, Not(HasSubstr(internal)));
  }
  xl->ActiveWorkbook()->Close(false);
}

}  // namespace
}  // namespace kestrin::automation::uno::testing
