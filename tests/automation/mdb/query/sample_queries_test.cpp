// Saved queries of real sample databases (tests/data/databases), and of an
// asset register written here, read by the Access reader and evaluated by the
// engine. Expected values of the samples were worked out from `mdb-export` of
// the tables and `mdb-export ... MSysQueries`.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "automation/failure.h"
#include "automation/mdb/mdb_source.h"
#include "automation/mdb/query/query_engine.h"
#include "tests/automation/mdb/query/fake_tables.h"
#include "tests/support/jet4_writer.h"
#include "tests/support/mdb_test_support.h"
#include "tests/support/temp_folder.h"

namespace kestrin::automation::mdb {
namespace {

struct Sample {
  std::shared_ptr<MdbSource> source;
  std::unique_ptr<QueryEngine> engine;
};

Sample Open(const std::string& name) {
  Sample s;
  s.source = MdbSource::Open(mdbtest::SamplePath(name));
  s.engine = std::make_unique<QueryEngine>(*s.source, s.source->ReadSavedQueries());
  return s;
}

std::int32_t ErrorOf(QueryEngine& e, const std::string& query) {
  try {
    e.Run(query);
  } catch (const AutomationError& err) {
    return err.number();
  }
  return 0;
}

// An asset register written by the project's own writer, with saved queries
// of the kinds an Access user makes of one: computed columns over currency, a
// filtered sort, a grouped sum, and a form's hidden DISTINCTROW record source.
// Expected results are worked out here from the rows written.
TEST(SampleQueries, AssetRegisterSelectsTotalsAndExpressions) {
  namespace ts = testsupport;
  using testing::QueryBuilder;
  const char* owners[] = {"Sales", "Admin & Accounts", "Production", "Maintenance"};
  const char* categories[] = {"Computer Hardware", "Office Furniture", "General Equipment"};
  struct Asset {
    std::string no, owner, category;
    double acquired;
    std::int64_t cost;  // ten-thousandths
  };
  std::vector<Asset> assets;
  ts::Jet4Table table{"Asset Items",
                      {{"Asset No", AccessType::kText, 10},
                       {"Make", AccessType::kText, 30},
                       {"Model", AccessType::kText, 30},
                       {"Acquired", AccessType::kDateTime},
                       {"Cost", AccessType::kCurrency},
                       {"Owner", AccessType::kText, 30},
                       {"Asset Category", AccessType::kText, 30}},
                      {},
                      {}};
  for (int i = 0; i < 45; ++i) {
    Asset a{std::to_string(30050 + i), owners[(i * 7) % 4], categories[(i * 5) % 3],
            35000.0 + i * 17, (i * 389 % 2000 + 50) * 10000LL + (i % 2) * 5000};
    assets.push_back(a);
    table.rows.push_back({Value(a.no), Value("Make " + std::to_string(i % 6)),
                          Value("M-" + std::to_string(i)), Value(DateTime{a.acquired}),
                          Value(Currency{a.cost}), Value(a.owner), Value(a.category)});
  }
  ts::Jet4Database file;
  file.tables = {table};
  file.queries = {
      QueryBuilder("qryGSTCalculations")
          .Kind(1)
          .Source("Asset Items")
          .Output("[Asset Items].[Asset No]")
          .Output("[Asset Items].Acquired")
          .Output("[Asset Items].Cost")
          .Output("[Cost]/1.22", "Ex Tax")
          .Output("[Cost]-([Cost]/1.22)", "GST"),
      QueryBuilder("qryComputerHardwareInOwnerOrder")
          .Kind(1)
          .Source("Asset Items")
          .Output("[Asset Items].[Asset No]")
          .Output("[Asset Items].Owner")
          .Output("[Asset Items].[Asset Category]")
          .Where("[Asset Items].[Asset Category]=\"Computer Hardware\"")
          .OrderBy("[Asset Items].Owner"),
      QueryBuilder("qryCostsSummedByOwner")
          .Kind(1)
          .Source("Asset Items")
          .Output("[Asset Items].Owner")
          .Output("[Asset Items].[Asset Category]")
          .Output("Sum([Asset Items].Cost)", "SumOfCost")
          .GroupBy("[Asset Items].Owner")
          .GroupBy("[Asset Items].[Asset Category]"),
      QueryBuilder("~sq_ffrmAssetInventory", ts::query_flags::kHiddenSelect)
          .Kind(1)
          .Options(0x08)
          .Source("Asset Items")
          .Output("*"),
  };
  const ::kestrin::testing::TempFolder folder;
  const std::filesystem::path path = folder.path() / "asset-register.mdb";
  ts::WriteJet4Database(file, path);
  Sample s;
  s.source = MdbSource::Open(path.string());
  s.engine = std::make_unique<QueryEngine>(*s.source, s.source->ReadSavedQueries());
  QueryEngine& e = *s.engine;

  const QueryResult gst = e.Run("qryGSTCalculations");
  ASSERT_EQ(gst.rows.size(), assets.size());
  EXPECT_EQ(e.OutputColumnNames("qryGSTCalculations"),
            (std::vector<std::string>{"Asset No", "Acquired", "Cost", "Ex Tax", "GST"}));
  EXPECT_EQ(gst.columns[2].type, AccessType::kCurrency);
  EXPECT_EQ(gst.columns[3].type, AccessType::kDouble);
  for (std::size_t i = 0; i < assets.size(); ++i) {
    const auto& r = gst.rows[i];
    const double cost = static_cast<double>(assets[i].cost) / 10000;
    EXPECT_EQ(r[0], Value(assets[i].no));
    EXPECT_EQ(r[1], Value(DateTime{assets[i].acquired}));
    EXPECT_EQ(r[2], Value(Currency{assets[i].cost}));
    EXPECT_DOUBLE_EQ(r[3].real(), cost / 1.22);
    EXPECT_DOUBLE_EQ(r[4].real(), cost - cost / 1.22);
  }

  const QueryResult hw = e.Run("qryComputerHardwareInOwnerOrder");
  std::vector<std::string> expected_owners;
  for (const Asset& a : assets) {
    if (a.category == "Computer Hardware") expected_owners.push_back(a.owner);
  }
  std::sort(expected_owners.begin(), expected_owners.end());
  ASSERT_EQ(hw.rows.size(), expected_owners.size());
  for (std::size_t i = 0; i < hw.rows.size(); ++i) {
    EXPECT_EQ(hw.rows[i][1], Value(expected_owners[i]));
    EXPECT_EQ(hw.rows[i][2], Value("Computer Hardware"));
  }

  // Sums of currency per owner and category, in group order.
  std::map<std::pair<std::string, std::string>, std::int64_t> sums;
  for (const Asset& a : assets) sums[{a.owner, a.category}] += a.cost;
  std::vector<std::vector<Value>> expected;
  for (const auto& [key, sum] : sums) {
    expected.push_back({Value(key.first), Value(key.second), Value(Currency{sum})});
  }
  EXPECT_EQ(e.OutputColumnNames("qryCostsSummedByOwner"),
            (std::vector<std::string>{"Owner", "Asset Category", "SumOfCost"}));
  EXPECT_EQ(e.Run("qryCostsSummedByOwner").rows, expected);

  EXPECT_EQ(e.Sql("~sq_ffrmAssetInventory"), "SELECT DISTINCTROW *\nFROM [Asset Items];");
  const QueryResult all = e.Run("~sq_ffrmAssetInventory");
  EXPECT_EQ(all.rows.size(), assets.size());
  EXPECT_EQ(all.columns.size(), 7u);
}

class QueryTestFiles : public ::testing::TestWithParam<const char*> {};

TEST_P(QueryTestFiles, EveryKindOfQuery) {
  Sample s = Open(GetParam());
  QueryEngine& e = *s.engine;
  EXPECT_EQ(e.Sql("SelectQuery"),
            "SELECT DISTINCT Table1.*, Table2.col1, Table2.col2, Table3.col3\n"
            "FROM (Table1 LEFT JOIN Table3 ON Table1.col1 = Table3.col1) INNER JOIN Table2 ON "
            "(Table3.col1 = Table2.col1) AND (Table3.col1 = Table2.col2)\n"
            "WHERE (((Table2.col2)=\"foo\" Or (Table2.col2) In (\"buzz\",\"bazz\")))\n"
            "ORDER BY Table2.col1;");
  // The tables are empty; the names show the star expansion and the
  // Table.Column form for names that occur twice.
  const QueryResult select = e.Run("SelectQuery");
  EXPECT_TRUE(select.rows.empty());
  std::vector<std::string> names;
  for (const auto& c : select.columns) names.push_back(c.name);
  EXPECT_EQ(names, (std::vector<std::string>{"Table1.col1", "Table1.col2", "Table1.col3",
                                             "Table2.col1", "Table2.col2", "Table3.col3"}));

  EXPECT_NE(e.Sql("CrosstabQuery").find("PIVOT [Table1].[col1];"), std::string::npos);
  // Its WHERE holds Avg(...), which Access refuses as well.
  EXPECT_EQ(ErrorOf(e, "CrosstabQuery"), 3096);
  EXPECT_NE(e.Sql("UnionQuery").find("\nUNION ALL\n"), std::string::npos) << e.Sql("UnionQuery");
  // Its parts have no FROM clause, so their columns are parameters.
  EXPECT_EQ(ErrorOf(e, "UnionQuery"), 3061);
  for (const char* refused : {"UpdateQuery", "AppendQuery", "DeleteQuery", "MakeTableQuery",
                              "PassthroughQuery", "DataDefinitionQuery"}) {
    EXPECT_EQ(ErrorOf(e, refused), 3219) << refused;
  }
  EXPECT_EQ(e.Sql("DataDefinitionQuery"), "CREATE TABLE Table5 (col1 CHAR, col2 CHAR);");
  EXPECT_NE(e.Sql("UpdateQuery").find("PARAMETERS [User Name] Text ( 255 );\nUPDATE Table1\n"),
            std::string::npos)
      << e.Sql("UpdateQuery");
}

INSTANTIATE_TEST_SUITE_P(Versions, QueryTestFiles,
                         ::testing::Values("queryTestV1997.mdb", "queryTestV2000.mdb",
                                           "queryTestV2007.accdb"));

}  // namespace
}  // namespace kestrin::automation::mdb

