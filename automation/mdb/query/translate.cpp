#include "automation/mdb/query/translate.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>

#include "automation/mdb/query/access_errors.h"
#include "automation/mdb/query/access_functions.h"
#include "automation/mdb/query/access_names.h"
#include "automation/mdb/query/sqlite_db.h"

namespace kestrin::automation::mdb {

namespace {

using sql::Expr;
using sql::ExprKind;
using sql::FromItem;
using sql::Select;

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

// A translated expression.
struct T {
  std::string sql;
  AccessType type = AccessType::kText;
  bool null = false;       // the Null literal
  bool aggregate = false;  // contains an aggregate function
  bool column = false;     // a plain column reference
  std::string cond;        // for truth values: the 1/0 form SQLite can optimise
  std::string column_name, column_qualifier;
};

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

// The rowid of a table source, as a column of the source (table columns are
// named f0, f1, ...).
constexpr const char* kRowKey = "rk";

struct SourceRef {
  std::string name;       // as written in the query (alias or name)
  std::string sql_alias;  // generated alias
  std::vector<SourceInfo::Column> columns;
  bool has_rowid = false;
};

struct Scope {
  std::vector<SourceRef> sources;
  const Scope* outer = nullptr;
  // Output items of the select, for names that refer to another output's alias.
  const std::vector<sql::SelectItem>* items = nullptr;
};

// Filter that turns each aggregate's argument into a conditional one; used
// for a crosstab's value per column heading.
struct PivotFilter {
  std::string condition;
};

struct OutputItem {
  T expr;
  std::string name;
  bool from_column = false;
  std::string qualifier;
};

class Translator {
 public:
  explicit Translator(Catalog& catalog) : catalog_(catalog) {}

  Translation Run(const sql::Statement& st) {
    Translation out;
    // Each parameter counts once, declared or not, here or in a source.
    for (const auto& p : st.parameters) parameters_.insert(NameKey(p.name));
    switch (st.kind) {
      case sql::Statement::Kind::kSelect: {
        Part part = TranslateSelect(*st.selects[0], nullptr, true);
        out.sql = std::move(part.sql);
        out.columns = std::move(part.columns);
        break;
      }
      case sql::Statement::Kind::kUnion:
        TranslateUnion(st, out);
        break;
      case sql::Statement::Kind::kCrosstab:
        TranslateCrosstab(st, out);
        break;
    }
    out.parameters = parameters_;
    return out;
  }

 private:
  struct Part {
    std::string sql;
    std::vector<ColumnInfo> columns;
    std::vector<bool> nulls;  // the column is the Null literal
  };

  std::string NewAlias() { return "t" + std::to_string(next_alias_++); }

  // ---- FROM ----

  std::string FromSql(const FromItem& f, Scope& scope, bool parenthesise_join) {
    switch (f.kind) {
      case FromItem::Kind::kTable: {
        const SourceInfo& info = catalog_.Source(f.name);
        parameters_.insert(info.parameters.begin(), info.parameters.end());
        SourceRef ref;
        ref.name = f.alias.empty() ? f.name : f.alias;
        ref.sql_alias = NewAlias();
        ref.columns = info.columns;
        ref.has_rowid = info.has_rowid;
        CheckUniqueSource(scope, ref.name);
        scope.sources.push_back(ref);
        // A table inside parentheses does not show its rowid to the select
        // around the join: a select keyed on records carries the key up as
        // a column of its own.
        if (row_keys_ && info.has_rowid) {
          return "(SELECT rowid AS " + QuoteIdentifier(kRowKey) + ", * FROM " +
                 QuoteIdentifier(info.sql_name) + ") AS " + QuoteIdentifier(ref.sql_alias);
        }
        return QuoteIdentifier(info.sql_name) + " AS " + QuoteIdentifier(ref.sql_alias);
      }
      case FromItem::Kind::kSubquery: {
        Part part = TranslateSelect(*f.subquery, nullptr, false);
        SourceRef ref;
        ref.name = f.alias.empty() ? "Query" + std::to_string(next_alias_) : f.alias;
        ref.sql_alias = NewAlias();
        for (size_t i = 0; i < part.columns.size(); ++i) {
          ref.columns.push_back(
              {part.columns[i].name, part.columns[i].type, "c" + std::to_string(i)});
        }
        CheckUniqueSource(scope, ref.name);
        scope.sources.push_back(ref);
        return "(" + part.sql + ") AS " + QuoteIdentifier(ref.sql_alias);
      }
      case FromItem::Kind::kJoin: {
        const std::string l = FromSql(*f.left, scope, true);
        const std::string r = FromSql(*f.right, scope, true);
        const char* kw = f.join == sql::JoinKind::kInner
                             ? " INNER JOIN "
                             : (f.join == sql::JoinKind::kLeft ? " LEFT JOIN " : " RIGHT JOIN ");
        const T on = Expression(*f.on, scope);
        if (on.aggregate)
          throw TranslateError(err::kAggregateInWhere,
                               "An aggregate function is not allowed in a join condition.");
        std::string s = l + kw + r + " ON " + Cond(on);
        return parenthesise_join ? "(" + s + ")" : s;
      }
    }
    return {};
  }

