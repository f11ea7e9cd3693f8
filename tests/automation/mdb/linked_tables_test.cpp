// Split databases: linked tables followed to their back-end (found as stored,
// through the Windows path mapping, or beside the front-end), links that
// cannot be followed, saved queries over links and with an IN clause, and
// neither file ever opened for writing.
#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "automation/failure.h"
#include "automation/mdb/mdb_access.h"
#include "automation/messages.h"
#include "automation/windows_paths.h"
#include "tests/automation/mdb/query/fake_tables.h"
#include "tests/support/jet4_writer.h"
#include "tests/support/mdb_test_support.h"
#include "tests/support/temp_folder.h"

namespace kestrin::mdbtest {
namespace {

namespace fs = std::filesystem;
namespace ts = testsupport;
using automation::AutomationError;
using automation::Currency;
using automation::Value;
using automation::mdb::AccessType;
using automation::mdb::testing::QueryBuilder;
using kestrin::testing::TempFolder;
using kestrin::testing::WriteBytes;
using Rows = std::vector<std::vector<Value>>;

template <class F>
std::string ErrorOf(std::int32_t number, F&& f) {
  try {
    f();
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), number) << e.description();
    return e.description();
  }
  ADD_FAILURE() << "no error, expected " << number;
  return {};
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class SplitDatabase : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* old = std::getenv(automation::kWindowsPathsVariable)) saved_ = old;
    ::setenv(automation::kWindowsPathsVariable, map_file().c_str(), 1);
    Map("");
  }
  void TearDown() override {
    if (saved_)
      ::setenv(automation::kWindowsPathsVariable, saved_->c_str(), 1);
    else
      ::unsetenv(automation::kWindowsPathsVariable);
  }

  std::string map_file() const { return dir_ / "windows-paths"; }
  void Map(const std::string& text) { WriteBytes(map_file(), text); }
  fs::path Place(const std::string& relative) {
    const fs::path p = dir_.path() / relative;
    fs::create_directories(p.parent_path());
    return p;
  }
  void CopySample(const std::string& name, const std::string& to) {
    fs::copy_file(SamplePath(name), Place(to), fs::copy_options::overwrite_existing);
  }
  std::shared_ptr<automation::DaoDatabase> Open(const fs::path& file) {
    auto app = automation::mdb::MakeMdbAccessServer()->CreateObject();
    app->OpenCurrentDatabase(file.string(), false);
    return app->CurrentDatabase();
  }
  static Rows Read(automation::DaoDatabase& db, const std::string& name) {
    return ReadAll(*db.OpenRecordset(name));
  }
  static std::vector<std::string> Names(const automation::DaoFields& fields) {
    std::vector<std::string> names;
    for (int i = 0; i < fields.Count(); ++i) names.push_back(fields.Name(i));
    return names;
  }

  // A back-end with customers and orders under daten/Verkauf, and a
  // front-end under front/ with a local table of articles, a link to each
  // (customers by the back-end's real path, orders by its Windows path) and
  // two saved queries.
  void WriteSplitPair() {
    ts::Jet4Database back;
    back.tables.push_back({"Kunden",
                           {{"KundeID", AccessType::kLong}, {"Name", AccessType::kText, 40}},
                           {{1, "Müller"}, {2, "佐藤"}, {3, "Nobody"}},
                           {}});
    back.tables.push_back({"Bestellungen",
                           {{"BestellNr", AccessType::kLong},
                            {"KundeID", AccessType::kLong},
                            {"ArtikelNr", AccessType::kLong},
                            {"Menge", AccessType::kInteger}},
                           {{10, 1, 100, 2}, {11, 2, 101, 1}, {12, 1, 101, 3}, {13, 9, 100, 1}},
                           {}});
    back_end_ = Place("daten/Verkauf/backend.mdb");
    ts::WriteJet4Database(back, back_end_);

    ts::Jet4Database front;
    front.tables.push_back(
        {"Artikel",
         {{"ArtikelNr", AccessType::kLong},
          {"Bezeichnung", AccessType::kText, 40},
          {"Preis", AccessType::kCurrency}},
         {{100, "Schraube", Value(Currency{15000})}, {101, "Mutter", Value(Currency{2500})}},
         {}});
    front.linked_tables = {
        ts::AccessLink("Kunden", "Kunden", back_end_.string()),
        ts::AccessLink("Orders", "BESTELLUNGEN", "C:\\Daten\\Verkauf\\backend.mdb")};
    front.queries = {
        QueryBuilder("Umsatz")
            .Kind(1)
            .Source("Kunden")
            .Source("Orders")
            .Source("Artikel")
            .Output("Kunden.Name")
            .Output("Artikel.Bezeichnung")
            .Output("Orders.Menge*Artikel.Preis", "Betrag")
            .Join("Kunden", "Orders", "Kunden.KundeID = Orders.KundeID")
            .Join("Orders", "Artikel", "Orders.ArtikelNr = Artikel.ArtikelNr")
            .OrderBy("Orders.BestellNr"),
        QueryBuilder("AusDatei")
            .Kind(1)
            .Row(4, "", 0, "C:\\daten\\verkauf\\BACKEND.mdb")
            .Source("Bestellungen")
            .Output("BestellNr")
            .Where("Menge > 1")
            .OrderBy("BestellNr"),
    };
    front_end_ = Place("front/front.mdb");
    ts::WriteJet4Database(front, front_end_);
    Map("C:\\Daten = " + (dir_.path() / "daten").string() + "\n");
  }

  TempFolder dir_;
  std::optional<std::string> saved_;
  fs::path back_end_, front_end_;
};

