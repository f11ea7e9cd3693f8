// Saved queries in the shapes Access's own designer and wizards write, in a
// generated file read back through the Access interfaces: joins of three
// sources nested in parentheses under DISTINCTROW, a wizard crosstab,
// declared parameters, names outside ASCII, Single values and literals out
// of range; the clauses real saved queries carry (an empty source database,
// union parts ending in ';', derived tables in both forms, parameters on
// forms), Single arithmetic on the stored value, and the evaluation rules
// Access follows. Expected results are worked out by hand from the rows
// below.
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
  ts::Jet4Table customers{"Customers",
                          {{"CustID", AccessType::kLong},
                           {"Name", AccessType::kText, 30},
                           {"Active", AccessType::kBoolean},
                           {"Zip", AccessType::kText, 10}},
                          {},
                          {}};
  customers.rows = {{std::int64_t{1}, "Berg", true, "0345"},
                    {std::int64_t{2}, "Dahl", false, "12"},
                    {std::int64_t{3}, "Berg", true, "A1"},
                    {std::int64_t{4}, "Lund", false, Value()}};
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
  // Order lines as the classic sample database holds them: the Single
  // discount 0.15 is stored as 0.1500000059604645.
  ts::Jet4Table lines{"Lines",
                      {{"UnitPrice", AccessType::kCurrency},
                       {"Quantity", AccessType::kInteger},
                       {"Discount", AccessType::kSingle}},
                      {},
                      {}};
  lines.rows = {{Currency{10500}, std::int64_t{14}, 0.15},
                {Currency{10300}, std::int64_t{10}, 0.15},
                {Currency{123400}, std::int64_t{3}, 0.0}};
  const std::string quarter = "\"Qtr \" & DatePart(\"q\",[Shipped],1,0)";
  ts::Jet4Database db;
  db.tables = {customers, orders, items, lines};
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
      // An empty source-database entry: the current database (after a join,
      // where an IN would read as part of the join's condition).
      QueryBuilder("SameDatabase")
          .Kind(1)
          .Row(4)
          .Source("Customers")
          .Source("Orders")
          .Join("Customers", "Orders", "Customers.CustID = Orders.CustID")
          .Output("Name")
          .Where("OrderID = 12"),
      // Union parts stored with their own ';'.
      QueryBuilder("Parts", ts::query_flags::kUnion)
          .Kind(9)
          .Row(5, "SELECT Name FROM Customers WHERE CustID < 3;")
          .Row(5, "SELECT Name FROM Customers WHERE CustID = 4\r\nORDER BY Name;"),
      // Derived tables: parenthesised with a union inside, and the form
      // Access itself writes, [SELECT ...]. AS alias.
      QueryBuilder("DerivedUnion")
          .Kind(1)
          .Row(5, "SELECT CustID FROM Orders UNION SELECT CustID FROM Customers WHERE CustID = 4",
               0, "", "u")
          .Output("Count(*)", "N"),
      QueryBuilder("DerivedOldForm", ts::query_flags::kUnion)
          .Kind(9)
          .Row(5,
               "SELECT u.Name FROM [SELECT Name FROM Customers WHERE CustID > 2 UNION SELECT "
               "Name FROM Customers WHERE CustID = 2]. AS u;")
          .Row(5, "SELECT Name FROM Customers WHERE CustID = 1 ORDER BY Name;"),
      // Parameters Access asks for.
      QueryBuilder("AtName").Kind(1).Source("Orders").Output("OrderID").Where(
          "CustID = @CustomerID"),
      QueryBuilder("OnAForm").Kind(1).Source("Orders").Output("OrderID").Where(
          "CustID = Forms!frmOrders!cboCustomer And Shipped > [Forms]![frmOrders]![txtFrom] "
          "And CustID <> Forms!frmOrders!cboCustomer"),
      QueryBuilder("SalesByYear")
          .Kind(1)
          .Row(2, "", 8, "Forms!Sales Dialog!BeginningDate")
          .Row(2, "", 8, "[Forms]![Sales Dialog]![EndingDate]")
          .Source("Orders")
          .Output("OrderID")
          .Where("Shipped Between [Forms]![Sales Dialog]![BeginningDate] And "
                 "Forms![Sales Dialog]!EndingDate"),
      // Single arithmetic as the sample's order subtotals do it.
      QueryBuilder("LineTotals")
          .Kind(1)
          .Source("Lines")
          .Output("CCur([UnitPrice]*[Quantity]*(1-[Discount])/100)*100", "ExtendedPrice")
          .Output("Discount"),
      QueryBuilder("LinesTotal")
          .Kind(1)
          .Source("Lines")
          .Output("Sum(CCur([UnitPrice]*[Quantity]*(1-[Discount])/100)*100)", "Total"),
      // Evaluation rules.
      QueryBuilder("AliasFirst")
          .Kind(1)
          .Source("Items")
          .Output("Twice * 2", "Quad")
          .Output("Qty * 2", "Twice")
          .Where("ItemID = 101"),
      QueryBuilder("TopTies")
          .Kind(1)
          .Options(0x08 | 0x10, "5")
          .Source("Items")
          .Output("ItemID")
          .Output("Qty")
          .OrderBy("Qty", true),
      QueryBuilder("Correlated")
          .Kind(1)
          .Source("Customers")
          .Output("Name")
          .Output("(SELECT Count(*) FROM Orders WHERE Orders.CustID = Customers.CustID)", "N")
          .Where("(SELECT Max(Orders.Shipped) FROM Orders WHERE Orders.CustID = "
                 "Customers.CustID) > #3/1/2024#"),
      QueryBuilder("TooManyRows")
          .Kind(1)
          .Source("Customers")
          .Output("Name")
          .Output("(SELECT OrderID FROM Orders WHERE Orders.CustID = Customers.CustID)", "Order"),
      QueryBuilder("YesNo")
          .Kind(1)
          .Source("Customers")
          .Output("CustID")
          .Output("Active + 1", "Plus")
          .Where("Active = -1 Or Active = 1"),
      QueryBuilder("YesNoSum").Kind(1).Source("Customers").Output("Sum(Active)", "S"),
      QueryBuilder("TextAndNumbers")
          .Kind(1)
          .Source("Customers")
          .Output("CustID")
          .Where("Format(CustID, \"00\") = 3 Or Val(Zip & \"\") = 12"),
      QueryBuilder("TextFieldNumber")
          .Kind(1)
          .Source("Customers")
          .Output("CustID")
          .Where("Zip = 12"),
      QueryBuilder("NumberFieldText")
          .Kind(1)
          .Source("Customers")
          .Output("Name")
          .Where("CustID = \"2\""),
      QueryBuilder("PlusAndAmpersand")
          .Kind(1)
          .Source("Customers")
          .Output("Name + \"-\" + Zip", "Plus")
          .Output("Name & \"-\" & Zip", "Amp")
          .OrderBy("CustID"),
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
    EXPECT_EQ(e.description(), "パラメーターが少なすぎます。2 を指定してください。") << query;
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

