#include "automation/mdb/query/access_sql.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "automation/mdb/query/access_dates.h"
#include "automation/messages.h"

namespace kestrin::automation::mdb::sql {

namespace {

bool IEquals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

enum class Tok { kIdent, kBracket, kString, kInteger, kNumber, kDate, kSymbol, kEnd };

struct Token {
  Tok kind = Tok::kEnd;
  std::string text;  // identifier or bracket contents, string value, symbol
  std::int64_t integer = 0;
  double number = 0;
  size_t pos = 0;
};

// '@' starts names such as @CustomerID, which Access takes for parameters.
bool IsIdentByte(unsigned char c) { return std::isalnum(c) || c == '_' || c == '@' || c >= 0x80; }

// True when a bracketed name holds a query: "[SELECT ...]. AS u".
bool IsQueryText(const std::string& s) {
  std::size_t i = 0;
  while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
  return s.size() - i > 6 && IEquals(std::string_view(s).substr(i, 6), "select") &&
         !IsIdentByte(static_cast<unsigned char>(s[i + 6]));
}

class Lexer {
 public:
  explicit Lexer(const std::string& s) : s_(s) {}

  std::vector<Token> Run() {
    std::vector<Token> out;
    for (;;) {
      SkipSpace();
      Token t;
      t.pos = i_;
      if (i_ >= s_.size()) {
        out.push_back(t);
        return out;
      }
      const unsigned char c = s_[i_];
      if (c == '[') {
        // Names hold no brackets; a query in brackets may hold bracketed
        // names, so brackets nest.
        size_t end = i_ + 1;
        for (int depth = 1; end < s_.size(); ++end) {
          if (s_[end] == '[') ++depth;
          if (s_[end] == ']' && --depth == 0) break;
        }
        if (end >= s_.size()) Fail(msg::kSqlMissingBracket());
        t.kind = Tok::kBracket;
        t.text = s_.substr(i_ + 1, end - i_ - 1);
        i_ = end + 1;
      } else if (c == '"' || c == '\'') {
        t.kind = Tok::kString;
        t.text = ReadQuoted(static_cast<char>(c));
      } else if (c == '#') {
        const size_t end = s_.find('#', i_ + 1);
        if (end == std::string::npos) Fail(msg::kSqlMissingHash());
        const std::string body = s_.substr(i_ + 1, end - i_ - 1);
        auto serial = ParseDateLiteral(body);
        if (!serial) Fail(msg::kSqlInvalidDate({body}));
        t.kind = Tok::kDate;
        t.number = *serial;
        i_ = end + 1;
      } else if (std::isdigit(c) || (c == '.' && i_ + 1 < s_.size() &&
                                     std::isdigit(static_cast<unsigned char>(s_[i_ + 1])))) {
        ReadNumber(t);
      } else if (c == '&' && i_ + 2 < s_.size() && (s_[i_ + 1] == 'H' || s_[i_ + 1] == 'h') &&
                 std::isxdigit(static_cast<unsigned char>(s_[i_ + 2]))) {
        i_ += 2;
        std::uint64_t v = 0;
        size_t digits = 0;
        while (i_ < s_.size() && std::isxdigit(static_cast<unsigned char>(s_[i_]))) {
          v = v * 16 + static_cast<std::uint64_t>(std::stoi(std::string(1, s_[i_]), nullptr, 16));
          ++i_;
          if (++digits > 8) Fail(msg::kSqlHexTooLarge());
        }
        t.kind = Tok::kInteger;
        // &H literals of up to 4 digits are Integers and of up to 8 digits Longs,
        // both signed.
        t.integer = digits <= 4 ? static_cast<std::int16_t>(v) : static_cast<std::int32_t>(v);
      } else if (IsIdentByte(c)) {
        t.kind = Tok::kIdent;
        const size_t start = i_;
        while (i_ < s_.size() && IsIdentByte(static_cast<unsigned char>(s_[i_]))) ++i_;
        // Text functions may carry a '$' (Left$, Mid$): the same functions.
        const bool dollar = i_ + 1 < s_.size() && s_[i_] == '$' && s_[i_ + 1] == '(';
        t.text = s_.substr(start, i_ - start);
        if (dollar) ++i_;
      } else {
        t.kind = Tok::kSymbol;
        static const char* two[] = {"<>", "<=", ">=", "><", "=<", "=>"};
        bool matched = false;
        for (const char* op : two) {
          if (s_.compare(i_, 2, op) == 0) {
            std::string o = op;
            if (o == "><") o = "<>";
            if (o == "=<") o = "<=";
            if (o == "=>") o = ">=";
            t.text = o;
            i_ += 2;
            matched = true;
            break;
          }
        }
        if (!matched) {
          static const std::string singles = "=<>+-*/\\^&(),.!;";
          if (singles.find(static_cast<char>(c)) == std::string::npos)
            Fail(msg::kSqlUnexpected({std::string(1, static_cast<char>(c))}));
          t.text = std::string(1, static_cast<char>(c));
          ++i_;
        }
      }
      out.push_back(std::move(t));
    }
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    throw SqlSyntaxError(msg::kSqlAtPosition({what, std::to_string(i_ + 1)}));
  }

