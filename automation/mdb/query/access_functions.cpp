#include "automation/mdb/query/access_functions.h"

#include "automation/utf8.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "automation/mdb/query/access_dates.h"
#include "automation/mdb/query/access_sql.h"

namespace kestrin::automation::mdb::fn {

namespace {

// ---- UTF-8 and case ----

std::u32string Decode(std::string_view s) {
  std::u32string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    char32_t cp = c;
    size_t len = 1;
    if (c >= 0xF0) {
      len = 4;
      cp = c & 0x07;
    } else if (c >= 0xE0) {
      len = 3;
      cp = c & 0x0F;
    } else if (c >= 0xC0) {
      len = 2;
      cp = c & 0x1F;
    }
    if (len > 1) {
      if (i + len > s.size()) {
        out.push_back(0xFFFD);
        break;
      }
      for (size_t k = 1; k < len; ++k)
        cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    }
    out.push_back(cp);
    i += len;
  }
  return out;
}

std::string Encode(std::u32string_view s) {
  std::string out;
  out.reserve(s.size());
  for (char32_t cp : s) AppendUtf8(out, cp);
  return out;
}

char32_t Lower(char32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
  if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return (c % 2 == 0) ? c + 1 : c;
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c % 2 == 1) ? c + 1 : c;
  if (c == 0x178) return 0xFF;
  if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 32;
  if (c >= 0x410 && c <= 0x42F) return c + 32;
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  if (c >= 0xFF21 && c <= 0xFF3A) return c + 32;
  return c;
}

char32_t Upper(char32_t c) {
  if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 32 : c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;
  if (c == 0xFF) return 0x178;
  if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return (c % 2 == 1) ? c - 1 : c;
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c % 2 == 0) ? c - 1 : c;
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return c - 32;
  if (c >= 0x430 && c <= 0x44F) return c - 32;
  if (c >= 0x450 && c <= 0x45F) return c - 80;
  if (c >= 0xFF41 && c <= 0xFF5A) return c - 32;
  return c;
}

// Base letters of lower-case Latin letters with diacritics (U+00E0 to U+017F);
// "" for characters that are their own base.
const char* BaseLetters(char32_t c) {
  static const char* latin1[] = {"a", "a", "a", "a", "a", "a", "ae", "c", "e",  "e", "e",
                                 "e", "i", "i", "i", "i", "d", "n",  "o", "o",  "o", "o",
                                 "o", "",  "o", "u", "u", "u", "u",  "y", "th", "y"};
  if (c == 0xDF) return "ss";
  if (c >= 0xE0 && c <= 0xFF) return latin1[c - 0xE0];
  struct Range {
    char32_t from, to;
    const char* base;
  };
  static const Range extended[] = {
      {0x100, 0x105, "a"}, {0x106, 0x10D, "c"},  {0x10E, 0x111, "d"}, {0x112, 0x11B, "e"},
      {0x11C, 0x123, "g"}, {0x124, 0x127, "h"},  {0x128, 0x131, "i"}, {0x132, 0x133, "ij"},
      {0x134, 0x135, "j"}, {0x136, 0x138, "k"},  {0x139, 0x142, "l"}, {0x143, 0x14B, "n"},
      {0x14C, 0x151, "o"}, {0x152, 0x153, "oe"}, {0x154, 0x159, "r"}, {0x15A, 0x161, "s"},
      {0x162, 0x167, "t"}, {0x168, 0x173, "u"},  {0x174, 0x175, "w"}, {0x176, 0x178, "y"},
      {0x179, 0x17E, "z"}, {0x17F, 0x17F, "s"}};
  for (const auto& r : extended) {
    if (c >= r.from && c <= r.to) return r.base;
  }
  return "";
}

std::u32string SortKey(const std::u32string& folded) {
  std::u32string out;
  out.reserve(folded.size());
  for (char32_t c : folded) {
    if (c == '-' || c == '\'') continue;
    const char* base = c >= 0xDF ? BaseLetters(c) : "";
    if (*base) {
      for (const char* p = base; *p; ++p) out.push_back(static_cast<char32_t>(*p));
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::u32string Folded(std::string_view s) {
  std::u32string u = Decode(s);
  for (auto& c : u) c = Lower(c);
  return u;
}

// ---- errors raised inside functions ----

struct FnError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

[[noreturn]] void TypeMismatch() { throw FnError("Type mismatch"); }
[[noreturn]] void InvalidCall(const char* fn) {
  throw FnError(std::string("Invalid procedure call or argument in ") + fn);
}

// ---- argument helpers ----

bool IsNull(sqlite3_value* v) { return sqlite3_value_type(v) == SQLITE_NULL; }

std::optional<double> ParseNumberText(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  if (b == e) return std::nullopt;
  std::string t(s.substr(b, e - b));
  if (t.size() > 2 && t[0] == '&' && (t[1] == 'H' || t[1] == 'h')) {
    char* end = nullptr;
    const long long v = std::strtoll(t.c_str() + 2, &end, 16);
    if (*end != '\0') return std::nullopt;
    return static_cast<double>(v);
  }
  // Only plain decimal notation: strtod would accept "inf", "nan" and hex.
  for (char c : t) {
    if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+' ||
          c == 'e' || c == 'E'))
      return std::nullopt;
  }
  char* end = nullptr;
  const double v = std::strtod(t.c_str(), &end);
  if (end != t.c_str() + t.size()) return std::nullopt;
  return v;
}

std::optional<double> ArgNumber(sqlite3_value* v) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_NULL:
      return std::nullopt;
    case SQLITE_INTEGER:
      return static_cast<double>(sqlite3_value_int64(v));
    case SQLITE_FLOAT:
      return sqlite3_value_double(v);
    default: {
      const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
      auto n = ParseNumberText(p ? p : "");
      if (!n) TypeMismatch();
      return n;
    }
  }
}

std::optional<std::string> ArgText(sqlite3_value* v) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_NULL:
      return std::nullopt;
    case SQLITE_INTEGER:
      return std::to_string(sqlite3_value_int64(v));
    case SQLITE_FLOAT:
      return NumberText(sqlite3_value_double(v));
    default: {
      const auto* p = static_cast<const char*>(sqlite3_value_blob(v));
      const int n = sqlite3_value_bytes(v);
      return std::string(p ? p : "", static_cast<size_t>(n));
    }
  }
}

std::optional<double> ArgDate(sqlite3_value* v) {
  if (IsNull(v)) return std::nullopt;
  if (sqlite3_value_type(v) == SQLITE_TEXT) {
    const std::string t = *ArgText(v);
    if (auto d = sql::ParseDateLiteral(t)) return d;
    if (auto n = ParseNumberText(t)) return n;
    TypeMismatch();
  }
  return ArgNumber(v);
}

std::int64_t RoundToLong(double v, double lo, double hi) {
  const double r = BankersRound(v, 0);
  if (!(r >= lo && r <= hi)) throw FnError("Overflow");
  return static_cast<std::int64_t>(r);
}

