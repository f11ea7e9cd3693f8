#include "automation/mdb/query/rebuild.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>

#include "automation/mdb/query/access_sql.h"
#include "automation/messages.h"

namespace kestrin::automation::mdb {

namespace {

enum Attr {
  kKind = 1,
  kParameter = 2,
  kOptions = 3,
  kExternal = 4,
  kSource = 5,
  kColumn = 6,
  kJoin = 7,
  kWhere = 8,
  kGroupBy = 9,
  kHaving = 10,
  kOrderBy = 11,
};

enum Option {
  kAllFields = 0x01,
  kDistinct = 0x02,
  kDistinctRow = 0x08,
  kTop = 0x10,
  kPercent = 0x20
};

// Memo fields written by Access may keep their terminating NUL.
void TrimNul(std::string& s) {
  while (!s.empty() && s.back() == '\0') s.pop_back();
}

std::vector<QueryDefRow> Sorted(const SavedQuery& q) {
  std::vector<QueryDefRow> rows = q.rows;
  for (auto& r : rows) {
    TrimNul(r.expression);
    TrimNul(r.name1);
    TrimNul(r.name2);
  }
  std::stable_sort(rows.begin(), rows.end(), [](const QueryDefRow& a, const QueryDefRow& b) {
    if (a.attribute != b.attribute) return a.attribute < b.attribute;
    return a.order < b.order;
  });
  return rows;
}

std::vector<const QueryDefRow*> Rows(const std::vector<QueryDefRow>& rows, int attribute) {
  std::vector<const QueryDefRow*> out;
  for (const auto& r : rows) {
    if (r.attribute == attribute) out.push_back(&r);
  }
  return out;
}

bool IEquals(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string Required(const std::string& expr, Message what) {
  if (expr.find_first_not_of(" \t\r\n") == std::string::npos)
    throw DefinitionError(msg::kDefEmpty({what.text}));
  return expr;
}

std::string QuoteAccessString(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'') out += '\'';
    out += c;
  }
  return out + "'";
}

std::string ParameterType(int code) {
  switch (code) {
    case 1:
      return "Bit";
    case 2:
      return "Byte";
    case 3:
      return "Short";
    case 4:
      return "Long";
    case 5:
      return "Currency";
    case 6:
      return "IEEESingle";
    case 7:
      return "IEEEDouble";
    case 8:
      return "DateTime";
    case 9:
      return "Binary";
    case 10:
      return "Text ( 255 )";
    case 11:
      return "LongBinary";
    case 12:
      return "Memo";
    case 15:
      return "Guid";
    case 16:
      return "Decimal";
    default:
      return "Value";
  }
}

// The FROM clause: sources merged into groups by the join rows.
std::string FromClause(const std::vector<QueryDefRow>& rows) {
  struct Group {
    std::vector<std::string> names;  // aliases (or names) of the sources inside
    std::string text;                // joined text, without the trailing ON condition
    std::vector<std::string> on;     // conditions of the outermost join
    bool compound = false;
  };
  std::vector<std::unique_ptr<Group>> groups;
  for (const QueryDefRow* s : Rows(rows, kSource)) {
    auto g = std::make_unique<Group>();
    std::string text;
    if (!s->expression.empty()) {
      text = "(" + s->expression + ")";
      if (s->name2.empty()) throw DefinitionError(msg::kDefSubqueryAlias());
      text += " AS " + AccessName(s->name2);
    } else {
      text = AccessName(s->name1);
      if (!s->name2.empty()) text += " AS " + AccessName(s->name2);
    }
    g->names.push_back(s->name2.empty() ? s->name1 : s->name2);
    g->text = std::move(text);
    groups.push_back(std::move(g));
  }
  auto render = [](const Group& g) {
    std::string t = g.text;
    if (!g.on.empty()) {
      t += " ON ";
      if (g.on.size() == 1) {
        t += g.on[0];
      } else {
        for (size_t i = 0; i < g.on.size(); ++i) {
          if (i) t += " AND ";
          t += "(" + g.on[i] + ")";
        }
      }
    }
    return t;
  };
  auto find = [&](const std::string& name) -> size_t {
    for (size_t i = 0; i < groups.size(); ++i) {
      for (const auto& n : groups[i]->names) {
        if (IEquals(n, name)) return i;
      }
    }
    throw DefinitionError(msg::kDefJoinSource({name}));
  };
  for (const QueryDefRow* j : Rows(rows, kJoin)) {
    const char* kind = nullptr;
    switch (j->flag) {
      case 1:
        kind = "INNER JOIN";
        break;
      case 2:
        kind = "LEFT JOIN";
        break;
      case 3:
        kind = "RIGHT JOIN";
        break;
      default:
        throw DefinitionError(msg::kDefJoinType({std::to_string(j->flag)}));
    }
    const std::string cond = Required(j->expression, msg::kDefJoinCondition);
    const size_t l = find(j->name1);
    const size_t r = find(j->name2);
    if (l == r) {
      groups[l]->on.push_back(cond);
      continue;
    }
    auto side = [&](const Group& g) {
      const std::string t = render(g);
      return g.compound ? "(" + t + ")" : t;
    };
    auto merged = std::make_unique<Group>();
    merged->text = side(*groups[l]) + " " + kind + " " + side(*groups[r]);
    merged->on.push_back(cond);
    merged->compound = true;
    merged->names = groups[l]->names;
    merged->names.insert(merged->names.end(), groups[r]->names.begin(), groups[r]->names.end());
    const size_t keep = std::min(l, r), drop = std::max(l, r);
    groups[keep] = std::move(merged);
    groups.erase(groups.begin() + static_cast<std::ptrdiff_t>(drop));
  }
  std::string out;
  for (const auto& g : groups) {
    if (!out.empty()) out += ", ";
    out += render(*g);
  }
  return out;
}

struct Options {
  int flags = 0;
  std::string top;
};

Options OptionsOf(const std::vector<QueryDefRow>& rows) {
  Options o;
  for (const QueryDefRow* r : Rows(rows, kOptions)) {
    o.flags |= r->flag;
    if (!r->name1.empty()) o.top = r->name1;
  }
  return o;
}

std::string SelectPrefix(const Options& o) {
  std::string s = "SELECT ";
  if (o.flags & kDistinct) s += "DISTINCT ";
  if (o.flags & kDistinctRow) s += "DISTINCTROW ";
  if (o.flags & kTop) {
    const std::string& n = o.top;
    if (n.empty() || !std::all_of(n.begin(), n.end(), [](char c) {
          return std::isdigit(static_cast<unsigned char>(c)) || c == '.';
        }))
      throw DefinitionError(msg::kDefTop({n}));
    s += "TOP " + n + " ";
    if (o.flags & kPercent) s += "PERCENT ";
  }
  return s;
}

std::string OutputItem(const QueryDefRow& r) {
  std::string s = Required(r.expression, msg::kDefOutput);
  if (!r.name1.empty()) s += " AS " + AccessName(r.name1);
  return s;
}

// WHERE, GROUP BY, HAVING and ORDER BY clauses, each on its own line.
std::string Tail(const std::vector<QueryDefRow>& rows, bool crosstab) {
  std::string out;
  for (const QueryDefRow* r : Rows(rows, kWhere)) {
    out += "\nWHERE " + Required(r->expression, msg::kDefWhere);
  }
  std::string group;
  for (const QueryDefRow* r : Rows(rows, kGroupBy)) {
    if (crosstab && r->flag == 1) continue;  // the column heading is pivoted, not grouped
    if (!group.empty()) group += ", ";
    group += Required(r->expression, msg::kDefGroupBy);
  }
  if (!group.empty()) out += "\nGROUP BY " + group;
  for (const QueryDefRow* r : Rows(rows, kHaving)) {
    out += "\nHAVING " + Required(r->expression, msg::kDefHaving);
  }
  std::string order;
  for (const QueryDefRow* r : Rows(rows, kOrderBy)) {
    if (!order.empty()) order += ", ";
    order += Required(r->expression, msg::kDefOrderBy);
    if (IEquals(r->name1, "D")) order += " DESC";
  }
  if (!order.empty()) out += "\nORDER BY " + order;
  return out;
}

std::string External(const std::vector<QueryDefRow>& rows) {
  std::string out;
  for (const QueryDefRow* r : Rows(rows, kExternal)) {
    if (r->name1.empty()) continue;  // an empty entry is the current database
    out += " IN " + QuoteAccessString(r->name1);
    if (!r->expression.empty()) out += " " + QuoteAccessString(r->expression);
  }
  return out;
}

std::string SelectBody(const std::vector<QueryDefRow>& rows, const Options& o,
                       const std::string& into) {
  std::string items;
  if (o.flags & kAllFields) items = "*";
  for (const QueryDefRow* r : Rows(rows, kColumn)) {
    if (!items.empty()) items += ", ";
    items += OutputItem(*r);
  }
  if (items.empty()) throw DefinitionError(msg::kDefNoOutput());
  std::string s = SelectPrefix(o) + items;
  if (!into.empty()) s += "\nINTO " + into;
  const std::string from = FromClause(rows);
  if (!from.empty()) s += "\nFROM " + from + External(rows);
  return s + Tail(rows, false);
}

}  // namespace

