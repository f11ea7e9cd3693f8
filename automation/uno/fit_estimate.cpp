#include "automation/uno/fit_estimate.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <unordered_map>

namespace kestrin::automation::uno {
namespace {

std::string ZeroDigits(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= '0' && c <= '9') c = '0';
  }
  return out;
}

int DecimalDigits(std::int64_t v) {
  int n = 1;
  while (v >= 10) {
    v /= 10;
    ++n;
  }
  return n;
}

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void CivilFromDays(std::int64_t z, std::int64_t& y, int& m, int& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = yoe + era * 400;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  if (m <= 2) ++y;
}

// Next code point of a UTF-8 text; malformed bytes count as one character
// of unknown width.
std::uint32_t NextCodePoint(std::string_view s, std::size_t& i) {
  const auto b = static_cast<unsigned char>(s[i++]);
  if (b < 0x80) return b;
  int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
  if (extra == 0) return 0xFFFD;
  std::uint32_t cp = b & (0x3F >> extra);
  for (; extra > 0 && i < s.size(); --extra) {
    const auto c = static_cast<unsigned char>(s[i]);
    if ((c & 0xC0) != 0x80) return 0xFFFD;
    cp = (cp << 6) | (c & 0x3F);
    ++i;
  }
  return extra == 0 ? cp : 0xFFFD;
}