TEST_F(SplitDatabase, RealPairReadsThroughTheMappingOrBesideTheFrontEnd) {
  CopySample("linkerTestV2007.accdb", "front/linkerTestV2007.accdb");
  const fs::path front = dir_.path() / "front/linkerTestV2007.accdb";

  // The link stores Z:\jackcess_test\linkeeTest.accdb: mapped, with the
  // folder and file named in another case here.
  Map("# the back-end's drive\nZ: = " + (dir_.path() / "z").string() + "\n");
  CopySample("linkeeTest.accdb", "z/JACKCESS_TEST/LinkeeTest.ACCDB");
  {
    auto db = Open(front);
    EXPECT_EQ(Read(*db, "Table1"), (Rows{{1, "foo"}}));
    EXPECT_EQ(Read(*db, "Table2"), (Rows{{1, "bar"}}));  // linkee's Table1
    EXPECT_EQ(Names(db->TableDefs().Item("Table2").Fields()),
              (std::vector<std::string>{"ID", "Field1"}));
  }

  fs::remove_all(dir_.path() / "z");
  Map("");
  CopySample("linkeeTest.accdb", "front/linkeeTest.accdb");
  EXPECT_EQ(Read(*Open(front), "Table2"), (Rows{{1, "bar"}}));

  fs::remove(dir_.path() / "front/linkeeTest.accdb");
  auto db = Open(front);
  const std::string missing = ErrorOf(3024, [&] { db->OpenRecordset("Table2"); });
  EXPECT_TRUE(Contains(missing, "'Z:\\jackcess_test\\linkeeTest.accdb'")) << missing;
  EXPECT_TRUE(Contains(missing, "'Table2'")) << missing;
  EXPECT_TRUE(Contains(missing, (dir_.path() / "front/linkeeTest.accdb").string())) << missing;
  EXPECT_TRUE(Contains(missing, automation::msg::kUnmappedRoot({map_file(), "Z:"}))) << missing;
  EXPECT_EQ(Read(*db, "Table1"), (Rows{{1, "foo"}}));  // the front-end's own table still reads
}