std::string AccessName(const std::string& name) {
  if (name.empty()) throw DefinitionError(msg::kDefEmpty({msg::kDefName.text}));
  if (name.find(']') != std::string::npos) throw DefinitionError(msg::kDefBracketInName({name}));
  bool plain = !std::isdigit(static_cast<unsigned char>(name[0]));
  for (unsigned char c : name) {
    if (!std::isalnum(c) && c != '_' && c < 0x80) plain = false;  // letters beyond ASCII are plain
  }
  if (plain && !sql::IsReservedWord(name)) return name;
  return "[" + name + "]";
}

QueryKind KindOf(const SavedQuery& query) {
  for (const auto& r : Sorted(query)) {
    if (r.attribute != kKind) continue;
    switch (r.flag) {
      case 1:
        return QueryKind::kSelect;
      case 2:
        return QueryKind::kMakeTable;
      case 3:
        return QueryKind::kAppend;
      case 4:
        return QueryKind::kUpdate;
      case 5:
        return QueryKind::kDelete;
      case 6:
        return QueryKind::kCrosstab;
      case 7:
        return QueryKind::kDataDefinition;
      case 8:
        return QueryKind::kPassThrough;
      case 9:
        return QueryKind::kUnion;
      default:
        return QueryKind::kUnknown;
    }
  }
  switch (query.flags & 0xF0) {
    case 0:
      return QueryKind::kSelect;
    case 16:
      return QueryKind::kCrosstab;
    case 32:
      return QueryKind::kDelete;
    case 48:
      return QueryKind::kUpdate;
    case 64:
      return QueryKind::kAppend;
    case 80:
      return QueryKind::kMakeTable;
    case 96:
      return QueryKind::kDataDefinition;
    case 112:
      return QueryKind::kPassThrough;
    case 128:
      return QueryKind::kUnion;
    default:
      return QueryKind::kUnknown;
  }
}

