// Garbled pattern files: random bytes, truncated and mangled saved patterns,
// text that is not CP932. Each load either succeeds or ends in a
// PatternError that names the file; none crashes, hangs or throws anything
// else. The seed is fixed; KESTRIN_FUZZ_ITERATIONS sets the count (10,000
// by default).
#include <chrono>
#include <cstdlib>
#include <random>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "pattern/cp932.h"
#include "pattern/pattern_file.h"
#include "tests/support/temp_folder.h"

namespace kestrin::pattern {
namespace {

using exporting::ExportSettings;

std::string SavedPattern() {
  ExportSettings s;
  s.FileMoto = "/home/利用者/売上.mdb";
  s.TblName = "売上明細";
  s.FileSaki = "C:\\data\\集計.xls";
  s.ShtName = "売上";
  s.StartRow = 3;
  s.StartCol = 2;
  s.KaiGyo = 1;
  s.OutGyo = 500;
  s.Midasi = s.GridF = s.Line = s.Filter = s.FitRow = s.FitCol = s.PivotF = 1;
  s.PvtName = "ピボットテーブル1";
  s.PvtRow1 = "支店";
  s.PvtRow2 = "なし";
  s.PvtCol1 = "商品";
  s.PvtCol2 = "なし";
  s.PvtVal = "金額";
  return Utf8ToCp932(PatternText(s)).value();
}

class Garbler {
 public:
  explicit Garbler(std::uint32_t seed) : rng_(seed) {}

  std::string Next(const std::string& saved) {
    switch (Pick(6)) {
      case 0:
        return RandomBytes(Pick(400));
      case 1:
        return saved.substr(0, Pick(saved.size() + 1));
      case 2:
        return Mangle(saved, 1 + Pick(8));
      case 3:
        return Mangle(saved, 1 + Pick(60));
      case 4:
        return WithBadShiftJis(saved);
      default:
        return KeySoup();
    }
  }

 private:
  std::size_t Pick(std::size_t n) {
    return n == 0 ? 0 : std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_);
  }
  char Byte() { return static_cast<char>(Pick(256)); }

  std::string RandomBytes(std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s += Byte();
    return s;
  }

  // Byte flips, insertions, deletions and CR/LF/'=' moved about.
  std::string Mangle(std::string s, std::size_t edits) {
    static constexpr char kSpecial[] = {'\r', '\n', '=', ' ', '-', '.', '\x81', '\x5c', '\0'};
    for (std::size_t e = 0; e < edits; ++e) {
      std::size_t at = Pick(s.size() + 1);
      switch (Pick(4)) {
        case 0:
          if (at < s.size()) s[at] = Byte();
          break;
        case 1:
          s.insert(at, 1, kSpecial[Pick(sizeof kSpecial)]);
          break;
        case 2:
          if (at < s.size()) s.erase(at, 1 + Pick(5));
          break;
        default:
          s.insert(at, RandomBytes(1 + Pick(6)));
          break;
      }
    }
    return s;
  }

  // Lead bytes cut off, unassigned codes, UTF-8 where CP932 belongs.
  std::string WithBadShiftJis(std::string s) {
    static const char* kBad[] = {"\x81", "\x9f", "\xfc",         "\x85\x40", "\xeb\x40",
                                 "\xa0", "\xfd", "\xe5\xa3\xb2", "\x81\x7f"};
    s.insert(Pick(s.size() + 1), kBad[Pick(std::size(kBad))]);
    return s;
  }

  // Keys with random values, numbers at the edges of 16 bits.
  std::string KeySoup() {
    static const char* kValues[] = {"",    "0",    "1",    "-1",    "32767", "32768",
                                    "1e4", "2.5",  " 7 ",  "abc",   "-",     "9999999999",
                                    "表",  "ｶﾀｶﾅ", "\x81", "1,000", "&H10",  "Line"};
    std::string s;
    for (std::size_t n = Pick(40); n > 0; --n) {
      s += kPatternKeys[Pick(kPatternKeys.size())].name;
      s += "= \t:"[Pick(4)];
      s += kValues[Pick(std::size(kValues))];
      s += Pick(3) == 0 ? "\n" : "\r\n";
    }
    return s;
  }

  std::mt19937 rng_;
};

TEST(PatternFuzz, GarbledFilesLoadOrFailWithAMessageNamingTheFile) {
  int iterations = 10'000;
  if (const char* env = std::getenv("KESTRIN_FUZZ_ITERATIONS")) iterations = std::atoi(env);
  testing::TempFolder dir;
  const std::string path = dir / "garbled.kst";
  const std::string saved = SavedPattern();
  Garbler garbler(20261207);
  int loaded = 0, refused = 0;
  auto slowest = std::chrono::steady_clock::duration::zero();
  for (int i = 0; i < iterations; ++i) {
    const std::string bytes = garbler.Next(saved);
    testing::WriteBytes(path, bytes);
    ExportSettings settings;
    auto start = std::chrono::steady_clock::now();
    try {
      PatFileRead(path, settings);
      ++loaded;
    } catch (const PatternError& e) {
      ++refused;
      ASSERT_THAT(e.description(), ::testing::StartsWith(path)) << "case " << i;
      ASSERT_GT(e.description().size(), path.size() + 10) << "case " << i;
    } catch (const std::exception& e) {
      FAIL() << "case " << i << " threw something else: " << e.what();
    }
    slowest = std::max(slowest, std::chrono::steady_clock::now() - start);
  }
  // Both outcomes must be exercised, or the garbling is not doing its job.
  EXPECT_GT(loaded, iterations / 10);
  EXPECT_GT(refused, iterations / 10);
  EXPECT_LT(slowest, std::chrono::seconds(1));
}

}  // namespace
}  // namespace kestrin::pattern
