// The table and query catalogue of the open database: which tables and
// saved queries the source lists offer, and the Japanese label of a DAO
// query type code.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "automation/access.h"

namespace kestrin::source {

// The label of a DAO query type code given as decimal text ("8" for a
// hidden select query). Only the exact texts of the known codes match;
// anything else, text that is no plain decimal number included, is "System".
std::string QryKindName(std::string_view code);

// True for a table the table list offers: every name whose first four
// characters are not exactly "MSys" (case-sensitive).
bool IsListedTableName(std::string_view name);

// The names the table list offers, in the order TableDefs enumerates them.
// Failures of the database are passed on.
std::vector<std::string> ListedTableNames(const automation::DaoDatabase& db);

// The names of the select queries, plain and hidden, in the index order of
// QueryDefs. Failures of the database are passed on.
std::vector<std::string> ListedQueryNames(const automation::DaoDatabase& db);

}  // namespace kestrin::source
