// The automation objects over the samples: attach-or-start, opening and its
// failures, the table and query catalogue against mdbtools, recordset
// movement and its errors, and saved queries through the interfaces.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "automation/failure.h"
#include "automation/mdb/access_names.h"
#include "automation/mdb/mdb_access.h"
#include "tests/support/mdb_test_support.h"
#include "tests/support/temp_folder.h"

namespace kestrin::mdbtest {
namespace {

using automation::AutomationError;
using automation::Value;

// Runs f, expecting an AutomationError with `number` whose description
// contains `part`.
template <class F>
void ExpectError(std::int32_t number, const std::string& part, F&& f) {
  try {
    f();
    ADD_FAILURE() << "no error, expected " << number;
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), number) << e.description();
    EXPECT_NE(e.description().find(part), std::string::npos) << e.description();
  }
}

bool ByName(const std::string& a, const std::string& b) {
  return automation::mdb::NameKey(a) < automation::mdb::NameKey(b);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1) {
    if (nl > start) lines.push_back(text.substr(start, nl - start));
  }
  return lines;
}

TEST(AccessServer, GetObjectAttachesOnlyToAnApplicationStillHeld) {
  auto server = automation::mdb::MakeMdbAccessServer();
  ExpectError(429, "", [&] { server->GetObject(); });
  auto first = server->CreateObject();
  auto second = server->CreateObject();
  EXPECT_EQ(server->GetObject(), first);
  first.reset();
  EXPECT_EQ(server->GetObject(), second);
  second.reset();
  ExpectError(429, "", [&] { server->GetObject(); });
}

TEST(AccessApplication, OpenCloseAndCurrentDatabase) {
  auto server = automation::mdb::MakeMdbAccessServer();
  auto app = server->CreateObject();
  ExpectError(91, "", [&] { app->CurrentDatabase(); });
  app->CloseCurrentDatabase();  // nothing open: nothing happens
  app->OpenCurrentDatabase(SamplePath("testV1997.mdb"), false);
  auto db = app->CurrentDatabase();
  EXPECT_EQ(app->CurrentDatabase(), db);
  ExpectError(7867, "", [&] { app->OpenCurrentDatabase(SamplePath("testV2000.mdb"), false); });
  ExpectError(3027, "StartupForm", [&] { db->SetProperty("StartupForm", Value("(表示しない)")); });
  app->CloseCurrentDatabase();
  ExpectError(91, "", [&] { app->CurrentDatabase(); });
  // The released database object still reads what it had open.
  EXPECT_EQ(db->TableDefs().Item("Table1").Fields().Count(), 9);
  app->OpenCurrentDatabase(SamplePath("testV2000.mdb"), true);
  EXPECT_NE(app->CurrentDatabase(), db);
}

TEST(AccessApplication, RefusesWhatIsNotADatabaseNamingTheFile) {
  auto server = automation::mdb::MakeMdbAccessServer();
  auto app = server->CreateObject();
  const std::string missing = SamplePath("no such file.mdb");
  ExpectError(3024, missing, [&] { app->OpenCurrentDatabase(missing, false); });
  ExpectError(3024, "", [&] { app->OpenCurrentDatabase("", false); });
  const std::string readme = SamplePath("README.md");
  ExpectError(3343, readme, [&] { app->OpenCurrentDatabase(readme, false); });
  ExpectError(3343, "", [&] { app->OpenCurrentDatabase(SamplePath(""), false); });  // a folder

  const ::kestrin::testing::TempFolder folder;
  const std::filesystem::path& dir = folder.path();
  std::ifstream in(SamplePath("testV2000.mdb"), std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
  for (std::size_t size : {std::size_t{0}, std::size_t{100}, std::size_t{4096 * 2 + 17}}) {
    const std::string path = (dir / ("cut" + std::to_string(size) + ".mdb")).string();
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(size));
    ExpectError(3343, path, [&] { app->OpenCurrentDatabase(path, false); });
  }
  ExpectError(91, "", [&] { app->CurrentDatabase(); });
}

