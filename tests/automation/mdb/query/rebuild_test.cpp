// SQL text rebuilt from MSysQueries rows. The row sets follow the sample
// databases in tests/data/databases (queryTestV2000.mdb), whose rows were read
// with mdb-export.
#include <gtest/gtest.h>

#include "automation/failure.h"
#include "automation/mdb/query/rebuild.h"
#include "automation/messages.h"
#include "tests/automation/mdb/query/fake_tables.h"

namespace kestrin::automation::mdb {
namespace {

using testing::QueryBuilder;

TEST(RebuildSql, SelectWithJoinGroupsAndOptions) {
  // A left join, then two inner-join rows over the same pair that merge into
  // one ON with AND.
  const SavedQuery q =
      QueryBuilder("SelectQuery")
          .Kind(1)
          .Options(2)
          .Source("Table1")
          .Source("Table2")
          .Source("Table3")
          .Output("Table1.*")
          .Output("Table2.col1")
          .Output("Table2.col2")
          .Output("Table3.col3")
          .Join("Table1", "Table3", "Table1.col1 = Table3.col1", 2)
          .Join("Table3", "Table2", "Table3.col1 = Table2.col1", 1)
          .Join("Table3", "Table2", "Table3.col1 = Table2.col2", 1)
          .Where("(((Table2.col2)=\"foo\" Or (Table2.col2) In (\"buzz\",\"bazz\")))")
          .OrderBy("Table2.col1");
  EXPECT_EQ(RebuildSql(q),
            "SELECT DISTINCT Table1.*, Table2.col1, Table2.col2, Table3.col3\n"
            "FROM (Table1 LEFT JOIN Table3 ON Table1.col1 = Table3.col1) INNER JOIN Table2 ON "
            "(Table3.col1 = Table2.col1) AND (Table3.col1 = Table2.col2)\n"
            "WHERE (((Table2.col2)=\"foo\" Or (Table2.col2) In (\"buzz\",\"bazz\")))\n"
            "ORDER BY Table2.col1;");

  // Two separate pairs joined last: both sides are compound. A source with no
  // join follows after a comma; names that are not plain words get brackets.
  const SavedQuery nested = QueryBuilder("Nested")
                                .Options(0x01 | 0x08 | 0x10 | 0x20, "25")
                                .Source("A")
                                .Source("B")
                                .Source("C")
                                .Source("Order Details", "D")
                                .Source("Select")
                                .Source("Handläggare")
                                .Join("A", "B", "A.x = B.x", 3)
                                .Join("C", "D", "C.y = D.y", 1)
                                .Join("B", "C", "B.z = C.z", 2)
                                .OrderBy("A.x", true)
                                .OrderBy("B.x");
  EXPECT_EQ(RebuildSql(nested),
            "SELECT DISTINCTROW TOP 25 PERCENT *\n"
            "FROM (A RIGHT JOIN B ON A.x = B.x) LEFT JOIN (C INNER JOIN [Order Details] AS D ON "
            "C.y = D.y) ON B.z = C.z, [Select], Handläggare\n"
            "ORDER BY A.x DESC, B.x;");
}

TEST(RebuildSql, RowsAreSortedByAttributeThenOrder) {
  SavedQuery q = QueryBuilder("Q").Source("T").Output("b").Output("a").Where("a > 1");
  // Reverse the physical order and swap the two outputs' order numbers.
  std::reverse(q.rows.begin(), q.rows.end());
  for (auto& r : q.rows) {
    if (r.attribute == 6) r.order = r.expression == "a" ? 1 : 2;
  }
  EXPECT_EQ(RebuildSql(q), "SELECT a, b\nFROM T\nWHERE a > 1;");
}

TEST(RebuildSql, CrosstabUnionAndTotals) {
  const SavedQuery crosstab = QueryBuilder("CrosstabQuery")
                                  .Kind(6)
                                  .Output("Count([Table2].[col2])", "CountOfcol2", 0)
                                  .Output("Table2_1.col1", "", 2)
                                  .Output("[Table2].[col3]", "", 2)
                                  .Output("Avg(Table2_1.col2)", "AvgOfcol2", 2)
                                  .Output("[Table1].[col1]", "", 1)
                                  .Join("Table1", "Table2", "[Table1].[col1]=[Table2].[col1]", 1)
                                  .Join("Table2", "Table2_1", "[Table2].[col1]=Table2_1.col3", 1)
                                  .Source("Table1")
                                  .Source("Table2")
                                  .Source("Table2", "Table2_1")
                                  .Where("(([Table1].[col1])>\"10\")")
                                  .GroupBy("Table2_1.col1", 2)
                                  .GroupBy("[Table2].[col3]", 2)
                                  .GroupBy("[Table1].[col1]", 1)
                                  .OrderBy("[Table2].[col3]");
  EXPECT_EQ(RebuildSql(crosstab),
            "TRANSFORM Count([Table2].[col2]) AS CountOfcol2\n"
            "SELECT Table2_1.col1, [Table2].[col3], Avg(Table2_1.col2) AS AvgOfcol2\n"
            "FROM (Table1 INNER JOIN Table2 ON [Table1].[col1]=[Table2].[col1]) INNER JOIN Table2 "
            "AS Table2_1 ON [Table2].[col1]=Table2_1.col3\n"
            "WHERE (([Table1].[col1])>\"10\")\n"
            "GROUP BY Table2_1.col1, [Table2].[col3]\n"
            "ORDER BY [Table2].[col3]\n"
            "PIVOT [Table1].[col1];");

  const SavedQuery with_list = QueryBuilder("X")
                                   .Kind(6)
                                   .Source("T")
                                   .Output("Sum(v)", "", 0)
                                   .Output("r", "", 2)
                                   .Row(6, "c", 1, "", "\"a\",\"b\"")
                                   .GroupBy("r", 2);
  EXPECT_EQ(RebuildSql(with_list),
            "TRANSFORM Sum(v)\nSELECT r\nFROM T\nGROUP BY r\nPIVOT c In (\"a\",\"b\");");

  const SavedQuery union_query =
      QueryBuilder("UnionQuery")
          .Kind(9)
          .Options(1)
          .Row(5,
               "Select Table1.col1, Table1.col2\r\nwhere Table1.col1 = \"foo\"\r\nUNION\r\n"
               "Select Table2.col1, Table2.col2\r\n",
               0, "", "X7YZ_____1")
          .Row(5, "Select Table3.col1, Table3.col2\r\nwhere Table3.col3 > \"blah\"", 0, "",
               "X7YZ_____2");
  EXPECT_EQ(RebuildSql(union_query),
            "Select Table1.col1, Table1.col2\r\nwhere Table1.col1 = \"foo\"\r\nUNION\r\n"
            "Select Table2.col1, Table2.col2\nUNION ALL\n"
            "Select Table3.col1, Table3.col2\r\nwhere Table3.col3 > \"blah\";");
}

TEST(RebuildSql, ActionQueriesAndParameters) {
  const SavedQuery make_table = QueryBuilder("MakeTableQuery", 80)
                                    .Row(1, "", 2, "Table4")
                                    .Options(0)
                                    .Source("Table2")
                                    .Source("Table1")
                                    .Source("Table3")
                                    .Output("Max(Table2.col1)", "MaxOfcol1")
                                    .GroupBy("Table2.col2")
                                    .Output("Table2.col2")
                                    .Join("Table2", "Table1", "Table2.col1 = Table1.col2", 1)
                                    .Join("Table1", "Table3", "Table1.col2 = Table3.col3", 3)
                                    .Having("(((Max(Table2.col1))=\"buzz\"))");
  EXPECT_EQ(KindOf(make_table), QueryKind::kMakeTable);
  EXPECT_EQ(
      RebuildSql(make_table),
      "SELECT Max(Table2.col1) AS MaxOfcol1, Table2.col2\nINTO Table4\n"
      "FROM (Table2 INNER JOIN Table1 ON Table2.col1 = Table1.col2) RIGHT JOIN Table3 ON "
      "Table1.col2 = Table3.col3\nGROUP BY Table2.col2\nHAVING (((Max(Table2.col1))=\"buzz\"));");

  const SavedQuery update = QueryBuilder("UpdateQuery")
                                .Kind(4)
                                .Row(2, "", 10, "User Name")
                                .Source("Table1")
                                .Row(6, "\"foo\"", 0, "", "Table1.col1")
                                .Row(6, "[User Name]", 0, "", "[Table2].[col1]")
                                .Where("((([Table2].[col1]) Is Not Null))");
  EXPECT_EQ(DeclaredParameterCount(update), 1);
  EXPECT_EQ(RebuildSql(update),
            "PARAMETERS [User Name] Text ( 255 );\nUPDATE Table1\n"
            "SET Table1.col1 = \"foo\", [Table2].[col1] = [User Name]\n"
            "WHERE ((([Table2].[col1]) Is Not Null));");

  const SavedQuery append = QueryBuilder("AppendQuery")
                                .Row(1, "", 3, "Table3")
                                .Source("Table1")
                                .Row(6, "[Table1].[col2]", 0, "", "col2");
  EXPECT_EQ(RebuildSql(append),
            "INSERT INTO Table3 ( col2 )\nSELECT [Table1].[col2]\nFROM Table1;");

  // Access keeps the memo's terminating NUL; it is no part of the statement.
  const SavedQuery ddl =
      QueryBuilder("Ddl").Row(1, std::string("CREATE TABLE Table5 (col1 CHAR);") + '\0', 7);
  EXPECT_EQ(KindOf(ddl), QueryKind::kDataDefinition);
  EXPECT_EQ(RebuildSql(ddl), "CREATE TABLE Table5 (col1 CHAR);");

  // Without a kind row the DAO type code in MSysObjects.Flags decides.
  EXPECT_EQ(KindOf(QueryBuilder("a", 0)), QueryKind::kSelect);
  EXPECT_EQ(KindOf(QueryBuilder("b", 8)), QueryKind::kSelect);
  EXPECT_EQ(KindOf(QueryBuilder("c", 16)), QueryKind::kCrosstab);
  EXPECT_EQ(KindOf(QueryBuilder("d", 128)), QueryKind::kUnion);
  EXPECT_EQ(KindOf(QueryBuilder("e", 112)), QueryKind::kPassThrough);
  EXPECT_EQ(KindOf(QueryBuilder("f", 0x20 | 0x3)), QueryKind::kDelete);
}

TEST(RebuildSql, MalformedDefinitionsAreRefused) {
  auto fails = [](const SavedQuery& q, const std::string& needle) {
    try {
      RebuildSql(q);
      ADD_FAILURE() << "no error for " << q.name;
    } catch (const DefinitionError& e) {
      EXPECT_NE(std::string(e.what()).find(needle), std::string::npos) << e.what();
    }
  };
  fails(QueryBuilder("a").Source("T").Output("x").Join("T", "U", "T.x = U.x"), "'U'");
  fails(QueryBuilder("b").Source("T").Source("U").Output("x").Join("T", "U", "T.x = U.x", 7),
        msg::kDefJoinType({"7"}));
  fails(QueryBuilder("c").Source("T]; DROP").Output("x"), "']' が含まれています");
  fails(QueryBuilder("d").Source("T").Output(""), msg::kDefEmpty({msg::kDefOutput.text}));
  fails(QueryBuilder("e").Source("T"), msg::kDefNoOutput());
  fails(QueryBuilder("f").Options(0x10, "1; DROP").Source("T").Output("x"), "TOP");
  fails(QueryBuilder("g").Kind(6).Source("T").Output("Sum(x)", "", 0).Output("r", "", 2), "見出し");
  fails(QueryBuilder("h").Kind(9), msg::kDefNoUnionParts());
  fails(QueryBuilder("i").Kind(8), msg::kDefEmpty({msg::kDefStatement.text}));
}

}  // namespace
}  // namespace kestrin::automation::mdb