  static void CheckUniqueSource(const Scope& scope, const std::string& name) {
    for (const auto& s : scope.sources) {
      if (SameName(s.name, name))
        throw TranslateError(err::kDuplicateSource,
                             "The source name '" + name + "' is used twice in the FROM clause.");
    }
  }

  std::string FromClause(const Select& s, Scope& scope) {
    if (!s.external_database.empty())
      throw TranslateError(err::kFileNotFound, "Queries on an external database ('" +
                                                   s.external_database + "') are not supported.");
    std::string out;
    for (const auto& f : s.from) {
      if (!out.empty()) out += ", ";
      out += FromSql(f, scope, s.from.size() > 1);
    }
    return out;
  }

  // ---- names ----

  struct Found {
    const SourceRef* source;
    const SourceInfo::Column* column;
  };

  std::optional<Found> Lookup(const Scope& scope, const std::string& qualifier,
                              const std::string& name) {
    for (const Scope* s = &scope; s; s = s->outer) {
      if (!qualifier.empty()) {
        for (const auto& src : s->sources) {
          if (!SameName(src.name, qualifier)) continue;
          for (const auto& c : src.columns) {
            if (SameName(c.name, name)) return Found{&src, &c};
          }
          return std::nullopt;  // a known source without that column: a parameter
        }
        continue;
      }
      std::optional<Found> hit;
      for (const auto& src : s->sources) {
        for (const auto& c : src.columns) {
          if (!SameName(c.name, name)) continue;
          if (hit)
            throw TranslateError(err::kAmbiguousField,
                                 "The specified field '" + name +
                                     "' could refer to more than one table listed in "
                                     "the FROM clause.");
          hit = Found{&src, &c};
        }
      }
      if (hit) return hit;
    }
    return std::nullopt;
  }

  T Column(const Expr& e, const Scope& scope) {
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
            throw TranslateError(err::kCircularAlias,
                                 "Circular reference caused by alias '" + e.name + "'.");
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
    parameters_.insert(NameKey(e.qualifier.empty() ? e.name : e.qualifier + "." + e.name));
    return NullT();
  }

  // ---- expressions ----

  T Expression(const Expr& e, const Scope& scope) {
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
        t.type =
            e.integer >= -32768 && e.integer <= 32767 ? AccessType::kInteger : AccessType::kLong;
        return t;
      }
      case ExprKind::kNumber: {
        T t;
        t.sql = Real(e.number);
        t.type = AccessType::kDouble;
        return t;
      }
      case ExprKind::kText: {
        T t;
        t.sql = QuoteString(e.text);
        t.type = AccessType::kText;
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
        throw TranslateError(err::kSyntax,
                             "'*' is allowed only in the output list and in Count(*).");
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
          throw TranslateError(err::kSubqueryColumns,
                               "A subquery used with IN must return exactly one column.");
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
          throw TranslateError(err::kSubqueryColumns,
                               "A subquery used as a value must return exactly one column.");
        T t;
        t.sql = "(SELECT \"c0\" FROM (" + part.sql + ") LIMIT 1)";
        t.type = part.columns[0].type;
        return t;
      }
      case ExprKind::kCall:
        return Call(e, scope);
    }
    throw TranslateError(err::kSyntax, "Unsupported expression.");
  }

