#include "automation/mdb/single.h"

#include <charconv>
#include <cmath>

namespace kestrin::automation::mdb {

double SingleAsShown(float value) {
  const double exact = static_cast<double>(value);
  if (!std::isfinite(value)) return exact;
  // Whole numbers below 2^24 and multiples of 1/16 below 1024 are already
  // their shortest decimal: no shorter one lies within half a float's step.
  const double magnitude = std::fabs(exact);
  if ((magnitude < 16777216.0 && exact == std::floor(exact)) ||
      (magnitude < 1024.0 && exact * 16 == std::floor(exact * 16))) {
    return exact;
  }
  char text[32];
  const auto written = std::to_chars(text, text + sizeof text, value);
  double shown = 0;
  std::from_chars(text, written.ptr, shown);
  return shown;
}

}  // namespace kestrin::automation::mdb
