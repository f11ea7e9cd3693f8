// What a written value becomes in a cell of the office: a number with the
// number format it needs, a text, or nothing. Internal to automation/uno/.
#pragma once

#include <optional>

#include "automation/value.h"

namespace kestrin::automation::uno {

// A serial whose negative values keep the time of day as a positive
// fraction (-1.25: the day before the epoch, 06:00) on the office's linear
// scale (-0.75).
double LinearSerial(double serial);

// The number format a written value needs besides its number: a date/time
// is a date, a date with a time of day, or a time alone (on 1899-12-30,
// where Access keeps times without a date).
enum class CellFormat { kNone, kDate, kDateTime, kTime, kBoolean };
CellFormat FormatOf(const Value& v);

// The number the cell holds for a value: Yes/No as 1 and 0, currency in
// units, dates as linear serials; nullopt for a text and for what leaves
// the cell empty (Null, Binary).
std::optional<double> NumberInCell(const Value& v);

}  // namespace kestrin::automation::uno
