// Typed expressions and the coercions between Access types.
#include <algorithm>
#include <cstdio>

#include "automation/mdb/query/sqlite_db.h"
#include "automation/mdb/query/translator.h"

namespace kestrin::automation::mdb::translate_detail {

bool IsText(AccessType t) {
  return t == AccessType::kText || t == AccessType::kMemo || t == AccessType::kGuid;
}
bool IsIntegral(AccessType t) {
  return t == AccessType::kByte || t == AccessType::kInteger || t == AccessType::kLong ||
         t == AccessType::kBoolean;
}

std::string Real(double v) {
  char b[64];
  std::snprintf(b, sizeof b, "%.17g", v);
  std::string s = b;
  if (s.find_first_of(".eEn") == std::string::npos) s += ".0";
  return s;
}

std::string AsNumber(const T& e) {
  if (e.null) return "NULL";
  if (e.type == AccessType::kCurrency) return "(" + e.sql + " / 10000.0)";
  if (IsText(e.type)) return "acc_tonum(" + e.sql + ")";
  return e.sql;
}

// The expression as a condition (WHERE, ON, HAVING, CASE WHEN): comparisons
// keep their plain form so that SQLite can use them for joins and indexes.
std::string Cond(const T& e) {
  if (!e.cond.empty()) return e.cond;
  return AsNumber(e);
}

std::string AsText(const T& e) {
  if (e.null) return "NULL";
  if (IsText(e.type)) return e.sql;
  switch (e.type) {
    case AccessType::kDateTime:
      return "acc_datetext(" + e.sql + ")";
    case AccessType::kBoolean:
      return "acc_booltext(" + e.sql + ")";
    case AccessType::kCurrency:
      return "acc_cstr(" + e.sql + " / 10000.0)";
    case AccessType::kBinary:
    case AccessType::kOle:
      return e.sql;
    default:
      return "acc_cstr(" + e.sql + ")";
  }
}

std::string AsCurrency(const T& e) {
  if (e.null) return "NULL";
  if (e.type == AccessType::kCurrency) return e.sql;
  if (IsIntegral(e.type)) return "(" + e.sql + " * 10000)";
  return "acc_ccur(" + (IsText(e.type) ? e.sql : AsNumber(e)) + ")";
}

std::string AsDate(const T& e) {
  if (e.null) return "NULL";
  if (e.type == AccessType::kDateTime) return e.sql;
  if (IsText(e.type)) return "acc_cdate(" + e.sql + ")";
  return AsNumber(e);
}

std::string ConvertTo(const T& e, AccessType type) {
  if (e.null) return "NULL";
  if (e.type == type) return e.sql;
  if (IsText(type)) return AsText(e);
  if (type == AccessType::kCurrency) return AsCurrency(e);
  if (type == AccessType::kDateTime) return AsDate(e);
  return AsNumber(e);
}

// The type two alternatives (IIf branches, union parts) share.
AccessType Unify(const T& a, const T& b) {
  if (a.null) return b.type;
  if (b.null) return a.type;
  if (a.type == b.type) return a.type;
  if (IsText(a.type) && IsText(b.type)) return AccessType::kMemo;
  if (IsText(a.type) || IsText(b.type)) return AccessType::kText;
  if (a.type == AccessType::kDateTime || b.type == AccessType::kDateTime) {
    return (a.type == AccessType::kDateTime || IsIntegral(a.type)) &&
                   (b.type == AccessType::kDateTime || IsIntegral(b.type))
               ? AccessType::kDateTime
               : AccessType::kDouble;
  }
  if (a.type == AccessType::kCurrency || b.type == AccessType::kCurrency) {
    const AccessType other = a.type == AccessType::kCurrency ? b.type : a.type;
    return IsIntegral(other) ? AccessType::kCurrency : AccessType::kDouble;
  }
  if (IsIntegral(a.type) && IsIntegral(b.type)) return AccessType::kLong;
  return AccessType::kDouble;
}

AccessType Widest(AccessType a, AccessType b) {
  auto rank = [](AccessType t) {
    switch (t) {
      case AccessType::kBoolean:
      case AccessType::kByte:
        return 1;
      case AccessType::kInteger:
        return 2;
      case AccessType::kLong:
        return 3;
      case AccessType::kSingle:
        return 4;
      default:
        return 5;
    }
  };
  const int r = std::max(rank(a), rank(b));
  if (r <= 3) return AccessType::kLong;
  return r == 4 ? AccessType::kSingle : AccessType::kDouble;
}

T Bool(std::string sql, bool aggregate) {
  T t;
  t.cond = "(" + sql + ")";
  t.sql = "(-" + t.cond + ")";
  t.type = AccessType::kBoolean;
  t.aggregate = aggregate;
  return t;
}

T NullT() {
  T t;
  t.sql = "NULL";
  t.null = true;
  return t;
}

AccessType Translator::CompareDomain(const T& a, const std::vector<T>& others) {
  bool all_text = IsText(a.type) || a.null;
  bool any_date = a.type == AccessType::kDateTime;
  bool all_currency = a.type == AccessType::kCurrency || a.null;
  for (const T& o : others) {
    all_text = all_text && (IsText(o.type) || o.null);
    any_date = any_date || o.type == AccessType::kDateTime;
    all_currency = all_currency && (o.type == AccessType::kCurrency || o.null);
  }
  if (all_text) return AccessType::kText;
  if (any_date) return AccessType::kDateTime;
  if (all_currency) return AccessType::kCurrency;
  return AccessType::kDouble;
}

namespace {

bool IsNumber(AccessType t) {
  switch (t) {
    case AccessType::kByte:
    case AccessType::kInteger:
    case AccessType::kLong:
    case AccessType::kCurrency:
    case AccessType::kSingle:
    case AccessType::kDouble:
    case AccessType::kDecimal:
      return true;
    default:
      return false;
  }
}

bool Mismatched(const T& field, const T& constant) {
  return field.column && constant.literal &&
         ((IsText(field.type) && IsNumber(constant.type)) ||
          (IsNumber(field.type) && IsText(constant.type)));
}

}  // namespace

void CheckComparable(const T& a, const T& b) {
  if (Mismatched(a, b) || Mismatched(b, a))
    throw TranslateError(StandardError(errnum::kDataTypeMismatch));
}

std::string ParameterKey(const std::string& name) {
  std::string key = NameKey(name);
  std::replace(key.begin(), key.end(), '.', '!');
  return key;
}

std::string Translator::Compare(const std::string& op, const T& a, const T& b) {
  CheckComparable(a, b);
  if (a.null || b.null) return "NULL";
  const AccessType d = CompareDomain(a, {b});
  std::string s = "(" + ConvertTo(a, d) + ") " + op + " (" + ConvertTo(b, d) + ")";
  if (IsText(d)) s += " COLLATE access_text";
  return "(" + s + ")";
}

}  // namespace kestrin::automation::mdb::translate_detail
