// Evaluation of saved queries over small in-memory tables; every expected
// table below was worked out by hand from the data in Shop().
#include <gtest/gtest.h>

#include <cmath>

#include "automation/failure.h"
#include "automation/mdb/query/query_engine.h"
#include "tests/automation/mdb/query/fake_tables.h"

namespace kestrin::automation::mdb {
namespace {

using testing::FakeTables;
using testing::QueryBuilder;
using Rows = std::vector<std::vector<Value>>;

double Serial(int y, int m, int d) {
  // Days from 1899-12-30, counted independently of the engine's date code.
  static const int kCum[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  auto leap = [](int yr) { return (yr % 4 == 0 && yr % 100 != 0) || yr % 400 == 0; };
  long days = 0;
  for (int yr = 1900; yr < y; ++yr) days += leap(yr) ? 366 : 365;
  days += kCum[m - 1] + (m > 2 && leap(y) ? 1 : 0) + d;
  return static_cast<double>(days + 1);  // 1900-01-01 is serial 2
}

Value Cur(std::int64_t ten_thousandths) { return Value(Currency{ten_thousandths}); }
Value Date(int y, int m, int d) { return Value(DateTime{Serial(y, m, d)}); }

// Customers, orders and scores; the shop most tests query.
void Shop(FakeTables& t) {
  auto& c = t.Add("Customers", {{"CustID", AccessType::kLong},
                                {"Name", AccessType::kText},
                                {"City", AccessType::kText},
                                {"Joined", AccessType::kDateTime},
                                {"VIP", AccessType::kBoolean}});
  c.rows = {{1, "Ann", "Oslo", Date(2020, 1, 15), true},
            {2, "bob", "Bergen", Date(2021, 6, 1), false},
            {3, "Cid", Value(), Date(2019, 12, 31), true},
            {4, "Dee", "oslo", Value(), false}};
  auto& o = t.Add("Orders", {{"OrderID", AccessType::kLong},
                             {"CustID", AccessType::kLong},
                             {"Amount", AccessType::kCurrency},
                             {"Qty", AccessType::kInteger},
                             {"Shipped", AccessType::kDateTime}});
  o.rows = {{10, 1, Cur(123456), 2, Date(2020, 2, 1)},
            {11, 1, Cur(1), 1, Date(2020, 3, 1)},
            {12, 2, Cur(1000000), 5, Date(2021, 7, 4)},
            {13, 5, Cur(75000), 1, Value()}};
  auto& s = t.Add("Scores", {{"Who", AccessType::kText}, {"Points", AccessType::kLong}});
  s.rows = {{"a", 10}, {"b", 9}, {"c", 9}, {"d", 8}, {"e", 7}};
}

std::vector<std::string> Names(const QueryResult& r) {
  std::vector<std::string> out;
  for (const auto& c : r.columns) out.push_back(c.name);
  return out;
}

std::string Dump(const Rows& rows) {
  std::string s;
  for (const auto& r : rows) {
    for (const auto& v : r) s += Describe(v) + " | ";
    s += "\n";
  }
  return s;
}

#define EXPECT_ROWS(result, ...)                                    \
  do {                                                              \
    const Rows expected_rows = __VA_ARGS__;                         \
    EXPECT_EQ((result).rows, expected_rows) << Dump((result).rows); \
  } while (0)

TEST(QueryJoins, InnerLeftRightAndNested) {
  FakeTables t;
  Shop(t);
  const auto base = [](const char* name, int flag) {
    return QueryBuilder(name)
        .Source("Customers")
        .Source("Orders")
        .Output("Customers.CustID")
        .Output("Orders.OrderID")
        .Join("Customers", "Orders", "Customers.CustID = Orders.CustID", flag)
        .OrderBy("Orders.OrderID")
        .OrderBy("Customers.CustID");
  };
  QueryEngine e(t, {base("Inner", 1), base("Left", 2), base("Right", 3),
                    QueryBuilder("Nested")
                        .Source("Customers", "C")
                        .Source("Orders", "O")
                        .Source("Scores")
                        .Output("C.Name")
                        .Output("O.OrderID")
                        .Output("Scores.Points")
                        .Join("C", "O", "C.CustID = O.CustID", 1)
                        .Join("O", "Scores", "O.Qty * 2 = Scores.Points", 2)
                        .OrderBy("O.OrderID")});
  const QueryResult inner = e.Run("Inner");
  EXPECT_EQ(Names(inner), (std::vector<std::string>{"CustID", "OrderID"}));
  EXPECT_ROWS(inner, {{1, 10}, {1, 11}, {2, 12}});
  EXPECT_ROWS(e.Run("Left"), {{3, Value()}, {4, Value()}, {1, 10}, {1, 11}, {2, 12}});
  EXPECT_ROWS(e.Run("Right"), {{1, 10}, {1, 11}, {2, 12}, {Value(), 13}});
  // Qty 2 -> 4 points (none), 1 -> 2 (none), 5 -> 10 (a).
  EXPECT_ROWS(e.Run("Nested"), {{"Ann", 10, Value()}, {"Ann", 11, Value()}, {"bob", 12, 10}});
  EXPECT_NE(e.Sql("Nested").find("FROM (Customers AS C INNER JOIN Orders AS O ON C.CustID = "
                                 "O.CustID) LEFT JOIN Scores ON O.Qty * 2 = Scores.Points\n"),
            std::string::npos)
      << e.Sql("Nested");
}

TEST(QueryClauses, WhereGroupHavingOrderAndTextCase) {
  FakeTables t;
  Shop(t);
  QueryEngine e(t, {QueryBuilder("Totals")
                        .Source("Orders")
                        .Output("CustID")
                        .Output("Sum(Amount)", "Total")
                        .Output("Count(*)", "N")
                        .GroupBy("CustID")
                        .Having("Count(*) >= 1 And Sum(Amount) > 5")
                        .OrderBy("Sum(Amount)", true),
                    QueryBuilder("ByCity")
                        .Source("Customers")
                        .Output("City")
                        .Output("Count(CustID)", "N")
                        .GroupBy("City")
                        .OrderBy("City"),
                    QueryBuilder("ByAlias")
                        .Source("Orders")
                        .Output("Qty * 2", "Twice")
                        .Output("Twice + 1", "More")
                        .Where("Twice > 2")
                        .OrderBy("Twice", true),
                    QueryBuilder("Oslo")
                        .Source("Customers")
                        .Output("Name")
                        .Where("City = \"OSLO\" Or City Is Null")
                        .OrderBy("Name", true)});
  // 12.3456 + 0.0001 = 12.3457 exactly; customer 5 has 7.5000, customer 2 100.0000.
  EXPECT_ROWS(e.Run("Totals"), {{2, Cur(1000000), 1}, {1, Cur(123457), 2}, {5, Cur(75000), 1}});
  const QueryResult by_city = e.Run("ByCity");
  ASSERT_EQ(by_city.rows.size(), 3u) << Dump(by_city.rows);  // Oslo and oslo are one city
  EXPECT_EQ(by_city.rows[0], (std::vector<Value>{Value(), 1}));
  EXPECT_EQ(by_city.rows[1], (std::vector<Value>{"Bergen", 1}));
  EXPECT_EQ(by_city.rows[2][1], Value(2));
  EXPECT_ROWS(e.Run("Oslo"), {{"Dee"}, {"Cid"}, {"Ann"}});
  // Another output's alias stands for its expression.
  EXPECT_ROWS(e.Run("ByAlias"), {{10, 11}, {4, 5}});
}

TEST(QueryDistinct, DistinctAndDistinctRow) {
  FakeTables t;
  Shop(t);
  auto& p = t.Add("People", {{"Id", AccessType::kLong}, {"Name", AccessType::kText}});
  p.rows = {{1, "Ann"}, {2, "Ann"}, {3, "Bo"}};
  auto& v = t.Add("Visits", {{"PersonId", AccessType::kLong}});
  v.rows = {{1}, {1}, {2}, {3}};
  auto joined = [](const char* name, int options) {
    return QueryBuilder(name)
        .Options(options)
        .Source("People")
        .Source("Visits")
        .Output("People.Name")
        .Join("People", "Visits", "People.Id = Visits.PersonId")
        .OrderBy("People.Name");
  };
  QueryEngine e(t, {joined("Plain", 0), joined("Distinct", 0x02), joined("DistinctRow", 0x08),
                    QueryBuilder("Cities").Options(0x02).Source("Customers").Output("City"),
                    QueryBuilder("Lower").Options(0x02).Source("Customers").Output("City & \"\"")});
  EXPECT_ROWS(e.Run("Plain"), {{"Ann"}, {"Ann"}, {"Ann"}, {"Bo"}});
  EXPECT_ROWS(e.Run("Distinct"), {{"Ann"}, {"Bo"}});
  // One row per person with visits: the two people named Ann stay apart.
  EXPECT_ROWS(e.Run("DistinctRow"), {{"Ann"}, {"Ann"}, {"Bo"}});
  EXPECT_NE(e.Sql("DistinctRow").find("SELECT DISTINCTROW People.Name"), std::string::npos);
  EXPECT_EQ(e.Run("Cities").rows.size(), 3u);  // Null, Bergen, Oslo/oslo
  EXPECT_EQ(e.Run("Lower").rows.size(), 3u);   // computed text compares the same way
}

TEST(QueryTop, TiesAndPercent) {
  FakeTables t;
  Shop(t);
  auto top = [](const char* name, const char* n, bool percent, bool order = true) {
    QueryBuilder b(name);
    b.Options(0x10 | (percent ? 0x20 : 0), n).Source("Scores").Output("Who");
    if (order) b.OrderBy("Points", true);
    return b;
  };
  QueryEngine e(t, {top("Top1", "1", false), top("Top2", "2", false), top("Top3", "3", false),
                    top("Pct40", "40", true), top("Pct1", "1", true), top("Pct100", "100", true),
                    top("Unordered", "2", false, false),
                    QueryBuilder("DistinctTop")
                        .Options(0x02 | 0x10, "5")
                        .Source("Customers")
                        .Output("City")
                        .Where("City Is Not Null")
                        .OrderBy("City"),
                    QueryBuilder("TopAsc")
                        .Options(0x10, "2")
                        .Source("Scores")
                        .Output("Who")
                        .Output("Points")
                        .OrderBy("Points")
                        .OrderBy("Who", true)});
  EXPECT_ROWS(e.Run("Top1"), {{"a"}});
  EXPECT_ROWS(e.Run("Top2"), {{"a"}, {"b"}, {"c"}});  // b and c tie on 9
  EXPECT_ROWS(e.Run("Top3"), {{"a"}, {"b"}, {"c"}});
  EXPECT_ROWS(e.Run("Pct40"), {{"a"}, {"b"}, {"c"}});  // 40% of 5 = 2 rows, plus the tie
  EXPECT_ROWS(e.Run("Pct1"), {{"a"}});                 // rounds up to one row
  EXPECT_EQ(e.Run("Pct100").rows.size(), 5u);
  EXPECT_EQ(e.Run("Unordered").rows.size(), 2u);
  EXPECT_EQ(e.Run("DistinctTop").rows.size(), 2u);     // Bergen and one of Oslo/oslo
  EXPECT_ROWS(e.Run("TopAsc"), {{"e", 7}, {"d", 8}});  // no tie: the second key decides
  EXPECT_NE(e.Sql("Pct40").find("SELECT TOP 40 PERCENT Who"), std::string::npos);
}

TEST(QuerySubqueries, InExistsAndScalar) {
  FakeTables t;
  Shop(t);
  QueryEngine e(
      t, {QueryBuilder("WithOrders")
              .Source("Customers")
              .Output("Name")
              .Where("CustID In (SELECT CustID FROM Orders WHERE Qty > 1)")
              .OrderBy("Name"),
          QueryBuilder("WithoutOrders")
              .Source("Customers")
              .Output("Name")
              .Where("CustID Not In (SELECT CustID FROM Orders)")
              .OrderBy("Name"),
          QueryBuilder("Correlated")
              .Source("Customers", "C")
              .Output("Name")
              .Where("Exists (SELECT * FROM Orders AS O WHERE O.CustID = C.CustID AND O.Qty = 1)")
              .OrderBy("Name"),
          QueryBuilder("Biggest")
              .Source("Orders")
              .Output("OrderID")
              .Output("(SELECT Max(Amount) FROM Orders) - Amount", "Gap")
              .OrderBy("OrderID")});
  EXPECT_ROWS(e.Run("WithOrders"), {{"Ann"}, {"bob"}});
  EXPECT_ROWS(e.Run("WithoutOrders"), {{"Cid"}, {"Dee"}});
  EXPECT_ROWS(e.Run("Correlated"), {{"Ann"}});
  const QueryResult gap = e.Run("Biggest");
  EXPECT_EQ(gap.columns[1].type, AccessType::kCurrency);
  EXPECT_ROWS(gap, {{10, Cur(876544)}, {11, Cur(999999)}, {12, Cur(0)}, {13, Cur(925000)}});
}

TEST(QueryOnQueries, ViewsStarExpansionAndSingleLoad) {
  FakeTables t;
  Shop(t);
  QueryEngine e(
      t, {QueryBuilder("Big").Source("Orders").Output("Orders.*").Where("Amount >= 7.5"),
          QueryBuilder("BigNames")
              .Source("Big")
              .Source("Customers")
              .Output("Customers.Name")
              .Output("Big.*")
              .Join("Big", "Customers", "Big.CustID = Customers.CustID", 1)
              .OrderBy("Big.Amount"),
          QueryBuilder("All").Options(0x01).Source("BigNames"),
          QueryBuilder("Derived")
              .Row(5, "SELECT CustID, Sum(Amount) AS Spent FROM Orders GROUP BY CustID", 0, "", "S")
              .Source("Customers")
              .Output("Customers.Name")
              .Output("S.Spent")
              .Join("Customers", "S", "Customers.CustID = S.CustID", 2)
              .OrderBy("Customers.CustID"),
          QueryBuilder("RowsOfView")
              .Options(0x08)
              .Source("Big")
              .Source("Customers")
              .Output("Customers.City")
              .Join("Customers", "Big", "Customers.CustID = Big.CustID", 1),
          QueryBuilder("Loop1").Source("Loop2").Output("x"),
          QueryBuilder("Loop2").Source("Loop1").Output("x")});
  const QueryResult all = e.Run("All");
  EXPECT_EQ(Names(all),
            (std::vector<std::string>{"Name", "OrderID", "CustID", "Amount", "Qty", "Shipped"}));
  EXPECT_EQ(all.columns[3].type, AccessType::kCurrency);
  EXPECT_EQ(all.columns[5].type, AccessType::kDateTime);
  EXPECT_ROWS(all, {{"Ann", 10, 1, Cur(123456), 2, Date(2020, 2, 1)},
                    {"bob", 12, 2, Cur(1000000), 5, Date(2021, 7, 4)}});
  EXPECT_ROWS(e.Run("Derived"),
              {{"Ann", Cur(123457)}, {"bob", Cur(1000000)}, {"Cid", Value()}, {"Dee", Value()}});
  EXPECT_EQ(e.Run("RowsOfView").rows.size(), 2u);  // Oslo (Ann) and Bergen (bob)
  e.Run("BigNames");
  e.Run("Big");
  EXPECT_EQ(t.Reads("Orders"), 1);
  EXPECT_EQ(t.Reads("Customers"), 1);
  EXPECT_EQ(t.Reads("Scores"), 0);
  try {
    e.Run("Loop1");
    FAIL() << "a query that uses itself must fail";
  } catch (const AutomationError& err) {
    EXPECT_NE(err.description().find("循環参照"), std::string::npos) << err.description();
  }
}

TEST(QueryUnion, NamesFromFirstPartDistinctAndAll) {
  FakeTables t;
  Shop(t);
  auto union_query = [](const char* name, bool all) {
    QueryBuilder b(name);
    b.Kind(9)
        // Access keeps the last SELECT apart and the ones before it as one text.
        .Row(5,
             "SELECT Name AS Who, CustID FROM Customers WHERE CustID <= 2 UNION SELECT Who, Points "
             "FROM Scores WHERE Points >= 9",
             0, "", "part1")
        .Row(5, "SELECT \"Ann\", 1 FROM Scores WHERE Points = 9", 0, "", "part2")
        .OrderBy("Who");
    if (all) b.Options(1);
    return b;
  };
  QueryEngine e(t,
                {union_query("U", false), union_query("UAll", true),
                 QueryBuilder("NullFirst")
                     .Kind(9)
                     .Row(5, "SELECT Null AS Paid, 1 AS K FROM Scores WHERE Who = 'a'", 0, "", "p1")
                     .Row(5, "SELECT Amount, 2 FROM Orders WHERE OrderID = 10", 0, "", "p2")
                     .OrderBy("K")});
  const QueryResult u = e.Run("U");
  EXPECT_EQ(Names(u), (std::vector<std::string>{"Who", "CustID"}));
  EXPECT_ROWS(u, {{"a", 10}, {"Ann", 1}, {"b", 9}, {"bob", 2}, {"c", 9}});
  EXPECT_ROWS(e.Run("UAll"),
              {{"a", 10}, {"Ann", 1}, {"Ann", 1}, {"Ann", 1}, {"b", 9}, {"bob", 2}, {"c", 9}});
  EXPECT_NE(e.Sql("UAll").find("\nUNION ALL\n"), std::string::npos) << e.Sql("UAll");
  // A Null in the first part takes the type of the other parts.
  const QueryResult null_first = e.Run("NullFirst");
  EXPECT_EQ(null_first.columns[0].type, AccessType::kCurrency);
  EXPECT_ROWS(null_first, {{Value(), 1}, {Cur(123456), 2}});
}

TEST(QueryCrosstab, HeadingsFromDataAndFromInList) {
  FakeTables t;
  Shop(t);
  auto crosstab = [](const char* name, const char* in_list) {
    return QueryBuilder(name)
        .Kind(6)
        .Source("Orders")
        .Output("CustID", "", 2)
        .Output("Sum(Qty)", "Units", 0)
        .Row(6, "Year(Shipped)", 1, "", in_list)
        .GroupBy("CustID", 2)
        .GroupBy("Year(Shipped)", 1);
  };
  QueryEngine e(t, {crosstab("ByYear", ""), crosstab("Listed", "2021, 2019, 2020"),
                    QueryBuilder("OnCrosstab").Options(1).Source("ByYear").Where("[2020] > 0"),
                    QueryBuilder("CountText")
                        .Kind(6)
                        .Source("Customers")
                        .Output("VIP", "", 2)
                        .Output("Count(*)", "", 0)
                        .Output("City", "", 1)
                        .GroupBy("VIP", 2)});
  const QueryResult by_year = e.Run("ByYear");
  EXPECT_EQ(Names(by_year), (std::vector<std::string>{"CustID", "<>", "2020", "2021"}));
  EXPECT_ROWS(by_year,
              {{1, Value(), 3.0, Value()}, {2, Value(), Value(), 5.0}, {5, 1.0, Value(), Value()}});
  const QueryResult on_crosstab = e.Run("OnCrosstab");
  EXPECT_EQ(Names(on_crosstab), Names(by_year));
  EXPECT_ROWS(on_crosstab, {{1, Value(), 3.0, Value()}});
  const QueryResult listed = e.Run("Listed");
  EXPECT_EQ(Names(listed), (std::vector<std::string>{"CustID", "2021", "2019", "2020"}));
  EXPECT_ROWS(
      listed,
      {{1, Value(), Value(), 3.0}, {2, 5.0, Value(), Value()}, {5, Value(), Value(), Value()}});
  EXPECT_NE(
      e.Sql("Listed").find("TRANSFORM Sum(Qty) AS Units\nSELECT CustID\nFROM Orders\nGROUP BY "
                           "CustID\nPIVOT Year(Shipped) In (2021, 2019, 2020);"),
      std::string::npos)
      << e.Sql("Listed");
  // One column per distinct value: past Access's 255 fields it is refused.
  FakeTables many;
  auto& wide = many.Add("W", {{"R", AccessType::kLong}, {"C", AccessType::kLong}});
  for (int i = 0; i < 300; ++i) wide.rows.push_back({i % 2, i});
  QueryEngine we(many, {QueryBuilder("Wide")
                            .Kind(6)
                            .Source("W")
                            .Output("R", "", 2)
                            .Output("Count(*)", "", 0)
                            .Output("C", "", 1)
                            .GroupBy("R", 2)});
  try {
    we.Run("Wide");
    ADD_FAILURE();
  } catch (const AutomationError& err) {
    EXPECT_EQ(err.number(), 3190);
  }
  // Text headings group without regard to case; an empty cell is Null, not 0.
  const QueryResult counts = e.Run("CountText");
  ASSERT_EQ(counts.columns.size(), 4u);
  EXPECT_EQ(counts.columns[1].name, "<>");
  EXPECT_EQ(counts.columns[2].name, "Bergen");
  // Yes (-1) sorts before No (0).
  EXPECT_ROWS(counts, {{true, 1, Value(), 1}, {false, Value(), 1, 1}});
}

TEST(QueryText, LikeWildcardsConcatenationAndNames) {
  FakeTables t;
  Shop(t);
  auto like = [](const char* name, const char* pattern) {
    return QueryBuilder(name)
        .Source("Customers")
        .Output("Name")
        .Where(std::string("Name Like ") + pattern)
        .OrderBy("CustID");
  };
  QueryEngine e(t,
                {like("Star", "\"a*\""), like("Question", "\"?OB\""), like("Range", "\"[a-c]*\""),
                 like("NotRange", "'[!a-c]*'"), like("Digit", "\"*#\""),
                 QueryBuilder("NotLike")
                     .Source("Customers")
                     .Output("Name")
                     .Where("Name Not Like \"*e*\" And City Like \"*o\"")
                     .OrderBy("CustID"),
                 QueryBuilder("Concat")
                     .Source("Customers")
                     .Output("Name & \"-\" & City", "Label")
                     .Output("City & Null")
                     .Output("Null & Null")
                     .Output("1 + 2 & 3")
                     .Output("Name + City")
                     .Output("CustID")
                     .Output("Customers.CustID")
                     .Output("Joined & \"\"")
                     .OrderBy("CustID")});
  EXPECT_ROWS(e.Run("Star"), {{"Ann"}});
  EXPECT_ROWS(e.Run("Question"), {{"bob"}});
  EXPECT_ROWS(e.Run("Range"), {{"Ann"}, {"bob"}, {"Cid"}});
  EXPECT_ROWS(e.Run("NotRange"), {{"Dee"}});
  EXPECT_TRUE(e.Run("Digit").rows.empty());
  EXPECT_ROWS(e.Run("NotLike"), {{"Ann"}});
  const QueryResult c = e.Run("Concat");
  EXPECT_EQ(Names(c),
            (std::vector<std::string>{"Label", "Expr1000", "Expr1001", "Expr1002", "Expr1003",
                                      "Customers.CustID", "Customers.CustID", "Expr1004"}));
  EXPECT_EQ(c.rows[0],
            (std::vector<Value>{"Ann-Oslo", "Oslo", Value(), "33", "AnnOslo", 1, 1, "1/15/2020"}));
  EXPECT_EQ(c.rows[2],
            (std::vector<Value>{"Cid-", Value(), Value(), "33", Value(), 3, 3, "12/31/2019"}));
  EXPECT_EQ(c.rows[3][7], Value(""));
}

TEST(QueryDates, LiteralsComparisonsAndFunctions) {
  FakeTables t;
  Shop(t);
  QueryEngine e(
      t, {QueryBuilder("Since")
              .Source("Customers")
              .Output("Name")
              .Where("Joined >= #1/1/2020# And Joined < #2021-06-01 00:00:01#")
              .OrderBy("Joined"),
          QueryBuilder("Parts")
              .Source("Customers")
              .Output("Year(Joined)")
              .Output("Month(Joined)")
              .Output("Day(Joined)")
              .Output("Weekday(Joined)")
              .Output("DateAdd(\"m\", 1, Joined)")
              .Output("DateDiff(\"d\", Joined, #3/1/2020#)")
              .Output("Format(Joined, \"yyyy/mm/dd\")")
              .Output("Joined + 1")
              .Output("DateSerial(2020, 14, 0)")
              .Output("Format(Joined, \"Long Date\")")
              .Where("CustID = 1"),
          QueryBuilder("Times")
              .Source("Scores")
              .Output("#1/2/2020 6:30:15 PM#")
              .Output("Hour(#18:30:15#) & \":\" & Minute(#18:30:15#) & \":\" & Second(#18:30:15#)")
              .Output("TimeSerial(25, 0, 0)")
              .Output("DatePart(\"q\", #8/15/2021#)")
              .Output("DateDiff(\"m\", #12/31/2020#, #1/1/2021#)")
              .Output("DateAdd(\"m\", 1, #1/31/2020#)")
              .Output("Format(#1/2/2020 6:30:15 PM#, \"Short Date\")")
              .Output("Format(#1/2/2020 6:05:09 PM#, \"hh:nn:ss\")")
              .Output("CDate(\"2/29/2020\")")
              .Where("Who = \"a\"")});
  EXPECT_ROWS(e.Run("Since"), {{"Ann"}, {"bob"}});
  const QueryResult parts = e.Run("Parts");
  EXPECT_EQ(parts.columns[4].type, AccessType::kDateTime);
  // 2020-01-15 was a Wednesday (4 when Sunday is 1); 46 days to March 1st.
  EXPECT_ROWS(parts, {{2020, 1, 15, 4, Date(2020, 2, 15), 46, "2020/01/15", Date(2020, 1, 16),
                       Date(2021, 1, 31), "Wednesday, January 15, 2020"}});
  const QueryResult times = e.Run("Times");
  ASSERT_EQ(times.rows.size(), 1u);
  EXPECT_DOUBLE_EQ(times.rows[0][0].datetime().serial,
                   Serial(2020, 1, 2) + (18 * 3600 + 30 * 60 + 15) / 86400.0);
  EXPECT_EQ(times.rows[0][1], Value("18:30:15"));
  EXPECT_DOUBLE_EQ(times.rows[0][2].datetime().serial, 1 + 1 / 24.0);
  EXPECT_EQ(times.rows[0][3], Value(3));
  EXPECT_EQ(times.rows[0][4], Value(1));
  EXPECT_EQ(times.rows[0][5], Date(2020, 2, 29));
  EXPECT_EQ(times.rows[0][6], Value("1/2/2020"));
  EXPECT_EQ(times.rows[0][7], Value("18:05:09"));
  EXPECT_EQ(times.rows[0][8], Date(2020, 2, 29));
}

TEST(QueryCurrency, StaysExact) {
  FakeTables t;
  auto& p = t.Add("Prices", {{"Item", AccessType::kText}, {"Price", AccessType::kCurrency}});
  // 0.1 and 0.2 are not exact in binary; 922,337,203,685.4770 is beyond a double's exact cents.
  p.rows = {{"x", Cur(1000)}, {"y", Cur(2000)}, {"z", Cur(9223372036854770)}};
  QueryEngine e(t,
                {QueryBuilder("Math")
                     .Source("Prices")
                     .Output("Price")
                     .Output("Price * 3")
                     .Output("Price + 1")
                     .Output("CCur(\"0.00005\") + CCur(\"0.00015\")")
                     .Output("CCur(Price / 3)")
                     .Output("Price * 1.5")
                     .OrderBy("Item"),
                 QueryBuilder("Agg")
                     .Source("Prices")
                     .Output("Sum(Price)")
                     .Output("Avg(Price)")
                     .Output("Max(Price)")
                     .Where("Item <> \"z\""),
                 QueryBuilder("Big").Source("Prices").Output("Price - 1").Where("Item = \"z\"")});
  const QueryResult m = e.Run("Math");
  EXPECT_EQ(m.columns[1].type, AccessType::kCurrency);
  EXPECT_EQ(m.columns[5].type, AccessType::kDouble);
  // CCur rounds half to even: 0.00005 -> 0.0000, 0.00015 -> 0.0002.
  EXPECT_EQ(m.rows[0],
            (std::vector<Value>{Cur(1000), Cur(3000), Cur(11000), Cur(2), Cur(333), 0.1 * 1.5}));
  EXPECT_EQ(m.rows[1],
            (std::vector<Value>{Cur(2000), Cur(6000), Cur(12000), Cur(2), Cur(667), 0.2 * 1.5}));
  EXPECT_ROWS(e.Run("Agg"), {{Cur(3000), Cur(1500), Cur(2000)}});
  EXPECT_ROWS(e.Run("Big"), {{Cur(9223372036844770)}});

  // A provider that hands over plain numbers for Yes/No and Currency columns
  // still gets Access's storage: True is -1, amounts become ten-thousandths.
  FakeTables loose;
  auto& l = loose.Add("L", {{"Flag", AccessType::kBoolean}, {"Price", AccessType::kCurrency}});
  l.rows = {{1, 0.1}, {0, 2}};
  QueryEngine le(loose, {QueryBuilder("Q").Source("L").Output("Flag = True").Output("Price * 3")});
  EXPECT_ROWS(le.Run("Q"), {{true, Cur(3000)}, {false, Cur(60000)}});
}

TEST(QueryFunctions, TextNumberConversionAndChoice) {
  FakeTables t;
  auto& one = t.Add(
      "One", {{"S", AccessType::kText}, {"N", AccessType::kDouble}, {"E", AccessType::kText}});
  one.rows = {{"  Hello World  ", -2.5, Value()}};
  std::vector<std::pair<std::string, Value>> cases = {
      {"Trim(S)", "Hello World"},
      {"LTrim(S)", "Hello World  "},
      {"RTrim(S)", "  Hello World"},
      {"Len(S)", 15},
      {"Left(Trim(S), 4)", "Hell"},
      {"Right(Trim(S), 3)", "rld"},
      {"Mid(Trim(S), 7)", "World"},
      {"Mid(Trim(S), 7, 2)", "Wo"},
      {"InStr(S, \"world\")", 9},
      {"InStr(10, S, \"o\")", 10},
      {"InStr(S, \"zz\")", 0},
      {"UCase(\"abc\")", "ABC"},
      {"LCase(\"ÀBC\")", "àbc"},
      {"Replace(\"a.b.c\", \".\", \"--\")", "a--b--c"},
      {"Space(2) & String(3, \"x\")", "  xxx"},
      {"Asc(\"A\") & Chr(66)", "65B"},
      {"Round(2.5)", 2.0},
      {"Round(3.5)", 4.0},
      {"Round(2.345, 2)", 2.34},
      {"Round(N)", -2.0},
      {"Int(N)", -3.0},
      {"Fix(N)", -2.0},
      {"Abs(N)", 2.5},
      {"Sgn(N)", -1},
      {"Sqr(16)", 4.0},
      {"7 \\ 2", 3},
      {"7.5 \\ 2", 4},
      {"-7 Mod 3", -1},
      {"2 ^ 10", 1024.0},
      {"-2 ^ 2", -4.0},
      {"7 / 2", 3.5},
      {"CLng(\"12\") + 1", 13},
      {"CLng(2.5)", 2},
      {"CInt(-3.5)", -4},
      {"CDbl(\"1.25\")", 1.25},
      {"CStr(12.5)", "12.5"},
      {"CBool(\"True\")", true},
      {"CBool(0)", false},
      {"Val(\" 12 34abc\")", 1234.0},
      {"Val(\"-1.5e2x\")", -150.0},
      {"IsNumeric(\"12.5\")", true},
      {"IsNumeric(\"abc\")", false},
      {"IsNull(E)", true},
      {"Nz(E, \"none\")", "none"},
      {"Nz(E) & \"|\"", "|"},
      {"IIf(N < 0, \"neg\", \"pos\")", "neg"},
      {"IIf(E Is Null, 1, 2.5)", 1.0},
      {"Switch(N > 0, \"a\", N < -2, \"b\", True, \"c\")", "b"},
      {"Switch(N > 0, \"a\")", Value()},
      {"Format(1234.5, \"#,##0.00\")", "1,234.50"},
      {"Format(0.5, \"0%\")", "50%"},
      {"Format(1234.5, \"Currency\")", "$1,234.50"},
      {"Format(-3, \"Currency\")", "($3.00)"},
      {"Format(2.5, \"0\")", "3"},
      {"Format(1234.567, \"Standard\")", "1,234.57"},
      {"Format(0.25, \"Percent\")", "25.00%"},
      {"Format(3, \"Fixed\")", "3.00"},
      {"1 = 1", true},
      {"\"abc\" = \"ABC\"", true},
      {"Not (1 > 2)", true},
      {"3 Between 1 And 2", false},
      {"\"b\" In (\"A\", \"B\")", true},
      {"E = Null", Value()},
      {"True + 1", 0},
      {"Nz(Null, 5) + 1", 6},
      {"IIf(True, CCur(1.5), 2)", Cur(15000)},
      {"IIf(False, CCur(1.5), 2)", Cur(20000)},
      {"True Xor False", true},
      {"True Eqv False", false},
      {"False Imp True", true},
      {"#1/5/2020# Between #1/1/2020# And #1/31/2020#", true},
      {"#1/5/2020# In (#1/5/2020#, #2/5/2020#)", true},
      {"\"b\" Between \"A\" And \"C\"", true},
      {"CCur(1.23456)", Cur(12346)},
      {"Abs(CCur(-1.5))", Cur(15000)},
      {"Int(CCur(-1.5))", Cur(-20000)},
      {"-CCur(2)", Cur(-20000)},
      {"CCur(10) / 4", 2.5},
      {"CCur(10) \\ 4", 2},
      {"DateDiff(\"yyyy\", #12/31/2019#, #1/1/2020#)", 1},
      {"DateDiff(\"ww\", #1/4/2020#, #1/5/2020#)", 1},
      {"DateDiff(\"h\", #1/1/2020 23:59#, #1/2/2020 0:01#)", 1},
      {"DatePart(\"ww\", #1/1/2020#)", 1},
      {"DatePart(\"y\", #3/1/2020#)", 61},
      {"DateAdd(\"yyyy\", 1, #2/29/2020#)", Date(2021, 2, 28)},
      {"DateAdd(\"d\", -1, #3/1/2020#)", Date(2020, 2, 29)},
      {"Weekday(#1/5/2020#, 2)", 7},
      {"Mid(\"abc\", 5)", ""},
      {"Left(\"abc\", 10)", "abc"},
      {"Replace(\"aAa\", \"a\", \"b\")", "bbb"},
      {"InStr(\"abc\", \"\")", 1},
      {"Len(E)", Value()},
      {"UCase(E)", Value()},
      {"\"x\" & 1.5 & CCur(2.5) & True", "x1.52.5True"},
      {"CSng(0.1) = 0.1", false},
      {"CSng(0.5)", 0.5},
      {"Str(12) & Str(-3)", " 12-3"},
      {"Hex(255) & \"|\" & Hex(-1) & \"|\" & Hex(-70000)", "FF|FFFF|FFFEEE90"},
      {"InStrRev(\"a.b.c\", \".\")", 4},
      {"InStrRev(\"a.b.c\", \".\", 3)", 2},
      {"StrComp(\"abc\", \"ABD\") & StrComp(\"b\", \"A\") & StrComp(\"a\", \"A\")", "-110"},
      {"StrComp(\"a\", \"A\", 0)", 1},
      {"MonthName(2) & MonthName(12, True)", "FebruaryDec"},
      {"WeekdayName(1) & WeekdayName(1, True, 2)", "SundayMon"},
      {"TimeValue(#1/2/2020 6:00 PM#)", Value(DateTime{0.75})},
      {"Choose(2, \"a\", \"b\", \"c\")", "b"},
      {"Choose(2.9, 10, 20)", 20},
      {"Choose(4, 10, 20)", Value()},
      {"Int(Now()) = Date()", true},
      {"Date = Date()", true},
      {"Time() >= 0 And Time() < 1 And Year(Date()) >= 2024", true},
  };
  QueryBuilder b("F");
  b.Source("One");
  for (const auto& c : cases) b.Output(c.first);
  QueryEngine e(t, {b});
  const QueryResult r = e.Run("F");
  ASSERT_EQ(r.rows.size(), 1u);
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(Describe(r.rows[0][i]), Describe(cases[i].second)) << cases[i].first;
  }
}

TEST(QueryFunctions, AggregatesOverGroups) {
  FakeTables t;
  auto& m = t.Add("M", {{"G", AccessType::kText}, {"X", AccessType::kDouble}});
  m.rows = {{"a", 2.0}, {"a", 4.0}, {"a", 4.0}, {"a", 4.0}, {"a", 5.0},
            {"a", 5.0}, {"a", 7.0}, {"a", 9.0}, {"b", 1.0}, {"b", Value()}};
  QueryEngine e(t, {QueryBuilder("A")
                        .Source("M")
                        .Output("G")
                        .Output("Count(X)")
                        .Output("Count(*)")
                        .Output("Avg(X)")
                        .Output("Min(X)")
                        .Output("First(X)")
                        .Output("Last(X)")
                        .Output("StDevP(X)")
                        .Output("VarP(X)")
                        .Output("Var(X)")
                        .Output("StDev(X)")
                        .GroupBy("G")
                        .OrderBy("G")});
  const QueryResult r = e.Run("A");
  ASSERT_EQ(r.rows.size(), 2u);
  // Mean 5, population variance 4, sample variance 32/7.
  EXPECT_EQ(r.rows[0], (std::vector<Value>{"a", 8, 8, 5.0, 2.0, 2.0, 9.0, 2.0, 4.0, 32.0 / 7,
                                           std::sqrt(32.0 / 7)}));
  EXPECT_EQ(r.rows[1],
            (std::vector<Value>{"b", 1, 2, 1.0, 1.0, 1.0, Value(), 0.0, 0.0, Value(), Value()}));
}

TEST(QueryErrors, ParametersRefusalsAndUnknownNames) {
  FakeTables t;
  Shop(t);
  QueryEngine e(
      t,
      {QueryBuilder("Declared")
           .Row(2, "", 10, "Which City")
           .Source("Customers")
           .Output("Name")
           .Where("City = [Which City]"),
       QueryBuilder("Bare")
           .Source("Customers")
           .Output("Name")
           .Where("City = [Town] Or Name = Forms!F!Who"),
       QueryBuilder("OnParams").Source("Bare").Output("Name"),
       QueryBuilder("Update", 48).Kind(4).Source("Customers").Row(6, "1", 0, "", "CustID"),
       QueryBuilder("MakeTable", 80).Kind(2).Source("Customers").Output("Name"),
       QueryBuilder("Ddl", 96).Row(1, "CREATE TABLE X (a TEXT)", 7),
       QueryBuilder("NoTable").Source("Missing").Output("x"),
       QueryBuilder("NoFunction").Source("Customers").Output("Frobnicate(Name)"),
       QueryBuilder("Ambiguous").Source("Customers").Source("Orders").Output("CustID"),
       QueryBuilder("Broken").Source("Customers").Output("Name").Join("Customers", "Ghost", "1=1"),
       QueryBuilder("BadSyntax").Source("Customers").Output("Name +* 2"),
       QueryBuilder("DivZero").Source("Customers").Output("1 / (CustID - 1)"),
       QueryBuilder("Mismatch").Source("Customers").Output("Name * 2"),
       QueryBuilder("BadMid").Source("Customers").Output("Mid(Name, 0)"),
       QueryBuilder("BadSqr").Source("Customers").Output("Sqr(-CustID)"),
       QueryBuilder("BadLng").Source("Customers").Output("CLng(CustID * 1E10)"),
       QueryBuilder("External").Row(4, "", 0, "C:\\other.mdb").Source("Customers").Output("Name")});
  auto error = [&](const char* name) -> AutomationError {
    try {
      e.Run(name);
    } catch (const AutomationError& err) {
      return err;
    }
    ADD_FAILURE() << name << " ran";
    return AutomationError(0, "");
  };
  EXPECT_EQ(error("Declared").number(), 3061);
  EXPECT_EQ(error("Declared").description(), "パラメーターが少なすぎます。1 を指定してください。");
  EXPECT_EQ(error("Bare").description(), "パラメーターが少なすぎます。2 を指定してください。");
  EXPECT_EQ(error("OnParams").description(), "パラメーターが少なすぎます。2 を指定してください。");
  // The output names are known even when the values are not.
  EXPECT_EQ(e.OutputColumnNames("Bare"), (std::vector<std::string>{"Name"}));
  for (const char* action : {"Update", "MakeTable", "Ddl"}) {
    const AutomationError err = error(action);
    EXPECT_EQ(err.number(), 3219) << action;
    EXPECT_NE(err.description().find(action), std::string::npos) << err.description();
  }
  EXPECT_NE(error("Update").description().find("更新クエリ"), std::string::npos);
  EXPECT_EQ(error("NoTable").number(), 3078);
  EXPECT_NE(error("NoTable").description().find("'Missing'"), std::string::npos);
  EXPECT_EQ(error("NoFunction").number(), 3085);
  EXPECT_EQ(error("Ambiguous").number(), 3079);
  EXPECT_EQ(error("Broken").number(), 3075);
  EXPECT_NE(error("Broken").description().find("Ghost"), std::string::npos);
  EXPECT_EQ(error("BadSyntax").number(), 3075);
  EXPECT_EQ(error("DivZero").number(), 11);
  EXPECT_NE(error("DivZero").description().find("'DivZero'"), std::string::npos);
  EXPECT_EQ(error("Mismatch").number(), 3464);
  EXPECT_EQ(error("BadMid").number(), 5);
  EXPECT_EQ(error("BadSqr").number(), 5);
  EXPECT_EQ(error("BadLng").number(), 6);
  EXPECT_NE(error("External").description().find("other.mdb"), std::string::npos);
  // A failure of the provider keeps its number and gains the query's name;
  // the engine stays usable and loads nothing half.
  t.Add("Broken table", {{"x", AccessType::kLong}}).unreadable = true;
  QueryEngine e2(t, {QueryBuilder("UsesBroken").Source("Broken table").Output("x"),
                     QueryBuilder("OnUsesBroken").Source("UsesBroken").Output("x"),
                     QueryBuilder("Fine").Source("Scores").Output("Who").Where("Points = 10")});
  try {
    e2.Run("OnUsesBroken");
    ADD_FAILURE();
  } catch (const AutomationError& err) {
    EXPECT_EQ(err.number(), 3259);
    EXPECT_NE(err.description().find("'OnUsesBroken'"), std::string::npos) << err.description();
    EXPECT_NE(err.description().find("'UsesBroken'"), std::string::npos) << err.description();
  }
  EXPECT_EQ(e2.Run("Fine").rows.size(), 1u);
  // Running out of memory while loading a table (a damaged file makes one
  // look enormous) is a failure naming the query, not an escaping bad_alloc.
  t.Add("Huge table", {{"x", AccessType::kLong}}).out_of_memory = true;
  QueryEngine e3(t, {QueryBuilder("UsesHuge").Source("Huge table").Output("x")});
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      if (attempt == 0) e3.Run("UsesHuge");
      if (attempt == 1) e3.OutputColumnNames("UsesHuge");
      ADD_FAILURE();
    } catch (const AutomationError& err) {
      EXPECT_EQ(err.number(), 3035);
      EXPECT_NE(err.description().find("'UsesHuge'"), std::string::npos) << err.description();
    }
  }
  try {
    e.Run("Nothing");
    ADD_FAILURE();
  } catch (const AutomationError& err) {
    EXPECT_EQ(err.number(), 3265);
  }
  EXPECT_THROW(e.Sql("Nothing"), AutomationError);
  EXPECT_THROW(e.Sql("Broken"), AutomationError);
}

