#include "automation/uno/office_language.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

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

// Sets (or unsets, with null) an environment variable for one test.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    value ? setenv(name, value, 1) : unsetenv(name);
  }
  ~ScopedEnv() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

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
    char pattern[] = "/tmp/kestrin-profile-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    user_ = root_ / "profile" / "user";
  }
  void TearDown() override { fs::remove_all(root_); }
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
  static constexpr const char* kOther =
      R"(<item oor:path="/org.openoffice.Setup/Product"><prop oor:name="ooSetupLastVersion" oor:op="fuse"><value>7.4</value></prop></item>)";
  static constexpr const char* kHead =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<oor:items "
      "xmlns:oor=\"http://openoffice.org/2001/registry\">\n";

  fs::path root_, user_;
};

TEST_F(ProfileTest, AFreshProfileIsSeededOnlyForAJapaneseUser) {
  SetProfileJapaneseUi(user_, false);
  EXPECT_FALSE(fs::exists(user_));
  SetProfileJapaneseUi(user_, true);
  std::string text = Settings();
  EXPECT_NE(text.find(kJa), std::string::npos) << text;
  EXPECT_NE(text.find("</oor:items>"), std::string::npos);
  EXPECT_LT(text.find("<oor:items"), text.find(kJa));
  struct stat st {};
  ASSERT_EQ(stat(user_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  ASSERT_EQ(stat((user_ / "registrymodifications.xcu").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  // Again: nothing to change, and no stray files.
  SetProfileJapaneseUi(user_, true);
  EXPECT_EQ(Settings(), text);
  EXPECT_EQ(std::distance(fs::directory_iterator(user_), {}), 1);
}

TEST_F(ProfileTest, AnOfficeWrittenProfileKeepsItsOtherSettings) {
  const std::string other_locale =
      R"(<item oor:path="/org.openoffice.Office.Linguistic/General"><prop oor:name="UILocale" oor:op="fuse"><value>en-US</value></prop></item>)";
  // The office puts the end tag on the line of the last setting.
  WriteSettings(std::string(kHead) + kOther + "\n" + other_locale + "</oor:items>");
  SetProfileJapaneseUi(user_, false);  // a language of the user's own choosing stays
  EXPECT_NE(Settings().find(other_locale), std::string::npos);
  SetProfileJapaneseUi(user_, true);
  EXPECT_EQ(Settings(), std::string(kHead) + kOther + "\n" + kJa + "\n</oor:items>\n");
  SetProfileJapaneseUi(user_, false);  // back to following the environment
  EXPECT_EQ(Settings(), std::string(kHead) + kOther + "\n</oor:items>\n");
  WriteSettings(std::string(kHead) + kOther + "\n" + kJa + "</oor:items>");
  SetProfileJapaneseUi(user_, false);
  EXPECT_EQ(Settings(), std::string(kHead) + kOther + "\n</oor:items>\n");
  // Without any UILocale line, the setting goes in before the end.
  WriteSettings(std::string(kHead) + kOther + "</oor:items>\n");
  SetProfileJapaneseUi(user_, true);
  EXPECT_EQ(Settings(), std::string(kHead) + kOther + "\n" + kJa + "\n</oor:items>\n");
}

}  // namespace
}  // namespace kestrin::automation::uno
