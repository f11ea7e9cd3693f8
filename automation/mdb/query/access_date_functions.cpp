// Date functions of Access queries: Date, Now, Year ... Second, Weekday,
// DatePart, DateAdd, DateDiff, DateSerial, TimeSerial, MonthName, ...
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

// ---- dates ----

dates::Parts PartsOf(double serial) {
  auto p = dates::FromSerial(serial);
  if (!p) throw FnError(errnum::kOverflow, msg::kDateOutOfRange());
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

template void DatePartFn<0>(sqlite3_context*, int, sqlite3_value**);
template void DatePartFn<1>(sqlite3_context*, int, sqlite3_value**);
template void DatePartFn<2>(sqlite3_context*, int, sqlite3_value**);
template void DatePartFn<3>(sqlite3_context*, int, sqlite3_value**);
template void DatePartFn<4>(sqlite3_context*, int, sqlite3_value**);
template void DatePartFn<5>(sqlite3_context*, int, sqlite3_value**);

}  // namespace detail

using namespace detail;

}  // namespace kestrin::automation::mdb::fn