  void SkipSpace() {
    while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
  }

  std::string ReadQuoted(char q) {
    std::string v;
    ++i_;
    for (;;) {
      if (i_ >= s_.size()) Fail(msg::kSqlUnterminated());
      if (s_[i_] == q) {
        if (i_ + 1 < s_.size() && s_[i_ + 1] == q) {
          v.push_back(q);
          i_ += 2;
          continue;
        }
        ++i_;
        return v;
      }
      v.push_back(s_[i_++]);
    }
  }

  void ReadNumber(Token& t) {
    const size_t start = i_;
    bool real = false;
    while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_]))) ++i_;
    if (i_ < s_.size() && s_[i_] == '.') {
      real = true;
      ++i_;
      while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_]))) ++i_;
    }
    if (i_ < s_.size() && (s_[i_] == 'e' || s_[i_] == 'E')) {
      size_t j = i_ + 1;
      if (j < s_.size() && (s_[j] == '+' || s_[j] == '-')) ++j;
      if (j < s_.size() && std::isdigit(static_cast<unsigned char>(s_[j]))) {
        real = true;
        i_ = j;
        while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_]))) ++i_;
      }
    }
    if (i_ < s_.size() && IsIdentByte(static_cast<unsigned char>(s_[i_])) && !real)
      Fail(msg::kSqlMalformedNumber());
    const std::string text = s_.substr(start, i_ - start);
    t.text = text;
    if (!real) {
      std::int64_t v = 0;
      auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
      if (ec == std::errc() && p == text.data() + text.size() && v <= 2147483647) {
        t.kind = Tok::kInteger;
        t.integer = v;
        return;
      }
    }
    t.kind = Tok::kNumber;
    t.number = std::strtod(text.c_str(), nullptr);
    // Access refuses a literal beyond the range of a Double as it refuses a
    // malformed one.
    if (std::isinf(t.number)) Fail(msg::kSqlNumberSyntax({text}));
  }

  const std::string& s_;
  size_t i_ = 0;
};

// Words that end an alias-less table or column reference.
bool IsReserved(const std::string& w) {
  static const char* words[] = {
      "select", "from",    "where",  "group",     "by",          "having", "order",  "union",
      "all",    "on",      "inner",  "left",      "right",       "outer",  "join",   "as",
      "in",     "into",    "pivot",  "transform", "parameters",  "and",    "or",     "not",
      "like",   "between", "is",     "null",      "asc",         "desc",   "xor",    "eqv",
      "imp",    "mod",     "exists", "distinct",  "distinctrow", "top",    "percent"};
  for (const char* r : words) {
    if (IEquals(w, r)) return true;
  }
  return false;
}

class Parser {
 public:
  // `nesting`: the levels of the text this one is nested in.
  explicit Parser(const std::string& text, int nesting = 0)
      : toks_(Lexer(text).Run()), nesting_(nesting) {}

