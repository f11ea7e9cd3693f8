// Saved queries in the shapes Access's own designer and wizards write, in a
// generated file read back through the Access interfaces: joins of three
// sources nested in parentheses under DISTINCTROW, a wizard crosstab,
// declared parameters, names outside ASCII, Single values and literals out
// of range. Expected results are worked out by hand from the rows below.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>

#include "automation/failure.h"
#include "automation/mdb/mdb_access.h"
#include "tests/automation/mdb/query/fake_tables.h"
#include "tests/support/jet4_writer.h"
#include "tests/support/temp_folder.h"

namespace kestrin::automation::mdb {
namespace {

using testing::QueryBuilder;
namespace ts = testsupport;
using Rows = std::vector<std::vector<Value>>;

constexpr const char* kNestedJoin =
    "Customers INNER JOIN (Orders INNER JOIN Items ON Orders.OrderID = Items.OrderID) "
    "ON Customers.CustID = Orders.CustID";

// Two customers share a name: DISTINCTROW keeps one row per customer record
// where DISTINCT would fold them.
ts::Jet4Database Shapes() {
  ts::Jet4Table customers{
      "Customers", {{"CustID", AccessType::kLong}, {"Name", AccessType::kText, 30}}, {}, {}};
  customers.rows = {{std::int64_t{1}, "Berg"},
                    {std::int64_t{2}, "Dahl"},
                    {std::int64_t{3}, "Berg"},
                    {std::int64_t{4}, "Lund"}};
  ts::Jet4Table orders{"Orders",
                       {{"OrderID", AccessType::kLong},
                        {"CustID", AccessType::kLong},
                        {"Shipped", AccessType::kDateTime}},
                       {},
                       {}};
  // 2024-01-15, 2024-05-02, 2024-02-20, 2024-08-09, 2024-11-30
  orders.rows = {{std::int64_t{10}, std::int64_t{1}, DateTime{45306}},
                 {std::int64_t{11}, std::int64_t{1}, DateTime{45414}},
                 {std::int64_t{12}, std::int64_t{2}, DateTime{45342}},
                 {std::int64_t{13}, std::int64_t{3}, DateTime{45513}},
                 {std::int64_t{14}, std::int64_t{2}, DateTime{45626}}};
  ts::Jet4Table items{"Items",
                      {{"ItemID", AccessType::kLong},
                       {"OrderID", AccessType::kLong},
                       {"Qty", AccessType::kInteger},
                       {"Weight", AccessType::kSingle}},
                      {},
                      {}};
  items.rows = {{std::int64_t{100}, std::int64_t{10}, std::int64_t{2}, 0.15},
                {std::int64_t{101}, std::int64_t{10}, std::int64_t{1}, 0.25},
                {std::int64_t{102}, std::int64_t{11}, std::int64_t{5}, 1.1},
                {std::int64_t{103}, std::int64_t{12}, std::int64_t{3}, 0.15},
                {std::int64_t{104}, std::int64_t{13}, std::int64_t{1}, 2.5},
                {std::int64_t{105}, std::int64_t{13}, std::int64_t{4}, 0.3}};

  auto nested = [](QueryBuilder q) {
    return q.Source("Customers")
        .Source("Orders")
        .Source("Items")
        .Join("Orders", "Items", "Orders.OrderID = Items.OrderID")
        .Join("Customers", "Orders", "Customers.CustID = Orders.CustID");
  };
  const std::string quarter = "\"Qtr \" & DatePart(\"q\",[Shipped],1,0)";
  ts::Jet4Database db;
  db.tables = {customers, orders, items};
  db.queries = {
      nested(QueryBuilder("NestedTables").Kind(1).Options(0x08))
          .Output("Customers.Name")
          .Output("Items.Qty")
          .Where("Items.Qty <= 3")
          .OrderBy("Customers.Name")
          .OrderBy("Items.Qty"),
      QueryBuilder("ItemCount")
          .Kind(1)
          .Source("Items")
          .Output("Items.OrderID")
          .Output("Count(*)", "N")
          .Output("Sum(Items.Qty)", "Units")
          .GroupBy("Items.OrderID"),
      QueryBuilder("NestedQuery")
          .Kind(1)
          .Options(0x08)
          .Source("ItemCount")
          .Source("Customers")
          .Source("Orders")
          .Join("Customers", "Orders", "Customers.CustID = Orders.CustID")
          .Join("ItemCount", "Orders", "Orders.OrderID = ItemCount.OrderID")
          .Output("Customers.Name")
          .Output("ItemCount.Units")
          .Where("ItemCount.N >= 1")
          .OrderBy("ItemCount.Units", true)
          .OrderBy("Customers.Name"),
      nested(QueryBuilder("NestedGrouped").Kind(1).Options(0x08))
          .Output("Customers.Name")
          .Output("Sum(Items.Qty)", "Units")
          .GroupBy("Customers.Name")
          .OrderBy("Customers.Name"),
      // As the crosstab wizard writes it.
      QueryBuilder("QuarterUnits", ts::query_flags::kCrosstab)
          .Kind(6)
          .Options(0x08)
          .Source("Orders")
          .Source("Items")
          .Join("Orders", "Items", "Orders.OrderID = Items.OrderID")
          .Output("Orders.CustID", "", 2)
          .Output("Sum(Items.Qty)", "Total Of Qty", 2)
          .Output("Sum(Items.Qty)", "SumOfQty", 0)
          .Row(6, quarter, 1, "", "\"Qtr 1\",\"Qtr 2\",\"Qtr 3\",\"Qtr 4\"")
          .GroupBy("Orders.CustID", 2)
          .GroupBy(quarter, 1),
      QueryBuilder("Span")
          .Kind(1)
          .Row(2, "", 8, "[Von]")
          .Row(2, "", 8, "[Bis]")
          .Source("Orders")
          .Output("Orders.OrderID")
          .Where("Orders.Shipped Between [Von] And [Bis]"),
      QueryBuilder("DeclaredAndNot")
          .Kind(1)
          .Row(2, "", 4, "Least")
          .Source("Items")
          .Output("Items.ItemID")
          .Where("Items.Qty >= [least] And Items.Qty <= [Most] And Items.Qty <> [MOST]"),
      QueryBuilder("SpanAgain")
          .Kind(1)
          .Row(2, "", 8, "[Von]")
          .Source("Span")
          .Output("Span.OrderID")
          .Where("Span.OrderID > 0 Or [von] Is Null"),
      QueryBuilder("Ärger").Kind(1).Source("Customers").Output("Name").Where("CustID = 2"),
      QueryBuilder("ÜberÄrger").Kind(1).Source("ärger").Output("ÄRGER.Name"),
      QueryBuilder("Weights")
          .Kind(1)
          .Source("Items")
          .Output("Weight")
          .Output("Weight * 2", "Twice")
          .Output("CSng(1.1)", "Converted")
          .Where("ItemID = 100"),
      QueryBuilder("Huge").Kind(1).Source("Items").Output("Qty * 1e999", "Big"),
  };
  return db;
}

class AccessShapes : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = std::make_unique<::kestrin::testing::TempFolder>();
    path_ = std::make_unique<std::filesystem::path>(folder_->path() / "shapes.mdb");
    ts::WriteJet4Database(Shapes(), *path_);
  }
  static void TearDownTestSuite() {
    path_.reset();
    folder_.reset();
  }
  void SetUp() override {
    app_ = MakeMdbAccessServer()->CreateObject();
    app_->OpenCurrentDatabase(path_->string(), false);
    db_ = app_->CurrentDatabase();
  }