void ResultText(sqlite3_context* ctx, const std::string& s) {
  sqlite3_result_text64(ctx, s.data(), s.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

void ResultDate(sqlite3_context* ctx, double serial) {
  if (!dates::FromSerial(serial)) throw FnError("Overflow: date out of range");
  sqlite3_result_double(ctx, serial);
}

using Fn = void (*)(sqlite3_context*, int, sqlite3_value**);

template <Fn F>
void Guarded(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  try {
    F(ctx, argc, argv);
  } catch (const std::exception& e) {
    sqlite3_result_error(ctx, e.what(), -1);
  }
}

// ---- dates ----

dates::Parts PartsOf(double serial) {
  auto p = dates::FromSerial(serial);
  if (!p) throw FnError("Overflow: date out of range");
  return *p;
}

std::int64_t DayNumber(double serial) {
  return static_cast<std::int64_t>(std::floor(dates::Linear(serial) + 1e-9));
}

// 1 = Sunday ... 7 = Saturday, shifted so that `first_day` is 1.
int WeekdayOf(double serial, int first_day) {
  const std::int64_t d = DayNumber(serial);
  const int sunday_based = static_cast<int>(((d + 6) % 7 + 7) % 7) + 1;
  if (first_day < 1 || first_day > 7) first_day = 1;
  return (sunday_based - first_day + 7) % 7 + 1;
}

const std::array<const char*, 12> kMonths = {"January",   "February", "March",    "April",
                                             "May",       "June",     "July",     "August",
                                             "September", "October",  "November", "December"};
const std::array<const char*, 7> kDays = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                          "Thursday", "Friday", "Saturday"};

std::string Pad2(int v) {
  char b[8];
  std::snprintf(b, sizeof b, "%02d", v);
  return b;
}

int DayOfYear(const dates::Parts& p) {
  return static_cast<int>(dates::DaysFromCivil(p.year, p.month, p.day) -
                          dates::DaysFromCivil(p.year, 1, 1)) +
         1;
}

int WeekOfYear(double serial, int first_day) {
  const dates::Parts p = PartsOf(serial);
  const double jan1 = static_cast<double>(dates::DaysFromCivil(p.year, 1, 1));
  const int jan1_wd = WeekdayOf(jan1, first_day);
  return (DayOfYear(p) + jan1_wd - 2) / 7 + 1;
}

double NowSerial(bool date_part, bool time_part) {
  const auto now = std::chrono::system_clock::now();
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm tm{};
  localtime_r(&t, &tm);
  double serial = 0;
  if (date_part)
    serial =
        static_cast<double>(dates::DaysFromCivil(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday));
  if (time_part) serial += (tm.tm_hour * 3600.0 + tm.tm_min * 60.0 + tm.tm_sec) / 86400.0;
  return serial;
}

std::string LowerAscii(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

double AddMonths(double serial, std::int64_t months) {
  const dates::Parts p = PartsOf(serial);
  const std::int64_t total = static_cast<std::int64_t>(p.year) * 12 + (p.month - 1) + months;
  const std::int64_t y = total >= 0 ? total / 12 : -((-total + 11) / 12);
  const int m = static_cast<int>(total - y * 12) + 1;
  const std::int64_t first = dates::DaysFromCivil(y, m, 1);
  const std::int64_t len = dates::DaysFromCivil(y, m + 1, 1) - first;
  const std::int64_t day = std::min<std::int64_t>(p.day, len);
  const double secs = p.hour * 3600.0 + p.minute * 60.0 + p.second;
  return dates::Serial(first + day - 1, secs);
}

// ---- scalar functions ----

void Concat(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNull(a[0]) && IsNull(a[1])) return sqlite3_result_null(ctx);
  ResultText(ctx, ArgText(a[0]).value_or("") + ArgText(a[1]).value_or(""));
}

void Div(sqlite3_context* ctx, int, sqlite3_value** a) {
  auto x = ArgNumber(a[0]), y = ArgNumber(a[1]);
  if (!x || !y) return sqlite3_result_null(ctx);
  if (*y == 0) throw FnError("Division by zero");
  sqlite3_result_double(ctx, *x / *y);
}

void IntDiv(sqlite3_context* ctx, int, sqlite3_value** a) {
  auto x = ArgNumber(a[0]), y = ArgNumber(a[1]);
  if (!x || !y) return sqlite3_result_null(ctx);
  const double lim = 9.2e18;
  const std::int64_t p = RoundToLong(*x, -lim, lim), q = RoundToLong(*y, -lim, lim);
  if (q == 0) throw FnError("Division by zero");
  sqlite3_result_int64(ctx, p / q);
}

void Mod(sqlite3_context* ctx, int, sqlite3_value** a) {
  auto x = ArgNumber(a[0]), y = ArgNumber(a[1]);
  if (!x || !y) return sqlite3_result_null(ctx);
  const double lim = 9.2e18;
  const std::int64_t p = RoundToLong(*x, -lim, lim), q = RoundToLong(*y, -lim, lim);
  if (q == 0) throw FnError("Division by zero");
  sqlite3_result_int64(ctx, p % q);
}

void Pow(sqlite3_context* ctx, int, sqlite3_value** a) {
  auto x = ArgNumber(a[0]), y = ArgNumber(a[1]);
  if (!x || !y) return sqlite3_result_null(ctx);
  if (*x < 0 && std::floor(*y) != *y) InvalidCall("^");
  const double r = std::pow(*x, *y);
  if (!std::isfinite(r)) throw FnError("Overflow");
  sqlite3_result_double(ctx, r);
}

void Like(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNull(a[0]) || IsNull(a[1])) return sqlite3_result_null(ctx);
  try {
    sqlite3_result_int(ctx, LikeMatch(*ArgText(a[0]), *ArgText(a[1])) ? 1 : 0);
  } catch (const std::invalid_argument&) {
    throw FnError("Invalid pattern string");
  }
}

void ToNum(sqlite3_context* ctx, int, sqlite3_value** a) {
  auto x = ArgNumber(a[0]);
  if (!x) return sqlite3_result_null(ctx);
  if (sqlite3_value_type(a[0]) == SQLITE_INTEGER)
    return sqlite3_result_int64(ctx, sqlite3_value_int64(a[0]));
  sqlite3_result_double(ctx, *x);
}

void DateTextFn(sqlite3_context* ctx, int, sqlite3_value** a) {
  auto d = ArgDate(a[0]);
  if (!d) return sqlite3_result_null(ctx);
  ResultText(ctx, DateText(*d));
}

void BoolText(sqlite3_context* ctx, int, sqlite3_value** a) {
  auto x = ArgNumber(a[0]);
  if (!x) return sqlite3_result_null(ctx);
  ResultText(ctx, *x != 0 ? "True" : "False");
}

void CCur(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNull(a[0])) return sqlite3_result_null(ctx);
  std::optional<std::int64_t> c;
  if (sqlite3_value_type(a[0]) == SQLITE_TEXT) {
    c = CurrencyFromText(*ArgText(a[0]));
    if (!c) {
      if (!ParseNumberText(*ArgText(a[0]))) TypeMismatch();
      c = CurrencyFromAmount(*ArgNumber(a[0]));
    }
  } else if (sqlite3_value_type(a[0]) == SQLITE_INTEGER) {
    const std::int64_t v = sqlite3_value_int64(a[0]);
    if (v > 922337203685477 || v < -922337203685477) throw FnError("Overflow");
    c = v * 10000;
  } else {
    c = CurrencyFromAmount(*ArgNumber(a[0]));
  }
  if (!c) throw FnError("Overflow");
  sqlite3_result_int64(ctx, *c);
}

// Ten-thousandths held in a REAL (an average) back to an exact count.
void CurrencyRound(sqlite3_context* ctx, int, sqlite3_value** a) {
  auto x = ArgNumber(a[0]);
  if (!x) return sqlite3_result_null(ctx);
  sqlite3_result_int64(ctx, RoundToLong(*x, -9.2e18, 9.2e18));
}

void CDbl(sqlite3_context* ctx, int, sqlite3_value** a) {
  auto x = ArgNumber(a[0]);
  if (!x) return sqlite3_result_null(ctx);
  sqlite3_result_double(ctx, *x);
}

void CLng(sqlite3_context* ctx, int, sqlite3_value** a) {
  auto x = ArgNumber(a[0]);
  if (!x) return sqlite3_result_null(ctx);
  sqlite3_result_int64(ctx, RoundToLong(*x, -2147483648.0, 2147483647.0));
}

void CInt(sqlite3_context* ctx, int, sqlite3_value** a) {
  auto x = ArgNumber(a[0]);
  if (!x) return sqlite3_result_null(ctx);
  sqlite3_result_int64(ctx, RoundToLong(*x, -32768.0, 32767.0));
}

void CStr(sqlite3_context* ctx, int, sqlite3_value** a) {
  auto t = ArgText(a[0]);
  if (!t) return sqlite3_result_null(ctx);
  ResultText(ctx, *t);
}

void CDate(sqlite3_context* ctx, int, sqlite3_value** a) {
  auto d = ArgDate(a[0]);
  if (!d) return sqlite3_result_null(ctx);
  ResultDate(ctx, *d);
}

void CBool(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNull(a[0])) return sqlite3_result_null(ctx);
  if (sqlite3_value_type(a[0]) == SQLITE_TEXT) {
    const std::string t = LowerAscii(*ArgText(a[0]));
    if (t == "true") return sqlite3_result_int(ctx, -1);
    if (t == "false") return sqlite3_result_int(ctx, 0);
  }
  sqlite3_result_int(ctx, *ArgNumber(a[0]) != 0 ? -1 : 0);
}

void IntFn(sqlite3_context* ctx, int, sqlite3_value** a) {
  auto x = ArgNumber(a[0]);
  if (!x) return sqlite3_result_null(ctx);
  if (sqlite3_value_type(a[0]) == SQLITE_INTEGER)
    return sqlite3_result_int64(ctx, sqlite3_value_int64(a[0]));
  sqlite3_result_double(ctx, std::floor(*x));
}

void FixFn(sqlite3_context* ctx, int, sqlite3_value** a) {
  auto x = ArgNumber(a[0]);
  if (!x) return sqlite3_result_null(ctx);
  if (sqlite3_value_type(a[0]) == SQLITE_INTEGER)
    return sqlite3_result_int64(ctx, sqlite3_value_int64(a[0]));
  sqlite3_result_double(ctx, std::trunc(*x));
}

void RoundFn(sqlite3_context* ctx, int argc, sqlite3_value** a) {
  auto x = ArgNumber(a[0]);
  if (!x) return sqlite3_result_null(ctx);
  int digits = 0;
  if (argc > 1) {
    auto d = ArgNumber(a[1]);
    if (!d) return sqlite3_result_null(ctx);
    if (*d < 0 || *d > 15) InvalidCall("Round");
    digits = static_cast<int>(*d);
  }
  sqlite3_result_double(ctx, BankersRound(*x, digits));
}