  Statement ParseStatementText() {
    Statement st;
    if (IsWord("parameters")) {
      Next();
      for (;;) {
        Parameter p;
        p.name = TakeName(msg::kSqlParameterName);
        while (IsSymbol("!") || IsSymbol(".")) {
          Next();
          p.name += "!" + TakeName(msg::kSqlParameterName);
        }
        while (!IsSymbol(",") && !IsSymbol(";") && Peek().kind != Tok::kEnd) {
          if (!p.type.empty()) p.type += " ";
          p.type += Next().text;
        }
        st.parameters.push_back(std::move(p));
        if (IsSymbol(",")) {
          Next();
          continue;
        }
        Expect(";");
        break;
      }
    }
    if (IsWord("transform")) {
      Next();
      st.kind = Statement::Kind::kCrosstab;
      st.transform = ParseExpr();
      if (IsWord("as")) {
        Next();
        st.transform_alias = TakeName(msg::kSqlAlias);
      }
      st.selects.push_back(ParseSelect());
      ExpectWord("pivot");
      ExprPtr pivot = ParseExpr();
      if (pivot->kind == ExprKind::kInList && !pivot->negated) {
        for (size_t i = 1; i < pivot->args.size(); ++i)
          st.pivot_values.push_back(std::move(pivot->args[i]));
        st.pivot = std::move(pivot->args[0]);
      } else {
        st.pivot = std::move(pivot);
      }
    } else {
      st.selects.push_back(ParseUnionPart());
      ParseUnionParts(st);
    }
    if (IsSymbol(";")) Next();
    if (Peek().kind != Tok::kEnd) Fail(msg::kSqlUnexpected({Peek().text}));
    return st;
  }

  // A derived table's query: a SELECT or a union, alone in the text.
  FromItem DerivedTableText() {
    Nesting guard(nesting_);
    FromItem f = DerivedTable();
    if (IsSymbol(";")) Next();
    if (Peek().kind != Tok::kEnd) Fail(msg::kSqlUnexpected({Peek().text}));
    return f;
  }

  ExprPtr ParseOnlyExpression() {
    ExprPtr e = ParseExpr();
    if (Peek().kind != Tok::kEnd) Fail(msg::kSqlUnexpected({Peek().text}));
    return e;
  }

 private:
  const Token& Peek(size_t ahead = 0) const {
    const size_t i = std::min(pos_ + ahead, toks_.size() - 1);
    return toks_[i];
  }
  const Token& Next() {
    const Token& t = toks_[pos_];
    if (pos_ + 1 < toks_.size()) ++pos_;
    return t;
  }
  bool IsWord(const char* w, size_t ahead = 0) const {
    const Token& t = Peek(ahead);
    return t.kind == Tok::kIdent && IEquals(t.text, w);
  }
  bool IsSymbol(const char* s, size_t ahead = 0) const {
    const Token& t = Peek(ahead);
    return t.kind == Tok::kSymbol && t.text == s;
  }
  [[noreturn]] void Fail(const std::string& what) const {
    const Token& t = Peek();
    if (t.kind == Tok::kEnd) throw SqlSyntaxError(msg::kSqlAtEnd({what}));
    throw SqlSyntaxError(msg::kSqlAtPosition({what, std::to_string(t.pos + 1)}));
  }
  void Expect(const char* s) {
    if (!IsSymbol(s)) Fail(msg::kSqlExpectedSymbol({s}));
    Next();
  }
  void ExpectWord(const char* w) {
    if (!IsWord(w)) Fail(msg::kSqlExpected({w}));
    Next();
  }
  std::string TakeName(Message what) {
    const Token& t = Peek();
    if (t.kind == Tok::kBracket || (t.kind == Tok::kIdent && !IsReserved(t.text))) {
      return Next().text;
    }
    if (t.kind == Tok::kString && what.text == msg::kSqlAlias.text) return Next().text;
    Fail(msg::kSqlExpected({what.text}));
  }
  bool AtName() const {
    const Token& t = Peek();
    return t.kind == Tok::kBracket || (t.kind == Tok::kIdent && !IsReserved(t.text));
  }

