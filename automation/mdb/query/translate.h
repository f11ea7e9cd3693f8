// Translation of a parsed Access statement into one SQLite SELECT over the
// tables and views the engine has loaded.
//
// Every identifier in the produced SQL is one the engine generated (tables,
// views, columns and aliases are numbered) and is written quoted; every string
// literal is re-emitted escaped from the parsed value. The result columns are
// named "c0", "c1", ... in output order; their Access names and types are
// returned beside the SQL.
#pragma once

#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "automation/mdb/query/access_sql.h"
#include "automation/mdb/query/query_engine.h"

namespace kestrin::automation::mdb {

// A failure with the number Access would raise (access_errors.h) and a description without
// the query's name (the engine adds it).
class TranslateError : public std::runtime_error {
 public:
  TranslateError(int number, const std::string& what) : std::runtime_error(what), number_(number) {}
  int number() const noexcept { return number_; }

 private:
  int number_;
};

// A table or saved query as a source of rows in SQLite.
struct SourceInfo {
  std::string sql_name;  // unquoted name of the SQLite table or view
  struct Column {
    std::string name;      // Access name
    AccessType type;       // Access type
    std::string sql_name;  // unquoted SQLite column name
  };
  std::vector<Column> columns;
  bool has_rowid = false;            // a table (DISTINCTROW keys on its rows)
  std::set<std::string> parameters;  // a query's parameters, declared or not (NameKey)
};

class Catalog {
 public:
  Catalog() = default;
  Catalog(const Catalog&) = delete;
  Catalog& operator=(const Catalog&) = delete;
  virtual ~Catalog() = default;

  // The table or query of that name, made available in SQLite. Throws
  // TranslateError 3078 when there is none, or the failure that stopped it.
  virtual const SourceInfo& Source(const std::string& name) = 0;
  // The same for a table or query of the database an IN clause names.
  virtual const SourceInfo& ExternalSource(const std::string& database,
                                           const std::string& name) = 0;
  // Runs a one-column SELECT and returns each row's value as a SQLite literal
  // with its display text as Access writes a value of `type` ("<>" for Null).
  virtual std::vector<std::pair<std::string, std::string>> Headings(const std::string& sql,
                                                                    AccessType type) = 0;
};

struct Translation {
  std::string sql;
  std::vector<ColumnInfo> columns;
  // Parameters the statement asks for, declared or not, its sources' included
  // (NameKey); each counts once.
  std::set<std::string> parameters;
};

Translation Translate(const sql::Statement& statement, Catalog& catalog);

}  // namespace kestrin::automation::mdb