void Sgn(sqlite3_context* ctx, int, sqlite3_value** a) {
  auto x = ArgNumber(a[0]);
  if (!x) return sqlite3_result_null(ctx);
  sqlite3_result_int(ctx, *x > 0 ? 1 : (*x < 0 ? -1 : 0));
}

void Sqr(sqlite3_context* ctx, int, sqlite3_value** a) {
  auto x = ArgNumber(a[0]);
  if (!x) return sqlite3_result_null(ctx);
  if (*x < 0) InvalidCall("Sqr");
  sqlite3_result_double(ctx, std::sqrt(*x));
}

void Abs(sqlite3_context* ctx, int, sqlite3_value** a) {
  auto x = ArgNumber(a[0]);
  if (!x) return sqlite3_result_null(ctx);
  if (sqlite3_value_type(a[0]) == SQLITE_INTEGER) {
    const std::int64_t v = sqlite3_value_int64(a[0]);
    if (v == std::numeric_limits<std::int64_t>::min()) throw FnError("Overflow");
    return sqlite3_result_int64(ctx, v < 0 ? -v : v);
  }
  sqlite3_result_double(ctx, std::fabs(*x));
}

std::int64_t CountArg(sqlite3_value* v, const char* fn) {
  auto n = ArgNumber(v);
  if (!n) throw FnError(std::string("Invalid use of Null in ") + fn);
  if (*n < 0 || *n > 2147483647.0) InvalidCall(fn);
  return static_cast<std::int64_t>(BankersRound(*n, 0));
}

void Len(sqlite3_context* ctx, int, sqlite3_value** a) {
  auto t = ArgText(a[0]);
  if (!t) return sqlite3_result_null(ctx);
  sqlite3_result_int64(ctx, static_cast<std::int64_t>(Decode(*t).size()));
}

void Left(sqlite3_context* ctx, int, sqlite3_value** a) {
  auto t = ArgText(a[0]);
  const std::int64_t n = CountArg(a[1], "Left");
  if (!t) return sqlite3_result_null(ctx);
  std::u32string u = Decode(*t);
  ResultText(ctx, Encode(std::u32string_view(u).substr(0, static_cast<size_t>(n))));
}

void Right(sqlite3_context* ctx, int, sqlite3_value** a) {
  auto t = ArgText(a[0]);
  const std::int64_t n = CountArg(a[1], "Right");
  if (!t) return sqlite3_result_null(ctx);
  std::u32string u = Decode(*t);
  const size_t k = std::min(u.size(), static_cast<size_t>(n));
  ResultText(ctx, Encode(std::u32string_view(u).substr(u.size() - k)));
}

void Mid(sqlite3_context* ctx, int argc, sqlite3_value** a) {
  auto t = ArgText(a[0]);
  const std::int64_t start = CountArg(a[1], "Mid");
  if (start < 1) InvalidCall("Mid");
  std::int64_t len = -1;
  if (argc > 2) len = CountArg(a[2], "Mid");
  if (!t) return sqlite3_result_null(ctx);
  std::u32string u = Decode(*t);
  if (static_cast<size_t>(start) > u.size()) return ResultText(ctx, "");
  ResultText(ctx, Encode(std::u32string_view(u).substr(
                      static_cast<size_t>(start - 1),
                      len < 0 ? std::u32string::npos : static_cast<size_t>(len))));
}

// Position (from 0) of `needle` in `hay` from `from`, or npos.
size_t Find(const std::u32string& hay, const std::u32string& needle, size_t from, bool text) {
  if (!text) return hay.find(needle, from);
  std::u32string h = hay, n = needle;
  for (auto& c : h) c = Lower(c);
  for (auto& c : n) c = Lower(c);
  return h.find(n, from);
}

void InStr(sqlite3_context* ctx, int argc, sqlite3_value** a) {
  int i = 0;
  std::int64_t start = 1;
  if (argc >= 3) {
    start = CountArg(a[0], "InStr");
    if (start < 1) InvalidCall("InStr");
    i = 1;
  }
  bool text_compare = true;
  if (argc == 4) {
    auto c = ArgNumber(a[3]);
    text_compare = !c || *c != 0;
  }
  auto s1 = ArgText(a[i]), s2 = ArgText(a[i + 1]);
  if (!s1 || !s2) return sqlite3_result_null(ctx);
  const std::u32string h = Decode(*s1), n = Decode(*s2);
  if (static_cast<size_t>(start) > h.size()) return sqlite3_result_int(ctx, 0);
  if (n.empty()) return sqlite3_result_int64(ctx, start);
  const size_t pos = Find(h, n, static_cast<size_t>(start - 1), text_compare);
  sqlite3_result_int64(ctx, pos == std::u32string::npos ? 0 : static_cast<std::int64_t>(pos + 1));
}

void Case(sqlite3_context* ctx, sqlite3_value* v, bool upper) {
  auto t = ArgText(v);
  if (!t) return sqlite3_result_null(ctx);
  std::u32string u = Decode(*t);
  for (auto& c : u) c = upper ? Upper(c) : Lower(c);
  ResultText(ctx, Encode(u));
}
void UCase(sqlite3_context* ctx, int, sqlite3_value** a) { Case(ctx, a[0], true); }
void LCase(sqlite3_context* ctx, int, sqlite3_value** a) { Case(ctx, a[0], false); }

void TrimSides(sqlite3_context* ctx, sqlite3_value* v, bool left, bool right) {
  auto t = ArgText(v);
  if (!t) return sqlite3_result_null(ctx);
  size_t b = 0, e = t->size();
  if (left)
    while (b < e && (*t)[b] == ' ') ++b;
  if (right)
    while (e > b && (*t)[e - 1] == ' ') --e;
  ResultText(ctx, t->substr(b, e - b));
}
void Trim(sqlite3_context* ctx, int, sqlite3_value** a) { TrimSides(ctx, a[0], true, true); }
void LTrim(sqlite3_context* ctx, int, sqlite3_value** a) { TrimSides(ctx, a[0], true, false); }
void RTrim(sqlite3_context* ctx, int, sqlite3_value** a) { TrimSides(ctx, a[0], false, true); }

constexpr std::int64_t kMaxRepeat = 1 << 26;

void Space(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNull(a[0])) return sqlite3_result_null(ctx);
  const std::int64_t n = CountArg(a[0], "Space");
  if (n > kMaxRepeat) throw FnError("Out of string space");
  ResultText(ctx, std::string(static_cast<size_t>(n), ' '));
}

void StringFn(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNull(a[0]) || IsNull(a[1])) return sqlite3_result_null(ctx);
  const std::int64_t n = CountArg(a[0], "String");
  if (n > kMaxRepeat) throw FnError("Out of string space");
  char32_t ch;
  if (sqlite3_value_type(a[1]) == SQLITE_TEXT) {
    const std::u32string u = Decode(*ArgText(a[1]));
    if (u.empty()) InvalidCall("String");
    ch = u[0];
  } else {
    const double code = *ArgNumber(a[1]);
    ch = static_cast<char32_t>(static_cast<std::int64_t>(code) % 256);
  }
  ResultText(ctx, Encode(std::u32string(static_cast<size_t>(n), ch)));
}

void Replace(sqlite3_context* ctx, int argc, sqlite3_value** a) {
  auto s = ArgText(a[0]);
  auto find = ArgText(a[1]);
  auto repl = ArgText(a[2]);
  if (!s) return sqlite3_result_null(ctx);
  if (!find || !repl) throw FnError("Invalid use of Null in Replace");
  std::int64_t start = 1, count = -1;
  if (argc > 3) start = CountArg(a[3], "Replace");
  if (start < 1) InvalidCall("Replace");
  if (argc > 4) {
    auto c = ArgNumber(a[4]);
    if (!c || *c < -1) InvalidCall("Replace");
    count = static_cast<std::int64_t>(*c);
  }
  bool text_compare = true;
  if (argc > 5) {
    auto c = ArgNumber(a[5]);
    text_compare = !c || *c != 0;
  }
  const std::u32string u = Decode(*s);
  if (static_cast<size_t>(start) > u.size()) return ResultText(ctx, "");
  const std::u32string h = u.substr(static_cast<size_t>(start - 1));
  const std::u32string f = Decode(*find), r = Decode(*repl);
  if (f.empty() || count == 0) return ResultText(ctx, Encode(h));
  std::u32string out;
  size_t pos = 0;
  std::int64_t done = 0;
  for (;;) {
    if (count >= 0 && done >= count) break;
    const size_t hit = Find(h, f, pos, text_compare);
    if (hit == std::u32string::npos) break;
    out.append(h, pos, hit - pos);
    out += r;
    pos = hit + f.size();
    ++done;
  }
  out.append(h, pos, std::u32string::npos);
  ResultText(ctx, Encode(out));
}

