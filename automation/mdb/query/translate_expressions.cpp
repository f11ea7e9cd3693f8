// Expressions and calls of Access functions, translated into SQLite.
#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>

#include "automation/mdb/query/access_functions.h"
#include "automation/mdb/query/sqlite_db.h"
#include "automation/mdb/query/translator.h"
#include "automation/messages.h"

namespace kestrin::automation::mdb::translate_detail {

T Translator::Column(const Expr& e, const Scope& scope) {
  if (auto f = Lookup(scope, e.qualifier, e.name)) {
    T t;
    t.sql = QuoteIdentifier(f->source->sql_alias) + "." + QuoteIdentifier(f->column->sql_name);
    t.type = f->column->type;
    t.column = true;
    t.column_name = f->column->name;
    t.column_qualifier = f->source->name;
    if (contributing_) contributing_->insert(f->source->sql_alias);
    return t;
  }
  // A name that is not a column may be another output's alias.
  if (e.qualifier.empty()) {
    for (const Scope* s = &scope; s; s = s->outer) {
      if (!s->items) continue;
      for (const auto& item : *s->items) {
        if (item.alias.empty() || !SameName(item.alias, e.name)) continue;
        if (std::find(alias_stack_.begin(), alias_stack_.end(), &item) != alias_stack_.end())
          throw TranslateError(StandardError(errnum::kCircularAlias, {e.name}));
        alias_stack_.push_back(&item);
        T t = Expression(*item.expr, *s);
        alias_stack_.pop_back();
        t.sql = "(" + t.sql + ")";
        t.column = false;
        return t;
      }
    }
  }
  // Date, Now and Time may be written without parentheses.
  if (e.qualifier.empty()) {
    for (const char* f : {"date", "now", "time"}) {
      if (NameKey(e.name) != f) continue;
      T t;
      t.sql = std::string("acc_") + f + "()";
      t.type = AccessType::kDateTime;
      return t;
    }
  }
  // Anything else is a parameter Access would ask for.
  parameters_.insert(ParameterKey(e.qualifier.empty() ? e.name : e.qualifier + "." + e.name));
  return NullT();
}

T Translator::Expression(const Expr& e, const Scope& scope) {
  switch (e.kind) {
    case ExprKind::kNull:
      return NullT();
    case ExprKind::kBoolean: {
      T t;
      t.sql = e.boolean ? "-1" : "0";
      t.type = AccessType::kBoolean;
      return t;
    }
    case ExprKind::kInteger: {
      T t;
      t.sql = std::to_string(e.integer);
      t.type = e.integer >= -32768 && e.integer <= 32767 ? AccessType::kInteger : AccessType::kLong;
      t.literal = true;
      return t;
    }
    case ExprKind::kNumber: {
      T t;
      t.sql = Real(e.number);
      t.type = AccessType::kDouble;
      t.literal = true;
      return t;
    }
    case ExprKind::kText: {
      T t;
      t.sql = QuoteString(e.text);
      t.type = AccessType::kText;
      t.literal = true;
      return t;
    }
    case ExprKind::kDate: {
      T t;
      t.sql = Real(e.number);
      t.type = AccessType::kDateTime;
      return t;
    }
    case ExprKind::kColumn:
      return Column(e, scope);
    case ExprKind::kStar:
      throw TranslateError(errnum::kSyntax, msg::kStarMisplaced());
    case ExprKind::kUnary:
      return Unary(e, scope);
    case ExprKind::kBinary:
      return Binary(e, scope);
    case ExprKind::kLike: {
      const T a = Expression(*e.args[0], scope), p = Expression(*e.args[1], scope);
      const std::string m = "acc_like(" + AsText(a) + ", " + AsText(p) + ")";
      return Bool(e.negated ? "NOT " + m : m, a.aggregate || p.aggregate);
    }
    case ExprKind::kBetween: {
      const T x = Expression(*e.args[0], scope);
      const T lo = Expression(*e.args[1], scope), hi = Expression(*e.args[2], scope);
      const std::string s = "(" + Compare(">=", x, lo) + " AND " + Compare("<=", x, hi) + ")";
      return Bool(e.negated ? "NOT " + s : s, x.aggregate || lo.aggregate || hi.aggregate);
    }
    case ExprKind::kInList: {
      const T x = Expression(*e.args[0], scope);
      bool agg = x.aggregate;
      std::string list;
      std::vector<T> items;
      for (size_t i = 1; i < e.args.size(); ++i) {
        items.push_back(Expression(*e.args[i], scope));
        agg = agg || items.back().aggregate;
      }
      for (const T& it : items) CheckComparable(x, it);
      const AccessType domain = CompareDomain(x, items);
      for (const T& it : items) {
        if (!list.empty()) list += ", ";
        list += ConvertTo(it, domain);
      }
      std::string left = "(" + ConvertTo(x, domain) + ")";
      if (IsText(domain)) left += " COLLATE access_text";
      return Bool(left + (e.negated ? " NOT IN (" : " IN (") + list + ")", agg);
    }
    case ExprKind::kInSelect: {
      const T x = Expression(*e.args[0], scope);
      Part part = TranslateSelect(*e.subquery, &scope, false);
      if (part.columns.size() != 1)
        throw TranslateError(errnum::kSubqueryColumns, msg::kInSubqueryColumns());
      T sub;
      sub.type = part.columns[0].type;
      sub.sql = "\"c0\"";
      const AccessType domain = CompareDomain(x, {sub});
      std::string left = "(" + ConvertTo(x, domain) + ")";
      if (IsText(domain)) left += " COLLATE access_text";
      const std::string inner = "SELECT " + ConvertTo(sub, domain) + " FROM (" + part.sql + ")";
      return Bool(left + (e.negated ? " NOT IN (" : " IN (") + inner + ")", x.aggregate);
    }
    case ExprKind::kIsNull: {
      const T x = Expression(*e.args[0], scope);
      return Bool("(" + x.sql + (e.negated ? ") IS NOT NULL" : ") IS NULL"), x.aggregate);
    }
    case ExprKind::kExists: {
      Part part = TranslateSelect(*e.subquery, &scope, false);
      return Bool("EXISTS (" + part.sql + ")", false);
    }
    case ExprKind::kSubquery: {
      Part part = TranslateSelect(*e.subquery, &scope, false);
      if (part.columns.size() != 1)
        throw TranslateError(errnum::kSubqueryColumns, msg::kValueSubqueryColumns());
      // Its value, Null without a record, and Access's refusal for more
      // than one record (only two are looked at).
      T t;
      t.sql = "(SELECT acc_onerow(COUNT(*), MIN(\"c0\")) FROM (SELECT \"c0\" FROM (" + part.sql +
              ") LIMIT 2))";
      t.type = part.columns[0].type;
      return t;
    }
    case ExprKind::kCall:
      return Call(e, scope);
  }
  throw TranslateError(errnum::kSyntax, msg::kUnsupportedExpression());
}

T Translator::Unary(const Expr& e, const Scope& scope) {
  const T a = Expression(*e.args[0], scope);
  if (e.op == "Not") {
    if (a.null) return NullT();
    T t = Bool("NOT " + Cond(a), a.aggregate);
    return t;
  }
  if (a.null) return NullT();
  if (e.op == "+") return a;
  T t;
  t.aggregate = a.aggregate;
  t.literal = a.literal;  // -1 is a constant
  if (a.type == AccessType::kCurrency) {
    t.sql = "(-" + a.sql + ")";
    t.type = AccessType::kCurrency;
  } else if (IsText(a.type)) {
    t.sql = "(-" + AsNumber(a) + ")";
    t.type = AccessType::kDouble;
  } else {
    t.sql = "(-" + a.sql + ")";
    t.type = a.type == AccessType::kBoolean ? AccessType::kInteger : a.type;
  }
  return t;
}

T Translator::Binary(const Expr& e, const Scope& scope) {
  const T a = Expression(*e.args[0], scope);
  const T b = Expression(*e.args[1], scope);
  const bool agg = a.aggregate || b.aggregate;
  const std::string& op = e.op;
  T t;
  t.aggregate = agg;
  if (op == "=" || op == "<>" || op == "<" || op == ">" || op == "<=" || op == ">=") {
    return Bool(Compare(op, a, b), agg);
  }
  if (op == "And" || op == "Or") {
    const std::string x = a.null ? "NULL" : Cond(a);
    const std::string y = b.null ? "NULL" : Cond(b);
    return Bool(x + (op == "And" ? " AND " : " OR ") + y, agg);
  }
  if (op == "Xor" || op == "Eqv" || op == "Imp") {
    const std::string x = a.null ? "NULL" : "((" + AsNumber(a) + ") <> 0)";
    const std::string y = b.null ? "NULL" : "((" + AsNumber(b) + ") <> 0)";
    if (op == "Xor") return Bool(x + " <> " + y, agg);
    if (op == "Eqv") return Bool(x + " = " + y, agg);
    return Bool("NOT " + x + " OR " + y, agg);
  }
  if (op == "&") {
    t.sql = "acc_concat(" + AsText(a) + ", " + AsText(b) + ")";
    t.type = AccessType::kText;
    return t;
  }
  if (a.null || b.null) {
    T n = NullT();
    n.aggregate = agg;
    return n;
  }
  if (op == "/") {
    t.sql = "acc_div(" + AsNumber(a) + ", " + AsNumber(b) + ")";
    t.type = AccessType::kDouble;
    return t;
  }
  if (op == "\\" || op == "Mod") {
    t.sql = std::string(op == "Mod" ? "acc_mod(" : "acc_intdiv(") + AsNumber(a) + ", " +
            AsNumber(b) + ")";
    t.type = AccessType::kLong;
    return t;
  }
  if (op == "^") {
    t.sql = "acc_pow(" + AsNumber(a) + ", " + AsNumber(b) + ")";
    t.type = AccessType::kDouble;
    return t;
  }
  // + - *
  if (op == "+" && IsText(a.type) && IsText(b.type)) {
    t.sql = "(" + a.sql + " || " + b.sql + ")";
    t.type = AccessType::kText;
    return t;
  }
  const bool cur_a = a.type == AccessType::kCurrency, cur_b = b.type == AccessType::kCurrency;
  if (cur_a || cur_b) {
    const T& other = cur_a ? b : a;
    if (cur_a && cur_b && op == "*") {
      t.sql = "acc_ccur(" + AsNumber(a) + " * " + AsNumber(b) + ")";
      t.type = AccessType::kCurrency;
      return t;
    }
    if (other.type == AccessType::kCurrency || IsIntegral(other.type)) {
      if (op == "*") {
        t.sql = "(" + a.sql + " * " + b.sql + ")";
      } else {
        t.sql = "(" + AsCurrency(a) + " " + op + " " + AsCurrency(b) + ")";
      }
      t.type = AccessType::kCurrency;
      return t;
    }
    if (other.type == AccessType::kDateTime && op != "*") {
      t.sql = "(" + AsNumber(a) + " " + op + " " + AsNumber(b) + ")";
      t.type = AccessType::kDateTime;
      return t;
    }
    t.sql = "(" + AsNumber(a) + " " + op + " " + AsNumber(b) + ")";
    t.type = AccessType::kDouble;
    return t;
  }
  const bool date_a = a.type == AccessType::kDateTime, date_b = b.type == AccessType::kDateTime;
  if ((date_a || date_b) && op != "*") {
    t.sql = "(" + AsNumber(a) + " " + op + " " + AsNumber(b) + ")";
    t.type = (date_a && date_b && op == "-") ? AccessType::kDouble : AccessType::kDateTime;
    return t;
  }
  t.sql = "(" + AsNumber(a) + " " + op + " " + AsNumber(b) + ")";
  if (IsText(a.type) || IsText(b.type) || date_a || date_b) {
    t.type = AccessType::kDouble;
  } else {
    t.type = Widest(a.type, b.type);
  }
  return t;
}

std::string Translator::Name(const Expr& e) {
  std::string n = NameKey(e.name);
  if (!n.empty() && n.back() == '$') n.pop_back();
  return n;
}

void Translator::Arity(const Expr& e, size_t lo, size_t hi) {
  if (e.star || e.args.size() < lo || e.args.size() > hi)
    throw TranslateError(errnum::kSyntax, msg::kWrongArgumentCount({e.name}));
}

T Translator::Aggregate(const Expr& e, const std::string& n, const Scope& scope) {
  if (in_aggregate_) throw TranslateError(StandardError(errnum::kNestedAggregate, {e.name}));
  T t;
  t.aggregate = true;
  if (n == "count" && e.star) {
    t.sql = pivot_ ? "COUNT(CASE WHEN " + pivot_->condition + " THEN 1 END)" : "COUNT(*)";
    t.type = AccessType::kLong;
    return t;
  }
  Arity(e, 1, 1);
  in_aggregate_ = true;
  T a = Expression(*e.args[0], scope);
  in_aggregate_ = false;
  auto arg = [&](const std::string& v) {
    return pivot_ ? "CASE WHEN " + pivot_->condition + " THEN " + v + " END" : v;
  };
  if (n == "count") {
    t.sql = "COUNT(" + arg(a.sql) + ")";
    t.type = AccessType::kLong;
  } else if (n == "sum") {
    if (a.type == AccessType::kCurrency) {
      t.sql = "SUM(" + arg(a.sql) + ")";
      t.type = AccessType::kCurrency;
    } else {
      t.sql = "SUM(" + arg(AsNumber(a)) + ")";
      t.type = AccessType::kDouble;
    }
  } else if (n == "avg") {
    if (a.type == AccessType::kCurrency) {
      t.sql = "acc_curround(AVG(" + arg(a.sql) + "))";
      t.type = AccessType::kCurrency;
    } else {
      t.sql = "AVG(" + arg(AsNumber(a)) + ")";
      t.type = AccessType::kDouble;
    }
  } else if (n == "min" || n == "max") {
    std::string v = arg(a.sql);
    if (IsText(a.type)) v = "(" + v + ") COLLATE access_text";
    t.sql = (n == "min" ? "MIN(" : "MAX(") + v + ")";
    t.type = a.null ? AccessType::kText : a.type;
    t.null = a.null;
  } else if (n == "first" || n == "last") {
    t.sql = "acc_" + n + "(" + arg(a.sql) + ")";
    t.type = a.null ? AccessType::kText : a.type;
    t.null = a.null;
  } else {  // stdev, stdevp, var, varp
    t.sql = "acc_" + n + "(" + arg(AsNumber(a)) + ")";
    t.type = AccessType::kDouble;
  }
  return t;
}

T Translator::Call(const Expr& e, const Scope& scope) {
  const std::string n = Name(e);
  const fn::FunctionSpec* spec = fn::FindFunction(n);
  if (spec == nullptr) throw TranslateError(StandardError(errnum::kUndefinedFunction, {e.name}));
  if (spec->kind == fn::FunctionKind::kAggregate) return Aggregate(e, n, scope);
  if (e.star) throw TranslateError(errnum::kSyntax, msg::kStarOnlyInCount());
  Arity(e, static_cast<size_t>(spec->min_args),
        spec->max_args < 0 ? SIZE_MAX : static_cast<size_t>(spec->max_args));
  std::vector<T> a;
  bool agg = false;
  for (const auto& arg : e.args) {
    a.push_back(Expression(*arg, scope));
    agg = agg || a.back().aggregate;
  }
  T t;
  t.aggregate = agg;
  auto call = [&](const std::string& f, const std::vector<std::string>& args) {
    std::string s = f + "(";
    for (size_t i = 0; i < args.size(); ++i) {
      if (i) s += ", ";
      s += args[i];
    }
    return s + ")";
  };
  auto result = [&](std::string sql, AccessType type) {
    t.sql = std::move(sql);
    t.type = type;
    return t;
  };
  if (spec->kind == fn::FunctionKind::kPlain) {
    std::vector<std::string> args;
    for (size_t i = 0; i < a.size(); ++i) {
      switch (spec->params[i]) {
        case 'T':
          args.push_back(AsText(a[i]));
          break;
        case 'N':
          args.push_back(AsNumber(a[i]));
          break;
        case 'D':
          args.push_back(IsText(a[i].type) ? a[i].sql : AsNumber(a[i]));
          break;
        default:
          args.push_back(a[i].type == AccessType::kCurrency ? AsNumber(a[i]) : a[i].sql);
          break;
      }
    }
    T r = result(call("acc_" + n, args), spec->result);
    if (!spec->deterministic) r.aggregate = false;  // Date, Now, Time
    return r;
  }
  if (n == "iif") {
    const AccessType ty = Unify(a[1], a[2]);
    T r = result("(CASE WHEN " + Cond(a[0]) + " THEN " + ConvertTo(a[1], ty) + " ELSE " +
                     ConvertTo(a[2], ty) + " END)",
                 ty);
    r.null = a[1].null && a[2].null;
    return r;
  }
  if (n == "switch") {
    if (a.empty() || a.size() % 2 != 0) throw TranslateError(errnum::kSyntax, msg::kSwitchPairs());
    T acc = a[1];
    for (size_t i = 3; i < a.size(); i += 2)
      acc.type = Unify(acc, a[i]), acc.null = acc.null && a[i].null;
    std::string s = "(CASE";
    for (size_t i = 0; i < a.size(); i += 2)
      s += " WHEN " + Cond(a[i]) + " THEN " + ConvertTo(a[i + 1], acc.type);
    T r = result(s + " END)", acc.type);
    r.null = acc.null;
    return r;
  }
  if (n == "choose") {
    T acc = a[1];
    for (size_t i = 2; i < a.size(); ++i) {
      acc.type = Unify(acc, a[i]);
      acc.null = acc.null && a[i].null;
    }
    // The index is rounded down as Choose does; out of range gives Null.
    std::string s = "(CASE CAST(acc_fix(" + AsNumber(a[0]) + ") AS INTEGER)";
    for (size_t i = 1; i < a.size(); ++i)
      s += " WHEN " + std::to_string(i) + " THEN " + ConvertTo(a[i], acc.type);
    T r = result(s + " END)", acc.type);
    r.null = acc.null;
    return r;
  }
  if (n == "nz") {
    if (a.size() == 1) {
      if (IsText(a[0].type) || a[0].null)
        return result("COALESCE(" + a[0].sql + ", '')", AccessType::kText);
      return result("COALESCE(" + a[0].sql + ", 0)", a[0].type);
    }
    const AccessType ty = Unify(a[0], a[1]);
    return result("COALESCE(" + ConvertTo(a[0], ty) + ", " + ConvertTo(a[1], ty) + ")", ty);
  }
  if (n == "isnull") {
    return Bool("(" + a[0].sql + ") IS NULL", agg);
  }
  if (n == "ccur") {
    return result(AsCurrency(a[0]), AccessType::kCurrency);
  }
  if (n == "cdbl") {
    return result(call("acc_cdbl", {AsNumber(a[0])}), AccessType::kDouble);
  }
  if (n == "clng" || n == "cint") {
    return result(call("acc_" + n, {AsNumber(a[0])}),
                  n == "clng" ? AccessType::kLong : AccessType::kInteger);
  }
  if (n == "cstr") {
    return result(AsText(a[0]), AccessType::kText);
  }
  if (n == "cdate" || n == "datevalue") {
    return result(call("acc_cdate", {IsText(a[0].type) ? a[0].sql : AsNumber(a[0])}),
                  AccessType::kDateTime);
  }
  if (n == "cbool") {
    return result(call("acc_cbool", {IsText(a[0].type) ? a[0].sql : AsNumber(a[0])}),
                  AccessType::kBoolean);
  }
  if (n == "int" || n == "fix" || n == "round" || n == "abs") {
    std::vector<std::string> args{AsNumber(a[0])};
    if (a.size() > 1) args.push_back(AsNumber(a[1]));
    const std::string s = call("acc_" + n, args);
    if (a[0].type == AccessType::kCurrency)
      return result("acc_ccur(" + s + ")", AccessType::kCurrency);
    if (IsIntegral(a[0].type))
      return result(s, a[0].type == AccessType::kBoolean ? AccessType::kInteger : a[0].type);
    if (a[0].type == AccessType::kDateTime && n != "abs") return result(s, AccessType::kDateTime);
    return result(s, AccessType::kDouble);
  }
  if (n == "instr") {
    std::vector<std::string> args;
    if (a.size() == 2) {
      args = {AsText(a[0]), AsText(a[1])};
    } else {
      args = {AsNumber(a[0]), AsText(a[1]), AsText(a[2])};
      if (a.size() == 4) args.push_back(AsNumber(a[3]));
    }
    return result(call("acc_instr", args), AccessType::kLong);
  }
  if (n == "format") {
    const T& v = a[0];
    std::string value = v.type == AccessType::kCurrency ? AsNumber(v) : v.sql;
    if (v.null) value = "NULL";
    const std::string pattern = a.size() > 1 ? AsText(a[1]) : "''";
    return result(call("acc_format", {value, pattern, v.type == AccessType::kDateTime ? "1" : "0"}),
                  AccessType::kText);
  }
  throw TranslateError(StandardError(errnum::kUndefinedFunction, {e.name}));
}

}  // namespace kestrin::automation::mdb::translate_detail
