// Lets GoogleTest print values readably.
#pragma once

#include <ostream>

#include "automation/value.h"

namespace kestrin::automation {
inline void PrintTo(const Value& v, std::ostream* os) { *os << Describe(v); }
}  // namespace kestrin::automation
