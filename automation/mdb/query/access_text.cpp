// Text in Access queries: UTF-8 and letter case, the collation, Like, and
// the text functions (Len, Left, Mid, InStr, Replace, StrComp, ...).
#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "automation/letter_case.h"
#include "automation/mdb/query/access_dates.h"
#include "automation/mdb/query/access_function_support.h"
#include "automation/mdb/query/access_functions.h"
#include "automation/mdb/query/access_names.h"
#include "automation/mdb/query/access_sql.h"
#include "automation/utf8.h"

namespace kestrin::automation::mdb::fn {

namespace detail {

// ---- UTF-8 and case ----

std::u32string Decode(std::string_view s) {
  std::u32string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    char32_t cp = c;
    size_t len = 1;
    if (c >= 0xF0) {
      len = 4;
      cp = c & 0x07;
    } else if (c >= 0xE0) {
      len = 3;
      cp = c & 0x0F;
    } else if (c >= 0xC0) {
      len = 2;
      cp = c & 0x1F;
    }
    if (len > 1) {
      if (i + len > s.size()) {
        out.push_back(0xFFFD);
        break;
      }
      for (size_t k = 1; k < len; ++k)
        cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    }
    out.push_back(cp);
    i += len;
  }
  return out;
}

std::string Encode(std::u32string_view s) {
  std::string out;
  out.reserve(s.size());
  for (char32_t cp : s) AppendUtf8(out, cp);
  return out;
}

char32_t Lower(char32_t c) { return LowerLetter(c); }

char32_t Upper(char32_t c) {
  if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 32 : c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;
  if (c == 0xFF) return 0x178;
  if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return (c % 2 == 1) ? c - 1 : c;
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c % 2 == 0) ? c - 1 : c;
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return c - 32;
  if (c >= 0x430 && c <= 0x44F) return c - 32;
  if (c >= 0x450 && c <= 0x45F) return c - 80;
  if (c >= 0xFF41 && c <= 0xFF5A) return c - 32;
  return c;
}

// Base letters of lower-case Latin letters with diacritics (U+00E0 to U+017F);
// "" for characters that are their own base.
const char* BaseLetters(char32_t c) {
  static const char* latin1[] = {"a", "a", "a", "a", "a", "a", "ae", "c", "e",  "e", "e",
                                 "e", "i", "i", "i", "i", "d", "n",  "o", "o",  "o", "o",
                                 "o", "",  "o", "u", "u", "u", "u",  "y", "th", "y"};
  if (c == 0xDF) return "ss";
  if (c >= 0xE0 && c <= 0xFF) return latin1[c - 0xE0];
  struct Range {
    char32_t from, to;
    const char* base;
  };
  static const Range extended[] = {
      {0x100, 0x105, "a"}, {0x106, 0x10D, "c"},  {0x10E, 0x111, "d"}, {0x112, 0x11B, "e"},
      {0x11C, 0x123, "g"}, {0x124, 0x127, "h"},  {0x128, 0x131, "i"}, {0x132, 0x133, "ij"},
      {0x134, 0x135, "j"}, {0x136, 0x138, "k"},  {0x139, 0x142, "l"}, {0x143, 0x14B, "n"},
      {0x14C, 0x151, "o"}, {0x152, 0x153, "oe"}, {0x154, 0x159, "r"}, {0x15A, 0x161, "s"},
      {0x162, 0x167, "t"}, {0x168, 0x173, "u"},  {0x174, 0x175, "w"}, {0x176, 0x178, "y"},
      {0x179, 0x17E, "z"}, {0x17F, 0x17F, "s"}};
  for (const auto& r : extended) {
    if (c >= r.from && c <= r.to) return r.base;
  }
  return "";
}

