// Shared parts of the Access functions registered in SQLite: the failure
// they raise, argument conversion as Access converts, results, and the
// helpers the text, conversion, date and Format functions share. Internal to
// the query engine; the functions themselves are declared here so that the
// one function table (access_functions.cpp) can name them.
#pragma once

#include <sqlite3.h>

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "automation/error_numbers.h"
#include "automation/mdb/access_names.h"
#include "automation/mdb/query/access_dates.h"
#include "automation/messages.h"

namespace kestrin::automation::mdb::fn::detail {

// ---- errors raised inside functions ----

// The message starts with the standard description of the failure, by
// which the engine gives it Access's number (query_engine.cpp).
struct FnError : std::runtime_error {
  explicit FnError(ErrorNumber e, std::string_view tail = {})
      : std::runtime_error(e.Description() + std::string(tail)) {}
  using std::runtime_error::runtime_error;
};

[[noreturn]] inline void TypeMismatch() { throw FnError(errnum::kTypeMismatch); }

[[noreturn]] inline void InvalidCall(const char* fn) {
  throw FnError(errnum::kInvalidProcedureCall, msg::kInFunction({fn}));
}

// ---- argument helpers ----

inline bool IsNull(sqlite3_value* v) { return sqlite3_value_type(v) == SQLITE_NULL; }

using Fn = void (*)(sqlite3_context*, int, sqlite3_value**);

template <Fn F>
void Guarded(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  try {
    F(ctx, argc, argv);
  } catch (const std::exception& e) {
    sqlite3_result_error(ctx, e.what(), -1);
  }
}

inline constexpr std::array<const char*, 12> kMonths = {
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December"};

inline constexpr std::array<const char*, 7> kDays = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                     "Thursday", "Friday", "Saturday"};

// ---- defined in access_text.cpp, access_conversions.cpp, access_date_functions.cpp
// and access_format.cpp ----

using letters::Decode;
using letters::Encode;
using letters::Folded;
using letters::Lower;
using letters::Upper;
std::u32string SortKey(const std::u32string& folded);
std::optional<double> ParseNumberText(std::string_view s);
std::optional<double> ArgNumber(sqlite3_value* v);
std::optional<std::string> ArgText(sqlite3_value* v);
std::optional<double> ArgDate(sqlite3_value* v);
std::int64_t RoundToLong(double v, double lo, double hi);
void ResultText(sqlite3_context* ctx, const std::string& s);
void ResultDate(sqlite3_context* ctx, double serial);
dates::Parts PartsOf(double serial);
std::int64_t DayNumber(double serial);
int WeekdayOf(double serial, int first_day);
std::string Pad2(int v);
int DayOfYear(const dates::Parts& p);
int WeekOfYear(double serial, int first_day);
double NowSerial(bool date_part, bool time_part);
std::string LowerAscii(std::string s);
double AddMonths(double serial, std::int64_t months);
void Concat(sqlite3_context* ctx, int, sqlite3_value** a);
void Div(sqlite3_context* ctx, int, sqlite3_value** a);
void IntDiv(sqlite3_context* ctx, int, sqlite3_value** a);
void Mod(sqlite3_context* ctx, int, sqlite3_value** a);
void Pow(sqlite3_context* ctx, int, sqlite3_value** a);
void Like(sqlite3_context* ctx, int, sqlite3_value** a);
void ToNum(sqlite3_context* ctx, int, sqlite3_value** a);
void OneRow(sqlite3_context* ctx, int, sqlite3_value** a);
void DateTextFn(sqlite3_context* ctx, int, sqlite3_value** a);
void BoolText(sqlite3_context* ctx, int, sqlite3_value** a);
void CCur(sqlite3_context* ctx, int, sqlite3_value** a);
void CurrencyRound(sqlite3_context* ctx, int, sqlite3_value** a);
void CDbl(sqlite3_context* ctx, int, sqlite3_value** a);
void CLng(sqlite3_context* ctx, int, sqlite3_value** a);
void CInt(sqlite3_context* ctx, int, sqlite3_value** a);
void CStr(sqlite3_context* ctx, int, sqlite3_value** a);
void CDate(sqlite3_context* ctx, int, sqlite3_value** a);
void CBool(sqlite3_context* ctx, int, sqlite3_value** a);
void IntFn(sqlite3_context* ctx, int, sqlite3_value** a);
void FixFn(sqlite3_context* ctx, int, sqlite3_value** a);
void RoundFn(sqlite3_context* ctx, int argc, sqlite3_value** a);
void Sgn(sqlite3_context* ctx, int, sqlite3_value** a);
void Sqr(sqlite3_context* ctx, int, sqlite3_value** a);
void Abs(sqlite3_context* ctx, int, sqlite3_value** a);
std::int64_t CountArg(sqlite3_value* v, const char* fn);
void Len(sqlite3_context* ctx, int, sqlite3_value** a);
void Left(sqlite3_context* ctx, int, sqlite3_value** a);
void Right(sqlite3_context* ctx, int, sqlite3_value** a);
void Mid(sqlite3_context* ctx, int argc, sqlite3_value** a);
size_t Find(const std::u32string& hay, const std::u32string& needle, size_t from, bool text);
void InStr(sqlite3_context* ctx, int argc, sqlite3_value** a);
void Case(sqlite3_context* ctx, sqlite3_value* v, bool upper);
void UCase(sqlite3_context* ctx, int, sqlite3_value** a);
void LCase(sqlite3_context* ctx, int, sqlite3_value** a);
void TrimSides(sqlite3_context* ctx, sqlite3_value* v, bool left, bool right);
void Trim(sqlite3_context* ctx, int, sqlite3_value** a);
void LTrim(sqlite3_context* ctx, int, sqlite3_value** a);
void RTrim(sqlite3_context* ctx, int, sqlite3_value** a);
void Space(sqlite3_context* ctx, int, sqlite3_value** a);
void StringFn(sqlite3_context* ctx, int, sqlite3_value** a);
void Replace(sqlite3_context* ctx, int argc, sqlite3_value** a);
void Asc(sqlite3_context* ctx, int, sqlite3_value** a);
void Chr(sqlite3_context* ctx, int, sqlite3_value** a);
void Val(sqlite3_context* ctx, int, sqlite3_value** a);
void CSng(sqlite3_context* ctx, int, sqlite3_value** a);
void Str(sqlite3_context* ctx, int, sqlite3_value** a);
void Hex(sqlite3_context* ctx, int, sqlite3_value** a);
void InStrRev(sqlite3_context* ctx, int argc, sqlite3_value** a);
void StrComp(sqlite3_context* ctx, int argc, sqlite3_value** a);
void MonthName(sqlite3_context* ctx, int argc, sqlite3_value** a);
void WeekdayName(sqlite3_context* ctx, int argc, sqlite3_value** a);
void TimeValue(sqlite3_context* ctx, int, sqlite3_value** a);
void IsNumeric(sqlite3_context* ctx, int, sqlite3_value** a);
void DateFn(sqlite3_context* ctx, int, sqlite3_value**);
void NowFn(sqlite3_context* ctx, int, sqlite3_value**);
void TimeFn(sqlite3_context* ctx, int, sqlite3_value**);
template <int Which>
void DatePartFn(sqlite3_context* ctx, int, sqlite3_value** a);
void Weekday(sqlite3_context* ctx, int argc, sqlite3_value** a);
std::string Interval(sqlite3_value* v, const char* fn);
void DatePart(sqlite3_context* ctx, int argc, sqlite3_value** a);
void DateAdd(sqlite3_context* ctx, int, sqlite3_value** a);
void DateDiff(sqlite3_context* ctx, int argc, sqlite3_value** a);
void DateSerial(sqlite3_context* ctx, int, sqlite3_value** a);
void TimeSerial(sqlite3_context* ctx, int, sqlite3_value** a);
void Format(sqlite3_context* ctx, int argc, sqlite3_value** a);
std::vector<std::string> SplitSections(const std::string& p);
std::string GroupThousands(const std::string& digits);
std::string FormatSection(double v, const std::string& p);

}  // namespace kestrin::automation::mdb::fn::detail
