// Access SQL as a syntax tree: the statements a saved select, union or
// crosstab query consists of, and the expressions inside them.
//
// ParseStatement reads the whole text of one query (as QueryEngine::Sql
// rebuilds it, or as a user would type it in Access's SQL view) and returns
// its tree; ParseExpression reads one expression. Both throw SqlSyntaxError
// with a readable message on malformed input and never accept trailing text.
// Expressions nested more than 200 levels deep are refused as malformed.
// Operator precedence is Access's: ^, unary -, * /, \, Mod, + -, &,
// comparisons (= <> < > <= >= Like Is Between In), Not, And, Or, Xor, Eqv, Imp.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace kestrin::automation::mdb::sql {

class SqlSyntaxError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Select;
struct Statement;
struct Expr;
using ExprPtr = std::unique_ptr<Expr>;

enum class ExprKind {
  kNull,      // Null
  kBoolean,   // True/False/Yes/No/On/Off: boolean
  kInteger,   // whole-number literal: integer
  kNumber,    // literal with a fraction or exponent: number
  kText,      // string literal: text
  kDate,      // #date# literal: number holds the serial day
  kColumn,    // [qualifier.]name: qualifier, name
  kStar,      // * or qualifier.*: qualifier (may be empty)
  kUnary,     // op ("-", "+", "Not"): args[0]
  kBinary,    // op ("+", "-", "*", "/", "\\", "Mod", "^", "&", "=", "<>", "<", ">", "<=",
              //     ">=", "And", "Or", "Xor", "Eqv", "Imp"): args[0], args[1]
  kLike,      // args[0] Like args[1]; negated for Not Like
  kBetween,   // args[0] Between args[1] And args[2]; negated
  kInList,    // args[0] In (args[1..]); negated
  kInSelect,  // args[0] In (subquery); negated
  kIsNull,    // args[0] Is Null; negated for Is Not Null
  kExists,    // Exists (subquery)
  kSubquery,  // (subquery) used as a value
  kCall,      // name(args...); star for Count(*)
};

struct Expr {
  ExprKind kind = ExprKind::kNull;
  std::string op;         // operator, for kUnary and kBinary
  std::string qualifier;  // table or alias, for kColumn and kStar
  std::string name;       // column name (kColumn) or function name (kCall)
  std::string text;       // kText value
  bool boolean = false;
  std::int64_t integer = 0;
  double number = 0;  // kNumber value, kDate serial
  bool negated = false;
  bool star = false;  // Count(*)
  std::vector<ExprPtr> args;
  std::shared_ptr<Select> subquery;
  int depth = 1;  // levels of operators below and including this node
};

enum class JoinKind { kInner, kLeft, kRight };

// A derived table is written "(SELECT ...) AS alias" or, as Access writes
// it, "[SELECT ...]. AS alias"; either may be a union.
struct FromItem {
  enum class Kind { kTable, kSubquery, kJoin } kind = Kind::kTable;
  std::string name;   // kTable: table or query name
  std::string alias;  // kTable, kSubquery: alias (may be empty for a table)
  std::shared_ptr<Select> subquery;
  std::shared_ptr<Statement> union_query;  // kSubquery of a union (instead of subquery)
  JoinKind join = JoinKind::kInner;
  std::unique_ptr<FromItem> left, right;
  ExprPtr on;
};

struct SelectItem {
  ExprPtr expr;
  std::string alias;  // empty when none
};

struct OrderItem {
  ExprPtr expr;
  bool descending = false;
};

struct Select {
  bool distinct = false;
  bool distinctrow = false;
  std::optional<double> top;  // TOP n
  bool top_percent = false;
  std::vector<SelectItem> items;
  std::vector<FromItem> from;     // comma-separated items
  std::string external_database;  // FROM ... IN 'path', empty when none
  ExprPtr where;
  std::vector<ExprPtr> group_by;
  ExprPtr having;
  std::vector<OrderItem> order_by;
};

struct Parameter {
  std::string name;  // a reference of several parts (Forms!F!C) joined by '!'
  std::string type;
};

// One saved query: a plain select, a chain of selects combined by UNION
// [ALL] (with an optional ORDER BY over the whole), or a crosstab.
struct Statement {
  enum class Kind { kSelect, kUnion, kCrosstab } kind = Kind::kSelect;
  std::vector<Parameter> parameters;
  std::vector<std::shared_ptr<Select>> selects;  // one, or the union's parts
  std::vector<bool> union_all;                   // per part after the first
  std::vector<OrderItem> union_order_by;
  ExprPtr transform;  // crosstab value expression (may carry an alias via transform_alias)
  std::string transform_alias;
  ExprPtr pivot;                      // crosstab column-heading expression
  std::vector<ExprPtr> pivot_values;  // its In list, empty when none
};

Statement ParseStatement(const std::string& text);
ExprPtr ParseExpression(const std::string& text);

// Serial day of a #date# literal's contents ("1/31/2024", "2024-01-31",
// "1/31/2024 10:30:00 PM", "10:30"); nullopt when it is not a valid date.
std::optional<double> ParseDateLiteral(const std::string& text);

// True for the words the parser treats as keywords rather than names.
bool IsReservedWord(const std::string& word);

}  // namespace kestrin::automation::mdb::sql