TEST(QuerySafety, NamesAndLiteralsCannotEscape) {
  FakeTables t;
  auto& weird = t.Add("x\"; DROP TABLE y; --",
                      {{"col \"1\"", AccessType::kText}, {"it's", AccessType::kLong}});
  weird.rows = {{"a'b", 1}, {"--", 2}};
  auto& y = t.Add("y", {{"v", AccessType::kLong}});
  y.rows = {{7}};
  QueryEngine e(t, {QueryBuilder("Q")
                        .Source("x\"; DROP TABLE y; --", "W")
                        .Output("W.[col \"1\"]")
                        .Output("[it's]")
                        .Output("\"'); DROP TABLE y; --\"")
                        .Where("[col \"1\"] = 'a''b' Or [col \"1\"] = \"--\"")
                        .OrderBy("[it's]"),
                    QueryBuilder("Y").Source("y").Output("v"),
                    QueryBuilder("Bracket").Source("a]b").Output("c")});
  EXPECT_ROWS(e.Run("Q"), {{"a'b", 1, "'); DROP TABLE y; --"}, {"--", 2, "'); DROP TABLE y; --"}});
  EXPECT_ROWS(e.Run("Y"), {{7}});
  EXPECT_THROW(e.Run("Bracket"), AutomationError);
}

}  // namespace
}  // namespace kestrin::automation::mdb