  // The parts of a union after its first (each part may end in its own
  // ';', as Access stores them) and an ORDER BY over the whole.
  void ParseUnionParts(Statement& st) {
    for (;;) {
      if (IsSymbol(";") && IsWord("union", 1)) Next();
      if (!IsWord("union")) break;
      Next();
      bool all = false;
      if (IsWord("all")) {
        Next();
        all = true;
      }
      st.kind = Statement::Kind::kUnion;
      st.union_all.push_back(all);
      st.selects.push_back(ParseUnionPart());
    }
    if (st.kind == Statement::Kind::kUnion) {
      if (IsWord("order")) st.union_order_by = ParseOrderBy();
      // An ORDER BY written at the end of the last part sorts the whole union.
      auto& last = st.selects.back()->order_by;
      if (!last.empty() && st.union_order_by.empty()) st.union_order_by = std::move(last);
      last.clear();
    }
  }

  // A SELECT or a union, as a derived table (its alias follows).
  FromItem DerivedTable() {
    FromItem f;
    f.kind = FromItem::Kind::kSubquery;
    auto st = std::make_shared<Statement>();
    st->selects.push_back(ParseSelect());
    ParseUnionParts(*st);
    if (st->kind == Statement::Kind::kUnion) {
      f.union_query = std::move(st);
    } else {
      f.subquery = st->selects[0];
    }
    return f;
  }

  std::shared_ptr<Select> ParseUnionPart() {
    if (IsSymbol("(") && IsWord("select", 1)) {
      Next();
      auto s = ParseSelect();
      Expect(")");
      return s;
    }
    if (IsWord("table")) {
      Next();
      auto s = std::make_shared<Select>();
      auto star = std::make_unique<Expr>();
      star->kind = ExprKind::kStar;
      s->items.push_back({std::move(star), ""});
      FromItem f;
      f.name = TakeName(msg::kSqlTableName);
      s->from.push_back(std::move(f));
      return s;
    }
    return ParseSelect();
  }

  std::shared_ptr<Select> ParseSelect() {
    auto s = std::make_shared<Select>();
    ExpectWord("select");
    for (;;) {
      if (IsWord("all")) {
        Next();
      } else if (IsWord("distinct")) {
        Next();
        s->distinct = true;
      } else if (IsWord("distinctrow")) {
        Next();
        s->distinctrow = true;
      } else if (IsWord("top")) {
        Next();
        const Token& n = Next();
        if (n.kind == Tok::kInteger) {
          s->top = static_cast<double>(n.integer);
        } else if (n.kind == Tok::kNumber) {
          s->top = n.number;
        } else {
          Fail(msg::kSqlTopNumber());
        }
        if (IsWord("percent")) {
          Next();
          s->top_percent = true;
        }
      } else {
        break;
      }
    }
    for (;;) {
      SelectItem item;
      item.expr = ParseExpr();
      if (IsWord("as")) {
        Next();
        item.alias = TakeName(msg::kSqlAlias);
      }
      s->items.push_back(std::move(item));
      if (!IsSymbol(",")) break;
      Next();
    }
    if (IsWord("into")) Fail(msg::kSqlInto());
    if (IsWord("from")) {
      Next();
      for (;;) {
        s->from.push_back(ParseJoined());
        if (!IsSymbol(",")) break;
        Next();
      }
      if (IsWord("in")) {
        Next();
        if (Peek().kind != Tok::kString) Fail(msg::kSqlInPath());
        s->external_database = Next().text;
      }
    }
    if (IsWord("where")) {
      Next();
      s->where = ParseExpr();
    }
    if (IsWord("group")) {
      Next();
      ExpectWord("by");
      for (;;) {
        s->group_by.push_back(ParseExpr());
        if (!IsSymbol(",")) break;
        Next();
      }
    }
    if (IsWord("having")) {
      Next();
      s->having = ParseExpr();
    }
    if (IsWord("order")) s->order_by = ParseOrderBy();
    return s;
  }

  std::vector<OrderItem> ParseOrderBy() {
    ExpectWord("order");
    ExpectWord("by");
    std::vector<OrderItem> out;
    for (;;) {
      OrderItem o;
      o.expr = ParseExpr();
      if (IsWord("desc")) {
        Next();
        o.descending = true;
      } else if (IsWord("asc")) {
        Next();
      }
      out.push_back(std::move(o));
      if (!IsSymbol(",")) break;
      Next();
    }
    return out;
  }