TEST(AccessApplication, NeverWritesTheFile) {
  const std::string path = SamplePath("queryTestV2000.mdb");
  struct stat before {
  }, after{};
  ASSERT_EQ(stat(path.c_str(), &before), 0);
  std::ifstream a(path, std::ios::binary);
  const std::string content((std::istreambuf_iterator<char>(a)), {});
  {
    auto db = OpenSample("queryTestV2000.mdb");
    for (int i = 0; i < db->TableDefs().Count(); ++i) {
      auto rs = db->OpenRecordset(db->TableDefs().Item(i).Name());
      ReadAll(*rs);
    }
  }
  ASSERT_EQ(stat(path.c_str(), &after), 0);
  EXPECT_EQ(before.st_mtim.tv_sec, after.st_mtim.tv_sec);
  EXPECT_EQ(before.st_mtim.tv_nsec, after.st_mtim.tv_nsec);
  std::ifstream b(path, std::ios::binary);
  EXPECT_EQ(content, std::string((std::istreambuf_iterator<char>(b)), {}));
}

// TableDefs: every table of MSysObjects that `mdb-tables -S` lists, system
// tables included, but not the hidden tables of complex fields
// ("f_<GUID>_<field>"), in DAO's order: sorted by name without regard to
// case.
TEST(Catalogue, TablesSortedByNameWithSystemTables) {
  for (const std::string& name : SampleNames()) {
    SCOPED_TRACE(name);
    auto db = OpenSample(name);
    std::vector<std::string> ours;
    for (int i = 0; i < db->TableDefs().Count(); ++i)
      ours.push_back(db->TableDefs().Item(i).Name());
    // Linked tables are listed too (mdb-tables leaves them out).
    for (const auto& [file, linked] :
         {std::pair<std::string, std::string>{"odbcLinkerTestV2007.accdb", "Ordrar"},
          {"linkerTestV2007.accdb", "Table2"}}) {
      if (name != file) continue;
      auto it = std::find(ours.begin(), ours.end(), linked);
      ASSERT_NE(it, ours.end());
      ours.erase(it);
    }
    std::vector<std::string> expected;
    for (const std::string& table : Lines(RunProgram({"mdb-tables", "-S", "-1", SamplePath(name)})))
      if (name.find(".accdb") == std::string::npos || table.rfind("f_", 0) != 0 ||
          table.size() < 35 || table[34] != '_')
        expected.push_back(table);
    std::sort(expected.begin(), expected.end(), ByName);
    EXPECT_EQ(ours, expected);
  }
  auto db = OpenSample("queryTestV2007.accdb");
  EXPECT_EQ(db->TableDefs().Item("MSysCompactError").Fields().Count(), 4);
  ExpectError(3265, "", [&] { db->TableDefs().Item("msyscompacterror"); });
  ExpectError(3265, "", [&] { db->TableDefs().Item(db->TableDefs().Count()); });
  ExpectError(3265, "", [&] { db->TableDefs().Item(-1); });
}

TEST(Catalogue, OdbcLinkedTableIsListedButRefused) {
  auto db = OpenSample("odbcLinkerTestV2007.accdb");
  const auto& linked = db->TableDefs().Item("Ordrar");
  ExpectError(3151, "Ordrar", [&] { linked.Fields().Count(); });
  ExpectError(3151, "Ordrar", [&] { db->OpenRecordset("Ordrar"); });
}

// QueryDefs: the Type 5 objects of MSysObjects sorted by name, with DAO's
// type code kept in their flags.
TEST(Catalogue, QueriesWithTheirTypeCodes) {
  for (const std::string& name : SampleNames()) {
    SCOPED_TRACE(name);
    const auto csv =
        ParseCsv(RunProgram({"mdb-export", "-b", "strip", SamplePath(name), "MSysObjects"}));
    ASSERT_FALSE(csv.empty());
    int name_col = -1, type_col = -1, flags_col = -1;
    for (std::size_t i = 0; i < csv[0].size(); ++i) {
      if (csv[0][i].text == "Name") name_col = static_cast<int>(i);
      if (csv[0][i].text == "Type") type_col = static_cast<int>(i);
      if (csv[0][i].text == "Flags") flags_col = static_cast<int>(i);
    }
    std::multiset<std::pair<std::string, int>> expected, ours;
    for (std::size_t r = 1; r < csv.size(); ++r) {
      if (csv[r][static_cast<std::size_t>(type_col)].text != "5") continue;
      expected.emplace(csv[r][static_cast<std::size_t>(name_col)].text,
                       std::stoi(csv[r][static_cast<std::size_t>(flags_col)].text) & 0xF8);
    }
    auto db = OpenSample(name);
    std::vector<std::string> order;
    for (int i = 0; i < db->QueryDefs().Count(); ++i) {
      ours.emplace(db->QueryDefs().Item(i).Name(), db->QueryDefs().Item(i).Type());
      order.push_back(db->QueryDefs().Item(i).Name());
    }
    EXPECT_EQ(ours, expected);
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end(), ByName));  // as DAO yields them
  }
  auto db = OpenSample("odbcLinkerTestV2007.accdb");
  EXPECT_EQ(db->QueryDefs().Count(), 56);
  EXPECT_EQ(db->QueryDefs().Item("~sq_cLåsUpp~sq_cLåsUpp_Öppet").Type(),
            0);  // flags 3: Access's own
}

