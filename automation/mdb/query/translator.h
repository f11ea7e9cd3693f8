// The translator of Access statements into SQLite, shared by the files that
// make it up: the typed expressions and the coercions between Access types
// (translate_types.cpp), expressions and function calls
// (translate_expressions.cpp), and select, union and crosstab statements
// (translate.cpp). Internal to the query engine.
#pragma once

#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "automation/mdb/query/access_errors.h"
#include "automation/mdb/query/access_names.h"
#include "automation/mdb/query/access_sql.h"
#include "automation/mdb/query/translate.h"

namespace kestrin::automation::mdb::translate_detail {

using sql::Expr;
using sql::ExprKind;
using sql::FromItem;
using sql::Select;

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

// ---- coercions between Access types (translate_types.cpp) ----

bool IsText(AccessType t);
bool IsIntegral(AccessType t);
std::string Real(double v);
std::string AsNumber(const T& e);
// The expression as a condition (WHERE, ON, HAVING, CASE WHEN): comparisons
// keep their plain form so that SQLite can use them for joins and indexes.
std::string Cond(const T& e);
std::string AsText(const T& e);
std::string AsCurrency(const T& e);
std::string AsDate(const T& e);
std::string ConvertTo(const T& e, AccessType type);
// The type two alternatives (IIf branches, union parts) share.
AccessType Unify(const T& a, const T& b);
AccessType Widest(AccessType a, AccessType b);
T Bool(std::string sql, bool aggregate);
T NullT();

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

  Translation Run(const sql::Statement& st);

 private:
  struct Part {
    std::string sql;
    std::vector<ColumnInfo> columns;
    std::vector<bool> nulls;  // the column is the Null literal
  };

  std::string NewAlias() { return "t" + std::to_string(next_alias_++); }

  // ---- FROM ----

  std::string FromSql(const FromItem& f, Scope& scope, bool parenthesise_join);

  static void CheckUniqueSource(const Scope& scope, const std::string& name);

  std::string FromClause(const Select& s, Scope& scope);
  // " WHERE <condition>", or "" without one; an aggregate there is refused.
  std::string WhereClause(const Select& s, Scope& scope);

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

  T Column(const Expr& e, const Scope& scope);

  // ---- expressions ----

  T Expression(const Expr& e, const Scope& scope);

  T Unary(const Expr& e, const Scope& scope);

  // The domain two compared values meet in.
  static AccessType CompareDomain(const T& a, const std::vector<T>& others);

  static std::string Compare(const std::string& op, const T& a, const T& b);

  T Binary(const Expr& e, const Scope& scope);

  // ---- functions ----

  static std::string Name(const Expr& e);

  void Arity(const Expr& e, size_t lo, size_t hi);

  T Aggregate(const Expr& e, const std::string& n, const Scope& scope);

  T Call(const Expr& e, const Scope& scope);

  // ---- SELECT ----

  std::vector<OutputItem> Outputs(const Select& s, const Scope& scope, bool* any_aggregate);

  // An output column: text compares without regard to case wherever the
  // column is used (DISTINCT, UNION, and queries built on this one).
  static std::string TextKey(const T& e);

  static std::string OrderKey(const T& k, bool desc);

  Part TranslateSelect(const Select& s, const Scope* outer, bool top_level);

  // ---- UNION ----

  void TranslateUnion(const sql::Statement& st, Translation& out);

  // ---- crosstab ----

  void TranslateCrosstab(const sql::Statement& st, Translation& out);

  Catalog& catalog_;
  int next_alias_ = 0;
  std::set<std::string> parameters_;  // NameKey of each parameter
  std::set<std::string>* contributing_ = nullptr;
  bool row_keys_ = false;  // table sources carry their rowid as kRowKey
  std::string external_;   // the database of the FROM clause's IN, or empty
  std::vector<const sql::SelectItem*> alias_stack_;
  const PivotFilter* pivot_ = nullptr;
  bool in_aggregate_ = false;
};

}  // namespace kestrin::automation::mdb::translate_detail