  FromItem ParseJoined() {
    Nesting guard(nesting_);
    FromItem left = ParseFromPrimary();
    for (int joins = 0;; ++joins) {
      if (joins > kMaxDepth) throw SqlSyntaxError(msg::kSqlTooManyJoins());
      JoinKind kind;
      if (IsWord("inner")) {
        kind = JoinKind::kInner;
      } else if (IsWord("left")) {
        kind = JoinKind::kLeft;
      } else if (IsWord("right")) {
        kind = JoinKind::kRight;
      } else if (IsWord("join")) {
        Fail(msg::kSqlJoinKind());
      } else {
        return left;
      }
      Next();
      if (IsWord("outer")) Next();
      ExpectWord("join");
      FromItem right = ParseFromPrimary();
      ExpectWord("on");
      FromItem j;
      j.kind = FromItem::Kind::kJoin;
      j.join = kind;
      j.left = std::make_unique<FromItem>(std::move(left));
      j.right = std::make_unique<FromItem>(std::move(right));
      j.on = ParseExpr();
      left = std::move(j);
    }
  }

  FromItem ParseFromPrimary() {
    if (Peek().kind == Tok::kBracket && IsSymbol(".", 1) && IsQueryText(Peek().text)) {
      Parser inner(Next().text, nesting_);
      Next();  // the '.'
      FromItem f = inner.DerivedTableText();
      if (IsWord("as")) Next();
      if (AtName()) f.alias = TakeName(msg::kSqlAlias);
      return f;
    }
    if (IsSymbol("(")) {
      Next();
      if (IsWord("select")) {
        FromItem f = DerivedTable();
        Expect(")");
        if (IsWord("as")) Next();
        if (AtName()) f.alias = TakeName(msg::kSqlAlias);
        return f;
      }
      FromItem inner = ParseJoined();
      Expect(")");
      return inner;
    }
    FromItem f;
    f.kind = FromItem::Kind::kTable;
    f.name = TakeName(msg::kSqlSourceName);
    if (IsWord("as")) {
      Next();
      f.alias = TakeName(msg::kSqlAlias);
    } else if (AtName()) {
      f.alias = TakeName(msg::kSqlAlias);
    }
    return f;
  }

  // ---- expressions, lowest precedence first ----

  // Deeply nested input is refused before it can exhaust the stack of the
  // recursive steps that follow (translation, destruction).
  static constexpr int kMaxDepth = 200;

  static ExprPtr Checked(ExprPtr e) {
    int depth = 0;
    for (const auto& a : e->args) depth = std::max(depth, a->depth);
    e->depth = depth + 1;
    if (e->depth > kMaxDepth) throw SqlSyntaxError(msg::kSqlTooDeep());
    return e;
  }

  struct Nesting {
    explicit Nesting(int& d) : depth(d) {
      if (++depth > 3 * kMaxDepth) throw SqlSyntaxError(msg::kSqlTooDeep());
    }
    ~Nesting() { --depth; }
    int& depth;
  };

  ExprPtr ParseExpr() {
    Nesting guard(nesting_);
    return ParseBinaryLevel(0);
  }

  static ExprPtr MakeBinary(std::string op, ExprPtr a, ExprPtr b) {
    auto e = std::make_unique<Expr>();
    e->kind = ExprKind::kBinary;
    e->op = std::move(op);
    e->args.push_back(std::move(a));
    e->args.push_back(std::move(b));
    return Checked(std::move(e));
  }

  // Levels 0..4: Imp, Eqv, Xor, Or, And (word operators, left-associative).
  ExprPtr ParseBinaryLevel(int level) {
    static const char* ops[] = {"Imp", "Eqv", "Xor", "Or", "And"};
    if (level == 5) return ParseNot();
    ExprPtr left = ParseBinaryLevel(level + 1);
    while (IsWord(ops[level])) {
      Next();
      left = MakeBinary(ops[level], std::move(left), ParseBinaryLevel(level + 1));
    }
    return left;
  }