std::string KindName(QueryKind kind) {
  switch (kind) {
    case QueryKind::kSelect:
      return "選択クエリ";
    case QueryKind::kMakeTable:
      return "テーブル作成クエリ";
    case QueryKind::kAppend:
      return "追加クエリ";
    case QueryKind::kUpdate:
      return "更新クエリ";
    case QueryKind::kDelete:
      return "削除クエリ";
    case QueryKind::kCrosstab:
      return "クロス集計クエリ";
    case QueryKind::kDataDefinition:
      return "データ定義クエリ";
    case QueryKind::kPassThrough:
      return "パススルー クエリ";
    case QueryKind::kUnion:
      return "ユニオン クエリ";
    case QueryKind::kUnknown:
      break;
  }
  return "種類が不明なクエリ";
}

int DeclaredParameterCount(const SavedQuery& query) {
  int n = 0;
  for (const auto& r : query.rows) n += r.attribute == kParameter;
  return n;
}

std::string RebuildSql(const SavedQuery& query) {
  const std::vector<QueryDefRow> rows = Sorted(query);
  const QueryKind kind = KindOf(query);
  const Options o = OptionsOf(rows);
  std::string target;
  for (const QueryDefRow* r : Rows(rows, kKind)) {
    if (kind == QueryKind::kDataDefinition || kind == QueryKind::kPassThrough)
      return Required(r->expression, msg::kDefStatement);
    if (!r->name1.empty()) target = AccessName(r->name1);
  }
  if (kind == QueryKind::kDataDefinition || kind == QueryKind::kPassThrough)
    throw DefinitionError(msg::kDefEmpty({msg::kDefStatement.text}));

  std::string out;
  const auto params = Rows(rows, kParameter);
  if (!params.empty()) {
    out = "PARAMETERS ";
    for (size_t i = 0; i < params.size(); ++i) {
      if (i) out += ", ";
      // A reference such as [Forms]![Orders]![From] keeps its brackets.
      const std::string& name = params[i]->name1;
      out += (!name.empty() && name.front() == '[' ? name : AccessName(name)) + " " +
             ParameterType(params[i]->flag);
    }
    out += ";\n";
  }

  switch (kind) {
    case QueryKind::kUnion: {
      std::string parts;
      for (const QueryDefRow* r : Rows(rows, kSource)) {
        if (r->expression.empty()) continue;
        if (!parts.empty()) parts += (o.flags & kAllFields) ? "\nUNION ALL\n" : "\nUNION\n";
        // Access stores each part with its own closing ';'.
        std::string part = r->expression;
        while (!part.empty() &&
               (std::isspace(static_cast<unsigned char>(part.back())) || part.back() == ';'))
          part.pop_back();
        parts += part;
      }
      if (parts.empty()) throw DefinitionError(msg::kDefNoUnionParts());
      return out + parts + Tail(rows, false) + ";";
    }
    case QueryKind::kCrosstab: {
      const QueryDefRow* value = nullptr;
      const QueryDefRow* heading = nullptr;
      std::string items;
      for (const QueryDefRow* r : Rows(rows, kColumn)) {
        if (r->flag == 0) {
          if (value) throw DefinitionError(msg::kDefTwoValues());
          value = r;
        } else if (r->flag == 1) {
          if (heading) throw DefinitionError(msg::kDefTwoHeadings());
          heading = r;
        } else {
          if (!items.empty()) items += ", ";
          items += OutputItem(*r);
        }
      }
      if (!value || !heading) throw DefinitionError(msg::kDefNoValueOrHeading());
      if (items.empty()) throw DefinitionError(msg::kDefNoRowHeadings());
      out += "TRANSFORM " + OutputItem(*value) + "\n" + SelectPrefix(o) + items;
      const std::string from = FromClause(rows);
      if (!from.empty()) out += "\nFROM " + from + External(rows);
      out += Tail(rows, true);
      out += "\nPIVOT " + Required(heading->expression, msg::kDefHeading);
      if (!heading->name2.empty()) out += " In (" + heading->name2 + ")";
      return out + ";";
    }
    case QueryKind::kSelect:
      return out + SelectBody(rows, o, "") + ";";
    case QueryKind::kMakeTable:
      return out + SelectBody(rows, o, target + External(rows)) + ";";
    case QueryKind::kAppend: {
      std::string cols, items;
      for (const QueryDefRow* r : Rows(rows, kColumn)) {
        if (!items.empty()) items += ", ";
        items += Required(r->expression, msg::kDefOutput);
        if (!r->name2.empty()) {
          if (!cols.empty()) cols += ", ";
          cols += AccessName(r->name2);
        }
      }
      if (items.empty()) items = "*";
      out += "INSERT INTO " + target;
      if (!cols.empty()) out += " ( " + cols + " )";
      out += "\n" + SelectPrefix(o) + items;
      const std::string from = FromClause(rows);
      if (!from.empty()) out += "\nFROM " + from;
      return out + Tail(rows, false) + ";";
    }
    case QueryKind::kUpdate: {
      std::string sets;
      for (const QueryDefRow* r : Rows(rows, kColumn)) {
        if (!sets.empty()) sets += ", ";
        sets += r->name2 + " = " + Required(r->expression, msg::kDefNewValue);
      }
      return out + "UPDATE " + FromClause(rows) + "\nSET " + sets + Tail(rows, false) + ";";
    }
    case QueryKind::kDelete: {
      std::string items;
      for (const QueryDefRow* r : Rows(rows, kColumn)) {
        if (!items.empty()) items += ", ";
        items += Required(r->expression, msg::kDefColumn);
      }
      if (items.empty() || (o.flags & kAllFields)) items = items.empty() ? "*" : "*, " + items;
      return out + "DELETE " + items + "\nFROM " + FromClause(rows) + Tail(rows, false) + ";";
    }
    default:
      throw DefinitionError(msg::kDefUnknownKind());
  }
}

}  // namespace kestrin::automation::mdb
