// What the reader and the saved-query engine (automation/mdb/query) exchange:
// the reader gives the engine the query definitions of MSysQueries and its
// tables' columns and rows; the engine gives back the output columns and
// records of a saved select, union or crosstab query. The reader reaches the
// engine only through SavedQueryEngine and MakeSavedQueryEngine, so that
// nothing of the page reader depends on the engine or on SQLite.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "automation/failure.h"
#include "automation/mdb/access_types.h"
#include "automation/value.h"

namespace kestrin::automation::mdb {

// One row of MSysQueries.
struct QueryDefRow {
  int attribute = 0;
  std::string expression;
  int flag = 0;
  std::string name1;
  std::string name2;
  std::int32_t order = 0;  // the big-endian Order bytes as a number
};

struct SavedQuery {
  std::string name;
  std::int32_t flags = 0;         // MSysObjects.Flags of the query
  std::vector<QueryDefRow> rows;  // in any order; the engine sorts them
};

// Tables of the opened database, as the engine sees them.
class TableProvider {
 public:
  TableProvider() = default;
  TableProvider(const TableProvider&) = delete;
  TableProvider& operator=(const TableProvider&) = delete;
  virtual ~TableProvider() = default;

  // Columns of the table in definition order, or nullopt when the database
  // has no table of that name (exact, case-insensitive match as Access does).
  virtual std::optional<std::vector<ColumnInfo>> TableColumns(const std::string& name) = 0;
  // Calls `row` once per record with one value per column. Throws
  // AutomationError when the table cannot be read.
  virtual void ReadTable(const std::string& name,
                         const std::function<void(std::vector<Value>&& row)>& row) = 0;
  // The tables and queries of the database an IN clause names (FROM t IN
  // 'path'), as a provider that lives as long as this one. Throws
  // AutomationError when that database cannot be found or read. By default
  // there is no other database (3024).
  virtual TableProvider& ExternalDatabase(const std::string& path) {
    throw AutomationError(errnum::kCannotFindFile, "Could not find file '" + path +
                                                       "': no other database can be read here.");
  }
};

struct QueryResult {
  std::vector<ColumnInfo> columns;
  std::vector<std::vector<Value>> rows;
};

// The saved queries of one opened database.
class SavedQueryEngine {
 public:
  SavedQueryEngine() = default;
  SavedQueryEngine(const SavedQueryEngine&) = delete;
  SavedQueryEngine& operator=(const SavedQueryEngine&) = delete;
  virtual ~SavedQueryEngine() = default;

  // Output column names in order. Throws AutomationError when the query is
  // unknown or cannot be analysed.
  virtual std::vector<std::string> OutputColumnNames(const std::string& query) = 0;
  // The records of a select, union or crosstab query. Throws AutomationError
  // (3061 for a query that needs parameters, 3219 for other kinds, ...).
  virtual QueryResult Run(const std::string& query) = 0;
};

// The engine over `tables` and the definitions of `queries`; `tables` must
// outlive it. Defined by the query engine (automation/mdb/query).
std::unique_ptr<SavedQueryEngine> MakeSavedQueryEngine(TableProvider& tables,
                                                       std::vector<SavedQuery> queries);

}  // namespace kestrin::automation::mdb