void Asc(sqlite3_context* ctx, int, sqlite3_value** a) {
  auto t = ArgText(a[0]);
  if (!t) return sqlite3_result_null(ctx);
  const std::u32string u = Decode(*t);
  if (u.empty()) InvalidCall("Asc");
  sqlite3_result_int64(ctx, static_cast<std::int64_t>(u[0]));
}

void Chr(sqlite3_context* ctx, int, sqlite3_value** a) {
  auto x = ArgNumber(a[0]);
  if (!x) return sqlite3_result_null(ctx);
  const std::int64_t c = RoundToLong(*x, -32768, 65535);
  if (c < 0 || c > 65535) InvalidCall("Chr");
  ResultText(ctx, Encode(std::u32string(1, static_cast<char32_t>(c))));
}

void Val(sqlite3_context* ctx, int, sqlite3_value** a) {
  auto t = ArgText(a[0]);
  if (!t) throw FnError("Invalid use of Null in Val");
  std::string s;
  for (char c : *t) {
    if (c != ' ' && c != '\t' && c != '\n' && c != '\r') s.push_back(c);
  }
  if (s.size() > 2 && s[0] == '&' && (s[1] == 'H' || s[1] == 'h')) {
    long long v = 0;
    for (size_t i = 2; i < s.size() && std::isxdigit(static_cast<unsigned char>(s[i])); ++i)
      v = v * 16 + (std::isdigit(static_cast<unsigned char>(s[i]))
                        ? s[i] - '0'
                        : (std::tolower(s[i]) - 'a' + 10));
    return sqlite3_result_double(ctx, static_cast<double>(v));
  }
  size_t i = 0;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) ++i;
  while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
  }
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
    size_t j = i + 1;
    if (j < s.size() && (s[j] == '-' || s[j] == '+')) ++j;
    if (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) {
      s[i] = 'e';
      i = j;
      while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
    }
  }
  const std::string num = s.substr(0, i);
  const double v = std::strtod(num.c_str(), nullptr);
  sqlite3_result_double(ctx, std::isfinite(v) ? v : 0.0);
}

void CSng(sqlite3_context* ctx, int, sqlite3_value** a) {
  auto x = ArgNumber(a[0]);
  if (!x) return sqlite3_result_null(ctx);
  if (std::fabs(*x) > std::numeric_limits<float>::max()) throw FnError("Overflow");
  sqlite3_result_double(ctx, static_cast<double>(static_cast<float>(*x)));
}

void Str(sqlite3_context* ctx, int, sqlite3_value** a) {
  auto x = ArgNumber(a[0]);
  if (!x) return sqlite3_result_null(ctx);
  const std::string t = NumberText(*x);
  ResultText(ctx, *x < 0 ? t : " " + t);
}

void Hex(sqlite3_context* ctx, int, sqlite3_value** a) {
  auto x = ArgNumber(a[0]);
  if (!x) return sqlite3_result_null(ctx);
  const std::int64_t v = RoundToLong(*x, -2147483648.0, 2147483647.0);
  char b[32];
  // Negative values print as the two's complement of an Integer when they
  // fit one, else of a Long, as Hex of a literal does.
  unsigned long long bits = static_cast<unsigned long long>(v);
  if (v < 0) bits = v >= -32768 ? static_cast<std::uint16_t>(v) : static_cast<std::uint32_t>(v);
  std::snprintf(b, sizeof b, "%llX", bits);
  ResultText(ctx, b);
}

void InStrRev(sqlite3_context* ctx, int argc, sqlite3_value** a) {
  auto s1 = ArgText(a[0]), s2 = ArgText(a[1]);
  std::int64_t start = -1;
  if (argc > 2) {
    auto st = ArgNumber(a[2]);
    if (!st || (*st < 1 && *st != -1)) InvalidCall("InStrRev");
    start = static_cast<std::int64_t>(*st);
  }
  bool text_compare = true;
  if (argc > 3) {
    auto c = ArgNumber(a[3]);
    text_compare = !c || *c != 0;
  }
  if (!s1 || !s2) return sqlite3_result_null(ctx);
  std::u32string h = Decode(*s1), n = Decode(*s2);
  if (text_compare) {
    for (auto& c : h) c = Lower(c);
    for (auto& c : n) c = Lower(c);
  }
  const size_t limit = start < 0 ? h.size() : static_cast<size_t>(start);
  if (limit > h.size()) return sqlite3_result_int(ctx, 0);
  if (n.empty()) return sqlite3_result_int64(ctx, static_cast<std::int64_t>(limit));
  if (n.size() > limit) return sqlite3_result_int(ctx, 0);
  const size_t pos = h.rfind(n, limit - n.size());
  sqlite3_result_int64(ctx, pos == std::u32string::npos ? 0 : static_cast<std::int64_t>(pos + 1));
}