std::u32string SortKey(const std::u32string& folded) {
  std::u32string out;
  out.reserve(folded.size());
  for (char32_t c : folded) {
    if (c == '-' || c == '\'') continue;
    const char* base = c >= 0xDF ? BaseLetters(c) : "";
    if (*base) {
      for (const char* p = base; *p; ++p) out.push_back(static_cast<char32_t>(*p));
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::u32string Folded(std::string_view s) {
  std::u32string u = Decode(s);
  for (auto& c : u) c = Lower(c);
  return u;
}

// ---- scalar functions ----

void Concat(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNull(a[0]) && IsNull(a[1])) return sqlite3_result_null(ctx);
  ResultText(ctx, ArgText(a[0]).value_or("") + ArgText(a[1]).value_or(""));
}

void Like(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNull(a[0]) || IsNull(a[1])) return sqlite3_result_null(ctx);
  try {
    sqlite3_result_int(ctx, LikeMatch(*ArgText(a[0]), *ArgText(a[1])) ? 1 : 0);
  } catch (const std::invalid_argument&) {
    throw FnError("Invalid pattern string");
  }
}

std::int64_t CountArg(sqlite3_value* v, const char* fn) {
  auto n = ArgNumber(v);
  if (!n) throw FnError(std::string("Invalid use of Null in ") + fn);
  if (*n < 0 || *n > 2147483647.0) InvalidCall(fn);
  return static_cast<std::int64_t>(BankersRound(*n, 0));
}

void Len(sqlite3_context* ctx, int, sqlite3_value** a) {
  auto t = ArgText(a[0]);
  if (!t) return sqlite3_result_null(ctx);
  sqlite3_result_int64(ctx, static_cast<std::int64_t>(Decode(*t).size()));
}

void Left(sqlite3_context* ctx, int, sqlite3_value** a) {
  auto t = ArgText(a[0]);
  const std::int64_t n = CountArg(a[1], "Left");
  if (!t) return sqlite3_result_null(ctx);
  std::u32string u = Decode(*t);
  ResultText(ctx, Encode(std::u32string_view(u).substr(0, static_cast<size_t>(n))));
}

void Right(sqlite3_context* ctx, int, sqlite3_value** a) {
  auto t = ArgText(a[0]);
  const std::int64_t n = CountArg(a[1], "Right");
  if (!t) return sqlite3_result_null(ctx);
  std::u32string u = Decode(*t);
  const size_t k = std::min(u.size(), static_cast<size_t>(n));
  ResultText(ctx, Encode(std::u32string_view(u).substr(u.size() - k)));
}

void Mid(sqlite3_context* ctx, int argc, sqlite3_value** a) {
  auto t = ArgText(a[0]);
  const std::int64_t start = CountArg(a[1], "Mid");
  if (start < 1) InvalidCall("Mid");
  std::int64_t len = -1;
  if (argc > 2) len = CountArg(a[2], "Mid");
  if (!t) return sqlite3_result_null(ctx);
  std::u32string u = Decode(*t);
  if (static_cast<size_t>(start) > u.size()) return ResultText(ctx, "");
  ResultText(ctx, Encode(std::u32string_view(u).substr(
                      static_cast<size_t>(start - 1),
                      len < 0 ? std::u32string::npos : static_cast<size_t>(len))));
}

// Position (from 0) of `needle` in `hay` from `from`, or npos.
size_t Find(const std::u32string& hay, const std::u32string& needle, size_t from, bool text) {
  if (!text) return hay.find(needle, from);
  std::u32string h = hay, n = needle;
  for (auto& c : h) c = Lower(c);
  for (auto& c : n) c = Lower(c);
  return h.find(n, from);
}

void InStr(sqlite3_context* ctx, int argc, sqlite3_value** a) {
  int i = 0;
  std::int64_t start = 1;
  if (argc >= 3) {
    start = CountArg(a[0], "InStr");
    if (start < 1) InvalidCall("InStr");
    i = 1;
  }
  bool text_compare = true;
  if (argc == 4) {
    auto c = ArgNumber(a[3]);
    text_compare = !c || *c != 0;
  }
  auto s1 = ArgText(a[i]), s2 = ArgText(a[i + 1]);
  if (!s1 || !s2) return sqlite3_result_null(ctx);
  const std::u32string h = Decode(*s1), n = Decode(*s2);
  if (static_cast<size_t>(start) > h.size()) return sqlite3_result_int(ctx, 0);
  if (n.empty()) return sqlite3_result_int64(ctx, start);
  const size_t pos = Find(h, n, static_cast<size_t>(start - 1), text_compare);
  sqlite3_result_int64(ctx, pos == std::u32string::npos ? 0 : static_cast<std::int64_t>(pos + 1));
}

void Case(sqlite3_context* ctx, sqlite3_value* v, bool upper) {
  auto t = ArgText(v);
  if (!t) return sqlite3_result_null(ctx);
  std::u32string u = Decode(*t);
  for (auto& c : u) c = upper ? Upper(c) : Lower(c);
  ResultText(ctx, Encode(u));
}

void UCase(sqlite3_context* ctx, int, sqlite3_value** a) { Case(ctx, a[0], true); }

void LCase(sqlite3_context* ctx, int, sqlite3_value** a) { Case(ctx, a[0], false); }

void TrimSides(sqlite3_context* ctx, sqlite3_value* v, bool left, bool right) {
  auto t = ArgText(v);
  if (!t) return sqlite3_result_null(ctx);
  size_t b = 0, e = t->size();
  if (left)
    while (b < e && (*t)[b] == ' ') ++b;
  if (right)
    while (e > b && (*t)[e - 1] == ' ') --e;
  ResultText(ctx, t->substr(b, e - b));
}

void Trim(sqlite3_context* ctx, int, sqlite3_value** a) { TrimSides(ctx, a[0], true, true); }

void LTrim(sqlite3_context* ctx, int, sqlite3_value** a) { TrimSides(ctx, a[0], true, false); }

void RTrim(sqlite3_context* ctx, int, sqlite3_value** a) { TrimSides(ctx, a[0], false, true); }

constexpr std::int64_t kMaxRepeat = 1 << 26;

void Space(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNull(a[0])) return sqlite3_result_null(ctx);
  const std::int64_t n = CountArg(a[0], "Space");
  if (n > kMaxRepeat) throw FnError("Out of string space");
  ResultText(ctx, std::string(static_cast<size_t>(n), ' '));
}