TEST_F(SplitDatabase, SavedQueriesJoinLinkedAndLocalTablesAndReadOtherFiles) {
  WriteSplitPair();
  auto db = Open(front_end_);
  EXPECT_EQ(Names(db->TableDefs().Item("Orders").Fields()),
            (std::vector<std::string>{"BestellNr", "KundeID", "ArtikelNr", "Menge"}));
  EXPECT_EQ(Names(db->QueryDefs().Item("Umsatz").Fields()),
            (std::vector<std::string>{"Name", "Bezeichnung", "Betrag"}));
  // Order 13 has no customer; 2 × 1.50, 1 × 0.25, 3 × 0.25.
  EXPECT_EQ(Read(*db, "Umsatz"), (Rows{{"Müller", "Schraube", Value(Currency{30000})},
                                       {"佐藤", "Mutter", Value(Currency{2500})},
                                       {"Müller", "Mutter", Value(Currency{7500})}}));
  // FROM Bestellungen IN 'C:\daten\verkauf\BACKEND.mdb': a table only the
  // back-end has.
  EXPECT_EQ(Read(*db, "AusDatei"), (Rows{{10}, {12}}));

  Map("");
  const std::string missing = ErrorOf(3024, [&] { Open(front_end_)->OpenRecordset("AusDatei"); });
  EXPECT_TRUE(Contains(missing, "C:\\daten\\verkauf\\BACKEND.mdb")) << missing;
  EXPECT_TRUE(Contains(missing, "AusDatei")) << missing;
}

TEST_F(SplitDatabase, LinksThatCannotBeFollowedAreRefusedNamingWhatTheyLinkTo) {
  WriteSplitPair();
  ts::Jet4Database middle;
  middle.linked_tables = {ts::AccessLink("Mitte", "Kunden", back_end_.string())};
  const fs::path middle_file = Place("mitte/middle.mdb");
  ts::WriteJet4Database(middle, middle_file);

  ts::Jet4Database front;
  front.tables.push_back({"Lokal", {{"N", AccessType::kLong}}, {{7}}, {}});
  front.linked_tables = {
      ts::OdbcLink("Ordrar", "dbo.Ordrar", "ODBC;DSN=Lager;UID=sa;PWD=geheim;DATABASE=lager"),
      ts::FileLink("Adressen", "adressen#csv", "C:\\Export",
                   "Text;FMT=Delimited;HDR=YES;CharacterSet=932;DATABASE=C:\\Export"),
      ts::AccessLink("Fehlt", "Nirgends", back_end_.string()),
      ts::AccessLink("Kette", "Mitte", middle_file.string()),
      ts::AccessLink("Kreis", "Kreis", "C:\\Daten\\..\\front\\front.mdb"),
      ts::AccessLink("Kaputt", "Kunden", (dir_.path() / "windows-paths").string()),
  };
  front.queries = {QueryBuilder("ÜberOdbc").Kind(1).Source("Ordrar").Output("*")};
  ts::WriteJet4Database(front, front_end_);
  Map("C: = " + dir_.path().string() + "\n");
  auto db = Open(front_end_);

  std::string odbc = ErrorOf(3151, [&] { db->TableDefs().Item("Ordrar").Fields().Count(); });
  EXPECT_TRUE(Contains(odbc, "'Ordrar'") && Contains(odbc, "dbo.Ordrar") &&
              Contains(odbc, "DSN=Lager") && !Contains(odbc, "geheim"))
      << odbc;
  odbc = ErrorOf(3151, [&] { db->OpenRecordset("ÜberOdbc"); });
  EXPECT_TRUE(Contains(odbc, "ÜberOdbc") && Contains(odbc, "'Ordrar'")) << odbc;
  const std::string text = ErrorOf(3170, [&] { db->OpenRecordset("Adressen"); });
  EXPECT_TRUE(Contains(text, "'Adressen'") && Contains(text, "adressen#csv") &&
              Contains(text, "Text") && Contains(text, "C:\\Export"))
      << text;
  const std::string absent = ErrorOf(3011, [&] { db->OpenRecordset("Fehlt"); });
  EXPECT_TRUE(Contains(absent, "'Nirgends'") && Contains(absent, back_end_.string())) << absent;
  ErrorOf(3049, [&] { db->OpenRecordset("Kreis"); });
  ErrorOf(3343, [&] { db->OpenRecordset("Kaputt"); });  // a back-end that is no database

  // A link to a link reads as the table at the end; the rest is untouched.
  EXPECT_EQ(Read(*db, "Kette"), (Rows{{1, "Müller"}, {2, "佐藤"}, {3, "Nobody"}}));
  EXPECT_EQ(Read(*db, "Lokal"), (Rows{{7}}));
}

