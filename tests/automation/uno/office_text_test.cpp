// The office's lock files and its failure messages, read without an office.
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <fstream>

#include "automation/uno/office_lock.h"
#include "automation/uno/office_words.h"

namespace kestrin::automation::uno {
namespace {
namespace fs = std::filesystem;

TEST(OfficeLockTest, ParsesFieldsWithEscapes) {
  auto lock = ParseOfficeLock(
      "Tanaka\\, Taro,tanaka,pc-07.example.jp,07.12.2026 16:30,file:///home/tanaka/.config/"
      "libreoffice/4;");
  ASSERT_TRUE(lock);
  EXPECT_EQ(lock->author, "Tanaka, Taro");
  EXPECT_EQ(lock->user, "tanaka");
  EXPECT_EQ(lock->host, "pc-07.example.jp");
  EXPECT_EQ(lock->since, "07.12.2026 16:30");
  EXPECT_EQ(lock->profile_url, "file:///home/tanaka/.config/libreoffice/4");
  EXPECT_EQ(Holder(*lock),
            "ホスト 'pc-07.example.jp' のユーザー 'tanaka' (氏名 'Tanaka, Taro') (2026-12-07 16:30 "
            "から)");
  EXPECT_FALSE(ParseOfficeLock("just,three,fields;"));
  EXPECT_FALSE(ParseOfficeLock(""));
  EXPECT_EQ(LockFilePath("/data/Report 1.xls"), fs::path("/data/.~lock.Report 1.xls#"));
}

TEST(OfficeLockTest, OursIsThisUserOnThisHost) {
  passwd* me = getpwuid(getuid());
  ASSERT_NE(me, nullptr);
  char host[256] = {};
  ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
  std::string user = me->pw_name;
  auto lock = [](const std::string& u, const std::string& h) {
    return *ParseOfficeLock("," + u + "," + h + ",01.01.2026 09:00,file:///x;");
  };
  EXPECT_TRUE(TakenByUs(lock(user, host)));
  EXPECT_TRUE(TakenByUs(lock(user, std::string(host) + ".example.org")));  // a full name
  EXPECT_FALSE(TakenByUs(lock(user, std::string(host) + "-2")));
  EXPECT_FALSE(TakenByUs(lock(user + "x", host)));
  EXPECT_FALSE(TakenByUs(lock("", host)));
}

TEST(OfficeWordsTest, KeepsTheOfficesWordsWithoutLocationsOrTypeNames) {
  EXPECT_EQ(OfficeWords("at ./sc/source/ui/unoobj/cellsuno.cxx:4962"), "");
  EXPECT_EQ(OfficeWords(" at /build/libreoffice-7.4/sfx2/source/doc/sfxbasemodel.cxx:1768"), "");
  EXPECT_EQ(OfficeWords("Unsupported URL <file:///tmp/a.xls>: \"type detection failed\" at "
                        "./framework/source/loadenv/loadenv.cxx:175"),
            "Unsupported URL <file:///tmp/a.xls>: \"type detection failed\"");
  EXPECT_EQ(OfficeWords("com.sun.star.lang.IllegalArgumentException: no sheet named X"),
            "no sheet named X");
  EXPECT_EQ(OfficeWords("Binary URP bridge disposed during call (DisposedException) at "
                        "./binaryurp/source/bridge.cxx:1011"),
            "Binary URP bridge disposed during call");
  EXPECT_EQ(OfficeWords("unsatisfied query for interface of type "
                        "com.sun.star.sheet.XSpreadsheetView!"),
            "");
  EXPECT_EQ(OfficeWords("css::uno::RuntimeException"), "");
  EXPECT_EQ(OfficeWords("SfxBaseModel::impl_store <file:///tmp/x.xls> failed: 0x507(Error "
                        "Area:Io Class:Access Code:7) at ./sfx2/source/doc/sfxbasemodel.cxx:3202 "
                        "at ./sfx2/source/doc/sfxbasemodel.cxx:1775"),
            "ファイルまたはフォルダーに書き込む権限がありません。");
  EXPECT_EQ(OfficeWords("表が保護されています"), "表が保護されています");
}

}  // namespace
}  // namespace kestrin::automation::uno