// Advance width of one character in ems, over the fonts in common use.
WidthBounds CharWidth(std::uint32_t cp) {
  if (cp >= '0' && cp <= '9') return {0.45, 0.65};
  if (cp == ' ') return {0.2, 0.65};
  if (cp < 0x20 || cp == 0x7F) return {0.0, 2.0};
  if (cp < 0x7F) {
    if (std::strchr("il|!.,:;'`Ijftr()[]{}/\\-\"", static_cast<int>(cp)) != nullptr) {
      return {0.15, 0.65};
    }
    if (std::strchr("mwMW@%#&", static_cast<int>(cp)) != nullptr) return {0.55, 1.1};
    return {0.3, 0.85};
  }
  if (cp >= 0xFF61 && cp <= 0xFFDC) return {0.2, 0.7};  // half-width katakana
  if ((cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) ||
      (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
      (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
      (cp >= 0xFFE0 && cp <= 0xFFE6) || cp >= 0x20000) {
    return {0.4, 1.1};  // full-width: ideographs, kana (proportional too), Hangul
  }
  return {0.0, 1.5};
}

}  // namespace

NumberLook NumberLook::General() {
  NumberLook look;
  look.kind_ = Kind::kGeneral;
  return look;
}

NumberLook NumberLook::FromCode(std::string_view code) {
  NumberLook other;
  NumberLook look;
  look.kind_ = Kind::kDateTime;
  // Locale tags such as [$-411] in front change nothing shown here.
  while (code.starts_with("[$-")) {
    const std::size_t end = code.find(']');
    if (end == std::string_view::npos) return other;
    code.remove_prefix(end + 1);
  }
  auto add_literal = [&](std::string_view text) {
    if (look.fields_.empty() || look.fields_.back().unit != 0) look.fields_.push_back(Field{});
    look.fields_.back().literal += text;
  };
  std::size_t i = 0;
  while (i < code.size()) {
    const char c = code[i];
    const char lower = static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    if (c == '"') {
      const std::size_t end = code.find('"', i + 1);
      if (end == std::string_view::npos) return other;
      add_literal(code.substr(i + 1, end - i - 1));
      i = end + 1;
    } else if (c == '\\' && i + 1 < code.size()) {
      add_literal(code.substr(i + 1, 1));
      i += 2;
    } else if (std::strchr("/-.:, ", c) != nullptr) {
      add_literal(code.substr(i, 1));
      ++i;
    } else if (std::strchr("ymdhs", lower) != nullptr) {
      std::size_t n = 1;
      while (i + n < code.size() && (code[i + n] | 0x20) == lower) ++n;
      Field f;
      f.unit = lower;
      if (lower == 'y') {
        if (n > 4) return other;
        f.digits = n <= 2 ? 2 : 4;
      } else {
        if (n > 2) return other;  // names of months and days
        f.digits = n == 2 ? 2 : 0;
      }
      look.fields_.push_back(f);
      i += n;
    } else {
      return other;
    }
  }
  // "m" is minutes right after hours or right before seconds.
  int last = -1;
  for (std::size_t k = 0; k < look.fields_.size(); ++k) {
    Field& f = look.fields_[k];
    if (f.unit == 0) continue;
    if (f.unit == 'm') {
      bool minutes = last >= 0 && look.fields_[static_cast<std::size_t>(last)].unit == 'h';
      for (std::size_t j = k + 1; j < look.fields_.size(); ++j) {
        if (look.fields_[j].unit == 0) continue;
        minutes = minutes || look.fields_[j].unit == 's';
        break;
      }
      f.unit = minutes ? 'm' : 'M';
    }
    if (f.unit == 'h' || f.unit == 'm' || f.unit == 's') look.has_time_ = true;
    last = static_cast<int>(k);
  }
  if (last < 0) return other;
  return look;
}

std::optional<std::string> NumberLook::DateTimeShape(double serial, bool round_seconds) const {
  // Day 1 is 1899-12-31; the upper end is the last day of year 9999.
  if (!(serial >= 1 && serial < 2958466)) return std::nullopt;
  const double seconds = serial * 86400.0;
  const auto total =
      static_cast<std::int64_t>(round_seconds ? std::llround(seconds) : std::floor(seconds));
  const std::int64_t days = total / 86400;
  const std::int64_t in_day = total % 86400;
  std::int64_t year = 0;
  int month = 0, day = 0;
  CivilFromDays(days - 25569, year, month, day);
  if (year < 1000 || year > 9999) return std::nullopt;
  std::string out;
  for (const Field& f : fields_) {
    if (f.unit == 0) {
      out += f.literal;
      continue;
    }
    std::int64_t v = 0;
    switch (f.unit) {
      case 'y':
        v = f.digits == 2 ? year % 100 : year;
        break;
      case 'M':
        v = month;
        break;
      case 'd':
        v = day;
        break;
      case 'h':
        v = in_day / 3600;
        break;
      case 'm':
        v = in_day / 60 % 60;
        break;
      default:
        v = in_day % 60;
        break;
    }
    out.append(static_cast<std::size_t>(f.digits > 0 ? f.digits : DecimalDigits(v)), '0');
  }
  return out;
}

std::optional<std::string> NumberLook::Shape(double number) const {
  if (!std::isfinite(number)) return std::nullopt;
  if (kind_ == Kind::kDateTime) {
    // Whether the office rounds to the second or cuts, the text must agree.
    auto cut = DateTimeShape(number, false);
    auto rounded = DateTimeShape(number, true);
    if (cut && rounded && *cut == *rounded) return cut;
    return std::nullopt;
  }
  if (kind_ != Kind::kGeneral) return std::nullopt;
  if (number == 0) {
    if (std::signbit(number)) return std::nullopt;
    return "0";
  }
  const double magnitude = std::fabs(number);
  std::string out = number < 0 ? "-" : "";
  if (number == std::trunc(number) && magnitude < 1e15) {
    out.append(static_cast<std::size_t>(DecimalDigits(static_cast<std::int64_t>(magnitude))), '0');
    return out;
  }
  // Fractions are shown to 15 significant digits; only a number that those
  // digits give back exactly has a certain text.
  if (magnitude < 1e-4 || magnitude >= 1e11) return std::nullopt;
  char buf[64];
  const auto written = std::to_chars(buf, buf + sizeof buf, number, std::chars_format::general, 15);
  if (written.ec != std::errc()) return std::nullopt;
  const std::string_view text(buf, static_cast<std::size_t>(written.ptr - buf));
  double back = 0;
  if (text.find('e') != std::string_view::npos ||
      std::from_chars(text.data(), text.data() + text.size(), back).ec != std::errc() ||
      back != number) {
    return std::nullopt;
  }
  return ZeroDigits(text);
}

WidthBounds TextWidthBounds(std::string_view utf8) {
  WidthBounds widest;
  std::size_t start = 0;
  while (start <= utf8.size()) {
    std::size_t end = utf8.find('\n', start);
    if (end == std::string_view::npos) end = utf8.size();
    std::string_view line = utf8.substr(start, end - start);
    WidthBounds sum;
    int chars = 0;
    for (std::size_t i = 0; i < line.size();) {
      const std::uint32_t cp = NextCodePoint(line, i);
      if (cp == '\r') continue;
      const WidthBounds w = CharWidth(cp);
      sum.lo += w.lo;
      sum.hi += w.hi;
      ++chars;
    }
    // Pair kerning moves each neighbour by a small part of an em.
    if (chars > 1) {
      sum.lo = std::max(0.0, sum.lo - 0.12 * (chars - 1));
      sum.hi += 0.05 * (chars - 1);
    }
    widest.lo = std::max(widest.lo, sum.lo);
    widest.hi = std::max(widest.hi, sum.hi);
    start = end + 1;
  }
  return widest;
}

std::vector<std::size_t> CellsToMeasure(const std::vector<CellContent>& cells,
                                        const NumberLook& look, bool digits_alike,
                                        std::size_t prune_above) {
  struct Group {
    std::size_t first;
    std::optional<WidthBounds> bounds;  // none: not known, always measured
  };
  std::unordered_map<std::string, std::size_t> index;
  std::vector<Group> groups;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const CellContent& cell = cells[i];
    std::string key;
    std::optional<std::string> shown;
    if (cell.text != nullptr) {
      if (look.ShowsTextAsIs()) {
        shown = digits_alike ? ZeroDigits(*cell.text) : *cell.text;
        key = "T" + *shown;
      } else {
        key = "X" + *cell.text;
      }
    } else {
      shown = look.Shape(cell.number);
      if (shown && digits_alike) {
        key = "S" + *shown;
      } else {
        char bits[sizeof(double)];
        std::memcpy(bits, &cell.number, sizeof bits);
        key = "N" + std::string(bits, sizeof bits);
      }
    }
    auto [it, added] = index.try_emplace(std::move(key), groups.size());
    if (!added) continue;
    Group g{i, std::nullopt};
    if (shown) g.bounds = TextWidthBounds(*shown);
    groups.push_back(g);
  }
  double widest_lo = 0;
  if (groups.size() > prune_above) {
    for (const Group& g : groups) {
      if (g.bounds) widest_lo = std::max(widest_lo, g.bounds->lo);
    }
  }
  std::vector<std::size_t> chosen;
  for (const Group& g : groups) {
    if (!g.bounds || g.bounds->hi >= widest_lo) chosen.push_back(g.first);
  }
  return chosen;
}

}  // namespace kestrin::automation::uno
