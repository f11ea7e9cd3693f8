#include "automation/mdb/query/access_dates.h"

#include <cmath>

namespace kestrin::automation::mdb::dates {

namespace {
// Days from 1970-01-01 (H. Hinnant's algorithm).
std::int64_t DaysFromEpoch(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y += m <= 2;
}

constexpr std::int64_t kEpochOffset = 25569;  // 1970-01-01 as a serial
}  // namespace

std::int64_t DaysFromCivil(std::int64_t year, std::int64_t month, std::int64_t day) {
  const std::int64_t m0 = month - 1;
  const std::int64_t year_carry = m0 >= 0 ? m0 / 12 : -((-m0 + 11) / 12);
  year += year_carry;
  const auto m = static_cast<unsigned>(m0 - year_carry * 12 + 1);
  return DaysFromEpoch(year, m, 1) + (day - 1) + kEpochOffset;
}

double Linear(double serial) {
  if (serial >= 0) return serial;
  const double day = std::ceil(serial);  // -1.25 is day -1, quarter past
  const double frac = day - serial;
  return day + frac;
}

double FromLinear(double linear) {
  if (linear >= 0) return linear;
  const double day = std::floor(linear);
  const double frac = linear - day;
  if (frac == 0) return day;
  return day - frac;
}

double Serial(std::int64_t days, double seconds_of_day) {
  return FromLinear(static_cast<double>(days) + seconds_of_day / 86400.0);
}

std::optional<Parts> FromSerial(double serial) {
  if (!std::isfinite(serial)) return std::nullopt;
  double linear = Linear(serial);
  // Round to the nearest second.
  const double total_seconds = std::round(linear * 86400.0);
  if (std::fabs(total_seconds) > 1e15) return std::nullopt;
  auto secs = static_cast<std::int64_t>(total_seconds);
  std::int64_t days = secs >= 0 ? secs / 86400 : -((-secs + 86399) / 86400);
  std::int64_t tod = secs - days * 86400;
  std::int64_t y;
  unsigned m, d;
  CivilFromDays(days - kEpochOffset, y, m, d);
  if (y < 100 || y > 9999) return std::nullopt;
  Parts p;
  p.year = static_cast<int>(y);
  p.month = static_cast<int>(m);
  p.day = static_cast<int>(d);
  p.hour = static_cast<int>(tod / 3600);
  p.minute = static_cast<int>(tod / 60 % 60);
  p.second = static_cast<int>(tod % 60);
  return p;
}

std::optional<double> ToSerial(const Parts& p) {
  const std::int64_t days = DaysFromCivil(p.year, p.month, p.day);
  const double serial = Serial(days, p.hour * 3600.0 + p.minute * 60.0 + p.second);
  if (!FromSerial(serial)) return std::nullopt;
  return serial;
}

}  // namespace kestrin::automation::mdb::dates