TEST_F(AccessShapes, AnEmptySourceDatabaseIsTheCurrentOne) {
  EXPECT_EQ(Read("SameDatabase"), (Rows{{"Dahl"}}));
}

TEST_F(AccessShapes, UnionPartsEndingInASemicolon) {
  EXPECT_EQ(Read("Parts"), (Rows{{"Berg"}, {"Dahl"}, {"Lund"}}));
}

TEST_F(AccessShapes, DerivedTablesInBothForms) {
  // Customers of orders 1, 2, 3 and customer 4.
  EXPECT_EQ(Read("DerivedUnion"), (Rows{{4}}));
  // Berg (3), Dahl (2) and Lund (4) from the derived table, Berg (1) again.
  EXPECT_EQ(Read("DerivedOldForm"), (Rows{{"Berg"}, {"Dahl"}, {"Lund"}}));
}

TEST_F(AccessShapes, ParametersCountedAsAccessCountsThem) {
  const std::pair<const char*, const char*> cases[] = {{"AtName", "1 を指定してください。"},
                                                       {"OnAForm", "2 を指定してください。"},
                                                       {"SalesByYear", "2 を指定してください。"}};
  for (const auto& [query, expected] : cases) {
    const AutomationError e = Failure(query);
    EXPECT_EQ(e.number(), 3061) << query;
    EXPECT_EQ(e.description(), std::string("パラメーターが少なすぎます。") + expected) << query;
  }
}

// CCur([UnitPrice]*[Quantity]*(1-[Discount])/100)*100 with the stored
// discount: 1.05 * 14 * 0.8499999940395355 / 100 = 0.12494999912381173 and
// 1.03 * 10 * 0.8499999940395355 / 100 = 0.08754999938607216 round down to
// 12.49 and 8.75, where the decimal 0.85 would give exact halves that round
// to 12.50 and 8.76; 12.34 * 3 gives 37.02 either way.
TEST_F(AccessShapes, SingleArithmeticUsesTheStoredValue) {
  EXPECT_EQ(Read("LineTotals"),
            (Rows{{Currency{124900}, 0.15}, {Currency{87500}, 0.15}, {Currency{370200}, 0.0}}));
  EXPECT_EQ(Read("LinesTotal"), (Rows{{Currency{582600}}}));
}

TEST_F(AccessShapes, EvaluationRulesAccessFollows) {
  // An alias used before the column that defines it.
  EXPECT_EQ(Read("AliasFirst"), (Rows{{4, 2}}));
  // DISTINCTROW TOP 5 ... DESC: Qty 5, 4, 3, 2 and both rows tied at 1.
  const Rows top = Read("TopTies");
  ASSERT_EQ(top.size(), 6u);
  EXPECT_EQ(top[0], (std::vector<Value>{102, 5}));
  EXPECT_EQ(top[5][1], Value(1));
  // Correlated scalar subqueries in SELECT and WHERE; one of more than one
  // record is refused as Access refuses it.
  EXPECT_EQ(Read("Correlated"), (Rows{{"Berg", 2}, {"Dahl", 2}, {"Berg", 1}}));
  EXPECT_EQ(Failure("TooManyRows").number(), 3354);
  // Yes/No is -1 and 0: True equals -1, never 1.
  EXPECT_EQ(Read("YesNo"), (Rows{{1, 0}, {3, 0}}));
  EXPECT_EQ(Read("YesNoSum"), (Rows{{-2.0}}));
  // Text from an expression compares with a number as a number; a text
  // field compared with a number (or a number field with text) is a type
  // mismatch in the criteria.
  EXPECT_EQ(Read("TextAndNumbers"), (Rows{{2}, {3}}));
  EXPECT_EQ(Failure("TextFieldNumber").number(), 3464);
  EXPECT_EQ(Failure("NumberFieldText").number(), 3464);
  // + propagates Null, & does not.
  EXPECT_EQ(Read("PlusAndAmpersand"), (Rows{{"Berg-0345", "Berg-0345"},
                                            {"Dahl-12", "Dahl-12"},
                                            {"Berg-A1", "Berg-A1"},
                                            {Value(), "Lund-"}}));
}

TEST_F(AccessShapes, NumberLiteralBeyondDoubleIsASyntaxError) {
  const AutomationError e = Failure("Huge");
  EXPECT_EQ(e.number(), 3075);
  EXPECT_NE(e.description().find("1e999"), std::string::npos) << e.description();
}

}  // namespace
}  // namespace kestrin::automation::mdb
