// The program speaks Japanese whatever the locale: every text of the message
// catalogue, and the descriptions of the failures users meet most (files,
// protection, damage, links, saved queries), under LANG=C and
// LANG=ja_JP.UTF-8 alike.
#include <gtest/gtest.h>

#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <set>

#include "automation/failure.h"
#include "automation/mdb/mdb_access.h"
#include "automation/messages.h"
#include "tests/automation/mdb/query/fake_tables.h"
#include "tests/support/japanese_text.h"
#include "tests/support/jet4_writer.h"
#include "tests/support/mdb_test_support.h"

namespace kestrin::automation {
namespace {

namespace fs = std::filesystem;
namespace ts = testsupport;

std::string English(const std::string& text) { return testsupport::EnglishWord(text); }

// The string literals of a source file of the catalogue.
std::vector<std::string> Literals(const fs::path& file) {
  std::ifstream in(file);
  std::string text;
  for (std::string line; std::getline(in, line);) {
    if (line.find_first_not_of(' ') != line.find("//")) text += line + "\n";  // no comments
  }
  std::vector<std::string> out;
  static const std::regex kLiteral(R"lit("((?:[^"\\\n]|\\.)*)")lit");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), kLiteral);
       it != std::sregex_iterator(); ++it) {
    out.push_back((*it)[1].str());
  }
  return out;
}

TEST(MessageCatalogue, EveryNumberHasAJapaneseDescriptionAndEveryTextIsJapanese) {
  std::set<std::int32_t> numbers;
  for (const StandardText& t : StandardTexts()) {
    EXPECT_TRUE(numbers.insert(t.number).second) << t.number << " twice";
  }
  for (const ErrorNumber& e : errnum::kAll) {
    EXPECT_TRUE(numbers.count(e.number)) << e.number << " has no description";
    EXPECT_EQ(English(e.Description({"x"})), "") << e.number;
  }
  const fs::path dir = fs::path(KESTRIN_SOURCE_DIR) / "automation";
  int texts = 0;
  for (const char* file : {"messages.h", "messages.cpp"}) {
    for (const std::string& literal : Literals(dir / file)) {
      if (literal.find('/') != std::string::npos || literal == "0x") continue;  // includes
      EXPECT_EQ(English(Fill(literal, {"名", "名", "名", "名", "名"})), "")
          << file << ": " << literal;
      ++texts;
    }
  }
  EXPECT_GT(texts, 150);
  // The office's I/O error codes of a failed save, in the user's words.
  EXPECT_NE(OfficeIoWords("SfxBaseModel::storeSelf: 0x909").find("空き容量"), std::string::npos);
  EXPECT_NE(OfficeIoWords("failed: 0x507(Error Area:Io Class:Access Code:7)").find("権限"),
            std::string::npos);
  EXPECT_NE(OfficeIoWords("0x302(Error Area:Io Class:NotExists Code:2)").find("見つかりません"),
            std::string::npos);
  EXPECT_EQ(OfficeIoWords("0x90e(Error Area:Io Class:Space Code:14)"), "");  // open files
  EXPECT_EQ(OfficeIoWords("no sheet named X"), "");
  EXPECT_EQ(OfficeIoWords("at 0x7f12aa01c000"), "");
}

// The office layer writes no sentence of its own outside the catalogue:
// a literal of two or more English words in its sources is a description
// that escaped it. What the office itself says, which the layer looks for
// in the office's messages, and markup are no sentences of ours.
TEST(MessageCatalogue, TheOfficeLayerTakesItsSentencesFromTheCatalogue) {
  const fs::path dir = fs::path(KESTRIN_SOURCE_DIR) / "automation" / "uno";
  static const std::regex kSentence("[A-Za-z]{2,} [a-z]{2,}");
  int files = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    const fs::path file = entry.path();
    // The office keeper's own usage and log lines are not descriptions.
    if (file.filename() == "keep_office_main.cpp" || file.extension() != ".cpp") continue;
    ++files;
    for (const std::string& literal : Literals(file)) {
      if (literal.find_first_of("<=") != std::string::npos) continue;  // markup
      if (literal == "unsatisfied query for interface") continue;      // the office's words
      EXPECT_FALSE(std::regex_search(literal, kSentence)) << file.filename() << ": " << literal;
    }
  }
  EXPECT_GT(files, 20);
}

// Failures users meet, each provoked through the Access interfaces.
std::vector<AutomationError> ProvokedFailures(const fs::path& dir) {
  namespace mdbt = mdbtest;
  using mdb::AccessType;
  std::vector<AutomationError> out;
  auto app = mdb::MakeMdbAccessServer()->CreateObject();
  auto expect_failure = [&](const std::function<void()>& f) {
    try {
      f();
      ADD_FAILURE() << "no failure";
    } catch (const AutomationError& e) {
      out.push_back(e);
    }
  };
  auto open = [&](const fs::path& p) {
    app->CloseCurrentDatabase();
    app->OpenCurrentDatabase(p.string(), false);
    return app->CurrentDatabase();
  };
  expect_failure([&] { open(dir / "nowhere.mdb"); });
  const fs::path text = dir / "text.mdb";
  std::ofstream(text) << "not a database";
  expect_failure([&] { open(text); });

  ts::Jet4Database d;
  d.tables.push_back(
      ts::Jet4Table{"T", {{"N", AccessType::kLong}, {"S", AccessType::kText, 10}}, {}, {}});
  d.tables[0].rows = {{std::int64_t{1}, "a"}, {std::int64_t{2}, "b"}};
  using mdb::testing::QueryBuilder;
  d.queries = {
      QueryBuilder("Asks").Kind(1).Source("T").Output("N").Where("N = [Which]"),
      QueryBuilder("Broken").Kind(1).Source("T").Output("N +* 2"),
      QueryBuilder("Missing").Kind(1).Source("Nowhere").Output("N"),
      QueryBuilder("Rows").Kind(1).Source("T").Output("(SELECT N FROM T)", "X"),
      QueryBuilder("Mismatch").Kind(1).Source("T").Output("N").Where("S = 1"),
  };
  const fs::path written = dir / "written.mdb";
  ts::WriteJet4Database(d, written);
  auto db = open(written);
  for (const char* q : {"Asks", "Broken", "Missing", "Rows", "Mismatch", "NoSuchName"}) {
    expect_failure([&] { mdbt::ReadAll(*db->OpenRecordset(q)); });
  }
  d.password = "geheim";
  ts::WriteJet4Database(d, written);
  expect_failure([&] { open(written); });

  // Damaged: cut after the catalogue's definition.
  d.password.clear();
  ts::WriteJet4Database(d, written);
  fs::resize_file(written, 3 * 4096);
  expect_failure([&] { mdbt::ReadAll(*open(written)->OpenRecordset("T")); });
  app->CloseCurrentDatabase();
  return out;
}

TEST(MessageCatalogue, FailuresAreDescribedInJapaneseUnderAnyLocale) {
  const fs::path dir =
      fs::temp_directory_path() / ("kestrin-messages-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  for (const char* lang : {"C", "ja_JP.UTF-8"}) {
    setenv("LANG", lang, 1);
    setenv("LC_ALL", lang, 1);
    std::setlocale(LC_ALL, "");
    const std::vector<AutomationError> failures = ProvokedFailures(dir);
    EXPECT_EQ(failures.size(), 10u);
    for (const AutomationError& e : failures) {
      EXPECT_EQ(English(e.description()), "")
          << lang << ": " << e.number() << " " << e.description();
    }
  }
  std::setlocale(LC_ALL, "C");
  fs::remove_all(dir);
}

}  // namespace
}  // namespace kestrin::automation
