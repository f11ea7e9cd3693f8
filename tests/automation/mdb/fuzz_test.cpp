// Damaged files on purpose: copies of the samples truncated, with pages
// overwritten by random bytes, or with bytes flipped (mostly in the pages
// that steer reading: table definitions, usage maps, data and long-value
// pages). Each copy is opened in a child process, its tables and queries
// listed, every table read and every saved query evaluated through the
// interfaces. Failures must be AutomationErrors; nothing may crash, hang,
// outgrow the address-space cap or write to standard error. The seed is
// fixed. Environment: KESTRIN_FUZZ_ITERATIONS (1,000 copies by default),
// KESTRIN_FUZZ_SECONDS (time bound per copy, 10 s), KESTRIN_FUZZ_ADDRESS_SPACE_MB
// (cap per copy; 4,096 by default, none under AddressSanitizer; 0 for none).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <typeinfo>

#include "automation/failure.h"
#include "automation/mdb/mdb_access.h"
#include "tests/automation/mdb/query/fake_tables.h"
#include "tests/support/jet4_writer.h"
#include "tests/support/mdb_test_support.h"
#include "tests/support/temp_folder.h"

// Built with AddressSanitizer (GCC says so; Clang answers __has_feature).
#if defined(__SANITIZE_ADDRESS__)
#define KESTRIN_FUZZ_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KESTRIN_FUZZ_ASAN 1
#endif
#endif
#ifdef KESTRIN_FUZZ_ASAN
#include <sanitizer/lsan_interface.h>
#endif