  ExprPtr ParseNot() {
    Nesting guard(nesting_);
    if (IsWord("not")) {
      Next();
      auto e = std::make_unique<Expr>();
      e->kind = ExprKind::kUnary;
      e->op = "Not";
      e->args.push_back(ParseNot());
      return Checked(std::move(e));
    }
    return ParseComparison();
  }

  ExprPtr ParseComparison() {
    ExprPtr left = ParseConcat();
    for (;;) {
      const Token& t = Peek();
      if (t.kind == Tok::kSymbol && (t.text == "=" || t.text == "<>" || t.text == "<" ||
                                     t.text == ">" || t.text == "<=" || t.text == ">=")) {
        std::string op = Next().text;
        left = MakeBinary(op, std::move(left), ParseConcat());
        continue;
      }
      bool negated = false;
      if (IsWord("not") && (IsWord("like", 1) || IsWord("between", 1) || IsWord("in", 1))) {
        Next();
        negated = true;
      }
      if (IsWord("like")) {
        Next();
        auto e = std::make_unique<Expr>();
        e->kind = ExprKind::kLike;
        e->negated = negated;
        e->args.push_back(std::move(left));
        e->args.push_back(ParseConcat());
        left = Checked(std::move(e));
      } else if (IsWord("between")) {
        Next();
        auto e = std::make_unique<Expr>();
        e->kind = ExprKind::kBetween;
        e->negated = negated;
        e->args.push_back(std::move(left));
        e->args.push_back(ParseConcat());
        ExpectWord("and");
        e->args.push_back(ParseConcat());
        left = Checked(std::move(e));
      } else if (IsWord("in") && Peek(1).kind != Tok::kString) {
        // (IN 'path' after a join's condition names the FROM clause's database.)
        Next();
        Expect("(");
        auto e = std::make_unique<Expr>();
        e->negated = negated;
        e->args.push_back(std::move(left));
        if (IsWord("select")) {
          e->kind = ExprKind::kInSelect;
          e->subquery = ParseSelect();
        } else {
          e->kind = ExprKind::kInList;
          for (;;) {
            e->args.push_back(ParseExpr());
            if (!IsSymbol(",")) break;
            Next();
          }
        }
        Expect(")");
        left = Checked(std::move(e));
      } else if (IsWord("is")) {
        Next();
        auto e = std::make_unique<Expr>();
        e->kind = ExprKind::kIsNull;
        if (IsWord("not")) {
          Next();
          e->negated = true;
        }
        ExpectWord("null");
        e->args.push_back(std::move(left));
        left = Checked(std::move(e));
      } else {
        return left;
      }
    }
  }

  ExprPtr ParseConcat() {
    ExprPtr left = ParseAdditive();
    while (IsSymbol("&")) {
      Next();
      left = MakeBinary("&", std::move(left), ParseAdditive());
    }
    return left;
  }

  ExprPtr ParseAdditive() {
    ExprPtr left = ParseMod();
    while (IsSymbol("+") || IsSymbol("-")) {
      std::string op = Next().text;
      left = MakeBinary(op, std::move(left), ParseMod());
    }
    return left;
  }

  ExprPtr ParseMod() {
    ExprPtr left = ParseIntDiv();
    while (IsWord("mod")) {
      Next();
      left = MakeBinary("Mod", std::move(left), ParseIntDiv());
    }
    return left;
  }

  ExprPtr ParseIntDiv() {
    ExprPtr left = ParseMul();
    while (IsSymbol("\\")) {
      Next();
      left = MakeBinary("\\", std::move(left), ParseMul());
    }
    return left;
  }

  ExprPtr ParseMul() {
    ExprPtr left = ParseUnary();
    while (IsSymbol("*") || IsSymbol("/")) {
      std::string op = Next().text;
      left = MakeBinary(op, std::move(left), ParseUnary());
    }
    return left;
  }

  ExprPtr ParseUnary() {
    Nesting guard(nesting_);
    if (IsSymbol("-") || IsSymbol("+")) {
      std::string op = Next().text;
      auto e = std::make_unique<Expr>();
      e->kind = ExprKind::kUnary;
      e->op = op;
      e->args.push_back(ParseUnary());
      return Checked(std::move(e));
    }
    return ParsePower();
  }

