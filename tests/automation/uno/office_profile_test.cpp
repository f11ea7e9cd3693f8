#include "automation/uno/office_profile.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <optional>

namespace kestrin::automation::uno {
namespace {
namespace fs = std::filesystem;

TEST(OfficeLanguageTest, JapaneseLocaleNames) {
  for (const char* name : {"ja", "ja_JP", "ja_JP.UTF-8", "ja_JP.eucJP", "ja-JP", "ja.UTF-8"}) {
    EXPECT_TRUE(IsJapaneseLocale(name)) << name;
  }
  for (const char* name : {"", "C", "C.UTF-8", "POSIX", "en_US.UTF-8", "jam", "jv_ID"}) {
    EXPECT_FALSE(IsJapaneseLocale(name)) << name;
  }
}

using ::kestrin::testing::ScopedEnv;

TEST(OfficeLanguageTest, MessagesFollowLcAllThenLcMessagesThenLang) {
  ScopedEnv all("LC_ALL", nullptr), messages("LC_MESSAGES", nullptr), lang("LANG", nullptr);
  EXPECT_EQ(MessagesLocaleName(), "C");
  setenv("LANG", "ja_JP.UTF-8", 1);
  EXPECT_EQ(MessagesLocaleName(), "ja_JP.UTF-8");
  setenv("LC_MESSAGES", "en_US.UTF-8", 1);
  EXPECT_EQ(MessagesLocaleName(), "en_US.UTF-8");
  setenv("LC_ALL", "", 1);  // empty counts as unset
  EXPECT_EQ(MessagesLocaleName(), "en_US.UTF-8");
  setenv("LC_ALL", "C", 1);
  EXPECT_EQ(MessagesLocaleName(), "C");
}

class ProfileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    installation_ = root_ / "profile" / "user";
    user_ = installation_ / "user";  // where the office keeps its settings
  }
  std::string Settings() const {
    std::ifstream in(user_ / "registrymodifications.xcu", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  void WriteSettings(const std::string& text) {
    fs::create_directories(user_);
    std::ofstream(user_ / "registrymodifications.xcu", std::ios::binary) << text;
  }
  static constexpr const char* kJa =
      R"(<item oor:path="/org.openoffice.Office.Linguistic/General"><prop oor:name="UILocale" oor:op="fuse"><value>ja</value></prop></item>)";
  static constexpr const char* kLocale =
      R"(<item oor:path="/org.openoffice.Setup/L10N"><prop oor:name="ooSetupSystemLocale" oor:op="fuse"><value>ja-JP</value></prop></item>)";
  static constexpr const char* kOther =
      R"(<item oor:path="/org.openoffice.Setup/Product"><prop oor:name="ooSetupLastVersion" oor:op="fuse"><value>7.4</value></prop></item>)";
  static constexpr const char* kXmlDecl = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  static constexpr const char* kItems =
      R"(<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">)";

  ::kestrin::testing::TempFolder folder_;
  fs::path root_ = folder_.path(), installation_, user_;
};

TEST_F(ProfileTest, AFreshProfileGetsAJapaneseLocaleAndJapaneseMenusOnlyForAJapaneseUser) {
  PrepareOfficeProfile(installation_, false, "");
  const std::string head = std::string(kXmlDecl) + kItems + "\n" + kLocale + "\n";
  EXPECT_EQ(Settings(), head + "</oor:items>\n");
  PrepareOfficeProfile(installation_, true, "");
  std::string text = Settings();
  EXPECT_EQ(text, head + kJa + "\n</oor:items>\n");
  struct stat st {};
  for (const fs::path& dir : {installation_, user_}) {
    ASSERT_EQ(stat(dir.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u) << dir;
  }
  ASSERT_EQ(stat((user_ / "registrymodifications.xcu").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  // Again: nothing to change, and no stray files.
  PrepareOfficeProfile(installation_, true, "");
  EXPECT_EQ(Settings(), text);
  EXPECT_EQ(std::distance(fs::directory_iterator(user_), {}), 1);
}

TEST_F(ProfileTest, AnOfficeWrittenProfileKeepsItsOtherSettings) {
  const std::string en_ui =
      R"(<item oor:path="/org.openoffice.Office.Linguistic/General"><prop oor:name="UILocale" oor:op="fuse"><value>en-US</value></prop></item>)";
  const std::string head = std::string(kXmlDecl) + kItems + "\n";
  // The office puts the end tag on the line of the last setting.
  WriteSettings(head + kOther + "\n" + en_ui + "</oor:items>");
  PrepareOfficeProfile(installation_, false,
                       "");  // a menu language of the user's own choosing stays
  const std::string locale = std::string(kLocale) + "\n</oor:items>\n";
  EXPECT_EQ(Settings(), head + kOther + "\n" + en_ui + "\n" + locale);
  PrepareOfficeProfile(installation_, true, "");
  EXPECT_EQ(Settings(), head + kOther + "\n" + kJa + "\n" + locale);
  PrepareOfficeProfile(installation_, false, "");  // menus follow the environment again
  EXPECT_EQ(Settings(), head + kOther + "\n" + locale);
  // Without a UILocale line, the setting goes in before the end tag.
  WriteSettings(head + kOther + "</oor:items>");
  PrepareOfficeProfile(installation_, true, "");
  EXPECT_EQ(Settings(), head + kOther + "\n" + kJa + "\n" + locale);
}

TEST_F(ProfileTest, TheProfileIsMarkedAsHavingRunThisOffice) {
  const std::string head = std::string(kXmlDecl) + kItems + "\n";
  const auto mark = [](const char* version) {
    return std::string(
               R"(<item oor:path="/org.openoffice.Setup/Product"><prop oor:name="ooSetupLastVersion" oor:op="fuse"><value>)") +
           version + "</value></prop></item>";
  };
  PrepareOfficeProfile(installation_, false, "7.4");
  EXPECT_EQ(Settings(), head + kLocale + "\n" + mark("7.4") + "\n</oor:items>\n");
  PrepareOfficeProfile(installation_, true, "7.4");
  EXPECT_EQ(Settings(), head + kLocale + "\n" + mark("7.4") + "\n" + kJa + "\n</oor:items>\n");
  // A profile an older office used: the mark follows the office, the rest stays.
  const std::string en_ui =
      R"(<item oor:path="/org.openoffice.Office.Linguistic/General"><prop oor:name="UILocale" oor:op="fuse"><value>en-US</value></prop></item>)";
  WriteSettings(head + mark("7.3") + "\n" + en_ui + "</oor:items>");
  PrepareOfficeProfile(installation_, false, "24.2");
  const std::string upgraded =
      head + mark("24.2") + "\n" + en_ui + "\n" + kLocale + "\n</oor:items>\n";
  EXPECT_EQ(Settings(), upgraded);
  PrepareOfficeProfile(installation_, false, "");  // version unknown: left as it is
  EXPECT_EQ(Settings(), upgraded);
}

TEST_F(ProfileTest, TheOfficeVersionComesFromItsInstallation) {
  // The installed office the tests use.
  const std::string version = OfficeVersion(KESTRIN_OFFICE_PROGRAM_DIR);
  ASSERT_FALSE(version.empty());
  EXPECT_EQ(version.find_first_not_of("0123456789."), std::string::npos) << version;
  EXPECT_NE(version.find('.'), std::string::npos) << version;
  // A folder without an office, and settings that do not say it plainly.
  fs::create_directories(root_ / "program");
  EXPECT_EQ(OfficeVersion(root_ / "program"), "");
  fs::create_directories(root_ / "share" / "registry");
  auto write = [&](const std::string& value) {
    std::ofstream(root_ / "share" / "registry" / "main.xcd")
        << R"(<oor:component-data oor:name="Setup" oor:package="org.openoffice"><node oor:name="Product"><prop oor:name="ooSetupVersion"><value>)"
        << value << "</value></prop></node></oor:component-data>";
  };
  write("7.6");
  EXPECT_EQ(OfficeVersion(root_ / "program"), "7.6");
  write("7.6\"/><x y=\"");
  EXPECT_EQ(OfficeVersion(root_ / "program"), "");
  write("");
  EXPECT_EQ(OfficeVersion(root_ / "program"), "");
}

TEST(OfficeLocaleTest, TheOfficeGetsAUtf8CharacterTypeTheSystemHasAndTheUsersMessages) {
  ScopedEnv all("LC_ALL", nullptr), ctype("LC_CTYPE", nullptr), messages("LC_MESSAGES", nullptr),
      lang("LANG", "C");
  EXPECT_EQ(OfficeLocaleEnvironment(), std::vector<std::string>{"LC_CTYPE=C.UTF-8"});
  setenv("LANG", "C.utf8", 1);  // the user's own, UTF-8 and there
  EXPECT_EQ(OfficeLocaleEnvironment(), std::vector<std::string>{"LC_CTYPE=C.utf8"});
  {
    // A Japanese locale the system does not have.
    const ::kestrin::testing::TempFolder empty;
    ScopedEnv hidden("LOCPATH", empty.path().c_str());
    setenv("LC_CTYPE", "ja_JP.UTF-8", 1);
    EXPECT_FALSE(IsUtf8Locale("ja_JP.UTF-8"));
    EXPECT_EQ(OfficeCharacterType(), "C.UTF-8");
    unsetenv("LC_CTYPE");
  }
  setenv("LC_ALL", "C.utf8", 1);  // would override LC_CTYPE
  EXPECT_EQ(OfficeLocaleEnvironment(),
            (std::vector<std::string>{"LC_CTYPE=C.utf8", "LC_ALL=", "LC_MESSAGES=C.utf8"}));
  setenv("LC_ALL", "POSIX", 1);  // not UTF-8
  EXPECT_EQ(OfficeCharacterType(), "C.UTF-8");
}

}  // namespace
}  // namespace kestrin::automation::uno
