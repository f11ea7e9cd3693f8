// Names of tables, queries, fields and parameters as Access compares them:
// without regard to case, for Latin (with accents), Greek, Cyrillic and
// full-width Latin letters alike, and otherwise exactly. The reader and the
// query engine compare every name by this one rule, and the query engine's
// text functions change letter case by the same letters.
#pragma once

#include <string>
#include <string_view>

namespace kestrin::automation::mdb {

// The name with its letters in lower case: two names are the same exactly
// when their keys are equal.
std::string NameKey(std::string_view name);
bool SameName(std::string_view a, std::string_view b);

namespace letters {

// UTF-8 to code points (a truncated sequence at the end becomes U+FFFD) and
// back.
std::u32string Decode(std::string_view s);
std::string Encode(std::u32string_view s);
// One letter in lower or upper case, as Access changes case; other
// characters unchanged.
char32_t Lower(char32_t c);
char32_t Upper(char32_t c);
// The text's code points in lower case.
std::u32string Folded(std::string_view s);

}  // namespace letters

}  // namespace kestrin::automation::mdb
