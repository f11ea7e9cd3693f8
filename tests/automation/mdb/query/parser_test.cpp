// The Access SQL parser: operator precedence, literals and statement shapes.
// Trees are printed fully parenthesised so that grouping is visible.
#include <gtest/gtest.h>

#include "automation/mdb/query/access_sql.h"

namespace kestrin::automation::mdb::sql {
namespace {

std::string Print(const Expr& e) {
  auto args = [&](size_t from) {
    std::string s;
    for (size_t i = from; i < e.args.size(); ++i) s += " " + Print(*e.args[i]);
    return s;
  };
  switch (e.kind) {
    case ExprKind::kNull:
      return "Null";
    case ExprKind::kBoolean:
      return e.boolean ? "True" : "False";
    case ExprKind::kInteger:
      return std::to_string(e.integer);
    case ExprKind::kNumber:
      return "n" + std::to_string(e.number);
    case ExprKind::kText:
      return "'" + e.text + "'";
    case ExprKind::kDate:
      return "#" + std::to_string(e.number) + "#";
    case ExprKind::kColumn:
      return e.qualifier.empty() ? e.name : e.qualifier + "." + e.name;
    case ExprKind::kStar:
      return e.qualifier.empty() ? "*" : e.qualifier + ".*";
    case ExprKind::kUnary:
    case ExprKind::kBinary:
      return "(" + e.op + args(0) + ")";
    case ExprKind::kLike:
      return std::string(e.negated ? "(NotLike" : "(Like") + args(0) + ")";
    case ExprKind::kBetween:
      return std::string(e.negated ? "(NotBetween" : "(Between") + args(0) + ")";
    case ExprKind::kInList:
      return std::string(e.negated ? "(NotIn" : "(In") + args(0) + ")";
    case ExprKind::kInSelect:
      return "(InSelect " + Print(*e.args[0]) + ")";
    case ExprKind::kIsNull:
      return std::string(e.negated ? "(IsNotNull" : "(IsNull") + args(0) + ")";
    case ExprKind::kExists:
      return "(Exists)";
    case ExprKind::kSubquery:
      return "(Subquery)";
    case ExprKind::kCall:
      return "(" + e.name + (e.star ? " *" : "") + args(0) + ")";
  }
  return "?";
}

std::string P(const std::string& text) { return Print(*ParseExpression(text)); }

TEST(ParseExpression, OperatorPrecedence) {
  // & binds looser than + and tighter than comparisons.
  EXPECT_EQ(P("a & b + c"), "(& a (+ b c))");
  EXPECT_EQ(P("a + b & c = d"), "(= (& (+ a b) c) d)");
  EXPECT_EQ(P("a & b Like c"), "(Like (& a b) c)");
  // Arithmetic: ^ above unary minus above * / above \ above Mod above + -.
  EXPECT_EQ(P("-2 ^ 2"), "(- (^ 2 2))");
  EXPECT_EQ(P("2 ^ -1"), "(^ 2 (- 1))");
  EXPECT_EQ(P("2 ^ 3 ^ 2"), "(^ (^ 2 3) 2)");
  EXPECT_EQ(P("a Mod b \\ c * d"), "(Mod a (\\ b (* c d)))");
  EXPECT_EQ(P("a - b - c"), "(- (- a b) c)");
  EXPECT_EQ(P("a + b Mod c"), "(+ a (Mod b c))");
  // Not sits between comparisons and And; Or below And; Xor, Eqv, Imp lowest.
  EXPECT_EQ(P("Not a = b And c"), "(And (Not (= a b)) c)");
  EXPECT_EQ(P("a Or b And c"), "(Or a (And b c))");
  EXPECT_EQ(P("a Imp b Xor c Or d"), "(Imp a (Xor b (Or c d)))");
  EXPECT_EQ(P("Not Not a"), "(Not (Not a))");
  // Predicates.
  EXPECT_EQ(P("x Not Like \"a*\" Or y Between 1 And 2 + 3"),
            "(Or (NotLike x 'a*') (Between y 1 (+ 2 3)))");
  EXPECT_EQ(P("x Is Not Null And y Is Null"), "(And (IsNotNull x) (IsNull y))");
  EXPECT_EQ(P("x Not In (1, 'b', -3)"), "(NotIn x 1 'b' (- 3))");
  EXPECT_EQ(P("x In (SELECT y FROM T)"), "(InSelect x)");
  EXPECT_EQ(P("Exists (SELECT * FROM T) And (SELECT Max(v) FROM T) > 3"),
            "(And (Exists) (> (Subquery) 3))");
  EXPECT_EQ(P("a <> b"), "(<> a b)");
  EXPECT_EQ(P("a >< b"), "(<> a b)");
  EXPECT_EQ(P("a =< b"), "(<= a b)");
}

TEST(ParseExpression, LiteralsNamesAndCalls) {
  EXPECT_EQ(P("\"say \"\"hi\"\"\""), "'say \"hi\"'");
  EXPECT_EQ(P("'it''s'"), "'it's'");
  EXPECT_EQ(P("[Order Details].[Unit Price]"), "Order Details.Unit Price");
  EXPECT_EQ(P("Forms![Main]!txt"), "Forms.Main.txt");
  EXPECT_EQ(P("T.*"), "T.*");
  EXPECT_EQ(P("Count(*)"), "(Count *)");
  EXPECT_EQ(P("Left$(a, 2)"), "(Left a 2)") << "a $ suffix is part of no name";
  EXPECT_EQ(P("yes Or No Or on Or OFF Or true"), "(Or (Or (Or (Or True False) True) False) True)");
  EXPECT_EQ(P("1.5e3 + .5 + 3000000000"), "(+ (+ n1500.000000 n0.500000) n3000000000.000000)");
  EXPECT_EQ(P("&HFF + &H8000"), "(+ 255 -32768)");
  EXPECT_EQ(P("#1/2/2020#"), "#43832.000000#");
  EXPECT_EQ(P("#2020-01-02 18:00#"), "#43832.750000#");
  EXPECT_EQ(P("#6:00 AM#"), "#0.250000#");
  EXPECT_EQ(P("#12/30/1899#"), "#0.000000#");
  EXPECT_EQ(P("#1/1/99#"), "#36161.000000#");  // two-digit years 30-99 are 19xx
  EXPECT_EQ(P("#1/1/29#"), "#47119.000000#");  // and 00-29 are 20xx
}

TEST(ParseExpression, MalformedInputIsRejected) {
  for (const char* bad : {"\"open", "(a + b", "a +", "a b", "[open", "#13/45/2020#", "#1/2",
                          "Count(", "a Between 1", "x In ()", "1abc", "a ? b", "Select", ")"}) {
    EXPECT_THROW(ParseExpression(bad), SqlSyntaxError) << bad;
  }
}

TEST(ParseExpression, DeepNestingIsRefusedNotACrash) {
  EXPECT_EQ(P(std::string(150, '(') + "1" + std::string(150, ')')), "1");
  for (const std::string& deep :
       {std::string(100000, '(') + "1" + std::string(100000, ')'), std::string(100000, '-') + "1",
        [] {
          std::string s = "1";
          for (int i = 0; i < 100000; ++i) s += " + 1";
          return s;
        }(),
        [] {
          std::string s;
          for (int i = 0; i < 5000; ++i) s += "Abs(";
          return s + "1" + std::string(5000, ')');
        }()}) {
    EXPECT_THROW(ParseExpression(deep), SqlSyntaxError);
  }
  std::string joins = "SELECT a FROM T0";
  for (int i = 1; i < 5000; ++i) joins += " INNER JOIN T" + std::to_string(i) + " ON 1 = 1";
  EXPECT_THROW(ParseStatement(joins), SqlSyntaxError);
}

TEST(ParseStatement, SelectUnionAndCrosstab) {
  Statement st = ParseStatement(
      "PARAMETERS [Start] DateTime, Who Text ( 255 );\n"
      "SELECT DISTINCT TOP 5 PERCENT a AS [x y], T.* FROM (A INNER JOIN B ON A.k = B.k) LEFT "
      "JOIN C AS Z ON B.k = Z.k, D WHERE a > 1 GROUP BY a HAVING Count(*) > 1 ORDER BY a DESC, b;");
  ASSERT_EQ(st.kind, Statement::Kind::kSelect);
  ASSERT_EQ(st.parameters.size(), 2u);
  EXPECT_EQ(st.parameters[1].name, "Who");
  EXPECT_EQ(st.parameters[1].type, "Text ( 255 )");
  const Select& s = *st.selects[0];
  EXPECT_TRUE(s.distinct);
  EXPECT_EQ(*s.top, 5);
  EXPECT_TRUE(s.top_percent);
  EXPECT_EQ(s.items[0].alias, "x y");
  ASSERT_EQ(s.from.size(), 2u);
  EXPECT_EQ(s.from[0].kind, FromItem::Kind::kJoin);
  EXPECT_EQ(s.from[0].join, JoinKind::kLeft);
  EXPECT_EQ(s.from[0].left->join, JoinKind::kInner);
  EXPECT_EQ(s.from[0].right->alias, "Z");
  EXPECT_EQ(s.order_by.size(), 2u);
  EXPECT_TRUE(s.order_by[0].descending);

  Statement u = ParseStatement(
      "SELECT a FROM A UNION SELECT b FROM B UNION ALL (SELECT c FROM C) ORDER BY a");
  ASSERT_EQ(u.kind, Statement::Kind::kUnion);
  EXPECT_EQ(u.selects.size(), 3u);
  EXPECT_EQ(u.union_all, (std::vector<bool>{false, true}));
  EXPECT_EQ(u.union_order_by.size(), 1u);

  Statement x = ParseStatement(
      "TRANSFORM Sum(v) AS S SELECT r FROM T GROUP BY r PIVOT Format(d, \"yyyy\") In (\"2020\", "
      "\"2021\");");
  ASSERT_EQ(x.kind, Statement::Kind::kCrosstab);
  EXPECT_EQ(x.transform_alias, "S");
  EXPECT_EQ(Print(*x.pivot), "(Format d 'yyyy')");
  EXPECT_EQ(x.pivot_values.size(), 2u);

  for (const char* bad : {"SELECT a FROM", "SELECT a FROM T WHERE", "SELECT a INTO X FROM T",
                          "SELECT a FROM A JOIN B ON a = b", "SELECT a FROM T; SELECT b",
                          "TRANSFORM Sum(v) SELECT r FROM T", "SELECT a FROM T ORDER a"}) {
    EXPECT_THROW(ParseStatement(bad), SqlSyntaxError) << bad;
  }
}

// Texts as Access stores and writes them: union parts closed by their own
// ';', derived tables in parentheses and in Access's "[SELECT ...]. AS"
// form (a union inside either, bracketed names inside the brackets),
// parameters of several parts and '@' names, a database after a join.
TEST(ParseStatement, ShapesAccessWrites) {
  Statement u = ParseStatement("SELECT a FROM A; UNION ALL SELECT b FROM B;");
  ASSERT_EQ(u.kind, Statement::Kind::kUnion);
  EXPECT_EQ(u.union_all, (std::vector<bool>{true}));

  for (const char* text : {"SELECT u.x FROM (SELECT x FROM A UNION SELECT x FROM B) AS u",
                           "SELECT u.x FROM [SELECT [x] FROM [A] UNION SELECT x FROM B;]. AS u"}) {
    SCOPED_TRACE(text);
    Statement d = ParseStatement(text);
    const FromItem& f = d.selects[0]->from.at(0);
    EXPECT_EQ(f.kind, FromItem::Kind::kSubquery);
    ASSERT_TRUE(f.union_query);
    EXPECT_EQ(f.union_query->selects.size(), 2u);
    EXPECT_EQ(f.alias, "u");
  }
  Statement plain = ParseStatement("SELECT C.x FROM [SELECT x FROM A]. AS C");
  EXPECT_TRUE(plain.selects[0]->from.at(0).subquery);

  Statement p = ParseStatement(
      "PARAMETERS [Forms]![Sales Dialog]![Start] DateTime, [Forms!F!C] Long;\n"
      "SELECT a FROM A WHERE a = @Who AND b = Forms!F!C");
  EXPECT_EQ(p.parameters[0].name, "Forms!Sales Dialog!Start");
  EXPECT_EQ(p.parameters[0].type, "DateTime");
  EXPECT_EQ(p.parameters[1].name, "Forms!F!C");
  EXPECT_EQ(Print(*p.selects[0]->where), "(And (= a @Who) (= b Forms.F.C))");

  Statement in = ParseStatement("SELECT a FROM A INNER JOIN B ON A.k = B.k IN 'C:\\x.mdb'");
  EXPECT_EQ(in.selects[0]->external_database, "C:\\x.mdb");
}

}  // namespace
}  // namespace kestrin::automation::mdb::sql
