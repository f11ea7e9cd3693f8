// One error type for every failure that crosses the automation seam.
//
// Access, DAO and Excel report a failure as a 32-bit number and a description;
// the program's own failures (a column letter out of range, a row beyond the
// addressable limit) use the same shape so that every caller handles failures
// alike. The number may be negative; the description may be empty. The
// numbers and their standard descriptions come from error_numbers.h.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>

#include "automation/error_numbers.h"

namespace kestrin::automation {

class AutomationError : public std::runtime_error {
 public:
  AutomationError(std::int32_t number, std::string description)
      : std::runtime_error(description), number_(number), description_(std::move(description)) {}

  std::int32_t number() const noexcept { return number_; }
  const std::string& description() const noexcept { return description_; }

 private:
  std::int32_t number_;
  std::string description_;
};

// The failure `error` with its standard description, each '|' in it filled by
// the next of `names`.
inline AutomationError StandardError(ErrorNumber error,
                                     std::initializer_list<std::string_view> names = {}) {
  return AutomationError(error.number, error.Description(names));
}

}  // namespace kestrin::automation