TEST(Catalogue, EveryKindOfQueryByName) {
  const std::vector<std::pair<std::string, int>> kinds = {
      {"SelectQuery", 0},          {"CrosstabQuery", 16},     {"DeleteQuery", 32},
      {"UpdateQuery", 48},         {"AppendQuery", 64},       {"MakeTableQuery", 80},
      {"DataDefinitionQuery", 96}, {"PassthroughQuery", 112}, {"UnionQuery", 128}};
  for (const char* file : {"queryTestV1997.mdb", "queryTestV2000.mdb", "queryTestV2007.accdb"}) {
    SCOPED_TRACE(file);
    auto db = OpenSample(file);
    ASSERT_EQ(db->QueryDefs().Count(), 9);
    for (const auto& [query, type] : kinds)
      EXPECT_EQ(db->QueryDefs().Item(query).Type(), type) << query;
  }
}

TEST(Recordset, MovesAndRefusesLikeDao) {
  auto db = OpenSample("testV2000.mdb");
  auto rs = db->OpenRecordset("Table1");
  ASSERT_FALSE(rs->Eof());
  EXPECT_EQ(rs->RecordCount(), 2);
  EXPECT_EQ(rs->FieldValue(0), Value("abcdefg"));
  ExpectError(3265, "", [&] { rs->FieldValue(9); });
  ExpectError(3265, "", [&] { rs->FieldValue(-1); });
  ExpectError(3265, "", [&] { rs->Fields().Name(9); });
  rs->MoveLast();
  EXPECT_EQ(rs->FieldValue(0), Value("a"));
  rs->MoveNext();
  EXPECT_TRUE(rs->Eof());
  ExpectError(3021, "", [&] { rs->FieldValue(0); });
  ExpectError(3021, "", [&] { rs->MoveNext(); });
  rs->MoveFirst();
  EXPECT_EQ(rs->FieldValue(1), Value("hijklmnop"));
  rs->Close();
  ExpectError(3420, "", [&] { rs->Eof(); });
  ExpectError(3420, "", [&] { rs->FieldValue(0); });

  // Access finds tables and queries whatever the case of the name.
  EXPECT_EQ(db->OpenRecordset("TABLE1")->RecordCount(), 2);
  ExpectError(3078, "'Table9'", [&] { db->OpenRecordset("Table9"); });
}

TEST(Recordset, EmptyTable) {
  auto db = OpenSample("testV2000.mdb");
  auto rs = db->OpenRecordset("MSysRelationships");
  EXPECT_TRUE(rs->Eof());
  EXPECT_EQ(rs->RecordCount(), 0);
  ExpectError(3021, "", [&] { rs->MoveLast(); });
  ExpectError(3021, "", [&] { rs->MoveFirst(); });
  ExpectError(3021, "", [&] { rs->FieldValue(0); });
}

// Saved queries through the interfaces (their evaluation is tested with the
// query engine).
TEST(SavedQueries, FieldsAndRecordsThroughTheInterfaces) {
  for (const char* file : {"queryTestV1997.mdb", "queryTestV2000.mdb", "queryTestV2007.accdb"}) {
    SCOPED_TRACE(file);
    auto db = OpenSample(file);
    const auto& select = db->QueryDefs().Item("SelectQuery");
    ASSERT_GT(select.Fields().Count(), 0);
    auto rs = db->OpenRecordset("SelectQuery");
    ASSERT_EQ(rs->Fields().Count(), select.Fields().Count());
    for (int i = 0; i < select.Fields().Count(); ++i)
      EXPECT_EQ(rs->Fields().Name(i), select.Fields().Name(i));
    const auto rows = ReadAll(*rs);
    EXPECT_EQ(static_cast<int>(rows.size()), rs->RecordCount());
    EXPECT_EQ(db->OpenRecordset("selectquery")->RecordCount(), rs->RecordCount());
    // Action queries are not record sources.
    EXPECT_THROW(db->OpenRecordset("DeleteQuery"), AutomationError);
    EXPECT_THROW(db->OpenRecordset("PassthroughQuery"), AutomationError);
  }
}

}  // namespace
}  // namespace kestrin::mdbtest
