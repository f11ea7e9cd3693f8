// Damaged files on purpose: copies of the samples truncated, with pages
// overwritten by random bytes, or with bytes flipped (mostly in the pages
// that steer reading: table definitions, usage maps, data and long-value
// pages). Each copy is opened, its tables and queries listed and every table
// read through the interfaces. Failures must be AutomationErrors; nothing may
// crash or hang. The seed is fixed; KESTRIN_FUZZ_ITERATIONS sets the count
// (1,000 by default).
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "automation/failure.h"
#include "automation/mdb/mdb_access.h"
#include "mdb_test_support.h"
#include "tests/support/jet4_writer.h"

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

std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// A hang ends the process with the iteration that hung (SIGALRM).
char g_current[512];
void OnHang(int) {
  const char prefix[] = "HANG: ";
  (void)!write(2, prefix, sizeof prefix - 1);
  (void)!write(2, g_current, std::strlen(g_current));
  std::abort();
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
    } catch (const AutomationError&) {
    }
  }
  app->CloseCurrentDatabase();
}

TEST(MdbFuzz, DamagedCopiesNeverCrashOrHang) {
  int iterations = 1000;
  if (const char* env = std::getenv("KESTRIN_FUZZ_ITERATIONS")) iterations = std::atoi(env);
  std::vector<std::string> names = SampleNames();
  // testV2000.mdb (3 MB of mostly one table) would dominate the run time.
  names.erase(std::remove(names.begin(), names.end(), "testV2000.mdb"), names.end());
  std::vector<std::vector<std::uint8_t>> originals;
  for (const std::string& n : names) originals.push_back(ReadFile(SamplePath(n)));
  names.push_back("written.mdb");
  originals.push_back(WrittenDatabase());

  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("kestrin_mdb_fuzz_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "damaged.mdb").string();

  std::mt19937_64 rng(20240607);
  std::signal(SIGALRM, OnHang);
  int opened = 0, refused = 0;
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
    SCOPED_TRACE(what);
    std::snprintf(g_current, sizeof g_current, "%s\n", what.c_str());
    alarm(30);
    try {
      Exercise(path);
      ++opened;
    } catch (const AutomationError&) {
      ++refused;
    } catch (const std::exception& e) {
      ADD_FAILURE() << "not an AutomationError: " << e.what();
    }
  }
  alarm(0);
  std::filesystem::remove_all(dir);
  std::printf("%d damaged copies: %d opened, %d refused\n", iterations, opened, refused);
}

}  // namespace
}  // namespace kestrin::mdbtest
