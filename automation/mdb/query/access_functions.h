// Access's expression functions and text rules, for evaluating queries in
// SQLite.
//
// Register() adds to a SQLite connection, from the one table of functions in
// access_functions.cpp:
//  - the collation "access_text": text equal when equal without regard to
//    case (Latin, Greek, Cyrillic and full-width Latin letters), ordered by
//    letters without accents and without hyphens or apostrophes first, then
//    by the full text;
//  - scalar functions named "acc_<name>" for the Access functions (acc_left,
//    acc_format, acc_dateadd, ...) and for operators SQLite lacks or treats
//    differently (acc_div for '/', acc_intdiv for '\', acc_mod, acc_pow,
//    acc_concat for '&', acc_like);
//  - aggregates acc_first, acc_last, acc_stdev, acc_stdevp, acc_var, acc_varp.
// Values follow the engine's storage: numbers as SQLite numbers, dates as REAL
// serial days, booleans as -1/0, currency passed as its amount (a REAL).
// A function that Access would fail (a type mismatch, an invalid argument,
// division by zero, overflow) fails the statement with a readable message.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "automation/mdb/query/query_engine.h"

namespace kestrin::automation::mdb::fn {

void Register(sqlite3* db);

// How the translator turns a call of an Access function into SQL.
enum class FunctionKind {
  kPlain,      // acc_<name>(arguments converted as `params` says), of type `result`
  kSpecial,    // a rule of the translator's own (IIf, Nz, CCur, Format, ...)
  kAggregate,  // Sum, Count, First, StDev, ...
  kOperator,   // SQL for an operator or a conversion; not callable by name
};

// One Access function: the arguments Access accepts, how they are passed,
// the result type, and the SQLite function registered as "acc_" + name.
struct FunctionSpec {
  std::string_view name;  // lower case
  FunctionKind kind = FunctionKind::kPlain;
  int min_args = 0;
  int max_args = 0;  // -1: any number
  // kPlain: per argument T text, N number, D date (text is parsed), A as is.
  std::string_view params;
  AccessType result = AccessType::kText;
  int sql_args = 0;  // arguments of the registered function, -1 any
  void (*scalar)(sqlite3_context*, int, sqlite3_value**) = nullptr;
  void (*step)(sqlite3_context*, int, sqlite3_value**) = nullptr;  // aggregates
  void (*final)(sqlite3_context*) = nullptr;
  bool deterministic = true;
};

// The function an Access query may call by that name (lower case, without a
// trailing '$'), or nullptr when Access has none of that name.
const FunctionSpec* FindFunction(std::string_view name);

// Text of a number as CStr gives it: up to 15 significant digits, "1E+20" form
// for large and small magnitudes.
std::string NumberText(double value);
// Text of a date serial as CStr gives it in the US locale: "1/31/2024",
// "1/31/2024 10:30:00 PM", or "10:30:00 PM" for a time alone.
std::string DateText(double serial);

// Access's Like: * any run, ? one character, # one digit, [abc], [a-z] and
// [!abc] character lists; case-insensitive. Throws std::invalid_argument for
// a pattern with an unclosed '['.
bool LikeMatch(const std::string& text, const std::string& pattern);

// Three-way comparison as the collation does: 0 only for texts equal
// without regard to case.
int CompareText(const std::string& a, const std::string& b);

// Round half to even at the given number of decimals, as VBA's Round does.
double BankersRound(double value, int digits);

// Format(value, pattern) for a number and for a date serial.
std::string FormatNumber(double value, const std::string& pattern);
std::string FormatDate(double serial, const std::string& pattern);
// True when the pattern formats dates rather than numbers.
bool IsDatePattern(const std::string& pattern);

// Currency amount to ten-thousandths, rounding half to even; nullopt when it
// does not fit Currency's range.
std::optional<std::int64_t> CurrencyFromAmount(double amount);
// Exact parse of a decimal text ("-12.34565") to ten-thousandths, half to
// even beyond four decimals; nullopt when the text is not a plain number.
std::optional<std::int64_t> CurrencyFromText(const std::string& text);

}  // namespace kestrin::automation::mdb::fn
