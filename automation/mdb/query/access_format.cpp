// Format(value, pattern) as Access formats numbers and dates.
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

}  // namespace detail

using namespace detail;

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

}  // namespace kestrin::automation::mdb::fn
