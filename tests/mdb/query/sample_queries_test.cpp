// Saved queries of real sample databases (tests/data/databases), read by the
// Access reader and evaluated by the engine. Expected values were worked out
// from `mdb-export` of the tables and `mdb-export ... MSysQueries`.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "automation/failure.h"
#include "automation/mdb/mdb_source.h"
#include "automation/mdb/query/query_engine.h"
#include "tests/mdb/mdb_test_support.h"
#include "tests/mdb/query/fake_tables.h"

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

TEST(SampleQueries, AssetDatabaseSelectsTotalsAndExpressions) {
  Sample s = Open("ASampleDatabase.accdb");
  QueryEngine& e = *s.engine;

  EXPECT_EQ(e.Sql("qryGSTCalculations"),
            "SELECT [Asset Items].[Asset No], [Asset Items].Make, [Asset Items].Model, [Asset "
            "Items].Acquired, [Asset Items].Cost, [Cost]/1.22 AS [Ex Tax], [Cost]-([Cost]/1.22) AS "
            "GST\nFROM [Asset Items];");
  const QueryResult gst = e.Run("qryGSTCalculations");
  ASSERT_EQ(gst.rows.size(), 65u);
  EXPECT_EQ(
      e.OutputColumnNames("qryGSTCalculations"),
      (std::vector<std::string>{"Asset No", "Make", "Model", "Acquired", "Cost", "Ex Tax", "GST"}));
  EXPECT_EQ(gst.columns[4].type, AccessType::kCurrency);
  EXPECT_EQ(gst.columns[5].type, AccessType::kDouble);
  // First record: 30050, GEO Rocket 220ZX, 09/02/97, 1995.5000.
  const auto& first = gst.rows[0];
  EXPECT_EQ(first[0], Value("30050"));
  EXPECT_EQ(first[3], Value(DateTime{35675}));  // 1997-09-02
  EXPECT_EQ(first[4], Value(Currency{19955000}));
  EXPECT_DOUBLE_EQ(first[5].real(), 1995.5 / 1.22);
  EXPECT_DOUBLE_EQ(first[6].real(), 1995.5 - 1995.5 / 1.22);

  const QueryResult hw = e.Run("qryComputerHardwareInOwnerOrder");
  ASSERT_EQ(hw.rows.size(), 24u);
  std::vector<std::string> owners;
  std::set<std::string> numbers;
  for (const auto& r : hw.rows) {
    EXPECT_EQ(r[2], Value("Computer Hardware"));
    owners.push_back(r[1].text());
    numbers.insert(r[0].text());
  }
  EXPECT_TRUE(std::is_sorted(owners.begin(), owners.end()));
  EXPECT_EQ(owners.front(), "Admin & Accounts");
  EXPECT_EQ(std::count(owners.begin(), owners.end(), "Sales"), 8);
  EXPECT_TRUE(numbers.count("30115") && numbers.count("30050") && !numbers.count("30052"));

  // Sum of currency per owner and category, in group order.
  const QueryResult sums = e.Run("qryCostsSummedByOwner");
  EXPECT_EQ(e.OutputColumnNames("qryCostsSummedByOwner"),
            (std::vector<std::string>{"Owner", "Asset Category", "SumOfCost"}));
  using Rows = std::vector<std::vector<Value>>;
  auto c = [](std::int64_t whole, int frac) { return Value(Currency{whole * 10000 + frac}); };
  const Rows expected = {
      {"Admin & Accounts", "Computer Hardware", c(16332, 0)},
      {"Admin & Accounts", "General Equipment", c(3744, 0)},
      {"Admin & Accounts", "Office Furniture", c(1212, 0)},
      {"Maintenance", "Computer Hardware", c(6974, 5000)},
      {"Maintenance", "Computer Software", c(899, 0)},
      {"Maintenance", "General Equipment", c(4656, 0)},
      {"Maintenance", "Office Furniture", c(3504, 0)},
      {"Management", "Office Furniture", c(3425, 5000)},
      {"Production", "Computer Hardware", c(9784, 5000)},
      {"Production", "General Equipment", c(1200, 0)},
      {"Production", "Office Furniture", c(6861, 0)},
      {"Sales", "Computer Hardware", c(18804, 0)},
      {"Sales", "General Equipment", c(11849, 0)},
      {"Sales", "Office Furniture", c(8919, 0)},
  };
  EXPECT_EQ(sums.rows, expected);

  // Access's own record-source query: SELECT DISTINCTROW * over the table.
  EXPECT_EQ(e.Sql("~sq_ffrmAssetInventory"), "SELECT DISTINCTROW *\nFROM [Asset Items];");
  const QueryResult all = e.Run("~sq_ffrmAssetInventory");
  EXPECT_EQ(all.rows.size(), 65u);
  EXPECT_EQ(all.columns.size(), 13u);
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
// missing parameters; rebuilding its SQL never fails on these real files.
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
                              e.description().find("Too few parameters") == 0;
        EXPECT_TRUE(names_it) << name << ": " << q.name << ": " << e.description();
      }
    }
  }
  RecordProperty("ran", ran);
  RecordProperty("refused", refused);
  // The asset database's six and the three select queries of the query test files;
  // the linked-table database's queries name tables that are not in the file.
  EXPECT_EQ(ran, 9);
}

}  // namespace
}  // namespace kestrin::automation::mdb
