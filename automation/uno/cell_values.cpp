#include "automation/uno/cell_values.h"

#include <cmath>

namespace kestrin::automation::uno {

double LinearSerial(double serial) {
  if (serial >= 0) return serial;
  double day = std::trunc(serial);
  return day + std::fabs(serial - day);
}

CellFormat FormatOf(const Value& v) {
  switch (v.kind()) {
    case Value::Kind::kBoolean:
      return CellFormat::kBoolean;
    case Value::Kind::kDateTime: {
      double s = LinearSerial(v.datetime().serial);
      if (s >= 0 && s < 1) return CellFormat::kTime;
      return s == std::floor(s) ? CellFormat::kDate : CellFormat::kDateTime;
    }
    default:
      return CellFormat::kNone;
  }
}

std::optional<double> NumberInCell(const Value& v) {
  switch (v.kind()) {
    case Value::Kind::kBoolean:
      return v.boolean() ? 1.0 : 0.0;
    case Value::Kind::kInteger:
      return static_cast<double>(v.integer());
    case Value::Kind::kCurrency:
      return static_cast<double>(v.currency().ten_thousandths) / 10000.0;
    case Value::Kind::kDouble:
      return v.real();
    case Value::Kind::kDateTime:
      return LinearSerial(v.datetime().serial);
    case Value::Kind::kText:
    case Value::Kind::kNull:
    case Value::Kind::kBinary:
      break;
  }
  return std::nullopt;
}

}  // namespace kestrin::automation::uno