namespace kestrin::automation::mdb {
namespace {

// Every saved query of every sample either runs or fails with an
// AutomationError whose description names the query or states the count of
// missing parameters, never with a syntax error; rebuilding its SQL never
// fails on these real files.
TEST(SampleQueries, EveryQueryOfEverySampleRunsOrFailsCleanly) {
  int ran = 0, refused = 0;
  for (const std::string& name : mdbtest::SampleNames()) {
    Sample s = Open(name);
    for (const auto& q : s.source->queries()) {
      EXPECT_NO_THROW(s.engine->Sql(q.name)) << name << ": " << q.name;
      try {
        const QueryResult r = s.engine->Run(q.name);
        for (const auto& row : r.rows) ASSERT_EQ(row.size(), r.columns.size());
        ++ran;
      } catch (const AutomationError& e) {
        ++refused;
        const bool names_it = e.description().find(q.name) != std::string::npos ||
                              e.description().rfind("パラメーターが少なすぎます", 0) == 0;
        EXPECT_TRUE(names_it) << name << ": " << q.name << ": " << e.description();
        // What Access runs, the engine runs: none is a syntax error to it.
        EXPECT_NE(e.number(), 3075) << name << ": " << q.name << ": " << e.description();
      }
    }
  }
  RecordProperty("ran", ran);
  RecordProperty("refused", refused);
  // The three select queries of the query test files; the linked-table
  // database's queries name tables that are not in the file.
  EXPECT_EQ(ran, 3);
}

}  // namespace
}  // namespace kestrin::automation::mdb