  Rows Read(const std::string& source) {
    Rows rows;
    auto rs = db_->OpenRecordset(source);
    for (; !rs->Eof(); rs->MoveNext()) {
      std::vector<Value> row;
      for (int i = 0; i < rs->Fields().Count(); ++i) row.push_back(rs->FieldValue(i));
      rows.push_back(std::move(row));
    }
    return rows;
  }
  AutomationError Failure(const std::string& source) {
    try {
      Read(source);
    } catch (const AutomationError& e) {
      return e;
    }
    ADD_FAILURE() << source << " did not fail";
    return AutomationError(0, "");
  }

  static inline std::unique_ptr<::kestrin::testing::TempFolder> folder_;
  static inline std::unique_ptr<std::filesystem::path> path_;
  std::shared_ptr<AccessApplication> app_;
  std::shared_ptr<DaoDatabase> db_;
};

// Sums come back as numbers; compare them by value, Null as Null.
std::vector<std::optional<double>> Numbers(const std::vector<Value>& row) {
  std::vector<std::optional<double>> out;
  for (const Value& v : row) {
    if (v.kind() == Value::Kind::kInteger) {
      out.emplace_back(static_cast<double>(v.integer()));
    } else if (v.kind() == Value::Kind::kDouble) {
      out.emplace_back(v.real());
    } else {
      out.emplace_back(std::nullopt);
    }
  }
  return out;
}

