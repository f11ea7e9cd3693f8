// An in-memory Access database for tests: tables and saved queries built in
// test code, recordsets over their rows, and a log of recordset calls.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "automation/access.h"
#include "automation/failure.h"

namespace kestrin::testing {

using automation::Value;

struct FakeSource {
  std::string name;
  std::int16_t type = 0;  // query type code; unused for tables
  std::vector<std::string> fields;
  std::vector<std::vector<Value>> rows;
};

class FakeDatabase : public automation::DaoDatabase {
 public:
  FakeDatabase();
  ~FakeDatabase() override;

  FakeSource& AddTable(std::string name, std::vector<std::string> fields,
                       std::vector<std::vector<Value>> rows = {});
  FakeSource& AddQuery(std::string name, std::int16_t type, std::vector<std::string> fields,
                       std::vector<std::vector<Value>> rows = {});

  // Makes FieldValue fail with `error` when the recordset is on record
  // `record` (from 0).
  void FailFieldValueAt(std::int32_t record, automation::AutomationError error);

  // Recordset calls in order, e.g. "OpenRecordset(T)", "MoveLast", "Close".
  const std::vector<std::string>& calls() const { return calls_; }
  // Number of FieldValue calls (not logged one by one).
  std::int64_t field_value_calls() const { return field_value_calls_; }
  // Set by SetProperty; the fake accepts every property.
  const std::map<std::string, Value>& properties() const { return properties_; }

  const automation::DaoCollection<automation::DaoTableDef>& TableDefs() const override;
  const automation::DaoCollection<automation::DaoQueryDef>& QueryDefs() const override;
  std::unique_ptr<automation::DaoRecordset> OpenRecordset(const std::string& name) override;
  void SetProperty(const std::string& name, const Value& value) override;

 private:
  class Defs;
  class Recordset;
  std::vector<std::string> calls_;
  std::int64_t field_value_calls_ = 0;
  std::map<std::string, Value> properties_;
  std::unique_ptr<Defs> tables_;
  std::unique_ptr<Defs> queries_;
  std::optional<std::pair<std::int32_t, automation::AutomationError>> field_failure_;
};

}  // namespace kestrin::testing
