// The entries of the five pivot field lists for the table or query last
// picked: the first-level lists (first row field, first column field, data
// field) hold the field names in field order; the two second-level lists
// hold "なし" (exporting::kNoField) and then the same names.
#pragma once

#include <string>
#include <vector>

#include "automation/access.h"

namespace kestrin::source {

struct PivotFieldEntries {
  std::vector<std::string> first_level;   // cboPivotR1, cboPivotC1, cboPivotVal
  std::vector<std::string> second_level;  // cboPivotR2, cboPivotC2
};

// From the table definition of that name in db. Throws AutomationError when
// there is no such table or its fields cannot be read.
PivotFieldEntries TableFieldEntries(const automation::DaoDatabase& db, const std::string& table);

// From the query definition of that name in db. Throws AutomationError when
// there is no such query or its output columns cannot be worked out.
PivotFieldEntries QueryFieldEntries(const automation::DaoDatabase& db, const std::string& query);

}  // namespace kestrin::source
