// One opened Access file as the DAO layer and the query engine see it: the
// tables and queries of its catalogue, table columns and records, the saved
// query definitions of MSysQueries, and the query engine built on them.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "automation/mdb/jet_file.h"
#include "automation/mdb/query/query_engine.h"
#include "automation/value.h"

namespace kestrin::automation::mdb {

// Records of a table or of an evaluated query, addressed by position.
class RowSource {
 public:
  RowSource() = default;
  RowSource(const RowSource&) = delete;
  RowSource& operator=(const RowSource&) = delete;
  virtual ~RowSource() = default;

  virtual const std::vector<std::string>& names() const = 0;
  virtual std::int64_t size() const = 0;
  // The record at `index` (0 <= index < size()); the reference stays valid
  // until the next call. Throws AutomationError when the record is damaged.
  virtual const std::vector<Value>& Row(std::int64_t index) = 0;
  // Throws AutomationError when the values of column `column` cannot be read.
  virtual void CheckReadable(int column) const = 0;
};

class MdbSource final : public TableProvider, public std::enable_shared_from_this<MdbSource> {
 public:
  struct TableEntry {
    std::string name;
    int type = 0;  // jet::kObjectTable, kObjectLinkedOdbc or kObjectLinkedTable
    std::uint32_t page = 0;
    // Linked tables: MSysObjects.Database, Connect and ForeignName.
    std::string database;
    std::string connect;
    std::string foreign_name;
  };
  // The table a table entry reads as: a local table is its own target; a
  // linked one is the table of its back-end (which `source` keeps open).
  struct Target {
    std::shared_ptr<MdbSource> source;
    const TableEntry* table = nullptr;
  };
  struct QueryEntry {
    std::string name;
    std::int32_t id = 0;
    std::int32_t flags = 0;
  };

  // Opens the file read-only. Throws AutomationError (3024, 3343, 3049).
  static std::shared_ptr<MdbSource> Open(const std::string& path);
  ~MdbSource() override;

  const std::string& path() const { return file_->path(); }
  // Tables (local and linked) and queries in catalogue order.
  const std::vector<TableEntry>& tables() const { return tables_; }
  const std::vector<QueryEntry>& queries() const { return queries_; }

  // A table by name: the exact name first, then ignoring case as Access does.
  const TableEntry* FindTable(const std::string& name) const;
  const QueryEntry* FindQuery(const std::string& name) const;

  // Follows a link to the table it stands for: its back-end is found by the
  // stored-path rule (automation/windows_paths.h, with the front-end's folder
  // as the last place) and opened read-only, once. Throws AutomationError:
  // 3151 for an ODBC link and 3170 for a link to a file that is no Access
  // database (both naming the table and what it links to), 3024 when the
  // back-end is nowhere (naming the stored path and the places looked at),
  // 3011 when the back-end has no such table, or the back-end's own failure.
  Target Resolve(const TableEntry& table);

  // Field names of a table in DAO order; a linked table's are its target's.
  std::vector<std::string> FieldNames(const TableEntry& table);
  // All records of a table; a linked table's are its target's.
  std::unique_ptr<RowSource> OpenTable(const TableEntry& table);
  // The evaluated result of a saved query.
  std::unique_ptr<RowSource> OpenQuery(const QueryEntry& query);
  QueryResult RunQuery(const QueryEntry& query);
  // Output column names of a saved query.
  std::vector<std::string> QueryFieldNames(const QueryEntry& query);

  // TableProvider. A linked table reads as its target.
  std::optional<std::vector<ColumnInfo>> TableColumns(const std::string& name) override;
  void ReadTable(const std::string& name,
                 const std::function<void(std::vector<Value>&& row)>& row) override;
  // The database of an IN clause, found by the stored-path rule and opened
  // read-only, once: its tables (linked ones followed) and saved queries.
  // Throws 3024 naming the path and the places looked at.
  TableProvider& ExternalDatabase(const std::string& path) override;

  // The rows of MSysQueries grouped by query, for the engine.
  std::vector<SavedQuery> ReadSavedQueries();

 private:
  MdbSource() = default;
  std::shared_ptr<const jet::TableDef> Definition(const TableEntry& table);
  QueryEngine& Engine();
  Target Resolve(const TableEntry& table, int depth);
  // The Access file at `located` (a path found here), this one included.
  std::shared_ptr<MdbSource> OpenOther(const std::string& located);

  std::unique_ptr<jet::JetFile> file_;
  std::vector<TableEntry> tables_;
  std::vector<QueryEntry> queries_;
  std::map<std::uint32_t, std::shared_ptr<const jet::TableDef>> definitions_;
  std::unique_ptr<QueryEngine> engine_;
  // Back-ends and databases of IN clauses, by their canonical path.
  std::map<std::string, std::shared_ptr<MdbSource>> others_;
  std::map<std::string, std::unique_ptr<TableProvider>> external_;
};

// The error for reading a column this reader cannot give (3259, naming the
// field, the table and why).
[[noreturn]] void ThrowUnreadable(const jet::Column& column, const std::string& table);

}  // namespace kestrin::automation::mdb
