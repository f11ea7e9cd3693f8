#include "automation/uno/fit_estimate.h"

#include <algorithm>
#include <array>
#include <bit>
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

// Up to 17 significant digits and the power of ten of the first.
struct Digits {
  char d[24];
  std::size_t n = 0;
  int exponent = 0;
};

// The significant digits of `magnitude` (positive, finite) rounded half up
// to 15 from its shortest exact decimal form, without trailing zeros.
Digits Significant15(double magnitude) {
  char buf[64];
  const auto written =
      std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific);
  const std::string_view text(buf, static_cast<std::size_t>(written.ptr - buf));
  const std::size_t e = text.find('e');
  Digits out;
  for (char c : text.substr(0, e)) {
    if (c != '.') out.d[out.n++] = c;
  }
  std::from_chars(text.data() + e + (text[e + 1] == '+' ? 2 : 1), text.data() + text.size(),
                  out.exponent);
  if (out.n > 15) {
    const bool up = out.d[15] >= '5';
    out.n = 15;
    for (std::size_t i = out.n; up && i-- > 0;) {
      if (out.d[i] != '9') {
        ++out.d[i];
        break;
      }
      out.d[i] = '0';
      if (i == 0) {  // 9.99… became 10
        out.d[0] = '1';
        ++out.exponent;
      }
    }
  }
  while (out.n > 1 && out.d[out.n - 1] == '0') --out.n;
  return out;
}