  ExprPtr ParsePower() {
    ExprPtr left = ParsePrimary();
    while (IsSymbol("^")) {
      Next();
      left = MakeBinary("^", std::move(left), ParsePowerOperand());
    }
    return left;
  }

  ExprPtr ParsePowerOperand() {
    Nesting guard(nesting_);
    if (IsSymbol("-") || IsSymbol("+")) {
      std::string op = Next().text;
      auto e = std::make_unique<Expr>();
      e->kind = ExprKind::kUnary;
      e->op = op;
      e->args.push_back(ParsePowerOperand());
      return Checked(std::move(e));
    }
    return ParsePrimary();
  }

  ExprPtr ParsePrimary() {
    const Token& t = Peek();
    auto e = std::make_unique<Expr>();
    switch (t.kind) {
      case Tok::kString:
        e->kind = ExprKind::kText;
        e->text = Next().text;
        return e;
      case Tok::kInteger:
        e->kind = ExprKind::kInteger;
        e->integer = Next().integer;
        return e;
      case Tok::kNumber:
        e->kind = ExprKind::kNumber;
        e->number = Next().number;
        return e;
      case Tok::kDate:
        e->kind = ExprKind::kDate;
        e->number = Next().number;
        return e;
      case Tok::kEnd:
        Fail(msg::kSqlExpression());
      case Tok::kSymbol:
        if (t.text == "(") {
          Next();
          if (IsWord("select")) {
            e->kind = ExprKind::kSubquery;
            e->subquery = ParseSelect();
            Expect(")");
            return e;
          }
          ExprPtr inner = ParseExpr();
          Expect(")");
          return inner;
        }
        if (t.text == "*") {
          Next();
          e->kind = ExprKind::kStar;
          return e;
        }
        Fail(msg::kSqlUnexpected({t.text}));
      case Tok::kIdent:
      case Tok::kBracket:
        break;
    }
    if (t.kind == Tok::kIdent) {
      const std::string& w = t.text;
      if (IEquals(w, "null")) {
        Next();
        e->kind = ExprKind::kNull;
        return e;
      }
      for (const char* tw : {"true", "yes", "on"}) {
        if (IEquals(w, tw)) {
          Next();
          e->kind = ExprKind::kBoolean;
          e->boolean = true;
          return e;
        }
      }
      for (const char* fw : {"false", "no", "off"}) {
        if (IEquals(w, fw)) {
          Next();
          e->kind = ExprKind::kBoolean;
          e->boolean = false;
          return e;
        }
      }
      if (IEquals(w, "exists")) {
        Next();
        Expect("(");
        e->kind = ExprKind::kExists;
        e->subquery = ParseSelect();
        Expect(")");
        return e;
      }
      // Left, Right and Asc are keywords and also functions.
      const bool function_word =
          (IEquals(w, "left") || IEquals(w, "right") || IEquals(w, "asc")) && IsSymbol("(", 1);
      if (IsReserved(w) && !function_word) Fail(msg::kSqlUnexpected({w}));
    }
    // A name, a dotted name, qualifier.*, or a function call.
    std::vector<std::string> parts;
    parts.push_back(Next().text);
    const bool bare_single = t.kind == Tok::kIdent;
    if (bare_single && IsSymbol("(")) {
      Next();
      e->kind = ExprKind::kCall;
      e->name = parts[0];
      if (IsSymbol("*")) {
        Next();
        e->star = true;
      } else if (!IsSymbol(")")) {
        for (;;) {
          e->args.push_back(ParseExpr());
          if (!IsSymbol(",")) break;
          Next();
        }
      }
      Expect(")");
      return Checked(std::move(e));
    }
    while (IsSymbol(".") || IsSymbol("!")) {
      Next();
      if (IsSymbol("*")) {
        Next();
        e->kind = ExprKind::kStar;
        e->qualifier = Join(parts);
        return e;
      }
      const Token& n = Peek();
      if (n.kind != Tok::kIdent && n.kind != Tok::kBracket) Fail(msg::kSqlNameAfterDot());
      parts.push_back(Next().text);
    }
    e->kind = ExprKind::kColumn;
    e->name = parts.back();
    parts.pop_back();
    e->qualifier = Join(parts);
    return e;
  }

