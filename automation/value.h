// The value of a database field or a spreadsheet cell.
//
// A Value is one of: null, a Yes/No boolean, an integer (Byte, Integer, Long),
// a currency amount (exact, in ten-thousandths), a double (Single and Double),
// a date/time (days since 1899-12-30, as both Access and Excel count them),
// text (UTF-8, any length, any Unicode character), or binary data (OLE objects,
// attachments). It is a plain value type: cheap to move, compared by content.
#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace kestrin::automation {

struct Null {
  friend bool operator==(Null, Null) = default;
};

// Currency as Access stores it: an integer count of ten-thousandths.
struct Currency {
  std::int64_t ten_thousandths = 0;
  friend bool operator==(Currency, Currency) = default;
};

// Date/time as a serial day number: the integer part counts days from
// 1899-12-30; for negative serials the integer part is the day and the
// absolute fraction the time of day, as Access and Excel store it.
struct DateTime {
  double serial = 0;
  friend bool operator==(DateTime, DateTime) = default;
};

using Binary = std::vector<std::uint8_t>;

class Value {
 public:
  enum class Kind { kNull, kBoolean, kInteger, kCurrency, kDouble, kDateTime, kText, kBinary };

  Value() = default;
  Value(Null) {}
  Value(bool b) : v_(b) {}
  Value(int i) : v_(static_cast<std::int64_t>(i)) {}
  Value(std::int64_t i) : v_(i) {}
  Value(Currency c) : v_(c) {}
  Value(double d) : v_(d) {}
  Value(DateTime d) : v_(d) {}
  Value(std::string s) : v_(std::move(s)) {}
  Value(const char* s) : v_(std::string(s)) {}
  Value(Binary b) : v_(std::move(b)) {}

  Kind kind() const noexcept { return static_cast<Kind>(v_.index()); }
  bool is_null() const noexcept { return kind() == Kind::kNull; }

  // Accessors: valid only for the matching kind (std::bad_variant_access otherwise).
  bool boolean() const { return std::get<bool>(v_); }
  std::int64_t integer() const { return std::get<std::int64_t>(v_); }
  Currency currency() const { return std::get<Currency>(v_); }
  double real() const { return std::get<double>(v_); }
  DateTime datetime() const { return std::get<DateTime>(v_); }
  const std::string& text() const { return std::get<std::string>(v_); }
  const Binary& binary() const { return std::get<Binary>(v_); }

  friend bool operator==(const Value&, const Value&) = default;

 private:
  std::variant<Null, bool, std::int64_t, Currency, double, DateTime, std::string, Binary> v_;
};

// A readable rendering for messages and test output, e.g. "Null", "True",
// "12", "12.3400 (currency)", "#serial 45000.5#", "\"text\"", "<3 bytes>".
std::string Describe(const Value& value);

}  // namespace kestrin::automation