namespace kestrin::mdbtest {
namespace {

using automation::AutomationError;

// A file with what the samples have little of: long values on chains of
// pages, deleted rows and rows moved to other pages, linked tables.
std::vector<std::uint8_t> WrittenDatabase() {
  using automation::mdb::AccessType;
  namespace ts = testsupport;
  ts::Jet4Table t;
  t.name = "T";
  t.columns = {{"N", AccessType::kLong},
               {"Memo", AccessType::kMemo, 255, true},
               {"Ole", AccessType::kOle},
               {"S", AccessType::kText, 20}};
  for (int i = 0; i < 120; ++i) {
    t.rows.push_back(
        {i, std::string(static_cast<std::size_t>(i * 97 % 9000), 'm'),
         automation::Binary(static_cast<std::size_t>(i * 211 % 7000), static_cast<std::uint8_t>(i)),
         "s" + std::to_string(i)});
  }
  t.deleted_rows = {3, 50};
  t.moved_rows = {4, 60, 61};
  ts::Jet4Database db;
  db.tables.push_back(t);
  db.linked_tables.push_back({"L", "F", "C:\\x.mdb", "", 0});
  return ts::BuildJet4Database(db);
}

// A file of complex fields (multi-value, attachment, version history) and
// saved queries in the shapes Access writes: union parts ending in ';',
// derived tables in both forms, a correlated subquery, a crosstab, form
// parameters.
std::vector<std::uint8_t> WrittenQueries() {
  using automation::mdb::AccessType;
  using automation::mdb::testing::QueryBuilder;
  namespace ts = testsupport;
  using Kind = ts::Jet4ComplexField::Kind;
  ts::Jet4Table t;
  t.name = "Products";
  t.columns = {{"ID", AccessType::kLong},         {"Name", AccessType::kText, 40},
               {"Tags", AccessType::kComplex},    {"Notes", AccessType::kMemo},
               {"History", AccessType::kComplex}, {"Files", AccessType::kComplex},
               {"Price", AccessType::kCurrency},  {"Discount", AccessType::kSingle}};
  ts::Jet4Database db;
  std::vector<ts::Jet4ComplexField> fields = {{"Products", "Tags", Kind::kMultiValue, {}},
                                              {"Products", "History", Kind::kVersionHistory, {}},
                                              {"Products", "Files", Kind::kAttachment, {}}};
  for (int i = 0; i < 60; ++i) {
    t.rows.push_back({i, "product " + std::to_string(i), i, std::string(i * 13 % 300, 'n'), i, i,
                      automation::Currency{i * 12345}, (i % 4) * 0.05});
    for (int k = 0; k < i % 4; ++k) {
      fields[0].values.emplace_back(i, "tag " + std::to_string(k));
      fields[1].values.emplace_back(i, "version " + std::to_string(k));
      fields[2].values.emplace_back(i, "file" + std::to_string(k) + ".pdf");
    }
  }
  db.tables.push_back(t);
  db.complex_fields = fields;
  db.queries = {
      QueryBuilder("Parts", ts::query_flags::kUnion)
          .Kind(9)
          .Row(5, "SELECT Name FROM Products WHERE ID < 10;")
          .Row(5, "SELECT Tags FROM Products WHERE ID > 50 ORDER BY Name;"),
      QueryBuilder("Derived")
          .Kind(1)
          .Row(5, "SELECT ID FROM Products UNION SELECT ID + 100 FROM Products", 0, "", "u")
          .Output("Count(*)", "N"),
      QueryBuilder("OldDerived", ts::query_flags::kUnion)
          .Kind(9)
          .Row(5, "SELECT d.Name, d.Files FROM [SELECT [Name], Files FROM [Products]]. AS d;")
          .Row(5, "SELECT Name, Files FROM Products WHERE ID = 1;"),
      QueryBuilder("Correlated")
          .Kind(1)
          .Source("Products", "P")
          .Output("P.Name")
          .Output("(SELECT Max(Q.Price) FROM Products AS Q WHERE Q.ID < P.ID)", "Below")
          .Output("CCur(P.Price * (1 - P.Discount))", "Net"),
      QueryBuilder("ByTag", ts::query_flags::kCrosstab)
          .Kind(6)
          .Source("Products")
          .Output("Products.Tags", "", 2)
          .Output("Products.ID Mod 3", "", 1)
          .Output("Count(*)", "N", 0)
          .GroupBy("Products.Tags", 2)
          .GroupBy("Products.ID Mod 3", 1),
      QueryBuilder("OnAForm")
          .Kind(1)
          .Row(2, "", 4, "Forms!F!Lowest")
          .Source("Products")
          .Output("Name")
          .Where("ID > [Forms]![F]![Lowest] And Name <> @Skip"),
  };
  return ts::BuildJet4Database(db);
}

std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Uses every interface member a program would on the file; returns normally
// or throws what the reader threw.
void Exercise(const std::string& path) {
  auto server = automation::mdb::MakeMdbAccessServer();
  auto app = server->CreateObject();
  app->OpenCurrentDatabase(path, false);
  auto db = app->CurrentDatabase();
  const auto& tables = db->TableDefs();
  for (int t = 0; t < tables.Count(); ++t) {
    const auto& def = tables.Item(t);
    try {
      const auto& fields = def.Fields();
      for (int f = 0; f < fields.Count(); ++f) (void)fields.Name(f);
      auto rs = db->OpenRecordset(def.Name());
      if (!rs->Eof()) {
        rs->MoveLast();
        (void)rs->RecordCount();
        rs->MoveFirst();
      }
      const int n = rs->Fields().Count();
      for (; !rs->Eof(); rs->MoveNext()) {
        for (int f = 0; f < n; ++f) {
          try {
            (void)rs->FieldValue(f);
          } catch (const AutomationError& e) {
            if (e.number() != 3259) throw;  // an unreadable field: go on with the others
          }
        }
      }
      rs->Close();
    } catch (const AutomationError&) {
      // A damaged table: the others may still be readable.
    }
  }
  const auto& queries = db->QueryDefs();
  for (int q = 0; q < queries.Count(); ++q) {
    (void)queries.Item(q).Name();
    (void)queries.Item(q).Type();
    try {
      const auto& fields = queries.Item(q).Fields();
      for (int f = 0; f < fields.Count(); ++f) (void)fields.Name(f);
      auto rs = db->OpenRecordset(queries.Item(q).Name());
      for (; !rs->Eof(); rs->MoveNext()) {
        for (int f = 0; f < fields.Count(); ++f) (void)rs->FieldValue(f);
      }
    } catch (const AutomationError&) {
      // A query over damaged tables, or one that asks for parameters.
    }
  }
  app->CloseCurrentDatabase();
}

// What one damaged file did in its child process.
struct Outcome {
  enum class Kind { kOpened, kRefused, kFailed, kDied, kTimedOut } kind = Kind::kFailed;
  std::string message;  // the escaped exception, or how the child died
  std::string stderr_text;
  double seconds = 0;
};

std::string ReadAllFd(int fd) {
  std::string out;
  char buf[4096];
  for (;;) {
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n > 0) {
      out.append(buf, static_cast<std::size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      break;
    }
  }
  return out;
}

// The address-space cap of each child: KESTRIN_FUZZ_ADDRESS_SPACE_MB, 0 for
// none. AddressSanitizer reserves terabytes of shadow memory up front, so a
// sanitized build runs without a cap unless one is asked for.
std::uint64_t AddressSpaceCap() {
  if (const char* env = std::getenv("KESTRIN_FUZZ_ADDRESS_SPACE_MB"))
    return std::strtoull(env, nullptr, 10) << 20;
#ifdef KESTRIN_FUZZ_ASAN
  return 0;
#else
  return std::uint64_t{4} << 30;
#endif
}

// Reads the file in a child process with its standard error captured, its
// address space capped and its time bounded, so that a crash, a runaway or a
// hang shows as that file's outcome.
Outcome ExerciseInChild(const std::string& path, const std::string& err_path, int seconds,
                        std::uint64_t cap) {
  int result[2];
  if (pipe(result) != 0) return {Outcome::Kind::kFailed, "pipe failed", "", 0};
  std::fflush(nullptr);
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    close(result[0]);
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (err >= 0) {
      dup2(err, 2);
      close(err);
    }
    if (cap != 0) {
      const rlimit limit{cap, cap};
      setrlimit(RLIMIT_AS, &limit);
    }
    alarm(static_cast<unsigned>(seconds));
    std::string report;
    try {
      Exercise(path);
      report = "O";
    } catch (const AutomationError&) {
      report = "R";
    } catch (const std::exception& e) {
      report = std::string("X") + typeid(e).name() + ": " + e.what();
    } catch (...) {
      report = "Xunknown exception";
    }
    (void)!write(result[1], report.data(), report.size());
#ifdef KESTRIN_FUZZ_ASAN
    // _exit skips the leak check at exit: run it here, onto the captured
    // standard error.
    __lsan_do_recoverable_leak_check();
#endif
    _exit(0);
  }
  close(result[1]);
  Outcome out;
  const std::string report = ReadAllFd(result[0]);
  close(result[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (WIFSIGNALED(status)) {
    out.kind = WTERMSIG(status) == SIGALRM ? Outcome::Kind::kTimedOut : Outcome::Kind::kDied;
    out.message = std::string("signal ") + strsignal(WTERMSIG(status));
  } else if (report == "O") {
    out.kind = Outcome::Kind::kOpened;
  } else if (report == "R") {
    out.kind = Outcome::Kind::kRefused;
  } else {
    out.kind = Outcome::Kind::kFailed;
    out.message = report.empty() ? "no report" : report.substr(1);
  }
  std::ifstream err(err_path, std::ios::binary);
  out.stderr_text.assign(std::istreambuf_iterator<char>(err), {});
  return out;
}

// Undamaged, the file of complex fields and query shapes reads whole: every
// query runs but the one that asks for parameters.
TEST(MdbFuzz, TheWrittenQueriesRunUndamaged) {
  const auto path = std::filesystem::temp_directory_path() /
                    ("kestrin_mdb_fuzz_queries_" + std::to_string(::getpid()) + ".mdb");
  const std::vector<std::uint8_t> bytes = WrittenQueries();
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  auto app = automation::mdb::MakeMdbAccessServer()->CreateObject();
  app->OpenCurrentDatabase(path.string(), false);
  auto db = app->CurrentDatabase();
  for (int q = 0; q < db->QueryDefs().Count(); ++q) {
    const std::string name = db->QueryDefs().Item(q).Name();
    try {
      EXPECT_GT(ReadAll(*db->OpenRecordset(name)).size(), 0u) << name;
      EXPECT_NE(name, "OnAForm");
    } catch (const AutomationError& e) {
      EXPECT_EQ(name, "OnAForm") << e.description();
      EXPECT_EQ(e.description(), "パラメーターが少なすぎます。2 を指定してください。");
    }
  }
  app->CloseCurrentDatabase();
  std::filesystem::remove(path);
}

TEST(MdbFuzz, DamagedCopiesNeverCrashHangRunAwayOrWriteToStandardError) {
  int iterations = 1000;
  if (const char* env = std::getenv("KESTRIN_FUZZ_ITERATIONS")) iterations = std::atoi(env);
  // Seconds one file may take (a sanitized build is several times slower).
  int seconds = 10;
  if (const char* env = std::getenv("KESTRIN_FUZZ_SECONDS")) seconds = std::atoi(env);
  const std::uint64_t cap = AddressSpaceCap();
  std::vector<std::string> names = SampleNames();
  // testV2000.mdb (3 MB of mostly one table) would dominate the run time.
  names.erase(std::remove(names.begin(), names.end(), "testV2000.mdb"), names.end());
  std::vector<std::vector<std::uint8_t>> originals;
  for (const std::string& n : names) originals.push_back(ReadFile(SamplePath(n)));
  names.push_back("written.mdb");
  originals.push_back(WrittenDatabase());
  names.push_back("queries.mdb");
  originals.push_back(WrittenQueries());

  const ::kestrin::testing::TempFolder folder;
  const std::filesystem::path& dir = folder.path();
  const std::string path = (dir / "damaged.mdb").string();
  const std::string err_path = (dir / "stderr.txt").string();

  std::mt19937_64 rng(20240607);
  int opened = 0, refused = 0;
  double slowest = 0, total = 0;
  for (int it = 0; it < iterations; ++it) {
    const std::size_t which = static_cast<std::size_t>(it) % originals.size();
    std::vector<std::uint8_t> bytes = originals[which];
    const std::size_t page = bytes[0x14] != 0 ? 4096 : 2048;  // JET3 pages are 2 KB
    const std::size_t pages = bytes.size() / page;
    // Pages that steer reading, by their type byte.
    std::vector<std::size_t> steering;
    for (std::size_t p = 1; p < pages; ++p) {
      const std::uint8_t type = bytes[p * page];
      if (type == 0x01 || type == 0x02 || type == 0x05) steering.push_back(p);
    }
    auto pick_page = [&] {
      if (!steering.empty() && rng() % 4 != 0) return steering[rng() % steering.size()];
      return static_cast<std::size_t>(rng() % pages);
    };
    std::string how;
    switch (rng() % 4) {
      case 0: {  // truncate
        const std::size_t at = rng() % bytes.size();
        bytes.resize(at);
        how = "truncated at " + std::to_string(at);
        break;
      }
      case 1: {  // overwrite whole pages with random bytes
        const int count = 1 + static_cast<int>(rng() % 3);
        for (int k = 0; k < count; ++k) {
          const std::size_t p = pick_page();
          for (std::size_t i = 0; i < page; ++i)
            bytes[p * page + i] = static_cast<std::uint8_t>(rng());
          how += "page " + std::to_string(p) + " randomised; ";
        }
        break;
      }
      case 2: {  // flip bytes inside steering pages, near their headers and row tables
        const int count = 1 + static_cast<int>(rng() % 16);
        for (int k = 0; k < count; ++k) {
          const std::size_t p = pick_page();
          const std::size_t off = rng() % 2 == 0 ? rng() % 96 : rng() % page;
          bytes[p * page + off] ^= static_cast<std::uint8_t>(1 + rng() % 255);
          how += std::to_string(p) + ":" + std::to_string(off) + " ";
        }
        how = "bytes flipped at " + how;
        break;
      }
      default: {  // random flips anywhere, header included
        const int count = 1 + static_cast<int>(rng() % 64);
        for (int k = 0; k < count; ++k) {
          bytes[rng() % bytes.size()] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
        }
        how = std::to_string(count) + " random bit flips";
        break;
      }
    }
    {
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      out.write(reinterpret_cast<const char*>(bytes.data()),
                static_cast<std::streamsize>(bytes.size()));
    }
    const std::string what =
        "iteration " + std::to_string(it) + " (" + names[which] + ", " + how + ")";
    const Outcome o = ExerciseInChild(path, err_path, seconds, cap);
    slowest = std::max(slowest, o.seconds);
    total += o.seconds;
    switch (o.kind) {
      case Outcome::Kind::kOpened:
        ++opened;
        break;
      case Outcome::Kind::kRefused:
        ++refused;
        break;
      case Outcome::Kind::kFailed:
        ADD_FAILURE() << what << ": not an AutomationError: " << o.message;
        break;
      case Outcome::Kind::kDied:
        ADD_FAILURE() << what << ": the reader died: " << o.message;
        break;
      case Outcome::Kind::kTimedOut:
        ADD_FAILURE() << what << ": took more than " << seconds << " s";
        break;
    }
    EXPECT_EQ(o.stderr_text, "") << what << ": wrote to standard error";
    if ((it + 1) % 1000 == 0 && it + 1 < iterations) {
      std::printf("%d copies: %d opened, %d refused; slowest %.2f s\n", it + 1, opened, refused,
                  slowest);
      std::fflush(stdout);
    }
  }
  std::filesystem::remove_all(dir);
  std::printf(
      "%d damaged copies: %d opened, %d refused; slowest %.2f s, mean %.3f s; address space "
      "cap %llu MiB\n",
      iterations, opened, refused, slowest, iterations > 0 ? total / iterations : 0.0,
      static_cast<unsigned long long>(cap >> 20));
}

}  // namespace
}  // namespace kestrin::mdbtest
