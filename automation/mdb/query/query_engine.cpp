#include "automation/mdb/query/query_engine.h"

#include "automation/failure.h"

namespace kestrin::automation::mdb {

struct QueryEngine::Impl {
  TableProvider& tables;
  std::vector<SavedQuery> queries;
};

namespace {
[[noreturn]] void NotYet(const std::string& query) {
  throw AutomationError(3219, "Query '" + query + "' cannot be evaluated yet.");
}
}  // namespace

QueryEngine::QueryEngine(TableProvider& tables, std::vector<SavedQuery> queries)
    : impl_(std::make_unique<Impl>(Impl{tables, std::move(queries)})) {}

QueryEngine::~QueryEngine() = default;

std::string QueryEngine::Sql(const std::string& query) const { NotYet(query); }

std::vector<std::string> QueryEngine::OutputColumnNames(const std::string& query) { NotYet(query); }

QueryResult QueryEngine::Run(const std::string& query) { NotYet(query); }

}  // namespace kestrin::automation::mdb