// A number as the office's General format shows it, into `out`: whole
// numbers in full, others to 15 significant digits, in scientific form
// below 0.0001. False beyond 10^15, where the office's forms are not told.
bool GeneralText(double number, std::string& out) {
  const double magnitude = std::fabs(number);
  out.clear();
  if (number == 0) {
    out = "0";
    return !std::signbit(number);
  }
  if (magnitude >= 1e15) return false;
  if (number < 0) out = "-";
  if (number == std::trunc(number)) {
    out += std::to_string(static_cast<std::int64_t>(magnitude));
    return true;
  }
  const Digits sig = Significant15(magnitude);
  const std::string_view digits(sig.d, sig.n);
  const int exponent = sig.exponent;
  if (magnitude < 1e-4) {
    out += digits[0];
    if (digits.size() > 1) out.append(".").append(digits.substr(1));
    out += exponent > -10 ? "E-0" : "E-";
    out += std::to_string(-exponent);
  } else if (exponent < 0) {
    out.append("0.").append(static_cast<std::size_t>(-exponent - 1), '0').append(digits);
  } else if (static_cast<int>(digits.size()) <= exponent + 1) {
    out.append(digits).append(static_cast<std::size_t>(exponent + 1) - digits.size(), '0');
  } else {
    const auto point = static_cast<std::size_t>(exponent + 1);
    out.append(digits.substr(0, point)).append(".").append(digits.substr(point));
  }
  return true;
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
  if (code == "BOOLEAN") {
    look.kind_ = Kind::kBoolean;
    return look;
  }
  if (code == "@") {
    look.kind_ = Kind::kText;
    return look;
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

bool NumberLook::DateTimeText(double serial, std::string& out) const {
  // Day 1 is 1899-12-31; the upper end is the last day of year 9999.
  if (!(serial >= 1 && serial < 2958466)) return false;
  // The office rounds to the second. A time a hair below a second, as stored
  // times often are, must show the same shape had it cut instead.
  const double seconds = serial * 86400.0;
  std::array<std::int64_t, 24> rounded{}, cut{};
  if (!FieldValues(std::llround(seconds), rounded) ||
      !FieldValues(static_cast<std::int64_t>(std::floor(seconds)), cut)) {
    return false;
  }
  out.clear();
  for (std::size_t k = 0; k < fields_.size(); ++k) {
    const Field& f = fields_[k];
    if (f.unit == 0) {
      out += f.literal;
      continue;
    }
    const std::string digits = std::to_string(rounded[k]);
    if (f.digits == 0 && digits.size() != std::to_string(cut[k]).size()) return false;
    if (f.digits > static_cast<int>(digits.size())) {
      out.append(static_cast<std::size_t>(f.digits) - digits.size(), '0');
    }
    out += digits;
  }
  return true;
}

bool NumberLook::FieldValues(std::int64_t total, std::array<std::int64_t, 24>& values) const {
  const std::int64_t days = total / 86400;
  const std::int64_t in_day = total % 86400;
  std::int64_t year = 0;
  int month = 0, day = 0;
  CivilFromDays(days - 25569, year, month, day);
  if (year < 1000 || year > 9999 || fields_.size() > values.size()) return false;
  for (std::size_t k = 0; k < fields_.size(); ++k) {
    switch (fields_[k].unit) {
      case 'y':
        values[k] = fields_[k].digits == 2 ? year % 100 : year;
        break;
      case 'M':
        values[k] = month;
        break;
      case 'd':
        values[k] = day;
        break;
      case 'h':
        values[k] = in_day / 3600;
        break;
      case 'm':
        values[k] = in_day / 60 % 60;
        break;
      case 's':
        values[k] = in_day % 60;
        break;
      default:
        break;
    }
  }
  return true;
}

bool NumberLook::TextInto(double number, std::string& out) const {
  if (!std::isfinite(number)) return false;
  switch (kind_) {
    case Kind::kGeneral:
      return GeneralText(number, out);
    case Kind::kDateTime:
      return DateTimeText(number, out);
    case Kind::kBoolean:
      out = number != 0 ? "TRUE" : "FALSE";
      return true;
    case Kind::kText:
    case Kind::kOther:
      break;
  }
  return false;
}

std::optional<std::string> NumberLook::Text(double number) const {
  std::string out;
  if (!TextInto(number, out)) return std::nullopt;
  return out;
}

std::optional<std::string> NumberLook::Shape(double number) const {
  auto text = Text(number);
  if (!text) return std::nullopt;
  return ZeroDigits(*text);
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

namespace {

// How wide `shown` is when the office's language is Western and when it is
// Asian; nullopt when either cannot be told.
std::optional<std::pair<long, long>> Widths(std::string_view shown, Script script,
                                            const CellFonts& fonts) {
  std::optional<long> western, asian;
  if (script == Script::kWestern || script == Script::kWeak) {
    if (fonts.western == nullptr || !(western = fonts.western->Width(shown))) return std::nullopt;
  }
  if (script == Script::kAsian || script == Script::kWeak) {
    if (fonts.asian == nullptr || !(asian = fonts.asian->Width(shown))) return std::nullopt;
  }
  if (script == Script::kWestern) return std::pair(*western, *western);
  if (script == Script::kAsian) return std::pair(*asian, *asian);
  return std::pair(*western, *asian);
}

// The key of the group of cells as wide as one showing `shown`.
void AppendGroupKey(std::string& key, std::string_view shown, Script script,
                    const CellFonts& fonts) {
  bool alike = true;
  if (script == Script::kWestern || script == Script::kWeak) {
    alike = alike && fonts.western != nullptr && fonts.western->DigitsAlike();
  }
  if (script == Script::kAsian || script == Script::kWeak) {
    alike = alike && fonts.asian != nullptr && fonts.asian->DigitsAlike();
  }
  key += static_cast<char>('0' + static_cast<int>(script));
  const std::size_t from = key.size();
  key += shown;
  if (alike) {
    for (std::size_t i = from; i < key.size(); ++i) {
      if (key[i] >= '0' && key[i] <= '9') key[i] = '0';
    }
  }
}

}  // namespace

std::vector<MeasuredGroup> MeasureGroups(const std::vector<CellContent>& cells,
                                         const NumberLook& look, const CellFonts& fonts) {
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  std::unordered_map<std::string, std::size_t, Hash, std::equal_to<>> index;
  // Cells showing what an earlier one shows, found without working out the
  // text again.
  std::unordered_map<std::string_view, std::size_t> by_text;
  std::unordered_map<std::uint64_t, std::size_t> by_number;
  std::vector<MeasuredGroup> groups;
  std::string text, key;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const CellContent& cell = cells[i];
    const auto bits = std::bit_cast<std::uint64_t>(cell.number);
    if (cell.text != nullptr ? by_text.contains(*cell.text) : by_number.contains(bits)) continue;
    std::string_view shown;
    bool known = false;
    if (cell.text != nullptr) {
      known = look.ShowsTextAsIs();
      shown = *cell.text;
    } else if ((known = look.TextInto(cell.number, text))) {
      shown = text;
    }
    const Script script = known ? ScriptOf(shown) : Script::kOther;
    key.clear();
    if (script != Script::kOther) {
      AppendGroupKey(key, shown, script, fonts);
    } else if (cell.text != nullptr) {
      key.append("X").append(*cell.text);
    } else {
      key.append("N").append(reinterpret_cast<const char*>(&bits), sizeof bits);
    }
    auto found = index.find(std::string_view(key));
    const std::size_t group = found == index.end() ? groups.size() : found->second;
    if (cell.text != nullptr) {
      by_text.emplace(*cell.text, group);
    } else {
      by_number.emplace(bits, group);
    }
    if (found != index.end()) continue;
    index.emplace(key, group);
    Measured m;
    if (script != Script::kOther) {
      if (auto widths = Widths(shown, script, fonts)) {
        m.western_office = widths->first;
        m.asian_office = widths->second;
      }
    }
    groups.push_back(MeasuredGroup{i, key, m});
  }
  return groups;
}

std::vector<bool> NearWidest(const std::vector<Measured>& widths) {
  long western_widest = 0, asian_widest = 0;
  for (const Measured& m : widths) {
    if (m.western_office) western_widest = std::max(western_widest, *m.western_office);
    if (m.asian_office) asian_widest = std::max(asian_widest, *m.asian_office);
  }
  auto near = [](long width, long widest) { return width >= widest - widest / 10 - 2; };
  std::vector<bool> keep;
  for (const Measured& m : widths) {
    keep.push_back(!m.western_office || !m.asian_office ||
                   near(*m.western_office, western_widest) || near(*m.asian_office, asian_widest));
  }
  return keep;
}

std::vector<std::size_t> CellsToMeasure(const std::vector<CellContent>& cells,
                                        const NumberLook& look, const CellFonts& fonts) {
  const auto groups = MeasureGroups(cells, look, fonts);
  std::vector<Measured> widths;
  for (const auto& g : groups) widths.push_back(g.width);
  const std::vector<bool> keep = NearWidest(widths);
  std::vector<std::size_t> chosen;
  for (std::size_t k = 0; k < groups.size(); ++k) {
    if (keep[k]) chosen.push_back(groups[k].first);
  }
  return chosen;
}

}  // namespace kestrin::automation::uno