  T Unary(const Expr& e, const Scope& scope) {
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

  // The domain two compared values meet in.
  static AccessType CompareDomain(const T& a, const std::vector<T>& others) {
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

  static std::string Compare(const std::string& op, const T& a, const T& b) {
    if (a.null || b.null) return "NULL";
    const AccessType d = CompareDomain(a, {b});
    std::string s = "(" + ConvertTo(a, d) + ") " + op + " (" + ConvertTo(b, d) + ")";
    if (IsText(d)) s += " COLLATE access_text";
    return "(" + s + ")";
  }

  T Binary(const Expr& e, const Scope& scope) {
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

  // ---- functions ----

  static std::string Name(const Expr& e) {
    std::string n = NameKey(e.name);
    if (!n.empty() && n.back() == '$') n.pop_back();
    return n;
  }

  void Arity(const Expr& e, size_t lo, size_t hi) {
    if (e.star || e.args.size() < lo || e.args.size() > hi)
      throw TranslateError(err::kSyntax, "Wrong number of arguments used with function '" + e.name +
                                             "' in query expression.");
  }

  T Aggregate(const Expr& e, const std::string& n, const Scope& scope) {
    if (in_aggregate_)
      throw TranslateError(err::kNestedAggregate,
                           "Cannot have aggregate function in expression (" + e.name + ").");
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

  T Call(const Expr& e, const Scope& scope) {
    const std::string n = Name(e);
    const fn::FunctionSpec* spec = fn::FindFunction(n);
    if (spec == nullptr)
      throw TranslateError(err::kUndefinedFunction,
                           "Undefined function '" + e.name + "' in expression.");
    if (spec->kind == fn::FunctionKind::kAggregate) return Aggregate(e, n, scope);
    if (e.star) throw TranslateError(err::kSyntax, "'*' is allowed only in Count(*).");
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
      if (a.empty() || a.size() % 2 != 0)
        throw TranslateError(err::kSyntax, "Switch needs pairs of conditions and values.");
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
      return result(
          call("acc_format", {value, pattern, v.type == AccessType::kDateTime ? "1" : "0"}),
          AccessType::kText);
    }
    throw TranslateError(err::kUndefinedFunction,
                         "Undefined function '" + e.name + "' in expression.");
  }

  // ---- SELECT ----

  std::vector<OutputItem> Outputs(const Select& s, const Scope& scope, bool* any_aggregate) {
    std::vector<OutputItem> out;
    for (const auto& item : s.items) {
      if (item.expr->kind == ExprKind::kStar) {
        const std::string& q = item.expr->qualifier;
        bool matched = false;
        for (const auto& src : scope.sources) {
          if (!q.empty() && !SameName(src.name, q)) continue;
          matched = true;
          if (contributing_) contributing_->insert(src.sql_alias);
          for (const auto& c : src.columns) {
            OutputItem o;
            o.expr.sql = QuoteIdentifier(src.sql_alias) + "." + QuoteIdentifier(c.sql_name);
            o.expr.type = c.type;
            o.name = c.name;
            o.from_column = true;
            o.qualifier = src.name;
            out.push_back(std::move(o));
          }
        }
        if (!matched) {
          if (q.empty())
            throw TranslateError(err::kSyntax, "'*' needs at least one table in the FROM clause.");
          throw TranslateError(err::kTableNotFound, "The input table or query '" + q + "' of '" +
                                                        q + ".*' is not in the FROM clause.");
        }
        continue;
      }
      OutputItem o;
      o.expr = Expression(*item.expr, scope);
      if (o.expr.aggregate) *any_aggregate = true;
      if (!item.alias.empty()) {
        o.name = item.alias;
      } else if (item.expr->kind == ExprKind::kColumn && o.expr.column) {
        o.name = o.expr.column_name;
        o.from_column = true;
        o.qualifier = o.expr.column_qualifier;
      }
      out.push_back(std::move(o));
    }
    // Duplicated column names take their source's name; unnamed ones ExprNNNN.
    std::map<std::string, int> count;
    for (const auto& o : out) {
      if (!o.name.empty()) ++count[NameKey(o.name)];
    }
    int expr_no = 1000;
    for (auto& o : out) {
      if (o.name.empty()) {
        o.name = "Expr" + std::to_string(expr_no++);
      } else if (o.from_column && count[NameKey(o.name)] > 1) {
        o.name = o.qualifier + "." + o.name;
      }
    }
    return out;
  }

  // An output column: text compares without regard to case wherever the
  // column is used (DISTINCT, UNION, and queries built on this one).
  static std::string TextKey(const T& e) {
    if (e.null || !IsText(e.type)) return e.sql;
    return "(" + e.sql + ") COLLATE access_text";
  }

  static std::string OrderKey(const T& k, bool desc) {
    std::string s = k.sql;
    if (IsText(k.type)) s = "(" + s + ") COLLATE access_text";
    return s + (desc ? " DESC" : "");
  }

  Part TranslateSelect(const Select& s, const Scope* outer, bool top_level) {
    Scope scope;
    scope.outer = outer;
    scope.items = &s.items;
    std::set<std::string> contributing;
    std::set<std::string>* saved_contributing = contributing_;
    contributing_ = nullptr;
    const bool saved_row_keys = row_keys_;
    row_keys_ = s.distinctrow && !s.distinct;
    const std::string from = FromClause(s, scope);
    row_keys_ = saved_row_keys;
    contributing_ = &contributing;
    bool any_aggregate = false;
    std::vector<OutputItem> outputs = Outputs(s, scope, &any_aggregate);
    contributing_ = saved_contributing;
    if (outputs.empty()) throw TranslateError(err::kSyntax, "The query has no output columns.");

    std::string where, group, having;
    if (s.where) {
      const T w = Expression(*s.where, scope);
      if (w.aggregate)
        throw TranslateError(err::kAggregateInWhere,
                             "Cannot have aggregate function in WHERE clause.");
      where = " WHERE " + Cond(w);
    }
    for (const auto& g : s.group_by) {
      const T gt = Expression(*g, scope);
      if (gt.aggregate)
        throw TranslateError(err::kAggregateInGroupBy,
                             "Cannot have aggregate function in GROUP BY clause.");
      group += group.empty() ? " GROUP BY " : ", ";
      group += IsText(gt.type) ? "(" + gt.sql + ") COLLATE access_text" : gt.sql;
    }
    if (s.having) having = " HAVING " + Cond(Expression(*s.having, scope));
    const bool grouped = !s.group_by.empty() || any_aggregate || s.having;

    std::vector<std::pair<T, bool>> keys;
    const bool want_order = top_level || s.top.has_value();
    if (want_order) {
      for (const auto& o : s.order_by) keys.emplace_back(Expression(*o.expr, scope), o.descending);
    }
    // Access returns grouped rows in the order of their groups when nothing
    // else is asked for.
    if (top_level && keys.empty() && !s.top) {
      for (const auto& g : s.group_by) keys.emplace_back(Expression(*g, scope), false);
    }

    Part part;
    for (const auto& o : outputs) {
      part.columns.push_back({o.name, o.expr.null ? AccessType::kText : o.expr.type});
      part.nulls.push_back(o.expr.null);
    }
    std::string items;
    for (size_t i = 0; i < outputs.size(); ++i) {
      if (i) items += ", ";
      items += TextKey(outputs[i].expr) + " AS " + QuoteIdentifier("c" + std::to_string(i));
    }
    const std::string body = (from.empty() ? "" : " FROM " + from) + where + group + having;
    const bool distinctrow = s.distinctrow && !grouped && !s.distinct;
    if (!s.top && !distinctrow) {
      std::string sql = std::string("SELECT ") + (s.distinct ? "DISTINCT " : "") + items + body;
      if (!keys.empty()) {
        sql += " ORDER BY ";
        for (size_t i = 0; i < keys.size(); ++i) {
          if (i) sql += ", ";
          sql += OrderKey(keys[i].first, keys[i].second);
        }
      }
      part.sql = std::move(sql);
      return part;
    }
    // Layered: inner rows with hidden sort keys (and row keys for DISTINCTROW),
    // then ranking for TOP, then the projection in order.
    std::string inner =
        std::string("SELECT ") + (s.distinct || distinctrow ? "DISTINCT " : "") + items;
    for (size_t i = 0; i < keys.size(); ++i) {
      inner += ", " + TextKey(keys[i].first) + " AS " + QuoteIdentifier("k" + std::to_string(i));
    }
    if (distinctrow) {
      int r = 0;
      for (const auto& src : scope.sources) {
        if (!contributing.empty() && !contributing.count(src.sql_alias)) continue;
        if (src.has_rowid) {
          inner += ", " + QuoteIdentifier(src.sql_alias) + "." + QuoteIdentifier(kRowKey) + " AS " +
                   QuoteIdentifier("r" + std::to_string(r++));
        } else {
          for (const auto& c : src.columns) {
            inner += ", " + QuoteIdentifier(src.sql_alias) + "." + QuoteIdentifier(c.sql_name) +
                     " AS " + QuoteIdentifier("r" + std::to_string(r++));
          }
        }
      }
    }
    inner += body;
    std::string order;
    for (size_t i = 0; i < keys.size(); ++i) {
      if (i) order += ", ";
      T k = keys[i].first;
      k.sql = QuoteIdentifier("k" + std::to_string(i));
      order += OrderKey(k, keys[i].second);
    }
    std::string projection;
    for (size_t i = 0; i < outputs.size(); ++i) {
      if (i) projection += ", ";
      projection += QuoteIdentifier("c" + std::to_string(i));
    }
    std::string from_rows = "(" + inner + ")";
    std::string filter;
    if (s.top) {
      const std::string rank =
          keys.empty() ? "ROW_NUMBER() OVER ()" : "RANK() OVER (ORDER BY " + order + ")";
      from_rows =
          "(SELECT *, " + rank + " AS \"rk\", COUNT(*) OVER () AS \"cnt\" FROM " + from_rows + ")";
      if (s.top_percent) {
        filter = " WHERE (\"rk\" - 1) * 100.0 < \"cnt\" * " + Real(*s.top);
      } else {
        filter = " WHERE \"rk\" <= " + Real(*s.top);
      }
    }
    part.sql = "SELECT " + projection + " FROM " + from_rows + filter;
    if (!order.empty()) part.sql += " ORDER BY " + order;
    return part;
  }

  // ---- UNION ----

  void TranslateUnion(const sql::Statement& st, Translation& out) {
    std::vector<Part> parts;
    for (const auto& s : st.selects) parts.push_back(TranslateSelect(*s, nullptr, false));
    const size_t width = parts[0].columns.size();
    for (const auto& p : parts) {
      if (p.columns.size() != width)
        throw TranslateError(err::kUnionColumns,
                             "The number of columns in the two selected tables or queries "
                             "of a union query do not match.");
    }
    std::vector<AccessType> types;
    for (size_t c = 0; c < width; ++c) {
      T acc;
      acc.type = parts[0].columns[c].type;
      acc.null = parts[0].nulls[c];
      for (size_t i = 1; i < parts.size(); ++i) {
        T next;
        next.type = parts[i].columns[c].type;
        next.null = parts[i].nulls[c];
        acc.type = Unify(acc, next);
        acc.null = acc.null && next.null;
      }
      types.push_back(acc.type);
    }
    std::string sql;
    for (size_t i = 0; i < parts.size(); ++i) {
      if (i) sql += st.union_all[i - 1] ? " UNION ALL " : " UNION ";
      std::string cols;
      for (size_t c = 0; c < width; ++c) {
        T col;
        col.sql = QuoteIdentifier("c" + std::to_string(c));
        col.type = parts[i].columns[c].type;
        if (c) cols += ", ";
        col.null = parts[i].nulls[c];
        T converted;
        converted.sql = ConvertTo(col, types[c]);
        converted.type = types[c];
        cols += TextKey(converted) + " AS " + QuoteIdentifier("c" + std::to_string(c));
      }
      sql += "SELECT " + cols + " FROM (" + parts[i].sql + ")";
    }
    for (size_t c = 0; c < width; ++c) out.columns.push_back({parts[0].columns[c].name, types[c]});
    sql = "SELECT * FROM (" + sql + ")";
    std::string order;
    for (const auto& o : st.union_order_by) {
      int index = -1;
      if (o.expr->kind == ExprKind::kColumn) {
        const std::string full =
            o.expr->qualifier.empty() ? o.expr->name : o.expr->qualifier + "." + o.expr->name;
        for (size_t c = 0; c < width && index < 0; ++c) {
          if (SameName(out.columns[c].name, full)) index = static_cast<int>(c);
        }
        for (size_t c = 0; c < width && index < 0; ++c) {
          if (SameName(out.columns[c].name, o.expr->name)) index = static_cast<int>(c);
        }
      } else if (o.expr->kind == ExprKind::kInteger && o.expr->integer >= 1 &&
                 static_cast<size_t>(o.expr->integer) <= width) {
        index = static_cast<int>(o.expr->integer - 1);
      }
      if (index < 0)
        throw TranslateError(err::kUnionOrder,
                             "The ORDER BY of a union query must name one of its output columns.");
      T k;
      k.sql = QuoteIdentifier("c" + std::to_string(index));
      k.type = types[static_cast<size_t>(index)];
      if (!order.empty()) order += ", ";
      order += OrderKey(k, o.descending);
    }
    if (!order.empty()) sql += " ORDER BY " + order;
    out.sql = std::move(sql);
  }

  // ---- crosstab ----

  void TranslateCrosstab(const sql::Statement& st, Translation& out) {
    const Select& s = *st.selects[0];
    // The crosstab wizard writes DISTINCTROW; over grouped rows it changes
    // nothing, and Access accepts it.
    if (s.distinct || s.top)
      throw TranslateError(err::kSyntax, "A crosstab query cannot use DISTINCT or TOP.");
    Scope scope;
    scope.items = &s.items;
    const std::string from = FromClause(s, scope);
    bool any_aggregate = false;
    std::vector<OutputItem> rows = Outputs(s, scope, &any_aggregate);
    std::string where;
    if (s.where) {
      const T w = Expression(*s.where, scope);
      if (w.aggregate)
        throw TranslateError(err::kAggregateInWhere,
                             "Cannot have aggregate function in WHERE clause.");
      where = " WHERE " + Cond(w);
    }
    const std::string body = (from.empty() ? "" : " FROM " + from) + where;
    const T pivot = Expression(*st.pivot, scope);
    if (pivot.aggregate)
      throw TranslateError(err::kSyntax, "The PIVOT expression cannot be an aggregate.");
    const std::string pivot_sql = pivot.sql;
    const bool text = IsText(pivot.type);

    std::vector<std::pair<std::string, std::string>> headings;  // literal, name
    if (!st.pivot_values.empty()) {
      for (const auto& v : st.pivot_values) {
        const Expr* lit = v.get();
        bool negative = false;
        if (lit->kind == ExprKind::kUnary && lit->op == "-") {
          negative = true;
          lit = lit->args[0].get();
        }
        std::string name;
        switch (lit->kind) {
          case ExprKind::kText:
            name = lit->text;
            break;
          case ExprKind::kInteger:
            name = std::to_string(negative ? -lit->integer : lit->integer);
            break;
          case ExprKind::kNumber:
            name = fn::NumberText(negative ? -lit->number : lit->number);
            break;
          case ExprKind::kDate:
            name = fn::DateText(lit->number);
            break;
          case ExprKind::kBoolean:
            name = lit->boolean ? "True" : "False";
            break;
          default:
            throw TranslateError(err::kSyntax,
                                 "The column headings of a crosstab must be constants.");
        }
        const T value = Expression(*v, scope);
        headings.emplace_back(ConvertTo(value, pivot.null ? AccessType::kText : pivot.type), name);
      }
    } else if (parameters_.empty()) {
      std::string q = "SELECT DISTINCT " +
                      std::string(text ? "(" + pivot_sql + ") COLLATE access_text" : pivot_sql) +
                      " AS \"c0\"" + body + " ORDER BY 1";
      headings = catalog_.Headings(q, pivot.null ? AccessType::kText : pivot.type);
    }

    // Access's limit on the fields of a query.
    if (rows.size() + headings.size() > 255)
      throw TranslateError(err::kTooManyFields,
                           "Too many fields defined: the crosstab would have " +
                               std::to_string(rows.size() + headings.size()) + " columns.");
    std::string items;
    for (size_t i = 0; i < rows.size(); ++i) {
      if (i) items += ", ";
      items += TextKey(rows[i].expr) + " AS " + QuoteIdentifier("c" + std::to_string(i));
      out.columns.push_back(
          {rows[i].name, rows[i].expr.null ? AccessType::kText : rows[i].expr.type});
    }
    for (size_t h = 0; h < headings.size(); ++h) {
      const auto& [literal, name] = headings[h];
      PivotFilter filter;
      if (literal == "NULL") {
        filter.condition = "(" + pivot_sql + ") IS NULL";
      } else {
        filter.condition =
            "(" + pivot_sql + ") = " + literal + (text ? " COLLATE access_text" : "");
      }
      pivot_ = &filter;
      const T value = Expression(*st.transform, scope);
      pivot_ = nullptr;
      if (!value.aggregate)
        throw TranslateError(err::kCrosstabValue,
                             "The TRANSFORM value of a crosstab must be an aggregate.");
      const std::string cell = "(CASE WHEN SUM(CASE WHEN " + filter.condition +
                               " THEN 1 ELSE 0 END) > 0 THEN " + value.sql + " END)";
      items += ", " + cell + " AS " + QuoteIdentifier("c" + std::to_string(rows.size() + h));
      out.columns.push_back({name, value.null ? AccessType::kText : value.type});
    }
    if (items.empty()) throw TranslateError(err::kSyntax, "The crosstab has no columns.");
    std::string group, order;
    for (const auto& g : s.group_by) {
      const T gt = Expression(*g, scope);
      group += group.empty() ? " GROUP BY " : ", ";
      const std::string key = IsText(gt.type) ? "(" + gt.sql + ") COLLATE access_text" : gt.sql;
      group += key;
    }
    std::string having;
    if (s.having) having = " HAVING " + Cond(Expression(*s.having, scope));
    for (const auto& o : s.order_by) {
      if (!order.empty()) order += ", ";
      order += OrderKey(Expression(*o.expr, scope), o.descending);
    }
    for (const auto& g : s.group_by) {
      if (!order.empty()) order += ", ";
      order += OrderKey(Expression(*g, scope), false);
    }
    out.sql =
        "SELECT " + items + body + group + having + (order.empty() ? "" : " ORDER BY " + order);
  }

  Catalog& catalog_;
  int next_alias_ = 0;
  std::set<std::string> parameters_;  // NameKey of each parameter
  std::set<std::string>* contributing_ = nullptr;
  bool row_keys_ = false;  // table sources carry their rowid as kRowKey
  std::vector<const sql::SelectItem*> alias_stack_;
  const PivotFilter* pivot_ = nullptr;
  bool in_aggregate_ = false;
};

}  // namespace

Translation Translate(const sql::Statement& statement, Catalog& catalog) {
  Translator t(catalog);
  return t.Run(statement);
}

}  // namespace kestrin::automation::mdb