void StrComp(sqlite3_context* ctx, int argc, sqlite3_value** a) {
  auto x = ArgText(a[0]), y = ArgText(a[1]);
  if (!x || !y) return sqlite3_result_null(ctx);
  bool text_compare = true;
  if (argc > 2) {
    auto c = ArgNumber(a[2]);
    text_compare = !c || *c != 0;
  }
  int r;
  if (text_compare) {
    r = CompareText(*x, *y);
  } else {
    const int c = Decode(*x).compare(Decode(*y));
    r = c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  sqlite3_result_int(ctx, r);
}

void MonthName(sqlite3_context* ctx, int argc, sqlite3_value** a) {
  auto m = ArgNumber(a[0]);
  if (!m) return sqlite3_result_null(ctx);
  const auto month = static_cast<int>(BankersRound(*m, 0));
  if (month < 1 || month > 12) InvalidCall("MonthName");
  const bool abbreviate = argc > 1 && ArgNumber(a[1]).value_or(0) != 0;
  const std::string name = kMonths[static_cast<size_t>(month - 1)];
  ResultText(ctx, abbreviate ? name.substr(0, 3) : name);
}

void WeekdayName(sqlite3_context* ctx, int argc, sqlite3_value** a) {
  auto w = ArgNumber(a[0]);
  if (!w) return sqlite3_result_null(ctx);
  const auto day = static_cast<int>(BankersRound(*w, 0));
  if (day < 1 || day > 7) InvalidCall("WeekdayName");
  const bool abbreviate = argc > 1 && ArgNumber(a[1]).value_or(0) != 0;
  int first = 1;
  if (argc > 2) {
    if (auto f = ArgNumber(a[2])) first = *f == 0 ? 1 : static_cast<int>(*f);
  }
  if (first < 1 || first > 7) InvalidCall("WeekdayName");
  const std::string name = kDays[static_cast<size_t>((day - 1 + first - 1) % 7)];
  ResultText(ctx, abbreviate ? name.substr(0, 3) : name);
}

void TimeValue(sqlite3_context* ctx, int, sqlite3_value** a) {
  auto d = ArgDate(a[0]);
  if (!d) return sqlite3_result_null(ctx);
  const dates::Parts p = PartsOf(*d);
  sqlite3_result_double(ctx, (p.hour * 3600.0 + p.minute * 60.0 + p.second) / 86400.0);
}

void IsNumeric(sqlite3_context* ctx, int, sqlite3_value** a) {
  switch (sqlite3_value_type(a[0])) {
    case SQLITE_INTEGER:
    case SQLITE_FLOAT:
      return sqlite3_result_int(ctx, -1);
    case SQLITE_TEXT:
      return sqlite3_result_int(ctx, ParseNumberText(*ArgText(a[0])) ? -1 : 0);
    default:
      return sqlite3_result_int(ctx, 0);
  }
}

void DateFn(sqlite3_context* ctx, int, sqlite3_value**) {
  sqlite3_result_double(ctx, NowSerial(true, false));
}
void NowFn(sqlite3_context* ctx, int, sqlite3_value**) {
  sqlite3_result_double(ctx, NowSerial(true, true));
}
void TimeFn(sqlite3_context* ctx, int, sqlite3_value**) {
  sqlite3_result_double(ctx, NowSerial(false, true));
}

template <int Which>
void DatePartFn(sqlite3_context* ctx, int, sqlite3_value** a) {
  auto d = ArgDate(a[0]);
  if (!d) return sqlite3_result_null(ctx);
  const dates::Parts p = PartsOf(*d);
  const int v[] = {p.year, p.month, p.day, p.hour, p.minute, p.second};
  sqlite3_result_int(ctx, v[Which]);
}

void Weekday(sqlite3_context* ctx, int argc, sqlite3_value** a) {
  auto d = ArgDate(a[0]);
  if (!d) return sqlite3_result_null(ctx);
  int first = 1;
  if (argc > 1) {
    if (auto f = ArgNumber(a[1])) first = *f == 0 ? 1 : static_cast<int>(*f);
  }
  PartsOf(*d);
  sqlite3_result_int(ctx, WeekdayOf(*d, first));
}

std::string Interval(sqlite3_value* v, const char* fn) {
  auto t = ArgText(v);
  if (!t) InvalidCall(fn);
  std::string s = LowerAscii(*t);
  static const char* ok[] = {"yyyy", "q", "m", "y", "d", "w", "ww", "h", "n", "s"};
  for (const char* o : ok) {
    if (s == o) return s;
  }
  InvalidCall(fn);
}

void DatePart(sqlite3_context* ctx, int argc, sqlite3_value** a) {
  const std::string iv = Interval(a[0], "DatePart");
  auto d = ArgDate(a[1]);
  if (!d) return sqlite3_result_null(ctx);
  int first = 1;
  if (argc > 2) {
    if (auto f = ArgNumber(a[2])) first = *f == 0 ? 1 : static_cast<int>(*f);
  }
  const dates::Parts p = PartsOf(*d);
  int r = 0;
  if (iv == "yyyy")
    r = p.year;
  else if (iv == "q")
    r = (p.month - 1) / 3 + 1;
  else if (iv == "m")
    r = p.month;
  else if (iv == "y")
    r = DayOfYear(p);
  else if (iv == "d")
    r = p.day;
  else if (iv == "w")
    r = WeekdayOf(*d, first);
  else if (iv == "ww")
    r = WeekOfYear(*d, first);
  else if (iv == "h")
    r = p.hour;
  else if (iv == "n")
    r = p.minute;
  else
    r = p.second;
  sqlite3_result_int(ctx, r);
}

void DateAdd(sqlite3_context* ctx, int, sqlite3_value** a) {
  const std::string iv = Interval(a[0], "DateAdd");
  auto n = ArgNumber(a[1]);
  auto d = ArgDate(a[2]);
  if (!n || !d) return sqlite3_result_null(ctx);
  PartsOf(*d);
  const auto k = static_cast<std::int64_t>(std::trunc(*n));
  double r;
  if (iv == "yyyy")
    r = AddMonths(*d, k * 12);
  else if (iv == "q")
    r = AddMonths(*d, k * 3);
  else if (iv == "m")
    r = AddMonths(*d, k);
  else if (iv == "y" || iv == "d" || iv == "w")
    r = dates::FromLinear(dates::Linear(*d) + static_cast<double>(k));
  else if (iv == "ww")
    r = dates::FromLinear(dates::Linear(*d) + 7.0 * static_cast<double>(k));
  else {
    const double secs = iv == "h" ? 3600.0 : (iv == "n" ? 60.0 : 1.0);
    const double lin = dates::Linear(*d) * 86400.0 + static_cast<double>(k) * secs;
    r = dates::FromLinear(std::round(lin) / 86400.0);
  }
  ResultDate(ctx, r);
}

void DateDiff(sqlite3_context* ctx, int argc, sqlite3_value** a) {
  const std::string iv = Interval(a[0], "DateDiff");
  auto d1 = ArgDate(a[1]);
  auto d2 = ArgDate(a[2]);
  if (!d1 || !d2) return sqlite3_result_null(ctx);
  int first = 1;
  if (argc > 3) {
    if (auto f = ArgNumber(a[3])) first = *f == 0 ? 1 : static_cast<int>(*f);
  }
  const dates::Parts p1 = PartsOf(*d1), p2 = PartsOf(*d2);
  std::int64_t r = 0;
  const double l1 = dates::Linear(*d1), l2 = dates::Linear(*d2);
  auto floor_units = [](double lin, double per_day) {
    return static_cast<std::int64_t>(std::floor(lin * per_day + 1e-7));
  };
  if (iv == "yyyy")
    r = p2.year - p1.year;
  else if (iv == "q")
    r = (p2.year * 4 + (p2.month - 1) / 3) - (p1.year * 4 + (p1.month - 1) / 3);
  else if (iv == "m")
    r = (p2.year * 12 + p2.month) - (p1.year * 12 + p1.month);
  else if (iv == "y" || iv == "d")
    r = DayNumber(*d2) - DayNumber(*d1);
  else if (iv == "w")
    r = (DayNumber(*d2) - DayNumber(*d1)) / 7;
  else if (iv == "ww") {
    // Count of week starts (the first day of the week) crossed.
    auto week = [&](double s) {
      const std::int64_t day = DayNumber(s);
      const std::int64_t offset = WeekdayOf(s, first) - 1;
      const std::int64_t start = day - offset;
      return start >= 0 ? start / 7 : -((-start + 6) / 7);
    };
    r = week(*d2) - week(*d1);
  } else if (iv == "h")
    r = floor_units(l2, 24) - floor_units(l1, 24);
  else if (iv == "n")
    r = floor_units(l2, 1440) - floor_units(l1, 1440);
  else
    r = floor_units(l2, 86400) - floor_units(l1, 86400);
  sqlite3_result_int64(ctx, r);
}

void DateSerial(sqlite3_context* ctx, int, sqlite3_value** a) {
  auto y = ArgNumber(a[0]), m = ArgNumber(a[1]), d = ArgNumber(a[2]);
  if (!y || !m || !d) return sqlite3_result_null(ctx);
  const double lim = 1e7;
  std::int64_t yy = RoundToLong(*y, -lim, lim);
  if (yy >= 0 && yy <= 29)
    yy += 2000;
  else if (yy >= 30 && yy <= 99)
    yy += 1900;
  const std::int64_t days =
      dates::DaysFromCivil(yy, RoundToLong(*m, -lim, lim), RoundToLong(*d, -lim, lim));
  ResultDate(ctx, dates::Serial(days, 0));
}

void TimeSerial(sqlite3_context* ctx, int, sqlite3_value** a) {
  auto h = ArgNumber(a[0]), m = ArgNumber(a[1]), s = ArgNumber(a[2]);
  if (!h || !m || !s) return sqlite3_result_null(ctx);
  const double lim = 1e9;
  const double secs = static_cast<double>(RoundToLong(*h, -lim, lim)) * 3600.0 +
                      static_cast<double>(RoundToLong(*m, -lim, lim)) * 60.0 +
                      static_cast<double>(RoundToLong(*s, -lim, lim));
  ResultDate(ctx, dates::Serial(0, secs));
}

void Format(sqlite3_context* ctx, int argc, sqlite3_value** a) {
  if (IsNull(a[0])) return sqlite3_result_null(ctx);
  std::string pattern;
  if (argc > 1) pattern = ArgText(a[1]).value_or("");
  // acc_format(value, pattern, is_date): the engine passes whether the value is a date.
  const bool is_date = argc > 2 && sqlite3_value_int(a[2]) != 0;
  if (pattern.empty()) {
    if (is_date) return ResultText(ctx, DateText(*ArgDate(a[0])));
    return ResultText(ctx, *ArgText(a[0]));
  }
  if (IsDatePattern(pattern)) {
    std::optional<double> d;
    if (sqlite3_value_type(a[0]) == SQLITE_TEXT) {
      const std::string t = *ArgText(a[0]);
      d = sql::ParseDateLiteral(t);
      if (!d) d = ParseNumberText(t);
      if (!d) return ResultText(ctx, t);
    } else {
      d = ArgNumber(a[0]);
    }
    return ResultText(ctx, FormatDate(*d, pattern));
  }
  if (sqlite3_value_type(a[0]) == SQLITE_TEXT) {
    const std::string t = *ArgText(a[0]);
    auto n = ParseNumberText(t);
    if (!n) return ResultText(ctx, t);
    return ResultText(ctx, FormatNumber(*n, pattern));
  }
  ResultText(ctx, FormatNumber(*ArgNumber(a[0]), pattern));
}

// ---- aggregates ----

struct FirstLast {
  sqlite3_value* value = nullptr;
  bool seen = false;
};

template <bool kLast>
void FirstLastStep(sqlite3_context* ctx, int, sqlite3_value** a) {
  auto* st = static_cast<FirstLast*>(sqlite3_aggregate_context(ctx, sizeof(FirstLast)));
  if (!st) return sqlite3_result_error_nomem(ctx);
  if (st->seen && !kLast) return;
  sqlite3_value_free(st->value);
  st->value = sqlite3_value_dup(a[0]);
  st->seen = true;
}

void FirstLastFinal(sqlite3_context* ctx) {
  auto* st = static_cast<FirstLast*>(sqlite3_aggregate_context(ctx, 0));
  if (!st || !st->value) return sqlite3_result_null(ctx);
  sqlite3_result_value(ctx, st->value);
  sqlite3_value_free(st->value);
  st->value = nullptr;
}

struct Moments {
  std::int64_t n = 0;
  double mean = 0, m2 = 0;
};

void MomentsStep(sqlite3_context* ctx, int, sqlite3_value** a) {
  auto* st = static_cast<Moments*>(sqlite3_aggregate_context(ctx, sizeof(Moments)));
  if (!st) return sqlite3_result_error_nomem(ctx);
  if (IsNull(a[0])) return;
  std::optional<double> x;
  try {
    x = ArgNumber(a[0]);
  } catch (const std::exception& e) {
    return sqlite3_result_error(ctx, e.what(), -1);
  }
  ++st->n;
  const double d = *x - st->mean;
  st->mean += d / static_cast<double>(st->n);
  st->m2 += d * (*x - st->mean);
}

template <bool kSample, bool kRoot>
void MomentsFinal(sqlite3_context* ctx) {
  auto* st = static_cast<Moments*>(sqlite3_aggregate_context(ctx, 0));
  const std::int64_t need = kSample ? 2 : 1;
  if (!st || st->n < need) return sqlite3_result_null(ctx);
  double var = st->m2 / static_cast<double>(kSample ? st->n - 1 : st->n);
  if (var < 0) var = 0;
  sqlite3_result_double(ctx, kRoot ? std::sqrt(var) : var);
}

int Collate(void*, int la, const void* a, int lb, const void* b) {
  return CompareText(std::string(static_cast<const char*>(a), static_cast<size_t>(la)),
                     std::string(static_cast<const char*>(b), static_cast<size_t>(lb)));
}

struct ScalarDef {
  const char* name;
  int args;  // -1 for variable
  Fn fn;
  bool deterministic;
};

// ---- numeric formatting ----

struct NumberSection {
  std::string pattern;
};

std::vector<std::string> SplitSections(const std::string& p) {
  std::vector<std::string> out(1);
  bool quoted = false;
  for (size_t i = 0; i < p.size(); ++i) {
    const char c = p[i];
    if (c == '"') quoted = !quoted;
    if (c == '\\' && i + 1 < p.size()) {
      out.back() += c;
      out.back() += p[++i];
      continue;
    }
    if (c == ';' && !quoted) {
      out.emplace_back();
      continue;
    }
    out.back() += c;
  }
  return out;
}

std::string GroupThousands(const std::string& digits) {
  std::string out;
  const size_t n = digits.size();
  for (size_t i = 0; i < n; ++i) {
    if (i && (n - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

// Formats a non-negative value with one pattern section.
std::string FormatSection(double v, const std::string& p) {
  int int_zeros = 0, dec_zeros = 0, decimals = 0;
  bool seen_point = false, thousands = false, percent = false, sci = false;
  int exp_digits = 0;
  bool exp_plus = false;
  for (size_t i = 0; i < p.size(); ++i) {
    const char c = p[i];
    if (c == '"') {
      const size_t e = p.find('"', i + 1);
      i = e == std::string::npos ? p.size() : e;
      continue;
    }
    if (c == '\\') {
      ++i;
      continue;
    }
    if ((c == 'E' || c == 'e') && i + 1 < p.size() && (p[i + 1] == '+' || p[i + 1] == '-')) {
      sci = true;
      exp_plus = p[i + 1] == '+';
      i += 2;
      while (i < p.size() && (p[i] == '0' || p[i] == '#')) {
        ++exp_digits;
        ++i;
      }
      --i;
      continue;
    }
    if (c == '0' || c == '#') {
      if (seen_point) {
        ++decimals;
        if (c == '0') dec_zeros = decimals;
      } else if (c == '0') {
        ++int_zeros;
      }
    } else if (c == '.') {
      seen_point = true;
    } else if (c == ',' && !seen_point) {
      thousands = true;
    } else if (c == '%') {
      percent = true;
    }
  }
  if (percent) v *= 100;
  int exponent = 0;
  if (sci && v != 0) {
    exponent = static_cast<int>(std::floor(std::log10(v)));
    v /= std::pow(10.0, exponent);
  }
  // Round half away from zero at `decimals`, as Format does.
  const double scale = std::pow(10.0, decimals);
  double scaled = std::floor(v * scale + 0.5 + 1e-9 * std::max(1.0, v * scale));
  if (sci && scaled >= 10.0 * scale) {
    scaled /= 10;
    ++exponent;
  }
  char buf[400];
  std::snprintf(buf, sizeof buf, "%.0f", scaled);
  std::string digits = buf;
  if (static_cast<int>(digits.size()) <= decimals)
    digits.insert(0, static_cast<size_t>(decimals + 1 - static_cast<int>(digits.size())), '0');
  std::string int_part = digits.substr(0, digits.size() - static_cast<size_t>(decimals));
  std::string frac = digits.substr(digits.size() - static_cast<size_t>(decimals));
  while (static_cast<int>(frac.size()) > dec_zeros && !frac.empty() && frac.back() == '0')
    frac.pop_back();
  if (int_part == "0" && int_zeros == 0) int_part.clear();
  while (static_cast<int>(int_part.size()) < int_zeros) int_part.insert(0, "0");
  if (thousands) int_part = GroupThousands(int_part);
  std::string exp_text;
  if (sci) {
    char eb[32];
    std::snprintf(eb, sizeof eb, "%0*d", std::clamp(exp_digits, 1, 5), std::abs(exponent) % 100000);
    exp_text = std::string(exponent < 0 ? "-" : (exp_plus ? "+" : "")) + eb;
  }

  std::string out;
  bool int_done = false, point_done = false;
  for (size_t i = 0; i < p.size(); ++i) {
    const char c = p[i];
    if (c == '"') {
      const size_t e = p.find('"', i + 1);
      out += p.substr(i + 1, (e == std::string::npos ? p.size() : e) - i - 1);
      i = e == std::string::npos ? p.size() : e;
    } else if (c == '\\') {
      if (i + 1 < p.size()) out += p[++i];
    } else if (sci && (c == 'E' || c == 'e') && i + 1 < p.size() &&
               (p[i + 1] == '+' || p[i + 1] == '-')) {
      if (!int_done) {
        out += int_part;
        int_done = true;
      }
      out += c;
      out += exp_text;
      i += 2;
      while (i < p.size() && (p[i] == '0' || p[i] == '#')) ++i;
      --i;
    } else if (c == '0' || c == '#' || (c == ',' && !point_done)) {
      if (!point_done && !int_done && c != ',') {
        out += int_part;
        int_done = true;
      }
    } else if (c == '.') {
      if (!int_done) {
        out += int_part;
        int_done = true;
      }
      if (!point_done) {
        out += '.';
        out += frac;
        point_done = true;
      }
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

std::string NumberText(double value) {
  if (value == 0) return "0";
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
  if (std::fabs(value) < 1e15 && std::floor(value) == value) {
    char b[32];
    std::snprintf(b, sizeof b, "%.0f", value);
    return b;
  }
  char b[64];
  std::snprintf(b, sizeof b, "%.15G", value);
  std::string s = b;
  // glibc prints exponents with at least two digits, as VBA does ("1E-05").
  return s;
}

std::string DateText(double serial) {
  auto p = dates::FromSerial(serial);
  if (!p) return NumberText(serial);
  std::string out;
  const double lin = dates::Linear(serial);
  const bool has_time = p->hour || p->minute || p->second;
  const bool time_only = lin >= 0 && lin < 1;
  if (!time_only) {
    out = std::to_string(p->month) + "/" + std::to_string(p->day) + "/" + std::to_string(p->year);
  }
  if (has_time || time_only) {
    if (!out.empty()) out += " ";
    const int h12 = p->hour % 12 == 0 ? 12 : p->hour % 12;
    out += std::to_string(h12) + ":" + Pad2(p->minute) + ":" + Pad2(p->second) +
           (p->hour < 12 ? " AM" : " PM");
  }
  return out;
}

bool LikeMatch(const std::string& text, const std::string& pattern) {
  struct Elem {
    enum Kind { kLiteral, kAny, kDigit, kStar, kSet };
    explicit Elem(Kind k, char32_t c = 0) : kind(k), ch(c) {}
    Kind kind;
    char32_t ch = 0;
    std::vector<std::pair<char32_t, char32_t>> ranges;
    bool negated = false;
  };
  const std::u32string p = Folded(pattern);
  std::vector<Elem> elems;
  for (size_t i = 0; i < p.size(); ++i) {
    const char32_t c = p[i];
    if (c == '*') {
      if (elems.empty() || elems.back().kind != Elem::kStar) elems.emplace_back(Elem::kStar);
    } else if (c == '?') {
      elems.emplace_back(Elem::kAny);
    } else if (c == '#') {
      elems.emplace_back(Elem::kDigit);
    } else if (c == '[') {
      const size_t close = p.find(U']', i + 1);
      if (close == std::u32string::npos) throw std::invalid_argument("unclosed '[' in pattern");
      Elem e(Elem::kSet);
      size_t j = i + 1;
      if (j < close && p[j] == '!') {
        e.negated = true;
        ++j;
      }
      for (; j < close; ++j) {
        if (j + 2 < close && p[j + 1] == '-') {
          e.ranges.emplace_back(std::min(p[j], p[j + 2]), std::max(p[j], p[j + 2]));
          j += 2;
        } else {
          e.ranges.emplace_back(p[j], p[j]);
        }
      }
      i = close;
      if (e.ranges.empty() && !e.negated) continue;  // "[]" matches the empty string
      elems.push_back(std::move(e));
    } else {
      elems.emplace_back(Elem::kLiteral, c);
    }
  }
  const std::u32string t = Folded(text);
  auto matches = [&](const Elem& e, char32_t c) {
    switch (e.kind) {
      case Elem::kLiteral:
        return e.ch == c;
      case Elem::kAny:
        return true;
      case Elem::kDigit:
        return c >= '0' && c <= '9';
      case Elem::kSet: {
        bool in = false;
        for (const auto& [lo, hi] : e.ranges) {
          if (c >= lo && c <= hi) in = true;
        }
        return in != e.negated;
      }
      case Elem::kStar:
        return false;
    }
    return false;
  };
  size_t ti = 0, pi = 0, star_p = std::string::npos, star_t = 0;
  while (ti < t.size()) {
    if (pi < elems.size() && elems[pi].kind == Elem::kStar) {
      star_p = pi++;
      star_t = ti;
    } else if (pi < elems.size() && matches(elems[pi], t[ti])) {
      ++pi;
      ++ti;
    } else if (star_p != std::string::npos) {
      pi = star_p + 1;
      ti = ++star_t;
    } else {
      return false;
    }
  }
  while (pi < elems.size() && elems[pi].kind == Elem::kStar) ++pi;
  return pi == elems.size();
}

int CompareText(const std::string& a, const std::string& b) {
  const std::u32string x = Folded(a), y = Folded(b);
  if (x == y) return 0;
  // Sorted first by letters without their accents, ignoring hyphens and
  // apostrophes, as Access's general sort order does; then by the full text.
  const std::u32string px = SortKey(x), py = SortKey(y);
  int c = px.compare(py);
  if (c == 0) c = x.compare(y);
  return c < 0 ? -1 : 1;
}

double BankersRound(double value, int digits) {
  if (!std::isfinite(value)) return value;
  const double scale = std::pow(10.0, digits);
  const double x = value * scale;
  if (std::fabs(x) > 1e17) return value;
  const double fl = std::floor(x);
  const double diff = x - fl;
  const double eps = 1e-9 * std::max(1.0, std::fabs(x)) * 1e-3;
  double r;
  if (std::fabs(diff - 0.5) <= eps) {
    r = std::fmod(fl, 2.0) == 0 ? fl : fl + 1;
  } else {
    r = diff < 0.5 ? fl : fl + 1;
  }
  return r / scale;
}

bool IsDatePattern(const std::string& pattern) {
  const std::string l = LowerAscii(pattern);
  static const char* named[] = {"general date", "long date",   "medium date", "short date",
                                "long time",    "medium time", "short time"};
  for (const char* n : named) {
    if (l == n) return true;
  }
  static const char* numbers[] = {"general number", "currency", "fixed",      "standard", "percent",
                                  "scientific",     "yes/no",   "true/false", "on/off"};
  for (const char* n : numbers) {
    if (l == n) return false;
  }
  bool letters = false;
  for (size_t i = 0; i < l.size(); ++i) {
    const char c = l[i];
    if (c == '"') {
      const size_t e = l.find('"', i + 1);
      if (e == std::string::npos) break;
      i = e;
      continue;
    }
    if (c == '\\') {
      ++i;
      continue;
    }
    if (c == '0' || c == '#') return false;
    if (std::strchr("ymdhnsqwc", c)) letters = true;
  }
  return letters;
}

std::string FormatNumber(double value, const std::string& pattern) {
  const std::string l = LowerAscii(pattern);
  if (l == "general number") return NumberText(value);
  if (l == "yes/no") return value != 0 ? "Yes" : "No";
  if (l == "true/false") return value != 0 ? "True" : "False";
  if (l == "on/off") return value != 0 ? "On" : "Off";
  std::string p = pattern;
  if (l == "currency")
    p = "$#,##0.00;($#,##0.00)";
  else if (l == "fixed")
    p = "0.00";
  else if (l == "standard")
    p = "#,##0.00";
  else if (l == "percent")
    p = "0.00%";
  else if (l == "scientific")
    p = "0.00E+00";
  const std::vector<std::string> sections = SplitSections(p);
  if (value < 0 && sections.size() > 1 && !sections[1].empty())
    return FormatSection(-value, sections[1]);
  if (value == 0 && sections.size() > 2 && !sections[2].empty())
    return FormatSection(0, sections[2]);
  std::string s = FormatSection(std::fabs(value), sections[0]);
  if (value < 0) {
    // No minus for a value that rounds to zero.
    if (s.find_first_of("123456789") != std::string::npos) s.insert(0, "-");
  }
  return s;
}

std::string FormatDate(double serial, const std::string& pattern) {
  const std::string l = LowerAscii(pattern);
  if (l == "general date") return DateText(serial);
  std::string p = pattern;
  if (l == "long date")
    p = "dddd, mmmm d, yyyy";
  else if (l == "medium date")
    p = "dd-mmm-yy";
  else if (l == "short date")
    p = "m/d/yyyy";
  else if (l == "long time")
    p = "h:nn:ss AM/PM";
  else if (l == "medium time")
    p = "hh:nn AM/PM";
  else if (l == "short time")
    p = "hh:nn";
  const dates::Parts d = PartsOf(serial);
  const std::string lp = LowerAscii(p);
  const bool twelve = lp.find("am/pm") != std::string::npos ||
                      lp.find("a/p") != std::string::npos || lp.find("ampm") != std::string::npos;
  std::string out;
  bool after_hour = false;
  auto run = [&](size_t i, char c) {
    size_t n = 0;
    while (i + n < lp.size() && lp[i + n] == c) ++n;
    return n;
  };
  for (size_t i = 0; i < p.size();) {
    const char c = lp[i];
    if (c == '"') {
      const size_t e = p.find('"', i + 1);
      out += p.substr(i + 1, (e == std::string::npos ? p.size() : e) - i - 1);
      i = e == std::string::npos ? p.size() : e + 1;
      continue;
    }
    if (c == '\\') {
      if (i + 1 < p.size()) out += p[i + 1];
      i += 2;
      continue;
    }
    if (lp.compare(i, 5, "am/pm") == 0) {
      const std::string v = d.hour < 12 ? "AM" : "PM";
      out += p[i] == 'a' || p[i] == 'A'
                 ? (std::islower(static_cast<unsigned char>(p[i])) ? LowerAscii(v) : v)
                 : v;
      i += 5;
      continue;
    }
    if (lp.compare(i, 3, "a/p") == 0) {
      const std::string v = d.hour < 12 ? "A" : "P";
      out += std::islower(static_cast<unsigned char>(p[i])) ? LowerAscii(v) : v;
      i += 3;
      continue;
    }
    if (lp.compare(i, 4, "ampm") == 0) {
      out += d.hour < 12 ? "AM" : "PM";
      i += 4;
      continue;
    }
    const size_t n = run(i, c);
    switch (c) {
      case 'y':
        if (n >= 4)
          out += std::to_string(d.year);
        else if (n >= 2)
          out += Pad2(d.year % 100);
        else
          out += std::to_string(DayOfYear(d));
        i += n >= 4 ? 4 : (n >= 2 ? 2 : 1);
        after_hour = false;
        continue;
      case 'q':
        out += std::to_string((d.month - 1) / 3 + 1);
        i += 1;
        continue;
      case 'm': {
        // m right after an hour, or right before seconds, means minutes.
        size_t k = i + n;
        while (k < lp.size() && !std::isalpha(static_cast<unsigned char>(lp[k]))) ++k;
        const bool minutes = n <= 2 && (after_hour || (k < lp.size() && lp[k] == 's'));
        if (minutes)
          out += n == 2 ? Pad2(d.minute) : std::to_string(d.minute);
        else if (n >= 4)
          out += kMonths[static_cast<size_t>(d.month - 1)];
        else if (n == 3)
          out += std::string(kMonths[static_cast<size_t>(d.month - 1)]).substr(0, 3);
        else
          out += n == 2 ? Pad2(d.month) : std::to_string(d.month);
        i += std::min<size_t>(n, 4);
        after_hour = false;
        continue;
      }
      case 'd': {
        const int wd = WeekdayOf(serial, 1);
        if (n >= 6)
          out += FormatDate(serial, "long date");
        else if (n == 5)
          out += FormatDate(serial, "short date");
        else if (n == 4)
          out += kDays[static_cast<size_t>(wd - 1)];
        else if (n == 3)
          out += std::string(kDays[static_cast<size_t>(wd - 1)]).substr(0, 3);
        else
          out += n == 2 ? Pad2(d.day) : std::to_string(d.day);
        i += std::min<size_t>(n, 6);
        after_hour = false;
        continue;
      }
      case 'w':
        if (n >= 2)
          out += std::to_string(WeekOfYear(serial, 1));
        else
          out += std::to_string(WeekdayOf(serial, 1));
        i += n >= 2 ? 2 : 1;
        continue;
      case 'h': {
        int h = d.hour;
        if (twelve) h = h % 12 == 0 ? 12 : h % 12;
        out += n >= 2 ? Pad2(h) : std::to_string(h);
        i += std::min<size_t>(n, 2);
        after_hour = true;
        continue;
      }
      case 'n':
        out += n >= 2 ? Pad2(d.minute) : std::to_string(d.minute);
        i += std::min<size_t>(n, 2);
        after_hour = false;
        continue;
      case 's':
        out += n >= 2 ? Pad2(d.second) : std::to_string(d.second);
        i += std::min<size_t>(n, 2);
        after_hour = false;
        continue;
      case 'c':
        out += DateText(serial);
        i += 1;
        continue;
      default:
        out += p[i];
        i += 1;
        continue;
    }
  }
  return out;
}

std::optional<std::int64_t> CurrencyFromText(const std::string& text) {
  size_t i = 0, e = text.size();
  while (i < e && text[i] == ' ') ++i;
  while (e > i && text[e - 1] == ' ') --e;
  bool neg = false;
  if (i < e && (text[i] == '-' || text[i] == '+')) neg = text[i++] == '-';
  __int128 v = 0;
  int decimals = 0;
  bool point = false, any = false;
  int next_digit = -1;
  bool rest_nonzero = false;
  for (; i < e; ++i) {
    const char c = text[i];
    if (c == '.' && !point) {
      point = true;
      continue;
    }
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    any = true;
    if (point && decimals >= 4) {
      if (next_digit < 0)
        next_digit = c - '0';
      else if (c != '0')
        rest_nonzero = true;
      continue;
    }
    v = v * 10 + (c - '0');
    if (point) ++decimals;
    if (v > static_cast<__int128>(1) << 100) return std::nullopt;
  }
  if (!any) return std::nullopt;
  for (; decimals < 4; ++decimals) v *= 10;
  if (next_digit > 5 || (next_digit == 5 && (rest_nonzero || v % 2 == 1))) ++v;
  if (neg) v = -v;
  if (v > std::numeric_limits<std::int64_t>::max() || v < std::numeric_limits<std::int64_t>::min())
    return std::nullopt;
  return static_cast<std::int64_t>(v);
}

std::optional<std::int64_t> CurrencyFromAmount(double amount) {
  if (!std::isfinite(amount) || std::fabs(amount) >= 922337203685477.5808) return std::nullopt;
  if (std::fabs(amount) < 1e11) {
    char b[64];
    std::snprintf(b, sizeof b, "%.15g", amount);
    if (auto c = CurrencyFromText(b)) return c;
  }
  const double r = BankersRound(amount * 10000.0, 0);
  if (std::fabs(r) >= 9.2233720368547758e18) return std::nullopt;
  return static_cast<std::int64_t>(r);
}

void Register(sqlite3* db) {
  static const ScalarDef scalars[] = {
      {"acc_concat", 2, Guarded<Concat>, true},
      {"acc_div", 2, Guarded<Div>, true},
      {"acc_intdiv", 2, Guarded<IntDiv>, true},
      {"acc_mod", 2, Guarded<Mod>, true},
      {"acc_pow", 2, Guarded<Pow>, true},
      {"acc_like", 2, Guarded<Like>, true},
      {"acc_tonum", 1, Guarded<ToNum>, true},
      {"acc_datetext", 1, Guarded<DateTextFn>, true},
      {"acc_booltext", 1, Guarded<BoolText>, true},
      {"acc_ccur", 1, Guarded<CCur>, true},
      {"acc_curround", 1, Guarded<CurrencyRound>, true},
      {"acc_cdbl", 1, Guarded<CDbl>, true},
      {"acc_clng", 1, Guarded<CLng>, true},
      {"acc_cint", 1, Guarded<CInt>, true},
      {"acc_cstr", 1, Guarded<CStr>, true},
      {"acc_cdate", 1, Guarded<CDate>, true},
      {"acc_cbool", 1, Guarded<CBool>, true},
      {"acc_int", 1, Guarded<IntFn>, true},
      {"acc_fix", 1, Guarded<FixFn>, true},
      {"acc_round", -1, Guarded<RoundFn>, true},
      {"acc_abs", 1, Guarded<Abs>, true},
      {"acc_sgn", 1, Guarded<Sgn>, true},
      {"acc_sqr", 1, Guarded<Sqr>, true},
      {"acc_len", 1, Guarded<Len>, true},
      {"acc_left", 2, Guarded<Left>, true},
      {"acc_right", 2, Guarded<Right>, true},
      {"acc_mid", -1, Guarded<Mid>, true},
      {"acc_instr", -1, Guarded<InStr>, true},
      {"acc_ucase", 1, Guarded<UCase>, true},
      {"acc_lcase", 1, Guarded<LCase>, true},
      {"acc_trim", 1, Guarded<Trim>, true},
      {"acc_ltrim", 1, Guarded<LTrim>, true},
      {"acc_rtrim", 1, Guarded<RTrim>, true},
      {"acc_space", 1, Guarded<Space>, true},
      {"acc_string", 2, Guarded<StringFn>, true},
      {"acc_replace", -1, Guarded<Replace>, true},
      {"acc_asc", 1, Guarded<Asc>, true},
      {"acc_chr", 1, Guarded<Chr>, true},
      {"acc_val", 1, Guarded<Val>, true},
      {"acc_isnumeric", 1, Guarded<IsNumeric>, true},
      {"acc_csng", 1, Guarded<CSng>, true},
      {"acc_str", 1, Guarded<Str>, true},
      {"acc_hex", 1, Guarded<Hex>, true},
      {"acc_instrrev", -1, Guarded<InStrRev>, true},
      {"acc_strcomp", -1, Guarded<StrComp>, true},
      {"acc_monthname", -1, Guarded<MonthName>, true},
      {"acc_weekdayname", -1, Guarded<WeekdayName>, true},
      {"acc_timevalue", 1, Guarded<TimeValue>, true},
      {"acc_date", 0, Guarded<DateFn>, false},
      {"acc_now", 0, Guarded<NowFn>, false},
      {"acc_time", 0, Guarded<TimeFn>, false},
      {"acc_year", 1, Guarded<DatePartFn<0>>, true},
      {"acc_month", 1, Guarded<DatePartFn<1>>, true},
      {"acc_day", 1, Guarded<DatePartFn<2>>, true},
      {"acc_hour", 1, Guarded<DatePartFn<3>>, true},
      {"acc_minute", 1, Guarded<DatePartFn<4>>, true},
      {"acc_second", 1, Guarded<DatePartFn<5>>, true},
      {"acc_weekday", -1, Guarded<Weekday>, true},
      {"acc_datepart", -1, Guarded<DatePart>, true},
      {"acc_dateadd", 3, Guarded<DateAdd>, true},
      {"acc_datediff", -1, Guarded<DateDiff>, true},
      {"acc_dateserial", 3, Guarded<DateSerial>, true},
      {"acc_timeserial", 3, Guarded<TimeSerial>, true},
      {"acc_format", -1, Guarded<Format>, true},
  };
  for (const auto& s : scalars) {
    const int flags = SQLITE_UTF8 | (s.deterministic ? SQLITE_DETERMINISTIC : 0);
    if (sqlite3_create_function_v2(db, s.name, s.args, flags, nullptr, s.fn, nullptr, nullptr,
                                   nullptr) != SQLITE_OK) {
      throw std::runtime_error(std::string("cannot register ") + s.name);
    }
  }
  struct AggDef {
    const char* name;
    Fn step;
    void (*final)(sqlite3_context*);
  };
  static const AggDef aggs[] = {
      {"acc_first", FirstLastStep<false>, FirstLastFinal},
      {"acc_last", FirstLastStep<true>, FirstLastFinal},
      {"acc_stdev", MomentsStep, MomentsFinal<true, true>},
      {"acc_stdevp", MomentsStep, MomentsFinal<false, true>},
      {"acc_var", MomentsStep, MomentsFinal<true, false>},
      {"acc_varp", MomentsStep, MomentsFinal<false, false>},
  };
  for (const auto& a : aggs) {
    if (sqlite3_create_function_v2(db, a.name, 1, SQLITE_UTF8, nullptr, nullptr, a.step, a.final,
                                   nullptr) != SQLITE_OK) {
      throw std::runtime_error(std::string("cannot register ") + a.name);
    }
  }
  if (sqlite3_create_collation_v2(db, "access_text", SQLITE_UTF8, nullptr, Collate, nullptr) !=
      SQLITE_OK) {
    throw std::runtime_error("cannot register the text collation");
  }
}

}  // namespace kestrin::automation::mdb::fn
