// Select, union and crosstab statements, translated into SQLite.
#include "automation/mdb/query/translate.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <utility>

#include "automation/mdb/query/access_functions.h"
#include "automation/mdb/query/sqlite_db.h"
#include "automation/mdb/query/translator.h"

namespace kestrin::automation::mdb::translate_detail {

Translation Translator::Run(const sql::Statement& st) {
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

std::string Translator::FromSql(const FromItem& f, Scope& scope, bool parenthesise_join) {
  switch (f.kind) {
    case FromItem::Kind::kTable: {
      const SourceInfo& info =
          external_.empty() ? catalog_.Source(f.name) : catalog_.ExternalSource(external_, f.name);
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

void Translator::CheckUniqueSource(const Scope& scope, const std::string& name) {
  for (const auto& s : scope.sources) {
    if (SameName(s.name, name))
      throw TranslateError(err::kDuplicateSource,
                           "The source name '" + name + "' is used twice in the FROM clause.");
  }
}

std::string Translator::WhereClause(const Select& s, Scope& scope) {
  if (!s.where) return "";
  const T w = Expression(*s.where, scope);
  if (w.aggregate)
    throw TranslateError(err::kAggregateInWhere, "Cannot have aggregate function in WHERE clause.");
  return " WHERE " + Cond(w);
}

std::string Translator::FromClause(const Select& s, Scope& scope) {
  // The tables of this FROM clause come from the IN clause's database.
  const std::string saved_external = std::exchange(external_, s.external_database);
  std::string out;
  for (const auto& f : s.from) {
    if (!out.empty()) out += ", ";
    out += FromSql(f, scope, s.from.size() > 1);
  }
  external_ = saved_external;
  return out;
}

std::vector<OutputItem> Translator::Outputs(const Select& s, const Scope& scope,
                                            bool* any_aggregate) {
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
        throw TranslateError(err::kTableNotFound, "The input table or query '" + q + "' of '" + q +
                                                      ".*' is not in the FROM clause.");
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

std::string Translator::TextKey(const T& e) {
  if (e.null || !IsText(e.type)) return e.sql;
  return "(" + e.sql + ") COLLATE access_text";
}

std::string Translator::OrderKey(const T& k, bool desc) {
  std::string s = k.sql;
  if (IsText(k.type)) s = "(" + s + ") COLLATE access_text";
  return s + (desc ? " DESC" : "");
}

Translator::Part Translator::TranslateSelect(const Select& s, const Scope* outer, bool top_level) {
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

  const std::string where = WhereClause(s, scope);
  std::string group, having;
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

void Translator::TranslateUnion(const sql::Statement& st, Translation& out) {
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

void Translator::TranslateCrosstab(const sql::Statement& st, Translation& out) {
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
  const std::string where = WhereClause(s, scope);
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
    throw TranslateError(err::kTooManyFields, "Too many fields defined: the crosstab would have " +
                                                  std::to_string(rows.size() + headings.size()) +
                                                  " columns.");
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
      filter.condition = "(" + pivot_sql + ") = " + literal + (text ? " COLLATE access_text" : "");
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
  out.sql = "SELECT " + items + body + group + having + (order.empty() ? "" : " ORDER BY " + order);
}

}  // namespace kestrin::automation::mdb::translate_detail

namespace kestrin::automation::mdb {

Translation Translate(const sql::Statement& statement, Catalog& catalog) {
  translate_detail::Translator t(catalog);
  return t.Run(statement);
}

}  // namespace kestrin::automation::mdb