namespace kestrin::automation::mdb {
namespace {

// Definitions assembled at random from pieces of real and broken SQL must
// either run or fail with an AutomationError: never crash or hang.
TEST(QueryRobustness, RandomDefinitionsFailCleanly) {
  FakeTables t;
  Shop(t);
  const std::vector<std::string> pieces = {"Name",
                                           "CustID",
                                           "[City]",
                                           "Customers.Joined",
                                           "Orders.Amount",
                                           "C.x",
                                           "1",
                                           "2.5",
                                           "\"t\"",
                                           "'u'",
                                           "#1/2/2020#",
                                           "Null",
                                           "True",
                                           "+",
                                           "-",
                                           "*",
                                           "/",
                                           "\\",
                                           "^",
                                           "&",
                                           "Mod",
                                           "=",
                                           "<>",
                                           "<",
                                           ">=",
                                           "And",
                                           "Or",
                                           "Not",
                                           "Like",
                                           "Between",
                                           "In",
                                           "Is",
                                           "(",
                                           ")",
                                           ",",
                                           "Sum(",
                                           "IIf(",
                                           "Nz(",
                                           "Left(",
                                           "Format(",
                                           "DateAdd(\"d\",",
                                           "Count(*)",
                                           "(SELECT Max(Qty) FROM Orders)",
                                           "Exists (SELECT * FROM Orders)",
                                           "[",
                                           "]",
                                           "#",
                                           "\"",
                                           "!",
                                           ".",
                                           "*",
                                           ";",
                                           "SELECT",
                                           "FROM"};
  std::uint32_t seed = 12345;
  auto next = [&](std::uint32_t n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % n;
  };
  const std::vector<std::string> operands = {
      "Name",      "CustID",          "[City]",       "Joined",    "1",
      "2.5",       "\"t\"",           "#1/2/2020#",   "Null",      "True",
      "Len(Name)", "Nz(City, \"-\")", "Year(Joined)", "CustID * 2"};
  const std::vector<std::string> operators = {"+",  "-", "*",   "/",  "&",  "=",
                                              "<>", "<", "And", "Or", "Mod"};
  auto expression = [&] {
    std::string e;
    if (next(2)) {  // well formed, though not always well typed
      e = operands[next(static_cast<std::uint32_t>(operands.size()))];
      for (std::uint32_t i = next(4); i > 0; --i)
        e += " " + operators[next(static_cast<std::uint32_t>(operators.size()))] + " " +
             operands[next(static_cast<std::uint32_t>(operands.size()))];
      return e;
    }
    const std::uint32_t n = 1 + next(8);
    for (std::uint32_t i = 0; i < n; ++i)
      e += pieces[next(static_cast<std::uint32_t>(pieces.size()))] + " ";
    return e;
  };
  std::vector<SavedQuery> queries;
  for (int i = 0; i < 400; ++i) {
    QueryBuilder b("R" + std::to_string(i),
                   static_cast<std::int32_t>(next(3) == 0 ? next(256) : 0));
    const std::uint32_t rows = next(4);
    for (std::uint32_t r = 0; r < rows; ++r) {
      const int attribute = static_cast<int>(next(13));
      switch (attribute) {
        case 5:
          b.Source(next(2) ? "Customers" : (next(2) ? "Orders" : "R" + std::to_string(next(400))),
                   next(3) ? "" : "C");
          break;
        case 7:
          b.Join("Customers", next(2) ? "Orders" : "C", expression(), static_cast<int>(next(5)));
          break;
        default:
          b.Row(attribute, expression(), static_cast<int>(next(40)), next(4) ? "" : "5",
                next(4) ? "" : "Z");
          break;
      }
    }
    b.Source("Customers").Output(expression());
    queries.push_back(b);
  }
  QueryEngine e(t, queries);
  int ran = 0, failed = 0;
  for (const auto& q : queries) {
    try {
      e.Run(q.name);
      ++ran;
    } catch (const AutomationError& err) {
      EXPECT_FALSE(err.description().empty()) << q.name;
      ++failed;
    }
  }
  EXPECT_EQ(ran + failed, 400);
  EXPECT_GT(ran, 0);
}

}  // namespace
}  // namespace kestrin::automation::mdb