TEST_F(AccessShapes, DistinctRowOverNestedJoinsKeepsOneRowPerUnderlyingRecord) {
  // Items with Qty <= 3: 100 (customer 1, 2), 101 (customer 1, 1), 103
  // (customer 2, 3), 104 (customer 3, 1); (Berg, 1) comes from two records.
  EXPECT_EQ(Read("NestedTables"), (Rows{{"Berg", 1}, {"Berg", 1}, {"Berg", 2}, {"Dahl", 3}}));
  // Units per order: 10 -> 3, 11 -> 5, 12 -> 3, 13 -> 5; (Berg, 5) comes
  // twice, from customers 1 and 3 (inside the parentheses this time).
  EXPECT_EQ(Read("NestedQuery"),
            (Rows{{"Berg", 5.0}, {"Berg", 5.0}, {"Berg", 3.0}, {"Dahl", 3.0}}));
  // Grouped, DISTINCTROW changes nothing: Berg 2+1+5+1+4, Dahl 3.
  EXPECT_EQ(Read("NestedGrouped"), (Rows{{"Berg", 13.0}, {"Dahl", 3.0}}));
}

TEST_F(AccessShapes, WizardCrosstabWithDistinctRowAndFixedHeadings) {
  auto rs = db_->OpenRecordset("QuarterUnits");
  const auto& fields = rs->Fields();
  ASSERT_EQ(fields.Count(), 6);
  EXPECT_EQ(fields.Name(1), "Total Of Qty");
  EXPECT_EQ(fields.Name(2), "Qtr 1");
  EXPECT_EQ(fields.Name(5), "Qtr 4");
  using N = std::vector<std::optional<double>>;
  const Rows rows = Read("QuarterUnits");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(Numbers(rows[0]), (N{1, 8, 3, 5, std::nullopt, std::nullopt}));
  EXPECT_EQ(Numbers(rows[1]), (N{2, 3, 3, std::nullopt, std::nullopt, std::nullopt}));
  EXPECT_EQ(Numbers(rows[2]), (N{3, 5, std::nullopt, std::nullopt, 5, std::nullopt}));
}

TEST_F(AccessShapes, EachParameterIsCountedOnce) {
  for (const char* query : {"Span", "DeclaredAndNot", "SpanAgain"}) {
    const AutomationError e = Failure(query);
    EXPECT_EQ(e.number(), 3061) << query;
    EXPECT_EQ(e.description(), "Too few parameters. Expected 2.") << query;
  }
}

TEST_F(AccessShapes, NamesMatchWithoutRegardToCaseBeyondAscii) {
  EXPECT_EQ(Read("ÜberÄrger"), (Rows{{"Dahl"}}));
  EXPECT_EQ(Read("überärger"), (Rows{{"Dahl"}}));
  EXPECT_EQ(Read("customers").size(), 4u);
}

TEST_F(AccessShapes, SingleValuesArriveAsTheDecimalAccessShows) {
  const Rows items = Read("Items");
  ASSERT_EQ(items.size(), 6u);
  EXPECT_EQ(items[0][3], Value(0.15));
  EXPECT_EQ(items[2][3], Value(1.1));
  EXPECT_EQ(items[4][3], Value(2.5));
  // Through a query: the column, Single arithmetic, and CSng.
  EXPECT_EQ(Read("Weights"), (Rows{{0.15, 0.3, 1.1}}));
}

TEST_F(AccessShapes, NumberLiteralBeyondDoubleIsASyntaxError) {
  const AutomationError e = Failure("Huge");
  EXPECT_EQ(e.number(), 3075);
  EXPECT_NE(e.description().find("1e999"), std::string::npos) << e.description();
}

}  // namespace
}  // namespace kestrin::automation::mdb
