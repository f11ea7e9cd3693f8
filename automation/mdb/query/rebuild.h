// Access SQL text of a saved query, rebuilt from its MSysQueries rows.
//
// The rows are sorted by attribute and then order; identifiers that are not
// plain words are written in brackets, string literals come only from the
// stored expressions (which are Access SQL already). A definition that cannot
// describe a query (a join naming an unknown source, an unknown join type, a
// name containing ']') raises DefinitionError instead of producing text that
// would mean something else.
#pragma once

#include <stdexcept>
#include <string>

#include "automation/mdb/query/query_engine.h"

namespace kestrin::automation::mdb {

class DefinitionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class QueryKind {
  kSelect,
  kMakeTable,
  kAppend,
  kUpdate,
  kDelete,
  kCrosstab,
  kDataDefinition,
  kPassThrough,
  kUnion,
  kUnknown,
};

// Kind of the query: from its kind row when present, else from the DAO type
// code in MSysObjects.Flags (ACE files omit the row for select queries).
QueryKind KindOf(const SavedQuery& query);
// Readable name of a kind, e.g. "make-table query".
std::string KindName(QueryKind kind);
// Number of declared parameters (rows of attribute 2).
int DeclaredParameterCount(const SavedQuery& query);

// The query's full Access SQL. Throws DefinitionError on a malformed definition.
std::string RebuildSql(const SavedQuery& query);

// Name as written in Access SQL: bare when it is a plain word, else in
// brackets. Throws DefinitionError for an empty name or one containing ']'.
std::string AccessName(const std::string& name);

}  // namespace kestrin::automation::mdb
