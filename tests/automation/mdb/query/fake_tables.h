// An in-memory TableProvider and helpers to write saved-query definitions
// row by row, for tests of the query engine.
#pragma once

#include <algorithm>
#include <cctype>
#include <deque>
#include <map>
#include <new>
#include <ostream>
#include <string>
#include <vector>

#include "automation/failure.h"
#include "automation/mdb/query/query_engine.h"
#include "tests/support/print_value.h"

namespace kestrin::automation::mdb::testing {

class FakeTables : public TableProvider {
 public:
  struct Table {
    std::string name;
    std::vector<ColumnInfo> columns;
    std::vector<std::vector<Value>> rows;
    bool unreadable = false;     // ReadTable fails
    bool out_of_memory = false;  // ReadTable runs out of memory
  };

  // Adds a table; returns it so rows can be appended.
  Table& Add(std::string name, std::vector<ColumnInfo> columns) {
    tables_.push_back({std::move(name), std::move(columns), {}});
    return tables_.back();
  }

  std::optional<std::vector<ColumnInfo>> TableColumns(const std::string& name) override {
    if (const Table* t = Find(name)) return t->columns;
    return std::nullopt;
  }

  void ReadTable(const std::string& name,
                 const std::function<void(std::vector<Value>&& row)>& row) override {
    const Table* t = Find(name);
    if (!t) throw AutomationError(3078, "no table " + name);
    if (t->unreadable) throw AutomationError(3259, "table " + name + " cannot be read");
    if (t->out_of_memory) throw std::bad_alloc();
    ++reads_[t->name];
    for (const auto& r : t->rows) {
      std::vector<Value> copy = r;
      row(std::move(copy));
    }
  }

  int Reads(const std::string& name) const {
    auto it = reads_.find(name);
    return it == reads_.end() ? 0 : it->second;
  }

 private:
  const Table* Find(const std::string& name) const {
    for (const auto& t : tables_) {
      if (t.name.size() == name.size() &&
          std::equal(t.name.begin(), t.name.end(), name.begin(), [](char a, char b) {
            return std::tolower(static_cast<unsigned char>(a)) ==
                   std::tolower(static_cast<unsigned char>(b));
          }))
        return &t;
    }
    return nullptr;
  }

  std::deque<Table> tables_;  // references returned by Add stay valid
  std::map<std::string, int> reads_;
};

// Builds the MSysQueries rows of one query.
class QueryBuilder {
 public:
  explicit QueryBuilder(std::string name, std::int32_t flags = 0) {
    q_.name = std::move(name);
    q_.flags = flags;
  }
  QueryBuilder& Row(int attribute, std::string expression = "", int flag = 0,
                    std::string name1 = "", std::string name2 = "") {
    q_.rows.push_back(
        {attribute, std::move(expression), flag, std::move(name1), std::move(name2), order_++});
    return *this;
  }
  QueryBuilder& Kind(int flag) { return Row(1, "", flag); }
  QueryBuilder& Options(int flag, std::string top = "") { return Row(3, "", flag, std::move(top)); }
  QueryBuilder& Source(std::string name, std::string alias = "") {
    return Row(5, "", 0, std::move(name), std::move(alias));
  }
  QueryBuilder& Output(std::string expr, std::string alias = "", int flag = 0) {
    return Row(6, std::move(expr), flag, std::move(alias));
  }
  QueryBuilder& Join(std::string left, std::string right, std::string on, int flag = 1) {
    return Row(7, std::move(on), flag, std::move(left), std::move(right));
  }
  QueryBuilder& Where(std::string e) { return Row(8, std::move(e)); }
  QueryBuilder& GroupBy(std::string e, int flag = 0) { return Row(9, std::move(e), flag); }
  QueryBuilder& Having(std::string e) { return Row(10, std::move(e)); }
  QueryBuilder& OrderBy(std::string e, bool desc = false) {
    return Row(11, std::move(e), 0, desc ? "D" : "");
  }
  SavedQuery Build() const { return q_; }
  operator SavedQuery() const { return q_; }

 private:
  SavedQuery q_;
  std::int32_t order_ = 0;
};

}  // namespace kestrin::automation::mdb::testing
