// Date arithmetic on Access serial days (days since 1899-12-30; for negative
// serials the integer part is the day and the absolute fraction the time).
#pragma once

#include <cstdint>
#include <optional>

namespace kestrin::automation::mdb::dates {

struct Parts {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0;
};

// Days from 1899-12-30 to the given proleptic Gregorian date. Month and day
// may be out of range and roll over as DateSerial does (month 13 is January
// of the next year, day 0 the last day of the previous month).
std::int64_t DaysFromCivil(std::int64_t year, std::int64_t month, std::int64_t day);

// Serial of a date and time of day; the time is given in seconds and may be
// negative or beyond a day (it rolls into the date as the serial encodes).
double Serial(std::int64_t days, double seconds_of_day);

// Date and time of a serial, with the time rounded to the nearest second.
// nullopt when the serial is outside the years 100 to 9999 or not finite.
std::optional<Parts> FromSerial(double serial);

// Serial of the given parts; nullopt when out of the range Access accepts.
std::optional<double> ToSerial(const Parts& parts);

// The serial as a linear count of days (negative serials are decoded).
double Linear(double serial);
// Back from a linear count of days to the serial encoding.
double FromLinear(double linear);

}  // namespace kestrin::automation::mdb::dates
