// Names of tables, queries, fields and parameters as Access compares them:
// without regard to case, for Latin (with accents), Greek, Cyrillic and
// full-width Latin letters alike, and otherwise exactly. The reader and the
// query engine compare every name by this one rule.
#pragma once

#include <string>
#include <string_view>

namespace kestrin::automation::mdb {

// The name with its letters in lower case: two names are the same exactly
// when their keys are equal.
std::string NameKey(std::string_view name);
bool SameName(std::string_view a, std::string_view b);

}  // namespace kestrin::automation::mdb
