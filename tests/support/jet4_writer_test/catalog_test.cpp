// The catalogue: table names of every kind with the flags Access gives them,
// and saved queries of every kind with their MSysQueries rows.
#include <map>

#include "tests/support/jet4_writer_test/writer_fixture.h"

namespace kestrin::testsupport {
namespace {

using automation::Binary;
using automation::Value;
using T = AccessType;

Jet4Table Tiny(const std::string& name, std::optional<std::int32_t> flags = std::nullopt) {
  return {name, {{"A", T::kLong}}, {{std::int64_t{1}}}, flags};
}

class Jet4WriterCatalogTest : public WriterTest {};

TEST_F(Jet4WriterCatalogTest, TableNamesOfEveryKindAreListedWithTheirFlags) {
  Jet4Database db;
  db.tables = {Tiny("MSysX"),
               Tiny("msysY"),
               Tiny("USysZ"),
               Tiny("MSy"),
               Tiny("日本語の表"),
               Tiny("Order Details"),
               Tiny("MSysReal", kSystemObjectFlags),
               Tiny("f_1234_Data", static_cast<std::int32_t>(0x80000002u))};
  auto file = Write(db);

  EXPECT_EQ(
      Lines(Tool("mdb-tables -1", file)),
      (std::vector<std::string>{"MSysX", "msysY", "USysZ", "MSy", "日本語の表", "Order Details"}));
  EXPECT_EQ(Lines(Tool("mdb-tables -S -1", file)),
            (std::vector<std::string>{"MSysObjects", "MSysACEs", "MSysQueries", "MSysRelationships",
                                      "MSysX", "msysY", "USysZ", "MSy", "日本語の表",
                                      "Order Details", "MSysReal", "f_1234_Data"}));

  std::map<std::string, ProbedObject> objects;
  for (const ProbedObject& o : ProbeCatalog(file)) objects[o.name] = o;
  EXPECT_EQ(objects.at("MSysObjects").table_page, 2u);
  EXPECT_EQ(objects.at("MSysObjects").flags, 0x80000000u);
  EXPECT_EQ(objects.at("MSysQueries").flags, 0x80000000u);
  EXPECT_EQ(objects.at("MSysX").flags, 0u);
  EXPECT_EQ(objects.at("MSysReal").flags, 0x80000000u);
  EXPECT_EQ(objects.at("f_1234_Data").flags, 0x80000002u);
  EXPECT_EQ(objects.at("Tables").type, 3);
  for (const Jet4Table& t : db.tables) {
    EXPECT_EQ(objects.at(t.name).type, 1) << t.name;
    EXPECT_EQ(ProbeTable(file, t.name).rows, t.rows) << t.name;
  }
  // A Japanese name survives libmdb's catalogue and mdb-export.
  EXPECT_EQ(Lines(Tool("mdb-export", file, ShellQuote("日本語の表")))[1], "1");
}

TEST_F(Jet4WriterCatalogTest, LinkedTablesAreCataloguedButNotListedAsLocalTables) {
  Jet4Database db;
  db.tables = {Tiny("Local")};
  db.linked_tables = {{"Faraway", "Customers", "C:\\data\\other.mdb", "", 0},
                      {"Odbc link", "dbo.Orders", "", "ODBC;DSN=x;DATABASE=y", 0x20100000}};
  auto file = Write(db);
  EXPECT_EQ(Lines(Tool("mdb-tables -1", file)), std::vector<std::string>{"Local"});
  std::map<std::string, ProbedObject> objects;
  for (const ProbedObject& o : ProbeCatalog(file)) objects[o.name] = o;
  EXPECT_EQ(objects.at("Faraway").type, 6);
  EXPECT_EQ(objects.at("Odbc link").type, 4);
  EXPECT_EQ(objects.at("Odbc link").flags, 0x20100000u);
  ProbedTable catalogue = ProbeTable(file, "MSysObjects");
  bool seen_jet = false, seen_odbc = false;
  for (const auto& r : catalogue.rows) {
    if (r[2] == Value("Faraway")) {
      seen_jet = true;
      EXPECT_EQ(r[8], Value("C:\\data\\other.mdb"));  // Database
      EXPECT_TRUE(r[9].is_null());                    // Connect
      EXPECT_EQ(r[10], Value("Customers"));           // ForeignName
    } else if (r[2] == Value("Odbc link")) {
      seen_odbc = true;
      EXPECT_TRUE(r[8].is_null());
      EXPECT_EQ(r[9], Value("ODBC;DSN=x;DATABASE=y"));
      EXPECT_EQ(r[10], Value("dbo.Orders"));
    }
  }
  EXPECT_TRUE(seen_jet && seen_odbc);

  db.queries.push_back({"faraway", 0, {}});
  EXPECT_THROW(BuildJet4Database(db), Jet4WriteError);
}

// As the split databases of tests/data/databases store them: linkerTestV2007's
// Table2 (Type 6, Flags 0x200000, Connect empty) and odbcLinkerTestV2007's
// Ordrar (Type 4, Flags 0x20100000); a text-file link is Type 6 with Connect.
TEST_F(Jet4WriterCatalogTest, LinkEntriesAreWrittenAsAccessWritesThem) {
  Jet4Database db;
  db.linked_tables = {
      AccessLink("Table2", "Table1", "Z:\\jackcess_test\\linkeeTest.accdb"),
      OdbcLink("Ordrar", "dbo.Ordrar", "ODBC;DSN=x"),
      FileLink("Kunden", "kunden#csv", "C:\\Export", "Text;HDR=YES;DATABASE=C:\\Export")};
  auto file = Write(db);
  std::map<std::string, ProbedObject> objects;
  for (const ProbedObject& o : ProbeCatalog(file)) objects[o.name] = o;
  EXPECT_EQ(objects.at("Table2").type, 6);
  EXPECT_EQ(objects.at("Table2").flags, 0x200000u);
  EXPECT_EQ(objects.at("Ordrar").type, 4);
  EXPECT_EQ(objects.at("Ordrar").flags, 0x20100000u);
  EXPECT_EQ(objects.at("Kunden").type, 6);
  for (const auto& r : ProbeTable(file, "MSysObjects").rows) {
    if (r[2] == Value("Kunden")) {
      EXPECT_EQ(r[8], Value("C:\\Export"));
      EXPECT_EQ(r[9], Value("Text;HDR=YES;DATABASE=C:\\Export"));
      EXPECT_EQ(r[10], Value("kunden#csv"));
    } else if (r[2] == Value("Table2")) {
      EXPECT_TRUE(r[9].is_null());
    }
  }
}

QueryDefRow Row(int attribute, int flag, std::string name1 = "", std::string name2 = "",
                std::string expression = "", std::int32_t order = 0) {
  QueryDefRow r;
  r.attribute = attribute;
  r.flag = flag;
  r.name1 = std::move(name1);
  r.name2 = std::move(name2);
  r.expression = std::move(expression);
  r.order = order;
  return r;
}

std::vector<SavedQuery> EveryKindOfQuery() {
  using namespace query_flags;
  auto q = [](std::string name, std::int32_t flags, int kind, std::vector<QueryDefRow> body) {
    std::vector<QueryDefRow> rows = {Row(0, 0)};
    if (kind) rows.push_back(Row(1, kind));
    rows.insert(rows.end(), body.begin(), body.end());
    rows.push_back(Row(255, 0));
    return SavedQuery{std::move(name), flags, std::move(rows)};
  };
  return {
      q("Plain select", kSelect, 0,
        {Row(5, 0, "Orders", "o"), Row(6, 0, "Total", "", "[o].[Qty]*[o].[Price]"),
         Row(8, 0, "", "", "[o].[Qty]>1"), Row(11, 0, "D", "", "[o].[Qty]")}),
      q("~sq_fForm", kHiddenSelect | 3, 0, {Row(5, 0, "Orders"), Row(3, 1)}),
      q("Hidden", kHiddenSelect, 0, {Row(5, 0, "Orders"), Row(3, 0x12, "5")}),
      q("Cross", kCrosstab, 6,
        {Row(5, 0, "Orders"), Row(6, 2, "", "", "[Region]"), Row(6, 1, "", "", "[Year]"),
         Row(6, 0, "Total", "", "Sum([Qty])"), Row(9, 0, "", "", "[Region]")}),
      q("Remove", kDelete, 5, {Row(5, 0, "Orders"), Row(8, 0, "", "", "[Qty]=0")}),
      q("Change", kUpdate, 4, {Row(5, 0, "Orders"), Row(6, 0, "[Qty]", "", "[Qty]+1")}),
      q("Add", kAppend, 3, {Row(1, 3, "Archive"), Row(5, 0, "Orders")}),
      q("Make", kMakeTable, 2, {Row(1, 2, "Copy"), Row(5, 0, "Orders")}),
      q("Define", kDataDefinition, 7, {Row(6, 0, "", "", "CREATE TABLE X (A LONG)")}),
      q("Pass", kPassThrough, 8, {Row(6, 0, "", "", "select 1"), Row(4, 0, "ODBC;DSN=x")}),
      q("Both", kUnion, 9,
        {Row(5, 0, "", "", "SELECT A FROM Orders", 0x00000001),
         Row(5, 0, "", "", "SELECT A FROM Archive", 0x01000000), Row(2, 10, "[Forms]![F]![X]"),
         Row(7, 2, "Orders", "Archive", "Orders.A=Archive.A"), Row(10, 0, "", "", "Count(*)>1"),
         Row(6, 0, "", "", "\"quoted\" & 'single'")}),
  };
}

TEST_F(Jet4WriterCatalogTest, SavedQueriesOfEveryKindAreCataloguedWithTheirDefinitions) {
  Jet4Database db;
  db.tables.push_back({"Orders", {{"A", T::kLong}, {"Qty", T::kLong}}, {}, std::nullopt});
  db.queries = EveryKindOfQuery();
  auto file = Write(db);

  std::vector<std::string> names;
  for (const SavedQuery& q : db.queries) names.push_back(q.name);
  EXPECT_EQ(Lines(Tool("mdb-queries -L -1", file)), names);
  EXPECT_EQ(Lines(Tool("mdb-tables -1", file)), std::vector<std::string>{"Orders"});

  // Ids and flags as MSysObjects holds them.
  ProbedTable objects = ProbeTable(file, "MSysObjects");
  std::map<std::int64_t, std::string> query_by_id;
  std::map<std::string, std::int64_t> flags_by_name;
  for (const auto& r : objects.rows) {
    if (r[3] == Value(5)) query_by_id[r[0].integer()] = r[2].text();
    flags_by_name[r[2].text()] = r[7].integer();
  }
  ASSERT_EQ(query_by_id.size(), db.queries.size());
  for (const SavedQuery& q : db.queries) EXPECT_EQ(flags_by_name.at(q.name), q.flags) << q.name;

  // MSysQueries gives back exactly the rows written, per query, in order.
  ProbedTable msq = ProbeTable(file, "MSysQueries");
  ASSERT_EQ(msq.columns[2].name, "Order");
  std::map<std::string, std::vector<QueryDefRow>> back;
  for (const auto& r : msq.rows) {
    QueryDefRow d;
    d.attribute = static_cast<int>(r[1].integer());
    if (!r[2].is_null()) {
      const Binary& o = r[2].binary();
      EXPECT_EQ(o.size(), 4u);
      d.order = static_cast<std::int32_t>((std::uint32_t{o[0]} << 24) | (o[1] << 16) | (o[2] << 8) |
                                          o[3]);
    }
    if (!r[3].is_null()) d.name1 = r[3].text();
    if (!r[4].is_null()) d.name2 = r[4].text();
    if (!r[5].is_null()) d.expression = r[5].text();
    d.flag = static_cast<int>(r[6].integer());
    back[query_by_id.at(r[0].integer())].push_back(d);
  }
  auto same = [](const QueryDefRow& a, const QueryDefRow& b) {
    return a.attribute == b.attribute && a.flag == b.flag && a.name1 == b.name1 &&
           a.name2 == b.name2 && a.expression == b.expression && a.order == b.order;
  };
  for (const SavedQuery& q : db.queries) {
    const auto& got = back[q.name];
    ASSERT_EQ(got.size(), q.rows.size()) << q.name;
    for (std::size_t i = 0; i < got.size(); ++i)
      EXPECT_TRUE(same(got[i], q.rows[i])) << q.name << " row " << i;
  }

  // mdbtools' own reading of the definition.
  std::string sql = Tool("mdb-queries", file, ShellQuote("Plain select"));
  EXPECT_NE(sql.find("SELECT [o].[Qty]*[o].[Price]"), std::string::npos) << sql;
  EXPECT_NE(sql.find("FROM [Orders]"), std::string::npos) << sql;
  EXPECT_NE(sql.find("WHERE [o].[Qty]>1"), std::string::npos) << sql;
  // (mdb-export prints binary only up to its first zero byte, so the Order
  // bytes 01 00 00 00 show as "01".)
  std::string exported = Tool("mdb-export -b hex", file, "MSysQueries");
  EXPECT_NE(exported.find(",5,\"01\",,,\"SELECT A FROM Archive\",0,"), std::string::npos)
      << exported;
  EXPECT_NE(exported.find(",7,,\"Orders\",\"Archive\",\"Orders.A=Archive.A\",2,"),
            std::string::npos)
      << exported;
}

}  // namespace
}  // namespace kestrin::testsupport

