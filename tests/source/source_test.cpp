// The database side over the real Access reader: the open steps, the
// catalogue the lists offer and the pivot field entries, on sample databases
// made by others and on databases written by the test.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "automation/failure.h"
#include "automation/mdb/mdb_access.h"
#include "source/catalogue.h"
#include "source/field_lists.h"
#include "source/open_database.h"
#include "tests/doubles/fake_servers.h"
#include "tests/support/jet4_writer.h"
#include "tests/support/mdb_test_support.h"
#include "tests/support/temp_folder.h"

namespace kestrin::source {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

// Every code of the label table, in the table's order.
TEST(QryKindName, EveryCodeOfTheLabelTableAndSystemForAnythingElse) {
  const std::vector<std::pair<std::string, std::string>> table = {
      {"0", "選択ｸｴﾘｰ"},          {"16", "ｸﾛｽ集計ｸｴﾘｰ"},    {"32", "削除ｸｴﾘｰ"},
      {"48", "更新ｸｴﾘｰ"},         {"64", "追加ｸｴﾘｰ"},       {"80", "作成ｸｴﾘｰ"},
      {"96", "定義ｸｴﾘｰ"},         {"112", "ﾊﾟｽｽﾙｰｸｴﾘｰ"},    {"128", "ﾕﾆｵﾝｸｴﾘｰ"},
      {"144", "ﾊﾟｽｽﾙｰ&更新ｸｴﾘｰ"}, {"240", "ｱｸｼｮﾝｸｴﾘｰ"},     {"160", "複合ｸｴﾘｰ"},
      {"224", "遂行ｸｴﾘｰ"},        {"8", "選択ｸｴﾘｰ(隠し)"},  {"24", "ｸﾛｽ集計ｸｴﾘｰ(隠し)"},
      {"40", "削除ｸｴﾘｰ(隠し)"},   {"56", "更新ｸｴﾘｰ(隠し)"}, {"72", "追加ｸｴﾘｰ(隠し)"},
      {"88", "作成ｸｴﾘｰ(隠し)"},
  };
  int known = 0;
  for (int code = -300; code <= 300; ++code) {
    const std::string text = std::to_string(code);
    std::string expected = "System";
    for (const auto& [c, label] : table) {
      if (c == text) expected = label;
    }
    if (expected != "System") ++known;
    EXPECT_EQ(QryKindName(text), expected) << code;
  }
  EXPECT_EQ(known, 19);
  // Only the exact decimal texts match.
  for (const char* text :
       {"", " 0", "0 ", "00", "08", "+8", "-0", "8.0", "0x80", "abc", "１２８"}) {
    EXPECT_EQ(QryKindName(text), "System") << text;
  }
}

TEST(Catalogue, TheMSysRuleIsCaseSensitiveOnTheFirstFourCharacters) {
  for (const char* listed : {"msysThing", "USysRibbons", "MSy", "", "MSYS", "Table MSys", "mSys"}) {
    EXPECT_TRUE(IsListedTableName(listed)) << listed;
  }
  for (const char* hidden : {"MSys", "MSysObjects", "MSysCompactError", "MSys table"}) {
    EXPECT_FALSE(IsListedTableName(hidden)) << hidden;
  }
}

TEST(Catalogue, SampleDatabasesListTablesAndSelectQueriesOnly) {
  struct Case {
    std::string file;
    Names tables, queries;
  };
  for (const Case& c : {
           Case{"queryTestV1997.mdb", {"Table1", "Table2", "Table3"}, {"SelectQuery"}},
           Case{"queryTestV2000.mdb", {"Table1", "Table2", "Table3"}, {"SelectQuery"}},
           // MSysCompactError is a user-visible table in Access's catalogue,
           // but its name leaves it out. Tables come sorted by name, as DAO
           // yields them, whatever order they were made in.
           Case{"queryTestV2007.accdb", {"Table1", "Table2", "Table3"}, {"SelectQuery"}},
           Case{"testV2000.mdb", {"Table1", "Table2", "Table3", "Table4"}, {}},
       }) {
    SCOPED_TRACE(c.file);
    auto db = mdbtest::OpenSample(c.file);
    EXPECT_EQ(ListedTableNames(*db), c.tables);
    Names queries = ListedQueryNames(*db);
    // The query list follows the index order of QueryDefs.
    Names by_index;
    for (int i = 0; i < db->QueryDefs().Count(); ++i) {
      const auto& q = db->QueryDefs().Item(i);
      if (q.Type() == 0 || q.Type() == 8) by_index.push_back(q.Name());
    }
    EXPECT_EQ(queries, by_index);
    std::sort(queries.begin(), queries.end());
    Names expected = c.queries;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(queries, expected);
  }
}

// A database written by the test: hidden select queries, every other kind,
// and table names on both sides of the MSys rule.
class WrittenDatabase : public ::testing::Test {
 protected:
  void SetUp() override {
    using namespace testsupport;
    using namespace testsupport::query_flags;
    using T = AccessType;
    path_ = (dir_ / "catalogue.mdb").string();
    Jet4Database db;
    db.tables.push_back({"Orders",
                         {{"品番", T::kLong}, {"数量", T::kLong}, {"なし", T::kText}},
                         {{1, 5, "x"}, {2, 7, "y"}},
                         std::nullopt});
    for (const char* name : {"msysLower", "USysRibbons", "MSy", "MSysOwn"}) {
      db.tables.push_back({name, {{"A", T::kLong}}, {}, std::nullopt});
    }
    auto q = [](std::string name, std::int32_t flags, int kind, std::vector<QueryDefRow> body) {
      std::vector<QueryDefRow> rows = {Row(0, 0)};
      if (kind) rows.push_back(Row(1, kind));
      rows.insert(rows.end(), body.begin(), body.end());
      rows.push_back(Row(255, 0));
      return SavedQuery{std::move(name), flags, std::move(rows)};
    };
    db.queries = {
        q("Removing", kDelete, 5, {Row(5, 0, "Orders"), Row(8, 0, "", "", "[数量]=0")}),
        q("Hidden", kHiddenSelect, 0, {Row(5, 0, "Orders"), Row(3, 0x12, "5")}),
        q("Cross", kCrosstab, 6,
          {Row(5, 0, "Orders"), Row(6, 2, "", "", "[品番]"), Row(6, 1, "", "", "[なし]"),
           Row(6, 0, "Total", "", "Sum([数量])")}),
        q("Plain", kSelect, 0,
          {Row(5, 0, "Orders"), Row(6, 0, "", "", "[数量]"), Row(6, 0, "Twice", "", "[数量]*2")}),
        q("~sq_fForm", kHiddenSelect | 3, 0, {Row(5, 0, "Orders"), Row(3, 1)}),
        q("Pass", kPassThrough, 8, {Row(6, 0, "", "", "select 1"), Row(4, 0, "ODBC;DSN=x")}),
        q("Both", kUnion, 9,
          {Row(5, 0, "", "", "SELECT 品番 FROM Orders", 0x00000001),
           Row(5, 0, "", "", "SELECT 数量 FROM Orders", 0x01000000)}),
    };
    WriteJet4Database(db, path_);
  }