TEST_F(SplitDatabase, AMalformedMappingLineIsAnErrorNamingTheFileAndLine) {
  CopySample("linkerTestV2007.accdb", "linker.accdb");
  Map("# drives\nZ: /mnt/z\n");
  auto db = Open(dir_.path() / "linker.accdb");
  const std::string error = ErrorOf(3044, [&] { db->OpenRecordset("Table2"); });
  EXPECT_TRUE(Contains(error, map_file() + "、2 行目")) << error;
}

// Watches folders for anything that writes: a file opened for writing (even
// when nothing is written), changed, made, renamed into place or removed.
class WriteWatch {
 public:
  explicit WriteWatch(const std::vector<fs::path>& folders) : fd_(inotify_init1(IN_NONBLOCK)) {
    for (const fs::path& f : folders) {
      inotify_add_watch(
          fd_, f.c_str(),
          IN_MODIFY | IN_CLOSE_WRITE | IN_CREATE | IN_ATTRIB | IN_MOVED_TO | IN_DELETE);
    }
  }
  ~WriteWatch() { ::close(fd_); }
  std::vector<std::string> Events() {
    std::vector<std::string> events;
    alignas(inotify_event) char buf[8192];
    for (ssize_t n; (n = ::read(fd_, buf, sizeof buf)) > 0;) {
      for (char* p = buf; p < buf + n;) {
        const auto* e = reinterpret_cast<const inotify_event*>(p);
        events.push_back(std::string(e->len ? e->name : "?") + " mask " + std::to_string(e->mask));
        p += sizeof(inotify_event) + e->len;
      }
    }
    return events;
  }

 private:
  int fd_;
};

TEST_F(SplitDatabase, NeitherTheFrontEndNorTheBackEndIsOpenedForWriting) {
  WriteSplitPair();
  CopySample("linkerTestV2007.accdb", "front/linkerTestV2007.accdb");
  CopySample("linkeeTest.accdb", "front/linkeeTest.accdb");
  const std::vector<fs::path> files = {front_end_, back_end_,
                                       dir_.path() / "front/linkerTestV2007.accdb",
                                       dir_.path() / "front/linkeeTest.accdb"};
  std::vector<std::string> before;
  for (const fs::path& f : files) before.push_back(kestrin::testing::ReadBytes(f));

  WriteWatch watch({dir_.path() / "front", back_end_.parent_path()});
  int read = 0;
  for (const fs::path& f : {files[0], files[2]}) {
    auto db = Open(f);
    auto attempt = [&](auto&& step) {
      try {
        step();
        ++read;
      } catch (const AutomationError&) {
        // System tables with fields the reader cannot give: not the point here.
      }
    };
    for (int i = 0; i < db->TableDefs().Count(); ++i) {
      const auto& t = db->TableDefs().Item(i);
      attempt([&] { Read(*db, t.Name()); });
    }
    for (int i = 0; i < db->QueryDefs().Count(); ++i)
      attempt([&] { Read(*db, db->QueryDefs().Item(i).Name()); });
    attempt([&] { db->SetProperty("StartupForm", Value("(表示しない)")); });
  }
  EXPECT_GE(read, 10);
  EXPECT_EQ(watch.Events(), std::vector<std::string>{});
  for (std::size_t i = 0; i < files.size(); ++i)
    EXPECT_EQ(kestrin::testing::ReadBytes(files[i]), before[i]) << files[i];
}

}  // namespace
}  // namespace kestrin::mdbtest
