// Saved select queries of an Access database, rebuilt from the database's own
// query definitions (the rows of MSysQueries) and evaluated over the tables
// they reference.
//
// The engine is given the query definitions once per opened database and a
// provider of table columns and rows; it loads only the tables a query needs,
// each at most once, and answers with typed values as Access would give them
// (a date stays a date, currency stays currency). It never reads the file
// itself, so it can be tested with tables and definitions made in memory.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "automation/mdb/saved_queries.h"

namespace kestrin::automation::mdb {

class QueryEngine final : public SavedQueryEngine {
 public:
  QueryEngine(TableProvider& tables, std::vector<SavedQuery> queries);
  ~QueryEngine() override;
  QueryEngine(const QueryEngine&) = delete;
  QueryEngine& operator=(const QueryEngine&) = delete;

  // The full Access SQL of the saved query, rebuilt from its definition.
  // Throws AutomationError 3265 when there is no query of that name.
  std::string Sql(const std::string& query) const;
  // Output column names in order. Throws AutomationError when the query is
  // unknown or cannot be analysed.
  std::vector<std::string> OutputColumnNames(const std::string& query) override;
  // Evaluates a select, union or crosstab query. Throws AutomationError:
  // 3061 "Too few parameters. Expected N." for a query with parameters;
  // 3035 when the query needs more memory than the engine allows (1 GB of
  // SQLite's heap, as much again for its result);
  // action, pass-through and data-definition queries are refused; other
  // failures name the query and what stopped it.
  QueryResult Run(const std::string& query) override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace kestrin::automation::mdb
