#include "export/integer_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

#include "automation/failure.h"

namespace kestrin::exporting {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// True when `s` is a whole decimal number: sign, digits with an optional
// fraction (at least one digit in all), optional exponent with digits.
bool IsDecimalNumber(std::string_view s) {
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < s.size() && IsDigit(s[i])) ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && IsDigit(s[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t exponent_digits = 0;
    while (i < s.size() && IsDigit(s[i])) ++i, ++exponent_digits;
    if (exponent_digits == 0) return false;
  }
  return i == s.size();
}

// For a valid decimal number beyond the range of a double: the power of ten
// of its first significant digit plus one (positive: at least 1 in size).
long DecimalMagnitude(std::string_view s) {
  const std::size_t e = s.find_first_of("eE");
  const std::string_view mantissa = s.substr(0, e);
  long exponent = 0;
  if (e != std::string_view::npos) {
    std::string_view x = s.substr(e + 1);
    const bool negative = !x.empty() && x.front() == '-';
    if (!x.empty() && (x.front() == '-' || x.front() == '+')) x.remove_prefix(1);
    for (char c : x) exponent = std::min(exponent * 10 + (c - '0'), 1'000'000'000L);
    if (negative) exponent = -exponent;
  }
  const std::size_t point = mantissa.find('.');
  const std::size_t first = mantissa.find_first_of("123456789");
  if (first == std::string_view::npos) return 0;
  const long int_end = static_cast<long>(point == std::string_view::npos ? mantissa.size() : point);
  long position = int_end - static_cast<long>(first);  // digits before the point from `first`
  if (point != std::string_view::npos && first > point) position += 1;
  return position + exponent;
}

[[noreturn]] void TypeMismatch() {
  throw automation::StandardError(automation::errnum::kTypeMismatch);
}

}  // namespace

std::int16_t TextToInt16(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  if (!IsDecimalNumber(text)) TypeMismatch();
  // from_chars takes no leading '+'.
  std::string_view digits = text.front() == '+' ? text.substr(1) : text;
  double value = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (end != digits.data() + digits.size()) TypeMismatch();
  if (error == std::errc::result_out_of_range) {
    // Beyond a double either way: tiny values round to 0, huge ones overflow.
    if (DecimalMagnitude(digits) <= 0) return 0;
    throw automation::StandardError(automation::errnum::kOverflow);
  }
  // The default rounding mode rounds a half to the even neighbour.
  const double rounded = std::nearbyint(value);
  if (!(rounded >= -32768.0 && rounded <= 32767.0)) {
    throw automation::StandardError(automation::errnum::kOverflow);
  }
  return static_cast<std::int16_t>(rounded);
}

}  // namespace kestrin::exporting