  static testsupport::QueryDefRow Row(int attribute, int flag, std::string name1 = "",
                                      std::string name2 = "", std::string expression = "",
                                      std::int32_t order = 0) {
    testsupport::QueryDefRow r;
    r.attribute = attribute;
    r.flag = flag;
    r.name1 = std::move(name1);
    r.name2 = std::move(name2);
    r.expression = std::move(expression);
    r.order = order;
    return r;
  }

  ::kestrin::testing::TempFolder folder_;
  fs::path dir_{folder_.path()};
  std::string path_;
};

TEST_F(WrittenDatabase, HiddenSelectQueriesAreListedOtherKindsAndSystemNamesAreNot) {
  auto server = automation::mdb::MakeMdbAccessServer();
  auto app = server->CreateObject();
  app->OpenCurrentDatabase(path_, false);
  auto db = app->CurrentDatabase();
  EXPECT_EQ(ListedTableNames(*db), (Names{"MSy", "msysLower", "Orders", "USysRibbons"}));
  EXPECT_EQ(ListedQueryNames(*db), (Names{"Hidden", "Plain", "~sq_fForm"}));
}

TEST_F(WrittenDatabase, PivotEntriesInFieldOrderWithNoneFirstInTheSecondLevel) {
  auto server = automation::mdb::MakeMdbAccessServer();
  auto app = server->CreateObject();
  app->OpenCurrentDatabase(path_, false);
  auto db = app->CurrentDatabase();

  // A field named "なし" is listed like any other.
  PivotFieldEntries table = TableFieldEntries(*db, "Orders");
  EXPECT_EQ(table.first_level, (Names{"品番", "数量", "なし"}));
  EXPECT_EQ(table.second_level, (Names{"なし", "品番", "数量", "なし"}));

  PivotFieldEntries query = QueryFieldEntries(*db, "Plain");
  EXPECT_EQ(query.first_level, (Names{"数量", "Twice"}));
  EXPECT_EQ(query.second_level, (Names{"なし", "数量", "Twice"}));

  EXPECT_THROW(TableFieldEntries(*db, "Plain"), automation::AutomationError);
  EXPECT_THROW(QueryFieldEntries(*db, "Orders"), automation::AutomationError);
}

TEST(FieldEntries, SampleTableAndQueryFieldsAsOthersToolsShowThem) {
  auto db = mdbtest::OpenSample("testV2000.mdb");
  // The header line mdb-export writes is the field order of the table.
  const std::string header =
      mdbtest::RunProgram({"mdb-export", mdbtest::SamplePath("testV2000.mdb"), "Table1"});
  Names fields;
  const auto csv = mdbtest::ParseCsv(header);
  for (const auto& f : csv.at(0)) fields.push_back(f.text);
  PivotFieldEntries entries = TableFieldEntries(*db, "Table1");
  EXPECT_EQ(entries.first_level, fields);
  ASSERT_EQ(entries.second_level.size(), fields.size() + 1);
  EXPECT_EQ(entries.second_level.front(), "なし");

  auto q = mdbtest::OpenSample("queryTestV2000.mdb");
  EXPECT_EQ(QueryFieldEntries(*q, "SelectQuery").first_level.size(), 6u);
}

// A linked table's pivot entries are the fields of the table it links to:
// the real split pair, the back-end beside the front-end.
TEST(FieldEntries, ALinkedTableListsTheFieldsOfItsBackEndTable) {
  const ::kestrin::testing::TempFolder folder;
  const fs::path& dir = folder.path();
  for (const char* name : {"linkerTestV2007.accdb", "linkeeTest.accdb"})
    fs::copy_file(mdbtest::SamplePath(name), dir / name, fs::copy_options::overwrite_existing);
  {
    auto app = automation::mdb::MakeMdbAccessServer()->CreateObject();
    app->OpenCurrentDatabase((dir / "linkerTestV2007.accdb").string(), false);
    auto db = app->CurrentDatabase();
    const Names listed = ListedTableNames(*db);
    EXPECT_NE(std::find(listed.begin(), listed.end(), "Table2"), listed.end());
    const PivotFieldEntries entries = TableFieldEntries(*db, "Table2");
    EXPECT_EQ(entries.first_level, (Names{"ID", "Field1"}));
    EXPECT_EQ(entries.second_level, (Names{"なし", "ID", "Field1"}));
  }
}

// The open steps against the real reader.
TEST(OpenSteps, StartOpenAndCloseTheProgramsOwnAccess) {
  auto server = automation::mdb::MakeMdbAccessServer();
  SourceState state;
  const std::string path = mdbtest::SamplePath("queryTestV2000.mdb");
  const std::string before = Bytes(path);

  AttachOrStartAccess(state, *server);
  ASSERT_TRUE(state.AcApp);
  EXPECT_EQ(state.AcNewF, 1);  // nothing was running
  state.MdbPath = path;
  OpenSourceDatabase(state);
  ASSERT_TRUE(state.AcDb);
  EXPECT_EQ(ListedTableNames(*state.AcDb), (Names{"Table1", "Table2", "Table3"}));
  // The reader never writes: the property write fails, is ignored, and the
  // user's file keeps every byte.
  HideStartupForm(state);
  EXPECT_EQ(Bytes(path), before);

  // Attaching again finds the instance the program holds; the flag stays.
  auto held = state.AcApp;
  AttachOrStartAccess(state, *server);
  EXPECT_EQ(state.AcApp, held);
  EXPECT_EQ(state.AcNewF, 1);

  // Nothing chosen yet (empty caption): nothing is closed.
  CloseOwnDatabase(state, false);
  EXPECT_TRUE(state.AcDb);
  CloseOwnDatabase(state, true);
  EXPECT_FALSE(state.AcDb);
  EXPECT_FALSE(state.AcApp);
  EXPECT_THROW(held->CurrentDatabase(), automation::AutomationError);  // closed
}

TEST(OpenSteps, FailuresLeaveTheOpenDatabaseAndNameTheProblem) {
  auto server = automation::mdb::MakeMdbAccessServer();
  SourceState state;
  EXPECT_THROW(OpenSourceDatabase(state), automation::AutomationError);  // no Access

  AttachOrStartAccess(state, *server);
  state.MdbPath = mdbtest::SamplePath("testV2000.mdb");
  OpenSourceDatabase(state);
  auto opened = state.AcDb;
  for (const std::string& bad :
       {std::string(), mdbtest::SamplePath("no-such.mdb"), mdbtest::SamplePath("README.md")}) {
    state.MdbPath = bad;
    EXPECT_THROW(OpenSourceDatabase(state), automation::AutomationError) << bad;
    EXPECT_EQ(state.AcDb, opened);
  }
}

TEST(OpenSteps, AnAttachedAccessIsNeverClosedAndAFailedStartLeavesItEmpty) {
  testing::FakeAccessServer server;
  auto running = std::make_shared<testing::FakeAccessApplication>();
  server.running = running;
  SourceState state;
  AttachOrStartAccess(state, server);
  EXPECT_EQ(state.AcApp, running);
  EXPECT_EQ(state.AcNewF, 0);
  EXPECT_EQ(server.created, 0);
  CloseOwnDatabase(state, true);
  EXPECT_EQ(running->closes, 0);
  EXPECT_EQ(state.AcApp, running);

  testing::FakeAccessServer none;
  none.make = nullptr;
  SourceState empty;
  AttachOrStartAccess(empty, none);
  EXPECT_FALSE(empty.AcApp);
  EXPECT_EQ(empty.AcNewF, 0);  // nothing was started
  // Own flag set, but the instance never came: the next choice goes on.
  empty.AcNewF = 1;
  CloseOwnDatabase(empty, true);
  EXPECT_FALSE(empty.AcApp);
}

}  // namespace
}  // namespace kestrin::source