  static std::string Join(const std::vector<std::string>& parts) {
    std::string q;
    for (const auto& p : parts) {
      if (!q.empty()) q += ".";
      q += p;
    }
    return q;
  }

  std::vector<Token> toks_;
  size_t pos_ = 0;
  int nesting_ = 0;
};

bool ReadInt(const std::string& s, size_t& i, int& out, int max_digits) {
  const size_t start = i;
  int v = 0;
  while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])) &&
         static_cast<int>(i - start) < max_digits) {
    v = v * 10 + (s[i] - '0');
    ++i;
  }
  if (i == start) return false;
  out = v;
  return true;
}

}  // namespace

std::optional<double> ParseDateLiteral(const std::string& raw) {
  std::string s;
  for (char c : raw) s.push_back(c);
  size_t i = 0;
  auto skip = [&] {
    while (i < s.size() && s[i] == ' ') ++i;
  };
  skip();
  dates::Parts p;
  bool have_date = false;
  // Date part: m/d/yyyy, m/d/yy, m-d-yyyy or yyyy-mm-dd.
  {
    size_t save = i;
    int a = 0, b = 0, c = 0;
    if (ReadInt(s, i, a, 4) && i < s.size() && (s[i] == '/' || s[i] == '-')) {
      const char sep = s[i++];
      const size_t a_len = i - 1 - save;
      if (ReadInt(s, i, b, 2) && i < s.size() && s[i] == sep) {
        ++i;
        const size_t c_start = i;
        if (ReadInt(s, i, c, 4)) {
          const size_t c_len = i - c_start;
          if (a_len == 4) {
            p.year = a;
            p.month = b;
            p.day = c;
          } else {
            p.month = a;
            p.day = b;
            p.year = c;
            if (c_len <= 2) p.year = c < 30 ? 2000 + c : 1900 + c;
          }
          have_date = true;
        }
      }
    }
    if (!have_date) i = save;
  }
  skip();
  bool have_time = false;
  {
    size_t save = i;
    int h = 0, m = 0, sec = 0;
    if (ReadInt(s, i, h, 2) && i < s.size() && s[i] == ':') {
      ++i;
      if (ReadInt(s, i, m, 2)) {
        if (i < s.size() && s[i] == ':') {
          ++i;
          if (!ReadInt(s, i, sec, 2)) return std::nullopt;
        }
        skip();
        if (i + 1 < s.size() && (s[i] == 'A' || s[i] == 'a' || s[i] == 'P' || s[i] == 'p') &&
            (s[i + 1] == 'M' || s[i + 1] == 'm')) {
          const bool pm = s[i] == 'P' || s[i] == 'p';
          if (h < 1 || h > 12) return std::nullopt;
          if (h == 12) h = 0;
          if (pm) h += 12;
          i += 2;
        }
        have_time = true;
        p.hour = h;
        p.minute = m;
        p.second = sec;
      }
    }
    if (!have_time) i = save;
  }
  skip();
  if (i != s.size() || (!have_date && !have_time)) return std::nullopt;
  if (p.hour > 23 || p.minute > 59 || p.second > 59) return std::nullopt;
  if (!have_date) return (p.hour * 3600.0 + p.minute * 60.0 + p.second) / 86400.0;
  if (p.month < 1 || p.month > 12 || p.day < 1) return std::nullopt;
  const std::int64_t first = dates::DaysFromCivil(p.year, p.month, 1);
  const std::int64_t next = dates::DaysFromCivil(p.year, p.month + 1, 1);
  if (p.day > next - first) return std::nullopt;
  return dates::ToSerial(p);
}

bool IsReservedWord(const std::string& word) { return IsReserved(word); }

Statement ParseStatement(const std::string& text) {
  Parser p(text);
  return p.ParseStatementText();
}

ExprPtr ParseExpression(const std::string& text) {
  Parser p(text);
  return p.ParseOnlyExpression();
}

}  // namespace kestrin::automation::mdb::sql