namespace kestrin::testsupport {
namespace {

// The catalogue tables are defined as in a file Access 2000 wrote.
class Jet4WriterGroundTruthTest : public WriterTest {};

TEST_F(Jet4WriterGroundTruthTest, SystemTablesMatchARealAccess2000File) {
  const std::filesystem::path sample =
      std::filesystem::path(KESTRIN_SOURCE_DIR) / "tests/data/databases/testV2000.mdb";
  if (!std::filesystem::exists(sample)) GTEST_SKIP() << "no " << sample;
  auto ours = Write(Jet4Database{});
  for (const char* table : {"MSysObjects", "MSysACEs", "MSysQueries", "MSysRelationships"}) {
    SCOPED_TRACE(table);
    ProbedTable want = ProbeTable(sample, table);
    ProbedTable got = ProbeTable(ours, table);
    ASSERT_EQ(got.columns.size(), want.columns.size());
    for (std::size_t i = 0; i < got.columns.size(); ++i) {
      EXPECT_EQ(got.columns[i].name, want.columns[i].name);
      EXPECT_EQ(got.columns[i].type, want.columns[i].type) << want.columns[i].name;
    }
  }
  EXPECT_EQ(RunCommand("mdb-ver " + ShellQuote(ours.string())),
            RunCommand("mdb-ver " + ShellQuote(sample.string())));
}

}  // namespace
}  // namespace kestrin::testsupport
