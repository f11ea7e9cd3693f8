// The one table of Access functions: what a query may call, with how many
// arguments, how the translator passes them and what type comes back, and
// the SQLite function (scalar or aggregate) registered for each.
#include "automation/mdb/query/access_functions.h"

#include <cmath>
#include <optional>
#include <stdexcept>
#include <string>

#include "automation/mdb/query/access_function_support.h"

namespace kestrin::automation::mdb::fn {

namespace {

using namespace detail;

// ---- aggregates ----

struct FirstLast {
  sqlite3_value* value = nullptr;
  bool seen = false;
};

template <bool kLast>
void FirstLastStep(sqlite3_context* ctx, int, sqlite3_value** a) {
  auto* st = static_cast<FirstLast*>(sqlite3_aggregate_context(ctx, sizeof(FirstLast)));
  if (!st) return sqlite3_result_error_nomem(ctx);
  if (st->seen && !kLast) return;
  sqlite3_value_free(st->value);
  st->value = sqlite3_value_dup(a[0]);
  st->seen = true;
}

void FirstLastFinal(sqlite3_context* ctx) {
  auto* st = static_cast<FirstLast*>(sqlite3_aggregate_context(ctx, 0));
  if (!st || !st->value) return sqlite3_result_null(ctx);
  sqlite3_result_value(ctx, st->value);
  sqlite3_value_free(st->value);
  st->value = nullptr;
}

struct Moments {
  std::int64_t n = 0;
  double mean = 0, m2 = 0;
};

void MomentsStep(sqlite3_context* ctx, int, sqlite3_value** a) {
  auto* st = static_cast<Moments*>(sqlite3_aggregate_context(ctx, sizeof(Moments)));
  if (!st) return sqlite3_result_error_nomem(ctx);
  if (IsNull(a[0])) return;
  std::optional<double> x;
  try {
    x = ArgNumber(a[0]);
  } catch (const std::exception& e) {
    return sqlite3_result_error(ctx, e.what(), -1);
  }
  ++st->n;
  const double d = *x - st->mean;
  st->mean += d / static_cast<double>(st->n);
  st->m2 += d * (*x - st->mean);
}

template <bool kSample, bool kRoot>
void MomentsFinal(sqlite3_context* ctx) {
  auto* st = static_cast<Moments*>(sqlite3_aggregate_context(ctx, 0));
  const std::int64_t need = kSample ? 2 : 1;
  if (!st || st->n < need) return sqlite3_result_null(ctx);
  double var = st->m2 / static_cast<double>(kSample ? st->n - 1 : st->n);
  if (var < 0) var = 0;
  sqlite3_result_double(ctx, kRoot ? std::sqrt(var) : var);
}

int Collate(void*, int la, const void* a, int lb, const void* b) {
  return CompareText(std::string(static_cast<const char*>(a), static_cast<size_t>(la)),
                     std::string(static_cast<const char*>(b), static_cast<size_t>(lb)));
}

using K = FunctionKind;
using A = AccessType;
constexpr int kAny = -1;

// Access name (lower case), kind, arguments Access accepts, argument forms
// (kPlain), result type (kPlain), arguments of the SQLite function and the
// function itself. Registered as "acc_" + name.
const FunctionSpec kFunctions[] = {
    // Operators and conversions the translator writes; not callable by name.
    {"concat", K::kOperator, 2, 2, "", A::kText, 2, Guarded<Concat>, nullptr, nullptr, true},
    {"div", K::kOperator, 2, 2, "", A::kDouble, 2, Guarded<Div>, nullptr, nullptr, true},
    {"intdiv", K::kOperator, 2, 2, "", A::kLong, 2, Guarded<IntDiv>, nullptr, nullptr, true},
    {"mod", K::kOperator, 2, 2, "", A::kLong, 2, Guarded<Mod>, nullptr, nullptr, true},
    {"pow", K::kOperator, 2, 2, "", A::kDouble, 2, Guarded<Pow>, nullptr, nullptr, true},
    {"like", K::kOperator, 2, 2, "", A::kBoolean, 2, Guarded<Like>, nullptr, nullptr, true},
    {"tonum", K::kOperator, 1, 1, "", A::kDouble, 1, Guarded<ToNum>, nullptr, nullptr, true},
    {"onerow", K::kOperator, 2, 2, "", A::kText, 2, Guarded<OneRow>, nullptr, nullptr, true},
    {"datetext", K::kOperator, 1, 1, "", A::kText, 1, Guarded<DateTextFn>, nullptr, nullptr, true},
    {"booltext", K::kOperator, 1, 1, "", A::kText, 1, Guarded<BoolText>, nullptr, nullptr, true},
    {"curround", K::kOperator, 1, 1, "", A::kCurrency, 1, Guarded<CurrencyRound>, nullptr, nullptr,
     true},
    // Functions with a rule of their own in the translator.
    {"iif", K::kSpecial, 3, 3, "", A::kText, 0, nullptr, nullptr, nullptr, true},
    {"switch", K::kSpecial, 0, kAny, "", A::kText, 0, nullptr, nullptr, nullptr, true},
    {"choose", K::kSpecial, 2, kAny, "", A::kText, 0, nullptr, nullptr, nullptr, true},
    {"nz", K::kSpecial, 1, 2, "", A::kText, 0, nullptr, nullptr, nullptr, true},
    {"isnull", K::kSpecial, 1, 1, "", A::kText, 0, nullptr, nullptr, nullptr, true},
    {"ccur", K::kSpecial, 1, 1, "", A::kCurrency, 1, Guarded<CCur>, nullptr, nullptr, true},
    {"cdbl", K::kSpecial, 1, 1, "", A::kDouble, 1, Guarded<CDbl>, nullptr, nullptr, true},
    {"clng", K::kSpecial, 1, 1, "", A::kLong, 1, Guarded<CLng>, nullptr, nullptr, true},
    {"cint", K::kSpecial, 1, 1, "", A::kInteger, 1, Guarded<CInt>, nullptr, nullptr, true},
    {"cstr", K::kSpecial, 1, 1, "", A::kText, 1, Guarded<CStr>, nullptr, nullptr, true},
    {"cdate", K::kSpecial, 1, 1, "", A::kDateTime, 1, Guarded<CDate>, nullptr, nullptr, true},
    {"datevalue", K::kSpecial, 1, 1, "", A::kText, 0, nullptr, nullptr, nullptr, true},
    {"cbool", K::kSpecial, 1, 1, "", A::kBoolean, 1, Guarded<CBool>, nullptr, nullptr, true},
    {"int", K::kSpecial, 1, 1, "", A::kDouble, 1, Guarded<IntFn>, nullptr, nullptr, true},
    {"fix", K::kSpecial, 1, 1, "", A::kDouble, 1, Guarded<FixFn>, nullptr, nullptr, true},
    {"round", K::kSpecial, 1, 2, "", A::kDouble, kAny, Guarded<RoundFn>, nullptr, nullptr, true},
    {"abs", K::kSpecial, 1, 1, "", A::kDouble, 1, Guarded<Abs>, nullptr, nullptr, true},
    {"instr", K::kSpecial, 2, 4, "", A::kLong, kAny, Guarded<InStr>, nullptr, nullptr, true},
    {"format", K::kSpecial, 1, 2, "", A::kText, kAny, Guarded<Format>, nullptr, nullptr, true},
    // Functions called with their arguments converted as `params` says.
    {"sgn", K::kPlain, 1, 1, "N", A::kInteger, 1, Guarded<Sgn>, nullptr, nullptr, true},
    {"sqr", K::kPlain, 1, 1, "N", A::kDouble, 1, Guarded<Sqr>, nullptr, nullptr, true},
    {"len", K::kPlain, 1, 1, "T", A::kLong, 1, Guarded<Len>, nullptr, nullptr, true},
    {"left", K::kPlain, 2, 2, "TN", A::kText, 2, Guarded<Left>, nullptr, nullptr, true},
    {"right", K::kPlain, 2, 2, "TN", A::kText, 2, Guarded<Right>, nullptr, nullptr, true},
    {"mid", K::kPlain, 2, 3, "TNN", A::kText, kAny, Guarded<Mid>, nullptr, nullptr, true},
    {"ucase", K::kPlain, 1, 1, "T", A::kText, 1, Guarded<UCase>, nullptr, nullptr, true},
    {"lcase", K::kPlain, 1, 1, "T", A::kText, 1, Guarded<LCase>, nullptr, nullptr, true},
    {"trim", K::kPlain, 1, 1, "T", A::kText, 1, Guarded<Trim>, nullptr, nullptr, true},
    {"ltrim", K::kPlain, 1, 1, "T", A::kText, 1, Guarded<LTrim>, nullptr, nullptr, true},
    {"rtrim", K::kPlain, 1, 1, "T", A::kText, 1, Guarded<RTrim>, nullptr, nullptr, true},
    {"space", K::kPlain, 1, 1, "N", A::kText, 1, Guarded<Space>, nullptr, nullptr, true},
    {"string", K::kPlain, 2, 2, "NA", A::kText, 2, Guarded<StringFn>, nullptr, nullptr, true},
    {"replace", K::kPlain, 3, 6, "TTTNNN", A::kText, kAny, Guarded<Replace>, nullptr, nullptr,
     true},
    {"date", K::kPlain, 0, 0, "", A::kDateTime, 0, Guarded<DateFn>, nullptr, nullptr, false},
    {"now", K::kPlain, 0, 0, "", A::kDateTime, 0, Guarded<NowFn>, nullptr, nullptr, false},
    {"time", K::kPlain, 0, 0, "", A::kDateTime, 0, Guarded<TimeFn>, nullptr, nullptr, false},
    {"year", K::kPlain, 1, 1, "D", A::kInteger, 1, Guarded<DatePartFn<0>>, nullptr, nullptr, true},
    {"month", K::kPlain, 1, 1, "D", A::kInteger, 1, Guarded<DatePartFn<1>>, nullptr, nullptr, true},
    {"day", K::kPlain, 1, 1, "D", A::kInteger, 1, Guarded<DatePartFn<2>>, nullptr, nullptr, true},
    {"hour", K::kPlain, 1, 1, "D", A::kInteger, 1, Guarded<DatePartFn<3>>, nullptr, nullptr, true},
    {"minute", K::kPlain, 1, 1, "D", A::kInteger, 1, Guarded<DatePartFn<4>>, nullptr, nullptr,
     true},
    {"second", K::kPlain, 1, 1, "D", A::kInteger, 1, Guarded<DatePartFn<5>>, nullptr, nullptr,
     true},
    {"weekday", K::kPlain, 1, 2, "DN", A::kInteger, kAny, Guarded<Weekday>, nullptr, nullptr, true},
    {"datepart", K::kPlain, 2, 4, "TDNN", A::kInteger, kAny, Guarded<DatePart>, nullptr, nullptr,
     true},
    {"dateadd", K::kPlain, 3, 3, "TND", A::kDateTime, 3, Guarded<DateAdd>, nullptr, nullptr, true},
    {"datediff", K::kPlain, 3, 5, "TDDNN", A::kLong, kAny, Guarded<DateDiff>, nullptr, nullptr,
     true},
    {"dateserial", K::kPlain, 3, 3, "NNN", A::kDateTime, 3, Guarded<DateSerial>, nullptr, nullptr,
     true},
    {"timeserial", K::kPlain, 3, 3, "NNN", A::kDateTime, 3, Guarded<TimeSerial>, nullptr, nullptr,
     true},
    {"val", K::kPlain, 1, 1, "T", A::kDouble, 1, Guarded<Val>, nullptr, nullptr, true},
    {"isnumeric", K::kPlain, 1, 1, "A", A::kBoolean, 1, Guarded<IsNumeric>, nullptr, nullptr, true},
    {"asc", K::kPlain, 1, 1, "T", A::kInteger, 1, Guarded<Asc>, nullptr, nullptr, true},
    {"chr", K::kPlain, 1, 1, "N", A::kText, 1, Guarded<Chr>, nullptr, nullptr, true},
    {"csng", K::kPlain, 1, 1, "N", A::kSingle, 1, Guarded<CSng>, nullptr, nullptr, true},
    {"str", K::kPlain, 1, 1, "N", A::kText, 1, Guarded<Str>, nullptr, nullptr, true},
    {"hex", K::kPlain, 1, 1, "N", A::kText, 1, Guarded<Hex>, nullptr, nullptr, true},
    {"instrrev", K::kPlain, 2, 4, "TTNN", A::kLong, kAny, Guarded<InStrRev>, nullptr, nullptr,
     true},
    {"strcomp", K::kPlain, 2, 3, "TTN", A::kInteger, kAny, Guarded<StrComp>, nullptr, nullptr,
     true},
    {"monthname", K::kPlain, 1, 2, "NN", A::kText, kAny, Guarded<MonthName>, nullptr, nullptr,
     true},
    {"weekdayname", K::kPlain, 1, 3, "NNN", A::kText, kAny, Guarded<WeekdayName>, nullptr, nullptr,
     true},
    {"timevalue", K::kPlain, 1, 1, "D", A::kDateTime, 1, Guarded<TimeValue>, nullptr, nullptr,
     true},
    // Aggregates: SQLite's own, and those registered here.
    {"sum", K::kAggregate, 1, 1, "", A::kText, 0, nullptr, nullptr, nullptr, true},
    {"avg", K::kAggregate, 1, 1, "", A::kText, 0, nullptr, nullptr, nullptr, true},
    {"count", K::kAggregate, 1, 1, "", A::kText, 0, nullptr, nullptr, nullptr, true},
    {"min", K::kAggregate, 1, 1, "", A::kText, 0, nullptr, nullptr, nullptr, true},
    {"max", K::kAggregate, 1, 1, "", A::kText, 0, nullptr, nullptr, nullptr, true},
    {"first", K::kAggregate, 1, 1, "", A::kText, 1, nullptr, FirstLastStep<false>, FirstLastFinal,
     true},
    {"last", K::kAggregate, 1, 1, "", A::kText, 1, nullptr, FirstLastStep<true>, FirstLastFinal,
     true},
    {"stdev", K::kAggregate, 1, 1, "", A::kDouble, 1, nullptr, MomentsStep,
     MomentsFinal<true, true>, true},
    {"stdevp", K::kAggregate, 1, 1, "", A::kDouble, 1, nullptr, MomentsStep,
     MomentsFinal<false, true>, true},
    {"var", K::kAggregate, 1, 1, "", A::kDouble, 1, nullptr, MomentsStep, MomentsFinal<true, false>,
     true},
    {"varp", K::kAggregate, 1, 1, "", A::kDouble, 1, nullptr, MomentsStep,
     MomentsFinal<false, false>, true},
};

}  // namespace

const FunctionSpec* FindFunction(std::string_view name) {
  for (const FunctionSpec& f : kFunctions) {
    if (f.kind != FunctionKind::kOperator && f.name == name) return &f;
  }
  return nullptr;
}

void Register(sqlite3* db) {
  for (const FunctionSpec& f : kFunctions) {
    if (f.scalar == nullptr && f.step == nullptr) continue;
    const std::string name = "acc_" + std::string(f.name);
    const int flags = SQLITE_UTF8 | (f.deterministic && f.scalar ? SQLITE_DETERMINISTIC : 0);
    if (sqlite3_create_function_v2(db, name.c_str(), f.sql_args, flags, nullptr, f.scalar, f.step,
                                   f.final, nullptr) != SQLITE_OK) {
      throw std::runtime_error("cannot register " + name);
    }
  }
  if (sqlite3_create_collation_v2(db, "access_text", SQLITE_UTF8, nullptr, Collate, nullptr) !=
      SQLITE_OK) {
    throw std::runtime_error("cannot register the text collation");
  }
}

}  // namespace kestrin::automation::mdb::fn