void StringFn(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNull(a[0]) || IsNull(a[1])) return sqlite3_result_null(ctx);
  const std::int64_t n = CountArg(a[0], "String");
  if (n > kMaxRepeat) throw FnError("Out of string space");
  char32_t ch;
  if (sqlite3_value_type(a[1]) == SQLITE_TEXT) {
    const std::u32string u = Decode(*ArgText(a[1]));
    if (u.empty()) InvalidCall("String");
    ch = u[0];
  } else {
    const double code = *ArgNumber(a[1]);
    ch = static_cast<char32_t>(static_cast<std::int64_t>(code) % 256);
  }
  ResultText(ctx, Encode(std::u32string(static_cast<size_t>(n), ch)));
}

void Replace(sqlite3_context* ctx, int argc, sqlite3_value** a) {
  auto s = ArgText(a[0]);
  auto find = ArgText(a[1]);
  auto repl = ArgText(a[2]);
  if (!s) return sqlite3_result_null(ctx);
  if (!find || !repl) throw FnError("Invalid use of Null in Replace");
  std::int64_t start = 1, count = -1;
  if (argc > 3) start = CountArg(a[3], "Replace");
  if (start < 1) InvalidCall("Replace");
  if (argc > 4) {
    auto c = ArgNumber(a[4]);
    if (!c || *c < -1) InvalidCall("Replace");
    count = static_cast<std::int64_t>(*c);
  }
  bool text_compare = true;
  if (argc > 5) {
    auto c = ArgNumber(a[5]);
    text_compare = !c || *c != 0;
  }
  const std::u32string u = Decode(*s);
  if (static_cast<size_t>(start) > u.size()) return ResultText(ctx, "");
  const std::u32string h = u.substr(static_cast<size_t>(start - 1));
  const std::u32string f = Decode(*find), r = Decode(*repl);
  if (f.empty() || count == 0) return ResultText(ctx, Encode(h));
  std::u32string out;
  size_t pos = 0;
  std::int64_t done = 0;
  for (;;) {
    if (count >= 0 && done >= count) break;
    const size_t hit = Find(h, f, pos, text_compare);
    if (hit == std::u32string::npos) break;
    out.append(h, pos, hit - pos);
    out += r;
    pos = hit + f.size();
    ++done;
  }
  out.append(h, pos, std::u32string::npos);
  ResultText(ctx, Encode(out));
}

void Asc(sqlite3_context* ctx, int, sqlite3_value** a) {
  auto t = ArgText(a[0]);
  if (!t) return sqlite3_result_null(ctx);
  const std::u32string u = Decode(*t);
  if (u.empty()) InvalidCall("Asc");
  sqlite3_result_int64(ctx, static_cast<std::int64_t>(u[0]));
}

void Chr(sqlite3_context* ctx, int, sqlite3_value** a) {
  auto x = ArgNumber(a[0]);
  if (!x) return sqlite3_result_null(ctx);
  const std::int64_t c = RoundToLong(*x, -32768, 65535);
  if (c < 0 || c > 65535) InvalidCall("Chr");
  ResultText(ctx, Encode(std::u32string(1, static_cast<char32_t>(c))));
}

void InStrRev(sqlite3_context* ctx, int argc, sqlite3_value** a) {
  auto s1 = ArgText(a[0]), s2 = ArgText(a[1]);
  std::int64_t start = -1;
  if (argc > 2) {
    auto st = ArgNumber(a[2]);
    if (!st || (*st < 1 && *st != -1)) InvalidCall("InStrRev");
    start = static_cast<std::int64_t>(*st);
  }
  bool text_compare = true;
  if (argc > 3) {
    auto c = ArgNumber(a[3]);
    text_compare = !c || *c != 0;
  }
  if (!s1 || !s2) return sqlite3_result_null(ctx);
  std::u32string h = Decode(*s1), n = Decode(*s2);
  if (text_compare) {
    for (auto& c : h) c = Lower(c);
    for (auto& c : n) c = Lower(c);
  }
  const size_t limit = start < 0 ? h.size() : static_cast<size_t>(start);
  if (limit > h.size()) return sqlite3_result_int(ctx, 0);
  if (n.empty()) return sqlite3_result_int64(ctx, static_cast<std::int64_t>(limit));
  if (n.size() > limit) return sqlite3_result_int(ctx, 0);
  const size_t pos = h.rfind(n, limit - n.size());
  sqlite3_result_int64(ctx, pos == std::u32string::npos ? 0 : static_cast<std::int64_t>(pos + 1));
}

