// One error type for every failure that crosses the automation seam.
//
// Access, DAO and Excel report a failure as a 32-bit number and a description;
// the program's own failures (a column letter out of range, a row beyond the
// addressable limit) use the same shape so that every caller handles failures
// alike. The number may be negative; the description may be empty.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

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

// Numbers the program raises itself, as the runtime it mirrors numbers them.
namespace errnum {
inline constexpr std::int32_t kOverflow = 6;             // "Overflow"
inline constexpr std::int32_t kSubscriptOutOfRange = 9;  // "Subscript out of range"
inline constexpr std::int32_t kObjectNotSet =
    91;  // "Object variable or With block variable not set"
inline constexpr std::int32_t kNoCurrentRecord = 3021;   // DAO "No current record."
inline constexpr std::int32_t kTooFewParameters = 3061;  // DAO "Too few parameters. Expected N."
inline constexpr std::int32_t kItemNotFound = 3265;      // DAO "Item not found in this collection."
}  // namespace errnum

}  // namespace kestrin::automation
