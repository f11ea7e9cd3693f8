// Conversions as Access makes them: arguments to numbers, text and dates,
// CStr/CDbl/CCur/CLng/... and Val, the arithmetic operators SQLite lacks,
// rounding, and the text of numbers and dates.
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
#include "automation/mdb/query/access_function_support.h"
#include "automation/mdb/query/access_functions.h"
#include "automation/mdb/query/access_sql.h"
#include "automation/utf8.h"

namespace kestrin::automation::mdb::fn {

namespace detail {

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
  if (!(r >= lo && r <= hi)) throw FnError(errnum::kOverflow);
  return static_cast<std::int64_t>(r);
}

void ResultText(sqlite3_context* ctx, const std::string& s) {
  sqlite3_result_text64(ctx, s.data(), s.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

void ResultDate(sqlite3_context* ctx, double serial) {
  if (!dates::FromSerial(serial)) throw FnError(errnum::kOverflow, msg::kDateOutOfRange());
  sqlite3_result_double(ctx, serial);
}

void Div(sqlite3_context* ctx, int, sqlite3_value** a) {
  auto x = ArgNumber(a[0]), y = ArgNumber(a[1]);
  if (!x || !y) return sqlite3_result_null(ctx);
  if (*y == 0) throw FnError(errnum::kDivisionByZero);
  sqlite3_result_double(ctx, *x / *y);
}

void IntDiv(sqlite3_context* ctx, int, sqlite3_value** a) {
  auto x = ArgNumber(a[0]), y = ArgNumber(a[1]);
  if (!x || !y) return sqlite3_result_null(ctx);
  const double lim = 9.2e18;
  const std::int64_t p = RoundToLong(*x, -lim, lim), q = RoundToLong(*y, -lim, lim);
  if (q == 0) throw FnError(errnum::kDivisionByZero);
  sqlite3_result_int64(ctx, p / q);
}

void Mod(sqlite3_context* ctx, int, sqlite3_value** a) {
  auto x = ArgNumber(a[0]), y = ArgNumber(a[1]);
  if (!x || !y) return sqlite3_result_null(ctx);
  const double lim = 9.2e18;
  const std::int64_t p = RoundToLong(*x, -lim, lim), q = RoundToLong(*y, -lim, lim);
  if (q == 0) throw FnError(errnum::kDivisionByZero);
  sqlite3_result_int64(ctx, p % q);
}

void Pow(sqlite3_context* ctx, int, sqlite3_value** a) {
  auto x = ArgNumber(a[0]), y = ArgNumber(a[1]);
  if (!x || !y) return sqlite3_result_null(ctx);
  if (*x < 0 && std::floor(*y) != *y) InvalidCall("^");
  const double r = std::pow(*x, *y);
  if (!std::isfinite(r)) throw FnError(errnum::kOverflow);
  sqlite3_result_double(ctx, r);
}

// The value of a scalar subquery from its record count (of at most two
// records looked at) and its value: more than one record is refused.
void OneRow(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (sqlite3_value_int64(a[0]) > 1) throw FnError(errnum::kSubqueryRows);
  sqlite3_result_value(ctx, a[1]);
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
    if (v > 922337203685477 || v < -922337203685477) throw FnError(errnum::kOverflow);
    c = v * 10000;
  } else {
    c = CurrencyFromAmount(*ArgNumber(a[0]));
  }
  if (!c) throw FnError(errnum::kOverflow);
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
    if (v == std::numeric_limits<std::int64_t>::min()) throw FnError(errnum::kOverflow);
    return sqlite3_result_int64(ctx, v < 0 ? -v : v);
  }
  sqlite3_result_double(ctx, std::fabs(*x));
}

void Val(sqlite3_context* ctx, int, sqlite3_value** a) {
  auto t = ArgText(a[0]);
  if (!t) throw FnError(errnum::kInvalidUseOfNull, msg::kInFunction({"Val"}));
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
  if (std::fabs(*x) > std::numeric_limits<float>::max()) throw FnError(errnum::kOverflow);
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

}  // namespace detail

using namespace detail;

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

}  // namespace kestrin::automation::mdb::fn
