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

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "automation/value.h"

namespace kestrin::automation::mdb {

// Access column type codes, as stored in a table definition.
enum class AccessType : int {
  kBoolean = 1,
  kByte = 2,
  kInteger = 3,
  kLong = 4,
  kCurrency = 5,
  kSingle = 6,
  kDouble = 7,
  kDateTime = 8,
  kBinary = 9,
  kText = 10,
  kOle = 11,
  kMemo = 12,
  kGuid = 15,
  kDecimal = 16,
  kComplex = 18,
};

struct ColumnInfo {
  std::string name;
  AccessType type = AccessType::kText;
};

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
  virtual TableProvider& ExternalDatabase(const std::string& path);
};

struct QueryResult {
  std::vector<ColumnInfo> columns;
  std::vector<std::vector<Value>> rows;
};

class QueryEngine {
 public:
  QueryEngine(TableProvider& tables, std::vector<SavedQuery> queries);
  ~QueryEngine();
  QueryEngine(const QueryEngine&) = delete;
  QueryEngine& operator=(const QueryEngine&) = delete;

  // The full Access SQL of the saved query, rebuilt from its definition.
  // Throws AutomationError 3265 when there is no query of that name.
  std::string Sql(const std::string& query) const;
  // Output column names in order. Throws AutomationError when the query is
  // unknown or cannot be analysed.
  std::vector<std::string> OutputColumnNames(const std::string& query);
  // Evaluates a select, union or crosstab query. Throws AutomationError:
  // 3061 "Too few parameters. Expected N." for a query with parameters;
  // 3035 when the query needs more memory than the engine allows (1 GB of
  // SQLite's heap, as much again for its result);
  // action, pass-through and data-definition queries are refused; other
  // failures name the query and what stopped it.
  QueryResult Run(const std::string& query);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace kestrin::automation::mdb
