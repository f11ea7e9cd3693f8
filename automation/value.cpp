#include "automation/value.h"

#include <cstdio>
#include <cstdlib>

namespace kestrin::automation {

std::string Describe(const Value& value) {
  char buf[64];
  switch (value.kind()) {
    case Value::Kind::kNull:
      return "Null";
    case Value::Kind::kBoolean:
      return value.boolean() ? "True" : "False";
    case Value::Kind::kInteger:
      return std::to_string(value.integer());
    case Value::Kind::kCurrency: {
      const std::int64_t v = value.currency().ten_thousandths;
      const std::uint64_t mag = v < 0 ? 0 - static_cast<std::uint64_t>(v) : v;
      std::snprintf(buf, sizeof buf, "%s%llu.%04llu (currency)", v < 0 ? "-" : "",
                    static_cast<unsigned long long>(mag / 10000),
                    static_cast<unsigned long long>(mag % 10000));
      return buf;
    }
    case Value::Kind::kDouble:
      std::snprintf(buf, sizeof buf, "%.17g", value.real());
      return buf;
    case Value::Kind::kDateTime:
      std::snprintf(buf, sizeof buf, "#serial %.17g#", value.datetime().serial);
      return buf;
    case Value::Kind::kText:
      return "\"" + value.text() + "\"";
    case Value::Kind::kBinary:
      return "<" + std::to_string(value.binary().size()) + " bytes>";
  }
  return "?";
}

}  // namespace kestrin::automation