void StrComp(sqlite3_context* ctx, int argc, sqlite3_value** a) {
  auto x = ArgText(a[0]), y = ArgText(a[1]);
  if (!x || !y) return sqlite3_result_null(ctx);
  bool text_compare = true;
  if (argc > 2) {
    auto c = ArgNumber(a[2]);
    text_compare = !c || *c != 0;
  }
  int r;
  if (text_compare) {
    r = CompareText(*x, *y);
  } else {
    const int c = Decode(*x).compare(Decode(*y));
    r = c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  sqlite3_result_int(ctx, r);
}

}  // namespace detail

using namespace detail;

bool LikeMatch(const std::string& text, const std::string& pattern) {
  struct Elem {
    enum Kind { kLiteral, kAny, kDigit, kStar, kSet };
    explicit Elem(Kind k, char32_t c = 0) : kind(k), ch(c) {}
    Kind kind;
    char32_t ch = 0;
    std::vector<std::pair<char32_t, char32_t>> ranges;
    bool negated = false;
  };
  const std::u32string p = Folded(pattern);
  std::vector<Elem> elems;
  for (size_t i = 0; i < p.size(); ++i) {
    const char32_t c = p[i];
    if (c == '*') {
      if (elems.empty() || elems.back().kind != Elem::kStar) elems.emplace_back(Elem::kStar);
    } else if (c == '?') {
      elems.emplace_back(Elem::kAny);
    } else if (c == '#') {
      elems.emplace_back(Elem::kDigit);
    } else if (c == '[') {
      const size_t close = p.find(U']', i + 1);
      if (close == std::u32string::npos) throw std::invalid_argument("unclosed '[' in pattern");
      Elem e(Elem::kSet);
      size_t j = i + 1;
      if (j < close && p[j] == '!') {
        e.negated = true;
        ++j;
      }
      for (; j < close; ++j) {
        if (j + 2 < close && p[j + 1] == '-') {
          e.ranges.emplace_back(std::min(p[j], p[j + 2]), std::max(p[j], p[j + 2]));
          j += 2;
        } else {
          e.ranges.emplace_back(p[j], p[j]);
        }
      }
      i = close;
      if (e.ranges.empty() && !e.negated) continue;  // "[]" matches the empty string
      elems.push_back(std::move(e));
    } else {
      elems.emplace_back(Elem::kLiteral, c);
    }
  }
  const std::u32string t = Folded(text);
  auto matches = [&](const Elem& e, char32_t c) {
    switch (e.kind) {
      case Elem::kLiteral:
        return e.ch == c;
      case Elem::kAny:
        return true;
      case Elem::kDigit:
        return c >= '0' && c <= '9';
      case Elem::kSet: {
        bool in = false;
        for (const auto& [lo, hi] : e.ranges) {
          if (c >= lo && c <= hi) in = true;
        }
        return in != e.negated;
      }
      case Elem::kStar:
        return false;
    }
    return false;
  };
  size_t ti = 0, pi = 0, star_p = std::string::npos, star_t = 0;
  while (ti < t.size()) {
    if (pi < elems.size() && elems[pi].kind == Elem::kStar) {
      star_p = pi++;
      star_t = ti;
    } else if (pi < elems.size() && matches(elems[pi], t[ti])) {
      ++pi;
      ++ti;
    } else if (star_p != std::string::npos) {
      pi = star_p + 1;
      ti = ++star_t;
    } else {
      return false;
    }
  }
  while (pi < elems.size() && elems[pi].kind == Elem::kStar) ++pi;
  return pi == elems.size();
}

int CompareText(const std::string& a, const std::string& b) {
  const std::u32string x = Folded(a), y = Folded(b);
  if (x == y) return 0;
  // Sorted first by letters without their accents, ignoring hyphens and
  // apostrophes, as Access's general sort order does; then by the full text.
  const std::u32string px = SortKey(x), py = SortKey(y);
  int c = px.compare(py);
  if (c == 0) c = x.compare(y);
  return c < 0 ? -1 : 1;
}

}  // namespace kestrin::automation::mdb::fn

namespace kestrin::automation::mdb {

std::string NameKey(std::string_view name) {
  bool ascii = true;
  for (char c : name) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) {
    std::string out(name);
    for (char& c : out) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    }
    return out;
  }
  return fn::detail::Encode(fn::detail::Folded(name));
}

bool SameName(std::string_view a, std::string_view b) { return NameKey(a) == NameKey(b); }

}  // namespace kestrin::automation::mdb
